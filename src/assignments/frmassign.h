#pragma once

#include "assignments/assignquery.h"
#include "core/recordeditor.h"

#include <QHash>
#include <QVariant>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;

namespace tavrel {

class DateField;
class frmMain;

// "Maintain Assignments": one assignment at a time from rsAssign, filtered and ordered by
// its Show and Sort menus, where the user records how the work was completed (date, time,
// who did it, who inspected it, costs, notes), deletes assignments, finds one and prints
// its work order. Assignments are never added here.
class frmAssign : public RecordEditor {
    Q_OBJECT
public:
    explicit frmAssign(QWidget* parent = nullptr);
    ~frmAssign() override;

    Recordset& recordset() override;

    // The query rsAssign was last opened on.
    QString query() const { return query_; }

    // Also runs the lost-focus check of a cost box that has the focus.
    bool checkFocusedControl() override;

    // Shows the assignment `assid`, first widening the Show menu's choices (all years,
    // completed and uncompleted) where the current ones leave it out. Says so and returns
    // false when the assignment is not in the database (another program deleted it) or a
    // row is being edited here.
    bool showAssignment(qint64 assid);
    bool widenToShow(qint64 key) override { return showAssignment(key); }

    // Shows the assignment `assid` (as showAssignment) and starts recording its completion:
    // Completed ticked, today in Completed On and the focus in Hours, as an edit that Update
    // saves and Cancel drops. False when the assignment could not be shown (said why).
    bool startCompletion(qint64 assid);

public Q_SLOTS:
    // Opens rsAssign on the current year's uncompleted assignments and shows the first.
    void Form_Load();
    // Reloads the employee and manager lists whose list-changed flag is set.
    void Form_Activate();

    void cmdFind_Click() override;
    // Update and Delete as every editor does them; then the lists showing assignments read
    // them again.
    void cmdUpdate_Click() override;
    void cmdDelete_Click() override;
    void cmdPrint_Click();
    void cmdOk_Click();

    // The Show and Sort menus.
    void mnuYear_Click(YearShown chosen);
    void mnuComplete_Click(CompletionShown chosen);
    void mnuSort_Click(AssignOrder chosen);

    void chkCompleted_Click() {
        MarkChanged();
        showTimeliness();
    }
    void cmbEmp_Click() { MarkChanged(); }
    void cmbMan_Click() { MarkChanged(); }
    void dcCompDate_Change() {
        MarkChanged();
        showTimeliness();
    }
    void txtCompHour_Change() { MarkChanged(); }
    void txtCompMin_Change() { MarkChanged(); }
    void txtCompNotes_Change() { MarkChanged(); }
    void txtParts_Change() { MarkChanged(); }
    void txtLabor_Change() { MarkChanged(); }
    void txtTax_Change() { MarkChanged(); }

    // Checks a cost box the focus leaves: refuses a text that is not a number, else shows
    // it as money and recomputes the total. False when the text was refused.
    bool txtParts_LostFocus() { return checkCost(txtParts); }
    bool txtLabor_LostFocus() { return checkCost(txtLabor); }
    bool txtTax_LostFocus() { return checkCost(txtTax); }

    // The sum of the three costs into txtTotalCost.
    void ComputeTotalCost();

protected:
    void reopenRecordset() override { openAssignments(query_); }
    void ShowRecord() override;
    void ClearRecord() override;
    void SaveRecord() override;
    QString keyColumn() const override;
    QWidget* firstDataControl() const override;
    QString deleteQuestion() const override;
    QString deleteTitle() const override;
    QString recordName() const override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildLayout();
    void connectHandlers();

    QList<QWidget*> dataControls() const override;

    // Opens rsAssign on `sql`, with optimistic locking.
    void openAssignments(const QString& sql);
    // Replaces rsAssign with the rows of `sql` and shows the first, or the empty state.
    void reopen(const QString& sql);

    // A cost box: shows an amount, remembers it, and gives it back to the save while the
    // text is the one shown.
    void makeCostBox(QLineEdit* box, const QString& message);
    void showCost(QLineEdit* box, const QVariant& value);
    QVariant costToSave(const QLineEdit* box) const;
    bool checkCost(QLineEdit* box);

    // Writes a number box into its column; a text that is no number fails that one column.
    void saveNumber(const QString& column, const QLineEdit* box);
    void showTimeliness();
    // After a save that completed the assignment, or undid its completion: a task whose
    // schedule follows completion has its later assignments moved (asked first on an undo).
    void followScheduleAfterSave(const QVariant& assid, bool wasCompleted);

    struct CostBox {
        QString message;
        QString shownText;
        QVariant shownValue;
    };
    QHash<const QObject*, CostBox> costBoxes_;
    QString query_;
    bool checkingCost_ = false;

public:
    QMenuBar* menuBar = nullptr;
    QMenu* mnuShow = nullptr;
    QAction* mnuYear[3] = {};     // 1 current year only, 2 all years
    QAction* mnuComplete[3] = {}; // 1 uncompleted only, 2 completed and uncompleted
    QMenu* mnuSortMenu = nullptr;
    QAction* mnuSort[3] = {}; // 1 by scheduled date, 2 by task name
    // The menu item of a choice: the one place where the choices meet the numbers of the
    // menus' control arrays (the enums' values are those numbers).
    QAction* item(YearShown chosen) const { return mnuYear[static_cast<int>(chosen)]; }
    QAction* item(CompletionShown chosen) const { return mnuComplete[static_cast<int>(chosen)]; }
    QAction* item(AssignOrder chosen) const { return mnuSort[static_cast<int>(chosen)]; }
    bool currentYearOnly() const { return item(YearShown::CurrentYearOnly)->isChecked(); }
    bool uncompletedOnly() const { return item(CompletionShown::UncompletedOnly)->isChecked(); }

    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtTaskID = nullptr;
    QLineEdit* txtTaskName = nullptr;
    QPlainTextEdit* txtTask = nullptr;
    QLineEdit* txtDueDate = nullptr;
    QCheckBox* chkCompleted = nullptr;
    DateField* dcCompDate = nullptr;
    // How the completion date lies against the due date: early, on the day, or late.
    QLabel* lblTimeliness = nullptr;
    QLineEdit* txtCompHour = nullptr;
    QLineEdit* txtCompMin = nullptr;
    QComboBox* cmbEmp = nullptr;
    QComboBox* cmbMan = nullptr;
    QLineEdit* txtParts = nullptr;
    QLineEdit* txtLabor = nullptr;
    QLineEdit* txtTax = nullptr;
    QLineEdit* txtTotalCost = nullptr;
    QPlainTextEdit* txtCompNotes = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdOk = nullptr;
};

// Makes the main window's Maintain, Assignments open the assignment editor, one window at
// a time: brought forward when it is open already.
void installAssignmentEditor(frmMain& main);

// Opens the assignment editor over `parent`, or brings forward the one that is open.
frmAssign* openAssignmentEditor(QWidget* parent);

// The assignment editor that is open, or nullptr.
frmAssign* openedAssignmentEditor();

// The one way to open the assignment editor on a chosen assignment (from the work list, a
// task's history ...): opens it over `parent` (or brings forward the open one) and shows
// assignment `assignId`, widening the editor's Show choices when they leave that row out.
// When the row is gone the user is told and nothing opens (nullptr); when the editor is in
// the middle of an edit, the user is told and it stays where it was. Returns the editor.
frmAssign* openAssignmentOn(QWidget* parent, long assignId);

} // namespace tavrel
