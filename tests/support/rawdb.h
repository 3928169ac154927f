#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct sqlite3;

namespace tavrel::test {

// Rows by key, each row as its values' storage classes and bytes: equal when every value
// is stored alike.
using RawRows = QMap<qint64, QByteArray>;

// A connection of the test's own to a database file, read-only unless `write`, so that
// what a test sets up below the program or checks afterwards never goes through the code
// under test.
class RawDb {
public:
    explicit RawDb(const QString& path, bool write = false);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool exec(const QString& sql) const;
    // Every row of the query, its columns joined by "|", each as "storage class:text".
    QStringList rows(const QString& sql) const;
    // The first column of the first row, as text.
    QString text(const QString& sql) const;
    // The first column of every row, as integers.
    QList<qint64> column(const QString& sql) const;
    // Every row of a table whose first column is its key.
    RawRows table(const QString& table) const;
    // The rows of `keys` that read by their key.
    RawRows rowsByKey(const QString& table, const QList<qint64>& keys) const;

private:
    sqlite3* db_ = nullptr;
};

} // namespace tavrel::test
