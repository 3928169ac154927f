// The data layer: opening files, recordsets with their moves, finds, values and edits,
// lock errors, damaged files and their repair.

#include "data/database.h"
#include "data/dberror.h"
#include "data/demodata.h"
#include "data/errortrap.h"
#include "data/schema.h"
#include "data/transaction.h"
#include "support/otherprogram.h"
#include "support/rawdb.h"
#include "support/tempdatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

using namespace tavrel;

using tavrel::test::OtherProgram;
using tavrel::test::RawDb;

namespace {

const char* const SomeRows = R"SQL(
INSERT INTO locations (locid, locdesc) VALUES (1, 'Basement'), (2, 'Roof');
INSERT INTO tasks (taskid, taskname, locid, empid) VALUES
    (1, 'Pump inspection', 1, 1), (2, 'Air filter', 2, NULL), (3, 'Boiler service', NULL, 2);
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'John', 'Smith'), (2, 'Mary', 'Adams');
INSERT INTO assign (assid, taskid, weeid, duedate, completed, compdate, locid, parts) VALUES
    (1, 1, 1, '2005-01-03', 0, NULL, 2, 1.5),
    (2, 2, 1, '2005-01-03', 1, '2005-01-05 14:30:00', NULL, 0),
    (3, 3, 2, '2005-01-10', 0, NULL, 1, 0),
    (4, 1, 2, '2005-01-10', 0, NULL, NULL, 0);
)SQL";

// Collects the errors raised inside it instead of showing them.
class CountingTrap {
public:
    CountingTrap()
        : trap_([this](const DbError& e) {
            numbers << e.number;
            descriptions << e.description;
        }) {}
    QList<int> numbers;
    QStringList descriptions;

private:
    ErrorTrap trap_;
};

QString ids(Recordset& rs, const QString& field) {
    QStringList out;
    rs.moveFirst();
    while (!rs.isEOF()) {
        out << rs.value(field).toString();
        rs.moveNext();
    }
    return out.join(QLatin1Char(','));
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void openingFiles();
    void unopenedObjectsReportNotSet();
    void movesPastEitherEnd();
    void largeKeysetReadInParts();
    void finds();
    void valuesByType();
    void qualifiedNamesAndAliases();
    void addNewKeyBeforeUpdate();
    void keysNeverReused();
    void editAndUpdate();
    void typedColumns_data();
    void typedColumns();
    void sqlWritesObeyColumnTypes_data();
    void sqlWritesObeyColumnTypes();
    void filesStayUsableByPlainSqlite();
    void deleteLeavesNoCurrentRow();
    void rowsAnotherProgramDeletedOrChanged();
    void snapshotRefusesEdits();
    void snapshotKeepsEveryValue();
    void tableViewOfSettings();
    void lockedDatabase();
    void writesHeldUpByAReader();
    void freeLocksEndsWhatHoldsALock();
    void transactionKeepsItsWorkTogether();
    void repairKeepsReadableRows();
    void repairOfDamagedHeader();
    void repairKeepsEveryRowReadableByKey_data();
    void repairKeepsEveryRowReadableByKey();
    void repairGivesACompleteTaskDatabase_data();
    void repairGivesACompleteTaskDatabase();
};

void TestDatabase::openingFiles() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("tavrel.mdb"));
    // Outside a trap a failure is an exception carrying the number and a clear text.
    try {
        Database::open(missing);
        QFAIL("opening a missing file succeeded");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrFileNotFound);
        QVERIFY(e.error().description.contains(missing));
    }
    QVERIFY(!QFile::exists(missing)); // never created by opening

    Database created = Database::create(missing);
    QVERIFY(created.isOpen());
    QVERIFY(QFile::exists(missing));
    created.close();
    {
        CountingTrap trap;
        Database again = Database::create(missing); // never overwrites
        QVERIFY(!again.isOpen());
        QCOMPARE(trap.numbers.size(), 1);
    }
    Database opened = Database::open(missing);
    QVERIFY(opened.isOpen());
    QCOMPARE(opened.path(), missing);
}

void TestDatabase::unopenedObjectsReportNotSet() {
    CountingTrap trap;
    Database db = Database::open(QStringLiteral("/nonexistent/folder/tavrel.mdb"));
    QCOMPARE(trap.numbers, QList<int>{ErrFileNotFound});
    Recordset rs = db.openRecordset(QStringLiteral("select * from tasks"));
    QVERIFY(!rs.isOpen());
    rs.moveNext();
    QVERIFY(rs.isEOF());
    QCOMPARE(rs.recordCount(), 0);
    db.execute(QStringLiteral("delete * from tasks"));
    QCOMPARE(trap.numbers, (QList<int>{ErrFileNotFound, ErrObjectNotSet, ErrObjectNotSet,
                                       ErrObjectNotSet, ErrObjectNotSet, ErrObjectNotSet}));
}

void TestDatabase::movesPastEitherEnd() {
    test::TempDatabase folder(2005, {});
    Database db = Database::open(folder.dbPath());
    Recordset rs =
        db.openRecordset(QStringLiteral("select curdate, weeid from weeks order by weeid"));
    QVERIFY(!rs.isBOF() && !rs.isEOF());
    QCOMPARE(rs.value(QStringLiteral("weeid")).toInt(), 1);

    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("weeid")).toInt(), 52);
    rs.moveNext();
    QVERIFY(rs.isEOF());
    QVERIFY(!rs.isBOF());
    {
        CountingTrap trap;
        QVERIFY(rs.value(QStringLiteral("weeid")).isNull());
        QCOMPARE(trap.numbers, QList<int>{ErrNoCurrentRecord});
    }
    rs.moveNext(); // past the end stays past the end
    QVERIFY(rs.isEOF());
    rs.movePrevious();
    QCOMPARE(rs.value(QStringLiteral("weeid")).toInt(), 52);

    rs.moveFirst();
    rs.movePrevious();
    QVERIFY(rs.isBOF());
    QVERIFY(!rs.isEOF());
    {
        CountingTrap trap;
        rs.value(QStringLiteral("weeid"));
        QCOMPARE(trap.numbers, QList<int>{ErrNoCurrentRecord});
    }
    rs.moveNext();
    QCOMPARE(rs.value(QStringLiteral("weeid")).toInt(), 1);

    Recordset empty = db.openRecordset(QStringLiteral("select * from tasks"));
    QVERIFY(empty.isBOF() && empty.isEOF());
    empty.moveFirst();
    empty.moveLast();
    empty.moveNext();
    QVERIFY(empty.isBOF() && empty.isEOF());
}

