// The benchmark of a large site: every speed target measured beside its baseline in the same
// run (raw SQLite, the sqlite3 tool, plain Qt drawing, or the same work at a smaller size),
// printed as a ratio against its limit. Exits 1 when any target is missed.
//
//   tavrel_bench [--quick] [--repeat N] [--only NAME,NAME...]
//
// --quick uses smaller sizes for a smoke run (its ratios are not the targets' proof).

#include "benchsite.h"

#include "assignments/assignquery.h"
#include "assignments/frmassign.h"
#include "assignments/yeargen.h"
#include "calendar/calendarexport.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "core/upgrade.h"
#include "custom/reportdefinition.h"
#include "dashboard/dashboard.h"
#include "dashboard/frmdashboard.h"
#include "data/backup.h"
#include "data/pgconnection.h"
#include "data/pgdialect.h"
#include "data/schema.h"
#include "data/sitecopy.h"
#include "data/sqldialect.h"
#include "data/units.h"
#include "import/sheet.h"
#include "import/taskimport.h"
#include "import/taskmapping.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/reportoutput.h"
#include "reports/standardreports.h"
#include "tasks/taskeditor.h"
#include "text/datetext.h"
#include "worklist/frmworklist.h"
#include "worklist/worklistmodel.h"
#include "worklist/worklistquery.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

using namespace tavrel;

namespace {

constexpr int Year = 2027;
constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
constexpr int ToolTimeoutMs = 10 * 60 * 1000;
constexpr int DefaultRepeats = 3;

// The sizes of the targets, and the smaller ones of a smoke run.
struct Sizes {
    int yearTasks = 10000;     // x 52 weeks: 520,000 assignments
    int startupTasks = 100000; // beside a site of StartupSmall tasks
    int layoutSmall = 10000;   // master-list rows, beside ten times as many
    int pdfPages = 1000;
    int upgradeRows = 520000;
    int repairTasks = 100000;
    int spreadsheetRows = 100000;
};
constexpr int StartupSmall = 10;
constexpr int LayoutGrowth = 10;

Sizes quickSizes() {
    Sizes s;
    s.yearTasks = 1000;
    s.startupTasks = 10000;
    s.layoutSmall = 2000;
    s.pdfPages = 100;
    s.upgradeRows = 52000;
    s.repairTasks = 10000;
    s.spreadsheetRows = 10000;
    return s;
}

// One target: our time (or memory) beside the baseline's, and the limit of their ratio.
struct Result {
    QString what;
    double ours = 0;
    QString baseline;
    double base = 0;
    double limit = 0;
    QString unit = QStringLiteral("ms");
    bool checked = true; // false when the run itself failed (wrong rows): always missed
    bool met() const { return checked && base > 0 && ours / base <= limit; }
};

QList<Result> results;

void record(Result r) {
    std::printf("  %-46s %10.1f %s  %-28s %10.1f %s  ratio %6.2f (limit %5.2f) %s\n",
                qPrintable(r.what), r.ours, qPrintable(r.unit), qPrintable(r.baseline), r.base,
                qPrintable(r.unit), r.base > 0 ? r.ours / r.base : 0.0, r.limit,
                r.met() ? "ok" : "MISSED");
    std::fflush(stdout);
    results << r;
}

// A check that the measured work did what it should; a failed one voids the target.
bool verify(bool ok, const char* what) {
    if (!ok)
        std::printf("  CHECK FAILED: %s\n", what);
    return ok;
}

double ms(qint64 ns) {
    return double(ns) / 1e6;
}

// The best of `repeats` runs of a measurement that returns nanoseconds.
qint64 best(int repeats, const std::function<qint64()>& run) {
    qint64 fastest = std::numeric_limits<qint64>::max();
    for (int i = 0; i < repeats; ++i)
        fastest = qMin(fastest, run());
    return fastest;
}

qint64 timed(const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed();
}

void replaceFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to))
        qFatal("cannot copy %s", qPrintable(from));
}

