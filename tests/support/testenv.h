#pragma once

#include "core/programstate.h"
#include "data/database.h"
#include "support/tempdatabase.h"

#include <QDate>
#include <QList>
#include <QString>

namespace tavrel::test {

// A fresh program state, installed for the lifetime of this object (the one it replaced
// comes back after it), with the data layer's error policy and clock set to the program's
// own and the date order to its value at start. (useTestLocale() comes with the data
// layer's fixtures; the fixed clock with the ScriptedUi.)
class FreshProgramState {
public:
    FreshProgramState();
    ProgramState& get() { return owned_.get(); }

private:
    OwnedProgramState owned_;
};

// Replaces the state of the test run by a FreshProgramState (and isolates the user's
// settings); call from init().
void resetProgramState();
// Points the user's settings (the folder worked in last) into a temporary folder of this
// test run, so that no test reads or changes the settings of the person running it.
void isolateUserSettings();

// A temporary database (TempDatabase) that is also the working folder: sets AppPath and
// DbPath to it and opens dbMain when `openMain` is true (into the test run's fresh state
// when none is installed).
class TempWorkFolder : public TempDatabase {
public:
    explicit TempWorkFolder(int year = 2005, const QString& extraSql = {}, bool openMain = true);
    ~TempWorkFolder();
};

// The weeks of `year` (52 of them, week 1 from its first Monday) holding `start` + k × `days`
// for k from `firstK` on, found by counting days: what an interval rule is checked against.
QList<int> weeksEvery(int days, const QDate& start, int year, int firstK = 0);

} // namespace tavrel::test
