#include "tasks/presets.h"

#include "data/schema.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QSet>

#include <algorithm>

namespace tavrel {

namespace {

constexpr int HalfYearMonths = 6;
// How far back a day that a month lacks moves (31 -> 29 in a month of 30 days).
constexpr int MissingDayFallback = 2;

// Month `month`, day `day` of `year`, or the last day of that month when the month is too
// short for `day` (29 February in a year that is not a leap year).
QDate dayOrMonthEnd(int year, int month, int day) {
    const int last = QDate(year, month, 1).daysInMonth();
    return QDate(year, month, std::min(day, last));
}

// The target of a month of the monthly presets and of the second date of Semiannual: day
// `day` of the month, or else day `day` - 2. When that still is no date (day 31 in the
// February of a year that is not a leap year gives 29) the month's last day is taken, so
// that every month of the sequence keeps its week rather than being skipped.
QDate monthTarget(int year, int month, int day) {
    if (QDate::isValid(year, month, day))
        return QDate(year, month, day);
    return dayOrMonthEnd(year, month, day - MissingDayFallback);
}

// The months of the monthly presets' sequence for a starting month.
QList<int> presetMonths(DatedPreset preset, int startMonth) {
    int first = 1;
    int step = 1;
    if (preset == DatedPreset::Bimonthly) {
        step = 2;
        first = startMonth % 2 == 1 ? 1 : 2;
    } else if (preset == DatedPreset::Quarterly) {
        step = 3;
        first = (startMonth - 1) % 3 + 1;
    }
    QList<int> months;
    for (int m = first; m <= MonthsPerYear; m += step)
        months << m;
    return months;
}

} // namespace

QList<int> presetWeeks(DatedPreset preset, const QDate& start, int year,
                       const WeekMondays& mondays) {
    if (!start.isValid() || !QDate(year, 1, 1).isValid())
        return {};
    const int day = start.day();
    const int month = start.month();

    QSet<QDate> marked;
    bool markWeekOne = false;
    switch (preset) {
    case DatedPreset::Monthly:
    case DatedPreset::Bimonthly:
    case DatedPreset::Quarterly:
        for (const int m : presetMonths(preset, month)) {
            const QDate monday = MondayOfWeek(monthTarget(year, m, day));
            marked.insert(monday);
            // A target early in January whose week began in December counts as week 1.
            if (monday.year() < year)
                markWeekOne = true;
        }
        break;
    case DatedPreset::Semiannual:
    case DatedPreset::Annual: {
        // The starting day itself; 29 February in a year without it becomes 28 February.
        QDate first = MondayOfWeek(dayOrMonthEnd(year, month, day));
        if (first.year() < year)
            first = first.addDays(DaysPerWeek); // the first Monday of the year: week 1
        marked.insert(first);
        if (preset == DatedPreset::Semiannual) {
            int second = month + HalfYearMonths;
            if (second > MonthsPerYear)
                second -= MonthsPerYear;
            // No 7-day correction here: a second date in the week that began in December
            // marks nothing.
            marked.insert(MondayOfWeek(monthTarget(year, second, day)));
        }
        break;
    }
    }

    QList<int> weeks;
    for (int week = 1; week <= WeeksPerYear; ++week) {
        if (marked.contains(mondays[week]) || (week == 1 && markWeekOne))
            weeks << week;
    }
    return weeks;
}

} // namespace tavrel
