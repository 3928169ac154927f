#include "assignments/frmsetyear.h"

#include "assignments/yeargen.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "text/datetext.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

namespace tavrel {

namespace {

const QString InvalidYearTitle = QStringLiteral("Invalid Year");

// A number as the year box shows it: whole numbers in plain digits, others as typed would
// read them back.
QString yearText(double value) {
    constexpr int Digits = 15;                 // all a double holds exactly
    constexpr double LargestPlainWhole = 1e15; // beyond it a double skips whole numbers
    if (value == std::trunc(value) && std::fabs(value) < LargestPlainWhole)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', Digits);
}

} // namespace

frmSetYear::frmSetYear(QWidget* parent)
    : QDialog(parent)
    , lblYear(new QLabel(QStringLiteral("&Year:"), this))
    , txtYear(new QLineEdit(this))
    , SpinButton1(new QWidget(this))
    , SpinButton1Up(new QToolButton(SpinButton1))
    , SpinButton1Down(new QToolButton(SpinButton1))
    , cmdOK(new QPushButton(QStringLiteral("&OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel"), this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmSetYear"));
    setWindowTitle(QStringLiteral("Set Current Year"));
    lblYear->setObjectName(QStringLiteral("lblYear"));
    txtYear->setObjectName(QStringLiteral("txtYear"));
    SpinButton1->setObjectName(QStringLiteral("SpinButton1"));
    SpinButton1Up->setObjectName(QStringLiteral("SpinButton1Up"));
    SpinButton1Down->setObjectName(QStringLiteral("SpinButton1Down"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    lblYear->setBuddy(txtYear);
    SpinButton1Up->setArrowType(Qt::UpArrow);
    SpinButton1Down->setArrowType(Qt::DownArrow);
    SpinButton1Up->setToolTip(QStringLiteral("Next year"));
    SpinButton1Down->setToolTip(QStringLiteral("Previous year"));
    // Held down, an arrow keeps stepping, as a spin button does.
    SpinButton1Up->setAutoRepeat(true);
    SpinButton1Down->setAutoRepeat(true);
    // The arrows are for the mouse; Tab goes from the year straight to the buttons.
    SpinButton1Up->setFocusPolicy(Qt::NoFocus);
    SpinButton1Down->setFocusPolicy(Qt::NoFocus);
    auto* arrows = new QVBoxLayout(SpinButton1);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    arrows->addWidget(SpinButton1Up);
    arrows->addWidget(SpinButton1Down);
    cmdOK->setDefault(true);

    connect(SpinButton1Up, &QToolButton::clicked, this, &frmSetYear::SpinButton1_SpinUp);
    connect(SpinButton1Down, &QToolButton::clicked, this, &frmSetYear::SpinButton1_SpinDown);
    txtYear->installEventFilter(this);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);
    // The handlers decide about closing; the box only lays the buttons out.
    connect(cmdOK, &QPushButton::clicked, this, &frmSetYear::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSetYear::cmdCancel_Click);

    auto* yearRow = new QHBoxLayout;
    yearRow->addWidget(lblYear);
    yearRow->addWidget(txtYear, 1);
    yearRow->addWidget(SpinButton1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(yearRow);
    layout->addStretch(1);
    layout->addWidget(buttons);

    Form_Load();
}

QSize frmSetYear::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmSetYear::Form_Load() {
    txtYear->setText(QString::number(state().CurYear));
    txtYear->selectAll();
    txtYear->setFocus();
    state().Cancelled = true;
}

void frmSetYear::cmdOK_Click() {
    const std::optional<double> value = toNumber(txtYear->text());
    if (!value) {
        ui().msgBox(QStringLiteral("You must enter an integer as the year."), MsgButtons::Ok,
                    MsgIcon::Information, InvalidYearTitle);
        return;
    }
    // Compared as a double first: a huge number has no int to convert to.
    const double year = std::round(*value);
    if (year < FirstPlannableYear || year > LastPlannableYear) {
        ui().msgBox(yearOutOfRangeMessage(), MsgButtons::Ok, MsgIcon::Information,
                    InvalidYearTitle);
        return;
    }
    state().Cancelled = false;
    state().SelectedYear = static_cast<qint32>(year);
    accept();
}

void frmSetYear::cmdCancel_Click() {
    state().Cancelled = true;
    reject();
}

bool frmSetYear::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtYear && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            key == Qt::Key_Up ? SpinButton1_SpinUp() : SpinButton1_SpinDown();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmSetYear::SpinButton1_SpinUp() {
    stepYear(1);
}

void frmSetYear::SpinButton1_SpinDown() {
    stepYear(-1);
}

// Text that is not a number is left as it is: the arrows only step a year.
void frmSetYear::stepYear(int by) {
    if (const std::optional<double> value = toNumber(txtYear->text()))
        txtYear->setText(yearText(*value + by));
}

bool SetCurrentYear(QWidget* parent) {
    frmSetYear dialog(parent);
    ui().showModal(&dialog);
    if (state().Cancelled)
        return false;
    if (state().SelectedYear != state().CurYear)
        CreateYearAssignments(static_cast<qint16>(state().SelectedYear));
    return true;
}

} // namespace tavrel
