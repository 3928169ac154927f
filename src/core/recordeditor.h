#pragma once

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/reopen.h"

#include <QDate>
#include <QFlags>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QComboBox;
class QFocusEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tavrel {

class Recordset;

// How the boxes of numbers and money align their text: at the right edge, also in a
// right-to-left layout, where a plain right alignment would be mirrored to the left.
inline constexpr Qt::Alignment NumberBoxAlignment = Qt::AlignRight | Qt::AlignAbsolute;

// The one way every editing window works on the rows of its table: an updatable recordset
// shown one row at a time, browse and edit modes, navigation, Add New / Add Another, Update,
// Cancel and Delete, the empty state, and the keyboard conventions of the data controls.
// A window derives from it and supplies only what is its own: the recordset, how a row is
// shown, cleared, checked and written, which controls hold data, the key column, the delete
// question and what depends on a row.
class RecordEditor : public QWidget, public DatabaseUser {
    Q_OBJECT
public:
    // The standard buttons a window has; the others are not created (their members stay null).
    enum class Button {
        First = 0x1,
        Previous = 0x2,
        Next = 0x4,
        Last = 0x8,
        AddNew = 0x10,
        Update = 0x20,
        Cancel = 0x40,
        Delete = 0x80,
        Find = 0x100,
        Help = 0x200,
    };
    Q_DECLARE_FLAGS(Buttons, Button)
    static constexpr Buttons AllButtons = Buttons::fromInt(0x3ff);

    // Captions of the Add button while browsing and while a new row is entered.
    static const QString AddNewCaption;
    static const QString AddAnotherCaption;

    explicit RecordEditor(Buttons buttons = AllButtons, QWidget* parent = nullptr);
    ~RecordEditor() override;

    bool isChanged() const { return Changed; }
    bool isAdding() const { return Adding; }

    // The window's recordset: the rows it edits, in its order.
    virtual Recordset& recordset() = 0;

    // True when the recordset is open and holds at least one row.
    bool hasRows();

    // Runs the pending lost-focus check of the control that has the focus (a number box, a
    // date field, any CheckedControl), as leaving it would: false when the control refused
    // its text (message shown, focus back in it). Every command that saves or leaves the
    // shown row calls this first and does nothing when it answers false: an access key or a
    // default button clicks without the focus leaving the control, so its own check never
    // ran. Cancel and Delete, which discard the row's text, do not call it.
    virtual bool checkFocusedControl();

    // Asked before the window closes (its close box, or the program ending): true when it
    // may close. A row being edited or added is never lost silently: the user saves it (the
    // window's own Update, whose refusal keeps the window open with its message), discards
    // it, or keeps the window open with the row still in edit.
    bool confirmClose();
    // The same question before the window goes on to another row at another window's
    // request: `leaving` ends it ("opening another one"). True when the window is free to.
    bool confirmLeave(const QString& leaving);

    // Switches to edit mode on the first change of a shown row.
    void MarkChanged();
    void SetEditButtons();
    void SetBrowseButtons();

    // A menu entry that may not be used while a row is edited (File, Exit; a window's own
    // filter menus). Disabled by SetEditButtons, enabled by SetBrowseButtons.
    void disableWhileEditing(QAction* action);
    // A button of the window's own that shows only while browsing (Clone, Ok, Print ...).
    void addBrowseOnlyButton(QPushButton* button);

    // Shows the row whose key is `key` where the window's own choices (a Show menu) leave it
    // out of its recordset, widening them: for a find that knows the row is there. False
    // when it is not shown; a window that always has every row shows nothing more.
    virtual bool widenToShow(qint64 key) {
        Q_UNUSED(key);
        return false;
    }

    // --- DatabaseUser: after dbMain was replaced (a repair), the window opens its recordset
    // again and shows the row it showed, or the first where that one is gone. A row being
    // edited or added keeps the text typed into the controls, for Update to write.
    void rememberPosition() override;
    void reopenRecords() override;
    bool isEditingRow() const override { return Changed || Adding; }

public Q_SLOTS:
    virtual void cmdFirst_Click();
    virtual void cmdPrevious_Click();
    virtual void cmdNext_Click();
    virtual void cmdLast_Click();
    virtual void cmdAddNew_Click();
    virtual void cmdUpdate_Click();
    virtual void cmdCancel_Click();
    virtual void cmdDelete_Click();
    // Each window finds in its own way (the find dialog, an input box).
    virtual void cmdFind_Click() = 0;
    virtual void cmdHelp_Click();

protected:
    // Lays the window out as the editors are laid out: `top` (may be null) above `body`, a
    // rule, then the command row: `moves` on the left, `actions` in the middle, `last` on
    // the right.
    void layOutEditor(QLayout* top, QLayout* body, const QList<QPushButton*>& moves,
                      const QList<QPushButton*>& actions, QPushButton* last);

