#include "reports/workorders.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/workordercode.h"
#include "data/database.h"
#include "reports/reportdocument.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <QList>
#include <QVariant>

namespace tavrel {

namespace {

// The sheet's three table formats: one full-width column, two halves, three thirds.
const QString FullWidth = QStringLiteral("10440;");
const QString Halves = QStringLiteral("5220|5220;");
const QString Thirds = QStringLiteral("3480|3480|3480;");
// The sign-off lines: two thirds for the signature, one for the date.
const QString SignatureAndDate = QStringLiteral("6960|3480;");
const QString BlankLine = QStringLiteral("\r\n");

// The task name as far as the page header shows it.
constexpr int HeaderNameLength = 50;
// Rows under "Comments and Observations:" left for the worker's handwriting.
constexpr int CommentRows = 3;
// Minutes of "Time Required:" are always two digits.
constexpr int MinuteDigits = 2;

// A text column's value; cells are handed over as a list, so it is written as it is.
QString text(const Recordset& rs, const QString& field) {
    return rs.value(field).toString();
}

double number(const Recordset& rs, const QString& field) {
    return rs.value(field).toDouble();
}

// "5" -> "05", "-5" -> "-05": a number of minutes as two digits.
QString twoDigits(double value) {
    const int whole = qRound(value);
    return wholeNumber(whole, MinuteDigits);
}

// The first row of a lookup by key, or nothing when the key is empty or has no row.
// `fields` are read and the ones not empty joined by `separator`.
QString lookup(const QString& sqlBeforeKey, const QVariant& key, const QStringList& fields,
               const QString& separator = QStringLiteral(" ")) {
    if (key.isNull())
        return {};
    Recordset rs = state().dbMain.openRecordset(sqlBeforeKey + QString::number(key.toLongLong()),
                                                RecordsetType::Snapshot);
    if (!rs.isOpen() || rs.recordCount() == 0)
        return {};
    // An empty part (a person without a first name) leaves no separator behind.
    QStringList values;
    for (const QString& field : fields)
        if (const QString value = text(rs, field); !value.isEmpty())
            values << value;
    return values.join(separator);
}

// How many weeks of the year the task is scheduled in.
int scheduledWeeks(const QVariant& taskId) {
    if (taskId.isNull())
        return 0;
    Recordset weeks =
        state().dbMain.openRecordset(QStringLiteral("select taskid from taskweeks where "
                                                    "taskid = ") +
                                         QString::number(taskId.toLongLong()),
                                     RecordsetType::Snapshot);
    if (!weeks.isOpen() || weeks.recordCount() == 0)
        return 0;
    weeks.moveLast();
    return weeks.recordCount();
}

// One row of the sheet: label-and-value texts, one a column.
void addRow(const QString& format, const QStringList& cells) {
    reportDocument().AddTableRow(format, textRow(cells));
}

void blankLine() {
    reportDocument().WriteText(BlankLine);
}

// The sheet from its page header down, for the assignment `rs` stands on.
// One piece: the work order from top to bottom in the order it is printed, so that the code
// reads as the page.
void writeSheet(const Recordset& rs, SignOffLines signOff) {
    ReportDocument& doc = reportDocument();
    const QVariant taskId = rs.value(QStringLiteral("assign.taskid"));
    // The task name is shown whole in its part of the header, whatever it holds.
    doc.SetPageHeader(
        PageLine{QStringLiteral("Work Order: ") +
                     rs.value(QStringLiteral("taskname")).toString().left(HeaderNameLength),
                 {},
                 QStringLiteral("Task #: ") +
                     (taskId.isNull() ? QString() : wholeNumber(taskId.toLongLong())),
                 PageLine::Part::None});
    // Without the site's identifier there is no code: the sheet is printed without one.
    doc.SetPageBadge(workordercode::siteCode(workordercode::CodeKind::Assignment,
                                             rs.value(QStringLiteral("assid")).toLongLong()));

    if (const int weeks = scheduledWeeks(taskId); weeks > 0) {
        const QString frequency = weeks == 1 ? QStringLiteral("Once a year")
                                             : wholeNumber(weeks) + QStringLiteral(" times a year");
        addRow(Halves, {QStringLiteral("Frequency: ") + frequency,
                        QStringLiteral("Due Date: ") +
                            shortDate(rs.value(QStringLiteral("duedate")).toDate())});
    }
    blankLine();

    const QString manuf = text(rs, QStringLiteral("manuf"));
    const QString model = text(rs, QStringLiteral("model"));
    const QString serialNo = text(rs, QStringLiteral("serialno"));
    if (!manuf.isEmpty() || !model.isEmpty() || !serialNo.isEmpty())
        addRow(Thirds, {QStringLiteral("Manufacturer: ") + manuf, QStringLiteral("Model:") + model,
                        QStringLiteral("Serial No.:") + serialNo});

    const QStringList where{
        lookup(QStringLiteral("select * from locations where locid = "),
               rs.value(QStringLiteral("assign.locid")), {QStringLiteral("locdesc")}),
        lookup(QStringLiteral("select * from types where typid = "),
               rs.value(QStringLiteral("assign.typid")), {QStringLiteral("typdesc")}),
        text(rs, QStringLiteral("Tag"))};
    if (!where.join(QString()).isEmpty()) {
        addRow(Thirds, where);
        blankLine();
    }

    addRow(FullWidth,
           {QStringLiteral("Task Description: ") + text(rs, QStringLiteral("taskdesc"))});
    blankLine();
    if (const QString tools = text(rs, QStringLiteral("tools")); !tools.isEmpty()) {
        addRow(FullWidth, {QStringLiteral("Tools/Techniques Required: ") + tools});
        blankLine();
    }
    if (const QString results = text(rs, QStringLiteral("results")); !results.isEmpty()) {
        addRow(FullWidth, {QStringLiteral("Expected Results: ") + results});
        blankLine();
    }

    const QString bestTime = text(rs, QStringLiteral("besttime"));
    const double hours = number(rs, QStringLiteral("reqhour"));
    const double minutes = number(rs, QStringLiteral("reqmin"));
    if (!bestTime.isEmpty() || hours > 0 || minutes > 0) {
        QString best;
        if (!bestTime.isEmpty())
            best = QStringLiteral("Best Time to Complete: ") + bestTime;
        QString completion;
        if (hours > 0 || minutes > 0) {
            completion = QStringLiteral("Completion Time: ");
            if (hours > 0)
                completion += numberText(hours) + QStringLiteral(" Hours ");
            if (minutes > 0)
                completion += numberText(minutes) + QStringLiteral(" Minutes");
        }
        addRow(Halves, {best, completion});
    }
    blankLine();

    addRow(FullWidth, {QStringLiteral("Comments and Observations:")});
    for (int row = 0; row < CommentRows; ++row)
        addRow(FullWidth, {QString()});
    blankLine();

    addRow(Halves, {QStringLiteral("Completed by:") +
                        lookup(QStringLiteral("select lastname, firstname from employees where "
                                              "empid = "),
                               rs.value(QStringLiteral("assign.empid")),
                               {QStringLiteral("firstname"), QStringLiteral("lastname")}),
                    QStringLiteral("Inspected by:") +
                        lookup(QStringLiteral("select manfirst, manlast from managers where "
                                              "manid = "),
                               rs.value(QStringLiteral("manid")),
                               {QStringLiteral("manfirst"), QStringLiteral("manlast")})});

    const QVariant compDate = rs.value(QStringLiteral("compdate"));
    const double compHour = number(rs, QStringLiteral("comphour"));
    const double compMin = number(rs, QStringLiteral("compmin"));
    QString timeRequired;
    if (compHour + compMin > 0)
        timeRequired = numberText(compHour) + QLatin1Char(':') + twoDigits(compMin);
    addRow(Halves, {QStringLiteral("Completion Date:") +
                        (compDate.isNull() ? QString() : shortDate(compDate.toDate())),
                    QStringLiteral("Time Required:") + timeRequired});

    if (signOff == SignOffLines::With) {
        blankLine();
        addRow(SignatureAndDate,
               {QStringLiteral("Technician's Signature:"), QStringLiteral("Date:")});
        addRow(SignatureAndDate,
               {QStringLiteral("Inspector's Signature:"), QStringLiteral("Date:")});
    }
}

} // namespace

void PrintWorkOrder(qint32& assid, SignOffLines signOff) {
    ErrorTrap trap;
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select * from assign left join tasks on assign.taskid = tasks.taskid "
                       "where assid = ") +
            QString::number(assid),
        RecordsetType::Snapshot);
    if (!rs.isOpen())
        return; // why was shown
    if (rs.recordCount() == 0) {
        ui().msgBox(QStringLiteral("That task assignment was not found"), MsgButtons::Ok,
                    MsgIcon::None, {});
        return;
    }
    ReportDocument& doc = reportDocument();
    if (!state().BatchPrinting) {
        state().RepeatHeading = false;
        doc.BeginDocument();
    }
    writeSheet(rs, signOff);
    if (!state().BatchPrinting) {
        doc.EndDocument();
        showReportOutput();
    }
}