// Steps a query through raw SQLite, handing each row to `row`.
void stepRaw(const QString& path, const QByteArray& sql,
             const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    // The same page cache as the program's connections, so both read alike.
    sqlite3_exec(db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("%s: %s", sql.constData(), sqlite3_errmsg(db));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        row(stmt);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

QByteArray translated(const QString& jet) {
    QString error;
    const QString sql = translateSql(jet, &error);
    if (sql.isEmpty())
        qFatal("cannot translate %s: %s", qPrintable(jet), qPrintable(error));
    return sql.toUtf8();
}

// Runs the sqlite3 command-line tool on `arguments`, its output into `outputFile`.
qint64 timeSqliteTool(const QStringList& arguments, const QString& outputFile,
                      const QString& inputText = {}) {
    QProcess tool;
    tool.setStandardOutputFile(outputFile);
    QElapsedTimer t;
    t.start();
    tool.start(QStringLiteral("sqlite3"), arguments);
    if (!tool.waitForStarted())
        qFatal("the sqlite3 command-line tool is not installed (scripts/setup installs it)");
    if (!inputText.isEmpty()) {
        tool.write(inputText.toUtf8());
        tool.closeWriteChannel();
    }
    tool.waitForFinished(ToolTimeoutMs);
    const qint64 ns = t.nsecsElapsed();
    if (tool.exitStatus() != QProcess::NormalExit)
        qFatal("sqlite3 failed: %s", tool.readAllStandardError().constData());
    return ns;
}

int lineCount(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(f.readAll().count('\n'));
}

// --- year generation -------------------------------------------------------------------

// The same rows as generation writes, through one prepared statement in one transaction.
qint64 timeRawYearInserts(const QString& path, int tasks) {
    const QList<QDate> mondays = weekMondays(Year);
    QList<QByteArray> due;
    for (const QDate& d : mondays)
        due << d.toString(Qt::ISODate).toUtf8();
    // Location and type as the generator gave the tasks.
    constexpr int Locations = 12;
    constexpr int Types = 7;
    return timed([&] {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO assign (taskid, locid, typid, weeid, duedate, comphour, "
                           "compmin, completed) VALUES (?1, ?2, ?3, ?4, ?5, 0, 0, 0)",
                           -1, &ins, nullptr);
        for (int task = 1; task <= tasks; ++task) {
            for (int w = 1; w <= WeeksPerYear; ++w) {
                sqlite3_bind_int(ins, 1, task);
                sqlite3_bind_int(ins, 2, task % Locations + 1);
                sqlite3_bind_int(ins, 3, task % Types + 1);
                sqlite3_bind_int(ins, 4, w);
                const QByteArray& date = due.at(w - 1);
                sqlite3_bind_text(ins, 5, date.constData(), int(date.size()), SQLITE_STATIC);
                sqlite3_step(ins);
                sqlite3_reset(ins);
            }
        }
        sqlite3_finalize(ins);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
}

const char* const AssignDigest =
    "SELECT count(*) || ':' || sum(assid * (taskid * 1000 + weeid) + locid * 31 + typid * 7 + "
    "length(duedate) + comphour + compmin + completed + coalesce(empid, 0)) FROM assign";

QByteArray digestText(const QString& path, const char* sql) {
    QByteArray text;
    stepRaw(path, sql, [&](sqlite3_stmt* s) {
        text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    });
    return text;
}

void benchYearGeneration(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("year generation: %d tasks scheduled every week ...\n", sizes.yearTasks);
    const QString site = dir + QStringLiteral("/yeargen.mdb");
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year - 1;
    o.everyWeek = true;
    bench::createSampleSite(site, o);
    const QString mine = dir + QStringLiteral("/yeargen-ours.mdb");
    const QString theirs = dir + QStringLiteral("/yeargen-raw.mdb");
    bool same = true;
    const qint64 raw = best(repeats, [&] {
        replaceFile(site, theirs);
        return timeRawYearInserts(theirs, sizes.yearTasks);
    });
    const qint64 ours = best(repeats, [&] {
        replaceFile(site, mine);
        ErrorTrap trap;
        state().dbMain = Database::open(mine);
        const qint64 ns = timed([] { CreateYearAssignments(Year); });
        state().dbMain.close();
        same = same && digestText(mine, AssignDigest) == digestText(theirs, AssignDigest);
        return ns;
    });
    const bool ok = verify(same, "generation wrote the rows of the raw inserts") &&
                    verify(bench::scalar(mine, "SELECT count(*) FROM assign") ==
                               qint64(sizes.yearTasks) * WeeksPerYear,
                           "one assignment per task and week");
    record({QStringLiteral("generate a year (%1 assignments)").arg(sizes.yearTasks * WeeksPerYear),
            ms(ours), QStringLiteral("raw prepared inserts"), ms(raw), 1.5, QStringLiteral("ms"),
            ok});
}

// The same year generated on the same site once without scheduling rules and once under a
// site calendar with a country's worth of holidays (fixed days, nth and last weekdays, days
// from Easter): the holidays move many weeks' due dates, and should cost next to nothing.
void benchYearGenerationWithHolidays(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("year generation under holidays: %d tasks scheduled every week ...\n",
                sizes.yearTasks);
    const QString site = dir + QStringLiteral("/yeargen-plain.mdb");
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year - 1;
    o.everyWeek = true;
    bench::createSampleSite(site, o);
    const QString withHolidays = dir + QStringLiteral("/yeargen-holidays.mdb");
    replaceFile(site, withHolidays);
    stepRaw(withHolidays,
            "INSERT INTO holidays (holname, holkind, holdate, holmonth, holday, holweekday, "
            "holnth, holoffset) VALUES ('New Year', 1, NULL, 1, 1, 1, 1, 0), ('Epiphany', 1, "
            "NULL, 1, 6, 1, 1, 0), ('Third Monday', 2, NULL, 1, 1, 1, 3, 0), ('Good Friday', 4, "
            "NULL, 1, 1, 1, 1, -2), ('Easter Monday', 4, NULL, 1, 1, 1, 1, 1), ('Ascension', 4, "
            "NULL, 1, 1, 1, 1, 39), ('Whit Monday', 4, NULL, 1, 1, 1, 1, 50), ('May Day', 2, "
            "NULL, 5, 1, 1, 1, 0), ('Spring', 3, NULL, 5, 1, 1, 1, 0), ('Summer', 3, NULL, 8, "
            "1, 1, 1, 0), ('Labour', 2, NULL, 9, 1, 1, 1, 0), ('Christmas', 1, NULL, 12, 25, 1, "
            "1, 0), ('Boxing Day', 1, NULL, 12, 26, 1, 1, 0), ('Closed', 0, '2027-07-05', 1, 1, "
            "1, 1, 0)",
            [](sqlite3_stmt*) {});
    const auto generate = [&](const QString& model, const QString& copy) {
        return best(repeats, [&] {
            replaceFile(model, copy);
            ErrorTrap trap;
            state().dbMain = Database::open(copy);
            const qint64 ns = timed([] { CreateYearAssignments(Year); });
            state().dbMain.close();
            return ns;
        });
    };
    const QString plainCopy = dir + QStringLiteral("/yeargen-plain-run.mdb");
    const QString holidayCopy = dir + QStringLiteral("/yeargen-holidays-run.mdb");
    const qint64 plain = generate(site, plainCopy);
    const qint64 ruled = generate(withHolidays, holidayCopy);
    const qint64 rows = qint64(sizes.yearTasks) * WeeksPerYear;
    // Week 1 of 2027 (Monday 4 January) is no holiday; the weeks of Easter Monday (29
    // March), Whit Monday (17 May) and the closed 5 July fall due on the Tuesday.
    const bool ok =
        verify(bench::scalar(holidayCopy, "SELECT count(*) FROM assign") == rows &&
                   bench::scalar(plainCopy, "SELECT count(*) FROM assign") == rows,
               "one assignment per task and week, with and without holidays") &&
        verify(bench::scalar(holidayCopy, "SELECT count(*) FROM assign WHERE duedate IN "
                                          "('2027-03-30', '2027-05-18', '2027-07-06')") ==
                   3 * qint64(sizes.yearTasks),
               "the holidays' weeks fall due on the Tuesday") &&
        verify(bench::scalar(plainCopy, "SELECT count(*) FROM assign WHERE duedate = "
                                        "'2027-03-29'") == qint64(sizes.yearTasks),
               "without rules the week falls due on its Monday");
    record({QStringLiteral("generate a year under holidays (%1 assignments)").arg(rows), ms(ruled),
            QStringLiteral("the same year without rules"), ms(plain), 1.2, QStringLiteral("ms"),
            ok});
}

// --- start-up ----------------------------------------------------------------------------

// The main window started on `folder` until its first task is shown; that task's name.
qint64 timeStartup(const QString& folder, QString* shown) {
    OwnedProgramState fresh; // every start begins from the values of a new process
    qint64 ns = 0;
    {
        QElapsedTimer t;
        t.start();
        frmMain window;
        installTaskEditor(window);
        window.setWorkFolder(folder);
        window.Form_Load();
        window.show();
        QCoreApplication::processEvents();
        auto* name = window.findChild<QLineEdit*>(QStringLiteral("txtTaskName"));
        *shown = name ? name->text() : QString();
        ns = t.nsecsElapsed();
        window.Form_Unload();
    }
    return ns;
}

QString firstTaskName(const QString& path) {
    QString name;
    stepRaw(path, "SELECT taskname FROM tasks ORDER BY taskname COLLATE NOCASE, taskid LIMIT 1",
            [&](sqlite3_stmt* s) {
                name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            });
    return name;
}

void benchStartup(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("start-up: %d tasks beside %d ...\n", sizes.startupTasks, StartupSmall);
    bool ok = true;
    auto makeSite = [&](const char* name, int tasks) {
        const QString folder = dir + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(folder);
        bench::SiteOptions o;
        o.tasks = tasks;
        o.year = Year;
        bench::createSampleSite(folder + QStringLiteral("/tavrel.mdb"), o);
        return folder;
    };
    const QString large = makeSite("startup-large", sizes.startupTasks);
    const QString small = makeSite("startup-small", StartupSmall);
    auto run = [&](const QString& folder) {
        const QString expected = firstTaskName(folder + QStringLiteral("/tavrel.mdb"));
        return best(repeats, [&] {
            QString shown;
            const qint64 ns = timeStartup(folder, &shown);
            ok = verify(shown == expected, "start-up shows the first task by name") && ok;
            return ns;
        });
    };
    run(small); // the first window of the process pays for fonts and styles: not measured
    const qint64 smallNs = run(small);
    const qint64 largeNs = run(large);
    record({QStringLiteral("start-up to the first task, %1 tasks").arg(sizes.startupTasks),
            ms(largeNs), QStringLiteral("the same with %1 tasks").arg(StartupSmall), ms(smallNs),
            1.5, QStringLiteral("ms"), ok});
}

// --- the assignment editor -----------------------------------------------------------------

// The editor opened on the current year of dbMain until its first row is shown.
qint64 timeEditorOpen(const QString& path, QString* firstDue) {
    OwnedProgramState fresh;
    ErrorTrap trap;
    state().dbMain = Database::open(path);
    state().CurYear = Year;
    qint64 ns = 0;
    {
        QElapsedTimer t;
        t.start();
        frmAssign form;
        form.Form_Load();
        form.show();
        QCoreApplication::processEvents();
        ns = t.nsecsElapsed();
        *firstDue =
            form.recordset().isOpen() && !form.recordset().isEOF()
                ? form.recordset().value(QStringLiteral("duedate")).toDate().toString(Qt::ISODate)
                : QString();
    }
    state().dbMain.close();
    return ns;
}

// Run in a process of its own: the peak memory of opening the editor on `path`.
int editorMemoryChild(const QString& path) {
    QString due;
    timeEditorOpen(path, &due);
    std::printf("%lld\n", static_cast<long long>(bench::peakRssKiB()));
    return 0;
}

qint64 editorPeakKiB(const QString& program, const QString& path) {
    QProcess child;
    child.start(program, {QStringLiteral("--editor-memory"), path});
    child.waitForFinished(ToolTimeoutMs);
    return child.readAllStandardOutput().trimmed().toLongLong();
}

void benchEditor(const QString& site, const QString& emptyYear, int rows, int repeats) {
    std::printf("assignment editor: %d uncompleted assignments of the year ...\n", rows);
    QString due;
    timeEditorOpen(site, &due); // warms the file's pages as the raw read finds them
    const qint64 ours = best(repeats, [&] { return timeEditorOpen(site, &due); });
    const QByteArray keys = "SELECT rowid FROM assign WHERE duedate >= '" +
                            QByteArray::number(Year) + "-01-01' AND duedate <= '" +
                            QByteArray::number(Year) + "-12-31' AND NOT completed ORDER BY duedate";
    int rawRows = 0;
    const qint64 raw = best(repeats, [&] {
        rawRows = 0;
        return timed([&] { stepRaw(site, keys, [&](sqlite3_stmt*) { ++rawRows; }); });
    });
    const bool ok = verify(rawRows == rows, "the raw query finds every assignment") &&
                    verify(due == weekMondays(Year).first().toString(Qt::ISODate),
                           "the editor shows the first assignment by due date");
    record({QStringLiteral("open the assignment editor"), ms(ours),
            QStringLiteral("raw select rowid by duedate"), ms(raw), 3.0, QStringLiteral("ms"), ok});

    const QString self = QCoreApplication::applicationFilePath();
    const qint64 emptyKiB = editorPeakKiB(self, emptyYear);
    const qint64 fullKiB = editorPeakKiB(self, site);
    const double extraMiB = double(fullKiB - emptyKiB) / double(KiB);
    constexpr double LimitMiB = 64;
    std::printf("  peak memory: %.1f MiB on the full year, %.1f MiB on an empty one\n",
                double(fullKiB) / double(KiB), double(emptyKiB) / double(KiB));
    // Shown as a ratio of the allowance so that it sits in the summary like the others.
    record({QStringLiteral("editor memory beyond an empty year"), extraMiB,
            QStringLiteral("allowance"), LimitMiB, 1.0, QStringLiteral("MiB"),
            verify(emptyKiB > 0 && fullKiB > 0, "both peaks measured")});
    Q_UNUSED(MiB);
}

// --- the Overdue report ---------------------------------------------------------------------

void benchOverdue(const QString& dir, const QString& site, int rows, int repeats,
                  bench::BenchUi& ui) {
    std::printf("overdue report: %d overdue assignments to a text file ...\n", rows);
    ui.setToday(QDate(Year + 1, 1, 10));
    const QString ourFile = dir + QStringLiteral("/overdue.txt");
    const QString toolFile = dir + QStringLiteral("/overdue-tool.txt");
    const qint64 ours = best(repeats, [&] {
        ErrorTrap trap;
        state().dbMain = Database::open(site);
        const qint64 ns = timed([&] { runStandardReport(overdueReport(), {ourFile}); });
        state().dbMain.close();
        return ns;
    });
    const QString sql = QString::fromUtf8(translated(overdueReport().sql));
    const qint64 tool = best(repeats, [&] {
        return timeSqliteTool({QStringLiteral("-separator"), QStringLiteral("\t"), site, sql},
                              toolFile);
    });
    const bool ok = verify(lineCount(ourFile) == rows && lineCount(toolFile) == rows,
                           "both files hold one line per overdue assignment");
    record({QStringLiteral("Overdue report to a text file"), ms(ours),
            QStringLiteral("sqlite3 tool, tab-separated"), ms(tool), 2.0, QStringLiteral("ms"),
            ok});
    ui.setToday(QDate(Year, 1, 4));
}

// --- calendar file -------------------------------------------------------------------------

// Every assignment of the site as an iCalendar event, each made by libical and written as it
// is read, beside the same rows of the same query written as a standard report's text file
// (a tab-separated line of the same fields each).
void benchCalendar(const QString& dir, const QString& site, int rows, int repeats,
                   bench::BenchUi& ui) {
    std::printf("calendar: %d assignments to an .ics file and to a text report ...\n", rows);
    const QString ics = dir + QStringLiteral("/site.ics");
    const QString txt = dir + QStringLiteral("/site.txt");
    const QString siteId = QStringLiteral("0b7c1f5e-3c59-4a34-9a77-1d1f0e0f6a10");
    CalendarOutcome outcome;
    const qint64 ours = best(repeats, [&] {
        ErrorTrap trap;
        state().dbMain = Database::open(site);
        const qint64 ns =
            timed([&] { outcome = exportCalendar(state().dbMain, {}, ics, ui.now(), siteId); });
        state().dbMain.close();
        return ns;
    });
    StandardReport report;
    report.format = QStringLiteral("800|1000|1000|1000|1000|1000|1000|800|800|800|800|800|800;");
    report.title = QStringLiteral("Calendar rows");
    report.fileRowEnd = FileRowEnd::Nothing;
    report.sql = calendarSql({}, {});
    report.noRowsText = QStringLiteral("No rows.");
    report.writeRows = [](Recordset& r, ReportOutput& out) {
        static const char* const fields[] = {
            "assid",   "taskname",  "taskdesc", "tools",    "results", "locdesc", "typdesc",
            "duedate", "completed", "compdate", "comphour", "compmin", "lastname"};
        for (; !r.isEOF(); r.moveNext()) {
            CellRow row;
            for (const char* field : fields)
                row.append(Cell::ofText(r.value(QLatin1String(field)).toString()));
            out.row(row);
        }
    };
    const qint64 base = best(repeats, [&] {
        ErrorTrap trap;
        state().dbMain = Database::open(site);
        const qint64 ns = timed([&] { runStandardReport(report, {txt}); });
        state().dbMain.close();
        return ns;
    });
    QFile file(ics);
    qint64 events = 0;
    if (file.open(QIODevice::ReadOnly))
        while (!file.atEnd())
            if (file.readLine().startsWith("BEGIN:VEVENT"))
                ++events;
    std::printf("  files: .ics %.1f MiB, text %.1f MiB\n", double(QFileInfo(ics).size()) / MiB,
                double(QFileInfo(txt).size()) / MiB);
    record({QStringLiteral("%1 assignments to an .ics file").arg(rows), ms(ours),
            QStringLiteral("the same rows as a text report"), ms(base), 2.0, QStringLiteral("ms"),
            verify(outcome.written && outcome.entries == rows && events == rows &&
                       lineCount(txt) == rows,
                   "one event and one text line per assignment")});
}

// --- walking a join ---------------------------------------------------------------------------

// Our recordset over `jet` walked with moveNext, reading the task name and due date of every
// row, beside raw SQLite stepping the same query and reading the same two columns.
void benchWalk(const QString& site, const QString& what, const QString& jet, RecordsetType type,
               int rows, int repeats) {
    qint64 ourSum = 0;
    int ourRows = 0;
    auto ourWalk = [&] {
        ErrorTrap trap;
        Database db = Database::open(site);
        ourSum = 0;
        ourRows = 0;
        return timed([&] {
            Recordset rs = db.openRecordset(jet, type);
            while (!rs.isEOF()) {
                ourSum += rs.value(QStringLiteral("taskname")).toString().size();
                ourSum += rs.value(QStringLiteral("duedate")).toDate().day();
                ++ourRows;
                rs.moveNext();
            }
        });
    };
    ourWalk();
    const qint64 ours = best(repeats, ourWalk);
    const QByteArray sql = translated(jet);
    qint64 rawSum = 0;
    const qint64 raw = best(repeats, [&] {
        rawSum = 0;
        return timed([&] {
            int name = -1;
            int due = -1;
            stepRaw(site, sql, [&](sqlite3_stmt* s) {
                if (name < 0) {
                    for (int c = 0; c < sqlite3_column_count(s); ++c) {
                        const QByteArray n = sqlite3_column_name(s, c);
                        if (n.compare("taskname", Qt::CaseInsensitive) == 0)
                            name = c;
                        else if (n.compare("duedate", Qt::CaseInsensitive) == 0 && due < 0)
                            due = c;
                    }
                }
                rawSum +=
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, name)))
                        .size();
                rawSum += QDate::fromString(QString::fromUtf8(reinterpret_cast<const char*>(
                                                sqlite3_column_text(s, due))),
                                            Qt::ISODate)
                              .day();
            });
        });
    });
    const bool ok = verify(ourRows == rows, "the recordset holds every row") &&
                    verify(ourSum == rawSum, "both walks read the same values");
    record({what, ms(ours), QStringLiteral("stepping the raw query"), ms(raw), 1.5,
            QStringLiteral("ms"), ok});
}

// --- report layout and PDF ------------------------------------------------------------------

const QString MasterFormat = QStringLiteral("1240|3800|>700|>900|2880;");
const QStringList MasterHeading{QStringLiteral("Date Due"), QStringLiteral("Task Name"),
                                QStringLiteral("Hours"), QStringLiteral("Minutes"),
                                QStringLiteral("Employee")};

// The cells of row `i`.
QStringList masterRow(int i) {
    const QString name = i % 10 == 0 ? QStringLiteral("Inspect and clean the cooling tower "
                                                      "basin, strainers and drift eliminators %1")
                                           .arg(i)
                                     : QStringLiteral("Boiler %1").arg(i);
    return {QStringLiteral("3/%1/2005").arg(i % 28 + 1), name, QString::number(i % 9),
            QString::number(i % 60), QStringLiteral("Dana Whitfield")};
}

// Lays out `rows` master-list rows with the headings on every page.
qint64 layOut(ReportDocument& doc, int rows) {
    doc.setPageStartHook(
        [&doc] { doc.AddTableRows(MasterFormat, headingRows(MasterHeading), {}); });
    doc.SetPageHeader(QStringLiteral("|Master List by Week|Page %d"));
    return timed([&] {
        doc.BeginDocument();
        for (int i = 0; i < rows; ++i)
            doc.AddTableRow(MasterFormat, textRow(masterRow(i)));
        doc.EndDocument();
    });
}

// The same cells drawn by Qt at fixed positions, `rowsPerPage` rows a page, without our
// layout: the floor of any PDF of this text.
qint64 timePlainPdf(const QString& path, int rows, int rowsPerPage) {
    constexpr int Resolution = 1200;
    constexpr double TwipsPerInch = 1440;
    constexpr double FontPoints = 11.25;
    constexpr int Columns = 5;
    const int widths[Columns] = {1240, 3800, 700, 900, 2880};
    return timed([&] {
        QPdfWriter writer(path);
        writer.setResolution(Resolution);
        QPainter painter(&writer);
        QFont font(QStringLiteral("Liberation Serif"));
        font.setPointSizeF(FontPoints);
        painter.setFont(font);
        const double scale = Resolution / TwipsPerInch;
        const double line = QFontMetricsF(font, &writer).height();
        for (int i = 0; i < rows; ++i) {
            if (i > 0 && i % rowsPerPage == 0)
                writer.newPage();
            const double y = line * (i % rowsPerPage + 1);
            const QStringList cells = masterRow(i);
            double x = 0;
            for (int c = 0; c < Columns; ++c) {
                painter.drawText(QRectF(x, y, widths[c] * scale, line), Qt::AlignLeft,
                                 cells.value(c));
                x += widths[c] * scale;
            }
        }
        painter.end();
    });
}

void benchLayout(const QString& dir, const Sizes& sizes, int repeats) {
    const int largeRows = sizes.layoutSmall * LayoutGrowth;
    std::printf("report layout: %d and %d rows; a %d-page PDF ...\n", sizes.layoutSmall, largeRows,
                sizes.pdfPages);
    int smallPages = 0;
    const qint64 small = best(repeats, [&] {
        ReportDocument doc;
        const qint64 ns = layOut(doc, sizes.layoutSmall);
        smallPages = doc.pageCount();
        return ns;
    });
    int largePages = 0;
    const qint64 large = best(repeats, [&] {
        ReportDocument doc;
        const qint64 ns = layOut(doc, largeRows);
        largePages = doc.pageCount();
        return ns;
    });
    record({QStringLiteral("lay out %1 rows (%2 pages)").arg(largeRows).arg(largePages), ms(large),
            QStringLiteral("%1 rows (%2 pages)").arg(sizes.layoutSmall).arg(smallPages), ms(small),
            double(LayoutGrowth) * 1.2, QStringLiteral("ms"),
            verify(largePages > smallPages, "the large document has more pages")});

    // Enough rows for the pages asked for, at the rows a page the layout gave.
    const int rowsPerPage = qMax(1, sizes.layoutSmall / qMax(1, smallPages));
    const int pdfRows = rowsPerPage * sizes.pdfPages;
    ReportDocument doc;
    layOut(doc, pdfRows);
    const QString ourPdf = dir + QStringLiteral("/layout.pdf");
    const QString plainPdf = dir + QStringLiteral("/plain.pdf");
    bool written = true;
    const qint64 ours =
        best(repeats, [&] { return timed([&] { written = printToPdf(doc, ourPdf) && written; }); });
    const qint64 plain =
        best(repeats, [&] { return timePlainPdf(plainPdf, pdfRows, rowsPerPage); });
    record({QStringLiteral("write a %1-page PDF").arg(doc.pageCount()), ms(ours),
            QStringLiteral("Qt drawing the same text"), ms(plain), 2.0, QStringLiteral("ms"),
            verify(written && QFileInfo(ourPdf).size() > 0, "the PDF was written")});
}

// --- schema upgrade ---------------------------------------------------------------------------

void benchUpgrade(const QString& dir, const Sizes& sizes, int repeats) {
    constexpr int Tasks = 1000;
    std::printf("schema upgrade: an old file with %d assignments ...\n", sizes.upgradeRows);
    const QString original = dir + QStringLiteral("/old.mdb");
    bench::createOldFormatFile(original, Tasks, sizes.upgradeRows);
    const QString mine = dir + QStringLiteral("/old-ours.mdb");
    const QString theirs = dir + QStringLiteral("/old-raw.mdb");
    const qint64 ours = best(repeats, [&] {
        replaceFile(original, mine);
        return timed([&] {
            ErrorTrap trap;
            state().dbMain = Database::open(mine);
            AddAssignCodeColumns();
            state().dbMain.close();
        });
    });
    const qint64 raw = best(repeats, [&] {
        replaceFile(original, theirs);
        return timed([&] {
            bench::exec(theirs, "PRAGMA cache_size = -65536;"
                                "BEGIN IMMEDIATE;"
                                "ALTER TABLE assign ADD COLUMN LocID LONG;"
                                "ALTER TABLE assign ADD COLUMN TypID LONG;"
                                "UPDATE assign SET "
                                "locid = (SELECT locid FROM tasks WHERE tasks.taskid = "
                                "assign.taskid), "
                                "typid = (SELECT typid FROM tasks WHERE tasks.taskid = "
                                "assign.taskid) "
                                "WHERE taskid IN (SELECT taskid FROM tasks);"
                                "COMMIT;");
        });
    });
    const char* digest = "SELECT count(*) || ':' || sum(assid * (coalesce(locid, -1) * 100 + "
                         "coalesce(typid, -1))) FROM assign";
    record({QStringLiteral("upgrade %1 assignments").arg(sizes.upgradeRows), ms(ours),
            QStringLiteral("raw set-based update"), ms(raw), 1.5, QStringLiteral("ms"),
            verify(digestText(mine, digest) == digestText(theirs, digest),
                   "both filled the same locations and types")});
}

// --- reading a report file ------------------------------------------------------------------

// A report file whose criteria line holds one very long "starts with" text, as a file
// edited by hand or by another program may: reading it must stay linear in its size.
void benchReportFile(const QString& dir, int repeats) {
    constexpr qint64 CriteriaBytes = 10 * MiB;
    constexpr int TaskNameId = 2; // the catalogue's "Task Name"
    std::printf("report file: a criteria line of %lld MiB ...\n",
                static_cast<long long>(CriteriaBytes / MiB));
    const QString specPath = dir + QStringLiteral("/rptspec.mdb");
    QString error;
    if (!QFileInfo::exists(specPath) && !createCatalogueDatabase(specPath, &error))
        qFatal("cannot create the catalogue: %s", qPrintable(error));
    Database specDb = Database::open(specPath);
    const Catalogue catalogue = Catalogue::load(specDb, QStringLiteral("tasks"));
    ReportDefinition written = resetReport(catalogue);
    written.fields = {TaskNameId};
    const QString words = QStringLiteral("Ventil \u00d8st, Kessel \u00e4 ");
    written.setting(TaskNameId).StartsWith = words.repeated(CriteriaBytes / words.toUtf8().size());
    const QString path = dir + QStringLiteral("/long.rpt");
    writeReportFile(path, written, catalogue);
    ReportFileRead read;
    const qint64 ours = best(repeats, [&] {
        return timed([&] { read = readReportFile(path, QStringLiteral("tasks"), specDb); });
    });
    specDb.close();
    constexpr double LimitMs = 1000;
    record({QStringLiteral("read a report file of %1 MiB").arg(CriteriaBytes / MiB), ms(ours),
            QStringLiteral("limit"), LimitMs, 1.0, QStringLiteral("ms"),
            verify(read.outcome == ReportFileRead::Read && read.report == written,
                   "the file read back as written")});
}

// --- spreadsheets ------------------------------------------------------------------------------

// The Expense Report of a year of about `rows` completed assignments, as an Excel workbook
// beside the same report as CSV: typed cells, formats and the packing of the workbook are
// what the workbook costs over the text.
void benchSpreadsheet(const QString& dir, int rows, int repeats) {
    bench::SiteOptions o;
    o.tasks = (rows + WeeksPerYear - 1) / WeeksPerYear;
    o.year = Year;
    o.everyWeek = true;
    o.historyYears = 1;
    const QString site = dir + QStringLiteral("/spreadsheet.mdb");
    bench::createSampleSite(site, o);
    const qint64 reported =
        bench::scalar(site, "SELECT count(*) FROM assign WHERE completed AND totalcost <> 0");
    std::printf("spreadsheet: the Expense Report of %lld rows as XLSX and as CSV ...\n",
                static_cast<long long>(reported));
    state().ReportStartDate = QDate(Year - 1, 1, 1);
    state().ReportEndDate = QDate(Year - 1, 12, 31);
    const auto write = [&](const QString& path) {
        return best(repeats, [&] {
            ErrorTrap trap;
            state().dbMain = Database::open(site);
            const qint64 ns = timed([&] { runStandardReport(expenseReport(), {path}); });
            state().dbMain.close();
            return ns;
        });
    };
    const QString csv = dir + QStringLiteral("/expenses.csv");
    const QString xlsx = dir + QStringLiteral("/expenses.xlsx");
    const qint64 csvNs = write(csv);
    const qint64 xlsxNs = write(xlsx);
    QFile workbook(xlsx);
    const bool zipped = workbook.open(QIODevice::ReadOnly) && workbook.read(2) == "PK";
    std::printf("  files: CSV %.1f MiB, XLSX %.1f MiB\n", double(QFileInfo(csv).size()) / MiB,
                double(QFileInfo(xlsx).size()) / MiB);
    record({QStringLiteral("Expense Report of %1 rows as XLSX").arg(reported), ms(xlsxNs),
            QStringLiteral("the same report as CSV"), ms(csvNs), 3.0, QStringLiteral("ms"),
            verify(reported >= rows && lineCount(csv) == reported + 1 && zipped,
                   "the CSV holds a line a row and the heading; the workbook is written")});
}

// --- dashboard -----------------------------------------------------------------------------------

// The site of the dashboard's benchmark: a year of `tasks` x 52 assignments before Year, all
// completed, and Year-1's last day as today, on which the window opens.
bench::SiteOptions dashboardSite(const Sizes& sizes) {
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year;
    o.everyWeek = true;
    o.historyYears = 1;
    return o;
}

// The dashboard opened on `site` (a file or a server's URL), its figures read and its six
// charts drawn, beside `raw`: its aggregate queries run without the program's layers.
// `ended` is how many assignments are due in the weeks ended, which the on-time chart counts.
void timeDashboard(const QString& what, const QString& site, qint64 ended, int repeats,
                   const std::function<qint64(qint64* rows)>& raw) {
    qint64 counted = 0;
    bool drawn = false;
    const auto open = [&] {
        ErrorTrap trap;
        state().dbMain = Database::open(site);
        const qint64 ns = timed([&] {
            frmDashboard form;
            form.show();
            QCoreApplication::processEvents();
            counted = 0;
            for (const OnTimeMonth& month : form.figures().onTime)
                counted += month.due;
            drawn = form.figures().read && form.chartView(0)->chart() &&
                    !form.chartView(0)->chart()->series().isEmpty();
        });
        state().dbMain.close();
        return ns;
    };
    open(); // the first window pays for fonts and styles
    const qint64 ours = best(repeats, open);
    qint64 rawRows = 0;
    const qint64 base = best(repeats, [&] { return raw(&rawRows); });
    record({what, ms(ours), QStringLiteral("its raw aggregate queries"), ms(base), 1.5,
            QStringLiteral("ms"),
            verify(drawn && counted == ended && rawRows > 0,
                   "the charts are drawn and count every assignment of the weeks ended")});
}

void benchDashboard(const QString& dir, const Sizes& sizes, int repeats, bench::BenchUi& ui) {
    const QString site = dir + QStringLiteral("/dashboard.mdb");
    bench::createSampleSite(site, dashboardSite(sizes));
    const qint64 rows = bench::scalar(site, "SELECT count(*) FROM assign");
    std::printf("dashboard: a year of %lld assignments ...\n", static_cast<long long>(rows));
    ui.setToday(QDate(Year - 1, 12, 31));
    state().AppPath = dir + QLatin1Char('/');
    const QByteArray endedSql = "SELECT count(*) FROM assign WHERE duedate <= '" +
                                lastWeekEndBefore(ui.today()).toString(Qt::ISODate).toUtf8() + "'";
    // The program's Nz is a function of its connections; a numeric default is ifnull's.
    QList<QByteArray> queries;
    for (const QString& jet : dashboardQueries(QDate(Year - 1, 1, 1), QDate(Year - 1, 12, 31)))
        queries << translated(jet).replace("jetnz(", "ifnull(");
    timeDashboard(QStringLiteral("open the dashboard on %1 assignments").arg(rows), site,
                  bench::scalar(site, endedSql.constData()), repeats, [&](qint64* rawRows) {
                      *rawRows = 0;
                      return timed([&] {
                          for (const QByteArray& sql : queries)
                              stepRaw(site, sql, [&](sqlite3_stmt* stmt) {
                                  for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                                      sqlite3_column_value(stmt, c);
                                  ++*rawRows;
                              });
                      });
                  });
    ui.setToday(QDate(Year, 1, 4));
}

// --- repair -----------------------------------------------------------------------------------

// The task keys that can still be read by key in a damaged file.
QList<qint64> readableTaskKeys(const QString& path, int tasks) {
    QList<qint64> keys;
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM tasks WHERE taskid = ?1", -1, &stmt, nullptr);
    for (int t = 1; t <= tasks; ++t) {
        sqlite3_bind_int(stmt, 1, t);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            keys << t;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return keys;
}

bool keepsKeys(const QString& path, const QList<qint64>& keys) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM tasks WHERE taskid = ?1", -1, &stmt, nullptr);
    bool all = stmt != nullptr;
    for (qint64 k : keys) {
        sqlite3_bind_int64(stmt, 1, k);
        all = all && sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return all;
}

void benchRepair(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("repair: %d tasks with a damaged page ...\n", sizes.repairTasks);
    const QString damaged = dir + QStringLiteral("/damaged.mdb");
    bench::SiteOptions o;
    o.tasks = sizes.repairTasks;
    o.year = Year;
    bench::createSampleSite(damaged, o);
    const bool broke = bench::damageLeafPage(damaged, "tasks");
    const QList<qint64> readable = readableTaskKeys(damaged, sizes.repairTasks);
    std::printf("  %lld of %d tasks readable by key\n", static_cast<long long>(readable.size()),
                sizes.repairTasks);
    const QString folder = dir + QStringLiteral("/repair");
    const QString mine = folder + QStringLiteral("/tavrel.mdb");
    bool repaired = true;
    const qint64 ours = best(repeats, [&] {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        replaceFile(damaged, mine);
        return timed([&] { repaired = !Database::repair(mine, Year).isEmpty() && repaired; });
    });
    const QString recovered = dir + QStringLiteral("/recovered.sql");
    const QString theirs = dir + QStringLiteral("/recovered.mdb");
    auto toolRun = [&](const QString& command) {
        QFile::remove(theirs);
        const qint64 dump = timeSqliteTool({damaged, command}, recovered);
        QFile script(recovered);
        script.open(QIODevice::ReadOnly);
        QString text = QString::fromUtf8(script.readAll());
        // .dump ends a dump that met damage with a rollback: what it read is kept instead.
        text.replace(QStringLiteral("ROLLBACK; -- due to errors"), QStringLiteral("COMMIT;"));
        return dump + timeSqliteTool({theirs}, QStringLiteral("/dev/null"), text);
    };
    // A sqlite3 built without the sqlite_dbpage table (Debian 12's) has a .recover that
    // writes nothing: .dump, which also reads past damaged pages, stands in for it then.
    QString command = QStringLiteral(".recover");
    toolRun(command);
    if (bench::scalar(theirs, "SELECT count(*) FROM tasks") <= 0) {
        command = QStringLiteral(".dump");
        std::printf("  this sqlite3 cannot .recover (no sqlite_dbpage): timing .dump instead\n");
    }
    const qint64 tool = best(repeats, [&] { return toolRun(command); });
    std::printf("  tasks kept: ours %lld, sqlite3 %s %lld\n",
                static_cast<long long>(bench::scalar(mine, "SELECT count(*) FROM tasks")),
                qPrintable(command),
                static_cast<long long>(bench::scalar(theirs, "SELECT count(*) FROM tasks")));
    const bool ok = verify(broke && readable.size() < sizes.repairTasks, "a page was damaged") &&
                    verify(repaired, "the repair succeeded") &&
                    verify(keepsKeys(mine, readable), "every task readable by key was kept") &&
                    verify(bench::scalar(theirs, "SELECT count(*) FROM tasks") > 0,
                           "the sqlite3 tool recovered tasks too");
    record({QStringLiteral("repair %1 tasks").arg(sizes.repairTasks), ms(ours),
            QStringLiteral("sqlite3 %1 into a file").arg(command), ms(tool), 3.0,
            QStringLiteral("ms"), ok});
}

// Runs a program and returns how long it took; stops the benchmark when it fails.
qint64 timeProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    QElapsedTimer t;
    t.start();
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return t.nsecsElapsed();
}

// The online backup API in steps of `pages` pages: the whole copy, and the longest and the
// middle step (how long a save on another connection may have to wait), each the best of
// `repeats` runs: the measurement behind the engine's step size.
void stepSizeSweep(const QString& site, const QString& copy, int repeats) {
    std::printf("  pages a step   whole copy   longest step   middle step   steps\n");
    for (int pages : {16, 64, 256, 1024, 4096, -1}) {
        qint64 all = std::numeric_limits<qint64>::max();
        qint64 longest = std::numeric_limits<qint64>::max();
        qint64 middle = std::numeric_limits<qint64>::max();
        int steps = 0;
        bool done = true;
        for (int i = 0; i < repeats; ++i) {
            QFile::remove(copy);
            sqlite3* from = nullptr;
            sqlite3* to = nullptr;
            sqlite3_open_v2(QFile::encodeName(site).constData(), &from, SQLITE_OPEN_READONLY,
                            nullptr);
            sqlite3_open(QFile::encodeName(copy).constData(), &to);
            sqlite3_exec(to, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr,
                         nullptr, nullptr);
            sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
            std::vector<qint64> times;
            QElapsedTimer whole;
            whole.start();
            int rc = SQLITE_OK;
            while (rc == SQLITE_OK) {
                QElapsedTimer step;
                step.start();
                rc = sqlite3_backup_step(backup, pages);
                times.push_back(step.nsecsElapsed());
            }
            sqlite3_backup_finish(backup);
            all = qMin(all, whole.nsecsElapsed());
            sqlite3_close(to);
            sqlite3_close(from);
            std::sort(times.begin(), times.end());
            longest = qMin(longest, times.back());
            middle = qMin(middle, times[times.size() / 2]);
            steps = int(times.size());
            done = done && rc == SQLITE_DONE;
        }
        std::printf("  %11d %10.1f ms %11.2f ms %10.2f ms %7d%s\n", pages, ms(all), ms(longest),
                    ms(middle), steps, done ? "" : "  FAILED");
    }
}

// A backup of a site of 520,000 assignments beside `cp` and `sync` of the same file, in the
// same run. The backup's own check (quick_check of the copy) is timed apart: the copy
// (written, synced, renamed) is held to the limit, the check is reported beside it.
void benchBackup(const QString& dir, const Sizes& sizes, int repeats) {
    const int rows = sizes.yearTasks * WeeksPerYear;
    std::printf("backup: a site of %d tasks with %d assignments ...\n", sizes.yearTasks, rows);
    const QString site = dir + QStringLiteral("/backup-site.mdb");
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year;
    o.everyWeek = true;
    o.currentYear = true;
    bench::createSampleSite(site, o);
    std::printf("  the file: %.1f MiB\n", double(QFileInfo(site).size()) / MiB);
    stepSizeSweep(site, dir + QStringLiteral("/sweep.mdb"), repeats);

    const QString folder = dir + QStringLiteral("/backups");
    const QString plain = dir + QStringLiteral("/plain-copy.mdb");
    QElapsedTimer clock;
    qint64 copiedAt = 0;
    qint64 checkedAt = 0;
    qint64 syncedAt = 0;
    ConnectionHooks hooks;
    hooks.path = site;
    hooks.copyPoint = [&](const char* point) {
        if (std::strcmp(point, "copied") == 0)
            copiedAt = clock.nsecsElapsed();
        else if (std::strcmp(point, "checked") == 0)
            checkedAt = clock.nsecsElapsed();
        else if (std::strcmp(point, "synced") == 0)
            syncedAt = clock.nsecsElapsed();
    };
    QString phases; // of the fastest run
    qint64 ours = std::numeric_limits<qint64>::max();
    qint64 check = std::numeric_limits<qint64>::max();
    qint64 theirs = std::numeric_limits<qint64>::max();
    bool ok = true;
    QString made;
    for (int i = 0; i < repeats; ++i) {
        // Ours and theirs in turns, so that both meet the same state of the disk's cache.
        QDir(folder).removeRecursively();
        setConnectionHooks(hooks);
        clock.start();
        const BackupResult r = makeBackup(site, folder, QStringLiteral("manual"),
                                          QDateTime(QDate(Year, 1, 4), QTime(9, 0, i)));
        const qint64 total = clock.nsecsElapsed();
        setConnectionHooks({});
        ok = verify(r.ok(), qPrintable(r.error)) && ok;
        made = r.path;
        if (total - (checkedAt - copiedAt) < ours)
            phases = QStringLiteral("copy %1 ms, access and sync %2 ms, name and folder's sync "
                                    "%3 ms")
                         .arg(ms(copiedAt), 0, 'f', 1)
                         .arg(ms(syncedAt - checkedAt), 0, 'f', 1)
                         .arg(ms(total - syncedAt), 0, 'f', 1);
        ours = qMin(ours, total - (checkedAt - copiedAt));
        check = qMin(check, checkedAt - copiedAt);
        QFile::remove(plain);
        theirs = qMin(theirs, timeProgram(QStringLiteral("cp"), {site, plain}) +
                                  timeProgram(QStringLiteral("sync"), {plain}));
    }
    ok = verify(bench::scalar(made, "SELECT count(*) FROM assign") == rows,
                "the backup holds every assignment") &&
         ok;
    std::printf("  the backup without its check: %s\n", qPrintable(phases));
    std::printf("  the backup's check (quick_check of the copy): %.1f ms, %.2f x cp and sync\n",
                ms(check), double(check) / double(theirs));
    record({QStringLiteral("backup of %1 assignments").arg(rows), ms(ours),
            QStringLiteral("cp and sync of the file"), ms(theirs), 1.5, QStringLiteral("ms"), ok});
}

// --- the work list ------------------------------------------------------------------------

WorkListFilter overdueFilter() {
    WorkListFilter overdue;
    overdue.period = WorkPeriod::Overdue;
    return overdue;
}

// The work list opened on overdue work until its first rows are painted: the first row's
// due date and the count.
qint64 timeWorkListOpen(const QString& path, QString* firstDue, int* counted) {
    OwnedProgramState fresh;
    ErrorTrap trap;
    state().dbMain = Database::open(path);
    state().CurYear = Year;
    qint64 ns = 0;
    {
        QElapsedTimer t;
        t.start();
        frmWorkList list(nullptr, overdueFilter());
        list.show();
        QCoreApplication::processEvents();
        ns = t.nsecsElapsed();
        *firstDue = list.model()->index(0, ColDueDate).data().toString();
        *counted = list.model()->rowCount();
    }
    state().dbMain.close();
    return ns;
}

// Raw SQLite on one connection: the count and the first page of the same queries, every
// column of each row read.
qint64 timeRawFirstPage(const QString& path, const QByteArray& count, const QByteArray& page,
                        int* rows) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
    qint64 sum = 0;
    const qint64 ns = timed([&] {
        for (const QByteArray* sql : {&count, &page}) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql->constData(), -1, &stmt, nullptr) != SQLITE_OK)
                qFatal("%s: %s", sql->constData(), sqlite3_errmsg(db));
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    sum += sqlite3_column_bytes(stmt, c);
                if (sql == &page)
                    ++*rows;
            }
            sqlite3_finalize(stmt);
        }
    });
    sqlite3_close(db);
    Q_UNUSED(sum);
    return ns;
}

