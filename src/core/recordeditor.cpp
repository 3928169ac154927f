#include "core/recordeditor.h"

#include "core/checkedcontrol.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "text/singlenumber.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTimer>

namespace tavrel {

namespace {

// Keys that leave a drop-down list or reach another control rather than change the list:
// moving on with Tab, or pressing a button's access key, is no edit of the row.
bool isNavigationKey(const QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
        return true;
    default:
        return key->modifiers().testFlag(Qt::AltModifier);
    }
}

// A key pressed with Alt that reached a control: no button or label took it as its access
// key (its button is hidden while editing, or there is none). The control would type the
// letter into the row's text. Ctrl+Alt is AltGr on Windows, which types characters; on macOS
// Option types characters and there are no access keys.
bool isUnmatchedAccessKey(const QKeyEvent* key) {
#ifdef Q_OS_MACOS
    Q_UNUSED(key);
    return false;
#else
    const Qt::KeyboardModifiers modifiers =
        key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return modifiers == Qt::AltModifier && !key->text().isEmpty() && key->text().at(0).isPrint();
#endif
}

} // namespace

namespace recordwidgets {

QString columnText(const Recordset& rs, const QString& column) {
    return rs.value(column).toString();
}

QVariant dateOrEmpty(const std::optional<QDate>& date) {
    return date ? QVariant(*date) : QVariant();
}

bool leavesField(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason &&
           event->reason() != Qt::PopupFocusReason;
}

QLineEdit* lineEdit(QWidget* parent, const char* name, int maxLength) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0)
        box->setMaxLength(maxLength);
    return box;
}

QPlainTextEdit* multiLine(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setTabChangesFocus(true);
    return box;
}

QComboBox* codeList(QWidget* parent, const char* name, int minimumChars) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(minimumChars);
    return combo;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* result = new QPushButton(caption, parent);
    result->setObjectName(QString::fromLatin1(name));
    return result;
}

QLabel* label(const QString& text, QWidget* buddy) {
    auto* result = new QLabel(text);
    result->setObjectName(QStringLiteral("lbl") + buddy->objectName().mid(3));
    result->setBuddy(buddy);
    return result;
}

void makeShownOnly(QWidget* box) {
    QPalette shown = box->palette();
    shown.setColor(QPalette::Base, shown.color(QPalette::Window));
    box->setPalette(shown);
    box->setFocusPolicy(Qt::ClickFocus);
    if (auto* line = qobject_cast<QLineEdit*>(box))
        line->setReadOnly(true);
    if (auto* text = qobject_cast<QPlainTextEdit*>(box))
        text->setReadOnly(true);
}

} // namespace recordwidgets

const QString RecordEditor::AddNewCaption = QStringLiteral("&Add New");
const QString RecordEditor::AddAnotherCaption = QStringLiteral("&Add Another");

