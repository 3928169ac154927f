#include "core/filedialog.h"
#include "core/programstate.h"
#include "core/workordercode.h"
#include "reports/frmoutput.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/reportoutput.h"
#include "support/datarows.h"
#include "support/paintedpage.h"
#include "support/pdfreading.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <cmath>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const QString Format = QStringLiteral("1240|3800|>700;");
const QStringList Heading{"Date", "Task", "Hours"};
const QString HeadingRow = QStringLiteral("Date|Task|Hours");
const QString TasksSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler'), (2, 'Chiller'), (3, 'Pump');)");

QString rowText(int i) {
    return QStringLiteral("1/%1/2005|Task %1|%2").arg(i).arg(i * 3);
}

// Row i as cells, shown as rowText(i).
CellRow rowCells(int i) {
    return {Cell::ofText(QStringLiteral("1/%1/2005").arg(i)),
            Cell::ofText(QStringLiteral("Task %1").arg(i)),
            Cell::ofNumber(i * 3, QString::number(i * 3))};
}

// A report over the task names: one row per task, a subtotal-like row, a group heading.
StandardReport taskReport() {
    StandardReport report;
    report.format = QStringLiteral("3000|>1000;");
    report.columnHeadings = QStringList{"Task", "Id"};
    report.pageHeader = QStringLiteral("|Tasks|Page %d");
    report.fileName = QStringLiteral("Tasks.txt");
    report.sql = "select taskid, taskname from tasks where taskid < 3 order by taskname";
    report.noRowsText = QStringLiteral("There are no tasks.");
    report.noRowsTitle = QStringLiteral("No Records Found");
    report.writeRows = [](Recordset& rows, ReportOutput& out) {
        out.text("Week of 1/3/2005\r\n");
        for (; !rows.isEOF(); rows.moveNext())
            out.row(textRow({rows.value("taskname").toString(), rows.value("taskid").toString()}));
        out.summaryRow(textRow({QString(), "Subtotal:", QString()}));
    };
    return report;
}

// A page as a work order fills it, on `paper` upright or across: a header with a long title
// (then set on two lines beside a badge) or a short one, `pieces` rows and lines of text in
// turn, and when `fill`, a picture as high as the rest of the first page, so that it is
// filled to the last twip.
void writeSheet(ReportDocument& doc, QPageSize::PageSizeId paper, bool landscape, int pieces,
                bool fill, const QString& badge) {
    doc.setPaper(QPageLayout(QPageSize(paper), QPageLayout::Portrait, {}));
    doc.SetOrientation(landscape ? PageOrientation::Landscape : PageOrientation::Portrait);
    doc.BeginDocument();
    doc.SetPageHeader(PageLine{pieces % 2 == 0 ? QStringLiteral("Work Order: Zone heating pump, "
                                                                "north wing, inspect and lubrica")
                                               : QStringLiteral("Work Order: Pump"),
                               {},
                               QStringLiteral("Task #: 1234"),
                               PageLine::Part::None});
    doc.SetPageBadge(badge);
    const int line = doc.bodyLineHeight();
    int used = 0;
    for (int i = 1; i <= pieces; ++i) {
        if (i % 2 == 1) {
            doc.AddTableRow(QStringLiteral("5220|5220;"),
                            textRow({QStringLiteral("Row %1").arg(i), "Due Date: 12/5/2005"}));
            used += line + 2 * docmetrics::CellPaddingY;
        } else {
            doc.WriteText(QStringLiteral("Line %1\r\n").arg(i));
            used += line;
        }
    }
    if (fill) {
        // Points that give the rest to the twip once the document rounds them up.
        const int rest = doc.bodyHeight() - used;
        double points = double(rest) / docmetrics::TwipsPerPoint;
        while (std::ceil(points * docmetrics::TwipsPerPoint) > rest)
            points = std::nextafter(points, 0.0);
        QImage grey(10, 10, QImage::Format_RGB32);
        grey.fill(Qt::gray);
        doc.AddPicture(grey, QSizeF(36, points), QStringLiteral("rest"));
    }
    doc.EndDocument();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString pdfText(const QString& path) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", path, "-"});
    if (!pdftotext.waitForFinished(30000))
        return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

} // namespace

