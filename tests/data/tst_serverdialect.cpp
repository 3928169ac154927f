// The program's Jet-dialect SQL on a server database gives the answers the file gives: each
// statement runs on a file and on a server holding the same rows, and both give the same rows
// in the same order.

#include "data/database.h"
#include "data/database_p.h"
#include "data/pgconnection.h"
#include "data/pgdialect.h"
#include "data/sqldialect.h"
#include "support/tempdatabase.h"
#include "support/testserver.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <libpq-fe.h>

using namespace tavrel;
using namespace tavrel::detail;
using namespace Qt::StringLiterals;

namespace {

// Rows both databases hold: texts that differ in case and accents, a yes/no column holding
// -1, 1 and 0 (a value another program wrote is any non-zero), nulls in texts, numbers and
// dates, a task whose assignments are gone and an assignment whose task is.
const char* const Rows = R"SQL(
INSERT INTO locations (locid, locdesc) VALUES (1, 'Basement'), (2, 'Roof');
INSERT INTO tasks (taskid, taskname, taskdesc, locid, empid, reqhour, reqmin, besttime)
VALUES (1, 'Pump inspection', '  padded  ', 1, 1, 1.5, 30, 'Morning'),
       (2, 'Élevator check', NULL, 2, 2, 2, 0, NULL),
       (3, 'boiler service', 'Boiler', NULL, NULL, 0, 45, 'Any time'),
       (4, 'Air filter', 'Air [A] 50%', 1, NULL, 0.25, 15, NULL),
       (5, 'elevator Door', 'O''Brien', 2, 1, 3, 0, 'Night'),
       (6, 'Zebra crossing 2', NULL, NULL, 2, 1, 10, 'Morning'),
       (7, 'öl wechsel', 'Öl', 1, NULL, 0, 5, NULL),
       (8, 'AIR FILTER', NULL, 2, 1, 0, 0, 'Morning');
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 1), (1, 2), (2, 1), (3, 49), (5, 1);
INSERT INTO assign (assid, taskid, weeid, duedate, completed, compdate, compnotes, empid,
                    parts, labor, totalcost, comphour)
VALUES (1, 1, 1, '2005-01-03', -1, '2005-01-04', 'done', 1, 10, 20, 31.5, 1),
       (2, 1, 2, '2005-01-10', 0, NULL, NULL, 1, 0, 0, 0, NULL),
       (3, 2, 1, '2005-01-03', 1, '2005-01-05 14:30:00', NULL, 2, 2.25, 0, 2.25, 2),
       (4, 3, 49, '2005-12-05', 0, NULL, 'waiting', NULL, 0, 0, 0, 0),
       (5, 4, 50, '2005-12-12', -1, '2005-12-13', NULL, 2, 0, 0, 0, 3),
       (6, 2, 52, '2005-12-26', 0, NULL, NULL, 2, 0, 0, 0, 0),
       (7, 1, 1, '2004-01-05', 1, '2004-01-06', 'late', 1, 5, 5, 10, 0),
       (8, 9, 3, '2005-01-17', 0, NULL, NULL, NULL, 0, 0, 0, 0);
)SQL";

