#include "custom/customreport.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "custom/fieldlists.h"
#include "data/database.h"
#include "data/units.h"
#include "reports/reportdocument.h"
#include "reports/reportoutput.h"
#include "reports/tablefile.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <cmath>
#include <map>

namespace tavrel {

namespace {

const QString Tab = QStringLiteral("\t");
const QString Bar = QStringLiteral("|");
const QString RowEnd = QStringLiteral(";");
// Significant digits a width in twips is written with (single precision).
constexpr int TwipsDigits = 7;
constexpr int YearDigits = 4;

const QString ProgramPage = QStringLiteral("https://tavrel.example.org/");

float unitFactor(WidthUnit unit) {
    return unit == WidthUnit::Centimeters ? TwipsPerCentimeter : TwipsPerInch;
}

QString twipsText(float widthInUnits, WidthUnit unit) {
    const float twips = unitFactor(unit) * widthInUnits;
    return QString::number(static_cast<double>(twips), 'g', TwipsDigits);
}

// A date literal of the criteria: month and day without leading zeros, four-digit year.
QString dateLiteral(SerialDate serial) {
    const QDate date = fromSerial(serial).date();
    return QStringLiteral("#%1/%2/%3#")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year(), YearDigits, 10, QLatin1Char('0'));
}

QString timeLiteral(SerialDate serial) {
    return u'#' + generalDate(fromSerial(serial)) + u'#';
}

bool isShown(const ReportDefinition& report, int id) {
    return !report.setting(id).HideCol;
}

// The fields of the report that the catalogue knows, in report order.
QList<const CatalogueField*> reportFields(const ReportDefinition& report,
                                          const Catalogue& catalogue) {
    QList<const CatalogueField*> fields;
    for (int id : report.fields)
        if (const CatalogueField* field = catalogue.find(id))
            fields << field;
    return fields;
}

// One total per field that shows one.
class Totals {
public:
    void add(const CatalogueField& field, const QVariant& value) {
        if (value.isNull())
            return;
        if (field.currency)
            money_[field.specId] += currencyUnits(value.toDouble());
        else
            plain_[field.specId] += value.toDouble();
    }
    Cell cell(const CatalogueField& field) const {
        if (field.currency) {
            const auto it = money_.find(field.specId);
            const double amount = it == money_.end() ? 0 : currencyAmount(it->second);
            return Cell::ofMoney(amount, currency(amount));
        }
        const auto it = plain_.find(field.specId);
        const double sum = it == plain_.end() ? 0 : it->second;
        return Cell::ofNumber(sum, numberText(sum));
    }

private:
    std::map<int, qint64> money_;
    std::map<int, double> plain_;
};

// Texts of the HTML file are escaped: a "<" or "&" in a title, heading or value is shown as
// typed and never read as markup, where cells used to be written into the file unescaped.
QString html(const QString& text) {
    return text.toHtmlEscaped();
}

QString htmlCell(const QString& text, FieldType type) {
    return type == FieldType::Number
               ? QStringLiteral("<td align=right>") + html(text) + QStringLiteral("</td>")
               : QStringLiteral("<td>") + html(text) + QStringLiteral("</td>");
}

// The cells of a row as a line of the text file.
QString tabLine(const CellRow& cells) {
    return cellTexts(cells).join(Tab);
}

} // namespace

