// Report layout at scale: 10,000 and then 100,000 table rows written into a report document
// with the column headings repeated on every page, as the Task Assignments report does.
// The time per row of the large document is printed beside that of the small one: a ratio
// near 1 shows that layout grows linearly with the rows.

#include "benchsite.h"

#include "reports/reportdocument.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

using namespace tavrel;

namespace {

constexpr int SmallRows = 10000;
constexpr int LargeRows = 100000;
const QString Format = QStringLiteral("1240|3800|>700|>900|2880;");
const QString Heading = QStringLiteral("Date Completed|Task Name|Hours|Minutes|Employee;");

// Nanoseconds to lay out `rows` rows, every tenth with a name long enough to wrap.
qint64 layOut(int rows, int* pages) {
    ReportDocument doc;
    doc.setPageStartHook([&doc] { doc.AddTableRows(Format, QString(), Heading); });
    doc.SetPageHeader(QStringLiteral("|Completed Work by Employee|Page %d"));
    QElapsedTimer timer;
    timer.start();
    doc.BeginDocument();
    for (int i = 0; i < rows; ++i) {
        const QString name = i % 10 == 0
                                 ? QStringLiteral("Inspect and clean the cooling tower "
                                                  "basin, strainers and drift eliminators %1")
                                       .arg(i)
                                 : QStringLiteral("Boiler %1").arg(i);
        doc.AddTableRows(Format, QString(),
                         QStringLiteral("3/%1/2005|%2|%3|%4|Dana Whitfield;")
                             .arg(i % 28 + 1)
                             .arg(name)
                             .arg(i % 9)
                             .arg(i % 60));
    }
    doc.EndDocument();
    const qint64 ns = timer.nsecsElapsed();
    *pages = doc.pageCount();
    return ns;
}

} // namespace

int main(int argc, char* argv[]) {
    // Text is measured with the fonts of a GUI application; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int smallPages = 0;
    int largePages = 0;
    const qint64 small = layOut(SmallRows, &smallPages);
    const qint64 large = layOut(LargeRows, &largePages);
    std::printf("%d rows: %d pages in %.1f ms; %d rows: %d pages in %.1f ms\n", SmallRows,
                smallPages, small / 1e6, LargeRows, largePages, large / 1e6);
    bench::report("layout per row, 100,000 rows", large / LargeRows, "per row, 10,000 rows",
                  small / SmallRows);
    return 0;
}
