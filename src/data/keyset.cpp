// Opening a recordset: the keyset of a dynaset (the ordered keys of its tables' rows) or the
// static copy of a snapshot, and reading a keyset's rows in runs, by their keys.

#include "data/database.h"

#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgrecordset_p.h"

#include <QDateTime>

#include <algorithm>
#include <limits>
#include <set>

namespace tavrel {

using namespace detail;

// ---------------------------------------------------------------------------------------
// Recordset::Impl

Recordset::Impl::~Impl() {
    detach();
    if (db)
        db->recordsets.remove(this);
}

void Recordset::Impl::detach() {
    server.reset();
    sqlite3_finalize(lookupBatch);
    sqlite3_finalize(findStatement);
    lookupBatch = nullptr;
    findStatement = nullptr;
    findCriteria.clear();
    if (store)
        sqlite3_close_v2(store);
    store = nullptr;
    copied.clear();
    copiedRow = -1;
}

int Recordset::Impl::count() const {
    if (!keyed && server)
        return server->copiedRows;
    return keyed ? int(keys.size() / size_t(stride)) : copied.size() + (copyDamage ? 1 : 0);
}

void Recordset::Impl::eraseKey(int index) {
    if (!keyed)
        return; // a static copy loses no rows
    const auto at = keys.begin() + qsizetype(index) * stride;
    keys.erase(at, at + stride);
    if (!complete && index < gapBegin) {
        --gapBegin;
        --gapEnd;
    }
    batch.clear(); // positions after it moved
}

// Reads the rows of a keyset around `index` (the next rows in the direction of travel) into
// `batch` with one statement. A read that goes on from the last one reads twice as many rows,
// up to ReadAheadRows; one after a jump (the first row, the last, a find) reads a few, since
// it may be the only row looked at.
// One piece: choosing the rows, binding their keys and placing what comes back all work on the
// same run of positions.
bool Recordset::Impl::readBatch(int index, int direction) {
    if (db->server)
        return readServerBatch(*this, index, direction);
    const bool goesOn = !batch.isEmpty() && (direction < 0 ? index == batchFirst - 1
                                                           : index == batchFirst + batch.size());
    runLength = goesOn ? qMin(ReadAheadRows, 2 * runLength) : FirstRunRows;
    batch.clear();
    const int n = count();
    int first = direction < 0 ? qMax(0, index - runLength + 1) : index;
    int end = direction < 0 ? index + 1 : qMin(n, index + runLength);
    if (!complete) {
        // Not into the rows whose keys are not read yet.
        if (index < gapBegin)
            end = qMin(end, gapBegin);
        else
            first = qMax(first, gapEnd);
    }
    wanted.resize(size_t(fields.size()), 0);
    batchSlot.assign(size_t(fields.size()), -1);
    QList<int> slotFields;
    for (int i = 0; i < fields.size(); ++i)
        if (wanted[size_t(i)]) {
            batchSlot[size_t(i)] = int(slotFields.size());
            slotFields.append(i);
        }
    // A row: a marker, the versions of its tables' rows, then the wanted fields.
    auto readFields = [&](sqlite3_stmt* stmt, int offset) {
        QVariantList row;
        row.reserve(slotFields.size() + 1 + stride);
        row.append(true); // never empty: an empty row is a missing one
        for (int i = 0; i < stride; ++i)
            row.append(readColumn(stmt, stride + i, ValueKind::Integer));
        for (int i : std::as_const(slotFields))
            row.append(readColumn(stmt, i + offset, fields.at(i).kind));
        return row;
    };
    // The distinct base keys of the run, one parameter each (unused ones stay null).
    std::vector<qint64> asked;
    asked.reserve(ReadAheadRows);
    for (int at = first; at < end; ++at) {
        const qint64 base = keys[size_t(at) * size_t(stride)];
        if (std::find(asked.cbegin(), asked.cend(), base) == asked.cend()) {
            asked.push_back(base);
            sqlite3_bind_int64(lookupBatch, int(asked.size()), base);
        }
    }
    // The rows found, with their key tuples; rows of one base key chained by `sameBase`.
    QList<QVariantList> rows;
    std::vector<qint64> rowKeys;
    std::vector<int> sameBase;
    QHash<qint64, int> byBase;
    int rc;
    while ((rc = sqlite3_step(lookupBatch)) == SQLITE_ROW) {
        for (int i = 0; i < stride; ++i)
            rowKeys.push_back(sqlite3_column_type(lookupBatch, i) == SQLITE_NULL
                                  ? 0
                                  : sqlite3_column_int64(lookupBatch, i));
        const qint64 base = rowKeys[rowKeys.size() - size_t(stride)];
        const int row = int(rows.size());
        sameBase.push_back(-1);
        auto it = byBase.find(base);
        if (it == byBase.end()) {
            byBase.insert(base, row);
        } else {
            int last = it.value();
            while (sameBase[size_t(last)] >= 0)
                last = sameBase[size_t(last)];
            sameBase[size_t(last)] = row;
        }
        rows.append(readFields(lookupBatch, 2 * stride));
    }
    sqlite3_reset(lookupBatch);
    sqlite3_clear_bindings(lookupBatch);
    if (rc != SQLITE_DONE) {
        db->raise(rc, false, selectSql);
        return false;
    }
    batchWrites = db->writes;
    batchFirst = first;
    batch.reserve(end - first);
    for (int at = first; at < end; ++at) {
        const qint64* key = keys.data() + qsizetype(at) * stride;
        const int candidate = byBase.value(key[0], -1);
        int found = candidate;
        if (stride > 1 && key[1] != AddedRowKey)
            for (int r = candidate; r >= 0; r = sameBase[size_t(r)])
                if (std::equal(key, key + stride, rowKeys.data() + qsizetype(r) * stride)) {
                    found = r;
                    break;
                }
        // A row added here, or one whose joined row changed since, is found by its base
        // key alone; no row of the base key: deleted meanwhile.
        batch.append(found < 0 ? QVariantList() : rows.at(found));
    }
    return true;
}

// Reads the row at `index`; *missing when another program deleted it.
bool Recordset::Impl::fetch(int index, QVariantList* out, bool* missing, int direction) {
    *missing = false;
    if (!keyed)
        return checkCopied(index); // read field by field (currentValue)
    if (batchWrites != db->writes)
        batch.clear(); // rows read before one of our writes may be stale
    if (index < batchFirst || index >= batchFirst + batch.size()) {
        if (!readBatch(index, direction))
            return false;
        if (index < batchFirst || index >= batchFirst + batch.size()) {
            *missing = true; // the copy is shorter than it said (cannot happen)
            return true;
        }
    }
    const QVariantList& row = batch.at(index - batchFirst);
    if (row.isEmpty()) {
        *missing = true;
        return true;
    }
    *out = row;
    return true;
}

bool Recordset::Impl::loadCurrent() {
    if (rowLoaded)
        return true;
    bool missing = false;
    if (!fetch(pos, &current, &missing))
        return false;
    if (missing) {
        // A row read before (its versions kept) that another user deleted since: the same
        // conflict an update of it would meet.
        if (versionsPinned)
            raiseError(ErrRowDeleted,
                       QStringLiteral("Another user deleted this record after it was read."));
        else
            raiseError(ErrNoCurrentRecord, QStringLiteral("Record is deleted."));
        return false;
    }
    rowLoaded = true;
    pinVersions();
    return true;
}

void Recordset::Impl::pinVersions() {
    if (!keyed || versionsPinned)
        return;
    readVersions = current.mid(1, stride);
    versionsPinned = true;
}

bool Recordset::Impl::currentVersions() {
    if (versionsPinned)
        return true;
    rowLoaded = false;
    return loadCurrent();
}

bool Recordset::Impl::currentValue(int index, QVariant* out) {
    if (!loadCurrent())
        return false;
    if (!keyed)
        return readCopied(index, out);
    if (size_t(index) >= batchSlot.size() || batchSlot[size_t(index)] < 0) {
        // First time this field is asked for: read the rows again, with it.
        wanted.resize(size_t(fields.size()), 0);
        wanted[size_t(index)] = 1;
        batch.clear();
        rowLoaded = false;
        if (!loadCurrent())
            return false;
    }
    *out = current.value(batchSlot[size_t(index)] + 1 + stride);
    return true;
}

int Recordset::Impl::fieldIndex(const QString& name) const {
    // Walks ask for the same few names on every row.
    const auto it = fieldIndexes.constFind(name);
    if (it != fieldIndexes.constEnd())
        return it.value();
    const int index = resolveField(name);
    fieldIndexes.insert(name, index);
    return index;
}

int Recordset::Impl::resolveField(const QString& rawName) const {
    QString name = rawName.trimmed();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        QString qualifier = name.left(dot);
        QString column = name.mid(dot + 1);
        auto unbracket = [](QString& s) {
            if (s.startsWith(QLatin1Char('[')) && s.endsWith(QLatin1Char(']')))
                s = s.mid(1, s.size() - 2);
        };
        unbracket(qualifier);
        unbracket(column);
        for (int i = 0; i < fields.size(); ++i) {
            const FieldInfo& f = fields.at(i);
            if (f.tableIndex < 0 || f.origin.compare(column, Qt::CaseInsensitive) != 0)
                continue;
            const TableRef& t = tables.at(f.tableIndex);
            if (t.table.compare(qualifier, Qt::CaseInsensitive) == 0 ||
                (!t.alias.isEmpty() && t.alias.compare(qualifier, Qt::CaseInsensitive) == 0))
                return i;
        }
    }
    // Unqualified (or a result column literally so named): where a join repeats a name,
    // the base table's column wins.
    int found = -1;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (fields.at(i).tableIndex == 0)
            return i;
        if (found < 0)
            found = i;
    }
    return found;
}

