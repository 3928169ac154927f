// Spreadsheet files read as their programs show them: CSV as RFC 4180 and spreadsheet programs
// write it, Excel workbooks from their XML parts (texts, numbers, dates by their formats, the
// 1904 date system), and damaged or foreign files refused with a message.

#include "import/csvreader.h"
#include "import/sheet.h"
#include "import/xlsxreader.h"
#include "reports/xlsxfile.h"
#include "support/tablefiles.h"
#include "support/tempdatabase.h"
#include "workbooks.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// The rows as "line:first|second|...", one text per heading's column.
QStringList rowTexts(const Sheet& sheet) {
    QStringList rows;
    for (const SheetRow& row : sheet.rows) {
        QStringList cells;
        for (int c = 0; c < sheet.headings.size(); ++c)
            cells << (row.cell(c) ? row.cell(c)->text : QString());
        rows << QStringLiteral("%1:%2").arg(row.line).arg(cells.join(u'|'));
    }
    return rows;
}

// A cell of a workbook as "kind value": "text Pump", "number 1.5", "date 2020-01-01T12:00:00".
QString cellShown(const SheetRow& row, int column) {
    const SheetCell* cell = row.cell(column);
    if (!cell)
        return QStringLiteral("empty");
    switch (cell->kind) {
    case SheetCell::Kind::Text:
        return QStringLiteral("text ") + cell->text;
    case SheetCell::Kind::Number:
        return QStringLiteral("number ") + QString::number(cell->number);
    case SheetCell::Kind::Date:
        return QStringLiteral("date ") + cell->dateTime.toString(Qt::ISODate);
    case SheetCell::Kind::Bool:
        return QStringLiteral("bool ") + cell->text;
    case SheetCell::Kind::Error:
        return QStringLiteral("error ") + cell->text;
    }
    return {};
}

// A sheet of the cells a workbook of equipment may hold, in every form the format keeps them.
Workbook equipmentBook(bool date1904) {
    Workbook book;
    book.date1904 = date1904;
    book.sharedStrings = {"<t>Name</t>",
                          "<r><t xml:space=\"preserve\">Pump </t></r><r><rPr><b/></rPr><t>North"
                          "</t></r><rPh sb=\"0\" eb=\"1\"><t>PHONETIC</t></rPh>",
                          "<t>Hours</t>", "<t>Bought</t>", "<t>Line_x000D_break</t>"};
    // 0 general, 1 built-in date, 2 own date, 3 a number shown with a quoted "days",
    // 4 built-in date and time, 5 an own number format in brackets.
    book.cellFormats = {0, 14, 164, 165, 22, 166};
    book.numberFormats = {{164, "dd/mm/yyyy"}, {165, "0.00\" days\""}, {166, "[Red]#,##0"}};
    book.sheetData =
        // Headings in row 1, column C left out.
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>2</v></c>"
        "<c r=\"D1\" t=\"s\"><v>3</v></c><c r=\"E1\" t=\"inlineStr\"><is><t>Notes</t></is></c>"
        "</row>"
        // Row 2 left out altogether.
        "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>1</v></c><c r=\"B3\"><v>1.5</v></c>"
        "<c r=\"D3\" s=\"1\"><v>43831</v></c><c r=\"E3\" t=\"str\"><f>A3</f><v>formula "
        "text</v></c></row>"
        "<row r=\"4\"><c r=\"A4\" t=\"inlineStr\"><is><r><t>Fan </t></r><r><t>South</t></r></is>"
        "</c><c r=\"B4\" t=\"b\"><v>1</v></c><c r=\"D4\" s=\"4\"><v>43831.5</v></c>"
        "<c r=\"E4\" t=\"e\"><v>#N/A</v></c></row>"
        // Cells without references follow each other from column A.
        "<row><c t=\"inlineStr\"><is><t>x</t></is></c><c s=\"3\"><v>2</v></c><c s=\"5\"><v>7</v>"
        "</c><c s=\"2\"><v>1</v></c><c t=\"s\"><v>4</v></c></row>"
        // A cell with a format and no value is empty: the row holds nothing.
        "<row r=\"9\"><c r=\"A9\" s=\"1\"/></row>";
    return book;
}

} // namespace

class TestSheetFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }

    void csvRows_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("headings");
        QTest::addColumn<QStringList>("rows");
        const QStringList ab = {"A", "B"};
        QTest::newRow("LF") << QByteArray("A,B\n1,2\n") << ab << QStringList{"2:1|2"};
        QTest::newRow("CR LF, no end")
            << QByteArray("A,B\r\n1,2\r\n3,4") << ab << QStringList{"2:1|2", "3:3|4"};
        QTest::newRow("quoted comma and quotes")
            << QByteArray("A,B\r\n\"x,y\",\"say \"\"hi\"\"\"\r\n") << ab
            << QStringList{"2:x,y|say \"hi\""};
        // A quoted line break is part of its field: the next line is still the next row.
        QTest::newRow("line break in a field")
            << QByteArray("A,B\r\n\"two\r\nlines\",x\r\nnext,y\r\n") << ab
            << QStringList{"2:two\r\nlines|x", "3:next|y"};
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF"
                                                       "A,B\n1,2\n")
                                         << ab << QStringList{"2:1|2"};
        QTest::newRow("blank lines keep their numbers")
            << QByteArray("A,B\n\n\nx,\n,\n") << ab << QStringList{"4:x|"};
        QTest::newRow("headings below blank lines")
            << QByteArray("\n,\nA,B\n1,2") << ab << QStringList{"4:1|2"};
        QTest::newRow("semicolons")
            << QByteArray("A;B\nPump;Acme, Inc.\n") << ab << QStringList{"2:Pump|Acme, Inc."};
        QTest::newRow("tabs") << QByteArray("A\tB\n1,5\t2\n") << ab << QStringList{"2:1,5|2"};
        QTest::newRow("Windows-1252")
            << QByteArray("A,B\n\x80uro,caf\xe9\n") << ab << QStringList{"2:\u20acuro|caf\u00e9"};
        QTest::newRow("UTF-8") << QByteArray("A,B\n\xe2\x82\xac"
                                             "uro,caf\xc3\xa9\n")
                               << ab << QStringList{"2:\u20acuro|caf\u00e9"};
        QTest::newRow("empty fields")
            << QByteArray("A,B,C\n,2,\n") << QStringList{"A", "B", "C"} << QStringList{"2:|2|"};
        QTest::newRow("quote inside a field")
            << QByteArray("A\nab\"c\"d\n") << QStringList{"A"} << QStringList{"2:abcd"};
    }
    void csvRows() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, headings);
        QFETCH(QStringList, rows);
        const Sheet sheet = readCsv(bytes);
        QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
        QCOMPARE(sheet.headings, headings);
        QCOMPARE(rowTexts(sheet), rows);
    }

    // A quote never closed would swallow the rest of the file into one field.
    void csvUnclosedQuote() {
        const Sheet sheet = readCsv("A,B\n1,2\n\"open,3\n4,5\n");
        QCOMPARE(sheet.error, "The quotes opened in row 3 are never closed: a field that holds a "
                              "quote must double it (\"\").");
        QVERIFY(sheet.rows.isEmpty());
    }

    void xlsxCells() {
        for (const bool date1904 : {false, true}) {
            const Sheet sheet = readXlsx(zipOf(workbookParts(equipmentBook(date1904))));
            QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
            QCOMPARE(sheet.headings, (QStringList{"Name", "Hours", "", "Bought", "Notes"}));
            QCOMPARE(sheet.rows.size(), 3);
            QCOMPARE(sheet.rows[0].line, 3);
            QCOMPARE(sheet.rows[1].line, 4);
            QCOMPARE(sheet.rows[2].line, 5);
            // 43831 is 1 January 2020 in the 1900 system, four years and a day later in 1904's.
            const QString day = date1904 ? "2024-01-02" : "2020-01-01";
            QStringList shown;
            for (const SheetRow& row : sheet.rows)
                for (int c = 0; c < 5; ++c)
                    shown << cellShown(row, c);
            QCOMPARE(shown, (QStringList{
                                "text Pump North", "number 1.5", "empty",
                                "date " + day + "T00:00:00", "text formula text", "text Fan South",
                                "bool TRUE", "empty", "date " + day + "T12:00:00", "error #N/A",
                                "text x", "number 2", "number 7",
                                date1904 ? "date 1904-01-02T00:00:00" : "date 1900-01-01T00:00:00",
                                "text Line\rbreak"}));
        }
    }

    void dateFormats_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("date");
        QTest::newRow("14") << 14 << "" << true;
        QTest::newRow("22") << 22 << "" << true;
        QTest::newRow("45") << 45 << "" << true;
        QTest::newRow("47") << 47 << "" << true;
        QTest::newRow("general") << 0 << "General" << false;
        QTest::newRow("23") << 23 << "" << false;
        QTest::newRow("text") << 49 << "@" << false;
        QTest::newRow("own date") << 164 << "dd/mm/yyyy" << true;
        QTest::newRow("own time") << 164 << "[h]:mm" << true;
        QTest::newRow("locale and month") << 164 << "[$-409]mmmm d, yyyy" << true;
        QTest::newRow("quoted letters") << 164 << "0.00\" days\"" << false;
        QTest::newRow("colour") << 164 << "[Red]#,##0" << false;
        QTest::newRow("escaped letter") << 164 << "#,##0\\d" << false;
        QTest::newRow("spacing") << 164 << "#,##0_);(#,##0)" << false;
        QTest::newRow("exponent") << 164 << "0.00E+00" << false;
    }
    void dateFormats() {
        QFETCH(int, id);
        QFETCH(QString, code);
        QFETCH(bool, date);
        QCOMPARE(isDateFormat(id, code), date);
    }

    // Every damaged or foreign file gets a message and no rows, never a crash.
    void damagedWorkbooks_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const auto withSheet = [](const QString& data, const QStringList& strings = {}) {
            Workbook book;
            book.sheetData = data;
            book.sharedStrings = strings;
            return zipOf(workbookParts(book));
        };
        const QByteArray good = withSheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>");
        QTest::newRow("text") << QByteArray("Name,Hours\n") << "not an Excel workbook";
        QTest::newRow("empty") << QByteArray() << "not an Excel workbook";
        QTest::newRow("other archive")
            << zipOf({{"notes.txt", "hello"}}) << "not an Excel workbook";
        QTest::newRow("cut short") << good.left(good.size() / 2) << "not an Excel workbook";
        QTest::newRow("broken XML")
            << withSheet("<row r=\"1\"><c r=\"A1\"><v>1</row>") << "is not readable XML";
        QTest::newRow("shared text missing")
            << withSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>3</v></c></row>", {"<t>a</t>"})
            << "cell A1 refers to a text it does not hold";
        QTest::newRow("cells out of order")
            << withSheet("<row r=\"1\"><c r=\"B1\"><v>1</v></c><c r=\"A1\"><v>2</v></c></row>")
            << "cell A1 lies out of its row's order";
        QTest::newRow("rows backwards")
            << withSheet("<row r=\"5\"><c r=\"A5\"><v>1</v></c></row><row r=\"2\"/>")
            << "a row after row 5 is numbered 2";
        QTest::newRow("column beyond XFD")
            << withSheet("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>")
            << "XFE1 is no cell of a worksheet";
        QTest::newRow("number that is none")
            << withSheet("<row r=\"1\"><c r=\"A1\"><v>one</v></c></row>")
            << "cell A1 holds one as a number";
        Parts noSheet = workbookParts(Workbook());
        noSheet.removeIf([](const auto& part) { return part.first.contains("first.xml"); });
        QTest::newRow("no worksheet") << zipOf(noSheet) << "has no worksheet";
    }
    void damagedWorkbooks() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const Sheet sheet = readXlsx(bytes);
        QVERIFY2(sheet.error.contains(error), qPrintable(sheet.error));
        QVERIFY(sheet.rows.isEmpty());
        QVERIFY(sheet.headings.isEmpty());
    }

    // Workbooks as programs write them: the program's own reports, and openpyxl's in the
    // 1904 date system.
    void writtenWorkbooks() {
        QTemporaryDir dir;
        const QString ours = dir.filePath("report.xlsx");
        {
            std::unique_ptr<TableFile> table =
                openXlsxFile(ours, {{"Task", 0}, {"Due", 0}, {"Cost", 0}, {"Hours", 0}});
            table->row({Cell::ofText("Pump"), Cell::ofDate(QDate(2005, 12, 5), "12/5/2005"),
                        Cell::ofMoney(12.5, "$12.50"), Cell::ofNumber(1.5, "1.5")});
            table->close();
        }
        Sheet sheet = readSheetFile(ours);
        QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
        QCOMPARE(sheet.headings, (QStringList{"Task", "Due", "Cost", "Hours"}));
        QCOMPARE(sheet.rows.size(), 1);
        QCOMPARE(sheet.rows[0].line, 2);
        QCOMPARE(
            (QStringList{cellShown(sheet.rows[0], 0), cellShown(sheet.rows[0], 1),
                         cellShown(sheet.rows[0], 2), cellShown(sheet.rows[0], 3)}),
            (QStringList{"text Pump", "date 2005-12-05T00:00:00", "number 12.5", "number 1.5"}));

        const QString python = pythonWith("openpyxl");
        QVERIFY2(!python.isEmpty(), "no python3 with openpyxl (Debian python3-openpyxl)");
        const QString theirs = dir.filePath("mac.xlsx");
        QProcess writer;
        writer.start(python, {"-c",
                              "import sys, datetime, openpyxl\n"
                              "from openpyxl.utils.datetime import CALENDAR_MAC_1904\n"
                              "wb = openpyxl.Workbook(); wb.epoch = CALENDAR_MAC_1904\n"
                              "ws = wb.active\n"
                              "ws.append(['Name', 'Bought', 'Serial'])\n"
                              "ws.append(['Fan', datetime.date(2021, 3, 4), 12345])\n"
                              "ws['A5'] = 'after a gap'\n"
                              "wb.save(sys.argv[1])\n",
                              theirs});
        QVERIFY(writer.waitForFinished(60000) && writer.exitCode() == 0);
        sheet = readSheetFile(theirs);
        QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
        QCOMPARE(rowTexts(sheet).size(), 2);
        QCOMPARE(sheet.rows[1].line, 5);
        QCOMPARE((QStringList{cellShown(sheet.rows[0], 0), cellShown(sheet.rows[0], 1),
                              cellShown(sheet.rows[0], 2), cellShown(sheet.rows[1], 0)}),
                 (QStringList{"text Fan", "date 2021-03-04T00:00:00", "number 12345",
                              "text after a gap"}));
    }

    void fileNames() {
        QTemporaryDir dir;
        QCOMPARE(readSheetFile(dir.filePath("tasks.ods")).error,
                 dir.filePath("tasks.ods") + " is neither a CSV file (.csv) nor an Excel workbook "
                                             "(.xlsx).");
        QCOMPARE(readSheetFile(dir.filePath("none.csv")).error,
                 dir.filePath("none.csv") + " does not exist.");
        QVERIFY(QDir(dir.path()).mkdir("folder.xlsx"));
        QCOMPARE(readSheetFile(dir.filePath("folder.xlsx")).error,
                 dir.filePath("folder.xlsx") + " is a folder, not a file.");
        QVERIFY(writeFile(dir.filePath("UPPER.CSV"), "A\nx\n"));
        QCOMPARE(readSheetFile(dir.filePath("UPPER.CSV")).rows.size(), 1);
        QCOMPARE(columnName(0), "A");
        QCOMPARE(columnName(25), "Z");
        QCOMPARE(columnName(26), "AA");
        QCOMPARE(columnName(16383), "XFD");
    }
};

QTEST_GUILESS_MAIN(TestSheetFiles)
#include "tst_sheetfiles.moc"
