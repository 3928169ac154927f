#include "reports/frmlabels.h"

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "reports/labels.h"
#include "reports/reportdocument.h"
#include "text/datetext.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace tavrel {

namespace {

const QString DialogTitle = QStringLiteral("Equipment Labels");
// Enough rows of the task list to choose from without scrolling at every step.
constexpr int ListRows = 12;

} // namespace

frmLabels::frmLabels(QWidget* parent)
    : QDialog(parent)
    , lblLocation(new QLabel(QStringLiteral("&Location"), this))
    , cboLocation(new QComboBox(this))
    , lblTasks(new QLabel(QStringLiteral("&Tasks (none chosen: every task listed)"), this))
    , lstTasks(new QListWidget(this))
    , lblCount(new QLabel(this))
    , lblStock(new QLabel(QStringLiteral("&Stock"), this))
    , cboStock(new QComboBox(this))
    , lblStart(new QLabel(QStringLiteral("Start &at label"), this))
    , spnStart(new QSpinBox(this))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmLabels"));
    setWindowTitle(DialogTitle);
    lblLocation->setObjectName(QStringLiteral("lblLocation"));
    cboLocation->setObjectName(QStringLiteral("cboLocation"));
    lblTasks->setObjectName(QStringLiteral("lblTasks"));
    lstTasks->setObjectName(QStringLiteral("lstTasks"));
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblStock->setObjectName(QStringLiteral("lblStock"));
    cboStock->setObjectName(QStringLiteral("cboStock"));
    lblStart->setObjectName(QStringLiteral("lblStart"));
    spnStart->setObjectName(QStringLiteral("spnStart"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    lblLocation->setBuddy(cboLocation);
    lblTasks->setBuddy(lstTasks);
    lblStock->setBuddy(cboStock);
    lblStart->setBuddy(spnStart);
    // A click or Space chooses a task or lets it go again, one at a time.
    lstTasks->setSelectionMode(QAbstractItemView::MultiSelection);
    lstTasks->setMinimumHeight(lstTasks->fontMetrics().height() * ListRows);
    for (const LabelStock& stock : LabelStocks)
        cboStock->addItem(QString::fromLatin1(stock.caption), QString::fromLatin1(stock.key));
    spnStart->setToolTip(QStringLiteral("1 is the top-left label of the sheet, then along the "
                                        "rows: on a sheet already used, the first free one."));
    cmdOK->setDefault(true);

    auto* fields = new QGridLayout;
    fields->addWidget(lblLocation, 0, 0);
    fields->addWidget(cboLocation, 0, 1);
    fields->addWidget(lblTasks, 1, 0, 1, 2);
    fields->addWidget(lstTasks, 2, 0, 1, 2);
    fields->addWidget(lblCount, 3, 0, 1, 2);
    fields->addWidget(lblStock, 4, 0);
    fields->addWidget(cboStock, 4, 1);
    fields->addWidget(lblStart, 5, 0);
    fields->addWidget(spnStart, 5, 1, Qt::AlignLeft);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(2, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("fraButtons"));
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    connect(cmdOK, &QPushButton::clicked, this, &frmLabels::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLabels::cmdCancel_Click);
    connect(cboLocation, &QComboBox::currentIndexChanged, this, &frmLabels::cboLocation_Change);
    connect(cboStock, &QComboBox::currentIndexChanged, this, &frmLabels::cboStock_Change);
    connect(lstTasks, &QListWidget::itemSelectionChanged, this, [this] { updateCount(); });
    connect(spnStart, &QSpinBox::valueChanged, this, [this] { updateCount(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addWidget(buttons);
    setTabOrder(cboLocation, lstTasks);
    setTabOrder(lstTasks, cboStock);
    setTabOrder(cboStock, spnStart);
    setTabOrder(spnStart, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    Form_Load();
}

QSize frmLabels::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmLabels::Form_Load() {
    {
        const QSignalBlocker quiet(cboLocation);
        cboLocation->clear();
        cboLocation->addItem(QString::fromLatin1(AllLocations));
        ErrorTrap trap;
        cboLocation->addItems(labelLocationNames(state().dbMain));
        cboLocation->setCurrentIndex(0);
    }
    {
        const QSignalBlocker quiet(cboStock);
        cboStock->setCurrentIndex(cboStock->findData(QString::fromLatin1(defaultLabelStock().key)));
    }
    cboStock_Change();
    cboLocation_Change();
    cboLocation->setFocus();
}

const LabelStock& frmLabels::chosenStock() const {
    const int index = std::max(0, cboStock->currentIndex());
    return LabelStocks[index < int(std::size(LabelStocks)) ? index : 0];
}

void frmLabels::cboLocation_Change() {
    lstTasks->clear();
    LabelChoice choice;
    if (cboLocation->currentIndex() > 0)
        choice.location = cboLocation->currentText();
    ErrorTrap trap;
    for (const LabelTask& task : labelTasks(state().dbMain, choice)) {
        const QString name = task.name.simplified();
        auto* item = new QListWidgetItem(task.tag.trimmed().isEmpty()
                                             ? name
                                             : name + QStringLiteral(" (") + task.tag.trimmed() +
                                                   QLatin1Char(')'),
                                         lstTasks);
        item->setData(Qt::UserRole, task.taskid);
    }
    if (lstTasks->count() > 0)
        lstTasks->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    updateCount();
}

void frmLabels::cboStock_Change() {
    spnStart->setRange(1, chosenStock().perSheet());
    updateCount();
}

void frmLabels::updateCount() {
    const int chosen = int(lstTasks->selectedItems().size());
    const int labels = chosen > 0 ? chosen : lstTasks->count();
    const int perSheet = chosenStock().perSheet();
    const int sheets = labels == 0 ? 0 : (spnStart->value() - 1 + labels + perSheet - 1) / perSheet;
    lblCount->setText(QStringLiteral("%1 %2 on %3 %4")
                          .arg(wholeNumber(labels),
                               labels == 1 ? QStringLiteral("label") : QStringLiteral("labels"),
                               wholeNumber(sheets),
                               sheets == 1 ? QStringLiteral("sheet") : QStringLiteral("sheets")));
}

void frmLabels::cmdOK_Click() {
    LabelChoice choice;
    if (cboLocation->currentIndex() > 0)
        choice.location = cboLocation->currentText();
    // In the list's order: the labels come in task-name order whichever way they were chosen.
    for (int row = 0; row < lstTasks->count(); ++row)
        if (lstTasks->item(row)->isSelected())
            choice.taskIds << lstTasks->item(row)->data(Qt::UserRole).toLongLong();
    LabelsOutcome outcome;
    {
        ErrorTrap trap;
        outcome =
            writeLabels(state().dbMain, reportDocument(), chosenStock(), spnStart->value(), choice);
    }
    if (!outcome.error.isEmpty()) {
        ui().msgBox(outcome.error, MsgButtons::Ok, MsgIcon::Information, DialogTitle);
        return;
    }
    accept();
    showReportOutput();
}

void frmLabels::cmdCancel_Click() {
    reject();
}

void installEquipmentLabels(frmMain& window) {
    window.installCommand(window.mnuLabels, [&window] {
        frmLabels dialog(&window);
        ui().showModal(&dialog);
    });
}

} // namespace tavrel
