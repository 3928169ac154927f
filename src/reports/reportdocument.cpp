#include "reports/reportdocument.h"

#include "core/programstate.h"
#include "reports/labels.h"
#include "reports/qrcode.h"
#include "text/datetext.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>

namespace tavrel {

using namespace docmetrics;

namespace {
constexpr QChar CellSeparator = u'|';
constexpr QChar RowEnd = u';';
constexpr QChar RightAlignMark = u'>';
constexpr auto PageNumberMark = "%d";
constexpr auto FontFamily = "Liberation Serif";
// For what Liberation Serif has no glyphs for, the Arabic-Indic and Persian digits of dates
// and numbers among them; without a named fallback the system picks one, or none.
constexpr auto FallbackFontFamily = "DejaVu Sans";

// Room between the page header and the body, and between the body and the footer.
constexpr int HeaderGap = 240;
constexpr int FooterGap = 120;
// Where the rule under a page header stands, below its text.
constexpr int HeaderRuleOffset = 60;
// Least room between two parts of a page header.
constexpr int HeaderPartGap = 240;
// A badge's QR code is laid out for the modules of the smallest symbol, the largest at its
// size: a larger symbol's quiet zone of as many modules is narrower still.
constexpr int SmallestSymbolModules = 21;
// What a badge's caption holds, for the height of its ink: a code's capitals, digits and
// dashes.
constexpr auto CodeCharacters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-";
constexpr int RuleWidth = 10;       // half a point
constexpr int HeaderRuleWidth = 20; // one point
const QColor RuleColour(90, 90, 90);
} // namespace

// Wider than any paper: a typed width beyond it is not a column.
constexpr double MaxColumnTwips = 1e6;

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
        // Custom reports compute widths from inches or centimetres, so a width may have
        // decimals ("449.28"); a page is laid out in whole twips.
        bool ok = false;
        const double twips = part.toDouble(&ok);
        if (ok && twips >= 0 && twips <= MaxColumnTwips) {
            column.twips = qRound(twips);
            columns.append(column);
        }
    }
    return columns;
}

QList<CellRow> headingRows(const QStringList& headings) {
    if (headings.isEmpty())
        return {};
    return {textRow(headings)};
}

QString rowsText(const QList<CellRow>& rows) {
    QString text;
    for (const CellRow& row : rows)
        text += cellTexts(row).join(CellSeparator) + RowEnd;
    return text;
}

PageLine PageLine::fromText(const QString& text) {
    const QStringList parts = text.split(CellSeparator);
    PageLine line{parts.value(0), parts.value(1), parts.value(2), Part::None};
    const QLatin1String mark(PageNumberMark);
    if (line.right.contains(mark))
        line.numbered = Part::Right;
    else if (line.centre.contains(mark))
        line.numbered = Part::Centre;
    else if (line.left.contains(mark))
        line.numbered = Part::Left;
    return line;
}

QString PageLine::text() const {
    if (left.isEmpty() && centre.isEmpty() && right.isEmpty())
        return {};
    return left + CellSeparator + centre + CellSeparator + right;
}

HeaderParts headerParts(const PageLine& line, int pageNumber) {
    HeaderParts result{line.left, line.centre, line.right};
    QString* numbered = line.numbered == PageLine::Part::Left     ? &result.left
                        : line.numbered == PageLine::Part::Centre ? &result.centre
                        : line.numbered == PageLine::Part::Right  ? &result.right
                                                                  : nullptr;
    if (numbered)
        numbered->replace(QLatin1String(PageNumberMark), wholeNumber(pageNumber));
    return result;
}

namespace {

QFont documentFont(int pixelSize, bool bold) {
    // Sized in pixels of one twip each, so that measures are twips whatever the screen;
    // painting scales twips to the device.
    QFont font(QString::fromLatin1(FontFamily));
    font.setFamilies({QString::fromLatin1(FontFamily), QString::fromLatin1(FallbackFontFamily)});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false); // a line measured is a line painted, piece by piece or whole
    return font;
}

// The smallest type a column heading or a value is shrunk to, as a share of the table's; a
// word or value wider than its column even then is broken.
constexpr double LeastHeadingScale = 0.6;

// The columns of one table as laid out: left edges and widths in twips, and the type of
// its cells (smaller than the document's when the table is scaled to fit the page).
struct TableShape {
    QList<TableColumn> columns;
    QList<int> left;
    int width = 0;
    TableStyle style = TableStyle::Standard;
    QFont font;
    std::optional<QFontMetricsF> metrics;
    int lineHeight = 0;
};

// One table row with its cells broken into lines that fit their columns.
struct RowData {
    std::shared_ptr<const TableShape> shape;
    QList<QStringList> cellLines;
    QList<int> cellFontSize; // a heading's smaller type, in pixels; 0: the table's
    QColor shade;
    int lineCount = 1;
};

