#include "assignments/codeeditor.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "support/datarows.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Employees in last-name order: Adams, Jones (no first name), smart, Smith. Employee 1 is on
// an assignment, employee 2 only the default of a task; manager 1 inspects an assignment.
// Location 1 and type 1 are on a task, location 2 and type 2 only on an assignment.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO employees (empid, firstname, lastname) VALUES
    (1, 'John', 'Smith'), (2, 'Ann', 'smart'), (3, '', 'Jones'), (4, 'Mary', 'Adams');
INSERT INTO managers (manid, manfirst, manlast) VALUES (1, 'Paul', 'Boss'), (2, 'Rita', 'Chief');
INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler room'), (2, 'Annex'), (3, 'Roof');
INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC'), (2, 'electrical'), (3, 'Plumbing');
INSERT INTO tasks (taskid, taskname, locid, typid, empid) VALUES (1, 'Boiler', 1, 1, 2);
INSERT INTO assign (taskid, weeid, duedate, empid, manid, locid, typid)
    VALUES (1, 5, '2005-01-31', 1, 1, 2, 2);
)");

constexpr int MenuEmployees = 1;
constexpr int MenuLocations = 2;
constexpr int MenuManagers = 3;
constexpr int MenuTypes = 4;

const char* windowOf(int menu) {
    return menu == MenuEmployees || menu == MenuManagers ? "frmNames" : "frmCodesMaint";
}

// The main window with the Maintain menu installed, on a database of the sample site.
struct Site {
    explicit Site(const QString& extraSql = {})
        : folder(2005, SiteSql + extraSql) {
        installCodeEditors(main);
    }
    // Chooses a Maintain entry and waits for its window to come forward.
    CodeEditor* open(int menu) {
        main.mnuMaint[menu]->trigger();
        auto* window = main.findChild<CodeEditor*>(QString::fromLatin1(windowOf(menu)));
        if (!window ||
            !QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }))
            qWarning("the code editor did not become active");
        return window;
    }
    QVariant stored(const QString& sql) const { return folder.scalar(sql); }

    TempWorkFolder folder;
    frmMain main;
};

template <typename T = QWidget> T* w(QWidget* window, const char* name) {
    return WindowDriver(window).w<T>(name);
}
bool click(QWidget* window, const char* name) {
    return WindowDriver(window).click(name);
}
void typeInto(QWidget* window, const char* name, const QString& typed) {
    WindowDriver(window).typeInto(name, typed);
}

// What the window's boxes show, first box first.
QStringList shown(QWidget* window) {
    QStringList texts;
    for (const char* name : {"txtFirst", "txtLast", "txtDesc"}) {
        if (auto* box = window->findChild<QLineEdit*>(QString::fromLatin1(name)))
            texts << box->text();
    }
    return texts;
}

bool boxesEnabled(QWidget* window) {
    const auto boxes = window->findChildren<QLineEdit*>();
    return std::all_of(boxes.begin(), boxes.end(), [](QLineEdit* box) { return box->isEnabled(); });
}

// The box each list's Find searches and a Missing Data refusal is about.
const char* keyBox(int menu) {
    return menu == MenuEmployees || menu == MenuManagers ? "txtLast" : "txtDesc";
}

} // namespace

