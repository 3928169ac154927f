#include "tasks/taskeditor.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/textlimits.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/units.h"
#include "dialogs/datefield.h"
#include "dialogs/frmrptdate.h"
#include "tasks/frmcustomrule.h"
#include "tasks/presets.h"
#include "tasks/schedule.h"
#include "tasks/taskhistory.h"
#include "text/datetext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace tavrel {

using namespace recordwidgets;

namespace {

// Longest text the number boxes take (the texts' limits are the columns', textlimits.h).
constexpr int NumberTextLength = 50;

// Sizes of boxes whose contents are short; everything else takes the room the window has.
constexpr int NumberBoxWidth = 60;
constexpr int TaskIdWidth = 90;
constexpr int CodeListMinimumChars = 10;

// Room around each week of the list, so that the check boxes of neighbouring weeks stand
// apart.
constexpr int WeekItemSpacing = 2;
// The widest week text to make room for when the list is still empty: a Monday whose day
// and month both take two digits.
const QDate WidestMonday(2000, 12, 25);

// Where the user's settings keep whether the history panel is shown.
const QString SettingsOwner = QStringLiteral("Tavrel");
const QString HistoryShownKey = QStringLiteral("taskEditor/historyShown");
// A screen with less height than this (a 1024 x 768 one among them) leaves the history no
// room beside the task's own fields: there it is hidden until the user shows it.
constexpr int RoomForHistory = 900;
// How the procedure and the history share their height at first.
constexpr int ProcedureStretch = 3;
constexpr int HistoryStretch = 2;

bool historyShownByDefault() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->availableGeometry().height() >= RoomForHistory;
}

// An employee as every list shows one.
QString employeeText(const Recordset& rs) {
    return personName(columnText(rs, QStringLiteral("lastname")),
                      columnText(rs, QStringLiteral("firstname")));
}

} // namespace

TaskEditor::TaskEditor(QAction* exitAction, QWidget* parent)
    : RecordEditor(AllButtons, parent) {
    setObjectName(QStringLiteral("TaskEditor"));
    buildControls();
    buildLayout();
    connectHandlers();
    applyTabOrder();
    disableWhileEditing(exitAction);
    addBrowseOnlyButton(cmdClone);
    cmdFind->setEnabled(static_cast<bool>(state().findDialog));
    const QSettings settings(SettingsOwner, SettingsOwner);
    const bool shown = settings.value(HistoryShownKey, historyShownByDefault()).toBool();
    fraHistory->setHidden(!shown);
    cmdHistory->setChecked(shown);
}

TaskEditor::~TaskEditor() = default;

Recordset& TaskEditor::recordset() {
    return state().rsTasks;
}

