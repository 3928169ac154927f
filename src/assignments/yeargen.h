#pragma once

#include <QString>
#include <QtGlobal>

namespace tavrel {

// The years the week calendar can be built for: four-digit dates in the database and in
// SQL date literals, and a year that fits the stored 16-bit CurYear.
inline constexpr int FirstPlannableYear = 100;
inline constexpr int LastPlannableYear = 9999;
bool isPlannableYear(int year);
// What a year outside them is refused with (title "Invalid Year").
QString yearOutOfRangeMessage();

// Sets the program up for `year`: the 52 week dates (table weeks and WeekDates) are
// recomputed, the user is asked whether to create the year's assignments, the assignments
// of every scheduled task are created (never a second one for a task and week that already
// has one dated in that year or later), and CurYear is stored. Runs under its own error
// trap: a failing step is reported and the next one runs. Neither the week list nor the
// menu caption is refreshed here; the callers do that.
void CreateYearAssignments(qint16 year);

class SiteCalendar;

// The one statement that creates the assignments of `year` for the tasks with ids from
// `first` to `last`, dated from WeekDates (set up for that year already), each on its week's
// first working day under `calendar`.
QString yearGenerationSql(qint16 year, qint64 first, qint64 last, const SiteCalendar& calendar);

} // namespace tavrel
