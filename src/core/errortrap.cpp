#include "core/errortrap.h"

#include "core/operation.h"
#include "core/programstate.h"
#include "core/reopen.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "data/database.h"
#include "data/sitecopy.h"
#include "data/sqldialect.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace tavrel {

namespace {

int shownCount = 0;
int connectionLosses = 0;
// Set once the user was told that dbMain is not open; every later step of the same action
// would only say it again.
bool toldNotOpen = false;
int actionDepth = 0;
int shownBeforeAction = 0;
int repairsBeforeAction = 0;
// The failures of the file itself (read-only, full, locked) shown in this action, by their
// description, which names the file and the cause.
QSet<QString> toldCauses;

bool isFileCause(int number) {
    return number == ErrReadOnly || number == ErrFileIo || number == ErrLockedByUser ||
           number == ErrRecordLocked;
}

// What a cause is told once by: its description names the file and the cause; a server
// that cannot be reached fails every later step of the action too, each with its own words
// (the connection lost, then no new one made), and is one cause.
QString causeKey(const DbError& error) {
    return error.number == ErrServerConnection ? QStringLiteral("server") : error.description;
}

// Whether a save or delete loop is running its attempts: a lost server connection is then
// tried once more (the attempt makes the connection anew) before the user hears of it.
bool inRetryLoop = false;
bool connectionRetried = false;

// What the user needs to know when a step finds dbMain not open: which file, and why.
QString notOpenDescription() {
    const QString folder = QDir::toNativeSeparators(state().AppPath);
    if (isServerUrl(state().DbPath))
        return QStringLiteral("The site's database on the server is not open. Nothing can be "
                              "read or saved until Tavrel is started again.");
    if (!QFileInfo::exists(state().DbPath))
        return QStringLiteral("The database tavrel.mdb is not open: there is no such file in "
                              "%1. Nothing can be read or saved until Tavrel is started in a "
                              "folder that holds one.")
            .arg(folder);
    const QString seeBefore = shownCount > shownBeforeAction
                                  ? QStringLiteral(" (see the message before this one)")
                                  : QString();
    return QStringLiteral("The database tavrel.mdb is not open: the file in %1 could not be "
                          "opened%2. Nothing can be read or saved until Tavrel is started "
                          "again.")
        .arg(folder, seeBefore);
}

void reportNotSet() {
    if (state().dbMain.isOpen()) {
        // dbMain is fine: a recordset that never opened, after its own error was shown.
        showError(Err());
        return;
    }
    if (toldNotOpen)
        return;
    toldNotOpen = true;
    // Why a server's database is not open (down, a password refused, no site there) was
    // said already in this action, naming the server: once is enough.
    if (isServerUrl(state().DbPath) && shownCount > shownBeforeAction)
        return;
    showError(DbError{ErrObjectNotSet, notOpenDescription()});
}

// After this many consecutive lock failures the user is asked whether to go on trying;
// after a Yes the count starts again at 1, so the question returns after 99 more.
constexpr qint16 LockRetriesBeforeQuestion = 100;
constexpr int ExitAfterLockRefused = 1;

void retryLockedRecord() {
    state().RetryUpdate = true;
    ++state().RetryCount;
    if (state().RetryCount < LockRetriesBeforeQuestion)
        return;
    const MsgResult answer = ui().msgBox(
        QStringLiteral("Could not update locked record.  Do you wish to try again?"),
        MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Locked Record"), Err().details);
    if (answer == MsgResult::Yes) {
        state().RetryCount = 1;
        return;
    }
    ui().endProgram(ExitAfterLockRefused);
}

bool repairing = false;
int repairs = 0;
int catalogueRepairCount = 0;

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}

// `unplaced`: the file of rows no table could be chosen for, when there were any.
QString repairedMessage(const QString& path, const QString& what, const QString& kept,
                        const QString& unplaced) {
    QString text = QStringLiteral("The %1 %2 was damaged and has been repaired; every record that "
                                  "could still be read was kept. The damaged file was kept as %3.")
                       .arg(what, QFileInfo(path).fileName(), QDir::toNativeSeparators(kept));
    if (!unplaced.isEmpty())
        text += QStringLiteral(" Records that could belong to more than one table were not put "
                               "back; they were kept in %1.")
                    .arg(QDir::toNativeSeparators(unplaced));
    return text;
}

// A file that is no database at all is left as it is: repair would only put an empty
// database in its place, and a command would report that as done.
bool refuseNonDatabase(const QString& path) {
    if (Database::looksLikeDatabase(path))
        return false;
    showError(
        DbError{ErrDatabaseDamaged,
                QStringLiteral("The file %1 is not a database, so it was not changed. Move it "
                               "away or replace it with a database and start again.")
                    .arg(QDir::toNativeSeparators(path)),
                {},
                path});
    return true;
}

// The main database: repaired, reopened, and every window and recordset on it opened again
// on the repaired file.
void repairMainDatabase(const QString& path) {
    QString kept;
    QString unplaced;
    const bool open = reopenEverything([&path, &kept, &unplaced] {
        kept = Database::repair(path, ui().today().year(), &unplaced);
        // A repair that failed has been reported; the file left behind would only report
        // as damaged again.
        return kept.isEmpty() ? Database() : Database::open(path);
    });
    if (!open)
        return;
    ++repairs;
    // Rows of the code lists may be gone with the damage: the editors read them again.
    state().EmployeesChanged = state().ManagersChanged = state().LocationsChanged =
        state().TypesChanged = true;
    ui().msgBox(repairedMessage(path, QStringLiteral("database"), kept, unplaced), MsgButtons::Ok,
                MsgIcon::Information, {});
}

// The field catalogue is a file of its own: its damage repairs it, never tavrel.mdb. Its
// users open it again (see openCatalogue).
void repairCatalogue(const QString& path) {
    QString unplaced;
    const QString kept = Database::repair(path, ui().today().year(), &unplaced);
    if (kept.isEmpty())
        return;
    ++catalogueRepairCount;
    ui().msgBox(repairedMessage(path, QStringLiteral("field catalogue"), kept, unplaced),
                MsgButtons::Ok, MsgIcon::Information, {});
}

// An error belongs to the file it came from: the damaged file is repaired as what it is.
void repairDamagedFile() {
    // A file that cannot even be repaired reports as damaged again: show that instead of
    // trying forever.
    if (repairing) {
        showError(Err());
        return;
    }
    const QString mainPath = state().AppPath + QStringLiteral("tavrel.mdb");
    const QString path = Err().file.isEmpty() ? mainPath : Err().file;
    const bool isMain = sameFile(path, mainPath);
    if (!isMain && !sameFile(path, cataloguePath())) {
        showError(Err()); // not a file of this folder's: nothing of ours to repair
        return;
    }
    if (refuseNonDatabase(path))
        return;
    repairing = true;
    if (isMain)
        repairMainDatabase(path);
    else
        repairCatalogue(path);
    repairing = false;
}

} // namespace

