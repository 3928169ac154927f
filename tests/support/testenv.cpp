#include "support/testenv.h"

#include "core/globals.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

namespace tavrel::test {

void isolateUserSettings() {
    static QTemporaryDir settingsDir;
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
}

void resetProgramState() {
    resetGlobals();
    isolateUserSettings();
}

TempWorkFolder::TempWorkFolder(int year, const QString& extraSql, bool openMain)
    : TempDatabase(year, extraSql) {
    AppPath = QDir(path()).absolutePath() + QLatin1Char('/');
    DbPath = AppPath + QStringLiteral("tavrel.mdb");
    if (openMain)
        dbMain = Database::open(DbPath);
}

TempWorkFolder::~TempWorkFolder() {
    rsTasks.close();
    rsAssign.close();
    dbMain.close();
}

} // namespace tavrel::test
