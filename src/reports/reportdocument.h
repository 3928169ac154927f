#pragma once

#include "reports/pageorientation.h"
#include "reports/reportcell.h"

#include <QColor>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QImage;
class QPainter;

namespace tavrel {

struct LabelContent;
struct LabelStock;

// One column of a table format: its width in twips (1/1440 inch) and whether its cells are
// right-aligned (a ">" before the width).
struct TableColumn {
    int twips = 0;
    bool rightAligned = false;
    bool operator==(const TableColumn&) const = default;
};

// "1240|3800|>700;" -> three columns. Descriptions that are not a width are skipped.
QList<TableColumn> parseTableFormat(const QString& format);

// The row of column headings of a table; none when there are no headings.
QList<CellRow> headingRows(const QStringList& headings);

// Rows of cells as one text, cells joined by "|" and each row ended by ";": how a table
// is shown in a check or a test. Only ever written: a cell's text may hold either character.
QString rowsText(const QList<CellRow>& rows);

// A page header or footer as it is set: its left, centre and right parts, shown as they are
// except for the one part in which "%d" stands for the page number. A title or a name in
// the other parts may hold "|" or "%d" and is shown whole.
struct PageLine {
    enum class Part { None, Left, Centre, Right };
    QString left;
    QString centre;
    QString right;
    Part numbered = Part::None;
    bool operator==(const PageLine&) const = default;

    // The program's own texts "left|centre|right", "%d" in them the page number: only for
    // texts that hold no names or titles typed by a user.
    static PageLine fromText(const QString& text);
    // "left|centre|right", "%d" as it is: what a check or a test reads.
    QString text() const;
};

// A page header or footer as it is painted: its three parts, "%d" of the numbered part
// replaced by the page number.
struct HeaderParts {
    QString left;
    QString centre;
    QString right;
    bool operator==(const HeaderParts&) const = default;
};
HeaderParts headerParts(const PageLine& line, int pageNumber);

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
// A page badge (SetPageBadge): its QR code 18 mm square, the least a scanner at arm's length
// reads well; its caption in 9 pt type. The page's top and bottom margins come no nearer to
// the paper's edge than a quarter inch, what every printer prints.
inline constexpr int BadgeSymbol = 1021; // 18 mm = 1020.5 twips, rounded up
inline constexpr int BadgeCaptionFontSize = 180;
inline constexpr int BadgeMargin = 360;
} // namespace docmetrics

// The report document every printed output is written into: a page header and footer,
// tables given as a format string and rows of typed cells, free text, page breaks. It lays
// itself out into pages as it is written and paints any page on any paint device.
// A table wider than the page is scaled down, its text with it, to the printable width.
class ReportDocument {
public:
    // What was written, in order, as the reports handed it over: what tests look at.
    struct Entry {
        enum Kind { Table, Text, PageBreak, Picture, Label };
        Kind kind = Table;
        QString format;             // Table: the column format
        QList<CellRow> headingRows; // Table: the column headings
        QList<CellRow> bodyRows;    // Table: the body rows
        QString heading;            // Table: rowsText of the headings, for reading
        // Table: rowsText of the body rows; Text: the text; Picture: its caption; Label: what
        // stands on it (LabelLayout::text, its code in `heading`)
        QString body;
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
    // The program's own header and footer texts (PageLine::fromText), or one whose parts
    // hold names or titles.
    void SetPageHeader(const QString& text);
    void SetPageHeader(const PageLine& line);
    void SetPageFooter(const QString& text);
    void SetPageFooter(const PageLine& line);
    // A badge at the right of the page header: the QR code of `code` (BadgeSymbol square)
    // with `code` under it, for a code written on the page to be scanned back. Set like the
    // header: on this page and the following ones until set again; empty for none;
    // BeginDocument clears it.
    // The header keeps clear of it. A page with a badge is laid out like any other (what is
    // written falls on the same pages, badges or not) and painted with the room the badge
    // needs taken from the page's edges, never from its body: its top margin narrowed to
    // BadgeMargin, its body set lower into the room of the footer line and of the bottom
    // margin. So the footer's room is the badge's: a page with a badge shows no footer.
    void SetPageBadge(const QString& code);
    // The document's title (a PDF's title); BeginDocument clears it. Without one, the text
    // of the first page header.
    void setTitle(const QString& title);
    QString title() const;
    void SetOrientation(PageOrientation orientation);
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

