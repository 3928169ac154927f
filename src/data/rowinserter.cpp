#include "data/rowinserter.h"

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"

namespace tavrel {

namespace {

QString quotedName(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

RowInserter::RowInserter(Database& db, const QString& table, const QStringList& columns)
    : db_(db)
    , table_(table) {
    if (!db.isOpen()) {
        raiseError(ErrObjectNotSet, QStringLiteral("The database is not open."));
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

} // namespace tavrel
