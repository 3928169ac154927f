// Command line: the GUI on the current folder, -m, and the headless commands.

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/globals.h"
#include "core/qtui.h"
#include "core/uiseam.h"
#include "data/demodata.h"
#include "dialogs/datetext.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

void printUsage() {
    std::fputs("Usage: tavrel [-m]\n"
               "       tavrel --init [--demo]\n"
               "\n"
               "Without options Tavrel opens tavrel.mdb in the current folder.\n"
               "  -m              print this month's work orders and end\n"
               "  --init          create an empty tavrel.mdb and rptspec.mdb here\n"
               "  --init --demo   the same, filled with a sample site\n",
               stderr);
}

int runInit(const QStringList& args) {
    for (const QString& a : args.mid(1))
        if (a != QLatin1String("--init") && a != QLatin1String("--demo")) {
            std::fprintf(stderr, "tavrel: unknown option for --init: %s\n", qPrintable(a));
            return ExitUsage;
        }
    QString error;
    if (!tavrel::initWorkFolder(QDir::currentPath(), args.contains(QStringLiteral("--demo")),
                                tavrel::ui().today(), &error)) {
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(error));
        return ExitFailed;
    }
    std::fprintf(stdout, "Created tavrel.mdb and rptspec.mdb in %s\n",
                 qPrintable(QDir::toNativeSeparators(QDir::currentPath())));
    return ExitOk;
}

// Commands that never show a window run on Qt's offscreen platform, so that they work
// without a display (scheduled jobs, servers, CI).
bool runsWithoutWindow(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--init" || a == "-m" || a == "--help" || a == "-h")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (runsWithoutWindow(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    QApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    tavrel::useProgramLocale();
    tavrel::installErrorPolicy();

    const QStringList args = QApplication::arguments();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        printUsage();
        return ExitOk;
    }
    if (args.contains(QStringLiteral("--init")))
        return runInit(args);
    for (const QString& a : args.mid(1))
        if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-m")) {
            std::fprintf(stderr, "tavrel: unknown option %s\n", qPrintable(a));
            printUsage();
            return ExitUsage;
        }

    tavrel::QtUi qtUi;
    tavrel::setUi(&qtUi);

    tavrel::frmMain window;
    window.setArguments(args);
    tavrel::installTaskEditor(window);
    window.Form_Load();
    if (window.ranMonthlyPrint()) {
        if (window.monthlyExitCode() == tavrel::frmMain::MonthlyPrintUnavailable)
            std::fputs("tavrel: printing work orders (-m) is not part of this version yet\n",
                       stderr);
        window.Form_Unload();
        return window.monthlyExitCode();
    }
    window.show();
    const int code = QApplication::exec();
    window.Form_Unload();
    tavrel::setUi(nullptr);
    return code;
}