class TestCodeEditors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // What each Maintain entry opens: its list's first row, the list-changed flag its
    // activation sets, its help page, and Find that searches nothing when cancelled.
    void lists_data() {
        addColumns<int, int, QStringList, QString>("menu", "mode", "first", "helpTopic");
        addRow("employees", MenuEmployees, int(CodeEdit::Employees), QStringList{"Mary", "Adams"},
               "employees");
        addRow("locations", MenuLocations, int(CodeEdit::Locations), QStringList{"Annex"},
               "locations");
        addRow("managers", MenuManagers, int(CodeEdit::Managers), QStringList{"Paul", "Boss"},
               "managers");
        addRow("types", MenuTypes, int(CodeEdit::Types), QStringList{"electrical"}, "types");
    }
    void lists() {
        QFETCH(int, menu);
        QFETCH(int, mode);
        QFETCH(QStringList, first);
        QFETCH(QString, helpTopic);
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(menu);
        QVERIFY(window);
        QCOMPARE(int(state().CodeEditMode), mode);
        QCOMPARE(shown(window), first);

        // Each activation of the window, and only that, sets the list's flag.
        bool* flags[] = {nullptr, &state().EmployeesChanged, &state().LocationsChanged,
                         &state().ManagersChanged, &state().TypesChanged};
        QVERIFY(*flags[menu]);
        *flags[menu] = false;
        site.main.show();
        site.main.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &site.main);
        QVERIFY(!*flags[menu]);
        window->windowHandle()->requestActivate(); // the user clicks into it
        QTRY_COMPARE(QApplication::activeWindow(), window);
        QVERIFY(*flags[menu]);
        for (bool* other : flags)
            QVERIFY(other == nullptr || other == flags[menu] || !*other);

        // F1 anywhere in the window opens the list's own page, which exists.
        QTest::keyClick(w(window, keyBox(menu)), Qt::Key_F1);
        QCOMPARE(ui.helpTopics, QStringList{helpTopic});
        QVERIFY(QFile::exists(QStringLiteral(":/help/%1.html").arg(helpTopic)));

        QVERIFY(click(window, "cmdFind"));
        QCOMPARE(ui.inputPrompts.size(), 1);
        QCOMPARE(ui.messages.size(), 0); // the input box was cancelled: nothing searched
        QCOMPARE(shown(window), first);

        // Only the codes window shows Update and Cancel from the start.
        const bool codes = QLatin1String(windowOf(menu)) == QLatin1String("frmCodesMaint");
        QCOMPARE(w(window, "cmdUpdate")->isVisible(), codes);
        QCOMPARE(w(window, "cmdCancel")->isVisible(), codes);
        QVERIFY(click(window, "cmdOk"));
        QTRY_VERIFY(!site.main.findChild<CodeEditor*>());
    }

    // Delete asks the list's question and refuses a row still referred to.
    // A code in use is not deleted: the refusal offers to retire it instead. No leaves it
    // as it was; Yes marks it inactive and it leaves the list as a deleted code does (the
    // next shown, or the one before when it was the last).
    void deleteChecks_data() {
        addColumns<int, QString>("menu", "find");
        QTest::addColumn<QString>("refusal"); // empty: deleted
        QTest::addColumn<bool>("retire");
        QTest::addColumn<QStringList>("after");
        addRow("employee on an assignment", MenuEmployees, "Smith",
               "This employee is assigned to a task and cannot be deleted.", false,
               QStringList{"John", "Smith"});
        addRow("employee on an assignment, retired", MenuEmployees, "Smith",
               "This employee is assigned to a task and cannot be deleted.", true,
               QStringList{"Ann", "smart"});
        addRow("employee only on a task", MenuEmployees, "sma", QString(), false,
               QStringList{"John", "Smith"});
        addRow("inspecting manager", MenuManagers, "Boss",
               "This manager is the selected inspector of an assignment record and cannot be "
               "deleted.",
               false, QStringList{"Paul", "Boss"});
        addRow("inspecting manager, retired", MenuManagers, "Boss",
               "This manager is the selected inspector of an assignment record and cannot be "
               "deleted.",
               true, QStringList{"Rita", "Chief"});
        addRow("last manager: the one before shown", MenuManagers, "Chief", QString(), false,
               QStringList{"Paul", "Boss"});
        addRow("location on a task", MenuLocations, "Boiler",
               "This location is assigned to a task and cannot be deleted.", false,
               QStringList{"Boiler room"});
        addRow("location on a task, retired", MenuLocations, "Boiler",
               "This location is assigned to a task and cannot be deleted.", true,
               QStringList{"Roof"});
        addRow("location only on assignments", MenuLocations, "Annex", QString(), false,
               QStringList{"Boiler room"});
        addRow("type on a task", MenuTypes, "hvac",
               "This type is assigned to a task record and cannot be deleted.", false,
               QStringList{"HVAC"});
        addRow("type on a task, retired", MenuTypes, "hvac",
               "This type is assigned to a task record and cannot be deleted.", true,
               QStringList{"Plumbing"});
    }
    void deleteChecks() {
        QFETCH(int, menu);
        QFETCH(QString, find);
        QFETCH(QString, refusal);
        QFETCH(bool, retire);
        QFETCH(QStringList, after);
        static const char* const questions[] = {
            "", "Are you sure that you want to delete this employee?",
            "Are you sure that you want to delete this location?",
            "Are you sure that you want to delete this manager?",
            "Are you sure that you want to delete this type description?"};
        const QString question = QString::fromLatin1(questions[menu]);
        static const char* const tables[] = {"", "employees", "locations", "managers", "types"};
        const QString countSql = QStringLiteral("select count(*) from ") + tables[menu];
        const QString retiredSql =
            QStringLiteral("select count(*) from %1 where inactive <> 0").arg(tables[menu]);
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(menu);
        const int before = site.stored(countSql).toInt();
        ui.answerInput(find);
        QVERIFY(click(window, "cmdFind"));
        QCOMPARE(ui.messages.size(), 0);

        // Enter at the question presses No.
        ui.pressEnter();
        QVERIFY(click(window, "cmdDelete"));
        QCOMPARE(ui.lastMessage().text, question);
        QCOMPARE(ui.lastMessage().defaultButton, MsgResult::No);
        QCOMPARE(site.stored(countSql).toInt(), before);
        ui.answer(MsgResult::Yes);
        if (!refusal.isEmpty())
            ui.answer(retire ? MsgResult::Yes : MsgResult::No);
        QVERIFY(click(window, "cmdDelete"));
        QCOMPARE(ui.messages.size(), refusal.isEmpty() ? 2 : 3);
        for (const auto& message : ui.messages)
            QCOMPARE(message.buttons, MsgButtons::YesNo);
        if (!refusal.isEmpty()) {
            QCOMPARE(ui.lastMessage().text,
                     refusal + " Do you want to mark it inactive instead? It then leaves the "
                               "drop-down lists of new entries and stays on the records that "
                               "use it.");
            QCOMPARE(ui.lastMessage().title, "Cannot Delete");
            QCOMPARE(ui.lastMessage().defaultButton, MsgResult::No);
        }
        QCOMPARE(site.stored(countSql).toInt(), refusal.isEmpty() ? before - 1 : before);
        QCOMPARE(site.stored(retiredSql).toInt(), retire ? 1 : 0);
        QCOMPARE(shown(window), after);
        QCOMPARE(w<QCheckBox>(window, "chkInactive")->isChecked(), false);
    }

    // The Annex is retired: left out of the list until "Show inactive" is ticked, then shown
    // greyed with its box ticked. The box, ticked or cleared like any field and saved with
    // Update, retires a location or takes it back; the switch waits while a row is edited.
    void inactiveNamesOnRequest() {
        ScriptedUi ui;
        Site site("UPDATE locations SET inactive = 1 WHERE locdesc = 'Annex';");
        CodeEditor* window = site.open(MenuLocations);
        auto* inactive = w<QCheckBox>(window, "chkInactive");
        auto* showAll = w<QCheckBox>(window, "chkShowInactive");
        auto* desc = w<QLineEdit>(window, "txtDesc");
        const auto tick = [](QCheckBox* box) {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        };
        const auto greyed = [desc] {
            return desc->palette().color(QPalette::Active, QPalette::Text) ==
                   desc->palette().color(QPalette::Disabled, QPalette::Text);
        };
        const auto walk = [&] {
            QStringList names;
            click(window, "cmdFirst");
            const int beeps = ui.beeps;
            while (ui.beeps == beeps && names.size() < 10) {
                names << desc->text() + (greyed() ? "*" : "");
                click(window, "cmdNext");
            }
            return names;
        };
        QVERIFY(!showAll->isChecked());
        QCOMPARE(walk(), (QStringList{"Boiler room", "Roof"}));
        QVERIFY(click(window, "cmdPrevious")); // Boiler room
        tick(showAll);
        QCOMPARE(desc->text(), "Boiler room");
        QCOMPARE(walk(), (QStringList{"Annex*", "Boiler room", "Roof"}));

        QVERIFY(click(window, "cmdFirst"));
        QVERIFY(inactive->isChecked());
        tick(inactive);
        QVERIFY(!greyed());
        QVERIFY(window->isEditingRow());
        const int beeps = ui.beeps;
        tick(showAll); // refused while editing
        QCOMPARE(ui.beeps, beeps + 1);
        QVERIFY(showAll->isChecked());
        QVERIFY(click(window, "cmdUpdate"));
        QVERIFY(click(window, "cmdLast"));
        tick(inactive);
        QVERIFY(greyed());
        QVERIFY(click(window, "cmdUpdate"));
        QCOMPARE(site.folder.texts("select locdesc from locations where inactive <> 0"),
                 QStringList{"Roof"});
        QVERIFY(state().LocationsChanged);

        tick(showAll);
        QCOMPARE(walk(), (QStringList{"Annex", "Boiler room"}));
        QCOMPARE(ui.messages.size(), 0);
    }

    // The check that nothing uses a code and its delete are one operation: another
    // program's lock at its start is waited for, a reader's lock that holds up its commit
    // too, and a lock that stays ends the program (No to "Locked Record") with the code
    // still there.
    // Another user renames the shown location, or deletes it, between its showing and Update
    // or Delete: the user is asked, and nothing of theirs is overwritten unasked.
    void codeChangedOrDeletedByAnotherUser_data() {
        addColumns<QString, QString, int, QString, QStringList>("command", "other", "answer",
                                                                "stored", "titles");
        QTest::newRow("update, changed, save over")
            << "update"
            << "change" << int(MsgResult::Yes) << "Roof top" << QStringList{"Record Changed"};
        QTest::newRow("update, changed, go on editing")
            << "update"
            << "change" << int(MsgResult::Cancel) << "Loft" << QStringList{"Record Changed"};
        QTest::newRow("update, deleted") << "update"
                                         << "delete" << -1 << "" << QStringList{"Record Deleted"};
        QTest::newRow("delete, changed, delete it")
            << "delete"
            << "change" << int(MsgResult::Yes) << ""
            << QStringList{"Delete Location", "Record Changed"};
        QTest::newRow("delete, changed, keep it")
            << "delete"
            << "change" << int(MsgResult::No) << "Loft"
            << QStringList{"Delete Location", "Record Changed"};
        QTest::newRow("delete, deleted already")
            << "delete"
            << "delete" << -1 << "" << QStringList{"Delete Location", "Record Deleted"};
    }
    void codeChangedOrDeletedByAnotherUser() {
        QFETCH(QString, command);
        QFETCH(QString, other);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(QStringList, titles);
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(MenuLocations);
        ui.answerInput("Roof"); // on no task and no assignment
        QVERIFY(click(window, "cmdFind"));
        QCOMPARE(shown(window), QStringList{"Roof"});
        if (command == "update")
            typeInto(window, "txtDesc", "Roof top");
        OtherProgram(site.folder.dbPath())
            .exec(other == "change" ? "UPDATE locations SET locdesc = 'Loft' WHERE locid = 3"
                                    : "DELETE FROM locations WHERE locid = 3");
        if (command == "delete")
            ui.answer(MsgResult::Yes);
        if (answer >= 0)
            ui.answer(MsgResult(answer));
        QVERIFY(click(window, command == "update" ? "cmdUpdate" : "cmdDelete"));
        QVERIFY2(ui.messageTitles() == titles, qPrintable(ui.messageTexts().join('\n')));
        QCOMPARE(site.stored("select locdesc from locations where locid = 3").toString(), stored);
        if (command == "update" && answer == int(MsgResult::Cancel))
            QCOMPARE(shown(window), QStringList{"Roof top"}); // still being edited
        else if (stored == "Loft")
            QCOMPARE(shown(window), QStringList{"Loft"}); // theirs, shown
    }

    void lockedCodeDeleteIsAllOrNothing_data() {
        addColumns<QString, int>("lockBefore", "releaseAfter");
        for (const char* at : {"BEGIN IMMEDIATE", "DELETE", "COMMIT"}) {
            QTest::addRow("%s, released", at) << at << 3;
            QTest::addRow("%s, never released", at) << at << -1;
        }
    }
    void lockedCodeDeleteIsAllOrNothing() {
        QFETCH(QString, lockBefore);
        QFETCH(int, releaseAfter);
        lockBefore = lockPointOnThisBackend(lockBefore);
        if (lockBefore.isEmpty())
            QSKIP("a reader holding up the commit is the file's own lock: on a server nobody "
                  "holds up a commit");
        const bool server = testsOnServer();
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(MenuLocations);
        ui.answerInput("Roof"); // on no task and no assignment
        QVERIFY(click(window, "cmdFind"));
        ui.answer(MsgResult::Yes);
        int ended = -1;
        {
            LockAtStatement lock(site.folder.dbPath(), lockBefore, releaseAfter);
            if (releaseAfter >= 0) {
                QVERIFY(click(window, "cmdDelete"));
            } else {
                ended = exitCodeOf([window] { window->cmdDelete_Click(); });
            }
            QVERIFY(lock.tookLock());
            if (!server)
                QCOMPARE(lock.tookWriteLock(), lockBefore == "BEGIN IMMEDIATE");
        }
        QCOMPARE(ui.messageTitles().count("Locked Record"), releaseAfter < 0 ? 1 : 0);
        QCOMPARE(ended, releaseAfter < 0 ? 1 : -1);
        QCOMPARE(site.stored("select count(*) from locations where locid = 3").toInt(),
                 releaseAfter < 0 ? 1 : 0);
    }

    // Both boxes empty are refused with the list's message; one name, or a description,
    // is enough.
    void missingData_data() {
        addColumns<int, QString, QString>("menu", "message", "storedSql");
        const QString names = "You must enter a first name or a last name (or press Cancel)";
        addRow("employee", MenuEmployees, names,
               "select lastname || '/' || coalesce(firstname, '') from employees "
               "where empid = 5");
        addRow("location", MenuLocations, "You must enter a location name (or press Cancel)",
               "select locdesc || '/' from locations where locid = 4");
        addRow("type", MenuTypes, "You must enter a type name (or press Cancel)",
               "select typdesc || '/' from types where typid = 4");
    }
    void missingData() {
        QFETCH(int, menu);
        QFETCH(QString, message);
        QFETCH(QString, storedSql);
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(menu);
        QVERIFY(click(window, "cmdAddNew"));
        QVERIFY(click(window, "cmdUpdate"));
        QCOMPARE(ui.messageTexts(), QStringList{message});
        QVERIFY(window->isAdding());
        QVERIFY(site.stored(storedSql).isNull());

        typeInto(window, keyBox(menu), "Zed");
        QVERIFY(click(window, "cmdUpdate"));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(site.stored(storedSql).toString(), "Zed/");
        QVERIFY(!window->isAdding());
        QCOMPARE(shown(window).last(), "Zed"); // the new row, out of order
    }

    // An address that is not one is refused on Update with its reason and nothing is saved;
    // a good one is saved (Update by its access key), and so is an empty one.
    void emailAddressChecked_data() {
        addColumns<int, QString>("menu", "storedSql");
        addRow("employee", MenuEmployees,
               "select coalesce(email, '<null>') from employees where empid = 4");
        addRow("manager", MenuManagers,
               "select coalesce(email, '<null>') from managers where manid = 1");
    }
    void emailAddressChecked() {
        QFETCH(int, menu);
        QFETCH(QString, storedSql);
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(menu);
        QCOMPARE(w<QLabel>(window, "lblEmail")->text(), "E-&mail");
        // Its access key leads to the box.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), w(window, "txtEmail"));
        const QString tooLong = QString("a").repeated(243) + "@example.com"; // 255
        const QStringList bad = {
            "mary.example.com", "mary@adams@example.com", "@example.com",           "mary@example",
            "mary@.com",        "mary@example.",          "mary adams@example.com", tooLong};
        for (const QString& address : bad) {
            typeInto(window, "txtEmail", address);
            QVERIFY(click(window, "cmdUpdate"));
            QCOMPARE(ui.messages.size(), 1);
            QCOMPARE(ui.messages[0].title, "Invalid E-mail Address");
            QCOMPARE(ui.messages[0].text,
                     "\"" + address +
                         "\" is not an e-mail address. An address has one @, a name before it "
                         "and a domain with a dot after it (name@example.com), no blanks and at "
                         "most 254 characters. Correct it or leave it empty (or press Cancel).");
            ui.messages.clear();
            QCOMPARE(QApplication::focusWidget(), w(window, "txtEmail"));
            QCOMPARE(site.stored(storedSql).toString(), "<null>");
        }
        const QString longest = QString("a").repeated(242) + "@example.com"; // 254
        for (const QString& good : {QString("mary.adams+plant@mail.example.com"), longest}) {
            typeInto(window, "txtEmail", good);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_U, Qt::AltModifier);
            QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join('\n')));
            QTRY_COMPARE(site.stored(storedSql).toString(), good);
        }
        typeInto(window, "txtEmail", {});
        QVERIFY(click(window, "cmdUpdate"));
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(site.stored(storedSql).toString().isEmpty() ||
                site.stored(storedSql).toString() == "<null>");
        // The address alone is no name.
        QVERIFY(click(window, "cmdAddNew"));
        typeInto(window, "txtEmail", "new@example.com");
        QVERIFY(click(window, "cmdUpdate"));
        QCOMPARE(ui.messageTitles(), QStringList{"Missing Data"});
        QVERIFY(window->isAdding());
    }

    // Find takes the answer as the beginning of the last name, in last-name order and
    // without regard to case.
    void findByPrefix() {
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(MenuEmployees);
        ui.answerInput("Sm");
        QVERIFY(click(window, "cmdFind"));
        QCOMPARE(shown(window), (QStringList{"Ann", "smart"}));
        ui.answerInput("Smi");
        QVERIFY(click(window, "cmdFind"));
        QCOMPARE(shown(window), (QStringList{"John", "Smith"}));
        // Nothing found: said so, and the row shown stays the current one.
        for (const char* answer : {"Zz", "O\"Brien"}) {
            ui.answerInput(answer);
            QVERIFY(click(window, "cmdFind"));
        }
        QCOMPARE(ui.messages.size(), 2);
        QVERIFY(click(window, "cmdNext"));
        QCOMPARE(ui.beeps, 1); // Smith is the last
        QCOMPARE(shown(window), (QStringList{"John", "Smith"}));
    }

    // An empty list: the box waits for Add New, and Cancel brings the empty state back.
    void addNewOnEmptyListAndCancel() {
        ScriptedUi ui;
        Site site("DELETE FROM types;");
        CodeEditor* window = site.open(MenuTypes);
        QVERIFY(!boxesEnabled(window));
        QCOMPARE(window->defaultButton(), w<QPushButton>(window, "cmdOk"));
        QVERIFY(click(window, "cmdAddNew"));
        QVERIFY(boxesEnabled(window));
        QCOMPARE(window->defaultButton(), w<QPushButton>(window, "cmdAddNew"));
        QCOMPARE(QApplication::focusWidget(), w(window, "txtDesc"));
        typeInto(window, "txtDesc", "Roofing");
        QVERIFY(click(window, "cmdCancel"));
        QVERIFY(!boxesEnabled(window));
        QCOMPARE(shown(window), QStringList{QString()});
        QCOMPARE(window->defaultButton(), w<QPushButton>(window, "cmdOk"));
        QVERIFY(!w(window, "cmdUpdate")->isVisible());
        QCOMPARE(site.stored("select count(*) from types").toInt(), 0);
        QCOMPARE(ui.messages.size(), 0);
    }

    // Add Another saves the row typed and stays in the adding state; Enter presses it, and
    // Escape discards the row being entered.
    void addAnotherKeepsAdding() {
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(MenuManagers);
        const QSize opened = window->size();
        QVERIFY(click(window, "cmdAddNew"));
        typeInto(window, "txtFirst", "Eve");
        typeInto(window, "txtLast", "Zorn");
        QTest::keyClick(w(window, "txtLast"), Qt::Key_Return);
        QCOMPARE(site.stored("select manfirst || ' ' || manlast from managers where manid = 3")
                     .toString(),
                 "Eve Zorn");
        QCOMPARE(shown(window), (QStringList{QString(), QString()}));
        QVERIFY(window->isAdding());
        QCOMPARE(window->defaultButton(), w<QPushButton>(window, "cmdAddNew"));
        QVERIFY(w(window, "cmdUpdate")->isVisible() && !w(window, "cmdOk")->isVisible());
        QCOMPARE(QApplication::focusWidget(), w(window, "txtFirst"));

        typeInto(window, "txtLast", "Young");
        QTest::keyClick(w(window, "txtLast"), Qt::Key_Escape);
        QVERIFY(!window->isAdding());
        // The last row of the window's list: the one saved above, added at its end.
        QCOMPARE(shown(window), (QStringList{"Eve", "Zorn"}));
        QCOMPARE(site.stored("select count(*) from managers").toInt(), 3);
        QCOMPARE(ui.messages.size(), 0);
        QCOMPARE(window->size(), opened); // the buttons came and went without resizing it
    }

    // The open window comes forward for its other list and shows it, but not while it
    // edits a row: then it keeps its list, and the mode follows what it shows.
    void otherListOfTheOpenWindow() {
        ScriptedUi ui;
        Site site;
        CodeEditor* window = site.open(MenuLocations);
        site.main.show(); // the user goes back to the menu
        site.main.windowHandle()->requestActivate();
        QTRY_COMPARE(QApplication::activeWindow(), &site.main);
        state().TypesChanged = false;
        QCOMPARE(site.open(MenuTypes), window);
        QCOMPARE(QApplication::activeWindow(), window);
        QCOMPARE(window->mode(), CodeEdit::Types);
        QCOMPARE(shown(window), QStringList{"electrical"});
        QVERIFY(state().TypesChanged);

        typeInto(window, "txtDesc", "Electric");
        QCOMPARE(site.open(MenuLocations), window);
        QCOMPARE(ui.beeps, 1);
        QCOMPARE(window->mode(), CodeEdit::Types);
        QCOMPARE(state().CodeEditMode, CodeEdit::Types);
        QVERIFY(!window->close()); // nor does the close box lose the edit
        QVERIFY(click(window, "cmdCancel"));
        ui.answer(MsgResult::Yes);
        QVERIFY(click(window, "cmdDelete")); // electrical: only on an assignment
        QCOMPARE(site.stored("select count(*) from types").toInt(), 2);
        QCOMPARE(site.stored("select count(*) from locations").toInt(), 3);
        QVERIFY(window->close());
    }
};

QTEST_MAIN(TestCodeEditors)
#include "tst_codeeditors.moc"
