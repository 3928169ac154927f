// Repair of damaged database files: what survives damage to each page of a table's tree,
// what must never come back, where rows of uncertain tables go, and the files it writes.

#include "data/database.h"
#include "data/errortrap.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace tavrel;

namespace {

// Small pages give a small file trees of several levels: a root, interior pages, many
// leaves, index pages and overflow chains.
constexpr int PageSize = 512;

// Keys far apart make interior pages of few children, so that a small file has trees of
// three levels.
constexpr qint64 KeyStep = qint64(1) << 55;
// Keys of rows that were deleted before the damage: their pages are on the freelist.
constexpr qint64 FirstDeletedKey = qint64(1) << 62;
constexpr int DeletedRows = 40;

using test::RawDb;
using test::RawRows;

QString schemaText() {
    QFile f(QStringLiteral(":/sql/tavrel_schema.sql"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A task database of small pages: tasks (some with descriptions long enough to overflow),
// assignments, and a freelist holding the pages of deleted tasks and assignments.
bool makeSite(const QString& path) {
    RawDb db(path, true);
    const QString fill = QStringLiteral(R"SQL(
        WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 90)
        INSERT INTO tasks (taskid, taskname, taskdesc, reqhour, locid, typid, curyearonly, purchdate)
        SELECT i * @step, printf('Task %04d %s', (i * 37) % 90, substr('pump fan belt boiler', i % 9)),
               CASE WHEN i % 30 = 0 THEN printf('%.1200c', 'd') ELSE printf('Check %d %.100c', i, 'x') END,
               (i % 5) * 0.5, i % 7 + 1, CASE WHEN i % 3 THEN i % 4 + 1 END, i % 2,
               CASE WHEN i % 4 = 0 THEN printf('2004-%02d-01', i % 12 + 1) END FROM n;
        WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 90)
        INSERT INTO assign (assid, taskid, weeid, duedate, completed, compnotes, parts, locid)
        SELECT i * @step, (i % 90 + 1) * @step, i % 52 + 1,
               printf('2005-%02d-%02d', i % 12 + 1, i % 28 + 1), i % 2, printf('Note %d %.110c', i, 'n'),
               (i % 9) * 1.25, i % 7 + 1 FROM n;
        INSERT INTO taskweeks (taskid, weeid) SELECT taskid, weeid FROM assign LIMIT 60;
        INSERT INTO locations (locdesc) VALUES ('Basement'), ('Roof'), ('Hall'), ('Yard'),
            ('Kitchen'), ('Garage'), ('Office');
        INSERT INTO types (typdesc) VALUES ('Electrical'), ('Plumbing'), ('HVAC'), ('Grounds');
        INSERT INTO settings (CurYear) VALUES (2005);
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < @deleted - 1)
        INSERT INTO tasks (taskid, taskname, taskdesc) SELECT @first + i, printf('Gone %d', i),
            printf('Deleted task %d', i) FROM n;
        WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < @deleted - 1)
        INSERT INTO assign (assid, taskid, weeid, duedate, compnotes) SELECT @first + i, 1, 1,
            '2005-01-03', printf('Deleted assignment %d', i) FROM n;
        DELETE FROM tasks WHERE taskid >= @first;
        DELETE FROM assign WHERE assid >= @first;
    )SQL")
                             .replace(QStringLiteral("@step"), QString::number(KeyStep))
                             .replace(QStringLiteral("@first"), QString::number(FirstDeletedKey))
                             .replace(QStringLiteral("@deleted"), QString::number(DeletedRows));
    return db.exec(QStringLiteral("PRAGMA page_size = %1; PRAGMA auto_vacuum = NONE; "
                                  "PRAGMA secure_delete = OFF;")
                       .arg(PageSize)) &&
           db.exec(schemaText()) && db.exec(fill) &&
           db.text(QStringLiteral("PRAGMA freelist_count")).toInt() > 0;
}

// Pages of a table and its indexes, in the tree's order: (page number, "leaf" or
// "internal", the table's or the index's name). The first is the table's root.
struct TreePage {
    qint64 number;
    QString type;
    QString object;
};

QList<TreePage> treePages(const QString& path, const QString& table) {
    QList<TreePage> pages;
    for (const QString& r :
         RawDb(path).rows(QStringLiteral("SELECT pageno, pagetype, name FROM dbstat WHERE name IN "
                                         "(SELECT name FROM sqlite_master WHERE tbl_name = '%1') "
                                         "AND pagetype IN ('internal', 'leaf') "
                                         "ORDER BY name <> '%1', name, path")
                              .arg(table))) {
        const QStringList parts = r.split(u'|');
        pages.append({parts[0].mid(2).toLongLong(), parts[1].mid(2), parts[2].mid(2)});
    }
    return pages;
}

