// tavrel --backup and --restore run as a scheduled job or a user at a terminal runs them,
// and the site's settings they read from tavrel.conf.

#include "core/sitesettings.h"
#include "data/backup.h"
#include "support/headlessrun.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tavrel;
using test::digest;
using test::everything;
using test::RawDb;
using test::TempDatabase;

namespace {

constexpr int RunBoundMs = 60000;
// The clock of the runs: the backup's name carries it.
const QString Clock = QStringLiteral("2026-12-07 08:15:02");
const QString ManualName = QStringLiteral("tavrel-2026-12-07T081502-manual.mdb");
const QString BeforeRestoreName = QStringLiteral("tavrel-2026-12-07T081502-before-restore.mdb");

using Run = test::HeadlessRun;

// The program in `folder` at the fixed clock, with no display, as cron runs it.
Run runTavrel(const QString& folder, const QStringList& args) {
    test::HeadlessOptions options;
    options.clock = Clock;
    options.boundMs = RunBoundMs;
    return test::runHeadless(QStringLiteral(TAVREL_BINARY), folder, args, options);
}

// Every row of every table, and the schema.
const QString SiteRows = QStringLiteral(
    "INSERT INTO tasks (taskname, taskdesc) VALUES ('Pump', 'Check the seals'), ('Fan', NULL);"
    "INSERT INTO assign (taskid, weeid, duedate, parts) VALUES (1, 3, '2005-01-17', 12.5);"
    "INSERT INTO employees (firstname, lastname) VALUES ('Ana', 'Núñez');");

// A copy of one site, made once.
class Site : public TempDatabase {
public:
    Site()
        : TempDatabase(CopyOf{model()}) {}
    static const TempDatabase& model() {
        static const TempDatabase made(2005, SiteRows);
        return made;
    }
};

void touch(const QString& path) {
    test::writeFile(path, {});
}

} // namespace

class TestBackupCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void siteSettings();
    void backupCommand_data();
    void backupCommand();
    void backupRefused_data();
    void backupRefused();
    void setYearBacksUpFirst_data();
    void setYearBacksUpFirst();
    void restoreCommand();
    void restoreRefused_data();
    void restoreRefused();
    void restoreWithoutBeforeCopy_data();
    void restoreWithoutBeforeCopy();
    void wrongCommandLine_data();
    void wrongCommandLine();
};

// Defaults without a file, what is saved comes back, and values no one could mean read as
// the defaults.
void TestBackupCommands::siteSettings() {
    QTemporaryDir site;
    const SiteSettings none = SiteSettings::load(site.path());
    QCOMPARE(none.backupFolder, QStringLiteral("backups"));
    QCOMPARE(none.backupFolderPath(site.path()),
             QDir(site.path()).filePath(QStringLiteral("backups")));
    QCOMPARE(none.backupCounts.days, 7);
    QCOMPARE(none.backupCounts.weeks, 4);
    QCOMPARE(none.backupCounts.months, 12);
    QCOMPARE(none.backupCounts.others, 10);

    SiteSettings changed;
    changed.backupFolder = QStringLiteral("../elsewhere/copies");
    changed.backupCounts = {3, 0, 24, 5};
    QString error;
    QVERIFY(changed.save(site.path(), &error));
    const SiteSettings read = SiteSettings::load(site.path());
    QCOMPARE(read.backupFolder, changed.backupFolder);
    QCOMPARE(read.backupFolderPath(site.path()),
             QDir::cleanPath(site.path() + QStringLiteral("/../elsewhere/copies")));
    QCOMPARE(read.backupCounts.days, 3);
    QCOMPARE(read.backupCounts.weeks, 0);
    QCOMPARE(read.backupCounts.months, 24);
    QCOMPARE(read.backupCounts.others, 5);
    changed.backupFolder = QStringLiteral("/mnt/usb/plant");
    QVERIFY(changed.save(site.path(), &error));
    QCOMPARE(SiteSettings::load(site.path()).backupFolderPath(site.path()),
             QStringLiteral("/mnt/usb/plant"));

    {
        QSettings file(QDir(site.path()).filePath(QStringLiteral("tavrel.conf")),
                       QSettings::IniFormat);
        file.setValue(QStringLiteral("backups/folder"), QStringLiteral("  "));
        file.setValue(QStringLiteral("backups/days"), QStringLiteral("seven"));
        file.setValue(QStringLiteral("backups/weeks"), -1);
        file.setValue(QStringLiteral("backups/others"), 0);
    }
    const SiteSettings wrong = SiteSettings::load(site.path());
    QCOMPARE(wrong.backupFolder, QStringLiteral("backups"));
    QCOMPARE(wrong.backupCounts.days, 7);
    QCOMPARE(wrong.backupCounts.weeks, 4);
    QCOMPARE(wrong.backupCounts.months, 24);
    QCOMPARE(wrong.backupCounts.others, 10);

    // A working folder where no file can be made.
    const QString notAFolder = QDir(site.path()).filePath(QStringLiteral("tavrel.conf"));
    QVERIFY(!changed.save(notAFolder, &error));
    QVERIFY2(error.contains(QStringLiteral("could not be saved")), qPrintable(error));
}

