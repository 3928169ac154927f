#include "assignments/frmnames.h"

#include "core/uiseam.h"
#include "text/textfunctions.h"

#include <QLabel>
#include <QLineEdit>

namespace tavrel {

frmNames::frmNames(QWidget* parent)
    : CodeEditor(CodeEdit::Employees, CodeEdit::Managers, parent) {
    setObjectName(QStringLiteral("frmNames"));
    txtFirst = makeTextBox("txtFirst", QStringLiteral("firstname"));
    txtLast = makeTextBox("txtLast", QStringLiteral("lastname"));
    txtEmail = makeTextBox("txtEmail", QStringLiteral("email"));
    // Room for a little more than the longest address, so that one too long is refused
    // with its reason rather than cut short unseen.
    txtEmail->setMaxLength(EmailAddressLength + 46);
    lblFirst = new QLabel(QStringLiteral("Fi&rst Name"), this);
    lblFirst->setObjectName(QStringLiteral("lblFirst"));
    lblFirst->setBuddy(txtFirst);
    lblLast = new QLabel(QStringLiteral("Las&t Name"), this);
    lblLast->setObjectName(QStringLiteral("lblLast"));
    lblLast->setBuddy(txtLast);
    lblEmail = new QLabel(QStringLiteral("E-&mail"), this);
    lblEmail->setObjectName(QStringLiteral("lblEmail"));
    lblEmail->setBuddy(txtEmail);
    buildLayout({lblFirst, lblLast, lblEmail});
}

void frmNames::showListTexts() {
    setWindowTitle(list_->caption);
}

QString frmNames::findColumn() const {
    return QStringLiteral("lastname");
}

QString frmNames::findPrompt() const {
    return QStringLiteral("Enter the last name to find:");
}

bool frmNames::ValidateRecord() {
    // The address alone is no name.
    if (txtFirst->text().isEmpty() && txtLast->text().isEmpty()) {
        ui().msgBox(list_->missingData, MsgButtons::Ok, MsgIcon::None,
                    QStringLiteral("Missing Data"));
        txtFirst->setFocus();
        return false;
    }
    const QString address = txtEmail->text();
    if (!address.isEmpty() && !isEmailAddress(address)) {
        ui().msgBox(QStringLiteral("\"%1\" is not an e-mail address. An address has one @, a "
                                   "name before it and a domain with a dot after it "
                                   "(name@example.com), no blanks and at most %2 characters. "
                                   "Correct it or leave it empty (or press Cancel).")
                        .arg(address)
                        .arg(EmailAddressLength),
                    MsgButtons::Ok, MsgIcon::None, QStringLiteral("Invalid E-mail Address"));
        txtEmail->setFocus();
        return false;
    }
    return true;
}

} // namespace tavrel
