#pragma once

// The task editor brought up on a temporary database, shared by the task editor's tests.

#include "core/globals.h"
#include "dialogs/datefield.h"
#include "support/testenv.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace tavrel::test {

inline const char* const BrowseOnly[] = {"cmdFirst", "cmdPrevious", "cmdNext",   "cmdLast",
                                         "cmdHelp",  "cmdFind",     "cmdDelete", "cmdClone"};

// The task editor on a temporary database of 2005 holding `sql`, brought up the way
// start-up does it.
class TaskEditorFixture {
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
        editor->show();
        editor->activateWindow();
        if (!QTest::qWaitForWindowActive(editor.get()))
            qWarning("the editor window did not become active");
    }
    ~TaskEditorFixture() { editor.reset(); }

    template <typename T = QWidget> T* w(const char* name) const {
        T* found = editor->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QString text(const char* name) const { return w<QLineEdit>(name)->text(); }
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

    // Clicks a button the way a user can: only when it is shown and enabled.
    bool click(const char* name) const {
        auto* button = w<QPushButton>(name);
        if (!button->isVisible() || !button->isEnabled())
            return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    // Types into a field from the keyboard, over its whole text, as a user does after Tab.
    QWidget* typeInto(const char* name, const QString& typed) const {
        QWidget* field = w(name);
        field->setFocus(Qt::TabFocusReason);
        QWidget* keys = field;
        if (auto* date = qobject_cast<DateField*>(field))
            keys = date->lineEdit();
        if (auto* line = qobject_cast<QLineEdit*>(keys))
            line->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(keys, Qt::Key_Delete);
        else
            QTest::keyClicks(keys, typed);
        return field;
    }
    static QString fieldText(QWidget* field) {
        if (auto* date = qobject_cast<DateField*>(field))
            return date->text();
        return qobject_cast<QLineEdit*>(field)->text();
    }
    // A key pressed where the focus is, as the user presses it. A button's access key
    // shows the button pressed for a moment and clicks it then: wait for that click.
    void press(int key, int modifiers = Qt::NoModifier) const {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        const auto buttons = editor->findChildren<QPushButton*>();
        QTRY_VERIFY(std::none_of(buttons.begin(), buttons.end(),
                                 [](const QPushButton* button) { return button->isDown(); }));
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
