#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

namespace tavrel {

class Database;

// The Mondays that start the 52 weeks of a year: week 1 starts on the first Monday on or
// after 1 January, each later week seven days after the one before.
QList<QDate> weekMondays(int year);

// Creates a new database file at `path` and has `fill` write into it, under a trap: the
// first failure ends it, removes the file (only one this call made) and is returned in
// *error. Refuses a name that is taken.
bool createDatabaseFile(const QString& path, const std::function<void(Database&)>& fill,
                        QString* error);

// The one settings row of a new site: the planned year and the site's identifier, a random
// UUID made now that stays with the site (copies and conversions keep it).
QString newSettingsRowSql(int year);

// Creates a new tavrel.mdb: every table, the 52 weeks of `year` and one settings row.
// Refuses to overwrite an existing file. Returns false with *error set on failure.
bool createTaskDatabase(const QString& path, int year, QString* error);

// Creates a new rptspec.mdb holding the field catalogue with the fields of tasks and assign.
bool createCatalogueDatabase(const QString& path, QString* error);

} // namespace tavrel
