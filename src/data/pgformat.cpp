// Jet's Format() on a server database: the server writes the text itself (to_char), for the
// formats whose text it can give exactly as the file's Format does in the program's locale.
// Any other format is refused with a clear message rather than answered differently.

#include "data/jet_p.h"
#include "data/pgdialect.h"

#include <QLocale>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tavrel::detail {

namespace {

// Literal text inside a to_char pattern, where letters would otherwise be fields.
QString quoted(const QString& text) {
    if (text.isEmpty())
        return {};
    QString q = text;
    q.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
    return u'"' + q + u'"';
}

// Runs of one letter in a pattern, with literal text between them.
struct Piece {
    QChar letter; // null for literal text
    int count = 0;
    QString text;
};

// A date pattern of Jet's (d, m, y, h, n, s, AM/PM, "literal", \x) as to_char's, or an empty
// text for one the server cannot write alike. Names of days and months are English on the
// server, so they are written only where the program's locale names them in English too.
QString jetDatePattern(const QString& pattern) {
    const bool english = QLocale().language() == QLocale::English;
    const QString lower = pattern.toLower();
    const bool twelveHour = lower.contains(u"am/pm"_s);
    if (lower.contains(u"a/p"_s) || lower.contains(u"ampm"_s))
        return {};
    QString out;
    QString literal;
    bool afterHour = false;
    bool anyField = false;
    const auto flush = [&] {
        out += quoted(literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern.at(i);
        if (c == u'"') {
            const qsizetype close = pattern.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close;
            literal += pattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == u'\\' && i + 1 < pattern.size()) {
            literal += pattern.at(i + 1);
            i += 2;
            continue;
        }
        if (pattern.mid(i, 5).compare(u"am/pm"_s, Qt::CaseInsensitive) == 0) {
            const QString ampm = pattern.mid(i, 5);
            if (ampm != u"AM/PM" && ampm != u"am/pm")
                return {};
            flush();
            out += ampm == u"AM/PM" ? u"AM"_s : u"am"_s;
            anyField = true;
            i += 5;
            continue;
        }
        const QChar lc = c.toLower();
        qsizetype j = i;
        while (j < pattern.size() && pattern.at(j).toLower() == lc)
            ++j;
        const int n = int(j - i);
        QString field;
        switch (lc.unicode()) {
        case u'd':
        case u'm':
            if (lc == u'm' && afterHour && n <= 2) {
                field = n == 1 ? u"FMMI"_s : u"MI"_s;
            } else {
                // A number, two digits, a short name, a long name.
                static const char* const days[] = {"FMDD", "DD", "Dy", "FMDay"};
                static const char* const months[] = {"FMMM", "MM", "Mon", "FMMonth"};
                if (n > 4 || (n > 2 && !english))
                    return {};
                field = QString::fromLatin1((lc == u'd' ? days : months)[n - 1]);
            }
            afterHour = false;
            break;
        case u'q':
            field = u"Q"_s; // the quarter, once for a run of q's
            afterHour = false;
            break;
        case u'y':
            if (n == 2)
                field = u"YY"_s;
            else if (n == 4)
                field = u"YYYY"_s;
            else
                return {};
            afterHour = false;
            break;
        case u'h':
            if (n > 2)
                return {};
            field = (n == 1 ? u"FM"_s : QString()) + (twelveHour ? u"HH12"_s : u"HH24"_s);
            afterHour = true;
            break;
        case u'n':
        case u's':
            if (n > 2)
                return {};
            field = (n == 1 ? u"FM"_s : QString()) + (lc == u'n' ? u"MI"_s : u"SS"_s);
            break;
        default:
            if (c.isLetter())
                return {}; // w, q, c and the like: no field of to_char's alike
            literal += pattern.mid(i, n);
            i = j;
            continue;
        }
        flush();
        out += field;
        anyField = true;
        i = j;
    }
    flush();
    // A pattern without a date's fields is a number's pattern.
    return anyField ? out : QString();
}

// A date pattern of Qt's (the locale's own date formats) as to_char's.
QString qtDatePattern(const QString& pattern) {
    QString jet;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'\'') {
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close;
            jet += u'"' + pattern.mid(i + 1, end - i - 1) + u'"';
            i = end;
        } else if (c == u'M') {
            jet += u'm'; // months: Jet's m with no hour before it
        } else if (c == u'd' || c == u'y') {
            jet += c;
        } else if (c.isLetter()) {
            return {};
        } else {
            jet += u'\\' + QString(c);
        }
    }
    return jetDatePattern(jet);
}