// A long task list is read in parts (its first rows, its last ones, the rest when reached):
// every way of reaching the rest gives the rows of a keyset read whole, in Jet's order.
void TestDatabase::largeKeysetReadInParts() {
    constexpr int Tasks = 1500;
    constexpr int Step = 7919; // visits every number below Tasks once: names out of key order
    QStringList values;
    for (int i = 1; i <= Tasks; ++i)
        values
            << QStringLiteral("(%1, 'Task %2')").arg(i).arg((i * Step) % Tasks, 5, 10, QChar(u'0'));
    test::TempDatabase folder(2005, QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES ") +
                                        values.join(u',') + u';');
    Database db = Database::open(folder.dbPath());
    const QString query = QStringLiteral("select * from tasks order by taskname");
    auto wholeOrder = [&] {
        Recordset copy = db.openRecordset(query, RecordsetType::Snapshot);
        return ids(copy, QStringLiteral("taskid")).split(u',');
    };
    auto walkBack = [](Recordset& rs) {
        QStringList out;
        for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
            out.prepend(rs.value(QStringLiteral("taskid")).toString());
        return out;
    };
    const QStringList expected = wholeOrder();
    QCOMPARE(expected.size(), Tasks);

    // Forward from the first rows, and back from the last ones.
    Recordset forward = db.openRecordset(query);
    QCOMPARE(ids(forward, QStringLiteral("taskid")).split(u','), expected);
    Recordset backward = db.openRecordset(query);
    backward.moveLast();
    QCOMPARE(backward.recordCount(), Tasks);
    QCOMPARE(walkBack(backward), expected);

    // Rows another program deletes before the rest is read (one among the first rows, one
    // in the middle, one among the last) are gone; one of the first rows renamed into the
    // middle stays where it was. No row is lost or shown twice.
    OtherProgram other(folder.dbPath());
    Recordset changed = db.openRecordset(query);
    changed.moveLast();
    QStringList remaining = expected;
    for (const int at : {10, Tasks / 2, Tasks - 5}) {
        const QString id = remaining.takeAt(at);
        QCOMPARE(other.exec(("DELETE FROM tasks WHERE taskid = " + id.toUtf8()).constData()),
                 SQLITE_OK);
    }
    QCOMPARE(other.exec(("UPDATE tasks SET taskname = 'Task 00750 renamed' WHERE taskid = " +
                         remaining.at(20).toUtf8())
                            .constData()),
             SQLITE_OK);
    QCOMPARE(walkBack(changed), remaining);

    // A name that NOCASE does not order as Jet does, met in the middle: the rest comes in
    // Jet's order, and the cursor stays on its row.
    Recordset accented = db.openRecordset(query);
    QCOMPARE(other.exec("UPDATE tasks SET taskname = 'Task 00' || taskid || ' é' WHERE taskid = "
                        "(SELECT taskid FROM tasks ORDER BY taskname LIMIT 1 OFFSET 900)"),
             SQLITE_OK);
    const QStringList jetOrder = wholeOrder();
    QStringList seen;
    for (; !accented.isEOF(); accented.moveNext())
        seen << accented.value(QStringLiteral("taskid")).toString();
    QCOMPARE(seen, jetOrder);

    // A find and an addition need every key: the new row joins the end.
    Recordset edited = db.openRecordset(query);
    edited.findFirst(QStringLiteral("taskname = 'task 01000'"));
    QVERIFY(!edited.noMatch());
    QCOMPARE(edited.value(QStringLiteral("taskname")).toString(), QStringLiteral("Task 01000"));
    edited.addNew();
    edited.setValue(QStringLiteral("taskname"), QStringLiteral("A new task"));
    edited.update();
    edited.moveLast();
    QCOMPARE(edited.value(QStringLiteral("taskname")).toString(), QStringLiteral("A new task"));
    QCOMPARE(edited.recordCount(), int(jetOrder.size()) + 1);
}

void TestDatabase::finds() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from weeks order by weeid"));
    // Each find from where the one before left the cursor: the week found, 0 for no match.
    const struct {
        void (Recordset::*find)(const QString&);
        const char* criteria;
        int week;
    } steps[] = {{&Recordset::findFirst, "weeid > 50", 51},
                 {&Recordset::findNext, "weeid > 50", 52},
                 {&Recordset::findNext, "weeid > 50", 0},
                 {&Recordset::findLast, "weeid < 3", 2},
                 {&Recordset::findPrevious, "weeid < 3", 1},
                 {&Recordset::findPrevious, "weeid < 3", 0},
                 {&Recordset::findFirst, "curdate = #01/10/05#", 2},
                 {&Recordset::findFirst, "weeid = 99", 0}};
    for (const auto& step : steps) {
        (rs.*step.find)(QString::fromLatin1(step.criteria));
        QCOMPARE(rs.noMatch(), step.week == 0);
        if (step.week != 0)
            QCOMPARE(rs.value(QStringLiteral("weeid")).toInt(), step.week);
    }

    CountingTrap trap;
    rs.findFirst(QStringLiteral("nosuchcolumn = 1"));
    rs.findFirst(QStringLiteral("duedate = #pump#"));
    QCOMPARE(trap.numbers, (QList<int>{ErrSqlSyntax, ErrSqlSyntax}));
}

void TestDatabase::valuesByType() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign where assid = 2"));
    QCOMPARE(rs.value(QStringLiteral("duedate")), QVariant(QDate(2005, 1, 3)));
    QCOMPARE(rs.value(QStringLiteral("compdate")),
             QVariant(QDateTime(QDate(2005, 1, 5), QTime(14, 30))));
    QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(true));
    QCOMPARE(rs.value(QStringLiteral("taskid")).typeId(), int(QMetaType::Int));
    QCOMPARE(rs.value(QStringLiteral("parts")).typeId(), int(QMetaType::Double));
    QVERIFY(rs.value(QStringLiteral("locid")).isNull());
    QCOMPARE(rs.value(QStringLiteral("compnotes")), QVariant());
    QCOMPARE(rs.fieldNames().size(), 17);
    QCOMPARE(rs.fieldNames().first(), QStringLiteral("assid"));
}

void TestDatabase::qualifiedNamesAndAliases() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral(
        "select * from assign left join tasks on assign.taskid = tasks.taskid where assid = 1"));
    // locid is in both tables: unqualified it is the base table's.
    QCOMPARE(rs.value(QStringLiteral("locid")).toInt(), 2);
    QCOMPARE(rs.value(QStringLiteral("assign.locid")).toInt(), 2);
    QCOMPARE(rs.value(QStringLiteral("tasks.locid")).toInt(), 1);
    QCOMPARE(rs.value(QStringLiteral("Tasks.TaskID")).toInt(), 1);
    QCOMPARE(rs.value(QStringLiteral("empid")), QVariant()); // assign.empid, not the task's 1

    Recordset codes = db.openRecordset(
        QStringLiteral("Select locid as id, locdesc as descr from locations order by locdesc"));
    QCOMPARE(codes.value(QStringLiteral("id")).toInt(), 1);
    QCOMPARE(codes.value(QStringLiteral("descr")).toString(), QStringLiteral("Basement"));
    QCOMPARE(codes.fieldNames(), (QStringList{QStringLiteral("id"), QStringLiteral("descr")}));
    codes.edit();
    codes.setValue(QStringLiteral("descr"), QStringLiteral("Cellar"));
    codes.update();
    QCOMPARE(
        folder.scalar(QStringLiteral("select locdesc from locations where locid = 1")).toString(),
        QStringLiteral("Cellar"));

    CountingTrap trap;
    QVERIFY(codes.value(QStringLiteral("nosuchfield")).isNull());
    codes.edit();
    codes.setValue(QStringLiteral("nosuchfield"), 1);
    codes.cancelUpdate();
    QCOMPARE(trap.numbers, (QList<int>{ErrItemNotFound, ErrItemNotFound}));
}