void TaskEditor::buildControls() {
    txtTaskName = lineEdit(this, "txtTaskName", TaskNameLength);
    txtTaskID = lineEdit(this, "txtTaskID", NumberTextLength);
    txtTaskID->setReadOnly(true);
    txtTaskID->setFixedWidth(TaskIdWidth);
    txtTaskID->setAlignment(NumberBoxAlignment);
    txtTaskID->setToolTip(tr("Assigned by the program when the task is saved"));
    // Drawn on the window's colour, so that it does not look like a box to type into.
    QPalette shown = txtTaskID->palette();
    shown.setColor(QPalette::Base, shown.color(QPalette::Window));
    txtTaskID->setPalette(shown);

    txtManuf = lineEdit(this, "txtManuf", EquipmentTextLength);
    txtModel = lineEdit(this, "txtModel", EquipmentTextLength);
    txtSerialNo = lineEdit(this, "txtSerialNo", EquipmentTextLength);
    cmbLoc = codeList(this, "cmbLoc", CodeListMinimumChars);
    cmbTyp = codeList(this, "cmbTyp", CodeListMinimumChars);
    txtTag = lineEdit(this, "txtTag", TagLength);
    dcPurchDate = new DateField(this);
    dcPurchDate->setObjectName(QStringLiteral("dcPurchDate"));
    dcPurchDate->setCheck(DateField::Kind::Optional,
                          QStringLiteral("You must enter a valid purchase date, or leave the "
                                         "field blank."),
                          true);
    dcPurchDate->setPlacement(DateField::Placement::AboveRightAligned);
    dcWarDate = new DateField(this);
    dcWarDate->setObjectName(QStringLiteral("dcWarDate"));
    dcWarDate->setCheck(DateField::Kind::Optional,
                        QStringLiteral("You must enter a valid waranty expiration date, or leave "
                                       "the field blank."),
                        true);
    dcWarDate->setPlacement(DateField::Placement::AboveRightAligned);
    txtMisc1 = lineEdit(this, "txtMisc1", MiscLength);

    txtTaskDesc = multiLine(this, "txtTaskDesc");
    txtTools = multiLine(this, "txtTools");
    txtResults = multiLine(this, "txtResults");
    txtBestTime = lineEdit(this, "txtBestTime", BestTimeLength);
    txtReqHour = lineEdit(this, "txtReqHour", NumberTextLength);
    txtReqMin = lineEdit(this, "txtReqMin", NumberTextLength);
    for (QLineEdit* box : {txtReqHour, txtReqMin}) {
        box->setAlignment(NumberBoxAlignment);
        box->setFixedWidth(NumberBoxWidth);
    }
    cmbEmp = codeList(this, "cmbEmp", CodeListMinimumChars);

    makeDropDownList(cmbEmp);
    makeDropDownList(cmbLoc);
    makeDropDownList(cmbTyp);
    makeNumberBox(txtReqHour, QStringLiteral("You must enter a valid number in the hours field."));
    makeNumberBox(txtReqMin, QStringLiteral("You must enter a valid number in the minutes field."));
    makeDisplayOnly(txtTaskID, cmbLoc);

    chkCurYearOnly = new QCheckBox(QStringLiteral("Current Year Only"), this);
    chkCurYearOnly->setObjectName(QStringLiteral("chkCurYearOnly"));
    lstWeeks = new QListWidget(this);
    lstWeeks->setObjectName(QStringLiteral("lstWeeks"));
    lstWeeks->setSelectionMode(QAbstractItemView::NoSelection);
    lstWeeks->setUniformItemSizes(true);
    lstWeeks->setSpacing(WeekItemSpacing);
    lstWeeks->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fitWeekListWidth();

    cmdWeekly = button(this, "cmdWeekly", QStringLiteral("Weekly"));
    cmdMonthly = button(this, "cmdMonthly", QStringLiteral("Monthly"));
    cmdBimonthly = button(this, "cmdBimonthly", QStringLiteral("Bimonthly"));
    cmdQuarterly = button(this, "cmdQuarterly", QStringLiteral("Quarterly"));
    cmdSemiannual = button(this, "cmdSemiannual", QStringLiteral("Semiannual"));
    cmdAnnual = button(this, "cmdAnnual", QStringLiteral("Annual"));
    cmdClearAll = button(this, "cmdClearAll", QStringLiteral("Clear All"));
    cmdCustom = button(this, "cmdCustom", QStringLiteral("Custom..."));
    cmdCustom->setToolTip(QStringLiteral("Schedule the task every so many weeks, months or years"));
    lblRule = new QLabel(this);
    lblRule->setObjectName(QStringLiteral("lblRule"));
    lblRule->setWordWrap(true);
    lblRule->setVisible(false);

    fraHistory = new TaskHistory(this);
    // A chosen row opens the assignment editor on it, when there is one to open.
    connect(fraHistory, &TaskHistory::assignmentChosen, this, [this](long assignId) {
        if (state().assignmentOpener)
            guardedCall([this, assignId] { state().assignmentOpener(window(), assignId); });
    });
    // Alt+H is the main window's Help menu.
    cmdHistory = button(this, "cmdHistory", QStringLiteral("&View History"));
    cmdHistory->setCheckable(true);
    cmdHistory->setToolTip(tr("Show or hide the task's assignments of every year"));

    cmdClone = button(this, "cmdClone", QStringLiteral("Clone"));
    cmdClone->setToolTip(QStringLiteral("Duplicate the current record"));

    cmdFirst->setToolTip(tr("First task by name"));
    cmdPrevious->setToolTip(tr("Previous task by name"));
    cmdNext->setToolTip(tr("Next task by name"));
    cmdLast->setToolTip(tr("Last task by name"));
}

