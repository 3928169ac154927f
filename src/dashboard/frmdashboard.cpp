#include "dashboard/frmdashboard.h"

#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/sitesettings.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "dashboard/dashboardcharts.h"
#include "data/database.h"
#include "dialogs/datefield.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "worklist/frmworklist.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tavrel {

namespace {

constexpr int UsualWidth = 1180;
constexpr int UsualHeight = 760;
constexpr int LeastChartWidth = 300;
constexpr int LeastChartHeight = 230;
constexpr int LabelOverhang = 2;

using recordwidgets::button;

// This year, from its first day to its last.
QDate firstOfYear() {
    return QDate(ui().today().year(), 1, 1);
}

} // namespace

int onTimeTarget() {
    return SiteSettings::load(state().AppPath).onTimeTarget;
}

frmDashboard::frmDashboard(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmDashboard"));
    setWindowTitle(QStringLiteral("Dashboard"));

    dcFrom = new DateField(this);
    dcFrom->setObjectName(QStringLiteral("dcFrom"));
    dcTo = new DateField(this);
    dcTo->setObjectName(QStringLiteral("dcTo"));
    for (DateField* field : {dcFrom, dcTo}) {
        field->setCheck(DateField::Kind::Required, QStringLiteral("You must enter a valid date."),
                        true);
    }
    dcFrom->setDate(firstOfYear());
    dcTo->setDate(firstOfYear().addYears(1).addDays(-1));
    for (DateField* field : {dcFrom, dcTo})
        whenDateEntered(field, this, [this] { dcRange_Change(); });
    txtTarget = new QSpinBox(this);
    txtTarget->setObjectName(QStringLiteral("txtTarget"));
    txtTarget->setRange(0, SiteSettings::MaxOnTimeTarget);
    txtTarget->setSuffix(QStringLiteral(" %"));
    txtTarget->setValue(onTimeTarget());
    txtTarget->setKeyboardTracking(false);
    connect(txtTarget, &QSpinBox::valueChanged, this,
            [this] { guardedCall([this] { txtTarget_Change(); }); });
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    cmdPrint = button(this, "cmdPrint", QStringLiteral("&Print..."));
    cmdHelp = button(this, "cmdHelp", QStringLiteral("&Help"));
    cmdClose = button(this, "cmdClose", QStringLiteral("&Close"));
    connect(cmdPrint, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdPrint_Click(); }); });
    connect(cmdHelp, &QPushButton::clicked, this,
            [this] { ui().showHelp(this, QStringLiteral("dashboard")); });
    connect(cmdClose, &QPushButton::clicked, this, &frmDashboard::cmdClose_Click);

    static const char* const names[DashboardChartCount] = {
        "chtOnTime", "chtBacklog", "chtCosts", "chtTopHours", "chtTopCosts", "chtOpenWork"};
    auto* charts = new QGridLayout;
    for (int i = 0; i < DashboardChartCount; ++i) {
        auto* view = new QChartView(this);
        view->setObjectName(QString::fromLatin1(names[i]));
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(LeastChartWidth, LeastChartHeight);
        views_ << view;
        charts->addWidget(view, i / DashboardColumns, i % DashboardColumns);
    }

    const auto caption = [this](const char* name, const QString& text, QWidget* buddy) {
        auto* label = new QLabel(text, this);
        label->setBuddy(buddy);
        label->setObjectName(QString::fromLatin1(name));
        // Room for the last letter whole: a label exactly as wide as its text's advance
        // cuts off what a letter such as "o" draws past it.
        label->setMinimumWidth(label->sizeHint().width() + LabelOverhang);
        return label;
    };
    auto* range = new QHBoxLayout;
    range->addWidget(caption("lblFrom", QStringLiteral("&From"), dcFrom));
    range->addWidget(dcFrom);
    range->addWidget(caption("lblTo", QStringLiteral("&To"), dcTo));
    range->addWidget(dcTo);
    range->addSpacing(16);
    range->addWidget(caption("lblTarget", QStringLiteral("On-time ta&rget"), txtTarget));
    range->addWidget(txtTarget);
    range->addSpacing(16);
    range->addWidget(lblStatus, 1);
    auto* commands = new QHBoxLayout;
    commands->addStretch(1);
    commands->addWidget(cmdPrint);
    commands->addWidget(cmdHelp);
    commands->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addLayout(charts, 1);
    layout->addLayout(commands);

    redraw();
    placeOnScreen(this, QSize(UsualWidth, UsualHeight), parentWidget());
}

frmDashboard::~frmDashboard() = default;

void frmDashboard::redraw() {
    const QDate from = dcFrom->date().value_or(QDate());
    const QDate to = dcTo->date().value_or(QDate());
    if (!from.isValid() || !to.isValid())
        return;
    if (from > to) {
        lblStatus->setText(QStringLiteral("The first date is after the last."));
        return;
    }
    drawnFrom_ = from;
    drawnTo_ = to;
    {
        ErrorTrap trap;
        setCursor(Qt::WaitCursor);
        figures_ = readDashboardFigures(state().dbMain, from, to, ui().today());
        unsetCursor();
    }
    lblStatus->setText(figures_.read ? QString()
                                     : QStringLiteral("The figures could not be read."));
    const OpenAssignments open = [this](const WorkListFilter& filter) {
        Q_EMIT assignmentsWanted(filter);
    };
    for (int i = 0; i < DashboardChartCount; ++i) {
        QChart* old = views_.at(i)->chart();
        views_.at(i)->setChart(
            makeDashboardChart(static_cast<DashboardChart>(i), figures_, txtTarget->value(), open));
        delete old;
    }
}

void frmDashboard::dcRange_Change() {
    const std::optional<QDate> from = dcFrom->date();
    const std::optional<QDate> to = dcTo->date();
    // A text that is no date is refused by the field itself; the charts wait for a date.
    if (!from || !to || (*from == drawnFrom_ && *to == drawnTo_))
        return;
    redraw();
}

void frmDashboard::txtTarget_Change() {
    QString error;
    if (!SiteSettings::saveOnTimeTarget(state().AppPath, txtTarget->value(), &error))
        ui().msgBox(error);
    drawnFrom_ = {};
    redraw();
}

void frmDashboard::cmdPrint_Click() {
    if (!figures_.read)
        return;
    writeDashboardDocument(reportDocument(), figures_, txtTarget->value());
    showReportOutput();
}

void frmDashboard::cmdClose_Click() {
    close();
}

bool writeDashboardFile(const QDate& from, const QDate& to, const QString& path, QString* error) {
    DashboardFigures figures;
    {
        ErrorTrap trap;
        figures = readDashboardFigures(state().dbMain, from, to, ui().today());
    }
    if (!figures.read) {
        if (error)
            *error = QStringLiteral("The figures could not be read.");
        return false;
    }
    ReportDocument document;
    writeDashboardDocument(document, figures, onTimeTarget());
    return path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)
               ? printToPng(document, path, error)
               : printToPdf(document, path, error);
}

void installDashboard(frmMain& main) {
    main.installCommand(main.mnuDashboard, [&main] {
        static QPointer<frmDashboard> open;
        if (!open) {
            open = new frmDashboard(&main);
            open->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(
                open, &frmDashboard::assignmentsWanted, &main,
                [&main](const WorkListFilter& filter) { openWorkListOn(&main, filter); });
        }
        open->show();
        bringForward(open);
    });
}

} // namespace tavrel
