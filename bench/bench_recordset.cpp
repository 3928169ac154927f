// Opening a dynaset over a large assign table and walking it with moveNext, each beside
// raw SQLite doing the same reads.

#include "benchsite.h"
#include "core/errortrap.h"
#include "data/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <cstdio>

using namespace tavrel;

namespace {

constexpr int DefaultRows = 500000;
constexpr int Tasks = 1000;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : DefaultRows;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    std::printf("building %d assignments ...\n", rows);
    bench::createSiteDatabase(path).close();
    bench::addAssignments(path, rows, Tasks);

    const QString jet =
        QStringLiteral("Select * from assign where duedate >= #1/1/2005# and duedate <= "
                       "#12/31/2005# and not completed order by duedate");
    const char* sqlite =
        "SELECT * FROM assign WHERE duedate >= '2005-01-01' AND duedate <= '2005-12-31' "
        "AND NOT completed ORDER BY duedate";
    const char* keysOnly = "SELECT rowid FROM assign WHERE duedate >= '2005-01-01' AND duedate <= "
                           "'2005-12-31' AND NOT completed ORDER BY duedate";

    Database db = Database::open(path);
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    // The same page cache as the program's connections, so both read alike.
    sqlite3_exec(raw, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);

    // Opening: our keyset read against raw SQLite stepping the full result once.
    QElapsedTimer t;
    t.start();
    Recordset rs = db.openRecordset(jet);
    const int count = rs.recordCount();
    const qint64 openNs = t.nsecsElapsed();

    t.restart();
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, sqlite, -1, &stmt, nullptr);
    int rawCount = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        ++rawCount;
    sqlite3_finalize(stmt);
    const qint64 rawOpenNs = t.nsecsElapsed();

    t.restart();
    sqlite3_prepare_v2(raw, keysOnly, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    const qint64 rawKeysNs = t.nsecsElapsed();

    std::printf("%d rows selected (raw: %d); keyset held: %zu bytes of keys\n", count, rawCount,
                size_t(count) * sizeof(qint64));
    bench::report("open dynaset vs stepping the full result", openNs, "raw SQLite", rawOpenNs);
    bench::report("open dynaset vs reading the keys only", openNs, "raw SQLite", rawKeysNs);

    // Walking: every row once, reading two fields of each.
    t.restart();
    qint64 sum = 0;
    while (!rs.isEOF()) {
        sum += rs.value(QStringLiteral("taskid")).toInt();
        sum += rs.value(QStringLiteral("duedate")).toDate().day();
        rs.moveNext();
    }
    const qint64 walkNs = t.nsecsElapsed();

    t.restart();
    qint64 rawSum = 0;
    sqlite3_prepare_v2(raw, sqlite, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        rawSum += sqlite3_column_int(stmt, 1);
        rawSum +=
            QDate::fromString(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3))),
                Qt::ISODate)
                .day();
    }
    sqlite3_finalize(stmt);
    const qint64 rawWalkNs = t.nsecsElapsed();

    // The same reads raw SQLite would make for a keyset: one lookup by rowid per row.
    t.restart();
    std::vector<qint64> keys;
    sqlite3_prepare_v2(raw, keysOnly, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(raw, "SELECT * FROM assign WHERE rowid = ?1", -1, &stmt, nullptr);
    for (qint64 k : keys) {
        sqlite3_bind_int64(stmt, 1, k);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                sqlite3_column_value(stmt, c);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    const qint64 rawKeyedNs = t.nsecsElapsed();

    std::printf("checksums: %lld / %lld\n", static_cast<long long>(sum),
                static_cast<long long>(rawSum));
    bench::report("moveNext walk vs stepping the result", walkNs, "raw SQLite", rawWalkNs);
    bench::report("moveNext walk vs raw keyset lookups", walkNs, "raw SQLite", rawKeyedNs);
    sqlite3_close(raw);
    return 0;
}
