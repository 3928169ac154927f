#pragma once

#include <QDate>
#include <QList>
#include <QSet>
#include <QVariant>

namespace tavrel {

// One week of a task's schedule as the week list holds it: the week's weeid and whether
// the week is marked. Position p of a list of them is week p + 1.
struct WeekMark {
    QVariant weeid;
    bool marked = false;
};

// The weeids stored in taskweeks for task `taskId`.
QSet<qint64> storedTaskWeeks(const QVariant& taskId);

// Writes the week schedule of task `taskId` and adjusts its assignments, in one
// transaction: a newly marked week gets its taskweeks row and, when its Monday is in the
// week of `today` or later, an uncompleted assignment for `empId` due on that Monday; an
// unmarked stored week loses its row and the uncompleted assignment due on its Monday
// (completed ones and those moved to another date stay). Weeks whose mark matches the
// stored rows are left alone, so running it without a change writes nothing. Runs under
// an error trap: a failing row is reported and the next week goes on.
void saveWeekSchedule(const QVariant& taskId, const QList<WeekMark>& weeks, const QVariant& empId,
                      const QDate& today);

} // namespace tavrel
