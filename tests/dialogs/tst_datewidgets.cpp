#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "dialogs/frmdateent.h"
#include "dialogs/frmrptdate.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "text/datetext.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

using namespace tavrel;
using tavrel::test::addColumns;
using tavrel::test::addRow;

namespace {

const QDate Today(2005, 7, 14); // the scripted clock's date: a Thursday

QTableWidget* gridOf(QWidget* picker) {
    return picker->findChild<QTableWidget*>("Grid1");
}

// The cell of the picker's grid that shows `text`, or null.
QTableWidgetItem* cellWith(QTableWidget* grid, const QString& text) {
    for (int r = 1; r < grid->rowCount(); ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            if (grid->item(r, c) && grid->item(r, c)->text() == text)
                return grid->item(r, c);
        }
    }
    return nullptr;
}

void clickCell(QTableWidget* grid, QTableWidgetItem* item) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(item).center());
}

void clickSpin(QWidget* picker, const char* spin, bool up) {
    auto* s = picker->findChild<SpinButton*>(QString::fromLatin1(spin));
    QVERIFY(s);
    (up ? s->upButton() : s->downButton())->click();
}

// A window holding one date field and a line edit to move the focus to.
struct Host {
    QWidget window;
    DateField* field = new DateField(&window);
    DateField* other = new DateField(&window);
    QLineEdit* next = new QLineEdit(&window);

