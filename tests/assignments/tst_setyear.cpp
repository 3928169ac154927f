#include "assignments/frmsetyear.h"
#include "assignments/yeargen.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/qtui.h"
#include "core/startup.h"
#include "data/database.h"
#include "data/schema.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const QString NotAnInteger = QStringLiteral("You must enter an integer as the year.");
const QString OutOfRange = QStringLiteral("The year must lie between 100 and 9999.");
const QString CreateTitle = QStringLiteral("Create Task Assignments");

// "Air handler" in weeks 5 and 30, "Boiler" with no weeks.
const QString PlanSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname, locid, typid, empid, curyearonly) VALUES
    (1, 'Air handler', 1, 2, 3, 0), (2, 'Boiler', 1, 1, 1, 0);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 5), (1, 30);
)");

// Types into the year box, clicks the arrows ('u' up, 'd' down) or presses the arrow keys
// ('U', 'D') and then OK, as a user.
void typeSpinAndAccept(QDialog* dialog, const QString& typed, const QString& spins) {
    auto* year = childOf<QLineEdit>(dialog, "txtYear");
    if (!typed.isNull())
        year->setText(typed);
    for (const QChar arrow : spins) {
        if (arrow.isUpper())
            QTest::keyClick(year, arrow == u'U' ? Qt::Key_Up : Qt::Key_Down);
        else
            QTest::mouseClick(
                childOf<QToolButton>(dialog, arrow == u'u' ? "SpinButton1Up" : "SpinButton1Down"),
                Qt::LeftButton);
    }
    QTest::mouseClick(childOf<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
}

QList<QProgressDialog*> findOpenProgress() {
    QList<QProgressDialog*> found;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* progress = qobject_cast<QProgressDialog*>(window))
            found << progress;
    return found;
}

} // namespace