// ---------------------------------------------------------------------------------------
// Opening

namespace {

// Keys read at open where a keyset is read in parts.
constexpr int FirstKeys = 4 * ReadAheadRows;

bool tableExists(sqlite3* db, const QString& name, QString* declared) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
        &stmt, nullptr);
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    const bool found = sqlite3_step(stmt) == SQLITE_ROW;
    if (found && declared)
        *declared = text(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return found;
}

QString tableNotFound(const QString& name) {
    return QStringLiteral(
               "The database engine cannot find the input table or query '%1'. Make sure "
               "it exists and that its name is spelled correctly.")
        .arg(name);
}

// Columns of the base table: their kinds, the rowid alias and whether keys are never reused.
template <class R> void readBaseTable(sqlite3* db, R* rs) {
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(rs->baseTable));
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    int pkColumns = 0;
    QString pkName;
    QString pkType;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        const QString name = text(sqlite3_column_text(stmt, 1));
        const QString type = text(sqlite3_column_text(stmt, 2));
        rs->baseKinds.insert(name.toLower(), valueKindFor(type.toUtf8().constData()));
        rs->baseColumnNames.insert(name.toLower(), name);
        if (sqlite3_column_int(stmt, 5) > 0) {
            ++pkColumns;
            pkName = name;
            pkType = type;
        }
    }
    sqlite3_finalize(stmt);
    if (pkColumns == 1 && pkType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
        rs->keyColumn = pkName;
    stmt = nullptr;
    sqlite3_prepare_v2(
        db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
        &stmt, nullptr);
    const QByteArray utf8 = rs->baseTable.toUtf8();
    sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) == SQLITE_ROW)
        rs->autoIncrement = text(sqlite3_column_text(stmt, 0))
                                .contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    sqlite3_finalize(stmt);
}

