// Work orders as the report document receives them: every line of the sheet with its
// conditions, the batches of a month and of a date range, and the two dialogs that choose
// what to print.

#include "core/programstate.h"
#include "core/workordercode.h"
#include "dialogs/datefield.h"
#include "reports/frmselassign.h"
#include "reports/frmwrkorder.h"
#include "reports/monthlyprint.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/workorders.h"
#include "support/datarows.h"
#include "support/editorfixture.h"
#include "support/paintedpage.h"
#include "support/pdfreading.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/windowdriver.h"
#include "text/datetext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tavrel;
using tavrel::test::addColumns;
using tavrel::test::addRow;

namespace {

const QDate Today(2005, 12, 15);

// The codes a sheet looks up, and one task with one assignment that each case changes.
const char* const CodesAndOneAssignment =
    "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Lee');"
    "INSERT INTO managers (manid, manfirst, manlast) VALUES (1, 'Max', 'Ray');"
    "INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room');"
    "INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC');"
    "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Pump');"
    "INSERT INTO assign (assid, taskid, duedate) VALUES (1, 1, '2005-12-05');";

// Four tasks due around December 2005: two on one Monday whose names sort differently with
// and without regard to case, a completed one, and three outside or on the month's edges.
const char* const December =
    "INSERT INTO tasks (taskid, taskname, taskdesc) VALUES (1, 'Beta', 'Beta'), "
    "(2, 'alpha', 'alpha'), (3, 'gamma', 'gamma'), (4, 'Delta', 'Delta');"
    "INSERT INTO assign (taskid, duedate, completed) VALUES (1, '2005-12-05', 0), "
    "(2, '2005-12-05', 0), (3, '2005-12-26', 1), (4, '2005-11-28', 0), "
    "(4, '2005-12-01', 0), (4, '2006-01-02', 0);";

// Three tasks with one assignment each, due in the week of 5 December 2005: keys that are
// not their tasks' numbers, one longer than a code's six digits.
const char* const ThreeSheets =
    "INSERT INTO tasks (taskid, taskname, taskdesc) VALUES (1, 'Boiler', 'Boiler'), "
    "(2, 'Chiller', 'Chiller'), (3, 'Pump', 'Pump');"
    "INSERT INTO assign (assid, taskid, duedate, completed) VALUES (42, 3, '2005-12-05', 0), "
    "(7, 1, '2005-12-05', 0), (1234567, 2, '2005-12-05', 0);";

// The code of assignment `assid` at the site of `folder`, from the identifier it stores.
QString codeOf(const test::TempDatabase& folder, qint64 assid) {
    const QString site = folder.scalar("select siteid from settings").toString();
    return workordercode::formatCode(workordercode::siteTag(site),
                                     workordercode::CodeKind::Assignment, assid);
}

// The report document written to a PDF by the program's own output and read back: for each
// page the task number its header shows and the QR codes on it, with "(no caption)" when a
// code is not also there as text.
QStringList codesReadBack() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("sheets.pdf");
    if (!printToPdf(reportDocument(), pdf))
        return {"not written"};
    static const QRegularExpression taskNumber("Task #: (\\d+)");
    QStringList pages;
    const QStringList texts = test::pdfPages(pdf);
    for (int page = 1; page <= texts.size(); ++page) {
        const QString& text = texts[page - 1];
        const QStringList codes = test::qrCodesOnPage(pdf, page);
        QString line = taskNumber.match(text).captured(1) + u' ' + codes.join(u',');
        for (const QString& code : codes)
            if (!text.contains(code))
                line += " (no caption)";
        pages << line;
    }
    return pages;
}

// Checks or clears a check box with the mouse, on its box.
void clickCheckBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect hit = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, hit.center());
}

// A cell's text as written() shows it: in brackets when it holds a "|" or ";", so that the
// line tells one cell holding them from several cells.
QString shownCell(const QString& text) {
    return text.contains(u'|') || text.contains(u';') ? u'[' + text + u']' : text;
}

QString shownRows(const QList<CellRow>& rows) {
    QString text;
    for (const CellRow& row : rows) {
        QStringList cells;
        for (const Cell& cell : row)
            cells << shownCell(cell.text);
        text += cells.join(u'|') + u';';
    }
    return text;
}

