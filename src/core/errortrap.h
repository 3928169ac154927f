#pragma once

#include "data/errortrap.h"

#include <functional>

namespace tavrel {

// Makes HandleDataError the policy of every trap without a handler of its own. Called once
// by the program and by the test fixtures before anything opens a database.
void installErrorPolicy();

// Decides by the error number what to do: retry a locked record, repair a damaged
// database, note a cancelled dialog, or show the error.
void HandleDataError();

// How many times the main database has been repaired and reopened in this run. Start-up
// compares it before and after a step to learn that the step met a damaged file.
int mainDatabaseRepairs();

// Shows an error the way HandleDataError shows an unexpected one: number, two blanks, text.
void showError(const DbError& error);

// How many errors have been shown in this run: a command without a window ends with a
// failure status when any was.
int errorsShown();

// Starts something the user asked for (start-up, a click): the next time it meets the
// database not open, the user is told again, once for the whole action.
void beginUserAction();

// Runs a handler body; a DataException that escapes it (a failure outside any trap) ends
// the handler and is shown to the user. Every slot connected to a widget goes through this.
void guardedCall(const std::function<void()>& body);

class Recordset;

// Runs `attempt` again while it fails on a locked record: silently at first, then asking
// the user whether to go on trying (No ends the program); then frees the engine's locks.
void RetryWhileLocked(const std::function<void()>& attempt);

// The save loop: writes the current (added or edited) row, retrying while the row is
// locked, then frees the engine's locks. With deleteRow the delete takes the update's place.
void SaveLoop(Recordset& rs);
void DeleteLoop(Recordset& rs);

} // namespace tavrel
