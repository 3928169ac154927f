#pragma once

// The program's Jet dialect translated to PostgreSQL's, for the server backend. Nothing
// outside src/data includes this.

#include "data/database_p.h"

#include <QHash>
#include <QString>

namespace tavrel::detail {

class PgConnection;

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

// Writes translated tokens back as PostgreSQL's text.
QString emitServerSql(const Tokens& tokens);

// translateServerTokens() then emitServerSql(); an empty text with *error on refusal.
QString translateForServer(const QString& jetSql, const ServerCatalog& catalog,
                           QString* error = nullptr);

} // namespace tavrel::detail
