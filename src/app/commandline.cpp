#include "app/commandline.h"

#include "assignments/yeargen.h"
#include "import/sheet.h"
#include "reports/labels.h"
#include "reports/reportoutput.h"
#include "reports/standardreports.h"
#include "reports/tablefile.h"

#include <algorithm>
#include <optional>

namespace tavrel::app {

bool isPdfName(const QString& path) {
    return path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
}
bool isTextName(const QString& path) {
    return path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}
bool isHtmlName(const QString& path) {
    return path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

namespace {

// A date of the command line: ISO, YYYY-MM-DD, and a day that exists.
QDate isoDate(const QString& text) {
    if (text.size() != 10)
        return {};
    return QDate::fromString(text, Qt::ISODate);
}

// Checks the options of --report once they are all read; an error text, or none.
QString reportOptionsError(const CommandLine& line, bool fromGiven, bool toGiven, bool dashboard) {
    if (line.report.isEmpty())
        return (fromGiven || toGiven) && !dashboard
                   ? QStringLiteral("--from and --to go with --report, --dashboard or --calendar")
                   : QString();
    if (!tavrel::standardReportNames().contains(line.report))
        return QStringLiteral("there is no report %1; the reports are %2")
            .arg(line.report, tavrel::standardReportNames().join(QLatin1String(", ")));
    const bool dated = tavrel::standardReportIsDated(line.report);
    if (dated && (!fromGiven || !toGiven))
        return QStringLiteral("the report %1 needs --from and --to").arg(line.report);
    // Dates the report would not use must not pass for a choice that was honoured.
    if (!dated && (fromGiven || toGiven))
        return QStringLiteral("the report %1 takes no --from or --to: it reports what is due "
                              "by today")
            .arg(line.report);
    if (dated && line.from > line.to)
        return QStringLiteral("--from %1 is after --to %2")
            .arg(line.from.toString(Qt::ISODate), line.to.toString(Qt::ISODate));
    if (line.output.isEmpty())
        return QStringLiteral("--report needs -o FILE");
    if (!isPdfName(line.output) && !isTextName(line.output) && !tavrel::tableFileType(line.output))
        return QStringLiteral("the file %1 is not .txt, .csv, .xlsx or .pdf").arg(line.output);
    return {};
}

// Checks the options of --dashboard: a PDF or PNG to write, and a range in order. A date not
// given is left null: the command takes this year's first or last day (or that of the
// year of the other date).
QString dashboardOptionsError(const CommandLine& line, bool dashboard, bool fromGiven,
                              bool toGiven) {
    if (!dashboard)
        return {};
    if (line.output.isEmpty())
        return QStringLiteral("--dashboard needs -o FILE.pdf or -o FILE.png");
    if (!isPdfName(line.output) &&
        !line.output.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
        return QStringLiteral("the file %1 is not .pdf or .png").arg(line.output);
    if (fromGiven && toGiven && line.from > line.to)
        return QStringLiteral("--from %1 is after --to %2")
            .arg(line.from.toString(Qt::ISODate), line.to.toString(Qt::ISODate));
    return {};
}

// Checks the options of --calendar: a file to write, and a range in order (either end may be
// left open). --employee and --todo go with it alone.
QString calendarOptionsError(const CommandLine& line, bool calendar, int otherCommands) {
    if (!calendar)
        return !line.employee.isEmpty() || line.todo
                   ? QStringLiteral("--employee and --todo go with --calendar")
                   : QString();
    if (otherCommands > 0)
        return QStringLiteral("--calendar goes with no other command");
    if (!line.output.isEmpty())
        return QStringLiteral("--calendar names its file itself: -o does not go with it");
    if (line.from.isValid() && line.to.isValid() && line.from > line.to)
        return QStringLiteral("--from %1 is after --to %2")
            .arg(line.from.toString(Qt::ISODate), line.to.toString(Qt::ISODate));
    return {};
}

// Checks the options of --labels: a PDF to write, a stock the program knows and a first
// label on its sheet. --location, --stock and --start go with it alone.
QString labelsOptionsError(const CommandLine& line, bool labels, bool startGiven,
                           const QString& startText, int otherCommands) {
    if (!labels)
        return !line.labelLocation.isEmpty() || !line.labelStock.isEmpty() || startGiven
                   ? QStringLiteral("--location, --stock and --start go with --labels")
                   : QString();
    if (otherCommands > 0)
        return QStringLiteral("--labels goes with no other command");
    if (line.output.isEmpty())
        return QStringLiteral("--labels needs -o FILE.pdf");
    if (!isPdfName(line.output))
        return QStringLiteral("the file %1 must end in .pdf").arg(line.output);
    // Without --stock the locale's paper chooses, which is known only once the program's
    // locale is set up: the command itself then refuses a start beyond that sheet.
    if (line.labelStock.isEmpty())
        return startGiven && line.labelStart < 1
                   ? QStringLiteral("--start %1 is not a label's number").arg(startText)
                   : QString();
    const std::optional<tavrel::LabelStock> stock = tavrel::labelStockNamed(line.labelStock);
    if (!stock)
        return QStringLiteral("--stock %1 is not a4 or letter").arg(line.labelStock);
    if (startGiven && (line.labelStart < 1 || line.labelStart > stock->perSheet()))
        return QStringLiteral("--start %1 is not a label of the sheet: %2 has labels 1 to %3")
            .arg(startText, QString::fromLatin1(stock->key))
            .arg(stock->perSheet());
    return {};
}

// Options Qt's application object reads itself (-platform offscreen, -style fusion ...);
// they are passed on to the window untouched.
bool isQtOption(const QString& arg, bool* takesValue) {
    static const QStringList withValue = {
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowtitle"),
        QStringLiteral("qwindowicon"),     QStringLiteral("style"),
        QStringLiteral("stylesheet"),      QStringLiteral("session"),
        QStringLiteral("display"),         QStringLiteral("geometry")};
    static const QStringList flags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                      QStringLiteral("nograb"), QStringLiteral("dograb"),
                                      QStringLiteral("sync")};
    QString name = arg;
    if (name.startsWith(QLatin1String("--")))
        name.remove(0, 1);
    if (!name.startsWith(QLatin1Char('-')))
        return false;
    name.remove(0, 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0) {
        *takesValue = false;
        return withValue.contains(name.left(equals));
    }
    *takesValue = withValue.contains(name);
    return *takesValue || flags.contains(name);
}

} // namespace

// One piece: a single pass over the arguments in which each check needs what the arguments
// before it set (options seen, options ended, the command chosen); split up, that state would
// travel through every part.
CommandLine parseCommandLine(const QStringList& args) {
    CommandLine line;
    // Every option at most once: a second value would silently replace the first.
    QStringList seen;
    bool optionsEnded = false;
    bool monthly = false;
    bool dashboard = false;
    bool mailDigest = false;
    bool init = false;
    bool help = false;
    bool setYear = false;
    bool noAssignments = false;
    bool custom = false;
    bool fromGiven = false;
    bool toGiven = false;
    bool backup = false;
    bool copyTo = false;
    bool copyFrom = false;
    bool labels = false;
    bool startGiven = false;
    QString startText;
    // The value of an option that takes one, or an error when it is missing.
    auto valueOf = [&](qsizetype& i, const char* what) -> std::optional<QString> {
        if (++i >= args.size()) {
            line.error = QStringLiteral("%1 needs %2").arg(args[i - 1], QLatin1String(what));
            return std::nullopt;
        }
        return args[i];
    };
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        bool takesValue = false;
        if (!optionsEnded && a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || !a.startsWith(QLatin1Char('-'))) {
            if (!line.folder.isEmpty()) {
                line.error = QStringLiteral("unexpected argument %1").arg(a);
                return line;
            }
            line.folder = a;
            continue;
        }
        const QString name = a == QLatin1String("-h") ? QStringLiteral("--help") : a;
        if (seen.contains(name)) {
            line.error = QStringLiteral("%1 is given more than once").arg(a);
            return line;
        }
        seen << name;
        if (a == QLatin1String("-m")) {
            monthly = true;
        } else if (a == QLatin1String("--init")) {
            init = true;
        } else if (a == QLatin1String("--demo")) {
            line.demo = true;
        } else if (a == QLatin1String("--set-year")) {
            if (++i >= args.size()) {
                line.error = QStringLiteral("--set-year needs a year");
                return line;
            }
            // Digits only: toInt() would also take blanks around them, or a sign.
            const QString& text = args[i];
            const bool digits =
                !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
                    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                });
            bool number = false;
            line.year = digits ? text.toInt(&number) : 0;
            if (!number || !tavrel::isPlannableYear(line.year)) {
                line.error = QStringLiteral("the year %1 is not a year from %2 to %3")
                                 .arg(args[i])
                                 .arg(tavrel::FirstPlannableYear)
                                 .arg(tavrel::LastPlannableYear);
                return line;
            }
            setYear = true;
        } else if (a == QLatin1String("--report")) {
            const std::optional<QString> report = valueOf(i, "a report name");
            if (!report)
                return line;
            line.report = report->toLower(); // "Overdue" is overdue
        } else if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            const std::optional<QString> text = valueOf(i, "a date YYYY-MM-DD");
            if (!text)
                return line;
            const QDate date = isoDate(*text);
            if (!date.isValid()) {
                line.error = QStringLiteral("%1 is not a date YYYY-MM-DD").arg(*text);
                return line;
            }
            (a == QLatin1String("--from") ? line.from : line.to) = date;
            (a == QLatin1String("--from") ? fromGiven : toGiven) = true;
        } else if (a == QLatin1String("--dashboard")) {
            dashboard = true;
        } else if (a == QLatin1String("--calendar") || a == QLatin1String("--employee")) {
            const std::optional<QString> value =
                valueOf(i, a == QLatin1String("--calendar") ? "a file name FILE.ics" : "a name");
            if (!value)
                return line;
            if (value->trimmed().isEmpty()) {
                line.error = QStringLiteral("%1 needs %2")
                                 .arg(a, a == QLatin1String("--calendar")
                                             ? QStringLiteral("a file name FILE.ics")
                                             : QStringLiteral("a name"));
                return line;
            }
            (a == QLatin1String("--calendar") ? line.calendarFile : line.employee) = *value;
        } else if (a == QLatin1String("--labels")) {
            labels = true;
        } else if (a == QLatin1String("--location") || a == QLatin1String("--stock")) {
            const char* what =
                a == QLatin1String("--location") ? "a location's name" : "a4 or letter";
            const std::optional<QString> value = valueOf(i, what);
            if (!value)
                return line;
            if (value->trimmed().isEmpty()) {
                line.error = QStringLiteral("%1 needs %2").arg(a, QLatin1String(what));
                return line;
            }
            (a == QLatin1String("--location") ? line.labelLocation : line.labelStock) = *value;
        } else if (a == QLatin1String("--start")) {
            const std::optional<QString> value = valueOf(i, "a label's number");
            if (!value)
                return line;
            // Digits only, as for --set-year.
            startText = *value;
            const bool digits = !startText.isEmpty() && startText.size() <= 4 &&
                                std::all_of(startText.cbegin(), startText.cend(), [](QChar c) {
                                    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                                });
            line.labelStart = digits ? startText.toInt() : 0;
            startGiven = true;
        } else if (a == QLatin1String("--todo")) {
            line.todo = true;
        } else if (a == QLatin1String("--mail-digest")) {
            mailDigest = true;
        } else if (a == QLatin1String("--custom")) {
            const std::optional<QString> file = valueOf(i, "a report file");
            if (!file)
                return line;
            line.reportFile = *file;
            custom = true;
        } else if (a == QLatin1String("-o")) {
            const std::optional<QString> path = valueOf(i, "a file name");
            if (!path)
                return line;
            if (path->isEmpty()) {
                line.error = QStringLiteral("-o needs a file name");
                return line;
            }
            line.output = *path;
        } else if (a == QLatin1String("--import") || a == QLatin1String("--catalogue")) {
            const std::optional<QString> file = valueOf(i, "a file name");
            if (!file)
                return line;
            (a == QLatin1String("--import") ? line.importFile : line.catalogueFile) = *file;
        } else if (a == QLatin1String("--import-tasks") || a == QLatin1String("--map")) {
            const std::optional<QString> file = valueOf(i, "a file name");
            if (!file)
                return line;
            if (file->isEmpty()) {
                line.error = QStringLiteral("%1 needs a file name").arg(a);
                return line;
            }
            (a == QLatin1String("--map") ? line.mapFile : line.tasksFile) = *file;
        } else if (a == QLatin1String("--add-codes")) {
            line.addCodes = true;
        } else if (a == QLatin1String("--backup")) {
            backup = true;
        } else if (a == QLatin1String("--restore")) {
            const std::optional<QString> file = valueOf(i, "a backup file");
            if (!file)
                return line;
            if (file->isEmpty()) {
                line.error = QStringLiteral("--restore needs a backup file");
                return line;
            }
            line.restoreFile = *file;
        } else if (a == QLatin1String("--server") || a == QLatin1String("--copy-to") ||
                   a == QLatin1String("--copy-from")) {
            const std::optional<QString> url =
                valueOf(i, "a server address postgresql://host/dbname");
            if (!url)
                return line;
            if (url->isEmpty()) {
                line.error =
                    QStringLiteral("%1 needs a server address postgresql://host/dbname").arg(a);
                return line;
            }
            (a == QLatin1String("--server") ? line.serverUrl : line.copyUrl) = *url;
            if (a == QLatin1String("--copy-to"))
                copyTo = true;
            else if (a == QLatin1String("--copy-from"))
                copyFrom = true;
        } else if (a == QLatin1String("--no-assignments")) {
            noAssignments = true;
        } else if (a == QLatin1String("--bom")) {
            line.bom = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
        } else if (isQtOption(a, &takesValue)) {
            if (takesValue && ++i >= args.size()) {
                line.error = QStringLiteral("the option %1 needs a value").arg(a);
                return line;
            }
        } else {
            line.error = QStringLiteral("unknown option %1").arg(a);
            return line;
        }
    }
    const bool report = !line.report.isEmpty();
    const bool import = !line.importFile.isEmpty();
    const bool importTasks = !line.tasksFile.isEmpty();
    const int commands = int(monthly) + int(init) + int(setYear) + int(report) + int(custom) +
                         int(import) + int(importTasks) + int(dashboard) + int(mailDigest);
    const bool restore = !line.restoreFile.isEmpty();
    const bool calendar = !line.calendarFile.isEmpty();
    line.assignments = !noAssignments;
    // The DIR of --backup is the command line's one name.
    if (backup) {
        line.backupFolder = line.folder;
        line.folder.clear();
    }
    if (help)
        line.command = Command::Help;
    else if (commands > 1)
        line.error = QStringLiteral("-m, --init, --set-year, --report, --custom, --import, "
                                    "--import-tasks, --dashboard and --mail-digest cannot be "
                                    "given together");
    else if ((copyTo || copyFrom) &&
             int(copyTo) + int(copyFrom) + int(backup) + int(restore) + commands > 1)
        line.error = QStringLiteral("--copy-to and --copy-from go with no other command");
    else if (int(backup) + int(restore) + commands > 1)
        line.error = QStringLiteral("--backup and --restore go with no other command");
    else if (!line.catalogueFile.isEmpty() && !import)
        line.error = QStringLiteral("--catalogue goes with --import");
    else if ((!line.mapFile.isEmpty() || line.addCodes) && !importTasks)
        line.error = QStringLiteral("--map and --add-codes go with --import-tasks");
    else if (importTasks && line.mapFile.isEmpty())
        line.error = QStringLiteral("--import-tasks needs --map MAPPING.ini: the task field of "
                                    "each column");
    else if (importTasks && !tavrel::isSheetFileName(line.tasksFile))
        line.error = QStringLiteral("the file %1 is not .csv or .xlsx").arg(line.tasksFile);
    else if (const QString calendarError = calendarOptionsError(
                 line, calendar,
                 commands + int(backup) + int(restore) + int(copyTo) + int(copyFrom));
             !calendarError.isEmpty())
        line.error = calendarError;
    else if (const QString labelsError =
                 labelsOptionsError(line, labels, startGiven, startText,
                                    commands + int(backup) + int(restore) + int(copyTo) +
                                        int(copyFrom) + int(calendar));
             !labelsError.isEmpty())
        line.error = labelsError;
    else if (const QString error =
                 reportOptionsError(line, fromGiven, toGiven, dashboard || calendar);
             !error.isEmpty())
        line.error = error;
    else if (const QString dashboardError =
                 dashboardOptionsError(line, dashboard, fromGiven, toGiven);
             !dashboardError.isEmpty())
        line.error = dashboardError;
    else if (custom && line.output.isEmpty())
        line.error = QStringLiteral("--custom needs -o FILE (.txt, .csv, .xlsx, .htm or .pdf)");
    else if (custom && !isTextName(line.output) && !tavrel::tableFileType(line.output) &&
             !isHtmlName(line.output) && !isPdfName(line.output))
        line.error =
            QStringLiteral("the output file %1 does not end in .txt, .csv, .xlsx, .htm or .pdf")
                .arg(line.output);
    else if (monthly && !line.output.isEmpty() && !isPdfName(line.output))
        line.error = QStringLiteral("the file %1 must end in .pdf").arg(line.output);
    else if (!custom && !monthly && !report && !dashboard && !labels && !line.output.isEmpty())
        line.error = QStringLiteral("-o goes with -m, --report, --custom, --dashboard or --labels");
    else if (noAssignments && !setYear)
        line.error = QStringLiteral("--no-assignments goes with --set-year");
    else if (line.bom && !((report || custom) &&
                           tavrel::tableFileType(line.output) == tavrel::TableFileType::Csv))
        line.error = QStringLiteral("--bom goes with --report or --custom and -o FILE.csv");
    else if (line.demo && !init)
        line.error = QStringLiteral("--demo goes with --init");
    else if (!line.serverUrl.isEmpty() && !init)
        line.error = QStringLiteral("--server goes with --init");
    else if (copyTo)
        line.command = Command::CopyTo;
    else if (copyFrom)
        line.command = Command::CopyFrom;
    else if (backup)
        line.command = Command::Backup;
    else if (restore)
        line.command = Command::Restore;
    else if (init)
        line.command = Command::Init;
    else if (import)
        line.command = Command::Import;
    else if (importTasks)
        line.command = Command::ImportTasks;
    else if (setYear)
        line.command = Command::SetYear;
    else if (report)
        line.command = Command::Report;
    else if (custom)
        line.command = Command::Custom;
    else if (monthly)
        line.command = Command::Monthly;
    else if (dashboard)
        line.command = Command::Dashboard;
    else if (calendar)
        line.command = Command::Calendar;
    else if (labels)
        line.command = Command::Labels;
    else if (mailDigest)
        line.command = Command::MailDigest;
    // The commands without a window work in the current folder, as scheduled jobs are set up.
    if (line.error.isEmpty() && !line.folder.isEmpty() && line.command != Command::Window &&
        line.command != Command::Help)
        line.error = QStringLiteral("unexpected argument %1: a FOLDER goes only with the window; "
                                    "the commands work in the current folder")
                         .arg(line.folder);
    return line;
}

