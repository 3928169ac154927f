// Jet's Format(): date and time placeholders (d ... dddddd, m ... mmmm, yy, yyyy, q, w, ww,
// h, n, s, AM/PM) and number sections (0 # , . % and literal text), as Jet formats them.

#include "data/jet_p.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tavrel::detail {

bool equalsAnyOf(const QString& pattern, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (pattern.compare(QLatin1String(n), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Sunday-based day index of a date: Sunday 0 ... Saturday 6.
int sundayIndex(const QDate& date) {
    return date.dayOfWeek() % DaysPerWeek;
}

// Sections of a number format, split at ";" outside quotes.
QStringList formatSections(const QString& pattern) {
    QStringList sections;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            current += c;
            current += pattern.at(++i);
            continue;
        }
        if (c == QLatin1Char(';') && !quoted) {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

// A section's literal text without its quotes and escapes (a Null section's text).
QString literalText(const QString& section) {
    QString out;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (c == QLatin1Char('"'))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < section.size())
            ++i;
        out += section.at(i);
    }
    return out;
}

NumberSection readNumberSection(const QString& section) {
    // The section's characters, each marked as literal or not.
    QList<QPair<QChar, bool>> chars;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (c == QLatin1Char('"')) {
            const qsizetype close = section.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? section.size() : close;
            for (qsizetype k = i + 1; k < end; ++k)
                chars.append({section.at(k), true});
            i = end;
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < section.size()) {
            chars.append({section.at(++i), true});
            continue;
        }
        chars.append({c, false});
    }
    auto isDigit = [&](qsizetype k) {
        return !chars.at(k).second &&
               (chars.at(k).first == QLatin1Char('0') || chars.at(k).first == QLatin1Char('#'));
    };
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype k = 0; k < chars.size(); ++k)
        if (isDigit(k)) {
            if (first < 0)
                first = k;
            last = k;
        }
    // A decimal point right after the last placeholder still belongs to the number.
    if (last >= 0 && last + 1 < chars.size() && !chars.at(last + 1).second &&
        chars.at(last + 1).first == QLatin1Char('.'))
        ++last;
    NumberSection s;
    s.digits = first >= 0;
    for (qsizetype k = 0; k < chars.size(); ++k) {
        if (s.digits && k >= first && k <= last)
            continue;
        if (!chars.at(k).second && chars.at(k).first == QLatin1Char('%'))
            s.percent = true;
        (!s.digits || k < first ? s.prefix : s.suffix) += chars.at(k).first;
    }
    for (qsizetype k = first; s.digits && k <= last; ++k) {
        const QChar c = chars.at(k).first;
        if (c == QLatin1Char('.'))
            s.point = true;
        else if (c == QLatin1Char(',') && !s.point)
            s.grouping = true;
        else if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (s.point) {
                ++s.maxDec;
                if (c == QLatin1Char('0'))
                    s.minDec = s.maxDec;
            } else if (c == QLatin1Char('0')) {
                ++s.minInt;
            }
        }
    }
    return s;
}

