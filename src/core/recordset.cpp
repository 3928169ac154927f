#include "core/database.h"

#include "core/database_p.h"
#include "core/dberror.h"
#include "core/errortrap.h"

#include <QDateTime>

#include <limits>
#include <set>

namespace tavrel {

using namespace detail;

namespace {

// Key of a joined table in a row this recordset added: the row is found by its base key.
constexpr qint64 AddedRowKey = std::numeric_limits<qint64>::min();
// Rows read by one statement while walking a single-table keyset.
constexpr int ReadAheadRows = 64;

const QString& notSetText() {
    static const QString text = QStringLiteral("Object variable or With block variable not set.");
    return text;
}

void raiseNotSet() {
    raiseError(ErrObjectNotSet, notSetText());
}
void raiseNoCurrent() {
    raiseError(ErrNoCurrentRecord, QStringLiteral("No current record."));
}
void raiseReadOnly() {
    raiseError(ErrReadOnly, QStringLiteral("Cannot update. Database or object is read-only."));
}

QString text(const unsigned char* s) {
    return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

} // namespace

// ---------------------------------------------------------------------------------------
// Recordset::Impl

Recordset::Impl::~Impl() {
    detach();
    if (db)
        db->recordsets.remove(this);
}

void Recordset::Impl::detach() {
    sqlite3_finalize(lookup);
    sqlite3_finalize(lookupAdded);
    sqlite3_finalize(lookupBatch);
    lookup = nullptr;
    lookupAdded = nullptr;
    lookupBatch = nullptr;
}

int Recordset::Impl::count() const {
    return keyed ? int(keys.size() / size_t(stride)) : int(rows.size());
}

void Recordset::Impl::eraseKey(int index) {
    if (keyed) {
        const auto at = keys.begin() + qsizetype(index) * stride;
        keys.erase(at, at + stride);
    } else {
        rows.removeAt(index);
    }
}

// Reads the row at `index` of the keyset; *missing when another program deleted it.
bool Recordset::Impl::fetch(int index, QVariantList* out, bool* missing, int direction) {
    *missing = false;
    if (!keyed) {
        *out = rows.at(index);
        return true;
    }
    const qint64* key = keys.data() + qsizetype(index) * stride;
    if (lookupBatch) {
        if (readAheadWrites != db->writes)
            readAhead.clear();
        auto it = readAhead.constFind(key[0]);
        if (it == readAhead.constEnd()) {
            // Read the next run of rows in the direction of travel with one statement.
            readAhead.clear();
            readAheadWrites = db->writes;
            const int n = count();
            QSet<qint64> asked;
            for (int k = 0; k < ReadAheadRows; ++k) {
                const int at = index + (direction < 0 ? -k : k);
                if (at < 0 || at >= n)
                    break;
                const qint64 id = keys[size_t(at)];
                sqlite3_bind_int64(lookupBatch, k + 1, id);
                asked.insert(id);
            }
            int rc;
            while ((rc = sqlite3_step(lookupBatch)) == SQLITE_ROW) {
                QVariantList row;
                row.reserve(fields.size());
                for (int i = 0; i < fields.size(); ++i)
                    row.append(readColumn(lookupBatch, i + 1, fields.at(i).kind));
                readAhead.insert(sqlite3_column_int64(lookupBatch, 0), row);
            }
            sqlite3_reset(lookupBatch);
            sqlite3_clear_bindings(lookupBatch);
            if (rc != SQLITE_DONE) {
                readAhead.clear();
                db->raise(rc, false, selectSql);
                return false;
            }
            // Rows asked for and not found are gone; remember that too.
            for (qint64 id : std::as_const(asked))
                if (!readAhead.contains(id))
                    readAhead.insert(id, QVariantList());
            it = readAhead.constFind(key[0]);
        }
        if (it.value().isEmpty()) {
            *missing = true;
            return true;
        }
        *out = it.value();
        return true;
    }
    const bool added = stride > 1 && key[1] == AddedRowKey;
    sqlite3_stmt* stmt = added ? lookupAdded : lookup;
    sqlite3_bind_int64(stmt, 1, key[0]);
    if (!added)
        for (int i = 1; i < stride; ++i) {
            if (key[i] == 0 && i > 0)
                sqlite3_bind_null(stmt, i + 1);
            else
                sqlite3_bind_int64(stmt, i + 1, key[i]);
        }
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        out->clear();
        out->reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            out->append(readColumn(stmt, i, fields.at(i).kind));
    }
    sqlite3_reset(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        *missing = true;
        return true;
    }
    db->raise(rc, false, selectSql);
    return false;
}

bool Recordset::Impl::loadCurrent() {
    if (rowLoaded)
        return true;
    bool missing = false;
    if (!fetch(pos, &current, &missing))
        return false;
    if (missing) {
        raiseError(ErrNoCurrentRecord, QStringLiteral("Record is deleted."));
        return false;
    }
    rowLoaded = true;
    return true;
}

int Recordset::Impl::fieldIndex(const QString& rawName) const {
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

QString keyList(const QList<TableRef>& tables) {
    QStringList keys;
    for (const TableRef& t : tables)
        keys << quoteIdent(t.refName()) + QStringLiteral(".rowid");
    return keys.join(QLatin1String(", "));
}

} // namespace

Recordset Database::openRecordset(const QString& sqlOrTable, RecordsetType type) {
    Recordset result;
    if (!isOpen()) {
        raiseNotSet();
        return result;
    }
    QString error;
    Tokens tokens;
    {
        Tokens jet;
        if (!tokenize(sqlOrTable, true, &jet, &error)) {
            raiseError(ErrSqlSyntax, error);
            return result;
        }
        while (!jet.isEmpty() && jet.last().isOp(";"))
            jet.removeLast();
        if (jet.size() == 1 && jet.first().isName()) {
            // A table name: the table's rows in their stored order.
            QString declared;
            if (!tableExists(d->db, jet.first().text, &declared)) {
                raiseError(ErrTableNotFound, tableNotFound(jet.first().text));
                return result;
            }
            tokenize(QStringLiteral("SELECT * FROM ") + quoteIdent(declared), false, &tokens,
                     &error);
        } else if (type == RecordsetType::Table) {
            raiseError(ErrTableNotFound, tableNotFound(sqlOrTable));
            return result;
        } else if (!translateTokens(sqlOrTable, &tokens, &error)) {
            raiseError(ErrSqlSyntax, error);
            return result;
        }
    }
    SelectParts parts = parseSelect(tokens);
    if (!parts.isSelect) {
        raiseError(
            ErrSqlSyntax,
            QStringLiteral("Invalid SQL statement; expected 'SELECT': '%1'.").arg(sqlOrTable));
        return result;
    }
    // Keys exist only for real tables (a view or a missing table is read as rows; SQLite
    // names a missing one when the statement is prepared).
    for (const TableRef& t : parts.tables)
        if (!tableExists(d->db, t.table, nullptr))
            parts.keyable = false;

    auto rs = std::make_unique<Recordset::Impl>();
    rs->db = d;
    rs->type = type;
    rs->tables = parts.tables;
    rs->aliases = parts.aliases;
    rs->selectSql = sqlOrTable;
    if (parts.orderAt > 0) {
        // Texts in Jet's order, as the reports and lists expect.
        Tokens ordered = tokens.mid(0, parts.orderAt + 2);
        ordered.append(collateOrderTerms(d->db, emitSql(parts.from), parts.orderBy));
        ordered.append(tokens.mid(parts.orderEnd));
        rs->materialisedSql = emitSql(ordered);
    } else {
        rs->materialisedSql = emitSql(tokens);
    }
    d->recordsets.insert(rs.get());

    if (parts.keyable) {
        rs->keyed = true;
        rs->stride = int(parts.tables.size());
        rs->fromSql = emitSql(parts.from);
        const QString list = emitSql(parts.selectList);
        QString keyCondition =
            quoteIdent(parts.tables.first().refName()) + QStringLiteral(".rowid = ?1");
        for (int i = 1; i < rs->stride; ++i)
            keyCondition += QStringLiteral(" AND %1.rowid IS ?%2")
                                .arg(quoteIdent(parts.tables.at(i).refName()))
                                .arg(i + 1);
        const QString lookupSql =
            QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(list, rs->fromSql, keyCondition);
        const QString addedSql =
            QStringLiteral("SELECT %1 FROM %2 WHERE %3.rowid = ?1 LIMIT 1")
                .arg(list, rs->fromSql, quoteIdent(parts.tables.first().refName()));
        int rc =
            sqlite3_prepare_v2(d->db, lookupSql.toUtf8().constData(), -1, &rs->lookup, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_prepare_v2(d->db, addedSql.toUtf8().constData(), -1, &rs->lookupAdded,
                                    nullptr);
        if (rc != SQLITE_OK) {
            d->raise(rc, false, sqlOrTable);
            return result;
        }
        readFields(rs->lookup, rs.get());
        if (rs->stride == 1) {
            QStringList params;
            for (int i = 1; i <= ReadAheadRows; ++i)
                params << QStringLiteral("?%1").arg(i);
            const QString base = quoteIdent(parts.tables.first().refName());
            const QString batchSql =
                QStringLiteral("SELECT %1.rowid, %2 FROM %3 WHERE %1.rowid IN (%4)")
                    .arg(base, list, rs->fromSql, params.join(QLatin1String(", ")));
            if (sqlite3_prepare_v2(d->db, batchSql.toUtf8().constData(), -1, &rs->lookupBatch,
                                   nullptr) != SQLITE_OK) {
                sqlite3_finalize(rs->lookupBatch);
                rs->lookupBatch = nullptr; // rows are then read one by one
            }
        }

        QString keysetSql =
            QStringLiteral("SELECT %1 FROM %2").arg(keyList(parts.tables), rs->fromSql);
        if (!parts.where.isEmpty())
            keysetSql += QStringLiteral(" WHERE ") + emitSql(parts.where);
        if (!parts.orderBy.isEmpty())
            keysetSql += QStringLiteral(" ORDER BY ") +
                         emitSql(collateOrderTerms(
                             d->db, rs->fromSql, substituteAliases(parts.orderBy, parts.aliases)));
        if (!parts.tail.isEmpty())
            keysetSql += QLatin1Char(' ') + emitSql(parts.tail);
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(d->db, keysetSql.toUtf8().constData(), -1, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            d->raise(rc, false, sqlOrTable);
            return result;
        }
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            for (int i = 0; i < rs->stride; ++i)
                rs->keys.push_back(sqlite3_column_type(stmt, i) == SQLITE_NULL
                                       ? 0
                                       : sqlite3_column_int64(stmt, i));
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            d->raise(rc, false, sqlOrTable);
            return result;
        }
        rs->baseTable = parts.tables.first().table;
        tableExists(d->db, rs->baseTable, &rs->baseTable);
        readBaseTable(d->db, rs.get());
        rs->updatable = type != RecordsetType::Snapshot;
    } else {
        // Rows that are no table's rows (totals, distinct values ...): read them all now.
        sqlite3_stmt* stmt = nullptr;
        int rc =
            sqlite3_prepare_v2(d->db, rs->materialisedSql.toUtf8().constData(), -1, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            d->raise(rc, false, sqlOrTable);
            return result;
        }
        readFields(stmt, rs.get());
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QVariantList row;
            row.reserve(rs->fields.size());
            for (int i = 0; i < rs->fields.size(); ++i)
                row.append(readColumn(stmt, i, rs->fields.at(i).kind));
            rs->rows.append(row);
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            d->raise(rc, false, sqlOrTable);
            return result;
        }
    }
    if (rs->count() > 0) {
        rs->pos = 0;
        rs->bof = rs->eof = false;
    }
    result.d = std::move(rs);
    return result;
}

