// Recordsets, writes and transactions on a server database: the recordset contract (moves,
// finds, values, edits, keysets over joins, static copies, batches), rows another planner
// holds or changed, transactions and a connection lost on the way.

#include "data/database.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgconnection.h"
#include "data/transaction.h"
#include "support/testserver.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <libpq-fe.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace tavrel;

namespace {

const char* const SomeRows = R"SQL(
INSERT INTO locations (locid, locdesc) VALUES (1, 'Basement'), (2, 'Roof');
INSERT INTO tasks (taskid, taskname, locid, empid, purchdate) VALUES
    (1, 'Pump inspection', 1, 1, '2004-06-01'), (2, 'air filter', 2, NULL, NULL),
    (3, 'Boiler service', NULL, 2, NULL);
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'John', 'Smith'), (2, 'Mary', 'Adams');
INSERT INTO assign (assid, taskid, weeid, duedate, completed, compdate, locid, parts) VALUES
    (1, 1, 1, '2005-01-03', 0, NULL, 2, 1.5),
    (2, 2, 1, '2005-01-03', -1, '2005-01-05 14:30:00', NULL, 0),
    (3, 3, 2, '2005-01-10', 0, NULL, 1, 0),
    (4, 1, 2, '2005-01-10', 0, NULL, NULL, 0);
)SQL";

// A fresh server database with the program's schema and SomeRows, open through the
// program's layer.
struct Site {
    test::ServerDatabase pg;
    Database db;

    Site() {
        QFile schema(QStringLiteral(TAVREL_PG_SCHEMA));
        if (!pg.isValid() || !schema.open(QIODevice::ReadOnly))
            return;
        db = Database::open(pg.url());
        db.executeScript(QString::fromUtf8(schema.readAll()));
        db.executeScript(QString::fromUtf8(SomeRows));
    }
    QString text(const QString& sql) const { return pg.scalar(sql).toString(); }
    // Tasks 10 to rows + 9, named "Task 00010" and on, each with as many hours as its key.
    bool addNumberedTasks(int rows) const {
        return pg.exec(QStringLiteral("INSERT INTO tasks (taskid, taskname, reqhour) SELECT g, "
                                      "'Task ' || lpad(g::text, 5, '0'), "
                                      "g FROM generate_series(10, %1) AS g")
                           .arg(rows + 9));
    }
};

// The tasks addNumberedTasks() adds, in the order of their names backwards.
const QString NumberedTasksBackwards =
    QStringLiteral("SELECT taskid, reqhour FROM tasks WHERE taskid >= 10 ORDER BY taskname DESC");

// A connection of another planner's, kept open between statements (a row lock lasts as long
// as its transaction).
class OtherPlanner {
public:
    explicit OtherPlanner(const QString& url)
        : conn_(PQconnectdb(url.toUtf8().constData())) {}
    ~OtherPlanner() { PQfinish(conn_); }
    bool run(const QString& sql) {
        PGresult* r = PQexec(conn_, sql.toUtf8().constData());
        const ExecStatusType status = PQresultStatus(r);
        const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
        if (!ok)
            qWarning("other planner: %s", PQresultErrorMessage(r));
        PQclear(r);
        return ok;
    }

private:
    PGconn* conn_;
};

// The number of the first error `work` raises (0 for none), caught by a trap of its own.
int errorOf(const std::function<void()>& work, DbError* raised = nullptr) {
    int number = 0;
    ErrorTrap trap([&](const DbError& e) {
        if (number == 0) {
            number = e.number;
            if (raised)
                *raised = e;
        }
    });
    work();
    return number;
}

QString walk(Recordset& rs, const QString& field, bool backwards = false) {
    QStringList out;
    if (backwards)
        for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
            out << rs.value(field).toString();
    else
        for (rs.moveFirst(); !rs.isEOF(); rs.moveNext())
            out << rs.value(field).toString();
    return out.join(QLatin1Char(','));
}

// Ends the server connections of the program on this database, as a server restart does.
bool dropConnections(const test::ServerDatabase& pg) {
    return pg.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE datname = current_database() AND pid <> pg_backend_pid() "
                                  "AND application_name = 'tavrel'"));
}

} // namespace

class TestServerRecordset : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void movesAndCounts();
    void valuesHaveTheFilesTypes();
    void findsInEachDirection_data();
    void findsInEachDirection();
    void editsAddsAndDeletes();
    void keysetOverAJoin();
    void staticCopies();
    void walksMoreRowsThanOneBatch();
    void longTextOrderReadInParts();
    void statementsBetweenRunsOfAWalk();
    void rowHeldByAnotherPlanner();
    void rowChangedSinceRead_data();
    void rowChangedSinceRead();
    void transactions();
    void lostConnection();
};

