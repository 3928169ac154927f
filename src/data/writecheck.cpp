// The type check of SQL writes: an insert or update statement may write into a column only
// what a recordset may (Recordset::setValue), so that text in a date or number column, or a
// number too large for a 16-bit column, is refused with the type-mismatch error and nothing
// of the statement is kept.

#include "data/database_p.h"

#include <QDateTime>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace tavrel::detail {

namespace {

// The bits of an integer column, from its declared type (0 for no limit of ours).
int integerBits(const QString& declared) {
    if (declared == QLatin1String("BYTE") || declared == QLatin1String("TINYINT"))
        return 8;
    if (declared == QLatin1String("SHORT") || declared == QLatin1String("SMALLINT") ||
        declared == QLatin1String("INTEGER2"))
        return 16;
    if (declared.contains(QLatin1String("BIG")) || declared == QLatin1String("INT8"))
        return 0;
    return 32; // LONG, COUNTER, INT, INTEGER: Jet's long integers and counters
}

QString upperType(const char* declType) {
    QString t = QString::fromUtf8(declType ? declType : "").toUpper();
    const qsizetype paren = t.indexOf(QLatin1Char('('));
    if (paren >= 0)
        t.truncate(paren);
    return t.trimmed();
}

bool inIntegerRange(double value, int bits) {
    if (bits == 0)
        return std::fabs(value) < 9.2e18;
    if (bits == 8)
        return value >= 0 && value <= 255;
    const double limit = std::ldexp(1.0, bits - 1);
    return value >= -limit && value <= limit - 1;
}

QString kindText(ValueKind kind) {
    switch (kind) {
    case ValueKind::Date:
        return QStringLiteral("a date");
    case ValueKind::Bool:
        return QStringLiteral("a yes/no value");
    default:
        return QStringLiteral("a number");
    }
}

// The name a token of a statement's column list or SET clause gives.
QString nameOf(const Token& t) {
    return t.isName() ? t.text : QString();
}

} // namespace

bool WriteCheck::fits(sqlite3_value* value, const Column& column) {
    const int type = sqlite3_value_type(value);
    if (type == SQLITE_NULL)
        return true;
    const bool number = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    switch (column.kind) {
    case ValueKind::Integer:
        return number && inIntegerRange(sqlite3_value_double(value), column.bits);
    case ValueKind::Double:
        if (!number || !std::isfinite(sqlite3_value_double(value)))
            return false;
        return !column.single || std::fabs(sqlite3_value_double(value)) <= FLT_MAX;
    case ValueKind::Currency:
    case ValueKind::Bool:
        return number && std::isfinite(sqlite3_value_double(value));
    case ValueKind::Date: {
        if (type != SQLITE_TEXT)
            return false;
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const int length = sqlite3_value_bytes(value);
        // yyyy-MM-dd, as the program stores every date, is read from its digits.
        if (length == 10 && text[4] == '-' && text[7] == '-') {
            int digits[8];
            int n = 0;
            for (int i = 0; i < 10 && n < 8; ++i)
                if (i != 4 && i != 7 && text[i] >= '0' && text[i] <= '9')
                    digits[n++] = text[i] - '0';
            if (n == 8)
                return QDate::isValid(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 +
                                          digits[3],
                                      digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
        }
        QVariant ignored;
        return dateFromIsoText(QString::fromUtf8(text, length), &ignored);
    }
    case ValueKind::Text:
    case ValueKind::Auto:
        return true;
    }
    return true;
}

WriteCheck::WriteCheck(sqlite3* db, const Tokens& tokens)
    : db_(db) {
    QStringList written;
    if (!writtenColumns(tokens, &table_, &written))
        return;
    sqlite3_stmt* info = nullptr;
    const QByteArray pragma =
        QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(table_)).toUtf8();
    if (sqlite3_prepare_v2(db, pragma.constData(), -1, &info, nullptr) != SQLITE_OK) {
        sqlite3_finalize(info);
        return;
    }
    while (sqlite3_step(info) == SQLITE_ROW) {
        const QString name = text(sqlite3_column_text(info, 1));
        if (!written.isEmpty() && !written.contains(name, Qt::CaseInsensitive))
            continue;
        const char* declType = reinterpret_cast<const char*>(sqlite3_column_text(info, 2));
        Column column;
        column.name = name;
        column.kind = valueKindFor(declType);
        column.bits = integerBits(upperType(declType));
        column.single = upperType(declType) == QLatin1String("SINGLE");
        if (column.kind != ValueKind::Text && column.kind != ValueKind::Auto)
            columns_.append(column);
    }
    sqlite3_finalize(info);
    if (columns_.isEmpty())
        return;
    QStringList quoted;
    for (const Column& c : std::as_const(columns_))
        quoted << quoteIdent(c.name);
    // The key first: a run of written rows is read in one range, skipping keys not written.
    const QByteArray read = QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid BETWEEN ?1 AND ?2")
                                .arg(quoted.join(QLatin1String(", ")), quoteIdent(table_))
                                .toUtf8();
    if (sqlite3_prepare_v2(db, read.constData(), -1, &read_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(read_);
        read_ = nullptr;
        return;
    }
    tableUtf8_ = table_.toUtf8();
    sqlite3_update_hook(db, &WriteCheck::rowWritten, this);
    hooked_ = true;
}

WriteCheck::~WriteCheck() {
    if (hooked_)
        sqlite3_update_hook(db_, nullptr, nullptr);
    sqlite3_finalize(read_);
}

void WriteCheck::rowWritten(void* self, int op, const char*, const char* table,
                            sqlite3_int64 rowid) {
    auto* check = static_cast<WriteCheck*>(self);
    if ((op == SQLITE_INSERT || op == SQLITE_UPDATE) &&
        sqlite3_stricmp(table, check->tableUtf8_.constData()) == 0)
        check->rows_.push_back(rowid);
}

std::optional<DbError> WriteCheck::mismatch(const QString& sql) {
    if (!hooked_)
        return std::nullopt;
    sqlite3_update_hook(db_, nullptr, nullptr);
    hooked_ = false;
    // The rows in key order; where they lie close together (a generated year, an update of
    // a whole table) they are read in one pass over their range instead of one look-up each.
    std::sort(rows_.begin(), rows_.end());
    rows_.erase(std::unique(rows_.begin(), rows_.end()), rows_.end());
    const bool dense = !rows_.empty() &&
                       quint64(rows_.back()) - quint64(rows_.front()) < 2 * quint64(rows_.size());
    std::size_t next = 0;
    while (next < rows_.size()) {
        sqlite3_reset(read_);
        sqlite3_bind_int64(read_, 1, rows_[next]);
        sqlite3_bind_int64(read_, 2, dense ? rows_.back() : rows_[next]);
        if (!dense)
            ++next;
        while (sqlite3_step(read_) == SQLITE_ROW) {
            if (dense) {
                const sqlite3_int64 key = sqlite3_column_int64(read_, 0);
                while (next < rows_.size() && rows_[next] < key)
                    ++next;
                const bool written = next < rows_.size() && rows_[next] == key;
                if (!written)
                    continue; // a row the statement left alone
                ++next;
            }
            for (int i = 0; i < columns_.size(); ++i) {
                sqlite3_value* value = sqlite3_column_value(read_, i + 1);
                if (fits(value, columns_.at(i)))
                    continue;
                const QString shown =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                      sqlite3_value_bytes(value));
                const Column& column = columns_.at(i);
                sqlite3_reset(read_);
                // The statement is for a technician: it goes into the details.
                return DbError{ErrTypeMismatch,
                               QStringLiteral("Type mismatch: field '%1' takes %2, not '%3'.")
                                   .arg(column.name, kindText(column.kind), shown),
                               QStringLiteral("In: ") + sql};
            }
        }
        if (dense)
            break;
    }
    sqlite3_reset(read_);
    return std::nullopt;
}

