#include "core/windowplacement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tavrel {

namespace {

// Before any window is shown nothing tells the frame: room for a title bar of the larger
// desktops and a border on each side.
constexpr QMargins FrameAllowance(8, 40, 8, 8);

QMargins frameOf(const QWidget* window) {
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

bool hasFrame(const QWidget* window) {
    return window->isVisible() && !(window->windowFlags() & Qt::FramelessWindowHint) &&
           window->frameGeometry() != window->geometry();
}

} // namespace

QMargins windowFrame(const QWidget* window) {
    if (hasFrame(window))
        return frameOf(window);
    // Windows of one program get the same decoration from the window manager.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* other : windows) {
        if (other != window && other->isWindow() && hasFrame(other) &&
            (other->windowType() == Qt::Window || other->windowType() == Qt::Dialog))
            return frameOf(other);
    }
    return FrameAllowance;
}

QRect fitInside(QRect frame, const QRect& area) {
    frame.setWidth(qMin(frame.width(), area.width()));
    frame.setHeight(qMin(frame.height(), area.height()));
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    return frame;
}

void placeOnScreen(QWidget* window, const QSize& wanted, const QWidget* owner) {
    const QWidget* over = owner ? owner->window() : nullptr;
    const QScreen* screen = over ? over->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QMargins frame = windowFrame(window);
    // A layout that cannot shrink that far keeps its smallest size: better cut at the edge
    // than unusable.
    const QSize size =
        wanted.boundedTo(area.size().shrunkBy(frame)).expandedTo(window->minimumSizeHint());
    window->resize(size);
    QRect outer(QPoint(), size.grownBy(frame));
    outer.moveCenter(over && over->isVisible() ? over->frameGeometry().center() : area.center());
    // move() places a window's frame, not its contents.
    window->move(fitInside(outer, area).topLeft());
}

void placeOver(QWidget* window, QWidget* owner) {
    if (!owner) {
        window->resize(window->sizeHint());
        return;
    }
    placeOnScreen(window, window->sizeHint(), owner);
}

void bringForward(QWidget* window) {
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tavrel
