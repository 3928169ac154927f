#include "core/startup.h"

#include "core/backups.h"
#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/sitesettings.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "data/jetheader.h"
#include "data/schema.h"
#include "data/sitecopy.h"
#include "text/datetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

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
    const bool empty = isEmptyFile(state().DbPath);
    if (state().dbMain.isOpen() || (fileNameTaken(state().DbPath) && !empty))
        return;
    const QString folder = QDir::toNativeSeparators(QDir(state().AppPath).absolutePath());
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
    if (empty && isEmptyFile(state().DbPath))
        QFile::remove(state().DbPath);
    if (!createWorkFiles(state().AppPath) && !QFileInfo::exists(state().DbPath))
        return;
    state().dbMain = Database::open(state().DbPath);
}

FileSystemProbe& fileSystemProbe() {
    static FileSystemProbe probe;
    return probe;
}

QByteArray fileSystemOf(const QString& path) {
    if (fileSystemProbe())
        return fileSystemProbe()(path);
    return QStorageInfo(QFileInfo(path).absolutePath()).fileSystemType();
}

// A file on a network file system is said to be unsafe there once per file and run of the
// program: every later open of it (File, Open Folder back to it, a reopen) would only
// repeat it.
void warnOfNetworkFileSystem(const QString& path) {
    static QSet<QString> warned;
    const QString file = QFileInfo(path).absoluteFilePath();
    const QByteArray type = fileSystemOf(file);
    if (!isNetworkFileSystem(type) || warned.contains(file))
        return;
    warned.insert(file);
    ui().msgBox(QStringLiteral("The database %1 is on a network file system (%2). A database "
                               "file is not safe to share there: programs writing it from "
                               "several computers at once can damage it. For a site where "
                               "several people work at the same time, keep the data on a "
                               "PostgreSQL server instead: tavrel --copy-to "
                               "postgresql://server/dbname moves this site there (see \"Server "
                               "sites\" in the help).")
                    .arg(QDir::toNativeSeparators(file), QString::fromLatin1(type)),
                MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Database on a Network Drive"));
}

// The site's database on a server: opened by its URL, and accepted only when it holds a
// site's tables. Every failure is shown here, once.
void openServerDatabase(const QString& url) {
    if (const QString problem = serverUrlProblem(url); !problem.isEmpty()) {
        showError(DbError{ErrServerConnection,
                          QStringLiteral("The tavrel.conf in %1 does not name the site's server "
                                         "properly. %2")
                              .arg(QDir::toNativeSeparators(state().AppPath), problem)});
        return;
    }
    RetryWhileLocked([&url] {
        Database opened = Database::open(url);
        if (opened.isOpen())
            state().dbMain = std::move(opened);
    });
    QString why;
    if (state().dbMain.isOpen() && !serverHoldsSite(state().dbMain, &why)) {
        state().dbMain.close();
        showError(DbError{ErrTableNotFound, why});
    }
}

} // namespace

void setFileSystemProbe(FileSystemProbe probe) {
    fileSystemProbe() = std::move(probe);
}

bool isNetworkFileSystem(const QByteArray& type) {
    static const QList<QByteArray> network = {"nfs",   "nfs4", "cifs",       "smb3",
                                              "smbfs", "smb2", "9p",         "afs",
                                              "ncpfs", "ceph", "fuse.sshfs", "fuse.glusterfs"};
    return network.contains(type.toLower());
}

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

void prepareProgramValues() {
    state().ReportDest = ReportTarget::View;
    state().EmployeesChanged = true;
    state().LocationsChanged = true;
    state().TypesChanged = true;
    ChkDateFmt();
}

void openMainDatabase(const QString& workFolder, MissingDatabase missing) {
    state().AppPath = QDir(workFolder).absolutePath() + QLatin1Char('/');
    // A site whose tavrel.conf names a server works there; its folder keeps the catalogue.
    const QString url = SiteSettings::load(state().AppPath).databaseUrl;
    state().DbPath = url.isEmpty() ? state().AppPath + QStringLiteral("tavrel.mdb") : url;
    // A file found damaged here is repaired and dbMain reopened on it while open reports
    // the damage: that dbMain stays, not the unopened result of the first attempt.
    state().dbMain.close();
    if (!url.isEmpty()) {
        openServerDatabase(url);
    } else {
        // The earlier program's file is never opened as ours: opening one would take it for
        // a damaged file and repair it.
        if (isJetDatabaseFile(state().DbPath)) {
            const auto& convert = state().startupSteps.convertEarlierDatabase;
            if (!convert) {
                showError(DbError{ErrEarlierFormat, earlierFormatDescription(state().DbPath)});
                return;
            }
            if (!convert())
                return;
        }
        RetryWhileLocked([] {
            Database opened = Database::open(state().DbPath);
            if (opened.isOpen())
                state().dbMain = std::move(opened);
        });
        if (missing == MissingDatabase::OfferToCreate)
            offerNewDatabase();
        if (state().dbMain.isOpen())
            warnOfNetworkFileSystem(state().DbPath);
    }
    if (SchemaUpgradeDue())
        backupBefore(QString::fromLatin1(BackupReason::BeforeUpgrade));
    AddCurYearOnlyColumn();
    AddEmpIDColumn();
    AddAssignCodeColumns();
    AddOneOffColumn();
    AddInactiveColumns();
    AddRowVersions();
    AddSiteIdentifier();
    AddEmailColumns();
    AddDigestLog();
    AddSchedulingRules();
    IndexTaskNamesWithoutCase();
    IndexAssignmentsByTaskWeekAndDate();
}

int readCurYear(Recordset& settings) {
    settings.moveFirst();
    const int stored = settings.value(QStringLiteral("CurYear")).toInt();
    state().CurYear = static_cast<qint16>(stored);
    return stored;
}

Recordset runWindowlessSteps(const QString& workFolder, MissingDatabase missing) {
    beginUserAction();
    prepareProgramValues();
    openMainDatabase(workFolder, missing);
    Recordset settings;
    runReadingStep([&settings] {
        settings = state().dbMain.openRecordset(QStringLiteral("Settings"), RecordsetType::Table);
        readCurYear(settings);
    });
    return settings;
}

int printMonthly() {
    // The -m command installs its print before it runs this: there is always one.
    return state().startupSteps.printMonthlyWorkOrders();
}

int runMonthlyCommand(const QString& workFolder) {
    const int errorsBefore = errorsShown();
    int code = ExitWithErrors;
    {
        ErrorTrap trap;
        Recordset settings = runWindowlessSteps(workFolder);
        settings.close();
        // Without the database there is nothing to print from; why was shown already.
        if (state().dbMain.isOpen())
            code = printMonthly();
        state().dbMain.close();
    }
    return errorsShown() > errorsBefore ? ExitWithErrors : code;
}

void setReportDefaults() {
    state().ReportStartDate = ui().today();
    state().ReportEndDate = state().ReportStartDate.addDays(ReportDaysAhead);
    state().HeadingShade = QColor(0, 0, 0);
    state().BodyShade = QColor(200, 200, 200);
}

} // namespace tavrel
