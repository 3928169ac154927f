#include "assignments/frmassign.h"
#include "assignments/money.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "dialogs/datefield.h"
#include "support/datarows.h"
#include "support/editorfixture.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Tasks whose names sort differently with and without regard to case; assignments of 2005
// (ids 1 to 4, assignment 1 completed) and of 2004 (5, and 6 completed).
const QString SampleSql = QStringLiteral(R"(
INSERT INTO employees (firstname, lastname) VALUES ('Ann', 'Baker'), ('', 'Cole'), ('Dan', '');
INSERT INTO managers (manfirst, manlast) VALUES ('Mia', 'Stone');
INSERT INTO tasks (taskname, taskdesc, tools, results, besttime, reqhour, reqmin)
VALUES ('Boiler inspection', 'Check the burner', 'Gauge', 'No leaks', 'Morning', 2, 30),
       ('check extinguishers', NULL, '', NULL, NULL, 0, 0),
       ('Replace filters', NULL, NULL, NULL, NULL, NULL, 15);
INSERT INTO assign (taskid, duedate, completed, comphour, empid, manid, parts, labor, tax,
                    totalcost, compnotes) VALUES
  (1, '2005-01-17', 1, 2, NULL, NULL, 10, 0, 0, 10, NULL),
  (1, '2005-01-24', 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (2, '2005-01-10', 0, 1.5, 2, 1, 5.1234, 2.5, 0, 7.6234, 'Done early'),
  (3, '2005-02-07', 0, 0, NULL, NULL, 0, 0, 0, 0, NULL),
  (2, '2004-06-07', 0, 0, NULL, NULL, 0, 0, 0, 0, NULL),
  (3, '2004-03-01', 1, 0, NULL, NULL, 0, 0, 0, 0, NULL);
UPDATE assign SET compmin = NULL WHERE assid = 3;
)");

// Every column of every assignment, as one text.
QString allColumns(const EditorFixture& e) {
    return e
        .rows({"assid", "taskid", "duedate", "completed <> 0", "compdate", "comphour", "compmin",
               "empid", "manid", "parts", "labor", "tax", "totalcost", "compnotes"},
              "from assign order by assid")
        .join(u"; ");
}

// The editor on the sample assignments unless a test gives other rows.
struct Editor : AssignEditorFixture {
    explicit Editor(const QString& sql = SampleSql)
        : AssignEditorFixture(sql) {}
    // A column of assignment 3, the first one shown.
    QVariant column(const char* name) const {
        return stored(QStringLiteral("select %1 from assign where assid = 3").arg(name));
    }
    bool fieldsEnabled() const {
        return w("chkCompleted")->isEnabled() && w("txtTask")->isEnabled() &&
               w("txtTotalCost")->isEnabled() && w("cmbMan")->isEnabled();
    }
    // The shown column of every row, from the first row on with Next, until Next beeps.
    QStringList walk(const char* column, const ScriptedUi& ui) const {
        QStringList shown;
        click("cmdFirst");
        const int beeps = ui.beeps;
        while (ui.beeps == beeps && shown.size() < 20) {
            shown << text(column);
            click("cmdNext");
        }
        return shown;
    }
};

QString marks(const frmAssign& form) {
    QString result;
    for (QAction* const* pair : {form.mnuYear, form.mnuComplete, form.mnuSort})
        result +=
            QString::number(int(pair[1]->isChecked())) + QString::number(int(pair[2]->isChecked()));
    return result;
}

} // namespace

