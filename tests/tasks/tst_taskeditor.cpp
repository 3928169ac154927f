#include "assignments/codeeditor.h"
#include "assignments/frmassign.h"
#include "core/programstate.h"
#include "core/qtui.h"
#include "core/recordeditor.h"
#include "data/demodata.h"
#include "dialogs/datefield.h"
#include "support/datarows.h"
#include "support/editorfixture.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/testenv.h"
#include "tasks/taskeditor.h"
#include "tasks/taskhistory.h"
#include "text/datetext.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <limits>
#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Three tasks (by name: Boiler inspection 1, Check extinguishers 2, Replace filters 3), code lists
// with an employee who has only a last name and one with only a first name, and assignments and
// weeks of the first task.
const QString SampleSql = QStringLiteral(R"(
INSERT INTO employees (firstname, lastname) VALUES ('Ann', 'Baker'), ('', 'Cole'), ('Dan', '');
INSERT INTO locations (locdesc) VALUES ('Boiler Room'), ('Roof');
INSERT INTO types (typdesc) VALUES ('Electrical'), ('HVAC');
INSERT INTO tasks (taskname, manuf, model, reqhour, reqmin, locid, typid, empid, curyearonly,
                   purchdate, taskdesc)
VALUES ('Boiler inspection', 'Acme', 'B-200', 2, 30, 1, 2, 1, 1, '2004-03-15', 'Check the burner'),
       ('Check extinguishers', 'Firesafe', NULL, 0.5, 0, 2, 1, 2, 0, NULL, NULL),
       ('Replace filters', 'AirCo', NULL, 1, 15, 2, 2, NULL, 0, NULL, NULL);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 3), (1, 4);
INSERT INTO assign (taskid, weeid, duedate, completed) VALUES
       (1, 3, '2005-01-17', 1), (1, 4, '2005-01-24', 0), (2, 4, '2005-01-24', 0);
)");

// A 1024 x 768 screen less the window frame, its title bar and a panel.
const QSize SmallScreenRoom(1000, 700);
constexpr int MinWeekGap = 2;      // pixels between the rows of neighbouring weeks
constexpr int MinWidening = 100;   // of a field, when the window grows by 600 pixels
constexpr int MaxPanelMargin = 24; // between the fields and their panel's edge

// Sets the locale (and the date order) for one test and puts en_US back afterwards.
struct LocaleGuard {
    explicit LocaleGuard(const QString& locale) {
        useTestLocale(locale.toLatin1().constData());
        ChkDateFmt();
    }
    ~LocaleGuard() {
        useTestLocale();
        ChkDateFmt();
    }
};

// The main window with the task editor, loaded the way the program starts, on the sample tasks.
struct MainWindowOnSample {
    TempWorkFolder folder{2005, SampleSql, false};
    StartedProgram program{folder.path(), installTaskEditor};
    std::unique_ptr<frmMain>& main = program.main;

    TaskEditor* editor() const { return main->findChild<TaskEditor*>(); }
    void showAt(const QSize& size) const {
        main->resize(size);
        main->show();
        if (!QTest::qWaitForWindowExposed(main.get()))
            qWarning("the main window was not shown");
        QCoreApplication::processEvents();
    }
};

const QString PurchaseDateMessage =
    "You must enter a valid purchase date, or leave the field blank.";
const QString WarrantyDateMessage =
    "You must enter a valid waranty expiration date, or leave the field blank.";
const QString HoursMessage = QStringLiteral("You must enter a valid number in the hours field.");
const QString Task1 = QStringLiteral(" from tasks where taskid = 1");

// Assignments of the first task in 2004 and 2005, one of them open with the time the task is
// expected to take, and one of the second task. Employees: Baker, Ann (1) and Cole (2).
const QString HistorySql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Baker'), (2, '', 'Cole');
INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler inspection'), (2, 'Check extinguishers'),
    (3, 'Replace filters');
INSERT INTO assign (assid, taskid, duedate, completed, compdate, comphour, compmin, empid,
                    totalcost) VALUES
    (1, 1, '2004-06-07', 1, '2004-06-09', 1.5, 15, 1, 10.1234),
    (2, 1, '2004-11-01', 1, '2004-11-03', 0, 50, 2, 5.5),
    (3, 1, '2005-01-17', 1, '2005-01-18', 2, 0, NULL, 0),
    (4, 1, '2005-01-24', 0, NULL, 2, 30, 1, NULL),
    (5, 2, '2005-01-24', 1, '2005-01-25', 9, 0, 1, 99);
)");

// The history as shown: each year's row, then its assignments' rows indented, columns
// joined by "|".
QStringList historyRows(const TaskEditor& editor) {
    QStringList rows;
    const QTreeWidget* tree = editor.fraHistory->tvwHistory;
    const auto texts = [](const QTreeWidgetItem* item) {
        QStringList columns;
        for (int column = 0; column < item->columnCount(); ++column)
            columns << item->text(column);
        return columns.join(u'|');
    };
    for (int year = 0; year < tree->topLevelItemCount(); ++year) {
        const QTreeWidgetItem* group = tree->topLevelItem(year);
        rows << texts(group);
        for (int row = 0; row < group->childCount(); ++row)
            rows << QStringLiteral("  ") + texts(group->child(row));
    }
    return rows;
}

// The history's rows of the task Boiler inspection.
const QStringList BoilerHistory{
    "2005|1 of 2 completed||2|0|$0.00",
    "  1/17/2005|1/18/2005||2|0|$0.00",
    "  1/24/2005||Baker, Ann|||",
    "2004|2 of 2 completed||2|35|$15.62",
    "  6/7/2004|6/9/2004|Baker, Ann|1|45|$10.12",
    "  11/1/2004|11/3/2004|Cole|0|50|$5.50",
};

// Clicks a row of the history with the mouse, where it shows it.
void clickHistoryRow(QTreeWidget* tree, QTreeWidgetItem* item) {
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree->visualItemRect(item).center());
}

// A stored number in full, so that comparisons are exact.
QString exact(const QVariant& value) {
    return value.isNull() ? "null" : QString::number(value.toDouble(), 'g', 17);
}

// Questions asked in Qt's own message box, which the user answers with the Enter key as soon as it
// shows; what was asked is recorded as the scripted boxes record it.
class EnterAtEveryQuestion : public ScriptedUi {
public:
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     const QString& details, std::optional<MsgResult> defaultButton) override {
        messages.append({text, title, buttons, icon, details, defaultButton});
        QTimer::singleShot(0, [] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            QWidget* keys = box->focusWidget() ? box->focusWidget() : box;
            QTest::keyClick(keys, Qt::Key_Return);
        });
        return QtUi().msgBox(text, buttons, icon, title, details, defaultButton);
    }
};

// The editor on the sample tasks unless a test gives other rows.
struct Fixture : TaskEditorFixture {
    explicit Fixture(const QString& sql = SampleSql)
        : TaskEditorFixture(sql) {}
    QString task() const { return text("txtTaskName"); }
};

// A key typed into a field and what it leads to (accessKeysRunThePendingCheck).
struct KeyCase {
    bool adding;
    QString field;
    QString typed;
    int key;
    int modifiers;
    QString message; // empty: none
    QString query;
    QString stored;
    bool editing; // afterwards
};

} // namespace

Q_DECLARE_METATYPE(KeyCase)

