#pragma once

// Reading a damaged database file page by page, after SQLite's documented file format:
// the rows of its table leaf pages, whatever is left of the b-trees above them.

#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace tavrel::detail {

// One value of a stored record. Texts and blobs point into the file or into the row's
// assembled payload and stay valid only while the row is being looked at.
struct StoredValue {
    enum class Kind : quint8 { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    const char* data = nullptr;
    int size = 0;
};

struct StoredRow {
    qint64 rowid = 0;
    std::vector<StoredValue> values;
};

// What each column of a table may hold, from its declared types: rows whose every value
// fits are this table's shape.
class TableShape {
public:
    enum class Column : quint8 { RowidAlias, Integer, Number, Date, Text, Any };

    // `declared`, `isKey` and `notNull` run parallel to `columns`; `isKey` marks primary
    // key columns, `notNull` those declared NOT NULL.
    TableShape(const QString& table, const QStringList& columns, const QStringList& declared,
               const QList<bool>& isKey, const QList<bool>& notNull);

    bool fits(const StoredRow& row) const;
    const QString& table() const { return table_; }
    const QStringList& columns() const { return columns_; }
    // The column that stands for the row's key, or -1.
    int rowidAlias() const { return alias_; }

private:
    QString table_;
    QStringList columns_;
    std::vector<Column> kinds_;
    std::vector<bool> nullable_;
    int alias_ = -1;
};

// A database file mapped for reading, its pages told apart by their headers.
class PageFile {
public:
    explicit PageFile(const QString& path);
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    bool isOpen() const { return data_ != nullptr; }
    // SQLite's text encoding number of the file (1 UTF-8, 2 UTF-16le, 3 UTF-16be).
    int textEncoding() const { return encoding_; }
    // Every table leaf page that is not on the freelist (whose pages keep deleted rows).
    std::vector<quint32> tableLeafPages() const;
    // Calls `row` for each cell of table leaf page `page` that decodes as a whole record,
    // overflow pages included.
    void forEachRow(quint32 page, const std::function<void(const StoredRow&)>& row) const;

private:
    const uchar* page(quint32 number) const;
    // Appends `size` bytes of an overflow chain to `out`; false where the chain breaks.
    bool readOverflow(quint64 size, quint32 firstOverflow, QByteArray* out) const;

    QFile file_;
    const uchar* data_ = nullptr;
    QByteArray read_; // the file's bytes where it cannot be mapped
    quint32 pageSize_ = 0;
    quint32 usable_ = 0;
    quint32 pages_ = 0;
    int encoding_ = 1;
    std::vector<bool> free_;
};

} // namespace tavrel::detail
