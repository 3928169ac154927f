#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tavrel {

// Start-up steps that other subsystems provide. Each is empty until the subsystem that
// owns it installs it; start-up skips an empty step rather than pretending to do it.
struct StartupSteps {
    // Prints this month's work orders unattended (the -m switch); returns the exit code.
    std::function<int()> printMonthlyWorkOrders;
    // Sets the program up for a new year: week dates, assignments, settings.
    std::function<void(qint16 year)> createYearAssignments;
};
StartupSteps& startupSteps();

// True when the command line holds the -m switch as an argument of its own.
bool hasMonthlySwitch(const QStringList& arguments);

// Steps 1 to 5 of start-up that need no window: the values set first, the date order, the
// paths, opening and upgrading dbMain. Runs under the caller's error trap.
void prepareProgramValues();
void openMainDatabase(const QString& workFolder);

// Reads CurYear from the first settings row of the open table view; returns the stored year.
class Recordset;
int readCurYear(Recordset& settings);

// Report start/end dates and shades, set once the program knows it will show a window.
void setReportDefaults();

} // namespace tavrel
