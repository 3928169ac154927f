// Translation of the program's Jet-dialect SQL, and the program's own SQL texts run on a
// database with known rows.

#include "data/database.h"
#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/sqldialect.h"
#include "support/tempdatabase.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <sqlite3.h>

using namespace tavrel;

using namespace Qt::StringLiterals;

namespace {

// Known rows: four tasks (one with an accented name, one lower-case, one current-year
// only), two employees, two locations, eight assignments over two years, one of them of a
// task that no longer exists.
const char* const KnownRows = R"SQL(
INSERT INTO locations (locid, locdesc) VALUES (1, 'Basement'), (2, 'Roof');
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'John', 'Smith'), (2, 'Mary', 'Adams');
INSERT INTO tasks (taskid, taskname, locid, typid, empid, curyearonly, reqhour, reqmin, besttime)
VALUES (1, 'Pump inspection', 1, NULL, 1, 0, 1, 30, 'Morning'),
       (2, 'Élevator check', 2, NULL, 2, 1, 2, 0, NULL),
       (3, 'boiler service', NULL, NULL, NULL, 0, 0, 45, 'Any time'),
       (4, 'Air filter', 1, NULL, NULL, 0, 0, 15, NULL);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 1), (1, 2), (2, 1), (2, 52), (3, 49), (4, 50);
INSERT INTO assign (assid, taskid, weeid, duedate, completed, compdate, empid, parts, labor, tax, totalcost, comphour, compmin)
VALUES (1, 1, 1, '2005-01-03', 1, '2005-01-04', 1, 10, 20, 1.5, 31.5, 1, 0),
       (2, 1, 2, '2005-01-10', 0, NULL, 1, 0, 0, 0, 0, 0, 0),
       (3, 2, 1, '2005-01-03', 0, NULL, 2, 0, 0, 0, 0, 0, 0),
       (4, 3, 49, '2005-12-05', 0, NULL, NULL, 0, 0, 0, 0, 0, 0),
       (5, 4, 50, '2005-12-12', 1, '2005-12-13', 2, 0, 0, 0, 0, 2, 30),
       (6, 2, 52, '2005-12-26', 0, NULL, 2, 0, 0, 0, 0, 0, 0),
       (7, 1, 1, '2004-01-05', 1, '2004-01-06', 1, 5, 5, 0, 10, 0, 45),
       (8, 9, 3, '2005-01-17', 0, NULL, NULL, 0, 0, 0, 0, 0, 0);
)SQL";

// A fresh file holding KnownRows and `extra`, open through the program's layer.
struct Known {
    explicit Known(const QString& extra = {})
        : folder(2005, QString::fromUtf8(KnownRows) + extra) {}
    test::TempDatabase folder;
    Database db = Database::open(folder.dbPath());
};

// The values of one field over every row, in order, joined by commas (null as "-").
QString column(Database& db, const QString& sql, const QString& field,
               RecordsetType type = RecordsetType::Snapshot) {
    Recordset rs = db.openRecordset(sql, type);
    QStringList values;
    while (!rs.isEOF()) {
        const QVariant v = rs.value(field);
        values << (v.isNull() ? u"-"_s : v.toString());
        rs.moveNext();
    }
    return values.join(QLatin1Char(','));
}

// Text with a NUL character between `before` and `after`.
QString withNul(const char* before, const char* after) {
    return QString::fromUtf8(before) + QChar(0) + QString::fromUtf8(after);
}

// `inner` inside `levels` pairs of parentheses.
QString nested(int levels, const QString& inner) {
    return QString(levels, QLatin1Char('(')) + inner + QString(levels, QLatin1Char(')'));
}

