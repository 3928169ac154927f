#include "core/database.h"

#include "core/database_p.h"
#include "core/dberror.h"
#include "core/errortrap.h"
#include "core/sqldialect.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <QUrl>

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
// Currency keeps four decimals, as Jet's fixed-point currency.
constexpr double CurrencyScale = 10000.0;
// Length of SQLite's file header magic ("SQLite format 3" and its terminating zero).
constexpr int HeaderMagicLength = 16;
// How far repair looks past a damaged run of rows (rowid steps grow to this).
constexpr qint64 LargestRowidSkip = std::numeric_limits<qint64>::max() / 4;

QString sqliteMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

// Opens a connection the way every connection of the program is opened.
int openConnection(const QString& path, int flags, sqlite3** db) {
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), db, flags, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(*db, BusyTimeoutMs);
        sqlite3_extended_result_codes(*db, 0);
        const QByteArray cache = "PRAGMA cache_size = -" + QByteArray::number(PageCacheKiB);
        sqlite3_exec(*db, cache.constData(), nullptr, nullptr, nullptr);
        detail::registerSqlFunctions(*db);
    }
    return rc;
}

} // namespace

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

ValueKind valueKindFor(const char* declType) {
    if (!declType)
        return ValueKind::Auto;
    QString t = QString::fromUtf8(declType).toUpper();
    const qsizetype paren = t.indexOf(QLatin1Char('('));
    if (paren >= 0)
        t.truncate(paren);
    t = t.trimmed();
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return ValueKind::Date;
    if (t == QLatin1String("BIT") || t == QLatin1String("BOOLEAN") || t == QLatin1String("BOOL") ||
        t == QLatin1String("YESNO") || t == QLatin1String("LOGICAL"))
        return ValueKind::Bool;
    if (t == QLatin1String("CURRENCY") || t == QLatin1String("MONEY"))
        return ValueKind::Currency;
    if (t == QLatin1String("SINGLE") || t == QLatin1String("DOUBLE") ||
        t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t == QLatin1String("NUMERIC") || t == QLatin1String("DECIMAL"))
        return ValueKind::Double;
    if (t == QLatin1String("LONG") || t == QLatin1String("SHORT") ||
        t.contains(QLatin1String("INT")) || t == QLatin1String("COUNTER") ||
        t == QLatin1String("BYTE"))
        return ValueKind::Integer;
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CHAR")) ||
        t == QLatin1String("MEMO") || t.contains(QLatin1String("CLOB")) ||
        t == QLatin1String("STRING"))
        return ValueKind::Text;
    return ValueKind::Auto;
}

namespace {

QVariant integerVariant(sqlite3_int64 v) {
    if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
        return QVariant(int(v));
    return QVariant(qlonglong(v));
}

QVariant byStorage(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return integerVariant(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                 sqlite3_value_bytes(v));
    }
}

QVariant dateFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid())
            return d;
    }
    if (t.size() > 10) {
        QDateTime dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid())
            dt = QDateTime::fromString(t, Qt::ISODate);
        if (dt.isValid())
            return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
    }
    const QTime tm = QTime::fromString(t, QStringLiteral("HH:mm:ss"));
    if (tm.isValid())
        return tm;
    return text;
}

} // namespace

QVariant readValue(sqlite3_value* v, ValueKind kind) {
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL)
        return QVariant();
    switch (kind) {
    case ValueKind::Integer:
        if (type == SQLITE_INTEGER)
            return integerVariant(sqlite3_value_int64(v));
        if (type == SQLITE_FLOAT)
            return integerVariant(sqlite3_int64(std::llround(sqlite3_value_double(v))));
        break;
    case ValueKind::Double:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return sqlite3_value_double(v);
        break;
    case ValueKind::Currency:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return std::round(sqlite3_value_double(v) * CurrencyScale) / CurrencyScale;
        break;
    case ValueKind::Bool:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return sqlite3_value_double(v) != 0;
        break;
    case ValueKind::Date:
        if (type == SQLITE_TEXT)
            return dateFromText(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v)));
        break;
    case ValueKind::Text:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                 sqlite3_value_bytes(v));
    case ValueKind::Auto:
        break;
    }
    return byStorage(v);
}

QVariant readColumn(sqlite3_stmt* stmt, int column, ValueKind kind) {
    return readValue(sqlite3_column_value(stmt, column), kind);
}

int bindValue(sqlite3_stmt* stmt, int index, const QVariant& value, ValueKind kind) {
    if (!value.isValid() || value.isNull()) {
        // A yes/no column is never null in Jet: an empty value is false.
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, 0);
        return sqlite3_bind_null(stmt, index);
    }
    auto bindText = [&](const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        return sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    };
    switch (value.typeId()) {
    case QMetaType::QDate:
        return bindText(value.toDate().toString(Qt::ISODate));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return bindText(dt.date().toString(Qt::ISODate));
        return bindText(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    case QMetaType::QTime:
        return bindText(value.toTime().toString(QStringLiteral("HH:mm:ss")));
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, value.toLongLong() != 0 ? 1 : 0);
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        double d = value.toDouble();
        if (kind == ValueKind::Currency)
            d = std::round(d * CurrencyScale) / CurrencyScale;
        if (kind == ValueKind::Integer)
            return sqlite3_bind_int64(stmt, index, std::llround(d));
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, d != 0 ? 1 : 0);
        return sqlite3_bind_double(stmt, index, d);
    }
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        return sqlite3_bind_blob(stmt, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QString s = value.toString();
        if (kind == ValueKind::Bool) {
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return sqlite3_bind_int(stmt, index, 1);
            if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return sqlite3_bind_int(stmt, index, 0);
        }
        return bindText(s);
    }
    }
}

} // namespace detail

