// Recordsets on a server database: keysets on each table's primary key whose rows are
// fetched in batches by key, static copies fetched in batches through a cursor, finds as a
// query of the matching keys, and writes that check each row's version and wait only briefly
// for a row another planner holds.

#include "data/pgrecordset_p.h"

#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgdialect.h"
#include "data/units.h"

#include <QDateTime>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <algorithm>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace tavrel::detail {

namespace {

// Rows of a keyset fetched by one statement once a walk goes on; the first fetch after a
// jump asks for FirstRunRows (database_p.h). Each statement costs a round trip to the
// server, so a walk asks for more rows at a time than on a file.
constexpr int ServerReadAheadRows = 16384;
// Rows of a static copy fetched by one FETCH.
constexpr int CopyBatchRows = 4096;
// The keys a keyset in the order of its texts reads at open: a window's first rows come from
// an index at once, however long the table; the rest are read when a move reaches them.
constexpr int ServerFirstKeys = 4096;

QString tableNotFound(const QString& name) {
    return QStringLiteral(
               "The database engine cannot find the input table or query '%1'. Make sure "
               "it exists and that its name is spelled correctly.")
        .arg(name);
}

QString savepointName(qsizetype level) {
    return QStringLiteral("tavrel_write_%1").arg(level);
}

qint64 keyAt(const PgResult& result, int row, int column) {
    if (result.isNull(row, column))
        return 0; // no row of a joined table
    return QByteArray::fromRawData(result.bytes(row, column), result.size(row, column))
        .toLongLong();
}

// The base keys of a run as the server's array text: {1,2,3}.
QString keyArray(const std::vector<qint64>& keys) {
    QString text = QStringLiteral("{");
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(',');
        text += QString::number(keys[i]);
    }
    return text + QLatin1Char('}');
}

QString qualified(const QString& table, const QString& column) {
    return quoteIdent(table) + QLatin1Char('.') + quoteIdent(column);
}

const ServerTables* loadedTables(Database::Impl& db) {
    if (!db.serverTables) {
        auto tables = std::make_shared<ServerTables>();
        DbError error;
        if (db.server->isBroken() && db.writeLevels.isEmpty() && !db.server->reconnect(&error)) {
            raiseError(error);
            return nullptr;
        }
        if (!tables->load(*db.server, &error)) {
            raiseError(error);
            return nullptr;
        }
        db.serverTables = std::move(tables);
    }
    return db.serverTables.get();
}

// Runs reads inside an open transaction in a savepoint of their own: a read that fails (a
// probe for a column an older database lacks) ends the whole transaction on the server,
// where on a file it fails alone.
template <class Work> bool readGuarded(Database::Impl& db, Work work) {
    if (db.writeLevels.isEmpty())
        return work();
    DbError error;
    if (!serverBeginWrite(db, &error)) {
        raiseError(error);
        return false;
    }
    // Undone however the work ends, a failure raised past this frame included.
    struct Undo {
        Database::Impl& db;
        bool done = false;
        ~Undo() {
            if (!done)
                serverAbortWrite(db);
        }
    } undo{db};
    if (!work())
        return false;
    if (!serverCommitWrite(db, &error)) {
        raiseError(error);
        return false;
    }
    undo.done = true;
    return true;
}

// The statement a recordset on `sqlOrTable` runs, in the server's dialect, and its parts;
// raises the error and returns false when the text is no query of the database.
bool translateQuery(Database::Impl& db, const ServerTables& tables, const QString& sqlOrTable,
                    RecordsetType type, Tokens* tokens, SelectParts* parts) {
    QString error;
    Tokens jet;
    if (!tokenize(sqlOrTable, true, &jet, &error)) {
        raiseError(ErrSqlSyntax, error);
        return false;
    }
    while (!jet.isEmpty() && jet.last().isOp(";"))
        jet.removeLast();
    if (jet.size() == 1 && jet.first().isName()) {
        // A table name: the table's rows in key order.
        const ServerTable* table = tables.table(jet.first().text);
        if (!table) {
            raiseError(ErrTableNotFound, tableNotFound(jet.first().text));
            return false;
        }
        tokenize(QStringLiteral("SELECT * FROM ") + quoteIdent(table->name), false, tokens, &error);
    } else if (type == RecordsetType::Table) {
        raiseError(ErrTableNotFound, tableNotFound(sqlOrTable));
        return false;
    } else if (!translateServerTokens(sqlOrTable, *db.catalog, tokens, &error)) {
        raiseError(ErrSqlSyntax, error);
        return false;
    }
    *parts = parseSelect(*tokens);
    if (!parts->isSelect) {
        raiseError(
            ErrSqlSyntax,
            QStringLiteral("Invalid SQL statement; expected 'SELECT': '%1'.").arg(sqlOrTable));
        return false;
    }
    // A keyset needs every table's key (a view or a table without one is read as rows).
    for (const TableRef& t : parts->tables) {
        const ServerTable* table = tables.table(t.table);
        if (!table || table->key.isEmpty())
            parts->keyable = false;
    }
    return true;
}

// The key columns of the query's tables, qualified by the names the query gives them.
QStringList keyColumnsOf(const ServerTables& tables, const QList<TableRef>& refs) {
    QStringList keys;
    for (const TableRef& t : refs)
        keys << qualified(t.refName(), tables.table(t.table)->key);
    return keys;
}

// Each key followed by `direction`, for an ORDER BY.
QString keyOrder(const QStringList& keys, const char* direction) {
    QStringList terms;
    for (const QString& key : keys)
        terms << key + QLatin1Char(' ') + QLatin1String(direction);
    return terms.join(QLatin1String(", "));
}

// The direction in which rows equal in the order follow each other: that of the last term
// (whose place for nulls the translation has written after it).
const char* tieDirection(const Tokens& orderBy) {
    qsizetype end = orderBy.size();
    if (end > 2 && orderBy.at(end - 2).isWord("nulls"))
        end -= 2;
    return end > 0 && orderBy.at(end - 1).isWord("desc") ? "DESC" : "ASC";
}