QString serverSchema() {
    QFile file(QStringLiteral(TAVREL_SOURCE_DIR "/resources/sql/tavrel_schema_pg.sql"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Type numbers of the server's values (pg_type.oid).
constexpr Oid Int8Oid = 20;
constexpr Oid Int2Oid = 21;
constexpr Oid Int4Oid = 23;
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;
constexpr Oid TimestampOid = 1114;
constexpr Oid NumericOid = 1700;

// One value as text, alike for both backends: dates as ISO text with the time only when
// there is one, numbers in their shortest form, yes/no as -1/0.
QString normal(const QVariant& v) {
    if (v.isNull())
        return u"-"_s;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? u"-1"_s : u"0"_s;
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: {
        const QDateTime d = v.toDateTime();
        return d.time() == QTime(0, 0) ? d.date().toString(Qt::ISODate)
                                       : d.toString(u"yyyy-MM-dd HH:mm:ss"_s);
    }
    default:
        break;
    }
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return QString::number(v.toDouble(), 'g', 12);
}

// A value of the server's text form, by its column's type.
QString normal(const PgResult& result, int row, int column) {
    if (result.isNull(row, column))
        return u"-"_s;
    QString s = result.text(row, column);
    switch (PQftype(result.raw(), column)) {
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return QString::number(s.toDouble(), 'g', 12);
    case TimestampOid:
        if (s.endsWith(u" 00:00:00"_s))
            s.chop(9);
        return s;
    default:
        return s;
    }
}

// A database of each kind holding Rows.
struct Both {
    Both()
        : file(2005, QString::fromUtf8(Rows)) {
        fileDb = Database::open(file.dbPath());
        if (!server.isValid() || !server.exec(serverSchema()) ||
            !server.exec(QString::fromUtf8(Rows)))
            return;
        DbError error;
        connection = PgConnection::connect(server.url(), &error);
        if (connection && !catalog.load(*connection, &error))
            connection.reset();
    }
    bool ready() const { return fileDb.isOpen() && connection; }

    // The file's rows of a select, one line each.
    QStringList fileRows(const QString& sql) {
        Recordset rs = fileDb.openRecordset(sql, RecordsetType::Snapshot);
        QStringList rows;
        const int fields = int(rs.fieldNames().size());
        while (!rs.isEOF()) {
            QStringList values;
            for (int i = 0; i < fields; ++i)
                values << normal(rs.value(rs.fieldNames().at(i)));
            rows << values.join(u'|');
            rs.moveNext();
        }
        return rows;
    }

    // The server's rows of the translated select; *error for a refusal or the server's error.
    QStringList serverRows(const QString& sql, QString* error) {
        const QString translated = translateForServer(sql, catalog, error);
        if (translated.isEmpty())
            return {};
        DbError failure;
        const PgResult result = connection->exec(translated, &failure);
        if (!result.isValid()) {
            *error = failure.description + u"\nIn: "_s + translated;
            return {};
        }
        QStringList rows;
        for (int row = 0; row < result.rows(); ++row) {
            QStringList values;
            for (int c = 0; c < result.columns(); ++c)
                values << normal(result, row, c);
            rows << values.join(u'|');
        }
        return rows;
    }

    // Runs a statement on both; false with *error when either refuses it.
    bool execute(const QString& sql, QString* error) {
        test::CollectedErrors errors;
        fileDb.execute(sql);
        if (!errors.texts.isEmpty()) {
            *error = u"file: "_s + errors.texts.join(u'\n');
            return false;
        }
        const QString translated = translateForServer(sql, catalog, error);
        if (translated.isEmpty())
            return false;
        DbError failure;
        if (!connection->exec(translated, &failure).isValid()) {
            *error = u"server: "_s + failure.description + u"\nIn: "_s + translated;
            return false;
        }
        return true;
    }

    test::TempDatabase file;
    Database fileDb;
    test::ServerDatabase server;
    std::unique_ptr<PgConnection> connection;
    ServerCatalog catalog;
};

} // namespace

class TestServerDialect : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        test::useTestLocale();
        setSqlClock([] { return QDateTime(QDate(2005, 12, 15), QTime(10, 20, 30)); });
    }
    void cleanupTestCase() {
        readOnly_.reset();
        setSqlClock({});
    }

    void sameAnswers_data();
    void sameAnswers();
    void sameWrites_data();
    void sameWrites();
    void catalogKinds();
    void sameRefusals_data();
    void sameRefusals();
    void findCriteria_data();
    void findCriteria();
    void serverRefusals_data();
    void serverRefusals();

private:
    std::unique_ptr<Both> readOnly_;
};

