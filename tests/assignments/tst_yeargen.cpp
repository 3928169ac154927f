#include "assignments/yeargen.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/operationlock.h"
#include "data/schema.h"
#include "data/units.h"
#include "support/datarows.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/storedrows.h"
#include "support/testenv.h"
#include "support/testserver.h"

#include <QAction>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr int FirstCheckedYear = 1901;
constexpr int LastCheckedYear = 2099;

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
    return storedRows(folder,
                      {"taskid", "weeid", "duedate", "locid", "typid", "empid", "manid", "comphour",
                       "compmin", "completed <> 0", "compdate"},
                      QStringLiteral("FROM assign WHERE duedate >= '%1-01-01' AND duedate < "
                                     "'%2-01-01' ORDER BY taskid, weeid")
                          .arg(year)
                          .arg(year + 1));
}

// Two hundred tasks of ten weeks each: their assignments need pages the file does not have.
const QString ManyTasksSql = QStringLiteral(R"(
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)
INSERT INTO tasks (taskname, curyearonly) SELECT 'Task ' || i, 0 FROM n;
WITH RECURSIVE w(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM w WHERE k < 10)
INSERT INTO taskweeks (taskid, weeid) SELECT taskid, k * 5 FROM tasks, w;
)");

// Sets 2026's plan up for 2027 on dbMain with the assignments, as the user answering Yes;
// returns the exit code when the program was ended, -1 otherwise.
int setUpNextYear(ScriptedUi& ui) {
    state().CurYear = 2026;
    ui.answer(MsgResult::Yes);
    const int ended = exitCodeOf([] { CreateYearAssignments(2027); });
    state().dbMain.close();
    return ended;
}

// What a year's set-up writes: the week dates, the assignments (but their keys) and the year.
// A file's whole contents tell more, but a server gives no counter value back that an attempt
// which failed on a lock took, so the keys of a set-up retried there differ.
QString yearContents(const TempWorkFolder& folder) {
    // Every site has an identifier of its own (a random UUID): two folders of the same plan
    // differ in it and in nothing else.
    if (!folder.onServer())
        return OtherProgram(folder.dbPath())
            .contents()
            .replace(QRegularExpression(QStringLiteral(
                         "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")),
                     QStringLiteral("<site>"));
    return (storedRows(folder, {"weeid", "curdate"}, "FROM weeks ORDER BY weeid") +
            storedRows(folder, {"taskid", "weeid", "duedate", "completed <> 0"},
                       "FROM assign ORDER BY taskid, duedate") +
            folder.texts("SELECT CurYear FROM settings"))
        .join(u'\n');
}

// Where in the set-up's statements the other program takes its lock.
enum class At { Begin, Second, Middle, Commit };

} // namespace

