#include "reports/labels.h"

#include "core/workordercode.h"
#include "data/database.h"
#include "reports/reportdocument.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <vector>

namespace tavrel {

using namespace docmetrics;

namespace {

constexpr double TwipsPerMillimetre = TwipsPerInch / MillimetresPerInch;

// Labels are read at arm's length on a machine: a sans-serif type, the name bold.
constexpr auto LabelFontFamily = "Liberation Sans";
constexpr auto LabelFallbackFamily = "DejaVu Sans";
constexpr int NameSize = 9 * TwipsPerPoint;
constexpr int LineSize = 8 * TwipsPerPoint;
constexpr int CodeSize = 13 * TwipsPerPoint / 2; // 6.5 pt
// The name takes as many lines as the label's height leaves it, up to this many.
constexpr int MostNameLines = 3;

const QString Ellipsis = QStringLiteral("\u2026");

QFont labelFont(int pixelSize, bool bold) {
    // Sized in pixels of one twip each, as the document's own type.
    QFont font(QString::fromLatin1(LabelFontFamily));
    font.setFamilies(
        {QString::fromLatin1(LabelFontFamily), QString::fromLatin1(LabelFallbackFamily)});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

struct LabelFonts {
    QFont name = labelFont(NameSize, true);
    QFont line = labelFont(LineSize, false);
    QFont code = labelFont(CodeSize, false);
};

const LabelFonts& fonts() {
    static const LabelFonts made;
    return made;
}

// The room of the texts on a label of `stock`, in twips from its top-left corner: right of
// the QR code's square (the symbol with its quiet zone, as high as the label) and inside the
// padding.
QRectF textRoom(const LabelStock& stock) {
    const double width = stock.width * TwipsPerMillimetre;
    const double height = stock.height * TwipsPerMillimetre;
    const double padding = LabelPadding * TwipsPerMillimetre;
    return QRectF(QPointF(height, padding), QPointF(width - padding, height - padding));
}

// `text` on one line of `width`, cut with an ellipsis when it is longer.
QString fitted(const QString& text, const QFont& font, qreal width) {
    return QFontMetricsF(font).elidedText(text.simplified(), Qt::ElideRight, width);
}

// The name broken into at most `count` lines of `width`, the last cut with an ellipsis when
// the rest does not fit on it.
QStringList fittedLines(const QString& text, const QFont& font, qreal width, int count) {
    const QString name = text.simplified();
    QStringList lines;
    if (name.isEmpty())
        return lines;
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == count - 1) {
            lines.append(fitted(name.mid(line.textStart()), font, width));
            break;
        }
        lines.append(name.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

// One line of a label's texts as it is painted.
struct PaintedLine {
    QString text;
    const QFont* font;
};

std::vector<PaintedLine> paintedLines(const LabelLayout& label) {
    std::vector<PaintedLine> lines;
    for (const QString& line : label.nameLines)
        lines.push_back({line, &fonts().name});
    if (!label.tag.isEmpty())
        lines.push_back({label.tag, &fonts().line});
    if (!label.location.isEmpty())
        lines.push_back({label.location, &fonts().line});
    lines.push_back({label.codeLine, &fonts().code});
    return lines;
}

} // namespace

QRectF LabelStock::placeRect(int place) const {
    return QRectF(left + (place % columns) * pitchX, top + (place / columns) * pitchY, width,
                  height);
}

std::optional<LabelStock> labelStockNamed(const QString& key) {
    for (const LabelStock& stock : LabelStocks)
        if (key.compare(QLatin1String(stock.key), Qt::CaseInsensitive) == 0)
            return stock;
    return std::nullopt;
}

const LabelStock& defaultLabelStock() {
    const bool inches = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
    return inches ? LabelStocks[1] : LabelStocks[0];
}

QString LabelLayout::text() const {
    return QStringList{code, nameLines.join(QLatin1Char(' ')), tag, location}.join(
        QLatin1Char('|'));
}

LabelLayout layoutLabel(const LabelStock& stock, const LabelContent& content) {
    LabelLayout label;
    label.code = content.code;
    label.symbol = QrSymbol::encode(content.code);
    // The symbol as large as the label's height allows with its quiet zone inside the label:
    // the label may be stuck on a dark surface, which is no light margin.
    const double height = stock.height * TwipsPerMillimetre;
    if (!label.symbol.isNull()) {
        const double module = height / (label.symbol.size() + 2 * QrSymbol::QuietZone);
        label.symbolRect = QRectF(QrSymbol::QuietZone * module, QrSymbol::QuietZone * module,
                                  label.symbol.size() * module, label.symbol.size() * module);
    }
    const QRectF room = textRoom(stock);
    const qreal width = room.width();
    const qreal others =
        QFontMetricsF(fonts().line).lineSpacing() * 2 + QFontMetricsF(fonts().code).lineSpacing();
    const int nameLines =
        std::clamp(int((room.height() - others) / QFontMetricsF(fonts().name).lineSpacing()), 1,
                   MostNameLines);
    label.nameLines = fittedLines(content.name, fonts().name, width, nameLines);
    label.tag = fitted(content.tag, fonts().line, width);
    label.location = fitted(content.location, fonts().line, width);
    label.codeLine = fitted(content.code, fonts().code, width);
    return label;
}

void paintLabel(QPainter& painter, const LabelStock& stock, const LabelLayout& label) {
    painter.save();
    // Nothing of one label reaches the next, whatever its texts.
    painter.setClipRect(
        QRectF(0, 0, stock.width * TwipsPerMillimetre, stock.height * TwipsPerMillimetre),
        Qt::IntersectClip);
    paintQrSymbol(painter, label.symbolRect, label.symbol);

    // The texts as one block, in the middle of their room from top to bottom.
    const QRectF room = textRoom(stock);
    const std::vector<PaintedLine> lines = paintedLines(label);
    qreal blockHeight = 0;
    for (const PaintedLine& line : lines)
        blockHeight += QFontMetricsF(*line.font).lineSpacing();
    qreal y = room.top() + std::max(0.0, (room.height() - blockHeight) / 2);
    painter.setPen(Qt::black);
    for (const PaintedLine& line : lines) {
        const QFontMetricsF metrics(*line.font);
        painter.setFont(*line.font);
        if (!line.text.isEmpty())
            painter.drawText(QPointF(room.left(), y + metrics.ascent()), line.text);
        y += metrics.lineSpacing();
    }
    painter.restore();
}

double closestPaintToEdge(const LabelStock& stock) {
    const QSizeF paper = QPageSize(stock.paper).size(QPageSize::Millimeter);
    const QRectF first = stock.placeRect(0);
    const QRectF last = stock.placeRect(stock.perSheet() - 1);
    // The symbol's dark modules begin a quiet zone inside the label's left edge: at least
    // that of the largest symbol a code needs (version 2, 25 modules, for the longest keys).
    constexpr int LargestModules = 25 + 2 * QrSymbol::QuietZone;
    const double leftInset = stock.height / LargestModules * QrSymbol::QuietZone;
    return std::min({first.left() + leftInset, first.top() + LabelPadding,
                     paper.width() - last.right() + LabelPadding,
                     paper.height() - last.bottom() + LabelPadding});
}

QStringList labelLocationNames(Database& db) {
    QStringList names;
    Recordset rows = db.openRecordset(
        QStringLiteral("select locdesc from locations order by locdesc"), RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext()) {
        const QString name = rows.value(QStringLiteral("locdesc")).toString().trimmed();
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names << name;
    }
    rows.close();
    return names;
}

QList<qint64> locationsNamed(Database& db, const QString& name) {
    QList<qint64> keys;
    const QString wanted = name.trimmed();
    Recordset rows =
        db.openRecordset(QStringLiteral("select locid, locdesc from locations order by locid"),
                         RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext())
        if (rows.value(QStringLiteral("locdesc"))
                .toString()
                .trimmed()
                .compare(wanted, Qt::CaseInsensitive) == 0)
            keys << rows.value(QStringLiteral("locid")).toLongLong();
    rows.close();
    return keys;
}

namespace {

QString keyList(const QList<qint64>& keys) {
    QStringList texts;
    for (qint64 key : keys)
        texts << QString::number(key);
    return texts.join(QLatin1Char(','));
}

QList<LabelTask> tasksWhere(Database& db, const QStringList& conditions) {
    QList<LabelTask> tasks;
    QString sql = QStringLiteral("select tasks.taskid as taskid, taskname, Tag, locdesc from tasks "
                                 "left join locations on tasks.locid = locations.locid");
    if (!conditions.isEmpty())
        sql += QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
    sql += QStringLiteral(" order by taskname, tasks.taskid");
    Recordset rows = db.openRecordset(sql, RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext())
        tasks << LabelTask{rows.value(QStringLiteral("taskid")).toLongLong(),
                           rows.value(QStringLiteral("taskname")).toString(),
                           rows.value(QStringLiteral("Tag")).toString(),
                           rows.value(QStringLiteral("locdesc")).toString()};
    rows.close();
    return tasks;
}

} // namespace

QList<LabelTask> labelTasks(Database& db, const LabelChoice& choice) {
    QStringList conditions;
    if (!choice.location.trimmed().isEmpty()) {
        const QList<qint64> locations = locationsNamed(db, choice.location);
        if (locations.isEmpty())
            return {};
        conditions << QStringLiteral("tasks.locid in (") + keyList(locations) + QLatin1Char(')');
    }
    if (!choice.taskIds.isEmpty())
        conditions << QStringLiteral("tasks.taskid in (") + keyList(choice.taskIds) +
                          QLatin1Char(')');
    return tasksWhere(db, conditions);
}

LabelsOutcome writeLabels(Database& db, ReportDocument& document, const LabelStock& stock,
                          int start, const LabelChoice& choice) {
    LabelsOutcome outcome;
    if (start < 1 || start > stock.perSheet()) {
        outcome.error = QStringLiteral("The first label %1 is not on the sheet: its labels are "
                                       "numbered 1 to %2.")
                            .arg(start)
                            .arg(stock.perSheet());
        return outcome;
    }
    const QString location = choice.location.trimmed();
    if (!location.isEmpty() && locationsNamed(db, location).isEmpty()) {
        outcome.error =
            QStringLiteral("There is no location named \"%1\". No labels were made.").arg(location);
        return outcome;
    }
    const QList<LabelTask> tasks = labelTasks(db, choice);
    if (tasks.isEmpty()) {
        outcome.error = location.isEmpty()
                            ? QStringLiteral("There are no tasks to make labels for.")
                            : QStringLiteral("The location \"%1\" has no tasks to make labels "
                                             "for.")
                                  .arg(location);
        return outcome;
    }
    const QString site = workordercode::currentSiteTag();
    if (site.isEmpty()) {
        outcome.error = QStringLiteral("The site's identifier could not be read. No labels were "
                                       "made.");
        return outcome;
    }
    document.BeginLabels(stock, start);
    document.setTitle(QStringLiteral("Equipment Labels"));
    for (const LabelTask& task : tasks)
        document.AddLabel(
            {workordercode::formatCode(site, workordercode::CodeKind::Task, task.taskid), task.name,
             task.tag, task.location});
    document.EndDocument();
    outcome.labels = int(tasks.size());
    return outcome;
}

} // namespace tavrel
