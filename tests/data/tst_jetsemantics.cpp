// Jet's date and time literals and Jet's functions in the program's SQL, run on a real
// database: values, criteria and finds.

#include "data/database.h"
#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/sqldialect.h"
#include "support/tempdatabase.h"

#include <QScopeGuard>
#include <QTest>

using namespace tavrel;
using namespace Qt::StringLiterals;

namespace {

const char* const NullText = "<null>";

// One row of everything the functions take: texts with blanks, a date, a date with a time,
// numbers, and Nulls of a text, a date and a number.
const char* const FunctionRows = R"SQL(
CREATE TABLE fn (id INTEGER PRIMARY KEY, name TEXT, absent TEXT, due TIMESTAMP, at TIMESTAMP,
                 num FLOAT, neg INTEGER, small FLOAT, nodate TIMESTAMP, nonum FLOAT);
INSERT INTO fn VALUES (1, ' Pump  ', NULL, '2020-03-05', '2020-03-05 14:30:15', 1234.56, -3, 0.125,
                       NULL, NULL);
)SQL";

// Times alone (on Jet's day zero), a date with a time, and a date.
const char* const TimeRows = R"SQL(
CREATE TABLE log (id INTEGER PRIMARY KEY, at TIMESTAMP);
INSERT INTO log VALUES (1, '1899-12-30 09:00:00'), (2, '1899-12-30 14:30:00'),
                       (3, '2005-01-05 14:30:00'), (4, '2005-01-05');
)SQL";

QString shown(const QVariant& v) {
    return v.isNull() ? QString::fromLatin1(NullText) : v.toString();
}

// A date or time value as Jet stores it, whether it reads as a date, a time (on Jet's day
// zero) or the text of one.
QString asStored(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QTime:
        return QStringLiteral("1899-12-30 ") + v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return v.toString();
    }
}

QString idsWhere(Database& db, const QString& table, const QString& criteria) {
    Recordset rs = db.openRecordset(
        QStringLiteral("select id from %1 where %2 order by id").arg(table, criteria),
        RecordsetType::Snapshot);
    QStringList ids;
    while (rs.isOpen() && !rs.isEOF()) {
        ids << rs.value(QStringLiteral("id")).toString();
        rs.moveNext();
    }
    return ids.join(QLatin1Char(','));
}

} // namespace

class TestJetSemantics : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void dateLiterals_data();
    void dateLiterals();
    void timesCompareAsJetsDo_data();
    void timesCompareAsJetsDo();
    void functions_data();
    void functions();
    void numberPatternsInTheUsersLocale();
    void functionsInCriteriaAndFinds();
};

void TestJetSemantics::dateLiterals_data() {
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QString>("stored"); // empty: refused
    const QString march5 = QStringLiteral("2020-03-05");
    const auto row = [](const char* name, const char* literal, const QString& stored) {
        QTest::newRow(name) << QString::fromUtf8(literal) << stored;
    };
    row("long month name", "March 5, 2020", march5);
    row("24-hour time", "14:30", "1899-12-30 14:30:00");
    row("hour and pm", "2 pm", "1899-12-30 14:00:00");
    row("12 AM is midnight", "12:00 AM", "1899-12-30");
    row("12 PM is noon", "12:15 PM", "1899-12-30 12:15:00");
    row("date and time", "3/5/2020 2:30 PM", "2020-03-05 14:30:00");
    row("not a date", "pump", "");
    row("hour 25", "25:00", "");
    row("13 PM", "13:00 PM", "");
}

void TestJetSemantics::dateLiterals() {
    QFETCH(QString, literal);
    QFETCH(QString, stored);
    test::TempDatabase folder(2005, {});
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    Recordset rs = db.openRecordset(QStringLiteral("select #%1# as d from settings").arg(literal),
                                    RecordsetType::Snapshot);
    if (stored.isEmpty()) {
        QCOMPARE(errors.numbers, QList<int>{ErrSqlSyntax});
        QVERIFY2(errors.texts.first().contains(literal), qPrintable(errors.texts.first()));
        return;
    }
    QCOMPARE(errors.numbers, QList<int>{});
    QCOMPARE(asStored(rs.value(QStringLiteral("d"))), stored);
}

void TestJetSemantics::timesCompareAsJetsDo_data() {
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<QString>("ids");
    const auto row = [](const char* name, const char* criteria, const char* ids) {
        QTest::newRow(name) << QString::fromLatin1(criteria) << QString::fromLatin1(ids);
    };
    row("= time with seconds", "at = #2:30:00 PM#", "2");
    row("times before noon, no dates", "at < #12:00 PM#", "1");
    row("between two times", "at between #9:00 AM# and #5:00 PM#", "1,2,5");
    row("every real date is later than any time", "at > #11:59:59 PM#", "3,4");
    row("date and time", "at >= #1/5/2005 2:30 PM#", "3");
    row("a date is its midnight", "at = #1/5/2005#", "4");
    row("end date without a time", "at <= #1/5/2005#", "1,2,4,5");
}

