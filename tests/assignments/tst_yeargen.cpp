#include "assignments/yeargen.h"
#include "core/frmmain.h"
#include "core/globals.h"
#include "core/startup.h"
#include "data/schema.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QAction>
#include <QDir>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr int FirstCheckedYear = 1901;
constexpr int LastCheckedYear = 2099;
constexpr int DaysPerWeek = 7;

const QString CreateTitle = QStringLiteral("Create Task Assignments");

// The Monday of week `week` of `year`, worked out without QDate: the weekday of 1 January
// by Gauss's rule, then the day of the year walked through the month lengths.
QString independentMonday(int year, int week) {
    const int y = year - 1;
    const int jan1 = (1 + 5 * (y % 4) + 4 * (y % 100) + 6 * (y % 400)) % 7; // 0 = Sunday
    const int firstMonday = 1 + (8 - jan1) % 7;
    int day = firstMonday + DaysPerWeek * (week - 1);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (day > lengths[month])
        day -= lengths[month++];
    return QStringLiteral("%1-%2-%3")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month + 1, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

// Four tasks of 2026's plan: "Air handler" (location 1, type 2, employee 3) in weeks 5 and
// 30; "Fire doors" with no weeks; "Roof survey" in week 5 for the current year only;
// "Boiler" in week 7 twice over and in week 9, which already has an assignment dated 2028.
const QString PlanSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname, locid, typid, empid, curyearonly) VALUES
    (1, 'Air handler', 1, 2, 3, 0), (2, 'Fire doors', 1, 1, 1, 0),
    (3, 'Roof survey', 2, 1, 2, 1), (4, 'Boiler', 2, 2, 1, 0);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 5), (1, 30), (3, 5), (4, 7), (4, 7), (4, 9);
INSERT INTO assign (taskid, weeid, duedate, completed) VALUES
    (1, 5, '2026-02-02', 1), (4, 9, '2028-02-28', 0);
)");

// What generation wrote for the year: one line per assignment dated in it.
QStringList assignmentsOf(const TempWorkFolder& folder, int year) {
    return folder
        .scalar(QStringLiteral(
                    "SELECT group_concat(line, ';') FROM (SELECT taskid || ' ' || weeid || ' ' || "
                    "duedate || ' ' || coalesce(locid, '-') || ' ' || coalesce(typid, '-') || "
                    "' ' || coalesce(empid, '-') || ' ' || coalesce(manid, '-') || ' ' || "
                    "comphour || ' ' || compmin || ' ' || completed || ' ' || "
                    "coalesce(compdate, '-') AS line FROM assign "
                    "WHERE duedate LIKE '%1-%' ORDER BY taskid, weeid)")
                    .arg(year))
        .toString()
        .split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

} // namespace

