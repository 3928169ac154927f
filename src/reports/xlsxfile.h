#pragma once

#include "reports/tablefile.h"

#include <QLocale>
#include <QString>

#include <memory>

namespace tavrel {

// The table as an Excel workbook of one worksheet: the heading row in bold and kept on
// screen while the rows scroll, the columns as wide as on the report's page, and each cell
// typed: dates as dates and times as times (shown in the reader's own formats), money in the
// user's currency with two decimals, numbers as numbers, text as text. Rows are written
// through to temporary files as they come, so that a long report takes little memory; the
// workbook itself is written when the table is closed.
std::unique_ptr<TableFile> openXlsxFile(const QString& path, const QList<TableFileColumn>& columns);

// What a worksheet holds at most: a text's length (a longer one is cut, its last character
// a mark that it was cut) and the rows (the heading row among them).
inline constexpr qsizetype XlsxTextLimit = 32767;
inline constexpr int XlsxRowLimit = 1048576;
inline const QString XlsxCutMark = QStringLiteral("\u2026");

// A text as a worksheet holds it: whole, or cut to XlsxTextLimit with XlsxCutMark last.
QString xlsxText(const QString& text);

// The number format of money in `locale`'s currency: its symbol where the locale puts it,
// two decimals, and the negative amount as the locale shows it ("$"#,##0.00;("$"#,##0.00)).
QString xlsxCurrencyFormat(const QLocale& locale);

} // namespace tavrel