RecordEditor::RecordEditor(Buttons buttons, QWidget* parent)
    : QWidget(parent) {
    // Commands that save or leave the row run the focused control's check first; Cancel and
    // Delete discard the row's text, and Help leaves it as it is.
    enum class Leaves { Row, Nothing };
    const auto make = [&](Button which, const char* name, const QString& caption,
                          void (RecordEditor::*handler)(), Leaves leaves) -> QPushButton* {
        if (!buttons.testFlag(which))
            return nullptr;
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        connect(button, &QPushButton::clicked, this, [this, handler, leaves] {
            guardedCall([this, handler, leaves] {
                if (leaves == Leaves::Row && !checkFocusedControl())
                    return;
                (this->*handler)();
            });
        });
        return button;
    };
    cmdFirst = make(Button::First, "cmdFirst", QStringLiteral("Fir&st"),
                    &RecordEditor::cmdFirst_Click, Leaves::Row);
    cmdPrevious = make(Button::Previous, "cmdPrevious", QStringLiteral("&Previous"),
                       &RecordEditor::cmdPrevious_Click, Leaves::Row);
    cmdNext = make(Button::Next, "cmdNext", QStringLiteral("&Next"), &RecordEditor::cmdNext_Click,
                   Leaves::Row);
    cmdLast = make(Button::Last, "cmdLast", QStringLiteral("&Last"), &RecordEditor::cmdLast_Click,
                   Leaves::Row);
    cmdAddNew = make(Button::AddNew, "cmdAddNew", AddNewCaption, &RecordEditor::cmdAddNew_Click,
                     Leaves::Row);
    cmdUpdate = make(Button::Update, "cmdUpdate", QStringLiteral("&Update"),
                     &RecordEditor::cmdUpdate_Click, Leaves::Row);
    cmdCancel = make(Button::Cancel, "cmdCancel", QStringLiteral("&Cancel"),
                     &RecordEditor::cmdCancel_Click, Leaves::Nothing);
    cmdDelete = make(Button::Delete, "cmdDelete", QStringLiteral("&Delete"),
                     &RecordEditor::cmdDelete_Click, Leaves::Nothing);
    cmdFind = make(Button::Find, "cmdFind", QStringLiteral("F&ind"), &RecordEditor::cmdFind_Click,
                   Leaves::Row);
    cmdHelp = make(Button::Help, "cmdHelp", QStringLiteral("Help"), &RecordEditor::cmdHelp_Click,
                   Leaves::Nothing);

    // Every control of the window that takes the focus gets the editor's key filter, which
    // keeps unmatched access keys out of the row's text (the window's controls are created
    // after this constructor).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && isAncestorOf(now))
            now->installEventFilter(this);
    });

    // F1 anywhere in the window opens the window's help page, with or without a Help button.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
            [this] { guardedCall([this] { cmdHelp_Click(); }); });

    // Update and Cancel appear only once a row is being edited.
    for (QPushButton* button : {cmdUpdate, cmdCancel}) {
        if (button)
            button->hide();
    }
}

RecordEditor::~RecordEditor() = default;

bool RecordEditor::hasRows() {
    Recordset& rs = recordset();
    return rs.isOpen() && rs.recordCount() > 0;
}

QString RecordEditor::keyCriteria(const QVariant& key) const {
    return keyColumn() + QStringLiteral(" = ") + QString::number(key.toLongLong());
}

QString RecordEditor::helpTopic() const {
    return QStringLiteral("contents");
}

QString RecordEditor::recordName() const {
    return QStringLiteral("record");
}

void RecordEditor::disableWhileEditing(QAction* action) {
    if (action)
        editLockedActions_.append(action);
}

void RecordEditor::addBrowseOnlyButton(QPushButton* button) {
    if (button)
        extraBrowseButtons_.append(button);
}

QList<QPushButton*> RecordEditor::browseOnlyButtons() const {
    QList<QPushButton*> result;
    for (QPushButton* button :
         {cmdFirst, cmdPrevious, cmdNext, cmdLast, cmdHelp, cmdFind, cmdDelete}) {
        if (button)
            result.append(button);
    }
    result.append(extraBrowseButtons_);
    return result;
}

void RecordEditor::SetEditButtons() {
    for (QPushButton* button : browseOnlyButtons())
        button->hide();
    for (QPushButton* button : {cmdCancel, cmdUpdate}) {
        if (button)
            button->show();
    }
    for (const QPointer<QAction>& action : std::as_const(editLockedActions_)) {
        if (action)
            action->setEnabled(false);
    }
}

void RecordEditor::SetBrowseButtons() {
    // Hidden first: showing a button lays the window out at once, and a small window would
    // grow to hold the edit and the browse buttons together.
    for (QPushButton* button : {cmdCancel, cmdUpdate}) {
        if (button)
            button->hide();
    }
    for (QPushButton* button : browseOnlyButtons())
        button->show();
    if (cmdAddNew)
        cmdAddNew->show();
    for (const QPointer<QAction>& action : std::as_const(editLockedActions_)) {
        if (action)
            action->setEnabled(true);
    }
}

void RecordEditor::MarkChanged() {
    if (Changed || Adding)
        return;
    if (!hasRows())
        return;
    Changed = true;
    SetEditButtons();
    if (cmdAddNew)
        cmdAddNew->hide();
}

bool RecordEditor::confirmClose() {
    return confirmLeave(QStringLiteral("closing"));
}

