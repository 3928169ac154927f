// Start-up of a site on a PostgreSQL server when the server cannot serve it, a server that
// stops while the program saves, the warning about a database file on a network file
// system, and backups left to the server.

#include "core/backups.h"
#include "core/frmfolder.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/workfolder.h"
#include "data/sitecopy.h"
#include "support/editorfixture.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/testserver.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

void nameServer(const QString& folder, const QString& url) {
    QSettings(QDir(folder).filePath("tavrel.conf"), QSettings::IniFormat)
        .setValue("database/url", url);
}

// A PostgreSQL cluster of the test's own, whose server the test may stop as a crash would
// and start again; the run's shared cluster serves other tests meanwhile. While it lives,
// the test databases (and a test's TempWorkFolder, made a server site) are made on it.
class OwnCluster {
public:
    OwnCluster()
        : host_(qgetenv("TAVREL_TEST_PGHOST"))
        , backend_(qgetenv("TAVREL_TEST_BACKEND")) {
        up_ = dir_.isValid() && run("start");
        qputenv("TAVREL_TEST_PGHOST", QDir(dir_.path()).filePath("socket").toLocal8Bit());
        qputenv("TAVREL_TEST_BACKEND", "server");
    }
    ~OwnCluster() {
        qputenv("TAVREL_TEST_PGHOST", host_);
        qputenv("TAVREL_TEST_BACKEND", backend_);
        run("stop");
    }
    bool isUp() const { return up_; }
    // pg_ctl stop -m immediate: every connection is cut where it stands.
    bool halt() { return run("halt"); }
    bool resume() { return run("resume"); }

private:
    bool run(const char* action) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QStringLiteral(TAVREL_SOURCE_DIR "/scripts/pgcluster"),
                {QString::fromLatin1(action), dir_.path()});
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
    QTemporaryDir dir_;
    QByteArray host_;
    QByteArray backend_;
    bool up_ = false;
};

} // namespace

