#include "support/paintedpage.h"

#include "reports/qrcode.h"
#include "reports/reportdocument.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>

#include <climits>
#include <memory>

namespace tavrel::test {

namespace {

constexpr int TwipsPerInch = 1440;

// Takes every drawing call with the transform in force, mapped to the device, whose units
// are twips. It claims every feature, so that the painter hands over texts and paths as
// they are rather than as the pieces it would emulate them with.
class RecordingEngine : public QPaintEngine {
public:
    explicit RecordingEngine(QList<PaintedItem>* items)
        : QPaintEngine(QPaintEngine::AllFeatures)
        , items_(items) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& changed) override {
        if (changed.state() & QPaintEngine::DirtyTransform)
            transform_ = changed.transform();
    }

    void drawTextItem(const QPointF& p, const QTextItem& textItem) override {
        const QFontMetricsF metrics(textItem.font());
        const QRectF ink = metrics.tightBoundingRect(textItem.text()).translated(p);
        add(PaintedItem::Text, transform_.mapRect(ink), textItem.text());
    }
    void drawPath(const QPainterPath& path) override {
        add(PaintedItem::Path, transform_.map(path).boundingRect());
    }
    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i) {
            const QLineF line = transform_.map(lines[i]);
            add(PaintedItem::Line, QRectF(line.p1(), line.p2()).normalized());
        }
    }
    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i)
            add(PaintedItem::Rect, transform_.mapRect(rects[i]));
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        add(PaintedItem::Path,
            transform_.map(QPolygonF(QList<QPointF>(points, points + count))).boundingRect());
    }
    void drawPixmap(const QRectF& rect, const QPixmap&, const QRectF&) override {
        add(PaintedItem::Image, transform_.mapRect(rect));
    }
    void drawImage(const QRectF& rect, const QImage&, const QRectF&,
                   Qt::ImageConversionFlags) override {
        add(PaintedItem::Image, transform_.mapRect(rect));
    }

private:
    void add(PaintedItem::Kind kind, const QRectF& rect, const QString& text = {}) {
        items_->append(PaintedItem{kind, text, rect});
    }

    QList<PaintedItem>* items_;
    QTransform transform_;
};

// A sheet of paper of a given size at 1440 dots per inch: one dot a twip.
class RecordingPage : public QPaintDevice {
public:
    RecordingPage(const QSizeF& twips, QList<PaintedItem>* items)
        : size_(twips.toSize())
        , engine_(std::make_unique<RecordingEngine>(items)) {}
    ~RecordingPage() override = default;

    QPaintEngine* paintEngine() const override { return engine_.get(); }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmWidthMM:
            return qRound(size_.width() * 25.4 / TwipsPerInch);
        case PdmHeightMM:
            return qRound(size_.height() * 25.4 / TwipsPerInch);
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return TwipsPerInch;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    QSize size_;
    std::unique_ptr<RecordingEngine> engine_;
};

} // namespace

QList<PaintedItem> paintedPage(const ReportDocument& document, int page) {
    QList<PaintedItem> items;
    const QPageLayout layout = document.pageLayout();
    RecordingPage paper(paperRect(document).size(), &items);
    QPainter painter(&paper);
    // As a printer or a PDF writer has it: the origin at the margins.
    const QRectF margins = layout.paintRect(QPageLayout::Point);
    painter.translate(margins.topLeft() * 20);
    document.paintPage(painter, page);
    painter.end();
    return items;
}

QRectF paperRect(const ReportDocument& document) {
    return QRectF(QPointF(0, 0), document.pageLayout().fullRect(QPageLayout::Point).size() * 20);
}

