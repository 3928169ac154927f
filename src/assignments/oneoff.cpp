#include "assignments/oneoff.h"

#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "data/database.h"

namespace tavrel {

QVariant addOneOffJob(const OneOffJob& job) {
    QVariant created;
    const bool written = RunAllOrNothing(state().dbMain, [&] {
        // Read inside the operation: a task deleted meanwhile gets no assignment.
        Recordset task = state().dbMain.openRecordset(
            QStringLiteral("select locid, typid from tasks where taskid = ") +
                QString::number(job.taskId),
            RecordsetType::Snapshot);
        if (!task.isOpen() || task.recordCount() == 0)
            return;
        // A query that selects no row: only the new one is wanted, not a keyset of the table.
        Recordset assign = state().dbMain.openRecordset(
            QStringLiteral("select * from assign where assid is null"), RecordsetType::Dynaset);
        if (!assign.isOpen())
            return;
        assign.addNew();
        const QVariant id = assign.value(QStringLiteral("assid"));
        assign.setValue(QStringLiteral("taskid"), job.taskId);
        assign.setValue(QStringLiteral("locid"), task.value(QStringLiteral("locid")));
        assign.setValue(QStringLiteral("typid"), task.value(QStringLiteral("typid")));
        assign.setValue(QStringLiteral("weeid"), QVariant());
        assign.setValue(QStringLiteral("duedate"), job.dueDate);
        assign.setValue(QStringLiteral("comphour"), 0);
        assign.setValue(QStringLiteral("compmin"), 0);
        assign.setValue(QStringLiteral("compdate"), QVariant());
        assign.setValue(QStringLiteral("compnotes"), job.notes);
        assign.setValue(QStringLiteral("empid"), job.empId);
        assign.setValue(QStringLiteral("manid"), QVariant());
        assign.setValue(QStringLiteral("completed"), false);
        assign.setValue(QStringLiteral("oneoff"), true);
        SaveLoop(assign);
        assign.close();
        created = id;
    });
    // A commit that failed took the row back with it.
    return written ? created : QVariant();
}

} // namespace tavrel
