#pragma once

#include "data/database.h"
#include "support/tempdatabase.h"

#include <QString>

namespace tavrel::test {

// A clean set of program-wide values; call from init(). Leaves the fixed clock to the
// ScriptedUi. (useTestLocale() comes with the data layer's fixtures.)
void resetProgramState();
// Points the user's settings (the folder worked in last) into a temporary folder of this
// test run, so that no test reads or changes the settings of the person running it.
void isolateUserSettings();

// A temporary database (TempDatabase) that is also the working folder: sets AppPath and
// DbPath to it and opens dbMain when `openMain` is true.
class TempWorkFolder : public TempDatabase {
public:
    explicit TempWorkFolder(int year = 2005, const QString& extraSql = {}, bool openMain = true);
    ~TempWorkFolder();
};

} // namespace tavrel::test
