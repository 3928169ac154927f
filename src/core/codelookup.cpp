#include "core/codelookup.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "data/database.h"
#include "text/datetext.h"

namespace tavrel::workordercode {

namespace {

// Runs `read` under a trap that shows a failure as every read does; false when one came.
template <typename Read> bool readWithoutFailure(Read read) {
    bool failed = false;
    ErrorTrap trap([&failed](const DbError&) {
        failed = true;
        HandleDataError();
    });
    read();
    return !failed;
}

Recordset snapshot(const QString& sql) {
    return state().dbMain.openRecordset(sql, RecordsetType::Snapshot);
}

QString taskNameOf(qint64 taskid, bool* exists) {
    Recordset task = snapshot(QStringLiteral("select taskid, taskname from tasks where taskid = ") +
                              QString::number(taskid));
    *exists = task.isOpen() && task.recordCount() > 0;
    return *exists ? task.value(QStringLiteral("taskname")).toString() : QString();
}

} // namespace

CodeTarget lookUpCode(const QString& text) {
    CodeTarget target;
    target.reading = readCode(text);
    const CodeReading& reading = target.reading;
    if (reading.fault == CodeFault::NotACode)
        return target;
    target.code = formatCode(reading.siteTag, reading.kind, reading.key);
    if (reading.fault == CodeFault::WrongCheck) {
        // As typed: the check character that did not agree is shown with the rest.
        target.code = text.trimmed().toUpper();
        target.outcome = CodeOutcome::WrongCheck;
        return target;
    }
    target.outcome = CodeOutcome::Unreadable;
    bool taskExists = false;
    const bool read = readWithoutFailure([&] {
        target.siteTag = currentSiteTag();
        if (target.siteTag.isEmpty() || target.siteTag != reading.siteTag) {
            target.outcome = CodeOutcome::OtherSite;
            return;
        }
        if (reading.kind == CodeKind::Task) {
            target.taskid = reading.key;
            target.taskName = taskNameOf(reading.key, &taskExists);
            target.outcome = taskExists ? CodeOutcome::Found : CodeOutcome::TaskGone;
            return;
        }
        Recordset work =
            snapshot(QStringLiteral("select assid, taskid, duedate from assign where assid = ") +
                     QString::number(reading.key));
        if (!work.isOpen() || work.recordCount() == 0) {
            target.outcome = CodeOutcome::AssignmentGone;
            return;
        }
        target.assid = reading.key;
        target.taskid = work.value(QStringLiteral("taskid")).toLongLong();
        target.dueDate = work.value(QStringLiteral("duedate")).toDate();
        target.taskName = taskNameOf(target.taskid, &taskExists);
        target.outcome = CodeOutcome::Found;
    });
    if (!read)
        target.outcome = CodeOutcome::Unreadable;
    return target;
}

CodeTarget assignmentToComplete(const QString& text) {
    CodeTarget target = lookUpCode(text);
    if (target.outcome != CodeOutcome::Found)
        return target;
    const bool read = readWithoutFailure([&target] {
        if (target.reading.kind == CodeKind::Assignment) {
            Recordset work = snapshot(
                QStringLiteral("select assid, completed, compdate from assign where assid = ") +
                QString::number(target.assid));
            if (!work.isOpen() || work.recordCount() == 0) {
                target.outcome = CodeOutcome::AssignmentGone;
            } else if (work.value(QStringLiteral("completed")).toBool()) {
                target.outcome = CodeOutcome::AlreadyCompleted;
                target.completedOn = work.value(QStringLiteral("compdate")).toDate();
            }
            return;
        }
        // The work of a label is the task's open assignment that is due first.
        Recordset open =
            snapshot(QStringLiteral("select assid, duedate from assign where taskid = %1 and not "
                                    "completed order by duedate, assid")
                         .arg(target.taskid));
        if (!open.isOpen() || open.recordCount() == 0) {
            target.outcome = CodeOutcome::NoOpenAssignment;
            return;
        }
        target.assid = open.value(QStringLiteral("assid")).toLongLong();
        target.dueDate = open.value(QStringLiteral("duedate")).toDate();
    });
    if (!read)
        target.outcome = CodeOutcome::Unreadable;
    return target;
}

QString codeMessage(const CodeTarget& target) {
    const QString& code = target.code;
    // The task as the messages name it: by its name where it has one.
    const QString task =
        target.taskName.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(target.taskName);
    switch (target.outcome) {
    case CodeOutcome::NotACode:
        return QStringLiteral("This is not a work order code. Scan the code printed on the work "
                              "order or the equipment label, or type it as it is printed there, "
                              "such as TVL-7K2-A-000123-Q.");
    case CodeOutcome::WrongCheck:
        return QStringLiteral("The code %1 does not check out: it was probably mistyped or "
                              "misread. Compare it with the code printed on the work order and "
                              "enter it again.")
            .arg(code);
    case CodeOutcome::OtherSite:
        return QStringLiteral("The code %1 is of another site: its site tag is %2, and this "
                              "site's is %3. Open that site's database to work with it.")
            .arg(code, target.reading.siteTag,
                 target.siteTag.isEmpty() ? QStringLiteral("not set") : target.siteTag);
    case CodeOutcome::AssignmentGone:
        return QStringLiteral("The assignment of code %1 is no longer in the database: it has "
                              "been deleted.")
            .arg(code);
    case CodeOutcome::TaskGone:
        return QStringLiteral("The task of code %1 is no longer in the database: it has been "
                              "deleted.")
            .arg(code);
    case CodeOutcome::AlreadyCompleted:
        return target.completedOn.isValid()
                   ? QStringLiteral("The assignment of code %1%2, due %3, was already completed "
                                    "on %4.")
                         .arg(code, task, shortDate(target.dueDate), shortDate(target.completedOn))
                   : QStringLiteral("The assignment of code %1%2, due %3, is already marked "
                                    "completed, without a completion date.")
                         .arg(code, task, shortDate(target.dueDate));
    case CodeOutcome::NoOpenAssignment:
        return QStringLiteral("The task of code %1%2 has no open assignment: there is no work of "
                              "it left to complete.")
            .arg(code, task);
    case CodeOutcome::Found:
    case CodeOutcome::Unreadable:
        break;
    }
    return {};
}

} // namespace tavrel::workordercode