void TestServerDialect::sameAnswers_data() {
    QTest::addColumn<QString>("sql");
    const auto row = [](const char* name, const char* sql) {
        QTest::newRow(name) << QString::fromUtf8(sql);
    };
    // Texts: the program's order and comparisons without regard to case.
    row("order by text", "select taskid, taskname from tasks order by taskname, taskid");
    row("order by text desc", "select taskid from tasks order by taskname desc, taskid");
    row("equal ignores case", "select taskid from tasks where taskname = 'PUMP INSPECTION'");
    row("equal ignores case, string first",
        "select taskid from tasks where 'air filter' = taskname");
    row("accented equal", "select taskid from tasks where taskname = 'ÉLEVATOR CHECK'");
    row("not equal", "select taskid from tasks where taskname <> 'air filter' order by taskid");
    row("greater", "select taskid from tasks where taskname > 'B' order by taskid");
    row("between texts",
        "select taskid from tasks where taskname between 'a' and 'C' order by taskid");
    row("in texts", "select taskid from tasks where taskname in ('zebra crossing 2', 'BOILER "
                    "SERVICE') order by taskid");
    row("not in texts",
        "select taskid from tasks where taskname not in ('air filter') order by taskid");
    row("texts compared with each other",
        "select taskid from tasks where 'abc' = 'ABC' order by taskid");
    row("group by text",
        "select min(taskid) as k, count(*) as n from tasks group by taskname order by min(taskid)");
    row("double-quoted string",
        "select taskid from tasks where taskname = \"air filter\" order by taskid");
    row("quote in a string", "select taskid from tasks where taskdesc = 'o''brien'");
    row("bracketed names", "select [TaskID] from [Tasks] where [TaskName] = 'zebra crossing 2'");
    // Jet's like: wildcards, lists, digits, letters of every alphabet without case.
    row("like prefix", "select taskid from tasks where taskname like 'p*' order by taskid");
    row("like suffix", "select taskid from tasks where taskname like '*CHECK' order by taskid");
    row("like one character",
        "select taskid from tasks where taskname like '?ir*' order by taskid");
    row("like range", "select taskid from tasks where taskname like '[a-c]*' order by taskid");
    row("like negated list",
        "select taskid from tasks where taskname like '[!a-c]*' order by taskid");
    row("like digit", "select taskid from tasks where taskname like '*#' order by taskid");
    row("like accented", "select taskid from tasks where taskname like 'él*' order by taskid");
    row("like capital accented",
        "select taskid from tasks where taskname like 'ÖL*' order by taskid");
    row("like regex characters",
        "select taskid from tasks where taskdesc like '*[[]A]*%' order by taskid");
    row("like dot is itself",
        "select taskid from tasks where taskname like 'air.filter' or taskid = 1 order by taskid");
    row("not like", "select taskid from tasks where taskname not like '*o*' order by taskid");
    row("like on a number", "select taskid from tasks where reqmin like '1*' order by taskid");
    row("like on a null", "select taskid from tasks where besttime like '*' order by taskid");
    row("like on a qualified name", "select assid from assign inner join tasks on assign.taskid = "
                                    "tasks.taskid where tasks.taskname like 'p*' order by assid");
    // Yes/no: every non-zero value is true.
    row("yes/no = true", "select assid from assign where completed = true order by assid");
    row("yes/no = -1", "select assid from assign where completed = -1 order by assid");
    row("yes/no <> 0", "select assid from assign where completed <> 0 order by assid");
    row("yes/no <> true", "select assid from assign where completed <> true order by assid");
    row("yes/no alone", "select assid from assign where completed order by assid");
    row("yes/no alone in parentheses",
        "select assid from assign where (completed) and assid > 1 order by assid");
    row("yes/no qualified alone",
        "select assid from assign where assign.completed and assid < 5 order by assid");
    row("not yes/no", "select assid from assign where not completed order by assid");
    row("yes/no = false", "select assid from assign where completed = false order by assid");
    row("yes/no in IIf",
        "select assid, IIf(completed, 'done', 'open') as s from assign order by assid");
    row("count of yes/no",
        "select count(*) as n from assign where completed and duedate < #12/1/2005#");
    // Dates.
    row("date literal", "select assid from assign where duedate >= #1/10/2005# order by assid");
    row("two-digit year", "select assid from assign where duedate < #01/10/05# order by assid");
    row("two-digit year of the last century",
        "select assid from assign where duedate > #12/31/99# order by assid");
    row("between dates",
        "select assid from assign where duedate between #1/1/2005# and #1/31/2005# order by assid");
    row("date with time",
        "select assid from assign where compdate > #1/5/2005 2:00 PM# order by assid");
    row("date parts", "select assid, Year(duedate) as y, Month(duedate) as m, Day(duedate) as d "
                      "from assign order by assid");
    row("year condition", "select assid from assign where Year(duedate) = 2004");
    row("weekday", "select assid, Weekday(duedate) as w, Weekday(compdate, 2) as v from assign "
                   "order by assid");
    row("date of today", "select assid from assign where duedate > Date() order by assid");
    row("now", "select Now() as n, Date() as d from locations where locid = 1");
    row("is null", "select assid from assign where compdate is null order by assid");
    row("is not null", "select assid from assign where compnotes is not null order by assid");
    // Nulls and texts joined.
    row("& reads null as empty",
        "select taskid, taskname & ' / ' & besttime as t from tasks order by taskid");
    row("& of dates and money", "select assid & ':' & duedate & ':' & compdate & ':' & parts & ':' "
                                "& comphour as t from assign order by assid");
    row("& of numbers", "select taskid & '-' & locid as t from tasks order by taskid");
    row("& inside a function", "select UCase(taskname & besttime) as t from tasks order by taskid");
    row("+ keeps null", "select assid, comphour + 1 as h from assign order by assid");
    row("Nz of a text", "select assid, Nz(compnotes) as n from assign order by assid");
    row("Nz with a default",
        "select taskid, Nz(empid, 0) as e, Nz(besttime, 'none') as b from tasks order by taskid");
    row("compared with Nz",
        "select taskid from tasks where Nz(besttime, 'x') = 'MORNING' order by taskid");
    // Jet's text functions.
    row("left right mid",
        "select taskid, Left(taskname, 3) as l, Right(taskname, 2) as r, Mid(taskname, 2, 3) as m, "
        "Mid(taskname, 4) as n from tasks order by taskid");
    row("len", "select taskid, Len(taskname) as n, Len(besttime) as b from tasks order by taskid");
    row("case functions",
        "select taskid, UCase(taskname) as u, LCase(taskname) as l from tasks order by taskid");
    row("trims", "select taskid, '[' & Trim(taskdesc) & ']' as t, '[' & LTrim(taskdesc) & ']' as "
                 "l, '[' & RTrim(taskdesc) & ']' as r from tasks order by taskid");
    row("function in a condition",
        "select taskid from tasks where Left(taskname, 3) = 'AIR' order by taskid");
    row("IIf", "select taskid, IIf(reqhour > 1, 'long', 'short') as k from tasks order by taskid");
    row("IIf with null condition",
        "select taskid, IIf(empid = 1, 'one', 'other') as k from tasks order by taskid");
    row("Format of a year",
        "select assid, Format(duedate, 'yyyy') as y from assign order by assid");
    row("Format, named date formats",
        "select assid, Format(duedate, 'Short Date') as a, Format(compdate, 'general date') as b, "
        "Format(duedate, 'long date') as c, Format(duedate, 'medium date') as d, Format(compdate, "
        "'long time') as e, Format(compdate, 'medium time') as f, Format(compdate, 'short time') "
        "as g from assign order by assid");
    row("Format, date patterns",
        "select assid, Format(duedate, 'dddd d mmmm yy') as a, Format(compdate, 'h:nn:ss am/pm') "
        "as b, Format(duedate, '\"Week\" mm/dd ddd') as c, Format(compdate, 'hh:mm') as d, "
        "Format(#1/2/2005 9:05:07 PM#, 'H:N:S') as e from assign order by assid");
    row("Format, named number formats",
        "select assid, Format(totalcost, 'currency') as a, Format(0 - totalcost * 1000, "
        "'Currency') as b, Format(parts, 'fixed') as c, Format(totalcost * -100, 'standard') as d, "
        "Format(comphour * 0.125, 'percent') as e from assign order by assid");
    row("Format, yes/no formats",
        "select assid, Format(completed, 'yes/no') as a, Format(completed, 'true/false') as b, "
        "Format(completed, 'on/off') as c from assign order by assid");
    row("Format, no pattern and text patterns",
        "select taskid, Format(taskname, '>') as a, Format(taskname, '<') as b, Format(reqhour) as "
        "c, Format(taskname) as d from tasks order by taskid");
    // Numbers, aggregates, joins, subqueries.
    row("mod", "select taskid from tasks where taskid mod 3 = 1 order by taskid");
    row("sum of money", "select sum(totalcost) as s, sum(parts) as p from assign");
    row("aggregates", "select count(*) as n, min(duedate) as a, max(duedate) as b from assign "
                      "where not completed");
    row("distinct", "select distinct locid from tasks order by locid");
    row("nulls first", "select taskid, besttime from tasks order by besttime, taskid");
    row("nulls last descending",
        "select taskid, empid from tasks order by empid desc, taskid desc");
    row("inner join", "select assign.assid, tasks.taskname from assign inner join tasks on "
                      "assign.taskid = tasks.taskid order by assign.assid");
    row("left join", "select assid, taskname from assign left join tasks on assign.taskid = "
                     "tasks.taskid order by assid");
    row("right join", "select tasks.taskid, assid from assign right join tasks on assign.taskid = "
                      "tasks.taskid where assid is null order by tasks.taskid");
    row("parenthesised joins",
        "select assid, locdesc from (assign inner join tasks on assign.taskid = tasks.taskid) left "
        "join locations on tasks.locid = locations.locid order by assid");
    row("in subquery", "select taskid from tasks where taskid in (select taskid from taskweeks "
                       "where weeid = 1) order by taskid");
    row("exists", "select taskid from tasks where not exists (select 1 from assign where "
                  "assign.taskid = tasks.taskid) order by taskid");
    row("custom report",
        "Select taskname, duedate, lastname from ((assign left join tasks on assign.taskid = "
        "tasks.taskid) left join employees on assign.empid = employees.empid) where  completed and "
        "taskname like 'P*' and reqhour < 5 and duedate >= #1/1/2005# and duedate <= #12/31/2005# "
        "order by taskname, duedate");
    row("rowid of a table keyed by an integer",
        "select rowid from assign where rowid > 5 order by rowid");
    row("unnamed subquery", "select max(k) as last, count(*) as n from (select rowid as k from "
                            "assign where completed order by rowid)");
    row("is between values",
        "select count(*) as n from assign left join tasks on assign.taskid = tasks.taskid where "
        "not (assign.empid is tasks.empid) or assign.compnotes is not tasks.besttime");
    row("alias",
        "select t.taskid from tasks as t where t.taskname like '*filter' order by t.taskid");
}

