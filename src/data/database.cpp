#include "data/database.h"
#include "data/jetheader.h"

#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgconnection.h"
#include "data/pgdialect.h"
#include "data/pgrecordset_p.h"
#include "data/sqldialect.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <QUrl>

#include <cctype>
#include <cmath>
#include <limits>

namespace tavrel {

namespace {

// Each attempt on a locked file waits only this long, so the save loop's retries and its
// question keep their meaning.
constexpr int BusyTimeoutMs = 10;
// Page cache per connection (SQLite's default is 2 MB): a keyset cursor reads its rows one
// by one in key order, which is random order in the file, and a large assign table fits.
constexpr int PageCacheKiB = 65536;

QString sqliteMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

ConnectionHooks& hooks() {
    static auto* installed = new ConnectionHooks; // never destroyed, like openConnections()
    return *installed;
}

bool hooksApplyTo(const QString& path) {
    const ConnectionHooks& h = hooks();
    if (h.path.isEmpty())
        return false;
    // A server database is named by its URL, which is no file.
    if (detail::isServerUrl(path) || detail::isServerUrl(h.path))
        return path == h.path;
    return QFileInfo(path) == QFileInfo(h.path);
}

// SQLite calls this as each statement starts, before it takes any lock. It is installed on
// every connection, so that a hook set after a connection opened still sees its statements.
int traceStatement(unsigned type, void*, void* statement, void* sql) {
    if (type != SQLITE_TRACE_STMT || !hooks().beforeStatement)
        return 0;
    const char* text = static_cast<const char*>(sql);
    // "--" marks the start of a trigger's part of a statement already announced.
    if (!text || qstrncmp(text, "--", 2) == 0)
        return 0;
    sqlite3* db = sqlite3_db_handle(static_cast<sqlite3_stmt*>(statement));
    const char* file = sqlite3_db_filename(db, "main");
    if (file && *file && hooksApplyTo(QFile::decodeName(file)))
        hooks().beforeStatement(QString::fromUtf8(text));
    return 0;
}

} // namespace

void setConnectionHooks(ConnectionHooks installed) {
    hooks() = std::move(installed);
}

const ConnectionHooks& detail::connectionHooks() {
    return hooks();
}

bool detail::connectionHooksApplyTo(const QString& path) {
    return hooksApplyTo(path);
}

// Opens a connection the way every connection of the program is opened. Each connection is
// used by one thread only, so SQLite's own locking of every call is left out.
int detail::openConnection(const QString& path, int flags, sqlite3** db, const char* vfs) {
    const bool hooked = hooksApplyTo(path);
    if (hooked && hooks().readOnly)
        flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), db, flags | SQLITE_OPEN_NOMUTEX, vfs);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(*db, BusyTimeoutMs);
        sqlite3_extended_result_codes(*db, 0);
        const QByteArray cache = "PRAGMA cache_size = -" + QByteArray::number(PageCacheKiB);
        sqlite3_exec(*db, cache.constData(), nullptr, nullptr, nullptr);
        detail::registerSqlFunctions(*db);
        if (hooked && hooks().maxPageCount > 0) {
            const QByteArray limit =
                "PRAGMA max_page_count = " + QByteArray::number(hooks().maxPageCount);
            sqlite3_exec(*db, limit.constData(), nullptr, nullptr, nullptr);
        }
        sqlite3_trace_v2(*db, SQLITE_TRACE_STMT, traceStatement, nullptr);
    }
    return rc;
}

// Never destroyed: a program-wide Database (dbMain) may close after static destruction has
// begun, and must still find this table.
QHash<sqlite3*, std::function<void()>>& openConnections() {
    static auto* connections = new QHash<sqlite3*, std::function<void()>>;
    return *connections;
}

