#include "data/sitecopy.h"

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"
#include "data/jetheader.h"
#include "data/pgconnection.h"
#include "data/schema.h"
#include "data/units.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>

namespace tavrel {

using detail::PgConnection;
using detail::PgResult;

namespace {

// Rows read from the server per fetch when a site is copied into a file: a large assign
// table never has to fit in memory at once.
constexpr int FetchRows = 5000;
// Bytes gathered before they are sent to the server's COPY.
constexpr int CopyChunkBytes = 1 << 20;
// How long reading a file that another program is writing may wait for it.
constexpr int FileBusyMs = 2000;

// The server's rowid column of taskweeks and settings, which the file holds as its tables'
// own row ids, and the row version, which a file has only once upgraded to it.
const QString RowIdColumn = QStringLiteral("rowid");
const QString RowVersionColumn = QStringLiteral("rowver");

QString resourceText(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// A server failure as one line for the user: what happened and, for a refused statement,
// the server's own words.
QString describe(const DbError& e) {
    const QString engine = e.details.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (engine.isEmpty() || e.number == ErrServerConnection)
        return e.description;
    return e.description + QStringLiteral(" (") + engine + QLatin1Char(')');
}

std::unique_ptr<PgConnection> connectTo(const QString& url, QString* error) {
    if (const QString problem = serverUrlProblem(url); !problem.isEmpty()) {
        *error = problem;
        return nullptr;
    }
    DbError e;
    auto connection = PgConnection::connect(url, &e);
    if (!connection)
        *error = describe(e);
    return connection;
}

bool run(PgConnection& c, const QString& sql, QString* error, const QList<QVariant>& params = {}) {
    DbError e;
    if (c.exec(sql, params, &e).isValid())
        return true;
    *error = describe(e);
    return false;
}

// Refuses a server database that holds any table: one with a site would be overwritten,
// one with other tables is somebody else's.
bool refuseUnlessEmpty(PgConnection& c, QString* error) {
    DbError e;
    const PgResult tables =
        c.exec(QStringLiteral("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
                              "c.relnamespace WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f') AND "
                              "n.nspname NOT IN ('pg_catalog', 'information_schema') AND "
                              "n.nspname NOT LIKE 'pg\\_toast%' ORDER BY 1"),
               &e);
    if (!tables.isValid()) {
        *error = describe(e);
        return false;
    }
    if (tables.rows() == 0)
        return true;
    QStringList names;
    for (int row = 0; row < tables.rows(); ++row)
        names << tables.text(row, 0);
    if (names.contains(QLatin1String("tasks")) && names.contains(QLatin1String("settings")))
        *error = QStringLiteral("The database %1 holds a Tavrel site already; it was left as "
                                "it is.")
                     .arg(c.label());
    else
        *error = QStringLiteral("The database %1 is not empty (it has the tables %2); Tavrel "
                                "sets up a site only in an empty database. Nothing was written.")
                     .arg(c.label(), names.join(QLatin1String(", ")));
    return false;
}

// One column of a server table, by what a value of it is.
struct ServerColumn {
    QString name;
    enum Kind { Number, Real, YesNo, Date, Text } kind = Text;
    bool identity = false;
};

// The site's tables on the server: lower-case name -> its columns in order.
using ServerTables = QMap<QString, QList<ServerColumn>>;

bool readServerTables(PgConnection& c, ServerTables* out, QString* error) {
    DbError e;
    const PgResult r = c.exec(
        QStringLiteral("SELECT table_name, column_name, data_type, coalesce(domain_name, ''), "
                       "is_identity FROM information_schema.columns WHERE table_schema = "
                       "current_schema() ORDER BY table_name, ordinal_position"),
        &e);
    if (!r.isValid()) {
        *error = describe(e);
        return false;
    }
    for (int row = 0; row < r.rows(); ++row) {
        ServerColumn column;
        column.name = r.text(row, 1);
        const QString type = r.text(row, 2);
        const QString domain = r.text(row, 3);
        if (domain == QLatin1String("yesno"))
            column.kind = ServerColumn::YesNo;
        else if (type == QLatin1String("integer") || type == QLatin1String("smallint") ||
                 type == QLatin1String("bigint"))
            column.kind = ServerColumn::Number;
        else if (type == QLatin1String("real") || type == QLatin1String("double precision") ||
                 type == QLatin1String("numeric"))
            column.kind = ServerColumn::Real;
        else if (type.startsWith(QLatin1String("timestamp")) || type == QLatin1String("date"))
            column.kind = ServerColumn::Date;
        column.identity = r.text(row, 4) == QLatin1String("YES");
        (*out)[r.text(row, 0)] << column;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// The file's side, through SQLite's C API: only read by copyToServer, only written (a new
// file) by copyFromServer.

struct FileColumn {
    QString name;
    QString declaredType;
};

QString sqliteText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

QString fileError(sqlite3* db, const QString& file) {
    return QStringLiteral("%1 could not be read: %2.")
        .arg(QDir::toNativeSeparators(file), QString::fromUtf8(sqlite3_errmsg(db)));
}

// The file's tables (without SQLite's own), each with its columns in order.
bool readFileTables(sqlite3* db, QMap<QString, QList<FileColumn>>* out,
                    QHash<QString, bool>* counters, const QString& file, QString* error) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name "
                           "NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        *error = fileError(db, file);
        return false;
    }
    QStringList names;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const QString name = sqliteText(stmt, 0);
        names << name;
        (*counters)[name.toLower()] =
            sqliteText(stmt, 1).contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        *error = fileError(db, file);
        return false;
    }
    for (const QString& name : names) {
        const QByteArray pragma = "PRAGMA table_info(\"" + name.toUtf8() + "\")";
        if (sqlite3_prepare_v2(db, pragma.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            *error = fileError(db, file);
            return false;
        }
        QList<FileColumn> columns;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            columns << FileColumn{sqliteText(stmt, 1), sqliteText(stmt, 2)};
        sqlite3_finalize(stmt);
        (*out)[name.toLower()] = columns;
    }
    return true;
}

// A value of COPY's text format: backslash, tab and line ends escaped, \N for null.
void appendCopyText(QByteArray* line, const QByteArray& text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            line->append("\\\\");
            break;
        case '\t':
            line->append("\\t");
            break;
        case '\n':
            line->append("\\n");
            break;
        case '\r':
            line->append("\\r");
            break;
        default:
            line->append(c);
        }
    }
}

// A value of the file as the server's column takes it: yes/no as -1 or 0, the server's
// convention; numbers with every digit they have.
void appendFileValue(QByteArray* line, sqlite3_stmt* stmt, int column, ServerColumn::Kind kind) {
    const int type = sqlite3_column_type(stmt, column);
    if (type == SQLITE_NULL) {
        line->append("\\N");
        return;
    }
    const bool number = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    if (kind == ServerColumn::YesNo && number) {
        line->append(sqlite3_column_double(stmt, column) != 0 ? "-1" : "0");
        return;
    }
    if (type == SQLITE_FLOAT) {
        line->append(QByteArray::number(sqlite3_column_double(stmt, column), 'g', 17));
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    appendCopyText(line, QByteArray(text, sqlite3_column_bytes(stmt, column)));
}

// The highest counter the file used for a table: its AUTOINCREMENT record, which remembers
// keys of rows deleted since, so that the server never hands one out again.
qint64 fileCounter(sqlite3* db, const QString& table) {
    sqlite3_stmt* stmt = nullptr;
    qint64 used = 0;
    if (sqlite3_prepare_v2(db, "SELECT seq FROM sqlite_sequence WHERE lower(name) = ?", -1, &stmt,
                           nullptr) == SQLITE_OK) {
        const QByteArray name = table.toUtf8();
        sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            used = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return used;
}

// Starts a COPY into the server, which the statement calls of the connection do not take.
bool startCopy(PgConnection& c, const QString& sql, QString* error) {
    PGresult* r = PQexec(c.raw(), sql.toUtf8().constData());
    const bool ok = r && PQresultStatus(r) == PGRES_COPY_IN;
    if (!ok)
        *error = QStringLiteral("The server %1 refused a statement (%2)")
                     .arg(c.label(),
                          QString::fromUtf8(r ? PQresultErrorMessage(r) : PQerrorMessage(c.raw()))
                              .trimmed());
    PQclear(r);
    return ok;
}

// Sends one table of the file to the server through COPY, and sets the server's counter
// of it past every key used.
bool copyTableToServer(sqlite3* db, PgConnection& c, const QString& table,
                       const QList<FileColumn>& fileColumns, const QList<ServerColumn>& server,
                       const QString& file, QString* error) {
    QStringList selected; // the file's side of each copied column
    QStringList copied;   // the server's side
    QList<ServerColumn::Kind> kinds;
    for (const FileColumn& fc : fileColumns) {
        const auto match = std::find_if(server.cbegin(), server.cend(), [&](const ServerColumn& s) {
            return s.name.compare(fc.name, Qt::CaseInsensitive) == 0;
        });
        if (match == server.cend()) {
            *error = QStringLiteral("The table %1 of %2 has a column %3 that the server's tables "
                                    "have no place for. Nothing was copied.")
                         .arg(table, QDir::toNativeSeparators(file), fc.name);
            return false;
        }
        selected << QLatin1Char('"') + fc.name + QLatin1Char('"');
        copied << match->name;
        kinds << match->kind;
    }
    // The file's own row ids, where the server keeps them in a column of their own.
    const bool rowIds = std::any_of(server.cbegin(), server.cend(),
                                    [](const ServerColumn& s) { return s.name == RowIdColumn; }) &&
                        !copied.contains(RowIdColumn);
    if (rowIds) {
        selected.prepend(QStringLiteral("rowid"));
        copied.prepend(RowIdColumn);
        kinds.prepend(ServerColumn::Number);
    }
    if (!startCopy(
            c,
            QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, copied.join(QLatin1String(", "))),
            error))
        return false;
    sqlite3_stmt* stmt = nullptr;
    const QByteArray select = "SELECT " + selected.join(QLatin1String(", ")).toUtf8() + " FROM \"" +
                              table.toUtf8() + "\" ORDER BY rowid";
    const bool prepared =
        sqlite3_prepare_v2(db, select.constData(), -1, &stmt, nullptr) == SQLITE_OK;
    QByteArray chunk;
    bool sent = true;
    int rc = SQLITE_DONE;
    while (prepared && sent && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < kinds.size(); ++i) {
            if (i > 0)
                chunk.append('\t');
            appendFileValue(&chunk, stmt, i, kinds[i]);
        }
        chunk.append('\n');
        if (chunk.size() >= CopyChunkBytes) {
            sent = PQputCopyData(c.raw(), chunk.constData(), int(chunk.size())) == 1;
            chunk.clear();
        }
    }
    const bool read = prepared && (rc == SQLITE_DONE || !sent);
    if (!read)
        *error = fileError(db, file);
    sqlite3_finalize(stmt);
    if (read && sent && !chunk.isEmpty())
        sent = PQputCopyData(c.raw(), chunk.constData(), int(chunk.size())) == 1;
    if (!sent)
        *error = QStringLiteral("The connection to the database server %1 was lost while the "
                                "table %2 was copied. Nothing was copied.")
                     .arg(c.label(), table);
    // The end of COPY, or its abort when the file could not be read to the end.
    PQputCopyEnd(c.raw(), read ? nullptr : "the file could not be read");
    bool copiedOk = read && sent;
    while (PGresult* r = PQgetResult(c.raw())) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK && copiedOk) {
            copiedOk = false;
            *error =
                QStringLiteral("The server %1 refused a row of the table %2: %3")
                    .arg(c.label(), table, QString::fromUtf8(PQresultErrorMessage(r)).trimmed());
        }
        PQclear(r);
    }
    if (!copiedOk)
        return false;
    for (const ServerColumn& s : server) {
        if (!s.identity)
            continue;
        // Past the highest key in the table and the highest the file ever handed out.
        const qint64 used = fileCounter(db, table);
        if (!run(c,
                 QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                                "greatest(coalesce(max(%2), 0), $1::bigint, 1), "
                                "coalesce(max(%2), 0) > 0 OR $1::bigint > 0) FROM %1")
                     .arg(table, s.name),
                 error, {QVariant(used)}))
            return false;
    }
    return true;
}

