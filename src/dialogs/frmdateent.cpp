#include "dialogs/frmdateent.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QColor>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrel {

namespace {

constexpr int GridColumns = DaysPerWeek;
constexpr int GridRows = 7; // the day-name row and six weeks
constexpr int FirstWeekRow = 1;

// Qt's dates have no year 0 (year -1 is 1 BC), so the lowest year the picker steps to is 1.
constexpr int MinYear = 1;
constexpr int MaxYear = 9999;

// The reference dates of the month and day names: 1998 starts on a Thursday, so any year
// would do; 31 May 1998 is a Sunday and starts the day-name row.
constexpr int NamesYear = 1998;
const QDate FirstSunday(NamesYear, 5, 31);

constexpr int CellWidth = 40; // at least; wider where the day names need it
constexpr int CellHeight = 28;
constexpr int CellPadding = 8; // beside the widest day name, so that none is cut
// Spin arrows big enough to hit with a mouse or a finger: each at least a text line high,
// and half as wide again.
constexpr int MinSpinArrowHeight = 16;
constexpr int SpinArrowWidthPercent = 150;
constexpr int YearBoxChars = 6;
constexpr int YearBoxPadding = 16;
constexpr int TodayTintAlpha = 48; // today's cell: a light wash of the selection colour

QTableWidgetItem* blankCell() {
    auto* item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled); // not selectable: only day numbers can be chosen
    return item;
}

} // namespace

SpinButton::SpinButton(QWidget* parent)
    : QWidget(parent)
    , up_(new QToolButton(this))
    , down_(new QToolButton(this)) {
    up_->setObjectName(QStringLiteral("up"));
    down_->setObjectName(QStringLiteral("down"));
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const int arrowHeight = qMax(MinSpinArrowHeight, fontMetrics().height());
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(arrowHeight * SpinArrowWidthPercent / 100, arrowHeight);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &SpinButton::spinUp);
    connect(down_, &QToolButton::clicked, this, &SpinButton::spinDown);
}

frmDateEnt::frmDateEnt(QWidget* parent)
    : QDialog(parent)
    , txtMonth(new QLineEdit(this))
    , Spin1(new SpinButton(this))
    , txtYear(new QLineEdit(this))
    , Spin2(new SpinButton(this))
    , Grid1(new QTableWidget(GridRows, GridColumns, this)) {
    keepShownSize(this);
    setObjectName(QStringLiteral("frmDateEnt"));
    setWindowTitle(QStringLiteral("Select Date"));
    txtMonth->setObjectName(QStringLiteral("txtMonth"));
    Spin1->setObjectName(QStringLiteral("Spin1"));
    txtYear->setObjectName(QStringLiteral("txtYear"));
    Spin2->setObjectName(QStringLiteral("Spin2"));
    Grid1->setObjectName(QStringLiteral("Grid1"));

    QFont headFont = txtMonth->font();
    headFont.setBold(true);
    for (QLineEdit* box : {txtMonth, txtYear}) {
        box->setReadOnly(true);
        box->setAlignment(Qt::AlignCenter);
        box->setFont(headFont);
        box->installEventFilter(this);
    }
    txtYear->setFixedWidth(txtYear->fontMetrics().horizontalAdvance(QString(YearBoxChars, u'0')) +
                           YearBoxPadding);

    Grid1->horizontalHeader()->hide();
    Grid1->verticalHeader()->hide();
    Grid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Grid1->horizontalHeader()->setMinimumSectionSize(CellWidth);
    Grid1->verticalHeader()->setMinimumSectionSize(CellHeight);
    Grid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Grid1->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid1->setShowGrid(false);
    Grid1->setTabKeyNavigation(false);
    const int frame = 2 * Grid1->frameWidth();
    Grid1->setMinimumSize(GridColumns * CellWidth + frame, GridRows * CellHeight + frame);
    Grid1->installEventFilter(this);
    connect(Grid1, &QTableWidget::cellClicked, this, &frmDateEnt::Grid1_Click);

    // The keys that do the same from the calendar.
    Spin1->upButton()->setToolTip(tr("Next month (Page Down)"));
    Spin1->downButton()->setToolTip(tr("Previous month (Page Up)"));
    Spin2->upButton()->setToolTip(tr("Next year (Ctrl+Page Down)"));
    Spin2->downButton()->setToolTip(tr("Previous year (Ctrl+Page Up)"));

    connect(Spin1, &SpinButton::spinUp, this, &frmDateEnt::Spin1_SpinUp);
    connect(Spin1, &SpinButton::spinDown, this, &frmDateEnt::Spin1_SpinDown);
    connect(Spin2, &SpinButton::spinUp, this, &frmDateEnt::Spin2_SpinUp);
    connect(Spin2, &SpinButton::spinDown, this, &frmDateEnt::Spin2_SpinDown);

    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    top->addWidget(txtMonth, 1);
    top->addWidget(Spin1);
    top->addSpacing(CellWidth / 4);
    top->addWidget(txtYear);
    top->addWidget(Spin2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Grid1, 1);

    setTabOrder(Grid1, txtMonth);
    setTabOrder(txtMonth, txtYear);

    Form_Load();
}