// Something placed on a page: a row (or the part of it on this page) or a line of text.
struct Placed {
    int y = 0; // from the top of the body
    int height = 0;
    int row = -1;          // index into rows, or -1 for a line of text or a picture
    int from = 0;          // rows: the first line on this page; text: index into textLines
    int to = 0;            // rows: one past the last line on this page
    bool tableTop = false; // first row of its table on this page
    int picture = -1;      // index into pictures, or -1
    int label = -1;        // index into labels, or -1
};

// A page badge: its code and the code's symbol.
struct Badge {
    QString code;
    QrSymbol symbol;
};

struct Page {
    PageLine header;
    PageLine footer;
    std::vector<Placed> items;
    std::shared_ptr<const Badge> badge;
};

} // namespace

// The document and its pages. Layout is done as entries arrive, so that a page-start hook
// runs at the moment its page begins and what it adds stands at the top of that page;
// every row is measured once, so the time grows with the number of rows, no faster.
struct ReportDocument::Layout {
    std::vector<Entry> entries;
    std::function<void()> pageStartHook;
    PageLine header;
    PageLine footer;
    std::shared_ptr<const Badge> badge;
    QString title;
    PageOrientation orientation = PageOrientation::Portrait;
    TableStyle style = TableStyle::Standard;
    QPageSize paper = QPageSize(QPageSize::Letter);
    bool finished = false;
    bool inHook = false;

    // The geometry the current document is laid out with.
    int contentWidth = 0;
    int bodyHeight = 0;
    int bodyTop = 0;

    // Deques: a long report grows them without moving what is laid out already.
    std::deque<Page> pages;
    std::deque<RowData> rows;
    QStringList textLines;
    struct Drawing {
        QImage image;
        QSizeF size;  // its extent in points
        QSizeF shown; // in twips on the page
        QString caption;
    };
    std::deque<Drawing> pictures;
    // A sheet of labels: its stock, each label with its place on its sheet, and the place
    // the next one takes (the stock's count of labels: the next goes on a new sheet).
    std::optional<LabelStock> labelStock;
    struct PlacedLabel {
        int place = 0;
        LabelLayout layout;
    };
    std::deque<PlacedLabel> labels;
    int labelPlace = 0;
    int cursor = 0;          // where the next thing goes, from the top of the body
    bool ownContent = false; // something other than the page-start hook's rows is on the page
    bool openLine = false;   // the last free text ended without a line break

    QFont bodyFont = documentFont(BodyFontSize, false);
    QFont headerFont = documentFont(HeaderFontSize, true);
    QFont captionFont = documentFont(BadgeCaptionFontSize, false);
    QFontMetricsF bodyMetrics{bodyFont};
    int lineHeight = int(std::ceil(bodyMetrics.lineSpacing()));
    int headerLineHeight = int(std::ceil(QFontMetricsF(headerFont).lineSpacing()));

    // A page with a badge, from the top of its printable area (BadgeMargin below the paper's
    // edge, badgeRaise above where other pages print): the header's line or lines at the
    // top, the QR code at the top right with its quiet zone free, its caption under that
    // zone, the header's rule under the caption, the body as far below the rule as on other
    // pages. The body is lower on the paper than on a page without a badge by less than the
    // room of the footer line and of the bottom margin down to BadgeMargin, so it keeps its
    // height; the test of the document checks that against the fonts.
    static constexpr int badgeRaise = PageMargin - BadgeMargin;
    int badgeQuietZone =
        int(std::ceil(double(QrSymbol::QuietZone) * BadgeSymbol / SmallestSymbolModules));
    qreal badgeCaptionBaseline = 0;
    int badgeRule = 0;
    int badgeBodyTop = 0;

    Layout() {
        const QFontMetricsF caption(captionFont);
        // The caption's ink begins where the quiet zone ends.
        badgeCaptionBaseline = BadgeSymbol + badgeQuietZone -
                               caption.tightBoundingRect(QString::fromLatin1(CodeCharacters)).top();
        badgeRule = int(std::ceil(badgeCaptionBaseline + caption.descent())) + HeaderRuleOffset;
        badgeBodyTop = badgeRule + HeaderGap - HeaderRuleOffset;
        startDocument();
    }

    QPageLayout pageLayout() const {
        if (labelStock) {
            QPageLayout sheet(QPageSize(labelStock->paper), QPageLayout::Portrait, QMarginsF(),
                              QPageLayout::Point);
            sheet.setMode(QPageLayout::FullPageMode);
            return sheet;
        }
        return QPageLayout(paper,
                           orientation == PageOrientation::Landscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait,
                           QMarginsF(PageMargin, PageMargin, PageMargin, PageMargin) /
                               TwipsPerPoint,
                           QPageLayout::Point);
    }