// One piece: the window's layout from top to bottom, as it appears.
void TaskEditor::buildLayout() {
    // Task name and number head the window.
    auto* header = new QHBoxLayout;
    header->addWidget(label(QStringLiteral("Tas&k Name"), txtTaskName));
    header->addWidget(txtTaskName, 1);
    header->addSpacing(16);
    header->addWidget(label(QStringLiteral("Task Number"), txtTaskID));
    header->addWidget(txtTaskID);
    header->addSpacing(16);
    header->addWidget(cmdHistory);

    // The equipment the task is done on, in two columns of fields that widen with the window.
    auto* equipment = new QGroupBox(tr("Equipment"), this);
    equipment->setObjectName(QStringLiteral("fraEquipment"));
    auto* equipmentGrid = new QGridLayout(equipment);
    const auto addField = [equipmentGrid](int row, int column, const QString& text, QWidget* field,
                                          int columnSpan = 1) {
        equipmentGrid->addWidget(label(text, field), row, column);
        equipmentGrid->addWidget(field, row, column + 1, 1, columnSpan);
    };
    constexpr int LeftLabel = 0;
    constexpr int RightLabel = 2;
    addField(0, LeftLabel, QStringLiteral("Manufactur&er"), txtManuf);
    addField(1, LeftLabel, QStringLiteral("Model Number"), txtModel);
    addField(2, LeftLabel, QStringLiteral("Serial Number"), txtSerialNo);
    addField(0, RightLabel, QStringLiteral("L&ocation"), cmbLoc);
    addField(1, RightLabel, QStringLiteral("T&ype"), cmbTyp);
    addField(2, RightLabel, QStringLiteral("Tag Number"), txtTag);
    addField(3, LeftLabel, QStringLiteral("Purchase Date"), dcPurchDate);
    addField(3, RightLabel, QStringLiteral("&Warranty Expiration Date"), dcWarDate);
    addField(4, LeftLabel, QStringLiteral("Miscellaneous"), txtMisc1, 3);
    equipmentGrid->setColumnStretch(LeftLabel + 1, 1);
    equipmentGrid->setColumnStretch(RightLabel + 1, 1);

    // What is done, with what, and how long it takes.
    auto* procedure = new QGroupBox(tr("Procedure"), this);
    procedure->setObjectName(QStringLiteral("fraProcedure"));
    auto* procedureGrid = new QGridLayout(procedure);
    procedureGrid->addWidget(label(QStringLiteral("&Task Description"), txtTaskDesc), 0, 0, 1, 2);
    procedureGrid->addWidget(txtTaskDesc, 1, 0, 1, 2);
    procedureGrid->addWidget(label(QStringLiteral("Tools/Techni&ques Required"), txtTools), 2, 0);
    procedureGrid->addWidget(label(QStringLiteral("E&xpected Results"), txtResults), 2, 1);
    procedureGrid->addWidget(txtTools, 3, 0);
    procedureGrid->addWidget(txtResults, 3, 1);
    procedureGrid->setRowStretch(1, 3);
    procedureGrid->setRowStretch(3, 2);
    procedureGrid->setColumnStretch(0, 1);
    procedureGrid->setColumnStretch(1, 1);

    auto* details = new QGridLayout;
    details->addWidget(label(QStringLiteral("&Best Time"), txtBestTime), 0, 0);
    details->addWidget(txtBestTime, 0, 1, 1, 5);
    details->addWidget(label(QStringLiteral("Hours"), txtReqHour), 1, 0);
    details->addWidget(txtReqHour, 1, 1);
    details->addWidget(label(QStringLiteral("Minutes"), txtReqMin), 1, 2);
    details->addWidget(txtReqMin, 1, 3);
    details->addWidget(label(QStringLiteral("Assi&gned to"), cmbEmp), 1, 4, Qt::AlignRight);
    details->addWidget(cmbEmp, 1, 5);
    details->setColumnStretch(5, 1);
    procedureGrid->addLayout(details, 4, 0, 1, 2);

    // The weeks of the year the task is scheduled for, as wide as their texts.
    fraFrequency = new QGroupBox(QStringLiteral("Task Frequency"), this);
    fraFrequency->setObjectName(QStringLiteral("fraFrequency"));
    auto* frequency = new QVBoxLayout(fraFrequency);
    frequency->addWidget(lstWeeks, 1);
    frequency->addWidget(lblRule);
    frequency->addWidget(chkCurYearOnly);
    auto* presets = new QGridLayout;
    presets->addWidget(cmdWeekly, 0, 0);
    presets->addWidget(cmdMonthly, 0, 1);
    presets->addWidget(cmdBimonthly, 1, 0);
    presets->addWidget(cmdQuarterly, 1, 1);
    presets->addWidget(cmdSemiannual, 2, 0);
    presets->addWidget(cmdAnnual, 2, 1);
    presets->addWidget(cmdClearAll, 3, 0);
    presets->addWidget(cmdCustom, 3, 1);
    frequency->addLayout(presets);

    // Equipment above the procedure, whose text boxes take the height the window has, with
    // the history sharing that height as the user sizes them; the weeks beside them all,
    // from top to bottom.
    auto* lower = new QSplitter(Qt::Vertical, this);
    lower->setObjectName(QStringLiteral("splHistory"));
    lower->setChildrenCollapsible(false);
    lower->addWidget(procedure);
    lower->addWidget(fraHistory);
    lower->setStretchFactor(0, ProcedureStretch);
    lower->setStretchFactor(1, HistoryStretch);
    // Sizes in that proportion: the splitter would otherwise give the history only its
    // minimum, the procedure's boxes asking for more height than there is.
    lower->setSizes({ProcedureStretch * fontMetrics().lineSpacing(),
                     HistoryStretch * fontMetrics().lineSpacing()});
    auto* task = new QVBoxLayout;
    task->addWidget(equipment);
    task->addWidget(lower, 1);

    auto* body = new QHBoxLayout;
    body->addLayout(task, 1);
    body->addWidget(fraFrequency);

    // Row commands: moving on the left, acting on the row in the middle, help on the right.
    layOutEditor(header, body, {cmdFirst, cmdPrevious, cmdNext, cmdLast},
                 {cmdAddNew, cmdUpdate, cmdCancel, cmdDelete, cmdClone, cmdFind}, cmdHelp);
}

