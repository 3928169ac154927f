#pragma once

#include "data/database.h"

#include <QString>
#include <QTemporaryDir>

namespace tavrel::test {

// Fixed locale (en_US) and a clean set of program-wide values; call from initTestCase()
// and init(). Leaves the fixed clock to the ScriptedUi.
void useTestLocale(const char* locale = "en_US");
void resetProgramState();
// Points the user's settings (the folder worked in last) into a temporary folder of this
// test run, so that no test reads or changes the settings of the person running it.
void isolateUserSettings();

// A temporary working folder holding a fresh tavrel.mdb (full schema, 52 weeks of `year`,
// one settings row) plus any extra SQLite statements given. Sets AppPath/DbPath to it and
// opens dbMain when `openMain` is true.
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