    bool isEmpty() const { return entries.empty() && pages.size() == 1; }

    void startDocument() {
        const QRectF content = pageLayout().paintRect(QPageLayout::Point);
        contentWidth = int(content.width() * TwipsPerPoint);
        const int contentHeight = int(content.height() * TwipsPerPoint);
        bodyTop = headerLineHeight + HeaderGap;
        bodyHeight = std::max(lineHeight, contentHeight - bodyTop - lineHeight - FooterGap);
        entries.clear();
        title.clear();
        rows.clear();
        textLines.clear();
        pictures.clear();
        labels.clear();
        badge.reset();
        pages.clear();
        pages.push_back(labelStock ? Page{} : Page{header, footer, {}, badge});
        cursor = 0;
        ownContent = false;
        openLine = false;
        finished = false;
    }

    void startPage() {
        if (!pageStartHook || inHook)
            return;
        inHook = true;
        pageStartHook();
        inHook = false;
    }

    void newPage() {
        pages.push_back(Page{header, footer, {}, badge});
        cursor = 0;
        ownContent = false;
        startPage();
    }

    int currentPage() const { return int(pages.size()); }

    double tableScale(const QList<TableColumn>& columns) const {
        int width = 0;
        for (const TableColumn& column : columns)
            width += column.twips;
        return width > contentWidth ? double(contentWidth) / width : 1.0;
    }

    void place(Placed item) {
        item.y = cursor;
        cursor += item.height;
        if (!inHook)
            ownContent = true;
        pages.back().items.push_back(item);
    }

    // Breaks one paragraph into lines no wider than `width`: between words where it can,
    // and within a word too long for a line unless `wordsOnly`.
    QStringList wrap(const QString& text, qreal width) const {
        return wrap(text, width, bodyFont, bodyMetrics, false);
    }
    static QStringList wrap(const QString& text, qreal width, const QFont& font,
                            const QFontMetricsF& metrics, bool wordsOnly) {
        if (metrics.horizontalAdvance(text) <= width)
            return {text};
        QStringList lines;
        QTextLayout layout(text, font);
        QTextOption option;
        option.setWrapMode(wordsOnly ? QTextOption::WordWrap
                                     : QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            QString piece = text.mid(line.textStart(), line.textLength());
            while (!piece.isEmpty() && piece.back().isSpace())
                piece.chop(1);
            lines.append(piece);
        }
        layout.endLayout();
        if (lines.isEmpty())
            lines.append(QString());
        return lines;
    }

    static QStringList wrapCell(const QString& text, qreal width, const QFont& font,
                                const QFontMetricsF& metrics, bool wordsOnly) {
        if (!text.contains(QLatin1Char('\n')))
            return wrap(text, width, font, metrics, wordsOnly);
        QStringList lines;
        for (const QString& paragraph : text.split(QRegularExpression(QStringLiteral("\r\n|\n"))))
            lines += wrap(paragraph, width, font, metrics, wordsOnly);
        return lines;
    }

    // The type size below the table's in which `widthAt` (what must fit, measured in a
    // font) fits `width`, down to the least a table allows: 0 when the table's own fits.
    template <class WidthAt>
    static int fittingSize(const TableShape& shape, qreal width, const WidthAt& widthAt) {
        if (widthAt(shape.font) <= width)
            return 0;
        const int tableSize = shape.font.pixelSize();
        const int least = std::max(1, int(std::ceil(tableSize * LeastHeadingScale)));
        int size = std::max(least, int(std::floor(tableSize * width / widthAt(shape.font))));
        QFont font = shape.font;
        font.setPixelSize(size);
        while (size > least && widthAt(font) > width)
            font.setPixelSize(--size);
        return size;
    }

    // A column heading is broken only between words. When its widest word is wider than the
    // column, the heading gets a smaller type in which that word fits (`pixelSize`, else 0).
    static QStringList wrapHeading(const QString& text, qreal width, const TableShape& shape,
                                   int* pixelSize) {
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        const QStringList words = text.split(blanks, Qt::SkipEmptyParts);
        const auto widestWord = [&words](const QFont& font) {
            const QFontMetricsF metrics(font);
            qreal widest = 0;
            for (const QString& word : words)
                widest = std::max(widest, metrics.horizontalAdvance(word));
            return widest;
        };
        *pixelSize = fittingSize(shape, width, widestWord);
        if (*pixelSize == 0)
            return wrapCell(text, width, shape.font, *shape.metrics, true);
        QFont font = shape.font;
        font.setPixelSize(*pixelSize);
        return wrapCell(text, width, font, QFontMetricsF(font), widestWord(font) <= width);
    }

