#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <array>

namespace tavrel {

class Recordset;

// The units of a task's interval (the numbers are those stored in tasks.ruleunit).
enum class IntervalUnit : int {
    None = 0,
    Weeks = 1,
    // Months, on the same weekday of the month as the start (its 2nd Tuesday, say; a start in
    // the last seven days of its month that is the fifth such weekday keeps to the last one).
    MonthsByWeekday = 2,
    // Months, on the same day as the start (on the month's last day when it is shorter).
    MonthsByDay = 3,
    Years = 4,
};

// A task scheduled every `every` units from `start`, instead of by marked weeks. With
// `followCompletion`, the dates after a completed assignment are counted from the day it was
// done rather than from `start`.
struct IntervalRule {
    IntervalUnit unit = IntervalUnit::None;
    int every = 1;
    QDate start;
    bool followCompletion = false;

    bool isSet() const { return unit != IntervalUnit::None && every >= 1 && start.isValid(); }
    bool operator==(const IntervalRule&) const = default;
};

// The largest interval the rule window offers, in any unit.
inline constexpr int LongestInterval = 999;

// The rule stored in a tasks row (ruleunit, ruleevery, rulestart, rulefollow); not set when
// the row has none or an unusable one.
IntervalRule intervalRuleOf(const Recordset& task);
// Writes `rule` into the current tasks row being edited; a rule not set clears the columns.
void storeIntervalRule(Recordset& task, const IntervalRule& rule);

// The day task `taskId` was last completed (its scheduled assignments, leaving out assignment
// `except`, and only those due before `dueBefore` when that is given), read from dbMain; none
// when it never was.
QDate lastCompletionOf(const QVariant& taskId, const QVariant& except = QVariant(),
                       const QDate& dueBefore = QDate());

// The rule in words: "Every 3 weeks from March 2, 2026", "Every month on the 2nd Monday ...".
QString describeIntervalRule(const IntervalRule& rule);

// The dates of `rule` counted from `from`, occurrences `firstK` on, that lie from `first` to
// `last`, in order.
QList<QDate> intervalDates(const IntervalRule& rule, const QDate& from, int firstK,
                           const QDate& first, const QDate& last);

// The week (1 to 52) of the year whose week Mondays are `mondays` (index 1 to 52) that holds
// `date` (weeks run Monday to Sunday), or 0 when none of the 52 weeks does.
int weekHolding(const QDate& date, const std::array<QDate, 53>& mondays);

// The weeks (1 to 52) of the year whose week Mondays are `mondays` that hold `dates`, each
// once, ascending; dates in none of them are left out.
QList<int> weeksHolding(const QList<QDate>& dates, const std::array<QDate, 53>& mondays);

// The weeks of the year whose Mondays are `mondays` that `rule` falls in, ascending, each once:
// counted from the start; for a rule that follows completion, after `lastCompletion` (when that
// is on or after the start) they count from it instead, one interval after it first.
QList<int> intervalWeeks(const IntervalRule& rule, const std::array<QDate, 53>& mondays,
                         const QDate& lastCompletion = QDate());

} // namespace tavrel
