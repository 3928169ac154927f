#include "custom/fieldlists.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/errortrap.h"
#include "support/testenv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// One row of the shipped catalogue.
struct CatalogueField {
    int id = 0;
    QString desc;
    QString fieldName;
    int dataType = 0;
    bool memo = false;
    QString fileName;
    QString linkField;
};

constexpr int TextType = 1;
constexpr int NumberType = 2;
constexpr int DateType = 3;
constexpr int YesNoType = 4;

QList<CatalogueField> catalogueOf(Database& catalogue, const QString& table) {
    QList<CatalogueField> fields;
    Recordset rows = catalogue.openRecordset(
        QStringLiteral("Select * from RptSpec where usewith = '%1' order by specid").arg(table),
        RecordsetType::Snapshot);
    for (; !rows.isEOF(); rows.moveNext())
        fields.append({rows.value(QStringLiteral("specid")).toInt(),
                       rows.value(QStringLiteral("Desc")).toString(),
                       rows.value(QStringLiteral("fieldname")).toString(),
                       rows.value(QStringLiteral("datatype")).toInt(),
                       rows.value(QStringLiteral("ismemo")).toBool(),
                       rows.value(QStringLiteral("FileName")).toString(),
                       rows.value(QStringLiteral("linkfield")).toString()});
    return fields;
}

// A criterion of the field's kind, as a custom report's selection writes it.
QString criterionFor(const CatalogueField& field) {
    switch (field.dataType) {
    case TextType:
        return field.fieldName + QStringLiteral(" like 'a*'");
    case NumberType:
        return field.fieldName + QStringLiteral(" < 1000000 and ") + field.fieldName +
               QStringLiteral(" > -1");
    case DateType:
        return field.fieldName + QStringLiteral(" >= #1/1/1990#");
    case YesNoType:
        return QStringLiteral("not ") + field.fieldName;
    default:
        return field.fieldName;
    }
}

} // namespace

class tst_Catalogue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }

    void delimitedLists_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("entries"); // entries 0 to count + 1

        QTest::newRow("empty") << ""
                               << ";" << 0 << QStringList{"", "", ""};
        QTest::newRow("one") << "7"
                             << ";" << 1 << QStringList{"", "7", ""};
        QTest::newRow("three") << "1;2;3"
                               << ";" << 3 << QStringList{"", "1", "2", "3", ""};
        QTest::newRow("empty inside") << "a;;b"
                                      << ";" << 3 << QStringList{"", "a", "", "b", ""};
        QTest::newRow("ends with one") << "a;b;"
                                       << ";" << 3 << QStringList{"", "a", "b", "", ""};
        QTest::newRow("case matters") << "aXbxc"
                                      << "x" << 2 << QStringList{"", "aXb", "c", ""};
        // A search starts one character after the previous match.
        QTest::newRow("overlapping") << "a;;;b"
                                     << ";;" << 3 << QStringList{"", "a", "", ";b", ""};
    }

    void delimitedLists() {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QFETCH(int, count);
        QFETCH(QStringList, entries);
        QCOMPARE(CountFields(text, delimiter), count);
        for (int n = 0; n < entries.size(); ++n)
            QCOMPARE(GetField(text, delimiter, static_cast<qint16>(n)), entries[n]);
    }

    void joinsFollowTheLinkField() {
        QCOMPARE(joinCatalogueTable("assign", "assign", "tasks", "taskid"),
                 "(assign left join tasks on assign.taskid = tasks.taskid)");
        QCOMPARE(joinCatalogueTable("(assign left join tasks on assign.taskid = tasks.taskid)",
                                    "assign", "employees", "empid;id"),
                 "((assign left join tasks on assign.taskid = tasks.taskid) left join employees on "
                 "assign.empid = employees.id)");
        QCOMPARE(joinCatalogueTable("(tasks left join types on tasks.typid = types.typid)", "tasks",
                                    "types", "typid"),
                 "(tasks left join types on tasks.typid = types.typid)");
        QCOMPARE(joinCatalogueTable("tasks", "tasks", "", ""), "tasks");
        QCOMPARE(joinCatalogueTable("tasks", "tasks", "tasks", "taskid"), "tasks");
    }

    // Every field the catalogue offers must work in each way a custom report or a find uses
    // it on a real site: all of a table's fields in one query with every join, each field
    // alone with a criterion of its kind and as a sort key, and a linked field's value list.
    void everyFieldRunsOnTheTaskDatabase() {
        QTemporaryDir dir;
        QString error;
        QVERIFY2(initWorkFolder(dir.path(), true, QDate(2005, 7, 4), &error), qPrintable(error));
        Database catalogue = Database::open(QDir(dir.path()).filePath("rptspec.mdb"));
        Database site = Database::open(QDir(dir.path()).filePath("tavrel.mdb"));

        QStringList failures;
        ErrorTrap trap([&failures](const DbError& failed) { failures << failed.description; });
        QSet<int> ids;
        for (const QString& table : {QStringLiteral("tasks"), QStringLiteral("assign")}) {
            const QList<CatalogueField> fields = catalogueOf(catalogue, table);
            QVERIFY2(fields.size() >= 15, qPrintable(table));

            QStringList names;
            QString from = table;
            for (const CatalogueField& field : fields) {
                QVERIFY2(!ids.contains(field.id), qPrintable(field.desc));
                ids.insert(field.id);
                QVERIFY2(!field.desc.isEmpty(), qPrintable(field.fieldName));
                names << field.fieldName;
                from = joinCatalogueTable(from, table, field.fileName, field.linkField);
            }
            Recordset all = site.openRecordset("Select " + names.join(", ") + " from " + from,
                                               RecordsetType::Snapshot);
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
            all.moveLast();
            QVERIFY(all.recordCount() > 0);

            for (const CatalogueField& field : fields) {
                const QString own =
                    joinCatalogueTable(table, table, field.fileName, field.linkField);
                QString sql =
                    "Select " + field.fieldName + " from " + own + " where " + criterionFor(field);
                if (!field.memo)
                    sql += " order by " + field.fieldName;
                Recordset one = site.openRecordset(sql, RecordsetType::Snapshot);
                if (!field.linkField.isEmpty()) {
                    const QString key = CountFields(field.linkField, ";") == 2
                                            ? GetField(field.linkField, ";", 2)
                                            : field.linkField;
                    Recordset values = site.openRecordset(
                        "select " + key + " as id, " + field.fieldName + " as descr from " +
                            field.fileName + " order by " + field.fieldName,
                        RecordsetType::Snapshot);
                    QVERIFY2(values.recordCount() > 0, qPrintable(field.desc));
                }
                QVERIFY2(failures.isEmpty(),
                         qPrintable(field.desc + ": " + failures.join('\n') + "\n" + sql));
            }
        }
    }
};

QTEST_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
