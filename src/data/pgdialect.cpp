// The program's Jet dialect as PostgreSQL's SQL, with the answers the file gives: texts in the
// program's order and without regard to case (the columns carry the collation), Jet's like
// patterns as regular expressions on a case-folded text, yes/no values of -1 and 0 whose every
// non-zero value is true, Jet's functions written with the server's own, dates as timestamps.

#include "data/pgdialect.h"

#include "data/jet_p.h"
#include "data/pgconnection.h"
#include "data/sqldialect.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrel::detail {

namespace {

// The collation that folds texts for like: ICU's root, deterministic, so that the server
// accepts a pattern match under it and lower() knows the letters of every alphabet.
constexpr const char* MatchCollation = "tavrel_match";

// A text the file reads as a number: digits with a point and an exponent, blanks around.
constexpr const char* NumberText = R"(^\s*[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?\s*$)";

// Marks a failure a translated statement makes itself, before the file's message for it.
constexpr const char* RaisedMark = "tavrel raises: ";

// PostgreSQL's reserved words: a column or table of that name must be quoted.
bool isReserved(const QString& lower) {
    static const QStringList list =
        QString::fromLatin1(
            "all analyse analyze and any array as asc asymmetric authorization binary both case "
            "cast check collate collation column concurrently constraint create cross "
            "current_catalog current_date current_role current_schema current_time "
            "current_timestamp current_user default deferrable desc distinct do else end except "
            "false fetch for foreign freeze from full grant group having ilike in initially inner "
            "intersect into is isnull join lateral leading left like limit localtime "
            "localtimestamp natural not notnull null offset on only or order outer overlaps "
            "placing primary references returning right select session_user similar some "
            "symmetric table tablesample then to trailing true union unique user using variadic "
            "verbose when where window with")
            .split(u' ');
    static const QSet<QString> words(list.cbegin(), list.cend());
    return words.contains(lower);
}

// A name PostgreSQL reads unquoted as itself once in lower case.
bool isPlainName(const QString& lower) {
    if (lower.isEmpty() || !(lower.at(0).isLetter() || lower.at(0) == u'_'))
        return false;
    for (const QChar c : lower)
        if (!(c.isLetterOrNumber() || c == u'_' || c == u'$') || c.isUpper())
            return false;
    return !isReserved(lower);
}

// The arguments between the "(" at `open` and its ")" at `close`.
QList<Tokens> arguments(const Tokens& t, qsizetype open, qsizetype close) {
    QList<Tokens> args;
    if (close == open + 1)
        return args;
    Tokens arg;
    int depth = 0;
    for (qsizetype j = open + 1; j < close; ++j) {
        const Token& k = t.at(j);
        if (k.isOp("("))
            ++depth;
        else if (k.isOp(")"))
            --depth;
        if (depth == 0 && k.isOp(",")) {
            args.append(arg);
            arg.clear();
        } else {
            arg.append(k);
        }
    }
    args.append(arg);
    return args;
}

// The tables a statement reads, with the names it refers to them by, for the kinds of the
// columns it names.
class Scope {
public:
    Scope(const ServerCatalog& catalog, const Tokens& t, const QList<TableRef>& context)
        : catalog_(catalog)
        , tables_(context) {
        static const char* const notAlias[] = {
            "where", "on",   "left",  "right", "inner", "outer",  "join",  "order",  "group",
            "set",   "full", "cross", "union", "as",    "having", "limit", "values", nullptr};
        for (qsizetype i = 1; i < t.size(); ++i) {
            const Token& before = t.at(i - 1);
            const bool place = before.isWord("from") || before.isWord("join") ||
                               before.isWord("update") || before.isWord("into") ||
                               ((before.isOp(",") || before.isOp("(")) && inFrom(t, i));
            if (!place || !t.at(i).isName() || t.at(i).isWord("select") ||
                (i + 1 < t.size() && t.at(i + 1).isOp(".")))
                continue;
            TableRef ref{t.at(i).text, {}};
            if (i + 2 < t.size() && t.at(i + 1).isWord("as") && t.at(i + 2).isName())
                ref.alias = t.at(i + 2).text;
            else if (i + 1 < t.size() && t.at(i + 1).isName() && !t.at(i + 1).isOneOf(notAlias))
                ref.alias = t.at(i + 1).text;
            tables_.append(ref);
        }
    }

