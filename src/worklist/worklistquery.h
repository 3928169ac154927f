#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace tavrel {

// Which due dates the work list shows. The numbers are the entries of its period list.
enum class WorkPeriod {
    DueAndOverdue = 0, // open, due before the end of this week
    DueThisWeek = 1,
    Overdue = 2, // open, due before today
    ThisMonth = 3,
    DateRange = 4,
    AllDates = 5,
};

// Which assignments by their completion.
enum class WorkCompletion { Open = 0, Completed = 1, Both = 2 };

// A code filter that matches every row, and the employee filter's entry for the rows
// nobody is assigned to.
inline constexpr qint64 AnyCode = 0;
inline constexpr qint64 NoEmployee = -1;

// The filters of the work list, combined with "and".
struct WorkListFilter {
    WorkPeriod period = WorkPeriod::DueAndOverdue;
    QDate from; // DateRange only, both included
    QDate to;
    qint64 employee = AnyCode; // or NoEmployee
    qint64 location = AnyCode;
    qint64 type = AnyCode;
    WorkCompletion completion = WorkCompletion::Open;
    // A selection no control shows, such as the assignments behind a figure of the
    // dashboard: a condition in the program's SQL over assign and tasks, and what it
    // selects in words, for the window to say. Empty: none.
    QString selection;
    QString selectionCaption;

    bool operator==(const WorkListFilter&) const = default;
};

// The columns of the work list, in the order shown.
enum WorkColumn {
    ColDueDate,
    ColTask,
    ColLocation,
    ColType,
    ColEmployee,
    ColCompleted,
    ColHours,
    ColTotalCost,
    WorkColumnCount
};

// A date range given backwards is taken the right way round: from the earlier date to the
// later one. Returns whether the dates were swapped.
bool putRangeInOrder(WorkListFilter& filter);

// The "where ..." of the filter as of `today` (empty when it matches every row), in the
// program's SQL; it names assign and tasks columns.
QString workListWhere(const WorkListFilter& filter, const QDate& today);

// The FROM clause every work-list query reads: the assignment with its task, the task's
// location and type, and the assignment's employee.
QString workListFrom();

// select count(*) as n ... of the filter.
QString workListCountSql(const WorkListFilter& filter, const QDate& today);

// The columns of one page of rows: `count` rows from `first` on, in the order of `sortColumn`
// (ties by the assignment's number, so that pages never overlap or leave a row out).
QString workListPageSql(const WorkListFilter& filter, const QDate& today, int sortColumn,
                        bool descending, int first, int count);

// Only the assid column of the same rows.
QString workListIdSql(const WorkListFilter& filter, const QDate& today, int sortColumn,
                      bool descending, int first, int count);

// What Complete... writes on every assignment: the completion date, and the employee,
// inspector and time where given (otherwise each assignment keeps its own).
struct Completion {
    QDate date;
    QVariant employee;  // empid, or null to keep each one's
    QVariant inspector; // manid, or null to keep each one's
    std::optional<double> hours;
    std::optional<double> minutes;
};

// How many of `ids` are completed already (or gone: those cannot be completed either).
// Failures go to the caller's trap, which then gets -1.
int completedAmong(const QList<qint64>& ids);

// Marks every assignment of `ids` completed with `completion`, as one operation: all of them
// or none. Returns how many rows were written, -1 when the operation failed (reported
// through the caller's trap).
int completeAssignments(const QList<qint64>& ids, const Completion& completion);

// Sets the employee (an empid, or null for nobody) of the open assignments of `ids`, as one
// operation; completed ones are left as they are. Returns how many were changed, or -1.
int assignEmployee(const QList<qint64>& ids, const QVariant& employee);

// "select assid from assign where assid in (...) order by duedate, taskname": the work
// orders of `ids` in the order a batch prints them.
QString workOrdersOfSql(const QList<qint64>& ids);

} // namespace tavrel
