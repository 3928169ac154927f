// The dashboard: every figure against the same count asked of the database one by one, the
// work list of each figure selecting exactly what it counts, and the window as a user meets
// it (a click on a bar, a range typed, the target changed, the page printed).

#include "core/programstate.h"
#include "core/sitesettings.h"
#include "dashboard/dashboard.h"
#include "dashboard/dashboardcharts.h"
#include "dashboard/frmdashboard.h"
#include "data/database.h"
#include "dialogs/datefield.h"
#include "reports/reportdocument.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "text/datetext.h"
#include "worklist/frmworklist.h"
#include "worklist/worklistmodel.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Today: Wednesday 17 June 2026. The last week ended before it on Saturday 13 June.
const QDate Today(2026, 6, 17);
const QDate LastEnded(2026, 6, 13);
const QDate From(2026, 1, 1);
const QDate To(2026, 12, 31);

// The Saturday that ends a date's week (Sunday to Saturday).
QDate saturdayEnding(const QDate& day) {
    return day.dayOfWeek() == 7 ? day.addDays(6) : day.addDays(6 - day.dayOfWeek());
}

QString iso(const QDate& day) {
    return day.toString(Qt::ISODate);
}

// A site of twelve tasks and three employees with a year and a half of weekly and
// fortnightly work: completed on time, late, without a date, or still open, with hours and
// costs; besides, one-off jobs due on a Sunday and on a Saturday, and two tasks of equal
// hours (their names decide their order).
QString siteSql() {
    QString sql = QStringLiteral(
        "INSERT INTO employees (empid, firstname, lastname) VALUES (1, 'Ann', 'Baker'), "
        "(2, 'Bo', 'Cole'), (3, '', 'Dunn');");
    for (int t = 1; t <= 12; ++t)
        sql += QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (%1, 'Task %2');")
                   .arg(t)
                   .arg(13 - t, 2, 10, QLatin1Char('0'));
    sql += QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (13, 'Zeta'), "
                          "(14, 'Alpha');");
    QStringList rows;
    int w = 0;
    for (QDate monday(2025, 11, 3); monday <= QDate(2026, 12, 28); monday = monday.addDays(7)) {
        ++w;
        for (int t = 1; t <= 12; ++t) {
            if (t % 3 != 0 && w % 2 == 1)
                continue;
            const int h = (t * 31 + w * 17) % 10;
            QString completed = QStringLiteral("0");
            QString compdate = QStringLiteral("NULL");
            if (monday <= Today) {
                if (h <= 5) {
                    completed = QStringLiteral("1");
                    compdate = QLatin1Char('\'') + iso(monday.addDays(h)) + QLatin1Char('\'');
                } else if (h <= 7) {
                    completed = QStringLiteral("1");
                    // Late: on any day of the two weeks after the due week.
                    compdate = QLatin1Char('\'') + iso(monday.addDays(6 + (t * 5 + w) % 14)) +
                               QLatin1Char('\'');
                } else if (h == 8) {
                    completed = QStringLiteral("1");
                }
            }
            const int emp = (t + w) % 4;
            const double parts = (t * w) % 50 + 0.25;
            const double tax = std::round(parts * 7) / 100;
            rows << QStringLiteral("(%1, '%2', %3, %4, %5, %6, %7, %8, %9, %10, %11)")
                        .arg(t)
                        .arg(iso(monday), completed, compdate,
                             emp == 0 ? QStringLiteral("NULL") : QString::number(emp))
                        .arg(completed == QLatin1String("1") ? h % 3 : 0)
                        .arg(completed == QLatin1String("1") ? (t * 7 + w) % 60 : 0)
                        .arg(parts)
                        .arg(h * 10)
                        .arg(tax)
                        .arg(parts + h * 10 + tax);
        }
    }
    // A Sunday belongs to the week after it; a Saturday ends its own.
    rows << QStringLiteral("(13, '2026-03-01', 1, '2026-03-07', 1, 2, 30, 4, 5, 0.28, 9.28)");
    rows << QStringLiteral("(14, '2026-04-04', 1, '2026-04-05', 2, 2, 30, 4, 5, 0.28, 9.28)");
    sql += QStringLiteral("INSERT INTO assign (taskid, duedate, completed, compdate, empid, "
                          "comphour, compmin, parts, labor, tax, totalcost) VALUES ") +
           rows.join(QStringLiteral(", ")) + QLatin1Char(';');
    return sql;
}