    // The kind of an operand: a column's, a literal's, or Auto for any other expression.
    ValueKind kindOf(const Tokens& e) const {
        if (e.size() == 1) {
            const Token& k = e.first();
            if (k.kind == TokKind::String)
                return ValueKind::Text;
            if (k.kind == TokKind::Date)
                return ValueKind::Date;
            if (k.kind == TokKind::Number)
                return ValueKind::Double;
            if (k.isName())
                return column({}, k.text);
        }
        if (e.size() == 3 && e.at(0).isName() && e.at(1).isOp(".") && e.at(2).isName())
            return column(e.at(0).text, e.at(2).text);
        if (e.size() >= 3 && e.first().isOp("(") && closing(e, 0) == e.size() - 1)
            return kindOf(e.mid(1, e.size() - 2));
        return ValueKind::Auto;
    }

    // The table a qualifier names, or without one the statement's first table.
    QString tableFor(const QString& qualifier) const {
        for (const TableRef& ref : tables_)
            if (qualifier.isEmpty() || ref.refName().compare(qualifier, Qt::CaseInsensitive) == 0)
                return ref.table;
        return {};
    }

private:
    // Whether position `at` lies in a FROM clause (after FROM, before WHERE and the rest, at
    // the same depth).
    static bool inFrom(const Tokens& t, qsizetype at) {
        int depth = 0;
        for (qsizetype j = at - 1; j >= 0; --j) {
            const Token& k = t.at(j);
            if (k.isOp(")"))
                ++depth;
            else if (k.isOp("(") && depth > 0)
                --depth;
            else if (depth == 0 && (k.isWord("from") || k.isWord("join")))
                return true;
            else if (depth == 0 && (k.isWord("where") || k.isWord("select") || k.isWord("on") ||
                                    k.isWord("set") || k.isWord("values")))
                return false;
        }
        return false;
    }

    ValueKind column(const QString& qualifier, const QString& name) const {
        for (const TableRef& ref : tables_) {
            if (!qualifier.isEmpty() && ref.refName().compare(qualifier, Qt::CaseInsensitive) != 0)
                continue;
            const ValueKind kind = catalog_.kindOf(ref.table, name);
            if (kind != ValueKind::Auto)
                return kind;
        }
        return ValueKind::Auto;
    }

    const ServerCatalog& catalog_;
    QList<TableRef> tables_;
};

// An operand as text, the way the file holds and shows it: dates as ISO text ("YYYY-MM-DD",
// with the time only when there is one), numbers as their shortest text.
Tokens asText(const Tokens& e, ValueKind kind) {
    const auto cast = [](const Tokens& x, const char* type) {
        return Tokens{word("CAST"), op("(")} + x + Tokens{word("AS"), word(type), op(")")};
    };
    switch (kind) {
    case ValueKind::Text:
        return e;
    case ValueKind::Date:
        return Tokens{op("("), word("CASE"), word("WHEN")} + cast(e, "time") +
               Tokens{op("="), str(u"00:00:00"_s), word("THEN"), word("to_char"), op("(")} + e +
               Tokens{op(","),      str(u"YYYY-MM-DD"_s), op(")"),
                      word("ELSE"), word("to_char"),      op("(")} +
               e + Tokens{op(","), str(u"YYYY-MM-DD HH24:MI:SS"_s), op(")"), word("END"), op(")")};
    case ValueKind::Currency:
        // numeric(19,4) would show its four decimals; the file holds the plain number.
        return cast(cast(e, "float8"), "text");
    default:
        return cast(e, "text");
    }
}

// A like pattern of Jet's as a regular expression on the folded text: "*" any run, "?" one
// character, "#" one digit, "[a-z]" and "[!x]" lists ("-" first or last is itself, "[]" the
// empty text, a "[" without its "]" itself); anything else stands for itself.
QString likeRegex(const QString& pattern) {
    const QList<uint> chars = pattern.toUcs4();
    const auto literal = [](uint c) {
        const QString s = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        return (c < 0x80 && !QChar(c).isLetterOrNumber()) ? u'\\' + s : s;
    };
    QString re = u"^"_s;
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const uint c = chars.at(i);
        if (c == '*') {
            re += u".*"_s;
        } else if (c == '?') {
            re += u'.';
        } else if (c == '#') {
            re += u"[[:digit:]]"_s;
        } else if (c == '[') {
            qsizetype close = i + 1;
            while (close < chars.size() && chars.at(close) != ']')
                ++close;
            if (close == chars.size()) {
                re += literal(c);
                continue;
            }
            qsizetype k = i + 1;
            bool negate = false;
            if (close - k > 1 && chars.at(k) == '!') {
                negate = true;
                ++k;
            }
            if (k == close && !negate) {
                i = close;
                continue;
            }
            // Each member written as a range, escaped, so that no character of the list has a
            // meaning of its own in the bracket expression.
            re += negate ? u"[^"_s : u"["_s;
            const auto member = [](uint m) {
                const QString s = QString::fromUcs4(reinterpret_cast<const char32_t*>(&m), 1);
                return (m == '\\' || m == ']' || m == '[' || m == '^' || m == '-') ? u'\\' + s : s;
            };
            for (; k < close; ++k) {
                if (k + 2 < close && chars.at(k + 1) == '-') {
                    re += member(chars.at(k)) + u'-' + member(chars.at(k + 2));
                    k += 2;
                } else {
                    re += member(chars.at(k));
                }
            }
            re += u']';
            i = close;
        } else {
            re += literal(c);
        }
    }
    return re + u'$';
}

