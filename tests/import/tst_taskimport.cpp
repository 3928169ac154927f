// Tasks imported from a spreadsheet: every reason a row is left out, the mapping of columns and
// its file, what is written (every importable row, once, in one operation) and what is not (a
// stopped or failed import writes nothing), and File, Import Tasks... driven as its user drives
// it. On both backends.

#include "core/frmmain.h"
#include "core/programstate.h"
#include "import/csvreader.h"
#include "import/frmimporttasks.h"
#include "import/taskimport.h"
#include "import/taskmapping.h"
#include "support/editorfixture.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "text/datetext.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// A task, two locations (one of them retired) and a type.
const QString SiteSql = QStringLiteral(
    "INSERT INTO locations (locid, locdesc, inactive) VALUES (1, 'Boiler Room', 0), (2, 'Roof', 1);"
    "INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC');"
    "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Chiller');");

// Headings that name every field by its label, as the window matches them.
const QStringList Labels = {"Task Name",        "Manufacturer",     "Model Number",
                            "Serial Number",    "Location",         "Type",
                            "Tag Number",       "Task Description", "Tools/Techniques Required",
                            "Expected Results", "Best Time",        "Hours",
                            "Minutes",          "Purchase Date",    "Warranty Expiration Date",
                            "Miscellaneous"};

QString csvField(const QString& text) {
    return text.contains(QRegularExpression("[,\"\r\n]"))
               ? '"' + QString(text).replace("\"", "\"\"") + '"'
               : text;
}

// A CSV line with the labelled fields given as "Label=value" and the others empty.
QString labelledLine(const QStringList& given) {
    QStringList fields(Labels.size());
    for (const QString& g : given) {
        const qsizetype equals = g.indexOf('=');
        fields[Labels.indexOf(g.left(equals))] = csvField(g.mid(equals + 1));
    }
    return fields.join(',');
}

Sheet labelledSheet(const QList<QStringList>& rows) {
    QString text = Labels.join(',') + "\r\n";
    for (const QStringList& row : rows)
        text += labelledLine(row) + "\r\n";
    return readCsv(text.toUtf8());
}

// The rows of the plan, each "line: problems".
QStringList problemLines(const TaskImport& plan, bool addCodes) {
    QStringList lines;
    for (const ImportRow& row : plan.rows)
        lines << QStringLiteral("%1: %2").arg(row.line).arg(row.problemsWith(addCodes).join("; "));
    return lines;
}

// N valid tasks "Task 1" ... in Attic (a new location) and of the new type Pumps, with a
// description of two lines.
QByteArray manyTasks(int n) {
    QByteArray text = "Task Name,Location,Type,Hours,Purchase Date,Task Description\r\n";
    for (int i = 1; i <= n; ++i)
        text += QStringLiteral("Task %1,Attic,Pumps,1.5,3/%2/2005,\"Open it\r\nClose it\"\r\n")
                    .arg(i)
                    .arg(i % 28 + 1)
                    .toUtf8();
    return text;
}

// Clicks a check box on its box, where a user clicks it (a wide one's middle may lie past its
// text, where a click does nothing).
void clickBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

// Sets the locale (and the date order) for one test and puts en_US back afterwards.
struct LocaleGuard {
    explicit LocaleGuard(const char* locale) {
        useTestLocale(locale);
        ChkDateFmt();
    }
    ~LocaleGuard() {
        useTestLocale();
        ChkDateFmt();
    }
};

} // namespace

class TestTaskImport : public QObject {
    Q_OBJECT

    // The site's folder and the checks' view of its database.
    std::unique_ptr<TempWorkFolder> folder;
    ImportLookups lookups;

    TaskImport check(const Sheet& sheet, Guess guess = Guess::ByHeading,
                     const TaskMapping& mapping = {}) {
        return checkImport(sheet, mapColumns(sheet.headings, mapping, guess), lookups);
    }
    int count(const QString& from) const {
        return folder->scalar("select count(*) from " + from).toInt();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        resetProgramState();
        useTestLocale();
        ChkDateFmt();
        folder = std::make_unique<TempWorkFolder>(2005, SiteSql);
        ErrorTrap trap;
        QVERIFY(readImportLookups(state().dbMain, &lookups));
    }
    void cleanup() { folder.reset(); }

