#include "core/startup.h"

#include "core/globals.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "dialogs/datetext.h"

#include <QDir>

namespace tavrel {

namespace {
constexpr int ReportDaysAhead = 7;
}

StartupSteps& startupSteps() {
    static StartupSteps steps;
    return steps;
}

bool hasMonthlySwitch(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("-m"));
}

void prepareProgramValues() {
    ReportDest = ReportToView;
    EmployeesChanged = true;
    LocationsChanged = true;
    TypesChanged = true;
    ChkDateFmt();
}

void openMainDatabase(const QString& workFolder) {
    AppPath = QDir(workFolder).absolutePath() + QLatin1Char('/');
    HelpPath = AppPath + QStringLiteral("tavrel.hlp");
    DbPath = AppPath + QStringLiteral("tavrel.mdb");
    // A file found damaged here is repaired and dbMain reopened on it while open reports
    // the damage: that dbMain stays, not the unopened result of the first attempt.
    dbMain.close();
    Database opened = Database::open(DbPath);
    if (opened.isOpen())
        dbMain = std::move(opened);
    AddCurYearOnlyColumn();
    AddEmpIDColumn();
    AddAssignCodeColumns();
}

int readCurYear(Recordset& settings) {
    settings.moveFirst();
    const int stored = settings.value(QStringLiteral("CurYear")).toInt();
    CurYear = static_cast<qint16>(stored);
    return stored;
}

void setReportDefaults() {
    ReportStartDate = ui().today();
    ReportEndDate = ReportStartDate.addDays(ReportDaysAhead);
    HeadingShade = QColor(0, 0, 0);
    BodyShade = QColor(200, 200, 200);
}

} // namespace tavrel