    // A date, a time, a number or an amount reads as one piece: one that is wider than its
    // column (a long date format) gets a smaller type in which it fits on one line
    // (`pixelSize`, else 0); only one still too wide is broken.
    static QStringList wrapValue(const QString& text, qreal width, const TableShape& shape,
                                 int* pixelSize) {
        *pixelSize = 0;
        if (text.contains(QLatin1Char('\n')) || shape.metrics->horizontalAdvance(text) <= width)
            return wrapCell(text, width, shape.font, *shape.metrics, false);
        *pixelSize = fittingSize(shape, width, [&text](const QFont& font) {
            return QFontMetricsF(font).horizontalAdvance(text);
        });
        QFont font = shape.font;
        font.setPixelSize(*pixelSize);
        return wrapCell(text, width, font, QFontMetricsF(font), false);
    }

    // Adds the rows of one table; returns the page its first row went to.
    int addRows(const std::shared_ptr<const TableShape>& shape, const QList<CellRow>& cells,
                const QColor& shade, bool headings) {
        int firstPage = 0;
        bool first = true;
        for (const CellRow& cellRow : cells) {
            RowData row;
            row.shape = shape;
            row.shade = shade;
            for (qsizetype c = 0; c < shape->columns.size(); ++c) {
                const QString text = c < cellRow.size() ? cellRow[c].text : QString();
                const CellKind kind = c < cellRow.size() ? cellRow[c].kind : CellKind::Text;
                const qreal width = std::max(1, shape->columns[c].twips - 2 * CellPaddingX);
                int size = 0;
                if (headings)
                    row.cellLines.append(wrapHeading(text, width, *shape, &size));
                else if (kind != CellKind::Text)
                    row.cellLines.append(wrapValue(text, width, *shape, &size));
                else
                    row.cellLines.append(
                        wrapCell(text, width, shape->font, *shape->metrics, false));
                row.cellFontSize.append(size);
                row.lineCount = std::max(row.lineCount, int(row.cellLines.back().size()));
            }
            rows.push_back(std::move(row));
            const int page = placeRow(int(rows.size()) - 1, first);
            if (first)
                firstPage = page;
            first = false;
        }
        return firstPage;
    }

    // Places a row whole on this page or, when it does not fit, at the top of the next.
    // A row taller than a page is the one thing split: it continues on the pages after,
    // at least one line on each, so that the layout always ends.
    int placeRow(int index, bool firstOfTable) {
        const int lines = rows[size_t(index)].lineCount;
        const int rowLineHeight = rows[size_t(index)].shape->lineHeight;
        const int height = lines * rowLineHeight + 2 * CellPaddingY;
        if (cursor + height > bodyHeight && ownContent) {
            newPage();
            firstOfTable = true;
        }
        const int page = currentPage();
        if (cursor + height <= bodyHeight) {
            place(Placed{0, height, index, 0, lines, firstOfTable || cursorAtTop()});
            return page;
        }
        int from = 0;
        while (from < lines) {
            const int room = (bodyHeight - cursor - 2 * CellPaddingY) / rowLineHeight;
            const int count = std::clamp(room, 1, lines - from);
            place(Placed{0, count * rowLineHeight + 2 * CellPaddingY, index, from, from + count,
                         true});
            from += count;
            if (from < lines)
                newPage();
        }
        return page;
    }

    bool cursorAtTop() const { return pages.back().items.empty(); }

    // Free text, one line at a time; returns the page of its first line.
    int addText(const QString& text) {
        static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n"));
        if (text.isEmpty())
            return currentPage();
        QStringList lines = text.split(lineBreak);
        const bool endsLine = lines.size() > 1 && lines.last().isEmpty();
        if (endsLine)
            lines.removeLast();
        // A line break right after a text that ended without one only ends that line.
        if (openLine && lines.first().isEmpty() && text.contains(QLatin1Char('\n')))
            lines.removeFirst();
        openLine = !endsLine;
        int firstPage = currentPage();
        bool first = true;
        for (const QString& line : lines) {
            for (const QString& piece : wrap(line, contentWidth)) {
                if (cursor + lineHeight > bodyHeight && ownContent)
                    newPage();
                if (first)
                    firstPage = currentPage();
                first = false;
                textLines.append(piece);
                place(Placed{0, lineHeight, -1, int(textLines.size()) - 1, 0, false});
            }
        }
        return firstPage;
    }

