#pragma once

#include <QString>

namespace tavrel {

class ReportDocument;

// Writes every page of the document into a PDF file at `path` (created or replaced).
// False, with the reason in `error`, when the file cannot be written.
bool printToPdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

// Writes every page of the document as a PNG image (150 dots an inch): the first at `path`,
// the others beside it, numbered ("Costs.png", "Costs-2.png", ...). Each file is replaced
// only when written whole. False, with the reason in `error`, when a file cannot be written.
bool printToPng(const ReportDocument& document, const QString& path, QString* error = nullptr);
// The file of page `page` (from 1) when the document is written as images at `path`.
QString pageImageName(const QString& path, int page);

// Writes the document into a new PDF file at `path`, a name the program chose: the file is
// created exclusively, so that an existing file or a link of that name (a dangling one
// too) is never written through or replaced. False, with the reason in `error`, when the
// name is taken or the file cannot be written; then nothing is left at `path`.
bool printToNewPdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

} // namespace tavrel