// The letters whose small letter is not their folded one (the long s, the final sigma, ...):
// each with the letter it folds to, which lower() then leaves as it is. Jet's like folds
// every letter, as the file's matcher does.
struct FoldGaps {
    QString from;
    QString to;
};
const FoldGaps& foldGaps() {
    static const FoldGaps gaps = [] {
        FoldGaps g;
        for (char32_t c = 1; c < 0x10000; ++c) {
            const QChar ch{char16_t(c)};
            if (ch.isSurrogate())
                continue;
            const QChar folded = ch.toCaseFolded();
            if (folded != ch && folded != ch.toLower()) {
                g.from += ch;
                g.to += folded;
            }
        }
        return g;
    }();
    return gaps;
}

QString withGapsFolded(const QString& text) {
    const FoldGaps& gaps = foldGaps();
    QString out = text;
    for (QChar& c : out) {
        const qsizetype at = gaps.from.indexOf(c);
        if (at >= 0)
            c = gaps.to.at(at);
    }
    return out;
}

// `x like 'pattern'` as `lower(x) ~ lower('regex')` under the folding collation: the server
// refuses like and regular expressions under the program's collation, which is not
// deterministic, and like has no lists or digits.
bool translateLike(const Tokens& in, const Scope& scope, Tokens* out, QString* error) {
    Tokens t = in;
    for (qsizetype at = 0; at < t.size(); ++at) {
        if (!t.at(at).isWord("like"))
            continue;
        const bool negated = at > 0 && t.at(at - 1).isWord("not");
        const qsizetype leftEnd = negated ? at - 1 : at;
        // The left operand: a name, a call, a group or a literal.
        qsizetype begin = leftEnd - 1;
        if (begin < 0) {
            *error = u"Syntax error in query expression: like without a value."_s;
            return false;
        }
        if (t.at(begin).isOp(")")) {
            int depth = 0;
            for (; begin >= 0; --begin) {
                if (t.at(begin).isOp(")"))
                    ++depth;
                else if (t.at(begin).isOp("(") && --depth == 0)
                    break;
            }
            if (begin > 0 && t.at(begin - 1).kind == TokKind::Ident)
                --begin;
        } else if (begin >= 2 && t.at(begin - 1).isOp(".") && t.at(begin - 2).isName()) {
            begin -= 2;
        }
        if (at + 1 >= t.size() || t.at(at + 1).kind != TokKind::String) {
            *error = u"A like pattern on a server database must be a text in quotes."_s;
            return false;
        }
        const Tokens value = t.mid(begin, leftEnd - begin);
        const Tokens folded = Tokens{word("lower"), op("("), word("translate"), op("(")} +
                              asText(value, scope.kindOf(value)) +
                              Tokens{op(","),
                                     str(foldGaps().from),
                                     op(","),
                                     str(foldGaps().to),
                                     op(")"),
                                     word("COLLATE"),
                                     word(MatchCollation),
                                     op(")"),
                                     op("~"),
                                     word("lower"),
                                     op("("),
                                     str(withGapsFolded(likeRegex(t.at(at + 1).text))),
                                     word("COLLATE"),
                                     word(MatchCollation),
                                     op(")")};
        Tokens replaced;
        if (negated)
            replaced << word("NOT");
        replaced << op("(") << folded << op(")");
        t = t.mid(0, begin) + replaced + t.mid(at + 2);
        at = begin + replaced.size() - 1;
    }
    *out = t;
    return true;
}

