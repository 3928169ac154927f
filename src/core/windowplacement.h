#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace tavrel {

// The frame the window manager draws around a window (title bar and borders), as far as Qt
// can tell: the window's own once it has been shown, else that of another window of the
// program already on the screen, else an allowance for a usual title bar and border.
QMargins windowFrame(const QWidget* window);

// `frame`, the outer rectangle of a window, moved (and made smaller where it is larger)
// so that it lies wholly inside `area`.
QRect fitInside(QRect frame, const QRect& area);

// Gives a window the size `wanted`, or less where the available area of the screen (the
// screen without its panels and docks) cannot hold that with the frame around it, and puts
// it over the middle of `owner` (of the screen when there is none), frame and all inside
// that area.
void placeOnScreen(QWidget* window, const QSize& wanted, const QWidget* owner = nullptr);

// Gives a newly made window its own size and puts it over the middle of the window it was
// opened from, as a dialog would be (the window manager would otherwise pick a corner),
// within the available area of the screen.
void placeOver(QWidget* window, QWidget* owner);

// Shows a window that may already be open: restored when minimised, raised and active.
void bringForward(QWidget* window);

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
