#include "assignments/frmcompletecode.h"

#include "assignments/frmassign.h"
#include "core/codelookup.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/recordeditor.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace tavrel {

using namespace workordercode;

namespace {

const QString Title = QStringLiteral("Complete Work Order");
// Room for a code with a key of ten digits, and a little more.
constexpr int CodeBoxChars = 28;
// Longer than any code: a scanner's text is never cut short, only refused.
constexpr int LongestText = 100;

} // namespace

frmCompleteCode::frmCompleteCode(QWidget* parent)
    : QDialog(parent) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmCompleteCode"));
    setWindowTitle(Title);

    txtCode = recordwidgets::lineEdit(this, "txtCode", LongestText);
    txtCode->setMinimumWidth(txtCode->fontMetrics().averageCharWidth() * CodeBoxChars);
    lblCode = recordwidgets::label(QStringLiteral("&Work order code"), txtCode);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    // Enter (the scanner's, after the code) presses OK wherever the focus is.
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    cmdHelp->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    buttons->addButton(cmdHelp, QDialogButtonBox::HelpRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmCompleteCode::cmdCancel_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmCompleteCode::cmdHelp_Click);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &frmCompleteCode::cmdHelp_Click);

    auto* field = new QHBoxLayout;
    field->addWidget(lblCode);
    field->addWidget(txtCode, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addStretch(1);
    layout->addWidget(buttons);
    txtCode->setFocus();
}

void frmCompleteCode::selectCode() {
    txtCode->setFocus();
    txtCode->selectAll();
}

void frmCompleteCode::cmdOK_Click() {
    CodeTarget target = assignmentToComplete(txtCode->text());
    // Unsaved edits in the assignment editor are saved or dropped first, as the user
    // chooses; the code is looked up again after a save, which may have completed its work.
    if (target.outcome == CodeOutcome::Found) {
        frmAssign* editor = openedAssignmentEditor();
        if (editor && (editor->isChanged() || editor->isAdding())) {
            if (!editor->confirmLeave(QStringLiteral("opening another one"))) {
                selectCode();
                return;
            }
            target = assignmentToComplete(txtCode->text());
        }
    }
    if (target.outcome != CodeOutcome::Found) {
        // An unreadable database was reported by the read itself.
        if (target.outcome != CodeOutcome::Unreadable)
            ui().msgBox(codeMessage(target), MsgButtons::Ok, MsgIcon::Information, Title);
        selectCode();
        return;
    }
    assignment_ = target.assid;
    accept();
}

void frmCompleteCode::cmdCancel_Click() {
    reject();
}

void frmCompleteCode::cmdHelp_Click() {
    ui().showHelp(this, QStringLiteral("completecode"));
}

qint64 completeWorkOrder(QWidget* parent) {
    frmCompleteCode box(parent);
    ui().showModal(&box);
    if (box.assignment() == 0)
        return 0;
    frmAssign* editor = openAssignmentEditor(parent);
    return editor->startCompletion(box.assignment()) ? box.assignment() : 0;
}

void installCompleteWorkOrder(frmMain& main) {
    main.installCommand(main.mnuCompleteCode, [&main] { completeWorkOrder(&main); });
}

} // namespace tavrel
