#pragma once

#include "core/programstate.h"
#include "data/database.h"

#include <QString>
#include <QTemporaryDir>

namespace tavrel::test {

// A fresh program state, installed for the lifetime of this object (the one it replaced
// comes back after it), with the data layer's error policy and clock set to the program's
// own and the date order to its value at start.
class FreshProgramState {
public:
    FreshProgramState();
    ProgramState& get() { return owned_.get(); }

private:
    OwnedProgramState owned_;
};

// Fixed locale (en_US); call from initTestCase() or init(). Leaves the fixed clock to the
// ScriptedUi.
void useTestLocale(const char* locale = "en_US");
// Replaces the state of the test run by a FreshProgramState (and isolates the user's
// settings); call from init().
void resetProgramState();
// Points the user's settings (the folder worked in last) into a temporary folder of this
// test run, so that no test reads or changes the settings of the person running it.
void isolateUserSettings();

// A temporary working folder holding a fresh tavrel.mdb (full schema, 52 weeks of `year`,
// one settings row) plus any extra SQLite statements given. Sets AppPath/DbPath to it and
// opens dbMain when `openMain` is true (into the test run's fresh state when none is installed).
class TempWorkFolder {
public:
    explicit TempWorkFolder(int year = 2005, const QString& extraSql = {}, bool openMain = true);
    ~TempWorkFolder();

    QString path() const { return dir_.path(); }
    QString dbPath() const;
    QString file(const QString& name) const;

    // Runs SQLite statements on the file through a separate connection (test setup).
    void exec(const QString& sqliteSql) const;
    // Reads one value with a separate connection (for asserting what was stored).
    QVariant scalar(const QString& sqliteSql) const;

private:
    QTemporaryDir dir_;
};

} // namespace tavrel::test