bool RecordEditor::confirmLeave(const QString& leaving) {
    if (!Changed && !Adding)
        return true;
    // The window whose row is asked about comes forward, also when another window is
    // being closed (the main window closes every other one first).
    if (isVisible()) {
        window()->raise();
        window()->activateWindow();
    }
    const QString question =
        Adding ? QStringLiteral("Do you want to save the new %1 before %2?")
               : QStringLiteral("Do you want to save the changes to this %1 before %2?");
    const MsgResult answer =
        ui().msgBox(question.arg(recordName(), leaving), MsgButtons::SaveDiscardCancel,
                    MsgIcon::None, QStringLiteral("Save Changes"), {}, MsgResult::Save);
    switch (answer) {
    case MsgResult::Save:
        // As Update is clicked: the focused field's check first, then the window's own
        // checks and the save, any of which keeps the row in edit when it refuses.
        guardedCall([this] {
            if (checkFocusedControl())
                cmdUpdate_Click();
        });
        return !Changed && !Adding;
    case MsgResult::Discard:
        guardedCall([this] { cmdCancel_Click(); });
        return !Changed && !Adding;
    default:
        return false;
    }
}

void RecordEditor::saveTrapped() {
    ErrorTrap trap;
    SaveRecord();
}

bool RecordEditor::savedUnlessServerLost() {
    // A save that lost the server's connection wrote nothing (the server ended its
    // transaction with the connection) and has said so; what was typed is still in the
    // controls, and the window stays in edit mode for Update to write it once the server is
    // back. Other failures (a column refused) leave the rest of the row written, as ever.
    const int lossesBefore = connectionLossesReported();
    saveTrapped();
    return connectionLossesReported() == lossesBefore;
}

void RecordEditor::rememberPosition() {
    reopenKey_ = QVariant();
    Recordset& rs = recordset();
    if (rs.isOpen() && !Adding && rs.recordCount() > 0 && !rs.isBOF() && !rs.isEOF())
        reopenKey_ = rs.value(keyColumn());
}

void RecordEditor::reopenRecords() {
    ErrorTrap trap;
    reopenRecordset();
    if (!hasRows()) {
        if (!Changed && !Adding) {
            ClearRecord();
            DisableFields();
        }
        return;
    }
    Recordset& rs = recordset();
    if (!reopenKey_.isNull())
        rs.findFirst(keyCriteria(reopenKey_));
    const bool found = !reopenKey_.isNull() && !rs.noMatch();
    if (!found)
        rs.moveFirst();
    if (Adding || (Changed && found))
        return;
    // The row being edited was lost with the damaged page: there is nothing to write the
    // edits to, and the window shows what is there.
    if (Changed) {
        Changed = false;
        SetBrowseButtons();
    }
    EnableFields();
    ShowRecord();
}

void RecordEditor::cmdFirst_Click() {
    if (!hasRows())
        return;
    recordset().moveFirst();
    ShowRecord();
}

void RecordEditor::layOutEditor(QLayout* top, QLayout* body, const QList<QPushButton*>& moves,
                                const QList<QPushButton*>& actions, QPushButton* last) {
    auto* commands = new QHBoxLayout;
    for (QPushButton* command : moves)
        commands->addWidget(command);
    commands->addStretch(1);
    for (QPushButton* command : actions)
        commands->addWidget(command);
    commands->addStretch(1);
    commands->addWidget(last);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    auto* root = new QVBoxLayout(this);
    if (top)
        root->addLayout(top);
    root->addLayout(body, 1);
    root->addWidget(separator);
    root->addLayout(commands);
}

void RecordEditor::cmdLast_Click() {
    if (!hasRows())
        return;
    recordset().moveLast();
    ShowRecord();
}

void RecordEditor::cmdNext_Click() {
    if (!hasRows())
        return;
    Recordset& rs = recordset();
    rs.moveNext();
    if (rs.isEOF()) {
        ui().beep();
        rs.moveLast();
    }
    ShowRecord();
}

void RecordEditor::cmdPrevious_Click() {
    if (!hasRows())
        return;
    Recordset& rs = recordset();
    rs.movePrevious();
    if (rs.isBOF()) {
        ui().beep();
        rs.moveFirst();
    }
    ShowRecord();
}

