#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace tavrel {

class Database;

// How a holiday's date is found (the numbers are those stored in holidays.holkind).
enum class HolidayKind : int {
    OneDate = 0,     // one day, in one year: `date`
    YearlyDate = 1,  // the same day every year: `month`, `day`
    NthWeekday = 2,  // the `nth` `weekday` of `month` (1 to 5; the fifth is not in every year)
    LastWeekday = 3, // the last `weekday` of `month`
    FromEaster = 4,  // `offset` days after Easter Sunday (before it when negative)
};

// A holiday of the site: a day on which no maintenance falls due.
struct HolidayRule {
    QString name;
    HolidayKind kind = HolidayKind::OneDate;
    QDate date;
    int month = 1;
    int day = 1;
    int weekday = 1; // 1 Monday to 7 Sunday
    int nth = 1;
    int offset = 0;

    bool operator==(const HolidayRule&) const = default;
};

// 1st, 2nd, 3rd, 4th ... as the rules are written out.
QString ordinal(int n);

// Easter Sunday of `year` in the Gregorian calendar (the Western churches' Easter); valid
// for every year from 1583 on, invalid before.
QDate easterSunday(int year);

// The day `rule` gives in `year`, or none: a rule for one date in another year, 29 February
// in a common year, a fifth weekday the month does not have, a year before 1583 for Easter.
std::optional<QDate> holidayDate(const HolidayRule& rule, int year);

// A rule in words, as the calendar window lists it: "25 December every year", "3rd Monday of
// January", "Last Monday of May", "Easter Sunday + 1 day", "1 May 2026" (dates in the user's
// long format without the weekday).
QString describeHoliday(const HolidayRule& rule);

// Whether `rule` can give a date at all: a valid date, month, day and weekday, nth 1 to 5,
// an offset within a year of Easter. Empty when it can, or what is wrong with it.
QString holidayRuleProblem(const HolidayRule& rule);

// The site's calendar: its working weekdays and its holidays. A due date that is not a
// working day moves to the next working day of the same week (Monday to Sunday); a week
// without one keeps its Monday.
class SiteCalendar {
public:
    // Monday to Friday working, no holidays: every week's due date is its Monday.
    SiteCalendar();

    // Working weekdays as stored in settings.workdays: seven characters, Monday first, '1'
    // for a working day. Anything else (empty, too short) is Monday to Friday.
    static std::array<bool, 7> weekdaysFromText(const QString& text);
    static QString weekdaysToText(const std::array<bool, 7>& working);

    const std::array<bool, 7>& workingWeekdays() const { return working_; }
    void setWorkingWeekdays(const std::array<bool, 7>& working);
    const QList<HolidayRule>& holidays() const { return holidays_; }
    void setHolidays(const QList<HolidayRule>& holidays);

    // True when some week's due date can be other than its Monday: Monday is no working day,
    // or there is a holiday. Without rules every date is exactly the week grid's.
    bool hasRules() const;

    bool isWorkingDay(const QDate& date) const;
    // The day a week that begins on `monday` falls due: the first working day from Monday to
    // Sunday, or Monday itself when none of them is.
    QDate dueDateOfWeek(const QDate& monday) const;

private:
    // The holidays of `year`, each date once, in order; worked out once per year.
    const QList<QDate>& cachedHolidays(int year) const;
    bool isHoliday(const QDate& date) const;

    std::array<bool, 7> working_;
    QList<HolidayRule> holidays_;
    mutable QHash<int, QList<QDate>> byYear_;
};

// The calendar stored in `db` (settings.workdays and the holidays table). A site without the
// columns yet, or one whose calendar cannot be read, has the default calendar; the failure
// goes to the trap in force.
SiteCalendar loadSiteCalendar(Database& db);

// A week whose open assignments fall due on another day under a new calendar: those due on
// `from` (the week's due date under the old calendar) move to `to`.
struct WeekRedate {
    int week = 0;
    QDate from;
    QDate to;
};

// The weeks of the year whose Mondays are `mondays` (index 1 to 52) whose due date changes
// from `before` to `after`, both days being `today` or later: the past stays as it was.
QList<WeekRedate> weeksToRedate(const SiteCalendar& before, const SiteCalendar& after,
                                const std::array<QDate, 53>& mondays, const QDate& today);

// How many open scheduled assignments of `weeks` are due on their week's old date (one moved
// by hand to another day keeps it). Failures go to the trap in force and count nothing.
int assignmentsToRedate(Database& db, const QList<WeekRedate>& weeks);

// Stores `calendar` in `db`, replacing the holidays there, and moves the open assignments of
// `redate` to their new due dates, as one operation. False when it failed (reported through
// the trap in force) or was cancelled.
bool saveSiteCalendar(Database& db, const SiteCalendar& calendar,
                      const QList<WeekRedate>& redate = {});

} // namespace tavrel
