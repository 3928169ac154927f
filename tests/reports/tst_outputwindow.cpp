// The preview window "Report Output" as the user leaves it: Escape, and the PDF file name it
// proposes.

#include "core/programstate.h"
#include "reports/frmoutput.h"
#include "reports/reportdocument.h"
#include "reports/reportoutput.h"
#include "support/datarows.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const QDate Today(2005, 7, 4);

// A one-page document under `header`, shown in the preview window, which is made active.
QPointer<frmOutput> showReport(const QString& header) {
    ReportDocument& doc = reportDocument();
    doc.SetPageHeader(header);
    doc.BeginDocument();
    doc.AddTableRow("3000;", textRow({"Boiler check"}));
    doc.EndDocument();
    showReportOutput();
    QPointer<frmOutput> window = frmOutput::current();
    if (window) {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            qWarning("the preview window did not become active");
    }
    return window;
}

} // namespace

class TestOutputWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedUi> ui_;
    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() {
        resetProgramState();
        installReportOutputWindow();
        ui_ = std::make_unique<ScriptedUi>();
        ui_->setToday(Today);
        state().AppPath = dir_.path() + QLatin1Char('/');
    }
    void cleanup() {
        delete frmOutput::current();
        ui_.reset();
    }

    // Escape closes the window wherever the focus is in it, and ends its document.
    void escapeCloses_data() {
        QTest::addColumn<QString>("focus");
        addRow("on the preview", "VSPrinter");
        addRow("on Ok", "cmdOK");
        addRow("on Save as PDF", "cmdSavePdf");
    }
    void escapeCloses() {
        QFETCH(QString, focus);
        QPointer<frmOutput> window = showReport("|Tavrel Overdue Assignments|Page %d");
        QVERIFY(window && window->isVisible());
        auto* target = window->findChild<QWidget*>(focus);
        QVERIFY(target);
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!window);
        QCOMPARE(reportDocument().entries().size(), size_t(0));
        QVERIFY(ui_->messages.isEmpty());
        QVERIFY(ui_->filesAsked.isEmpty());
    }

    // Save as PDF proposes the title on the report's first page and today's date, in the
    // working folder; a file of that name already there is kept when Enter is pressed.
    void proposedName_data() {
        addColumns<QString, QString>("header", "proposed");
        addRow("title in the centre", "|Tavrel Overdue Assignments|Page %d",
               "Tavrel Overdue Assignments 2005-07-04.pdf");
        addRow("title at the left, dates in it",
               "Master Task List for 3/1/2005 - 3/14/2005||Page %d",
               "Master Task List for 3-1-2005 - 3-14-2005 2005-07-04.pdf");
        addRow("work order", "Work Order: Pump||Task #: 1", "Work Order Pump 2005-07-04.pdf");
        addRow("custom report with the date at the left", "7/4/2005|Filters|Page %d",
               "Filters 2005-07-04.pdf");
        addRow("no title", "||Page %d", "Report 2005-07-04.pdf");
    }
    void proposedName() {
        QFETCH(QString, header);
        QFETCH(QString, proposed);
        QPointer<frmOutput> window = showReport(header);
        QVERIFY(window);
        const QString path = state().AppPath + proposed;
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        ui_->answerFile(path);
        ui_->pressEnter();
        QTest::mouseClick(window->findChild<QPushButton*>("cmdSavePdf"), Qt::LeftButton);
        QCOMPARE(ui_->filesAsked.size(), 1);
        QCOMPARE(ui_->filesAsked[0].initialName, path);
        QCOMPARE(ui_->messages.size(), 1);
        QCOMPARE(ui_->messages[0].text, "The file '" + QDir::toNativeSeparators(path) +
                                            "' already exists.  Do you wish to replace it?");
        QCOMPARE(ui_->messages[0].title, "File Exists");
        QCOMPARE(ui_->messages[0].defaultButton, MsgResult::No);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
        QVERIFY(window->isVisible());
    }

    // Whatever the title holds, the name is one a file system takes and nothing hides.
    void safeName_data() {
        addColumns<QString, QString>("title", "name");
        addRow("separators and reserved characters", "a/b\\c*d?e\"f<g>h|i",
               "a-b-c-d-e-f-g-h-i 2005-07-04.pdf");
        addRow("control characters and runs of blanks", "Line\tone\r\nLine\u0001two\u007f  end",
               "Line one Line two end 2005-07-04.pdf");
        addRow("leading dots", "..hidden", "hidden 2005-07-04.pdf");
        addRow("a dot after a blank", " .profile", "profile 2005-07-04.pdf");
        addRow("trailing dots", "Totals...", "Totals 2005-07-04.pdf");
        addRow("a leading dash", "-rf report", "rf report 2005-07-04.pdf");
        addRow("nothing left", ". /\u0002", "Report 2005-07-04.pdf");
        addRow("other scripts kept", "تقرير Ø 2005", "تقرير Ø 2005 2005-07-04.pdf");
        addRow("long title cut", QString(100, QLatin1Char('x')),
               QString(80, QLatin1Char('x')) + " 2005-07-04.pdf");
        addRow("a pair of surrogates not cut",
               QString(79, QLatin1Char('x')) + QStringLiteral("\U0001F527") + "yy",
               QString(79, QLatin1Char('x')) + " 2005-07-04.pdf");
    }
    void safeName() {
        QFETCH(QString, title);
        QFETCH(QString, name);
        QCOMPARE(proposedPdfName(title, Today), name);
    }
};

QTEST_MAIN(TestOutputWindow)
#include "tst_outputwindow.moc"
