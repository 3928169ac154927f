#pragma once

#include <QColor>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace tavrel {

// One column of a table format: its width in twips (1/1440 inch) and whether its cells are
// right-aligned (a ">" before the width).
struct TableColumn {
    int twips = 0;
    bool rightAligned = false;
    bool operator==(const TableColumn&) const = default;
};

// "1240|3800|>700;" -> three columns. Descriptions that are not a width are skipped.
QList<TableColumn> parseTableFormat(const QString& format);

// Body text "a|b;c|d;" -> rows of cells. Cells may be empty; a text without a final ";"
// is a single row; an empty text has no rows.
QList<QStringList> parseBodyText(const QString& body);

// A page header or footer "left|centre|right": its three parts, "%d" replaced by the page
// number.
struct HeaderParts {
    QString left;
    QString centre;
    QString right;
    bool operator==(const HeaderParts&) const = default;
};
HeaderParts headerParts(const QString& text, int pageNumber);

// How table cells are framed (the reports' table setting): standard reports and work
// orders use the document's own style, the Master List and Task Assignments reports a
// plain one, custom reports a ruled grid.
//   Standard: a thin rule above a table's first row and below every row, so each row is a
//             line to read along or to write on (work orders: empty rows are writing lines);
//   Plain:    no lines, only the shading;
//   Grid:     every cell framed.
enum class TableStyle { Standard, Plain, Grid };

// The document's measures, in twips. Text is Liberation Serif: 11.25 pt regular for table
// cells, free text and the page footer; 14.25 pt bold for the page header.
namespace docmetrics {
inline constexpr int TwipsPerInch = 1440;
inline constexpr int TwipsPerPoint = 20;
inline constexpr int PageMargin = 720;     // half an inch all round: 10440 twips fit Letter and A4
inline constexpr int BodyFontSize = 225;   // 11.25 pt
inline constexpr int HeaderFontSize = 285; // 14.25 pt
inline constexpr int CellPaddingX = 72;
inline constexpr int CellPaddingY = 54;
} // namespace docmetrics

// The report document every printed output is written into: a page header and footer,
// tables given as a format string and body text, free text, page breaks. It lays itself
// out into pages as it is written and paints any page on any paint device.
class ReportDocument {
public:
    // What was written, in order, as the reports handed it over: what tests look at.
    struct Entry {
        enum Kind { Table, Text, PageBreak };
        Kind kind = Table;
        QString format;      // Table: the column format
        QString heading;     // Table: the heading row text
        QString body;        // Table: the body rows; Text: the text
        QColor headingShade; // Table: invalid when not shaded
        QColor bodyShade;
        int page = 1; // the page the entry starts on
        bool operator==(const Entry&) const = default;
    };

    ReportDocument();
    ~ReportDocument();
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    // Discards what is held and starts a new document at page 1. The page header, footer,
    // orientation and table style are settings and stay.
    void BeginDocument();
    void SetPageHeader(const QString& text);
    void SetPageFooter(const QString& text);
    void SetOrientation(int orientation); // 0 portrait, 1 landscape
    void setTableStyle(TableStyle style);
    TableStyle tableStyle() const;

    // The paper: the page size of `layout` (its own orientation and margins are not used:
    // the orientation is SetOrientation's, the margins are PageMargin). Paper and
    // orientation apply at once to a document that holds nothing yet, otherwise from the
    // next BeginDocument: a document is laid out on one paper.
    void setPaper(const QPageLayout& layout);
    // The page of this document: paper, orientation and margins.
    QPageLayout pageLayout() const;

    // Discards the document and puts every setting (header, footer, orientation, table
    // style) back to that of a new document, as when the preview window is closed.
    void reset();

    // Appends a table below what was written: heading row above the body rows, each part on
    // its shade (an invalid colour: no shading).
    void AddTableRows(const QString& format, const QString& heading, const QString& body,
                      const QColor& headingShade = QColor(), const QColor& bodyShade = QColor());
    // A whole table as one text: the column format followed by the body rows.
    void AddTableText(const QString& formatAndRows);
    // Free text; "\r\n" ends a line, so "\r\n" alone is one empty line.
    void WriteText(const QString& text);
    void StartNewPage();
    void EndDocument();

    // Called each time a page begins (the first included); a handler may add rows, which
    // then stand at the top of that page.
    void setPageStartHook(std::function<void()> hook);

    bool isFinished() const;
    int pageCount() const;
    const std::vector<Entry>& entries() const;

    // What page `page` (from 1) shows below its header, top to bottom: one line per table
    // row (its cells joined by "|"; a row continued from the previous page gives only the
    // lines on this page) and one per line of free text. For checks and tests.
    QStringList pageText(int page) const;
    // The page header and footer text in force on `page`, "%d" not yet replaced.
    QString pageHeader(int page) const;
    QString pageFooter(int page) const;

    // Paints page `page` (from 1). The painter's origin is the top-left corner inside the
    // margins; the scale from twips comes from the painter's device resolution.
    void paintPage(QPainter& painter, int page) const;
    // Prints or writes every page (those of the device's page ranges, when it has any)
    // onto the device (a QPrinter, a QPdfWriter) after setting its page layout. False when
    // the device could not be painted on (a file that cannot be written).
    bool print(QPagedPaintDevice& device) const;

private:
    struct Layout;
    std::unique_ptr<Layout> layout_;
};

// The document of the preview window: the one every report writes into. Its page-start
// hook adds the column headings (TableFormat, TableHeading on their shades) at the top of
// every page while RepeatHeading is set.
ReportDocument& reportDocument();

// Shows the finished document (the preview window, not modal). The window layer installs
// it; without it (no window) nothing is shown.
void setReportViewer(std::function<void()> viewer);
void showReportOutput();

} // namespace tavrel
