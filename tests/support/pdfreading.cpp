#include "support/pdfreading.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace tavrel::test {

namespace {

constexpr int ToolBoundMs = 60'000;

// Standard output of `program`, empty when it failed. zbarimg exits 4 when it found no
// code: that is an answer, not a failure.
QByteArray toolOutput(const QString& program, const QStringList& arguments,
                      QList<int> goodExits = {0}) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolBoundMs) || process.exitStatus() != QProcess::NormalExit ||
        !goodExits.contains(process.exitCode()))
        return {};
    return process.readAllStandardOutput();
}

} // namespace

bool pdfToolsPresent() {
    for (const char* tool : {"pdftotext", "pdftoppm", "zbarimg"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    return true;
}

QStringList pdfPages(const QString& pdf) {
    QStringList pages =
        QString::fromUtf8(toolOutput(QStringLiteral("pdftotext"),
                                     {QStringLiteral("-layout"), pdf, QStringLiteral("-")}))
            .split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QStringList qrCodesInImage(const QString& image) {
    QStringList codes =
        QString::fromUtf8(
            toolOutput(QStringLiteral("zbarimg"),
                       {QStringLiteral("--quiet"), QStringLiteral("--raw"),
                        QStringLiteral("-Sdisable"), QStringLiteral("-Sqrcode.enable"), image},
                       {0, 4}))
            .split(u'\n', Qt::SkipEmptyParts);
    codes.sort();
    return codes;
}

QString renderPage(const QString& pdf, int page, int dpi, const QString& folder) {
    const QString stem = folder + QStringLiteral("/page%1").arg(page);
    const QString number = QString::number(page);
    toolOutput(QStringLiteral("pdftoppm"),
               {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                QStringLiteral("-l"), number, QStringLiteral("-singlefile"), QStringLiteral("-png"),
                pdf, stem});
    const QString png = stem + QStringLiteral(".png");
    return QFileInfo::exists(png) ? png : QString();
}

QStringList qrCodesOnPage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString png = renderPage(pdf, page, dpi, dir.path());
    return png.isEmpty() ? QStringList() : qrCodesInImage(png);
}

} // namespace tavrel::test
