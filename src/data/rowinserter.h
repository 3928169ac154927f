#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3_stmt;

namespace tavrel {

class Database;

// Adds many rows to one table through one prepared statement: for copying whole tables and
// importing many rows, where a recordset per row would be slow. Values are stored as the
// column's declared type wants them (dates as ISO text, yes/no as 0/1, currency to four
// decimals); a counter column may be given, and then keeps the value. On a server the rows
// are sent a batch at a time, each batch one statement. Failures go through raiseError.
class RowInserter {
public:
    RowInserter(Database& db, const QString& table, const QStringList& columns);
    ~RowInserter();
    RowInserter(const RowInserter&) = delete;
    RowInserter& operator=(const RowInserter&) = delete;

    bool isReady() const { return stmt_ != nullptr || serverColumns_ > 0; }
    // One value per column, in the order the constructor was given; false on failure. On a
    // server a failure may only show at a later insert() or at finish().
    bool insert(const QList<QVariant>& values);
    // Writes the rows still held back; false on failure. Every row is written once it
    // returns true (call it before the transaction commits).
    bool finish();

private:
    bool sendBatch();

    Database& db_;
    QString table_;
    sqlite3_stmt* stmt_ = nullptr;
    QList<int> kinds_;
    // On a server: "INSERT INTO table (columns) VALUES ", the number of columns, the values
    // of the rows not sent yet, and the text of a whole batch's statement once made.
    QString serverInsert_;
    int serverColumns_ = 0;
    QList<QVariant> pending_;
    QString batchSql_;
};

} // namespace tavrel