bool copyFileTables(sqlite3* db, PgConnection& c, const QString& file, QString* error) {
    QMap<QString, QList<FileColumn>> fileTables;
    QHash<QString, bool> counters;
    if (!readFileTables(db, &fileTables, &counters, file, error))
        return false;
    if (!fileTables.contains(QStringLiteral("tasks")) ||
        !fileTables.contains(QStringLiteral("settings"))) {
        *error = QStringLiteral("%1 is not a task database of Tavrel: it has no tasks or no "
                                "settings. Nothing was copied.")
                     .arg(QDir::toNativeSeparators(file));
        return false;
    }
    ServerTables server;
    if (!readServerTables(c, &server, error))
        return false;
    for (auto it = fileTables.cbegin(); it != fileTables.cend(); ++it)
        if (!server.contains(it.key())) {
            *error = QStringLiteral("%1 has a table %2 that the server's schema has no place for. "
                                    "Nothing was copied.")
                         .arg(QDir::toNativeSeparators(file), it.key());
            return false;
        }
    for (auto it = fileTables.cbegin(); it != fileTables.cend(); ++it)
        if (!copyTableToServer(db, c, it.key(), it.value(), server.value(it.key()), file, error))
            return false;
    return true;
}

// ---------------------------------------------------------------------------------------
// The server's side of copyFromServer.

