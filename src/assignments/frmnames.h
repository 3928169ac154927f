#pragma once

#include "assignments/codeeditor.h"

class QLabel;

namespace tavrel {

// The editor of the employees or the managers: a first and a last name each, listed by last
// name.
class frmNames : public CodeEditor {
    Q_OBJECT
public:
    explicit frmNames(QWidget* parent = nullptr);

    QLineEdit* txtFirst = nullptr;
    QLineEdit* txtLast = nullptr;
    QLabel* lblFirst = nullptr;
    QLabel* lblLast = nullptr;

protected:
    QString findColumn() const override;
    QString findPrompt() const override;
    void showListTexts() override;
};

} // namespace tavrel
