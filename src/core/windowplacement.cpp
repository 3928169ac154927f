#include "core/windowplacement.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
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

namespace {

// Room for the window icon and the minimise, maximise and close buttons, in text lines:
// title bar buttons are about as wide as a line is high, plus the gaps between them and
// the frame's padding. Window managers draw the title in a font of their own, often larger
// than the program's, so this errs on the wide side (measured under openbox, 6 lines left
// "Select Starting D... for Assignments").
constexpr int TitleBarControlsInLines = 10;

// Fixes the size when the dialog is shown: before the window manager maps it, and after its
// caller has set the caption that sizeHint() makes room for.
class ShownSizeKeeper final : public QObject {
public:
    explicit ShownSizeKeeper(QWidget* dialog)
        : QObject(dialog)
        , dialog_(dialog) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_ && event->type() == QEvent::Show)
            dialog_->setFixedSize(dialog_->size().expandedTo(dialog_->minimumSizeHint()));
        return false;
    }

private:
    QWidget* dialog_;
};

} // namespace

void keepShownSize(QWidget* dialog) {
    dialog->installEventFilter(new ShownSizeKeeper(dialog));
}

int titleBarWidth(const QWidget* window) {
    QFont font = window->font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(window->windowTitle()) +
           TitleBarControlsInLines * metrics.height();
}

QSize withRoomForTitle(const QWidget* window, const QSize& contents) {
    return {qMax(contents.width(), titleBarWidth(window)), contents.height()};
}

} // namespace tavrel
