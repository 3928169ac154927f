// The windows on a small screen: a 1024 x 768 screen whose top 30 pixels are a panel, so
// that windows may take only the 1024 x 738 below it, and whose windows have a frame.
#include "assignments/frmsetyear.h"
#include "core/frmabout.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/qtui.h"
#include "core/windowplacement.h"
#include "dialogs/frmdateent.h"
#include "dialogs/frmrptdate.h"
#include "reports/frmoutput.h"
#include "reports/frmrptdates.h"
#include "reports/frmwrkorder.h"
#include "reports/reportdocument.h"
#include "reports/standardreports.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/testenv.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <memory>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// The offscreen platform's screen has no panels: its whole area is what windows may take.
// The screen is therefore the area a 1024 x 768 screen leaves below a 30-pixel panel.
const QRect FreeArea(0, 30, 1024, 738);

const QString SampleSql = QStringLiteral(R"(
INSERT INTO tasks (taskname, reqhour, reqmin) VALUES ('Boiler check', 1, 15);
INSERT INTO assign (taskid, duedate, completed, compdate, comphour, compmin) VALUES
    (1, '2005-03-07', 1, '2005-03-08', 1, 5);
)");

QString describe(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

Q_DECLARE_METATYPE(std::function<QDialog*()>)

class TestScreen : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        useTestLocale();
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), FreeArea);
    }
    void init() { resetProgramState(); }

    void fitInside_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("fitted");
        QTest::newRow("inside") << QRect(10, 40, 500, 400) << QRect(10, 40, 500, 400);
        QTest::newRow("below the bottom") << QRect(100, 500, 500, 400) << QRect(100, 368, 500, 400);
        QTest::newRow("beyond the right") << QRect(900, 40, 500, 400) << QRect(524, 40, 500, 400);
        QTest::newRow("above, under the panel")
            << QRect(-20, 0, 500, 400) << QRect(0, 30, 500, 400);
        QTest::newRow("taller than the area") << QRect(0, 0, 1100, 808) << QRect(0, 30, 1024, 738);
    }
    void fitInside() {
        QFETCH(QRect, frame);
        QFETCH(QRect, fitted);
        QCOMPARE(tavrel::fitInside(frame, FreeArea), fitted);
    }

    // The main window as the program starts it, and Report Output opened from it: each
    // wholly in the free area, frame included.
    void windowsFit_data() {
        QTest::addColumn<bool>("reportOutput");
        QTest::newRow("main window") << false;
        QTest::newRow("Report Output") << true;
    }
    void windowsFit() {
        QFETCH(bool, reportOutput);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 28));
        TempWorkFolder folder(2005, SampleSql, false);
        StartedProgram program(folder.path(), installTaskEditor);
        frmMain& main = *program.main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY2(main.frameGeometry() != main.geometry(), "the windows have no frame");
        QWidget* shown = &main;
        std::unique_ptr<frmOutput> output;
        if (reportOutput) {
            main.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&main));
            state().ReportStartDate = QDate(2005, 3, 1);
            state().ReportEndDate = QDate(2005, 3, 31);
            state().reportViewer = [] { frmOutput::showReport(); };
            runStandardReport(*standardReportNamed(QStringLiteral("completed")));
            output.reset(frmOutput::current());
            QVERIFY(output);
            QVERIFY(QTest::qWaitForWindowExposed(output.get()));
            shown = output.get();
        }
        const QRect frame = shown->frameGeometry();
        output.reset();
        program.end();
        QVERIFY2(FreeArea.contains(frame), qPrintable(describe(frame)));
    }

    // The small dialogs keep the size they open with, their whole caption included: the
    // window manager offers no resizing and draws no resize handle, the empty-looking strip
    // it puts along the bottom of a resizable window.
    void dialogsKeepTheirSize_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<std::function<QDialog*()>>("make");
        QTest::newRow("report dates") << QStringLiteral("Select Report Dates")
                                      << std::function<QDialog*()>([] { return new frmRptDates; });
        QTest::newRow("one report date")
            << QStringLiteral("Select Starting Date for Assignments")
            << std::function<QDialog*()>([] { return new frmRptDate; });
        QTest::newRow("work orders") << QStringLiteral("Select Work Orders to Print")
                                     << std::function<QDialog*()>([] { return new frmWrkOrder; });
        QTest::newRow("set year") << QStringLiteral("Set Current Year")
                                  << std::function<QDialog*()>([] { return new frmSetYear; });
        QTest::newRow("date picker") << QStringLiteral("Select Date")
                                     << std::function<QDialog*()>([] { return new frmDateEnt; });
        QTest::newRow("about") << QStringLiteral("About Tavrel")
                               << std::function<QDialog*()>([] { return new frmAbout; });
    }
    void dialogsKeepTheirSize() {
        QFETCH(QString, title);
        QFETCH(std::function<QDialog*()>, make);
        ScriptedUi ui;
        ui.setToday(QDate(2005, 3, 28));
        TempWorkFolder folder(2005, SampleSql);
        std::unique_ptr<QDialog> dialog(make());
        dialog->setWindowTitle(title);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QCOMPARE(dialog->minimumSize(), dialog->size());
        QCOMPARE(dialog->maximumSize(), dialog->size());
        QVERIFY2(dialog->width() >= titleBarWidth(dialog.get()), qPrintable(title));
        QVERIFY2(FreeArea.contains(dialog->frameGeometry()),
                 qPrintable(describe(dialog->frameGeometry())));
    }

    // The progress window of year generation: wide enough for its whole title, although
    // its text is shorter.
    void progressTitle() {
        QtUi real;
        const QString title = QStringLiteral("Create Task Assignments");
        std::unique_ptr<Progress> progress =
            real.progress(title, QStringLiteral("Creating ..."), 10, ProgressCancel::Offered);
        QProgressDialog* dialog = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<QProgressDialog*>(w))
                dialog = found;
        }
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), title);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QVERIFY2(
            dialog->width() >= titleBarWidth(dialog),
            qPrintable(QStringLiteral("%1 < %2").arg(dialog->width()).arg(titleBarWidth(dialog))));
        QCOMPARE(dialog->maximumSize(), dialog->size());
    }
};

int main(int argc, char** argv) {
    // The offscreen platform reads its screens, and whether windows get a frame, from a
    // file named in the platform's name.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(config));
    file.write(QStringLiteral(R"({"windowFrameMargins": true, "screens": [{"name": "small",
        "x": %1, "y": %2, "width": %3, "height": %4, "logicalDpi": 96}]})")
                   .arg(FreeArea.x())
                   .arg(FreeArea.y())
                   .arg(FreeArea.width())
                   .arg(FreeArea.height())
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    TestScreen test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screen.moc"
