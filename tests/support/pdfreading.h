#pragma once

#include <QString>
#include <QStringList>

// A PDF read back as a reader does, through poppler's tools: its text page by page
// (pdftotext in layout mode) and the QR codes on a page rendered as a printer would
// (pdftoppm, then zbarimg). Empty lists when the tools are missing or the file is not read.
namespace tavrel::test {

// True when pdftotext, pdftoppm and zbarimg are all there.
bool pdfToolsPresent();
QStringList pdfPages(const QString& pdf);
// Page `page` (from 1) of `pdf` rendered at `dpi` into a PNG file in `folder`: its path, or
// empty when it could not be rendered.
QString renderPage(const QString& pdf, int page, int dpi, const QString& folder);
// The texts of the QR codes on page `page` (from 1) rendered at `dpi`, sorted.
QStringList qrCodesOnPage(const QString& pdf, int page, int dpi = 150);
// Same, for an image file.
QStringList qrCodesInImage(const QString& image);

} // namespace tavrel::test