// Field descriptions of a prepared statement's result.
template <class R> void readFields(sqlite3_stmt* stmt, R* rs) {
    rs->fields.clear();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        FieldInfo f;
        f.name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        if (const char* t = sqlite3_column_table_name(stmt, i))
            f.table = QString::fromUtf8(t);
        if (const char* o = sqlite3_column_origin_name(stmt, i))
            f.origin = QString::fromUtf8(o);
        f.kind = valueKindFor(sqlite3_column_decltype(stmt, i));
        if (!f.table.isEmpty())
            for (int k = 0; k < rs->tables.size(); ++k)
                if (rs->tables.at(k).table.compare(f.table, Qt::CaseInsensitive) == 0) {
                    f.tableIndex = k;
                    break;
                }
        rs->fields.append(f);
    }
}

// Lower-case names of a table's columns.
QSet<QString> columnNames(sqlite3* db, const QString& table) {
    QSet<QString> names;
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(table));
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        names.insert(text(sqlite3_column_text(stmt, 1)).toLower());
    sqlite3_finalize(stmt);
    return names;
}

// Puts key tuples of `stride` keys in order, the first key first (a missing row of a joined
// table, key 0, before the others, as SQL puts nulls).
void sortKeys(std::vector<qint64>* keys, int stride) {
    if (stride == 1) {
        std::sort(keys->begin(), keys->end());
        return;
    }
    const size_t rows = keys->size() / size_t(stride);
    std::vector<size_t> order(rows);
    for (size_t i = 0; i < rows; ++i)
        order[i] = i;
    const qint64* k = keys->data();
    std::sort(order.begin(), order.end(), [k, stride](size_t a, size_t b) {
        return std::lexicographical_compare(k + a * size_t(stride), k + (a + 1) * size_t(stride),
                                            k + b * size_t(stride), k + (b + 1) * size_t(stride));
    });
    std::vector<qint64> sorted;
    sorted.reserve(keys->size());
    for (size_t row : order)
        sorted.insert(sorted.end(), k + row * size_t(stride), k + (row + 1) * size_t(stride));
    keys->swap(sorted);
}

