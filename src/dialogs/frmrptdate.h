#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tavrel {

class DateField;

// Asks for one date. The caller sets Cancelled to true and the caption, shows the dialog
// modally, and reads DialogDate when Cancelled has become false.
class frmRptDate : public QDialog {
    Q_OBJECT
public:
    explicit frmRptDate(QWidget* parent = nullptr);

    // Room for the caption too: the caller's "Select Starting Date for Assignments" is far
    // wider than the dialog's few controls.
    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QLabel* Label7;
    DateField* dcStartDate;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

} // namespace tavrel