void TestServerDialect::sameAnswers() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, sql);
    // Every row only reads: one pair of databases serves them all.
    if (!readOnly_)
        readOnly_ = std::make_unique<Both>();
    Both& both = *readOnly_;
    QVERIFY(both.ready());
    QString error;
    const QStringList server = both.serverRows(sql, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QStringList file = both.fileRows(sql);
    QVERIFY(!file.isEmpty());
    QCOMPARE(server, file);
}

void TestServerDialect::sameWrites_data() {
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("check");
    const auto row = [](const char* name, const char* statement, const char* check) {
        QTest::newRow(name) << QString::fromUtf8(statement) << QString::fromUtf8(check);
    };
    const char* assignments =
        "select assid, IIf(completed, 1, 0) as c, duedate, compdate from assign order by assid";
    row("delete *", "delete * from assign where completed", assignments);
    row("delete table.*", "delete assign.* from assign where duedate < #1/1/2005#", assignments);
    row("update with true",
        "update assign set completed = true, compdate = #12/15/2005# where not completed and "
        "taskid = 1",
        assignments);
    row("update with false", "update assign set completed = false where completed = true",
        assignments);
    row("update with Date()", "update assign set compdate = Date() where assid = 2", assignments);
    row("insert with Now()",
        "insert into assign (assid, taskid, duedate, completed) values (20, 1, Now(), true)",
        assignments);
    row("insert select",
        "insert into assign (assid, taskid, weeid, duedate) select taskid + 100, taskid, weeid, "
        "#1/2/2006# from taskweeks where weeid = 1",
        assignments);
    row("dates written as texts",
        "insert into assign (assid, taskid, duedate, compdate) select taskid * 10 + weeid, taskid, "
        "case "
        "weeid when 1 then '2006-01-02' when 2 then '2006-01-09' end, '2006-01-03' from taskweeks "
        "where weeid < 3",
        assignments);
    row("date updated from a text",
        "update assign set compdate = case assid when 2 then '2005-01-11' else null end, duedate = "
        "'2005-01-10 08:00:00' where assid = 2",
        assignments);
    row("update of texts",
        "update tasks set besttime = 'Any' & besttime where taskname like 'air*'",
        "select taskid, besttime from tasks order by taskid");
    row("add a yes/no column", "ALTER TABLE tasks ADD COLUMN Urgent bit",
        "select taskid, IIf(urgent, 1, 0) as u from tasks where not urgent order by taskid");
    row("add a number column", "ALTER TABLE assign ADD COLUMN Extra LONG",
        "select assid, extra from assign order by assid");
    row("create a table",
        "CREATE TABLE notes (noteid COUNTER, title TEXT(50), body LONGTEXT, amount CURRENCY, due "
        "DATETIME, done bit, n SHORT, f SINGLE)",
        "select count(*) as n from notes where title like 'x*' and not done");
}

