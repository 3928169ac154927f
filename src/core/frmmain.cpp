#include "core/frmmain.h"

#include "core/backups.h"
#include "core/datachanges.h"
#include "core/errortrap.h"
#include "core/frmabout.h"
#include "core/frmbackups.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "core/workfolder.h"
#include "data/sitecopy.h"
#include "text/datetext.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QStatusBar>

namespace tavrel {

namespace {

// Entries whose windows are not part of this build yet stay visible but disabled, so the
// menu shows the whole program and nothing pretends to work.
QAction* addEntry(QMenu* menu, const QString& name, const QString& caption, bool available) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setEnabled(available);
    return action;
}

// The window's size on a screen with room for it; a smaller one gets what its available
// area holds with the window's frame around it (1024 x 768 with a panel and a title bar).
constexpr int UsualWidth = 1100;
constexpr int UsualHeight = 760;

} // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
    , workFolder_(QDir::currentPath())
    , daily_(std::make_unique<DailyBackup>()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(AppTitle);
    buildMenus();
    lblOverdue = new QLabel(this);
    lblOverdue->setObjectName(QStringLiteral("lblOverdue"));
    statusBar()->addWidget(lblOverdue);
    connect(&dataChanges(), &DataChanges::assignmentsChanged, this,
            [this] { guardedCall([this] { refreshOverdueCount(); }); });
    placeOnScreen(this, QSize(UsualWidth, UsualHeight));
}

frmMain::~frmMain() = default;

void frmMain::YearReader::reopenRecords() {
    // Start-up reads them itself, after the step that may have repaired the file.
    if (!main_.loaded_)
        return;
    Recordset settings =
        state().dbMain.openRecordset(QStringLiteral("Settings"), RecordsetType::Table);
    if (settings.isOpen())
        readCurYear(settings);
    settings.close();
    main_.updateSetYearCaption();
    if (main_.editor_)
        main_.editor_->fillWeekList();
    main_.refreshOverdueCount();
}

