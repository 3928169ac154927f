#pragma once

#include <QString>

namespace tavrel {

// What the -m run did with the month's work orders.
struct MonthlyPrintResult {
    int workOrders = 0; // how many were written; 0: none due, nothing printed
    QString pdfPath;    // the PDF they went to, when not to a printer
    bool delivered = false;
};

// The -m print: this month's work orders (by the program's clock), one page each, sent to
// the printer, or to `pdfPath` when one is given, or, with no printer configured, to a new
// PDF in the working folder. Runs under the caller's trap: a failure is reported there.
MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath);

// True when the system has a printer to print on (Qt's PDF fallback does not count).
bool hasRealPrinter();

// Writes the finished report document to a PDF at `path`; an existing file is replaced only
// once the new one is complete. Reports a failure and returns false.
bool writeReportPdf(const QString& path);

} // namespace tavrel
