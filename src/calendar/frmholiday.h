#pragma once

#include "core/sitecalendar.h"

#include <QDialog>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tavrel {

class DateField;

// One holiday of the site, added or edited: its name, its kind and the fields that kind
// needs, and beside them the dates the rule gives in ten years from a year the user
// chooses. OK refuses a holiday without a name or a rule that gives no date.
class frmHoliday : public QDialog {
    Q_OBJECT
public:
    explicit frmHoliday(QWidget* parent = nullptr);

    // The holiday shown, and the holiday as the fields now give it.
    void setRule(const HolidayRule& rule);
    HolidayRule rule() const;

public Q_SLOTS:
    void cmbKind_Click();
    void Fields_Change();
    void cmdOK_Click();
    void cmdCancel_Click();

public:
    QLabel* lblName;
    QLineEdit* txtName;
    QLabel* lblKind;
    QComboBox* cmbKind;
    QLabel* lblDate;
    DateField* dcDate;
    QLabel* lblNth;
    QComboBox* cmbNth;
    QLabel* lblWeekday;
    QComboBox* cmbWeekday;
    QLabel* lblMonth;
    QComboBox* cmbMonth;
    QLabel* lblDay;
    QSpinBox* spnDay;
    QLabel* lblOffset;
    QSpinBox* spnOffset;
    QLabel* lblPreviewYear;
    QSpinBox* txtPreviewYear;
    QListWidget* lstPreview;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

private:
    HolidayKind kind() const;
    // The field the user corrects when the rule of the chosen kind gives no date.
    QWidget* firstField() const;

    QFormLayout* fields_ = nullptr; // the rows of the kinds' fields, shown by kind
};

// How many years the preview lists, from the year chosen on.
inline constexpr int PreviewYears = 10;

} // namespace tavrel
