// Backups of the task database: names, listing, rotation, the copy itself, its check, and
// restoring one into the live file.

#include "data/backup.h"

#include "data/database_p.h"
#include "data/fileaccess.h"
#include "data/jetheader.h"
#include "data/repair_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavrel {

namespace {

// Pages copied by one step of the online backup API. Each step holds the source's read lock
// while it copies, so a save on another connection waits for at most one step. Measured on
// a site of 520,000 assignments (59 MiB in pages of 4 KiB, Release build, best of 5): steps
// of 256 pages (1 MiB) take 2 ms each (10 ms at the longest) and copy the file as fast as
// steps of 1024 pages (8 ms each) or one step for all (140 ms). Steps of 16 pages make the
// whole copy a fifth slower, and below a millisecond a step no save notices the difference.
// 256 keeps the copy as fast as it gets while a save waits a few milliseconds at most.
constexpr int StepPages = 256;
// A step that meets a lock (another program writing, or a reader holding up a restore's
// commit) is tried again after a pause, for this long at most.
constexpr int BusyPauseMs = 5;
constexpr int MaxBusyPauses = 2000; // ten seconds
// A write by another connection between two steps starts the copy afresh. A database that
// changes faster than it can be copied is given up rather than copied for ever.
constexpr int MaxRestarts = 20;

constexpr char TemporarySuffix[] = ".partial";
// The new database a restore over a damaged one writes beside it.
constexpr char RestoreSuffix[] = ".restore-new";

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The files matching `pattern` in `dir` that a copy cut short by a crash or a power cut left
// behind: a copy being written now is never a day old.
QFileInfoList leftoversADayOld(const QDir& dir, const QString& pattern) {
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    QFileInfoList old;
    for (const QFileInfo& left : dir.entryInfoList({pattern}, QDir::Files | QDir::Hidden))
        if (left.lastModified() < dayAgo)
            old << left;
    return old;
}

void reachPoint(bool hooked, const char* point) {
    if (hooked && detail::connectionHooks().copyPoint)
        detail::connectionHooks().copyPoint(point);
}

// A connection of the engine's own, closed with it.
struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { close(); }
    void close() {
        if (db)
            sqlite3_close_v2(db);
        db = nullptr;
    }
    QString message() const { return QString::fromUtf8(sqlite3_errmsg(db)); }
};

// The file system as SQLite sees it for the two ends of a copy, with two differences. The
// pages, which SQLite writes one by one in order, reach the system in blocks of
// CombinedWriteBytes: written 4 KiB at a time, a copy took three times as long as a plain
// file copy, most of it in the system calls and in syncing a file written in small pieces;
// blocks of 64 KiB write as fast as any larger ones (and SQLite's own file layer writes
// less than 128 KiB at a time). And the pages, which a copy reads one by one in order, come
// from the system in blocks of ReadAheadBytes: a read of 4 KiB costs a system call, and the
// reads were a quarter of a copy's time. Read blocks are kept only while the connection
// holds its lock: no other connection can write the file then (a write needs a lock no
// reader may hold), and any change of lock, write or truncation drops them. This is what a
// memory map of the source would give, without its one flaw: a read error of a failing
// disk on a mapped file ends the program, where a read returns an error the copy reports.
constexpr qsizetype CombinedWriteBytes = 64 * 1024;
// SQLite's Unix file layer writes at most 128 KiB less one byte in one call (it masks the
// length), and reports a longer write as a full disk.
static_assert(CombinedWriteBytes < 128 * 1024);
constexpr qsizetype ReadAheadBytes = 256 * 1024;
// Reads smaller than this (SQLite's peeks at the file's header) never start a block.
constexpr int SmallestReadAhead = 512;

struct CombiningFile {
    sqlite3_file base;
    sqlite3_file* real;      // the file of the system's VFS, in the same allocation
    QByteArray* pending;     // bytes written and not yet passed on
    sqlite3_int64 pendingAt; // where they go in the file
    QByteArray* ahead;       // bytes read ahead, while the lock they were read under lasts
    sqlite3_int64 aheadAt;   // where they come from
    bool readsAhead;         // a database file, not a journal
};

sqlite3_vfs* realVfs() {
    return sqlite3_vfs_find(nullptr);
}

CombiningFile* combining(sqlite3_file* f) {
    return reinterpret_cast<CombiningFile*>(f);
}

int flushPending(CombiningFile* f) {
    if (f->pending->isEmpty())
        return SQLITE_OK;
    const int rc = f->real->pMethods->xWrite(f->real, f->pending->constData(),
                                             int(f->pending->size()), f->pendingAt);
    f->pending->clear();
    return rc;
}

void dropReadAhead(CombiningFile* f) {
    f->ahead->clear();
}

int combinedClose(sqlite3_file* file) {
    CombiningFile* f = combining(file);
    flushPending(f);
    delete f->pending;
    f->pending = nullptr;
    delete f->ahead;
    f->ahead = nullptr;
    return f->real->pMethods->xClose(f->real);
}

