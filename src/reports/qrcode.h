#pragma once

#include <QString>

#include <vector>

class QPainter;
class QRectF;

namespace tavrel {

// A QR code symbol (libqrencode): a square of modules, each dark or light.
class QrSymbol {
public:
    QrSymbol() = default;
    // The symbol of `text` at error correction level M, in the smallest version that holds
    // it (the program's codes, capitals, digits and dashes, in version 1: 21 modules). A
    // null symbol when the text cannot be encoded.
    static QrSymbol encode(const QString& text);

    bool isNull() const { return size_ == 0; }
    // Modules along a side, without the quiet zone.
    int size() const { return size_; }
    bool isDark(int x, int y) const { return dark_[size_t(y * size_ + x)]; }

    // The light margin a reader needs around the symbol, in modules.
    static constexpr int QuietZone = 4;

private:
    int size_ = 0;
    std::vector<bool> dark_;
};

// Paints `symbol` filling `square` (its quiet zone is outside: the caller leaves that free)
// as one filled path of rectangles, each a run of dark modules along a row: vectors on a PDF
// or a printer, sharp at any scale, without hairline gaps between modules.
void paintQrSymbol(QPainter& painter, const QRectF& square, const QrSymbol& symbol);

} // namespace tavrel
