// The printed page as a user gets it: reports run by the built program from the command
// line, written to PDF and HTML, and read back as a reader (pdftotext, a strict HTML parser)
// sees them.

#include "support/rawdb.h"
#include "support/tablefiles.h"
#include "support/tempdatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;
using tavrel::test::readFile;
using tavrel::test::writeFile;

namespace {

constexpr int RunBoundMs = 60000;

// Runs the program in `folder` as a job does: no display. The exit code, or -1; standard
// error in `err`.
int runTavrel(const QString& folder, const QStringList& args, QString* err = nullptr) {
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVREL_BINARY), args);
    const bool finished = process.waitForStarted() && process.waitForFinished(RunBoundMs);
    if (err)
        *err = QString::fromLocal8Bit(process.readAllStandardError());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool execSql(const QString& path, const QString& sql) {
    return tavrel::test::RawDb(path, true).exec(sql);
}

// What a tool prints for `args`, or nothing when it fails.
QString toolOutput(const QString& tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(RunBoundMs) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The lines of a PDF's first page as pdftotext lays them out.
QStringList pdfLines(const QString& pdf) {
    return toolOutput(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s})
        .section(u'\f', 0, 0)
        .split(u'\n');
}

// The title in a PDF's document information.
QString pdfTitle(const QString& pdf) {
    static const QRegularExpression title(u"^Title:\\s*(.*)$"_s,
                                          QRegularExpression::MultilineOption);
    return title.match(toolOutput(u"pdfinfo"_s, {pdf})).captured(1).trimmed();
}

// The index of the one line matching `pattern`; -1 when none or several do.
int lineMatching(const QStringList& lines, const QString& pattern) {
    const QRegularExpression re(pattern);
    int found = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (!re.match(lines[i]).hasMatch())
            continue;
        if (found >= 0)
            return -1;
        found = i;
    }
    return found;
}

// A saved custom report of the tasks table: the catalogue ids `fields` in order with their
// widths in inches, a total under `totalled`, for the screen and printer (the command's
// output file chooses what is written); page numbers at the bottom, no date, no sort.
QByteArray customReport(const QString& title, bool landscape,
                        const QList<std::pair<int, double>>& fields, int totalled) {
    constexpr int Ids = 20; // the highest id of the tasks table
    QStringList ids;
    QStringList widths;
    QStringList totals;
    for (int id = 1; id <= Ids; ++id) {
        double width = 1;
        for (const auto& [field, inches] : fields)
            if (field == id)
                width = inches;
        widths << QString::number(width);
        totals << (id == totalled ? u"1"_s : u"0"_s);
    }
    for (const auto& field : fields)
        ids << QString::number(field.first);
    const QString zeros = u"0;"_s.repeated(Ids - 1) + u"0"_s;
    const QString empties = u";"_s.repeated(Ids - 1);
    QStringList lines{u"tasks"_s, title, u"1"_s, landscape ? u"1"_s : u"0"_s, u"0"_s, u"0"_s};
    lines << u"0"_s << u"-1 "_s << u"-1 "_s << QString::number(fields.size()) << ids.join(u';')
          << zeros << zeros << empties << zeros << zeros << empties << empties << widths.join(u';')
          << zeros << totals.join(u';') << zeros;
    return (lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8();
}

const QString TaskWithSeparators = u"Valve; check | tighten"_s;

// Two tasks, one with both separators in its name, due and done in March 2005.
const char* const MarchSite =
    "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Adams');"
    "INSERT INTO tasks (taskid, taskname, reqhour, reqmin) VALUES"
    " (1, 'Valve; check | tighten', 1, 30), (2, 'Pump', 0, 45);"
    "INSERT INTO assign (taskid, duedate, completed, compdate, comphour, compmin, empid) VALUES"
    " (1, '2005-03-07', 1, '2005-03-08', 1, 50, 1), (2, '2005-03-07', 1, '2005-03-09', 0, 40, 1);";

} // namespace

class TestPrintedPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
            QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the PDFs back");
    }

    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        QVERIFY(runTavrel(folder_->path(), {u"--init"_s}) == 0);
        QVERIFY(execSql(file(u"tavrel.mdb"_s), QString::fromLatin1(MarchSite)));
    }
    void cleanup() { folder_.reset(); }

    // A ";" or "|" in a task name is part of the name: its row stays one row, every later
    // value in its own column, in the standard reports and a custom report alike. Each row
    // is one line of the PDF, found in order; in a text file the name is written whole
    // between the tabs of its row.
    void separatorsStayInTheirCells_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("rows"); // patterns of the PDF's lines, in their order
        QTest::addColumn<QByteArray>("text");
        const QStringList march{"--from", "2005-03-01", "--to", "2005-03-31"};
        QTest::newRow("master list")
            << (QStringList{"--report", "master"} + march)
            << QStringList{"^Week of 3/7/2005$", "^\\s*Pump\\s{2,}45 Minutes$",
                           "^\\s*Valve; check \\| tighten\\s{2,}1 Hours 30 Minutes$"}
            << QByteArray("Pump\t45 Minutes\r\nValve; check | tighten\t1 Hours 30 Minutes\r\n");
        QTest::newRow("completed work")
            << (QStringList{"--report", "completed"} + march)
            << QStringList{"^\\s*3/8/2005\\s+Valve; check \\| tighten\\s+1\\s+50\\s+Ann Adams$",
                           "^\\s*3/9/2005\\s+Pump\\s+0\\s+40\\s+Ann Adams$",
                           "^\\s*Subtotal:\\s+2\\s+30$", "^\\s*Totals:\\s+2\\s+30$"}
            << QByteArray("3/8/2005\tValve; check | tighten\t1\t50\tAnn Adams\t\r\n"
                          "3/9/2005\tPump\t0\t40\tAnn Adams\t\r\n"
                          "\tSubtotal:\t2\t30\t\t\r\n\tTotals:\t2\t30\t\t\r\n");
        QTest::newRow("custom report")
            << QStringList{"--custom", "r.rpt"}
            << QStringList{"^\\s*Valve; check \\| tighten\\s+1$", "^\\s*Pump\\s+0$", "^\\s*1$"}
            << QByteArray("Valve; check | tighten\t1\r\nPump\t0\r\n\t1\r\n");
    }
    void separatorsStayInTheirCells() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, text);
        // Task Name and Hours Required, totalled.
        QVERIFY(
            writeFile(file(u"r.rpt"_s), customReport(u"Hours"_s, false, {{2, 2.5}, {7, 0.7}}, 7)));
        QString err;
        QCOMPARE(runTavrel(folder_->path(), args + QStringList{"-o", "out.pdf"}, &err), 0);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        const QStringList lines = pdfLines(file(u"out.pdf"_s));
        int previous = -1;
        for (const QString& row : rows) {
            const int line = lineMatching(lines, row);
            QVERIFY2(line > previous,
                     qPrintable(u"no line '%1' after line %2 in:\n%3"_s.arg(row).arg(previous).arg(
                         lines.join(u'\n'))));
            previous = line;
        }
        // Nothing of the name was cut into a row of its own.
        QCOMPARE(lines.filter(u"tighten"_s).size(), 1);
        QCOMPARE(lines.filter(u"check"_s).size(), 1);

        QCOMPARE(runTavrel(folder_->path(), args + QStringList{"-o", "out.txt"}), 0);
        QCOMPARE(readFile(file(u"out.txt"_s)), text);
    }

    // Column headings break between words only: "Date Completed" in its narrow column keeps
    // "Completed" whole (in a smaller type), and a PDF's title is the report's.
    void headingsAndTitles_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("headings"); // words found whole in the PDF
        QTest::addColumn<QString>("title");
        const QStringList march{"--from", "2005-03-01", "--to", "2005-03-31"};
        QTest::newRow("completed work") << (QStringList{"--report", "completed"} + march)
                                        << QStringList{"Completed", "Minutes", "Employee"}
                                        << "Completed Work by Employee for 3/1/2005 to 3/31/2005";
        QTest::newRow("expenses") << (QStringList{"--report", "expenses"} + march)
                                  << QStringList{"Completed"}
                                  << "Tavrel Expense Report for 3/1/2005 to 3/31/2005";
        // The title is shown as typed in the page header: a "|" does not cut it, "%d" is no
        // page number there.
        QTest::newRow("custom report, narrow columns")
            << QStringList{"--custom", "r.rpt"} << QStringList{"Required", "Minutes"}
            << "Shop | 100%d hours";
    }
    void headingsAndTitles() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, headings);
        QFETCH(QString, title);
        QVERIFY(execSql(file(u"tavrel.mdb"_s), u"UPDATE assign SET totalcost = 5, parts = 5"_s));
        // Hours and Minutes Required in half an inch each.
        QVERIFY(writeFile(file(u"r.rpt"_s), customReport(u"Shop | 100%d hours"_s, false,
                                                         {{2, 2.0}, {7, 0.5}, {8, 0.5}}, 0)));
        QCOMPARE(runTavrel(folder_->path(), args + QStringList{"-o", "out.pdf"}), 0);
        const QString pdf = file(u"out.pdf"_s);
        const QStringList lines = pdfLines(pdf);
        const QString text = lines.join(u'\n');
        for (const QString& word : headings) {
            // The word whole, and no line holding only its start.
            QVERIFY2(text.contains(QRegularExpression(u"\\b%1\\b"_s.arg(word))),
                     qPrintable(word + u" not whole in:\n"_s + text));
            QVERIFY2(!text.contains(QRegularExpression(u"\\b%1\\b"_s.arg(word.chopped(1)))),
                     qPrintable(word + u" broken in:\n"_s + text));
        }
        if (args.first() == u"--custom"_s) {
            QVERIFY2(lineMatching(lines, u"^\\s*Shop \\| 100%d hours$"_s) >= 0, qPrintable(text));
            QVERIFY2(lineMatching(lines, u"^\\s*Page 1$"_s) >= 0, qPrintable(text));
        }
        QCOMPARE(pdfTitle(pdf), title);
    }

    // A landscape report of 14.6 inches of columns on a page of 10: drawn smaller, it shows
    // every column, its total included, and says so under the title.
    void wideCustomReportFitsThePage() {
        QVERIFY(execSql(file(u"tavrel.mdb"_s),
                        QStringLiteral("UPDATE tasks SET manuf = 'Acme', model = 'X-1', tools = "
                                       "'Spanner', Tag = 'T-12', taskdesc = 'Drain the casing' "
                                       "WHERE taskid = 2")));
        // Number, Name, Manufacturer, Model, Tools, Tag, Description, Hours (totalled).
        QVERIFY(writeFile(
            file(u"wide.rpt"_s),
            customReport(
                u"Wide"_s, true,
                {{1, 0.7}, {2, 2.5}, {9, 1.5}, {10, 1.2}, {4, 2.5}, {12, 2.5}, {3, 3.0}, {7, 0.7}},
                7)));
        QCOMPARE(runTavrel(folder_->path(), {"--custom", "wide.rpt", "-o", "wide.pdf"}), 0);
        const QStringList lines = pdfLines(file(u"wide.pdf"_s));
        const QString text = lines.join(u'\n');
        const int note = lineMatching(lines, u"Columns scaled to fit the page \\(68%\\)"_s);
        const int title = lineMatching(lines, u"^\\s*Wide$"_s);
        QVERIFY2(title >= 0 && note > title, qPrintable(text));
        QVERIFY2(lineMatching(lines, QStringLiteral("^\\s*2\\s+Pump\\s+Acme\\s+X-1\\s+Spanner\\s+"
                                                    "T-12\\s+Drain the casing\\s+0$")) > note,
                 qPrintable(text));
        for (const char* heading : {"Task Description", "Hours"})
            QVERIFY2(text.contains(QLatin1String(heading)), qPrintable(text));
        // The total of 1 + 0 hours, in the last column.
        QVERIFY2(lineMatching(lines, u"^\\s*1$"_s) > note, qPrintable(text));
        QVERIFY2(lineMatching(lines, u"^\\s*Page 1$"_s) >= 0, qPrintable(text));
    }

    // An HTML report is a valid document for a strict parser whatever the texts hold: the
    // title, headings and cells are escaped, and the file says what it is and its encoding.
    void htmlIsWellFormed() {
        const QString python = pythonWith(u"html5lib"_s);
        if (python.isEmpty())
            QSKIP("no python3 with html5lib (Debian python3-html5lib) to parse the HTML");
        QVERIFY(execSql(file(u"tavrel.mdb"_s),
                        QStringLiteral("UPDATE tasks SET taskname = 'R&D <lab>' WHERE taskid = "
                                       "2")));
        QVERIFY(writeFile(file(u"r.rpt"_s),
                          customReport(u"0<h<2 & \"more\""_s, false, {{2, 2.5}, {7, 0.7}}, 7)));
        const QString html = file(u"out.htm"_s);
        QCOMPARE(runTavrel(folder_->path(), {"--custom", "r.rpt", "-o", "out.htm"}), 0);
        // Parsed strictly, the document's table read back: title, then each row's cells.
        const char* const reader =
            "import html5lib, sys\n"
            "doc = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False)"
            ".parse(open(sys.argv[1], 'rb'))\n"
            "print(doc.find('head/title').text)\n"
            "for tr in doc.iter('tr'):\n"
            "    print('\\t'.join(''.join(c.itertext()) for c in tr))\n";
        QProcess parser;
        parser.start(python, {u"-c"_s, QString::fromLatin1(reader), html});
        QVERIFY(parser.waitForFinished(RunBoundMs));
        const QString err = QString::fromUtf8(parser.readAllStandardError());
        QVERIFY2(parser.exitStatus() == QProcess::NormalExit && parser.exitCode() == 0,
                 qPrintable(err));
        const QStringList read =
            QString::fromUtf8(parser.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(read,
                 (QStringList{"0<h<2 & \"more\"", "0<h<2 & \"more\"", "Task Name\tHours Required",
                              "Valve; check | tighten\t1", "R&D <lab>\t0", u"\u00A0\t1"_s}));
        const QByteArray bytes = readFile(html);
        QVERIFY(bytes.startsWith("<!DOCTYPE html>\r\n"));
        QVERIFY(bytes.contains("<meta charset=\"utf-8\">"));
    }

private:
    QString file(const QString& name) const { return folder_->filePath(name); }
    std::unique_ptr<QTemporaryDir> folder_;
};

QTEST_GUILESS_MAIN(TestPrintedPage)
#include "tst_printedpage.moc"
