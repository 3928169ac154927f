#pragma once

#include "core/frmmain.h"
#include "core/intervalrule.h"
#include "core/recordeditor.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;

namespace tavrel {

class DateField;
class TaskHistory;
enum class DatedPreset;

// The editor of the tasks table shown in the main window: one task at a time in task-name
// order, with the equipment, the procedure, the default employee and the weekly schedule.
class TaskEditor : public RecordEditor, public MainEditor {
    Q_OBJECT
public:
    // `exitAction` is the main window's File, Exit, disabled while a task is edited.
    explicit TaskEditor(QAction* exitAction = nullptr, QWidget* parent = nullptr);
    ~TaskEditor() override;

    // --- MainEditor
    QWidget* widget() override { return this; }
    void fillWeekList() override;
    void openRecords() override;
    void activate() override { Form_Activate(); }
    void showFirst() override;
    void resetState() override;
    void closeRecords() override;
    bool isEditing() const override { return Changed || Adding; }
    bool checkFocusedControl() override { return RecordEditor::checkFocusedControl(); }
    bool confirmClose() override { return RecordEditor::confirmClose(); }
    void reloadRecords() override;

    Recordset& recordset() override;

    // The week marks of lstWeeks (item position p is week p + 1).
    bool isWeekMarked(int position) const;
    void setWeekMarked(int position, bool marked);

    // Set when the week marks were changed; the next save then writes the weeks.
    bool WeeksChanged = false;

    // Shows or hides the history panel; the user's choice is remembered for the next start.
    void setHistoryShown(bool shown);
    bool isHistoryShown() const;

public Q_SLOTS:
    // Reloads the three code lists whose list-changed flag is set, keeping the selection.
    void Form_Activate();

    void cmdClone_Click();
    void cmdFind_Click() override;
    void cmdHistory_Click() { setHistoryShown(!isHistoryShown()); }

    void txtTaskName_Change() { MarkChanged(); }
    void txtTaskID_Change() { MarkChanged(); }
    void txtManuf_Change() { MarkChanged(); }
    void txtModel_Change() { MarkChanged(); }
    void txtSerialNo_Change() { MarkChanged(); }
    void txtTag_Change() { MarkChanged(); }
    void txtTaskDesc_Change() { MarkChanged(); }
    void txtTools_Change() { MarkChanged(); }
    void txtResults_Change() { MarkChanged(); }
    void txtBestTime_Change() { MarkChanged(); }
    void txtReqHour_Change() { MarkChanged(); }
    void txtReqMin_Change() { MarkChanged(); }
    void txtMisc1_Change() { MarkChanged(); }
    void dcPurchDate_Change() { MarkChanged(); }
    void dcWarDate_Change() { MarkChanged(); }
    void cmbEmp_Click() { MarkChanged(); }
    void cmbLoc_Click() { MarkChanged(); }
    void cmbTyp_Click() { MarkChanged(); }
    void chkCurYearOnly_Click() { MarkChanged(); }
    // A click on a week toggles its mark.
    void lstWeeks_Click(QListWidgetItem* item);

    // Frequency presets: each changes only the marks and leaves the task in edit mode.
    void cmdWeekly_Click();
    void cmdMonthly_Click();
    void cmdBimonthly_Click();
    void cmdQuarterly_Click();
    void cmdSemiannual_Click();
    void cmdAnnual_Click();
    void cmdClearAll_Click();
    // The task's schedule as an interval rule (frmCustomRule): its weeks of the year are
    // marked, greyed, and worked out again for every year.
    void cmdCustom_Click();

protected:
    void reopenRecordset() override { openRecords(); }
    void ShowRecord() override;
    void ClearRecord() override;
    void SaveRecord() override;
    bool ValidateRecord() override;
    QString keyColumn() const override;
    QWidget* firstDataControl() const override;
    QString deleteQuestion() const override;
    QString deleteTitle() const override;
    QString recordName() const override;
    bool removeDependents() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildLayout();
    void fitWeekListWidth();
    void connectHandlers();
    void applyTabOrder();

    // The controls that hold row data and the buttons acting on it, enabled together.
    QList<QWidget*> dataControls() const override;

    // Extension points of the weekly schedule: marks the stored weeks of the shown task,
    // and writes the marked weeks (with their assignments) for the task being saved.
    void markTaskWeeks();
    void saveTaskWeeks(const QVariant& taskId);

    void unmarkAllWeeks();
    // The rule of the shown task in words under the weeks, which are greyed while it holds.
    void showRule();
    // Before the weeks are changed by hand: a task scheduled by a rule asks whether to turn
    // the rule off. False when the weeks are to stay as the rule has them.
    bool handEditAllowed();
    // The interval rule of the shown task, as shown and to be saved with it.
    IntervalRule rule_;
    // Asks for a starting date and marks the weeks of `preset` from it; Cancel keeps the
    // marks.
    void markDatedPreset(DatedPreset preset);

public:
    QLineEdit* txtTaskName = nullptr;
    QLineEdit* txtTaskID = nullptr;
    QPlainTextEdit* txtTaskDesc = nullptr;
    QPlainTextEdit* txtTools = nullptr;
    QPlainTextEdit* txtResults = nullptr;
    QLineEdit* txtBestTime = nullptr;
    QLineEdit* txtReqHour = nullptr;
    QLineEdit* txtReqMin = nullptr;
    QComboBox* cmbLoc = nullptr;
    QComboBox* cmbTyp = nullptr;
    QComboBox* cmbEmp = nullptr;
    QLineEdit* txtManuf = nullptr;
    QLineEdit* txtModel = nullptr;
    QLineEdit* txtSerialNo = nullptr;
    QLineEdit* txtTag = nullptr;
    QLineEdit* txtMisc1 = nullptr;
    DateField* dcPurchDate = nullptr;
    DateField* dcWarDate = nullptr;

    QGroupBox* fraFrequency = nullptr;
    QCheckBox* chkCurYearOnly = nullptr;
    QListWidget* lstWeeks = nullptr;
    QPushButton* cmdWeekly = nullptr;
    QPushButton* cmdMonthly = nullptr;
    QPushButton* cmdBimonthly = nullptr;
    QPushButton* cmdQuarterly = nullptr;
    QPushButton* cmdSemiannual = nullptr;
    QPushButton* cmdAnnual = nullptr;
    QPushButton* cmdClearAll = nullptr;
    QPushButton* cmdCustom = nullptr;
    QLabel* lblRule = nullptr;

    QPushButton* cmdClone = nullptr;

    // The task's assignments of every year, and the button that shows or hides them.
    TaskHistory* fraHistory = nullptr;
    QPushButton* cmdHistory = nullptr;
};

// Creates the task editor and installs it in the main window's client area.
void installTaskEditor(frmMain& main);

} // namespace tavrel
