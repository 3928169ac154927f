// Rows of a damaged database file read straight from its pages, following SQLite's
// documented file format: the 100-byte file header on page 1, b-tree page headers, cell
// pointer arrays, table leaf cells (payload size, rowid, payload, overflow chain) and
// records (header of serial types, then the values).

#include "data/pagescan_p.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tavrel::detail {

namespace {

constexpr int FileHeaderSize = 100;
constexpr int PageSizeOffset = 16;
constexpr int ReservedBytesOffset = 20;
constexpr int ChangeCounterOffset = 24;
constexpr int PageCountOffset = 28;
constexpr int FirstTrunkOffset = 32;
constexpr int EncodingOffset = 56;
constexpr int ValidForOffset = 92;
constexpr quint32 DefaultPageSize = 4096;
constexpr quint32 SmallestPageSize = 512;
constexpr quint32 LargestPageSize = 65536;
// The smallest usable page size the format allows.
constexpr quint32 SmallestUsableSize = 480;
constexpr uchar TableLeafPage = 0x0D;
constexpr int LeafHeaderSize = 8;
constexpr int CellCountOffset = 3;
// A column of one of these types stands for the key when it is the whole primary key.
constexpr auto RowidAliasType = "INTEGER";
// Rows written before a column was added to their table lack its value; tables gain
// columns only at the end, and a few at most.
constexpr int MostAddedColumns = 4;
// A row shorter than its table is taken only while it keeps this many values: a shorter
// one would fit the start of too many tables.
constexpr int FewestValuesOfShortRow = 6;

quint32 be16(const uchar* p) {
    return quint32(p[0]) << 8 | p[1];
}

quint32 be32(const uchar* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// Reads a varint; the number of bytes it took, or 0 when it runs past `end`.
int readVarint(const uchar* p, const uchar* end, quint64* value) {
    constexpr int LongestVarint = 9;
    quint64 v = 0;
    for (int i = 0; i < LongestVarint - 1; ++i) {
        if (p + i >= end)
            return 0;
        v = v << 7 | (p[i] & 0x7F);
        if (!(p[i] & 0x80)) {
            *value = v;
            return i + 1;
        }
    }
    if (p + LongestVarint - 1 >= end)
        return 0;
    *value = v << 8 | p[LongestVarint - 1];
    return LongestVarint;
}

// Decodes a record of `size` bytes; false when it is not one.
bool decodeRecord(const uchar* p, quint64 size, StoredRow* row) {
    const uchar* const end = p + size;
    quint64 headerSize = 0;
    const int first = readVarint(p, end, &headerSize);
    if (first == 0 || headerSize < quint64(first) || headerSize > size)
        return false;
    const uchar* type = p + first;
    const uchar* const typesEnd = p + headerSize;
    const uchar* body = typesEnd;
    row->values.clear();
    while (type < typesEnd) {
        quint64 serial = 0;
        const int n = readVarint(type, typesEnd, &serial);
        if (n == 0)
            return false;
        type += n;
        StoredValue v;
        quint64 length = 0;
        static constexpr int IntegerLength[] = {0, 1, 2, 3, 4, 6, 8};
        if (serial == 0) {
            v.kind = StoredValue::Kind::Null;
        } else if (serial <= 6) {
            length = quint64(IntegerLength[serial]);
            if (quint64(end - body) < length)
                return false;
            qint64 x = (body[0] & 0x80) ? -1 : 0; // sign-extended big-endian
            for (quint64 i = 0; i < length; ++i)
                x = qint64(quint64(x) << 8 | body[i]);
            v.kind = StoredValue::Kind::Integer;
            v.integer = x;
        } else if (serial == 7) {
            length = 8;
            if (end - body < 8)
                return false;
            quint64 bits = 0;
            for (int i = 0; i < 8; ++i)
                bits = bits << 8 | body[i];
            v.kind = StoredValue::Kind::Real;
            std::memcpy(&v.real, &bits, sizeof bits);
        } else if (serial == 8 || serial == 9) {
            v.kind = StoredValue::Kind::Integer;
            v.integer = qint64(serial - 8);
        } else if (serial >= 12) {
            length = (serial - 12) / 2;
            if (quint64(end - body) < length)
                return false;
            v.kind = serial % 2 ? StoredValue::Kind::Text : StoredValue::Kind::Blob;
            v.data = reinterpret_cast<const char*>(body);
            v.size = int(length);
        } else {
            return false; // 10 and 11 are reserved
        }
        body += length;
        row->values.push_back(v);
    }
    // A record's values fill its payload exactly.
    return type == typesEnd && body == end;
}

bool accepts(TableShape::Column column, StoredValue::Kind kind) {
    using K = StoredValue::Kind;
    using C = TableShape::Column;
    if (kind == K::Null)
        return true;
    switch (column) {
    case C::RowidAlias:
        return false; // stored as null: the key is the rowid
    case C::Integer:
    case C::Number:
        return kind == K::Integer || kind == K::Real;
    case C::Date:
        return kind == K::Text; // dates are kept as ISO text
    case C::Text:
        return kind == K::Text || kind == K::Blob;
    case C::Any:
        return true;
    }
    return false;
}

TableShape::Column columnKind(const QString& declared) {
    using C = TableShape::Column;
    const QString t = declared.toUpper();
    const auto has = [&t](const char* part) { return t.contains(QLatin1String(part)); };
    // Texts first: LONGTEXT is a text.
    if (has("CHAR") || has("CLOB") || has("TEXT") || has("MEMO"))
        return C::Text;
    if (has("DATE") || has("TIME"))
        return C::Date;
    if (has("INT") || has("LONG") || has("SHORT") || has("BIT") || has("COUNTER") || has("BYTE") ||
        has("YESNO"))
        return C::Integer;
    if (has("SINGLE") || has("DOUB") || has("FLOA") || has("REAL") || has("CURRENCY") ||
        has("NUMERIC") || has("DECIMAL"))
        return C::Number;
    return C::Any;
}

} // namespace

TableShape::TableShape(const QString& table, const QStringList& columns,
                       const QStringList& declared, const QList<bool>& isKey,
                       const QList<bool>& notNull)
    : table_(table)
    , columns_(columns) {
    const auto keys = std::count(isKey.begin(), isKey.end(), true);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString type = declared.value(i).trimmed();
        // A key other than the rowid is never null in our files, though SQLite allows it.
        nullable_.push_back(!notNull.value(i) && !isKey.value(i));
        if (keys == 1 && isKey.value(i) &&
            type.compare(QLatin1String(RowidAliasType), Qt::CaseInsensitive) == 0) {
            alias_ = int(i);
            kinds_.push_back(Column::RowidAlias);
        } else {
            kinds_.push_back(columnKind(type));
        }
    }
}

