// Holiday rules and interval rules against computations of their own: Easter by Oudin's
// method, weekdays by walking the days of each month, intervals by counting days.
#include "core/intervalrule.h"
#include "core/sitecalendar.h"
#include "data/units.h"
#include "support/tempdatabase.h"

#include <QtTest>

using namespace tavrel;

namespace {

constexpr int FirstCheckedYear = 1901;
constexpr int LastCheckedYear = 2099;

// Easter Sunday by Oudin's algorithm (as the Explanatory Supplement gives it), in integer
// arithmetic unlike the program's.
QDate oudinEaster(int y) {
    const int c = y / 100;
    const int n = y - 19 * (y / 19);
    const int k = (c - 17) / 25;
    int i = c - c / 4 - (c - k) / 3 + 19 * n + 15;
    i = i - 30 * (i / 30);
    i = i - (i / 28) * (1 - (i / 28) * (29 / (i + 1)) * ((21 - n) / 11));
    int j = y + y / 4 + i + 2 - c + c / 4;
    j = j - 7 * (j / 7);
    const int l = i - j;
    const int month = 3 + (l + 40) / 44;
    const int day = l + 28 - 31 * (month / 4);
    return QDate(y, month, day);
}

// The days of a month that are `weekday`, in order, found by looking at each day.
QList<QDate> weekdaysOfMonth(int year, int month, int weekday) {
    QList<QDate> days;
    for (QDate d(year, month, 1); d.month() == month; d = d.addDays(1))
        if (d.dayOfWeek() == weekday)
            days << d;
    return days;
}

HolidayRule rule(HolidayKind kind) {
    HolidayRule r;
    r.kind = kind;
    return r;
}

int monthsApart(const QDate& from, const QDate& to) {
    return (to.year() - from.year()) * 12 + to.month() - from.month();
}

// Whether `d` is a date of `r` counted from its start, decided from the date alone.
bool isOccurrence(const IntervalRule& r, const QDate& d) {
    const QDate s = r.start;
    if (d < s)
        return false;
    switch (r.unit) {
    case IntervalUnit::Weeks:
        return s.daysTo(d) % (7 * r.every) == 0;
    case IntervalUnit::MonthsByDay:
        return monthsApart(s, d) % r.every == 0 && d.day() == qMin(s.day(), d.daysInMonth());
    case IntervalUnit::MonthsByWeekday: {
        if (monthsApart(s, d) % r.every != 0 || d.dayOfWeek() != s.dayOfWeek())
            return false;
        const bool lastOne = s.day() > 28; // the fifth such weekday is its month's last one
        return lastOne ? d.day() + 7 > d.daysInMonth() : (d.day() - 1) / 7 == (s.day() - 1) / 7;
    }
    case IntervalUnit::Years:
        return (d.year() - s.year()) % r.every == 0 && d.month() == s.month() &&
               d.day() == qMin(s.day(), d.daysInMonth());
    case IntervalUnit::None:
        break;
    }
    return false;
}

std::array<QDate, 53> mondaysOf(int year) {
    std::array<QDate, 53> mondays{};
    QDate d(year, 1, 1);
    while (d.dayOfWeek() != 1)
        d = d.addDays(1);
    for (int week = 1; week <= WeeksPerYear; ++week, d = d.addDays(7))
        mondays[week] = d;
    return mondays;
}

} // namespace

class TestSchedulingRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    // Easter and the rules counted from it, the nth and last weekday of every month, and a
    // day every year: every year from 1901 to 2099.
    void holidayRulesOfEveryYear() {
        // A few Easters everyone can look up, before the two methods are compared.
        QCOMPARE(easterSunday(2024), QDate(2024, 3, 31));
        QCOMPARE(easterSunday(2025), QDate(2025, 4, 20));
        QCOMPARE(easterSunday(2027), QDate(2027, 3, 28));
        QCOMPARE(easterSunday(1943), QDate(1943, 4, 25));
        QCOMPARE(easterSunday(2008), QDate(2008, 3, 23));
        QVERIFY(!easterSunday(1500).isValid());
        HolidayRule goodFriday = rule(HolidayKind::FromEaster);
        goodFriday.offset = -2;
        HolidayRule whitMonday = rule(HolidayKind::FromEaster);
        whitMonday.offset = 50;
        for (int year = FirstCheckedYear; year <= LastCheckedYear; ++year) {
            const QDate easter = oudinEaster(year);
            QVERIFY2(easterSunday(year) == easter, qPrintable(QString::number(year)));
            QCOMPARE(holidayDate(goodFriday, year), std::optional(easter.addDays(-2)));
            QCOMPARE(holidayDate(whitMonday, year), std::optional(easter.addDays(50)));
            for (int month = 1; month <= 12; ++month) {
                for (int weekday = 1; weekday <= 7; ++weekday) {
                    const QList<QDate> days = weekdaysOfMonth(year, month, weekday);
                    HolidayRule r = rule(HolidayKind::NthWeekday);
                    r.month = month;
                    r.weekday = weekday;
                    for (r.nth = 1; r.nth <= 5; ++r.nth) {
                        const std::optional<QDate> expected =
                            r.nth <= days.size() ? std::optional(days.at(r.nth - 1)) : std::nullopt;
                        QVERIFY2(holidayDate(r, year) == expected,
                                 qPrintable(QStringLiteral("%1-%2 weekday %3 nth %4")
                                                .arg(year)
                                                .arg(month)
                                                .arg(weekday)
                                                .arg(r.nth)));
                    }
                    r.kind = HolidayKind::LastWeekday;
                    QCOMPARE(holidayDate(r, year), std::optional(days.last()));
                }
            }
            HolidayRule leapDay = rule(HolidayKind::YearlyDate);
            leapDay.month = 2;
            leapDay.day = 29;
            const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
            QCOMPARE(holidayDate(leapDay, year).has_value(), leap);
        }
        HolidayRule once = rule(HolidayKind::OneDate);
        once.date = QDate(2026, 5, 1);
        QCOMPARE(holidayDate(once, 2026), std::optional(QDate(2026, 5, 1)));
        QCOMPARE(holidayDate(once, 2027), std::nullopt);
        // What the window refuses before saving.
        HolidayRule sixth = rule(HolidayKind::NthWeekday);
        sixth.nth = 6;
        QVERIFY(!holidayRuleProblem(sixth).isEmpty());
        HolidayRule thirtyFirst = rule(HolidayKind::YearlyDate);
        thirtyFirst.month = 4;
        thirtyFirst.day = 31;
        QVERIFY(!holidayRuleProblem(thirtyFirst).isEmpty());
        QVERIFY(holidayRuleProblem(goodFriday).isEmpty());
        QCOMPARE(describeHoliday(goodFriday), QStringLiteral("Easter Sunday \u2212 2 days"));
        HolidayRule thanksgiving = rule(HolidayKind::NthWeekday);
        thanksgiving.month = 11;
        thanksgiving.weekday = 4;
        thanksgiving.nth = 4;
        QCOMPARE(describeHoliday(thanksgiving), QStringLiteral("4th Thursday of November"));
    }

    // A week falls due on its first working day; a week without one keeps its Monday; no
    // rules leave every Monday.
    void dueDateOfAWeek() {
        SiteCalendar calendar;
        QVERIFY(!calendar.hasRules());
        QCOMPARE(calendar.dueDateOfWeek(QDate(2026, 4, 6)), QDate(2026, 4, 6));
        HolidayRule easterMonday = rule(HolidayKind::FromEaster);
        easterMonday.offset = 1;
        HolidayRule boxingDay = rule(HolidayKind::YearlyDate);
        boxingDay.month = 12;
        boxingDay.day = 26;
        HolidayRule christmas = boxingDay;
        christmas.day = 25;
        calendar.setHolidays({easterMonday, christmas, boxingDay});
        QVERIFY(calendar.hasRules());
        QCOMPARE(calendar.dueDateOfWeek(QDate(2026, 4, 6)), QDate(2026, 4, 7));
        QCOMPARE(calendar.dueDateOfWeek(QDate(2026, 4, 13)), QDate(2026, 4, 13));
        // 2022: Christmas on a Sunday, Boxing Day the Monday after it.
        QCOMPARE(calendar.dueDateOfWeek(QDate(2022, 12, 26)), QDate(2022, 12, 27));
        // Only Mondays and Tuesdays are worked: a Monday holiday moves to the Tuesday, and a
        // week whose Monday and Tuesday are holidays keeps its Monday.
        calendar.setWorkingWeekdays({true, true, false, false, false, false, false});
        HolidayRule tuesday = rule(HolidayKind::OneDate);
        tuesday.date = QDate(2026, 4, 7);
        calendar.setHolidays({easterMonday, tuesday});
        QCOMPARE(calendar.dueDateOfWeek(QDate(2026, 4, 6)), QDate(2026, 4, 6));
        // Monday off: a week falls due on Tuesday, and that alone is a rule.
        calendar.setHolidays({});
        calendar.setWorkingWeekdays({false, true, true, true, true, false, false});
        QVERIFY(calendar.hasRules());
        QCOMPARE(calendar.dueDateOfWeek(QDate(2026, 4, 13)), QDate(2026, 4, 14));
        // The stored form of the working days, and what a damaged one reads as.
        QCOMPARE(SiteCalendar::weekdaysToText(calendar.workingWeekdays()),
                 QStringLiteral("0111100"));
        QCOMPARE(SiteCalendar::weekdaysFromText(QStringLiteral("0111100")),
                 calendar.workingWeekdays());
        QCOMPARE(SiteCalendar::weekdaysToText(SiteCalendar::weekdaysFromText(QStringLiteral("x"))),
                 QStringLiteral("1111100"));
    }

    // Every starting day of 2023 to 2025, each unit at a few intervals: the dates the rule
    // gives in 2026's weeks against those found by looking at each day of them.
    void intervalDatesAgainstADayCount() {
        const std::array<QDate, 53> mondays = mondaysOf(2026);
        const QDate first = mondays[1];
        const QDate last = mondays[WeeksPerYear].addDays(6);
        const struct {
            IntervalUnit unit;
            int every;
        } rules[] = {{IntervalUnit::Weeks, 1},           {IntervalUnit::Weeks, 3},
                     {IntervalUnit::MonthsByDay, 1},     {IntervalUnit::MonthsByDay, 5},
                     {IntervalUnit::MonthsByWeekday, 1}, {IntervalUnit::MonthsByWeekday, 2},
                     {IntervalUnit::Years, 1},           {IntervalUnit::Years, 2}};
        int checked = 0;
        for (QDate start(2023, 1, 1); start.year() <= 2025; start = start.addDays(1)) {
            for (const auto& [unit, every] : rules) {
                IntervalRule r;
                r.unit = unit;
                r.every = every;
                r.start = start;
                QList<QDate> expected;
                QList<int> expectedWeeks;
                for (QDate d = first; d <= last; d = d.addDays(1)) {
                    if (isOccurrence(r, d)) {
                        expected << d;
                        const int week = int(first.daysTo(d) / 7) + 1;
                        if (!expectedWeeks.contains(week))
                            expectedWeeks << week;
                    }
                }
                const QList<QDate> got = intervalDates(r, start, 0, first, last);
                QVERIFY2(got == expected, qPrintable(QStringLiteral("%1 unit %2 every %3")
                                                         .arg(start.toString(Qt::ISODate))
                                                         .arg(int(unit))
                                                         .arg(every)));
                QCOMPARE(intervalWeeks(r, mondays), expectedWeeks);
                checked += int(expected.size());
            }
        }
        QVERIFY(checked > 50000);
    }

    // A schedule that follows completion counts from the last completion (one interval on),
    // but only once it is on or after the rule's start; a year whose weeks hold no date of
    // the rule has no week.
    void intervalWeeksOfAFollowingSchedule() {
        const std::array<QDate, 53> mondays = mondaysOf(2026); // week 1: 5 January
        IntervalRule r;
        r.unit = IntervalUnit::Weeks;
        r.every = 4;
        r.start = QDate(2026, 1, 7);
        r.followCompletion = true;
        QCOMPARE(intervalWeeks(r, mondays).mid(0, 3), (QList<int>{1, 5, 9}));
        // Done on Friday 16 January: four weeks on is 13 February, in week 6; the week of 7
        // January, before the completion, stays.
        QCOMPARE(intervalWeeks(r, mondays, QDate(2026, 1, 16)).mid(0, 3), (QList<int>{1, 6, 10}));
        QCOMPARE(intervalWeeks(r, mondays, QDate(2025, 12, 1)).mid(0, 3), (QList<int>{1, 5, 9}));
        r.followCompletion = false;
        QCOMPARE(intervalWeeks(r, mondays, QDate(2026, 1, 16)).mid(0, 3), (QList<int>{1, 5, 9}));
        IntervalRule biennial;
        biennial.unit = IntervalUnit::Years;
        biennial.every = 2;
        biennial.start = QDate(2025, 3, 10);
        QVERIFY(intervalWeeks(biennial, mondays).isEmpty());
        QCOMPARE(intervalWeeks(biennial, mondaysOf(2027)), QList<int>{10});
        QCOMPARE(describeIntervalRule(biennial), QStringLiteral("Every 2 years from 3/10/2025"));
    }
};

QTEST_GUILESS_MAIN(TestSchedulingRules)
#include "tst_schedulingrules.moc"
