// Numbers in locales whose digits are not 0-9: hours, minutes, times and page numbers are
// written in the same digits as the dates beside them, and number boxes keep to the right
// in a right-to-left layout.
#include "assignments/frmassign.h"
#include "core/programstate.h"
#include "reports/frmoutput.h"
#include "reports/reportdocument.h"
#include "reports/standardreports.h"
#include "reports/workorders.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "text/datetext.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QTextLayout>

#include <algorithm>
#include <iterator>
#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Names without digits, so that every digit of a report is one the program wrote.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Adams');
INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room');
INSERT INTO tasks (taskid, taskname, reqhour, reqmin, locid, besttime) VALUES
    (1, 'Boiler check', 1, 15, 1, 'Morning'), (2, 'Valve test', 0, 45, 1, 'Noon');
INSERT INTO assign (assid, taskid, duedate, completed, compdate, comphour, compmin, empid,
                    parts, labor, tax, totalcost) VALUES
    (1, 1, '2005-03-07', 1, '2005-03-08', 1, 5, 1, 10, 2.5, 0, 12.5),
    (2, 2, '2005-03-14', 0, NULL, 0, 0, 1, 0, 0, 0, 0),
    (3, 1, '2005-03-21', 1, '2005-03-22', 2, 70, 1, 0, 0, 0, 0);
)");
const QDate Today(2005, 3, 28);
const QDate SiteDates[] = {{2005, 3, 1}, {2005, 3, 7}, {2005, 3, 8}, {2005, 3, 14}};

// The zero digit of every script of decimal digits the text uses, each once.
QStringList digitScripts(const QString& text) {
    QStringList zeros;
    for (const char32_t c : text.toStdU32String()) {
        if (QChar::category(c) != QChar::Number_DecimalDigit)
            continue;
        const char32_t zeroOfScript = c - char32_t(QChar::digitValue(c));
        const QString zero = QString::fromUcs4(&zeroOfScript, 1);
        if (!zeros.contains(zero))
            zeros << zero;
    }
    return zeros;
}

// Everything the document's pages show: headers and footers with their page numbers, and
// the lines below them.
QString documentText() {
    const ReportDocument& doc = reportDocument();
    QStringList lines;
    for (int page = 1; page <= doc.pageCount(); ++page) {
        for (const QString& text : {doc.pageHeader(page), doc.pageFooter(page)}) {
            const HeaderParts parts = headerParts(PageLine::fromText(text), page);
            lines << parts.left << parts.centre << parts.right;
        }
        lines << doc.pageText(page);
    }
    return lines.join(u'\n');
}

// The columns of `image` that hold anything of another colour than the box's background,
// inside `margin` pixels of its border: where the text was drawn.
std::pair<int, int> inkColumns(const QImage& image, int margin) {
    const QRgb background = image.pixel(image.width() / 2, margin);
    int first = image.width();
    int last = -1;
    for (int x = margin; x < image.width() - margin; ++x) {
        for (int y = margin; y < image.height() - margin; ++y) {
            if (image.pixel(x, y) != background) {
                first = qMin(first, x);
                last = qMax(last, x);
            }
        }
    }
    return {first, last};
}

} // namespace