// Binds one value the server sent as the file keeps it.
int bindServerValue(sqlite3_stmt* stmt, int index, const PgResult& r, int row, int column,
                    ServerColumn::Kind kind) {
    if (r.isNull(row, column))
        return sqlite3_bind_null(stmt, index);
    const QByteArray text(r.bytes(row, column), r.size(row, column));
    switch (kind) {
    case ServerColumn::YesNo:
        return sqlite3_bind_int(stmt, index, text.toLongLong() != 0 ? 1 : 0);
    case ServerColumn::Number:
        return sqlite3_bind_int64(stmt, index, text.toLongLong());
    case ServerColumn::Real:
        // The column's numeric affinity stores a whole number as an integer, as the
        // program's own writes do.
        return sqlite3_bind_double(stmt, index, text.toDouble());
    case ServerColumn::Date: {
        // The file keeps the time of day only where there is one.
        QByteArray date = text;
        if (date.endsWith(" 00:00:00"))
            date.chop(9);
        return sqlite3_bind_text(stmt, index, date.constData(), int(date.size()), SQLITE_TRANSIENT);
    }
    case ServerColumn::Text:
        break;
    }
    return sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

bool sqliteRun(sqlite3* db, const QByteArray& sql, const QString& file, QString* error) {
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    *error = QStringLiteral("%1 could not be written: %2.")
                 .arg(QDir::toNativeSeparators(file), QString::fromUtf8(sqlite3_errmsg(db)));
    return false;
}

// Carries the server's counter of a table over to the file's AUTOINCREMENT record.
bool copyCounter(sqlite3* db, PgConnection& c, const QString& table, const QString& column,
                 const QString& file, QString* error) {
    DbError e;
    const PgResult seq =
        c.exec(QStringLiteral("SELECT pg_get_serial_sequence('%1', '%2')").arg(table, column), &e);
    if (!seq.isValid() || seq.rows() == 0 || seq.isNull(0, 0)) {
        *error = describe(e);
        return false;
    }
    const PgResult value =
        c.exec(QStringLiteral("SELECT last_value, is_called FROM %1").arg(seq.text(0, 0)), &e);
    if (!value.isValid() || value.rows() == 0) {
        *error = describe(e);
        return false;
    }
    const qint64 used = value.text(0, 1) == QLatin1String("t") ? value.text(0, 0).toLongLong() : 0;
    if (used <= 0)
        return true;
    const QByteArray name = table.toUtf8();
    const QByteArray number = QByteArray::number(used);
    if (!sqliteRun(db,
                   "UPDATE sqlite_sequence SET seq = max(seq, " + number + ") WHERE name = '" +
                       name + "'",
                   file, error))
        return false;
    if (sqlite3_changes(db) > 0)
        return true;
    return sqliteRun(
        db, "INSERT INTO sqlite_sequence (name, seq) VALUES ('" + name + "', " + number + ")", file,
        error);
}

bool copyTableFromServer(sqlite3* db, PgConnection& c, const QString& table,
                         const QList<ServerColumn>& server, const QList<FileColumn>& fileColumns,
                         bool counter, const QString& file, QString* error) {
    QStringList selected; // the server's side of each copied column
    QStringList written;  // the file's side
    QList<ServerColumn::Kind> kinds;
    QString order;
    const auto inFile = [&fileColumns](const QString& name) {
        return std::find_if(fileColumns.cbegin(), fileColumns.cend(), [&](const FileColumn& f) {
            return f.name.compare(name, Qt::CaseInsensitive) == 0;
        });
    };
    for (const ServerColumn& s : server) {
        const auto match = inFile(s.name);
        if (order.isEmpty() || s.identity)
            order = s.name;
        if (match != fileColumns.cend()) {
            written << QLatin1Char('"') + match->name + QLatin1Char('"');
        } else if (s.name == RowIdColumn) {
            written << QStringLiteral("rowid");
        } else if (s.name == RowVersionColumn) {
            continue; // a file not yet upgraded to row versions starts them afresh
        } else {
            *error = QStringLiteral("The table %1 on the server has a column %2 that a task "
                                    "database file has no place for. Nothing was written.")
                         .arg(table, s.name);
            return false;
        }
        selected << s.name;
        kinds << s.kind;
    }
    QStringList marks;
    for (int i = 0; i < written.size(); ++i)
        marks << QStringLiteral("?");
    sqlite3_stmt* insert = nullptr;
    const QByteArray insertSql = "INSERT INTO \"" + table.toUtf8() + "\" (" +
                                 written.join(QLatin1String(", ")).toUtf8() + ") VALUES (" +
                                 marks.join(QLatin1String(", ")).toUtf8() + ")";
    if (sqlite3_prepare_v2(db, insertSql.constData(), -1, &insert, nullptr) != SQLITE_OK) {
        *error = fileError(db, file);
        return false;
    }
    bool ok = run(c,
                  QStringLiteral("DECLARE site_rows NO SCROLL CURSOR FOR SELECT %1 FROM %2 "
                                 "ORDER BY %3")
                      .arg(selected.join(QLatin1String(", ")), table, order),
                  error);
    while (ok) {
        DbError e;
        const PgResult batch = c.exec(QStringLiteral("FETCH %1 FROM site_rows").arg(FetchRows), &e);
        if (!batch.isValid()) {
            *error = describe(e);
            ok = false;
            break;
        }
        for (int row = 0; ok && row < batch.rows(); ++row) {
            sqlite3_reset(insert);
            for (int i = 0; i < kinds.size(); ++i)
                bindServerValue(insert, i + 1, batch, row, i, kinds[i]);
            if (sqlite3_step(insert) != SQLITE_DONE) {
                *error = QStringLiteral("%1 could not be written: %2 (table %3).")
                             .arg(QDir::toNativeSeparators(file),
                                  QString::fromUtf8(sqlite3_errmsg(db)), table);
                ok = false;
            }
        }
        if (batch.rows() < FetchRows)
            break;
    }
    sqlite3_finalize(insert);
    if (ok)
        ok = run(c, QStringLiteral("CLOSE site_rows"), error);
    if (ok && counter)
        for (const ServerColumn& s : server)
            if (s.identity && !copyCounter(db, c, table, s.name, file, error))
                return false;
    return ok;
}

bool copyServerTables(PgConnection& c, Database& target, const QString& file, QString* error) {
    sqlite3* db = target.handle();
    QMap<QString, QList<FileColumn>> fileTables;
    QHash<QString, bool> counters;
    if (!readFileTables(db, &fileTables, &counters, file, error))
        return false;
    ServerTables server;
    if (!readServerTables(c, &server, error))
        return false;
    if (!server.contains(QStringLiteral("tasks")) || !server.contains(QStringLiteral("settings"))) {
        *error = QStringLiteral("The database %1 holds no Tavrel site. Nothing was written.")
                     .arg(c.label());
        return false;
    }
    for (auto it = server.cbegin(); it != server.cend(); ++it)
        if (!fileTables.contains(it.key())) {
            *error = QStringLiteral("The server's table %1 has no place in a task database "
                                    "file. Nothing was written.")
                         .arg(it.key());
            return false;
        }
    if (!sqliteRun(db, "BEGIN", file, error))
        return false;
    for (auto it = server.cbegin(); it != server.cend(); ++it)
        if (!copyTableFromServer(db, c, it.key(), it.value(), fileTables.value(it.key()),
                                 counters.value(it.key()), file, error)) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    return sqliteRun(db, "COMMIT", file, error);
}

// Opens a task database file for reading only; nullptr with *error set when it is none.
sqlite3* openFileToRead(const QString& file, QString* error) {
    const QFileInfo info(file);
    const QString shown = QDir::toNativeSeparators(file);
    if (!info.exists()) {
        *error = QStringLiteral("There is no %1.").arg(shown);
        return nullptr;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("%1 is not a database file.").arg(shown);
        return nullptr;
    }
    if (isJetDatabaseFile(file)) {
        *error = earlierFormatDescription(file);
        return nullptr;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        *error = fileError(db, file);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, FileBusyMs);
    return db;
}

} // namespace

