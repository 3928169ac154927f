#pragma once

#include "data/database.h"

#include <functional>

namespace tavrel {

// Whatever keeps recordsets of dbMain open beyond one handler (an editing window, the owner
// of a program-wide recordset) is a DatabaseUser: when dbMain is replaced by a new
// connection, it opens them again on that one and goes on where it was.
class DatabaseUser {
public:
    DatabaseUser();
    virtual ~DatabaseUser();
    DatabaseUser(const DatabaseUser&) = delete;
    DatabaseUser& operator=(const DatabaseUser&) = delete;

    // Called while the old connection is still there: remembers where the user is (the key
    // of the row shown). The recordsets may already fail to read; such a failure is not
    // reported.
    virtual void rememberPosition() {}
    // Called once the new connection is dbMain: opens the recordsets again and goes back to
    // the remembered row, or to the first where that row is gone.
    virtual void reopenRecords() = 0;
    // True while the user has changes of a row here that are not saved yet: replacing the
    // database under them (a restore) would lose those changes.
    virtual bool isEditingRow() const { return false; }
};

// The first user editing a row (see isEditingRow), or nullptr when none is.
DatabaseUser* userEditingRow();

// The one way to put a new connection in dbMain's place (after a repair, a restore of a
// backup, a reconnect to the server): every DatabaseUser remembers its position, dbMain is
// closed, `connect` makes the new connection (repairing the file first, say) and, when it
// is open, it becomes dbMain and every user reopens on it, in the order they came. Returns
// whether dbMain is open. Failures are reported through the caller's trap.
bool reopenEverything(const std::function<Database()>& connect);

} // namespace tavrel
