#include "dashboard/dashboardcharts.h"

#include "reports/reportdocument.h"
#include "text/datetext.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace tavrel {

namespace {

constexpr int NameChars = 28; // a task or person's name on an axis, at most
// A chart laid out for the page, in the units of its fonts (pixels), and the pixels of the
// picture for each of those: a landscape page shows the six at about 200 dots an inch.
constexpr qreal PageChartWidth = 380;
constexpr qreal PageChartHeight = 330;
constexpr qreal PictureScale = 2;
constexpr qreal PenWidth = 2;
constexpr qreal AxisTypeScale = 0.8;
constexpr int UprightMonths = 6;
constexpr qreal PointMarkerSize = 7;
constexpr double Percent = 100;

// A month on an axis: its short name, with the year when the range spans more than one.
QString monthName(const DashboardFigures& f, const QDate& month) {
    return QLocale().toString(month, f.from.year() == f.to.year() ? QStringLiteral("MMM")
                                                                  : QStringLiteral("MMM yy"));
}

// The names along an axis, in a smaller type than the chart's so that a year of months fits.
QBarCategoryAxis* categoryAxis(const QStringList& names) {
    auto* axis = new QBarCategoryAxis;
    axis->append(names);
    QFont font = axis->labelsFont();
    font.setPointSizeF(font.pointSizeF() * AxisTypeScale);
    axis->setLabelsFont(font);
    return axis;
}

// Months along the bottom: upright while a few fit side by side, turned on end beyond.
QBarCategoryAxis* monthAxis(const QStringList& months) {
    QBarCategoryAxis* axis = categoryAxis(months);
    if (months.size() > UprightMonths) {
        axis->setLabelsAngle(-90);
        QFont font = axis->labelsFont();
        font.setPointSizeF(font.pointSizeF() * AxisTypeScale);
        axis->setLabelsFont(font);
    }
    return axis;
}

// A day as the backlog's time axis places it.
qint64 middayOf(const QDate& day) {
    return QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch();
}

QString shortName(const QString& name) {
    return name.size() > NameChars ? name.left(NameChars - 1) + QChar(0x2026) : name;
}

QChart* newChart(DashboardChart which) {
    auto* chart = new QChart;
    chart->setTitle(dashboardChartTitle(which));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setVisible(false);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

// The value axis of a series from 0 to a little above its largest value.
QValueAxis* valueAxis(double largest, const QString& format) {
    auto* axis = new QValueAxis;
    axis->setRange(0, largest > 0 ? largest * 1.1 : 1);
    axis->setLabelFormat(format);
    axis->applyNiceNumbers();
    return axis;
}

// A chart with nothing in the range says so.
QChart* emptyChart(QChart* chart) {
    chart->setTitle(chart->title() + QStringLiteral(" \u2014 none in this range"));
    return chart;
}

QChart* onTimeChart(const DashboardFigures& f, int target, const OpenAssignments& open) {
    QChart* chart = newChart(DashboardChart::OnTime);
    if (f.onTime.isEmpty())
        return emptyChart(chart);
    auto* set = new QBarSet(QStringLiteral("On time"));
    QStringList months;
    for (const OnTimeMonth& month : f.onTime) {
        *set << month.percent();
        months << monthName(f, month.month);
    }
    auto* bars = new QBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    auto* goal = new QLineSeries;
    goal->setName(QStringLiteral("Target"));
    // Across the whole width: categories stand at 0, 1, ..., each half a step wide.
    goal->append(-0.5, target);
    goal->append(f.onTime.size() - 0.5, target);
    QPen pen(Qt::darkRed, PenWidth, Qt::DashLine);
    goal->setPen(pen);
    chart->addSeries(goal);
    QBarCategoryAxis* x = monthAxis(months);
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QValueAxis;
    y->setRange(0, Percent);
    y->setLabelFormat(QStringLiteral("%d%%"));
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(bars), static_cast<QAbstractSeries*>(goal)}) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    if (open)
        QObject::connect(set, &QBarSet::clicked, chart,
                         [f, open](int index) { open(onTimeFilter(f, f.onTime.at(index).month)); });
    return chart;
}

