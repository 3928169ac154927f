// The find dialog: the criteria it builds, and searches run through it from the task editor
// and the assignment editor on a real database and catalogue.

#include "assignments/frmassign.h"
#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/workordercode.h"
#include "custom/findcriteria.h"
#include "custom/frmfind.h"
#include "data/schema.h"
#include "support/datarows.h"
#include "support/editorfixture.h"
#include "support/scriptedui.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>

#include <sqlite3.h>

using namespace tavrel;
using namespace tavrel::test;
using namespace tavrel::workordercode;

namespace {

// Five tasks, in name order; comments give what the searches look at.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO locations (locdesc) VALUES ('Boiler Room'), ('Roof'), ('Shed');
INSERT INTO tasks (taskname, manuf, reqhour, locid, curyearonly, purchdate) VALUES
    ('Air filter',   NULL,    2, 1, 0, '2005-01-10'),
    ('Boiler',       'Acme',  1, 2, 1, '2005-03-05'),
    ('Check filter', 'AirCo', 2, 2, 0, NULL),
    ('Drain',        'Acme',  2, 1, 0, '2005-06-01'),
    ('Extra filter', NULL,    3, 3, 1, '2004-12-31');
INSERT INTO assign (taskid, weeid, duedate, completed) VALUES
    (1, 3, '2005-01-17', 0), (3, 4, '2005-01-24', 0), (4, 6, '2005-02-07', 0);
)");
const QString Shown = QStringLiteral("Drain"); // the task shown when Find is pressed

enum Direction { First = 1, Previous = 2, Next = 3, Last = 4 };

// What the user chooses in the dialog. An empty choice leaves the second list as it is.
struct Search {
    QString field;
    QString choice;
    QString text;
    int direction = First;
};

QListWidget* secondList(QDialog* dialog) {
    QListWidget* shown = nullptr;
    for (const char* name : {"lstNum", "lstText", "lstBool", "lstSel"}) {
        auto* list = childOf<QListWidget>(dialog, QString::fromLatin1(name));
        if (list->isVisible()) {
            if (shown)
                qFatal("two lists shown");
            shown = list;
        }
    }
    return shown;
}

// Makes the choices of `search` as a user does (the text typed only when it differs) and
// leaves the Find button to the caller.
void fillIn(QDialog* dialog, const Search& search) {
    chooseEntry(childOf<QListWidget>(dialog, "lstField"), search.field);
    if (!search.choice.isEmpty())
        chooseEntry(secondList(dialog), search.choice);
    auto* box = childOf<QLineEdit>(dialog, "txtToFind");
    if (box->isVisible() && box->text() != search.text) {
        box->selectAll();
        QTest::keyClicks(box, search.text);
        if (search.text.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
    }
    QTest::mouseClick(
        childOf<QRadioButton>(dialog, QStringLiteral("optWhere%1").arg(search.direction)),
        Qt::LeftButton);
}

void pressFind(QDialog* dialog) {
    QTest::mouseClick(childOf<QPushButton>(dialog, "cmdFind"), Qt::LeftButton);
}

} // namespace

Q_DECLARE_METATYPE(Search)

class tst_Find : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedUi> ui_;
    std::unique_ptr<TaskEditorFixture> f_;

    // The task editor on the site with its catalogue, showing Drain.
    TaskEditorFixture& editor() {
        f_ = std::make_unique<TaskEditorFixture>(SiteSql);
        QString error;
        if (!createCatalogueDatabase(f_->folder.file("rptspec.mdb"), &error))
            qFatal("%s", qPrintable(error));
        f_->click("cmdLast");
        f_->click("cmdPrevious");
        return *f_;
    }
    QString shownTask() const { return f_->text("txtTaskName"); }

    // Presses the editor's Find with `driver` acting in the dialog.
    void find(const std::function<void(QDialog*)>& driver) {
        ui_->onModal(driver);
        QVERIFY(f_->click("cmdFind"));
        QCOMPARE(ui_->modalTitles.last(), "Find a Task");
    }