// The terms of an ORDER BY read backwards: each term's direction and place of nulls turned
// round (the server puts nulls last in an ascending order unless told otherwise).
QString reversedOrder(const Tokens& orderBy) {
    QStringList terms;
    Tokens term;
    int depth = 0;
    auto finish = [&] {
        bool descending = false;
        std::optional<bool> nullsFirst;
        if (term.size() > 2 && term.at(term.size() - 2).isWord("nulls")) {
            nullsFirst = term.last().isWord("first");
            term.resize(term.size() - 2);
        }
        if (!term.isEmpty() && (term.last().isWord("asc") || term.last().isWord("desc"))) {
            descending = term.last().isWord("desc");
            term.removeLast();
        }
        const bool first = nullsFirst.value_or(descending);
        terms << emitServerSql(term) + (descending ? u" ASC"_s : u" DESC"_s) +
                     (first ? u" NULLS LAST"_s : u" NULLS FIRST"_s);
        term.clear();
    };
    for (const Token& t : orderBy) {
        if (t.isOp("("))
            ++depth;
        else if (t.isOp(")"))
            --depth;
        if (depth == 0 && t.isOp(",")) {
            finish();
            continue;
        }
        term << t;
    }
    if (!term.isEmpty())
        finish();
    return terms.join(u", ");
}

// Field descriptions of a result whose first `skip` columns are keys, as the file's
// recordsets describe them: name, origin table and column, kind.
void describeFields(const PgResult& result, int skip, int count, const ServerTables& tables,
                    Recordset::Impl* rs) {
    rs->fields.clear();
    for (int i = skip; i < skip + count; ++i) {
        FieldInfo f;
        f.name = result.columnName(i);
        const Oid tableOid = PQftable(result.raw(), i);
        const ServerTable* table =
            tableOid == InvalidOid ? nullptr : tables.table(tables.byOid.value(tableOid));
        if (table) {
            f.table = table->name;
            f.origin = table->byNumber.value(PQftablecol(result.raw(), i));
            f.kind = table->kinds.value(f.origin.toLower(), ValueKind::Auto);
            for (int k = 0; k < rs->tables.size(); ++k)
                if (rs->tables.at(k).table.compare(f.table, Qt::CaseInsensitive) == 0) {
                    f.tableIndex = k;
                    break;
                }
        } else {
            f.kind = tables.typeKinds.value(PQftype(result.raw(), i), ValueKind::Auto);
        }
        rs->fields.append(f);
    }
}

bool openKeyset(Recordset::Impl* rs, const ServerTables& tables, const SelectParts& parts) {
    Database::Impl& db = *rs->db;
    ServerCursor& cursor = *rs->server;
    rs->keyed = true;
    rs->stride = int(parts.tables.size());
    rs->fromSql = emitServerSql(parts.from);
    cursor.keyColumns = keyColumnsOf(tables, parts.tables);
    QStringList versions;
    for (const TableRef& t : parts.tables) {
        const ServerTable* table = tables.table(t.table);
        cursor.versioned << table->versioned;
        versions << (table->versioned ? qualified(t.refName(), QStringLiteral("rowver"))
                                      : QStringLiteral("NULL::integer"));
        rs->tableColumns.append(QSet<QString>(table->columns.keyBegin(), table->columns.keyEnd()));
    }
    const QString keys = cursor.keyColumns.join(QLatin1String(", "));
    cursor.batchSql = QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %5 = ANY($1::bigint[])")
                          .arg(keys, emitServerSql(parts.selectList), versions.join(u", "),
                               rs->fromSql, cursor.keyColumns.first());
    // The batch statement with no keys describes the fields.
    PgResult described;
    DbError error;
    if (!serverRun(db, cursor.batchSql, {QStringLiteral("{}")}, &described, &error)) {
        raiseError(error);
        return false;
    }
    describeFields(described, rs->stride, described.columns() - 2 * rs->stride, tables, rs);
    // A column of a table the query names once can be read alone: a walk that looks at two
    // fields of a wide join fetches those two.
    cursor.keysAndVersions = QStringLiteral("SELECT %1, %2").arg(keys, versions.join(u", "));
    cursor.batchFrom = QStringLiteral(" FROM %1 WHERE %2 = ANY($1::bigint[])")
                           .arg(rs->fromSql, cursor.keyColumns.first());
    for (const FieldInfo& f : std::as_const(rs->fields)) {
        const bool once =
            f.tableIndex >= 0 && !f.origin.isEmpty() &&
            std::count_if(parts.tables.cbegin(), parts.tables.cend(), [&](const TableRef& t) {
                return t.table.compare(f.table, Qt::CaseInsensitive) == 0;
            }) == 1;
        cursor.fieldColumns << (once ? qualified(parts.tables.at(f.tableIndex).refName(), f.origin)
                                     : QString());
    }

    // The ordered keys: the query's order (select-list aliases stand for their expressions),
    // rows equal in it in key order; without an order, key order.
    QString keysSql = QStringLiteral("SELECT %1 FROM %2").arg(keys, rs->fromSql);
    if (!parts.where.isEmpty())
        keysSql += QStringLiteral(" WHERE ") + emitServerSql(parts.where);
    if (parts.orderBy.isEmpty())
        keysSql += QStringLiteral(" ORDER BY ") + keyOrder(cursor.keyColumns, "ASC");
    else
        keysSql += QStringLiteral(" ORDER BY ") +
                   emitServerSql(substituteAliases(parts.orderBy, parts.aliases)) +
                   QStringLiteral(", ") + keyOrder(cursor.keyColumns, tieDirection(parts.orderBy));
    // A table in the order of its texts is read in parts, as the file's are: its first keys
    // now, its last ones when moveLast() wants them, the rest when a move reaches them.
    const bool inParts = rs->stride == 1 && !parts.orderBy.isEmpty() && parts.tail.isEmpty();
    if (!parts.tail.isEmpty())
        keysSql += QLatin1Char(' ') + emitServerSql(parts.tail);
    if (!Recordset::Impl::readKeys(db, inParts ? keysSql + u" LIMIT $1"_s : keysSql, rs->stride, 0,
                                   inParts ? ServerFirstKeys : 0, &rs->keys, nullptr,
                                   rs->selectSql))
        return false;
    if (inParts && rs->keys.size() == size_t(ServerFirstKeys)) {
        rs->complete = rs->sizeKnown = false;
        rs->gapBegin = rs->gapEnd = ServerFirstKeys;
        rs->keysSql = keysSql;
        rs->lastKeysSql = QStringLiteral("SELECT %1 FROM %2").arg(keys, rs->fromSql);
        rs->countSql = u"SELECT count(*) FROM "_s + rs->fromSql;
        if (!parts.where.isEmpty()) {
            rs->lastKeysSql += u" WHERE "_s + emitServerSql(parts.where);
            rs->countSql += u" WHERE "_s + emitServerSql(parts.where);
        }
        rs->lastKeysSql +=
            u" ORDER BY "_s + reversedOrder(substituteAliases(parts.orderBy, parts.aliases)) +
            u", "_s +
            keyOrder(cursor.keyColumns,
                     qstrcmp(tieDirection(parts.orderBy), "DESC") == 0 ? "ASC" : "DESC") +
            u" LIMIT $1"_s;
    }

    const ServerTable* base = tables.table(parts.tables.first().table);
    rs->baseTable = base->name;
    rs->keyColumn = base->key;
    rs->baseKinds = base->kinds;
    rs->baseColumnNames = base->columns;
    rs->updatable = true;
    return true;
}

