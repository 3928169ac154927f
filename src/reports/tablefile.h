#pragma once

#include "reports/reportcell.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace tavrel {

// A report as one flat table in a file for spreadsheet programs: a heading row, then one
// row for each of the report's rows, each cell kept as the value it is.
enum class TableFileType {
    Csv,  // *.csv: RFC 4180 text
    Xlsx, // *.xlsx: an Excel workbook of one worksheet
};

// The type a file's name asks for; none for any other name (a text or PDF file).
std::optional<TableFileType> tableFileType(const QString& path);

// One column of the table: its heading and its width on the report's page in twips
// (1/1440 inch; 0 leaves the file's default width).
struct TableFileColumn {
    QString heading;
    int twips = 0;
};

// The columns of headings in a table format's widths ("1240|>3800;"); a heading without a
// width gets none.
QList<TableFileColumn> tableFileColumns(const QStringList& headings, const QString& format);

class TableFile {
public:
    virtual ~TableFile() = default;
    // False once the file failed; what comes after is left out.
    virtual bool isOpen() const = 0;
    // A row's cells from the first column on.
    virtual void row(const CellRow& cells) = 0;
    // Finishes the file. A failure here or before is reported once (ErrFileIo).
    virtual void close() = 0;
};

// Opens `path` as a table of `type`, replacing a file of that name, and writes the heading
// row. A file that cannot be written is reported at once (ErrFileIo); the table is then not
// open. `bom` begins a CSV file with UTF-8's byte order mark, by which spreadsheet programs
// know its encoding.
std::unique_ptr<TableFile> openTableFile(TableFileType type, const QString& path,
                                         const QList<TableFileColumn>& columns, bool bom = false);

// The report's error for a file that could not be written, for `reason`.
void raiseFileNotWritten(const QString& path, const QString& reason);

} // namespace tavrel