void TestServerRecordset::movesAndCounts() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    Recordset rs = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks ORDER BY taskname"));
    QVERIFY(rs.isOpen());
    QVERIFY(rs.recordCount() > 0);
    QVERIFY(!rs.isBOF() && !rs.isEOF());
    // Texts in the program's order: case is no difference.
    QCOMPARE(walk(rs, QStringLiteral("taskid")), QStringLiteral("2,3,1"));
    QCOMPARE(walk(rs, QStringLiteral("taskid"), true), QStringLiteral("1,3,2"));
    rs.moveLast();
    QCOMPARE(rs.recordCount(), 3);
    rs.moveNext();
    QVERIFY(rs.isEOF());
    rs.moveNext(); // stays past the end
    QVERIFY(rs.isEOF());
    rs.movePrevious();
    QCOMPARE(rs.value(QStringLiteral("taskid")).toInt(), 1);
    rs.moveFirst();
    rs.movePrevious();
    QVERIFY(rs.isBOF());

    // A table by its name: its rows in key order.
    Recordset table = site.db.openRecordset(QStringLiteral("assign"), RecordsetType::Table);
    QCOMPARE(walk(table, QStringLiteral("assid")), QStringLiteral("1,2,3,4"));

    Recordset none = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks WHERE taskid = 99"));
    QCOMPARE(none.recordCount(), 0);
    QVERIFY(none.isBOF() && none.isEOF());
    QCOMPARE(errorOf([&] { none.value(QStringLiteral("taskid")); }), ErrNoCurrentRecord);
    QCOMPARE(errorOf([&] { site.db.openRecordset(QStringLiteral("nosuchtable")); }),
             ErrTableNotFound);
    QCOMPARE(errorOf([&] { site.db.checkQuery(QStringLiteral("SELECT nosuch FROM tasks")); }),
             ErrSqlSyntax);
    QCOMPARE(errorOf([&] { site.db.checkQuery(QStringLiteral("SELECT taskid FROM tasks")); }), 0);
    QCOMPARE(errorOf([&] { rs.value(QStringLiteral("nosuch")); }), ErrItemNotFound);
}

void TestServerRecordset::valuesHaveTheFilesTypes() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    for (const RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset rs = site.db.openRecordset(
            QStringLiteral("SELECT * FROM assign WHERE assid IN (1, 2) ORDER BY assid"), type);
        QVERIFY(rs.isOpen());
        QCOMPARE(rs.value(QStringLiteral("assid")).typeId(), QMetaType::Int);
        QCOMPARE(rs.value(QStringLiteral("duedate")), QVariant(QDate(2005, 1, 3)));
        QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(false));
        QCOMPARE(rs.value(QStringLiteral("parts")), QVariant(1.5));
        QVERIFY(rs.value(QStringLiteral("compdate")).isNull());
        QVERIFY(rs.value(QStringLiteral("compnotes")).isNull());
        rs.moveNext();
        QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(true));
        QCOMPARE(rs.value(QStringLiteral("compdate")),
                 QVariant(QDateTime(QDate(2005, 1, 5), QTime(14, 30))));
        QVERIFY(rs.fieldNames().contains(QStringLiteral("taskid")));
    }
    // A yes/no value written by another program as any non-zero number reads as true.
    QVERIFY(site.pg.exec(QStringLiteral("UPDATE assign SET completed = 1 WHERE assid = 3")));
    Recordset rs =
        site.db.openRecordset(QStringLiteral("SELECT completed FROM assign WHERE assid = 3"));
    QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(true));
    Recordset text = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks WHERE taskid = 1"));
    QCOMPARE(text.value(QStringLiteral("taskname")), QVariant(QStringLiteral("Pump inspection")));
    QCOMPARE(text.value(QStringLiteral("purchdate")), QVariant(QDate(2004, 6, 1)));
}

