// Backups of the task database: their names, rotation over a year of days, the copy and
// its way back, files refused as backups, and copies that do not finish.

#include "data/backup.h"
#include "data/database.h"
#include "data/database_p.h"
#include "support/otherprogram.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <sys/stat.h>

using namespace tavrel;
using test::digest;
using test::everything;
using test::RawDb;
using test::TempDatabase;

namespace {

// Every table filled, with the values a copy could get wrong: nulls, long notes on overflow
// pages, text beyond ASCII, money with four decimals, a counter beyond the rows there are.
const QString SiteRows = QStringLiteral(R"SQL(
    INSERT INTO employees (firstname, lastname) VALUES ('Ana', 'Núñez'), ('Bo', NULL);
    INSERT INTO managers (manfirst, manlast) VALUES ('Cy', 'Øster');
    INSERT INTO locations (locdesc) VALUES ('Roof'), ('Boiler room');
    INSERT INTO types (typdesc) VALUES ('HVAC');
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40)
    INSERT INTO tasks (taskname, taskdesc, reqhour, locid, typid, empid, curyearonly, purchdate)
    SELECT printf('Task %02d', i), printf('%.3000c', 'd'), i * 0.25, i % 2 + 1, 1,
           CASE WHEN i % 3 THEN 1 END, i % 2, CASE WHEN i % 4 = 0 THEN '2004-05-06' END FROM n;
    INSERT INTO taskweeks (taskid, weeid) SELECT taskid, taskid % 52 + 1 FROM tasks;
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)
    INSERT INTO assign (taskid, weeid, duedate, completed, compnotes, parts, totalcost, empid)
    SELECT i % 40 + 1, i % 52 + 1, printf('2005-%02d-%02d', i % 12 + 1, i % 28 + 1), i % 2,
           printf('Note %d %.100c', i, 'n'), 12.3456, 99.99, CASE WHEN i % 5 THEN 2 END FROM n;
    UPDATE sqlite_sequence SET seq = 9000 WHERE name = 'assign';
    UPDATE settings SET CurYear = 2005;
)SQL");

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

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString integrity(const QString& path) {
    return RawDb(path).text(QStringLiteral("PRAGMA integrity_check"));
}

// The file behind a name: the same number after a restore means the file was written
// into, not replaced.
ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

BackupFile daily(const QDateTime& when,
                 const QString& reason = QLatin1String(BackupReason::Daily)) {
    return {backupFileName(when, reason), when, reason, 0};
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { setConnectionHooks({}); }
    void cleanup() { setConnectionHooks({}); }

    void names_data();
    void names();
    void listingNewestFirst();
    void rotationOverAYear_data();
    void rotationOverAYear();
    void rotationRemovesFiles();
    void backupAndRestoreEveryTable();
    void writerBetweenStepsIsNotHeldUp();
    void copyLayerReadsWhatOthersWrote();
    void refusedAsBackup_data();
    void refusedAsBackup();
    void backupFromBeforeTheDigestLog();
    void unfinishedBackupLeavesNothing_data();
    void unfinishedBackupLeavesNothing();
    void restoreOnFullDiskLeavesDatabase();
    void restoreOverDamagedDatabase_data();
    void restoreOverDamagedDatabase();
};