namespace detail {

int errorNumberFor(int rc, bool write, const char* message) {
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return write ? ErrLockedByUser : ErrRecordLocked;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ErrDatabaseDamaged;
    case SQLITE_CANTOPEN:
        return ErrFileNotFound;
    case SQLITE_READONLY:
        return ErrReadOnly;
    case SQLITE_IOERR:
    case SQLITE_FULL:
        return ErrFileIo;
    case SQLITE_MISMATCH:
        return ErrTypeMismatch;
    case SQLITE_ERROR: {
        const QString m = QString::fromUtf8(message ? message : "");
        if (m.startsWith(QLatin1String("no such table")))
            return ErrTableNotFound;
        return ErrSqlSyntax;
    }
    default:
        return ErrEngine;
    }
}

} // namespace detail

// ---------------------------------------------------------------------------------------
// Database

Database::Impl::~Impl() {
    closeConnection();
}

void Database::Impl::closeConnection() {
    if (server) {
        const auto open = recordsets;
        for (Recordset::Impl* rs : open)
            rs->detach();
        recordsets.clear();
        detail::serverConnections().remove(this);
        writeLevels.clear();
        server.reset();
        return;
    }
    if (!db)
        return;
    const auto open = recordsets; // detach() removes itself
    for (Recordset::Impl* rs : open)
        rs->detach();
    recordsets.clear();
    openConnections().remove(db);
    connectionsInTransaction().remove(db);
    writeLevels.clear();
    sqlite3_close_v2(db);
    db = nullptr;
}

void Database::Impl::raise(int rc, bool write, const QString& context) const {
    raiseError(errorFor(rc, write, context));
}

DbError Database::Impl::errorFor(int rc, bool write, const QString& context) const {
    const char* message = db ? sqlite3_errmsg(db) : nullptr;
    const int number = detail::errorNumberFor(rc, write, message);
    const QString engine = QString::fromUtf8(message ? message : "unknown error");
    const QString file = QDir::toNativeSeparators(path);
    // The statement is for a technician: it goes into the details, never into the text,
    // which says what happened to which file and what to do about it.
    QString details = engine;
    if (!context.isEmpty())
        details += QStringLiteral("\nIn: ") + context; // a statement or a table
    QString text;
    if (rc == SQLITE_ABORT && transactionLost())
        return DbError{ErrEngine,
                       QStringLiteral("The change was not saved: an earlier failure of the same "
                                      "operation undid all of it."),
                       details, path};
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        text =
            write
                ? QStringLiteral("Could not update; currently locked by another program.")
                : QStringLiteral("Could not read the record; currently locked by another program.");
        details = QStringLiteral("The database %1 is locked by another program. Wait until it "
                                 "has finished, then try again; nothing of this change is saved "
                                 "until then.\n")
                      .arg(file) +
                  details;
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        text = QStringLiteral("The database '%1' is damaged or is not a database file.").arg(path);
        break;
    case SQLITE_READONLY:
        text = QStringLiteral("The database %1 cannot be changed: the file is read-only. "
                              "Nothing of this change was saved. Make the file writable for "
                              "you (or ask whoever looks after it), then try again.")
                   .arg(file);
        break;
    case SQLITE_FULL:
        text = QStringLiteral("The database %1 could not be written: the disk is full. "
                              "Nothing of this change was saved. Make room on the disk, then "
                              "try again.")
                   .arg(file);
        break;
    case SQLITE_IOERR:
        text = QStringLiteral("The database %1 could not be read or written (%2). Nothing of "
                              "this change was saved. Check the disk, then try again.")
                   .arg(file, engine);
        break;
    default:
        text = engine + QLatin1Char('.');
    }
    return DbError{number, text, details, path};
}

bool Database::Impl::prepare(const QString& sql, sqlite3_stmt** stmt, bool write,
                             const QString& context) const {
    *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
        raise(rc, write, context);
        return false;
    }
    // What SQLite left unread must be blank: a NUL stops it, and so would a second statement.
    const char* end = utf8.constData() + utf8.size();
    for (const char* p = tail ? tail : end; p < end; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p))) {
            sqlite3_finalize(*stmt);
            *stmt = nullptr;
            raiseError(ErrSqlSyntax,
                       QStringLiteral("Characters found after end of SQL statement in '%1'.")
                           .arg(context));
            return false;
        }
    return true;
}

bool Database::Impl::transactionLost() const {
    return transactions > 0 && db && sqlite3_get_autocommit(db);
}

