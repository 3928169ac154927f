#include "dashboard/dashboard.h"

#include "data/database.h"
#include "data/textorder.h"
#include "text/datetext.h"
#include "text/textfunctions.h"

#include <QMap>

#include <algorithm>

namespace tavrel {

namespace {

constexpr int MinutesPerHour = 60;
constexpr int SaturdayAfterMonday = 5;
const QString Unassigned = QStringLiteral("Unassigned");

// A date column's value as a date: a value with a time (another program's row) counts on
// its day; none for Null.
QDate dateOf(const QVariant& value) {
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
}

// The Saturday that ends the week (Sunday to Saturday) a due date lies in.
QDate dueWeekEnd(const QDate& due) {
    return MondayOfWeek(due).addDays(SaturdayAfterMonday);
}

QDate firstOfMonth(const QDate& day) {
    return QDate(day.year(), day.month(), 1);
}

QDate lastOfMonth(const QDate& day) {
    return firstOfMonth(day).addMonths(1).addDays(-1);
}

// "#date#": the program's date literal.
QString at(const QDate& day) {
    return jetDateLiteral(day);
}

// Completed in [from, to]; a completion with a time on the last day counts.
QString completedIn(const QDate& from, const QDate& to) {
    return QStringLiteral("assign.completed and assign.compdate >= %1 and assign.compdate < %2")
        .arg(at(from), at(to.addDays(1)));
}

QString hoursOf() {
    return QStringLiteral("Nz(comphour, 0) + Nz(compmin, 0) / %1.0").arg(MinutesPerHour);
}

// The queries, in the order read below.
enum Query { DueWeeks, DoneWeeks, Costs, TopHours, TopCosts, OpenWork, QueryCount };

QString querySql(Query query, const QDate& from, const QDate& to) {
    const QString untilEnd = at(to.addDays(1));
    const auto topTasks = [&](const QString& value) {
        return QStringLiteral("Select assign.taskid as taskid, taskname, sum(%1) as total from "
                              "assign inner join tasks on assign.taskid = tasks.taskid where %2 "
                              "group by assign.taskid, taskname having sum(%1) > 0")
            .arg(value, completedIn(from, to));
    };
    switch (query) {
    case DueWeeks:
        // Every assignment due before the range's end: those due earlier and still open
        // make the backlog at its start.
        return QStringLiteral("Select duedate, count(*) as n from assign where duedate < %1 "
                              "group by duedate")
            .arg(untilEnd);
    case DoneWeeks:
        return QStringLiteral("Select duedate, compdate, count(*) as n from assign where "
                              "completed and duedate < %1 group by duedate, compdate")
            .arg(untilEnd);
    case Costs:
        return QStringLiteral("Select Year(compdate) as y, Month(compdate) as m, sum(%1) as h, "
                              "sum(parts) as p, sum(labor) as l, sum(tax) as t from assign where "
                              "%2 group by Year(compdate), Month(compdate)")
            .arg(hoursOf(), completedIn(from, to));
    case TopHours:
        return topTasks(hoursOf());
    case TopCosts:
        return topTasks(QStringLiteral("Nz(totalcost, 0)"));
    case OpenWork:
        return QStringLiteral("Select assign.empid as empid, firstname, lastname, count(*) as n "
                              "from assign left join employees on assign.empid = "
                              "employees.empid where not assign.completed and duedate >= %1 and "
                              "duedate < %2 group by assign.empid, firstname, lastname")
            .arg(at(from), untilEnd);
    case QueryCount:
        break;
    }
    return {};
}

// Runs `sql` and hands each grouped row to `row`. False when the database refused it.
template <typename Row> bool readRows(Database& db, const QString& sql, Row row) {
    Recordset rows = db.openRecordset(sql, RecordsetType::Snapshot);
    if (!rows.isOpen())
        return false;
    for (; !rows.isEOF(); rows.moveNext())
        row(rows);
    rows.close();
    return true;
}

// The ten largest totals, most first; among equals by name, then by task.
QList<TaskTotal> topTen(QList<TaskTotal> totals) {
    std::sort(totals.begin(), totals.end(), [](const TaskTotal& a, const TaskTotal& b) {
        if (a.value != b.value)
            return a.value > b.value;
        const int byName = compareText(a.name, b.name);
        return byName != 0 ? byName < 0 : a.taskId < b.taskId;
    });
    if (totals.size() > DashboardTopTasks)
        totals.resize(DashboardTopTasks);
    return totals;
}

} // namespace

QDate lastWeekEndBefore(const QDate& day) {
    // Monday 1 ... Sunday 7: a Sunday's Saturday is the day before, a Saturday's a week back.
    return day.addDays(-(day.dayOfWeek() % 7 + 1));
}

QStringList dashboardQueries(const QDate& from, const QDate& to) {
    QStringList queries;
    for (int q = 0; q < QueryCount; ++q)
        queries << querySql(Query(q), from, to);
    return queries;
}

DashboardFigures readDashboardFigures(Database& db, const QDate& from, const QDate& to,
                                      const QDate& today) {
    DashboardFigures f;
    f.from = from;
    f.to = to;
    f.today = today;

    // Assignments by due date, and the completed ones by due and completion date: a few
    // rows a week, from which the on-time shares and the backlog are added up.
    QMap<QDate, qint64> due;
    struct Done {
        QDate due;
        QDate completed; // null: completed on no recorded day
        qint64 count;
    };
    QList<Done> done;
    bool ok = readRows(db, querySql(DueWeeks, from, to), [&](const Recordset& r) {
        due[dateOf(r.value(QStringLiteral("duedate")))] +=
            r.value(QStringLiteral("n")).toLongLong();
    });
    ok = ok && readRows(db, querySql(DoneWeeks, from, to), [&](const Recordset& r) {
             done.append({dateOf(r.value(QStringLiteral("duedate"))),
                          dateOf(r.value(QStringLiteral("compdate"))),
                          r.value(QStringLiteral("n")).toLongLong()});
         });

    QList<MonthCosts> costs;
    ok =
        ok && readRows(db, querySql(Costs, from, to), [&](const Recordset& r) {
            costs.append(
                {QDate(r.value(QStringLiteral("y")).toInt(), r.value(QStringLiteral("m")).toInt(),
                       1),
                 r.value(QStringLiteral("h")).toDouble(), r.value(QStringLiteral("p")).toDouble(),
                 r.value(QStringLiteral("l")).toDouble(), r.value(QStringLiteral("t")).toDouble()});
        });
    const auto readTop = [&](Query query, QList<TaskTotal>* into) {
        QList<TaskTotal> totals;
        const bool read = readRows(db, querySql(query, from, to), [&](const Recordset& r) {
            totals.append({r.value(QStringLiteral("taskid")).toLongLong(),
                           r.value(QStringLiteral("taskname")).toString(),
                           r.value(QStringLiteral("total")).toDouble()});
        });
        *into = topTen(totals);
        return read;
    };
    ok = ok && readTop(TopHours, &f.topHours);
    ok = ok && readTop(TopCosts, &f.topCosts);
    ok = ok && readRows(db, querySql(OpenWork, from, to), [&](const Recordset& r) {
             const QVariant id = r.value(QStringLiteral("empid"));
             const bool none = id.isNull() || id.toLongLong() == 0;
             f.openWork.append(
                 {none ? NoEmployee : id.toLongLong(),
                  none ? Unassigned
                       : firstAndLastName(r.value(QStringLiteral("firstname")).toString(),
                                          r.value(QStringLiteral("lastname")).toString()),
                  r.value(QStringLiteral("n")).toLongLong()});
         });
    if (!ok)
        return f;

    // On time: by the month of the due date, the assignments of the range whose due week
    // has ended (before today), and those of them completed by the end of it.
    const QDate lastEnded = lastWeekEndBefore(today);
    QMap<QDate, OnTimeMonth> months;
    for (auto it = due.cbegin(); it != due.cend(); ++it) {
        const QDate day = it.key();
        if (day < from || day > to || day > lastEnded)
            continue;
        OnTimeMonth& month = months[firstOfMonth(day)];
        month.month = firstOfMonth(day);
        month.due += it.value();
    }
    for (const Done& d : std::as_const(done)) {
        if (d.due < from || d.due > to || d.due > lastEnded || !d.completed.isValid() ||
            d.completed > dueWeekEnd(d.due))
            continue;
        months[firstOfMonth(d.due)].onTime += d.count;
    }
    f.onTime = months.values();

    // Backlog: at the end of each Saturday of the range up to today, and at today.
    QList<QDate> ends;
    for (QDate end = lastWeekEndBefore(from.addDays(7)); end <= to && end < today;
         end = end.addDays(7))
        ends << end;
    if (today >= from && today <= to && (ends.isEmpty() || ends.last() != today))
        ends << today;
    for (const QDate& end : std::as_const(ends)) {
        BacklogPoint point{end, 0};
        for (auto it = due.cbegin(); it != due.cend(); ++it)
            if (dueWeekEnd(it.key()) < end)
                point.open += it.value();
        for (const Done& d : std::as_const(done))
            if (dueWeekEnd(d.due) < end && (!d.completed.isValid() || d.completed <= end))
                point.open -= d.count;
        f.backlog << point;
    }

    // Costs: every month of the range, those without completed work at nothing.
    for (QDate month = firstOfMonth(from); month <= to; month = month.addMonths(1)) {
        const auto found = std::find_if(costs.cbegin(), costs.cend(),
                                        [&](const MonthCosts& c) { return c.month == month; });
        f.costs << (found != costs.cend() ? *found : MonthCosts{month, 0, 0, 0, 0});
    }

    std::sort(f.openWork.begin(), f.openWork.end(),
              [](const EmployeeOpen& a, const EmployeeOpen& b) {
                  if (a.open != b.open)
                      return a.open > b.open;
                  return compareText(a.name, b.name) < 0;
              });
    f.read = true;
    return f;
}

WorkListFilter onTimeFilter(const DashboardFigures& figures, const QDate& month) {
    WorkListFilter filter;
    filter.period = WorkPeriod::DateRange;
    filter.from = std::max(firstOfMonth(month), figures.from);
    filter.to = std::min({lastOfMonth(month), figures.to, lastWeekEndBefore(figures.today)});
    filter.completion = WorkCompletion::Both;
    return filter;
}

WorkListFilter backlogFilter(const QDate& end) {
    WorkListFilter filter;
    filter.period = WorkPeriod::AllDates;
    filter.completion = WorkCompletion::Both;
    filter.selection =
        QStringLiteral("assign.duedate < %1 and (not assign.completed or assign.compdate >= %2)")
            .arg(at(lastWeekEndBefore(end).addDays(1)), at(end.addDays(1)));
    filter.selectionCaption =
        QStringLiteral("overdue and not completed at the end of ") + shortDate(end);
    return filter;
}

WorkListFilter costsFilter(const DashboardFigures& figures, const QDate& month) {
    WorkListFilter filter;
    filter.period = WorkPeriod::AllDates;
    filter.completion = WorkCompletion::Completed;
    const QDate first = std::max(firstOfMonth(month), figures.from);
    const QDate last = std::min(lastOfMonth(month), figures.to);
    filter.selection = completedIn(first, last);
    filter.selectionCaption =
        QStringLiteral("completed from %1 to %2").arg(shortDate(first), shortDate(last));
    return filter;
}

WorkListFilter taskFilter(const DashboardFigures& figures, const TaskTotal& task) {
    WorkListFilter filter;
    filter.period = WorkPeriod::AllDates;
    filter.completion = WorkCompletion::Completed;
    filter.selection = QStringLiteral("assign.taskid = %1 and ").arg(task.taskId) +
                       completedIn(figures.from, figures.to);
    filter.selectionCaption = QStringLiteral("%1, completed from %2 to %3")
                                  .arg(task.name, shortDate(figures.from), shortDate(figures.to));
    return filter;
}

WorkListFilter employeeFilter(const DashboardFigures& figures, qint64 employee) {
    WorkListFilter filter;
    filter.period = WorkPeriod::DateRange;
    filter.from = figures.from;
    filter.to = figures.to;
    filter.employee = employee;
    filter.completion = WorkCompletion::Open;
    return filter;
}

} // namespace tavrel
