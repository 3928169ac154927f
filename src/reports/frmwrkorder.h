#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tavrel {

class DateField;
class frmMain;

// Reports, Print Work Orders: a date range, then either every work order due in its weeks
// (uncompleted ones only, or all) printed into one document, or the choice of one of them
// in frmSelAssign; either way with sign-off lines on the sheets when chkSignOff is checked
// (it starts unchecked). Not modal; closes itself once it has handed over.
class frmWrkOrder : public QDialog {
    Q_OBJECT
public:
    explicit frmWrkOrder(QWidget* parent = nullptr);

    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();

public:
    QLabel* Label7;
    DateField* dcStartDate;
    QLabel* Label9;
    DateField* dcEndDate;
    QGroupBox* Frame2;
    QRadioButton* optAll[2];
    QGroupBox* Frame1;
    QRadioButton* optComp[2];
    QCheckBox* chkSignOff;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// Makes Reports, Print Work Orders open frmWrkOrder (one window, brought forward when it is
// open already).
void installWorkOrders(frmMain& main);

} // namespace tavrel
