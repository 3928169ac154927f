#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

namespace tavrel {

// A job done outside the weekly schedule (a breakdown repair, a finding of an inspection):
// the task it is for, the day it is due, who does it (empty: nobody yet) and what is known
// about it.
struct OneOffJob {
    qint64 taskId = 0;
    QDate dueDate;
    QVariant empId;
    QString notes;
};

// Adds `job` to dbMain as a one-off assignment: no week, the task's location and type as
// year generation gives them, nothing done yet. Returns its assid; null when the task no
// longer exists or the row could not be written (that failure has gone to the trap in
// force, and nothing was written).
QVariant addOneOffJob(const OneOffJob& job);

} // namespace tavrel
