// Command line: the GUI on the current folder, -m, and the headless commands.

#include "assignments/frmsetyear.h"
#include "assignments/yeargen.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/globals.h"
#include "core/qtui.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/demodata.h"
#include "dialogs/datetext.h"
#include "reports/frmoutput.h"
#include "reports/frmrptdates.h"
#include "reports/pdfoutput.h"
#include "reports/standardreports.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <optional>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

enum class Command { Window, Monthly, Init, SetYear, Report, Help };

// What the command line asks for, read before any application object exists: a wrong
// switch must be answered without a display.
struct CommandLine {
    Command command = Command::Window;
    bool demo = false;
    int year = 0;            // --set-year
    bool assignments = true; // --set-year without --no-assignments
    QString report;          // --report NAME
    QDate from;              // --from, --to: the report's dates
    QDate to;
    QString output; // -o FILE
    QString error;  // set: not a valid command line
};

// A date of the command line: ISO, YYYY-MM-DD, and a day that exists.
QDate isoDate(const QString& text) {
    if (text.size() != 10)
        return {};
    return QDate::fromString(text, Qt::ISODate);
}

// What a report is written as, by the extension of -o FILE: a text file or a PDF.
bool isPdfName(const QString& path) {
    return path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
}
bool isTextName(const QString& path) {
    return path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive);
}

// Checks the options of --report once they are all read; an error text, or none.
QString reportOptionsError(const CommandLine& line, bool fromGiven, bool toGiven) {
    if (line.report.isEmpty())
        return fromGiven || toGiven || !line.output.isEmpty()
                   ? QStringLiteral("--from, --to and -o go with --report")
                   : QString();
    if (!tavrel::standardReportNames().contains(line.report))
        return QStringLiteral("there is no report %1; the reports are %2")
            .arg(line.report, tavrel::standardReportNames().join(QLatin1String(", ")));
    if (tavrel::standardReportIsDated(line.report) && (!fromGiven || !toGiven))
        return QStringLiteral("the report %1 needs --from and --to").arg(line.report);
    if (line.output.isEmpty())
        return QStringLiteral("--report needs -o FILE");
    if (!isPdfName(line.output) && !isTextName(line.output))
        return QStringLiteral("the file %1 is neither .txt nor .pdf").arg(line.output);
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

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine line;
    bool monthly = false;
    bool init = false;
    bool help = false;
    bool setYear = false;
    bool noAssignments = false;
    bool fromGiven = false;
    bool toGiven = false;
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
            bool number = false;
            line.year = args[i].toInt(&number);
            if (!number || !tavrel::isPlannableYear(line.year)) {
                line.error = QStringLiteral("the year %1 is not a year from %2 to %3")
                                 .arg(args[i])
                                 .arg(tavrel::FirstPlannableYear)
                                 .arg(tavrel::LastPlannableYear);
                return line;
            }
            setYear = true;
        } else if (a == QLatin1String("--report")) {
            const std::optional<QString> name = valueOf(i, "a report name");
            if (!name)
                return line;
            line.report = *name;
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
        } else if (a == QLatin1String("-o")) {
            const std::optional<QString> path = valueOf(i, "a file name");
            if (!path)
                return line;
            line.output = *path;
        } else if (a == QLatin1String("--no-assignments")) {
            noAssignments = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
        } else if (isQtOption(a, &takesValue)) {
            if (takesValue && ++i >= args.size()) {
                line.error = QStringLiteral("the option %1 needs a value").arg(a);
                return line;
            }
        } else {
            line.error = a.startsWith(QLatin1Char('-'))
                             ? QStringLiteral("unknown option %1").arg(a)
                             : QStringLiteral("unexpected argument %1").arg(a);
            return line;
        }
    }
    const bool report = !line.report.isEmpty();
    const int commands = int(monthly) + int(init) + int(setYear) + int(report);
    line.assignments = !noAssignments;
    if (help)
        line.command = Command::Help;
    else if (report && commands > 1)
        line.error = QStringLiteral("--report cannot be given with -m, --init or --set-year");
    else if (commands > 1)
        line.error = QStringLiteral("-m, --init and --set-year cannot be given together");
    else if (const QString error = reportOptionsError(line, fromGiven, toGiven); !error.isEmpty())
        line.error = error;
    else if (noAssignments && !setYear)
        line.error = QStringLiteral("--no-assignments goes with --set-year");
    else if (line.demo && !init)
        line.error = QStringLiteral("--demo goes with --init");
    else if (init)
        line.command = Command::Init;
    else if (setYear)
        line.command = Command::SetYear;
    else if (report)
        line.command = Command::Report;
    else if (monthly)
        line.command = Command::Monthly;
    return line;
}

