#pragma once

#include "data/database.h"

#include <QString>

#include <QtGlobal>

// What the benchmarks share: a database with the program's schema, a large run of
// assignments written straight through SQLite, and one line of output per measurement.
namespace tavrel::bench {

// A new database at `path` with the program's schema; left open for the caller.
Database createSiteDatabase(const QString& path);

// Writes `rows` assignments of tasks 1 to `tasks`, spread over the weeks of 2005 and 2006,
// every fourth completed, in one transaction of raw SQLite.
void addAssignments(const QString& path, int rows, int tasks);

// One measurement beside its baseline, with the ratio.
void report(const char* what, qint64 oursNs, const char* baseline, qint64 baseNs);

} // namespace tavrel::bench
