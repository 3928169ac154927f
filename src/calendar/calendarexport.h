#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace tavrel {

class Database;

// What a calendar file holds: the assignments of one employee or of all, due in a range of
// dates (either end open), as events or as to-dos.
struct CalendarChoice {
    QString employee; // as the lists name one ("Last, First"); empty: every assignment
    QDate from;       // null: from the first
    QDate to;         // null: to the last
    bool todos = false;
};

// How an export ended.
struct CalendarOutcome {
    bool written = false;
    qint64 entries = 0; // events or to-dos written
    QString error;      // why no file was written; empty when written
};

// The name of an employee as the lists show it: "Last, First", or the one name when the
// other is empty.
QString calendarPersonName(const QString& last, const QString& first);

// The names of the employees in the order the lists show them (duplicates once).
QStringList calendarEmployeeNames(Database& db);

// The keys of the employees of that name (compared without regard to case); empty when
// there is none.
QList<qint64> employeesNamed(Database& db, const QString& name);

// The query the entries are read by (the program's SQL): every assignment with a due date,
// its task, location, type and employee, by due date and then key. `employees` empty: all.
QString calendarSql(const CalendarChoice& choice, const QList<qint64>& employees);

// The UID of an assignment's entry: the same on every export of the site, so that a
// calendar program that reads the file again updates the entry instead of adding another.
QString calendarUid(qint64 assid, const QString& siteId);

// Writes the calendar file `path` of `choice` from `db`: a temporary file beside it,
// renamed over it only when every entry is written, so a failure leaves no file (and an
// older one as it was). `stamp` is the time the entries say they were made (DTSTAMP);
// `siteId` the site's identifier. A failing query goes to the trap in force.
CalendarOutcome exportCalendar(Database& db, const CalendarChoice& choice, const QString& path,
                               const QDateTime& stamp, const QString& siteId);

} // namespace tavrel
