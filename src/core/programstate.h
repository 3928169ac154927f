#pragma once

#include "data/database.h"

#include <QColor>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class QVariant;
class QWidget;

namespace tavrel {

class LegacySource;

// Which code table a code editor shows (the program's numbers of the four lists, which are
// not the order of the Maintain menu).
enum class CodeEdit : qint16 { Employees = 1, Managers = 2, Locations = 3, Types = 4 };

// Where a standard report goes: the preview window or a tab-separated text file (the two
// entries of Reports, Report Output; frmMain maps them to its menu entries).
enum class ReportTarget { View = 1, File = 2 };

// Which editor asked the find dialog to move its recordset.
enum class FindEditor { None = 0, Tasks = 1, Assignments = 2 };

// Start-up steps that other subsystems provide. Each is empty until the subsystem that
// owns it installs it; start-up skips an empty step rather than pretending to do it.
struct StartupSteps {
    // Prints this month's work orders unattended (the -m switch); returns the exit code.
    std::function<int()> printMonthlyWorkOrders;
    // Sets the program up for a new year: week dates, assignments, settings.
    std::function<void(qint16 year)> createYearAssignments;
    // File, Set Current Year: asks for a year and sets the program up for it when it is new;
    // false when the user cancelled. The menu entry stays disabled without it.
    std::function<bool(QWidget* parent)> setCurrentYear;
    // Runs when tavrel.mdb is a database of the earlier program, before anything else
    // touches it: converts it when it may; true when the folder now holds the converted
    // file to open. Without it such a file is only reported.
    std::function<bool()> convertEarlierDatabase;
};

// Runs the find dialog for the editor that asks (FindTable, FindCaller and Cancelled are
// already set); the dialog moves the editor's recordset itself. Installed once by whoever
// provides the dialog; while none is installed the editors keep their Find button disabled.
using FindDialogRunner = std::function<void(QWidget* parent)>;

// Prints the work order of one assignment (its assid). Installed by whoever provides the
// work orders; while none is installed the assignment editor's Print Work Order button is
// disabled.
using WorkOrderPrinter = std::function<void(const QVariant& assid)>;

// Opens a file of the earlier program for reading, or gives nothing when it cannot be
// read. Empty means the program's own reader (libmdb); tests hand in tables built in memory.
using LegacyOpener = std::function<std::unique_ptr<LegacySource>(const QString& path)>;

// The program-wide values shared by the windows, and the hooks through which the layers
// below the windows reach the features installed above them. Windows exchange values
// through these (a caller sets Cancelled and what a dialog needs, shows it, reads the values
// back). main owns the one the program runs on; a test installs a fresh one of its own.
struct ProgramState {
    QString AppPath; // working folder at start-up, with a trailing separator
    QString DbPath;  // AppPath + "tavrel.mdb"

    // Declared before the recordsets, so that they close before the connection they read.
    Database dbMain;
    Recordset rsTasks;
    Recordset rsAssign;

    qint16 CurYear = 0;
    std::array<QDate, 53> WeekDates{}; // index 1 to 52
    qint32 SelectedYear = 0;

    bool Cancelled = false;
    bool RetryUpdate = false;
    qint16 RetryCount = 0;

    bool EmployeesChanged = false;
    bool ManagersChanged = false;
    bool LocationsChanged = false;
    bool TypesChanged = false;

    CodeEdit CodeEditMode = CodeEdit::Employees;

    // Report settings.
    ReportTarget ReportDest = ReportTarget::View;
    QString TableFormat;
    // The column headings of that table, one text a column: a heading holds any character.
    QStringList TableHeading;
    bool RepeatHeading = false;
    QColor HeadingShade = QColor(0, 0, 0);
    QColor BodyShade = QColor(200, 200, 200);
    QDate ReportStartDate;
    QDate ReportEndDate;
    bool BatchPrinting = false;

    // Dates exchanged with the single-date dialog and the calendar picker.
    QDate DialogDate;
    QDate PickedDate;

    // What a custom report or a find works on, and which editor asked.
    QString CustomTable;
    QString FindTable;
    FindEditor FindCaller = FindEditor::None;

    // Set once a backup folder that cannot take backups has been reported: said once per
    // start, not before every operation.
    bool BackupFolderReported = false;
    // Backups before an operation that could not be made in this run: a command without a
    // window that went on without one ends with a failure status.
    int BackupsMissed = 0;

    // Hooks installed by main (and by tests) for the features above core.
    StartupSteps startupSteps;
    // Shows the finished report document (the preview window, not modal); without it (no
    // window) nothing is shown.
    std::function<void()> reportViewer;
    WorkOrderPrinter workOrderPrinter;
    FindDialogRunner findDialog;
    LegacyOpener legacyOpener;
    // Opens the assignment editor on one assignment (its assid), for windows below the
    // assignment editor (a task's history); installed with the assignment editor.
    std::function<void(QWidget* parent, long assignId)> assignmentOpener;
};

// The state the program runs on. There is always one while the program or a test runs:
// using it with none installed is a programming error and ends the program.
ProgramState& state();
bool hasState();

// Installs `installed` (not owned) as the state; nullptr removes it. Returns the one it
// replaced.
ProgramState* installState(ProgramState* installed);

// Owns a state and installs it for its lifetime, putting back the one it replaced.
class OwnedProgramState {
public:
    OwnedProgramState()
        : previous_(installState(&state_)) {}
    ~OwnedProgramState() { installState(previous_); }
    OwnedProgramState(const OwnedProgramState&) = delete;
    OwnedProgramState& operator=(const OwnedProgramState&) = delete;

    ProgramState& get() { return state_; }

private:
    ProgramState state_;
    ProgramState* previous_;
};

} // namespace tavrel
