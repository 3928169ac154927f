#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tavrel {

class frmMain;
struct LabelStock;

// Reports, Equipment Labels...: sheets of adhesive labels, one per task, each with the QR
// code of the task's code, its name, tag number and location. The tasks are those of a
// location (or all) and, of those, the ones chosen in the list (none chosen: every one
// listed); the labels fill the chosen stock from a given label on, so that a sheet already
// partly used is used up. OK shows them in the Report Output window.
class frmLabels : public QDialog {
    Q_OBJECT
public:
    explicit frmLabels(QWidget* parent = nullptr);

    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cboLocation_Change();
    void cboStock_Change();
    void cmdOK_Click();
    void cmdCancel_Click();

public:
    QLabel* lblLocation;
    QComboBox* cboLocation;
    QLabel* lblTasks;
    QListWidget* lstTasks;
    QLabel* lblCount;
    QLabel* lblStock;
    QComboBox* cboStock;
    QLabel* lblStart;
    QSpinBox* spnStart;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    const LabelStock& chosenStock() const;
    void updateCount();
};

// The entry of the location list that stands for every location.
inline constexpr const char* AllLocations = "All locations";

// Makes Reports, Equipment Labels... open the dialog.
void installEquipmentLabels(frmMain& window);

} // namespace tavrel