void benchWorkListOpen(const QString& site, int rows, int repeats, bench::BenchUi& ui) {
    std::printf("work list: opened on %d overdue assignments ...\n", rows);
    ui.setToday(QDate(Year + 1, 1, 10));
    QString due;
    int counted = 0;
    timeWorkListOpen(site, &due, &counted); // the first window pays for fonts and styles
    const qint64 ours = best(repeats, [&] { return timeWorkListOpen(site, &due, &counted); });
    const QDate today = ui.today();
    const QByteArray count = translated(workListCountSql(overdueFilter(), today));
    const QByteArray page = translated(
        workListPageSql(overdueFilter(), today, ColDueDate, false, 0, WorkListModel::PageSize));
    int rawRows = 0;
    const qint64 raw = best(repeats, [&] {
        rawRows = 0;
        return timeRawFirstPage(site, count, page, &rawRows);
    });
    const bool ok = verify(counted == rows, "the list counts every overdue assignment") &&
                    verify(rawRows == WorkListModel::PageSize, "the raw page holds a page") &&
                    verify(due == shortDate(weekMondays(Year).first()),
                           "the list shows the first assignment by due date");
    record({QStringLiteral("open the work list on overdue"), ms(ours),
            QStringLiteral("raw count and first 200 rows"), ms(raw), 1.5, QStringLiteral("ms"),
            ok});
    ui.setToday(QDate(Year, 1, 4));
}

