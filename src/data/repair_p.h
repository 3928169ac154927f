#pragma once

// Pieces of a repair shared by its files: SQLite handles, and the rows read from the pages
// of a damaged file.

#include "data/pagescan_p.h"

#include <sqlite3.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace tavrel::detail {

// A connection of the repair's own, closed with it.
struct SqliteConnection {
    sqlite3* db = nullptr;
    ~SqliteConnection() { sqlite3_close_v2(db); }
};

// A prepared statement, false when it could not be prepared.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const QString& sql) {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt);
            stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return stmt != nullptr; }
};

// Rows whose shape fits more than one table, kept apart for a person to place: a file
// with a table per set of candidates ("locations or types"), whose columns name the
// candidates' columns ("locdesc or typdesc") and the page each row came from.
class UnplacedRows {
public:
    // `path` is created at the first row, with the access of `model`.
    UnplacedRows(const QString& path, const QString& model);
    ~UnplacedRows();
    UnplacedRows(const UnplacedRows&) = delete;
    UnplacedRows& operator=(const UnplacedRows&) = delete;

    bool add(const std::vector<const TableShape*>& candidates, quint32 page, const StoredRow& row,
             int encoding);
    int rows() const;
    // Writes what was added; false when it could not be.
    bool finish();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Reads the rows of `tables` (of the file being rebuilt, `dst`) whose key reads met
// damage, as `damaged` says, straight from the table leaf pages of `copyPath`. False when
// rows could not be written.
bool recoverFromPages(const QString& copyPath, sqlite3* dst, const QStringList& tables,
                      const std::vector<bool>& damaged, UnplacedRows* unplaced);

// Moves the damaged database at `path` aside, beside it under a numbered "-damaged-" name
// no file has, and returns that name; empty, with the file left where it was, when it
// could not be moved. With `leaveName`, the file keeps its own name as well (a second
// name of the same file) until the caller puts another file there, so that the name never
// stands empty; where the file system has no second names, the file is moved.
QString keepDamagedFile(const QString& path, bool leaveName = false);

} // namespace tavrel::detail
