#pragma once

#include "custom/reportdefinition.h"
#include "reports/reportdocument.h"

#include <QDate>
#include <QString>
#include <QVariant>

namespace tavrel {

class Database;

// The query of a custom report and the column layout of its document.
struct ReportQuery {
    QString sql;
    QString tableFormat;      // ">1008|3600;": a width in twips per shown field, ">" for numbers
    QStringList tableHeading; // the shown fields' headings, one a column
    int shownColumns = 0;
};

// Twips per width unit.
inline constexpr float TwipsPerInch = 1440.0f;
inline constexpr float TwipsPerCentimeter = 561.6f;

// Builds the select list, criteria, joins and order of the report from the catalogue.
ReportQuery buildReportQuery(const ReportDefinition& report, const Catalogue& catalogue);

// The page header and footer of the document: the date (when asked for) at the left, the
// title in the centre, and the page number in the header or centred in the footer. The
// title is shown as it is typed, "|" and "%d" included.
struct PageTexts {
    PageLine header;
    PageLine footer;
};
PageTexts reportPageTexts(const ReportDefinition& report, const QDate& today);

// A value as a report cell shows it, by the field's type.
QString reportCellText(const QVariant& value, FieldType type, bool currency);
// The cell of a value: its text and, by the field's type, its kind (money for a currency
// field, yes/no as text).
Cell reportCell(const QVariant& value, FieldType type, bool currency);

// The line under the title of a document whose columns were scaled by `scale` (below 1) to
// fit the page.
QString scaledColumnsNote(double scale);

inline const QString NoReportFieldsText =
    QStringLiteral("You have not selected any fields to include in the report");
inline const QString NoReportRowsText =
    QStringLiteral("No records have been entered that may be included in the specified report");

enum class ReportRun { Written, NoFields, NoRows, Failed };

// Runs the report over `db` to its destination: the program's report document (shown
// when a viewer is installed), or the text or HTML file `outputPath`, replaced whole. A text
// file named *.csv or *.xlsx gets the rows as one table for a spreadsheet: a heading row, no
// total row (a CSV file with `bom` begins with a UTF-8 byte order mark). Messages go through the
// Ui; failures to HandleDataError.
ReportRun runCustomReport(const ReportDefinition& report, const Catalogue& catalogue, Database& db,
                          const QString& outputPath, bool bom = false);

} // namespace tavrel
