#include "data/pgconnection.h"

#include "data/database_p.h"
#include "data/pgdialect.h"

#include <QAtomicInteger>
#include <QDate>
#include <QDateTime>
#include <QUrl>

#include <libpq-fe.h>

namespace tavrel::detail {

bool isServerUrl(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// ---------------------------------------------------------------------------------------
// PgResult

PgResult::PgResult(pg_result* result)
    : result_(result) {}

PgResult::~PgResult() {
    if (result_)
        PQclear(result_);
}

PgResult::PgResult(PgResult&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)) {}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        if (result_)
            PQclear(result_);
        result_ = std::exchange(other.result_, nullptr);
    }
    return *this;
}

int PgResult::rows() const {
    return result_ ? PQntuples(result_) : 0;
}

int PgResult::columns() const {
    return result_ ? PQnfields(result_) : 0;
}

QString PgResult::columnName(int column) const {
    return QString::fromUtf8(PQfname(result_, column));
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(result_, row, column) != 0;
}

const char* PgResult::bytes(int row, int column) const {
    return PQgetvalue(result_, row, column);
}

int PgResult::size(int row, int column) const {
    return PQgetlength(result_, row, column);
}

QString PgResult::text(int row, int column) const {
    return QString::fromUtf8(bytes(row, column), size(row, column));
}

int PgResult::affected() const {
    return result_ ? QByteArray(PQcmdTuples(result_)).toInt() : 0;
}

// ---------------------------------------------------------------------------------------
// PgConnection

namespace {

// The server and database of a connection, for messages and the title bar.
QString labelOf(pg_conn* conn, const QString& url) {
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        QString host = QString::fromUtf8(PQhost(conn));
        if (host.isEmpty() || host.startsWith(u'/'))
            host = QStringLiteral("localhost");
        return host + u'/' + QString::fromUtf8(PQdb(conn));
    }
    // Not connected: what the URL says, without a password it might carry.
    const QUrl parsed(url);
    QString host = parsed.host();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    QString db = parsed.path().mid(1);
    return db.isEmpty() ? host : host + u'/' + db;
}

QString engineText(pg_conn* conn) {
    return QString::fromUtf8(conn ? PQerrorMessage(conn) : "out of memory").trimmed();
}

QAtomicInteger<quint64> sent;

// Tests may intercept each statement before it goes, as they do on a file's connections.
void announce(const QString& url, const QString& sql) {
    const ConnectionHooks& hooks = connectionHooks();
    if (hooks.beforeStatement && connectionHooksApplyTo(url))
        hooks.beforeStatement(sql);
}

bool isConnectionState(const QByteArray& state) {
    return state.startsWith("08") || state == "57P01" || state == "57P02" || state == "57P03";
}

} // namespace

PgConnection::~PgConnection() {
    if (conn_)
        PQfinish(conn_);
}

std::unique_ptr<PgConnection> PgConnection::connect(const QString& url, DbError* error) {
    std::unique_ptr<PgConnection> c(new PgConnection);
    c->url_ = url;
    if (!c->reconnect(error))
        return nullptr;
    return c;
}

