#include "assignments/ruleschedule.h"

#include "core/errortrap.h"
#include "core/intervalrule.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "data/database.h"
#include "data/rowinserter.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace tavrel {

namespace {

// Ids per "in (...)" list: short statements on any backend.
constexpr qsizetype IdsPerList = 500;

QString idList(const QList<qint64>& ids, qsizetype first) {
    QStringList parts;
    for (qsizetype i = first; i < ids.size() && i < first + IdsPerList; ++i)
        parts << QString::number(ids.at(i));
    return QLatin1Char('(') + parts.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString sqlValue(const QVariant& id) {
    return id.isNull() ? QStringLiteral("null") : QString::number(id.toLongLong());
}

// The last day of the current year's 52 weeks.
QDate lastDayOfWeeks(const std::array<QDate, 53>& mondays) {
    return mondays[WeeksPerYear].addDays(6);
}

// The task of an assignment, with what a new assignment of it copies.
struct RuleTask {
    qint64 taskId = 0;
    IntervalRule rule;
    QVariant locId;
    QVariant typId;
    QVariant empId;
    QDate due;
    bool completed = false;
};

std::optional<RuleTask> ruleTaskOf(const QVariant& assid) {
    if (assid.isNull())
        return std::nullopt;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select tasks.taskid as ruletask, ruleunit, ruleevery, rulestart, "
                       "rulefollow, tasks.locid as ruleloc, tasks.typid as ruletype, tasks.empid "
                       "as ruleemp, assign.duedate as ruledue, assign.completed as ruledone "
                       "from assign inner join tasks on assign.taskid = tasks.taskid where "
                       "assign.assid = ") +
            QString::number(assid.toLongLong()),
        RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() == 0)
        return std::nullopt;
    RuleTask task;
    task.taskId = rs.value(QStringLiteral("ruletask")).toLongLong();
    task.rule = intervalRuleOf(rs);
    task.locId = rs.value(QStringLiteral("ruleloc"));
    task.typId = rs.value(QStringLiteral("ruletype"));
    task.empId = rs.value(QStringLiteral("ruleemp"));
    task.due = rs.value(QStringLiteral("ruledue")).toDate();
    task.completed = rs.value(QStringLiteral("ruledone")).toBool();
    return task;
}

// The current year's weeks after week `afterWeek` that `rule` gives counted from `from`
// (occurrences `firstK` on).
QList<int> weeksAfter(const IntervalRule& rule, const QDate& from, int firstK, int afterWeek,
                      const std::array<QDate, 53>& mondays) {
    QList<int> weeks = weeksHolding(
        intervalDates(rule, from, firstK, mondays[1], lastDayOfWeeks(mondays)), mondays);
    weeks.removeIf([afterWeek](int week) { return week <= afterWeek; });
    return weeks;
}

// Moves the open scheduled assignments of `task` due after its assignment's due date, in the
// current year, to `weeks` (in order): the first open one to the first week and so on; those
// left over are removed, weeks left over get a new assignment. Then the task's weeks are the
// weeks of its assignments in the year. True when an assignment changed.
bool moveOpenAssignments(const RuleTask& task, const QList<int>& weeks) {
    Database& db = state().dbMain;
    const std::array<QDate, 53>& mondays = state().WeekDates;
    const SiteCalendar calendar = loadSiteCalendar(db);
    const QString taskText = QString::number(task.taskId);
    const QString inYear = QStringLiteral(" and duedate >= ") + jetDateLiteral(mondays[1]) +
                           QStringLiteral(" and duedate <= ") +
                           jetDateLiteral(lastDayOfWeeks(mondays));
    struct Open {
        qint64 assid;
        int week;
        QDate due;
    };
    QList<Open> open;
    {
        Recordset rs = db.openRecordset(
            QStringLiteral("select assid, weeid, duedate from assign where taskid = ") + taskText +
                QStringLiteral(" and not completed and not oneoff and duedate > ") +
                jetDateLiteral(task.due) + inYear + QStringLiteral(" order by duedate, assid"),
            RecordsetType::Snapshot);
        while (rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF()) {
            open.append(Open{rs.value(QStringLiteral("assid")).toLongLong(),
                             rs.value(QStringLiteral("weeid")).toInt(),
                             rs.value(QStringLiteral("duedate")).toDate()});
            rs.moveNext();
        }
    }
    if (operationFailed())
        return false;
    bool changed = false;
    for (qsizetype i = 0; i < qMax(open.size(), weeks.size()) && !operationFailed(); ++i) {
        if (i >= weeks.size()) {
            db.execute(QStringLiteral("delete from assign where assid = ") +
                       QString::number(open.at(i).assid));
            changed = true;
            continue;
        }
        const int week = weeks.at(i);
        const QDate due = calendar.dueDateOfWeek(mondays[week]);
        if (i >= open.size()) {
            db.execute(
                QStringLiteral("insert into assign (taskid, locid, typid, empid, weeid, "
                               "duedate, comphour, compmin, completed) values (%1, %2, "
                               "%3, %4, %5, %6, 0, 0, 0)")
                    .arg(taskText, sqlValue(task.locId), sqlValue(task.typId), sqlValue(task.empId))
                    .arg(week)
                    .arg(jetDateLiteral(due)));
            changed = true;
        } else if (open.at(i).week != week || open.at(i).due != due) {
            db.execute(QStringLiteral("update assign set weeid = %1, duedate = %2 where assid = %3")
                           .arg(week)
                           .arg(jetDateLiteral(due))
                           .arg(open.at(i).assid));
            changed = true;
        }
    }
    if (!changed || operationFailed())
        return changed;
    db.execute(QStringLiteral("delete from taskweeks where taskid = ") + taskText);
    if (!operationFailed())
        db.execute(QStringLiteral("insert into taskweeks (taskid, weeid) select distinct taskid, "
                                  "weeid from assign where taskid = ") +
                   taskText + QStringLiteral(" and not oneoff and weeid between 1 and ") +
                   QString::number(WeeksPerYear) + inYear);
    return changed;
}

