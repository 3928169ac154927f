// The custom report designer: its field lists, the details it stores for the field shown,
// saving over a file, and the one window the menu opens.

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "custom/frmrptspec.h"
#include "data/database.h"
#include "data/schema.h"
#include "reports/reportoutput.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// A key pressed where the focus is.
void press(Qt::Key key) {
    QVERIFY(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), key);
}

// What the user does by typing into a box and moving on with the mouse.
void typeAndLeave(QLineEdit* box, const QString& text, QWidget* next) {
    box->setFocus();
    box->setText(text);
    next->setFocus();
}

constexpr int HoursRequired = 7;

} // namespace

class tst_RptSpec : public QObject {
    Q_OBJECT

    std::unique_ptr<TempWorkFolder> folder_;
    std::unique_ptr<ScriptedUi> ui_;
    QPointer<frmRptSpec> window_;

    frmRptSpec& designer(const QString& table = QStringLiteral("tasks")) {
        state().CustomTable = table;
        window_ = new frmRptSpec;
        window_->show();
        if (!QTest::qWaitForWindowActive(window_))
            qWarning("the designer did not become active");
        return *window_;
    }

private Q_SLOTS:
    void initTestCase() {
        useTestLocale();
        installErrorPolicy();
    }
    void init() {
        resetProgramState();
        folder_ = std::make_unique<TempWorkFolder>();
        QString error;
        QVERIFY2(createCatalogueDatabase(folder_->file("rptspec.mdb"), &error), qPrintable(error));
        ui_ = std::make_unique<ScriptedUi>();
    }
    void cleanup() {
        delete window_;
        ui_.reset();
        folder_.reset();
    }

    void listMoves() {
        frmRptSpec& w = designer();
        QVERIFY(!w.isDirty());
        w.cmdAdd_Click(); // nothing chosen: refused
        QCOMPARE(ui_->messages.size(), 1);
        for (const char* field : {"Task Name", "Best Time", "Purchase Date"}) {
            chooseEntry(w.List1, field);
            w.cmdAdd_Click();
        }
        QCOMPARE(entryTexts(w.List2), (QStringList{"Task Name", "Best Time", "Purchase Date"}));
        QVERIFY(w.List1->findItems("Best Time", Qt::MatchExactly).isEmpty());
        QCOMPARE(w.List2->currentRow(), 2);
        QVERIFY(!w.frame1->isHidden());

        // Saved: the moves below that change nothing still mark the report changed.
        ui_->answerFile(folder_->file("r.rpt"));
        w.mnuSaveAs_Click();
        QVERIFY(!w.isDirty());
        QCOMPARE(w.windowTitle(),
                 QDir::toNativeSeparators("Custom Report - " + folder_->file("r")));
        w.cmdDown_Click();
        QVERIFY(w.isDirty());
        w.cmdUp_Click();
        w.cmdUp_Click();
        QCOMPARE(entryTexts(w.List2), (QStringList{"Purchase Date", "Task Name", "Best Time"}));
        QCOMPARE(w.List2->currentItem()->text(), "Purchase Date");
        w.cmdUp_Click();
        QCOMPARE(entryTexts(w.List2), (QStringList{"Purchase Date", "Task Name", "Best Time"}));
        QCOMPARE(w.definition().fields, (QList<int>{19, 2, 6}));

        ui_->clearRecord();
        w.cmdRemove_Click();
        QCOMPARE(entryTexts(w.List2), (QStringList{"Task Name", "Best Time"}));
        const int back = w.List1->row(w.List1->findItems("Purchase Date", Qt::MatchExactly)[0]);
        QCOMPARE(w.List1->item(back - 1)->text(), "Model Number"); // sorted into place
        QVERIFY(w.frame1->isHidden());
        w.cmdRemove_Click();
        w.cmdUp_Click();
        w.cmdDown_Click();
        QCOMPARE(ui_->messages.size(), 3); // nothing chosen: each refused
        for (int i = 0; i < 2; ++i) {
            chooseEntry(w.List2, w.List2->item(0)->text());
            w.cmdRemove_Click();
        }
        QVERIFY(w.frame1->isHidden());
    }

