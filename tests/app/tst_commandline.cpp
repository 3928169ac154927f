// The built tavrel program run as a scheduled job or a user at a terminal runs it: without
// a display, in folders with no database, a locked one or a file that is no database. What
// counts is the exit status, what it says on standard error, and that it always ends.

#include "core/workordercode.h"
#include "data/demodata.h"
#include "reports/printing.h"
#include "support/headlessrun.h"
#include "support/otherprogram.h"
#include "support/pdfreading.h"
#include "support/rawdb.h"
#include "support/tablefiles.h"
#include "support/tempdatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <sys/stat.h>

using tavrel::test::OtherProgram;
using tavrel::test::readFile;
using tavrel::test::writeFile;

namespace {

// Far beyond any normal run (a second or two, the lock retries included): only a program
// that waits for an answer nobody can give reaches it.
constexpr int RunBoundMs = 60000;

using Run = tavrel::test::HeadlessRun;
using tavrel::test::jobEnvironment;

// Runs the program in `folder`; with `clock` ("2005-12-15 10:00:00") under faketime, so
// that "this month" is a month of our choosing.
Run runTavrel(const QString& folder, const QStringList& args, const QString& clock = {},
              int boundMs = RunBoundMs) {
    tavrel::test::HeadlessOptions options;
    options.clock = clock;
    options.boundMs = boundMs;
    return tavrel::test::runHeadless(TAVREL_BINARY, folder, args, options);
}

// A temporary folder the program runs in: with a new site of July 2005 (the demo site or
// an empty one) when `site` says so.
class Folder {
public:
    enum Site { Nothing, Empty, Demo };
    explicit Folder(Site site = Nothing) {
        QString error;
        made_ = site == Nothing ||
                tavrel::initWorkFolder(dir_.path(), site == Demo, QDate(2005, 7, 4), &error);
        if (!made_)
            qWarning("%s", qPrintable(error));
    }
    bool isMade() const { return made_; }
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    QString db() const { return file("tavrel.mdb"); }
    QStringList files(const QStringList& filter = {}) const {
        return QDir(dir_.path()).entryList(filter, QDir::Files);
    }
    Run run(const QStringList& args, const QString& clock = {}, int boundMs = RunBoundMs) const {
        return runTavrel(dir_.path(), args, clock, boundMs);
    }

private:
    QTemporaryDir dir_;
    bool made_ = false;
};

QByteArray fileHash(const QString& path) {
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// A saved custom report: Task Name and Hours Required (totalled) of every task, by name.
QByteArray hoursReport() {
    QStringList lines = {"tasks", "Hours", "1", "0", "1", "0", "0", " 13 ", "-1 ", "2", "2;7"};
    const QString zeros = QString("0;").repeated(19) + "0";
    lines << zeros << zeros << QString(";").repeated(19) << zeros << zeros
          << QString(";").repeated(19) << QString(";").repeated(19)
          << QString("1;").repeated(19) + "1" << zeros
          << "0;0;0;0;0;0;1" + QString(";0").repeated(13) << zeros;
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

// Puts a pipe, a folder, a device (a link to /dev/null) or an empty file at `path`.
bool makeSpecial(const QString& path, const QString& kind) {
    QFile::remove(path);
    if (kind == "pipe")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == "folder")
        return QDir().mkdir(path);
    if (kind == "device")
        return QFile::link("/dev/null", path);
    return writeFile(path, {});
}

// One number read from a database file through a connection of the test's own.
qint64 scalar(const QString& path, const char* sql) {
    return tavrel::test::RawDb(path).column(QString::fromLatin1(sql)).value(0, -1);
}

// The assignments a year's set-up gives the site: one per task and scheduled week.
qint64 scheduledWeeks(const QString& db) {
    return scalar(db, "SELECT count(*) FROM (SELECT DISTINCT taskweeks.taskid, weeid FROM "
                      "taskweeks JOIN tasks ON tasks.taskid = taskweeks.taskid "
                      "WHERE NOT curyearonly)");
}

// What --set-year 2006 says, and whether the file holds what it says.
QString setUpFor2006(qint64 assignments) {
    return QString("Tavrel is set up for 2006: %1 new task assignments.\n").arg(assignments);
}
bool isSetUpFor2006(const QString& db, qint64 assignments) {
    return scalar(db, "SELECT count(*) FROM assign WHERE duedate LIKE '2006-%'") == assignments &&
           scalar(db, "SELECT CurYear FROM settings") == 2006;
}

bool execSql(const QString& path, const QString& sql) {
    return tavrel::test::RawDb(path, true).exec(sql);
}

// The pages of a PDF as pdftotext reads them, in layout mode.
QStringList pdfPages(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
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
    "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Lee');"
    "INSERT INTO managers (manid, manfirst, manlast) VALUES (1, 'Max', 'Ray');"
    "INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room');"
    "INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC');"
    "INSERT INTO tasks (taskid, taskname, taskdesc, tools, manuf, model, serialno, Tag, "
    "reqhour, reqmin) VALUES (1, 'Zone heating pump, north wing, inspect and lubricate all "
    "bearings', 'Check the seals', 'Grease gun', 'Acme', 'X-1', 'S-77', 'T-12', 1, 30),"
    "(2, 'air filters', 'Replace the filters', NULL, NULL, NULL, NULL, NULL, 0, 0);"
    "INSERT INTO taskweeks (taskid, weeid) VALUES (1, 10), (1, 36), (2, 49);"
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
    // Status 2, the complaint and the usage on standard error, nothing written. The usage
    // asked for goes to standard output, with status 0.
    void wrongCommandLineShowsUsage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("complaint");
        const auto row = [](const char* name, const QStringList& args, const char* complaint) {
            QTest::newRow(name) << args << QString::fromUtf8(complaint);
        };
        const char* const overdueTakesNoDates =
            "the report overdue takes no --from or --to: it reports what is due by today";
        row("usage asked for", {"--help"}, "");
        row("unknown switch", {"--frobnicate"}, "unknown option --frobnicate");
        row("folder with a command", {"--init", "site"},
            "unexpected argument site: a FOLDER goes only with the window; the commands work in "
            "the current folder");
        row("two commands", {"--set-year", "2027", "--init"},
            "-m, --init, --set-year, --report, --custom, --import, --import-tasks, "
            "--dashboard and --mail-digest cannot be given together");
        row("year too small", {"--set-year", "99"}, "the year 99 is not a year from 100 to 9999");
        row("report date not a day", {"--report", "master", "--to", "2005-02-29"},
            "2005-02-29 is not a date YYYY-MM-DD");
        row("year with a blank before", {"--set-year", " 2027"},
            "the year  2027 is not a year from 100 to 9999");
        row("year with a blank after", {"--set-year", "2027 "},
            "the year 2027  is not a year from 100 to 9999");
        row("year with a sign", {"--set-year", "+2027"},
            "the year +2027 is not a year from 100 to 9999");
        row("-m twice", {"-m", "-m"}, "-m is given more than once");
        row("-o twice", {"--report", "overdue", "-o", "a.txt", "-o", "b.txt"},
            "-o is given more than once");
        row("--set-year twice", {"--set-year", "2027", "--set-year", "2028"},
            "--set-year is given more than once");
        row("--from twice",
            {"--report", "master", "--from", "2005-01-01", "--from", "2005-02-01", "--to",
             "2005-03-01", "-o", "a.txt"},
            "--from is given more than once");
        row("-h and --help", {"-h", "--help"}, "--help is given more than once");
        row("--from after --to",
            {"--report", "master", "--from", "2005-02-01", "--to", "2005-01-31", "-o", "a.txt"},
            "--from 2005-02-01 is after --to 2005-01-31");
        row("overdue with --from", {"--report", "overdue", "--from", "2005-01-01", "-o", "a.txt"},
            overdueTakesNoDates);
        row("overdue with both dates",
            {"--report", "overdue", "--from", "2005-01-01", "--to", "2005-01-31", "-o", "a.txt"},
            overdueTakesNoDates);
        row("two folders after --", {"--", "a", "b"}, "unexpected argument b");
        row("report to another spreadsheet's file", {"--report", "overdue", "-o", "o.ods"},
            "the file o.ods is not .txt, .csv, .xlsx or .pdf");
        row("--bom with a workbook", {"--report", "overdue", "-o", "o.xlsx", "--bom"},
            "--bom goes with --report or --custom and -o FILE.csv");
        row("--bom with a text file", {"--report", "overdue", "-o", "o.txt", "--bom"},
            "--bom goes with --report or --custom and -o FILE.csv");
        row("--bom alone", {"--bom"}, "--bom goes with --report or --custom and -o FILE.csv");
        row("--dashboard without its file", {"--dashboard"},
            "--dashboard needs -o FILE.pdf or -o FILE.png");
        row("--dashboard to a text file", {"--dashboard", "-o", "d.txt"},
            "the file d.txt is not .pdf or .png");
        row("--dashboard backwards",
            {"--dashboard", "--from", "2026-02-01", "--to", "2026-01-31", "-o", "d.pdf"},
            "--from 2026-02-01 is after --to 2026-01-31");
        row("--dashboard with a report", {"--dashboard", "--report", "overdue", "-o", "d.pdf"},
            "-m, --init, --set-year, --report, --custom, --import, --import-tasks, "
            "--dashboard and --mail-digest cannot be given together");
        row("--from alone", {"--from", "2026-01-01"},
            "--from and --to go with --report, --dashboard or --calendar");
        row("--import-tasks without a mapping", {"--import-tasks", "eq.csv"},
            "--import-tasks needs --map MAPPING.ini: the task field of each column");
        row("--map alone", {"--map", "map.ini"}, "--map and --add-codes go with --import-tasks");
        row("--add-codes alone", {"--add-codes"}, "--map and --add-codes go with --import-tasks");
        row("tasks from another spreadsheet's file",
            {"--import-tasks", "eq.ods", "--map", "map.ini"},
            "the file eq.ods is not .csv or .xlsx");
        row("tasks and a report",
            {"--import-tasks", "eq.csv", "--map", "m.ini", "--report", "overdue", "-o", "o.txt"},
            "-m, --init, --set-year, --report, --custom, --import, --import-tasks, "
            "--dashboard and --mail-digest cannot be given together");
        row("--mail-digest with -m", {"--mail-digest", "-m"},
            "-m, --init, --set-year, --report, --custom, --import, --import-tasks, "
            "--dashboard and --mail-digest cannot be given together");
        row("--mail-digest with -o", {"--mail-digest", "-o", "d.pdf"},
            "-o goes with -m, --report, --custom, --dashboard or --labels");
        row("--mail-digest with a folder", {"--mail-digest", "plant"},
            "unexpected argument plant: a FOLDER goes only with the window; the commands work "
            "in the current folder");
        row("--server without --init", {"--server", "postgresql://db/plant"},
            "--server goes with --init");
        row("--server without its URL", {"--init", "--server"},
            "--server needs a server address postgresql://host/dbname");
        row("--copy-to with --init", {"--copy-to", "postgresql://db/plant", "--init"},
            "--copy-to and --copy-from go with no other command");
        row("--copy-to and --copy-from",
            {"--copy-from", "postgresql://db/a", "--copy-to", "postgresql://db/b"},
            "--copy-to and --copy-from go with no other command");
        row("--copy-from with a folder", {"--copy-from", "postgresql://db/plant", "site"},
            "unexpected argument site: a FOLDER goes only with the window; the commands work in "
            "the current folder");
    }
    void wrongCommandLineShowsUsage() {
        QFETCH(QStringList, args);
        QFETCH(QString, complaint);
        Folder folder;
        const Run run = folder.run(args);
        QCOMPARE(folder.files(), QStringList{});
        if (complaint.isEmpty()) {
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
            QVERIFY(run.out.startsWith("Usage: tavrel [--] [FOLDER]\n"));
            // Whoever schedules a command learns that a repair ends it with 1.
            QVERIFY2(run.out.contains("damaged repairs it, does\nits work on the repaired file "
                                      "and still ends with 1"),
                     qPrintable(run.out));
            return;
        }
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith("Tavrel: " + complaint + "\n"), qPrintable(run.err));
        QVERIFY(run.err.contains("Usage: tavrel"));
        QVERIFY(run.out.isEmpty());
    }

