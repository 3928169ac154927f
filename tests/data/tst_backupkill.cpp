// A backup and a restore killed at each point of their work: the database stays whole
// (integrity_check), and no file that carries a backup's name is less than a complete,
// checked copy. The test runs itself as the child that is killed: the child stops itself
// with SIGKILL, which nothing can catch, at the point the test names.

#include "data/backup.h"
#include "data/database.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>

#include <sys/types.h>
#include <unistd.h>

using namespace tavrel;
using test::RawDb;

namespace {

const QDateTime Taken(QDate(2026, 12, 7), QTime(8, 15, 2));

// The child: `backup DATABASE FOLDER` or `restore DATABASE BACKUP`, killed at the `count`th
// time it reaches `point`. Ends normally (exit 3) only when it never got there.
int child(char* argv[]) {
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const QString database = QString::fromLocal8Bit(argv[3]);
    const QString other = QString::fromLocal8Bit(argv[4]);
    const QByteArray point = argv[5];
    const int count = std::atoi(argv[6]);
    ConnectionHooks hooks;
    hooks.path = database;
    int reached = 0;
    hooks.copyPoint = [&](const char* at) {
        if (point == at && ++reached == count)
            ::kill(::getpid(), SIGKILL);
    };
    setConnectionHooks(hooks);
    if (mode == QLatin1String("backup"))
        makeBackup(database, other, QStringLiteral("daily"), Taken);
    else
        restoreBackup(database, other);
    return 3;
}

// A task database of small pages, so that a copy of a few MiB takes many steps, and larger
// than a restore's cache, so that a restore writes into the file before it ends.
void makeSite(const QString& path, const QString& note) {
    QFile schema(QStringLiteral(":/sql/tavrel_schema.sql"));
    QVERIFY(schema.open(QIODevice::ReadOnly));
    RawDb db(path, true);
    // Set-up need not last through a power cut: no sync at every statement.
    QVERIFY(db.exec(QStringLiteral("PRAGMA page_size = 512; PRAGMA synchronous = OFF; BEGIN;") +
                    QString::fromUtf8(schema.readAll())));
    QVERIFY(db.exec(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                       "30000) INSERT INTO assign (taskid, duedate, compnotes) SELECT i % 50, "
                       "'2005-03-07', printf('%1 %d %.150c', i, 'x') FROM n;"
                       "INSERT INTO tasks (taskname) VALUES ('%1');"
                       "INSERT INTO settings (CurYear) VALUES (2005); COMMIT;")
            .arg(note)));
}

QString contents(const QString& path) {
    // A connection that may write: it rolls back what a killed restore left in the journal.
    RawDb db(path, true);
    return db.rows(QStringLiteral("SELECT taskname FROM tasks")).join(QLatin1Char(',')) +
           db.text(QStringLiteral("SELECT count(*) || ' ' || max(compnotes) FROM assign"));
}

// Runs the child and tells whether it was killed where it was told.
bool killedAt(const QString& mode, const QString& database, const QString& other,
              const QString& point, int count) {
    QProcess process;
    process.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--child"), mode, database, other, point, QString::number(count)});
    if (!process.waitForFinished(120000))
        process.kill();
    return process.exitStatus() == QProcess::CrashExit;
}

// The steps a copy of this database takes, counted by a copy made here.
int stepsOf(const QString& database) {
    int steps = 0;
    ConnectionHooks hooks;
    hooks.path = database;
    hooks.copyPoint = [&](const char* at) { steps += std::strcmp(at, "step") == 0; };
    setConnectionHooks(hooks);
    QTemporaryDir scratch;
    makeBackup(database, scratch.path(), QStringLiteral("manual"), Taken);
    setConnectionHooks({});
    return steps;
}

} // namespace

class TestBackupKill : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void backupKilled_data();
    void backupKilled();
    void restoreKilled_data();
    void restoreKilled();
};

