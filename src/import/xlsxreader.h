#pragma once

#include "import/sheet.h"

#include <QByteArray>
#include <QString>

namespace tavrel {

// Reads the first worksheet of an Excel workbook (.xlsx: XML parts in a ZIP archive) as the
// spreadsheet program shows it: shared texts (rich text runs joined), texts inline and of
// formulas, numbers, truth values and error values, and numbers whose format is a date's as
// dates (the workbook's 1900 or 1904 date system). Cells and rows may skip columns and rows.
// A file that is not a workbook, or a damaged one, gets `error` and no rows.
Sheet readXlsx(const QByteArray& bytes);

// Whether a number format (the built-in one `formatId`, or the workbook's own `code` for
// the ids it defines) shows a date or a time.
bool isDateFormat(int formatId, const QString& code);

} // namespace tavrel
