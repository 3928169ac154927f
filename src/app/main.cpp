// Command line: the GUI on the current folder, -m, and the headless commands.

#include "assignments/frmassign.h"
#include "assignments/codeeditor.h"
#include "assignments/frmsetyear.h"
#include "assignments/yeargen.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/globals.h"
#include "core/qtui.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "custom/customreport.h"
#include "custom/frmrptspec.h"
#include "data/database.h"
#include "data/demodata.h"
#include "dialogs/datetext.h"
#include "legacy/importer.h"
#include "reports/frmoutput.h"
#include "reports/frmwrkorder.h"
#include "reports/monthlyprint.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

enum class Command { Window, Monthly, Init, SetYear, Custom, Import, Help };

// What the command line asks for, read before any application object exists: a wrong
// switch must be answered without a display.
struct CommandLine {
    Command command = Command::Window;
    bool demo = false;
    int year = 0;            // --set-year
    bool assignments = true; // --set-year without --no-assignments
    QString reportFile;      // --custom
    QString outputFile;      // -o: --custom's output, or -m's PDF
    QString importFile;      // --import: the earlier program's tavrel.mdb
    QString catalogueFile;   // --catalogue: the earlier program's rptspec.mdb
    QString error;           // set: not a valid command line
};

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

// Where a custom report run from the command line goes, by the output file's extension.
std::optional<tavrel::ReportDestination> customDestination(const QString& outputFile) {
    const QString suffix = QFileInfo(outputFile).suffix().toLower();
    if (suffix == QLatin1String("txt"))
        return tavrel::ReportDestination::TextFile;
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        return tavrel::ReportDestination::WebTable;
    if (suffix == QLatin1String("pdf"))
        return tavrel::ReportDestination::Document;
    return std::nullopt;
}

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine line;
    bool monthly = false;
    bool init = false;
    bool help = false;
    bool setYear = false;
    bool noAssignments = false;
    bool custom = false;
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
        } else if (a == QLatin1String("--custom") || a == QLatin1String("-o")) {
            if (++i >= args.size() || args[i].isEmpty()) {
                line.error = QStringLiteral("%1 needs a file name").arg(a);
                return line;
            }
            if (a == QLatin1String("-o")) {
                line.outputFile = args[i];
            } else {
                line.reportFile = args[i];
                custom = true;
            }
        } else if (a == QLatin1String("--import") || a == QLatin1String("--catalogue")) {
            if (++i >= args.size() || args[i].isEmpty()) {
                line.error = QStringLiteral("%1 needs a file name").arg(a);
                return line;
            }
            (a == QLatin1String("--import") ? line.importFile : line.catalogueFile) = args[i];
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
    const bool import = !line.importFile.isEmpty();
    const int commands = int(monthly) + int(init) + int(setYear) + int(custom) + int(import);
    line.assignments = !noAssignments;
    if (help)
        line.command = Command::Help;
    else if (commands > 1)
        line.error = QStringLiteral(
            "-m, --init, --set-year, --custom and --import cannot be given together");
    else if (!line.catalogueFile.isEmpty() && !import)
        line.error = QStringLiteral("--catalogue goes with --import");
    else if (noAssignments && !setYear)
        line.error = QStringLiteral("--no-assignments goes with --set-year");
    else if (line.demo && !init)
        line.error = QStringLiteral("--demo goes with --init");
    else if (custom && line.outputFile.isEmpty())
        line.error = QStringLiteral("--custom needs -o FILE (.txt, .htm or .pdf)");
    else if (custom && !customDestination(line.outputFile))
        line.error = QStringLiteral("the output file %1 does not end in .txt, .htm or .pdf")
                         .arg(line.outputFile);
    else if (monthly && !line.outputFile.isEmpty() &&
             !line.outputFile.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        line.error = QStringLiteral("the file %1 must end in .pdf").arg(line.outputFile);
    else if (!custom && !monthly && !line.outputFile.isEmpty())
        line.error = QStringLiteral("-o goes with -m or --custom");
    else if (init)
        line.command = Command::Init;
    else if (import)
        line.command = Command::Import;
    else if (custom)
        line.command = Command::Custom;
    else if (setYear)
        line.command = Command::SetYear;
    else if (monthly)
        line.command = Command::Monthly;
    return line;
}

void printUsage(std::FILE* to) {
    std::fputs("Usage: tavrel [-m [-o FILE.pdf]]\n"
               "       tavrel --init [--demo]\n"
               "       tavrel --set-year YEAR [--no-assignments]\n"
               "       tavrel --custom FILE.rpt -o FILE\n"
               "       tavrel --import OLD.mdb [--catalogue OLD-RPTSPEC.mdb]\n"
               "       tavrel --help\n"
               "\n"
               "Without options Tavrel opens tavrel.mdb in the current folder.\n"
               "  -m              print this month's work orders and end (into a PDF in this\n"
               "                  folder when no printer is configured)\n"
               "  -m -o FILE.pdf  write this month's work orders to FILE.pdf instead\n"
               "  --init          create an empty tavrel.mdb and rptspec.mdb here\n"
               "  --init --demo   the same, filled with a sample site\n"
               "  --set-year YEAR plan for YEAR (100 to 9999): the week dates of that year\n"
               "                  and the assignments of every scheduled task\n"
               "  --no-assignments  with --set-year: move the week dates and the year only\n"
               "  --custom FILE.rpt -o FILE\n"
               "                  run a saved custom report into FILE: tab-separated text (.txt),\n"
               "                  an HTML table (.htm) or a PDF document (.pdf)\n"
               "  --import OLD.mdb [--catalogue OLD-RPTSPEC.mdb]\n"
               "                  convert the earlier program's files into a new tavrel.mdb\n"
               "                  (and rptspec.mdb) here; the old files are only read\n"
               "  --help, -h      show this text\n"
               "\n"
               "-m, --init, --set-year, --custom and --import need no display. Exit status:\n"
               "0 done, 1 an error (shown on standard error), 2 a wrong command line.\n",
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

// --custom: a saved report over tavrel.mdb of the current folder, into the file named by -o.
int runCustom(const QString& reportFile, const QString& outputFile) {
    const int errorsBefore = tavrel::errorsShown();
    tavrel::ReportRun run = tavrel::ReportRun::Failed;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        if (!tavrel::dbMain.isOpen())
            return ExitFailed;
        tavrel::Database specDb =
            tavrel::Database::open(tavrel::AppPath + QStringLiteral("rptspec.mdb"));
        if (!specDb.isOpen())
            return ExitFailed;
        const tavrel::ReportFileRead read = tavrel::readReportFile(reportFile, {}, specDb);
        if (read.outcome == tavrel::ReportFileRead::NotReadable)
            return ExitFailed;
        if (read.outcome != tavrel::ReportFileRead::Read) {
            std::fprintf(stderr, "tavrel: %s: %s\n", qPrintable(reportFile),
                         qPrintable(tavrel::InvalidReportFileText));
            return ExitFailed;
        }
        tavrel::ReportDefinition report = read.report;
        report.destination = *customDestination(outputFile);
        run = tavrel::runCustomReport(report, read.catalogue, tavrel::dbMain, outputFile);
        if (run == tavrel::ReportRun::Written &&
            report.destination == tavrel::ReportDestination::Document) {
            QString error;
            if (!tavrel::printToPdf(tavrel::reportDocument(), outputFile, &error)) {
                std::fprintf(stderr, "tavrel: %s\n", qPrintable(error));
                run = tavrel::ReportRun::Failed;
            }
        }
        tavrel::dbMain.close();
    }
    if (run != tavrel::ReportRun::Written || tavrel::errorsShown() > errorsBefore)
        return ExitFailed;
    std::fprintf(stdout, "Wrote %s\n", qPrintable(QDir::toNativeSeparators(outputFile)));
    return ExitOk;
}

// --import: the earlier program's files converted into this folder, then brought up to
// date by the start-up steps (the schema upgrade) as any older file is.
int runImport(const QString& oldDatabase, const QString& oldCatalogue) {
    const tavrel::ImportOutcome outcome = tavrel::importEarlierFiles(
        oldDatabase, oldCatalogue, QDir::currentPath(), tavrel::ui().today().year());
    if (!outcome.converted) {
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(outcome.message));
        return ExitFailed;
    }
    const int errorsBefore = tavrel::errorsShown();
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        tavrel::dbMain.close();
    }
    std::fprintf(stdout, "%s\n", qPrintable(outcome.message));
    return tavrel::errorsShown() > errorsBefore ? ExitFailed : ExitOk;
}