// ---------------------------------------------------------------------------------------
// Recordset

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&& other) noexcept = default;
Recordset& Recordset::operator=(Recordset&& other) noexcept = default;

bool Recordset::isOpen() const {
    return d && d->db && d->db->db;
}

void Recordset::close() {
    d.reset();
}

RecordsetType Recordset::type() const {
    return d ? d->type : RecordsetType::Dynaset;
}

int Recordset::recordCount() const {
    if (!isOpen()) {
        raiseNotSet();
        return 0;
    }
    return d->count();
}

bool Recordset::isBOF() const {
    if (!isOpen()) {
        raiseNotSet();
        return true;
    }
    return d->bof;
}

bool Recordset::isEOF() const {
    if (!isOpen()) {
        raiseNotSet();
        return true;
    }
    return d->eof;
}

namespace {

// Puts the cursor on `target`, walking on in `step` past rows deleted by another program.
template <class R> void settle(R* d, int target, int step) {
    d->mode = R::Mode::None;
    d->buffer.clear();
    d->deletedCurrent = false;
    d->rowLoaded = false;
    for (;;) {
        const int n = d->count();
        if (target < 0) {
            d->pos = -1;
            d->bof = true;
            d->eof = n == 0;
            return;
        }
        if (target >= n) {
            d->pos = n;
            d->eof = true;
            d->bof = n == 0;
            return;
        }
        bool missing = false;
        if (!d->fetch(target, &d->current, &missing, step)) {
            d->pos = target;
            d->bof = d->eof = false;
            return;
        }
        if (!missing) {
            d->pos = target;
            d->bof = d->eof = false;
            d->rowLoaded = true;
            return;
        }
        d->eraseKey(target);
        if (step < 0)
            --target;
    }
}

} // namespace

