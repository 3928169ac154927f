// Repair of a damaged database file: the damaged file is kept beside it and a clean file is
// rebuilt from every row that can still be read, by its key where the table's tree can be
// walked and from the file's table leaf pages where it cannot.

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"
#include "data/fileaccess.h"
#include "data/jetheader.h"
#include "data/repair_p.h"
#include "data/schema.h"
#include "data/units.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace tavrel {

using detail::SqliteConnection;
using detail::Statement;
using detail::UnplacedRows;

namespace {

// Length of SQLite's file header magic ("SQLite format 3" and its terminating zero).
constexpr int HeaderMagicLength = 16;
constexpr qint64 LowestKey = std::numeric_limits<qint64>::min();
constexpr qint64 HighestKey = std::numeric_limits<qint64>::max();
// The first key SQLite hands out in an empty table.
constexpr qint64 FirstKey = 1;
// Keys next to readable ones are the likeliest to exist: a stretch of unread keys this
// narrow is tried key by key, and a wider one key by key this far in from either end. Rows
// of intact pages beyond are found by the doubling search below or on the pages themselves.
constexpr quint64 KeyByKeyWidth = 256;
// Upper bound on the lookups spent on one table's damage, so that a file damaged in some
// pathological pattern still repairs in bounded time.
constexpr qint64 LookupBudget = 200000;
// The files beside a database that belong to it.
constexpr const char* JournalSuffixes[] = {"-journal", "-wal", "-shm"};

QString columnText(sqlite3_stmt* stmt, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
}

bool isInternalName(const QString& name) {
    return name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive);
}

struct SchemaEntry {
    QString type;
    QString name;
    QString table;
    QString sql;
};