// A like pattern as a regular expression, written independently of the matcher: the oracle
// for random patterns.
QRegularExpression likeAsRegex(const QString& pattern) {
    QString re;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        const qsizetype close =
            c == QLatin1Char('[') ? pattern.indexOf(QLatin1Char(']'), i + 1) : -1;
        if (c == QLatin1Char('*')) {
            re += u".*"_s;
        } else if (c == QLatin1Char('?')) {
            re += QLatin1Char('.');
        } else if (c == QLatin1Char('#')) {
            re += u"\\d"_s;
        } else if (close == i + 1) {
            i = close; // "[]": the empty text
        } else if (close > i) {
            QString set = pattern.mid(i + 1, close - i - 1);
            QString cls = u"["_s;
            if (set.size() > 1 && set.startsWith(QLatin1Char('!'))) {
                cls += QLatin1Char('^');
                set.remove(0, 1);
            }
            for (qsizetype k = 0; k < set.size(); ++k) {
                const bool range = k + 2 < set.size() && set.at(k + 1) == QLatin1Char('-');
                cls += QRegularExpression::escape(set.at(k));
                if (range) {
                    cls += QLatin1Char('-') + QRegularExpression::escape(set.at(k + 2));
                    k += 2;
                }
            }
            re += cls + QLatin1Char(']');
            i = close;
        } else {
            re += QRegularExpression::escape(c);
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

// Collects the SQL of every statement run on a connection while it lives.
class StatementLog {
public:
    explicit StatementLog(sqlite3* db)
        : db_(db) {
        sqlite3_trace_v2(db_, SQLITE_TRACE_STMT, &StatementLog::traced, this);
    }
    ~StatementLog() { sqlite3_trace_v2(db_, 0, nullptr, nullptr); }
    QStringList statements;

    // The query plan of each statement logged, one line per step of the plan.
    QStringList plans() const {
        QStringList out;
        for (const QString& sql : statements) {
            sqlite3_stmt* stmt = nullptr;
            const QByteArray explain = "EXPLAIN QUERY PLAN " + sql.toUtf8();
            if (sqlite3_prepare_v2(db_, explain.constData(), -1, &stmt, nullptr) != SQLITE_OK)
                continue;
            QStringList steps;
            while (sqlite3_step(stmt) == SQLITE_ROW)
                steps << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
            sqlite3_finalize(stmt);
            out << sql + u" => "_s + steps.join(u"; "_s);
        }
        return out;
    }

private:
    static int traced(unsigned, void* self, void* stmt, void*) {
        static_cast<StatementLog*>(self)->statements
            << QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt)));
        return 0;
    }
    sqlite3* db_;
};

// Every row of a recordset that a find with these criteria reaches, in order.
QString found(Recordset& rs, const QString& criteria, const QString& field) {
    QStringList values;
    rs.findFirst(criteria);
    while (!rs.noMatch()) {
        values << rs.value(field).toString();
        rs.findNext(criteria);
    }
    return values.join(QLatin1Char(','));
}

} // namespace

class TestDialect : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void translation_data();
    void translation();
    void refusedTexts_data();
    void refusedTexts();
    void hostileTextRefusedEverywhere();
    void nestedConcatenation();

    void likePatterns_data();
    void likePatterns();
    void likeAgreesWithRegularExpressions();
    void likeSeeksTheNameIndexAndKeepsEveryMatch();
    void booleanComparisons_data();
    void booleanComparisons();
    void textComparisonsIgnoreCase_data();
    void textComparisonsIgnoreCase();
    void findsIgnoreCase();
    void indexServesCommonOrders_data();
    void indexServesCommonOrders();
    void keyOrderWithoutOrderBy_data();
    void keyOrderWithoutOrderBy();
    void textOrderIsJets();
    void dateTexts();
};

