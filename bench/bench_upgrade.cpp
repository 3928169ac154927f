// The schema upgrade of an old tavrel.mdb with many assignments (the columns added and
// filled in one transaction) beside raw SQLite running the same change as one UPDATE.

#include "core/errortrap.h"
#include "core/globals.h"
#include "core/upgrade.h"
#include "data/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

using namespace tavrel;

namespace {

constexpr int DefaultRows = 50000;
constexpr int Tasks = 1000;
// Assignments name tasks up to this number; those above Tasks were deleted since.
constexpr int TaskNumbers = 1050;
constexpr int Locations = 12;
constexpr int Types = 7;
constexpr int Repeats = 3;
constexpr int WeeksPerYear = 52;

// The tables as older versions left them: no CurYearOnly/EmpID in tasks, no LocID/TypID in
// assign.
const char* const OldSchema = R"(
CREATE TABLE tasks (taskid INTEGER PRIMARY KEY AUTOINCREMENT, taskname TEXT, locid LONG,
  typid LONG);
CREATE TABLE assign (assid INTEGER PRIMARY KEY AUTOINCREMENT, taskid LONG, weeid SHORT,
  duedate DATETIME, completed BIT NOT NULL DEFAULT 0, empid LONG);
CREATE TABLE settings (CurYear SHORT);
INSERT INTO settings VALUES (2005);
)";

void exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
        qFatal("%s: %s", sql, message);
}

void buildOldFile(const QString& path, int rows) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    exec(db, OldSchema);
    exec(db, "BEGIN");
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO tasks (taskid, taskname, locid, typid) VALUES (?1, ?2, ?3, ?4)",
                       -1, &ins, nullptr);
    for (int t = 1; t <= Tasks; ++t) {
        const QByteArray name = "Task " + QByteArray::number(t);
        sqlite3_bind_int(ins, 1, t);
        sqlite3_bind_text(ins, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 3, t % Locations + 1);
        if (t % Types == 0)
            sqlite3_bind_null(ins, 4); // a task without a type
        else
            sqlite3_bind_int(ins, 4, t % Types);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_prepare_v2(db,
                       "INSERT INTO assign (taskid, weeid, duedate) VALUES (?1, ?2, '2005-01-03')",
                       -1, &ins, nullptr);
    for (int i = 0; i < rows; ++i) {
        sqlite3_bind_int(ins, 1, i % TaskNumbers + 1);
        sqlite3_bind_int(ins, 2, i % WeeksPerYear + 1);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

// A digest of every assignment's location and type, to show both runs wrote the same.
qint64 digest(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT sum(assid * (coalesce(locid, -1) * 100 + coalesce(typid, -1))) "
                       "FROM assign",
                       -1, &stmt, nullptr);
    const qint64 value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

qint64 timeOurUpgrade(const QString& path) {
    QElapsedTimer t;
    t.start();
    ErrorTrap trap;
    dbMain = Database::open(path);
    AddAssignCodeColumns();
    dbMain.close();
    return t.nsecsElapsed();
}

qint64 timeRawUpgrade(const QString& path) {
    QElapsedTimer t;
    t.start();
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    exec(db, "PRAGMA cache_size = -65536");
    exec(db, "BEGIN IMMEDIATE;"
             "ALTER TABLE assign ADD COLUMN LocID LONG;"
             "ALTER TABLE assign ADD COLUMN TypID LONG;"
             "UPDATE assign SET "
             "locid = (SELECT locid FROM tasks WHERE tasks.taskid = assign.taskid), "
             "typid = (SELECT typid FROM tasks WHERE tasks.taskid = assign.taskid) "
             "WHERE taskid IN (SELECT taskid FROM tasks);"
             "COMMIT;");
    sqlite3_close(db);
    return t.nsecsElapsed();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    installErrorPolicy();
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : DefaultRows;
    QTemporaryDir dir;
    const QString original = QDir(dir.path()).filePath(QStringLiteral("old.mdb"));
    std::printf("building an old file with %d assignments ...\n", rows);
    buildOldFile(original, rows);

    // The best of a few runs each, every run on a fresh copy of the old file.
    qint64 ours = 0;
    qint64 raw = 0;
    qint64 ourDigest = 0;
    qint64 rawDigest = 0;
    for (int run = 0; run < Repeats; ++run) {
        const QString mine = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
        const QString theirs = QDir(dir.path()).filePath(QStringLiteral("raw.mdb"));
        QFile::remove(mine);
        QFile::remove(theirs);
        QFile::copy(original, mine);
        QFile::copy(original, theirs);
        const qint64 o = timeOurUpgrade(mine);
        const qint64 r = timeRawUpgrade(theirs);
        ours = run == 0 ? o : qMin(ours, o);
        raw = run == 0 ? r : qMin(raw, r);
        ourDigest = digest(mine);
        rawDigest = digest(theirs);
    }
    std::printf("digests: %lld / %lld (%s)\n", static_cast<long long>(ourDigest),
                static_cast<long long>(rawDigest), ourDigest == rawDigest ? "same" : "DIFFER");
    std::printf("%-44s %10.1f ms   raw SQLite %10.1f ms   ratio %6.2f\n",
                "upgrade of assign (columns and fill)", ours / 1e6, raw / 1e6,
                raw > 0 ? double(ours) / double(raw) : 0.0);
    return ourDigest == rawDigest ? 0 : 1;
}