void TestServerRecordset::findsInEachDirection_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("criteria");
    // Assignment ids found by findFirst, findNext, findLast, findPrevious.
    QTest::addColumn<QString>("found");
    const QString byDue = QStringLiteral("SELECT * FROM assign ORDER BY duedate, assid");
    QTest::newRow("dynaset") << byDue << int(RecordsetType::Dynaset) << QStringLiteral("taskid = 1")
                             << QStringLiteral("1,4,4,1");
    QTest::newRow("dynaset, text and date")
        << byDue << int(RecordsetType::Dynaset)
        << QStringLiteral("duedate = #1/10/2005# OR compnotes IS NOT NULL")
        << QStringLiteral("3,4,4,3");
    QTest::newRow("no match") << byDue << int(RecordsetType::Dynaset)
                              << QStringLiteral("taskid = 99") << QStringLiteral("-,-,-,-");
    QTest::newRow("join, a repeated name is the base table's")
        << QStringLiteral("SELECT assign.*, tasks.taskname, tasks.locid FROM assign "
                          "INNER JOIN tasks ON assign.taskid = tasks.taskid ORDER BY assign.assid")
        << int(RecordsetType::Dynaset) << QStringLiteral("locid = 2 OR taskname = 'boiler service'")
        << QStringLiteral("1,3,3,1");
    QTest::newRow("snapshot") << byDue << int(RecordsetType::Snapshot)
                              << QStringLiteral("taskid = 1") << QStringLiteral("1,4,4,1");
}

void TestServerRecordset::findsInEachDirection() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, sql);
    QFETCH(int, type);
    QFETCH(QString, criteria);
    QFETCH(QString, found);
    Site site;
    Recordset rs = site.db.openRecordset(sql, RecordsetType(type));
    QVERIFY(rs.isOpen());
    QStringList got;
    auto note = [&] {
        got << (rs.noMatch() ? QStringLiteral("-") : rs.value(QStringLiteral("assid")).toString());
    };
    rs.findFirst(criteria);
    note();
    rs.findNext(criteria);
    note();
    rs.findLast(criteria);
    note();
    rs.findPrevious(criteria);
    note();
    QCOMPARE(got.join(QLatin1Char(',')), found);
    QCOMPARE(errorOf([&] { rs.findFirst(QStringLiteral("nosuch = 1")); }), ErrSqlSyntax);
}

void TestServerRecordset::editsAddsAndDeletes() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    Recordset rs = site.db.openRecordset(QStringLiteral("SELECT * FROM assign ORDER BY assid"));
    rs.edit();
    rs.setValue(QStringLiteral("compnotes"), QStringLiteral("Done early"));
    rs.setValue(QStringLiteral("completed"), true);
    rs.setValue(QStringLiteral("compdate"), QDate(2005, 1, 4));
    rs.setValue(QStringLiteral("parts"), 12.25);
    QCOMPARE(rs.value(QStringLiteral("compnotes")), QVariant(QStringLiteral("Done early")));
    rs.update();
    QCOMPARE(
        site.text(QStringLiteral("SELECT compnotes || '|' || completed || '|' || compdate "
                                 "|| '|' || parts || '|' || rowver FROM assign WHERE assid = 1")),
        QStringLiteral("Done early|-1|2005-01-04 00:00:00|12.2500|1"));
    QCOMPARE(rs.value(QStringLiteral("parts")), QVariant(12.25));
    QCOMPARE(rs.value(QStringLiteral("rowver")), QVariant(1));

    // A cancelled edit writes nothing; an update without edit is refused.
    rs.edit();
    rs.setValue(QStringLiteral("compnotes"), QStringLiteral("never"));
    rs.cancelUpdate();
    QCOMPARE(rs.value(QStringLiteral("compnotes")), QVariant(QStringLiteral("Done early")));
    QCOMPARE(errorOf([&] { rs.update(); }), ErrUpdateWithoutEdit);
    QCOMPARE(errorOf([&] {
                 rs.edit();
                 rs.setValue(QStringLiteral("duedate"), QStringLiteral("soon"));
             }),
             ErrTypeMismatch);
    rs.cancelUpdate();

    // The new row's counter key is readable before update(), and is the key it is saved
    // under; columns not set take their defaults.
    rs.addNew();
    const int key = rs.value(QStringLiteral("assid")).toInt();
    QVERIFY(key > 4);
    QCOMPARE(rs.value(QStringLiteral("completed")), QVariant(false));
    QCOMPARE(rs.value(QStringLiteral("parts")), QVariant(0.0));
    rs.setValue(QStringLiteral("taskid"), 2);
    rs.setValue(QStringLiteral("duedate"), QDate(2005, 2, 7));
    rs.update();
    QCOMPARE(
        site.text(QStringLiteral("SELECT taskid || '|' || completed FROM assign WHERE assid = %1")
                      .arg(key)),
        QStringLiteral("2|0"));
    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), key);
    // A key reserved and not saved is never given out again.
    rs.addNew();
    const int skipped = rs.value(QStringLiteral("assid")).toInt();
    rs.cancelUpdate();
    rs.addNew();
    QVERIFY(rs.value(QStringLiteral("assid")).toInt() > skipped);
    rs.cancelUpdate();

    // Delete: no current row until the next move, which goes on with the row after it.
    rs.moveFirst();
    rs.moveNext();
    rs.deleteRow();
    QCOMPARE(errorOf([&] { rs.value(QStringLiteral("assid")); }), ErrNoCurrentRecord);
    // A row another program deleted before it was read is stepped over.
    QVERIFY(site.pg.exec(QStringLiteral("DELETE FROM assign WHERE assid = 4")));
    rs.moveNext();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
    QCOMPARE(site.text(QStringLiteral("SELECT count(*) FROM assign WHERE assid = 2")),
             QStringLiteral("0"));
    rs.moveNext();
    QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), key);

    Recordset copy =
        site.db.openRecordset(QStringLiteral("SELECT * FROM assign"), RecordsetType::Snapshot);
    QCOMPARE(errorOf([&] { copy.edit(); }), ErrReadOnly);
}

