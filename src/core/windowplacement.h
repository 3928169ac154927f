#pragma once

class QWidget;

namespace tavrel {

// Gives a newly made window its own size and puts it over the middle of the window it was
// opened from, as a dialog would be (the window manager would otherwise pick a corner).
void placeOver(QWidget* window, QWidget* owner);

// Shows a window that may already be open: restored when minimised, raised and active.
void bringForward(QWidget* window);

} // namespace tavrel
