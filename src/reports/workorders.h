#pragma once

#include <QDate>
#include <QString>

namespace tavrel {

// Whether a work order ends with lines for the technician's and the inspector's signatures
// and dates, below everything else the sheet has.
enum class SignOffLines { Without, With };

// Writes the work order of one assignment into the report document: what to do, on which
// equipment, where and when, what the task needs, and room for the worker's comments,
// names, completion date and time (and the sign-off lines when asked for). Its page header
// carries the assignment's code (workordercode) as a badge, a QR code a scanner reads back.
// Outside a batch (BatchPrinting) it begins and ends the document itself and shows the
// preview. Failures are reported and the sheet goes on with its next line; an assignment
// that does not exist is said so and nothing is written.
void PrintWorkOrder(qint32& assid, SignOffLines signOff = SignOffLines::Without);

// The assignments due from `first` to `last` (both Mondays of their weeks, both included),
// in due-date then task-name order; only the uncompleted ones when `uncompletedOnly`.
QString workOrderRangeSql(const QDate& first, const QDate& last, bool uncompletedOnly);

// Every assignment due in the month of `day`, completed or not, in due-date then
// task-name order.
QString monthlyWorkOrderSql(const QDate& day);

// The batch: every assignment `sql` selects (its assid column), each work order on a page of
// its own, all in one finished document. Returns how many work orders were written; with 0
// the document is left as it was.
int printWorkOrderBatch(const QString& sql, SignOffLines signOff = SignOffLines::Without);

} // namespace tavrel
