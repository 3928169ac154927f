#include "support/pdfreading.h"

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

QStringList qrCodesOnPage(const QString& pdf, int page, int dpi) {
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    const QString number = QString::number(page);
    toolOutput(QStringLiteral("pdftoppm"),
               {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                QStringLiteral("-l"), number, QStringLiteral("-singlefile"), QStringLiteral("-png"),
                pdf, stem});
    return qrCodesInImage(stem + QStringLiteral(".png"));
}

} // namespace tavrel::test
