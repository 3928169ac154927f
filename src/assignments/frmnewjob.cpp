#include "assignments/frmnewjob.h"

#include "assignments/oneoff.h"
#include "core/datachanges.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "data/database.h"
#include "dialogs/datefield.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tavrel {

namespace {

const QString Title = QStringLiteral("New Job");
const QString DueDateMessage = QStringLiteral("You must enter a valid due date for the job.");
const QString NoTaskChosen = QStringLiteral("You must choose the task the job is for.");
const QString TaskGone =
    QStringLiteral("The task you chose no longer exists. Choose the task the job is for again.");
const QString NoTasks =
    QStringLiteral("There are no tasks yet. Add the task the job is for in the main window first.");

// The usual employee of a task item.
constexpr int TaskEmployeeRole = Qt::UserRole + 1;
// Wide enough for a long task name.
constexpr int TaskListChars = 40;
constexpr int NotesLines = 4;

QString employeeText(const Recordset& rs) {
    return personName(recordwidgets::columnText(rs, QStringLiteral("lastname")),
                      recordwidgets::columnText(rs, QStringLiteral("firstname")));
}

// Whether dbMain holds a task at all; false too when that cannot be read (reported).
bool anyTask() {
    ErrorTrap trap;
    Recordset rs = state().dbMain.openRecordset(QStringLiteral("select count(*) as n from tasks"),
                                                RecordsetType::Snapshot);
    return rs.isOpen() && rs.value(QStringLiteral("n")).toInt() > 0;
}

} // namespace

frmNewJob::frmNewJob(QWidget* parent)
    : QDialog(parent) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmNewJob"));
    setWindowTitle(Title);

    cmbTask = recordwidgets::codeList(this, "cmbTask", TaskListChars);
    cmbTask->setEditable(false);
    dcDueDate = new DateField(this);
    dcDueDate->setObjectName(QStringLiteral("dcDueDate"));
    dcDueDate->setCheck(DateField::Kind::Required, DueDateMessage, true);
    dcDueDate->setPlacement(DateField::Placement::BelowLeftAligned);
    cmbEmp = recordwidgets::codeList(this, "cmbEmp", TaskListChars / 2);
    cmbEmp->setEditable(false);
    cmbEmp->installEventFilter(this);
    txtNotes = recordwidgets::multiLine(this, "txtNotes");
    txtNotes->setFixedHeight(txtNotes->fontMetrics().lineSpacing() * NotesLines +
                             2 * txtNotes->frameWidth() +
                             2 * int(txtNotes->document()->documentMargin()));

    lblTask = recordwidgets::label(QStringLiteral("&Task"), cmbTask);
    lblDueDate = recordwidgets::label(QStringLiteral("&Due Date"), dcDueDate);
    lblEmp = recordwidgets::label(QStringLiteral("&Assigned to"), cmbEmp);
    lblNotes = recordwidgets::label(QStringLiteral("&Notes"), txtNotes);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    buttons->addButton(cmdHelp, QDialogButtonBox::HelpRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmNewJob::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmNewJob::cmdHelp_Click);
    connect(cmbTask, &QComboBox::activated, this,
            [this] { guardedCall([this] { cmbTask_Click(); }); });
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &frmNewJob::cmdHelp_Click);

    auto* fields = new QGridLayout;
    int row = 0;
    for (const auto& [label, field] : {std::pair<QWidget*, QWidget*>{lblTask, cmbTask},
                                       {lblDueDate, dcDueDate},
                                       {lblEmp, cmbEmp},
                                       {lblNotes, txtNotes}}) {
        // A label stands level with its field, above the notes' first line.
        fields->addWidget(label, row, 0,
                          Qt::AlignLeft | (field == txtNotes ? Qt::AlignTop : Qt::AlignVCenter));
        fields->addWidget(field, row++, 1);
    }
    fields->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setTabOrder(cmbTask, dcDueDate);
    setTabOrder(dcDueDate, cmbEmp);
    setTabOrder(cmbEmp, txtNotes);
    setTabOrder(txtNotes, cmdOK);

    Form_Load();
}

