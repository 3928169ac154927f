// A prepared site under scheduling rules: year generation on the site's working days and
// holidays, tasks scheduled by an interval, and schedules that follow completion (early,
// late, the last of the year, undone); on both backends.
#include "assignments/ruleschedule.h"
#include "assignments/yeargen.h"
#include "core/programstate.h"
#include "data/units.h"
#include "support/scriptedui.h"
#include "support/storedrows.h"
#include "support/testenv.h"

#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Task 1 every week; task 2 every 3 weeks from Wednesday 7 January 2026; task 3 every 2
// years from 10 March 2025; task 4 every 4 weeks from 7 January 2026, following completion.
// Holidays: the 3rd Monday of January, Easter Monday, the first and the last Monday of May,
// 25 and 26 December every year, and 28 to 31 December 2026 one by one.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname, locid, typid, empid, curyearonly, ruleunit, ruleevery,
    rulestart, rulefollow) VALUES
    (1, 'Chiller', 1, 2, 3, 0, NULL, NULL, NULL, 0),
    (2, 'Pumps', 1, 1, 1, 0, 1, 3, '2026-01-07', 0),
    (3, 'Roof', 2, 1, 2, 0, 4, 2, '2025-03-10', 0),
    (4, 'Filters', 2, 2, 2, 0, 1, 4, '2026-01-07', -1);
WITH RECURSIVE w(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM w WHERE k < 52)
INSERT INTO taskweeks (taskid, weeid) SELECT 1, k FROM w;
INSERT INTO holidays (holname, holkind, holdate, holmonth, holday, holweekday, holnth,
    holoffset) VALUES
    ('Civil rights day', 2, NULL, 1, 1, 1, 3, 0),
    ('Easter Monday', 4, NULL, 1, 1, 1, 1, 1),
    ('May Day', 2, NULL, 5, 1, 1, 1, 0),
    ('Spring holiday', 3, NULL, 5, 1, 1, 1, 0),
    ('Christmas', 1, NULL, 12, 25, 1, 1, 0),
    ('Boxing Day', 1, NULL, 12, 26, 1, 1, 0),
    ('Closed', 0, '2026-12-28', 1, 1, 1, 1, 0),
    ('Closed', 0, '2026-12-29', 1, 1, 1, 1, 0),
    ('Closed', 0, '2026-12-30', 1, 1, 1, 1, 0),
    ('Closed', 0, '2026-12-31', 1, 1, 1, 1, 0);
)");

// 2026's days off, written out by hand from a printed calendar.
const QList<QDate> DaysOff2026 = {QDate(2026, 1, 19),  QDate(2026, 4, 6),   QDate(2026, 5, 4),
                                  QDate(2026, 5, 25),  QDate(2026, 12, 25), QDate(2026, 12, 26),
                                  QDate(2026, 12, 28), QDate(2026, 12, 29), QDate(2026, 12, 30),
                                  QDate(2026, 12, 31)};

// "weeid duedate" of every assignment of `task`, in due-date order; `open` for those not done.
QStringList assignmentsOf(const TempWorkFolder& folder, int task, bool openOnly = false) {
    return storedRows(folder, {"weeid", "duedate"},
                      QStringLiteral("FROM assign WHERE taskid = %1%2 ORDER BY duedate")
                          .arg(task)
                          .arg(openOnly ? QStringLiteral(" AND completed = 0") : QString()));
}

QList<int> weeksOf(const TempWorkFolder& folder, int task) {
    QList<int> weeks;
    for (const QVariant& week :
         folder.column(QStringLiteral("SELECT weeid FROM taskweeks WHERE taskid = %1 ORDER BY "
                                      "weeid")
                           .arg(task)))
        weeks << week.toInt();
    return weeks;
}

QStringList rowsFor(const QList<int>& weeks, const std::function<QDate(int)>& due) {
    QStringList rows;
    for (int week : weeks)
        rows << QStringLiteral("%1 %2").arg(week).arg(due(week).toString(Qt::ISODate));
    return rows;
}