bool PgConnection::reconnect(DbError* error) {
    lost_ = false;
    aheadPending_ = false; // its answer goes with the connection
    if (conn_) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
    // Keywords beside the URL: a connect timeout (a server that is down must not hang a
    // headless run) and the program's name, which other planners see as the holder of a lock.
    const QByteArray urlBytes = url_.toUtf8();
    const QByteArray timeout = QByteArray::number(ConnectTimeoutSeconds);
    const char* keywords[] = {"dbname", "connect_timeout", "application_name", "client_encoding",
                              nullptr};
    const char* values[] = {urlBytes.constData(), timeout.constData(), "tavrel", "UTF8", nullptr};
    conn_ = PQconnectdbParams(keywords, values, 1);
    const QString label = labelOf(conn_, url_);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        const QString engine = engineText(conn_);
        QString text;
        if (engine.contains(QLatin1String("password authentication failed")) ||
            engine.contains(QLatin1String("no password supplied")))
            text = QStringLiteral("The server %1 refused the user name or password. Check the "
                                  "password in ~/.pgpass or PGPASSWORD, then start Tavrel again.")
                       .arg(label);
        else if (engine.contains(QLatin1String("does not exist")))
            text = QStringLiteral("The server %1 has no such database. Ask its administrator "
                                  "to create it, then set it up with tavrel --init --server.")
                       .arg(label);
        else
            text = QStringLiteral("Could not connect to the database server %1. Check that the "
                                  "server is running and can be reached, then try again.")
                       .arg(label);
        if (error)
            *error = DbError{ErrServerConnection, text, engine, url_};
        return false;
    }
    if (PQserverVersion(conn_) < MinServerVersion) {
        if (error)
            *error = DbError{
                ErrServerConnection,
                QStringLiteral("The server %1 runs PostgreSQL %2; Tavrel needs "
                               "PostgreSQL 15 or later.")
                    .arg(label, QString::fromUtf8(PQparameterStatus(conn_, "server_version"))),
                {},
                url_};
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    // Dates and times travel as ISO text; nothing the program writes depends on the
    // server's or the session's settings. Every statement, a read too, waits only briefly
    // for what another planner holds: a read of a table locked whole reports it locked, as
    // on a file, rather than hang.
    const QByteArray setup = "SET datestyle = 'ISO, YMD'; SET intervalstyle = 'postgres'; "
                             "SET TIME ZONE 'UTC'; SET lock_timeout = " +
                             QByteArray::number(RowLockTimeoutMs);
    PGresult* r = PQexec(conn_, setup.constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    if (!ok) {
        if (error)
            *error = DbError{ErrServerConnection,
                             QStringLiteral("Could not set up the connection to %1.").arg(label),
                             engineText(conn_), url_};
        return false;
    }
    return true;
}

quint64 PgConnection::statementsSent() {
    return sent.loadRelaxed();
}

QString PgConnection::label() const {
    return labelOf(conn_, url_);
}

int PgConnection::serverVersion() const {
    return conn_ ? PQserverVersion(conn_) : 0;
}

bool PgConnection::isBroken() const {
    return lost_ || !conn_ || PQstatus(conn_) != CONNECTION_OK;
}

QByteArray serverText(const QVariant& value, bool* isNull) {
    *isNull = value.isNull() || !value.isValid();
    if (*isNull)
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? "-1" : "0";
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    case QMetaType::QTime:
        // A time alone is a time of Jet's day zero, as a file stores it.
        return value.toTime().toString(QStringLiteral("'1899-12-30' HH:mm:ss")).toUtf8();
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(value.toDouble(), 'g', 17);
    default:
        return value.toString().toUtf8();
    }
}

namespace {

// A statement's values in the server's text form, and the pointers libpq takes.
struct ParamTexts {
    std::vector<QByteArray> values;
    std::vector<const char*> pointers;

    explicit ParamTexts(const QList<QVariant>& params)
        : values(size_t(params.size()))
        , pointers(size_t(params.size()), nullptr) {
        for (qsizetype i = 0; i < params.size(); ++i) {
            bool null = false;
            values[size_t(i)] = serverText(params[i], &null);
            pointers[size_t(i)] = null ? nullptr : values[size_t(i)].constData();
        }
    }
    int count() const { return int(values.size()); }
};

} // namespace

PgResult PgConnection::exec(const QString& sql, const QList<QVariant>& params, DbError* error) {
    dropAhead();
    if (isBroken()) {
        if (error)
            *error = DbError{ErrServerConnection,
                             QStringLiteral("The connection to the database server %1 was lost. "
                                            "Nothing of this change was saved; try again.")
                                 .arg(label()),
                             {},
                             url_};
        return {};
    }
    announce(url_, sql);
    sent.fetchAndAddRelaxed(1);
    const QByteArray text = sql.toUtf8();
    const ParamTexts texts(params);
    return finish(PQexecParams(conn_, text.constData(), texts.count(), nullptr,
                               texts.pointers.data(), nullptr, nullptr, 0),
                  sql, error);
}

PgResult PgConnection::finish(pg_result* r, const QString& sql, DbError* error) {
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return PgResult(r);
    const DbError failure = errorFor(r, sql); // also when nobody asks: it may mark a loss
    if (error)
        *error = failure;
    if (r)
        PQclear(r);
    return {};
}

void PgConnection::sendAhead(const QString& sql, const QList<QVariant>& params) {
    dropAhead();
    if (isBroken() || PQtransactionStatus(conn_) != PQTRANS_IDLE)
        return;
    announce(url_, sql);
    sent.fetchAndAddRelaxed(1);
    const QByteArray text = sql.toUtf8();
    const ParamTexts texts(params);
    if (PQsendQueryParams(conn_, text.constData(), texts.count(), nullptr, texts.pointers.data(),
                          nullptr, nullptr, 0) != 1)
        return; // the statement that wants these rows runs them itself, and meets the fault
    aheadSql_ = text;
    aheadParams_ = texts.values;
    aheadPending_ = true;
}

