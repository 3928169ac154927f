// The data layer: opening files, recordsets with their moves, finds, values and
// edits, lock errors, damaged files and their repair.

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
using tavrel::test::readFile;

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

// A fresh file holding SomeRows, open through the program's layer; `text` reads
// a value back past it.
struct Rows {
    test::TempDatabase folder{2005, QString::fromUtf8(SomeRows)};
    Database db = Database::open(folder.dbPath());
    QString text(const QString& sql) const { return folder.scalar(sql).toString(); }
    // Values of one row ("null" for a null): the backends share no operator that joins
    // values of every type into one text.
    QString fields(const QStringList& columns, const QString& from) const {
        QStringList out;
        for (const QString& column : columns) {
            const QVariant v = folder.scalar("select " + column + " from " + from);
            out << (v.isNull() ? QStringLiteral("null") : v.toString());
        }
        return out.join(u'|');
    }
};

// Skips a case about the file itself in a run on the server.
#define SKIP_ON_SERVER(why)                                                                        \
    do {                                                                                           \
        if (test::testsOnServer())                                                                 \
            QSKIP(why);                                                                            \
    } while (false)

QString ids(Recordset& rs, const QString& field) {
    QStringList out;
    for (rs.moveFirst(); !rs.isEOF(); rs.moveNext())
        out << rs.value(field).toString();
    return out.join(QLatin1Char(','));
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void openingFiles();
    void movesPastEitherEnd();
    void largeKeysetReadInParts();
    void finds();
    void valuesAndNames();
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
    void tablesWithoutVersionsWrittenAsBefore();
    void snapshotRefusesEdits();
    void snapshotKeepsEveryValue();
    void lockedDatabase();
    void writesHeldUpByAReader();
    void freeLocksEndsWhatHoldsALock();
    void transactionKeepsItsWorkTogether();
    void repairKeepsReadableRows();
    void repairGivesACompleteTaskDatabase_data();
    void repairGivesACompleteTaskDatabase();
};

// Missing files, files that exist already, and objects of a database that did
// not open.
void TestDatabase::openingFiles() {
    QTemporaryDir dir;
    const QString missing = dir.filePath("tavrel.mdb");
    // Outside a trap a failure is an exception carrying the number and a clear
    // text.
    try {
        Database::open(missing);
        QFAIL("opening a missing file succeeded");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrFileNotFound);
        QVERIFY(e.error().description.contains(missing));
    }
    QVERIFY(!QFile::exists(missing)); // never created by opening

    Database created = Database::create(missing);
    QVERIFY(created.isOpen() && QFile::exists(missing));
    created.close();
    {
        test::CollectedErrors trap;
        QVERIFY(!Database::create(missing).isOpen()); // never overwrites
        QCOMPARE(trap.numbers.size(), 1);
    }
    Database opened = Database::open(missing);
    QVERIFY(opened.isOpen());
    QCOMPARE(opened.path(), missing);
    opened.close();

    Rows site; // a table's own view
    Recordset settings = site.db.openRecordset("Settings", RecordsetType::Table);
    QCOMPARE(settings.type(), RecordsetType::Table);
    QCOMPARE(settings.value("CurYear").toInt(), 2005);
    test::CollectedErrors trap;
    QVERIFY(!site.db.openRecordset("nosuchtable", RecordsetType::Table).isOpen());
    QCOMPARE(trap.numbers, QList<int>{ErrTableNotFound});
    trap.numbers.clear();
    Database db = Database::open("/nonexistent/folder/tavrel.mdb");
    Recordset rs = db.openRecordset("select * from tasks");
    QVERIFY(!rs.isOpen());
    rs.moveNext();
    QVERIFY(rs.isEOF());
    QCOMPARE(rs.recordCount(), 0);
    db.execute("delete * from tasks");
    QCOMPARE(trap.numbers, (QList<int>{ErrFileNotFound, ErrObjectNotSet, ErrObjectNotSet,
                                       ErrObjectNotSet, ErrObjectNotSet, ErrObjectNotSet}));
}

void TestDatabase::movesPastEitherEnd() {
    test::TempDatabase folder(2005, {});
    Database db = Database::open(folder.dbPath());
    Recordset rs = db.openRecordset("select curdate, weeid from weeks order by weeid");
    QVERIFY(!rs.isBOF() && !rs.isEOF());
    QCOMPARE(rs.value("weeid").toInt(), 1);

    rs.moveLast();
    QCOMPARE(rs.value("weeid").toInt(), 52);
    rs.moveNext();
    QVERIFY(rs.isEOF() && !rs.isBOF());
    {
        test::CollectedErrors trap;
        QVERIFY(rs.value("weeid").isNull());
        QCOMPARE(trap.numbers, QList<int>{ErrNoCurrentRecord});
    }
    rs.moveNext(); // past the end stays past the end
    QVERIFY(rs.isEOF());
    rs.movePrevious();
    QCOMPARE(rs.value("weeid").toInt(), 52);

    rs.moveFirst();
    rs.movePrevious();
    QVERIFY(rs.isBOF() && !rs.isEOF());
    {
        test::CollectedErrors trap;
        rs.value("weeid");
        QCOMPARE(trap.numbers, QList<int>{ErrNoCurrentRecord});
    }
    rs.moveNext();
    QCOMPARE(rs.value("weeid").toInt(), 1);

    Recordset empty = db.openRecordset("select * from tasks");
    QVERIFY(empty.isBOF() && empty.isEOF());
    empty.moveFirst();
    empty.moveLast();
    empty.moveNext();
    QVERIFY(empty.isBOF() && empty.isEOF());
}