QString shownHeader(const PageLine& line) {
    return shownCell(line.left) + u'|' + shownCell(line.centre) + u'|' + shownCell(line.right);
}

// What the document holds, one line per entry: "format body" for a table row in the row
// form, "B" for a blank line, "P" for a page break.
QStringList written() {
    QStringList lines;
    for (const ReportDocument::Entry& e : reportDocument().entries()) {
        if (e.kind == ReportDocument::Entry::PageBreak)
            lines << "P";
        else if (e.kind == ReportDocument::Entry::Text)
            lines << (e.body == QLatin1String("\r\n") ? "B" : e.body);
        else if (!e.heading.isEmpty() || e.headingShade.isValid() || e.bodyShade.isValid())
            lines << QStringLiteral("not in the row form: ") + e.body;
        else
            lines << e.format + QLatin1Char(' ') + shownRows(e.bodyRows);
    }
    return lines;
}

// The task descriptions of the sheets written, each with the page it starts on.
QStringList sheetsByPage() {
    QStringList sheets;
    for (const ReportDocument::Entry& e : reportDocument().entries())
        if (e.body.startsWith(QLatin1String("Task Description: ")))
            sheets << QStringLiteral("%1 %2").arg(e.page).arg(e.body.mid(18).chopped(1));
    return sheets;
}

QPointer<frmSelAssign> openSelAssign() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<frmSelAssign*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

// A clock at 23:59:59 on the last day of November 2005 that has passed midnight by the
// time it is read again.
class MidnightUi : public test::ScriptedUi {
public:
    QDate today() override { return reads_++ == 0 ? QDate(2005, 11, 30) : QDate(2005, 12, 1); }

private:
    int reads_ = 0;
};

// The days around three month ends, each a task of that name due on that day: the last day
// of the month before, the first and the last day of the month, the first of the next.
const char* const MonthEnds =
    "INSERT INTO tasks (taskid, taskname, taskdesc) VALUES "
    "(1, 'a', '2005-11-30'), (2, 'b', '2005-12-01'), (3, 'c', '2005-12-31'), "
    "(4, 'd', '2006-01-01'), (5, 'e', '2006-01-31'), (6, 'f', '2006-02-01'), "
    "(7, 'g', '2008-01-31'), (8, 'h', '2008-02-01'), (9, 'i', '2008-02-29'), "
    "(10, 'j', '2008-03-01');"
    "INSERT INTO assign (taskid, duedate, completed) VALUES "
    "(1, '2005-11-30', 0), (2, '2005-12-01', 0), (3, '2005-12-31', 0), "
    "(4, '2006-01-01', 0), (5, '2006-01-31', 0), (6, '2006-02-01', 0), "
    "(7, '2008-01-31', 0), (8, '2008-02-01', 0), (9, '2008-02-29', 0), "
    "(10, '2008-03-01', 0);";

} // namespace

