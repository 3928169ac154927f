#pragma once

#include "data/database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tavrel {

// Exit code of the monthly print run (-m) besides the print's own: an error was shown.
inline constexpr int ExitWithErrors = 1;

// What opening dbMain does when there is no tavrel.mdb in the folder: only report it
// (commands without a window), or also offer to create a new one there (the program's
// window).
enum class MissingDatabase { Report, OfferToCreate };

// Writes a new, empty tavrel.mdb for this year into `folder`, and rptspec.mdb unless one is
// there already, as `tavrel --init` does; shows the error and returns false on failure.
bool createWorkFiles(const QString& folder);

// Steps 1 to 5 of start-up that need no window: the values set first, the date order, the
// paths, opening and upgrading dbMain. Runs under the caller's error trap.
void prepareProgramValues();
void openMainDatabase(const QString& workFolder, MissingDatabase missing = MissingDatabase::Report);

// Runs a start-up step that only reads. A step that meets a damaged file has it repaired
// and dbMain reopened; what fails after that in the same attempt fails only because its
// recordsets went with the damaged file, so it is not shown, and the step runs once more
// on the repaired file.
void runReadingStep(const std::function<void()>& step);

// The file system a path lies on, as QStorageInfo::fileSystemType() names it ("ext4",
// "nfs4"). Tests put in their own answer; an empty function restores the real one.
using FileSystemProbe = std::function<QByteArray(const QString& path)>;
void setFileSystemProbe(FileSystemProbe probe);
// Whether a file system of that type lies on another computer (NFS, SMB/CIFS, 9P ...),
// where SQLite's locks cannot be trusted.
bool isNetworkFileSystem(const QByteArray& type);

// Reads CurYear from the first settings row of the open table view; returns the stored year.
int readCurYear(Recordset& settings);

// Start-up's steps 1 to 5 in their order, under the caller's trap. Returns the settings
// table view, still open for the steps that follow (or unopened after a failure).
Recordset runWindowlessSteps(const QString& workFolder,
                             MissingDatabase missing = MissingDatabase::Report);

// Step 6: prints this month's work orders with the print the -m command installed.
int printMonthly();

// The whole -m run without a window: start-up's steps, then the print when dbMain opened.
// Every failure is reported through HandleDataError on the Ui in force. Returns the exit
// code: ExitWithErrors when any error was shown, otherwise the print's.
int runMonthlyCommand(const QString& workFolder);

// Report start/end dates and shades, set once the program knows it will show a window.
void setReportDefaults();

} // namespace tavrel