// A long task list is read in parts (its first rows, its last ones, the rest
// when reached): every way of reaching the rest gives the rows of a keyset read
// whole, in Jet's order.
void TestDatabase::largeKeysetReadInParts() {
    constexpr int Tasks = 1500;
    constexpr int Step = 7919; // visits every number below Tasks once: names out of key order
    QStringList values;
    for (int i = 1; i <= Tasks; ++i)
        values << QString("(%1, 'Task %2')").arg(i).arg((i * Step) % Tasks, 5, 10, QChar(u'0'));
    test::TempDatabase folder(2005, "INSERT INTO tasks (taskid, taskname) VALUES " +
                                        values.join(u',') + u';');
    Database db = Database::open(folder.dbPath());
    const QString query = "select * from tasks order by taskname";
    auto wholeOrder = [&] {
        Recordset copy = db.openRecordset(query, RecordsetType::Snapshot);
        return ids(copy, "taskid").split(u',');
    };
    auto walkBack = [](Recordset& rs) {
        QStringList out;
        for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
            out.prepend(rs.value("taskid").toString());
        return out;
    };
    const QStringList expected = wholeOrder();
    QCOMPARE(expected.size(), Tasks);

    // Forward from the first rows, and back from the last ones.
    Recordset forward = db.openRecordset(query);
    QCOMPARE(ids(forward, "taskid").split(u','), expected);
    Recordset backward = db.openRecordset(query);
    backward.moveLast();
    QCOMPARE(backward.recordCount(), Tasks);
    QCOMPARE(walkBack(backward), expected);

    // Rows another program deletes before the rest is read (one among the first
    // rows, one in the middle, one among the last) are gone; one of the first
    // rows renamed into the middle stays where it was. No row is lost or shown
    // twice.
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

    // A name that NOCASE does not order as Jet does, met in the middle: the rest
    // comes in Jet's order, and the cursor stays on its row. (A keyset on the server holds
    // every key from its opening: the next one sees the new name.)
    Recordset accented = folder.onServer() ? Recordset() : db.openRecordset(query);
    QCOMPARE(other.exec("UPDATE tasks SET taskname = 'Task 00' || taskid || ' é' WHERE "
                        "taskid = "
                        "(SELECT taskid FROM tasks ORDER BY taskname LIMIT 1 OFFSET 900)"),
             SQLITE_OK);
    if (folder.onServer())
        accented = db.openRecordset(query);
    const QStringList jetOrder = wholeOrder();
    QStringList seen;
    for (; !accented.isEOF(); accented.moveNext())
        seen << accented.value("taskid").toString();
    QCOMPARE(seen, jetOrder);

    // A find and an addition need every key: the new row joins the end.
    Recordset edited = db.openRecordset(query);
    edited.findFirst("taskname = 'task 01000'");
    QVERIFY(!edited.noMatch());
    QCOMPARE(edited.value("taskname").toString(), "Task 01000");
    edited.addNew();
    edited.setValue("taskname", "A new task");
    edited.update();
    edited.moveLast();
    QCOMPARE(edited.value("taskname").toString(), "A new task");
    QCOMPARE(edited.recordCount(), int(jetOrder.size()) + 1);
}

void TestDatabase::finds() {
    Rows site;
    Recordset rs = site.db.openRecordset("select * from weeks order by weeid");
    // Each find from where the one before left the cursor: the week found, 0 for
    // no match.
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
            QCOMPARE(rs.value("weeid").toInt(), step.week);
    }

    test::CollectedErrors trap;
    rs.findFirst("nosuchcolumn = 1");
    rs.findFirst("duedate = #pump#");
    QCOMPARE(trap.numbers, (QList<int>{ErrSqlSyntax, ErrSqlSyntax}));
}

// Values by their column's type; fields by plain, qualified and aliased names.
void TestDatabase::valuesAndNames() {
    Rows site;
    Recordset rs = site.db.openRecordset("select * from assign where assid = 2");
    QCOMPARE(rs.value("duedate"), QVariant(QDate(2005, 1, 3)));
    QCOMPARE(rs.value("compdate"), QVariant(QDateTime(QDate(2005, 1, 5), QTime(14, 30))));
    QCOMPARE(rs.value("completed"), QVariant(true));
    QCOMPARE(rs.value("taskid").typeId(), int(QMetaType::Int));
    QCOMPARE(rs.value("parts").typeId(), int(QMetaType::Double));
    QVERIFY(rs.value("locid").isNull());
    QCOMPARE(rs.value("compnotes"), QVariant());
    QCOMPARE(rs.fieldNames().size(), 19);
    QCOMPARE(rs.fieldNames().first(), "assid");

    Recordset joined = site.db.openRecordset("select * from assign left join tasks on "
                                             "assign.taskid = tasks.taskid where assid = 1");
    // locid is in both tables: unqualified it is the base table's.
    QCOMPARE(joined.value("locid").toInt(), 2);
    QCOMPARE(joined.value("assign.locid").toInt(), 2);
    QCOMPARE(joined.value("tasks.locid").toInt(), 1);
    QCOMPARE(joined.value("Tasks.TaskID").toInt(), 1);
    QCOMPARE(joined.value("empid"), QVariant()); // assign.empid, not the task's 1

    Recordset codes = site.db.openRecordset(
        "Select locid as id, locdesc as descr from locations order by locdesc");
    QCOMPARE(codes.value("id").toInt(), 1);
    QCOMPARE(codes.value("descr").toString(), "Basement");
    QCOMPARE(codes.fieldNames(), (QStringList{"id", "descr"}));
    codes.edit();
    codes.setValue("descr", "Cellar");
    codes.update();
    QCOMPARE(site.text("select locdesc from locations where locid = 1"), "Cellar");

    test::CollectedErrors trap;
    QVERIFY(codes.value("nosuchfield").isNull());
    codes.edit();
    codes.setValue("nosuchfield", 1);
    codes.cancelUpdate();
    QCOMPARE(trap.numbers, (QList<int>{ErrItemNotFound, ErrItemNotFound}));
}

void TestDatabase::addNewKeyBeforeUpdate() {
    Rows site;
    Recordset rs = site.db.openRecordset("select * from tasks order by taskname");
    QCOMPARE(ids(rs, "taskid"), "2,3,1");
    rs.moveFirst();
    rs.moveNext(); // on Boiler service
    rs.addNew();
    QCOMPARE(rs.value("taskid"), QVariant(4));
    QCOMPARE(rs.value("curyearonly"), QVariant(false)); // the column's default
    rs.setValue("taskname", "Belt check");
    rs.setValue("purchdate", QDate(2004, 6, 1));
    rs.setValue("reqhour", 1.5);
    QCOMPARE(rs.value("taskname").toString(), "Belt check");
    rs.update();
    QCOMPARE(site.fields({"taskname", "purchdate", "reqhour"}, "tasks where taskid = 4"),
             "Belt check|2004-06-01|1.5");
    // The cursor stays where it was before addNew; the new row is at the keyset's
    // end.
    QCOMPARE(rs.value("taskname").toString(), "Boiler service");
    QCOMPARE(rs.recordCount(), 4);
    rs.moveLast();
    QCOMPARE(rs.value("taskid").toInt(), 4);

    // The same over a join: the new row is written to the base table.
    Recordset joined =
        site.db.openRecordset("select * from assign left join tasks on "
                              "assign.taskid = tasks.taskid where assign.taskid = 1");
    joined.addNew();
    QCOMPARE(joined.value("assid"), QVariant(5));
    joined.setValue("taskid", 2);
    joined.setValue("duedate", QDate(2005, 3, 7));
    joined.setValue("completed", false);
    joined.update();
    joined.moveLast();
    QCOMPARE(joined.value("assid").toInt(), 5);
    QCOMPARE(joined.value("tasks.taskname").toString(), "Air filter");
}