void Recordset::moveFirst() {
    if (!isOpen())
        return raiseNotSet();
    settle(d.get(), 0, 1);
}

void Recordset::moveLast() {
    if (!isOpen())
        return raiseNotSet();
    settle(d.get(), d->count() - 1, -1);
}

void Recordset::moveNext() {
    if (!isOpen())
        return raiseNotSet();
    if (d->eof && !d->deletedCurrent)
        return; // already past the end: stays there
    settle(d.get(), d->deletedCurrent ? d->pos : d->pos + 1, 1);
}

void Recordset::movePrevious() {
    if (!isOpen())
        return raiseNotSet();
    if (d->bof && !d->deletedCurrent)
        return;
    settle(d.get(), d->pos - 1, -1);
}

// ---------------------------------------------------------------------------------------
// Finds

namespace {

enum class FindFrom { First, Next, Previous, Last };

template <class R> void find(R* d, const QString& criteria, FindFrom from) {
    d->mode = R::Mode::None;
    d->buffer.clear();
    QString error;
    Tokens tokens;
    if (!translateTokens(criteria, &tokens, &error)) {
        raiseError(ErrSqlSyntax, error);
        return;
    }
    const QString condition = emitSql(substituteAliases(tokens, d->aliases));
    const int n = d->count();

    // Which rows of the keyset match, evaluated by SQLite on the recordset's tables.
    std::set<std::vector<qint64>> matches;
    std::set<qint64> baseMatches;
    QList<bool> rowMatches;
    QString sql;
    if (d->keyed)
        sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3)")
                  .arg(keyList(d->tables), d->fromSql, condition);
    else
        sql = QStringLiteral("SELECT CASE WHEN (%1) THEN 1 ELSE 0 END FROM (%2)")
                  .arg(condition, d->materialisedSql);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(d->db->db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        d->db->raise(rc, false, criteria);
        return;
    }
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!d->keyed) {
            rowMatches.append(sqlite3_column_int(stmt, 0) != 0);
            continue;
        }
        baseMatches.insert(sqlite3_column_int64(stmt, 0));
        if (d->stride > 1) {
            std::vector<qint64> key(size_t(d->stride));
            for (int i = 0; i < d->stride; ++i)
                key[size_t(i)] =
                    sqlite3_column_type(stmt, i) == SQLITE_NULL ? 0 : sqlite3_column_int64(stmt, i);
            matches.insert(key);
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        d->db->raise(rc, false, criteria);
        return;
    }
    auto matchesAt = [&](int i) {
        if (!d->keyed)
            return i < rowMatches.size() && rowMatches.at(i);
        const qint64* key = d->keys.data() + qsizetype(i) * d->stride;
        if (d->stride == 1 || key[1] == AddedRowKey)
            return baseMatches.count(key[0]) > 0;
        return matches.count(std::vector<qint64>(key, key + d->stride)) > 0;
    };

    int start = 0;
    int step = 1;
    switch (from) {
    case FindFrom::First:
        break;
    case FindFrom::Last:
        start = n - 1;
        step = -1;
        break;
    case FindFrom::Next:
        start = d->bof ? 0 : d->eof ? n : d->deletedCurrent ? d->pos : d->pos + 1;
        break;
    case FindFrom::Previous:
        start = d->eof ? n - 1 : d->bof ? -1 : d->pos - 1;
        step = -1;
        break;
    }
    for (int i = start; i >= 0 && i < n; i += step)
        if (matchesAt(i)) {
            d->noMatch = false;
            settle(d, i, step);
            return;
        }
    d->noMatch = true;
}

} // namespace

