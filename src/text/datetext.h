#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

namespace tavrel {

// Date and number text as the user's system writes and reads it. Everything follows the
// default QLocale(); when the system locale is the bare C locale the program uses en_US
// (see useProgramLocale()).

// Makes QLocale() en_US when the process's locale is the bare C locale.
void useProgramLocale();

// The system's short-date order ("mdy", "dmy", "ymd" ...) and separator, as ChkDateFmt()
// read them from the locale.
inline QString DateOrder = QStringLiteral("mdy");
inline QString DateSeparator = QStringLiteral("/");

// Sets DateSeparator and DateOrder from the locale's short date.
void ChkDateFmt();
// Puts DateOrder and DateSeparator back to their values at process start (for tests).
void resetDateFormat();

// The text the program's date conversion reads as month/day/year under DateOrder
// (the numbers in plain digits, one blank between them).
QString MakeDateString(int month, int day, int year);

// The Monday of the week a date lies in; a Sunday counts with the Monday after it.
QDate MondayOfWeek(const QDate& date);

// Reads a date the way a user types one under the system's order: numeric fields separated
// by "/", "-", "." or blanks, two- or four-digit years (00-29 -> 20xx, 30-99 -> 19xx),
// month names, or ISO (yyyy-mm-dd). Digits may be those of any script, direction marks are
// ignored, and so is the literal text of the locale's date formats (bg_BG's "г.", the
// 年/月/日 of Chinese and Japanese dates), so every short date the program shows reads
// back. No value when the text is not a date.
std::optional<QDate> toDate(const QString& text);
bool IsDate(const QString& text);

// Reads a number as typed: the locale's separators or a plain point, the digits of any
// script, sign, decimals; or money as currency() shows it. No value when not numeric.
std::optional<double> toNumber(const QString& text);
bool IsNumeric(const QString& text);

// The formats the program shows.
QString shortDate(const QDate& date);
// "first<joiner>last" in short dates, in reading order on a left-to-right page also where the
// dates are written in a right-to-left script.
QString shortDateRange(const QDate& first, const QDate& last,
                       const QString& joiner);  // "short date": year always with four digits
QString longMonthName(int month);               // "mmmm"
QString shortDayName(int dayOfWeek);            // "ddd", 1 = Monday ... 7 = Sunday (Qt numbering)
QString mediumTime(const QTime& time);          // "medium time"
QString generalDate(const QDateTime& dateTime); // "general date": date, and time when not 00:00
QString currency(double amount);                // "currency": $12.50, ($3.00)

// Every other number the program writes for people to read (hours and minutes, the time
// of a work order, page numbers, task numbers, the days of the calendar) comes from these
// two, in the digits the locale writes its dates and times with: Arabic-Indic in ar_EG,
// Persian in fa_IR, 0-9 in en_US. A line never mixes two scripts of digits that way.
// Numbers the program reads back itself (SQL, report files) stay in plain digits.

// A whole number without group separators, at least `minimumDigits` digits long (zeros in
// front: 5 minutes with two digits are "05").
QString wholeNumber(qint64 value, int minimumDigits = 1);
// A plain number text ("-12.5": digits 0-9, "." and "-") in the locale's digits, decimal
// point and minus sign.
QString localDigits(const QString& plain);
std::optional<double> parseCurrency(const QString& text);

// Formats a date as a Jet date literal's text (used inside #...#): "mm/dd/yy", with the
// whole year "mm/dd/yyyy" for a year a two-digit year would not read back as.
QString jetDate(const QDate& date);
// The same between "#" signs: the date literal of the program's SQL.
QString jetDateLiteral(const QDate& date);

} // namespace tavrel
