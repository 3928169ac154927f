#include "calendar/frmholiday.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "dialogs/datefield.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrel {

namespace {

const QString DialogTitle = QStringLiteral("Holiday");

// The kinds in the order cmbKind lists them, which is that of HolidayKind.
const char* const KindNames[] = {"One date", "Same day every year", "Nth weekday of a month",
                                 "Last weekday of a month", "Days from Easter"};

// The years the preview box offers: Easter is reckoned from 1583 on, and the last year
// listed must still be a year QDate names with four digits.
constexpr int FirstPreviewYear = 1583;
constexpr int LastPreviewYear = 9999 - PreviewYears + 1;

} // namespace

frmHoliday::frmHoliday(QWidget* parent)
    : QDialog(parent)
    , lblName(new QLabel(QStringLiteral("&Name"), this))
    , txtName(new QLineEdit(this))
    , lblKind(new QLabel(QStringLiteral("&Kind"), this))
    , cmbKind(new QComboBox(this))
    , lblDate(new QLabel(QStringLiteral("Da&te"), this))
    , dcDate(new DateField(this))
    , lblNth(new QLabel(QStringLiteral("&Which"), this))
    , cmbNth(new QComboBox(this))
    , lblWeekday(new QLabel(QStringLiteral("Week&day"), this))
    , cmbWeekday(new QComboBox(this))
    , lblMonth(new QLabel(QStringLiteral("&Month"), this))
    , cmbMonth(new QComboBox(this))
    , lblDay(new QLabel(QStringLiteral("Da&y"), this))
    , spnDay(new QSpinBox(this))
    , lblOffset(new QLabel(QStringLiteral("Days after &Easter"), this))
    , spnOffset(new QSpinBox(this))
    , lblPreviewYear(new QLabel(QStringLiteral("&Preview from"), this))
    , txtPreviewYear(new QSpinBox(this))
    , lstPreview(new QListWidget(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("frmHoliday"));
    setWindowTitle(DialogTitle);
    const std::pair<QWidget*, const char*> names[] = {{lblName, "lblName"},
                                                      {txtName, "txtName"},
                                                      {lblKind, "lblKind"},
                                                      {cmbKind, "cmbKind"},
                                                      {lblDate, "lblDate"},
                                                      {dcDate, "dcDate"},
                                                      {lblNth, "lblNth"},
                                                      {cmbNth, "cmbNth"},
                                                      {lblWeekday, "lblWeekday"},
                                                      {cmbWeekday, "cmbWeekday"},
                                                      {lblMonth, "lblMonth"},
                                                      {cmbMonth, "cmbMonth"},
                                                      {lblDay, "lblDay"},
                                                      {spnDay, "spnDay"},
                                                      {lblOffset, "lblOffset"},
                                                      {spnOffset, "spnOffset"},
                                                      {lblPreviewYear, "lblPreviewYear"},
                                                      {txtPreviewYear, "txtPreviewYear"},
                                                      {lstPreview, "lstPreview"},
                                                      {cmdOK, "cmdOK"},
                                                      {cmdCancel, "cmdCancel"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));

    lblName->setBuddy(txtName);
    lblKind->setBuddy(cmbKind);
    lblDate->setBuddy(dcDate);
    lblNth->setBuddy(cmbNth);
    lblWeekday->setBuddy(cmbWeekday);
    lblMonth->setBuddy(cmbMonth);
    lblDay->setBuddy(spnDay);
    lblOffset->setBuddy(spnOffset);
    lblPreviewYear->setBuddy(txtPreviewYear);

    txtName->setMaxLength(50);
    for (const char* kind : KindNames)
        cmbKind->addItem(QString::fromLatin1(kind));
    dcDate->setCheck(DateField::Kind::Optional, QStringLiteral("Enter a valid date."), true);
    for (const char* nth : {"1st", "2nd", "3rd", "4th", "5th"})
        cmbNth->addItem(QString::fromLatin1(nth));
    for (int day = 1; day <= 7; ++day)
        cmbWeekday->addItem(QLocale().dayName(day, QLocale::LongFormat));
    for (int month = 1; month <= 12; ++month)
        cmbMonth->addItem(QLocale().monthName(month, QLocale::LongFormat));
    spnDay->setRange(1, 31);
    // Good Friday is two days before Easter Sunday, Pentecost Monday fifty after.
    spnOffset->setRange(-366, 366);
    spnOffset->setToolTip(QStringLiteral("Days after Easter Sunday; before it when negative"));
    txtPreviewYear->setRange(FirstPreviewYear, LastPreviewYear);
    txtPreviewYear->setGroupSeparatorShown(false);
    const int year = state().CurYear != 0 ? state().CurYear : ui().today().year();
    txtPreviewYear->setValue(qBound(FirstPreviewYear, year, LastPreviewYear));
    lstPreview->setSelectionMode(QAbstractItemView::NoSelection);
    lstPreview->setFocusPolicy(Qt::NoFocus);
    cmdOK->setDefault(true);

    auto* top = new QFormLayout;
    top->addRow(lblName, txtName);
    top->addRow(lblKind, cmbKind);
    auto* fields = fields_ = new QFormLayout;
    fields->addRow(lblDate, dcDate);
    fields->addRow(lblNth, cmbNth);
    fields->addRow(lblWeekday, cmbWeekday);
    fields->addRow(lblMonth, cmbMonth);
    fields->addRow(lblDay, spnDay);
    fields->addRow(lblOffset, spnOffset);
    // As wide as the widest kind's fields, so that the preview stays where it is when the
    // kind changes.
    auto* fraFields = new QWidget(this);
    fraFields->setObjectName(QStringLiteral("fraFields"));
    auto* fieldsColumn = new QVBoxLayout(fraFields);
    fieldsColumn->setContentsMargins(0, 0, 0, 0);
    fieldsColumn->addLayout(fields);
    fieldsColumn->addStretch(1);
    fraFields->setMinimumWidth(fraFields->sizeHint().width());

    auto* preview = new QGroupBox(QStringLiteral("Dates"), this);
    preview->setObjectName(QStringLiteral("fraPreview"));
    auto* yearRow = new QHBoxLayout;
    yearRow->addWidget(lblPreviewYear);
    yearRow->addWidget(txtPreviewYear);
    yearRow->addStretch(1);
    auto* previewLayout = new QVBoxLayout(preview);
    previewLayout->addLayout(yearRow);
    previewLayout->addWidget(lstPreview);
    // Room for the ten dates in the locale's long format without a scroll bar.
    const QFontMetrics metrics(lstPreview->font());
    lstPreview->setMinimumWidth(
        metrics.horizontalAdvance(QLocale().toString(QDate(2000, 9, 27), QLocale::LongFormat)) +
        4 * metrics.averageCharWidth());
    lstPreview->setMinimumHeight(metrics.lineSpacing() * (PreviewYears + 1));

    auto* middle = new QHBoxLayout;
    middle->addWidget(fraFields, 1);
    middle->addWidget(preview);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);

    setTabOrder(txtName, cmbKind);
    setTabOrder(cmbKind, dcDate);
    setTabOrder(dcDate, cmbNth);
    setTabOrder(cmbNth, cmbWeekday);
    setTabOrder(cmbWeekday, cmbMonth);
    setTabOrder(cmbMonth, spnDay);
    setTabOrder(spnDay, spnOffset);
    setTabOrder(spnOffset, txtPreviewYear);
    setTabOrder(txtPreviewYear, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmbKind, &QComboBox::currentIndexChanged, this, &frmHoliday::cmbKind_Click);
    connect(dcDate, &DateField::textChanged, this, &frmHoliday::Fields_Change);
    for (QComboBox* combo : {cmbNth, cmbWeekday, cmbMonth})
        connect(combo, &QComboBox::currentIndexChanged, this, &frmHoliday::Fields_Change);
    for (QSpinBox* spin : {spnDay, spnOffset, txtPreviewYear})
        connect(spin, &QSpinBox::valueChanged, this, &frmHoliday::Fields_Change);
    connect(cmdOK, &QPushButton::clicked, this, &frmHoliday::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmHoliday::cmdCancel_Click);

    setRule(HolidayRule{});
    txtName->setFocus();
}