QSize frmDateEnt::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmDateEnt::Form_Load() {
    PickerDate = state().PickedDate.isValid() ? state().PickedDate : ui().today();
    MonthNames.clear();
    for (int m = 1; m <= MonthsPerYear; ++m)
        MonthNames << longMonthName(m);

    QFont bold = Grid1->font();
    bold.setBold(true);
    for (int c = 0; c < GridColumns; ++c) {
        QTableWidgetItem* item = blankCell();
        item->setText(u' ' + shortDayName(FirstSunday.addDays(c).dayOfWeek()) + u' ');
        item->setFont(bold);
        item->setBackground(palette().button());
        item->setForeground(palette().buttonText());
        Grid1->setItem(0, c, item);
    }
    fitColumnsToDayNames(bold);
    FillCalendar();
    Grid1->setFocus();
}

// Some languages' short day names (Arabic: الاثنين, الثلاثاء) are wider than a day number's
// cell; the columns then widen so that every name shows whole.
void frmDateEnt::fitColumnsToDayNames(const QFont& nameFont) {
    const QFontMetrics metrics(nameFont);
    int width = CellWidth;
    for (int c = 0; c < GridColumns; ++c)
        width = qMax(width, metrics.horizontalAdvance(Grid1->item(0, c)->text()) + CellPadding);
    Grid1->horizontalHeader()->setMinimumSectionSize(width);
    Grid1->setMinimumWidth(GridColumns * width + 2 * Grid1->frameWidth());
}

void frmDateEnt::FillCalendar() {
    ShownMonth = PickerDate.month();
    txtMonth->setText(MonthNames.value(ShownMonth - 1));
    ShownYear = PickerDate.year();
    txtYear->setText(wholeNumber(ShownYear));

    const QDate first(ShownYear, ShownMonth, 1);
    const QDate today = ui().today();
    QFont bold = Grid1->font();
    bold.setBold(true);
    QColor todayTint = palette().highlight().color();
    todayTint.setAlpha(TodayTintAlpha);

    Grid1->clearSelection();
    for (int r = FirstWeekRow; r < GridRows; ++r) {
        for (int c = 0; c < GridColumns; ++c)
            Grid1->setItem(r, c, blankCell());
    }
    int row = FirstWeekRow;
    int column = first.dayOfWeek() % GridColumns; // Sunday is column 0
    QTableWidgetItem* selected = nullptr;
    for (int day = 1; day <= first.daysInMonth(); ++day) {
        QTableWidgetItem* item = Grid1->item(row, column);
        item->setText(wholeNumber(day));
        item->setData(Qt::UserRole, day);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (first.addDays(day - 1) == today) {
            item->setFont(bold);
            item->setForeground(palette().link());
            item->setBackground(todayTint);
        }
        if (day == PickerDate.day())
            selected = item;
        if (++column == GridColumns) {
            column = 0;
            ++row;
        }
    }
    if (selected) {
        Grid1->setCurrentItem(selected);
        selected->setSelected(true);
    }
}

void frmDateEnt::Grid1_Click() {
    const QTableWidgetItem* item = Grid1->currentItem();
    if (!item || Grid1->currentRow() < FirstWeekRow || item->text().isEmpty())
        return;
    state().PickedDate = QDate(ShownYear, ShownMonth, item->data(Qt::UserRole).toInt());
    accept();
}

// Steps to a month and year, keeping the day of PickerDate where that month has it and
// falling back to the 1st where it does not. The date is built from the numbers, not from
// text, so years below 100 stay what they are rather than being read as two-digit years.
void frmDateEnt::stepTo(int month, int year) {
    if (year < MinYear || year > MaxYear) {
        ui().beep();
        return;
    }
    const QDate sameDay(year, month, PickerDate.day());
    PickerDate = sameDay.isValid() ? sameDay : QDate(year, month, 1);
    FillCalendar();
}

void frmDateEnt::Spin1_SpinUp() {
    if (ShownMonth == MonthsPerYear)
        stepTo(1, ShownYear + 1);
    else
        stepTo(ShownMonth + 1, ShownYear);
}

void frmDateEnt::Spin1_SpinDown() {
    if (ShownMonth == 1)
        stepTo(MonthsPerYear, ShownYear - 1);
    else
        stepTo(ShownMonth - 1, ShownYear);
}

void frmDateEnt::Spin2_SpinUp() {
    stepTo(ShownMonth, ShownYear + 1);
}

void frmDateEnt::Spin2_SpinDown() {
    stepTo(ShownMonth, ShownYear - 1);
}

void frmDateEnt::txtMonth_GotFocus() {
    Grid1->setFocus();
}

void frmDateEnt::txtYear_GotFocus() {
    Grid1->setFocus();
}

bool frmDateEnt::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == txtMonth)
            txtMonth_GotFocus();
        else if (watched == txtYear)
            txtYear_GotFocus();
    } else if (watched == Grid1 && event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        const int key = keyEvent->key();
        // Page Up and Page Down step a month, with Ctrl a year, as the spin buttons do.
        const bool byYear = keyEvent->modifiers().testFlag(Qt::ControlModifier);
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Grid1_Click();
            return true;
        }
        if (key == Qt::Key_PageUp) {
            byYear ? Spin2_SpinDown() : Spin1_SpinDown();
            return true;
        }
        if (key == Qt::Key_PageDown) {
            byYear ? Spin2_SpinUp() : Spin1_SpinUp();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavrel
