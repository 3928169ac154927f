#include "reports/standardreports.h"

#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/units.h"
#include "text/datetext.h"
#include "text/textfunctions.h"

#include <QDateTime>
#include <QStringBuilder>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace tavrel {

namespace {

const QString LineBreak = QStringLiteral("\r\n");
const QString Signature = LineBreak + LineBreak +
                          QStringLiteral("Signature:  __________________________________________");

QString field(const Recordset& rows, const QString& name) {
    return rows.value(name).toString();
}

QDate dateField(const Recordset& rows, const QString& name) {
    const QVariant value = rows.value(name);
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
}

// Hours and minutes are whole numbers; one written with a fraction by another tool counts
// rounded, so that sums and carried hours stay whole.
qint64 wholeField(const Recordset& rows, const QString& name) {
    return std::llround(rows.value(name).toDouble());
}

// A number as it is stored ("2", "1.5"); nothing for a missing value.
QString numberField(const Recordset& rows, const QString& name) {
    const QVariant value = rows.value(name);
    if (value.isNull())
        return {};
    const double number = value.toDouble();
    return number == std::trunc(number) ? wholeNumber(qint64(number))
                                        : localDigits(QString::number(number));
}

qint64 currencyUnits(const Recordset& rows, const QString& name) {
    return tavrel::currencyUnits(rows.value(name).toDouble());
}

Cell moneyCell(qint64 units) {
    const double amount = currencyAmount(units);
    return Cell::ofMoney(amount, currency(amount));
}

Cell wholeCell(qint64 number) {
    return Cell::ofNumber(double(number), wholeNumber(number));
}

Cell textCell(const QString& text) {
    return Cell::ofText(text);
}

// The employee a row belongs to; 0 for work without one (no employee is numbered 0).
qint64 employeeOf(const Recordset& rows) {
    return rows.value(QStringLiteral("empid")).toLongLong();
}

// The employee `id` of the row, by name; "Unassigned" for none.
QString employeeName(const Recordset& rows, qint64 id) {
    return id == 0 ? UnassignedEmployee
                   : firstAndLastName(field(rows, QStringLiteral("firstname")),
                                      field(rows, QStringLiteral("lastname")));
}

// Date literals of the reports' queries: month/day/year with a four-digit year, or Jet's
// "mm/dd/yy" (jetDateLiteral).
QString sqlDate(const QDate& date) {
    return QStringLiteral("#%1/%2/%3#").arg(date.month()).arg(date.day()).arg(date.year());
}

QString dateRange(const QString& joiner) {
    return shortDateRange(state().ReportStartDate, state().ReportEndDate, joiner);
}

// The short dates of a report's rows. Neighbouring rows often share a date (the Overdue
// report's come in date order), so a date is formatted once for each run of rows with it.
class ShortDates {
public:
    const QString& operator()(const QDate& date) {
        if (!known_ || date != date_) {
            date_ = date;
            text_ = shortDate(date);
            known_ = true;
        }
        return text_;
    }

private:
    bool known_ = false;
    QDate date_;
    QString text_;
};

// A subtotal or total row of hours and minutes, minutes carried into whole hours.
CellRow hoursAndMinutesRow(const QString& label, qint64 hours, qint64 minutes) {
    return {textCell({}), textCell(label), wholeCell(hours + minutes / MinutesPerHour),
            wholeCell(minutes % MinutesPerHour), textCell({})};
}

Cell dateCell(ShortDates& dates, const QDate& date) {
    return Cell::ofDate(date, dates(date));
}

void writeCompletedWork(Recordset& rows, ReportOutput& out) {
    ShortDates dates;
    std::optional<qint64> employee; // the group being written; none before the first
    qint64 subHours = 0;
    qint64 subMinutes = 0;
    qint64 totalHours = 0;
    qint64 totalMinutes = 0;
    auto closeGroup = [&] {
        out.summaryRow(hoursAndMinutesRow(QStringLiteral("Subtotal:"), subHours, subMinutes));
        out.text(LineBreak);
        subHours = 0;
        subMinutes = 0;
    };
    for (; !rows.isEOF(); rows.moveNext()) {
        const qint64 id = employeeOf(rows);
        if (employee != id) {
            if (employee)
                closeGroup();
            employee = id;
        }
        const QString name = employeeName(rows, id);
        const qint64 hours = wholeField(rows, QStringLiteral("comphour"));
        const qint64 minutes = wholeField(rows, QStringLiteral("compmin"));
        out.row({dateCell(dates, dateField(rows, QStringLiteral("compdate"))),
                 textCell(field(rows, QStringLiteral("taskname"))), wholeCell(hours),
                 wholeCell(minutes), textCell(name)});
        subHours += hours;
        subMinutes += minutes;
        totalHours += hours;
        totalMinutes += minutes;
    }
    if (employee)
        closeGroup();
    out.summaryRow(hoursAndMinutesRow(QStringLiteral("Totals:"), totalHours, totalMinutes));
}

void writeExpenses(Recordset& rows, ReportOutput& out) {
    ShortDates dates;
    qint64 parts = 0;
    qint64 labor = 0;
    qint64 tax = 0;
    qint64 total = 0;
    for (; !rows.isEOF(); rows.moveNext()) {
        const qint64 rowParts = currencyUnits(rows, QStringLiteral("parts"));
        const qint64 rowLabor = currencyUnits(rows, QStringLiteral("labor"));
        const qint64 rowTax = currencyUnits(rows, QStringLiteral("tax"));
        const qint64 rowTotal = currencyUnits(rows, QStringLiteral("totalcost"));
        out.row({dateCell(dates, dateField(rows, QStringLiteral("compdate"))),
                 textCell(field(rows, QStringLiteral("taskname"))), moneyCell(rowParts),
                 moneyCell(rowLabor), moneyCell(rowTax), moneyCell(rowTotal)});
        parts += rowParts;
        labor += rowLabor;
        tax += rowTax;
        total += rowTotal;
    }
    out.summaryRow({textCell({}), textCell(QStringLiteral("Totals:")), moneyCell(parts),
                    moneyCell(labor), moneyCell(tax), moneyCell(total)});
}

// "1 Hours 15 Minutes", "2 Hours ", "30 Minutes", or nothing when no time is given.
QString timeNeeded(const Recordset& rows) {
    QString text;
    if (rows.value(QStringLiteral("reqhour")).toDouble() > 0)
        text += numberField(rows, QStringLiteral("reqhour")) + QStringLiteral(" Hours ");
    if (rows.value(QStringLiteral("reqmin")).toDouble() > 0)
        text += numberField(rows, QStringLiteral("reqmin")) + QStringLiteral(" Minutes");
    return text;
}

// Follows the task name of a one-off job in the Master List by Week.
const QString OneOffMark = QStringLiteral(" (one-off)");

void writeMasterList(Recordset& rows, ReportOutput& out) {
    std::optional<QDate> week;
    for (; !rows.isEOF(); rows.moveNext()) {
        const QDate due = dateField(rows, QStringLiteral("duedate"));
        if (week != due) {
            if (week)
                out.text(LineBreak);
            out.text(QStringLiteral("Week of ") + shortDate(due) + LineBreak);
            out.group(Cell::ofDate(due, shortDate(due)));
            week = due;
        }
        QString task = field(rows, QStringLiteral("taskname"));
        if (rows.value(QStringLiteral("oneoff")).toBool())
            task += OneOffMark;
        out.row({textCell(task), textCell(timeNeeded(rows))});
    }
}

void writeOverdue(Recordset& rows, ReportOutput& out) {
    ShortDates dates;
    for (; !rows.isEOF(); rows.moveNext())
        out.row({dateCell(dates, dateField(rows, QStringLiteral("duedate"))),
                 textCell(field(rows, QStringLiteral("taskname"))),
                 textCell(field(rows, QStringLiteral("locdesc"))),
                 textCell(field(rows, QStringLiteral("besttime"))),
                 // hours:minutes of work, not a time of day
                 textCell(numberField(rows, QStringLiteral("reqhour")) % QLatin1Char(':') %
                          numberField(rows, QStringLiteral("reqmin")))});
}

void writeTaskAssignments(Recordset& rows, ReportOutput& out) {
    std::optional<qint64> employee;
    for (; !rows.isEOF(); rows.moveNext()) {
        const qint64 id = employeeOf(rows);
        if (employee != id) {
            if (employee) {
                if (*employee != 0)
                    out.text(Signature);
                out.newPage();
            }
            const QString name = employeeName(rows, id);
            const QString title =
                id == 0 ? UnassignedPageTitle : QStringLiteral("Tasks Assigned to ") + name;
            // The names stand in a part of their own, shown whole whatever they hold.
            out.setPageHeader(
                PageLine{title + QStringLiteral(" for ") + dateRange(QStringLiteral(" - ")),
                         {},
                         QStringLiteral("Page %d"),
                         PageLine::Part::Right});
            out.group(Cell::ofText(name));
            employee = id;
        }
        out.row({textCell(field(rows, QStringLiteral("taskname"))), textCell({})});
    }
    if (employee && *employee != 0)
        out.text(Signature);
}

struct NamedReport {
    const char* name;
    StandardReport (*build)();
    bool dated;
};

const NamedReport Reports[] = {
    {"completed", completedWorkReport, true},     {"expenses", expenseReport, true},
    {"master", masterListReport, true},           {"overdue", overdueReport, false},
    {"assignments", taskAssignmentsReport, true},
};

const NamedReport* namedReport(const QString& name) {
    for (const NamedReport& report : Reports)
        if (name == QLatin1String(report.name))
            return &report;
    return nullptr;
}

} // namespace

