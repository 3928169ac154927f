// Jet's functions in SQL text: the translation renames each call to a function of ours,
// registered on every connection, that behaves as Jet's does (Null in, Null out; texts
// counted in UTF-16 units as Jet counts them; Sunday is weekday 1).

#include "data/jet_p.h"
#include "data/sqldialect.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tavrel {

namespace {

std::function<QDateTime()>& clockFunction() {
    static std::function<QDateTime()> clock;
    return clock;
}

} // namespace

void setSqlClock(std::function<QDateTime()> clock) {
    clockFunction() = std::move(clock);
}

QDateTime sqlNow() {
    const auto& clock = clockFunction();
    return clock ? clock() : QDateTime::currentDateTime();
}

namespace detail {

namespace {

constexpr int GeneralNumberDigits = 15;

// A Jet function and the registered function a call of it becomes.
struct JetFunction {
    const char* jetName;
    const char* ourName;
    int minArgs;
    int maxArgs;
};

const JetFunction JetFunctions[] = {
    {"left", "jetleft", 2, 2}, {"right", "jetright", 2, 2}, {"mid", "jetmid", 2, 3},
    {"len", "jetlen", 1, 1},   {"ucase", "jetucase", 1, 1}, {"lcase", "jetlcase", 1, 1},
    {"trim", "jettrim", 1, 1}, {"ltrim", "jetltrim", 1, 1}, {"rtrim", "jetrtrim", 1, 1},
    {"nz", "jetnz", 1, 2},     {"iif", "jetiif", 3, 3},     {"weekday", "jetweekday", 1, 2},
    {"date", "jetdate", 0, 0}, {"now", "jetnow", 0, 0},     {"format", "jetformat", 1, 2},
};

// Arguments of the call whose "(" is at `open`: their number, and the index of its ")".
int argumentCount(const Tokens& t, qsizetype open, qsizetype* close) {
    int depth = 0;
    int commas = 0;
    for (qsizetype j = open; j < t.size(); ++j) {
        if (t.at(j).isOp("("))
            ++depth;
        else if (t.at(j).isOp(")") && --depth == 0) {
            *close = j;
            return j == open + 1 ? 0 : commas + 1;
        } else if (depth == 1 && t.at(j).isOp(","))
            ++commas;
    }
    *close = t.size();
    return commas + 1;
}

// ---------------------------------------------------------------------------------------
// Argument and result helpers

QString argText(sqlite3_value* v) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                             sqlite3_value_bytes(v));
}

void resultText(sqlite3_context* ctx, const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    sqlite3_result_text(ctx, utf8.isEmpty() ? "" : utf8.constData(), int(utf8.size()),
                        SQLITE_TRANSIENT);
}

bool isNull(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

// A whole-number argument, rounded as Jet rounds (half to even). False when the caller
// has its result already: Null for a Null argument, an error for a text.
bool argNumber(sqlite3_context* ctx, sqlite3_value* v, qint64* out) {
    const int type = sqlite3_value_numeric_type(v);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return false;
    }
    if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
        sqlite3_result_error(ctx, TypeMismatchText, -1);
        return false;
    }
    *out = type == SQLITE_INTEGER ? sqlite3_value_int64(v)
                                  : qint64(std::nearbyint(sqlite3_value_double(v)));
    return true;
}

// Jet's Trim family removes blanks only, not tabs or line breaks.
QString trimBlanks(const QString& s, bool leading, bool trailing) {
    qsizetype start = 0;
    qsizetype end = s.size();
    while (leading && start < end && s.at(start) == QLatin1Char(' '))
        ++start;
    while (trailing && end > start && s.at(end - 1) == QLatin1Char(' '))
        --end;
    return s.mid(start, end - start);
}

// ---------------------------------------------------------------------------------------
// Text functions

void jetLeftRight(sqlite3_context* ctx, int, sqlite3_value** argv, bool left) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    qint64 n = 0;
    if (!argNumber(ctx, argv[1], &n))
        return;
    if (n < 0)
        return sqlite3_result_error(ctx, InvalidCallText, -1);
    const QString s = argText(argv[0]);
    resultText(ctx, left ? s.left(n) : s.right(n));
}

void jetLeft(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    jetLeftRight(ctx, argc, argv, true);
}

void jetRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    jetLeftRight(ctx, argc, argv, false);
}

void jetMid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    qint64 start = 0;
    if (!argNumber(ctx, argv[1], &start))
        return;
    qint64 length = -1;
    if (argc > 2 && !argNumber(ctx, argv[2], &length))
        return;
    if (start < 1 || (argc > 2 && length < 0))
        return sqlite3_result_error(ctx, InvalidCallText, -1);
    const QString s = argText(argv[0]);
    if (start > s.size())
        return resultText(ctx, QString());
    resultText(ctx, s.mid(start - 1, length));
}

void jetLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, argText(argv[0]).size());
}

enum class TextOp { Upper, Lower, Trim, LTrim, RTrim };

template <TextOp Op> void jetTextOp(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    const QString s = argText(argv[0]);
    switch (Op) {
    case TextOp::Upper:
        return resultText(ctx, s.toUpper());
    case TextOp::Lower:
        return resultText(ctx, s.toLower());
    case TextOp::Trim:
        return resultText(ctx, trimBlanks(s, true, true));
    case TextOp::LTrim:
        return resultText(ctx, trimBlanks(s, true, false));
    case TextOp::RTrim:
        return resultText(ctx, trimBlanks(s, false, true));
    }
}

// ---------------------------------------------------------------------------------------
// Null and conditions

// Nz(value) in a query is a zero-length text for Null; Nz(value, other) is `other`.
void jetNz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (!isNull(argv[0]))
        return sqlite3_result_value(ctx, argv[0]);
    if (argc > 1)
        return sqlite3_result_value(ctx, argv[1]);
    sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

// IIf(condition, whenTrue, whenFalse): a Null condition counts as false.
void jetIif(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_numeric_type(argv[0]);
    bool condition = false;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
        condition = sqlite3_value_double(argv[0]) != 0;
    } else if (type == SQLITE_TEXT) {
        const QString s = argText(argv[0]).trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            condition = true;
        else if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0)
            return sqlite3_result_error(ctx, TypeMismatchText, -1);
    } else if (type != SQLITE_NULL) {
        return sqlite3_result_error(ctx, TypeMismatchText, -1);
    }
    sqlite3_result_value(ctx, argv[condition ? 1 : 2]);
}

// ---------------------------------------------------------------------------------------
// Dates

void jetWeekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]))
        return sqlite3_result_null(ctx);
    qint64 first = 1; // Jet's vbSunday; 0 (the system's) is Sunday too in this program
    if (argc > 1 && !argNumber(ctx, argv[1], &first))
        return;
    if (first < 0 || first > DaysPerWeek)
        return sqlite3_result_error(ctx, InvalidCallText, -1);
    if (first == 0)
        first = 1;
    JetDateTime value;
    if (!dateTimeFromValue(argv[0], &value))
        return sqlite3_result_error(ctx, TypeMismatchText, -1);
    const QDate date = value.date.isValid() ? value.date : dayZero();
    sqlite3_result_int(ctx, int((sundayIndex(date) + DaysPerWeek + 1 - first) % DaysPerWeek) + 1);
}

void jetDate(sqlite3_context* ctx, int, sqlite3_value**) {
    resultText(ctx, sqlNow().date().toString(Qt::ISODate));
}

void jetNow(sqlite3_context* ctx, int, sqlite3_value**) {
    const QDateTime now = sqlNow();
    const QTime time = now.time();
    // Whole seconds, as stored times are.
    resultText(ctx, isoStorageText({now.date(), QTime(time.hour(), time.minute(), time.second())}));
}

// ---------------------------------------------------------------------------------------
// Format

enum class FormatKind { Date, Number, Text };

// What a format pattern formats: a date (named date formats, or any of Jet's date and
// time placeholders outside quotes), text (">" and "<", "@"), or a number.
FormatKind formatKind(const QString& pattern) {
    if (equalsAnyOf(pattern, {"general date", "long date", "medium date", "short date", "long time",
                              "medium time", "short time"}))
        return FormatKind::Date;
    if (equalsAnyOf(pattern, {"general number", "currency", "fixed", "standard", "percent",
                              "scientific", "yes/no", "true/false", "on/off"}))
        return FormatKind::Number;
    bool quoted = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (QStringLiteral("dmyhnswqcDMYHNSWQC").contains(c))
            return FormatKind::Date;
        if (c == QLatin1Char('@') || c == QLatin1Char('>') || c == QLatin1Char('<'))
            return FormatKind::Text;
    }
    return FormatKind::Number;
}

} // namespace

bool isNumberPattern(const QString& pattern) {
    return formatKind(pattern) == FormatKind::Number;
}

namespace {

QString generalNumber(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_INTEGER)
        return QString::number(sqlite3_value_int64(v));
    return QString::number(sqlite3_value_double(v), 'g', GeneralNumberDigits);
}