// Damage of one page, after a fixed pseudo-random choice of the variant: garbage over the
// whole page, over all but its header (cell pointers point anywhere), or over the second
// half only (the pointers are good and the cells, keys included, are garbage).
void damagePage(const QString& path, qint64 page, int variant) {
    QRandomGenerator random(quint32(variant * 7919 + page));
    const int from = variant == 0 ? 0 : variant == 1 ? 8 : PageSize / 2;
    QByteArray garbage(PageSize - from, Qt::Uninitialized);
    for (char& c : garbage)
        c = char(random.bounded(256));
    QFile f(path);
    if (f.open(QIODevice::ReadWrite) && f.seek((page - 1) * PageSize + from))
        f.write(garbage);
}

// A damaged file and what a repair must keep of it.
QString prepared(const QTemporaryDir& dir, const QString& site) {
    const QString path = dir.filePath(QStringLiteral("tavrel.mdb"));
    QFile::remove(path);
    QFile::copy(site, path);
    return path;
}

} // namespace

class TestRepair : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyDamagedPageLosesOnlyItsRows_data();
    void everyDamagedPageLosesOnlyItsRows();
    void rowsOfUncertainTablesAreKeptApart();
    void repairedFilesKeepTheirAccess_data();
    void repairedFilesKeepTheirAccess();
    void damagedCopyNeverGoesThroughALink();

private:
    QTemporaryDir sites_;
    QString site_;
};

void TestRepair::initTestCase() {
    test::useTestLocale();
    site_ = sites_.filePath(QStringLiteral("site.mdb"));
    QVERIFY(makeSite(site_));
}

void TestRepair::everyDamagedPageLosesOnlyItsRows_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("variant");
    for (const char* table : {"tasks", "assign"})
        for (int variant = 0; variant < 3; ++variant)
            QTest::addRow("%s, variant %d", table, variant)
                << QString::fromLatin1(table) << variant;
}

void TestRepair::everyDamagedPageLosesOnlyItsRows() {
    QFETCH(QString, table);
    QFETCH(int, variant);
    const QList<TreePage> pages = treePages(site_, table);
    // The tree has the shape the test is about: interior pages below the root, many
    // leaves, and index pages.
    QVERIFY(pages.size() > 40);
    QCOMPARE(pages.first().type, QStringLiteral("internal"));
    QVERIFY(std::count_if(pages.begin(), pages.end(), [&](const TreePage& p) {
                return p.object == table && p.type == QLatin1String("internal");
            }) > 1);
    QVERIFY(std::any_of(pages.begin(), pages.end(),
                        [&](const TreePage& p) { return p.object != table; }));

    const RawDb original(site_);
    const RawRows all = original.table(table);
    const QList<qint64> keys = all.keys();
    const QString weeks = original.text(QStringLiteral("SELECT count(*) FROM taskweeks"));
    QTemporaryDir dir;
    for (const TreePage& page : pages) {
        const QString where =
            QStringLiteral("%1 page %2 of %3").arg(page.type).arg(page.number).arg(page.object);
        const QString path = prepared(dir, site_);
        damagePage(path, page.number, variant);
        // What must survive: every row that still reads by key as it was; where no leaf of
        // the table was damaged, that is every row.
        const bool leafOfTable = page.object == table && page.type == QLatin1String("leaf");
        RawRows expected = all;
        if (leafOfTable) {
            const RawRows readable = RawDb(path).rowsByKey(table, keys);
            expected.removeIf(
                [&](const auto& row) { return readable.value(row.key()) != row.value(); });
        }

        QVERIFY2(!Database::repair(path, 2005).isEmpty(), qPrintable(where));

        const RawDb repaired(path);
        const RawRows kept = repaired.table(table);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(
                kept.value(it.key()) == it.value(),
                qPrintable(QStringLiteral("%1: row %2 lost or changed").arg(where).arg(it.key())));
        if (!leafOfTable)
            QVERIFY2(kept.size() == all.size(), qPrintable(where));
        // Deleted rows stay deleted.
        for (int i = 0; i < DeletedRows; ++i)
            QVERIFY2(!kept.contains(FirstDeletedKey + i),
                     qPrintable(QStringLiteral("%1: deleted row %2 came back").arg(where).arg(i)));
        QCOMPARE(repaired.text(QStringLiteral("SELECT count(*) FROM taskweeks")), weeks);
        QCOMPARE(repaired.text(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    }
}

void TestRepair::rowsOfUncertainTablesAreKeptApart() {
    // Locations and types have rows of one shape: a location page found without its tree
    // could as well be a page of types. Such rows go to a file of their own, never into a
    // table by guess.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tavrel.mdb"));
    {
        RawDb db(path, true);
        QVERIFY(db.exec(QStringLiteral("PRAGMA page_size = %1;").arg(PageSize)));
        QVERIFY(db.exec(schemaText()));
        QVERIFY(db.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
            "INSERT INTO locations (locid, locdesc) SELECT i, printf('Building %d, room %03d', "
            "i % 7, i) FROM n; "
            "INSERT INTO types (typid, typdesc) VALUES (1, 'Electrical'), (2, 'Plumbing'); "
            "INSERT INTO settings (CurYear) VALUES (2005);")));
    }
    const QStringList locations =
        RawDb(path).rows(QStringLiteral("SELECT locid, locdesc FROM locations ORDER BY locid"));
    const QList<TreePage> pages = treePages(path, QStringLiteral("locations"));
    QVERIFY(pages.size() > 3);
    QCOMPARE(pages.first().type, QStringLiteral("internal"));
    damagePage(path, pages.first().number, 0);

    QString unplaced;
    const QString kept = Database::repair(path, 2005, &unplaced);
    QVERIFY(!kept.isEmpty());
    QCOMPARE(unplaced, dir.filePath(QStringLiteral("tavrel-damaged-1-unplaced.mdb")));

    const RawDb repaired(path);
    QCOMPARE(repaired.text(QStringLiteral("SELECT count(*) FROM locations")), QStringLiteral("0"));
    QCOMPARE(repaired.rows(QStringLiteral("SELECT typid, typdesc FROM types ORDER BY typid")),
             (QStringList{QStringLiteral("1:1|3:Electrical"), QStringLiteral("1:2|3:Plumbing")}));
    // The types that still read by key are not among the uncertain rows; every location is.
    const RawDb apart(unplaced);
    QCOMPARE(apart.rows(QStringLiteral("SELECT \"locid or typid\", \"locdesc or typdesc\" FROM "
                                       "\"locations or types\" ORDER BY 1")),
             locations);
    QCOMPARE(apart.text(QStringLiteral("SELECT count(*) FROM sqlite_master")), QStringLiteral("1"));
}