void TestServerRecordset::keysetOverAJoin() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    // Assignments with their task and, where there is one, the task's location: one key per
    // table, a missing location a row all the same.
    Recordset rs = site.db.openRecordset(QStringLiteral(
        "SELECT assign.assid, assign.locid, tasks.taskname, tasks.locid AS tasklocid, "
        "locations.locdesc FROM (assign INNER JOIN tasks ON assign.taskid = tasks.taskid) "
        "LEFT JOIN locations ON tasks.locid = locations.locid ORDER BY tasks.taskname, "
        "assign.assid"));
    QVERIFY(rs.isOpen());
    QCOMPARE(walk(rs, QStringLiteral("assid")), QStringLiteral("2,3,1,4"));
    QCOMPARE(walk(rs, QStringLiteral("locdesc")), QStringLiteral("Roof,,Basement,Basement"));
    rs.moveFirst();
    rs.moveNext();
    QVERIFY(rs.value(QStringLiteral("locations.locdesc")).isNull());
    // The joined table's row is written by its own key.
    rs.moveLast();
    rs.edit();
    rs.setValue(QStringLiteral("tasks.taskname"), QStringLiteral("Pump check"));
    rs.setValue(QStringLiteral("locid"), 1); // the base table's column
    rs.update();
    QCOMPARE(site.text(QStringLiteral("SELECT taskname FROM tasks WHERE taskid = 1")),
             QStringLiteral("Pump check"));
    QCOMPARE(site.text(QStringLiteral("SELECT locid FROM assign WHERE assid = 4")),
             QStringLiteral("1"));
    QCOMPARE(site.text(QStringLiteral("SELECT locid FROM tasks WHERE taskid = 1")),
             QStringLiteral("1"));
    // A base row the join repeats: each of its rows keeps its own values.
    Recordset repeated = site.db.openRecordset(
        QStringLiteral("SELECT tasks.taskid, assign.assid FROM tasks INNER JOIN assign ON "
                       "assign.taskid = tasks.taskid ORDER BY assign.assid DESC"));
    QCOMPARE(walk(repeated, QStringLiteral("assid")), QStringLiteral("4,3,2,1"));
    QCOMPARE(walk(repeated, QStringLiteral("taskid")), QStringLiteral("1,3,2,1"));
    // A table the join names twice, and an expression: each field reads its own value.
    Recordset twice = site.db.openRecordset(
        QStringLiteral("SELECT a.assid, b.assid AS later, Year(b.duedate) AS y FROM assign AS a "
                       "INNER JOIN assign AS b ON a.taskid = b.taskid WHERE a.assid < b.assid"));
    QCOMPARE(walk(twice, QStringLiteral("later")), QStringLiteral("4"));
    QCOMPARE(walk(twice, QStringLiteral("assid")), QStringLiteral("1"));
    QCOMPARE(walk(twice, QStringLiteral("y")), QStringLiteral("2005"));
    // No row of a table the join found nothing in to write.
    rs.moveFirst();
    rs.moveNext();
    rs.edit();
    rs.setValue(QStringLiteral("locdesc"), QStringLiteral("Attic"));
    QCOMPARE(errorOf([&] { rs.update(); }), ErrReadOnly);
}

