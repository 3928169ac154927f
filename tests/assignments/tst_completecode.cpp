// Maintain, Complete Work Order...: a work order's code typed in as a scanner types it (the
// code, then Enter) opens its assignment for completion; a code that names nothing to
// complete is said, and nothing changes.

#include "assignments/frmassign.h"
#include "assignments/frmcompletecode.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/workordercode.h"
#include "dialogs/datefield.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/storedrows.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;
using namespace tavrel::workordercode;

namespace {

// Assignments of 2005 unless said: task 1 (Boiler inspection) has 1 completed, 2 open and 5
// open of 2004, its oldest; task 2 (Check extinguishers) has 3 and 4 open, 4 due first;
// task 3 (Replace filters) only 6, completed without a date; task 4 (Roof) none.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname) VALUES
    (1, 'Boiler inspection'), (2, 'Check extinguishers'), (3, 'Replace filters'), (4, 'Roof');
INSERT INTO assign (assid, taskid, duedate, completed, compdate, comphour) VALUES
    (1, 1, '2005-01-17', 1, '2005-01-20', 3),
    (2, 1, '2005-01-24', 0, NULL, 0),
    (3, 2, '2005-02-14', 0, NULL, 0),
    (4, 2, '2005-01-10', 0, NULL, 0),
    (5, 1, '2004-06-07', 0, NULL, 0),
    (6, 3, '2005-03-01', 1, NULL, 0);
)");

const QDate Today(2005, 3, 9);

// The code of `key` at this site: "A2" is assignment 2's, "T4" task 4's.
QString codeOf(const QString& which) {
    return siteCode(which[0] == u'T' ? CodeKind::Task : CodeKind::Assignment,
                    which.mid(1).toLongLong());
}

// The site, the main window with the Maintain menu's entries, and a scanner.
struct Site {
    explicit Site(ScriptedUi& shown)
        : ui(shown) {
        state().CurYear = 2005;
        ui.setToday(Today);
        installAssignmentEditor(main);
        installCompleteWorkOrder(main);
    }
    ~Site() { delete openedAssignmentEditor(); }

    // Every column the completion writes, of every assignment.
    QString assignments() const {
        return storedRows(folder, {"assid", "completed <> 0", "compdate", "comphour", "compmin"},
                          "from assign order by assid")
            .join(u"; ");
    }
    // The code typed into the box and Enter pressed, as a scanner does.
    static void scan(QDialog* box, const QString& code) {
        auto* field = childOf<QLineEdit>(box, "txtCode");
        QTest::keyClicks(field, code);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Complete Work Order... with `driver` acting in the box; the assignment opened.
    qint64 complete(const std::function<void(QDialog*)>& driver) {
        ui.onModal(driver);
        return completeWorkOrder(&main);
    }
    frmAssign* editor() const { return openedAssignmentEditor(); }

    ScriptedUi& ui;
    TempWorkFolder folder{2005, SiteSql};
    frmMain main;
};

} // namespace

