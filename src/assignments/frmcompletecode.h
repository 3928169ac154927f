#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tavrel {

class frmMain;

// "Complete Work Order": one box for the code of a work order (or of an equipment label),
// typed or scanned; a scanner types the code and presses Enter, which is OK. A good code
// closes the box with the assignment to complete; anything else is said, and the box stays
// open with the text selected, so that the next scan replaces it.
class frmCompleteCode : public QDialog {
    Q_OBJECT
public:
    explicit frmCompleteCode(QWidget* parent = nullptr);

    // The assignment whose completion OK accepted; 0 until then.
    qint64 assignment() const { return assignment_; }

    QLabel* lblCode = nullptr;
    QLineEdit* txtCode = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;

public Q_SLOTS:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

private:
    // The text selected in the box, ready to be typed or scanned over.
    void selectCode();

    qint64 assignment_ = 0;
};

// Maintain, Complete Work Order...: asks for a code and opens the assignment editor on the
// assignment it names, its completion started. Returns the assignment, 0 when none opened.
qint64 completeWorkOrder(QWidget* parent);

// Maintain, Complete Work Order...
void installCompleteWorkOrder(frmMain& main);

} // namespace tavrel