// The -m print: the month's work orders to the printer or a PDF, and on standard output
// what became of them.
void installMonthlyPrint(const QString& pdfPath) {
    tavrel::startupSteps().printMonthlyWorkOrders = [pdfPath] {
        const tavrel::MonthlyPrintResult result = tavrel::printMonthlyWorkOrders(pdfPath);
        const QDate today = tavrel::ui().today();
        const QString month =
            tavrel::longMonthName(today.month()) + QLatin1Char(' ') + QString::number(today.year());
        if (result.workOrders == 0) {
            std::fprintf(stdout, "No work orders are due in %s: nothing was printed.\n",
                         qPrintable(month));
            return ExitOk;
        }
        if (!result.delivered)
            return ExitFailed;
        if (result.pdfPath.isEmpty())
            std::fprintf(stdout, "Printed %d work orders due in %s.\n", result.workOrders,
                         qPrintable(month));
        else
            std::fprintf(
                stdout, "Wrote %d work orders due in %s to %s%s\n", result.workOrders,
                qPrintable(month),
                qPrintable(QDir::toNativeSeparators(QFileInfo(result.pdfPath).absoluteFilePath())),
                pdfPath.isEmpty() ? " (no printer is configured)." : ".");
        return ExitOk;
    };
}

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    tavrel::useProgramLocale();
    tavrel::installErrorPolicy();
}

