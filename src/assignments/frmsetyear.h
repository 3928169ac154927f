#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tavrel {

// Asks for the year to plan for, starting from CurYear. Cancelled stays true unless a year
// is accepted; the accepted year is left in SelectedYear.
class frmSetYear : public QDialog {
    Q_OBJECT
public:
    explicit frmSetYear(QWidget* parent = nullptr);

    // Room for the caption: the dialog's few controls are narrower than its title.
    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    void SpinButton1_SpinUp();
    void SpinButton1_SpinDown();

protected:
    // The Up and Down keys in the year box step the year like the arrows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stepYear(int by);

    QLabel* lblYear;
    QLineEdit* txtYear;
    // The spin button: two arrows beside the text box, with no value of their own.
    QWidget* SpinButton1;
    QToolButton* SpinButton1Up;
    QToolButton* SpinButton1Down;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

// File, Set Current Year, up to the generation: shows frmSetYear and sets the program up
// for the year accepted there when it is not CurYear already. False when the dialog was
// cancelled.
bool SetCurrentYear(QWidget* parent);

} // namespace tavrel
