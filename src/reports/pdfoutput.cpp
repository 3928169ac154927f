#include "reports/pdfoutput.h"

#include "reports/reportdocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QPdfWriter>
#include <QSaveFile>

namespace tavrel {

namespace {
// Fine enough that rules and text sit where the twips put them.
constexpr int PdfResolution = 1200;
} // namespace

bool printToPdf(const ReportDocument& document, const QString& path, QString* error) {
    // Written beside the file and put in its place only when complete, so a failure leaves
    // an older file of that name as it was.
    QSaveFile file(path);
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("The file '") + QDir::toNativeSeparators(path) +
                     QStringLiteral("' could not be written") +
                     (reason.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + reason);
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfResolution);
        writer.setCreator(QCoreApplication::applicationName());
        writer.setTitle(QStringLiteral("Report"));
        if (!document.print(writer)) {
            file.cancelWriting();
            return fail({});
        }
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace tavrel