void TestBackupCommands::backupCommand_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("conf");   // tavrel.conf's [backups] section, one key a line
    QTest::addColumn<QString>("folder"); // where the backup goes, in the site
    QTest::addColumn<int>("othersKept");
    QTest::newRow("site's folder") << QStringList{"--backup"} << ""
                                   << "backups" << 10;
    QTest::newRow("DIR") << QStringList{"--backup", "copies/today"} << ""
                         << "copies/today" << 10;
    QTest::newRow("DIR after --") << QStringList{"--backup", "--", "-odd"} << ""
                                  << "-odd" << 10;
    QTest::newRow("tavrel.conf's folder and count")
        << QStringList{"--backup"} << "folder=offsite\nothers=3"
        << "offsite" << 3;
}

// The backup's name on standard output, a copy of every table, and older copies thinned out.
void TestBackupCommands::backupCommand() {
    QFETCH(QStringList, args);
    QFETCH(QString, conf);
    QFETCH(QString, folder);
    QFETCH(int, othersKept);
    Site site;
    if (!conf.isEmpty()) {
        QFile file(site.file(QStringLiteral("tavrel.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[backups]\n" + conf.toUtf8() + "\n");
    }
    const QString dir = site.file(folder);
    QVERIFY(QDir().mkpath(dir));
    // Twelve older manual copies and daily ones of long ago.
    for (int day = 1; day <= 12; ++day)
        touch(QDir(dir).filePath(backupFileName(QDateTime(QDate(2026, 11, day), QTime(9, 0)),
                                                QStringLiteral("manual"))));
    touch(QDir(dir).filePath(QStringLiteral("tavrel-2024-01-05T080000-daily.mdb")));
    touch(QDir(dir).filePath(QStringLiteral("tavrel-2026-12-06T080000-daily.mdb")));

    const Run run = runTavrel(site.path(), args);
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString made = QDir(dir).filePath(ManualName);
    QCOMPARE(run.out, made + QLatin1Char('\n'));
    QCOMPARE(everything(made), everything(site.dbPath()));

    QStringList left;
    for (const BackupFile& b : listBackups(dir))
        left << QFileInfo(b.path).fileName();
    QStringList expected{ManualName, QStringLiteral("tavrel-2026-12-06T080000-daily.mdb")};
    for (int day = 12; day > 12 - (othersKept - 1); --day)
        expected << backupFileName(QDateTime(QDate(2026, 11, day), QTime(9, 0)),
                                   QStringLiteral("manual"));
    QCOMPARE(left, expected);
}

void TestBackupCommands::backupRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("no database") << "none"
                                 << "There is no database";
    QTest::newRow("Jet file") << "jet"
                              << "earlier program";
    QTest::newRow("damaged database") << "damaged"
                                      << "failed its check";
    QTest::newRow("DIR is a file") << "dir"
                                   << "could not be created";
}

void TestBackupCommands::backupRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, says);
    Site site;
    QStringList args{QStringLiteral("--backup")};
    if (kind == QLatin1String("none"))
        QVERIFY(QFile::remove(site.dbPath()));
    if (kind == QLatin1String("jet")) {
        QVERIFY(QFile::remove(site.dbPath()));
        QVERIFY(QFile::copy(QStringLiteral(TAVREL_JET_DATA "/nwind.mdb"), site.dbPath()));
    }
    if (kind == QLatin1String("damaged")) {
        site.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                 "WHERE i < 3000) INSERT INTO assign (compnotes) SELECT "
                                 "printf('%.200c', 'n') FROM n;"));
        QVERIFY(test::damageLeafOf(site.dbPath(), QStringLiteral("assign")));
    }
    if (kind == QLatin1String("dir")) {
        touch(site.file(QStringLiteral("afile")));
        args << QStringLiteral("afile");
    }
    const QByteArray before = QFile::exists(site.dbPath()) ? digest(site.dbPath()) : QByteArray();
    const Run run = runTavrel(site.path(), args);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.startsWith(QStringLiteral("Tavrel: ")) && run.err.contains(says),
             qPrintable(run.err));
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QVERIFY(!QFileInfo::exists(site.file(QStringLiteral("backups"))) ||
            QDir(site.file(QStringLiteral("backups"))).isEmpty());
    if (!before.isEmpty())
        QCOMPARE(digest(site.dbPath()), before);
}

