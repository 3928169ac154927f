#pragma once

#include "worklist/worklistquery.h"

#include <QList>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

namespace tavrel {

class DateField;
class WorkListModel;
class frmMain;

// "Work List": the assignments as a sortable grid, filtered by due date, employee, location,
// type and completion, with a live count; overdue rows stand out. Double-click or Enter
// opens the assignment editor on a row; Complete..., Assign... and Print Work Orders work
// on the selected rows at once. The filters and the column widths are remembered.
class frmWorkList : public QWidget {
    Q_OBJECT
public:
    // Opens on the filters used last, or on `filter` when one is given.
    explicit frmWorkList(QWidget* parent = nullptr,
                         const std::optional<WorkListFilter>& filter = std::nullopt);
    ~frmWorkList() override;

    WorkListModel* model() const { return model_; }

    // The filters shown, as the list applies them.
    WorkListFilter filter() const;
    // Shows `filter` in the controls and the rows it selects.
    void setFilter(const WorkListFilter& filter);

    // The assignments of the selected rows, in the list's order.
    QList<qint64> selectedAssignments() const;
    // How many rows are selected.
    int selectedCount() const;

public Q_SLOTS:
    void cmbFilter_Click();
    void dcRange_Change();
    void cmdComplete_Click();
    void cmdAssign_Click();
    void cmdPrint_Click();
    void cmdClose_Click();
    void chkShowAtStart_Click();
    void cmdClearSelection_Click();
    // Opens the assignment editor on the assignment of `row`.
    void openRow(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildControls();
    void buildLayout();
    void setColumnWidths();
    void fillCodeLists();
    void showCount(int rows);
    void showFilter(const WorkListFilter& filter);
    void showSelection();
    void applyFilter();
    void rememberSettings() const;
    void restoreSettings();
    void reread();

    WorkListModel* model_ = nullptr;
    bool filling_ = false; // the controls are being set by the program, not the user
    // The selection the filters narrow (WorkListFilter::selection), shown in lblSelection.
    QString selection_;
    QString selectionCaption_;

public:
    QComboBox* cmbPeriod = nullptr;
    DateField* dcFrom = nullptr;
    DateField* dcTo = nullptr;
    QComboBox* cmbCompletion = nullptr;
    QComboBox* cmbEmp = nullptr;
    QComboBox* cmbLoc = nullptr;
    QComboBox* cmbType = nullptr;
    QLabel* lblCount = nullptr;
    QLabel* lblSelection = nullptr;
    QPushButton* cmdClearSelection = nullptr;
    QTableView* grdWork = nullptr;
    QPushButton* cmdNewJob = nullptr;
    QPushButton* cmdComplete = nullptr;
    QPushButton* cmdAssign = nullptr;
    QPushButton* cmdPrint = nullptr;
    QCheckBox* chkShowAtStart = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdClose = nullptr;
};

// Opens the work list over `parent`, or brings forward the one that is open.
frmWorkList* openWorkList(QWidget* parent);
// The same, showing the rows of `filter`.
frmWorkList* openWorkListOn(QWidget* parent, const WorkListFilter& filter);

// Whether the user asked for the work list at start-up ("Show at start").
bool workListAtStart();
// At start-up: opens the work list on due and overdue work when the user asked for it.
void showWorkListAtStart(QWidget* parent);

// Makes the main window's Maintain, Work List open the work list.
void installWorkList(frmMain& main);

} // namespace tavrel