void printUsage(std::FILE* to) {
    std::fputs("Usage: tavrel [-m]\n"
               "       tavrel --init [--demo]\n"
               "       tavrel --set-year YEAR [--no-assignments]\n"
               "       tavrel --report NAME [--from YYYY-MM-DD --to YYYY-MM-DD] -o FILE\n"
               "       tavrel --help\n"
               "\n"
               "Without options Tavrel opens tavrel.mdb in the current folder.\n"
               "  -m              print this month's work orders and end\n"
               "  --init          create an empty tavrel.mdb and rptspec.mdb here\n"
               "  --init --demo   the same, filled with a sample site\n"
               "  --set-year YEAR plan for YEAR (100 to 9999): the week dates of that year\n"
               "                  and the assignments of every scheduled task\n"
               "  --no-assignments  with --set-year: move the week dates and the year only\n"
               "  --report NAME   write a standard report to FILE: .txt for its text file,\n"
               "                  .pdf for the document; NAME is completed, expenses, master,\n"
               "                  overdue or assignments. --from and --to give its dates\n"
               "                  (overdue needs none: it reports what is overdue today)\n"
               "  --help, -h      show this text\n"
               "\n"
               "-m, --init, --set-year and --report need no display. Exit status: 0 done, 1 an\n"
               "error (shown on standard error), 2 a wrong command line, 3 printing work orders\n"
               "is not part of this version yet.\n",
               to);
}

int runInit(bool demo) {
    QString error;
    if (!tavrel::initWorkFolder(QDir::currentPath(), demo, tavrel::ui().today(), &error)) {
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(error));
        return ExitFailed;
    }
    std::fprintf(stdout, "Created tavrel.mdb and rptspec.mdb in %s\n",
                 qPrintable(QDir::toNativeSeparators(QDir::currentPath())));
    return ExitOk;
}

// The console Ui of the commands without a window, except that --set-year's command line
// has already answered the question whether to create the year's assignments.
class SetYearUi final : public tavrel::Ui {
public:
    SetYearUi(tavrel::Ui& console, bool createAssignments)
        : console_(console)
        , create_(createAssignments) {}

    tavrel::MsgResult msgBox(const QString& text, tavrel::MsgButtons buttons, tavrel::MsgIcon icon,
                             const QString& title) override {
        if (title != QLatin1String("Create Task Assignments"))
            return console_.msgBox(text, buttons, icon, title);
        std::fprintf(stderr, "%s: %s [%s]\n", qPrintable(title), qPrintable(text),
                     create_ ? "Yes: --set-year" : "No: --no-assignments");
        return create_ ? tavrel::MsgResult::Yes : tavrel::MsgResult::No;
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        return console_.inputBox(prompt, title, defaultText);
    }
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& initialName) override {
        return console_.openFileName(parent, title, filter, initialName);
    }
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& initialName) override {
        return console_.saveFileName(parent, title, filter, initialName);
    }
    void beep() override { console_.beep(); }
    void sendTab(QWidget* from) override { console_.sendTab(from); }
    int showModal(QDialog* dialog) override { return console_.showModal(dialog); }
    void showHelp(QWidget* parent, const QString& topic) override {
        console_.showHelp(parent, topic);
    }
    QDate today() override { return console_.today(); }
    QDateTime now() override { return console_.now(); }
    void endProgram(int exitCode) override { console_.endProgram(exitCode); }

private:
    tavrel::Ui& console_;
    bool create_;
};

qint64 assignmentCount() {
    tavrel::Recordset count = tavrel::dbMain.openRecordset(
        QStringLiteral("select count(*) as n from assign"), tavrel::RecordsetType::Snapshot);
    return count.isOpen() ? count.value(QStringLiteral("n")).toLongLong() : 0;
}

