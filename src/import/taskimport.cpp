#include "import/taskimport.h"

#include "core/backups.h"
#include "core/errortrap.h"
#include "core/operation.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/backup.h"
#include "data/database.h"
#include "data/rowinserter.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <QHash>

#include <algorithm>

namespace tavrel {

namespace {

// How many rows the progress window moves on by.
constexpr int ProgressStep = 250;
constexpr int NumberDigits = 15; // all a double holds exactly
// A date cell before this is a time of day alone (day 0 of the spreadsheet's dates).
const QDate FirstSheetDate(1900, 1, 1);

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

} // namespace

QString sheetCellText(const SheetCell& cell) {
    switch (cell.kind) {
    case SheetCell::Kind::Number:
        return QString::number(cell.number, 'g', NumberDigits);
    case SheetCell::Kind::Date:
        return cell.dateTime.time() == QTime(0, 0) ? shortDate(cell.dateTime.date())
                                                   : generalDate(cell.dateTime);
    case SheetCell::Kind::Text:
    case SheetCell::Kind::Bool:
    case SheetCell::Kind::Error:
        break;
    }
    return cell.text;
}

namespace {

// A character no field can hold: a control character other than tab and line breaks.
bool hasControlCharacter(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            return true;
    return false;
}

// A list of names in the order they first come, each kept once as first spelt.
class NewNames {
public:
    void add(const QString& name) {
        if (seen_.insert(name).second)
            names_ << name;
    }
    QStringList names() const { return names_; }

private:
    std::set<QString, TextLess> seen_;
    QStringList names_;
};

// Checks one row's cell for its field; the value goes into the row, what keeps it out into
// its problems.
class RowChecker {
public:
    RowChecker(const ImportLookups& lookups, NewNames& locations, NewNames& types)
        : lookups_(lookups)
        , locations_(locations)
        , types_(types) {}

    void check(ImportRow& row, const ImportFieldInfo& info, const SheetCell* cell) const {
        QVariant& value = row.values[size_t(int(info.field) - 1)];
        const QString& label = info.label;
        if (cell && cell->kind == SheetCell::Kind::Error) {
            row.problems
                << QStringLiteral("%1: the cell holds the error %2").arg(label, cell->text);
            return;
        }
        switch (info.kind) {
        case ImportKind::Line:
        case ImportKind::Lines:
            value = text(row, info, cell);
            return;
        case ImportKind::Number:
            value = number(row, label, cell);
            return;
        case ImportKind::Date:
            value = date(row, label, cell);
            return;
        case ImportKind::Location:
        case ImportKind::Type:
            value = code(row, info, cell);
            return;
        }
    }

private:
    // A text as the field keeps it: one line where the field has one, within its length.
    static QString text(ImportRow& row, const ImportFieldInfo& info, const SheetCell* cell) {
        // An empty field is saved as the editor saves an empty box: an empty text, not null.
        const QString t = cell ? sheetCellText(*cell).trimmed() : QStringLiteral("");
        if (info.kind != ImportKind::Lines && (t.contains(u'\n') || t.contains(u'\r')))
            row.problems << QStringLiteral("%1 has more than one line").arg(info.label);
        else if (hasControlCharacter(t))
            row.problems << QStringLiteral("%1 holds a control character").arg(info.label);
        if (info.maxLength > 0 && t.size() > info.maxLength)
            row.problems << QStringLiteral("%1 is %2 characters long; it takes at most %3")
                                .arg(info.label)
                                .arg(t.size())
                                .arg(info.maxLength);
        return t;
    }

    // Hours and minutes as their boxes take them: empty is 0, a text is read in the user's
    // locale, and a number must be one the column keeps as it is.
    QVariant number(ImportRow& row, const QString& label, const SheetCell* cell) const {
        if (!cell)
            return 0.0;
        std::optional<float> single;
        QString shown;
        switch (cell->kind) {
        case SheetCell::Kind::Number:
            single = singleFromNumber(cell->number);
            shown = sheetCellText(*cell);
            break;
        case SheetCell::Kind::Text: {
            shown = cell->text.trimmed();
            if (shown.isEmpty())
                return 0.0;
            // Read once, as singleFromText() reads it, to tell "no number" from "not kept";
            // a column of hours holds the same few texts again and again.
            auto known = numbers_.constFind(shown);
            if (known == numbers_.constEnd()) {
                const std::optional<double> typed = toNumber(shown);
                known = numbers_.insert(
                    shown, {typed.has_value(), typed ? singleFromNumber(*typed) : std::nullopt});
            }
            if (!known->first) {
                row.problems << QStringLiteral("%1: %2 is not a number").arg(label, quoted(shown));
                return {};
            }
            single = known->second;
            break;
        }
        case SheetCell::Kind::Date:
        case SheetCell::Kind::Bool:
        case SheetCell::Kind::Error:
            row.problems
                << QStringLiteral("%1: %2 is not a number").arg(label, sheetCellText(*cell));
            return {};
        }
        if (!single) {
            row.problems << QStringLiteral("%1: %2 is too large or has more digits than the field "
                                           "keeps")
                                .arg(label, shown);
            return {};
        }
        return static_cast<double>(*single);
    }

