#include "assignments/frmassign.h"

#include "assignments/assignquery.h"
#include "assignments/money.h"
#include "assignments/ruleschedule.h"
#include "core/datachanges.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "data/database.h"
#include "dialogs/datefield.h"
#include "text/datetext.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace tavrel {

using namespace recordwidgets;

namespace {

// Longest texts the hours, minutes and due date boxes take.
constexpr int ShortBoxLength = 20;

// Sizes of boxes whose contents are short; the task and the notes take the rest.
constexpr int NumberBoxWidth = 60;
constexpr int TaskIdWidth = 70;
constexpr int MoneyBoxChars = 16; // "$300,000,000.00" and a little room
constexpr int CodeListMinimumChars = 16;
// The window on a screen with room for it; smaller screens get what they have.
constexpr int UsualWidth = 900;
constexpr int UsualHeight = 600;
constexpr int FrameAllowance = 16;
constexpr int TitleBarAllowance = 48;

const QString CompletionDateMessage =
    QStringLiteral("You must enter a valid completion date, or leave the field blank.");

QAction* menuItem(QMenu* menu, const QString& name, const QString& caption, bool checked) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    item->setCheckable(true);
    item->setChecked(checked);
    return item;
}

} // namespace

frmAssign::frmAssign(QWidget* parent)
    : RecordEditor(Button::First | Button::Previous | Button::Next | Button::Last | Button::Update |
                       Button::Cancel | Button::Delete | Button::Find,
                   parent) {
    setObjectName(QStringLiteral("frmAssign"));
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("Maintain Assignments"));
    buildControls();
    buildMenus();
    buildLayout();
    connectHandlers();

    const QSize usual(UsualWidth, UsualHeight);
    const QScreen* shownOn = screen();
    resize(shownOn ? usual.boundedTo(shownOn->availableGeometry().size() -
                                     QSize(FrameAllowance, TitleBarAllowance))
                   : usual);
}

frmAssign::~frmAssign() {
    state().rsAssign.close();
}

Recordset& frmAssign::recordset() {
    return state().rsAssign;
}

