#pragma once

// Recordsets, writes and transactions on a server database: the server's side of
// Recordset::Impl and Database::Impl. Nothing outside src/data includes this.

#include "data/database_p.h"
#include "data/pgconnection.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <set>
#include <vector>

namespace tavrel::detail {

// One table of a server database as recordsets see it.
struct ServerTable {
    QString name;                     // as the server spells it
    QString key;                      // its primary key column (empty: none of one column)
    bool versioned = false;           // has a rowver column, raised by every update
    QHash<QString, ValueKind> kinds;  // lower-case column -> kind
    QHash<QString, QString> columns;  // lower-case column -> as the server spells it
    QHash<int, QString> byNumber;     // the column's number in the table -> its name
    QHash<QString, QString> defaults; // lower-case column -> its default, as SQL
    mutable QHash<QString, QVariant> defaultValues; // defaults already worked out
};

// The tables of a server database, by name and by the server's number for them (which a
// result names a column's origin by), and the kind of value each type of the server reads as.
struct ServerTables {
    QHash<QString, ServerTable> tables; // lower-case name -> table
    QHash<quint32, QString> byOid;      // table's oid -> lower-case name
    QHash<quint32, ValueKind> typeKinds;
    QHash<quint32, QString> typeNames; // a type's oid -> its name, quoted for SQL

    bool load(PgConnection& connection, DbError* error);
    const ServerTable* table(const QString& name) const;
};

// The server's part of a recordset.
struct ServerCursor {
    std::shared_ptr<const ServerTables> tables; // as they were when it opened
    QStringList keyColumns; // each table's key, qualified by its name in the query
    QList<bool> versioned;  // each table's row carries a row version
    QString batchSql;       // a keyset's rows by their base keys ($1, an array)
    // The same for some fields only: keys, versions, then those fields. Each field's column,
    // qualified by its table's name in the query (empty for an expression, which only the
    // whole select list gives).
    QString keysAndVersions; // "SELECT keys, versions"
    QString batchFrom;       // " FROM ... WHERE key = ANY($1)"
    QStringList fieldColumns;
    QList<int> narrowFields; // the fields `narrowSql` reads, in its order
    QString narrowSql;
    QString copySql; // a static copy's query, as run
    // A static copy's rows, as fetched: runs of rows, the first row of each.
    std::vector<PgResult> chunks;
    std::vector<int> chunkStarts;
    int copiedRows = 0;
    // The row versions of the row being edited, as read before edit() (null: not checked).
    QVariantList editVersions;
};

// A value of a result in the server's text form, as the program reads the kind.
QVariant serverValue(const PgResult& result, int row, int column, ValueKind kind);

// Runs a statement on the server. A connection lost while no write was open is made anew
// first; one lost inside a transaction stays lost until the transaction ends, so nothing
// of it is half-written.
bool serverRun(Database::Impl& db, const QString& sql, const QList<QVariant>& params, PgResult* out,
               DbError* error);

// The write levels on a server: a transaction (with its short lock timeout) or a savepoint
// in the open one.
bool serverBeginWrite(Database::Impl& db, DbError* error);
bool serverCommitWrite(Database::Impl& db, DbError* error);
void serverAbortWrite(Database::Impl& db);

// The open server connections, for FreeLocks().
QSet<Database::Impl*>& serverConnections();
void freeServerLocks();

// The server's tables, read at the first use after a change of the schema; null (the failure
// raised) when they cannot be read.
const ServerTables* serverTablesOf(Database::Impl& db);

void executeOnServer(Database::Impl& db, const QString& sql);
void checkServerQuery(Database::Impl& db, const QString& sqlOrTable);
std::optional<QString> serverIndexDefinition(Database::Impl& db, const QString& name);
// The keys `sql` gives, `stride` a row, appended to *keys; a `limit` above 0 is bound to $1.
bool serverReadKeys(Database::Impl& db, const QString& sql, int stride, int limit,
                    std::vector<qint64>* keys, const QString& context);
// The number a count(*) query gives.
bool serverCount(Database::Impl& db, const QString& sql, qint64* count);
std::unique_ptr<Recordset::Impl> openServerRecordset(const std::shared_ptr<Database::Impl>& db,
                                                     const QString& sqlOrTable, RecordsetType type);
bool readServerBatch(Recordset::Impl& rs, int index, int direction);
bool readServerCopied(Recordset::Impl& rs, int field, QVariant* out);
bool serverFindMatches(Recordset::Impl& rs, const QString& criteria,
                       std::vector<qint64>* baseMatches, std::set<std::vector<qint64>>* matches,
                       std::vector<char>* rowMatches);
// Notes the row versions of the current row as edit() starts.
bool serverNoteVersions(Recordset::Impl& rs);
// A field of the row being added: its key (reserved from the table's sequence) or default.
QVariant serverAddedValue(Recordset::Impl& rs, const FieldInfo& field);
void serverUpdate(Recordset::Impl& rs);
void serverDeleteRow(Recordset::Impl& rs);
// The next update writes over the row as it is stored now (another planner's change).
void serverTakeStoredVersion(Recordset::Impl& rs);

} // namespace tavrel::detail
