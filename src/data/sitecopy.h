#pragma once

// A site's data on a PostgreSQL server: setting one up, and moving a site between its file
// (tavrel.mdb) and a server database in either direction.

#include <QString>

namespace tavrel {

class Database;

// Whether the text names a database on a server (postgresql://... or postgres://...)
// rather than a file.
bool isServerUrl(const QString& text);

// What is wrong with a server URL the program is to keep or use: empty when nothing is.
// A password in it is refused: the site's settings are read by everyone who works in its
// folder, and a command line by everyone on the machine. libpq's own places (~/.pgpass,
// the service file, PGPASSWORD) are where a password belongs.
QString serverUrlProblem(const QString& url);

// Sets up a site in an EMPTY server database: the schema, the 52 weeks of `year` and the
// settings row, in one transaction. A database that holds tables already (a site's or
// others') is refused and left as it is. False with *error set on failure.
bool createServerSite(const QString& url, int year, QString* error);

// Copies every table of the task database file `filePath` into an EMPTY server database,
// keys and all, in one transaction, then sets each counter of the server past the highest
// key the file used. The file is only read; columns it lacks (a file of an older version)
// take the server's defaults, while a table or column the server has no place for refuses
// the copy, so that nothing is lost on the way. taskweeks and settings keep their rows'
// order: the file's row ids become the server's rowid column.
bool copyToServer(const QString& filePath, const QString& url, QString* error);

// Writes the server's site into a NEW task database file `filePath` (an existing name is
// refused; on failure nothing is left behind). The server's rowid columns become the file's
// row ids; its row versions go only into a file whose tables have that column. Yes/no
// values are written as the file keeps them (1 and 0), counters continue where the
// server's did.
bool copyFromServer(const QString& url, const QString& filePath, QString* error);

// Whether an open server database holds a site's tables; false with *error saying how to
// set one up when it does not (or why it could not be told).
bool serverHoldsSite(Database& db, QString* error);

} // namespace tavrel
