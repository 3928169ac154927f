#include "core/intervalrule.h"

#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "data/database.h"
#include "data/units.h"
#include "text/datetext.h"

#include <QLocale>

#include <algorithm>

namespace tavrel {

namespace {

QDate dayInMonth(int year, int month, int day) {
    const QDate first(year, month, 1);
    return first.isValid() ? QDate(year, month, qMin(day, first.daysInMonth())) : QDate();
}

// The `nth` `weekday` of a month (nth 5 meaning its last one).
QDate weekdayInMonth(int year, int month, int weekday, int nth) {
    const QDate first(year, month, 1);
    if (!first.isValid())
        return QDate();
    if (nth >= 5) {
        const QDate last = first.addDays(first.daysInMonth() - 1);
        return last.addDays(-((last.dayOfWeek() - weekday + 7) % 7));
    }
    return first.addDays((weekday - first.dayOfWeek() + 7) % 7 + 7 * (nth - 1));
}

// The month `months` months after the month of `from`, as a year and a month.
std::pair<int, int> monthsLater(const QDate& from, qint64 months) {
    const qint64 index = qint64(from.year()) * 12 + (from.month() - 1) + months;
    return {int(index / 12), int(index % 12) + 1};
}

int unitsBetween(const IntervalRule& rule, const QDate& from, const QDate& to) {
    switch (rule.unit) {
    case IntervalUnit::Weeks:
        return int(from.daysTo(to) / 7);
    case IntervalUnit::MonthsByWeekday:
    case IntervalUnit::MonthsByDay:
        return (to.year() - from.year()) * 12 + (to.month() - from.month());
    case IntervalUnit::Years:
        return to.year() - from.year();
    case IntervalUnit::None:
        break;
    }
    return 0;
}

// The `k`th date of `rule` counted from `from` (k = 0 is `from` itself).
QDate intervalOccurrence(const IntervalRule& rule, const QDate& from, int k) {
    if (!from.isValid() || rule.every < 1)
        return QDate();
    const qint64 steps = qint64(k) * rule.every;
    switch (rule.unit) {
    case IntervalUnit::Weeks:
        return from.addDays(steps * 7);
    case IntervalUnit::MonthsByWeekday: {
        const auto [year, month] = monthsLater(from, steps);
        return weekdayInMonth(year, month, from.dayOfWeek(), (from.day() - 1) / 7 + 1);
    }
    case IntervalUnit::MonthsByDay: {
        const auto [year, month] = monthsLater(from, steps);
        return dayInMonth(year, month, from.day());
    }
    case IntervalUnit::Years:
        return dayInMonth(int(from.year() + steps), from.month(), from.day());
    case IntervalUnit::None:
        break;
    }
    return QDate();
}

} // namespace

IntervalRule intervalRuleOf(const Recordset& task) {
    IntervalRule rule;
    const int unit = task.value(QStringLiteral("ruleunit")).toInt();
    if (unit < int(IntervalUnit::Weeks) || unit > int(IntervalUnit::Years))
        return rule;
    rule.every = task.value(QStringLiteral("ruleevery")).toInt();
    rule.start = task.value(QStringLiteral("rulestart")).toDate();
    rule.followCompletion = task.value(QStringLiteral("rulefollow")).toBool();
    rule.unit = static_cast<IntervalUnit>(unit);
    if (!rule.isSet() || rule.every > LongestInterval)
        return IntervalRule();
    return rule;
}

void storeIntervalRule(Recordset& task, const IntervalRule& rule) {
    const bool set = rule.isSet();
    task.setValue(QStringLiteral("ruleunit"), set ? QVariant(int(rule.unit)) : QVariant());
    task.setValue(QStringLiteral("ruleevery"), set ? QVariant(rule.every) : QVariant());
    task.setValue(QStringLiteral("rulestart"), set ? QVariant(rule.start) : QVariant());
    task.setValue(QStringLiteral("rulefollow"), set && rule.followCompletion);
}

QDate lastCompletionOf(const QVariant& taskId, const QVariant& except, const QDate& dueBefore) {
    if (taskId.isNull())
        return QDate();
    QString sql = QStringLiteral("select max(compdate) as lastdone from assign where taskid = ") +
                  QString::number(taskId.toLongLong()) +
                  QStringLiteral(" and completed and not oneoff");
    if (!except.isNull())
        sql += QStringLiteral(" and assid <> ") + QString::number(except.toLongLong());
    if (dueBefore.isValid())
        sql += QStringLiteral(" and duedate < ") + jetDateLiteral(dueBefore);
    Recordset rs = state().dbMain.openRecordset(sql, RecordsetType::Snapshot);
    return rs.isOpen() ? rs.value(QStringLiteral("lastdone")).toDate() : QDate();
}

QString describeIntervalRule(const IntervalRule& rule) {
    if (!rule.isSet())
        return QString();
    const QLocale locale;
    const QString from = shortDate(rule.start);
    const auto every = [&rule](const QString& one, const QString& many) {
        return rule.every == 1 ? QStringLiteral("Every ") + one
                               : QStringLiteral("Every %1 %2").arg(rule.every).arg(many);
    };
    QString text;
    switch (rule.unit) {
    case IntervalUnit::Weeks:
        text = every(QStringLiteral("week"), QStringLiteral("weeks"));
        break;
    case IntervalUnit::MonthsByWeekday: {
        const int nth = (rule.start.day() - 1) / 7 + 1;
        text = every(QStringLiteral("month"), QStringLiteral("months")) +
               QStringLiteral(" on the %1 %2")
                   .arg(nth >= 5 ? QStringLiteral("last") : ordinal(nth),
                        locale.dayName(rule.start.dayOfWeek(), QLocale::LongFormat));
        break;
    }
    case IntervalUnit::MonthsByDay:
        text = every(QStringLiteral("month"), QStringLiteral("months")) +
               QStringLiteral(" on day %1").arg(rule.start.day());
        break;
    case IntervalUnit::Years:
        text = every(QStringLiteral("year"), QStringLiteral("years"));
        break;
    case IntervalUnit::None:
        return QString();
    }
    text += QStringLiteral(" from ") + from;
    if (rule.followCompletion)
        text += QStringLiteral(", counted from the last completion");
    return text;
}

QList<QDate> intervalDates(const IntervalRule& rule, const QDate& from, int firstK,
                           const QDate& first, const QDate& last) {
    QList<QDate> dates;
    if (rule.unit == IntervalUnit::None || rule.every < 1 || !from.isValid() || !first.isValid() ||
        !last.isValid())
        return dates;
    // Start a step short of the first date in range, so that no occurrence is skipped
    // whatever the months' lengths.
    int k = qMax(firstK, unitsBetween(rule, from, first) / rule.every - 1);
    for (;; ++k) {
        const QDate date = intervalOccurrence(rule, from, k);
        if (!date.isValid() || date > last)
            break;
        if (date >= first)
            dates << date;
    }
    return dates;
}

int weekHolding(const QDate& date, const std::array<QDate, 53>& mondays) {
    const QDate first = mondays[1];
    if (!date.isValid() || !first.isValid() || date < first)
        return 0;
    const qint64 week = first.daysTo(date) / 7 + 1;
    return week <= WeeksPerYear ? int(week) : 0;
}

QList<int> intervalWeeks(const IntervalRule& rule, const std::array<QDate, 53>& mondays,
                         const QDate& lastCompletion) {
    if (!rule.isSet() || !mondays[1].isValid() || !mondays[WeeksPerYear].isValid())
        return {};
    const QDate first = mondays[1];
    const QDate last = mondays[WeeksPerYear].addDays(6);
    const bool fromCompletion =
        rule.followCompletion && lastCompletion.isValid() && lastCompletion >= rule.start;
    // Up to the last completion the weeks are the rule's own (what was planned stays
    // planned); after it they count from the completion.
    QList<QDate> dates = intervalDates(
        rule, rule.start, 0, first, fromCompletion ? qMin(last, lastCompletion.addDays(-1)) : last);
    if (fromCompletion)
        dates += intervalDates(rule, lastCompletion, 1, qMax(first, lastCompletion), last);
    return weeksHolding(dates, mondays);
}

QList<int> weeksHolding(const QList<QDate>& dates, const std::array<QDate, 53>& mondays) {
    QList<int> weeks;
    for (const QDate& date : dates)
        if (const int week = weekHolding(date, mondays); week != 0)
            weeks << week;
    std::sort(weeks.begin(), weeks.end());
    weeks.erase(std::unique(weeks.begin(), weeks.end()), weeks.end());
    return weeks;
}

} // namespace tavrel