// One piece: the menu bar entry by entry in the order the user sees it.
void frmMain::buildMenus() {
    QMenuBar* bar = menuBar();

    mnuFileMenu = bar->addMenu(QStringLiteral("&File"));
    mnuFileMenu->setObjectName(QStringLiteral("mnuFile"));
    mnuOpenFolder = addEntry(mnuFileMenu, QStringLiteral("mnuOpenFolder"),
                             QStringLiteral("&Open Folder..."), true);
    connect(mnuOpenFolder, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuOpenFolder_Click(); }); });
    mnuFileMenu->addSeparator();
    mnuDefaults = addEntry(mnuFileMenu, QStringLiteral("mnuDefaults"),
                           QStringLiteral("&Maintain Program Defaults"), true);
    mnuSetYear = addEntry(mnuFileMenu, QStringLiteral("mnuSetYear"),
                          QStringLiteral("&Set Current Year"), false);
    mnuBackups =
        addEntry(mnuFileMenu, QStringLiteral("mnuBackups"), QStringLiteral("&Backups..."), true);
    connect(mnuBackups, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuBackups_Click(); }); });
    mnuImportTasks = addEntry(mnuFileMenu, QStringLiteral("mnuImportTasks"),
                              QStringLiteral("&Import Tasks..."), false);
    mnuFileMenu->addSeparator();
    mnuExit = addEntry(mnuFileMenu, QStringLiteral("mnuExit"), QStringLiteral("E&xit"), true);
    connect(mnuDefaults, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuDefaults_Click(); }); });
    connect(mnuSetYear, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuSetYear_Click(); }); });
    // Set Current Year shows the first task again, Open Folder closes it and Import Tasks
    // reads the tasks again, so like Exit they wait while a task is being edited; the editor
    // disables Exit then.
    connect(mnuExit, &QAction::enabledChanged, this, [this] { updateSetYearEnabled(); });
    connect(mnuExit, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuExit_Click(); }); });

    mnuMaintainMenu = bar->addMenu(QStringLiteral("&Maintain"));
    mnuMaintainMenu->setObjectName(QStringLiteral("mnuMaintain"));
    mnuAssign = addEntry(mnuMaintainMenu, QStringLiteral("mnuAssign"),
                         QStringLiteral("Assignments"), false);
    mnuWorkList = addEntry(mnuMaintainMenu, QStringLiteral("mnuWorkList"),
                           QStringLiteral("&Work List"), false);
    mnuWorkList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuCompleteCode = addEntry(mnuMaintainMenu, QStringLiteral("mnuCompleteCode"),
                               QStringLiteral("&Complete Work Order..."), false);
    mnuCompleteCode->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    // From every window: the next sheet is scanned from the assignment editor that took the
    // last one. A modal dialog still keeps it out.
    mnuCompleteCode->setShortcutContext(Qt::ApplicationShortcut);
    mnuNewJob = addEntry(mnuMaintainMenu, QStringLiteral("mnuNewJob"),
                         QStringLiteral("&New Job..."), false);
    mnuMaintainMenu->addSeparator();
    const QString codeCaptions[] = {{},
                                    QStringLiteral("&Employees"),
                                    QStringLiteral("&Locations"),
                                    QStringLiteral("&Managers"),
                                    QStringLiteral("&Types")};
    for (int i = 1; i <= 4; ++i)
        mnuMaint[i] =
            addEntry(mnuMaintainMenu, QStringLiteral("mnuMaint%1").arg(i), codeCaptions[i], false);
    mnuHolidays = addEntry(mnuMaintainMenu, QStringLiteral("mnuHolidays"),
                           QStringLiteral("Working &Days and Holidays..."), false);

    mnuReportsMenu = bar->addMenu(QStringLiteral("&Reports"));
    mnuReportsMenu->setObjectName(QStringLiteral("mnuReports"));
    auto* destinations = new QActionGroup(this);
    const QString outCaptions[] = {
        {}, QStringLiteral("&View/Print Report"), QStringLiteral("Send Report to &File")};
    for (int i = 1; i <= 2; ++i) {
        mnuRptOut[i] =
            addEntry(mnuReportsMenu, QStringLiteral("mnuRptOut%1").arg(i), outCaptions[i], true);
        mnuRptOut[i]->setCheckable(true);
        destinations->addAction(mnuRptOut[i]);
        connect(mnuRptOut[i], &QAction::triggered, this,
                [this, i] { guardedCall([this, i] { mnuRptOut_Click(i); }); });
    }
    rptOutEntry(ReportTarget::View)->setChecked(true);
    mnuReportsMenu->addSeparator();
    mnuWorkOrder = addEntry(mnuReportsMenu, QStringLiteral("mnuWorkOrder"),
                            QStringLiteral("Print &Work Orders"), false);
    mnuLabels = addEntry(mnuReportsMenu, QStringLiteral("mnuLabels"),
                         QStringLiteral("Equipment La&bels..."), false);
    mnuReportsMenu->addSeparator();
    mnuRptMaster = addEntry(mnuReportsMenu, QStringLiteral("mnuRptMaster"),
                            QStringLiteral("&Master List by Week"), false);
    mnuRptOverdue = addEntry(mnuReportsMenu, QStringLiteral("mnuRptOverdue"),
                             QStringLiteral("&Overdue Maintenance"), false);
    mnuRptTasks = addEntry(mnuReportsMenu, QStringLiteral("mnuRptTasks"),
                           QStringLiteral("Task &Assignments by Employee"), false);
    mnuRptComplete = addEntry(mnuReportsMenu, QStringLiteral("mnuRptComplete"),
                              QStringLiteral("&Completed Work by Employee"), false);
    mnuRptExpense = addEntry(mnuReportsMenu, QStringLiteral("mnuRptExpense"),
                             QStringLiteral("Maintenance &Expense Report"), false);
    mnuReportsMenu->addSeparator();
    mnuDashboard = addEntry(mnuReportsMenu, QStringLiteral("mnuDashboard"),
                            QStringLiteral("&Dashboard"), false);
    mnuExportCalendar = addEntry(mnuReportsMenu, QStringLiteral("mnuExportCalendar"),
                                 QStringLiteral("Export Ca&lendar..."), false);

    mnuCustomMenu = bar->addMenu(QStringLiteral("Custom &Reports"));
    mnuCustomMenu->setObjectName(QStringLiteral("mnuCustomMenu"));
    mnuCustom[1] =
        addEntry(mnuCustomMenu, QStringLiteral("mnuCustom1"), QStringLiteral("&Tasks"), false);
    mnuCustom[2] = addEntry(mnuCustomMenu, QStringLiteral("mnuCustom2"),
                            QStringLiteral("&Assignments"), false);

    mnuHelpMenu = bar->addMenu(QStringLiteral("&Help"));
    mnuHelpMenu->setObjectName(QStringLiteral("mnuHelpMenu"));
    const QString helpCaptions[] = {{},
                                    QStringLiteral("&Contents"),
                                    QStringLiteral("&Search for Help on..."),
                                    QStringLiteral("&Using Help")};
    for (int i = 1; i <= 3; ++i) {
        mnuHelp[i] =
            addEntry(mnuHelpMenu, QStringLiteral("mnuHelp%1").arg(i), helpCaptions[i], true);
        connect(mnuHelp[i], &QAction::triggered, this,
                [this, i] { guardedCall([this, i] { mnuHelp_Click(i); }); });
    }
    mnuHelpMenu->addSeparator();
    mnuAbout =
        addEntry(mnuHelpMenu, QStringLiteral("mnuAbout"), QStringLiteral("&About Tavrel..."), true);
    connect(mnuAbout, &QAction::triggered, this,
            [this] { guardedCall([this] { mnuAbout_Click(); }); });
}