// Jet's functions as the server's. Each call is rewritten with its arguments rewritten first.
class Functions {
public:
    explicit Functions(const Scope& scope)
        : scope_(scope) {}

    bool rewrite(const Tokens& in, Tokens* out, QString* error) {
        Tokens result;
        for (qsizetype i = 0; i < in.size(); ++i) {
            const Token& t = in.at(i);
            const bool call = t.kind == TokKind::Ident && i + 1 < in.size() &&
                              in.at(i + 1).isOp("(") && (i == 0 || !in.at(i - 1).isOp("."));
            if (!call) {
                result.append(t);
                continue;
            }
            const qsizetype close = closing(in, i + 1);
            QList<Tokens> args = arguments(in, i + 1, close);
            for (Tokens& arg : args)
                if (!rewrite(Tokens(arg), &arg, error))
                    return false;
            Tokens call_;
            if (!function(t, args, &call_, error))
                return false;
            result.append(call_);
            i = close;
        }
        *out = result;
        return true;
    }

private:
    static Tokens joined(const QList<Tokens>& args) {
        Tokens out;
        for (qsizetype k = 0; k < args.size(); ++k) {
            if (k > 0)
                out.append(op(","));
            out.append(args.at(k));
        }
        return out;
    }
    static Tokens call(const char* name, const QList<Tokens>& args) {
        return Tokens{word(name), op("(")} + joined(args) + Tokens{op(")")};
    }
    Tokens text(const Tokens& arg) const { return asText(arg, scope_.kindOf(arg)); }
    static Tokens datePart(const char* part, const Tokens& arg) {
        return Tokens{word("CAST"),
                      op("("),
                      word("date_part"),
                      op("("),
                      str(QString::fromLatin1(part)),
                      op(",")} +
               arg + Tokens{op(")"), word("AS"), word("integer"), op(")")};
    }

