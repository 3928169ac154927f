#include "assignments/codeeditor.h"

#include "assignments/frmcodesmaint.h"
#include "assignments/frmnames.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/operation.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

// A name in use cannot be deleted; it can leave the drop-down lists instead. The queries
// read the inactive flag too, and by default only the active names: the lists a user
// maintains day to day are the names still in use, the retired ones a switch away.
const QString RetireQuestion = QStringLiteral(
    "Do you want to mark it inactive instead? It then leaves the drop-down lists of new "
    "entries and stays on the records that use it.");
const QString InactiveColumn = QStringLiteral("inactive");

const QString NamesMissing =
    QStringLiteral("You must enter a first name or a last name (or press Cancel)");

const CodeList Lists[] = {
    {CodeEdit::Employees, QStringLiteral("Maintain Employees"),
     QStringLiteral(
         "Select empid as id, firstname, lastname, inactive, email from employees order by "
         "lastname, firstname"),
     QStringLiteral(
         "Select empid as id, firstname, lastname, inactive, email from employees where not "
         "inactive order by lastname, firstname"),
     QStringLiteral("Are you sure that you want to delete this employee?"),
     QStringLiteral("Delete Employee"), QStringLiteral("Select * from assign where empID = "),
     QStringLiteral("This employee is assigned to a task and cannot be deleted."), NamesMissing,
     HelpIdEmployees, &ProgramState::EmployeesChanged},
    {CodeEdit::Managers, QStringLiteral("Maintain Managers"),
     QStringLiteral("Select manid as id, manfirst as firstname, manlast as lastname, inactive, "
                    "email from managers order by manlast, manfirst"),
     QStringLiteral("Select manid as id, manfirst as firstname, manlast as lastname, inactive, "
                    "email from managers where not inactive order by manlast, manfirst"),
     QStringLiteral("Are you sure that you want to delete this manager?"),
     QStringLiteral("Delete Manager"), QStringLiteral("Select * from assign where manID= "),
     QStringLiteral("This manager is the selected inspector of an assignment record and cannot "
                    "be deleted."),
     NamesMissing, HelpIdManagers, &ProgramState::ManagersChanged},
    {CodeEdit::Locations, QStringLiteral("Maintain Locations"),
     QStringLiteral(
         "Select locid as id, locdesc as descr, inactive from locations order by locdesc"),
     QStringLiteral("Select locid as id, locdesc as descr, inactive from locations where not "
                    "inactive order by locdesc"),
     QStringLiteral("Are you sure that you want to delete this location?"),
     QStringLiteral("Delete Location"), QStringLiteral("Select * from tasks where locID = "),
     QStringLiteral("This location is assigned to a task and cannot be deleted."),
     QStringLiteral("You must enter a location name (or press Cancel)"), HelpIdLocations,
     &ProgramState::LocationsChanged},
    {CodeEdit::Types, QStringLiteral("Maintain Types"),
     QStringLiteral("Select typid as id, typdesc as descr, inactive from types order by typdesc"),
     QStringLiteral("Select typid as id, typdesc as descr, inactive from types where not inactive "
                    "order by typdesc"),
     QStringLiteral("Are you sure that you want to delete this type description?"),
     QStringLiteral("Delete Type"), QStringLiteral("Select * from tasks where typID= "),
     QStringLiteral("This type is assigned to a task record and cannot be deleted."),
     QStringLiteral("You must enter a type name (or press Cancel)"), HelpIdTypes,
     &ProgramState::TypesChanged},
};

// The help page of each help context id.
QString helpPage(int helpId) {
    switch (helpId) {
    case HelpIdManagers:
        return QStringLiteral("managers");
    case HelpIdTypes:
        return QStringLiteral("types");
    case HelpIdLocations:
        return QStringLiteral("locations");
    default:
        return QStringLiteral("employees");
    }
}

// The Maintain menu's entries, by index, and the list each opens.
constexpr CodeEdit MenuModes[] = {CodeEdit::Employees, CodeEdit::Employees, CodeEdit::Locations,
                                  CodeEdit::Managers, CodeEdit::Types};
constexpr int FirstMenuEntry = 1;
constexpr int LastMenuEntry = 4;

const QString FindTitle = QStringLiteral("Find Code");

} // namespace

const CodeList& codeList(CodeEdit mode) {
    for (const CodeList& list : Lists) {
        if (list.mode == mode)
            return list;
    }
    return Lists[0];
}