class TestLocaleDigits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        resetProgramState();
        reportDocument().reset();
    }
    void cleanup() {
        useTestLocale();
        QApplication::setLayoutDirection(Qt::LeftToRight);
    }

    // Every number of a report's pages (hours, minutes, "h:m", "h:mm", the task number, the
    // page number) in the digits of its dates, and its date range in reading order.
    void reports_data() {
        addColumns<QString, QString>("locale", "report");
        for (const char* locale : {"ar_EG", "fa_IR", "en_US"}) {
            for (const char* report :
                 {"completed", "master", "overdue", "assignments", "expenses", "workorder"})
                QTest::addRow("%s %s", locale, report) << locale << report;
        }
    }
    void reports() {
        QFETCH(QString, locale);
        QFETCH(QString, report);
        useTestLocale(locale.toLatin1().constData());
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        state().reportViewer = [] {};
        state().ReportStartDate = QDate(2005, 3, 1);
        state().ReportEndDate = QDate(2005, 3, 31);
        if (report == QLatin1String("workorder")) {
            qint32 assid = 1;
            PrintWorkOrder(assid);
        } else {
            runStandardReport(*standardReportNamed(report));
        }
        QCOMPARE(ui.messageTexts(), QStringList());
        const QString text = documentText();
        // Dates of the rows, or of the report's range, stand beside the other numbers.
        const bool dated =
            std::any_of(std::begin(SiteDates), std::end(SiteDates),
                        [&](const QDate& date) { return text.contains(shortDate(date)); });
        QVERIFY2(dated, qPrintable(text));
        QCOMPARE(digitScripts(text), QStringList{QLocale().zeroDigit()});

        // A date range reads in order on the left-to-right page, the first date left of the
        // last, whatever direction the locale's dates take.
        if (report == QLatin1String("overdue") || report == QLatin1String("workorder"))
            return;
        const QString first = shortDate(state().ReportStartDate);
        const QString last = shortDate(state().ReportEndDate);
        const HeaderParts parts = headerParts(reportDocument().pageHeaderLine(1), 1);
        QString title;
        for (const QString& part : {parts.left, parts.centre, parts.right})
            if (part.contains(first) && part.contains(last))
                title = part;
        QVERIFY2(!title.isEmpty(), qPrintable(reportDocument().pageHeader(1)));

        QTextLayout layout(title, QFont("DejaVu Sans"));
        QTextOption option;
        option.setTextDirection(Qt::LeftToRight);
        layout.setTextOption(option);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        // Where the characters of title[from, from + length) are drawn, left and right.
        const auto span = [&](qsizetype from, qsizetype length) {
            qreal left = 1e9;
            qreal right = -1e9;
            for (qsizetype i = from; i <= from + length; ++i) {
                const qreal x = line.cursorToX(int(i));
                left = std::min(left, x);
                right = std::max(right, x);
            }
            return std::pair{left, right};
        };
        const auto firstSpan = span(title.indexOf(first), first.size());
        const auto lastSpan = span(title.lastIndexOf(last), last.size());
        QVERIFY2(firstSpan.second <= lastSpan.first,
                 qPrintable(QStringLiteral("%1: first date at %2-%3, last at %4-%5")
                                .arg(title)
                                .arg(firstSpan.first)
                                .arg(firstSpan.second)
                                .arg(lastSpan.first)
                                .arg(lastSpan.second)));
    }

    // The preview's page counter, beside the page it shows.
    void previewPageLabel() {
        useTestLocale("ar_EG");
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2005, SiteSql);
        state().ReportStartDate = QDate(2005, 3, 1);
        state().ReportEndDate = QDate(2005, 3, 31);
        state().reportViewer = [] { frmOutput::showReport(); };
        runStandardReport(*standardReportNamed("completed"));
        std::unique_ptr<frmOutput> window(frmOutput::current());
        QVERIFY(window);
        const QString label = window->findChild<QLabel*>("lblPage")->text();
        QCOMPARE(label, "Page ١ of ١");
    }

    // Money at the right edge of its boxes also when the whole window is laid out from the
    // right, as for Arabic and Hebrew.
    void numberBoxesRightToLeft_data() {
        QTest::addColumn<QString>("box");
        for (const char* box : {"txtParts", "txtLabor", "txtTax", "txtTotalCost"})
            addRow(box, box);
    }
    void numberBoxesRightToLeft() {
        QFETCH(QString, box);
        useTestLocale("ar_EG");
        QApplication::setLayoutDirection(Qt::RightToLeft);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(
            2005, QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (1, 'Pump');"
                                 "INSERT INTO assign (taskid, duedate, comphour, compmin, "
                                 "parts, labor, tax, totalcost) VALUES (1, '2005-03-07', "
                                 "2, 5, 10, 2.5, 1, 13.5);"));
        state().CurYear = 2005;
        frmAssign form;
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.layoutDirection(), Qt::RightToLeft);
        auto* edit = form.findChild<QLineEdit*>(box);
        QVERIFY(edit);
        QVERIFY2(!edit->text().isEmpty(), qPrintable(box));
        edit->clearFocus(); // no cursor among the text
        const QImage image = edit->grab().toImage();
        const auto [first, last] = inkColumns(image, 3);
        QVERIFY2(last > first, qPrintable(edit->text()));
        // Nearer the right edge than the left one.
        QVERIFY2(image.width() - last < first,
                 qPrintable(QStringLiteral("%1 drawn from %2 to %3 of %4")
                                .arg(edit->text())
                                .arg(first)
                                .arg(last)
                                .arg(image.width())));
    }
};

QTEST_MAIN(TestLocaleDigits)
#include "tst_localedigits.moc"
