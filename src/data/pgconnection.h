#pragma once

// The server backend's connection to PostgreSQL through libpq. Nothing outside src/data
// includes this.

#include "data/dberror.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

namespace tavrel::detail {

// The oldest server the backend runs on (PostgreSQL's version number: 15.0).
inline constexpr int MinServerVersion = 150000;
// How long a statement waits for a row or table another planner holds before it reports
// it locked (the save loop then retries, as it does on a locked file). As short as a file's
// busy wait, so that the save loop's hundred silent retries before its question take about
// as long on both backends.
inline constexpr int RowLockTimeoutMs = 10;
// How long connecting may take before the server counts as down.
inline constexpr int ConnectTimeoutSeconds = 5;

// Whether the text names a server database (postgresql://... or postgres://...) rather
// than a file.
bool isServerUrl(const QString& text);

// The result of one statement.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result* result);
    ~PgResult();
    PgResult(PgResult&& other) noexcept;
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    bool isValid() const { return result_ != nullptr; }
    int rows() const;
    int columns() const;
    QString columnName(int column) const;
    bool isNull(int row, int column) const;
    // The value in the server's text form, and its length in bytes.
    const char* bytes(int row, int column) const;
    int size(int row, int column) const;
    QString text(int row, int column) const;
    // Rows an insert, update or delete wrote.
    int affected() const;
    pg_result* raw() const { return result_; }

private:
    pg_result* result_ = nullptr;
};

// One connection to a server database. Every failure is returned as the program's error:
// locks and lock timeouts as the locked-record errors, a connection that cannot be made or
// is lost as ErrServerConnection naming the server, SQL the server refuses as a syntax,
// table or type error.
class PgConnection {
public:
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects to the database `url` names. Passwords come from libpq's own places
    // (~/.pgpass, the service file, PGPASSWORD), never from the program. Refuses a server
    // older than MinServerVersion. nullptr with *error set on failure.
    static std::unique_ptr<PgConnection> connect(const QString& url, DbError* error);

    QString url() const { return url_; }
    // The server and database, as the title bar shows them: "host/dbname" ("localhost" for
    // a local socket).
    QString label() const;
    int serverVersion() const;

    // Runs one statement with parameters given as values (null QVariant is SQL null; dates
    // in ISO form; booleans as -1/0). On failure returns an invalid result and sets *error.
    PgResult exec(const QString& sql, const QList<QVariant>& params, DbError* error);
    PgResult exec(const QString& sql, DbError* error) { return exec(sql, {}, error); }
    // Runs text that may hold several statements without parameters (schema scripts).
    bool execScript(const QString& sql, DbError* error);

    // Sends a read before it is needed, so that the server works on it while the program
    // goes through the rows it already has (a walk's next run); takeAhead() collects it.
    // Sent only outside a transaction, where its failure cannot end one. Any other
    // statement first throws its answer away.
    void sendAhead(const QString& sql, const QList<QVariant>& params);
    // The answer of the read sent ahead, when that was this statement with these values:
    // true, with *out set or the failure in *error, as exec() gives them. False when there
    // is none: the caller runs the statement.
    bool takeAhead(const QString& sql, const QList<QVariant>& params, PgResult* out,
                   DbError* error);

    // Whether the connection was lost (the server went away); reconnect() makes it anew.
    bool isBroken() const;
    bool reconnect(DbError* error);

    pg_conn* raw() const { return conn_; }

    // Statements sent to a server by this process, all connections together: what a test
    // counts to see that a walk does not pay a round trip per row.
    static quint64 statementsSent();

private:
    PgConnection() = default;
    DbError errorFor(pg_result* result, const QString& sql);
    // The statement's result as exec() gives it: failures as the program's errors.
    PgResult finish(pg_result* result, const QString& sql, DbError* error);
    void dropAhead();

    pg_conn* conn_ = nullptr;
    // Set when a statement found the connection gone before libpq's own status says so.
    bool lost_ = false;
    QString url_;
    // The read sent ahead and not yet collected: its text and values.
    bool aheadPending_ = false;
    QByteArray aheadSql_;
    std::vector<QByteArray> aheadParams_;
};

// A program value in the server's text form, for a parameter: null stays null.
QByteArray serverText(const QVariant& value, bool* isNull);

} // namespace tavrel::detail
