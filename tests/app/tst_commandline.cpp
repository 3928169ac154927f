// The built tavrel program run as a scheduled job or a user at a terminal runs it: without
// a display, in folders with no database, a locked one or a file that is no database. What
// counts is the exit status, what it says on standard error, and that it always ends.

#include "data/demodata.h"
#include "support/otherprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sqlite3.h>

using tavrel::test::OtherProgram;

namespace {

// Far beyond any normal run (a second or two, the lock retries included): only a program
// that waits for an answer nobody can give reaches it.
constexpr int RunBoundMs = 60000;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTavrel(const QString& folder, const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(folder);
    // As under cron or over ssh: no display and no platform chosen for the program.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVREL_BINARY), args);
    Run run;
    run.finished = process.waitForStarted() && process.waitForFinished(RunBoundMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// One number read from a database file through a connection of the test's own.
qint64 scalar(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    qint64 value = -1;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wrongCommandLineShowsUsage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("unknown switch")
            << QStringList{"--frobnicate"} << "unknown option --frobnicate";
        QTest::newRow("unknown short switch") << QStringList{"-x"} << "unknown option -x";
        QTest::newRow("stray argument") << QStringList{"tasks"} << "unexpected argument tasks";
        QTest::newRow("unknown with -m")
            << QStringList{"-m", "--bogus"} << "unknown option --bogus";
        QTest::newRow("unknown with --init")
            << QStringList{"--init", "--bogus"} << "unknown option --bogus";
        QTest::newRow("--demo alone") << QStringList{"--demo"} << "--demo goes with --init";
        QTest::newRow("two commands")
            << QStringList{"--init", "-m"} << "-m, --init and --set-year cannot be given together";
        QTest::newRow("year not a number")
            << QStringList{"--set-year", "2O27"} << "the year 2O27 is not a year from 100 to 9999";
        QTest::newRow("year too small")
            << QStringList{"--set-year", "99"} << "the year 99 is not a year from 100 to 9999";
        QTest::newRow("year too large") << QStringList{"--set-year", "10000"}
                                        << "the year 10000 is not a year from 100 to 9999";
        QTest::newRow("year missing") << QStringList{"--set-year"} << "--set-year needs a year";
        QTest::newRow("--no-assignments alone")
            << QStringList{"--no-assignments"} << "--no-assignments goes with --set-year";
        QTest::newRow("set-year with init") << QStringList{"--set-year", "2027", "--init"}
                                            << "-m, --init and --set-year cannot be given together";
        QTest::newRow("Qt option without its value")
            << QStringList{"-platform"} << "the option -platform needs a value";
        QTest::newRow("no such report")
            << QStringList{"--report", "costs", "-o", "a.txt"}
            << "there is no report costs; the reports are completed, expenses, master, overdue, "
               "assignments";
        QTest::newRow("report date not ISO")
            << QStringList{"--report", "master", "--from", "3/1/2005"}
            << "3/1/2005 is not a date YYYY-MM-DD";
        QTest::newRow("report date not a day")
            << QStringList{"--report", "master", "--to", "2005-02-29"}
            << "2005-02-29 is not a date YYYY-MM-DD";
        QTest::newRow("report without its dates")
            << QStringList{"--report", "master", "--from", "2005-03-01", "-o", "a.txt"}
            << "the report master needs --from and --to";
        QTest::newRow("report of another kind of file")
            << QStringList{"--report", "overdue", "-o", "a.htm"}
            << "the file a.htm is neither .txt nor .pdf";
        QTest::newRow("-o alone") << QStringList{"-o", "a.txt"}
                                  << "--from, --to and -o go with --report";
    }
    void wrongCommandLineShowsUsage() {
        QFETCH(QStringList, args);
        QFETCH(QString, complaint);
        QTemporaryDir dir;
        const Run run = runTavrel(dir.path(), args);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith("tavrel: " + complaint + "\n"), qPrintable(run.err));
        QVERIFY(run.err.contains("Usage: tavrel"));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{});
    }

