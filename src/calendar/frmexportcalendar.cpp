#include "calendar/frmexportcalendar.h"

#include "calendar/calendarexport.h"
#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "core/windowplacement.h"
#include "dialogs/datefield.h"
#include "text/datetext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

const QString DialogTitle = QStringLiteral("Export Calendar");
const QString CalendarFilter = QStringLiteral("iCalendar Files (*.ics)|*.ics|All Files (*.*)|*.*");
const QString InvalidDateTitle = QStringLiteral("Invalid Date");

} // namespace

frmExportCalendar::frmExportCalendar(QWidget* parent)
    : QDialog(parent)
    , lblEmployee(new QLabel(QStringLiteral("&Employee"), this))
    , cboEmployee(new QComboBox(this))
    , lblFrom(new QLabel(QStringLiteral("Due &from"), this))
    , dcFrom(new DateField(this))
    , lblTo(new QLabel(QStringLiteral("Due &to"), this))
    , dcTo(new DateField(this))
    , optEvents(new QRadioButton(QStringLiteral("E&vents, for calendar programs"), this))
    , optTodos(new QRadioButton(QStringLiteral("To-&dos, for task lists"), this))
    , cmdExport(new QPushButton(QStringLiteral("E&xport..."), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmExportCalendar"));
    setWindowTitle(DialogTitle);
    lblEmployee->setObjectName(QStringLiteral("lblEmployee"));
    cboEmployee->setObjectName(QStringLiteral("cboEmployee"));
    lblFrom->setObjectName(QStringLiteral("lblFrom"));
    dcFrom->setObjectName(QStringLiteral("dcFrom"));
    lblTo->setObjectName(QStringLiteral("lblTo"));
    dcTo->setObjectName(QStringLiteral("dcTo"));
    optEvents->setObjectName(QStringLiteral("optEvents"));
    optTodos->setObjectName(QStringLiteral("optTodos"));
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    lblEmployee->setBuddy(cboEmployee);
    lblFrom->setBuddy(dcFrom);
    lblTo->setBuddy(dcTo);
    dcFrom->setCheck(DateField::Kind::Optional,
                     QStringLiteral("Enter a valid first due date, or leave it empty."));
    dcTo->setCheck(DateField::Kind::Optional,
                   QStringLiteral("Enter a valid last due date, or leave it empty."));
    optEvents->setChecked(true);
    cmdExport->setDefault(true);

    auto* fields = new QGridLayout;
    fields->addWidget(lblEmployee, 0, 0);
    fields->addWidget(cboEmployee, 0, 1);
    fields->addWidget(lblFrom, 1, 0);
    fields->addWidget(dcFrom, 1, 1);
    fields->addWidget(lblTo, 2, 0);
    fields->addWidget(dcTo, 2, 1);
    fields->setColumnStretch(1, 1);
    auto* kind = new QGroupBox(QStringLiteral("Write the assignments as"), this);
    kind->setObjectName(QStringLiteral("fraKind"));
    auto* kindLayout = new QVBoxLayout(kind);
    kindLayout->addWidget(optEvents);
    kindLayout->addWidget(optTodos);
    auto* hint = new QLabel(QStringLiteral("Leave a date empty for no limit on that side."), this);
    hint->setObjectName(QStringLiteral("lblHint"));

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdExport, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    connect(cmdExport, &QPushButton::clicked, this, &frmExportCalendar::cmdExport_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExportCalendar::cmdCancel_Click);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(hint);
    layout->addWidget(kind);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setTabOrder(cboEmployee, dcFrom);
    setTabOrder(dcFrom, dcTo);
    setTabOrder(dcTo, optEvents);
    setTabOrder(optEvents, optTodos);
    setTabOrder(optTodos, cmdExport);
    setTabOrder(cmdExport, cmdCancel);

    Form_Load();
}

QSize frmExportCalendar::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmExportCalendar::Form_Load() {
    cboEmployee->clear();
    cboEmployee->addItem(QString::fromLatin1(AllEmployees));
    ErrorTrap trap;
    cboEmployee->addItems(calendarEmployeeNames(state().dbMain));
    cboEmployee->setCurrentIndex(0);
    cboEmployee->setFocus();
}

void frmExportCalendar::cmdExport_Click() {
    // An empty field is no limit; any other text must be a date.
    const std::optional<QDate> from = dcFrom->date();
    if (!dcFrom->text().trimmed().isEmpty() && !from) {
        ui().msgBox(QStringLiteral("The first due date is not a valid date."), MsgButtons::Ok,
                    MsgIcon::Information, InvalidDateTitle);
        dcFrom->setFocus();
        return;
    }
    const std::optional<QDate> to = dcTo->date();
    if (!dcTo->text().trimmed().isEmpty() && !to) {
        ui().msgBox(QStringLiteral("The last due date is not a valid date."), MsgButtons::Ok,
                    MsgIcon::Information, InvalidDateTitle);
        dcTo->setFocus();
        return;
    }
    if (from && to && *from > *to) {
        ui().msgBox(QStringLiteral("The first due date %1 is after the last %2.")
                        .arg(shortDate(*from), shortDate(*to)),
                    MsgButtons::Ok, MsgIcon::Information, InvalidDateTitle);
        dcFrom->setFocus();
        return;
    }
    CalendarChoice choice;
    if (cboEmployee->currentIndex() > 0)
        choice.employee = cboEmployee->currentText();
    choice.from = from.value_or(QDate());
    choice.to = to.value_or(QDate());
    choice.todos = optTodos->isChecked();

    CalendarOutcome outcome;
    {
        ErrorTrap trap;
        state().Cancelled = false;
        const QString path =
            commonFileDialog(FileDialogMode::Save, this, DialogTitle, CalendarFilter,
                             state().AppPath + QStringLiteral("tavrel.ics"));
        if (state().Cancelled || path.isEmpty())
            return;
        ConfirmFileReplace(path);
        if (state().Cancelled)
            return;
        const QString site = SiteIdentifier();
        outcome = exportCalendar(state().dbMain, choice, path, ui().now(), site);
        if (outcome.written) {
            ui().msgBox(QStringLiteral("%1 %2 written to %3.")
                            .arg(outcome.entries)
                            .arg(choice.todos ? (outcome.entries == 1 ? QStringLiteral("to-do")
                                                                      : QStringLiteral("to-dos"))
                                              : (outcome.entries == 1 ? QStringLiteral("event")
                                                                      : QStringLiteral("events")))
                            .arg(QDir::toNativeSeparators(path)),
                        MsgButtons::Ok, MsgIcon::Information, DialogTitle);
            accept();
            return;
        }
    }
    ui().msgBox(outcome.error, MsgButtons::Ok, MsgIcon::Critical, DialogTitle);
}

void frmExportCalendar::cmdCancel_Click() {
    reject();
}

void installExportCalendar(frmMain& window) {
    window.installCommand(window.mnuExportCalendar, [&window] {
        frmExportCalendar dialog(&window);
        ui().showModal(&dialog);
    });
}

} // namespace tavrel
