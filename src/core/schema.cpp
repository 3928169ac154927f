#include "core/schema.h"

#include "core/database.h"
#include "core/errortrap.h"
#include "core/globals.h"

#include <QFile>

namespace tavrel {

namespace {

QString resourceText(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// True when opening `probeSql` fails for any reason: the column it names is missing.
bool probeFails(const QString& probeSql) {
    bool failed = false;
    ErrorTrap probe([&failed](const DbError&) { failed = true; });
    Recordset rs = dbMain.openRecordset(probeSql, RecordsetType::Snapshot);
    rs.close();
    return failed;
}

// Gives every assignment the location and type of its task, right after the columns were
// added. The first failure is reported and ends the fill.
void fillAssignCodes() {
    bool failed = false;
    ErrorTrap trap([&failed](const DbError&) {
        failed = true;
        HandleDataError();
    });
    Recordset rs = dbMain.openRecordset(QStringLiteral("select locid, typid, taskid from assign"));
    if (failed || rs.recordCount() == 0)
        return;
    while (!failed && !rs.isEOF()) {
        Recordset task =
            dbMain.openRecordset(QStringLiteral("select locid, typid from tasks where taskid=") +
                                     rs.value(QStringLiteral("taskid")).toString(),
                                 RecordsetType::Snapshot);
        if (!failed && task.recordCount() > 0) {
            rs.edit();
            rs.setValue(QStringLiteral("locid"), task.value(QStringLiteral("locid")));
            rs.setValue(QStringLiteral("typid"), task.value(QStringLiteral("typid")));
            SaveLoop(rs);
            FreeLocks();
        }
        task.close();
        rs.moveNext();
    }
    rs.close();
}

// Writes a new database file from a schema script; a half-written file is removed.
bool createFromScript(const QString& path, const QString& script, QString* error) {
    if (QFile::exists(path)) {
        if (error)
            *error = QStringLiteral("%1 already exists; it was left as it is.").arg(path);
        return false;
    }
    QString failure;
    {
        ErrorTrap trap([&failure](const DbError& e) {
            if (failure.isEmpty())
                failure = e.description;
        });
        Database db = Database::create(path);
        if (failure.isEmpty())
            db.executeScript(script);
        db.close();
    }
    if (failure.isEmpty())
        return true;
    if (error)
        *error = failure;
    QFile::remove(path);
    return false;
}

} // namespace

QList<QDate> weekMondays(int year) {
    QDate monday(year, 1, 1);
    while (monday.dayOfWeek() != Qt::Monday)
        monday = monday.addDays(1);
    QList<QDate> weeks;
    for (int week = 0; week < WeeksPerYear; ++week)
        weeks << monday.addDays(7 * week);
    return weeks;
}

bool createTaskDatabase(const QString& path, int year, QString* error) {
    QString script = resourceText(QStringLiteral(":/sql/tavrel_schema.sql"));
    const QList<QDate> mondays = weekMondays(year);
    for (int week = 1; week <= WeeksPerYear; ++week)
        script += QStringLiteral("INSERT INTO weeks (weeid, curdate) VALUES (%1, '%2');\n")
                      .arg(week)
                      .arg(mondays[week - 1].toString(Qt::ISODate));
    script += QStringLiteral("INSERT INTO settings (CurYear) VALUES (%1);\n").arg(year);

    return createFromScript(path, script, error);
}

bool createCatalogueDatabase(const QString& path, QString* error) {
    return createFromScript(path, resourceText(QStringLiteral(":/sql/rptspec_schema.sql")), error);
}

void AddCurYearOnlyColumn() {
    if (probeFails(QStringLiteral("select curyearonly from tasks")))
        dbMain.execute(QStringLiteral("ALTER TABLE tasks ADD COLUMN CurYearOnly bit;"));
}

void AddEmpIDColumn() {
    if (probeFails(QStringLiteral("select empid from tasks")))
        dbMain.execute(QStringLiteral("ALTER TABLE tasks ADD COLUMN EmpID LONG;"));
}

void AddAssignCodeColumns() {
    if (!probeFails(QStringLiteral("select locid from assign")))
        return;
    dbMain.execute(QStringLiteral("ALTER TABLE assign ADD COLUMN LocID LONG;"));
    dbMain.execute(QStringLiteral("ALTER TABLE assign ADD COLUMN TypID LONG;"));
    fillAssignCodes();
}

} // namespace tavrel
