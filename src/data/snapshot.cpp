// Static copies (snapshots, and results that are no table's rows): the rows copied into
// memory when the recordset opens, read back field by field, and put into a temporary
// database of their own when a find needs SQL on them.

#include "data/database.h"

#include "data/database_p.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/pgrecordset_p.h"

#include <cstring>
#include <limits>

namespace tavrel {

using namespace detail;

namespace {

// Rows to one buffer of a copy: large enough that allocations are few, small enough that a
// buffer never needs to move much as it grows.
constexpr int RowsPerChunk = 256;

// The tag byte of a copied value. Integers take the fewest bytes that hold them; a number
// of a column read as text keeps the text SQLite makes of it after the number.
enum Tag : char {
    TagNull,
    TagInt8,
    TagInt16,
    TagInt32,
    TagInt64,
    TagReal,
    TagText,
    TagBlob,
    TagIntText,
    TagRealText,
};

// Lengths of texts and blobs: one byte, or this byte and four more.
constexpr unsigned char LongLength = 0xFF;

using Chunk = std::vector<char>;

template <class T> void put(Chunk* out, T value) {
    const auto* bytes = reinterpret_cast<const char*>(&value);
    out->insert(out->end(), bytes, bytes + sizeof value);
}

template <class T> T get(const char** at) {
    T value;
    std::memcpy(&value, *at, sizeof value);
    *at += sizeof value;
    return value;
}

void putBytes(Chunk* out, const void* bytes, int size) {
    if (size < LongLength) {
        out->push_back(char(size));
    } else {
        out->push_back(char(LongLength));
        put(out, qint32(size));
    }
    const auto* chars = static_cast<const char*>(bytes);
    out->insert(out->end(), chars, chars + size);
}

void getBytes(const char** at, PlainValue* v) {
    const auto first = static_cast<unsigned char>(**at);
    ++*at;
    v->size = first < LongLength ? int(first) : int(get<qint32>(at));
    v->bytes = *at;
    *at += v->size;
}

void putInteger(Chunk* out, qint64 value, bool withText) {
    if (withText) {
        out->push_back(char(TagIntText));
        put(out, value);
    } else if (value >= std::numeric_limits<qint8>::min() &&
               value <= std::numeric_limits<qint8>::max()) {
        out->push_back(char(TagInt8));
        put(out, qint8(value));
    } else if (value >= std::numeric_limits<qint16>::min() &&
               value <= std::numeric_limits<qint16>::max()) {
        out->push_back(char(TagInt16));
        put(out, qint16(value));
    } else if (value >= std::numeric_limits<qint32>::min() &&
               value <= std::numeric_limits<qint32>::max()) {
        out->push_back(char(TagInt32));
        put(out, qint32(value));
    } else {
        out->push_back(char(TagInt64));
        put(out, value);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// PackedRows

void PackedRows::append(sqlite3_stmt* stmt, const std::vector<char>& asText) {
    columns_ = sqlite3_column_count(stmt);
    if (size() % RowsPerChunk == 0) {
        // Each buffer about the size of the one before it, so that it seldom grows.
        const size_t previous = chunks_.empty() ? 0 : chunks_.back().size();
        chunks_.emplace_back().reserve(previous + previous / 8);
    }
    Chunk& out = chunks_.back();
    starts_.push_back(out.size());
    for (int i = 0; i < columns_; ++i) {
        // One call on the statement per column; the value's own functions are cheaper.
        sqlite3_value* value = sqlite3_column_value(stmt, i);
        const int type = sqlite3_value_type(value);
        const bool number = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
        const bool withText = number && size_t(i) < asText.size() && asText[size_t(i)];
        switch (type) {
        case SQLITE_NULL:
            out.push_back(char(TagNull));
            break;
        case SQLITE_INTEGER:
            putInteger(&out, sqlite3_value_int64(value), withText);
            break;
        case SQLITE_FLOAT:
            out.push_back(char(withText ? TagRealText : TagReal));
            put(&out, sqlite3_value_double(value));
            break;
        case SQLITE_BLOB:
            out.push_back(char(TagBlob));
            putBytes(&out, sqlite3_value_blob(value), sqlite3_value_bytes(value));
            break;
        default:
            out.push_back(char(TagText));
            break;
        }
        // For a number, asked after it, so that the number is read as it was stored.
        if (type == SQLITE_TEXT || withText)
            putBytes(&out, sqlite3_value_text(value), sqlite3_value_bytes(value));
    }
}

void PackedRows::row(int index, std::vector<PlainValue>* values) const {
    values->resize(size_t(columns_));
    const char* at = chunks_[size_t(index / RowsPerChunk)].data() + starts_[size_t(index)];
    for (PlainValue& v : *values) {
        v = PlainValue();
        const Tag tag = Tag(*at++);
        switch (tag) {
        case TagNull:
            break;
        case TagInt8:
            v.type = SQLITE_INTEGER;
            v.integer = get<qint8>(&at);
            break;
        case TagInt16:
            v.type = SQLITE_INTEGER;
            v.integer = get<qint16>(&at);
            break;
        case TagInt32:
            v.type = SQLITE_INTEGER;
            v.integer = get<qint32>(&at);
            break;
        case TagInt64:
        case TagIntText:
            v.type = SQLITE_INTEGER;
            v.integer = get<qint64>(&at);
            break;
        case TagReal:
        case TagRealText:
            v.type = SQLITE_FLOAT;
            v.real = get<double>(&at);
            break;
        case TagText:
            v.type = SQLITE_TEXT;
            break;
        case TagBlob:
            v.type = SQLITE_BLOB;
            break;
        }
        if (v.type == SQLITE_INTEGER)
            v.real = double(v.integer);
        if (tag == TagText || tag == TagBlob || tag == TagIntText || tag == TagRealText)
            getBytes(&at, &v);
        if (tag == TagBlob && v.size == 0)
            v.bytes = nullptr; // as SQLite gives an empty blob
    }
}

void PackedRows::clear() {
    chunks_ = {};
    starts_ = {};
}

// ---------------------------------------------------------------------------------------
// Recordset::Impl

int Recordset::Impl::copyRows(sqlite3_stmt* source) {
    std::vector<char> asText(size_t(fields.size()), 0);
    for (int i = 0; i < fields.size(); ++i)
        asText[size_t(i)] = fields.at(i).kind == ValueKind::Text;
    int rc;
    while ((rc = sqlite3_step(source)) == SQLITE_ROW)
        copied.append(source, asText);
    // A damaged page ends the copy; the rows before it are kept.
    if (rc != SQLITE_DONE && errorNumberFor(rc, false, nullptr) == ErrDatabaseDamaged)
        copyDamage = db->errorFor(rc, false, selectSql);
    else if (rc != SQLITE_DONE)
        return rc;
    return SQLITE_DONE;
}

bool Recordset::Impl::checkCopied(int index) const {
    if (copyDamage && index >= copied.size()) {
        raiseError(*copyDamage);
        return false;
    }
    return true;
}

bool Recordset::Impl::readCopied(int field, QVariant* out) {
    if (server)
        return readServerCopied(*this, field, out);
    if (copiedRow != pos) {
        copied.row(pos, &copiedValues);
        copiedRow = pos;
    }
    *out = readPlain(copiedValues[size_t(field)], fields.at(field).kind);
    return true;
}

sqlite3* Recordset::Impl::findStore() {
    if (store)
        return store;
    auto fail = [&](const QString& what) {
        raiseError(ErrEngine, QStringLiteral("Could not copy the rows of '%1': %2 (%3).")
                                  .arg(selectSql, what,
                                       QString::fromUtf8(store ? sqlite3_errmsg(store) : "")));
        if (store)
            sqlite3_close_v2(store);
        store = nullptr;
        return nullptr;
    };
    // An empty name: a temporary file of its own, deleted when closed, that stays in
    // memory until it grows large.
    if (openConnection(QString(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &store) != SQLITE_OK)
        return fail(QStringLiteral("temporary storage"));
    sqlite3_exec(store, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr,
                 nullptr);
    const int columns = int(fields.size());
    QStringList names;
    QStringList params;
    for (int i = 0; i < columns; ++i) {
        names << QStringLiteral("c%1").arg(i);
        params << QStringLiteral("?%1").arg(i + 1);
    }
    const QString create =
        QStringLiteral("CREATE TABLE rows (%1)").arg(names.join(QLatin1String(", ")));
    if (sqlite3_exec(store, create.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("create"));
    sqlite3_stmt* insert = nullptr;
    const QString insertSql =
        QStringLiteral("INSERT INTO rows VALUES (%1)").arg(params.join(QLatin1String(", ")));
    if (sqlite3_prepare_v2(store, insertSql.toUtf8().constData(), -1, &insert, nullptr) !=
        SQLITE_OK)
        return fail(QStringLiteral("insert"));
    sqlite3_exec(store, "BEGIN", nullptr, nullptr, nullptr);
    std::vector<PlainValue> values;
    for (int r = 0; r < copied.size(); ++r) {
        copied.row(r, &values);
        for (int i = 0; i < columns; ++i) {
            const PlainValue& v = values[size_t(i)];
            switch (v.type) {
            case SQLITE_NULL:
                sqlite3_bind_null(insert, i + 1);
                break;
            case SQLITE_INTEGER:
                sqlite3_bind_int64(insert, i + 1, v.integer);
                break;
            case SQLITE_FLOAT:
                sqlite3_bind_double(insert, i + 1, v.real);
                break;
            case SQLITE_BLOB:
                sqlite3_bind_blob(insert, i + 1, v.bytes, v.size, SQLITE_STATIC);
                break;
            default:
                sqlite3_bind_text(insert, i + 1, v.bytes, v.size, SQLITE_STATIC);
                break;
            }
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            return fail(QStringLiteral("insert"));
        }
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(store, "COMMIT", nullptr, nullptr, nullptr);
    return store;
}

} // namespace tavrel
