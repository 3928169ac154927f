#pragma once

#include "core/sitecalendar.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace tavrel {

class frmMain;

// Maintain, Working Days and Holidays...: the weekdays on which maintenance falls due and
// the site's holidays, added, edited, deleted or read from an iCalendar file. Nothing is
// stored before OK, which stores it all at once; Cancel asks before it drops changes.
class frmHolidays : public QDialog {
    Q_OBJECT
public:
    explicit frmHolidays(QWidget* parent = nullptr);

    // Escape, Cancel and the close box: asks first when something was changed.
    void reject() override;

public Q_SLOTS:
    void Form_Load();
    void lstHolidays_Click();
    void lstHolidays_DblClick();
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdDelete_Click();
    void cmdImport_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

public:
    QGroupBox* fraWorkdays;
    QCheckBox* chkWorkday[8] = {}; // 1 Monday to 7 Sunday
    QLabel* lblHolidays;
    QTreeWidget* lstHolidays;
    QPushButton* cmdAdd;
    QPushButton* cmdEdit;
    QPushButton* cmdDelete;
    QPushButton* cmdImport;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The calendar as the window now shows it.
    SiteCalendar shownCalendar() const;
    bool changed() const;
    // Lists holidays_ again with the row `current` chosen (none when out of range).
    void fillList(int current);
    int currentRow() const;

    SiteCalendar stored_;
    QList<HolidayRule> holidays_;
};

// Makes Maintain, Working Days and Holidays... open the window.
void installHolidays(frmMain& window);

} // namespace tavrel