namespace {

constexpr int MonthsPerQuarter = 3;
constexpr int PercentFactor = 100;
constexpr int DigitsPerGroup = 3;
constexpr int GeneralNumberDigits = 15;
constexpr int TwoDecimals = 2;

// The program's short date: the locale's short pattern with the year always four digits.
QString shortDatePattern() {
    QString pattern = QLocale().dateFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('y')) {
            while (i < pattern.size() && pattern.at(i) == QLatin1Char('y'))
                ++i;
            out += QStringLiteral("yyyy");
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

// One piece: the named formats and the pattern's letters are one list of cases over the same
// date, time and locale, each a few lines.
QString formatDateTime(const JetDateTime& value, const QString& pattern) {
    const QDate date = value.date.isValid() ? value.date : dayZero();
    const QTime time = value.time.isValid() ? value.time : QTime(0, 0);
    const QLocale locale;
    // Named formats.
    if (equalsAnyOf(pattern, {"general date"})) {
        QStringList parts;
        if (value.date.isValid())
            parts << locale.toString(date, shortDatePattern());
        if (value.time.isValid() && value.time != QTime(0, 0))
            parts << formatDateTime(value, QStringLiteral("h:nn:ss AM/PM"));
        if (parts.isEmpty())
            parts << locale.toString(date, shortDatePattern());
        return parts.join(QLatin1Char(' '));
    }
    if (equalsAnyOf(pattern, {"short date"}))
        return locale.toString(date, shortDatePattern());
    if (equalsAnyOf(pattern, {"long date"}))
        return locale.toString(date, QLocale::LongFormat);
    if (equalsAnyOf(pattern, {"medium date"}))
        return formatDateTime(value, QStringLiteral("dd-mmm-yy"));
    if (equalsAnyOf(pattern, {"long time"}))
        return formatDateTime(value, QStringLiteral("h:nn:ss AM/PM"));
    if (equalsAnyOf(pattern, {"medium time"}))
        return formatDateTime(value, QStringLiteral("hh:nn AM/PM"));
    if (equalsAnyOf(pattern, {"short time"}))
        return formatDateTime(value, QStringLiteral("hh:nn"));

    // A twelve-hour clock when the pattern shows AM/PM in any form.
    const QString lower = pattern.toLower();
    const bool twelveHour = lower.contains(QLatin1String("am/pm")) ||
                            lower.contains(QLatin1String("a/p")) ||
                            lower.contains(QLatin1String("ampm"));
    int hour12 = time.hour() % HoursPerHalfDay;
    if (hour12 == 0)
        hour12 = HoursPerHalfDay;
    const int hour = twelveHour ? hour12 : time.hour();
    const bool pm = time.hour() >= HoursPerHalfDay;

    QString out;
    bool afterHour = false; // "m" right after an hour is minutes
    auto run = [&](qsizetype i, QChar c) {
        qsizetype j = i;
        while (j < pattern.size() && pattern.at(j).toLower() == c)
            ++j;
        return int(j - i);
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"')) {
            const qsizetype close = pattern.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close;
            out += pattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            out += pattern.at(i + 1);
            i += 2;
            continue;
        }
        const QString rest = pattern.mid(i);
        if (rest.startsWith(QLatin1String("am/pm"), Qt::CaseInsensitive)) {
            const QString text = pm ? rest.mid(3, 2) : rest.left(2);
            out += text;
            i += 5;
            continue;
        }
        if (rest.startsWith(QLatin1String("a/p"), Qt::CaseInsensitive)) {
            out += pm ? rest.at(2) : rest.at(0);
            i += 3;
            continue;
        }
        if (rest.startsWith(QLatin1String("ampm"), Qt::CaseInsensitive)) {
            out += pm ? locale.pmText() : locale.amText();
            i += 4;
            continue;
        }
        const int n = run(i, lc);
        bool token = true;
        switch (lc.unicode()) {
        case u'd':
            if (n == 1)
                out += QString::number(date.day());
            else if (n == 2)
                out += twoDigits(date.day());
            else if (n == 3)
                out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else if (n == 4)
                out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            else if (n == 5)
                out += locale.toString(date, shortDatePattern());
            else
                out += locale.toString(date, QLocale::LongFormat);
            afterHour = false;
            break;
        case u'm':
            if (afterHour && n <= 2)
                out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
            else if (n == 1)
                out += QString::number(date.month());
            else if (n == 2)
                out += twoDigits(date.month());
            else if (n == 3)
                out += locale.monthName(date.month(), QLocale::ShortFormat);
            else
                out += locale.monthName(date.month(), QLocale::LongFormat);
            afterHour = false;
            break;
        case u'y':
            if (n == 1)
                out += QString::number(date.dayOfYear());
            else if (n == 2)
                out += twoDigits(date.year() % 100);
            else
                out += QString::number(date.year());
            afterHour = false;
            break;
        case u'w':
            if (n == 1) {
                out += QString::number(sundayIndex(date) + 1);
            } else {
                // Week of the year: the week holding 1 January is the first, weeks start
                // on Sunday.
                const int janFirst = sundayIndex(QDate(date.year(), 1, 1));
                out += QString::number((date.dayOfYear() - 1 + janFirst) / DaysPerWeek + 1);
            }
            afterHour = false;
            break;
        case u'q':
            out += QString::number((date.month() - 1) / MonthsPerQuarter + 1);
            afterHour = false;
            break;
        case u'h':
            out += n == 1 ? QString::number(hour) : twoDigits(hour);
            afterHour = true;
            i += qMin(n, 2);
            continue;
        case u'n':
            out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
            afterHour = false;
            i += qMin(n, 2);
            continue;
        case u's':
            out += n == 1 ? QString::number(time.second()) : twoDigits(time.second());
            afterHour = false;
            i += qMin(n, 2);
            continue;
        case u'c':
            out += formatDateTime(value, QStringLiteral("General Date"));
            afterHour = false;
            break;
        default:
            token = false;
        }
        if (token) {
            i += n;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// One piece: the named formats, then one scan of the pattern's sections and digit places over
// the same number.
QString formatNumber(double value, const QString& pattern) {
    const QLocale locale;
    if (pattern.isEmpty() || equalsAnyOf(pattern, {"general number"}))
        return QString::number(value, 'g', GeneralNumberDigits);
    if (equalsAnyOf(pattern, {"currency"}))
        return locale.toCurrencyString(value, locale.currencySymbol(QLocale::CurrencySymbol),
                                       TwoDecimals);
    if (equalsAnyOf(pattern, {"fixed"}))
        return formatNumber(value, QStringLiteral("0.00"));
    if (equalsAnyOf(pattern, {"standard"}))
        return formatNumber(value, QStringLiteral("#,##0.00"));
    if (equalsAnyOf(pattern, {"percent"}))
        return formatNumber(value, QStringLiteral("0.00%"));
    if (equalsAnyOf(pattern, {"scientific"}))
        return QString::number(value, 'E', TwoDecimals);
    if (equalsAnyOf(pattern, {"yes/no"}))
        return value != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
    if (equalsAnyOf(pattern, {"true/false"}))
        return value != 0 ? QStringLiteral("True") : QStringLiteral("False");
    if (equalsAnyOf(pattern, {"on/off"}))
        return value != 0 ? QStringLiteral("On") : QStringLiteral("Off");

    const QStringList sections = formatSections(pattern);
    QString section = sections.at(0);
    bool minus = value < 0;
    if (value < 0 && sections.size() > 1 && !sections.at(1).isEmpty()) {
        section = sections.at(1);
        minus = false;
    } else if (value == 0 && sections.size() > 2 && !sections.at(2).isEmpty()) {
        section = sections.at(2);
    }

    const NumberSection s = readNumberSection(section);
    if (!s.digits)
        return (minus ? QStringLiteral("-") : QString()) + s.prefix;
    const double shown = std::fabs(value) * (s.percent ? PercentFactor : 1);
    const QString fixed = QString::number(shown, 'f', s.maxDec);
    QString whole = fixed.section(QLatin1Char('.'), 0, 0);
    QString fraction = s.maxDec > 0 ? fixed.section(QLatin1Char('.'), 1, 1) : QString();
    while (fraction.size() > s.minDec && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (whole == QLatin1String("0") && s.minInt == 0)
        whole.clear();
    while (whole.size() < s.minInt)
        whole.prepend(QLatin1Char('0'));
    if (s.grouping)
        for (qsizetype at = whole.size() - DigitsPerGroup; at > 0; at -= DigitsPerGroup)
            whole.insert(at, locale.groupSeparator());
    QString number = whole;
    if (s.point)
        number += locale.decimalPoint() + fraction;
    // A value that rounds to zero shows no minus sign.
    if (minus && std::all_of(fixed.cbegin(), fixed.cend(), [](QChar c) {
            return c == QLatin1Char('0') || c == QLatin1Char('.');
        }))
        minus = false;
    return (minus ? QStringLiteral("-") : QString()) + s.prefix + number + s.suffix;
}

} // namespace tavrel::detail
