#pragma once

#include "core/intervalrule.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tavrel {

class DateField;

// Custom...: a task's schedule as an interval (every N weeks, months or years from a starting
// date) instead of marked weeks, with the weeks it gives in the current year listed as the
// choices change. OK gives the rule; No Rule gives none (the weeks are then marked by hand).
class frmCustomRule : public QDialog {
    Q_OBJECT
public:
    // `rule` is the task's rule, or none (the dialog then offers every week from today).
    // `lastCompletion` is the task's last completion, which a following schedule counts
    // from.
    frmCustomRule(const IntervalRule& rule, const QDate& lastCompletion, QWidget* parent = nullptr);

    // The rule chosen; none after No Rule. Only meaningful once the dialog was accepted.
    const IntervalRule& rule() const { return rule_; }

    // The rule as the controls hold it, or none with `problem` set when they hold none.
    IntervalRule ruleShown(QString* problem = nullptr) const;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdNoRule_Click();
    void cmdCancel_Click();
    // Any change of the choices: the description and the weeks listed again.
    void ruleChanged();

public:
    QComboBox* cmbUnit;
    QSpinBox* txtEvery;
    DateField* dcStart;
    QCheckBox* chkFollow;
    QLabel* lblRule;
    QListWidget* lstRuleWeeks;
    QPushButton* cmdOK;
    QPushButton* cmdNoRule;
    QPushButton* cmdCancel;

private:
    IntervalRule rule_;
    QDate lastCompletion_;
};

} // namespace tavrel
