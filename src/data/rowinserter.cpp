#include "data/rowinserter.h"

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"
#include "data/pgrecordset_p.h"

#include <algorithm>
#include <utility>

namespace tavrel {

namespace {

// A server takes at most 65,535 parameters in a statement; batches of this many rows stay
// well below that for every table, and already save nearly all of the round trips.
constexpr int ServerBatchRows = 500;
constexpr int ServerParameterLimit = 65535;

QString quotedName(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// "($1, $2), ($3, $4)": the places of `rows` rows of `columns` values.
QString valuePlaces(int rows, int columns) {
    QString text;
    int n = 0;
    for (int r = 0; r < rows; ++r) {
        text += r == 0 ? QStringLiteral("(") : QStringLiteral(", (");
        for (int c = 0; c < columns; ++c)
            text += (c == 0 ? QStringLiteral("$") : QStringLiteral(", $")) + QString::number(++n);
        text += QLatin1Char(')');
    }
    return text;
}

} // namespace

RowInserter::RowInserter(Database& db, const QString& table, const QStringList& columns)
    : db_(db)
    , table_(table) {
    if (!db.isOpen()) {
        raiseError(ErrObjectNotSet, QStringLiteral("The database is not open."));
        return;
    }
    if (db.d->server) {
        const detail::ServerTables* tables = detail::serverTablesOf(*db.d);
        if (!tables)
            return;
        const detail::ServerTable* found = tables->table(table);
        QStringList names;
        for (const QString& column : columns) {
            const QString spelt = found ? found->columns.value(column.toLower()) : QString();
            if (spelt.isEmpty()) {
                raiseError(ErrItemNotFound,
                           QStringLiteral("The table %1 has no column %2.").arg(table, column));
                return;
            }
            names << detail::quoteIdent(spelt);
        }
        serverInsert_ = QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                            .arg(detail::quoteIdent(found->name), names.join(QLatin1String(", ")));
        serverColumns_ = int(columns.size());
        return;
    }
    QStringList names;
    QStringList marks;
    for (const QString& column : columns) {
        const char* declType = nullptr;
        const int rc = sqlite3_table_column_metadata(
            db.handle(), nullptr, table.toUtf8().constData(), column.toUtf8().constData(),
            &declType, nullptr, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            raiseError(ErrItemNotFound,
                       QStringLiteral("The table %1 has no column %2.").arg(table, column));
            return;
        }
        kinds_ << int(detail::valueKindFor(declType));
        names << quotedName(column);
        marks << QStringLiteral("?");
    }
    const QByteArray sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quotedName(table), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
            .toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const int rc =
        sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db.handle()));
        sqlite3_finalize(stmt);
        raiseError(DbError{detail::errorNumberFor(rc, true, nullptr),
                           QStringLiteral("Could not add rows to %1: %2.").arg(table, message),
                           {},
                           db.path()});
        return;
    }
    stmt_ = stmt;
}

RowInserter::~RowInserter() {
    sqlite3_finalize(stmt_);
}

bool RowInserter::insert(const QList<QVariant>& values) {
    if (serverColumns_ > 0 && values.size() == serverColumns_) {
        pending_ += values;
        const int rows = int(pending_.size()) / serverColumns_;
        return rows < std::min(ServerBatchRows, ServerParameterLimit / serverColumns_) ||
               sendBatch();
    }
    if (!stmt_ || values.size() != kinds_.size()) {
        raiseError(ErrObjectNotSet, QStringLiteral("Could not add a row to %1.").arg(table_));
        return false;
    }
    sqlite3_reset(stmt_);
    for (qsizetype i = 0; i < values.size(); ++i)
        detail::bindValue(stmt_, int(i) + 1, values[i], detail::ValueKind(kinds_[i]));
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_DONE) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db_.handle()));
        sqlite3_reset(stmt_);
        raiseError(DbError{detail::errorNumberFor(rc, true, nullptr),
                           QStringLiteral("Could not add a row to %1: %2.").arg(table_, message),
                           {},
                           db_.path()});
        return false;
    }
    return true;
}

bool RowInserter::finish() {
    if (serverColumns_ > 0)
        return pending_.isEmpty() || sendBatch();
    return stmt_ != nullptr;
}

bool RowInserter::sendBatch() {
    Database::Impl& db = *db_.d;
    const int rows = int(pending_.size()) / serverColumns_;
    QString sql;
    if (rows == std::min(ServerBatchRows, ServerParameterLimit / serverColumns_)) {
        if (batchSql_.isEmpty())
            batchSql_ = serverInsert_ + valuePlaces(rows, serverColumns_);
        sql = batchSql_;
    } else {
        sql = serverInsert_ + valuePlaces(rows, serverColumns_);
    }
    const QList<QVariant> values = std::exchange(pending_, {});
    // A batch of its own inside the caller's transaction, as every statement on a server: a
    // failure undoes it alone.
    DbError error;
    detail::PgResult result;
    if (!detail::serverBeginWrite(db, &error)) {
        raiseError(error);
        return false;
    }
    if (!detail::serverRun(db, sql, values, &result, &error) ||
        !detail::serverCommitWrite(db, &error)) {
        detail::serverAbortWrite(db);
        raiseError(error);
        return false;
    }
    ++db.writes;
    return true;
}

} // namespace tavrel