// Whether SQLite would sort the rows of a query rather than read them in order from an
// index (or cannot prepare it).
bool sortsRows(sqlite3* db, const QString& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).toUtf8().constData(), -1, &stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return true;
    }
    bool sorts = false;
    constexpr int DetailColumn = 3;
    while (!sorts && sqlite3_step(stmt) == SQLITE_ROW)
        sorts = text(sqlite3_column_text(stmt, DetailColumn))
                    .contains(QLatin1String("USE TEMP B-TREE FOR"));
    sqlite3_finalize(stmt);
    return sorts;
}

} // namespace

QString detail::keyList(const QList<TableRef>& tables) {
    QStringList keys;
    for (const TableRef& t : tables)
        keys << quoteIdent(t.refName()) + QStringLiteral(".rowid");
    return keys.join(QLatin1String(", "));
}

namespace {

// The statement a recordset on `sqlOrTable` runs, in SQLite's dialect with Jet's comparisons,
// and its parts; raises the error and returns false when the text is no query of the file.
bool translateQuery(sqlite3* db, const QString& sqlOrTable, RecordsetType type, Tokens* tokens,
                    SelectParts* parts) {
    QString error;
    {
        Tokens jet;
        if (!tokenize(sqlOrTable, true, &jet, &error)) {
            raiseError(ErrSqlSyntax, error);
            return false;
        }
        while (!jet.isEmpty() && jet.last().isOp(";"))
            jet.removeLast();
        if (jet.size() == 1 && jet.first().isName()) {
            // A table name: the table's rows in their stored order.
            QString declared;
            if (!tableExists(db, jet.first().text, &declared)) {
                raiseError(ErrTableNotFound, tableNotFound(jet.first().text));
                return false;
            }
            tokenize(QStringLiteral("SELECT * FROM ") + quoteIdent(declared), false, tokens,
                     &error);
        } else if (type == RecordsetType::Table) {
            raiseError(ErrTableNotFound, tableNotFound(sqlOrTable));
            return false;
        } else if (!translateTokens(sqlOrTable, tokens, &error)) {
            raiseError(ErrSqlSyntax, error);
            return false;
        }
    }
    *tokens = jetComparisons(db, *tokens);
    *parts = parseSelect(*tokens);
    if (!parts->isSelect) {
        raiseError(
            ErrSqlSyntax,
            QStringLiteral("Invalid SQL statement; expected 'SELECT': '%1'.").arg(sqlOrTable));
        return false;
    }
    // Keys exist only for real tables (a view or a missing table is read as rows; SQLite
    // names a missing one when the statement is prepared).
    for (const TableRef& t : parts->tables)
        if (!tableExists(db, t.table, nullptr))
            parts->keyable = false;
    return true;
}

// The direction in which rows equal in the order follow each other, by their key: that of
// the last order term, so that a descending order is the ascending one reversed (and an
// index read backwards serves it).
const char* tieDirection(const Tokens& orderBy) {
    return !orderBy.isEmpty() && orderBy.last().isWord("desc") ? "DESC" : "ASC";
}

} // namespace