int mainDatabaseRepairs() {
    return repairs;
}

int catalogueRepairs() {
    return catalogueRepairCount;
}

int repairsMade() {
    return repairs + catalogueRepairCount;
}

QString cataloguePath() {
    return state().AppPath + QStringLiteral("rptspec.mdb");
}

Database openCatalogue() {
    const int before = catalogueRepairCount;
    Database catalogue = Database::open(cataloguePath());
    if (!catalogue.isOpen() && catalogueRepairCount != before)
        catalogue = Database::open(cataloguePath());
    AddWorkOrderCodeFields(catalogue);
    return catalogue;
}

void readCatalogue(Database& catalogue, const std::function<void()>& step) {
    const int before = catalogueRepairCount;
    {
        // Once the catalogue was repaired, what fails after that in this attempt fails only
        // because its recordsets went with the damaged file.
        ErrorTrap trap([before](const DbError&) {
            if (catalogueRepairCount == before)
                HandleDataError();
        });
        step();
    }
    if (catalogueRepairCount != before) {
        catalogue = openCatalogue();
        step();
    }
}

void installErrorPolicy() {
    ErrorTrap::setPolicy([] { HandleDataError(); });
    setSqlClock([] { return ui().now(); }); // Date() and Now() in SQL read the program's clock
}

