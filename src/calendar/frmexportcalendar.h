#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tavrel {

class DateField;
class frmMain;

// Reports, Export Calendar...: the assignments of one employee or all, due in an optional
// range of dates, written to an iCalendar file as events or as to-dos. The file is asked for
// when Export is pressed; the dialog closes once it is written.
class frmExportCalendar : public QDialog {
    Q_OBJECT
public:
    explicit frmExportCalendar(QWidget* parent = nullptr);

    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cmdExport_Click();
    void cmdCancel_Click();

public:
    QLabel* lblEmployee;
    QComboBox* cboEmployee;
    QLabel* lblFrom;
    DateField* dcFrom;
    QLabel* lblTo;
    DateField* dcTo;
    QRadioButton* optEvents;
    QRadioButton* optTodos;
    QPushButton* cmdExport;
    QPushButton* cmdCancel;
};

// The entry of the text of the employee list that stands for every employee.
inline constexpr const char* AllEmployees = "All employees";

// Makes Reports, Export Calendar... open the dialog.
void installExportCalendar(frmMain& window);

} // namespace tavrel