HolidayKind frmHoliday::kind() const {
    return static_cast<HolidayKind>(qMax(0, cmbKind->currentIndex()));
}

void frmHoliday::setRule(const HolidayRule& rule) {
    txtName->setText(rule.name);
    dcDate->setDate(rule.date);
    cmbNth->setCurrentIndex(qBound(1, rule.nth, 5) - 1);
    cmbWeekday->setCurrentIndex(qBound(1, rule.weekday, 7) - 1);
    cmbMonth->setCurrentIndex(qBound(1, rule.month, 12) - 1);
    spnDay->setValue(rule.day);
    spnOffset->setValue(rule.offset);
    cmbKind->setCurrentIndex(static_cast<int>(rule.kind));
    cmbKind_Click();
}

HolidayRule frmHoliday::rule() const {
    // Only the fields of the chosen kind: a rule keeps nothing of the kinds tried before.
    HolidayRule rule;
    rule.name = txtName->text().trimmed();
    rule.kind = kind();
    switch (rule.kind) {
    case HolidayKind::OneDate:
        rule.date = dcDate->date().value_or(QDate());
        break;
    case HolidayKind::YearlyDate:
        rule.month = cmbMonth->currentIndex() + 1;
        rule.day = spnDay->value();
        break;
    case HolidayKind::NthWeekday:
        rule.nth = cmbNth->currentIndex() + 1;
        [[fallthrough]];
    case HolidayKind::LastWeekday:
        rule.month = cmbMonth->currentIndex() + 1;
        rule.weekday = cmbWeekday->currentIndex() + 1;
        break;
    case HolidayKind::FromEaster:
        rule.offset = spnOffset->value();
        break;
    }
    return rule;
}