class TestCompleteCode : public QObject {
    Q_OBJECT
    std::unique_ptr<ScriptedUi> ui_;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        ui_ = std::make_unique<ScriptedUi>();
    }
    void cleanup() { ui_.reset(); }

    // A work order's code opens its assignment ready for the sheet's figures: Completed
    // ticked, today's date, the focus in Hours, and nothing written before Update; Cancel
    // writes nothing at all.
    void assignmentCodeOpensItsCompletion() {
        Site site(*ui_);
        const QString before = site.assignments();
        QCOMPARE(site.main.mnuCompleteCode->text(), "&Complete Work Order...");
        QVERIFY(site.main.mnuCompleteCode->isEnabled());
        QCOMPARE(site.complete([](QDialog* box) {
            QCOMPARE(box->windowTitle(), "Complete Work Order");
            Site::scan(box, codeOf("A2"));
        }),
                 qint64(2));
        frmAssign* editor = site.editor();
        QVERIFY(editor);
        QCOMPARE(editor->txtDueDate->text(), "1/24/2005");
        QVERIFY(editor->chkCompleted->isChecked());
        QCOMPARE(editor->dcCompDate->date().value_or(QDate()), Today);
        QVERIFY(editor->isChanged());
        QTRY_COMPARE(QApplication::focusWidget(), editor->txtCompHour);
        QCOMPARE(site.assignments(), before);

        QTest::keyClicks(editor->txtCompHour, "2");
        QVERIFY(WindowDriver(editor).click("cmdUpdate"));
        QVERIFY2(ui_->messages.isEmpty(), qPrintable(ui_->messageTexts().join('|')));
        const QString completed = site.assignments();
        QVERIFY(completed != before);
        const auto column = [&site](const char* name) {
            return site.folder.scalar(
                QStringLiteral("select %1 from assign where assid = 2").arg(QLatin1String(name)));
        };
        QCOMPARE(column("completed <> 0").toInt(), 1);
        QCOMPARE(column("compdate").toDate(), Today);
        QCOMPARE(column("comphour").toDouble(), 2.0);

        // Typed by hand in small letters, then thought better of.
        site.complete([](QDialog* box) { Site::scan(box, codeOf("A3").toLower()); });
        QCOMPARE(editor->txtDueDate->text(), "2/14/2005");
        QVERIFY(editor->isChanged());
        QVERIFY(WindowDriver(editor).click("cmdCancel"));
        QVERIFY(!editor->chkCompleted->isChecked());
        QCOMPARE(site.assignments(), completed);
    }

    // An equipment label's code opens its task's open assignment that is due first, also
    // one of another year, which the editor's Show choices then include.
    void taskCodeOpensItsOldestOpenAssignment() {
        Site site(*ui_);
        QCOMPARE(site.complete([](QDialog* box) { Site::scan(box, codeOf("T2")); }), qint64(4));
        QCOMPARE(site.editor()->txtTaskName->text(), "Check extinguishers");
        QCOMPARE(site.editor()->txtDueDate->text(), "1/10/2005");
        QVERIFY(site.editor()->chkCompleted->isChecked());
        QVERIFY(WindowDriver(site.editor()).click("cmdCancel"));

        QCOMPARE(site.complete([](QDialog* box) { Site::scan(box, codeOf("T1")); }), qint64(5));
        QCOMPARE(site.editor()->txtDueDate->text(), "6/7/2004");
        QVERIFY(!site.editor()->currentYearOnly());
        QVERIFY(site.editor()->isChanged());
        QVERIFY(ui_->messages.isEmpty());
    }

    // Each code that names nothing to complete gets its own message; nothing is written or
    // opened, and the box keeps the code selected, so that the next scan replaces it.
    void refusedCodes_data() {
        // What is scanned: "A2"/"T4" a code of this site; "other A2" of another site;
        // "typo A2" with its check character wrong; anything else as it stands.
        addColumns<QString, QString>("scanned", "message"); // %1: the code as shown
        addRow("not a code", "TVL-7K2-A-12-Q",
               "This is not a work order code. Scan the code printed on the work order or the "
               "equipment label, or type it as it is printed there, such as "
               "TVL-7K2-A-000123-Q.");
        addRow("wrong check", "typo A2",
               "The code %1 does not check out: it was probably mistyped or misread. Compare "
               "it with the code printed on the work order and enter it again.");
        addRow("another site", "other A2",
               "The code %1 is of another site: its site tag is %2, and this site's is %3. "
               "Open that site's database to work with it.");
        addRow("assignment deleted", "A77",
               "The assignment of code %1 is no longer in the database: it has been deleted.");
        addRow("task deleted", "T99",
               "The task of code %1 is no longer in the database: it has been deleted.");
        addRow("completed", "A1",
               "The assignment of code %1 (Boiler inspection), due 1/17/2005, was already "
               "completed on 1/20/2005.");
        addRow("completed, no date", "A6",
               "The assignment of code %1 (Replace filters), due 3/1/2005, is already marked "
               "completed, without a completion date.");
        addRow("task, all completed", "T3",
               "The task of code %1 (Replace filters) has no open assignment: there is no work "
               "of it left to complete.");
        addRow("task, none at all", "T4",
               "The task of code %1 (Roof) has no open assignment: there is no work of it left "
               "to complete.");
    }
    void refusedCodes() {
        QFETCH(QString, scanned);
        QFETCH(QString, message);
        Site site(*ui_);
        const QString before = site.assignments();
        const QString here = currentSiteTag();
        const QString other = here == "ZZZ" ? QStringLiteral("YYY") : QStringLiteral("ZZZ");
        QString code = scanned;
        if (scanned.startsWith("other "))
            code = formatCode(other, CodeKind::Assignment, 2);
        else if (scanned.startsWith("typo "))
            code = codeOf(scanned.mid(5)).chopped(1) +
                   (codeOf(scanned.mid(5)).endsWith(u'0') ? u'1' : u'0');
        else if (!scanned.startsWith("TVL"))
            code = codeOf(scanned);
        if (message.contains(u"%3"))
            message = message.arg(code, other, here);
        else if (message.contains(u"%1"))
            message = message.arg(code);

        const qint64 opened = site.complete([&](QDialog* box) {
            Site::scan(box, code);
            QCOMPARE(ui_->messageTexts(), QStringList{message});
            QCOMPARE(ui_->lastMessage().title, "Complete Work Order");
            QVERIFY(box->isVisible());
            auto* field = childOf<QLineEdit>(box, "txtCode");
            QCOMPARE(field->selectedText(), code);
            QCOMPARE(box->focusWidget(), field);
            QVERIFY(!openedAssignmentEditor());
            // The next scan replaces the code refused.
            Site::scan(box, codeOf("A4"));
            QVERIFY(!box->isVisible());
        });
        QCOMPARE(site.assignments(), before);
        QCOMPARE(opened, qint64(4));
        QCOMPARE(site.editor()->txtDueDate->text(), "1/10/2005");
    }

    // The editor open with changes of another assignment: they are saved or dropped first,
    // as the user chooses; Cancel keeps them and the box.
    void unsavedEditsAreAskedAbout() {
        Site site(*ui_);
        frmAssign* editor = openAssignmentEditor(&site.main);
        QCOMPARE(editor->txtDueDate->text(), "1/10/2005"); // assignment 4
        QTest::keyClicks(editor->txtCompNotes, "Half done");
        QVERIFY(editor->isChanged());
        const QString question = QStringLiteral(
            "Do you want to save the changes to this assignment before opening another one?");

        ui_->answer(MsgResult::Cancel);
        QCOMPARE(site.complete([](QDialog* box) {
            Site::scan(box, codeOf("A2"));
            QVERIFY(box->isVisible());
        }),
                 qint64(0));
        QCOMPARE(ui_->messageTexts(), QStringList{question});
        QCOMPARE(editor->txtCompNotes->toPlainText(), "Half done");
        QVERIFY(editor->isChanged());

        ui_->answer(MsgResult::Discard);
        QCOMPARE(site.complete([](QDialog* box) { Site::scan(box, codeOf("A2")); }), qint64(2));
        QCOMPARE(site.editor(), editor);
        QCOMPARE(editor->txtDueDate->text(), "1/24/2005");
        QCOMPARE(
            site.folder.scalar("select count(*) from assign where compnotes is not null").toInt(),
            0);

        // Saved first: the edit of assignment 2 is written, then assignment 3 opens.
        ui_->answer(MsgResult::Save);
        QCOMPARE(site.complete([](QDialog* box) { Site::scan(box, codeOf("A3")); }), qint64(3));
        QCOMPARE(site.folder.scalar("select completed <> 0 from assign where assid = 2").toInt(),
                 1);
        QCOMPARE(editor->txtDueDate->text(), "2/14/2005");
        QCOMPARE(ui_->messages.size(), 3);
    }

    // Ctrl+K in the main window, also while a text box there has the focus, opens the box,
    // and so it does in the assignment editor, for the next sheet; no other entry of the
    // menus has that key.
    void controlKFromTheMainWindow() {
        Site site(*ui_);
        auto* field = new QLineEdit;
        field->setObjectName("txtSomething");
        site.main.setCentralWidget(field);
        bringForward(&site.main);
        field->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), field);
        const QKeySequence ctrlK(Qt::CTRL | Qt::Key_K);
        for (const QAction* action : site.main.findChildren<QAction*>())
            QVERIFY2(action == site.main.mnuCompleteCode || action->shortcut() != ctrlK,
                     qPrintable(action->objectName()));

        int boxes = 0;
        ui_->onModal([&boxes](QDialog* box) {
            ++boxes;
            QCOMPARE(box->objectName(), "frmCompleteCode");
            QVERIFY(WindowDriver(box).click("cmdHelp"));
        });
        QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(boxes, 1);
        QCOMPARE(ui_->modalTitles, QStringList{"Complete Work Order"});
        QCOMPARE(site.main.mnuCompleteCode->shortcut(), ctrlK);
        QVERIFY(!openedAssignmentEditor());
        QCOMPARE(ui_->helpTopics, QStringList{"completecode"});
        QVERIFY(QFile::exists(":/help/completecode.html"));

        frmAssign* editor = openAssignmentEditor(&site.main);
        QTRY_VERIFY(editor->isActiveWindow());
        ui_->onModal([](QDialog* box) { Site::scan(box, codeOf("A3")); });
        QTest::keyClick(editor->txtCompHour, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(boxes, 1);
        QCOMPARE(editor->txtDueDate->text(), "2/14/2005");
        QVERIFY(editor->chkCompleted->isChecked());
    }
};

QTEST_MAIN(TestCompleteCode)
#include "tst_completecode.moc"
