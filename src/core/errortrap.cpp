#include "core/errortrap.h"

#include "core/globals.h"
#include "core/uiseam.h"
#include "data/database.h"

#include <QDir>
#include <QFileInfo>

namespace tavrel {

namespace {

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
    const QString kept = Database::repair(path, ui().today().year());
    // A repair that failed has been reported; the file left behind would only report as
    // damaged again.
    if (!kept.isEmpty()) {
        dbMain = Database::open(path);
        if (dbMain.isOpen()) {
            ++repairs;
            ui().msgBox(QStringLiteral("The database %1 was damaged and has been repaired; every "
                                       "record that could still be read was kept. The damaged "
                                       "file was kept as %2.")
                            .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(kept)),
                        MsgButtons::Ok, MsgIcon::Information, {});
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
}

void HandleDataError() {
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
    default:
        showError(Err());
        break;
    }
}

void showError(const DbError& error) {
    ui().msgBox(QString::number(error.number) + QStringLiteral("  ") + error.description,
                MsgButtons::Ok, MsgIcon::None, {});
}

void guardedCall(const std::function<void()>& body) {
    try {
        body();
    } catch (const DataException& e) {
        showError(e.error());
    }
}

namespace {

template <typename Write> void saveLoop(Write write) {
    ErrorTrap trap;
    RetryCount = 0;
    RetryUpdate = true;
    while (RetryUpdate) {
        RetryUpdate = false;
        write();
    }
    FreeLocks();
}

} // namespace

void SaveLoop(Recordset& rs) {
    saveLoop([&rs] { rs.update(); });
}

void DeleteLoop(Recordset& rs) {
    saveLoop([&rs] { rs.deleteRow(); });
}

} // namespace tavrel
