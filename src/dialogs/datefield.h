#pragma once

#include "core/checkedcontrol.h"

#include <QComboBox>

#include <QDate>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

#include <optional>

namespace tavrel {

// A date entry field: an editable drop-down whose text is the date, typed or picked from
// the month calendar (frmDateEnt). On losing the focus the text is checked: a required
// field must hold a valid date, an optional one may also be empty; a refused text shows the
// field's message and the focus goes back into the field.
class DateField : public QComboBox, public CheckedControl {
    Q_OBJECT
public:
    enum class Kind { Required, Optional };
    // Where the picker opens relative to the field.
    enum class Placement {
        AboveRightAligned, // main window: right edges lined up, opening upward
        BelowLeftAligned,  // dialogs and the assignment editor: left edges lined up, below
        BelowRightAligned, // custom report window: right edges lined up, two heights down
    };

    explicit DateField(QWidget* parent = nullptr);

    // The check made on losing the focus, with the field's own refusal message. With
    // `rewrite` a valid date is rewritten in the short date format.
    void setCheck(Kind kind, const QString& message, bool rewrite = false);
    void setPlacement(Placement placement);
    // Caption of the picker window (default "Select Date").
    void setPickerCaption(const QString& caption);

    QString text() const;
    void setText(const QString& text);
    // The date the text holds, if it is a valid date.
    std::optional<QDate> date() const;
    void setDate(const QDate& date); // empty text for a null date

    Kind kind() const { return kind_; }
    QString message() const { return message_; }
    Placement placement() const { return placement_; }

    // Opens the calendar picker as the drop-down arrow does.
    void showPopup() override;

    // The lost-focus check, run at once (for a command that acts without the focus leaving
    // the field). A disabled or hidden field takes any text, as it does on losing the focus.
    bool checkNow() override;

    // Top-left corner of a picker of size `picker` for a field at `field` (both in global
    // coordinates), before it is kept on the screen.
    static QPoint pickerPosition(Placement placement, const QRect& field, const QSize& picker);

Q_SIGNALS:
    // The text changed, by typing or by the picker (the field's Change event).
    void textChanged(const QString& text);

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool checkText();

    Kind kind_ = Kind::Optional;
    QString message_;
    bool rewrite_ = false;
    Placement placement_ = Placement::BelowLeftAligned;
    QString pickerCaption_;
    bool checking_ = false;
};

// Calls `entered` (under guardedCall) each time a date is entered in `field`: a typed date
// once the field is left or Enter is pressed, a date picked from the calendar (or set by the
// program) at once. `context` ends the connection when it goes.
void whenDateEntered(DateField* field, QObject* context, std::function<void()> entered);

} // namespace tavrel