QSize frmNewJob::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmNewJob::fillTasks() {
    ErrorTrap trap;
    cmbTask->clear();
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select taskid, taskname, empid from tasks order by taskname"),
        RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() == 0)
        return;
    while (!rs.isEOF()) {
        cmbTask->addItem(recordwidgets::columnText(rs, QStringLiteral("taskname")),
                         rs.value(QStringLiteral("taskid")).toLongLong());
        cmbTask->setItemData(cmbTask->count() - 1, rs.value(QStringLiteral("empid")),
                             TaskEmployeeRole);
        rs.moveNext();
    }
}

void frmNewJob::Form_Load() {
    fillTasks();
    cmbTask->setCurrentIndex(-1);
    {
        ErrorTrap trap;
        reloadCodeList(cmbEmp,
                       QStringLiteral("Select * from employees order by lastname, firstname"),
                       QStringLiteral("empid"), employeeText);
    }
    cmbEmp->setCurrentIndex(-1);
    dcDueDate->setDate(ui().today());
    cmbTask->setFocus();
}

void frmNewJob::cmbTask_Click() {
    const QVariant usual = cmbTask->currentData(TaskEmployeeRole);
    int index = indexOfId(cmbEmp, usual);
    // A retired employee is not proposed: it can no longer be chosen.
    if (index >= 0 &&
        !(cmbEmp->model()->flags(cmbEmp->model()->index(index, 0)) & Qt::ItemIsEnabled))
        index = -1;
    cmbEmp->setCurrentIndex(index);
}

void frmNewJob::cmdOK_Click() {
    if (cmbTask->currentIndex() < 0) {
        ui().msgBox(NoTaskChosen, MsgButtons::Ok, MsgIcon::Information, Title);
        cmbTask->setFocus();
        return;
    }
    // The date field shows its own refusal and takes the focus back.
    if (!dcDueDate->checkNow())
        return;
    const std::optional<QDate> due = dcDueDate->date();
    if (!due) {
        ui().msgBox(DueDateMessage, MsgButtons::Ok, MsgIcon::Information, Title);
        dcDueDate->setFocus();
        return;
    }
    bool failed = false;
    {
        ErrorTrap noted([&failed](const DbError&) {
            failed = true;
            HandleDataError();
        });
        created_ = addOneOffJob(OneOffJob{cmbTask->currentData().toLongLong(), *due,
                                          selectedId(cmbEmp), txtNotes->toPlainText()});
    }
    if (failed)
        return; // reported; what was entered stays for another try
    if (created_.isNull()) {
        ui().msgBox(TaskGone, MsgButtons::Ok, MsgIcon::Information, Title);
        fillTasks();
        cmbTask->setCurrentIndex(-1);
        cmbTask->setFocus();
        return;
    }
    accept();
}

void frmNewJob::cmdCancel_Click() {
    reject();
}

void frmNewJob::cmdHelp_Click() {
    ui().showHelp(this, QStringLiteral("newjob"));
}

bool frmNewJob::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmbEmp && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            cmbEmp->setCurrentIndex(-1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool openNewJob(QWidget* parent, QVariant* created) {
    if (!anyTask()) {
        ui().msgBox(NoTasks, MsgButtons::Ok, MsgIcon::Information, Title);
        return false;
    }
    frmNewJob dialog(parent);
    ui().showModal(&dialog);
    if (dialog.createdJob().isNull())
        return false;
    // The work list and the count of overdue work show the new job.
    notifyAssignmentsChanged();
    if (created)
        *created = dialog.createdJob();
    return true;
}

void installNewJob(frmMain& main) {
    main.installCommand(main.mnuNewJob, [&main] { openNewJob(&main); });
}

} // namespace tavrel
