#pragma once

#include <QString>
#include <QVariant>

namespace tavrel::test {

// A fresh, empty database on the test run's PostgreSQL cluster (scripts/pgcluster; the
// test script starts one and sets TAVREL_TEST_PGHOST), dropped again when the object goes.
// Without a cluster, available() is false: a test then skips, unless the run asks for the
// server (TAVREL_TEST_SERVER_REQUIRED=1, as the test script does), when it fails.
class ServerDatabase {
public:
    // Empty, or (`templateName`) a copy of another test database, which nobody may be
    // connected to meanwhile.
    explicit ServerDatabase(const QString& templateName = {});
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    // Whether the run has a cluster; `why` says what is missing.
    static bool available(QString* why = nullptr);
    // Whether a test without a cluster must fail rather than skip.
    static bool required();

    bool isValid() const { return !name_.isEmpty(); }
    QString name() const { return name_; }
    // The URL the program opens it by (user "tavrel", no password, the cluster's socket).
    QString url() const;
    // The same database for a user whose password the server checks ("tavrel_pw"), and that
    // password.
    QString passwordUrl() const;
    static QString password();
    // The cluster's socket folder.
    static QString socketDir();

    // Runs PostgreSQL statements through a connection of its own (test setup); false with a
    // warning on failure.
    bool exec(const QString& sql) const;
    // Reads one value through a connection of its own: the server's text of it, a null
    // QVariant for SQL null or a failure.
    QVariant scalar(const QString& sql) const;
    // The same value typed as SQLite's C API gives it: integers (yes/no values too) as
    // qlonglong, other numbers as double, dates as their ISO text ("2005-01-03", with the
    // time only when there is one), texts as QString.
    QVariant typedScalar(const QString& sql) const;
    // The first column of every row, typed as typedScalar() types one value.
    QVariantList typedColumn(const QString& sql) const;

private:
    QString name_;
};

} // namespace tavrel::test

// Skips the test function without a cluster, or fails it when the run requires one.
#define TAVREL_REQUIRE_SERVER()                                                                    \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!tavrel::test::ServerDatabase::available(&why_)) {                                     \
            if (tavrel::test::ServerDatabase::required())                                          \
                QFAIL(qPrintable(why_));                                                           \
            QSKIP(qPrintable(why_));                                                               \
        }                                                                                          \
    } while (false)