CodeEditor::CodeEditor(CodeEdit first, CodeEdit second, QWidget* parent)
    : RecordEditor(AllButtons & ~Buttons(Button::Help), parent)
    , list_(&codeList(first))
    , first_(first)
    , second_(second) {
    setWindowFlag(Qt::Window);
    cmdFirst->setText(QStringLiteral("&First"));
    cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    connectCommand(cmdOk, [this] { cmdOk_Click(); });
    addBrowseOnlyButton(cmdOk);
    chkInactive = new QCheckBox(QStringLiteral("Inacti&ve"), this);
    chkInactive->setObjectName(QStringLiteral("chkInactive"));
    connectGuarded(chkInactive, &QCheckBox::toggled, [this] {
        showRetiredState();
        MarkChanged();
    });
    chkShowInactive = new QCheckBox(QStringLiteral("&Show inactive"), this);
    chkShowInactive->setObjectName(QStringLiteral("chkShowInactive"));
    connectGuarded(chkShowInactive, &QCheckBox::clicked, [this] { chkShowInactive_Click(); });
    // Enter on a button presses that button, as in a dialog; elsewhere the default one.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(true);
    setDefaultButton(cmdOk);
}

QLineEdit* CodeEditor::makeTextBox(const char* name, const QString& column) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setMaxLength(CodeTextLength);
    connectGuarded(box, &QLineEdit::textChanged, [this] { MarkChanged(); });
    boxes_.append({box, column});
    return box;
}

QList<QLineEdit*> CodeEditor::textBoxes() const {
    QList<QLineEdit*> boxes;
    for (const auto& [box, column] : boxes_)
        boxes << box;
    return boxes;
}

void CodeEditor::ShowRecord() {
    ChangedHold hold(*this);
    for (const auto& [box, column] : boxes_)
        box->setText(recordset().value(column).toString());
    chkInactive->setChecked(recordset().value(InactiveColumn).toBool());
    showRetiredState();
}

void CodeEditor::ClearRecord() {
    ChangedHold hold(*this);
    for (const auto& [box, column] : boxes_)
        box->clear();
    chkInactive->setChecked(false);
    showRetiredState();
}

void CodeEditor::SaveRecord() {
    Recordset& rs = recordset();
    for (const auto& [box, column] : boxes_)
        rs.setValue(column, box->text());
    rs.setValue(InactiveColumn, chkInactive->isChecked());
    SaveLoop(rs);
}

void CodeEditor::showRetiredState() {
    QPalette palette = QApplication::palette(this);
    if (chkInactive->isChecked()) {
        const QColor grey = palette.color(QPalette::Disabled, QPalette::Text);
        palette.setColor(QPalette::Active, QPalette::Text, grey);
        palette.setColor(QPalette::Inactive, QPalette::Text, grey);
    }
    for (const auto& [box, column] : boxes_)
        box->setPalette(palette);
}

void CodeEditor::reopenAt(const QVariant& id) {
    reopenRecordset();
    if (hasRows()) {
        if (!id.isNull())
            rs_.findFirst(QStringLiteral("id = ") + QString::number(id.toLongLong()));
        if (id.isNull() || rs_.noMatch())
            rs_.moveFirst();
        EnableFields();
        ShowRecord();
    } else {
        ClearRecord();
        DisableFields();
    }
}

void CodeEditor::chkShowInactive_Click() {
    ErrorTrap trap;
    if (Changed || Adding) {
        // The list cannot change under a name being edited: Update or Cancel first.
        ui().beep();
        chkShowInactive->setChecked(!chkShowInactive->isChecked());
        return;
    }
    const bool shown = rs_.isOpen() && hasRows() && !rs_.isBOF() && !rs_.isEOF();
    reopenAt(shown ? rs_.value(keyColumn()) : QVariant());
}