void TestBackupCommands::setYearBacksUpFirst_data() {
    QTest::addColumn<bool>("folderUsable");
    QTest::newRow("backup made") << true;
    QTest::newRow("folder is a file") << false;
}

// The year is set either way; a run that had to go on without its backup says so on
// standard error and in its status, for whoever reads a scheduled job's log.
void TestBackupCommands::setYearBacksUpFirst() {
    QFETCH(bool, folderUsable);
    Site site;
    if (!folderUsable) {
        touch(site.file(QStringLiteral("afile")));
        QFile conf(site.file(QStringLiteral("tavrel.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[backups]\nfolder=afile\n");
    }
    const QString before = everything(site.dbPath());
    const Run run = runTavrel(site.path(), {QStringLiteral("--set-year"), QStringLiteral("2027"),
                                            QStringLiteral("--no-assignments")});
    QCOMPARE(RawDb(site.dbPath()).text(QStringLiteral("SELECT CurYear FROM settings")),
             QStringLiteral("2027"));
    if (folderUsable) {
        QVERIFY2(!run.err.contains(QStringLiteral("backup")), qPrintable(run.err));
        QCOMPARE(run.exitCode, 0);
        const QString copy =
            site.file(QStringLiteral("backups/tavrel-2026-12-07T081502-before-set-year.mdb"));
        QCOMPARE(everything(copy), before);
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("keeps no backups")), qPrintable(run.err));
    }
}

// The database as it was goes into a before-restore backup, then the backup comes back.
void TestBackupCommands::restoreCommand() {
    Site site;
    const BackupResult made =
        makeBackup(site.dbPath(), site.file(QStringLiteral("old")), QStringLiteral("daily"),
                   QDateTime(QDate(2026, 12, 1), QTime(7, 0)));
    QVERIFY(made.ok());
    const QString backedUp = everything(site.dbPath());
    site.exec(QStringLiteral("DELETE FROM tasks; UPDATE settings SET CurYear = 2026;"));
    const QString changed = everything(site.dbPath());

    const Run run = runTavrel(site.path(), {QStringLiteral("--restore"), made.path});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QString kept = site.file(QStringLiteral("backups/") + BeforeRestoreName);
    QCOMPARE(run.out, QStringLiteral("Restored tavrel.mdb from %1; the database as it was is kept "
                                     "in %2.\n")
                          .arg(made.path, kept));
    QCOMPARE(everything(site.dbPath()), backedUp);
    QCOMPARE(everything(kept), changed);
}

// The kinds of file inspectBackup refuses are each tried on the engine; here one that is no
// database and one that is a damaged one, on the command's path.
void TestBackupCommands::restoreRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("text file") << "text"
                               << "is not a database file";
    QTest::newRow("damaged copy") << "damaged"
                                  << "is damaged";
}

