#pragma once

#include "reports/workorders.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace tavrel {

// The assignments due between ReportStartDate and ReportEndDate, completed or not, one line
// each (due date, task name); OK prints the work order of the one chosen, with sign-off
// lines when frmWrkOrder, which opens this window, was asked for them. Not modal.
class frmSelAssign : public QDialog {
    Q_OBJECT
public:
    explicit frmSelAssign(QWidget* parent = nullptr);

public Q_SLOTS:
    // Fills the list (again, keeping the chosen line): on opening and whenever the window
    // comes back to the front, since an assignment may have changed meanwhile.
    void Form_Activate();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void changeEvent(QEvent* event) override;

public:
    QListWidget* List1;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    // The choice of frmWrkOrder that opened this window, for the sheet printed.
    SignOffLines signOff = SignOffLines::Without;
};

} // namespace tavrel
