// Walking every row of a large join (assignments with their tasks), as a dynaset and as a
// snapshot, beside raw SQLite stepping the same query and reading the same fields.

#include "benchsite.h"
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

constexpr int DefaultRows = 500000;
constexpr int Tasks = 1000;

// The program's schema, `Tasks` tasks and `rows` assignments of them.
void buildDatabase(const QString& path, int rows) {
    bench::createSiteDatabase(path).close();

    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(raw,
                       "INSERT INTO tasks (taskid, taskname, taskdesc, tools, besttime, reqhour, "
                       "reqmin, locid) VALUES (?1, ?2, 'Inspect, clean and adjust as the maker "
                       "says.', 'Wrenches, rags', 'Morning', 1, 30, ?3)",
                       -1, &ins, nullptr);
    for (int i = 1; i <= Tasks; ++i) {
        // Names in an order of their own, not the order of their keys.
        const QByteArray name =
            QStringLiteral("Task %1 %2").arg(QChar(u'A' + (i * 7) % 26)).arg(i).toUtf8();
        sqlite3_bind_int(ins, 1, i);
        sqlite3_bind_text(ins, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 3, i % 10 + 1);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    bench::addAssignments(path, rows, Tasks);
}

struct Walk {
    qint64 openNs = 0;
    qint64 walkNs = 0;
    qint64 sum = 0;
    int rows = 0;
};

// Opens the query and walks it with moveNext, reading two fields of every row.
Walk walk(Database& db, const QString& sql, RecordsetType type) {
    Walk w;
    QElapsedTimer t;
    t.start();
    Recordset rs = db.openRecordset(sql, type);
    w.openNs = t.nsecsElapsed();
    t.restart();
    while (!rs.isEOF()) {
        w.sum += rs.value(QStringLiteral("taskname")).toString().size();
        w.sum += rs.value(QStringLiteral("duedate")).toDate().day();
        ++w.rows;
        rs.moveNext();
    }
    w.walkNs = t.nsecsElapsed();
    return w;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : DefaultRows;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    std::printf("building %d assignments of %d tasks ...\n", rows, Tasks);
    buildDatabase(path, rows);

    const QString jet = QStringLiteral("Select * from assign left join tasks on assign.taskid = "
                                       "tasks.taskid order by duedate, taskname");
    const char* sqlite = "SELECT * FROM assign LEFT JOIN tasks ON assign.taskid = tasks.taskid "
                         "ORDER BY duedate, taskname";

    Database db = Database::open(path);
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);

    // Warm both caches alike, then measure.
    walk(db, jet, RecordsetType::Dynaset);
    auto rawStep = [&](qint64* sum) {
        QElapsedTimer t;
        t.start();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw, sqlite, -1, &stmt, nullptr);
        int name = -1;
        int due = -1;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
            const QByteArray n = sqlite3_column_name(stmt, c);
            if (n == "taskname")
                name = c;
            else if (n == "duedate" && due < 0)
                due = c;
        }
        int count = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            *sum +=
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, name)))
                    .size();
            *sum += QDate::fromString(QString::fromUtf8(reinterpret_cast<const char*>(
                                          sqlite3_column_text(stmt, due))),
                                      Qt::ISODate)
                        .day();
            ++count;
        }
        sqlite3_finalize(stmt);
        std::printf("raw rows: %d\n", count);
        return t.nsecsElapsed();
    };
    qint64 rawSum = 0;
    rawStep(&rawSum);
    rawSum = 0;
    const qint64 rawNs = rawStep(&rawSum);

    // The floor of any keyset: the keys in order, then the rows read by key, 64 at a time.
    qint64 keyedNs = 0;
    {
        QElapsedTimer t;
        t.start();
        std::vector<qint64> keys;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw,
                           "SELECT assign.rowid FROM assign LEFT JOIN tasks ON assign.taskid = "
                           "tasks.taskid ORDER BY duedate, taskname",
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            keys.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        QByteArray sql = "SELECT assign.rowid, * FROM assign LEFT JOIN tasks ON assign.taskid = "
                         "tasks.taskid WHERE assign.rowid IN (?1";
        for (int i = 2; i <= 64; ++i)
            sql += ", ?" + QByteArray::number(i);
        sql += ")";
        sqlite3_prepare_v2(raw, sql.constData(), -1, &stmt, nullptr);
        qint64 sum = 0;
        const qint64 keysNs = t.nsecsElapsed();
        for (size_t at = 0; at < keys.size(); at += 64) {
            for (size_t k = 0; k < 64 && at + k < keys.size(); ++k)
                sqlite3_bind_int64(stmt, int(k + 1), keys[at + k]);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                sum += sqlite3_column_bytes(stmt, 19) + sqlite3_column_bytes(stmt, 4);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        keyedNs = t.nsecsElapsed();
        std::printf("raw keyset: keys %.1f ms, then rows by key %.1f ms (checksum %lld)\n",
                    keysNs / 1e6, (keyedNs - keysNs) / 1e6, static_cast<long long>(sum));
        keyedNs -= keysNs;
    }
    const Walk dynaset = walk(db, jet, RecordsetType::Dynaset);
    const Walk snapshot = walk(db, jet, RecordsetType::Snapshot);
    std::printf("rows: dynaset %d, snapshot %d; checksums %lld / %lld / raw %lld\n", dynaset.rows,
                snapshot.rows, static_cast<long long>(dynaset.sum),
                static_cast<long long>(snapshot.sum), static_cast<long long>(rawSum));
    bench::report("dynaset: moveNext walk vs stepping the query", dynaset.walkNs, "raw SQLite",
                  rawNs);
    bench::report("dynaset: open + walk vs stepping the query", dynaset.openNs + dynaset.walkNs,
                  "raw SQLite", rawNs);
    bench::report("dynaset: moveNext walk vs raw rows by key", dynaset.walkNs, "raw SQLite",
                  keyedNs);
    bench::report("snapshot: moveNext walk vs stepping the query", snapshot.walkNs, "raw SQLite",
                  rawNs);
    bench::report("snapshot: open (copy) + walk vs stepping", snapshot.openNs + snapshot.walkNs,
                  "raw SQLite", rawNs);
    sqlite3_close(raw);
    return 0;
}
