#include "reports/reportoutput.h"

#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "reports/tablefile.h"

#include <QDir>

namespace tavrel {

namespace {

// The rows of a report in the preview window's document.
class DocumentOutput final : public ReportOutput {
public:
    DocumentOutput(ReportDocument& document, QString format)
        : document_(document)
        , format_(std::move(format)) {}
    void row(const CellRow& cells) override { document_.AddTableRow(format_, cells); }
    void text(const QString& text) override { document_.WriteText(text); }
    void newPage() override { document_.StartNewPage(); }
    void setPageHeader(const PageLine& header) override { document_.SetPageHeader(header); }

private:
    ReportDocument& document_;
    QString format_;
};

// The rows of a report in a file: what only a document holds (free text, pages and their
// headers) is left out.
class FileOutput : public ReportOutput {
public:
    void text(const QString&) override {}
    void newPage() override {}
    void setPageHeader(const PageLine&) override {}
    virtual void close() = 0;
};

// The rows of a report as the lines of a text file.
class TextFileOutput final : public FileOutput {
public:
    TextFileOutput(const QString& path, FileRowEnd rowEnd)
        : file_(path)
        , rowEnd_(rowEnd) {}

    void row(const CellRow& cells) override { file_.line(fileLine(cells, rowEnd_)); }
    void close() override { file_.close(); }

private:
    LineFile file_;
    FileRowEnd rowEnd_;
};

// The rows of a report as one flat table for a spreadsheet: each row with the group it
// belongs to in the first column (for a report in groups); subtotals and totals are left out.
class TableOutput final : public FileOutput {
public:
    TableOutput(std::unique_ptr<TableFile> table, bool grouped)
        : table_(std::move(table))
        , grouped_(grouped) {}

    void row(const CellRow& cells) override {
        if (!grouped_) {
            table_->row(cells);
            return;
        }
        CellRow flat;
        flat.reserve(cells.size() + 1);
        flat.append(group_);
        flat.append(cells);
        table_->row(flat);
    }
    void group(const Cell& value) override { group_ = value; }
    void summaryRow(const CellRow&) override {}
    void close() override { table_->close(); }

private:
    std::unique_ptr<TableFile> table_;
    bool grouped_;
    Cell group_;
};

} // namespace

LineFile::LineFile(const QString& path, bool bom)
    : file_(path) {
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail();
    else if (bom && file_.write("\xEF\xBB\xBF") != 3)
        fail();
}

void LineFile::line(const QString& text) {
    if (!file_.isOpen())
        return;
    const QByteArray bytes = (text + QStringLiteral("\r\n")).toUtf8();
    if (file_.write(bytes) != bytes.size())
        fail();
}

void LineFile::close() {
    if (!file_.isOpen())
        return;
    if (!file_.flush())
        fail();
    file_.close();
}

void LineFile::fail() {
    const QString reason = file_.errorString();
    file_.close();
    raiseFileNotWritten(file_.fileName(), reason);
}

QString fileLine(const CellRow& cells, FileRowEnd rowEnd) {
    QString line;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0)
            line += QLatin1Char('\t');
        line += cells[c].text;
    }
    if (rowEnd == FileRowEnd::Tab)
        line += QLatin1Char('\t');
    return line;
}

namespace {

// Writes the report's rows to `file`, or to the document when it names none. Runs under the
// caller's trap.
ReportRunResult writeStandardReport(const StandardReport& report, const ReportFile& to) {
    const int repairsBefore = mainDatabaseRepairs();
    std::unique_ptr<FileOutput> file;
    std::unique_ptr<DocumentOutput> document;
    if (const std::optional<TableFileType> type = tableFileType(to.path)) {
        const bool grouped = !report.groupHeading.isEmpty();
        QStringList headings = grouped ? QStringList{report.groupHeading} : QStringList{};
        headings += report.flatHeadings.isEmpty() ? report.columnHeadings : report.flatHeadings;
        const QString& format = report.flatFormat.isEmpty() ? report.format : report.flatFormat;
        file = std::make_unique<TableOutput>(
            openTableFile(*type, to.path, tableFileColumns(headings, format), to.bom), grouped);
    } else if (!to.path.isEmpty()) {
        file = std::make_unique<TextFileOutput>(to.path, report.fileRowEnd);
    } else {
        ReportDocument& doc = reportDocument();
        state().TableFormat = report.format;
        state().RepeatHeading = report.repeatHeadings;
        state().TableHeading = report.columnHeadings;
        doc.SetPageHeader(report.pageHeader);
        // Before the document begins, so that the headings the page-start hook adds to the
        // first page are framed like those of the pages after.
        doc.setTableStyle(report.style);
        doc.BeginDocument();
        doc.setTitle(report.title);
        if (!report.repeatHeadings && !report.columnHeadings.isEmpty())
            doc.AddTableRows(state().TableFormat, headingRows(state().TableHeading), {},
                             state().BodyShade);
        document = std::make_unique<DocumentOutput>(doc, report.format);
    }
    ReportOutput& out = file ? static_cast<ReportOutput&>(*file) : *document;
    const auto closeFile = [&] {
        if (file)
            file->close();
    };

    Recordset rows = state().dbMain.openRecordset(report.sql, RecordsetType::Snapshot);
    // A query the database refused has been reported, and rows read from a file that was
    // just repaired are gone with it: there is nothing to write (the caller writes again).
    if (!rows.isOpen() || mainDatabaseRepairs() != repairsBefore) {
        closeFile();
        return ReportRunResult::NotRun;
    }
    if (rows.recordCount() == 0) {
        ui().msgBox(report.noRowsText, MsgButtons::Ok, MsgIcon::None, report.noRowsTitle);
        closeFile();
        rows.close();
        return ReportRunResult::NoRows;
    }
    if (report.writeRows)
        report.writeRows(rows, out);
    if (document) {
        reportDocument().EndDocument();
        showReportOutput();
    } else {
        closeFile();
    }
    rows.close();
    return ReportRunResult::Written;
}

} // namespace

ReportRunResult runStandardReport(const StandardReport& report, const ReportFile& file) {
    ReportFile to = file;
    QString& path = to.path;
    {
        ErrorTrap trap;
        if (path.isEmpty() && state().ReportDest == ReportTarget::File) {
            state().Cancelled = false;
            path = commonFileDialog(FileDialogMode::Save, nullptr, SendToFileTitle, TextFileFilter,
                                    state().AppPath + report.fileName);
            if (state().Cancelled || path.isEmpty())
                return ReportRunResult::NotRun;
            ConfirmFileReplace(path);
            if (state().Cancelled)
                return ReportRunResult::NotRun;
            // CSV chosen in the window is for a spreadsheet program.
            to.bom = tableFileType(path) == TableFileType::Csv;
        }
    }
    // A damaged file met while the rows are read is repaired, and the report is then written
    // again from the repaired file.
    ReportRunResult result = ReportRunResult::NotRun;
    runReadingStep([&] { result = writeStandardReport(report, to); });
    return result;
}

} // namespace tavrel
