#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3_stmt;

namespace tavrel {

class Database;

// Adds many rows to one table through one prepared statement: for copying whole tables,
// where a recordset per row would be slow. Values are stored as the column's declared type
// wants them (dates as ISO text, yes/no as 0/1, currency to four decimals); a counter
// column may be given, and then keeps the value. Failures go through raiseError.
class RowInserter {
public:
    RowInserter(Database& db, const QString& table, const QStringList& columns);
    ~RowInserter();
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    bool isReady() const { return stmt_ != nullptr; }
    // One value per column, in the order the constructor was given; false on failure.
    bool insert(const QList<QVariant>& values);

private:
    Database& db_;
    QString table_;
    sqlite3_stmt* stmt_ = nullptr;
    QList<int> kinds_;
};

} // namespace tavrel
