// The built tavrel program run as a scheduled job or a user at a terminal runs it: without
// a display, in folders with no database, a locked one or a file that is no database. What
// counts is the exit status, what it says on standard error, and that it always ends.

#include "data/demodata.h"
#include "reports/printing.h"
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

// Runs the program in `folder`; with `clock` ("2005-12-15 10:00:00") under faketime, so
// that "this month" is a month of our choosing.
// As under cron or over ssh: no display and no platform chosen for the program.
QProcessEnvironment jobEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // faketime comes in by LD_PRELOAD, ahead of a sanitizer build's runtime.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    return env;
}

Run runTavrel(const QString& folder, const QStringList& args, const QString& clock = {}) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(jobEnvironment());
    if (clock.isEmpty())
        process.start(QStringLiteral(TAVREL_BINARY), args);
    else
        process.start(QStringLiteral("faketime"),
                      QStringList{QStringLiteral("-f"), QLatin1Char('@') + clock,
                                  QStringLiteral(TAVREL_BINARY)} +
                          args);
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

bool execSql(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// A new work folder of July 2005, with the demo site or empty.
bool makeSite(const QString& folder, bool demo) {
    QString error;
    const bool made = tavrel::initWorkFolder(folder, demo, QDate(2005, 7, 4), &error);
    if (!made)
        qWarning("%s", qPrintable(error));
    return made;
}

// The pages of a PDF as pdftotext reads them, in layout mode.
QStringList pdfPages(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(RunBoundMs) || process.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Three work orders due in December 2005 and one in each month around it: a task with all
// a sheet can show and a long name, one completed, one with hardly anything.
const char* const DecemberSite =
    "INSERT INTO employees VALUES (1, 'Ann', 'Lee');"
    "INSERT INTO managers VALUES (1, 'Max', 'Ray');"
    "INSERT INTO locations VALUES (1, 'Boiler Room');"
    "INSERT INTO types VALUES (1, 'HVAC');"
    "INSERT INTO tasks (taskid, taskname, taskdesc, tools, manuf, model, serialno, Tag, "
    "reqhour, reqmin) VALUES (1, 'Zone heating pump, north wing, inspect and lubricate all "
    "bearings', 'Check the seals', 'Grease gun', 'Acme', 'X-1', 'S-77', 'T-12', 1, 30),"
    "(2, 'air filters', 'Replace the filters', NULL, NULL, NULL, NULL, NULL, 0, 0);"
    "INSERT INTO taskweeks VALUES (1, 10), (1, 36), (2, 49);"
    "INSERT INTO assign (taskid, duedate, locid, typid, empid, manid, completed, compdate, "
    "comphour, compmin) VALUES (1, '2005-12-05', 1, 1, 1, NULL, 0, NULL, 0, 0),"
    "(2, '2005-12-05', NULL, NULL, 1, 1, 1, '2005-12-06', 1, 5),"
    "(2, '2005-12-26', NULL, NULL, NULL, NULL, 0, NULL, 0, 0),"
    "(2, '2005-11-28', NULL, NULL, NULL, NULL, 0, NULL, 0, 0),"
    "(2, '2006-01-02', NULL, NULL, NULL, NULL, 0, NULL, 0, 0);";
const char* const MidDecember = "2005-12-15 10:00:00";

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wrongCommandLineShowsUsage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("unknown switch")
            << QStringList{"--frobnicate"} << "unknown option --frobnicate";
        QTest::newRow("folder with a command")
            << QStringList{"--init", "site"}
            << "unexpected argument site: a FOLDER goes only with the window; the commands "
               "work in the current folder";
        QTest::newRow("two commands")
            << QStringList{"--set-year", "2027", "--init"}
            << "-m, --init, --set-year, --report, --custom and --import cannot be given together";
        QTest::newRow("year too small")
            << QStringList{"--set-year", "99"} << "the year 99 is not a year from 100 to 9999";
        QTest::newRow("report date not a day")
            << QStringList{"--report", "master", "--to", "2005-02-29"}
            << "2005-02-29 is not a date YYYY-MM-DD";
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

    void helpGoesToStandardOutput() {
        QTemporaryDir dir;
        const Run run = runTavrel(dir.path(), {"--help"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QVERIFY(run.out.startsWith("Usage: tavrel [FOLDER]\n"));
        // Whoever schedules a command learns that a repair ends it with 1.
        QVERIFY2(run.out.contains("damaged repairs it, does its work on the repaired\nfile and "
                                  "still ends with 1"),
                 qPrintable(run.out));
    }

    void missingFolderIsRefused() {
        QTemporaryDir dir;
        const Run run = runTavrel(dir.path(), {"no-such-site"});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("tavrel: there is no folder no-such-site\n"));
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
        QTest::addColumn<QString>("out");
        QTest::newRow("no database")
            << "empty" << 1
            << QStringList{"Tavrel: 3024  Could not find file '",
                           "Tavrel: 91  The database tavrel.mdb is not open: there is no such "
                           "file in "}
            << "";
        QTest::newRow("locked by another program")
            << "locked" << 1
            << QStringList{"Locked Record: Could not update locked record.  Do you wish to try "
                           "again? [No: running without a window]\n"}
            << "";
        // Repaired on the spot, the run goes on to the print on the rebuilt file, and its
        // status says that there was something to repair.
        QTest::newRow("damaged database")
            << "damaged" << 1
            << QStringList{"Tavrel: The database tavrel.mdb was damaged and has been repaired",
                           "tavrel-damaged-1.mdb.\n"}
            << "No work orders are due in ";
        // A file that is no database is not "repaired" into an empty one: it stays as it is.
        QTest::newRow("not a database")
            << "garbage" << 1 << QStringList{"Tavrel: 3049  The file ", "is not a database"} << "";
        QTest::newRow("sound database, nothing due")
            << "sound" << 0 << QStringList{} << "No work orders are due in ";
    }
    void monthlyRunEndsWithItsError() {
        QFETCH(QString, folderKind);
        QFETCH(int, exitCode);
        QFETCH(QStringList, said);
        QFETCH(QString, out);
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        if (folderKind == "locked" || folderKind == "sound" || folderKind == "damaged")
            QVERIFY(makeSite(dir.path(), false));
        if (folderKind == "damaged") {
            QFile file(db);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write("Garbage, really!"); // the header's magic text
        }
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
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), qPrintable(run.out));
        if (folderKind == "empty")
            QVERIFY(!QFile::exists(db));
        if (folderKind == "damaged")
            QVERIFY(QFile::exists(dir.filePath("tavrel-damaged-1.mdb")));
        if (folderKind == "garbage") {
            QFile file(db);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray(8192, 'x'));
            QVERIFY(!QFile::exists(dir.filePath("tavrel-damaged-1.mdb")));
        }
        if (folderKind == "sound")
            QVERIFY2(!run.err.contains(QStringLiteral("Tavrel: ")), qPrintable(run.err));
        QCOMPARE(QDir(dir.path()).entryList({"*.pdf"}), QStringList{}); // nothing printed
    }

    // -m -o: the month's work orders in the PDF, one page each, in due-date then task-name
    // order; other months are left out; an unwritable destination fails.
    void monthlyPrintToPdf() {
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        QVERIFY(makeSite(dir.path(), false));
        QVERIFY(execSql(db, QString::fromLatin1(DecemberSite)));

        const Run run = runTavrel(dir.path(), {"-m", "-o", "out.pdf"}, MidDecember);
        QVERIFY2(run.finished, "tavrel -m -o did not end");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Wrote 3 work orders due in December 2005 to %1.\n")
                              .arg(QDir::toNativeSeparators(
                                  QFileInfo(dir.filePath("out.pdf")).absoluteFilePath())));
        const QStringList pages = pdfPages(dir.filePath("out.pdf"));
        QCOMPARE(pages.size(), 3);
        // The sheets' lines are tst_workorders' matter; here the order, the month and the
        // name cut to 50 characters.
        const QStringList expected[] = {
            {"Work Order: air filters", "Task #: 2", "Due Date: 12/5/2005"},
            {"Work Order: Zone heating pump, north wing, inspect and lubrica", "Task #: 1"},
            {"Work Order: air filters", "Due Date: 12/26/2005"}};
        for (int page = 0; page < 3; ++page)
            for (const QString& text : expected[page])
                QVERIFY2(pages[page].contains(text),
                         qPrintable(QStringLiteral("page %1 lacks '%2':\n%3")
                                        .arg(page + 1)
                                        .arg(text, pages[page])));
        QVERIFY(!pages[1].contains("lubricate"));

        // An unwritable destination: said, and a failure status; nothing else written.
        const Run bad = runTavrel(dir.path(), {"-m", "-o", "no/such/folder/out.pdf"}, MidDecember);
        QVERIFY(bad.finished);
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.err.contains("Tavrel: 75  The file '"), qPrintable(bad.err));
        QVERIFY2(bad.err.contains("out.pdf' could not be written"), qPrintable(bad.err));
    }

    // Without a printer -m still delivers: a new PDF in the working folder, never over an
    // earlier one, and its name on standard output.
    void monthlyPrintWithoutAPrinter() {
        if (tavrel::hasRealPrinter())
            QSKIP("this machine has a printer: -m would print on it");
        QTemporaryDir dir;
        QVERIFY(makeSite(dir.path(), false));
        QVERIFY(execSql(dir.filePath("tavrel.mdb"), QString::fromLatin1(DecemberSite)));
        for (const char* name : {"workorders-2005-12.pdf", "workorders-2005-12-2.pdf"}) {
            const Run run = runTavrel(dir.path(), {"-m"}, MidDecember);
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            const QString pdf = dir.filePath(QString::fromLatin1(name));
            QCOMPARE(run.out, QStringLiteral("Wrote 3 work orders due in December 2005 to %1 (no "
                                             "printer is configured).\n")
                                  .arg(QDir::toNativeSeparators(pdf)));
            QCOMPARE(pdfPages(pdf).size(), 3);
        }
    }

    // A saved report run by a job writes its text file.
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

        // A damaged catalogue is repaired as the catalogue, named in its own message; the
        // report is written from it and tavrel.mdb is not touched. The run ends with 1.
        QFile catalogue(dir.filePath("rptspec.mdb"));
        QVERIFY(catalogue.open(QIODevice::ReadWrite));
        catalogue.write("Garbage, really!");
        catalogue.close();
        QFile main(dir.filePath("tavrel.mdb"));
        QVERIFY(main.open(QIODevice::ReadOnly));
        const QByteArray mainBefore = main.readAll();
        main.close();
        QFile::remove(dir.filePath("hours.txt"));
        const Run repaired = runTavrel(dir.path(), {"--custom", "hours.rpt", "-o", "hours.txt"});
        QVERIFY(repaired.finished);
        QCOMPARE(repaired.exitCode, 1);
        QVERIFY2(repaired.err.contains("The field catalogue rptspec.mdb was damaged and has been "
                                       "repaired") &&
                     repaired.err.contains("rptspec-damaged-1.mdb") &&
                     !repaired.err.contains("tavrel.mdb"),
                 qPrintable(repaired.err));
        QVERIFY(QFile::exists(dir.filePath("rptspec-damaged-1.mdb")));
        QVERIFY(!QFile::exists(dir.filePath("tavrel-damaged-1.mdb")));
        QVERIFY(main.open(QIODevice::ReadOnly));
        QCOMPARE(main.readAll(), mainBefore);
        QFile again(dir.filePath("hours.txt"));
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll().split('\n').size(), tasks + 2);
    }

    void setYearWithoutAWindow() {
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        QVERIFY(makeSite(dir.path(), true));
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

        const Run datesOnly = runTavrel(dir.path(), {"--no-assignments", "--set-year", "2007"});
        QCOMPARE(datesOnly.exitCode, 0);
        QVERIFY2(datesOnly.err.contains("[No: --no-assignments]"), qPrintable(datesOnly.err));
        QCOMPARE(scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2007-%'"), 0);
        QCOMPARE(scalar(db, "SELECT CurYear FROM settings"), 2007);
        QCOMPARE(scalar(db, "SELECT curdate = '2007-01-01' FROM weeks WHERE weeid = 1"), 1);
    }

    // Another program writing for 0.2 s while the year is set up: the program waits for it
    // (its retries), and the year's assignments are all there. The lock is held from before
    // the program starts until 0.2 s after it asked about the assignments, so that its
    // set-up meets the lock whatever its start takes.
    void setYearWaitsForAShortLock() {
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        QVERIFY(makeSite(dir.path(), true));
        const qint64 scheduled =
            scalar(db, "SELECT count(*) FROM (SELECT DISTINCT taskweeks.taskid, weeid FROM "
                       "taskweeks JOIN tasks ON tasks.taskid = taskweeks.taskid "
                       "WHERE NOT curyearonly)");
        QVERIFY(scheduled > 0);

        QProcess holder;
        holder.start(QStringLiteral(TAVREL_HOLDLOCK), {db});
        QVERIFY(holder.waitForReadyRead(RunBoundMs));
        QCOMPARE(holder.readLine(), QByteArray("held\n"));

        QProcess tavrel;
        tavrel.setWorkingDirectory(dir.path());
        tavrel.setProcessEnvironment(jobEnvironment());
        tavrel.setReadChannel(QProcess::StandardError);
        tavrel.start(QStringLiteral(TAVREL_BINARY), {"--set-year", "2006"});
        QByteArray err;
        while (!err.contains("Create Task Assignments") && tavrel.waitForReadyRead(RunBoundMs))
            err += tavrel.readAllStandardError();
        QVERIFY2(err.contains("Create Task Assignments"), err.constData());
        holder.write("go\n");
        QVERIFY(holder.waitForBytesWritten(RunBoundMs));
        QVERIFY(tavrel.waitForFinished(RunBoundMs));
        QVERIFY(holder.waitForFinished(RunBoundMs));
        QCOMPARE(holder.exitCode(), 0);
        err += tavrel.readAllStandardError();
        QVERIFY2(tavrel.exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("Tavrel: ") && !err.contains("Locked Record"), err.constData());
        QCOMPARE(
            QString::fromLocal8Bit(tavrel.readAllStandardOutput()),
            QStringLiteral("Tavrel is set up for 2006: %1 new task assignments.\n").arg(scheduled));
        QCOMPARE(scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2006-%'"), scheduled);
        QCOMPARE(scalar(db, "SELECT CurYear FROM settings"), 2006);
    }

    // A report without a window (its name without regard to case): the text file's lines;
    // no database is an error.
    void reportWithoutAWindow() {
        QTemporaryDir dir;
        QVERIFY(makeSite(dir.path(), false));
        const QString db = dir.filePath("tavrel.mdb");
        QVERIFY(execSql(db, "INSERT INTO employees VALUES (1, 'Ann', 'Adams');"
                            "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler check');"
                            "INSERT INTO assign (taskid, duedate, completed, compdate, comphour,"
                            " compmin, empid) VALUES (1, '2005-03-07', 1, '2005-03-08', 1, 50, 1),"
                            " (1, '2005-03-14', 1, '2005-03-15', 0, 40, 1);"));
        const Run text = runTavrel(dir.path(), {"--report", "Completed", "--from", "2005-03-01",
                                                "--to", "2005-03-31", "-o", "march.txt"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(!text.err.contains("Tavrel"), qPrintable(text.err));
        QFile lines(dir.filePath("march.txt"));
        QVERIFY(lines.open(QIODevice::ReadOnly));
        QCOMPARE(lines.readAll(), QByteArray("3/8/2005\tBoiler check\t1\t50\tAnn Adams\t\r\n"
                                             "3/15/2005\tBoiler check\t0\t40\tAnn Adams\t\r\n"
                                             "\tSubtotal:\t2\t30\t\t\r\n"
                                             "\tTotals:\t2\t30\t\t\r\n"));

        QTemporaryDir empty;
        const Run missing = runTavrel(empty.path(), {"--report", "overdue", "-o", "x.txt"});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains("tavrel.mdb"), qPrintable(missing.err));
        QVERIFY(!QFile::exists(empty.filePath("x.txt")));

        // Damage met while the rows are read: the file is repaired and the report written
        // from the repaired file, with no error after the repair's own message.
        QTemporaryDir site;
        QVERIFY(makeSite(site.path(), true));
        QFile damaged(site.filePath("tavrel.mdb"));
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        constexpr int DamagedFrom = 4096;
        constexpr int DamagedBytes = 12000;
        damaged.seek(DamagedFrom);
        damaged.write(QByteArray(DamagedBytes, '\xA5'));
        damaged.close();
        const Run repaired = runTavrel(site.path(), {"--report", "overdue", "-o", "o.txt"});
        // The report is written all the same; the status says a file had to be repaired.
        QCOMPARE(repaired.exitCode, 1);
        QVERIFY2(repaired.err.contains("has been repaired") && !repaired.err.contains(" 91 "),
                 qPrintable(repaired.err));
        QVERIFY(QFileInfo(site.filePath("o.txt")).size() > 0);

        // A text saved as tavrel.mdb is no database: an error, and the file stays as it was.
        QTemporaryDir notDatabase;
        QVERIFY(makeSite(notDatabase.path(), false));
        const QByteArray notes("Shopping list\nbolts, washers, a new pump\n");
        QFile notesFile(notDatabase.filePath("tavrel.mdb"));
        QVERIFY(notesFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        notesFile.write(notes);
        notesFile.close();
        const Run refused = runTavrel(notDatabase.path(), {"--report", "overdue", "-o", "o.txt"});
        QVERIFY(refused.finished);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("tavrel.mdb is not a database, so it was not changed"),
                 qPrintable(refused.err));
        QVERIFY(notesFile.open(QIODevice::ReadOnly));
        QCOMPARE(notesFile.readAll(), notes);
        QCOMPARE(QDir(notDatabase.path()).entryList(QDir::Files),
                 (QStringList{"rptspec.mdb", "tavrel.mdb"}));
    }

    // Importing the earlier program's file without task data writes nothing.
    void earlierProgramsFileWithoutTaskData() {
        const QString jet = QStringLiteral(TAVREL_JET_DATA "/nwind.mdb");
        QTemporaryDir empty;
        const Run import = runTavrel(empty.path(), {"--import", jet});
        QVERIFY(import.finished);
        QCOMPARE(import.exitCode, 1);
        QVERIFY2(import.err.contains("nwind.mdb: It holds no task data (no table tasks). Nothing "
                                     "was changed."),
                 qPrintable(import.err));
        QCOMPARE(QDir(empty.path()).entryList(QDir::Files), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