void Recordset::findFirst(const QString& criteria) {
    if (!isOpen())
        return raiseNotSet();
    find(d.get(), criteria, FindFrom::First);
}

void Recordset::findNext(const QString& criteria) {
    if (!isOpen())
        return raiseNotSet();
    find(d.get(), criteria, FindFrom::Next);
}

void Recordset::findPrevious(const QString& criteria) {
    if (!isOpen())
        return raiseNotSet();
    find(d.get(), criteria, FindFrom::Previous);
}

void Recordset::findLast(const QString& criteria) {
    if (!isOpen())
        return raiseNotSet();
    find(d.get(), criteria, FindFrom::Last);
}

bool Recordset::noMatch() const {
    return d ? d->noMatch : true;
}

// ---------------------------------------------------------------------------------------
// Values

namespace {

// The value as the column will hold it, so a value read back before update() looks like
// the stored one. False when it cannot be converted.
bool normalise(const QVariant& v, ValueKind kind, QVariant* out) {
    if (!v.isValid() || v.isNull()) {
        *out = kind == ValueKind::Bool ? QVariant(false) : QVariant();
        return true;
    }
    const bool emptyText = v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty();
    bool ok = true;
    switch (kind) {
    case ValueKind::Integer:
        if (emptyText) {
            *out = QVariant();
            return true;
        }
        if (v.typeId() == QMetaType::Bool) {
            *out = v.toBool() ? 1 : 0;
            return true;
        }
        {
            const double x = v.toDouble(&ok);
            const qlonglong i = qRound64(x);
            *out = (i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max())
                       ? QVariant(int(i))
                       : QVariant(i);
        }
        return ok;
    case ValueKind::Double:
    case ValueKind::Currency:
        if (emptyText) {
            *out = QVariant();
            return true;
        }
        *out = v.toDouble(&ok);
        if (ok && kind == ValueKind::Currency)
            *out = qRound64(out->toDouble() * 10000.0) / 10000.0;
        return ok;
    case ValueKind::Bool:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                s == QLatin1String("-1") || s == QLatin1String("1")) {
                *out = true;
                return true;
            }
            if (s.isEmpty() || s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
                s == QLatin1String("0")) {
                *out = false;
                return true;
            }
            return false;
        }
        *out = v.toBool();
        return true;
    case ValueKind::Date:
        if (emptyText) {
            *out = QVariant();
            return true;
        }
        if (v.typeId() == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            *out = dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
            return true;
        }
        *out = v;
        return true;
    case ValueKind::Text:
        *out = v.toString();
        return true;
    case ValueKind::Auto:
        break;
    }
    *out = v;
    return true;
}

