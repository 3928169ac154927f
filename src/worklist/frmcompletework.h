#pragma once

#include "core/recordeditor.h"
#include "worklist/worklistquery.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrel {

class DateField;

// "Complete Assignments": the one question Complete... asks for all the selected
// assignments: the completion date, who did the work, who inspected it and, when ticked,
// the same time for each. The employee and inspector may be left to each assignment's own.
class frmCompleteWork : public QDialog {
    Q_OBJECT
public:
    // `count` is how many assignments will be completed (shown in the caption line).
    explicit frmCompleteWork(int count, QWidget* parent = nullptr);

    // What OK accepted; none before that.
    const std::optional<Completion>& completion() const { return completion_; }

public Q_SLOTS:
    void cmdOK_Click();
    void chkSameTime_Click();

public:
    QLabel* lblCount = nullptr;
    DateField* dcCompDate = nullptr;
    QComboBox* cmbEmp = nullptr;
    QComboBox* cmbMan = nullptr;
    QCheckBox* chkSameTime = nullptr;
    QLineEdit* txtCompHour = nullptr;
    QLineEdit* txtCompMin = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    std::optional<Completion> completion_;
};

// Fills a list of employees (empid) or managers (manid) for a choice over many rows: the
// first entry, `first`, carries no id.
void fillPeopleList(QComboBox* combo, const QString& first, bool managers,
                    RetiredNames retired = RetiredNames::Leave);

// The line heading a dialog on `count` selected assignments: `one` for a single one, else
// `many` with the count in place of %1.
QLabel* countLabel(QWidget* parent, int count, const QString& one, const QString& many);

} // namespace tavrel
