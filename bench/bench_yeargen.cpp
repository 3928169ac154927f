// Year generation at scale: 10,000 tasks scheduled in every week, one year generated
// (520,000 assignments) beside raw SQLite inserting the same rows through one prepared
// statement in one transaction; then the same year generated again, which creates nothing.

#include "benchsite.h"

#include "assignments/yeargen.h"
#include "core/errortrap.h"
#include "core/globals.h"
#include "core/uiseam.h"
#include "data/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

using namespace tavrel;

namespace {

constexpr int DefaultTasks = 10000;
constexpr int Year = 2027;
constexpr int Locations = 12;
constexpr int Types = 7;

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
        qFatal("%s: %s", sql, message);
}

qint64 scalar(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    const qint64 value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// A site of `tasks` tasks, every one scheduled in all 52 weeks, and no assignments.
void buildSite(const QString& path, int tasks) {
    bench::createSiteDatabase(path).close();
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    exec(db, "BEGIN");
    exec(db, "INSERT INTO settings (CurYear) VALUES (2026)");
    sqlite3_stmt* week = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO weeks (weeid) VALUES (?1)", -1, &week, nullptr);
    for (int w = 1; w <= WeeksPerYear; ++w) {
        sqlite3_bind_int(week, 1, w);
        sqlite3_step(week);
        sqlite3_reset(week);
    }
    sqlite3_finalize(week);
    sqlite3_stmt* task = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO tasks (taskid, taskname, locid, typid, empid) "
                       "VALUES (?1, 'Task ' || ?1, ?2, ?3, 1)",
                       -1, &task, nullptr);
    sqlite3_stmt* sched = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO taskweeks (taskid, weeid) VALUES (?1, ?2)", -1, &sched,
                       nullptr);
    for (int t = 1; t <= tasks; ++t) {
        sqlite3_bind_int(task, 1, t);
        sqlite3_bind_int(task, 2, t % Locations + 1);
        sqlite3_bind_int(task, 3, t % Types + 1);
        sqlite3_step(task);
        sqlite3_reset(task);
        for (int w = 1; w <= WeeksPerYear; ++w) {
            sqlite3_bind_int(sched, 1, t);
            sqlite3_bind_int(sched, 2, w);
            sqlite3_step(sched);
            sqlite3_reset(sched);
        }
    }
    sqlite3_finalize(task);
    sqlite3_finalize(sched);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

qint64 timeGeneration(const QString& path) {
    ErrorTrap trap;
    dbMain = Database::open(path);
    QElapsedTimer t;
    t.start();
    CreateYearAssignments(Year);
    const qint64 ns = t.nsecsElapsed();
    dbMain.close();
    return ns;
}

// The same rows as generation writes, through one prepared statement in one transaction.
qint64 timeRawInserts(const QString& path, int tasks) {
    const QList<QDate> mondays = weekMondays(Year);
    QList<QByteArray> due;
    for (const QDate& d : mondays)
        due << d.toString(Qt::ISODate).toUtf8();
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    exec(db, "BEGIN IMMEDIATE");
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
    exec(db, "COMMIT");
    sqlite3_close(db);
    return t.nsecsElapsed();
}

// Both files' assignments, row for row.
const char* const Digest =
    "SELECT sum(assid * (taskid * 1000 + weeid) + locid * 31 + typid * 7 + "
    "length(duedate) + comphour + compmin + completed + coalesce(empid, 0)) FROM assign";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    installErrorPolicy();
    // The question is answered Yes, as by --set-year.
    struct Yes final : Ui {
        MsgResult msgBox(const QString&, MsgButtons, MsgIcon, const QString&) override {
            return MsgResult::Yes;
        }
        std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
            return {};
        }
        std::optional<QString> openFileName(QWidget*, const QString&, const QString&,
                                            const QString&) override {
            return {};
        }
        std::optional<QString> saveFileName(QWidget*, const QString&, const QString&,
                                            const QString&) override {
            return {};
        }
        void beep() override {}
        void sendTab(QWidget*) override {}
        int showModal(QDialog*) override { return 0; }
        void showHelp(QWidget*, const QString&) override {}
        QDate today() override { return QDate(Year, 1, 4); }
        QDateTime now() override { return QDateTime(today(), QTime(8, 0)); }
        void endProgram(int) override {}
    } yes;
    setUi(&yes);

    const int tasks = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : DefaultTasks;
    QTemporaryDir dir;
    const QString site = QDir(dir.path()).filePath(QStringLiteral("site.mdb"));
    std::printf("building a site of %d tasks scheduled every week ...\n", tasks);
    buildSite(site, tasks);
    const QString mine = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    const QString theirs = QDir(dir.path()).filePath(QStringLiteral("raw.mdb"));
    QFile::copy(site, mine);
    QFile::copy(site, theirs);

    const qint64 raw = timeRawInserts(theirs, tasks);
    const qint64 ours = timeGeneration(mine);
    const qint64 again = timeGeneration(mine);

    const qint64 rows = scalar(mine, "SELECT count(*) FROM assign");
    const bool same = scalar(mine, Digest) == scalar(theirs, Digest) &&
                      rows == scalar(theirs, "SELECT count(*) FROM assign");
    std::printf("assignments: %lld, the same rows as raw SQLite: %s\n",
                static_cast<long long>(rows), same ? "yes" : "NO");
    bench::report("generate a year", ours, "raw prepared inserts", raw);
    bench::report("generate the same year again (creates nothing)", again, "first generation",
                  ours);
    setUi(nullptr);
    return same ? 0 : 1;
}