int combinedRead(sqlite3_file* file, void* to, int amount, sqlite3_int64 offset) {
    CombiningFile* f = combining(file);
    if (const int rc = flushPending(f); rc != SQLITE_OK)
        return rc;
    sqlite3_file* real = f->real;
    const auto held = [f, amount, offset] {
        return offset >= f->aheadAt && offset + amount <= f->aheadAt + f->ahead->size();
    };
    if (f->readsAhead && !held() && amount >= SmallestReadAhead && amount < ReadAheadBytes) {
        dropReadAhead(f);
        // A block reaches no further than the end of the file: a read past it is SQLite's
        // to handle, as the system's file layer answers it.
        sqlite3_int64 size = 0;
        if (real->pMethods->xFileSize(real, &size) == SQLITE_OK && offset + amount <= size) {
            const qsizetype block = qsizetype(qMin<sqlite3_int64>(ReadAheadBytes, size - offset));
            f->ahead->resize(block);
            if (real->pMethods->xRead(real, f->ahead->data(), int(block), offset) == SQLITE_OK)
                f->aheadAt = offset;
            else
                dropReadAhead(f);
        }
    }
    if (held() && !f->ahead->isEmpty()) {
        std::memcpy(to, f->ahead->constData() + (offset - f->aheadAt), size_t(amount));
        return SQLITE_OK;
    }
    return real->pMethods->xRead(real, to, amount, offset);
}

int combinedWrite(sqlite3_file* file, const void* from, int amount, sqlite3_int64 offset) {
    CombiningFile* f = combining(file);
    dropReadAhead(f);
    const bool follows = offset == f->pendingAt + f->pending->size();
    if (!f->pending->isEmpty() && (!follows || f->pending->size() + amount > CombinedWriteBytes))
        if (const int rc = flushPending(f); rc != SQLITE_OK)
            return rc;
    if (f->pending->isEmpty())
        f->pendingAt = offset;
    f->pending->append(static_cast<const char*>(from), amount);
    return SQLITE_OK;
}