void TestDatabase::keysNeverReused() {
    Rows site;
    Recordset rs = site.db.openRecordset("select * from employees");
    rs.addNew();
    QCOMPARE(rs.value("empid").toInt(), 3);
    rs.cancelUpdate(); // a key once shown is not given out again
    rs.addNew();
    QCOMPARE(rs.value("empid").toInt(), 4);
    rs.setValue("lastname", "Young");
    rs.update();
    rs.moveLast();
    QCOMPARE(rs.value("empid").toInt(), 4);
    rs.deleteRow();
    rs.addNew();
    rs.setValue("lastname", "Zeta");
    rs.update(); // key not read before update: still a new one
    QCOMPARE(site.text("select empid from employees where lastname = 'Zeta'"), "5");
    site.db.execute("delete * from employees where empid = 5");
    rs.addNew();
    QCOMPARE(rs.value("empid").toInt(), 6);
}

void TestDatabase::editAndUpdate() {
    Rows site;
    Recordset rs = site.db.openRecordset("Select * from assign where duedate >= #1/1/2005# and "
                                         "duedate <= #12/31/2005# and not completed order by "
                                         "duedate, assid");
    QCOMPARE(ids(rs, "assid"), "1,3,4");
    rs.moveFirst();
    rs.moveNext();
    rs.edit();
    rs.setValue("completed", true);
    rs.setValue("compdate", QDate(2005, 2, 1));
    rs.setValue("parts", 12.34567);
    rs.setValue("labor", "20");
    rs.setValue("manid", QVariant());
    rs.setValue("compnotes", "Done; it's fine");
    rs.update();
    QCOMPARE(site.fields({"completed <> 0", "compdate", "parts", "labor", "manid", "compnotes"},
                         "assign where assid = 3"),
             "1|2005-02-01|12.3457|20|null|Done; it's fine");
    // The edited row no longer matches the criteria but stays in the recordset,
    // in place.
    QCOMPARE(rs.value("assid").toInt(), 3);
    QCOMPARE(rs.value("completed"), QVariant(true));
    QCOMPARE(rs.value("parts"), QVariant(12.3457));
    QCOMPARE(ids(rs, "assid"), "1,3,4");

    // A time of day is stored only when there is one.
    rs.moveFirst();
    rs.edit();
    rs.setValue("compdate", QDateTime(QDate(2005, 2, 2), QTime(0, 0)));
    rs.setValue("duedate", QDateTime(QDate(2005, 2, 3), QTime(9, 15)));
    rs.update();
    QCOMPARE(site.fields({"compdate", "duedate"}, "assign where assid = 1"),
             "2005-02-02|2005-02-03 09:15:00");

    test::CollectedErrors trap;
    rs.update();             // no edit pending
    rs.setValue("parts", 1); // no edit pending
    rs.edit();
    rs.setValue("parts", 99);
    rs.cancelUpdate();
    QCOMPARE(trap.numbers, (QList<int>{ErrUpdateWithoutEdit, ErrUpdateWithoutEdit}));
    QCOMPARE(site.text("select parts from assign where assid = 1"), "1.5");
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
    row("date: a word", "duedate", "pump", "");
    row("date: typed text in the locale's order", "duedate", "3/5/2026", "");
    row("date: a day that does not exist", "duedate", "2026-02-30", "");
    row("date: a number", "duedate", 46086, "");
    row("date: QDateTime", "duedate", QDateTime(march5, QTime(14, 30)), "text:2026-03-05 14:30:00");
    row("date: ISO text with a time", "compdate", "2026-03-05T14:30", "text:2026-03-05 14:30:00");
    // A time alone is a time of Jet's day zero, as time literals are.
    row("date: a time alone", "compdate", "14:30:05", "text:1899-12-30 14:30:05");
    row("date: empty text", "compdate", QString(), "null:");
    row("number: a word", "comphour", "pump", "");
    row("number: not a number", "comphour", qQNaN(), "");
    row("number: text of an integer", "empid", " 42 ", "integer:42");
    row("currency: four decimals", "parts", 12.345678, "real:12.3457");
    row("yes/no: text", "completed", "True", "integer:1");
    row("text: a date", "compnotes", march5, "text:2026-03-05");
}

void TestDatabase::typedColumns() {
    SKIP_ON_SERVER("SQLite's storage classes are the file's own");
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, stored);
    Rows site;
    const QString select = QString("select typeof(%1) || ':' || ifnull(%1, '') "
                                   "from assign where assid = ")
                               .arg(field);
    const QString before = site.text(select + "3");
    Recordset rs = site.db.openRecordset("select * from assign where assid = 3");
    test::CollectedErrors trap;
    rs.edit();
    rs.setValue(field, value);
    rs.setValue("weeid", 9); // a good value beside it is written all the same
    rs.update();
    const QList<int> refused = stored.isEmpty() ? QList<int>{ErrTypeMismatch} : QList<int>{};
    QCOMPARE(trap.numbers, refused);
    if (stored.isEmpty())
        QVERIFY2(trap.texts.first().contains(field), qPrintable(trap.texts.first()));
    QCOMPARE(site.text(select + "3"), stored.isEmpty() ? before : stored);
    QCOMPARE(site.text("select weeid from assign where assid = 3"), "9");

    // A new row takes the same values and refuses the same ones.
    trap.numbers.clear();
    rs.addNew();
    rs.setValue("taskid", 1);
    rs.setValue(field, value);
    rs.update();
    QCOMPARE(trap.numbers, refused);
    if (!stored.isEmpty())
        QCOMPARE(site.text(select + "(select max(assid) from assign)"), stored);
}

