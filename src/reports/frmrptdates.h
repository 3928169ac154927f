#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace tavrel {

class DateField;
class frmMain;

// The start and end fields of a report's date range, as every range dialog sets them up:
// labels as their buddies, required dates with their messages, the calendar below.
void prepareReportRange(QLabel* startLabel, DateField* start, QLabel* endLabel, DateField* end);

// Asks for the date range of a report. Opens with ReportStartDate and ReportEndDate, so
// the range used last is offered again; OK stores both and clears Cancelled. The caller
// sets Cancelled to true first. A start after the end is accepted: the report then finds
// nothing and says so.
class frmRptDates : public QDialog {
    Q_OBJECT
public:
    explicit frmRptDates(QWidget* parent = nullptr);

    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QLabel* Label7;
    DateField* dcStartDate;
    QLabel* Label9;
    DateField* dcEndDate;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// The menu handler of a dated report: asks for the range and runs the report only when the
// user accepted it.
void runWithReportDates(QWidget* parent, const std::function<void()>& report);

// Makes the five report entries of the Reports menu run their reports.
void installStandardReports(frmMain& window);

} // namespace tavrel
