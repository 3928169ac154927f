#include "worklist/frmworklist.h"

#include "assignments/frmassign.h"
#include "assignments/frmnewjob.h"
#include "assignments/ruleschedule.h"
#include "core/datachanges.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "dialogs/datefield.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "text/datetext.h"
#include "worklist/frmassignwork.h"
#include "worklist/frmcompletework.h"
#include "worklist/worklistmodel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrel {

namespace {

const QString SettingsOwner = QStringLiteral("Tavrel");
const QString KeyPeriod = QStringLiteral("workList/period");
const QString KeyFrom = QStringLiteral("workList/from");
const QString KeyTo = QStringLiteral("workList/to");
const QString KeyCompletion = QStringLiteral("workList/completion");
const QString KeyEmployee = QStringLiteral("workList/employee");
const QString KeyLocation = QStringLiteral("workList/location");
const QString KeyType = QStringLiteral("workList/type");
const QString KeyColumns = QStringLiteral("workList/columns");
const QString KeyShowAtStart = QStringLiteral("workList/showAtStart");

// Work orders printed at once without asking: beyond this a batch is a pile of paper.
constexpr int LargeBatch = 200;

constexpr int UsualWidth = 1000;
constexpr int UsualHeight = 620;
// Room around a cell's text and beside a heading (its sort mark), and the window's edges
// and scroll bar beside the columns.
constexpr int CellPadding = 18;
constexpr int HeadingPadding = 30;
constexpr int FrameAllowance = 60;
constexpr int LeastTaskChars = 24;

QSettings userSettings() {
    return QSettings(SettingsOwner, SettingsOwner);
}

QComboBox* combo(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

using recordwidgets::button;

// Selects the entry carrying `id`, or the first ("all") when none does.
void selectId(QComboBox* box, qint64 id) {
    const int found = box->findData(id);
    box->setCurrentIndex(found >= 0 ? found : 0);
}

qint64 chosenId(const QComboBox* box) {
    const QVariant id = box->currentData();
    return id.isNull() ? AnyCode : id.toLongLong();
}

QString assignmentsText(int count) {
    return count == 1 ? QStringLiteral("1 assignment")
                      : QStringLiteral("%1 assignments").arg(QLocale().toString(count));
}

// The wait cursor while many rows are written or printed.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

frmWorkList::frmWorkList(QWidget* parent, const std::optional<WorkListFilter>& filter)
    : QWidget(parent, Qt::Window)
    , model_(new WorkListModel(this)) {
    setObjectName(QStringLiteral("frmWorkList"));
    setWindowTitle(QStringLiteral("Work List"));
    buildControls();
    buildLayout();
    fillCodeLists();
    connect(model_, &WorkListModel::counted, this, &frmWorkList::showCount);
    connect(&dataChanges(), &DataChanges::assignmentsChanged, this, &frmWorkList::reread);
    restoreSettings();
    if (filter)
        showFilter(*filter);
    applyFilter();
    placeOnScreen(this, QSize(UsualWidth, UsualHeight), parentWidget());
}

frmWorkList::~frmWorkList() = default;

void frmWorkList::buildControls() {
    cmbPeriod = combo(this, "cmbPeriod");
    // In the order of WorkPeriod.
    cmbPeriod->addItems({QStringLiteral("Due and overdue"), QStringLiteral("Due this week"),
                         QStringLiteral("Overdue"), QStringLiteral("This month"),
                         QStringLiteral("Date range"), QStringLiteral("All dates")});
    dcFrom = new DateField(this);
    dcFrom->setObjectName(QStringLiteral("dcFrom"));
    dcTo = new DateField(this);
    dcTo->setObjectName(QStringLiteral("dcTo"));
    for (DateField* field : {dcFrom, dcTo}) {
        field->setCheck(DateField::Kind::Optional,
                        QStringLiteral("You must enter a valid date, or leave the field blank."),
                        true);
    }
    cmbCompletion = combo(this, "cmbCompletion");
    // In the order of WorkCompletion.
    cmbCompletion->addItems({QStringLiteral("Open"), QStringLiteral("Completed"),
                             QStringLiteral("Open and completed")});
    cmbEmp = combo(this, "cmbEmp");
    cmbLoc = combo(this, "cmbLoc");
    cmbType = combo(this, "cmbType");
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblSelection = new QLabel(this);
    lblSelection->setObjectName(QStringLiteral("lblSelection"));
    cmdClearSelection = button(this, "cmdClearSelection", QStringLiteral("Clea&r Selection"));

    grdWork = new QTableView(this);
    grdWork->setObjectName(QStringLiteral("grdWork"));
    grdWork->setModel(model_);
    grdWork->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdWork->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdWork->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdWork->setSortingEnabled(true);
    grdWork->setWordWrap(false);
    grdWork->setAlternatingRowColors(true);
    grdWork->horizontalHeader()->setSortIndicator(ColDueDate, Qt::AscendingOrder);
    grdWork->horizontalHeader()->setStretchLastSection(false);
    grdWork->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Rows of one height: the view never measures half a million of them.
    grdWork->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdWork->verticalHeader()->setDefaultSectionSize(grdWork->fontMetrics().height() + 8);
    grdWork->verticalHeader()->hide();
    grdWork->installEventFilter(this);
    setColumnWidths();

    cmdNewJob = button(this, "cmdNewJob", QStringLiteral("&New Job..."));
    cmdComplete = button(this, "cmdComplete", QStringLiteral("&Complete..."));
    cmdAssign = button(this, "cmdAssign", QStringLiteral("&Assign..."));
    cmdPrint = button(this, "cmdPrint", QStringLiteral("&Print Work Orders"));
    chkShowAtStart = new QCheckBox(QStringLiteral("&Show at start"), this);
    chkShowAtStart->setObjectName(QStringLiteral("chkShowAtStart"));
    cmdHelp = button(this, "cmdHelp", QStringLiteral("&Help"));
    cmdClose = button(this, "cmdClose", QStringLiteral("C&lose"));

    for (QComboBox* box : {cmbPeriod, cmbCompletion, cmbEmp, cmbLoc, cmbType})
        connect(box, &QComboBox::currentIndexChanged, this,
                [this] { guardedCall([this] { cmbFilter_Click(); }); });
    for (DateField* field : {dcFrom, dcTo})
        whenDateEntered(field, this, [this] { dcRange_Change(); });
    connect(grdWork, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        guardedCall([this, index] { openRow(index.row()); });
    });
    // The list follows the new job through the notice every writer of assignments sends.
    connect(cmdNewJob, &QPushButton::clicked, this,
            [this] { guardedCall([this] { openNewJob(this); }); });
    connect(cmdComplete, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdComplete_Click(); }); });
    connect(cmdAssign, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdAssign_Click(); }); });
    connect(cmdPrint, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdPrint_Click(); }); });
    connect(chkShowAtStart, &QCheckBox::toggled, this, &frmWorkList::chkShowAtStart_Click);
    connect(cmdClearSelection, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdClearSelection_Click(); }); });
    connect(cmdHelp, &QPushButton::clicked, this,
            [this] { ui().showHelp(this, QStringLiteral("worklist")); });
    connect(cmdClose, &QPushButton::clicked, this, &frmWorkList::cmdClose_Click);
}

