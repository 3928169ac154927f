#include "reports/printing.h"

#include "reports/reportdocument.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace tavrel {

bool hasRealPrinter() {
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        return false;
    const QPrinter printer;
    return printer.outputFormat() == QPrinter::NativeFormat && printer.isValid();
}

QPageLayout defaultPrinterPage() {
    if (hasRealPrinter()) {
        const QPrinter printer;
        const QPageLayout layout = printer.pageLayout();
        if (layout.isValid())
            return layout;
    }
    return QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF());
}

bool printOnDefaultPrinter(const ReportDocument& document, QString* error) {
    QPrinter printer(QPrinter::HighResolution);
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.isValid()) {
        if (error)
            *error = QStringLiteral("No printer is set up.");
        return false;
    }
    printer.setDocName(QStringLiteral("Tavrel report"));
    if (!document.print(printer)) {
        if (error)
            *error = QStringLiteral("The report could not be sent to the printer '%1'.")
                         .arg(printer.printerName());
        return false;
    }
    return true;
}

} // namespace tavrel
