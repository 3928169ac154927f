// Calendar files: every entry read back with libical and with Python's icalendar and compared
// with what the database holds, texts that need escaping and folding among them; the UIDs
// across exports and the site identifier they carry; the filters and their refusals; the
// command as a scheduled job runs it; the dialog as a user drives it; and the work list's
// count at start against the open entries of the export.

#include "calendar/calendarexport.h"
#include "calendar/frmexportcalendar.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/upgrade.h"
#include "data/database.h"
#include "dialogs/datefield.h"
#include "support/headlessrun.h"
#include "support/scriptedui.h"
#include "support/tablefiles.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "text/datetext.h"
#include "text/textfunctions.h"
#include "worklist/frmworklist.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QStringDecoder>
#include <QtTest>

#include <libical/ical.h>

#include <cmath>
#include <csignal>

#include <sys/resource.h>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr int RunBoundMs = 60000;

// Wednesday: the week (Monday to Saturday for the work list) ends on 20 June.
const QDate Today(2026, 6, 17);
const QDateTime Stamp(QDate(2026, 6, 17), QTime(8, 30, 5), Qt::UTC);

QString quoted(const QString& text) {
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// 2,000 characters in which letters of two, three and four bytes in UTF-8 fall on every
// position of a folded line.
QString longText() {
    QString text;
    const QString pattern = QStringLiteral("ä€😀x, ");
    while (text.size() < 2000)
        text += pattern;
    text.truncate(2000);
    if (text.at(1999).isHighSurrogate())
        text[1999] = QLatin1Char('z');
    return text;
}

const QString PumpName = QStringLiteral("Pump, main; check");
const QString PumpProcedure =
    QStringLiteral("Line one\nLine two, with a comma; a semicolon and a \\ backslash");
const QString FanName = QStringLiteral("Überprüfung der Lüftung — ½ Jahr");

QString siteSql() {
    return QStringLiteral(
               "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Baker'), "
               "(2, '', 'Dunn'), (3, 'Zoë', 'Ærø');"
               "INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room, North; Level 2'), "
               "(2, 'Café');"
               "INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC'), (2, 'Sécurité');") +
           QStringLiteral("INSERT INTO tasks (taskid, taskname, taskdesc, tools, results) VALUES "
                          "(1, %1, %2, 'Wrench', 'No leaks'), (2, %3, %4, NULL, NULL), "
                          "(3, 'Plain', NULL, NULL, NULL);")
               .arg(quoted(PumpName), quoted(PumpProcedure), quoted(FanName), quoted(longText())) +
           QStringLiteral("INSERT INTO assign (assid, taskid, duedate, completed, compdate, empid, "
                          "comphour, compmin, locid, typid) VALUES "
                          "(1, 1, '2026-06-01', 1, '2026-06-02', 1, 1, 30, 1, 1), "
                          "(2, 2, '2026-06-10', 0, NULL, 2, 0, 0, 2, 2), "
                          "(3, 3, '2026-06-20', 0, NULL, NULL, 0, 0, NULL, NULL), "
                          "(4, 99, '2026-06-15', 0, NULL, 3, 0, 0, NULL, NULL), "
                          "(5, 1, NULL, 0, NULL, 1, 0, 0, 1, 1), "
                          "(6, 3, '2026-07-01', 1, NULL, 3, 0, 0, 2, 1), "
                          "(7, 2, '2026-05-01', 0, NULL, 1, 0, 0, 1, 2), "
                          "(8, 3, '2026-06-21', 0, NULL, NULL, 0, 0, NULL, NULL);");
}

// One entry of a calendar file as a reader gives it back.
struct Entry {
    QString kind;
    QString uid;
    QString summary;
    QString location;
    QString description;
    QStringList categories;
    QString start;
    QString end;
    QString due;
    QString status;
    QString completed;
    bool operator==(const Entry&) const = default;
};

char* toString(const Entry& e) {
    const QStringList fields{
        e.kind,  e.uid, e.summary, e.location, e.description, e.categories.join(QLatin1Char('|')),
        e.start, e.end, e.due,     e.status,   e.completed};
    return qstrdup(fields.join(QStringLiteral(" / ")).toUtf8().constData());
}

QString isoDate(icaltimetype t) {
    if (icaltime_is_null_time(t))
        return {};
    return QDate(t.year, t.month, t.day).toString(Qt::ISODate);
}

// The entries as libical reads the file.
QList<Entry> readWithLibical(const QString& path) {
    const QByteArray bytes = readFile(path);
    icalcomponent* calendar = icalparser_parse_string(bytes.constData());
    QList<Entry> entries;
    if (!calendar)
        return entries;
    for (icalcomponent* c = icalcomponent_get_first_component(calendar, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(calendar, ICAL_ANY_COMPONENT)) {
        Entry e;
        const icalcomponent_kind kind = icalcomponent_isa(c);
        e.kind = kind == ICAL_VEVENT_COMPONENT  ? QStringLiteral("VEVENT")
                 : kind == ICAL_VTODO_COMPONENT ? QStringLiteral("VTODO")
                                                : QStringLiteral("?");
        const auto text = [](const char* s) { return s ? QString::fromUtf8(s) : QString(); };
        e.uid = text(icalcomponent_get_uid(c));
        e.summary = text(icalcomponent_get_summary(c));
        e.location = text(icalcomponent_get_location(c));
        e.description = text(icalcomponent_get_description(c));
        for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_CATEGORIES_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_CATEGORIES_PROPERTY))
            e.categories << text(icalproperty_get_categories(p));
        e.start = isoDate(icalcomponent_get_dtstart(c));
        if (icalcomponent_get_first_property(c, ICAL_DTEND_PROPERTY))
            e.end = isoDate(icalcomponent_get_dtend(c));
        if (icalcomponent_get_first_property(c, ICAL_DUE_PROPERTY))
            e.due = isoDate(icalcomponent_get_due(c));
        if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_STATUS_PROPERTY))
            e.status = text(icalproperty_get_value_as_string(p));
        if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_COMPLETED_PROPERTY)) {
            const icaltimetype t = icalproperty_get_completed(p);
            e.completed =
                QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC)
                    .toString(Qt::ISODate);
        }
        entries << e;
    }
    icalcomponent_free(calendar);
    return entries;
}

