#include "core/upgrade.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/dberror.h"

#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

namespace tavrel {

namespace {

// The columns the upgrade steps probe for, by the queries that name them.
const QString CurYearOnlyProbe = QStringLiteral("select curyearonly from tasks");
const QString EmpIdProbe = QStringLiteral("select empid from tasks");
const QString AssignCodesProbe = QStringLiteral("select locid from assign");
const QString OneOffProbe = QStringLiteral("select oneoff from assign");
const QString InactiveNamesProbe = QStringLiteral(
    "select employees.inactive, managers.inactive, locations.inactive, types.inactive from "
    "employees, managers, locations, types");
const QString SiteIdProbe = QStringLiteral("select siteid from settings");
// A settings row without an identifier: a site copied from one that had none yet.
const QString SiteIdMissingProbe =
    QStringLiteral("select count(*) as n from settings where siteid is null or siteid = ''");
const QString EmailProbe =
    QStringLiteral("select employees.email, managers.email from employees, managers");
const QString DigestLogProbe = QStringLiteral("select sentid from digestsent");
const QString SchedulingRulesProbe =
    QStringLiteral("select tasks.ruleunit, tasks.ruleevery, tasks.rulestart, tasks.rulefollow, "
                   "settings.workdays, holidays.holid from tasks, settings, holidays");
// The tables whose rows carry a version (every table of the file), and one probe for all.
const QStringList VersionedTables = {
    QStringLiteral("tasks"),     QStringLiteral("taskweeks"), QStringLiteral("weeks"),
    QStringLiteral("assign"),    QStringLiteral("employees"), QStringLiteral("managers"),
    QStringLiteral("locations"), QStringLiteral("types"),     QStringLiteral("settings")};
const QString RowVersionsProbe = [] {
    QStringList columns;
    for (const QString& table : VersionedTables)
        columns << table + QStringLiteral(".rowver");
    return QStringLiteral("select %1 from %2")
        .arg(columns.join(QLatin1String(", ")), VersionedTables.join(QLatin1String(", ")));
}();

// Assignments per statement of the fill: few statements for a large table (each one is
// set-based), yet enough of them that the progress window moves.
constexpr int FillChunkRows = 5000;

// True when opening `probeSql` fails for any reason: the column it names is missing. Only
// the statement is prepared: reading its rows would copy a whole table on every start.
bool probeFails(const QString& probeSql) {
    bool failed = false;
    ErrorTrap probe([&failed](const DbError&) { failed = true; });
    state().dbMain.checkQuery(probeSql);
    return failed;
}

// Gives every assignment the location and type of its task; an assignment whose task no
// longer exists keeps them empty. Set-based, one run of assignments in key order per
// statement, so that a large table shows its progress.
void fillAssignCodes() {
    Recordset counted = state().dbMain.openRecordset(
        QStringLiteral("select count(*) as n from assign"), RecordsetType::Snapshot);
    const int total = operationFailed() ? 0 : counted.value(QStringLiteral("n")).toInt();
    counted.close();
    if (operationFailed() || total == 0)
        return;
    const std::unique_ptr<Progress> progress = ui().progress(
        {},
        QStringLiteral("Updating the database: every assignment gets the location and type "
                       "of its task."),
        total, ProgressCancel::NotOffered);
    progress->setValue(0);
    QString after; // the condition "past the last assignment done", empty for the first run
    int done = 0;
    while (!operationFailed() && done < total) {
        Recordset run = state().dbMain.openRecordset(
            QStringLiteral("select max(k) as last, count(*) as n from (select rowid as k from "
                           "assign%1 order by rowid limit %2)")
                .arg(after.isEmpty() ? QString() : QStringLiteral(" where ") + after)
                .arg(FillChunkRows),
            RecordsetType::Snapshot);
        const int rows = operationFailed() ? 0 : run.value(QStringLiteral("n")).toInt();
        const QString last =
            operationFailed() ? QString() : run.value(QStringLiteral("last")).toString();
        run.close();
        if (rows == 0)
            break;
        QString range = QStringLiteral("rowid <= ") + last;
        if (!after.isEmpty())
            range = after + QStringLiteral(" and ") + range;
        state().dbMain.execute(
            QStringLiteral("update assign set "
                           "locid = (select locid from tasks where tasks.taskid = assign.taskid), "
                           "typid = (select typid from tasks where tasks.taskid = assign.taskid) "
                           "where ") +
            range + QStringLiteral(" and taskid in (select taskid from tasks)"));
        after = QStringLiteral("rowid > ") + last;
        done += rows;
        progress->setValue(done);
    }
}

// Runs one upgrade step when `probeSql` finds its column missing: `statements` and then
// `fill`, as one operation, so that they are written together or not at all (a failure
// or a process killed half-way leaves the file as it was, and the next start runs the step
// again). A locked file is retried like a save. The first failure ends the step; it reaches
// the caller's trap once the step is undone.
void runUpgradeStep(const QString& probeSql, const QStringList& statements,
                    const std::function<void()>& fill = {}) {
    if (!probeFails(probeSql))
        return;
    RunAllOrNothing(state().dbMain, [&] {
        // Probe again now that nobody else can write: another copy of the program, started
        // at the same time, may have done the step meanwhile.
        if (!probeFails(probeSql))
            return;
        for (const QString& sql : statements) {
            if (operationFailed())
                return;
            state().dbMain.execute(sql);
        }
        if (!operationFailed() && fill)
            fill();
    });
}

} // namespace

void AddCurYearOnlyColumn() {
    runUpgradeStep(CurYearOnlyProbe,
                   {QStringLiteral("ALTER TABLE tasks ADD COLUMN CurYearOnly bit;")});
}

void AddEmpIDColumn() {
    runUpgradeStep(EmpIdProbe, {QStringLiteral("ALTER TABLE tasks ADD COLUMN EmpID LONG;")});
}

void AddAssignCodeColumns() {
    runUpgradeStep(AssignCodesProbe,
                   {QStringLiteral("ALTER TABLE assign ADD COLUMN LocID LONG;"),
                    QStringLiteral("ALTER TABLE assign ADD COLUMN TypID LONG;")},
                   fillAssignCodes);
}

void AddOneOffColumn() {
    runUpgradeStep(OneOffProbe, {QStringLiteral("ALTER TABLE assign ADD COLUMN OneOff bit;")});
}

void AddInactiveColumns() {
    // One probe for the four tables: the step adds the flag to all of them together, so a
    // file holds it in every table or in none.
    runUpgradeStep(InactiveNamesProbe,
                   {QStringLiteral("ALTER TABLE employees ADD COLUMN Inactive bit;"),
                    QStringLiteral("ALTER TABLE managers ADD COLUMN Inactive bit;"),
                    QStringLiteral("ALTER TABLE locations ADD COLUMN Inactive bit;"),
                    QStringLiteral("ALTER TABLE types ADD COLUMN Inactive bit;")});
}

void AddRowVersions() {
    // SQLite's own statements, as in the schema of a new file: the translation knows no
    // triggers. A trigger of that name left by an earlier schema (a repaired file keeps the
    // new file's triggers, which its older tables could not use) is made again.
    QString script;
    for (const QString& table : VersionedTables)
        script += QStringLiteral(
                      "ALTER TABLE %1 ADD COLUMN rowver integer NOT NULL DEFAULT 0;\n"
                      "DROP TRIGGER IF EXISTS %1_rowver;\n"
                      "CREATE TRIGGER %1_rowver AFTER UPDATE ON %1 FOR EACH ROW "
                      "WHEN NEW.rowver = OLD.rowver\n"
                      "BEGIN UPDATE %1 SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;\n")
                      .arg(table);
    runUpgradeStep(RowVersionsProbe, {}, [&script] { state().dbMain.executeScript(script); });
}

void AddEmailColumns() {
    // One probe for both tables: the step adds the address to both together.
    runUpgradeStep(EmailProbe, {QStringLiteral("ALTER TABLE employees ADD COLUMN Email TEXT;"),
                                QStringLiteral("ALTER TABLE managers ADD COLUMN Email TEXT;")});
}

void AddDigestLog() {
    // Each backend's own statements, as its schema script has them: the translation knows
    // no unique indexes or triggers.
    static const QString fileScript = QStringLiteral(
        "CREATE TABLE digestsent (sentid INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, "
        "recipid LONG NOT NULL, address TEXT, sentday DATETIME NOT NULL, senttime DATETIME, "
        "rowver integer NOT NULL DEFAULT 0);\n"
        "CREATE UNIQUE INDEX digestsent_recipient ON digestsent (kind, recipid, sentday);\n"
        "CREATE TRIGGER digestsent_rowver AFTER UPDATE ON digestsent FOR EACH ROW WHEN "
        "NEW.rowver = OLD.rowver\n"
        "BEGIN UPDATE digestsent SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;\n");
    static const QString serverScript = QStringLiteral(
        "CREATE TABLE digestsent (sentid integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
        "kind text COLLATE tavrel_text NOT NULL, recipid integer NOT NULL, address text COLLATE "
        "tavrel_text, sentday timestamp(0) NOT NULL, senttime timestamp(0), rowver integer NOT "
        "NULL DEFAULT 0);\n"
        "CREATE UNIQUE INDEX digestsent_recipient ON digestsent (kind, recipid, sentday);\n"
        "CREATE TRIGGER digestsent_rowver BEFORE UPDATE ON digestsent FOR EACH ROW EXECUTE "
        "FUNCTION tavrel_bump_rowver();\n");
    runUpgradeStep(DigestLogProbe, {}, [] {
        state().dbMain.executeScript(state().dbMain.isServer() ? serverScript : fileScript);
    });
}

void AddSchedulingRules() {
    // The holidays table in each backend's own statements, as its schema script has it.
    static const QString fileScript = QStringLiteral(
        "CREATE TABLE holidays (holid INTEGER PRIMARY KEY AUTOINCREMENT, holname TEXT, holkind "
        "SHORT NOT NULL DEFAULT 0, holdate DATETIME, holmonth SHORT, holday SHORT, holweekday "
        "SHORT, holnth SHORT, holoffset SHORT, rowver integer NOT NULL DEFAULT 0);\n"
        "CREATE TRIGGER holidays_rowver AFTER UPDATE ON holidays FOR EACH ROW WHEN "
        "NEW.rowver = OLD.rowver\n"
        "BEGIN UPDATE holidays SET rowver = OLD.rowver + 1 WHERE rowid = NEW.rowid; END;\n");
    static const QString serverScript = QStringLiteral(
        "CREATE TABLE holidays (holid integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
        "holname text COLLATE tavrel_text, holkind smallint NOT NULL DEFAULT 0, holdate "
        "timestamp(0), holmonth smallint, holday smallint, holweekday smallint, holnth smallint, "
        "holoffset smallint, rowver integer NOT NULL DEFAULT 0);\n"
        "CREATE TRIGGER holidays_rowver BEFORE UPDATE ON holidays FOR EACH ROW EXECUTE "
        "FUNCTION tavrel_bump_rowver();\n");
    // Each part only where it is missing: a repaired older file has the table from the
    // schema but not the columns. Probed before the step's transaction, in which a failing
    // statement would end it on a server.
    if (!probeFails(SchedulingRulesProbe))
        return;
    QStringList statements;
    if (probeFails(QStringLiteral("select ruleunit, ruleevery, rulestart, rulefollow from tasks")))
        statements << QStringLiteral("ALTER TABLE tasks ADD COLUMN ruleunit SHORT;")
                   << QStringLiteral("ALTER TABLE tasks ADD COLUMN ruleevery SHORT;")
                   << QStringLiteral("ALTER TABLE tasks ADD COLUMN rulestart DATETIME;")
                   << QStringLiteral("ALTER TABLE tasks ADD COLUMN rulefollow bit;");
    if (probeFails(QStringLiteral("select workdays from settings")))
        statements << QStringLiteral("ALTER TABLE settings ADD COLUMN workdays TEXT;");
    const bool tableMissing = probeFails(QStringLiteral("select holid from holidays"));
    runUpgradeStep(SchedulingRulesProbe, statements, [tableMissing] {
        if (tableMissing)
            state().dbMain.executeScript(state().dbMain.isServer() ? serverScript : fileScript);
    });
}

namespace {

// True when a settings row has no identifier yet (the column is there).
bool siteIdMissing() {
    Recordset rows = state().dbMain.openRecordset(SiteIdMissingProbe, RecordsetType::Snapshot);
    const bool missing = rows.isOpen() && rows.value(QStringLiteral("n")).toLongLong() > 0;
    rows.close();
    return missing;
}

QString newSiteId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

void AddSiteIdentifier() {
    // The column comes with its value as its default, which the rows that are there read
    // without being written: adding it changes no row's version. (A settings row made anew
    // later, by a repair that lost it, gets the same identifier.) Then a value for a row that
    // came without one, once; a row that has one keeps it.
    runUpgradeStep(SiteIdProbe,
                   {QStringLiteral("ALTER TABLE settings ADD COLUMN siteid TEXT DEFAULT '%1';")
                        .arg(newSiteId())});
    if (probeFails(SiteIdProbe) || !siteIdMissing())
        return;
    RunAllOrNothing(state().dbMain, [] {
        if (!operationFailed() && siteIdMissing())
            state().dbMain.execute(QStringLiteral("update settings set siteid = '%1' where "
                                                  "siteid is null or siteid = ''")
                                       .arg(newSiteId()));
    });
}

QString SiteIdentifier() {
    Recordset rows = state().dbMain.openRecordset(
        QStringLiteral("select siteid from settings where siteid is not null and siteid <> ''"),
        RecordsetType::Snapshot);
    const QString id = rows.isOpen() && !rows.isEOF()
                           ? rows.value(QStringLiteral("siteid")).toString()
                           : QString();
    rows.close();
    return id;
}

namespace {

// An index the program wants, as each backend states it: SQLite's statement on a file, the
// server's own form of it (as pg_get_indexdef gives it back) on a server.
struct WantedIndex {
    QString name;
    QString fileSql;
    QString serverSql;

