#pragma once

#include "import/sheet.h"

#include <QByteArray>

namespace tavrel {

// Reads the bytes of a CSV file as a spreadsheet program does: RFC 4180's quoted fields,
// doubled quotes and line breaks inside quotes, lines ended by CR LF or LF, with or without
// a byte order mark. Text that is not UTF-8 is read as Windows-1252, which spreadsheet
// programs on Windows write by default. Fields are separated by commas, or by semicolons or
// tabs where those separate the fields of the first line (a spreadsheet program writes
// semicolons where the decimal separator is the comma). Each line (a quoted line break does
// not start one) is a row of the sheet, numbered from 1; every value is a text.
Sheet readCsv(const QByteArray& bytes);

} // namespace tavrel