// The entries as Python's icalendar reads the file; empty with a failure noted when it cannot.
QList<Entry> readWithPython(const QString& path, QString* error) {
    static const QString python = pythonWith(QStringLiteral("icalendar"));
    if (python.isEmpty()) {
        *error = QStringLiteral("no python3 with icalendar (Debian python3-icalendar)");
        return {};
    }
    QProcess reader;
    reader.start(python, {QStringLiteral(TAVREL_READCALENDAR_SCRIPT), path});
    if (!reader.waitForFinished(RunBoundMs) || reader.exitCode() != 0) {
        *error = QString::fromUtf8(reader.readAllStandardError());
        return {};
    }
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    QList<Entry> entries;
    for (const QJsonValue& value : read.value(QStringLiteral("entries")).toArray()) {
        const QJsonObject o = value.toObject();
        const auto s = [&o](const char* name) { return o.value(QLatin1String(name)).toString(); };
        Entry e{s("kind"),        s("uid"),
                s("summary"),     s("location"),
                s("description"), o.value(QStringLiteral("categories")).toVariant().toStringList(),
                s("dtstart"),     s("dtend"),
                s("due"),         s("status"),
                QString()};
        // Python writes a time in UTC as "+00:00".
        if (!s("completed").isEmpty())
            e.completed =
                QDateTime::fromString(s("completed"), Qt::ISODate).toUTC().toString(Qt::ISODate);
        entries << e;
    }
    return entries;
}

