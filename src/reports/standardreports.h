#pragma once

#include "reports/reportoutput.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrel {

// The five standard reports. The dated ones run for ReportStartDate to ReportEndDate, the
// Overdue report for today; each goes to ReportDest (the preview window or a text file).
//
// Work not assigned to an employee is shown as such rather than mixed into the first
// employee's part: in Completed Work it is a group of its own, "Unassigned" in the Employee
// column, with its own subtotal, so the totals are the sum of the subtotals; in Task
// Assignments it has its own page, "Tasks Not Assigned to an Employee", without a
// signature line, since nobody signs for it. Both come first, where the query sorts them.
void ReportCompletedWork();
void ReportExpenses();
void ReportMasterList();
void ReportOverdue();
void ReportTaskAssignments();

// The reports as the run sequence takes them, built for the current report dates and today.
StandardReport completedWorkReport();
StandardReport expenseReport();
StandardReport masterListReport();
StandardReport overdueReport();
StandardReport taskAssignmentsReport();

// The command line's names of the reports: completed, expenses, master, overdue, assignments.
QStringList standardReportNames();
// The report of that name, or none for a name that is not one of them.
std::optional<StandardReport> standardReportNamed(const QString& name);
// Whether the report of that name runs for a date range (all but the Overdue report).
bool standardReportIsDated(const QString& name);

// The caption of the Employee column and of the page of work without an employee.
inline const QString UnassignedEmployee = QStringLiteral("Unassigned");
inline const QString UnassignedPageTitle = QStringLiteral("Tasks Not Assigned to an Employee");

} // namespace tavrel