// The program's short date: the locale's short pattern with the year always four digits.
QString shortDate() {
    QString pattern = QLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression years(u"y+"_s);
    return qtDatePattern(pattern.replace(years, u"yyyy"_s));
}

Tokens toChar(const Tokens& value, const QString& pattern) {
    return Tokens{word("to_char"), op("(")} + value + Tokens{op(","), str(pattern), op(")")};
}

// Named date formats and Jet's date patterns.
Tokens dateFormat(const Tokens& value, const QString& pattern) {
    QString toCharPattern;
    if (equalsAnyOf(pattern, {"general date"})) {
        const QString date = shortDate();
        const QString time = jetDatePattern(u"h:nn:ss AM/PM"_s);
        if (date.isEmpty())
            return {};
        // The time only when there is one.
        return Tokens{op("("), word("CASE"), word("WHEN"), word("CAST"), op("(")} + value +
               Tokens{word("AS"), word("time"),       op(")"),
                      op("="),    str(u"00:00:00"_s), word("THEN")} +
               toChar(value, date) + Tokens{word("ELSE")} + toChar(value, date + u' ' + time) +
               Tokens{word("END"), op(")")};
    }
    if (equalsAnyOf(pattern, {"short date"}))
        toCharPattern = shortDate();
    else if (equalsAnyOf(pattern, {"long date"}))
        toCharPattern = qtDatePattern(QLocale().dateFormat(QLocale::LongFormat));
    else if (equalsAnyOf(pattern, {"medium date"}))
        toCharPattern = jetDatePattern(u"dd-mmm-yy"_s);
    else if (equalsAnyOf(pattern, {"long time"}))
        toCharPattern = jetDatePattern(u"h:nn:ss AM/PM"_s);
    else if (equalsAnyOf(pattern, {"medium time"}))
        toCharPattern = jetDatePattern(u"hh:nn AM/PM"_s);
    else if (equalsAnyOf(pattern, {"short time"}))
        toCharPattern = jetDatePattern(u"hh:nn"_s);
    else
        toCharPattern = jetDatePattern(pattern);
    if (toCharPattern.isEmpty())
        return {};
    return toChar(value, toCharPattern);
}

// Digits of to_char's for a number with two decimals, grouped or not.
QString digits(bool grouped) {
    return grouped ? u"FM999,999,999,999,999,990.00"_s : u"FM999999999999999990.00"_s;
}