// The table an insert or update writes and the columns it names (none: every column, as an
// insert without a column list writes them all). False for any other statement.
// One piece: one scan of an insert's or update's tokens with a shared position.
bool WriteCheck::writtenColumns(const Tokens& t, QString* table, QStringList* columns) {
    qsizetype i = 0;
    const auto skipConflictClause = [&] {
        if (i + 1 < t.size() && t.at(i).isWord("or"))
            i += 2;
    };
    // A table name, maybe after its schema's.
    const auto readTable = [&]() -> bool {
        if (i >= t.size() || !t.at(i).isName())
            return false;
        *table = t.at(i).text;
        ++i;
        if (i + 1 < t.size() && t.at(i).isOp(".") && t.at(i + 1).isName()) {
            *table = t.at(i + 1).text;
            i += 2;
        }
        return true;
    };
    if (t.isEmpty())
        return false;
    if (t.first().isWord("insert") || t.first().isWord("replace")) {
        i = 1;
        skipConflictClause();
        if (i < t.size() && t.at(i).isWord("into"))
            ++i;
        if (!readTable())
            return false;
        if (i + 1 < t.size() && t.at(i).isWord("as"))
            i += 2;
        if (i < t.size() && t.at(i).isOp("(")) {
            for (++i; i < t.size() && !t.at(i).isOp(")"); ++i)
                if (!nameOf(t.at(i)).isEmpty())
                    columns->append(t.at(i).text);
        }
        return true;
    }
    if (!t.first().isWord("update"))
        return false;
    i = 1;
    skipConflictClause();
    if (!readTable())
        return false;
    while (i < t.size() && !t.at(i).isWord("set"))
        ++i; // an alias
    // Each assignment starts the clause or follows a comma outside parentheses: a column, a
    // qualified one, or a parenthesised list of them.
    int depth = 0;
    bool startOfAssignment = true;
    for (++i; i < t.size(); ++i) {
        const Token& token = t.at(i);
        if (depth == 0 &&
            (token.isWord("where") || token.isWord("from") || token.isWord("returning") ||
             token.isWord("order") || token.isWord("limit")))
            break;
        if (startOfAssignment) {
            startOfAssignment = false;
            if (token.isOp("(")) {
                for (++i; i < t.size() && !t.at(i).isOp(")"); ++i)
                    if (t.at(i).isName())
                        columns->append(t.at(i).text);
                continue;
            }
            if (token.isName()) {
                QString name = token.text;
                if (i + 2 < t.size() && t.at(i + 1).isOp(".") && t.at(i + 2).isName()) {
                    name = t.at(i + 2).text;
                    i += 2;
                }
                columns->append(name);
            }
            continue;
        }
        if (token.isOp("("))
            ++depth;
        else if (token.isOp(")"))
            --depth;
        else if (depth == 0 && token.isOp(","))
            startOfAssignment = true;
    }
    // An update whose columns could not be read is checked on every typed column.
    return true;
}

} // namespace tavrel::detail
