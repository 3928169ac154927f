#pragma once

#include <QString>

namespace tavrel {

class ReportDocument;

// Writes every page of the document into a PDF file at `path` (created or replaced).
// False, with the reason in `error`, when the file cannot be written.
bool printToPdf(const ReportDocument& document, const QString& path, QString* error = nullptr);

} // namespace tavrel
