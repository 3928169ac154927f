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

// Jet's Format() of a value already read as a date/time, a number or a text.
QString formatDateTime(const JetDateTime& value, const QString& pattern);
QString formatNumber(double value, const QString& pattern);

} // namespace tavrel::detail