class TestWorkOrders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }
    void init() {
        test::resetProgramState();
        ChkDateFmt();
        ui_ = std::make_unique<test::ScriptedUi>();
        ui_->setToday(Today);
        viewed_ = 0;
        state().reportViewer = [this] { ++viewed_; };
        reportDocument().BeginDocument();
    }
    void cleanup() { ui_.reset(); }

    void sheetLines_data() {
        QTest::addColumn<QString>("taskSet");   // UPDATE tasks SET ...
        QTest::addColumn<QString>("assignSet"); // UPDATE assign SET ...
        QTest::addColumn<int>("weeks");
        QTest::addColumn<QStringList>("top");  // the lines down to the comment rows
        QTest::addColumn<QString>("names");    // "Completed by:" line
        QTest::addColumn<QString>("finished"); // "Completion Date:" line
        QTest::addColumn<QString>("header");

        addRow(
            "everything, completed",
            "manuf = 'Acme', model = 'X-1', serialno = 'S-77', Tag = 'T-12', taskdesc = 'Check "
            "the seals', tools = 'Wrench', results = 'No leaks', besttime = 'Mornings', reqhour "
            "= 1, reqmin = 30",
            "locid = 1, typid = 1, empid = 1, manid = 1, completed = 1, compdate = '2005-12-06', "
            "comphour = 1, compmin = 5",
            12,
            QStringList{"5220|5220; Frequency: 12 times a year|Due Date: 12/5/2005;", "B",
                        "3480|3480|3480; Manufacturer: Acme|Model:X-1|Serial No.:S-77;",
                        "3480|3480|3480; Boiler Room|HVAC|T-12;", "B",
                        "10440; Task Description: Check the seals;", "B",
                        "10440; Tools/Techniques Required: Wrench;", "B",
                        "10440; Expected Results: No leaks;", "B",
                        "5220|5220; Best Time to Complete: Mornings|Completion Time: 1 Hours 30 "
                        "Minutes;",
                        "B"},
            "Completed by:Ann Lee|Inspected by:Max Ray;",
            "Completion Date:12/6/2005|Time Required:1:05;", "Work Order: Pump||Task #: 1");
        addRow("task deleted, location kept", "", "taskid = 7, locid = 1", 0,
               QStringList{"B", "3480|3480|3480; Boiler Room||;", "B", "10440; Task Description: ;",
                           "B", "B"},
               "Completed by:|Inspected by:;", "Completion Date:|Time Required:;",
               "Work Order: ||Task #: 7");
        // Typed separators keep their text, as typed, in its cell; the header shows 50
        // characters; codes that no longer exist leave their cells empty.
        addRow("separators typed into the task, a long name, codes that no longer exist",
               "taskname = 'Pump|north wing: inspect, lubricate and test all bearings', manuf = "
               "'A|B', taskdesc = 'Drain; refill|vent', besttime = 'Weekends', reqmin = 45",
               "locid = 99, typid = 98, empid = 1, manid = 97, compmin = 45", 0,
               QStringList{
                   "B", "3480|3480|3480; [Manufacturer: A|B]|Model:|Serial No.:;",
                   "10440; [Task Description: Drain; refill|vent];", "B",
                   "5220|5220; Best Time to Complete: Weekends|Completion Time: 45 Minutes;", "B"},
               "Completed by:Ann Lee|Inspected by:;", "Completion Date:|Time Required:0:45;",
               "[Work Order: Pump|north wing: inspect, lubricate and test all b]||Task #: 1");
    }

    void sheetLines() {
        QFETCH(QString, taskSet);
        QFETCH(QString, assignSet);
        QFETCH(int, weeks);
        QFETCH(QStringList, top);
        QFETCH(QString, names);
        QFETCH(QString, finished);
        QFETCH(QString, header);
        test::TempWorkFolder folder(2005, QString::fromLatin1(CodesAndOneAssignment));
        if (!taskSet.isEmpty())
            folder.exec("UPDATE tasks SET " + taskSet);
        if (!assignSet.isEmpty())
            folder.exec("UPDATE assign SET " + assignSet);
        for (int week = 1; week <= weeks; ++week)
            folder.exec(
                QStringLiteral("INSERT INTO taskweeks (taskid, weeid) VALUES (1, %1)").arg(week));

        qint32 assid = 1;
        PrintWorkOrder(assid);
        QStringList expected = top;
        expected << "10440; Comments and Observations:;"
                 << "10440; ;"
                 << "10440; ;"
                 << "10440; ;"
                 << "B"
                 << "5220|5220; " + names << "5220|5220; " + finished;
        QCOMPARE(written(), expected);
        QCOMPARE(shownHeader(reportDocument().pageHeaderLine(1)), header);
        QVERIFY(ui_->messages.isEmpty());
        // On its own the sheet is a whole document, shown in the preview.
        QVERIFY(reportDocument().isFinished());
        QCOMPARE(reportDocument().pageCount(), 1);
        QCOMPARE(viewed_, 1);
    }

    void missingAssignment() {
        test::TempWorkFolder folder(2005, QString::fromLatin1(CodesAndOneAssignment));
        reportDocument().WriteText("before");
        qint32 assid = 2;
        PrintWorkOrder(assid);
        QCOMPARE(ui_->messageTexts(), QStringList{"That task assignment was not found"});
        QCOMPARE(written(), QStringList{"before"}); // the document is left as it was
        QCOMPARE(viewed_, 0);
    }

    void wrkOrderPrintsTheWeeksOfTheRange_data() {
        addColumns<QString, QString, bool, QDate, QDate, QStringList, QString>(
            "start", "end", "completedToo", "firstMonday", "lastMonday", "sheets", "message");
        addRow("Wednesday to Tuesday", "12/7/2005", "12/13/2005", false, QDate(2005, 12, 5),
               QDate(2005, 12, 12), QStringList{"1 alpha", "2 Beta"}, "");
        addRow("Sundays go forward, completed too", "12/4/2005", "12/25/2005", true,
               QDate(2005, 12, 5), QDate(2005, 12, 26), QStringList{"1 alpha", "2 Beta", "3 gamma"},
               "");
        addRow("nothing due", "10/3/2005", "10/9/2005", true, QDate(2005, 10, 3),
               QDate(2005, 10, 10), QStringList{},
               "No task assignments were found between those dates");
        addRow("start is no date", "13/45/2005", "12/9/2005", true, QDate(), QDate(), QStringList{},
               "You must enter a valid report start date.");
    }

    void wrkOrderPrintsTheWeeksOfTheRange() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, completedToo);
        QFETCH(QDate, firstMonday);
        QFETCH(QDate, lastMonday);
        QFETCH(QStringList, sheets);
        QFETCH(QString, message);
        test::TempWorkFolder folder(2005, QString::fromLatin1(December));
        state().ReportStartDate = QDate(2005, 12, 15);
        state().ReportEndDate = QDate(2005, 12, 22);

        frmWrkOrder window;
        QCOMPARE(test::childOf<DateField>(&window, "dcStartDate")->text(), "12/15/2005");
        QCOMPARE(test::childOf<DateField>(&window, "dcEndDate")->text(), "12/22/2005");
        window.show();
        test::childOf<DateField>(&window, "dcStartDate")->setText(start);
        test::childOf<DateField>(&window, "dcEndDate")->setText(end);
        if (completedToo)
            test::childOf<QRadioButton>(&window, "optComp1")->setChecked(true);
        test::childOf<QPushButton>(&window, "cmdOK")->click();

        QCOMPARE(ui_->messageTexts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(sheetsByPage(), sheets);
        QCOMPARE(viewed_, sheets.isEmpty() ? 0 : 1);
        QCOMPARE(window.isVisible(), !firstMonday.isValid()); // a refused date keeps it open
        if (firstMonday.isValid()) {
            QCOMPARE(state().ReportStartDate, firstMonday);
            QCOMPARE(state().ReportEndDate, lastMonday);
            QVERIFY(!state().Cancelled);
        } else {
            QCOMPARE(state().ReportStartDate, QDate(2005, 12, 15));
        }
    }

    void selAssignListsAndPrintsOne() {
        test::TempWorkFolder folder(2005, QString::fromLatin1(December));
        QWidget main;
        for (const auto& [from, to] :
             {std::pair{"10/4/2005", "10/12/2005"}, std::pair{"12/1/2005", "12/31/2005"}}) {
            ui_->clearRecord();
            auto* window = new frmWrkOrder(&main);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
            test::childOf<DateField>(window, "dcStartDate")->setText(QString::fromLatin1(from));
            test::childOf<DateField>(window, "dcEndDate")->setText(QString::fromLatin1(to));
            test::childOf<QRadioButton>(window, "optAll1")->setChecked(true);
            test::childOf<QPushButton>(window, "cmdOK")->click();
            QVERIFY(!window->isVisible());
            if (QLatin1String(from) == QLatin1String("10/4/2005")) {
                QCOMPARE(ui_->messageTexts(),
                         QStringList{"There are no task assignments between the specified dates."});
                QVERIFY(!openSelAssign());
            }
        }
        QPointer<frmSelAssign> select = openSelAssign();
        QVERIFY(select);
        auto* list = test::childOf<QListWidget>(select, "List1");
        // The weeks of 1 and 31 December, completed assignments too.
        QCOMPARE(test::entryTexts(list),
                 (QStringList{"11/28/2005   \tDelta", "12/1/2005   \tDelta", "12/5/2005   \talpha",
                              "12/5/2005   \tBeta", "12/26/2005   \tgamma"}));

        ui_->clearRecord();
        test::childOf<QPushButton>(select, "cmdOK")->click();
        QCOMPARE(ui_->messageTexts(),
                 QStringList{"You must select a work order from the list, or click Cancel"});
        QVERIFY(select->isVisible());
        QCOMPARE(viewed_, 0);

        select->Form_Activate(); // back at the front: filled again
        QCOMPARE(list->count(), 5);
        list->setCurrentRow(3);
        select->Form_Activate(); // the chosen line stays chosen
        QCOMPARE(list->currentRow(), 3);
        test::childOf<QPushButton>(select, "cmdOK")->click();
        QCOMPARE(sheetsByPage(), QStringList{"1 Beta"});
        QCOMPARE(viewed_, 1);
        QVERIFY(!select || !select->isVisible());
        QCOMPARE(ui_->messageTexts().size(), 1);
    }

    void monthlyPrintTakesTheWholeMonth_data() {
        addColumns<QDate, QStringList>("today", "sheets");
        addRow("December", QDate(2005, 12, 15), QStringList{"1 2005-12-01", "2 2005-12-31"});
        addRow("on its first day", QDate(2005, 12, 1), QStringList{"1 2005-12-01", "2 2005-12-31"});
        addRow("on its last day", QDate(2005, 12, 31), QStringList{"1 2005-12-01", "2 2005-12-31"});
        addRow("January, after December", QDate(2006, 1, 2),
               QStringList{"1 2006-01-01", "2 2006-01-31"});
        addRow("February of a leap year", QDate(2008, 2, 29),
               QStringList{"1 2008-02-01", "2 2008-02-29"});
    }

    // -m prints every work order due from the first to the last day of this month, and none of
    // the month before or after, whatever day of the month it runs on.
    void monthlyPrintTakesTheWholeMonth() {
        QFETCH(QDate, today);
        QFETCH(QStringList, sheets);
        test::TempWorkFolder folder(today.year(), QString::fromLatin1(MonthEnds));
        ui_->setToday(today);
        const MonthlyPrintResult result = printMonthlyWorkOrders(folder.file("m.pdf"));
        QCOMPARE(sheetsByPage(), sheets);
        QCOMPARE(result.workOrders, sheets.size());
        QCOMPARE(result.month, QDate(today.year(), today.month(), 1));
        QVERIFY(result.delivered);
    }

    // -m run as the month ends: the work orders and what the run says are of one month, the
    // one the clock showed first.
    void monthlyPrintReadsTheDateOnce() {
        test::TempWorkFolder folder(2005, QString::fromLatin1(December));
        MidnightUi midnight;
        const QString pdf = folder.file("out.pdf");
        const MonthlyPrintResult result = printMonthlyWorkOrders(pdf);
        QCOMPARE(result.workOrders, 1); // Delta, due 28 November
        QVERIFY(result.delivered);
        QCOMPARE(monthlyPrintSummary(result, true),
                 QStringLiteral("Wrote 1 work order due in November 2005 to %1.")
                     .arg(QDir::toNativeSeparators(QFileInfo(pdf).absoluteFilePath())));
        QCOMPARE(monthlyPrintSummary(MonthlyPrintResult{result.month, 1, {}, true}, false),
                 "Printed 1 work order due in November 2005.");
        QCOMPARE(monthlyPrintSummary(MonthlyPrintResult{result.month, 2, {}, true}, false),
                 "Printed 2 work orders due in November 2005.");
        QCOMPARE(monthlyPrintSummary(MonthlyPrintResult{result.month, 0, {}, false}, false),
                 "No work orders are due in November 2005: nothing was printed.");
    }

    // A person with one name empty is named by the other alone: no blank after the colon.
    void personWithOneName() {
        test::TempWorkFolder folder(2005, QString::fromLatin1(CodesAndOneAssignment));
        folder.exec("UPDATE employees SET firstname = ''");
        folder.exec("UPDATE managers SET manlast = NULL");
        folder.exec("UPDATE assign SET empid = 1, manid = 1");
        qint32 assid = 1;
        PrintWorkOrder(assid);
        QVERIFY(written().contains("5220|5220; Completed by:Lee|Inspected by:Max;"));
    }

    // Every sheet carries the code of its assignment, as a QR code a scanner reads back and
    // as text, on the sheets of the batch (Print All) and of the one chosen in frmSelAssign.
    void codeOnEverySheet() {
        if (!test::pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the codes back");
        test::TempWorkFolder folder(2005, QString::fromLatin1(ThreeSheets));
        QWidget main;
        const auto print = [&](bool chosen) {
            auto* window = new frmWrkOrder(&main);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
            test::childOf<DateField>(window, "dcStartDate")->setText("12/5/2005");
            test::childOf<DateField>(window, "dcEndDate")->setText("12/5/2005");
            if (chosen)
                test::childOf<QRadioButton>(window, "optAll1")->setChecked(true);
            test::childOf<QPushButton>(window, "cmdOK")->click();
        };

        print(false);
        QCOMPARE(codesReadBack(),
                 (QStringList{"1 " + codeOf(folder, 7), "2 " + codeOf(folder, 1234567),
                              "3 " + codeOf(folder, 42)}));
        print(true);
        QPointer<frmSelAssign> select = openSelAssign();
        QVERIFY(select);
        test::chooseEntry(test::childOf<QListWidget>(select, "List1"), "12/5/2005   \tChiller");
        test::childOf<QPushButton>(select, "cmdOK")->click();
        QCOMPARE(codesReadBack(), QStringList{"2 " + codeOf(folder, 1234567)});
        QCOMPARE(viewed_, 2);
        QVERIFY(ui_->messages.isEmpty());
    }

    // The assignment editor's Print Work Order, through the printer the program installs.
    void codeOnTheEditorsSheet() {
        if (!test::pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the codes back");
        test::AssignEditorFixture e(QString::fromLatin1(ThreeSheets));
        state().workOrderPrinter = [](const QVariant& assid) {
            qint32 id = assid.toInt();
            PrintWorkOrder(id);
        };
        e.form->Form_Activate();
        QVERIFY(e.click("cmdNext"));
        const qint64 shown = state().rsAssign.value("assid").toLongLong();
        const QString task = state().rsAssign.value("taskid").toString();
        QVERIFY(e.click("cmdPrint"));
        QCOMPARE(codesReadBack(), QStringList{task + u' ' + codeOf(e.folder, shown)});
        QCOMPARE(viewed_, 1);
    }

    // The code takes no room from the sheet: sheets of every length, up to the longest on one
    // page and one line beyond, break into the same pages with the same lines with the code
    // and without it (a site without an identifier has no code), and every page with it
    // passes badgePageFault. A sheet that goes on to a second page carries its code there too.
    void codeTakesNoRoomFromTheSheet_data() {
        addColumns<int, bool>("paper", "landscape");
        addRow("Letter", int(QPageSize::Letter), false);
        addRow("A4 landscape", int(QPageSize::A4), true);
    }
    void codeTakesNoRoomFromTheSheet() {
        QFETCH(int, paper);
        QFETCH(bool, landscape);
        test::TempWorkFolder folder(2005, QString::fromLatin1(CodesAndOneAssignment));
        folder.exec("UPDATE tasks SET manuf = 'Acme', tools = 'Wrench', results = 'No leaks', "
                    "besttime = 'Mornings', reqhour = 1");
        folder.exec("UPDATE assign SET locid = 1, typid = 1, empid = 1, manid = 1");
        const QString site = folder.scalar("select siteid from settings").toString();
        const QString code = codeOf(folder, 1);
        ReportDocument& doc = reportDocument();
        // The paper and the orientation stay with the document: the tests after this one
        // get Letter upright again.
        const auto restore = qScopeGuard([&doc] {
            doc.reset();
            doc.setPaper(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, {}));
        });
        doc.setPaper(
            QPageLayout(QPageSize(QPageSize::PageSizeId(paper)), QPageLayout::Portrait, {}));
        doc.SetOrientation(landscape ? PageOrientation::Landscape : PageOrientation::Portrait);
        const auto printSheet = [&](bool withCode) {
            folder.exec(withCode ? "UPDATE settings SET siteid = '" + site + "'"
                                 : QString("UPDATE settings SET siteid = NULL"));
            qint32 assid = 1;
            PrintWorkOrder(assid);
        };
        QStringList steps;
        int lines = 1;
        for (; doc.pageCount() < 2; ++lines) {
            steps << QStringLiteral("Step %1").arg(lines);
            folder.exec("UPDATE tasks SET taskdesc = '" + steps.join('\n') + "'");
            printSheet(false);
            const int pages = doc.pageCount();
            QList<QStringList> texts;
            QList<QList<test::PaintedItem>> painted;
            for (int page = 1; page <= pages; ++page) {
                texts << doc.pageText(page);
                painted << test::paintedPage(doc, page);
                QCOMPARE(doc.pageBadge(page), QString());
            }
            printSheet(true);
            QCOMPARE(doc.pageCount(), pages);
            for (int page = 1; page <= pages; ++page) {
                QCOMPARE(doc.pageText(page), texts[page - 1]);
                QCOMPARE(doc.pageBadge(page), code);
                const QString fault = test::badgePageFault(
                    test::paintedPage(doc, page), painted[page - 1], test::paperRect(doc), code);
                QVERIFY2(
                    fault.isEmpty(),
                    qPrintable(
                        QStringLiteral("%1 lines, page %2: %3").arg(lines).arg(page).arg(fault)));
            }
        }
        QVERIFY(lines > 10);
        QVERIFY(ui_->messages.isEmpty());
        if (!test::pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the codes back");
        QCOMPARE(codesReadBack(), (QStringList{"1 " + code, "1 " + code}));
    }

    // Add Sign-off Lines, off until the user checks it: then each sheet ends with lines for the
    // technician's and the inspector's signatures and dates, in the batch and on the one
    // chosen; checked and cleared again, the sheets are as they are without it.
    void signOffLinesWhenChosen() {
        test::TempWorkFolder folder(2005, QString::fromLatin1(ThreeSheets));
        QWidget main;
        const auto print = [&](int clicks, bool chosen) {
            auto* window = new frmWrkOrder(&main);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
            auto* box = test::childOf<QCheckBox>(window, "chkSignOff");
            QVERIFY(!box->isChecked());
            for (int click = 0; click < clicks; ++click)
                clickCheckBox(box);
            test::childOf<DateField>(window, "dcStartDate")->setText("12/5/2005");
            test::childOf<DateField>(window, "dcEndDate")->setText("12/5/2005");
            if (chosen) {
                test::childOf<QRadioButton>(window, "optAll1")->setChecked(true);
                // From the keyboard this time: the space bar on the focused box.
                box->setFocus();
                QTest::keyClick(box, Qt::Key_Space);
            }
            test::childOf<QPushButton>(window, "cmdOK")->click();
        };
        const QStringList signOff{"B", "6960|3480; Technician's Signature:|Date:;",
                                  "6960|3480; Inspector's Signature:|Date:;"};

        print(0, false);
        const QStringList plain = written();
        QCOMPARE(plain.count("P"), 2);
        QVERIFY(!plain.join(u'\n').contains("Signature"));
        print(2, false);
        QCOMPARE(written(), plain);

        print(1, false);
        QStringList expected;
        for (const QString& line : plain) {
            if (line == "P")
                expected << signOff;
            expected << line;
        }
        expected << signOff;
        QCOMPARE(written(), expected);
        for (int page = 1; page <= 3; ++page)
            QCOMPARE(
                reportDocument().pageText(page).mid(reportDocument().pageText(page).size() - 2),
                (QStringList{"Technician's Signature:|Date:", "Inspector's Signature:|Date:"}));

        print(0, true);
        QPointer<frmSelAssign> select = openSelAssign();
        QVERIFY(select);
        test::chooseEntry(test::childOf<QListWidget>(select, "List1"), "12/5/2005   \tPump");
        test::childOf<QPushButton>(select, "cmdOK")->click();
        QCOMPARE(written().mid(written().size() - 3), signOff);
        QCOMPARE(sheetsByPage(), QStringList{"1 Pump"});
        QVERIFY(ui_->messages.isEmpty());
    }

private:
    std::unique_ptr<test::ScriptedUi> ui_;
    int viewed_ = 0;
};

QTEST_MAIN(TestWorkOrders)
#include "tst_workorders.moc"