QWidget* frmHoliday::firstField() const {
    switch (kind()) {
    case HolidayKind::OneDate:
        return dcDate;
    case HolidayKind::YearlyDate:
        return spnDay;
    case HolidayKind::NthWeekday:
        return cmbNth;
    case HolidayKind::LastWeekday:
        return cmbWeekday;
    case HolidayKind::FromEaster:
        return spnOffset;
    }
    return cmbKind;
}

void frmHoliday::cmbKind_Click() {
    const HolidayKind k = kind();
    const bool monthly = k == HolidayKind::NthWeekday || k == HolidayKind::LastWeekday;
    const std::pair<QWidget*, bool> shown[] = {{dcDate, k == HolidayKind::OneDate},
                                               {cmbNth, k == HolidayKind::NthWeekday},
                                               {cmbWeekday, monthly},
                                               {cmbMonth, monthly || k == HolidayKind::YearlyDate},
                                               {spnDay, k == HolidayKind::YearlyDate},
                                               {spnOffset, k == HolidayKind::FromEaster}};
    for (const auto& [field, visible] : shown)
        fields_->setRowVisible(field, visible);
    Fields_Change();
}

void frmHoliday::Fields_Change() {
    const HolidayRule shown = rule();
    lstPreview->clear();
    const QString problem = holidayRuleProblem(shown);
    if (!problem.isEmpty()) {
        lstPreview->addItem(problem);
        return;
    }
    const int from = txtPreviewYear->value();
    for (int year = from; year < from + PreviewYears; ++year) {
        const std::optional<QDate> date = holidayDate(shown, year);
        lstPreview->addItem(date ? QLocale().toString(*date, QLocale::LongFormat)
                                 : QStringLiteral("No date in %1").arg(year));
    }
}

void frmHoliday::cmdOK_Click() {
    const HolidayRule chosen = rule();
    if (chosen.name.isEmpty()) {
        ui().msgBox(QStringLiteral("Enter a name for the holiday."), MsgButtons::Ok,
                    MsgIcon::Information, DialogTitle);
        txtName->setFocus();
        return;
    }
    const QString problem = holidayRuleProblem(chosen);
    if (!problem.isEmpty()) {
        ui().msgBox(problem, MsgButtons::Ok, MsgIcon::Information, DialogTitle);
        firstField()->setFocus();
        return;
    }
    accept();
}

void frmHoliday::cmdCancel_Click() {
    reject();
}

} // namespace tavrel