StandardReport completedWorkReport() {
    StandardReport r;
    r.format = QStringLiteral("1240|3800|>700|>900|2880;");
    r.columnHeadings =
        QStringList{QStringLiteral("Date Completed"), QStringLiteral("Task Name"),
                    QStringLiteral("Hours"), QStringLiteral("Minutes"), QStringLiteral("Employee")};
    r.title = QStringLiteral("Completed Work by Employee for ") + dateRange(QStringLiteral(" to "));
    r.pageHeader = QLatin1Char('|') + r.title + QStringLiteral("|Page %d");
    r.fileRowEnd = FileRowEnd::Tab;
    r.fileName = QStringLiteral("CompletedWork.txt");
    r.sql = QStringLiteral("Select assign.empid as empid, taskname, firstname, lastname, "
                           "compdate, comphour, compmin from (assign left join tasks on "
                           "assign.taskID = tasks.taskID) left join employees on assign.empID = "
                           "employees.empID where compDate >= ") +
            sqlDate(state().ReportStartDate) + QStringLiteral(" and compDate <= ") +
            sqlDate(state().ReportEndDate) +
            QStringLiteral(" and completed order by lastname, firstname, compdate");
    r.noRowsText =
        QStringLiteral("There are no completed assignments within the specified date range.");
    r.noRowsTitle = QStringLiteral("No Records Found");
    r.writeRows = writeCompletedWork;
    return r;
}