int Database::Impl::run(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

Database::Database() = default;
Database::~Database() = default;
Database::Database(Database&& other) noexcept = default;
Database& Database::operator=(Database&& other) noexcept = default;

Database Database::open(const QString& path) {
    Database result;
    if (detail::isServerUrl(path)) {
        DbError error;
        auto server = detail::PgConnection::connect(path, &error);
        auto catalog = std::make_unique<detail::ServerCatalog>();
        if (!server || !catalog->load(*server, &error)) {
            raiseError(error);
            return result;
        }
        result.d = std::make_shared<Impl>();
        result.d->server = std::move(server);
        result.d->catalog = std::move(catalog);
        result.d->path = path;
        detail::serverConnections().insert(result.d.get());
        return result;
    }
    // Only a regular file reaches SQLite: opening a pipe would wait for a writer for ever,
    // and a device or a folder is no database whatever it holds.
    const QFileInfo info(path);
    if (!info.exists()) {
        raiseError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
        return result;
    }
    if (!info.isFile()) {
        raiseError(
            ErrFileIo,
            info.isDir()
                ? QStringLiteral("'%1' is a folder, not a database file.").arg(path)
                : QStringLiteral("'%1' is not a database file but a device or a pipe.").arg(path));
        return result;
    }
    // SQLite would take an empty file for an empty database and write a new one into it:
    // it is met as a missing file, so that nothing is written before the user agrees.
    if (info.size() == 0) {
        raiseError(ErrFileNotFound,
                   QStringLiteral("The file '%1' is empty: it holds no database.").arg(path));
        return result;
    }
    // Not a damaged file of ours: it must never reach repair, which would move it aside.
    if (isJetDatabaseFile(path)) {
        raiseError(ErrEarlierFormat, earlierFormatDescription(path));
        return result;
    }
    sqlite3* db = nullptr;
    int rc = detail::openConnection(path, SQLITE_OPEN_READWRITE, &db);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        raiseError(DbError{detail::errorNumberFor(rc, false, nullptr),
                           QStringLiteral("Could not open '%1': %2.").arg(path, message),
                           {},
                           path});
        return result;
    }
    // sqlite3_open is lazy: read the schema to find out whether this is a database at all.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const int number = detail::errorNumberFor(rc, false, sqlite3_errmsg(db));
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        if (number == ErrDatabaseDamaged)
            raiseError(DbError{
                number,
                QStringLiteral("The database '%1' is damaged or is not a database file.").arg(path),
                {},
                path});
        else
            raiseError(DbError{
                number, QStringLiteral("Could not open '%1': %2.").arg(path, message), {}, path});
        return result;
    }
    result.adopt(db, path);
    return result;
}

// Takes ownership of an open connection and registers it, so that repair can close it.
void Database::adopt(sqlite3* db, const QString& path) {
    d = std::make_shared<Impl>();
    d->db = db;
    d->path = path;
    Impl* impl = d.get();
    openConnections().insert(db, [impl] { impl->closeConnection(); });
}

bool fileNameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

Database Database::create(const QString& path) {
    Database result;
    // The file is made here, exclusively: an existing file or a link of that name (a
    // dangling one too, which SQLite would follow) counts as taken. SQLite then only
    // opens the empty file this run created.
    QFile made(path);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (fileNameTaken(path))
            raiseError(ErrFileIo, QStringLiteral("The file '%1' already exists.").arg(path));
        else
            raiseError(ErrFileIo,
                       QStringLiteral("Could not create '%1': %2.").arg(path, made.errorString()));
        return result;
    }
    made.close();
    sqlite3* db = nullptr;
    const int rc = detail::openConnection(path, SQLITE_OPEN_READWRITE, &db);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        QFile::remove(path); // the empty file made above, and nothing else
        raiseError(ErrFileIo, QStringLiteral("Could not create '%1': %2.").arg(path, message));
        return result;
    }
    // Writing the header makes the file a database on disk now, not at the first table.
    // Another program that opened the new file at once may hold it: never leave this
    // transaction open for the first statement of the caller to stumble on.
    if (sqlite3_exec(db, "PRAGMA user_version = 0; BEGIN IMMEDIATE; COMMIT;", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db); // ends what it left open
        raiseError(ErrFileIo, QStringLiteral("Could not create '%1': %2.").arg(path, message));
        return result;
    }
    result.adopt(db, path);
    return result;
}