void Database::checkQuery(const QString& sqlOrTable) {
    if (!isOpen())
        return raiseNotSet();
    if (d->server)
        return checkServerQuery(*d, sqlOrTable);
    Tokens tokens;
    SelectParts parts;
    if (!translateQuery(d->db, sqlOrTable, RecordsetType::Snapshot, &tokens, &parts))
        return;
    sqlite3_stmt* stmt = nullptr;
    if (d->prepare(emitSql(tokens), &stmt, false, sqlOrTable))
        sqlite3_finalize(stmt);
}

std::optional<QString> Database::indexDefinition(const QString& name) {
    if (!isOpen()) {
        raiseNotSet();
        return std::nullopt;
    }
    if (d->server)
        return serverIndexDefinition(*d, name);
    const QString sql =
        QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?1");
    sqlite3_stmt* stmt = nullptr;
    if (!d->prepare(sql, &stmt, false, sql))
        return std::nullopt;
    const QByteArray utf8 = name.toUtf8();
    sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    const QString definition = rc == SQLITE_ROW ? text(sqlite3_column_text(stmt, 0)) : QString();
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        d->raise(rc, false, sql);
        return std::nullopt;
    }
    return definition;
}

namespace {

// The query as the recordset runs it: ordered as the program orders texts, with the key
// breaking ties; without an order of its own, in key order.
QString orderedQuery(sqlite3* db, const Tokens& tokens, const SelectParts& parts) {
    if (parts.orderAt > 0) {
        // Texts in the program's order, as the reports and lists expect. Rows of a table
        // whose texts are equal in it (they differ only in case) follow in key order, as a
        // keyset gives them.
        Tokens ordered = tokens.mid(0, parts.orderAt + 2);
        const TextOrder order = textOrderTerms(db, emitSql(parts.from), parts.orderBy);
        ordered.append(order.exact);
        if (parts.keyable && !order.texts.isEmpty()) {
            const Token direction{TokKind::Ident, QLatin1String(tieDirection(parts.orderBy))};
            ordered << Token{TokKind::Op, QStringLiteral(",")};
            for (const Token& t : keyOrderTerms(db, parts.tables)) {
                if (t.isOp(","))
                    ordered << direction;
                ordered << t;
            }
            ordered << direction;
        }
        ordered.append(tokens.mid(parts.orderEnd));
        return emitSql(ordered);
    }
    if (parts.keyable) {
        // Without an order of its own a query gives its rows in key order.
        Tokens ordered = tokens.mid(0, tokens.size() - parts.tail.size());
        ordered << Token{TokKind::Ident, QStringLiteral("ORDER")}
                << Token{TokKind::Ident, QStringLiteral("BY")};
        ordered.append(keyOrderTerms(db, parts.tables));
        ordered.append(parts.tail);
        return emitSql(ordered);
    }
    return emitSql(tokens);
}

// The keyset statement of a query in the order of `order`; with `texts`, those terms are
// read too.
QString keysetSql(const SelectParts& parts, const QString& fromSql, const Tokens& order,
                  const QList<Tokens>& texts) {
    QString columns = keyList(parts.tables);
    for (const Tokens& text : texts)
        columns += QStringLiteral(", ") + emitSql(text);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns, fromSql);
    if (!parts.where.isEmpty())
        sql += QStringLiteral(" WHERE ") + emitSql(parts.where);
    if (!order.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + emitSql(order);
    if (!parts.tail.isEmpty())
        sql += QLatin1Char(' ') + emitSql(parts.tail);
    return sql;
}

// `terms`, then the base table's key in `direction`.
Tokens thenKey(const SelectParts& parts, Tokens terms, const char* direction) {
    terms << Token{TokKind::Op, QStringLiteral(",")}
          << Token{TokKind::QuotedIdent, parts.tables.first().refName()}
          << Token{TokKind::Op, QStringLiteral(".")}
          << Token{TokKind::Ident, QStringLiteral("rowid")}
          << Token{TokKind::Ident, QLatin1String(direction)};
    return terms;
}

} // namespace

