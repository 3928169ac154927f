#include "dialogs/datefield.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "dialogs/frmdateent.h"
#include "text/datetext.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace tavrel {

namespace {

// The field whose refusal is in progress. While its message shows and the focus goes back
// to it, other fields losing the focus do not check: two fields refusing each other's
// focus would otherwise take it back and forth for ever.
const DateField* refusingField = nullptr;

// A date whose short date is as wide as any: day and month both with two digits.
const QDate WidestDate(2000, 12, 28);

// How many field heights below the field's top a picker that opens downward starts.
constexpr int HeightsBelow = 2;

QPoint keepOnScreen(QPoint pos, const QSize& size, const QScreen* screen) {
    if (!screen)
        return pos;
    const QRect area = screen->availableGeometry();
    pos.setX(qMax(area.left(), qMin(pos.x(), area.left() + area.width() - size.width())));
    pos.setY(qMax(area.top(), qMin(pos.y(), area.top() + area.height() - size.height())));
    return pos;
}

} // namespace

DateField::DateField(QWidget* parent)
    : QComboBox(parent)
    , pickerCaption_(QStringLiteral("Select Date")) {
    setEditable(true);
    // The list stays empty: Enter must not add the typed text to it.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(lineEdit(), &QLineEdit::textChanged, this, &DateField::textChanged);

    // Never so narrow that a date is cut: room for the widest short date and a digit more
    // (the line edit's own margins), besides the arrow.
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QSize text(fontMetrics().horizontalAdvance(shortDate(WidestDate) + u'0'),
                     fontMetrics().height());
    setMinimumWidth(style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, this).width());
}

void DateField::setCheck(Kind kind, const QString& message, bool rewrite) {
    kind_ = kind;
    message_ = message;
    rewrite_ = rewrite;
}

void DateField::setPlacement(Placement placement) {
    placement_ = placement;
}

void DateField::setPickerCaption(const QString& caption) {
    pickerCaption_ = caption;
}

QString DateField::text() const {
    return lineEdit()->text();
}

void DateField::setText(const QString& text) {
    lineEdit()->setText(text);
}

std::optional<QDate> DateField::date() const {
    return toDate(text());
}

void DateField::setDate(const QDate& date) {
    setText(date.isValid() ? shortDate(date) : QString());
}

QPoint DateField::pickerPosition(Placement placement, const QRect& field, const QSize& picker) {
    const int rightAligned = field.x() + field.width() - picker.width();
    switch (placement) {
    case Placement::AboveRightAligned:
        return {rightAligned, field.y() + field.height() - picker.height()};
    case Placement::BelowRightAligned:
        return {rightAligned, field.y() + HeightsBelow * field.height()};
    case Placement::BelowLeftAligned:
        break;
    }
    return {field.x(), field.y() + HeightsBelow * field.height()};
}

// The drop-down: the picker opens on the field's date (or today), and whatever it ends
// with, chosen or not, comes back as the field's text before the focus moves on.
void DateField::showPopup() {
    const std::optional<QDate> current = date();
    state().PickedDate = current ? *current : ui().today();

    frmDateEnt picker(window());
    picker.setWindowTitle(pickerCaption_);
    picker.adjustSize();
    const QRect field(mapToGlobal(QPoint(0, 0)), size());
    picker.move(
        keepOnScreen(pickerPosition(placement_, field, picker.size()), picker.size(), screen()));
    ui().showModal(&picker);

    setText(shortDate(state().PickedDate));
    ui().sendTab(this);
}

void DateField::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // The focus leaving with its window (the picker, a message box or another window coming
    // to the front) is not the user leaving the field.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return;
    if (!isEnabled() || !isVisible() || checking_ || refusingField)
        return;
    checkText();
}

bool DateField::checkNow() {
    if (checking_ || refusingField)
        return false; // a refusal is on the screen
    if (!isEnabled() || !isVisible())
        return true;
    return checkText();
}

// Applies the field's check to its text; a refusal shows the field's message and puts the
// focus back into the field.
bool DateField::checkText() {
    const QString typed = text().trimmed();
    if (kind_ == Kind::Optional && typed.isEmpty())
        return true;
    if (const std::optional<QDate> valid = toDate(typed)) {
        if (rewrite_) {
            const QString rewritten = shortDate(*valid);
            if (rewritten != text())
                setText(rewritten);
        }
        return true;
    }
    checking_ = true;
    refusingField = this;
    ui().msgBox(message_, MsgButtons::Ok, MsgIcon::None, {});
    setFocus(Qt::OtherFocusReason);
    refusingField = nullptr;
    checking_ = false;
    return false;
}

namespace {

// Watches a date field for the keys and the leaving that end a typed date.
class DateEntryWatch final : public QObject {
public:
    DateEntryWatch(DateField* field, std::function<void()> entered)
        : QObject(field)
        , entered_(std::move(entered)) {
        field->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool enter = event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        if (event->type() == QEvent::FocusOut || enter)
            guardedCall(entered_);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> entered_;
};

} // namespace

void whenDateEntered(DateField* field, QObject* context, std::function<void()> entered) {
    new DateEntryWatch(field, entered);
    QObject::connect(field, &DateField::textChanged, context, [field, entered] {
        if (!field->hasFocus())
            guardedCall(entered);
    });
}

} // namespace tavrel
