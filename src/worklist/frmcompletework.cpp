#include "worklist/frmcompletework.h"

#include "core/errortrap.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"
#include "dialogs/datefield.h"
#include "text/datetext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

constexpr int NumberBoxWidth = 60;

const QString DateMessage = QStringLiteral("You must enter a valid completion date.");

// A time box's number: empty counts as 0; none for a text that is no number or negative.
std::optional<double> timePart(const QLineEdit* box) {
    if (box->text().trimmed().isEmpty())
        return 0.0;
    const std::optional<double> value = toNumber(box->text());
    if (!value || *value < 0)
        return std::nullopt;
    return value;
}

} // namespace

void fillPeopleList(QComboBox* combo, const QString& first, bool managers, RetiredNames retired) {
    ErrorTrap trap;
    if (managers)
        reloadCodeList(
            combo, QStringLiteral("Select * from managers order by manlast, manfirst"),
            QStringLiteral("manid"),
            [](const Recordset& rs) {
                return personName(recordwidgets::columnText(rs, QStringLiteral("manlast")),
                                  recordwidgets::columnText(rs, QStringLiteral("manfirst")));
            },
            retired);
    else
        reloadCodeList(
            combo, QStringLiteral("Select * from employees order by lastname, firstname"),
            QStringLiteral("empid"),
            [](const Recordset& rs) {
                return personName(recordwidgets::columnText(rs, QStringLiteral("lastname")),
                                  recordwidgets::columnText(rs, QStringLiteral("firstname")));
            },
            retired);
    combo->insertItem(0, first);
    combo->setCurrentIndex(0);
}

QLabel* countLabel(QWidget* parent, int count, const QString& one, const QString& many) {
    auto* label = new QLabel(count == 1 ? one : many.arg(QLocale().toString(count)), parent);
    label->setObjectName(QStringLiteral("lblCount"));
    return label;
}

frmCompleteWork::frmCompleteWork(int count, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmCompleteWork"));
    setWindowTitle(QStringLiteral("Complete Assignments"));
    lblCount = countLabel(this, count, QStringLiteral("Complete the selected assignment:"),
                          QStringLiteral("Complete the %1 selected assignments:"));
    dcCompDate = new DateField(this);
    dcCompDate->setObjectName(QStringLiteral("dcCompDate"));
    dcCompDate->setCheck(DateField::Kind::Required, DateMessage, true);
    dcCompDate->setDate(ui().today());
    cmbEmp = new QComboBox(this);
    cmbEmp->setObjectName(QStringLiteral("cmbEmp"));
    fillPeopleList(cmbEmp, QStringLiteral("(each assignment's own)"), false);
    cmbMan = new QComboBox(this);
    cmbMan->setObjectName(QStringLiteral("cmbMan"));
    fillPeopleList(cmbMan, QStringLiteral("(each assignment's own)"), true);
    chkSameTime = new QCheckBox(QStringLiteral("The &same time for each:"), this);
    chkSameTime->setObjectName(QStringLiteral("chkSameTime"));
    txtCompHour = new QLineEdit(this);
    txtCompHour->setObjectName(QStringLiteral("txtCompHour"));
    txtCompMin = new QLineEdit(this);
    txtCompMin->setObjectName(QStringLiteral("txtCompMin"));
    for (QLineEdit* box : {txtCompHour, txtCompMin}) {
        box->setFixedWidth(NumberBoxWidth);
        box->setAlignment(NumberBoxAlignment);
        box->setEnabled(false);
    }
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* time = new QHBoxLayout;
    time->addWidget(chkSameTime);
    time->addWidget(txtCompHour);
    auto* hoursLabel = new QLabel(QStringLiteral("&Hours"), this);
    hoursLabel->setBuddy(txtCompHour);
    time->addWidget(hoursLabel);
    time->addWidget(txtCompMin);
    auto* minutesLabel = new QLabel(QStringLiteral("&Minutes"), this);
    minutesLabel->setBuddy(txtCompMin);
    time->addWidget(minutesLabel);
    time->addStretch(1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Completed O&n"), dcCompDate);
    form->addRow(QStringLiteral("&Employee"), cmbEmp);
    form->addRow(QStringLiteral("&Inspected By"), cmbMan);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCount);
    layout->addLayout(form);
    layout->addLayout(time);
    layout->addWidget(buttons);

    connect(chkSameTime, &QCheckBox::toggled, this, [this] { chkSameTime_Click(); });
    // The handler decides about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmCompleteWork::chkSameTime_Click() {
    txtCompHour->setEnabled(chkSameTime->isChecked());
    txtCompMin->setEnabled(chkSameTime->isChecked());
}

void frmCompleteWork::cmdOK_Click() {
    if (!dcCompDate->checkNow())
        return;
    const std::optional<QDate> date = dcCompDate->date();
    if (!date) {
        ui().msgBox(DateMessage, MsgButtons::Ok, MsgIcon::None, {});
        dcCompDate->setFocus();
        return;
    }
    Completion completion;
    completion.date = *date;
    completion.employee = cmbEmp->currentData();
    completion.inspector = cmbMan->currentData();
    if (chkSameTime->isChecked()) {
        const std::optional<double> hours = timePart(txtCompHour);
        const std::optional<double> minutes = timePart(txtCompMin);
        if (!hours || !minutes) {
            ui().msgBox(QStringLiteral("You must enter the time as a number of hours and a "
                                       "number of minutes, or leave the time unticked."),
                        MsgButtons::Ok, MsgIcon::None, {});
            (hours ? txtCompMin : txtCompHour)->setFocus();
            return;
        }
        completion.hours = hours;
        completion.minutes = minutes;
    }
    completion_ = completion;
    accept();
}

} // namespace tavrel