    // A date as the date fields take it: empty is none, a text is read in the user's locale.
    static QVariant date(ImportRow& row, const QString& label, const SheetCell* cell) {
        if (!cell)
            return {};
        switch (cell->kind) {
        case SheetCell::Kind::Date:
            if (cell->dateTime.date() < FirstSheetDate) {
                row.problems << QStringLiteral("%1: %2 is a time of day, not a date")
                                    .arg(label, mediumTime(cell->dateTime.time()));
                return {};
            }
            return cell->dateTime.date();
        case SheetCell::Kind::Text: {
            const QString t = cell->text.trimmed();
            if (t.isEmpty())
                return {};
            if (const std::optional<QDate> d = toDate(t))
                return *d;
            row.problems << QStringLiteral("%1: %2 is not a date").arg(label, quoted(t));
            return {};
        }
        case SheetCell::Kind::Number:
            row.problems << QStringLiteral("%1: %2 is a number, not a date (a date column of the "
                                           "spreadsheet has a date format)")
                                .arg(label, sheetCellText(*cell));
            return {};
        case SheetCell::Kind::Bool:
        case SheetCell::Kind::Error:
            break;
        }
        row.problems << QStringLiteral("%1: %2 is not a date").arg(label, sheetCellText(*cell));
        return {};
    }

    // A location or type by its name: the id of the one in the list, or none and the name
    // noted as new.
    QVariant code(ImportRow& row, const ImportFieldInfo& info, const SheetCell* cell) const {
        const bool location = info.kind == ImportKind::Location;
        const qsizetype problemsBefore = row.problems.size();
        const QString name = text(row, info, cell);
        if (name.isEmpty() || row.problems.size() > problemsBefore)
            return {};
        const auto& list = location ? lookups_.locations : lookups_.types;
        const auto found = list.find(name);
        if (found == list.end()) {
            (location ? row.newLocation : row.newType) = name;
            (location ? locations_ : types_).add(name);
            return {};
        }
        if (found->second.inactive) {
            row.problems << QStringLiteral("%1 %2 is marked inactive: new tasks take none")
                                .arg(info.label, quoted(found->first));
            return {};
        }
        return qlonglong(found->second.id);
    }