    // A length or position of Left, Right or Mid as the file takes it: a whole number,
    // rounded half to even; a text that reads as no number fails as a type mismatch, a number
    // under `least` as an invalid call, either only where the text `of` is not Null (a Null
    // text is Null first).
    Tokens whole(const Tokens& arg, int least, const Tokens& of) const {
        const ValueKind kind = scope_.kindOf(arg);
        if (arg.size() == 1 &&
            (arg.first().kind == TokKind::Number || arg.first().kind == TokKind::String)) {
            bool ok = false;
            const double value = arg.first().text.trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(value))
                return serverRaise(QString::fromLatin1(TypeMismatchText), of);
            const qint64 rounded = qint64(std::nearbyint(value));
            if (rounded < least)
                return serverRaise(QString::fromLatin1(InvalidCallText), of);
            return {number(QString::number(rounded))};
        }
        Tokens value = arg;
        if (kind == ValueKind::Text) {
            // Only a text that reads as a number, as the file reads one.
            value = Tokens{op("("), word("CASE"), word("WHEN")} + arg +
                    Tokens{op("!~"), str(QString::fromLatin1(NumberText)), word("THEN"),
                           word("CAST"), op("(")} +
                    serverRaise(QString::fromLatin1(TypeMismatchText), of) +
                    Tokens{word("AS"), word("text"), op(")"), word("ELSE")} + arg +
                    Tokens{word("END"), op(")")};
        }
        if (kind != ValueKind::Integer)
            value =
                Tokens{word("CAST"), op("("), word("CAST"), op("(")} + value +
                Tokens{word("AS"), word("float8"), op(")"), word("AS"), word("integer"), op(")")};
        return Tokens{op("("), word("CASE"), word("WHEN")} + value +
               Tokens{op("<"), number(QString::number(least)), word("THEN")} +
               serverRaise(QString::fromLatin1(InvalidCallText), of) + Tokens{word("ELSE")} +
               value + Tokens{word("END"), op(")")};
    }

    bool function(const Token& name, const QList<Tokens>& args, Tokens* out, QString* error) {
        const QString f = name.text.toLower();
        const qsizetype n = args.size();
        if (f == u"year" || f == u"month" || f == u"day") {
            *out = datePart(f == u"year" ? "year" : f == u"month" ? "month" : "day", args.value(0));
        } else if (f == u"weekday") {
            // Sunday is 1 unless the second argument names another first day (0: the
            // system's, Sunday in this program too).
            Tokens first = n > 1 ? args.at(1) : Tokens{number(u"1"_s)};
            if (first.size() == 1 && first.first().kind == TokKind::Number &&
                first.first().text == u"0")
                first = {number(u"1"_s)};
            *out =
                Tokens{op("("), op("(")} + datePart("dow", args.value(0)) +
                Tokens{op("+"), number(u"8"_s), op("-"), op("(")} + first +
                Tokens{op(")"), op(")"), op("%"), number(u"7"_s), op("+"), number(u"1"_s), op(")")};
        } else if (f == u"left" || f == u"right") {
            const Tokens of = text(args.value(0));
            *out = call(f == u"left" ? "left" : "right", {of, whole(args.value(1), 0, of)});
        } else if (f == u"mid") {
            const Tokens of = text(args.value(0));
            QList<Tokens> a{of, whole(args.value(1), 1, of)};
            if (n > 2)
                a.append(whole(args.at(2), 0, of));
            *out = call("substr", a);
        } else if (f == u"len") {
            *out = call("length", {text(args.value(0))});
        } else if (f == u"ucase" || f == u"lcase") {
            *out = call(f == u"ucase" ? "upper" : "lower", {text(args.value(0))});
        } else if (f == u"trim" || f == u"ltrim" || f == u"rtrim") {
            // Jet's trims remove blanks only.
            *out = call(f == u"trim"    ? "btrim"
                        : f == u"ltrim" ? "ltrim"
                                        : "rtrim",
                        {text(args.value(0)), {str(u" "_s)}});
        } else if (f == u"nz") {
            // Nz(x) is a zero-length text for Null; Nz(x, y) is y, and a text y makes x a text.
            const bool textual = n == 1 || scope_.kindOf(args.at(1)) == ValueKind::Text;
            const Tokens value = textual ? text(args.value(0)) : args.value(0);
            *out = call("coalesce", {value, n > 1 ? args.at(1) : Tokens{str({})}});
        } else if (f == u"iif") {
            // A Null condition counts as false.
            *out = Tokens{op("("), word("CASE"), word("WHEN")} + args.value(0) +
                   Tokens{word("THEN")} + args.value(1) + Tokens{word("ELSE")} + args.value(2) +
                   Tokens{word("END"), op(")")};
        } else if ((f == u"date" && n == 0) || f == u"now") {
            // The program's clock, which tests fix, rather than the server's.
            const QDateTime now = sqlNow();
            const QTime time =
                f == u"now" ? QTime(now.time().hour(), now.time().minute(), now.time().second())
                            : QTime();
            *out = {Token{TokKind::Date, isoStorageText({now.date(), time})}};
        } else if (f == u"format") {
            return format(args, out, error);
        } else {
            *out = Tokens{name, op("(")} + joined(args) + Tokens{op(")")};
        }
        return true;
    }

    // Format(x, pattern): the pattern must be a text in quotes, which the translation reads.
    bool format(const QList<Tokens>& args, Tokens* out, QString* error) const {
        const Tokens& value = args.first();
        QString pattern;
        if (args.size() > 1) {
            if (args.at(1).size() != 1 || args.at(1).first().kind != TokKind::String) {
                *error = u"Format on a server database needs its format as a text in quotes."_s;
                return false;
            }
            pattern = args.at(1).first().text;
        }
        return serverFormat(value, scope_.kindOf(value), pattern, out, error);
    }

    const Scope& scope_;
};

