#include "support/tempdatabase.h"

#include "data/schema.h"
#include "support/rawdb.h"
#include "support/testserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <map>
#include <mutex>

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

bool testsOnServer() {
    return qEnvironmentVariable("TAVREL_TEST_BACKEND") == QLatin1String("server");
}

namespace {

// The site folder's settings naming the server database it works on.
void pointFolderAt(const QString& folder, const QString& url) {
    if (!writeFile(QDir(folder).filePath(QStringLiteral("tavrel.conf")),
                   QStringLiteral("[database]\nurl=%1\n").arg(url).toUtf8()))
        qFatal("cannot write tavrel.conf");
}

// The schema with a year's weeks and settings, made once per test program, cluster and year
// and copied for each database after: a copy is quicker than the schema's statements. (A
// test may start a cluster of its own: the run's has its templates still when it is back.)
const ServerDatabase& serverTemplate(int year) {
    static std::mutex lock;
    static std::map<std::pair<QString, int>, std::unique_ptr<ServerDatabase>> templates;
    const std::lock_guard guard(lock);
    std::unique_ptr<ServerDatabase>& made = templates[{ServerDatabase::socketDir(), year}];
    if (made)
        return *made;
    made = std::make_unique<ServerDatabase>();
    QFile schema(QStringLiteral(":/sql/tavrel_schema_pg.sql"));
    if (!made->isValid() || !schema.open(QIODevice::ReadOnly))
        qFatal("cannot create a test database on the server");
    QString script = QString::fromUtf8(schema.readAll());
    const QList<QDate> mondays = weekMondays(year);
    for (int week = 0; week < mondays.size(); ++week)
        script += QStringLiteral("INSERT INTO weeks (weeid, curdate) VALUES (%1, '%2');\n")
                      .arg(week + 1)
                      .arg(mondays[week].toString(Qt::ISODate));
    script += newSettingsRowSql(year);
    if (!made->exec(script))
        qFatal("cannot create the test database's tables on the server");
    return *made;
}

} // namespace

TempDatabase::TempDatabase(int year, const QString& extraSql) {
    if (!dir_.isValid())
        qFatal("cannot create a temporary folder");
    if (testsOnServer()) {
        server_ = std::make_unique<ServerDatabase>(serverTemplate(year).name());
        if (!server_->isValid())
            qFatal("cannot create a test database on the server");
        pointFolderAt(dir_.path(), server_->url());
    } else {
        QString error;
        if (!createTaskDatabase(dbPath(), year, &error))
            qFatal("cannot create the test database: %s", qPrintable(error));
    }
    if (!extraSql.isEmpty())
        exec(extraSql);
}

TempDatabase::TempDatabase(CopyOf copy) {
    if (!dir_.isValid())
        qFatal("cannot create a temporary folder");
    if (copy.model.server_) {
        server_ = std::make_unique<ServerDatabase>(copy.model.server_->name());
        if (!server_->isValid())
            qFatal("cannot copy the test database on the server");
        pointFolderAt(dir_.path(), server_->url());
    } else if (!QFile::copy(copy.model.dbPath(), dbPath())) {
        qFatal("cannot copy the test database");
    }
}

TempDatabase::~TempDatabase() = default;

QString TempDatabase::dbPath() const {
    return server_ ? server_->url() : file(QStringLiteral("tavrel.mdb"));
}

QString TempDatabase::file(const QString& name) const {
    return QDir(dir_.path()).filePath(name);
}

void TempDatabase::exec(const QString& sqliteSql) const {
    if (server_) {
        // Rows written with their keys leave the counters where they were: move each on
        // past the highest key, as a file's counter moves by itself.
        if (!server_->exec(sqliteSql) ||
            !server_->exec(QStringLiteral(
                "DO $$ DECLARE r record; m bigint; BEGIN "
                "FOR r IN SELECT table_name, column_name FROM information_schema.columns "
                "WHERE is_identity = 'YES' AND table_schema = 'public' LOOP "
                "EXECUTE format('SELECT max(%I) FROM %I', r.column_name, r.table_name) INTO m; "
                "IF m IS NOT NULL THEN "
                "PERFORM setval(pg_get_serial_sequence(r.table_name, r.column_name), m); "
                "END IF; END LOOP; END $$")))
            qFatal("test setup SQL failed on the server: %s", qPrintable(sqliteSql));
        return;
    }
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
    const QVariantList values = column(sqliteSql);
    return values.isEmpty() ? QVariant() : values.first();
}

QVariantList TempDatabase::column(const QString& sql) const {
    if (server_)
        return server_->typedColumn(sql);
    RawConnection c(dbPath());
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(c.db(), sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        qFatal("test query failed: %s", sqlite3_errmsg(c.db()));
    QVariantList values;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        switch (sqlite3_column_type(stmt, 0)) {
        case SQLITE_INTEGER:
            values << qlonglong(sqlite3_column_int64(stmt, 0));
            break;
        case SQLITE_FLOAT:
            values << sqlite3_column_double(stmt, 0);
            break;
        case SQLITE_NULL:
            values << QVariant();
            break;
        default:
            values << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
    }
    sqlite3_finalize(stmt);
    return values;
}

QStringList TempDatabase::texts(const QString& sql) const {
    QStringList texts;
    for (const QVariant& value : column(sql))
        texts << value.toString();
    return texts;
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
