#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

struct sqlite3;

namespace tavrel {

class Recordset;

// How a recordset is opened: a direct table view, an updatable query result (a keyset
// cursor over the first table of the FROM clause) or a read-only snapshot.
enum class RecordsetType { Table, Dynaset, Snapshot };

// One open database file. The program writes SQL text in the Jet dialect; Database
// translates it (see sqldialect.h) and runs it through SQLite. Every failure goes through
// raiseError(), so inside an ErrorTrap a failed call is a reported no-op.
class Database {
public:
    Database();
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file in shared read-write mode; never creates one. A missing file
    // raises ErrFileNotFound, a damaged one ErrDatabaseDamaged. On failure the returned
    // object is not open and every use of it raises ErrObjectNotSet.
    static Database open(const QString& path);

    // Creates a new, empty database file (fails if it exists).
    static Database create(const QString& path);

    // Rebuilds a damaged file: the damaged file is kept beside it as a backup and a clean
    // file is written with every row that can still be read, by key or from the pages of
    // the file where a table's tree is damaged. Both keep the original's mode and owner. A task
    // database comes back with every table of the current schema, its 52 weeks and one settings
    // row; weeks whose year was lost too are those of `yearIfUnknown` (this year when 0). Returns
    // the path the damaged file was kept at, or an empty text when the repair failed. Rows whose
    // table could not be told from their shape are kept in a file of their own beside the damaged
    // one, named in `unplacedRows` (empty when there were none).
    static QString repair(const QString& path, int yearIfUnknown = 0,
                          QString* unplacedRows = nullptr);

    bool isOpen() const;
    QString path() const;
    void close();

    // Opens a recordset on SQL text or a table name.
    Recordset openRecordset(const QString& sqlOrTable, RecordsetType type = RecordsetType::Dynaset);

    // Raises what opening a recordset on `sqlOrTable` would raise (a missing table or column,
    // a syntax error, a lock), without reading a row: the cheap way to ask whether a query's
    // tables and columns exist.
    void checkQuery(const QString& sqlOrTable);

    // Runs one statement that returns no rows (delete, update, insert, alter table ...).
    void execute(const QString& sql);

    // Runs several statements of SQLite's own dialect (schema scripts); not translated.
    void executeScript(const QString& sqliteSql);

    // Number of rows changed by the last execute().
    int rowsAffected() const;

    sqlite3* handle() const;

private:
    void adopt(sqlite3* db, const QString& path);

    struct Impl;
    std::shared_ptr<Impl> d;
    friend class Recordset;
    friend class Transaction;
};

// The engine's idle call with its free-locks option: releases what the last write held.
void FreeLocks();

// A cursor over rows, with the moves, finds and edits of a DAO recordset. Field names may
// be qualified ("assign.taskid") or aliases; an unqualified name that a join repeats means
// the base table's column. A missing value reads as a null QVariant. Dates read as QDate
// (QDateTime when the stored value has a time), booleans as bool, currency as double.
class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset&& other) noexcept;
    Recordset& operator=(Recordset&& other) noexcept;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    bool isOpen() const;
    void close();
    RecordsetType type() const;

    // Greater than 0 exactly when the result has a row; exact after moveLast().
    int recordCount() const;
    bool isBOF() const;
    bool isEOF() const;

    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();

    // Criteria have the syntax of a where clause, in the program's dialect.
    void findFirst(const QString& criteria);
    void findNext(const QString& criteria);
    void findPrevious(const QString& criteria);
    void findLast(const QString& criteria);
    bool noMatch() const;

    QVariant value(const QString& field) const;
    void setValue(const QString& field, const QVariant& value);
    QStringList fieldNames() const;

    // After addNew() the new row's counter key can be read before update().
    void addNew();
    void edit();
    void update();
    void cancelUpdate();
    // Removes the current row; afterwards there is no current row until the next move.
    void deleteRow();

    // Optimistic locking (false) is the only kind the program uses; kept for the record.
    void setLockEdits(bool pessimistic);
    bool lockEdits() const;

private:
    bool checkWritable(bool needsCurrentRow) const;

    struct Impl;
    std::unique_ptr<Impl> d;
    friend class Database;
};

} // namespace tavrel
