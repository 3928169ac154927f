#pragma once

#include "custom/reportdefinition.h"

#include <QDate>
#include <QString>
#include <QVariant>

namespace tavrel {

class Database;

// The query of a custom report and the column layout of its document.
struct ReportQuery {
    QString sql;
    QString tableFormat;  // ">1008|3600;": a width in twips per shown field, ">" for numbers
    QString tableHeading; // the shown fields' headings, "Task Number|Task Name;"
    int shownColumns = 0;
};

// Twips per width unit.
inline constexpr float TwipsPerInch = 1440.0f;
inline constexpr float TwipsPerCentimeter = 561.6f;

// Builds the select list, criteria, joins and order of the report from the catalogue.
ReportQuery buildReportQuery(const ReportDefinition& report, const Catalogue& catalogue);

// The page header and footer of the document: the date (when asked for) at the left, the
// title in the centre, and the page number in the header or centred in the footer.
struct PageTexts {
    QString header;
    QString footer;
};
PageTexts reportPageTexts(const ReportDefinition& report, const QDate& today);

// A value as a report cell shows it, by the field's type.
QString reportCellText(const QVariant& value, FieldType type, bool currency);

inline const QString NoReportFieldsText =
    QStringLiteral("You have not selected any fields to include in the report");
inline const QString NoReportRowsText =
    QStringLiteral("No records have been entered that may be included in the specified report");

enum class ReportRun { Written, NoFields, NoRows, Failed };

// Runs the report over `db` to its destination: the program's report document (shown
// when a viewer is installed), or the text or HTML file `outputPath`, replaced whole.
// Messages go through the Ui; failures to HandleDataError.
ReportRun runCustomReport(const ReportDefinition& report, const Catalogue& catalogue, Database& db,
                          const QString& outputPath);

} // namespace tavrel
