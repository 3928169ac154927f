#include "assignments/frmassign.h"
#include "core/datachanges.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "dialogs/datefield.h"
#include "reports/reportdocument.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "tasks/taskeditor.h"
#include "tasks/taskhistory.h"
#include "worklist/frmcompletework.h"
#include "worklist/frmworklist.h"
#include "worklist/worklistmodel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Today in these tests: Wednesday 16 March 2005, in the week of Monday the 14th.
const QDate Today(2005, 3, 16);

// Three tasks in two locations and two types; assignments (ids 1 to 7):
//   1 Boiler     1/10/2005  open, nobody        overdue
//   2 Filters    2/7/2005   completed, Baker
//   3 Boiler     3/14/2005  open, Baker         this week, before today: overdue
//   4 Extingu.   3/21/2005  open, Cole          next week
//   5 Filters    3/28/2005  open, nobody
//   6 Extingu.   11/1/2004  completed, nobody   another year
//   7 Boiler     4/4/2005   completed, Cole
const QString SampleSql = QStringLiteral(R"(
INSERT INTO employees (firstname, lastname) VALUES ('Ann', 'Baker'), ('', 'Cole');
INSERT INTO managers (manfirst, manlast) VALUES ('Mia', 'Stone');
INSERT INTO locations (locdesc) VALUES ('Boiler Room'), ('Office');
INSERT INTO types (typdesc) VALUES ('HVAC'), ('Safety');
INSERT INTO tasks (taskname, locid, typid) VALUES ('Boiler inspection', 1, 1),
    ('Replace filters', 2, 1), ('Check extinguishers', 2, 2);
INSERT INTO assign (taskid, duedate, completed, empid, comphour, compmin, totalcost) VALUES
  (1, '2005-01-10', 0, NULL, 0, 0, 0),
  (2, '2005-02-07', 1, 1, 1, 30, 12.5),
  (1, '2005-03-14', 0, 1, 0, 0, 0),
  (3, '2005-03-21', 0, 2, 0, 0, 0),
  (2, '2005-03-28', 0, NULL, 0, 0, 0),
  (3, '2004-11-01', 1, NULL, 0, 0, 0),
  (1, '2005-04-04', 1, 2, 2, 0, 40);
)");

// Every assignment, open and completed.
WorkListFilter allWork() {
    WorkListFilter filter;
    filter.period = WorkPeriod::AllDates;
    filter.completion = WorkCompletion::Both;
    return filter;
}

// The work list on the sample site (or on `sql`), shown as the menu shows it.
struct WorkList : WindowDriver {
    explicit WorkList(ScriptedUi& ui, const QString& sql = SampleSql,
                      const std::optional<WorkListFilter>& filter = std::nullopt)
        : folder(2005, sql) {
        state().CurYear = 2005;
        ui.setToday(Today);
        form = filter ? openWorkListOn(nullptr, *filter) : openWorkList(nullptr);
        form->resize(1000, 600);
        drive(form);
        bringForward(form);
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
    ~WorkList() {
        if (form)
            form->close();
        delete form;
        delete editor;
    }

    QTableView* grid() const { return form->grdWork; }
    WorkListModel* model() const { return form->model(); }
    // A column of every row, as shown.
    QStringList column(int col) const {
        QStringList texts;
        for (int row = 0; row < model()->rowCount(); ++row)
            texts << model()->index(row, col).data().toString();
        return texts;
    }
    QStringList dueDates() const { return column(ColDueDate); }
    // Clicks row `row` with the mouse, holding `modifiers`.
    void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        const QModelIndex index = model()->index(row, ColTask);
        grid()->scrollTo(index);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, modifiers,
                          grid()->visualRect(index).center());
    }
    QVariant stored(const QString& sql) const { return folder.scalar(sql); }
    // A column of every assignment, by assid, as one text.
    QString storedColumn(const char* name) const {
        QStringList values;
        for (const QVariant& v : folder.column(
                 QStringLiteral("select %1 from assign order by assid").arg(QLatin1String(name))))
            values << (v.isNull() ? QStringLiteral("-") : v.toString());
        return values.join(u' ');
    }

    TempWorkFolder folder;
    QPointer<frmWorkList> form;
    QPointer<frmAssign> editor;
};

