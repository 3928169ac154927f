#include "reports/monthlyprint.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/errortrap.h"
#include "reports/pdfoutput.h"
#include "reports/printing.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "text/datetext.h"

#include <QDir>
#include <QFileInfo>

namespace tavrel {

namespace {

// workorders-2005-12.pdf in the working folder, or the first of workorders-2005-12-2.pdf,
// -3 ... whose name is not taken: a run never writes over the PDF of an earlier one, nor
// through a link of that name to somewhere else.
QString newPdfInWorkFolder(const QDate& month) {
    const QString stem = QStringLiteral("workorders-") + month.toString(QStringLiteral("yyyy-MM"));
    QString path = state().AppPath + stem + QStringLiteral(".pdf");
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = state().AppPath + stem + QStringLiteral("-%1.pdf").arg(n);
    return path;
}

} // namespace

MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath) {
    MonthlyPrintResult result;
    // Read once: the month printed, the PDF's name and what the run says must agree, even
    // when the clock passes midnight at the end of the month during the run.
    const QDate today = ui().today();
    result.month = QDate(today.year(), today.month(), 1);
    ReportDocument& document = reportDocument();
    // Laid out on the paper it goes to: the printer's, or Letter for a PDF without one.
    document.setPaper(defaultPrinterPage());
    result.workOrders = printWorkOrderBatch(monthlyWorkOrderSql(today));
    if (result.workOrders == 0)
        return result;
    QString error;
    if (pdfPath.isEmpty() && hasRealPrinter()) {
        result.delivered = printOnDefaultPrinter(document, &error);
    } else {
        if (pdfPath.isEmpty()) {
            result.pdfPath = newPdfInWorkFolder(today);
            result.delivered = printToNewPdf(document, result.pdfPath, &error);
        } else {
            result.pdfPath = pdfPath;
            result.delivered = printToPdf(document, result.pdfPath, &error);
        }
    }
    if (!result.delivered)
        raiseError(ErrFileIo, error);
    return result;
}

QString monthlyPrintSummary(const MonthlyPrintResult& result, bool pdfNamed) {
    // The month the print looked at, not the clock read again: by now it may be the next.
    const QString month = longMonthName(result.month.month()) + QLatin1Char(' ') +
                          QString::number(result.month.year());
    if (result.workOrders == 0)
        return QStringLiteral("No work orders are due in %1: nothing was printed.").arg(month);
    const QString orders = result.workOrders == 1
                               ? QStringLiteral("1 work order")
                               : QStringLiteral("%1 work orders").arg(result.workOrders);
    if (result.pdfPath.isEmpty())
        return QStringLiteral("Printed %1 due in %2.").arg(orders, month);
    return QStringLiteral("Wrote %1 due in %2 to %3%4")
        .arg(orders, month, QDir::toNativeSeparators(QFileInfo(result.pdfPath).absoluteFilePath()),
             pdfNamed ? QStringLiteral(".") : QStringLiteral(" (no printer is configured)."));
}

} // namespace tavrel