// Reads as much of a file's schema as can be read; false when nothing could be.
bool readSchema(sqlite3* db, QList<SchemaEntry>* out) {
    Statement read(db, QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master"));
    if (!read)
        return false;
    int rc;
    while ((rc = sqlite3_step(read.stmt)) == SQLITE_ROW)
        out->append({columnText(read.stmt, 0), columnText(read.stmt, 1), columnText(read.stmt, 2),
                     columnText(read.stmt, 3)});
    return rc == SQLITE_DONE || !out->isEmpty();
}

// The schema a file of this name is created with: what a rebuilt file must hold whatever
// survived of the damaged file's own schema.
QList<SchemaEntry> currentSchema(const QString& path) {
    const QString name = QFileInfo(path).fileName().toLower();
    QString resource;
    if (name == QLatin1String("tavrel.mdb"))
        resource = QStringLiteral(":/sql/tavrel_schema.sql");
    else if (name == QLatin1String("rptspec.mdb"))
        resource = QStringLiteral(":/sql/rptspec_schema.sql");
    QFile f(resource);
    if (resource.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    SqliteConnection scratch;
    QList<SchemaEntry> entries;
    if (sqlite3_open_v2(":memory:", &scratch.db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(scratch.db, f.readAll().constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        readSchema(scratch.db, &entries);
    return entries;
}

bool hasTable(const QStringList& tables, const QString& name) {
    return tables.contains(name, Qt::CaseInsensitive);
}

QStringList columnsOf(sqlite3* db, const QString& table) {
    QStringList columns;
    Statement info(db, QStringLiteral("PRAGMA table_info(%1)").arg(detail::quoteIdent(table)));
    while (info && sqlite3_step(info.stmt) == SQLITE_ROW)
        columns << columnText(info.stmt, 1);
    return columns;
}

// Copies every row of one table that can still be reached by its key. The table is read in
// key order from both ends; where damage stops a read, the stretch of keys between is
// searched for keys that read again (key by key next to readable rows, at doubling
// distances further away), so that damage anywhere, the first page included, loses only
// the rows on the damaged pages. Reads go by key only, never through an index, so a damaged
// index loses nothing.
class TableCopier {
public:
    TableCopier(sqlite3* src, sqlite3* dst, const QString& table) {
        const QStringList have = columnsOf(src, table);
        QStringList quoted;
        for (const QString& c : columnsOf(dst, table))
            if (have.contains(c, Qt::CaseInsensitive))
                quoted << detail::quoteIdent(c);
        if (quoted.isEmpty())
            return; // nothing of the table reads: its rows are looked for on the pages
        columns_ = int(quoted.size());
        const QString list = quoted.join(QLatin1String(", "));
        const QString read =
            QStringLiteral("SELECT rowid, %1 FROM %2 NOT INDEXED WHERE rowid BETWEEN ?1 AND ?2 "
                           "ORDER BY rowid %3")
                .arg(list, detail::quoteIdent(table));
        up_ = std::make_unique<Statement>(src, read.arg(QLatin1String("ASC")));
        down_ = std::make_unique<Statement>(src, read.arg(QLatin1String("DESC")));
        write_ = std::make_unique<Statement>(
            dst, QStringLiteral("INSERT OR IGNORE INTO %1 (rowid, %2) VALUES (?%3)")
                     .arg(detail::quoteIdent(table), list,
                          QString(QStringLiteral(", ?")).repeated(columns_)));
    }

    void copy() {
        if (!up_ || !*up_ || !*down_ || !*write_) {
            metDamage_ = true;
            return;
        }
        std::vector<Stretch> unread{{LowestKey, HighestKey}};
        while (!unread.empty() && lookups_ < LookupBudget) {
            const Stretch s = unread.back();
            unread.pop_back();
            searchStretch(s, &unread);
        }
    }

    // True when some read met damage: the table's tree could not be walked whole.
    bool metDamage() const { return metDamage_; }

private:
    // Keys lo..hi, both included, not read yet.
    struct Stretch {
        qint64 lo;
        qint64 hi;
    };
    enum class Direction { Up, Down };
    struct Scan {
        bool complete = false; // every key of the stretch was reached
        bool any = false;      // at least one row was reached
        qint64 last = 0;       // the last key reached, in the scan's direction
    };

    static quint64 width(const Stretch& s) { return quint64(s.hi) - quint64(s.lo); }

    // Reads rows with keys lo..hi in one direction until the end or the first damage.
    Scan scan(qint64 lo, qint64 hi, Direction direction) {
        ++lookups_;
        sqlite3_stmt* read = direction == Direction::Up ? up_->stmt : down_->stmt;
        sqlite3_bind_int64(read, 1, lo);
        sqlite3_bind_int64(read, 2, hi);
        Scan result;
        int rc;
        while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
            const qint64 key = sqlite3_column_int64(read, 0);
            // A damaged page can read as rows out of order or out of range: stop there.
            const bool inOrder =
                !result.any || (direction == Direction::Up ? key > result.last : key < result.last);
            if (key < lo || key > hi || !inOrder) {
                rc = SQLITE_CORRUPT;
                break;
            }
            result.any = true;
            result.last = key;
            for (int i = 0; i <= columns_; ++i)
                sqlite3_bind_value(write_->stmt, i + 1, sqlite3_column_value(read, i));
            sqlite3_step(write_->stmt);
            sqlite3_reset(write_->stmt);
        }
        sqlite3_reset(read);
        result.complete = rc == SQLITE_DONE;
        metDamage_ = metDamage_ || !result.complete;
        return result;
    }

    // Reads what it can of a stretch and leaves the parts still unread in `unread`.
    void searchStretch(Stretch s, std::vector<Stretch>* unread) {
        const Scan up = scan(s.lo, s.hi, Direction::Up);
        if (up.complete || (up.any && up.last == s.hi))
            return;
        if (up.any)
            s.lo = up.last + 1;
        const Scan down = scan(s.lo, s.hi, Direction::Down);
        if (down.complete || (down.any && down.last == s.lo))
            return;
        if (down.any)
            s.hi = down.last - 1;
        // Damage at both ends of what is left.
        if (width(s) < 2 * KeyByKeyWidth) {
            tryEachKey(s.lo, s.hi);
            return;
        }
        tryEachKey(s.lo, s.lo + qint64(KeyByKeyWidth - 1));
        tryEachKey(s.hi - qint64(KeyByKeyWidth - 1), s.hi);
        const Stretch inner{s.lo + qint64(KeyByKeyWidth), s.hi - qint64(KeyByKeyWidth)};
        // Further in, the nearest key at a doubling distance that reads again splits the
        // stretch in two, each searched in turn. Distances are counted from either end and,
        // since keys are handed out from 1 upwards, from 1: with damage at both ends of a
        // table, 1 is where its keys are to be found.
        const bool fromFirstKey = inner.lo < FirstKey && FirstKey <= inner.hi;
        for (quint64 distance = 0; distance <= width(inner) && lookups_ < LookupBudget;
             distance = 2 * distance + 1) {
            if (readsAgainFrom(qint64(quint64(inner.lo) + distance), inner, unread) ||
                readsAgainDownFrom(qint64(quint64(inner.hi) - distance), inner, unread))
                return;
            if (fromFirstKey && distance <= quint64(inner.hi) - quint64(FirstKey) &&
                readsAgainFrom(qint64(quint64(FirstKey) + distance), inner, unread))
                return;
        }
    }

    // Reads upwards from `from` inside `s`; when anything reads, leaves what is still unread
    // of `s` on either side in `unread`.
    bool readsAgainFrom(qint64 from, const Stretch& s, std::vector<Stretch>* unread) {
        const Scan found = scan(from, s.hi, Direction::Up);
        if (!found.any && !found.complete)
            return false;
        if (from > s.lo)
            unread->push_back({s.lo, from - 1});
        if (!found.complete && found.last < s.hi)
            unread->push_back({found.last + 1, s.hi});
        return true;
    }

    bool readsAgainDownFrom(qint64 to, const Stretch& s, std::vector<Stretch>* unread) {
        const Scan found = scan(s.lo, to, Direction::Down);
        if (!found.any && !found.complete)
            return false;
        if (to < s.hi)
            unread->push_back({to + 1, s.hi});
        if (!found.complete && found.last > s.lo)
            unread->push_back({s.lo, found.last - 1});
        return true;
    }

    void tryEachKey(qint64 lo, qint64 hi) {
        for (qint64 key = lo; lookups_ < LookupBudget; ++key) {
            scan(key, key, Direction::Up);
            if (key == hi)
                break;
        }
    }

    int columns_ = 0;
    std::unique_ptr<Statement> up_;
    std::unique_ptr<Statement> down_;
    std::unique_ptr<Statement> write_;
    qint64 lookups_ = 0;
    bool metDamage_ = false;
};

// Counters stay ahead of every key the damaged file ever gave out.
void copySequences(sqlite3* src, sqlite3* dst) {
    Statement seq(src, QStringLiteral("SELECT name, seq FROM sqlite_sequence"));
    Statement up(dst, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?2) "
                                     "WHERE name = ?1"));
    Statement ins(dst, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT ?1, ?2 "
                                      "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence "
                                      "WHERE name = ?1)"));
    while (seq && sqlite3_step(seq.stmt) == SQLITE_ROW) {
        for (const Statement* s : {&up, &ins}) {
            if (!*s)
                continue;
            sqlite3_bind_value(s->stmt, 1, sqlite3_column_value(seq.stmt, 0));
            sqlite3_bind_value(s->stmt, 2, sqlite3_column_value(seq.stmt, 1));
            sqlite3_step(s->stmt);
            sqlite3_reset(s->stmt);
        }
    }
}

// A task database always holds one settings row and the 52 weeks of its year: what was
// lost of them is put back, for the stored year or, when that is lost too, `fallbackYear`.
void completeTaskTables(sqlite3* db, const QStringList& tables, int fallbackYear) {
    if (!hasTable(tables, QStringLiteral("settings")) || !hasTable(tables, QStringLiteral("weeks")))
        return;
    // The stored year, else the year of the weeks that were kept, else the fallback.
    int year = 0;
    const auto readYear = [&](const char* sql) {
        Statement stored(db, QString::fromLatin1(sql));
        if (year == 0 && stored && sqlite3_step(stored.stmt) == SQLITE_ROW) {
            const int value = sqlite3_column_int(stored.stmt, 0);
            if (value > 0 && QDate(value, 1, 1).isValid())
                year = value;
        }
    };
    readYear("SELECT CurYear FROM settings WHERE CurYear IS NOT NULL ORDER BY rowid LIMIT 1");
    readYear("SELECT CAST(substr(curdate, 1, 4) AS INTEGER) FROM weeks WHERE curdate IS NOT "
             "NULL ORDER BY weeid LIMIT 1");
    if (year == 0)
        year = fallbackYear;
    sqlite3_exec(db, "DELETE FROM settings WHERE rowid > (SELECT min(rowid) FROM settings)",
                 nullptr, nullptr, nullptr);
    Statement setting(db, QStringLiteral("INSERT INTO settings (CurYear) SELECT ?1 "
                                         "WHERE NOT EXISTS (SELECT 1 FROM settings)"));
    if (setting) {
        sqlite3_bind_int(setting.stmt, 1, year);
        sqlite3_step(setting.stmt);
    }
    Statement week(db, QStringLiteral("INSERT INTO weeks (weeid, curdate) SELECT ?1, ?2 "
                                      "WHERE NOT EXISTS (SELECT 1 FROM weeks WHERE weeid = ?1)"));
    const QList<QDate> mondays = weekMondays(year);
    for (int w = 1; week && w <= WeeksPerYear; ++w) {
        const QByteArray date = mondays[w - 1].toString(Qt::ISODate).toUtf8();
        sqlite3_bind_int(week.stmt, 1, w);
        sqlite3_bind_text(week.stmt, 2, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        sqlite3_step(week.stmt);
        sqlite3_reset(week.stmt);
    }
}

// The name the damaged file is kept under: beside it, numbered, never one that a file or a
// link (dangling ones too) already has, nor one whose journal names are taken. The name is
// created empty, so nothing else takes it before the damaged file is moved over it.
QString createBackupName(const QString& path) {
    const QFileInfo info(path);
    return createUnusedFile([&](int n) {
        const QString name = info.dir().filePath(QStringLiteral("%1-damaged-%2.%3")
                                                     .arg(info.completeBaseName())
                                                     .arg(n)
                                                     .arg(info.suffix()));
        for (const char* suffix : JournalSuffixes)
            if (nameTaken(name + QLatin1String(suffix)))
                return QString();
        return name;
    });
}

// Where the rows no table could be chosen for are kept: beside the damaged file's copy.
QString createUnplacedName(const QString& backup) {
    const QFileInfo info(backup);
    return createUnusedFile([&](int n) {
        const QString counted = n == 1 ? QString() : QStringLiteral("-%1").arg(n);
        return info.dir().filePath(QStringLiteral("%1-unplaced%2.%3")
                                       .arg(info.completeBaseName(), counted, info.suffix()));
    });
}

// Writes the clean file at `newPath` from what can be read of `copyPath`. False when the
// new file could not be written.
bool rebuild(const QString& path, const QString& copyPath, const QString& newPath, int fallbackYear,
             UnplacedRows* unplaced) {
    SqliteConnection src;
    const QString uri = QUrl::fromLocalFile(copyPath).toString() + QStringLiteral("?immutable=1");
    sqlite3_open_v2(uri.toUtf8().constData(), &src.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                    nullptr);
    QList<SchemaEntry> schema;
    if (src.db)
        readSchema(src.db, &schema);
    const QList<SchemaEntry> current = currentSchema(path);
    const QList<SchemaEntry>* const schemas[] = {&schema, &current};

    // The new file has the damaged one's access before any row is in it.
    {
        QFile created(newPath);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
    }
    takeFileAccessOf(newPath, path);
    SqliteConnection dst;
    if (detail::openConnection(newPath, SQLITE_OPEN_READWRITE, &dst.db) != SQLITE_OK)
        return false;
    sqlite3_exec(dst.db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", nullptr,
                 nullptr, nullptr);

    // The damaged file's own tables as it declared them (an older file keeps its older
    // columns for the upgrade to add), then every table of the current schema it lacks.
    QStringList tables;
    for (const QList<SchemaEntry>* entries : schemas)
        for (const SchemaEntry& e : *entries)
            if (e.type == QLatin1String("table") && !isInternalName(e.name) && !e.sql.isEmpty() &&
                !hasTable(tables, e.name) &&
                sqlite3_exec(dst.db, e.sql.toUtf8().constData(), nullptr, nullptr, nullptr) ==
                    SQLITE_OK)
                tables << e.name;
    // By key first, then from the pages where the keys could not all be read.
    std::vector<bool> damaged;
    for (const QString& t : tables) {
        if (!src.db) {
            damaged.push_back(true);
            continue;
        }
        TableCopier copier(src.db, dst.db, t);
        copier.copy();
        damaged.push_back(copier.metDamage());
    }
    if (std::find(damaged.begin(), damaged.end(), true) != damaged.end() &&
        (!detail::recoverFromPages(copyPath, dst.db, tables, damaged, unplaced) ||
         !unplaced->finish()))
        return false;
    if (src.db)
        copySequences(src.db, dst.db);
    completeTaskTables(dst.db, tables, fallbackYear);
    // Indexes, views and triggers after the rows; one that exists already or does not fit
    // an older table is simply not made.
    for (const QList<SchemaEntry>* entries : schemas)
        for (const SchemaEntry& e : *entries)
            if (e.type != QLatin1String("table") && !e.sql.isEmpty() && !isInternalName(e.name))
                sqlite3_exec(dst.db, e.sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    // SQLite makes a trigger whatever columns it names, and only an update of its table
    // finds out: one of the current schema on an older table (its row version column is
    // the upgrade's to add) would make every update of that table fail.
    for (const QList<SchemaEntry>* entries : schemas)
        for (const SchemaEntry& e : *entries)
            if (e.type == QLatin1String("trigger") && !e.sql.isEmpty()) {
                sqlite3_stmt* probe = nullptr;
                const QString sql = QStringLiteral("UPDATE %1 SET rowid = rowid WHERE 0")
                                        .arg(detail::quoteIdent(e.table));
                if (sqlite3_prepare_v2(dst.db, sql.toUtf8().constData(), -1, &probe, nullptr) !=
                    SQLITE_OK)
                    sqlite3_exec(dst.db,
                                 QStringLiteral("DROP TRIGGER IF EXISTS %1")
                                     .arg(detail::quoteIdent(e.name))
                                     .toUtf8()
                                     .constData(),
                                 nullptr, nullptr, nullptr);
                sqlite3_finalize(probe);
            }
    return sqlite3_exec(dst.db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

namespace detail {

// The damaged file (and a journal that belongs to it) is moved or linked, not copied, so
// that it keeps its mode and owner. A journal is always moved: left beside the file that
// takes the damaged one's place, it would be played back into it.
QString keepDamagedFile(const QString& path, bool leaveName) {
    const QString kept = createBackupName(path);
    if (kept.isEmpty())
        return {};
    bool linked = false;
    if (leaveName) {
        // The second name is made under a name of its own, then takes the place of the
        // empty file that holds the kept name.
        const QString link = kept + QStringLiteral(".link");
        std::error_code error;
        std::filesystem::create_hard_link(std::filesystem::path(path.toStdU16String()),
                                          std::filesystem::path(link.toStdU16String()), error);
        linked = !error && replaceFileWith(kept, link);
        if (!linked)
            QFile::remove(link);
    }
    if (!linked && !replaceFileWith(kept, path)) {
        if (!kept.isEmpty())
            QFile::remove(kept);
        return {};
    }
    for (const char* suffix : JournalSuffixes)
        if (nameTaken(path + QLatin1String(suffix)))
            replaceFileWith(kept + QLatin1String(suffix), path + QLatin1String(suffix));
    return kept;
}

} // namespace detail

// One piece: the steps of a repair run in order on the same two files, and each failure ends it
// where it stands.
QString Database::repair(const QString& path, int yearIfUnknown, QString* unplacedRows) {
    if (unplacedRows)
        unplacedRows->clear();
    if (!QFileInfo(path).isFile()) {
        raiseError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
        return {};
    }
    if (isJetDatabaseFile(path)) {
        raiseError(ErrEarlierFormat, earlierFormatDescription(path));
        return {};
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
    const QString unplacedPath = path + QStringLiteral(".repair-unplaced");
    const auto removeWork = [&] {
        for (const QString& work : {copyPath, newPath, unplacedPath})
            QFile::remove(work);
    };
    removeWork();
    if (!QFile::copy(path, copyPath)) {
        raiseError(ErrFileIo, QStringLiteral("Could not read '%1' to repair it.").arg(path));
        return {};
    }
    QFile::setPermissions(copyPath, QFile::ReadOwner | QFile::WriteOwner);
    {
        QFile f(copyPath);
        if (f.open(QIODevice::ReadWrite) && f.size() >= HeaderMagicLength) {
            f.write("SQLite format 3", HeaderMagicLength);
        }
    }
    const int fallbackYear = yearIfUnknown > 0 ? yearIfUnknown : QDate::currentDate().year();
    UnplacedRows unplaced(unplacedPath, path);
    const bool rebuilt = rebuild(path, copyPath, newPath, fallbackYear, &unplaced);
    QFile::remove(copyPath);
    if (!rebuilt) {
        removeWork();
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write the repaired database '%1'.").arg(path));
        return {};
    }

    // Keep the damaged file under a new name, then put the clean file in its place.
    const QString backup = detail::keepDamagedFile(path);
    if (backup.isEmpty()) {
        removeWork();
        raiseError(ErrFileIo,
                   QStringLiteral("Could not keep the damaged database beside '%1'.").arg(path));
        return {};
    }
    if (!replaceFileWith(path, newPath)) {
        replaceFileWith(path, backup);
        removeWork();
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write the repaired database '%1'.").arg(path));
        return {};
    }
    if (unplaced.rows() > 0) {
        // Where the name cannot be had, the rows stay under their working name.
        const QString kept = createUnplacedName(backup);
        const bool moved = !kept.isEmpty() && replaceFileWith(kept, unplacedPath);
        if (!moved && !kept.isEmpty())
            QFile::remove(kept);
        if (unplacedRows)
            *unplacedRows = moved ? kept : unplacedPath;
    }
    return backup;
}

} // namespace tavrel
