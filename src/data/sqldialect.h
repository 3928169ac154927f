#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace tavrel {

// Parentheses nest at most this deep in a statement; deeper text is refused as a syntax
// error. It bounds the translation's work and stack (SQLite's own parser, in its default
// build, already gives up at about a hundred levels).
inline constexpr int MaxSqlNesting = 256;

// Translates SQL text in the program's Jet dialect into SQLite's: #m/d/yyyy# date literals
// (two-digit years: 00-29 -> 20xx, 30-99 -> 19xx), double-quoted strings, like patterns
// with * and ?, Year(...) and Jet's text, date and Format functions, delete * from, true/false, &
// concatenation, [bracketed] names, bit/LONG column types. Works on tokens, so text inside strings
// is never rewritten. Sets *error (and returns an empty string) for text it refuses: two
// statements, a NUL character, nesting deeper than MaxSqlNesting.
QString translateSql(const QString& jetSql, QString* error = nullptr);

// The clock behind Date() and Now() in SQL text: local time. The program installs its own
// (the UI seam's), so that a fixed clock in tests reaches the queries too; an empty
// function restores the system clock.
void setSqlClock(std::function<QDateTime()> clock);
QDateTime sqlNow();

} // namespace tavrel