bool TableShape::fits(const StoredRow& row) const {
    const auto n = int(row.values.size());
    const auto all = int(kinds_.size());
    if (n > all || n == 0 ||
        (n < all && (n < all - MostAddedColumns || n < FewestValuesOfShortRow)))
        return false;
    for (int i = 0; i < n; ++i) {
        const StoredValue::Kind kind = row.values[size_t(i)].kind;
        if (kind == StoredValue::Kind::Null ? !nullable_[size_t(i)] && i != alias_
                                            : !accepts(kinds_[size_t(i)], kind))
            return false;
    }
    return true;
}

PageFile::PageFile(const QString& path)
    : file_(path) {
    if (!file_.open(QIODevice::ReadOnly))
        return;
    const qint64 size = file_.size();
    if (size < FileHeaderSize)
        return;
    data_ = file_.map(0, size);
    if (!data_) {
        read_ = file_.readAll();
        data_ = reinterpret_cast<const uchar*>(read_.constData());
    }
    // The header is the likeliest part to be damaged: a page size it does not give
    // plainly is taken to be the default.
    quint32 pageSize = be16(data_ + PageSizeOffset);
    if (pageSize == 1)
        pageSize = LargestPageSize;
    if (pageSize < SmallestPageSize || pageSize > LargestPageSize || (pageSize & (pageSize - 1)))
        pageSize = DefaultPageSize;
    pageSize_ = pageSize;
    usable_ = pageSize - data_[ReservedBytesOffset];
    if (usable_ < SmallestUsableSize)
        usable_ = pageSize;
    const int encoding = data_[EncodingOffset + 3];
    encoding_ = encoding >= 1 && encoding <= 3 ? encoding : 1;
    pages_ = quint32(qMin<qint64>(size / pageSize, std::numeric_limits<quint32>::max()));
    // The header's page count holds only while it was written with the change counter.
    const quint32 counted = be32(data_ + PageCountOffset);
    if (counted > 0 && be32(data_ + ChangeCounterOffset) == be32(data_ + ValidForOffset))
        pages_ = qMin(pages_, counted);

    // Pages of the freelist: trunk pages list leaf pages; both keep deleted rows.
    free_.assign(size_t(pages_) + 1, false);
    const quint32 leavesPerTrunk = usable_ / 4 - 2;
    quint32 trunk = be32(data_ + FirstTrunkOffset);
    for (quint32 seen = 0; trunk >= 1 && trunk <= pages_ && !free_[trunk] && seen < pages_;
         ++seen) {
        free_[trunk] = true;
        const uchar* p = page(trunk);
        const quint32 leaves = be32(p + 4);
        for (quint32 i = 0; i < qMin(leaves, leavesPerTrunk); ++i) {
            const quint32 leaf = be32(p + 8 + 4 * i);
            if (leaf >= 1 && leaf <= pages_)
                free_[leaf] = true;
        }
        trunk = be32(p);
    }
}

