#include "core/windowplacement.h"

#include <QWidget>

namespace tavrel {

void placeOver(QWidget* window, QWidget* owner) {
    window->resize(window->sizeHint());
    if (!owner)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(owner->window()->frameGeometry().center());
    window->move(frame.topLeft());
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