// --set-year: start-up's steps without a window, then the year's generation. Every error
// is on standard error already; the status says whether there was one.
int runSetYear(int year, bool createAssignments) {
    SetYearUi setYearUi(tavrel::ui(), createAssignments);
    tavrel::setUi(&setYearUi);
    const int errorsBefore = tavrel::errorsShown();
    bool opened = false;
    qint64 created = 0;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        opened = tavrel::dbMain.isOpen();
        if (opened) {
            const qint64 before = assignmentCount();
            tavrel::CreateYearAssignments(static_cast<qint16>(year));
            created = assignmentCount() - before;
        }
        tavrel::dbMain.close();
    }
    tavrel::setUi(nullptr);
    if (!opened || tavrel::errorsShown() > errorsBefore)
        return ExitFailed;
    std::fprintf(stdout, "Tavrel is set up for %d: %lld new task assignments.\n", year,
                 static_cast<long long>(created));
    return ExitOk;
}

// --report: start-up's steps without a window, then the report to a text file or a PDF.
// A report without rows says so and leaves an empty text file (or no PDF): that is no
// failure. Every error is on standard error already; the status says whether there was one.
int runReport(const CommandLine& line) {
    const int errorsBefore = tavrel::errorsShown();
    bool written = true;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        if (tavrel::dbMain.isOpen()) {
            tavrel::ReportStartDate = line.from;
            tavrel::ReportEndDate = line.to;
            const tavrel::StandardReport report = *tavrel::standardReportNamed(line.report);
            const QString path = QDir::current().absoluteFilePath(line.output);
            if (isPdfName(path)) {
                tavrel::ReportDest = tavrel::ReportToView;
                const tavrel::ReportRunResult result = tavrel::runStandardReport(report);
                if (result == tavrel::ReportRunResult::Written) {
                    QString error;
                    written = tavrel::printToPdf(tavrel::reportDocument(), path, &error);
                    if (!written)
                        std::fprintf(stderr, "tavrel: %s\n", qPrintable(error));
                } else if (result == tavrel::ReportRunResult::NoRows) {
                    // An older PDF of that name must not pass for this run's result.
                    QFile::remove(path);
                }
            } else {
                tavrel::runStandardReport(report, path);
            }
        }
        tavrel::dbMain.close();
    }
    return written && tavrel::errorsShown() == errorsBefore ? ExitOk : ExitFailed;
}

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    tavrel::useProgramLocale();
    tavrel::installErrorPolicy();
}

// -m, --init, --set-year and --report: no window, so they run on Qt's offscreen platform (scheduled
// jobs, servers, CI) with the console Ui, which never waits for an answer.
int runWithoutWindow(const CommandLine& line, char* programName) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing else on the command line is meant for Qt.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    QGuiApplication app(argc, argv);
    setUpApplication();
    if (line.command == Command::Init)
        return runInit(line.demo);
    if (line.command == Command::SetYear)
        return runSetYear(line.year, line.assignments);
    if (line.command == Command::Report)
        return runReport(line);
    return tavrel::runMonthlyCommand(QDir::currentPath());
}

int runWindow(int argc, char* argv[]) {
    QApplication app(argc, argv);
    setUpApplication();

    tavrel::QtUi qtUi;
    tavrel::setUi(&qtUi);

    tavrel::frmMain window;
    tavrel::installTaskEditor(window);
    tavrel::installReportOutputWindow();
    tavrel::installStandardReports(window);
    tavrel::startupSteps().createYearAssignments = tavrel::CreateYearAssignments;
    tavrel::startupSteps().setCurrentYear = tavrel::SetCurrentYear;
    window.Form_Load();
    window.show();
    const int code = QApplication::exec();
    window.Form_Unload();
    tavrel::setUi(nullptr);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(args);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "tavrel: %s\n\n", qPrintable(line.error));
        printUsage(stderr);
        return ExitUsage;
    }
    switch (line.command) {
    case Command::Help:
        printUsage(stdout);
        return ExitOk;
    case Command::Init:
    case Command::Monthly:
    case Command::SetYear:
    case Command::Report:
        return runWithoutWindow(line, argv[0]);
    case Command::Window:
        break;
    }
    return runWindow(argc, argv);
}
