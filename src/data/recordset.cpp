#include "data/database.h"

#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgrecordset_p.h"

#include <QDateTime>

#include <limits>
#include <optional>
#include <set>

namespace tavrel {

using namespace detail;

namespace detail {

void raiseNotSet() {
    raiseError(ErrObjectNotSet, QStringLiteral("Object variable or With block variable not set."));
}
void raiseNoCurrent() {
    raiseError(ErrNoCurrentRecord, QStringLiteral("No current record."));
}
void raiseReadOnly() {
    raiseError(ErrReadOnly, QStringLiteral("Cannot update. Database or object is read-only."));
}

} // namespace detail

// ---------------------------------------------------------------------------------------
// Recordset

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&& other) noexcept = default;
Recordset& Recordset::operator=(Recordset&& other) noexcept = default;

bool Recordset::isOpen() const {
    return d && d->db && (d->db->db || d->db->server);
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

// Puts the cursor on `target`, walking on in `step` past rows deleted by another program.
void Recordset::Impl::settle(int target, int step) {
    if (inGap(target) && !completeKeys(&target, step))
        return;
    mode = Mode::None;
    buffer.clear();
    deletedCurrent = false;
    rowLoaded = false;
    versionsPinned = false;
    for (;;) {
        const int n = count();
        if (target < 0) {
            pos = -1;
            bof = true;
            eof = n == 0;
            return;
        }
        if (target >= n) {
            pos = n;
            eof = true;
            bof = n == 0;
            return;
        }
        bool missing = false;
        if (!fetch(target, &current, &missing, step)) {
            pos = target;
            bof = eof = false;
            return;
        }
        if (!missing) {
            pos = target;
            bof = eof = false;
            rowLoaded = true;
            pinVersions();
            return;
        }
        eraseKey(target);
        if (step < 0)
            --target;
    }
}

void Recordset::moveFirst() {
    if (!isOpen())
        return raiseNotSet();
    d->settle(0, 1);
}

void Recordset::moveLast() {
    if (!isOpen())
        return raiseNotSet();
    if (!d->complete && !d->sizeKnown && !d->readLastKeys())
        return;
    d->settle(d->count() - 1, -1);
}

void Recordset::moveNext() {
    if (!isOpen())
        return raiseNotSet();
    if (d->eof && !d->deletedCurrent)
        return; // already past the end: stays there
    d->settle(d->deletedCurrent ? d->pos : d->pos + 1, 1);
}

void Recordset::movePrevious() {
    if (!isOpen())
        return raiseNotSet();
    if (d->bof && !d->deletedCurrent)
        return;
    d->settle(d->pos - 1, -1);
}

// ---------------------------------------------------------------------------------------
// Writing values

namespace {

// What a column of this kind takes, for the type mismatch message.
QString kindName(ValueKind kind) {
    switch (kind) {
    case ValueKind::Date:
        return QStringLiteral("a date");
    case ValueKind::Bool:
        return QStringLiteral("a yes/no value");
    case ValueKind::Integer:
    case ValueKind::Double:
    case ValueKind::Currency:
        return QStringLiteral("a number");
    case ValueKind::Text:
    case ValueKind::Auto:
        break;
    }
    return QStringLiteral("a value of its type");
}

// Gives the row being added its counter key now, so it can be read before update() and
// is never given out again, even if this row is never saved.
template <class R> bool reserveKey(R* d) {
    if (d->keyReserved)
        return true;
    sqlite3* db = d->db->db;
    int rc = d->autoIncrement ? d->db->beginWrite() : SQLITE_OK;
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
            rc = d->db->commitWrite();
        if (rc != SQLITE_OK) {
            const DbError error = d->db->errorFor(rc, true, d->baseTable);
            d->db->abortWrite();
            raiseError(error);
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
    if (d->mode == Impl::Mode::Add && d->db->server)
        return serverAddedValue(*d, f);
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
    QVariant v;
    d->currentValue(index, &v);
    return v;
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
        return raiseError(ErrTypeMismatch,
                          QStringLiteral("Type mismatch: field '%1' takes %2, not '%3'.")
                              .arg(field, kindName(f.kind), value.toString()));
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
    // The new row joins the end of the keyset, which must be whole by then.
    if (!d->complete && !d->completeKeys())
        return;
    d->mode = Impl::Mode::Add;
    d->buffer.clear();
    d->keyReserved = false;
}

void Recordset::edit() {
    if (!checkWritable(true))
        return;
    if (d->db->server && !serverNoteVersions(*d))
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

// Runs one write statement with its values bound, then the row's key and (when not null)
// its version; SQLITE_DONE on success.
int runWrite(sqlite3* db, const QString& sql, const QList<QPair<QVariant, ValueKind>>& values,
             qint64 rowid, bool bindRowid, const QVariant& version = {}) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    int i = 1;
    for (const auto& v : values)
        bindValue(stmt, i++, v.first, v.second);
    if (bindRowid)
        sqlite3_bind_int64(stmt, i++, rowid);
    if (!version.isNull())
        sqlite3_bind_int64(stmt, i, version.toLongLong());
    rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    return rc;
}

// Inserts the row being added with the values set (and the key reserved for it); its key
// in *newKey. SQLite's result code, SQLITE_DONE when written.
template <class R> int insertAdded(R* d, qint64* newKey) {
    QStringList columns;
    QList<QPair<QVariant, ValueKind>> values;
    bool keySet = false;
    for (auto it = d->buffer.constBegin(); it != d->buffer.constEnd(); ++it) {
        const FieldInfo& f = d->fields.at(it.key());
        if (columns.contains(quoteIdent(f.origin)))
            continue;
        columns << quoteIdent(f.origin);
        values.append({it.value(), f.kind});
        if (isKeyField(d, f))
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
    const int rc = runWrite(d->db->db, sql, values, 0, false);
    if (rc == SQLITE_DONE)
        *newKey = sqlite3_last_insert_rowid(d->db->db);
    return rc;
}

// " AND rowver = ?" where the row's version was read: the write takes the row only as it
// was read.
QString versionCondition(const QVariant& version) {
    return version.isNull() ? QString() : QStringLiteral(" AND rowver = ?");
}

// Whether the row is still in its table; false also when that cannot be read.
bool rowExists(sqlite3* db, const QString& table, qint64 rowid) {
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?").arg(quoteIdent(table));
    bool found = false;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(stmt, 1, rowid);
        found = sqlite3_step(stmt) == SQLITE_ROW;
    }
    sqlite3_finalize(stmt);
    return found;
}

// Why a write by key and version took no row: another user deleted it, or changed it.
DbError conflictError(sqlite3* db, const QString& table, qint64 rowid) {
    const QString where = QStringLiteral("table %1, row %2").arg(table).arg(rowid);
    if (!rowExists(db, table, rowid))
        return DbError(ErrRowDeleted,
                       QStringLiteral("Another user deleted this record after it was read."),
                       where);
    return DbError(ErrRowChanged,
                   QStringLiteral("Another user changed this record after it was read; it was "
                                  "not written over their changes."),
                   where);
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
    if (d->db->server)
        return serverUpdate(*d);
    Database::Impl* db = d->db.get();
    if (d->mode == Impl::Mode::Edit && !d->currentVersions())
        return;

    // Each write is one short transaction of its own (nothing is locked before it), or a
    // savepoint in the caller's Transaction.
    int rc = db->beginWrite();
    if (rc != SQLITE_OK)
        return db->raise(rc, true, d->baseTable);
    auto fail = [&](int code) {
        const DbError error = db->errorFor(code, true, d->baseTable);
        db->abortWrite();
        raiseError(error);
    };

    qint64 newKey = 0;
    if (d->mode == Impl::Mode::Add) {
        rc = insertAdded(d.get(), &newKey);
        if (rc != SQLITE_DONE)
            return fail(rc);
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
                db->abortWrite();
                return raiseReadOnly();
            }
            const QString& table = d->tables.at(it.key()).table;
            const QVariant version = d->readVersions.value(it.key());
            const QString sql =
                QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3")
                    .arg(quoteIdent(table), it.value().first.join(QLatin1String(", ")),
                         versionCondition(version));
            rc = runWrite(db->db, sql, it.value().second, rowid, true, version);
            if (rc != SQLITE_DONE)
                return fail(rc);
            if (sqlite3_changes(db->db) == 0) {
                const DbError error = conflictError(db->db, table, rowid);
                db->abortWrite();
                return raiseError(error);
            }
        }
    }
    rc = db->commitWrite();
    if (rc != SQLITE_OK)
        return fail(rc);
    ++db->writes;

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
    d->versionsPinned = false; // the write raised them: the next read keeps the new ones
}

void Recordset::deleteRow() {
    if (!checkWritable(true))
        return;
    if (d->db->server)
        return serverDeleteRow(*d);
    d->mode = Impl::Mode::None;
    d->buffer.clear();
    if (!d->currentVersions())
        return;
    Database::Impl* db = d->db.get();
    const qint64 rowid = d->keys.at(size_t(d->pos) * size_t(d->stride));
    const QVariant version = d->readVersions.value(0);
    // The same bracket as update(): a transaction of its own or a savepoint in the caller's,
    // refused while a transaction the engine ended still stands.
    int rc = db->beginWrite();
    if (rc != SQLITE_OK)
        return db->raise(rc, true, d->baseTable);
    rc = runWrite(db->db,
                  QStringLiteral("DELETE FROM %1 WHERE rowid = ?%2")
                      .arg(quoteIdent(d->baseTable), versionCondition(version)),
                  {}, rowid, true, version);
    std::optional<DbError> conflict;
    if (rc == SQLITE_DONE && !version.isNull() && sqlite3_changes(db->db) == 0)
        conflict = conflictError(db->db, d->baseTable, rowid);
    if (conflict && conflict->number == ErrRowChanged) {
        db->abortWrite();
        return raiseError(*conflict);
    }
    if (rc != SQLITE_DONE || (rc = db->commitWrite()) != SQLITE_OK) {
        const DbError error = db->errorFor(rc, true, d->baseTable);
        db->abortWrite();
        return raiseError(error);
    }
    ++db->writes;
    d->eraseKey(d->pos);
    d->deletedCurrent = true;
    d->rowLoaded = false;
    d->versionsPinned = false;
    // Gone before we came: what was asked for is done, and the user hears that someone
    // else did it.
    if (conflict)
        raiseError(*conflict);
}

void Recordset::takeStoredVersion() {
    if (!checkWritable(true))
        return;
    if (d->db->server)
        return serverTakeStoredVersion(*d);
    if (!d->currentVersions())
        return;
    const qint64* key = d->keys.data() + qsizetype(d->pos) * d->stride;
    for (int i = 0; i < d->stride; ++i) {
        if (!d->versioned[size_t(i)] || key[i] == AddedRowKey || key[i] == 0)
            continue;
        sqlite3_stmt* stmt = nullptr;
        const QString& table = d->tables.at(i).table;
        const QString sql =
            QStringLiteral("SELECT rowver FROM %1 WHERE rowid = ?").arg(quoteIdent(table));
        if (!d->db->prepare(sql, &stmt, false, table))
            return;
        sqlite3_bind_int64(stmt, 1, key[i]);
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            d->readVersions[i] = readColumn(stmt, 0, ValueKind::Integer);
        sqlite3_finalize(stmt);
        if (rc == SQLITE_DONE)
            return raiseError(conflictError(d->db->db, table, key[i]));
        if (rc != SQLITE_ROW)
            return d->db->raise(rc, false, table);
    }
}

void Recordset::rereadCurrent() {
    if (!isOpen())
        return raiseNotSet();
    if (!d->hasCurrent())
        return raiseNoCurrent();
    if (!d->keyed)
        return; // a static copy keeps its rows as they were
    d->batch.clear();
    d->settle(d->pos, 1);
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