void TaskEditor::connectHandlers() {
    const auto onText = [this](QLineEdit* box, void (TaskEditor::*handler)()) {
        connectGuarded(box, &QLineEdit::textChanged, [this, handler] { (this->*handler)(); });
    };
    onText(txtTaskName, &TaskEditor::txtTaskName_Change);
    onText(txtTaskID, &TaskEditor::txtTaskID_Change);
    onText(txtManuf, &TaskEditor::txtManuf_Change);
    onText(txtModel, &TaskEditor::txtModel_Change);
    onText(txtSerialNo, &TaskEditor::txtSerialNo_Change);
    onText(txtTag, &TaskEditor::txtTag_Change);
    onText(txtBestTime, &TaskEditor::txtBestTime_Change);
    onText(txtReqHour, &TaskEditor::txtReqHour_Change);
    onText(txtReqMin, &TaskEditor::txtReqMin_Change);
    onText(txtMisc1, &TaskEditor::txtMisc1_Change);

    const auto onNotes = [this](QPlainTextEdit* box, void (TaskEditor::*handler)()) {
        connectGuarded(box, &QPlainTextEdit::textChanged, [this, handler] { (this->*handler)(); });
    };
    onNotes(txtTaskDesc, &TaskEditor::txtTaskDesc_Change);
    onNotes(txtTools, &TaskEditor::txtTools_Change);
    onNotes(txtResults, &TaskEditor::txtResults_Change);

    connectGuarded(dcPurchDate, &DateField::textChanged, [this] { dcPurchDate_Change(); });
    connectGuarded(dcWarDate, &DateField::textChanged, [this] { dcWarDate_Change(); });

    // A choice the user makes; filling the lists from the program does not count as one.
    connectGuarded(cmbEmp, &QComboBox::activated, [this] { cmbEmp_Click(); });
    connectGuarded(cmbLoc, &QComboBox::activated, [this] { cmbLoc_Click(); });
    connectGuarded(cmbTyp, &QComboBox::activated, [this] { cmbTyp_Click(); });
    connectGuarded(chkCurYearOnly, &QCheckBox::clicked, [this] { chkCurYearOnly_Click(); });
    connect(lstWeeks, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { guardedCall([this, item] { lstWeeks_Click(item); }); });
    lstWeeks->installEventFilter(this);

    connectCommand(cmdClone, [this] { cmdClone_Click(); });
    connectGuarded(cmdHistory, &QPushButton::clicked, [this] { cmdHistory_Click(); });
    connectGuarded(cmdWeekly, &QPushButton::clicked, [this] { cmdWeekly_Click(); });
    connectGuarded(cmdMonthly, &QPushButton::clicked, [this] { cmdMonthly_Click(); });
    connectGuarded(cmdBimonthly, &QPushButton::clicked, [this] { cmdBimonthly_Click(); });
    connectGuarded(cmdQuarterly, &QPushButton::clicked, [this] { cmdQuarterly_Click(); });
    connectGuarded(cmdSemiannual, &QPushButton::clicked, [this] { cmdSemiannual_Click(); });
    connectGuarded(cmdAnnual, &QPushButton::clicked, [this] { cmdAnnual_Click(); });
    connectGuarded(cmdClearAll, &QPushButton::clicked, [this] { cmdClearAll_Click(); });
    connectGuarded(cmdCustom, &QPushButton::clicked, [this] { cmdCustom_Click(); });
}

void TaskEditor::applyTabOrder() {
    const QList<QWidget*> order{
        txtTaskName,   txtTaskID,      txtManuf,    txtModel,    txtSerialNo,  cmbLoc,
        cmbTyp,        txtTag,         txtTaskDesc, txtTools,    txtResults,   txtBestTime,
        txtReqHour,    txtReqMin,      cmbEmp,      dcPurchDate, dcWarDate,    txtMisc1,
        lstWeeks,      chkCurYearOnly, cmdWeekly,   cmdMonthly,  cmdBimonthly, cmdQuarterly,
        cmdSemiannual, cmdAnnual,      cmdClearAll, cmdCustom,   cmdFirst,     cmdPrevious,
        cmdNext,       cmdLast,        cmdAddNew,   cmdUpdate,   cmdCancel,    cmdDelete,
        cmdClone,      cmdFind,        cmdHelp};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    // The history after the task's own fields, above which it lies; its button last.
    QWidget::setTabOrder(txtMisc1, fraHistory->tvwHistory);
    QWidget::setTabOrder(fraHistory->tvwHistory, lstWeeks);
    QWidget::setTabOrder(cmdHelp, cmdHistory);
}

