#include "reports/tablefile.h"

#include "data/dberror.h"
#include "data/errortrap.h"
#include "reports/csv.h"
#include "reports/reportdocument.h"
#include "reports/reportoutput.h"
#include "reports/xlsxfile.h"

#include <QDir>

namespace tavrel {

namespace {

// The table as CSV lines: a heading line, then a line of values for each row.
class CsvTableFile final : public TableFile {
public:
    CsvTableFile(const QString& path, const QList<TableFileColumn>& columns, bool bom)
        : file_(path, bom) {
        QStringList headings;
        for (const TableFileColumn& column : columns)
            headings.append(column.heading);
        file_.line(csvLine(headings));
    }

    bool isOpen() const override { return file_.isOpen(); }
    void row(const CellRow& cells) override {
        QStringList fields;
        fields.reserve(cells.size());
        for (const Cell& cell : cells)
            fields.append(csvValue(cell));
        file_.line(csvLine(fields));
    }
    void close() override { file_.close(); }

private:
    LineFile file_;
};

} // namespace

std::optional<TableFileType> tableFileType(const QString& path) {
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return TableFileType::Csv;
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return TableFileType::Xlsx;
    return std::nullopt;
}

QList<TableFileColumn> tableFileColumns(const QStringList& headings, const QString& format) {
    const QList<TableColumn> widths = parseTableFormat(format);
    QList<TableFileColumn> columns;
    columns.reserve(headings.size());
    for (qsizetype i = 0; i < headings.size(); ++i)
        columns.append({headings.at(i), i < widths.size() ? widths.at(i).twips : 0});
    return columns;
}

std::unique_ptr<TableFile> openTableFile(TableFileType type, const QString& path,
                                         const QList<TableFileColumn>& columns, bool bom) {
    switch (type) {
    case TableFileType::Csv:
        return std::make_unique<CsvTableFile>(path, columns, bom);
    case TableFileType::Xlsx:
        return openXlsxFile(path, columns);
    }
    return nullptr;
}

void raiseFileNotWritten(const QString& path, const QString& reason) {
    raiseError(ErrFileIo, QStringLiteral("The file '") + QDir::toNativeSeparators(path) +
                              QStringLiteral("' could not be written: ") + reason);
}

} // namespace tavrel
