#include "calendar/frmholidays.h"

#include "calendar/frmholiday.h"
#include "calendar/holidayimport.h"
#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tavrel {

namespace {

const QString DialogTitle = QStringLiteral("Working Days and Holidays");
const QString ImportTitle = QStringLiteral("Import Holidays");
const QString CalendarFilter = QStringLiteral("iCalendar Files (*.ics)|*.ics|All Files (*.*)|*.*");

// `caption` with an access key on its first letter that no other control of the window
// uses yet (then on a later letter; none when every letter is taken), noted in `taken`.
QString withAccessKey(QString caption, QSet<QChar>& taken) {
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar letter = caption.at(i).toLower();
        if (caption.at(i) == QLatin1Char('&')) {
            ++i; // the second of a doubled ampersand
            continue;
        }
        if (!letter.isLetter() || taken.contains(letter))
            continue;
        taken.insert(letter);
        caption.insert(i, QLatin1Char('&'));
        break;
    }
    return caption;
}

} // namespace

frmHolidays::frmHolidays(QWidget* parent)
    : QDialog(parent)
    , fraWorkdays(new QGroupBox(QStringLiteral("Working Days"), this))
    , lblHolidays(new QLabel(QStringLiteral("&Holidays"), this))
    , lstHolidays(new QTreeWidget(this))
    , cmdAdd(new QPushButton(QStringLiteral("&Add..."), this))
    , cmdEdit(new QPushButton(QStringLiteral("&Edit..."), this))
    , cmdDelete(new QPushButton(QStringLiteral("De&lete"), this))
    , cmdImport(new QPushButton(QStringLiteral("&Import .ics..."), this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("frmHolidays"));
    setWindowTitle(DialogTitle);
    fraWorkdays->setObjectName(QStringLiteral("fraWorkdays"));
    lblHolidays->setObjectName(QStringLiteral("lblHolidays"));
    lstHolidays->setObjectName(QStringLiteral("lstHolidays"));
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdEdit->setObjectName(QStringLiteral("cmdEdit"));
    cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    // The days' access keys keep clear of those of the other controls.
    QSet<QChar> taken{QLatin1Char('h'), QLatin1Char('a'), QLatin1Char('e'), QLatin1Char('l'),
                      QLatin1Char('i')};
    auto* days = new QHBoxLayout(fraWorkdays);
    for (int day = 1; day <= 7; ++day) {
        chkWorkday[day] = new QCheckBox(
            withAccessKey(QLocale().dayName(day, QLocale::LongFormat), taken), fraWorkdays);
        chkWorkday[day]->setObjectName(QStringLiteral("chkWorkday%1").arg(day));
        days->addWidget(chkWorkday[day]);
    }
    days->addStretch(1);

    lblHolidays->setBuddy(lstHolidays);
    lstHolidays->setColumnCount(2);
    lstHolidays->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("When")});
    lstHolidays->setRootIsDecorated(false);
    lstHolidays->setUniformRowHeights(true);
    lstHolidays->setAllColumnsShowFocus(true);
    lstHolidays->setSelectionMode(QAbstractItemView::SingleSelection);
    lstHolidays->header()->setStretchLastSection(true);
    lstHolidays->header()->setSectionsMovable(false);
    lstHolidays->setColumnWidth(0, fontMetrics().averageCharWidth() * 28);
    lstHolidays->setMinimumSize(fontMetrics().averageCharWidth() * 64,
                                fontMetrics().lineSpacing() * 12);
    lstHolidays->installEventFilter(this);
    cmdOK->setDefault(true);

    auto* side = new QVBoxLayout;
    side->addWidget(cmdAdd);
    side->addWidget(cmdEdit);
    side->addWidget(cmdDelete);
    side->addSpacing(fontMetrics().lineSpacing());
    side->addWidget(cmdImport);
    side->addStretch(1);
    auto* list = new QGridLayout;
    list->addWidget(lblHolidays, 0, 0);
    list->addWidget(lstHolidays, 1, 0);
    list->addLayout(side, 1, 1);
    list->setRowStretch(1, 1);
    list->setColumnStretch(0, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraWorkdays);
    layout->addLayout(list, 1);
    layout->addWidget(buttons);

    QWidget* previous = chkWorkday[1];
    for (QWidget* next : std::initializer_list<QWidget*>{
             chkWorkday[2], chkWorkday[3], chkWorkday[4], chkWorkday[5], chkWorkday[6],
             chkWorkday[7], lstHolidays, cmdAdd, cmdEdit, cmdDelete, cmdImport, cmdOK, cmdCancel}) {
        setTabOrder(previous, next);
        previous = next;
    }

    connect(lstHolidays, &QTreeWidget::currentItemChanged, this, &frmHolidays::lstHolidays_Click);
    connect(lstHolidays, &QTreeWidget::itemDoubleClicked, this, &frmHolidays::lstHolidays_DblClick);
    connect(cmdAdd, &QPushButton::clicked, this, &frmHolidays::cmdAdd_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmHolidays::cmdEdit_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmHolidays::cmdDelete_Click);
    connect(cmdImport, &QPushButton::clicked, this, &frmHolidays::cmdImport_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmHolidays::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmHolidays::cmdCancel_Click);

    Form_Load();
}