QVariant assignmentOf(const TempWorkFolder& folder, int task, int week) {
    return folder.scalar(QStringLiteral("SELECT assid FROM assign WHERE taskid = %1 AND weeid = "
                                        "%2 ORDER BY duedate DESC")
                             .arg(task)
                             .arg(week));
}

void complete(const TempWorkFolder& folder, const QVariant& assid, const QDate& on) {
    folder.exec(QStringLiteral("UPDATE assign SET completed = -1, compdate = '%1' WHERE assid = %2")
                    .arg(on.toString(Qt::ISODate))
                    .arg(assid.toLongLong()));
}

} // namespace

class TestRuleSite : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // 2026 and then 2027 generated: each week of the weekly task falls due on its first
    // working day; the interval tasks get the weeks their rules give in each year; 2026's
    // last week, moved into January 2027, does not stand in for 2027's last week; and a
    // second generation of a year adds nothing.
    void generationUnderTheSiteCalendar() {
        ScriptedUi ui;
        TempWorkFolder folder(2025, SiteSql);
        state().CurYear = 2025;
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2026);
        QCOMPARE(state().CurYear, qint16(2026));
        const QDate week1(2026, 1, 5);
        const auto firstWorkingDay = [&](int week) {
            const QDate monday = week1.addDays(7 * (week - 1));
            for (int day = 0; day < 7; ++day) {
                const QDate d = monday.addDays(day);
                if (d.dayOfWeek() <= 5 && !DaysOff2026.contains(d))
                    return d;
            }
            return monday;
        };
        QList<int> everyWeek;
        for (int week = 1; week <= WeeksPerYear; ++week)
            everyWeek << week;
        QCOMPARE(assignmentsOf(folder, 1), rowsFor(everyWeek, firstWorkingDay));
        // The cases the rules are for, named.
        QCOMPARE(firstWorkingDay(3), QDate(2026, 1, 20));
        QCOMPARE(firstWorkingDay(14), QDate(2026, 4, 7));
        QCOMPARE(firstWorkingDay(52), QDate(2027, 1, 1));

        const QList<int> pumps2026 = weeksEvery(21, QDate(2026, 1, 7), 2026);
        QCOMPARE(pumps2026.size(), 18);
        QCOMPARE(weeksOf(folder, 2), pumps2026);
        QCOMPARE(assignmentsOf(folder, 2), rowsFor(pumps2026, firstWorkingDay));
        QCOMPARE(weeksOf(folder, 3), QList<int>{});
        QCOMPARE(assignmentsOf(folder, 3), QStringList{});

        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign WHERE taskid = 1").toInt(), 104);
        QCOMPARE(
            folder.scalar("SELECT count(*) FROM assign WHERE taskid = 1 AND weeid = 52").toInt(),
            2);
        QCOMPARE(folder.scalar("SELECT max(duedate) FROM assign WHERE taskid = 1").toString(),
                 QStringLiteral("2027-12-27"));
        const QList<int> pumps2027 = weeksEvery(21, QDate(2026, 1, 7), 2027);
        QVERIFY(pumps2027 != pumps2026);
        QCOMPARE(weeksOf(folder, 2), pumps2027);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign WHERE taskid = 2").toInt(),
                 int(pumps2026.size() + pumps2027.size()));
        // Every two years from 10 March 2025: 10 March 2027, in the week of Monday 8 March.
        QCOMPARE(assignmentsOf(folder, 3), QStringList{"10 2027-03-08"});

        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(),
                 104 + int(pumps2026.size() + pumps2027.size()) + 1 + 26);
    }

    // Every 4 weeks from 7 January 2026, following completion: completed early, late, the
    // last of the year, and a completion undone.
    void scheduleFollowsCompletion() {
        ScriptedUi ui;
        TempWorkFolder folder(2025, SiteSql + QStringLiteral("DELETE FROM holidays;"));
        state().CurYear = 2025;
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2026);
        const QDate week1(2026, 1, 5);
        const auto monday = [&](int week) { return week1.addDays(7 * (week - 1)); };
        QList<int> planned;
        for (int week = 1; week <= 49; week += 4)
            planned << week;
        QCOMPARE(assignmentsOf(folder, 4), rowsFor(planned, monday));

        // Week 5's done early, on Wednesday 28 January: the later ones move to 4, 8 ...
        // weeks after that day, and the year now has room for one more, in week 52.
        const QVariant fifth = assignmentOf(folder, 4, 5);
        complete(folder, fifth, QDate(2026, 1, 28));
        QVERIFY(followCompletion(fifth, QDate(2026, 1, 28)));
        const QList<int> afterEarly = weeksEvery(28, QDate(2026, 1, 28), 2026, 1);
        QCOMPARE(afterEarly.first(), 8);
        QCOMPARE(afterEarly.last(), 52);
        QCOMPARE(assignmentsOf(folder, 4, true), rowsFor(QList<int>{1} + afterEarly, monday));
        QCOMPARE(weeksOf(folder, 4), QList<int>({1, 5}) + afterEarly);
        // The new one is the task's, like the generated ones.
        QCOMPARE(folder
                     .scalar("SELECT count(*) FROM assign WHERE taskid = 4 AND weeid = 52 AND "
                             "locid = 2 AND typid = 2 AND empid = 2 AND completed = 0")
                     .toInt(),
                 1);

        // Week 8's done late, on Tuesday 10 March (week 11): the rest move on, and the one
        // that no longer fits in the year goes.
        const QVariant eighth = assignmentOf(folder, 4, 8);
        complete(folder, eighth, QDate(2026, 3, 10));
        QVERIFY(followCompletion(eighth, QDate(2026, 3, 10)));
        const QList<int> afterLate = weeksEvery(28, QDate(2026, 3, 10), 2026, 1);
        QCOMPARE(afterLate.first(), 14); // 7 April
        QCOMPARE(assignmentsOf(folder, 4, true), rowsFor(QList<int>{1} + afterLate, monday));

        // The last of the year, done on 16 December: nothing after it to move.
        const QVariant last = assignmentOf(folder, 4, afterLate.last());
        complete(folder, last, QDate(2026, 12, 16));
        QVERIFY(!followCompletion(last, QDate(2026, 12, 16)));
        QCOMPARE(assignmentsOf(folder, 4, true),
                 rowsFor(QList<int>{1} + afterLate.mid(0, afterLate.size() - 1), monday));

        // Week 8's completion undone: what follows it is counted again from the completion
        // before, 28 January.
        folder.exec(QStringLiteral("UPDATE assign SET completed = 0, compdate = NULL WHERE assid "
                                   "= %1")
                        .arg(eighth.toLongLong()));
        QVERIFY(replanAfterUndoneCompletion(eighth));
        QList<int> undone{1, 8};
        for (int week : afterEarly)
            if (week > 8)
                undone << week;
        QCOMPARE(assignmentsOf(folder, 4, true), rowsFor(undone, monday));

        // The year generated again moves and adds nothing: the moved ones are the weeks' own.
        const QStringList before = assignmentsOf(folder, 4);
        ui.answer(MsgResult::Yes);
        state().CurYear = 2025;
        CreateYearAssignments(2026);
        QCOMPARE(assignmentsOf(folder, 4), before);
    }

    // The work list completes many at once: each one whose task follows completion moves its
    // task's later assignments; the others move nothing.
    void manyCompletedAtOnce() {
        ScriptedUi ui;
        TempWorkFolder folder(2025, SiteSql + QStringLiteral("DELETE FROM holidays;"));
        state().CurYear = 2025;
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2026);
        const QStringList weekly = assignmentsOf(folder, 1);
        const QVariant chiller = assignmentOf(folder, 1, 5);
        const QVariant filters = assignmentOf(folder, 4, 5);
        for (const QVariant& id : {chiller, filters})
            complete(folder, id, QDate(2026, 1, 28));
        followCompletions({chiller.toLongLong(), filters.toLongLong()}, QDate(2026, 1, 28));
        QCOMPARE(assignmentsOf(folder, 1), weekly);
        QCOMPARE(weeksOf(folder, 4),
                 QList<int>({1, 5}) + weeksEvery(28, QDate(2026, 1, 28), 2026, 1));
    }
};

QTEST_MAIN(TestRuleSite)
#include "tst_rulesite.moc"