void TestDatabase::addNewKeyBeforeUpdate() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from tasks order by taskname"));
    QCOMPARE(ids(rs, QStringLiteral("taskid")), QStringLiteral("2,3,1"));
    rs.moveFirst();
    rs.moveNext(); // on Boiler service
    rs.addNew();
    const QVariant key = rs.value(QStringLiteral("taskid"));
    QCOMPARE(key, QVariant(4));
    QCOMPARE(rs.value(QStringLiteral("curyearonly")), QVariant(false)); // the column's default
    rs.setValue(QStringLiteral("taskname"), QStringLiteral("Belt check"));
    rs.setValue(QStringLiteral("purchdate"), QDate(2004, 6, 1));
    rs.setValue(QStringLiteral("reqhour"), 1.5);
    QCOMPARE(rs.value(QStringLiteral("taskname")).toString(), QStringLiteral("Belt check"));
    rs.update();
    QCOMPARE(folder
                 .scalar(QStringLiteral("select taskname || '|' || purchdate || '|' || reqhour "
                                        "from tasks where taskid = 4"))
                 .toString(),
             QStringLiteral("Belt check|2004-06-01|1.5"));
    // The cursor stays where it was before addNew; the new row is at the keyset's end.
    QCOMPARE(rs.value(QStringLiteral("taskname")).toString(), QStringLiteral("Boiler service"));
    QCOMPARE(rs.recordCount(), 4);
    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("taskid")).toInt(), 4);

    // The same over a join: the new row is written to the base table.
    Recordset joined =
        db.openRecordset(QStringLiteral("select * from assign left join tasks on assign.taskid = "
                                        "tasks.taskid where assign.taskid = 1"));
    joined.addNew();
    QCOMPARE(joined.value(QStringLiteral("assid")), QVariant(5));
    joined.setValue(QStringLiteral("taskid"), 2);
    joined.setValue(QStringLiteral("duedate"), QDate(2005, 3, 7));
    joined.setValue(QStringLiteral("completed"), false);
    joined.update();
    joined.moveLast();
    QCOMPARE(joined.value(QStringLiteral("assid")).toInt(), 5);
    QCOMPARE(joined.value(QStringLiteral("tasks.taskname")).toString(),
             QStringLiteral("Air filter"));
}

void TestDatabase::keysNeverReused() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from employees"));
    rs.addNew();
    QCOMPARE(rs.value(QStringLiteral("empid")).toInt(), 3);
    rs.cancelUpdate(); // a key once shown is not given out again
    rs.addNew();
    QCOMPARE(rs.value(QStringLiteral("empid")).toInt(), 4);
    rs.setValue(QStringLiteral("lastname"), QStringLiteral("Young"));
    rs.update();
    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("empid")).toInt(), 4);
    rs.deleteRow();
    rs.addNew();
    rs.setValue(QStringLiteral("lastname"), QStringLiteral("Zeta"));
    rs.update(); // key not read before update: still a new one
    QCOMPARE(folder.scalar(QStringLiteral("select empid from employees where lastname = 'Zeta'"))
                 .toInt(),
             5);
    db.execute(QStringLiteral("delete * from employees where empid = 5"));
    rs.addNew();
    QCOMPARE(rs.value(QStringLiteral("empid")).toInt(), 6);
}

void TestDatabase::editAndUpdate() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(
        QStringLiteral("Select * from assign where duedate >= #1/1/2005# and duedate <= "
                       "#12/31/2005# and not completed order by duedate, assid"));
    QCOMPARE(ids(rs, QStringLiteral("assid")), QStringLiteral("1,3,4"));
    rs.moveFirst();
    rs.moveNext();
    rs.edit();
    rs.setValue(QStringLiteral("completed"), true);
    rs.setValue(QStringLiteral("compdate"), QDate(2005, 2, 1));
    rs.setValue(QStringLiteral("parts"), 12.34567);
    rs.setValue(QStringLiteral("labor"), QStringLiteral("20"));
    rs.setValue(QStringLiteral("manid"), QVariant());
    rs.setValue(QStringLiteral("compnotes"), QStringLiteral("Done; it's fine"));
    rs.update();
    QCOMPARE(
        folder
            .scalar(QStringLiteral(
                "select completed || '|' || compdate || '|' || parts || '|' || labor || '|' || "
                "ifnull(manid, 'null') || '|' || compnotes from assign where assid = 3"))
            .toString(),
        QStringLiteral("1|2005-02-01|12.3457|20|null|Done; it's fine"));
    // The edited row no longer matches the criteria but stays in the recordset, in place.
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
    QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(true));
    QCOMPARE(rs.value(QStringLiteral("parts")), QVariant(12.3457));
    QCOMPARE(ids(rs, QStringLiteral("assid")), QStringLiteral("1,3,4"));

    // A time of day is stored only when there is one.
    rs.moveFirst();
    rs.edit();
    rs.setValue(QStringLiteral("compdate"), QDateTime(QDate(2005, 2, 2), QTime(0, 0)));
    rs.setValue(QStringLiteral("duedate"), QDateTime(QDate(2005, 2, 3), QTime(9, 15)));
    rs.update();
    QCOMPARE(
        folder
            .scalar(QStringLiteral("select compdate || '|' || duedate from assign where assid = 1"))
            .toString(),
        QStringLiteral("2005-02-02|2005-02-03 09:15:00"));

    CountingTrap trap;
    rs.update();                             // no edit pending
    rs.setValue(QStringLiteral("parts"), 1); // no edit pending
    rs.edit();
    rs.setValue(QStringLiteral("parts"), 99);
    rs.cancelUpdate();
    QCOMPARE(trap.numbers, (QList<int>{ErrUpdateWithoutEdit, ErrUpdateWithoutEdit}));
    QCOMPARE(folder.scalar(QStringLiteral("select parts from assign where assid = 1")).toDouble(),
             1.5);
}

void TestDatabase::typedColumns_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("stored"); // typeof:value, or empty when the write is refused
    const auto row = [](const char* name, const char* field, const QVariant& value,
                        const char* stored) {
        QTest::newRow(name) << QString::fromLatin1(field) << value << QString::fromUtf8(stored);
    };
    const QDate march5(2026, 3, 5);
    row("date: a word", "duedate", QStringLiteral("pump"), "");
    row("date: typed text in the locale's order", "duedate", QStringLiteral("3/5/2026"), "");
    row("date: a day that does not exist", "duedate", QStringLiteral("2026-02-30"), "");
    row("date: a number", "duedate", 46086, "");
    row("date: QDateTime", "duedate", QDateTime(march5, QTime(14, 30)), "text:2026-03-05 14:30:00");
    row("date: ISO text with a time", "compdate", QStringLiteral("2026-03-05T14:30"),
        "text:2026-03-05 14:30:00");
    // A time alone is a time of Jet's day zero, as time literals are.
    row("date: a time alone", "compdate", QStringLiteral("14:30:05"), "text:1899-12-30 14:30:05");
    row("date: empty text", "compdate", QString(), "null:");
    row("number: a word", "comphour", QStringLiteral("pump"), "");
    row("number: not a number", "comphour", qQNaN(), "");
    row("number: text of an integer", "empid", QStringLiteral(" 42 "), "integer:42");
    row("currency: four decimals", "parts", 12.345678, "real:12.3457");
    row("yes/no: text", "completed", QStringLiteral("True"), "integer:1");
    row("text: a date", "compnotes", march5, "text:2026-03-05");
}

void TestDatabase::typedColumns() {
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, stored);
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    const QString select =
        QStringLiteral("select typeof(%1) || ':' || ifnull(%1, '') from assign where assid = ")
            .arg(field);
    const QString before = folder.scalar(select + QStringLiteral("3")).toString();
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign where assid = 3"));
    CountingTrap trap;
    rs.edit();
    rs.setValue(field, value);
    rs.setValue(QStringLiteral("weeid"), 9); // a good value beside it is written all the same
    rs.update();
    if (stored.isEmpty()) {
        QCOMPARE(trap.numbers, QList<int>{ErrTypeMismatch});
        QVERIFY2(trap.descriptions.first().contains(field), qPrintable(trap.descriptions.first()));
        QCOMPARE(folder.scalar(select + QStringLiteral("3")).toString(), before);
    } else {
        QCOMPARE(trap.numbers, QList<int>{});
        QCOMPARE(folder.scalar(select + QStringLiteral("3")).toString(), stored);
    }
    QCOMPARE(folder.scalar(QStringLiteral("select weeid from assign where assid = 3")).toInt(), 9);

    // A new row takes the same values and refuses the same ones.
    trap.numbers.clear();
    rs.addNew();
    rs.setValue(QStringLiteral("taskid"), 1);
    rs.setValue(field, value);
    rs.update();
    QCOMPARE(trap.numbers, stored.isEmpty() ? QList<int>{ErrTypeMismatch} : QList<int>{});
    if (!stored.isEmpty())
        QCOMPARE(
            folder.scalar(select + QStringLiteral("(select max(assid) from assign)")).toString(),
            stored);
}