void TestRepair::repairedFilesKeepTheirAccess_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("0600") << 0600;
    QTest::newRow("0640") << 0640;
}

void TestRepair::repairedFilesKeepTheirAccess() {
#ifdef Q_OS_UNIX
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = prepared(dir, site_);
    damagePage(path, treePages(path, QStringLiteral("tasks")).first().number, 0);
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
    // Another owner and group where this test may give them away (it runs as root in the
    // package build), else the test's own.
    constexpr uid_t OtherOwner = 4321;
    constexpr gid_t OtherGroup = 8765;
    const bool givenAway = ::chown(name.constData(), OtherOwner, OtherGroup) == 0;
    struct stat before {};
    QCOMPARE(::stat(name.constData(), &before), 0);

    const QString kept = Database::repair(path, 2005);
    QVERIFY(!kept.isEmpty());
    for (const QString& file : {path, kept}) {
        struct stat after {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, mode_t(mode));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
    }
    if (!givenAway)
        qInfo("owner and group not changed: this process may not give files away");
#else
    QSKIP("permission bits and owners are those of Unix");
#endif
}

void TestRepair::damagedCopyNeverGoesThroughALink() {
    // The names a damaged copy could take: a dangling link and a file. Both are taken.
    QTemporaryDir dir;
    const QString path = prepared(dir, site_);
    damagePage(path, treePages(path, QStringLiteral("assign")).first().number, 0);
    const QString target = dir.filePath(QStringLiteral("elsewhere.mdb"));
    QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("tavrel-damaged-1.mdb"))));
    {
        QFile other(dir.filePath(QStringLiteral("tavrel-damaged-2.mdb")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("someone else's");
    }
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray damaged = original.readAll();
    original.close();

    const QString kept = Database::repair(path, 2005);
    QCOMPARE(kept, dir.filePath(QStringLiteral("tavrel-damaged-3.mdb")));
    QFile copy(kept);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), damaged);
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("tavrel-damaged-1.mdb"))).isSymLink());
    QFile other(dir.filePath(QStringLiteral("tavrel-damaged-2.mdb")));
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("someone else's"));
}

QTEST_GUILESS_MAIN(TestRepair)
#include "tst_repair.moc"
