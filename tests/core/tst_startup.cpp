// Start-up, schema upgrade, shutdown, the main window's menus, help and new work folders.

#include "core/errortrap.h"
#include "core/frmhelp.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/sitecalendar.h"
#include "core/startup.h"
#include "core/upgrade.h"
#include "data/demodata.h"
#include "data/textorder.h"
#include "data/transaction.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <sys/stat.h>

using namespace tavrel;
using namespace tavrel::test;

using namespace Qt::StringLiterals;

namespace {

// Records the order in which start-up and shutdown call the editor.
class RecordingEditor : public MainEditor {
public:
    explicit RecordingEditor(QStringList* calls)
        : calls_(calls) {}
    QWidget* widget() override { return &widget_; }
    void fillWeekList() override { *calls_ << u"fillWeekList"_s; }
    void openRecords() override { *calls_ << u"openRecords"_s; }
    void activate() override { *calls_ << u"activate"_s; }
    void showFirst() override { *calls_ << u"showFirst"_s; }
    void resetState() override { *calls_ << u"resetState"_s; }
    void closeRecords() override { *calls_ << u"closeRecords"_s; }
    bool isEditing() const override { return editing; }
    bool editing = false;

private:
    QStringList* calls_;
    QWidget widget_;
};

// Reads its rows as the task editor does: the task list in name order, moved to its last
// row and back to show the first.
class ReadingEditor : public RecordingEditor {
public:
    using RecordingEditor::RecordingEditor;
    void openRecords() override {
        RecordingEditor::openRecords();
        tasks = state().dbMain.openRecordset(u"select * from tasks order by taskname"_s);
    }
    void showFirst() override {
        RecordingEditor::showFirst();
        if (tasks.recordCount() == 0)
            return;
        tasks.moveLast();
        tasks.moveFirst();
        firstName = tasks.value(u"taskname"_s).toString();
    }
    void closeRecords() override {
        tasks.close();
        RecordingEditor::closeRecords();
    }
    Recordset tasks;
    QString firstName;
};

// A working folder that start-up runs in, the current folder restored afterwards.
class InFolder {
public:
    explicit InFolder(const QString& path)
        : previous_(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~InFolder() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

// A tavrel.mdb as older versions left it: no CurYearOnly/EmpID in tasks, no LocID/TypID in
// assign.
const char* const OldSchema = R"(
CREATE TABLE tasks (taskid INTEGER PRIMARY KEY AUTOINCREMENT, taskname TEXT, taskdesc LONGTEXT,
  tools LONGTEXT, results LONGTEXT, besttime TEXT, reqhour SINGLE, reqmin SINGLE, manuf TEXT,
  model TEXT, serialno TEXT, Tag TEXT, misc1 TEXT, locid LONG, typid LONG, purchdate DATETIME,
  wardate DATETIME);
CREATE INDEX tasks_taskname ON tasks (taskname);
CREATE TABLE taskweeks (taskid LONG, weeid SHORT);
CREATE TABLE weeks (weeid SHORT PRIMARY KEY, curdate DATETIME);
CREATE TABLE assign (assid INTEGER PRIMARY KEY AUTOINCREMENT, taskid LONG, weeid SHORT,
  duedate DATETIME, completed BIT NOT NULL DEFAULT 0, compdate DATETIME, comphour SINGLE,
  compmin SINGLE, compnotes LONGTEXT, empid LONG, manid LONG, parts CURRENCY, labor CURRENCY,
  tax CURRENCY, totalcost CURRENCY);
CREATE TABLE employees (empid INTEGER PRIMARY KEY AUTOINCREMENT, firstname TEXT, lastname TEXT);
CREATE TABLE managers (manid INTEGER PRIMARY KEY AUTOINCREMENT, manfirst TEXT, manlast TEXT);
CREATE TABLE locations (locid INTEGER PRIMARY KEY AUTOINCREMENT, locdesc TEXT);
CREATE TABLE types (typid INTEGER PRIMARY KEY AUTOINCREMENT, typdesc TEXT);
CREATE TABLE settings (CurYear SHORT);
INSERT INTO settings VALUES (2005);
INSERT INTO tasks (taskid, taskname, locid, typid) VALUES (1, 'Boiler', 3, 4), (2, 'Roof', 5, NULL);
INSERT INTO assign (taskid, weeid, duedate) VALUES (1, 1, '2005-01-03'), (99, 2, '2005-01-10'),
  (2, 3, '2005-01-17'), (1, 4, '2005-01-24');
)";

// More assignments than one statement of the fill takes, of existing tasks (1 and 2) and
// of a deleted one (99), and a fault that stops the fill in its second statement.
const char* const ManyAssignments = R"(
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12000)
INSERT INTO assign (taskid, weeid, duedate) SELECT CASE i % 3 WHEN 0 THEN 1 WHEN 1 THEN 2
  ELSE 99 END, 1, '2005-01-03' FROM n;
)";
const char* const FaultHalfWay = R"(
CREATE TRIGGER fault BEFORE UPDATE OF locid ON assign WHEN new.assid > 9000
BEGIN SELECT RAISE(ABORT, 'power failure'); END;
)";