class TstAssignEditor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedUi> ui;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        ui = std::make_unique<ScriptedUi>();
    }
    void cleanup() { ui.reset(); }

    // Menu choices one after the other (Y year, C completion, S sort; 1 or 2 the item): the
    // check marks and the rows shown from the first on, with Next beeping on the last. By
    // task name without regard to case: "check" between "Boiler" and "Replace".
    void menuChoicesShowTheirRows_data() {
        addColumns<QString, QString>("choices", "expectedMarks");
        QTest::addColumn<QStringList>("shown"); // due dates, or task names when by name
        const QStringList open{"1/10/2005", "1/24/2005", "2/7/2005"};
        const QStringList allYears{"6/7/2004", "1/10/2005", "1/24/2005", "2/7/2005"};
        const QStringList thisYear{"1/10/2005", "1/17/2005", "1/24/2005", "2/7/2005"};
        const QStringList all{"3/1/2004",  "6/7/2004",  "1/10/2005",
                              "1/17/2005", "1/24/2005", "2/7/2005"};
        const QString boiler = QStringLiteral("Boiler inspection");
        const QString check = QStringLiteral("check extinguishers");
        const QString filters = QStringLiteral("Replace filters");
        // One row a line.
        // clang-format off
        addRow("opened", QString(), "101000", open);
        addRow("all years", "Y2", "011000", allYears);
        addRow("both", "C2", "100100", thisYear);
        addRow("by date, everything", "Y2 C2 S1", "010110", all);
        addRow("by name, everything", "Y2 C2 S2", "010101", QStringList{boiler, boiler, check, check, filters, filters});
        addRow("show after sort by name", "S2 Y2", "011001", allYears);
        // clang-format on
    }
    void menuChoicesShowTheirRows() {
        QFETCH(QString, choices);
        QFETCH(QString, expectedMarks);
        QFETCH(QStringList, shown);
        Editor e;
        for (const QString& choice : choices.split(u' ', Qt::SkipEmptyParts)) {
            QAction* const* pair = choice[0] == u'Y'   ? e.form->mnuYear
                                   : choice[0] == u'C' ? e.form->mnuComplete
                                                       : e.form->mnuSort;
            pair[choice.mid(1).toInt()]->trigger();
        }
        QCOMPARE(marks(*e.form), expectedMarks);
        const char* column = choices.endsWith(u"S2") ? "txtTaskName" : "txtDueDate";
        QCOMPARE(e.walk(column, *ui), shown);
        QCOMPARE(e.text(column), shown.last()); // Next on the last beeped and stayed
        QCOMPARE(e.mode(), "browse");
    }

    void showsTheAssignmentAndItsTask() {
        Editor e(SampleSql + "INSERT INTO assign (taskid, duedate) VALUES (99, '2005-03-07');");
        auto* employees = e.w<QComboBox>("cmbEmp");
        QCOMPARE(entryTexts(employees), (QStringList{"Dan", "Baker, Ann", "Cole"}));
        // Assignment 3: task 2, whose empty tools have no heading and time is 0.
        QCOMPARE(e.text("txtTaskID"), "2");
        QCOMPARE(e.w<QPlainTextEdit>("txtTask")->toPlainText(), QString());
        QCOMPARE(e.text("txtCompHour"), "1.5");
        QCOMPARE(e.text("txtCompMin"), QString());
        QCOMPARE(e.w<QComboBox>("cmbEmp")->currentText(), "Cole");
        QCOMPARE(e.w<QComboBox>("cmbMan")->currentText(), "Stone, Mia");
        QCOMPARE(e.text("txtParts"), "$5.12");
        QCOMPARE(e.text("txtTotalCost"), "$7.62");
        QCOMPARE(e.w<QPlainTextEdit>("txtCompNotes")->toPlainText(), "Done early");
        // Activation reloads only the lists whose flag is set, keeping the selection.
        e.folder.exec("INSERT INTO employees (firstname, lastname) VALUES ('Al', 'Adams');"
                      "INSERT INTO managers (manfirst, manlast) VALUES ('Bo', 'Berg');");
        state().EmployeesChanged = true;
        e.form->Form_Activate();
        QCOMPARE(entryTexts(employees), (QStringList{"Dan", "Adams, Al", "Baker, Ann", "Cole"}));
        QCOMPARE(employees->currentText(), "Cole");
        QCOMPARE(e.w<QComboBox>("cmbMan")->count(), 1);
        QCOMPARE(e.mode(), "browse");

        e.click("cmdNext");
        QCOMPARE(e.text("txtTaskName"), "Boiler inspection");
        QCOMPARE(e.w<QPlainTextEdit>("txtTask")->toPlainText(),
                 QStringLiteral("Description: Check the burner\n\nTools/Techniques Required: "
                                "Gauge\n\nExpected Results: No leaks\n\nBest Time to Complete: "
                                "Morning\n\nTime to Complete: 2 Hours, 30 Minutes"));
        QCOMPARE(e.text("txtParts"), "$0.00"); // empty in the row
        QCOMPARE(e.w<QComboBox>("cmbEmp")->currentIndex(), -1);
        e.click("cmdNext");
        QCOMPARE(e.w<QPlainTextEdit>("txtTask")->toPlainText(),
                 "Time to Complete:  Hours, 15 Minutes");
        QVERIFY(ui->messages.isEmpty());

        e.click("cmdLast"); // its task is gone: said so, and the assignment is still shown
        QCOMPARE(ui->messageTexts(),
                 QStringList{"Error - Task description not found in database."});
        QCOMPARE(ui->lastMessage().title, AppTitle);
        QCOMPARE(e.text("txtDueDate"), "3/7/2005");
        QCOMPARE(e.text("txtTaskName"), QString());
        QCOMPARE(e.mode(), "browse");
        QVERIFY(e.fieldsEnabled());
    }

    void nothingUncompletedThisYear() {
        Editor e(SampleSql + "UPDATE assign SET completed = 1 WHERE duedate >= '2005-01-01';");
        QVERIFY(!e.fieldsEnabled());
        QCOMPARE(e.text("txtDueDate"), QString());
        for (const char* move : {"cmdFirst", "cmdPrevious", "cmdNext", "cmdLast"})
            QVERIFY(e.click(move));
        QCOMPARE(ui->beeps, 0);
        QCOMPARE(e.text("txtDueDate"), QString());
        e.form->mnuComplete[2]->trigger();
        QVERIFY(e.fieldsEnabled());
        QCOMPARE(e.text("txtDueDate"), "1/10/2005");
    }

    // Typing into Hours edits at the first key; Cancel puts back what is stored. Update
    // writes every field; a completed assignment stays until the next menu choice.
    void editCancelAndUpdate() {
        Editor e;
        e.typeInto("txtCompHour", "4");
        QCOMPARE(e.mode(), "edit");
        QVERIFY(e.click("cmdCancel"));
        QCOMPARE(e.mode(), "browse");
        QCOMPARE(e.text("txtCompHour"), "1.5");

        e.typeAndLeave("txtCompHour", "3.25");
        QCOMPARE(e.mode(), "edit");
        e.w<QCheckBox>("chkCompleted")->click();
        e.w<DateField>("dcCompDate")->setText("1/12/05");
        e.w<QComboBox>("cmbEmp")->setCurrentIndex(1); // Baker, Ann
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(e.mode(), "browse");
        QVERIFY(ui->messages.isEmpty());
        QCOMPARE(e.column("comphour").toDouble(), 3.25);
        QCOMPARE(e.column("completed <> 0").toInt(), 1);
        QCOMPARE(e.column("compdate").toString(), "2005-01-12");
        QCOMPARE(e.column("empid").toInt(), 1);
        QCOMPARE(e.column("compmin"), QVariant()); // shown empty, kept empty
        QCOMPARE(e.column("parts").toDouble(), 5.1234);
        QCOMPARE(e.text("txtDueDate"), "1/10/2005");
        QVERIFY(e.w<QCheckBox>("chkCompleted")->isChecked());

        // Letters in Minutes fail that one column at the save; the others are written.
        e.typeAndLeave("txtCompMin", "abc");
        QVERIFY(ui->messages.isEmpty()); // not checked on leaving
        e.typeAndLeave("txtCompHour", "5");
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(ui->messageTexts(),
                 QStringList{"13  Type mismatch: field 'compmin' takes a number, not 'abc'."});
        QCOMPARE(e.column("comphour").toDouble(), 5.0);
        QCOMPARE(e.column("compmin"), QVariant());

        e.form->mnuYear[1]->trigger();
        QCOMPARE(e.text("txtDueDate"), "1/24/2005");
    }

    // Cole and the only manager are retired. The first row carries both: each is shown
    // greyed as its value and listed, but the keys step over it and it cannot be chosen
    // again once left; Cancel and Update keep it. A row without them does not list them.
    void retiredNamesStayOnlyOnTheirRecords() {
        Editor e(SampleSql + "UPDATE employees SET inactive = 1 WHERE lastname = 'Cole';"
                             "UPDATE managers SET inactive = 1;");
        auto* emp = e.w<QComboBox>("cmbEmp");
        auto* man = e.w<QComboBox>("cmbMan");
        QCOMPARE(emp->currentText(), "Cole");
        QCOMPARE(man->currentText(), "Stone, Mia");
        QVERIFY(showsRetiredName(emp) && showsRetiredName(man));
        QCOMPARE(emp->palette().color(QPalette::Active, QPalette::ButtonText),
                 emp->palette().color(QPalette::Disabled, QPalette::ButtonText));
        // In last-name order: Dan has none.
        QCOMPARE(listedTexts(emp), (QStringList{"Dan", "Baker, Ann", "Cole"}));
        QCOMPARE(choosableTexts(emp), (QStringList{"Dan", "Baker, Ann"}));
        QCOMPARE(choosableTexts(man), QStringList());

        emp->setFocus();
        QTest::keyClick(emp, Qt::Key_Up);
        QCOMPARE(emp->currentText(), "Baker, Ann");
        QVERIFY(!showsRetiredName(emp));
        QCOMPARE(listedTexts(emp), (QStringList{"Dan", "Baker, Ann"}));
        QTest::keyClick(emp, Qt::Key_Down);
        QCOMPARE(emp->currentText(), "Baker, Ann");
        QCOMPARE(e.mode(), "edit");
        QVERIFY(e.click("cmdCancel"));
        QCOMPARE(emp->currentText(), "Cole");
        QVERIFY(showsRetiredName(emp));

        e.typeAndLeave("txtCompHour", "2");
        QVERIFY(e.click("cmdUpdate"));
        QVERIFY(ui->messages.isEmpty());
        QCOMPARE(e.column("empid").toInt(), 2);
        QCOMPARE(e.column("manid").toInt(), 1);

        QVERIFY(e.click("cmdNext")); // 1/24/2005: nobody assigned
        QCOMPARE(emp->currentIndex(), -1);
        QCOMPARE(listedTexts(emp), (QStringList{"Dan", "Baker, Ann"}));
        QCOMPARE(listedTexts(man), QStringList());
        QVERIFY(!showsRetiredName(emp));
        QCOMPARE(emp->palette().color(QPalette::Active, QPalette::ButtonText),
                 QApplication::palette(emp).color(QPalette::Active, QPalette::ButtonText));
    }

    void costs() {
        Editor e;
        e.typeAndLeave("txtParts", "12.5");
        e.typeAndLeave("txtLabor", "3");
        QCOMPARE(e.text("txtParts"), "$12.50");
        QCOMPARE(e.text("txtLabor"), "$3.00");
        QCOMPARE(e.text("txtTotalCost"), "$15.50");

        e.typeAndLeave("txtTax", "abc");
        QCOMPARE(ui->messageTexts(),
                 QStringList{"You must enter a valid number in the tax cost field."});
        QCOMPARE(ui->lastMessage().title, AppTitle);
        QCOMPARE(QApplication::focusWidget(), e.w("txtTax"));
        QCOMPARE(e.text("txtTotalCost"), "$15.50");

        // Update by its access key from inside the box: the box is checked first.
        e.typeInto("txtTax", "1.005");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_U, Qt::AltModifier);
        QTRY_COMPARE(e.mode(), "browse");
        QCOMPARE(e.column("parts").toDouble(), 12.5);
        QCOMPARE(e.column("tax").toDouble(), 1.01); // as the box shows it
        QCOMPARE(e.column("totalcost").toDouble(), 16.51);
        QCOMPARE(e.text("txtTax"), "$1.01");
    }

    void totalInFixedPoint_data() {
        addColumns<QStringList, QString>("costs", "total");
        addRow("not numeric counts nothing", QStringList{"abc", "1", "2"}, "$3.00");
        addRow("tenths", QStringList{"0.1", "0.2", "0.3"}, "$0.60");
        addRow("negative", QStringList{"($3.00)", "1", ""}, "($2.00)");
        addRow("too large", QStringList{"1e15", "2", ""}, "$2.00");
    }
    void totalInFixedPoint() {
        QFETCH(QStringList, costs);
        QFETCH(QString, total);
        QCOMPARE(ComputeTotalCost({costs[0], costs[1], costs[2]}), total);
    }

    void deletingAssignments() {
        Editor e(SampleSql + "DELETE FROM assign WHERE assid IN (2, 4);");
        ui->pressEnter(); // No: the button Enter presses
        QVERIFY(e.click("cmdDelete"));
        QCOMPARE(ui->lastMessage().defaultButton, MsgResult::No);
        QCOMPARE(e.stored("select count(*) from assign").toInt(), 4);

        ui->answer(MsgResult::Yes);
        QVERIFY(e.click("cmdDelete"));
        QCOMPARE(e.stored("select count(*) from assign where assid = 3").toInt(), 0);
        QVERIFY(!e.fieldsEnabled());
        QCOMPARE(e.text("txtDueDate"), QString());
        QCOMPARE(e.text("txtTotalCost"), "$0.00");
        QCOMPARE(e.mode(), "browse");
    }

    // Another user changes or deletes the shown assignment before Update: Yes writes every
    // shown column over theirs, No shows theirs; one deleted cannot be saved and is dropped.
    void assignmentChangedOrDeletedByAnotherUser_data() {
        addColumns<QString, int>("other", "answer");
        QTest::newRow("changed, save over") << "change" << int(MsgResult::Yes);
        QTest::newRow("changed, reload") << "change" << int(MsgResult::No);
        QTest::newRow("deleted") << "delete" << -1;
    }
    void assignmentChangedOrDeletedByAnotherUser() {
        QFETCH(QString, other);
        QFETCH(int, answer);
        Editor e;
        const QString before = allColumns(e);
        e.w<QPlainTextEdit>("txtCompNotes")->setPlainText("Mine");
        QCOMPARE(e.mode(), "edit");
        OtherProgram(e.folder.dbPath())
            .exec(other == "change" ? "UPDATE assign SET labor = 9 WHERE assid = 3"
                                    : "DELETE FROM assign WHERE assid = 3");
        if (answer >= 0)
            ui->answer(MsgResult(answer));
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(e.mode(), "browse");
        if (other == "delete") {
            QVERIFY2(ui->messageTitles() == QStringList{"Record Deleted"},
                     qPrintable(ui->messageTexts().join('\n')));
            QCOMPARE(ui->lastMessage().text, "Another user has deleted this assignment since it "
                                             "was shown, so your changes cannot be saved.");
            QCOMPARE(e.stored("select count(*) from assign where assid = 3").toInt(), 0);
            return;
        }
        QCOMPARE(ui->messageTitles(), QStringList{"Record Changed"});
        QCOMPARE(ui->lastMessage().text,
                 "Another user has changed this assignment since it was shown.\n\n"
                 "Yes: save your changes over theirs.\n"
                 "No: discard your changes and show theirs.\n"
                 "Cancel: go on editing.");
        QString expected = before;
        if (answer == int(MsgResult::Yes)) {
            expected.replace("Done early", "Mine"); // and labor stays as shown
            QCOMPARE(e.w<QPlainTextEdit>("txtCompNotes")->toPlainText(), "Mine");
        } else {
            expected.replace("2.5", "9");
            QCOMPARE(e.w<QPlainTextEdit>("txtCompNotes")->toPlainText(), "Done early");
            QCOMPARE(e.text("txtLabor"), "$9.00");
        }
        QCOMPARE(allColumns(e), expected);
    }

    // Another program holds the file while Update writes: 99 silent retries, the question,
    // and Yes once the lock is gone saves the edit and nothing else.
    void updateWhileLocked() {
        Editor e;
        const QString before = allColumns(e);
        e.w<QPlainTextEdit>("txtCompNotes")->setPlainText("Mine");
        QCOMPARE(e.mode(), "edit");
        OtherProgram other(e.folder.dbPath());
        other.holdWriteLock();
        QList<int> retries;
        ui->retryUntilReleased(other, &retries);
        QVERIFY(e.click("cmdUpdate"));
        QCOMPARE(retries, (QList<int>{100, 100}));
        QCOMPARE(ui->lastMessage().title, "Locked Record");
        QCOMPARE(e.mode(), "browse");
        QString expected = before;
        expected.replace("Done early", "Mine");
        QCOMPARE(allColumns(e), expected);
        QCOMPARE(e.w<QPlainTextEdit>("txtCompNotes")->toPlainText(), "Mine");
    }

    // Find and Print Work Order act through what the program installs; without it they are
    // offered disabled. Cancelling the find dialog comes back to the assignment shown.
    void findAndPrintSeams() {
        Editor e;
        QVERIFY(!e.w("cmdFind")->isEnabled() && !e.w("cmdPrint")->isEnabled());
        QVariant printed;
        state().workOrderPrinter = [&](const QVariant& assid) { printed = assid; };
        state().findDialog = [&](QWidget*) {
            QCOMPARE(state().FindTable, "assign");
            QCOMPARE(state().FindCaller, FindEditor::Assignments);
            state().rsAssign.moveLast(); // the user looked about, then cancelled
        };
        e.form->Form_Activate();
        QVERIFY(e.click("cmdFind"));
        QCOMPARE(e.text("txtDueDate"), "1/10/2005");
        QVERIFY(ui->messages.isEmpty());
        e.click("cmdNext"); // from the assignment shown before, not the one the dialog left
        QCOMPARE(e.text("txtDueDate"), "1/24/2005");
        QVERIFY(e.click("cmdPrint"));
        QCOMPARE(printed, QVariant(2));
    }

    // Maintain, Assignments opens the editor beside the main window, once.
    void openedFromTheMaintainMenu() {
        TempWorkFolder folder(2005, SampleSql);
        state().CurYear = 2005;
        frmMain main;
        installAssignmentEditor(main);
        QVERIFY(main.mnuAssign->isEnabled());
        main.mnuAssign->trigger();
        main.mnuAssign->trigger();
        const QList<frmAssign*> open = main.findChildren<frmAssign*>();
        QCOMPARE(open.size(), 1);
        QVERIFY(open[0]->isVisible() && !open[0]->isModal());
        QVERIFY(state().rsAssign.isOpen());
        // Closing the program while an assignment is edited keeps both windows open.
        QLineEdit* hours = open[0]->findChild<QLineEdit*>("txtCompHour");
        hours->setFocus();
        QTest::keyClicks(hours, "7");
        QVERIFY(!main.close());
        QVERIFY(open[0]->isVisible() && state().dbMain.isOpen());
        QTest::mouseClick(open[0]->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
        QTest::mouseClick(open[0]->cmdOk, Qt::LeftButton);
        QVERIFY(!state().rsAssign.isOpen());
        QTRY_VERIFY(main.findChildren<frmAssign*>().isEmpty());
        QVERIFY(main.close());
    }
};

QTEST_MAIN(TstAssignEditor)
#include "tst_assigneditor.moc"