std::unique_ptr<Recordset::Impl> Recordset::Impl::open(const std::shared_ptr<Database::Impl>& d,
                                                       const QString& sqlOrTable,
                                                       RecordsetType type) {
    if (d->server)
        return openServerRecordset(d, sqlOrTable, type);
    Tokens tokens;
    SelectParts parts;
    if (!translateQuery(d->db, sqlOrTable, type, &tokens, &parts))
        return nullptr;

    auto rs = std::make_unique<Recordset::Impl>();
    rs->db = d;
    rs->type = type;
    rs->tables = parts.tables;
    rs->aliases = parts.aliases;
    rs->selectSql = sqlOrTable;
    rs->materialisedSql = orderedQuery(d->db, tokens, parts);
    d->recordsets.insert(rs.get());

    if (parts.keyable && type != RecordsetType::Snapshot) {
        if (!rs->openKeyset(parts))
            return nullptr;
    } else {
        // A static copy: snapshots, and rows that are no table's rows (totals, distinct
        // values ...).
        sqlite3_stmt* stmt = nullptr;
        if (!d->prepare(rs->materialisedSql, &stmt, false, sqlOrTable))
            return nullptr;
        readFields(stmt, rs.get());
        const int rc = rs->copyRows(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            if (rc != SQLITE_OK)
                d->raise(rc, false, sqlOrTable);
            return nullptr;
        }
    }
    if (rs->count() > 0) {
        rs->pos = 0;
        rs->bof = rs->eof = false;
    }
    return rs;
}

bool Recordset::Impl::openKeyset(const SelectParts& parts) {
    Database::Impl* d = db.get();
    keyed = true;
    stride = int(parts.tables.size());
    fromSql = emitSql(parts.from);
    const QString list = emitSql(parts.selectList);
    for (const TableRef& t : parts.tables)
        tableColumns.append(columnNames(d->db, t.table));
    // Each row is read with the versions of its tables' rows, for the writes to check.
    QStringList versions;
    for (int i = 0; i < stride; ++i) {
        versioned.push_back(tableColumns.at(i).contains(QStringLiteral("rowver")));
        versions << (versioned.back()
                         ? quoteIdent(parts.tables.at(i).refName()) + QStringLiteral(".rowver")
                         : QStringLiteral("NULL"));
    }
    QStringList params;
    for (int i = 1; i <= ReadAheadRows; ++i)
        params << QStringLiteral("?%1").arg(i);
    const QString batchSql =
        QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %5.rowid IN (%6)")
            .arg(keyList(parts.tables), versions.join(QLatin1String(", ")), list, fromSql,
                 quoteIdent(parts.tables.first().refName()), params.join(QLatin1String(", ")));
    if (!d->prepare(batchSql, &lookupBatch, false, selectSql))
        return false;
    readFields(lookupBatch, this);
    fields.remove(0, 2 * stride); // the keys and the versions

    bool jetOrder = true;
    if (parts.orderBy.isEmpty()) {
        // Key order. Where every key is a rowid, the keys are read in whatever order is
        // cheapest (often a small index, never sorted) and sorted here.
        bool rowids = false;
        const Tokens keyOrder = keyOrderTerms(d->db, parts.tables, &rowids);
        if (!readKeys(*d, keysetSql(parts, fromSql, rowids ? Tokens() : keyOrder, {}), stride, 0, 0,
                      &keys, &jetOrder, selectSql))
            return false;
        if (rowids)
            sortKeys(&keys, stride);
    } else if (!readKeysInTextOrder(parts)) {
        return false;
    }
    baseTable = parts.tables.first().table;
    tableExists(d->db, baseTable, &baseTable);
    readBaseTable(d->db, this);
    updatable = true;
    return true;
}

