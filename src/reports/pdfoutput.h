#pragma once

#include <QString>

namespace tavrel {

class ReportDocument;

// Writes every page of the document into a PDF file at `path` (created or replaced).
// False, with the reason in `error`, when the file cannot be written.
bool printToPdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

// Writes the document into a new PDF file at `path`, a name the program chose: the file is
// created exclusively, so that an existing file or a link of that name (a dangling one
// too) is never written through or replaced. False, with the reason in `error`, when the
// name is taken or the file cannot be written; then nothing is left at `path`.
bool printToNewPdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

} // namespace tavrel