QList<QWidget*> TaskEditor::dataControls() const {
    return {cmbEmp,         cmbLoc,      cmbTyp,      txtTaskName, txtTaskID,    txtTaskDesc,
            txtTools,       txtResults,  txtBestTime, txtReqHour,  txtReqMin,    txtManuf,
            txtModel,       txtSerialNo, txtTag,      txtMisc1,    dcPurchDate,  dcWarDate,
            chkCurYearOnly, lstWeeks,    cmdWeekly,   cmdMonthly,  cmdBimonthly, cmdQuarterly,
            cmdClearAll,    cmdCustom,   cmdClone};
}

void TaskEditor::fillWeekList() {
    lstWeeks->clear();
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select curdate, weeid from weeks order by weeid"), RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() <= 0)
        return;
    int count = 0;
    while (!rs.isEOF() && count < WeeksPerYear) {
        ++count;
        const QDate monday = rs.value(QStringLiteral("curdate")).toDate();
        auto* item = new QListWidgetItem(QStringLiteral("Week of ") + shortDate(monday), lstWeeks);
        item->setData(Qt::UserRole, rs.value(QStringLiteral("weeid")));
        // Marks are shown as check boxes. The item itself is not user-checkable: a click
        // anywhere on it (or Space) toggles it through lstWeeks_Click.
        item->setFlags(Qt::ItemIsEnabled);
        item->setCheckState(Qt::Unchecked);
        state().WeekDates[count] = monday;
        rs.moveNext();
    }
    fitWeekListWidth();
}

// The list is as wide as its widest week with its check box: no date is cut in any locale,
// and the rest of the window's width goes to the task. Until it is filled, as wide as the
// widest week text can be.
void TaskEditor::fitWeekListWidth() {
    int items = lstWeeks->sizeHintForColumn(0);
    if (lstWeeks->count() == 0) {
        QStyleOptionViewItem option;
        option.initFrom(lstWeeks);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const int indicator =
            lstWeeks->style()
                ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, lstWeeks)
                .width();
        items = indicator + lstWeeks->fontMetrics().horizontalAdvance(
                                QStringLiteral("Week of ") + shortDate(WidestMonday) + u' ');
    }
    const int scrollBar = lstWeeks->verticalScrollBar()->sizeHint().width();
    const int room = lstWeeks->fontMetrics().averageCharWidth(); // after the text
    lstWeeks->setFixedWidth(items + room + 2 * (lstWeeks->frameWidth() + lstWeeks->spacing()) +
                            scrollBar);
}

void TaskEditor::openRecords() {
    state().rsTasks = state().dbMain.openRecordset(
        QStringLiteral("select * from tasks order by taskname"), RecordsetType::Dynaset);
    state().rsTasks.setLockEdits(false);
}

void TaskEditor::showFirst() {
    if (hasRows()) {
        state().rsTasks.moveLast();
        state().rsTasks.moveFirst();
        ShowRecord();
    } else {
        DisableFields();
    }
}

void TaskEditor::reloadRecords() {
    rememberPosition();
    reopenRecords();
    // New locations or types may have come with the rows.
    Form_Activate();
}

void TaskEditor::resetState() {
    Changed = false;
    Adding = false;
}

void TaskEditor::closeRecords() {
    state().rsTasks.close();
}

bool TaskEditor::isWeekMarked(int position) const {
    const QListWidgetItem* item = lstWeeks->item(position);
    return item && item->checkState() == Qt::Checked;
}

void TaskEditor::setWeekMarked(int position, bool marked) {
    if (QListWidgetItem* item = lstWeeks->item(position))
        item->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
}

void TaskEditor::unmarkAllWeeks() {
    for (int i = 0; i < lstWeeks->count(); ++i)
        setWeekMarked(i, false);
    lstWeeks->setCurrentItem(nullptr);
}

void TaskEditor::markTaskWeeks() {
    const QSet<qint64> stored = storedTaskWeeks(state().rsTasks.value(QStringLiteral("taskid")));
    for (int i = 0; i < lstWeeks->count(); ++i)
        setWeekMarked(i, stored.contains(lstWeeks->item(i)->data(Qt::UserRole).toLongLong()));
    lstWeeks->setCurrentItem(nullptr);
}

void TaskEditor::saveTaskWeeks(const QVariant& taskId) {
    QList<WeekMark> weeks;
    weeks.reserve(lstWeeks->count());
    for (int i = 0; i < lstWeeks->count(); ++i)
        weeks.append({lstWeeks->item(i)->data(Qt::UserRole), isWeekMarked(i)});
    const int repairsBefore = mainDatabaseRepairs();
    saveWeekSchedule(taskId, weeks, selectedId(cmbEmp), ui().today());
    // A damaged file met on the way was repaired: the marks are still to be written.
    if (mainDatabaseRepairs() == repairsBefore)
        WeeksChanged = false;
}