    // --- what each window supplies
    // Opens the window's recordset again on dbMain, as the window opened it last.
    virtual void reopenRecordset() = 0;
    // Copies the current row into the data controls. Must hold Changed true while filling
    // (use ChangedHold), so that the change events it raises are not taken for edits.
    virtual void ShowRecord() = 0;
    virtual void ClearRecord() = 0;
    // Copies the controls into the current (added or edited) row and writes it with the save
    // loop. Always called under an error trap.
    virtual void SaveRecord() = 0;
    // Checks the controls before a save; shows the window's message when they are refused.
    virtual bool ValidateRecord() { return true; }
    // The controls that show the row's columns: enabled while there is a row to show.
    virtual QList<QWidget*> dataControls() const = 0;
    virtual void EnableFields();
    virtual void DisableFields();
    // The key column, by which a saved row is found again ("taskid", "assid", "id").
    virtual QString keyColumn() const = 0;
    // The criteria that find the row with this key; by default "<key> = <digits>".
    virtual QString keyCriteria(const QVariant& key) const;
    // The control that gets the focus when a new row is started.
    virtual QWidget* firstDataControl() const = 0;
    // The delete question (Yes/No, no icon).
    virtual QString deleteQuestion() const = 0;
    virtual QString deleteTitle() const = 0;
    // Runs after the user said Yes to deleting the current row, before it goes, in the same
    // operation (which holds the file's write lock, so it shows nothing): removes what
    // depends on it, or refuses by returning false.
    virtual bool removeDependents() { return true; }
    // Tells the user why removeDependents() refused, once the operation has ended.
    virtual void deleteRefused() {}
    // The help page cmdHelp and F1 open.
    virtual QString helpTopic() const;
    // What one row is called in the close question ("task", "assignment" ...).
    virtual QString recordName() const;

    // Holds Changed true for its lifetime and clears it at the end (ShowRecord's guard).
    class ChangedHold {
    public:
        explicit ChangedHold(RecordEditor& editor)
            : editor_(editor) {
            editor_.Changed = true;
        }
        ~ChangedHold() { editor_.Changed = false; }
        ChangedHold(const ChangedHold&) = delete;
        ChangedHold& operator=(const ChangedHold&) = delete;

    private:
        RecordEditor& editor_;
    };

    // --- keyboard and focus conventions of the data controls (controls of this window,
    // living as long as it does)
    // A combo that chooses a referenced row: a drop-down list whose selection Backspace and
    // Delete clear; every key-down counts as a change (MarkChanged).
    void makeDropDownList(QComboBox* combo);
    // A number box of a single-precision column: selects all its text on getting the focus
    // and refuses, on losing it, a text that is not empty and not a number the column holds
    // as typed (see singleFromText), with `message` and the focus back in the box. With an
    // empty `message` the box is not checked on leaving (see numberBoxAccepts).
    void makeNumberBox(QLineEdit* box, const QString& message);
    // True when the box's text can be saved: empty, the number shown, or a number the column
    // holds as typed. Only an unchecked box can come to a save with any other text.
    bool numberBoxAccepts(const QLineEdit* box) const;
    // Shows a stored number (or no value) in a number box, in full (see numberText).
    void showNumber(QLineEdit* box, const QVariant& value);
    // What a number box saves: while its text is the one shown, the stored value exactly as
    // it was read (a save of another field never changes it); otherwise the typed number as
    // a single, or 0 for an empty box.
    QVariant numberToSave(const QLineEdit* box) const;
    // A box that only displays: when it gets the focus, the focus goes on to `next`.
    void makeDisplayOnly(QWidget* box, QWidget* next);

    // Connects a widget's signal to a handler that runs through guardedCall, so that a data
    // failure outside a trap is shown and never crosses Qt's signal code.
    template <typename Sender, typename Signal, typename Handler>
    void connectGuarded(Sender* sender, Signal signal, Handler handler) {
        connect(sender, signal, this, [handler] { guardedCall(handler); });
    }

    // Connects a button of the window's own that saves or leaves the row (Clone, Ok ...):
    // its handler runs only once checkFocusedControl has accepted.
    void connectCommand(QPushButton* button, std::function<void()> handler);

    // After Update, Cancel or Delete the focus goes where the next key cannot do harm: into
    // the first data control while a row is shown (typing there edits it), else to Add New,
    // the one command that acts in the empty state (Next in a window without Add New); never
    // to Delete, where the next Space would ask to delete the row.
    void focusAfterCommand();

    // Sets `enabled` on every widget of the list.
    static void setAllEnabled(const QList<QWidget*>& widgets, bool enabled);

