#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tavrel {

// Copies of the task database kept by the program itself: one at the first start of each
// day ("daily"), one before every operation that rewrites much at once ("before-set-year",
// "before-generate", "before-import", "before-upgrade", "before-restore"), and those the
// user asks for ("manual"). Every copy is made with SQLite's online backup API on its own
// connection, never by copying the file of an open database.

// The reasons a copy is taken for; the text is the last part of its file name.
namespace BackupReason {
inline constexpr auto Daily = "daily";
inline constexpr auto Manual = "manual";
inline constexpr auto BeforeUpgrade = "before-upgrade";
inline constexpr auto BeforeSetYear = "before-set-year";
inline constexpr auto BeforeGenerate = "before-generate";
inline constexpr auto BeforeImport = "before-import";
inline constexpr auto BeforeRestore = "before-restore";
inline constexpr auto BeforeTaskImport = "before-task-import";
} // namespace BackupReason

// One backup file as its name describes it: "tavrel-2026-12-06T081502-daily.mdb".
struct BackupFile {
    QString path;
    QDateTime taken; // local time, to the second
    QString reason;
    qint64 size = 0;
    int sequence = 1; // the second, third ... copy of the same second and reason
};

// The name of the copy taken at `when` for `reason`, without a folder. A second copy of the
// same second and reason is told apart by its sequence number before the extension:
// tavrel-2026-12-06T081502-manual.2.mdb.
QString backupFileName(const QDateTime& when, const QString& reason, int sequence = 1);

// The backup a file name describes; nothing for a name the program does not give backups
// (the temporary name of a copy being written among them).
std::optional<BackupFile> backupFileFromName(const QString& path);

// The backups in `folder`, newest first. A missing folder holds none.
QList<BackupFile> listBackups(const QString& folder);

// How many copies rotation keeps. Daily copies are thinned to one a day for the last
// `days` days, one a week for the `weeks` weeks before those, one a month for the `months`
// months before those; of the others the `others` latest are kept.
struct BackupCounts {
    int days = 7;
    int weeks = 4;
    int months = 12;
    int others = 10;
};

// The backups of `all` that rotation removes on `today`; a pure choice, nothing is removed.
QList<BackupFile> backupsToRemove(const QList<BackupFile>& all, const QDate& today,
                                  const BackupCounts& counts);

// Removes from `folder` the backups rotation chooses on `today`, naming each one removed in
// *removed. Returns a message for each that could not be removed (none when all went).
QStringList rotateBackups(const QString& folder, const QDate& today, const BackupCounts& counts,
                          QStringList* removed = nullptr);

// Called between the steps of a copy with the pages done and the pages in all; returning
// false stops the copy (it is then removed and the result says it was stopped).
using BackupProgress = std::function<bool(int done, int total)>;

struct BackupResult {
    QString path;  // the finished backup; empty when none was kept
    QString error; // the message for the user; empty on success
    bool stopped = false;
    bool ok() const { return !path.isEmpty(); }
};

// Copies the database at `databasePath` into `folder` (created when missing) under the
// name for `when` and `reason`. The copy is written under a temporary name, checked
// (quick_check), synced to disk, given the database file's permissions and owner, and only
// then renamed to its backup name; a copy that fails any step is removed, never kept under
// a backup's name. Each step copies a few pages under the source's read lock, so a writer
// on another connection waits milliseconds at most. Safe to call on a worker thread: it
// opens its own connections and touches nothing of the program's.
BackupResult makeBackup(const QString& databasePath, const QString& folder, const QString& reason,
                        const QDateTime& when, const BackupProgress& progress = {});

// What a backup holds, read from the copy: empty error when it is a complete database of
// this program (every table of the schema present and, with `check`, passing quick_check).
// A text file, a database of the earlier program, a damaged or cut-off copy each get a
// message naming the file and what is wrong with it. Without `check` it only counts, which
// is what a list of many large copies can afford.
struct BackupContents {
    QString error;
    int tasks = 0;
    int assignments = 0;
};
BackupContents inspectBackup(const QString& path, bool check = true);

// Why the database at `path` is not sound (not a database at all, cut off, damaged), or
// nothing when it is; a journal left by a write cut short is rolled back first. A file that
// is not sound cannot be copied into a backup that passes its check.
QString databaseFault(const QString& path);

// Writes the backup at `backupPath` into the database at `databasePath` through the
// online backup API on a new connection (the file is never renamed over, since another
// program may have it open), keeping the database file's permissions. Refuses, touching
// nothing, a backup inspectBackup() finds wrong. Empty on success, else the message.
// A database that databaseFault() finds not sound is not written into: it is kept beside
// itself under the name a repair gives a damaged file (named in *keptDamaged), and the
// backup takes its place in a new file with its permissions.
// The caller closes its own connections first and reopens them after (reopenEverything).
QString restoreBackup(const QString& databasePath, const QString& backupPath,
                      QString* keptDamaged = nullptr);

} // namespace tavrel
