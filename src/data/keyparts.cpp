// A keyset read in parts: the first keys at open, the last ones when they are first needed,
// the rest when a move, find or addition first reaches them; and the reading of keys with the
// check that an index's NOCASE order is the program's order of texts.

#include "data/database.h"

#include "data/database_p.h"
#include "data/pgrecordset_p.h"
#include "data/textorder.h"

#include <algorithm>
#include <set>

namespace tavrel {

using namespace detail;

namespace {

// Checks, row by row, that rows read in NOCASE order of their text terms are in the
// program's order. They are when every text is made of characters on which the two orders
// agree (letters, digits, the blank and some punctuation of plain ASCII): texts are then
// equal under one exactly when under the other, so ties too are broken alike, by the terms
// and the key that follow.
class NocaseOrderCheck {
public:
    explicit NocaseOrderCheck(int texts)
        : texts_(texts) {}

    // The text terms are the columns from `first` on; false once the order may differ.
    bool next(sqlite3_stmt* stmt, int first) const {
        for (int column = first; column < first + texts_; ++column) {
            if (sqlite3_column_type(stmt, column) != SQLITE_TEXT)
                continue;
            const auto* text = sqlite3_column_text(stmt, column);
            const int size = sqlite3_column_bytes(stmt, column);
            for (int i = 0; i < size; ++i)
                if (!nocaseAgrees(text[i]))
                    return false;
        }
        return true;
    }

private:
    int texts_;
};

} // namespace

bool Recordset::Impl::readKeys(Database::Impl& db, const QString& sql, int stride, int texts,
                               int limit, std::vector<qint64>* keys, bool* jetOrder,
                               const QString& context) {
    // The server orders texts as the program does: its keys need no check.
    if (db.server)
        return serverReadKeys(db, sql, stride, limit, keys, context);
    sqlite3_stmt* stmt = nullptr;
    if (!db.prepare(sql, &stmt, false, context))
        return false;
    if (limit > 0)
        sqlite3_bind_int(stmt, 1, limit);
    NocaseOrderCheck check(texts);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < stride; ++i)
            keys->push_back(
                sqlite3_column_type(stmt, i) == SQLITE_NULL ? 0 : sqlite3_column_int64(stmt, i));
        if (texts > 0 && !check.next(stmt, stride)) {
            *jetOrder = false;
            break;
        }
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        db.raise(rc, false, context);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// A keyset read in parts

bool Recordset::Impl::readLastKeys() {
    qint64 total = 0;
    if (db->server) {
        if (!serverCount(*db, countSql, &total))
            return false;
    } else {
        sqlite3_stmt* stmt = nullptr;
        if (!db->prepare(countSql, &stmt, false, selectSql))
            return false;
        const int rc = sqlite3_step(stmt);
        total = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
        sqlite3_finalize(stmt);
        if (rc != SQLITE_ROW) {
            db->raise(rc, false, selectSql);
            return false;
        }
    }
    if (total <= qint64(gapBegin) + 2 * ReadAheadRows)
        return completeKeys();
    std::vector<qint64> last;
    bool jetOrder = true;
    if (!readKeys(*db, lastKeysSql, 1, orderTexts, ReadAheadRows, &last, &jetOrder, selectSql))
        return false;
    // Rows not in Jet's order, or a last row among the first ones (the table changed since
    // they were read): the whole keyset is read instead.
    bool overlaps = !jetOrder || last.size() < size_t(ReadAheadRows);
    for (size_t i = 0; !overlaps && i < last.size(); ++i)
        overlaps = std::find(keys.cbegin(), keys.cend(), last[i]) != keys.cend();
    if (overlaps)
        return completeKeys();
    gapEnd = int(total) - int(last.size());
    keys.resize(size_t(gapEnd), 0);
    keys.insert(keys.end(), last.rbegin(), last.rend());
    sizeKnown = true;
    batch.clear();
    return true;
}

bool Recordset::Impl::completeKeys(int* target, int step) {
    std::vector<qint64> all;
    bool jetOrder = true;
    if (!readKeys(*db, keysSql, 1, orderTexts, 0, &all, &jetOrder, selectSql))
        return false;
    const int n = count();
    const int oldGapEnd = sizeKnown ? gapEnd : gapBegin;
    int newPos = pos;
    int newTarget = target ? *target : 0;
    if (!jetOrder) {
        // Texts that NOCASE does not order as Jet does: every key in Jet's order, the cursor
        // on its row.
        all.clear();
        if (!readKeys(*db, exactKeysSql, 1, 0, 0, &all, &jetOrder, selectSql))
            return false;
        if (pos >= 0 && pos < n && !inGap(pos)) {
            auto at = std::find(all.begin(), all.end(), keys[size_t(pos)]);
            if (at == all.end()) // deleted meanwhile: it stays, to read as deleted
                at = all.insert(all.begin() + qMin(qsizetype(pos), qsizetype(all.size())),
                                keys[size_t(pos)]);
            newPos = int(at - all.begin());
        } else if (pos >= n) {
            newPos = int(all.size());
        }
        newTarget = newPos + (newTarget - pos);
        keys.swap(all);
    } else {
        // The rows between the last of the first keys and the first of the last ones that
        // were not read yet. Rows added since the first keys were read among those are
        // left out, as they would have been had the keyset been read whole at open.
        const std::set<qint64> known(keys.cbegin(), keys.cbegin() + gapBegin);
        std::set<qint64> lastKnown;
        size_t begin = 0;
        for (int i = gapBegin - 1; i >= 0; --i) {
            const auto at = std::find(all.cbegin(), all.cend(), keys[size_t(i)]);
            if (at != all.cend()) {
                begin = size_t(at - all.cbegin()) + 1;
                break;
            }
        }
        size_t end = all.size();
        for (int i = oldGapEnd; i < n; ++i) {
            lastKnown.insert(keys[size_t(i)]);
            const auto at = std::find(all.cbegin() + qsizetype(begin), all.cend(), keys[size_t(i)]);
            if (at != all.cend() && end == all.size())
                end = size_t(at - all.cbegin());
        }
        std::vector<qint64> merged(keys.cbegin(), keys.cbegin() + gapBegin);
        for (size_t i = begin; i < end; ++i)
            if (!known.count(all[i]) && !lastKnown.count(all[i]))
                merged.push_back(all[i]);
        const int newGapEnd = int(merged.size());
        merged.insert(merged.end(), keys.cbegin() + oldGapEnd, keys.cend());
        const int shift = newGapEnd - oldGapEnd;
        auto moved = [&](int index) {
            return index >= oldGapEnd && sizeKnown ? index + shift : index;
        };
        newPos = moved(pos);
        newTarget = step < 0 && inGap(newTarget) ? newGapEnd - 1 : moved(newTarget);
        keys.swap(merged);
    }
    pos = newPos;
    if (target)
        *target = newTarget;
    complete = sizeKnown = true;
    gapBegin = gapEnd = 0;
    batch.clear();
    return true;
}

} // namespace tavrel
