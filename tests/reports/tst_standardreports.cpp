// The five standard reports on one prepared site: what each writes into the document, the
// lines of its text file, its message when nothing is found, and the date-range dialog.

#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "reports/frmrptdates.h"
#include "reports/reportdocument.h"
#include "reports/standardreports.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/tablefiles.h"
#include "support/testenv.h"

#include <QPushButton>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// March 2005 (Mondays 7, 14, 21, 28), today the 28th. Adams works 70 minutes beyond whole
// hours, Baker 130; one completion has no employee; one lies outside March; one costs
// nothing. Open work: Baker's is overdue, the rest is due today.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Adams'), (2, 'Bob', 'Baker');
INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room');
INSERT INTO tasks (taskid, taskname, reqhour, reqmin, locid, besttime) VALUES
    (1, 'Boiler check', 1, 15, 1, 'Monday'), (2, 'Chiller service', 2, 0, NULL, NULL),
    (3, 'Pump inspection', 0, 30, 1, 'Early'), (4, 'Valve test', 0, 0, NULL, NULL);
INSERT INTO assign (taskid, duedate, completed, compdate, comphour, compmin, empid,
                    parts, labor, tax, totalcost) VALUES
    (1, '2005-03-07', 1, '2005-03-08', 1, 30, 1, 10, 20, 2.1, 32.1),
    (2, '2005-03-07', 1, '2005-03-09', 0, 40, 1, 0, 0, 0, 0),
    (3, '2005-03-14', 1, '2005-03-15', 1, 90, 2, 0, 0, 0, 0),
    (4, '2005-03-14', 1, '2005-03-16', 0, 40, 2, 5.55, 0, 0.39, 5.94),
    (1, '2005-03-21', 1, '2005-03-22', 0, 20, NULL, 0, 0, 0, 0),
    (2, '2005-02-28', 1, '2005-04-01', 3, 0, 1, 50, 0, 0, 50),
    (3, '2005-03-21', 0, NULL, 0, 0, 2, 0, 0, 0, 0),
    (4, '2005-03-28', 0, NULL, 0, 0, NULL, 0, 0, 0, 0),
    (1, '2005-03-28', 0, NULL, 0, 0, 1, 0, 0, 0, 0),
    (2, '2005-02-28', 0, NULL, 0, 0, 2, 0, 0, 0, 0);
)");
const QDate Today(2005, 3, 28);
const QDate March1(2005, 3, 1);
const QDate March31(2005, 3, 31);

// The document's entries, one line each: page, kind, text ("\r\n" written as "/").
QStringList entryLines(const ReportDocument& document) {
    QStringList lines;
    for (const ReportDocument::Entry& e : document.entries()) {
        const QString text = QString(e.body).replace("\r\n", "/");
        switch (e.kind) {
        case ReportDocument::Entry::Table:
            lines << QStringLiteral("%1 %2 %3")
                         .arg(e.page)
                         .arg(e.headingRows.isEmpty() ? "row" : "headings",
                              e.headingRows.isEmpty() ? text : e.heading);
            break;
        case ReportDocument::Entry::Text:
            lines << QStringLiteral("%1 text %2").arg(e.page).arg(text);
            break;
        case ReportDocument::Entry::PageBreak:
            lines << QStringLiteral("%1 new page").arg(e.page);
            break;
        case ReportDocument::Entry::Picture:
            lines << QStringLiteral("%1 picture %2").arg(e.page).arg(text);
            break;
        case ReportDocument::Entry::Label:
            lines << QStringLiteral("%1 label %2").arg(e.page).arg(text);
            break;
        }
    }
    return lines;
}