    Host() {
        field->setObjectName("dcPurchDate");
        other->setObjectName("dcWarDate");
        next->setObjectName("txtNext");
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        layout->addWidget(next);
    }
    bool showActive() {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

} // namespace

// The calendar picker, the date field and the single-date dialog, driven through the
// scripted user interface.
class TestDateWidgets : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }

    void init() {
        test::resetProgramState();
        test::useTestLocale();
        ChkDateFmt();
        ui_ = std::make_unique<test::ScriptedUi>();
        ui_->setToday(Today);
    }
    void cleanup() { ui_.reset(); }

    // Over every month of two years and the edges of the calendar: weeks start on Sunday, each
    // day sits under its weekday in its week's row, no other cell is filled, and the day picked
    // is the one current and selected.
    void pickerLayout() {
        QList<QDate> dates{QDate(99, 12, 5), QDate(9999, 12, 31)};
        for (int m = 0; m < 24; ++m)
            dates << QDate(2004, 1, 1).addMonths(m).addDays(m % 28);
        for (const QDate& date : dates) {
            state().PickedDate = date;
            frmDateEnt picker;
            QTableWidget* grid = gridOf(&picker);
            QCOMPARE(picker.findChild<QLineEdit*>("txtMonth")->text(), longMonthName(date.month()));
            QCOMPARE(picker.findChild<QLineEdit*>("txtYear")->text(), QString::number(date.year()));
            QCOMPARE(grid->item(0, 0)->text(), " Sun ");
            const int firstColumn = QDate(date.year(), date.month(), 1).dayOfWeek() % 7;
            QStringList expected(6 * 7);
            for (int day = 1; day <= date.daysInMonth(); ++day)
                expected[firstColumn + day - 1] = QString::number(day);
            QStringList shown;
            for (int r = 1; r < 7; ++r)
                for (int c = 0; c < 7; ++c)
                    shown << grid->item(r, c)->text();
            QCOMPARE(shown, expected);
            QCOMPARE(grid->currentItem()->text(), QString::number(date.day()));
            QCOMPARE(grid->selectedItems(), QList<QTableWidgetItem*>{grid->currentItem()});
        }
    }

    void pickerSteps_data() {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QString>("step");   // a spin button and its arrow, or a key
        QTest::addColumn<QDate>("expected"); // invalid: a beep, and nothing moves
        addRow("31 Jan, month forward", QDate(2005, 1, 31), "Spin1+", QDate(2005, 2, 1));
        addRow("year 100, back to 99", QDate(100, 6, 10), "Spin2-", QDate(99, 6, 10));
        addRow("Page Up: month back", QDate(2005, 1, 15), "PgUp", QDate(2004, 12, 15));
        addRow("Ctrl+Page Down: year forward", QDate(2004, 2, 29), "^PgDn", QDate(2005, 2, 1));
        addRow("December 9999, month forward", QDate(9999, 12, 15), "Spin1+", QDate());
    }

    // Steps by the spin buttons and the keys; the grid follows the new month, and only a chosen
    // day changes PickedDate.
    void pickerSteps() {
        QFETCH(QDate, start);
        QFETCH(QString, step);
        QFETCH(QDate, expected);
        state().PickedDate = start;
        frmDateEnt picker;
        if (step.startsWith(u"Spin"))
            clickSpin(&picker, step.left(5).toLatin1().constData(), step.endsWith(u'+'));
        else
            QTest::keyClick(gridOf(&picker),
                            step.endsWith(u"Up") ? Qt::Key_PageUp : Qt::Key_PageDown,
                            step.startsWith(u'^') ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(ui_->beeps, expected.isValid() ? 0 : 1);
        if (!expected.isValid())
            expected = start;
        QCOMPARE(picker.pickerDate(), expected);
        QCOMPARE(picker.shownMonth(), expected.month());
        QCOMPARE(picker.shownYear(), expected.year());
        QCOMPARE(picker.findChild<QLineEdit*>("txtMonth")->text(), longMonthName(expected.month()));
        QCOMPARE(gridOf(&picker)->currentItem()->text(), QString::number(expected.day()));
        QCOMPARE(state().PickedDate, start);
    }

    // Every day name shows whole in its column, however long the language's names are.
    void pickerDayNamesFit() {
        test::useTestLocale("ar_EG"); // الاثنين, الثلاثاء, ...
        state().PickedDate = Today;
        frmDateEnt picker;
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        QTableWidget* grid = gridOf(&picker);
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QTableWidgetItem* name = grid->item(0, c);
            const int needed = QFontMetrics(name->font()).horizontalAdvance(name->text());
            QVERIFY2(grid->columnWidth(c) >= needed, qPrintable(QStringLiteral("%1: %2 < %3")
                                                                    .arg(name->text())
                                                                    .arg(grid->columnWidth(c))
                                                                    .arg(needed)));
        }
    }

    // A click on a day chooses it and closes; an empty cell or a day name does nothing; Enter
    // chooses the current cell; the close box leaves PickedDate alone.
    void pickerChoosing_data() {
        addColumns<QString, QDate>("how", "picked");
        addRow("a click on a day", "click", QDate(2005, 7, 20));
        addRow("Enter on a day of the next month", "enter", QDate(2005, 8, 9));
        addRow("the close box", "close", QDate(2005, 7, 4));
    }
    void pickerChoosing() {
        QFETCH(QString, how);
        QFETCH(QDate, picked);
        state().PickedDate = QDate(2005, 7, 4);
        frmDateEnt picker;
        picker.show();
        QTableWidget* grid = gridOf(&picker);
        if (how == "click") {
            clickCell(grid, grid->item(6, 1)); // after 31 July, in the last row
            clickCell(grid, grid->item(0, 3));
            QVERIFY(picker.isVisible());
            QCOMPARE(state().PickedDate, QDate(2005, 7, 4));
            clickCell(grid, cellWith(grid, "20"));
        } else if (how == "enter") {
            clickSpin(&picker, "Spin1", true);
            grid->setCurrentItem(cellWith(grid, "9"));
            QTest::keyClick(grid, Qt::Key_Return);
        } else {
            clickSpin(&picker, "Spin2", true);
            picker.close();
        }
        QVERIFY(!picker.isVisible());
        QCOMPARE(picker.result(), int(how == "close" ? QDialog::Rejected : QDialog::Accepted));
        QCOMPARE(state().PickedDate, picked);
    }

    void pickerFocus() {
        state().PickedDate = Today;
        frmDateEnt picker;
        picker.show();
        picker.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&picker));
        QTableWidget* grid = gridOf(&picker);
        QCOMPARE(QApplication::focusWidget(), grid);

        picker.findChild<QLineEdit*>("txtMonth")->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), grid);
        QTest::keyClick(grid, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), grid);
    }

    // On an empty field the picker shows today's month with today marked; its close box
    // then writes today into the field, and the focus moves on.
    void fieldDropDownOnEmptyField() {
        Host host;
        QVERIFY(host.showActive());
        host.field->setFocus();
        QSignalSpy changed(host.field, &DateField::textChanged);
        QString shownMonth;
        QString shownYear;
        QString marked;
        ui_->onModal([&](QDialog* picker) {
            shownMonth = picker->findChild<QLineEdit*>("txtMonth")->text();
            shownYear = picker->findChild<QLineEdit*>("txtYear")->text();
            marked = gridOf(picker)->currentItem()->text();
        });
        host.field->showPopup();
        QCOMPARE(ui_->modalTitles, QStringList{"Select Date"});
        QCOMPARE(shownMonth, "July");
        QCOMPARE(shownYear, "2005");
        QCOMPARE(marked, "14");
        QCOMPARE(host.field->text(), "7/14/2005");
        QCOMPARE(changed.size(), 1);
        QCOMPARE(ui_->tabs, 1);
        QVERIFY(ui_->messages.isEmpty());

        // Not a date: the picker starts on today, and no refusal comes of the picker taking
        // the focus or of the Tab that follows.
        host.field->setText("garbage");
        host.field->setFocus();
        bool pickerActive = false;
        ui_->onModal([&](QDialog* picker) {
            marked = gridOf(picker)->currentItem()->text();
            // As a real modal window does, the picker takes the activation and the focus.
            QApplication::setActiveWindow(picker);
            pickerActive = gridOf(picker)->hasFocus();
        });
        host.field->showPopup();
        QVERIFY(pickerActive);
        QCOMPARE(marked, "14");
        QCOMPARE(host.field->text(), "7/14/2005");
        QVERIFY(ui_->messages.isEmpty());
    }

    void fieldDropDownChoosesDay() {
        Host host;
        host.field->setPickerCaption("Select Start Date");
        host.field->setText("1-6-05");
        QString shownMonth;
        ui_->onModal([&](QDialog* picker) {
            shownMonth = picker->findChild<QLineEdit*>("txtMonth")->text();
            QTableWidget* grid = gridOf(picker);
            clickCell(grid, cellWith(grid, "20"));
        });
        host.field->showPopup();
        QCOMPARE(ui_->modalTitles, QStringList{"Select Start Date"});
        QCOMPARE(shownMonth, "January");
        QCOMPARE(host.field->text(), "1/20/2005");
        QCOMPARE(host.field->date().value_or(QDate()), QDate(2005, 1, 20));
        QCOMPARE(state().PickedDate, QDate(2005, 1, 20));
    }

    void fieldPlacement_data() {
        addColumns<int, QPoint>("placement", "expected");
        // Field at (100, 200), 120 x 24; picker 300 x 250.
        addRow("above, right aligned", int(DateField::Placement::AboveRightAligned),
               QPoint(-80, -26));
        addRow("below, left aligned", int(DateField::Placement::BelowLeftAligned),
               QPoint(100, 248));
        addRow("below, right aligned", int(DateField::Placement::BelowRightAligned),
               QPoint(-80, 248));
    }

    void fieldPlacement() {
        QFETCH(int, placement);
        QFETCH(QPoint, expected);
        QCOMPARE(DateField::pickerPosition(static_cast<DateField::Placement>(placement),
                                           QRect(100, 200, 120, 24), QSize(300, 250)),
                 expected);
    }

    void fieldLostFocus_data() {
        addColumns<bool, bool, QString, bool, QString>("required", "rewrite", "text", "refused",
                                                       "after");
        addRow("required, empty", true, false, "", true, "");
        addRow("required, date kept as typed", true, false, "1-6-05", false, "1-6-05");
        addRow("optional, empty", false, true, "", false, "");
        addRow("optional, blanks", false, true, "  ", false, "  ");
        addRow("optional, not a date", false, true, "soon", true, "soon");
        addRow("optional, rewritten", false, true, "1-6-05", false, "1/6/2005");
    }

    // A refused text shows the field's own message (OK, no title of its own, no icon) and the
    // focus goes back into the field; an accepted one lets the focus go.
    void fieldLostFocus() {
        QFETCH(bool, required);
        QFETCH(bool, rewrite);
        QFETCH(QString, text);
        QFETCH(bool, refused);
        QFETCH(QString, after);
        const QString message = QStringLiteral("You must enter a valid purchase date, or leave the "
                                               "field blank.");
        Host host;
        host.field->setCheck(required ? DateField::Kind::Required : DateField::Kind::Optional,
                             message, rewrite);
        QVERIFY(host.showActive());
        host.field->setFocus();
        QTest::keyClicks(host.field->lineEdit(), text);
        QCOMPARE(host.field->text(), text);

        host.next->setFocus(Qt::TabFocusReason);
        QCOMPARE(host.field->text(), after);
        if (refused) {
            QCOMPARE(ui_->messages.size(), 1);
            const test::ShownMessage shown = ui_->lastMessage();
            QCOMPARE(shown.text, message);
            QCOMPARE(shown.title, AppTitle);
            QCOMPARE(shown.buttons, MsgButtons::Ok);
            QCOMPARE(shown.icon, MsgIcon::None);
            QCOMPARE(QApplication::focusWidget(), host.field);
        } else {
            QVERIFY(ui_->messages.isEmpty());
            QCOMPARE(QApplication::focusWidget(), host.next);
        }
    }

    // Two empty required fields: leaving the first for the second refuses once, and the
    // second, which only had the focus for a moment, does not refuse in turn.
    void fieldRefusalDoesNotLoop() {
        Host host;
        host.field->setCheck(DateField::Kind::Required, "first");
        host.other->setCheck(DateField::Kind::Required, "second");
        QVERIFY(host.showActive());
        host.field->setFocus();
        host.other->setFocus(Qt::MouseFocusReason);
        QCOMPARE(ui_->messageTexts(), QStringList{"first"});
        QCOMPARE(QApplication::focusWidget(), host.field);

        host.next->setFocus(Qt::TabFocusReason);
        QCOMPARE(ui_->messageTexts(), (QStringList{"first", "first"}));
        QCOMPARE(QApplication::focusWidget(), host.field);
    }

    void fieldDisabledNeverChecks() {
        Host host;
        host.field->setCheck(DateField::Kind::Required, "refused");
        QVERIFY(host.showActive());
        host.field->setFocus();
        host.field->setText("soon");
        host.field->setEnabled(false);
        QVERIFY(!host.field->hasFocus());
        host.next->setFocus();
        QVERIFY(ui_->messages.isEmpty());
    }

    // The dialog opens on today's date; OK on a text that is not a date says so and stays open;
    // the close box then cancels.
    void rptDateBadText() {
        state().Cancelled = true;
        frmRptDate dialog;
        bool stillOpen = false;
        QString opened;
        ui_->onModal([&](QDialog* d) {
            auto* field = d->findChild<DateField*>("dcStartDate");
            opened = field->text();
            field->setText("2/30/2005");
            d->findChild<QPushButton*>("cmdOK")->click();
            stillOpen = d->isVisible();
        });
        QCOMPARE(ui().showModal(&dialog), int(QDialog::Rejected));
        QVERIFY(stillOpen);
        QCOMPARE(opened, "7/14/2005");
        QCOMPARE(ui_->messages.size(), 1);
        const test::ShownMessage shown = ui_->lastMessage();
        QCOMPARE(shown.text, "That is not a valid date.");
        QCOMPARE(state().Cancelled, true);
        QVERIFY(!state().DialogDate.isValid());
    }

    void dialogsFitTheirTitles_data() {
        addColumns<bool, QString>("picker", "title");
        addRow("single date, caller's caption", false, "Select Starting Date for Assignments");
        addRow("picker, caller's caption", true,
               "Select the Last Date of the Period the Report Covers");
    }

    // Shown as the callers show them, the dialogs are wide enough for their whole caption in a
    // bold title font.
    void dialogsFitTheirTitles() {
        QFETCH(bool, picker);
        QFETCH(QString, title);
        std::unique_ptr<QDialog> dialog;
        if (picker)
            dialog = std::make_unique<frmDateEnt>();
        else
            dialog = std::make_unique<frmRptDate>();
        dialog->setWindowTitle(title);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QFont titleFont = dialog->font();
        titleFont.setBold(true);
        QVERIFY2(dialog->width() >= QFontMetrics(titleFont).horizontalAdvance(title),
                 qPrintable(QString::number(dialog->width())));
        QVERIFY(dialog->width() >= dialog->minimumSizeHint().width());
    }

private:
    std::unique_ptr<test::ScriptedUi> ui_;
};

QTEST_MAIN(TestDateWidgets)
#include "tst_datewidgets.moc"
