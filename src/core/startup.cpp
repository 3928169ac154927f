#include "core/startup.h"

#include "core/errortrap.h"
#include "core/globals.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "data/jetheader.h"
#include "data/schema.h"
#include "text/datetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tavrel {

namespace {

constexpr int ReportDaysAhead = 7;

// An empty tavrel.mdb (a file made by touch, or a copy that stopped before its first
// byte) holds nothing to lose: it is met as a missing one.
bool isEmptyFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && info.size() == 0;
}

// Asked right after the missing file was reported, for a new user who started the program
// in an empty folder. Yes writes what `tavrel --init` writes (keeping a field catalogue
// that is already there) and opens the new file, so start-up goes on as usual; No ends the
// program.
void offerNewDatabase() {
    const bool empty = isEmptyFile(DbPath);
    if (dbMain.isOpen() || (fileNameTaken(DbPath) && !empty))
        return;
    const QString folder = QDir::toNativeSeparators(QDir(AppPath).absolutePath());
    const MsgResult answer = ui().msgBox(
        (empty ? QStringLiteral("The tavrel.mdb in %1 is empty. Do you want to create a new, "
                                "empty database in its place?")
               : QStringLiteral("There is no tavrel.mdb in %1. Do you want to create a new, "
                                "empty database in this folder?"))
            .arg(folder),
        MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("New Database"));
    // Without a database there is nothing the window could show or do.
    if (answer != MsgResult::Yes) {
        ui().endProgram(0);
        return;
    }
    // The user agreed: the empty file gives way to the new one, and only if it is still empty.
    if (empty && isEmptyFile(DbPath))
        QFile::remove(DbPath);
    if (!createWorkFiles(AppPath) && !QFileInfo::exists(DbPath))
        return;
    dbMain = Database::open(DbPath);
}

} // namespace

bool createWorkFiles(const QString& folder) {
    const QDir dir(folder);
    const QString catalogue = dir.filePath(QStringLiteral("rptspec.mdb"));
    QString error;
    if (!createTaskDatabase(dir.filePath(QStringLiteral("tavrel.mdb")), ui().today().year(),
                            &error) ||
        (!QFileInfo::exists(catalogue) && !createCatalogueDatabase(catalogue, &error))) {
        showError(DbError{ErrFileIo, error});
        return false;
    }
    return true;
}

void runReadingStep(const std::function<void()>& step) {
    const int repairsBefore = mainDatabaseRepairs();
    {
        ErrorTrap trap([repairsBefore](const DbError&) {
            if (mainDatabaseRepairs() == repairsBefore)
                HandleDataError();
        });
        step();
    }
    if (mainDatabaseRepairs() != repairsBefore)
        step();
}

StartupSteps& startupSteps() {
    static StartupSteps steps;
    return steps;
}

void prepareProgramValues() {
    ReportDest = ReportToView;
    EmployeesChanged = true;
    LocationsChanged = true;
    TypesChanged = true;
    ChkDateFmt();
}

void openMainDatabase(const QString& workFolder, MissingDatabase missing) {
    AppPath = QDir(workFolder).absolutePath() + QLatin1Char('/');
    DbPath = AppPath + QStringLiteral("tavrel.mdb");
    // A file found damaged here is repaired and dbMain reopened on it while open reports
    // the damage: that dbMain stays, not the unopened result of the first attempt.
    dbMain.close();
    // The earlier program's file is never opened as ours: opening one would take it for a
    // damaged file and repair it.
    if (isJetDatabaseFile(DbPath)) {
        const auto& convert = startupSteps().convertEarlierDatabase;
        if (!convert) {
            showError(DbError{ErrEarlierFormat, earlierFormatDescription(DbPath)});
            return;
        }
        if (!convert())
            return;
    }
    RetryWhileLocked([] {
        Database opened = Database::open(DbPath);
        if (opened.isOpen())
            dbMain = std::move(opened);
    });
    if (missing == MissingDatabase::OfferToCreate)
        offerNewDatabase();
    AddCurYearOnlyColumn();
    AddEmpIDColumn();
    AddAssignCodeColumns();
    IndexTaskNamesWithoutCase();
    IndexAssignmentsByTaskWeekAndDate();
}

int readCurYear(Recordset& settings) {
    settings.moveFirst();
    const int stored = settings.value(QStringLiteral("CurYear")).toInt();
    CurYear = static_cast<qint16>(stored);
    return stored;
}

Recordset runWindowlessSteps(const QString& workFolder, MissingDatabase missing) {
    beginUserAction();
    prepareProgramValues();
    openMainDatabase(workFolder, missing);
    Recordset settings;
    runReadingStep([&settings] {
        settings = dbMain.openRecordset(QStringLiteral("Settings"), RecordsetType::Table);
        readCurYear(settings);
    });
    return settings;
}

int printMonthly() {
    // The -m command installs its print before it runs this: there is always one.
    return startupSteps().printMonthlyWorkOrders();
}

int runMonthlyCommand(const QString& workFolder) {
    const int errorsBefore = errorsShown();
    int code = ExitWithErrors;
    {
        ErrorTrap trap;
        Recordset settings = runWindowlessSteps(workFolder);
        settings.close();
        // Without the database there is nothing to print from; why was shown already.
        if (dbMain.isOpen())
            code = printMonthly();
        dbMain.close();
    }
    return errorsShown() > errorsBefore ? ExitWithErrors : code;
}

void setReportDefaults() {
    ReportStartDate = ui().today();
    ReportEndDate = ReportStartDate.addDays(ReportDaysAhead);
    HeadingShade = QColor(0, 0, 0);
    BodyShade = QColor(200, 200, 200);
}

} // namespace tavrel