    // Appends a table below what was written: heading rows above the body rows, each part on
    // its shade (an invalid colour: no shading). Headings break only between words; one
    // whose word is wider than its column is set in a smaller type.
    void AddTableRows(const QString& format, const QList<CellRow>& heading,
                      const QList<CellRow>& body, const QColor& headingShade = QColor(),
                      const QColor& bodyShade = QColor());
    // One body row without shading.
    void AddTableRow(const QString& format, const CellRow& row);
    // What a table of `format` is scaled by to fit the printable width of this document: 1
    // when it fits.
    double tableScale(const QString& format) const;
    // The printable width of this document's paper in `orientation`, in twips.
    int printableWidth(PageOrientation orientation) const;
    // Free text; "\r\n" ends a line, so "\r\n" alone is one empty line.
    void WriteText(const QString& text);
    // A picture (charts) below what was written, `size` being its extent in points: as large
    // as that but no wider than the page nor taller than the body, its proportions kept; on
    // the next page when the rest of this one is too short for it. `caption` names it for
    // reading.
    void AddPicture(const QImage& image, const QSizeF& size, const QString& caption);
    void StartNewPage();
    void EndDocument();

    // A sheet of labels: discards what is held and starts a document whose pages are sheets
    // of `stock`, filled from place `start` (1: the top-left label, then along the rows) of
    // the first sheet on. Its pages are the stock's paper in portrait without margins, header
    // or footer: every label is painted at its place measured from the paper's edge, on any
    // device. Nothing but labels is written into it; BeginDocument makes it a document of
    // pages again.
    void BeginLabels(const LabelStock& stock, int start);
    // The next label, in the next place; a full sheet goes on to the next page.
    void AddLabel(const LabelContent& label);

    // Called each time a page begins (the first included); a handler may add rows, which
    // then stand at the top of that page.
    void setPageStartHook(std::function<void()> hook);

    bool isFinished() const;
    int pageCount() const;
    // The height in twips that a page's rows and lines of free text are laid into, and that
    // of a line of the body type (a row of one line takes one, plus CellPaddingY above and
    // below). For checks and tests: what fills a page exactly.
    int bodyHeight() const;
    int bodyLineHeight() const;
    const std::vector<Entry>& entries() const;

    // What page `page` (from 1) shows below its header, top to bottom: one line per table
    // row (its cells joined by "|"; a row continued from the previous page gives only the
    // lines on this page) and one per line of free text. For checks and tests.
    QStringList pageText(int page) const;
    // The page header and footer text in force on `page` (PageLine::text), "%d" not yet
    // replaced.
    QString pageHeader(int page) const;
    QString pageFooter(int page) const;
    PageLine pageHeaderLine(int page) const;
    // The code of the badge of `page`; empty when it has none.
    QString pageBadge(int page) const;

    // Paints page `page` (from 1). The painter's origin is the top-left corner inside the
    // margins (a page with a badge paints above it, up to BadgeMargin from the paper's
    // edge); the scale from twips comes from the painter's device resolution. A sheet of
    // labels has no margins: its origin is the paper's corner, and on a printer that kept
    // margins of its own (see print) the labels are moved back by them, so they stand where
    // the stock has them.
    void paintPage(QPainter& painter, int page) const;
    // Prints or writes every page (those of the device's page ranges, when it has any)
    // onto the device (a QPrinter, a QPdfWriter) after setting its page layout. False when
    // the device could not be painted on (a file that cannot be written).
    // A sheet of labels is given to the device as a full page: painted from the paper's
    // corner, not moved into the printer's printable area, since a sheet painted off its
    // cuts is of no use. What falls into a border the printer cannot print is left off by
    // the printer; the labels keep all they paint closestPaintToEdge() from the paper's edge.
    bool print(QPagedPaintDevice& device) const;

private:
    struct Layout;
    std::unique_ptr<Layout> layout_;
};

// The document of the preview window: the one every report writes into. Its page-start
// hook adds the column headings (TableFormat, TableHeading on BodyShade) at the top of
// every page while RepeatHeading is set.
ReportDocument& reportDocument();

// Shows the finished document through the program state's reportViewer (the preview
// window, not modal); without one (no window) nothing is shown.
void showReportOutput();

} // namespace tavrel