void TestServerDialect::sameWrites() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, statement);
    QFETCH(QString, check);
    Both both;
    QVERIFY(both.ready());
    QString error;
    QVERIFY2(both.execute(statement, &error), qPrintable(error));
    // The catalogue learns the columns a statement added, as a new connection would.
    DbError failure;
    QVERIFY(both.catalog.load(*both.connection, &failure));
    const QStringList server = both.serverRows(check, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(server, both.fileRows(check));
}

void TestServerDialect::catalogKinds() {
    TAVREL_REQUIRE_SERVER();
    Both both;
    QVERIFY(both.ready());
    const ServerCatalog& c = both.catalog;
    QCOMPARE(c.kindOf(u"assign"_s, u"completed"_s), ValueKind::Bool);
    QCOMPARE(c.kindOf(u"ASSIGN"_s, u"Parts"_s), ValueKind::Currency);
    QCOMPARE(c.kindOf(u"assign"_s, u"duedate"_s), ValueKind::Date);
    QCOMPARE(c.kindOf(u"assign"_s, u"comphour"_s), ValueKind::Double);
    QCOMPARE(c.kindOf(u"assign"_s, u"weeid"_s), ValueKind::Integer);
    QCOMPARE(c.kindOf(u"tasks"_s, u"taskname"_s), ValueKind::Text);
    QCOMPARE(c.kindOf(u"tasks"_s, u"nosuchcolumn"_s), ValueKind::Auto);
    QCOMPARE(c.kindOf(u"nosuchtable"_s, u"taskname"_s), ValueKind::Auto);
    QCOMPARE(c.keys.value(u"tasks"_s), u"taskid"_s);
    QCOMPARE(c.keys.value(u"weeks"_s), u"weeid"_s);
    QCOMPARE(c.keys.value(u"taskweeks"_s), u"rowid"_s);
    QCOMPARE(c.keys.value(u"settings"_s), u"rowid"_s);
}

