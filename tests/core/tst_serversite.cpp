// Start-up of a site on a PostgreSQL server when the server cannot serve it, the warning
// about a database file on a network file system, and backups left to the server.

#include "core/backups.h"
#include "core/frmfolder.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/workfolder.h"
#include "data/sitecopy.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/testserver.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
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
