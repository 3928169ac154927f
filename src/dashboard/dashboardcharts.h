#pragma once

#include "dashboard/dashboard.h"

#include <QSizeF>

#include <functional>

class QChart;
class QPainter;
class QRectF;

namespace tavrel {

class ReportDocument;

// The six charts of the dashboard, in the order they are laid out (three across, two down).
enum class DashboardChart { OnTime, Backlog, Costs, TopHours, TopCosts, OpenWork };
inline constexpr int DashboardChartCount = 6;
inline constexpr int DashboardColumns = 3;

// What clicking a bar or point does: opens the work list on the filter of its assignments.
using OpenAssignments = std::function<void(const WorkListFilter&)>;

// One chart of `figures`, `target` the on-time share aimed at (a line on that chart). With
// `open`, a click on a bar or point calls it with the filter of exactly the assignments the
// bar or point counts.
QChart* makeDashboardChart(DashboardChart which, const DashboardFigures& figures, int target,
                           const OpenAssignments& open = {});

// The chart's title, which names it on the page and in the window.
QString dashboardChartTitle(DashboardChart which);

// The dashboard as a document of one landscape page: the six charts under a header with the
// range. Replaces what the document held.
void writeDashboardDocument(ReportDocument& document, const DashboardFigures& figures, int target);

} // namespace tavrel
