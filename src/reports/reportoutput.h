#pragma once

#include "reports/reportdocument.h"

#include <QFile>
#include <QString>

#include <functional>
#include <memory>

namespace tavrel {

class Recordset;

// Where a standard report's rows go: the report document or a text file. A report writes
// the same calls either way; what a destination does not hold (free text, page breaks,
// the page header on a file) it leaves out.
class ReportOutput {
public:
    virtual ~ReportOutput() = default;
    // One table row in the report's format: group rows, subtotals and totals alike.
    virtual void row(const CellRow& cells) = 0;
    // Free text such as a group heading; "\r\n" ends a line ("\r\n" alone: an empty line).
    virtual void text(const QString& text) = 0;
    virtual void newPage() = 0;
    virtual void setPageHeader(const PageLine& header) = 0;
    // The rows after belong to the group `value` (the week, the employee), which the report
    // shows in a heading of its own. A destination that holds the report as one flat table
    // writes it in a column of each row instead.
    virtual void group(const Cell& value) { Q_UNUSED(value) }
    // A subtotal or total row: shown as a row, left out of a flat table (a spreadsheet sums).
    virtual void summaryRow(const CellRow& cells) { row(cells); }
};

// How a row's line ends in a text file: with a tab, or with its last cell.
enum class FileRowEnd { Tab, Nothing };

// A table row as a line of a text file: its cells joined by tabs, then a tab or nothing.
// Each cell's text is written whole: a ";" or "|" in a task name is part of the name and
// no longer stands for a separator, as it did when rows were handed over as one text.
QString fileLine(const CellRow& cells, FileRowEnd rowEnd);

// A report's text file: lines of UTF-8, each ended by CR LF. A file that cannot be opened
// or written is reported once (ErrFileIo) and the lines after are left out. With `bom` it
// begins with UTF-8's byte order mark, by which spreadsheet programs know the encoding.
class LineFile {
public:
    explicit LineFile(const QString& path, bool bom = false);
    // Closing here reports nothing: a report closes its file with close(), which does.
    ~LineFile() { file_.close(); }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    bool isOpen() const { return file_.isOpen(); }
    void line(const QString& text);
    void close();

private:
    void fail();
    QFile file_;
};

// One standard report, as the common run sequence needs it.
struct StandardReport {
    QString format;              // the table format of its rows (and of its column headings)
    QStringList columnHeadings;  // {"Date", "Task"}; empty: no headings
    QString title;               // the document's title (a PDF's)
    bool repeatHeadings = false; // on every page (the page-start hook), else once at the top
    QString pageHeader;          // set before the document begins
    TableStyle style = TableStyle::Standard;
    FileRowEnd fileRowEnd = FileRowEnd::Tab;
    QString fileName; // what the save dialog proposes
    // The report as one flat table (CSV, XLSX): the heading of the group's column, first, for
    // a report in groups (empty: not in groups), and the other columns' headings where they
    // are not the column headings; its columns' widths, the group's first, where they are not
    // the format's.
    QString groupHeading;
    QStringList flatHeadings;
    QString flatFormat;
    QString sql;
    QString noRowsText;
    QString noRowsTitle;
    // Reads every row of the open, non-empty result and writes the report.
    std::function<void(Recordset& rows, ReportOutput& out)> writeRows;
};

// The save dialog's filter of a report sent to a file, and its title. Besides the text file
// a report is offered as a table for spreadsheets, CSV or an Excel workbook: the file's
// extension chooses.
inline const QString TextFileFilter =
    QStringLiteral("Text Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv|Excel Workbooks "
                   "(*.xlsx)|*.xlsx|All Files (*.*)|*.*");
inline const QString SendToFileTitle = QStringLiteral("Send Report to File");

// How a run ended, for a caller that goes on with the result (the command line writes the
// finished document to a PDF).
enum class ReportRunResult {
    Written, // the rows are in the document (finished and shown) or in the file
    NoRows,  // the report's message was shown; an opened file was left empty
    NotRun,  // the file dialog was cancelled, a replacement refused, or the query refused
};

// Runs a standard report to ReportDest: the file is asked for first (a cancelled dialog or
// a refused replacement runs nothing); the document is begun with its settings; the query
// runs as a snapshot; no rows gives the report's message (and an empty file); otherwise
// the rows are written and the document is shown, or the file closed. Failures on the way
// are reported by HandleDataError and the run goes on with its next step.
// With `file` the rows go to that file whatever ReportDest says, and nothing is asked:
// a command without a window names its file beforehand and means it to be written over.
// A file named *.csv or *.xlsx is written as one flat table (a CSV file chosen in the window
// with a byte order mark, as spreadsheet programs want it); any other as the report's text
// file.
struct ReportFile {
    QString path;
    bool bom = false; // CSV only
};
ReportRunResult runStandardReport(const StandardReport& report, const ReportFile& file = {});

} // namespace tavrel
