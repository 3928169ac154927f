#include "dialogs/dialogsize.h"

#include <QFont>
#include <QFontMetrics>
#include <QWidget>

namespace tavrel {

namespace {

// Room for the window icon and the minimise, maximise and close buttons, in text lines:
// title bar buttons are about as wide as a line is high, plus the gaps between them and
// the frame's padding. Window managers draw the title in a font of their own, often larger
// than the program's, so this errs on the wide side (measured under openbox, 6 lines left
// "Select Starting D... for Assignments").
constexpr int TitleBarControlsInLines = 10;

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