void TestBackup::names_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("taken"); // invalid: not a backup's name
    QTest::addColumn<QString>("reason");
    const QDateTime when(QDate(2026, 12, 6), QTime(8, 15, 2));
    QTest::newRow("daily") << "tavrel-2026-12-06T081502-daily.mdb" << when << "daily";
    QTest::newRow("before") << "tavrel-2026-12-06T081502-before-set-year.mdb" << when
                            << "before-set-year";
    QTest::newRow("midnight") << "tavrel-2027-01-01T000000-manual.mdb"
                              << QDateTime(QDate(2027, 1, 1), QTime(0, 0)) << "manual";
    QTest::newRow("being written")
        << "tavrel-2026-12-06T081502-daily.mdb.partial" << QDateTime() << "";
    QTest::newRow("second copy of a second")
        << "tavrel-2026-12-06T081502-manual.2.mdb" << when << "manual";
    QTest::newRow("twelfth copy") << "tavrel-2026-12-06T081502-daily.12.mdb" << when << "daily";
    QTest::newRow("no copy number 1")
        << "tavrel-2026-12-06T081502-daily.1.mdb" << QDateTime() << "";
    QTest::newRow("no copy number 02")
        << "tavrel-2026-12-06T081502-daily.02.mdb" << QDateTime() << "";
    QTest::newRow("no month 13") << "tavrel-2026-13-06T081502-daily.mdb" << QDateTime() << "";
    QTest::newRow("no hour 24") << "tavrel-2026-12-06T240000-daily.mdb" << QDateTime() << "";
    QTest::newRow("no reason") << "tavrel-2026-12-06T081502-.mdb" << QDateTime() << "";
    QTest::newRow("minutes only") << "tavrel-2026-12-06T0815-daily.mdb" << QDateTime() << "";
    QTest::newRow("the database") << "tavrel.mdb" << QDateTime() << "";
    QTest::newRow("repair's copy") << "tavrel-damaged-1.mdb" << QDateTime() << "";
}

void TestBackup::names() {
    QFETCH(QString, name);
    QFETCH(QDateTime, taken);
    QFETCH(QString, reason);
    const std::optional<BackupFile> file =
        backupFileFromName(QStringLiteral("/some/folder/") + name);
    QCOMPARE(file.has_value(), taken.isValid());
    if (!file)
        return;
    QCOMPARE(file->taken, taken);
    QCOMPARE(file->reason, reason);
    QCOMPARE(file->path, QStringLiteral("/some/folder/") + name);
    QCOMPARE(backupFileName(taken, reason, file->sequence), name);
}

void TestBackup::listingNewestFirst() {
    QTemporaryDir dir;
    QCOMPARE(listBackups(dir.filePath(QStringLiteral("missing"))).size(), 0);
    const QStringList names = {
        QStringLiteral("tavrel-2026-12-05T230000-daily.mdb"),
        QStringLiteral("tavrel-2026-12-06T081502-before-import.mdb"),
        QStringLiteral("tavrel-2026-11-30T120000-manual.mdb"),
        QStringLiteral("tavrel-2026-12-06T081502-daily.mdb.partial"),
        QStringLiteral("tavrel-damaged-1.mdb"),
        QStringLiteral("notes.txt"),
    };
    for (const QString& name : names) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(name.size(), 'x'));
    }
    QDir(dir.path()).mkdir(QStringLiteral("tavrel-2026-12-07T000000-daily.mdb")); // a folder
    const QList<BackupFile> list = listBackups(dir.path());
    QStringList listed;
    for (const BackupFile& b : list)
        listed << QFileInfo(b.path).fileName();
    QCOMPARE(listed, (QStringList{names[1], names[0], names[2]}));
    QCOMPARE(list.first().size, qint64(names[1].size()));
}

void TestBackup::rotationOverAYear_data() {
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("weeks");
    QTest::addColumn<int>("monthCount");
    QTest::addColumn<int>("others");
    QTest::addColumn<bool>("weekends"); // the program also runs on Saturdays and Sundays
    QTest::newRow("defaults, every day") << 7 << 4 << 12 << 10 << true;
    QTest::newRow("defaults, working days") << 7 << 4 << 12 << 10 << false;
    QTest::newRow("fewer") << 3 << 2 << 6 << 2 << true;
}