// What an insert or update statement writes is held to its columns' types as a
// recordset's write is: a value the type cannot hold is the type-mismatch
// error, and nothing of the statement is written (no row of an insert ...
// select, no other column of the update).
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
    const char* const row3 = "select (select count(*) from assign) || '|' || "
                             "typeof(duedate) || ':' || duedate || '|' "
                             "|| typeof(weeid) || ':' || weeid || '|' || "
                             "ifnull(empid, '-') || '|' || comphour || '|' "
                             "|| completed || '|' || parts || '|' || "
                             "ifnull(compnotes, '-') from assign where assid = 3";
    const char* const added = "select (select count(*) from assign) || '|' || typeof(duedate) || "
                              "':' || ifnull(duedate, '-') || '|' || ifnull(weeid, '-') || '|' || "
                              "ifnull(comphour, '-') from assign where assid = (select max(assid) "
                              "from assign)";
    // An update of row 3: refused, or the row as row3 reads it afterwards.
    const auto update = [&row, row3](const char* name, const char* set, const char* stored = "") {
        row(name, qPrintable(QString("update assign set %1 where assid = 3").arg(set)), row3,
            stored);
    };

    update("date: a word", "duedate = 'abc', weeid = 5");
    update("date: a number", "duedate = 38000");
    update("date: no such day", "duedate = '2005-02-30'");
    update("date: a date literal", "duedate = #3/5/2026#", "4|text:2026-03-05|integer:2|-|0|0|0|-");
    update("date: an expression giving text", "duedate = duedate & 'x'");
    row("date: insert values", "insert into assign (taskid, duedate) values (1, 'abc')", added, "");
    row("date: insert select",
        "insert into assign (taskid, duedate) select taskid, 'soon' from tasks", added, "");
    row("date: insert select of dates",
        "insert into assign (taskid, duedate) select 1, max(duedate) from assign", added,
        "5|text:2005-01-10|-|0");

    update("16-bit: too large", "weeid = 99999999999");
    update("16-bit: just too large", "weeid = 32768");
    update("16-bit: just too small", "weeid = -32769");
    update("16-bit: largest", "weeid = 32767", "4|text:2005-01-10|integer:32767|-|0|0|0|-");
    update("16-bit: text", "weeid = 'week 2'");
    row("16-bit: insert select",
        "insert into assign (taskid, weeid) select taskid, 40000 from tasks", added, "");
    update("32-bit: too large", "empid = 99999999999");
    update("32-bit: largest", "empid = 2147483647",
           "4|text:2005-01-10|integer:2|2147483647|0|0|0|-");
    update("32-bit: text", "empid = 'Smith'");
    update("32-bit: text of a number", "empid = ' 7 '", "4|text:2005-01-10|integer:2|7|0|0|0|-");
    row("32-bit: insert values", "insert into assign (taskid) values ('pump')", added, "");

    update("single: text", "comphour = 'two'");
    update("single: beyond its range", "comphour = 1e39");
    update("single: a fraction", "comphour = 2.5", "4|text:2005-01-10|integer:2|-|2.5|0|0|-");
    row("single: insert values", "insert into assign (taskid, comphour) values (1, 'long')", added,
        "");

    update("yes/no: a word", "completed = 'yes'");
    update("yes/no: true", "completed = true", "4|text:2005-01-10|integer:2|-|0|1|0|-");
    update("currency: a word", "parts = 'ten dollars'");
    update("currency: an amount", "parts = 12.5", "4|text:2005-01-10|integer:2|-|0|0|12.5|-");
    row("currency: insert values", "insert into assign (taskid, parts) values (1, 'free')", added,
        "");
    update("text: takes a number", "compnotes = 12", "4|text:2005-01-10|integer:2|-|0|0|0|12");
    row("insert without a column list", "insert into weeks values (53, 'first Monday', 0)",
        "select count(*) from weeks", "");

    // Several rows: a refused value in any of them refuses the whole statement; a
    // row the statement does not write is not its business, whatever another
    // program put there.
    row("several rows, the last refused",
        "update assign set comphour = 2, duedate = iif(assid = 4, 'abc', "
        "duedate)",
        row3, "");
    row("a spoilt row between written ones",
        "update assign set comphour = 2 where assid in (1, 3, 4)", row3,
        "4|text:2005-01-10|integer:2|-|2|0|0|-",
        "update assign set comphour = 'lots' where assid = 2");
}

void TestDatabase::sqlWritesObeyColumnTypes() {
    SKIP_ON_SERVER("SQLite's storage classes are the file's own");
    QFETCH(QString, sql);
    QFETCH(QString, probe);
    QFETCH(QString, stored);
    QFETCH(QString, before);
    Rows site;
    if (!before.isEmpty())
        site.folder.scalar(before);
    const QString unchanged = site.text(probe);
    test::CollectedErrors trap;
    site.db.execute(sql);
    QCOMPARE(trap.numbers, stored.isEmpty() ? QList<int>{ErrTypeMismatch} : QList<int>{});
    QCOMPARE(site.text(probe), stored.isEmpty() ? unchanged : stored);
    // The connection goes on working: no write level is left open by a refusal.
    trap.numbers.clear();
    site.db.execute("update assign set weeid = 7 where assid = 1");
    QCOMPARE(trap.numbers, QList<int>{});
    QCOMPARE(site.text("select weeid from assign where assid = 1"), "7");
}

void TestDatabase::filesStayUsableByPlainSqlite() {
    SKIP_ON_SERVER("plain SQLite tools open only a file");
    // Files written by the program open, read and write in any SQLite tool, which
    // knows none of the program's collations or functions.
    QTemporaryDir dir;
    QString error;
    QVERIFY2(initWorkFolder(dir.path(), true, QDate(2005, 7, 4), &error), qPrintable(error));
    const QString tasksPath = dir.filePath("tavrel.mdb");
    {
        Database db = Database::open(tasksPath);
        Recordset rs = db.openRecordset("select * from tasks order by taskname");
        rs.edit();
        rs.setValue("taskname", "Élevator check");
        rs.update();
        db.execute("update assign set duedate = #1/2/2006# where assid = 1");
    }
    {
        RawDb tool(tasksPath, true);
        QVERIFY(tool.exec("INSERT INTO tasks (taskname) VALUES ('written by another tool'); "
                          "UPDATE tasks SET taskname = 'Renamed' WHERE taskid = 1; "
                          "INSERT INTO assign (taskid, weeid, duedate, completed) "
                          "VALUES (1, 1, '2006-01-02', 1); "
                          "UPDATE assign SET duedate = '2006-02-06', taskid = 2 WHERE assid = 2; "
                          "DELETE FROM assign WHERE assid = 3; "
                          "SELECT * FROM tasks ORDER BY taskname;"));
        QCOMPARE(tool.text("PRAGMA integrity_check"), "ok");
        RawDb catalogue(dir.filePath("rptspec.mdb"), true);
        QVERIFY(catalogue.exec("UPDATE RptSpec SET usewith = usewith, fieldname = fieldname; "
                               "INSERT INTO RptSpec (specid, usewith, fieldname) "
                               "VALUES (9999, 'tasks', 'x');"));
        QCOMPARE(catalogue.text("PRAGMA integrity_check"), "ok");
    }
    // And the program reads what the other tool wrote.
    Database db = Database::open(tasksPath);
    QCOMPARE(db.openRecordset("select * from tasks where taskname = 'WRITTEN BY ANOTHER TOOL'")
                 .recordCount(),
             1);
}