    // The labels of a sheet, each at its place measured from the paper's corner. The
    // painter's origin is where the device paints from: the paper's corner on a device that
    // took the full page, else the corner inside the margins it kept (a printer that refused
    // the page layout), which is then moved back to the paper's corner.
    void paintLabels(QPainter& painter, const Page& page) const {
        if (const auto* paged = dynamic_cast<const QPagedPaintDevice*>(painter.device())) {
            const QPageLayout kept = paged->pageLayout();
            if (kept.mode() != QPageLayout::FullPageMode)
                painter.translate(-kept.paintRect(QPageLayout::Point).topLeft() * TwipsPerPoint);
        }
        constexpr double twipsPerMillimetre = TwipsPerInch / MillimetresPerInch;
        for (const Placed& item : page.items) {
            if (item.label < 0)
                continue;
            const PlacedLabel& label = labels[size_t(item.label)];
            painter.save();
            painter.translate(labelStock->placeRect(label.place).topLeft() * twipsPerMillimetre);
            paintLabel(painter, *labelStock, label.layout);
            painter.restore();
        }
    }

    // Paints a header's or footer's parts on one line `width` wide.
    void paintParts(QPainter& painter, const HeaderParts& parts, qreal top, qreal width,
                    const QFontMetricsF& metrics) const {
        const qreal leftWidth = metrics.horizontalAdvance(parts.left);
        const qreal rightWidth = metrics.horizontalAdvance(parts.right);
        const qreal baseline = top + metrics.ascent();
        // The centre stays centred: it gets the room the wider side part leaves on both sides.
        if (!parts.centre.isEmpty()) {
            const qreal side = std::max(leftWidth, rightWidth);
            const qreal room = std::max(0.0, width - 2 * (side + (side > 0 ? HeaderPartGap : 0)));
            const QString centre = metrics.elidedText(parts.centre, Qt::ElideRight, room);
            painter.drawText(QPointF((width - metrics.horizontalAdvance(centre)) / 2, baseline),
                             centre);
        }
        const qreal sideRoom =
            parts.centre.isEmpty()
                ? width - (rightWidth > 0 ? rightWidth + HeaderPartGap : 0)
                : (width - metrics.horizontalAdvance(parts.centre)) / 2 - HeaderPartGap;
        painter.drawText(QPointF(0, baseline),
                         metrics.elidedText(parts.left, Qt::ElideRight, std::max(0.0, sideRoom)));
        painter.drawText(QPointF(width - rightWidth, baseline), parts.right);
    }

    // A page header's rule, across the page at `y`.
    void paintHeaderRule(QPainter& painter, qreal y) const {
        QPen rule(Qt::black, HeaderRuleWidth);
        rule.setCapStyle(Qt::FlatCap);
        painter.setPen(rule);
        painter.drawLine(QPointF(0, y), QPointF(contentWidth, y));
        painter.setPen(Qt::black);
    }

    // The header of a page with a badge, from the top of its printable area: the code at the
    // right, its caption under it, and the header's parts in the room left of the code's
    // quiet zone, on one line when they fit there, else the right part on a line of its own
    // below. The left part then has all that room: no less than it has on a page without a
    // badge beside a right part at least as wide as the code (a work order's task number),
    // so a title is cut no shorter for the badge.
    void paintBadgeHeader(QPainter& painter, const Badge& shown, const HeaderParts& parts) const {
        const qreal symbolLeft = contentWidth - BadgeSymbol;
        paintQrSymbol(painter, QRectF(symbolLeft, 0, BadgeSymbol, BadgeSymbol), shown.symbol);
        painter.setFont(captionFont);
        const QFontMetricsF caption(captionFont);
        const qreal captionWidth = caption.horizontalAdvance(shown.code);
        // Centred under the code, but no further right than the page's text.
        const qreal captionLeft =
            std::min(symbolLeft + (BadgeSymbol - captionWidth) / 2, contentWidth - captionWidth);
        painter.drawText(QPointF(captionLeft, badgeCaptionBaseline), shown.code);

        painter.setFont(headerFont);
        const QFontMetricsF metrics(headerFont);
        const qreal room = symbolLeft - std::max(HeaderPartGap, badgeQuietZone);
        const qreal left = metrics.horizontalAdvance(parts.left);
        const qreal right = metrics.horizontalAdvance(parts.right);
        const qreal needed = parts.centre.isEmpty() ? left + right + HeaderPartGap
                                                    : 2 * (std::max(left, right) + HeaderPartGap) +
                                                          metrics.horizontalAdvance(parts.centre);
        if (needed <= room || parts.right.isEmpty() || parts.left.isEmpty()) {
            paintParts(painter, parts, 0, room, metrics);
        } else {
            paintParts(painter, HeaderParts{parts.left, parts.centre, {}}, 0, room, metrics);
            paintParts(painter, HeaderParts{{}, {}, parts.right}, headerLineHeight, room, metrics);
        }
        paintHeaderRule(painter, badgeRule);
    }

