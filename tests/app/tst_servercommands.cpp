// The built program on a site whose data is on a PostgreSQL server: setting one up, moving a
// site there and back, and a server that cannot serve the site, as a scheduled job meets it.

#include "data/demodata.h"
#include "support/headlessrun.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"
#include "support/testserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using tavrel::test::RawDb;
using tavrel::test::ServerDatabase;

namespace {

// Far beyond a normal run, and beyond the connect timeout: only a program that waits for
// an answer nobody can give reaches it.
constexpr int RunBoundMs = 60000;

using Run = tavrel::test::HeadlessRun;

// The program in `folder` as a scheduled job runs it (no display), on a fixed day.
Run runTavrel(const QString& folder, const QStringList& args,
              const QProcessEnvironment& extra = {}) {
    tavrel::test::HeadlessOptions options;
    options.clock = QStringLiteral("2005-07-04 10:00:00");
    options.boundMs = RunBoundMs;
    options.extra = extra;
    options.removed = QStringList{QStringLiteral("PGPASSWORD")};
    return tavrel::test::runHeadless(TAVREL_BINARY, folder, args, options);
}

QString siteUrl(const QString& folder) {
    return QSettings(QDir(folder).filePath("tavrel.conf"), QSettings::IniFormat)
        .value("database/url")
        .toString();
}

void nameServer(const QString& folder, const QString& url) {
    QSettings(QDir(folder).filePath("tavrel.conf"), QSettings::IniFormat)
        .setValue("database/url", url);
}

QString demoSite(const QString& folder) {
    QString error;
    if (!tavrel::initWorkFolder(folder, true, QDate(2005, 7, 4), &error))
        qWarning("%s", qPrintable(error));
    return QDir(folder).filePath("tavrel.mdb");
}

} // namespace

class TestServerCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initServerSetsUpTheFolder() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QTemporaryDir folder;
        Run run = runTavrel(folder.path(), {"--init", "--server", server.url()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(siteUrl(folder.path()), server.url());
        QVERIFY(QFileInfo::exists(QDir(folder.path()).filePath("rptspec.mdb")));
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("tavrel.mdb")));
        // The year of the day it ran.
        QCOMPARE(server.scalar("SELECT curdate FROM weeks WHERE weeid = 1"),
                 QVariant("2005-01-03 00:00:00"));
        QCOMPARE(server.scalar("SELECT curyear FROM settings"), QVariant("2005"));

        // Once only: the folder works on the server now, and the server holds a site.
        run = runTavrel(folder.path(), {"--init", "--server", server.url()});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err.simplified(), "Tavrel: This folder works on the server database " +
                                           server.url() +
                                           " already (its tavrel.conf names it). Nothing was "
                                           "done.");
        QTemporaryDir second;
        run = runTavrel(second.path(), {"--init", "--server", server.url()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.simplified().contains("holds a Tavrel site already"), qPrintable(run.err));
        // Nothing of the refused set-up stays behind in the folder.
        QCOMPARE(QDir(second.path()).entryList(QDir::Files), QStringList());

        // A folder that has its file is moved with --copy-to, not set up anew.
        QTemporaryDir withFile;
        demoSite(withFile.path());
        ServerDatabase empty;
        run = runTavrel(withFile.path(), {"--init", "--server", empty.url()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("--copy-to"), qPrintable(run.err));
        QCOMPARE(siteUrl(withFile.path()), QString());
    }

    void initServerWithTheDemoSite() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QTemporaryDir folder;
        const Run run = runTavrel(folder.path(), {"--init", "--server", server.url(), "--demo"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QTemporaryDir file;
        const RawDb demo(demoSite(file.path()));
        for (const char* table : {"tasks", "taskweeks", "assign", "employees"})
            QCOMPARE(
                server.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toLongLong(),
                demo.column(QStringLiteral("SELECT count(*) FROM %1").arg(table)).value(0));
        QCOMPARE(siteUrl(folder.path()), server.url());
    }

    void copyCommandsMoveTheSite() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QTemporaryDir site;
        const QString original = demoSite(site.path());
        const QByteArray before = tavrel::test::digest(original);
        Run run = runTavrel(site.path(), {"--copy-to", server.url()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(siteUrl(site.path()), server.url());
        QCOMPARE(tavrel::test::digest(original), before);
        QCOMPARE(server.scalar("SELECT count(*) FROM tasks").toLongLong(),
                 RawDb(original).column("SELECT count(*) FROM tasks").value(0));
        // The file is not the site's database any more: it is not copied a second time.
        run = runTavrel(site.path(), {"--copy-to", server.url()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("already"), qPrintable(run.err));

        QTemporaryDir back;
        run = runTavrel(back.path(), {"--copy-from", server.url()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QString copy = QDir(back.path()).filePath("tavrel.mdb");
        QCOMPARE(tavrel::test::siteRows(copy), tavrel::test::siteRows(original));
        const QByteArray written = tavrel::test::digest(copy);
        run = runTavrel(back.path(), {"--copy-from", server.url()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("exists already"), qPrintable(run.err));
        QCOMPARE(tavrel::test::digest(copy), written);
    }

    // Whatever keeps the server's database from serving the site, a command says so once,
    // naming the server, and ends with 1 at once.
    void faultsAtStartEndTheCommand_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("server down") << "down"
                                     << "Tavrel: 3151 Could not connect to the database server "
                                        "localhost/%1. Check that the server is running and can "
                                        "be reached, then try again.";
        QTest::newRow("wrong password")
            << "password"
            << "Tavrel: 3151 The server localhost/%1 refused the user name or "
               "password. Check the password in ~/.pgpass or PGPASSWORD, then "
               "start Tavrel again.";
        QTest::newRow("no site there") << "empty"
                                       << "Tavrel: 3078 The database localhost/%1 holds no Tavrel "
                                          "site. To set one up there, run: tavrel --init "
                                          "--server %2 (or tavrel --copy-to %2 in the folder of "
                                          "an existing site).";
        QTest::newRow("password in tavrel.conf") << "url password"
                                                 << "";
    }

    void faultsAtStartEndTheCommand() {
        TAVREL_REQUIRE_SERVER();
        QFETCH(QString, fault);
        QFETCH(QString, message);
        ServerDatabase server;
        QTemporaryDir folder;
        QString url = server.url();
        QProcessEnvironment env;
        if (fault == "down") {
            // A socket folder where no server listens.
            url = QStringLiteral("postgresql://tavrel@/%1?host=%2")
                      .arg(server.name(), QDir(folder.path()).filePath("nosuchserver"));
        } else if (fault == "password") {
            url = server.passwordUrl();
            env.insert("PGPASSWORD", ServerDatabase::password() + "-wrong");
        } else if (fault == "url password") {
            url = QStringLiteral("postgresql://tavrel_pw:%1@/%2?host=%3")
                      .arg(ServerDatabase::password(), server.name(), ServerDatabase::socketDir());
            message = "Tavrel: 3151 The tavrel.conf in " +
                      QDir::toNativeSeparators(QDir(folder.path()).absolutePath() + '/') +
                      " does not name the site's server properly. The server address holds a "
                      "password. Tavrel keeps no passwords: remove it from the address and "
                      "put it in ~/.pgpass (or PGPASSWORD, or a service file), where the "
                      "server's client library finds it.";
        }
        nameServer(folder.path(), url);
        // Every command starts the same way: two of them for one fault, one for the others.
        QList<QStringList> commands = {{"-m", "-o", "out.pdf"}};
        if (fault == "down")
            commands << QStringList{"--set-year", "2005"};
        for (const QStringList& args : commands) {
            const Run run = runTavrel(folder.path(), args, env);
            QVERIFY(run.finished);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
            // One message: the details line under it aside.
            QCOMPARE(run.err.count("Tavrel: "), 1);
            const QString shown = run.err.section("  Details:", 0, 0).simplified();
            const QString expected =
                QString(message).replace("%1", server.name()).replace("%2", url);
            QCOMPARE(shown, expected.simplified());
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"tavrel.conf"});
        // Backups of a server's database are the server's business.
        const Run backup = runTavrel(folder.path(), {"--backup"}, env);
        QCOMPARE(backup.exitCode, 1);
        QVERIFY2(backup.err.contains("pg_dump"), qPrintable(backup.err));
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("backups")));
    }
};

QTEST_GUILESS_MAIN(TestServerCommands)
#include "tst_servercommands.moc"