// ---------------------------------------------------------------------------------------
// Database

Database::Impl::~Impl() {
    closeConnection();
}

void Database::Impl::closeConnection() {
    if (!db)
        return;
    const auto open = recordsets; // detach() removes itself
    for (Recordset::Impl* rs : open)
        rs->detach();
    recordsets.clear();
    openConnections().remove(db);
    sqlite3_close_v2(db);
    db = nullptr;
}

void Database::Impl::raise(int rc, bool write, const QString& context) const {
    const char* message = db ? sqlite3_errmsg(db) : nullptr;
    const int number = detail::errorNumberFor(rc, write, message);
    QString text;
    switch (number) {
    case ErrLockedByUser:
        text = QStringLiteral("Could not update; currently locked by another program.");
        break;
    case ErrRecordLocked:
        text = QStringLiteral("Could not read the record; currently locked by another program.");
        break;
    case ErrDatabaseDamaged:
        text = QStringLiteral("The database '%1' is damaged or is not a database file.").arg(path);
        break;
    default:
        text = QString::fromUtf8(message ? message : "unknown error");
        if (!context.isEmpty())
            text += QStringLiteral(" in '%1'").arg(context);
        text += QLatin1Char('.');
    }
    raiseError(number, text);
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
    if (!QFileInfo(path).isFile()) {
        raiseError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
        return result;
    }
    sqlite3* db = nullptr;
    int rc = openConnection(path, SQLITE_OPEN_READWRITE, &db);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        raiseError(detail::errorNumberFor(rc, false, nullptr),
                   QStringLiteral("Could not open '%1': %2.").arg(path, message));
        return result;
    }
    // sqlite3_open is lazy: read the schema to find out whether this is a database at all.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const int number = detail::errorNumberFor(rc, false, sqlite3_errmsg(db));
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        if (number == ErrDatabaseDamaged)
            raiseError(number,
                       QStringLiteral("The database '%1' is damaged or is not a database file.")
                           .arg(path));
        else
            raiseError(number, QStringLiteral("Could not open '%1': %2.").arg(path, message));
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

Database Database::create(const QString& path) {
    Database result;
    if (QFileInfo::exists(path)) {
        raiseError(ErrFileIo, QStringLiteral("The file '%1' already exists.").arg(path));
        return result;
    }
    sqlite3* db = nullptr;
    const int rc = openConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &db);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        raiseError(ErrFileIo, QStringLiteral("Could not create '%1': %2.").arg(path, message));
        return result;
    }
    // Writing the header makes the file a database on disk now, not at the first table.
    sqlite3_exec(db, "PRAGMA user_version = 0; BEGIN IMMEDIATE; COMMIT;", nullptr, nullptr,
                 nullptr);
    result.adopt(db, path);
    return result;
}

bool Database::isOpen() const {
    return d && d->db;
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
    QString error;
    const QString sqlite = translateSql(sql, &error);
    if (!error.isEmpty()) {
        raiseError(ErrSqlSyntax, error);
        return;
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(d->db, sqlite.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        d->raise(rc, true, sql);
        return;
    }
    if (!stmt) {
        raiseError(ErrSqlSyntax, QStringLiteral("Invalid SQL statement: '%1'.").arg(sql));
        return;
    }
    if (sqlite3_stmt_readonly(stmt) && sqlite3_column_count(stmt) > 0) {
        sqlite3_finalize(stmt);
        raiseError(ErrEngine, QStringLiteral("Cannot execute a select query: '%1'.").arg(sql));
        return;
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    ++d->writes;
    if (rc != SQLITE_DONE) {
        d->raise(rc, true, sql);
        return;
    }
    d->rowsAffected = sqlite3_changes(d->db);
}

void Database::executeScript(const QString& sqliteSql) {
    if (!isOpen()) {
        raiseError(ErrObjectNotSet,
                   QStringLiteral("Object variable or With block variable not set."));
        return;
    }
    char* message = nullptr;
    const int rc = sqlite3_exec(d->db, sqliteSql.toUtf8().constData(), nullptr, nullptr, &message);
    ++d->writes;
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : "");
        sqlite3_free(message);
        if (!sqlite3_get_autocommit(d->db))
            d->run("ROLLBACK");
        raiseError(detail::errorNumberFor(rc, true, text.toUtf8().constData()),
                   QStringLiteral("%1.").arg(text));
    }
}

void FreeLocks() {
    // Nothing is held between writes, but a statement left stepping (a read stopped half
    // way, a failed write) keeps a lock on the file: reset them all and end any
    // transaction a failure left open.
    for (auto it = openConnections().begin(); it != openConnections().end(); ++it) {
        sqlite3* db = it.key();
        for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
            sqlite3_reset(s);
        if (!sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

// ---------------------------------------------------------------------------------------
// Repair

namespace {

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
    if (openConnection(newPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &dst) != SQLITE_OK) {
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
            dst, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'",
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
