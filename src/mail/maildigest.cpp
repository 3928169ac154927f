#include "mail/maildigest.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "data/database.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "text/datetext.h"
#include "text/textfunctions.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

namespace tavrel {

namespace {

const QString WorkOrdersFile = QStringLiteral("workorders.pdf");

// A name with an address to send to.
struct Recipient {
    qint64 id = 0;
    QString name;
    QString address;
};

// One assignment as a digest lists it.
struct DigestLine {
    qint64 employee = 0; // 0: nobody
    QString employeeName;
    QDate due;
    QString task;
    QString location;
};

QString fullName(const QVariant& first, const QVariant& last) {
    return (first.toString().trimmed() + QLatin1Char(' ') + last.toString().trimmed()).trimmed();
}

// The active names of `table` that have an address, by last and first name. An address
// that is not one (written by another program: the editors refuse it) is no recipient; it
// is told as a failure of the run.
QList<Recipient> recipients(const QString& table, const QString& id, const QString& first,
                            const QString& last, DigestRun& run) {
    QList<Recipient> out;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select %1 as id, %2 as firstname, %3 as lastname, email from %4 where "
                       "not inactive order by %3, %2")
            .arg(id, first, last, table),
        RecordsetType::Snapshot);
    for (; rs.isOpen() && !rs.isEOF(); rs.moveNext()) {
        const QString address = rs.value(QStringLiteral("email")).toString().trimmed();
        if (address.isEmpty())
            continue;
        const QString name =
            fullName(rs.value(QStringLiteral("firstname")), rs.value(QStringLiteral("lastname")));
        if (!isEmailAddress(address)) {
            run.failures << QStringLiteral("The digest to %1 was not sent: \"%2\" is not an "
                                           "e-mail address.")
                                .arg(name, address.simplified());
            continue;
        }
        out.append({rs.value(QStringLiteral("id")).toLongLong(), name, address});
    }
    return out;
}

const QString AssignmentJoins = QStringLiteral(
    "((assign left join tasks on assign.taskid = tasks.taskid) left join locations on "
    "tasks.locid = locations.locid) left join employees on assign.empid = employees.empid");

QList<DigestLine> digestLines(const QString& where, const QString& order) {
    QList<DigestLine> out;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select assign.empid as worker, firstname, lastname, duedate, taskname, "
                       "locdesc from ") +
            AssignmentJoins + QStringLiteral(" where ") + where + QStringLiteral(" order by ") +
            order,
        RecordsetType::Snapshot);
    for (; rs.isOpen() && !rs.isEOF(); rs.moveNext())
        out.append(
            {rs.value(QStringLiteral("worker")).toLongLong(),
             fullName(rs.value(QStringLiteral("firstname")), rs.value(QStringLiteral("lastname"))),
             rs.value(QStringLiteral("duedate")).toDate(),
             rs.value(QStringLiteral("taskname")).toString(),
             rs.value(QStringLiteral("locdesc")).toString()});
    return out;
}

QString lineText(const DigestLine& line) {
    QString text = QStringLiteral("  ") + shortDate(line.due) + QStringLiteral("  ") + line.task;
    if (!line.location.isEmpty())
        text += QStringLiteral("  (") + line.location + QLatin1Char(')');
    return text + QLatin1Char('\n');
}

// The employee's open work up to the end of the week: not completed and due by Sunday.
QString employeeWhere(qint64 employee, const QDate& sunday) {
    return QStringLiteral("not completed and assign.empid = %1 and duedate <= %2")
        .arg(employee)
        .arg(jetDateLiteral(sunday));
}

// The work orders of the employee's digest as a PDF, one sheet a page; empty when they could
// not be made (the reason has gone to the trap in force).
QByteArray workOrdersPdf(qint64 employee, const QDate& sunday) {
    const int written = printWorkOrderBatch(
        QStringLiteral(
            "select assign.assid as assid from assign left join tasks on assign.taskid = "
            "tasks.taskid where ") +
        employeeWhere(employee, sunday) + QStringLiteral(" order by duedate, taskname"));
    QTemporaryDir scratch;
    if (written == 0 || !scratch.isValid())
        return {};
    const QString path = scratch.filePath(WorkOrdersFile);
    QString error;
    if (!printToPdf(reportDocument(), path, &error)) {
        raiseError(ErrFileIo, error);
        return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool alreadySent(const char* kind, qint64 id, const QDate& day) {
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select sentid from digestsent where kind = '%1' and recipid = %2 and "
                       "sentday = %3")
            .arg(QLatin1String(kind))
            .arg(id)
            .arg(jetDateLiteral(day)),
        RecordsetType::Snapshot);
    return rs.isOpen() && !rs.isEOF();
}

void logSent(const char* kind, const Recipient& to, const QDate& day, const QDateTime& now) {
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select * from digestsent where sentid = 0"), RecordsetType::Dynaset);
    if (!rs.isOpen())
        return;
    rs.addNew();
    rs.setValue(QStringLiteral("kind"), QString::fromLatin1(kind));
    rs.setValue(QStringLiteral("recipid"), to.id);
    rs.setValue(QStringLiteral("address"), to.address);
    rs.setValue(QStringLiteral("sentday"), day);
    rs.setValue(QStringLiteral("senttime"), now);
    SaveLoop(rs);
}

