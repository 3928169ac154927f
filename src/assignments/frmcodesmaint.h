#pragma once

#include "assignments/codeeditor.h"

class QLabel;

namespace tavrel {

// The editor of the locations or the types: one description each, listed by it.
class frmCodesMaint : public CodeEditor {
    Q_OBJECT
public:
    explicit frmCodesMaint(QWidget* parent = nullptr);

    QLineEdit* txtDesc = nullptr;
    QLabel* lblDesc = nullptr;

protected:
    QString findColumn() const override;
    QString findPrompt() const override;
    void showListTexts() override;
};

} // namespace tavrel
