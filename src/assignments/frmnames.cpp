#include "assignments/frmnames.h"

#include "core/errortrap.h"
#include "core/uiseam.h"

#include <QLabel>
#include <QLineEdit>

namespace tavrel {

frmNames::frmNames(QWidget* parent)
    : CodeEditor(CodeEdit::Employees, CodeEdit::Managers, parent) {
    setObjectName(QStringLiteral("frmNames"));
    txtFirst = makeTextBox("txtFirst");
    txtLast = makeTextBox("txtLast");
    lblFirst = new QLabel(QStringLiteral("Fi&rst Name"), this);
    lblFirst->setObjectName(QStringLiteral("lblFirst"));
    lblFirst->setBuddy(txtFirst);
    lblLast = new QLabel(QStringLiteral("Las&t Name"), this);
    lblLast->setObjectName(QStringLiteral("lblLast"));
    lblLast->setBuddy(txtLast);
    buildLayout({lblFirst, lblLast});
}

QList<QLineEdit*> frmNames::textBoxes() const {
    return {txtFirst, txtLast};
}

void frmNames::showListTexts() {
    setWindowTitle(list_->caption);
}

void frmNames::ShowRecord() {
    ChangedHold hold(*this);
    txtFirst->setText(recordset().value(QStringLiteral("firstname")).toString());
    txtLast->setText(recordset().value(QStringLiteral("lastname")).toString());
}

void frmNames::ClearRecord() {
    ChangedHold hold(*this);
    txtFirst->clear();
    txtLast->clear();
}

void frmNames::SaveRecord() {
    Recordset& rs = recordset();
    rs.setValue(QStringLiteral("lastname"), txtLast->text());
    rs.setValue(QStringLiteral("firstname"), txtFirst->text());
    SaveLoop(rs);
}

bool frmNames::ValidateRecord() {
    if (!txtFirst->text().isEmpty() || !txtLast->text().isEmpty())
        return true;
    ui().msgBox(list_->missingData, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Missing Data"));
    txtFirst->setFocus();
    return false;
}

QString frmNames::findColumn() const {
    return QStringLiteral("lastname");
}

QString frmNames::findPrompt() const {
    return QStringLiteral("Enter the last name to find:");
}

} // namespace tavrel