bool CodeEditor::ValidateRecord() {
    for (const auto& [box, column] : boxes_)
        if (!box->text().isEmpty())
            return true;
    ui().msgBox(list_->missingData, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Missing Data"));
    boxes_.constFirst().first->setFocus();
    return false;
}

void CodeEditor::buildLayout(const QList<QWidget*>& labels) {
    const QList<QLineEdit*> boxes = textBoxes();
    auto* fields = new QGridLayout;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        fields->addWidget(labels.at(i), int(i), 0);
        fields->addWidget(boxes.at(i), int(i), 1);
    }
    fields->addWidget(chkInactive, int(boxes.size()), 1);
    fields->setColumnStretch(1, 1);

    // Moving through the list on one row, acting on it on the next.
    auto* moves = new QHBoxLayout;
    for (QPushButton* button : {cmdFirst, cmdPrevious, cmdNext, cmdLast})
        moves->addWidget(button);
    moves->addStretch(1);
    moves->addWidget(chkShowInactive);
    auto* commands = new QHBoxLayout;
    for (QPushButton* button : {cmdAddNew, cmdUpdate, cmdCancel, cmdDelete, cmdFind})
        commands->addWidget(button);
    commands->addStretch(1);
    commands->addWidget(cmdOk);

    auto* root = new QVBoxLayout(this);
    root->addLayout(fields);
    root->addStretch(1);
    root->addLayout(moves);
    root->addLayout(commands);

    QList<QWidget*> order(boxes.cbegin(), boxes.cend());
    order << chkInactive << cmdFirst << cmdPrevious << cmdNext << cmdLast << cmdAddNew << cmdUpdate
          << cmdCancel << cmdDelete << cmdFind << cmdOk << chkShowInactive;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CodeEditor::setDefaultButton(QPushButton* button) {
    if (default_ && default_ != button)
        default_->setDefault(false);
    default_ = button;
    default_->setDefault(true);
}

void CodeEditor::reopenRecordset() {
    rs_.close();
    rs_ = state().dbMain.openRecordset(chkShowInactive->isChecked() ? list_->sql : list_->activeSql,
                                       RecordsetType::Dynaset);
    rs_.setLockEdits(false);
}

void CodeEditor::Form_Load() {
    ErrorTrap trap;
    if (state().CodeEditMode == first_ || state().CodeEditMode == second_)
        list_ = &codeList(state().CodeEditMode);
    showListTexts();
    reopenRecordset();

    cmdAddNew->setText(AddNewCaption);
    SetBrowseButtons();
    setDefaultButton(cmdOk);
    if (saveButtonsAtOpening) {
        cmdUpdate->show();
        cmdCancel->show();
    }
    if (hasRows()) {
        rs_.moveFirst();
        EnableFields();
        ShowRecord();
    } else {
        ClearRecord();
        DisableFields();
    }
    Changed = false;
    Adding = false;
    focusAfterCommand();
}

bool CodeEditor::switchList() {
    if (state().CodeEditMode == list_->mode)
        return true;
    if (Changed || Adding || (state().CodeEditMode != first_ && state().CodeEditMode != second_))
        return false;
    closeList();
    Form_Load();
    return true;
}

void CodeEditor::closeList() {
    ErrorTrap trap;
    FreeLocks();
    rs_.close();
}

void CodeEditor::Form_Activate() {
    state().*list_->changedFlag = true;
}

void CodeEditor::cmdOk_Click() {
    closeList();
    close();
}

void CodeEditor::cmdAddNew_Click() {
    RecordEditor::cmdAddNew_Click();
    if (Adding)
        setDefaultButton(cmdAddNew);
}

void CodeEditor::cmdCancel_Click() {
    RecordEditor::cmdCancel_Click();
    setDefaultButton(cmdOk);
}

void CodeEditor::cmdFind_Click() {
    const std::optional<QString> answer = ui().inputBox(findPrompt(), FindTitle);
    if (!answer)
        return; // the user cancelled: stay where the list is
    if (hasRows()) {
        // A double quote in the answer stands for itself inside the quoted pattern. A find
        // that matches nothing leaves the shown row the current one.
        QString prefix = *answer;
        prefix.replace(QLatin1Char('"'), QLatin1String("\"\""));
        rs_.findFirst(findColumn() + QStringLiteral(" like \"") + prefix + QStringLiteral("*\""));
        if (!rs_.noMatch()) {
            ShowRecord();
            return;
        }
    }
    ui().msgBox(QStringLiteral("That record was not found."), MsgButtons::Ok, MsgIcon::None,
                QStringLiteral("No Records Match"));
}

QList<QWidget*> CodeEditor::dataControls() const {
    const QList<QLineEdit*> boxes = textBoxes();
    QList<QWidget*> controls(boxes.begin(), boxes.end());
    controls << chkInactive;
    return controls;
}

QString CodeEditor::keyColumn() const {
    return QStringLiteral("id");
}

QWidget* CodeEditor::firstDataControl() const {
    return textBoxes().constFirst();
}

QString CodeEditor::deleteQuestion() const {
    return list_->deleteQuestion;
}

QString CodeEditor::deleteTitle() const {
    return list_->deleteTitle;
}

bool CodeEditor::removeDependents() {
    // Runs in the delete's operation: a check that could not be made fails it, and is
    // reported once.
    const QString id = QString::number(rs_.value(keyColumn()).toLongLong());
    Recordset check =
        state().dbMain.openRecordset(list_->referenceSql + id, RecordsetType::Snapshot);
    if (!check.isOpen())
        return true; // not a refusal: the failure ends the operation, the row stays
    const bool used = check.recordCount() > 0;
    check.close();
    return !used;
}

void CodeEditor::deleteRefused() {
    // Still refused; retiring the name is offered in its place (runs under the delete's
    // trap).
    if (ui().msgBox(list_->refusal + QLatin1Char(' ') + RetireQuestion, MsgButtons::YesNo,
                    MsgIcon::Question, QStringLiteral("Cannot Delete"), {},
                    MsgResult::No) != MsgResult::Yes)
        return;
    const bool retired = RunAllOrNothing(state().dbMain, [this] {
        rs_.edit();
        rs_.setValue(InactiveColumn, true);
        SaveLoop(rs_);
    });
    FreeLocks();
    if (!retired)
        return;
    state().*list_->changedFlag = true;
    if (chkShowInactive->isChecked()) {
        ShowRecord();
        return;
    }
    // It leaves the list as a deleted name does: the next one is shown, or the one before
    // when it was the last.
    QVariant shownNext;
    rs_.moveNext();
    if (rs_.isEOF()) {
        rs_.moveLast();
        rs_.movePrevious();
    }
    if (!rs_.isBOF() && !rs_.isEOF())
        shownNext = rs_.value(keyColumn());
    reopenAt(shownNext);
}

QString CodeEditor::helpTopic() const {
    return helpPage(list_->helpId);
}

QString CodeEditor::recordName() const {
    switch (list_->mode) {
    case CodeEdit::Managers:
        return QStringLiteral("manager");
    case CodeEdit::Locations:
        return QStringLiteral("location");
    case CodeEdit::Types:
        return QStringLiteral("type");
    default:
        return QStringLiteral("employee");
    }
}

void CodeEditor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        guardedCall([this] { Form_Activate(); });
    RecordEditor::changeEvent(event);
}

