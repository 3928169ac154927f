#include "support/tempdatabase.h"

#include "data/schema.h"
#include "support/rawdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <sqlite3.h>

namespace tavrel::test {

void useTestLocale(const char* locale) {
    QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
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

TempDatabase::TempDatabase(int year, const QString& extraSql) {
    if (!dir_.isValid())
        qFatal("cannot create a temporary folder");
    QString error;
    if (!createTaskDatabase(dbPath(), year, &error))
        qFatal("cannot create the test database: %s", qPrintable(error));
    if (!extraSql.isEmpty())
        exec(extraSql);
}

TempDatabase::TempDatabase(CopyOf copy) {
    if (!dir_.isValid() || !QFile::copy(copy.model.dbPath(), dbPath()))
        qFatal("cannot copy the test database");
}

QString TempDatabase::dbPath() const {
    return file(QStringLiteral("tavrel.mdb"));
}

QString TempDatabase::file(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void TempDatabase::exec(const QString& sqliteSql) const {
    RawConnection c(dbPath());
    char* message = nullptr;
    if (sqlite3_exec(c.db(), sqliteSql.toUtf8().constData(), nullptr, nullptr, &message) !=
        SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        qFatal("test setup SQL failed: %s", qPrintable(text));
    }
}

QVariant TempDatabase::scalar(const QString& sqliteSql) const {
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

QString everything(const QString& path) {
    const RawDb db(path);
    QString all = db.rows(QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name"))
                      .join(QLatin1Char('\n'));
    all += db.text(QStringLiteral("PRAGMA page_size"));
    for (const QString& table :
         db.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY 1")))
        all += db.rows(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table.mid(2)))
                   .join(QLatin1Char('\n'));
    return all;
}

QString siteRows(const QString& path) {
    const RawDb db(path);
    QStringList all = db.rows(QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY "
                                             "name"));
    for (const QString& table :
         db.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                "<> 'sqlite_sequence' ORDER BY 1")))
        all << table
            << db.rows(
                   QStringLiteral("SELECT rowid, * FROM \"%1\" ORDER BY rowid").arg(table.mid(2)));
    all << db.rows(QStringLiteral("SELECT name, seq FROM sqlite_sequence ORDER BY name"));
    return all.join(QLatin1Char('\n'));
}

bool damageLeafOf(const QString& path, const QString& table) {
    const QList<qint64> pages = RawDb(path).column(
        QStringLiteral("SELECT pageno FROM dbstat WHERE name = '%1' AND pagetype = 'leaf'")
            .arg(table));
    if (pages.size() <= 4)
        return false;
    const qint64 page = pages.at(pages.size() / 2);
    const int pageSize = RawDb(path).text(QStringLiteral("PRAGMA page_size")).toInt();
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek((page - 1) * pageSize) &&
           f.write(QByteArray(pageSize, '\x5a')) == pageSize;
}

QByteArray digest(const QString& path) {
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

} // namespace tavrel::test
