// Repair of a damaged database file: the damaged file is kept beside it and a clean file is
// rebuilt from every row that can still be read.

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <limits>

namespace tavrel {

namespace {

// Length of SQLite's file header magic ("SQLite format 3" and its terminating zero).
constexpr int HeaderMagicLength = 16;
// How far repair looks past a damaged run of rows (rowid steps grow to this).
constexpr qint64 LargestRowidSkip = std::numeric_limits<qint64>::max() / 4;

struct RepairSource {
    sqlite3* db = nullptr;
    ~RepairSource() { sqlite3_close_v2(db); }
};

struct SchemaEntry {
    QString type;
    QString name;
    QString table;
    QString sql;
};

// Reads the schema of the damaged copy; false when even that cannot be read.
bool readSchema(sqlite3* db, QList<SchemaEntry>* out) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT type, name, tbl_name, sql FROM sqlite_master", -1, &stmt,
                           nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        SchemaEntry e;
        e.type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        e.name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
        e.table = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2)));
        e.sql = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
        out->append(e);
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE || !out->isEmpty();
}

// The schema a file of this name is created with, for a file whose own schema is lost.
QString fallbackSchema(const QString& path) {
    const QString name = QFileInfo(path).fileName().toLower();
    QString resource;
    if (name == QLatin1String("tavrel.mdb"))
        resource = QStringLiteral(":/sql/tavrel_schema.sql");
    else if (name == QLatin1String("rptspec.mdb"))
        resource = QStringLiteral(":/sql/rptspec_schema.sql");
    QFile f(resource);
    if (resource.isEmpty() || !f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

// Tries a read of the rows after `after`; true when it starts without an error.
bool readableAfter(sqlite3* db, const QString& table, qint64 after) {
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("SELECT * FROM %1 WHERE rowid > ? ORDER BY rowid LIMIT 1")
                            .arg(detail::quoteIdent(table));
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    sqlite3_bind_int64(stmt, 1, after);
    const int rc = sqlite3_step(stmt);
    bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (rc == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            sqlite3_column_value(stmt, i);
    sqlite3_finalize(stmt);
    return ok;
}

// Copies every readable row of one table; a damaged run of rows is stepped over by
// looking for the first rowid after it that reads again.
int copyTable(sqlite3* src, sqlite3* dst, const QString& table) {
    // Columns as the new file has them; the rowid travels with every row.
    QStringList columns;
    {
        sqlite3_stmt* info = nullptr;
        const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(detail::quoteIdent(table));
        if (sqlite3_prepare_v2(dst, sql.toUtf8().constData(), -1, &info, nullptr) == SQLITE_OK)
            while (sqlite3_step(info) == SQLITE_ROW)
                columns << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(info, 1)));
        sqlite3_finalize(info);
    }
    if (columns.isEmpty())
        return 0;
    QStringList quoted;
    for (const QString& c : columns)
        quoted << detail::quoteIdent(c);
    const QString readSql =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid > ? ORDER BY rowid")
            .arg(quoted.join(QLatin1String(", ")), detail::quoteIdent(table));
    const QString writeSql = QStringLiteral("INSERT OR IGNORE INTO %1 (rowid, %2) VALUES (?%3)")
                                 .arg(detail::quoteIdent(table), quoted.join(QLatin1String(", ")),
                                      QString(QStringLiteral(", ?")).repeated(columns.size()));
    sqlite3_stmt* read = nullptr;
    sqlite3_stmt* write = nullptr;
    if (sqlite3_prepare_v2(src, readSql.toUtf8().constData(), -1, &read, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(dst, writeSql.toUtf8().constData(), -1, &write, nullptr) != SQLITE_OK) {
        sqlite3_finalize(read);
        sqlite3_finalize(write);
        return 0;
    }
    int copied = 0;
    qint64 last = std::numeric_limits<qint64>::min();
    for (;;) {
        sqlite3_bind_int64(read, 1, last);
        int rc;
        while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
            const qint64 rowid = sqlite3_column_int64(read, 0);
            bool good = true;
            for (int i = 0; i <= columns.size(); ++i) {
                sqlite3_bind_value(write, i + 1, sqlite3_column_value(read, i));
                if ((sqlite3_errcode(src) & 0xff) == SQLITE_CORRUPT)
                    good = false;
            }
            last = rowid;
            if (good && sqlite3_step(write) == SQLITE_DONE)
                ++copied;
            sqlite3_reset(write);
        }
        sqlite3_reset(read);
        if (rc == SQLITE_DONE)
            break;
        // Damaged: find the first start past `last` that reads again, by doubling steps
        // and then halving back towards the damage.
        qint64 step = 1;
        while (step < LargestRowidSkip && !readableAfter(src, table, last + step))
            step *= 2;
        if (step >= LargestRowidSkip)
            break;
        qint64 bad = last + step / 2;
        qint64 good = last + step;
        if (step == 1)
            bad = last;
        while (good - bad > 1) {
            const qint64 mid = bad + (good - bad) / 2;
            if (readableAfter(src, table, mid))
                good = mid;
            else
                bad = mid;
        }
        last = good;
    }
    sqlite3_finalize(read);
    sqlite3_finalize(write);
    return copied;
}

// A name beside the damaged file for keeping it, never one already used.
QString backupName(const QString& path) {
    const QFileInfo info(path);
    for (int n = 1;; ++n) {
        const QString candidate = info.dir().filePath(QStringLiteral("%1-damaged-%2.%3")
                                                          .arg(info.completeBaseName())
                                                          .arg(n)
                                                          .arg(info.suffix()));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

} // namespace

void Database::repair(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        raiseError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
        return;
    }
    // Connections on the damaged file end here: the file is about to move.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const auto connections = openConnections();
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        const char* file = sqlite3_db_filename(it.key(), "main");
        if (file && QFileInfo(QString::fromUtf8(file)).canonicalFilePath() == canonical)
            it.value()();
    }

    // Work on a copy, so reading never touches the damaged file (or its journal), and mend
    // the header's magic text in the copy, the one part of a header we can always restore.
    const QString copyPath = path + QStringLiteral(".repair-source");
    const QString newPath = path + QStringLiteral(".repair-new");
    QFile::remove(copyPath);
    QFile::remove(newPath);
    if (!QFile::copy(path, copyPath)) {
        raiseError(ErrFileIo, QStringLiteral("Could not read '%1' to repair it.").arg(path));
        return;
    }
    QFile::setPermissions(copyPath, QFile::ReadOwner | QFile::WriteOwner);
    {
        QFile f(copyPath);
        if (f.open(QIODevice::ReadWrite) && f.size() >= HeaderMagicLength) {
            f.write("SQLite format 3", HeaderMagicLength);
        }
    }

    RepairSource src;
    const QString uri = QUrl::fromLocalFile(copyPath).toString() + QStringLiteral("?immutable=1");
    sqlite3_open_v2(uri.toUtf8().constData(), &src.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                    nullptr);
    QList<SchemaEntry> schema;
    const bool haveSchema = src.db && readSchema(src.db, &schema);

    sqlite3* dst = nullptr;
    if (detail::openConnection(newPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &dst) !=
        SQLITE_OK) {
        sqlite3_close_v2(dst);
        QFile::remove(copyPath);
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write the repaired database '%1'.").arg(newPath));
        return;
    }
    sqlite3_exec(dst, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", nullptr,
                 nullptr, nullptr);

    QStringList tables;
    if (haveSchema) {
        for (const SchemaEntry& e : schema)
            if (e.type == QLatin1String("table") && !e.name.startsWith(QLatin1String("sqlite_")) &&
                !e.sql.isEmpty() &&
                sqlite3_exec(dst, e.sql.toUtf8().constData(), nullptr, nullptr, nullptr) ==
                    SQLITE_OK)
                tables << e.name;
    } else {
        sqlite3_exec(dst, fallbackSchema(path).toUtf8().constData(), nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(
            dst, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT GLOB 'sqlite_*'",
            -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            tables << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    if (src.db)
        for (const QString& t : tables)
            copyTable(src.db, dst, t);

    // Counters stay ahead of every key ever given out, as in the damaged file.
    if (src.db) {
        sqlite3_stmt* seq = nullptr;
        if (sqlite3_prepare_v2(src.db, "SELECT name, seq FROM sqlite_sequence", -1, &seq,
                               nullptr) == SQLITE_OK) {
            sqlite3_stmt* up = nullptr;
            sqlite3_prepare_v2(dst, "UPDATE sqlite_sequence SET seq = max(seq, ?2) WHERE name = ?1",
                               -1, &up, nullptr);
            sqlite3_stmt* ins = nullptr;
            sqlite3_prepare_v2(
                dst,
                "INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 WHERE NOT EXISTS "
                "(SELECT 1 FROM sqlite_sequence WHERE name = ?1)",
                -1, &ins, nullptr);
            while (sqlite3_step(seq) == SQLITE_ROW) {
                for (sqlite3_stmt* s : {up, ins}) {
                    if (!s)
                        continue;
                    sqlite3_bind_value(s, 1, sqlite3_column_value(seq, 0));
                    sqlite3_bind_value(s, 2, sqlite3_column_value(seq, 1));
                    sqlite3_step(s);
                    sqlite3_reset(s);
                }
            }
            sqlite3_finalize(up);
            sqlite3_finalize(ins);
        }
        sqlite3_finalize(seq);
    }
    // Indexes, views and triggers after the rows.
    for (const SchemaEntry& e : schema)
        if (e.type != QLatin1String("table") && !e.sql.isEmpty() &&
            !e.name.startsWith(QLatin1String("sqlite_")))
            sqlite3_exec(dst, e.sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    const int commit = sqlite3_exec(dst, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close_v2(dst);
    sqlite3_close_v2(src.db);
    src.db = nullptr;
    QFile::remove(copyPath);
    if (commit != SQLITE_OK) {
        QFile::remove(newPath);
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write the repaired database '%1'.").arg(path));
        return;
    }

    // Keep the damaged file (and a journal that belongs to it) under a new name, then put
    // the clean file in its place.
    const QString backup = backupName(path);
    if (!QFile::rename(path, backup)) {
        QFile::remove(newPath);
        raiseError(ErrFileIo,
                   QStringLiteral("Could not keep the damaged database as '%1'.").arg(backup));
        return;
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            QFile::rename(path + QLatin1String(suffix), backup + QLatin1String(suffix));
    if (!QFile::rename(newPath, path)) {
        QFile::rename(backup, path);
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write the repaired database '%1'.").arg(path));
        return;
    }
}

} // namespace tavrel