// The query of a static copy as run: in its own order with rows of tables equal in it in
// key order, or in key order where it has none.
QString copyQuery(const ServerTables& tables, const Tokens& tokens, const SelectParts& parts) {
    if (!parts.keyable)
        return emitServerSql(tokens);
    const QStringList keys = keyColumnsOf(tables, parts.tables);
    if (parts.orderAt > 0)
        return emitServerSql(tokens.mid(0, parts.orderEnd)) + QStringLiteral(", ") +
               keyOrder(keys, tieDirection(parts.orderBy)) + QLatin1Char(' ') +
               emitServerSql(tokens.mid(parts.orderEnd));
    return emitServerSql(tokens.mid(0, tokens.size() - parts.tail.size())) +
           QStringLiteral(" ORDER BY ") + keyOrder(keys, "ASC") + QLatin1Char(' ') +
           emitServerSql(parts.tail);
}

// Fetches a static copy's rows through a cursor, a batch at a time.
bool openCopy(Recordset::Impl* rs, const ServerTables& tables) {
    Database::Impl& db = *rs->db;
    ServerCursor& cursor = *rs->server;
    DbError error;
    if (!serverBeginWrite(db, &error)) {
        raiseError(error);
        return false;
    }
    const QString name = QStringLiteral("tavrel_copy_%1").arg(db.writeLevels.size());
    PgResult result;
    bool ok = serverRun(
        db, QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(name, cursor.copySql), {},
        &result, &error);
    const QString fetch = QStringLiteral("FETCH FORWARD %1 FROM %2").arg(CopyBatchRows).arg(name);
    while (ok) {
        ok = serverRun(db, fetch, {}, &result, &error);
        if (!ok)
            break;
        const int rows = result.rows();
        if (cursor.chunks.empty())
            describeFields(result, 0, result.columns(), tables, rs);
        if (rows > 0 || cursor.chunks.empty()) {
            cursor.chunkStarts.push_back(cursor.copiedRows);
            cursor.copiedRows += rows;
            cursor.chunks.push_back(std::move(result));
        }
        if (rows < CopyBatchRows)
            break;
    }
    if (ok)
        ok = serverRun(db, QStringLiteral("CLOSE ") + name, {}, &result, &error);
    if (ok)
        ok = serverCommitWrite(db, &error);
    if (!ok) {
        serverAbortWrite(db);
        raiseError(error);
        return false;
    }
    return true;
}

// Whether a row of `table` with `key` is still there.
bool rowExists(Database::Impl& db, const QString& table, const QString& key, qint64 value,
               DbError* error, bool* exists) {
    PgResult result;
    if (!serverRun(db,
                   QStringLiteral("SELECT 1 FROM %1 WHERE %2 = $1")
                       .arg(quoteIdent(table), quoteIdent(key)),
                   {QVariant(value)}, &result, error))
        return false;
    *exists = result.rows() > 0;
    return true;
}

// The error for a row written only if its version was still the one read, and found
// changed: changed by someone else, or gone. The texts are a file's.
DbError conflictFor(bool exists, const QString& table, const QString& url) {
    if (exists)
        return DbError{ErrRowChanged,
                       QStringLiteral("Another user changed this record after it was read; it "
                                      "was not written over their changes."),
                       QStringLiteral("In: ") + table, url};
    return DbError{ErrRowDeleted,
                   QStringLiteral("Another user deleted this record after it was read."),
                   QStringLiteral("In: ") + table, url};
}

// Runs a write of one row of `table` (`sql`, its key the last of `values`), made to touch
// the row only while it still has the version read, where the table keeps versions and one
// was read. When it touched no row, *conflict says why, as a file's write would: changed by
// someone else or gone. False with *error set when the server failed.
bool writeReadVersion(Database::Impl& db, const ServerTable& table, QString sql,
                      QList<QVariant> values, const QVariant& version,
                      std::optional<DbError>* conflict, DbError* error) {
    const qint64 rowKey = values.constLast().toLongLong();
    if (table.versioned && !version.isNull()) {
        values << version;
        sql += QStringLiteral(" AND rowver = $%1").arg(values.size());
    }
    PgResult result;
    if (!serverRun(db, sql, values, &result, error))
        return false;
    if (result.affected() == 0) {
        bool exists = false;
        if (!rowExists(db, table.name, table.key, rowKey, error, &exists))
            return false;
        *conflict = conflictFor(exists, table.name, db.path);
    }
    return true;
}