// The open window of a class, if any.
template <typename T> T* openWindow() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(window); found && found->isVisible())
            return found;
    return nullptr;
}
frmAssign* openEditor() {
    return openWindow<frmAssign>();
}
frmWorkList* openList() {
    return openWindow<frmWorkList>();
}

// The due dates of the sample's assignments, by id.
const QStringList Due{{},          "1/10/2005", "2/7/2005",  "3/14/2005",
                      "3/21/2005", "3/28/2005", "11/1/2004", "4/4/2005"};
QStringList dues(std::initializer_list<int> ids) {
    QStringList texts;
    for (int id : ids)
        texts << Due[id];
    return texts;
}

} // namespace

class TstWorkList : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedUi> ui;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        ui = std::make_unique<ScriptedUi>();
        QSettings(QStringLiteral("Tavrel"), QStringLiteral("Tavrel")).remove("workList");
    }
    void cleanup() { ui.reset(); }

    // Each filter alone and combined: the rows (by due date, in due-date order) and the count.
    void filtersCombine_data() {
        addColumns<int, int, QString, QString, QString, QString>("period", "completion", "employee",
                                                                 "location", "type", "count");
        QTest::addColumn<QStringList>("rows");
        const int open = int(WorkCompletion::Open), done = int(WorkCompletion::Completed),
                  both = int(WorkCompletion::Both);
        const int dueOver = int(WorkPeriod::DueAndOverdue), week = int(WorkPeriod::DueThisWeek),
                  over = int(WorkPeriod::Overdue), month = int(WorkPeriod::ThisMonth),
                  all = int(WorkPeriod::AllDates);
        // clang-format off
        addRow("due and overdue", dueOver, open, "(all)", "(all)", "(all)", "2 assignments", dues({1, 3}));
        addRow("due and overdue ignores completed", dueOver, both, "(all)", "(all)", "(all)", "2 assignments", dues({1, 3}));
        addRow("this week", week, both, "(all)", "(all)", "(all)", "1 assignment", dues({3}));
        addRow("overdue", over, open, "(all)", "(all)", "(all)", "2 assignments", dues({1, 3}));
        addRow("this month", month, both, "(all)", "(all)", "(all)", "3 assignments", dues({3, 4, 5}));
        addRow("all dates", all, both, "(all)", "(all)", "(all)", "7 assignments", dues({6, 1, 2, 3, 4, 5, 7}));
        addRow("completed", all, done, "(all)", "(all)", "(all)", "3 assignments", dues({6, 2, 7}));
        addRow("employee", all, both, "Baker, Ann", "(all)", "(all)", "2 assignments", dues({2, 3}));
        addRow("not assigned, open", all, open, "(not assigned)", "(all)", "(all)", "2 assignments", dues({1, 5}));
        addRow("location", all, both, "(all)", "Office", "(all)", "4 assignments", dues({6, 2, 4, 5}));
        addRow("location and type", all, both, "(all)", "Office", "Safety", "2 assignments", dues({6, 4}));
        addRow("employee and month", month, open, "Cole", "(all)", "(all)", "1 assignment", dues({4}));
        addRow("nothing: overdue completed", over, done, "(all)", "(all)", "(all)", "No assignments match these filters.", QStringList());
        addRow("nothing: type and employee", all, both, "(not assigned)", "(all)", "Safety", "1 assignment", dues({6}));
        // clang-format on
    }
    void filtersCombine() {
        QFETCH(int, period);
        QFETCH(int, completion);
        QFETCH(QString, employee);
        QFETCH(QString, location);
        QFETCH(QString, type);
        QFETCH(QString, count);
        QFETCH(QStringList, rows);
        WorkList list(*ui);
        const auto choose = [](QComboBox* box, const QString& text) {
            const int index = box->findText(text);
            QVERIFY2(index >= 0, qPrintable(text));
            box->setCurrentIndex(index);
        };
        list.form->cmbPeriod->setCurrentIndex(period);
        list.form->cmbCompletion->setCurrentIndex(completion);
        choose(list.form->cmbEmp, employee);
        choose(list.form->cmbLoc, location);
        choose(list.form->cmbType, type);
        QCOMPARE(list.dueDates(), rows);
        QCOMPARE(list.form->lblCount->text(), count);
        QCOMPARE(list.w<QPushButton>("cmdComplete")->isEnabled(), !rows.isEmpty());
    }

    // A date range typed into the two fields, either way round: the rows between the dates
    // (both included), and the fields show the range the right way round.
    void dateRange_data() {
        addColumns<QString, QString, QString, QString>("from", "to", "shownFrom", "shownTo");
        QTest::addColumn<QStringList>("rows");
        addRow("forwards", "2/7/2005", "3/21/2005", "2/7/2005", "3/21/2005", dues({2, 3, 4}));
        addRow("backwards", "3/21/2005", "2/7/2005", "2/7/2005", "3/21/2005", dues({2, 3, 4}));
        addRow("one day", "3/14/2005", "3/14/2005", "3/14/2005", "3/14/2005", dues({3}));
        addRow("nothing between", "5/1/2005", "6/1/2005", "5/1/2005", "6/1/2005", QStringList());
    }
    void dateRange() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, shownFrom);
        QFETCH(QString, shownTo);
        QFETCH(QStringList, rows);
        WorkList list(*ui);
        list.form->cmbCompletion->setCurrentIndex(int(WorkCompletion::Both));
        list.form->cmbPeriod->setCurrentIndex(int(WorkPeriod::DateRange));
        QVERIFY(list.form->dcFrom->isEnabled());
        QTest::keyClick(list.typeInto("dcFrom", from), Qt::Key_Tab);
        QTest::keyClick(list.typeInto("dcTo", to), Qt::Key_Tab);
        QCOMPARE(list.dueDates(), rows);
        QCOMPARE(list.form->dcFrom->text(), shownFrom);
        QCOMPARE(list.form->dcTo->text(), shownTo);
        QVERIFY(ui->messages.isEmpty());
    }

    // Rows selected with the mouse and the keyboard: one click, Shift+click for a block,
    // Ctrl+click adds one, Ctrl+A all; the assignments selected, in the list's order.
    void selection() {
        WorkList list(*ui, SampleSql, allWork());
        // In due-date order the rows are assignments 6 1 2 3 4 5 7.
        // Rows picked from the bottom up still come in the list's order.
        list.clickRow(6);
        list.clickRow(1, Qt::ControlModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1, 7}));
        list.clickRow(1);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1}));
        list.clickRow(3, Qt::ShiftModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1, 2, 3}));
        list.clickRow(6, Qt::ControlModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1, 2, 3, 7}));
        QCOMPARE(list.form->selectedCount(), 4);
        // Shift+click after Ctrl+click extends from that row over rows already selected:
        // each row counts once.
        list.clickRow(2, Qt::ShiftModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1, 2, 3, 4, 5, 7}));
        QCOMPARE(list.form->selectedCount(), 6);
        QTest::keyClick(list.grid(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({6, 1, 2, 3, 4, 5, 7}));
        // The order of the list, also after sorting by task name (ties by due date).
        QTest::mouseClick(list.grid()->horizontalHeader()->viewport(), Qt::LeftButton,
                          Qt::NoModifier,
                          QPoint(list.grid()->columnViewportPosition(ColTask) + 10, 5));
        QCOMPARE(list.column(ColTask).first(), QStringLiteral("Boiler inspection"));
        QCOMPARE(list.dueDates(), dues({1, 3, 7, 6, 4, 2, 5}));
        list.clickRow(0);
        list.clickRow(2, Qt::ShiftModifier);
        QCOMPARE(list.form->selectedAssignments(), QList<qint64>({1, 3, 7}));
    }

    // Complete... on a selection with completed rows is refused, naming how many; on open
    // rows it asks once and writes them all, and the list shows them as completed.
    void completeMany() {
        WorkList list(*ui, SampleSql, allWork());
        const QString before = list.storedColumn("completed <> 0");
        QTest::keyClick(list.grid(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(ui->messages.size(), 1);
        QVERIFY2(ui->lastMessage().text.startsWith(
                     "3 of the 7 selected assignments are completed already."),
                 qPrintable(ui->lastMessage().text));
        QVERIFY(ui->modalTitles.isEmpty());
        QCOMPARE(list.storedColumn("completed <> 0"), before);

        // Rows 1 to 4 in due-date order: assignments 1, 2, 3, 4 with one completed (2).
        list.clickRow(1);
        list.clickRow(3, Qt::ShiftModifier);
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(ui->lastMessage().text.left(45),
                 QStringLiteral("1 of the 3 selected assignments is completed "));

        // Only the open ones: 1 and 3 (Ctrl+click), then 4.
        list.clickRow(1);
        list.clickRow(3, Qt::ControlModifier);
        list.clickRow(4, Qt::ControlModifier);
        ui->onModal([](QDialog* dialog) {
            WindowDriver d(dialog);
            QCOMPARE(d.w<QLabel>("lblCount")->text(),
                     QStringLiteral("Complete the 3 selected assignments:"));
            QCOMPARE(d.w<DateField>("dcCompDate")->text(), QStringLiteral("3/16/2005"));
            QTest::keyClick(d.typeInto("dcCompDate", "3/15/2005"), Qt::Key_Tab);
            d.w<QComboBox>("cmbEmp")->setCurrentIndex(d.w<QComboBox>("cmbEmp")->findText("Cole"));
            d.w<QComboBox>("cmbMan")->setCurrentIndex(
                d.w<QComboBox>("cmbMan")->findText("Stone, Mia"));
            QTest::mouseClick(d.w<QCheckBox>("chkSameTime"), Qt::LeftButton);
            d.typeInto("txtCompHour", "1");
            d.typeInto("txtCompMin", "15");
            QVERIFY(d.click("cmdOK"));
        });
        const int messages = int(ui->messages.size());
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(ui->modalTitles.last(), QStringLiteral("Complete Assignments"));
        QCOMPARE(ui->messages.size(), messages);
        QCOMPARE(list.storedColumn("completed <> 0"), QStringLiteral("1 1 1 1 0 1 1"));
        QCOMPARE(list.storedColumn("compdate"),
                 QStringLiteral("2005-03-15 - 2005-03-15 2005-03-15 - - -"));
        QCOMPARE(list.storedColumn("empid"), QStringLiteral("2 1 2 2 - - 2"));
        QCOMPARE(list.storedColumn("manid"), QStringLiteral("1 - 1 1 - - -"));
        QCOMPARE(list.storedColumn("comphour"), QStringLiteral("1 1 1 1 0 0 2"));
        QCOMPARE(list.storedColumn("compmin"), QStringLiteral("15 30 15 15 0 0 0"));
        // The list read them again.
        QCOMPARE(list.column(ColCompleted),
                 QStringList({"Yes", "Yes", "Yes", "Yes", "Yes", "No", "Yes"}));
        QCOMPARE(list.model()->index(1, ColHours).data().toString(), QStringLiteral("1:15"));
    }

    // Without the same time ticked, each keeps its own; Cancel writes nothing.
    void completeKeepsOwnValues() {
        WorkList list(*ui);
        const QString before = list.storedColumn("completed <> 0");
        QTest::keyClick(list.grid(), Qt::Key_A, Qt::ControlModifier);
        ui->onModal([](QDialog* dialog) { QVERIFY(WindowDriver(dialog).click("cmdCancel")); });
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(list.storedColumn("completed <> 0"), before);
        ui->onModal([](QDialog* dialog) { QVERIFY(WindowDriver(dialog).click("cmdOK")); });
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(list.storedColumn("completed <> 0"), QStringLiteral("1 1 1 0 0 1 1"));
        QCOMPARE(list.storedColumn("compdate"), QStringLiteral("2005-03-16 - 2005-03-16 - - - -"));
        QCOMPARE(list.storedColumn("empid"), QStringLiteral("- 1 1 2 - - 2"));
        QCOMPARE(list.storedColumn("manid"), QStringLiteral("- - - - - - -"));
        QCOMPARE(list.storedColumn("compmin"), QStringLiteral("0 30 0 0 0 0 0"));
        QCOMPARE(list.form->lblCount->text(),
                 QStringLiteral("No assignments match these filters."));
    }

    // Assign... gives the selected open rows to one employee and leaves completed ones.
    void assignMany() {
        WorkList list(*ui, SampleSql, allWork());
        // Assignments 6 1 2 3 in due-date order: 6 and 2 are completed.
        list.clickRow(0);
        list.clickRow(3, Qt::ShiftModifier);
        ui->onModal([](QDialog* dialog) {
            WindowDriver d(dialog);
            QCOMPARE(d.w<QLabel>("lblCount")->text(),
                     QStringLiteral("Assign the 2 selected open assignments to:"));
            auto* box = d.w<QComboBox>("cmbEmp");
            box->setCurrentIndex(box->findText("Cole"));
            QVERIFY(d.click("cmdOK"));
        });
        QVERIFY(list.click("cmdAssign"));
        QCOMPARE(list.storedColumn("empid"), QStringLiteral("2 1 2 2 - - 2"));
        QCOMPARE(ui->lastMessage().text,
                 QStringLiteral("2 completed assignments were left as they were."));
        QCOMPARE(list.column(ColEmployee).mid(0, 4),
                 QStringList({"", "Cole", "Baker, Ann", "Cole"}));

        // Nobody: the assignment is no one's again.
        list.clickRow(1);
        ui->onModal([](QDialog* dialog) {
            WindowDriver d(dialog);
            d.w<QComboBox>("cmbEmp")->setCurrentIndex(0);
            QVERIFY(d.click("cmdOK"));
        });
        QVERIFY(list.click("cmdAssign"));
        QCOMPARE(list.storedColumn("empid"), QStringLiteral("- 1 2 2 - - 2"));
    }

    // Print Work Orders prints the selected rows as one batch, a page each, in due-date
    // order whatever the list's order; nothing selected says so, a large batch asks first.
    void printWorkOrders() {
        WorkList list(*ui, SampleSql, allWork());
        int viewed = 0;
        state().reportViewer = [&viewed] { ++viewed; };
        list.grid()->sortByColumn(ColTask, Qt::DescendingOrder);
        // By task name, last first: filters (5, 2), extinguishers (4, 6), boiler (7, 3, 1).
        QCOMPARE(list.dueDates(), dues({5, 2, 4, 6, 7, 3, 1}));
        QVERIFY(list.click("cmdPrint"));
        QCOMPARE(ui->lastMessage().text,
                 QStringLiteral("Select the assignments whose work orders to print first."));
        list.clickRow(0);
        list.clickRow(2, Qt::ControlModifier);
        list.clickRow(6, Qt::ControlModifier);
        QVERIFY(list.click("cmdPrint"));
        QCOMPARE(viewed, 1);
        QCOMPARE(reportDocument().pageCount(), 3);
        QStringList headers;
        for (int page = 1; page <= 3; ++page)
            headers << reportDocument().pageHeaderLine(page).left;
        QCOMPARE(headers,
                 QStringList({"Work Order: Boiler inspection", "Work Order: Check extinguishers",
                              "Work Order: Replace filters"}));
    }

    // Enter or a double click opens the assignment editor on that row, also on a row its Show
    // choices leave out; its saves show in the list at once.
    void openEditorOnRow() {
        WorkList list(*ui, SampleSql, allWork());
        // Row 3 is assignment 3, open and of this year: inside the editor's first choices.
        list.clickRow(3);
        QTest::keyClick(list.grid(), Qt::Key_Return);
        list.editor = openEditor();
        QVERIFY(list.editor);
        QCOMPARE(list.editor->txtDueDate->text(), Due[3]);
        QCOMPARE(list.editor->txtTaskName->text(), QStringLiteral("Boiler inspection"));
        QVERIFY(list.editor->currentYearOnly() && list.editor->uncompletedOnly());

        // Row 0 is assignment 6, completed and of 2004: both choices widen.
        list.clickRow(0);
        QTest::mouseDClick(list.grid()->viewport(), Qt::LeftButton, Qt::NoModifier,
                           list.grid()->visualRect(list.model()->index(0, ColTask)).center());
        QCOMPARE(list.editor->txtDueDate->text(), Due[6]);
        QVERIFY(!list.editor->currentYearOnly() && !list.editor->uncompletedOnly());
        QVERIFY(list.editor->item(YearShown::AllYears)->isChecked());
        QVERIFY(list.editor->item(CompletionShown::CompletedAndUncompleted)->isChecked());

        // Row 4 (assignment 4) through the one function, then completed in the editor.
        QCOMPARE(openAssignmentOn(list.form, 4), list.editor.data());
        QCOMPARE(list.editor->txtDueDate->text(), Due[4]);
        list.form->cmbCompletion->setCurrentIndex(int(WorkCompletion::Open));
        QCOMPARE(list.form->lblCount->text(), QStringLiteral("4 assignments"));
        // On its box: the check box is wider than its box and caption.
        QTest::mouseClick(list.editor->chkCompleted, Qt::LeftButton, Qt::NoModifier,
                          QPoint(6, list.editor->chkCompleted->height() / 2));
        QVERIFY(WindowDriver(list.editor).click("cmdUpdate"));
        QCOMPARE(list.stored("select completed <> 0 from assign where assid = 4").toInt(), 1);
        QCOMPARE(list.form->lblCount->text(), QStringLiteral("3 assignments"));
        QCOMPARE(list.dueDates(), dues({1, 3, 5}));
        QVERIFY(ui->messages.isEmpty());
    }

    // A row another program deleted while it is shown: opening it says it is gone; once the
    // list is read again the row is simply not there, and no other row takes its place.
    void rowDeletedByAnotherProgram() {
        WorkList list(*ui, SampleSql, allWork());
        QCOMPARE(list.model()->rowCount(), 7);
        list.folder.exec(QStringLiteral("delete from assign where assid = 3"));
        list.clickRow(3); // assignment 3, still shown from the page read before
        QTest::keyClick(list.grid(), Qt::Key_Return);
        QVERIFY2(
            ui->lastMessage().text.startsWith("That task assignment is no longer in the database"),
            qPrintable(ui->lastMessage().text));
        QVERIFY(!openEditor());

        // Counted with the row, read without it: the last row is empty, never another one.
        list.folder.exec(QStringLiteral("delete from assign where assid = 4"));
        list.model()->refresh();
        list.folder.exec(QStringLiteral("delete from assign where assid = 5"));
        QCOMPARE(list.model()->rowCount(), 5);
        QCOMPARE(list.dueDates(), dues({6, 1, 2, 7}) << QString());
        QVERIFY(list.model()->assignmentAt(4).isNull());
        const int messages = int(ui->messages.size());
        list.form->openRow(4);
        QCOMPARE(ui->messages.size(), messages + 1);
        QCOMPARE(list.model()->rowCount(), 4);
    }

    // Half a million rows are never read at once: scrolling to the end reads the last page,
    // keeps a few pages, and shows the right rows; sorting reads the first page again.
    void windowing() {
        // 5,000 assignments on consecutive days from 1/1/2000, every third one completed.
        QStringList rows;
        for (int i = 0; i < 5000; ++i)
            rows << QStringLiteral("(1, '%1', %2)")
                        .arg(QDate(2000, 1, 1).addDays(i).toString(Qt::ISODate))
                        .arg(i % 3 == 0 ? 1 : 0);
        const QString many = QStringLiteral("INSERT INTO tasks (taskname) VALUES ('Pump');"
                                            "INSERT INTO assign (taskid, duedate, completed) "
                                            "VALUES ") +
                             rows.join(u',') + u';';
        WorkList list(*ui, many, allWork());
        list.form->show();
        QCOMPARE(list.model()->rowCount(), 5000);
        QVERIFY(list.model()->pagesRead() <= 1);
        list.clickRow(0);
        QTest::keyClick(list.grid(), Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        QCOMPARE(list.grid()->currentIndex().row(), 4999);
        QCOMPARE(list.model()->index(4999, ColDueDate).data().toString(),
                 QStringLiteral("9/8/2013"));
        QVERIFY2(list.model()->pagesRead() <= 3,
                 qPrintable(QString::number(list.model()->pagesRead())));
        // Walking through every row keeps at most the cache's pages.
        for (int row = 0; row < 5000; row += 97)
            list.model()->index(row, ColTask).data();
        QVERIFY(list.model()->pagesHeld() <= WorkListModel::CachedPages);
        QCOMPARE(list.model()->index(2500, ColDueDate).data().toString(),
                 QStringLiteral("11/5/2006"));
        // Sorted the other way: the first row is the last date.
        list.grid()->sortByColumn(ColDueDate, Qt::DescendingOrder);
        QCOMPARE(list.model()->index(0, ColDueDate).data().toString(), QStringLiteral("9/8/2013"));
        QCOMPARE(list.model()->index(4999, ColDueDate).data().toString(),
                 QStringLiteral("1/1/2000"));
        // Ctrl+A selects 5,000 rows; Complete refuses them, naming the completed ones.
        QTest::keyClick(list.grid(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list.form->selectedCount(), 5000);
        QVERIFY(list.click("cmdComplete"));
        QVERIFY2(ui->lastMessage().text.startsWith("1,667 of the 5,000 selected"),
                 qPrintable(ui->lastMessage().text));
        // Printing them all asks first; No prints nothing.
        int viewed = 0;
        state().reportViewer = [&viewed] { ++viewed; };
        ui->answer(MsgResult::No);
        QVERIFY(list.click("cmdPrint"));
        QCOMPARE(ui->lastMessage().text, QStringLiteral("Print 5,000 work orders, one page each?"));
        QCOMPARE(viewed, 0);
        // Only the open ones: all 3,333 completed in one go.
        list.form->cmbCompletion->setCurrentIndex(int(WorkCompletion::Open));
        QTest::keyClick(list.grid(), Qt::Key_A, Qt::ControlModifier);
        ui->onModal([](QDialog* dialog) { QVERIFY(WindowDriver(dialog).click("cmdOK")); });
        QVERIFY(list.click("cmdComplete"));
        QCOMPARE(list.stored("select count(*) from assign where completed <> 0").toInt(), 5000);
        QCOMPARE(list.form->lblCount->text(),
                 QStringLiteral("No assignments match these filters."));
    }

    // A row of a task's history opens the assignment editor on it, widened to another year;
    // so does the work list's New Job... button open the dialog whose job the list then shows.
    void historyRowAndNewJob() {
        TempWorkFolder folder(2005, SampleSql, false);
        ui->setToday(Today);
        StartedProgram program(folder.path(), [](frmMain& main) {
            installTaskEditor(main);
            installAssignmentEditor(main);
        });
        program.main->show();
        auto* tasks = dynamic_cast<TaskEditor*>(program.main->editor());
        QVERIFY(tasks);
        QVERIFY(WindowDriver(program.main.get()).click("cmdNext"));
        QCOMPARE(tasks->txtTaskName->text(), QStringLiteral("Check extinguishers"));
        if (!tasks->isHistoryShown())
            QTest::mouseClick(tasks->cmdHistory, Qt::LeftButton);
        QTreeWidget* tree = tasks->fraHistory->tvwHistory;
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QTreeWidgetItem* of2004 = tree->topLevelItem(1)->child(0);
        tree->scrollToItem(of2004);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                          tree->visualItemRect(of2004).center());
        QPointer<frmAssign> editor = openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->txtDueDate->text(), Due[6]);
        QVERIFY(!editor->currentYearOnly());
        editor->close();
        delete editor;

        WorkList list(*ui);
        const int before = list.model()->rowCount();
        ui->onModal([](QDialog* dialog) {
            auto* task = dialog->findChild<QComboBox*>(QStringLiteral("cmbTask"));
            task->setCurrentIndex(task->findText(QStringLiteral("Replace filters")));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")),
                              Qt::LeftButton);
        });
        QVERIFY(list.click("cmdNewJob"));
        QCOMPARE(list.model()->rowCount(), before + 1);
        QCOMPARE(list.stored("select count(*) from assign where oneoff <> 0").toInt(), 1);
    }

    // Retired names stay in the filters, which find the old work that carries them, and
    // leave the lists of the Assign dialog, which gives new work.
    void retiredNamesInFilters() {
        // Listed in the drop-down list and open to a choice.
        const auto choosable = [](QComboBox* box, const QString& text) {
            const int at = box->findText(text);
            auto* model = qobject_cast<QStandardItemModel*>(box->model());
            auto* view = qobject_cast<QListView*>(box->view());
            return at >= 0 && model && model->item(at)->isEnabled() && view &&
                   !view->isRowHidden(at);
        };
        WorkList list(*ui);
        list.folder.exec(QStringLiteral("update employees set inactive = 1 where lastname = "
                                        "'Cole'; update locations set inactive = 1 where locdesc "
                                        "= 'Office'"));
        // Read again as a list opened now reads them.
        list.form->close();
        delete list.form;
        list.form = openWorkList(nullptr);
        QVERIFY(list.form);
        list.form->cmbPeriod->setCurrentIndex(int(WorkPeriod::AllDates));
        list.form->cmbCompletion->setCurrentIndex(int(WorkCompletion::Both));
        QVERIFY(choosable(list.form->cmbEmp, QStringLiteral("Cole")));
        QVERIFY(choosable(list.form->cmbLoc, QStringLiteral("Office")));
        list.form->cmbEmp->setCurrentIndex(list.form->cmbEmp->findText(QStringLiteral("Cole")));
        QCOMPARE(list.dueDates(), dues({4, 7}));
        QComboBox assignable;
        fillPeopleList(&assignable, QStringLiteral("(nobody)"), false);
        QVERIFY(!choosable(&assignable, QStringLiteral("Cole")));
        QVERIFY(choosable(&assignable, QStringLiteral("Baker, Ann")));
    }

    // The main window's status bar counts the overdue assignments, and counts again when
    // assignments are written.
    void overdueCountInStatusBar() {
        TempWorkFolder folder(2005, SampleSql);
        state().CurYear = 2005;
        ui->setToday(Today);
        frmMain main;
        main.refreshOverdueCount();
        QCOMPARE(main.lblOverdue->text(), QStringLiteral("2 overdue assignments"));
        folder.exec(QStringLiteral("update assign set completed = 1 where assid = 1"));
        notifyAssignmentsChanged();
        QCOMPARE(main.lblOverdue->text(), QStringLiteral("1 overdue assignment"));
        ui->setToday(QDate(2005, 3, 14));
        notifyAssignmentsChanged();
        QCOMPARE(main.lblOverdue->text(), QStringLiteral("No overdue assignments"));
    }

    // "Show at start", ticked by the user, opens the list at start-up on due and overdue work
    // whatever filter was used last; the filters and column widths come back.
    void rememberedSettings() {
        {
            WorkList list(*ui);
            QVERIFY(!workListAtStart());
            QTest::mouseClick(list.form->chkShowAtStart, Qt::LeftButton);
            QVERIFY(workListAtStart());
            list.form->cmbPeriod->setCurrentIndex(int(WorkPeriod::ThisMonth));
            list.form->cmbLoc->setCurrentIndex(list.form->cmbLoc->findText("Office"));
            list.grid()->setColumnWidth(ColLocation, 177);
        }
        {
            WorkList list(*ui);
            QCOMPARE(list.form->cmbPeriod->currentText(), QStringLiteral("This month"));
            QCOMPARE(list.form->cmbLoc->currentText(), QStringLiteral("Office"));
            QCOMPARE(list.grid()->columnWidth(ColLocation), 177);
            QCOMPARE(list.dueDates(), dues({4, 5}));
            QVERIFY(list.form->chkShowAtStart->isChecked());
            list.form->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!list.form); // closing deletes it
            showWorkListAtStart(nullptr);
            list.form = openList();
            QVERIFY(list.form);
            QCOMPARE(list.form->cmbPeriod->currentText(), QStringLiteral("Due and overdue"));
            QCOMPARE(list.dueDates(), dues({1, 3}));
            QTest::mouseClick(list.form->chkShowAtStart, Qt::LeftButton);
            QVERIFY(!workListAtStart());
        }
    }
};

QTEST_MAIN(TstWorkList)
#include "tst_worklist.moc"
