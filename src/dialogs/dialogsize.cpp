#include "dialogs/dialogsize.h"

#include <QFont>
#include <QFontMetrics>
#include <QWidget>

namespace tavrel {

namespace {

// Room for the window icon and the minimise, maximise and close buttons, in text lines:
// title bar buttons are about as wide as a line is high, plus the gaps between them.
constexpr int TitleBarControlsInLines = 6;

} // namespace

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
