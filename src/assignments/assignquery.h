#pragma once

#include <QString>

namespace tavrel {

class Recordset;

// The rows the assignment editor shows, as its Show and Sort menus choose them. The numbers
// are the menu items' indexes.
enum class YearShown { CurrentYearOnly = 1, AllYears = 2 };
enum class CompletionShown { UncompletedOnly = 1, CompletedAndUncompleted = 2 };
enum class AssignOrder { ScheduledDate = 1, TaskName = 2 };

// The editor's rows when it opens: the uncompleted assignments of `year`, by due date.
QString openingAssignSql(int year);

// The query after a Show choice. Both Show choices order by due date without the tasks,
// whatever the Sort menu last chose.
QString showYearSql(YearShown chosen, bool uncompletedOnly, int year);
QString showCompletionSql(CompletionShown chosen, bool currentYearOnly, int year);

// The query after a Sort choice: the assignments with their tasks, under both filters.
QString sortSql(AssignOrder chosen, bool uncompletedOnly, bool currentYearOnly, int year);

// What the editor says about an assignment's task (its current row: taskdesc, tools,
// results, besttime, reqhour, reqmin): each part that is there, a blank line after each;
// the time when either of its numbers is not zero.
QString taskDetailsText(const Recordset& task);

} // namespace tavrel
