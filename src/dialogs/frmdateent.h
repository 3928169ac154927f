#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <QStringList>

class QFont;
class QLineEdit;
class QTableWidget;
class QToolButton;

namespace tavrel {

// A spin button: two small arrows, up and down, that step a value shown beside them.
class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

Q_SIGNALS:
    void spinUp();
    void spinDown();

private:
    QToolButton* up_;
    QToolButton* down_;
};

// The month calendar a date field drops down. It starts on PickedDate; choosing a day
// stores that day into PickedDate and closes, the close box leaves PickedDate alone.
// A day is chosen by a single click on it or by Enter on the grid's current cell.
class frmDateEnt : public QDialog {
    Q_OBJECT
public:
    explicit frmDateEnt(QWidget* parent = nullptr);

    // Shows the month of PickerDate and marks its day.
    void FillCalendar();

    QDate pickerDate() const { return PickerDate; }
    int shownMonth() const { return ShownMonth; }
    int shownYear() const { return ShownYear; }

    // Room for the caption too, which a caller may change (QDialog::sizeHint() ignores it).
    QSize sizeHint() const override;

public Q_SLOTS:
    void Form_Load();
    void Grid1_Click();
    void Spin1_SpinUp();
    void Spin1_SpinDown();
    void Spin2_SpinUp();
    void Spin2_SpinDown();
    void txtMonth_GotFocus();
    void txtYear_GotFocus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void stepTo(int month, int year);
    void fitColumnsToDayNames(const QFont& nameFont);

    QLineEdit* txtMonth;
    SpinButton* Spin1;
    QLineEdit* txtYear;
    SpinButton* Spin2;
    QTableWidget* Grid1;

    QDate PickerDate;
    int ShownMonth = 0;
    int ShownYear = 0;
    QStringList MonthNames;
};

} // namespace tavrel