void TestDialect::translation_data() {
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("sqlite");

    const auto row = [](const char* name, const char* a, const char* b) {
        QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b);
    };
    row("quote inside double-quoted string", "taskname = \"it's \"\"big\"\"\"",
        "taskname = 'it''s \"big\"'");
    QTest::newRow("text inside strings untouched")
        << "select * from tasks where taskname = 'true & #1/1/05# [x] delete * from; year(x)'"
        << "select * from tasks where taskname = 'true & #1/1/05# [x] delete * from; year(x)'";
    row("year column not a call", "select year from t", "select year from t");
    row("delete table star", "delete assign.* from assign", "delete from assign");
    row("bracketed name", "select * from RptSpec order by [desc]",
        "select * from RptSpec order by \"desc\"");
    row("mod", "where weeid mod 2 = 0", "where weeid % 2 = 0");
}

void TestDialect::translation() {
    QFETCH(QString, jet);
    QFETCH(QString, sqlite);
    QString error;
    QCOMPARE(translateSql(jet, &error), sqlite);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestDialect::refusedTexts_data() {
    QTest::addColumn<QString>("jet");
    QTest::newRow("two statements") << "delete * from assign; delete * from tasks";
    QTest::newRow("unterminated string") << "select * from tasks where taskname = 'abc";
    QTest::newRow("impossible date") << "select * from assign where duedate = #13/45/2005#";
    QTest::newRow("NUL before the where clause")
        << withNul("delete * from assign ", " where taskid = 5");
    QTest::newRow("unbalanced parentheses") << "delete * from assign where (taskid = 5";
    QTest::newRow("nested one level too deep")
        << "delete * from assign where taskid = " + nested(MaxSqlNesting + 1, "5 & 1");
    QTest::newRow("nested ten thousand levels")
        << "delete * from assign where taskid = " + nested(10000, "5 & 1");
}

void TestDialect::refusedTexts() {
    QFETCH(QString, jet);
    QString error;
    QVERIFY(translateSql(jet, &error).isEmpty());
    QVERIFY(!error.isEmpty());

    // Through the database the refusal is an error, not a half-run statement.
    Known known;
    {
        test::CollectedErrors errors;
        known.db.execute(jet);
        QCOMPARE(errors.numbers, QList<int>{ErrSqlSyntax});
    }
    QCOMPARE(known.folder.scalar(u"select count(*) from assign"_s).toInt(), 8);
    QCOMPARE(known.folder.scalar(u"select count(*) from tasks"_s).toInt(), 4);
}

void TestDialect::hostileTextRefusedEverywhere() {
    // A NUL never reaches SQLite, whichever way the text comes in: opening a result
    // (which would otherwise read "select * from tasks" and show every task) and a find's
    // criteria (which would otherwise find task 1).
    Known known;
    Database& db = known.db;
    test::CollectedErrors errors;
    QList<int>& numbers = errors.numbers;
    for (RecordsetType type : {RecordsetType::Snapshot, RecordsetType::Dynaset}) {
        Recordset rs = db.openRecordset(withNul("select * from tasks", " where taskid = 3"), type);
        QVERIFY(!rs.isOpen());
    }
    QCOMPARE(numbers, (QList<int>{ErrSqlSyntax, ErrSqlSyntax}));

    numbers.clear();
    Recordset rs =
        db.openRecordset(u"select * from tasks order by taskid"_s, RecordsetType::Dynaset);
    rs.moveLast();
    rs.findFirst(withNul("taskid = 1", " and taskid = 2"));
    QCOMPARE(numbers, QList<int>{ErrSqlSyntax});
    QCOMPARE(rs.value(u"taskid"_s).toInt(), 4);
}

void TestDialect::nestedConcatenation() {
    // Texts joined inside many parentheses: the translation gives each level its own
    // null-safe join, and the deepest text it accepts still translates.
    Known known("INSERT INTO employees (empid, firstname, lastname) VALUES (3, NULL, 'Nofirst');");
    Database& db = known.db;
    constexpr int Levels = 20;
    const QString expr = nested(Levels, u"lastname & (\"-\" & firstname)"_s);
    QCOMPARE(column(db, u"select "_s + expr + u" as n from employees order by empid"_s, u"n"_s),
             u"Smith-John|Adams-Mary|Nofirst-"_s.replace(u'|', u','));

    QString error;
    const QString deepest =
        translateSql(u"select "_s + nested(MaxSqlNesting, u"a & b"_s) + u" from t"_s, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(deepest.count(u"coalesce(a, '') || coalesce(b, '')"_s), 1);
}

void TestDialect::likePatterns_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    const QString a10k(10000, u'a');
    const QString sevenStars = u"*a*a*a*a*a*a*a*b"_s;
    QTest::newRow("7 stars, 10,000 letters, no b") << a10k << sevenStars << false;
    QTest::newRow("200 stars, 10,000 letters") << a10k << u"*a"_s.repeated(200) + u"*b"_s << false;
    QTest::newRow("stars and lists, long text")
        << u"ab"_s.repeated(5000) << u"*[a]*[!a]"_s.repeated(50) + u'x' << false;
    QTest::newRow("digit of another script") << u"pump \u0663"_s << u"pump #"_s << true;
    QTest::newRow("Greek capitals") << u"ΣΟΦΊΑ"_s << u"*σοφ*"_s << true;
    QTest::newRow("Cyrillic in a list") << u"Жёлтый"_s << u"[ж]*"_s << true;
    QTest::newRow("one character outside the basic plane") << u"\U0001D49Cb"_s << u"?b"_s << true;
}

void TestDialect::likePatterns() {
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(detail::likeMatches(value, pattern), matches);
}

void TestDialect::likeAgreesWithRegularExpressions() {
    // Random short patterns over a few letters, wildcards and lists against random texts:
    // where stars backtrack, the matcher must agree with a regular expression.
    // Characters special elsewhere (%, _, -, * and # inside brackets) must be themselves.
    static const char* const pieces[] = {"a", "b",   "A",    "1",    "*",     "*",
                                         "?", "#",   "[ab]", "[!a]", "[a-b]", "[]",
                                         "[", "[*]", "[#]",  "[-a]", "%",     "_"};
    static const char16_t letters[] = {u'a', u'b', u'B', u'1', u'[', u'*', u'#', u'-', u'%'};
    QRandomGenerator random(20050103);
    constexpr int Cases = 20000;
    constexpr int MaxPieces = 6;
    constexpr int MaxLetters = 9;
    for (int n = 0; n < Cases; ++n) {
        QString pattern;
        for (int k = random.bounded(MaxPieces + 1); k > 0; --k)
            pattern += QLatin1String(pieces[random.bounded(int(std::size(pieces)))]);
        QString value;
        for (int k = random.bounded(MaxLetters + 1); k > 0; --k)
            value += QChar(letters[random.bounded(int(std::size(letters)))]);
        const bool expected = likeAsRegex(pattern).match(value).hasMatch();
        if (detail::likeMatches(value, pattern) != expected)
            QFAIL(qPrintable(u"'%1' like '%2' should be %3"_s.arg(
                value, pattern, expected ? u"true"_s : u"false"_s)));
    }
}

void TestDialect::likeSeeksTheNameIndexAndKeepsEveryMatch() {
    // Names that fold onto plain letters from elsewhere (long s, the Kelvin sign), capitals,
    // the characters around the ends of the ranges a pattern's start gives, and no name.
    const QStringList names{"Fan 9",  "fan 99", "FAN 9x",      "Fan :",         "Fan 8", "\u017Fun",
                            "Sun",    "sUN",    "\u212Aelvin", "kelvin",        "Kiln",  "~x",
                            "\u007F", "Zz",     "zZ",          "\u00E9t\u00E9", "",      "Pump 12"};
    QString rows;
    for (int id = 1; id <= names.size(); ++id)
        rows +=
            u"INSERT INTO tasks (taskid, taskname) VALUES (%1, '%2');"_s.arg(id).arg(names[id - 1]);
    rows += u"INSERT INTO tasks (taskid, taskname) VALUES (%1, NULL);"_s.arg(names.size() + 1);
    test::TempDatabase folder(2005, rows);
    Database db = Database::open(folder.dbPath());
    const QStringList
        patterns{"fan 9*",  "Fan 9", "FAN*",  "sun*",  "su?",     "kel*",    "K*",
                 "~*",      "zz",    "Z*",    "*an*",  "Pump #*", "p[u]mp*", "\u00C9t*",
                 "\u007F*", "f",     "Fan ?", "Fan*9", "*"}; // "*": every name but the missing one
    for (const QString& pattern : patterns) {
        QStringList expected;
        for (int id = 1; id <= names.size(); ++id)
            if (detail::likeMatches(names[id - 1], pattern))
                expected << QString::number(id);
        const QString sql = QStringLiteral("select taskid from tasks where taskname like \"%1\" "
                                           "order by taskid")
                                .arg(pattern);
        QCOMPARE(column(db, sql, u"taskid"_s), expected.join(QLatin1Char(',')));
    }
    // A pattern with a plain start is a seek in the task-name index, not a scan (the file's
    // own plan: the server matches a folded text, which no index holds).
    if (test::testsOnServer())
        return;
    StatementLog log(db.handle());
    QCOMPARE(column(db, u"select taskid from tasks where taskname like \"fan 9*\""_s, u"taskid"_s),
             u"1,2,3"_s);
    const QString plans = log.plans().join(QLatin1Char('\n'));
    QVERIFY2(plans.contains(u"USING INDEX tasks_taskname (taskname>? AND taskname<?)"_s) ||
                 plans.contains(u"USING COVERING INDEX tasks_taskname"_s),
             qPrintable(plans));
}

void TestDialect::booleanComparisons_data() {
    // Rows 9 and 10 were written by another program, which stored true as 2 and -1.
    QTest::addColumn<QString>("criteria");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* a, const char* b) {
        QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b);
    };
    row("bare", "completed", "1,5,7,9,10");
    row("= True, constant first", "True = completed", "1,5,7,9,10");
    row("<> true", "completed <> True", "2,3,4,6,8");
    row("with a date and a true row of another program",
        "duedate >= #12/1/05# and completed = true", "5,9");
}

