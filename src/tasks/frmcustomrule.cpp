#include "tasks/frmcustomrule.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "data/units.h"
#include "dialogs/datefield.h"
#include "text/datetext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrel {

namespace {

// The units as the combo box lists them, in the order of its items.
constexpr IntervalUnit Units[] = {IntervalUnit::Weeks, IntervalUnit::MonthsByWeekday,
                                  IntervalUnit::MonthsByDay, IntervalUnit::Years};

} // namespace

frmCustomRule::frmCustomRule(const IntervalRule& rule, const QDate& lastCompletion, QWidget* parent)
    : QDialog(parent)
    , cmbUnit(new QComboBox(this))
    , txtEvery(new QSpinBox(this))
    , dcStart(new DateField(this))
    , chkFollow(
          new QCheckBox(QStringLiteral("Count the next date from the &last completion"), this))
    , lblRule(new QLabel(this))
    , lstRuleWeeks(new QListWidget(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdNoRule(new QPushButton(QStringLiteral("&No Rule"), this))
    , cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
    , rule_(rule)
    , lastCompletion_(lastCompletion) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmCustomRule"));
    setWindowTitle(QStringLiteral("Custom Schedule"));
    cmbUnit->setObjectName(QStringLiteral("cmbUnit"));
    txtEvery->setObjectName(QStringLiteral("txtEvery"));
    dcStart->setObjectName(QStringLiteral("dcStart"));
    chkFollow->setObjectName(QStringLiteral("chkFollow"));
    lblRule->setObjectName(QStringLiteral("lblRule"));
    lstRuleWeeks->setObjectName(QStringLiteral("lstRuleWeeks"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdNoRule->setObjectName(QStringLiteral("cmdNoRule"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    cmbUnit->addItems({QStringLiteral("weeks"), QStringLiteral("months, on the same weekday"),
                       QStringLiteral("months, on the same day"), QStringLiteral("years")});
    txtEvery->setRange(1, LongestInterval);
    dcStart->setCheck(DateField::Kind::Required,
                      QStringLiteral("You must enter a valid starting date."));
    dcStart->setPlacement(DateField::Placement::BelowLeftAligned);
    dcStart->setPickerCaption(QStringLiteral("Select Starting Date"));
    chkFollow->setToolTip(QStringLiteral(
        "When an assignment is completed, the task's later assignments of the year move to "
        "the weeks that follow the day it was done by the interval"));
    lblRule->setWordWrap(true);
    lstRuleWeeks->setSelectionMode(QAbstractItemView::NoSelection);
    lstRuleWeeks->setFocusPolicy(Qt::NoFocus);
    cmdOK->setDefault(true);

    auto* everyLabel = new QLabel(QStringLiteral("&Every"), this);
    everyLabel->setBuddy(txtEvery);
    auto* startLabel = new QLabel(QStringLiteral("&Starting"), this);
    startLabel->setBuddy(dcStart);
    auto* weeksLabel =
        new QLabel(QStringLiteral("Weeks of %1 it gives:").arg(state().CurYear), this);
    weeksLabel->setObjectName(QStringLiteral("lblRuleWeeks"));

    auto* grid = new QGridLayout;
    grid->addWidget(everyLabel, 0, 0);
    grid->addWidget(txtEvery, 0, 1);
    grid->addWidget(cmbUnit, 0, 2);
    grid->addWidget(startLabel, 1, 0);
    grid->addWidget(dcStart, 1, 1, 1, 2);
    grid->setColumnStretch(2, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdNoRule, QDialogButtonBox::DestructiveRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(chkFollow);
    layout->addWidget(lblRule);
    layout->addWidget(weeksLabel);
    layout->addWidget(lstRuleWeeks, 1);
    layout->addWidget(buttons);

    const IntervalRule shown = rule.isSet() ? rule : [] {
        IntervalRule everyWeek;
        everyWeek.unit = IntervalUnit::Weeks;
        everyWeek.start = ui().today();
        return everyWeek;
    }();
    cmbUnit->setCurrentIndex(
        int(std::find(std::begin(Units), std::end(Units), shown.unit) - std::begin(Units)));
    txtEvery->setValue(shown.every);
    dcStart->setDate(shown.start);
    chkFollow->setChecked(shown.followCompletion);
    cmdNoRule->setEnabled(rule.isSet());
    ruleChanged();

    connect(cmdOK, &QPushButton::clicked, this, &frmCustomRule::cmdOK_Click);
    connect(cmdNoRule, &QPushButton::clicked, this, &frmCustomRule::cmdNoRule_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCustomRule::cmdCancel_Click);
    connect(cmbUnit, &QComboBox::currentIndexChanged, this, &frmCustomRule::ruleChanged);
    connect(txtEvery, &QSpinBox::valueChanged, this, &frmCustomRule::ruleChanged);
    connect(dcStart, &QComboBox::editTextChanged, this, &frmCustomRule::ruleChanged);
    connect(chkFollow, &QCheckBox::toggled, this, &frmCustomRule::ruleChanged);
    txtEvery->setFocus();
}

IntervalRule frmCustomRule::ruleShown(QString* problem) const {
    IntervalRule rule;
    const std::optional<QDate> start = dcStart->date();
    if (!start) {
        if (problem)
            *problem = QStringLiteral("You must enter a valid starting date.");
        return rule;
    }
    rule.unit = Units[qBound(0, cmbUnit->currentIndex(), int(std::size(Units)) - 1)];
    rule.every = txtEvery->value();
    rule.start = *start;
    rule.followCompletion = chkFollow->isChecked();
    return rule;
}

void frmCustomRule::ruleChanged() {
    const IntervalRule rule = ruleShown();
    lblRule->setText(rule.isSet() ? describeIntervalRule(rule) : QString());
    lstRuleWeeks->clear();
    if (!rule.isSet())
        return;
    const QList<int> weeks = intervalWeeks(rule, state().WeekDates, lastCompletion_);
    for (int week : weeks)
        lstRuleWeeks->addItem(QStringLiteral("Week of ") + shortDate(state().WeekDates[week]));
    if (weeks.isEmpty())
        lstRuleWeeks->addItem(QStringLiteral("(none in %1)").arg(state().CurYear));
}

void frmCustomRule::cmdOK_Click() {
    QString problem;
    const IntervalRule rule = ruleShown(&problem);
    if (!rule.isSet()) {
        ui().msgBox(problem, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Invalid Date"));
        dcStart->setFocus();
        return;
    }
    rule_ = rule;
    accept();
}

void frmCustomRule::cmdNoRule_Click() {
    rule_ = IntervalRule();
    accept();
}

void frmCustomRule::cmdCancel_Click() {
    reject();
}

} // namespace tavrel