// Writes an old-schema tavrel.mdb into `folder`, with `extraSql` run after the schema.
void writeOldFile(const QString& folder, const QString& extraSql = {}) {
    Database db = Database::create(QDir(folder).filePath("tavrel.mdb"));
    db.executeScript(QString::fromLatin1(OldSchema) + extraSql);
}

// The first row's `field` of a query on dbMain; null when there is none.
QVariant firstValue(const QString& sql, const QString& field = "n") {
    Recordset rs = state().dbMain.openRecordset(sql, RecordsetType::Snapshot);
    return rs.isOpen() && !rs.isEOF() ? rs.value(field) : QVariant();
}

// Number of assignments on dbMain whose location and type are not what the upgrade gives:
// their task's, or empty when the task no longer exists.
int wronglyFilledAssignments() {
    const QVariant n = firstValue("select count(*) as n from assign left join tasks on "
                                  "assign.taskid = tasks.taskid where not (assign.locid is "
                                  "tasks.locid and assign.typid is tasks.typid)");
    return n.isNull() ? -1 : n.toInt();
}

// True when dbMain's assign table has the columns the last upgrade step adds.
bool assignHasCodeColumns() {
    bool failed = false;
    ErrorTrap probe([&failed](const DbError&) { failed = true; });
    Recordset rs =
        state().dbMain.openRecordset(u"select locid, typid from assign"_s, RecordsetType::Snapshot);
    return !failed;
}

