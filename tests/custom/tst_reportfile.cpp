// Custom report definitions: the .rpt file written and read back, the query built from a
// definition, and the three destinations a report runs to.

#include "core/programstate.h"
#include "custom/customreport.h"
#include "custom/reportdefinition.h"
#include "data/database.h"
#include "data/dberror.h"
#include "data/schema.h"
#include "reports/reportdocument.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/tablefiles.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// A small site whose every value the expected outputs below spell out.
const QString SiteRows = QStringLiteral(
    "INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler room'), (2, 'Roof');"
    "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Lee');"
    "INSERT INTO tasks (taskid, taskname, reqhour, manuf, purchdate, curyearonly, locid) VALUES"
    " (1, 'Boiler check', 1.5, 'Acme', '2005-03-05', 0, 1),"
    " (2, 'Pump seals', 2, 'Bolt', '2005-03-06', 1, NULL),"
    " (3, 'Air filters', NULL, NULL, NULL, 0, 2);"
    "INSERT INTO assign (assid, taskid, duedate, completed, comphour, parts, empid) VALUES"
    " (1, 1, '2005-01-03', 1, 2, 12.5, 1),"
    " (2, 1, '2005-01-10', 0, NULL, 0.1, NULL),"
    " (3, 2, '2005-01-03', 1, 1.5, 3.3, 1);");

// Catalogue ids used below.
constexpr int TaskNumber = 1;
constexpr int TaskName = 2;
constexpr int HoursRequired = 7;
constexpr int Manufacturer = 9;
constexpr int CurrentYearOnly = 18;
constexpr int PurchaseDate = 19;
constexpr int AssignTaskName = 23;
constexpr int DueDate = 25;
constexpr int Completed = 26;
constexpr int HoursSpent = 28;
constexpr int PartsCost = 35;

SerialDate serial(int year, int month, int day) {
    return toSerial(QDateTime(QDate(year, month, day), QTime(0, 0)));
}

int sortPosition(const Catalogue& catalogue, int id) {
    for (int i = 0; i < catalogue.sortFields().size(); ++i)
        if (catalogue.sortFields()[i].specId == id)
            return i;
    return NoSort;
}

// A definition as a test case describes it, applied to a fresh report of the table.
using Setup = std::function<void(ReportDefinition&, const Catalogue&)>;

QStringList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split("\r\n");
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(ReportFileRead::Outcome)
Q_DECLARE_METATYPE(ReportRun)
Q_DECLARE_METATYPE(tavrel::Cell)
Q_DECLARE_METATYPE(PageNumbers)

class tst_ReportFile : public QObject {
    Q_OBJECT

    std::unique_ptr<TempWorkFolder> folder_;
    std::unique_ptr<ScriptedUi> ui_;
    Database specDb_;

    ReportDefinition report(const QString& table, const Setup& setup) {
        const Catalogue catalogue = Catalogue::load(specDb_, table);
        ReportDefinition definition = resetReport(catalogue);
        setup(definition, catalogue);
        return definition;
    }

    // A full tasks report written to a file, for the checks that spoil one of its lines.
    QString writtenTasksReport() {
        const Catalogue catalogue = Catalogue::load(specDb_, "tasks");
        ReportDefinition definition = resetReport(catalogue);
        definition.title = "Weekly";
        definition.fields = {TaskName, PurchaseDate};
        const QString path = folder_->file("weekly.rpt");
        writeReportFile(path, definition, catalogue);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }

    void init() {
        resetProgramState();
        folder_ = std::make_unique<TempWorkFolder>(2005, SiteRows);
        QString error;
        QVERIFY2(createCatalogueDatabase(folder_->file("rptspec.mdb"), &error), qPrintable(error));
        specDb_ = Database::open(folder_->file("rptspec.mdb"));
        ui_ = std::make_unique<ScriptedUi>();
        ui_->setToday(QDate(2005, 1, 6));
    }
    void cleanup() {
        ui_.reset();
        specDb_.close();
        folder_.reset();
    }

