#pragma once

#include <QString>

#include <memory>

namespace tavrel {

class Database;

// Keeps two planners from running the same long operation at once (setting up a year and
// generating its assignments): while one holds the lock of a name, another's attempt on the
// same database fails and learns who holds it. Held from construction, when isHeld(), until
// the object goes. Nothing waits: an operation that finds the lock taken is refused at once.
//
// On a server it is a session advisory lock on a hash of the name, which the server lets go
// of when the holder ends or its connection is lost. On a file it is always held: see the
// implementation for why the file needs no more.
class OperationLock {
public:
    // `holder`, when the lock is held by someone else, describes who: user, program, where
    // from and since when. A failure of the server (a lost connection) goes through
    // raiseError, and the lock is not held.
    OperationLock(Database& db, const QString& name, QString* holder = nullptr);
    ~OperationLock();
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;

    bool isHeld() const { return held_; }

private:
    struct Held;
    std::unique_ptr<Held> server_; // the server's lock, released by the destructor
    bool held_ = false;
};

} // namespace tavrel
