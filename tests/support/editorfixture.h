#pragma once

// The record editors (the task editor and the assignment editor) brought up on a temporary database
// the way the program brings them up, shared by their tests and the find dialog's.

#include "assignments/frmassign.h"
#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "support/storedrows.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <initializer_list>
#include <memory>

namespace tavrel::test {

// A record editor on a temporary database of 2005 holding `sql`. Its mode is "browse" when the
// moves and every control that only browsing offers are there, "edit" when none is and Update and
// Cancel are, "mixed" otherwise: a half-switched window is a fault of its own.
class EditorFixture : public WindowDriver {
public:
    explicit EditorFixture(const QString& sql)
        : folder(2005, sql) {
        state().CurYear = 2005;
    }
    virtual ~EditorFixture() = default;

    QVariant stored(const QString& sql) const { return folder.scalar(sql); }
    // select count(*) from `from`.
    int count(const QString& from) const {
        return stored(QStringLiteral("select count(*) from ") + from).toInt();
    }
    // The rows of `fromWhereOrder`, each its columns' values joined by blanks (storedRows()).
    QStringList rows(const QStringList& columns, const QString& fromWhereOrder) const {
        return storedRows(folder, columns, fromWhereOrder);
    }
    virtual QString mode() const {
        QList<bool> browsing{!w("cmdUpdate")->isVisible(), !w("cmdCancel")->isVisible()};
        for (const char* name : browseOnly_)
            browsing << w(name)->isVisible();
        browsing << browsingExtras();
        return !browsing.contains(false)  ? QStringLiteral("browse")
               : !browsing.contains(true) ? QStringLiteral("edit")
                                          : QStringLiteral("mixed");
    }
    static QString fieldText(QWidget* field) {
        if (auto* date = qobject_cast<DateField*>(field))
            return date->text();
        return qobject_cast<QLineEdit*>(field)->text();
    }
    // Types over a box's whole text from the keyboard, then leaves it with Tab.
    void typeAndLeave(const char* name, const QString& typed) const {
        QTest::keyClick(typeInto(name, typed), Qt::Key_Tab);
    }

    TempWorkFolder folder;

protected:
    // What else is true only while browsing: menu items enabled, Exit, Add New shown.
    virtual QList<bool> browsingExtras() const = 0;
    void browseOnly(std::initializer_list<const char*> names) { browseOnly_ = names; }

private:
    QList<const char*> browseOnly_;
};

// The task editor inside a stand-in for the main window's Exit, brought up as start-up brings it
// up.
class TaskEditorFixture : public EditorFixture {
public:
    explicit TaskEditorFixture(const QString& sql)
        : EditorFixture(sql) {
        browseOnly({"cmdFirst", "cmdPrevious", "cmdNext", "cmdLast", "cmdHelp", "cmdFind",
                    "cmdDelete", "cmdClone"});
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
    ~TaskEditorFixture() override { editor.reset(); }

    // Add New is there while browsing, and while adding as Add Another.
    QString mode() const override {
        const QString shown = EditorFixture::mode();
        return shown == "browse" && !w("cmdAddNew")->isVisible() ? QStringLiteral("mixed") : shown;
    }
    QListWidget* weekList() const { return editor->lstWeeks; }
    // The stored weeks of a task, in week order.
    QList<int> storedWeeks(int taskId) const {
        QList<int> numbers;
        for (const QVariant& week :
             folder.column(QStringLiteral("select weeid from taskweeks where taskid = %1 "
                                          "order by weeid")
                               .arg(taskId)))
            numbers << week.toInt();
        return numbers;
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
    // Clicks week `week` (1 to 52) with the mouse, on its text.
    void clickWeek(int week) const {
        QListWidgetItem* item = weekList()->item(week - 1);
        weekList()->scrollToItem(item);
        const QRect rect = weekList()->visualItemRect(item);
        QTest::mouseClick(weekList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(rect.right() - rect.width() / 4, rect.center().y()));
    }

    QAction exit{QStringLiteral("E&xit")};
    std::unique_ptr<TaskEditor> editor;

protected:
    QList<bool> browsingExtras() const override { return {exit.isEnabled()}; }
};

// The assignment editor, loaded as the Maintain menu loads it.
class AssignEditorFixture : public EditorFixture {
public:
    explicit AssignEditorFixture(const QString& sql)
        : EditorFixture(sql) {
        browseOnly({"cmdFirst", "cmdPrevious", "cmdNext", "cmdLast", "cmdOk", "cmdFind",
                    "cmdDelete", "cmdPrint"});
        form = std::make_unique<frmAssign>();
        form->Form_Load();
        drive(form.get());
        bringForward(form.get());
    }

    std::unique_ptr<frmAssign> form;

protected:
    QList<bool> browsingExtras() const override {
        QList<bool> enabled;
        for (QAction* const* pair : {form->mnuYear, form->mnuComplete, form->mnuSort})
            enabled << pair[1]->isEnabled() << pair[2]->isEnabled();
        return enabled;
    }
};

} // namespace tavrel::test