// Gives the row being added its counter key now, so it can be read before update() and
// is never given out again, even if this row is never saved.
template <class R> bool reserveKey(R* d) {
    if (d->keyReserved)
        return true;
    sqlite3* db = d->db->db;
    int rc = d->autoIncrement ? d->db->run("BEGIN IMMEDIATE") : SQLITE_OK;
    if (rc != SQLITE_OK) {
        d->db->raise(rc, true, d->baseTable);
        return false;
    }
    qint64 next = 0;
    auto scalar = [&](const QString& sql, qint64* value) {
        sqlite3_stmt* stmt = nullptr;
        int r = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
        if (r == SQLITE_OK) {
            const QByteArray name = d->baseTable.toUtf8();
            if (sqlite3_bind_parameter_count(stmt) > 0)
                sqlite3_bind_text(stmt, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
            r = sqlite3_step(stmt);
            if (r == SQLITE_ROW) {
                *value = qMax(*value, qint64(sqlite3_column_int64(stmt, 0)));
                r = SQLITE_OK;
            } else if (r == SQLITE_DONE) {
                r = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        return r;
    };
    rc = scalar(QStringLiteral("SELECT max(rowid) FROM %1").arg(quoteIdent(d->baseTable)), &next);
    if (rc == SQLITE_OK && d->autoIncrement)
        rc =
            scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1 COLLATE NOCASE"),
                   &next);
    ++next;
    if (rc == SQLITE_OK && d->autoIncrement) {
        const QString sql =
            QStringLiteral("UPDATE sqlite_sequence SET seq = %1 WHERE name = ?1 COLLATE NOCASE");
        qint64 ignored = 0;
        rc = scalar(sql.arg(next), &ignored);
        if (rc == SQLITE_OK && sqlite3_changes(db) == 0)
            rc = scalar(
                QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?1, %1)").arg(next),
                &ignored);
    }
    if (d->autoIncrement) {
        if (rc == SQLITE_OK)
            rc = d->db->run("COMMIT");
        if (rc != SQLITE_OK) {
            const int failed = rc;
            if (!sqlite3_get_autocommit(db))
                d->db->run("ROLLBACK");
            d->db->raise(failed, true, d->baseTable);
            return false;
        }
    } else if (rc != SQLITE_OK) {
        d->db->raise(rc, false, d->baseTable);
        return false;
    }
    d->reservedKey = next;
    d->keyReserved = true;
    return true;
}

template <class R> QVariant columnDefault(R* d, const QString& column, ValueKind kind) {
    sqlite3* db = d->db->db;
    QVariant result;
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(d->baseTable));
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    QString expression;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        if (text(sqlite3_column_text(stmt, 1)).compare(column, Qt::CaseInsensitive) == 0 &&
            sqlite3_column_type(stmt, 4) != SQLITE_NULL)
            expression = text(sqlite3_column_text(stmt, 4));
    sqlite3_finalize(stmt);
    if (expression.isEmpty())
        return kind == ValueKind::Bool ? QVariant(false) : QVariant();
    stmt = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT " + expression).toUtf8().constData(), -1, &stmt, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        result = readColumn(stmt, 0, kind);
    sqlite3_finalize(stmt);
    return result;
}