bool isServerUrl(const QString& text) {
    return detail::isServerUrl(text);
}

QString serverUrlProblem(const QString& url) {
    if (!isServerUrl(url))
        return QStringLiteral("%1 is not a server address: it must start with postgresql://, "
                              "as in postgresql://host/dbname.")
            .arg(url);
    const QUrl parsed(url);
    if (!parsed.isValid())
        return QStringLiteral("%1 is not a valid server address.").arg(url);
    if (!parsed.password().isEmpty() || QUrlQuery(parsed).hasQueryItem(QStringLiteral("password")))
        return QStringLiteral("The server address holds a password. Tavrel keeps no passwords: "
                              "remove it from the address and put it in ~/.pgpass (or "
                              "PGPASSWORD, or a service file), where the server's client "
                              "library finds it.");
    return {};
}

bool createServerSite(const QString& url, int year, QString* error) {
    QString failure;
    const auto connection = connectTo(url, &failure);
    bool ok = connection && refuseUnlessEmpty(*connection, &failure);
    if (ok) {
        QString script = resourceText(QStringLiteral(":/sql/tavrel_schema_pg.sql"));
        const QList<QDate> mondays = weekMondays(year);
        for (int week = 1; week <= WeeksPerYear; ++week)
            script += QStringLiteral("INSERT INTO weeks (weeid, curdate) VALUES (%1, '%2');\n")
                          .arg(week)
                          .arg(mondays[week - 1].toString(Qt::ISODate));
        script += newSettingsRowSql(year);
        // One transaction: the server runs a script sent at once as one unless it says
        // otherwise, and a failure anywhere leaves the database as empty as it was.
        DbError e;
        ok = connection->execScript(
            QStringLiteral("BEGIN;\n") + script + QStringLiteral("COMMIT;\n"), &e);
        if (!ok)
            failure = describe(e);
    }
    if (!ok && error)
        *error = failure;
    return ok;
}

