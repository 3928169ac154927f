// Finds: the criteria are evaluated in SQL against the recordset's own FROM/WHERE, and the
// matching keys are then looked up in the keyset's order.

#include "data/database.h"

#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"

#include <QDateTime>

#include <limits>
#include <set>

namespace tavrel {

using namespace detail;

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
    const QString condition =
        emitSql(jetComparisons(d->db->db, substituteAliases(tokens, d->aliases), d->tables));
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
    if (!d->db->prepare(sql, &stmt, false, criteria))
        return;
    int rc = SQLITE_OK;
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
            d->settle(i, step);
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

} // namespace tavrel