namespace {

// SQLite's b-tree page header: the page's kind, where its cells start and how many there
// are. A page whose header is one a table or index page can have.
bool isTreePage(const QByteArray& header, int pageSize) {
    constexpr int LeafHeader = 8;
    constexpr int InteriorHeader = 12;
    constexpr int MaxFragmentedBytes = 60;
    const auto byte = [&header](int at) { return static_cast<unsigned char>(header.at(at)); };
    const int kind = byte(0);
    if (kind != 2 && kind != 5 && kind != 10 && kind != 13)
        return false;
    const int headerSize = kind == 2 || kind == 5 ? InteriorHeader : LeafHeader;
    const int freeBlock = byte(1) << 8 | byte(2);
    const int cells = byte(3) << 8 | byte(4);
    int contentStart = byte(5) << 8 | byte(6);
    if (contentStart == 0)
        contentStart = 65536;
    return cells > 0 && (freeBlock == 0 || (freeBlock >= headerSize && freeBlock < pageSize)) &&
           headerSize + 2 * cells <= contentStart && contentStart <= pageSize &&
           byte(7) <= MaxFragmentedBytes;
}

} // namespace

bool Database::looksLikeDatabase(const QString& path) {
    // The header's first 24 bytes: the magic text, the page size, the format versions, the
    // reserved bytes and the three payload fractions, which are always 64, 32 and 32.
    constexpr int HeaderBytes = 24;
    constexpr int PageHeaderBytes = 8;
    // Pages looked at for each page size a file can have: a database whose first so many
    // pages are all destroyed holds too little to repair.
    constexpr qint64 PagesLooked = 4096;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(HeaderBytes);
    if (header.size() < HeaderBytes)
        return false;
    if (header.startsWith(QByteArray("SQLite format 3\0", 16)))
        return true;
    const auto byte = [&header](int at) { return static_cast<unsigned char>(header.at(at)); };
    const int pageSize = byte(16) << 8 | byte(17);
    const bool pageSizeValid =
        pageSize == 1 || (pageSize >= 512 && pageSize <= 32768 && (pageSize & (pageSize - 1)) == 0);
    const bool versionsValid = (byte(18) == 1 || byte(18) == 2) && (byte(19) == 1 || byte(19) == 2);
    if (pageSizeValid && versionsValid && byte(21) == 64 && byte(22) == 32 && byte(23) == 32)
        return true;
    // The first page is gone: look for table pages after it, at every page size.
    const qint64 size = file.size();
    for (qint64 candidate = 512; candidate <= 65536; candidate *= 2) {
        if (size % candidate != 0)
            continue;
        const qint64 pages = qMin(size / candidate, PagesLooked);
        for (qint64 page = 1; page < pages; ++page) {
            if (!file.seek(page * candidate))
                break;
            const QByteArray pageHeader = file.read(PageHeaderBytes);
            if (pageHeader.size() == PageHeaderBytes && isTreePage(pageHeader, int(candidate)))
                return true;
        }
    }
    return false;
}

bool Database::isOpen() const {
    return d && (d->db || d->server);
}

bool Database::isServer() const {
    return d && d->server;
}

QString Database::serverLabel() const {
    return isServer() ? d->server->label() : QString();
}
QString Database::path() const {
    return d ? d->path : QString();
}

void Database::close() {
    if (d)
        d->closeConnection();
    d.reset();
}

sqlite3* Database::handle() const {
    return d ? d->db : nullptr;
}

Recordset Database::openRecordset(const QString& sqlOrTable, RecordsetType type) {
    Recordset result;
    if (!isOpen()) {
        detail::raiseNotSet();
        return result;
    }
    result.d = Recordset::Impl::open(d, sqlOrTable, type);
    return result;
}

int Database::rowsAffected() const {
    return d ? d->rowsAffected : 0;
}