StandardReport expenseReport() {
    StandardReport r;
    r.format = QStringLiteral("1240|3500|>1400|>1400|>1400|>1400;");
    r.columnHeadings = QStringList{
        QStringLiteral("Date Completed"), QStringLiteral("Task Name"), QStringLiteral("Parts"),
        QStringLiteral("Labor"),          QStringLiteral("Tax"),       QStringLiteral("Total")};
    r.title = QStringLiteral("Tavrel Expense Report for ") + dateRange(QStringLiteral(" to "));
    r.pageHeader = QLatin1Char('|') + r.title + QStringLiteral("|Page %d");
    r.fileRowEnd = FileRowEnd::Tab;
    r.fileName = QStringLiteral("Expenses.txt");
    r.sql = QStringLiteral("Select taskname, compdate, parts, labor, tax, totalcost from assign "
                           "left join tasks on assign.taskID = tasks.taskID where compDate >= ") +
            sqlDate(state().ReportStartDate) + QStringLiteral(" and compDate <= ") +
            sqlDate(state().ReportEndDate) +
            QStringLiteral(" and completed and totalcost <> 0 order by compdate, taskname");
    r.noRowsText = QStringLiteral(
        "No completed assignments have been entered with expenses for the selected date range.");
    r.noRowsTitle = QStringLiteral("No Reportable Records");
    r.writeRows = writeExpenses;
    return r;
}