void RecordEditor::cmdAddNew_Click() {
    ErrorTrap trap;
    Recordset& rs = recordset();
    if (cmdAddNew && cmdAddNew->text() == AddAnotherCaption) {
        // The row being entered is saved but not shown; the window stays in adding mode.
        if (!ValidateRecord())
            return;
        rs.addNew();
        saveTrapped();
    } else {
        Adding = true;
        if (hasRows())
            rs.moveLast();
        else
            EnableFields(); // the empty state had disabled them
        SetEditButtons();
        if (cmdAddNew)
            cmdAddNew->setText(AddAnotherCaption);
    }
    ClearRecord();
    if (QWidget* first = firstDataControl())
        first->setFocus();
}

void RecordEditor::cmdUpdate_Click() {
    ErrorTrap trap;
    if (!ValidateRecord())
        return;
    Recordset& rs = recordset();
    QVariant key;
    const int repairsBefore = mainDatabaseRepairs();
    const auto repaired = [repairsBefore] { return mainDatabaseRepairs() != repairsBefore; };
    if (Adding) {
        rs.addNew();
        key = rs.value(keyColumn()); // the engine numbers the row as soon as it is added
        if (!repaired() && !savedUnlessServerLost() && !repaired()) {
            rs.cancelUpdate();
            return;
        }
    } else {
        EditOutcome outcome = EditOutcome::Saved;
        {
            // Reading a field the window had not read yet finds a row deleted meanwhile.
            RowConflictWatch watch;
            key = rs.value(keyColumn());
            rs.edit();
            if (watch.conflict() != 0)
                outcome = discardEditOfDeletedRow();
        }
        if (outcome == EditOutcome::Saved && !repaired())
            outcome = saveEditedRow();
        if (outcome == EditOutcome::KeepEditing)
            return;
        if (outcome == EditOutcome::ShowStored) {
            showStoredRow();
            return;
        }
    }
    // The save met a damaged file, which was repaired and the window reopened on it: what
    // was typed was not written and is still in the controls, for Update to write now.
    if (repaired())
        return;
    if (Adding && cmdAddNew)
        cmdAddNew->setText(AddNewCaption);
    // Show the saved row, even a new one that sorts elsewhere in the window's order.
    rs.findFirst(keyCriteria(key));
    if (rs.noMatch())
        rs.moveFirst();
    ShowRecord();
    SetBrowseButtons();
    Adding = false;
    Changed = false;
    focusAfterCommand();
}

RecordEditor::EditOutcome RecordEditor::saveEditedRow() {
    Recordset& rs = recordset();
    for (;;) {
        int conflict = 0;
        bool saved = false;
        const int repairsBefore = mainDatabaseRepairs();
        {
            RowConflictWatch watch;
            saved = savedUnlessServerLost();
            conflict = watch.conflict();
        }
        if (conflict == 0) {
            // A repair reopened the window on the repaired file: Update's caller sees to it.
            if (saved || mainDatabaseRepairs() != repairsBefore)
                return EditOutcome::Saved;
            rs.cancelUpdate();
            return EditOutcome::KeepEditing;
        }
        if (conflict == ErrRowChanged) {
            const MsgResult answer = ui().msgBox(
                QStringLiteral("Another user has changed this %1 since it was shown.\n\n"
                               "Yes: save your changes over theirs.\n"
                               "No: discard your changes and show theirs.\n"
                               "Cancel: go on editing.")
                    .arg(recordName()),
                MsgButtons::YesNoCancel, MsgIcon::None, QStringLiteral("Record Changed"), {},
                MsgResult::Cancel);
            if (answer != MsgResult::Yes) {
                rs.cancelUpdate();
                return answer == MsgResult::No ? EditOutcome::ShowStored : EditOutcome::KeepEditing;
            }
            // Written over the version stored now: a change made after this answer is asked
            // about again.
            RowConflictWatch gone;
            rs.takeStoredVersion();
            conflict = gone.conflict();
            if (conflict == 0) {
                rs.edit();
                continue;
            }
        }
        return discardEditOfDeletedRow();
    }
}

RecordEditor::EditOutcome RecordEditor::discardEditOfDeletedRow() {
    // Nothing is left to write the edit to; a new row in its place would lack what the other
    // user deleted with it (a task's weeks, an assignment's task).
    ui().msgBox(QStringLiteral("Another user has deleted this %1 since it was shown, so your "
                               "changes cannot be saved.")
                    .arg(recordName()),
                MsgButtons::Ok, MsgIcon::None, QStringLiteral("Record Deleted"));
    recordset().cancelUpdate();
    return EditOutcome::ShowStored;
}