    const ImportLookups& lookups_;
    NewNames& locations_;
    NewNames& types_;
    // Texts of numbers read so far: whether each is a number, and the value it stores.
    mutable QHash<QString, std::pair<bool, std::optional<float>>> numbers_;
};

// Why the columns cannot be imported as they are mapped, or nothing.
QString mappingProblem(const QStringList& headings, const QList<ImportField>& columns) {
    QHash<ImportField, int> filledBy;
    for (int c = 0; c < columns.size(); ++c) {
        const ImportField field = columns[c];
        if (field == ImportField::None)
            continue;
        if (filledBy.contains(field)) {
            const int first = filledBy.value(field);
            return QStringLiteral("The columns %1 (%2) and %3 (%4) both fill %5: choose one.")
                .arg(columnName(first), headings.value(first), columnName(c), headings.value(c),
                     fieldInfo(field).label);
        }
        filledBy.insert(field, c);
    }
    if (!filledBy.contains(ImportField::TaskName))
        return QStringLiteral("No column fills Task Name: every task needs its name.");
    return {};
}

// The site's locations or types by name.
bool readCodes(Database& db, const QString& sql,
               std::map<QString, ImportLookups::Code, TextLess>* codes) {
    Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot);
    if (!rs.isOpen())
        return false;
    while (!rs.isEOF()) {
        const QString name = rs.value(QStringLiteral("name")).toString().trimmed();
        const ImportLookups::Code code{rs.value(QStringLiteral("id")).toLongLong(),
                                       rs.value(QStringLiteral("inactive")).toBool()};
        // Where two share a name, the one still in use is the one a new task takes.
        const auto [it, added] = codes->emplace(name, code);
        if (!added && it->second.inactive && !code.inactive)
            it->second = code;
        rs.moveNext();
    }
    return true;
}

QString counted(int n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

bool readImportLookups(Database& db, ImportLookups* lookups) {
    *lookups = ImportLookups();
    if (!readCodes(db,
                   QStringLiteral("select locid as id, locdesc as name, inactive from locations"),
                   &lookups->locations) ||
        !readCodes(db, QStringLiteral("select typid as id, typdesc as name, inactive from types"),
                   &lookups->types))
        return false;
    Recordset rs =
        db.openRecordset(QStringLiteral("select taskname from tasks"), RecordsetType::Snapshot);
    if (!rs.isOpen())
        return false;
    while (!rs.isEOF()) {
        lookups->taskNames.insert(rs.value(QStringLiteral("taskname")).toString().trimmed());
        rs.moveNext();
    }
    return true;
}

QStringList ImportRow::problemsWith(bool addCodes) const {
    QStringList all = problems;
    if (!addCodes && !newLocation.isEmpty())
        all << QStringLiteral("Location %1 is not in the list of locations")
                   .arg(quoted(newLocation));
    if (!addCodes && !newType.isEmpty())
        all << QStringLiteral("Type %1 is not in the list of types").arg(quoted(newType));
    return all;
}

int TaskImport::importableCount(bool addCodes) const {
    if (!error.isEmpty())
        return 0;
    return int(std::count_if(rows.cbegin(), rows.cend(), [addCodes](const ImportRow& row) {
        return row.isImportable(addCodes);
    }));
}

QStringList TaskImport::refusals(bool addCodes) const {
    QStringList lines;
    for (const ImportRow& row : rows)
        if (!row.isImportable(addCodes))
            lines << QStringLiteral("row %1: %2")
                         .arg(row.line)
                         .arg(row.problemsWith(addCodes).join(QLatin1String("; ")));
    return lines;
}

TaskImport checkImport(const Sheet& sheet, const QList<ImportField>& columns,
                       const ImportLookups& lookups) {
    TaskImport plan;
    plan.columns = columns;
    plan.error = mappingProblem(sheet.headings, columns);
    if (!plan.error.isEmpty())
        return plan;
    // The fields filled, each with its column.
    QList<QPair<const ImportFieldInfo*, int>> filled;
    for (int c = 0; c < columns.size(); ++c)
        if (columns[c] != ImportField::None)
            filled.append({&fieldInfo(columns[c]), c});
    NewNames locations;
    NewNames types;
    const RowChecker checker(lookups, locations, types);
    // Each name's first row in the file.
    std::map<QString, int, TextLess> names;
    plan.rows.reserve(sheet.rows.size());
    // Fields no column fills are saved as the task editor saves an empty box.
    ImportRow empty;
    for (const ImportFieldInfo& info : importFields())
        checker.check(empty, info, nullptr);
    for (const SheetRow& sheetRow : sheet.rows) {
        const bool holdsAny = std::any_of(filled.cbegin(), filled.cend(), [&](const auto& f) {
            const SheetCell* cell = sheetRow.cell(f.second);
            return cell && !(cell->kind == SheetCell::Kind::Text && cell->text.trimmed().isEmpty());
        });
        if (!holdsAny)
            continue;
        ImportRow row = empty;
        row.line = sheetRow.line;
        for (const auto& [info, column] : filled)
            checker.check(row, *info, sheetRow.cell(column));
        const QString name = row.value(ImportField::TaskName).toString();
        if (name.isEmpty()) {
            row.problems.prepend(QStringLiteral("Task Name is empty"));
        } else if (lookups.taskNames.count(name) > 0) {
            row.problems << QStringLiteral("a task named %1 exists already").arg(quoted(name));
        } else {
            const auto [first, added] = names.emplace(name, row.line);
            if (!added)
                row.problems << QStringLiteral("Task Name %1 is the name of row %2 too")
                                    .arg(quoted(name))
                                    .arg(first->second);
        }
        plan.rows.append(std::move(row));
    }
    plan.newLocations = locations.names();
    plan.newTypes = types.names();
    return plan;
}

QString ImportWritten::summary() const {
    QString text = QStringLiteral("Imported %1.").arg(counted(tasks, "task", "tasks"));
    QStringList added;
    if (locations > 0)
        added << counted(locations, "location", "locations");
    if (types > 0)
        added << counted(types, "type", "types");
    if (!added.isEmpty())
        text += QStringLiteral(" Added %1 to their lists.").arg(added.join(QLatin1String(" and ")));
    return text;
}

namespace {

// Adds the names to a code table inside the running operation; their new ids by name.
bool addCodes(Database& db, const QString& sql, const QString& idColumn, const QString& nameColumn,
              const QStringList& names, std::map<QString, qint64, TextLess>* ids) {
    if (names.isEmpty())
        return true;
    Recordset rs = db.openRecordset(sql, RecordsetType::Dynaset);
    for (const QString& name : names) {
        rs.addNew();
        rs.setValue(nameColumn, name);
        const qint64 id = rs.value(idColumn).toLongLong();
        SaveLoop(rs);
        if (operationFailed())
            return false;
        ids->emplace(name, id);
    }
    return true;
}

// The task's columns, and a row's values for them: what the task editor writes for a new
// task, the employee and the weeks aside.
const QStringList TaskColumns = {
    QStringLiteral("taskname"),  QStringLiteral("manuf"),       QStringLiteral("model"),
    QStringLiteral("serialno"),  QStringLiteral("locid"),       QStringLiteral("typid"),
    QStringLiteral("Tag"),       QStringLiteral("taskdesc"),    QStringLiteral("tools"),
    QStringLiteral("results"),   QStringLiteral("besttime"),    QStringLiteral("reqhour"),
    QStringLiteral("reqmin"),    QStringLiteral("curyearonly"), QStringLiteral("misc1"),
    QStringLiteral("purchdate"), QStringLiteral("wardate")};

QList<QVariant> taskValues(const ImportRow& row,
                           const std::map<QString, qint64, TextLess>& newLocations,
                           const std::map<QString, qint64, TextLess>& newTypes) {
    using F = ImportField;
    const auto codeId = [](const QVariant& known, const QString& added,
                           const std::map<QString, qint64, TextLess>& ids) -> QVariant {
        if (added.isEmpty())
            return known;
        const auto it = ids.find(added);
        return it == ids.end() ? QVariant() : QVariant(qlonglong(it->second));
    };
    return {row.value(F::TaskName),
            row.value(F::Manuf),
            row.value(F::Model),
            row.value(F::SerialNo),
            codeId(row.value(F::Location), row.newLocation, newLocations),
            codeId(row.value(F::Type), row.newType, newTypes),
            row.value(F::Tag),
            row.value(F::TaskDesc),
            row.value(F::Tools),
            row.value(F::Results),
            row.value(F::BestTime),
            row.value(F::ReqHour),
            row.value(F::ReqMin),
            false,
            row.value(F::Misc1),
            row.value(F::PurchDate),
            row.value(F::WarDate)};
}

} // namespace

ImportWritten writeImport(Database& db, const TaskImport& plan, bool addNewCodes) {
    ImportWritten result;
    QList<const ImportRow*> rows;
    for (const ImportRow& row : plan.rows)
        if (row.isImportable(addNewCodes))
            rows << &row;
    if (!plan.error.isEmpty() || rows.isEmpty())
        return result;
    // The new names the rows written take: a name only rows left out give is not added.
    const auto takenOf = [&](const QStringList& names, QString ImportRow::*name) {
        std::set<QString, TextLess> taken;
        for (const ImportRow* row : std::as_const(rows))
            if (!(row->*name).isEmpty())
                taken.insert(row->*name);
        QStringList kept;
        if (addNewCodes)
            for (const QString& n : names)
                if (taken.count(n) > 0)
                    kept << n;
        return kept;
    };
    const QStringList locations = takenOf(plan.newLocations, &ImportRow::newLocation);
    const QStringList types = takenOf(plan.newTypes, &ImportRow::newType);
    backupBefore(QString::fromLatin1(BackupReason::BeforeTaskImport));
    const std::unique_ptr<Progress> progress =
        ui().progress(QStringLiteral("Import Tasks"), QStringLiteral("Importing tasks ..."),
                      int(rows.size()), ProgressCancel::Offered);
    ImportWritten done;
    const bool written = RunAllOrNothing(db, [&] {
        // A try that met a row another planner held starts again from the beginning.
        done = ImportWritten();
        std::map<QString, qint64, TextLess> locationIds;
        std::map<QString, qint64, TextLess> typeIds;
        if (!addCodes(db, QStringLiteral("select locid, locdesc from locations where locid = 0"),
                      QStringLiteral("locid"), QStringLiteral("locdesc"), locations,
                      &locationIds) ||
            !addCodes(db, QStringLiteral("select typid, typdesc from types where typid = 0"),
                      QStringLiteral("typid"), QStringLiteral("typdesc"), types, &typeIds))
            return;
        done.locations = int(locations.size());
        done.types = int(types.size());
        RowInserter tasks(db, QStringLiteral("tasks"), TaskColumns);
        if (!tasks.isReady())
            return;
        for (const ImportRow* row : std::as_const(rows)) {
            if (!tasks.insert(taskValues(*row, locationIds, typeIds)))
                return;
            if (++done.tasks % ProgressStep == 0) {
                progress->setValue(done.tasks);
                if (progress->wasCanceled()) {
                    cancelOperation();
                    return;
                }
            }
        }
        tasks.finish();
    });
    progress->setValue(int(rows.size()));
    if (!written)
        return result;
    done.written = true;
    if (done.locations > 0)
        state().LocationsChanged = true;
    if (done.types > 0)
        state().TypesChanged = true;
    return done;
}

} // namespace tavrel