    // Find through the find dialog (FindTable and FindCaller tell it whose recordset to
    // search). With no rows, or when nothing matches, the window's own message says so; a
    // cancelled find and a failed one return to the row shown before.
    struct FindMessages {
        QString noRowsText;
        QString noRowsTitle;
        QString notFoundText;
    };
    void findThroughDialog(const QString& table, FindEditor caller, const FindMessages& messages);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // SaveRecord under an error trap of its own, as every write runs.
    void saveTrapped();
    // saveTrapped(), and whether it wrote the row (it did not when the server went away).
    bool savedUnlessServerLost();

    // What became of an edited row another user changed or deleted after it was shown.
    enum class EditOutcome { Saved, KeepEditing, ShowStored };
    // Writes the edited row (SaveRecord). Where another user changed it meanwhile the user
    // chooses: write over their changes, show theirs (the edit discarded), or go on editing.
    // Where they deleted it the edit cannot be saved and is discarded, with a message.
    EditOutcome saveEditedRow();
    EditOutcome discardEditOfDeletedRow();
    // Leaves edit mode showing the row as now stored, or the next one where it is gone.
    void showStoredRow();

    bool Changed = false;
    bool Adding = false;

public:
    QPushButton* cmdFirst = nullptr;
    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdLast = nullptr;
    QPushButton* cmdAddNew = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdFind = nullptr;
    QPushButton* cmdHelp = nullptr;

private:
    // The buttons SetEditButtons hides and SetBrowseButtons shows (Add New apart).
    QList<QPushButton*> browseOnlyButtons() const;

    // A number box's refusal message and the number it was last given to show.
    struct NumberBox {
        QString message;
        QString shownText;
        QVariant shownValue;
    };

    bool checkNumberBox(QLineEdit* box);

    QList<QPushButton*> extraBrowseButtons_;
    QList<QPointer<QAction>> editLockedActions_;
    QList<QObject*> dropDownLists_;
    QHash<const QObject*, NumberBox> numberBoxes_;
    QHash<QObject*, QPointer<QWidget>> passFocusTo_;
    bool checkingNumber_ = false;
    QVariant reopenKey_; // the key of the row shown when dbMain was replaced
};

Q_DECLARE_OPERATORS_FOR_FLAGS(RecordEditor::Buttons)

// --- combo boxes that choose a referenced row (their items carry the row's id)
// The id of the selected item; empty when nothing is selected.
QVariant selectedId(const QComboBox* combo);
// The first item whose id equals `id`; -1 for none or an empty id.
int indexOfId(const QComboBox* combo, const QVariant& id);
// What a list of names does with retired ones: an entry list leaves them out (a new record
// takes none), a filter lists them (old records carry them, and are looked for by them).
enum class RetiredNames { Leave, List };
// Refills the list from `sql` (read-only), one item per row with the row's `idColumn`, and
// selects again the id that was selected. Rows whose `inactive` flag is set (a retired
// name) cannot be chosen and stay out of the drop-down list, unless one is the selected
// value: then it is listed and shown greyed. With RetiredNames::List they are listed as any.
void reloadCodeList(QComboBox* combo, const QString& sql, const QString& idColumn,
                    const std::function<QString(const Recordset&)>& itemText,
                    RetiredNames retired = RetiredNames::Leave);
// True when the list's selected value is a retired name (shown greyed).
bool showsRetiredName(const QComboBox* combo);
// A person as every list shows one: "last, first", or the one name there is.
QString personName(const QString& last, const QString& first);

// --- the parts of an editor's form, made alike in every editor (each named as its control)
namespace recordwidgets {

// The text of a column of the current row.
QString columnText(const Recordset& rs, const QString& column);
// A date as a date column takes it: Null for none.
QVariant dateOrEmpty(const std::optional<QDate>& date);
// Focus that leaves because another window or a menu took it is not the user leaving the
// field; the field is checked when the user moves on inside the window.
bool leavesField(const QFocusEvent* event);
// A one-line box; `maxLength` above 0 is the longest text it takes.
QLineEdit* lineEdit(QWidget* parent, const char* name, int maxLength = 0);
// A box of several lines in which Tab moves on, as in every other box of the window.
QPlainTextEdit* multiLine(QWidget* parent, const char* name);
// A drop-down list of one of the short lists, wide enough for `minimumChars` characters.
QComboBox* codeList(QWidget* parent, const char* name, int minimumChars);
QPushButton* button(QWidget* parent, const char* name, const QString& caption);
// A label whose access key puts the focus into its control ("lblX" for control "txtX"). Its
// layout places it.
QLabel* label(const QString& text, QWidget* buddy);
// A box that shows what the user cannot change: drawn on the window's colour, outside the
// Tab order, and passing on the focus a click gives it.
void makeShownOnly(QWidget* box);

} // namespace recordwidgets

} // namespace tavrel