    // A FOLDER that does not exist; after "--" every argument is a FOLDER, even one that
    // looks like a command, and nothing of that command runs.
    void missingFolderIsRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringList{"no-such-site"} << "no-such-site";
        QTest::newRow("-- -m") << QStringList{"--", "-m"} << "-m";
        QTest::newRow("-- --init") << QStringList{"--", "--init"} << "--init";
        QTest::newRow("-- --") << QStringList{"--", "--"} << "--";
    }
    void missingFolderIsRefused() {
        QFETCH(QStringList, args);
        QFETCH(QString, folder);
        Folder dir;
        const Run run = dir.run(args);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QString("Tavrel: there is no folder %1\n").arg(folder));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{});
    }

    // A pipe, a folder or a device where a command expects a database file, or a file of
    // no bytes: a message that says what it is, status 1, and an end, never a wait for a
    // writer. The thing named stays as it was. (Whatever the command, the file is looked at
    // before anything opens it: a pipe, which would hang a command that opened it, and an
    // empty file, which SQLite would write into, are tried with every command; a device and
    // a folder with one command of each way in.)
    void specialFilesAreRefused_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        const QList<QStringList> commands = {
            {"-m"},
            {"-m", "-o", "m.pdf"},
            {"--report", "overdue", "-o", "o.txt"},
            {"--report", "master", "--from", "2005-01-01", "--to", "2005-12-31", "-o", "m.pdf"},
            {"--custom", "r.rpt", "-o", "r.txt"},
            {"--set-year", "2027"},
            {"--set-year", "2027", "--no-assignments"}};
        const QMap<QString, QString> saidOf = {
            {"pipe", "is not a database file but a device or a pipe."},
            {"device", "is not a database file but a device or a pipe."},
            {"folder", "is a folder, not a database file."},
            {"empty", "is empty: it holds no database."}};
        const auto row = [](const QStringList& args, const QString& name, const QString& kind,
                            const QString& said) {
            QTest::addRow("%s %s: %s", qPrintable(name), qPrintable(kind),
                          qPrintable(args.join(' ')))
                << args << name << kind << said;
        };
        for (const QString& kind : saidOf.keys()) {
            for (const QStringList& args : commands)
                if (kind == "pipe" || kind == "empty" || args == commands.first())
                    row(args, "tavrel.mdb", kind, saidOf[kind]);
            row({"--init"}, "tavrel.mdb", kind, "already exists; nothing was written.");
            row({"--custom", "r.rpt", "-o", "r.txt"}, "rptspec.mdb", kind, saidOf[kind]);
        }
        const QMap<QString, QString> importSaid = {
            {"pipe", "is not a database file but a device or a pipe."},
            {"device", "is not a database file but a device or a pipe."},
            {"folder", "is a folder, not a database file."},
            {"empty", "is not a database of the earlier program."},
            {"missing", "does not exist."}};
        for (const QString& kind : importSaid.keys())
            row({"--import", "old.mdb"}, "old.mdb", kind,
                "old.mdb " + importSaid[kind] + " Nothing was changed.");
        row({"--custom", "r.rpt", "-o", "r.txt"}, "r.rpt", "pipe",
            "The report file r.rpt is not a file but a device or a pipe.");
        row({"--custom", "r.rpt", "-o", "r.txt"}, "r.rpt", "missing",
            "The report file r.rpt does not exist.");
    }
    void specialFilesAreRefused() {
        QFETCH(QStringList, args);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, said);
        Folder dir(Folder::Empty);
        QVERIFY(dir.isMade() && writeFile(dir.file("r.rpt"), {}));
        if (args.first() == "--import") // into a folder without a site
            for (const char* file : {"tavrel.mdb", "rptspec.mdb"})
                QVERIFY(QFile::remove(dir.file(file)));
        const QString path = dir.file(name);
        if (kind == "missing")
            QFile::remove(path);
        else
            QVERIFY(makeSpecial(path, kind));
        const QFileInfo before(path);

        // Far shorter than a run may take on a busy machine, far longer than it needs.
        constexpr int SpecialFileBoundMs = 20000;
        const Run run = dir.run(args, {}, SpecialFileBoundMs);
        QVERIFY2(run.finished, "the command waited on the file");
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        // Every line it wrote to standard error starts with its prefix.
        for (const QString& line : run.err.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(line.startsWith("Tavrel: "), qPrintable(run.err));
        const QFileInfo after(path);
        QCOMPARE(after.exists(), before.exists());
        QCOMPARE(after.isFile(), before.isFile());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.isSymLink(), before.isSymLink());
        if (kind == "empty")
            QCOMPARE(after.size(), 0);
        QCOMPARE(dir.files({"m.pdf", "o.txt", "r.txt", "workorders-*.pdf"}), QStringList{});
    }

    // -o never names a file the command reads, whatever name or link leads to it, nor
    // something other than a file: refused, and the file is as it was.
    void outputIsNeverWhatTheCommandReads_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("output"); // what -o names: a link to a file, or a folder
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const QStringList& args, const char* target,
                            const char* said) {
            QTest::newRow(name) << args << args.last() << QString::fromUtf8(target)
                                << QString::fromUtf8(said);
        };
        row("report over a link to tavrel.mdb",
            {"--report", "master", "--from", "2005-01-01", "--to", "2005-12-31", "-o", "link.txt"},
            "tavrel.mdb", "-o link.txt is tavrel.mdb, which this command reads");
        row("PDF report over a link to rptspec.mdb", {"--report", "overdue", "-o", "link.pdf"},
            "rptspec.mdb", "-o link.pdf is rptspec.mdb, which this command reads");
        row("-m over a link to tavrel.mdb", {"-m", "-o", "link.pdf"}, "tavrel.mdb",
            "-o link.pdf is tavrel.mdb, which this command reads");
        row("custom report over its own report file",
            {"--custom", "report.txt", "-o", "report.txt"}, "report.txt",
            "-o report.txt is report.txt, which this command reads");
        row("-m into a folder", {"-m", "-o", "dir.pdf"}, "folder",
            "-o dir.pdf is not a file that can be written over: it is a folder.");
        row("report into a pipe", {"--report", "overdue", "-o", "pipe.txt"}, "pipe",
            "-o pipe.txt is not a file that can be written over: it is a device or a pipe.");
    }
    void outputIsNeverWhatTheCommandReads() {
        QFETCH(QStringList, args);
        QFETCH(QString, output);
        QFETCH(QString, target);
        QFETCH(QString, said);
        Folder dir(Folder::Demo);
        QVERIFY(dir.isMade() && writeFile(dir.file("report.txt"), hoursReport()));
        if (target == "folder" || target == "pipe")
            QVERIFY(makeSpecial(dir.file(output), target));
        else if (target != output)
            QVERIFY(QFile::link(target, dir.file(output)));
        QMap<QString, QByteArray> hashes;
        for (const char* file : {"tavrel.mdb", "rptspec.mdb", "report.txt"})
            hashes[file] = fileHash(dir.file(file));

        const Run run = dir.run(args, MidDecember);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err,
                 "Tavrel: " + said + (said.endsWith('.') ? "\n" : "; it is not written over.\n"));
        for (const QString& file : hashes.keys())
            QCOMPARE(fileHash(dir.file(file)), hashes[file]);
    }

    void initWritesTheFilesOnce() {
        Folder dir;
        QCOMPARE(dir.run({"--init"}).exitCode, 0);
        QCOMPARE(dir.files(), (QStringList{"rptspec.mdb", "tavrel.mdb"}));
        const Run again = dir.run({"--init", "--demo"});
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
        const bool site =
            folderKind == "locked" || folderKind == "sound" || folderKind == "damaged";
        Folder dir(site ? Folder::Empty : Folder::Nothing);
        QVERIFY(dir.isMade());
        const QByteArray garbage(8192, 'x');
        if (folderKind == "damaged") {
            QFile file(dir.db());
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write("Garbage, really!"); // the header's magic text
        }
        if (folderKind == "garbage")
            QVERIFY(writeFile(dir.db(), garbage));
        std::unique_ptr<OtherProgram> lock;
        if (folderKind == "locked") {
            lock = std::make_unique<OtherProgram>(dir.db());
            lock->holdWholeFile();
        }

        const Run run = dir.run({"-m"});
        QVERIFY2(run.finished, "tavrel -m did not end");
        QCOMPARE(run.exitCode, exitCode);
        for (const QString& text : said)
            QVERIFY2(run.err.contains(text), qPrintable(run.err));
        // Each thing is said once, not once per step of start-up.
        QVERIFY2(run.err.count("Tavrel: 91  ") <= 1, qPrintable(run.err));
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), qPrintable(run.out));
        if (folderKind == "empty")
            QVERIFY(!QFile::exists(dir.db()));
        QCOMPARE(QFile::exists(dir.file("tavrel-damaged-1.mdb")), folderKind == "damaged");
        if (folderKind == "garbage")
            QCOMPARE(readFile(dir.db()), garbage);
        if (folderKind == "sound")
            QVERIFY2(!run.err.contains("Tavrel: "), qPrintable(run.err));
        QCOMPARE(dir.files({"*.pdf"}), QStringList{}); // nothing printed
    }

    // -m -o: the month's work orders in the PDF, one page each, in due-date then task-name
    // order; other months are left out; an unwritable destination fails.
    void monthlyPrintToPdf() {
        Folder dir(Folder::Empty);
        QVERIFY(dir.isMade() && execSql(dir.db(), DecemberSite));

        const Run run = dir.run({"-m", "-o", "out.pdf"}, MidDecember);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.out, QString("Wrote 3 work orders due in December 2005 to %1.\n")
                              .arg(QDir::toNativeSeparators(
                                  QFileInfo(dir.file("out.pdf")).absoluteFilePath())));
        const QStringList pages = pdfPages(dir.file("out.pdf"));
        QCOMPARE(pages.size(), 3);
        // The sheets' lines are tst_workorders' matter; here the order, the month and the
        // name cut to 50 characters.
        const QStringList expected[] = {
            {"Work Order: air filters", "Task #: 2", "Due Date: 12/5/2005"},
            {"Work Order: Zone heating pump, north wing, inspect and lubrica", "Task #: 1"},
            {"Work Order: air filters", "Due Date: 12/26/2005"}};
        for (int page = 0; page < 3; ++page)
            for (const QString& text : expected[page])
                QVERIFY2(
                    pages[page].contains(text),
                    qPrintable(
                        QString("page %1 lacks '%2':\n%3").arg(page + 1).arg(text, pages[page])));
        QVERIFY(!pages[1].contains("lubricate"));

        // An unwritable destination: said, and a failure status; nothing else written.
        const Run bad = dir.run({"-m", "-o", "no/such/folder/out.pdf"}, MidDecember);
        QCOMPARE(bad.exitCode, 1);
        QVERIFY2(bad.err.contains("Tavrel: 75  The file '"), qPrintable(bad.err));
        QVERIFY2(bad.err.contains("out.pdf' could not be written"), qPrintable(bad.err));
    }

    // -m on a site in a file or on a server: each work order carries the code of its
    // assignment, in a QR code a scanner reads back and as text.
    void monthlyPrintCarriesTheCodes() {
        if (!tavrel::test::pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the codes back");
        const tavrel::test::TempDatabase site(2005, DecemberSite);
        const Run run = runTavrel(site.path(), {"-m", "-o", "out.pdf"}, MidDecember);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QString pdf = site.file("out.pdf");
        const QStringList pages = tavrel::test::pdfPages(pdf);
        QCOMPARE(pages.size(), 3);
        using namespace tavrel::workordercode;
        const QString tag = siteTag(site.scalar("select siteid from settings").toString());
        static const QRegularExpression task("Task #: (\\d+)");
        static const QRegularExpression due("Due Date: (\\d+/\\d+/\\d+)");
        for (int page = 1; page <= pages.size(); ++page) {
            const QString& text = pages[page - 1];
            const QDate date = QDate::fromString(due.match(text).captured(1), "M/d/yyyy");
            const qint64 assid =
                site.scalar(QString("select assid from assign where taskid = %1 and duedate = '%2'")
                                .arg(task.match(text).captured(1), date.toString(Qt::ISODate)))
                    .toLongLong();
            QVERIFY2(assid > 0, qPrintable(text));
            const QString code = formatCode(tag, CodeKind::Assignment, assid);
            QCOMPARE(tavrel::test::qrCodesOnPage(pdf, page), QStringList{code});
            QVERIFY2(text.contains(code), qPrintable(text));
        }
    }

    // Without a printer -m still delivers: a new PDF in the working folder, never over an
    // earlier one, and its name on standard output.
    void monthlyPrintWithoutAPrinter() {
        if (tavrel::hasRealPrinter())
            QSKIP("this machine has a printer: -m would print on it");
        Folder dir(Folder::Empty);
        QTemporaryDir elsewhere;
        QVERIFY(dir.isMade() && execSql(dir.db(), DecemberSite));
        // The names taken already: a link that leads nowhere yet, and an earlier run's file.
        const QString target = QDir(elsewhere.path()).filePath("target.pdf");
        QVERIFY(QFile::link(target, dir.file("workorders-2005-12.pdf")));
        QVERIFY(writeFile(dir.file("workorders-2005-12-2.pdf"), "earlier"));
        for (const char* name : {"workorders-2005-12-3.pdf", "workorders-2005-12-4.pdf"}) {
            const Run run = dir.run({"-m"}, MidDecember);
            QVERIFY2(run.exitCode == 0, qPrintable(run.err));
            const QString pdf = dir.file(name);
            QCOMPARE(run.out, QString("Wrote 3 work orders due in December 2005 to %1 (no "
                                      "printer is configured).\n")
                                  .arg(QDir::toNativeSeparators(pdf)));
            QCOMPARE(pdfPages(pdf).size(), 3);
        }
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(QFileInfo(dir.file("workorders-2005-12.pdf")).symLinkTarget(), target);
        QCOMPARE(readFile(dir.file("workorders-2005-12-2.pdf")), QByteArray("earlier"));
    }

    // A saved report run by a job writes its text file.
    void customReportWithoutAWindow() {
        Folder dir;
        QCOMPARE(dir.run({"--init", "--demo"}).exitCode, 0);
        QVERIFY(writeFile(dir.file("hours.rpt"), hoursReport()));
        const qint64 tasks = scalar(dir.db(), "select count(*) from tasks");
        const QStringList args = {"--custom", "hours.rpt", "-o", "hours.txt"};

        QCOMPARE(dir.run(args).exitCode, 0);
        const QList<QByteArray> rows = readFile(dir.file("hours.txt")).split('\n');
        QCOMPARE(rows.size(), tasks + 2); // the rows, the totals, the end of the last line
        QVERIFY2(rows[tasks].startsWith("\t"), rows[tasks].constData());
        // As CSV: the same rows as values after a heading line, and no total row.
        QCOMPARE(dir.run({"--custom", "hours.rpt", "-o", "hours.csv", "--bom"}).exitCode, 0);
        const QByteArray csv = readFile(dir.file("hours.csv"));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        const QList<QByteArray> csvRows = csv.mid(3).split('\n');
        QCOMPARE(csvRows.size(), tasks + 2); // the headings, the rows, the end of the last line
        for (qsizetype r = 0; r < tasks; ++r)
            QCOMPARE(csvRows[r + 1], QByteArray(rows[r]).replace('\t', ','));
        // As a workbook: the same table.
        QCOMPARE(dir.run({"--custom", "hours.rpt", "-o", "hours.xlsx"}).exitCode, 0);
        const TableFileRead workbook = readTableFile(dir.file("hours.xlsx"));
        QVERIFY2(workbook.error.isEmpty(), qPrintable(workbook.error));
        QCOMPARE(workbook.rows, readTableFile(dir.file("hours.csv")).rows);

        // A damaged catalogue is repaired as the catalogue, named in its own message; the
        // report is written from it and tavrel.mdb is not touched. The run ends with 1.
        QFile catalogue(dir.file("rptspec.mdb"));
        QVERIFY(catalogue.open(QIODevice::ReadWrite));
        catalogue.write("Garbage, really!");
        catalogue.close();
        const QByteArray mainBefore = readFile(dir.db());
        QFile::remove(dir.file("hours.txt"));
        const Run repaired = dir.run(args);
        QCOMPARE(repaired.exitCode, 1);
        QVERIFY2(repaired.err.contains("The field catalogue rptspec.mdb was damaged and has been "
                                       "repaired") &&
                     repaired.err.contains("rptspec-damaged-1.mdb") &&
                     !repaired.err.contains("tavrel.mdb"),
                 qPrintable(repaired.err));
        QVERIFY(QFile::exists(dir.file("rptspec-damaged-1.mdb")));
        QVERIFY(!QFile::exists(dir.file("tavrel-damaged-1.mdb")));
        QCOMPARE(readFile(dir.db()), mainBefore);
        QCOMPARE(readFile(dir.file("hours.txt")).split('\n').size(), tasks + 2);
    }

    void setYearWithoutAWindow() {
        Folder dir(Folder::Demo);
        const qint64 scheduled = scheduledWeeks(dir.db());
        QVERIFY(dir.isMade() && scheduled > 0);

        const Run run = dir.run({"--set-year", "2006"});
        QCOMPARE(run.exitCode, 0);
        // The question --set-year answered, and nothing else.
        QCOMPARE(run.err, "Tavrel: Create Task Assignments: Do you wish to create new task "
                          "assigment records for 2006? [Yes: --set-year]\n");
        QCOMPARE(run.out, setUpFor2006(scheduled));
        QVERIFY(isSetUpFor2006(dir.db(), scheduled));

        const Run datesOnly = dir.run({"--no-assignments", "--set-year", "2007"});
        QCOMPARE(datesOnly.exitCode, 0);
        QVERIFY2(datesOnly.err.contains("[No: --no-assignments]"), qPrintable(datesOnly.err));
        QCOMPARE(scalar(dir.db(), "SELECT count(*) FROM assign WHERE duedate LIKE '2007-%'"), 0);
        QCOMPARE(scalar(dir.db(), "SELECT CurYear FROM settings"), 2007);
        QCOMPARE(scalar(dir.db(), "SELECT curdate = '2007-01-01' FROM weeks WHERE weeid = 1"), 1);
    }

    // Under the site's holidays: --set-year dates week 52 of 2008 (Monday 29 December, the
    // shop closed to the 31st) on Thursday 1 January 2009, -m in January 2009 prints it, and
    // --set-year 2009 still gives 2009 its own week 52. A task scheduled every 2 weeks gets
    // its weeks worked out for each year.
    void setYearAndMonthlyPrintUnderRules() {
        Folder dir(Folder::Empty);
        QVERIFY(dir.isMade() &&
                execSql(dir.db(),
                        "INSERT INTO tasks (taskid, taskname, curyearonly) VALUES (1, 'Chiller', "
                        "0);"
                        "INSERT INTO tasks (taskid, taskname, curyearonly, ruleunit, ruleevery, "
                        "rulestart, rulefollow) VALUES (2, 'Pumps', 0, 1, 2, '2008-01-09', 0);"
                        "INSERT INTO taskweeks (taskid, weeid) VALUES (1, 52);"
                        "INSERT INTO holidays (holname, holkind, holdate) VALUES ('Closed', 0, "
                        "'2008-12-29'), ('Closed', 0, '2008-12-30'), ('Closed', 0, "
                        "'2008-12-31');"));
        QCOMPARE(dir.run({"--set-year", "2008"}).exitCode, 0);
        QCOMPARE(scalar(dir.db(), "SELECT count(*) FROM assign WHERE taskid = 1 AND duedate = "
                                  "'2009-01-01' AND weeid = 52"),
                 1);
        QCOMPARE(scalar(dir.db(), "SELECT count(*) FROM assign WHERE taskid = 2"), 26);
        QCOMPARE(dir.run({"--set-year", "2009"}).exitCode, 0);
        QCOMPARE(scalar(dir.db(), "SELECT count(*) FROM assign WHERE taskid = 1 AND duedate = "
                                  "'2009-12-28' AND weeid = 52"),
                 1);
        QCOMPARE(scalar(dir.db(), "SELECT count(*) FROM assign WHERE taskid = 2"), 52);

        const Run run = dir.run({"-m", "-o", "out.pdf"}, "2009-01-15 10:00:00");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QStringList pages = pdfPages(dir.file("out.pdf"));
        QVERIFY(!pages.isEmpty());
        QVERIFY2(pages.join(u'\n').contains("Due Date: 1/1/2009"), qPrintable(pages.join(u'\n')));
    }

    // Another program writing for 0.2 s while the year is set up: the program waits for it
    // (its retries), and the year's assignments are all there. The lock is held from before
    // the program starts until 0.2 s after it asked about the assignments, so that its
    // set-up meets the lock whatever its start takes.
    void setYearWaitsForAShortLock() {
        Folder dir(Folder::Demo);
        const qint64 scheduled = scheduledWeeks(dir.db());
        QVERIFY(dir.isMade() && scheduled > 0);

        QProcess holder;
        holder.start(TAVREL_HOLDLOCK, {dir.db()});
        QVERIFY(holder.waitForReadyRead(RunBoundMs));
        QCOMPARE(holder.readLine(), QByteArray("held\n"));

        QProcess tavrel;
        tavrel.setWorkingDirectory(dir.path());
        tavrel.setProcessEnvironment(jobEnvironment());
        tavrel.setReadChannel(QProcess::StandardError);
        tavrel.start(TAVREL_BINARY, {"--set-year", "2006"});
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
        // The assignments question is the one line: no lock was reported or asked about.
        QVERIFY2(err.count('\n') == 1 && !err.contains("Locked Record"), err.constData());
        QCOMPARE(QString::fromLocal8Bit(tavrel.readAllStandardOutput()), setUpFor2006(scheduled));
        QVERIFY(isSetUpFor2006(dir.db(), scheduled));
    }

    // The dashboard without a window: one page of charts as a PDF or a PNG image, this year
    // when no date is given and the year of the one given otherwise; a file it cannot write
    // is an error that leaves nothing behind.
    void dashboardWithoutAWindow() {
        Folder dir(Folder::Demo);
        const Run pdf = dir.run({"--dashboard", "-o", "charts.pdf"}, "2026-06-17 12:00:00");
        QCOMPARE(pdf.exitCode, 0);
        const QStringList pages = pdfPages(dir.file("charts.pdf"));
        QCOMPARE(pages.size(), 1);
        QVERIFY2(pages.first().contains("Maintenance Dashboard for 1/1/2026 - 12/31/2026"),
                 qPrintable(pages.first()));
        const Run png = dir.run({"--dashboard", "--to", "2025-06-30", "-o", "charts.png"});
        QCOMPARE(png.exitCode, 0);
        QCOMPARE(QImage(dir.file("charts.png")).size(), QSize(1650, 1275)); // landscape Letter
        QCOMPARE(dir.files({"charts*"}), (QStringList{"charts.pdf", "charts.png"}));
        const Run unwritable = dir.run({"--dashboard", "-o", "no/such/folder/c.pdf"});
        QCOMPARE(unwritable.exitCode, 1);
        QVERIFY2(unwritable.err.contains("could not be written"), qPrintable(unwritable.err));
    }

    // A report without a window (its name without regard to case): the text file's lines;
    // no database is an error.
    void reportWithoutAWindow() {
        Folder dir(Folder::Empty);
        QVERIFY(dir.isMade());
        QVERIFY(
            execSql(dir.db(),
                    "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Adams');"
                    "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler check');"
                    "INSERT INTO assign (taskid, duedate, completed, compdate, "
                    "comphour, compmin, empid) VALUES (1, '2005-03-07', 1, "
                    "'2005-03-08', 1, 50, 1), (1, '2005-03-14', 1, '2005-03-15', "
                    "0, 40, 1);"));
        const Run text = dir.run({"--report", "Completed", "--from", "2005-03-01", "--to",
                                  "2005-03-31", "-o", "march.txt"});
        QCOMPARE(text.exitCode, 0);
        QVERIFY2(!text.err.contains("Tavrel"), qPrintable(text.err));
        QCOMPARE(readFile(dir.file("march.txt")),
                 QByteArray("3/8/2005\tBoiler check\t1\t50\tAnn Adams\t\r\n"
                            "3/15/2005\tBoiler check\t0\t40\tAnn Adams\t\r\n"
                            "\tSubtotal:\t2\t30\t\t\r\n"
                            "\tTotals:\t2\t30\t\t\r\n"));
        // As CSV: a heading line, a row each, no subtotals or totals; dates and numbers as
        // values; a byte order mark first only when asked for.
        const QByteArray csv = "Date Completed,Task Name,Hours,Minutes,Employee\r\n"
                               "2005-03-08,Boiler check,1,50,Ann Adams\r\n"
                               "2005-03-15,Boiler check,0,40,Ann Adams\r\n";
        const Run plain = dir.run({"--report", "completed", "--from", "2005-03-01", "--to",
                                   "2005-03-31", "-o", "march.csv"});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(readFile(dir.file("march.csv")), csv);
        const Run marked = dir.run({"--report", "completed", "--from", "2005-03-01", "--to",
                                    "2005-03-31", "-o", "marked.CSV", "--bom"});
        QCOMPARE(marked.exitCode, 0);
        QCOMPARE(readFile(dir.file("marked.CSV")), "\xEF\xBB\xBF" + csv);
        // As a workbook: the same table, read back as a spreadsheet program reads it.
        const Run workbook = dir.run({"--report", "completed", "--from", "2005-03-01", "--to",
                                      "2005-03-31", "-o", "march.xlsx"});
        QCOMPARE(workbook.exitCode, 0);
        const TableFileRead read = readTableFile(dir.file("march.xlsx"));
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.rows, readTableFile(dir.file("march.csv")).rows);
        QCOMPARE(read.kinds.value(1), "dsnns");
        // A range of one day is a range: that day's completions only.
        const Run oneDay = dir.run({"--report", "completed", "--from", "2005-03-15", "--to",
                                    "2005-03-15", "-o", "day.txt"});
        QCOMPARE(oneDay.exitCode, 0);
        QCOMPARE(readFile(dir.file("day.txt")),
                 QByteArray("3/15/2005\tBoiler check\t0\t40\tAnn Adams\t\r\n"
                            "\tSubtotal:\t0\t40\t\t\r\n"
                            "\tTotals:\t0\t40\t\t\r\n"));

        Folder empty;
        const Run missing = empty.run({"--report", "overdue", "-o", "x.txt"});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.err.contains("tavrel.mdb"), qPrintable(missing.err));
        QVERIFY(!QFile::exists(empty.file("x.txt")));

        // Damage met while the rows are read: the file is repaired and the report written
        // from the repaired file, with no error after the repair's own message.
        Folder site(Folder::Demo);
        QFile damaged(site.db());
        QVERIFY(site.isMade() && damaged.open(QIODevice::ReadWrite));
        constexpr int DamagedFrom = 4096;
        constexpr int DamagedBytes = 12000;
        damaged.seek(DamagedFrom);
        damaged.write(QByteArray(DamagedBytes, '\xA5'));
        damaged.close();
        const Run repaired = site.run({"--report", "overdue", "-o", "o.txt"});
        // The report is written all the same; the status says a file had to be repaired.
        QCOMPARE(repaired.exitCode, 1);
        QVERIFY2(repaired.err.contains("has been repaired") && !repaired.err.contains(" 91 "),
                 qPrintable(repaired.err));
        QVERIFY(QFileInfo(site.file("o.txt")).size() > 0);

        // A text saved as tavrel.mdb is no database: an error, and the file stays as it was.
        Folder notDatabase(Folder::Empty);
        const QByteArray notes("Shopping list\nbolts, washers, a new pump\n");
        QVERIFY(notDatabase.isMade() && writeFile(notDatabase.db(), notes));
        const Run refused = notDatabase.run({"--report", "overdue", "-o", "o.txt"});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("tavrel.mdb is not a database, so it was not changed"),
                 qPrintable(refused.err));
        QCOMPARE(readFile(notDatabase.db()), notes);
        QCOMPARE(notDatabase.files(), (QStringList{"rptspec.mdb", "tavrel.mdb"}));
    }

    // A damaged file of the earlier program: one message of the program's own, and none
    // of the reading library's diagnostics.
    void earlierProgramsDamagedFile_data() {
        QTest::addColumn<QByteArray>("content");
        constexpr int CutAt = 20000; // within the catalogue's pages
        QTest::newRow("cut short") << readFile(TAVREL_JET_DATA "/nwind.mdb").left(CutAt);
        QTest::newRow("unknown version")
            << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(4096, 'E');
    }
    void earlierProgramsDamagedFile() {
        QFETCH(QByteArray, content);
        QVERIFY(content.size() > 4096); // the sample file was read
        Folder dir;
        QVERIFY(writeFile(dir.file("old.mdb"), content));
        const Run run = dir.run({"--import", "old.mdb"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.startsWith("Tavrel: old.mdb") &&
                     run.err.endsWith("Nothing was changed.\n"),
                 qPrintable(run.err));
        QCOMPARE(dir.files(), QStringList{"old.mdb"});
    }

    // Importing the earlier program's file without task data writes nothing.
    void earlierProgramsFileWithoutTaskData() {
        const QString jet = TAVREL_JET_DATA "/nwind.mdb";
        Folder empty;
        const Run import = empty.run({"--import", jet});
        QCOMPARE(import.exitCode, 1);
#ifdef TAVREL_HAVE_LIBMDB
        QVERIFY2(import.err.contains("nwind.mdb: It holds no task data (no table tasks). Nothing "
                                     "was changed."),
                 qPrintable(import.err));
#else
        // Built without libmdb: the file is not read, and the message says why, plainly.
        QCOMPARE(import.err, "Tavrel: " + QDir::toNativeSeparators(jet) +
                                 ": Reading the earlier program's files is not available in "
                                 "this build. Nothing was changed.\n");
#endif
        QCOMPARE(empty.files(), QStringList{});
#ifndef TAVREL_HAVE_LIBMDB
        return;
#endif

        // Named as the conversion's work file, the source is still only read.
        Folder site;
        const QString named = site.file("tavrel.mdb.converting");
        QVERIFY(QFile::copy(jet, named));
        const QByteArray original = fileHash(named);
        const Run same = site.run({"--import", "tavrel.mdb.converting"});
        QCOMPARE(same.exitCode, 1);
        QVERIFY2(same.err.contains("It holds no task data"), qPrintable(same.err));
        QCOMPARE(fileHash(named), original);
        QCOMPARE(site.files(), QStringList{"tavrel.mdb.converting"});
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