private Q_SLOTS:
    void initTestCase() {
        useTestLocale();
        installErrorPolicy();
    }
    void init() {
        resetProgramState();
        installFindDialog();
        ui_ = std::make_unique<ScriptedUi>();
    }
    void cleanup() {
        f_.reset();
        ui_.reset();
    }

    // The criterion of each kind of field and comparison; the refusals are checked through
    // the dialog below.
    void criteria_data() {
        addColumns<QString, int, QString, int, QString, QVariant, QString>(
            "fieldName", "dataType", "linkField", "code", "typed", "chosen", "expected");
        addRow("contains, empty", "taskname", 1, "", 1, "", QVariant(), "taskname like \"**\"");
        addRow("begins with", "manuf", 1, "", 2, "Ac", QVariant(), "manuf like \"Ac*\"");
        addRow("ends with", "manuf", 1, "", 3, "me", QVariant(), "manuf like \"*me\"");
        addRow("equals, typed as is", "Tag", 1, "", 4, "a'b", QVariant(), "Tag like \"a'b\"");
        addRow("number not =", "reqhour", 2, "", 2, "12", QVariant(), "reqhour <> 12");
        addRow("number <=", "tasks.taskid", 2, "", 5, "7", QVariant(), "tasks.taskid <= 7");
        addRow("date <, typed as is", "duedate", 3, "", 3, "1/2/05", QVariant(),
               "duedate < #1/2/05#");
        addRow("no", "completed", 4, "", 2, "", QVariant(), "completed = false");
        addRow("linked by two names", "x", 1, "own;theirs", 0, "", QVariant(7), "own = 7");
        addRow("time", "besttime", 5, "", 0, "9:00", QVariant(), "besttime");
    }
    void criteria() {
        QFETCH(QString, fieldName);
        QFETCH(int, dataType);
        QFETCH(QString, linkField);
        QFETCH(int, code);
        QFETCH(QString, typed);
        QFETCH(QVariant, chosen);
        CatalogueField field;
        field.fieldName = fieldName;
        field.type = FieldType(dataType);
        field.fileName = QStringLiteral("table");
        field.linkField = linkField;
        const FindCriteria result = findCriteria(field, code, typed, chosen);
        QCOMPARE(result.refusal, FindRefusal::None);
        QTEST(result.criteria, "expected");
    }

    void linkedValueLists() {
        CatalogueField field;
        field.fieldName = QStringLiteral("lastname");
        field.fileName = QStringLiteral("employees");
        field.linkField = QStringLiteral("empid");
        QCOMPARE(linkedValuesSql(field),
                 QStringLiteral(
                     "select empid as id, lastname as descr from employees order by lastname"));
        field.linkField = QStringLiteral("assignee;empid");
        field.memo = true; // a long text is listed unsorted
        QCOMPARE(linkedValuesSql(field), "select empid as id, lastname as descr from employees");
    }
    // Searches of each kind through the real dialog, from the task editor showing Drain.
    void searchesTheTasks_data() {
        QTest::addColumn<Search>("search");
        QTest::addColumn<QString>("expected"); // empty: nothing matches
        addRow("contains nothing: every name there is",
               Search{"Manufacturer", "Contains", "", First}, "Boiler");
        addRow("contains, previous from the shown",
               Search{"Manufacturer", "Contains", "", Previous}, "Check filter");
        addRow("date >=", Search{"Purchase Date", ">=", "3/5/2005", First}, "Boiler");
        addRow("linked location", Search{"Location", "Shed", "", First}, "Extra filter");
        addRow("yes/no, last", Search{"Current Year Only", "False", "", Last}, "Drain");
        addRow("no match", Search{"Task Name", "Equals", "Pump", First}, "");
    }
    void searchesTheTasks() {
        QFETCH(Search, search);
        QFETCH(QString, expected);
        editor();
        find([&](QDialog* dialog) {
            fillIn(dialog, search);
            pressFind(dialog);
            QVERIFY(!dialog->isVisible());
        });
        if (expected.isEmpty()) {
            QCOMPARE(ui_->messages.size(), 1);
            QCOMPARE(ui_->lastMessage().title, "No Records Match");
            QCOMPARE(shownTask(), Shown);
            QVERIFY(f_->click("cmdNext")); // still on the task shown
            QCOMPARE(shownTask(), "Extra filter");
        } else {
            QVERIFY2(ui_->messages.isEmpty(), qPrintable(ui_->messageTexts().join('|')));
            QCOMPARE(shownTask(), expected);
        }
        QCOMPARE(f_->mode(), "browse");
    }

    // A new search text or yes/no value starts Find Next from the top; the choices stay.
    void findNextAfterANewValue() {
        editor();
        const Search filters{"Task Name", "Contains", "filter", Next};
        find([&](QDialog* dialog) {
            fillIn(dialog, filters);
            pressFind(dialog);
        });
        QCOMPARE(shownTask(), "Check filter"); // not Extra filter after Drain
        find([&](QDialog* dialog) {
            QCOMPARE(childOf<QListWidget>(dialog, "lstField")->currentItem()->text(),
                     filters.field);
            QCOMPARE(secondList(dialog)->currentItem()->text(), filters.choice);
            QCOMPARE(childOf<QLineEdit>(dialog, "txtToFind")->text(), filters.text);
            QVERIFY(childOf<QRadioButton>(dialog, "optWhere3")->isChecked());
            pressFind(dialog); // the same search again goes on from the task found
        });
        QCOMPARE(shownTask(), "Extra filter");
        find([&](QDialog* dialog) {
            fillIn(dialog, {"Current Year Only", "False", {}, Next});
            QVERIFY(!childOf<QLineEdit>(dialog, "txtToFind")->isVisible());
            pressFind(dialog);
        });
        QCOMPARE(shownTask(),
                 "Check filter"); // after Air filter, not after the last
    }

    void refusedValues_data() {
        addColumns<QString, QString, QString, QString>("field", "text", "title", "focus");
        addRow("number", "Hours Required", "two", "Search Value Not Numeric", "txtToFind");
        addRow("date", "Purchase Date", "13/45/2005", "Search Value Not Date", "txtToFind");
        addRow("linked", "Location", "", "No Value Selected", "lstSel");
    }
    void refusedValues() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, focus);
        editor();
        find([&](QDialog* dialog) {
            fillIn(dialog, {field, {}, text, First});
            pressFind(dialog);
            QVERIFY(dialog->isVisible());
            QCOMPARE(ui_->messages.size(), 1);
            QCOMPARE(ui_->lastMessage().title, title);
            QCOMPARE(dialog->focusWidget()->objectName(), focus);
            QVERIFY(!state().Cancelled);
        });
    }

    // Leaving without Find returns to the task shown; the close box alone forgets the choices.
    void leavingWithoutSearching_data() {
        addColumns<int, QString>("how", "keptText");
        addRow("Close", 0, "zz");
        addRow("close box", 2, "");
    }
    void leavingWithoutSearching() {
        QFETCH(int, how);
        QFETCH(QString, keptText);
        editor();
        find([&](QDialog* dialog) {
            fillIn(dialog, {"Task Name", {}, "zz", Next});
            if (how == 0)
                QTest::mouseClick(childOf<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
            else if (how == 1)
                QTest::keyClick(childOf<QLineEdit>(dialog, "txtToFind"), Qt::Key_Escape);
            else
                dialog->close();
            QVERIFY(!dialog->isVisible());
        });
        QVERIFY(state().Cancelled);
        QVERIFY(ui_->messages.isEmpty());
        QCOMPARE(shownTask(), Shown);
        QVERIFY(f_->click("cmdNext"));
        QCOMPARE(shownTask(), "Extra filter");
        find([&](QDialog* dialog) {
            QCOMPARE(childOf<QLineEdit>(dialog, "txtToFind")->text(), keptText);
        });
    }

    // The field chosen with the mouse or with the keys: the second column, its caption and
    // the search box follow it. Steps: an entry of the field list to click, "key <keys>"
    // pressed where the focus is, or "focus <control>" clicked.
    void choosingTheField_data() {
        addColumns<QStringList, QString, QString, QString, QStringList>("steps", "field", "list",
                                                                        "caption", "values");
        const QStringList numbers{"=", "not =", "<", ">", "<=", ">="};
        const QStringList texts{"Contains", "Begins With", "Ends With", "Equals"};
        addRow("click a linked field", QStringList{"Location"}, "Location", "lstSel",
               "Select &Value", QStringList{"Boiler Room", "Roof", "Shed"});
        addRow("click a yes/no field", QStringList{"Current Year Only"}, "Current Year Only",
               "lstBool", "Select &Value", QStringList{"True", "False"});
        addRow("click a date field, then a linked one", QStringList{"Purchase Date", "Location"},
               "Location", "lstSel", "Select &Value", QStringList{"Boiler Room", "Roof", "Shed"});
        addRow("click a date field, then a text", QStringList{"Purchase Date", "Manufacturer"},
               "Manufacturer", "lstText", "&Operator", texts);
        addRow("click, then Up", QStringList{"Location", "key Up"}, "Miscellaneous", "lstText",
               "&Operator", texts);
        addRow("click, then Home", QStringList{"Current Year Only", "key Home"}, "Task Number",
               "lstNum", "&Operator", numbers);
        addRow("access key, then End",
               QStringList{"key Alt+E", "key End", "key Up", "key Up", "key Up"},
               "Current Year Only", "lstBool", "Select &Value", QStringList{"True", "False"});
        addRow("back into the list from the search box",
               QStringList{"focus txtToFind", "key Shift+Tab", "key Shift+Tab", "key Down"},
               "Task Name", "lstText", "&Operator", texts);
    }
    void choosingTheField() {
        QFETCH(QStringList, steps);
        QFETCH(QString, field);
        QFETCH(QString, list);
        QFETCH(QString, caption);
        QFETCH(QStringList, values);
        editor();
        find([&](QDialog* dialog) {
            // The window system gives the dialog the keyboard as it opens.
            QApplication::setActiveWindow(dialog);
            QCOMPARE(QApplication::activeWindow(), dialog);
            auto* fields = childOf<QListWidget>(dialog, "lstField");
            for (const QString& step : steps) {
                if (step.startsWith(QLatin1String("key "))) {
                    const QKeyCombination keys = QKeySequence(step.mid(4))[0];
                    QVERIFY(QApplication::focusWidget());
                    QTest::keyClick(QApplication::focusWidget(), keys.key(),
                                    keys.keyboardModifiers());
                } else if (step.startsWith(QLatin1String("focus "))) {
                    QTest::mouseClick(childOf<QWidget>(dialog, step.mid(6)), Qt::LeftButton);
                } else {
                    chooseEntry(fields, step);
                }
            }
            QCOMPARE(fields->selectedItems().size(), 1);
            QCOMPARE(fields->selectedItems().first()->text(), field);
            QListWidget* second = secondList(dialog);
            QVERIFY(second);
            QCOMPARE(second->objectName(), list);
            QCOMPARE(childOf<QLabel>(dialog, "lblOperator")->text(), caption);
            QCOMPARE(entryTexts(second), values);
            const bool searchBox = list == QLatin1String("lstText") || list == "lstNum";
            QCOMPARE(childOf<QLineEdit>(dialog, "txtToFind")->isVisible(), searchBox);
            QCOMPARE(childOf<QLabel>(dialog, "lblToFind")->isVisible(), searchBox);
        });
    }

    // After a use from the task editor the assignment editor gets its own fields.
    void assignmentFieldsAfterTheTasks() {
        editor();
        find([&](QDialog* dialog) {
            fillIn(dialog, {"Task Name", "Begins With", "Air", First});
            pressFind(dialog);
        });
        QCOMPARE(shownTask(), "Air filter");

        frmAssign assignments;
        assignments.Form_Load();
        assignments.show();
        ui_->onModal([&](QDialog* dialog) {
            const QStringList fields = entryTexts(childOf<QListWidget>(dialog, "lstField"));
            QCOMPARE(fields.size(), 21);
            QCOMPARE(fields.first(), "Work Order Number");
            fillIn(dialog, {"Task Name", "Drain", {}, First});
            pressFind(dialog);
        });
        QTest::mouseClick(assignments.findChild<QPushButton*>("cmdFind"), Qt::LeftButton);
        QVERIFY2(ui_->messages.isEmpty(), qPrintable(ui_->messageTexts().join('|')));
        QCOMPARE(state().rsAssign.value("assid").toInt(), 3);
        QCOMPARE(assignments.findChild<QLineEdit*>("txtTaskName")->text(), Shown);
    }

    // "Work Order Code" takes a code, typed or scanned, and finds what it names: in the task
    // editor the task of a label's code or of a work order's; in the assignment editor the
    // work order's assignment, also where the editor's Show choices leave it out, or the
    // first assignment of a label's task. A code that names nothing is said, as when a work
    // order is completed by its code, and the dialog stays open with the code selected.
    void findsByWorkOrderCode() {
        editor();
        f_->folder.exec("INSERT INTO assign (assid, taskid, weeid, duedate, completed) VALUES "
                        "(9, 5, 52, '2004-12-27', 1)");
        const auto findCode = [this](const QString& code) {
            find([&](QDialog* dialog) {
                chooseEntry(childOf<QListWidget>(dialog, "lstField"), "Work Order Code");
                QVERIFY(!secondList(dialog));
                // A code names its row wherever it is: Find Next finds one before the shown.
                QTest::mouseClick(childOf<QRadioButton>(dialog, "optWhere3"), Qt::LeftButton);
                auto* box = childOf<QLineEdit>(dialog, "txtToFind");
                QVERIFY(box->isVisible());
                box->selectAll();
                QTest::keyClicks(box, code);
                QTest::keyClick(box, Qt::Key_Return);
            });
        };
        findCode(siteCode(CodeKind::Assignment, 2));
        QCOMPARE(shownTask(), "Check filter");
        findCode(siteCode(CodeKind::Task, 1).toLower());
        QCOMPARE(shownTask(), "Air filter");
        QVERIFY2(ui_->messages.isEmpty(), qPrintable(ui_->messageTexts().join('|')));

        const QString gone = siteCode(CodeKind::Assignment, 77);
        find([&](QDialog* dialog) {
            chooseEntry(childOf<QListWidget>(dialog, "lstField"), "Work Order Code");
            auto* box = childOf<QLineEdit>(dialog, "txtToFind");
            for (const QString& code : {QStringLiteral("TVL-1"), gone}) {
                box->selectAll();
                QTest::keyClicks(box, code);
                QTest::keyClick(box, Qt::Key_Return);
                QVERIFY(dialog->isVisible());
                QCOMPARE(box->selectedText(), code);
            }
        });
        QCOMPARE(ui_->messageTexts(),
                 (QStringList{"This is not a work order code. Scan the code printed on the work "
                              "order or the equipment label, or type it as it is printed there, "
                              "such as TVL-7K2-A-000123-Q.",
                              "The assignment of code " + gone +
                                  " is no longer in the database: it has been deleted."}));
        QCOMPARE(ui_->lastMessage().title, "Work Order Code");
        QCOMPARE(shownTask(), "Air filter");
        ui_->clearRecord();

        frmAssign assignments;
        assignments.Form_Load();
        assignments.show();
        const auto findIn = [&](const QString& code) {
            ui_->onModal([&](QDialog* dialog) {
                chooseEntry(childOf<QListWidget>(dialog, "lstField"), "Work Order Code");
                auto* box = childOf<QLineEdit>(dialog, "txtToFind");
                box->selectAll();
                QTest::keyClicks(box, code);
                pressFind(dialog);
            });
            QTest::mouseClick(assignments.cmdFind, Qt::LeftButton);
        };
        findIn(siteCode(CodeKind::Task, 4));
        QCOMPARE(state().rsAssign.value("assid").toInt(), 3);
        // Completed, and of 2004: out of the first Show choices.
        findIn(siteCode(CodeKind::Assignment, 9));
        QCOMPARE(state().rsAssign.value("assid").toInt(), 9);
        QCOMPARE(assignments.txtTaskName->text(), "Extra filter");
        QVERIFY(!assignments.currentYearOnly() && !assignments.uncompletedOnly());
        QVERIFY2(ui_->messages.isEmpty(), qPrintable(ui_->messageTexts().join('|')));
    }

    // A damaged catalogue met by the find dialog is repaired as the catalogue, with its own
    // message, and the dialog lists the fields read from the repaired file; tavrel.mdb is
    // not touched, and no copy of it is made.
    void damagedCatalogueIsRepairedAsItself_data() {
        QTest::addColumn<bool>("header");
        addRow("its header", true);
        addRow("a page of its rows", false);
    }
    void damagedCatalogueIsRepairedAsItself() {
        QFETCH(bool, header);
        editor();
        const QString catalogue = f_->folder.file("rptspec.mdb");
        QStringList before;
        {
            Database sound = Database::open(catalogue);
            Recordset rows =
                sound.openRecordset(findCatalogueSql("tasks"), RecordsetType::Snapshot);
            for (; !rows.isEOF(); rows.moveNext())
                before << rows.value("Desc").toString();
        }
        QVERIFY(before.size() > 10);
        qint64 page = 0;
        {
            sqlite3* db = nullptr;
            QVERIFY(sqlite3_open(QFile::encodeName(catalogue).constData(), &db) == SQLITE_OK);
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db,
                               "select pageno from dbstat where name = 'RptSpec' and pagetype = "
                               "'leaf' order by pageno desc limit 1",
                               -1, &stmt, nullptr);
            if (sqlite3_step(stmt) == SQLITE_ROW)
                page = sqlite3_column_int64(stmt, 0);
            sqlite3_finalize(stmt);
            sqlite3_close(db);
        }
        QVERIFY(page > 1);
        {
            QFile f(catalogue);
            QVERIFY(f.open(QIODevice::ReadWrite));
            constexpr qint64 PageSize = 4096;
            if (header) {
                f.write("Garbage, really!");
            } else {
                f.seek((page - 1) * PageSize);
                f.write(QByteArray(PageSize, 'Z'));
            }
        }
        // On a server site the catalogue is still the folder's file; the main database is
        // the server's, and only a file's bytes can be compared.
        const bool mainIsFile = !f_->folder.onServer();
        const QByteArray mainBefore = mainIsFile ? readFile(f_->folder.dbPath()) : QByteArray();

        QStringList fields;
        find([&](QDialog* dialog) {
            fields = entryTexts(childOf<QListWidget>(dialog, "lstField"));
        });
        QCOMPARE(ui_->messages.size(), 1);
        const QString text = ui_->messages.first().text;
        QVERIFY2(
            text.startsWith(QStringLiteral("The field catalogue rptspec.mdb was damaged and "
                                           "has been repaired")) &&
                text.contains(QDir::toNativeSeparators(f_->folder.file("rptspec-damaged-1.mdb"))),
            qPrintable(text));
        QVERIFY(QFile::exists(f_->folder.file("rptspec-damaged-1.mdb")));
        QCOMPARE(QDir(f_->folder.path()).entryList({"tavrel*"}),
                 QStringList{mainIsFile ? "tavrel.mdb" : "tavrel.conf"});
        if (mainIsFile)
            QVERIFY(readFile(f_->folder.dbPath()) == mainBefore);
        QVERIFY(state().dbMain.isOpen());
        // Damage to the header loses nothing; a damaged page only the fields on it.
        if (header) {
            QCOMPARE(fields, before);
        } else {
            QVERIFY2(fields.size() < before.size(), qPrintable(fields.join('|')));
            for (const QString& field : std::as_const(fields))
                QVERIFY(before.contains(field));
        }
        // The next find uses the repaired catalogue without a word.
        find([](QDialog*) {});
        QCOMPARE(ui_->messages.size(), 1);
    }
};

QTEST_MAIN(tst_Find)
#include "tst_find.moc"
