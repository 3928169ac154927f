// Closing a window while a row is being edited or added: the question it asks, what each
// answer does to the window and to the database, and the main window's close, which asks
// every editor in turn.
#include "assignments/codeeditor.h"
#include "assignments/frmassign.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/qtui.h"
#include "core/recordeditor.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "tasks/taskeditor.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// One task with one open assignment of 2005, an employee and a location.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Baker');
INSERT INTO locations (locid, locdesc) VALUES (1, 'Roof');
INSERT INTO tasks (taskid, taskname, manuf) VALUES (1, 'Boiler inspection', 'Acme');
INSERT INTO assign (assid, taskid, weeid, duedate, completed, compnotes)
    VALUES (1, 1, 5, '2005-01-31', 0, 'Due');
)");

const QString SaveChanges = QStringLiteral("Save Changes");
const QString TaskQuestion =
    QStringLiteral("Do you want to save the changes to this task before closing?");
const QString AssignmentQuestion =
    QStringLiteral("Do you want to save the changes to this assignment before closing?");
const QString NoTaskName =
    QStringLiteral("You must enter a task name for this task, or click Cancel.");
const QString HoursMessage = QStringLiteral("You must enter a valid number in the hours field.");

// The windows that ask, each edited as its user edits it.
enum class Edit {
    Task,
    NewTask,
    TaskWithoutName,
    TaskHoursNotANumber,
    Assignment,
    Employee,
    NewLocation
};

// The program with every editor installed, its main window shown and active.
struct Program {
    Program()
        : started(folder.path(), [](frmMain& main) {
            installTaskEditor(main);
            installAssignmentEditor(main);
            installCodeEditors(main);
        }) {
        bringForward(main());
    }
    frmMain* main() const { return started.main.get(); }
    QVariant stored(const QString& sql) const { return folder.scalar(sql); }

    // Opens a window from the Maintain menu and waits until it is the active one.
    template <typename Window> Window* open(QAction* entry) {
        entry->trigger();
        auto* window = main()->findChild<Window*>();
        if (!window || !QTest::qWaitFor([window] { return window->isActiveWindow(); }))
            qWarning("the window did not come forward");
        return window;
    }

    // Edits as `edit` says and gives the window that holds the edit.
    RecordEditor* edit(Edit edit) {
        switch (edit) {
        case Edit::Task:
            WindowDriver(main()).typeInto("txtManuf", "Zeta");
            return main()->findChild<TaskEditor*>();
        case Edit::NewTask:
            WindowDriver(main()).click("cmdAddNew");
            WindowDriver(main()).typeInto("txtTaskName", "Chiller");
            return main()->findChild<TaskEditor*>();
        case Edit::TaskWithoutName:
            WindowDriver(main()).typeInto("txtTaskName", "");
            return main()->findChild<TaskEditor*>();
        case Edit::TaskHoursNotANumber:
            // Typed and not left: the box's own check has not run yet.
            WindowDriver(main()).typeInto("txtReqHour", "abc");
            return main()->findChild<TaskEditor*>();
        case Edit::Assignment: {
            auto* form = open<frmAssign>(main()->mnuAssign);
            form->txtCompNotes->setFocus(Qt::TabFocusReason);
            QTest::keyClick(form->txtCompNotes, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(form->txtCompNotes, "Oiled");
            return form;
        }
        case Edit::Employee: {
            auto* names = open<CodeEditor>(main()->mnuMaint[1]);
            WindowDriver(names).typeInto("txtLast", "Barker");
            return names;
        }
        case Edit::NewLocation: {
            auto* codes = open<CodeEditor>(main()->mnuMaint[2]);
            WindowDriver(codes).click("cmdAddNew");
            WindowDriver(codes).typeInto("txtDesc", "Attic");
            return codes;
        }
        }
        return nullptr;
    }

    TempWorkFolder folder{2005, SiteSql, false};
    StartedProgram started;
};

// Questions asked in Qt's own message box, answered with a key as soon as it shows; what
// was asked is recorded as the scripted boxes record it.
class KeyAtEveryQuestion : public ScriptedUi {
public:
    explicit KeyAtEveryQuestion(Qt::Key key)
        : key_(key) {}
    MsgResult msgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     const QString& details, std::optional<MsgResult> defaultButton) override {
        messages.append({text, title, buttons, icon, details, defaultButton});
        QTimer::singleShot(0, [key = key_] {
            if (QWidget* box = QApplication::activeModalWidget())
                QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
        });
        return QtUi().msgBox(text, buttons, icon, title, details, defaultButton);
    }

private:
    Qt::Key key_;
};

} // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(MsgResult)