const uchar* PageFile::page(quint32 number) const {
    return data_ + qint64(number - 1) * pageSize_;
}

std::vector<quint32> PageFile::tableLeafPages() const {
    std::vector<quint32> found;
    for (quint32 n = 1; data_ && n <= pages_; ++n)
        if (!free_[n] && page(n)[n == 1 ? FileHeaderSize : 0] == TableLeafPage)
            found.push_back(n);
    return found;
}

bool PageFile::readOverflow(quint64 size, quint32 firstOverflow, QByteArray* out) const {
    quint64 left = size;
    quint32 next = firstOverflow;
    for (quint32 hops = 0; left > 0; ++hops) {
        if (next < 1 || next > pages_ || free_[next] || hops >= pages_)
            return false;
        const uchar* p = page(next);
        const quint64 take = qMin<quint64>(left, usable_ - 4);
        out->append(reinterpret_cast<const char*>(p + 4), qsizetype(take));
        left -= take;
        next = be32(p);
    }
    return true;
}

void PageFile::forEachRow(quint32 number, const std::function<void(const StoredRow&)>& row) const {
    if (!data_ || number < 1 || number > pages_)
        return;
    const uchar* const p = page(number);
    const quint32 header = number == 1 ? FileHeaderSize : 0;
    if (p[header] != TableLeafPage)
        return;
    const quint32 cells = be16(p + header + CellCountOffset);
    const quint32 pointers = header + LeafHeaderSize;
    if (pointers + 2 * cells > usable_)
        return;
    const uchar* const end = p + usable_;
    // Where a payload spills onto overflow pages (the format's own thresholds).
    const quint64 maxLocal = usable_ - 35;
    const quint64 minLocal = (quint64(usable_) - 12) * 32 / 255 - 23;
    StoredRow decoded;
    QByteArray assembled;
    bool any = false;
    qint64 last = 0;
    for (quint32 i = 0; i < cells; ++i) {
        const quint32 offset = be16(p + pointers + 2 * i);
        if (offset < pointers + 2 * cells || offset >= usable_)
            continue;
        const uchar* cell = p + offset;
        quint64 payload = 0;
        quint64 rowid = 0;
        int n = readVarint(cell, end, &payload);
        if (n == 0)
            continue;
        cell += n;
        n = readVarint(cell, end, &rowid);
        if (n == 0)
            continue;
        cell += n;
        quint64 local = payload;
        if (payload > maxLocal) {
            const quint64 k = minLocal + (payload - minLocal) % (usable_ - 4);
            local = k <= maxLocal ? k : minLocal;
        }
        const quint64 room = quint64(end - cell);
        if (local > room || (local < payload && local + 4 > room))
            continue;
        const uchar* record = cell;
        if (local < payload) {
            // The overflow chain cannot hold more than the file does.
            if (payload - local > quint64(pages_) * (usable_ - 4))
                continue;
            assembled.resize(0);
            assembled.append(reinterpret_cast<const char*>(cell), qsizetype(local));
            if (!readOverflow(payload - local, be32(cell + local), &assembled))
                continue;
            record = reinterpret_cast<const uchar*>(assembled.constData());
        }
        // A leaf's cells are in key order: a cell out of it is garbage on a damaged page.
        if ((any && qint64(rowid) <= last) || !decodeRecord(record, payload, &decoded))
            continue;
        decoded.rowid = qint64(rowid);
        any = true;
        last = decoded.rowid;
        row(decoded);
    }
}

} // namespace tavrel::detail
