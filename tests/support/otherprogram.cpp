#include "support/otherprogram.h"

#include "support/tempdatabase.h"

#include "data/database.h"

#include <QtGlobal>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace tavrel::test {

namespace {

bool isUrl(const QString& path) {
    return path.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive) &&
           path.contains(QLatin1String("://"));
}

} // namespace

OtherProgram::OtherProgram(const QString& pathOrUrl) {
    if (isUrl(pathOrUrl)) {
        pg_ = PQconnectdb(pathOrUrl.toUtf8().constData());
        if (PQstatus(pg_) != CONNECTION_OK)
            qFatal("cannot connect to %s: %s", qPrintable(pathOrUrl), PQerrorMessage(pg_));
        // A lock it cannot get (the program holds what it wants) fails the test rather than
        // hang it: the program and the test run in one thread.
        if (!serverExec("SET lock_timeout = '5s'; SET application_name = 'other program'"))
            qFatal("cannot set up the other program's connection");
        return;
    }
    if (sqlite3_open_v2(pathOrUrl.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        qFatal("cannot open %s", qPrintable(pathOrUrl));
}

OtherProgram::~OtherProgram() {
    release();
    if (pg_)
        PQfinish(pg_);
    sqlite3_close(db_);
}

bool OtherProgram::serverExec(const QByteArray& sql) {
    PGresult* r = PQexec(pg_, sql.constData());
    const ExecStatusType status = PQresultStatus(r);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    PQclear(r);
    return ok;
}

int OtherProgram::exec(const char* sql) {
    if (pg_) {
        if (serverExec(sql))
            return SQLITE_OK;
        qWarning("other program: %s", PQerrorMessage(pg_));
        return SQLITE_ERROR;
    }
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

QStringList OtherProgram::serverTables() {
    QStringList tables;
    PGresult* r = PQexec(pg_, "SELECT quote_ident(tablename) FROM pg_tables WHERE schemaname = "
                              "current_schema() ORDER BY tablename");
    for (int row = 0; row < PQntuples(r); ++row)
        tables << QString::fromUtf8(PQgetvalue(r, row, 0));
    PQclear(r);
    return tables;
}

// A file has one lock; the server's equivalent is every table of the site locked at once.
void OtherProgram::lockServerTables(const char* mode) {
    const QByteArray sql =
        "BEGIN; LOCK TABLE " + serverTables().join(u", ").toUtf8() + " IN " + mode + " MODE";
    if (!serverExec(sql))
        qFatal("the other program cannot lock the tables: %s", PQerrorMessage(pg_));
}

void OtherProgram::holdWriteLock() {
    if (pg_)
        return lockServerTables("SHARE ROW EXCLUSIVE");
    if (exec("BEGIN IMMEDIATE;") != SQLITE_OK)
        qFatal("cannot take the write lock");
}

void OtherProgram::holdWholeFile() {
    if (pg_)
        return lockServerTables("ACCESS EXCLUSIVE");
    if (exec("BEGIN EXCLUSIVE;") != SQLITE_OK)
        qFatal("cannot take the whole file");
}

bool OtherProgram::holdStrongestLock() {
    if (pg_) {
        // The tables the program writes in its open transaction stay its own; every other
        // one is locked against writers, so that its next write to one of them waits.
        if (!serverExec("BEGIN"))
            qFatal("the other program cannot begin: %s", PQerrorMessage(pg_));
        bool all = true;
        for (const QString& table : serverTables()) {
            const bool locked =
                serverExec("SAVEPOINT one; LOCK TABLE " + table.toUtf8() +
                           " IN SHARE ROW EXCLUSIVE MODE NOWAIT; RELEASE SAVEPOINT one");
            if (!locked && !serverExec("ROLLBACK TO SAVEPOINT one; RELEASE SAVEPOINT one"))
                qFatal("the other program lost its transaction: %s", PQerrorMessage(pg_));
            all = all && locked;
        }
        return all;
    }
    if (exec("BEGIN IMMEDIATE;") == SQLITE_OK)
        return true;
    // A reader's lock lasts while its transaction is open and has read something.
    if (exec("BEGIN;") != SQLITE_OK || exec("SELECT count(*) FROM sqlite_master;") != SQLITE_OK)
        qFatal("cannot take a reader's lock");
    return false;
}

bool OtherProgram::holdsLock() const {
    if (pg_)
        return PQtransactionStatus(pg_) != PQTRANS_IDLE;
    return sqlite3_get_autocommit(db_) == 0;
}

void OtherProgram::release() {
    if (holdsLock())
        exec("COMMIT;");
}

QString OtherProgram::contents() {
    QString all;
    if (pg_) {
        for (const QString& table : serverTables()) {
            all += QStringLiteral("[%1]\n").arg(table);
            // In the order of the primary key, as a file's rows are in the order of theirs.
            const QByteArray keySql =
                "SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY "
                "array_position(i.indkey::int2[], a.attnum)) FROM pg_index i JOIN pg_attribute a "
                "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) WHERE i.indisprimary "
                "AND i.indrelid = '" +
                table.toUtf8() + "'::regclass";
            PGresult* key = PQexec(pg_, keySql.constData());
            QByteArray order = PQntuples(key) == 1 ? QByteArray(PQgetvalue(key, 0, 0)) : "";
            PQclear(key);
            if (order.isEmpty())
                order = "t::text COLLATE \"C\"";
            const QByteArray rowsSql =
                "SELECT * FROM " + table.toUtf8() + " AS t ORDER BY " + order;
            PGresult* rows = PQexec(pg_, rowsSql.constData());
            if (PQresultStatus(rows) != PGRES_TUPLES_OK)
                qFatal("the other program cannot read %s: %s", qPrintable(table),
                       PQerrorMessage(pg_));
            for (int row = 0; row < PQntuples(rows); ++row) {
                for (int c = 0; c < PQnfields(rows); ++c) {
                    all += PQgetisnull(rows, row, c) ? QStringLiteral("NULL")
                                                     : QString::fromUtf8(PQgetvalue(rows, row, c));
                    all += QLatin1Char('|');
                }
                all += QLatin1Char('\n');
            }
            PQclear(rows);
        }
        return all;
    }
    sqlite3_stmt* tables = nullptr;
    sqlite3_prepare_v2(db_,
                       "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                       "'sqlite_%' ORDER BY name",
                       -1, &tables, nullptr);
    while (sqlite3_step(tables) == SQLITE_ROW) {
        const QString table =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(tables, 0)));
        all += QStringLiteral("[%1]\n").arg(table);
        sqlite3_stmt* rows = nullptr;
        const QByteArray sql = "SELECT * FROM \"" + table.toUtf8() + "\" ORDER BY rowid";
        sqlite3_prepare_v2(db_, sql.constData(), -1, &rows, nullptr);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(rows); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
                all += text ? QString::fromUtf8(text) : QStringLiteral("NULL");
                all += QLatin1Char('|');
            }
            all += QLatin1Char('\n');
        }
        sqlite3_finalize(rows);
    }
    sqlite3_finalize(tables);
    return all;
}

