// Finds: the criteria are evaluated in SQL against the recordset's own FROM/WHERE, and the
// matching keys are then looked up in the keyset's order.

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
// Finds

namespace {

enum class FindFrom { First, Next, Previous, Last };

// The rows of a file's recordset that match the criteria: the base keys (and for a join the
// key tuples) of a keyset's rows, or the positions of a static copy's.
template <class R>
bool fileMatches(R* d, const QString& criteria, int n, std::vector<qint64>* baseMatches,
                 std::set<std::vector<qint64>>* matches, std::vector<char>* rowMatches) {
    // Which rows match, evaluated by SQLite: on the recordset's tables for a keyset, on the
    // copied rows for a static copy. Find Next is pressed again and again with the same
    // criteria: their statement is kept for the next find.
    sqlite3_stmt* stmt = d->findStatement;
    if (stmt && d->findCriteria == criteria) {
        sqlite3_reset(stmt);
    } else {
        sqlite3_finalize(d->findStatement);
        d->findStatement = stmt = nullptr;
        d->findCriteria.clear();
        QString error;
        Tokens tokens;
        if (!translateTokens(criteria, &tokens, &error)) {
            raiseError(ErrSqlSyntax, error);
            return false;
        }
        const QString condition = d->findCondition(
            jetComparisons(d->db->db, substituteAliases(tokens, d->aliases), d->tables));
        if (d->keyed) {
            const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE (%3)")
                                    .arg(keyList(d->tables), d->fromSql, condition);
            if (!d->db->prepare(sql, &stmt, false, criteria))
                return false;
        } else {
            if (!d->findStore())
                return false;
            const QString sql = QStringLiteral("SELECT rowid FROM rows WHERE (%1)").arg(condition);
            if (sqlite3_prepare_v2(d->store, sql.toUtf8().constData(), -1, &stmt, nullptr) !=
                SQLITE_OK) {
                const QString message = QString::fromUtf8(sqlite3_errmsg(d->store));
                sqlite3_finalize(stmt);
                raiseError(errorNumberFor(SQLITE_ERROR, false, nullptr),
                           QStringLiteral("%1 in '%2'.").arg(message, criteria));
                return false;
            }
        }
        d->findStatement = stmt;
        d->findCriteria = criteria;
    }
    if (!d->keyed)
        rowMatches->assign(size_t(n), 0);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (!d->keyed) {
            const qint64 at = sqlite3_column_int64(stmt, 0) - 1;
            if (at >= 0 && at < n)
                (*rowMatches)[size_t(at)] = 1;
            continue;
        }
        baseMatches->push_back(sqlite3_column_int64(stmt, 0));
        if (d->stride > 1) {
            std::vector<qint64> key(size_t(d->stride));
            for (int i = 0; i < d->stride; ++i)
                key[size_t(i)] =
                    sqlite3_column_type(stmt, i) == SQLITE_NULL ? 0 : sqlite3_column_int64(stmt, i);
            matches->insert(key);
        }
    }
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE) {
        sqlite3_finalize(stmt);
        d->findStatement = nullptr;
        d->findCriteria.clear();
        if (d->keyed)
            d->db->raise(rc, false, criteria);
        else
            raiseError(errorNumberFor(rc, false, nullptr),
                       QStringLiteral("%1 in '%2'.")
                           .arg(QString::fromUtf8(sqlite3_errmsg(d->store)), criteria));
        return false;
    }
    return true;
}

// One piece: the four directions of a find share its bounds, the candidate rows and the batches
// read for them.
template <class R> void find(R* d, const QString& criteria, FindFrom from) {
    d->mode = R::Mode::None;
    d->buffer.clear();
    if (!d->complete && !d->completeKeys())
        return;
    const int n = d->count();

    std::set<std::vector<qint64>> matches;
    std::vector<qint64> baseMatches; // sorted once read
    std::vector<char> rowMatches;
    if (d->db->server ? !serverFindMatches(*d, criteria, &baseMatches, &matches, &rowMatches)
                      : !fileMatches(d, criteria, n, &baseMatches, &matches, &rowMatches))
        return;
    std::sort(baseMatches.begin(), baseMatches.end());
    auto matchesAt = [&](int i) {
        if (!d->keyed)
            return rowMatches[size_t(i)] != 0;
        const qint64* key = d->keys.data() + qsizetype(i) * d->stride;
        if (d->stride == 1 || key[1] == AddedRowKey)
            return std::binary_search(baseMatches.cbegin(), baseMatches.cend(), key[0]);
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

QString Recordset::Impl::findCondition(const Tokens& criteria) const {
    return emitSql(findConditionTokens(criteria));
}

Tokens Recordset::Impl::findConditionTokens(const Tokens& t) const {
    Tokens out;
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n; ++i) {
        const Token& k = t.at(i);
        // A subquery's names are its own tables'.
        if (k.isOp("(") && i + 1 < n && t.at(i + 1).isWord("select")) {
            int depth = 0;
            for (; i < n; ++i) {
                out.append(t.at(i));
                if (t.at(i).isOp("("))
                    ++depth;
                else if (t.at(i).isOp(")") && --depth == 0)
                    break;
            }
            continue;
        }
        const bool call = i + 1 < n && t.at(i + 1).isOp("(");
        const bool afterDot = i > 0 && t.at(i - 1).isOp(".");
        const bool afterCollate = i > 0 && t.at(i - 1).isWord("collate");
        if (!k.isName() || call || afterDot || afterCollate) {
            out.append(k);
            continue;
        }
        const bool qualified = i + 2 < n && t.at(i + 1).isOp(".") && t.at(i + 2).isName();
        if (keyed) {
            // Where a join repeats an unqualified name, it is the base table's column, as
            // it is in values.
            const QString name = k.text.toLower();
            bool repeated = false;
            if (!qualified && !tableColumns.isEmpty() && tableColumns.first().contains(name))
                for (qsizetype table = 1; table < tableColumns.size(); ++table)
                    repeated = repeated || tableColumns.at(table).contains(name);
            if (repeated)
                out << Token{TokKind::QuotedIdent, tables.first().refName()}
                    << Token{TokKind::Op, QStringLiteral(".")};
            out.append(k);
            continue;
        }
        // A static copy: names are the recordset's fields, held in columns c0, c1 ...
        int field = qualified ? fieldIndex(k.text + QLatin1Char('.') + t.at(i + 2).text)
                              : fieldIndex(k.text);
        if (field < 0 && !qualified) {
            // A column selected under another name ("locid as id") is still its column.
            for (int f = 0; f < fields.size(); ++f)
                if (fields.at(f).origin.compare(k.text, Qt::CaseInsensitive) == 0 &&
                    (field < 0 || fields.at(f).tableIndex == 0) &&
                    !(field >= 0 && fields.at(field).tableIndex == 0))
                    field = f;
        }
        if (field < 0) {
            out.append(k); // SQLite names what is unknown
            continue;
        }
        out.append(Token{TokKind::Ident, QStringLiteral("c%1").arg(field)});
        if (qualified)
            i += 2;
    }
    return out;
}

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