// A year and a half of days, each with the day's backup and rotation right after it, as the
// program does; every third day also a copy before some operation.
void TestBackup::rotationOverAYear() {
    QFETCH(int, days);
    QFETCH(int, weeks);
    QFETCH(int, monthCount);
    QFETCH(int, others);
    QFETCH(bool, weekends);
    const BackupCounts counts{days, weeks, monthCount, others};
    QList<BackupFile> kept;
    QList<BackupFile> allOthers;
    const QDate first(2025, 7, 1);
    const QDate last(2026, 12, 31);
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        if (!weekends && day.dayOfWeek() >= Qt::Saturday)
            continue;
        kept << daily(QDateTime(day, QTime(8, 0, day.day())));
        if (day.day() % 3 == 0) {
            kept << daily(QDateTime(day, QTime(10, 30)), QStringLiteral("before-generate"));
            allOthers << kept.last();
        }
        const QList<BackupFile> removed = backupsToRemove(kept, day, counts);
        for (const BackupFile& r : removed)
            QVERIFY(kept.removeIf([&](const BackupFile& b) { return b.path == r.path; }) == 1);
    }
    // The latest others, and nothing else of them.
    QStringList otherNames;
    for (const BackupFile& b : kept)
        if (b.reason != QLatin1String("daily"))
            otherNames << b.path;
    QStringList latestOthers;
    for (qsizetype i = allOthers.size() - others; i < allOthers.size(); ++i)
        latestOthers << allOthers[i].path;
    std::sort(otherNames.begin(), otherNames.end());
    QCOMPARE(otherNames, latestOthers);

    // The daily copies, newest first, by their age in days.
    QList<qint64> ages;
    for (const BackupFile& b : kept)
        if (b.reason == QLatin1String("daily"))
            ages << b.taken.date().daysTo(last);
    std::sort(ages.begin(), ages.end());
    // One for each of the last `days` days the program ran.
    for (qint64 age = 0; age < days; ++age)
        QCOMPARE(ages.contains(age), weekends || last.addDays(-age).dayOfWeek() < Qt::Saturday);
    // One in each week before those (a week always has working days).
    for (int week = 0; week < weeks; ++week) {
        const qint64 from = days + 7 * week;
        QCOMPARE(std::count_if(ages.begin(), ages.end(),
                               [&](qint64 a) { return a >= from && a < from + 7; }),
                 1);
    }
    // At most one in each calendar month before those, back as far as `months` calendar
    // months go, and one in nearly all of them: thinning keeps old copies, it does not just
    // keep the latest ones.
    const QDate monthsEnd = last.addDays(-days - 7 * weeks);
    QList<int> months;
    for (const BackupFile& b : kept)
        if (b.reason == QLatin1String("daily") && b.taken.date() <= monthsEnd)
            months << b.taken.date().year() * 12 + b.taken.date().month();
    const int lastMonth = monthsEnd.year() * 12 + monthsEnd.month();
    QVERIFY(std::all_of(months.begin(), months.end(), [&](int m) {
        return m > lastMonth - monthCount && m <= lastMonth && months.count(m) == 1;
    }));
    QVERIFY2(months.size() >= monthCount - 1, qPrintable(QString::number(months.size())));
    QCOMPARE(ages.size(), (weekends ? days : days - 2) + weeks + months.size());

    // Whatever the counts, the latest copy stays.
    QCOMPARE(backupsToRemove(kept, last, BackupCounts{0, 0, 0, 0}).size(), kept.size() - 1);
}

// Rotation removes the files it chose, and what copies cut short a day ago or more left
// behind; nothing else.
void TestBackup::rotationRemovesFiles() {
    QTemporaryDir dir;
    const QStringList names = {
        QStringLiteral("tavrel-2026-12-06T080000-daily.mdb"),
        QStringLiteral("tavrel-2026-12-05T080000-manual.mdb"),
        QStringLiteral("tavrel-2026-12-04T080000-manual.mdb"),
        QStringLiteral("tavrel-2026-12-03T080000-manual.mdb.partial"),
        QStringLiteral("tavrel-2026-12-03T080000-manual.mdb.partial2"),
        QStringLiteral("tavrel-2026-12-06T090000-daily.mdb.partial"),
        QStringLiteral("tavrel-damaged-1.mdb.partial"),
        QStringLiteral("notes.txt.partial"),
    };
    for (const QString& name : names) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        // Written two days ago, but for the copy being written now.
        if (name != names[5])
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                  QFileDevice::FileModificationTime));
    }
    QStringList removed;
    QCOMPARE(rotateBackups(dir.path(), QDate(2026, 12, 6), BackupCounts{7, 4, 12, 1}, &removed),
             QStringList());
    std::sort(removed.begin(), removed.end());
    QCOMPARE(removed,
             (QStringList{dir.filePath(names[3]), dir.filePath(names[4]), dir.filePath(names[2])}));
    QCOMPARE(filesIn(dir.path()), (QStringList{names[7], names[1], names[0], names[5], names[6]}));
}

