#include "reports/monthlyprint.h"

#include "core/globals.h"
#include "core/uiseam.h"
#include "data/errortrap.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"

#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>

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

bool printOnDefaultPrinter() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Work Orders"));
    if (reportDocument().print(printer))
        return true;
    raiseError(
        ErrFileIo,
        QStringLiteral("The work orders could not be printed on %1.").arg(info.printerName()));
    return false;
}

} // namespace

bool hasRealPrinter() {
    return !QPrinterInfo::defaultPrinter().isNull();
}

bool writeReportPdf(const QString& path) {
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write %1: %2").arg(shown, file.errorString()));
        return false;
    }
    bool written = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(QStringLiteral("Work Orders"));
        writer.setCreator(AppTitle);
        written = reportDocument().print(writer);
    }
    if (!written) {
        file.cancelWriting();
        raiseError(ErrFileIo, QStringLiteral("Could not write %1: the document could not be laid "
                                             "out as a PDF.")
                                  .arg(shown));
        return false;
    }
    if (!file.commit()) {
        raiseError(ErrFileIo,
                   QStringLiteral("Could not write %1: %2").arg(shown, file.errorString()));
        return false;
    }
    return true;
}

MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath) {
    MonthlyPrintResult result;
    const QDate today = ui().today();
    result.workOrders = printWorkOrderBatch(monthlyWorkOrderSql(today));
    if (result.workOrders == 0)
        return result;
    if (pdfPath.isEmpty() && hasRealPrinter()) {
        result.delivered = printOnDefaultPrinter();
        return result;
    }
    result.pdfPath = pdfPath.isEmpty() ? newPdfInWorkFolder(today) : pdfPath;
    result.delivered = writeReportPdf(result.pdfPath);
    return result;
}

} // namespace tavrel
