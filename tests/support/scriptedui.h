#pragma once

#include "core/uiseam.h"
#include "support/otherprogram.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QDialog;

namespace tavrel::test {

// One message box as the user saw it.
struct ShownMessage {
    QString text;
    QString title; // the title shown: AppTitle when the caller gave none
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    QString details;
    std::optional<MsgResult> defaultButton; // the button Enter presses, when the caller chose
};

// One progress window as the program opened it, with every value it was given.
struct ShownProgress {
    QString title;
    QString text;
    int maximum = 0;
    bool cancelOffered = false;
    QList<int> values;
    bool closed = false;
};

// Thrown by endProgram() so that a test can see the program asked to end.
struct ProgramEnded {
    int exitCode;
};

// Runs `step`, which may end the program (straight from a handler: the end must not cross
// Qt's event dispatch): the exit code it ended with, or -1 when it did not end it.
template <typename Step> int exitCodeOf(Step step) {
    try {
        step();
    } catch (const ProgramEnded& end) {
        return end.exitCode;
    }
    return -1;
}

// One file dialog as the program opened it.
struct AskedFile {
    QString title;
    QString filter;
    QString initialName;
};

// A Ui that answers from queues and records what it was asked. Unscripted message boxes
// answer Ok (No for questions, Cancel for the close question); unscripted modal dialogs
// are closed by their close box.
class ScriptedUi : public Ui {
public:
    ScriptedUi();
    ~ScriptedUi() override;

    // --- scripting
    void answer(MsgResult result) { msgAnswers.enqueue(result); }
    // The user presses Enter in the next message box: the button Enter presses there is the
    // answer (the box's default, or as Qt chooses without one: the first of Yes and Ok).
    void pressEnter() { msgAnswers.enqueue(std::nullopt); }
    void answerInput(std::optional<QString> text) { inputAnswers.enqueue(std::move(text)); }
    void answerFile(std::optional<QString> path) { fileAnswers.enqueue(std::move(path)); }
    void answerFolder(std::optional<QString> path) { folderAnswers.enqueue(std::move(path)); }
    // Runs `driver` on the next modal dialog once it is shown; the driver clicks or closes
    // it. If the dialog is still open afterwards it is rejected, like its close box.
    void onModal(std::function<void(QDialog*)> driver) { modalDrivers.enqueue(std::move(driver)); }
    // The next progress window that offers Cancel is cancelled once it has been given
    // `value`, as a user pressing Cancel while that step runs.
    void cancelProgressAt(int value) { progressCancels.enqueue(value); }
    void setToday(const QDate& d) { now_ = QDateTime(d, QTime(10, 0)); }
    void setNow(const QDateTime& dt) { now_ = dt; }
    // Answers every question (a box with more than an OK button) at the moment it is
    // asked, before the queued answers: for a test that acts while the user decides.
    std::function<MsgResult()> onQuestion;
    // The user who keeps answering Yes (try again) while another program holds a lock:
    // state().RetryCount is noted in `retries` at each question, and `other` lets go at the
    // `releaseAt`th.
    void retryUntilReleased(OtherProgram& other, QList<int>* retries, int releaseAt = 2);

    // --- what happened
    QList<ShownMessage> messages;
    QStringList inputPrompts;
    QStringList inputTitles;
    QStringList helpTopics;
    QStringList modalTitles;
    QList<AskedFile> filesAsked;
    QList<AskedFile> foldersAsked; // title and initial folder (initialName)
    QStringList foldersOpened;     // shown in the file manager
    bool openFolderWorks = true;   // false: the desktop could not show a folder
    QList<ShownProgress> progressShown;
    int beeps = 0;
    int tabs = 0;

    QStringList messageTexts() const;
    QStringList messageTitles() const;
    ShownMessage lastMessage() const;
    void clearRecord();

    // --- Ui
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     const QString& details, std::optional<MsgResult> defaultButton) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& initialName) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter, const QString& initialName) override;
    std::optional<QString> existingFolder(QWidget* parent, const QString& title,
                                          const QString& initialFolder) override;
    bool openFolder(const QString& folder) override {
        foldersOpened << folder;
        return openFolderWorks;
    }
    void beep() override { ++beeps; }
    void sendTab(QWidget* from) override;
    int showModal(QDialog* dialog) override;
    void showHelp(QWidget* parent, const QString& topic) override;
    QDate today() override { return now_.date(); }
    QDateTime now() override { return now_; }
    void endProgram(int exitCode) override;
    std::unique_ptr<Progress> progress(const QString& title, const QString& text, int maximum,
                                       ProgressCancel cancel) override;

    QQueue<std::optional<MsgResult>> msgAnswers; // no value: Enter pressed
    QQueue<std::optional<QString>> inputAnswers;
    QQueue<std::optional<QString>> fileAnswers;
    QQueue<std::optional<QString>> folderAnswers;
    QQueue<std::function<void(QDialog*)>> modalDrivers;
    QQueue<int> progressCancels;

private:
    QDateTime now_;
    Ui* previous_ = nullptr;
};

} // namespace tavrel::test