    void fileRoundTrip_data() {
        addColumns<QString, Setup>("table", "setup");
        QTest::addColumn<QStringList>("someLines"); // line number, then its text, ...

        addRow("everything set", "tasks", Setup([](ReportDefinition& r, const Catalogue& c) {
                   r.title = "Equipment; by week";
                   r.destination = ReportDestination::WebTable;
                   r.orientation = PageOrientation::Landscape;
                   r.showDate = false;
                   r.pageNumbers = PageNumbers::None;
                   r.widthUnit = WidthUnit::Centimeters;
                   r.primarySort = sortPosition(c, TaskName);
                   r.secondarySort = 3;
                   r.fields = {TaskName, PurchaseDate, HoursRequired};
                   r.setting(TaskName).StartsWith = "Pu";
                   r.setting(PurchaseDate).RangeStart =
                       toSerial(QDateTime(QDate(2005, 3, 5), QTime(13, 30)));
                   r.setting(PurchaseDate).RangeEnd = serial(1899, 12, 29);
                   r.setting(HoursRequired).LessThan = "2,5";
                   r.setting(HoursRequired).GreaterThan = "-1";
                   r.setting(HoursRequired).ColWidth = 0.35f;
                   r.setting(HoursRequired).ShowTotal = true;
                   r.setting(CurrentYearOnly).WantFalse = true;
                   r.setting(Manufacturer).HideCol = true;
               }),
               QStringList{"3", "3", "8", " 13 ", "9", " 3 ", "11", "2;19;7", "15",
                           "0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;38416.5625;0"});
        // The designer shows tasks; the file switches it to the assignments catalogue.
        addRow("assign", "assign", Setup([](ReportDefinition& r, const Catalogue&) {
                   r.fields = {PartsCost, DueDate};
                   r.setting(Completed).WantTrue = true;
               }),
               QStringList{"1", "assign", "11", "35;25"});
    }

    void fileRoundTrip() {
        QFETCH(QString, table);
        QFETCH(Setup, setup);
        QFETCH(QStringList, someLines);
        const Catalogue catalogue = Catalogue::load(specDb_, table);
        const ReportDefinition written = report(table, setup);
        const QString path = folder_->file("r.rpt");
        QVERIFY(writeReportFile(path, written, catalogue));

        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size(), 23); // 22 lines, each ended by CR LF
        QCOMPARE(lines[21].count(';') + 1, catalogue.maxSpecId());
        for (int i = 0; i < someLines.size(); i += 2)
            QCOMPARE(lines[someLines[i].toInt() - 1], someLines[i + 1]);