// What an insert or update statement writes is held to its columns' types as a recordset's
// write is: a value the type cannot hold is the type-mismatch error, and nothing of the
// statement is written (no row of an insert ... select, no other column of the update).
void TestDatabase::sqlWritesObeyColumnTypes_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("probe");  // what the test reads back afterwards (plain SQLite)
    QTest::addColumn<QString>("stored"); // the probe's value after the write; empty: refused
    QTest::addColumn<QString>("before"); // what another program wrote first (plain SQLite)
    const auto row = [](const char* name, const char* sql, const char* probe, const char* stored,
                        const char* before = "") {
        QTest::newRow(name) << QString::fromUtf8(sql) << QString::fromUtf8(probe)
                            << QString::fromUtf8(stored) << QString::fromUtf8(before);
    };
    // Every value and type of assign row 3, and how many rows the table has.
    const char* const row3 =
        "select (select count(*) from assign) || '|' || typeof(duedate) || ':' || duedate || '|' "
        "|| typeof(weeid) || ':' || weeid || '|' || ifnull(empid, '-') || '|' || comphour || '|' "
        "|| completed || '|' || parts || '|' || ifnull(compnotes, '-') from assign where assid = 3";
    const char* const added = "select (select count(*) from assign) || '|' || typeof(duedate) || "
                              "':' || ifnull(duedate, '-') || '|' || ifnull(weeid, '-') || '|' || "
                              "ifnull(comphour, '-') from assign where assid = (select max(assid) "
                              "from assign)";

    row("date: a word", "update assign set duedate = 'abc', weeid = 5 where assid = 3", row3, "");
    row("date: a number", "update assign set duedate = 38000 where assid = 3", row3, "");
    row("date: no such day", "update assign set duedate = '2005-02-30' where assid = 3", row3, "");
    row("date: a date literal", "update assign set duedate = #3/5/2026# where assid = 3", row3,
        "4|text:2026-03-05|integer:2|-|0|0|0|-");
    row("date: an expression giving text",
        "update assign set duedate = duedate & 'x' where assid = 3", row3, "");
    row("date: insert values", "insert into assign (taskid, duedate) values (1, 'abc')", added, "");
    row("date: insert select",
        "insert into assign (taskid, duedate) select taskid, 'soon' from tasks", added, "");
    row("date: insert select of dates",
        "insert into assign (taskid, duedate) select 1, max(duedate) from assign", added,
        "5|text:2005-01-10|-|0");

    row("16-bit: too large", "update assign set weeid = 99999999999 where assid = 3", row3, "");
    row("16-bit: just too large", "update assign set weeid = 32768 where assid = 3", row3, "");
    row("16-bit: just too small", "update assign set weeid = -32769 where assid = 3", row3, "");
    row("16-bit: largest", "update assign set weeid = 32767 where assid = 3", row3,
        "4|text:2005-01-10|integer:32767|-|0|0|0|-");
    row("16-bit: text", "update assign set weeid = 'week 2' where assid = 3", row3, "");
    row("16-bit: insert select",
        "insert into assign (taskid, weeid) select taskid, 40000 from tasks", added, "");
    row("32-bit: too large", "update assign set empid = 99999999999 where assid = 3", row3, "");
    row("32-bit: largest", "update assign set empid = 2147483647 where assid = 3", row3,
        "4|text:2005-01-10|integer:2|2147483647|0|0|0|-");
    row("32-bit: text", "update assign set empid = 'Smith' where assid = 3", row3, "");
    row("32-bit: text of a number", "update assign set empid = ' 7 ' where assid = 3", row3,
        "4|text:2005-01-10|integer:2|7|0|0|0|-");
    row("32-bit: insert values", "insert into assign (taskid) values ('pump')", added, "");

    row("single: text", "update assign set comphour = 'two' where assid = 3", row3, "");
    row("single: beyond its range", "update assign set comphour = 1e39 where assid = 3", row3, "");
    row("single: a fraction", "update assign set comphour = 2.5 where assid = 3", row3,
        "4|text:2005-01-10|integer:2|-|2.5|0|0|-");
    row("single: insert values", "insert into assign (taskid, comphour) values (1, 'long')", added,
        "");

    row("yes/no: a word", "update assign set completed = 'yes' where assid = 3", row3, "");
    row("yes/no: true", "update assign set completed = true where assid = 3", row3,
        "4|text:2005-01-10|integer:2|-|0|1|0|-");
    row("currency: a word", "update assign set parts = 'ten dollars' where assid = 3", row3, "");
    row("currency: an amount", "update assign set parts = 12.5 where assid = 3", row3,
        "4|text:2005-01-10|integer:2|-|0|0|12.5|-");
    row("currency: insert values", "insert into assign (taskid, parts) values (1, 'free')", added,
        "");
    row("text: takes a number", "update assign set compnotes = 12 where assid = 3", row3,
        "4|text:2005-01-10|integer:2|-|0|0|0|12");
    row("insert without a column list", "insert into weeks values (53, 'first Monday')",
        "select count(*) from weeks", "");

    // Several rows: a refused value in any of them refuses the whole statement; a row the
    // statement does not write is not its business, whatever another program put there.
    row("several rows, the last refused",
        "update assign set comphour = 2, duedate = iif(assid = 4, 'abc', duedate)", row3, "");
    row("a spoilt row between written ones",
        "update assign set comphour = 2 where assid in (1, 3, 4)", row3,
        "4|text:2005-01-10|integer:2|-|2|0|0|-",
        "update assign set comphour = 'lots' where assid = 2");
}

void TestDatabase::sqlWritesObeyColumnTypes() {
    QFETCH(QString, sql);
    QFETCH(QString, probe);
    QFETCH(QString, stored);
    QFETCH(QString, before);
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    if (!before.isEmpty())
        folder.scalar(before);
    Database db = Database::open(folder.dbPath());
    const QString unchanged = folder.scalar(probe).toString();
    CountingTrap trap;
    db.execute(sql);
    if (stored.isEmpty()) {
        QCOMPARE(trap.numbers, QList<int>{ErrTypeMismatch});
        QCOMPARE(folder.scalar(probe).toString(), unchanged);
    } else {
        QCOMPARE(trap.numbers, QList<int>{});
        QCOMPARE(folder.scalar(probe).toString(), stored);
    }
    // The connection goes on working: no write level is left open by a refusal.
    trap.numbers.clear();
    db.execute(QStringLiteral("update assign set weeid = 7 where assid = 1"));
    QCOMPARE(trap.numbers, QList<int>{});
    QCOMPARE(folder.scalar(QStringLiteral("select weeid from assign where assid = 1")).toInt(), 7);
}