bool currentYearKnown() {
    return state().WeekDates[1].isValid() && state().WeekDates[WeeksPerYear].isValid();
}

} // namespace

void workOutRuleWeeks(const std::array<QDate, 53>& mondays) {
    Database& db = state().dbMain;
    QHash<qint64, QDate> lastDone;
    {
        Recordset rs = db.openRecordset(
            QStringLiteral("select taskid, max(compdate) as lastdone from assign where completed "
                           "and not oneoff and taskid in (select taskid from tasks where "
                           "ruleunit > 0 and rulefollow <> 0) group by taskid"),
            RecordsetType::Snapshot);
        while (rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF()) {
            lastDone.insert(rs.value(QStringLiteral("taskid")).toLongLong(),
                            rs.value(QStringLiteral("lastdone")).toDate());
            rs.moveNext();
        }
    }
    // A following schedule completed within this year's weeks has been followed already:
    // its weeks up to the completion are those its assignments have (moved ones under their
    // new weeks), so that none of them is made again.
    const QDate first = mondays[1];
    const QDate last = lastDayOfWeeks(mondays);
    QHash<qint64, QList<int>> planned;
    {
        Recordset rs = db.openRecordset(
            QStringLiteral("select distinct taskid, weeid from assign where not oneoff and "
                           "duedate >= ") +
                jetDateLiteral(first) + QStringLiteral(" and duedate <= ") + jetDateLiteral(last) +
                QStringLiteral(" and taskid in (select taskid from tasks where ruleunit > 0 and "
                               "rulefollow <> 0)"),
            RecordsetType::Snapshot);
        while (rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF()) {
            planned[rs.value(QStringLiteral("taskid")).toLongLong()]
                << rs.value(QStringLiteral("weeid")).toInt();
            rs.moveNext();
        }
    }
    QList<qint64> ids;
    QList<QList<int>> weeks;
    {
        Recordset rs = db.openRecordset(
            QStringLiteral("select taskid, ruleunit, ruleevery, rulestart, rulefollow from tasks "
                           "where ruleunit > 0 order by taskid"),
            RecordsetType::Snapshot);
        while (rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF()) {
            const IntervalRule rule = intervalRuleOf(rs);
            // A rule that cannot be used leaves the task's marked weeks as they are.
            if (rule.isSet()) {
                const qint64 id = rs.value(QStringLiteral("taskid")).toLongLong();
                const QDate done = lastDone.value(id);
                QList<int> taskWeeks = intervalWeeks(rule, mondays, done);
                if (rule.followCompletion && done >= first && done <= last) {
                    const int doneWeek = weekHolding(done, mondays);
                    taskWeeks.removeIf([doneWeek](int week) { return week <= doneWeek; });
                    for (int week : planned.value(id))
                        if (week >= 1 && week <= WeeksPerYear && !taskWeeks.contains(week))
                            taskWeeks << week;
                    std::sort(taskWeeks.begin(), taskWeeks.end());
                }
                ids << id;
                weeks << taskWeeks;
            }
            rs.moveNext();
        }
    }
    for (qsizetype slice = 0; slice < ids.size() && !operationFailed(); slice += IdsPerList)
        db.execute(QStringLiteral("delete from taskweeks where taskid in ") + idList(ids, slice));
    if (ids.isEmpty() || operationFailed())
        return;
    RowInserter rows(db, QStringLiteral("taskweeks"),
                     {QStringLiteral("taskid"), QStringLiteral("weeid")});
    for (qsizetype i = 0; i < ids.size() && rows.isReady(); ++i)
        for (int week : weeks.at(i))
            if (!rows.insert({ids.at(i), week}))
                return;
    rows.finish();
}

