#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>

namespace tavrel {

// What a table cell holds, so that a destination that keeps values (a spreadsheet) can
// keep them as what they are and not as text.
enum class CellKind { Text, Number, Money, Date, Time };

// One cell of a report table: the text shown, and the value it shows with its kind. The
// text is shown whole, whatever characters it holds: cells are kept apart by the list they
// stand in, never by a character in a text.
struct Cell {
    QString text;
    CellKind kind = CellKind::Text;
    QVariant value; // null for an empty cell and for text, whose value is the text

    bool operator==(const Cell&) const = default;

    static Cell ofText(const QString& text) { return Cell{text, CellKind::Text, {}}; }
    static Cell ofNumber(double number, const QString& text) {
        return Cell{text, CellKind::Number, number};
    }
    // Money as the database keeps it; `text` in the currency format.
    static Cell ofMoney(double amount, const QString& text) {
        return Cell{text, CellKind::Money, amount};
    }
    // A null date gives an empty date cell.
    static Cell ofDate(const QDate& date, const QString& text) {
        return Cell{text, CellKind::Date, date.isValid() ? QVariant(date) : QVariant()};
    }
    static Cell ofTime(const QTime& time, const QString& text) {
        return Cell{text, CellKind::Time, time.isValid() ? QVariant(time) : QVariant()};
    }
};

// A table row: its cells from the first column on.
using CellRow = QList<Cell>;

// A row of text cells (column headings, labels).
inline CellRow textRow(const QStringList& texts) {
    CellRow row;
    row.reserve(texts.size());
    for (const QString& text : texts)
        row.append(Cell::ofText(text));
    return row;
}

// The texts of a row's cells.
inline QStringList cellTexts(const CellRow& row) {
    QStringList texts;
    texts.reserve(row.size());
    for (const Cell& cell : row)
        texts.append(cell.text);
    return texts;
}

} // namespace tavrel