int combinedTruncate(sqlite3_file* file, sqlite3_int64 size) {
    CombiningFile* f = combining(file);
    dropReadAhead(f);
    if (const int rc = flushPending(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xTruncate(f->real, size);
}

int combinedSync(sqlite3_file* file, int flags) {
    CombiningFile* f = combining(file);
    if (const int rc = flushPending(f); rc != SQLITE_OK)
        return rc;
    return f->real->pMethods->xSync(f->real, flags);
}

int combinedFileSize(sqlite3_file* file, sqlite3_int64* size) {
    CombiningFile* f = combining(file);
    const int rc = f->real->pMethods->xFileSize(f->real, size);
    if (rc == SQLITE_OK && !f->pending->isEmpty())
        *size = qMax(*size, f->pendingAt + f->pending->size());
    return rc;
}

int combinedLock(sqlite3_file* f, int level) {
    dropReadAhead(combining(f));
    return combining(f)->real->pMethods->xLock(combining(f)->real, level);
}
int combinedUnlock(sqlite3_file* f, int level) {
    dropReadAhead(combining(f));
    return combining(f)->real->pMethods->xUnlock(combining(f)->real, level);
}
int combinedCheckReservedLock(sqlite3_file* f, int* out) {
    return combining(f)->real->pMethods->xCheckReservedLock(combining(f)->real, out);
}
int combinedFileControl(sqlite3_file* f, int op, void* arg) {
    return combining(f)->real->pMethods->xFileControl(combining(f)->real, op, arg);
}
int combinedSectorSize(sqlite3_file* f) {
    return combining(f)->real->pMethods->xSectorSize(combining(f)->real);
}
int combinedDeviceCharacteristics(sqlite3_file* f) {
    return combining(f)->real->pMethods->xDeviceCharacteristics(combining(f)->real);
}

// Version 1 methods: no shared memory and no memory mapping, which the copy does not use
// (the program's databases keep their journal beside them, never in write-ahead mode).
const sqlite3_io_methods CombiningMethods = {
    1,
    combinedClose,
    combinedRead,
    combinedWrite,
    combinedTruncate,
    combinedSync,
    combinedFileSize,
    combinedLock,
    combinedUnlock,
    combinedCheckReservedLock,
    combinedFileControl,
    combinedSectorSize,
    combinedDeviceCharacteristics,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int combiningOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                  int* outFlags) {
    CombiningFile* f = combining(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    f->pending = nullptr;
    f->pendingAt = 0;
    f->ahead = nullptr;
    f->aheadAt = 0;
    f->readsAhead = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    file->pMethods = nullptr;
    const int rc = realVfs()->xOpen(realVfs(), name, f->real, flags, outFlags);
    if (f->real->pMethods) {
        f->pending = new QByteArray;
        f->pending->reserve(CombinedWriteBytes);
        f->ahead = new QByteArray;
        file->pMethods = &CombiningMethods;
    }
    return rc;
}

} // namespace

// Registered on first use.
const char* detail::copyFileLayer() {
    static const char* name = [] {
        static sqlite3_vfs vfs = *realVfs();
        vfs.szOsFile = int(sizeof(CombiningFile)) + realVfs()->szOsFile;
        vfs.zName = "tavrel-backup-copy";
        vfs.pNext = nullptr;
        vfs.xOpen = combiningOpen;
        sqlite3_vfs_register(&vfs, 0);
        return vfs.zName;
    }();
    return name;
}

namespace {

// A file opened read-only, apart from the program's connections and hooks.
int openReadOnly(const QString& path, Connection* c, const char* vfs = nullptr) {
    return sqlite3_open_v2(QFile::encodeName(path).constData(), &c->db,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, vfs);
}

struct CopyOutcome {
    int rc = SQLITE_OK; // SQLITE_DONE when the whole database was copied
    bool stopped = false;
    QString message; // SQLite's text for a failure
    bool done() const { return rc == SQLITE_DONE && !stopped; }
    bool full() const { return (rc & 0xff) == SQLITE_FULL; }
};

// Starts writing to the disk what the steps so far put into a file, while the next steps
// run, so that the sync at the end finds little left to write. (A copy written in pages
// of 4 KiB takes the disk twice as long to sync at the end as one written in large blocks.)
class EarlyWriteback {
public:
    explicit EarlyWriteback(const QString& path) {
#ifdef Q_OS_LINUX
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
#else
        Q_UNUSED(path);
#endif
    }
    ~EarlyWriteback() {
#ifdef Q_OS_LINUX
        if (fd_ >= 0)
            ::close(fd_);
#endif
    }
    EarlyWriteback(const EarlyWriteback&) = delete;
    EarlyWriteback& operator=(const EarlyWriteback&) = delete;
    void start() {
#ifdef Q_OS_LINUX
        if (fd_ >= 0)
            ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }

private:
    int fd_ = -1;
};

// Copies the database of `from` into that of `to` through the online backup API, in steps
// of StepPages under the source's read lock, reporting each step to `progress`.
CopyOutcome copyDatabase(sqlite3* to, sqlite3* from, bool hooked, const BackupProgress& progress,
                         EarlyWriteback* writeback = nullptr) {
    CopyOutcome out;
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        out.rc = sqlite3_errcode(to);
        out.message = QString::fromUtf8(sqlite3_errmsg(to));
        return out;
    }
    int pauses = 0;
    int restarts = 0;
    int lastRemaining = -1;
    for (;;) {
        out.rc = sqlite3_backup_step(backup, StepPages);
        if (out.rc == SQLITE_BUSY || out.rc == SQLITE_LOCKED) {
            if (++pauses > MaxBusyPauses)
                break;
            QThread::msleep(BusyPauseMs);
            continue;
        }
        pauses = 0;
        if (out.rc != SQLITE_OK && out.rc != SQLITE_DONE)
            break;
        const int total = sqlite3_backup_pagecount(backup);
        const int remaining = sqlite3_backup_remaining(backup);
        if (lastRemaining >= 0 && remaining > lastRemaining && ++restarts > MaxRestarts) {
            out.rc = SQLITE_BUSY;
            out.message = QStringLiteral("the database kept changing while it was copied");
            break;
        }
        lastRemaining = remaining;
        if (writeback)
            writeback->start();
        reachPoint(hooked, "step");
        if (progress && !progress(total - remaining, total)) {
            out.stopped = true;
            break;
        }
        if (out.rc == SQLITE_DONE)
            break;
    }
    // Finishing an unfinished copy rolls back what it wrote into `to`.
    const int finished = sqlite3_backup_finish(backup);
    if (out.rc == SQLITE_DONE && finished != SQLITE_OK)
        out.rc = finished;
    if (out.message.isEmpty() && out.rc != SQLITE_DONE)
        out.message = out.rc == SQLITE_BUSY || out.rc == SQLITE_LOCKED
                          ? QStringLiteral("the database stayed locked by another program")
                          : QString::fromUtf8(sqlite3_errstr(out.rc));
    return out;
}

// Writes the file's data to the disk; the folder's entry is synced apart (syncFolder).
bool syncFile(const QString& path) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#else
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.flush();
#endif
}

// Makes a new name in the folder (a rename) last through a power cut.
bool syncFolder(const QString& folder) {
#ifdef Q_OS_UNIX
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

// The tables every task database of this program has: those its schema script creates,
// but for the ones an upgrade step adds (a backup made before that step is still complete:
// the step runs again on it once restored).
QStringList schemaTables() {
    static const QStringList tables = [] {
        QFile f(QStringLiteral(":/sql/tavrel_schema.sql"));
        QStringList names;
        if (!f.open(QIODevice::ReadOnly))
            return names;
        static const QRegularExpression create(QStringLiteral("CREATE\\s+TABLE\\s+(\\w+)"),
                                               QRegularExpression::CaseInsensitiveOption);
        auto it = create.globalMatch(QString::fromUtf8(f.readAll()));
        while (it.hasNext())
            names << it.next().captured(1).toLower();
        names.removeAll(QStringLiteral("digestsent"));
        names.removeAll(QStringLiteral("holidays"));
        return names;
    }();
    return tables;
}

quint32 bigEndian(const QByteArray& bytes, int at, int size) {
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(bytes[at + i]);
    return value;
}

// What is wrong with the file's SQLite header, or nothing: not a database at all, or a
// database whose file is shorter than its header says (a copy cut off).
QString headerFault(const QString& path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 could not be read: %2.").arg(shown(path), f.errorString());
    const QByteArray head = f.read(100);
    if (head.size() < 100 || !head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return QStringLiteral("%1 is not a database file.").arg(shown(path));
    const quint32 pageSizeField = bigEndian(head, 16, 2);
    const qint64 pageSize = pageSizeField == 1 ? 65536 : pageSizeField;
    // The page count of the header is valid when the change counter matches the number
    // stored beside it (every SQLite since 2010 writes both).
    const qint64 pages = bigEndian(head, 28, 4);
    const bool countValid = bigEndian(head, 24, 4) == bigEndian(head, 92, 4);
    if (pageSize >= 512 && countValid && pages > 0 && size < pages * pageSize)
        return QStringLiteral("%1 is cut off: it holds %2 of the %3 bytes of its database.")
            .arg(shown(path))
            .arg(size)
            .arg(pages * pageSize);
    return {};
}

QString firstValue(sqlite3* db, const char* sql, int* rc) {
    sqlite3_stmt* stmt = nullptr;
    *rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    QString value;
    if (*rc == SQLITE_OK) {
        *rc = sqlite3_step(stmt);
        if (*rc == SQLITE_ROW) {
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            *rc = SQLITE_OK;
        } else if (*rc == SQLITE_DONE) {
            *rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return value;
}

// quick_check's verdict on an open database: empty when it found nothing wrong.
QString quickCheckFault(sqlite3* db) {
    int rc = SQLITE_OK;
    const QString verdict = firstValue(db, "PRAGMA quick_check", &rc);
    if (rc != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    // Its first finding; the text may run over several lines, the user's message does not.
    return verdict == QLatin1String("ok") ? QString() : verdict.simplified();
}

// Opens the database at `path` and reads the names of its tables, lower case: empty when
// it could, else what is wrong with the file (no database, cut off, damaged). A connection
// that may write rolls back a journal a write cut short left beside the file first.
QString openListingTables(const QString& path, bool mayWrite, Connection* db, QStringList* tables) {
    if (const QString fault = headerFault(path, QFileInfo(path).size()); !fault.isEmpty())
        return fault;
    const auto damaged = [&](const QString& why) {
        return QStringLiteral("%1 is damaged: %2.").arg(shown(path), why);
    };
    const int rc = mayWrite ? detail::openConnection(path, SQLITE_OPEN_READWRITE, &db->db)
                            : openReadOnly(path, db);
    if (rc != SQLITE_OK)
        return damaged(db->message());
    sqlite3_stmt* stmt = nullptr;
    int step = sqlite3_prepare_v2(db->db,
                                  "SELECT lower(name) FROM sqlite_master WHERE type = "
                                  "'table'",
                                  -1, &stmt, nullptr);
    if (step == SQLITE_OK)
        while ((step = sqlite3_step(stmt)) == SQLITE_ROW)
            *tables << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    return step == SQLITE_DONE ? QString() : damaged(db->message());
}

} // namespace

// ---------------------------------------------------------------------------------------
// Names and listing

QString backupFileName(const QDateTime& when, const QString& reason, int sequence) {
    return QStringLiteral("tavrel-%1-%2%3.mdb")
        .arg(when.toString(QStringLiteral("yyyy-MM-dd'T'HHmmss")), reason,
             sequence > 1 ? QStringLiteral(".%1").arg(sequence) : QString());
}

std::optional<BackupFile> backupFileFromName(const QString& path) {
    static const QRegularExpression name(
        QStringLiteral("^tavrel-(\\d{4}-\\d{2}-\\d{2})T(\\d{6})-([a-z0-9]+(?:-[a-z0-9]+)*)(?:\\.(["
                       "2-9]|[1-9]\\d+))?"
                       "\\.mdb$"));
    const QFileInfo info(path);
    const QRegularExpressionMatch m = name.match(info.fileName());
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(m.captured(1), Qt::ISODate);
    const QTime time = QTime::fromString(m.captured(2), QStringLiteral("HHmmss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    BackupFile file;
    file.path = path;
    file.taken = QDateTime(date, time);
    file.reason = m.captured(3);
    file.size = info.isFile() ? info.size() : 0;
    file.sequence = m.captured(4).isEmpty() ? 1 : m.captured(4).toInt();
    return file;
}

QList<BackupFile> listBackups(const QString& folder) {
    QList<BackupFile> found;
    const QDir dir(folder);
    if (!dir.exists())
        return found;
    const QStringList names =
        dir.entryList({QStringLiteral("tavrel-*.mdb")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        if (std::optional<BackupFile> file = backupFileFromName(dir.filePath(name)))
            found << *file;
    // Newest first; copies of the same second by their sequence, then by name, so the order
    // never depends on the folder's.
    std::sort(found.begin(), found.end(), [](const BackupFile& a, const BackupFile& b) {
        if (a.taken != b.taken)
            return a.taken > b.taken;
        return a.sequence != b.sequence ? a.sequence > b.sequence : a.path > b.path;
    });
    return found;
}

// ---------------------------------------------------------------------------------------
// Rotation

QList<BackupFile> backupsToRemove(const QList<BackupFile>& all, const QDate& today,
                                  const BackupCounts& counts) {
    QList<BackupFile> newestFirst = all;
    std::stable_sort(newestFirst.begin(), newestFirst.end(),
                     [](const BackupFile& a, const BackupFile& b) { return a.taken > b.taken; });
    QSet<QString> keep;
    // Whatever the counts say, the latest copy stays: rotation runs right after a backup
    // and must never take away the one just made.
    if (!newestFirst.isEmpty())
        keep.insert(newestFirst.first().path);
    int others = 0;
    for (const BackupFile& b : newestFirst)
        if (b.reason != QLatin1String(BackupReason::Daily) && others++ < counts.others)
            keep.insert(b.path);

    // The daily copies fall into periods counted back from today: single days, then weeks of
    // seven days, then calendar months. Each period keeps its OLDEST copy. The days and weeks
    // move with today: the oldest copy of a week ages into the week before and is kept
    // there, while the copies after it are thinned out, so the weeks keep copies seven days
    // apart. Keeping the newest instead would never let a copy grow older than a week. A
    // calendar month keeps the first copy that leaves the weeks, one a month however the
    // weeks fall.
    const int days = qMax(0, counts.days);
    const QDate weeksEnd = today.addDays(-days); // the last day of the first week
    const QDate monthsEnd = weeksEnd.addDays(-7 * qMax(0, counts.weeks));
    const int lastMonth = monthsEnd.year() * 12 + monthsEnd.month() - 1;
    const int firstMonth = lastMonth - qMax(0, counts.months) + 1;
    QMap<qint64, QString> chosen; // period -> its oldest copy
    for (auto it = newestFirst.crbegin(); it != newestFirst.crend(); ++it) {
        if (it->reason != QLatin1String(BackupReason::Daily))
            continue;
        const QDate day = it->taken.date();
        const int month = day.year() * 12 + day.month() - 1;
        qint64 period = 0;
        if (day > today) {
            // Taken "after today": the clock was set wrong at some time. Such a copy is
            // not ours to judge.
            keep.insert(it->path);
            continue;
        } else if (day > weeksEnd) {
            period = day.daysTo(today);
        } else if (day > monthsEnd) {
            period = 1000 + day.daysTo(weeksEnd) / 7;
        } else if (month >= firstMonth) {
            period = 2000 + lastMonth - month;
        } else {
            continue;
        }
        if (!chosen.contains(period))
            chosen.insert(period, it->path);
    }
    for (const QString& path : std::as_const(chosen))
        keep.insert(path);

    QList<BackupFile> removed;
    for (const BackupFile& b : newestFirst)
        if (!keep.contains(b.path))
            removed << b;
    return removed;
}

QStringList rotateBackups(const QString& folder, const QDate& today, const BackupCounts& counts,
                          QStringList* removed) {
    QStringList errors;
    // What a copy cut short by a crash or a power cut left behind.
    for (const QFileInfo& left :
         leftoversADayOld(QDir(folder), QStringLiteral("tavrel-*.mdb") +
                                            QLatin1String(TemporarySuffix) + QLatin1Char('*'))) {
        static const QRegularExpression temporaryName(QStringLiteral("^(.*)\\.partial\\d*$"));
        const QRegularExpressionMatch m = temporaryName.match(left.fileName());
        const bool ours = m.hasMatch() && backupFileFromName(m.captured(1));
        if (ours && QFile::remove(left.filePath()) && removed)
            *removed << left.filePath();
    }
    for (const BackupFile& b : backupsToRemove(listBackups(folder), today, counts)) {
        if (QFile::remove(b.path)) {
            if (removed)
                *removed << b.path;
        } else {
            errors << QStringLiteral("The old backup %1 could not be removed.").arg(shown(b.path));
        }
    }
    return errors;
}

// ---------------------------------------------------------------------------------------
// Making a backup

BackupResult makeBackup(const QString& databasePath, const QString& folder, const QString& reason,
                        const QDateTime& when, const BackupProgress& progress) {
    BackupResult result;
    const QFileInfo source(databasePath);
    if (!source.isFile()) {
        result.error =
            QStringLiteral("There is no database %1 to back up.").arg(shown(databasePath));
        return result;
    }
    if (isJetDatabaseFile(databasePath)) {
        result.error = QStringLiteral("%1 is a database of the earlier program, not of Tavrel; "
                                      "it was not backed up.")
                           .arg(shown(databasePath));
        return result;
    }
    const QString name = backupFileName(when, reason);
    if (!backupFileFromName(name)) {
        result.error =
            QStringLiteral("\"%1\" is no reason a backup can be named after.").arg(reason);
        return result;
    }
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        result.error =
            QStringLiteral("The backup folder %1 could not be created.").arg(shown(folder));
        return result;
    }
    // A second copy in the same second (Back Up Now twice) takes the next sequence number.
    constexpr int MostCopiesASecond = 99;
    QString finalPath = QDir(folder).absoluteFilePath(name);
    for (int sequence = 2; nameTaken(finalPath) && sequence <= MostCopiesASecond; ++sequence)
        finalPath = QDir(folder).absoluteFilePath(backupFileName(when, reason, sequence));
    if (nameTaken(finalPath)) {
        result.error = QStringLiteral("There is already a backup %1.").arg(shown(finalPath));
        return result;
    }
    // Written under a name no backup has, so that a copy cut short by a crash or a kill is
    // never taken for one.
    const QString temporary = createUnusedFile([&finalPath](int n) {
        return finalPath + QLatin1String(TemporarySuffix) +
               (n > 1 ? QString::number(n) : QString());
    });
    if (temporary.isEmpty()) {
        result.error =
            QStringLiteral("The backup folder %1 cannot be written to.").arg(shown(folder));
        return result;
    }
    // Readable by no one else while it is written: the database's own access comes last.
    QFile::setPermissions(temporary, QFile::ReadOwner | QFile::WriteOwner);

    const bool hooked = detail::connectionHooksApplyTo(databasePath);
    const auto fail = [&](const QString& message) {
        QFile::remove(temporary);
        result.error = message;
        return result;
    };
    {
        Connection from;
        Connection to;
        int rc = detail::openConnection(databasePath, SQLITE_OPEN_READWRITE, &from.db,
                                        detail::copyFileLayer());
        if (rc != SQLITE_OK)
            return fail(QStringLiteral("%1 could not be opened for a backup: %2.")
                            .arg(shown(databasePath), from.message()));
        // The copy's reads are not the program's statements: no statement hook sees them.
        sqlite3_trace_v2(from.db, 0, nullptr, nullptr);
        // Each page is read once: the program's large page cache would only hold memory.
        sqlite3_exec(from.db, "PRAGMA cache_size = -2048", nullptr, nullptr, nullptr);
        rc = sqlite3_open_v2(QFile::encodeName(temporary).constData(), &to.db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, detail::copyFileLayer());
        if (rc != SQLITE_OK)
            return fail(QStringLiteral("The backup %1 could not be written: %2.")
                            .arg(shown(temporary), to.message()));
        // A half-written copy is thrown away, never rolled back: no journal. The one sync
        // at the end of the copy passes on its last pages, so that a full disk is met there,
        // while the copy can still report it.
        sqlite3_exec(to.db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = NORMAL", nullptr,
                     nullptr, nullptr);
        const int limit = hooked ? detail::connectionHooks().backupMaxPageCount : 0;
        if (limit > 0)
            sqlite3_exec(to.db, qPrintable(QStringLiteral("PRAGMA max_page_count = %1").arg(limit)),
                         nullptr, nullptr, nullptr);

        EarlyWriteback writeback(temporary);
        const CopyOutcome copy = copyDatabase(to.db, from.db, hooked, progress, &writeback);
        if (copy.stopped) {
            result.stopped = true;
            return fail(QStringLiteral("The backup of %1 was stopped; nothing was kept.")
                            .arg(shown(databasePath)));
        }
        if (copy.full())
            return fail(QStringLiteral("The backup of %1 could not be written to %2: the disk is "
                                       "full. Nothing was kept; the database is unchanged.")
                            .arg(shown(databasePath), shown(folder)));
        if (!copy.done())
            return fail(QStringLiteral("The backup of %1 failed: %2. Nothing was kept; the "
                                       "database is unchanged.")
                            .arg(shown(databasePath), copy.message));
        from.close();
        to.close();
    }
    reachPoint(hooked, "copied");

    // The check reads the copy as a new connection finds it in the file.
    {
        Connection copy;
        QString fault;
        if (openReadOnly(temporary, &copy) != SQLITE_OK)
            fault = copy.message();
        else
            fault = quickCheckFault(copy.db);
        if (!fault.isEmpty())
            return fail(QStringLiteral("The backup of %1 failed its check (%2) and was removed. "
                                       "The database itself may be damaged.")
                            .arg(shown(databasePath), fault));
    }
    reachPoint(hooked, "checked");

    if (!takeFileAccessOf(temporary, databasePath))
        return fail(QStringLiteral("The backup %1 could not be given the permissions of %2; it "
                                   "was removed.")
                        .arg(shown(finalPath), shown(databasePath)));
    if (!syncFile(temporary))
        return fail(QStringLiteral("The backup %1 could not be written to the disk; it was "
                                   "removed.")
                        .arg(shown(finalPath)));
    reachPoint(hooked, "synced");
    if (nameTaken(finalPath) || !replaceFileWith(finalPath, temporary))
        return fail(
            QStringLiteral("The backup could not be given its name %1.").arg(shown(finalPath)));
    reachPoint(hooked, "renamed");
    // The rename itself is made durable; a failure here loses at worst the new name after a
    // power cut, and the copy under it is complete: it is kept.
    syncFolder(folder);
    result.path = finalPath;
    return result;
}

// ---------------------------------------------------------------------------------------
// Inspecting and restoring

BackupContents inspectBackup(const QString& path, bool check) {
    BackupContents contents;
    const QFileInfo info(path);
    if (!info.exists()) {
        contents.error = QStringLiteral("%1 does not exist.").arg(shown(path));
        return contents;
    }
    if (!info.isFile()) {
        contents.error = QStringLiteral("%1 is not a database file.").arg(shown(path));
        return contents;
    }
    if (info.size() == 0) {
        contents.error = QStringLiteral("%1 is empty: it holds no database.").arg(shown(path));
        return contents;
    }
    if (isJetDatabaseFile(path)) {
        contents.error = QStringLiteral("%1 is a database of the earlier program (a Jet file), "
                                        "not a backup of Tavrel.")
                             .arg(shown(path));
        return contents;
    }
    Connection db;
    QStringList present;
    if (const QString fault = openListingTables(path, false, &db, &present); !fault.isEmpty()) {
        contents.error = fault;
        return contents;
    }
    const auto damaged = [&](const QString& why) {
        contents.error = QStringLiteral("%1 is damaged: %2.").arg(shown(path), why);
        return contents;
    };
    QStringList missing;
    for (const QString& table : schemaTables())
        if (!present.contains(table))
            missing << table;
    if (!missing.isEmpty()) {
        contents.error = QStringLiteral("%1 is not a complete database of Tavrel: it has no "
                                        "table %2.")
                             .arg(shown(path), missing.join(QLatin1String(", ")));
        return contents;
    }
    if (check)
        if (const QString fault = quickCheckFault(db.db); !fault.isEmpty())
            return damaged(fault);
    int rc = SQLITE_OK;
    const QString tasks = firstValue(db.db, "SELECT count(*) FROM tasks", &rc);
    if (rc != SQLITE_OK)
        return damaged(db.message());
    const QString assignments = firstValue(db.db, "SELECT count(*) FROM assign", &rc);
    if (rc != SQLITE_OK)
        return damaged(db.message());
    contents.tasks = tasks.toInt();
    contents.assignments = assignments.toInt();
    return contents;
}

QString databaseFault(const QString& path) {
    // An empty file is sound: SQLite takes it for a database with nothing in it yet.
    if (QFileInfo(path).size() == 0)
        return {};
    Connection db;
    QStringList tables;
    if (const QString fault = openListingTables(path, true, &db, &tables); !fault.isEmpty())
        return fault;
    if (const QString fault = quickCheckFault(db.db); !fault.isEmpty())
        return QStringLiteral("%1 is damaged: %2.").arg(shown(path), fault);
    return {};
}

namespace {

// Restores the backup in place of a live database that is not sound (`fault` says why):
// SQLite refuses to write into a file whose header is damaged, and a file damaged further
// on would be overwritten and lost, while it may hold the only trace of the newest work. So the
// backup is copied into a new file beside it, the damaged file is kept beside it as a repair keeps
// one, and the new file is renamed into its place. Renaming is safe here where it is not for a
// sound database: no program can work on a file that fails its check, so none holds it open and
// goes on writing into the file that was moved away.
QString restoreOverDamaged(const QString& databasePath, const QString& backupPath,
                           const QString& fault, QString* keptDamaged) {
    const QFileInfo database(databasePath);
    for (const QFileInfo& left : leftoversADayOld(
             database.dir(), database.fileName() + QLatin1String(RestoreSuffix) + QLatin1Char('*')))
        QFile::remove(left.filePath());
    const QString fresh = createUnusedFile([&](int n) {
        return databasePath + QLatin1String(RestoreSuffix) +
               (n > 1 ? QString::number(n) : QString());
    });
    if (fresh.isEmpty())
        return QStringLiteral("%1 No new database could be written beside it; nothing was "
                              "restored.")
            .arg(fault);
    // Readable by no one else while it is written: the damaged file's access comes last.
    QFile::setPermissions(fresh, QFile::ReadOwner | QFile::WriteOwner);
    const auto fail = [&](const QString& message) {
        QFile::remove(fresh);
        return QStringLiteral("%1 %2 The damaged database is left as it was; nothing was "
                              "restored.")
            .arg(fault, message);
    };
    {
        Connection from;
        Connection to;
        if (openReadOnly(backupPath, &from, detail::copyFileLayer()) != SQLITE_OK)
            return fail(QStringLiteral("%1 could not be opened: %2.")
                            .arg(shown(backupPath), from.message()));
        if (sqlite3_open_v2(QFile::encodeName(fresh).constData(), &to.db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("The new database %1 could not be written: %2.")
                            .arg(shown(fresh), to.message()));
        // A half-written new file is thrown away, never rolled back: no journal.
        sqlite3_exec(to.db, "PRAGMA journal_mode = OFF", nullptr, nullptr, nullptr);
        const CopyOutcome copy =
            copyDatabase(to.db, from.db, detail::connectionHooksApplyTo(databasePath), {});
        if (copy.full())
            return fail(QStringLiteral("The backup could not be written beside it: the disk is "
                                       "full."));
        if (!copy.done())
            return fail(
                QStringLiteral("The backup could not be written beside it: %1.").arg(copy.message));
    }
    if (!takeFileAccessOf(fresh, databasePath) || !syncFile(fresh))
        return fail(QStringLiteral("The new database %1 could not be written to the disk.")
                        .arg(shown(fresh)));
    // The damaged file keeps its name until the new one takes it in one rename: a restore
    // cut short anywhere leaves a database under that name.
    const QString kept = detail::keepDamagedFile(databasePath, true);
    if (kept.isEmpty())
        return fail(QStringLiteral("It could not be moved aside to be kept."));
    reachPoint(detail::connectionHooksApplyTo(databasePath), "kept");
    if (!replaceFileWith(databasePath, fresh)) {
        if (!QFileInfo::exists(databasePath))
            replaceFileWith(databasePath, kept);
        return fail(QStringLiteral("The new database could not take its place."));
    }
    syncFolder(QFileInfo(databasePath).absolutePath());
    if (keptDamaged)
        *keptDamaged = kept;
    return {};
}

} // namespace

QString restoreBackup(const QString& databasePath, const QString& backupPath,
                      QString* keptDamaged) {
    if (keptDamaged)
        keptDamaged->clear();
    const BackupContents contents = inspectBackup(backupPath, true);
    if (!contents.error.isEmpty())
        return contents.error + QStringLiteral(" Nothing was restored.");
    const QFileInfo database(databasePath);
    if (database.exists()) {
        if (database.canonicalFilePath() == QFileInfo(backupPath).canonicalFilePath())
            return QStringLiteral("%1 is the database itself; nothing was restored.")
                .arg(shown(backupPath));
        if (!database.isFile())
            return QStringLiteral("%1 is not a database file; nothing was restored.")
                .arg(shown(databasePath));
        if (isJetDatabaseFile(databasePath))
            return QStringLiteral("%1 is a database of the earlier program; it was left as it "
                                  "is and nothing was restored.")
                .arg(shown(databasePath));
        if (const QString fault = databaseFault(databasePath); !fault.isEmpty())
            return restoreOverDamaged(databasePath, backupPath, fault, keptDamaged);
    }
    // A database that is gone is brought back in a file of its own making; one that exists
    // is written into, never replaced, so that its permissions, owner and links stay.
    bool created = false;
    if (!database.exists()) {
        QFile made(databasePath);
        if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return QStringLiteral("%1 could not be created: %2; nothing was restored.")
                .arg(shown(databasePath), made.errorString());
        created = true;
    }
    QString error;
    {
        const bool hooked = detail::connectionHooksApplyTo(databasePath);
        Connection from;
        Connection to;
        if (openReadOnly(backupPath, &from, detail::copyFileLayer()) != SQLITE_OK)
            error = QStringLiteral("%1 could not be opened: %2; nothing was restored.")
                        .arg(shown(backupPath), from.message());
        else if (detail::openConnection(databasePath, SQLITE_OPEN_READWRITE, &to.db) != SQLITE_OK)
            error = QStringLiteral("%1 could not be opened: %2; nothing was restored.")
                        .arg(shown(databasePath), to.message());
        else {
            // Written in one transaction of the database's own: a copy cut short is rolled
            // back from its journal, by this connection or by the next one to open the file.
            // A small cache bounds the memory a large restore takes; the pages it cannot hold
            // go to the file early, with the journal keeping what they replace.
            sqlite3_exec(to.db, "PRAGMA cache_size = -2048", nullptr, nullptr, nullptr);
            const CopyOutcome copy = copyDatabase(to.db, from.db, hooked, {});
            if (copy.full())
                error = QStringLiteral("%1 could not be restored into %2: the disk is full. The "
                                       "database is unchanged.")
                            .arg(shown(backupPath), shown(databasePath));
            else if (!copy.done())
                error = QStringLiteral("%1 could not be restored into %2: %3. The database is "
                                       "unchanged.")
                            .arg(shown(backupPath), shown(databasePath), copy.message);
        }
    }
    if (!error.isEmpty() && created)
        QFile::remove(databasePath);
    return error;
}

} // namespace tavrel