// SQLite's rowid is an integer key's other name: on the server a table without a rowid
// column of its own is named by its key.
Tokens rowids(const Tokens& in, const Scope& scope, const ServerCatalog& catalog) {
    Tokens out = in;
    for (qsizetype i = 0; i < out.size(); ++i) {
        Token& t = out[i];
        if (!t.isWord("rowid") || (i + 1 < out.size() && out.at(i + 1).isOp("(")))
            continue;
        const bool qualified = i >= 2 && out.at(i - 1).isOp(".") && out.at(i - 2).isName();
        const QString table = scope.tableFor(qualified ? out.at(i - 2).text : QString());
        if (!table.isEmpty() && catalog.kindOf(table, t.text) == ValueKind::Auto &&
            catalog.keys.contains(table.toLower()))
            t.text = catalog.keys.value(table.toLower());
    }
    return out;
}

// Names as the server reads them: a bracketed name in lower case, quoted where it is one of
// the server's words or no plain name; a name after "." quoted where it is one of its
// words. Dates become timestamp literals; SQLite's NOCASE is the program's collation.
Tokens serverNames(const Tokens& in) {
    Tokens out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        if (t.kind == TokKind::QuotedIdent) {
            const QString lower = t.text.toLower();
            out.append(isPlainName(lower) ? Token{TokKind::Ident, lower}
                                          : Token{TokKind::QuotedIdent, lower});
        } else if (t.kind == TokKind::Ident && i > 0 && in.at(i - 1).isOp(".") &&
                   isReserved(t.text.toLower())) {
            out.append(Token{TokKind::QuotedIdent, t.text.toLower()});
        } else if (t.kind == TokKind::Date) {
            out << word("TIMESTAMP") << str(t.text);
        } else if (t.isWord("nocase") && i > 0 && in.at(i - 1).isWord("collate")) {
            out.append(word(TextCollation));
        } else {
            out.append(t);
        }
    }
    return out;
}

} // namespace

// The server cannot be told to fail with a message of ours in plain SQL; it fails reading a
// text as a number, and quotes the text in its message.
Tokens serverRaise(const QString& message, const Tokens& dependsOn) {
    const Tokens withValue =
        Tokens{str(QString::fromLatin1(RaisedMark) + message),
               op("||"),
               word("left"),
               op("("),
               word("CAST"),
               op("(")} +
        dependsOn + Tokens{word("AS"), word("text"), op(")"), op(","), number(u"0"_s), op(")")};
    return Tokens{word("CAST"), op("("), op("(")} + withValue +
           Tokens{op(")"), word("AS"), word("integer"), op(")")};
}

QString serverRaisedMessage(const QString& engineMessage) {
    const QString mark = QString::fromLatin1(RaisedMark);
    const qsizetype at = engineMessage.indexOf(mark);
    if (at < 0)
        return {};
    const qsizetype from = at + mark.size();
    const qsizetype end = engineMessage.indexOf(u'"', from);
    return engineMessage.mid(from, end < 0 ? -1 : end - from);
}

bool ServerCatalog::load(PgConnection& connection, DbError* error) {
    // Every column of the tables and views the connection sees, with its type (a domain's own
    // name, yesno or currency, tells those kinds from plain numbers) and whether it is its
    // table's primary key.
    const PgResult result = connection.exec(
        QStringLiteral(
            "SELECT c.relname, a.attname, t.typname, coalesce(b.typname, t.typname), "
            "EXISTS (SELECT 1 FROM pg_index i WHERE i.indrelid = c.oid AND i.indisprimary "
            "AND i.indnatts = 1 AND i.indkey[0] = a.attnum) "
            "FROM pg_class c JOIN pg_namespace s ON s.oid = c.relnamespace "
            "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
            "JOIN pg_type t ON t.oid = a.atttypid "
            "LEFT JOIN pg_type b ON t.typtype = 'd' AND b.oid = t.typbasetype "
            "WHERE c.relkind IN ('r', 'p', 'v', 'm') AND s.nspname = ANY (current_schemas(false)) "
            "ORDER BY c.relname, a.attnum"),
        error);
    if (!result.isValid())
        return false;
    columns.clear();
    keys.clear();
    for (int row = 0; row < result.rows(); ++row) {
        const QString table = result.text(row, 0).toLower();
        const QString column = result.text(row, 1).toLower();
        const QString type = result.text(row, 2);
        const QString base = result.text(row, 3);
        ValueKind kind = ValueKind::Auto;
        if (type == u"yesno" || base == u"bool")
            kind = ValueKind::Bool;
        else if (type == u"currency")
            kind = ValueKind::Currency;
        else if (base == u"int2" || base == u"int4" || base == u"int8")
            kind = ValueKind::Integer;
        else if (base == u"float4" || base == u"float8" || base == u"numeric")
            kind = ValueKind::Double;
        else if (base == u"timestamp" || base == u"timestamptz" || base == u"date")
            kind = ValueKind::Date;
        else if (base == u"text" || base == u"varchar" || base == u"bpchar")
            kind = ValueKind::Text;
        columns[table].insert(column, kind);
        if (result.text(row, 4) == u"t")
            keys.insert(table, column);
    }
    return true;
}

