#include "reports/frmwrkorder.h"

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "dialogs/datefield.h"
#include "reports/frmrptdates.h"
#include "reports/frmselassign.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "text/datetext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

QRadioButton* option(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

// The wait cursor while a batch of work orders is written.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

frmWrkOrder::frmWrkOrder(QWidget* parent)
    : QDialog(parent)
    , Label7(new QLabel(QStringLiteral("Start Date"), this))
    , dcStartDate(new DateField(this))
    , Label9(new QLabel(QStringLiteral("End Date"), this))
    , dcEndDate(new DateField(this))
    , Frame2(new QGroupBox(this))
    , optAll{option(QStringLiteral("optAll0"),
                    QStringLiteral("Print All Work Orders Between These Dates"), Frame2),
             option(QStringLiteral("optAll1"),
                    QStringLiteral("Print a Selected Work Order Between These Dates"), Frame2)}
    , Frame1(new QGroupBox(this))
    , optComp{option(QStringLiteral("optComp0"),
                     QStringLiteral("Include Uncompleted Task Assignments Only"), Frame1),
              option(QStringLiteral("optComp1"),
                     QStringLiteral("Include Completed and Uncompleted Task Assignments Only"),
                     Frame1)}
    , chkSignOff(new QCheckBox(QStringLiteral("Add &Sign-off Lines"), this))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmWrkOrder"));
    setWindowTitle(QStringLiteral("Select Work Orders to Print"));
    Label7->setObjectName(QStringLiteral("Label7"));
    dcStartDate->setObjectName(QStringLiteral("dcStartDate"));
    Label9->setObjectName(QStringLiteral("Label9"));
    dcEndDate->setObjectName(QStringLiteral("dcEndDate"));
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame1->setObjectName(QStringLiteral("Frame1"));
    chkSignOff->setObjectName(QStringLiteral("chkSignOff"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    prepareReportRange(Label7, dcStartDate, Label9, dcEndDate);
    optAll[0]->setChecked(true);
    optComp[0]->setChecked(true);
    cmdOK->setDefault(true);

    auto* dates = new QGridLayout;
    dates->addWidget(Label7, 0, 0);
    dates->addWidget(dcStartDate, 1, 0);
    dates->addWidget(Label9, 0, 1);
    dates->addWidget(dcEndDate, 1, 1);
    dates->setColumnStretch(2, 1);
    for (QGroupBox* frame : {Frame2, Frame1}) {
        auto* column = new QVBoxLayout(frame);
        QRadioButton* const* buttons = frame == Frame2 ? optAll : optComp;
        column->addWidget(buttons[0]);
        column->addWidget(buttons[1]);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmWrkOrder::cmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(dates);
    layout->addWidget(Frame2);
    layout->addWidget(Frame1);
    layout->addWidget(chkSignOff);
    layout->addStretch(1);
    layout->addWidget(buttons);

    Form_Load();
}

QSize frmWrkOrder::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmWrkOrder::Form_Load() {
    dcStartDate->setDate(state().ReportStartDate);
    dcEndDate->setDate(state().ReportEndDate);
}

void frmWrkOrder::cmdOK_Click() {
    state().Cancelled = false;
    // OK by its access key or Enter leaves the focus in a date field: its check comes first.
    if (!dcStartDate->checkNow() || !dcEndDate->checkNow())
        return;
    const std::optional<QDate> start = dcStartDate->date();
    const std::optional<QDate> end = dcEndDate->date();
    if (!start || !end)
        return;
    // Assignments fall due on Mondays: the range becomes the weeks of the two dates.
    state().ReportStartDate = MondayOfWeek(*start);
    state().ReportEndDate = MondayOfWeek(*end);
    const SignOffLines signOff =
        chkSignOff->isChecked() ? SignOffLines::With : SignOffLines::Without;

    if (optAll[0]->isChecked()) {
        int printed = 0;
        {
            BusyCursor busy;
            printed = printWorkOrderBatch(workOrderRangeSql(state().ReportStartDate,
                                                            state().ReportEndDate,
                                                            optComp[0]->isChecked()),
                                          signOff);
        }
        if (printed > 0)
            showReportOutput();
        else
            ui().msgBox(QStringLiteral("No task assignments were found between those dates"),
                        MsgButtons::Ok, MsgIcon::None, {});
    } else {
        // The main window, not this one, holds the list: this window closes now.
        auto* select = new frmSelAssign(parentWidget());
        select->signOff = signOff;
        select->setAttribute(Qt::WA_DeleteOnClose);
        select->show();
        select->Form_Activate();
    }
    close();
}

void frmWrkOrder::cmdCancel_Click() {
    state().Cancelled = true;
    close();
}

void installWorkOrders(frmMain& main) {
    main.installCommand(main.mnuWorkOrder, [&main] {
        static QPointer<frmWrkOrder> open;
        if (!open) {
            open = new frmWrkOrder(&main);
            open->setAttribute(Qt::WA_DeleteOnClose);
            placeOver(open, &main);
        }
        bringForward(open);
    });
}

} // namespace tavrel