void TaskEditor::showRule() {
    const bool ruled = rule_.isSet();
    lblRule->setText(ruled ? describeIntervalRule(rule_) : QString());
    lblRule->setVisible(ruled);
    // Greyed while the rule decides the weeks; a click still reaches lstWeeks_Click, which
    // offers to turn the rule off.
    const QBrush text =
        lstWeeks->palette().brush(ruled ? QPalette::Disabled : QPalette::Active, QPalette::Text);
    for (int i = 0; i < lstWeeks->count(); ++i)
        lstWeeks->item(i)->setForeground(text);
}

bool TaskEditor::handEditAllowed() {
    if (!rule_.isSet())
        return true;
    if (ui().msgBox(QStringLiteral("The weeks of this task follow its rule:\n%1\n\nDo you "
                                   "wish to turn the rule off and choose the weeks yourself?")
                        .arg(describeIntervalRule(rule_)),
                    MsgButtons::YesNo, MsgIcon::Question,
                    QStringLiteral("Custom Schedule")) != MsgResult::Yes)
        return false;
    rule_ = IntervalRule();
    showRule();
    MarkChanged();
    return true;
}

void TaskEditor::cmdCustom_Click() {
    const QDate lastDone = lastCompletionOf(state().rsTasks.value(QStringLiteral("taskid")));
    frmCustomRule dialog(rule_, lastDone, window());
    if (ui().showModal(&dialog) != QDialog::Accepted)
        return;
    const bool hadRule = rule_.isSet();
    rule_ = dialog.rule();
    MarkChanged();
    showRule();
    // No Rule keeps the weeks the rule had marked, now to be changed by hand.
    if (!rule_.isSet()) {
        if (hadRule)
            WeeksChanged = true;
        return;
    }
    unmarkAllWeeks();
    for (const int week : intervalWeeks(rule_, state().WeekDates, lastDone))
        setWeekMarked(week - 1, true);
    lstWeeks->setCurrentItem(nullptr);
    WeeksChanged = true;
}

void TaskEditor::lstWeeks_Click(QListWidgetItem* item) {
    if (!item || !lstWeeks->isEnabled() || !handEditAllowed())
        return;
    setWeekMarked(lstWeeks->row(item), item->checkState() != Qt::Checked);
    MarkChanged();
    WeeksChanged = true;
}

void TaskEditor::cmdWeekly_Click() {
    if (!handEditAllowed())
        return;
    if (ui().msgBox(QStringLiteral("Are you sure that you wish to schedule this task to be "
                                   "performed every week?"),
                    MsgButtons::YesNo, MsgIcon::None,
                    QStringLiteral("Schedule Weekly")) != MsgResult::Yes)
        return;
    WeeksChanged = true;
    MarkChanged();
    for (int i = 0; i < lstWeeks->count(); ++i)
        setWeekMarked(i, true);
}

void TaskEditor::cmdClearAll_Click() {
    if (!handEditAllowed())
        return;
    // Clearing the weeks takes the task's coming assignments away once it is saved.
    if (askBeforeDestroying(QStringLiteral("Are you sure that you wish to clear all weeks that "
                                           "this task is scheduled for?"),
                            QStringLiteral("Clear Schedule")) != MsgResult::Yes)
        return;
    MarkChanged();
    unmarkAllWeeks();
    MarkChanged();
    WeeksChanged = true;
}

void TaskEditor::cmdMonthly_Click() {
    markDatedPreset(DatedPreset::Monthly);
}

void TaskEditor::cmdBimonthly_Click() {
    markDatedPreset(DatedPreset::Bimonthly);
}

void TaskEditor::cmdQuarterly_Click() {
    markDatedPreset(DatedPreset::Quarterly);
}

void TaskEditor::cmdSemiannual_Click() {
    markDatedPreset(DatedPreset::Semiannual);
}

void TaskEditor::cmdAnnual_Click() {
    markDatedPreset(DatedPreset::Annual);
}

void TaskEditor::markDatedPreset(DatedPreset preset) {
    if (!handEditAllowed())
        return;
    state().Cancelled = true;
    {
        frmRptDate dialog(window());
        dialog.setWindowTitle(QStringLiteral("Select Starting Date for Assignments"));
        ui().showModal(&dialog);
    }
    if (state().Cancelled)
        return;
    const QList<int> weeks =
        presetWeeks(preset, state().DialogDate, state().CurYear, state().WeekDates);
    unmarkAllWeeks();
    for (const int week : weeks)
        setWeekMarked(week - 1, true);
    lstWeeks->setCurrentItem(nullptr);
    MarkChanged();
    WeeksChanged = true;
}