// Run in a process of its own: the peak memory of opening the work list on overdue work of
// `path` and going to its last row; prints the peak and the last row's due date.
int workListMemoryChild(const QString& path, bench::BenchUi& ui) {
    ui.setToday(QDate(Year + 1, 1, 10));
    ErrorTrap trap;
    state().dbMain = Database::open(path);
    state().CurYear = Year;
    QString last;
    {
        frmWorkList list(nullptr, overdueFilter());
        list.show();
        QCoreApplication::processEvents();
        const int rows = list.model()->rowCount();
        if (rows > 0) {
            const QModelIndex end = list.model()->index(rows - 1, ColDueDate);
            list.grdWork->setCurrentIndex(end);
            list.grdWork->scrollTo(end);
            QCoreApplication::processEvents();
            last = end.data().toString();
        }
    }
    state().dbMain.close();
    std::printf("%lld %s\n", static_cast<long long>(bench::peakRssKiB()), qPrintable(last));
    return 0;
}

void benchWorkListScroll(const QString& site, const QString& emptyYear) {
    std::printf("work list: scrolled to the end ...\n");
    const QString self = QCoreApplication::applicationFilePath();
    const auto run = [&](const QString& path) {
        QProcess child;
        child.start(self, {QStringLiteral("--worklist-memory"), path});
        child.waitForFinished(ToolTimeoutMs);
        return QString::fromUtf8(child.readAllStandardOutput().trimmed()).split(u' ');
    };
    const QStringList empty = run(emptyYear);
    const QStringList full = run(site);
    const qint64 emptyKiB = empty.value(0).toLongLong();
    const qint64 fullKiB = full.value(0).toLongLong();
    const double extraMiB = double(fullKiB - emptyKiB) / double(KiB);
    constexpr double LimitMiB = 64;
    std::printf("  peak memory: %.1f MiB at the end of the full year, %.1f MiB on an empty one\n",
                double(fullKiB) / double(KiB), double(emptyKiB) / double(KiB));
    record({QStringLiteral("work list memory at its end"), extraMiB, QStringLiteral("allowance"),
            LimitMiB, 1.0, QStringLiteral("MiB"),
            verify(emptyKiB > 0 && fullKiB > 0, "both peaks measured") &&
                verify(full.value(1) == shortDate(weekMondays(Year).last()),
                       "the last row is the last week's")});
}

