#pragma once

#include "data/backup.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace tavrel {

// The folder this site's backups go to (tavrel.conf in AppPath), as an absolute path.
QString siteBackupFolder();

// Why no backup can be written into `folder` (created here when it is missing), as a
// sentence for the user; empty when it can take one.
QString backupFolderProblem(const QString& folder);

// Takes a copy of dbMain's file into the site's backup folder right before an operation
// that rewrites much at once, then thins the folder. A copy that cannot be made is reported
// (a folder that cannot take any only once per start) and the caller goes on with its
// operation all the same. Returns the copy's path, empty when none was made.
QString backupBefore(const QString& reason);

// The copy a restore keeps of the database it replaces ("before-restore" in the site's
// folder of `workingFolder`), taken before anything is written. Unlike the copies above, a
// failure here stops the restore: it would replace the only copy of the rows. The one
// exception is a damaged database, which no copy can be checked of; the restore keeps the
// damaged file itself beside it instead. Empty when the restore may go on, with *kept the
// copy's path (empty when no copy was taken); otherwise why it may not.
QString backupBeforeRestore(const QString& workingFolder, const QString& databasePath,
                            QString* kept);

// Thins the backups in `folder` after a new one was made there, as the site's settings say;
// a copy that could not be removed is reported.
void thinBackups(const QString& folder, const QDate& today, const BackupCounts& counts);

// Whether `folder` holds no daily backup taken on `today`.
bool dailyBackupDue(const QString& folder, const QDate& today);

// The daily backup: taken on a worker thread (makeBackup opens its own connections and
// touches nothing of the program's), so that the main window is in use meanwhile, then the
// folder is thinned. Its result is reported on the main thread once it ends.
class DailyBackup : public QObject {
    Q_OBJECT
public:
    explicit DailyBackup(QObject* parent = nullptr);
    ~DailyBackup() override;

    // Starts today's backup of dbMain's file when the site's folder holds none from today.
    // A folder that cannot take it is reported (once per start); false when nothing started.
    bool startIfDue();
    bool isRunning() const;
    // True once finish() was told to stop the copy (its progress window's Cancel).
    bool stopRequested() const { return stop_; }

    // Waits for a running backup to end. A progress window shows after a second; its
    // Cancel stops the copy at its next step, and no part of it is kept.
    void finish();

    // The result of the last backup that ended (empty before).
    BackupResult lastResult() const { return result_; }

    // Called on the worker thread whenever the copy reports its progress, with the pages
    // done and in all; for tests that act while the copy runs. Set it before starting.
    void setStepObserver(std::function<void(int done, int total)> observer) {
        observer_ = std::move(observer);
    }

Q_SIGNALS:
    // The backup ended (made, failed or stopped) and its result was reported.
    void ended();

private:
    void collect();

    QStringList notRemoved_; // what rotation could not remove, said on the main thread
    std::unique_ptr<QThread> thread_;
    BackupResult result_;
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    std::atomic<bool> stop_{false};
    std::function<void(int, int)> observer_;
};

} // namespace tavrel
