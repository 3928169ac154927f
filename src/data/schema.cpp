#include "data/schema.h"

#include "data/database.h"
#include "data/errortrap.h"
#include "data/units.h"

#include <QFile>
#include <QUuid>

namespace tavrel {

namespace {

QString resourceText(const QString& name) {
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

// Writes a new database file from a schema script; a half-written file is removed.
bool createFromScript(const QString& path, const QString& script, QString* error) {
    return createDatabaseFile(
        path, [&script](Database& db) { db.executeScript(script); }, error);
}

} // namespace

bool createDatabaseFile(const QString& path, const std::function<void(Database&)>& fill,
                        QString* error) {
    if (fileNameTaken(path)) {
        if (error)
            *error = QStringLiteral("%1 already exists; it was left as it is.").arg(path);
        return false;
    }
    QString failure;
    bool created = false;
    {
        ErrorTrap trap([&failure](const DbError& e) {
            if (failure.isEmpty())
                failure = e.description;
        });
        Database db = Database::create(path);
        created = db.isOpen();
        if (failure.isEmpty())
            fill(db);
        db.close();
    }
    if (failure.isEmpty())
        return true;
    if (error)
        *error = failure;
    // Only a file this call made is removed: a name taken meanwhile stays as it is.
    if (created)
        QFile::remove(path);
    return false;
}

QList<QDate> weekMondays(int year) {
    QDate monday(year, 1, 1);
    while (monday.dayOfWeek() != Qt::Monday)
        monday = monday.addDays(1);
    QList<QDate> weeks;
    for (int week = 0; week < WeeksPerYear; ++week)
        weeks << monday.addDays(7 * week);
    return weeks;
}

QString newSettingsRowSql(int year) {
    return QStringLiteral("INSERT INTO settings (curyear, siteid) VALUES (%1, '%2');\n")
        .arg(year)
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

bool createTaskDatabase(const QString& path, int year, QString* error) {
    QString script = resourceText(QStringLiteral(":/sql/tavrel_schema.sql"));
    const QList<QDate> mondays = weekMondays(year);
    for (int week = 1; week <= WeeksPerYear; ++week)
        script += QStringLiteral("INSERT INTO weeks (weeid, curdate) VALUES (%1, '%2');\n")
                      .arg(week)
                      .arg(mondays[week - 1].toString(Qt::ISODate));
    script += newSettingsRowSql(year);

    return createFromScript(path, script, error);
}

bool createCatalogueDatabase(const QString& path, QString* error) {
    return createFromScript(path,
                            resourceText(QStringLiteral(":/sql/rptspec_schema.sql")) +
                                resourceText(QStringLiteral(":/sql/rptspec_rows.sql")),
                            error);
}

} // namespace tavrel