void TestDialect::booleanComparisons() {
    QFETCH(QString, criteria);
    QFETCH(QString, expected);
    Known known("INSERT INTO assign (assid, taskid, weeid, duedate, completed) VALUES "
                "(9, 4, 51, '2005-12-19', 2), (10, 1, 3, '2005-01-17', -1);");
    Database& db = known.db;
    QCOMPARE(
        column(db,
               u"select assid, completed from assign where "_s + criteria + u" order by assid"_s,
               u"assid"_s),
        expected);
    // The find dialog's criteria select the same rows.
    Recordset rs = db.openRecordset(u"select * from assign order by assid"_s);
    QCOMPARE(found(rs, criteria, u"assid"_s), expected);
    // And they read back as booleans: every non-zero value true, whatever its sign.
    rs = db.openRecordset(
        u"select completed from assign where assid in (1, 2, 9, 10) order by assid"_s);
    QCOMPARE(rs.value(u"completed"_s).typeId(), int(QMetaType::Bool));
    for (const bool expectedValue : {true, false, true, true}) {
        QCOMPARE(rs.value(u"completed"_s), QVariant(expectedValue));
        rs.moveNext();
    }
    QVERIFY(rs.isEOF());
}

void TestDialect::textComparisonsIgnoreCase_data() {
    // Each statement's first column over every row, compared without regard to case: which
    // of several rows differing only in case a group shows is the engine's choice.
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    const auto tasksWhere = [](const char* name, const char* criteria, const char* expected) {
        QTest::newRow(name) << u"select taskid from tasks where %1 order by taskid"_s.arg(
                                   QString::fromUtf8(criteria))
                            << QString::fromUtf8(expected);
    };
    tasksWhere("=", "taskname = 'PUMP INSPECTION'", "1");
    tasksWhere("= accented capital", "taskname = 'élevator CHECK'", "2");
    tasksWhere("= constant first", "'BOILER service' = taskname", "3");
    tasksWhere("= qualified", "tasks.taskname = 'air filter'", "4");
    tasksWhere("= bracketed", "[taskname] = 'air filter'", "4");
    tasksWhere("<", "taskname < 'C'", "3,4");
    tasksWhere(">=, accented letter beside its base letter", "taskname >= 'e' and taskname < 'F'",
               "2");
    tasksWhere("between", "taskname between 'a' and 'BOILER SERVICE'", "3,4");
    tasksWhere("in", "taskname in ('AIR FILTER', 'Boiler Service')", "3,4");
    tasksWhere("an expression", "taskname & '' = 'pump inspection'", "1");
    tasksWhere("a subquery",
               "taskid in (select taskid from assign where taskid = 1) and "
               "taskname = 'PUMP INSPECTION'",
               "1");
    tasksWhere("other texts still differ", "taskname = 'Air filters'", "");

    QTest::newRow("over a join, nested")
        << "Select assid from (assign left join tasks on assign.taskID = tasks.taskID) left join "
           "locations on tasks.locid = locations.locid where locdesc = 'BASEMENT' and taskname = "
           "'pump inspection' order by assid"
        << "1,2,7";
    QTest::newRow("group by: the counts") << "select count(*) as n from employees group by "
                                             "lastname order by lastname"
                                          << "3,2,2";
    QTest::newRow("distinct, two columns")
        << "select distinct lastname, firstname from employees order by lastname, firstname"
        << "adams,adams,adams,émile,smith,smith";
    QTest::newRow("distinct numbers are not grouped")
        << "select distinct weeid from assign where weeid < 3 order by weeid"
        << "1,2";
}