void printUsage(std::FILE* to) {
    std::fputs("Usage: tavrel [--] [FOLDER]\n"
               "       tavrel -m [-o FILE.pdf]\n"
               "       tavrel --init [--server URL] [--demo]\n"
               "       tavrel --set-year YEAR [--no-assignments]\n"
               "       tavrel --report NAME [--from YYYY-MM-DD --to YYYY-MM-DD] -o FILE [--bom]\n"
               "       tavrel --custom FILE.rpt -o FILE [--bom]\n"
               "       tavrel --dashboard [--from YYYY-MM-DD] [--to YYYY-MM-DD] -o FILE\n"
               "       tavrel --calendar FILE.ics [--employee NAME] [--from YYYY-MM-DD]\n"
               "              [--to YYYY-MM-DD] [--todo]\n"
               "       tavrel --labels -o FILE.pdf [--location NAME] [--stock a4|letter]\n"
               "              [--start N]\n"
               "       tavrel --mail-digest\n"
               "       tavrel --import OLD.mdb [--catalogue OLD-RPTSPEC.mdb]\n"
               "       tavrel --import-tasks FILE --map MAPPING.ini [--add-codes]\n"
               "       tavrel --backup [DIR]\n"
               "       tavrel --restore FILE\n"
               "       tavrel --copy-to URL\n"
               "       tavrel --copy-from URL\n"
               "       tavrel --help\n"
               "\n"
               "Without options Tavrel opens tavrel.mdb in the current folder (in FOLDER when\n"
               "one is named); started from the desktop menu it asks which folder to work in.\n"
               "Where there is no tavrel.mdb, or an empty one, it offers to create a new one;\n"
               "No ends the program.\n"
               "  --              end of the options: what follows is the FOLDER\n"
               "  -m              print this month's work orders and end (into a PDF in this\n"
               "                  folder when no printer is configured)\n"
               "  -m -o FILE.pdf  write this month's work orders to FILE.pdf instead\n"
               "  --init          create an empty tavrel.mdb and rptspec.mdb here\n"
               "  --init --demo   the same, filled with a sample site\n"
               "  --init --server URL [--demo]\n"
               "                  set up the site in the empty PostgreSQL database URL\n"
               "                  (postgresql://host/dbname) and make this folder work on it:\n"
               "                  tavrel.conf names the server, rptspec.mdb stays here\n"
               "  --set-year YEAR plan for YEAR (100 to 9999): the week dates of that year\n"
               "                  and the assignments of every scheduled task\n"
               "  --no-assignments  with --set-year: move the week dates and the year only\n"
               "  --report NAME   write a standard report to FILE: .txt for its text file,\n"
               "                  .csv or .xlsx for one table of its rows for spreadsheets\n"
               "                  (with a heading row; --bom starts a .csv with a byte order\n"
               "                  mark for spreadsheet programs), .pdf for the document; NAME is "
               "completed, expenses, master,\n"
               "                  overdue or assignments. --from and --to give its dates,\n"
               "                  --from not after --to (overdue takes none: it reports\n"
               "                  what is overdue today)\n"
               "  --custom FILE.rpt -o FILE\n"
               "                  run a saved custom report into FILE: tab-separated text (.txt),\n"
               "                  one table for spreadsheets (.csv, --bom as for --report, or\n"
               "                  .xlsx),\n"
               "                  an HTML table (.htm) or a PDF document (.pdf)\n"
               "  --dashboard -o FILE\n"
               "                  draw the dashboard's charts into FILE, a PDF (.pdf) or a\n"
               "                  PNG image (.png); --from and --to give its dates (this\n"
               "                  year when neither is given)\n"
               "  --calendar FILE.ics\n"
               "                  write the assignments to the iCalendar file FILE.ics, one\n"
               "                  all-day event on each due date (--todo: one to-do each);\n"
               "                  --employee NAME (\"Last, First\" as the lists show it)\n"
               "                  takes that employee's alone, --from and --to the due\n"
               "                  dates of a range (either may be left out). Each entry keeps\n"
               "                  its UID from one export to the next, so a calendar program\n"
               "                  that reads the file again updates its entries\n"
               "  --labels -o FILE.pdf\n"
               "                  write sheets of equipment labels into FILE.pdf, one label\n"
               "                  per task in task-name order: the QR code of the task's code,\n"
               "                  its name, tag number and location. --location NAME takes\n"
               "                  the tasks of that location alone; --stock a4 (3 x 8 labels\n"
               "                  of 63.5 x 33.9 mm, Avery L7159) or letter (3 x 10 labels of\n"
               "                  2 5/8 x 1 in, Avery 5160), by default the one of the\n"
               "                  locale's paper; --start N begins at label N of the first\n"
               "                  sheet (1 is the top-left one), to use up a sheet already\n"
               "                  used. Print the file at its actual size, not fitted to the\n"
               "                  page\n"
               "  --mail-digest   e-mail each employee with an address the assignments due\n"
               "                  this week and the overdue ones, with their work orders as a\n"
               "                  PDF, and each manager with an address the site's overdue\n"
               "                  work, through the mail server of tavrel.conf's [mail] part;\n"
               "                  a recipient sent today already is skipped, so a run after a\n"
               "                  failure sends only what did not go\n"
               "  --import OLD.mdb [--catalogue OLD-RPTSPEC.mdb]\n"
               "                  convert the earlier program's files into a new tavrel.mdb\n"
               "                  (and rptspec.mdb) here; the old files are only read,\n"
               "                  never changed or removed\n"
               "  --import-tasks FILE --map MAPPING.ini [--add-codes]\n"
               "                  add the rows of the spreadsheet FILE (.csv, or the first\n"
               "                  sheet of a .xlsx) below its heading row as new tasks, in\n"
               "                  one transaction; MAPPING.ini has one \"heading = field\"\n"
               "                  line per column (the file File, Import Tasks... keeps as\n"
               "                  taskimport.ini). Any row that cannot be imported refuses\n"
               "                  the whole file, listing every such row. A location or type\n"
               "                  not in its list refuses its row, unless --add-codes adds\n"
               "                  it to the list\n"
               "  --backup [DIR]  back up tavrel.mdb into DIR (by default the site's backup\n"
               "                  folder: backups, or the one tavrel.conf names) and print\n"
               "                  the backup's file name; older backups are then thinned out\n"
               "  --restore FILE  bring tavrel.mdb back to the backup FILE, after a backup of\n"
               "                  the database as it is (before-restore); a FILE that is not\n"
               "                  a complete database of Tavrel is refused, changing nothing\n"
               "  --copy-to URL   copy this folder's tavrel.mdb into the empty PostgreSQL\n"
               "                  database URL, all of it in one transaction, and make this\n"
               "                  folder work on the server (tavrel.mdb is left as it was)\n"
               "  --copy-from URL write the site on the server URL into a new tavrel.mdb here\n"
               "                  (an existing tavrel.mdb is never written over)\n"
               "  --help, -h      show this text\n"
               "\n"
               "Each option is given at most once. Every command but the window needs no\n"
               "display; its messages go to standard error, each starting with \"Tavrel: \".\n"
               "A file the program names itself (workorders-YYYY-MM.pdf) is always new: an\n"
               "existing file or link of that name is left alone and the next name taken.\n"
               "Exit status: 0 done, 1 an error (shown on standard error), 2 a wrong command\n"
               "line. A command that found tavrel.mdb or rptspec.mdb damaged repairs it, does\n"
               "its work on the repaired file and still ends with 1, so that a scheduled job's\n"
               "owner hears of it.\n"
               "\n"
               "A folder whose tavrel.conf says [database] url=postgresql://host/dbname works\n"
               "on that server database instead of tavrel.mdb, every command included. A URL\n"
               "never holds a password: the server's client library reads it from ~/.pgpass,\n"
               "a service file or PGPASSWORD.\n",
               to);
}

} // namespace tavrel::app
