#pragma once

#include "dashboard/dashboard.h"

#include <QWidget>

class QChartView;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tavrel {

class DateField;
class frmMain;

// The dashboard: six charts of a range of dates (this year until changed), redrawn when the
// range or the on-time target changes. A bar or point opens the work list on exactly the
// assignments it counts; Print... shows the charts in the report output window, to print or
// save as PDF or PNG. The target is the site's (tavrel.conf).
class frmDashboard : public QWidget {
    Q_OBJECT
public:
    explicit frmDashboard(QWidget* parent = nullptr);
    ~frmDashboard() override;

    const DashboardFigures& figures() const { return figures_; }
    // The chart drawn of `which` in the window.
    QChartView* chartView(int which) const { return views_.value(which); }

public Q_SLOTS:
    void dcRange_Change();
    void txtTarget_Change();
    void cmdPrint_Click();
    void cmdClose_Click();

Q_SIGNALS:
    // A bar or point was clicked: the work list is to show `filter`.
    void assignmentsWanted(const WorkListFilter& filter);

private:
    void redraw();

    DashboardFigures figures_;
    QList<QChartView*> views_;
    QDate drawnFrom_;
    QDate drawnTo_;

public:
    DateField* dcFrom = nullptr;
    DateField* dcTo = nullptr;
    QSpinBox* txtTarget = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdClose = nullptr;
};

// The site's on-time target in percent: tavrel.conf's, or DefaultOnTimeTarget.
int onTimeTarget();

// Writes the dashboard of [from, to] (both included) as of today into `path`: a PDF, or a
// PNG image of the page. False, with the reason in `error`, when it could not be written.
bool writeDashboardFile(const QDate& from, const QDate& to, const QString& path, QString* error);

// Makes the main window's Reports, Dashboard open the dashboard (one at a time).
void installDashboard(frmMain& main);

} // namespace tavrel
