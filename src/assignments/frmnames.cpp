#include "assignments/frmnames.h"

#include <QLabel>
#include <QLineEdit>

namespace tavrel {

frmNames::frmNames(QWidget* parent)
    : CodeEditor(CodeEdit::Employees, CodeEdit::Managers, parent) {
    setObjectName(QStringLiteral("frmNames"));
    txtFirst = makeTextBox("txtFirst", QStringLiteral("firstname"));
    txtLast = makeTextBox("txtLast", QStringLiteral("lastname"));
    lblFirst = new QLabel(QStringLiteral("Fi&rst Name"), this);
    lblFirst->setObjectName(QStringLiteral("lblFirst"));
    lblFirst->setBuddy(txtFirst);
    lblLast = new QLabel(QStringLiteral("Las&t Name"), this);
    lblLast->setObjectName(QStringLiteral("lblLast"));
    lblLast->setBuddy(txtLast);
    buildLayout({lblFirst, lblLast});
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

} // namespace tavrel