QStringList pageHeaders(const ReportDocument& document) {
    QStringList headers;
    for (int page = 1; page <= document.pageCount(); ++page)
        headers << document.pageHeader(page);
    return headers;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestStandardReports : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        reportDocument().reset();
    }

    void document_data() {
        addColumns<QString, QDate, QDate>("report", "from", "to");
        QTest::addColumn<bool>("plain"); // the table setting of the two list reports
        addColumns<QStringList, QStringList>("headers", "entries");
        const QString completedHeadings =
            "1 headings Date Completed|Task Name|Hours|Minutes|Employee;";
        addRow(
            "completed: unassigned first, 70 and 130 minutes carried", "completed", March1, March31,
            false, QStringList{"|Completed Work by Employee for 3/1/2005 to 3/31/2005|Page %d"},
            QStringList{completedHeadings, "1 row 3/22/2005|Boiler check|0|20|Unassigned;",
                        "1 row |Subtotal:|0|20|;", "1 text /",
                        "1 row 3/8/2005|Boiler check|1|30|Ann Adams;",
                        "1 row 3/9/2005|Chiller service|0|40|Ann Adams;", "1 row |Subtotal:|2|10|;",
                        "1 text /", "1 row 3/15/2005|Pump inspection|1|90|Bob Baker;",
                        "1 row 3/16/2005|Valve test|0|40|Bob Baker;", "1 row |Subtotal:|3|10|;",
                        "1 text /", "1 row |Totals:|5|40|;"});
        addRow("expenses: no zero totals, sums of the rows shown", "expenses", March1, March31,
               false, QStringList{"|Tavrel Expense Report for 3/1/2005 to 3/31/2005|Page %d"},
               QStringList{"1 headings Date Completed|Task Name|Parts|Labor|Tax|Total;",
                           "1 row 3/8/2005|Boiler check|$10.00|$20.00|$2.10|$32.10;",
                           "1 row 3/16/2005|Valve test|$5.55|$0.00|$0.39|$5.94;",
                           "1 row |Totals:|$15.55|$20.00|$2.49|$38.04;"});
        // Two weeks take every kind of time line; the Monday on the end date is in.
        addRow("master: a week line per Monday, no time for 0 and 0", "master", March1,
               QDate(2005, 3, 14), true,
               QStringList{"Master Task List for 3/1/2005 - 3/14/2005||Page %d"},
               QStringList{"1 text Week of 3/7/2005/", "1 row Boiler check|1 Hours 15 Minutes;",
                           "1 row Chiller service|2 Hours ;", "1 text /",
                           "1 text Week of 3/14/2005/", "1 row Pump inspection|30 Minutes;",
                           "1 row Valve test|;"});
        addRow("overdue: before today and open only, whatever the dates", "overdue",
               QDate(2005, 3, 31), QDate(2005, 3, 1), false,
               QStringList{"|Tavrel Overdue Assignments|Page %d"},
               QStringList{"1 headings Date Due|Task Name|Location|Best Time|Time Required;",
                           "1 row 2/28/2005|Chiller service|||2:0;",
                           "1 row 3/21/2005|Pump inspection|Boiler Room|Early|0:30;"});
        const QString headings = QStringLiteral(" headings Task Name|Completed;");
        const QString signature = " text //Signature:  __________________________________________";
        addRow("assignments: a page each, signed by employees only", "assignments", March1, March31,
               true,
               QStringList{"Tasks Not Assigned to an Employee for 3/1/2005 - 3/31/2005||Page %d",
                           "Tasks Assigned to Ann Adams for 3/1/2005 - 3/31/2005||Page %d",
                           "Tasks Assigned to Bob Baker for 3/1/2005 - 3/31/2005||Page %d"},
               QStringList{"1" + headings, "1 row Boiler check|;", "1 row Valve test|;",
                           "1 new page", "2" + headings, "2 row Boiler check|;",
                           "2 row Boiler check|;", "2 row Chiller service|;", "2" + signature,
                           "2 new page", "3" + headings, "3 row Pump inspection|;",
                           "3 row Pump inspection|;", "3 row Valve test|;", "3" + signature});
    }
    void document() {
        QFETCH(QString, report);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(bool, plain);
        QFETCH(QStringList, headers);
        QFETCH(QStringList, entries);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        int shown = 0;
        state().reportViewer = [&] { ++shown; };
        state().ReportStartDate = from;
        state().ReportEndDate = to;
        runStandardReport(*standardReportNamed(report));
        QCOMPARE(ui.messageTexts(), QStringList());
        QCOMPARE(shown, 1);
        const ReportDocument& doc = reportDocument();
        QVERIFY(doc.isFinished());
        QCOMPARE(entryLines(doc), entries);
        QCOMPARE(pageHeaders(doc), headers);
        QCOMPARE(doc.tableStyle() == TableStyle::Plain, plain);
    }

    // The cells keep what they show: dates as dates, money as money, counts as numbers, so
    // that a destination that keeps values gets them right.
    void cellKinds_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<int>("row");       // among the report's table rows
        QTest::addColumn<QString>("kinds"); // D date, T text, N number, M money
        QTest::addColumn<QVariantList>("values");
        const QVariant none;
        addRow("completed: a row", "completed", 0, "DTNNT",
               QVariantList{QDate(2005, 3, 22), none, 0.0, 20.0, none});
        addRow("completed: a subtotal", "completed", 1, "TTNNT",
               QVariantList{none, none, 0.0, 20.0, none});
        addRow("expenses: a row", "expenses", 0, "DTMMMM",
               QVariantList{QDate(2005, 3, 8), none, 10.0, 20.0, 2.1, 32.1});
        addRow("expenses: the totals", "expenses", 2, "TTMMMM",
               QVariantList{none, none, 15.55, 20.0, 2.49, 38.04});
        addRow("overdue: a row", "overdue", 0, "DTTTT",
               QVariantList{QDate(2005, 2, 28), none, none, none, none});
    }
    void cellKinds() {
        QFETCH(QString, report);
        QFETCH(int, row);
        QFETCH(QString, kinds);
        QFETCH(QVariantList, values);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        state().reportViewer = [] {};
        state().ReportStartDate = March1;
        state().ReportEndDate = March31;
        runStandardReport(*standardReportNamed(report));
        QList<CellRow> rows;
        for (const ReportDocument::Entry& e : reportDocument().entries())
            if (e.kind == ReportDocument::Entry::Table)
                rows += e.bodyRows;
        QVERIFY(row < rows.size());
        QString shown;
        QVariantList held;
        for (const Cell& cell : rows[row]) {
            const char* const letters = "TNMDI";
            shown += QLatin1Char(letters[int(cell.kind)]);
            held << (cell.kind == CellKind::Text ? QVariant() : cell.value);
        }
        QCOMPARE(shown, kinds);
        QCOMPARE(held.size(), values.size());
        for (qsizetype c = 0; c < held.size(); ++c) {
            if (values[c].typeId() == QMetaType::Double)
                QVERIFY2(qFuzzyCompare(held[c].toDouble(), values[c].toDouble()),
                         qPrintable(QStringLiteral("cell %1: %2").arg(c).arg(held[c].toString())));
            else
                QCOMPARE(held[c], values[c]);
        }
    }

    // A one-off job (the pump, due on 7 March, open) is one more row of each report; the
    // Master List by Week marks it, in the document and in the text file.
    void oneOffJobs_data() {
        addColumns<QString, bool>("report", "toFile");
        QTest::addColumn<QStringList>("rows");
        addRow("master", "master", false,
               QStringList{"1 text Week of 3/7/2005/", "1 row Boiler check|1 Hours 15 Minutes;",
                           "1 row Chiller service|2 Hours ;",
                           "1 row Pump inspection (one-off)|30 Minutes;", "1 text /",
                           "1 text Week of 3/14/2005/", "1 row Pump inspection|30 Minutes;",
                           "1 row Valve test|;"});
        addRow("master, to a file", "master", true,
               QStringList{"Boiler check\t1 Hours 15 Minutes", "Chiller service\t2 Hours ",
                           "Pump inspection (one-off)\t30 Minutes", "Pump inspection\t30 Minutes",
                           "Valve test\t", ""});
        addRow("overdue", "overdue", false,
               QStringList{"1 headings Date Due|Task Name|Location|Best Time|Time Required;",
                           "1 row 2/28/2005|Chiller service|||2:0;",
                           "1 row 3/7/2005|Pump inspection|Boiler Room|Early|0:30;",
                           "1 row 3/21/2005|Pump inspection|Boiler Room|Early|0:30;"});
    }
    void oneOffJobs() {
        QFETCH(QString, report);
        QFETCH(bool, toFile);
        QFETCH(QStringList, rows);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql + "INSERT INTO assign (taskid, duedate, completed, "
                                              "oneoff) VALUES (3, '2005-03-07', 0, 1);");
        state().reportViewer = [] {};
        state().ReportStartDate = March1;
        state().ReportEndDate = QDate(2005, 3, 14);
        const QString path = folder.file("report.txt");
        if (toFile) {
            state().ReportDest = ReportTarget::File;
            ui.answerFile(path);
        }
        runStandardReport(*standardReportNamed(report));
        QCOMPARE(ui.messageTexts(), QStringList());
        if (toFile)
            QCOMPARE(QString::fromUtf8(readAll(path)).split("\r\n"), rows);
        else
            QCOMPARE(entryLines(reportDocument()), rows);
    }

    // Sent to a file: only the table rows, tabs for "|", CR LF; the master list's lines end
    // without the tab that ends those of the other reports.
    void textFile() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        state().ReportDest = ReportTarget::File;
        state().ReportStartDate = March1;
        state().ReportEndDate = QDate(2005, 3, 14);
        const QString path = folder.file("master.txt");
        ui.answerFile(path);
        runStandardReport(*standardReportNamed("master"));
        QCOMPARE(ui.messageTexts(), QStringList());
        QCOMPARE(readAll(path), QByteArray("Boiler check\t1 Hours 15 Minutes\r\n"
                                           "Chiller service\t2 Hours \r\n"
                                           "Pump inspection\t30 Minutes\r\n"
                                           "Valve test\t\r\n"));
        QCOMPARE(reportDocument().entries().size(), size_t(0));
    }

    // As CSV, read back by Python's csv module: each report one table with a heading line,
    // the group (week, employee) a column of its rows, no subtotal or total rows; a text
    // with a quote, a comma and a line break comes back whole.
    // Each report as one flat table for a spreadsheet, CSV and XLSX: a heading row, the group
    // a column of each row, no subtotals; read back as a spreadsheet program reads them. A
    // workbook's cells are typed by column (an empty cell is left empty), its heading row is
    // bold and stays on screen, and its columns are as wide as on the page.
    void spreadsheetFiles_data() {
        addColumns<QString, QDate, QString, QString>("report", "to", "kinds", "format");
        QTest::addColumn<QList<QStringList>>("rows");
        const QString valve = QStringLiteral("Valve \"A\", north\nside");
        const QList<QStringList> completed{
            {"Date Completed", "Task Name", "Hours", "Minutes", "Employee"},
            {"2005-03-22", "Boiler check", "0", "20", "Unassigned"},
            {"2005-03-08", "Boiler check", "1", "30", "Ann Adams"},
            {"2005-03-09", "Chiller service", "0", "40", "Ann Adams"},
            {"2005-03-15", "Pump inspection", "1", "90", "Bob Baker"},
            {"2005-03-16", valve, "0", "40", "Bob Baker"}};
        const QList<QStringList> expenses{
            {"Date Completed", "Task Name", "Parts", "Labor", "Tax", "Total"},
            {"2005-03-08", "Boiler check", "10.00", "20.00", "2.10", "32.10"},
            {"2005-03-16", valve, "5.55", "0.00", "0.39", "5.94"}};
        const QList<QStringList> master{{"Week", "Task Name", "Time Needed"},
                                        {"2005-03-07", "Boiler check", "1 Hours 15 Minutes"},
                                        {"2005-03-07", "Chiller service", "2 Hours "},
                                        {"2005-03-14", "Pump inspection", "30 Minutes"},
                                        {"2005-03-14", valve, ""}};
        const QList<QStringList> overdue{
            {"Date Due", "Task Name", "Location", "Best Time", "Time Required"},
            {"2005-02-28", "Chiller service", "", "", "2:0"},
            {"2005-03-21", "Pump inspection", "Boiler Room", "Early", "0:30"}};
        const QList<QStringList> assignments{{"Employee", "Task Name", "Completed"},
                                             {"Unassigned", "Boiler check", ""},
                                             {"Unassigned", valve, ""},
                                             {"Ann Adams", "Boiler check", ""},
                                             {"Ann Adams", "Boiler check", ""},
                                             {"Ann Adams", "Chiller service", ""},
                                             {"Bob Baker", "Pump inspection", ""},
                                             {"Bob Baker", "Pump inspection", ""},
                                             {"Bob Baker", valve, ""}};
        for (const char* type : {"csv", "xlsx"}) {
            const auto name = [type](const char* report) {
                return QByteArray(report) + '.' + type;
            };
            addRow(name("completed").constData(), "completed", March31, "dsnns",
                   "1240|3800|>700|>900|2880;", completed);
            addRow(name("expenses").constData(), "expenses", March31, "dsmmmm",
                   "1240|3500|>1400|>1400|>1400|>1400;", expenses);
            addRow(name("master").constData(), "master", QDate(2005, 3, 14), "dss",
                   "1240|5800|2000;", master);
            addRow(name("overdue").constData(), "overdue", March31, "dssss",
                   "1240|3200|2300|2300|>1440;", overdue);
            addRow(name("assignments").constData(), "assignments", March31, "sss",
                   "2880|5800|2000;", assignments);
        }
    }
    void spreadsheetFiles() {
        QFETCH(QString, report);
        QFETCH(QDate, to);
        QFETCH(QString, kinds);
        QFETCH(QString, format);
        QFETCH(QList<QStringList>, rows);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql + "UPDATE tasks SET taskname = 'Valve \"A\", north\n"
                                              "side' WHERE taskid = 4;");
        state().ReportStartDate = March1;
        state().ReportEndDate = to;
        const QString path = folder.file(QString::fromLatin1(QTest::currentDataTag()));
        const bool csv = path.endsWith(".csv");
        QCOMPARE(runStandardReport(*standardReportNamed(report), {path, true}),
                 ReportRunResult::Written);
        QCOMPARE(ui.messageTexts(), QStringList());
        const TableFileRead read = readTableFile(path);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.rows, rows);
        if (csv) {
            QVERIFY(readAll(path).startsWith("\xEF\xBB\xBF"));
            return;
        }
        QStringList expectedKinds{QString(rows.first().size(), QLatin1Char('s'))};
        for (qsizetype r = 1; r < rows.size(); ++r) {
            QString row = kinds;
            for (qsizetype c = 0; c < row.size(); ++c)
                if (rows[r][c].isEmpty())
                    row[c] = QLatin1Char('-');
            expectedKinds << row;
        }
        QCOMPARE(read.kinds, expectedKinds);
        QCOMPARE(read.frozen, "A2");
        QCOMPARE(read.bold, QList<bool>(rows.first().size(), true));
        QList<int> pixels;
        for (const TableColumn& column : parseTableFormat(format))
            pixels << qRound(column.twips / 15.0);
        QCOMPARE(read.pixels, pixels);
        if (kinds.contains(QLatin1Char('m')))
            QVERIFY2(read.formats.first().contains("\"$\"#,##0.00"),
                     qPrintable(read.formats.join('|')));
    }

    // A person with one name empty (or null) is named by the other alone, with no blank
    // before or after it: in the Completed Work rows and the Task Assignments headers.
    void personWithOneName() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        folder.exec("UPDATE employees SET firstname = NULL WHERE empid = 1");
        folder.exec("UPDATE employees SET lastname = '' WHERE empid = 2");
        state().ReportStartDate = March1;
        state().ReportEndDate = QDate(2005, 3, 16);
        state().ReportDest = ReportTarget::File;
        const QString path = folder.file("completed.txt");
        ui.answerFile(path);
        runStandardReport(*standardReportNamed("completed"));
        // Bob, with an empty last name, sorts first.
        QCOMPARE(readAll(path), QByteArray("3/15/2005\tPump inspection\t1\t90\tBob\t\r\n"
                                           "3/16/2005\tValve test\t0\t40\tBob\t\r\n"
                                           "\tSubtotal:\t3\t10\t\t\r\n"
                                           "3/8/2005\tBoiler check\t1\t30\tAdams\t\r\n"
                                           "3/9/2005\tChiller service\t0\t40\tAdams\t\r\n"
                                           "\tSubtotal:\t2\t10\t\t\r\n"
                                           "\tTotals:\t5\t20\t\t\r\n"));

        state().ReportDest = ReportTarget::View;
        state().reportViewer = [] {};
        state().ReportEndDate = March31;
        runStandardReport(*standardReportNamed("assignments"));
        QCOMPARE(ui.messageTexts(), QStringList());
        QCOMPARE(pageHeaders(reportDocument()),
                 (QStringList{"Tasks Not Assigned to an Employee for 3/1/2005 - 3/31/2005||Page %d",
                              "Tasks Assigned to Bob for 3/1/2005 - 3/31/2005||Page %d",
                              "Tasks Assigned to Adams for 3/1/2005 - 3/31/2005||Page %d"}));
    }

    // A start after the end (or, for Overdue, nothing open before today): each report's own
    // message, no preview, and an earlier file replaced by an empty one.
    void nothingFound() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 2, 28)); // the day the earliest open work is due
        TempWorkFolder folder(2005, SiteSql);
        int shown = 0;
        state().reportViewer = [&] { ++shown; };
        state().ReportStartDate = March31;
        state().ReportEndDate = March1;
        const QString path = folder.file("none.txt");
        for (const char* name : {"completed", "expenses", "master", "assignments", "overdue"}) {
            const StandardReport report = *standardReportNamed(QString::fromLatin1(name));
            ui.clearRecord();
            state().ReportDest = ReportTarget::View;
            runStandardReport(report);
            QCOMPARE(shown, 0);
            QCOMPARE(ui.messages.size(), 1);
            QVERIFY(!report.noRowsText.isEmpty());
            QCOMPARE(ui.lastMessage().text, report.noRowsText);
            QCOMPARE(ui.lastMessage().title, report.noRowsTitle);

            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old lines\r\n") > 0);
            old.close();
            state().ReportDest = ReportTarget::File;
            ui.answerFile(path);
            ui.answer(MsgResult::Yes); // replace it
            runStandardReport(report);
            QCOMPARE(ui.lastMessage().text, report.noRowsText);
            QCOMPARE(readAll(path), QByteArray());
        }
    }

    // The range dialog opens with the range used last, refuses what is not a date, and the
    // report runs only after OK.
    void dateRangeDialog() {
        ScriptedUi ui;
        ui.setToday(Today);
        state().ReportStartDate = March1;
        state().ReportEndDate = March31;
        int runs = 0;
        auto fill = [](QDialog* d, const QString& start, const QString& end) {
            d->findChild<DateField*>("dcStartDate")->setText(start);
            d->findChild<DateField*>("dcEndDate")->setText(end);
            d->findChild<QPushButton*>("cmdOK")->click();
        };
        QStringList shownRange;
        bool openAfterRefusals = false;
        ui.onModal([&](QDialog* d) {
            shownRange << d->findChild<DateField*>("dcStartDate")->text()
                       << d->findChild<DateField*>("dcEndDate")->text();
            fill(d, "3/32/2005", "4/1/2005");
            fill(d, "4/1/2005", "soon");
            openAfterRefusals = d->isVisible();
            fill(d, "4/30/2005", "4/1/2005");
        });
        runWithReportDates(nullptr, [&] { ++runs; });
        QCOMPARE(ui.modalTitles, QStringList{"Select Report Dates"});
        QCOMPARE(shownRange, (QStringList{"3/1/2005", "3/31/2005"}));
        QVERIFY(openAfterRefusals);
        QCOMPARE(ui.messageTexts(), (QStringList{"Error -- invalid starting date entered.",
                                                 "Error -- invalid end date entered."}));
        // A start after the end is the user's to choose.
        QCOMPARE(runs, 1);
        QCOMPARE(state().Cancelled, false);
        QCOMPARE(state().ReportStartDate, QDate(2005, 4, 30));
        QCOMPARE(state().ReportEndDate, QDate(2005, 4, 1));

        // Cancel, and the close box: no report, the range kept.
        ui.onModal([&](QDialog* d) {
            d->findChild<DateField*>("dcStartDate")->setText("1/1/2005");
            d->findChild<QPushButton*>("cmdCancel")->click();
        });
        runWithReportDates(nullptr, [&] { ++runs; });
        QCOMPARE(state().Cancelled, true);
        runWithReportDates(nullptr, [&] { ++runs; });
        QCOMPARE(runs, 1);
        QCOMPARE(state().ReportStartDate, QDate(2005, 4, 30));
    }
};

QTEST_MAIN(TestStandardReports)
#include "tst_standardreports.moc"