QString workOrderRangeSql(const QDate& first, const QDate& last, bool uncompletedOnly) {
    return QStringLiteral("select assid from assign left join tasks on assign.taskid = "
                          "tasks.taskid where duedate >= ") +
           jetDateLiteral(first) + QStringLiteral(" and duedate <= ") + jetDateLiteral(last) +
           (uncompletedOnly ? QStringLiteral(" and not completed") : QString()) +
           QStringLiteral(" order by duedate, taskname");
}

QString monthlyWorkOrderSql(const QDate& day) {
    const QDate first(day.year(), day.month(), 1);
    return QStringLiteral("select assid from assign left join tasks on assign.taskid = "
                          "tasks.taskid where duedate >= ") +
           jetDateLiteral(first) + QStringLiteral(" and duedate < ") +
           jetDateLiteral(first.addMonths(1)) + QStringLiteral(" order by duedate, taskname");
}

int printWorkOrderBatch(const QString& sql, SignOffLines signOff) {
    ErrorTrap trap;
    QList<qint32> assignments;
    {
        Recordset rs = state().dbMain.openRecordset(sql, RecordsetType::Snapshot);
        if (!rs.isOpen() || rs.recordCount() == 0)
            return 0;
        rs.moveLast();
        const int count = rs.recordCount();
        rs.moveFirst();
        // Bounded by the count: a move that failed must not keep the loop going.
        for (int row = 0; row < count && !rs.isEOF(); ++row, rs.moveNext())
            assignments << rs.value(QStringLiteral("assid")).toInt();
    }
    if (assignments.isEmpty())
        return 0;

    ReportDocument& doc = reportDocument();
    state().BatchPrinting = true;
    state().RepeatHeading = false;
    doc.BeginDocument();
    doc.setTitle(QStringLiteral("Work Orders"));
    for (qsizetype i = 0; i < assignments.size(); ++i) {
        if (i > 0)
            doc.StartNewPage();
        PrintWorkOrder(assignments[i], signOff);
    }
    state().BatchPrinting = false;
    doc.EndDocument();
    return int(assignments.size());
}

} // namespace tavrel
