#include "core/backups.h"

#include "core/programstate.h"
#include "core/sitesettings.h"
#include "core/uiseam.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

namespace tavrel {

namespace {

const QString BackupsTitle = QStringLiteral("Backups");

// How often a close that waits for the daily backup looks at its progress.
constexpr int FinishPollMs = 50;
constexpr int PercentDone = 100;

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The operation a "before" copy is taken for, as it reads in a message.
QString operationText(const QString& reason) {
    if (reason == QLatin1String(BackupReason::BeforeUpgrade))
        return QStringLiteral("upgrading the database");
    if (reason == QLatin1String(BackupReason::BeforeSetYear))
        return QStringLiteral("setting the year");
    if (reason == QLatin1String(BackupReason::BeforeGenerate))
        return QStringLiteral("creating the year's task assignments");
    if (reason == QLatin1String(BackupReason::BeforeImport))
        return QStringLiteral("the conversion");
    if (reason == QLatin1String(BackupReason::BeforeRestore))
        return QStringLiteral("the restore");
    if (reason == QLatin1String(BackupReason::BeforeTaskImport))
        return QStringLiteral("importing tasks");
    return reason;
}

// True when `folder` can take a backup. When it cannot, says why, but only the first time
// in this run: every later backup would meet the same folder, and the program goes on
// working without backups until the folder is put right.
bool usableFolder(const QString& folder) {
    const QString problem = backupFolderProblem(folder);
    if (problem.isEmpty())
        return true;
    if (!state().BackupFolderReported) {
        state().BackupFolderReported = true;
        ui().msgBox(problem +
                        QStringLiteral(" Tavrel goes on working, but keeps no backups until the "
                                       "folder can be written to or another one is chosen in "
                                       "File, Backups..., Options."),
                    MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
    }
    return false;
}

// Old copies that rotation could not remove stay where they are; the user hears of them,
// since the folder keeps growing until they go.
void reportNotRemoved(const QStringList& problems) {
    if (!problems.isEmpty())
        ui().msgBox(problems.join(u'\n'), MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
}

} // namespace

QString siteBackupFolder() {
    return SiteSettings::load(state().AppPath).backupFolderPath(state().AppPath);
}

QString backupFolderProblem(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("The backup folder %1 is a file, not a folder.").arg(shown(folder));
    if (!info.exists() && !QDir().mkpath(folder))
        return QStringLiteral("The backup folder %1 does not exist and could not be created.")
            .arg(shown(folder));
    // Whether a file can be made there is the only reliable test: permissions alone do not
    // tell about a read-only disk, a full quota or an administrator's rights.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("tavrel-XXXXXX.probe")));
    if (!probe.open())
        return QStringLiteral("The backup folder %1 cannot be written to.").arg(shown(folder));
    return {};
}

void thinBackups(const QString& folder, const QDate& today, const BackupCounts& counts) {
    reportNotRemoved(rotateBackups(folder, today, counts));
}

bool dailyBackupDue(const QString& folder, const QDate& today) {
    for (const BackupFile& backup : listBackups(folder))
        if (backup.reason == QLatin1String(BackupReason::Daily) && backup.taken.date() == today)
            return false;
    return true;
}

QString backupBefore(const QString& reason) {
    // A server's database is backed up by the server's own tools (pg_dump), not by copying
    // a file.
    if (state().dbMain.isServer())
        return {};
    const SiteSettings settings = SiteSettings::load(state().AppPath);
    const QString folder = settings.backupFolderPath(state().AppPath);
    // A backup that cannot be made is said once and the operation goes on: the user asked
    // for it, and a broken backup folder (a USB stick left at home) must not keep anybody
    // from their work. The operations are each one transaction, so they never leave a
    // half-changed file behind either way.
    if (!usableFolder(folder)) {
        ++state().BackupsMissed;
        return {};
    }
    const BackupResult made = makeBackup(state().DbPath, folder, reason, ui().now());
    if (!made.ok()) {
        ++state().BackupsMissed;
        ui().msgBox(QStringLiteral("No backup could be made before %1. %2 Tavrel goes on "
                                   "without it.")
                        .arg(operationText(reason), made.error),
                    MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
        return {};
    }
    thinBackups(folder, ui().today(), settings.backupCounts);
    return made.path;
}

QString backupBeforeRestore(const QString& workingFolder, const QString& databasePath,
                            QString* kept) {
    kept->clear();
    if (!QFileInfo::exists(databasePath))
        return {};
    const SiteSettings settings = SiteSettings::load(workingFolder);
    const QString folder = settings.backupFolderPath(workingFolder);
    const BackupResult made = makeBackup(
        databasePath, folder, QString::fromLatin1(BackupReason::BeforeRestore), ui().now());
    if (made.ok()) {
        *kept = made.path;
        thinBackups(folder, ui().today(), settings.backupCounts);
        return {};
    }
    return databaseFault(databasePath).isEmpty() ? made.error : QString();
}

DailyBackup::DailyBackup(QObject* parent)
    : QObject(parent) {}

DailyBackup::~DailyBackup() {
    // Whoever owns this waits with finish() first; a backup still running here (the
    // program ending some other way) is stopped rather than left to a thread without owner.
    if (thread_) {
        stop_ = true;
        thread_->wait();
    }
}

bool DailyBackup::isRunning() const {
    return thread_ && !thread_->isFinished();
}

bool DailyBackup::startIfDue() {
    if (thread_ || !state().dbMain.isOpen() || state().dbMain.isServer())
        return false;
    const SiteSettings settings = SiteSettings::load(state().AppPath);
    const QString folder = settings.backupFolderPath(state().AppPath);
    const QDate today = ui().today();
    if (!usableFolder(folder) || !dailyBackupDue(folder, today))
        return false;
    const QString database = state().DbPath;
    const QDateTime when = ui().now();
    const BackupCounts counts = settings.backupCounts;
    stop_ = false;
    notRemoved_.clear();
    done_ = 0;
    total_ = 0;
    // Only copies of values cross to the worker; it touches no state of the program's and
    // shows nothing. What it made is read back once the thread has ended (wait()).
    thread_.reset(QThread::create([this, database, folder, when, today, counts] {
        BackupResult made = makeBackup(database, folder, QString::fromLatin1(BackupReason::Daily),
                                       when, [this](int done, int total) {
                                           done_ = done;
                                           total_ = total;
                                           if (observer_)
                                               observer_(done, total);
                                           return !stop_;
                                       });
        if (made.ok())
            notRemoved_ = rotateBackups(folder, today, counts);
        result_ = made;
    }));
    connect(thread_.get(), &QThread::finished, this, &DailyBackup::collect, Qt::QueuedConnection);
    // Idle: the copy takes only what the program and the user leave of the processor.
    thread_->start(QThread::IdlePriority);
    return true;
}

void DailyBackup::finish() {
    if (!thread_)
        return;
    if (!thread_->isFinished()) {
        const std::unique_ptr<Progress> progress = ui().progress(
            BackupsTitle, QStringLiteral("Finishing today's backup of the database..."),
            PercentDone, ProgressCancel::Offered);
        for (;;) {
            const int total = total_;
            progress->setValue(total > 0 ? int(qint64(done_) * PercentDone / total) : 0);
            if (progress->wasCanceled())
                stop_ = true;
            if (thread_->wait(QDeadlineTimer(FinishPollMs)))
                break;
        }
    }
    collect();
}

void DailyBackup::collect() {
    if (!thread_)
        return;
    thread_->wait();
    thread_.reset();
    // Stopped on purpose is no failure: the user chose to leave without it.
    if (!result_.ok() && !result_.stopped)
        ui().msgBox(QStringLiteral("Today's backup of the database could not be made. ") +
                        result_.error,
                    MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
    reportNotRemoved(notRemoved_);
    Q_EMIT ended();
}

} // namespace tavrel
