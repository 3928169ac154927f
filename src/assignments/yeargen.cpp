#include "assignments/yeargen.h"

#include "assignments/ruleschedule.h"

#include "core/backups.h"
#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/operationlock.h"
#include "data/schema.h"
#include "data/units.h"

#include <QDate>
#include <QStringList>

#include <array>

namespace tavrel {

namespace {

// Generation runs as a few statements over ranges of task ids, so that a progress window
// can move; each statement is still set-based.
constexpr int GenerationSteps = 100;

QString isoDate(const QDate& date) {
    return date.toString(Qt::ISODate);
}

// Step 1 of the year: every weeks row, in week order, gets the Monday of its week; the
// same dates go to WeekDates by position. Rows past the 52nd have no place in WeekDates
// and are left alone. Written inside the caller's transaction.
void recomputeWeekDates(qint16 year) {
    const QList<QDate> mondays = weekMondays(year);
    Recordset weeks = state().dbMain.openRecordset(
        QStringLiteral("select curdate from weeks order by weeid"), RecordsetType::Dynaset);
    if (!weeks.isOpen() || weeks.recordCount() == 0)
        return;
    weeks.moveFirst();
    for (int week = 1; week <= WeeksPerYear && !weeks.isEOF() && !operationFailed(); ++week) {
        const QDate monday = mondays.at(week - 1);
        weeks.edit();
        weeks.setValue(QStringLiteral("CurDate"), monday);
        state().WeekDates[week] = monday;
        SaveLoop(weeks);
        weeks.moveNext();
    }
}

// The due date of a scheduled week, as SQL: its Monday from WeekDates, or the first working
// day of that week under `calendar`.
QString dueDateOfWeek(const SiteCalendar& calendar) {
    QString sql = QStringLiteral("case taskweeks.weeid");
    for (int week = 1; week <= WeeksPerYear; ++week) {
        const QDate monday = state().WeekDates[week];
        const QString due =
            monday.isValid()
                ? QLatin1Char('\'') + isoDate(calendar.dueDateOfWeek(monday)) + QLatin1Char('\'')
                : QStringLiteral("null");
        sql += QStringLiteral(" when %1 then %2").arg(week).arg(due);
    }
    return sql + QStringLiteral(" end");
}

// Steps 7 and 8: the assignments of every scheduled task for the year whose week dates are
// in WeekDates. False when the user cancelled it half-way.
bool generateAssignments(qint16 year, const SiteCalendar& calendar) {
    qint64 first = 0;
    qint64 last = -1;
    {
        Recordset range = state().dbMain.openRecordset(
            QStringLiteral("select min(taskid) as firstid, max(taskid) as lastid from tasks"),
            RecordsetType::Snapshot);
        if (!range.isOpen())
            return true;
        const QVariant low = range.value(QStringLiteral("firstid"));
        const QVariant high = range.value(QStringLiteral("lastid"));
        if (low.isNull() || high.isNull())
            return true; // no tasks
        first = low.toLongLong();
        last = high.toLongLong();
    }
    const qint64 span = (last - first) / GenerationSteps + 1;
    std::unique_ptr<Progress> progress =
        ui().progress(QStringLiteral("Create Task Assignments"),
                      QStringLiteral("Creating task assignments for %1 ...").arg(year),
                      GenerationSteps, ProgressCancel::Offered);
    int step = 0;
    for (qint64 from = first; from <= last && !operationFailed(); from += span) {
        state().dbMain.execute(
            yearGenerationSql(year, from, qMin(last, from + span - 1), calendar));
        progress->setValue(++step);
        if (progress->wasCanceled())
            return false;
    }
    return true;
}

void storeCurYear(qint16 year) {
    state().CurYear = year;
    Recordset settings = state().dbMain.openRecordset(QStringLiteral("select * from settings"),
                                                      RecordsetType::Dynaset);
    settings.edit();
    settings.setValue(QStringLiteral("CurYear"), state().CurYear);
    settings.update();
    settings.close();
}

} // namespace

// One assignment per task (not current-year-only) and scheduled week whose task has no
// assignment for that week dated on or after 1 January of `year`, for the tasks with ids
// from `first` to `last`. A week scheduled twice still gives one assignment, and a task
// without weeks none, as when the schedule is walked row by row. A current-year-only flag
// left empty by an older file counts as not set. A one-off job is no scheduled week's
// assignment, whatever week it names: it never stands in for one, hence the extra condition
// on the flag in the existence check.
//
// Under a calendar with rules, a week's assignment may fall due after its Monday, up to the
// Sunday: the last week's one may then lie in the next January. The week's assignment of a
// year is then found by its task, its week and the year's weeks (due on or after the Monday
// of week 1), so that last year's moved one is not taken for this year's.
QString yearGenerationSql(qint16 year, qint64 first, qint64 last, const SiteCalendar& calendar) {
    const QDate weekOne = state().WeekDates[1];
    const QString firstOfYear =
        isoDate(calendar.hasRules() && weekOne.isValid() ? weekOne : QDate(year, 1, 1));
    return QStringLiteral(
               "insert into assign (taskid, locid, typid, weeid, duedate, comphour, compmin, "
               "completed) "
               "select tasks.taskid, tasks.locid, tasks.typid, taskweeks.weeid, %1, 0, 0, 0 "
               "from tasks inner join taskweeks on tasks.taskid = taskweeks.taskid "
               "where coalesce(tasks.curyearonly, 0) = 0 "
               "and tasks.taskid between %2 and %3 "
               "and taskweeks.weeid between 1 and %4 "
               "and taskweeks.rowid = (select min(twin.rowid) from taskweeks twin "
               "where twin.taskid = taskweeks.taskid and twin.weeid = taskweeks.weeid) "
               "and not exists (select 1 from assign "
               "where assign.taskid = tasks.taskid and assign.weeid = taskweeks.weeid "
               "and assign.duedate >= '%5' and not assign.oneoff) "
               "order by tasks.taskid, taskweeks.weeid")
        .arg(dueDateOfWeek(calendar))
        .arg(first)
        .arg(last)
        .arg(WeeksPerYear)
        .arg(firstOfYear);
}

bool isPlannableYear(int year) {
    return year >= FirstPlannableYear && year <= LastPlannableYear;
}

QString yearOutOfRangeMessage() {
    return QStringLiteral("The year must lie between %1 and %2.")
        .arg(FirstPlannableYear)
        .arg(LastPlannableYear);
}

namespace {

// One attempt at setting the program up for `year`: the week dates, the new assignments
// and the year they belong to are one operation, kept together or not at all. Cancel in
// the progress window, a failure, or a damaged file met on the way (what was written went
// with it, and the repaired file is set up afresh) leave the year as it was, in the file
// and in WeekDates and CurYear. The question comes first: the operation holds the file's
// write lock, which no other program should wait on while the user decides.
void setUpYear(qint16 year) {
    // One set-up at a time on a database, of any year: each rewrites the week dates and the
    // current year, so two at once would leave a mix of both. Taken before the question, so
    // that a planner who would be refused is not asked first.
    QString holder;
    OperationLock lock(state().dbMain, QStringLiteral("year set-up"), &holder);
    if (!lock.isHeld()) {
        if (!holder.isEmpty())
            showError(DbError{ErrHeldByUser,
                              QStringLiteral("Tavrel cannot set up %1 now: another planner is "
                                             "setting up a year (%2). Try again once that is "
                                             "done.")
                                  .arg(year)
                                  .arg(holder)});
        return;
    }
    const MsgResult answer =
        ui().msgBox(QStringLiteral("Do you wish to create new task assigment records for ") +
                        QString::number(year) + QStringLiteral("?"),
                    MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Create Task Assignments"));
    // The answer decides what the copy is taken before: the week dates and the year alone,
    // or those together with a year's assignments.
    backupBefore(QString::fromLatin1(answer == MsgResult::Yes ? BackupReason::BeforeGenerate
                                                              : BackupReason::BeforeSetYear));
    const auto previousWeekDates = state().WeekDates;
    const qint16 previousYear = state().CurYear;
    const bool written = RunAllOrNothing(state().dbMain, [&] {
        const SiteCalendar calendar = loadSiteCalendar(state().dbMain);
        recomputeWeekDates(year);
        // The weeks of the tasks scheduled by an interval differ from year to year.
        if (!operationFailed())
            workOutRuleWeeks(state().WeekDates);
        if (answer == MsgResult::Yes && !operationFailed() &&
            !generateAssignments(year, calendar)) {
            cancelOperation();
            return;
        }
        if (!operationFailed())
            storeCurYear(year);
    });
    if (!written) {
        state().WeekDates = previousWeekDates;
        state().CurYear = previousYear;
    }
}

} // namespace

void CreateYearAssignments(qint16 year) {
    ErrorTrap trap;
    if (!isPlannableYear(year)) {
        ui().msgBox(yearOutOfRangeMessage(), MsgButtons::Ok, MsgIcon::Information,
                    QStringLiteral("Invalid Year"));
        return;
    }
    // A damaged file met on the way is repaired (what fails after that only fails because
    // it was read from the damaged file, and is not shown), and the year is then set up once
    // more on the repaired file.
    runReadingStep([year] { setUpYear(year); });
}

} // namespace tavrel