// -m, --init, --set-year, --custom and --import: no window, so they run on Qt's offscreen platform
// (scheduled jobs, servers, CI) with the console Ui, which never waits for an answer.
int runWithoutWindow(const CommandLine& line, char* programName) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing else on the command line is meant for Qt.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    QGuiApplication app(argc, argv);
    setUpApplication();
    tavrel::startupSteps().convertEarlierDatabase = [] {
        return tavrel::convertEarlierDatabaseAtStartup(false);
    };
    if (line.command == Command::Import)
        return runImport(line.importFile, line.catalogueFile);
    if (line.command == Command::Init)
        return runInit(line.demo);
    if (line.command == Command::SetYear)
        return runSetYear(line.year, line.assignments);
    if (line.command == Command::Custom)
        return runCustom(line.reportFile, line.outputFile);
    installMonthlyPrint(line.outputFile);
    return tavrel::runMonthlyCommand(QDir::currentPath());
}

int runWindow(int argc, char* argv[]) {
    QApplication app(argc, argv);
    setUpApplication();

    tavrel::QtUi qtUi;
    tavrel::setUi(&qtUi);

    tavrel::frmMain window;
    tavrel::installTaskEditor(window);
    tavrel::installAssignmentEditor(window);
    tavrel::installReportOutputWindow();
    tavrel::installCustomReports(window);
    tavrel::installWorkOrders(window);
    tavrel::setAssignmentWorkOrderPrinter([](const QVariant& assid) {
        qint32 id = assid.toInt();
        tavrel::PrintWorkOrder(id);
    });
    installMonthlyPrint(QString());
    tavrel::installCodeEditors(window);
    tavrel::startupSteps().createYearAssignments = tavrel::CreateYearAssignments;
    tavrel::startupSteps().setCurrentYear = tavrel::SetCurrentYear;
    tavrel::startupSteps().convertEarlierDatabase = [] {
        return tavrel::convertEarlierDatabaseAtStartup(true);
    };
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
    case Command::Custom:
    case Command::Import:
        return runWithoutWindow(line, argv[0]);
    case Command::Window:
        break;
    }
    return runWindow(argc, argv);
}