QChart* backlogChart(const DashboardFigures& f, const OpenAssignments& open) {
    QChart* chart = newChart(DashboardChart::Backlog);
    if (f.backlog.isEmpty())
        return emptyChart(chart);
    const QColor colour(0x20, 0x60, 0xa0);
    auto* line = new QLineSeries;
    // The points as markers of their own, large enough to hit with the mouse.
    auto* points = new QScatterSeries;
    points->setMarkerSize(PointMarkerSize);
    points->setColor(colour);
    points->setBorderColor(colour);
    qint64 largest = 0;
    for (const BacklogPoint& point : f.backlog) {
        const QPointF at(double(middayOf(point.at)), double(point.open));
        line->append(at);
        points->append(at);
        largest = std::max(largest, point.open);
    }
    line->setPen(QPen(colour, PenWidth));
    chart->addSeries(line);
    chart->addSeries(points);
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("MMM d"));
    x->setRange(QDateTime(f.backlog.first().at, QTime(0, 0)),
                QDateTime(f.backlog.last().at, QTime(23, 59)));
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* y = valueAxis(double(largest), QStringLiteral("%d"));
    chart->addAxis(y, Qt::AlignLeft);
    for (QXYSeries* series : {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(points)}) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    if (open) {
        // The point nearest the click in time, on the line or on a marker.
        const auto clicked = [f, open](const QPointF& at) {
            const auto distance = [&](const BacklogPoint& p) {
                return std::abs(double(middayOf(p.at)) - at.x());
            };
            const auto nearest =
                std::min_element(f.backlog.cbegin(), f.backlog.cend(),
                                 [&](const BacklogPoint& a, const BacklogPoint& b) {
                                     return distance(a) < distance(b);
                                 });
            open(backlogFilter(nearest->at));
        };
        QObject::connect(line, &QLineSeries::clicked, chart, clicked);
        QObject::connect(points, &QScatterSeries::clicked, chart, clicked);
    }
    return chart;
}

QChart* costsChart(const DashboardFigures& f, const OpenAssignments& open) {
    QChart* chart = newChart(DashboardChart::Costs);
    const bool any = std::any_of(f.costs.cbegin(), f.costs.cend(), [](const MonthCosts& c) {
        return c.hours != 0 || c.parts != 0 || c.labor != 0 || c.tax != 0;
    });
    if (!any)
        return emptyChart(chart);
    auto* parts = new QBarSet(QStringLiteral("Parts"));
    auto* labor = new QBarSet(QStringLiteral("Labor"));
    auto* tax = new QBarSet(QStringLiteral("Tax"));
    auto* hours = new QLineSeries;
    hours->setName(QStringLiteral("Hours"));
    hours->setPointsVisible(true);
    hours->setPen(QPen(Qt::black, PenWidth));
    QStringList months;
    double largestCost = 0;
    double largestHours = 0;
    for (qsizetype i = 0; i < f.costs.size(); ++i) {
        const MonthCosts& c = f.costs.at(i);
        *parts << c.parts;
        *labor << c.labor;
        *tax << c.tax;
        hours->append(double(i), c.hours);
        months << monthName(f, c.month);
        largestCost = std::max(largestCost, c.parts + c.labor + c.tax);
        largestHours = std::max(largestHours, c.hours);
    }
    auto* stack = new QStackedBarSeries;
    stack->append({parts, labor, tax});
    chart->addSeries(stack);
    chart->addSeries(hours);
    QBarCategoryAxis* x = monthAxis(months);
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* money = valueAxis(largestCost, QStringLiteral("%.0f"));
    money->setTitleText(QLocale().currencySymbol());
    chart->addAxis(money, Qt::AlignLeft);
    QValueAxis* time = valueAxis(largestHours, QStringLiteral("%.0f"));
    time->setTitleText(QStringLiteral("hours"));
    chart->addAxis(time, Qt::AlignRight);
    stack->attachAxis(x);
    stack->attachAxis(money);
    hours->attachAxis(x);
    hours->attachAxis(time);
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
    if (open) {
        for (QBarSet* set : {parts, labor, tax})
            QObject::connect(set, &QBarSet::clicked, chart, [f, open](int index) {
                open(costsFilter(f, f.costs.at(index).month));
            });
        QObject::connect(hours, &QLineSeries::clicked, chart, [f, open](const QPointF& point) {
            const qsizetype index =
                std::clamp<qsizetype>(qRound64(point.x()), 0, f.costs.size() - 1);
            open(costsFilter(f, f.costs.at(index).month));
        });
    }
    return chart;
}

