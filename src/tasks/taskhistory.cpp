#include "tasks/taskhistory.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "data/database.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <map>

namespace tavrel {

namespace {

// Where an assignment's row keeps its assid; a year's row has none.
constexpr int AssignIdRole = Qt::UserRole;
// The history shows a few rows even where the window has little height to spare (a
// 1024 x 768 screen, where the main window's status bar takes a line as well).
constexpr int LeastRowsShown = 2;

// Time spent in whole minutes. Hours may hold a fraction (1.5 hours are 90 minutes), so
// the time is counted in minutes and only shown as hours and minutes.
qint64 minutesSpent(const Recordset& rs) {
    return std::llround(rs.value(QStringLiteral("comphour")).toDouble() * MinutesPerHour) +
           std::llround(rs.value(QStringLiteral("compmin")).toDouble());
}

// The totals of one year's completed work, and its rows.
struct YearGroup {
    QList<QTreeWidgetItem*> rows;
    int completed = 0;
    qint64 minutes = 0;
    qint64 cost = 0; // ten-thousandths, summed in fixed point
};

void showTime(QTreeWidgetItem* item, qint64 minutes) {
    item->setText(TaskHistory::Hours, wholeNumber(minutes / MinutesPerHour));
    item->setText(TaskHistory::Minutes, wholeNumber(minutes % MinutesPerHour));
}

void showCost(QTreeWidgetItem* item, qint64 units) {
    item->setText(TaskHistory::Cost, currency(currencyAmount(units)));
}

} // namespace

TaskHistory::TaskHistory(QWidget* parent)
    : QGroupBox(tr("History"), parent) {
    setObjectName(QStringLiteral("fraHistory"));
    tvwHistory = new QTreeWidget(this);
    tvwHistory->setObjectName(QStringLiteral("tvwHistory"));
    tvwHistory->setColumnCount(ColumnCount);
    tvwHistory->setHeaderLabels(
        {tr("Due Date"), tr("Completed"), tr("Employee"), tr("Hours"), tr("Minutes"), tr("Cost")});
    tvwHistory->setUniformRowHeights(true);
    tvwHistory->setAllColumnsShowFocus(true);
    tvwHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int column : {Hours, Minutes, Cost})
        tvwHistory->headerItem()->setTextAlignment(column, NumberBoxAlignment);
    QHeaderView* header = tvwHistory->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(Employee, QHeaderView::Stretch);
    tvwHistory->setMinimumHeight(header->sizeHint().height() +
                                 LeastRowsShown * fontMetrics().lineSpacing() +
                                 2 * tvwHistory->frameWidth());
    tvwHistory->installEventFilter(this);
    connect(tvwHistory, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { choose(item); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tvwHistory);
}

void TaskHistory::showTask(const QVariant& taskId) {
    taskId_ = taskId;
    if (isHidden()) {
        // Read once it is shown: a hidden panel costs browsing nothing.
        tvwHistory->clear();
        stale_ = true;
        return;
    }
    read();
}

void TaskHistory::refresh() {
    showTask(taskId_);
}

void TaskHistory::showEvent(QShowEvent* event) {
    if (stale_)
        read();
    QGroupBox::showEvent(event);
}

void TaskHistory::read() {
    stale_ = false;
    tvwHistory->clear();
    // No file is open while the program changes to another folder or ends.
    if (taskId_.isNull() || !state().dbMain.isOpen())
        return;
    ErrorTrap trap;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select assid, duedate, completed, compdate, comphour, compmin, totalcost, "
                       "firstname, lastname from assign left join employees on assign.empid = "
                       "employees.empid where assign.taskid = ") +
            QString::number(taskId_.toLongLong()) + QStringLiteral(" order by duedate, assid"),
        RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() <= 0)
        return;
    std::map<int, YearGroup, std::greater<>> years; // the newest year first
    for (; !rs.isEOF(); rs.moveNext()) {
        const QDate due = rs.value(QStringLiteral("duedate")).toDate();
        YearGroup& year = years[due.isValid() ? due.year() : 0];
        auto* item = new QTreeWidgetItem;
        item->setData(DueDate, AssignIdRole, rs.value(QStringLiteral("assid")).toLongLong());
        item->setText(DueDate, shortDate(due));
        item->setText(Employee,
                      personName(recordwidgets::columnText(rs, QStringLiteral("lastname")),
                                 recordwidgets::columnText(rs, QStringLiteral("firstname"))));
        // An open assignment's time is the time the task is expected to take, not time
        // spent: only completed work shows time and cost, and only it counts in the totals.
        if (rs.value(QStringLiteral("completed")).toBool()) {
            const QDate done = rs.value(QStringLiteral("compdate")).toDate();
            item->setText(Completed, done.isValid() ? shortDate(done) : tr("Yes"));
            const qint64 minutes = minutesSpent(rs);
            const qint64 cost = currencyUnits(rs.value(QStringLiteral("totalcost")).toDouble());
            showTime(item, minutes);
            showCost(item, cost);
            ++year.completed;
            year.minutes += minutes;
            year.cost += cost;
        }
        year.rows << item;
    }
    for (auto& [number, year] : years) {
        auto* group = new QTreeWidgetItem(tvwHistory);
        group->setText(DueDate, number == 0 ? tr("No due date") : wholeNumber(number));
        group->setText(Completed, tr("%1 of %2 completed")
                                      .arg(wholeNumber(year.completed))
                                      .arg(wholeNumber(year.rows.size())));
        showTime(group, year.minutes);
        showCost(group, year.cost);
        QFont bold = group->font(DueDate);
        bold.setBold(true);
        for (int column = 0; column < ColumnCount; ++column)
            group->setFont(column, bold);
        group->addChildren(year.rows);
        group->setExpanded(true);
    }
    for (QTreeWidgetItemIterator it(tvwHistory); *it; ++it) {
        for (int column : {Hours, Minutes, Cost})
            (*it)->setTextAlignment(column, NumberBoxAlignment);
    }
}

void TaskHistory::choose(const QTreeWidgetItem* item) {
    if (!item)
        return;
    const QVariant id = item->data(DueDate, AssignIdRole);
    if (id.isValid())
        Q_EMIT assignmentChosen(static_cast<long>(id.toLongLong()));
}

bool TaskHistory::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tvwHistory && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose(tvwHistory->currentItem());
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace tavrel
