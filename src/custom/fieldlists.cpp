#include "custom/fieldlists.h"

namespace tavrel {

qint16 CountFields(const QString& text, const QString& delimiter) {
    if (text.isEmpty())
        return 0;
    if (delimiter.isEmpty())
        return 1;
    // Each search starts one character after the previous match, so overlapping
    // delimiters of more than one character all count.
    qint16 count = 1;
    for (qsizetype at = text.indexOf(delimiter); at >= 0; at = text.indexOf(delimiter, at + 1))
        ++count;
    return count;
}

QString GetField(const QString& text, const QString& delimiter, qint16 n) {
    if (n < 1)
        return {};
    if (delimiter.isEmpty())
        return n == 1 ? text : QString();
    qsizetype start = 0;
    for (qint16 passed = 1; passed < n; ++passed) {
        const qsizetype at = text.indexOf(delimiter, start);
        if (at < 0)
            return {};
        start = at + 1;
    }
    const qsizetype end = text.indexOf(delimiter, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

QString joinCatalogueTable(const QString& fromText, const QString& reportTable,
                           const QString& fileName, const QString& linkField) {
    if (fileName.isEmpty() || fileName == reportTable || fromText.contains(fileName))
        return fromText;
    const QString semicolon = QStringLiteral(";");
    const bool twoNames = linkField.contains(semicolon);
    const QString own = twoNames ? GetField(linkField, semicolon, 1) : linkField;
    const QString theirs = twoNames ? GetField(linkField, semicolon, 2) : linkField;
    return QStringLiteral("(%1 left join %2 on %3.%4 = %2.%5)")
        .arg(fromText, fileName, reportTable, own, theirs);
}

} // namespace tavrel