void TestBackup::backupAndRestoreEveryTable() {
    Site site;
    QFile::setPermissions(site.dbPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QString original = everything(site.dbPath());
    const QString folder = site.file(QStringLiteral("backups"));
    const QDateTime when(QDate(2026, 12, 6), QTime(8, 15, 2));
    QList<int> done;
    int total = 0;
    const BackupResult made =
        makeBackup(site.dbPath(), folder, QStringLiteral("manual"), when, [&](int d, int t) {
            done << d;
            total = t;
            return true;
        });
    QVERIFY2(made.ok(), qPrintable(made.error));
    QCOMPARE(made.error, QString());
    QCOMPARE(made.path,
             QDir(folder).filePath(QStringLiteral("tavrel-2026-12-06T081502-manual.mdb")));
    QCOMPARE(filesIn(folder), QStringList{QFileInfo(made.path).fileName()});
    QVERIFY(!done.isEmpty());
    QCOMPARE(done.last(), total);
    QVERIFY(std::is_sorted(done.begin(), done.end()));
    QCOMPARE(everything(made.path), original);
    QCOMPARE(QFileInfo(made.path).permissions(), QFileInfo(site.dbPath()).permissions());
    const BackupContents contents = inspectBackup(made.path);
    QCOMPARE(contents.error, QString());
    QCOMPARE(contents.tasks, 40);
    QCOMPARE(contents.assignments, 2000);
    // The same second and reason again: the first copy is not written over, the second is
    // listed as the newer one.
    const BackupResult again = makeBackup(site.dbPath(), folder, QStringLiteral("manual"), when);
    QVERIFY2(again.ok(), qPrintable(again.error));
    QVERIFY(again.path.endsWith(QLatin1String("-manual.2.mdb")));
    QCOMPARE(filesIn(folder).size(), 2);
    QCOMPARE(listBackups(folder).first().path, again.path);
    QCOMPARE(everything(made.path), original);
    QFile::remove(again.path);

    // Changes of every kind after the backup, then the way back.
    site.exec(QStringLiteral("DELETE FROM tasks WHERE taskid > 10; DELETE FROM employees;"
                             "UPDATE assign SET completed = 1, parts = 0; INSERT INTO types "
                             "(typdesc) VALUES ('New'); UPDATE settings SET CurYear = 2026;"
                             "CREATE TABLE extra (x); VACUUM;"));
    QVERIFY(everything(site.dbPath()) != original);
    QFile::setPermissions(made.path, QFile::ReadOwner);
    QFile::setPermissions(site.dbPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QFile::Permissions permissions = QFileInfo(site.dbPath()).permissions();
    const ino_t file = inode(site.dbPath());
    QString keptDamaged = QStringLiteral("left from before");
    QCOMPARE(restoreBackup(site.dbPath(), made.path, &keptDamaged), QString());
    QCOMPARE(keptDamaged, QString());
    QCOMPARE(everything(site.dbPath()), original);
    QCOMPARE(integrity(site.dbPath()), QStringLiteral("ok"));
    // Written into, not replaced: the same file, with its own permissions.
    QCOMPARE(QFileInfo(site.dbPath()).permissions(), permissions);
    QCOMPARE(inode(site.dbPath()), file);
    // A database that is gone comes back from its backup.
    QVERIFY(QFile::remove(site.dbPath()));
    QCOMPARE(restoreBackup(site.dbPath(), made.path), QString());
    QCOMPARE(everything(site.dbPath()), original);
}

// Between two steps another program saves: it is not held up, and the copy, started afresh,
// holds what it saved.
void TestBackup::writerBetweenStepsIsNotHeldUp() {
    Site site;
    // Enough pages for several steps.
    site.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < 30000) INSERT INTO assign (taskid, compnotes) SELECT 1, "
                             "printf('%.400c', 'w') FROM n;"));
    test::OtherProgram other(site.dbPath());
    int steps = 0;
    int writeResult = -1;
    bool midway = false;
    const BackupResult made =
        makeBackup(site.dbPath(), site.file(QStringLiteral("b")), QStringLiteral("daily"),
                   QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), [&](int done, int total) {
                       if (++steps == 2) {
                           midway = done < total;
                           writeResult =
                               other.exec("INSERT INTO types (typdesc) VALUES ('Saved meanwhile')");
                       }
                       return true;
                   });
    QVERIFY2(made.ok(), qPrintable(made.error));
    QVERIFY(midway);
    QCOMPARE(writeResult, SQLITE_OK);
    QCOMPARE(RawDb(made.path).text(QStringLiteral("SELECT count(*) FROM types WHERE typdesc = "
                                                  "'Saved meanwhile'")),
             QStringLiteral("1"));
    QCOMPARE(everything(made.path), everything(site.dbPath()));
    // A copy larger than its cache is written in pieces, its first page last: each page
    // went to its own place, and the file is its pages and nothing more.
    const RawDb copy(made.path);
    QCOMPARE(QFileInfo(made.path).size(),
             copy.text(QStringLiteral("PRAGMA page_count")).toLongLong() *
                 copy.text(QStringLiteral("PRAGMA page_size")).toLongLong());
}

