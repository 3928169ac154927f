#pragma once

#include <QString>

#include <optional>

namespace tavrel {

// Numbers of single-precision columns (the hours and minutes of tasks and assignments) as
// the number boxes read and show them.

// The value a typed text stores: none when the text is not a number, lies beyond the
// column's range, or has more significant digits than the column keeps (storing it would
// change the number without a word).
std::optional<float> singleFromText(const QString& text);

// The same for a number that is one already (a spreadsheet's cell): none when it lies beyond
// the column's range or has more significant digits than the column keeps.
std::optional<float> singleFromNumber(double value);

// A stored number as a number box shows it: in full, in the locale's digits and decimal
// point, without exponent or group separators, with the fewest digits that read back as
// the same stored value. A value written by another program that is not a single keeps all
// its digits too.
QString numberText(double value);

} // namespace tavrel