void TestServerRecordset::staticCopies() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    // Totals are no table's rows: a static copy, typed as on the file.
    Recordset totals =
        site.db.openRecordset(QStringLiteral("SELECT taskid, count(*) AS n, sum(parts) AS spent "
                                             "FROM assign GROUP BY taskid ORDER BY taskid"));
    QVERIFY(totals.isOpen());
    QCOMPARE(totals.value(QStringLiteral("n")), QVariant(2));
    QCOMPARE(totals.value(QStringLiteral("spent")), QVariant(1.5));
    QCOMPARE(walk(totals, QStringLiteral("taskid")), QStringLiteral("1,2,3"));
    QCOMPARE(errorOf([&] { totals.edit(); }), ErrReadOnly);
    totals.findFirst(QStringLiteral("n = 1 AND taskid > 2"));
    QVERIFY(!totals.noMatch());
    QCOMPARE(totals.value(QStringLiteral("taskid")), QVariant(3));

    // A snapshot keeps the rows as they were when it opened.
    Recordset before = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks ORDER BY taskid"),
                                             RecordsetType::Snapshot);
    site.db.execute(QStringLiteral("UPDATE tasks SET taskname = 'Renamed' WHERE taskid = 1"));
    site.db.execute(QStringLiteral("DELETE FROM tasks WHERE taskid = 2"));
    QCOMPARE(walk(before, QStringLiteral("taskname")),
             QStringLiteral("Pump inspection,air filter,Boiler service"));
    QCOMPARE(site.db.rowsAffected(), 1);
    Recordset distinct = site.db.openRecordset(
        QStringLiteral("SELECT DISTINCT duedate FROM assign ORDER BY duedate"));
    QCOMPARE(walk(distinct, QStringLiteral("duedate")), QStringLiteral("2005-01-03,2005-01-10"));
}

void TestServerRecordset::walksMoreRowsThanOneBatch() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    // More rows than a keyset reads by one statement, and than a copy fetches at once.
    constexpr int Rows = 9000;
    QVERIFY(site.addNumberedTasks(Rows));
    for (const RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset rs = site.db.openRecordset(NumberedTasksBackwards, type);
        int n = 0;
        int expected = Rows + 9;
        bool inOrder = true;
        const quint64 before = detail::PgConnection::statementsSent();
        for (rs.moveFirst(); !rs.isEOF(); rs.moveNext(), ++n, --expected)
            inOrder = inOrder && rs.value(QStringLiteral("taskid")).toInt() == expected &&
                      rs.value(QStringLiteral("reqhour")).toDouble() == expected;
        QVERIFY(inOrder);
        QCOMPARE(n, Rows);
        // Rows come in batches: a walk costs a few dozen statements, not one a row.
        QVERIFY2(detail::PgConnection::statementsSent() - before < 50,
                 qPrintable(QString::number(detail::PgConnection::statementsSent() - before)));
        n = 0;
        for (rs.moveLast(); !rs.isBOF(); rs.movePrevious())
            ++n;
        QCOMPARE(n, Rows);
        QCOMPARE(rs.recordCount(), Rows);
        rs.findLast(QStringLiteral("taskid = 5000"));
        QCOMPARE(rs.value(QStringLiteral("taskid")), QVariant(5000));
    }
}

