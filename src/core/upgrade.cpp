#include "core/upgrade.h"

#include "core/errortrap.h"
#include "core/globals.h"
#include "data/database.h"

namespace tavrel {

namespace {

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

} // namespace

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
