#include "reports/pdfoutput.h"

#include "reports/reportdocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace tavrel {

namespace {
// Fine enough that rules and text sit where the twips put them.
constexpr int PdfResolution = 1200;
// A page as an image: sharp on a screen and in a document, small enough to mail.
constexpr int PngResolution = 150;
constexpr double InchesPerMetre = 0.0254;

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

QString pageImageName(const QString& path, int page) {
    if (page <= 1)
        return path;
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    return base + QStringLiteral("-%1").arg(page) +
           (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

bool printToPng(const ReportDocument& document, const QString& path, QString* error) {
    const QPageLayout layout = document.pageLayout();
    const QSize pixels = layout.fullRectPixels(PngResolution).size();
    const QPoint margin = layout.paintRectPixels(PngResolution).topLeft();
    for (int page = 1; page <= document.pageCount(); ++page) {
        QImage image(pixels, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(PngResolution / InchesPerMetre));
        image.setDotsPerMeterY(qRound(PngResolution / InchesPerMetre));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(margin);
            document.paintPage(painter, page);
        }
        const QString name = pageImageName(path, page);
        QSaveFile file(name);
        if (!file.open(QIODevice::WriteOnly))
            return failed(name, file.errorString(), error);
        if (!image.save(&file, "PNG")) {
            file.cancelWriting();
            return failed(name, {}, error);
        }
        if (!file.commit())
            return failed(name, file.errorString(), error);
    }
    return true;
}

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