void benchWorkListComplete(const QString& dir, const QString& site, int repeats,
                           bench::BenchUi& ui) {
    constexpr int Selected = 1000;
    std::printf("work list: %d selected assignments completed ...\n", Selected);
    ui.setToday(QDate(Year + 1, 1, 10));
    const QString copy = dir + QStringLiteral("/complete.mdb");
    Completion completion;
    completion.date = ui.today();
    bool ok = true;
    const qint64 ours = best(repeats, [&] {
        replaceFile(site, copy);
        OwnedProgramState fresh;
        ErrorTrap trap;
        state().dbMain = Database::open(copy);
        state().CurYear = Year;
        qint64 ns = 0;
        {
            frmWorkList list(nullptr, overdueFilter());
            list.show();
            QCoreApplication::processEvents();
            WorkListModel* model = list.model();
            list.grdWork->selectionModel()->select(
                QItemSelection(model->index(0, 0), model->index(Selected - 1, WorkColumnCount - 1)),
                QItemSelectionModel::Select);
            int done = -1;
            int written = 0;
            ns = timed([&] {
                const QList<qint64> ids = list.selectedAssignments();
                done = completedAmong(ids);
                written = completeAssignments(ids, completion);
            });
            ok = verify(done == 0 && written == Selected, "every selected row completed") && ok;
        }
        state().dbMain.close();
        ok = verify(bench::scalar(copy, "SELECT count(*) FROM assign WHERE completed") == Selected,
                    "the file holds the completed rows") &&
             ok;
        return ns;
    });
    QByteArray ids;
    stepRaw(site, "SELECT assid FROM assign ORDER BY duedate, assid LIMIT 1000",
            [&](sqlite3_stmt* s) {
                ids += (ids.isEmpty() ? "" : ",") + QByteArray::number(sqlite3_column_int64(s, 0));
            });
    const QByteArray update = "UPDATE assign SET completed = 1, compdate = '" +
                              ui.today().toString(Qt::ISODate).toUtf8() +
                              "' WHERE NOT completed AND assid IN (" + ids + ")";
    const QByteArray count = translated(workListCountSql(overdueFilter(), ui.today()));
    int changed = 0;
    const qint64 raw = best(repeats, [&] {
        replaceFile(site, copy);
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(copy).constData(), &db);
        // The list's count has read the table before its rows are selected: the raw
        // connection reads it too, so that both update from a warm page cache.
        sqlite3_exec(db, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);
        sqlite3_exec(db, count.constData(), nullptr, nullptr, nullptr);
        const qint64 ns =
            timed([&] { sqlite3_exec(db, update.constData(), nullptr, nullptr, nullptr); });
        changed = sqlite3_changes(db);
        sqlite3_close(db);
        return ns;
    });
    ok = verify(changed == Selected, "the raw update completes the same rows") && ok;
    record({QStringLiteral("complete %1 selected rows").arg(Selected), ms(ours),
            QStringLiteral("one raw UPDATE"), ms(raw), 2.0, QStringLiteral("ms"), ok});
    ui.setToday(QDate(Year, 1, 4));
}