class TestReportDocument : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        reportDocument().reset();
    }

    // The headings come from the page-start hook at the top of every page, automatic and
    // explicit breaks alike; every row stands whole on one page, in order, exactly once.
    void headingsOnEveryPageRowsNeverSplit() {
        const int rows = 150;
        state().TableFormat = Format;
        state().TableHeading = Heading;
        state().RepeatHeading = true;
        ReportDocument& doc = reportDocument();
        doc.BeginDocument();
        for (int i = 1; i <= rows; ++i)
            doc.AddTableRow(Format, rowCells(i));
        doc.StartNewPage();
        doc.AddTableRow(Format, rowCells(rows + 1));
        doc.EndDocument();

        QVERIFY(doc.pageCount() >= 4);
        QStringList seen;
        for (int page = 1; page <= doc.pageCount(); ++page) {
            const QStringList lines = doc.pageText(page);
            QCOMPARE(lines.value(0), HeadingRow);
            QCOMPARE(lines.count(HeadingRow), 1);
            seen += lines.mid(1);
        }
        QStringList expected;
        for (int i = 1; i <= rows + 1; ++i)
            expected << rowText(i);
        QCOMPARE(seen, expected);
        QCOMPARE(doc.pageText(doc.pageCount()), (QStringList{HeadingRow, rowText(rows + 1)}));
        // Each entry knows the page it stands on; the hook's entries come in page order.
        for (const ReportDocument::Entry& entry : doc.entries())
            if (entry.kind == ReportDocument::Entry::Table && entry.headingRows.isEmpty())
                QVERIFY2(doc.pageText(entry.page).contains(entry.body.section(u';', 0, 0)),
                         qPrintable(entry.body));

        // Without RepeatHeading the headings stand where the report put them, once.
        state().RepeatHeading = false;
        doc.BeginDocument();
        doc.AddTableRows(Format, headingRows(Heading), {}, state().BodyShade);
        for (int i = 1; i <= rows; ++i)
            doc.AddTableRow(Format, rowCells(i));
        QVERIFY(doc.pageCount() >= 3);
        QCOMPARE(doc.pageText(1).value(0), HeadingRow);
        QCOMPARE(doc.pageText(2).value(0), rowText(doc.pageText(1).size()));
    }

    // A row taller than a page (a long wrapped text) goes on over the next pages.
    void rowTallerThanAPage() {
        QStringList words;
        for (int i = 0; i < 4000; ++i)
            words << QStringLiteral("word%1").arg(i);
        ReportDocument doc;
        doc.AddTableRow("1440|9000;", textRow({"Description:", words.join(u' ')}));
        doc.AddTableRow("1440|9000;", textRow({"after", QString()}));
        QVERIFY(doc.pageCount() > 2);
        QStringList text;
        for (int page = 1; page <= doc.pageCount(); ++page)
            text += doc.pageText(page);
        QCOMPARE(text.last(), "after|");
        text.removeLast();
        QCOMPARE(text.join(u' ').remove("Description:").simplified().remove(u'|'),
                 words.join(u' '));
    }

    // A date in a long format that is wider than its column stays on one line, in a smaller
    // type; the same characters as text are broken, and so take twice the rows' height.
    void valuesKeptOnOneLine() {
        const QString longDate = QStringLiteral("12.01.2026 \u0433.");
        const auto firstPage = [&](bool asDate) {
            ReportDocument doc;
            for (int i = 0; i < 200; ++i)
                doc.AddTableRow("1240|3000;", {asDate ? Cell::ofDate(QDate(2026, 1, 12), longDate)
                                                      : Cell::ofText(longDate),
                                               Cell::ofText("Boiler")});
            return doc.pageText(1);
        };
        const QStringList dates = firstPage(true);
        const QStringList texts = firstPage(false);
        QCOMPARE(dates.first(), longDate + "|Boiler");
        QVERIFY2(texts.size() * 3 < dates.size() * 2,
                 qPrintable(QStringLiteral("%1 rows of text, %2 of dates")
                                .arg(texts.size())
                                .arg(dates.size())));
    }

    // A row that exactly fills what is left of a page stays on it; a page one twip shorter
    // sends it, whole, to the next. The same for a line of free text, on the first page and
    // on a later one.
    void exactFitStaysOnThePage_data() {
        addColumns<bool, bool, int>("laterPage", "textLast", "shortBy");
        for (const bool later : {false, true})
            for (const bool text : {false, true})
                for (const int by : {0, 1})
                    QTest::addRow("%s page, %s last, %d twip short", later ? "later" : "first",
                                  text ? "text" : "row", by)
                        << later << text << by;
    }
    void exactFitStaysOnThePage() {
        QFETCH(bool, laterPage);
        QFETCH(bool, textLast);
        QFETCH(int, shortBy);
        const QString format = QStringLiteral("2000|2000;");
        ReportDocument doc;
        const int line = doc.bodyLineHeight();
        const int row = line + 2 * docmetrics::CellPaddingY;
        // A line of text and three rows, and a line of text after them when it is the last.
        const int filled = (textLast ? 2 : 1) * line + 3 * row;
        // Letter paper made longer or shorter until the body is that high, less shortBy.
        doc.setPaper(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, {}));
        doc.BeginDocument();
        const double letterHeight = QPageSize(QPageSize::Letter).size(QPageSize::Point).height();
        const double guess = letterHeight + double(filled - shortBy - doc.bodyHeight()) /
                                                double(docmetrics::TwipsPerPoint);
        for (int step = -3; step <= 3 && doc.bodyHeight() != filled - shortBy; ++step) {
            const QPageSize paper(QSizeF(612, guess + step / double(docmetrics::TwipsPerPoint)),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch);
            doc.setPaper(QPageLayout(paper, QPageLayout::Portrait, {}));
            doc.BeginDocument();
        }
        QCOMPARE(doc.bodyHeight(), filled - shortBy);

        if (laterPage) {
            doc.AddTableRow(format, textRow({"first page", QString()}));
            doc.StartNewPage();
        }
        const int page = laterPage ? 2 : 1;
        doc.WriteText("Week of 1/3/2005\r\n");
        for (int i = 1; i <= 3; ++i)
            doc.AddTableRow(format, textRow({QStringLiteral("row %1").arg(i), "x"}));
        if (textLast)
            doc.WriteText("end\r\n");
        const QString last = textLast ? "end" : "row 3|x";
        QCOMPARE(doc.pageText(page).value(0), "Week of 1/3/2005");
        if (shortBy == 0) {
            QCOMPARE(doc.pageCount(), page);
            QCOMPARE(doc.pageText(page).size(), textLast ? 5 : 4);
            QCOMPARE(doc.pageText(page).last(), last);
        } else {
            QCOMPARE(doc.pageCount(), page + 1);
            QCOMPARE(doc.pageText(page).size(), textLast ? 4 : 3);
            QCOMPARE(doc.pageText(page + 1), QStringList{last});
        }
    }

    void freeTextLines() {
        ReportDocument doc;
        doc.WriteText("\r\n");
        doc.WriteText("Week of 1/3/2005\r\n");
        doc.WriteText("\r\n\r\nSignature:  ____");
        doc.WriteText("\r\n"); // ends the open line, adds none
        doc.WriteText("next");
        QCOMPARE(doc.pageText(1),
                 (QStringList{"", "Week of 1/3/2005", "", "", "Signature:  ____", "next"}));
    }

    // A shaded row is painted on its shade; a right-aligned cell's text ends at the right
    // of its column.
    void paintsShadingAndRightAlignment() {
        ReportDocument doc;
        doc.setTableStyle(TableStyle::Plain);
        doc.AddTableRows("2000|>3000;", {}, {textRow({"x", "123"})}, QColor(),
                         QColor(200, 200, 200));
        QImage image(600, 300, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780); // 96 dpi
        image.setDotsPerMeterY(3780);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            doc.paintPage(painter, 1);
        }
        const double scale = 96.0 / docmetrics::TwipsPerInch;
        int shadedRow = -1;
        for (int y = 0; y < image.height() && shadedRow < 0; ++y)
            if (image.pixelColor(int(4100 * scale), y) == QColor(200, 200, 200))
                shadedRow = y;
        QVERIFY(shadedRow >= 0);
        auto inkBetween = [&](int fromTwips, int toTwips) {
            int ink = 0;
            for (int y = shadedRow; y < shadedRow + 20; ++y)
                for (int x = int(fromTwips * scale); x < int(toTwips * scale); ++x)
                    ink += qGray(image.pixel(x, y)) < 100;
            return ink;
        };
        QVERIFY(inkBetween(0, 600) > 0);     // "x" at the left of column 1
        QCOMPARE(inkBetween(2000, 4300), 0); // nothing in the left of column 2
        QVERIFY(inkBetween(4300, 5000) > 0); // "123" at its right
        QCOMPARE(image.pixelColor(int(5200 * scale), shadedRow), QColor(Qt::white));
    }

    // Pictures: as wide as the page at most, proportions kept, on the next page when the
    // rest of this one is too short; drawn where they are laid out; a page as PNG images,
    // one file a page.
    void picturesAndPageImages() {
        QTemporaryDir dir;
        ReportDocument doc;
        doc.BeginDocument();
        doc.WriteText("Above\r\n");
        QImage red(40, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        // Twice as wide as the page: drawn at half its size.
        const int width = doc.printableWidth(PageOrientation::Portrait);
        doc.AddPicture(red,
                       QSizeF(2.0 * width / docmetrics::TwipsPerPoint,
                              width / 2.0 / docmetrics::TwipsPerPoint),
                       "Wide");
        // Taller than the room left: on a page of its own.
        doc.AddPicture(red, QSizeF(100, doc.bodyHeight() * 0.9 / docmetrics::TwipsPerPoint),
                       "Tall");
        doc.EndDocument();
        QCOMPARE(doc.pageCount(), 2);
        QCOMPARE(doc.pageText(1), (QStringList{"Above", "[Wide]"}));
        QCOMPARE(doc.pageText(2), QStringList{"[Tall]"});
        QCOMPARE(doc.entries().at(2).kind, ReportDocument::Entry::Picture);
        QCOMPARE(doc.entries().at(2).page, 2);

        const QString path = dir.filePath("pages.png");
        QVERIFY(printToPng(doc, path));
        const QImage first(path);
        const QImage second(dir.filePath("pages-2.png"));
        QCOMPARE(first.size(), QSize(1275, 1650)); // Letter at 150 dots an inch
        QCOMPARE(second.size(), first.size());
        // The wide picture fills the printable width (half an inch margins), a quarter of
        // it high, below the header and the line of text.
        const auto isRed = [](const QImage& image, int x, int y) {
            return image.pixelColor(x, y) == QColor(Qt::red);
        };
        int top = -1;
        for (int y = 0; y < first.height() && top < 0; ++y)
            if (isRed(first, first.width() / 2, y))
                top = y;
        QVERIFY(top > 100);
        const int printable = int(width / 1440.0 * 150);
        const int left = (first.width() - printable) / 2;
        QVERIFY(isRed(first, left + 2, top + 2));
        QVERIFY(isRed(first, left + printable - 3, top + printable / 4 - 3));
        QVERIFY(!isRed(first, left - 3, top + 2));
        QVERIFY(!isRed(first, left + 2, top + printable / 4 + 3));
        QVERIFY(!isRed(first, left + printable + 2, top + 2));
        QCOMPARE(pageImageName("/a/b.c/pages.png", 3), "/a/b.c/pages-3.png");
        QCOMPARE(pageImageName("/a/pages", 2), "/a/pages-2");
    }

    void pdfHoldsEveryPage() {
        QTemporaryDir dir;
        ReportDocument doc;
        doc.SetPageHeader("|Completed Work|Page %d");
        doc.BeginDocument();
        for (int i = 1; i <= 120; ++i)
            doc.AddTableRow(Format, rowCells(i));
        doc.EndDocument();
        const QString path = dir.filePath("out.pdf");
        QVERIFY(printToPdf(doc, path));
        const QString text = pdfText(path);
        QCOMPARE(text.count(u'\f'), doc.pageCount());
        for (int page = 1; page <= doc.pageCount(); ++page)
            QVERIFY(text.section(u'\f', page - 1, page - 1)
                        .contains(QStringLiteral("Page %1").arg(page)));
        QVERIFY(text.contains(QRegularExpression("1/120/2005 +Task 120 +360")));
    }

    // A badge takes its room from the page's edges, not from its body: a sheet with a code
    // and without breaks into the same pages with the same lines, at every length up to one
    // that fills its page to the last twip and one line beyond; each page shows the symbol
    // 18 mm square inside what printers print, its quiet zone and caption clear of all
    // else, the header whole and the body whole, only lower on the paper (badgePageFault).
    void badgeTakesItsRoomFromTheEdges_data() {
        addColumns<int, bool>("paper", "landscape");
        for (const auto& [name, id] :
             {std::pair{"Letter", QPageSize::Letter}, std::pair{"A4", QPageSize::A4}})
            for (const bool across : {false, true})
                QTest::addRow("%s %s", name, across ? "landscape" : "portrait")
                    << int(id) << across;
    }
    void badgeTakesItsRoomFromTheEdges() {
        QFETCH(int, paper);
        QFETCH(bool, landscape);
        const auto size = QPageSize::PageSizeId(paper);
        const QString code =
            workordercode::formatCode("7K2", workordercode::CodeKind::Assignment, 123);
        QTemporaryDir dir;
        const QString pdf = dir.filePath("filled.pdf");
        int filled = 0;
        for (int pieces = 0;; ++pieces) {
            ReportDocument alone;
            writeSheet(alone, size, landscape, pieces, false, {});
            const bool spills = alone.pageCount() > 1;
            for (const bool fill : {false, true}) {
                if (fill && spills)
                    continue;
                ReportDocument plain;
                ReportDocument badged;
                writeSheet(plain, size, landscape, pieces, fill, {});
                writeSheet(badged, size, landscape, pieces, fill, code);
                QCOMPARE(badged.pageCount(), plain.pageCount());
                for (int page = 1; page <= plain.pageCount(); ++page) {
                    QCOMPARE(badged.pageText(page), plain.pageText(page));
                    QCOMPARE(badged.pageBadge(page), code);
                    QCOMPARE(plain.pageBadge(page), QString());
                    const QString fault =
                        badgePageFault(paintedPage(badged, page), paintedPage(plain, page),
                                       paperRect(plain), code);
                    QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1 pieces%2, page %3: %4")
                                                             .arg(pieces)
                                                             .arg(fill ? ", filled" : "")
                                                             .arg(page)
                                                             .arg(fault)));
                }
                if (fill) {
                    QCOMPARE(plain.pageCount(), 1);
                    ++filled;
                    QVERIFY(printToPdf(badged, pdf));
                }
            }
            if (spills)
                break;
        }
        QVERIFY(filled > 20);

        // A badge's page shows no footer: its room is the badge's.
        ReportDocument footed;
        footed.SetPageFooter("|Page %d|");
        writeSheet(footed, size, landscape, 3, false, {});
        const auto pageOne = [](const QList<PaintedItem>& items) {
            return int(std::count_if(items.begin(), items.end(), [](const PaintedItem& item) {
                return item.text == "Page 1";
            }));
        };
        QCOMPARE(pageOne(paintedPage(footed, 1)), 1);
        footed.SetPageBadge(code);
        QCOMPARE(pageOne(paintedPage(footed, 1)), 0);

        // The page filled to the last twip, printed: its code reads back, and its caption.
        if (!pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the code back");
        QCOMPARE(qrCodesOnPage(pdf, 1), QStringList{code});
        QVERIFY(pdfPages(pdf).value(0).contains(code));
    }

    // Sent to a file: the dialog first, then only the table rows as lines, CR LF.
    void standardReportToFile() {
        ScriptedUi ui;
        TempWorkFolder folder(2005, TasksSql);
        state().ReportDest = ReportTarget::File;
        const QString path = folder.file("out.txt");
        ui.answerFile(path);
        runStandardReport(taskReport());
        QCOMPARE(ui.filesAsked.size(), 1);
        QCOMPARE(ui.filesAsked[0].filter, TextFileFilter);
        QCOMPARE(ui.filesAsked[0].initialName, folder.file("Tasks.txt"));
        QCOMPARE(readAll(path), QByteArray("Boiler\t1\t\r\nChiller\t2\t\r\n\tSubtotal:\t\t\r\n"));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(reportDocument().entries().size(), size_t(0));

        // No to "File Exists" and a cancelled dialog: nothing is touched, nothing asked more.
        ui.answerFile(path);
        ui.answer(MsgResult::No);
        runStandardReport(taskReport());
        ui.answerFile(std::nullopt);
        runStandardReport(taskReport());
        QCOMPARE(ui.messageTexts().size(), 1);
        QVERIFY(readAll(path).startsWith("Boiler"));

        // A name ending in .csv is one table for a spreadsheet program: UTF-8 marked as
        // such, a heading line, the rows without the subtotal.
        const QString csv = folder.file("out.csv");
        ui.answerFile(csv);
        runStandardReport(taskReport());
        QCOMPARE(readAll(csv), QByteArray("\xEF\xBB\xBFTask,Id\r\nBoiler,1\r\nChiller,2\r\n"));

        const QString filters = qtFileFilter(TextFileFilter);
        QCOMPARE(filters, "Text Files (*.txt);;CSV Files (*.csv);;Excel Workbooks (*.xlsx);;All "
                          "Files (*.*)");
        // A name typed without an extension takes the chosen filter's; a name with one of
        // its own, or a filter of every file, keeps the name as typed.
        const QStringList filter = filters.split(";;");
        QCOMPARE(withFilterExtension("/site/Costs", filter[1]), "/site/Costs.csv");
        QCOMPARE(withFilterExtension("/site/Costs", filter[2]), "/site/Costs.xlsx");
        QCOMPARE(withFilterExtension("/site/Costs", filter[3]), "/site/Costs");
        QCOMPARE(withFilterExtension("/site/Costs.txt", filter[2]), "/site/Costs.txt");
        QCOMPARE(withFilterExtension("/site.d/Costs", filter[0]), "/site.d/Costs.txt");
        QCOMPARE(withFilterExtension("", filter[0]), "");
    }

    // A query the database refuses: its error, and neither the no-rows message nor a preview.
    void refusedQueryIsOneMessage() {
        ScriptedUi ui;
        TempWorkFolder folder(2005, TasksSql);
        int shown = 0;
        state().reportViewer = [&] { ++shown; };
        StandardReport broken = taskReport();
        broken.sql = QStringLiteral("select taskname from nosuchtable");
        runStandardReport(broken);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.lastMessage().text.contains("nosuchtable"));
        QCOMPARE(shown, 0);
    }

    // The preview window: the document's pages, one window rebuilt by the next report,
    // Save as PDF, Print (no printer here: a PDF) and Ok.
    void previewWindow() {
        ScriptedUi ui;
        QTemporaryDir dir;
        state().AppPath = dir.path() + QLatin1Char('/');
        installReportOutputWindow();
        ReportDocument& doc = reportDocument();
        doc.BeginDocument();
        doc.AddTableRow(Format, textRow({"a", "b", "1"}));
        doc.EndDocument();
        showReportOutput();
        QPointer<frmOutput> window = frmOutput::current();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->preview()->pageCount(), 1);

        doc.BeginDocument();
        for (int i = 1; i <= 100; ++i)
            doc.AddTableRow(Format, rowCells(i));
        doc.EndDocument();
        showReportOutput();
        QCOMPARE(frmOutput::current(), window.data());
        QCOMPARE(window->preview()->pageCount(), doc.pageCount());
        window->findChild<QAction*>("tbrLastPage")->trigger();
        QCOMPARE(window->findChild<QLabel*>("lblPage")->text(),
                 QStringLiteral("Page %1 of %1").arg(doc.pageCount()));

        const QString saved = dir.filePath("saved.pdf");
        ui.answerFile(saved);
        window->findChild<QPushButton*>("cmdSavePdf")->click();
        QCOMPARE(ui.filesAsked.last().filter,
                 "PDF Files (*.pdf)|*.pdf|PNG Images (*.png)|*.png|All Files (*.*)|*.*");
        QVERIFY(pdfText(saved).contains("Task 100"));
        QVERIFY(window->isVisible());
        // As images: one PNG a page, the document's pages as they are.
        ui.answerFile(dir.filePath("saved.png"));
        window->findChild<QPushButton*>("cmdSavePdf")->click();
        QCOMPARE(QImage(dir.filePath("saved.png")).size(), QSize(1275, 1650));
        QVERIFY(QFile::exists(dir.filePath("saved-%1.png").arg(doc.pageCount())));
        QVERIFY(!QFile::exists(dir.filePath("saved-%1.png").arg(doc.pageCount() + 1)));
        QVERIFY(window->isVisible());

        const QString printed = dir.filePath("printed.pdf");
        ui.answerFile(printed);
        window->findChild<QPushButton*>("cmdPrint")->click();
        QVERIFY(QFileInfo(printed).size() > 0);
        QTRY_VERIFY(!window);
        QCOMPARE(doc.entries().size(), size_t(0)); // closing the window ends the document

        showReportOutput();
        window = frmOutput::current();
        window->findChild<QPushButton*>("cmdOK")->click();
        QTRY_VERIFY(!window);
    }
};

QTEST_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