void HandleDataError() {
    // Inside an all-or-nothing operation the error ends it; the operation reports it once
    // its work is undone.
    if (recordOperationFailure(Err()))
        return;
    if (state().dbMain.isOpen())
        toldNotOpen = false;
    // Once the main database was repaired in this action, the action's recordsets went with
    // the damaged file (the windows have theirs again): that they are gone or not in edit
    // is no news to the user.
    if (repairs != repairsBeforeAction &&
        (Err().number == ErrObjectNotSet || Err().number == ErrUpdateWithoutEdit ||
         Err().number == ErrNoCurrentRecord))
        return;
    switch (Err().number) {
    case ErrRecordLocked:
    case ErrLockedByUser:
        retryLockedRecord();
        break;
    case ErrDatabaseDamaged:
        repairDamagedFile();
        break;
    case ErrDialogCancelled:
        state().Cancelled = true;
        break;
    case ErrRowChanged:
    case ErrRowDeleted:
        if (!RowConflictWatch::take(Err().number))
            showError(Err());
        break;
    case ErrObjectNotSet:
        reportNotSet();
        break;
    case ErrServerConnection:
        if (inRetryLoop && !connectionRetried) {
            connectionRetried = true;
            state().RetryUpdate = true;
            break;
        }
        showError(Err());
        break;
    default:
        showError(Err());
        break;
    }
}

void showError(const DbError& error) {
    if (error.number == ErrServerConnection)
        ++connectionLosses;
    // A file that is read-only, full or locked fails every step of an action alike (each
    // step of start-up, say): the user hears of it once, the first time.
    if (isFileCause(error.number) || error.number == ErrServerConnection) {
        if (toldCauses.contains(causeKey(error)))
            return;
        toldCauses.insert(causeKey(error));
    }
    ++shownCount;
    ui().msgBox(QString::number(error.number) + QStringLiteral("  ") + error.description,
                MsgButtons::Ok, MsgIcon::None, {}, error.details);
}

int errorsShown() {
    return shownCount;
}

int connectionLossesReported() {
    return connectionLosses;
}

void beginUserAction() {
    toldNotOpen = false;
    toldCauses.clear();
    shownBeforeAction = shownCount;
    repairsBeforeAction = repairs;
}

void guardedCall(const std::function<void()>& body) {
    // A handler may run others (a signal sent while it works): they are part of its action.
    if (actionDepth == 0)
        beginUserAction();
    struct Depth {
        Depth() { ++actionDepth; }
        ~Depth() { --actionDepth; }
    } depth;
    try {
        body();
    } catch (const DataException& e) {
        if (e.error().number == ErrDatabaseDamaged) {
            // A damaged file is repaired wherever it is met, as under a trap.
            ErrorTrap trap;
            raiseError(e.error());
        } else {
            showError(e.error());
        }
    }
}

namespace {
RowConflictWatch* innermostWatch = nullptr;
} // namespace

RowConflictWatch::RowConflictWatch()
    : outer_(innermostWatch) {
    innermostWatch = this;
}

RowConflictWatch::~RowConflictWatch() {
    innermostWatch = outer_;
}

bool RowConflictWatch::take(int number) {
    if (!innermostWatch)
        return false;
    innermostWatch->conflict_ = number;
    return true;
}

void RetryWhileLocked(const std::function<void()>& attempt) {
    ErrorTrap trap;
    state().RetryCount = 0;
    state().RetryUpdate = true;
    struct InLoop {
        bool outer = inRetryLoop;
        InLoop() {
            inRetryLoop = true;
            connectionRetried = false;
        }
        ~InLoop() { inRetryLoop = outer; }
    } inLoop;
    while (state().RetryUpdate) {
        state().RetryUpdate = false;
        attempt();
    }
    FreeLocks();
}

void SaveLoop(Recordset& rs) {
    RetryWhileLocked([&rs] { rs.update(); });
}

void DeleteLoop(Recordset& rs) {
    RetryWhileLocked([&rs] { rs.deleteRow(); });
}

} // namespace tavrel
