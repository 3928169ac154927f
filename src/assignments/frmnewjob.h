#pragma once

#include <QDialog>
#include <QVariant>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tavrel {

class DateField;
class frmMain;

// New Job: an assignment outside the weekly schedule, for any task on any date, with an
// optional employee and notes. Written as a one-off job when OK finds everything in order;
// the dialog stays open on a refusal, with what was entered.
class frmNewJob : public QDialog {
    Q_OBJECT
public:
    explicit frmNewJob(QWidget* parent = nullptr);

    QSize sizeHint() const override;

    // The assid of the job written; null until OK has written one.
    QVariant createdJob() const { return created_; }

    QLabel* lblTask = nullptr;
    QComboBox* cmbTask = nullptr;
    QLabel* lblDueDate = nullptr;
    DateField* dcDueDate = nullptr;
    QLabel* lblEmp = nullptr;
    QComboBox* cmbEmp = nullptr;
    QLabel* lblNotes = nullptr;
    QPlainTextEdit* txtNotes = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;

public Q_SLOTS:
    // Fills the task and employee lists; the job is due today unless the user says otherwise.
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    // A task chosen: its usual employee is proposed, nobody when it has none or that one is
    // retired.
    void cmbTask_Click();

protected:
    // Delete or Backspace in the employee list leaves the job with nobody assigned.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillTasks();

    QVariant created_;
};

// Maintain, New Job...: shows frmNewJob modally. True when a job was created; its assid is
// then left in *created when that is given. Refused with a message when there is no task
// to make a job for.
bool openNewJob(QWidget* parent, QVariant* created = nullptr);

// Maintain, New Job...
void installNewJob(frmMain& main);

} // namespace tavrel