bool isKeyField(const Recordset::Impl& rs, const FieldInfo& f) {
    return f.tableIndex == 0 && !rs.keyColumn.isEmpty() &&
           f.origin.compare(rs.keyColumn, Qt::CaseInsensitive) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------
// The server's tables

bool ServerTables::load(PgConnection& connection, DbError* error) {
    // Every column of the tables and views the connection sees, with its type's name (a
    // domain's own: yesno, currency), its default and whether it is the table's key.
    const PgResult columns = connection.exec(
        QStringLiteral(
            "SELECT c.oid, c.relname, a.attnum, a.attname, t.typname, "
            "pg_get_expr(d.adbin, d.adrelid), "
            "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = c.oid AND i.indisprimary "
            "AND i.indnatts = 1 AND i.indkey[0] = a.attnum) "
            "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
            "JOIN pg_type t ON t.oid = a.atttypid "
            "LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
            "WHERE c.relkind IN ('r', 'p', 'v') AND n.nspname = ANY (current_schemas(false)) "
            "ORDER BY c.oid, a.attnum"),
        error);
    if (!columns.isValid())
        return false;
    for (int r = 0; r < columns.rows(); ++r) {
        const quint32 oid = columns.text(r, 0).toUInt();
        const QString tableName = columns.text(r, 1);
        ServerTable& table = tables[tableName.toLower()];
        table.name = tableName;
        byOid.insert(oid, tableName.toLower());
        const QString column = columns.text(r, 3);
        const QString lower = column.toLower();
        table.columns.insert(lower, column);
        table.byNumber.insert(columns.text(r, 2).toInt(), column);
        table.kinds.insert(lower, valueKindFor(columns.text(r, 4).toUtf8().constData()));
        if (!columns.isNull(r, 5))
            table.defaults.insert(lower, columns.text(r, 5));
        if (columns.text(r, 6) == QLatin1String("t"))
            table.key = column;
        if (lower == QLatin1String("rowver"))
            table.versioned = true;
    }
    // The kinds of values that are no table's column (totals, expressions).
    const PgResult types = connection.exec(
        QStringLiteral("SELECT oid, typname FROM pg_type WHERE typtype IN ('b', 'd')"), error);
    if (!types.isValid())
        return false;
    for (int r = 0; r < types.rows(); ++r) {
        const QString name = types.text(r, 1);
        // valueKindFor() reads the file's declared types; the server's names of a few
        // differ.
        ValueKind kind = valueKindFor(name.toUtf8().constData());
        if (name == QLatin1String("float8"))
            kind = ValueKind::Double;
        else if (name == QLatin1String("numeric"))
            kind = ValueKind::Double;
        typeKinds.insert(types.text(r, 0).toUInt(), kind);
        typeNames.insert(types.text(r, 0).toUInt(), quoteIdent(name));
    }
    return true;
}

const ServerTable* ServerTables::table(const QString& name) const {
    const auto it = tables.constFind(name.toLower());
    return it == tables.constEnd() ? nullptr : &it.value();
}

// ---------------------------------------------------------------------------------------
// Values

QVariant serverValue(const PgResult& result, int row, int column, ValueKind kind) {
    if (result.isNull(row, column))
        return QVariant();
    const QByteArray bytes =
        QByteArray::fromRawData(result.bytes(row, column), result.size(row, column));
    switch (kind) {
    case ValueKind::Integer: {
        bool ok = false;
        qlonglong value = bytes.toLongLong(&ok);
        if (!ok)
            value = qRound64(bytes.toDouble()); // an integer column's total is numeric
        if (value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())
            return int(value);
        return value;
    }
    case ValueKind::Double:
        return bytes.toDouble();
    case ValueKind::Currency:
        return roundedCurrency(bytes.toDouble());
    case ValueKind::Bool:
        if (bytes == "t" || bytes == "f")
            return bytes == "t";
        return bytes.toLongLong() != 0; // any non-zero value is true
    case ValueKind::Date: {
        QVariant date;
        if (dateFromIsoText(QString::fromLatin1(bytes), &date)) {
            // A time alone is stored on Jet's day zero, and reads back as a time, as from a
            // file.
            if (date.typeId() == QMetaType::QDateTime &&
                date.toDateTime().date() == QDate(1899, 12, 30))
                return date.toDateTime().time();
            return date;
        }
        break;
    }
    case ValueKind::Text:
    case ValueKind::Auto:
        break;
    }
    return QString::fromUtf8(bytes);
}

// ---------------------------------------------------------------------------------------
// Statements and write levels

bool serverRun(Database::Impl& db, const QString& sql, const QList<QVariant>& params, PgResult* out,
               DbError* error) {
    if (db.server->isBroken() && db.writeLevels.isEmpty()) {
        // The schema may have changed while the connection was gone.
        db.serverTables.reset();
        if (!db.server->reconnect(error))
            return false;
    }
    *out = db.server->exec(sql, params, error);
    return out->isValid();
}

bool serverBeginWrite(Database::Impl& db, DbError* error) {
    const bool nested = !db.writeLevels.isEmpty();
    PgResult result;
    if (nested) {
        if (!serverRun(db, QStringLiteral("SAVEPOINT ") + savepointName(db.writeLevels.size()), {},
                       &result, error))
            return false;
    } else {
        // A row another planner holds is waited for briefly (the connection's lock
        // timeout), then reported locked, so that the save loop's retries and its question
        // work as on a file.
        if (!serverRun(db, QStringLiteral("BEGIN"), {}, &result, error))
            return false;
    }
    db.writeLevels.append(nested);
    return true;
}

bool serverCommitWrite(Database::Impl& db, DbError* error) {
    if (db.writeLevels.isEmpty())
        return false;
    const bool savepoint = db.writeLevels.last();
    PgResult result;
    const QString sql =
        savepoint ? QStringLiteral("RELEASE SAVEPOINT ") + savepointName(db.writeLevels.size() - 1)
                  : QStringLiteral("COMMIT");
    if (!serverRun(db, sql, {}, &result, error))
        return false;
    // The server answers COMMIT of a transaction a failure ended with ROLLBACK.
    if (!savepoint && qstrcmp(PQcmdStatus(result.raw()), "ROLLBACK") == 0) {
        *error = DbError{ErrEngine,
                         QStringLiteral("The change was not saved: an earlier failure of the "
                                        "same operation undid all of it."),
                         {},
                         db.path};
        return false;
    }
    db.writeLevels.removeLast();
    return true;
}

void serverAbortWrite(Database::Impl& db) {
    if (db.writeLevels.isEmpty())
        return;
    const bool savepoint = db.writeLevels.takeLast();
    ++db.writes; // rows read inside the undone work are stale
    if (db.server->isBroken())
        return; // the server ended the transaction with the connection
    DbError ignored;
    if (savepoint) {
        const QString name = savepointName(db.writeLevels.size());
        db.server->exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + name, &ignored);
        db.server->exec(QStringLiteral("RELEASE SAVEPOINT ") + name, &ignored);
    } else {
        db.server->exec(QStringLiteral("ROLLBACK"), &ignored);
    }
}

QSet<Database::Impl*>& serverConnections() {
    static auto* connections = new QSet<Database::Impl*>; // never destroyed, like the file's
    return *connections;
}

void freeServerLocks() {
    // A write level that no Transaction owns is what a failure left open: end it.
    for (Database::Impl* db : std::as_const(serverConnections()))
        while (db->transactions == 0 && !db->writeLevels.isEmpty())
            serverAbortWrite(*db);
}

// ---------------------------------------------------------------------------------------
// Statements of the program

const ServerTables* serverTablesOf(Database::Impl& db) {
    return loadedTables(db);
}

