#include "reports/reportoutput.h"

#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/programstate.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "data/database.h"

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

// The rows of a report as the lines of a text file.
class TextFileOutput final : public ReportOutput {
public:
    TextFileOutput(const QString& path, FileRowEnd rowEnd)
        : file_(path)
        , rowEnd_(rowEnd) {}

    void row(const CellRow& cells) override { file_.line(fileLine(cells, rowEnd_)); }
    void text(const QString&) override {}
    void newPage() override {}
    void setPageHeader(const PageLine&) override {}
    void close() { file_.close(); }

private:
    LineFile file_;
    FileRowEnd rowEnd_;
};

} // namespace

LineFile::LineFile(const QString& path)
    : file_(path) {
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
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

// Writes the report's rows to the text file `path`, or to the document when there is none.
// Runs under the caller's trap.
ReportRunResult writeStandardReport(const StandardReport& report, const QString& path) {
    const int repairsBefore = mainDatabaseRepairs();
    std::unique_ptr<TextFileOutput> file;
    std::unique_ptr<DocumentOutput> document;
    if (!path.isEmpty()) {
        file = std::make_unique<TextFileOutput>(path, report.fileRowEnd);
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

    Recordset rows = state().dbMain.openRecordset(report.sql, RecordsetType::Snapshot);
    // A query the database refused has been reported, and rows read from a file that was
    // just repaired are gone with it: there is nothing to write (the caller writes again).
    if (!rows.isOpen() || mainDatabaseRepairs() != repairsBefore) {
        if (file)
            file->close();
        return ReportRunResult::NotRun;
    }
    if (rows.recordCount() == 0) {
        ui().msgBox(report.noRowsText, MsgButtons::Ok, MsgIcon::None, report.noRowsTitle);
        if (file)
            file->close();
        rows.close();
        return ReportRunResult::NoRows;
    }
    if (report.writeRows)
        report.writeRows(rows, out);
    if (file) {
        file->close();
    } else {
        reportDocument().EndDocument();
        showReportOutput();
    }
    rows.close();
    return ReportRunResult::Written;
}

} // namespace

ReportRunResult runStandardReport(const StandardReport& report, const QString& textFile) {
    QString path = textFile;
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
        }
    }
    // A damaged file met while the rows are read is repaired, and the report is then written
    // again from the repaired file.
    ReportRunResult result = ReportRunResult::NotRun;
    runReadingStep([&] { result = writeStandardReport(report, path); });
    return result;
}

} // namespace tavrel
