// The program: its window on the current folder, or a command without a window.

#include "app/commandline.h"
#include "app/headless.h"
#include "assignments/codeeditor.h"
#include "assignments/frmassign.h"
#include "assignments/frmcompletecode.h"
#include "assignments/frmnewjob.h"
#include "assignments/frmsetyear.h"
#include "assignments/yeargen.h"
#include "calendar/frmexportcalendar.h"
#include "calendar/frmholidays.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/qtui.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "core/workfolder.h"
#include "custom/frmfind.h"
#include "custom/frmrptspec.h"
#include "dashboard/frmdashboard.h"
#include "import/frmimporttasks.h"
#include "legacy/importer.h"
#include "reports/frmlabels.h"
#include "reports/frmoutput.h"
#include "reports/frmrptdates.h"
#include "reports/frmwrkorder.h"
#include "reports/workorders.h"
#include "tasks/taskeditor.h"
#include "worklist/frmworklist.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstring>

using namespace tavrel::app;

namespace {

// The application icon in every size the window manager may ask for.
QIcon applicationIcon() {
    static const int sizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (int size : sizes)
        icon.addFile(QStringLiteral(":/icons/tavrel-%1.png").arg(size), QSize(size, size));
    return icon;
}

int runWindow(const CommandLine& line, int argc, char* argv[]) {
    QApplication app(argc, argv);
    setUpApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrel"));
    QApplication::setWindowIcon(applicationIcon());

    tavrel::QtUi qtUi;
    tavrel::setUi(&qtUi);

    // Cancel of the folder choice ends the program before anything is opened.
    const std::optional<QString> folder = tavrel::chooseStartFolder(line.folder);
    if (!folder) {
        tavrel::setUi(nullptr);
        return ExitOk;
    }

    tavrel::frmMain window;
    // Before the editors, whose Find buttons are enabled only with a dialog to run.
    tavrel::installFindDialog();
    tavrel::installTaskEditor(window);
    tavrel::installAssignmentEditor(window);
    tavrel::installWorkList(window);
    tavrel::installCompleteWorkOrder(window);
    tavrel::installReportOutputWindow();
    tavrel::installCustomReports(window);
    tavrel::installWorkOrders(window);
    tavrel::state().workOrderPrinter = [](const QVariant& assid) {
        qint32 id = assid.toInt();
        tavrel::PrintWorkOrder(id);
    };
    installMonthlyPrint(QString());
    tavrel::installCodeEditors(window);
    tavrel::installNewJob(window);
    tavrel::installImportTasks(window);
    tavrel::installStandardReports(window);
    tavrel::installDashboard(window);
    tavrel::installExportCalendar(window);
    tavrel::installHolidays(window);
    tavrel::installEquipmentLabels(window);
    tavrel::state().startupSteps.createYearAssignments = tavrel::CreateYearAssignments;
    tavrel::state().startupSteps.setCurrentYear = tavrel::SetCurrentYear;
    tavrel::state().startupSteps.convertEarlierDatabase = [] {
        return tavrel::convertEarlierDatabaseAtStartup(true);
    };
    window.setWorkFolder(*folder);
    window.Form_Load();
    window.show();
    tavrel::showWorkListAtStart(&window);
    // Once the window is up and in use: the daily backup runs beside it, never before it.
    QTimer::singleShot(0, &window, [&window] { window.startDailyBackup(); });
    const int code = QApplication::exec();
    window.Form_Unload();
    tavrel::setUi(nullptr);
    return code;
}

} // namespace

int main(int argc, char* argv[]) {
    // The program-wide values and hooks: made before any window or command uses them, gone
    // after the last (its connection and recordsets close with it).
    tavrel::OwnedProgramState programState;
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = parseCommandLine(args);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "%s%s\n\n", tavrel::MessagePrefix, qPrintable(line.error));
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
    case Command::Custom:
    case Command::Import:
    case Command::ImportTasks:
    case Command::Backup:
    case Command::Restore:
    case Command::CopyTo:
    case Command::CopyFrom:
    case Command::Dashboard:
    case Command::Calendar:
    case Command::Labels:
    case Command::MailDigest:
        return runWithoutWindow(line, argv[0]);
    case Command::Window:
        break;
    }
    // What follows "--" is the folder, never an option for Qt's application object.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0) {
            argv[i] = nullptr;
            argc = i;
            break;
        }
    if (!line.folder.isEmpty() && !QFileInfo(line.folder).isDir()) {
        std::fprintf(stderr, "%sthere is no folder %s\n", tavrel::MessagePrefix,
                     qPrintable(QDir::toNativeSeparators(line.folder)));
        return ExitFailed;
    }
    return runWindow(line, argc, argv);
}
