#pragma once

#include "data/textorder.h"
#include "import/sheet.h"
#include "import/taskmapping.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <map>
#include <set>

namespace tavrel {

class Database;

// The number of fields a column can fill (ImportField without None).
inline constexpr int ImportFieldCount = int(ImportField::Misc1);

// What the checks of an import need of the database: the locations and types by name (with
// their ids, and whether they are retired) and the names of the tasks there are. Names are
// compared as the database compares texts (without regard to case).
struct ImportLookups {
    struct Code {
        qint64 id = 0;
        bool inactive = false;
    };
    std::map<QString, Code, TextLess> locations;
    std::map<QString, Code, TextLess> types;
    std::set<QString, TextLess> taskNames;
};

// Reads them from `db` under the caller's trap; false when a read failed.
bool readImportLookups(Database& db, ImportLookups* lookups);

// One row of the sheet as the task it would become.
struct ImportRow {
    int line = 0; // the row's number in the spreadsheet
    // Each field's value (at int(field) - 1): a text, a number, a date or null; a location
    // and a type by their names.
    std::array<QVariant, ImportFieldCount> values;
    // Why the row cannot be imported.
    QStringList problems;
    // A location or type the row names that is not in its list: the row is imported only
    // when the new names are added to the lists.
    QString newLocation;
    QString newType;

    const QVariant& value(ImportField field) const { return values[size_t(int(field) - 1)]; }
    bool needsNewCodes() const { return !newLocation.isEmpty() || !newType.isEmpty(); }
    bool isImportable(bool addCodes) const {
        return problems.isEmpty() && (addCodes || !needsNewCodes());
    }
    // Everything that keeps the row out: its problems, and its new names unless they are
    // added.
    QStringList problemsWith(bool addCodes) const;
};

// A sheet's rows checked as tasks: what would be written, and why each row that would not
// be is left out. Nothing is written until writeImport().
struct TaskImport {
    QList<ImportField> columns; // the field each column fills
    // Why no row can be imported at all (no column gives the task's name, two columns give
    // the same field); empty when the rows were checked.
    QString error;
    QList<ImportRow> rows;
    // The names the rows give that are not in the lists yet, as first spelt.
    QStringList newLocations;
    QStringList newTypes;

    int importableCount(bool addCodes) const;
    // Each row that cannot be imported: "row 5: ...", with all of its problems.
    QStringList refusals(bool addCodes) const;
};

// A cell as text, the way the spreadsheet shows its value: numbers in plain digits, dates
// in the short date format.
QString sheetCellText(const SheetCell& cell);

// Checks each row of `sheet` as a new task, its columns filling the fields of `columns`.
// Texts are taken without the blanks around them; numbers and dates written as text are read
// in the user's locale, as the task editor reads them; a row that fills none of the fields
// is no task and is left out.
TaskImport checkImport(const Sheet& sheet, const QList<ImportField>& columns,
                       const ImportLookups& lookups);

// What an import wrote.
struct ImportWritten {
    bool written = false; // false: nothing was written
    int tasks = 0;
    int locations = 0;
    int types = 0;
    // "Imported 120 tasks. Added 2 locations and 1 type to their lists."
    QString summary() const;
};

// Writes every row that can be imported, and before them the new locations and types when
// `addCodes`, as one operation: all of it or nothing. A backup of the site's file is taken
// first, as before every operation that writes much at once. Failures are reported through
// the caller's trap; the user may stop a long import in its progress window, which writes
// nothing.
ImportWritten writeImport(Database& db, const TaskImport& plan, bool addCodes);

} // namespace tavrel
