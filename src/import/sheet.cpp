#include "import/sheet.h"

#include "import/csvreader.h"
#include "import/xlsxreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tavrel {

namespace {

// The largest file that is read: a list of tasks is far smaller.
constexpr qint64 MaxFileBytes = 256 * 1024 * 1024;
constexpr int LettersInAlphabet = 26;

bool isCsvName(const QString& path) {
    return path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}
bool isXlsxName(const QString& path) {
    return path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive);
}

} // namespace

const SheetCell* SheetRow::cell(int column) const {
    const auto it = std::lower_bound(cells.cbegin(), cells.cend(), column,
                                     [](const SheetCell& c, int col) { return c.column < col; });
    return it != cells.cend() && it->column == column ? &*it : nullptr;
}

QString columnName(int column) {
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / LettersInAlphabet)
        name.prepend(QChar(u'A' + (n - 1) % LettersInAlphabet));
    return name;
}

bool isSheetFileName(const QString& path) {
    return isCsvName(path) || isXlsxName(path);
}

Sheet readSheetFile(const QString& path) {
    Sheet sheet;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!isSheetFileName(path))
        sheet.error = QStringLiteral("%1 is neither a CSV file (.csv) nor an Excel workbook "
                                     "(.xlsx).")
                          .arg(shown);
    else if (!info.exists())
        sheet.error = QStringLiteral("%1 does not exist.").arg(shown);
    else if (info.isDir())
        sheet.error = QStringLiteral("%1 is a folder, not a file.").arg(shown);
    else if (!info.isFile())
        // Looked at before it is opened: opening a pipe would wait for a writer.
        sheet.error = QStringLiteral("%1 is not a file but a device or a pipe.").arg(shown);
    else if (info.size() > MaxFileBytes)
        sheet.error = QStringLiteral("%1 is larger than %2 MB: that is no list of tasks.")
                          .arg(shown)
                          .arg(MaxFileBytes / (1024 * 1024));
    if (!sheet.error.isEmpty())
        return sheet;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        sheet.error = QStringLiteral("%1 cannot be read: %2.").arg(shown, file.errorString());
        return sheet;
    }
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    sheet = isCsvName(path) ? readCsv(bytes) : readXlsx(bytes);
    if (!sheet.error.isEmpty())
        sheet.error = QStringLiteral("%1: %2").arg(shown, sheet.error);
    return sheet;
}

} // namespace tavrel