void jetFormat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const QString pattern = argc > 1 && !isNull(argv[1]) ? argText(argv[1]) : QString();
    if (isNull(argv[0])) {
        // Only a number format's fourth section gives Null a text.
        const QStringList sections = formatSections(pattern);
        if (formatKind(pattern) == FormatKind::Number && sections.size() > NullSection)
            return resultText(ctx, literalText(sections.at(NullSection)));
        return sqlite3_result_null(ctx);
    }
    const FormatKind kind = pattern.isEmpty() ? FormatKind::Text : formatKind(pattern);
    const int type = sqlite3_value_type(argv[0]);
    const bool number = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    JetDateTime date;
    switch (kind) {
    case FormatKind::Date:
        if (dateTimeFromValue(argv[0], &date))
            return resultText(ctx, formatDateTime(date, pattern));
        return resultText(ctx, argText(argv[0]));
    case FormatKind::Number: {
        if (number)
            return resultText(ctx, formatNumber(sqlite3_value_double(argv[0]), pattern));
        const int numeric = sqlite3_value_numeric_type(argv[0]);
        if (numeric == SQLITE_INTEGER || numeric == SQLITE_FLOAT)
            return resultText(ctx, formatNumber(sqlite3_value_double(argv[0]), pattern));
        return resultText(ctx, argText(argv[0]));
    }
    case FormatKind::Text:
        break;
    }
    if (pattern.isEmpty()) {
        // No pattern: numbers in general form, stored dates in the general date form.
        if (number)
            return resultText(ctx, generalNumber(argv[0]));
        if (dateTimeFromValue(argv[0], &date) && type == SQLITE_TEXT &&
            argText(argv[0]).trimmed().size() >= QStringLiteral("0000-00-00").size())
            return resultText(ctx, formatDateTime(date, QStringLiteral("General Date")));
        return resultText(ctx, argText(argv[0]));
    }
    QString text = number ? generalNumber(argv[0]) : argText(argv[0]);
    if (pattern.contains(QLatin1Char('>')))
        text = text.toUpper();
    else if (pattern.contains(QLatin1Char('<')))
        text = text.toLower();
    resultText(ctx, text);
}

} // namespace

bool translateJetFunctions(const Tokens& in, Tokens* out, QString* error) {
    Tokens result;
    result.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool call = t.kind == TokKind::Ident && i + 1 < in.size() && in.at(i + 1).isOp("(") &&
                          (i == 0 || !in.at(i - 1).isOp("."));
        const JetFunction* function = nullptr;
        if (call)
            for (const JetFunction& f : JetFunctions)
                if (t.isWord(f.jetName))
                    function = &f;
        if (!function) {
            result.append(t);
            continue;
        }
        qsizetype close = 0;
        const int args = argumentCount(in, i + 1, &close);
        // Date(x) is not Jet's: leave SQLite's date() alone.
        if (t.isWord("date") && args != 0) {
            result.append(t);
            continue;
        }
        if (args < function->minArgs || args > function->maxArgs) {
            *error = QStringLiteral("Wrong number of arguments used with function in query "
                                    "expression '%1'.")
                         .arg(emitSql(in.mid(i, close - i + 1)));
            return false;
        }
        result.append(Token{TokKind::Ident, QString::fromLatin1(function->ourName)});
    }
    *out = result;
    return true;
}

void registerJetFunctions(sqlite3* db) {
    struct Registration {
        const char* name;
        int args;
        void (*function)(sqlite3_context*, int, sqlite3_value**);
        bool deterministic;
    };
    const Registration registrations[] = {
        {"jetleft", 2, jetLeft, true},
        {"jetright", 2, jetRight, true},
        {"jetmid", 2, jetMid, true},
        {"jetmid", 3, jetMid, true},
        {"jetlen", 1, jetLen, true},
        {"jetucase", 1, jetTextOp<TextOp::Upper>, true},
        {"jetlcase", 1, jetTextOp<TextOp::Lower>, true},
        {"jettrim", 1, jetTextOp<TextOp::Trim>, true},
        {"jetltrim", 1, jetTextOp<TextOp::LTrim>, true},
        {"jetrtrim", 1, jetTextOp<TextOp::RTrim>, true},
        {"jetnz", 1, jetNz, true},
        {"jetnz", 2, jetNz, true},
        {"jetiif", 3, jetIif, true},
        {"jetweekday", 1, jetWeekday, true},
        {"jetweekday", 2, jetWeekday, true},
        {"jetdate", 0, jetDate, false},
        {"jetnow", 0, jetNow, false},
        // Formats follow the locale, which a program may change between statements.
        {"jetformat", 1, jetFormat, false},
        {"jetformat", 2, jetFormat, false},
    };
    for (const Registration& r : registrations)
        sqlite3_create_function(db, r.name, r.args,
                                SQLITE_UTF8 | (r.deterministic ? SQLITE_DETERMINISTIC : 0), nullptr,
                                r.function, nullptr, nullptr);
}

} // namespace detail

} // namespace tavrel
