#pragma once

#include "core/programstate.h"
#include "core/reopen.h"

#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;

namespace tavrel {

class DailyBackup;

// What the main window needs of the editor it shows in its client area (the task editor).
// The main window owns menus, start-up and shutdown; the editor owns its controls and
// handlers. Start-up and the year change call these at their steps.
class MainEditor {
public:
    virtual ~MainEditor() = default;

    virtual QWidget* widget() = 0;
    // Rebuilds the week list from the weeks table (start-up, Set Current Year).
    virtual void fillWeekList() = 0;
    // Opens the editor's recordset (rsTasks).
    virtual void openRecords() = 0;
    // The window's Form_Activate: reloads the lists whose list-changed flag is set.
    virtual void activate() = 0;
    // Shows the first row, or the empty state when there is none.
    virtual void showFirst() = 0;
    // Clears Changed and Adding.
    virtual void resetState() = 0;
    // Closes the editor's recordset (shutdown).
    virtual void closeRecords() = 0;
    // True while a row is being edited or added: the program may not be left then.
    virtual bool isEditing() const = 0;
    // Asked before the program ends: true when it may. A row being edited is saved or
    // discarded as the user chooses first; false when it stays (Cancel, a refused save).
    virtual bool confirmClose() { return !isEditing(); }
    // Runs the pending lost-focus check of the editor's focused control (a menu command
    // acts without the focus leaving it): false when the control refused its text.
    virtual bool checkFocusedControl() { return true; }
    // Reads the editor's rows again after rows were written elsewhere (tasks imported),
    // staying on the row shown where it can.
    virtual void reloadRecords() {
        openRecords();
        showFirst();
    }
};

// The main window: holder of every menu, start-up (Form_Load) and shutdown (Form_Unload).
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Installs the editor shown in the client area; the window takes ownership.
    void setEditor(std::unique_ptr<MainEditor> editor);
    MainEditor* editor() const { return editor_.get(); }

    // The File menu's Exit entry, disabled by the editor while it edits a row.
    QAction* exitAction() const { return mnuExit; }

    // Every menu command that saves or leaves the shown row calls this first and does
    // nothing when it answers false: the editor's focused control refused its text.
    bool checkEditorControl();

    // Makes a menu entry of a later subsystem do its command (under the unexpected-error
    // guard) and enables it. Entries without a command stay visible but disabled; File,
    // Import Tasks... is also disabled while a task is edited.
    void installCommand(QAction* entry, std::function<void()> command);

    // Sets the Set Current Year caption from CurYear.
    void updateSetYearCaption();

    // Counts the overdue assignments again into the status bar (after a save, the year's
    // generation, a restore).
    void refreshOverdueCount();

    // The folder start-up opens tavrel.mdb in (defaults to the current folder).
    void setWorkFolder(const QString& folder) { workFolder_ = folder; }
    QString workFolder() const { return workFolder_; }

    // Starts today's backup on its worker thread when it is due; called once the window is
    // in use, so that start-up never waits for it.
    void startDailyBackup();
    // The daily backup of this window's site.
    DailyBackup* dailyBackup() const { return daily_.get(); }

public Q_SLOTS:
    void Form_Load();
    void Form_Unload();
    void Form_Activate();

    void mnuOpenFolder_Click();
    void mnuExit_Click();
    void mnuDefaults_Click();
    void mnuSetYear_Click();
    void mnuBackups_Click();
    void mnuHelp_Click(int index);
    void mnuRptOut_Click(int index);
    void mnuAbout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // After a server site's database failed to open: the folder chooser, and start-up in
    // the folder chosen; Cancel ends the program.
    void chooseFolderInstead();
    void buildMenus();
    void updateSetYearEnabled();
    bool closeOtherWindows();
    bool confirmEditorsClose();

    // After a restore or a repair the file may hold another year: the year, its caption and
    // the week list are read again, before the editor shows its row in that list.
    class YearReader final : public DatabaseUser {
    public:
        explicit YearReader(frmMain& main)
            : main_(main) {}
        void reopenRecords() override;

    private:
        frmMain& main_;
    };

    std::unique_ptr<MainEditor> editor_;
    QString workFolder_;
    bool unloaded_ = false;
    bool loaded_ = false;
    // Made before any editor is installed, so that it reopens before them.
    YearReader yearReader_{*this};
    std::unique_ptr<DailyBackup> daily_;
    bool dailyStarted_ = false;      // the program takes daily backups (tests start their own)
    QSet<const QAction*> installed_; // entries given a command by installCommand

public:
    // Menu entries, named as the program's controls; arrays are indexed from 1.
    QMenu* mnuFileMenu = nullptr;
    QAction* mnuOpenFolder = nullptr;
    QAction* mnuDefaults = nullptr;
    QAction* mnuSetYear = nullptr;
    QAction* mnuBackups = nullptr;
    QAction* mnuImportTasks = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuMaintainMenu = nullptr;
    QAction* mnuAssign = nullptr;
    QAction* mnuWorkList = nullptr;
    QAction* mnuCompleteCode = nullptr; // a work order's completion started from its code
    QAction* mnuNewJob = nullptr;       // a job outside the schedule
    QAction* mnuMaint[5] = {};          // 1 employees, 2 locations, 3 managers, 4 types
    QAction* mnuHolidays = nullptr;     // the site's working weekdays and holidays
    QMenu* mnuReportsMenu = nullptr;
    QAction* mnuRptOut[3] = {}; // 1 view/print, 2 send to file
    // The one place where a report destination meets the numbers of mnuRptOut.
    QAction* rptOutEntry(ReportTarget target) const { return mnuRptOut[rptOutIndex(target)]; }
    static int rptOutIndex(ReportTarget target) { return target == ReportTarget::View ? 1 : 2; }
    static ReportTarget rptOutTarget(int index) {
        return index == 1 ? ReportTarget::View : ReportTarget::File;
    }
    QAction* mnuWorkOrder = nullptr;
    QAction* mnuLabels = nullptr; // sheets of equipment labels with the tasks' QR codes
    QAction* mnuRptMaster = nullptr;
    QAction* mnuRptOverdue = nullptr;
    QAction* mnuRptTasks = nullptr;
    QAction* mnuRptComplete = nullptr;
    QAction* mnuRptExpense = nullptr;
    QAction* mnuDashboard = nullptr;
    QAction* mnuExportCalendar = nullptr;
    QMenu* mnuCustomMenu = nullptr;
    QAction* mnuCustom[3] = {}; // 1 tasks, 2 assignments
    QMenu* mnuHelpMenu = nullptr;
    QAction* mnuHelp[4] = {}; // 1 contents, 2 search, 3 using help
    QAction* mnuAbout = nullptr;
    QLabel* lblOverdue = nullptr; // the status bar's count of overdue assignments
};

} // namespace tavrel