bool Recordset::Impl::readKeysInTextOrder(const SelectParts& parts) {
    Database::Impl* d = db.get();
    auto readSome = [&](const QString& sql, int texts, bool* jetOrder, int limit = 0) {
        return Recordset::Impl::readKeys(*d, sql, stride, texts, limit, &keys, jetOrder, selectSql);
    };
    bool jetOrder = true;
    const TextOrder order =
        textOrderTerms(d->db, fromSql, substituteAliases(parts.orderBy, parts.aliases));
    // Texts in the program's order. Where an index on (column COLLATE NOCASE) gives the
    // rows in order and NocaseOrderCheck finds that order to be ours, it is taken;
    // otherwise they are sorted with our collation. (Rows that need sorting anyway are
    // sorted once, and a limit could leave out the rows that differ.)
    bool sorted = false;
    const int texts = int(order.texts.size());
    // Texts that differ only in case are equal in our order: the key breaks their ties,
    // in the index's order and in the sorted one alike, so that rows of one table come
    // in the same places however they are read. (Rows of a join keep the order the
    // join gives them where the index serves, rather than being sorted for it.)
    const char* ties = tieDirection(parts.orderBy);
    const char* reversedTies = qstrcmp(ties, "DESC") == 0 ? "ASC" : "DESC";
    const Tokens exact = texts > 0 ? thenKey(parts, order.exact, ties) : order.exact;
    const QString indexed =
        keysetSql(parts, fromSql,
                  texts > 0 && stride == 1 ? thenKey(parts, order.indexed, ties) : order.indexed,
                  order.texts);
    if (texts > 0 && parts.tail.isEmpty() && !sortsRows(d->db, indexed)) {
        // One table: its first rows now, the others when they are needed (the key
        // breaks ties, so that the rows read last first are the same rows).
        const QString inParts =
            keysetSql(parts, fromSql, thenKey(parts, order.indexed, ties), order.texts);
        const QString lastFirst =
            keysetSql(parts, fromSql, thenKey(parts, order.reversed, reversedTies), order.texts) +
            QStringLiteral(" LIMIT ?1");
        if (stride == 1 && !sortsRows(d->db, inParts) && !sortsRows(d->db, lastFirst)) {
            if (!readSome(inParts + QStringLiteral(" LIMIT ?1"), texts, &jetOrder, FirstKeys))
                return false;
            if (jetOrder && keys.size() == size_t(FirstKeys)) {
                complete = sizeKnown = false;
                gapBegin = gapEnd = FirstKeys;
                keysSql = inParts;
                lastKeysSql = lastFirst;
                exactKeysSql = keysetSql(parts, fromSql, exact, {});
                countSql = QStringLiteral("SELECT count(*) FROM ") + fromSql;
                if (!parts.where.isEmpty())
                    countSql += QStringLiteral(" WHERE ") + emitSql(parts.where);
                orderTexts = texts;
            }
        } else if (!readSome(indexed, texts, &jetOrder)) {
            return false;
        }
        sorted = jetOrder;
        if (!sorted)
            keys.clear();
    }
    return sorted || readSome(keysetSql(parts, fromSql, exact, {}), 0, &jetOrder);
}

} // namespace tavrel
