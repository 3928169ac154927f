#include "legacy/mdbreader.h"

#include <QFile>

#include <cstdio>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

// libmdb's header uses glib's types without including glib itself.
#include <glib.h>

#include <mdbtools.h>

namespace tavrel {

namespace {

// Room for one value as text. Memos of the earlier program hold at most 65535 characters,
// three bytes each in UTF-8 at worst; a value that fills the room was cut short.
constexpr size_t BindBytes = 65535 * 3 + 1;

LegacyType legacyType(int mdbType) {
    switch (mdbType) {
    case MDB_BOOL:
        return LegacyType::Boolean;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        return LegacyType::Integer;
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
        return LegacyType::Number;
    case MDB_MONEY:
        return LegacyType::Currency;
    case MDB_DATETIME:
        return LegacyType::Date;
    case MDB_TEXT:
    case MDB_MEMO:
        return LegacyType::Text;
    default:
        return LegacyType::Other;
    }
}

// Currency as libmdb writes it ("-12.3400"), read back exactly in ten-thousandths.
std::optional<qlonglong> tenThousandths(const QByteArray& text) {
    constexpr int Decimals = 4;
    QByteArray digits = text.trimmed();
    const bool negative = digits.startsWith('-');
    if (negative)
        digits.remove(0, 1);
    const qsizetype point = digits.indexOf('.');
    QByteArray whole = point < 0 ? digits : digits.left(point);
    QByteArray fraction = point < 0 ? QByteArray() : digits.mid(point + 1);
    if (fraction.size() > Decimals)
        return std::nullopt;
    fraction = fraction.leftJustified(Decimals, '0');
    bool ok = false;
    const qlonglong value =
        (whole.isEmpty() ? QByteArray("0") : whole).append(fraction).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return negative ? -value : value;
}

// libmdb writes its own diagnostics ("Unknown Jet version", page numbers of a damaged
// file) straight to standard error, where a scheduled job would mail them beside the
// program's one clear message. While a libmdb call runs, standard error goes nowhere; the
// call's failure is reported by the program itself.
class QuietLibrary {
public:
    QuietLibrary() {
#ifdef Q_OS_UNIX
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
#endif
    }
    ~QuietLibrary() {
#ifdef Q_OS_UNIX
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
#endif
    }
    QuietLibrary(const QuietLibrary&) = delete;
    QuietLibrary& operator=(const QuietLibrary&) = delete;

private:
    int saved_ = -1;
};

MdbColumn* columnAt(MdbTableDef* table, unsigned int i) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

} // namespace

struct MdbReader::Impl {
    MdbHandle* mdb = nullptr;
    QList<LegacyTable> tables;

    MdbCatalogEntry* entryFor(const QString& name) const {
        for (unsigned int i = 0; i < mdb->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry) &&
                QString::fromUtf8(entry->object_name) == name)
                return entry;
        }
        return nullptr;
    }
};

MdbReader::MdbReader(const QString& path)
    : d(std::make_unique<Impl>()) {
    // Reading the catalogue and the tables' columns is libmdb's work alone.
    const QuietLibrary quiet;
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        return;
    if (!mdb_read_catalog(d->mdb, MDB_TABLE)) {
        mdb_close(d->mdb);
        d->mdb = nullptr;
        return;
    }
    mdb_set_bind_size(d->mdb, BindBytes);
    for (unsigned int i = 0; i < d->mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        MdbTableDef* table = mdb_read_table(entry);
        if (!table)
            continue;
        mdb_read_columns(table);
        LegacyTable described{QString::fromUtf8(entry->object_name), {}};
        for (unsigned int c = 0; c < table->num_cols; ++c) {
            MdbColumn* col = columnAt(table, c);
            described.columns << LegacyColumn{QString::fromUtf8(col->name),
                                              legacyType(col->col_type)};
        }
        mdb_free_tabledef(table);
        d->tables << described;
    }
}

MdbReader::~MdbReader() {
    const QuietLibrary quiet;
    if (d->mdb)
        mdb_close(d->mdb);
}

bool MdbReader::isOpen() const {
    return d->mdb != nullptr;
}

QList<LegacyTable> MdbReader::tables() const {
    return d->tables;
}

// One piece: libmdb's table, column bindings and row buffers are set up, read and freed
// together.
bool MdbReader::readRows(const QString& name, const RowFn& row, const UnreadableFn& unreadable) {
    MdbCatalogEntry* entry = d->mdb ? d->entryFor(name) : nullptr;
    MdbTableDef* table = nullptr;
    {
        const QuietLibrary quiet;
        table = entry ? mdb_read_table(entry) : nullptr;
        if (table) {
            mdb_read_columns(table);
            mdb_rewind_table(table);
        }
    }
    if (!table)
        return false;
    const unsigned int count = table->num_cols;
    std::vector<std::vector<char>> buffers(count, std::vector<char>(BindBytes, 0));
    std::vector<int> lengths(count, 0);
    {
        const QuietLibrary quiet;
        for (unsigned int c = 0; c < count; ++c)
            mdb_bind_column(table, int(c) + 1, buffers[c].data(), &lengths[c]);
    }

    int rowNumber = 0;
    // Only the fetch is libmdb's: what the callbacks say must still be heard.
    const auto fetch = [table] {
        const QuietLibrary quiet;
        return mdb_fetch_row(table);
    };
    while (fetch()) {
        ++rowNumber;
        QList<QVariant> values;
        QString problem;
        for (unsigned int c = 0; c < count; ++c) {
            MdbColumn* col = columnAt(table, c);
            const QByteArray text(buffers[c].data(), lengths[c]);
            const LegacyType type = legacyType(col->col_type);
            if (type == LegacyType::Boolean) {
                values << QVariant(text == "1");
                continue;
            }
            // libmdb gives an empty text and a null alike: both are an empty value.
            if (lengths[c] == 0 || type == LegacyType::Other) {
                values << QVariant();
                continue;
            }
            // Fixed-size numbers are read as stored, not through libmdb's text of them.
            const int start = col->cur_value_start;
            switch (col->col_type) {
            case MDB_DATETIME:
                values << QVariant(mdb_get_double(d->mdb->pg_buf, start));
                break;
            case MDB_FLOAT:
                values << QVariant(double(mdb_get_single(d->mdb->pg_buf, start)));
                break;
            case MDB_DOUBLE:
                values << QVariant(mdb_get_double(d->mdb->pg_buf, start));
                break;
            case MDB_MONEY:
                if (const auto amount = tenThousandths(text)) {
                    values << QVariant(*amount);
                } else {
                    values << QVariant();
                    problem = QStringLiteral("%1 holds an amount that cannot be read (%2)")
                                  .arg(QString::fromUtf8(col->name), QString::fromUtf8(text));
                }
                break;
            case MDB_NUMERIC:
                values << QVariant(text.toDouble());
                break;
            case MDB_BYTE:
            case MDB_INT:
            case MDB_LONGINT:
                values << QVariant(text.toLongLong());
                break;
            default:
                values << QVariant(QString::fromUtf8(text));
                if (size_t(lengths[c]) + 1 >= BindBytes)
                    problem = QStringLiteral("the text of %1 is longer than a memo can be")
                                  .arg(QString::fromUtf8(col->name));
                break;
            }
        }
        if (problem.isEmpty())
            row(values);
        else
            unreadable(rowNumber, problem);
    }
    {
        const QuietLibrary quiet;
        mdb_free_tabledef(table);
    }
    return true;
}

} // namespace tavrel
