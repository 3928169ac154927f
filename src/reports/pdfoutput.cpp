#include "reports/pdfoutput.h"

#include "reports/reportdocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>

namespace tavrel {

namespace {
// Fine enough that rules and text sit where the twips put them.
constexpr int PdfResolution = 1200;

// Why the file at `path` could not be written, for the user.
bool failed(const QString& path, const QString& reason, QString* error) {
    if (error)
        *error = QStringLiteral("The file '") + QDir::toNativeSeparators(path) +
                 QStringLiteral("' could not be written") +
                 (reason.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + reason);
    return false;
}

bool printPages(const ReportDocument& document, QIODevice* device) {
    QPdfWriter writer(device);
    writer.setResolution(PdfResolution);
    writer.setCreator(QCoreApplication::applicationName());
    writer.setTitle(document.title());
    return document.print(writer);
}

} // namespace

bool printToPdf(const ReportDocument& document, const QString& path, QString* error) {
    // Written beside the file and put in its place only when complete, so a failure leaves
    // an older file of that name as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(path, file.errorString(), error);
    if (!printPages(document, &file)) {
        file.cancelWriting();
        return failed(path, {}, error);
    }
    if (!file.commit())
        return failed(path, file.errorString(), error);
    return true;
}

bool printToNewPdf(const ReportDocument& document, const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return failed(path,
                      QFileInfo(path).isSymLink() || QFileInfo::exists(path)
                          ? QStringLiteral("a file of that name exists")
                          : file.errorString(),
                      error);
    const bool printed = printPages(document, &file);
    file.close();
    if (!printed || file.error() != QFileDevice::NoError) {
        const QString reason = printed ? file.errorString() : QString();
        file.remove(); // this run's own, unfinished file
        return failed(path, reason, error);
    }
    return true;
}

} // namespace tavrel
