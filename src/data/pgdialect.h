#pragma once

// The program's Jet dialect translated to PostgreSQL's, for the server backend. Nothing
// outside src/data includes this.

#include "data/database_p.h"

#include <QHash>
#include <QString>

namespace tavrel::detail {

class PgConnection;

// The collation of the program's order of texts in the server's schema.
constexpr const char* TextCollation = "tavrel_text";

// What the translation needs to know of a server database's tables: each column's kind
// (a yes/no column compared with a number asks whether it is zero; texts compare in the
// program's order), and each table's key. Read once per connection.
struct ServerCatalog {
    // lower-case table -> lower-case column -> its kind
    QHash<QString, QHash<QString, ValueKind>> columns;
    // lower-case table -> its key column (every table on the server has one)
    QHash<QString, QString> keys;

    // Reads the tables of the connection's database; false with *error set on failure.
    bool load(PgConnection& connection, DbError* error);
    // Auto when the table or column is unknown.
    ValueKind kindOf(const QString& table, const QString& column) const;
};

// Translates one statement of the program's dialect into PostgreSQL's, as tokens ready for
// emitServerSql(). `context` names tables the text refers to without a FROM clause of its
// own (a find's criteria). False with *error set for text it refuses, with the same
// messages as the file backend's translation.
bool translateServerTokens(const QString& jetSql, const ServerCatalog& catalog, Tokens* out,
                           QString* error, const QList<TableRef>& context = {});

// Jet's Format(value, pattern) as the server's expression, for a value of the kind given
// (Auto when unknown); false with *error for a format the server cannot write as the file
// does (pgformat.cpp).
bool serverFormat(const Tokens& value, ValueKind kind, const QString& pattern, Tokens* out,
                  QString* error);

// An integer expression that makes the server's statement fail with `message` where it is
// reached with `dependsOn` not Null; the connection reports that failure as the file reports
// its own (serverRaisedMessage()). Depending on a value of the row keeps the server from
// failing ahead of the rows, on the expression alone.
Tokens serverRaise(const QString& message, const Tokens& dependsOn);
// The message a serverRaise() expression failed with, read from the server's message of the
// failure; empty for any other failure.
QString serverRaisedMessage(const QString& engineMessage);

// Passes over a statement's shape (pgstatements.cpp): Jet's column types in CREATE and ALTER
// TABLE as the server schema's; values an insert or update writes to a date column read as
// timestamps; nulls first in an ascending order, as on the file.
Tokens serverColumnTypes(const Tokens& in);
Tokens serverDatesWritten(const Tokens& in, const ServerCatalog& catalog);
Tokens serverNullsFirst(const Tokens& in);
// A subquery in FROM without a name of its own gets one, which the server requires.
Tokens serverSubqueryNames(const Tokens& in);

// Writes translated tokens back as PostgreSQL's text.
QString emitServerSql(const Tokens& tokens);

// translateServerTokens() then emitServerSql(); an empty text with *error on refusal.
QString translateForServer(const QString& jetSql, const ServerCatalog& catalog,
                           QString* error = nullptr);

} // namespace tavrel::detail
