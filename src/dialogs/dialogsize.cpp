#include "dialogs/dialogsize.h"

#include <QEvent>
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
