#include "core/sitecalendar.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "data/database.h"
#include "data/dberror.h"
#include "data/errortrap.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace tavrel {

namespace {

constexpr std::array<bool, 7> MondayToFriday{true, true, true, true, true, false, false};

// Easter lies between 22 March and 25 April: an offset beyond a year from it is a mistake.
constexpr int LongestEasterOffset = 366;

// The locale's long date without the weekday, and without the year when `withYear` is
// false: "May 1, 2026" and "May 1" in en_US, "1 May 2026" and "1 May" in en_GB.
QString longDate(const QDate& date, bool withYear) {
    QString format = QLocale().dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[^dMy]*"));
    format.remove(weekday);
    if (!withYear) {
        static const QRegularExpression year(QStringLiteral("[^dM]*y+[^dM]*"));
        format.replace(year, QStringLiteral(" "));
    }
    return QLocale().toString(date, format.trimmed());
}

QString weekdayName(int weekday) {
    return QLocale().dayName(weekday, QLocale::LongFormat);
}

QString monthName(int month) {
    return QLocale().monthName(month, QLocale::LongFormat);
}

int weekdayOf(const QDate& date) {
    return date.dayOfWeek(); // 1 Monday to 7 Sunday
}

} // namespace

QString ordinal(int n) {
    switch (n) {
    case 1:
        return QStringLiteral("1st");
    case 2:
        return QStringLiteral("2nd");
    case 3:
        return QStringLiteral("3rd");
    default:
        return QString::number(n) + QStringLiteral("th");
    }
}