void frmMain::setEditor(std::unique_ptr<MainEditor> editor) {
    editor_ = std::move(editor);
    if (editor_)
        setCentralWidget(editor_->widget());
}

void frmMain::updateSetYearCaption() {
    mnuSetYear->setText(QStringLiteral("&Set Current Year (Now ") +
                        QString::number(state().CurYear) + QStringLiteral(")"));
}

void frmMain::updateSetYearEnabled() {
    mnuSetYear->setEnabled(state().startupSteps.setCurrentYear && mnuExit->isEnabled());
    mnuOpenFolder->setEnabled(mnuExit->isEnabled());
    mnuImportTasks->setEnabled(installed_.contains(mnuImportTasks) && mnuExit->isEnabled());
}

void frmMain::Form_Load() {
    ErrorTrap trap;
    updateSetYearEnabled();

    // A user at the window is offered a new database where there is none (the commands
    // without a window, -m among them, only report it).
    Recordset settings = runWindowlessSteps(workFolder_, MissingDatabase::OfferToCreate);
    const bool serverSite = isServerUrl(state().DbPath);
    if (serverSite && !state().dbMain.isOpen()) {
        // Why the server's database did not open was said; as where a folder holds no
        // database, the user may work in another folder instead.
        settings.close();
        chooseFolderInstead();
        return;
    }
    updateSetYearCaption();
    // Start-up set the report destination back to the view; the menu shows that.
    rptOutEntry(state().ReportDest)->setChecked(true);
    // Which site this is: the folder, in the title of the window that works on it, and on a
    // server site the server and database it works on.
    const QString folder = QDir::toNativeSeparators(QDir(state().AppPath).absolutePath());
    setWindowTitle(AppTitle + QStringLiteral(" - ") +
                   (serverSite ? state().dbMain.serverLabel() + QStringLiteral(" (") + folder +
                                     QLatin1Char(')')
                               : folder));
    // A server's database is backed up by the server's own tools.
    mnuBackups->setVisible(!serverSite);
    if (state().dbMain.isOpen())
        rememberWorkFolder(state().AppPath);

    setReportDefaults();

    // The year question needs the generation of assignments; without it nothing is asked.
    const int today = ui().today().year();
    // Without a database there is no year to set up: why was said already.
    if (state().startupSteps.createYearAssignments && state().dbMain.isOpen() &&
        settings.value(QStringLiteral("CurYear")).toInt() != today) {
        const MsgResult answer =
            ui().msgBox(QStringLiteral("Do you wish to setup the Tavrel program for ") +
                            QString::number(today) + QStringLiteral("?"),
                        MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Reset Year"));
        if (answer == MsgResult::Yes)
            state().startupSteps.createYearAssignments(static_cast<qint16>(today));
    }
    updateSetYearCaption();

    if (editor_)
        runReadingStep([this] { editor_->fillWeekList(); });
    settings.close();

    if (editor_) {
        runReadingStep([this] {
            editor_->openRecords();
            editor_->activate();
            editor_->showFirst();
        });
        editor_->resetState();
    }
    refreshOverdueCount();
    loaded_ = true;
}

void frmMain::chooseFolderInstead() {
    const QString current = QDir(state().AppPath).absolutePath();
    const std::optional<QString> folder = askWorkFolder(
        this,
        QStringLiteral("Tavrel could not open the database of the site in %1 on its server. "
                       "Which folder do you want to work in instead?")
            .arg(QDir::toNativeSeparators(current)),
        current);
    if (!folder) {
        ui().endProgram(0);
        return;
    }
    workFolder_ = *folder;
    Form_Load();
}

void frmMain::startDailyBackup() {
    dailyStarted_ = true;
    daily_->startIfDue();
}

void frmMain::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    loaded_ = false;
    // The daily copy ends (or is stopped) before the file it reads is left.
    daily_->finish();
    ErrorTrap trap;
    if (editor_)
        editor_->closeRecords();
    state().dbMain.close();
}

void frmMain::Form_Activate() {
    if (editor_)
        editor_->activate();
}

bool frmMain::checkEditorControl() {
    return !editor_ || editor_->checkFocusedControl();
}

