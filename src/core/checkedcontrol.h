#pragma once

namespace tavrel {

// A control that checks its text when it loses the focus (a date field, a number box) and
// refuses a text it cannot take with its own message, putting the focus back. An access key
// or a default button clicks its button without the focus leaving the control, so every
// command that saves or leaves a row runs the check itself through checkNow() first.
class CheckedControl {
public:
    // Runs the lost-focus check at once: false when the text was refused (the control's
    // message was shown and the focus is in the control).
    virtual bool checkNow() = 0;

protected:
    ~CheckedControl() = default;
};

} // namespace tavrel