void TestJetSemantics::timesCompareAsJetsDo() {
    QFETCH(QString, criteria);
    QFETCH(QString, ids);
    test::TempDatabase folder(2005, QString::fromUtf8(TimeRows));
    Database db = Database::open(folder.dbPath());
    // A time written by the program is a time of day zero too, and reads back as a time.
    Recordset rs = db.openRecordset(QStringLiteral("select * from log"));
    rs.addNew();
    rs.setValue(QStringLiteral("id"), 5);
    rs.setValue(QStringLiteral("at"), QTime(17, 0));
    rs.update();
    rs.moveLast();
    QCOMPARE(rs.value(QStringLiteral("at")), QVariant(QTime(17, 0)));
    QCOMPARE(folder.scalar(QStringLiteral("select at from log where id = 5")).toString(),
             QStringLiteral("1899-12-30 17:00:00"));

    QCOMPARE(idsWhere(db, QStringLiteral("log"), criteria), ids);
}

// A function's value, or (after "!") part of the error a wrong call raises.
void TestJetSemantics::functions_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* e, const char* v) {
        QTest::newRow(e) << QString::fromUtf8(e) << QString::fromUtf8(v);
    };
    row("LEFT(name, 3)", " Pu");
    row("Left(absent, 2)", NullText);
    row("Right('Pump house', 5)", "house");
    row("Mid('Pump house', 6)", "house");
    row("Mid('Pump house', 2, 3)", "ump");
    row("MID('abc', 5)", "");
    row("Len('Élevator')", "8");
    row("Len(neg)", "2");
    row("UCase('élan pump')", "ÉLAN PUMP");
    row("lcase('PUMP')", "pump");
    row("Trim(name)", "Pump");
    row("LTrim(name)", "Pump  ");
    row("RTrim(name)", " Pump");
    row("Nz(absent, 'x')", "x");
    row("Nz(absent)", "");
    row("Nz(nonum, 0) + 5", "5");
    row("IIf(num > 1000, 'big', 'small')", "big");
    row("IIf(nonum > 1, 'yes', 'no')", "no");
    row("Year(due)", "2020");
    row("Month(at)", "3");
    row("Day(due)", "5");
    row("Weekday(due)", "5");
    row("Weekday(due, 2)", "4");
    row("Weekday(nodate)", NullText);
    row("Format(due, 'mm/dd/yyyy')", "03/05/2020");
    row("Format(due, 'mmmm')", "March");
    row("Format(due, 'dddd')", "Thursday");
    row("Format(due, 'q')", "1");
    row("Format(at, 'hh:mm:ss')", "14:30:15");
    row("Format(at, 'h:nn AM/PM')", "2:30 PM");
    row("Format(#9:05 AM#, 'h:nn am/pm')", "9:05 am");
    row("Format(due, 'Short Date')", "3/5/2020");
    row("format(due, 'long date')", "Thursday, March 5, 2020");
    row("Format(due, 'Medium Date')", "05-Mar-20");
    row("Format(at, 'General Date')", "3/5/2020 2:30:15 PM");
    row("Format(at, 'Short Time')", "14:30");
    row("Format(at, 'Long Time')", "2:30:15 PM");
    row("Format(due)", "3/5/2020");
    row("Format(due, '\"Due \"mmmm')", "Due March");
    row("Format(nodate, 'yyyy')", NullText);
    row("Format(num, '#,##0.00')", "1,234.56");
    row("Format(num, '0')", "1235");
    row("Format(num, 'Currency')", "$1,234.56");
    row("Format(small, 'Percent')", "12.50%");
    row("Format(small, '#.##')", ".13");
    row("Format(neg, '0;(0)')", "(3)");
    row("Format(nonum, '0;-0;\"zero\";\"none\"')", "none");
    row("Format(neg)", "-3");
    row("Format(neg, '0.0')", "-3.0");
    row("Format(0 - small, '0')", "0"); // rounds to nothing: no minus
    row("Format(0, '#')", "");
    row("Format(0, '#.##')", ".");
    row("Format(num, '0.')", "1235.");
    row("Format(num * 1000, '#,##0')", "1,234,560");
    row("Format(small, '0.0%')", "12.5%");
    row("Format(neg, '\"$\"#,##0.00;(\"$\"#,##0.00)')", "($3.00)");
    row("Format(0, '0;-0;\"zero\"')", "zero");
    row("Format(0 - num, '0.0#')", "-1234.56");
    row("Format(num, '00000.000')", "01234.560");
    row("Left('abc')",
        "!Wrong number of arguments used with function in query expression 'Left('abc')'.");
    row("Left('abc', -1)", "!Invalid procedure call or argument.");
    row("Right('abc', 'x')", "!Data type mismatch");
}

