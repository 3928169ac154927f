#pragma once

// The units stored values are counted in, written once for every layer: money in fixed
// point, dates as serial day numbers from Jet's day zero, and the calendar the schedule
// is built on.

#include <QDate>
#include <QDateTime>
#include <QtGlobal>

namespace tavrel {

// Money is kept in whole ten-thousandths (four decimals, Jet's currency) and summed as
// such, never as binary fractions.
inline constexpr qint64 CurrencyScale = 10000;

// An amount in ten-thousandths, and back.
qint64 currencyUnits(double amount);
double currencyAmount(qint64 units);
// An amount rounded to what a currency column holds.
double roundedCurrency(double amount);

// Jet's day zero, 30 December 1899: day 0 of the serial day numbers that Jet files, the
// report files and Jet's date functions use. A time without a date is a time of this day,
// so that a time compares below every real date and times compare among themselves by the
// time alone.
inline constexpr int DayZeroYear = 1899;
inline constexpr int DayZeroMonth = 12;
inline constexpr int DayZeroDay = 30;
inline QDate dayZero() {
    return QDate(DayZeroYear, DayZeroMonth, DayZeroDay);
}

// A serial day number (days since day zero, the time of day as the fraction) as a date and
// time, to the second. Before day zero the whole days count back while the fraction still
// counts forward from midnight, so -1.25 is 29 December 1899, 06:00.
QDateTime dateTimeFromSerial(double serial, Qt::TimeSpec zone = Qt::LocalTime);
// The serial day number of a date and time (0 for an invalid one), the inverse of the above.
double serialFromDateTime(const QDateTime& dateTime);

// The calendar.
inline constexpr int DaysPerWeek = 7;
inline constexpr int MonthsPerYear = 12;
inline constexpr int HoursPerHalfDay = 12;
inline constexpr int MinutesPerHour = 60;
inline constexpr qint64 SecondsPerDay = 86400;
// A year of the schedule has 52 weeks, each starting on a Monday (the 53rd partial week of
// a calendar year belongs to no week).
inline constexpr int WeeksPerYear = 52;

} // namespace tavrel
