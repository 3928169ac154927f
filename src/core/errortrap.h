#pragma once

#include "core/dberror.h"

#include <functional>

namespace tavrel {

// While an ErrorTrap lives, every failing data or file operation reports its error to
// HandleDataError and returns as a no-op, so the handler goes on with its next statement.
// Traps nest; the innermost one decides.
class ErrorTrap {
public:
    using Handler = std::function<void(const DbError&)>;

    ErrorTrap();
    // A trap with a handler of its own, which runs instead of HandleDataError: for code
    // that treats a failure as an answer (a probe for a missing column, say).
    explicit ErrorTrap(Handler handler);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    static bool active();
};

// The error currently being handled (what HandleDataError reads).
const DbError& Err();

// Called by every operation that fails. Inside a trap: records the error, runs
// HandleDataError and returns. Outside a trap: throws DataException.
void raiseError(const DbError& error);
void raiseError(int number, const QString& description);

// Decides by the error number what to do: retry a locked record, repair a damaged
// database, note a cancelled dialog, or show the error.
void HandleDataError();

// Shows an error the way HandleDataError shows an unexpected one: number, two blanks, text.
void showError(const DbError& error);

// Runs a handler body; a DataException that escapes it (a failure outside any trap) ends
// the handler and is shown to the user. Every slot connected to a widget goes through this.
void guardedCall(const std::function<void()>& body);

class Recordset;

// The save loop: writes the current (added or edited) row, retrying while the row is
// locked, then frees the engine's locks. With deleteRow the delete takes the update's place.
void SaveLoop(Recordset& rs);
void DeleteLoop(Recordset& rs);

} // namespace tavrel