void TestServerDialect::sameRefusals_data() {
    QTest::addColumn<QString>("sql");
    QTest::newRow("two statements") << u"select * from tasks; delete from tasks"_s;
    QTest::newRow("NUL") << (u"delete * from assign "_s + QChar(0) + u" where assid = 1"_s);
    QTest::newRow("nested too deeply")
        << (u"select * from tasks where "_s + QString(MaxSqlNesting + 1, u'(') + u"1"_s +
            QString(MaxSqlNesting + 1, u')'));
    QTest::newRow("unbalanced") << u"select * from tasks where (taskid = 1"_s;
    QTest::newRow("unterminated string") << u"select * from tasks where taskname = 'a"_s;
    QTest::newRow("bad date") << u"select * from assign where duedate > #13/45/2005#"_s;
    QTest::newRow("arguments") << u"select Left(taskname) from tasks"_s;
}

void TestServerDialect::sameRefusals() {
    QFETCH(QString, sql);
    QString fileError;
    QVERIFY(translateSql(sql, &fileError).isEmpty());
    QVERIFY(!fileError.isEmpty());
    QString serverError;
    const ServerCatalog none;
    QVERIFY(translateForServer(sql, none, &serverError).isEmpty());
    QCOMPARE(serverError, fileError);
}

// A find's criteria name columns of the recordset's tables without a FROM clause of their own.
void TestServerDialect::findCriteria_data() {
    QTest::addColumn<QString>("criteria");
    QTest::newRow("yes/no alone") << u"completed"_s;
    QTest::newRow("yes/no in parentheses") << u"(completed)"_s;
    QTest::newRow("not yes/no") << u"not completed"_s;
    QTest::newRow("yes/no = true") << u"completed = true"_s;
    QTest::newRow("like") << u"compnotes like \"*ON*\""_s;
    QTest::newRow("text equal") << u"compnotes = 'LATE'"_s;
    QTest::newRow("date") << u"duedate >= #12/1/2005#"_s;
}