QString employeeText(const Recipient& to, const QList<DigestLine>& overdue,
                     const QList<DigestLine>& due, const QDate& monday, const QDate& today) {
    QString text = QStringLiteral("Hello %1,\n\n").arg(to.name);
    text += QStringLiteral("this is your work for the week %1, as Tavrel has it on %2.\n")
                .arg(shortDateRange(monday, monday.addDays(6), QStringLiteral(" - ")),
                     shortDate(today));
    if (!overdue.isEmpty()) {
        text += QStringLiteral("\nOverdue (%1):\n").arg(overdue.size());
        for (const DigestLine& line : overdue)
            text += lineText(line);
    }
    if (!due.isEmpty()) {
        text += QStringLiteral("\nDue this week (%1):\n").arg(due.size());
        for (const DigestLine& line : due)
            text += lineText(line);
    }
    text += QStringLiteral("\nThe work orders of these assignments are attached (%1), one on "
                           "each page.\n")
                .arg(WorkOrdersFile);
    return text;
}

QString managerText(const Recipient& to, const QList<DigestLine>& overdue, const QDate& today) {
    QString text = QStringLiteral("Hello %1,\n\n").arg(to.name);
    text += QStringLiteral("%1 of the site %2 overdue on %3 (not completed and due before "
                           "that day), by employee:\n")
                .arg(overdue.size() == 1 ? QStringLiteral("1 assignment")
                                         : QStringLiteral("%1 assignments").arg(overdue.size()),
                     overdue.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                     shortDate(today));
    for (qsizetype i = 0; i < overdue.size();) {
        qsizetype end = i;
        while (end < overdue.size() && overdue.at(end).employee == overdue.at(i).employee)
            ++end;
        const QString who = overdue.at(i).employee == 0 || overdue.at(i).employeeName.isEmpty()
                                ? QStringLiteral("Nobody assigned")
                                : overdue.at(i).employeeName;
        text += QStringLiteral("\n%1 (%2):\n").arg(who).arg(end - i);
        for (; i < end; ++i)
            text += lineText(overdue.at(i));
    }
    return text;
}

// Sends one digest unless today's went before; false when the run must stop (the server
// cannot be reached).
bool deliver(const std::function<SendResult(const MailMessage&)>& send, const char* kind,
             const Recipient& to, const MailMessage& message, const QDate& today,
             const QDateTime& now, DigestRun& run) {
    const SendResult result = send(message);
    if (result.outcome == SendResult::Sent) {
        ++run.sent;
        logSent(kind, to, today, now);
        return true;
    }
    if (result.outcome == SendResult::ServerFailed) {
        run.serverFailed = true;
        run.failures = {QStringLiteral("No digest could be sent through the mail server: %1. "
                                       "The digests not sent go with the next run.")
                            .arg(result.error)};
        return false;
    }
    run.failures << QStringLiteral("The digest to %1 <%2> was not sent: %3")
                        .arg(to.name, to.address, result.error);
    return true;
}

} // namespace

DigestRun sendMailDigests(const std::function<SendResult(const MailMessage&)>& send,
                          const QDate& today, const QDateTime& now) {
    DigestRun run;
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate sunday = monday.addDays(6);
    for (const Recipient& to :
         recipients(QStringLiteral("employees"), QStringLiteral("empid"),
                    QStringLiteral("firstname"), QStringLiteral("lastname"), run)) {
        if (alreadySent(DigestKindEmployee, to.id, today)) {
            ++run.alreadySent;
            continue;
        }
        const QList<DigestLine> lines =
            digestLines(employeeWhere(to.id, sunday), QStringLiteral("duedate, taskname"));
        if (lines.isEmpty())
            continue;
        QList<DigestLine> overdue;
        QList<DigestLine> due;
        for (const DigestLine& line : lines)
            (line.due < today ? overdue : due).append(line);
        MailMessage message;
        message.to = to.address;
        message.toName = to.name;
        message.subject =
            QStringLiteral("Tavrel: your work for the week of %1").arg(shortDate(monday));
        message.text = employeeText(to, overdue, due, monday, today);
        message.attachmentName = WorkOrdersFile;
        message.attachmentType = QStringLiteral("application/pdf");
        message.attachmentData = workOrdersPdf(to.id, sunday);
        if (message.attachmentData.isEmpty()) {
            run.failures << QStringLiteral("The digest to %1 <%2> was not sent: its work orders "
                                           "could not be written.")
                                .arg(to.name, to.address);
            continue;
        }
        if (!deliver(send, DigestKindEmployee, to, message, today, now, run))
            return run;
    }
    const QList<Recipient> managers =
        recipients(QStringLiteral("managers"), QStringLiteral("manid"), QStringLiteral("manfirst"),
                   QStringLiteral("manlast"), run);
    if (managers.isEmpty())
        return run;
    const QList<DigestLine> overdue =
        digestLines(QStringLiteral("not completed and duedate < ") + jetDateLiteral(today),
                    QStringLiteral("lastname, firstname, assign.empid, duedate, taskname"));
    if (overdue.isEmpty())
        return run;
    for (const Recipient& to : managers) {
        if (alreadySent(DigestKindManager, to.id, today)) {
            ++run.alreadySent;
            continue;
        }
        MailMessage message;
        message.to = to.address;
        message.toName = to.name;
        message.subject =
            QStringLiteral("Tavrel: overdue work of the site on %1").arg(shortDate(today));
        message.text = managerText(to, overdue, today);
        if (!deliver(send, DigestKindManager, to, message, today, now, run))
            return run;
    }
    return run;
}

QString digestSummary(const DigestRun& run) {
    QString text = run.sent == 1 ? QStringLiteral("Sent 1 digest")
                                 : QStringLiteral("Sent %1 digests").arg(run.sent);
    if (run.alreadySent > 0)
        text += QStringLiteral("; %1 had today's digest already").arg(run.alreadySent);
    return text + QLatin1Char('.');
}

} // namespace tavrel
