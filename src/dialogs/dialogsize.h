#pragma once

#include <QSize>

class QWidget;

namespace tavrel {

// The size a dialog asks for: its contents' size, widened where needed so that the window
// manager can show the whole caption beside the title bar's icon and buttons. Dialogs
// return it from sizeHint(), which is read when they are first shown, after the caller
// has set the caption.
QSize withRoomForTitle(const QWidget* window, const QSize& contents);

// Makes a dialog keep the size it is shown with (its contents' size, sizeHint() once the
// caption is set, or what the screen leaves of it). The window manager then offers no
// resizing and draws no resize handle, which along the bottom of a small dialog reads as an
// empty strip; nothing in these dialogs would use more room anyway.
void keepShownSize(QWidget* dialog);

// The width a title bar needs for the window's caption (an estimate: the window manager
// draws it, in its own font, which is usually a bold variant of the application's).
int titleBarWidth(const QWidget* window);

} // namespace tavrel
