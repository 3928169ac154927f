#include "reports/pdfoutput.h"

#include "reports/reportdocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPdfWriter>

namespace tavrel {

namespace {
// Fine enough that rules and text sit where the twips put them.
constexpr int PdfResolution = 1200;
} // namespace

bool printToPdf(const ReportDocument& document, const QString& path, QString* error) {
    // QPdfWriter says nothing when it cannot open its file: try it first, for the reason.
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (error)
                *error = QStringLiteral("The file '") + QDir::toNativeSeparators(path) +
                         QStringLiteral("' could not be written: ") + probe.errorString();
            return false;
        }
    }
    QPdfWriter writer(path);
    writer.setResolution(PdfResolution);
    writer.setCreator(QCoreApplication::applicationName());
    writer.setTitle(QStringLiteral("Report"));
    if (!document.print(writer)) {
        if (error)
            *error = QStringLiteral("The file '") + QDir::toNativeSeparators(path) +
                     QStringLiteral("' could not be written.");
        return false;
    }
    return true;
}

} // namespace tavrel