// The copy's file layer keeps what it read ahead only while its lock lasts: a read after
// another program's commit, through the same connection, finds the commit, not the blocks
// it read before (here the file's first pages, which hold its list of tables and the types).
void TestBackup::copyLayerReadsWhatOthersWrote() {
    Site site;
    sqlite3* reader = nullptr;
    QCOMPARE(detail::openConnection(site.dbPath(), SQLITE_OPEN_READONLY, &reader,
                                    detail::copyFileLayer()),
             SQLITE_OK);
    const auto types = [reader] {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(reader, "SELECT count(*) FROM types", -1, &stmt, nullptr);
        const int n = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        return n;
    };
    const int before = types();
    QVERIFY(before >= 0);
    test::OtherProgram other(site.dbPath());
    QCOMPARE(other.exec("INSERT INTO types (typdesc) VALUES ('Written meanwhile')"), SQLITE_OK);
    QCOMPARE(types(), before + 1);
    sqlite3_close_v2(reader);
}

void TestBackup::refusedAsBackup_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("text file") << "text"
                               << "is not a database file";
    QTest::newRow("Jet 3 file") << "nwind.mdb"
                                << "earlier program (a Jet file)";
    QTest::newRow("Jet 4 file") << "DateTestDatabase.mdb"
                                << "earlier program (a Jet file)";
    QTest::newRow("damaged page") << "damaged"
                                  << "is damaged";
    QTest::newRow("cut off") << "cut"
                             << "is cut off";
    QTest::newRow("empty") << "empty"
                           << "is empty";
    QTest::newRow("another program's database") << "foreign"
                                                << "has no table";
    QTest::newRow("missing") << "missing"
                             << "does not exist";
    QTest::newRow("folder") << "folder"
                            << "is not a database file";
}