// --- importing tasks from a spreadsheet ---------------------------------------------------

constexpr int ImportRows = 10000;

// The values of one row of the equipment list, as the columns of tasks take them.
struct ImportedTask {
    QString name, manuf, model, serial, tag, desc;
    int location = 0; // index into the site's locations
    double hours = 0;
    QDate bought;
};

// A new site's equipment list of `rows` tasks, spread over the site's locations and types,
// as a CSV file whose dates and numbers are written as a user types them (en_US).
QList<ImportedTask> equipmentList(int rows, const QStringList& locations, const QString& csv) {
    QList<ImportedTask> tasks;
    QByteArray text = "Task Name,Manufacturer,Model Number,Serial Number,Location,Tag Number,"
                      "Hours,Purchase Date,Task Description\r\n";
    for (int i = 1; i <= rows; ++i) {
        ImportedTask t{QStringLiteral("Equipment %1").arg(i),
                       QStringLiteral("Maker %1").arg(i % 97),
                       QStringLiteral("M-%1").arg(i % 1013),
                       QStringLiteral("SN-%1").arg(100000 + i),
                       QStringLiteral("T-%1").arg(i),
                       QStringLiteral("Inspect, clean and test unit %1").arg(i),
                       i % int(locations.size()),
                       double(i % 8) / 2,
                       QDate(2010, 1, 1).addDays(i % 3650)};
        text += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,\"%9\"\r\n")
                    .arg(t.name, t.manuf, t.model, t.serial, locations[t.location], t.tag)
                    .arg(t.hours)
                    .arg(QStringLiteral("%1/%2/%3")
                             .arg(t.bought.month())
                             .arg(t.bought.day())
                             .arg(t.bought.year()),
                         t.desc)
                    .toUtf8();
        tasks << t;
    }
    QFile file(csv);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(csv));
    return tasks;
}

// The baselines' statement, with the places of its values written as the engine wants them:
// the columns the import writes, the ones the file leaves empty included (empty texts, no
// type or warranty date, no minutes, not for the current year only), so that the rows are
// the same.
constexpr int ImportColumns = 17;
QByteArray importInsert(char mark) {
    QByteArray places;
    for (int i = 1; i <= ImportColumns; ++i)
        places += (i > 1 ? ", " : "") + QByteArray(1, mark) + QByteArray::number(i);
    return "INSERT INTO tasks (taskname, manuf, model, serialno, locid, typid, Tag, taskdesc, "
           "tools, results, besttime, reqhour, reqmin, curyearonly, misc1, purchdate, wardate) "
           "VALUES (" +
           places + ')';
}

// A task's 17 values in the baselines' order, as texts (null for none).
QList<QByteArray> importValues(const ImportedTask& t, qint64 locationId) {
    return {t.name.toUtf8(),
            t.manuf.toUtf8(),
            t.model.toUtf8(),
            t.serial.toUtf8(),
            QByteArray::number(locationId),
            QByteArray(),
            t.tag.toUtf8(),
            t.desc.toUtf8(),
            QByteArray(""),
            QByteArray(""),
            QByteArray(""),
            QByteArray::number(t.hours),
            QByteArray("0"),
            QByteArray("0"),
            QByteArray(""),
            t.bought.toString(Qt::ISODate).toUtf8(),
            QByteArray()};
}

// The import as the command runs it, from reading the file to the commit: the mapping, the
// checks against the site's names and tasks, and the one operation that writes the rows.
bool runImport(Database& db, const QString& csv) {
    const Sheet sheet = readSheetFile(csv);
    ImportLookups lookups;
    if (!sheet.error.isEmpty() || !readImportLookups(db, &lookups))
        return false;
    const TaskImport plan =
        checkImport(sheet, mapColumns(sheet.headings, TaskMapping(), Guess::ByHeading), lookups);
    return plan.importableCount(false) == ImportRows && writeImport(db, plan, false).written;
}

QStringList siteLocations(Database& db, QList<qint64>* ids) {
    QStringList names;
    Recordset rs = db.openRecordset(QStringLiteral("select locid, locdesc from locations order "
                                                   "by locid"),
                                    RecordsetType::Snapshot);
    while (!rs.isEOF()) {
        names << rs.value(QStringLiteral("locdesc")).toString();
        *ids << rs.value(QStringLiteral("locid")).toLongLong();
        rs.moveNext();
    }
    return names;
}

// Importing a new site's 10,000 tasks from a CSV file, beside inserting the same rows through
// one prepared statement in one transaction.
void benchImport(const QString& dir, int repeats) {
    std::printf("importing %d tasks from a spreadsheet ...\n", ImportRows);
    bench::SiteOptions o;
    o.tasks = 0;
    const QString empty = dir + QStringLiteral("/import-empty.mdb");
    bench::createSampleSite(empty, o);
    QList<qint64> locationIds;
    QStringList locations;
    {
        ErrorTrap trap;
        Database db = Database::open(empty);
        locations = siteLocations(db, &locationIds);
    }
    const QString csv = dir + QStringLiteral("/equipment.csv");
    const QList<ImportedTask> tasks = equipmentList(ImportRows, locations, csv);
    const QString site = dir + QStringLiteral("/import-site");
    QDir(site).removeRecursively();
    QDir().mkpath(site);
    const QString path = site + QStringLiteral("/tavrel.mdb");
    bool ok = true;
    const qint64 ours = best(repeats, [&] {
        replaceFile(empty, path);
        QDir(site + QStringLiteral("/backups")).removeRecursively();
        ErrorTrap trap;
        state().AppPath = site + u'/';
        state().DbPath = path;
        state().dbMain = Database::open(path);
        const qint64 ns = timed([&] { ok = runImport(state().dbMain, csv) && ok; });
        state().dbMain.close();
        return ns;
    });
    ok = verify(ok && bench::scalar(path, "select count(*) from tasks") == ImportRows,
                "every row imported") &&
         ok;
    const qint64 raw = best(repeats, [&] {
        replaceFile(empty, path);
        return timed([&] {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &db);
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db, importInsert('?').constData(), -1, &stmt, nullptr);
            for (const ImportedTask& t : tasks) {
                // Texts, numbers and nulls as the columns take them.
                const QList<QByteArray> values = importValues(t, locationIds[t.location]);
                for (int i = 0; i < ImportColumns; ++i) {
                    const QByteArray& v = values[i];
                    if (v.isNull())
                        sqlite3_bind_null(stmt, i + 1);
                    else if (i == 4 || i == 12 || i == 13)
                        sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
                    else if (i == 11)
                        sqlite3_bind_double(stmt, i + 1, t.hours);
                    else
                        sqlite3_bind_text(stmt, i + 1, v.constData(), int(v.size()),
                                          SQLITE_TRANSIENT);
                }
                if (sqlite3_step(stmt) != SQLITE_DONE)
                    qFatal("insert: %s", sqlite3_errmsg(db));
                sqlite3_reset(stmt);
            }
            sqlite3_finalize(stmt);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
    });
    record({QStringLiteral("import %1 tasks from CSV").arg(ImportRows), ms(ours),
            QStringLiteral("prepared inserts"), ms(raw), 2.0, QStringLiteral("ms"), ok});
}

// --- the server backend ------------------------------------------------------------------------
//
// On a PostgreSQL server reached through the socket folder in TAVREL_BENCH_PGHOST (or the
// tests' TAVREL_TEST_PGHOST; scripts/bench-server starts a throwaway cluster for the run),
// each target beside the same work done by the server's own tools on the same server.

QString serverHost() {
    const QString bench = qEnvironmentVariable("TAVREL_BENCH_PGHOST");
    return bench.isEmpty() ? qEnvironmentVariable("TAVREL_TEST_PGHOST") : bench;
}

QString serverUrl(const QString& db) {
    return QStringLiteral("postgresql://tavrel@/%1?host=%2")
        .arg(db, QString::fromLatin1(QUrl::toPercentEncoding(serverHost())));
}

// Runs SQL on a database of the bench server; stops the program when it fails.
void serverExec(const QString& db, const QString& sql) {
    PGconn* conn = PQconnectdb(serverUrl(db).toUtf8().constData());
    PGresult* r = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        qFatal("server: %s\nIn: %s", PQerrorMessage(conn), qPrintable(sql.left(300)));
    PQclear(r);
    PQfinish(conn);
}

qint64 serverScalar(const QString& db, const QString& sql) {
    PGconn* conn = PQconnectdb(serverUrl(db).toUtf8().constData());
    PGresult* r = PQexec(conn, sql.toUtf8().constData());
    const qint64 value = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1
                             ? QByteArray(PQgetvalue(r, 0, 0)).toLongLong()
                             : -1;
    PQclear(r);
    PQfinish(conn);
    return value;
}