void TestDialect::textComparisonsIgnoreCase() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    Known known("INSERT INTO employees (empid, firstname, lastname) VALUES "
                "(3, 'Ann', 'adams'), (4, 'joe', 'SMITH'), (5, 'Al', 'Émile'), "
                "(6, 'AL', 'émile'), (7, 'Bo', 'ADAMS');");
    Database& db = known.db;
    Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot);
    const QString field = rs.fieldNames().value(0);
    QCOMPARE(column(db, sql, field).toLower(), expected);
    QCOMPARE(column(db, sql, field, RecordsetType::Dynaset).toLower(), expected);
}

void TestDialect::findsIgnoreCase() {
    Known known("INSERT INTO tasks (taskid, taskname, locid) VALUES "
                "(5, 'Forklift - service', 3);");
    Database& db = known.db;
    Recordset tasks = db.openRecordset(u"select * from tasks order by taskname"_s);
    QCOMPARE(found(tasks, u"taskname = 'FORKLIFT - SERVICE'"_s, u"taskid"_s), u"5"_s);

    // A statement run directly compares the same way.
    db.execute(u"delete * from tasks where taskname = 'FORKLIFT - SERVICE'"_s);
    QCOMPARE(db.rowsAffected(), 1);
    db.execute(u"update tasks set besttime = 'Noon' where taskname in ('AIR FILTER')"_s);
    QCOMPARE(db.rowsAffected(), 1);
    QCOMPARE(known.folder.scalar(u"select besttime from tasks where taskid = 4"_s),
             QVariant(u"Noon"_s));
}