// Named number formats, in a locale whose separators to_char's pattern writes.
Tokens numberFormat(const Tokens& value, const QString& pattern) {
    const QLocale locale;
    const auto truth = [&](const char* yes, const char* no) {
        return Tokens{op("("), word("CASE"), word("WHEN")} + value +
               Tokens{op("<>"), Token{TokKind::Number, u"0"_s}, word("THEN"),
                      str(QString::fromLatin1(yes)), word("WHEN")} +
               value + Tokens{op("="),      Token{TokKind::Number, u"0"_s},
                              word("THEN"), str(QString::fromLatin1(no)),
                              word("END"),  op(")")};
    };
    if (equalsAnyOf(pattern, {"yes/no"}))
        return truth("Yes", "No");
    if (equalsAnyOf(pattern, {"true/false"}))
        return truth("True", "False");
    if (equalsAnyOf(pattern, {"on/off"}))
        return truth("On", "Off");
    if (locale.decimalPoint() != u"."_s || locale.groupSeparator() != u","_s)
        return {};
    if (equalsAnyOf(pattern, {"fixed"}))
        return toChar(value, digits(false));
    if (equalsAnyOf(pattern, {"standard"}))
        return toChar(value, digits(true));
    if (equalsAnyOf(pattern, {"percent"}))
        return Tokens{op("(")} +
               toChar(Tokens{op("(")} + value +
                          Tokens{op(")"), op("*"), Token{TokKind::Number, u"100"_s}},
                      digits(false)) +
               Tokens{op("||"), str(u"%"_s), op(")")};
    if (equalsAnyOf(pattern, {"currency"})) {
        // The locale's own text around the digits, for a positive and a negative amount.
        const QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
        const QString shown = u"1,234.50"_s;
        const QString positive = locale.toCurrencyString(1234.5, symbol, 2);
        const QString negative = locale.toCurrencyString(-1234.5, symbol, 2);
        const qsizetype p = positive.indexOf(shown);
        const qsizetype n = negative.indexOf(shown);
        if (p < 0 || n < 0)
            return {};
        const auto around = [&](const QString& text, qsizetype at, const Tokens& amount) {
            return Tokens{str(text.left(at)), op("||")} + toChar(amount, digits(true)) +
                   Tokens{op("||"), str(text.mid(at + shown.size()))};
        };
        return Tokens{op("("), word("CASE"), word("WHEN")} + value +
               Tokens{op("<"), Token{TokKind::Number, u"0"_s}, word("THEN")} +
               around(negative, n, Tokens{op("-"), op("(")} + value + Tokens{op(")")}) +
               Tokens{word("ELSE")} + around(positive, p, value) + Tokens{word("END"), op(")")};
    }
    return {};
}

// to_char's pattern for a section's digits: the whole number's positions (9s, with the
// section's 0s last and a "," every three when it groups), then its decimals (0s for those
// always shown, then 9s). The point is left to the caller.
QString digitPattern(const NumberSection& s) {
    constexpr int Positions = 30; // more whole digits than a report ever shows
    QString whole;
    for (int k = 0; k < Positions; ++k) {
        if (s.grouping && k > 0 && k % 3 == 0)
            whole.prepend(u',');
        whole.prepend(k < s.minInt ? u'0' : u'9');
    }
    QString decimals;
    for (int k = 0; k < s.maxDec; ++k)
        decimals += k < s.minDec ? u'0' : u'9';
    return u"FM"_s + whole + (s.maxDec > 0 ? u'.' + decimals : QString());
}

// One section of a number pattern for the value's magnitude `size`: its text around the
// digits, in the locale's separators, with a leading minus where `minus` asks for one.
Tokens numberSection(const Tokens& size, const NumberSection& s, const Tokens& minus) {
    const QLocale locale;
    Tokens out = minus.isEmpty() ? Tokens{} : minus + Tokens{op("||")};
    out += Tokens{str(s.prefix)};
    if (s.digits) {
        Tokens shown = Tokens{op("(")} + size + Tokens{op(")")};
        if (s.percent)
            shown += Tokens{op("*"), number(u"100"_s)};
        Tokens text = toChar(shown, digitPattern(s));
        // A whole part of 0 is shown only for a 0 placeholder.
        if (s.minInt == 0)
            text = Tokens{word("regexp_replace"), op("(")} + text +
                   Tokens{op(","), str(u"^0"_s), op(","), str(QString()), op(")")};
        text = Tokens{word("translate"), op("(")} + text +
               Tokens{op(","), str(u",."_s), op(","),
                      str(locale.groupSeparator() + locale.decimalPoint()), op(")")};
        // to_char drops a point with no decimal after it.
        if (s.point && s.maxDec == 0)
            text += Tokens{op("||"), str(locale.decimalPoint())};
        out += Tokens{op("||")} + text;
    }
    return Tokens{op("(")} + out + Tokens{op("||"), str(s.suffix), op(")")};
}

