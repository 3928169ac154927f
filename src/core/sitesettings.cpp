#include "core/sitesettings.h"

#include <QDir>
#include <QSettings>

#include <algorithm>

namespace tavrel {

namespace {

const QString FileName = QStringLiteral("tavrel.conf");
const QString FolderKey = QStringLiteral("backups/folder");
const QString DaysKey = QStringLiteral("backups/days");
const QString WeeksKey = QStringLiteral("backups/weeks");
const QString MonthsKey = QStringLiteral("backups/months");
const QString OthersKey = QStringLiteral("backups/others");
const QString UrlKey = QStringLiteral("database/url");
const QString TargetKey = QStringLiteral("dashboard/target");

QString notSaved(const QString& path) {
    return QStringLiteral("The settings could not be saved in %1.")
        .arg(QDir::toNativeSeparators(path));
}

// A count of the file: a whole number from `least` on, or the default. The daily and the
// other copies keep at least one, so that rotation always leaves the latest of each.
int countOf(const QSettings& s, const QString& key, int fallback, int least) {
    bool ok = false;
    const int value = s.value(key).toString().trimmed().toInt(&ok);
    return ok && value >= least && value <= 10000 ? value : fallback;
}

// Sets one key of the folder's file, leaving the rest of it as it is.
bool saveOne(const QString& workingFolder, const QString& key, const QVariant& value,
             QString* error) {
    const QString path = QDir(workingFolder).filePath(FileName);
    QSettings s(path, QSettings::IniFormat);
    s.setValue(key, value);
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = notSaved(path);
    return false;
}

} // namespace

SiteSettings SiteSettings::load(const QString& workingFolder) {
    const QSettings s(QDir(workingFolder).filePath(FileName), QSettings::IniFormat);
    SiteSettings settings;
    const QString folder = s.value(FolderKey).toString().trimmed();
    if (!folder.isEmpty())
        settings.backupFolder = folder;
    const BackupCounts defaults;
    settings.backupCounts.days = countOf(s, DaysKey, defaults.days, 1);
    settings.backupCounts.weeks = countOf(s, WeeksKey, defaults.weeks, 0);
    settings.backupCounts.months = countOf(s, MonthsKey, defaults.months, 0);
    settings.backupCounts.others = countOf(s, OthersKey, defaults.others, 1);
    settings.databaseUrl = s.value(UrlKey).toString().trimmed();
    bool ok = false;
    const int target = s.value(TargetKey).toString().trimmed().toInt(&ok);
    if (ok && target >= 0 && target <= MaxOnTimeTarget)
        settings.onTimeTarget = target;
    return settings;
}

bool SiteSettings::save(const QString& workingFolder, QString* error) const {
    const QString path = QDir(workingFolder).filePath(FileName);
    QSettings s(path, QSettings::IniFormat);
    s.setValue(FolderKey, backupFolder);
    s.setValue(DaysKey, backupCounts.days);
    s.setValue(WeeksKey, backupCounts.weeks);
    s.setValue(MonthsKey, backupCounts.months);
    s.setValue(OthersKey, backupCounts.others);
    if (databaseUrl.isEmpty())
        s.remove(UrlKey);
    else
        s.setValue(UrlKey, databaseUrl);
    s.setValue(TargetKey, onTimeTarget);
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = notSaved(path);
    return false;
}

bool SiteSettings::saveDatabaseUrl(const QString& workingFolder, const QString& url,
                                   QString* error) {
    return saveOne(workingFolder, UrlKey, url, error);
}

bool SiteSettings::saveOnTimeTarget(const QString& workingFolder, int percent, QString* error) {
    return saveOne(workingFolder, TargetKey, std::clamp(percent, 0, MaxOnTimeTarget), error);
}

QString SiteSettings::backupFolderPath(const QString& workingFolder) const {
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(backupFolder));
}

} // namespace tavrel