class TestSetYear : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // The year box, its arrows and OK's checks; a typed text of null keeps CurYear's.
    void dialogChecks_data() {
        addColumns<QString, QString>("typed", "spins");
        QTest::addColumn<QString>("shown");   // the year box when OK is pressed
        QTest::addColumn<QString>("message"); // empty: the year is accepted
        QTest::addColumn<int>("selected");
        addRow("starts at CurYear", QString(), "", "2005", "", 2005);
        addRow("arrows step by one", QString(), "uUd", "2006", "", 2006);
        addRow("fraction rounded", "2006.6", "", "2006.6", "", 2007);
        addRow("letters: arrows do nothing", "20x5", "uud", "20x5", NotAnInteger, 0);
        addRow("below 100", "99", "", "99", OutOfRange, 0);
        addRow("100 by the arrow", "99", "u", "100", "", 100);
        addRow("above 9999", "9999", "u", "10000", OutOfRange, 0);
        addRow("past 16 bits", "40000", "", "40000", OutOfRange, 0);
        addRow("past any int", "1e20", "", "1e20", OutOfRange, 0);
    }
    void dialogChecks() {
        QFETCH(QString, typed);
        QFETCH(QString, spins);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        QFETCH(int, selected);
        ScriptedUi ui;
        state().CurYear = 2005;
        bool stayedOpen = false;
        QString text;
        ui.onModal([&](QDialog* dialog) {
            typeSpinAndAccept(dialog, typed, spins);
            text = childOf<QLineEdit>(dialog, "txtYear")->text();
            stayedOpen = dialog->isVisible();
        });
        frmSetYear dialog;
        const int result = ui.showModal(&dialog);
        QCOMPARE(text, shown);
        if (message.isEmpty()) {
            QCOMPARE(ui.messages.size(), 0);
            QVERIFY(!stayedOpen);
            QCOMPARE(result, int(QDialog::Accepted));
            QCOMPARE(state().Cancelled, false);
            QCOMPARE(state().SelectedYear, selected);
        } else {
            QCOMPARE(ui.messages.size(), 1);
            QCOMPARE(ui.messages[0].text, message);
            // Refused: the dialog waited for a better year, and closing it then is Cancel.
            QVERIFY(stayedOpen);
            QCOMPARE(state().Cancelled, true);
        }
    }

    // Cancel, the close box and the same year generate nothing and keep the year.
    void cancelAndSameYearChangeNothing() {
        ScriptedUi ui;
        TempWorkFolder folder(2005, PlanSql);
        state().CurYear = 2005;
        ui.onModal([](QDialog* dialog) {
            childOf<QLineEdit>(dialog, "txtYear")->setText("2006");
            QTest::mouseClick(childOf<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        });
        QCOMPARE(SetCurrentYear(nullptr), false);
        QCOMPARE(state().Cancelled, true);
        ui.onModal([](QDialog* dialog) { childOf<QLineEdit>(dialog, "txtYear")->setText("2006"); });
        QCOMPARE(SetCurrentYear(nullptr), false);
        ui.onModal([](QDialog* dialog) { typeSpinAndAccept(dialog, QString(), QString()); });
        QCOMPARE(SetCurrentYear(nullptr), true);
        QCOMPARE(ui.messages.size(), 0); // no "Create Task Assignments" question
        QCOMPARE(state().CurYear, qint16(2005));
        QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2005);
        QCOMPARE(folder.scalar("SELECT count(*) FROM assign").toInt(), 0);
    }

    // The program's progress window: Cancel only where the step offers it, and reported.
    void progressWindowCancel() {
        QtUi qtUi;
        const auto shownDialog = [] {
            const QList<QProgressDialog*> open = findOpenProgress();
            return open.size() == 1 ? open.first() : nullptr;
        };
        {
            const std::unique_ptr<Progress> plain =
                qtUi.progress(QString(), "Upgrading", 2, ProgressCancel::NotOffered);
            QProgressDialog* dialog = shownDialog();
            QVERIFY(dialog);
            QVERIFY(!dialog->findChild<QPushButton*>());
        }
        const std::unique_ptr<Progress> offered =
            qtUi.progress(CreateTitle, "Creating", 2, ProgressCancel::Offered);
        QProgressDialog* dialog = shownDialog();
        QVERIFY(dialog);
        auto* cancel = dialog->findChild<QPushButton*>();
        QVERIFY(cancel);
        offered->setValue(1);
        QVERIFY(!offered->wasCanceled());
        cancel->click();
        QVERIFY(offered->wasCanceled());
    }

    // File, Set Current Year from the main window: the dialog, the generation, the caption,
    // the week list of the new year and the first task's marks in it.
    void menuSetsTheYearEndToEnd() {
        ScriptedUi ui;
        TempWorkFolder folder(2005, PlanSql, false);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.path());
        {
            frmMain w;
            installTaskEditor(w);
            QVERIFY(!w.mnuSetYear->isEnabled()); // nothing to run it yet
            state().startupSteps.createYearAssignments = CreateYearAssignments;
            state().startupSteps.setCurrentYear = SetCurrentYear;
            w.Form_Load();
            QVERIFY(w.mnuSetYear->isEnabled());
            auto* weeks = w.findChild<QListWidget*>("lstWeeks");
            QVERIFY(weeks);

            // While a task is edited Exit is off, and so is Set Current Year.
            w.mnuExit->setEnabled(false);
            QVERIFY(!w.mnuSetYear->isEnabled());
            w.mnuExit->setEnabled(true);
            QVERIFY(w.mnuSetYear->isEnabled());

            auto* taskName = w.findChild<QLineEdit*>("txtTaskName");
            auto* last = w.findChild<QPushButton*>("cmdLast");
            QVERIFY(taskName && last);
            QTest::mouseClick(last, Qt::LeftButton);
            QCOMPARE(taskName->text(), "Boiler");

            ui.onModal([](QDialog* dialog) { typeSpinAndAccept(dialog, QString(), "u"); });
            ui.answer(MsgResult::Yes);
            w.mnuSetYear->trigger();
            QCOMPARE(ui.modalTitles.size(), 1);
            QCOMPARE(ui.messages.size(), 1);
            QCOMPARE(w.mnuSetYear->text(), "&Set Current Year (Now 2006)");
            // 1 January 2006 is a Sunday: week 1 starts on the 2nd.
            QCOMPARE(weeks->item(0)->text(), "Week of 1/2/2006");
            // The first task is shown again, so that its weeks are marked in the new list.
            QCOMPARE(taskName->text(), "Air handler");
            QCOMPARE(folder.texts("SELECT duedate FROM assign ORDER BY duedate"),
                     (QStringList{"2006-01-30", "2006-07-24"}));
            w.Form_Unload();
        }
        QDir::setCurrent(previous);
        QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2006);
    }

    // Two planners on one site: one sets 2006 up while the other browses and edits a task.
    // The set-up is written whole and leaves the other alone, whose edit then saves without a
    // word; the other works on in 2005 and finds 2006 set up when it next opens the site.
    void yearSetUpWhileAnotherPlannerEdits() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 12, 19));
        TempWorkFolder folder(2005, PlanSql, false);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.path());
        state().startupSteps.createYearAssignments = CreateYearAssignments;
        const auto opened = [] {
            auto w = std::make_unique<frmMain>();
            installTaskEditor(*w);
            w->Form_Load();
            return w;
        };
        {
            const std::unique_ptr<frmMain> other = opened();
            QTest::keyClicks(other->findChild<QLineEdit*>("txtManuf"), "Acme");
            {
                // The planner who sets the year up, in a program of its own.
                FreshProgramState planner;
                state().AppPath = QDir(folder.path()).absolutePath() + u'/';
                state().DbPath = folder.dbPath();
                state().dbMain = Database::open(folder.dbPath());
                state().CurYear = 2005;
                ui.answer(MsgResult::Yes);
                CreateYearAssignments(2006);
                QCOMPARE(state().CurYear, qint16(2006));
                state().dbMain.close();
            }
            QVERIFY2(ui.messageTitles() == QStringList{CreateTitle},
                     qPrintable(ui.messageTexts().join(u'\n')));
            QCOMPARE(folder.texts("SELECT duedate FROM assign ORDER BY duedate"),
                     (QStringList{"2006-01-30", "2006-07-24"}));
            QCOMPARE(folder.scalar("SELECT CurYear FROM settings").toInt(), 2006);

            QCOMPARE(other->mnuSetYear->text(), "&Set Current Year (Now 2005)");
            QTest::mouseClick(other->findChild<QPushButton*>("cmdUpdate"), Qt::LeftButton);
            QCOMPARE(ui.messageTitles(), QStringList{CreateTitle});
            QCOMPARE(folder.texts("SELECT manuf FROM tasks ORDER BY taskid"),
                     (QStringList{"Acme", ""}));
            other->Form_Unload();
        }
        ui.setToday(QDate(2006, 1, 9));
        const std::unique_ptr<frmMain> other = opened();
        QCOMPARE(ui.messageTitles(), QStringList{CreateTitle}); // nothing asked
        QCOMPARE(other->mnuSetYear->text(), "&Set Current Year (Now 2006)");
        QCOMPARE(other->findChild<QListWidget*>("lstWeeks")->item(0)->text(), "Week of 1/2/2006");
        other->Form_Unload();
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(TestSetYear)
#include "tst_setyear.moc"
