#include "text/datetext.h"

#include "data/datefields.h"
#include "data/units.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace tavrel {

namespace {

// The date whose short-date text reveals the system's order: its month, day and year
// are three different numbers.
constexpr int RefYear = 1998;
constexpr int RefMonth = 5;
constexpr int RefDay = 30;

constexpr QChar MinusSign(0x2212); // the minus some locales use in money and numbers

// Invisible characters (direction marks around separators and signs in Arabic, Persian,
// Hebrew and Urdu locales) are no part of what the text says.
bool isFormatMark(char32_t c) {
    return QChar::category(c) == QChar::Other_Format;
}

// The text as the readers below take it: without format marks, and with the decimal digits
// of every script (Arabic-Indic, Devanagari, Bengali, ...) written as 0-9.
QString plainText(const QString& text) {
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return text;
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toStdU32String()) {
        if (isFormatMark(c))
            continue;
        if (c > 0x7f && QChar::category(c) == QChar::Number_DecimalDigit)
            out += QChar(u'0' + QChar::digitValue(c));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

// The character (code point) that starts at position i.
char32_t codePointAt(const QString& text, qsizetype i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    return c.unicode();
}

// A character of a word: letters with their combining marks (Indic vowel signs).
bool isWordChar(char32_t c) {
    return QChar::isLetter(c) || QChar::isMark(c);
}

bool isAsciiDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}

// What may stand between the fields of a typed date.
bool isDateSeparator(char32_t c) {
    return QChar::isSpace(c) || c == U'/' || c == U'-' || c == U'.' || c == U',';
}

// The literal text of the locale's date patterns (bg_BG's "г" after the year, the 年, 月 and
// 日 of Chinese and Japanese long dates, the 년, 월 and 일 of Korean ones, es_ES's "de"): a
// date may carry it, and it says nothing about the date. Quoted text and every character
// that is not a pattern letter count; its words are kept whole.
struct DateLiterals {
    QStringList words;
    QString others; // characters that are neither word characters nor separators
};

DateLiterals dateLiterals() {
    const QLocale locale;
    DateLiterals literals;
    const auto addSegment = [&literals](const QString& segment) {
        const std::u32string chars = plainText(segment).toStdU32String();
        for (size_t i = 0; i < chars.size();) {
            const size_t start = i;
            while (i < chars.size() && isWordChar(chars.at(i)))
                ++i;
            if (i > start)
                literals.words << QString::fromUcs4(chars.data() + start, i - start);
            else
                literals.others += QString::fromUcs4(chars.data() + i++, 1);
        }
    };
    for (const QString& pattern :
         {locale.dateFormat(QLocale::ShortFormat), locale.dateFormat(QLocale::LongFormat)}) {
        QString segment;
        bool quoted = false;
        for (const QChar c : pattern) {
            if (c == u'\'') {
                quoted = !quoted;
            } else if (quoted || (c != u'd' && c != u'M' && c != u'y')) {
                segment += c;
            } else {
                addSegment(segment);
                segment.clear();
            }
        }
        addSegment(segment);
    }
    return literals;
}

// Replaces every run of 'y' outside quoted literal text by "yyyy".
QString widenYear(const QString& pattern) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
            ++i;
        } else if (!quoted && c == u'y') {
            while (i < pattern.size() && pattern.at(i) == u'y')
                ++i;
            out += QStringLiteral("yyyy");
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// Drops the time-zone field ('t') that Qt's long time formats carry.
QString withoutTimeZone(const QString& pattern) {
    QString out;
    bool quoted = false;
    for (const QChar c : pattern) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

// The month a name stands for (long or short, in the locale or in English), or 0.
int monthFromName(const QString& name) {
    const QLocale locales[] = {QLocale(), QLocale::c()};
    for (const QLocale& locale : locales) {
        for (int m = 1; m <= MonthsPerYear; ++m) {
            const QString names[] = {locale.monthName(m, QLocale::LongFormat),
                                     locale.monthName(m, QLocale::ShortFormat),
                                     locale.standaloneMonthName(m, QLocale::LongFormat),
                                     locale.standaloneMonthName(m, QLocale::ShortFormat)};
            for (const QString& written : names) {
                QString candidate = plainText(written);
                if (candidate.endsWith(u'.'))
                    candidate.chop(1);
                if (!candidate.isEmpty() && candidate.compare(name, Qt::CaseInsensitive) == 0)
                    return m;
            }
        }
    }
    return 0;
}

// Splits a date's text (already plain) into its numbers and words. Separators and the
// literal text of the locale's date patterns fall away; any other character makes the text
// no date.
std::optional<QStringList> dateFields(const QString& text) {
    QStringList fields;
    std::optional<DateLiterals> literals; // looked up only when the text has more than numbers
    const auto knownLiterals = [&literals]() -> const DateLiterals& {
        if (!literals)
            literals = dateLiterals();
        return *literals;
    };
    for (qsizetype i = 0; i < text.size();) {
        const char32_t c = codePointAt(text, i);
        const qsizetype start = i;
        if (isAsciiDigit(c) || isWordChar(c)) {
            const bool digits = isAsciiDigit(c);
            while (i < text.size()) {
                const char32_t next = codePointAt(text, i);
                if (digits ? !isAsciiDigit(next) : !isWordChar(next))
                    break;
                i += QChar::requiresSurrogates(next) ? 2 : 1;
            }
            const QString part = text.mid(start, i - start);
            if (digits || !knownLiterals().words.contains(part, Qt::CaseInsensitive))
                fields << part;
        } else {
            i += QChar::requiresSurrogates(c) ? 2 : 1;
            if (!isDateSeparator(c) && !knownLiterals().others.contains(text.mid(start, i - start)))
                return std::nullopt;
        }
    }
    return fields;
}

// A number (already plain) as the locale writes it, with its separators, or as plain text
// with a point. A value that is not finite is returned for the caller to refuse.
std::optional<double> readNumber(const QString& text) {
    bool ok = false;
    double value = QLocale().toDouble(text, &ok);
    if (!ok) {
        QString plain = text;
        plain.replace(MinusSign, u'-');
        value = QLocale::c().toDouble(plain, &ok);
    }
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Three numbers in the system's order; a first field of three or four digits is a year
// and makes the text year-month-day (ISO) whatever the order.
QDate dateFromNumbers(const QStringList& fields) {
    if (fields.size() != 3)
        return {};
    QString order = DateOrder;
    if (fields.at(0).size() > 2)
        order = QStringLiteral("ymd");
    if (order.size() != 3 || !order.contains(u'y') || !order.contains(u'm') ||
        !order.contains(u'd'))
        order = QStringLiteral("mdy");
    int year = -1;
    int month = -1;
    int day = -1;
    for (int i = 0; i < 3; ++i) {
        const QString& field = fields.at(i);
        switch (order.at(i).unicode()) {
        case u'y':
            year = fullYear(field);
            break;
        case u'm':
            month = field.size() > 2 ? -1 : dateFieldValue(field);
            break;
        default:
            day = field.size() > 2 ? -1 : dateFieldValue(field);
            break;
        }
    }
    return makeDate(year, month, day);
}

} // namespace

void useProgramLocale() {
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void resetDateFormat() {
    DateOrder = QStringLiteral("mdy");
    DateSeparator = QStringLiteral("/");
}

void ChkDateFmt() {
    const QString text = plainText(shortDate(QDate(RefYear, RefMonth, RefDay)));
    for (const QString& sep :
         {QStringLiteral("/"), QStringLiteral("."), QStringLiteral(" "), QStringLiteral("-")}) {
        if (text.contains(sep)) {
            DateSeparator = sep;
            break;
        }
    }
    // The fields as the program's own reading splits them, so that the order found is the
    // one toDate applies (a short date may carry direction marks, a suffix such as bg_BG's
    // " г." or, in the C locale, the month's name).
    const QStringList fields = dateFields(text).value_or(QStringList());
    QString order;
    for (int i = 0; i < 3; ++i) {
        const QString field = fields.value(i);
        const int value = dateFieldValue(field);
        if (value == RefMonth || (value < 0 && monthFromName(field) == RefMonth))
            order += u'm';
        else if (value == RefDay)
            order += u'd';
        else
            order += u'y';
    }
    DateOrder = order;
}

QString MakeDateString(int month, int day, int year) {
    const QString m = QString::number(month);
    const QString d = QString::number(day);
    const QString y = QString::number(year);
    const QChar blank(u' ');
    if (DateOrder == u"dmy")
        return d + blank + m + blank + y;
    if (DateOrder == u"ymd")
        return y + blank + m + blank + d;
    if (DateOrder == u"ydm")
        return y + blank + d + blank + m;
    return m + blank + d + blank + y;
}

QDate MondayOfWeek(const QDate& date) {
    if (!date.isValid())
        return {};
    // Qt numbers Monday 1 ... Sunday 7; a Sunday belongs to the week of the next day.
    const int dow = date.dayOfWeek();
    if (dow == Qt::Sunday)
        return date.addDays(1);
    return date.addDays(1 - dow);
}

std::optional<QDate> toDate(const QString& text) {
    QString t = plainText(text).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // A time of day after the date is allowed and ignored.
    static const QRegularExpression trailingTime(
        QStringLiteral(R"(\s+\d{1,2}:\d{2}(:\d{2})?(\s*[AaPp]\.?[Mm]\.?)?$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    if (t.contains(u':'))
        t.remove(trailingTime);

    const std::optional<QStringList> split = dateFields(t);
    if (!split || split->size() != 3)
        return std::nullopt;
    const QStringList& fields = *split;

    QDate date;
    int nameIndex = -1;
    for (int i = 0; i < fields.size(); ++i) {
        if (dateFieldValue(fields.at(i)) < 0) {
            if (nameIndex >= 0)
                return std::nullopt;
            nameIndex = i;
        }
    }
    if (nameIndex >= 0) {
        const int month = monthFromName(fields.at(nameIndex));
        if (month == 0)
            return std::nullopt;
        QStringList numbers = fields;
        numbers.removeAt(nameIndex);
        date = dateWithMonthName(month, numbers);
    } else {
        date = dateFromNumbers(fields);
    }
    if (!date.isValid())
        return std::nullopt;
    return date;
}

bool IsDate(const QString& text) {
    return toDate(text).has_value();
}

std::optional<double> toNumber(const QString& text) {
    const QString t = plainText(text).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    if (const std::optional<double> value = readNumber(t))
        return std::isfinite(*value) ? value : std::nullopt;
    // Money as the program shows it counts as a number too.
    return parseCurrency(t);
}

bool IsNumeric(const QString& text) {
    return toNumber(text).has_value();
}

QString shortDate(const QDate& date) {
    if (!date.isValid())
        return {};
    const QLocale locale;
    return locale.toString(date, widenYear(locale.dateFormat(QLocale::ShortFormat)));
}

QString longMonthName(int month) {
    // Standalone: some languages inflect the name inside a full date.
    return QLocale().standaloneMonthName(month, QLocale::LongFormat);
}

QString shortDayName(int dayOfWeek) {
    return QLocale().standaloneDayName(dayOfWeek, QLocale::ShortFormat);
}

QString mediumTime(const QTime& time) {
    // Hours and minutes in the locale's own clock (en_US: 3:05 PM).
    return QLocale().toString(time, QLocale::ShortFormat);
}

QString generalDate(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return {};
    const QString date = shortDate(dateTime.date());
    if (dateTime.time() == QTime(0, 0))
        return date;
    const QLocale locale;
    return date + u' ' +
           locale.toString(dateTime.time(),
                           withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

namespace {

// True when `text` holds characters written right to left, or digits of a right-to-left
// script, whose direction the blanks and dashes around them would take.
bool hasRightToLeftPart(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const QChar::Direction d = c.direction();
        return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN;
    });
}

} // namespace

QString shortDateRange(const QDate& first, const QDate& last, const QString& joiner) {
    const QString from = shortDate(first);
    const QString to = shortDate(last);
    // Between two such dates a joiner of blanks and a dash would run right to left with them
    // and show the last date first on the left-to-right page; a left-to-right mark on each
    // side keeps the range in reading order.
    if (hasRightToLeftPart(from + to)) {
        constexpr QChar LeftToRightMark(0x200E);
        return from + LeftToRightMark + joiner + LeftToRightMark + to;
    }
    return from + joiner + to;
}

QString currency(double amount) {
    constexpr int CurrencyDecimals = 2;
    const QLocale locale;
    return locale.toCurrencyString(amount, locale.currencySymbol(QLocale::CurrencySymbol),
                                   CurrencyDecimals);
}

QString wholeNumber(qint64 value, int minimumDigits) {
    // Through the unsigned magnitude, so that the smallest qint64 keeps its digits too.
    const quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    const QString digits = QString::number(magnitude).rightJustified(minimumDigits, u'0');
    return localDigits(value < 0 ? QLatin1Char('-') + digits : digits);
}

QString localDigits(const QString& plain) {
    const QLocale locale;
    if (locale.zeroDigit() == QStringLiteral("0") && locale.decimalPoint() == QStringLiteral(".") &&
        locale.negativeSign() == QStringLiteral("-"))
        return plain;
    QString text;
    text.reserve(plain.size());
    for (const QChar c : plain) {
        if (c == QLatin1Char('.'))
            text += locale.decimalPoint();
        else if (c == QLatin1Char('-'))
            text += locale.negativeSign();
        else if (c.isDigit())
            text += locale.toString(c.digitValue());
        else
            text += c;
    }
    return text;
}

std::optional<double> parseCurrency(const QString& text) {
    const QLocale locale;
    // Direction marks, which some locales put before a sign or parenthesis (he_IL: LRM
    // "-1,234.50 ₪", fa_IR: LRM "(ریال ۳٫۰۰)") or into the symbol (ar_EG), are no part of
    // the amount; nor is the script of its digits.
    QString t = plainText(text).trimmed();
    bool negative = false;
    if (t.size() >= 2 && t.startsWith(u'(') && t.endsWith(u')')) {
        negative = true;
        t = t.mid(1, t.size() - 2);
    }
    t.replace(MinusSign, u'-');
    for (const QString& symbol : {locale.currencySymbol(QLocale::CurrencySymbol),
                                  locale.currencySymbol(QLocale::CurrencyIsoCode)}) {
        const QString plainSymbol = plainText(symbol);
        if (!plainSymbol.isEmpty())
            t.remove(plainSymbol);
    }
    // Blanks between symbol and amount, and blank group separators (NBSP in many locales).
    static const QRegularExpression blanks(QStringLiteral(R"(\s)"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    t.remove(blanks);
    if (t.isEmpty() || (negative && t.startsWith(u'-')))
        return std::nullopt;
    const std::optional<double> value = readNumber(t);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return negative ? -*value : *value;
}

QString jetDate(const QDate& date) {
    // The database reads a two-digit year as 1930 to 2029; a date outside that century is
    // written with its whole year so that it reads back as the same date.
    const bool twoDigitsReadBack =
        date.year() >= FirstTwoDigitYear && date.year() <= LastTwoDigitYear;
    return date.toString(twoDigitsReadBack ? QStringLiteral("MM/dd/yy")
                                           : QStringLiteral("MM/dd/yyyy"));
}

QString jetDateLiteral(const QDate& date) {
    return QLatin1Char('#') + jetDate(date) + QLatin1Char('#');
}

} // namespace tavrel