// A new database `name` on the server, empty or a copy of `model`.
void serverDatabase(const QString& name, const QString& model = {}) {
    serverExec(QStringLiteral("postgres"),
               QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    serverExec(QStringLiteral("postgres"),
               QStringLiteral("CREATE DATABASE %1%2")
                   .arg(name, model.isEmpty() ? QString() : QStringLiteral(" TEMPLATE ") + model));
}

// A database just loaded, made as a site's settles: its statistics read and its pages marked
// visible to all. A vacuum marks only rows whose commit is on disk, and a throwaway cluster
// commits without waiting for the disk: one commit that waits brings every earlier one with it.
void settleServerDatabase(const QString& name) {
    serverExec(name, QStringLiteral("SET synchronous_commit = on; ANALYZE"));
    serverExec(name, QStringLiteral("VACUUM ANALYZE"));
}

// A generated sample site copied into a new server database `name`.
void serverSite(const QString& dir, const QString& name, const bench::SiteOptions& options) {
    const QString file = dir + u'/' + name + QStringLiteral(".mdb");
    QFile::remove(file);
    bench::createSampleSite(file, options);
    serverDatabase(name);
    QString error;
    if (!copyToServer(file, serverUrl(name), &error))
        qFatal("cannot copy the sample site to the server: %s", qPrintable(error));
    QFile::remove(file);
    settleServerDatabase(name);
}

// The program's dialect as the server reads it, for the baselines.
QString serverSql(const QString& db, const QString& jet) {
    DbError error;
    auto conn = detail::PgConnection::connect(serverUrl(db), &error);
    detail::ServerCatalog catalog;
    if (!conn || !catalog.load(*conn, &error))
        qFatal("server: %s", qPrintable(error.description));
    QString refused;
    const QString sql = detail::translateForServer(jet, catalog, &refused);
    if (sql.isEmpty())
        qFatal("cannot translate %s: %s", qPrintable(jet), qPrintable(refused));
    return sql;
}

// psql running `sql` on `db`, timed as a whole process.
qint64 timePsql(const QString& db, const QString& sql) {
    return timed([&] {
        QProcess psql;
        psql.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), serverUrl(db),
                    QStringLiteral("-c"), sql});
        if (!psql.waitForFinished(ToolTimeoutMs) || psql.exitCode() != 0)
            qFatal("psql failed: %s", psql.readAllStandardError().constData());
    });
}

void benchServerYearGeneration(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("server: year generation, %d tasks scheduled every week ...\n", sizes.yearTasks);
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year - 1;
    o.everyWeek = true;
    serverSite(dir, QStringLiteral("bench_yeargen"), o);
    const qint64 rows = qint64(sizes.yearTasks) * WeeksPerYear;
    bool ok = true;
    const qint64 ours = best(repeats, [&] {
        serverDatabase(QStringLiteral("bench_yeargen_ours"), QStringLiteral("bench_yeargen"));
        ErrorTrap trap;
        state().dbMain = Database::open(serverUrl(QStringLiteral("bench_yeargen_ours")));
        const qint64 ns = timed([] { CreateYearAssignments(Year); });
        state().dbMain.close();
        ok = verify(serverScalar(QStringLiteral("bench_yeargen_ours"),
                                 QStringLiteral("SELECT count(*) FROM assign")) == rows,
                    "one assignment per task and week") &&
             ok;
        return ns;
    });
    // The same statement over every task at once, as the server's own client runs it.
    const QList<QDate> mondays = weekMondays(Year);
    for (int week = 1; week <= WeeksPerYear; ++week)
        state().WeekDates[week] = mondays.at(week - 1);
    const QString insert =
        serverSql(QStringLiteral("bench_yeargen"),
                  yearGenerationSql(Year, 1, std::numeric_limits<int>::max(), SiteCalendar()));
    const qint64 raw = best(repeats, [&] {
        serverDatabase(QStringLiteral("bench_yeargen_raw"), QStringLiteral("bench_yeargen"));
        return timePsql(QStringLiteral("bench_yeargen_raw"), insert);
    });
    ok = verify(serverScalar(QStringLiteral("bench_yeargen_raw"),
                             QStringLiteral("SELECT count(*) FROM assign")) == rows,
                "the baseline wrote the same rows") &&
         ok;
    record({QStringLiteral("server: generate a year (%1 assignments)").arg(rows), ms(ours),
            QStringLiteral("the INSERT ... SELECT in psql"), ms(raw), 1.5, QStringLiteral("ms"),
            ok});
}

// Walks the assignment editor's join of the year, reading the task name and due date of
// every row; beside it libpq fetching the same query through a cursor in batches.
void benchServerWalk(const QString& dir, const Sizes& sizes, int repeats) {
    bench::SiteOptions o;
    o.tasks = sizes.yearTasks;
    o.year = Year;
    o.everyWeek = true;
    o.currentYear = true;
    const int rows = sizes.yearTasks * WeeksPerYear;
    std::printf("server: walking the assignment editor's join of %d rows ...\n", rows);
    serverSite(dir, QStringLiteral("bench_walk"), o);
    const QString url = serverUrl(QStringLiteral("bench_walk"));
    const QString jet = sortSql(AssignOrder::TaskName, true, true, Year);
    qint64 ourSum = 0;
    int ourRows = 0;
    const qint64 ours = best(repeats, [&] {
        ErrorTrap trap;
        Database db = Database::open(url);
        ourSum = 0;
        ourRows = 0;
        return timed([&] {
            Recordset rs = db.openRecordset(jet, RecordsetType::Dynaset);
            while (!rs.isEOF()) {
                ourSum += rs.value(QStringLiteral("taskname")).toString().size();
                ourSum += rs.value(QStringLiteral("duedate")).toDate().day();
                ++ourRows;
                rs.moveNext();
            }
        });
    });
    const QString sql = serverSql(QStringLiteral("bench_walk"), jet);
    qint64 rawSum = 0;
    const qint64 raw = best(repeats, [&] {
        rawSum = 0;
        PGconn* conn = PQconnectdb(url.toUtf8().constData());
        const qint64 ns = timed([&] {
            PQclear(PQexec(conn, "BEGIN"));
            PQclear(
                PQexec(conn, ("DECLARE walk NO SCROLL CURSOR FOR " + sql).toUtf8().constData()));
            int name = -1;
            int due = -1;
            for (;;) {
                PGresult* r = PQexec(conn, "FETCH 1000 FROM walk");
                const int n = PQntuples(r);
                if (name < 0) {
                    name = PQfnumber(r, "taskname");
                    due = PQfnumber(r, "duedate");
                }
                for (int i = 0; i < n; ++i) {
                    rawSum += QString::fromUtf8(PQgetvalue(r, i, name)).size();
                    rawSum += QDate::fromString(QString::fromLatin1(PQgetvalue(r, i, due), 10),
                                                Qt::ISODate)
                                  .day();
                }
                PQclear(r);
                if (n == 0)
                    break;
            }
            PQclear(PQexec(conn, "COMMIT"));
        });
        PQfinish(conn);
        return ns;
    });
    const bool ok = verify(ourRows == rows, "the recordset holds every row") &&
                    verify(ourSum == rawSum, "both walks read the same values");
    record({QStringLiteral("server: walk the editor's join"), ms(ours),
            QStringLiteral("libpq cursor, batches of 1000"), ms(raw), 1.5, QStringLiteral("ms"),
            ok});
}

