#pragma once

#include <QString>

namespace tavrel {

class Database;

// Schema upgrades of an older tavrel.mdb (on dbMain), each probing for one column and
// adding what is missing. Each is one transaction: what it adds, together with the fill of
// the new columns, is written completely or not at all.
void AddCurYearOnlyColumn();
void AddEmpIDColumn();
void AddAssignCodeColumns();
// Assignments made outside the weekly schedule carry a yes/no flag; every older row is a
// scheduled one.
void AddOneOffColumn();
// Employees, managers, locations and types can be retired: a yes/no flag in each of the
// four tables, every older name active.
void AddInactiveColumns();
// Every row of every table carries a version that each update raises (a trigger, so that
// other programs' writes count too): a row another user changed after it was read is not
// overwritten unseen. Every older row starts at version 0.
void AddRowVersions();
// Employees and managers can have an e-mail address (empty for none), to which
// tavrel --mail-digest sends their digest.
void AddEmailColumns();
// The digests sent, one row per recipient and day: a second run of the day sends only
// what did not go out before.
void AddDigestLog();
// Scheduling rules: a task can be scheduled by an interval (four columns of tasks, none set
// on older rows), and the site has working weekdays (settings.workdays, empty for Monday to
// Friday) and holidays (a table of its own, empty).
void AddSchedulingRules();

// Every site has an identifier of its own: a random UUID in settings.siteid, given once (by
// this step to an older site, or one whose copy brought no identifier along) and never
// changed after, so that what is exported from the site is known again on the next export.
void AddSiteIdentifier();

// The site's identifier (settings.siteid on dbMain); empty when it cannot be read (the
// failure has gone to the trap in force) or none was given yet.
QString SiteIdentifier();

// Files written before the task list was ordered without regard to case hold a binary
// index on task names, which cannot serve that order: it is built again, once.
void IndexTaskNamesWithoutCase();

// Files written before year generation looked assignments up by task, week and due date
// hold an index on task and week only: it is built again with the due date, once.
void IndexAssignmentsByTaskWeekAndDate();

// The field catalogue (rptspec.mdb, always a file) offers the find a "Work Order Code"
// field for tasks and for assignments (datatype 6, which the report designer leaves out). An
// older catalogue gains each once, numbered after its highest id; one that has them is not
// written. A catalogue that cannot be written now (read-only, busy) is left as it is and
// works without them: the step is tried again at its next opening.
void AddWorkOrderCodeFields(Database& catalogue);

// True when dbMain is open and one of the steps above would change it: the time to take a
// copy of the file first. Reports nothing.
bool SchemaUpgradeDue();

} // namespace tavrel