void executeOnServer(Database::Impl& db, const QString& sql) {
    QString refused;
    Tokens tokens;
    if (!translateServerTokens(sql, *db.catalog, &tokens, &refused)) {
        raiseError(ErrSqlSyntax, refused);
        return;
    }
    if (tokens.isEmpty()) {
        raiseError(ErrSqlSyntax, QStringLiteral("Invalid SQL statement: '%1'.").arg(sql));
        return;
    }
    if (tokens.first().isWord("select")) {
        raiseError(ErrEngine, QStringLiteral("Cannot execute a select query: '%1'.").arg(sql));
        return;
    }
    // Inside a Transaction the statement is a savepoint of its own, so that a failure (a
    // row locked) undoes it alone and the save loop can try it again, as on a file.
    DbError error;
    if (!serverBeginWrite(db, &error)) {
        raiseError(error);
        return;
    }
    PgResult result;
    if (!serverRun(db, emitServerSql(tokens), {}, &result, &error) ||
        !serverCommitWrite(db, &error)) {
        serverAbortWrite(db);
        raiseError(error);
        return;
    }
    ++db.writes;
    db.rowsAffected = result.affected();
    const Token& first = tokens.first();
    if (first.isWord("create") || first.isWord("alter") || first.isWord("drop"))
        db.serverTables.reset();
}

bool serverReadKeys(Database::Impl& db, const QString& sql, int stride, int limit,
                    std::vector<qint64>* keys, const QString& context) {
    Q_UNUSED(context)
    PgResult result;
    DbError error;
    if (!serverRun(db, sql, limit > 0 ? QList<QVariant>{limit} : QList<QVariant>{}, &result,
                   &error)) {
        raiseError(error);
        return false;
    }
    const int rows = result.rows();
    keys->reserve(keys->size() + size_t(rows) * size_t(stride));
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < stride; ++i)
            keys->push_back(keyAt(result, r, i));
    return true;
}

bool serverCount(Database::Impl& db, const QString& sql, qint64* count) {
    PgResult result;
    DbError error;
    if (!serverRun(db, sql, {}, &result, &error)) {
        raiseError(error);
        return false;
    }
    *count = result.rows() > 0 ? result.text(0, 0).toLongLong() : 0;
    return true;
}

std::optional<QString> serverIndexDefinition(Database::Impl& db, const QString& name) {
    // pg_get_indexdef names the table with its schema; the program's statements do not.
    DbError error;
    PgResult result;
    if (!serverRun(db,
                   QStringLiteral("SELECT replace(pg_get_indexdef(i.oid), ' ON ' || "
                                  "quote_ident(n.nspname) || '.', ' ON ') FROM pg_class i JOIN "
                                  "pg_namespace n ON n.oid = i.relnamespace WHERE i.relkind = 'i' "
                                  "AND i.relname = $1 AND n.nspname = current_schema()"),
                   {name}, &result, &error)) {
        raiseError(error);
        return std::nullopt;
    }
    return result.rows() > 0 ? result.text(0, 0) : QString();
}

void checkServerQuery(Database::Impl& db, const QString& sqlOrTable) {
    const ServerTables* tables = loadedTables(db);
    if (!tables)
        return;
    Tokens tokens;
    SelectParts parts;
    if (!translateQuery(db, *tables, sqlOrTable, RecordsetType::Snapshot, &tokens, &parts))
        return;
    // Planned but no row read: the server names a missing table or column.
    readGuarded(db, [&] {
        DbError error;
        PgResult result;
        if (serverRun(db,
                      QStringLiteral("SELECT * FROM (%1) AS q LIMIT 0").arg(emitServerSql(tokens)),
                      {}, &result, &error))
            return true;
        raiseError(error);
        return false;
    });
}

// ---------------------------------------------------------------------------------------
// Recordsets

std::unique_ptr<Recordset::Impl> openServerRecordset(const std::shared_ptr<Database::Impl>& db,
                                                     const QString& sqlOrTable,
                                                     RecordsetType type) {
    const ServerTables* tables = loadedTables(*db);
    if (!tables)
        return nullptr;
    Tokens tokens;
    SelectParts parts;
    if (!translateQuery(*db, *tables, sqlOrTable, type, &tokens, &parts))
        return nullptr;
    // The tables last as long as the recordset, even if the database reads them again.
    const std::shared_ptr<ServerTables> keep = db->serverTables;

    auto rs = std::make_unique<Recordset::Impl>();
    rs->db = db;
    rs->type = type;
    rs->tables = parts.tables;
    rs->aliases = parts.aliases;
    rs->selectSql = sqlOrTable;
    rs->server = std::make_shared<ServerCursor>();
    rs->server->tables = keep;
    db->recordsets.insert(rs.get());
    if (parts.keyable && type != RecordsetType::Snapshot) {
        if (!readGuarded(*db, [&] { return openKeyset(rs.get(), *keep, parts); }))
            return nullptr;
    } else {
        rs->server->copySql = copyQuery(*keep, tokens, parts);
        if (!openCopy(rs.get(), *keep))
            return nullptr;
    }
    if (rs->count() > 0) {
        rs->pos = 0;
        rs->bof = rs->eof = false;
    }
    return rs;
}

namespace {

// The rows [first, end) a statement reads for a move to `index` in `direction`, at the
// recordset's present run length: not into the rows whose keys are not read yet.
std::pair<int, int> runRows(const Recordset::Impl& rs, int index, int direction) {
    const int n = rs.count();
    int first = direction < 0 ? qMax(0, index - rs.runLength + 1) : index;
    int end = direction < 0 ? index + 1 : qMin(n, index + rs.runLength);
    if (!rs.complete) {
        if (index < rs.gapBegin)
            end = qMin(end, rs.gapBegin);
        else
            first = qMax(first, rs.gapEnd);
    }
    return {first, end};
}

// The base keys of the rows [first, end) as the batch statement's value, each once (a join
// may repeat one) and in order.
QString runKeys(const Recordset::Impl& rs, int first, int end) {
    std::vector<qint64> asked;
    asked.reserve(size_t(qMax(0, end - first)));
    for (int at = first; at < end; ++at)
        asked.push_back(rs.keys[size_t(at) * size_t(rs.stride)]);
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    return keyArray(asked);
}

} // namespace

