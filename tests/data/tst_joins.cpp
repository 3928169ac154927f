// Recordsets over joins: finds with the names values take, snapshots that keep the rows
// they were opened with, and walks that read rows in runs and still show every row right.

#include "data/database.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/transaction.h"
#include "support/otherprogram.h"
#include "support/tempdatabase.h"

#include <QTest>

#include <sqlite3.h>

using namespace tavrel;

using namespace Qt::StringLiterals;

namespace {

// assign.locid differs from the task's locid; assign.empid from the task's empid.
const char* const JoinRows = R"SQL(
INSERT INTO locations (locid, locdesc) VALUES (1, 'Basement'), (2, 'Roof'), (3, 'Yard');
INSERT INTO tasks (taskid, taskname, locid, empid) VALUES
    (1, 'Pump inspection', 1, 1), (2, 'Air filter', 3, NULL), (3, 'Boiler service', 2, 2);
INSERT INTO assign (assid, taskid, weeid, duedate, completed, locid, empid) VALUES
    (1, 1, 1, '2005-01-03', 0, 3, 2),
    (2, 2, 1, '2005-01-03', 1, 1, NULL),
    (3, 3, 2, '2005-01-10', 0, 3, 1),
    (4, 1, 2, '2005-01-10', 0, NULL, NULL);
)SQL";

const char* const ByTaskName = "select * from assign left join tasks on assign.taskid = "
                               "tasks.taskid order by taskname, assid";

QString walkValues(Recordset& rs, const QString& field, bool backwards = false) {
    QStringList out;
    if (backwards)
        for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
            out.prepend(rs.value(field).toString());
    else
        for (rs.moveFirst(); !rs.isEOF(); rs.moveNext())
            out << rs.value(field).toString();
    return out.join(QLatin1Char(','));
}

// Another program's connection to the same database.
void otherProgram(const QString& path, const char* sql) {
    QCOMPARE(test::OtherProgram(path).exec(sql), SQLITE_OK);
}

} // namespace

class TestJoins : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void findsOverJoins_data();
    void findsOverJoins();
    void snapshotsAreStatic();
    void walksReadEveryRowOfAJoin_data();
    void walksReadEveryRowOfAJoin();
};

void TestJoins::findsOverJoins_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<QString>("found"); // assid of FindFirst, then of FindNext; "" for no match
    for (int type : {int(RecordsetType::Dynaset), int(RecordsetType::Snapshot)}) {
        const QString kind = type == int(RecordsetType::Dynaset) ? u"dynaset: "_s : u"snapshot: "_s;
        auto row = [&](const char* name, const char* sql, const char* criteria, const char* found) {
            QTest::newRow(qPrintable(kind + QString::fromUtf8(name)))
                << QString::fromUtf8(sql) << type << QString::fromUtf8(criteria)
                << QString::fromUtf8(found);
        };
        row("repeated name is the base table's", ByTaskName, "locid = 3", "3,1");
        row("repeated name with a function", ByTaskName, "Nz(empid, 0) = 0", "2,4");
        row("qualified joined column", ByTaskName, "tasks.locid = 1", "1,4");
        if (type == int(RecordsetType::Dynaset)) // a copy holds no tables to ask
            row("subquery keeps its own names", ByTaskName,
                "assign.taskid in (select taskid from tasks where locid = 3)", "2");
        row("table alias",
            "select * from assign as a left join tasks as t on a.taskid = t.taskid order by "
            "taskname, a.assid",
            "a.locid = 3 and t.locid = 2", "3");
        row("select-list alias",
            "select a.assid as id, a.locid as place, taskname from assign as a left join tasks "
            "on a.taskid = tasks.taskid order by taskname, a.assid",
            "place = 3", "3,1");
        row("nested joins",
            "select * from (assign left join tasks on assign.taskid = tasks.taskid) left join "
            "locations on tasks.locid = locations.locid order by assign.assid",
            "locid = 3 and locdesc = 'Basement'", "1");
    }
}

void TestJoins::findsOverJoins() {
    QFETCH(QString, sql);
    QFETCH(int, type);
    QFETCH(QString, criteria);
    QFETCH(QString, found);
    test::TempDatabase folder(2005, QString::fromUtf8(JoinRows));
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    Recordset rs = db.openRecordset(sql, RecordsetType(type));
    const QString idField = sql.contains(u" as id"_s) ? u"id"_s : u"assid"_s;
    QStringList ids;
    rs.findFirst(criteria);
    while (!rs.noMatch() && errors.texts.isEmpty()) {
        ids << rs.value(idField).toString();
        rs.findNext(criteria);
    }
    QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join(u'\n')));
    QCOMPARE(ids.join(QLatin1Char(',')), found);
}

