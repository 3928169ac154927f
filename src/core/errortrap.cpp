#include "core/errortrap.h"

#include "core/globals.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/sqldialect.h"

#include <QDir>
#include <QFileInfo>

namespace tavrel {

namespace {

int shownCount = 0;
// Set once the user was told that dbMain is not open; every later step of the same action
// would only say it again.
bool toldNotOpen = false;
int actionDepth = 0;
int shownBeforeAction = 0;

// What the user needs to know when a step finds dbMain not open: which file, and why.
QString notOpenDescription() {
    const QString folder = QDir::toNativeSeparators(AppPath);
    if (!QFileInfo::exists(DbPath))
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
    if (dbMain.isOpen()) {
        // dbMain is fine: a recordset that never opened, after its own error was shown.
        showError(Err());
        return;
    }
    if (toldNotOpen)
        return;
    toldNotOpen = true;
    showError(DbError{ErrObjectNotSet, notOpenDescription()});
}

// After this many consecutive lock failures the user is asked whether to go on trying;
// after a Yes the count starts again at 1, so the question returns after 99 more.
constexpr qint16 LockRetriesBeforeQuestion = 100;
constexpr int ExitAfterLockRefused = 1;

void retryLockedRecord() {
    RetryUpdate = true;
    ++RetryCount;
    if (RetryCount < LockRetriesBeforeQuestion)
        return;
    const MsgResult answer =
        ui().msgBox(QStringLiteral("Could not update locked record.  Do you wish to try again?"),
                    MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Locked Record"));
    if (answer == MsgResult::Yes) {
        RetryCount = 1;
        return;
    }
    ui().endProgram(ExitAfterLockRefused);
}

bool repairing = false;
int repairs = 0;

void repairMainDatabase() {
    // A file that cannot even be repaired reports as damaged again: show that instead of
    // trying forever.
    if (repairing) {
        showError(Err());
        return;
    }
    repairing = true;
    const QString path = AppPath + QStringLiteral("tavrel.mdb");
    dbMain.close();
    QString unplaced;
    const QString kept = Database::repair(path, ui().today().year(), &unplaced);
    // A repair that failed has been reported; the file left behind would only report as
    // damaged again.
    if (!kept.isEmpty()) {
        dbMain = Database::open(path);
        if (dbMain.isOpen()) {
            ++repairs;
            QString text = QStringLiteral("The database %1 was damaged and has been repaired; "
                                          "every record that could still be read was kept. The "
                                          "damaged file was kept as %2.")
                               .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(kept));
            if (!unplaced.isEmpty())
                text += QStringLiteral(" Records that could belong to more than one table were "
                                       "not put back; they were kept in %1.")
                            .arg(QDir::toNativeSeparators(unplaced));
            ui().msgBox(text, MsgButtons::Ok, MsgIcon::Information, {});
        }
    }
    repairing = false;
}

} // namespace

int mainDatabaseRepairs() {
    return repairs;
}

void installErrorPolicy() {
    ErrorTrap::setPolicy([] { HandleDataError(); });
    setSqlClock([] { return ui().now(); }); // Date() and Now() in SQL read the program's clock
}

void HandleDataError() {
    if (dbMain.isOpen())
        toldNotOpen = false;
    switch (Err().number) {
    case ErrRecordLocked:
    case ErrLockedByUser:
        retryLockedRecord();
        break;
    case ErrDatabaseDamaged:
        repairMainDatabase();
        break;
    case ErrDialogCancelled:
        Cancelled = true;
        break;
    case ErrObjectNotSet:
        reportNotSet();
        break;
    default:
        showError(Err());
        break;
    }
}

void showError(const DbError& error) {
    ++shownCount;
    ui().msgBox(QString::number(error.number) + QStringLiteral("  ") + error.description,
                MsgButtons::Ok, MsgIcon::None, {});
}

int errorsShown() {
    return shownCount;
}

void beginUserAction() {
    toldNotOpen = false;
    shownBeforeAction = shownCount;
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
        showError(e.error());
    }
}

void RetryWhileLocked(const std::function<void()>& attempt) {
    ErrorTrap trap;
    RetryCount = 0;
    RetryUpdate = true;
    while (RetryUpdate) {
        RetryUpdate = false;
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
