// The built tavrel program run as a scheduled job or a user at a terminal runs it: without
// a display, in folders with no database, a locked one or a file that is no database. What
// counts is the exit status, what it says on standard error, and that it always ends.

#include "data/demodata.h"
#include "support/otherprogram.h"

#include <QDir>
#include <QFile>
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
            << QStringList{"--init", "-m"}
            << "-m, --init, --set-year and --custom cannot be given together";
        QTest::newRow("year not a number")
            << QStringList{"--set-year", "2O27"} << "the year 2O27 is not a year from 100 to 9999";
        QTest::newRow("year too small")
            << QStringList{"--set-year", "99"} << "the year 99 is not a year from 100 to 9999";
        QTest::newRow("year too large") << QStringList{"--set-year", "10000"}
                                        << "the year 10000 is not a year from 100 to 9999";
        QTest::newRow("year missing") << QStringList{"--set-year"} << "--set-year needs a year";
        QTest::newRow("--no-assignments alone")
            << QStringList{"--no-assignments"} << "--no-assignments goes with --set-year";
        QTest::newRow("set-year with init")
            << QStringList{"--set-year", "2027", "--init"}
            << "-m, --init, --set-year and --custom cannot be given together";
        QTest::newRow("custom without -o")
            << QStringList{"--custom", "r.rpt"} << "--custom needs -o FILE (.txt, .htm or .pdf)";
        QTest::newRow("custom to a .doc")
            << QStringList{"--custom", "r.rpt", "-o", "r.doc"}
            << "the output file r.doc does not end in .txt, .htm or .pdf";
        QTest::newRow("Qt option without its value")
            << QStringList{"-platform"} << "the option -platform needs a value";
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
              "\n  --no-assignments ", "\n  --custom ", "\n  --help"})
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
    // A saved report run by a job: each output by its extension, a broken report file
    // refused with its reason.
    void customReportWithoutAWindow() {
        QTemporaryDir dir;
        QVERIFY(runTavrel(dir.path(), {"--init", "--demo"}).exitCode == 0);
        // Task Name and Hours Required (totalled) of every task, by name.
        QStringList lines = {"tasks", "Hours", "1", "0", "1", "0", "0", " 13 ", "-1 ", "2", "2;7"};
        const QString zeros = QString("0;").repeated(19) + "0";
        lines << zeros << zeros << QString(";").repeated(19) << zeros << zeros
              << QString(";").repeated(19) << QString(";").repeated(19)
              << QString("1;").repeated(19) + "1" << zeros
              << "0;0;0;0;0;0;1" + QString(";0").repeated(13) << zeros;
        QFile rpt(dir.filePath("hours.rpt"));
        QVERIFY(rpt.open(QIODevice::WriteOnly));
        rpt.write((lines.join("\r\n") + "\r\n").toUtf8());
        rpt.close();
        const qint64 tasks = scalar(dir.filePath("tavrel.mdb"), "select count(*) from tasks");

        const Run text = runTavrel(dir.path(), {"--custom", "hours.rpt", "-o", "hours.txt"});
        QVERIFY(text.finished);
        QCOMPARE(text.exitCode, 0);
        QFile txt(dir.filePath("hours.txt"));
        QVERIFY(txt.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = txt.readAll().split('\n');
        QCOMPARE(rows.size(), tasks + 2); // the rows, the totals, the end of the last line
        QVERIFY2(rows[tasks].startsWith("\t"), rows[tasks].constData());

        const Run html = runTavrel(dir.path(), {"--custom", "hours.rpt", "-o", "hours.htm"});
        QCOMPARE(html.exitCode, 0);
        QFile htm(dir.filePath("hours.htm"));
        QVERIFY(htm.open(QIODevice::ReadOnly));
        QVERIFY(htm.readAll().contains("<tr><th colspan = 2>Hours</th></tr>"));

        lines[2] = "9";
        QVERIFY(rpt.open(QIODevice::WriteOnly));
        rpt.write(lines.join("\r\n").toUtf8());
        rpt.close();
        const Run broken = runTavrel(dir.path(), {"--custom", "hours.rpt", "-o", "b.txt"});
        QVERIFY(broken.finished);
        QCOMPARE(broken.exitCode, 1);
        QVERIFY2(broken.err.contains("hours.rpt: This does not appear to be a valid report file"),
                 qPrintable(broken.err));

        lines[2] = "1";
        QVERIFY(rpt.open(QIODevice::WriteOnly));
        rpt.write(lines.join("\r\n").toUtf8());
        rpt.close();
        const Run pdf = runTavrel(dir.path(), {"--custom", "hours.rpt", "-o", "hours.pdf"});
        QCOMPARE(pdf.exitCode, 0);
        QFile pdfFile(dir.filePath("hours.pdf"));
        QVERIFY(pdfFile.open(QIODevice::ReadOnly));
        QVERIFY(pdfFile.read(4) == "%PDF");
    }

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