class TstClosing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Each window family with a row in edit, closed by its close box and answered Save,
    // Discard or Cancel: the exact question, whether the window stays (in edit, nothing
    // lost) and what the database holds afterwards. A save the window refuses keeps it
    // open with the refusal's message.
    void closingAsks_data() {
        addColumns<Edit, MsgResult, QString, QString, QString>("edit", "answer", "question",
                                                               "query", "stored");
        addColumns<bool, QString>("staysOpen", "message");
        const QString manuf = "select manuf from tasks where taskid = 1";
        const QString chiller = "select count(*) from tasks where taskname = 'Chiller'";
        const QString name = "select taskname from tasks where taskid = 1";
        const QString hours = "select reqhour from tasks where taskid = 1";
        const QString notes = "select compnotes from assign where assid = 1";
        const QString last = "select lastname from employees where empid = 1";
        const QString attic = "select count(*) from locations where locdesc = 'Attic'";
        const QString newTask = "Do you want to save the new task before closing?";
        const QString employee = "Do you want to save the changes to this employee before closing?";
        const QString location = "Do you want to save the new location before closing?";
        const MsgResult save = MsgResult::Save;
        const MsgResult discard = MsgResult::Discard;
        const MsgResult cancel = MsgResult::Cancel;
        // clang-format off
        addRow("task, save", Edit::Task, save, TaskQuestion, manuf, "Zeta", false, "");
        addRow("task, discard", Edit::Task, discard, TaskQuestion, manuf, "Acme", false, "");
        addRow("task, cancel", Edit::Task, cancel, TaskQuestion, manuf, "Acme", true, "");
        addRow("new task, save", Edit::NewTask, save, newTask, chiller, "1", false, "");
        addRow("new task, discard", Edit::NewTask, discard, newTask, chiller, "0", false, "");
        addRow("new task, cancel", Edit::NewTask, cancel, newTask, chiller, "0", true, "");
        addRow("task, save refused", Edit::TaskWithoutName, save, TaskQuestion, name, "Boiler inspection", true, NoTaskName);
        addRow("task, hours refused", Edit::TaskHoursNotANumber, save, TaskQuestion, hours, "", true, HoursMessage);
        addRow("assignment, save", Edit::Assignment, save, AssignmentQuestion, notes, "Oiled", false, "");
        addRow("assignment, discard", Edit::Assignment, discard, AssignmentQuestion, notes, "Due", false, "");
        addRow("assignment, cancel", Edit::Assignment, cancel, AssignmentQuestion, notes, "Due", true, "");
        addRow("employee, save", Edit::Employee, save, employee, last, "Barker", false, "");
        addRow("employee, discard", Edit::Employee, discard, employee, last, "Baker", false, "");
        addRow("employee, cancel", Edit::Employee, cancel, employee, last, "Baker", true, "");
        addRow("new location, save", Edit::NewLocation, save, location, attic, "1", false, "");
        addRow("new location, discard", Edit::NewLocation, discard, location, attic, "0", false, "");
        addRow("new location, cancel", Edit::NewLocation, cancel, location, attic, "0", true, "");
        // clang-format on
    }
    void closingAsks() {
        QFETCH(Edit, edit);
        QFETCH(MsgResult, answer);
        QFETCH(QString, question);
        QFETCH(QString, query);
        QFETCH(QString, stored);
        QFETCH(bool, staysOpen);
        QFETCH(QString, message);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 28));
        Program program;
        const QPointer<RecordEditor> editor = program.edit(edit);
        QVERIFY(editor && (editor->isChanged() || editor->isAdding()));
        const QPointer<QWidget> window = editor->window();
        ui.clearRecord();
        ui.answer(answer);

        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QCOMPARE(ui.messages.value(0).text, question);
        QCOMPARE(ui.messages.value(0).title, SaveChanges);
        QCOMPARE(ui.messages.value(0).buttons, MsgButtons::SaveDiscardCancel);
        QCOMPARE(ui.messageTexts().mid(1),
                 message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(window && window->isVisible(), staysOpen);
        if (staysOpen)
            QVERIFY(editor->isChanged() || editor->isAdding());
        QCOMPARE(program.stored(query).toString(), stored);
    }

    // The main window closed while the assignment editor has edits too and the employees'
    // window has none: each editor asks in turn, the main window's own first; Cancel anywhere
    // stops the close before any window has closed (the edits answered before it saved or
    // discarded as chosen, the rest still in edit).
    void mainWindowAsksEveryEditor_data() {
        addColumns<QList<MsgResult>, QStringList>("answers", "questions");
        addColumns<bool, bool, bool>("stopped", "mainEditing", "assignmentEditing");
        addColumns<QString, QString>("manuf", "notes");
        const QStringList both{TaskQuestion, AssignmentQuestion};
        const MsgResult save = MsgResult::Save;
        const MsgResult discard = MsgResult::Discard;
        const MsgResult cancel = MsgResult::Cancel;
        // clang-format off
        addRow("save both", QList{save, save}, both, false, false, false, "Zeta", "Oiled");
        addRow("discard both", QList{discard, discard}, both, false, false, false, "Acme", "Due");
        addRow("save, then cancel", QList{save, cancel}, both, true, false, true, "Zeta", "Due");
        addRow("discard, then cancel", QList{discard, cancel}, both, true, false, true, "Acme", "Due");
        addRow("cancel at once", QList{cancel}, QStringList{TaskQuestion}, true, true, true, "Acme", "Due");
        // clang-format on
    }
    void mainWindowAsksEveryEditor() {
        QFETCH(QList<MsgResult>, answers);
        QFETCH(QStringList, questions);
        QFETCH(bool, stopped);
        QFETCH(bool, mainEditing);
        QFETCH(bool, assignmentEditing);
        QFETCH(QString, manuf);
        QFETCH(QString, notes);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 28));
        Program program;
        const QPointer<CodeEditor> untouched =
            program.open<CodeEditor>(program.main()->mnuMaint[1]);
        const QPointer<RecordEditor> assignment = program.edit(Edit::Assignment);
        program.main()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.main()));
        RecordEditor* task = program.edit(Edit::Task);
        ui.clearRecord();
        for (MsgResult answer : answers)
            ui.answer(answer);

        program.main()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QCOMPARE(ui.messageTexts(), questions);
        QCOMPARE(program.main()->isVisible(), stopped);
        QCOMPARE(assignment && assignment->isVisible(), stopped);
        QCOMPARE(untouched && untouched->isVisible(), stopped);
        if (stopped) {
            QCOMPARE(task->isChanged(), mainEditing);
            QCOMPARE(assignment->isChanged(), assignmentEditing);
            // A discarded edit is gone from the window too.
            QCOMPARE(WindowDriver(program.main()).text("txtManuf"), mainEditing ? "Zeta" : manuf);
        }
        QCOMPARE(program.stored("select manuf from tasks where taskid = 1").toString(), manuf);
        QCOMPARE(program.stored("select compnotes from assign where assid = 1").toString(), notes);
    }

    // Run without a window (the console's messages) nobody can answer: the question takes
    // Cancel, so that nothing is saved or lost on anyone's behalf.
    void windowlessAnswerKeepsTheEdit() {
        Program program;
        program.edit(Edit::Task);

        program.main()->close();

        QVERIFY(program.main()->isVisible());
        QVERIFY(program.main()->findChild<TaskEditor*>()->isChanged());
        QCOMPARE(program.stored("select manuf from tasks where taskid = 1").toString(), "Acme");
    }

    // In the toolkit's own box, Enter presses Save and Escape is Cancel.
    void keysInTheRealBox_data() {
        addColumns<int, bool, QString>("key", "staysOpen", "manuf");
        addRow("Enter saves", int(Qt::Key_Return), false, "Zeta");
        addRow("Escape cancels", int(Qt::Key_Escape), true, "Acme");
    }
    void keysInTheRealBox() {
        QFETCH(int, key);
        QFETCH(bool, staysOpen);
        QFETCH(QString, manuf);
        KeyAtEveryQuestion ui{Qt::Key(key)};
        ui.setToday(QDate(2005, 3, 28));
        Program program;
        program.edit(Edit::Task);
        ui.clearRecord();

        program.main()->close();

        QCOMPARE(ui.messageTexts(), QStringList{TaskQuestion});
        QCOMPARE(program.main()->isVisible(), staysOpen);
        QCOMPARE(program.stored("select manuf from tasks where taskid = 1").toString(), manuf);
    }
};

QTEST_MAIN(TstClosing)
#include "tst_closing.moc"