void CodeEditor::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    QPushButton* pressed = nullptr;
    if (modifiers == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            pressed = default_;
            break;
        case Qt::Key_Escape:
            // Escape discards the edits, or, with nothing to discard, closes the window.
            pressed = cmdCancel->isVisible() ? cmdCancel : cmdOk;
            break;
        default:
            break;
        }
    }
    if (pressed && pressed->isVisible() && pressed->isEnabled()) {
        pressed->click();
        return;
    }
    RecordEditor::keyPressEvent(event);
}

void CodeEditor::closeEvent(QCloseEvent* event) {
    // Ok shows only once the edits are saved or cancelled; the close box asks which, so that
    // they are never lost.
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    guardedCall([this] { closeList(); });
    event->accept();
}

CodeEditor* openCodeEditor(QWidget* parent) {
    static QPointer<CodeEditor> names;
    static QPointer<CodeEditor> codes;
    const bool people =
        state().CodeEditMode == CodeEdit::Employees || state().CodeEditMode == CodeEdit::Managers;
    QPointer<CodeEditor>& window = people ? names : codes;
    if (!window) {
        QWidget* owner = parent ? parent->window() : nullptr;
        if (people)
            window = new frmNames(owner);
        else
            window = new frmCodesMaint(owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->Form_Load();
        // A size of its own, so that it keeps it when buttons come and go with the mode.
        placeOver(window, owner);
    } else if (!window->switchList()) {
        ui().beep();
        state().CodeEditMode = window->mode();
    }
    bringForward(window);
    return window;
}

void installCodeEditors(frmMain& main) {
    for (int entry = FirstMenuEntry; entry <= LastMenuEntry; ++entry) {
        main.installCommand(main.mnuMaint[entry], [&main, entry] {
            state().CodeEditMode = MenuModes[entry];
            openCodeEditor(&main);
        });
    }
}

} // namespace tavrel