void TestJoins::snapshotsAreStatic() {
    test::TempDatabase folder(2005, QString::fromUtf8(JoinRows));
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    Recordset snapshot = db.openRecordset(QString::fromUtf8(ByTaskName), RecordsetType::Snapshot);
    Recordset single =
        db.openRecordset(u"select * from tasks order by taskname"_s, RecordsetType::Snapshot);
    const QString names = QStringLiteral("Air filter,Boiler service,Pump inspection,Pump "
                                         "inspection");
    QCOMPARE(walkValues(snapshot, u"taskname"_s), names);

    // Edits through the program, inside a transaction that is then undone, and for good;
    // and edits of another program.
    {
        Transaction undone(db);
        Recordset late = db.openRecordset(u"select * from tasks"_s, RecordsetType::Snapshot);
        db.execute(u"delete * from tasks"_s);
        undone.rollback();
        QCOMPARE(walkValues(late, u"taskid"_s), u"1,2,3"_s);
    }
    db.execute(u"update tasks set taskname = 'Fan belt' where taskid = 1"_s);
    db.execute(u"delete * from assign where assid = 2"_s);
    otherProgram(folder.dbPath(), "INSERT INTO assign (assid, taskid, duedate) VALUES (9, 3, "
                                  "'2005-02-07'); UPDATE tasks SET taskname = 'Zinc' WHERE "
                                  "taskid = 2; DELETE FROM tasks WHERE taskid = 3;");

    QCOMPARE(snapshot.recordCount(), 4);
    QCOMPARE(walkValues(snapshot, u"taskname"_s), names);
    QCOMPARE(walkValues(snapshot, u"tasks.taskname"_s, true), names);
    QCOMPARE(walkValues(snapshot, u"assid"_s), u"2,3,1,4"_s);
    QCOMPARE(walkValues(single, u"taskname"_s), u"Air filter,Boiler service,Pump inspection"_s);
    // Finds search the rows as they were too.
    snapshot.findFirst(u"taskname = 'Pump inspection' and locid = 3"_s);
    QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join(u'\n')));
    QCOMPARE(snapshot.value(u"assid"_s).toInt(), 1);
    snapshot.findFirst(u"taskname = 'Fan belt'"_s);
    QVERIFY(snapshot.noMatch());
    QCOMPARE(errors.texts, QStringList{});

    // A dynaset opened now shows the file as it is.
    Recordset now = db.openRecordset(QString::fromUtf8(ByTaskName));
    QCOMPARE(walkValues(now, u"assid"_s), u"3,9,1,4"_s);
    QCOMPARE(walkValues(now, u"taskname"_s), u",,Fan belt,Fan belt"_s);
}

void TestJoins::walksReadEveryRowOfAJoin_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("dynaset") << int(RecordsetType::Dynaset);
    QTest::newRow("snapshot") << int(RecordsetType::Snapshot);
}

void TestJoins::walksReadEveryRowOfAJoin() {
    // Enough rows for many runs, a task with several weeks (the join repeats its base row),
    // a task without weeks, and rows read forwards, backwards and from the middle.
    QFETCH(int, type);
    constexpr int Tasks = 150;
    QString sql;
    for (int t = 1; t <= Tasks; ++t) {
        sql += u"INSERT INTO tasks (taskid, taskname) VALUES (%1, 'Task %2');"_s.arg(t).arg(
            Tasks - t, 3, 10, QLatin1Char('0'));
        for (int w = 1; w <= t % 4; ++w)
            sql += u"INSERT INTO taskweeks (taskid, weeid) VALUES (%1, %2);"_s.arg(t).arg(w * 10 +
                                                                                          t % 7);
    }
    test::TempDatabase folder(2005, sql);
    Database db = Database::open(folder.dbPath());
    const QString query =
        QStringLiteral("select tasks.taskid, taskname, weeid from tasks left join "
                       "taskweeks on tasks.taskid = taskweeks.taskid order by "
                       "taskname desc, weeid");
    // What the rows must be: the same query run by the database itself.
    const QStringList expected =
        folder.texts("SELECT CAST(taskid AS TEXT) || '/' || coalesce(CAST(weeid AS TEXT), '') "
                     "FROM (" +
                     query + ") AS q");
    QVERIFY(expected.size() > 3 * 64);

    Recordset rs = db.openRecordset(query, RecordsetType(type));
    auto here = [&] {
        const QVariant week = rs.value(u"weeid"_s);
        return u"%1/%2"_s.arg(rs.value(u"taskid"_s).toInt())
            .arg(week.isNull() ? QString() : week.toString());
    };
    QStringList forwards;
    for (rs.moveFirst(); !rs.isEOF(); rs.moveNext())
        forwards << here();
    QCOMPARE(forwards, expected);
    QStringList backwards;
    for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
        backwards.prepend(here());
    QCOMPARE(backwards, expected);

    // A field asked for the first time half-way through a walk.
    rs.moveFirst();
    for (int i = 0; i < 100; ++i)
        rs.moveNext();
    QCOMPARE(rs.value(u"taskname"_s).toString(),
             u"Task %1"_s.arg(Tasks - expected.at(100).section(u'/', 0, 0).toInt(), 3, 10,
                              QLatin1Char('0')));
    QCOMPARE(here(), expected.at(100));

    if (RecordsetType(type) == RecordsetType::Dynaset) {
        // Rows deleted meanwhile are skipped, an edit shows at the next move, though the
        // rows around were read before.
        const int next = expected.at(101).section(u'/', 0, 0).toInt();
        const int previous = expected.at(99).section(u'/', 0, 0).toInt();
        db.execute(u"delete * from tasks where taskid = %1"_s.arg(next));
        db.execute(u"update tasks set taskname = 'Changed' where taskid = %1"_s.arg(previous));
        rs.moveNext();
        QVERIFY(rs.value(u"taskid"_s).toInt() != next);
        rs.moveFirst();
        for (int i = 0; i < 99; ++i)
            rs.moveNext();
        QCOMPARE(rs.value(u"taskname"_s).toString(), u"Changed"_s);
    }
}

QTEST_GUILESS_MAIN(TestJoins)
#include "tst_joins.moc"