void TestDialect::indexServesCommonOrders_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* a, const char* b, const char* c) {
        QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b) << QString::fromUtf8(c);
    };
    row("task list", "select * from tasks order by taskname", "tasks_taskname",
        "Air filter,boiler service,Crane check,Pump inspection");
    row("task list, descending", "select * from tasks order by taskname desc", "tasks_taskname",
        "Pump inspection,Crane check,boiler service,Air filter");
    row("assignment editor",
        "Select * from assign where duedate >= #1/1/2005# and duedate <= #12/31/2005# and not "
        "completed order by duedate",
        "assign_duedate", "2005-01-03,2005-01-10,2005-01-17,2005-12-05,2005-12-26");
    row("assignment editor, current year",
        "Select * from assign where year(duedate) = 2005 and not completed order by duedate",
        "assign_duedate", "2005-01-03,2005-01-10,2005-01-17,2005-12-05,2005-12-26");
}

void TestDialect::indexServesCommonOrders() {
    // Plain ASCII names, the common case: the order comes from an index, not from a sort.
    QFETCH(QString, sql);
    QFETCH(QString, index);
    QFETCH(QString, expected);
    Known known(u"UPDATE tasks SET taskname = 'Crane check' WHERE taskid = 2;"_s);
    Database& db = known.db;
    const QString field = index == u"tasks_taskname"_s ? u"taskname"_s : u"duedate"_s;
    // A snapshot is a copy of its rows, sorted as they are copied: it gets the right order
    // but reads every row anyway, so only the editors' dynasets must be served by an index.
    QCOMPARE(column(db, sql, field, RecordsetType::Snapshot), expected);
    if (test::testsOnServer()) {
        QCOMPARE(column(db, sql, field, RecordsetType::Dynaset), expected);
        QSKIP("the order served by an index is checked in the file's own query plans");
    }
    {
        StatementLog log(db.handle());
        QCOMPARE(column(db, sql, field, RecordsetType::Dynaset), expected);
        const QStringList plans = log.plans();
        QVERIFY(!plans.isEmpty());
        bool indexed = false;
        for (const QString& plan : plans) {
            QVERIFY2(!plan.contains(u"USE TEMP B-TREE FOR ORDER BY"_s), qPrintable(plan));
            if (plan.contains(u"ORDER BY"_s) &&
                (plan.contains(u"USING INDEX %1"_s.arg(index)) ||
                 plan.contains(u"USING COVERING INDEX %1"_s.arg(index))))
                indexed = true;
        }
        QVERIFY2(indexed, qPrintable(plans.join(QLatin1Char('\n'))));
    }
}