void frmWorkList::setColumnWidths() {
    // Wide enough for a long value of each column and for its heading with the sort mark;
    // the task takes the rest of the usual width.
    const QFontMetrics cells = grdWork->fontMetrics();
    const QFontMetrics headings = grdWork->horizontalHeader()->fontMetrics();
    const QString samples[WorkColumnCount] = {shortDate(QDate(2000, 12, 28)),
                                              {},
                                              QStringLiteral("Parking Garage"),
                                              QStringLiteral("Electrical"),
                                              QStringLiteral("Wilkinson, Margaret"),
                                              QStringLiteral("Yes"),
                                              QStringLiteral("10:30"),
                                              currency(99'999)};
    int used = 0;
    for (int column = 0; column < WorkColumnCount; ++column) {
        if (column == ColTask)
            continue;
        const QString heading = model_->headerData(column, Qt::Horizontal).toString();
        const int width = std::max(cells.horizontalAdvance(samples[column]) + CellPadding,
                                   headings.horizontalAdvance(heading) + HeadingPadding);
        grdWork->setColumnWidth(column, width);
        used += width;
    }
    grdWork->setColumnWidth(ColTask, std::max(cells.averageCharWidth() * LeastTaskChars,
                                              UsualWidth - FrameAllowance - used));
}

void frmWorkList::buildLayout() {
    const auto caption = [this](const QString& text, QWidget* buddy) {
        auto* label = new QLabel(text, this);
        label->setBuddy(buddy);
        label->setObjectName(QStringLiteral("lbl") + buddy->objectName().mid(3));
        return label;
    };
    // The filters in two rows: which dates and which state, then who, where and what.
    auto* filters = new QGridLayout;
    filters->addWidget(caption(QStringLiteral("Sho&w"), cmbPeriod), 0, 0);
    filters->addWidget(cmbPeriod, 0, 1);
    filters->addWidget(caption(QStringLiteral("&From"), dcFrom), 0, 2);
    filters->addWidget(dcFrom, 0, 3);
    filters->addWidget(caption(QStringLiteral("&To"), dcTo), 0, 4);
    filters->addWidget(dcTo, 0, 5);
    filters->addWidget(caption(QStringLiteral("Stat&us"), cmbCompletion), 0, 6);
    filters->addWidget(cmbCompletion, 0, 7);
    filters->addWidget(caption(QStringLiteral("&Employee"), cmbEmp), 1, 0);
    filters->addWidget(cmbEmp, 1, 1);
    filters->addWidget(caption(QStringLiteral("L&ocation"), cmbLoc), 1, 2);
    filters->addWidget(cmbLoc, 1, 3);
    filters->addWidget(caption(QStringLiteral("T&ype"), cmbType), 1, 4);
    filters->addWidget(cmbType, 1, 5);
    filters->setColumnStretch(8, 1);
    filters->addWidget(lblCount, 1, 6, 1, 3, Qt::AlignRight | Qt::AlignVCenter);
    // A selection made elsewhere (a figure of the dashboard), which the filters narrow.
    auto* selectionRow = new QHBoxLayout;
    selectionRow->addWidget(lblSelection, 1);
    selectionRow->addWidget(cmdClearSelection);
    filters->addLayout(selectionRow, 2, 0, 1, 9);

    // Commands on the selection on the left (a command that adds assignments goes first),
    // the window's own on the right.
    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(cmdNewJob);
    commandRow->addWidget(cmdComplete);
    commandRow->addWidget(cmdAssign);
    commandRow->addWidget(cmdPrint);
    commandRow->addStretch(1);
    commandRow->addWidget(chkShowAtStart);
    commandRow->addSpacing(12);
    commandRow->addWidget(cmdHelp);
    commandRow->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(grdWork, 1);
    layout->addLayout(commandRow);
}

void frmWorkList::fillCodeLists() {
    ErrorTrap trap;
    filling_ = true;
    // Filters list retired names too: old assignments carry them.
    fillPeopleList(cmbEmp, QStringLiteral("(all)"), false, RetiredNames::List);
    cmbEmp->insertItem(1, QStringLiteral("(not assigned)"), NoEmployee);
    const auto fill = [](QComboBox* box, const QString& sql, const QString& id,
                         const QString& text) {
        reloadCodeList(
            box, sql, id,
            [text](const Recordset& rs) { return recordwidgets::columnText(rs, text); },
            RetiredNames::List);
        box->insertItem(0, QStringLiteral("(all)"));
        box->setCurrentIndex(0);
    };
    fill(cmbLoc, QStringLiteral("Select * from locations order by locdesc"),
         QStringLiteral("locid"), QStringLiteral("locdesc"));
    fill(cmbType, QStringLiteral("Select * from types order by typdesc"), QStringLiteral("typid"),
         QStringLiteral("typdesc"));
    filling_ = false;
}

WorkListFilter frmWorkList::filter() const {
    WorkListFilter shown;
    shown.period = static_cast<WorkPeriod>(std::max(0, cmbPeriod->currentIndex()));
    shown.from = dcFrom->date().value_or(QDate());
    shown.to = dcTo->date().value_or(QDate());
    shown.completion = static_cast<WorkCompletion>(std::max(0, cmbCompletion->currentIndex()));
    shown.employee = chosenId(cmbEmp);
    shown.location = chosenId(cmbLoc);
    shown.type = chosenId(cmbType);
    shown.selection = selection_;
    shown.selectionCaption = selectionCaption_;
    return shown;
}

void frmWorkList::setFilter(const WorkListFilter& wanted) {
    showFilter(wanted);
    applyFilter();
}

void frmWorkList::showFilter(const WorkListFilter& wanted) {
    filling_ = true;
    cmbPeriod->setCurrentIndex(static_cast<int>(wanted.period));
    dcFrom->setDate(wanted.from);
    dcTo->setDate(wanted.to);
    cmbCompletion->setCurrentIndex(static_cast<int>(wanted.completion));
    selectId(cmbEmp, wanted.employee);
    selectId(cmbLoc, wanted.location);
    selectId(cmbType, wanted.type);
    selection_ = wanted.selection;
    selectionCaption_ = wanted.selectionCaption;
    showSelection();
    filling_ = false;
}

void frmWorkList::showSelection() {
    const bool any = !selection_.isEmpty();
    lblSelection->setText(any ? QStringLiteral("Showing only: ") + selectionCaption_ : QString());
    lblSelection->setVisible(any);
    cmdClearSelection->setVisible(any);
}

void frmWorkList::cmdClearSelection_Click() {
    selection_.clear();
    selectionCaption_.clear();
    showSelection();
    applyFilter();
}

void frmWorkList::cmbFilter_Click() {
    if (!filling_)
        applyFilter();
}

void frmWorkList::dcRange_Change() {
    if (filling_ || cmbPeriod->currentIndex() != static_cast<int>(WorkPeriod::DateRange))
        return;
    // A text that is no date is refused by the field itself; the list waits for a date.
    for (const DateField* field : {dcFrom, dcTo})
        if (!field->text().trimmed().isEmpty() && !field->date())
            return;
    applyFilter();
}

void frmWorkList::applyFilter() {
    WorkListFilter wanted = filter();
    const bool range = wanted.period == WorkPeriod::DateRange;
    dcFrom->setEnabled(range);
    dcTo->setEnabled(range);
    // A range typed backwards means the dates between the two: the fields show it the right
    // way round, so that what is listed and what is shown agree.
    if (range && putRangeInOrder(wanted)) {
        filling_ = true;
        dcFrom->setDate(wanted.from);
        dcTo->setDate(wanted.to);
        filling_ = false;
    }
    if (model_->filter() == wanted && model_->rowCount() > 0)
        showCount(model_->rowCount());
    else
        model_->setFilter(wanted);
}

void frmWorkList::showCount(int rows) {
    lblCount->setText(rows == 0 ? QStringLiteral("No assignments match these filters.")
                                : assignmentsText(rows));
    const bool any = rows > 0;
    cmdComplete->setEnabled(any);
    cmdAssign->setEnabled(any);
    cmdPrint->setEnabled(any);
}

void frmWorkList::reread() {
    // The same place in the list after it is read again.
    const int scrolled = grdWork->verticalScrollBar()->value();
    const int current = grdWork->currentIndex().row();
    model_->refresh();
    if (current >= 0 && current < model_->rowCount())
        grdWork->setCurrentIndex(model_->index(current, 0));
    grdWork->verticalScrollBar()->setValue(scrolled);
}

int frmWorkList::selectedCount() const {
    int count = 0;
    for (const QItemSelectionRange& range : grdWork->selectionModel()->selection())
        if (range.left() == 0)
            count += range.height();
    return count;
}

QList<qint64> frmWorkList::selectedAssignments() const {
    // Whole rows are selected, one range per block of rows (the selection model keeps them
    // apart): each block is read from the database by its place in the list, in the list's
    // order, not row by row through the cache.
    QList<std::pair<int, int>> blocks;
    for (const QItemSelectionRange& range : grdWork->selectionModel()->selection())
        if (range.left() == 0)
            blocks.append({range.top(), range.bottom()});
    std::sort(blocks.begin(), blocks.end());
    QList<qint64> ids;
    for (const auto& [top, bottom] : blocks)
        ids += model_->assignmentsOf(top, bottom);
    return ids;
}

namespace {

// How many of the assignments `ids` are completed; -1 when they could not be read (the
// error has been shown).
int completedOf(const QList<qint64>& ids) {
    ErrorTrap trap;
    return completedAmong(ids);
}

} // namespace

void frmWorkList::cmdComplete_Click() {
    const QList<qint64> ids = selectedAssignments();
    if (ids.isEmpty()) {
        ui().msgBox(QStringLiteral("Select the assignments to complete first: click one, "
                                   "Shift+click or Ctrl+click more, or press Ctrl+A for all."),
                    MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Complete"));
        return;
    }
    const int done = completedOf(ids);
    if (done < 0)
        return;
    if (done > 0) {
        ui().msgBox(
            (done == 1 ? QStringLiteral("%1 of the %2 selected assignments is completed already.")
                       : QStringLiteral("%1 of the %2 selected assignments are completed already."))
                    .arg(QLocale().toString(done), QLocale().toString(ids.size())) +
                QStringLiteral(" Complete works on open assignments only: select only those "
                               "(the Status filter \"Open\" shows them), then Complete again."),
            MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Complete"));
        return;
    }
    frmCompleteWork dialog(int(ids.size()), this);
    if (ui().showModal(&dialog) != QDialog::Accepted || !dialog.completion())
        return;
    int written = 0;
    {
        BusyCursor busy;
        ErrorTrap trap;
        written = completeAssignments(ids, *dialog.completion());
        // Tasks whose schedule follows completion move their later assignments.
        if (written > 0)
            followCompletions(ids, dialog.completion()->date);
    }
    if (written >= 0)
        notifyAssignmentsChanged();
}

void frmWorkList::cmdAssign_Click() {
    const QList<qint64> ids = selectedAssignments();
    if (ids.isEmpty()) {
        ui().msgBox(QStringLiteral("Select the assignments to assign first."), MsgButtons::Ok,
                    MsgIcon::Information, QStringLiteral("Assign"));
        return;
    }
    const int done = completedOf(ids);
    if (done < 0)
        return;
    if (done == ids.size()) {
        ui().msgBox(QStringLiteral("The selected assignments are completed: their employee is "
                                   "changed in the assignment editor."),
                    MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Assign"));
        return;
    }
    frmAssignWork dialog(int(ids.size()) - done, this);
    if (ui().showModal(&dialog) != QDialog::Accepted || !dialog.employee())
        return;
    int written = 0;
    {
        ErrorTrap trap;
        written = assignEmployee(ids, *dialog.employee());
    }
    if (written < 0)
        return;
    notifyAssignmentsChanged();
    if (done > 0)
        ui().msgBox((done == 1 ? QStringLiteral("1 completed assignment was left as it was.")
                               : QStringLiteral("%1 completed assignments were left as they were."))
                        .arg(QLocale().toString(done)),
                    MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Assign"));
}

void frmWorkList::cmdPrint_Click() {
    const QList<qint64> ids = selectedAssignments();
    if (ids.isEmpty()) {
        ui().msgBox(QStringLiteral("Select the assignments whose work orders to print first."),
                    MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Print Work Orders"));
        return;
    }
    if (ids.size() > LargeBatch &&
        ui().msgBox(QStringLiteral("Print %1 work orders, one page each?")
                        .arg(QLocale().toString(ids.size())),
                    MsgButtons::YesNo, MsgIcon::Question,
                    QStringLiteral("Print Work Orders")) != MsgResult::Yes)
        return;
    int printed = 0;
    {
        BusyCursor busy;
        printed = printWorkOrderBatch(workOrdersOfSql(ids));
    }
    if (printed > 0)
        showReportOutput();
    else
        ui().msgBox(QStringLiteral("The selected assignments are no longer in the database."),
                    MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Print Work Orders"));
}

void frmWorkList::openRow(int row) {
    const QVariant assid = model_->assignmentAt(row);
    if (assid.isNull()) {
        // Another program took the row away since the list was counted.
        ui().msgBox(QStringLiteral("That task assignment is no longer in the database: another "
                                   "program may have deleted it."),
                    MsgButtons::Ok, MsgIcon::Information, {});
        reread();
        return;
    }
    openAssignmentOn(this, long(assid.toLongLong()));
}

void frmWorkList::cmdClose_Click() {
    close();
}

void frmWorkList::chkShowAtStart_Click() {
    if (!filling_)
        userSettings().setValue(KeyShowAtStart, chkShowAtStart->isChecked());
}

bool frmWorkList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grdWork && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            grdWork->currentIndex().isValid()) {
            const int row = grdWork->currentIndex().row();
            guardedCall([this, row] { openRow(row); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmWorkList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        ui().showHelp(this, QStringLiteral("worklist"));
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmWorkList::closeEvent(QCloseEvent* event) {
    rememberSettings();
    event->accept();
}

void frmWorkList::rememberSettings() const {
    QSettings settings = userSettings();
    const WorkListFilter shown = filter();
    settings.setValue(KeyPeriod, static_cast<int>(shown.period));
    settings.setValue(KeyFrom, shown.from);
    settings.setValue(KeyTo, shown.to);
    settings.setValue(KeyCompletion, static_cast<int>(shown.completion));
    settings.setValue(KeyEmployee, shown.employee);
    settings.setValue(KeyLocation, shown.location);
    settings.setValue(KeyType, shown.type);
    settings.setValue(KeyColumns, grdWork->horizontalHeader()->saveState());
}

void frmWorkList::restoreSettings() {
    const QSettings settings = userSettings();
    filling_ = true;
    const auto index = [&](const QString& key, int entries) {
        const int value = settings.value(key, 0).toInt();
        return value >= 0 && value < entries ? value : 0;
    };
    cmbPeriod->setCurrentIndex(index(KeyPeriod, cmbPeriod->count()));
    dcFrom->setDate(settings.value(KeyFrom).toDate());
    dcTo->setDate(settings.value(KeyTo).toDate());
    cmbCompletion->setCurrentIndex(index(KeyCompletion, cmbCompletion->count()));
    selectId(cmbEmp, settings.value(KeyEmployee, AnyCode).toLongLong());
    selectId(cmbLoc, settings.value(KeyLocation, AnyCode).toLongLong());
    selectId(cmbType, settings.value(KeyType, AnyCode).toLongLong());
    chkShowAtStart->setChecked(settings.value(KeyShowAtStart, false).toBool());
    const QByteArray columns = settings.value(KeyColumns).toByteArray();
    if (!columns.isEmpty())
        grdWork->horizontalHeader()->restoreState(columns);
    showSelection();
    filling_ = false;
}

namespace {

// The one work list window: made on `filter` (or the filters used last), or the open one
// brought forward and set to `filter`.
frmWorkList* openList(QWidget* parent, const std::optional<WorkListFilter>& filter) {
    static QPointer<frmWorkList> open;
    if (!open) {
        open = new frmWorkList(parent, filter);
        open->setAttribute(Qt::WA_DeleteOnClose);
    } else if (filter) {
        open->setFilter(*filter);
    }
    bringForward(open);
    return open;
}

} // namespace

frmWorkList* openWorkList(QWidget* parent) {
    return openList(parent, std::nullopt);
}

frmWorkList* openWorkListOn(QWidget* parent, const WorkListFilter& filter) {
    return openList(parent, filter);
}

bool workListAtStart() {
    return userSettings().value(KeyShowAtStart, false).toBool();
}

void showWorkListAtStart(QWidget* parent) {
    if (workListAtStart() && state().dbMain.isOpen())
        openWorkListOn(parent, WorkListFilter{});
}

void installWorkList(frmMain& main) {
    main.installCommand(main.mnuWorkList, [&main] { openWorkList(&main); });
}

} // namespace tavrel
