#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavrel {

// One cell of a spreadsheet as its program shows it: a text, a number, a date (a number
// whose format is a date's), a truth value, or an error value such as #N/A.
struct SheetCell {
    enum class Kind { Text, Number, Date, Bool, Error };
    int column = 0; // from 0: A is 0
    Kind kind = Kind::Text;
    QString text;       // Text: the text; Error: the error's name ("#N/A")
    double number = 0;  // Number, and Bool as 1 or 0
    QDateTime dateTime; // Date: its time is 00:00 for a date alone
};

// One row below the headings: its cells in column order, empty cells left out, and the
// row's number as the spreadsheet program shows it (the heading row is 1 when it is first).
struct SheetRow {
    int line = 0;
    QList<SheetCell> cells;

    // The cell of `column`, or nullptr for an empty one.
    const SheetCell* cell(int column) const;
};

// The first sheet of a spreadsheet file: the headings of its first row that holds anything,
// and the rows below it that hold anything. A file that cannot be read has `error` set.
struct Sheet {
    QStringList headings; // by column; an empty text where a column has none
    QList<SheetRow> rows;
    QString error;
};

// A column's name as the spreadsheet program shows it: A, B ... Z, AA ...
QString columnName(int column);

// Reads a .csv or .xlsx file, by its extension; any other name is refused.
Sheet readSheetFile(const QString& path);

// Whether the name is one of a file readSheetFile reads.
bool isSheetFileName(const QString& path);

} // namespace tavrel
