#include "support/scriptedui.h"

#include "support/testenv.h"

#include "core/programstate.h"

#include <QDialog>
#include <QKeyEvent>
#include <QWidget>

#include <optional>

namespace tavrel::test {

ScriptedUi::ScriptedUi()
    : now_(QDate(2005, 7, 4), QTime(10, 0)) {
    previous_ = &ui();
    setUi(this);
    // A test that starts the program's window must not remember its folders for the user.
    isolateUserSettings();
}

ScriptedUi::~ScriptedUi() {
    if (&ui() == this)
        setUi(previous_ == this ? nullptr : previous_);
}

QStringList ScriptedUi::messageTexts() const {
    QStringList texts;
    for (const ShownMessage& m : messages)
        texts << m.text;
    return texts;
}

QStringList ScriptedUi::messageTitles() const {
    QStringList titles;
    for (const ShownMessage& m : messages)
        titles << m.title;
    return titles;
}

ShownMessage ScriptedUi::lastMessage() const {
    return messages.isEmpty() ? ShownMessage{} : messages.last();
}

void ScriptedUi::clearRecord() {
    messages.clear();
    inputPrompts.clear();
    inputTitles.clear();
    helpTopics.clear();
    modalTitles.clear();
    filesAsked.clear();
    foldersAsked.clear();
    foldersOpened.clear();
    progressShown.clear();
    beeps = 0;
    tabs = 0;
}

MsgResult ScriptedUi::msgBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title, const QString& details,
                             std::optional<MsgResult> defaultButton) {
    messages.append(
        {text, title.isEmpty() ? AppTitle : title, buttons, icon, details, defaultButton});
    if (onQuestion && buttons != MsgButtons::Ok)
        return onQuestion();
    if (!msgAnswers.isEmpty()) {
        if (const std::optional<MsgResult> answer = msgAnswers.dequeue())
            return *answer;
        if (defaultButton)
            return *defaultButton;
        // Qt's own choice for a box without a default: its first Yes, Save or Ok button.
        if (buttons == MsgButtons::SaveDiscardCancel)
            return MsgResult::Save;
        return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgResult::Yes
                                                                                  : MsgResult::Ok;
    }
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::No;
    case MsgButtons::SaveDiscardCancel:
        return MsgResult::Cancel; // nothing is saved or lost that nobody chose
    case MsgButtons::OkCancel:
    case MsgButtons::Ok:
        return MsgResult::Ok;
    }
    return MsgResult::Ok;
}

std::optional<QString> ScriptedUi::inputBox(const QString& prompt, const QString& title,
                                            const QString&) {
    inputPrompts << prompt;
    inputTitles << title;
    return inputAnswers.isEmpty() ? std::nullopt : inputAnswers.dequeue();
}

std::optional<QString> ScriptedUi::openFileName(QWidget*, const QString& title,
                                                const QString& filter, const QString& initialName) {
    filesAsked.append({title, filter, initialName});
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<QString> ScriptedUi::saveFileName(QWidget*, const QString& title,
                                                const QString& filter, const QString& initialName) {
    filesAsked.append({title, filter, initialName});
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.dequeue();
}

std::optional<QString> ScriptedUi::existingFolder(QWidget*, const QString& title,
                                                  const QString& initialFolder) {
    foldersAsked.append({title, {}, initialFolder});
    return folderAnswers.isEmpty() ? std::nullopt : folderAnswers.dequeue();
}

void ScriptedUi::sendTab(QWidget* from) {
    ++tabs;
    // What a Tab keystroke does: the focus moves to the next control in the tab chain.
    QWidget* focus = from ? from->window()->focusWidget() : nullptr;
    if (!focus)
        focus = from;
    if (!focus)
        return;
    QWidget* next = focus->nextInFocusChain();
    while (next && next != focus &&
           (!(next->focusPolicy() & Qt::TabFocus) || !next->isEnabled() || !next->isVisible()))
        next = next->nextInFocusChain();
    if (next)
        next->setFocus(Qt::TabFocusReason);
}

int ScriptedUi::showModal(QDialog* dialog) {
    modalTitles << dialog->windowTitle();
    dialog->setModal(true);
    dialog->show();
    if (!modalDrivers.isEmpty()) {
        auto driver = modalDrivers.dequeue();
        driver(dialog);
    }
    // Still open: the user closed it by its close box.
    if (dialog->isVisible())
        dialog->reject();
    return dialog->result();
}

void ScriptedUi::showHelp(QWidget*, const QString& topic) {
    helpTopics << topic;
}

void ScriptedUi::endProgram(int exitCode) {
    throw ProgramEnded{exitCode};
}

namespace {

// Writes what the program reports into the ScriptedUi's record.
class RecordedProgress final : public Progress {
public:
    RecordedProgress(ScriptedUi* ui, qsizetype index, std::optional<int> cancelAt)
        : ui_(ui)
        , index_(index)
        , cancelAt_(cancelAt) {}
    ~RecordedProgress() override { ui_->progressShown[index_].closed = true; }
    void setValue(int value) override {
        ui_->progressShown[index_].values << value;
        if (cancelAt_ && value >= *cancelAt_)
            canceled_ = true;
    }
    bool wasCanceled() const override { return canceled_; }

private:
    ScriptedUi* ui_;
    qsizetype index_;
    std::optional<int> cancelAt_;
    bool canceled_ = false;
};

} // namespace

std::unique_ptr<Progress> ScriptedUi::progress(const QString& title, const QString& text,
                                               int maximum, ProgressCancel cancel) {
    const bool offered = cancel == ProgressCancel::Offered;
    progressShown.append({title.isEmpty() ? AppTitle : title, text, maximum, offered, {}, false});
    std::optional<int> cancelAt;
    if (offered && !progressCancels.isEmpty())
        cancelAt = progressCancels.dequeue();
    return std::make_unique<RecordedProgress>(this, progressShown.size() - 1, cancelAt);
}

void ScriptedUi::retryUntilReleased(OtherProgram& other, QList<int>* retries, int releaseAt) {
    onQuestion = [&other, retries, releaseAt] {
        *retries << state().RetryCount;
        if (retries->size() == releaseAt)
            other.release();
        return MsgResult::Yes;
    };
}

} // namespace tavrel::test