void TestJetSemantics::functions() {
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    test::TempDatabase folder(2005, QString::fromUtf8(FunctionRows));
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    for (RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset rs = db.openRecordset(
            QStringLiteral("select %1 as v from fn where id = 1").arg(expression), type);
        if (expected.startsWith(u'!')) { // raised when the value is read, if not before
            if (errors.numbers.isEmpty())
                rs.value(QStringLiteral("v"));
            QVERIFY2(errors.numbers == QList<int>{ErrSqlSyntax},
                     qPrintable(errors.texts.join(u'\n')));
            QVERIFY2(errors.texts.first().contains(expected.mid(1)),
                     qPrintable(errors.texts.first()));
            errors.numbers.clear();
            errors.texts.clear();
            continue;
        }
        QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join(u'\n')));
        QCOMPARE(shown(rs.value(QStringLiteral("v"))), expected);
    }
}

void TestJetSemantics::numberPatternsInTheUsersLocale() {
    test::useTestLocale("de_DE");
    const auto testLocale = qScopeGuard([] { test::useTestLocale(); });
    test::TempDatabase folder(2005, QString::fromUtf8(FunctionRows));
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    Recordset rs = db.openRecordset(
        u"select Format(num * 1000, '#,##0.00') as a, Format(small, '0.0%') as b, "
        u"Format(neg, '0.0;(0.0)') as c, Format(num, '0.') as d from fn where id = 1"_s,
        RecordsetType::Snapshot);
    QVERIFY2(errors.texts.isEmpty(), qPrintable(errors.texts.join(u'\n')));
    QCOMPARE(rs.value(u"a"_s).toString(), u"1.234.560,00"_s);
    QCOMPARE(rs.value(u"b"_s).toString(), u"12,5%"_s);
    QCOMPARE(rs.value(u"c"_s).toString(), u"(3,0)"_s);
    QCOMPARE(rs.value(u"d"_s).toString(), u"1235,"_s);
}

void TestJetSemantics::functionsInCriteriaAndFinds() {
    // Date() and Now() read the program's clock: a fixed one here.
    setSqlClock([] { return QDateTime(QDate(2005, 1, 10), QTime(8, 5, 30)); });
    const auto systemClock = qScopeGuard([] { setSqlClock({}); });
    test::TempDatabase folder(2005, QString::fromUtf8(R"SQL(
INSERT INTO tasks (taskid, taskname) VALUES (1, 'Pump inspection'), (2, 'Air filter'),
    (3, 'pumphouse roof'), (4, 'Valve "A", {north}\ side');
INSERT INTO assign (assid, taskid, weeid, duedate, completed) VALUES
    (1, 1, 1, '2005-01-03', 0), (2, 2, 2, '2005-01-10', 0), (3, 3, 2, '2005-01-12', 0),
    (4, 1, 3, '2005-01-17', 0), (5, 4, 4, '2005-01-24', 0);
)SQL"));
    Database db = Database::open(folder.dbPath());
    test::CollectedErrors errors;
    Recordset now = db.openRecordset(
        QStringLiteral("select Date() as d, Now() as n, Year(Date()) as y from settings"),
        RecordsetType::Snapshot);
    QCOMPARE(now.value(QStringLiteral("d")).toString(), QStringLiteral("2005-01-10"));
    QCOMPARE(asStored(now.value(QStringLiteral("n"))), QStringLiteral("2005-01-10 08:05:30"));
    QCOMPARE(now.value(QStringLiteral("y")).toInt(), 2005);

    const QString joined = QStringLiteral("select * from assign left join tasks on assign.taskid = "
                                          "tasks.taskid order by duedate");
    QCOMPARE(idsWhere(db, QStringLiteral("(select assid as id, duedate from assign)"),
                      QStringLiteral("duedate = Date()")),
             QStringLiteral("2"));
    for (RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset rs = db.openRecordset(joined, type);
        rs.findFirst(QStringLiteral("Left(taskname, 4) = 'Pump'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 1);
        // Texts compare without regard to case: "pumphouse roof" starts with "Pump" too.
        rs.findNext(QStringLiteral("Left(taskname, 4) = 'Pump'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
        rs.findNext(QStringLiteral("Left(taskname, 4) = 'Pump'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 4);
        rs.findFirst(QStringLiteral("duedate > Date() and Weekday(duedate) = 4"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 3);
        rs.findFirst(QStringLiteral("Format(duedate, 'mmm d') = 'Jan 17'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 4);
        rs.findLast(QStringLiteral("UCase(Trim(taskname)) like 'AIR*'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 2);
        rs.findFirst(QStringLiteral("Nz(tasks.besttime, 'none') <> 'none'"));
        QVERIFY(rs.noMatch());
        // Quotes, commas, braces and backslashes are a text's own.
        rs.findFirst(QStringLiteral("taskname = 'valve \"a\", {NORTH}\\ side'"));
        QCOMPARE(rs.value(QStringLiteral("assid")).toInt(), 5);
    }
    QCOMPARE(errors.texts, QStringList{});
}

QTEST_GUILESS_MAIN(TestJetSemantics)
#include "tst_jetsemantics.moc"