void TestDatabase::deleteLeavesNoCurrentRow() {
    Rows site;
    Recordset rs = site.db.openRecordset("select * from assign order by assid");
    rs.moveNext(); // assid 2
    rs.deleteRow();
    QCOMPARE(site.text("select count(*) from assign where assid = 2"), "0");
    QCOMPARE(rs.recordCount(), 3);
    QVERIFY(!rs.isEOF() && !rs.isBOF());
    {
        test::CollectedErrors trap;
        rs.value("assid");
        rs.edit();
        rs.deleteRow();
        QCOMPARE(trap.numbers,
                 (QList<int>{ErrNoCurrentRecord, ErrNoCurrentRecord, ErrNoCurrentRecord}));
    }
    rs.moveNext();
    QCOMPARE(rs.value("assid").toInt(), 3);
    rs.deleteRow();
    rs.movePrevious(); // skips the deleted keys
    QCOMPARE(rs.value("assid").toInt(), 1);
    QCOMPARE(ids(rs, "assid"), "1,4");

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

// Optimistic locking with row versions: a row another program deleted or changed after
// it was read is not written. A deleted row raises ErrRowDeleted, a changed one
// ErrRowChanged; either writes nothing and leaves the edit pending. Taking the stored
// version writes the edit over the other's change; reading the row again shows it. Every
// update counts, the other's set-based ones too, and our own writes do not stand in our way.
void TestDatabase::rowsAnotherProgramDeletedOrChanged() {
    Rows site;
    OtherProgram other(site.folder.dbPath());
    auto stored = [&] {
        QStringList rows;
        const QStringList ids = site.folder.texts("select assid from assign order by assid");
        const QVariantList parts = site.folder.column("select parts from assign order by assid");
        for (qsizetype i = 0; i < ids.size(); ++i)
            rows << ids[i] + u':' + QString::number(parts.value(i).toDouble());
        return rows.join(u' ');
    };
    Recordset rs = site.db.openRecordset("select * from assign order by assid");
    rs.moveNext(); // assid 2, read
    rs.edit();
    rs.setValue("parts", 7);
    QCOMPARE(other.exec("DELETE FROM assign WHERE assid = 2"), SQLITE_OK);
    {
        test::CollectedErrors trap;
        rs.update();
        rs.update(); // still pending: refused again, not taken for an update
                     // without edit
        QCOMPARE(trap.numbers, (QList<int>{ErrRowDeleted, ErrRowDeleted}));
        QCOMPARE(trap.texts.value(0), "Another user deleted this record after it was read.");
    }
    QCOMPARE(stored(), "1:1.5 3:0 4:0");
    rs.cancelUpdate();

    // Changed by a set-based statement of the other program after it was read, and
    // before the edit began: nothing is written.
    rs.moveNext(); // assid 3
    QCOMPARE(rs.value("assid").toInt(), 3);
    QCOMPARE(other.exec("UPDATE assign SET labor = 6 WHERE assid >= 3"), SQLITE_OK);
    rs.edit();
    rs.setValue("parts", 8);
    {
        test::CollectedErrors trap;
        rs.update();
        // A field read for the first time now does not take the change as seen.
        QCOMPARE(rs.value("labor").toDouble(), 6.0);
        rs.update();
        QCOMPARE(trap.numbers, (QList<int>{ErrRowChanged, ErrRowChanged}));
        QCOMPARE(trap.texts.value(0), "Another user changed this record after it was read; it "
                                      "was not written over their changes.");
    }
    QCOMPARE(stored(), "1:1.5 3:0 4:0");
    // Written over the other's change once its version is taken; the columns not set keep
    // what the other wrote.
    rs.takeStoredVersion();
    rs.update();
    QCOMPARE(stored(), "1:1.5 3:8 4:0");
    QCOMPARE(site.text("select labor from assign where assid = 3"), "6");
    // Our own writes, twice in a row, are no one else's.
    rs.edit();
    rs.setValue("parts", 9);
    rs.update();
    rs.edit();
    rs.setValue("parts", 10);
    rs.update();
    QCOMPARE(stored(), "1:1.5 3:10 4:0");

    // Reading again shows the other's change and ends the edit.
    rs.moveNext(); // assid 4
    rs.edit();
    rs.setValue("parts", 11);
    QCOMPARE(other.exec("UPDATE assign SET parts = 5 WHERE assid = 4"), SQLITE_OK);
    rs.rereadCurrent();
    QCOMPARE(rs.value("parts").toDouble(), 5.0);
    {
        test::CollectedErrors trap;
        rs.update();
        QCOMPARE(trap.numbers, QList<int>{ErrUpdateWithoutEdit});
    }
    rs.edit();
    rs.setValue("parts", 12);
    rs.update();
    QCOMPARE(stored(), "1:1.5 3:10 4:12");

    // A row changed since it was read is not deleted; one deleted already is gone, as
    // asked, and says so.
    rs.moveFirst(); // assid 1
    QCOMPARE(other.exec("UPDATE assign SET compnotes = 'seen to' WHERE assid = 1"), SQLITE_OK);
    {
        test::CollectedErrors trap;
        rs.deleteRow();
        QCOMPARE(trap.numbers, QList<int>{ErrRowChanged});
    }
    QCOMPARE(stored(), "1:1.5 3:10 4:12");
    QCOMPARE(rs.value("assid").toInt(), 1);
    QCOMPARE(other.exec("DELETE FROM assign WHERE assid = 1"), SQLITE_OK);
    {
        test::CollectedErrors trap;
        rs.deleteRow();
        rs.value("assid");
        QCOMPARE(trap.numbers, (QList<int>{ErrRowDeleted, ErrNoCurrentRecord}));
    }
    QCOMPARE(stored(), "3:10 4:12");
    rs.moveFirst();
    QCOMPARE(rs.value("assid").toInt(), 3);

    // A joined table's row is checked by its own version.
    Recordset joined = site.db.openRecordset(
        "select assid, taskname from assign inner join tasks on assign.taskid = tasks.taskid "
        "order by assid");
    QCOMPARE(joined.value("taskname").toString(), "Boiler service");
    QCOMPARE(other.exec("UPDATE tasks SET manuf = 'Acme' WHERE taskid = 3"), SQLITE_OK);
    joined.edit();
    joined.setValue("taskname", "Boiler overhaul");
    {
        test::CollectedErrors trap;
        joined.update();
        QCOMPARE(trap.numbers, QList<int>{ErrRowChanged});
    }
    QCOMPARE(site.text("select taskname from tasks where taskid = 3"), "Boiler service");
}

// A table without a row version (the catalogue's, an older file's) is written as before:
// the last writer wins, and a row gone is the only conflict.
void TestDatabase::tablesWithoutVersionsWrittenAsBefore() {
    Rows site;
    site.folder.exec("CREATE TABLE notes (noteid INTEGER PRIMARY KEY, body TEXT);"
                     "INSERT INTO notes VALUES (1, 'first'), (2, 'second');");
    OtherProgram other(site.folder.dbPath());
    Recordset rs = site.db.openRecordset("select * from notes order by noteid");
    QCOMPARE(rs.value("body").toString(), "first");
    QCOMPARE(other.exec("UPDATE notes SET body = 'theirs' WHERE noteid = 1"), SQLITE_OK);
    rs.edit();
    rs.setValue("body", "mine");
    rs.update();
    QCOMPARE(site.text("select body from notes where noteid = 1"), "mine");
    rs.moveNext();
    QCOMPARE(other.exec("DELETE FROM notes WHERE noteid = 2"), SQLITE_OK);
    rs.edit();
    rs.setValue("body", "again");
    {
        test::CollectedErrors trap;
        rs.update();
        QCOMPARE(trap.numbers, QList<int>{ErrRowDeleted});
    }
    QCOMPARE(site.text("select count(*) from notes"), "1");
}

void TestDatabase::snapshotRefusesEdits() {
    Rows site;
    Recordset rs =
        site.db.openRecordset("select * from tasks order by taskname", RecordsetType::Snapshot);
    QCOMPARE(rs.type(), RecordsetType::Snapshot);
    QCOMPARE(ids(rs, "taskname"), "Air filter,Boiler service,Pump inspection");
    rs.moveFirst();
    test::CollectedErrors trap;
    rs.edit();
    rs.addNew();
    rs.deleteRow();
    rs.update();
    QCOMPARE(trap.numbers,
             (QList<int>{ErrReadOnly, ErrReadOnly, ErrReadOnly, ErrUpdateWithoutEdit}));
    QCOMPARE(site.text("select count(*) from tasks"), "3");

    // A result that is no table's rows cannot be edited either, whatever it was
    // opened as.
    Recordset totals =
        site.db.openRecordset("select taskid, count(*) as n from assign group by taskid");
    trap.numbers.clear();
    totals.edit();
    QCOMPARE(trap.numbers, QList<int>{ErrReadOnly});
    QCOMPARE(ids(totals, "n"), "2,1,1");
}

void TestDatabase::snapshotKeepsEveryValue() {
    SKIP_ON_SERVER("SQLite's storage classes are the file's own");
    // Values of every storage class in columns of every kind, as another tool may
    // leave them (a MEMO column keeps numbers as numbers). A snapshot's copy
    // reads each of them as a dynaset reads it straight from the file, and its
    // finds compare them as stored.
    test::TempDatabase folder(2005,
                              "CREATE TABLE mixed (id INTEGER PRIMARY KEY, m MEMO, n LONG, r "
                              "DOUBLE, d DATETIME, a);"
                              "INSERT INTO mixed VALUES (1, 42, 300, 2.5, '2005-01-03', x'00ff'),"
                              "  (2, 2.5, 70000, 7, '2005-01-05 14:30:00', -5000000000),"
                              "  (3, replace(hex(zeroblob(300)), '00', 'x'), -100, NULL, 5, "
                              "'caf\u00e9'),"
                              "  (4, x'41', 1.6, -1e300, NULL, NULL),"
                              "  (5, '', 9223372036854775807, 0.1, 'soon', x''),"
                              "  (6, NULL, NULL, NULL, '2005-02-30', NULL);");
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors trap;
    const QString sql = "select * from mixed order by id";
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
        dates << snapshot.value("d");
    }
    QVERIFY(snapshot.isEOF());
    // A text that is no date, or names a day that does not exist, stays the text
    // it is.
    QCOMPARE(dates, (QVariantList{QDate(2005, 1, 3), QDateTime(QDate(2005, 1, 5), QTime(14, 30)), 5,
                                  QVariant(), "soon", "2005-02-30"}));

    const QList<std::pair<const char*, int>> finds = {
        {"m = 42", 1}, {"n = 70000", 2}, {"r = 7", 2}, {"len(m) = 300", 3}, {"a = -5000000000", 2}};
    for (const auto& [criteria, id] : finds) {
        snapshot.findFirst(QString::fromLatin1(criteria));
        QVERIFY2(!snapshot.noMatch(), criteria);
        QCOMPARE(snapshot.value("id").toInt(), id);
    }
    QCOMPARE(trap.numbers, QList<int>{});
}