class TestYearGeneration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }
    void cleanup() { startupSteps().createYearAssignments = nullptr; }

    void weekCalendarOfEveryYear() {
        ScriptedUi ui;
        TempWorkFolder folder(2000);
        for (int year = FirstCheckedYear; year <= LastCheckedYear; ++year) {
            CreateYearAssignments(static_cast<qint16>(year));
            const QStringList stored = folder
                                           .scalar("SELECT group_concat(curdate, ' ') FROM "
                                                   "(SELECT curdate FROM weeks ORDER BY weeid)")
                                           .toString()
                                           .split(QLatin1Char(' '));
            QCOMPARE(stored.size(), WeeksPerYear);
            for (int week = 1; week <= WeeksPerYear; ++week) {
                const QString expected = independentMonday(year, week);
                QVERIFY2(stored.at(week - 1) == expected,
                         qPrintable(QStringLiteral("%1 week %2: %3")
                                        .arg(year)
                                        .arg(week)
                                        .arg(stored.at(week - 1))));
                QCOMPARE(WeekDates[week].toString(Qt::ISODate), expected);
            }
        }
    }

    void generationCreatesEachScheduledWeekOnce() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, PlanSql);
        CurYear = 2026;
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].buttons, MsgButtons::YesNo);
        // 2027 begins on a Friday: week 1 starts on 4 January. No employee is set; the
        // skipped tasks and the week that has a later assignment get nothing.
        const QStringList expected{"1 5 2027-02-01 1 2 - - 0 0 0 -",
                                   "1 30 2027-07-26 1 2 - - 0 0 0 -",
                                   "4 7 2027-02-15 2 2 - - 0 0 0 -"};
        QCOMPARE(assignmentsOf(folder, 2027), expected);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 5);
        QCOMPARE(CurYear, qint16(2027));
        QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2027);

        // Again for the same year, and after another year and back: nothing doubles.
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 5);
        // No keeps the new week dates and year, and creates nothing.
        ui.answer(MsgResult::No);
        CreateYearAssignments(2026);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 5);
        QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2026);
        QCOMPARE(WeekDates[1], QDate(2026, 1, 5));
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(assignmentsOf(folder, 2027), expected);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 5);
    }

    // Cancel in the progress window, after part of the tasks got their assignments: the
    // week dates, the assignments and the year all stay as they were.
    void cancelledGenerationLeavesTheYear() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, PlanSql);
        ui.answer(MsgResult::No);
        CreateYearAssignments(2026);
        const auto before = WeekDates;
        const QString snapshot = QStringLiteral(
            "SELECT (SELECT group_concat(weeid || ' ' || curdate, ';') FROM "
            "(SELECT * FROM weeks ORDER BY weeid)) || '|' || (SELECT group_concat(assid || "
            "' ' || taskid || ' ' || weeid || ' ' || duedate, ';') FROM (SELECT * FROM assign "
            "ORDER BY assid)) || '|' || (SELECT CurYear FROM settings)");
        const QString stored = folder.scalar(snapshot).toString();
        QVERIFY(stored.endsWith(QStringLiteral("|2026")));

        ui.answer(MsgResult::Yes);
        ui.cancelProgressAt(1); // after the first task's assignments
        CreateYearAssignments(2027);
        QCOMPARE(ui.progressShown.size(), 1);
        QVERIFY(ui.progressShown[0].cancelOffered);
        QCOMPARE(ui.progressShown[0].values, QList<int>{1});
        QVERIFY(ui.progressShown[0].closed);
        QCOMPARE(folder.scalar(snapshot).toString(), stored);
        QCOMPARE(CurYear, qint16(2026));
        QVERIFY(WeekDates == before);
        QCOMPARE(WeekDates[1], QDate(2026, 1, 5));

        // Not cancelled, the same generation runs to its end.
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(assignmentsOf(folder, 2027).size(), 3);
        QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2027);
    }

    // With the generation installed, start-up in a new year asks both questions, and the
    // menu shows the year set up.
    void startUpInANewYearSetsUpTheYear() {
        ScriptedUi ui;
        ui.setToday(QDate(2027, 1, 11));
        TempWorkFolder folder(2026, PlanSql + "UPDATE settings SET CurYear = 2026;", false);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.path());
        startupSteps().createYearAssignments = CreateYearAssignments;
        ui.answer(MsgResult::Yes);
        ui.answer(MsgResult::Yes);
        {
            frmMain w;
            w.Form_Load();
            QCOMPARE(ui.messages.size(), 2);
            QCOMPARE(ui.messages[0].title, QStringLiteral("Reset Year"));
            QCOMPARE(ui.messages[1].title, CreateTitle);
            QCOMPARE(w.mnuSetYear->text(), QStringLiteral("&Set Current Year (Now 2027)"));
            w.Form_Unload();
        }
        QDir::setCurrent(previous);
        QCOMPARE(assignmentsOf(folder, 2027).size(), 3);
    }

    // Older files looked assignments up by task and week only; the upgrade adds the date.
    void upgradeIndexesAssignmentsByDate() {
        ScriptedUi ui;
        TempWorkFolder folder(2026,
                              QStringLiteral("DROP INDEX assign_taskid; "
                                             "CREATE INDEX assign_taskid ON assign "
                                             "(taskid, weeid);"),
                              false);
        openMainDatabase(folder.path());
        QVERIFY(dbMain.isOpen());
        QCOMPARE(
            folder.scalar("SELECT sql FROM sqlite_master WHERE name = 'assign_taskid'").toString(),
            QStringLiteral("CREATE INDEX assign_taskid ON assign (taskid, weeid, duedate)"));
        QCOMPARE(ui.messages.size(), 0);
    }
};

QTEST_MAIN(TestYearGeneration)
#include "tst_yeargen.moc"
