#include "assignments/frmcodesmaint.h"

#include "core/errortrap.h"
#include "core/uiseam.h"

#include <QLabel>
#include <QLineEdit>

namespace tavrel {

frmCodesMaint::frmCodesMaint(QWidget* parent)
    : CodeEditor(CodeEdit::Locations, CodeEdit::Types, parent) {
    setObjectName(QStringLiteral("frmCodesMaint"));
    saveButtonsAtOpening = true;
    txtDesc = makeTextBox("txtDesc");
    lblDesc = new QLabel(this);
    lblDesc->setObjectName(QStringLiteral("lblDesc"));
    lblDesc->setBuddy(txtDesc);
    buildLayout({lblDesc});
}

QList<QLineEdit*> frmCodesMaint::textBoxes() const {
    return {txtDesc};
}

void frmCodesMaint::showListTexts() {
    setWindowTitle(list_->caption);
    lblDesc->setText(mode() == CodeEdit::Types ? QStringLiteral("&Type Description")
                                               : QStringLiteral("Loca&tion Description"));
}

void frmCodesMaint::ShowRecord() {
    ChangedHold hold(*this);
    txtDesc->setText(recordset().value(QStringLiteral("descr")).toString());
}

void frmCodesMaint::ClearRecord() {
    ChangedHold hold(*this);
    txtDesc->clear();
}

void frmCodesMaint::SaveRecord() {
    Recordset& rs = recordset();
    rs.setValue(QStringLiteral("descr"), txtDesc->text());
    SaveLoop(rs);
}

bool frmCodesMaint::ValidateRecord() {
    if (!txtDesc->text().isEmpty())
        return true;
    ui().msgBox(list_->missingData, MsgButtons::Ok, MsgIcon::None, QStringLiteral("Missing Data"));
    txtDesc->setFocus();
    return false;
}

QString frmCodesMaint::findColumn() const {
    return QStringLiteral("descr");
}

QString frmCodesMaint::findPrompt() const {
    return QStringLiteral("Enter the description to find:");
}

} // namespace tavrel