    void paintRow(QPainter& painter, const Placed& item) const {
        const RowData& row = rows[size_t(item.row)];
        const TableShape& shape = *row.shape;
        const QRectF rect(0, item.y, shape.width, item.height);
        if (row.shade.isValid())
            painter.fillRect(rect, row.shade);
        const qreal ascent = shape.metrics->ascent();
        for (qsizetype c = 0; c < shape.columns.size(); ++c) {
            const QStringList& lines = row.cellLines[c];
            QFont font = shape.font;
            if (row.cellFontSize[c] > 0)
                font.setPixelSize(row.cellFontSize[c]);
            painter.setFont(font);
            const QFontMetricsF metrics(font);
            const int left = shape.left[c];
            const int right = left + shape.columns[c].twips;
            for (int l = item.from; l < item.to && l < lines.size(); ++l) {
                const QString& text = lines[l];
                if (text.isEmpty())
                    continue;
                const qreal baseline =
                    item.y + CellPaddingY + (l - item.from) * shape.lineHeight + ascent;
                const qreal x = shape.columns[c].rightAligned
                                    ? right - CellPaddingX - metrics.horizontalAdvance(text)
                                    : left + CellPaddingX;
                painter.drawText(QPointF(x, baseline), text);
            }
        }
        painter.setFont(bodyFont);
        QPen pen(RuleColour, RuleWidth);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        switch (shape.style) {
        case TableStyle::Plain:
            break;
        case TableStyle::Standard:
            if (item.tableTop)
                painter.drawLine(rect.topLeft(), rect.topRight());
            painter.drawLine(rect.bottomLeft(), rect.bottomRight());
            break;
        case TableStyle::Grid:
            for (qsizetype c = 0; c < shape.columns.size(); ++c)
                painter.drawRect(
                    QRectF(shape.left[c], rect.top(), shape.columns[c].twips, rect.height()));
            break;
        }
        painter.setPen(Qt::black);
    }
};

ReportDocument::ReportDocument()
    : layout_(std::make_unique<Layout>()) {}

ReportDocument::~ReportDocument() = default;

void ReportDocument::BeginDocument() {
    layout_->labelStock.reset();
    layout_->startDocument();
    layout_->startPage();
}

void ReportDocument::SetPageHeader(const QString& text) {
    SetPageHeader(PageLine::fromText(text));
}
void ReportDocument::SetPageHeader(const PageLine& line) {
    layout_->header = line;
    layout_->pages.back().header = line;
}
void ReportDocument::SetPageFooter(const QString& text) {
    SetPageFooter(PageLine::fromText(text));
}
void ReportDocument::SetPageFooter(const PageLine& line) {
    layout_->footer = line;
    layout_->pages.back().footer = line;
}

void ReportDocument::SetPageBadge(const QString& code) {
    QrSymbol symbol = QrSymbol::encode(code);
    Layout& d = *layout_;
    if (symbol.isNull())
        d.badge.reset();
    else
        d.badge = std::make_shared<const Badge>(Badge{code, std::move(symbol)});
    d.pages.back().badge = d.badge;
}

void ReportDocument::setTitle(const QString& title) {
    layout_->title = title;
}

QString ReportDocument::title() const {
    if (!layout_->title.isEmpty())
        return layout_->title;
    // The header's text apart from the page number: its centre, else its left part.
    const PageLine& header = layout_->pages.front().header;
    using Part = PageLine::Part;
    if (!header.centre.isEmpty() && header.numbered != Part::Centre)
        return header.centre;
    if (!header.left.isEmpty() && header.numbered != Part::Left)
        return header.left;
    return {};
}
void ReportDocument::SetOrientation(PageOrientation orientation) {
    layout_->orientation = orientation;
    if (layout_->isEmpty())
        layout_->startDocument();
}
void ReportDocument::setTableStyle(TableStyle style) {
    layout_->style = style;
}
TableStyle ReportDocument::tableStyle() const {
    return layout_->style;
}

void ReportDocument::setPaper(const QPageLayout& layout) {
    if (!layout.isValid())
        return;
    layout_->paper = layout.pageSize();
    if (layout_->isEmpty())
        layout_->startDocument();
}

QPageLayout ReportDocument::pageLayout() const {
    return layout_->pageLayout();
}

void ReportDocument::reset() {
    layout_->header = {};
    layout_->footer = {};
    layout_->orientation = PageOrientation::Portrait;
    layout_->style = TableStyle::Standard;
    layout_->labelStock.reset();
    layout_->startDocument();
}

