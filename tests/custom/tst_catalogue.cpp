#include "core/errortrap.h"
#include "core/programstate.h"
#include "custom/customreport.h"
#include "custom/fieldlists.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/errortrap.h"
#include "data/schema.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// One row of the shipped catalogue.
struct ShippedField {
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
constexpr int CodeType = 6;

QList<ShippedField> catalogueOf(Database& catalogue, const QString& table) {
    QList<ShippedField> fields;
    Recordset rows = catalogue.openRecordset(
        QStringLiteral("Select * from RptSpec where usewith = '%1' order by specid").arg(table),
        RecordsetType::Snapshot);
    for (; !rows.isEOF(); rows.moveNext())
        fields.append({rows.value("specid").toInt(), rows.value("Desc").toString(),
                       rows.value("fieldname").toString(), rows.value("datatype").toInt(),
                       rows.value("ismemo").toBool(), rows.value("FileName").toString(),
                       rows.value("linkfield").toString()});
    return fields;
}

// A criterion of the field's kind, as the designer stores it.
void criterionFor(FieldSetting& setting, int dataType) {
    switch (dataType) {
    case TextType:
        setting.StartsWith = "a";
        break;
    case NumberType:
        setting.LessThan = "1000000";
        setting.GreaterThan = "-1";
        break;
    case DateType:
        setting.RangeStart = toSerial(QDateTime(QDate(1990, 1, 1), QTime(0, 0)));
        break;
    case YesNoType:
        setting.WantFalse = true;
        break;
    default:
        break;
    }
}

} // namespace

class tst_Catalogue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    void delimitedLists_data() {
        addColumns<QString, QString, int>("text", "delimiter", "count");
        QTest::addColumn<QStringList>("entries"); // entries 0 to count + 1

        addRow("empty", "", ";", 0, QStringList{"", "", ""});
        addRow("empty inside", "a;;b", ";", 3, QStringList{"", "a", "", "b", ""});
        addRow("ends with one", "a;b;", ";", 3, QStringList{"", "a", "b", "", ""});
        addRow("case matters", "aXbxc", "x", 2, QStringList{"", "aXb", "c", ""});
        // A search starts one character after the previous match.
        addRow("overlapping", "a;;;b", ";;", 3, QStringList{"", "a", "", ";b", ""});
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

        ScriptedUi ui; // a report without rows says so
        QStringList failures;
        ErrorTrap trap([&failures](const DbError& failed) { failures << failed.description; });
        QSet<int> ids;
        for (const QString table : {"tasks", "assign"}) {
            const QList<ShippedField> fields = catalogueOf(catalogue, table);
            QVERIFY2(fields.size() >= 15, qPrintable(table));

            QStringList names;
            QString from = table;
            for (const ShippedField& field : fields) {
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

            Recordset count =
                site.openRecordset("select count(*) as n from " + table, RecordsetType::Snapshot);
            const int tableRows = count.value("n").toInt();
            const Catalogue reportCatalogue = Catalogue::load(catalogue, table);
            for (const ShippedField& field : fields) {
                if (field.dataType == CodeType)
                    continue; // the find's alone: never in a report
                // The field alone in a report: one line per row of the table, joins included.
                ReportDefinition report = resetReport(reportCatalogue);
                report.destination = ReportDestination::TextFile;
                report.fields = {field.id};
                const QString out = QDir(dir.path()).filePath("field.txt");
                QCOMPARE(runCustomReport(report, reportCatalogue, site, out), ReportRun::Written);
                QFile written(out);
                QVERIFY(written.open(QIODevice::ReadOnly));
                QVERIFY2(written.readAll().count("\r\n") == tableRows, qPrintable(field.desc));
                // And with a criterion of its kind, sorted by it.
                criterionFor(report.setting(field.id), field.dataType);
                for (int i = 0; i < reportCatalogue.sortFields().size(); ++i)
                    if (reportCatalogue.sortFields()[i].specId == field.id)
                        report.primarySort = i;
                QVERIFY(runCustomReport(report, reportCatalogue, site, out) != ReportRun::Failed);
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
                QVERIFY2(failures.isEmpty(), qPrintable(field.desc + ": " + failures.join('\n')));
                for (const ShownMessage& shown : ui.messages)
                    QVERIFY2(shown.text == NoReportRowsText,
                             qPrintable(field.desc + ": " + shown.text));
            }
        }
    }

    // A catalogue of before the codes gains the find's "Work Order Code" of each table once,
    // numbered after its highest id, and the designer's catalogue still leaves it out; one
    // that has it (with ids of its own) is not even written.
    void codeFieldsAddedOnceToAnOlderCatalogue() {
        QTemporaryDir dir;
        state().AppPath = dir.path() + u'/';
        QString error;
        QVERIFY2(createCatalogueDatabase(cataloguePath(), &error), qPrintable(error));
        const auto codeRows = [](Database& catalogue) {
            QStringList rows;
            Recordset found =
                catalogue.openRecordset("select * from RptSpec where datatype = 6 order by specid",
                                        RecordsetType::Snapshot);
            for (; found.isOpen() && !found.isEOF(); found.moveNext())
                rows << QStringLiteral("%1 %2 %3 %4")
                            .arg(found.value("specid").toInt())
                            .arg(found.value("usewith").toString(), found.value("Desc").toString(),
                                 found.value("fieldname").toString());
            return rows;
        };
        const QStringList shipped{"41 tasks Work Order Code tasks.taskid",
                                  "42 assign Work Order Code assid"};
        {
            Database catalogue = Database::open(cataloguePath());
            QCOMPARE(codeRows(catalogue), shipped);
            // An earlier catalogue: no codes, and a row of its own after the shipped ones.
            catalogue.executeScript("DELETE FROM RptSpec WHERE datatype = 6; INSERT INTO RptSpec "
                                    "(specid, usewith, \"Desc\", fieldname, datatype) VALUES "
                                    "(44, 'tasks', 'Extra', 'misc1', 1);");
            QVERIFY(codeRows(catalogue).isEmpty());
        }
        for (int opening = 0; opening < 2; ++opening) {
            Database catalogue = openCatalogue();
            QCOMPARE(codeRows(catalogue), (QStringList{"45 tasks Work Order Code tasks.taskid",
                                                       "46 assign Work Order Code assid"}));
            const Catalogue designed = Catalogue::load(catalogue, "assign");
            QCOMPARE(designed.maxSpecId(), 40);
            for (const CatalogueField& field : designed.fields())
                QVERIFY2(field.type != FieldType::Code, qPrintable(field.desc));
            QCOMPARE(Catalogue::load(catalogue, "tasks").maxSpecId(), 44);
        }

        // Newer: the codes there already, under other ids.
        {
            Database catalogue = Database::open(cataloguePath());
            catalogue.executeScript("UPDATE RptSpec SET specid = specid + 10 WHERE datatype = 6;");
        }
        const QByteArray before = digest(cataloguePath());
        openCatalogue();
        QCOMPARE(digest(cataloguePath()), before);
    }
};

QTEST_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
