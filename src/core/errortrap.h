#pragma once

#include "data/database.h"
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
// How many times the field catalogue has been repaired in this run.
int catalogueRepairs();
// Every repair of this run, of either file: a command without a window that had to repair
// a file ends with a failure status, so that whoever runs it unattended notices.
int repairsMade();

// The field catalogue of the working folder (AppPath + "rptspec.mdb").
QString cataloguePath();
// Opens the field catalogue under the caller's trap. A damaged catalogue is repaired as the
// catalogue (with its own message) and the repaired file is opened.
Database openCatalogue();
// Runs a step that reads the catalogue. When the step meets a damaged catalogue, the
// catalogue is repaired, opened again into `catalogue` and the step runs once more.
void readCatalogue(Database& catalogue, const std::function<void()>& step);

// Shows an error the way HandleDataError shows an unexpected one: number, two blanks, text.
void showError(const DbError& error);

// How many errors have been shown in this run: a command without a window ends with a
// failure status when any was.
int errorsShown();
// How many times the server's connection was found lost in this run, those told once per
// action and not shown again included: a save that met one wrote nothing.
int connectionLossesReported();

// Starts something the user asked for (start-up, a click): the next time it meets the
// database not open, the user is told again, once for the whole action.
void beginUserAction();

// Runs a handler body; a DataException that escapes it (a failure outside any trap) ends
// the handler and is shown to the user. Every slot connected to a widget goes through this.
void guardedCall(const std::function<void()>& body);

class Recordset;

// A row another user changed or deleted after it was read (ErrRowChanged, ErrRowDeleted).
// While a RowConflictWatch lives (an editor's Update or Delete), HandleDataError leaves such
// a failure to it, for the editor to ask the user what becomes of the row; elsewhere it is
// shown like any other error. Watches nest; the innermost one takes it.
class RowConflictWatch {
public:
    RowConflictWatch();
    ~RowConflictWatch();
    RowConflictWatch(const RowConflictWatch&) = delete;
    RowConflictWatch& operator=(const RowConflictWatch&) = delete;

    // ErrRowChanged or ErrRowDeleted when the watched work met one, else 0.
    int conflict() const { return conflict_; }
    // Takes a conflict for the innermost watch; false when none is watching.
    static bool take(int number);

private:
    RowConflictWatch* outer_ = nullptr;
    int conflict_ = 0;
};

// Runs `attempt` again while it fails on a locked record: silently at first, then asking
// the user whether to go on trying (No ends the program); then frees the engine's locks.
void RetryWhileLocked(const std::function<void()>& attempt);

// The save loop: writes the current (added or edited) row, retrying while the row is
// locked, then frees the engine's locks. With deleteRow the delete takes the update's place.
void SaveLoop(Recordset& rs);
void DeleteLoop(Recordset& rs);

} // namespace tavrel