template <class R> bool isKeyField(const R* d, const FieldInfo& f) {
    return f.tableIndex == 0 && !d->keyColumn.isEmpty() &&
           f.origin.compare(d->keyColumn, Qt::CaseInsensitive) == 0;
}

} // namespace

QVariant Recordset::value(const QString& field) const {
    if (!isOpen()) {
        raiseNotSet();
        return QVariant();
    }
    const int index = d->fieldIndex(field);
    if (index < 0) {
        raiseError(ErrItemNotFound,
                   QStringLiteral("Item '%1' not found in this collection.").arg(field));
        return QVariant();
    }
    const auto it = d->buffer.constFind(index);
    if (it != d->buffer.constEnd())
        return it.value();
    const FieldInfo& f = d->fields.at(index);
    if (d->mode == Impl::Mode::Add) {
        if (isKeyField(d.get(), f)) {
            if (!reserveKey(d.get()))
                return QVariant();
            return QVariant(d->reservedKey <= std::numeric_limits<int>::max()
                                ? QVariant(int(d->reservedKey))
                                : QVariant(qlonglong(d->reservedKey)));
        }
        if (f.tableIndex == 0 && !f.origin.isEmpty())
            return columnDefault(d.get(), f.origin, f.kind);
        return QVariant();
    }
    if (!d->hasCurrent()) {
        raiseNoCurrent();
        return QVariant();
    }
    if (!d->loadCurrent())
        return QVariant();
    return d->current.value(index);
}