void benchServerStartup(const QString& dir, const Sizes& sizes, int repeats) {
    std::printf("server: start-up, %d tasks beside %d ...\n", sizes.startupTasks, StartupSmall);
    bool ok = true;
    auto makeSite = [&](const QString& name, int tasks) {
        bench::SiteOptions o;
        o.tasks = tasks;
        o.year = Year;
        serverSite(dir, name, o);
        const QString folder = dir + u'/' + name;
        QDir().mkpath(folder);
        QFile conf(folder + QStringLiteral("/tavrel.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(conf.fileName()));
        conf.write(QStringLiteral("[database]\nurl=%1\n").arg(serverUrl(name)).toUtf8());
        conf.close();
        QString error;
        if (!createCatalogueDatabase(folder + QStringLiteral("/rptspec.mdb"), &error))
            qFatal("%s", qPrintable(error));
        return folder;
    };
    const QString large = makeSite(QStringLiteral("bench_startup_large"), sizes.startupTasks);
    const QString small = makeSite(QStringLiteral("bench_startup_small"), StartupSmall);
    auto run = [&](const QString& folder, const QString& db) {
        const QString expected = QString::number(serverScalar(
            db, QStringLiteral("SELECT taskid FROM tasks ORDER BY taskname, taskid LIMIT 1")));
        return best(repeats, [&] {
            QString shown;
            const qint64 ns = timeStartup(folder, &shown);
            const qint64 shownId = serverScalar(
                db, QStringLiteral("SELECT taskid FROM tasks WHERE taskname = '%1' ORDER BY "
                                   "taskid LIMIT 1")
                        .arg(QString(shown).replace(u'\'', QStringLiteral("''"))));
            ok = verify(QString::number(shownId) == expected,
                        "start-up shows the first task by name") &&
                 ok;
            return ns;
        });
    };
    run(small, QStringLiteral("bench_startup_small")); // fonts and styles: not measured
    const qint64 smallNs = run(small, QStringLiteral("bench_startup_small"));
    const qint64 largeNs = run(large, QStringLiteral("bench_startup_large"));
    record({QStringLiteral("server: start-up, %1 tasks").arg(sizes.startupTasks), ms(largeNs),
            QStringLiteral("the same with %1 tasks").arg(StartupSmall), ms(smallNs), 1.5,
            QStringLiteral("ms"), ok});
}

// Find Next by task name over the task list, as the find dialog runs it, beside the server
// answering the same criteria by itself.
void benchServerFind(const Sizes& sizes, int repeats) {
    const int tasks = sizes.startupTasks;
    std::printf("server: Find Next over %d tasks ...\n", tasks);
    const QString name = QStringLiteral("bench_find");
    serverDatabase(name);
    QFile schema(QStringLiteral(":/sql/tavrel_schema_pg.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("no server schema");
    serverExec(name, QString::fromUtf8(schema.readAll()));
    serverExec(name, QStringLiteral("INSERT INTO tasks (taskname, manuf, reqhour) "
                                    "SELECT (ARRAY['Air handler', 'Boiler', 'Chiller', 'Drain', "
                                    "'Elevator', 'Fan', 'Generator'])[i % 7 + 1] || ' ' || i, "
                                    "'Acme', 1 FROM generate_series(0, %1) i")
                         .arg(tasks - 1));
    settleServerDatabase(name);
    ErrorTrap trap;
    Database db = Database::open(serverUrl(name));
    Recordset rsTasks = db.openRecordset(QStringLiteral("select * from tasks order by taskname"));
    struct Case {
        const char* what;
        QString criteria;
    };
    const Case cases[] = {
        {"Contains \"rator 7\"", QStringLiteral("taskname like \"*rator 7*\"")},
        {"Begins With \"Fan 9\"", QStringLiteral("taskname like \"Fan 9*\"")},
        {"no match", QStringLiteral("taskname like \"*pump*\"")},
    };
    PGconn* raw = PQconnectdb(serverUrl(name).toUtf8().constData());
    for (const Case& c : cases) {
        rsTasks.findFirst(QStringLiteral("taskname >= \"D\""));
        const QString keys =
            serverSql(name, QStringLiteral("select taskid from tasks where ") + c.criteria);
        bool ok = true;
        const qint64 ours =
            best(repeats * 5, [&] { return timed([&] { rsTasks.findNext(c.criteria); }); });
        const qint64 base = best(repeats * 5, [&] {
            return timed([&] {
                PGresult* r = PQexec(raw, keys.toUtf8().constData());
                ok = PQresultStatus(r) == PGRES_TUPLES_OK && ok;
                PQclear(r);
            });
        });
        record({QStringLiteral("server: Find Next, %1").arg(QLatin1String(c.what)), ms(ours),
                QStringLiteral("the raw query"), ms(base), 2.0, QStringLiteral("ms"),
                verify(ok, "the raw query ran")});
    }
    PQfinish(raw);
}

void benchServerDashboard(const QString& dir, const Sizes& sizes, int repeats, bench::BenchUi& ui) {
    const QString name = QStringLiteral("bench_dashboard");
    serverSite(dir, name, dashboardSite(sizes));
    const QString url = serverUrl(name);
    const qint64 rows = serverScalar(name, QStringLiteral("SELECT count(*) FROM assign"));
    std::printf("server: the dashboard over a year of %lld assignments ...\n",
                static_cast<long long>(rows));
    ui.setToday(QDate(Year - 1, 12, 31));
    state().AppPath = dir + QLatin1Char('/');
    const qint64 ended =
        serverScalar(name, QStringLiteral("SELECT count(*) FROM assign WHERE duedate <= '%1'")
                               .arg(lastWeekEndBefore(ui.today()).toString(Qt::ISODate)));
    QList<QByteArray> queries;
    for (const QString& jet : dashboardQueries(QDate(Year - 1, 1, 1), QDate(Year - 1, 12, 31)))
        queries << serverSql(name, jet).toUtf8();
    timeDashboard(QStringLiteral("server: open the dashboard"), url, ended, repeats,
                  [&](qint64* rawRows) {
                      *rawRows = 0;
                      PGconn* conn = PQconnectdb(url.toUtf8().constData());
                      const qint64 ns = timed([&] {
                          for (const QByteArray& sql : queries) {
                              PGresult* r = PQexec(conn, sql.constData());
                              for (int i = 0; i < PQntuples(r); ++i)
                                  for (int c = 0; c < PQnfields(r); ++c)
                                      PQgetvalue(r, i, c);
                              *rawRows += PQntuples(r);
                              PQclear(r);
                          }
                      });
                      PQfinish(conn);
                      return ns;
                  });
    ui.setToday(QDate(Year, 1, 4));
}

// Importing 10,000 tasks into a new site on the server, beside the server's own client
// inserting the same rows through one prepared statement in one transaction.
void benchServerImport(const QString& dir, int repeats) {
    std::printf("server: importing %d tasks from a spreadsheet ...\n", ImportRows);
    bench::SiteOptions o;
    o.tasks = 0;
    const QString model = QStringLiteral("bench_import");
    serverSite(dir, model, o);
    QList<qint64> locationIds;
    QStringList locations;
    {
        ErrorTrap trap;
        Database db = Database::open(serverUrl(model));
        locations = siteLocations(db, &locationIds);
    }
    const QString csv = dir + QStringLiteral("/server-equipment.csv");
    const QList<ImportedTask> tasks = equipmentList(ImportRows, locations, csv);
    const QString copy = QStringLiteral("bench_import_run");
    bool ok = true;
    const qint64 ours = best(repeats, [&] {
        serverDatabase(copy, model);
        ErrorTrap trap;
        state().dbMain = Database::open(serverUrl(copy));
        const qint64 ns = timed([&] { ok = runImport(state().dbMain, csv) && ok; });
        state().dbMain.close();
        return ns;
    });
    ok =
        verify(ok && serverScalar(copy, QStringLiteral("select count(*) from tasks")) == ImportRows,
               "every row imported") &&
        ok;
    const qint64 raw = best(repeats, [&] {
        serverDatabase(copy, model);
        PGconn* conn = PQconnectdb(serverUrl(copy).toUtf8().constData());
        const qint64 ns = timed([&] {
            PQclear(PQexec(conn, "BEGIN"));
            PQclear(PQprepare(conn, "task", importInsert('$').constData(), 0, nullptr));
            for (const ImportedTask& t : tasks) {
                const QList<QByteArray> values = importValues(t, locationIds[t.location]);
                const char* params[ImportColumns];
                for (int i = 0; i < ImportColumns; ++i)
                    params[i] = values[i].isNull() ? nullptr : values[i].constData();
                PGresult* r =
                    PQexecPrepared(conn, "task", ImportColumns, params, nullptr, nullptr, 0);
                if (PQresultStatus(r) != PGRES_COMMAND_OK)
                    qFatal("insert: %s", PQerrorMessage(conn));
                PQclear(r);
            }
            PQclear(PQexec(conn, "COMMIT"));
        });
        PQfinish(conn);
        return ns;
    });
    record({QStringLiteral("server: import %1 tasks from CSV").arg(ImportRows), ms(ours),
            QStringLiteral("prepared inserts"), ms(raw), 2.0, QStringLiteral("ms"), ok});
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Window places and settings go to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    installErrorPolicy();
    OwnedProgramState programState;
    bench::BenchUi benchUi(QDate(Year, 1, 4));
    setUi(&benchUi);

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.value(0) == QLatin1String("--editor-memory"))
        return editorMemoryChild(args.value(1));
    if (args.value(0) == QLatin1String("--worklist-memory"))
        return workListMemoryChild(args.value(1), benchUi);
    const bool quick = args.removeAll(QStringLiteral("--quick")) > 0;
    int repeats = quick ? 1 : DefaultRepeats;
    QStringList only;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--repeat") && i + 1 < args.size())
            repeats = qMax(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--only") && i + 1 < args.size())
            only = args.at(++i).split(QLatin1Char(','));
        else {
            std::fprintf(
                stderr, "usage: tavrel_bench [--quick] [--repeat N] [--only "
                        "yeargen,yeargenholidays,startup,editor,overdue,walk,layout,upgrade,repair,"
                        "reportfile,backup,listopen,listscroll,listcomplete,"
                        "dashboard,spreadsheet,import,calendar,"
                        "serveryeargen,serverwalk,serverstartup,serverfind,"
                        "serverdashboard,serverimport]\n");
            return 2;
        }
    }
    const auto wanted = [&](const char* name) {
        return only.isEmpty() || only.contains(QLatin1String(name));
    };
    const Sizes sizes = quick ? quickSizes() : Sizes();
    QTemporaryDir temp;
    const QString dir = temp.path();
    std::printf("tavrel_bench%s: best of %d run(s) each\n", quick ? " --quick" : "", repeats);

    if (wanted("yeargen"))
        benchYearGeneration(dir, sizes, repeats);
    if (wanted("yeargenholidays"))
        benchYearGenerationWithHolidays(dir, sizes, repeats);
    if (wanted("startup"))
        benchStartup(dir, sizes, repeats);
    if (wanted("editor") || wanted("overdue") || wanted("walk") || wanted("listopen") ||
        wanted("listscroll") || wanted("listcomplete") || wanted("calendar")) {
        const int rows = sizes.yearTasks * WeeksPerYear;
        std::printf("a site of %d tasks with %d assignments of %d ...\n", sizes.yearTasks, rows,
                    Year);
        bench::SiteOptions o;
        o.tasks = sizes.yearTasks;
        o.year = Year;
        o.everyWeek = true;
        const QString emptyYear = dir + QStringLiteral("/empty-year.mdb");
        bench::createSampleSite(emptyYear, o);
        o.currentYear = true;
        const QString site = dir + QStringLiteral("/year.mdb");
        bench::createSampleSite(site, o);
        if (wanted("editor"))
            benchEditor(site, emptyYear, rows, repeats);
        if (wanted("overdue"))
            benchOverdue(dir, site, rows, repeats, benchUi);
        if (wanted("walk")) {
            std::printf("walking joins of %d assignments ...\n", rows);
            benchWalk(site, QStringLiteral("editor by task name: dynaset walk"),
                      sortSql(AssignOrder::TaskName, true, true, Year), RecordsetType::Dynaset,
                      rows, repeats);
            benchUi.setToday(QDate(Year + 1, 1, 10));
            benchWalk(site, QStringLiteral("Overdue report: snapshot walk"), overdueReport().sql,
                      RecordsetType::Snapshot, rows, repeats);
            benchUi.setToday(QDate(Year, 1, 4));
        }
        if (wanted("listopen"))
            benchWorkListOpen(site, rows, repeats, benchUi);
        if (wanted("listscroll"))
            benchWorkListScroll(site, emptyYear);
        if (wanted("listcomplete"))
            benchWorkListComplete(dir, site, repeats, benchUi);
        if (wanted("calendar"))
            benchCalendar(dir, site, rows, repeats, benchUi);
    }
    if (wanted("layout"))
        benchLayout(dir, sizes, repeats);
    if (wanted("upgrade"))
        benchUpgrade(dir, sizes, repeats);
    if (wanted("repair"))
        benchRepair(dir, sizes, repeats);
    if (wanted("reportfile"))
        benchReportFile(dir, repeats);
    if (wanted("backup"))
        benchBackup(dir, sizes, repeats);
    if (wanted("dashboard"))
        benchDashboard(dir, sizes, repeats, benchUi);
    if (wanted("spreadsheet"))
        benchSpreadsheet(dir, sizes.spreadsheetRows, repeats);
    if (wanted("import"))
        benchImport(dir, repeats);
    // The server's targets need a server: without one they are left out, and said so.
    const bool server = !serverHost().isEmpty();
    if (!server && (wanted("serveryeargen") || wanted("serverwalk") || wanted("serverstartup") ||
                    wanted("serverfind") || wanted("serverdashboard") || wanted("serverimport")))
        std::printf("server targets left out: no server (set TAVREL_BENCH_PGHOST or run "
                    "scripts/bench-server)\n");
    if (server && wanted("serveryeargen"))
        benchServerYearGeneration(dir, sizes, repeats);
    if (server && wanted("serverwalk"))
        benchServerWalk(dir, sizes, repeats);
    if (server && wanted("serverstartup"))
        benchServerStartup(dir, sizes, repeats);
    if (server && wanted("serverfind"))
        benchServerFind(sizes, repeats);
    if (server && wanted("serverdashboard"))
        benchServerDashboard(dir, sizes, repeats, benchUi);
    if (server && wanted("serverimport"))
        benchServerImport(dir, repeats);

    int missed = 0;
    std::printf("\nsummary%s:\n", quick ? " (quick sizes: not the targets' proof)" : "");
    for (const Result& r : results) {
        std::printf("  %-6s %-46s ratio %6.2f, limit %5.2f\n", r.met() ? "ok" : "MISSED",
                    qPrintable(r.what), r.base > 0 ? r.ours / r.base : 0.0, r.limit);
        missed += r.met() ? 0 : 1;
    }
    std::printf("%d of %lld targets met\n", int(results.size()) - missed,
                static_cast<long long>(results.size()));
    setUi(nullptr);
    return missed == 0 ? 0 : 1;
}
