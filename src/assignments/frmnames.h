#pragma once

#include "assignments/codeeditor.h"

class QLabel;

namespace tavrel {

// The longest e-mail address there is: what fits the path of a mail server's RCPT command.
constexpr int EmailAddressLength = 254;

// Whether `text` passes for an e-mail address: one @, a name before it, after it a domain
// with a dot that neither begins nor ends it, no blanks anywhere, and at most
// EmailAddressLength characters in all. Whether the address exists only its mail server
// knows.
bool isEmailAddress(const QString& text);

// The editor of the employees or the managers: a first and a last name each, listed by last
// name, and an e-mail address for the digests (empty for none).
class frmNames : public CodeEditor {
    Q_OBJECT
public:
    explicit frmNames(QWidget* parent = nullptr);

    QLineEdit* txtFirst = nullptr;
    QLineEdit* txtLast = nullptr;
    QLineEdit* txtEmail = nullptr;
    QLabel* lblFirst = nullptr;
    QLabel* lblLast = nullptr;
    QLabel* lblEmail = nullptr;

protected:
    QString findColumn() const override;
    QString findPrompt() const override;
    void showListTexts() override;
    // A name is needed (as in every code editor), and an address, when given, must be one.
    bool ValidateRecord() override;
};

} // namespace tavrel