void TestDatabase::lockedDatabase() {
    SKIP_ON_SERVER("the file's locks are its own; the server's are tested with the save loop");
    Rows site;
    Recordset rs = site.db.openRecordset("select * from tasks order by taskid");
    rs.edit();
    rs.setValue("taskname", "Mine");

    OtherProgram other(site.folder.dbPath());
    QCOMPARE(other.exec("BEGIN IMMEDIATE; UPDATE tasks SET taskname = 'Theirs' "
                        "WHERE taskid = 2;"),
             SQLITE_OK);
    {
        test::CollectedErrors trap;
        rs.update(); // the save loop would call this again while the lock lasts
        rs.update();
        site.db.execute("delete * from tasks where taskid = 3");
        Recordset other3 = site.db.openRecordset("select * from tasks");
        other3.moveLast();
        other3.deleteRow();
        other3.addNew();
        other3.setValue("taskname", "New");
        other3.update();
        QCOMPARE(trap.numbers, (QList<int>{ErrLockedByUser, ErrLockedByUser, ErrLockedByUser,
                                           ErrLockedByUser, ErrLockedByUser}));
    }
    // Reads still work while another program writes (it only holds a write lock)
    // ...
    QCOMPARE(rs.value("taskname").toString(), "Mine");
    QCOMPARE(other.exec("COMMIT"), SQLITE_OK);
    // ... and the edit kept for the retry goes through once the lock is gone.
    rs.update();
    QCOMPARE(site.text("select group_concat(taskname, '|') from (select taskname from tasks "
                       "order by taskid)"),
             "Mine|Theirs|Boiler service");

    // A program that locks the file for reading too makes reads fail as locked
    // records.
    QCOMPARE(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    {
        test::CollectedErrors trap;
        QVERIFY(!site.db.openRecordset("select * from tasks").isOpen());
        QCOMPARE(trap.numbers, QList<int>{ErrRecordLocked});
    }
    other.exec("ROLLBACK");

    // Outside a trap the lock is an exception with the locked-record number.
    QCOMPARE(other.exec("BEGIN IMMEDIATE; DELETE FROM taskweeks;"), SQLITE_OK);
    try {
        site.db.execute("delete * from tasks");
        QFAIL("no lock error");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrLockedByUser);
    }
    other.exec("ROLLBACK");
}

