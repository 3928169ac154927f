#pragma once

#include <memory>

namespace tavrel {

class Database;

// One unit of work on a database: what is written between its start and commit() is kept
// together or not at all. Unless committed it rolls back when it goes out of scope, also
// when a failure outside any trap unwinds past it; a process that dies half-way leaves
// the file as it was at the start. Recordset writes and execute() inside it join it;
// a Transaction inside another is a savepoint of the outer one. FreeLocks() leaves an open
// Transaction alone.
//
// Failures (a lock at the start, a commit the engine refuses) go through raiseError like
// every other data operation; inside a trap, check isActive() before writing on.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // True from a successful start until commit() or rollback().
    bool isActive() const;

    // True when the work is written. A commit that other programs' readers hold up (a lock
    // error) leaves the transaction open, so that it can be tried again; any other failure
    // undoes the work.
    bool commit();
    void rollback();

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace tavrel