void ReportDocument::AddTableRows(const QString& format, const QList<CellRow>& heading,
                                  const QList<CellRow>& body, const QColor& headingShade,
                                  const QColor& bodyShade) {
    Layout& d = *layout_;
    d.openLine = false;
    Entry entry;
    entry.kind = Entry::Table;
    entry.format = format;
    entry.headingRows = heading;
    entry.bodyRows = body;
    entry.heading = rowsText(heading);
    entry.body = rowsText(body);
    entry.headingShade = headingShade;
    entry.bodyShade = bodyShade;
    entry.page = d.currentPage();
    // The hook may add entries while this one is laid out: this one stays before them.
    const size_t index = d.entries.size();
    d.entries.push_back(entry);

    auto shape = std::make_shared<TableShape>();
    shape->columns = parseTableFormat(format);
    shape->style = d.style;
    // A table wider than the page is drawn smaller, columns and type alike, so that every
    // column and every total stays on the paper.
    const double scale = d.tableScale(shape->columns);
    for (TableColumn& column : shape->columns) {
        if (scale < 1)
            column.twips = int(std::floor(column.twips * scale));
        shape->left.append(shape->width);
        shape->width += column.twips;
    }
    shape->font = scale < 1
                      ? documentFont(std::max(1, int(std::floor(BodyFontSize * scale))), false)
                      : d.bodyFont;
    shape->metrics.emplace(shape->font);
    shape->lineHeight = int(std::ceil(shape->metrics->lineSpacing()));
    if (shape->columns.isEmpty())
        return;
    int page = 0;
    if (!heading.isEmpty())
        page = d.addRows(shape, heading, headingShade, true);
    const int bodyPage = d.addRows(shape, body, bodyShade, false);
    d.entries[index].page = page ? page : bodyPage ? bodyPage : d.currentPage();
}

void ReportDocument::AddTableRow(const QString& format, const CellRow& row) {
    AddTableRows(format, {}, {row});
}

double ReportDocument::tableScale(const QString& format) const {
    return layout_->tableScale(parseTableFormat(format));
}

int ReportDocument::printableWidth(PageOrientation orientation) const {
    QPageLayout page = pageLayout();
    page.setOrientation(orientation == PageOrientation::Landscape ? QPageLayout::Landscape
                                                                  : QPageLayout::Portrait);
    return int(page.paintRect(QPageLayout::Point).width() * TwipsPerPoint);
}

void ReportDocument::WriteText(const QString& text) {
    Layout& d = *layout_;
    Entry entry;
    entry.kind = Entry::Text;
    entry.body = text;
    entry.page = d.currentPage();
    const size_t index = d.entries.size();
    d.entries.push_back(entry);
    d.entries[index].page = d.addText(text);
}

void ReportDocument::AddPicture(const QImage& image, const QSizeF& size, const QString& caption) {
    Layout& d = *layout_;
    d.openLine = false;
    Entry entry;
    entry.kind = Entry::Picture;
    entry.body = caption;
    if (size.isEmpty()) {
        entry.page = d.currentPage();
        d.entries.push_back(entry);
        return;
    }
    const QSizeF twips = size * TwipsPerPoint;
    const double scale =
        std::min({1.0, d.contentWidth / twips.width(), d.bodyHeight / twips.height()});
    const QSizeF shown = twips * scale;
    if (d.cursor + shown.height() > d.bodyHeight && d.ownContent)
        d.newPage();
    entry.page = d.currentPage();
    d.entries.push_back(entry);
    d.pictures.push_back({image, size, shown, caption});
    Placed item;
    item.height = int(std::ceil(shown.height()));
    item.picture = int(d.pictures.size()) - 1;
    d.place(item);
}

void ReportDocument::StartNewPage() {
    Layout& d = *layout_;
    d.openLine = false;
    Entry entry;
    entry.kind = Entry::PageBreak;
    entry.page = d.currentPage();
    d.entries.push_back(entry);
    d.newPage();
}

void ReportDocument::BeginLabels(const LabelStock& stock, int start) {
    Layout& d = *layout_;
    d.labelStock = stock;
    d.startDocument();
    d.labelPlace = std::clamp(start, 1, stock.perSheet()) - 1;
}

void ReportDocument::AddLabel(const LabelContent& label) {
    Layout& d = *layout_;
    if (!d.labelStock)
        return;
    if (d.labelPlace >= d.labelStock->perSheet()) {
        d.pages.push_back(Page{});
        d.labelPlace = 0;
    }
    Layout::PlacedLabel placed{d.labelPlace++, layoutLabel(*d.labelStock, label)};
    Entry entry;
    entry.kind = Entry::Label;
    entry.heading = placed.layout.code;
    entry.body = placed.layout.text();
    entry.page = d.currentPage();
    d.entries.push_back(entry);
    d.labels.push_back(std::move(placed));
    Placed item;
    item.label = int(d.labels.size()) - 1;
    d.pages.back().items.push_back(item);
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
    return layout_->currentPage();
}
int ReportDocument::bodyHeight() const {
    return layout_->bodyHeight;
}
int ReportDocument::bodyLineHeight() const {
    return layout_->lineHeight;
}
const std::vector<ReportDocument::Entry>& ReportDocument::entries() const {
    return layout_->entries;
}

