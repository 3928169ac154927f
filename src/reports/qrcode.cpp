#include "reports/qrcode.h"

#include <QPainter>
#include <QPainterPath>

#include <qrencode.h>

#include <memory>

namespace tavrel {

QrSymbol QrSymbol::encode(const QString& text) {
    QrSymbol symbol;
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty())
        return symbol;
    // Case-sensitive, in the mode that suits the text best (alphanumeric for the codes).
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return symbol;
    symbol.size_ = code->width;
    symbol.dark_.resize(size_t(code->width) * size_t(code->width));
    for (size_t i = 0; i < symbol.dark_.size(); ++i)
        symbol.dark_[i] = (code->data[i] & 1) != 0; // bit 0: the module is dark
    return symbol;
}

void paintQrSymbol(QPainter& painter, const QRectF& square, const QrSymbol& symbol) {
    if (symbol.isNull())
        return;
    const double module = std::min(square.width(), square.height()) / symbol.size();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (int y = 0; y < symbol.size(); ++y) {
        for (int x = 0; x < symbol.size();) {
            if (!symbol.isDark(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < symbol.size() && symbol.isDark(end, y))
                ++end;
            path.addRect(QRectF(square.left() + x * module, square.top() + y * module,
                                (end - x) * module, module));
            x = end;
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillPath(path, Qt::black);
    painter.restore();
}

} // namespace tavrel