void TestDatabase::filesStayUsableByPlainSqlite() {
    // Files written by the program open, read and write in any SQLite tool, which knows
    // none of the program's collations or functions.
    QTemporaryDir dir;
    QString error;
    QVERIFY2(initWorkFolder(dir.path(), true, QDate(2005, 7, 4), &error), qPrintable(error));
    const QString tasksPath = dir.filePath(QStringLiteral("tavrel.mdb"));
    {
        Database db = Database::open(tasksPath);
        Recordset rs = db.openRecordset(QStringLiteral("select * from tasks order by taskname"));
        rs.edit();
        rs.setValue(QStringLiteral("taskname"), QStringLiteral("Élevator check"));
        rs.update();
        db.execute(QStringLiteral("update assign set duedate = #1/2/2006# where assid = 1"));
    }
    for (const QString& name : {QStringLiteral("tavrel.mdb"), QStringLiteral("rptspec.mdb")}) {
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open_v2(dir.filePath(name).toUtf8().constData(), &raw,
                                 SQLITE_OPEN_READWRITE, nullptr),
                 SQLITE_OK);
        auto run = [&](const char* sql) {
            char* message = nullptr;
            const int rc = sqlite3_exec(raw, sql, nullptr, nullptr, &message);
            const QString text = QString::fromUtf8(message ? message : "");
            sqlite3_free(message);
            return rc == SQLITE_OK ? QString() : text;
        };
        if (name == QLatin1String("tavrel.mdb")) {
            QCOMPARE(run("INSERT INTO tasks (taskname) VALUES ('written by another tool'); "
                         "UPDATE tasks SET taskname = 'Renamed' WHERE taskid = 1; "
                         "INSERT INTO assign (taskid, weeid, duedate, completed) "
                         "VALUES (1, 1, '2006-01-02', 1); "
                         "UPDATE assign SET duedate = '2006-02-06', taskid = 2 WHERE assid = 2; "
                         "DELETE FROM assign WHERE assid = 3; "
                         "SELECT * FROM tasks ORDER BY taskname;"),
                     QString());
        } else {
            QCOMPARE(run("UPDATE RptSpec SET usewith = usewith, fieldname = fieldname; "
                         "INSERT INTO RptSpec (specid, usewith, fieldname) "
                         "VALUES (9999, 'tasks', 'x');"),
                     QString());
        }
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw, "PRAGMA integrity_check", -1, &stmt, nullptr);
        QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
        QCOMPARE(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))),
                 QStringLiteral("ok"));
        sqlite3_finalize(stmt);
        sqlite3_close(raw);
    }
    // And the program reads what the other tool wrote.
    Database db = Database::open(tasksPath);
    Recordset rs = db.openRecordset(
        QStringLiteral("select * from tasks where taskname = 'WRITTEN BY ANOTHER TOOL'"));
    QCOMPARE(rs.recordCount(), 1);
}

void TestDatabase::deleteLeavesNoCurrentRow() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign order by assid"));
    rs.moveNext(); // assid 2
    rs.deleteRow();
    QCOMPARE(folder.scalar(QStringLiteral("select count(*) from assign where assid = 2")).toInt(),
             0);
    QCOMPARE(rs.recordCount(), 3);
    QVERIFY(!rs.isEOF() && !rs.isBOF());
    {
        CountingTrap trap;
        rs.value(QStringLiteral("assid"));
        rs.edit();
        rs.deleteRow();
        QCOMPARE(trap.numbers,
                 (QList<int>{ErrNoCurrentRecord, ErrNoCurrentRecord, ErrNoCurrentRecord}));
    }
    rs.moveNext();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
    rs.deleteRow();
    rs.movePrevious(); // skips the deleted keys
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 1);
    QCOMPARE(ids(rs, QStringLiteral("assid")), QStringLiteral("1,4"));

    // Deleting the last row: the next move finds the end.
    rs.moveLast();
    rs.deleteRow();
    rs.moveNext();
    QVERIFY(rs.isEOF());
    rs.moveFirst();
    rs.deleteRow();
    rs.moveNext();
    QVERIFY(rs.isEOF() && rs.isBOF());
    QCOMPARE(rs.recordCount(), 0);
}

// Optimistic locking: a row another program deleted after it was read cannot be written. The
// edit is refused with the no-current-record error, writes nothing (the row does not come
// back) and stays pending; a row another program only changed is written as edited.
void TestDatabase::rowsAnotherProgramDeletedOrChanged() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    OtherProgram other(folder.dbPath());
    auto stored = [&] {
        return folder
            .scalar(QStringLiteral("select group_concat(assid || ':' || parts, ' ') from "
                                   "(select assid, parts from assign order by assid)"))
            .toString();
    };
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign order by assid"));
    rs.moveNext(); // assid 2, read
    rs.edit();
    rs.setValue(QStringLiteral("parts"), 7);
    QCOMPARE(other.exec("DELETE FROM assign WHERE assid = 2"), SQLITE_OK);
    {
        CountingTrap trap;
        rs.update();
        rs.update(); // still pending: refused again, not taken for an update without edit
        QCOMPARE(trap.numbers, (QList<int>{ErrNoCurrentRecord, ErrNoCurrentRecord}));
        QCOMPARE(trap.descriptions.value(0),
                 QStringLiteral("The record was deleted by another program."));
    }
    QCOMPARE(stored(), QStringLiteral("1:1.5 3:0 4:0"));
    rs.cancelUpdate();

    // Edited before the other program deleted it: the same.
    rs.moveNext(); // assid 3
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
    QCOMPARE(other.exec("DELETE FROM assign WHERE assid = 3"), SQLITE_OK);
    rs.edit();
    rs.setValue(QStringLiteral("parts"), 8);
    {
        CountingTrap trap;
        rs.update();
        QCOMPARE(trap.numbers, QList<int>{ErrNoCurrentRecord});
    }
    QCOMPARE(stored(), QStringLiteral("1:1.5 4:0"));
    rs.cancelUpdate();

    // Changed by the other program: the edit is written over its change.
    rs.moveNext(); // assid 4
    rs.edit();
    QCOMPARE(other.exec("UPDATE assign SET parts = 5, labor = 6 WHERE assid = 4"), SQLITE_OK);
    rs.setValue(QStringLiteral("parts"), 9);
    {
        CountingTrap trap;
        rs.update();
        QCOMPARE(trap.numbers, QList<int>{});
    }
    QCOMPARE(stored(), QStringLiteral("1:1.5 4:9"));
    QCOMPARE(folder.scalar(QStringLiteral("select labor from assign where assid = 4")).toInt(), 6);

    // Deleting a row the other program deleted first takes no other row with it and leaves
    // no current row.
    rs.moveFirst(); // assid 1
    QCOMPARE(other.exec("DELETE FROM assign WHERE assid = 1"), SQLITE_OK);
    {
        CountingTrap trap;
        rs.deleteRow();
        rs.value(QStringLiteral("assid"));
        QCOMPARE(trap.numbers.value(trap.numbers.size() - 1), ErrNoCurrentRecord);
    }
    QCOMPARE(stored(), QStringLiteral("4:9"));
    rs.moveFirst();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 4);
}

void TestDatabase::snapshotRefusesEdits() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from tasks order by taskname"),
                                    RecordsetType::Snapshot);
    QCOMPARE(rs.type(), RecordsetType::Snapshot);
    QCOMPARE(ids(rs, QStringLiteral("taskname")),
             QStringLiteral("Air filter,Boiler service,Pump inspection"));
    rs.moveFirst();
    CountingTrap trap;
    rs.edit();
    rs.addNew();
    rs.deleteRow();
    rs.update();
    QCOMPARE(trap.numbers,
             (QList<int>{ErrReadOnly, ErrReadOnly, ErrReadOnly, ErrUpdateWithoutEdit}));
    QCOMPARE(folder.scalar(QStringLiteral("select count(*) from tasks")).toInt(), 3);

    // A result that is no table's rows cannot be edited either, whatever it was opened as.
    Recordset totals = db.openRecordset(
        QStringLiteral("select taskid, count(*) as n from assign group by taskid"));
    trap.numbers.clear();
    totals.edit();
    QCOMPARE(trap.numbers, QList<int>{ErrReadOnly});
    QCOMPARE(ids(totals, QStringLiteral("n")), QStringLiteral("2,1,1"));
}

