#include "legacy/converter.h"

#include "core/operation.h"
#include "data/database.h"
#include "data/errortrap.h"
#include "data/rowinserter.h"
#include "data/schema.h"
#include "data/units.h"

#include <QFile>

namespace tavrel {

namespace {

// The tables of each file, in the order they are written and summed up.
const QStringList TaskTables = {
    QStringLiteral("tasks"),     QStringLiteral("taskweeks"), QStringLiteral("weeks"),
    QStringLiteral("assign"),    QStringLiteral("employees"), QStringLiteral("managers"),
    QStringLiteral("locations"), QStringLiteral("types"),     QStringLiteral("settings")};
const QStringList CatalogueTables = {QStringLiteral("RptSpec")};

// Columns that later versions of the program added, and what goes with each. A file that
// lacks one gets a new file without it, so that the schema upgrade adds it at the next
// start and fills the assignments' location and type from their tasks, as on any old file.
struct AddedColumn {
    const char* table;
    QStringList columns;
};
const QList<AddedColumn> UpgradeColumns = {
    {"tasks", {QStringLiteral("curyearonly")}},
    {"tasks", {QStringLiteral("empid")}},
    {"assign", {QStringLiteral("locid"), QStringLiteral("typid")}}};

const QStringList& tablesOf(LegacyFileKind kind) {
    return kind == LegacyFileKind::TaskDatabase ? TaskTables : CatalogueTables;
}

const LegacyTable* findTable(const QList<LegacyTable>& tables, const QString& name) {
    for (const LegacyTable& t : tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

qsizetype findColumn(const LegacyTable& table, const QString& name) {
    for (qsizetype i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString schemaScript(LegacyFileKind kind) {
    QStringList names = kind == LegacyFileKind::TaskDatabase
                            ? QStringList{QStringLiteral(":/sql/tavrel_schema.sql")}
                            : QStringList{QStringLiteral(":/sql/rptspec_schema.sql")};
    QString script;
    for (const QString& name : names) {
        QFile f(name);
        if (f.open(QIODevice::ReadOnly))
            script += QString::fromUtf8(f.readAll());
    }
    return script;
}

// The statements that take out the added columns the legacy file does not have yet.
QString withoutMissingUpgradeColumns(const QList<LegacyTable>& tables) {
    QString script;
    for (const AddedColumn& added : UpgradeColumns) {
        const LegacyTable* table = findTable(tables, QString::fromLatin1(added.table));
        if (!table || findColumn(*table, added.columns.first()) >= 0)
            continue;
        for (const QString& column : added.columns)
            script += QStringLiteral("ALTER TABLE %1 DROP COLUMN %2;\n")
                          .arg(QString::fromLatin1(added.table), column);
    }
    return script;
}

QStringList programColumns(Database& db, const QString& table) {
    Recordset rs =
        db.openRecordset(QStringLiteral("select * from %1").arg(table), RecordsetType::Snapshot);
    return rs.isOpen() ? rs.fieldNames() : QStringList{};
}

// Copies one table; rows that cannot be read or written are listed and skipped.
int copyTable(LegacySource& source, const LegacyTable& from, Database& db, const QString& to,
              QStringList* skipped) {
    QStringList columns;
    QList<qsizetype> sourceIndex;
    for (const QString& column : programColumns(db, to)) {
        const qsizetype i = findColumn(from, column);
        if (i >= 0 && from.columns[i].type != LegacyType::Other) {
            columns << column;
            sourceIndex << i;
        }
    }
    if (columns.isEmpty())
        return 0;
    RowInserter inserter(db, to, columns);
    if (!inserter.isReady())
        return 0;
    int written = 0;
    auto skip = [&](int rowNumber, const QString& why) {
        *skipped << QStringLiteral("%1, row %2: %3").arg(to).arg(rowNumber).arg(why);
    };
    int rowNumber = 0;
    const bool read = source.readRows(
        from.name,
        [&](const QList<QVariant>& stored) {
            ++rowNumber;
            if (operationFailed())
                return;
            QList<QVariant> values;
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const LegacyColumn& column = from.columns[sourceIndex[c]];
                const QVariant value = stored.value(sourceIndex[c]);
                if (column.type == LegacyType::Date && !value.isNull() &&
                    !jetDateTime(value.toDouble())) {
                    skip(rowNumber, QStringLiteral("%1 holds no date of the years 100 to 9999")
                                        .arg(column.name));
                    return;
                }
                values << programValue(column.type, value);
            }
            QString failure;
            {
                // A row the new file refuses is skipped; a file that takes no more rows (full,
                // read-only, locked) ends the import.
                ErrorTrap trap([&failure](const DbError& e) {
                    if (e.number == ErrFileIo || e.number == ErrReadOnly ||
                        e.number == ErrLockedByUser || e.number == ErrRecordLocked)
                        recordOperationFailure(e);
                    else
                        failure = e.description;
                });
                inserter.insert(values);
            }
            if (failure.isEmpty() && !operationFailed())
                ++written;
            else if (!failure.isEmpty())
                skip(rowNumber, failure);
        },
        [&](int number, const QString& why) {
            rowNumber = number;
            skip(number, why);
        });
    if (!read)
        raiseError(ErrFileIo, QStringLiteral("The table %1 could not be read.").arg(from.name));
    return written;
}

// The weeks and settings a program's database cannot do without, for a file that lacks them.
void addMissingYear(Database& db, const ConversionSummary& summary, int yearIfMissing) {
    int year = yearIfMissing;
    if (summary.createdEmpty.contains(QStringLiteral("settings"))) {
        RowInserter settings(db, QStringLiteral("settings"), {QStringLiteral("CurYear")});
        settings.insert({year});
    } else {
        Recordset rs = db.openRecordset(QStringLiteral("select CurYear from settings"),
                                        RecordsetType::Snapshot);
        if (rs.isOpen() && rs.recordCount() > 0 && rs.value(QStringLiteral("CurYear")).toInt() > 0)
            year = rs.value(QStringLiteral("CurYear")).toInt();
    }
    if (summary.createdEmpty.contains(QStringLiteral("weeks"))) {
        RowInserter weeks(db, QStringLiteral("weeks"),
                          {QStringLiteral("weeid"), QStringLiteral("curdate")});
        const QList<QDate> mondays = weekMondays(year);
        for (int week = 1; week <= WeeksPerYear; ++week)
            weeks.insert({week, mondays[week - 1]});
    }
}

} // namespace

QString ConversionSummary::text() const {
    QStringList lines;
    for (const Count& c : converted)
        lines << QStringLiteral("  %1: %2 %3")
                     .arg(c.table)
                     .arg(c.rows)
                     .arg(c.rows == 1 ? QStringLiteral("row") : QStringLiteral("rows"));
    if (!createdEmpty.isEmpty())
        lines << QStringLiteral("Not in the file, written new: %1.")
                     .arg(createdEmpty.join(QStringLiteral(", ")));
    if (!skippedRows.isEmpty()) {
        lines << QStringLiteral("Rows that could not be read (%1):").arg(skippedRows.size());
        for (const QString& row : skippedRows)
            lines << QStringLiteral("  ") + row;
    }
    return lines.join(QLatin1Char('\n'));
}

bool holdsProgramTables(const LegacySource& source, LegacyFileKind kind) {
    // The table every file of that kind is about, with its key: another program's file
    // may well have a table called employees, but not this.
    const QString table =
        kind == LegacyFileKind::TaskDatabase ? QStringLiteral("tasks") : QStringLiteral("RptSpec");
    const QString key =
        kind == LegacyFileKind::TaskDatabase ? QStringLiteral("taskid") : QStringLiteral("specid");
    const QList<LegacyTable> tables = source.tables();
    const LegacyTable* found = findTable(tables, table);
    return found && findColumn(*found, key) >= 0;
}

bool convertLegacyFile(LegacySource& source, LegacyFileKind kind, const QString& newPath,
                       int yearIfMissing, ConversionSummary* summary, QString* error) {
    ConversionSummary done;
    const QList<LegacyTable> tables = source.tables();
    if (!holdsProgramTables(source, kind)) {
        *error = kind == LegacyFileKind::TaskDatabase
                     ? QStringLiteral("It holds no task data (no table tasks).")
                     : QStringLiteral("It holds no field catalogue (no table RptSpec).");
        return false;
    }
    // The schema and every row are one operation: the new file holds all of it or, as it
    // is removed then, nothing is left of it.
    const bool written = createDatabaseFile(
        newPath,
        [&](Database& db) {
            RunAllOrNothing(db, [&] {
                db.executeScript(schemaScript(kind) + withoutMissingUpgradeColumns(tables));
                for (const QString& name : tablesOf(kind)) {
                    if (operationFailed())
                        return;
                    if (const LegacyTable* table = findTable(tables, name))
                        done.converted << ConversionSummary::Count{
                            name, copyTable(source, *table, db, name, &done.skippedRows)};
                    else
                        done.createdEmpty << name;
                }
                if (!operationFailed() && kind == LegacyFileKind::TaskDatabase)
                    addMissingYear(db, done, yearIfMissing);
            });
        },
        error);
    if (written)
        *summary = done;
    return written;
}

} // namespace tavrel
