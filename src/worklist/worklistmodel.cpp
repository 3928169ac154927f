#include "worklist/worklistmodel.h"

#include "assignments/money.h"
#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QBrush>
#include <QColor>

#include <cmath>

namespace tavrel {

namespace {

// Overdue rows in a dark red on a pale red: readable, and apart from the selection's colour.
const QColor OverdueText(150, 0, 0);
const QColor OverdueBack(255, 228, 225);

constexpr int MinutesPerHour = 60;

QString columnText(const Recordset& rs, const char* column) {
    return rs.value(QString::fromLatin1(column)).toString();
}

// A person as the lists show one: "last, first", or the one name there is.
QString person(const QString& last, const QString& first) {
    if (last.isEmpty() || first.isEmpty())
        return last + first;
    return last + QStringLiteral(", ") + first;
}

// The time spent as hours and minutes, "2:05"; nothing when none was recorded.
QString timeText(const QVariant& hours, const QVariant& minutes) {
    const double total = hours.toDouble() * MinutesPerHour + minutes.toDouble();
    if ((hours.isNull() && minutes.isNull()) || total == 0)
        return {};
    const qint64 whole = std::llround(total);
    return wholeNumber(whole / MinutesPerHour) + QStringLiteral(":") +
           wholeNumber(std::abs(whole % MinutesPerHour), 2);
}

} // namespace

WorkListModel::WorkListModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void WorkListModel::setFilter(const WorkListFilter& filter) {
    filter_ = filter;
    filtered_ = true;
    pagesRead_ = 0;
    refresh();
}

void WorkListModel::refresh() {
    if (!filtered_)
        return;
    beginResetModel();
    pages_.clear();
    recent_.clear();
    today_ = ui().today();
    count();
    endResetModel();
    Q_EMIT counted(rows_);
}

void WorkListModel::count() {
    rows_ = 0;
    ErrorTrap trap;
    Recordset rs =
        state().dbMain.openRecordset(workListCountSql(filter_, today_), RecordsetType::Snapshot);
    if (rs.isOpen() && rs.recordCount() > 0)
        rows_ = rs.value(QStringLiteral("n")).toInt();
}

const WorkListModel::Page* WorkListModel::page(int number) const {
    if (const auto held = pages_.find(number); held != pages_.end()) {
        recent_.removeOne(number);
        recent_ << number;
        return &held->second;
    }
    Page rows;
    {
        ErrorTrap trap;
        Recordset rs = state().dbMain.openRecordset(
            workListPageSql(filter_, today_, sortColumn_, descending_, number * PageSize, PageSize),
            RecordsetType::Snapshot);
        // A page that cannot be read stays empty until the next refresh: the failure is
        // reported once, not at every repaint.
        ++pagesRead_;
        rows.reserve(PageSize);
        for (int i = 0; i < PageSize && rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF();
             ++i, rs.moveNext()) {
            Row row;
            row.assid = rs.value(QStringLiteral("assid")).toLongLong();
            row.due = rs.value(QStringLiteral("duedate")).toDate();
            row.task = columnText(rs, "taskname");
            row.location = columnText(rs, "locdesc");
            row.type = columnText(rs, "typdesc");
            row.employee = person(columnText(rs, "lastname"), columnText(rs, "firstname"));
            row.completed = rs.value(QStringLiteral("completed")).toBool();
            row.hours = rs.value(QStringLiteral("comphour"));
            row.minutes = rs.value(QStringLiteral("compmin"));
            row.totalCost = rs.value(QStringLiteral("totalcost"));
            rows << row;
        }
    }
    while (int(pages_.size()) >= CachedPages && !recent_.isEmpty())
        pages_.erase(recent_.takeFirst());
    recent_ << number;
    return &(pages_[number] = std::move(rows));
}

QVariant WorkListModel::assignmentAt(int row) const {
    if (row < 0 || row >= rows_)
        return {};
    const Page* rows = page(row / PageSize);
    const int at = row % PageSize;
    if (!rows || at >= rows->size())
        return {};
    return (*rows)[at].assid;
}

QList<qint64> WorkListModel::assignmentsOf(int first, int last) const {
    QList<qint64> ids;
    if (first < 0 || last < first)
        return ids;
    ErrorTrap trap;
    Recordset rs = state().dbMain.openRecordset(
        workListIdSql(filter_, today_, sortColumn_, descending_, first, last - first + 1),
        RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() == 0)
        return ids;
    for (; !rs.isEOF(); rs.moveNext())
        ids << rs.value(QStringLiteral("assid")).toLongLong();
    return ids;
}

int WorkListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int WorkListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : WorkColumnCount;
}

QVariant WorkListModel::display(const Row& row, int column) const {
    switch (column) {
    case ColDueDate:
        return shortDate(row.due);
    case ColTask:
        return row.task;
    case ColLocation:
        return row.location;
    case ColType:
        return row.type;
    case ColEmployee:
        return row.employee;
    case ColCompleted:
        return row.completed ? QStringLiteral("Yes") : QStringLiteral("No");
    case ColHours:
        return timeText(row.hours, row.minutes);
    case ColTotalCost:
        return moneyText(currencyUnits(row.totalCost.toDouble()));
    default:
        return {};
    }
}

QVariant WorkListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_)
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == ColHours || index.column() == ColTotalCost;
        return QVariant::fromValue(Qt::Alignment(
            (number ? Qt::AlignRight | Qt::AlignAbsolute : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::BackgroundRole &&
        role != Qt::ToolTipRole)
        return {};
    const Page* rows = page(index.row() / PageSize);
    const int at = index.row() % PageSize;
    // A row counted but gone by the time its page was read: an empty line, never another row.
    if (!rows || at >= rows->size())
        return {};
    const Row& row = (*rows)[at];
    const bool overdue = !row.completed && row.due.isValid() && row.due < today_;
    switch (role) {
    case Qt::DisplayRole:
        return display(row, index.column());
    case Qt::ForegroundRole:
        return overdue ? QVariant(QBrush(OverdueText)) : QVariant();
    case Qt::BackgroundRole:
        return overdue ? QVariant(QBrush(OverdueBack)) : QVariant();
    case Qt::ToolTipRole:
        return overdue ? QVariant(QStringLiteral("Overdue")) : QVariant();
    default:
        return {};
    }
}

QVariant WorkListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const captions[WorkColumnCount] = {
        "Due Date", "Task", "Location", "Type", "Employee", "Completed", "Hours", "Total Cost"};
    if (section < 0 || section >= WorkColumnCount)
        return {};
    return QString::fromLatin1(captions[section]);
}

void WorkListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= WorkColumnCount)
        return;
    sortColumn_ = column;
    descending_ = order == Qt::DescendingOrder;
    refresh();
}

} // namespace tavrel