void Database::execute(const QString& sql) {
    if (!isOpen()) {
        raiseError(ErrObjectNotSet,
                   QStringLiteral("Object variable or With block variable not set."));
        return;
    }
    d->rowsAffected = 0;
    if (d->server)
        return detail::executeOnServer(*d, sql);
    if (d->transactionLost()) {
        d->raise(SQLITE_ABORT, true, sql);
        return;
    }
    QString error;
    detail::Tokens tokens;
    if (!detail::translateTokens(sql, &tokens, &error)) {
        raiseError(ErrSqlSyntax, error);
        return;
    }
    const QString sqlite = detail::emitSql(detail::jetComparisons(d->db, tokens));
    sqlite3_stmt* stmt = nullptr;
    if (!d->prepare(sqlite, &stmt, true, sql))
        return;
    if (!stmt) {
        raiseError(ErrSqlSyntax, QStringLiteral("Invalid SQL statement: '%1'.").arg(sql));
        return;
    }
    if (sqlite3_stmt_readonly(stmt) && sqlite3_column_count(stmt) > 0) {
        sqlite3_finalize(stmt);
        raiseError(ErrEngine, QStringLiteral("Cannot execute a select query: '%1'.").arg(sql));
        return;
    }
    // An insert or update is checked against its columns' types as a recordset's write is,
    // in a write level of its own so that a refused value leaves nothing of it behind.
    detail::WriteCheck check(d->db, tokens);
    int rc = check.active() ? d->beginWrite() : SQLITE_OK;
    if (rc == SQLITE_OK)
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        }
    sqlite3_finalize(stmt);
    ++d->writes;
    if (rc == SQLITE_DONE)
        rc = SQLITE_OK;
    const int changes = sqlite3_changes(d->db);
    if (check.active()) {
        const std::optional<DbError> mismatch =
            rc == SQLITE_OK ? check.mismatch(sql) : std::nullopt;
        if (rc == SQLITE_OK && !mismatch)
            rc = d->commitWrite();
        if (rc != SQLITE_OK || mismatch) {
            const DbError refused = mismatch ? *mismatch : d->errorFor(rc, true, sql);
            d->abortWrite();
            raiseError(refused);
            return;
        }
    }
    if (rc != SQLITE_OK) {
        d->raise(rc, true, sql);
        return;
    }
    d->rowsAffected = changes;
}

void Database::executeScript(const QString& sqliteSql) {
    if (!isOpen()) {
        raiseError(ErrObjectNotSet,
                   QStringLiteral("Object variable or With block variable not set."));
        return;
    }
    if (d->server) {
        DbError error;
        ++d->writes;
        d->serverTables.reset(); // a script may change the tables
        if (d->server->isBroken() && d->writeLevels.isEmpty() && !d->server->reconnect(&error))
            return raiseError(error);
        if (!d->server->execScript(sqliteSql, &error))
            raiseError(error);
        return;
    }
    if (d->transactionLost()) {
        d->raise(SQLITE_ABORT, true, {});
        return;
    }
    const int rc = sqlite3_exec(d->db, sqliteSql.toUtf8().constData(), nullptr, nullptr, nullptr);
    ++d->writes;
    if (rc != SQLITE_OK) {
        const DbError error = d->errorFor(rc, true, {});
        // A script that failed inside its own BEGIN leaves it open; a Transaction of the
        // caller's is the caller's to end.
        if (!sqlite3_get_autocommit(d->db) && d->transactions == 0)
            d->run("ROLLBACK");
        raiseError(error);
    }
}

void FreeLocks() {
    // Nothing is held between writes, but a statement left stepping (a read stopped half
    // way, a failed write) keeps a lock on the file: reset them all and end any
    // transaction a failure left open. An open Transaction holds its locks until it ends.
    for (auto it = openConnections().begin(); it != openConnections().end(); ++it) {
        sqlite3* db = it.key();
        for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
            sqlite3_reset(s);
        if (!sqlite3_get_autocommit(db) && !connectionsInTransaction().contains(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    detail::freeServerLocks();
}

} // namespace tavrel