    // Each reason a row is left out, said in its row; names compared as the database compares
    // them (without regard to case).
    void rowRefusals_data() {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QString>("problems"); // with new names not added
        const auto row = [](const char* name, const QStringList& given, const QString& problems) {
            QTest::newRow(name) << given << problems;
        };
        row("fine", {"Task Name=Pump", "Location=boiler room", "Type=hvac", "Hours=1.5"}, "");
        row("no name", {"Manufacturer=Acme"}, "Task Name is empty");
        row("name too long", {"Task Name=" + QString(81, 'n')},
            "Task Name is 81 characters long; it takes at most 80");
        row("longest name", {"Task Name=" + QString(80, 'n')}, "");
        row("manufacturer too long", {"Task Name=P", "Manufacturer=" + QString(61, 'm')},
            "Manufacturer is 61 characters long; it takes at most 60");
        row("serial too long", {"Task Name=P", "Serial Number=" + QString(61, 's')},
            "Serial Number is 61 characters long; it takes at most 60");
        row("tag too long", {"Task Name=P", "Tag Number=" + QString(41, 't')},
            "Tag Number is 41 characters long; it takes at most 40");
        row("misc too long", {"Task Name=P", "Miscellaneous=" + QString(51, 'x')},
            "Miscellaneous is 51 characters long; it takes at most 50");
        row("best time too long", {"Task Name=P", "Best Time=" + QString(121, 'b')},
            "Best Time is 121 characters long; it takes at most 120");
        row("long description", {"Task Name=P", "Task Description=" + QString(5000, 'd')}, "");
        row("name of two lines", {"Task Name=two\nlines"}, "Task Name has more than one line");
        row("control character", {"Task Name=P\x01"}, "Task Name holds a control character");
        row("hours not a number", {"Task Name=P", "Hours=1.5h"}, "Hours: \"1.5h\" is not a number");
        row("minutes too precise", {"Task Name=P", "Minutes=123456789"},
            "Minutes: 123456789 is too large or has more digits than the field keeps");
        row("date that is none", {"Task Name=P", "Purchase Date=2/30/2005"},
            "Purchase Date: \"2/30/2005\" is not a date");
        row("warranty not a date", {"Task Name=P", "Warranty Expiration Date=soon"},
            "Warranty Expiration Date: \"soon\" is not a date");
        row("new location", {"Task Name=P", "Location=Attic"},
            "Location \"Attic\" is not in the list of locations");
        row("new type", {"Task Name=P", "Type=Pumps"},
            "Type \"Pumps\" is not in the list of types");
        row("retired location", {"Task Name=P", "Location=roof"},
            "Location \"Roof\" is marked inactive: new tasks take none");
        row("location too long", {"Task Name=P", "Location=" + QString(31, 'l')},
            "Location is 31 characters long; it takes at most 30");
        row("existing task", {"Task Name=CHILLER"}, "a task named \"CHILLER\" exists already");
        row("several", {"Hours=x", "Minutes=y"},
            "Task Name is empty; Hours: \"x\" is not a number; Minutes: \"y\" is not a number");
    }
    void rowRefusals() {
        QFETCH(QStringList, row);
        QFETCH(QString, problems);
        const TaskImport plan = check(labelledSheet({row}));
        QCOMPARE(plan.error, QString());
        QCOMPARE(problemLines(plan, false), QStringList{"2: " + problems});
        QCOMPARE(plan.importableCount(false), problems.isEmpty() ? 1 : 0);
        QCOMPARE(plan.refusals(false),
                 problems.isEmpty() ? QStringList() : QStringList{"row 2: " + problems});
    }

    // New names refuse their rows only while they are not added; a name is noted once, as
    // first spelt; a name twice in the file refuses the later row; rows filling no field are
    // no tasks.
    void rowsTogether() {
        const Sheet sheet = readCsv("Task Name,Location,Notes\r\n"
                                    "Pump,Attic,\r\n"
                                    "Fan,ATTIC,\r\n"
                                    ",,only a note\r\n"
                                    "pump,,\r\n");
        const TaskImport plan = check(sheet);
        QCOMPARE(plan.newLocations, QStringList{"Attic"});
        QCOMPARE(problemLines(plan, true),
                 (QStringList{"2: ", "3: ", "5: Task Name \"pump\" is the name of row 2 too"}));
        QCOMPARE(plan.importableCount(true), 2);
        QCOMPARE(plan.importableCount(false), 0);
    }

