#pragma once

#include "data/units.h"

#include <QDate>
#include <QList>

#include <array>

namespace tavrel {

// The Mondays of a year's weeks as WeekDates holds them: index 1 to 52 (index 0 unused).
using WeekMondays = std::array<QDate, WeeksPerYear + 1>;

// The frequency presets that mark weeks from a starting date.
enum class DatedPreset { Monthly, Bimonthly, Quarterly, Semiannual, Annual };

// The weeks (1 to 52, ascending, each once) that `preset` marks in `year`, whose weeks
// begin on `mondays`, for a starting date `start`. Only the month and day of `start` are
// used; the targets always lie in `year`. Never fails: a day that a month lacks moves to a
// date the month has, and a target whose Monday is no week's Monday of the year marks
// nothing.
QList<int> presetWeeks(DatedPreset preset, const QDate& start, int year,
                       const WeekMondays& mondays);

} // namespace tavrel