ReportQuery buildReportQuery(const ReportDefinition& report, const Catalogue& catalogue) {
    ReportQuery query;
    QStringList select;
    QString from = report.table;
    QString where;
    for (const CatalogueField* field : reportFields(report, catalogue)) {
        const FieldSetting& s = report.setting(field->specId);
        if (isShown(report, field->specId)) {
            select << field->fieldName;
            if (field->type == FieldType::Number)
                query.tableFormat += u'>';
            query.tableFormat += twipsText(s.ColWidth, report.widthUnit) + Bar;
            query.tableHeading << field->desc;
            ++query.shownColumns;
        }
        const QString& name = field->fieldName;
        switch (field->type) {
        case FieldType::Text:
            if (!s.StartsWith.isEmpty())
                // An apostrophe the user typed ("O'Brien") is a letter, not the literal's end.
                where += QStringLiteral(" and ") + name + QStringLiteral(" like '") +
                         QString(s.StartsWith).replace(QLatin1Char('\''), QStringLiteral("''")) +
                         QStringLiteral("*'");
            break;
        case FieldType::Number:
            if (!s.LessThan.isEmpty())
                where += QStringLiteral(" and ") + name + QStringLiteral(" < ") + s.LessThan;
            if (!s.GreaterThan.isEmpty())
                where += QStringLiteral(" and ") + name + QStringLiteral(" > ") + s.GreaterThan;
            break;
        case FieldType::Date:
            if (s.RangeStart != 0)
                where += QStringLiteral(" and ") + name + QStringLiteral(" >= ") +
                         dateLiteral(s.RangeStart);
            if (s.RangeEnd != 0)
                where += QStringLiteral(" and ") + name + QStringLiteral(" <= ") +
                         dateLiteral(s.RangeEnd);
            break;
        case FieldType::Time:
            if (s.RangeStart != 0)
                where += QStringLiteral(" and ") + name + QStringLiteral(" >= ") +
                         timeLiteral(s.RangeStart);
            if (s.RangeEnd != 0)
                where += QStringLiteral(" and ") + name + QStringLiteral(" <= ") +
                         timeLiteral(s.RangeEnd);
            break;
        case FieldType::YesNo:
            if (s.WantTrue)
                where += QStringLiteral(" and ") + name;
            else if (s.WantFalse)
                where += QStringLiteral(" and not ") + name;
            break;
        case FieldType::Code: // never a report's field
            break;
        }
        from = joinCatalogueTable(from, report.table, field->fileName, field->linkField);
    }
    // Dropping " and" leaves the blank before the first criterion (or before "not").
    constexpr int AndLength = 4;
    if (!where.isEmpty())
        where.remove(0, AndLength);
    if (query.tableFormat.endsWith(Bar))
        query.tableFormat.replace(query.tableFormat.size() - 1, 1, RowEnd);

    QString order;
    const QList<CatalogueField>& sortFields = catalogue.sortFields();
    if (report.primarySort >= 0 && report.primarySort < sortFields.size())
        order = QStringLiteral(" order by ") + sortFields[report.primarySort].fieldName;
    if (report.secondarySort >= 0 && report.secondarySort < sortFields.size())
        order += (order.isEmpty() ? QStringLiteral(" order by ") : QStringLiteral(", ")) +
                 sortFields[report.secondarySort].fieldName;

    query.sql = QStringLiteral("Select ") + select.join(QStringLiteral(", ")) +
                QStringLiteral(" from ") + from;
    if (!where.isEmpty())
        query.sql += QStringLiteral(" where ") + where;
    query.sql += order;
    return query;
}

PageTexts reportPageTexts(const ReportDefinition& report, const QDate& today) {
    // The title has a part of its own and is never read for separators or a page number: a
    // "|" or "%d" typed into it is shown as typed.
    PageTexts texts;
    texts.header.left = report.showDate ? shortDate(today) : QString();
    texts.header.centre = report.title;
    const QString pageNumber = QStringLiteral("Page %d");
    if (report.pageNumbers == PageNumbers::InHeader) {
        texts.header.right = pageNumber;
        texts.header.numbered = PageLine::Part::Right;
    } else if (report.pageNumbers == PageNumbers::AtBottom) {
        texts.footer.centre = pageNumber;
        texts.footer.numbered = PageLine::Part::Centre;
    }
    return texts;
}

QString reportCellText(const QVariant& value, FieldType type, bool isCurrency) {
    if (type == FieldType::YesNo)
        return value.toBool() ? QStringLiteral("Yes") : QStringLiteral("No");
    if (value.isNull())
        return {};
    switch (type) {
    case FieldType::Text:
        return value.toString();
    case FieldType::Number:
        return isCurrency ? currency(value.toDouble()) : numberText(value.toDouble());
    case FieldType::Date:
        return shortDate(value.toDate());
    case FieldType::Time:
        return mediumTime(value.toDateTime().isValid() ? value.toDateTime().time()
                                                       : value.toTime());
    case FieldType::YesNo:
    case FieldType::Code:
        break;
    }
    return value.toString();
}