    void helpListsEveryCommand() {
        QTemporaryDir dir;
        const Run run = runTavrel(dir.path(), {"--help"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        for (const char* command :
             {"\n  -m ", "\n  --init ", "\n  --init --demo ", "\n  --set-year ",
              "\n  --no-assignments ", "\n  --report ", "\n  --help"})
            QVERIFY2(run.out.contains(QLatin1String(command)), command);
    }

    void initWritesTheFilesOnce() {
        QTemporaryDir dir;
        const Run first = runTavrel(dir.path(), {"--init"});
        QVERIFY(first.finished);
        QCOMPARE(first.exitCode, 0);
        QVERIFY(QFile::exists(dir.filePath("tavrel.mdb")));
        QVERIFY(QFile::exists(dir.filePath("rptspec.mdb")));
        const Run again = runTavrel(dir.path(), {"--init", "--demo"});
        QVERIFY(again.finished);
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.err.contains("already exists; nothing was written."), qPrintable(again.err));
    }

    // A scheduled -m never waits: every message goes to standard error, a question takes
    // its default, and the status tells the job what happened.
    void monthlyRunEndsWithItsError_data() {
        QTest::addColumn<QString>("folderKind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("no database")
            << "empty" << 1
            << QStringList{"Tavrel: 3024  Could not find file '",
                           "Tavrel: 91  The database tavrel.mdb is not open: there is no such "
                           "file in "};
        QTest::newRow("locked by another program")
            << "locked" << 1
            << QStringList{"Locked Record: Could not update locked record.  Do you wish to try "
                           "again? [No: running without a window]\n"};
        // Repaired on the spot, the run goes on to the print on the rebuilt file.
        QTest::newRow("not a database")
            << "garbage" << 3
            << QStringList{"Tavrel: The database tavrel.mdb was damaged and has been repaired",
                           "tavrel-damaged-1.mdb.\n",
                           "Tavrel: Printing work orders (-m) is not part of this version yet.\n"};
        QTest::newRow("sound database, print not in this version")
            << "sound" << 3
            << QStringList{"Tavrel: Printing work orders (-m) is not part of this version yet.\n"};
    }
    void monthlyRunEndsWithItsError() {
        QFETCH(QString, folderKind);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        QString error;
        if (folderKind == "locked" || folderKind == "sound")
            QVERIFY2(tavrel::initWorkFolder(dir.path(), false, QDate(2005, 7, 4), &error),
                     qPrintable(error));
        if (folderKind == "garbage") {
            QFile file(db);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        }
        std::unique_ptr<OtherProgram> lock;
        if (folderKind == "locked") {
            lock = std::make_unique<OtherProgram>(db);
            lock->holdWholeFile();
        }

        const Run run = runTavrel(dir.path(), {"-m"});
        QVERIFY2(run.finished, "tavrel -m did not end");
        QCOMPARE(run.exitCode, exitCode);
        for (const QString& text : said)
            QVERIFY2(run.err.contains(text), qPrintable(run.err));
        // Each thing is said once, not once per step of start-up.
        QVERIFY2(run.err.count(QStringLiteral("Tavrel: 91  ")) <= 1, qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        if (folderKind == "empty")
            QVERIFY(!QFile::exists(db));
        if (folderKind == "garbage")
            QVERIFY(QFile::exists(dir.filePath("tavrel-damaged-1.mdb")));
        if (folderKind == "sound")
            QCOMPARE(run.err.count(QStringLiteral("Tavrel: ")), 1); // no error on the way
    }

    // A yearly job: the week dates and the assignments of the new year, once; with
    // --no-assignments the dates and the year only.
    void setYearWithoutAWindow() {
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        QString error;
        QVERIFY2(tavrel::initWorkFolder(dir.path(), true, QDate(2005, 7, 4), &error),
                 qPrintable(error));
        const qint64 scheduled =
            scalar(db, "SELECT count(*) FROM (SELECT DISTINCT taskweeks.taskid, weeid FROM "
                       "taskweeks JOIN tasks ON tasks.taskid = taskweeks.taskid "
                       "WHERE NOT curyearonly)");
        QVERIFY(scheduled > 0);

        const Run run = runTavrel(dir.path(), {"--set-year", "2006"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(QStringLiteral(
                     "Create Task Assignments: Do you wish to create new task assigment "
                     "records for 2006? [Yes: --set-year]\n")),
                 qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("Tavrel: ")), qPrintable(run.err));
        QCOMPARE(
            run.out,
            QStringLiteral("Tavrel is set up for 2006: %1 new task assignments.\n").arg(scheduled));
        QCOMPARE(scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2006-%'"), scheduled);
        QCOMPARE(scalar(db, "SELECT CurYear FROM settings"), 2006);

        const Run again = runTavrel(dir.path(), {"--set-year", "2006"});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out, QStringLiteral("Tavrel is set up for 2006: 0 new task assignments.\n"));
        QCOMPARE(scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2006-%'"), scheduled);

        const Run datesOnly = runTavrel(dir.path(), {"--no-assignments", "--set-year", "2007"});
        QCOMPARE(datesOnly.exitCode, 0);
        QVERIFY2(datesOnly.err.contains("[No: --no-assignments]"), qPrintable(datesOnly.err));
        QCOMPARE(scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2007-%'"), 0);
        QCOMPARE(scalar(db, "SELECT CurYear FROM settings"), 2007);
        QCOMPARE(scalar(db, "SELECT curdate = '2007-01-01' FROM weeks WHERE weeid = 1"), 1);
    }

    // A report without a window: the text file's lines, or the document as a PDF; a report
    // that finds nothing says so and leaves an empty file; no database is an error.
    void reportWithoutAWindow() {
        QTemporaryDir dir;
        QString error;
        QVERIFY2(tavrel::initWorkFolder(dir.path(), false, QDate(2005, 7, 4), &error),
                 qPrintable(error));
        const QString db = dir.filePath("tavrel.mdb");
        sqlite3* conn = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &conn), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(conn,
                         "INSERT INTO employees VALUES (1, 'Ann', 'Adams');"
                         "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler check');"
                         "INSERT INTO assign (taskid, duedate, completed, compdate, comphour,"
                         " compmin, empid) VALUES (1, '2005-03-07', 1, '2005-03-08', 1, 50, 1),"
                         " (1, '2005-03-14', 1, '2005-03-15', 0, 40, 1);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(conn);
        const QStringList march{"--report", "completed",  "--from", "2005-03-01",
                                "--to",     "2005-03-31", "-o"};

        const Run text = runTavrel(dir.path(), march + QStringList{"march.txt"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(!text.err.contains("Tavrel"), qPrintable(text.err));
        QFile lines(dir.filePath("march.txt"));
        QVERIFY(lines.open(QIODevice::ReadOnly));
        QCOMPARE(lines.readAll(), QByteArray("3/8/2005\tBoiler check\t1\t50\tAnn Adams\t\r\n"
                                             "3/15/2005\tBoiler check\t0\t40\tAnn Adams\t\r\n"
                                             "\tSubtotal:\t2\t30\t\t\r\n"
                                             "\tTotals:\t2\t30\t\t\r\n"));

        const Run pdf = runTavrel(dir.path(), march + QStringList{"march.pdf"});
        QCOMPARE(pdf.exitCode, 0);
        QProcess pdftotext;
        pdftotext.start("pdftotext", {dir.filePath("march.pdf"), "-"});
        QVERIFY(pdftotext.waitForFinished(RunBoundMs));
        QVERIFY(pdftotext.readAllStandardOutput().contains(
            "Completed Work by Employee for 3/1/2005 to 3/31/2005"));

        const Run none = runTavrel(dir.path(), {"--report", "completed", "--from", "2005-04-01",
                                                "--to", "2005-03-01", "-o", "march.txt"});
        QCOMPARE(none.exitCode, 0);
        QVERIFY2(none.err.contains("No Records Found: There are no completed assignments within "
                                   "the specified date range.\n"),
                 qPrintable(none.err));
        QCOMPARE(QFileInfo(dir.filePath("march.txt")).size(), 0);

        QTemporaryDir empty;
        const Run missing = runTavrel(empty.path(), {"--report", "overdue", "-o", "x.txt"});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains("tavrel.mdb"), qPrintable(missing.err));
        QVERIFY(!QFile::exists(empty.filePath("x.txt")));
    }

    void setYearWithoutADatabaseFails() {
        QTemporaryDir dir;
        const Run run = runTavrel(dir.path(), {"--set-year", "2027"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("tavrel.mdb"), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("tavrel.mdb")));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