// A horizontal bar for each name, the first at the top.
template <typename Item, typename Value, typename Name>
QChart* rankedChart(DashboardChart which, const QList<Item>& items, Value value, Name name,
                    const QString& format, std::function<void(int)> clicked) {
    QChart* chart = newChart(which);
    if (items.isEmpty())
        return emptyChart(chart);
    auto* set = new QBarSet(dashboardChartTitle(which));
    QStringList names;
    double largest = 0;
    // Bars are drawn from the bottom: the list goes in backwards.
    for (qsizetype i = items.size() - 1; i >= 0; --i) {
        *set << value(items.at(i));
        names << shortName(name(items.at(i)));
        largest = std::max(largest, value(items.at(i)));
    }
    // Names that are equal once shortened stay apart on the axis, which takes each once.
    for (qsizetype i = 0; i < names.size(); ++i)
        while (names.indexOf(names.at(i)) != i)
            names[i] += QChar(0x200B);
    auto* bars = new QHorizontalBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    QBarCategoryAxis* y = categoryAxis(names);
    chart->addAxis(y, Qt::AlignLeft);
    QValueAxis* x = valueAxis(largest, format);
    chart->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(y);
    bars->attachAxis(x);
    if (clicked) {
        const qsizetype count = items.size();
        QObject::connect(set, &QBarSet::clicked, chart,
                         [clicked, count](int index) { clicked(int(count - 1 - index)); });
    }
    return chart;
}

} // namespace

QString dashboardChartTitle(DashboardChart which) {
    switch (which) {
    case DashboardChart::OnTime:
        return QStringLiteral("Completed on Time");
    case DashboardChart::Backlog:
        return QStringLiteral("Overdue Work at Week End");
    case DashboardChart::Costs:
        return QStringLiteral("Costs and Hours by Month");
    case DashboardChart::TopHours:
        return QStringLiteral("Most Hours");
    case DashboardChart::TopCosts:
        return QStringLiteral("Most Cost");
    case DashboardChart::OpenWork:
        return QStringLiteral("Open Work by Employee");
    }
    return {};
}

QChart* makeDashboardChart(DashboardChart which, const DashboardFigures& f, int target,
                           const OpenAssignments& open) {
    switch (which) {
    case DashboardChart::OnTime:
        return onTimeChart(f, target, open);
    case DashboardChart::Backlog:
        return backlogChart(f, open);
    case DashboardChart::Costs:
        return costsChart(f, open);
    case DashboardChart::TopHours:
    case DashboardChart::TopCosts: {
        const bool hours = which == DashboardChart::TopHours;
        const QList<TaskTotal>& tasks = hours ? f.topHours : f.topCosts;
        std::function<void(int)> clicked;
        if (open)
            clicked = [f, tasks, open](int index) { open(taskFilter(f, tasks.at(index))); };
        return rankedChart(
            which, tasks, [](const TaskTotal& t) { return t.value; },
            [](const TaskTotal& t) { return t.name; },
            hours ? QStringLiteral("%.0f") : QStringLiteral("%.0f"), clicked);
    }
    case DashboardChart::OpenWork: {
        std::function<void(int)> clicked;
        if (open)
            clicked = [f, open](int index) {
                open(employeeFilter(f, f.openWork.at(index).employee));
            };
        return rankedChart(
            which, f.openWork, [](const EmployeeOpen& e) { return double(e.open); },
            [](const EmployeeOpen& e) { return e.name; }, QStringLiteral("%d"), clicked);
    }
    }
    return newChart(which);
}

void writeDashboardDocument(ReportDocument& document, const DashboardFigures& f, int target) {
    const QString title = QStringLiteral("Maintenance Dashboard for ") +
                          shortDateRange(f.from, f.to, QStringLiteral(" - "));
    document.SetOrientation(PageOrientation::Landscape);
    document.SetPageHeader(title + QStringLiteral("||Page %d"));
    document.SetPageFooter(QString());
    document.BeginDocument();
    document.setTitle(title);

    // The charts laid out in a scene of their own and drawn into one picture, in points.
    const int rows = DashboardChartCount / DashboardColumns;
    const QSizeF size(PageChartWidth * DashboardColumns, PageChartHeight * rows);
    QGraphicsScene scene;
    QStringList captions;
    for (int i = 0; i < DashboardChartCount; ++i) {
        const auto which = static_cast<DashboardChart>(i);
        QChart* chart = makeDashboardChart(which, f, target);
        scene.addItem(chart);
        chart->setGeometry(QRectF((i % DashboardColumns) * PageChartWidth,
                                  (i / DashboardColumns) * PageChartHeight, PageChartWidth,
                                  PageChartHeight));
        chart->layout()->activate();
        captions << chart->title();
    }
    QImage image((size * PictureScale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size * PictureScale), QRectF(QPointF(0, 0), size));
    painter.end();
    document.AddPicture(image, size, captions.join(QStringLiteral("; ")));
    document.EndDocument();
}

} // namespace tavrel