QDate easterSunday(int year) {
    if (year < 1583)
        return QDate();
    // The Gregorian computus in integer arithmetic (the "anonymous" algorithm).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

std::optional<QDate> holidayDate(const HolidayRule& rule, int year) {
    switch (rule.kind) {
    case HolidayKind::OneDate:
        if (rule.date.isValid() && rule.date.year() == year)
            return rule.date;
        return std::nullopt;
    case HolidayKind::YearlyDate: {
        const QDate date(year, rule.month, rule.day);
        return date.isValid() ? std::optional(date) : std::nullopt;
    }
    case HolidayKind::NthWeekday: {
        const QDate first(year, rule.month, 1);
        if (!first.isValid() || rule.weekday < 1 || rule.weekday > 7 || rule.nth < 1)
            return std::nullopt;
        const int toWeekday = (rule.weekday - weekdayOf(first) + 7) % 7;
        const QDate date = first.addDays(toWeekday + 7 * (rule.nth - 1));
        return date.month() == rule.month ? std::optional(date) : std::nullopt;
    }
    case HolidayKind::LastWeekday: {
        const QDate first(year, rule.month, 1);
        if (!first.isValid() || rule.weekday < 1 || rule.weekday > 7)
            return std::nullopt;
        const QDate last = first.addDays(first.daysInMonth() - 1);
        return last.addDays(-((weekdayOf(last) - rule.weekday + 7) % 7));
    }
    case HolidayKind::FromEaster: {
        const QDate easter = easterSunday(year);
        if (!easter.isValid() || qAbs(rule.offset) > LongestEasterOffset)
            return std::nullopt;
        return easter.addDays(rule.offset);
    }
    }
    return std::nullopt;
}

QString describeHoliday(const HolidayRule& rule) {
    switch (rule.kind) {
    case HolidayKind::OneDate:
        return longDate(rule.date, true);
    case HolidayKind::YearlyDate: {
        // A leap year, so that 29 February can be named.
        const QDate date(2000, rule.month, rule.day);
        return (date.isValid() ? longDate(date, false) : QStringLiteral("?")) +
               QStringLiteral(" every year");
    }
    case HolidayKind::NthWeekday:
        return QStringLiteral("%1 %2 of %3")
            .arg(ordinal(rule.nth), weekdayName(rule.weekday), monthName(rule.month));
    case HolidayKind::LastWeekday:
        return QStringLiteral("Last %1 of %2")
            .arg(weekdayName(rule.weekday), monthName(rule.month));
    case HolidayKind::FromEaster:
        if (rule.offset == 0)
            return QStringLiteral("Easter Sunday");
        return QStringLiteral("Easter Sunday %1 %2 %3")
            .arg(rule.offset > 0 ? QLatin1Char('+') : QChar(0x2212))
            .arg(qAbs(rule.offset))
            .arg(qAbs(rule.offset) == 1 ? QStringLiteral("day") : QStringLiteral("days"));
    }
    return QString();
}

QString holidayRuleProblem(const HolidayRule& rule) {
    const bool monthOk = rule.month >= 1 && rule.month <= 12;
    const bool weekdayOk = rule.weekday >= 1 && rule.weekday <= 7;
    switch (rule.kind) {
    case HolidayKind::OneDate:
        return rule.date.isValid() ? QString() : QStringLiteral("The holiday needs a date.");
    case HolidayKind::YearlyDate:
        return QDate(2000, rule.month, rule.day).isValid()
                   ? QString()
                   : QStringLiteral("No month has that day.");
    case HolidayKind::NthWeekday:
        if (rule.nth < 1 || rule.nth > 5)
            return QStringLiteral("A month has at most five of each weekday.");
        [[fallthrough]];
    case HolidayKind::LastWeekday:
        return monthOk && weekdayOk ? QString() : QStringLiteral("Choose a weekday and a month.");
    case HolidayKind::FromEaster:
        return qAbs(rule.offset) <= LongestEasterOffset
                   ? QString()
                   : QStringLiteral("A holiday counted from Easter lies within a year of it.");
    }
    return QStringLiteral("Unknown kind of holiday.");
}

SiteCalendar::SiteCalendar()
    : working_(MondayToFriday) {}

std::array<bool, 7> SiteCalendar::weekdaysFromText(const QString& text) {
    static const QRegularExpression valid(QStringLiteral("^[01]{7}$"));
    if (!valid.match(text).hasMatch())
        return MondayToFriday;
    std::array<bool, 7> working{};
    for (int day = 0; day < 7; ++day)
        working[day] = text.at(day) == QLatin1Char('1');
    return working;
}

QString SiteCalendar::weekdaysToText(const std::array<bool, 7>& working) {
    QString text;
    for (bool day : working)
        text += day ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

void SiteCalendar::setWorkingWeekdays(const std::array<bool, 7>& working) {
    working_ = working;
}

void SiteCalendar::setHolidays(const QList<HolidayRule>& holidays) {
    holidays_ = holidays;
    byYear_.clear();
}

bool SiteCalendar::hasRules() const {
    return !working_[0] || !holidays_.isEmpty();
}

const QList<QDate>& SiteCalendar::cachedHolidays(int year) const {
    auto it = byYear_.constFind(year);
    if (it != byYear_.constEnd())
        return *it;
    QList<QDate> dates;
    for (const HolidayRule& rule : holidays_)
        if (const std::optional<QDate> date = holidayDate(rule, year))
            dates << *date;
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());
    return *byYear_.insert(year, dates);
}

bool SiteCalendar::isHoliday(const QDate& date) const {
    if (!date.isValid() || holidays_.isEmpty())
        return false;
    const QList<QDate>& dates = cachedHolidays(date.year());
    return std::binary_search(dates.begin(), dates.end(), date);
}

bool SiteCalendar::isWorkingDay(const QDate& date) const {
    return date.isValid() && working_[weekdayOf(date) - 1] && !isHoliday(date);
}

QDate SiteCalendar::dueDateOfWeek(const QDate& monday) const {
    if (!monday.isValid() || !hasRules())
        return monday;
    for (int day = 0; day < 7; ++day)
        if (isWorkingDay(monday.addDays(day)))
            return monday.addDays(day);
    return monday;
}

namespace {

HolidayRule ruleFromRow(const Recordset& rows) {
    HolidayRule rule;
    const auto number = [&rows](const char* column) {
        return rows.value(QString::fromLatin1(column)).toInt();
    };
    rule.name = rows.value(QStringLiteral("holname")).toString();
    rule.kind = static_cast<HolidayKind>(number("holkind"));
    rule.date = rows.value(QStringLiteral("holdate")).toDate();
    rule.month = number("holmonth");
    rule.day = number("holday");
    rule.weekday = number("holweekday");
    rule.nth = number("holnth");
    rule.offset = number("holoffset");
    return rule;
}

} // namespace

SiteCalendar loadSiteCalendar(Database& db) {
    SiteCalendar calendar;
    {
        Recordset settings = db.openRecordset(QStringLiteral("select workdays from settings"),
                                              RecordsetType::Snapshot);
        if (settings.isOpen() && settings.recordCount() > 0)
            calendar.setWorkingWeekdays(SiteCalendar::weekdaysFromText(
                settings.value(QStringLiteral("workdays")).toString()));
    }
    Recordset rows = db.openRecordset(QStringLiteral("select * from holidays order by holid"),
                                      RecordsetType::Snapshot);
    QList<HolidayRule> holidays;
    while (rows.isOpen() && rows.recordCount() > 0 && !rows.isEOF()) {
        holidays << ruleFromRow(rows);
        rows.moveNext();
    }
    calendar.setHolidays(holidays);
    return calendar;
}

QList<WeekRedate> weeksToRedate(const SiteCalendar& before, const SiteCalendar& after,
                                const std::array<QDate, 53>& mondays, const QDate& today) {
    QList<WeekRedate> weeks;
    for (int week = 1; week <= WeeksPerYear; ++week) {
        const QDate monday = mondays[week];
        if (!monday.isValid())
            continue;
        const QDate from = before.dueDateOfWeek(monday);
        const QDate to = after.dueDateOfWeek(monday);
        if (from != to && from >= today && to >= today)
            weeks.append(WeekRedate{week, from, to});
    }
    return weeks;
}

namespace {

QString redateWhere(const WeekRedate& week) {
    return QStringLiteral(" where weeid = %1 and duedate = %2 and not completed and not oneoff")
        .arg(week.week)
        .arg(jetDateLiteral(week.from));
}

} // namespace

int assignmentsToRedate(Database& db, const QList<WeekRedate>& weeks) {
    int count = 0;
    for (const WeekRedate& week : weeks) {
        Recordset rs =
            db.openRecordset(QStringLiteral("select count(*) as n from assign") + redateWhere(week),
                             RecordsetType::Snapshot);
        if (!rs.isOpen())
            return 0;
        count += rs.value(QStringLiteral("n")).toInt();
    }
    return count;
}

bool saveSiteCalendar(Database& db, const SiteCalendar& calendar, const QList<WeekRedate>& redate) {
    return RunAllOrNothing(db, [&] {
        Recordset settings =
            db.openRecordset(QStringLiteral("select * from settings"), RecordsetType::Dynaset);
        if (operationFailed() || !settings.isOpen())
            return;
        // The working days have nowhere to go: nothing is written rather than half of it.
        if (settings.recordCount() == 0) {
            raiseError(ErrNoCurrentRecord,
                       QStringLiteral("The site's settings row is missing: the working days "
                                      "and holidays could not be stored."));
            return;
        }
        settings.edit();
        settings.setValue(QStringLiteral("workdays"),
                          SiteCalendar::weekdaysToText(calendar.workingWeekdays()));
        SaveLoop(settings);
        settings.close();
        if (operationFailed())
            return;
        db.execute(QStringLiteral("delete from holidays"));
        Recordset rows = db.openRecordset(QStringLiteral("select * from holidays where holid = 0"),
                                          RecordsetType::Dynaset);
        for (const HolidayRule& rule : calendar.holidays()) {
            if (operationFailed() || !rows.isOpen())
                return;
            rows.addNew();
            rows.setValue(QStringLiteral("holname"), rule.name);
            rows.setValue(QStringLiteral("holkind"), static_cast<int>(rule.kind));
            rows.setValue(QStringLiteral("holdate"),
                          rule.date.isValid() ? QVariant(rule.date) : QVariant());
            rows.setValue(QStringLiteral("holmonth"), rule.month);
            rows.setValue(QStringLiteral("holday"), rule.day);
            rows.setValue(QStringLiteral("holweekday"), rule.weekday);
            rows.setValue(QStringLiteral("holnth"), rule.nth);
            rows.setValue(QStringLiteral("holoffset"), rule.offset);
            SaveLoop(rows);
        }
        for (const WeekRedate& week : redate)
            if (!operationFailed())
                db.execute(QStringLiteral("update assign set duedate = ") +
                           jetDateLiteral(week.to) + redateWhere(week));
    });
}

} // namespace tavrel