void TestDatabase::snapshotKeepsEveryValue() {
    // Values of every storage class in columns of every kind, as another tool may leave them
    // (a MEMO column keeps numbers as numbers). A snapshot's copy reads each of them as a
    // dynaset reads it straight from the file, and its finds compare them as stored.
    test::TempDatabase folder(2005, QString());
    folder.exec(QStringLiteral(
        "CREATE TABLE mixed (id INTEGER PRIMARY KEY, m MEMO, n LONG, r DOUBLE, d DATETIME, a);"
        "INSERT INTO mixed VALUES (1, 42, 300, 2.5, '2005-01-03', x'00ff'),"
        "  (2, 2.5, 70000, 7, '2005-01-05 14:30:00', -5000000000),"
        "  (3, replace(hex(zeroblob(300)), '00', 'x'), -100, NULL, 5, 'caf\u00e9'),"
        "  (4, x'41', 1.6, -1e300, NULL, NULL),"
        "  (5, '', 9223372036854775807, 0.1, 'soon', x''),"
        "  (6, NULL, NULL, NULL, '2005-02-30', NULL);"));
    Database db = Database::open(folder.dbPath());
    CountingTrap trap;
    const QString sql = QStringLiteral("select * from mixed order by id");
    Recordset snapshot = db.openRecordset(sql, RecordsetType::Snapshot);
    Recordset dynaset = db.openRecordset(sql, RecordsetType::Dynaset);
    QCOMPARE(snapshot.recordCount(), 6);
    QVariantList dates;
    for (; !dynaset.isEOF(); dynaset.moveNext(), snapshot.moveNext()) {
        for (const QString& field : dynaset.fieldNames()) {
            const QVariant expected = dynaset.value(field);
            const QVariant copied = snapshot.value(field);
            QVERIFY2(copied == expected && copied.typeId() == expected.typeId(),
                     qPrintable(field + QLatin1Char(' ') + expected.toString()));
        }
        dates << snapshot.value(QStringLiteral("d"));
    }
    QVERIFY(snapshot.isEOF());
    // A text that is no date, or names a day that does not exist, stays the text it is.
    QCOMPARE(dates,
             (QVariantList{QDate(2005, 1, 3), QDateTime(QDate(2005, 1, 5), QTime(14, 30)), 5,
                           QVariant(), QStringLiteral("soon"), QStringLiteral("2005-02-30")}));

    const QList<std::pair<const char*, int>> finds = {
        {"m = 42", 1}, {"n = 70000", 2}, {"r = 7", 2}, {"len(m) = 300", 3}, {"a = -5000000000", 2}};
    for (const auto& [criteria, id] : finds) {
        snapshot.findFirst(QString::fromLatin1(criteria));
        QVERIFY2(!snapshot.noMatch(), criteria);
        QCOMPARE(snapshot.value(QStringLiteral("id")).toInt(), id);
    }
    QCOMPARE(trap.numbers, QList<int>{});
}

void TestDatabase::tableViewOfSettings() {
    test::TempDatabase folder(2005, {});
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("Settings"), RecordsetType::Table);
    QVERIFY(rs.isOpen());
    QCOMPARE(rs.type(), RecordsetType::Table);
    QCOMPARE(rs.value(QStringLiteral("CurYear")).toInt(), 2005);

    CountingTrap trap;
    Recordset missing = db.openRecordset(QStringLiteral("nosuchtable"), RecordsetType::Table);
    QVERIFY(!missing.isOpen());
    QCOMPARE(trap.numbers, QList<int>{ErrTableNotFound});
}

void TestDatabase::lockedDatabase() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from tasks order by taskid"));
    rs.edit();
    rs.setValue(QStringLiteral("taskname"), QStringLiteral("Mine"));

    OtherProgram other(folder.dbPath());
    QCOMPARE(other.exec("BEGIN IMMEDIATE; UPDATE tasks SET taskname = 'Theirs' WHERE taskid = 2;"),
             SQLITE_OK);
    {
        CountingTrap trap;
        rs.update(); // the save loop would call this again while the lock lasts
        rs.update();
        db.execute(QStringLiteral("delete * from tasks where taskid = 3"));
        Recordset other3 = db.openRecordset(QStringLiteral("select * from tasks"));
        other3.moveLast();
        other3.deleteRow();
        other3.addNew();
        other3.setValue(QStringLiteral("taskname"), QStringLiteral("New"));
        other3.update();
        QCOMPARE(trap.numbers, (QList<int>{ErrLockedByUser, ErrLockedByUser, ErrLockedByUser,
                                           ErrLockedByUser, ErrLockedByUser}));
    }
    // Reads still work while another program writes (it only holds a write lock) ...
    QCOMPARE(rs.value(QStringLiteral("taskname")).toString(), QStringLiteral("Mine"));
    QCOMPARE(other.exec("COMMIT"), SQLITE_OK);
    // ... and the edit kept for the retry goes through once the lock is gone.
    rs.update();
    QCOMPARE(
        folder.scalar(QStringLiteral("select taskname from tasks where taskid = 1")).toString(),
        QStringLiteral("Mine"));
    QCOMPARE(
        folder.scalar(QStringLiteral("select taskname from tasks where taskid = 2")).toString(),
        QStringLiteral("Theirs"));
    QCOMPARE(folder.scalar(QStringLiteral("select count(*) from tasks")).toInt(), 3);

    // A program that locks the file for reading too makes reads fail as locked records.
    QCOMPARE(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    {
        CountingTrap trap;
        Recordset blocked = db.openRecordset(QStringLiteral("select * from tasks"));
        QVERIFY(!blocked.isOpen());
        QCOMPARE(trap.numbers, QList<int>{ErrRecordLocked});
    }
    other.exec("ROLLBACK");

    // Outside a trap the lock is an exception with the locked-record number.
    QCOMPARE(other.exec("BEGIN IMMEDIATE; DELETE FROM taskweeks;"), SQLITE_OK);
    try {
        db.execute(QStringLiteral("delete * from tasks"));
        QFAIL("no lock error");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrLockedByUser);
    }
    other.exec("ROLLBACK");
}

