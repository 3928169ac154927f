#include "text/textfunctions.h"

namespace tavrel {

QString ReplaceAll(QString& text, const QString& find, const QString& replacement) {
    if (find.isEmpty())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(find, start, Qt::CaseSensitive); at >= 0;
         at = text.indexOf(find, start, Qt::CaseSensitive)) {
        result += QStringView(text).mid(start, at - start);
        result += replacement;
        start = at + find.size();
    }
    result += QStringView(text).mid(start);
    text = result;
    return result;
}

QString firstAndLastName(const QString& first, const QString& last) {
    if (first.isEmpty() || last.isEmpty())
        return first + last;
    return first + QLatin1Char(' ') + last;
}

bool isEmailAddress(const QString& text) {
    if (text.size() > EmailAddressLength || text.count(QLatin1Char('@')) != 1)
        return false;
    for (const QChar c : text)
        if (c.isSpace())
            return false;
    const qsizetype at = text.indexOf(QLatin1Char('@'));
    const QString domain = text.mid(at + 1);
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    return at > 0 && dot > 0 && !domain.endsWith(QLatin1Char('.'));
}

} // namespace tavrel
