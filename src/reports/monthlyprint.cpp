#include "reports/monthlyprint.h"

#include "core/globals.h"
#include "core/uiseam.h"
#include "data/errortrap.h"
#include "reports/pdfoutput.h"
#include "reports/printing.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"

#include <QFileInfo>

namespace tavrel {

namespace {

// workorders-2005-12.pdf in the working folder, or the first of workorders-2005-12-2.pdf,
// -3 ... that does not exist yet: a run never writes over the PDF of an earlier one.
QString newPdfInWorkFolder(const QDate& month) {
    const QString stem = QStringLiteral("workorders-") + month.toString(QStringLiteral("yyyy-MM"));
    QString path = AppPath + stem + QStringLiteral(".pdf");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = AppPath + stem + QStringLiteral("-%1.pdf").arg(n);
    return path;
}

} // namespace

MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath) {
    MonthlyPrintResult result;
    const QDate today = ui().today();
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
        result.pdfPath = pdfPath.isEmpty() ? newPdfInWorkFolder(today) : pdfPath;
        result.delivered = printToPdf(document, result.pdfPath, &error);
    }
    if (!result.delivered)
        raiseError(ErrFileIo, error);
    return result;
}

} // namespace tavrel