// A long walk asks for its next run before it needs it, and takes it when it gets there.
// Whatever the program does between two runs comes first and is seen: its own writes, a
// script, a transaction, another recordset's reads; each kind of statement once, then the
// walk goes on to its end.
void TestServerRecordset::statementsBetweenRunsOfAWalk() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    // Past the keys read at open, runs that double up to full length, and two runs of it.
    constexpr int Rows = 60000;
    QVERIFY(site.addNumberedTasks(Rows));
    // The row the walk reaches at each index, in the order of the names backwards.
    const auto taskAt = [](int index) { return Rows + 9 - index; };
    // Far enough into the walk that the next run has been asked for, and a row of that run.
    constexpr int Paused = 30000;
    constexpr int Changed = 40000;
    const QList<std::function<void(int)>> between = {
        [](int) {}, // nothing: the run asked for ahead is the one taken
        [&](int value) {
            site.db.execute(QStringLiteral("UPDATE tasks SET reqhour = %1 WHERE taskid = %2")
                                .arg(value)
                                .arg(taskAt(Changed)));
        },
        [&](int value) {
            site.db.executeScript(QStringLiteral("UPDATE tasks SET reqhour = %1 WHERE taskid = %2;"
                                                 "UPDATE tasks SET tools = 'x' WHERE taskid = 1;")
                                      .arg(value)
                                      .arg(taskAt(Changed)));
        },
        [&](int value) {
            Transaction t(site.db);
            Recordset one = site.db.openRecordset(
                QStringLiteral("SELECT * FROM tasks WHERE taskid = %1").arg(taskAt(Changed)));
            one.edit();
            one.setValue(QStringLiteral("reqhour"), value);
            one.update();
            QVERIFY(t.commit());
        },
        [&](int value) {
            Recordset other = site.db.openRecordset(
                QStringLiteral("SELECT count(*) AS n FROM tasks"), RecordsetType::Snapshot);
            QCOMPARE(other.value(QStringLiteral("n")).toInt(), Rows + 3);
            QVERIFY(site.pg.exec(QStringLiteral("UPDATE tasks SET reqhour = %1 WHERE taskid = %2")
                                     .arg(value)
                                     .arg(taskAt(Changed))));
        },
    };
    for (qsizetype kind = 0; kind < between.size(); ++kind) {
        const int value = -1 - int(kind);
        Recordset rs = site.db.openRecordset(NumberedTasksBackwards);
        int at = 0;
        bool inOrder = true;
        // Both fields read on every row, as a window's walk reads its columns.
        double seen = 0;
        const auto read = [&] {
            inOrder = inOrder && rs.value(QStringLiteral("taskid")).toInt() == taskAt(at);
            const double hours = rs.value(QStringLiteral("reqhour")).toDouble();
            if (at == Changed)
                seen = hours;
        };
        for (rs.moveFirst(); at < Paused; rs.moveNext(), ++at)
            read();
        QCOMPARE(errorOf([&] { between.at(kind)(value); }), 0);
        for (; !rs.isEOF(); rs.moveNext(), ++at)
            read();
        QVERIFY2(inOrder, qPrintable(QString::number(kind)));
        QCOMPARE(at, Rows);
        if (kind == 0)
            QCOMPARE(seen, double(taskAt(Changed)));
        else if (kind < 4) // another planner's change may come after the run was read
            QCOMPARE(seen, double(value));
    }
}

// A table in the order of its texts is read in parts (its first keys at open, its last when
// moveLast() wants them, the rest when a move reaches them): every way through gives the
// rows in the server's order, nulls first and ties by key, as one read would.
void TestServerRecordset::longTextOrderReadInParts() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    QVERIFY(site.pg.exec(QStringLiteral(
        "INSERT INTO tasks (taskid, taskname) SELECT g, CASE g % 3 WHEN 0 THEN NULL WHEN 1 THEN "
        "'task ' || lpad((g / 7)::text, 5, '0') ELSE 'TASK ' || lpad((g / 7)::text, 5, '0') END "
        "FROM generate_series(10, 9009) AS g")));
    QStringList ascending;
    for (const QVariant& id : site.pg.typedColumn(
             QStringLiteral("SELECT taskid FROM tasks ORDER BY taskname NULLS FIRST, taskid")))
        ascending << id.toString();
    QCOMPARE(ascending.size(), 9003);
    for (const bool descending : {false, true}) {
        const QStringList expected = [&] {
            QStringList order = ascending;
            if (descending)
                std::reverse(order.begin(), order.end());
            return order;
        }();
        const QString sql = descending
                                ? QStringLiteral("SELECT * FROM tasks ORDER BY taskname DESC")
                                : QStringLiteral("SELECT * FROM tasks ORDER BY taskname");
        auto forward = [](Recordset& rs) {
            QStringList ids;
            for (; !rs.isEOF(); rs.moveNext())
                ids << rs.value(QStringLiteral("taskid")).toString();
            return ids;
        };
        Recordset fromTheStart = site.db.openRecordset(sql);
        QCOMPARE(forward(fromTheStart), expected);
        Recordset fromTheEnd = site.db.openRecordset(sql);
        fromTheEnd.moveLast();
        QStringList backwards;
        for (; !fromTheEnd.isBOF(); fromTheEnd.movePrevious())
            backwards.prepend(fromTheEnd.value(QStringLiteral("taskid")).toString());
        QCOMPARE(backwards, expected);
        Recordset bothEnds = site.db.openRecordset(sql);
        bothEnds.moveLast();
        QCOMPARE(bothEnds.recordCount(), 9003);
        bothEnds.moveFirst();
        QCOMPARE(forward(bothEnds), expected);
    }
}

