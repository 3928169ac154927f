#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace tavrel {

// Reading the fields of a date text, shared by the SQL date literals and the program's
// reading of typed dates, so that both read a date the same way.

// Two-digit years: below the pivot they are 20xx, from it on 19xx, so a two-digit year
// stands for one of the years FirstTwoDigitYear to LastTwoDigitYear.
inline constexpr int TwoDigitYearPivot = 30;
inline constexpr int CenturyBefore = 1900;
inline constexpr int CenturyAfter = 2000;
inline constexpr int FirstTwoDigitYear = CenturyBefore + TwoDigitYearPivot;
inline constexpr int LastTwoDigitYear = CenturyAfter + TwoDigitYearPivot - 1;

// The value of a field of one to four decimal digits (of any script), or -1.
int dateFieldValue(const QString& field);

// A year as typed: one or two digits follow the two-digit rule (00-29 are 20xx, 30-99
// 19xx), three or four are the year itself. -1 when the field is no number.
int fullYear(const QString& field);

// The date of these numbers, or an invalid date when there is none.
QDate makeDate(int year, int month, int day);

// A date given with its month as a name; the two numbers are the day and the year, the
// year first when it is written with three or four digits or cannot be a day.
QDate dateWithMonthName(int month, const QStringList& numbers);

} // namespace tavrel
