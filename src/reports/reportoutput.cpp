#include "reports/reportoutput.h"

#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "reports/csv.h"

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
    explicit FileOutput(const QString& path, bool bom = false)
        : file_(path, bom) {}
    void text(const QString&) override {}
    void newPage() override {}
    void setPageHeader(const PageLine&) override {}
    void close() { file_.close(); }

protected:
    LineFile file_;
};

// The rows of a report as the lines of a text file.
class TextFileOutput final : public FileOutput {
public:
    TextFileOutput(const QString& path, FileRowEnd rowEnd)
        : FileOutput(path)
        , rowEnd_(rowEnd) {}

    void row(const CellRow& cells) override { file_.line(fileLine(cells, rowEnd_)); }

private:
    FileRowEnd rowEnd_;
};

// The rows of a report as one flat table in a CSV file: a heading line, then each row with
// the group it belongs to in the first column (for a report in groups); subtotals and totals
// are left out.
class CsvFileOutput final : public FileOutput {
public:
    CsvFileOutput(const QString& path, bool bom, const QStringList& headings, bool grouped)
        : FileOutput(path, bom)
        , grouped_(grouped) {
        if (!headings.isEmpty())
            file_.line(csvLine(headings));
    }

    void row(const CellRow& cells) override {
        QStringList fields;
        fields.reserve(cells.size() + 1);
        if (grouped_)
            fields.append(csvValue(group_));
        for (const Cell& cell : cells)
            fields.append(csvValue(cell));
        file_.line(csvLine(fields));
    }
    void group(const Cell& value) override { group_ = value; }
    void summaryRow(const CellRow&) override {}

private:
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
    raiseError(ErrFileIo, QStringLiteral("The file '") +
                              QDir::toNativeSeparators(file_.fileName()) +
                              QStringLiteral("' could not be written: ") + reason);
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
    if (isCsvName(to.path)) {
        const bool grouped = !report.groupHeading.isEmpty();
        QStringList headings = grouped ? QStringList{report.groupHeading} : QStringList{};
        headings += report.flatHeadings.isEmpty() ? report.columnHeadings : report.flatHeadings;
        file = std::make_unique<CsvFileOutput>(to.path, to.bom, headings, grouped);
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

bool isCsvName(const QString& path) {
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

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
            to.bom = true;
        }
    }
    // A damaged file met while the rows are read is repaired, and the report is then written
    // again from the repaired file.
    ReportRunResult result = ReportRunResult::NotRun;
    runReadingStep([&] { result = writeStandardReport(report, to); });
    return result;
}

} // namespace tavrel