bool TaskEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lstWeeks && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        // Space toggles the current week, as a click does.
        if (QListWidgetItem* current = lstWeeks->currentItem())
            guardedCall([this, current] { lstWeeks_Click(current); });
        return true;
    }
    return RecordEditor::eventFilter(watched, event);
}

void TaskEditor::Form_Activate() {
    cmdFind->setEnabled(static_cast<bool>(state().findDialog));
    // The assignment editor may have completed or changed the task's assignments meanwhile.
    fraHistory->refresh();
    if (state().EmployeesChanged) {
        reloadCodeList(cmbEmp,
                       QStringLiteral("Select * from employees order by lastname, firstname"),
                       QStringLiteral("empid"), employeeText);
        state().EmployeesChanged = false;
    }
    if (state().LocationsChanged) {
        reloadCodeList(cmbLoc, QStringLiteral("Select * from locations order by locdesc"),
                       QStringLiteral("locid"), [](const Recordset& rs) {
                           return columnText(rs, QStringLiteral("locdesc"));
                       });
        state().LocationsChanged = false;
    }
    if (state().TypesChanged) {
        reloadCodeList(
            cmbTyp, QStringLiteral("Select * from types order by typdesc"), QStringLiteral("typid"),
            [](const Recordset& rs) { return columnText(rs, QStringLiteral("typdesc")); });
        state().TypesChanged = false;
    }
}

void TaskEditor::ShowRecord() {
    ChangedHold hold(*this);
    const Recordset& rs = state().rsTasks;
    txtTaskName->setText(columnText(rs, QStringLiteral("taskname")));
    const QVariant id = rs.value(QStringLiteral("taskid"));
    txtTaskID->setText(id.isNull() ? QString() : wholeNumber(id.toLongLong()));
    txtManuf->setText(columnText(rs, QStringLiteral("manuf")));
    txtModel->setText(columnText(rs, QStringLiteral("model")));
    txtSerialNo->setText(columnText(rs, QStringLiteral("serialno")));
    cmbEmp->setCurrentIndex(indexOfId(cmbEmp, rs.value(QStringLiteral("empid"))));
    cmbLoc->setCurrentIndex(indexOfId(cmbLoc, rs.value(QStringLiteral("locid"))));
    cmbTyp->setCurrentIndex(indexOfId(cmbTyp, rs.value(QStringLiteral("typid"))));
    txtTag->setText(columnText(rs, QStringLiteral("Tag")));
    txtTaskDesc->setPlainText(columnText(rs, QStringLiteral("taskdesc")));
    txtTools->setPlainText(columnText(rs, QStringLiteral("tools")));
    txtResults->setPlainText(columnText(rs, QStringLiteral("results")));
    txtBestTime->setText(columnText(rs, QStringLiteral("besttime")));
    showNumber(txtReqHour, rs.value(QStringLiteral("reqhour")));
    showNumber(txtReqMin, rs.value(QStringLiteral("reqmin")));
    chkCurYearOnly->setChecked(rs.value(QStringLiteral("curyearonly")).toBool());
    txtMisc1->setText(columnText(rs, QStringLiteral("misc1")));
    dcPurchDate->setDate(rs.value(QStringLiteral("purchdate")).toDate());
    dcWarDate->setDate(rs.value(QStringLiteral("wardate")).toDate());
    markTaskWeeks();
    rule_ = intervalRuleOf(rs);
    showRule();
    fraHistory->showTask(id);
}

void TaskEditor::ClearRecord() {
    for (QComboBox* combo : {cmbEmp, cmbLoc, cmbTyp})
        combo->setCurrentIndex(-1);
    for (QLineEdit* box :
         {txtTaskName, txtTaskID, txtManuf, txtModel, txtSerialNo, txtTag, txtBestTime, txtMisc1})
        box->clear();
    for (QPlainTextEdit* box : {txtTaskDesc, txtTools, txtResults})
        box->clear();
    dcPurchDate->setText(QString());
    dcWarDate->setText(QString());
    showNumber(txtReqHour, 0.0);
    showNumber(txtReqMin, 0.0);
    chkCurYearOnly->setChecked(false);
    unmarkAllWeeks();
    rule_ = IntervalRule();
    showRule();
    fraHistory->showTask(QVariant());
}

