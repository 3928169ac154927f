#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "support/datarows.h"
#include "support/editorfixture.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "tasks/presets.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr int Weeks = 52;

// The Mondays of `year`'s weeks: week 1 begins on the year's first Monday.
WeekMondays mondaysOf(int year) {
    WeekMondays mondays{};
    QDate monday(year, 1, 1);
    while (monday.dayOfWeek() != Qt::Monday)
        monday = monday.addDays(1);
    for (int week = 1; week <= Weeks; ++week)
        mondays[week] = monday.addDays(7 * (week - 1));
    return mondays;
}

// Day `day` of a month, or else day `day` - 2, or else the month's last day.
QDate dayInMonth(int year, int month, int day, bool fallBack) {
    const int last = QDate(year, month, 1).daysInMonth();
    if (day > last && fallBack)
        day -= 2;
    return QDate(year, month, std::min(day, last));
}

// The week (1 to 52) of `date` counted in days from `weekOne`, the first Monday of the
// year: a Sunday counts with the next day; 0 is the week before week 1 and 53 the week
// after week 52.
int weekOf(const QDate& date, const QDate& weekOne) {
    const qint64 days = weekOne.daysTo(date) + 1;
    const qint64 week = days >= 0 ? days / 7 : (days - 6) / 7;
    return int(week) + 1;
}

// What each preset marks, worked out by counting days rather than comparing Mondays.
QList<int> expectedWeeks(DatedPreset preset, const QDate& start, int year, const QDate& weekOne) {
    QList<int> months;
    switch (preset) {
    case DatedPreset::Monthly:
        months = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        break;
    case DatedPreset::Bimonthly:
        for (int m = 2 - start.month() % 2; m <= 12; m += 2)
            months << m;
        break;
    case DatedPreset::Quarterly:
        for (int m = (start.month() + 2) % 3 + 1; m <= 12; m += 3)
            months << m;
        break;
    case DatedPreset::Semiannual:
    case DatedPreset::Annual:
        break;
    }
    QSet<int> weeks;
    for (const int m : months) {
        const int week = weekOf(dayInMonth(year, m, start.day(), true), weekOne);
        weeks << std::max(week, 1);
    }
    if (preset == DatedPreset::Semiannual || preset == DatedPreset::Annual) {
        weeks << std::max(weekOf(dayInMonth(year, start.month(), start.day(), false), weekOne), 1);
        if (preset == DatedPreset::Semiannual) {
            const int second = (start.month() + 5) % 12 + 1;
            weeks << weekOf(dayInMonth(year, second, start.day(), true), weekOne);
        }
    }
    QList<int> sorted;
    for (int week = 1; week <= Weeks; ++week) {
        if (weeks.contains(week))
            sorted << week;
    }
    return sorted;
}

// Two tasks; the first is scheduled in weeks 3 and 4.
const QString SampleSql = QStringLiteral(R"(
INSERT INTO tasks (taskname) VALUES ('Boiler inspection'), ('Check extinguishers');
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 3), (1, 4);
)");

const QString StartCaption = QStringLiteral("Select Starting Date for Assignments");

// A dialog driver that types `text` as the starting date and presses OK.
std::function<void(QDialog*)> enterDate(const QString& text) {
    return [text](QDialog* dialog) {
        dialog->findChild<DateField*>("dcStartDate")->setText(text);
        dialog->findChild<QPushButton*>("cmdOK")->click();
    };
}

} // namespace