bool PgConnection::takeAhead(const QString& sql, const QList<QVariant>& params, PgResult* out,
                             DbError* error) {
    if (!aheadPending_)
        return false;
    const ParamTexts texts(params);
    if (sql.toUtf8() != aheadSql_ || texts.values != aheadParams_) {
        dropAhead();
        return false;
    }
    aheadPending_ = false;
    pg_result* r = PQgetResult(conn_);
    // One statement gives one result; the null after it ends the answer.
    while (pg_result* more = r ? PQgetResult(conn_) : nullptr)
        PQclear(more);
    *out = finish(r, sql, error);
    return true;
}

void PgConnection::dropAhead() {
    if (!aheadPending_)
        return;
    aheadPending_ = false;
    while (pg_result* r = PQgetResult(conn_))
        PQclear(r);
}

bool PgConnection::execScript(const QString& sql, DbError* error) {
    dropAhead();
    if (isBroken()) {
        if (error)
            *error = errorFor(nullptr, sql);
        return false;
    }
    announce(url_, sql);
    sent.fetchAndAddRelaxed(1);
    pg_result* r = PQexec(conn_, sql.toUtf8().constData());
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        const DbError failure = errorFor(r, sql);
        if (error)
            *error = failure;
    }
    if (r)
        PQclear(r);
    return ok;
}

DbError PgConnection::errorFor(pg_result* result, const QString& sql) {
    const QByteArray state(result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr);
    // A failure without a SQLSTATE is libpq's own: the server went away under the statement
    // (a server stopped at once leaves the status good until the next read). So is a
    // server's shutdown or a connection failure it reports: the connection is done with, and
    // the next action makes it anew.
    if ((state.isEmpty() && (!result || PQresultStatus(result) == PGRES_FATAL_ERROR)) ||
        isConnectionState(state))
        lost_ = true;
    QString engine =
        result ? QString::fromUtf8(PQresultErrorMessage(result)).trimmed() : engineText(conn_);
    const QString details = engine + QStringLiteral("\nIn: ") + sql;
    const QString label = labelOf(conn_, url_);
    if (isBroken() || isConnectionState(state))
        return DbError{ErrServerConnection,
                       QStringLiteral("The connection to the database server %1 was lost. "
                                      "Nothing of this change was saved; try again.")
                           .arg(label),
                       details, url_};
    // A row or table another planner holds: the lock timeout ran out, or the server broke a
    // deadlock or a serialization conflict by cancelling this statement.
    if (state == "55P03" || state == "40P01" || state == "40001")
        return DbError{ErrLockedByUser,
                       QStringLiteral("Could not update; currently locked by another user."),
                       QStringLiteral("Another planner on %1 holds this record. Wait until they "
                                      "have finished, then try again.\n")
                               .arg(label) +
                           details,
                       url_};
    if (state == "42P01") {
        // Named as a file names it: the server's message quotes the relation.
        const qsizetype open = engine.indexOf(u'"');
        const qsizetype close = open < 0 ? -1 : engine.indexOf(u'"', open + 1);
        const QString name = close > open ? engine.mid(open + 1, close - open - 1) : QString();
        return DbError{ErrTableNotFound,
                       name.isEmpty()
                           ? QStringLiteral("The database %1 has no table this needs.").arg(label)
                           : QStringLiteral("The database engine cannot find the input table or "
                                            "query '%1'. Make sure it exists and that its name "
                                            "is spelled correctly.")
                                 .arg(name),
                       details, url_};
    }
    // A failure the translated statement makes itself: a Jet function's, as the file
    // reports it.
    if (const QString raised = serverRaisedMessage(engine); state == "22P02" && !raised.isEmpty())
        return DbError{ErrSqlSyntax, raised, details, url_};
    if (state.startsWith("22") || state == "23502" || state == "42804")
        return DbError{ErrTypeMismatch,
                       QStringLiteral("Data type mismatch in criteria expression."), details, url_};
    if (state.startsWith("42"))
        return DbError{ErrSqlSyntax,
                       QStringLiteral("The database server %1 refused a statement.").arg(label),
                       details, url_};
    return DbError{ErrEngine,
                   QStringLiteral("The database server %1 reported an error.").arg(label), details,
                   url_};
}

} // namespace tavrel::detail