qint64 count(const QString& where) {
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select count(*) as n from assign where ") + where, RecordsetType::Snapshot);
    const qint64 n = rs.value(QStringLiteral("n")).toLongLong();
    rs.close();
    return n;
}

double sum(const QString& what, const QString& where) {
    Recordset rs = state().dbMain.openRecordset(
        QStringLiteral("select sum(%1) as s from assign where %2").arg(what, where),
        RecordsetType::Snapshot);
    const double s = rs.value(QStringLiteral("s")).toDouble();
    rs.close();
    return s;
}

QString date(const QDate& day) {
    return jetDateLiteral(day);
}

// How many assignments the work list shows on `filter`.
qint64 listed(const WorkListFilter& filter) {
    Recordset rs =
        state().dbMain.openRecordset(workListCountSql(filter, Today), RecordsetType::Snapshot);
    const qint64 n = rs.value(QStringLiteral("n")).toLongLong();
    rs.close();
    return n;
}

QString completedIn(const QDate& first, const QDate& last) {
    return QStringLiteral("completed and compdate >= %1 and compdate <= %2")
        .arg(date(first), date(last));
}

} // namespace

class TestDashboard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Every figure against the same count asked of the database one by one, and the work
    // list of every bar and point selecting exactly the assignments it counts.
    void figures() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        const DashboardFigures f = readDashboardFigures(state().dbMain, From, To, Today);
        QVERIFY(f.read);
        QCOMPARE(ui.messageTexts(), QStringList());

        // On time: the months up to the last week ended, January to June.
        QCOMPARE(f.onTime.size(), 6);
        for (const OnTimeMonth& month : f.onTime) {
            const QDate last = std::min(month.month.addMonths(1).addDays(-1), LastEnded);
            const QString due = QStringLiteral("duedate >= %1 and duedate <= %2")
                                    .arg(date(month.month), date(last));
            qint64 onTime = 0;
            Recordset days = state().dbMain.openRecordset(
                QStringLiteral("select distinct duedate from assign where ") + due,
                RecordsetType::Snapshot);
            for (; !days.isEOF(); days.moveNext()) {
                const QDate day = days.value(QStringLiteral("duedate")).toDate();
                onTime += count(QStringLiteral("duedate = %1 and completed and compdate <= %2")
                                    .arg(date(day), date(saturdayEnding(day))));
            }
            days.close();
            QCOMPARE(month.due, count(due));
            QCOMPARE(month.onTime, onTime);
            QVERIFY(month.onTime > 0 && month.onTime < month.due);
            QCOMPARE(listed(onTimeFilter(f, month.month)), month.due);
        }
        // (March holds the Sunday job, on time on the Saturday after it, and April the
        // Saturday job, late on the Sunday after it: the counts above take each day's own
        // week.)

        // Backlog: each Saturday of the range before today, and today.
        QCOMPARE(f.backlog.size(), 24 + 1);
        QCOMPARE(f.backlog.first().at, QDate(2026, 1, 3));
        QCOMPARE(f.backlog.last().at, Today);
        for (const BacklogPoint& point : f.backlog) {
            const QDate ended = point.at.dayOfWeek() == 6 ? point.at.addDays(-7)
                                                          : saturdayEnding(point.at).addDays(-7);
            const qint64 open =
                count(QStringLiteral("duedate <= %1 and (not completed or compdate > %2)")
                          .arg(date(ended), date(point.at)));
            QCOMPARE(point.open, open);
            QCOMPARE(listed(backlogFilter(point.at)), open);
        }
        QVERIFY(f.backlog.last().open > f.backlog.first().open);

        // Costs and hours: every month of the range.
        QCOMPARE(f.costs.size(), 12);
        for (const MonthCosts& month : f.costs) {
            const QString done = completedIn(month.month, month.month.addMonths(1).addDays(-1));
            QCOMPARE(month.parts, sum("parts", done));
            QCOMPARE(month.labor, sum("labor", done));
            QVERIFY(qAbs(month.tax - sum("tax", done)) < 1e-9);
            QVERIFY(qAbs(month.hours - (sum("comphour", done) + sum("compmin", done) / 60)) < 1e-9);
            QCOMPARE(listed(costsFilter(f, month.month)), count(done));
        }
        QVERIFY(f.costs.at(2).parts > 0);
        QCOMPARE(f.costs.at(11).parts, 0.0); // nothing completed after today

        // The ten tasks of most hours and most cost, each task's total asked alone.
        const QString inRange = completedIn(From, To);
        const auto ranked = [&](const QString& value) {
            QList<TaskTotal> all;
            for (int t = 1; t <= 14; ++t) {
                const double total =
                    sum(value, QStringLiteral("taskid = %1 and ").arg(t) + inRange);
                if (total > 0)
                    all.append({t,
                                t <= 12
                                    ? QStringLiteral("Task %1").arg(13 - t, 2, 10, QLatin1Char('0'))
                                : t == 13 ? QStringLiteral("Zeta")
                                          : QStringLiteral("Alpha"),
                                total});
            }
            std::stable_sort(all.begin(), all.end(), [](const TaskTotal& a, const TaskTotal& b) {
                return a.value != b.value ? a.value > b.value : a.name < b.name;
            });
            return all.mid(0, DashboardTopTasks);
        };
        const QList<TaskTotal> hours = ranked("comphour + compmin / 60.0");
        QCOMPARE(f.topHours.size(), DashboardTopTasks);
        for (qsizetype i = 0; i < hours.size(); ++i) {
            QCOMPARE(f.topHours.at(i).taskId, hours.at(i).taskId);
            QVERIFY(qAbs(f.topHours.at(i).value - hours.at(i).value) < 1e-9);
        }
        const QList<TaskTotal> costs = ranked("totalcost");
        for (qsizetype i = 0; i < costs.size(); ++i) {
            QCOMPARE(f.topCosts.at(i).taskId, costs.at(i).taskId);
            QVERIFY(qAbs(f.topCosts.at(i).value - costs.at(i).value) < 1e-9);
            QCOMPARE(listed(taskFilter(f, f.topCosts.at(i))),
                     count(QStringLiteral("taskid = %1 and ").arg(costs.at(i).taskId) + inRange));
        }

        // Open work: each employee, and the unassigned, most first.
        const QString open = QStringLiteral("not completed and duedate >= %1 and duedate <= %2")
                                 .arg(date(From), date(To));
        QCOMPARE(f.openWork.size(), 4);
        qint64 total = 0;
        for (const EmployeeOpen& e : f.openWork) {
            const qint64 n =
                count(open + (e.employee == NoEmployee
                                  ? QStringLiteral(" and empid is null")
                                  : QStringLiteral(" and empid = %1").arg(e.employee)));
            QCOMPARE(e.open, n);
            QCOMPARE(listed(employeeFilter(f, e.employee)), n);
            total += n;
        }
        QCOMPARE(total, count(open));
        QVERIFY(f.openWork.first().open >= f.openWork.last().open);
        QCOMPARE(f.openWork.last().name.isEmpty(), false);
        QVERIFY(std::any_of(f.openWork.cbegin(), f.openWork.cend(),
                            [](const EmployeeOpen& e) { return e.name == "Dunn"; }));
    }

    // The window as a user meets it: the charts of this year; a click on a month's bar asks
    // for the work list of exactly that month's work; a range typed and entered redraws; a
    // target changed is kept for the site; Print puts one page of charts in the document.
    void window() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        int shown = 0;
        state().reportViewer = [&] { ++shown; };
        frmDashboard form;
        form.resize(1100, 760);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.figures().from, From);
        QCOMPARE(form.figures().to, To);
        QVERIFY(form.figures().read);

        // A click in the middle of March's bar.
        QChartView* view = form.chartView(int(DashboardChart::OnTime));
        auto* bars = qobject_cast<QBarSeries*>(view->chart()->series().first());
        QVERIFY(bars);
        const int march = 2;
        const QPointF middle(march, bars->barSets().first()->at(march) / 2);
        const QPoint at = view->mapFromScene(view->chart()->mapToPosition(middle, bars));
        QSignalSpy wanted(&form, &frmDashboard::assignmentsWanted);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(wanted.size(), 1);
        const auto filter = wanted.first().first().value<WorkListFilter>();
        QCOMPARE(filter, onTimeFilter(form.figures(), QDate(2026, 3, 1)));

        // A point of the backlog: the filter of that week's end.
        QChartView* backlog = form.chartView(int(DashboardChart::Backlog));
        auto* line = qobject_cast<QLineSeries*>(backlog->chart()->series().first());
        const QPointF point = line->at(5);
        QTest::mouseClick(backlog->viewport(), Qt::LeftButton, Qt::NoModifier,
                          backlog->mapFromScene(backlog->chart()->mapToPosition(point, line)));
        QCOMPARE(wanted.size(), 2);
        QCOMPARE(wanted.last().first().value<WorkListFilter>(),
                 backlogFilter(form.figures().backlog.at(5).at));

        // The range typed: From left for To, To ended with Enter.
        form.dcFrom->setFocus();
        form.dcFrom->lineEdit()->selectAll();
        QTest::keyClicks(form.dcFrom, "3/1/2026");
        QTest::keyClick(form.dcFrom, Qt::Key_Tab);
        QCOMPARE(form.figures().from, QDate(2026, 3, 1));
        form.dcTo->setFocus();
        form.dcTo->lineEdit()->selectAll();
        QTest::keyClicks(form.dcTo, "4/30/2026");
        QTest::keyClick(form.dcTo, Qt::Key_Return);
        QCOMPARE(form.figures().to, QDate(2026, 4, 30));
        QCOMPARE(form.figures().onTime.size(), 2);
        QCOMPARE(form.figures().costs.size(), 2);

        // The target: kept in tavrel.conf, drawn at once.
        QCOMPARE(form.txtTarget->value(), DefaultOnTimeTarget);
        form.txtTarget->setFocus();
        form.txtTarget->selectAll();
        QTest::keyClicks(form.txtTarget, "75");
        QTest::keyClick(form.txtTarget, Qt::Key_Return);
        QCOMPARE(SiteSettings::load(state().AppPath).onTimeTarget, 75);
        auto* target = qobject_cast<QLineSeries*>(
            form.chartView(int(DashboardChart::OnTime))->chart()->series().at(1));
        QCOMPARE(target->at(0).y(), 75.0);

        QTest::mouseClick(form.cmdPrint, Qt::LeftButton);
        QCOMPARE(shown, 1);
        QCOMPARE(reportDocument().pageCount(), 1);
        QCOMPARE(reportDocument().pageHeader(1),
                 "Maintenance Dashboard for 3/1/2026 - 4/30/2026||Page %d");
        const QStringList page = reportDocument().pageText(1);
        QCOMPARE(page.size(), 1);
        for (int i = 0; i < DashboardChartCount; ++i)
            QVERIFY2(page.first().contains(dashboardChartTitle(DashboardChart(i))),
                     qPrintable(page.first()));
        QCOMPARE(ui.messageTexts(), QStringList());
    }

    // A range with nothing in it: each chart says so, and nothing is clickable.
    void emptyRange() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        const DashboardFigures f =
            readDashboardFigures(state().dbMain, QDate(2030, 1, 1), QDate(2030, 12, 31), Today);
        QVERIFY(f.read);
        QVERIFY(f.onTime.isEmpty() && f.backlog.isEmpty() && f.topHours.isEmpty() &&
                f.openWork.isEmpty());
        for (int i = 0; i < DashboardChartCount; ++i) {
            std::unique_ptr<QChart> chart(makeDashboardChart(DashboardChart(i), f, 90));
            QVERIFY2(chart->title().endsWith("none in this range"), qPrintable(chart->title()));
        }
    }

    // The work list on a selection it has no control for: it says what it shows, narrows it
    // with its filters, and Clear Selection goes back to the filters alone.
    void workListSelection() {
        ScriptedUi ui;
        ui.setToday(Today);
        TempWorkFolder folder(2026, siteSql());
        const DashboardFigures f = readDashboardFigures(state().dbMain, From, To, Today);
        const WorkListFilter filter = costsFilter(f, QDate(2026, 3, 1));
        frmWorkList* list = openWorkListOn(nullptr, filter);
        list->show();
        QVERIFY(list->lblSelection->isVisible());
        QCOMPARE(list->lblSelection->text(), "Showing only: completed from 3/1/2026 to 3/31/2026");
        QTRY_COMPARE(list->model()->rowCount(),
                     int(count(completedIn(QDate(2026, 3, 1), QDate(2026, 3, 31)))));
        QTest::mouseClick(list->cmdClearSelection, Qt::LeftButton);
        QVERIFY(!list->lblSelection->isVisible());
        QCOMPARE(list->filter().selection, QString());
        QTRY_COMPARE(list->model()->rowCount(), int(count("completed")));
        list->close();
        delete list;
    }
};

QTEST_MAIN(TestDashboard)
#include "tst_dashboard.moc"