// Reads the rows of a keyset around `index` with one statement, as the file's readBatch()
// does: a walk that goes on reads twice as many rows as the last statement, up to
// ServerReadAheadRows.
bool readServerBatch(Recordset::Impl& rs, int index, int direction) {
    ServerCursor& cursor = *rs.server;
    auto& batch = rs.batch;
    const bool goesOn = !batch.isEmpty() && (direction < 0 ? index == rs.batchFirst - 1
                                                           : index == rs.batchFirst + batch.size());
    rs.runLength = goesOn ? qMin(ServerReadAheadRows, 2 * rs.runLength) : FirstRunRows;
    batch.clear();
    const int n = rs.count();
    const auto [first, end] = runRows(rs, index, direction);
    // Only the fields asked for are converted; a row holds them at their slots, then the
    // row versions of its tables.
    rs.wanted.resize(size_t(rs.fields.size()), 0);
    rs.batchSlot.assign(size_t(rs.fields.size()), -1);
    QList<int> slotFields;
    for (int i = 0; i < rs.fields.size(); ++i)
        if (rs.wanted[size_t(i)]) {
            rs.batchSlot[size_t(i)] = int(slotFields.size());
            slotFields.append(i);
        }
    // The wanted fields alone where each is a table's column; else the whole select list.
    bool narrow = true;
    for (int i : std::as_const(slotFields))
        narrow = narrow && !cursor.fieldColumns.at(i).isEmpty();
    if (narrow && (cursor.narrowSql.isEmpty() || cursor.narrowFields != slotFields)) {
        QStringList columns;
        for (int i : std::as_const(slotFields))
            columns << cursor.fieldColumns.at(i);
        cursor.narrowSql = cursor.keysAndVersions +
                           (columns.isEmpty() ? QString() : u", "_s + columns.join(u", ")) +
                           cursor.batchFrom;
        cursor.narrowFields = slotFields;
    }
    const QString& sql = narrow ? cursor.narrowSql : cursor.batchSql;
    const QList<QVariant> asked{runKeys(rs, first, end)};
    PgResult result;
    DbError error;
    const bool taken = rs.db->server->takeAhead(sql, asked, &result, &error);
    if (!(taken ? result.isValid() : serverRun(*rs.db, sql, asked, &result, &error))) {
        raiseError(error);
        return false;
    }
    // A walk that goes on at full length most likely wants the next run too: it is asked for
    // now, and the server reads it while the program goes through this one. It is taken
    // only if the walk asks for exactly those rows with the same statement, and thrown away
    // by any other statement first.
    const int next = direction < 0 ? first - 1 : end;
    if (rs.runLength == ServerReadAheadRows && next >= 0 && next < n) {
        const auto [nextFirst, nextEnd] = runRows(rs, next, direction);
        if (nextFirst < nextEnd)
            rs.db->server->sendAhead(sql, {runKeys(rs, nextFirst, nextEnd)});
    }
    const int versionsAt = narrow ? rs.stride : result.columns() - rs.stride;
    auto fieldAt = [&](int slot, int field) {
        return narrow ? 2 * rs.stride + slot : rs.stride + field;
    };
    // The rows found by their base key, sorted by it (a join may give one base key several
    // rows); for a join each row's key tuple tells them apart.
    std::vector<std::pair<qint64, int>> byBase;
    byBase.reserve(size_t(result.rows()));
    for (int r = 0; r < result.rows(); ++r)
        byBase.emplace_back(keyAt(result, r, 0), r);
    std::sort(byBase.begin(), byBase.end());
    rs.batchWrites = rs.db->writes;
    rs.batchFirst = first;
    batch.reserve(end - first);
    for (int at = first; at < end; ++at) {
        const qint64* key = rs.keys.data() + qsizetype(at) * rs.stride;
        const auto candidates =
            std::equal_range(byBase.cbegin(), byBase.cend(), std::pair<qint64, int>(key[0], 0),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        // A row added here, or one whose joined row changed since, is found by its base key
        // alone; no row of the base key: deleted meanwhile.
        int found = candidates.first == candidates.second ? -1 : candidates.first->second;
        if (rs.stride > 1 && key[1] != AddedRowKey)
            for (auto c = candidates.first; c != candidates.second; ++c) {
                const int r = c->second;
                bool same = true;
                for (int i = 0; i < rs.stride && same; ++i)
                    same = keyAt(result, r, i) == key[i];
                if (same) {
                    found = r;
                    break;
                }
            }
        if (found < 0) {
            batch.append(QVariantList());
            continue;
        }
        QVariantList row;
        row.reserve(slotFields.size() + 1 + rs.stride);
        // Laid out as the file's rows are: a marker, the versions of its tables' rows, then
        // the wanted fields.
        row.append(true); // never empty: an empty row is a missing one
        for (int i = 0; i < rs.stride; ++i)
            row.append(serverValue(result, found, versionsAt + i, ValueKind::Integer));
        for (int slot = 0; slot < slotFields.size(); ++slot) {
            const int i = slotFields.at(slot);
            row.append(serverValue(result, found, fieldAt(slot, i), rs.fields.at(i).kind));
        }
        batch.append(row);
    }
    return true;
}

bool readServerCopied(Recordset::Impl& rs, int field, QVariant* out) {
    const ServerCursor& cursor = *rs.server;
    const auto after =
        std::upper_bound(cursor.chunkStarts.cbegin(), cursor.chunkStarts.cend(), rs.pos);
    const size_t chunk = size_t(after - cursor.chunkStarts.cbegin()) - 1;
    *out = serverValue(cursor.chunks[chunk], rs.pos - cursor.chunkStarts[chunk], field,
                       rs.fields.at(field).kind);
    return true;
}

namespace {

// A find on a static copy searches its rows as they were copied, not as they are now: the
// columns the criteria name go back to the server as arrays of the texts it sent, read again
// as their types, each row numbered by its place in the copy.
QString copyFindSql(const Recordset::Impl& rs, const Tokens& condition, QList<QVariant>* params) {
    const ServerCursor& cursor = *rs.server;
    const QString where = emitServerSql(condition);
    QList<int> named;
    static const QRegularExpression copyColumn(QStringLiteral("^c(\\d+)$"));
    for (const Token& t : condition) {
        const QRegularExpressionMatch m = copyColumn.match(t.text);
        if (t.kind == TokKind::Ident && m.hasMatch()) {
            const int field = m.captured(1).toInt();
            if (field < rs.fields.size() && !named.contains(field))
                named.append(field);
        }
    }
    if (named.isEmpty())
        return QStringLiteral("SELECT n FROM generate_series(1, %1) AS n WHERE (%2)")
            .arg(cursor.copiedRows)
            .arg(where);
    QStringList arrays;
    QStringList raw;
    QStringList typed;
    for (const int field : std::as_const(named)) {
        QString array = QStringLiteral("{");
        for (size_t chunk = 0; chunk < cursor.chunks.size(); ++chunk) {
            const PgResult& rows = cursor.chunks[chunk];
            for (int r = 0; r < rows.rows(); ++r) {
                if (array.size() > 1)
                    array += QLatin1Char(',');
                if (rows.isNull(r, field)) {
                    array += QLatin1String("NULL");
                    continue;
                }
                QString text = rows.text(r, field);
                text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                    .replace(QLatin1Char('"'), QLatin1String("\\\""));
                array += QLatin1Char('"') + text + QLatin1Char('"');
            }
        }
        array += QLatin1Char('}');
        params->append(array);
        arrays << QStringLiteral("$%1::text[]").arg(params->size());
        raw << QStringLiteral("u%1").arg(field);
        // Texts compare in the program's order, whatever the expression that made them.
        if (rs.fields.at(field).kind == ValueKind::Text)
            typed << QStringLiteral("CAST(u%1 AS text) COLLATE %2 AS c%1")
                         .arg(field)
                         .arg(QLatin1String(TextCollation));
        else
            typed << QStringLiteral("CAST(u%1 AS %2) AS c%1")
                         .arg(field)
                         .arg(cursor.tables->typeNames.value(
                             PQftype(cursor.chunks.front().raw(), field), QStringLiteral("text")));
    }
    return QStringLiteral("SELECT n FROM (SELECT n, %1 FROM unnest(%2) WITH ORDINALITY AS u (%3, "
                          "n)) AS q WHERE (%4)")
        .arg(typed.join(QLatin1String(", ")), arrays.join(QLatin1String(", ")),
             raw.join(QLatin1String(", ")), where);
}

} // namespace

bool serverFindMatches(Recordset::Impl& rs, const QString& criteria,
                       std::vector<qint64>* baseMatches, std::set<std::vector<qint64>>* matches,
                       std::vector<char>* rowMatches) {
    Database::Impl& db = *rs.db;
    QString refused;
    Tokens tokens;
    if (!translateServerTokens(criteria, *db.catalog, &tokens, &refused, rs.tables)) {
        raiseError(ErrSqlSyntax, refused);
        return false;
    }
    // A keyset's criteria are evaluated on its tables, where an alias stands for its
    // expression; a static copy's on its columns, which aliases name.
    const Tokens conditionTokens =
        rs.findConditionTokens(rs.keyed ? substituteAliases(tokens, rs.aliases) : tokens);
    const ServerCursor& cursor = *rs.server;
    QString sql;
    QList<QVariant> params;
    if (rs.keyed) {
        sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3)")
                  .arg(cursor.keyColumns.join(QLatin1String(", ")), rs.fromSql,
                       emitServerSql(conditionTokens));
    } else {
        sql = copyFindSql(rs, conditionTokens, &params);
    }
    PgResult result;
    const bool found = readGuarded(db, [&] {
        DbError error;
        if (serverRun(db, sql, params, &result, &error))
            return true;
        error.details += QStringLiteral("\nCriteria: ") + criteria;
        raiseError(error);
        return false;
    });
    if (!found)
        return false;
    const int n = rs.count();
    if (!rs.keyed) {
        rowMatches->assign(size_t(n), 0);
        for (int r = 0; r < result.rows(); ++r) {
            const qint64 at = keyAt(result, r, 0) - 1;
            if (at >= 0 && at < n)
                (*rowMatches)[size_t(at)] = 1;
        }
        return true;
    }
    for (int r = 0; r < result.rows(); ++r) {
        baseMatches->push_back(keyAt(result, r, 0));
        if (rs.stride > 1) {
            std::vector<qint64> key(size_t(rs.stride));
            for (int i = 0; i < rs.stride; ++i)
                key[size_t(i)] = keyAt(result, r, i);
            matches->insert(key);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Writes

bool serverNoteVersions(Recordset::Impl& rs) {
    rs.server->editVersions.clear();
    if (!rs.loadCurrent())
        return false;
    // The versions the row was read (and shown) with, as a file's write checks them: a row
    // fetched again since (its batch read anew) carries another planner's newer ones.
    for (int i = 0; i < rs.stride; ++i)
        rs.server->editVersions.append(rs.versionsPinned ? rs.readVersions.value(i)
                                                         : rs.current.value(1 + i));
    return true;
}

QVariant serverAddedValue(Recordset::Impl& rs, const FieldInfo& f) {
    Database::Impl& db = *rs.db;
    const ServerTable* table = rs.server->tables->table(rs.baseTable);
    DbError error;
    PgResult result;
    if (isKeyField(rs, f)) {
        // The key comes from the table's identity sequence now, so that it can be read
        // before update() and is never given out again, even if the row is never saved. A
        // key without a sequence is the next after the highest.
        if (!rs.keyReserved) {
            // A sequence behind the table's keys (rows another program wrote with keys of
            // their own) is brought past them first.
            const QString sql =
                QStringLiteral("SELECT CASE WHEN s IS NULL THEN m ELSE setval(s::regclass, "
                               "greatest(nextval(s::regclass), m)) END "
                               "FROM pg_get_serial_sequence($1, $2) AS s, "
                               "(SELECT coalesce(max(%2), 0) + 1 AS m FROM %1) AS highest")
                    .arg(quoteIdent(rs.baseTable), quoteIdent(rs.keyColumn));
            if (!serverRun(db, sql, {quoteIdent(rs.baseTable), rs.keyColumn}, &result, &error)) {
                raiseError(error);
                return QVariant();
            }
            rs.reservedKey = keyAt(result, 0, 0);
            rs.keyReserved = true;
        }
        if (rs.reservedKey <= std::numeric_limits<int>::max())
            return int(rs.reservedKey);
        return qlonglong(rs.reservedKey);
    }
    const QString column = f.origin.toLower();
    if (f.tableIndex != 0 || f.origin.isEmpty() || !table || !table->defaults.contains(column))
        return f.kind == ValueKind::Bool && f.tableIndex == 0 ? QVariant(false) : QVariant();
    const auto known = table->defaultValues.constFind(column);
    if (known != table->defaultValues.constEnd())
        return known.value();
    if (!serverRun(db, QStringLiteral("SELECT ") + table->defaults.value(column), {}, &result,
                   &error)) {
        raiseError(error);
        return QVariant();
    }
    const QVariant value = serverValue(result, 0, 0, f.kind);
    table->defaultValues.insert(column, value);
    return value;
}

void serverUpdate(Recordset::Impl& rs) {
    Database::Impl& db = *rs.db;
    DbError error;
    if (!serverBeginWrite(db, &error))
        return raiseError(error);
    auto fail = [&](const DbError& e) {
        serverAbortWrite(db);
        raiseError(e);
    };
    PgResult result;
    qint64 newKey = 0;
    if (rs.mode == Recordset::Impl::Mode::Add) {
        QStringList columns;
        QStringList params;
        QList<QVariant> values;
        bool keySet = false;
        for (auto it = rs.buffer.constBegin(); it != rs.buffer.constEnd(); ++it) {
            const FieldInfo& f = rs.fields.at(it.key());
            if (columns.contains(quoteIdent(f.origin)))
                continue;
            columns << quoteIdent(f.origin);
            values << it.value();
            params << QStringLiteral("$%1").arg(values.size());
            keySet = keySet || isKeyField(rs, f);
        }
        if (rs.keyReserved && !keySet && !rs.keyColumn.isEmpty()) {
            columns << quoteIdent(rs.keyColumn);
            values << QVariant(qlonglong(rs.reservedKey));
            params << QStringLiteral("$%1").arg(values.size());
        }
        const QString sql = columns.isEmpty()
                                ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2")
                                      .arg(quoteIdent(rs.baseTable), quoteIdent(rs.keyColumn))
                                : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
                                      .arg(quoteIdent(rs.baseTable), columns.join(u", "),
                                           params.join(u", "), quoteIdent(rs.keyColumn));
        if (!serverRun(db, sql, values, &result, &error))
            return fail(error);
        newKey = keyAt(result, 0, 0);
    } else {
        // Each table's row is written by its key, and only if it is still the version read.
        QHash<int, QPair<QStringList, QList<QVariant>>> perTable;
        for (auto it = rs.buffer.constBegin(); it != rs.buffer.constEnd(); ++it) {
            const FieldInfo& f = rs.fields.at(it.key());
            auto& entry = perTable[f.tableIndex];
            entry.second << it.value();
            entry.first << quoteIdent(f.origin) + QStringLiteral(" = $%1").arg(entry.second.size());
        }
        const qint64* key = rs.keys.data() + qsizetype(rs.pos) * rs.stride;
        for (auto it = perTable.constBegin(); it != perTable.constEnd(); ++it) {
            const int ti = it.key();
            const qint64 rowKey = key[ti];
            if (ti > 0 && (rowKey == AddedRowKey || rowKey == 0)) {
                serverAbortWrite(db);
                return raiseReadOnly();
            }
            const ServerTable* table = rs.server->tables->table(rs.tables.at(ti).table);
            QList<QVariant> values = it.value().second;
            values << QVariant(rowKey);
            QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3 = $%4")
                              .arg(quoteIdent(table->name), it.value().first.join(u", "),
                                   quoteIdent(table->key))
                              .arg(values.size());
            std::optional<DbError> conflict;
            if (!writeReadVersion(db, *table, sql, values, rs.server->editVersions.value(ti),
                                  &conflict, &error))
                return fail(error);
            if (conflict)
                return fail(*conflict);
        }
    }
    if (!serverCommitWrite(db, &error))
        return fail(error);
    ++db.writes;
    if (rs.mode == Recordset::Impl::Mode::Add) {
        // The new row joins the end of the keyset; the cursor stays where it was.
        rs.keys.push_back(newKey);
        for (int i = 1; i < rs.stride; ++i)
            rs.keys.push_back(AddedRowKey);
    }
    rs.mode = Recordset::Impl::Mode::None;
    rs.buffer.clear();
    rs.keyReserved = false;
    rs.rowLoaded = false;
    rs.versionsPinned = false; // the write raised them: the next read keeps the new ones
    rs.server->editVersions.clear();
}

void serverTakeStoredVersion(Recordset::Impl& rs) {
    Database::Impl& db = *rs.db;
    if (rs.server->editVersions.size() < rs.stride && !serverNoteVersions(rs))
        return;
    const qint64* key = rs.keys.data() + qsizetype(rs.pos) * rs.stride;
    for (int i = 0; i < rs.stride; ++i) {
        const ServerTable* table = rs.server->tables->table(rs.tables.at(i).table);
        if (!table || !table->versioned || key[i] == AddedRowKey || key[i] == 0)
            continue;
        DbError error;
        PgResult result;
        if (!serverRun(db,
                       QStringLiteral("SELECT rowver FROM %1 WHERE %2 = $1")
                           .arg(quoteIdent(table->name), quoteIdent(table->key)),
                       {QVariant(key[i])}, &result, &error))
            return raiseError(error);
        if (result.rows() == 0)
            return raiseError(conflictFor(false, table->name, db.path));
        rs.server->editVersions[i] = serverValue(result, 0, 0, ValueKind::Integer);
        // Taken as read, as on a file: a later edit of the row checks against it.
        if (rs.versionsPinned && i < rs.readVersions.size())
            rs.readVersions[i] = rs.server->editVersions[i];
    }
}

void serverDeleteRow(Recordset::Impl& rs) {
    Database::Impl& db = *rs.db;
    // The version the row had when it was read: a row changed since is not deleted unseen.
    if (!rs.loadCurrent())
        return;
    // As pinned when it was first read (or taken over since), as a file's delete checks it.
    const QVariant version = rs.versionsPinned ? rs.readVersions.value(0) : rs.current.value(1);
    const ServerTable* table = rs.server->tables->table(rs.baseTable);
    const qint64 rowKey = rs.keys.at(size_t(rs.pos) * size_t(rs.stride));
    DbError error;
    if (!serverBeginWrite(db, &error))
        return raiseError(error);
    auto fail = [&](const DbError& e) {
        serverAbortWrite(db);
        raiseError(e);
    };
    std::optional<DbError> conflict;
    if (!writeReadVersion(db, *table,
                          QStringLiteral("DELETE FROM %1 WHERE %2 = $1")
                              .arg(quoteIdent(table->name), quoteIdent(table->key)),
                          {QVariant(rowKey)}, version, &conflict, &error))
        return fail(error);
    // A row changed since it was read stays; one deleted already is gone, as asked, and the
    // error says so.
    if (conflict && conflict->number == ErrRowChanged)
        return fail(*conflict);
    if (!serverCommitWrite(db, &error))
        return fail(error);
    ++db.writes;
    rs.mode = Recordset::Impl::Mode::None;
    rs.buffer.clear();
    rs.eraseKey(rs.pos);
    rs.deletedCurrent = true;
    rs.rowLoaded = false;
    if (conflict)
        raiseError(*conflict);
}

} // namespace tavrel::detail
