#pragma once

#include "data/dberror.h"

#include <functional>

namespace tavrel {

// While an ErrorTrap lives, every failing data or file operation reports its error to the
// trap's policy (the program's HandleDataError) and returns as a no-op, so the handler goes
// on with its next statement. Traps nest; the innermost one decides.
class ErrorTrap {
public:
    using Handler = std::function<void(const DbError&)>;

    ErrorTrap();
    // A trap with a handler of its own, which runs instead of the policy: for code that
    // treats a failure as an answer (a probe for a missing column, say).
    explicit ErrorTrap(Handler handler);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    static bool active();

    // What a trap without a handler of its own does with an error. The data layer knows no
    // policy; the program installs one at start (retry, repair, show).
    static void setPolicy(std::function<void()> policy);
};

// The error currently being handled (what the policy reads).
const DbError& Err();

// Called by every operation that fails. Inside a trap: records the error, runs the trap's
// handler or the policy, and returns. Outside a trap: throws DataException.
void raiseError(const DbError& error);
void raiseError(int number, const QString& description);

} // namespace tavrel
