#include "dialogs/frmrptdate.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "dialogs/datefield.h"
#include "text/datetext.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

frmRptDate::frmRptDate(QWidget* parent)
    : QDialog(parent)
    , Label7(new QLabel(QStringLiteral("Select Starting Date"), this))
    , dcStartDate(new DateField(this))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmRptDate"));
    setWindowTitle(QStringLiteral("Select Report Dates"));
    Label7->setObjectName(QStringLiteral("Label7"));
    dcStartDate->setObjectName(QStringLiteral("dcStartDate"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    Label7->setBuddy(dcStartDate);
    dcStartDate->setCheck(DateField::Kind::Required,
                          QStringLiteral("You must enter a valid starting date."));
    dcStartDate->setPlacement(DateField::Placement::BelowLeftAligned);
    cmdOK->setDefault(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, &frmRptDate::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmRptDate::cmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label7);
    layout->addWidget(dcStartDate);
    layout->addStretch(1);
    layout->addWidget(buttons);

    Form_Load();
}

QSize frmRptDate::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmRptDate::Form_Load() {
    dcStartDate->setDate(ui().today());
    dcStartDate->setFocus();
}

void frmRptDate::cmdOK_Click() {
    const std::optional<QDate> date = dcStartDate->date();
    if (!date) {
        ui().msgBox(QStringLiteral("That is not a valid date."), MsgButtons::Ok, MsgIcon::None,
                    QStringLiteral("Invalid Date"));
        return;
    }
    state().Cancelled = false;
    state().DialogDate = *date;
    accept();
}

void frmRptDate::cmdCancel_Click() {
    state().Cancelled = true;
    reject();
}

} // namespace tavrel