StandardReport masterListReport() {
    StandardReport r;
    r.format = QStringLiteral("5800|2000;");
    r.title = QStringLiteral("Master Task List for ") + dateRange(QStringLiteral(" - "));
    r.pageHeader = r.title + QStringLiteral("||Page %d");
    r.style = TableStyle::Plain;
    r.fileRowEnd = FileRowEnd::Nothing;
    r.fileName = QStringLiteral("MasterList.txt");
    r.groupHeading = QStringLiteral("Week");
    r.flatHeadings = QStringList{QStringLiteral("Task Name"), QStringLiteral("Time Needed")};
    r.flatFormat = QStringLiteral("1240|5800|2000;");
    // The one-off flag is read besides the listed columns: a job outside the schedule is
    // marked as such in the week it falls in.
    r.sql = QStringLiteral("Select taskname, duedate, reqhour, reqmin, oneoff from assign left "
                           "join tasks on assign.taskid = tasks.taskid where duedate >= ") +
            jetDateLiteral(state().ReportStartDate) + QStringLiteral(" and duedate <= ") +
            jetDateLiteral(state().ReportEndDate) + QStringLiteral(" order by duedate, taskname");
    r.noRowsText =
        QStringLiteral("There are no assignments in the database within the specified date range.");
    r.noRowsTitle = QStringLiteral("No Records Found");
    r.writeRows = writeMasterList;
    return r;
}

StandardReport overdueReport() {
    StandardReport r;
    r.format = QStringLiteral("1240|3200|2300|2300|>1440;");
    r.columnHeadings = QStringList{QStringLiteral("Date Due"), QStringLiteral("Task Name"),
                                   QStringLiteral("Location"), QStringLiteral("Best Time"),
                                   QStringLiteral("Time Required")};
    r.title = QStringLiteral("Tavrel Overdue Assignments");
    r.pageHeader = QLatin1Char('|') + r.title + QStringLiteral("|Page %d");
    r.fileRowEnd = FileRowEnd::Tab;
    r.fileName = QStringLiteral("Overdue.txt");
    r.sql = QStringLiteral("Select taskname, duedate, locdesc, besttime, reqhour, reqmin from "
                           "(assign left join tasks on assign.taskID = tasks.taskID) left join "
                           "locations on tasks.locid = locations.locid where not completed and "
                           "duedate < ") +
            jetDateLiteral(ui().today()) + QStringLiteral(" order by duedate, taskname");
    r.noRowsText = QStringLiteral("There are no overdue assignments in the database.");
    r.noRowsTitle = QStringLiteral("No Reportable Records");
    r.writeRows = writeOverdue;
    return r;
}

StandardReport taskAssignmentsReport() {
    StandardReport r;
    r.format = QStringLiteral("5800|2000;");
    r.columnHeadings = QStringList{QStringLiteral("Task Name"), QStringLiteral("Completed")};
    r.title = QStringLiteral("Task Assignments for ") + dateRange(QStringLiteral(" - "));
    r.repeatHeadings = true;
    // Each employee's part sets the header of its own pages.
    r.style = TableStyle::Plain;
    r.fileRowEnd = FileRowEnd::Nothing;
    r.fileName = QStringLiteral("TaskAssignments.txt");
    r.groupHeading = QStringLiteral("Employee");
    r.flatFormat = QStringLiteral("2880|5800|2000;");
    r.sql = QStringLiteral("Select taskname, duedate, lastname, firstname, assign.empid as empid "
                           "from (assign left join tasks on assign.taskid = tasks.taskid) left "
                           "join employees on assign.empid = employees.empid where duedate >= ") +
            jetDateLiteral(state().ReportStartDate) + QStringLiteral(" and duedate <= ") +
            jetDateLiteral(state().ReportEndDate) +
            QStringLiteral(" order by lastname, firstname, assign.empid, taskname");
    r.noRowsText =
        QStringLiteral("There are no assignments in the database within the specified date range.");
    r.noRowsTitle = QStringLiteral("No Records Found");
    r.writeRows = writeTaskAssignments;
    return r;
}

void ReportCompletedWork() {
    runStandardReport(completedWorkReport());
}
void ReportExpenses() {
    runStandardReport(expenseReport());
}
void ReportMasterList() {
    runStandardReport(masterListReport());
}
void ReportOverdue() {
    runStandardReport(overdueReport());
}
void ReportTaskAssignments() {
    runStandardReport(taskAssignmentsReport());
}

QStringList standardReportNames() {
    QStringList names;
    for (const NamedReport& report : Reports)
        names.append(QLatin1String(report.name));
    return names;
}

std::optional<StandardReport> standardReportNamed(const QString& name) {
    const NamedReport* report = namedReport(name);
    if (!report)
        return std::nullopt;
    return report->build();
}

bool standardReportIsDated(const QString& name) {
    const NamedReport* report = namedReport(name);
    return report && report->dated;
}

} // namespace tavrel
