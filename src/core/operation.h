#pragma once

#include "data/dberror.h"

#include <functional>

namespace tavrel {

class Database;

// Runs `body` as one operation on `db` that is written whole or not at all: year set-up,
// a task's save with its weeks, a delete with what depends on it, an upgrade step, an
// import. Returns true when all of it was written.
//
// It starts with BEGIN IMMEDIATE, which takes the file's write lock before the first
// statement. Another program's lock is met there, and that start is retried like a save
// (silently, then the "Locked Record" question; No ends the program). Once it holds the
// lock, no other program can write until it ends, so no statement inside can meet a lock
// half-way: a BEGIN DEFERRED that read first could meet one at its first write, and that
// statement could not simply be tried again (SQLite wants the whole transaction started
// over, since the other writer waits for our read lock to go). Readers of other programs
// can still hold up the COMMIT; SQLite then keeps the transaction, and the COMMIT is
// retried like a save too. A server locks rows as they are written instead: a row another
// planner holds fails the body's statement, and the whole operation (the body run again)
// is retried like a save.
//
// Inside, every failure (through any trap, the save loop's included) is recorded instead of
// being handled: the first one stops the operation (the body tests operationFailed()
// between its steps), the work is rolled back, and that one failure is raised once the
// transaction is gone, to the caller's trap. An operation inside another is part of it.
bool RunAllOrNothing(Database& db, const std::function<void()>& body);

// Inside RunAllOrNothing's body: whether a statement of it failed.
bool operationFailed();

// Inside RunAllOrNothing's body: the user stopped it (Cancel in a progress window); it is
// rolled back without a message.
void cancelOperation();

// Called by HandleDataError: inside an operation the error is its failure, recorded for
// the operation to report once. False when no operation is running.
bool recordOperationFailure(const DbError& error);

} // namespace tavrel