void frmHolidays::Form_Load() {
    {
        ErrorTrap trap;
        stored_ = loadSiteCalendar(state().dbMain);
    }
    for (int day = 1; day <= 7; ++day)
        chkWorkday[day]->setChecked(stored_.workingWeekdays()[day - 1]);
    holidays_ = stored_.holidays();
    fillList(holidays_.isEmpty() ? -1 : 0);
    lstHolidays->setFocus();
}

bool frmHolidays::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a holiday edits it; the list would otherwise pass the key on to OK.
    if (watched == lstHolidays && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && currentRow() >= 0) {
            guardedCall([this] { lstHolidays_DblClick(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

SiteCalendar frmHolidays::shownCalendar() const {
    SiteCalendar calendar;
    std::array<bool, 7> working{};
    for (int day = 1; day <= 7; ++day)
        working[day - 1] = chkWorkday[day]->isChecked();
    calendar.setWorkingWeekdays(working);
    calendar.setHolidays(holidays_);
    return calendar;
}

bool frmHolidays::changed() const {
    const SiteCalendar shown = shownCalendar();
    return shown.workingWeekdays() != stored_.workingWeekdays() ||
           shown.holidays() != stored_.holidays();
}

int frmHolidays::currentRow() const {
    QTreeWidgetItem* item = lstHolidays->currentItem();
    return item ? lstHolidays->indexOfTopLevelItem(item) : -1;
}

void frmHolidays::fillList(int current) {
    lstHolidays->clear();
    QList<QTreeWidgetItem*> items;
    for (const HolidayRule& rule : holidays_)
        items << new QTreeWidgetItem(QStringList{rule.name, describeHoliday(rule)});
    lstHolidays->addTopLevelItems(items);
    if (current >= 0 && current < items.size()) {
        lstHolidays->setCurrentItem(items[current]);
        lstHolidays->scrollToItem(items[current]);
    }
    lstHolidays_Click();
}

void frmHolidays::lstHolidays_Click() {
    const bool chosen = currentRow() >= 0;
    cmdEdit->setEnabled(chosen);
    cmdDelete->setEnabled(chosen);
}

void frmHolidays::lstHolidays_DblClick() {
    cmdEdit_Click();
}

void frmHolidays::cmdAdd_Click() {
    frmHoliday dialog(this);
    if (ui().showModal(&dialog) != QDialog::Accepted)
        return;
    holidays_ << dialog.rule();
    fillList(int(holidays_.size()) - 1);
    lstHolidays->setFocus();
}

void frmHolidays::cmdEdit_Click() {
    const int row = currentRow();
    if (row < 0)
        return;
    frmHoliday dialog(this);
    dialog.setRule(holidays_[row]);
    if (ui().showModal(&dialog) != QDialog::Accepted)
        return;
    holidays_[row] = dialog.rule();
    fillList(row);
    lstHolidays->setFocus();
}

void frmHolidays::cmdDelete_Click() {
    const int row = currentRow();
    if (row < 0)
        return;
    if (ui().msgBox(QStringLiteral("Delete the holiday %1 (%2)?")
                        .arg(holidays_[row].name, describeHoliday(holidays_[row])),
                    MsgButtons::YesNo, MsgIcon::Question, DialogTitle) != MsgResult::Yes)
        return;
    holidays_.removeAt(row);
    fillList(qMin(row, int(holidays_.size()) - 1));
    lstHolidays->setFocus();
}

void frmHolidays::cmdImport_Click() {
    QString path;
    {
        ErrorTrap trap;
        state().Cancelled = false;
        path = commonFileDialog(FileDialogMode::Open, this, ImportTitle, CalendarFilter);
        if (state().Cancelled || path.isEmpty())
            return;
    }
    const HolidayFileRead read = readHolidayFile(path);
    if (!read.error.isEmpty()) {
        ui().msgBox(read.error, MsgButtons::Ok, MsgIcon::Information, ImportTitle);
        return;
    }
    const QList<HolidayRule> added = newHolidays(holidays_, read.holidays);
    const int firstNew = int(holidays_.size());
    holidays_ << added;
    fillList(added.isEmpty() ? currentRow() : firstNew);
    const qsizetype known = read.holidays.size() - added.size();
    const QString file = QDir::toNativeSeparators(path);
    QString text = added.size() == 1
                       ? QStringLiteral("1 holiday added from %1.").arg(file)
                       : QStringLiteral("%1 holidays added from %2.").arg(added.size()).arg(file);
    if (known > 0)
        text += known == 1 ? QStringLiteral(" 1 was already in the list.")
                           : QStringLiteral(" %1 were already in the list.").arg(known);
    ui().msgBox(text, MsgButtons::Ok, MsgIcon::Information, ImportTitle);
    lstHolidays->setFocus();
}

void frmHolidays::cmdOK_Click() {
    const SiteCalendar calendar = shownCalendar();
    {
        // A failure is shown by the trap; the window stays open with everything in it.
        ErrorTrap trap;
        // The year's open assignments still to come that the new calendar would date
        // otherwise: moved with the calendar when the user wishes.
        QList<WeekRedate> redate =
            weeksToRedate(stored_, calendar, state().WeekDates, ui().today());
        const int open = redate.isEmpty() ? 0 : assignmentsToRedate(state().dbMain, redate);
        if (open > 0) {
            const MsgResult answer = ui().msgBox(
                (open == 1 ? QStringLiteral("1 open assignment from today on falls on a "
                                            "different day under these working days and "
                                            "holidays. Do you wish to move it to its week's "
                                            "new due date?")
                           : QStringLiteral("%1 open assignments from today on fall on a "
                                            "different day under these working days and "
                                            "holidays. Do you wish to move them to their "
                                            "week's new due date?")
                                 .arg(QLocale().toString(open))),
                MsgButtons::YesNoCancel, MsgIcon::Question,
                QStringLiteral("Working Days and Holidays"));
            if (answer == MsgResult::Cancel)
                return;
            if (answer != MsgResult::Yes)
                redate.clear();
        } else {
            redate.clear();
        }
        if (!saveSiteCalendar(state().dbMain, calendar, redate))
            return;
    }
    stored_ = calendar;
    accept();
}

void frmHolidays::cmdCancel_Click() {
    reject();
}

void frmHolidays::reject() {
    if (changed() &&
        ui().msgBox(QStringLiteral("Discard your changes to the working days and holidays?"),
                    MsgButtons::YesNo, MsgIcon::Question, DialogTitle, {},
                    MsgResult::No) != MsgResult::Yes)
        return;
    QDialog::reject();
}

void installHolidays(frmMain& window) {
    window.installCommand(window.mnuHolidays, [&window] {
        frmHolidays dialog(&window);
        ui().showModal(&dialog);
    });
}

} // namespace tavrel