// What the entry of assignment `assid` must hold, read from the database table by table.
Entry expected(const TempDatabase& site, qint64 assid, bool todo, const QString& siteId) {
    const auto value = [&site](const QString& sql) { return site.scalar(sql); };
    const auto text = [&value](const QString& sql) { return value(sql).toString(); };
    const QString a = QStringLiteral(" from assign where assid = %1").arg(assid);
    const QString task =
        QStringLiteral(" from tasks where taskid = (select taskid") + a + QLatin1Char(')');
    const QString employee =
        QStringLiteral(" from employees where empid = (select empid") + a + QLatin1Char(')');
    const QDate due = QDate::fromString(text(QStringLiteral("select duedate") + a), Qt::ISODate);
    const bool completed = value(QStringLiteral("select completed") + a).toInt() != 0;
    const QDate done =
        QDate::fromString(text(QStringLiteral("select compdate") + a).left(10), Qt::ISODate);

    QStringList parts;
    if (const QString p = text(QStringLiteral("select taskdesc") + task); !p.isEmpty())
        parts << p;
    if (const QString t = text(QStringLiteral("select tools") + task); !t.isEmpty())
        parts << QStringLiteral("Tools: ") + t;
    if (const QString r = text(QStringLiteral("select results") + task); !r.isEmpty())
        parts << QStringLiteral("Expected results: ") + r;
    if (completed) {
        QString line = QStringLiteral("Completed");
        if (done.isValid())
            line += QStringLiteral(" on ") + shortDate(done);
        const QString who = firstAndLastName(text(QStringLiteral("select firstname") + employee),
                                             text(QStringLiteral("select lastname") + employee));
        if (!who.isEmpty())
            line += QStringLiteral(" by ") + who;
        const qint64 h = std::llround(value(QStringLiteral("select comphour") + a).toDouble());
        const qint64 m = std::llround(value(QStringLiteral("select compmin") + a).toDouble());
        if (h || m)
            line += QStringLiteral(", time %1 h %2 min").arg(h).arg(m);
        parts << line + QLatin1Char('.');
    }
    Entry e;
    e.kind = todo ? QStringLiteral("VTODO") : QStringLiteral("VEVENT");
    e.uid = QStringLiteral("assign-%1-%2@tavrel").arg(assid).arg(siteId);
    e.summary = text(QStringLiteral("select taskname") + task);
    e.location = text(QStringLiteral("select locdesc from locations where locid = (select locid") +
                      a + QLatin1Char(')'));
    e.description = parts.join(QStringLiteral("\n\n"));
    const QString type = text(QStringLiteral("select typdesc from types where typid = (select "
                                             "typid") +
                              a + QLatin1Char(')'));
    if (!type.isEmpty())
        e.categories << type;
    e.categories << (completed ? QStringLiteral("Completed") : QStringLiteral("Open"));
    if (todo) {
        e.due = due.toString(Qt::ISODate);
        e.status = completed ? QStringLiteral("COMPLETED") : QStringLiteral("NEEDS-ACTION");
        if (completed && done.isValid())
            e.completed = QDateTime(done, QTime(12, 0), Qt::UTC).toString(Qt::ISODate);
    } else {
        e.start = due.toString(Qt::ISODate);
        e.end = due.addDays(1).toString(Qt::ISODate);
    }
    return e;
}

// The keys of the dated assignments, in the export's order.
QList<qint64> datedAssignments(const TempDatabase& site, const QString& where = {}) {
    QList<qint64> keys;
    for (const QVariant& key :
         site.column(QStringLiteral("select assid from assign where duedate is not null%1 order "
                                    "by duedate, assid")
                         .arg(where.isEmpty() ? QString() : QStringLiteral(" and ") + where)))
        keys << key.toLongLong();
    return keys;
}

// The lines of the file as written: each ends in CR LF, holds at most 75 octets and is valid
// UTF-8 by itself (a fold never splits a character). Returns what is wrong, or nothing.
QString lineProblem(const QByteArray& bytes) {
    if (!bytes.endsWith("\r\n"))
        return QStringLiteral("the file does not end in CR LF");
    const QList<QByteArray> lines = bytes.left(bytes.size() - 2).split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (!line.endsWith('\r') && i < lines.size() - 1)
            return QStringLiteral("line %1 ends in a bare LF").arg(i + 1);
        const QByteArray content = line.endsWith('\r') ? line.chopped(1) : line;
        if (content.contains('\r'))
            return QStringLiteral("line %1 holds a CR").arg(i + 1);
        if (content.size() > 75)
            return QStringLiteral("line %1 holds %2 octets").arg(i + 1).arg(content.size());
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString decoded = decoder(content);
        if (decoder.hasError())
            return QStringLiteral("line %1 is not UTF-8 by itself: %2")
                .arg(i + 1)
                .arg(QString::fromLatin1(content.toHex()));
    }
    return {};
}