QDate nextOpenDueDate(const QVariant& taskId) {
    ErrorTrap trap;
    if (taskId.isNull() || !currentYearKnown())
        return QDate();
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select min(duedate) as nextdue from assign where taskid = ") +
            QString::number(taskId.toLongLong()) +
            QStringLiteral(" and not completed and not oneoff and duedate >= ") +
            jetDateLiteral(state().WeekDates[1]) + QStringLiteral(" and duedate <= ") +
            jetDateLiteral(lastDayOfWeeks(state().WeekDates)),
        RecordsetType::Snapshot);
    return rs.isOpen() ? rs.value(QStringLiteral("nextdue")).toDate() : QDate();
}

bool followsCompletion(const QVariant& assid) {
    const std::optional<RuleTask> task = ruleTaskOf(assid);
    return task && task->rule.isSet() && task->rule.followCompletion;
}

namespace {

// The task of assignment `assid` when its schedule follows completion and the assignment lies
// in the current year's weeks (one past them leaves the year as it is); none otherwise.
std::optional<RuleTask> followingTaskOf(const QVariant& assid) {
    if (!currentYearKnown())
        return std::nullopt;
    std::optional<RuleTask> task = ruleTaskOf(assid);
    if (!task || !task->rule.isSet() || !task->rule.followCompletion ||
        task->due > lastDayOfWeeks(state().WeekDates))
        return std::nullopt;
    return task;
}

} // namespace

bool followCompletion(const QVariant& assid, const QDate& doneOn) {
    ErrorTrap trap;
    const std::optional<RuleTask> task = doneOn.isValid() ? followingTaskOf(assid) : std::nullopt;
    if (!task)
        return false;
    bool changed = false;
    RunAllOrNothing(state().dbMain, [&] {
        const int afterWeek = weekHolding(task->due, state().WeekDates);
        changed = moveOpenAssignments(
            *task, weeksAfter(task->rule, doneOn, 1, afterWeek, state().WeekDates));
    });
    return changed;
}

void followCompletions(const QList<qint64>& assids, const QDate& doneOn) {
    QList<qint64> following;
    for (qsizetype first = 0; first < assids.size(); first += IdsPerList) {
        Recordset rs = state().dbMain.openRecordset(
            QStringLiteral("select assid from assign inner join tasks on assign.taskid = "
                           "tasks.taskid where tasks.ruleunit > 0 and tasks.rulefollow <> 0 and "
                           "assid in ") +
                idList(assids, first) + QStringLiteral(" order by duedate, assid"),
            RecordsetType::Snapshot);
        while (rs.isOpen() && rs.recordCount() > 0 && !rs.isEOF()) {
            following << rs.value(QStringLiteral("assid")).toLongLong();
            rs.moveNext();
        }
    }
    for (qint64 assid : following)
        followCompletion(assid, doneOn);
}

bool replanAfterUndoneCompletion(const QVariant& assid) {
    ErrorTrap trap;
    const std::optional<RuleTask> task = followingTaskOf(assid);
    if (!task)
        return false;
    bool changed = false;
    RunAllOrNothing(state().dbMain, [&] {
        // The completion before the undone one in the schedule's order, not a later one.
        const QDate before = lastCompletionOf(task->taskId, assid, task->due);
        const bool fromCompletion = before.isValid() && before >= task->rule.start;
        const int afterWeek = weekHolding(task->due, state().WeekDates);
        changed = moveOpenAssignments(
            *task, weeksAfter(task->rule, fromCompletion ? before : task->rule.start,
                              fromCompletion ? 1 : 0, afterWeek, state().WeekDates));
    });
    return changed;
}

} // namespace tavrel