bool copyToServer(const QString& filePath, const QString& url, QString* error) {
    QString failure;
    sqlite3* db = openFileToRead(filePath, &failure);
    const auto connection = db ? connectTo(url, &failure) : nullptr;
    bool ok = connection && refuseUnlessEmpty(*connection, &failure);
    // Both sides in one transaction: the file's rows as of one moment, the server's written
    // all together or not at all.
    ok = ok && sqliteRun(db, "BEGIN", filePath, &failure) &&
         run(*connection, QStringLiteral("BEGIN"), &failure);
    const bool begun = ok;
    if (ok) {
        DbError e;
        ok = connection->execScript(resourceText(QStringLiteral(":/sql/tavrel_schema_pg.sql")), &e);
        if (!ok)
            failure = describe(e);
    }
    ok = ok && copyFileTables(db, *connection, filePath, &failure) &&
         run(*connection, QStringLiteral("COMMIT"), &failure);
    if (!ok && begun && !connection->isBroken()) {
        DbError ignored;
        connection->exec(QStringLiteral("ROLLBACK"), &ignored);
    }
    if (db) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    if (!ok && error)
        *error = failure;
    return ok;
}

bool copyFromServer(const QString& url, const QString& filePath, QString* error) {
    QString failure;
    if (fileNameTaken(filePath)) {
        if (error)
            *error = QStringLiteral("%1 exists already; Tavrel writes the site only into a new "
                                    "file. Nothing was written.")
                         .arg(QDir::toNativeSeparators(filePath));
        return false;
    }
    const auto connection = connectTo(url, &failure);
    // The server's tables as of one moment, however long the copy takes.
    bool ok = connection &&
              run(*connection, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"),
                  &failure);
    if (ok) {
        QString schema = resourceText(QStringLiteral(":/sql/tavrel_schema.sql"));
        ok = createDatabaseFile(
            filePath,
            [&](Database& target) {
                target.executeScript(schema);
                if (target.isOpen() && !copyServerTables(*connection, target, filePath, &failure))
                    raiseError(ErrFileIo, failure);
            },
            &failure);
    }
    if (connection && !connection->isBroken()) {
        DbError ignored;
        connection->exec(QStringLiteral("ROLLBACK"), &ignored);
    }
    if (!ok && error)
        *error = failure;
    return ok;
}

bool serverHoldsSite(Database& db, QString* error) {
    if (!db.isServer())
        return true;
    DbError e;
    const PgResult r = db.d->server->exec(
        QStringLiteral("SELECT to_regclass('tasks') IS NOT NULL AND to_regclass('settings') IS "
                       "NOT NULL"),
        &e);
    if (!r.isValid()) {
        *error = describe(e);
        return false;
    }
    if (r.text(0, 0) == QLatin1String("t"))
        return true;
    *error = QStringLiteral("The database %1 holds no Tavrel site. To set one up there, run: "
                            "tavrel --init --server %2 (or tavrel --copy-to %2 in the folder of "
                            "an existing site).")
                 .arg(db.serverLabel(), db.path());
    return false;
}

} // namespace tavrel