// The database's schema as text, such that any upgrade work changes it: on a file its
// statements; on a server its columns and each table's and index's identity and storage,
// which a rebuilt index or a rewritten table changes even where its definition reads alike.
QString schemaOf(const TempDatabase& db) {
    return db
        .texts(db.onServer()
                   ? u"select table_name || '.' || column_name || ' ' || data_type || ' ' || "
                     "coalesce(column_default, '') from information_schema.columns where "
                     "table_schema = 'public' union all select relname || ' ' || oid || ' ' || "
                     "relfilenode from pg_class where relnamespace = 'public'::regnamespace "
                     "union all select tgname || ' ' || oid from pg_trigger where not "
                     "tgisinternal order by 1"_s
                   : u"select sql from sqlite_master order by name"_s)
        .join(u'\n');
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        resetProgramState();
        useTestLocale();
    }

    void startsInOrderOnCurrentDatabase() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 7, 4));
        TempWorkFolder folder(2005, {}, false);
        const QString schemaBefore = schemaOf(folder);
        QVERIFY(schemaBefore.contains(u"tasks_taskname"_s));
        InFolder in(folder.path());
        QStringList calls;
        frmMain w;
        w.setEditor(std::make_unique<RecordingEditor>(&calls));
        w.Form_Load();

        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        QCOMPARE(calls, (QStringList{"fillWeekList", "openRecords", "activate", "showFirst",
                                     "resetState"}));
        QCOMPARE(state().CurYear, qint16(2005));
        QCOMPARE(state().ReportStartDate, QDate(2005, 7, 4));
        QCOMPARE(state().ReportEndDate, QDate(2005, 7, 11));
        // The probes found every column and index as wanted, on either backend: nothing was
        // changed, and no upgrade showed its progress.
        QCOMPARE(schemaOf(folder), schemaBefore);
        QVERIFY(ui.progressShown.isEmpty());

        w.Form_Unload();
        QCOMPARE(calls.last(), u"closeRecords"_s);
        QVERIFY(!state().dbMain.isOpen());
    }

    void damagedDatabaseIsRepairedAndUsed_data() {
        QTest::addColumn<QString>("spoil");
        QTest::addColumn<int>("storedYear");
        // Text over the first pages: a file that no longer starts as a database is still
        // repaired from the pages after them, the stored year's weeks among them.
        QTest::newRow("text over its first pages") << "text" << 2005;
        QTest::newRow("first page of tasks") << "tasks page" << 2005;
    }
    void damagedDatabaseIsRepairedAndUsed() {
        if (testsOnServer())
            QSKIP("the file's own pages: a server's storage is the server's business");
        QFETCH(QString, spoil);
        QFETCH(int, storedYear);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 7, 4));
        constexpr int Tasks = 60;
        TempWorkFolder folder(storedYear,
                              QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
                                             "i + 1 FROM n WHERE i < %1) INSERT INTO tasks "
                                             "(taskname) SELECT printf('Task %03d %0300d', i, 0) "
                                             "FROM n;")
                                  .arg(Tasks),
                              false);
        constexpr int PageSize = 4096;
        const qint64 page =
            spoil == u"tasks page"_s
                ? folder
                      .scalar("select pageno from dbstat where name = 'tasks' and pagetype = "
                              "'leaf' order by path limit 1")
                      .toLongLong()
                : 1;
        {
            QFile f(folder.dbPath());
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek((page - 1) * PageSize));
            f.write(spoil == u"text"_s
                        ? QByteArray("Shopping list, not a database.\n").repeated(300)
                        : QByteArray(PageSize, '\0'));
        }
        InFolder in(folder.path());
        // A year question would be a second message: the repaired file keeps this year.
        state().startupSteps.createYearAssignments = [](qint16) {};
        QStringList calls;
        auto editor = std::make_unique<ReadingEditor>(&calls);
        ReadingEditor* reader = editor.get();
        frmMain w;
        w.setEditor(std::move(editor));
        w.Form_Load();

        const QString kept = folder.file(u"tavrel-damaged-1.mdb"_s);
        QCOMPARE(ui.messageTexts(),
                 QStringList{
                     QStringLiteral("The database tavrel.mdb was damaged and has been repaired; "
                                    "every record that could still be read was kept. The damaged "
                                    "file was kept as %1.")
                         .arg(QDir::toNativeSeparators(kept))});
        QVERIFY(QFile::exists(kept));
        QVERIFY(state().dbMain.isOpen());
        QCOMPARE(calls.mid(calls.size() - 4),
                 (QStringList{"openRecords", "activate", "showFirst", "resetState"}));
        QCOMPARE(state().CurYear, qint16(2005));
        QCOMPARE(folder.scalar("select count(*) || ' ' || min(curdate) from weeks").toString(),
                 u"52 2005-01-03"_s);
        QCOMPARE(folder.scalar("select count(*) from settings").toInt(), 1);
        // The editor works on the repaired file and shows what it kept.
        const int survivors = folder.scalar("select count(*) from tasks").toInt();
        if (spoil == u"tasks page"_s)
            QVERIFY2(survivors > 0 && survivors < Tasks, qPrintable(QString::number(survivors)));
        QVERIFY(reader->tasks.isOpen());
        reader->tasks.moveLast();
        QCOMPARE(reader->tasks.recordCount(), survivors);
        QCOMPARE(reader->firstName, folder.scalar("select min(taskname) from tasks").toString());
        state().dbMain.execute(u"insert into locations (locdesc) values ('Roof')"_s);
        QCOMPARE(folder.scalar("select group_concat(locdesc) from locations").toString(),
                 u"Roof"_s);
        QCOMPARE(ui.messages.size(), 1);
        w.Form_Unload();
    }

    void upgradesOldSchemaAndFillsAssignmentCodes() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        QTemporaryDir dir;
        writeOldFile(dir.path());
        InFolder in(dir.path());
        frmMain w;
        w.Form_Load();
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        // Each assignment has its task's location and type, none where the task is gone.
        QCOMPARE(wronglyFilledAssignments(), 0);
        // The fill reported its progress, from nothing to every assignment.
        QCOMPARE(ui.progressShown.size(), 1);
        QCOMPARE(ui.progressShown[0].maximum, 4);
        QCOMPARE(ui.progressShown[0].values.first(), 0);
        QCOMPARE(ui.progressShown[0].values.last(), 4);
        QVERIFY(ui.progressShown[0].closed);

        QCOMPARE(firstValue("select (curyearonly = 0) + (empid is null) as n from tasks where "
                            "taskid = 1"),
                 QVariant(2));
        // The task list's order is served by an index again.
        QCOMPARE(firstValue("select sql from sqlite_master where name = 'tasks_taskname'", "sql"),
                 "CREATE INDEX tasks_taskname ON tasks (taskname COLLATE NOCASE)");
        w.Form_Unload();
    }

    // Files of two ages gain the one-off flag of assignments and the inactive flag of the
    // four name tables: every row they held is a scheduled assignment or an active name, and
    // a row written later without the flags (by another program too) gets them cleared.
    void upgradeAddsOneOffAndInactiveFlags_data() {
        QTest::addColumn<QString>("extraSql");
        QTest::newRow("oldest file") << QString();
        QTest::newRow("file with assignment codes")
            << u"ALTER TABLE assign ADD COLUMN locid LONG; ALTER TABLE assign ADD COLUMN typid "
               "LONG; ALTER TABLE tasks ADD COLUMN curyearonly BIT NOT NULL DEFAULT 0; ALTER "
               "TABLE tasks ADD COLUMN empid LONG;"_s;
    }
    void upgradeAddsOneOffAndInactiveFlags() {
        QFETCH(QString, extraSql);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        QTemporaryDir dir;
        writeOldFile(dir.path(), extraSql +
                                     u"INSERT INTO employees (lastname) VALUES ('Baker'), ('Cole');"
                                     "INSERT INTO managers (manlast) VALUES ('Diaz');"
                                     "INSERT INTO locations (locdesc) VALUES ('Roof');"
                                     "INSERT INTO types (typdesc) VALUES ('HVAC');"_s);
        InFolder in(dir.path());
        {
            frmMain w;
            w.Form_Load();
            QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
            QCOMPARE(firstValue("select count(*) as n from assign where oneoff = 0"), QVariant(4));
            QCOMPARE(firstValue("select (select count(*) from employees where inactive = 0) + "
                                "(select count(*) from managers where inactive = 0) + "
                                "(select count(*) from locations where inactive = 0) + "
                                "(select count(*) from types where inactive = 0) as n"),
                     QVariant(5));
            // The weeks of the scheduled assignments stay theirs.
            QCOMPARE(firstValue("select count(*) as n from assign where weeid is null"),
                     QVariant(0));
            w.Form_Unload();
        }
        Database other = Database::open(dir.filePath("tavrel.mdb"));
        other.executeScript(u"INSERT INTO types (typdesc) VALUES ('Plumbing');"
                            "INSERT INTO assign (taskid, duedate) VALUES (1, '2005-05-02');"_s);
        const QString schema =
            u"select group_concat(sql, ';') as n from (select sql from sqlite_master order by "
            "name)"_s;
        Recordset late = other.openRecordset(
            u"select (select inactive from types where typdesc = 'Plumbing') + (select oneoff "
            "from assign where duedate = #5/2/2005#) as n"_s,
            RecordsetType::Snapshot);
        QCOMPARE(late.value(u"n"_s), QVariant(0));
        late.close();
        const QString upgraded =
            other.openRecordset(schema, RecordsetType::Snapshot).value(u"n"_s).toString();
        other.close();
        // The next start finds every flag in place and changes nothing.
        frmMain again;
        again.Form_Load();
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        QCOMPARE(firstValue(schema).toString(), upgraded);
        again.Form_Unload();
    }

    // Every table gains a row version that starts at 0 and that every update raises by one
    // (another program's, and set-based ones) unless it sets the version itself. A file
    // repaired before its upgrade (its older tables rebuilt beside the current schema's
    // triggers) still takes updates, and is upgraded the same.
    void upgradeAddsRowVersions_data() {
        QTest::addColumn<bool>("repairedFirst");
        QTest::newRow("older file") << false;
        QTest::newRow("older file, repaired") << true;
    }
    void upgradeAddsRowVersions() {
        QFETCH(bool, repairedFirst);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        QTemporaryDir dir;
        writeOldFile(dir.path(), u"INSERT INTO taskweeks (taskid, weeid) VALUES (1, 2);"
                                 "INSERT INTO weeks (weeid) VALUES (1);"
                                 "INSERT INTO employees (lastname) VALUES ('Baker');"
                                 "INSERT INTO managers (manlast) VALUES ('Diaz');"
                                 "INSERT INTO locations (locdesc) VALUES ('Roof');"
                                 "INSERT INTO types (typdesc) VALUES ('HVAC');"_s);
        const QString path = dir.filePath(u"tavrel.mdb"_s);
        const QStringList tables = {"tasks",    "taskweeks", "weeks", "assign",  "employees",
                                    "managers", "locations", "types", "settings"};
        if (repairedFirst)
            QVERIFY(!Database::repair(path, 2005).isEmpty());
        OtherProgram other(path);
        if (repairedFirst)
            QCOMPARE(other.exec("UPDATE tasks SET taskname = 'Boiler' WHERE taskid = 1"), 0);
        // Each table's lowest and highest version, as "table min-max".
        auto versions = [&] {
            QStringList out;
            for (const QString& table : tables)
                out << table + u" "_s +
                           firstValue(u"select min(rowver) & '-' & max(rowver) as n from "_s +
                                      table)
                               .toString();
            return out.join(u", "_s);
        };
        InFolder in(dir.path());
        frmMain w;
        w.Form_Load();
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        QStringList zero;
        for (const QString& table : tables)
            zero << table + u" 0-0"_s;
        QCOMPARE(versions(), zero.join(u", "_s));
        for (const QString& table : tables)
            QCOMPARE(other.exec(("UPDATE " + table + " SET rowid = rowid").toUtf8().constData()),
                     0);
        QCOMPARE(other.exec("UPDATE tasks SET taskname = 'Pump' WHERE taskid = 1"), 0);
        QCOMPARE(other.exec("UPDATE assign SET rowver = 7 WHERE assid = 1"), 0);
        QStringList raised;
        for (const QString& table : tables)
            raised << table + (table == "tasks"    ? u" 1-2"_s
                               : table == "assign" ? u" 1-7"_s
                                                   : u" 1-1"_s);
        QCOMPARE(versions(), raised.join(u", "_s));
        w.Form_Unload();
    }

    // A site from before the e-mail digests gains the addresses of employees and managers
    // and the digests' sent-log, as a new site has them (a recipient's day logged once),
    // keeping its names; the next start finds nothing to do.
    // An older site has no scheduling rules: the start adds the four rule columns to tasks
    // (older tasks have no rule), the working days to settings (read as Monday to Friday) and
    // the holidays table, which then stores and versions its rows as a new site's does.
    void upgradeAddsSchedulingRules() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        TempWorkFolder folder(2005, {}, false);
        folder.exec(u"DROP TABLE holidays; ALTER TABLE tasks DROP COLUMN ruleunit; "
                    "ALTER TABLE tasks DROP COLUMN ruleevery; ALTER TABLE tasks DROP COLUMN "
                    "rulestart; ALTER TABLE tasks DROP COLUMN rulefollow; ALTER TABLE settings "
                    "DROP COLUMN workdays;"
                    "INSERT INTO tasks (taskname, curyearonly) VALUES ('Boiler', 0);"_s);
        InFolder in(folder.path());
        {
            frmMain w;
            w.Form_Load();
            QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
            QVERIFY(!SchemaUpgradeDue());
            QCOMPARE(firstValue(u"select count(*) as n from tasks where ruleunit is null and "
                                "rulestart is null and taskname = 'Boiler'"_s),
                     QVariant(1));
            const SiteCalendar calendar = loadSiteCalendar(state().dbMain);
            QVERIFY(!calendar.hasRules());
            QCOMPARE(SiteCalendar::weekdaysToText(calendar.workingWeekdays()), u"1111100"_s);
            w.Form_Unload();
        }
        folder.exec(u"INSERT INTO holidays (holname, holkind, holmonth, holday) VALUES "
                    "('Christmas', 1, 12, 25); UPDATE holidays SET holname = 'Xmas';"_s);
        QCOMPARE(folder.texts("select holname || ' ' || rowver from holidays"),
                 QStringList{"Xmas 1"});
    }

    void upgradeAddsEmailAndDigestLog() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        TempWorkFolder folder(2005, {}, false);
        // The log's table, key and trigger as SQLite keeps them, blanks aside.
        const auto digestLog = [&folder] {
            return folder.onServer() ? QString()
                                     : folder
                                           .texts("select sql from sqlite_master where name like "
                                                  "'digestsent%' order by name")
                                           .join(';')
                                           .remove(QRegularExpression(u"\\s"_s));
        };
        const QString newSite = digestLog();
        folder.exec(u"DROP TABLE digestsent; ALTER TABLE employees DROP COLUMN email; "
                    "ALTER TABLE managers DROP COLUMN email;"
                    "INSERT INTO employees (firstname, lastname) VALUES ('Ann', 'Baker');"
                    "INSERT INTO managers (manfirst, manlast) VALUES ('Max', 'Diaz');"_s);
        InFolder in(folder.path());
        {
            frmMain w;
            w.Form_Load();
            QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
            QVERIFY(!SchemaUpgradeDue());
            QCOMPARE(firstValue(u"select count(*) as n from employees where email is null and "
                                "lastname = 'Baker'"_s),
                     QVariant(1));
            QCOMPARE(firstValue(u"select count(*) as n from managers where email is null and "
                                "manlast = 'Diaz'"_s),
                     QVariant(1));
            w.Form_Unload();
        }
        QCOMPARE(digestLog(), newSite);
        {
            // A second row for the same recipient and day is refused by the key.
            Database db = Database::open(folder.dbPath());
            CollectedErrors errors;
            const QString logged = u"insert into digestsent (kind, recipid, sentday) values "
                                   "('employee', 1, #3/1/2005#)"_s;
            db.execute(logged);
            QVERIFY2(errors.numbers.isEmpty(), qPrintable(errors.texts.join('\n')));
            db.execute(logged);
            QCOMPARE(errors.numbers.size(), 1);
        }
        QCOMPARE(folder.scalar("select count(*) from digestsent").toInt(), 1);
    }

    void interruptedUpgradeLeavesTheFileAsItWas() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 1));
        QTemporaryDir dir;
        writeOldFile(dir.path(), QString::fromLatin1(ManyAssignments) + FaultHalfWay);
        InFolder in(dir.path());
        {
            frmMain w;
            w.Form_Load();
            QCOMPARE(ui.messages.size(), 1);
            QVERIFY2(ui.messages[0].text.startsWith(u"3146  power failure"_s),
                     qPrintable(ui.messages[0].text));
            // The step was undone as a whole: no columns, so the next start runs it again;
            // the steps before it were kept.
            QVERIFY(!assignHasCodeColumns());
            QCOMPARE(firstValue("select count(*) as n from (select curyearonly, empid from tasks)"),
                     QVariant(2));
            QCOMPARE(ui.progressShown.size(), 1);
            QVERIFY(ui.progressShown[0].closed);
            // Nothing is held: another program can write at once.
            Database other = Database::open(dir.filePath("tavrel.mdb"));
            other.execute(u"DROP TRIGGER fault"_s);
            w.Form_Unload();
        }
        ui.clearRecord();
        // The next start comes later than the first: its copy before the upgrade gets a
        // name of its own.
        ui.setNow(QDateTime(QDate(2005, 3, 1), QTime(10, 1)));
        frmMain w;
        w.Form_Load();
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        QVERIFY(assignHasCodeColumns());
        QCOMPARE(wronglyFilledAssignments(), 0);
        const int total = 12004;
        QCOMPARE(ui.progressShown.size(), 1);
        QCOMPARE(ui.progressShown[0].maximum, total);
        QCOMPARE(ui.progressShown[0].values.last(), total);
        QVERIFY(ui.progressShown[0].values.size() > 2); // it moved on the way
        w.Form_Unload();
    }

    // Another program's lock met by an upgrade step, at its start (a write lock) or at its
    // first statement or its commit (a reader's lock, which holds up the commit): retried
    // like a save, the step is written whole; a lock that stays ends the program (No to
    // "Locked Record") with the step undone.
    void lockedUpgradeStepIsAllOrNothing_data() {
        QTest::addColumn<QString>("lockBefore");
        QTest::addColumn<int>("releaseAfter");
        for (const char* at : {"BEGIN IMMEDIATE", "ALTER", "COMMIT"}) {
            QTest::addRow("%s, released", at) << at << 3;
            QTest::addRow("%s, never released", at) << at << -1;
        }
    }
    void lockedUpgradeStepIsAllOrNothing() {
        QFETCH(QString, lockBefore);
        QFETCH(int, releaseAfter);
        ScriptedUi ui;
        QTemporaryDir dir;
        writeOldFile(dir.path());
        const QString path = dir.filePath(u"tavrel.mdb"_s);
        int ended = -1;
        {
            LockAtStatement lock(path, lockBefore, releaseAfter);
            ErrorTrap trap;
            try {
                openMainDatabase(dir.path());
            } catch (const ProgramEnded& end) {
                ended = end.exitCode;
            }
            QVERIFY(lock.tookLock());
            QCOMPARE(lock.tookWriteLock(), lockBefore == "BEGIN IMMEDIATE");
        }
        OtherProgram other(path);
        const bool hasFirstColumn = other.exec("SELECT curyearonly FROM tasks") == 0;
        if (releaseAfter < 0) {
            QCOMPARE(ended, 1);
            QCOMPARE(ui.messageTexts(),
                     QStringList{"Could not update locked record.  Do you wish to try again?"});
            QCOMPARE(state().RetryCount, qint16(100)); // retried as a save is, then asked
            QVERIFY(!hasFirstColumn);
        } else {
            QCOMPARE(ended, -1);
            QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
            QVERIFY(hasFirstColumn);
            QVERIFY(assignHasCodeColumns());
            QCOMPARE(wronglyFilledAssignments(), 0);
        }
        state().dbMain.close();
    }

    // The window in a folder without tavrel.mdb, or with one of no bytes: the file is named,
    // then a new one is offered. No ends the program with the folder as it was and no
    // question about the year; Yes puts a new database in its place and start-up goes on.
    void newDatabaseOffer_data() {
        QTest::addColumn<bool>("emptyFile");
        QTest::addColumn<bool>("yes");
        QTest::newRow("missing, No") << false << false;
        QTest::newRow("missing, Yes") << false << true;
        QTest::newRow("empty, No") << true << false;
        QTest::newRow("empty, Yes") << true << true;
    }
    void newDatabaseOffer() {
        QFETCH(bool, emptyFile);
        QFETCH(bool, yes);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 7, 4));
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        if (emptyFile) {
            QFile empty(db);
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        InFolder in(dir.path());
        QStringList years;
        state().startupSteps.createYearAssignments = [&years](qint16 year) {
            years << QString::number(year);
        };
        ui.answer(MsgResult::Ok); // the missing file
        ui.answer(yes ? MsgResult::Yes : MsgResult::No);
        QStringList calls;
        frmMain w;
        w.setEditor(std::make_unique<RecordingEditor>(&calls));
        bool ended = false;
        try {
            w.Form_Load();
        } catch (const ProgramEnded& end) {
            ended = true;
            QCOMPARE(end.exitCode, 0);
        }
        const QString folder = QDir::toNativeSeparators(QDir(dir.path()).absolutePath());
        const QString shownDb = QDir::toNativeSeparators(QFileInfo(db).absoluteFilePath());
        const QStringList said = {
            emptyFile
                ? QString::number(ErrFileNotFound) + "  The file '" + shownDb +
                      "' is empty: it holds no database."
                : QString::number(ErrFileNotFound) + "  Could not find file '" + shownDb + "'.",
            emptyFile ? "The tavrel.mdb in " + folder +
                            " is empty. Do you want to create a new, empty database in its place?"
                      : "There is no tavrel.mdb in " + folder +
                            ". Do you want to create a new, empty database in this folder?"};
        QCOMPARE(ui.messageTexts(), said);
        QCOMPARE(ui.lastMessage().title, u"New Database"_s);
        QCOMPARE(ended, !yes);
        QCOMPARE(years, QStringList{}); // the new file is of this year: nothing to ask
        if (!yes) {
            // Nothing was written: the folder holds what it held.
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                     emptyFile ? QStringList{"tavrel.mdb"} : QStringList{});
            QCOMPARE(QFileInfo(db).size(), 0);
            QCOMPARE(calls, QStringList{});
            state().dbMain.close();
            return;
        }
        QVERIFY(state().dbMain.isOpen());
        QCOMPARE(state().CurYear, qint16(2005));
        QVERIFY(QFile::exists(dir.filePath("rptspec.mdb")));
        w.Form_Unload();
    }

    // The window on a folder whose tavrel.mdb is a pipe, a folder or a device: said as such
    // at once, never waited on, no new database offered in its place, no year question.
    void specialDatabaseFileIsRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said");
        QTest::newRow("pipe") << "pipe"
                              << "is not a database file but a device or a pipe.";
        QTest::newRow("device") << "device"
                                << "is not a database file but a device or a pipe.";
        QTest::newRow("folder") << "folder"
                                << "is a folder, not a database file.";
    }
    void specialDatabaseFileIsRefused() {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 7, 4));
        QTemporaryDir dir;
        const QString db = dir.filePath("tavrel.mdb");
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(db).constData(), 0600), 0);
        else if (kind == "device")
            QVERIFY(QFile::link("/dev/null", db));
        else
            QVERIFY(QDir().mkdir(db));
        InFolder in(dir.path());
        state().startupSteps.createYearAssignments = [](qint16) {
            QFAIL("no year without a database");
        };
        frmMain w;
        w.Form_Load();
        QVERIFY(!ui.messages.isEmpty());
        QCOMPARE(ui.messages[0].text, QString::number(ErrFileIo) + "  '" +
                                          QFileInfo(db).absoluteFilePath() + "' " + said);
        for (const auto& message : ui.messages) {
            QVERIFY(message.title != u"New Database"_s);
            QVERIFY2(message.title != u"Reset Year"_s, qPrintable(ui.messageTexts().join("\n")));
        }
        QVERIFY(!state().dbMain.isOpen());
        QCOMPARE(QFileInfo(db).isDir(), kind == "folder");
        QCOMPARE(QFileInfo(db).isSymLink(), kind == "device");
        w.Form_Unload();
    }

    // Declining the new year keeps the stored one; the generation a Yes runs is tested
    // with the year set-up itself.
    void yearQuestionWhenStoredYearDiffers() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 1, 10));
        TempWorkFolder folder(2004, {}, false);
        InFolder in(folder.path());
        state().startupSteps.createYearAssignments = [](qint16) { QFAIL("No sets up no year"); };
        ui.answer(MsgResult::No);
        frmMain w;
        w.Form_Load();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].buttons, MsgButtons::YesNo);
        QCOMPARE(w.mnuSetYear->text(), u"&Set Current Year (Now 2004)"_s);
        w.Form_Unload();
    }

    // The -m run of the command line: start-up's steps without any window, then the print;
    // the exit code says whether anything went wrong on the way.
    void monthlyCommandRunsStartupThenPrints_data() {
        QTest::addColumn<QString>("folderKind"); // old schema, print fails
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("old file is upgraded, then printed") << "old" << 0 << QStringList{};
        QTest::newRow("an error while printing")
            << "print fails" << ExitWithErrors << QStringList{"3078  no such table: nosuchtable."};
    }
    void monthlyCommandRunsStartupThenPrints() {
        QFETCH(QString, folderKind);
        QFETCH(int, exitCode);
        QFETCH(QStringList, messages);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 12, 15));
        QTemporaryDir dir;
        writeOldFile(dir.path());
        int timesPrinted = 0;
        QStringList stateAtPrint;
        state().startupSteps.printMonthlyWorkOrders = [&] {
            ++timesPrinted;
            stateAtPrint << QString::number(state().CurYear)
                         << QString::number(state().dbMain.isOpen());
            Recordset rs = state().dbMain.openRecordset(u"select locid from assign"_s,
                                                        RecordsetType::Snapshot);
            stateAtPrint << QString::number(rs.isOpen());
            if (folderKind == u"print fails"_s)
                state().dbMain.execute(u"delete * from nosuchtable"_s);
            return 0;
        };
        state().startupSteps.createYearAssignments = [](qint16) {
            QFAIL("no year set-up with -m");
        };

        QCOMPARE(runMonthlyCommand(dir.path()), exitCode);
        QCOMPARE(timesPrinted, 1);
        // Opened, upgraded and CurYear read before the print ran.
        QCOMPARE(stateAtPrint, (QStringList{"2005", "1", "1"}));
        QCOMPARE(ui.messageTexts(), messages);
        QVERIFY(!state().dbMain.isOpen());
        QVERIFY(!QFile::exists(dir.filePath("rptspec.mdb"))); // nothing offered, nothing made
    }

    // A file another program holds when start-up opens it: retried like a save, then the
    // user decides (No ending the program is the save loop's, tested with it).
    void lockedDatabaseAtStartup() {
        if (testsOnServer())
            QSKIP("the file's own lock: a server site's start writes nothing another planner "
                  "could hold");
        ScriptedUi ui;
        TempWorkFolder folder(2005, {}, false);
        OtherProgram lock(folder.dbPath());
        lock.holdWholeFile();
        QList<int> retriesAtQuestion;
        ui.onQuestion = [&] {
            retriesAtQuestion << state().RetryCount;
            lock.release();
            return MsgResult::Yes;
        };
        ErrorTrap trap;
        openMainDatabase(folder.path());
        QCOMPARE(retriesAtQuestion, QList<int>{100});
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].title, u"Locked Record"_s);
        QVERIFY(state().dbMain.isOpen());
    }

    // A state installed over another starts from the values and hooks of a new process and
    // gives the one it replaced back untouched, its open database included; so does the
    // fresh state every test starts from.
    void freshStateOverAnother() {
        TempWorkFolder folder;
        state().CurYear = 2005;
        state().Cancelled = true;
        state().ReportDest = ReportTarget::File;
        state().FindCaller = FindEditor::Tasks;
        state().startupSteps.createYearAssignments = [](qint16) {};
        ProgramState* outer = &state();
        {
            FreshProgramState inner;
            QCOMPARE(&state(), &inner.get());
            QCOMPARE(state().CurYear, qint16(0));
            QVERIFY(!state().Cancelled && !state().dbMain.isOpen());
            QCOMPARE(state().ReportDest, ReportTarget::View);
            QCOMPARE(state().FindCaller, FindEditor::None);
            QVERIFY(!state().startupSteps.createYearAssignments);
            state().dbMain = Database::open(folder.dbPath());
            state().rsTasks = state().dbMain.openRecordset(u"select * from tasks"_s);
            QVERIFY(state().rsTasks.isOpen());
        }
        QCOMPARE(&state(), outer);
        QVERIFY(state().dbMain.isOpen() && state().Cancelled);
        QCOMPARE(state().CurYear, qint16(2005));
        QVERIFY(state().startupSteps.createYearAssignments);
        resetProgramState();
        QVERIFY(!state().dbMain.isOpen() && !state().Cancelled);
        QCOMPARE(state().CurYear, qint16(0));
        QVERIFY(!state().startupSteps.createYearAssignments);
    }

    // The report destination entries act as one choice.
    void reportDestinationMenu() {
        ScriptedUi ui;
        frmMain w;
        w.mnuRptOut[2]->trigger();
        QCOMPARE(state().ReportDest, ReportTarget::File);
        QVERIFY(!w.mnuRptOut[1]->isChecked());
        w.mnuRptOut[1]->trigger();
        QCOMPARE(state().ReportDest, ReportTarget::View);
        QVERIFY(w.mnuRptOut[1]->isChecked() && !w.mnuRptOut[2]->isChecked());
    }

    // An editor that keeps its row in edit (it has no question of its own to ask) keeps the
    // main window open, its records open.
    void closingWhileEditingIsRefused() {
        ScriptedUi ui;
        QStringList calls;
        frmMain w;
        auto editor = std::make_unique<RecordingEditor>(&calls);
        RecordingEditor* e = editor.get();
        w.setEditor(std::move(editor));
        w.show();
        e->editing = true;
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QCOMPARE(calls, QStringList{});
        e->editing = false;
        QVERIFY(w.close());
        QCOMPARE(calls, QStringList{"closeRecords"});
    }

    void helpPagesAndKeywordSearch() {
        frmHelp help;
        auto* index = help.findChild<QListWidget*>("lstIndex");
        auto* search = help.findChild<QLineEdit*>("txtSearch");
        QVERIFY(index && search);
        help.showTopic("search");
        QTest::keyClicks(search, "rep");
        QVERIFY(index->count() >= 2);
        for (int i = 0; i < index->count(); ++i)
            QVERIFY(index->item(i)->text().startsWith("rep", Qt::CaseInsensitive));
        // The whole index in the program's order of texts, capitals among the small letters.
        search->selectAll();
        QTest::keyClick(search, Qt::Key_Delete);
        QStringList keywords;
        for (int i = 0; i < index->count(); ++i)
            keywords << index->item(i)->text();
        QVERIFY(keywords.contains("Jet") && keywords.contains("backup"));
        QVERIFY(keywords.indexOf("backup") < keywords.indexOf("Jet"));
        for (int i = 1; i < keywords.size(); ++i)
            QVERIFY2(compareText(keywords[i - 1], keywords[i]) <= 0, qPrintable(keywords[i]));
        // Every page in the contents exists.
        auto* contents = help.findChild<QListWidget*>("lstContents");
        QVERIFY(contents->count() >= 8);
        for (int i = 0; i < contents->count(); ++i)
            QVERIFY(QFile::exists(":/help/" + contents->item(i)->data(Qt::UserRole).toString() +
                                  ".html"));
    }

    // A new work folder: this year's settings and no tasks (the catalogue's tests read the
    // report catalogue it writes); the demo site is a living one.
    void newWorkFolders() {
        QTemporaryDir dir;
        QString error;
        QVERIFY2(initWorkFolder(dir.path(), false, QDate(2007, 5, 1), &error), qPrintable(error));
        QVERIFY(QFile::exists(dir.filePath("rptspec.mdb")));
        state().dbMain = Database::open(dir.filePath("tavrel.mdb"));
        QCOMPARE(firstValue("select CurYear as n from settings"), QVariant(2007));
        QCOMPARE(firstValue("select count(*) as n from tasks"), QVariant(0));

        QTemporaryDir demo;
        QVERIFY2(initWorkFolder(demo.path(), true, QDate(2005, 7, 4), &error), qPrintable(error));
        state().dbMain = Database::open(demo.filePath("tavrel.mdb"));
        const auto count = [](const char* sql) { return firstValue(sql).toInt(); };
        QVERIFY(count("select count(*) as n from tasks") >= 24);
        QVERIFY(count("select count(*) as n from locations") >= 4);
        QVERIFY(count("select count(*) as n from employees") >= 4);
        // One assignment per task and scheduled week, completed ones only in the past.
        QCOMPARE(count("select count(*) as n from assign"),
                 count("select count(*) as n from taskweeks"));
        QVERIFY(count("select count(*) as n from assign where completed and totalcost <> 0") > 5);
        QCOMPARE(
            count("select count(*) as n from assign where completed and duedate >= #7/4/2005#"), 0);
        QVERIFY(
            count("select count(*) as n from assign where not completed and duedate < #7/4/2005#") >
            0);
        state().dbMain.close();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