// Each is refused by name, with what is wrong with it, and restoring it touches nothing.
void TestBackup::refusedAsBackup() {
    QFETCH(QString, kind);
    QFETCH(QString, says);
    Site site;
    const QString file = site.file(QStringLiteral("offered.mdb"));
    if (kind == QLatin1String("text")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Tasks,Weeks\r\nPump,1\r\n" + QByteArray(5000, 'x'));
    } else if (kind.endsWith(QLatin1String(".mdb"))) {
        QVERIFY(QFile::copy(QStringLiteral(TAVREL_JET_DATA "/") + kind, file));
    } else if (kind == QLatin1String("damaged") || kind == QLatin1String("cut")) {
        QVERIFY(makeBackup(site.dbPath(), site.path(), QStringLiteral("manual"),
                           QDateTime(QDate(2026, 1, 1), QTime(1, 1, 1)))
                    .ok());
        QVERIFY(
            QFile::rename(site.file(QStringLiteral("tavrel-2026-01-01T010101-manual.mdb")), file));
        if (kind == QLatin1String("damaged"))
            QVERIFY(test::damageLeafOf(file, QStringLiteral("assign")));
        else
            QVERIFY(QFile::resize(file, QFileInfo(file).size() * 2 / 3));
    } else if (kind == QLatin1String("empty")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(file));
    } else if (kind == QLatin1String("foreign")) {
        QVERIFY(RawDb(file, true)
                    .exec(QStringLiteral("CREATE TABLE tasks (x); CREATE TABLE "
                                         "assign (y); INSERT INTO tasks VALUES (1);")));
    }
    const BackupContents contents = inspectBackup(file);
    QVERIFY2(contents.error.contains(says), qPrintable(contents.error));
    QVERIFY2(contents.error.contains(QDir::toNativeSeparators(file)), qPrintable(contents.error));

    const QByteArray before = digest(site.dbPath());
    const QString error = restoreBackup(site.dbPath(), file);
    QVERIFY2(error.contains(says), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("Nothing was restored")));
    QCOMPARE(digest(site.dbPath()), before);
}

// A backup made before the upgrade that adds the digests' sent-log is still a complete
// database: it is restored, and the next start adds the log again.
void TestBackup::backupFromBeforeTheDigestLog() {
    Site site;
    const QString file = site.file(QStringLiteral("older.mdb"));
    QVERIFY(QFile::copy(site.dbPath(), file));
    QVERIFY(RawDb(file, true)
                .exec(QStringLiteral("DROP TABLE digestsent; ALTER TABLE employees DROP COLUMN "
                                     "email; ALTER TABLE managers DROP COLUMN email;")));
    QCOMPARE(inspectBackup(file).error, QString());
    QCOMPARE(restoreBackup(site.dbPath(), file), QString());
    QCOMPARE(RawDb(site.dbPath())
                 .text(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                      "'digestsent'")),
             QStringLiteral("0"));
    // Without one of the tables every version has, it is refused as before.
    QVERIFY(RawDb(file, true).exec(QStringLiteral("DROP TABLE types")));
    QVERIFY(inspectBackup(file).error.contains(QStringLiteral("has no table types")));
}

void TestBackup::unfinishedBackupLeavesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::newRow("stopped") << "stopped"
                             << "was stopped";
    QTest::newRow("disk full") << "full"
                               << "the disk is full";
    QTest::newRow("damaged database") << "damaged"
                                      << "failed its check";
    QTest::newRow("Jet file") << "jet"
                              << "earlier program";
}

// However a copy ends early, neither a backup nor a half-written file stays behind, the
// user gets one message, and the database is as it was.
void TestBackup::unfinishedBackupLeavesNothing() {
    QFETCH(QString, how);
    QFETCH(QString, says);
    Site site;
    if (how == QLatin1String("damaged"))
        QVERIFY(test::damageLeafOf(site.dbPath(), QStringLiteral("assign")));
    if (how == QLatin1String("jet")) {
        QVERIFY(QFile::remove(site.dbPath()));
        QVERIFY(QFile::copy(QStringLiteral(TAVREL_JET_DATA "/nwind.mdb"), site.dbPath()));
    }
    if (how == QLatin1String("full")) {
        ConnectionHooks hooks;
        hooks.path = site.dbPath();
        hooks.backupMaxPageCount = 20;
        setConnectionHooks(hooks);
    }
    const QByteArray before = digest(site.dbPath());
    const QString folder = site.file(QStringLiteral("backups"));
    int calls = 0;
    const BackupResult made =
        makeBackup(site.dbPath(), folder, QStringLiteral("daily"),
                   QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)),
                   [&](int, int) { return how != QLatin1String("stopped") || ++calls < 1; });
    QVERIFY(!made.ok());
    QCOMPARE(made.path, QString());
    QCOMPARE(made.stopped, how == QLatin1String("stopped"));
    QVERIFY2(made.error.contains(says), qPrintable(made.error));
    QVERIFY(!made.error.contains(QLatin1Char('\n')));
    QCOMPARE(filesIn(folder), QStringList());
    QCOMPARE(digest(site.dbPath()), before);
}