void frmAssign::buildControls() {
    cmdFirst->setText(QStringLiteral("&First"));
    cmdPrint = new QPushButton(QStringLiteral("Print &Work Order"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    addBrowseOnlyButton(cmdPrint);
    addBrowseOnlyButton(cmdOk);

    Frame1 = new QGroupBox(QStringLiteral("Task Details"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtTaskID = lineEdit(Frame1, "txtTaskID");
    txtTaskID->setFixedWidth(TaskIdWidth);
    txtTaskID->setAlignment(NumberBoxAlignment);
    txtTaskName = lineEdit(Frame1, "txtTaskName");
    txtTask = multiLine(Frame1, "txtTask");
    for (QWidget* box : {static_cast<QWidget*>(txtTaskID), static_cast<QWidget*>(txtTaskName),
                         static_cast<QWidget*>(txtTask)}) {
        makeShownOnly(box);
        makeDisplayOnly(box, cmdFirst);
    }

    txtDueDate = lineEdit(this, "txtDueDate");
    txtDueDate->setMaxLength(ShortBoxLength);
    chkCompleted = new QCheckBox(QStringLiteral("Completed"), this);
    chkCompleted->setObjectName(QStringLiteral("chkCompleted"));
    makeShownOnly(txtDueDate);
    makeDisplayOnly(txtDueDate, chkCompleted);

    dcCompDate = new DateField(this);
    lblTimeliness = new QLabel(this);
    lblTimeliness->setObjectName(QStringLiteral("lblTimeliness"));
    dcCompDate->setObjectName(QStringLiteral("dcCompDate"));
    dcCompDate->setCheck(DateField::Kind::Optional, CompletionDateMessage);
    dcCompDate->setPlacement(DateField::Placement::BelowLeftAligned);

    txtCompHour = lineEdit(this, "txtCompHour");
    txtCompMin = lineEdit(this, "txtCompMin");
    for (QLineEdit* box : {txtCompHour, txtCompMin}) {
        box->setMaxLength(ShortBoxLength);
        box->setAlignment(NumberBoxAlignment);
        box->setFixedWidth(NumberBoxWidth);
        // Not checked on leaving: a text that is no number fails its column at the save.
        makeNumberBox(box, {});
    }

    cmbEmp = codeList(this, "cmbEmp", CodeListMinimumChars);
    cmbMan = codeList(this, "cmbMan", CodeListMinimumChars);
    makeDropDownList(cmbEmp);
    makeDropDownList(cmbMan);

    txtParts = lineEdit(this, "txtParts");
    txtLabor = lineEdit(this, "txtLabor");
    txtTax = lineEdit(this, "txtTax");
    txtTotalCost = lineEdit(this, "txtTotalCost");
    makeCostBox(txtParts, QStringLiteral("You must enter a valid number in the parts cost field."));
    makeCostBox(txtLabor, QStringLiteral("You must enter a valid number in the labor cost field."));
    makeCostBox(txtTax, QStringLiteral("You must enter a valid number in the tax cost field."));
    const int moneyWidth = txtParts->fontMetrics().averageCharWidth() * MoneyBoxChars;
    for (QLineEdit* box : {txtParts, txtLabor, txtTax, txtTotalCost}) {
        box->setAlignment(NumberBoxAlignment);
        box->setFixedWidth(moneyWidth);
    }
    txtCompNotes = multiLine(this, "txtCompNotes");
    makeShownOnly(txtTotalCost);
    makeDisplayOnly(txtTotalCost, txtCompNotes);

    cmdFirst->setToolTip(tr("First assignment shown"));
    cmdLast->setToolTip(tr("Last assignment shown"));
}

void frmAssign::buildMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    mnuShow = menuBar->addMenu(QStringLiteral("&Show"));
    mnuShow->setObjectName(QStringLiteral("mnuShow"));
    mnuYear[1] =
        menuItem(mnuShow, QStringLiteral("mnuYear1"), QStringLiteral("&Current Year Only"), true);
    mnuYear[2] = menuItem(mnuShow, QStringLiteral("mnuYear2"), QStringLiteral("&All Years"), false);
    mnuShow->addSeparator();
    mnuComplete[1] = menuItem(mnuShow, QStringLiteral("mnuComplete1"),
                              QStringLiteral("&Uncompleted Only"), true);
    mnuComplete[2] = menuItem(mnuShow, QStringLiteral("mnuComplete2"),
                              QStringLiteral("Completed and U&ncompleted"), false);
    mnuSortMenu = menuBar->addMenu(QStringLiteral("Sor&t"));
    mnuSortMenu->setObjectName(QStringLiteral("mnuSortMenu"));
    mnuSort[1] = menuItem(mnuSortMenu, QStringLiteral("mnuSort1"),
                          QStringLiteral("Sort by Scheduled &Date"), false);
    mnuSort[2] = menuItem(mnuSortMenu, QStringLiteral("mnuSort2"),
                          QStringLiteral("Sort by &Task Name"), false);

    const auto choice = [this](QAction* entry, auto chosen,
                               void (frmAssign::*click)(decltype(chosen))) {
        connect(entry, &QAction::triggered, this, [this, chosen, click] {
            guardedCall([this, chosen, click] { (this->*click)(chosen); });
        });
        disableWhileEditing(entry);
    };
    for (YearShown chosen : {YearShown::CurrentYearOnly, YearShown::AllYears})
        choice(item(chosen), chosen, &frmAssign::mnuYear_Click);
    for (CompletionShown chosen :
         {CompletionShown::UncompletedOnly, CompletionShown::CompletedAndUncompleted})
        choice(item(chosen), chosen, &frmAssign::mnuComplete_Click);
    for (AssignOrder chosen : {AssignOrder::ScheduledDate, AssignOrder::TaskName})
        choice(item(chosen), chosen, &frmAssign::mnuSort_Click);
}

void frmAssign::buildLayout() {
    // The task's number and name above its details, which take the height there is.
    auto* task = new QGridLayout(Frame1);
    task->addWidget(txtTaskID, 0, 0);
    task->addWidget(txtTaskName, 0, 1);
    task->addWidget(txtTask, 1, 0, 1, 2);
    task->setRowStretch(1, 1);
    task->setColumnStretch(1, 1);

    // How the work was completed, beside the task: labels on the left, money right-aligned
    // in boxes of one width, the notes taking the height that is left.
    auto* completion = new QGridLayout;
    int row = 0;
    const auto addField = [&](QLabel* caption, QWidget* field) {
        completion->addWidget(caption, row, 0);
        completion->addWidget(field, row, 1, Qt::AlignLeft);
        ++row;
    };
    auto* due = new QLabel(QStringLiteral("Scheduled for the Week of"), this);
    due->setObjectName(QStringLiteral("lblDueDate"));
    addField(due, txtDueDate);
    completion->addWidget(chkCompleted, row++, 1);
    addField(label(QStringLiteral("Completed On"), dcCompDate), dcCompDate);
    completion->addWidget(lblTimeliness, row++, 1);

    auto* time = new QHBoxLayout;
    time->addWidget(txtCompHour);
    time->addSpacing(12);
    time->addWidget(label(QStringLiteral("&Minutes"), txtCompMin));
    time->addWidget(txtCompMin);
    time->addStretch(1);
    completion->addWidget(label(QStringLiteral("&Hours"), txtCompHour), row, 0);
    completion->addLayout(time, row++, 1);

    completion->addWidget(label(QStringLiteral("&Assigned to"), cmbEmp), row, 0);
    completion->addWidget(cmbEmp, row++, 1);
    completion->addWidget(label(QStringLiteral("Inspected b&y"), cmbMan), row, 0);
    completion->addWidget(cmbMan, row++, 1);
    addField(label(QStringLiteral("Pa&rts Cost"), txtParts), txtParts);
    addField(label(QStringLiteral("La&bor Cost"), txtLabor), txtLabor);
    addField(label(QStringLiteral("Ta&x Cost"), txtTax), txtTax);
    auto* total = new QLabel(QStringLiteral("Total Cost"), this);
    total->setObjectName(QStringLiteral("lblTotalCost"));
    addField(total, txtTotalCost);
    completion->addWidget(label(QStringLiteral("Not&es"), txtCompNotes), row++, 0, 1, 2);
    completion->addWidget(txtCompNotes, row, 0, 1, 2);
    completion->setRowStretch(row, 1);
    completion->setColumnStretch(1, 1);

    auto* body = new QHBoxLayout;
    body->addWidget(Frame1, 3);
    body->addLayout(completion, 2);

    // Moving on the left, acting on the assignment in the middle, closing on the right.
    layOutEditor(nullptr, body, {cmdFirst, cmdPrevious, cmdNext, cmdLast},
                 {cmdUpdate, cmdCancel, cmdFind, cmdDelete, cmdPrint}, cmdOk);
    layout()->setMenuBar(menuBar);

    const QList<QWidget*> order{chkCompleted, dcCompDate,  txtCompHour, txtCompMin, cmbEmp,
                                cmbMan,       txtParts,    txtLabor,    txtTax,     txtCompNotes,
                                cmdFirst,     cmdPrevious, cmdNext,     cmdLast,    cmdUpdate,
                                cmdCancel,    cmdFind,     cmdDelete,   cmdPrint,   cmdOk};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmAssign::connectHandlers() {
    const auto onText = [this](QLineEdit* box, void (frmAssign::*handler)()) {
        connectGuarded(box, &QLineEdit::textChanged, [this, handler] { (this->*handler)(); });
    };
    onText(txtCompHour, &frmAssign::txtCompHour_Change);
    onText(txtCompMin, &frmAssign::txtCompMin_Change);
    onText(txtParts, &frmAssign::txtParts_Change);
    onText(txtLabor, &frmAssign::txtLabor_Change);
    onText(txtTax, &frmAssign::txtTax_Change);
    connectGuarded(txtCompNotes, &QPlainTextEdit::textChanged, [this] { txtCompNotes_Change(); });
    connectGuarded(dcCompDate, &DateField::textChanged, [this] { dcCompDate_Change(); });
    connectGuarded(chkCompleted, &QCheckBox::clicked, [this] { chkCompleted_Click(); });
    // A choice the user makes; filling the lists from the program does not count as one.
    connectGuarded(cmbEmp, &QComboBox::activated, [this] { cmbEmp_Click(); });
    connectGuarded(cmbMan, &QComboBox::activated, [this] { cmbMan_Click(); });
    connectCommand(cmdPrint, [this] { cmdPrint_Click(); });
    connectCommand(cmdOk, [this] { cmdOk_Click(); });
}

QList<QWidget*> frmAssign::dataControls() const {
    return {txtTaskID,  txtTaskName, txtTask,    txtDueDate,   chkCompleted,
            dcCompDate, txtCompHour, txtCompMin, cmbEmp,       cmbMan,
            txtParts,   txtLabor,    txtTax,     txtTotalCost, txtCompNotes};
}

QString frmAssign::keyColumn() const {
    return QStringLiteral("assid");
}

QWidget* frmAssign::firstDataControl() const {
    return chkCompleted;
}

QString frmAssign::deleteQuestion() const {
    return QStringLiteral("Are you sure that you want to delete this task assignment?");
}

QString frmAssign::deleteTitle() const {
    return QStringLiteral("Delete Task Assignment");
}

QString frmAssign::recordName() const {
    return QStringLiteral("assignment");
}

void frmAssign::Form_Load() {
    ErrorTrap trap;
    state().EmployeesChanged = true;
    state().ManagersChanged = true;
    openAssignments(openingAssignSql(state().CurYear));
    Form_Activate();
    if (hasRows()) {
        state().rsAssign.moveFirst();
        ShowRecord();
    } else {
        DisableFields();
    }
    Changed = false;
}

void frmAssign::Form_Activate() {
    cmdFind->setEnabled(static_cast<bool>(state().findDialog));
    cmdPrint->setEnabled(static_cast<bool>(state().workOrderPrinter));
    if (state().EmployeesChanged) {
        reloadCodeList(cmbEmp,
                       QStringLiteral("Select * from employees order by lastname, firstname"),
                       QStringLiteral("empid"), [](const Recordset& rs) {
                           return personName(columnText(rs, QStringLiteral("lastname")),
                                             columnText(rs, QStringLiteral("firstname")));
                       });
        state().EmployeesChanged = false;
    }
    if (state().ManagersChanged) {
        reloadCodeList(cmbMan, QStringLiteral("Select * from managers order by manlast, manfirst"),
                       QStringLiteral("manid"), [](const Recordset& rs) {
                           return personName(columnText(rs, QStringLiteral("manlast")),
                                             columnText(rs, QStringLiteral("manfirst")));
                       });
        state().ManagersChanged = false;
    }
}

void frmAssign::ShowRecord() {
    ChangedHold hold(*this);
    ErrorTrap trap;
    const Recordset& rs = state().rsAssign;

    // The task's name and details come from the tasks table; an assignment whose task is
    // gone is still shown, with empty task boxes.
    const QVariant taskId = rs.value(QStringLiteral("taskid"));
    Recordset task;
    if (!taskId.isNull())
        task = state().dbMain.openRecordset(
            QStringLiteral("select taskname, taskdesc, tools, results, besttime, reqhour, "
                           "reqmin, taskid from tasks where taskid = ") +
                QString::number(taskId.toLongLong()),
            RecordsetType::Snapshot);
    if (task.isOpen() && task.recordCount() > 0) {
        txtTaskName->setText(columnText(task, QStringLiteral("taskname")));
        txtTaskID->setText(wholeNumber(task.value(QStringLiteral("taskid")).toLongLong()));
        txtTask->setPlainText(taskDetailsText(task));
    } else {
        txtTaskName->clear();
        txtTaskID->clear();
        txtTask->clear();
        ui().msgBox(QStringLiteral("Error - Task description not found in database."));
    }

    txtDueDate->setText(shortDate(rs.value(QStringLiteral("duedate")).toDate()));
    chkCompleted->setChecked(rs.value(QStringLiteral("completed")).toBool());
    dcCompDate->setDate(rs.value(QStringLiteral("compdate")).toDate());
    showNumber(txtCompHour, rs.value(QStringLiteral("comphour")));
    showNumber(txtCompMin, rs.value(QStringLiteral("compmin")));
    cmbEmp->setCurrentIndex(indexOfId(cmbEmp, rs.value(QStringLiteral("empid"))));
    cmbMan->setCurrentIndex(indexOfId(cmbMan, rs.value(QStringLiteral("manid"))));
    showCost(txtParts, rs.value(QStringLiteral("parts")));
    showCost(txtLabor, rs.value(QStringLiteral("labor")));
    showCost(txtTax, rs.value(QStringLiteral("tax")));
    showCost(txtTotalCost, rs.value(QStringLiteral("totalcost")));
    txtCompNotes->setPlainText(columnText(rs, QStringLiteral("compnotes")));
    showTimeliness();
}

void frmAssign::showTimeliness() {
    const std::optional<QDate> due = toDate(txtDueDate->text());
    const std::optional<QDate> done = dcCompDate->date();
    QString text;
    if (chkCompleted->isChecked() && due && done) {
        const qint64 days = due->daysTo(*done);
        const auto count = [](qint64 n) {
            return n == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(n);
        };
        text = days == 0  ? QStringLiteral("Completed on the day it was due")
               : days < 0 ? QStringLiteral("Completed %1 early").arg(count(-days))
                          : QStringLiteral("Completed %1 late").arg(count(days));
    }
    lblTimeliness->setText(text);
}

void frmAssign::ClearRecord() {
    ChangedHold hold(*this);
    for (QLineEdit* box : {txtTaskName, txtTaskID, txtDueDate})
        box->clear();
    txtTask->clear();
    dcCompDate->setText(QString());
    txtCompNotes->clear();
    chkCompleted->setChecked(false);
    showNumber(txtCompHour, 0.0);
    showNumber(txtCompMin, 0.0);
    cmbEmp->setCurrentIndex(-1);
    cmbMan->setCurrentIndex(-1);
    for (QLineEdit* box : {txtParts, txtLabor, txtTax, txtTotalCost})
        showCost(box, 0.0);
}

void frmAssign::SaveRecord() {
    ErrorTrap trap;
    Recordset& rs = state().rsAssign;
    const QString dueText = txtDueDate->text();
    const std::optional<QDate> due = toDate(dueText);
    rs.setValue(QStringLiteral("duedate"), due ? QVariant(*due) : QVariant(dueText));
    rs.setValue(QStringLiteral("compdate"), dateOrEmpty(dcCompDate->date()));
    rs.setValue(QStringLiteral("completed"), chkCompleted->isChecked());
    saveNumber(QStringLiteral("comphour"), txtCompHour);
    saveNumber(QStringLiteral("compmin"), txtCompMin);
    rs.setValue(QStringLiteral("empid"), selectedId(cmbEmp));
    rs.setValue(QStringLiteral("manid"), selectedId(cmbMan));
    rs.setValue(QStringLiteral("parts"), costToSave(txtParts));
    rs.setValue(QStringLiteral("labor"), costToSave(txtLabor));
    rs.setValue(QStringLiteral("tax"), costToSave(txtTax));
    rs.setValue(QStringLiteral("totalcost"), costToSave(txtTotalCost));
    rs.setValue(QStringLiteral("compnotes"), txtCompNotes->toPlainText());
    SaveLoop(rs);
}

void frmAssign::saveNumber(const QString& column, const QLineEdit* box) {
    if (!numberBoxAccepts(box)) {
        raiseError(ErrTypeMismatch, QStringLiteral("Type mismatch: field '%1' takes a number, "
                                                   "not '%2'.")
                                        .arg(column, box->text()));
        return;
    }
    state().rsAssign.setValue(column, numberToSave(box));
}

void frmAssign::makeCostBox(QLineEdit* box, const QString& message) {
    box->installEventFilter(this);
    costBoxes_.insert(box, CostBox{message, box->text(), QVariant()});
}

void frmAssign::showCost(QLineEdit* box, const QVariant& value) {
    bool numeric = false;
    const double amount = value.toDouble(&numeric);
    QString text;
    if (!numeric || value.isNull())
        text = moneyText(0);
    else if (std::abs(amount) <= currencyAmount(LargestCost))
        text = moneyText(currencyUnits(amount)); // as leaving the box would write it
    else
        text = currency(amount); // only another program writes amounts this large
    box->setText(text);
    CostBox& shown = costBoxes_[box];
    shown.shownText = text;
    shown.shownValue = value;
}

QVariant frmAssign::costToSave(const QLineEdit* box) const {
    // While the box shows what was read, the amount stays exactly as stored (to the
    // ten-thousandth, or empty): a save of another field never changes it.
    const auto it = costBoxes_.constFind(box);
    if (it != costBoxes_.constEnd() && box->text() == it->shownText)
        return it->shownValue;
    const std::optional<Money> amount = moneyFromText(box->text());
    return amount ? currencyAmount(*amount) : 0.0;
}

bool frmAssign::checkCost(QLineEdit* box) {
    if (checkingCost_)
        return false; // a refusal is on the screen
    const QString text = box->text();
    if (!box->isEnabled() || text.isEmpty())
        return true; // an empty box is left alone, and so is the total
    const CostBox cost = costBoxes_.value(box);
    const std::optional<Money> amount = moneyFromText(text);
    if (!amount) {
        if (text == cost.shownText)
            return true; // what was read is never refused
        // The refusal moves the focus itself; its own focus events are not checked again.
        checkingCost_ = true;
        ui().msgBox(cost.message, MsgButtons::Ok, MsgIcon::None, {});
        box->setFocus();
        checkingCost_ = false;
        return false;
    }
    const QString money = moneyText(*amount);
    if (money != text)
        box->setText(money);
    ComputeTotalCost();
    return true;
}

void frmAssign::ComputeTotalCost() {
    txtTotalCost->setText(
        tavrel::ComputeTotalCost({txtParts->text(), txtLabor->text(), txtTax->text()}));
}

bool frmAssign::checkFocusedControl() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || focused->window() != window())
        focused = window()->focusWidget(); // the window is not the active one
    if (focused && costBoxes_.contains(focused))
        return checkCost(static_cast<QLineEdit*>(focused));
    return RecordEditor::checkFocusedControl();
}

bool frmAssign::eventFilter(QObject* watched, QEvent* event) {
    if (costBoxes_.contains(watched)) {
        auto* box = static_cast<QLineEdit*>(watched);
        if (event->type() == QEvent::FocusIn) {
            box->selectAll();
            // A click into the box places the cursor after the focus arrives; select again
            // once the click is done.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, box, &QLineEdit::selectAll);
        } else if (event->type() == QEvent::FocusOut && !checkingCost_ &&
                   leavesField(static_cast<QFocusEvent*>(event))) {
            guardedCall([this, box] { checkCost(box); });
        }
    }
    return RecordEditor::eventFilter(watched, event);
}

void frmAssign::openAssignments(const QString& sql) {
    query_ = sql;
    state().rsAssign = state().dbMain.openRecordset(sql, RecordsetType::Dynaset);
    if (state().rsAssign.isOpen())
        state().rsAssign.setLockEdits(false);
}

void frmAssign::reopen(const QString& sql) {
    openAssignments(sql);
    if (hasRows()) {
        EnableFields();
        state().rsAssign.moveFirst();
        ShowRecord();
    } else {
        // Nothing is left to show: no row of the choice before stays in the fields.
        ClearRecord();
        DisableFields();
    }
}

void frmAssign::mnuYear_Click(YearShown chosen) {
    for (YearShown each : {YearShown::CurrentYearOnly, YearShown::AllYears})
        item(each)->setChecked(each == chosen);
    reopen(showYearSql(chosen, uncompletedOnly(), state().CurYear));
}

void frmAssign::mnuComplete_Click(CompletionShown chosen) {
    for (CompletionShown each :
         {CompletionShown::UncompletedOnly, CompletionShown::CompletedAndUncompleted})
        item(each)->setChecked(each == chosen);
    reopen(showCompletionSql(chosen, currentYearOnly(), state().CurYear));
}

void frmAssign::mnuSort_Click(AssignOrder chosen) {
    for (AssignOrder each : {AssignOrder::ScheduledDate, AssignOrder::TaskName})
        item(each)->setChecked(each == chosen);
    reopen(sortSql(chosen, uncompletedOnly(), currentYearOnly(), state().CurYear));
}

void frmAssign::cmdFind_Click() {
    findThroughDialog(QStringLiteral("assign"), FindEditor::Assignments,
                      {QStringLiteral("No assignments entered to find."),
                       QStringLiteral("No Current Assignments in Database"),
                       QStringLiteral("That task assignment was not found.")});
}

void frmAssign::cmdUpdate_Click() {
    // What the row held before the save; read quietly, as the save reports a row that
    // cannot be read (another user deleted it) itself.
    const bool editing = Changed && !Adding && hasRows();
    QVariant assid;
    bool wasCompleted = false;
    if (editing) {
        ErrorTrap quiet([](const DbError&) {});
        assid = state().rsAssign.value(QStringLiteral("assid"));
        wasCompleted = state().rsAssign.value(QStringLiteral("completed")).toBool();
    }
    RecordEditor::cmdUpdate_Click();
    if (Changed)
        return;
    if (editing)
        followScheduleAfterSave(assid, wasCompleted);
    notifyAssignmentsChanged();
}

void frmAssign::followScheduleAfterSave(const QVariant& assid, bool wasCompleted) {
    const bool completed = chkCompleted->isChecked();
    if (completed == wasCompleted)
        return;
    // The rows moved are read afresh when the user comes to them, as rows another user
    // changed are; those added appear with the next Show choice. The row saved stays shown.
    if (completed) {
        // Nothing moves for a task whose schedule does not follow completion.
        if (!followCompletion(assid, dcCompDate->date().value_or(ui().today())))
            return;
        const QDate next = nextOpenDueDate(state().rsAssign.value(QStringLiteral("taskid")));
        ui().msgBox(
            next.isValid() ? QStringLiteral("The task's next assignment is now due on %1.")
                                 .arg(shortDate(next))
                           : QStringLiteral("The task has no further assignment this year."),
            MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Schedule Follows Completion"));
    } else if (followsCompletion(assid) &&
               ui().msgBox(QStringLiteral("The later assignments of this task were moved to "
                                          "follow its completion. Do you wish to move them "
                                          "back to the weeks its schedule gives without it?"),
                           MsgButtons::YesNo, MsgIcon::Question,
                           QStringLiteral("Completion Undone")) == MsgResult::Yes) {
        replanAfterUndoneCompletion(assid);
    }
}

void frmAssign::cmdDelete_Click() {
    RecordEditor::cmdDelete_Click();
    notifyAssignmentsChanged();
}

namespace {

const QString AssignmentGone = QStringLiteral(
    "That task assignment is no longer in the database: another program may have deleted it.");

// The due date and completion of an assignment; none when it is not in the database (or
// could not be read: the trap has said why).
std::optional<std::pair<QDate, bool>> assignmentState(qint64 assid) {
    ErrorTrap trap;
    Recordset wanted = state().dbMain.openRecordset(
        QStringLiteral("select assid, duedate, completed from assign where assid = ") +
            QString::number(assid),
        RecordsetType::Snapshot);
    if (!wanted.isOpen() || wanted.recordCount() == 0)
        return std::nullopt;
    return std::pair(wanted.value(QStringLiteral("duedate")).toDate(),
                     wanted.value(QStringLiteral("completed")).toBool());
}

} // namespace

bool frmAssign::showAssignment(qint64 assid) {
    ErrorTrap trap;
    if (Changed || Adding) {
        ui().msgBox(QStringLiteral("Save or cancel the changes to the assignment shown before "
                                   "opening another one."),
                    MsgButtons::Ok, MsgIcon::Information, {});
        return false;
    }
    const auto wanted = assignmentState(assid);
    if (!wanted) {
        ui().msgBox(AssignmentGone, MsgButtons::Ok, MsgIcon::Information, {});
        return false;
    }
    const auto [due, completed] = *wanted;
    // Each Show choice the row falls outside of is widened; the other stays as chosen.
    if (currentYearOnly() && due.year() != state().CurYear)
        mnuYear_Click(YearShown::AllYears);
    if (uncompletedOnly() && completed)
        mnuComplete_Click(CompletionShown::CompletedAndUncompleted);
    Recordset& rs = state().rsAssign;
    if (hasRows())
        rs.findFirst(QStringLiteral("assid = ") + QString::number(assid));
    if (!hasRows() || rs.noMatch()) {
        // Gone between the two reads.
        ui().msgBox(AssignmentGone, MsgButtons::Ok, MsgIcon::Information, {});
        return false;
    }
    EnableFields();
    ShowRecord();
    return true;
}

bool frmAssign::startCompletion(qint64 assid) {
    if (!showAssignment(assid))
        return false;
    chkCompleted->setChecked(true);
    dcCompDate->setDate(ui().today());
    MarkChanged();
    txtCompHour->setFocus(Qt::OtherFocusReason);
    txtCompHour->selectAll();
    return true;
}

void frmAssign::cmdPrint_Click() {
    const WorkOrderPrinter& print = state().workOrderPrinter;
    if (print && hasRows())
        print(state().rsAssign.value(QStringLiteral("assid")));
}

void frmAssign::cmdOk_Click() {
    FreeLocks();
    state().rsAssign.close();
    close();
}

void frmAssign::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        guardedCall([this] { Form_Activate(); });
    RecordEditor::changeEvent(event);
}

void frmAssign::closeEvent(QCloseEvent* event) {
    // Ok is hidden while an assignment is edited: the close box asks what becomes of the
    // edits, so that they are never lost by closing the window.
    if (!confirmClose()) {
        event->ignore();
        return;
    }
    FreeLocks();
    state().rsAssign.close();
    event->accept();
}

namespace {

// The one assignment editor of the program, while it is open.
QPointer<frmAssign>& theEditor() {
    static QPointer<frmAssign> open;
    return open;
}

} // namespace

frmAssign* openedAssignmentEditor() {
    return theEditor();
}

frmAssign* openAssignmentEditor(QWidget* parent) {
    QPointer<frmAssign>& open = theEditor();
    if (!open) {
        open = new frmAssign(parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
        open->Form_Load();
        placeOver(open, parent);
    }
    bringForward(open);
    return open;
}

frmAssign* openAssignmentOn(QWidget* parent, long assignId) {
    // A row that is gone opens nothing: the editor would only show another one.
    if (!assignmentState(assignId)) {
        ui().msgBox(AssignmentGone, MsgButtons::Ok, MsgIcon::Information, {});
        return nullptr;
    }
    frmAssign* editor = openAssignmentEditor(parent);
    editor->showAssignment(assignId);
    return editor;
}

void installAssignmentEditor(frmMain& main) {
    main.installCommand(main.mnuAssign, [&main] { openAssignmentEditor(&main); });
    // For the windows below this one that choose an assignment (a task's history).
    state().assignmentOpener = [](QWidget* parent, long assignId) {
        openAssignmentOn(parent, assignId);
    };
}

} // namespace tavrel
