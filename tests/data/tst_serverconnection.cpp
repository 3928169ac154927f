// The server backend's connection: how each way of failing to reach or use the server
// reaches the program, as one of its errors with a text that names the server.

#include "data/database.h"
#include "data/pgconnection.h"
#include "support/tempdatabase.h"
#include "support/testserver.h"

#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

class TestServerConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void cleanup() { qunsetenv("PGPASSWORD"); }

    void refusedConnections_data();
    void refusedConnections();
    void openedByUrl();
    void statementFailures();
    void lostConnection();
};

void TestServerConnection::refusedConnections_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    QTest::newRow("server down") << "down"
                                 << "Could not connect to the database server localhost/%1. "
                                    "Check that the server is running and can be reached, "
                                    "then try again.";
    QTest::newRow("wrong password") << "password"
                                    << "The server localhost/%1 refused the user name or "
                                       "password. Check the password in ~/.pgpass or "
                                       "PGPASSWORD, then start Tavrel again.";
    QTest::newRow("no such database") << "database"
                                      << "The server localhost/%1 has no such database. Ask "
                                         "its administrator to create it, then set it up with "
                                         "tavrel --init --server.";
}

// Each refusal is one error, ErrServerConnection, whose text names the server and the
// database and says what to do; the database stays closed and says so on every use.
void TestServerConnection::refusedConnections() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, what);
    QFETCH(QString, expected);
    ServerDatabase server;
    QVERIFY(server.isValid());
    QString url = server.url();
    QString name = server.name();
    if (what == QLatin1String("down")) {
        // A socket folder where no server listens: refused at once, not after a timeout.
        QTemporaryDir empty;
        url = QStringLiteral("postgresql://tavrel@/%1?host=%2")
                  .arg(name, QString::fromLatin1(QUrl::toPercentEncoding(empty.path())));
    } else if (what == QLatin1String("password")) {
        url = server.passwordUrl();
        qputenv("PGPASSWORD", "not the password");
    } else {
        name += QStringLiteral("_missing");
        url.replace(server.name(), name);
    }
    CollectedErrors errors;
    Database db = Database::open(url);
    QVERIFY(!db.isOpen());
    QCOMPARE(errors.numbers, QList<int>{ErrServerConnection});
    QCOMPARE(errors.texts.first(), expected.arg(name));
    db.execute(QStringLiteral("select 1"));
    QCOMPARE(errors.numbers.last(), ErrObjectNotSet);
}

// A good URL opens the server: the database says it is one and names it; statements run
// there. The password role gets in with its password from the environment, never the URL.
void TestServerConnection::openedByUrl() {
    TAVREL_REQUIRE_SERVER();
    ServerDatabase server;
    CollectedErrors errors;
    Database db = Database::open(server.url());
    QVERIFY(db.isOpen());
    QVERIFY(db.isServer());
    QCOMPARE(db.serverLabel(), QStringLiteral("localhost/") + server.name());
    QCOMPARE(db.path(), server.url());
    db.executeScript(QStringLiteral("CREATE TABLE notes (id integer PRIMARY KEY, body text); "
                                    "INSERT INTO notes VALUES (1, 'a'), (2, 'b');"));
    db.execute(QStringLiteral("update notes set body = 'c' where id >= 1"));
    QCOMPARE(db.rowsAffected(), 2);
    QCOMPARE(server.scalar(QStringLiteral("select string_agg(body, ',' order by id) from notes")),
             QVariant(QStringLiteral("c,c")));
    QVERIFY2(errors.numbers.isEmpty(), qPrintable(errors.texts.join(u'\n')));

    qputenv("PGPASSWORD", ServerDatabase::password().toUtf8());
    Database withPassword = Database::open(server.passwordUrl());
    QVERIFY(withPassword.isOpen());
    QVERIFY(errors.numbers.isEmpty());

    // A file stays a file.
    TempDatabase file;
    Database local = Database::open(file.dbPath());
    QVERIFY(!local.isServer());
    QVERIFY(local.serverLabel().isEmpty());
}

// The server's refusals map to the program's errors: a row another planner holds to the
// locked-record error (which the save loop retries), a missing table, a value of the wrong
// type, SQL the server cannot read.
void TestServerConnection::statementFailures() {
    TAVREL_REQUIRE_SERVER();
    ServerDatabase server;
    QVERIFY(server.exec(QStringLiteral("CREATE TABLE notes (id integer PRIMARY KEY, n integer); "
                                       "INSERT INTO notes VALUES (1, 1);")));
    DbError error;
    auto holder = detail::PgConnection::connect(server.url(), &error);
    auto planner = detail::PgConnection::connect(server.url(), &error);
    QVERIFY(holder && planner);
    QVERIFY(holder->exec(QStringLiteral("BEGIN"), &error).isValid());
    QVERIFY(holder->exec(QStringLiteral("SELECT * FROM notes WHERE id = 1 FOR UPDATE"), &error)
                .isValid());
    QVERIFY(planner->exec(QStringLiteral("SET lock_timeout = 50"), &error).isValid());
    QVERIFY(
        !planner->exec(QStringLiteral("UPDATE notes SET n = 2 WHERE id = 1"), &error).isValid());
    QCOMPARE(error.number, ErrLockedByUser);
    QCOMPARE(error.description,
             QStringLiteral("Could not update; currently locked by another user."));
    QVERIFY(holder->exec(QStringLiteral("COMMIT"), &error).isValid());
    const detail::PgResult done =
        planner->exec(QStringLiteral("UPDATE notes SET n = $1 WHERE id = $2"), {3, 1}, &error);
    QVERIFY(done.isValid());
    QCOMPARE(done.affected(), 1);

    QVERIFY(!planner->exec(QStringLiteral("SELECT * FROM missing"), &error).isValid());
    QCOMPARE(error.number, ErrTableNotFound);
    QVERIFY(!planner->exec(QStringLiteral("UPDATE notes SET n = $1"), {QStringLiteral("x")}, &error)
                 .isValid());
    QCOMPARE(error.number, ErrTypeMismatch);
    QVERIFY(!planner->exec(QStringLiteral("SELEC 1"), &error).isValid());
    QCOMPARE(error.number, ErrSqlSyntax);
    QVERIFY(error.details.contains(QLatin1String("SELEC 1")));
}

// A connection the server ends (a restart, an administrator) fails its next statement with
// the server's error, not a crash or a hang; reconnecting brings it back.
void TestServerConnection::lostConnection() {
    TAVREL_REQUIRE_SERVER();
    ServerDatabase server;
    DbError error;
    auto planner = detail::PgConnection::connect(server.url(), &error);
    QVERIFY(planner);
    const QVariant pid =
        planner->exec(QStringLiteral("SELECT pg_backend_pid()"), &error).text(0, 0);
    QVERIFY(server.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid.toString())));
    QVERIFY(!planner->exec(QStringLiteral("SELECT 1"), &error).isValid());
    QCOMPARE(error.number, ErrServerConnection);
    QCOMPARE(error.description,
             QStringLiteral("The connection to the database server localhost/%1 was lost. "
                            "Nothing of this change was saved; try again.")
                 .arg(server.name()));
    QVERIFY(planner->isBroken());
    QVERIFY(planner->reconnect(&error));
    QCOMPARE(planner->exec(QStringLiteral("SELECT 41 + 1"), &error).text(0, 0),
             QStringLiteral("42"));
}

QTEST_GUILESS_MAIN(TestServerConnection)
#include "tst_serverconnection.moc"
