#include "tasks/schedule.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "data/database.h"
#include "data/schema.h"
#include "data/units.h"
#include "text/datetext.h"

namespace tavrel {

namespace {

QString idText(const QVariant& id) {
    return QString::number(id.toLongLong());
}

// The Monday of week `week` (1 to 52); invalid outside the calendar.
QDate mondayOfWeekNumber(int week) {
    return week >= 1 && week <= WeeksPerYear ? state().WeekDates[week] : QDate();
}

// The assignment that marking a week gives: due on `due` (the week's Monday, or its first
// working day under the site's calendar), for the task's employee, not yet done. Location and type
// stay empty; the year's generation is what copies them from the task.
void addAssignment(const QString& task, const QVariant& weeid, const QDate& due,
                   const QVariant& empId) {
    Recordset assign = state().dbMain.openRecordset(
        QStringLiteral("select * from assign where taskid = ") + task, RecordsetType::Dynaset);
    if (!assign.isOpen())
        return;
    assign.addNew();
    assign.setValue(QStringLiteral("taskid"), task.toLongLong());
    assign.setValue(QStringLiteral("weeid"), weeid);
    assign.setValue(QStringLiteral("duedate"), due);
    assign.setValue(QStringLiteral("comphour"), 0);
    assign.setValue(QStringLiteral("compmin"), 0);
    assign.setValue(QStringLiteral("compdate"), QVariant());
    assign.setValue(QStringLiteral("compnotes"), QString());
    assign.setValue(QStringLiteral("empid"), empId);
    assign.setValue(QStringLiteral("manid"), QVariant());
    assign.setValue(QStringLiteral("completed"), false);
    SaveLoop(assign);
    assign.close();
}

// Removes the uncompleted assignment of the task due on `monday`, if there is one. A
// one-off job due that Monday is not the week's assignment: it was made outside the
// schedule, so unmarking the week leaves it, hence the extra condition on the flag.
//
// Under a calendar with rules the week's assignment may fall due on any day of its week: it
// is then the one of that week (`weeid`) due from its Monday to its Sunday. One moved to
// another week by hand stays, as it does without rules.
void removeOpenAssignment(const QString& task, const QVariant& weeid, const QDate& monday,
                          const SiteCalendar& calendar) {
    if (!monday.isValid())
        return;
    const QString dated = calendar.hasRules()
                              ? QStringLiteral(" and weeid = ") + idText(weeid) +
                                    QStringLiteral(" and duedate >= ") + jetDateLiteral(monday) +
                                    QStringLiteral(" and duedate <= ") +
                                    jetDateLiteral(monday.addDays(6))
                              : QStringLiteral(" and duedate = ") + jetDateLiteral(monday);
    Recordset assign = state().dbMain.openRecordset(
        QStringLiteral("select * from assign where taskid = ") + task + dated +
            QStringLiteral(" and not completed and not oneoff"),
        RecordsetType::Dynaset);
    if (!assign.isOpen())
        return;
    if (assign.recordCount() > 0)
        DeleteLoop(assign);
    assign.close();
}

// The weeks of one task's schedule, against its stored rows `stored`.
void saveWeeks(Recordset& stored, const QString& task, const QVariant& taskId,
               const QList<WeekMark>& weeks, const QVariant& empId, const QDate& today,
               const SiteCalendar& calendar) {
    const QDate currentWeek = MondayOfWeek(today);
    for (qsizetype position = 0; position < weeks.size() && !operationFailed(); ++position) {
        const WeekMark& week = weeks.at(position);
        const QDate monday = mondayOfWeekNumber(int(position) + 1);
        stored.findFirst(QStringLiteral("weeid = ") + idText(week.weeid));
        const bool isStored = !stored.noMatch();
        if (week.marked && !isStored) {
            stored.addNew();
            stored.setValue(QStringLiteral("taskid"), taskId);
            stored.setValue(QStringLiteral("weeid"), week.weeid);
            SaveLoop(stored);
            // A week that is already over gets no assignment.
            if (monday.isValid() && monday >= currentWeek)
                addAssignment(task, week.weeid, calendar.dueDateOfWeek(monday), empId);
        } else if (!week.marked && isStored) {
            DeleteLoop(stored);
            removeOpenAssignment(task, week.weeid, monday, calendar);
        }
    }
}

} // namespace

QSet<qint64> storedTaskWeeks(const QVariant& taskId) {
    QSet<qint64> weeks;
    if (taskId.isNull())
        return weeks;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select * from taskweeks where taskid = ") + idText(taskId),
        RecordsetType::Snapshot);
    if (!rs.isOpen())
        return weeks;
    while (rs.recordCount() > 0 && !rs.isEOF()) {
        weeks.insert(rs.value(QStringLiteral("weeid")).toLongLong());
        rs.moveNext();
    }
    return weeks;
}

void saveWeekSchedule(const QVariant& taskId, const QList<WeekMark>& weeks, const QVariant& empId,
                      const QDate& today) {
    ErrorTrap trap;
    const QString task = idText(taskId);
    Recordset stored = state().dbMain.openRecordset(
        QStringLiteral("select * from taskweeks where taskid = ") + task, RecordsetType::Dynaset);
    if (!stored.isOpen())
        return;
    // A week of the schedule is one row and perhaps an assignment: written together or not
    // at all, and as part of the task's save when that is running.
    const SiteCalendar calendar = loadSiteCalendar(state().dbMain);
    RunAllOrNothing(state().dbMain,
                    [&] { saveWeeks(stored, task, taskId, weeks, empId, today, calendar); });
    stored.close();
    FreeLocks();
}

} // namespace tavrel