    const QString& sql() const { return state().dbMain.isServer() ? serverSql : fileSql; }
};

// Whether the database already holds exactly the index wanted; nothing when that could not
// be read (the failure has gone to the trap in force).
std::optional<bool> indexIsCurrent(const WantedIndex& index) {
    const std::optional<QString> held = state().dbMain.indexDefinition(index.name);
    if (!held)
        return std::nullopt;
    return *held == index.sql();
}

// Builds the index again unless the database already holds exactly that index. One
// transaction: the old index stays until the new one is complete.
void rebuildIndexUnlessCurrent(const WantedIndex& index) {
    if (indexIsCurrent(index).value_or(true))
        return;
    ErrorTrap trap;
    RunAllOrNothing(state().dbMain, [&] {
        state().dbMain.executeScript(QStringLiteral("DROP INDEX IF EXISTS %1; ").arg(index.name) +
                                     index.sql());
    });
}

const WantedIndex TaskNameIndex{
    QStringLiteral("tasks_taskname"),
    QStringLiteral("CREATE INDEX tasks_taskname ON tasks (taskname COLLATE NOCASE)"),
    // The server's task names carry the program's text order, which ignores case; the index
    // gives the task list's order exactly (nulls first, ties by key), first rows at once.
    QStringLiteral(
        "CREATE INDEX tasks_taskname ON tasks USING btree (taskname NULLS FIRST, taskid)")};
const WantedIndex AssignIndex{
    QStringLiteral("assign_taskid"),
    QStringLiteral("CREATE INDEX assign_taskid ON assign (taskid, weeid, duedate)"),
    QStringLiteral("CREATE INDEX assign_taskid ON assign USING btree (taskid, weeid, duedate)")};

} // namespace

void IndexTaskNamesWithoutCase() {
    rebuildIndexUnlessCurrent(TaskNameIndex);
}

void IndexAssignmentsByTaskWeekAndDate() {
    rebuildIndexUnlessCurrent(AssignIndex);
}

namespace {

// A catalogue field of the find's own, as the shipped catalogue (rptspec_rows.sql) has it.
struct FindOnlyField {
    const char* table;
    const char* fieldName;
};
constexpr FindOnlyField CodeFields[] = {{"tasks", "tasks.taskid"}, {"assign", "assid"}};
constexpr int CodeDataType = 6;

} // namespace

void AddWorkOrderCodeFields(Database& catalogue) {
    if (!catalogue.isOpen())
        return;
    ErrorTrap quiet([](const DbError&) {});
    for (const FindOnlyField& field : CodeFields) {
        const QString table = QString::fromLatin1(field.table);
        const QString has = QStringLiteral("select count(*) as n from RptSpec where usewith = "
                                           "'%1' and datatype = %2")
                                .arg(table)
                                .arg(CodeDataType);
        Recordset probe = catalogue.openRecordset(has, RecordsetType::Snapshot);
        const bool missing = probe.isOpen() && probe.value(QStringLiteral("n")).toInt() == 0;
        probe.close();
        if (!missing)
            continue;
        // One statement, so that another program adding the field at the same time adds it
        // once: the second finds it there.
        catalogue.executeScript(
            QStringLiteral(
                "INSERT INTO RptSpec (specid, usewith, \"Desc\", fieldname, datatype, ismemo, "
                "defwidth, IsCurrency) SELECT last + 1, '%1', 'Work Order Code', '%2', %3, 0, "
                "1.7, 0 FROM (SELECT coalesce(max(specid), 0) AS last FROM RptSpec) WHERE NOT "
                "EXISTS (SELECT 1 FROM RptSpec WHERE usewith = '%1' AND datatype = %3);")
                .arg(table, QString::fromLatin1(field.fieldName))
                .arg(CodeDataType));
    }
}

bool SchemaUpgradeDue() {
    if (!state().dbMain.isOpen())
        return false;
    // A probe that fails because the file is damaged is no upgrade to make: the damage goes
    // to the repair when the upgrade meets it, and the repair keeps the damaged file itself.
    bool due = false;
    ErrorTrap quiet([&due](const DbError& error) {
        if (error.number != ErrDatabaseDamaged)
            due = true;
    });
    for (const QString& probe :
         {CurYearOnlyProbe, EmpIdProbe, AssignCodesProbe, OneOffProbe, InactiveNamesProbe,
          RowVersionsProbe, SiteIdProbe, EmailProbe, DigestLogProbe, SchedulingRulesProbe})
        if (!due)
            state().dbMain.checkQuery(probe);
    if (due || siteIdMissing())
        return true;
    // An index list that cannot be read is no reason to upgrade either.
    return !indexIsCurrent(TaskNameIndex).value_or(true) ||
           !indexIsCurrent(AssignIndex).value_or(true);
}

} // namespace tavrel