class TestServerSite : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        resetProgramState();
        useTestLocale();
    }
    void cleanup() {
        setFileSystemProbe({});
        qunsetenv("PGPASSWORD");
    }

    // One message naming the server and what to do, then the folder chooser, as where a
    // folder holds no database: Cancel ends the program, another folder is worked in.
    void faultAtStartInTheWindow_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("server down")
            << "down"
            << "3151  Could not connect to the database server localhost/%1. Check "
               "that the server is running and can be reached, then try again.";
        QTest::newRow("wrong password")
            << "password"
            << "3151  The server localhost/%1 refused the user name or "
               "password. Check the password in ~/.pgpass or PGPASSWORD, then "
               "start Tavrel again.";
        QTest::newRow("no site there")
            << "empty"
            << "3078  The database localhost/%1 holds no Tavrel site. To set one up "
               "there, run: tavrel --init --server %2 (or tavrel --copy-to %2 in the "
               "folder of an existing site).";
    }

    void faultAtStartInTheWindow() {
        TAVREL_REQUIRE_SERVER();
        QFETCH(QString, fault);
        QFETCH(QString, message);
        ServerDatabase server;
        QTemporaryDir folder;
        QString url = server.url();
        if (fault == "down") {
            url = QStringLiteral("postgresql://tavrel@/%1?host=%2")
                      .arg(server.name(), QDir(folder.path()).filePath("nosuchserver"));
        } else if (fault == "password") {
            url = server.passwordUrl();
            qputenv("PGPASSWORD", (ServerDatabase::password() + "-wrong").toUtf8());
        }
        nameServer(folder.path(), url);
        const QString shownFolder = QDir::toNativeSeparators(QDir(folder.path()).absolutePath());

        ScriptedUi ui;
        QString intro;
        ui.onModal([&intro](QDialog* dialog) {
            auto* offer = qobject_cast<frmFolder*>(dialog);
            QVERIFY(offer);
            intro = offer->lblIntro->text();
            dialog->reject();
        });
        {
            frmMain w;
            w.setWorkFolder(folder.path());
            QCOMPARE(exitCodeOf([&w] { w.Form_Load(); }), 0);
            w.Form_Unload();
        }
        QCOMPARE(ui.messageTexts(),
                 QStringList{message.replace("%1", server.name()).replace("%2", url)});
        QCOMPARE(ui.modalTitles.size(), 1);
        QCOMPARE(intro, "Tavrel could not open the database of the site in " + shownFolder +
                            " on its server. Which folder do you want to work in instead?");
        QVERIFY(!state().dbMain.isOpen());

        // Another folder chosen: start-up goes on there, a site of the file.
        TempWorkFolder fileSite(2005, {}, false);
        ui.clearRecord();
        ui.onModal([](QDialog* dialog) { qobject_cast<frmFolder*>(dialog)->cmdChoose->click(); });
        ui.answerFolder(fileSite.path());
        frmMain w;
        w.setWorkFolder(folder.path());
        QCOMPARE(exitCodeOf([&w] { w.Form_Load(); }), -1);
        QCOMPARE(ui.messageTexts().size(), 1);
        QVERIFY(state().dbMain.isOpen());
        QCOMPARE(state().DbPath, QDir(fileSite.path()).absolutePath() + "/tavrel.mdb");
        QCOMPARE(w.windowTitle(),
                 "Tavrel - " + QDir::toNativeSeparators(QDir(fileSite.path()).absolutePath()));
        QVERIFY(w.mnuBackups->isVisible());
        w.Form_Unload();
    }

    // A folder whose tavrel.conf names a server is a site's folder, without a tavrel.mdb.
    void serverSiteFolderIsChosenAsItIs() {
        QTemporaryDir folder;
        nameServer(folder.path(), "postgresql://db.example/plant");
        ScriptedUi ui;
        ui.onModal([](QDialog* dialog) { qobject_cast<frmFolder*>(dialog)->cmdChoose->click(); });
        ui.answerFolder(folder.path());
        QCOMPARE(askWorkFolder(nullptr, "Which folder?"), QDir(folder.path()).absolutePath());
        QCOMPARE(ui.messageTexts(), QStringList{});
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("tavrel.mdb")));
    }

    void networkFileSystemIsWarnedOf_data() {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("warned");
        QTest::newRow("nfs4") << QByteArray("nfs4") << true;
        QTest::newRow("nfs") << QByteArray("nfs") << true;
        QTest::newRow("cifs") << QByteArray("cifs") << true;
        QTest::newRow("smb3") << QByteArray("smb3") << true;
        QTest::newRow("9p") << QByteArray("9p") << true;
        QTest::newRow("sshfs") << QByteArray("fuse.sshfs") << true;
        QTest::newRow("ext4") << QByteArray("ext4") << false;
        QTest::newRow("tmpfs") << QByteArray("tmpfs") << false;
        QTest::newRow("unknown") << QByteArray() << false;
    }

    void networkFileSystemIsWarnedOf() {
        QFETCH(QByteArray, type);
        QFETCH(bool, warned);
        TempWorkFolder site(2005, {}, false);
        QStringList asked;
        setFileSystemProbe([&](const QString& path) {
            asked << path;
            return type;
        });
        ScriptedUi ui;
        openMainDatabase(site.path());
        QVERIFY(state().dbMain.isOpen());
        const QString file = QDir(site.path()).absoluteFilePath("tavrel.mdb");
        QVERIFY(asked.contains(file));
        if (!warned) {
            QCOMPARE(ui.messageTexts(), QStringList{});
            return;
        }
        QCOMPARE(ui.messageTexts(),
                 QStringList{"The database " + QDir::toNativeSeparators(file) +
                             " is on a network file system (" + QString::fromLatin1(type) +
                             "). A database file is not safe to share there: programs writing "
                             "it from several computers at once can damage it. For a site where "
                             "several people work at the same time, keep the data on a "
                             "PostgreSQL server instead: tavrel --copy-to "
                             "postgresql://server/dbname moves this site there (see \"Server "
                             "sites\" in the help)."});
        QCOMPARE(ui.lastMessage().title, QStringLiteral("Database on a Network Drive"));
        QCOMPARE(ui.lastMessage().icon, MsgIcon::Warning);
        // Once: opening the same file again (File, Open Folder back to it) says nothing more.
        state().dbMain.close();
        openMainDatabase(site.path());
        QVERIFY(state().dbMain.isOpen());
        QCOMPARE(ui.messageTexts().size(), 1);
        state().dbMain.close();
    }

    // The server stopped at once while the task editor saves a task and its weeks (one
    // transaction: the weeks, then the task's row, then COMMIT), before the click or at a
    // chosen statement of the save: one message, no hang, the edits still there to save;
    // once the server is back, nothing of the failed save is stored, and the next Update
    // reconnects and saves it all.
    void serverStoppedWhileSaving_data() {
        QTest::addColumn<QString>("stopAt");
        QTest::newRow("before Update") << QString();
        QTest::newRow("at the weeks") << "INSERT INTO \"taskweeks\"";
        QTest::newRow("at the task's row") << "UPDATE \"tasks\"";
        QTest::newRow("at COMMIT") << "COMMIT";
    }
    void serverStoppedWhileSaving() {
        TAVREL_REQUIRE_SERVER();
        QFETCH(QString, stopAt);
        OwnCluster cluster;
        QVERIFY(cluster.isUp());
        ScriptedUi ui;
        TaskEditorFixture f("INSERT INTO tasks (taskid, taskname) VALUES (1, 'Pump');"
                            "INSERT INTO taskweeks (taskid, weeid) VALUES (1, 10);");
        QVERIFY(f.folder.onServer());
        f.typeAndLeave("txtTaskName", "Boiler");
        f.clickWeek(3);
        QCOMPARE(f.mode(), "edit");

        bool stopped = false;
        if (stopAt.isEmpty()) {
            QVERIFY(cluster.halt());
            stopped = true;
        } else {
            ConnectionHooks hooks;
            hooks.path = f.folder.dbPath();
            hooks.beforeStatement = [&](const QString& sql) {
                if (!stopped && sql.startsWith(stopAt, Qt::CaseInsensitive))
                    stopped = cluster.halt();
            };
            setConnectionHooks(hooks);
        }
        QVERIFY(f.click("cmdUpdate"));
        setConnectionHooks({});
        QVERIFY(stopped);
        QVERIFY2(ui.messages.size() == 1, qPrintable(ui.messageTexts().join('\n')));
        QVERIFY2(ui.messages[0].text.contains("connection to the database server") &&
                     ui.messages[0].text.contains("was lost"),
                 qPrintable(ui.messages[0].text));
        QCOMPARE(f.mode(), "edit");
        QCOMPARE(f.text("txtTaskName"), "Boiler");

        QVERIFY(cluster.resume());
        QCOMPARE(f.stored("select taskname from tasks where taskid = 1"), QVariant("Pump"));
        QCOMPARE(f.folder.texts("select weeid from taskweeks order by weeid"), QStringList{"10"});

        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(ui.messageTexts().size(), 1);
        QCOMPARE(f.mode(), "browse");
        QCOMPARE(f.stored("select taskname from tasks where taskid = 1"), QVariant("Boiler"));
        QCOMPARE(f.folder.texts("select weeid from taskweeks order by weeid"),
                 (QStringList{"3", "10"}));
    }

    // The daily backup and the backups before big operations copy a file; a server's
    // database has none to copy, and the server's own tools back it up.
    void noFileBackupsOfAServer() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QString error;
        QVERIFY2(createServerSite(server.url(), 2005, &error), qPrintable(error));
        QTemporaryDir folder;
        nameServer(folder.path(), server.url());
        ScriptedUi ui;
        state().AppPath = QDir(folder.path()).absolutePath() + '/';
        state().DbPath = server.url();
        state().dbMain = Database::open(server.url());
        QVERIFY(state().dbMain.isServer());
        DailyBackup daily;
        QVERIFY(!daily.startIfDue());
        QCOMPARE(backupBefore(QString::fromLatin1(BackupReason::BeforeGenerate)), QString());
        QVERIFY(!QFileInfo::exists(QDir(folder.path()).filePath("backups")));
        QCOMPARE(state().BackupsMissed, 0);
        QCOMPARE(ui.messageTexts(), QStringList{});
        state().dbMain.close();
    }
};

QTEST_MAIN(TestServerSite)
#include "tst_serversite.moc"