    // Columns that cannot be imported as mapped refuse the whole sheet.
    void mappingRefusals() {
        const Sheet sheet = readCsv("Equipment,Maker,Make\r\nPump,Acme,Acme\r\n");
        TaskImport plan = check(sheet);
        QCOMPARE(plan.error, "No column fills Task Name: every task needs its name.");
        QCOMPARE(plan.importableCount(true), 0);
        QVERIFY(plan.rows.isEmpty());
        const TaskMapping mapping =
            parseTaskMapping("equipment = taskname\nMaker = manuf\nMAKE = Manufacturer\n");
        QCOMPARE(mapping.error, QString());
        plan = check(sheet, Guess::No, mapping);
        QCOMPARE(plan.error, "The columns B (Maker) and C (Make) both fill Manufacturer: choose "
                             "one.");
        QVERIFY(plan.rows.isEmpty());
    }

    void mappingFiles_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("no =") << "Name = taskname\n; a note\nMaker\n"
                              << "line 3: \"Maker\" is no line \"heading = field\".";
        QTest::newRow("no heading") << "\n = taskname\n"
                                    << "line 2: no heading before \"=\".";
        QTest::newRow("unknown field")
            << "Name = name\n"
            << "line 1: name is no task field; the fields are taskname, manuf, model, serialno, "
               "locdesc, typdesc, Tag, taskdesc, tools, results, besttime, reqhour, reqmin, "
               "purchdate, wardate, misc1.";
        QTest::newRow("heading twice") << "Name = taskname\n name  = \n"
                                       << "line 2: the heading \"name\" is given a field twice.";
    }
    void mappingFiles() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const TaskMapping mapping = parseTaskMapping(text);
        QCOMPARE(mapping.error, error);
        QVERIFY(mapping.entries.isEmpty());
    }

    // What the window saves reads back as it was: headings with "=" in them, fields by their
    // labels, columns not imported; headings compared without regard to case and blanks.
    void mappingRoundTrip() {
        TaskMapping mapping = parseTaskMapping("[columns]\nKm = 2 = Task Name\nNotes =\n"
                                               "Where = LOCDESC\n");
        QCOMPARE(mapping.error, QString());
        mapping.set("Serial\nNo", ImportField::SerialNo);
        mapping.set("where", ImportField::Type);
        const QString path = folder->file("map.ini");
        QString error;
        QVERIFY2(writeTaskMapping(path, mapping, &error), qPrintable(error));
        const TaskMapping back = readTaskMapping(path);
        QCOMPARE(back.error, QString());
        QCOMPARE(back.entries, mapping.entries);
        QCOMPARE(back.fieldFor(" KM = 2"), ImportField::TaskName);
        QCOMPARE(back.fieldFor("Where"), ImportField::Type);
        QCOMPARE(back.fieldFor("serial no"), ImportField::SerialNo);
        QCOMPARE(mapColumns({"Notes", "Serial No", "Tag Number", "Other"}, back, Guess::ByHeading),
                 (QList<ImportField>{ImportField::None, ImportField::SerialNo, ImportField::Tag,
                                     ImportField::None}));
        QCOMPARE(mapColumns({"Notes", "Serial No", "Tag Number"}, back, Guess::No),
                 (QList<ImportField>{ImportField::None, ImportField::SerialNo, ImportField::None}));
        QCOMPARE(readTaskMapping(folder->file("none.ini")).error,
                 QDir::toNativeSeparators(folder->file("none.ini")) + " does not exist.");
    }

    // Dates and numbers typed as text are read in the user's locale.
    void userLocale() {
        const QByteArray text = "Task Name,Purchase Date,Hours\r\nPump,13/02/2005,\"1,5\"\r\n"
                                "Fan,2/13/2005,2\r\n";
        LocaleGuard german("de_DE");
        TaskImport plan = check(readCsv(text));
        QCOMPARE(problemLines(plan, true),
                 (QStringList{"2: ", "3: Purchase Date: \"2/13/2005\" is not a date"}));
        QCOMPARE(plan.rows[0].value(ImportField::PurchDate).toDate(), QDate(2005, 2, 13));
        QCOMPARE(plan.rows[0].value(ImportField::ReqHour).toDouble(), 1.5);
        LocaleGuard american("en_US");
        plan = check(readCsv(text));
        QCOMPARE(problemLines(plan, true),
                 (QStringList{"2: Purchase Date: \"13/02/2005\" is not a date; Hours: \"1,5\" is "
                              "not a number",
                              "3: "}));
        QCOMPARE(plan.rows[1].value(ImportField::PurchDate).toDate(), QDate(2005, 2, 13));
    }

    // Every row that can be imported is written once, with the new names added first; the
    // rows left out and nothing else stay out. 1,201 rows cross the server's batches.
    void writesEveryImportableRow() {
        constexpr int Rows = 1201;
        QByteArray text = manyTasks(Rows);
        text += "Chiller,Boiler Room,,,,\r\n,Attic,,,,\r\nValve,Roof,,,,\r\n";
        const TaskImport plan = check(readCsv(text));
        QCOMPARE(plan.importableCount(true), Rows);
        ScriptedUi ui;
        ImportWritten written;
        {
            ErrorTrap trap;
            written = writeImport(state().dbMain, plan, true);
        }
        QCOMPARE(ui.messageTexts(), QStringList());
        QVERIFY(written.written);
        QCOMPARE(written.summary(), "Imported 1201 tasks. Added 1 location and 1 type to their "
                                    "lists.");
        QCOMPARE(count("tasks"), Rows + 1);
        QCOMPARE(folder->scalar("select count(distinct taskname) from tasks").toInt(), Rows + 1);
        QCOMPARE(folder->texts("select locdesc from locations order by locid"),
                 (QStringList{"Boiler Room", "Roof", "Attic"}));
        const QString attic =
            folder->scalar("select locid from locations where locdesc = 'Attic'").toString();
        const QString pumps =
            folder->scalar("select typid from types where typdesc = 'Pumps'").toString();
        const auto task27 = [&](const char* column) {
            return folder->scalar(QStringLiteral("select %1 from tasks where taskname = 'Task 27'")
                                      .arg(QLatin1String(column)));
        };
        QCOMPARE(task27("locid").toString(), attic);
        QCOMPARE(task27("typid").toString(), pumps);
        QCOMPARE(task27("reqhour").toDouble(), 1.5);
        QCOMPARE(task27("reqmin").toDouble(), 0.0);
        QCOMPARE(task27("purchdate").toString().left(10), "2005-03-28");
        QCOMPARE(task27("taskdesc").toString(), "Open it\r\nClose it");
        QCOMPARE(task27("model").toString(), "");
        QVERIFY(!task27("model").isNull());
        QCOMPARE(task27("curyearonly").toInt(), 0);
        QCOMPARE(count("tasks where wardate is null and empid is null"), Rows + 1);
        QVERIFY(state().LocationsChanged && state().TypesChanged);
        // A file's site is backed up before; a server's is the server's tools' to back up.
        const QStringList backups = QDir(folder->file("backups")).entryList({"*.mdb"});
        QCOMPARE(backups.size(), folder->onServer() ? 0 : 1);
        if (!folder->onServer())
            QVERIFY(backups.first().endsWith("-before-task-import.mdb"));

        // Without adding names, the rows that need them stay out and nothing is added.
        {
            ErrorTrap trap;
            QVERIFY(readImportLookups(state().dbMain, &lookups));
        }
        const TaskImport second = check(readCsv("Task Name,Location\r\nA,Cellar\r\nB,Attic\r\n"));
        {
            ErrorTrap trap;
            written = writeImport(state().dbMain, second, false);
        }
        QCOMPARE(written.summary(), "Imported 1 task.");
        QCOMPARE(folder->texts("select taskname from tasks where taskname in ('A', 'B')"),
                 QStringList{"B"});
        QCOMPARE(count("locations"), 3);
    }

    // An import the user stops, or one that cannot finish, writes nothing at all: no task, no
    // name added. A lock met half-way is waited out, and every row is then written once.
    void allOrNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("stopped") << "stopped";
        QTest::newRow("locked until the user gives up") << "locked";
        QTest::newRow("locked for a while") << "waited";
    }
    void allOrNothing() {
        QFETCH(QString, how);
        constexpr int Rows = 1201;
        const TaskImport plan = check(readCsv(manyTasks(Rows)));
        const QString before = folder->texts("select taskname from tasks").join(',');
        ScriptedUi ui;
        std::unique_ptr<LockAtStatement> other;
        if (how == "stopped")
            ui.cancelProgressAt(1000);
        else
            // Before the first rows of tasks, once the new names are written: on a server the
            // other program locks the tasks against writers; on a file the program holds the
            // write lock by then, and the other program holds up its commit.
            other = std::make_unique<LockAtStatement>(folder->dbPath(), "INSERT INTO \"tasks\"",
                                                      how == "locked" ? -1 : 3);
        ImportWritten written;
        const int ended = exitCodeOf([&] {
            ErrorTrap trap;
            written = writeImport(state().dbMain, plan, true);
        });
        other.reset();
        if (how == "waited") {
            QCOMPARE(ended, -1);
            QVERIFY(written.written);
            QCOMPARE(count("tasks"), Rows + 1);
            QCOMPARE(folder->scalar("select count(distinct taskname) from tasks").toInt(),
                     Rows + 1);
            QCOMPARE(count("locations where locdesc = 'Attic'"), 1);
            return;
        }
        if (how == "locked") {
            QCOMPARE(ended, 1); // No to "try again?" ends the program
            QCOMPARE(ui.messageTitles().last(), "Locked Record");
        } else {
            QCOMPARE(ended, -1);
            QCOMPARE(ui.messageTexts(), QStringList());
        }
        QVERIFY(!written.written);
        QCOMPARE(folder->texts("select taskname from tasks").join(','), before);
        QCOMPARE(count("locations"), 2);
        QCOMPARE(count("types"), 1);
    }

    // File, Import Tasks... as its user works it: columns matched by their headings or chosen
    // by hand, each row's problems shown, names added or not, nothing written before Import
    // and the question; the mapping remembered for the next time.
    void importWindow() {
        ScriptedUi ui;
        const QString path = folder->file("equipment.csv");
        QVERIFY(writeFile(path, "Equipment,Maker,Location,Bought,Notes\r\n"
                                "Pump,Acme,Boiler Room,1/15/2005,x\r\n"
                                "Fan,Breeze,Attic,2/30/2005,y\r\n"
                                "Chiller,Cold,Roof,,z\r\n"
                                "Valve,Flow,attic,,\r\n"));
        ui.answerFile(path);
        QStringList seen;
        ui.onModal([&](QDialog* dialog) {
            WindowDriver d(dialog);
            bringForward(dialog);
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            auto* grid = d.w<QTableWidget>("grdColumns");
            auto* preview = d.w<QTableView>("grdPreview");
            const auto summary = [&] { return d.w<QLabel>("lblSummary")->text(); };
            const auto problems = [&] {
                QStringList texts;
                for (int r = 0; r < preview->model()->rowCount(); ++r)
                    texts << preview->model()->index(r, 0).data().toString() + ": " +
                                 preview->model()->index(r, 1).data().toString();
                return texts;
            };
            // Only Location has a heading the window knows.
            QCOMPARE(grid->item(2, 2)->text(), "Location");
            QCOMPARE(grid->item(0, 2)->text(), "(not imported)");
            QCOMPARE(summary(), "No column fills Task Name: every task needs its name.");
            QVERIFY(!d.w("cmdImport")->isEnabled());
            // The user clicks a column and picks its field with the keyboard.
            // The user clicks a column, goes on to its field with Tab and steps down the list
            // of fields to the one wanted.
            const auto choose = [&](int row, const QString& wanted) {
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  grid->visualItemRect(grid->item(row, 1)).center());
                QTest::keyClick(grid, Qt::Key_Tab);
                auto* field = d.w<QComboBox>("cmbField");
                QCOMPARE(QApplication::focusWidget(), field);
                while (field->currentText() != wanted && field->currentIndex() < field->count() - 1)
                    QTest::keyClick(field, Qt::Key_Down);
            };
            choose(0, "Task Name");
            choose(1, "Manufacturer");
            choose(3, "Purchase Date");
            QCOMPARE(grid->item(1, 2)->text(), "Manufacturer");
            QCOMPARE(grid->item(3, 2)->text(), "Purchase Date");
            const QStringList shown = {
                "2: ", "3: Purchase Date: \"2/30/2005\" is not a date",
                "4: Location \"Roof\" is marked inactive: new tasks take none; a task named "
                "\"Chiller\" exists already",
                "5: "};
            QCOMPARE(problems(), shown);
            QCOMPARE(preview->model()->headerData(5, Qt::Horizontal).toString(), "Purchase Date");
            QCOMPARE(preview->model()->index(0, 5).data().toString(), "1/15/2005");
            QVERIFY(d.w("chkAddCodes")->isVisible());
            QCOMPARE(d.w<QLabel>("lblNewCodes")->text(), "Not in the lists yet: locations Attic.");
            // Not adding Attic leaves its rows out too.
            clickBox(d.w<QCheckBox>("chkAddCodes"));
            QCOMPARE(problems().last(), "5: Location \"attic\" is not in the list of locations");
            QVERIFY(summary().startsWith("1 of the 4 rows are imported as new tasks."));
            clickBox(d.w<QCheckBox>("chkAddCodes"));
            clickBox(d.w<QCheckBox>("chkProblemsOnly"));
            QCOMPARE(preview->model()->rowCount(), 2);
            QVERIFY(summary().startsWith("2 of the 4 rows are imported as new tasks. The 2 rows "
                                         "with problems are left out"));
            // No to the question writes nothing and keeps the window; Yes imports.
            QVERIFY(d.click("cmdImport"));
            QVERIFY(dialog->isVisible());
            QCOMPARE(count("tasks"), 1);
            seen = ui.messageTexts();
            ui.answer(MsgResult::Yes);
            QVERIFY(d.click("cmdImport"));
            QVERIFY(!dialog->isVisible());
        });
        QVERIFY(openImportTasks(nullptr));
        QCOMPARE(seen, QStringList{"Import 2 of the 4 rows as new tasks? The rows 3 and 4 with "
                                   "problems are left out."});
        QCOMPARE(ui.messageTexts().last(), "Imported 2 tasks. Added 1 location to their lists.");
        QCOMPARE(folder->texts("select taskname || '|' || manuf || '|' || locdesc from tasks join "
                               "locations on tasks.locid = locations.locid where taskid > 1 "
                               "order by taskname"),
                 (QStringList{"Pump|Acme|Boiler Room", "Valve|Flow|Attic"}));
        QCOMPARE(folder->scalar("select purchdate from tasks where taskname = 'Pump'")
                     .toString()
                     .left(10),
                 "2005-01-15");
        QVERIFY(folder->scalar("select purchdate from tasks where taskname = 'Valve'").isNull());
        QCOMPARE(
            QString::fromUtf8(readFile(folder->file(RememberedMappingFile))).split('\n').mid(2),
            (QStringList{"Equipment = taskname", "Maker = manuf", "Location = locdesc",
                         "Bought = purchdate", "Notes = ", ""}));

        // The next time the columns come as remembered; Cancel writes nothing.
        ui.answerFile(path);
        ui.onModal([&](QDialog* dialog) {
            WindowDriver d(dialog);
            QCOMPARE(d.w<QTableWidget>("grdColumns")->item(0, 2)->text(), "Task Name");
            QCOMPARE(d.w<QTableWidget>("grdColumns")->item(3, 2)->text(), "Purchase Date");
            QVERIFY(d.click("cmdHelp"));
            QVERIFY(d.click("cmdCancel"));
        });
        QVERIFY(!openImportTasks(nullptr));
        QCOMPARE(ui.helpTopics, QStringList{"import"});
        QCOMPARE(count("tasks"), 3);

        // A file that is no spreadsheet is refused before any window opens.
        QVERIFY(writeFile(folder->file("broken.xlsx"), "Equipment,Maker\r\n"));
        ui.answerFile(folder->file("broken.xlsx"));
        const int windows = ui.modalTitles.size();
        QVERIFY(!openImportTasks(nullptr));
        QCOMPARE(ui.modalTitles.size(), windows);
        QCOMPARE(ui.lastMessage().text, QDir::toNativeSeparators(folder->file("broken.xlsx")) +
                                            ": The file is not an Excel workbook (.xlsx).");
    }

    // The menu entry waits while a task is edited; afterwards the task editor lists the new
    // tasks and keeps the one it showed.
    void mainWindowAfterImport() {
        frmMain main;
        QVERIFY(!main.mnuImportTasks->isEnabled());
        installImportTasks(main);
        QVERIFY(main.mnuImportTasks->isEnabled());
        main.mnuExit->setEnabled(false);
        QVERIFY(!main.mnuImportTasks->isEnabled());
        main.mnuExit->setEnabled(true);
        QVERIFY(main.mnuImportTasks->isEnabled());

        TaskEditorFixture f(SiteSql);
        QCOMPARE(f.text("txtTaskName"), "Chiller");
        f.folder.exec("INSERT INTO tasks (taskname) VALUES ('Air filter'), ('Valve');");
        f.editor->reloadRecords();
        QCOMPARE(state().rsTasks.recordCount() > 0, true);
        state().rsTasks.moveLast();
        QCOMPARE(state().rsTasks.value("taskname").toString(), "Valve");
        QCOMPARE(f.text("txtTaskName"), "Chiller");
        QVERIFY(f.click("cmdFirst"));
        QCOMPARE(f.text("txtTaskName"), "Air filter");
    }
};

QTEST_MAIN(TestTaskImport)
#include "tst_taskimport.moc"