void RecordEditor::showStoredRow() {
    ErrorTrap trap;
    Recordset& rs = recordset();
    rs.rereadCurrent();
    if (hasRows() && rs.isEOF())
        rs.moveLast();
    Changed = false;
    if (hasRows() && !rs.isBOF() && !rs.isEOF()) {
        ShowRecord();
    } else {
        ClearRecord();
        DisableFields();
    }
    SetBrowseButtons();
    focusAfterCommand();
}

void RecordEditor::cmdCancel_Click() {
    if (hasRows()) {
        if (Adding)
            recordset().moveLast();
        ShowRecord();
    } else {
        ClearRecord();
        DisableFields();
    }
    // The caption first: the browse buttons are laid out with the one they show.
    if (cmdAddNew)
        cmdAddNew->setText(AddNewCaption);
    SetBrowseButtons();
    Changed = false;
    Adding = false;
    focusAfterCommand();
}

void RecordEditor::cmdDelete_Click() {
    ErrorTrap trap;
    Recordset& rs = recordset();
    // An emptied recordset still has its position of before the delete: in the empty state
    // there is nothing to delete either.
    if (!hasRows() || (rs.isBOF() && rs.isEOF()))
        return;
    if (askBeforeDestroying(deleteQuestion(), deleteTitle()) != MsgResult::Yes)
        return;
    // The row and what depends on it (or the check that nothing does) are one operation:
    // nothing can start to depend on the row between the check and the delete, and a row
    // never goes without its dependents or they without it.
    bool refused = false;
    for (;;) {
        RowConflictWatch watch;
        RunAllOrNothing(state().dbMain, [&] {
            refused = !removeDependents();
            if (!refused && !operationFailed())
                DeleteLoop(rs);
        });
        if (watch.conflict() == ErrRowDeleted) {
            // Gone already, as the user wanted; they hear that someone else did it.
            ui().msgBox(
                QStringLiteral("Another user had already deleted this %1.").arg(recordName()),
                MsgButtons::Ok, MsgIcon::None, QStringLiteral("Record Deleted"));
        } else if (watch.conflict() == ErrRowChanged) {
            // The user decided on the row as it was shown; what another user saved since may
            // change their mind. No shows it.
            if (askBeforeDestroying(
                    QStringLiteral("Another user has changed this %1 since it was shown. Do you "
                                   "still want to delete it?")
                        .arg(recordName()),
                    QStringLiteral("Record Changed")) == MsgResult::Yes) {
                RowConflictWatch gone;
                rs.takeStoredVersion();
                if (gone.conflict() == 0)
                    continue;
            }
            showStoredRow();
            return;
        }
        break;
    }
    if (refused) {
        deleteRefused();
        return;
    }
    if (hasRows()) {
        rs.moveNext();
        if (rs.isEOF())
            rs.movePrevious();
        ShowRecord();
    } else {
        ClearRecord();
        DisableFields();
    }
    focusAfterCommand();
}

void RecordEditor::connectCommand(QPushButton* button, std::function<void()> handler) {
    connect(button, &QPushButton::clicked, this, [this, handler = std::move(handler)] {
        guardedCall([this, &handler] {
            if (checkFocusedControl())
                handler();
        });
    });
}

