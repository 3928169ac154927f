// New Job: a one-off assignment for any task on any date, from the Maintain menu.

#include "assignments/frmnewjob.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/storedrows.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Tasks by name: Air handler (whose usual employee is retired), Boiler (Baker's), Roof
// (nobody's, no location or type).
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname, inactive) VALUES
    (1, 'Ann', 'Baker', 0), (2, 'Bob', 'Cole', 1);
INSERT INTO tasks (taskid, taskname, locid, typid, empid) VALUES
    (1, 'Boiler', 3, 4, 1), (2, 'Air handler', 5, 6, 2), (3, 'Roof', NULL, NULL, NULL);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 3);
)");

// Every assignment, one line each.
QString jobs(const TempDatabase& db) {
    return storedRows(db,
                      {"taskid", "weeid", "duedate", "empid", "locid", "typid", "completed <> 0",
                       "oneoff <> 0", "compnotes"},
                      "from assign order by assid")
        .join(u"; ");
}

// Chooses the task list's entry `row` from the keyboard, from no task chosen.
void chooseTask(QComboBox* tasks, int row) {
    tasks->setFocus();
    for (int i = 0; i <= row; ++i)
        QTest::keyClick(tasks, Qt::Key_Down);
}

} // namespace

class TestNewJob : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // The menu entry opens the dialog due today with no task chosen; a task proposes its
    // usual employee unless that one is retired; OK writes a one-off job without a week.
    void newJobFromTheMaintainMenu() {
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 9));
        TempWorkFolder folder(2005, SiteSql);
        frmMain main;
        installNewJob(main);
        QVERIFY(main.mnuNewJob->isEnabled());
        QString opened;
        ui.onModal([&](QDialog* dialog) {
            WindowDriver d(dialog);
            auto* tasks = d.w<QComboBox>("cmbTask");
            auto* emp = d.w<QComboBox>("cmbEmp");
            opened = QStringLiteral("%1|%2|%3")
                         .arg(tasks->currentIndex())
                         .arg(d.w<DateField>("dcDueDate")->text(), emp->currentText());
            QCOMPARE(entryTexts(tasks), (QStringList{"Air handler", "Boiler", "Roof"}));
            QCOMPARE(choosableTexts(emp), QStringList{"Baker, Ann"});
            chooseTask(tasks, 0);
            QCOMPARE(tasks->currentText(), "Air handler");
            QCOMPARE(emp->currentIndex(), -1); // Cole is retired
            QTest::keyClick(tasks, Qt::Key_Down);
            QCOMPARE(emp->currentText(), "Baker, Ann");
            d.typeInto("dcDueDate", "1/17/05"); // the Monday of its week 3
            d.typeInto("txtNotes", "Burner trips");
            QVERIFY(d.click("cmdHelp"));
            QVERIFY(d.click("cmdOK"));
        });
        main.mnuNewJob->trigger();
        QCOMPARE(ui.modalTitles, QStringList{"New Job"});
        QCOMPARE(opened, "-1|3/9/2005|");
        QCOMPARE(ui.helpTopics, QStringList{"newjob"});
        QVERIFY(QFile::exists(":/help/newjob.html"));
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
        QCOMPARE(jobs(folder), "1 - 2005-01-17 1 3 4 0 1 Burner trips");

        // Without an employee, for a task without location and type, far from this year;
        // the caller learns which row was written.
        ui.onModal([](QDialog* dialog) {
            WindowDriver d(dialog);
            chooseTask(d.w<QComboBox>("cmbTask"), 2);
            d.typeInto("dcDueDate", "12/31/2030");
            QVERIFY(d.click("cmdOK"));
        });
        QVariant created;
        QVERIFY(openNewJob(&main, &created));
        QCOMPARE(created, folder.scalar("select max(assid) from assign"));
        QCOMPARE(jobs(folder), "1 - 2005-01-17 1 3 4 0 1 Burner trips; "
                               "3 - 2030-12-31 - - - 0 1 ");
        // Cancel writes nothing.
        ui.onModal([](QDialog* dialog) {
            WindowDriver d(dialog);
            chooseTask(d.w<QComboBox>("cmbTask"), 1);
            QVERIFY(d.click("cmdCancel"));
        });
        QVERIFY(!openNewJob(&main));
        QCOMPARE(folder.scalar("select count(*) from assign").toInt(), 2);
    }

    // OK refuses what it cannot write with a message and keeps the dialog open with what
    // was entered; nothing is written. A task another program deleted meanwhile leaves the
    // list.
    void refusalsKeepTheDialogOpen_data() {
        addColumns<int, QString, bool, QString>("task", "date", "deleteTask", "message");
        addRow("no task chosen", -1, "3/9/2005", false, "You must choose the task the job is for.");
        addRow("no such day", 1, "2/30/2005", false,
               "You must enter a valid due date for the job.");
        addRow("no date", 1, "", false, "You must enter a valid due date for the job.");
        addRow("task deleted meanwhile", 1, "3/9/2005", true,
               "The task you chose no longer exists. Choose the task the job is for again.");
    }
    void refusalsKeepTheDialogOpen() {
        QFETCH(int, task);
        QFETCH(QString, date);
        QFETCH(bool, deleteTask);
        QFETCH(QString, message);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 9));
        TempWorkFolder folder(2005, SiteSql);
        bool stayedOpen = false;
        QStringList tasksAfter;
        ui.onModal([&](QDialog* dialog) {
            WindowDriver d(dialog);
            bringForward(dialog);
            if (task >= 0)
                chooseTask(d.w<QComboBox>("cmbTask"), task);
            d.typeInto("dcDueDate", date);
            if (deleteTask)
                folder.exec("DELETE FROM tasks WHERE taskname = 'Boiler';");
            d.press(Qt::Key_O, Qt::AltModifier);
            stayedOpen = dialog->isVisible();
            tasksAfter = entryTexts(d.w<QComboBox>("cmbTask"));
        });
        QVERIFY(!openNewJob(nullptr));
        QCOMPARE(ui.messageTexts(), QStringList{message});
        QVERIFY(stayedOpen);
        QCOMPARE(folder.scalar("select count(*) from assign").toInt(), 0);
        const QStringList expected = deleteTask ? QStringList{"Air handler", "Roof"}
                                                : QStringList{"Air handler", "Boiler", "Roof"};
        QCOMPARE(tasksAfter, expected);
    }

    // Without a task there is nothing to make a job for: said so, and no dialog.
    void noTasksNoDialog() {
        ScriptedUi ui;
        TempWorkFolder folder(2005);
        QVERIFY(!openNewJob(nullptr));
        QCOMPARE(ui.messageTexts(),
                 QStringList{"There are no tasks yet. Add the task the job is for in the main "
                             "window first."});
        QVERIFY(ui.modalTitles.isEmpty());
    }
};

QTEST_MAIN(TestNewJob)
#include "tst_newjob.moc"
