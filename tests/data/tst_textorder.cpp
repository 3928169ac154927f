// The program's order of texts (Unicode's root collation at secondary strength) in SQL
// sorts, comparisons and keysets, and its fast comparison of plain ASCII against ICU.

#include "data/database.h"
#include "data/textorder.h"
#include "support/tempdatabase.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/ucol.h>

#include <algorithm>

using namespace tavrel;

namespace {

QString column(Database& db, const QString& sql, const QString& field,
               RecordsetType type = RecordsetType::Snapshot) {
    Recordset rs = db.openRecordset(sql, type);
    QStringList values;
    for (; rs.isOpen() && !rs.isEOF(); rs.moveNext())
        values << rs.value(field).toString();
    return values.join(u',');
}

QString quoted(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

// Tasks 1, 2, ... named `names` in turn.
QString taskRows(const QStringList& names) {
    QStringList values;
    for (int i = 0; i < names.size(); ++i)
        values << QStringLiteral("(%1, %2)").arg(i + 1).arg(quoted(names[i]));
    return QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES ") + values.join(u',') +
           u';';
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// ICU's own answer, the reference of the fast comparison.
class RootCollator {
public:
    RootCollator() {
        UErrorCode status = U_ZERO_ERROR;
        collator_ = ucol_open("und", &status);
        if (U_SUCCESS(status))
            ucol_setStrength(collator_, UCOL_SECONDARY);
    }
    ~RootCollator() { ucol_close(collator_); }
    RootCollator(const RootCollator&) = delete;
    RootCollator& operator=(const RootCollator&) = delete;
    bool isValid() const { return collator_ != nullptr; }
    int compare(const QString& a, const QString& b) const {
        return ucol_strcoll(collator_, reinterpret_cast<const UChar*>(a.utf16()), int32_t(a.size()),
                            reinterpret_cast<const UChar*>(b.utf16()), int32_t(b.size()));
    }

private:
    UCollator* collator_ = nullptr;
};

QString randomText(QRandomGenerator& random, const QList<QChar>& alphabet, int maxLength) {
    QString text;
    const int length = random.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

} // namespace

class tst_TextOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void sqlOrder_data() {
        QTest::addColumn<QStringList>("names"); // as stored, task 1 first
        QTest::addColumn<QString>("ordered");
        QTest::newRow("Ø with O") << QStringList{"Zagreb", "Ørsta", "Otta", "Oslo"}
                                  << "Ørsta,Oslo,Otta,Zagreb";
        QTest::newRow("Æ as AE") << QStringList{"Afton", "Æble", "Adam", "Aero"}
                                 << "Adam,Æble,Aero,Afton";
        QTest::newRow("ß as ss") << QStringList{"Strauss", "Straße", "Strassen", "Strasbourg"}
                                 << "Strasbourg,Straße,Strassen,Strauss";
        QTest::newRow("accents after the letters")
            << QStringList{"côté", "cotez", "cote", "côte", "coté"} << "cote,coté,côte,côté,cotez";
        QTest::newRow("case no difference")
            << QStringList{"pump b", "PUMP A", "Pump c"} << "PUMP A,pump b,Pump c";
        QTest::newRow("case ties in key order")
            << QStringList{"pump", "Pump", "air", "PUMP"} << "air,pump,Pump,PUMP";
        QTest::newRow("punctuation before digits before letters")
            << QStringList{"Pump-2", "Pump A", "Pump_2", "Pump 2", "Pump 10", "Pump #2"}
            << "Pump #2,Pump 10,Pump 2,Pump A,Pump_2,Pump-2";
        QTest::newRow("digits one by one") << QStringList{"10", "9", "A1", "1a"} << "10,1a,9,A1";
        QTest::newRow("Greek and Cyrillic after Latin")
            << QStringList{"Ωmega", "zeta", "Жук", "Alpha"} << "Alpha,zeta,Ωmega,Жук";
    }

    // Through real queries, in the recordsets lists and reports read: a keyset, whose
    // index on the names is in NOCASE order, and a static copy.
    void sqlOrder() {
        QFETCH(QStringList, names);
        QFETCH(QString, ordered);
        test::TempDatabase folder(2005, taskRows(names));
        Database db = Database::open(folder.dbPath());
        for (const RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
            QCOMPARE(column(db, "select * from tasks order by taskname", "taskname", type),
                     ordered);
            QStringList reversed = ordered.split(u',');
            std::reverse(reversed.begin(), reversed.end());
            // Descending, ties still in key order.
            QStringList descending;
            for (const QString& name :
                 column(db, "select * from tasks order by taskname desc", "taskname", type)
                     .split(u','))
                descending << name;
            QCOMPARE(descending.size(), reversed.size());
            for (int i = 0; i < descending.size(); ++i)
                QCOMPARE(compareText(descending[i], reversed[i]), 0);
        }
    }

    // Where the first column differs only in case, the second decides.
    void caseTiesOrderedByTheNextColumn() {
        test::TempDatabase folder(
            2005, "INSERT INTO employees (empid, lastname, firstname) VALUES (1, 'smith', 'Zed'), "
                  "(2, 'Smith', 'John'), (3, 'SMITH', 'Adam'), (4, 'Østby', 'Ole'), (5, 'Oakes', "
                  "'Eva');");
        Database db = Database::open(folder.dbPath());
        for (const RecordsetType type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
            QCOMPARE(column(db, "select * from employees order by lastname, firstname", "firstname",
                            type),
                     "Eva,Ole,Adam,John,Zed");
            QCOMPARE(column(db, "select * from employees order by lastname desc, firstname desc",
                            "firstname", type),
                     "Zed,John,Adam,Ole,Eva");
        }
    }

    void sqlComparisons_data() {
        QTest::addColumn<QString>("criteria");
        QTest::addColumn<QString>("ids");
        QTest::newRow("= ß differs from ss") << "taskname = 'STRASSE'"
                                             << "";
        QTest::newRow("= ß in another case") << "taskname = 'STRAßE'"
                                             << "1";
        QTest::newRow("= Ø differs from O") << "taskname = 'orsta'"
                                            << "";
        QTest::newRow("= Ø in another case") << "taskname = 'øRSTA'"
                                             << "2";
        QTest::newRow("= accent is a difference") << "taskname = 'cote'"
                                                  << "";
        QTest::newRow("= accented capital") << "taskname = 'CÔTE'"
                                            << "3";
        QTest::newRow("= case no difference") << "taskname = 'Smith'"
                                              << "4,5";
        QTest::newRow("= Æ differs from AE") << "taskname = 'aeble'"
                                             << "";
        QTest::newRow("in") << "taskname in ('æBLE', 'straße')"
                            << "1,6";
        QTest::newRow("< Ø with O, Æ with A") << "taskname < 'P'"
                                              << "2,3,6";
        QTest::newRow("between") << "taskname between 'O' and 'P'"
                                 << "2";
        QTest::newRow("range, ß with ss") << "taskname > 'Strasbourg' and taskname < 'STRASSEN'"
                                          << "1";
        QTest::newRow("range, Æ with AE") << "taskname > 'Adam' and taskname < 'aero'"
                                          << "6";
        QTest::newRow("like as before") << "taskname like 'sm*'"
                                        << "4,5";
    }

    // Equality and ranges agree with the order: = holds exactly for texts a sort ties.
    void sqlComparisons() {
        QFETCH(QString, criteria);
        QFETCH(QString, ids);
        test::TempDatabase folder(2005,
                                  taskRows({"Straße", "Ørsta", "Côte", "smith", "SMITH", "Æble"}));
        Database db = Database::open(folder.dbPath());
        QCOMPARE(
            column(db, "select taskid from tasks where " + criteria + " order by taskid", "taskid"),
            ids);
        // Grouping and distinct values use the same equality.
        QCOMPARE(
            column(db, "select count(*) as n from tasks group by taskname order by taskname", "n"),
            "1,1,1,2,1");
        QCOMPARE(column(db, "select distinct taskname from tasks", "taskname").split(u',').size(),
                 5);
    }

    void keysetPagesThroughTies_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<int>>("groups"); // each name's place in the order
        QTest::newRow("plain ASCII, read in parts")
            << QStringList{"pump", "VALVE", "PUMP", "valve", "Pump", "Valve"}
            << QList<int>{0, 1, 0, 1, 0, 1};
        QTest::newRow("beyond NOCASE, sorted")
            << QStringList{"Øl", "pump #2", "OL", "øL", "PUMP #2", "ol"}
            << QList<int>{1, 2, 0, 1, 2, 0};
    }

    // Many rows equal in the order: forward from the first rows, back from the last ones,
    // every row once and ties in key order.
    void keysetPagesThroughTies() {
        QFETCH(QStringList, names);
        QFETCH(QList<int>, groups);
        constexpr int Tasks = 1000;
        QStringList all;
        QList<QStringList> byGroup(3);
        for (int i = 0; i < Tasks; ++i) {
            all << names[i % names.size()];
            byGroup[groups[i % names.size()]] << QString::number(i + 1);
        }
        const QStringList expected = byGroup[0] + byGroup[1] + byGroup[2];
        test::TempDatabase folder(2005, taskRows(all));
        Database db = Database::open(folder.dbPath());
        QStringList reversed = expected;
        std::reverse(reversed.begin(), reversed.end());
        // Descending is the same order reversed, ties included.
        for (const auto& [query, order] :
             {std::pair{QStringLiteral("select * from tasks order by taskname"), expected},
              std::pair{QStringLiteral("select * from tasks order by taskname desc"), reversed}}) {
            Recordset forward = db.openRecordset(query);
            QStringList seen;
            for (; !forward.isEOF(); forward.moveNext())
                seen << forward.value("taskid").toString();
            QCOMPARE(seen, order);

            Recordset backward = db.openRecordset(query);
            seen.clear();
            for (backward.moveLast(); !backward.isBOF(); backward.movePrevious())
                seen.prepend(backward.value("taskid").toString());
            QCOMPARE(seen, order);

            QCOMPARE(column(db, query, "taskid", RecordsetType::Snapshot).split(u','), order);
        }
    }

    // The fast comparison of ASCII texts gives ICU's answer, with every ASCII character
    // (controls, blanks, punctuation, both cases); texts with other characters too; and the
    // characters on which NOCASE is said to agree order texts as NOCASE does.
    void agreesWithIcu() {
        const RootCollator icu;
        QVERIFY(icu.isValid());
        QList<QChar> ascii;
        for (char16_t c = 0; c < 128; ++c)
            ascii << QChar(c);
        QList<QChar> mixed = {u'a', u'A', u'e', u'o', u'O', u's',      u'z', u' ', u'-',     u'1',
                              u'é', u'Ø', u'ø', u'Æ', u'ß', u'\u0301', u'ö', u'Ω', u'\u00a0'};
        QList<QChar> nocase;
        for (char16_t c = 0; c < 128; ++c)
            if (detail::nocaseAgrees(static_cast<unsigned char>(c)))
                nocase << QChar(c);
        // Letters, digits and the blank at least.
        QVERIFY(nocase.size() >= 26 * 2 + 10 + 1);
        QVERIFY(!nocase.contains(u'#') || !nocase.contains(u'-'));

        QRandomGenerator random(20261207);
        constexpr int Pairs = 200000;
        for (int i = 0; i < Pairs; ++i) {
            const QList<QChar>& alphabet = i % 3 == 0 ? ascii : i % 3 == 1 ? mixed : nocase;
            QString a = randomText(random, alphabet, 6);
            // Often the same beginning, as sorted texts have.
            QString b = random.bounded(2) ? a.left(random.bounded(int(a.size()) + 1)) +
                                                randomText(random, alphabet, 3)
                                          : randomText(random, alphabet, 6);
            const int expected = sign(icu.compare(a, b));
            const QByteArray ua = a.toUtf8();
            const QByteArray ub = b.toUtf8();
            if (sign(compareText(a, b)) != expected ||
                sign(detail::compareTextUtf8(ua.constData(), int(ua.size()), ub.constData(),
                                             int(ub.size()))) != expected)
                QFAIL(qPrintable(QStringLiteral("ICU gives %1 for '%2' against '%3'")
                                     .arg(expected)
                                     .arg(QString::fromLatin1(ua.toPercentEncoding()),
                                          QString::fromLatin1(ub.toPercentEncoding()))));
            if (&alphabet == &nocase) {
                const int byNocase = sign(a.toLower().toLatin1().compare(b.toLower().toLatin1()));
                if (byNocase != expected)
                    QFAIL(qPrintable(
                        QStringLiteral("NOCASE orders '%1' and '%2' otherwise").arg(a, b)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_TextOrder)
#include "tst_textorder.moc"