void Recordset::setValue(const QString& field, const QVariant& value) {
    if (!isOpen())
        return raiseNotSet();
    const int index = d->fieldIndex(field);
    if (index < 0)
        return raiseError(ErrItemNotFound,
                          QStringLiteral("Item '%1' not found in this collection.").arg(field));
    if (d->mode == Impl::Mode::None)
        return raiseError(ErrUpdateWithoutEdit,
                          QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    const FieldInfo& f = d->fields.at(index);
    if (!d->updatable || f.tableIndex < 0 || f.origin.isEmpty() ||
        (d->mode == Impl::Mode::Add && f.tableIndex != 0))
        return raiseError(ErrReadOnly, QStringLiteral("Field '%1' cannot be updated.").arg(field));
    QVariant stored;
    if (!normalise(value, f.kind, &stored))
        return raiseError(ErrEngine,
                          QStringLiteral("Data type conversion error: '%1' for field '%2'.")
                              .arg(value.toString(), field));
    d->buffer.insert(index, stored);
}

QStringList Recordset::fieldNames() const {
    QStringList names;
    if (!isOpen()) {
        raiseNotSet();
        return names;
    }
    for (const FieldInfo& f : d->fields)
        names << f.name;
    return names;
}

// ---------------------------------------------------------------------------------------
// Edits

// Raises the reason a row cannot be written now, if there is one.
bool Recordset::checkWritable(bool needsCurrentRow) const {
    if (!isOpen()) {
        raiseNotSet();
        return false;
    }
    if (!d->updatable) {
        raiseReadOnly();
        return false;
    }
    if (needsCurrentRow && !d->hasCurrent()) {
        raiseNoCurrent();
        return false;
    }
    return true;
}

void Recordset::addNew() {
    if (!checkWritable(false))
        return;
    d->mode = Impl::Mode::Add;
    d->buffer.clear();
    d->keyReserved = false;
}

void Recordset::edit() {
    if (!checkWritable(true))
        return;
    d->mode = Impl::Mode::Edit;
    d->buffer.clear();
}

void Recordset::cancelUpdate() {
    if (!isOpen())
        return raiseNotSet();
    d->mode = Impl::Mode::None;
    d->buffer.clear();
    d->keyReserved = false;
}

namespace {

// Runs one write statement with its values bound; SQLITE_DONE on success.
int runWrite(sqlite3* db, const QString& sql, const QList<QPair<QVariant, ValueKind>>& values,
             qint64 rowid, bool bindRowid) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    int i = 1;
    for (const auto& v : values)
        bindValue(stmt, i++, v.first, v.second);
    if (bindRowid)
        sqlite3_bind_int64(stmt, i, rowid);
    rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    return rc;
}

} // namespace

