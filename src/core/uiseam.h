#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

class QWidget;
class QDialog;

namespace tavrel {

// SaveDiscardCancel is the question asked when a window with unsaved edits is closed.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
enum class MsgIcon { None, Information, Question, Warning, Critical };
enum class MsgResult { Ok, Cancel, Yes, No, Save, Discard };

// Whether a progress window offers Cancel: only a step that can undo all it did (one
// transaction) may be stopped half-way.
enum class ProgressCancel { NotOffered, Offered };

// The progress window of one long step, open while this object lives.
class Progress {
public:
    virtual ~Progress() = default;
    // How much is done, from 0 up to the maximum the window was opened with. A shown window
    // lets the program's windows repaint meanwhile.
    virtual void setValue(int value) = 0;
    // True once the user has pressed Cancel; always false for a window without it.
    virtual bool wasCanceled() const = 0;
};

// Every call the program makes on the platform's user interface and clock. The real one
// uses Qt; tests install a scripted one that answers from a queue and records what it was
// asked, so message texts and dialog flows can be asserted without a person.
class Ui {
public:
    virtual ~Ui() = default;

    // A message box. An empty title means "no title of its own": the application's title.
    // `details` (the engine's words, the statement that failed) are shown only on request,
    // apart from the text. `defaultButton` is the button Enter presses; without one the
    // toolkit's choice holds (the first of Yes and Ok).
    virtual MsgResult msgBox(const QString& text, MsgButtons buttons = MsgButtons::Ok,
                             MsgIcon icon = MsgIcon::None, const QString& title = {},
                             const QString& details = {},
                             std::optional<MsgResult> defaultButton = std::nullopt) = 0;

    // An input box; no value when the user cancels.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText = {}) = 0;

    // File dialogs; no value when the user cancels.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                                const QString& filter,
                                                const QString& initialName = {}) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                                const QString& filter,
                                                const QString& initialName = {}) = 0;

    // A folder chooser; no value when the user cancels. Without a window (the default)
    // nobody can choose, so it answers as a cancel.
    virtual std::optional<QString> existingFolder(QWidget* parent, const QString& title,
                                                  const QString& initialFolder = {});

    // Shows a folder in the desktop's file manager; false when that could not be done.
    // Without a window (the default) there is no desktop to show it on.
    virtual bool openFolder(const QString& folder);

    // The system beep.
    virtual void beep() = 0;

    // One Tab keystroke to the window that holds `from`: the focus moves to the next control.
    virtual void sendTab(QWidget* from) = 0;

    // Shows a dialog modally and returns its result code once it closes.
    virtual int showModal(QDialog* dialog) = 0;

    // Opens a help page (contents, keyword search or using help) in the help viewer.
    virtual void showHelp(QWidget* parent, const QString& topic) = 0;

    virtual QDate today() = 0;
    virtual QDateTime now() = 0;

    // Ends the process at once, without closing windows one by one.
    virtual void endProgram(int exitCode) = 0;

    // Progress of a step that may take a while (steps 0 to `maximum`). A window shows it
    // only once the step has lasted about a second, so quick steps show nothing. Without
    // a window (the default) nothing is shown and nothing is ever cancelled.
    virtual std::unique_ptr<Progress> progress(const QString& title, const QString& text,
                                               int maximum, ProgressCancel cancel);
};

// The interface in force. Defaults to the Qt implementation once the GUI library installs
// it; tests replace it with setUi().
Ui& ui();
void setUi(Ui* ui);

// A question whose Yes destroys something (a row deleted, a file replaced): Yes and No, no
// icon, and No is the button Enter presses, so a hurried Enter loses nothing.
MsgResult askBeforeDestroying(const QString& text, const QString& title);

// The longest line a command without a window writes to standard error.
inline constexpr qsizetype ConsoleLineLimit = 300;

// A message as a command without a window writes it: the prefix, a title of its own, the text, the
// answer it took for a question, and the details shortened to one line; no line longer than
// ConsoleLineLimit (a long text is broken between words).
QString consoleMessage(const QString& title, const QString& text, const QString& answer,
                       const QString& details);

// The application's title, shown by message boxes that have none of their own.
inline const QString AppTitle = QStringLiteral("Tavrel");
// What every line the program writes to standard error starts with, so that a scheduled
// job's mail or a log can be searched for the program's own messages.
inline constexpr char MessagePrefix[] = "Tavrel: ";

} // namespace tavrel