void TestDialect::keyOrderWithoutOrderBy_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* a, const char* b, const char* c) {
        QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b) << QString::fromUtf8(c);
    };
    row("assignment editor without its order",
        "Select * from assign where duedate >= #1/1/2005# and duedate <= #12/31/2005# and not "
        "completed",
        "assid", "2,3,4,6,8");
    row("a join: the base table's key, then the joined table's",
        "select * from assign left join taskweeks on assign.taskid = taskweeks.taskid where "
        "duedate >= #12/1/2005#",
        "taskweeks.weeid", "49,50,52,1");
    row("a key that is no rowid", "select * from codes where name >= 'a'", "code", "1,2,3");
    row("by a table's name", "codes", "code", "1,2,3");
}

void TestDialect::keyOrderWithoutOrderBy() {
    QFETCH(QString, sql);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    // Keys stored out of order: later rows with smaller keys, and indexes in another order.
    Known known("CREATE TABLE codes (code BIGINT PRIMARY KEY, name TEXT); "
                "CREATE INDEX codes_name ON codes (name); "
                "INSERT INTO codes VALUES (3, 'a'), (1, 'c'), (2, 'b'); "
                "DELETE FROM taskweeks; "
                "INSERT INTO taskweeks (taskid, weeid) VALUES (2, 52), (1, 2), (2, 1), "
                "(1, 1), (3, 49), (4, 50);");
    Database& db = known.db;
    QCOMPARE(column(db, sql, field), expected);
    QCOMPARE(column(db, sql, field, RecordsetType::Dynaset), expected);
}

