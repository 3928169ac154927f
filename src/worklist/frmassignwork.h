#pragma once

#include <QDialog>
#include <QVariant>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

namespace tavrel {

// "Assign Employee": whom Assign... gives the selected open assignments to, or nobody.
class frmAssignWork : public QDialog {
    Q_OBJECT
public:
    explicit frmAssignWork(int count, QWidget* parent = nullptr);

    // The empid OK accepted (null: nobody); none before that.
    const std::optional<QVariant>& employee() const { return employee_; }

public Q_SLOTS:
    void cmdOK_Click();

public:
    QLabel* lblCount = nullptr;
    QComboBox* cmbEmp = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    std::optional<QVariant> employee_;
};

} // namespace tavrel