    // Text File offers CSV besides text: a name ending in .csv gets one table for a
    // spreadsheet program, with the byte order mark it reads the encoding by.
    void textFileMayBeCsv() {
        state().dbMain.execute("INSERT INTO tasks (taskid, taskname) VALUES (1, 'Boiler, main')");
        frmRptSpec& w = designer();
        chooseEntry(w.List1, "Task Name");
        w.cmdAdd_Click();
        w.Tab1->setCurrentIndex(1);
        QTest::mouseClick(w.optReportTo[2], Qt::LeftButton);
        QVERIFY(w.optReportTo[2]->isChecked());
        const QString path = folder_->file("tasks.csv");
        ui_->answerFile(path);
        QTest::mouseClick(w.cmdGenerate, Qt::LeftButton);
        QCOMPARE(ui_->filesAsked.size(), 1);
        QCOMPARE(ui_->filesAsked[0].filter, TextFileFilter);
        QCOMPARE(readFile(path), QByteArray("\xEF\xBB\xBFTask Name\r\n\"Boiler, main\"\r\n"));
    }

    // A field taken back goes to its place in the list, which the catalogue gave in the
    // program's order of texts: Ø among the Os, not after Z.
    void removedFieldReturnsToItsPlace() {
        {
            Database catalogue = Database::open(folder_->file("rptspec.mdb"));
            catalogue.execute(
                "INSERT INTO RptSpec (specid, usewith, [Desc], fieldname, datatype, "
                "ismemo, defwidth, IsCurrency) VALUES (60, 'tasks', 'Øvre etasje', "
                "'taskname', 1, 0, 1, 0), (61, 'tasks', 'Owner', 'taskname', 1, 0, 1, 0)");
            catalogue.close();
        }
        frmRptSpec& w = designer();
        const QStringList available = entryTexts(w.List1);
        QVERIFY(available.indexOf("Øvre etasje") < available.indexOf("Owner"));
        for (const char* field : {"Øvre etasje", "Owner"}) {
            chooseEntry(w.List1, QString::fromUtf8(field));
            w.cmdAdd_Click();
        }
        for (int i = 0; i < 2; ++i) {
            w.List2->setCurrentRow(0);
            w.cmdRemove_Click();
        }
        QCOMPARE(entryTexts(w.List1), available);
    }

    void detailStoring() {
        frmRptSpec& w = designer();
        for (const char* field : {"Task Name", "Hours Required"}) {
            chooseEntry(w.List1, field);
            w.cmdAdd_Click();
        }
        QVERIFY(!w.fraSel[2]->isHidden());
        QCOMPARE(w.txtWidth->text(), "0.7");

        typeAndLeave(w.txtWidth, "0", w.txtLess);
        QVERIFY(w.chkHide->isChecked());
        QCOMPARE(w.definition().setting(HoursRequired).HideCol, true);
        QCOMPARE(w.definition().setting(HoursRequired).ColWidth, 0.0f);

        typeAndLeave(w.txtLess, "abc", w.txtGreater);
        QCOMPARE(ui_->messages.size(), 1);
        QCOMPARE(QApplication::focusWidget(), w.txtLess);
        typeAndLeave(w.txtLess, "5", w.txtGreater);
        typeAndLeave(w.txtWidth, "x", w.txtGreater);
        QCOMPARE(ui_->messages.size(), 2);

        // Typed, then a click straight on another report field: stored for the field shown.
        w.txtWidth->setFocus();
        w.txtWidth->selectAll();
        QTest::keyClicks(w.txtWidth, "2");
        chooseEntry(w.List2, "Task Name");
        QCOMPARE(w.frame1->title(), "Details For Task Name");
        QCOMPARE(w.txtWidth->text(), "2.5");
        QVERIFY(!w.fraSel[1]->isHidden());
        QVERIFY(w.fraSel[2]->isHidden());

        // Removed and added back: its settings come back with it.
        chooseEntry(w.List2, "Hours Required");
        w.cmdRemove_Click();
        chooseEntry(w.List1, "Hours Required");
        w.cmdAdd_Click();
        QCOMPARE(w.txtWidth->text(), "2");
        QCOMPARE(w.txtLess->text(), "5");
        QVERIFY(w.chkHide->isChecked());
        QCOMPARE(w.definition().setting(HoursRequired).LessThan, "5");
        QCOMPARE(w.definition().setting(HoursRequired).ColWidth, 2.0f);
    }

