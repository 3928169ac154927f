#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace tavrel::app {

// Exit statuses of every command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

enum class Command {
    Window,
    Monthly,
    Init,
    SetYear,
    Report,
    Custom,
    Import,
    ImportTasks,
    Backup,
    Restore,
    CopyTo,
    CopyFrom,
    Dashboard,
    Calendar,
    Labels,
    MailDigest,
    Help
};

// What the command line asks for, read before any application object exists: a wrong
// switch must be answered without a display.
struct CommandLine {
    Command command = Command::Window;
    bool demo = false;       // --init --demo
    int year = 0;            // --set-year
    bool assignments = true; // --set-year without --no-assignments
    QString report;          // --report NAME
    QDate from;              // --from, --to: the dates of the report, dashboard or calendar
    QDate to;
    QString reportFile;    // --custom FILE.rpt
    QString output;        // -o FILE: the report's file, or -m's PDF
    bool bom = false;      // --bom: a CSV report's file begins with a byte order mark
    QString folder;        // the window's working folder, when one is named
    QString importFile;    // --import: the earlier program's tavrel.mdb
    QString catalogueFile; // --catalogue: the earlier program's rptspec.mdb
    QString tasksFile;     // --import-tasks: a spreadsheet of tasks (.csv or .xlsx)
    QString mapFile;       // --map: its columns' task fields
    bool addCodes = false; // --add-codes: new locations and types join their lists
    QString backupFolder;  // --backup DIR; empty: the site's backup folder
    QString restoreFile;   // --restore FILE
    QString serverUrl;     // --init --server URL: the site's database on a server
    QString copyUrl;       // --copy-to URL, --copy-from URL
    QString calendarFile;  // --calendar FILE.ics
    QString employee;      // --employee NAME: the calendar's employee ("Last, First")
    bool todo = false;     // --todo: the calendar's entries are to-dos
    QString labelLocation; // --location NAME: the labels of that location's tasks alone
    QString labelStock;    // --stock a4|letter; empty: the locale's paper
    int labelStart = 1;    // --start N: the first label used on the first sheet
    QString error;         // set: not a valid command line
};

CommandLine parseCommandLine(const QStringList& args);
void printUsage(std::FILE* to);

// What -o FILE is written as, by its extension.
bool isPdfName(const QString& path);
bool isTextName(const QString& path);
bool isHtmlName(const QString& path);

} // namespace tavrel::app
