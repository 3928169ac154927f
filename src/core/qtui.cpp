#include "core/qtui.h"

#include "core/filedialog.h"
#include "core/frmhelp.h"
#include "core/windowplacement.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace tavrel {

namespace {

// A step that ends sooner than this shows no progress window at all.
constexpr int ProgressShowAfterMs = 1000;

// Qt's progress dialog, application-modal so that setValue() lets the windows repaint while
// nothing else can be clicked. Cancel appears only for a step that can undo itself; the
// others (start-up's upgrade of the file, say) must run to their end.
class DialogProgress final : public Progress {
public:
    DialogProgress(const QString& title, const QString& text, int maximum, ProgressCancel cancel)
        : dialog_(new QProgressDialog(
              text, cancel == ProgressCancel::Offered ? QStringLiteral("&Cancel") : QString(), 0,
              maximum, QApplication::activeWindow())) {
        dialog_->setWindowTitle(title.isEmpty() ? AppTitle : title);
        // Its size comes from the text below the title, often shorter than the title
        // ("Create Task Assignments"), which the title bar would then cut.
        dialog_->setMinimumWidth(titleBarWidth(dialog_));
        keepShownSize(dialog_);
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(ProgressShowAfterMs);
        dialog_->setValue(0); // starts the clock that decides whether it appears
    }
    ~DialogProgress() override { delete dialog_; }
    void setValue(int value) override {
        if (dialog_)
            dialog_->setValue(value);
    }
    bool wasCanceled() const override { return dialog_ && dialog_->wasCanceled(); }

private:
    QPointer<QProgressDialog> dialog_;
};

} // namespace

MsgResult QtUi::msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                       const QString& details, std::optional<MsgResult> defaultButton) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? AppTitle : title);
    box.setText(text);
    if (!details.isEmpty())
        box.setDetailedText(details); // behind the box's "Show Details..." button
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MsgButtons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        break;
    }
    if (defaultButton) {
        const QMessageBox::StandardButton standard = [&] {
            switch (*defaultButton) {
            case MsgResult::Yes:
                return QMessageBox::Yes;
            case MsgResult::No:
                return QMessageBox::No;
            case MsgResult::Cancel:
                return QMessageBox::Cancel;
            case MsgResult::Save:
                return QMessageBox::Save;
            case MsgResult::Discard:
                return QMessageBox::Discard;
            case MsgResult::Ok:
                break;
            }
            return QMessageBox::Ok;
        }();
        // Qt gives it the focus as well: Enter presses the focused button of a box.
        box.setDefaultButton(standard);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Save:
        return MsgResult::Save;
    case QMessageBox::Discard:
        return MsgResult::Discard;
    default:
        return MsgResult::Ok;
    }
}

std::optional<QString> QtUi::inputBox(const QString& prompt, const QString& title,
                                      const QString& defaultText) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), title.isEmpty() ? AppTitle : title,
                              prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtUi::openFileName(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& initialName) {
    const QString name =
        QFileDialog::getOpenFileName(parent, title, initialName, qtFileFilter(filter));
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtUi::existingFolder(QWidget* parent, const QString& title,
                                            const QString& initialFolder) {
    const QString folder = QFileDialog::getExistingDirectory(parent, title, initialFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

bool QtUi::openFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

std::optional<QString> QtUi::saveFileName(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& initialName) {
    // The program asks before replacing a file itself, with its own words.
    QString chosenFilter;
    const QString name =
        QFileDialog::getSaveFileName(parent, title, initialName, qtFileFilter(filter),
                                     &chosenFilter, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty())
        return std::nullopt;
    return withFilterExtension(name, chosenFilter);
}

void QtUi::beep() {
    QApplication::beep();
}

void QtUi::sendTab(QWidget* from) {
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = from;
    if (!target)
        return;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

int QtUi::showModal(QDialog* dialog) {
    return dialog->exec();
}

void QtUi::showHelp(QWidget* parent, const QString& topic) {
    if (!help_) {
        help_ = new frmHelp(parent ? parent->window() : nullptr);
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    help_->showTopic(topic);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

QDate QtUi::today() {
    return QDate::currentDate();
}

QDateTime QtUi::now() {
    return QDateTime::currentDateTime();
}

void QtUi::endProgram(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

std::unique_ptr<Progress> QtUi::progress(const QString& title, const QString& text, int maximum,
                                         ProgressCancel cancel) {
    return std::make_unique<DialogProgress>(title, text, maximum, cancel);
}

} // namespace tavrel