    // The field whose details show is the one chosen in "Fields to Report", by a click or
    // by the keys; a double click in "Available Fields" adds one.
    void detailsFollowTheChosenField() {
        frmRptSpec& w = designer();
        for (const char* field : {"Task Name", "Hours Required", "Purchase Date"})
            chooseEntry(w.List1, field, true);
        QCOMPARE(entryTexts(w.List2),
                 (QStringList{"Task Name", "Hours Required", "Purchase Date"}));
        const auto shows = [&w](const QString& field, int type, const QString& width) {
            QVERIFY(!w.frame1->isHidden());
            QCOMPARE(w.frame1->title(), "Details For " + field);
            for (int i = 1; i <= 5; ++i)
                QCOMPARE(w.fraSel[i]->isHidden(), i != type);
            QCOMPARE(w.txtWidth->text(), width);
        };
        shows("Purchase Date", 3, "1");
        chooseEntry(w.List2, "Task Name");
        shows("Task Name", 1, "2.5");
        QCOMPARE(QApplication::focusWidget(), w.List2);
        press(Qt::Key_End);
        shows("Purchase Date", 3, "1");
        press(Qt::Key_Up);
        shows("Hours Required", 2, "0.7");
        press(Qt::Key_Home);
        shows("Task Name", 1, "2.5");
        press(Qt::Key_Down);
        shows("Hours Required", 2, "0.7");
        chooseEntry(w.List2, "Purchase Date");
        shows("Purchase Date", 3, "1");

        // Into the list with Tab from the box before it: the chosen field stays shown.
        chooseEntry(w.List1, "Best Time");
        QCOMPARE(QApplication::focusWidget(), w.List1);
        press(Qt::Key_Tab);
        while (QApplication::focusWidget() != w.List2 && QApplication::focusWidget() != w.txtWidth)
            press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.List2);
        press(Qt::Key_Up);
        shows("Hours Required", 2, "0.7");
    }

    // Columns wider than the page of the chosen orientation are said to be printed smaller,
    // as they are typed and as the orientation is clicked.
    void widerThanThePageWarns() {
        frmRptSpec& w = designer();
        const auto* warning = w.findChild<QLabel*>("lblPageWidth");
        QVERIFY(warning);
        for (const char* field : {"Task Name", "Task Description"}) {
            chooseEntry(w.List1, field);
            w.cmdAdd_Click();
        }
        QVERIFY(warning->isHidden()); // 2.5 and 3 inches on 7.5
        typeAndLeave(w.txtWidth, "6", w.txtStarting);
        QVERIFY(!warning->isHidden());
        QCOMPARE(warning->text(), "The columns are 8.5 in wide; the page holds 7.5 in. They will "
                                  "be printed smaller to fit (88%).");
        w.Tab1->setCurrentIndex(1);
        QTest::mouseClick(w.optOrient[1], Qt::LeftButton);
        QVERIFY(w.optOrient[1]->isChecked());
        QVERIFY(warning->isHidden()); // 10 inches
        w.Tab1->setCurrentIndex(0);
        typeAndLeave(w.txtWidth, "8", w.txtStarting);
        QVERIFY(!warning->isHidden());
        QVERIFY2(warning->text().endsWith("(95%)."), qPrintable(warning->text()));
        w.cmdRemove_Click();
        QVERIFY(warning->isHidden());
    }

    void saveAsOverAFile() {
        frmRptSpec& w = designer();
        const QString path = folder_->file("old.rpt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        chooseEntry(w.List1, "Task Name");
        w.cmdAdd_Click();

        ui_->answerFile(path);
        ui_->pressEnter();
        w.mnuSaveAs_Click();
        QCOMPARE(ui_->lastMessage().text, "The report file '" + QDir::toNativeSeparators(path) +
                                              "' already exists.  Do you wish to replace it?");
        QCOMPARE(ui_->lastMessage().title, "File Exists");
        QCOMPARE(ui_->lastMessage().defaultButton, MsgResult::No);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), "old");
        old.close();
        QCOMPARE(w.reportFile(), "");
        QVERIFY(w.isDirty());

        ui_->answerFile(path);
        ui_->answer(MsgResult::Yes);
        w.mnuSaveAs_Click();
        QCOMPARE(w.reportFile(), path);
        QVERIFY(!w.isDirty());
        QVERIFY(QFileInfo(path).size() > 3);
    }

    // The title names the saved file without its ending; a ".rpt" elsewhere in the path
    // belongs to a folder's or the file's own name and stays.
    void titleNamesTheSavedFile_data() {
        addColumns<QString, QString>("file", "shown");
        addRow("plain", "r.rpt", "r");
        addRow("folder with the ending", "x.rpt.d/r.rpt", "x.rpt.d/r");
        addRow("folder named like a report", "a.rpt/r.rpt", "a.rpt/r");
        addRow("ending inside the name", "r.rpt.old.rpt", "r.rpt.old");
        addRow("other ending", "r.txt", "r.txt");
    }
    void titleNamesTheSavedFile() {
        QFETCH(QString, file);
        QFETCH(QString, shown);
        QVERIFY(QDir(folder_->file(QString())).mkpath(QFileInfo(folder_->file(file)).path()));
        frmRptSpec& w = designer();
        chooseEntry(w.List1, "Task Name");
        w.cmdAdd_Click();
        ui_->answerFile(folder_->file(file));
        w.mnuSaveAs_Click();
        QCOMPARE(w.reportFile(), folder_->file(file));
        QCOMPARE(w.windowTitle(),
                 "Custom Report - " + QDir::toNativeSeparators(folder_->file(shown)));
    }

    // The find's "Work Order Code" is no field of a report: the designer lists it for neither
    // table, also after its own opening gave it to a catalogue of before the codes.
    void workOrderCodeIsNotOffered() {
        {
            Database catalogue = Database::open(folder_->file("rptspec.mdb"));
            catalogue.executeScript("DELETE FROM RptSpec WHERE datatype = 6;");
        }
        for (const QString table : {"tasks", "assign"}) {
            frmRptSpec& w = designer(table);
            const QStringList offered = entryTexts(w.List1);
            QVERIFY2(offered.contains("Task Name"), qPrintable(table));
            QVERIFY2(!offered.contains("Work Order Code"), qPrintable(table));
            delete window_;
        }
        Database catalogue = Database::open(folder_->file("rptspec.mdb"));
        Recordset codes = catalogue.openRecordset(
            "select count(*) as n from RptSpec where [Desc] = 'Work Order Code'",
            RecordsetType::Snapshot);
        QCOMPARE(codes.value("n").toInt(), 2);
    }

    void menuBringsTheOpenDesignerForward() {
        frmMain main;
        frmRptSpec* tasks = mnuCustom_Click(main, 1);
        window_ = tasks;
        chooseEntry(tasks->List1, "Task Name");
        tasks->cmdAdd_Click();
        frmRptSpec* again = mnuCustom_Click(main, 2);
        QCOMPARE(again, tasks);
        QCOMPARE(again->reportTable(), "tasks");
        QCOMPARE(entryTexts(again->List2), QStringList{"Task Name"});
        delete window_;
    }
};

QTEST_MAIN(tst_RptSpec)
#include "tst_rptspec.moc"
