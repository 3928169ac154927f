#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tavrel {

// The fields of a task a spreadsheet's column can fill, in the task editor's order; None
// for a column that is not imported.
enum class ImportField {
    None,
    TaskName,
    Manuf,
    Model,
    SerialNo,
    Location,
    Type,
    Tag,
    TaskDesc,
    Tools,
    Results,
    BestTime,
    ReqHour,
    ReqMin,
    PurchDate,
    WarDate,
    Misc1,
};

// What a field's cells are read as.
enum class ImportKind {
    Line,     // one line of text
    Lines,    // text of several lines
    Number,   // hours or minutes, as the number boxes take them
    Date,     // a date, or empty
    Location, // a location's name (locdesc)
    Type,     // a type's name (typdesc)
};

struct ImportFieldInfo {
    ImportField field;
    // How a mapping file names it: the task's column, or for a location or type the column
    // of its name.
    QString name;
    QString label; // as the task editor labels it
    ImportKind kind;
    int maxLength; // the longest text the column takes; 0 for no limit
};

// Every field but None, in the task editor's order.
const QList<ImportFieldInfo>& importFields();
const ImportFieldInfo& fieldInfo(ImportField field);
// The field a mapping file names, by its name or its label (letter case aside); nothing
// known: a null pointer.
const ImportFieldInfo* fieldNamed(const QString& nameOrLabel);

// How a spreadsheet's headings are told apart: blanks and line breaks as one blank, letter
// case aside.
QString headingKey(const QString& heading);

// The columns of a spreadsheet and the task fields they fill, as a mapping file keeps them:
// one "heading = field" line per column, where an empty field marks a column that is not
// imported. Lines starting with ";" and blank lines are comments.
struct TaskMapping {
    QList<QPair<QString, ImportField>> entries; // in the file's order
    QString error;                              // why the file could not be read; empty when it was

    // The field the mapping gives a heading; nothing (has == false) when it names none.
    ImportField fieldFor(const QString& heading, bool* has = nullptr) const;
    // Sets a heading's field, replacing the one it had.
    void set(const QString& heading, ImportField field);
};

TaskMapping parseTaskMapping(const QString& text);
// A file that does not exist or cannot be read is an error too.
TaskMapping readTaskMapping(const QString& path);
QString taskMappingText(const TaskMapping& mapping);
bool writeTaskMapping(const QString& path, const TaskMapping& mapping, QString* error);

// Whether a column the mapping does not name is matched by its heading: the window offers
// the field whose name or label the heading is; the command without a window imports only
// what the mapping names.
enum class Guess { ByHeading, No };

// The field of each of the sheet's columns (by column): the mapping's where it names the
// heading, otherwise as `guess` says. A column without a heading is not imported.
QList<ImportField> mapColumns(const QStringList& headings, const TaskMapping& mapping, Guess guess);

// Where the window remembers the mapping it imported with: a file of the site's folder,
// shared by everyone who works there and ready for --import-tasks --map.
inline const QString RememberedMappingFile = QStringLiteral("taskimport.ini");

} // namespace tavrel
