// Command line: the GUI on the current folder, -m, and the headless commands.

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/qtui.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/demodata.h"
#include "dialogs/datetext.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

enum class Command { Window, Monthly, Init, Help };

// What the command line asks for, read before any application object exists: a wrong
// switch must be answered without a display.
struct CommandLine {
    Command command = Command::Window;
    bool demo = false;
    QString error; // set: not a valid command line
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

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine line;
    bool monthly = false;
    bool init = false;
    bool help = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        bool takesValue = false;
        if (a == QLatin1String("-m")) {
            monthly = true;
        } else if (a == QLatin1String("--init")) {
            init = true;
        } else if (a == QLatin1String("--demo")) {
            line.demo = true;
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
    if (help)
        line.command = Command::Help;
    else if (monthly && init)
        line.error = QStringLiteral("-m and --init cannot be given together");
    else if (line.demo && !init)
        line.error = QStringLiteral("--demo goes with --init");
    else if (init)
        line.command = Command::Init;
    else if (monthly)
        line.command = Command::Monthly;
    return line;
}

void printUsage(std::FILE* to) {
    std::fputs("Usage: tavrel [-m]\n"
               "       tavrel --init [--demo]\n"
               "       tavrel --help\n"
               "\n"
               "Without options Tavrel opens tavrel.mdb in the current folder.\n"
               "  -m              print this month's work orders and end\n"
               "  --init          create an empty tavrel.mdb and rptspec.mdb here\n"
               "  --init --demo   the same, filled with a sample site\n"
               "  --help, -h      show this text\n"
               "\n"
               "-m and --init need no display. Exit status: 0 done, 1 an error (shown on\n"
               "standard error), 2 a wrong command line, 3 printing work orders is not part\n"
               "of this version yet.\n",
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

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    tavrel::useProgramLocale();
    tavrel::installErrorPolicy();
}

// -m and --init: no window, so they run on Qt's offscreen platform (scheduled jobs,
// servers, CI) with the console Ui, which never waits for an answer.
int runWithoutWindow(const CommandLine& line, char* programName) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing else on the command line is meant for Qt.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    QGuiApplication app(argc, argv);
    setUpApplication();
    if (line.command == Command::Init)
        return runInit(line.demo);
    return tavrel::runMonthlyCommand(QDir::currentPath());
}

int runWindow(int argc, char* argv[]) {
    QApplication app(argc, argv);
    setUpApplication();

    tavrel::QtUi qtUi;
    tavrel::setUi(&qtUi);

    tavrel::frmMain window;
    tavrel::installTaskEditor(window);
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
        return runWithoutWindow(line, argv[0]);
    case Command::Window:
        break;
    }
    return runWindow(argc, argv);
}
