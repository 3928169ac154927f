#pragma once

#include <QGroupBox>
#include <QVariant>

class QTreeWidget;
class QTreeWidgetItem;

namespace tavrel {

// The task editor's history panel: every assignment of one task, of every year, with its
// completion date, employee, time and cost, grouped by year (the newest first) under a row
// with the year's totals of completed work. It reads only that task's rows, and only while
// it is shown.
class TaskHistory : public QGroupBox {
    Q_OBJECT
public:
    // Columns of tvwHistory.
    enum Column { DueDate, Completed, Employee, Hours, Minutes, Cost, ColumnCount };

    explicit TaskHistory(QWidget* parent = nullptr);

    // Follows the task shown: its id, or an empty one for none (a new task, no tasks).
    void showTask(const QVariant& taskId);
    // Reads the task's rows again: they may have changed in another window.
    void refresh();

    QTreeWidget* tvwHistory = nullptr;

Q_SIGNALS:
    // The user chose an assignment of the list (a click, or Enter on it).
    void assignmentChosen(long assignId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void read();
    void choose(const QTreeWidgetItem* item);

    QVariant taskId_;
    bool stale_ = false; // the task changed while the panel was hidden
};

} // namespace tavrel
