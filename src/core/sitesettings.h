#pragma once

#include "data/backup.h"

#include <QString>

namespace tavrel {

// Settings of a site, shared by everyone who works in its folder: tavrel.conf in the
// working folder (INI). A missing file or key reads as the default.
struct SiteSettings {
    // Where backups go: an absolute folder, or one relative to the working folder.
    // Default "backups".
    QString backupFolder = QStringLiteral("backups");
    BackupCounts backupCounts;
    // The site's database on a server ([database] url=postgresql://host/dbname); empty for
    // the file tavrel.mdb in the folder. Never holds a password.
    QString databaseUrl;
    // The share of work completed on time the site aims at, in percent (0 to 100), which
    // the dashboard draws as a line. Default 90.
    int onTimeTarget = 90;
    static constexpr int MaxOnTimeTarget = 100;

    static SiteSettings load(const QString& workingFolder);
    // False, with *error set, when the file could not be written.
    bool save(const QString& workingFolder, QString* error) const;
    // backupFolder as an absolute path, resolved against the working folder.
    QString backupFolderPath(const QString& workingFolder) const;
    // Names the site's server database in the folder's tavrel.conf, leaving the rest of the
    // file as it is. False, with *error set, when the file could not be written.
    static bool saveDatabaseUrl(const QString& workingFolder, const QString& url, QString* error);
    // Sets the site's on-time target in the folder's tavrel.conf, leaving the rest as it is.
    static bool saveOnTimeTarget(const QString& workingFolder, int percent, QString* error);
};

} // namespace tavrel
