#include "calendar/calendarexport.h"

#include "data/database.h"
#include "text/datetext.h"
#include "text/textfunctions.h"

#include <QDir>
#include <QSaveFile>
#include <QStringBuilder>
#include <QVariant>

#include <libical/ical.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavrel {

namespace {

const QByteArray CalendarBegin = "BEGIN:VCALENDAR\r\n"
                                 "VERSION:2.0\r\n"
                                 "PRODID:-//Tavrel//Tavrel " TAVREL_VERSION "//EN\r\n"
                                 "CALSCALE:GREGORIAN\r\n";
const QByteArray CalendarEnd = "END:VCALENDAR\r\n";

const QString CompletedCategory = QStringLiteral("Completed");
const QString OpenCategory = QStringLiteral("Open");

QString sqlDate(const QDate& date) {
    return QStringLiteral("#%1/%2/%3#").arg(date.month()).arg(date.day()).arg(date.year());
}

QDate dateOf(const QVariant& value) {
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
}

icaltimetype icalDate(const QDate& date) {
    icaltimetype t = icaltime_null_date();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    return t;
}

icaltimetype icalUtc(const QDateTime& when) {
    const QDateTime utc = when.toUTC();
    icaltimetype t = icaltime_null_time();
    t.year = utc.date().year();
    t.month = utc.date().month();
    t.day = utc.date().day();
    t.hour = utc.time().hour();
    t.minute = utc.time().minute();
    t.second = utc.time().second();
    t.zone = icaltimezone_get_utc_timezone();
    return t;
}

// A text property: libical escapes and folds it as it writes.
void addText(icalcomponent* entry, icalproperty* (*make)(const char*), const QString& text) {
    if (!text.isEmpty())
        icalcomponent_add_property(entry, make(text.toUtf8().constData()));
}

struct FreeComponent {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

// Hours and minutes as the completion records them, whole.
qint64 whole(const QVariant& value) {
    return std::llround(value.toDouble());
}

// The procedure of the task with its tools and expected results, and, for completed work,
// when, by whom and in how long it was done.
QString description(const Recordset& rows, bool completed, const QDate& done) {
    QString text;
    // Each part after the first is set apart by an empty line.
    const auto add = [&text](QLatin1String label, const QString& part) {
        if (part.isEmpty())
            return;
        if (!text.isEmpty())
            text += QLatin1String("\n\n");
        text += label;
        text += part;
    };
    add(QLatin1String(""), rows.value(QStringLiteral("taskdesc")).toString());
    add(QLatin1String("Tools: "), rows.value(QStringLiteral("tools")).toString());
    add(QLatin1String("Expected results: "), rows.value(QStringLiteral("results")).toString());
    if (completed) {
        QString line = QStringLiteral("Completed");
        if (done.isValid())
            line += QStringLiteral(" on ") + shortDate(done);
        const QString employee =
            firstAndLastName(rows.value(QStringLiteral("firstname")).toString(),
                             rows.value(QStringLiteral("lastname")).toString());
        if (!employee.isEmpty())
            line += QStringLiteral(" by ") + employee;
        const qint64 hours = whole(rows.value(QStringLiteral("comphour")));
        const qint64 minutes = whole(rows.value(QStringLiteral("compmin")));
        if (hours != 0 || minutes != 0)
            line += QStringLiteral(", time %1 h %2 min").arg(hours).arg(minutes);
        add(QLatin1String(""), line + QLatin1Char('.'));
    }
    return text;
}

// The parts of calendarUid() around the assignment's number, made once for a whole file.
const QByteArray UidPrefix = "assign-";
QByteArray uidSuffix(const QString& siteId) {
    return '-' + siteId.toUtf8() + "@tavrel";
}

// The entry of the current row: an all-day event on the due date, or a to-do due then.
std::unique_ptr<icalcomponent, FreeComponent>
entryOf(const Recordset& rows, bool todo, const icaltimetype& stamp, const QByteArray& uidEnd) {
    std::unique_ptr<icalcomponent, FreeComponent> entry(
        icalcomponent_new(todo ? ICAL_VTODO_COMPONENT : ICAL_VEVENT_COMPONENT));
    icalcomponent* c = entry.get();
    const QDate due = dateOf(rows.value(QStringLiteral("duedate")));
    const bool completed = rows.value(QStringLiteral("completed")).toBool();
    const QVariant doneValue = completed ? rows.value(QStringLiteral("compdate")) : QVariant();
    const QDate done = dateOf(doneValue);
    const QByteArray uid =
        UidPrefix + QByteArray::number(rows.value(QStringLiteral("assid")).toLongLong()) + uidEnd;
    icalcomponent_add_property(c, icalproperty_new_uid(uid.constData()));
    icalcomponent_add_property(c, icalproperty_new_dtstamp(stamp));
    if (todo) {
        icalcomponent_add_property(c, icalproperty_new_due(icalDate(due)));
        icalcomponent_add_property(c, icalproperty_new_status(completed ? ICAL_STATUS_COMPLETED
                                                                        : ICAL_STATUS_NEEDSACTION));
        // COMPLETED is a time in UTC: a day without a time is given at its noon, which
        // falls on that day in every time zone a calendar may show it in.
        if (completed && done.isValid()) {
            const QDateTime at = doneValue.typeId() == QMetaType::QDateTime
                                     ? doneValue.toDateTime()
                                     : QDateTime(done, QTime(12, 0), Qt::UTC);
            icalcomponent_add_property(c, icalproperty_new_completed(icalUtc(at)));
        }
    } else {
        icalcomponent_add_property(c, icalproperty_new_dtstart(icalDate(due)));
        icalcomponent_add_property(c, icalproperty_new_dtend(icalDate(due.addDays(1))));
    }
    addText(c, icalproperty_new_summary, rows.value(QStringLiteral("taskname")).toString());
    addText(c, icalproperty_new_location, rows.value(QStringLiteral("locdesc")).toString());
    addText(c, icalproperty_new_description, description(rows, completed, done));
    // One property holds both categories, as a list.
    const QString type = rows.value(QStringLiteral("typdesc")).toString();
    const QString& progress = completed ? CompletedCategory : OpenCategory;
    addText(c, icalproperty_new_categories,
            type.isEmpty() ? progress : type + QLatin1Char(',') + progress);
    return entry;
}

} // namespace

QString calendarPersonName(const QString& last, const QString& first) {
    if (last.isEmpty() || first.isEmpty())
        return last + first;
    return last + QStringLiteral(", ") + first;
}

QStringList calendarEmployeeNames(Database& db) {
    QStringList names;
    Recordset rows = db.openRecordset(
        QStringLiteral("select lastname, firstname from employees order by lastname, firstname"),
        RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext()) {
        const QString name = calendarPersonName(rows.value(QStringLiteral("lastname")).toString(),
                                                rows.value(QStringLiteral("firstname")).toString());
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names << name;
    }
    rows.close();
    return names;
}

QList<qint64> employeesNamed(Database& db, const QString& name) {
    QList<qint64> keys;
    const QString wanted = name.trimmed();
    Recordset rows = db.openRecordset(
        QStringLiteral("select empid, lastname, firstname from employees order by empid"),
        RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext())
        if (calendarPersonName(rows.value(QStringLiteral("lastname")).toString().trimmed(),
                               rows.value(QStringLiteral("firstname")).toString().trimmed())
                .compare(wanted, Qt::CaseInsensitive) == 0)
            keys << rows.value(QStringLiteral("empid")).toLongLong();
    rows.close();
    return keys;
}

QString calendarSql(const CalendarChoice& choice, const QList<qint64>& employees) {
    QString where = QStringLiteral("duedate is not null");
    if (choice.from.isValid())
        where += QStringLiteral(" and duedate >= ") + sqlDate(choice.from);
    if (choice.to.isValid())
        where += QStringLiteral(" and duedate <= ") + sqlDate(choice.to);
    if (!employees.isEmpty()) {
        QStringList keys;
        for (qint64 key : employees)
            keys << QString::number(key);
        where += QStringLiteral(" and assign.empid in (") + keys.join(QLatin1Char(',')) +
                 QLatin1Char(')');
    }
    return QStringLiteral(
               "select assign.assid as assid, taskname, taskdesc, tools, results, locdesc, "
               "typdesc, duedate, completed, compdate, comphour, compmin, firstname, lastname "
               "from (((assign left join tasks on assign.taskid = tasks.taskid) left join "
               "locations on assign.locid = locations.locid) left join types on assign.typid "
               "= types.typid) left join employees on assign.empid = employees.empid where ") +
           where + QStringLiteral(" order by duedate, assign.assid");
}

QString calendarUid(qint64 assid, const QString& siteId) {
    return QString::fromUtf8(UidPrefix + QByteArray::number(assid) + uidSuffix(siteId));
}

CalendarOutcome exportCalendar(Database& db, const CalendarChoice& choice, const QString& path,
                               const QDateTime& stamp, const QString& siteId) {
    CalendarOutcome outcome;
    // Entries without the site's part of their UIDs would be taken for other sites' entries.
    if (siteId.isEmpty()) {
        outcome.error = QStringLiteral("The site's identifier could not be read. No calendar was "
                                       "written.");
        return outcome;
    }
    QList<qint64> employees;
    if (!choice.employee.trimmed().isEmpty()) {
        employees = employeesNamed(db, choice.employee);
        if (employees.isEmpty()) {
            outcome.error = QStringLiteral("There is no employee named \"%1\". No calendar was "
                                           "written.")
                                .arg(choice.employee.trimmed());
            return outcome;
        }
    }
    Recordset rows = db.openRecordset(calendarSql(choice, employees), RecordsetType::Snapshot);
    if (!rows.isOpen()) {
        outcome.error = QStringLiteral("The assignments could not be read. No calendar was "
                                       "written.");
        return outcome;
    }
    QSaveFile file(path);
    const auto failed = [&] {
        // A write the system cut short (a full disk, a size limit) may leave no error text.
        const QString why = file.error() != QFileDevice::NoError && !file.errorString().isEmpty()
                                ? file.errorString()
                                : QStringLiteral("not every entry reached the disk (is it full?)");
        outcome.error = QStringLiteral("The file %1 could not be written: %2")
                            .arg(QDir::toNativeSeparators(path), why);
        file.cancelWriting();
        rows.close();
        return outcome;
    };
    qint64 written = 0;
    const auto write = [&](const char* bytes, qint64 size) {
        if (file.write(bytes, size) != size)
            return false;
        written += size;
        return true;
    };
    if (!file.open(QIODevice::WriteOnly) || !write(CalendarBegin.constData(), CalendarBegin.size()))
        return failed();
    const icaltimetype stamped = icalUtc(stamp);
    const QByteArray uidEnd = uidSuffix(siteId);
    for (; !rows.isEOF(); rows.moveNext()) {
        const auto entry = entryOf(rows, choice.todos, stamped, uidEnd);
        char* text = icalcomponent_as_ical_string_r(entry.get());
        const bool ok = write(text, qint64(std::strlen(text)));
        std::free(text);
        if (!ok)
            return failed();
        ++outcome.entries;
    }
    rows.close();
    // Qt takes a write the system cut short for a whole one: the file's size on disk says
    // whether everything arrived before the file takes its name.
    if (!write(CalendarEnd.constData(), CalendarEnd.size()) || !file.flush() ||
        file.size() != written || !file.commit())
        return failed();
    outcome.written = true;
    return outcome;
}

} // namespace tavrel
