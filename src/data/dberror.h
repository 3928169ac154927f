#pragma once

#include <QString>

#include <utility>

namespace tavrel {

// Error numbers the program tells apart. The first four decide what HandleDataError does;
// the others give every other failure a stable number and a clear description.
inline constexpr int ErrObjectNotSet = 91;        // recordset or database that never opened
inline constexpr int ErrUpdateWithoutEdit = 3020; // Update without AddNew or Edit
inline constexpr int ErrNoCurrentRecord = 3021;   // field access or edit with no current row
inline constexpr int ErrFileNotFound = 3024;      // database file missing or not openable
inline constexpr int ErrReadOnly = 3027;          // recordset or database cannot be updated
inline constexpr int ErrDatabaseDamaged = 3049;   // damaged file or not a database
inline constexpr int ErrSqlSyntax = 3075;         // SQL text the engine rejects
inline constexpr int ErrTableNotFound = 3078;     // table or query does not exist
inline constexpr int ErrRecordLocked = 3168;      // lock held by another program (read)
inline constexpr int ErrLockedByUser = 3260;      // lock held by another program (write)
inline constexpr int ErrItemNotFound = 3265;      // unknown field name
inline constexpr int ErrEngine = 3146;            // any other engine failure
inline constexpr int ErrFileIo = 75;              // file could not be read or written
inline constexpr int ErrTypeMismatch = 13;        // a value the column's type cannot hold
inline constexpr int ErrDialogCancelled = 32755;  // the user cancelled a file dialog
inline constexpr int ErrEarlierFormat = 3343;     // a Jet file of the earlier program
inline constexpr int ErrServerConnection = 3151;  // the database server cannot be reached
inline constexpr int ErrRowChanged = 3197;        // another user changed the row since it was read
inline constexpr int ErrRowDeleted = 3167;        // another user deleted the row since it was read
inline constexpr int ErrHeldByUser = 3734; // another user runs an operation that excludes ours

// One failure: a number from the list above and a description for the user. What only a
// technician needs (the engine's own words, the statement that failed) is kept apart in
// `details`, so that the message itself stays short and says what to do. `file` is the
// database file it came from, when it came from one: a damaged file is repaired as that
// file, never as another the program also has open.
struct DbError {
    DbError() = default;
    DbError(int n, QString text, QString more = {}, QString fromFile = {})
        : number(n)
        , description(std::move(text))
        , details(std::move(more))
        , file(std::move(fromFile)) {}

    int number = 0;
    QString description;
    QString details;
    QString file;
};

// Raised by a failing operation when no ErrorTrap is active. It never crosses Qt's
// event dispatch: guardedCall() catches it at the edge of every handler.
class DataException {
public:
    explicit DataException(DbError e)
        : error_(std::move(e)) {}
    const DbError& error() const { return error_; }

private:
    DbError error_;
};

} // namespace tavrel