void RecordEditor::focusAfterCommand() {
    const auto canTakeFocus = [this](QWidget* control) {
        return control && control->isEnabled() && control->isVisibleTo(window());
    };
    for (QWidget* control :
         {firstDataControl(), static_cast<QWidget*>(cmdAddNew), static_cast<QWidget*>(cmdNext)}) {
        if (canTakeFocus(control)) {
            control->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

bool RecordEditor::checkFocusedControl() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || focused->window() != window())
        focused = window()->focusWidget(); // the window is not the active one
    // The focus may sit in a part of the control (the text of a date field).
    for (QWidget* control = focused; control && isAncestorOf(control);
         control = control->parentWidget()) {
        if (numberBoxes_.contains(control))
            return checkNumberBox(static_cast<QLineEdit*>(control));
        if (auto* checked = dynamic_cast<CheckedControl*>(control))
            return checked->checkNow();
    }
    return true;
}

void RecordEditor::cmdHelp_Click() {
    ui().showHelp(this, helpTopic());
}

void RecordEditor::findThroughDialog(const QString& table, FindEditor caller,
                                     const FindMessages& messages) {
    if (!hasRows()) {
        ui().msgBox(messages.noRowsText, MsgButtons::Ok, MsgIcon::None, messages.noRowsTitle);
        return;
    }
    const FindDialogRunner& runFind = state().findDialog;
    if (!runFind)
        return;
    Recordset& rs = recordset();
    const QString shown = keyCriteria(rs.value(keyColumn()));
    state().FindTable = table;
    state().FindCaller = caller;
    state().Cancelled = true;
    runFind(this);
    if (state().Cancelled) {
        rs.findFirst(shown);
        ShowRecord();
    }
    if (rs.noMatch()) {
        ui().msgBox(messages.notFoundText, MsgButtons::Ok, MsgIcon::None,
                    QStringLiteral("No Records Match"));
        rs.findFirst(shown);
    } else {
        ShowRecord();
    }
}

void RecordEditor::EnableFields() {
    setAllEnabled(dataControls(), true);
}

void RecordEditor::DisableFields() {
    setAllEnabled(dataControls(), false);
}

void RecordEditor::setAllEnabled(const QList<QWidget*>& widgets, bool enabled) {
    for (QWidget* widget : widgets) {
        if (widget)
            widget->setEnabled(enabled);
    }
}

void RecordEditor::makeDropDownList(QComboBox* combo) {
    combo->setEditable(false);
    combo->installEventFilter(this);
    dropDownLists_.append(combo);
}

void RecordEditor::makeNumberBox(QLineEdit* box, const QString& message) {
    box->installEventFilter(this);
    numberBoxes_.insert(box, NumberBox{message, box->text(), QVariant()});
}

void RecordEditor::showNumber(QLineEdit* box, const QVariant& value) {
    QString text = value.isNull() ? QString() : numberText(value.toDouble());
    // Only a value no single holds, written by another program, is too long to show in full.
    if (text.size() > box->maxLength())
        text = QLocale().toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    box->setText(text);
    NumberBox& shown = numberBoxes_[box];
    shown.shownText = box->text();
    shown.shownValue = value;
}

QVariant RecordEditor::numberToSave(const QLineEdit* box) const {
    const auto it = numberBoxes_.constFind(box);
    if (it != numberBoxes_.constEnd() && box->text() == it->shownText)
        return it->shownValue;
    const std::optional<float> number = singleFromText(box->text());
    return number ? static_cast<double>(*number) : 0.0;
}

bool RecordEditor::numberBoxAccepts(const QLineEdit* box) const {
    const QString text = box->text();
    return text.isEmpty() || text == numberBoxes_.value(box).shownText ||
           singleFromText(text).has_value();
}

QVariant selectedId(const QComboBox* combo) {
    return combo->currentIndex() < 0 ? QVariant() : combo->currentData();
}

int indexOfId(const QComboBox* combo, const QVariant& id) {
    if (id.isNull())
        return -1;
    const qlonglong wanted = id.toLongLong();
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toLongLong() == wanted)
            return i;
    }
    return -1;
}

namespace {

// The item data that marks a retired name in a list filled by reloadCodeList.
constexpr int RetiredRole = Qt::UserRole + 1;
const char* const FollowsRetired = "tavrelFollowsRetired";

bool isRetired(const QComboBox* combo, int index) {
    return index >= 0 && combo->itemData(index, RetiredRole).toBool();
}

// A retired name cannot be chosen (it is disabled, so neither the keys nor the mouse reach
// it) and is left out of the drop-down list, except as the value the shown record already
// carries: then it is listed and shown greyed.
void showRetiredNames(QComboBox* combo) {
    const int current = combo->currentIndex();
    auto* model = qobject_cast<QStandardItemModel*>(combo->model());
    auto* view = qobject_cast<QListView*>(combo->view());
    const QColor grey = combo->palette().color(QPalette::Disabled, QPalette::Text);
    for (int i = 0; i < combo->count(); ++i) {
        const bool retired = isRetired(combo, i);
        if (model && retired) {
            if (QStandardItem* item = model->item(i)) {
                item->setEnabled(false);
                item->setForeground(grey);
            }
        }
        if (view)
            view->setRowHidden(i, retired && i != current);
    }
    QPalette palette = QApplication::palette(combo);
    if (isRetired(combo, current)) {
        for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText}) {
            const QColor disabled = palette.color(QPalette::Disabled, role);
            palette.setColor(QPalette::Active, role, disabled);
            palette.setColor(QPalette::Inactive, role, disabled);
        }
    }
    combo->setPalette(palette);
}

} // namespace