void TestServerDialect::findCriteria() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, criteria);
    if (!readOnly_)
        readOnly_ = std::make_unique<Both>();
    Both& both = *readOnly_;
    QVERIFY(both.ready());
    Tokens tokens;
    QString error;
    QVERIFY2(
        translateServerTokens(criteria, both.catalog, &tokens, &error, {TableRef{u"assign"_s, {}}}),
        qPrintable(error));
    DbError failure;
    const PgResult result = both.connection->exec(u"SELECT assid FROM assign WHERE "_s +
                                                      emitServerSql(tokens) + u" ORDER BY assid"_s,
                                                  &failure);
    QVERIFY2(result.isValid(), qPrintable(failure.description));
    QStringList server;
    for (int row = 0; row < result.rows(); ++row)
        server << result.text(row, 0);
    const QStringList file =
        both.fileRows(u"select assid from assign where "_s + criteria + u" order by assid"_s);
    QVERIFY(!file.isEmpty());
    QCOMPARE(server, file);
}

// What the server cannot answer as the file does is refused with a clear message, never
// answered differently.
void TestServerDialect::serverRefusals_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    QTest::newRow("number pattern on a text")
        << u"select Format(compnotes, '0.00') from assign"_s << u"'0.00' cannot be used"_s;
    QTest::newRow("date pattern on a number")
        << u"select Format(parts, 'yyyy') from assign"_s << u"'yyyy' cannot be used"_s;
    QTest::newRow("week of year") << u"select Format(duedate, 'ww') from assign"_s
                                  << u"'ww' cannot be used"_s;
    QTest::newRow("format not a text")
        << u"select Format(duedate, compnotes) from assign"_s << u"format as a text in quotes"_s;
    QTest::newRow("like pattern not a text")
        << u"select * from tasks where taskname like besttime"_s << u"must be a text in quotes"_s;
}

void TestServerDialect::serverRefusals() {
    TAVREL_REQUIRE_SERVER();
    QFETCH(QString, sql);
    QFETCH(QString, message);
    if (!readOnly_)
        readOnly_ = std::make_unique<Both>();
    QVERIFY(readOnly_->ready());
    QString error;
    QVERIFY(translateForServer(sql, readOnly_->catalog, &error).isEmpty());
    QVERIFY2(error.contains(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestServerDialect)
#include "tst_serverdialect.moc"
