#pragma once

// A window of the program driven as its user drives it, shared by the tests of the record
// editors and the other windows.

#include "dialogs/datefield.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <algorithm>

namespace tavrel::test {

// A control of `window` found by objectName; a missing one ends the test run (the window is
// not what the test is about).
template <typename T = QWidget> T* childOf(const QWidget* window, const QString& name) {
    T* found = window ? window->findChild<T*>(name) : nullptr;
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

// The texts of a list's entries, in order.
inline QStringList entryTexts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}
inline QStringList entryTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}
// The entries a drop-down list shows when it drops down, and of those the ones the user
// can choose.
inline bool rowHidden(const QComboBox* combo, int row) {
    const auto* view = qobject_cast<const QListView*>(combo->view());
    return view && view->isRowHidden(row);
}
inline QStringList listedTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        if (!rowHidden(combo, i))
            texts << combo->itemText(i);
    }
    return texts;
}
inline QStringList choosableTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        if (!rowHidden(combo, i) &&
            combo->model()->flags(combo->model()->index(i, 0)).testFlag(Qt::ItemIsEnabled))
            texts << combo->itemText(i);
    }
    return texts;
}

// Clicks (or double-clicks) the entry `text` of a list with the mouse, where the list shows
// it; a list just shown is laid out first, as before anybody can click in it.
inline void chooseEntry(QListWidget* list, const QString& text, bool twice = false) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    if (found.size() != 1)
        qFatal("no single entry %s", qPrintable(text));
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    list->scrollToItem(found.first());
    const QPoint at = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (twice) // the second press of a double click
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// Controls found by objectName (a missing one ends the test run: the window is not what
// the test is about), buttons clicked only when the user could click them, text typed from
// the keyboard.
class WindowDriver {
public:
    explicit WindowDriver(QWidget* window = nullptr)
        : window_(window) {}

    template <typename T = QWidget> T* w(const char* name) const {
        return childOf<T>(window_, QString::fromLatin1(name));
    }
    QString text(const char* name) const { return w<QLineEdit>(name)->text(); }

    // Clicks a button the way a user can: only when it is shown and enabled.
    bool click(const char* name) const {
        auto* button = w<QPushButton>(name);
        if (!button->isVisible() || !button->isEnabled())
            return false;
        QTest::mouseClick(button, Qt::LeftButton);
        return true;
    }

    // Types into a field from the keyboard, over its whole text, as a user does after Tab;
    // nothing typed deletes the text.
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

    // A key pressed where the focus is, as the user presses it. A button's access key
    // shows the button pressed for a moment and clicks it then: wait for that click.
    void press(int key, int modifiers = Qt::NoModifier) const {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers(modifiers));
        const auto buttons = window_->findChildren<QPushButton*>();
        QTRY_VERIFY(std::none_of(buttons.begin(), buttons.end(),
                                 [](const QPushButton* button) { return button->isDown(); }));
    }

protected:
    void drive(QWidget* window) { window_ = window; }

private:
    QWidget* window_;
};

// Shows a window and waits until it is the active one, as the user sees it come forward.
inline void bringForward(QWidget* window) {
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        qWarning("%s did not become active", qPrintable(window->objectName()));
}

} // namespace tavrel::test
