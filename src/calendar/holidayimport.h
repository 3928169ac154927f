#pragma once

#include "core/sitecalendar.h"

#include <QList>
#include <QString>

namespace tavrel {

// The holidays an iCalendar file holds, or why it gave none.
struct HolidayFileRead {
    QList<HolidayRule> holidays;
    QString error; // empty when the file was read and held at least one event
};

// How many years an event's recurrence that no holiday rule expresses is taken for, from the
// year of its first date on: that year and the next ten.
inline constexpr int ImportedRecurrenceYears = 11;

// Reads the events of the iCalendar file at `path` as holidays, each named by its SUMMARY:
// - no RRULE: one date for each day it covers (an all-day event over several days gives
//   each of them; a timed event its start's day);
// - FREQ=YEARLY with one BYMONTH and one BYMONTHDAY, or with no BY part at all (the day of
//   DTSTART every year): the same day every year;
// - FREQ=YEARLY with one BYMONTH and one BYDAY=nXX (n 1 to 5): the nth weekday of the
//   month; BYDAY=-1XX: its last weekday;
// - any other recurrence (another frequency, an interval, a count or end, several months or
//   days, a position counted from the end other than the last): its dates in the year of
//   DTSTART and the next ten years, each as one date.
// A file that cannot be read, is no iCalendar file or holds no event gives the error.
HolidayFileRead readHolidayFile(const QString& path);

// Whether two rules give the same days in every year (their names aside): the fields their
// kind uses are equal.
bool sameHolidayRule(const HolidayRule& a, const HolidayRule& b);

// The rules of `found` that are not already in `existing` (nor earlier in `found`), in order.
QList<HolidayRule> newHolidays(const QList<HolidayRule>& existing, const QList<HolidayRule>& found);

} // namespace tavrel