// A number pattern of Jet's: up to four sections (positive, negative, zero, Null). A
// negative value shown in the first section has a minus, unless it rounds to nothing there.
Tokens numberPattern(const Tokens& value, const QString& pattern) {
    const QStringList sections = formatSections(pattern);
    const Tokens exact =
        Tokens{word("CAST"), op("(")} + value + Tokens{word("AS"), word("numeric"), op(")")};
    const Tokens size = Tokens{word("abs"), op("(")} + exact + Tokens{op(")")};
    const NumberSection first = readNumberSection(sections.at(0));
    Tokens negative = exact + Tokens{op("<"), number(u"0"_s)};
    if (first.digits) { // and not rounded to nothing there
        negative += Tokens{word("AND"), word("round"), op("(")} + size;
        if (first.percent)
            negative += Tokens{op("*"), number(u"100"_s)};
        negative += Tokens{op(","), number(QString::number(first.maxDec)), op(")"), op("<>"),
                           number(u"0"_s)};
    }
    const Tokens minus =
        Tokens{op("("), word("CASE"), word("WHEN")} + negative +
        Tokens{word("THEN"), str(u"-"_s), word("ELSE"), str(QString()), word("END"), op(")")};
    Tokens out{op("("), word("CASE"), word("WHEN")};
    out += exact + Tokens{word("IS"), word("NULL"), word("THEN")};
    out += sections.size() > NullSection ? Tokens{str(literalText(sections.at(NullSection)))}
                                         : Tokens{word("NULL")};
    if (sections.size() > 1 && !sections.at(1).isEmpty())
        out += Tokens{word("WHEN")} + exact + Tokens{op("<"), number(u"0"_s), word("THEN")} +
               numberSection(size, readNumberSection(sections.at(1)), {});
    if (sections.size() > 2 && !sections.at(2).isEmpty())
        out += Tokens{word("WHEN")} + exact + Tokens{op("="), number(u"0"_s), word("THEN")} +
               numberSection(size, readNumberSection(sections.at(2)), {});
    out += Tokens{word("ELSE")} + numberSection(size, first, minus) + Tokens{word("END"), op(")")};
    return out;
}

} // namespace

bool serverFormat(const Tokens& value, ValueKind kind, const QString& pattern, Tokens* out,
                  QString* error) {
    const bool date = kind == ValueKind::Date;
    const bool text = kind == ValueKind::Text;
    const bool number = !date && !text;
    const bool namedNumber =
        equalsAnyOf(pattern, {"general number", "currency", "fixed", "standard", "percent",
                              "scientific", "yes/no", "true/false", "on/off"});
    if (pattern.isEmpty() || equalsAnyOf(pattern, {"general number"})) {
        if (date)
            *out = dateFormat(value, u"general date"_s);
        else if (number && kind != ValueKind::Auto)
            *out = Tokens{word("CAST"), op("("), word("CAST"), op("(")} + value +
                   Tokens{word("AS"), word("float8"), op(")"), word("AS"), word("text"), op(")")};
        else if (text)
            *out = value;
    } else if (pattern == u">" || pattern == u"<") {
        if (text)
            *out = Tokens{word(pattern == u">" ? "upper" : "lower"), op("(")} + value +
                   Tokens{op(")")};
    } else if (namedNumber) {
        if (number)
            *out = numberFormat(value, pattern);
    } else if (isNumberPattern(pattern)) {
        if (number)
            *out = numberPattern(value, pattern);
    } else if (date || kind == ValueKind::Auto) {
        *out = dateFormat(value, pattern);
    }
    if (out->isEmpty()) {
        *error = u"The format '%1' cannot be used on a server database here; use one of the "
                 u"named formats, a pattern of d, m, y, h, n and s on a date, or a pattern of "
                 u"0 and # on a number."_s.arg(pattern);
        return false;
    }
    return true;
}

} // namespace tavrel::detail