void TestServerRecordset::rowHeldByAnotherPlanner() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    OtherPlanner other(site.pg.url());
    Recordset rs = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks WHERE taskid = 1"));
    // Reading and typing into the row lock nothing: the other planner takes it meanwhile.
    rs.edit();
    rs.setValue(QStringLiteral("taskname"), QStringLiteral("Mine"));
    QVERIFY(other.run(QStringLiteral("BEGIN")));
    QVERIFY(other.run(QStringLiteral("SELECT * FROM tasks WHERE taskid = 1 FOR UPDATE")));
    // Held: the save is refused as locked, after a short wait, and can be tried again.
    QCOMPARE(errorOf([&] { rs.update(); }), ErrLockedByUser);
    QCOMPARE(errorOf([&] {
                 site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'x' WHERE taskid = 1"));
             }),
             ErrLockedByUser);
    QVERIFY(other.run(QStringLiteral("COMMIT")));
    QCOMPARE(errorOf([&] { rs.update(); }), 0);
    QCOMPARE(site.text(QStringLiteral("SELECT taskname FROM tasks WHERE taskid = 1")),
             QStringLiteral("Mine"));
}

void TestServerRecordset::rowChangedSinceRead_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("deleting");
    QTest::addColumn<int>("error");
    const QString changed = QStringLiteral("UPDATE %1 SET locdesc = 'Cellar' WHERE locid = 1");
    const QString deleted = QStringLiteral("DELETE FROM %1 WHERE locid = 1");
    QTest::newRow("update, changed") << "locations" << changed << false << ErrRowChanged;
    QTest::newRow("update, deleted") << "locations" << deleted << false << ErrRowDeleted;
    QTest::newRow("delete, changed") << "locations" << changed << true << ErrRowChanged;
    QTest::newRow("delete, deleted") << "locations" << deleted << true << ErrRowDeleted;
    QTest::newRow("unchanged") << "locations"
                               << QStringLiteral("UPDATE %1 SET locdesc = locdesc WHERE locid = 2")
                               << false << 0;
    // A table without row versions is written without the check.
    QTest::newRow("no row versions") << "places" << changed << false << 0;
}

void TestServerRecordset::rowChangedSinceRead() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, table);
    QFETCH(QString, meanwhile);
    QFETCH(bool, deleting);
    QFETCH(int, error);
    Site site;
    site.db.executeScript(
        QStringLiteral("CREATE TABLE places (locid integer PRIMARY KEY, locdesc text); "
                       "INSERT INTO places VALUES (1, 'Basement'), (2, 'Roof');"));
    Recordset rs =
        site.db.openRecordset(QStringLiteral("SELECT * FROM %1 WHERE locid = 1").arg(table));
    QVERIFY(rs.isOpen());
    QCOMPARE(rs.value(QStringLiteral("locdesc")), QVariant(QStringLiteral("Basement")));
    if (!deleting) {
        rs.edit();
        rs.setValue(QStringLiteral("locdesc"), QStringLiteral("Boiler room"));
    }
    QVERIFY(site.pg.exec(meanwhile.arg(table)));
    DbError raised;
    QCOMPARE(errorOf([&] { deleting ? rs.deleteRow() : rs.update(); }, &raised), error);
    if (error != 0) {
        // Never a silent overwrite: what the other planner saved stays.
        QVERIFY(!raised.description.isEmpty());
        QVERIFY(site.text(
                    QStringLiteral("SELECT coalesce(min(locdesc), 'gone') FROM %1 WHERE locid = 1")
                        .arg(table)) != QStringLiteral("Boiler room"));
        // Read again, the row saves.
        if (error == ErrRowChanged && !deleting) {
            Recordset again = site.db.openRecordset(
                QStringLiteral("SELECT * FROM %1 WHERE locid = 1").arg(table));
            again.edit();
            again.setValue(QStringLiteral("locdesc"), QStringLiteral("Boiler room"));
            QCOMPARE(errorOf([&] { again.update(); }), 0);
        }
    } else if (!deleting) {
        QCOMPARE(site.text(QStringLiteral("SELECT locdesc FROM %1 WHERE locid = 1").arg(table)),
                 QStringLiteral("Boiler room"));
    }
}

