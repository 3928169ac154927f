#pragma once

#include "core/workordercode.h"

#include <QDate>
#include <QString>

namespace tavrel::workordercode {

// What a typed or scanned code names in the site's database (dbMain).
enum class CodeOutcome {
    Found,
    NotACode,
    WrongCheck,
    OtherSite,        // the code's site tag is not this site's
    AssignmentGone,   // no assignment with the code's key
    TaskGone,         // no task with the code's key (or the assignment's task is gone)
    AlreadyCompleted, // only when completing: the assignment is completed
    NoOpenAssignment, // only when completing: the task has no assignment that is not completed
    Unreadable,       // the database could not be read: the trap in force has said why
};

// The row a code leads to, with what its messages name.
struct CodeTarget {
    CodeOutcome outcome = CodeOutcome::NotACode;
    CodeReading reading;
    QString code;     // the code as printed (empty when the text is no code)
    QString siteTag;  // this site's tag
    qint64 assid = 0; // the assignment: the code's own, or the task's oldest open one
    qint64 taskid = 0;
    QString taskName;
    QDate dueDate;
    QDate completedOn; // AlreadyCompleted: the completion date, null when none was entered
};

// Reads `text` as a code of this site and looks up the row it names: for an assignment's
// code the assignment (with its task, which need not exist any more), for a task's code the
// task. Completed assignments are found as any.
CodeTarget lookUpCode(const QString& text);

// The assignment that completing the work of `text` opens: the code's assignment when it is
// not completed yet; for a task's code (an equipment label) the task's open assignment that
// is due first.
CodeTarget assignmentToComplete(const QString& text);

// What the user is told about an outcome other than Found and Unreadable: one text for each,
// shown wherever a code is entered.
QString codeMessage(const CodeTarget& target);

} // namespace tavrel::workordercode
