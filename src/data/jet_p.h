#pragma once

// Internals of the data layer's Jet semantics: reading date and time text the way Jet
// does, and the Jet functions the translated SQL calls. Nothing outside src/data includes
// this.

#include "data/database_p.h"
#include "data/units.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include <sqlite3.h>

#include <initializer_list>

namespace tavrel::detail {

// What Jet's functions fail with for an argument they cannot take: a value out of their
// range, and a value that is no number where they need one.
inline constexpr const char* InvalidCallText = "Invalid procedure call or argument.";
inline constexpr const char* TypeMismatchText = "Data type mismatch in criteria expression.";

// A date and/or a time as read from text; a missing part is invalid.
struct JetDateTime {
    QDate date;
    QTime time;
    bool isValid() const { return date.isValid() || time.isValid(); }
};

// Reads the text of a Jet date literal (between the "#" signs), locale-independent: month
// first, English month names, numbers separated by "/", "-", "." or blanks, two-digit years
// 00-29 -> 20xx and 30-99 -> 19xx, ISO (year first), and a time of day with or without
// AM/PM after the date or alone.
bool readJetDateTime(const QString& text, JetDateTime* out);

// The storage text of a date/time: "YYYY-MM-DD", with " HH:MM:SS" only when there is a
// time; a time alone is a time of day zero.
QString isoStorageText(const JetDateTime& value);

// Reads a value as a date/time the way Jet's date functions do: stored ISO text (with
// or without time, or a time alone), a date literal's text, or a day number since day zero.
bool dateTimeFromValue(sqlite3_value* value, JetDateTime* out);

// The Jet function calls of translated SQL (Left, Mid, Nz, IIf, Format ...) become calls of
// the program's functions; checks their argument counts.
bool translateJetFunctions(const Tokens& in, Tokens* out, QString* error);

// Registers the functions translateJetFunctions() calls.
void registerJetFunctions(sqlite3* db);

// True when `pattern` is one of `names`, without regard to case (a named format).
bool equalsAnyOf(const QString& pattern, std::initializer_list<const char*> names);
// Sunday-based day index of a date: Sunday 0 ... Saturday 6.
int sundayIndex(const QDate& date);
// Sections of a number format, split at ";" outside quotes.
QStringList formatSections(const QString& pattern);

// A section's literal text without its quotes and escapes (a Null section's text).
QString literalText(const QString& section);
// Whether Format reads `pattern` as a number's: no date or time placeholder and no text
// placeholder (@ > <) outside quotes, or a named number format.
bool isNumberPattern(const QString& pattern);

// One section of a number format as Format reads it: the text before and after its digit
// placeholders, and what the placeholders ask for. Anything else among the placeholders is
// not shown.
struct NumberSection {
    QString prefix;
    QString suffix;
    bool digits = false;   // any 0 or # placeholder
    bool percent = false;  // a % outside quotes: the value is shown times 100
    bool grouping = false; // a "," among the placeholders before the point
    bool point = false;
    int minInt = 0; // the 0s before the point: whole digits always shown
    int minDec = 0; // decimals always shown (up to the last 0 after the point)
    int maxDec = 0; // decimals shown at most: the value is rounded to these
};
NumberSection readNumberSection(const QString& section);
// The number format's section for Null: the fourth.
constexpr int NullSection = 3;

// Jet's Format() of a value already read as a date/time, a number or a text.
QString formatDateTime(const JetDateTime& value, const QString& pattern);
QString formatNumber(double value, const QString& pattern);

} // namespace tavrel::detail
