#include "core/sitesettings.h"

#include <QDir>
#include <QSettings>

namespace tavrel {

namespace {

const QString FileName = QStringLiteral("tavrel.conf");
const QString FolderKey = QStringLiteral("backups/folder");
const QString DaysKey = QStringLiteral("backups/days");
const QString WeeksKey = QStringLiteral("backups/weeks");
const QString MonthsKey = QStringLiteral("backups/months");
const QString OthersKey = QStringLiteral("backups/others");
const QString UrlKey = QStringLiteral("database/url");

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
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = notSaved(path);
    return false;
}

bool SiteSettings::saveDatabaseUrl(const QString& workingFolder, const QString& url,
                                   QString* error) {
    const QString path = QDir(workingFolder).filePath(FileName);
    QSettings s(path, QSettings::IniFormat);
    s.setValue(UrlKey, url);
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    if (error)
        *error = notSaved(path);
    return false;
}

QString SiteSettings::backupFolderPath(const QString& workingFolder) const {
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(backupFolder));
}

} // namespace tavrel