void frmMain::mnuOpenFolder_Click() {
    if (!checkEditorControl())
        return;
    if (editor_ && editor_->isEditing()) {
        ui().beep();
        return;
    }
    const QString current = QDir(state().AppPath).absolutePath();
    const std::optional<QString> folder = askWorkFolder(
        this,
        QStringLiteral("Tavrel works on the site in %1. Which folder do you want to work in "
                       "instead? Tavrel closes its other windows first.")
            .arg(QDir::toNativeSeparators(current)),
        current);
    if (!folder || !closeOtherWindows())
        return;
    // Shutdown for this folder, then the whole start-up for the other one, whose first
    // start of the day this may be.
    Form_Unload();
    unloaded_ = false;
    workFolder_ = *folder;
    Form_Load();
    if (dailyStarted_)
        startDailyBackup();
}

void frmMain::mnuExit_Click() {
    if (!checkEditorControl())
        return;
    close();
}

void frmMain::mnuDefaults_Click() {
    // The program keeps no defaults of its own beyond the year and the report destination,
    // which have their own menu entries; say so rather than do nothing.
    ui().msgBox(QStringLiteral("The planning year is set with File, Set Current Year, and the "
                               "report destination in the Reports menu. There are no other "
                               "program defaults to maintain."),
                MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Program Defaults"));
}

void frmMain::mnuSetYear_Click() {
    if (!state().startupSteps.setCurrentYear || !checkEditorControl())
        return;
    if (editor_ && editor_->isEditing()) {
        ui().beep();
        return;
    }
    ErrorTrap trap;
    if (state().startupSteps.setCurrentYear(this)) {
        updateSetYearCaption();
        // The list shows the weeks of the year now set, also when it did not change.
        if (editor_)
            runReadingStep([this] { editor_->fillWeekList(); });
    }
    // Also after Cancel: the first task again, its weeks marked in the list.
    if (editor_)
        runReadingStep([this] { editor_->showFirst(); });
    notifyAssignmentsChanged();
}

void frmMain::refreshOverdueCount() {
    lblOverdue->clear();
    if (!state().dbMain.isOpen())
        return;
    // A count that cannot be read leaves the status bar empty; the windows that read the
    // assignments report the failure.
    ErrorTrap quiet([](const DbError&) {});
    const QDate today = ui().today();
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select count(*) as n from assign where not completed and duedate < ") +
            jetDateLiteral(today),
        RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() == 0)
        return;
    const int overdue = rs.value(QStringLiteral("n")).toInt();
    lblOverdue->setText(
        overdue == 0   ? QStringLiteral("No overdue assignments")
        : overdue == 1 ? QStringLiteral("1 overdue assignment")
                       : QStringLiteral("%1 overdue assignments").arg(QLocale().toString(overdue)));
}

void frmMain::mnuBackups_Click() {
    if (isServerUrl(state().DbPath))
        return;
    openBackupsWindow(this);
}

void frmMain::mnuHelp_Click(int index) {
    static const char* const topics[] = {"", "contents", "search", "usinghelp"};
    if (index >= 1 && index <= 3)
        ui().showHelp(this, QString::fromLatin1(topics[index]));
}

void frmMain::installCommand(QAction* entry, std::function<void()> command) {
    connect(entry, &QAction::triggered, this,
            [command = std::move(command)] { guardedCall(command); });
    installed_.insert(entry);
    entry->setEnabled(entry != mnuImportTasks || mnuExit->isEnabled());
}

void frmMain::mnuRptOut_Click(int index) {
    state().ReportDest = rptOutTarget(index);
    rptOutEntry(state().ReportDest)->setChecked(true);
}

void frmMain::mnuAbout_Click() {
    frmAbout about(this);
    ui().showModal(&about);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Every window with a row in edit asks what becomes of it before any window closes:
    // Cancel in any of them leaves the program as it was, every window open.
    if (!confirmEditorsClose()) {
        event->ignore();
        return;
    }
    // The program ends with this window, so the other windows close first.
    if (!closeOtherWindows()) {
        event->ignore();
        return;
    }
    guardedCall([this] { Form_Unload(); });
    event->accept();
}

// Asks each editor with unsaved edits in turn, this window's own first: false as soon as
// one stays in edit (Cancel, or a save that was refused).
bool frmMain::confirmEditorsClose() {
    if (editor_ && !editor_->confirmClose())
        return false;
    for (QWidget* other : QApplication::topLevelWidgets()) {
        auto* editor = qobject_cast<RecordEditor*>(other);
        if (other != this && other->isVisible() && editor && !editor->confirmClose())
            return false;
    }
    return true;
}

// Closes every other window of the program, each by its own rules: one that refuses (an
// editor with unsaved edits) stays open, comes forward, and the answer is false.
bool frmMain::closeOtherWindows() {
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other == this || !other->isVisible())
            continue;
        if (!other->close()) {
            other->raise();
            other->activateWindow();
            return false;
        }
    }
    return true;
}

void frmMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        guardedCall([this] { Form_Activate(); });
    QMainWindow::changeEvent(event);
}

} // namespace tavrel