void TestBackupKill::backupKilled_data() {
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("count"); // 0: the last step
    QTest::newRow("first step") << "step" << 1;
    QTest::newRow("third step") << "step" << 3;
    QTest::newRow("last step") << "step" << 0;
    QTest::newRow("copied") << "copied" << 1;
    QTest::newRow("checked") << "checked" << 1;
    QTest::newRow("synced") << "synced" << 1;
    QTest::newRow("renamed") << "renamed" << 1;
}

void TestBackupKill::backupKilled() {
    QFETCH(QString, point);
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("tavrel.mdb"));
    makeSite(database, QStringLiteral("site"));
    const QString before = contents(database);
    const int steps = stepsOf(database);
    QVERIFY2(steps >= 4, qPrintable(QString::number(steps)));
    const QString folder = dir.filePath(QStringLiteral("backups"));

    QVERIFY(killedAt(QStringLiteral("backup"), database, folder, point, count ? count : steps));

    QCOMPARE(RawDb(database).text(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    QCOMPARE(contents(database), before);
    // A file under a backup's name is only ever a whole copy; before the rename there is none.
    const QList<BackupFile> named = listBackups(folder);
    QCOMPARE(named.size(), point == QLatin1String("renamed") ? 1 : 0);
    for (const BackupFile& b : named) {
        QCOMPARE(inspectBackup(b.path).error, QString());
        QCOMPARE(contents(b.path), before);
    }
    // What the killed copy left behind does not stand in the way of the next one.
    const BackupResult next =
        makeBackup(database, folder, QStringLiteral("daily"), Taken.addSecs(1));
    QVERIFY2(next.ok(), qPrintable(next.error));
}

void TestBackupKill::restoreKilled_data() {
    QTest::addColumn<bool>("damaged"); // the database a restore replaces
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("count"); // 0: the last step
    QTest::newRow("first step") << false << "step" << 1;
    QTest::newRow("second step") << false << "step" << 2;
    QTest::newRow("last but one step") << false << "step" << -1;
    QTest::newRow("last step") << false << "step" << 0;
    QTest::newRow("damaged, first step") << true << "step" << 1;
    QTest::newRow("damaged, last step") << true << "step" << 0;
    QTest::newRow("damaged, kept aside") << true << "kept" << 1;
}

// Killed before its last step a restore leaves the database as it was; after it, as the
// backup was. Never anything in between, and never no database at all: a damaged one is
// kept aside while it still has its name.
void TestBackupKill::restoreKilled() {
    QFETCH(bool, damaged);
    QFETCH(QString, point);
    QFETCH(int, count);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("tavrel.mdb"));
    const QString backup = dir.filePath(QStringLiteral("backup.mdb"));
    makeSite(database, QStringLiteral("now"));
    makeSite(backup, QStringLiteral("then"));
    const QString now = contents(database);
    const QString then = contents(backup);
    QVERIFY(now != then);
    const int steps = stepsOf(backup);
    QVERIFY(steps >= 4);
    if (damaged)
        QVERIFY(QFile::resize(database, QFileInfo(database).size() / 2));
    const QByteArray damagedFile = damaged ? test::readFile(database) : QByteArray();

    const int at = count > 0 ? count : steps + count;
    QVERIFY(killedAt(QStringLiteral("restore"), database, backup, point, at));

    QCOMPARE(contents(backup), then);
    if (damaged) {
        // A restore over a damaged file writes a new one beside it; the damaged one keeps
        // its name until the new one takes it.
        QVERIFY(QFileInfo::exists(database));
        QCOMPARE(test::readFile(database), damagedFile);
        if (point == QLatin1String("kept"))
            QCOMPARE(test::readFile(dir.filePath(QStringLiteral("tavrel-damaged-1.mdb"))),
                     damagedFile);
        return;
    }
    QCOMPARE(contents(database), at < steps ? now : then);
    QCOMPARE(RawDb(database).text(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

int main(int argc, char* argv[]) {
    if (argc == 7 && std::strcmp(argv[1], "--child") == 0)
        return child(argv);
    QCoreApplication app(argc, argv);
    TestBackupKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backupkill.moc"