using Run = tavrel::test::HeadlessRun;

Run runProgram(const TempDatabase& site, const QStringList& args) {
    tavrel::test::HeadlessOptions options;
    options.boundMs = RunBoundMs;
    return tavrel::test::runHeadless(QStringLiteral(TAVREL_BINARY), site.path(), args, options);
}

} // namespace

class TstCalendar : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Every dated assignment once, in due-date order, each entry as the database holds it,
    // read back alike by libical and by Python's icalendar; texts with commas, semicolons,
    // backslashes, new lines, letters beyond ASCII and 2,000 characters among them.
    void entriesMatchDatabase_data() {
        QTest::addColumn<bool>("todo");
        QTest::newRow("events") << false;
        QTest::newRow("to-dos") << true;
    }
    void entriesMatchDatabase() {
        QFETCH(bool, todo);
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        AddSiteIdentifier();
        const QString siteId = SiteIdentifier();
        QCOMPARE(siteId.size(), 36);
        CalendarChoice choice;
        choice.todos = todo;
        const QString path = folder.file(QStringLiteral("site.ics"));
        const CalendarOutcome outcome = exportCalendar(state().dbMain, choice, path, Stamp, siteId);
        QVERIFY2(outcome.written, qPrintable(outcome.error));
        QCOMPARE(ui.messageTexts(), QStringList());

        const QList<qint64> keys = datedAssignments(folder);
        QCOMPARE(keys, (QList<qint64>{7, 1, 2, 4, 3, 8, 6}));
        QCOMPARE(outcome.entries, keys.size());
        QList<Entry> wanted;
        for (qint64 key : keys)
            wanted << expected(folder, key, todo, siteId);
        // The texts that needed escaping and folding did reach the entries.
        QVERIFY(wanted[1].description.startsWith(PumpProcedure));
        QCOMPARE(wanted[2].description.size(), 2000);
        QCOMPARE(wanted[2].summary, FanName);

        const QByteArray bytes = readFile(path);
        QVERIFY(bytes.startsWith("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:"));
        QVERIFY(bytes.endsWith("END:VCALENDAR\r\n"));
        QCOMPARE(lineProblem(bytes), QString());
        QVERIFY(bytes.contains("DTSTAMP:20260617T083005Z\r\n"));
        QCOMPARE(bytes.count(todo ? "BEGIN:VTODO" : "BEGIN:VEVENT"), keys.size());

        const QList<Entry> byLibical = readWithLibical(path);
        QCOMPARE(byLibical.size(), wanted.size());
        for (int i = 0; i < wanted.size(); ++i)
            QCOMPARE(byLibical[i], wanted[i]);
        QString error;
        const QList<Entry> byPython = readWithPython(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(byPython.size(), wanted.size());
        for (int i = 0; i < wanted.size(); ++i)
            QCOMPARE(byPython[i], wanted[i]);
    }

    // The site's identifier is made once and kept: the UIDs of two exports are the same; an
    // older site without the column gets one from the upgrade step, a site copied without a
    // value gets one, and one that has a value keeps it.
    void siteIdentifierAndStableUids() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        const QString made =
            folder.scalar(QStringLiteral("select siteid from settings")).toString();
        QVERIFY(!QUuid::fromString(made).isNull());
        QVERIFY(!SchemaUpgradeDue());
        AddSiteIdentifier();
        QCOMPARE(SiteIdentifier(), made);

        const QString first = folder.file(QStringLiteral("first.ics"));
        const QString second = folder.file(QStringLiteral("second.ics"));
        QVERIFY(exportCalendar(state().dbMain, {}, first, Stamp, SiteIdentifier()).written);
        QVERIFY(
            exportCalendar(state().dbMain, {}, second, Stamp.addDays(3), SiteIdentifier()).written);
        QList<Entry> a = readWithLibical(first);
        const QList<Entry> b = readWithLibical(second);
        QCOMPARE(a.size(), 7);
        QCOMPARE(a, b);
        QVERIFY(a[0].uid.contains(made));
        QByteArray withoutStamps = readFile(second);
        withoutStamps.replace("DTSTAMP:20260620T083005Z", "DTSTAMP:20260617T083005Z");
        QCOMPARE(withoutStamps, readFile(first));

        // A site from before the identifier: the column is added with a new value, once.
        state().dbMain.close();
        folder.exec(QStringLiteral("ALTER TABLE settings DROP COLUMN siteid"));
        state().dbMain = Database::open(state().DbPath);
        QVERIFY(SchemaUpgradeDue());
        AddSiteIdentifier();
        QVERIFY(!SchemaUpgradeDue());
        const QString given = SiteIdentifier();
        QVERIFY(!QUuid::fromString(given).isNull());
        QVERIFY(given != made);
        AddSiteIdentifier();
        QCOMPARE(SiteIdentifier(), given);
        QCOMPARE(folder.scalar(QStringLiteral("select count(*) from settings")).toInt(), 1);

        // A copy that brought no value along.
        folder.exec(QStringLiteral("UPDATE settings SET siteid = NULL"));
        QVERIFY(SchemaUpgradeDue());
        AddSiteIdentifier();
        QVERIFY(!QUuid::fromString(SiteIdentifier()).isNull());
        QVERIFY(SiteIdentifier() != given);
        QVERIFY(!SchemaUpgradeDue());
        QCOMPARE(ui.messageTexts(), QStringList());
    }

    // One employee by the name the lists show, a range of due dates open on either side, and
    // the refusals: an employee nobody is called, a file that cannot be written. A refusal
    // leaves no file behind and an older file as it was.
    void filtersAndRefusals() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        const QString site = SiteIdentifier();
        const QString path = folder.file(QStringLiteral("out.ics"));
        const auto uids = [&](const CalendarChoice& choice) {
            const CalendarOutcome outcome =
                exportCalendar(state().dbMain, choice, path, Stamp, site);
            QStringList ids;
            for (const Entry& e : readWithLibical(path))
                ids << e.uid.section(QLatin1Char('-'), 1, 1);
            return outcome.written && outcome.entries == ids.size() ? ids : QStringList{"failed"};
        };
        QCOMPARE(calendarEmployeeNames(state().dbMain),
                 (QStringList{"Ærø, Zoë", "Baker, Ann", "Dunn"}));
        CalendarChoice choice;
        choice.employee = QStringLiteral("Baker, Ann");
        QCOMPARE(uids(choice), (QStringList{"7", "1"}));
        choice.employee = QStringLiteral("dunn");
        QCOMPARE(uids(choice), (QStringList{"2"}));
        choice.employee = QStringLiteral("Ærø, Zoë");
        choice.from = QDate(2026, 6, 15);
        QCOMPARE(uids(choice), (QStringList{"4", "6"}));
        choice.employee.clear();
        choice.to = QDate(2026, 6, 20);
        QCOMPARE(uids(choice), (QStringList{"4", "3"}));
        choice.from = {};
        QCOMPARE(uids(choice), (QStringList{"7", "1", "2", "4", "3"}));

        const QByteArray before = readFile(path);
        choice.employee = QStringLiteral("Nobody, Really");
        CalendarOutcome refused = exportCalendar(state().dbMain, choice, path, Stamp, site);
        QVERIFY(!refused.written);
        QCOMPARE(refused.error,
                 QStringLiteral("There is no employee named \"Nobody, Really\". No calendar was "
                                "written."));
        QCOMPARE(readFile(path), before);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("nobody.ics"))));
        refused = exportCalendar(state().dbMain, choice, folder.file(QStringLiteral("nobody.ics")),
                                 Stamp, site);
        QVERIFY(!refused.written);
        QVERIFY(!QFileInfo::exists(folder.file(QStringLiteral("nobody.ics"))));

        // Without the site's identifier the UIDs would not be the site's own.
        refused = exportCalendar(state().dbMain, {}, path, Stamp, QString());
        QVERIFY(!refused.written);
        QCOMPARE(readFile(path), before);

        // A folder in the way of the file's folder: nothing can be made there.
        QVERIFY(writeFile(folder.file(QStringLiteral("plain")), "a file"));
        refused = exportCalendar(state().dbMain, {}, folder.file(QStringLiteral("plain/out.ics")),
                                 Stamp, site);
        QVERIFY(!refused.written);
        QVERIFY2(refused.error.startsWith(
                     QStringLiteral("The file ") +
                     QDir::toNativeSeparators(folder.file(QStringLiteral("plain/out.ics"))) +
                     QStringLiteral(" could not be written: ")),
                 qPrintable(refused.error));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).filter(".ics"),
                 QStringList{"out.ics"});

        // The disk fills up half-way (files of this process may grow to 4 KiB, the calendar
        // needs more): the older file stays as it was and nothing else is left.
        CalendarChoice small;
        small.employee = QStringLiteral("Ærø, Zoë");
        QCOMPARE(uids(small), (QStringList{"4", "6"}));
        const QByteArray older = readFile(path);
        QVERIFY(older.size() < 4096);
        const CalendarOutcome full = [&] {
            rlimit usual{};
            getrlimit(RLIMIT_FSIZE, &usual);
            rlimit limited = usual;
            limited.rlim_cur = 4096;
            const auto previous = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &limited);
            const CalendarOutcome outcome = exportCalendar(state().dbMain, {}, path, Stamp, site);
            setrlimit(RLIMIT_FSIZE, &usual);
            std::signal(SIGXFSZ, previous);
            return outcome;
        }();
        QVERIFY(!full.written);
        QVERIFY2(full.error.contains(QStringLiteral(" could not be written: ")),
                 qPrintable(full.error));
        QCOMPARE(readFile(path), older);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).filter(".ics"),
                 QStringList{"out.ics"});
        QCOMPARE(ui.messageTexts(), QStringList());
    }

    // tavrel --calendar as a scheduled job runs it: the file written and exit 0; an unknown
    // employee and a file that cannot be written: the message, exit 1 and no file; no
    // temporary file left beside it.
    void command() {
        TempDatabase site(2026, siteSql());
        Run run = runProgram(site, {"--calendar", "all.ics", "--todo", "--from", "2026-06-01"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        const QList<Entry> all = readWithLibical(site.file(QStringLiteral("all.ics")));
        QCOMPARE(all.size(), 6);
        QCOMPARE(all.first().kind, QStringLiteral("VTODO"));
        const QString id = site.scalar(QStringLiteral("select siteid from settings")).toString();
        QVERIFY(!id.isEmpty());
        QCOMPARE(all.first().uid, QStringLiteral("assign-1-%1@tavrel").arg(id));

        run = runProgram(site, {"--calendar", "ann.ics", "--employee", "Baker, Ann"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readWithLibical(site.file(QStringLiteral("ann.ics"))).size(), 2);

        run = runProgram(site, {"--calendar", "none.ics", "--employee", "Baker, Bob"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Tavrel: There is no employee named \"Baker, Bob\". No "
                                         "calendar was written.\n"));
        QVERIFY(!QFileInfo::exists(site.file(QStringLiteral("none.ics"))));

        QVERIFY(writeFile(site.file(QStringLiteral("plain")), "a file"));
        run = runProgram(site, {"--calendar", "plain/x.ics"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Tavrel: The file ")), qPrintable(run.err));

        run =
            runProgram(site, {"--calendar", "x.ics", "--from", "2026-07-01", "--to", "2026-06-01"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains(QStringLiteral("--from 2026-07-01 is after --to 2026-06-01")));
        run = runProgram(site, {"--todo"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains(QStringLiteral("--employee and --todo go with --calendar")));

        QStringList left = QDir(site.path()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("tavrel.conf"));
        left.removeAll(QStringLiteral("plain"));
        left = left.filter(QRegularExpression(QStringLiteral("\\.ics|\\.tmp|\\.new|~")));
        QCOMPARE(left, (QStringList{"all.ics", "ann.ics"}));
    }

    // Reports, Export Calendar... as a user drives it: the employee chosen by typing, dates
    // typed, to-dos by their access key, Enter; the file asked for, the message of what was
    // written. A range given backwards is refused before any file is asked for.
    void dialog() {
        ScriptedUi ui;
        ui.setToday(Today);
        ui.setNow(Stamp.toLocalTime());
        TempWorkFolder folder(2026, siteSql());
        const QString path = folder.file(QStringLiteral("chosen.ics"));

        ui.answerFile(path);
        ui.onModal([](QDialog* shown) {
            tavrel::test::bringForward(shown);
            WindowDriver d(shown);
            auto* employee = d.w<QComboBox>("cboEmployee");
            QCOMPARE(entryTexts(employee),
                     (QStringList{"All employees", "Ærø, Zoë", "Baker, Ann", "Dunn"}));
            QCOMPARE(QApplication::focusWidget(), employee);
            QTest::keyClicks(employee, QStringLiteral("d"));
            QCOMPARE(employee->currentText(), QStringLiteral("Dunn"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("6/1/2026"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("6/30/2026"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::AltModifier);
            // A button's access key clicks it the way a click shows: pressed, then released.
            QTRY_VERIFY(d.w<QRadioButton>("optTodos")->isChecked());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        {
            frmExportCalendar dialog;
            QCOMPARE(ui.showModal(&dialog), int(QDialog::Accepted));
        }
        QCOMPARE(ui.filesAsked.size(), 1);
        QCOMPARE(ui.filesAsked[0].title, QStringLiteral("Export Calendar"));
        QCOMPARE(ui.messageTexts(),
                 QStringList{
                     QStringLiteral("1 to-do written to %1.").arg(QDir::toNativeSeparators(path))});
        const QList<Entry> written = readWithLibical(path);
        QCOMPARE(written.size(), 1);
        QCOMPARE(written[0], expected(folder, 2, true, SiteIdentifier()));

        // Backwards: the message, the dialog stays open; Escape closes it, nothing written.
        ui.clearRecord();
        ui.onModal([](QDialog* shown) {
            tavrel::test::bringForward(shown);
            WindowDriver d(shown);
            d.typeInto("dcFrom", QStringLiteral("7/1/2026"));
            d.typeInto("dcTo", QStringLiteral("6/1/2026"));
            QVERIFY(d.click("cmdExport"));
            QVERIFY(shown->isVisible());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        {
            frmExportCalendar dialog;
            QCOMPARE(ui.showModal(&dialog), int(QDialog::Rejected));
        }
        QCOMPARE(ui.messageTexts(), QStringList{"The first due date 7/1/2026 is after the last "
                                                "6/1/2026."});
        QCOMPARE(ui.filesAsked.size(), 0);
    }

    // The reminders of the program against the export: the main window's status bar counts
    // as many overdue assignments as the export holds open entries due before today, and what
    // "Show at start" opens, the due and overdue work, as many as it holds open entries due
    // by the end of this week.
    void reminderCountMatchesExport() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        state().CurYear = 2026;
        frmWorkList* list = openWorkList(nullptr);
        if (!list->chkShowAtStart->isChecked())
            QTest::mouseClick(list->chkShowAtStart, Qt::LeftButton);
        QVERIFY(workListAtStart());
        list->close();
        delete list;
        showWorkListAtStart(nullptr);
        frmWorkList* shown = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<frmWorkList*>(w); found && found->isVisible())
                shown = found;
        QVERIFY(shown);

        const QString path = folder.file(QStringLiteral("reminders.ics"));
        QVERIFY(exportCalendar(state().dbMain, {}, path, Stamp, SiteIdentifier()).written);
        const QDate weekEnd(2026, 6, 20);
        int open = 0;
        for (const Entry& e : readWithLibical(path))
            if (e.categories.contains(QStringLiteral("Open")) &&
                QDate::fromString(e.start, Qt::ISODate) <= weekEnd)
                ++open;
        QCOMPARE(open, 4);
        QCOMPARE(shown->lblCount->text(), QStringLiteral("%1 assignments").arg(open));

        int overdue = 0;
        for (const Entry& e : readWithLibical(path))
            if (e.categories.contains(QStringLiteral("Open")) &&
                QDate::fromString(e.start, Qt::ISODate) < Today)
                ++overdue;
        QCOMPARE(overdue, 3);
        frmMain main;
        main.refreshOverdueCount();
        QCOMPARE(main.lblOverdue->text(), QStringLiteral("%1 overdue assignments").arg(overdue));
        shown->close();
        delete shown;
    }
};

QTEST_MAIN(TstCalendar)
#include "tst_calendar.moc"