// A reader of another program holds up the commit of a row's update or delete:
// the write fails as locked, is undone and holds nothing, so that the other
// program can go on and the save loop's retry finds the row as it was.
void TestDatabase::writesHeldUpByAReader() {
    SKIP_ON_SERVER("the file's locks are its own; the server's are tested with the save loop");
    Rows site;
    Recordset rs = site.db.openRecordset("select * from tasks order by taskid");
    OtherProgram other(site.folder.dbPath());
    // An edit of the current row's name, then its deletion: the errors each
    // raised.
    auto editThenDelete = [&rs] {
        test::CollectedErrors trap;
        rs.edit();
        rs.setValue("taskname", "Mine");
        rs.update();
        rs.cancelUpdate();
        rs.deleteRow();
        return trap.numbers;
    };
    QCOMPARE(other.exec("BEGIN; SELECT count(*) FROM tasks;"), SQLITE_OK);
    QCOMPARE(editThenDelete(), (QList<int>{ErrLockedByUser, ErrLockedByUser}));
    QCOMPARE(other.exec("ROLLBACK; BEGIN IMMEDIATE; ROLLBACK;"), SQLITE_OK);
    QCOMPARE(site.text("select count(*) from tasks"), "3");
    QCOMPARE(rs.value("taskid").toInt(), 1);

    // A transaction the engine ended by itself (as after a full disk or an I/O
    // error) refuses the writes that follow until it ends, a delete as an update:
    // neither may be committed on its own while the operation still stands.
    {
        Transaction work(site.db);
        QCOMPARE(sqlite3_exec(site.db.handle(), "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
        const QList<int> numbers = editThenDelete();
        QCOMPARE(numbers.size(), 2);
        QCOMPARE(numbers.at(1), numbers.at(0));
    }
    QCOMPARE(site.text("select group_concat(taskname, '|') from "
                       "(select taskname from tasks order by taskid)"),
             "Pump inspection|Air filter|Boiler service");

    rs.deleteRow();
    QCOMPARE(site.text("select group_concat(taskid) from tasks"), "2,3");
}

void TestDatabase::transactionKeepsItsWorkTogether() {
    SKIP_ON_SERVER("the file's locks are its own; the server's are tested with the save loop");
    Rows site;
    Recordset tasks = site.db.openRecordset("select * from tasks order by taskid");
    auto addTask = [&tasks](const QString& name) {
        tasks.addNew();
        tasks.setValue("taskname", name);
        tasks.update();
    };
    const QString names = "select group_concat(taskname, '|') from (select "
                          "taskname from tasks order by taskid)";

    // Not committed: undone as a whole, here by a failure that unwinds outside
    // any trap.
    try {
        Transaction work(site.db);
        site.db.execute("ALTER TABLE assign ADD COLUMN extra LONG;");
        site.db.execute("delete * from assign where taskid = 1");
        addTask("Undone"); // a recordset write joins the transaction
        site.db.execute("delete * from nosuchtable");
        QFAIL("no error");
    } catch (const DataException& e) {
        QCOMPARE(e.error().number, ErrTableNotFound);
    }
    QCOMPARE(site.text("select count(*) from assign"), "4");
    QCOMPARE(site.text(names), "Pump inspection|Air filter|Boiler service");
    QCOMPARE(site.text("select count(*) from pragma_table_info('assign') where "
                       "name = 'extra'"),
             "0");
    OtherProgram other(site.folder.dbPath());
    QCOMPARE(other.exec("DELETE FROM taskweeks"), SQLITE_OK); // nothing is held

    // Committed: all of it, with what an inner transaction undid left out.
    {
        Transaction work(site.db);
        site.db.execute("delete * from assign where taskid = 1");
        FreeLocks(); // the engine's idle call leaves an open transaction alone
        {
            Transaction inner(site.db);
            site.db.execute("delete * from tasks where taskid = 3");
        }
        {
            Transaction inner(site.db);
            site.db.execute("delete * from tasks where taskid = 2");
            inner.commit();
        }
        addTask("Kept");
        work.commit();
        QVERIFY(!work.isActive());
    }
    QCOMPARE(site.text("select count(*) from assign"), "2");
    QCOMPARE(site.text(names), "Pump inspection|Boiler service|Kept");

    // A commit a reader of another program holds up keeps the work, to be tried
    // again once the reader is gone; not tried again, it is undone and holds
    // nothing. A start while another program writes fails and holds nothing.
    QCOMPARE(other.exec("BEGIN; SELECT count(*) FROM tasks;"), SQLITE_OK);
    {
        test::CollectedErrors trap;
        Transaction work(site.db);
        site.db.execute("delete * from assign");
        QVERIFY(!work.commit());
        QVERIFY(work.isActive());
        QCOMPARE(trap.numbers, QList<int>{ErrLockedByUser});
    }
    QCOMPARE(other.exec("ROLLBACK; BEGIN IMMEDIATE;"), SQLITE_OK);
    QCOMPARE(site.text("select count(*) from assign"), "2");
    {
        test::CollectedErrors trap;
        Transaction work(site.db);
        QVERIFY(!work.isActive());
        QCOMPARE(trap.numbers, QList<int>{ErrLockedByUser});
    }
    QCOMPARE(other.exec("ROLLBACK"), SQLITE_OK);
}

void TestDatabase::freeLocksEndsWhatHoldsALock() {
    SKIP_ON_SERVER("the file's locks are its own; the server's are tested with the save loop");
    Rows site;
    // Open recordsets hold nothing: another program can write at once.
    Recordset rs = site.db.openRecordset("select * from assign order by duedate");
    rs.moveNext();
    OtherProgram other(site.folder.dbPath());
    QCOMPARE(other.exec("UPDATE assign SET parts = 2 WHERE assid = 4"), SQLITE_OK);

    // A transaction left open by a failure holds the file until FreeLocks ends
    // it.
    site.db.executeScript("BEGIN; SELECT count(*) FROM assign;");
    QCOMPARE(other.exec("UPDATE assign SET parts = 3 WHERE assid = 4"), SQLITE_BUSY);
    FreeLocks();
    QCOMPARE(other.exec("UPDATE assign SET parts = 3 WHERE assid = 4"), SQLITE_OK);
}

// A damaged page of assign: the damaged file is kept beside the new one,
// unchanged, and the repaired file keeps its counters ahead of every key given
// out. (Which rows a damaged page costs is tst_repair's matter.)
void TestDatabase::repairKeepsReadableRows() {
    SKIP_ON_SERVER("damaged pages and their repair are the file's own");
    Rows site;
    site.folder.exec("DELETE FROM assign; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i "
                     "+ 1 FROM n "
                     "WHERE i < 2000) INSERT INTO assign (assid, taskid, weeid, duedate, "
                     "completed, compnotes) "
                     "SELECT i, 1, 1, '2005-01-03', 0, printf('%0300d', i) FROM n; "
                     "INSERT INTO sqlite_sequence (name, seq) SELECT 'assign', 5000 WHERE NOT "
                     "EXISTS "
                     "(SELECT 1 FROM sqlite_sequence WHERE name = 'assign'); "
                     "UPDATE sqlite_sequence SET seq = 5000 WHERE name = 'assign';");
    site.db.close();
    const QString path = site.folder.dbPath();
    const QList<qint64> leaves =
        RawDb(path).column("SELECT pageno FROM dbstat WHERE name = 'assign' AND "
                           "pagetype = 'leaf' ORDER BY path");
    const qint64 page = leaves.value(leaves.size() / 2);
    QVERIFY(page > 1);
    {
        constexpr int PageSize = 4096;
        QByteArray garbage(PageSize, Qt::Uninitialized);
        QRandomGenerator random{quint32(page)};
        for (char& c : garbage)
            c = char(random.bounded(256));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek((page - 1) * PageSize));
        f.write(garbage);
    }
    const QByteArray damagedBytes = readFile(path);

    Database::repair(path);
    const QString backup = site.folder.file("tavrel-damaged-1.mdb");
    QCOMPARE(readFile(backup), damagedBytes);
    {
        Database db = Database::open(path);
        Recordset rs = db.openRecordset("select * from assign");
        rs.addNew();
        QCOMPARE(rs.value("assid").toInt(), 5001);
        rs.cancelUpdate();
    }
    // A second repair keeps the first backup.
    Database::repair(path);
    QVERIFY(QFile::exists(site.folder.file("tavrel-damaged-2.mdb")));
    QCOMPARE(readFile(backup), damagedBytes);
}

void TestDatabase::repairGivesACompleteTaskDatabase_data() {
    // How the file is spoilt, the year its weeks must have afterwards, and the
    // assignments it keeps (empty: any).
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("assignments");
    QTest::newRow("not a database") << "text" << 2007 << "";
    // The settings and weeks pages are intact: their rows, and so the year,
    // survive.
    QTest::newRow("schema page zeroed") << "zero page 1" << 2004 << "";
    QTest::newRow("tables missing, year kept") << "partial" << 2004 << "1,2,3,4";
    // Only the header's magic text: the file no longer opens, and every row comes
    // back.
    QTest::newRow("header overwritten") << "header" << 2004 << "1,2,3,4";
}

void TestDatabase::repairGivesACompleteTaskDatabase() {
    SKIP_ON_SERVER("damaged pages and their repair are the file's own");
    QFETCH(QString, spoil);
    QFETCH(int, year);
    QFETCH(QString, assignments);
    test::TempDatabase folder(2004, QString::fromUtf8(SomeRows));
    test::CollectedErrors trap;
    if (spoil == "partial") {
        // A file that lost some tables and rows of others, with two settings rows.
        folder.exec("DROP TABLE managers; DROP TABLE types; DELETE FROM weeks "
                    "WHERE weeid > 10; "
                    "INSERT INTO settings (CurYear) VALUES (2010);");
    } else {
        QFile f(folder.dbPath());
        QVERIFY(f.open(QIODevice::ReadWrite));
        constexpr int PageSize = 4096;
        f.write(spoil == "text" ? QByteArray("Meeting notes: not a database at all.\n")
                                      .repeated(int(f.size() / 16 + 1))
                : spoil == "header" ? QByteArray("Garbage, really!")
                                    : QByteArray(PageSize, '\0'));
        f.close();
        if (spoil == "header") {
            QVERIFY(!Database::open(folder.dbPath()).isOpen());
            QCOMPARE(trap.numbers, QList<int>{ErrDatabaseDamaged});
            trap.numbers.clear();
        }
    }
    const QString kept = Database::repair(folder.dbPath(), 2007);
    QCOMPARE(trap.numbers, QList<int>{});
    QCOMPARE(kept, folder.file("tavrel-damaged-1.mdb"));
    QVERIFY(QFile::exists(kept));

    RawDb repaired(folder.dbPath());
    QCOMPARE(repaired.text("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master "
                           "WHERE "
                           "type = 'table' AND name IN ('tasks', 'taskweeks', 'weeks', "
                           "'assign', 'employees', 'managers', 'locations', 'types', "
                           "'settings', 'digestsent') ORDER BY name)"),
             "assign,digestsent,employees,locations,managers,settings,tasks,taskweeks,types,"
             "weeks");
    // Every index comes back, whatever was lost of the schema.
    QCOMPARE(repaired.text("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master WHERE "
                           "type = 'index' AND name NOT LIKE 'sqlite_%' ORDER BY name)"),
             "assign_duedate,assign_taskid,digestsent_recipient,tasks_taskname,taskweeks_taskid");
    QCOMPARE(repaired.text("SELECT count(*) || ' ' || group_concat(CurYear) FROM settings"),
             QString("1 %1").arg(year));
    const QList<QDate> mondays = weekMondays(year);
    QCOMPARE(repaired.text("SELECT count(*) || ' ' || count(DISTINCT weeid) || ' ' || "
                           "min(curdate) || ' ' || max(curdate) FROM weeks"),
             QString("52 52 %1 %2")
                 .arg(mondays.first().toString(Qt::ISODate), mondays.last().toString(Qt::ISODate)));
    // The rows the file still held are all there.
    if (!assignments.isEmpty())
        QCOMPARE(repaired.text("SELECT group_concat(assid) FROM (SELECT assid FROM assign ORDER "
                               "BY assid)"),
                 assignments);

    // The program's own layer opens it and finds the columns it needs.
    Database db = Database::open(folder.dbPath());
    QVERIFY(
        db.openRecordset("select typdesc, manfirst from types, managers", RecordsetType::Snapshot)
            .isOpen());
    QCOMPARE(trap.numbers, QList<int>{});
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
