#pragma once

#include "data/database.h"

#include <QColor>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>

namespace tavrel {

// The program-wide values shared by the windows. Windows exchange values through these
// (a caller sets Cancelled and what a dialog needs, shows it, reads the values back).

inline QString AppPath; // working folder at start-up, with a trailing separator
inline QString DbPath;  // AppPath + "tavrel.mdb"

inline Database dbMain;
inline Recordset rsTasks;
inline Recordset rsAssign;

inline qint16 CurYear = 0;
inline std::array<QDate, 53> WeekDates{}; // index 1 to 52
inline qint32 SelectedYear = 0;

inline bool Cancelled = false;
inline bool RetryUpdate = false;
inline qint16 RetryCount = 0;

inline bool EmployeesChanged = false;
inline bool ManagersChanged = false;
inline bool LocationsChanged = false;
inline bool TypesChanged = false;

// Which code table a code editor shows (the program's numbers of the four lists, which are
// not the order of the Maintain menu).
enum class CodeEdit : qint16 { Employees = 1, Managers = 2, Locations = 3, Types = 4 };
inline CodeEdit CodeEditMode = CodeEdit::Employees;

// Report settings.
inline constexpr int ReportToView = 1;
inline constexpr int ReportToFile = 2;
inline int ReportDest = ReportToView;
inline QString TableFormat;
// The column headings of that table, one text a column: a heading holds any character.
inline QStringList TableHeading;
inline bool RepeatHeading = false;
inline QColor HeadingShade = QColor(0, 0, 0);
inline QColor BodyShade = QColor(200, 200, 200);
inline QDate ReportStartDate;
inline QDate ReportEndDate;
inline bool BatchPrinting = false;

// Dates exchanged with the single-date dialog and the calendar picker. (The system's date
// order and separator are facts of the locale: they live with the date text.)
inline QDate DialogDate;
inline QDate PickedDate;

// What a custom report or a find works on, and which editor asked.
inline QString CustomTable;
inline QString FindTable;
inline int FindCaller = 0;

// Puts every value back to its state at process start (closes the database and the two
// program-wide recordsets). For tests.
void resetGlobals();

} // namespace tavrel