// Refused with a message naming the file, exit 1, and nothing written: not the database,
// not even a before-restore backup.
void TestBackupCommands::restoreRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, says);
    Site site;
    const QString file = site.file(QStringLiteral("offered.mdb"));
    if (kind == QLatin1String("text")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("Not a database at all.\n").repeated(40));
    } else if (kind == QLatin1String("damaged")) {
        QVERIFY(QFile::copy(site.dbPath(), file));
        const qint64 page =
            RawDb(file)
                .text(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'tasks'"))
                .toLongLong();
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek((page - 1) * 4096));
        f.write(QByteArray(4096, '\x77'));
    }
    const QByteArray before = digest(site.dbPath());
    const Run run =
        runTavrel(site.path(), {QStringLiteral("--restore"), QStringLiteral("offered.mdb")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.startsWith(QStringLiteral("Tavrel: ")) && run.err.contains(says) &&
                 run.err.contains(QStringLiteral("offered.mdb")) &&
                 run.err.contains(QStringLiteral("Nothing was restored")),
             qPrintable(run.err));
    QCOMPARE(digest(site.dbPath()), before);
    QVERIFY(!QFileInfo::exists(site.file(QStringLiteral("backups"))));
}

void TestBackupCommands::restoreWithoutBeforeCopy_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("damaged first page") << "first page" << 0;
    QTest::newRow("damaged later page") << "later page" << 0;
    QTest::newRow("backup folder not writable") << "folder" << 1;
}

// A damaged database gives no before-restore copy: the restore goes on and the damaged file
// itself is kept. A sound one whose copy cannot be written is not restored over.
void TestBackupCommands::restoreWithoutBeforeCopy() {
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    Site site;
    const BackupResult made =
        makeBackup(site.dbPath(), site.file(QStringLiteral("old")), QStringLiteral("daily"),
                   QDateTime(QDate(2026, 12, 1), QTime(7, 0)));
    QVERIFY(made.ok());
    const QString backedUp = everything(site.dbPath());
    site.exec(QStringLiteral("DELETE FROM tasks; UPDATE settings SET CurYear = 2026;"));
    if (kind == QLatin1String("folder")) {
        touch(site.file(QStringLiteral("backups")));
    } else {
        const qint64 page =
            kind == QLatin1String("first page")
                ? 1
                : RawDb(site.dbPath())
                      .text(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = "
                                           "'employees'"))
                      .toLongLong();
        QFile f(site.dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek((page - 1) * 4096 + 100));
        f.write(QByteArray(3996, '\x77'));
    }
    const QByteArray before = digest(site.dbPath());

    const Run run = runTavrel(site.path(), {QStringLiteral("--restore"), made.path});
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 1) {
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.contains(QStringLiteral("could not be created")) &&
                     run.err.contains(QStringLiteral("Nothing was restored.")),
                 qPrintable(run.err));
        QCOMPARE(digest(site.dbPath()), before);
        return;
    }
    const QString kept = site.file(QStringLiteral("tavrel-damaged-1.mdb"));
    QCOMPARE(run.err, QString());
    QCOMPARE(run.out,
             QStringLiteral("Restored tavrel.mdb from %1; the damaged database is kept in %2.\n")
                 .arg(made.path, kept));
    QCOMPARE(everything(site.dbPath()), backedUp);
    QCOMPARE(digest(kept), before);
}

void TestBackupCommands::wrongCommandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    QTest::newRow("with -m") << QStringList{"--backup", "-m"}
                             << "--backup and --restore go with no other command";
    QTest::newRow("both") << QStringList{"--restore", "x.mdb", "--backup"}
                          << "--backup and --restore go with no other command";
    QTest::newRow("no FILE") << QStringList{"--restore"} << "--restore needs a backup file";
    QTest::newRow("two DIRs") << QStringList{"--backup", "a", "b"} << "unexpected argument b";
    QTest::newRow("restore and a FOLDER")
        << QStringList{"site", "--restore", "x.mdb"} << "unexpected argument site";
}

void TestBackupCommands::wrongCommandLine() {
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const Run run = runTavrel(dir.path(), args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QStringLiteral("Tavrel: ") + says), qPrintable(run.err));
    QVERIFY(run.err.contains(QStringLiteral("tavrel --backup [DIR]")));
    QVERIFY(run.err.contains(QStringLiteral("tavrel --restore FILE")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_GUILESS_MAIN(TestBackupCommands)
#include "tst_backupcommands.moc"
