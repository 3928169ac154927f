#pragma once

#include "worklist/worklistquery.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace tavrel {

class Database;

// The figures of the dashboard over a range of dates, each read by a set-based query (the
// database groups and sums; the program adds up a few grouped rows):
//   on time   - per month of the due date: the assignments whose due week has ended by
//               today, and how many of them were completed by the end of that week;
//   backlog   - at the end of each week (Saturday) up to today, and at today: assignments
//               whose due week had ended and that were not completed by then;
//   costs     - per month of completion: hours, parts, labour and tax of completed work;
//   top tasks - the ten tasks with the most hours and the ten with the most cost completed
//               in the range;
//   open work - per employee (and the unassigned): open assignments due in the range.
// A week runs Sunday to Saturday, as everywhere in the program.
struct OnTimeMonth {
    QDate month; // its first day
    qint64 due = 0;
    qint64 onTime = 0;
    double percent() const { return due > 0 ? 100.0 * double(onTime) / double(due) : 0; }
    bool operator==(const OnTimeMonth&) const = default;
};

struct BacklogPoint {
    QDate at; // the end of the day counted
    qint64 open = 0;
    bool operator==(const BacklogPoint&) const = default;
};

struct MonthCosts {
    QDate month; // its first day
    double hours = 0;
    double parts = 0;
    double labor = 0;
    double tax = 0;
    bool operator==(const MonthCosts&) const = default;
};

struct TaskTotal {
    qint64 taskId = 0;
    QString name;
    double value = 0; // hours, or money
    bool operator==(const TaskTotal&) const = default;
};

struct EmployeeOpen {
    qint64 employee = NoEmployee; // empid, or NoEmployee for work assigned to no one
    QString name;
    qint64 open = 0;
    bool operator==(const EmployeeOpen&) const = default;
};

struct DashboardFigures {
    QDate from;
    QDate to;
    QDate today;
    QList<OnTimeMonth> onTime;    // the months of the range with work due and ended
    QList<BacklogPoint> backlog;  // oldest first
    QList<MonthCosts> costs;      // every month of the range, in order
    QList<TaskTotal> topHours;    // most first, at most DashboardTopTasks
    QList<TaskTotal> topCosts;    // most first, at most DashboardTopTasks
    QList<EmployeeOpen> openWork; // most first; names in order among equals
    bool read = false;            // false when a query failed (its error was reported)
};

inline constexpr int DashboardTopTasks = 10;
// The share of work completed on time a site aims at, until it sets its own.
inline constexpr int DefaultOnTimeTarget = 90;

// The figures of [from, to] (both included) over `db` as of `today`. A query the database
// refuses is reported through the error trap, and the figures are then not read.
DashboardFigures readDashboardFigures(Database& db, const QDate& from, const QDate& to,
                                      const QDate& today);

// The queries the figures are read by, in the program's SQL: for the benchmark's baseline.
QStringList dashboardQueries(const QDate& from, const QDate& to);

// The last Saturday before `day` (the day itself not counted): the end of the last week that
// has ended before it.
QDate lastWeekEndBefore(const QDate& day);

// The work-list filter of exactly the assignments a figure counts.
WorkListFilter onTimeFilter(const DashboardFigures& figures, const QDate& month);
WorkListFilter backlogFilter(const QDate& at);
WorkListFilter costsFilter(const DashboardFigures& figures, const QDate& month);
WorkListFilter taskFilter(const DashboardFigures& figures, const TaskTotal& task);
WorkListFilter employeeFilter(const DashboardFigures& figures, qint64 employee);

} // namespace tavrel