// Tests of the frequency presets: the weeks each marks, and the task editor's buttons.
class TstPresets : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedUi> scripted;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        scripted = std::make_unique<ScriptedUi>();
        scripted->setToday(QDate(2005, 7, 4));
    }
    void cleanup() { scripted.reset(); }

    void presetWeeks_data() {
        addColumns<DatedPreset, int, QDate, QList<int>>("preset", "year", "start", "weeks");

        const auto row = [](const char* name, DatedPreset preset, int year, QDate start,
                            QList<int> weeks) { addRow(name, preset, year, start, weeks); };
        using enum DatedPreset;
        // A few rows worked out by hand pin the rules the sweep's count of days shares.
        // The 31st falls back to the 29th in months of 30 days; 30 April 2006 is a Sunday,
        // so the 29th (week 17) and the month's last day (week 18) differ. 31 December 2006
        // is a Sunday whose Monday is in 2007: no December week.
        row("monthly 31st, 2006 (d - 2)", Monthly, 2006, {2006, 1, 31},
            {5, 9, 13, 17, 22, 26, 31, 35, 39, 44, 48});
        row("semiannual 15 Dec (wraps to June)", Semiannual, 2005, {2005, 12, 15}, {24, 50});
        // Monday 31 December 2007 is no week's Monday.
        row("annual 31 Dec 2007", Annual, 2007, {2007, 12, 31}, {});
        row("annual 1 Jan 2003 (7 days on)", Annual, 2003, {2003, 1, 1}, {1});
    }
    void presetWeeks() {
        QFETCH(DatedPreset, preset);
        QFETCH(int, year);
        QFETCH(QDate, start);
        QFETCH(QList<int>, weeks);
        QCOMPARE(tavrel::presetWeeks(preset, start, year, mondaysOf(year)), weeks);
    }

    // Every starting day of a leap year, in every year from 1901 to 2099, against a count
    // of days from the first Monday of the year.
    void everyStartingDay() {
        using enum DatedPreset;
        for (int year = 1901; year <= 2099; ++year) {
            const WeekMondays mondays = mondaysOf(year);
            for (QDate start(2004, 1, 1); start.year() == 2004; start = start.addDays(1)) {
                for (const DatedPreset preset :
                     {Monthly, Bimonthly, Quarterly, Semiannual, Annual}) {
                    const QList<int> expected = expectedWeeks(preset, start, year, mondays[1]);
                    if (tavrel::presetWeeks(preset, start, year, mondays) != expected)
                        QFAIL(qPrintable(QStringLiteral("preset %1 in %2 from %3")
                                             .arg(int(preset))
                                             .arg(year)
                                             .arg(start.toString(Qt::ISODate))));
                }
            }
        }
    }

    // A question answered No, or the starting date cancelled, leaves the marks and the
    // browse mode as they were.
    void declined_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("question"); // or else the starting date is asked for
        addRow("weekly", "cmdWeekly", true);
        addRow("clear all", "cmdClearAll", true);
        // The dated presets share one dialog; which preset each button runs is accepted's.
        addRow("monthly", "cmdMonthly", false);
    }
    void declined() {
        QFETCH(QString, button);
        QFETCH(bool, question);
        TaskEditorFixture e(SampleSql);
        scripted->answer(MsgResult::No);
        scripted->onModal(
            [](QDialog* dialog) { dialog->findChild<QPushButton*>("cmdCancel")->click(); });
        QTest::mouseClick(e.w<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
        QCOMPARE(scripted->modalTitles.size(), question ? 0 : 1);
        QCOMPARE(scripted->messages.size(), question ? 1 : 0);
        QCOMPARE(e.markedWeeks(), (QList<int>{3, 4}));
        QCOMPARE(e.mode(), "browse");
        QVERIFY(!e.editor->WeeksChanged);
    }

    // A preset replaces the marks, enters edit mode, and Update stores the weeks.
    void accepted_data() {
        addColumns<QString, QString, QList<int>>("button", "date", "weeks");
        QList<int> all;
        for (int week = 1; week <= Weeks; ++week)
            all << week;
        const auto row = [](const char* button, const char* date, const QList<int>& weeks) {
            addRow(button, QString::fromLatin1(button), QString::fromLatin1(date), weeks);
        };
        row("cmdWeekly", "", all);
        row("cmdClearAll", "", {});
        row("cmdMonthly", "3/15/2005", {2, 7, 11, 15, 20, 24, 28, 33, 37, 41, 46, 50});
        row("cmdBimonthly", "4/10/2005", {6, 15, 23, 32, 41, 49});
        row("cmdQuarterly", "12/5/2005", {9, 23, 36, 49});
        row("cmdSemiannual", "12/15/2005", {24, 50});
        row("cmdAnnual", "12/20/2005", {51});
    }
    void accepted() {
        QFETCH(QString, button);
        QFETCH(QString, date);
        QFETCH(QList<int>, weeks);
        TaskEditorFixture e(SampleSql);
        if (date.isEmpty())
            scripted->answer(MsgResult::Yes);
        else
            scripted->onModal(enterDate(date));
        QTest::mouseClick(e.w<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
        if (!date.isEmpty())
            QCOMPARE(scripted->modalTitles, QStringList{StartCaption});
        QCOMPARE(e.markedWeeks(), weeks);
        QCOMPARE(e.mode(), "edit");
        QVERIFY(e.editor->WeeksChanged);
        QCOMPARE(e.storedWeeks(1), (QList<int>{3, 4})); // nothing written yet

        QTest::mouseClick(e.editor->cmdUpdate, Qt::LeftButton);
        QCOMPARE(e.storedWeeks(1), weeks);
        QCOMPARE(e.mode(), "browse");
        QVERIFY(!e.editor->WeeksChanged);
    }
};

QTEST_MAIN(TstPresets)
#include "tst_presets.moc"
