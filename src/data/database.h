#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;

namespace tavrel {

class Recordset;

// How a recordset is opened: a direct table view, an updatable query result (a keyset
// cursor over the first table of the FROM clause) or a read-only snapshot.
enum class RecordsetType { Table, Dynaset, Snapshot };

// True when a directory entry of that name exists: a file, a folder, a pipe, or a link,
// even one that leads nowhere. A file the program names itself goes only where this is false.
bool fileNameTaken(const QString& path);

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
    // raises ErrFileNotFound, a damaged one ErrDatabaseDamaged. A URL (postgresql://...)
    // opens a database on a PostgreSQL server instead; a server that cannot be reached
    // raises ErrServerConnection. On failure the returned object is not open and every use
    // of it raises ErrObjectNotSet.
    static Database open(const QString& path);

    // Creates a new, empty database file. Fails when the name is taken (fileNameTaken):
    // the new file is never written through a link to another place.
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

    // Whether the file is a database file, however damaged: it has SQLite's header
    // (recognised by its magic text or, where that is damaged, by the header's fixed
    // values), or pages laid out as a database's tables are. A file with neither is no
    // database at all (a text saved under the name, say): repair could only replace it with
    // an empty database.
    static bool looksLikeDatabase(const QString& path);

    bool isOpen() const;
    // The file's path, or on a server the URL it was opened by.
    QString path() const;
    // Whether this is a database on a server rather than a file.
    bool isServer() const;
    // On a server, the server and database as the title bar shows them ("host/dbname");
    // empty for a file.
    QString serverLabel() const;
    void close();

    // Opens a recordset on SQL text or a table name.
    Recordset openRecordset(const QString& sqlOrTable, RecordsetType type = RecordsetType::Dynaset);

    // Raises what opening a recordset on `sqlOrTable` would raise (a missing table or column,
    // a syntax error, a lock), without reading a row: the cheap way to ask whether a query's
    // tables and columns exist.
    void checkQuery(const QString& sqlOrTable);

    // Runs one statement that returns no rows (delete, update, insert, alter table ...).
    void execute(const QString& sql);

    // Runs several statements of the backend's own dialect (schema scripts: SQLite's for a
    // file, PostgreSQL's on a server); not translated.
    void executeScript(const QString& sqliteSql);

    // The statement that built the index `name` as the backend states it (an empty text when
    // there is no such index), for the upgrade to compare with the one it wants; nothing when
    // it could not be read (the failure is raised).
    std::optional<QString> indexDefinition(const QString& name);

    // Number of rows changed by the last execute().
    int rowsAffected() const;

    sqlite3* handle() const;

    // The connection's state, defined inside the data layer only (its backends' code names it).
    struct Impl;

private:
    void adopt(sqlite3* db, const QString& path);

    std::shared_ptr<Impl> d;
    friend class Recordset;
    friend class Transaction;
    friend bool serverHoldsSite(Database& db, QString* error);
    friend class OperationLock;
    friend class RowInserter;
};

// The engine's idle call with its free-locks option: releases what the last write held.
void FreeLocks();

// Ways for tests to put the connections of the program into states that are hard to reach
// on purpose: another program taking a lock at one exact statement, a read-only file (which
// a test run by root cannot make with file permissions), a full disk. The program installs
// none of them.
struct ConnectionHooks {
    // The file they apply to (connections opened on other files are left alone), or the
    // URL of a server database, as the program opened it.
    QString path;
    // Runs before each statement a connection of the program on that file starts, BEGIN
    // and COMMIT included, with SQLite's text of the statement (the server's: the text sent
    // to it); also on connections opened before the hook was set. It may work on other
    // connections. The only hook a server database has.
    std::function<void(const QString& sql)> beforeStatement;
    // Connections open the file read-only, as SQLite does with a file it may not write.
    bool readOnly = false;
    // The file may grow to this many pages at most (0: no limit); a limit below its size
    // stops it where it is. A write that needs more fails as on a full disk.
    int maxPageCount = 0;
    // A backup of the file may grow to this many pages at most (0: no limit), as on a disk
    // that fills up while the copy is written.
    int backupMaxPageCount = 0;
    // Runs at each point of a backup of the file or of a restore into it: "step" after
    // every step of the copy, then, for a backup, "copied", "checked", "synced" and
    // "renamed". A test may stop the process there.
    std::function<void(const char* point)> copyPoint;
};
// readOnly and maxPageCount apply to connections opened from now on; an empty
// ConnectionHooks removes them all.
void setConnectionHooks(ConnectionHooks hooks);

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

    // Another user's changes. Where a table has a row version (rowver), update() and
    // deleteRow() write a row only as it was when the recordset read it; otherwise they
    // raise ErrRowChanged, which leaves the edit pending, or ErrRowDeleted for a row that is
    // gone (a delete still counts as done). These are the answers to them:
    // takes the row's version as stored now, keeping the edit: the next update() writes it
    // over the other user's changes (raises ErrRowDeleted when the row is gone);
    void takeStoredVersion();
    // reads the current row again as stored now, cancelling an edit; where it is gone the
    // cursor moves on to the next row, as a move does.
    void rereadCurrent();

    // Optimistic locking (false) is the only kind the program uses; kept for the record.
    void setLockEdits(bool pessimistic);
    bool lockEdits() const;

    // The cursor's state, defined inside the data layer only.
    struct Impl;

private:
    bool checkWritable(bool needsCurrentRow) const;

    std::unique_ptr<Impl> d;
    friend class Database;
};

} // namespace tavrel