QStringList ReportDocument::pageText(int page) const {
    const Layout& d = *layout_;
    QStringList result;
    if (page < 1 || page > d.currentPage())
        return result;
    for (const Placed& item : d.pages[size_t(page - 1)].items) {
        if (item.label >= 0) {
            const Layout::PlacedLabel& label = d.labels[size_t(item.label)];
            result.append(QString::number(label.place + 1) + CellSeparator + label.layout.text());
            continue;
        }
        if (item.picture >= 0) {
            result.append(QLatin1Char('[') + d.pictures[size_t(item.picture)].caption +
                          QLatin1Char(']'));
            continue;
        }
        if (item.row < 0) {
            result.append(d.textLines[item.from]);
            continue;
        }
        QStringList cells;
        for (const QStringList& lines : d.rows[size_t(item.row)].cellLines)
            cells.append(lines.mid(item.from, item.to - item.from).join(QLatin1Char(' ')));
        result.append(cells.join(CellSeparator));
    }
    return result;
}

QString ReportDocument::pageHeader(int page) const {
    return pageHeaderLine(page).text();
}
QString ReportDocument::pageFooter(int page) const {
    return page >= 1 && page <= pageCount() ? layout_->pages[size_t(page - 1)].footer.text()
                                            : QString();
}
PageLine ReportDocument::pageHeaderLine(int page) const {
    return page >= 1 && page <= pageCount() ? layout_->pages[size_t(page - 1)].header : PageLine();
}
QString ReportDocument::pageBadge(int page) const {
    if (page < 1 || page > pageCount())
        return {};
    const std::shared_ptr<const Badge>& badge = layout_->pages[size_t(page - 1)].badge;
    return badge ? badge->code : QString();
}

void ReportDocument::paintPage(QPainter& painter, int page) const {
    const Layout& d = *layout_;
    if (page < 1 || page > d.currentPage())
        return;
    const Page& p = d.pages[size_t(page - 1)];
    painter.save();
    const QPaintDevice* device = painter.device();
    painter.scale(qreal(device->logicalDpiX()) / TwipsPerInch,
                  qreal(device->logicalDpiY()) / TwipsPerInch);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::black);
    if (d.labelStock) {
        d.paintLabels(painter, p);
        painter.restore();
        return;
    }

    int bodyTop = d.bodyTop;
    if (p.badge) {
        painter.translate(0, -Layout::badgeRaise);
        d.paintBadgeHeader(painter, *p.badge, headerParts(p.header, page));
        bodyTop = d.badgeBodyTop;
    } else {
        if (!p.header.text().isEmpty()) {
            painter.setFont(d.headerFont);
            const QFontMetricsF metrics(d.headerFont);
            d.paintParts(painter, headerParts(p.header, page), 0, d.contentWidth, metrics);
            d.paintHeaderRule(painter, d.headerLineHeight + HeaderRuleOffset);
        }
        painter.setFont(d.bodyFont);
        if (!p.footer.text().isEmpty())
            d.paintParts(painter, headerParts(p.footer, page), d.bodyTop + d.bodyHeight + FooterGap,
                         d.contentWidth, d.bodyMetrics);
    }
    painter.setFont(d.bodyFont);

    painter.translate(0, bodyTop);
    const qreal ascent = d.bodyMetrics.ascent();
    for (const Placed& item : p.items) {
        if (item.picture >= 0) {
            const auto& drawing = d.pictures[size_t(item.picture)];
            painter.save();
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(QPointF(0, item.y), drawing.shown), drawing.image);
            painter.restore();
        } else if (item.row >= 0)
            d.paintRow(painter, item);
        else if (!d.textLines[item.from].isEmpty())
            painter.drawText(QPointF(0, item.y + ascent), d.textLines[item.from]);
    }
    painter.restore();
}

bool ReportDocument::print(QPagedPaintDevice& device) const {
    const QPageLayout layout = pageLayout();
    if (!device.setPageLayout(layout)) {
        // A printer whose least margins are wider than ours keeps its own.
        device.setPageSize(layout.pageSize());
        device.setPageOrientation(layout.orientation());
    }
    const QPageRanges ranges = device.pageRanges();
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    bool first = true;
    for (int page = 1; page <= pageCount(); ++page) {
        if (!ranges.isEmpty() && !ranges.contains(page))
            continue;
        if (!first && !device.newPage())
            return false;
        first = false;
        paintPage(painter, page);
    }
    return painter.end();
}

ReportDocument& reportDocument() {
    static ReportDocument* document = [] {
        auto* created = new ReportDocument;
        created->setPageStartHook([created] {
            if (state().RepeatHeading)
                created->AddTableRows(state().TableFormat, headingRows(state().TableHeading), {},
                                      state().BodyShade);
        });
        return created;
    }();
    return *document;
}

void showReportOutput() {
    if (state().reportViewer)
        state().reportViewer();
}

} // namespace tavrel
