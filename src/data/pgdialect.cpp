#include "data/pgdialect.h"

#include "data/pgconnection.h"

namespace tavrel::detail {

// First cut: the file backend's translation, which PostgreSQL reads for plain statements.
// The server's own translation replaces it.

bool ServerCatalog::load(PgConnection&, DbError*) {
    return true;
}

ValueKind ServerCatalog::kindOf(const QString& table, const QString& column) const {
    return columns.value(table.toLower()).value(column.toLower(), ValueKind::Auto);
}

bool translateServerTokens(const QString& jetSql, const ServerCatalog&, Tokens* out, QString* error,
                           const QList<TableRef>&) {
    return translateTokens(jetSql, out, error);
}

QString emitServerSql(const Tokens& tokens) {
    return emitSql(tokens);
}

QString translateForServer(const QString& jetSql, const ServerCatalog& catalog, QString* error) {
    Tokens tokens;
    QString message;
    if (!translateServerTokens(jetSql, catalog, &tokens, &message)) {
        if (error)
            *error = message;
        return {};
    }
    if (error)
        error->clear();
    return emitServerSql(tokens);
}

} // namespace tavrel::detail