class TestYearGeneration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Two planners on one server database: while one sets up a year, the other's set-up of
    // any year is refused at once, before its question, naming who holds it; nothing of the
    // database is touched.
    void yearSetUpOfAnotherPlannerRefuses() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QVERIFY(server.isValid());
        Database planner = Database::open(server.url());
        OperationLock held(planner, QStringLiteral("year set-up"));
        QVERIFY(held.isHeld());
        ScriptedUi ui;
        state().dbMain = Database::open(server.url());
        state().CurYear = 2026;
        CreateYearAssignments(2028);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(QRegularExpression(
                     "^3734  Tavrel cannot set up 2028 now: another planner is setting up a "
                     "year \\(user tavrel, program tavrel, on the server's own machine, "
                     "connected since [-0-9: ]+\\)\\. Try again once that is done\\.$")
                     .match(ui.messages[0].text)
                     .hasMatch(),
                 qPrintable(ui.messages[0].text));
        QCOMPARE(state().CurYear, qint16(2026));
        state().dbMain.close();
    }
    void cleanup() { setConnectionHooks({}); }

    void weekCalendarOfEveryYear() {
        ScriptedUi ui;
        TempWorkFolder folder(2000);
        for (int year = FirstCheckedYear; year <= LastCheckedYear; ++year) {
            CreateYearAssignments(static_cast<qint16>(year));
            const QStringList stored = folder.texts("SELECT curdate FROM weeks ORDER BY weeid");
            QCOMPARE(stored.size(), WeeksPerYear);
            for (int week = 1; week <= WeeksPerYear; ++week) {
                const QString expected = independentMonday(year, week);
                QVERIFY2(stored.at(week - 1) == expected,
                         qPrintable(QStringLiteral("%1 week %2: %3")
                                        .arg(year)
                                        .arg(week)
                                        .arg(stored.at(week - 1))));
                QCOMPARE(state().WeekDates[week].toString(Qt::ISODate), expected);
            }
        }
    }

    void generationCreatesEachScheduledWeekOnce() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, PlanSql);
        state().CurYear = 2026;
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
        QCOMPARE(state().CurYear, qint16(2027));
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
        QCOMPARE(state().WeekDates[1], QDate(2026, 1, 5));
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(assignmentsOf(folder, 2027), expected);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 5);
    }

    // A one-off job of "Air handler" on a Monday its schedule has in 2027 (week 5), with
    // the empty week a one-off is made with or with that week's number (another program
    // may write one): setting the year up, twice, keeps it as it was, makes no copy of it,
    // and still gives the scheduled week its own assignment beside it.
    void generationLeavesOneOffJobsAlone_data() {
        addColumns<QString>("week");
        addRow("no week", "NULL");
        addRow("the week of its Monday", "5");
    }
    void generationLeavesOneOffJobsAlone() {
        QFETCH(QString, week);
        ScriptedUi ui;
        TempWorkFolder folder(
            2026, PlanSql + QStringLiteral("INSERT INTO assign (taskid, weeid, duedate, empid, "
                                           "completed, oneoff) VALUES (1, %1, '2027-02-01', 3, "
                                           "0, 1);")
                                .arg(week));
        const auto oneOff = [&folder] {
            return storedRows(folder, {"assid", "weeid", "duedate", "empid"},
                              "FROM assign WHERE oneoff <> 0 ORDER BY assid");
        };
        const QStringList before = oneOff();
        QCOMPARE(before.size(), 1);
        state().CurYear = 2026;
        for (int run = 0; run < 2; ++run) {
            ui.answer(MsgResult::Yes);
            CreateYearAssignments(2027);
            QCOMPARE(oneOff(), before);
            QCOMPARE(folder
                         .scalar("SELECT count(*) FROM assign WHERE taskid = 1 AND duedate = "
                                 "'2027-02-01' AND oneoff = 0 AND weeid = 5")
                         .toInt(),
                     1);
            QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 6);
        }
    }

    // The current-year-only flag as this program, Jet (True is -1) and an older file without
    // a value leave it: only a set flag keeps a task out of the next year.
    void currentYearOnlyFlag_data() {
        addColumns<QString, int>("flag", "generated");
        addRow("empty, from an older file", "NULL", 2);
        addRow("not set", "0", 2);
        addRow("set", "1", 0);
        addRow("set by Jet", "-1", 0);
    }
    void currentYearOnlyFlag() {
        QFETCH(QString, flag);
        QFETCH(int, generated);
        ScriptedUi ui;
        // The column as the upgrade adds it to an older file: without a value of its own, of
        // the type the upgrade's "bit" is on the backend.
        TempWorkFolder folder(
            2026, QStringLiteral("ALTER TABLE tasks DROP COLUMN curyearonly;"
                                 "ALTER TABLE tasks ADD COLUMN curyearonly %2;"
                                 "INSERT INTO tasks (taskid, taskname, curyearonly) "
                                 "VALUES (1, 'Pump', %1);"
                                 "INSERT INTO taskweeks (taskid, weeid) VALUES (1, 3), (1, 40);")
                      .arg(flag, testsOnServer() ? "yesno" : "bit"));
        state().CurYear = 2026;
        ui.answer(MsgResult::Yes);
        CreateYearAssignments(2027);
        QCOMPARE(assignmentsOf(folder, 2027).size(), generated);
        QCOMPARE(state().CurYear, qint16(2027));
    }

    // Cancel in the progress window, after part of the tasks got their assignments: the
    // week dates, the assignments and the year all stay as they were.
    void cancelledGenerationLeavesTheYear() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, PlanSql);
        ui.answer(MsgResult::No);
        CreateYearAssignments(2026);
        const auto before = state().WeekDates;
        const auto snapshot = [&folder] {
            return storedRows(folder, {"weeid", "curdate"}, "FROM weeks ORDER BY weeid") +
                   storedRows(folder, {"assid", "taskid", "weeid", "duedate"},
                              "FROM assign ORDER BY assid") +
                   folder.texts("SELECT CurYear FROM settings");
        };
        const QStringList stored = snapshot();
        QCOMPARE(stored.last(), "2026");

        ui.answer(MsgResult::Yes);
        ui.cancelProgressAt(1); // after the first task's assignments
        CreateYearAssignments(2027);
        QCOMPARE(ui.progressShown.size(), 1);
        QVERIFY(ui.progressShown[0].cancelOffered);
        QCOMPARE(ui.progressShown[0].values, QList<int>{1});
        QVERIFY(ui.progressShown[0].closed);
        QCOMPARE(snapshot(), stored);
        QCOMPARE(state().CurYear, qint16(2026));
        QVERIFY(state().WeekDates == before);
        QCOMPARE(state().WeekDates[1], QDate(2026, 1, 5));

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
        state().startupSteps.createYearAssignments = CreateYearAssignments;
        ui.answer(MsgResult::Yes);
        ui.answer(MsgResult::Yes);
        {
            StartedProgram program(folder.path());
            QCOMPARE(ui.messages.size(), 2);
            QCOMPARE(ui.messages[0].title, "Reset Year");
            QCOMPARE(ui.messages[1].title, CreateTitle);
            QCOMPARE(program.main->mnuSetYear->text(), "&Set Current Year (Now 2027)");
        }
        QCOMPARE(assignmentsOf(folder, 2027).size(), 3);
    }

    // Another program takes a lock just before one statement of the set-up: at its start
    // (the write lock) or later (a reader's lock, since the program holds the write lock
    // from its first statement on, which holds up its commit). Retried, the set-up is
    // written whole once the lock goes; a lock that stays brings the "Locked Record"
    // question once, and No ends the program with nothing of the year written.
    void lockedYearSetUpIsAllOrNothing_data() {
        QTest::addColumn<int>("atValue");
        QTest::addColumn<int>("failures"); // failed attempts before the lock goes; -1 never
        QTest::addColumn<bool>("answerYes");
        const std::pair<const char*, At> places[] = {{"begin", At::Begin},
                                                     {"second", At::Second},
                                                     {"middle", At::Middle},
                                                     {"commit", At::Commit}};
        for (const auto& [name, at] : places) {
            QTest::addRow("%s, released after 3 retries", name) << int(at) << 3 << false;
            QTest::addRow("%s, released after the question", name) << int(at) << 120 << true;
            QTest::addRow("%s, never released", name) << int(at) << -1 << false;
        }
    }
    void lockedYearSetUpIsAllOrNothing() {
        QFETCH(int, atValue);
        const At at = At(atValue);
        QFETCH(int, failures);
        QFETCH(bool, answerYes);
        if (at == At::Commit && testsOnServer())
            QSKIP("a reader holding up the commit is the file's own lock: on a server nobody "
                  "holds up a commit");
        ScriptedUi ui;
        // The whole set-up without a lock: what it writes and how many statements it runs.
        TempWorkFolder unlocked(2026, PlanSql, false);
        int total = 0;
        {
            state().dbMain = Database::open(unlocked.dbPath());
            LockAtStatement count(unlocked.dbPath(), 0);
            QCOMPARE(setUpNextYear(ui), -1);
            total = count.statements();
            if (!unlocked.onServer()) {
                QVERIFY(count.statementTexts().first().startsWith("BEGIN IMMEDIATE"));
                QCOMPARE(count.statementTexts().last(), "COMMIT");
            }
        }
        const QString written = yearContents(unlocked);
        QCOMPARE(assignmentsOf(unlocked, 2027).size(), 3);

        const int lockAt = at == At::Begin    ? 1
                           : at == At::Second ? 2
                           : at == At::Middle ? total / 2
                                              : total;
        // The attempts that fail are those of the start (a write lock) or of the commit (a
        // reader's lock, which the statements between do not mind). On a server the next
        // write after the lock fails and the attempt starts again from its first statement:
        // there the answer to the question lets go of a lock that stays until it.
        const bool server = testsOnServer();
        const bool releasedByAnswer = server && answerYes;
        const int releaseAfter = failures < 0 || releasedByAnswer
                                     ? -1
                                     : (lockAt == 1 ? 0 : total - lockAt) + failures - 1;
        TempWorkFolder folder(2026, PlanSql, false);
        const QString before = yearContents(folder);
        QVERIFY(before != written);
        ui.clearRecord();
        if (answerYes)
            ui.msgAnswers.append(MsgResult::Yes); // after the Yes to the assignments
        int ended = 0;
        int statements = 0;
        {
            state().dbMain = Database::open(folder.dbPath());
            LockAtStatement lock(folder.dbPath(), lockAt, releaseAfter);
            if (releasedByAnswer)
                ui.onQuestion = [&lock, &ui] {
                    if (ui.lastMessage().title == "Locked Record")
                        lock.release();
                    return MsgResult::Yes;
                };
            ended = setUpNextYear(ui);
            ui.onQuestion = nullptr;
            QVERIFY(lock.tookLock());
            if (!server)
                QCOMPARE(lock.tookWriteLock(), at == At::Begin);
            statements = lock.statements();
        }
        const QString after = yearContents(folder);
        const QStringList titles = ui.messageTitles();
        if (releaseAfter >= 0 || releasedByAnswer) {
            // The same statements as without the lock, and the failed attempts again.
            if (!server)
                QCOMPARE(statements, total + failures);
            QCOMPARE(ended, -1);
            QCOMPARE(after, written);
            QCOMPARE(state().CurYear, qint16(2027));
            QStringList expected{CreateTitle};
            if (answerYes)
                expected << "Locked Record";
            QCOMPARE(titles, expected);
        } else {
            QCOMPARE(ended, 1);
            QCOMPARE(after, before);
            QCOMPARE(titles, (QStringList{CreateTitle, "Locked Record"}));
            QCOMPARE(ui.messages[1].text,
                     "Could not update locked record.  Do you wish to try again?");
            // A file's lock names the file and its holder; a server's row lock neither.
            if (!server) {
                QVERIFY(ui.messages[1].details.contains(folder.dbPath()));
                QVERIFY(ui.messages[1].details.contains("locked by another program"));
            }
        }
    }

    // A file that takes no change (read-only, or a full disk) fails the set-up at its first
    // write: nothing of it is kept, in the file or in memory, and the user gets one message
    // that names the file, the cause and what to do, with the statement only in its details.
    // Without a window the same message stays within the console's line length.
    void failedYearSetUpGivesOneMessage_data() {
        addColumns<bool, QString, QString>("readOnly", "text", "engine");
        addRow("read-only file", true,
               "3027  The database %1 cannot be changed: the file is read-only. Nothing of this "
               "change was saved. Make the file writable for you (or ask whoever looks after "
               "it), then try again.",
               "attempt to write a readonly database");
        addRow("disk full", false,
               "75  The database %1 could not be written: the disk is full. Nothing of this "
               "change was saved. Make room on the disk, then try again.",
               "database or disk is full");
    }
    void failedYearSetUpGivesOneMessage() {
        QFETCH(bool, readOnly);
        QFETCH(QString, text);
        QFETCH(QString, engine);
        if (testsOnServer())
            QSKIP("the file's own faults: its hooks make it read-only or full");
        ScriptedUi ui;
        TempWorkFolder folder(2026, PlanSql + ManyTasksSql, false);
        const QString before = OtherProgram(folder.dbPath()).contents();
        state().CurYear = 2026;
        const auto weekDatesBefore = state().WeekDates;
        ConnectionHooks hooks;
        hooks.path = folder.dbPath();
        hooks.readOnly = readOnly;
        hooks.maxPageCount = readOnly ? 0 : 1; // no page beyond those it has
        setConnectionHooks(hooks);
        state().dbMain = Database::open(folder.dbPath());
        QCOMPARE(setUpNextYear(ui), -1);
        setConnectionHooks({});

        QCOMPARE(OtherProgram(folder.dbPath()).contents(), before);
        QCOMPARE(state().CurYear, qint16(2026));
        QVERIFY(state().WeekDates == weekDatesBefore);
        QCOMPARE(ui.messages.size(), 2);
        QCOMPARE(ui.messages[0].title, CreateTitle);
        const ShownMessage& shown = ui.messages[1];
        QCOMPARE(shown.text, text.arg(QDir::toNativeSeparators(folder.dbPath())));
        QCOMPARE(shown.buttons, MsgButtons::Ok);
        QVERIFY2(shown.details.startsWith(engine), qPrintable(shown.details));
        QVERIFY(shown.details.contains("\nIn: "));

        const QString console = consoleMessage(AppTitle, shown.text, {}, shown.details);
        for (const QString& line : console.split(QLatin1Char('\n')))
            QVERIFY2(line.size() <= ConsoleLineLimit, qPrintable(line));
        QVERIFY(console.contains(QStringLiteral("\n  Details: ") + engine));
        QVERIFY(console.contains("the file is read-only") || console.contains("the disk is full"));
    }

    // Start-up on a read-only file of an older layout in a new year: the upgrade, the index
    // and the year's set-up all fail for the same cause, and the user hears of it once.
    void startUpOnAReadOnlyFileSaysSoOnce() {
        if (testsOnServer())
            QSKIP("the file's own fault: its hooks make it read-only");
        ScriptedUi ui;
        ui.setToday(QDate(2027, 1, 11));
        TempWorkFolder folder(2026,
                              PlanSql +
                                  "UPDATE settings SET CurYear = 2026; DROP INDEX assign_taskid; "
                                  "ALTER TABLE tasks DROP COLUMN curyearonly;",
                              false);
        const QString before = OtherProgram(folder.dbPath()).contents();
        ConnectionHooks hooks;
        hooks.path = folder.dbPath();
        hooks.readOnly = true;
        setConnectionHooks(hooks);
        state().startupSteps.createYearAssignments = CreateYearAssignments;
        ui.answer(MsgResult::Yes);
        ui.answer(MsgResult::Yes);
        StartedProgram(folder.path()).end();
        setConnectionHooks({});
        QCOMPARE(ui.messageTitles(), (QStringList{AppTitle, "Reset Year", CreateTitle}));
        QVERIFY2(
            ui.messages[0].text.startsWith(
                QStringLiteral("3027  The database %1 cannot be changed: the file is read-only.")
                    .arg(QDir::toNativeSeparators(folder.dbPath()))),
            qPrintable(ui.messages[0].text));
        QCOMPARE(OtherProgram(folder.dbPath()).contents(), before);
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
        QVERIFY(state().dbMain.isOpen());
        if (testsOnServer())
            QCOMPARE(folder.scalar("SELECT indexdef FROM pg_indexes WHERE indexname = "
                                   "'assign_taskid'"),
                     "CREATE INDEX assign_taskid ON public.assign USING btree (taskid, weeid, "
                     "duedate)");
        else
            QCOMPARE(folder.scalar("SELECT sql FROM sqlite_master WHERE name = 'assign_taskid'"),
                     "CREATE INDEX assign_taskid ON assign (taskid, weeid, duedate)");
        QCOMPARE(ui.messages.size(), 0);
    }
};

QTEST_MAIN(TestYearGeneration)
#include "tst_yeargen.moc"