Cell reportCell(const QVariant& value, FieldType type, bool isCurrency) {
    const QString text = reportCellText(value, type, isCurrency);
    if (value.isNull() || type == FieldType::YesNo || type == FieldType::Text)
        return Cell::ofText(text);
    switch (type) {
    case FieldType::Number:
        return isCurrency ? Cell::ofMoney(value.toDouble(), text)
                          : Cell::ofNumber(value.toDouble(), text);
    case FieldType::Date:
        return Cell::ofDate(value.toDate(), text);
    case FieldType::Time:
        return Cell::ofTime(
            value.toDateTime().isValid() ? value.toDateTime().time() : value.toTime(), text);
    case FieldType::Text:
    case FieldType::YesNo:
    case FieldType::Code:
        break;
    }
    return Cell::ofText(text);
}

QString scaledColumnsNote(double scale) {
    // Rounded down: the note never claims more than the page shows.
    return QStringLiteral("Columns scaled to fit the page (%1%)").arg(int(std::floor(scale * 100)));
}

ReportRun runCustomReport(const ReportDefinition& report, const Catalogue& catalogue, Database& db,
                          const QString& outputPath, bool bom) {
    if (report.fields.isEmpty()) {
        ui().msgBox(NoReportFieldsText);
        return ReportRun::NoFields;
    }
    bool failed = false;
    ErrorTrap trap([&failed](const DbError&) {
        failed = true;
        HandleDataError();
    });

    const ReportDestination destination = report.destination;
    const ReportQuery query = buildReportQuery(report, catalogue);
    state().TableFormat = query.tableFormat;
    state().TableHeading = query.tableHeading;
    state().RepeatHeading = true;
    Recordset rows = db.openRecordset(query.sql, RecordsetType::Snapshot);
    // The database refused the query: nothing follows from it, and the output file is not
    // touched (a file of the same name keeps what it held).
    if (!rows.isOpen())
        return ReportRun::Failed;
    const QList<const CatalogueField*> fields = reportFields(report, catalogue);
    QList<const CatalogueField*> shown;
    for (const CatalogueField* field : fields)
        if (isShown(report, field->specId))
            shown << field;

    // A text file named for a spreadsheet gets the rows as one table: a heading row, and no
    // total row (a spreadsheet sums by itself).
    const std::optional<TableFileType> tableType =
        destination == ReportDestination::TextFile ? tableFileType(outputPath) : std::nullopt;
    std::unique_ptr<TableFile> table;
    std::optional<LineFile> file;
    if (tableType) {
        QStringList headings;
        for (const CatalogueField* field : shown)
            headings << field->desc;
        table = openTableFile(*tableType, outputPath, tableFileColumns(headings, query.tableFormat),
                              bom);
        if (!table->isOpen())
            return ReportRun::Failed;
    } else if (destination != ReportDestination::Document) {
        file.emplace(outputPath);
        if (!file->isOpen())
            return ReportRun::Failed;
    }
    const auto closeFile = [&] {
        if (table)
            table->close();
        else if (file)
            file->close();
    };

    ReportDocument& document = reportDocument();
    switch (destination) {
    case ReportDestination::WebTable:
        // A file of this century: a browser reads it as UTF-8 (the file's encoding) and in
        // standards mode.
        file->line(QStringLiteral("<!DOCTYPE html>"));
        file->line(QStringLiteral("<html>"));
        file->line(QStringLiteral("<head><meta charset=\"utf-8\"><title>") + html(report.title) +
                   QStringLiteral("</title></head>"));
        file->line(QStringLiteral("<body>"));
        file->line(QStringLiteral("<table border=1>"));
        file->line(QStringLiteral("<tr><th colspan = %1>").arg(shown.size()) + html(report.title) +
                   QStringLiteral("</th></tr>"));
        file->line(QStringLiteral("<tr>"));
        for (const CatalogueField* field : shown)
            file->line(QStringLiteral("<th>") + html(field->desc) + QStringLiteral("</th>"));
        file->line(QStringLiteral("</tr>"));
        break;
    case ReportDestination::Document: {
        document.setTableStyle(TableStyle::Grid);
        document.SetOrientation(report.orientation);
        // The headings of the first page are added below the note on scaling, not by the
        // page-start hook above it; the hook repeats them on the pages after.
        state().RepeatHeading = false;
        document.BeginDocument();
        state().RepeatHeading = true;
        document.setTitle(report.title);
        const PageTexts texts = reportPageTexts(report, ui().today());
        document.SetPageHeader(texts.header);
        // A footer of an earlier report must not number the pages of this one.
        document.SetPageFooter(texts.footer);
        // Columns wider than the page are drawn smaller to fit it; the reader is told so
        // under the title (the footer holds the page number).
        if (const double scale = document.tableScale(state().TableFormat); scale < 1)
            document.WriteText(scaledColumnsNote(scale) + QStringLiteral("\r\n"));
        document.AddTableRows(state().TableFormat, headingRows(state().TableHeading), {},
                              state().BodyShade);
        break;
    }
    case ReportDestination::TextFile:
        break;
    }

    if (rows.isEOF()) {
        ui().msgBox(NoReportRowsText);
        closeFile();
        return failed ? ReportRun::Failed : ReportRun::NoRows;
    }

    Totals totals;
    for (; !rows.isEOF() && !failed; rows.moveNext()) {
        CellRow cells;
        QStringList htmlCells;
        for (const CatalogueField* field : shown) {
            const QVariant value = rows.value(field->fieldName);
            const Cell cell = reportCell(value, field->type, field->currency);
            if (field->type == FieldType::Number && report.setting(field->specId).ShowTotal)
                totals.add(*field, value);
            cells << cell;
            htmlCells << htmlCell(cell.text, field->type);
        }
        switch (destination) {
        case ReportDestination::Document:
            document.AddTableRow(state().TableFormat, cells);
            break;
        case ReportDestination::TextFile:
            if (table) {
                table->row(cells);
            } else {
                file->line(tabLine(cells));
            }
            break;
        case ReportDestination::WebTable:
            file->line(QStringLiteral("<tr>") + htmlCells.join(QString()) +
                       QStringLiteral("</tr>"));
            break;
        }
    }

    bool anyTotal = false;
    CellRow totalCells;
    QStringList totalHtml;
    for (const CatalogueField* field : shown) {
        const bool total = report.setting(field->specId).ShowTotal;
        anyTotal = anyTotal || total;
        totalCells << (total ? totals.cell(*field) : Cell());
        totalHtml << (total ? QStringLiteral("<td align=right>") + html(totals.cell(*field).text) +
                                  QStringLiteral("</td>")
                            : QStringLiteral("<TD>&nbsp;</TD>"));
    }
    if (anyTotal && !table) {
        switch (destination) {
        case ReportDestination::Document:
            document.AddTableRow(state().TableFormat, totalCells);
            break;
        case ReportDestination::TextFile:
            file->line(tabLine(totalCells));
            break;
        case ReportDestination::WebTable:
            file->line(QStringLiteral("<tr>") + totalHtml.join(QString()) +
                       QStringLiteral("</tr>"));
            break;
        }
    }

    switch (destination) {
    case ReportDestination::Document:
        document.EndDocument();
        showReportOutput();
        break;
    case ReportDestination::WebTable:
        file->line(QStringLiteral("</table>"));
        file->line(QStringLiteral("<H6>List Produced by <A HREF=\"") + ProgramPage +
                   QStringLiteral("\">Tavrel</A></H6>"));
        file->line(QStringLiteral("</body>"));
        file->line(QStringLiteral("</html>"));
        file->close();
        break;
    case ReportDestination::TextFile:
        closeFile();
        break;
    }
    return failed ? ReportRun::Failed : ReportRun::Written;
}

} // namespace tavrel
