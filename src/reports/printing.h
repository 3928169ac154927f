#pragma once

#include <QPageLayout>
#include <QString>

namespace tavrel {

class ReportDocument;

// Whether a printer is set up. Without one (no print system, as on most servers and test
// machines) Qt's default printer only writes PDF files: the program then writes a PDF
// itself, where the user can see it, instead of seeming to print.
bool hasRealPrinter();

// The default printer's page (Letter portrait when there is no printer).
QPageLayout defaultPrinterPage();

// Prints the document on the default printer at once, without a dialog. False, with the
// reason in `error`, when it could not.
bool printOnDefaultPrinter(const ReportDocument& document, QString* error = nullptr);

} // namespace tavrel
