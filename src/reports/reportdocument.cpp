#include "reports/reportdocument.h"

#include "core/globals.h"

#include <QPagedPaintDevice>
#include <QPainter>

namespace tavrel {

namespace {
constexpr QChar CellSeparator = u'|';
constexpr QChar RowEnd = u';';
constexpr QChar RightAlignMark = u'>';
constexpr auto PageNumberMark = "%d";
} // namespace

QList<TableColumn> parseTableFormat(const QString& format) {
    QList<TableColumn> columns;
    QString text = format.trimmed();
    if (text.endsWith(RowEnd))
        text.chop(1);
    for (QString part : text.split(CellSeparator)) {
        part = part.trimmed();
        TableColumn column;
        if (part.startsWith(RightAlignMark)) {
            column.rightAligned = true;
            part.remove(0, 1);
        }
        bool ok = false;
        column.twips = part.toInt(&ok);
        if (ok && column.twips >= 0)
            columns.append(column);
    }
    return columns;
}

QList<QStringList> parseBodyText(const QString& body) {
    QList<QStringList> rows;
    if (body.isEmpty())
        return rows;
    QStringList rowTexts = body.split(RowEnd);
    if (body.endsWith(RowEnd))
        rowTexts.removeLast();
    for (const QString& row : rowTexts)
        rows.append(row.split(CellSeparator));
    return rows;
}

HeaderParts headerParts(const QString& text, int pageNumber) {
    QString filled = text;
    filled.replace(QLatin1String(PageNumberMark), QString::number(pageNumber));
    const QStringList parts = filled.split(CellSeparator);
    HeaderParts result;
    result.left = parts.value(0);
    result.centre = parts.value(1);
    result.right = parts.value(2);
    return result;
}

// What the document holds. The layout into pages is done as entries arrive, so that a
// page-start hook runs at the moment its page begins.
struct ReportDocument::Layout {
    std::vector<Entry> entries;
    std::function<void()> pageStartHook;
    QString header;
    QString footer;
    int orientation = 0;
    TableStyle style = TableStyle::Standard;
    int page = 1;
    bool finished = false;
    bool inHook = false;

    void startPage() {
        if (!pageStartHook || inHook)
            return;
        inHook = true;
        pageStartHook();
        inHook = false;
    }
};

ReportDocument::ReportDocument()
    : layout_(std::make_unique<Layout>()) {}

ReportDocument::~ReportDocument() = default;

void ReportDocument::BeginDocument() {
    layout_->entries.clear();
    layout_->page = 1;
    layout_->finished = false;
    layout_->startPage();
}

void ReportDocument::SetPageHeader(const QString& text) {
    layout_->header = text;
}
void ReportDocument::SetPageFooter(const QString& text) {
    layout_->footer = text;
}
void ReportDocument::SetOrientation(int orientation) {
    layout_->orientation = orientation;
}
void ReportDocument::setTableStyle(TableStyle style) {
    layout_->style = style;
}

void ReportDocument::AddTableRows(const QString& format, const QString& heading,
                                  const QString& body, const QColor& headingShade,
                                  const QColor& bodyShade) {
    Entry entry;
    entry.kind = Entry::Table;
    entry.format = format;
    entry.heading = heading;
    entry.body = body;
    entry.headingShade = headingShade;
    entry.bodyShade = bodyShade;
    entry.page = layout_->page;
    layout_->entries.push_back(entry);
}

void ReportDocument::AddTableText(const QString& formatAndRows) {
    // The format is the first row of the text.
    const qsizetype end = formatAndRows.indexOf(RowEnd);
    const QString format = end < 0 ? formatAndRows : formatAndRows.left(end + 1);
    const QString body = end < 0 ? QString() : formatAndRows.mid(end + 1);
    AddTableRows(format, QString(), body);
}

void ReportDocument::WriteText(const QString& text) {
    Entry entry;
    entry.kind = Entry::Text;
    entry.body = text;
    entry.page = layout_->page;
    layout_->entries.push_back(entry);
}

void ReportDocument::StartNewPage() {
    Entry entry;
    entry.kind = Entry::PageBreak;
    entry.page = layout_->page;
    layout_->entries.push_back(entry);
    ++layout_->page;
    layout_->startPage();
}

void ReportDocument::EndDocument() {
    layout_->finished = true;
}

void ReportDocument::setPageStartHook(std::function<void()> hook) {
    layout_->pageStartHook = std::move(hook);
}

bool ReportDocument::isFinished() const {
    return layout_->finished;
}
int ReportDocument::pageCount() const {
    return layout_->page;
}
const std::vector<ReportDocument::Entry>& ReportDocument::entries() const {
    return layout_->entries;
}

void ReportDocument::paintPage(QPainter& painter, int page) const {
    Q_UNUSED(painter);
    Q_UNUSED(page);
}

bool ReportDocument::print(QPagedPaintDevice& device) const {
    Q_UNUSED(device);
    return false;
}

namespace {
std::function<void()>& reportViewer() {
    static std::function<void()> viewer;
    return viewer;
}
} // namespace

ReportDocument& reportDocument() {
    static ReportDocument* document = [] {
        auto* created = new ReportDocument;
        created->setPageStartHook([created] {
            if (RepeatHeading)
                created->AddTableRows(TableFormat, QString(), TableHeading, HeadingShade,
                                      BodyShade);
        });
        return created;
    }();
    return *document;
}

void setReportViewer(std::function<void()> viewer) {
    reportViewer() = std::move(viewer);
}

void showReportOutput() {
    if (reportViewer())
        reportViewer()();
}

} // namespace tavrel
