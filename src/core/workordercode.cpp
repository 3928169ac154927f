#include "core/workordercode.h"

#include "core/upgrade.h"

#include <QStringList>
#include <QUuid>

namespace tavrel::workordercode {

namespace {

constexpr auto Mark = "TVL";
constexpr QChar Dash = u'-';
constexpr char16_t Alphabet[] = u"0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int AlphabetSize = 32;

// The value of `c` in the alphabet, -1 when it is not one of it.
int symbolValue(QChar c) {
    for (int i = 0; i < AlphabetSize; ++i)
        if (Alphabet[i] == c.unicode())
            return i;
    return -1;
}

// Multiplication by 2 (the polynomial x) in GF(32) = GF(2)[x] / (x^5 + x^2 + 1).
int timesTwo(int v) {
    v <<= 1;
    return (v & 0x20) ? (v ^ 0x25) : v;
}

QChar kindLetter(CodeKind kind) {
    return kind == CodeKind::Task ? QChar(u'T') : QChar(u'A');
}

// `text` as the code it means: blanks around it left off, small letters as capitals and
// digits of other scripts (an Arabic keyboard's) as the digits the code is printed with.
QString asTyped(const QString& text) {
    QString typed = text.trimmed().toUpper();
    for (QChar& c : typed)
        if (c.category() == QChar::Number_DecimalDigit)
            c = QChar(u'0' + c.digitValue());
    return typed;
}

} // namespace

QString siteTag(const QString& siteIdentifier) {
    const QUuid id(siteIdentifier);
    if (siteIdentifier.isEmpty())
        return {};
    // A text that is not a UUID (a site whose identifier someone typed) still gets a tag of
    // its own, from a hash of the text.
    const quint32 bits = id.isNull() ? quint32(qHash(siteIdentifier, 0)) >> 1 : id.data1 >> 17;
    QString tag;
    for (int i = SiteTagLength - 1; i >= 0; --i)
        tag += QChar(Alphabet[(bits >> (5 * i)) & 0x1f]);
    return tag;
}

QChar checkCharacter(QStringView payload) {
    // The value at 2 of the polynomial whose coefficients are the payload's characters
    // followed by the check: Horner's rule over the payload, then the check c is the one
    // for which 2 * r + c = 0, that is c = 2 * r (the field has characteristic 2).
    int r = 0;
    for (const QChar c : payload) {
        const int v = symbolValue(c);
        if (v < 0)
            return {};
        r = timesTwo(r) ^ v;
    }
    return QChar(Alphabet[timesTwo(r)]);
}

QString formatCode(const QString& siteTag, CodeKind kind, qint64 key) {
    const QString digits = QStringLiteral("%1").arg(key, KeyDigits, 10, QChar(u'0'));
    const QString payload = siteTag + kindLetter(kind) + digits;
    return QLatin1String(Mark) + Dash + siteTag + Dash + kindLetter(kind) + Dash + digits + Dash +
           checkCharacter(payload);
}

QString currentSiteTag() {
    return siteTag(SiteIdentifier());
}

QString siteCode(CodeKind kind, qint64 key) {
    const QString tag = currentSiteTag();
    return tag.isEmpty() ? QString() : formatCode(tag, kind, key);
}

CodeReading readCode(const QString& text) {
    CodeReading reading;
    const QStringList parts = asTyped(text).split(Dash);
    if (parts.size() != 5 || parts[0] != QLatin1String(Mark))
        return reading;
    const QString& tag = parts[1];
    const QString& kind = parts[2];
    const QString& digits = parts[3];
    const QString& check = parts[4];
    if (tag.size() != SiteTagLength || kind.size() != 1 || check.size() != 1)
        return reading;
    if (kind != QStringLiteral("A") && kind != QStringLiteral("T"))
        return reading;
    // Six digits, or more without a leading zero: one way of writing each key.
    if (digits.size() < KeyDigits || digits.size() > 10 ||
        (digits.size() > KeyDigits && digits.front() == u'0'))
        return reading;
    for (const QChar c : digits)
        if (c < u'0' || c > u'9')
            return reading;
    for (const QChar c : tag + check)
        if (symbolValue(c) < 0)
            return reading;
    const qint64 key = digits.toLongLong();
    if (key < 1)
        return reading;

    reading.siteTag = tag;
    reading.kind = kind == QStringLiteral("T") ? CodeKind::Task : CodeKind::Assignment;
    reading.key = key;
    reading.fault = checkCharacter(QString(tag + kind + digits)) == check.front()
                        ? CodeFault::None
                        : CodeFault::WrongCheck;
    return reading;
}

} // namespace tavrel::workordercode
