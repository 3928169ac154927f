#include "worklist/worklistquery.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "data/database.h"
#include "text/datetext.h"

#include <QStringList>

#include <utility>

namespace tavrel {

namespace {

// Ids per statement: an UPDATE over a few hundred keys at a time keeps every statement
// short, and they all belong to one operation.
constexpr qsizetype IdsPerStatement = 500;

// Days from the Monday of a week to its last day: a Sunday belongs to the week after it.
constexpr int SaturdayAfterMonday = 5;
constexpr int SundayBeforeMonday = -1;

QString inList(const QList<qint64>& ids, qsizetype first, qsizetype count) {
    QStringList parts;
    parts.reserve(count);
    for (qsizetype i = first; i < first + count && i < ids.size(); ++i)
        parts << QString::number(ids[i]);
    return QStringLiteral("(") + parts.join(u',') + QStringLiteral(")");
}

QString codeCondition(const QString& column, qint64 code) {
    return column + QStringLiteral(" = ") + QString::number(code);
}

// The ORDER BY of a column, ties broken by the assignment's number.
QString orderBy(int column, bool descending) {
    const QString way = descending ? QStringLiteral(" desc") : QString();
    QStringList keys;
    switch (column) {
    case ColTask:
        keys << QStringLiteral("tasks.taskname");
        break;
    case ColLocation:
        keys << QStringLiteral("locations.locdesc");
        break;
    case ColType:
        keys << QStringLiteral("types.typdesc");
        break;
    case ColEmployee:
        keys << QStringLiteral("employees.lastname") << QStringLiteral("employees.firstname");
        break;
    case ColCompleted:
        keys << QStringLiteral("assign.completed");
        break;
    case ColHours:
        keys << QStringLiteral("assign.comphour") << QStringLiteral("assign.compmin");
        break;
    case ColTotalCost:
        keys << QStringLiteral("assign.totalcost");
        break;
    default:
        break;
    }
    // Within any other order, the earlier due date first.
    keys << QStringLiteral("assign.duedate");
    for (QString& key : keys)
        key += way;
    keys << QStringLiteral("assign.assid") + way;
    return QStringLiteral(" order by ") + keys.join(QStringLiteral(", "));
}

QString limitText(int first, int count) {
    return QStringLiteral(" limit ") + QString::number(count) + QStringLiteral(" offset ") +
           QString::number(first);
}

// Runs `statementFor` on the ids, a slice at a time, inside one operation; the rows written.
int writeInSlices(const QList<qint64>& ids, const std::function<QString(const QString&)>& sql) {
    int written = 0;
    const bool whole = RunAllOrNothing(state().dbMain, [&] {
        for (qsizetype first = 0; first < ids.size() && !operationFailed();
             first += IdsPerStatement) {
            state().dbMain.execute(sql(inList(ids, first, IdsPerStatement)));
            if (!operationFailed())
                written += state().dbMain.rowsAffected();
        }
    });
    return whole ? written : -1;
}

} // namespace

bool putRangeInOrder(WorkListFilter& filter) {
    if (filter.from.isValid() && filter.to.isValid() && filter.from > filter.to) {
        std::swap(filter.from, filter.to);
        return true;
    }
    return false;
}

QString workListWhere(const WorkListFilter& filter, const QDate& today) {
    QStringList conditions;
    const QDate monday = MondayOfWeek(today);
    const QDate weekEnd = monday.addDays(SaturdayAfterMonday);
    const auto dueFrom = [&](const QDate& d) {
        conditions << QStringLiteral("assign.duedate >= ") + jetDateLiteral(d);
    };
    const auto dueTo = [&](const QDate& d) {
        conditions << QStringLiteral("assign.duedate <= ") + jetDateLiteral(d);
    };
    bool openOnly = false;
    switch (filter.period) {
    case WorkPeriod::DueAndOverdue:
        dueTo(weekEnd);
        openOnly = true;
        break;
    case WorkPeriod::DueThisWeek:
        dueFrom(monday.addDays(SundayBeforeMonday));
        dueTo(weekEnd);
        break;
    case WorkPeriod::Overdue:
        conditions << QStringLiteral("assign.duedate < ") + jetDateLiteral(today);
        openOnly = true;
        break;
    case WorkPeriod::ThisMonth: {
        const QDate first(today.year(), today.month(), 1);
        dueFrom(first);
        conditions << QStringLiteral("assign.duedate < ") + jetDateLiteral(first.addMonths(1));
        break;
    }
    case WorkPeriod::DateRange: {
        WorkListFilter ordered = filter;
        putRangeInOrder(ordered);
        if (ordered.from.isValid())
            dueFrom(ordered.from);
        // A date with a time (another program's row) on the last day still counts.
        if (ordered.to.isValid())
            conditions << QStringLiteral("assign.duedate < ") +
                              jetDateLiteral(ordered.to.addDays(1));
        break;
    }
    case WorkPeriod::AllDates:
        break;
    }
    if (openOnly || filter.completion == WorkCompletion::Open)
        conditions << QStringLiteral("not assign.completed");
    // Overdue and due work is open by its meaning: asking for completed rows of it finds
    // nothing, as the count then says.
    if (filter.completion == WorkCompletion::Completed)
        conditions << QStringLiteral("assign.completed");
    if (filter.employee == NoEmployee)
        conditions << QStringLiteral("assign.empid is null");
    else if (filter.employee != AnyCode)
        conditions << codeCondition(QStringLiteral("assign.empid"), filter.employee);
    if (filter.location != AnyCode)
        conditions << codeCondition(QStringLiteral("tasks.locid"), filter.location);
    if (filter.type != AnyCode)
        conditions << codeCondition(QStringLiteral("tasks.typid"), filter.type);
    if (!filter.selection.isEmpty())
        conditions << QLatin1Char('(') + filter.selection + QLatin1Char(')');
    if (conditions.isEmpty())
        return {};
    return QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
}

QString workListFrom() {
    return QStringLiteral(" from ((((assign left join tasks on assign.taskid = tasks.taskid)"
                          " left join locations on tasks.locid = locations.locid)"
                          " left join types on tasks.typid = types.typid)"
                          " left join employees on assign.empid = employees.empid)");
}

QString workListCountSql(const WorkListFilter& filter, const QDate& today) {
    // Only a filter on the task's location or type needs the task: the count of the other
    // filters is read from the assignments alone.
    const bool needsTask = filter.location != AnyCode || filter.type != AnyCode;
    const QString from =
        needsTask ? QStringLiteral(" from assign left join tasks on assign.taskid = tasks.taskid")
                  : QStringLiteral(" from assign");
    return QStringLiteral("select count(*) as n") + from + workListWhere(filter, today);
}

QString workListPageSql(const WorkListFilter& filter, const QDate& today, int sortColumn,
                        bool descending, int first, int count) {
    return QStringLiteral("select assign.assid, assign.duedate, tasks.taskname, "
                          "locations.locdesc, types.typdesc, employees.lastname, "
                          "employees.firstname, assign.completed, assign.comphour, "
                          "assign.compmin, assign.totalcost") +
           workListFrom() + workListWhere(filter, today) + orderBy(sortColumn, descending) +
           limitText(first, count);
}

QString workListIdSql(const WorkListFilter& filter, const QDate& today, int sortColumn,
                      bool descending, int first, int count) {
    return QStringLiteral("select assign.assid") + workListFrom() + workListWhere(filter, today) +
           orderBy(sortColumn, descending) + limitText(first, count);
}

int completedAmong(const QList<qint64>& ids) {
    int open = 0;
    for (qsizetype first = 0; first < ids.size(); first += IdsPerStatement) {
        Recordset rs = state().dbMain.openRecordset(
            QStringLiteral("select count(*) as n from assign where not completed and assid in ") +
                inList(ids, first, IdsPerStatement),
            RecordsetType::Snapshot);
        if (!rs.isOpen())
            return -1;
        open += rs.value(QStringLiteral("n")).toInt();
    }
    return int(ids.size()) - open;
}

int completeAssignments(const QList<qint64>& ids, const Completion& completion) {
    QString set = QStringLiteral("update assign set completed = true, compdate = ") +
                  jetDateLiteral(completion.date);
    if (!completion.employee.isNull())
        set += QStringLiteral(", empid = ") + QString::number(completion.employee.toLongLong());
    if (!completion.inspector.isNull())
        set += QStringLiteral(", manid = ") + QString::number(completion.inspector.toLongLong());
    if (completion.hours)
        set += QStringLiteral(", comphour = ") + QString::number(*completion.hours, 'g', 9);
    if (completion.minutes)
        set += QStringLiteral(", compmin = ") + QString::number(*completion.minutes, 'g', 9);
    set += QStringLiteral(" where not completed and assid in ");
    return writeInSlices(ids, [&](const QString& list) { return set + list; });
}

int assignEmployee(const QList<qint64>& ids, const QVariant& employee) {
    const QString value =
        employee.isNull() ? QStringLiteral("null") : QString::number(employee.toLongLong());
    const QString set = QStringLiteral("update assign set empid = ") + value +
                        QStringLiteral(" where not completed and assid in ");
    return writeInSlices(ids, [&](const QString& list) { return set + list; });
}

QString workOrdersOfSql(const QList<qint64>& ids) {
    return QStringLiteral("select assid from assign left join tasks on assign.taskid = "
                          "tasks.taskid where assid in ") +
           inList(ids, 0, ids.size()) + QStringLiteral(" order by duedate, taskname");
}

} // namespace tavrel
