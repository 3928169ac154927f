#pragma once

#include <QDate>
#include <QList>
#include <QVariant>

#include <array>

namespace tavrel {

// The weeks of the tasks scheduled by an interval rule, and the moves of their assignments
// when a schedule follows completion. All of it writes through dbMain inside the caller's
// operation (or as one of its own where said), under the trap in force.

// Rewrites the taskweeks rows of every task with an interval rule to the weeks the rule
// gives in the year whose week Mondays are `mondays` (index 1 to 52). A rule that follows
// completion counts from the task's last completion when there is one.
void workOutRuleWeeks(const std::array<QDate, 53>& mondays);

// After assignment `assid` was completed on `doneOn`: when its task follows completion, the
// task's open assignments due after it in the current year (WeekDates) move to the weeks one
// interval, two intervals ... after `doneOn` (due on each week's working day); those that no
// longer fit in the year are removed, and weeks that now fit get a new assignment. The
// task's weeks follow. True when something moved. Runs as one operation of its own.
bool followCompletion(const QVariant& assid, const QDate& doneOn);

// The same for many assignments completed at once (the work list's Complete): each one whose
// task follows completion, in due-date order.
void followCompletions(const QList<qint64>& assids, const QDate& doneOn);

// The due date of task `taskId`'s first open scheduled assignment in the current year's
// weeks, or none.
QDate nextOpenDueDate(const QVariant& taskId);

// Whether assignment `assid` belongs to a task whose schedule follows completion.
bool followsCompletion(const QVariant& assid);

// After the completion of assignment `assid` was undone: the task's open assignments due
// after it move back to the weeks counted from the task's completion before it (or from the
// rule's start). Runs as one operation of its own; true when something moved.
bool replanAfterUndoneCompletion(const QVariant& assid);

} // namespace tavrel
