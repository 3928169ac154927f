#pragma once

#include <QDate>
#include <QString>

namespace tavrel {

// What the -m run did with the month's work orders.
struct MonthlyPrintResult {
    QDate month;        // the first day of the month whose work orders were looked for
    int workOrders = 0; // how many were written; 0: none due, nothing printed
    QString pdfPath;    // the PDF they went to, when not to a printer
    bool delivered = false;
};

// The -m print: this month's work orders (by the program's clock), one page each, sent to
// the printer, or to `pdfPath` when one is given, or, with no printer set up, to a new PDF
// in the working folder. Runs under the caller's trap: a failure is reported there.
MonthlyPrintResult printMonthlyWorkOrders(const QString& pdfPath);

// What the -m run says on standard output about `result`: how many work orders of which
// month went where. `pdfNamed`: the PDF was named on the command line (-o).
QString monthlyPrintSummary(const MonthlyPrintResult& result, bool pdfNamed);

} // namespace tavrel
