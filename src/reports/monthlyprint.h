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
// the printer, or to `pdfPath` when one is given, or, with no printer set up, to a new PDF
// in the working folder. Runs under the caller's trap: a failure is reported there.
MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath);

} // namespace tavrel
