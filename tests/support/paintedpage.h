#pragma once

#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QString>

namespace tavrel {
class ReportDocument;
}

// A page of a report document as it is painted: every text, path, line and rectangle the
// painter sent to the device, where it fell on the paper. What tests look at to see that
// two things painted on a page do not overlap and that all stays inside the printable area.
namespace tavrel::test {

struct PaintedItem {
    enum Kind { Text, Path, Line, Rect, Image };
    Kind kind = Text;
    QString text; // Text: what was drawn
    QRectF rect;  // in twips from the paper's top-left corner: a text's ink, a shape's bounds
};

// The items of page `page` of `document` painted on its paper (the document's page
// layout), in the order painted.
QList<PaintedItem> paintedPage(const ReportDocument& document, int page);

// The paper of `document` in twips, from its top-left corner.
QRectF paperRect(const ReportDocument& document);

// What is wrong with a page painted with a badge of `code` (`withBadge`), beside the same
// page painted without one (`without`), on `paper`; empty when nothing is:
//  - the code's symbol is one path, a square at least 18 mm wide;
//  - everything painted is inside the printable area, a quarter inch inside the paper's
//    edges, and nothing but the symbol within the symbol's quiet zone;
//  - the caption is the code, under the symbol, and touches no other text;
//  - the page shows the same texts in the same order, no header part cut shorter, and its
//    body (everything below the header's rule) is the other's moved down as one piece.
QString badgePageFault(QList<PaintedItem> withBadge, const QList<PaintedItem>& without,
                       const QRectF& paper, const QString& code);

} // namespace tavrel::test