void Recordset::update() {
    if (!isOpen())
        return raiseNotSet();
    if (d->mode == Impl::Mode::None)
        return raiseError(ErrUpdateWithoutEdit,
                          QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    if (!d->updatable)
        return raiseReadOnly();
    Database::Impl* db = d->db.get();

    // Each write is one short transaction of its own: nothing is locked before it.
    int rc = db->run("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return db->raise(rc, true, d->baseTable);
    auto fail = [&](int code) {
        if (!sqlite3_get_autocommit(db->db))
            db->run("ROLLBACK");
        db->raise(code, true, d->baseTable);
    };

    qint64 newKey = 0;
    if (d->mode == Impl::Mode::Add) {
        QStringList columns;
        QList<QPair<QVariant, ValueKind>> values;
        bool keySet = false;
        for (auto it = d->buffer.constBegin(); it != d->buffer.constEnd(); ++it) {
            const FieldInfo& f = d->fields.at(it.key());
            if (columns.contains(quoteIdent(f.origin)))
                continue;
            columns << quoteIdent(f.origin);
            values.append({it.value(), f.kind});
            if (isKeyField(d.get(), f))
                keySet = true;
        }
        if (d->keyReserved && !keySet && !d->keyColumn.isEmpty()) {
            columns << quoteIdent(d->keyColumn);
            values.append({QVariant(qlonglong(d->reservedKey)), ValueKind::Integer});
        }
        QString sql;
        if (columns.isEmpty())
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoteIdent(d->baseTable));
        else
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quoteIdent(d->baseTable), columns.join(QLatin1String(", ")),
                           QStringList(QList<QString>(columns.size(), QStringLiteral("?")))
                               .join(QLatin1String(", ")));
        rc = runWrite(db->db, sql, values, 0, false);
        if (rc != SQLITE_DONE)
            return fail(rc);
        newKey = sqlite3_last_insert_rowid(db->db);
    } else {
        // Group the changed columns by table; each table's row is written by its own key.
        QHash<int, QPair<QStringList, QList<QPair<QVariant, ValueKind>>>> perTable;
        for (auto it = d->buffer.constBegin(); it != d->buffer.constEnd(); ++it) {
            const FieldInfo& f = d->fields.at(it.key());
            auto& entry = perTable[f.tableIndex];
            entry.first << quoteIdent(f.origin) + QStringLiteral(" = ?");
            entry.second.append({it.value(), f.kind});
        }
        const qint64* key = d->keys.data() + qsizetype(d->pos) * d->stride;
        for (auto it = perTable.constBegin(); it != perTable.constEnd(); ++it) {
            const qint64 rowid = key[it.key()];
            if (it.key() > 0 && (rowid == AddedRowKey || rowid == 0)) {
                if (!sqlite3_get_autocommit(db->db))
                    db->run("ROLLBACK");
                return raiseReadOnly();
            }
            const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                    .arg(quoteIdent(d->tables.at(it.key()).table),
                                         it.value().first.join(QLatin1String(", ")));
            rc = runWrite(db->db, sql, it.value().second, rowid, true);
            if (rc != SQLITE_DONE)
                return fail(rc);
            if (sqlite3_changes(db->db) == 0) {
                db->run("ROLLBACK");
                return raiseError(ErrNoCurrentRecord,
                                  QStringLiteral("The record was deleted by another program."));
            }
        }
    }
    rc = db->run("COMMIT");
    ++db->writes;
    if (rc != SQLITE_OK)
        return fail(rc);

    if (d->mode == Impl::Mode::Add) {
        // The new row joins the end of the keyset; the cursor stays where it was.
        d->keys.push_back(newKey);
        for (int i = 1; i < d->stride; ++i)
            d->keys.push_back(AddedRowKey);
    }
    d->mode = Impl::Mode::None;
    d->buffer.clear();
    d->keyReserved = false;
    d->rowLoaded = false;
}

void Recordset::deleteRow() {
    if (!checkWritable(true))
        return;
    d->mode = Impl::Mode::None;
    d->buffer.clear();
    Database::Impl* db = d->db.get();
    const qint64 rowid = d->keys.at(size_t(d->pos) * size_t(d->stride));
    const int rc = runWrite(
        db->db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(d->baseTable)), {},
        rowid, true);
    ++db->writes;
    if (rc != SQLITE_DONE)
        return db->raise(rc, true, d->baseTable);
    d->eraseKey(d->pos);
    d->deletedCurrent = true;
    d->rowLoaded = false;
}

void Recordset::setLockEdits(bool pessimistic) {
    if (!isOpen())
        return raiseNotSet();
    d->lockEdits = pessimistic;
}

bool Recordset::lockEdits() const {
    return d ? d->lockEdits : false;
}

} // namespace tavrel