// A reader of another program holds up the commit of a row's update or delete: the write
// fails as locked, is undone and holds nothing, so that the other program can go on and the
// save loop's retry finds the row as it was.
void TestDatabase::writesHeldUpByAReader() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from tasks order by taskid"));
    OtherProgram other(folder.dbPath());
    // An edit of the current row's name, then its deletion: the errors each raised.
    auto editThenDelete = [&rs] {
        CountingTrap trap;
        rs.edit();
        rs.setValue(QStringLiteral("taskname"), QStringLiteral("Mine"));
        rs.update();
        rs.cancelUpdate();
        rs.deleteRow();
        return trap.numbers;
    };
    QCOMPARE(other.exec("BEGIN; SELECT count(*) FROM tasks;"), SQLITE_OK);
    QCOMPARE(editThenDelete(), (QList<int>{ErrLockedByUser, ErrLockedByUser}));
    QCOMPARE(other.exec("ROLLBACK; BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK);
    QCOMPARE(folder.scalar(QStringLiteral("select count(*) from tasks")).toInt(), 3);
    QCOMPARE(rs.value(QStringLiteral("taskid")).toInt(), 1);

    // A transaction the engine ended by itself (as after a full disk or an I/O error)
    // refuses the writes that follow until it ends, a delete as an update: neither may be
    // committed on its own while the operation still stands.
    {
        Transaction work(db);
        QCOMPARE(sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        const QList<int> numbers = editThenDelete();
        QCOMPARE(numbers.size(), 2);
        QCOMPARE(numbers.at(1), numbers.at(0));
    }
    QCOMPARE(folder.scalar(QStringLiteral("select group_concat(taskname, '|') from "
                                          "(select taskname from tasks order by taskid)")),
             QVariant("Pump inspection|Air filter|Boiler service"));

    rs.deleteRow();
    QCOMPARE(folder.scalar(QStringLiteral("select group_concat(taskid) from tasks")).toString(),
             QStringLiteral("2,3"));
}

void TestDatabase::transactionKeepsItsWorkTogether() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    auto count = [&folder](const char* sql) { return folder.scalar(QString::fromLatin1(sql)); };
    Recordset tasks = db.openRecordset(QStringLiteral("select * from tasks order by taskid"));
    auto addTask = [&tasks](const QString& name) {
        tasks.addNew();
        tasks.setValue(QStringLiteral("taskname"), name);
        tasks.update();
    };

    // Not committed: undone as a whole, here by a failure that unwinds outside any trap.
    try {
        Transaction work(db);
        db.execute(QStringLiteral("ALTER TABLE assign ADD COLUMN extra LONG;"));
        db.execute(QStringLiteral("delete * from assign where taskid = 1"));
        addTask(QStringLiteral("Undone")); // a recordset write joins the transaction
        db.execute(QStringLiteral("delete * from nosuchtable"));
        QFAIL("no error");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrTableNotFound);
    }
    QCOMPARE(count("select count(*) from assign"), QVariant(4));
    QCOMPARE(count("select group_concat(taskid) from (select taskid from tasks order by taskid)"),
             QVariant("1,2,3"));
    QCOMPARE(count("select count(*) from pragma_table_info('assign') where name = 'extra'"),
             QVariant(0));
    OtherProgram other(folder.dbPath());
    QCOMPARE(other.exec("DELETE FROM taskweeks"), SQLITE_OK); // nothing is held

    // Committed: all of it, with what an inner transaction undid left out.
    {
        Transaction work(db);
        db.execute(QStringLiteral("delete * from assign where taskid = 1"));
        FreeLocks(); // the engine's idle call leaves an open transaction alone
        {
            Transaction inner(db);
            db.execute(QStringLiteral("delete * from tasks where taskid = 3"));
        }
        {
            Transaction inner(db);
            db.execute(QStringLiteral("delete * from tasks where taskid = 2"));
            inner.commit();
        }
        addTask(QStringLiteral("Kept"));
        work.commit();
        QVERIFY(!work.isActive());
    }
    QCOMPARE(count("select count(*) from assign"), QVariant(2));
    QCOMPARE(
        count(
            "select group_concat(taskname, '|') from (select taskname from tasks order by taskid)"),
        QVariant("Pump inspection|Boiler service|Kept"));

    // A commit a reader of another program holds up keeps the work, to be tried again once
    // the reader is gone; not tried again, it is undone and holds nothing. A start while
    // another program writes fails and holds nothing.
    QCOMPARE(other.exec("BEGIN; SELECT count(*) FROM tasks;"), SQLITE_OK);
    {
        CountingTrap trap;
        Transaction work(db);
        db.execute(QStringLiteral("delete * from assign"));
        QVERIFY(!work.commit());
        QVERIFY(work.isActive());
        QCOMPARE(trap.numbers, QList<int>{ErrLockedByUser});
    }
    QCOMPARE(other.exec("ROLLBACK; BEGIN IMMEDIATE;"), SQLITE_OK);
    QCOMPARE(count("select count(*) from assign"), QVariant(2));
    {
        CountingTrap trap;
        Transaction work(db);
        QVERIFY(!work.isActive());
        QCOMPARE(trap.numbers, QList<int>{ErrLockedByUser});
    }
    QCOMPARE(other.exec("ROLLBACK"), SQLITE_OK);
}

void TestDatabase::freeLocksEndsWhatHoldsALock() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    Database db = Database::open(folder.dbPath());
    // Open recordsets hold nothing: another program can write at once.
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign order by duedate"));
    rs.moveNext();
    OtherProgram other(folder.dbPath());
    QCOMPARE(other.exec("UPDATE assign SET parts = 2 WHERE assid = 4"), SQLITE_OK);

    // A transaction left open by a failure holds the file until FreeLocks ends it.
    db.executeScript(QStringLiteral("BEGIN; SELECT count(*) FROM assign;"));
    QCOMPARE(other.exec("UPDATE assign SET parts = 3 WHERE assid = 4"), SQLITE_BUSY);
    FreeLocks();
    QCOMPARE(other.exec("UPDATE assign SET parts = 3 WHERE assid = 4"), SQLITE_OK);
}

namespace {

// Overwrites leaf pages of a table or index with random bytes: `which` is "first", "middle",
// "last" or page positions such as "2 and 4", counted from 1 in key order (dbstat's path).
// Returns how many pages were damaged.
int damagePages(const QString& path, const QString& object, const QString& which) {
    constexpr int PageSize = 4096;
    const QList<qint64> pages = RawDb(path).column(
        QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = 'leaf' "
                       "ORDER BY path")
            .arg(object));
    QFile f(path);
    if (pages.isEmpty() || !f.open(QIODevice::ReadWrite))
        return 0;
    int damaged = 0;
    for (const QString& position : which.split(QStringLiteral(" and "))) {
        const qsizetype index = position == QLatin1String("first")    ? 0
                                : position == QLatin1String("last")   ? pages.size() - 1
                                : position == QLatin1String("middle") ? pages.size() / 2
                                                                      : position.toInt() - 1;
        if (index < 0 || index >= pages.size() || pages[index] <= 1)
            return 0;
        QByteArray garbage(PageSize, Qt::Uninitialized);
        QRandomGenerator random{quint32(pages[index])};
        for (char& c : garbage)
            c = char(random.bounded(256));
        f.seek((pages[index] - 1) * PageSize);
        f.write(garbage);
        ++damaged;
    }
    return damaged;
}

// Fills assign with enough rows (with long notes) to take many pages.
void fillManyAssignments(test::TempDatabase& folder, int rows) {
    folder.exec(
        QStringLiteral("DELETE FROM assign; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + "
                       "1 FROM n WHERE i < %1) "
                       "INSERT INTO assign (assid, taskid, weeid, duedate, completed, compnotes) "
                       "SELECT i, 1, 1, '2005-01-03', 0, printf('%%0300d', i) FROM n;")
            .arg(rows));
}

} // namespace

void TestDatabase::repairKeepsReadableRows() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    const int rows = 2000;
    fillManyAssignments(folder, rows);
    folder.exec(QStringLiteral(
        "INSERT INTO sqlite_sequence (name, seq) SELECT 'assign', 5000 WHERE NOT EXISTS "
        "(SELECT 1 FROM sqlite_sequence WHERE name = 'assign'); "
        "UPDATE sqlite_sequence SET seq = 5000 WHERE name = 'assign';"));
    QCOMPARE(damagePages(folder.dbPath(), QStringLiteral("assign"), QStringLiteral("middle")), 1);
    QFile damaged(folder.dbPath());
    QVERIFY(damaged.open(QIODevice::ReadOnly));
    const QByteArray damagedBytes = damaged.readAll();
    damaged.close();

    Database::repair(folder.dbPath());

    // The damaged file is kept beside the new one, unchanged.
    const QString backup = folder.file(QStringLiteral("tavrel-damaged-1.mdb"));
    QVERIFY(QFile::exists(backup));
    QFile kept(backup);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), damagedBytes);

    // The repaired file opens and keeps its counters ahead of every key given out.
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select * from assign"));
    rs.addNew();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 5001);
    rs.cancelUpdate();
    rs.close();
    db.close();

    // A second repair keeps the first backup.
    Database::repair(folder.dbPath());
    QVERIFY(QFile::exists(folder.file(QStringLiteral("tavrel-damaged-2.mdb"))));
    QFile first(backup);
    QVERIFY(first.open(QIODevice::ReadOnly));
    QCOMPARE(first.readAll(), damagedBytes);
}

