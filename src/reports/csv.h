#pragma once

#include "reports/reportcell.h"

#include <QString>
#include <QStringList>

namespace tavrel {

// CSV as RFC 4180 writes it, for spreadsheet programs and scripts: fields separated by
// commas, a field quoted when it holds a comma, a quote or a line break (its quotes
// doubled), lines ended by CR LF.

// One field's text as it stands in a CSV line.
QString csvField(const QString& text);

// A line of fields, without its line end.
QString csvLine(const QStringList& fields);

// A report cell as a CSV field's text, kept a value a spreadsheet reads as its kind: a date
// as yyyy-mm-dd, a time as hh:mm, money with two decimals and numbers with a point, neither
// with a currency sign nor digit groups; text as it is shown.
QString csvValue(const Cell& cell);

} // namespace tavrel
