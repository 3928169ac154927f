#include "testserver.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <QtGlobal>

#include <libpq-fe.h>

#include <cstdlib>

namespace tavrel::test {

namespace {

QString host() {
    return qEnvironmentVariable("TAVREL_TEST_PGHOST");
}

QString urlFor(const QString& user, const QString& db) {
    return QStringLiteral("postgresql://%1@/%2?host=%3")
        .arg(user, db, QString::fromLatin1(QUrl::toPercentEncoding(host())));
}

// Runs statements on `db` as "tavrel"; the connection ends with the call.
PGresult* run(const QString& db, const QString& sql, PGconn** keep = nullptr) {
    PGconn* conn = PQconnectdb(urlFor(QStringLiteral("tavrel"), db).toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        qWarning("test server: %s", PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    PGresult* r = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        qWarning("test server: %s\nIn: %s", PQresultErrorMessage(r), qPrintable(sql));
        PQclear(r);
        r = nullptr;
    }
    if (keep)
        *keep = conn;
    else
        PQfinish(conn);
    return r;
}

} // namespace

bool ServerDatabase::available(QString* why) {
    if (host().isEmpty()) {
        if (why)
            *why = QStringLiteral("no PostgreSQL test cluster (TAVREL_TEST_PGHOST is not set; "
                                  "scripts/test starts one)");
        return false;
    }
    return true;
}

bool ServerDatabase::required() {
    return qEnvironmentVariable("TAVREL_TEST_SERVER_REQUIRED") == QLatin1String("1");
}

ServerDatabase::ServerDatabase(const QString& templateName) {
    if (!available())
        return;
    static QAtomicInt counter;
    const QString name = QStringLiteral("t_%1_%2_%3")
                             .arg(QCoreApplication::applicationName().isEmpty()
                                      ? QStringLiteral("test")
                                      : QCoreApplication::applicationName())
                             .arg(QCoreApplication::applicationPid())
                             .arg(counter.fetchAndAddRelaxed(1))
                             .toLower()
                             .replace(QLatin1Char('-'), QLatin1Char('_'));
    QString create = QStringLiteral("CREATE DATABASE \"%1\"").arg(name);
    if (!templateName.isEmpty())
        create += QStringLiteral(" TEMPLATE \"%1\"").arg(templateName);
    if (PGresult* r = run(QStringLiteral("postgres"), create)) {
        PQclear(r);
        name_ = name;
    }
}

ServerDatabase::~ServerDatabase() {
    if (name_.isEmpty())
        return;
    // Connections the test left open (another program, a crashed recordset) go with it.
    if (PGresult* r = run(QStringLiteral("postgres"),
                          QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(name_)))
        PQclear(r);
}

QString ServerDatabase::url() const {
    return urlFor(QStringLiteral("tavrel"), name_);
}

QString ServerDatabase::passwordUrl() const {
    return urlFor(QStringLiteral("tavrel_pw"), name_);
}

QString ServerDatabase::password() {
    QFile f(qEnvironmentVariable("TAVREL_TEST_PGDIR") + QStringLiteral("/password"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

QString ServerDatabase::socketDir() {
    return host();
}

bool ServerDatabase::exec(const QString& sql) const {
    PGresult* r = run(name_, sql);
    if (!r)
        return false;
    PQclear(r);
    return true;
}

QVariant ServerDatabase::scalar(const QString& sql) const {
    PGresult* r = run(name_, sql);
    if (!r)
        return {};
    QVariant value;
    if (PQntuples(r) > 0 && PQnfields(r) > 0 && !PQgetisnull(r, 0, 0))
        value = QString::fromUtf8(PQgetvalue(r, 0, 0));
    PQclear(r);
    return value;
}

QVariant ServerDatabase::typedScalar(const QString& sql) const {
    const QVariantList values = typedColumn(sql);
    return values.isEmpty() ? QVariant() : values.first();
}

QVariantList ServerDatabase::typedColumn(const QString& sql) const {
    PGconn* conn = nullptr;
    PGresult* r = run(name_, sql, &conn);
    QVariantList values;
    if (r && PQnfields(r) > 0) {
        // A domain (yesno, currency) reports itself: its base type tells the kind.
        Oid type = PQftype(r, 0);
        if (PGresult* base = PQexec(
                conn, QStringLiteral("SELECT CASE WHEN typbasetype = 0 THEN oid ELSE typbasetype "
                                     "END FROM pg_type WHERE oid = %1")
                          .arg(type)
                          .toUtf8()
                          .constData())) {
            if (PQntuples(base) == 1)
                type = Oid(QByteArray(PQgetvalue(base, 0, 0)).toUInt());
            PQclear(base);
        }
        for (int row = 0; row < PQntuples(r); ++row) {
            if (PQgetisnull(r, row, 0)) {
                values << QVariant();
                continue;
            }
            const QString text = QString::fromUtf8(PQgetvalue(r, row, 0));
            switch (type) {
            case 16: // bool
                values << qlonglong(text == QLatin1String("t") ? 1 : 0);
                break;
            case 20: // int8
            case 21: // int2
            case 23: // int4
                values << text.toLongLong();
                break;
            case 700: // float4: its shortest text, read back as the single it is
                values << double(std::strtof(text.toLatin1().constData(), nullptr));
                break;
            case 701:  // float8
            case 1700: // numeric
                values << text.toDouble();
                break;
            case 1114: // timestamp
            case 1184: // timestamptz
                values << (text.endsWith(QLatin1String(" 00:00:00")) ? text.left(10) : text);
                break;
            default:
                values << text;
            }
        }
    }
    if (r)
        PQclear(r);
    if (conn)
        PQfinish(conn);
    return values;
}

} // namespace tavrel::test
