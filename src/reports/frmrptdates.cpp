#include "reports/frmrptdates.h"

#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "dialogs/datefield.h"
#include "reports/standardreports.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {
const QString InvalidDateTitle = QStringLiteral("Invalid Date");
} // namespace

void prepareReportRange(QLabel* startLabel, DateField* start, QLabel* endLabel, DateField* end) {
    startLabel->setBuddy(start);
    endLabel->setBuddy(end);
    start->setCheck(DateField::Kind::Required,
                    QStringLiteral("You must enter a valid report start date."));
    end->setCheck(DateField::Kind::Required,
                  QStringLiteral("You must enter a valid report end date."));
    start->setPlacement(DateField::Placement::BelowLeftAligned);
    end->setPlacement(DateField::Placement::BelowLeftAligned);
}

frmRptDates::frmRptDates(QWidget* parent)
    : QDialog(parent)
    , Label7(new QLabel(QStringLiteral("Report Start Date"), this))
    , dcStartDate(new DateField(this))
    , Label9(new QLabel(QStringLiteral("Report End Date"), this))
    , dcEndDate(new DateField(this))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmRptDates"));
    setWindowTitle(QStringLiteral("Select Report Dates"));
    Label7->setObjectName(QStringLiteral("Label7"));
    dcStartDate->setObjectName(QStringLiteral("dcStartDate"));
    Label9->setObjectName(QStringLiteral("Label9"));
    dcEndDate->setObjectName(QStringLiteral("dcEndDate"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    prepareReportRange(Label7, dcStartDate, Label9, dcEndDate);
    cmdOK->setDefault(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, &frmRptDates::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmRptDates::cmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label7);
    layout->addWidget(dcStartDate);
    layout->addWidget(Label9);
    layout->addWidget(dcEndDate);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setTabOrder(dcStartDate, dcEndDate);
    setTabOrder(dcEndDate, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    Form_Load();
}

QSize frmRptDates::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmRptDates::Form_Load() {
    dcStartDate->setDate(state().ReportStartDate);
    dcEndDate->setDate(state().ReportEndDate);
    dcStartDate->setFocus();
}

void frmRptDates::cmdOK_Click() {
    const std::optional<QDate> start = dcStartDate->date();
    if (!start) {
        ui().msgBox(QStringLiteral("Error -- invalid starting date entered."), MsgButtons::Ok,
                    MsgIcon::Information, InvalidDateTitle);
        return;
    }
    const std::optional<QDate> end = dcEndDate->date();
    if (!end) {
        ui().msgBox(QStringLiteral("Error -- invalid end date entered."), MsgButtons::Ok,
                    MsgIcon::Information, InvalidDateTitle);
        return;
    }
    state().Cancelled = false;
    state().ReportStartDate = *start;
    state().ReportEndDate = *end;
    accept();
}

void frmRptDates::cmdCancel_Click() {
    state().Cancelled = true;
    reject();
}

void runWithReportDates(QWidget* parent, const std::function<void()>& report) {
    state().Cancelled = true;
    {
        frmRptDates dialog(parent);
        ui().showModal(&dialog);
    }
    if (!state().Cancelled)
        report();
}

void installStandardReports(frmMain& window) {
    const auto dated = [&window](void (*report)()) {
        return [&window, report] { runWithReportDates(&window, report); };
    };
    window.installCommand(window.mnuRptComplete, dated(ReportCompletedWork));
    window.installCommand(window.mnuRptExpense, dated(ReportExpenses));
    window.installCommand(window.mnuRptMaster, dated(ReportMasterList));
    window.installCommand(window.mnuRptTasks, dated(ReportTaskAssignments));
    window.installCommand(window.mnuRptOverdue, ReportOverdue);
}

} // namespace tavrel