bool showsRetiredName(const QComboBox* combo) {
    return isRetired(combo, combo->currentIndex());
}

void reloadCodeList(QComboBox* combo, const QString& sql, const QString& idColumn,
                    const std::function<QString(const Recordset&)>& itemText,
                    RetiredNames retired) {
    const QVariant remembered = selectedId(combo);
    combo->clear();
    Recordset rs = state().dbMain.openRecordset(sql, RecordsetType::Snapshot);
    if (rs.isOpen() && rs.recordCount() > 0) {
        // The lists read whole rows of their table: the inactive flag comes with them.
        const bool flagged =
            retired == RetiredNames::Leave &&
            rs.fieldNames().contains(QStringLiteral("inactive"), Qt::CaseInsensitive);
        while (!rs.isEOF()) {
            combo->addItem(itemText(rs), rs.value(idColumn).toLongLong());
            if (flagged && rs.value(QStringLiteral("inactive")).toBool())
                combo->setItemData(combo->count() - 1, true, RetiredRole);
            rs.moveNext();
        }
    }
    if (!combo->property(FollowsRetired).toBool()) {
        combo->setProperty(FollowsRetired, true);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo] { showRetiredNames(combo); });
    }
    combo->setCurrentIndex(indexOfId(combo, remembered));
    showRetiredNames(combo);
}

QString personName(const QString& last, const QString& first) {
    if (last.isEmpty() || first.isEmpty())
        return last + first;
    return last + QStringLiteral(", ") + first;
}

void RecordEditor::makeDisplayOnly(QWidget* box, QWidget* next) {
    box->installEventFilter(this);
    passFocusTo_.insert(box, next);
}

// Applies a number box's check to its text; a refusal shows the box's message and puts the
// focus back into the box. The number shown from the database is never refused, so that a
// value another program wrote does not hold the user in the box.
bool RecordEditor::checkNumberBox(QLineEdit* box) {
    if (checkingNumber_)
        return false; // a refusal is on the screen
    const NumberBox number = numberBoxes_.value(box);
    if (!box->isEnabled() || number.message.isEmpty() || numberBoxAccepts(box))
        return true;
    // The refusal moves the focus itself; its own focus events are not checked again.
    checkingNumber_ = true;
    ui().msgBox(number.message, MsgButtons::Ok, MsgIcon::None, {});
    box->setFocus();
    checkingNumber_ = false;
    return false;
}

bool RecordEditor::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (isUnmatchedAccessKey(static_cast<QKeyEvent*>(event))) {
            ui().beep();
            return true;
        }
        if (dropDownLists_.contains(watched)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (isNavigationKey(key))
                break;
            auto* combo = static_cast<QComboBox*>(watched);
            const bool clears = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete;
            if (clears)
                combo->setCurrentIndex(-1); // saved as an empty reference
            guardedCall([this] { MarkChanged(); });
            if (clears)
                return true;
        }
        break;
    case QEvent::FocusIn:
        if (const auto it = passFocusTo_.constFind(watched); it != passFocusTo_.constEnd()) {
            // Where the next control cannot take the focus (hidden while editing), the box
            // keeps it rather than send it nowhere.
            QWidget* next = it.value();
            if (next && next->isEnabled() && next->isVisibleTo(window()))
                next->setFocus(Qt::OtherFocusReason);
        } else if (numberBoxes_.contains(watched)) {
            auto* box = static_cast<QLineEdit*>(watched);
            box->selectAll();
            // A click into the box places the cursor after the focus arrives; select again
            // once the click is done.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, box, &QLineEdit::selectAll);
        }
        break;
    case QEvent::FocusOut:
        if (numberBoxes_.contains(watched) && !checkingNumber_ &&
            recordwidgets::leavesField(static_cast<QFocusEvent*>(event)))
            checkNumberBox(static_cast<QLineEdit*>(watched));
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tavrel
