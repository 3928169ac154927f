#pragma once

#include "assignments/codeeditor.h"

class QLabel;

namespace tavrel {

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