        const ReportFileRead read = readReportFile(path, "tasks", specDb_);
        QCOMPARE(read.outcome, ReportFileRead::Read);
        QCOMPARE(read.catalogue.table(), table);
        QCOMPARE(read.report, written);
        QVERIFY(ui_->messages.isEmpty());
    }

    void fileChecks_data() {
        addColumns<int, QString, ReportFileRead::Outcome>("line", "text", "outcome");

        addRow("21 characters", 1, "tasksxxxxxxxxxxxxxxxx", ReportFileRead::RejectedAtTable);
        addRow("table without rows", 1, "locations", ReportFileRead::RejectedAtTable);
        addRow("sort beyond the list", 8, " 17 ", ReportFileRead::Rejected);
        addRow("last sort position", 9, " 16 ", ReportFileRead::Read);
        addRow("flag 2", 13, "0;2", ReportFileRead::Rejected);
        // Written when the catalogue had fewer ids, or more: the rest keep their reset
        // values, the extra entries are ignored.
        addRow("shorter catalogue", 20, "0;1", ReportFileRead::Read);
        addRow("longer catalogue", 20, QString("0;1") + QString(";0").repeated(20) + ";x",
               ReportFileRead::Read);
        addRow("line 22 not read", 22, "x", ReportFileRead::Read);
    }

    void fileChecks() {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(ReportFileRead::Outcome, outcome);
        const QString path = writtenTasksReport();
        QStringList lines = fileLines(path);
        lines[line - 1] = text;
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines.join("\r\n").toUtf8());
        file.close();

        const ReportFileRead read = readReportFile(path, "assign", specDb_);
        QCOMPARE(read.outcome, outcome);
        if (outcome == ReportFileRead::RejectedAtTable)
            return;
        // Whatever came before the line that failed was read.
        QCOMPARE(read.report.title, "Weekly");
        if (line > 11)
            QCOMPARE(read.report.fields, (QList<int>{TaskName, PurchaseDate}));
        if (line == 20)
            for (int id = 1; id <= read.catalogue.maxSpecId(); ++id)
                QCOMPARE(read.report.setting(id).HideCol, id == 2);
    }

    // A file cut short is refused, wherever the cut falls in the lines that are read.
    void truncatedFile_data() {
        QTest::addColumn<int>("lines"); // complete lines kept
        QTest::addColumn<int>("extra"); // characters of the next line kept
        QTest::addColumn<ReportFileRead::Outcome>("outcome");
        addRow("empty file", 0, 0, ReportFileRead::RejectedAtTable);
        addRow("inside the table name", 0, 3, ReportFileRead::RejectedAtTable);
        addRow("after the numbers", 10, 0, ReportFileRead::Rejected);
        addRow("inside the field list", 10, 1, ReportFileRead::Rejected);
        addRow("after the field list", 11, 0, ReportFileRead::Rejected);
        addRow("inside a criteria line", 13, 2, ReportFileRead::Rejected);
        addRow("inside the last line read", 20, 3, ReportFileRead::Rejected);
        addRow("without the line not read", 21, 0, ReportFileRead::Read);
        addRow("inside the line not read", 21, 1, ReportFileRead::Read);
    }

    void truncatedFile() {
        QFETCH(int, lines);
        QFETCH(int, extra);
        QFETCH(ReportFileRead::Outcome, outcome);
        const QString path = writtenTasksReport();
        const QStringList all = fileLines(path);
        QString kept;
        for (int i = 0; i < lines; ++i)
            kept += all[i] + "\r\n";
        kept += all[lines].left(extra);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(kept.toUtf8());
        file.close();

        const ReportFileRead read = readReportFile(path, "tasks", specDb_);
        QCOMPARE(read.outcome, outcome);
        if (outcome == ReportFileRead::Read)
            QCOMPARE(read.report.fields, (QList<int>{TaskName, PurchaseDate}));
    }

    void queryText_data() {
        addColumns<QString, Setup, QString, QString>("table", "setup", "sql", "tableFormat");

        addRow("text criterion, two sorts", "tasks",
               Setup([](ReportDefinition& r, const Catalogue& c) {
                   r.fields = {TaskName, Manufacturer};
                   r.setting(TaskName).StartsWith = "Pu";
                   r.primarySort = sortPosition(c, TaskName);
                   r.secondarySort = sortPosition(c, Manufacturer);
               }),
               "Select taskname, manuf from tasks where  taskname like 'Pu*' order by taskname, "
               "manuf",
               "3600|2160;");
        addRow("an apostrophe in the text", "tasks",
               Setup([](ReportDefinition& r, const Catalogue&) {
                   r.fields = {TaskName};
                   r.setting(TaskName).StartsWith = "O'Br";
               }),
               "Select taskname from tasks where  taskname like 'O''Br*'", "3600;");
        addRow("False alone, secondary sort only", "tasks",
               Setup([](ReportDefinition& r, const Catalogue& c) {
                   r.fields = {TaskName, CurrentYearOnly};
                   r.setting(CurrentYearOnly).WantFalse = true;
                   r.secondarySort = sortPosition(c, PurchaseDate);
               }),
               "Select taskname, curyearonly from tasks where  not curyearonly order by purchdate",
               "3600|1152;");
        addRow("numbers and True, centimetres", "tasks",
               Setup([](ReportDefinition& r, const Catalogue&) {
                   r.widthUnit = WidthUnit::Centimeters;
                   r.fields = {TaskNumber, CurrentYearOnly};
                   r.setting(TaskNumber).ColWidth = 2.5f;
                   r.setting(TaskNumber).LessThan = "10";
                   r.setting(TaskNumber).GreaterThan = "3";
                   r.setting(CurrentYearOnly).WantTrue = true;
               }),
               "Select tasks.taskid, curyearonly from tasks where  tasks.taskid < 10 and "
               "tasks.taskid > 3 and curyearonly",
               ">1404|449.28;");
    }

    void queryText() {
        QFETCH(QString, table);
        QFETCH(Setup, setup);
        QFETCH(QString, sql);
        QFETCH(QString, tableFormat);
        const ReportQuery query =
            buildReportQuery(report(table, setup), Catalogue::load(specDb_, table));
        QCOMPARE(query.sql, sql);
        QCOMPARE(query.tableFormat, tableFormat);
    }

    // A cell keeps its value and kind beside its text: money as money, dates and times as
    // such; yes/no and empty values are text.
    void cellKinds_data() {
        addColumns<QVariant, FieldType, bool, Cell>("value", "type", "currency", "cell");
        addRow("money", QVariant(12.5), FieldType::Number, true,
               Cell{"$12.50", CellKind::Money, 12.5});
        addRow("number", QVariant(1.5), FieldType::Number, false,
               Cell{"1.5", CellKind::Number, 1.5});
        addRow("no number", QVariant(), FieldType::Number, true, Cell{});
        addRow("date", QVariant(QDate(2005, 3, 8)), FieldType::Date, false,
               Cell{"3/8/2005", CellKind::Date, QDate(2005, 3, 8)});
        addRow("time", QVariant(QDateTime(QDate(1899, 12, 30), QTime(14, 5))), FieldType::Time,
               false, Cell{"2:05 PM", CellKind::Time, QTime(14, 5)});
        addRow("yes", QVariant(true), FieldType::YesNo, false, Cell::ofText("Yes"));
        addRow("text", QVariant("a|b;c"), FieldType::Text, false, Cell::ofText("a|b;c"));
    }
    void cellKinds() {
        QFETCH(QVariant, value);
        QFETCH(FieldType, type);
        QFETCH(bool, currency);
        QFETCH(Cell, cell);
        const Cell made = reportCell(value, type, currency);
        QCOMPARE(made.text, cell.text);
        QCOMPARE(int(made.kind), int(cell.kind));
        QCOMPARE(made.value, cell.value);
    }

    void pageTexts_data() {
        addColumns<bool, PageNumbers, QString, QString>("showDate", "numbers", "header", "footer");
        addRow("at bottom", true, PageNumbers::AtBottom, "1/6/2005|Tavrel Report|", "|Page %d|");
        addRow("in header", false, PageNumbers::InHeader, "|Tavrel Report|Page %d", "");
    }

    void pageTexts() {
        QFETCH(bool, showDate);
        QFETCH(PageNumbers, numbers);
        ReportDefinition definition = report("tasks", [](ReportDefinition&, const Catalogue&) {});
        definition.showDate = showDate;
        definition.pageNumbers = numbers;
        const PageTexts texts = reportPageTexts(definition, QDate(2005, 1, 6));
        QTEST(texts.header.text(), "header");
        QTEST(texts.footer.text(), "footer");
    }

    void outputs_data() {
        addColumns<QString, Setup, QString>("table", "setup", "expected");

        const Setup assignments = [](ReportDefinition& r, const Catalogue& c) {
            r.title = "Done";
            r.fields = {AssignTaskName, DueDate, Completed, HoursSpent, PartsCost};
            r.setting(HoursSpent).ShowTotal = true;
            r.setting(PartsCost).ShowTotal = true;
            r.primarySort = sortPosition(c, DueDate);
            r.secondarySort = sortPosition(c, AssignTaskName);
        };
        Setup text = [assignments](ReportDefinition& r, const Catalogue& c) {
            assignments(r, c);
            r.destination = ReportDestination::TextFile;
        };
        addRow("text with totals", "assign", text,
               "Boiler check\t1/3/2005\tYes\t2\t$12.50\r\n"
               "Pump seals\t1/3/2005\tYes\t1.5\t$3.30\r\n"
               "Boiler check\t1/10/2005\tNo\t\t$0.10\r\n"
               "\t\t\t3.5\t$15.90\r\n");
        Setup html = [assignments](ReportDefinition& r, const Catalogue& c) {
            assignments(r, c);
            r.destination = ReportDestination::WebTable;
            r.fields.removeAt(1);
            r.setting(HoursSpent).ShowTotal = false;
        };
        addRow("html", "assign", html,
               "<!DOCTYPE html>\r\n<html>\r\n<head><meta "
               "charset=\"utf-8\"><title>Done</title></head>"
               "\r\n<body>\r\n<table border=1>\r\n"
               "<tr><th colspan = 4>Done</th></tr>\r\n<tr>\r\n<th>Task Name</th>\r\n"
               "<th>Completed</th>\r\n<th>Hours Spent</th>\r\n<th>Parts Cost</th>\r\n</tr>\r\n"
               "<tr><td>Boiler check</td><td>Yes</td><td align=right>2</td>"
               "<td align=right>$12.50</td></tr>\r\n"
               "<tr><td>Pump seals</td><td>Yes</td><td align=right>1.5</td>"
               "<td align=right>$3.30</td></tr>\r\n"
               "<tr><td>Boiler check</td><td>No</td><td align=right></td>"
               "<td align=right>$0.10</td></tr>\r\n"
               "<tr><TD>&nbsp;</TD><TD>&nbsp;</TD><TD>&nbsp;</TD>"
               "<td align=right>$15.90</td></tr>\r\n"
               "</table>\r\n<H6>List Produced by <A "
               "HREF=\"https://tavrel.example.org/\">Tavrel</A></H6>\r\n</body>\r\n</html>\r\n");
        // A hidden field placed first restricts the rows; an end date alone includes it.
        addRow("hidden criteria", "tasks", Setup([](ReportDefinition& r, const Catalogue&) {
                   r.destination = ReportDestination::TextFile;
                   r.fields = {HoursRequired, PurchaseDate, TaskName, Manufacturer};
                   r.setting(HoursRequired).HideCol = true;
                   r.setting(HoursRequired).GreaterThan = "1";
                   r.setting(PurchaseDate).HideCol = true;
                   r.setting(PurchaseDate).RangeEnd = serial(2005, 3, 5);
               }),
               "Boiler check\tAcme\r\n");
    }

    void outputs() {
        QFETCH(QString, table);
        QFETCH(Setup, setup);
        QFETCH(QString, expected);
        const QString path = folder_->file("out");
        QVERIFY(QFile(path).open(QIODevice::WriteOnly)); // replaced whole
        QCOMPARE(runCustomReport(report(table, setup), Catalogue::load(specDb_, table),
                                 state().dbMain, path),
                 ReportRun::Written);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()), expected);
        QVERIFY(ui_->messages.isEmpty());
    }

    // A text file named .csv or .xlsx: one table for a spreadsheet, values as what they are,
    // the total row left out; a byte order mark when asked for (CSV); typed cells in columns
    // as wide as on the page (XLSX).
    void spreadsheetOutput() {
        const ReportDefinition definition =
            report("tasks", [](ReportDefinition& r, const Catalogue& c) {
                r.destination = ReportDestination::TextFile;
                r.fields = {TaskName, HoursRequired, PurchaseDate};
                r.setting(HoursRequired).ShowTotal = true;
                r.primarySort = sortPosition(c, TaskName);
            });
        const QString path = folder_->file("out.csv");
        QCOMPARE(runCustomReport(definition, Catalogue::load(specDb_, "tasks"), state().dbMain,
                                 path, true),
                 ReportRun::Written);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(),
                 QByteArray("\xEF\xBB\xBFTask Name,Hours Required,Purchase Date\r\n"
                            "Air filters,,\r\n"
                            "Boiler check,1.5,2005-03-05\r\n"
                            "Pump seals,2,2005-03-06\r\n"));
        QVERIFY(ui_->messages.isEmpty());

        const QString workbook = folder_->file("out.xlsx");
        QCOMPARE(runCustomReport(definition, Catalogue::load(specDb_, "tasks"), state().dbMain,
                                 workbook, true),
                 ReportRun::Written);
        QVERIFY(ui_->messages.isEmpty());
        const TableFileRead read = readTableFile(workbook);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.rows, (QList<QStringList>{{"Task Name", "Hours Required", "Purchase Date"},
                                                {"Air filters", "", ""},
                                                {"Boiler check", "1.5", "2005-03-05"},
                                                {"Pump seals", "2", "2005-03-06"}}));
        QCOMPARE(read.kinds, (QStringList{"sss", "s--", "snd", "snd"}));
        QList<int> pixels;
        for (const TableColumn& column : parseTableFormat(state().TableFormat))
            pixels << qRound(column.twips / 15.0);
        QCOMPARE(pixels.size(), 3);
        QCOMPARE(read.pixels, pixels);
    }

    void documentOutput() {
        const ReportDefinition definition =
            report("tasks", [](ReportDefinition& r, const Catalogue& c) {
                r.fields = {TaskName, HoursRequired};
                r.setting(HoursRequired).ShowTotal = true;
                r.primarySort = sortPosition(c, TaskName);
            });
        QCOMPARE(runCustomReport(definition, Catalogue::load(specDb_, "tasks"), state().dbMain, {}),
                 ReportRun::Written);
        QCOMPARE(state().TableFormat, "3600|>1008;");
        QCOMPARE(state().TableHeading, (QStringList{"Task Name", "Hours Required"}));
        const std::vector<ReportDocument::Entry>& entries = reportDocument().entries();
        QStringList bodies;
        for (const ReportDocument::Entry& entry : entries) {
            QCOMPARE(entry.format, state().TableFormat);
            bodies << entry.heading + entry.body;
        }
        QCOMPARE(bodies, (QStringList{"Task Name|Hours Required;", "Air filters|;",
                                      "Boiler check|1.5;", "Pump seals|2;", "|3.5;"}));
        QVERIFY(reportDocument().isFinished());
    }

    void refusals_data() {
        addColumns<Setup, ReportRun, QString>("setup", "run", "message");
        QTest::addColumn<bool>("fileKept"); // an earlier file of the name is left as it was
        addRow("no fields", Setup([](ReportDefinition&, const Catalogue&) {}), ReportRun::NoFields,
               NoReportFieldsText, true);
        addRow("no rows", Setup([](ReportDefinition& r, const Catalogue&) {
                   r.fields = {TaskName};
                   r.setting(TaskName).StartsWith = "Zz";
               }),
               ReportRun::NoRows, NoReportRowsText, false);
        addRow("all hidden", Setup([](ReportDefinition& r, const Catalogue&) {
                   r.fields = {TaskName};
                   r.setting(TaskName).HideCol = true;
               }),
               ReportRun::Failed, QString::number(ErrSqlSyntax) + "  ", true);
    }

    void refusals() {
        QFETCH(Setup, setup);
        QFETCH(ReportRun, run);
        QFETCH(QString, message);
        QFETCH(bool, fileKept);
        ReportDefinition definition = report("tasks", setup);
        for (const ReportDestination destination :
             {ReportDestination::TextFile, ReportDestination::WebTable}) {
            definition.destination = destination;
            ui_->messages.clear();
            const QString path = folder_->file("out.txt");
            QFile::remove(path);
            QCOMPARE(runCustomReport(definition, Catalogue::load(specDb_, "tasks"), state().dbMain,
                                     path),
                     run);
            QCOMPARE(ui_->messages.size(), 1);
            QVERIFY2(ui_->messages[0].text.startsWith(message), qPrintable(ui_->messages[0].text));
            QCOMPARE(ui_->messages[0].title, AppTitle);
            // No empty file is left behind by a report that never ran.
            QCOMPARE(QFileInfo::exists(path), !fileKept);

            const QByteArray earlier = "an earlier report\r\n";
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(earlier);
            file.close();
            ui_->messages.clear();
            runCustomReport(definition, Catalogue::load(specDb_, "tasks"), state().dbMain, path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll() == earlier, fileKept);
        }
    }
};

QTEST_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