// Tests of the task editor and, through it, of the shared record-editor behaviour.
class TstTaskEditor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedUi> scripted;

    // The commands after which focusAfterCommands looks where the focus is.
    enum Command {
        UpdateByKey,
        UpdateBySpace,
        CancelClicked,
        DeleteClicked,
        CancelFirstTask,
        AddAnotherByKey,
    };

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        // Every test starts with the history as a new user has it.
        QSettings(QStringLiteral("Tavrel"), QStringLiteral("Tavrel")).clear();
        scripted = std::make_unique<ScriptedUi>();
    }
    void cleanup() { scripted.reset(); }

    // The first task in browse mode; moving past either end beeps and stays; a task without an
    // employee shows none; Tab from the task name passes over the task number.
    void showsAndMovesInBrowseMode() {
        Fixture f;
        QCOMPARE(f.task(), "Boiler inspection");
        QCOMPARE(f.w<QPlainTextEdit>("txtTaskDesc")->toPlainText(), "Check the burner");
        QCOMPARE(f.w<QComboBox>("cmbLoc")->currentText(), "Boiler Room");
        QCOMPARE(f.w<QComboBox>("cmbTyp")->currentText(), "HVAC");
        QCOMPARE(f.w<QComboBox>("cmbEmp")->currentText(), "Baker, Ann");
        QCOMPARE(f.text("txtReqMin"), "30");
        QVERIFY(f.w<QCheckBox>("chkCurYearOnly")->isChecked());
        QCOMPARE(f.w<DateField>("dcPurchDate")->text(), "3/15/2004");
        QCOMPARE(f.w<DateField>("dcWarDate")->text(), QString());
        QCOMPARE(f.mode(), "browse");
        // Employees in last-name order, a missing name leaving no comma behind.
        QCOMPARE(entryTexts(f.w<QComboBox>("cmbEmp")), (QStringList{"Dan", "Baker, Ann", "Cole"}));
        QCOMPARE(f.weekList()->count(), 52);
        QCOMPARE(f.weekList()->item(0)->text(), "Week of 1/3/2005");

        f.w("txtTaskName")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(f.w("txtTaskName"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.w("cmbLoc"));

        QVERIFY(f.click("cmdPrevious"));
        QCOMPARE(scripted->beeps, 1);
        QCOMPARE(f.task(), "Boiler inspection");
        QVERIFY(f.click("cmdLast"));
        QVERIFY(f.click("cmdNext"));
        QCOMPARE(scripted->beeps, 2);
        QCOMPARE(f.task(), "Replace filters");
        QCOMPARE(f.w<QComboBox>("cmbEmp")->currentIndex(), -1);
        QCOMPARE(f.mode(), "browse");
    }

    // The lists the user sees are in the program's order of texts: letters with their base letters,
    // and names that differ only in case ordered by the next term.
    void listsInTextOrder() {
        Fixture f(
            QStringLiteral("INSERT INTO employees (empid, lastname, firstname) VALUES (1, "
                           "'smith', 'Zed'), "
                           "(2, 'Smith', 'John'), (3, 'SMITH', 'Adam'), (4, 'Østby', 'Ole'), (5, "
                           "'Oakes', 'Eva');"
                           "INSERT INTO locations (locid, locdesc) VALUES (1, 'Zinc store'), (2, "
                           "'Øvre lager'), "
                           "(3, 'Oslo hall'), (4, 'Æble shed'), (5, 'Aero bay'), (6, 'Annex');"
                           "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Zinc check'), (2, "
                           "'Ørsted pump'), "
                           "(3, 'Oil change'), (4, 'Æble press'), (5, 'aerator');"));
        QCOMPARE(
            entryTexts(f.w<QComboBox>("cmbEmp")),
            (QStringList{"Oakes, Eva", "Østby, Ole", "SMITH, Adam", "Smith, John", "smith, Zed"}));
        QCOMPARE(entryTexts(f.w<QComboBox>("cmbLoc")),
                 (QStringList{"Æble shed", "Aero bay", "Annex", "Oslo hall", "Øvre lager",
                              "Zinc store"}));
        // The tasks, as the Next button walks them.
        QStringList tasks{f.task()};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(f.click("cmdNext"));
            tasks << f.task();
        }
        QCOMPARE(tasks,
                 (QStringList{"Æble press", "aerator", "Oil change", "Ørsted pump", "Zinc check"}));
    }

    // A change of any kind of control edits; Cancel shows the task as stored. Delete and Backspace
    // in a combo box clear it, and the empty choice is saved.
    void changeSwitchesToEditMode_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key"); // 0: typed, clicked or stepped down to the next entry
        addRow("text box", "txtManuf", 0);
        addRow("several lines", "txtTaskDesc", 0);
        addRow("date field", "dcWarDate", 0);
        addRow("combo key", "cmbTyp", 0);
        addRow("check box", "chkCurYearOnly", 0);
        addRow("combo Delete", "cmbEmp", int(Qt::Key_Delete));
        addRow("combo Backspace", "cmbEmp", int(Qt::Key_Backspace));
    }
    void changeSwitchesToEditMode() {
        QFETCH(QString, control);
        QFETCH(int, key);
        Fixture f;
        QWidget* widget = f.w(control.toLatin1().constData());
        if (key) {
            QTest::keyClick(widget, Qt::Key(key));
            QCOMPARE(f.w<QComboBox>("cmbEmp")->currentIndex(), -1);
            QCOMPARE(f.mode(), "edit");
            QVERIFY(f.click("cmdUpdate"));
            QVERIFY(f.stored("select empid" + Task1).isNull());
            QVERIFY(f.click("cmdNext"));
            QVERIFY(f.click("cmdFirst"));
            QCOMPARE(f.w<QComboBox>("cmbEmp")->currentIndex(), -1);
            QCOMPARE(f.w<QComboBox>("cmbLoc")->currentText(), "Boiler Room");
            return;
        }
        if (auto* check = qobject_cast<QCheckBox*>(widget))
            QTest::mouseClick(check, Qt::LeftButton);
        else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && !combo->isEditable())
            QTest::keyClick(widget, Qt::Key_Down);
        else
            QTest::keyClicks(widget, "5/1/2006");
        QCOMPARE(f.mode(), "edit");
        QVERIFY(!f.w("cmdAddNew")->isVisible());
        QVERIFY(f.editor->isChanged() && !f.editor->isAdding());

        QVERIFY(f.click("cmdCancel"));
        QCOMPARE(f.mode(), "browse");
        QCOMPARE(f.text("txtManuf"), "Acme");
        QCOMPARE(f.w<QComboBox>("cmbTyp")->currentText(), "HVAC");
        QVERIFY(f.w<QCheckBox>("chkCurYearOnly")->isChecked());
        QCOMPARE(f.w<DateField>("dcWarDate")->text(), QString());
        QCOMPARE(f.count("tasks"), 3);
    }

    // Under a locale whose short date carries literal text (bg_BG: "15.03.2004 г."), the dates the
    // editor shows are read back: passing through them refuses nothing, and a save of another field
    // keeps them.
    void savingKeepsDatesInTheLocalesFormat() {
        const LocaleGuard guard("bg_BG");
        Fixture f(SampleSql + "UPDATE tasks SET wardate = '2007-10-01' WHERE taskid = 1;");
        auto* purchase = f.w<DateField>("dcPurchDate");
        QCOMPARE(purchase->text(), "15.03.2004 г.");
        QCOMPARE(f.w<DateField>("dcWarDate")->text(), "1.10.2007 г.");

        QTest::keyClicks(f.w<QLineEdit>("txtModel"), "-X");
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.rows({"model", "purchdate", "wardate"}, Task1),
                 QStringList{"B-200-X 2004-03-15 2007-10-01"});

        purchase->setFocus();
        QTest::keyClick(purchase, Qt::Key_Tab);
        QVERIFY(!purchase->hasFocus());
        QCOMPARE(scripted->messageTexts(), QStringList());
        QCOMPARE(f.mode(), "browse");
    }

    // Add New, an empty name refused, Add Another twice and Update; then a row saved by Add Another
    // is kept when the next one is cancelled.
    void addNewAddAnotherAndCancel() {
        Fixture f;
        QVERIFY(f.click("cmdAddNew"));
        QCOMPARE(f.mode(), "edit");
        QCOMPARE(f.task(), QString());
        QCOMPARE(f.w<QComboBox>("cmbLoc")->currentIndex(), -1);

        QVERIFY(f.click("cmdAddNew"));
        QCOMPARE(scripted->messages.size(), 1);
        QVERIFY(f.editor->isAdding());
        QCOMPARE(f.count("tasks"), 3);

        const QStringList names{"Zeta pump", "Alpha fan", "Middle door"};
        for (const QString& name : names) {
            QTest::keyClicks(f.w("txtTaskName"), name);
            f.w<QComboBox>("cmbLoc")->setCurrentIndex(1);
            QVERIFY(f.click(name == names.last() ? "cmdUpdate" : "cmdAddNew"));
        }
        QCOMPARE(f.count("tasks"), 6);
        QCOMPARE(f.count("tasks where locid = 2 and reqhour = 0 and empid is null "
                         "and taskname "
                         "in ('Zeta pump', 'Alpha fan', 'Middle door')"),
                 3);
        // The saved new row is shown although it sorts elsewhere.
        QCOMPARE(f.task(), "Middle door");
        QCOMPARE(f.text("txtTaskID"),
                 f.stored("select taskid from tasks where taskname = 'Middle door'").toString());
        QCOMPARE(f.mode(), "browse");

        QVERIFY(f.click("cmdAddNew"));
        QTest::keyClicks(f.w("txtTaskName"), "X saved");
        QVERIFY(f.click("cmdAddNew"));
        QTest::keyClicks(f.w("txtTaskName"), "Y discarded");
        QVERIFY(f.click("cmdCancel"));
        QCOMPARE(f.count("tasks"), 7);
        QCOMPARE(f.count("tasks where taskname = 'Y discarded'"), 0);
        QCOMPARE(f.task(), "X saved");
        QCOMPARE(f.mode(), "browse");
    }

    // Delete asks first (No keeps the task) and takes the task's assignments with it; the last row
    // deleted shows the one before, and without rows the editor is empty: cleared, disabled, and no
    // edit mode whatever happens, until Add New.
    void deleteDownToTheEmptyState() {
        Fixture f;
        QVERIFY(f.click("cmdDelete")); // answered No
        QCOMPARE(scripted->lastMessage().buttons, MsgButtons::YesNo);
        QCOMPARE(f.count("tasks"), 3);

        scripted->answer(MsgResult::Yes);
        QVERIFY(f.click("cmdDelete"));
        QCOMPARE(f.count("tasks"), 2);
        QCOMPARE(f.count("assign where taskid = 1"), 0);
        QCOMPARE(f.count("assign where taskid = 2"), 1);
        QCOMPARE(f.count("taskweeks where taskid = 1"), 2);
        QCOMPARE(f.task(), "Check extinguishers");
        QCOMPARE(f.mode(), "browse");

        QVERIFY(f.click("cmdLast"));
        scripted->answer(MsgResult::Yes);
        QVERIFY(f.click("cmdDelete"));
        QCOMPARE(f.task(), "Check extinguishers");
        scripted->answer(MsgResult::Yes);
        QVERIFY(f.click("cmdDelete"));
        QCOMPARE(f.count("tasks"), 0);

        for (const char* name : {"txtTaskName", "txtTaskID", "cmbEmp", "txtTaskDesc", "dcPurchDate",
                                 "chkCurYearOnly", "lstWeeks", "cmdClone"})
            QVERIFY2(!f.w(name)->isEnabled(), name);
        QCOMPARE(f.task(), QString());
        QCOMPARE(f.text("txtReqMin"), "0");
        f.w<QLineEdit>("txtManuf")->setText("ignored");
        QCOMPARE(f.mode(), "browse");
        QVERIFY(f.click("cmdNext"));
        QCOMPARE(scripted->beeps, 0);
        scripted->clearRecord();
        QVERIFY(f.click("cmdDelete"));
        QVERIFY2(scripted->messages.isEmpty(), qPrintable(scripted->messageTexts().join('|')));
        state().findDialog = [](QWidget*) { QFAIL("no find without tasks"); };
        f.editor->activate();
        QVERIFY(f.click("cmdFind"));
        QCOMPARE(scripted->messages.size(), 1);

        QVERIFY(f.click("cmdAddNew"));
        QVERIFY(f.w("txtTaskName")->isEnabled());
        QVERIFY(f.click("cmdCancel"));
        QVERIFY(!f.w("txtTaskName")->isEnabled());
        QCOMPARE(f.mode(), "browse");
    }

    // Alt+D then Enter in the main window, or Enter after Clear All: the questions default to No,
    // so nothing is deleted or cleared.
    void enterAtADeleteQuestionKeepsTheTask() {
        MainWindowOnSample window;
        window.showAt(QSize(1000, 700));
        window.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.main.get()));
        TaskEditor* editor = window.editor();
        const auto count = [&window](const char* table) {
            return window.folder.scalar(QStringLiteral("select count(*) from ") + table).toInt();
        };
        EnterAtEveryQuestion enter;
        QTest::keyClick(window.main.get(), Qt::Key_D, Qt::AltModifier);
        QTRY_COMPARE(enter.messages.size(), 1);
        QCOMPARE(enter.messages[0].text, "Are you sure that you want to delete this task and all "
                                         "assignments associated with it?");
        QCOMPARE(enter.messages[0].title, "Delete Task");
        QCOMPARE(enter.messages[0].buttons, MsgButtons::YesNo);
        QCOMPARE(enter.messages[0].defaultButton, MsgResult::No);
        QCOMPARE(count("tasks"), 3);
        QCOMPARE(count("assign"), 3);
        QCOMPARE(editor->txtTaskName->text(), "Boiler inspection");

        QTest::mouseClick(editor->cmdClearAll, Qt::LeftButton);
        QCOMPARE(enter.messages.size(), 2);
        QCOMPARE(enter.messages[1].title, "Clear Schedule");
        QCOMPARE(enter.messages[1].defaultButton, MsgResult::No);
        QVERIFY(editor->isWeekMarked(2) && editor->isWeekMarked(3) && !editor->isWeekMarked(4));
        QVERIFY(editor->cmdDelete->isVisible()); // still browsing: nothing changed
    }

    // A click and Space toggle a week into edit mode, and Cancel puts the stored weeks back.
    void weekMarksToggleAndCancel() {
        Fixture f;
        f.clickWeek(5);
        QCOMPARE(f.mode(), "edit");
        QVERIFY(f.editor->WeeksChanged);
        f.weekList()->setFocus();
        f.weekList()->setCurrentRow(2);
        QTest::keyClick(f.weekList(), Qt::Key_Space);
        QCOMPARE(f.markedWeeks(), (QList<int>{4, 5}));
        QVERIFY(f.click("cmdCancel"));
        QCOMPARE(f.markedWeeks(), (QList<int>{3, 4}));
        QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4}));
        QCOMPARE(f.mode(), "browse");
    }

    // Saving the marks on Sunday 3 July 2005, which joins the week of Monday 4 July (week 27): week
    // 26 is over and gets no assignment, week 27 does. Unmarking takes the uncompleted assignment
    // of the week away and keeps a completed one.
    void savingWeeksAdjustsAssignments() {
        scripted->setToday(QDate(2005, 7, 3));
        Fixture f;
        QCOMPARE(f.markedWeeks(), (QList<int>{3, 4}));
        // A second uncompleted assignment of week 4, moved to the Wednesday: it stays.
        f.folder.exec("INSERT INTO assign (taskid, weeid, duedate, completed) "
                      "VALUES (1, 4, '2005-01-26', 0);");
        for (int week : {3, 4, 5, 26, 27, 30})
            f.clickWeek(week);
        QCOMPARE(f.mode(), "edit");
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.mode(), "browse");
        QVERIFY(!f.editor->WeeksChanged);
        QCOMPARE(scripted->messageTexts(), QStringList());

        QCOMPARE(f.storedWeeks(1), (QList<int>{5, 26, 27, 30}));
        QCOMPARE(f.markedWeeks(), (QList<int>{5, 26, 27, 30}));
        QCOMPARE(f.rows({"weeid", "duedate", "completed <> 0"},
                        "from assign where taskid = 1 order by duedate"),
                 (QStringList{"3 2005-01-17 1", "4 2005-01-26 0", "27 2005-07-04 0",
                              "30 2005-07-25 0"}));
        // The other task's assignment of week 4 is not touched.
        QCOMPARE(f.count("assign where taskid = 2 and duedate = '2005-01-24'"), 1);
        // The new assignments: the task's employee, nothing done yet, no location or type.
        QCOMPARE(f.count("assign where taskid = 1 and weeid in (27, 30) and empid = 1 and "
                         "comphour = 0 and compmin = 0 and compdate is null and compnotes = "
                         "'' "
                         "and manid is null and completed = 0 and locid is null and typid "
                         "is "
                         "null"),
                 2);

        // Saving again without touching the weeks changes nothing.
        f.typeInto("txtManuf", "Acme 2");
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.count("assign where taskid = 1"), 4);
        QCOMPARE(f.storedWeeks(1), (QList<int>{5, 26, 27, 30}));
    }

    // One-off jobs of the first task on the Mondays of its weeks 3 (whose scheduled assignment
    // is completed) and 4 (whose is open): unmarking both weeks takes the open scheduled
    // assignment away and leaves both jobs; marking week 3 again adds a scheduled one beside.
    void unmarkedWeekKeepsOneOffJobs() {
        scripted->setToday(QDate(2005, 1, 3));
        Fixture f;
        f.folder.exec("INSERT INTO assign (taskid, duedate, completed, oneoff) VALUES "
                      "(1, '2005-01-17', 0, 1), (1, '2005-01-24', 0, 1);");
        for (int week : {3, 4})
            f.clickWeek(week);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(scripted->messageTexts(), QStringList());
        QCOMPARE(f.storedWeeks(1), QList<int>());
        const auto jobs = [&f] {
            return f.rows({"duedate", "completed <> 0", "oneoff <> 0"},
                          "from assign where taskid = 1 order by oneoff <> 0, duedate, "
                          "completed <> 0");
        };
        QCOMPARE(jobs(), (QStringList{"2005-01-17 1 0", "2005-01-17 0 1", "2005-01-24 0 1"}));

        f.clickWeek(3);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(jobs(), (QStringList{"2005-01-17 0 0", "2005-01-17 1 0", "2005-01-17 0 1",
                                      "2005-01-24 0 1"}));
    }

    // The copy takes over the marked weeks with their assignments from this week on; the weeks then
    // marked for it replace them.
    void cloneTakesOverTheWeeks() {
        scripted->setToday(QDate(2005, 7, 4));
        Fixture f;
        f.clickWeek(30);
        QVERIFY(f.click("cmdUpdate"));
        QVERIFY(f.click("cmdClone"));
        QCOMPARE(f.text("txtTaskID"), "4");
        QCOMPARE(f.count("tasks where taskid = 4 and taskname = 'Boiler "
                         "inspection' and manuf = "
                         "'Acme' and locid = 1 and typid = 2 and empid = 1 and "
                         "reqhour = 2 and "
                         "curyearonly <> 0 and purchdate = '2004-03-15'"),
                 1);
        QCOMPARE(f.storedWeeks(4), (QList<int>{3, 4, 30}));
        QCOMPARE(f.rows({"weeid", "duedate", "empid"}, "from assign where taskid = 4"),
                 QStringList{"30 2005-07-25 1"});
        QCOMPARE(f.markedWeeks(), QList<int>());
        QCOMPARE(f.mode(), "edit");
        QVERIFY(f.editor->WeeksChanged);

        f.clickWeek(3);
        f.clickWeek(4);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(f.storedWeeks(4), (QList<int>{3, 4}));
        QCOMPARE(f.count("assign where taskid = 4"), 0);
        QCOMPARE(f.markedWeeks(), (QList<int>{3, 4}));
        QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4, 30})); // the original keeps its weeks
    }

    // Another user (another program, on the file) changes or deletes the shown task between its
    // showing and Update or Delete: never a silent overwrite. Changed: Yes writes the shown values
    // over theirs, No shows theirs and drops the edit, Cancel goes on editing (and the next Update
    // asks again, as theirs are still unseen). Deleted: the edit is discarded, with a message. A
    // Delete of a task changed meanwhile asks again; of one gone already it says so.
    void taskChangedOrDeletedByAnotherUser_data() {
        addColumns<QString, QString, int>("command", "other", "answer");
        const int none = -1;
        QTest::newRow("update, changed, save over") << "update"
                                                    << "change" << int(MsgResult::Yes);
        QTest::newRow("update, changed, reload") << "update"
                                                 << "change" << int(MsgResult::No);
        QTest::newRow("update, changed, go on editing") << "update"
                                                        << "change" << int(MsgResult::Cancel);
        QTest::newRow("update, deleted") << "update"
                                         << "delete" << none;
        QTest::newRow("delete, changed, delete it") << "delete"
                                                    << "change" << int(MsgResult::Yes);
        QTest::newRow("delete, changed, keep it") << "delete"
                                                  << "change" << int(MsgResult::No);
        QTest::newRow("delete, deleted already") << "delete"
                                                 << "delete" << none;
    }
    void taskChangedOrDeletedByAnotherUser() {
        QFETCH(QString, command);
        QFETCH(QString, other);
        QFETCH(int, answer);
        const QString changedText = "Another user has changed this task since it was shown.\n\n"
                                    "Yes: save your changes over theirs.\n"
                                    "No: discard your changes and show theirs.\n"
                                    "Cancel: go on editing.";
        const QString deletedText =
            "Another user has deleted this task since it was shown, so your changes cannot be "
            "saved.";
        Fixture f;
        QCOMPARE(f.task(), "Boiler inspection");
        if (command == "update") {
            f.typeAndLeave("txtModel", "X-9");
            f.clickWeek(30);
        }
        OtherProgram(f.folder.dbPath())
            .exec(other == "change" ? "UPDATE tasks SET manuf = 'Other' WHERE taskid = 1"
                                    : "DELETE FROM tasks WHERE taskid = 1");
        const QString manufModel = "select manuf || ' ' || model" + Task1;
        if (command == "delete")
            scripted->answer(MsgResult::Yes);
        if (answer >= 0)
            scripted->answer(MsgResult(answer));
        QVERIFY(f.click(command == "update" ? "cmdUpdate" : "cmdDelete"));
        QStringList titles = scripted->messageTitles();
        titles.removeAll("Delete Task");

        if (command == "update" && other == "delete") {
            QCOMPARE(titles, QStringList{"Record Deleted"});
            QCOMPARE(scripted->lastMessage().text, deletedText);
            QCOMPARE(f.count("tasks"), 2);
            QCOMPARE(f.mode(), "browse");
            QCOMPARE(f.task(), "Check extinguishers");
            return;
        }
        if (command == "delete" && other == "delete") {
            QCOMPARE(titles, QStringList{"Record Deleted"});
            QCOMPARE(scripted->lastMessage().text, "Another user had already deleted this task.");
            QCOMPARE(f.count("tasks"), 2);
            QCOMPARE(f.task(), "Check extinguishers");
            return;
        }
        QCOMPARE(titles, QStringList{"Record Changed"});
        if (command == "delete") {
            QCOMPARE(scripted->lastMessage().text,
                     "Another user has changed this task since it was shown. Do you still want "
                     "to delete it?");
            QVERIFY(scripted->lastMessage().defaultButton == MsgResult::No);
            const bool deleted = answer == int(MsgResult::Yes);
            QCOMPARE(f.count("tasks"), deleted ? 2 : 3);
            QCOMPARE(f.count("assign where taskid = 1"), deleted ? 0 : 2);
            QCOMPARE(f.task(), deleted ? "Check extinguishers" : "Boiler inspection");
            if (!deleted)
                QCOMPARE(f.text("txtManuf"), "Other"); // theirs, shown
            QCOMPARE(f.mode(), "browse");
            return;
        }
        QCOMPARE(scripted->lastMessage().text, changedText);
        QCOMPARE(scripted->lastMessage().buttons, MsgButtons::YesNoCancel);
        QVERIFY(scripted->lastMessage().defaultButton == MsgResult::Cancel);
        switch (MsgResult(answer)) {
        case MsgResult::Yes:
            QCOMPARE(f.stored(manufModel).toString(), "Acme X-9");
            QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4, 30}));
            QCOMPARE(f.mode(), "browse");
            QCOMPARE(f.text("txtManuf"), "Acme");
            break;
        case MsgResult::No:
            QCOMPARE(f.stored(manufModel).toString(), "Other B-200");
            QCOMPARE(f.mode(), "browse");
            QCOMPARE(f.text("txtManuf"), "Other");
            QCOMPARE(f.text("txtModel"), "B-200");
            QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4}));
            QCOMPARE(f.markedWeeks(), (QList<int>{3, 4}));
            break;
        default:
            QCOMPARE(f.stored(manufModel).toString(), "Other B-200");
            QCOMPARE(f.mode(), "edit");
            QCOMPARE(f.text("txtModel"), "X-9");
            // Still unseen: the next Update asks again, and Yes saves then.
            scripted->answer(MsgResult::Yes);
            QVERIFY(f.click("cmdUpdate"));
            QCOMPARE(scripted->messageTitles(), (QStringList{"Record Changed", "Record Changed"}));
            QCOMPARE(f.stored(manufModel).toString(), "Acme X-9");
            QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4, 30}));
            QCOMPARE(f.mode(), "browse");
            break;
        }
    }

    // Another program takes a lock at the start of a task's save with new weeks, of a clone or of a
    // delete with the task's assignments, or later (a reader's lock, which holds up the commit).
    // Retried, the operation is written whole once the lock goes; a lock that stays brings the
    // "Locked Record" question once, and No ends the program with nothing of the operation written.
    void lockedTaskOperationsAreAllOrNothing_data() {
        addColumns<QString, QString, int>("operation", "lockBefore", "releaseAfter");
        for (const char* operation : {"save", "clone", "delete"})
            for (const char* at : {"BEGIN IMMEDIATE", "first write", "COMMIT"}) {
                QTest::addRow("%s, %s, released", operation, at) << operation << at << 3;
                QTest::addRow("%s, %s, never released", operation, at) << operation << at << -1;
            }
    }
    void lockedTaskOperationsAreAllOrNothing() {
        QFETCH(QString, operation);
        QFETCH(QString, lockBefore);
        QFETCH(int, releaseAfter);
        if (lockBefore == "first write") // a row saved, or the task's assignments deleted
            lockBefore = operation == "delete" ? "DELETE" : "SAVEPOINT";
        lockBefore = lockPointOnThisBackend(lockBefore);
        if (lockBefore.isEmpty())
            QSKIP("a reader holding up the commit is the file's own lock: on a server nobody "
                  "holds up a commit");
        const bool server = testsOnServer();
        scripted->setToday(QDate(2005, 7, 4));
        Fixture f;
        if (operation == "save") {
            f.clickWeek(27);
            f.clickWeek(30);
        } else if (operation == "delete") {
            scripted->answer(MsgResult::Yes);
        }
        const QString before = OtherProgram(f.folder.dbPath()).contents();
        int ended = -1;
        {
            LockAtStatement lock(f.folder.dbPath(), lockBefore, releaseAfter);
            if (releaseAfter >= 0) {
                QVERIFY(f.click(operation == "save"    ? "cmdUpdate"
                                : operation == "clone" ? "cmdClone"
                                                       : "cmdDelete"));
            } else {
                ended = exitCodeOf([&] {
                    if (operation == "save")
                        f.editor->cmdUpdate_Click();
                    else if (operation == "clone")
                        f.editor->cmdClone_Click();
                    else
                        f.editor->cmdDelete_Click();
                });
            }
            QVERIFY(lock.tookLock());
            if (!server)
                QCOMPARE(lock.tookWriteLock(), lockBefore == "BEGIN IMMEDIATE");
        }
        QStringList titles = scripted->messageTitles();
        titles.removeAll(QStringLiteral("Delete Task"));
        if (releaseAfter < 0) {
            QCOMPARE(ended, 1);
            QCOMPARE(titles, QStringList{"Locked Record"});
            QCOMPARE(OtherProgram(f.folder.dbPath()).contents(), before);
            return;
        }
        QCOMPARE(titles, QStringList());
        if (operation == "save") {
            QCOMPARE(f.storedWeeks(1), (QList<int>{3, 4, 27, 30}));
            QCOMPARE(f.count("assign where taskid = 1"), 4);
        } else if (operation == "clone") {
            QCOMPARE(f.count("tasks"), 4);
            QCOMPARE(f.storedWeeks(4), (QList<int>{3, 4}));
        } else {
            QCOMPARE(f.count("tasks"), 2);
            QCOMPARE(f.count("assign where taskid = 1"), 0);
        }
    }

    // Two planners save the same task: while the other's save holds the task (its row on a
    // server, the whole file on a file), Update waits, retries silently and asks "Locked
    // Record"; Yes once the other has let go saves the edit, and nothing else of the task.
    void anotherPlannersSaveHoldsTheTask() {
        Fixture f;
        // Every column as the editor shows it (a save writes an empty box as an empty text).
        QStringList columns{"curyearonly <> 0", "purchdate", "wardate"};
        for (const char* text : {"taskname", "taskdesc", "tools", "results", "besttime", "manuf",
                                 "model", "serialno", "tag", "misc1"})
            columns << QStringLiteral("coalesce(%1, '')").arg(text);
        for (const char* number : {"reqhour", "reqmin", "locid", "typid", "empid"})
            columns << number;
        QStringList expected = f.rows(columns, Task1);
        expected.first().replace(" B-200 ", " B-200-X ");
        QVERIFY(expected.first().contains(" B-200-X "));
        const QStringList otherTasks =
            f.rows(columns, "from tasks where taskid <> 1 order by taskid");
        QTest::keyClicks(f.w<QLineEdit>("txtModel"), "-X");
        OtherProgram other(f.folder.dbPath());
        if (f.folder.onServer())
            QCOMPARE(other.exec("BEGIN; SELECT * FROM tasks WHERE taskid = 1 FOR UPDATE"), 0);
        else
            other.holdWriteLock();
        QList<int> retries;
        scripted->retryUntilReleased(other, &retries);
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(retries, (QList<int>{100, 100}));
        QCOMPARE(scripted->messageTitles(), (QStringList{"Locked Record", "Locked Record"}));
        QCOMPARE(scripted->lastMessage().text,
                 "Could not update locked record.  Do you wish to try again?");
        QCOMPARE(f.mode(), "browse");
        QCOMPARE(f.rows(columns, Task1), expected);
        QCOMPARE(f.rows(columns, "from tasks where taskid <> 1 order by taskid"), otherTasks);
    }

    // The location Roof is retired: the task that has it shows it greyed, the others and a
    // new task do not list it; once the list is reloaded after it is taken back into use,
    // every task lists it again.
    void retiredLocationLeavesNewTasksList() {
        Fixture f(SampleSql + "UPDATE locations SET inactive = 1 WHERE locdesc = 'Roof';");
        auto* loc = f.w<QComboBox>("cmbLoc");
        QCOMPARE(loc->currentText(), "Boiler Room");
        QCOMPARE(listedTexts(loc), QStringList{"Boiler Room"});
        QVERIFY(f.click("cmdNext"));
        QCOMPARE(f.task(), "Check extinguishers");
        QCOMPARE(loc->currentText(), "Roof");
        QVERIFY(showsRetiredName(loc));
        QCOMPARE(listedTexts(loc), (QStringList{"Boiler Room", "Roof"}));
        QVERIFY(f.click("cmdAddNew"));
        QCOMPARE(loc->currentIndex(), -1);
        QCOMPARE(listedTexts(loc), QStringList{"Boiler Room"});
        QVERIFY(f.click("cmdCancel"));

        f.folder.exec("UPDATE locations SET inactive = 0;");
        state().LocationsChanged = true;
        f.editor->activate();
        QVERIFY(f.click("cmdFirst"));
        QCOMPARE(choosableTexts(loc), (QStringList{"Boiler Room", "Roof"}));
        QVERIFY(!showsRetiredName(loc));
    }

    void activationReloadsOnlyChangedLists() {
        Fixture f;
        QVERIFY(f.click("cmdNext")); // location Roof
        f.folder.exec("INSERT INTO locations (locdesc) VALUES ('Attic');"
                      "INSERT INTO types (typdesc) VALUES ('Aaa');");
        state().LocationsChanged = true;
        f.editor->activate();
        auto* loc = f.w<QComboBox>("cmbLoc");
        QCOMPARE(entryTexts(loc), (QStringList{"Attic", "Boiler Room", "Roof"}));
        QCOMPARE(loc->currentText(), "Roof");
        QVERIFY(!state().LocationsChanged);
        QCOMPARE(f.w<QComboBox>("cmbTyp")->count(), 2); // its flag was not set
        QCOMPARE(f.mode(), "browse");
    }

    // An access key clicks its button while the focus stays in the field typed into, so the command
    // runs that field's lost-focus check itself: a refused text shows the field's message, keeps
    // the focus and the text, and nothing is written. Cancel discards without a check; the keys of
    // buttons hidden while editing, and Enter, do nothing (the key is not typed into the field
    // either).
    void accessKeysRunThePendingCheck_data() {
        QTest::addColumn<KeyCase>("c");
        const int alt = Qt::AltModifier;
        const QString purchDate = "select purchdate" + Task1;
        const QString count = QStringLiteral("select count(*) from tasks");
        addRow("Update, purchase date 99/99/99",
               KeyCase{false, "dcPurchDate", "99/99/99", Qt::Key_U, alt, PurchaseDateMessage,
                       purchDate, "2004-03-15", true});
        addRow("Add Another, warranty date 2/30/2005",
               KeyCase{true, "dcWarDate", "2/30/2005", Qt::Key_A, alt, WarrantyDateMessage, count,
                       "3", true});
        addRow("Update, a date typed short is saved",
               KeyCase{false, "dcPurchDate", "1-2-05", Qt::Key_U, alt, "", purchDate, "2005-01-02",
                       false});
        addRow("Cancel discards a bad date without a word",
               KeyCase{false, "dcPurchDate", "99/99/99", Qt::Key_C, alt, "", purchDate,
                       "2004-03-15", false});
        addRow("Delete is hidden while editing",
               KeyCase{false, "dcPurchDate", "99/99/99", Qt::Key_D, alt, "", purchDate,
                       "2004-03-15", true});
        addRow("Enter presses no button",
               KeyCase{false, "txtReqMin", "xyz", Qt::Key_Return, Qt::NoModifier, "",
                       "select reqmin" + Task1, "30", true});
    }
    void accessKeysRunThePendingCheck() {
        QFETCH(KeyCase, c);
        Fixture f;
        state().findDialog = [](QWidget*) { QFAIL("no find while editing"); };
        f.editor->activate();
        if (c.adding) {
            QVERIFY(f.click("cmdAddNew"));
            QTest::keyClicks(f.w("txtTaskName"), "New pump");
        }
        QWidget* typedInto = f.typeInto(c.field.toLatin1().constData(), c.typed);
        scripted->clearRecord();

        f.press(c.key, c.modifiers);
        QCOMPARE(scripted->messageTexts(),
                 c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        QCOMPARE(f.stored(c.query).toString(), c.stored);
        QCOMPARE(f.editor->isEditing(), c.editing);
        if (!c.message.isEmpty()) {
            QCOMPARE(QApplication::focusWidget(), typedInto);
            QCOMPARE(Fixture::fieldText(typedInto), c.typed);
            QCOMPARE(f.editor->isAdding(), c.adding);
        } else if (c.editing && !c.adding) {
            // A key that found no button leaves the text alone; an access key says so.
            QCOMPARE(Fixture::fieldText(typedInto), c.typed);
            QCOMPARE(scripted->beeps, c.modifiers == Qt::AltModifier ? 1 : 0);
        }
    }

    // Number boxes hold what a single-precision column holds: a number beyond its range, or with
    // more digits than it keeps, gets the box's message and is not stored; an accepted one is shown
    // again in full, without exponent or rounding.
    void numberBoxesKeepToTheColumnsRange_data() {
        addColumns<QString, bool, QString, QString>("typed", "refused", "stored", "shown");
        const QString old = exact(2.0);
        addRow("1234567", "1234567", false, exact(1234567.0), "1234567");
        addRow("largest single", "3.4028235e38", false,
               exact(double(std::numeric_limits<float>::max())),
               "340282350000000000000000000000000000000");
        addRow("just beyond", "3.4028236e38", true, old, "3.4028236e38");
        addRow("too small to keep", "1e-50", true, old, "1e-50");
        addRow("more digits than single keeps", "123456789", true, old, "123456789");
    }
    void numberBoxesKeepToTheColumnsRange() {
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Fixture f;
        QWidget* hours = f.typeInto("txtReqHour", typed);
        scripted->clearRecord();
        f.press(Qt::Key_U, Qt::AltModifier);
        QCOMPARE(scripted->messageTexts(), refused ? QStringList{HoursMessage} : QStringList{});
        QCOMPARE(exact(f.stored("select reqhour" + Task1)), stored);
        QCOMPARE(f.text("txtReqHour"), shown);
        QCOMPARE(f.editor->isEditing(), refused);
        if (refused) {
            QCOMPARE(QApplication::focusWidget(), hours);
            // Leaving the box with the Tab key refuses the same text in the same words.
            scripted->clearRecord();
            f.press(Qt::Key_Tab);
            QCOMPARE(scripted->messageTexts(), QStringList{HoursMessage});
            QCOMPARE(QApplication::focusWidget(), hours);
        }
    }

    // A stored number, also one another program wrote, is shown in full in the locale's digits and
    // comes back unchanged from a save of another field; a number typed in the locale's digits and
    // decimal point is read as such.
    void storedNumbersInAndOut_data() {
        addColumns<QString, QString, QString>("locale", "value", "shown");
        QTest::addColumn<QString>("typed"); // into Hours; empty: Manufacturer changed
        QTest::addColumn<double>("read");
        addRow("single 0.3", "en_US", QString::number(double(0.3f), 'g', 17), "0.3", "", 0.0);
        addRow("double 0.1", "en_US", "0.1", "0.1", "", 0.0);
        addRow("1e39 from another program", "en_US", "1e39",
               "1000000000000000000000000000000000000000", "", 0.0);
        addRow("no value", "en_US", "NULL", "", "", 0.0);
        addRow("de_DE", "de_DE", "1234.5", "1234,5", "-0,25", -0.25);
        addRow("ar_EG", "ar_EG", "1234.5", "١٢٣٤٫٥", "٠٫٢٥", 0.25);
    }
    void storedNumbersInAndOut() {
        QFETCH(QString, locale);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(double, read);
        if (value == "1e39" && testsOnServer())
            QSKIP("a number beyond the single-precision column's range is the file's own: the "
                  "server's column refuses it");
        const LocaleGuard guard(locale);
        const char* column = typed.isEmpty() ? "reqmin" : "reqhour";
        Fixture f(SampleSql +
                  QStringLiteral("UPDATE tasks SET %1 = %2 WHERE taskid = 1;").arg(column, value));
        const QString query = QStringLiteral("select ") + column + Task1;
        const QString before = exact(f.stored(query));
        QCOMPARE(f.text(typed.isEmpty() ? "txtReqMin" : "txtReqHour"), shown);
        if (typed.isEmpty()) {
            // Through the box and out of it, then a save of the manufacturer.
            f.w("txtReqMin")->setFocus(Qt::TabFocusReason);
            f.typeInto("txtManuf", "Kidde");
        } else {
            auto* hours = f.w<QLineEdit>("txtReqHour");
            hours->setFocus(Qt::TabFocusReason);
            hours->insert(typed); // over the selected text, as an input method types it
        }
        f.press(Qt::Key_U, Qt::AltModifier);
        QVERIFY2(scripted->messages.isEmpty(), qPrintable(scripted->messageTexts().join('|')));
        if (typed.isEmpty()) {
            QCOMPARE(f.stored("select manuf" + Task1).toString(), "Kidde");
            QCOMPARE(exact(f.stored(query)), before);
            QCOMPARE(f.text("txtReqMin"), shown);
        } else {
            QCOMPARE(exact(f.stored(query)), exact(read));
            QCOMPARE(f.text("txtReqHour"), typed);
        }
    }

    // After a command the focus goes where the next key cannot do harm: into the first data field
    // while a row is shown, to Add New in the empty state, never to Delete.
    void focusAfterCommands_data() {
        addColumns<int, bool, QString>("command", "onlyTask", "focus");
        addRow("Update by Alt+U", int(UpdateByKey), false, "txtTaskName");
        addRow("Update by Space", int(UpdateBySpace), false, "txtTaskName");
        addRow("Cancel clicked", int(CancelClicked), false, "txtTaskName");
        addRow("Delete of the only task", int(DeleteClicked), true, "cmdAddNew");
        addRow("Cancel of a first task", int(CancelFirstTask), true, "cmdAddNew");
        addRow("Add Another by Alt+A", int(AddAnotherByKey), false, "txtTaskName");
    }
    void focusAfterCommands() {
        QFETCH(int, command);
        QFETCH(bool, onlyTask);
        QFETCH(QString, focus);
        Fixture f(onlyTask ? "INSERT INTO tasks (taskname) VALUES ('Only');" : SampleSql);
        if (command <= CancelClicked)
            f.typeInto("txtManuf", "Kidde");
        switch (command) {
        case UpdateByKey:
            f.press(Qt::Key_U, Qt::AltModifier);
            break;
        case UpdateBySpace:
            f.w("cmdUpdate")->setFocus(Qt::TabFocusReason);
            f.press(Qt::Key_Space);
            break;
        case CancelClicked:
            QVERIFY(f.click("cmdCancel"));
            break;
        case DeleteClicked:
        case CancelFirstTask:
            scripted->answer(MsgResult::Yes);
            QVERIFY(f.click("cmdDelete"));
            if (command == DeleteClicked)
                break;
            QVERIFY(f.click("cmdAddNew"));
            QTest::keyClicks(f.w("txtTaskName"), "First");
            QVERIFY(f.click("cmdCancel"));
            break;
        case AddAnotherByKey:
            QVERIFY(f.click("cmdAddNew"));
            QTest::keyClicks(f.w("txtTaskName"), "New pump");
            f.w("txtReqHour")->setFocus(Qt::TabFocusReason);
            f.press(Qt::Key_A, Qt::AltModifier);
            QCOMPARE(f.count("tasks"), 4);
            break;
        }
        QVERIFY2(QApplication::focusWidget(),
                 qPrintable(scripted->messageTexts().join(QLatin1Char('|'))));
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);

        // The next Space or Enter asks no question.
        const int tasks = f.count("tasks");
        scripted->clearRecord();
        scripted->answer(MsgResult::Yes);
        f.press(Qt::Key_Space);
        f.press(Qt::Key_Return);
        QVERIFY2(scripted->messages.isEmpty(), qPrintable(scripted->messageTexts().join('|')));
        QCOMPARE(f.count("tasks"), tasks);
    }

    void worksInsideTheMainWindow() {
        MainWindowOnSample window;
        frmMain& main = *window.main;
        TaskEditor* editor = window.editor();
        QVERIFY(editor);
        QTest::keyClicks(editor->txtManuf, "x");
        QVERIFY(!main.exitAction()->isEnabled());
        editor->cmdCancel->click();
        QVERIFY(main.exitAction()->isEnabled());

        // A menu command that leaves the row runs the focused field's check first.
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        editor->dcPurchDate->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(editor->dcPurchDate->lineEdit(), "99");
        scripted->clearRecord();
        main.mnuExit_Click();
        QCOMPARE(scripted->messageTexts(), QStringList{PurchaseDateMessage});
        QVERIFY(main.isVisible());
        QCOMPARE(QApplication::focusWidget(), editor->dcPurchDate);
        editor->cmdCancel->click();
    }

    // Started in a folder without tavrel.mdb: the missing file is reported, a new database offered,
    // and the database not being open is told once, not by every step after.
    void startsInAFolderWithoutDatabase_data() {
        QTest::addColumn<bool>("create");
        addRow("no: the program ends, nothing written", false);
        addRow("yes: a new database, then a normal start", true);
    }
    void startsInAFolderWithoutDatabase() {
        QFETCH(bool, create);
        QTemporaryDir dir;
        const QString folder = QDir(dir.path()).absolutePath();
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        QDir::setCurrent(folder);
        scripted->answer(MsgResult::Ok); // the 3024 message
        scripted->answer(create ? MsgResult::Yes : MsgResult::No);
        frmMain main;
        installTaskEditor(main);
        QCOMPARE(exitCodeOf([&] { main.Form_Load(); }), create ? -1 : 0);
        auto* editor = main.findChild<TaskEditor*>();
        QVERIFY(editor);
        // No ends the program at once: no other message, no year question, no file. Yes makes a new
        // file of this year's, so no year question either.
        QCOMPARE(
            scripted->messageTexts(),
            (QStringList{QStringLiteral("3024  Could not find file '%1/tavrel.mdb'.").arg(folder),
                         QStringLiteral("There is no tavrel.mdb in %1. Do you want to "
                                        "create a new, empty database in this folder?")
                             .arg(QDir::toNativeSeparators(folder))}));
        if (!create) {
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{});
            return;
        }
        // The editor starts empty; the user's first task saves into the new file.
        QVERIFY(state().dbMain.isOpen());
        QVERIFY(QFile::exists(dir.filePath("tavrel.mdb")));
        QVERIFY(QFile::exists(dir.filePath("rptspec.mdb")));
        QCOMPARE(editor->lstWeeks->count(), 52);
        QVERIFY(!editor->txtTaskName->isEnabled());

        scripted->clearRecord();
        editor->cmdAddNew->click();
        QTest::keyClicks(editor->txtTaskName, "Boiler inspection");
        editor->cmdUpdate->click();
        QCOMPARE(scripted->messageTexts(), QStringList{});
        Recordset saved =
            state().dbMain.openRecordset("select taskname from tasks", RecordsetType::Snapshot);
        QCOMPARE(saved.recordCount(), 1);
        QCOMPARE(saved.value("taskname").toString(), "Boiler inspection");
        saved.close();
        main.Form_Unload();
    }

    // A damaged file met while the program runs is repaired, and every window goes on working on
    // the repaired file: the save that met the damage can be made again, the moves move and typing
    // starts an edit, in the task editor, the assignment editor and a code editor that are open at
    // the time.
    void windowsWorkOnAfterARepair() {
        QTemporaryDir dir;
        QString error;
        QVERIFY2(initWorkFolder(dir.path(), true, QDate(2005, 7, 4), &error), qPrintable(error));
        scripted->setToday(QDate(2005, 7, 4));
        const QString db = QDir(dir.path()).filePath("tavrel.mdb");
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        QDir::setCurrent(dir.path());
        frmMain main;
        installTaskEditor(main);
        installAssignmentEditor(main);
        installCodeEditors(main);
        main.Form_Load();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto* tasks = main.findChild<TaskEditor*>();
        QVERIFY(tasks);
        main.mnuAssign->trigger();
        auto* assign = main.findChild<frmAssign*>();
        QVERIFY(assign);
        main.mnuMaint[1]->trigger(); // Employees
        auto* names = main.findChild<CodeEditor*>("frmNames");
        QVERIFY(names);
        QVERIFY(scripted->messages.isEmpty());

        // Another program damages the file under the running program: the header's magic text is
        // overwritten and its change counter moved on, as a write does.
        {
            QFile file(db);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write("Garbage, really!");
            file.seek(24);
            file.write("\x7f\x7f\x7f\x7f", 4);
        }

        // The user edits the shown task and saves: the save meets the damage.
        const QString shown = tasks->txtTaskName->text();
        QTest::mouseClick(tasks->txtManuf, Qt::LeftButton);
        QTest::keyClick(tasks->txtManuf, Qt::Key_End);
        QTest::keyClicks(tasks->txtManuf, " II");
        const QString typed = tasks->txtManuf->text();
        QTest::mouseClick(tasks->cmdUpdate, Qt::LeftButton);
        QCOMPARE(scripted->messages.size(), 1);
        QVERIFY2(scripted->messages.first().text.startsWith(
                     "The database tavrel.mdb was damaged and has been repaired"),
                 qPrintable(scripted->messages.first().text));
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("tavrel-damaged-1.mdb")));
        // What was typed is still there, and Update now writes it to the repaired file.
        QVERIFY(tasks->cmdUpdate->isVisible());
        QCOMPARE(tasks->txtManuf->text(), typed);
        QTest::mouseClick(tasks->cmdUpdate, Qt::LeftButton);
        QVERIFY(tasks->cmdFirst->isVisible());
        QStringList order;
        {
            Recordset all = state().dbMain.openRecordset(
                "select taskname, manuf from tasks order by taskname", RecordsetType::Snapshot);
            for (; !all.isEOF(); all.moveNext()) {
                order << all.value("taskname").toString();
                if (order.last() == shown)
                    QCOMPARE(all.value("manuf").toString(), typed);
            }
        }
        QVERIFY(order.size() > 3 && order.contains(shown));

        // The moves move, over the tasks of the repaired file, and typing starts an edit.
        QTest::mouseClick(tasks->cmdLast, Qt::LeftButton);
        QCOMPARE(tasks->txtTaskName->text(), order.last());
        QTest::mouseClick(tasks->cmdFirst, Qt::LeftButton);
        QCOMPARE(tasks->txtTaskName->text(), order.first());
        QTest::mouseClick(tasks->cmdNext, Qt::LeftButton);
        QCOMPARE(tasks->txtTaskName->text(), order.at(1));
        QTest::mouseClick(tasks->cmdPrevious, Qt::LeftButton);
        QCOMPARE(tasks->txtTaskName->text(), order.first());
        QTest::keyClicks(tasks->txtModel, "x");
        QVERIFY(tasks->cmdUpdate->isVisible() && !tasks->cmdFirst->isVisible());
        QTest::mouseClick(tasks->cmdCancel, Qt::LeftButton);

        // The assignment editor and the code editor too.
        const auto moveAndEdit = [](RecordEditor* window, const std::function<QString()>& shownRow,
                                    QWidget* box) {
            const QString first = shownRow();
            QTest::mouseClick(window->cmdLast, Qt::LeftButton);
            QVERIFY(shownRow() != first);
            QTest::mouseClick(window->cmdFirst, Qt::LeftButton);
            QCOMPARE(shownRow(), first);
            QTest::keyClicks(box, "x");
            QVERIFY(window->cmdUpdate->isVisible() && !window->cmdFirst->isVisible());
            QTest::mouseClick(window->cmdCancel, Qt::LeftButton);
        };
        moveAndEdit(
            assign, [assign] { return assign->txtDueDate->text() + assign->txtTaskName->text(); },
            assign->txtCompNotes);
        auto* last = names->findChild<QLineEdit*>("txtLast");
        moveAndEdit(
            names, [last] { return last->text(); }, last);

        QCOMPARE(scripted->messages.size(), 1);
        names->close();
        assign->close();
        main.Form_Unload();
    }

    // The history of a task with assignments in two years: the newest year first, each
    // under its totals of completed work (an open assignment's expected time counts for
    // nothing), and only the task's own rows. It follows the task shown: Next and Previous,
    // a saved task, a new one; it reads rows changed in another window when the editor is
    // activated again; hidden, it reads nothing until it is shown.
    void historyFollowsTheTask() {
        Fixture f(HistorySql);
        TaskEditor& editor = *f.editor;
        QVERIFY(!editor.isHistoryShown());
        QVERIFY(!editor.fraHistory->isVisible());
        QVERIFY(f.click("cmdHistory"));
        QVERIFY(editor.fraHistory->isVisible());
        QCOMPARE(historyRows(editor), BoilerHistory);

        QVERIFY(f.click("cmdNext"));
        QCOMPARE(f.task(), "Check extinguishers");
        QCOMPARE(historyRows(editor), (QStringList{"2005|1 of 1 completed||9|0|$99.00",
                                                   "  1/24/2005|1/25/2005|Baker, Ann|9|0|$99.00"}));
        QVERIFY(f.click("cmdNext"));
        QCOMPARE(historyRows(editor), QStringList{}); // a task without assignments
        QVERIFY(f.click("cmdFirst"));
        QCOMPARE(historyRows(editor), BoilerHistory);

        f.typeAndLeave("txtManuf", "Acme");
        QVERIFY(f.click("cmdUpdate"));
        QCOMPARE(historyRows(editor), BoilerHistory);
        QVERIFY(f.click("cmdAddNew"));
        QCOMPARE(historyRows(editor), QStringList{});
        QVERIFY(f.click("cmdCancel"));
        QCOMPARE(f.task(), "Replace filters");
        QCOMPARE(historyRows(editor), QStringList{});
        QVERIFY(f.click("cmdFirst"));

        // Completed in the assignment editor meanwhile.
        f.folder.exec("UPDATE assign SET completed = 1, compdate = '2005-01-26', comphour = 1, "
                      "compmin = 0, totalcost = 4 WHERE assid = 4");
        editor.activate();
        QCOMPARE(historyRows(editor).mid(0, 3),
                 (QStringList{"2005|2 of 2 completed||3|0|$4.00", BoilerHistory[1],
                              "  1/24/2005|1/26/2005|Baker, Ann|1|0|$4.00"}));

        // Hidden, it follows the task only once shown again.
        QVERIFY(f.click("cmdHistory"));
        QVERIFY(!editor.fraHistory->isVisible());
        QVERIFY(f.click("cmdNext"));
        QCOMPARE(editor.fraHistory->tvwHistory->topLevelItemCount(), 0);
        QVERIFY(f.click("cmdHistory"));
        QCOMPARE(historyRows(editor).value(0), "2005|1 of 1 completed||9|0|$99.00");
    }

    // In the main window the history is hidden until the user shows it (on a screen as
    // small as the test's); Alt+V shows and hides it as the button does, and the choice
    // holds for the next start.
    void historyShownIsRemembered() {
        const auto pressAltV = [](const MainWindowOnSample& window) {
            bringForward(window.main.get());
            QTest::keyClick(window.editor()->txtTaskName, Qt::Key_V, Qt::AltModifier);
            QTRY_VERIFY(!window.editor()->cmdHistory->isDown());
        };
        {
            MainWindowOnSample window;
            QVERIFY(!window.editor()->isHistoryShown());
            pressAltV(window);
            QVERIFY(window.editor()->isHistoryShown());
            QVERIFY(window.editor()->cmdHistory->isChecked());
        }
        {
            MainWindowOnSample window;
            QVERIFY(window.editor()->isHistoryShown());
            QVERIFY(window.editor()->cmdHistory->isChecked());
            QCOMPARE(historyRows(*window.editor()).value(1), "  1/17/2005|Yes||0|0|$0.00");
            pressAltV(window);
            QVERIFY(!window.editor()->isHistoryShown());
        }
        MainWindowOnSample window;
        QVERIFY(!window.editor()->isHistoryShown());
        QVERIFY(!window.editor()->cmdHistory->isChecked());
    }

    // A click on an assignment's row, or Enter on it, chooses that assignment; a year's row
    // chooses nothing.
    void historyRowChoosesItsAssignment() {
        Fixture f(HistorySql);
        QVERIFY(f.click("cmdHistory"));
        QTreeWidget* tree = f.editor->fraHistory->tvwHistory;
        QSignalSpy chosen(f.editor->fraHistory, &TaskHistory::assignmentChosen);
        QTreeWidgetItem* year2004 = tree->topLevelItem(1);

        clickHistoryRow(tree, year2004->child(1));
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.at(0).at(0).value<long>(), 2L);

        clickHistoryRow(tree, year2004);
        QCOMPARE(chosen.size(), 1);

        clickHistoryRow(tree, tree->topLevelItem(0)->child(1));
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(1).at(0).value<long>(), 4L);

        // Up from 1/24/2005 to 1/17/2005, then Enter.
        QTest::keyClick(tree, Qt::Key_Up);
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0)->child(0));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(chosen.size(), 3);
        QCOMPARE(chosen.at(2).at(0).value<long>(), 3L);
    }

    // The window with the task editor fits a 1024 x 768 screen with the window frame, title bar and
    // a panel around it, whatever the locale's dates; and at that smallest size no week or date is
    // cut and the check boxes of neighbouring weeks stand apart. More room makes the equipment
    // fields wider, all of them reaching the panel's edge.
    void mainWindowFitsTheScreen_data() {
        QTest::addColumn<QString>("locale");
        addRow("en_US", "en_US");
        addRow("bg_BG", "bg_BG");
        addRow("ar_EG", "ar_EG");
    }
    void mainWindowFitsTheScreen() {
        QFETCH(QString, locale);
        const LocaleGuard guard(locale);
        {
            // Shown at start (as the user left it), the history takes its height from the
            // procedure: the window still fits.
            QSettings settings(QStringLiteral("Tavrel"), QStringLiteral("Tavrel"));
            settings.setValue(QStringLiteral("taskEditor/historyShown"), true);
            MainWindowOnSample shown;
            QVERIFY(shown.editor()->isHistoryShown());
            const QSize withHistory = shown.main->minimumSizeHint();
            QVERIFY2(withHistory.width() <= SmallScreenRoom.width() &&
                         withHistory.height() <= SmallScreenRoom.height(),
                     qPrintable(QStringLiteral("%1 x %2 with the history")
                                    .arg(withHistory.width())
                                    .arg(withHistory.height())));
            settings.remove(QStringLiteral("taskEditor/historyShown"));
        }
        MainWindowOnSample window;
        const QSize smallest = window.main->minimumSizeHint();
        QVERIFY2(
            smallest.width() <= SmallScreenRoom.width() &&
                smallest.height() <= SmallScreenRoom.height(),
            qPrintable(QStringLiteral("%1 x %2").arg(smallest.width()).arg(smallest.height())));

        window.showAt(smallest);
        TaskEditor* editor = window.editor();
        QListWidget* weeks = editor->lstWeeks;
        QVERIFY(weeks->sizeHintForColumn(0) <= weeks->viewport()->width());
        const QRect first = weeks->visualItemRect(weeks->item(0));
        const QRect second = weeks->visualItemRect(weeks->item(1));
        const int indicator = weeks->style()->pixelMetric(QStyle::PM_IndicatorHeight);
        QVERIFY(first.height() >= indicator);
        QVERIFY2(second.top() - first.bottom() > MinWeekGap,
                 qPrintable(QStringLiteral("%1 apart").arg(second.top() - first.bottom())));
        for (DateField* field : {editor->dcPurchDate, editor->dcWarDate}) {
            QLineEdit* box = field->lineEdit();
            QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <= box->width(),
                     qPrintable(box->text()));
        }
        if (locale != "en_US")
            return;

        window.showAt(QSize(1000, 700));
        const int narrow = editor->txtManuf->width();
        window.showAt(QSize(1600, 1000));
        QVERIFY2(editor->txtManuf->width() > narrow + MinWidening,
                 qPrintable(QStringLiteral("%1 -> %2").arg(narrow).arg(editor->txtManuf->width())));
        auto* panel = editor->findChild<QGroupBox*>("fraEquipment");
        const auto rightEdge = [panel](QWidget* field) {
            return field->mapTo(panel, QPoint(field->width(), 0)).x();
        };
        QCOMPARE(rightEdge(editor->txtMisc1), rightEdge(editor->cmbLoc));
        QCOMPARE(rightEdge(editor->dcWarDate), rightEdge(editor->cmbLoc));
        QVERIFY(panel->width() - rightEdge(editor->cmbLoc) <= MaxPanelMargin);
    }
};

QTEST_MAIN(TstTaskEditor)
#include "tst_taskeditor.moc"