namespace {

// Rounding of the painter's transforms: a fraction of a twip.
constexpr double Slack = 0.5;
constexpr double EighteenMm = 18 / 25.4 * TwipsPerInch;
constexpr double QuarterInch = TwipsPerInch / 4.0;

QString shown(const QRectF& rect) {
    return QStringLiteral("(%1, %2 %3x%4)")
        .arg(rect.x(), 0, 'f', 1)
        .arg(rect.y(), 0, 'f', 1)
        .arg(rect.width(), 0, 'f', 1)
        .arg(rect.height(), 0, 'f', 1);
}

QString shown(const PaintedItem& item) {
    static const char* const kinds[] = {"text", "path", "line", "rect", "image"};
    return QString::fromLatin1(kinds[item.kind]) +
           (item.text.isEmpty() ? QString() : QStringLiteral(" '") + item.text + u'\'') + u' ' +
           shown(item.rect);
}

// By their edges: a line is a rectangle without height, which QRectF's own tests pass over.
bool inside(const QRectF& inner, const QRectF& outer) {
    return inner.left() >= outer.left() - Slack && inner.right() <= outer.right() + Slack &&
           inner.top() >= outer.top() - Slack && inner.bottom() <= outer.bottom() + Slack;
}

// Whether two rectangles share more than a touching edge.
bool overlap(const QRectF& a, const QRectF& b) {
    return a.left() < b.right() - Slack && b.left() < a.right() - Slack &&
           a.top() < b.bottom() - Slack && b.top() < a.bottom() - Slack;
}

QStringList texts(const QList<PaintedItem>& items) {
    QStringList result;
    for (const PaintedItem& item : items)
        if (item.kind == PaintedItem::Text)
            result << item.text;
    return result;
}

// The items painted after the header's rule, the first line painted.
QList<PaintedItem> body(const QList<PaintedItem>& items) {
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].kind == PaintedItem::Line)
            return items.mid(i + 1);
    return {};
}

} // namespace

QString badgePageFault(QList<PaintedItem> items, const QList<PaintedItem>& plain,
                       const QRectF& paper, const QString& code) {
    const QRectF printable = paper.adjusted(QuarterInch, QuarterInch, -QuarterInch, -QuarterInch);

    QList<QRectF> symbols;
    for (const PaintedItem& item : items)
        if (item.kind == PaintedItem::Path)
            symbols << item.rect;
    if (symbols.size() != 1)
        return QStringLiteral("%1 paths painted, not one symbol").arg(symbols.size());
    const QRectF symbol = symbols[0];
    if (qAbs(symbol.width() - symbol.height()) > Slack || symbol.width() < EighteenMm)
        return QStringLiteral("the symbol is no square of 18 mm: ") + shown(symbol);
    const int modules = QrSymbol::encode(code).size();
    const double quiet = QrSymbol::QuietZone * symbol.width() / modules;
    const QRectF zone = symbol.adjusted(-quiet, -quiet, quiet, quiet);
    if (!inside(zone, paper))
        return QStringLiteral("the quiet zone leaves the paper: ") + shown(zone);

    qsizetype captions = 0;
    for (const PaintedItem& item : items) {
        if (!inside(item.rect, printable))
            return QStringLiteral("outside the printable area %1: %2")
                .arg(shown(printable), shown(item));
        if (item.kind != PaintedItem::Path && overlap(item.rect, zone))
            return QStringLiteral("in the quiet zone %1: %2").arg(shown(zone), shown(item));
        if (item.kind == PaintedItem::Text && item.text == code) {
            ++captions;
            if (item.rect.center().x() < symbol.left() || item.rect.center().x() > symbol.right())
                return QStringLiteral("the caption is not under the symbol: ") + shown(item);
        }
    }
    if (captions != 1)
        return QStringLiteral("%1 captions '%2'").arg(captions).arg(code);
    for (const PaintedItem& text : items)
        for (const PaintedItem& other : items)
            if (&text != &other && text.kind == PaintedItem::Text &&
                other.kind == PaintedItem::Text && overlap(text.rect, other.rect))
                return QStringLiteral("texts overlap: %1, %2").arg(shown(text), shown(other));

    items.removeIf([&code](const PaintedItem& item) {
        return item.kind == PaintedItem::Path ||
               (item.kind == PaintedItem::Text && item.text == code);
    });
    if (texts(items) != texts(plain))
        return QStringLiteral("other texts: '%1' without the badge, '%2' with it")
            .arg(texts(plain).join(u'|'), texts(items).join(u'|'));
    const QList<PaintedItem> moved = body(items);
    const QList<PaintedItem> kept = body(plain);
    if (moved.size() != kept.size())
        return QStringLiteral("%1 items of the body without the badge, %2 with it")
            .arg(kept.size())
            .arg(moved.size());
    const double drop = moved.isEmpty() ? 0 : moved[0].rect.top() - kept[0].rect.top();
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const QRectF expected = kept[i].rect.translated(0, drop);
        if (moved[i].kind != kept[i].kind || moved[i].text != kept[i].text ||
            qAbs(moved[i].rect.left() - expected.left()) > Slack ||
            qAbs(moved[i].rect.top() - expected.top()) > Slack ||
            qAbs(moved[i].rect.width() - expected.width()) > Slack ||
            qAbs(moved[i].rect.height() - expected.height()) > Slack)
            return QStringLiteral("the body moved apart: %1 without the badge, %2 with it")
                .arg(shown(kept[i]), shown(moved[i]));
    }
    return {};
}

} // namespace tavrel::test
