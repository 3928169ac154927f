#include "support/testenv.h"

#include "core/errortrap.h"
#include "core/globals.h"
#include "data/schema.h"

#include <QDir>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <optional>

namespace tavrel::test {

void useTestLocale(const char* locale) {
    QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
}

void isolateUserSettings() {
    static QTemporaryDir settingsDir;
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
}

FreshProgramState::FreshProgramState() {
    installErrorPolicy();
    beginUserAction();
    DateOrder = QStringLiteral("mdy");
    DateSeparator = QStringLiteral("/");
}

void resetProgramState() {
    // The old state goes first, so that its connection is closed before the next opens.
    static std::optional<FreshProgramState> current;
    current.reset();
    current.emplace();
    isolateUserSettings();
}

namespace {

// A connection of its own, so test setup and checks never go through the code under test.
class RawConnection {
public:
    explicit RawConnection(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(db_, 2000);
    }
    ~RawConnection() { sqlite3_close(db_); }
    sqlite3* db() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

} // namespace

TempWorkFolder::TempWorkFolder(int year, const QString& extraSql, bool openMain) {
    if (!dir_.isValid())
        qFatal("cannot create a temporary folder");
    QString error;
    if (!createTaskDatabase(dbPath(), year, &error))
        qFatal("cannot create the test database: %s", qPrintable(error));
    if (!extraSql.isEmpty())
        exec(extraSql);
    // Tests of the data layer alone install no state of their own; the folder's paths go
    // into the test run's.
    if (!hasState())
        resetProgramState();
    state().AppPath = QDir(dir_.path()).absolutePath() + QLatin1Char('/');
    state().DbPath = state().AppPath + QStringLiteral("tavrel.mdb");
    state().HelpPath = state().AppPath + QStringLiteral("tavrel.hlp");
    if (openMain)
        state().dbMain = Database::open(state().DbPath);
}

TempWorkFolder::~TempWorkFolder() {
    state().rsTasks.close();
    state().rsAssign.close();
    state().dbMain.close();
}

QString TempWorkFolder::dbPath() const {
    return file(QStringLiteral("tavrel.mdb"));
}

QString TempWorkFolder::file(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void TempWorkFolder::exec(const QString& sqliteSql) const {
    RawConnection c(dbPath());
    char* message = nullptr;
    if (sqlite3_exec(c.db(), sqliteSql.toUtf8().constData(), nullptr, nullptr, &message) !=
        SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        qFatal("test setup SQL failed: %s", qPrintable(text));
    }
}

QVariant TempWorkFolder::scalar(const QString& sqliteSql) const {
    RawConnection c(dbPath());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(c.db(), sqliteSql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("test query failed: %s", sqlite3_errmsg(c.db()));
    QVariant result;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        switch (sqlite3_column_type(stmt, 0)) {
        case SQLITE_INTEGER:
            result = qlonglong(sqlite3_column_int64(stmt, 0));
            break;
        case SQLITE_FLOAT:
            result = sqlite3_column_double(stmt, 0);
            break;
        case SQLITE_NULL:
            break;
        default:
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
    }
    sqlite3_finalize(stmt);
    return result;
}

} // namespace tavrel::test
