#include "assignments/frmcodesmaint.h"

#include <QLabel>
#include <QLineEdit>

namespace tavrel {

frmCodesMaint::frmCodesMaint(QWidget* parent)
    : CodeEditor(CodeEdit::Locations, CodeEdit::Types, parent) {
    setObjectName(QStringLiteral("frmCodesMaint"));
    saveButtonsAtOpening = true;
    txtDesc = makeTextBox("txtDesc", QStringLiteral("descr"));
    lblDesc = new QLabel(this);
    lblDesc->setObjectName(QStringLiteral("lblDesc"));
    lblDesc->setBuddy(txtDesc);
    buildLayout({lblDesc});
}

void frmCodesMaint::showListTexts() {
    setWindowTitle(list_->caption);
    lblDesc->setText(mode() == CodeEdit::Types ? QStringLiteral("&Type Description")
                                               : QStringLiteral("Loca&tion Description"));
}

QString frmCodesMaint::findColumn() const {
    return QStringLiteral("descr");
}

QString frmCodesMaint::findPrompt() const {
    return QStringLiteral("Enter the description to find:");
}

} // namespace tavrel