void TaskEditor::SaveRecord() {
    ErrorTrap trap;
    Recordset& rs = state().rsTasks;
    rs.setValue(QStringLiteral("empid"), selectedId(cmbEmp));
    rs.setValue(QStringLiteral("taskname"), txtTaskName->text());
    rs.setValue(QStringLiteral("manuf"), txtManuf->text());
    rs.setValue(QStringLiteral("model"), txtModel->text());
    rs.setValue(QStringLiteral("serialno"), txtSerialNo->text());
    rs.setValue(QStringLiteral("locid"), selectedId(cmbLoc));
    rs.setValue(QStringLiteral("typid"), selectedId(cmbTyp));
    rs.setValue(QStringLiteral("Tag"), txtTag->text());
    rs.setValue(QStringLiteral("taskdesc"), txtTaskDesc->toPlainText());
    rs.setValue(QStringLiteral("tools"), txtTools->toPlainText());
    rs.setValue(QStringLiteral("results"), txtResults->toPlainText());
    rs.setValue(QStringLiteral("besttime"), txtBestTime->text());
    rs.setValue(QStringLiteral("reqhour"), numberToSave(txtReqHour));
    rs.setValue(QStringLiteral("reqmin"), numberToSave(txtReqMin));
    rs.setValue(QStringLiteral("curyearonly"), chkCurYearOnly->isChecked());
    rs.setValue(QStringLiteral("misc1"), txtMisc1->text());
    rs.setValue(QStringLiteral("purchdate"), dateOrEmpty(dcPurchDate->date()));
    rs.setValue(QStringLiteral("wardate"), dateOrEmpty(dcWarDate->date()));
    storeIntervalRule(rs, rule_);
    // The task, its weeks and their assignments are one operation: a task is never kept
    // with half its weeks, nor weeks without their task. The weeks go first: a new task
    // already has its number, and the weeks' assignments take the employee chosen above.
    const bool weeksToSave = WeeksChanged;
    // The weeks to save are those of the start: a try undone (a row another planner held)
    // writes them again.
    const bool written = RunAllOrNothing(state().dbMain, [&rs, weeksToSave, this] {
        if (weeksToSave)
            saveTaskWeeks(rs.value(QStringLiteral("taskid")));
        if (!operationFailed())
            SaveLoop(rs);
    });
    // The weeks went back with the task row (another user changed it, say): the marks are
    // still to be written by the next save.
    if (!written && weeksToSave)
        WeeksChanged = true;
}

bool TaskEditor::ValidateRecord() {
    if (!txtTaskName->text().isEmpty())
        return true;
    ui().msgBox(QStringLiteral("You must enter a task name for this task, or click Cancel."),
                MsgButtons::Ok, MsgIcon::None, QStringLiteral("No Task Name Entered"));
    txtTaskName->setFocus();
    return false;
}

QString TaskEditor::keyColumn() const {
    return QStringLiteral("taskid");
}

QWidget* TaskEditor::firstDataControl() const {
    return txtTaskName;
}

QString TaskEditor::deleteQuestion() const {
    return QStringLiteral(
        "Are you sure that you want to delete this task and all assignments associated with it?");
}

QString TaskEditor::deleteTitle() const {
    return QStringLiteral("Delete Task");
}

QString TaskEditor::recordName() const {
    return QStringLiteral("task");
}

bool TaskEditor::removeDependents() {
    // Completed assignments go too; the task's weeks stay, since nothing reads them without
    // the task.
    state().dbMain.execute(
        QStringLiteral("delete * from assign where taskid = ") +
        QString::number(state().rsTasks.value(QStringLiteral("taskid")).toLongLong()));
    return true;
}

void TaskEditor::cmdClone_Click() {
    // The copy takes over the shown task's weeks (and their assignments from this week on)
    // with its first save.
    WeeksChanged = true;
    Adding = true;
    txtTaskID->clear();
    cmdUpdate_Click();
    if (Adding) {
        // The copy was refused: the shown task stays as it is.
        Adding = false;
        ShowRecord();
        return;
    }
    // A copy of a task scheduled by a rule keeps the rule, and with it the rule's weeks.
    if (rule_.isSet())
        return;
    // The copy starts with no weeks: the user now marks its own and saves, or cancels and
    // keeps the copy as saved.
    unmarkAllWeeks();
    MarkChanged();
    WeeksChanged = true;
}

void TaskEditor::cmdFind_Click() {
    findThroughDialog(QStringLiteral("tasks"), FindEditor::Tasks,
                      {QStringLiteral("No tasks entered to find."),
                       QStringLiteral("No Tasks in Database"),
                       QStringLiteral("That task was not found.")});
}

void TaskEditor::setHistoryShown(bool shown) {
    fraHistory->setVisible(shown);
    cmdHistory->setChecked(shown);
    QSettings settings(SettingsOwner, SettingsOwner);
    settings.setValue(HistoryShownKey, shown);
}

bool TaskEditor::isHistoryShown() const {
    return !fraHistory->isHidden();
}

void installTaskEditor(frmMain& main) {
    main.setEditor(std::make_unique<TaskEditor>(main.exitAction()));
}

} // namespace tavrel