void TestServerRecordset::transactions() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    auto count = [&](const QString& where) {
        return site.text(QStringLiteral("SELECT count(*) FROM tasks WHERE ") + where).toInt();
    };
    Recordset rs = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks ORDER BY taskid"));
    {
        // Rolled back: the statements and the recordset's writes in it are all undone.
        Transaction t(site.db);
        QVERIFY(t.isActive());
        site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'wrench'"));
        rs.edit();
        rs.setValue(QStringLiteral("taskname"), QStringLiteral("Inside"));
        rs.update();
        // Other connections do not see it before it commits.
        QCOMPARE(count(QStringLiteral("tools = 'wrench'")), 0);
        t.rollback();
    }
    QCOMPARE(count(QStringLiteral("tools = 'wrench' OR taskname = 'Inside'")), 0);
    {
        // A failed statement undoes itself only: the transaction goes on and commits.
        Transaction outer(site.db);
        site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'outer' WHERE taskid = 1"));
        QCOMPARE(errorOf([&] { site.db.execute(QStringLiteral("UPDATE nosuch SET x = 1")); }),
                 ErrTableNotFound);
        // So does a read: a probe for a missing column, a find with a wrong name.
        QVERIFY(errorOf([&] { site.db.checkQuery(QStringLiteral("SELECT nosuch FROM tasks")); }));
        QVERIFY(
            errorOf([&] { site.db.openRecordset(QStringLiteral("SELECT nosuch FROM tasks")); }));
        QVERIFY(errorOf([&] { rs.findFirst(QStringLiteral("nosuch = 1")); }));
        {
            Transaction inner(site.db);
            site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'inner' WHERE taskid = 2"));
            inner.rollback();
        }
        {
            Transaction kept(site.db);
            site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'kept' WHERE taskid = 3"));
            QVERIFY(kept.commit());
        }
        QVERIFY(outer.commit());
    }
    QCOMPARE(
        site.text(QStringLiteral("SELECT string_agg(coalesce(tools, '-'), ',' ORDER BY taskid) "
                                 "FROM tasks")),
        QStringLiteral("outer,-,kept"));
    {
        // Not committed: undone when it goes.
        Transaction dropped(site.db);
        site.db.execute(QStringLiteral("DELETE FROM tasks"));
    }
    QCOMPARE(count(QStringLiteral("true")), 3);
    // FreeLocks leaves an open transaction alone.
    {
        Transaction t(site.db);
        site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'held'"));
        FreeLocks();
        QVERIFY(t.commit());
    }
    QCOMPARE(count(QStringLiteral("tools = 'held'")), 3);
}

void TestServerRecordset::lostConnection() {
    TAVREL_REQUIRE_SERVER();
    Site site;
    Recordset rs = site.db.openRecordset(QStringLiteral("SELECT * FROM tasks ORDER BY taskid"));
    // Lost between statements: the write reports it, the next one reconnects.
    QVERIFY(dropConnections(site.pg));
    QCOMPARE(errorOf([&] {
                 site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'a' WHERE taskid = 1"));
             }),
             ErrServerConnection);
    QCOMPARE(errorOf([&] {
                 site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'b' WHERE taskid = 1"));
             }),
             0);
    QCOMPARE(site.text(QStringLiteral("SELECT tools FROM tasks WHERE taskid = 1")),
             QStringLiteral("b"));
    // Lost inside a transaction: nothing of it is written, and it stays lost until the
    // transaction ends.
    {
        Transaction t(site.db);
        site.db.execute(QStringLiteral("UPDATE tasks SET tools = 'half' WHERE taskid = 2"));
        QVERIFY(dropConnections(site.pg));
        QCOMPARE(errorOf([&] {
                     site.db.execute(
                         QStringLiteral("UPDATE tasks SET tools = 'half' WHERE taskid = 3"));
                 }),
                 ErrServerConnection);
        QCOMPARE(errorOf([&] {
                     site.db.execute(
                         QStringLiteral("UPDATE tasks SET tools = 'half' WHERE taskid = 3"));
                 }),
                 ErrServerConnection);
        QCOMPARE(errorOf([&] { t.commit(); }), ErrServerConnection);
    }
    QCOMPARE(site.text(QStringLiteral("SELECT count(*) FROM tasks WHERE tools = 'half'")),
             QStringLiteral("0"));
    // A recordset opened before goes on with its rows on the new connection.
    rs.moveLast();
    QVERIFY(dropConnections(site.pg));
    QCOMPARE(errorOf([&] {
                 rs.edit();
                 rs.setValue(QStringLiteral("taskname"), QStringLiteral("After"));
                 rs.update();
             }),
             ErrServerConnection);
    rs.cancelUpdate();
    QCOMPARE(errorOf([&] {
                 rs.moveFirst();
                 rs.moveLast();
                 rs.edit();
                 rs.setValue(QStringLiteral("taskname"), QStringLiteral("After"));
                 rs.update();
             }),
             0);
    QCOMPARE(site.text(QStringLiteral("SELECT taskname FROM tasks WHERE taskid = 3")),
             QStringLiteral("After"));
}

QTEST_GUILESS_MAIN(TestServerRecordset)
#include "tst_serverrecordset.moc"
