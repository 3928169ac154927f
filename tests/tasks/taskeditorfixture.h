#pragma once

// The task editor brought up on a temporary database, shared by the task editor's tests.

#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>

#include <memory>

namespace tavrel::test {

inline const char* const BrowseOnly[] = {"cmdFirst", "cmdPrevious", "cmdNext",   "cmdLast",
                                         "cmdHelp",  "cmdFind",     "cmdDelete", "cmdClone"};

// The task editor on a temporary database of 2005 holding `sql`, brought up the way
// start-up does it.
class TaskEditorFixture : public WindowDriver {
public:
    explicit TaskEditorFixture(const QString& sql)
        : folder(2005, sql) {
        state().CurYear = 2005;
        state().EmployeesChanged = state().LocationsChanged = state().TypesChanged = true;
        editor = std::make_unique<TaskEditor>(&exit);
        editor->fillWeekList();
        editor->openRecords();
        editor->activate();
        editor->showFirst();
        editor->resetState();
        editor->resize(1100, 750);
        drive(editor.get());
        bringForward(editor.get());
    }
    ~TaskEditorFixture() { editor.reset(); }

    QVariant stored(const QString& sql) const { return folder.scalar(sql); }
    int taskCount() const { return stored(QStringLiteral("select count(*) from tasks")).toInt(); }
    QListWidget* weekList() const { return w<QListWidget>("lstWeeks"); }
    // The stored weeks of a task, in week order.
    QList<int> storedWeeks(int taskId) const {
        const QStringList weeks =
            stored(QStringLiteral("select group_concat(weeid) from (select weeid from taskweeks "
                                  "where taskid = %1 order by weeid)")
                       .arg(taskId))
                .toString()
                .split(u',', Qt::SkipEmptyParts);
        QList<int> numbers;
        for (const QString& week : weeks)
            numbers << week.toInt();
        return numbers;
    }

    static QString fieldText(QWidget* field) {
        if (auto* date = qobject_cast<DateField*>(field))
            return date->text();
        return qobject_cast<QLineEdit*>(field)->text();
    }
    // The weeks marked in the week list, by number.
    QList<int> markedWeeks() const {
        QList<int> weeks;
        for (int i = 0; i < editor->lstWeeks->count(); ++i) {
            if (editor->isWeekMarked(i))
                weeks << i + 1;
        }
        return weeks;
    }

    bool inBrowseMode() const {
        for (const char* name : BrowseOnly) {
            if (!w(name)->isVisible())
                return false;
        }
        return w("cmdAddNew")->isVisible() && !w("cmdUpdate")->isVisible() &&
               !w("cmdCancel")->isVisible() && exit.isEnabled();
    }
    bool inEditMode() const {
        for (const char* name : BrowseOnly) {
            if (w(name)->isVisible())
                return false;
        }
        return w("cmdUpdate")->isVisible() && w("cmdCancel")->isVisible() && !exit.isEnabled();
    }

    TempWorkFolder folder;
    QAction exit{QStringLiteral("E&xit")};
    std::unique_ptr<TaskEditor> editor;
};

} // namespace tavrel::test
