#pragma once

#include <QString>

namespace tavrel {

// Delimited lists as report files and catalogue links write them ("1;2;3").

// Number of entries: 0 for an empty text, otherwise the delimiters plus one, so a delimiter
// at the end counts an empty last entry ("a;b;" has 3).
qint16 CountFields(const QString& text, const QString& delimiter);

// The n-th entry (from 1), "" when there are fewer entries or n < 1. Case-sensitive.
QString GetField(const QString& text, const QString& delimiter, qint16 n);

// The from text of a custom report grown by the join to the table holding a catalogue
// field: "(" + from + " left join " + fileName + " on " + table.A + " = " + fileName.B + ")",
// where "A;B" names the two columns and a single name is shared by both. The text is
// returned unchanged when fileName is empty, is the report table, or is already joined.
QString joinCatalogueTable(const QString& fromText, const QString& reportTable,
                           const QString& fileName, const QString& linkField);

} // namespace tavrel