// A restore that runs out of disk half-way leaves the database as it was, whole.
void TestBackup::restoreOnFullDiskLeavesDatabase() {
    Site site;
    const BackupResult made = makeBackup(site.dbPath(), site.path(), QStringLiteral("manual"),
                                         QDateTime(QDate(2026, 1, 1), QTime(1, 1, 1)));
    QVERIFY(made.ok());
    site.exec(QStringLiteral("DELETE FROM assign WHERE assid > 100; VACUUM;"));
    const QString smaller = everything(site.dbPath());
    ConnectionHooks hooks;
    hooks.path = site.dbPath();
    hooks.maxPageCount = 1; // no room beyond the file's present size
    setConnectionHooks(hooks);
    const QString error = restoreBackup(site.dbPath(), made.path);
    QVERIFY2(error.contains(QStringLiteral("the disk is full")), qPrintable(error));
    QVERIFY(error.contains(QStringLiteral("The database is unchanged")));
    setConnectionHooks({});
    QCOMPARE(integrity(site.dbPath()), QStringLiteral("ok"));
    QCOMPARE(everything(site.dbPath()), smaller);
    QVERIFY(!QFile::exists(site.dbPath() + QStringLiteral("-journal")));
}

void TestBackup::restoreOverDamagedDatabase_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("header") << "header";
    QTest::newRow("first page") << "first page";
    QTest::newRow("later page") << "later page";
    QTest::newRow("cut off") << "cut off";
}

// A damaged database is kept beside the restored one, as it was, and the backup takes its
// place with its permissions.
void TestBackup::restoreOverDamagedDatabase() {
    QFETCH(QString, damage);
    Site site;
    const BackupResult made =
        makeBackup(site.dbPath(), site.file(QStringLiteral("backups")), QStringLiteral("manual"),
                   QDateTime(QDate(2026, 1, 1), QTime(1, 1, 1)));
    QVERIFY(made.ok());
    const QString original = everything(site.dbPath());
    site.exec(QStringLiteral("DELETE FROM employees; UPDATE settings SET CurYear = 2026;"));
    if (damage == QLatin1String("later page")) {
        QVERIFY(test::damageLeafOf(site.dbPath(), QStringLiteral("assign")));
    } else if (damage == QLatin1String("cut off")) {
        QVERIFY(QFile::resize(site.dbPath(), QFileInfo(site.dbPath()).size() / 2));
    } else {
        QFile f(site.dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(damage == QLatin1String("header") ? 0 : 100));
        f.write(QByteArray(damage == QLatin1String("header") ? 100 : 1000, '\x5a'));
    }
    QVERIFY(QFile::setPermissions(site.dbPath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QFile::Permissions permissions = QFileInfo(site.dbPath()).permissions();
    const QByteArray damaged = digest(site.dbPath());
    // What a restore cut short two days ago left behind goes with this one.
    const QString left = site.dbPath() + QStringLiteral(".restore-new");
    QVERIFY(test::writeFile(left, "half a database"));
    QFile leftFile(left);
    QVERIFY(leftFile.open(QIODevice::ReadWrite));
    QVERIFY(leftFile.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                 QFileDevice::FileModificationTime));
    leftFile.close();

    QString kept;
    QCOMPARE(restoreBackup(site.dbPath(), made.path, &kept), QString());
    QCOMPARE(integrity(site.dbPath()), QStringLiteral("ok"));
    QCOMPARE(everything(site.dbPath()), original);
    QCOMPARE(QFileInfo(site.dbPath()).permissions(), permissions);
    QCOMPARE(kept, site.file(QStringLiteral("tavrel-damaged-1.mdb")));
    QCOMPARE(digest(kept), damaged);
    QCOMPARE(QFileInfo(kept).permissions(), permissions);
    // Nothing else is left beside them.
    QCOMPARE(filesIn(site.path()),
             (QStringList{QStringLiteral("tavrel-damaged-1.mdb"), QStringLiteral("tavrel.mdb")}));
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
