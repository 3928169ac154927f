#include "calendar/holidayimport.h"

#include <QDir>
#include <QFile>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

namespace tavrel {

namespace {

struct ComponentFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

// An all-day event longer than this is a mistake, not a closure: it gives its first day only.
constexpr int LongestEventDays = 366;
// A recurrence gives at most this many dates (one a day for the years it is taken for).
constexpr int MostRecurrenceDates = ImportedRecurrenceYears * 366;

const QString UnnamedHoliday = QStringLiteral("Holiday");

// Entries of one of libical's BY arrays, which end at ICAL_RECURRENCE_ARRAY_MAX.
template <std::size_t N> int entries(const short (&values)[N]) {
    int n = 0;
    while (n < int(N) && values[n] != ICAL_RECURRENCE_ARRAY_MAX)
        ++n;
    return n;
}

QDate dateOf(const icaltimetype& t) {
    return QDate(t.year, t.month, t.day);
}

// libical counts the weekdays from Sunday (1) to Saturday (7); the rules from Monday.
int mondayFirst(icalrecurrencetype_weekday day) {
    return day == ICAL_SUNDAY_WEEKDAY ? 7 : int(day) - 1;
}

HolidayRule oneDate(const QString& name, const QDate& date) {
    HolidayRule rule;
    rule.name = name;
    rule.kind = HolidayKind::OneDate;
    rule.date = date;
    return rule;
}

// The rule a yearly recurrence stands for, when one does: every year, no end, no BY part
// other than one month with one day of it or one nth (or last) weekday.
std::optional<HolidayRule> yearlyRule(const icalrecurrencetype& r, const QDate& start,
                                      const QString& name) {
    if (r.freq != ICAL_YEARLY_RECURRENCE || r.interval > 1 || r.count > 0 ||
        !icaltime_is_null_time(r.until) || entries(r.by_second) || entries(r.by_minute) ||
        entries(r.by_hour) || entries(r.by_year_day) || entries(r.by_week_no) ||
        entries(r.by_set_pos) || (r.rscale && *r.rscale))
        return std::nullopt;
    const int months = entries(r.by_month);
    const int monthDays = entries(r.by_month_day);
    const int days = entries(r.by_day);
    HolidayRule rule;
    rule.name = name;
    if (months == 0 && monthDays == 0 && days == 0) {
        rule.kind = HolidayKind::YearlyDate;
        rule.month = start.month();
        rule.day = start.day();
        return rule;
    }
    if (months != 1 || icalrecurrencetype_month_is_leap(r.by_month[0]))
        return std::nullopt;
    rule.month = icalrecurrencetype_month_month(r.by_month[0]);
    if (monthDays == 1 && days == 0 && r.by_month_day[0] > 0) {
        rule.kind = HolidayKind::YearlyDate;
        rule.day = r.by_month_day[0];
    } else if (monthDays == 0 && days == 1) {
        const int position = icalrecurrencetype_day_position(r.by_day[0]);
        rule.weekday = mondayFirst(icalrecurrencetype_day_day_of_week(r.by_day[0]));
        if (position >= 1 && position <= 5) {
            rule.kind = HolidayKind::NthWeekday;
            rule.nth = position;
        } else if (position == -1) {
            rule.kind = HolidayKind::LastWeekday;
        } else {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (!holidayRuleProblem(rule).isEmpty())
        return std::nullopt;
    return rule;
}

// The dates of a recurrence no rule expresses: those of the year it starts in and of the
// following years, up to ImportedRecurrenceYears years, less its exceptions.
QList<QDate> recurrenceDates(const icalrecurrencetype& r, const icaltimetype& start,
                             const QList<QDate>& exceptions) {
    QList<QDate> dates;
    icalrecur_iterator* it = icalrecur_iterator_new(r, start);
    if (!it)
        return dates;
    const int lastYear = start.year + ImportedRecurrenceYears - 1;
    int taken = 0;
    for (icaltimetype t = icalrecur_iterator_next(it);
         !icaltime_is_null_time(t) && t.year <= lastYear && taken < MostRecurrenceDates;
         t = icalrecur_iterator_next(it), ++taken) {
        const QDate date = dateOf(t);
        if (date.isValid() && !exceptions.contains(date) && !dates.contains(date))
            dates << date;
    }
    icalrecur_iterator_free(it);
    return dates;
}

QList<QDate> datesOfProperty(icalcomponent* event, icalproperty_kind kind) {
    QList<QDate> dates;
    for (icalproperty* p = icalcomponent_get_first_property(event, kind); p;
         p = icalcomponent_get_next_property(event, kind)) {
        const icaltimetype t = kind == ICAL_EXDATE_PROPERTY ? icalproperty_get_exdate(p)
                                                            : icalproperty_get_rdate(p).time;
        if (!icaltime_is_null_time(t) && dateOf(t).isValid())
            dates << dateOf(t);
    }
    return dates;
}

// The holidays one event gives.
QList<HolidayRule> holidaysOfEvent(icalcomponent* event) {
    QList<HolidayRule> found;
    const icaltimetype start = icalcomponent_get_dtstart(event);
    if (icaltime_is_null_time(start) || !dateOf(start).isValid())
        return found;
    const QDate first = dateOf(start);
    QString name = QString::fromUtf8(icalcomponent_get_summary(event)).simplified();
    if (name.isEmpty())
        name = UnnamedHoliday;

    const QList<QDate> exceptions = datesOfProperty(event, ICAL_EXDATE_PROPERTY);
    icalproperty* rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
    if (rrule) {
        const icalrecurrencetype r = icalproperty_get_rrule(rrule);
        const std::optional<HolidayRule> yearly =
            exceptions.isEmpty() ? yearlyRule(r, first, name) : std::nullopt;
        if (yearly)
            found << *yearly;
        else
            for (const QDate& date : recurrenceDates(r, start, exceptions))
                found << oneDate(name, date);
    } else {
        // An all-day event ends on the day after its last one.
        const icaltimetype end = icalcomponent_get_dtend(event);
        const int days = start.is_date && !icaltime_is_null_time(end) && dateOf(end).isValid()
                             ? int(first.daysTo(dateOf(end)))
                             : 1;
        for (int day = 0; day < (days >= 1 && days <= LongestEventDays ? days : 1); ++day)
            found << oneDate(name, first.addDays(day));
    }
    for (const QDate& date : datesOfProperty(event, ICAL_RDATE_PROPERTY))
        if (!exceptions.contains(date))
            found << oneDate(name, date);
    return found;
}

} // namespace

HolidayFileRead readHolidayFile(const QString& path) {
    HolidayFileRead read;
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error =
            QStringLiteral("The file %1 cannot be read: %2.").arg(shown, file.errorString());
        return read;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString notCalendar = QStringLiteral("The file %1 is not an iCalendar file.").arg(shown);
    Component root(icalparser_parse_string(bytes.constData()));
    if (!root) {
        read.error = notCalendar;
        return read;
    }
    // Several calendars in one file come inside a root of libical's own.
    QList<icalcomponent*> calendars;
    if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT)
        calendars << root.get();
    else
        for (icalcomponent* c =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             c; c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT))
            calendars << c;
    if (calendars.isEmpty()) {
        read.error = notCalendar;
        return read;
    }
    for (icalcomponent* calendar : calendars)
        for (icalcomponent* event =
                 icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
             event; event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
            read.holidays << holidaysOfEvent(event);
    if (read.holidays.isEmpty())
        read.error = QStringLiteral("The file %1 holds no events with a date.").arg(shown);
    return read;
}

bool sameHolidayRule(const HolidayRule& a, const HolidayRule& b) {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case HolidayKind::OneDate:
        return a.date == b.date;
    case HolidayKind::YearlyDate:
        return a.month == b.month && a.day == b.day;
    case HolidayKind::NthWeekday:
        return a.month == b.month && a.weekday == b.weekday && a.nth == b.nth;
    case HolidayKind::LastWeekday:
        return a.month == b.month && a.weekday == b.weekday;
    case HolidayKind::FromEaster:
        return a.offset == b.offset;
    }
    return false;
}

QList<HolidayRule> newHolidays(const QList<HolidayRule>& existing,
                               const QList<HolidayRule>& found) {
    QList<HolidayRule> added;
    const auto known = [](const QList<HolidayRule>& rules, const HolidayRule& rule) {
        return std::any_of(rules.begin(), rules.end(),
                           [&rule](const HolidayRule& r) { return sameHolidayRule(r, rule); });
    };
    for (const HolidayRule& rule : found)
        if (!known(existing, rule) && !known(added, rule))
            added << rule;
    return added;
}

} // namespace tavrel