LockAtStatement::LockAtStatement(const QString& path, int lockAt, int releaseAfter)
    : path_(path)
    , lockAt_(lockAt)
    , releaseAfter_(releaseAfter) {
    install();
}

LockAtStatement::LockAtStatement(const QString& path, const QString& lockBefore, int releaseAfter,
                                 int occurrence)
    : path_(path)
    , lockBefore_(lockBefore)
    , occurrence_(occurrence)
    , lockAt_(0)
    , releaseAfter_(releaseAfter) {
    install();
}

void LockAtStatement::install() {
    ConnectionHooks hooks;
    hooks.path = path_;
    hooks.beforeStatement = [this](const QString& sql) {
        ++statements_;
        texts_ << sql;
        if (released_)
            return;
        if (tookAt_ == 0 && !lockBefore_.isEmpty() &&
            sql.startsWith(lockBefore_, Qt::CaseInsensitive) && --occurrence_ == 0)
            lockAt_ = statements_;
        if (statements_ == lockAt_) {
            tookAt_ = statements_;
            other_.emplace(path_);
            writeLock_ = other_->holdStrongestLock();
        } else if (tookAt_ > 0 && releaseAfter_ >= 0 && statements_ - tookAt_ > releaseAfter_) {
            release();
        }
    };
    setConnectionHooks(hooks);
}

LockAtStatement::~LockAtStatement() {
    setConnectionHooks({});
    release();
}

void LockAtStatement::release() {
    released_ = true;
    if (other_)
        other_->release();
}

QString lockPointOnThisBackend(const QString& statement) {
    if (!testsOnServer())
        return statement;
    if (statement == QLatin1String("COMMIT"))
        return {};
    return statement == QLatin1String("BEGIN IMMEDIATE") ? QStringLiteral("BEGIN") : statement;
}

} // namespace tavrel::test
