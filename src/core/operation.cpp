#include "core/operation.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "data/database.h"
#include "data/errortrap.h"
#include "data/transaction.h"

#include <optional>

namespace tavrel {

namespace {

struct Operation {
    std::optional<DbError> failure;
    bool cancelled = false;
};

// The running operation; operations do not overlap except by nesting, which joins the
// outer one.
Operation* running = nullptr;

bool isLock(const DbError& error) {
    return error.number == ErrLockedByUser || error.number == ErrRecordLocked;
}

// Runs `attempt` again while it fails on a lock, as the save loop does (the lock goes to
// HandleDataError, which counts and asks). Returns any other failure, unreported. The
// count starts again unless the attempt goes on with the tries of an earlier one.
std::optional<DbError> retryWhileLocked(const std::function<void()>& attempt,
                                        bool countOn = false) {
    std::optional<DbError> failure;
    if (!countOn)
        state().RetryCount = 0;
    state().RetryUpdate = true;
    while (state().RetryUpdate) {
        state().RetryUpdate = false;
        failure.reset();
        {
            ErrorTrap trap([&failure](const DbError& error) { failure = error; });
            attempt();
        }
        if (failure && isLock(*failure)) {
            ErrorTrap policy;
            raiseError(*failure);
        }
    }
    return failure && !isLock(*failure) ? failure : std::nullopt;
}

} // namespace

bool operationFailed() {
    return running && (running->failure || running->cancelled);
}

void cancelOperation() {
    if (running)
        running->cancelled = true;
}

bool recordOperationFailure(const DbError& error) {
    if (!running)
        return false;
    if (!running->failure && !running->cancelled)
        running->failure = error;
    return true;
}

bool RunAllOrNothing(Database& db, const std::function<void()>& body) {
    if (running) {
        body();
        return !operationFailed();
    }
    std::optional<Transaction> transaction;
    std::optional<DbError> failure;
    Operation operation;
    for (bool again = false;; again = true) {
        failure = retryWhileLocked(
            [&] {
                transaction.emplace(db);
                if (!transaction->isActive())
                    transaction.reset();
            },
            again);
        if (!transaction) {
            if (failure)
                raiseError(*failure);
            return false;
        }

        operation = Operation{};
        // A save loop inside starts its own count: the operation's tries go on with its own.
        const auto tries = state().RetryCount;
        {
            struct Running {
                explicit Running(Operation* op) { running = op; }
                ~Running() { running = nullptr; }
            } scope(&operation);
            ErrorTrap trap([&operation](const DbError& error) {
                if (!operation.failure && !operation.cancelled)
                    operation.failure = error;
            });
            body();
        }
        state().RetryCount = tries;
        // A server takes each row as it is written, so a row another planner holds is met
        // inside (a file's lock only at the start or the commit). Undone, the whole operation
        // is tried again as the save loop tries a row again: silently, then with the "Locked
        // Record" question, whose No ends the program.
        if (!operation.failure || operation.cancelled || !isLock(*operation.failure))
            break;
        transaction->rollback();
        transaction.reset();
        FreeLocks();
        state().RetryUpdate = false;
        {
            ErrorTrap policy;
            raiseError(*operation.failure);
        }
        if (!state().RetryUpdate)
            return false;
    }

    bool written = false;
    failure = operation.failure;
    if (failure || operation.cancelled)
        transaction->rollback();
    else
        failure = retryWhileLocked([&] { written = transaction->commit(); });
    transaction->rollback(); // unless committed: a commit that failed for good
    transaction.reset();
    FreeLocks();
    if (failure) {
        // The retries of the start and the commit do not reach a lock met inside (a
        // statement on another file, say): nothing asks about it again, so say what it was.
        if (isLock(*failure))
            showError(*failure);
        else
            raiseError(*failure);
    }
    return written;
}

} // namespace tavrel