ValueKind ServerCatalog::kindOf(const QString& table, const QString& column) const {
    return columns.value(table.toLower()).value(column.toLower(), ValueKind::Auto);
}

bool translateServerTokens(const QString& jetSql, const ServerCatalog& catalog, Tokens* out,
                           QString* error, const QList<TableRef>& context) {
    Tokens in;
    if (!readJetStatement(jetSql, &in, error))
        return false;
    // Jet's functions are checked as the file checks them, with the same messages.
    Tokens checked;
    if (!translateJetFunctions(in, &checked, error))
        return false;

    Tokens pass;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool qualified =
            (i > 0 && in.at(i - 1).isOp(".")) || (i + 1 < in.size() && in.at(i + 1).isOp("."));
        if (t.kind == TokKind::Date) {
            QString iso;
            if (!jetDateToIso(t.text, &iso, error))
                return false;
            pass.append(Token{TokKind::Date, iso});
        } else if (!qualified && t.isWord("true")) {
            // Jet's True; the comparisons read the sign apart from its number.
            pass << op("-") << number(u"1"_s);
        } else if (!qualified && t.isWord("false")) {
            pass.append(number(u"0"_s));
        } else if (t.isWord("is") && i + 1 < in.size() && !in.at(i + 1).isWord("null") &&
                   !(in.at(i + 1).isWord("not") && i + 2 < in.size() &&
                     in.at(i + 2).isWord("null"))) {
            // SQLite's "a is b" compares values with null equal to null.
            const bool negated = in.at(i + 1).isWord("not");
            pass << word("IS");
            if (!negated)
                pass << word("NOT");
            pass << word("DISTINCT") << word("FROM");
            if (negated)
                ++i;
        } else if (t.isOp("==")) {
            pass.append(op("="));
        } else if (!translateSharedWord(in, &i, qualified, &pass)) {
            pass.append(t);
        }
    }
    ComparisonStyle style;
    style.collation = TextCollation;
    style.columnsCarryCollation = true;
    style.likeRanges = false;
    style.groupTerms = false;
    style.yesNoConditions = true;
    const auto columns = [&catalog](const QString& table) {
        return catalog.columns.value(table.toLower());
    };
    pass = jetComparisons(columns, pass, context, style);

    const Scope scope(catalog, pass, context);
    pass = rowids(pass, scope, catalog);
    if (!translateLike(pass, scope, &pass, error))
        return false;
    pass = translateConcat(pass, [&scope](const Tokens& e) { return asText(e, scope.kindOf(e)); });
    Functions functions(scope);
    if (!functions.rewrite(Tokens(pass), &pass, error))
        return false;
    pass = serverDatesWritten(serverColumnTypes(serverSubqueryNames(pass)), catalog);
    *out = serverNames(serverNullsFirst(pass));
    return true;
}

QString emitServerSql(const Tokens& tokens) {
    return emitSql(tokens);
}

QString translateForServer(const QString& jetSql, const ServerCatalog& catalog, QString* error) {
    Tokens tokens;
    QString message;
    if (!translateServerTokens(jetSql, catalog, &tokens, &message)) {
        if (error)
            *error = message;
        return {};
    }
    if (error)
        error->clear();
    return emitServerSql(tokens);
}

} // namespace tavrel::detail