void TestDatabase::repairOfDamagedHeader() {
    test::TempDatabase folder(2005, QString::fromUtf8(SomeRows));
    {
        QFile f(folder.dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write("Garbage, really!");
    }
    CountingTrap trap;
    QVERIFY(!Database::open(folder.dbPath()).isOpen());
    QCOMPARE(trap.numbers, QList<int>{ErrDatabaseDamaged});

    Database::repair(folder.dbPath());
    QCOMPARE(trap.numbers.size(), 1);
    Database db = Database::open(folder.dbPath());
    QVERIFY(db.isOpen());
    QCOMPARE(ids(*std::make_unique<Recordset>(
                     db.openRecordset(QStringLiteral("select * from assign order by assid"))),
                 QStringLiteral("assid")),
             QStringLiteral("1,2,3,4"));
}

void TestDatabase::repairKeepsEveryRowReadableByKey_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("damaged"); // the table or index whose pages are damaged
    QTest::addColumn<QString>("which");   // which of its pages
    QTest::addColumn<int>("keyStep");     // keys of `table` spread this far apart
    const auto row = [](const char* name, const char* table, const char* damaged, const char* which,
                        int keyStep = 1) {
        QTest::newRow(name) << QString::fromLatin1(table) << QString::fromLatin1(damaged)
                            << QString::fromLatin1(which) << keyStep;
    };
    row("tasks, first page", "tasks", "tasks", "first");
    row("assign, pages 2 and 4, sparse keys", "assign", "assign", "2 and 4", 100000);
    row("assign, index page", "assign", "assign_duedate", "middle");
}

void TestDatabase::repairKeepsEveryRowReadableByKey() {
    QFETCH(QString, table);
    QFETCH(QString, damaged);
    QFETCH(QString, which);
    QFETCH(int, keyStep);
    // The demo site is made once; each case damages a copy of it.
    static QTemporaryDir demo;
    static QString demoError;
    static const bool demoMade = initWorkFolder(demo.path(), true, QDate(2005, 7, 4), &demoError);
    QVERIFY2(demoMade, qPrintable(demoError));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tavrel.mdb"));
    QVERIFY(QFile::copy(QDir(demo.path()).filePath(QStringLiteral("tavrel.mdb")), path));
    if (keyStep > 1)
        QVERIFY(RawDb(path, true)
                    .exec(QStringLiteral("UPDATE %1 SET rowid = rowid * %2; VACUUM;")
                              .arg(table)
                              .arg(keyStep)));
    const QList<qint64> keys =
        RawDb(path).column(QStringLiteral("SELECT rowid FROM %1").arg(table));
    const qint64 weeksRows =
        RawDb(path).column(QStringLiteral("SELECT count(*) FROM taskweeks")).value(0);
    QVERIFY(damagePages(path, damaged, which) > 0);

    // What a repair must keep: every row that still reads by its key in the damaged file.
    const test::RawRows readable = RawDb(path).rowsByKey(table, keys);
    if (damaged == table)
        QVERIFY2(!readable.isEmpty() && readable.size() < keys.size(),
                 qPrintable(QStringLiteral("%1 of %2").arg(readable.size()).arg(keys.size())));
    else
        QCOMPARE(readable.size(), keys.size());

    CountingTrap trap;
    Database::repair(path, 2005);
    QCOMPARE(trap.numbers, QList<int>{});

    RawDb repaired(path);
    const test::RawRows survivors = repaired.rowsByKey(table, keys);
    QCOMPARE(survivors.keys(), readable.keys());
    QVERIFY(survivors == readable);
    QCOMPARE(repaired.column(QStringLiteral("SELECT count(*) FROM %1").arg(table)).value(0),
             qint64(readable.size()));
    // The other tables and every index come through whole.
    QCOMPARE(repaired.column(QStringLiteral("SELECT count(*) FROM taskweeks")).value(0), weeksRows);
    QCOMPARE(
        repaired
            .column(
                QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = '%1'").arg(damaged))
            .value(0),
        1);
    QCOMPARE(repaired.text(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

void TestDatabase::repairGivesACompleteTaskDatabase_data() {
    // How the file is spoilt, and the year its weeks must have afterwards.
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<int>("year");
    QTest::newRow("not a database") << "text" << 2007;
    // The settings and weeks pages are intact: their rows, and so the year, survive.
    QTest::newRow("schema page zeroed") << "zero page 1" << 2004;
    QTest::newRow("tables missing, year kept") << "partial" << 2004;
}

void TestDatabase::repairGivesACompleteTaskDatabase() {
    QFETCH(QString, spoil);
    QFETCH(int, year);
    test::TempDatabase folder(2004, QString::fromUtf8(SomeRows));
    if (spoil == QLatin1String("partial")) {
        // A file that lost some tables and rows of others, with two settings rows.
        folder.exec(QStringLiteral("DROP TABLE managers; DROP TABLE types; DELETE FROM weeks "
                                   "WHERE weeid > 10; INSERT INTO settings VALUES (2010);"));
    } else {
        QFile f(folder.dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        constexpr int PageSize = 4096;
        f.write(spoil == QLatin1String("text")
                    ? QByteArray("Meeting notes: not a database at all.\n")
                          .repeated(int(f.size() / 16 + 1))
                    : QByteArray(PageSize, '\0'));
    }
    CountingTrap trap;
    const QString kept = Database::repair(folder.dbPath(), 2007);
    QCOMPARE(trap.numbers, QList<int>{});
    QCOMPARE(kept, folder.file(QStringLiteral("tavrel-damaged-1.mdb")));
    QVERIFY(QFile::exists(kept));

    RawDb repaired(folder.dbPath());
    QCOMPARE(repaired.text(QStringLiteral(
                 "SELECT group_concat(name) FROM (SELECT name FROM sqlite_master WHERE type = "
                 "'table' AND name IN ('tasks', 'taskweeks', 'weeks', 'assign', 'employees', "
                 "'managers', 'locations', 'types', 'settings') ORDER BY name)")),
             QStringLiteral("assign,employees,locations,managers,settings,tasks,taskweeks,types,"
                            "weeks"));
    QCOMPARE(repaired.text(QStringLiteral("SELECT count(*) || ' ' || group_concat(CurYear) FROM "
                                          "settings")),
             QStringLiteral("1 %1").arg(year));
    const QList<QDate> mondays = weekMondays(year);
    QCOMPARE(repaired.text(QStringLiteral("SELECT count(DISTINCT weeid) || ' ' || min(curdate) "
                                          "|| ' ' || max(curdate) FROM weeks")),
             QStringLiteral("52 %1 %2")
                 .arg(mondays.first().toString(Qt::ISODate), mondays.last().toString(Qt::ISODate)));
    QCOMPARE(repaired.text(QStringLiteral("SELECT count(*) FROM weeks")), QStringLiteral("52"));
    // The rows the file still held are all there.
    if (spoil == QLatin1String("partial"))
        QCOMPARE(repaired.text(QStringLiteral("SELECT count(*) FROM assign")), QStringLiteral("4"));

    // The program's own layer opens it and finds the columns it needs.
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset(QStringLiteral("select typdesc, manfirst from types, managers"),
                                    RecordsetType::Snapshot);
    QVERIFY(rs.isOpen());
    QCOMPARE(trap.numbers, QList<int>{});
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