void TestDialect::textOrderIsJets() {
    // Texts are ordered without regard to case, accented letters with their base letter;
    // SQLite's binary order would put "boiler" after "Pump" and "É" after "z". Names that
    // differ only in case are ordered by the next term.
    Known known("INSERT INTO employees (empid, firstname, lastname) "
                "VALUES (3, 'Zoe', 'zimmer'), (4, 'Eve', 'Ecker'), "
                "(5, 'Al', 'Émile'), (6, 'Bo', 'adams');");
    Database& db = known.db;
    QCOMPARE(column(db, u"select * from employees order by lastname, firstname"_s, u"lastname"_s),
             u"adams,Adams,Ecker,Émile,Smith,zimmer"_s);
    // Distinct values differ in more than case: which of "Adams" and "adams" stands for both
    // is the engine's choice.
    QCOMPARE(column(db, u"select distinct lastname from employees order by lastname desc"_s,
                    u"lastname"_s)
                 .toLower(),
             u"zimmer,smith,émile,ecker,adams"_s);

    // Plain ASCII names that differ only in case are equal in the order: they come in key
    // order (backwards in a descending order), also where an index gives the names in order.
    test::TempDatabase ties(2005,
                            QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES "
                                           "(1, 'pump'), (2, 'Pump'), (3, 'air'), (4, 'PUMP');"));
    Database tiesDb = Database::open(ties.dbPath());
    for (RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        QCOMPARE(column(tiesDb, u"select * from tasks order by taskname"_s, u"taskid"_s, type),
                 u"3,1,2,4"_s);
        QCOMPARE(column(tiesDb, u"select * from tasks order by taskname desc"_s, u"taskid"_s, type),
                 u"4,2,1,3"_s);
        QCOMPARE(
            column(tiesDb, u"select * from tasks order by taskname, taskid"_s, u"taskid"_s, type),
            u"3,1,2,4"_s);
    }

    // Long names that share their beginning and differ after it in case, accents or length.
    test::TempDatabase shared(
        2005,
        QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler room pump 2'), "
                       "(2, 'boiler room Pump 10'), (3, 'Boiler room pumps'), "
                       "(4, 'Boiler room p\u00fcmp'), (5, 'Boiler room pump 2x'), "
                       "(6, 'Boiler room pump 2X'), (7, 'Boiler roof pump zz');"));
    Database sharedDb = Database::open(shared.dbPath());
    QCOMPARE(column(sharedDb, u"select * from tasks order by taskname"_s, u"taskid"_s,
                    RecordsetType::Snapshot),
             u"7,4,2,1,5,6,3"_s);
}

// Dates as the databases write them, and the other forms a date column's text may take.
void TestDialect::dateTexts() {
    const auto read = [](const char* text) {
        QVariant value(QStringLiteral("untouched"));
        return detail::dateFromIsoText(QString::fromLatin1(text), &value) ? value : QVariant();
    };
    QCOMPARE(read("2026-03-09"), QVariant(QDate(2026, 3, 9)));
    QCOMPARE(read("2026-03-09 00:00:00"), QVariant(QDate(2026, 3, 9)));
    QCOMPARE(read("2026-12-31 23:59:58"),
             QVariant(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))));
    QCOMPARE(read("1899-12-30 07:05:00"), QVariant(QDateTime(QDate(1899, 12, 30), QTime(7, 5))));
    QCOMPARE(read(" 2026-03-09 "), QVariant(QDate(2026, 3, 9)));
    QCOMPARE(read("2026-03-09T13:05"), QVariant(QDateTime(QDate(2026, 3, 9), QTime(13, 5))));
    QCOMPARE(read("13:05:07"), QVariant(QTime(13, 5, 7)));
    for (const char* refused :
         {"2026-02-30", "2026-02-28 24:00:00", "2026-3-09", "2026/03/09", "2026-03-09 13-05-07",
          "2026-03-0x", "+026-03-09", "", "2026-03-09 13:05:07 x"})
        QVERIFY2(!read(refused).isValid(), refused);
}

QTEST_GUILESS_MAIN(TestDialect)
#include "tst_dialect.moc"
