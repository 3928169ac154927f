#include "support/testenv.h"

#include "core/errortrap.h"
#include "text/datetext.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <optional>

namespace tavrel::test {

void isolateUserSettings() {
    static QTemporaryDir settingsDir;
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
}

FreshProgramState::FreshProgramState() {
    installErrorPolicy();
    beginUserAction();
    resetDateFormat();
}

void resetProgramState() {
    // The old state goes first, so that its connection is closed before the next opens.
    static std::optional<FreshProgramState> current;
    current.reset();
    current.emplace();
    isolateUserSettings();
}

TempWorkFolder::TempWorkFolder(int year, const QString& extraSql, bool openMain)
    : TempDatabase(year, extraSql) {
    // Tests that install no state of their own get the test run's fresh one.
    if (!hasState())
        resetProgramState();
    state().AppPath = QDir(path()).absolutePath() + QLatin1Char('/');
    state().DbPath = onServer() ? dbPath() : state().AppPath + QStringLiteral("tavrel.mdb");
    if (openMain)
        state().dbMain = Database::open(state().DbPath);
}

TempWorkFolder::~TempWorkFolder() {
    state().rsTasks.close();
    state().rsAssign.close();
    state().dbMain.close();
}

QList<int> weeksEvery(int days, const QDate& start, int year, int firstK) {
    QDate monday(year, 1, 1);
    while (monday.dayOfWeek() != 1)
        monday = monday.addDays(1);
    QList<int> weeks;
    for (int offset = 0; offset < 52 * 7; ++offset) {
        const qint64 fromStart = start.daysTo(monday.addDays(offset));
        if (fromStart >= qint64(days) * firstK && fromStart % days == 0)
            weeks << offset / 7 + 1;
    }
    return weeks;
}

} // namespace tavrel::test
