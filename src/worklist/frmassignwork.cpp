#include "worklist/frmassignwork.h"

#include "core/errortrap.h"
#include "worklist/frmcompletework.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

frmAssignWork::frmAssignWork(int count, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmAssignWork"));
    setWindowTitle(QStringLiteral("Assign Employee"));
    lblCount = countLabel(this, count, QStringLiteral("Assign the selected open assignment to:"),
                          QStringLiteral("Assign the %1 selected open assignments to:"));
    cmbEmp = new QComboBox(this);
    cmbEmp->setObjectName(QStringLiteral("cmbEmp"));
    fillPeopleList(cmbEmp, QStringLiteral("(nobody)"), false);
    // The usual answer is a person, not taking the work away from everybody.
    if (cmbEmp->count() > 1)
        cmbEmp->setCurrentIndex(1);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Employee"), cmbEmp);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCount);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmAssignWork::cmdOK_Click() {
    employee_ = cmbEmp->currentData();
    accept();
}

} // namespace tavrel
