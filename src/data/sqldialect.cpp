#include "data/sqldialect.h"

#include "data/database_p.h"
#include "data/jet_p.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace tavrel {

namespace detail {

namespace {

bool isIdentStart(QChar c) {
    return c.isLetter() || c == QLatin1Char('_');
}
bool isIdentChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Reads a quoted run starting at `i` (on the opening quote); doubled closing quotes stand
// for one. Returns false when the text ends first.
bool readQuoted(const QString& s, qsizetype& i, QChar close, bool doubling, QString* out) {
    out->clear();
    ++i;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c == close) {
            if (doubling && i + 1 < s.size() && s.at(i + 1) == close) {
                out->append(close);
                i += 2;
                continue;
            }
            ++i;
            return true;
        }
        out->append(c);
        ++i;
    }
    return false;
}

// Words at which an operand of "&" ends.
bool isBoundaryWord(const Token& t) {
    static const char* const words[] = {
        "select",  "from",   "where", "and",    "or",     "not",      "on",    "as",
        "by",      "having", "when",  "then",   "else",   "end",      "case",  "like",
        "between", "in",     "is",    "set",    "values", "order",    "group", "join",
        "left",    "right",  "inner", "outer",  "into",   "distinct", "asc",   "desc",
        "limit",   "union",  "all",   "exists", "glob",   "escape"};
    if (t.kind != TokKind::Ident)
        return false;
    for (const char* w : words)
        if (t.isWord(w))
            return true;
    return false;
}

bool isBoundaryOp(const Token& t) {
    static const char* const ops[] = {",", ";", "=", "==", "<>", "!=", "<", ">", "<=", ">="};
    if (t.kind != TokKind::Op)
        return false;
    for (const char* o : ops)
        if (t.isOp(o))
            return true;
    return false;
}

Token op(const char* text) {
    return Token{TokKind::Op, QString::fromLatin1(text)};
}
Token word(const char* text) {
    return Token{TokKind::Ident, QString::fromLatin1(text)};
}
Token str(const QString& text) {
    return Token{TokKind::String, text};
}

// Index just after the group that starts at `i` ("(" ... ")"), or i + 1 for one token.
qsizetype unitEnd(const Tokens& t, qsizetype i) {
    if (!t.at(i).isOp("("))
        return i + 1;
    int depth = 0;
    for (qsizetype j = i; j < t.size(); ++j) {
        if (t.at(j).isOp("("))
            ++depth;
        else if (t.at(j).isOp(")") && --depth == 0)
            return j + 1;
    }
    return t.size();
}

// Jet's "&" joins texts and reads a null as an empty text; SQLite's "||" would make the
// whole result null, so every operand is wrapped in coalesce().
Tokens translateConcat(const Tokens& in) {
    bool any = false;
    for (const Token& t : in)
        if (t.isOp("&"))
            any = true;
    if (!any)
        return in;

    // Recurse into parentheses first, then join the operands at this level.
    Tokens flat;
    for (qsizetype i = 0; i < in.size();) {
        const qsizetype end = unitEnd(in, i);
        if (end - i > 1) {
            flat.append(in.at(i));
            flat.append(translateConcat(in.mid(i + 1, end - i - 2)));
            if (in.at(end - 1).isOp(")"))
                flat.append(in.at(end - 1));
        } else {
            flat.append(in.at(i));
        }
        i = end;
    }

    QList<Tokens> units;
    for (qsizetype i = 0; i < flat.size();) {
        const qsizetype end = unitEnd(flat, i);
        units.append(flat.mid(i, end - i));
        i = end;
    }
    auto boundary = [](const Tokens& u) {
        return u.size() == 1 && (isBoundaryWord(u.first()) || isBoundaryOp(u.first()));
    };
    auto isAmp = [](const Tokens& u) { return u.size() == 1 && u.first().isOp("&"); };

    Tokens out;
    QList<Tokens> pending; // units emitted at this level but maybe a left operand
    for (qsizetype i = 0; i < units.size(); ++i) {
        const Tokens& u = units.at(i);
        if (!isAmp(u)) {
            if (boundary(u)) {
                for (const Tokens& p : pending)
                    out.append(p);
                pending.clear();
                out.append(u);
            } else {
                pending.append(u);
            }
            continue;
        }
        // A chain: the pending units are the first operand.
        QList<Tokens> operands;
        Tokens first;
        for (const Tokens& p : pending)
            first.append(p);
        pending.clear();
        operands.append(first);
        while (i < units.size() && isAmp(units.at(i))) {
            Tokens next;
            ++i;
            while (i < units.size() && !isAmp(units.at(i)) && !boundary(units.at(i)))
                next.append(units.at(i++));
            operands.append(next);
        }
        --i;
        out.append(op("("));
        for (qsizetype k = 0; k < operands.size(); ++k) {
            if (k > 0)
                out.append(op("||"));
            out.append(word("coalesce"));
            out.append(op("("));
            out.append(operands.at(k));
            out.append(op(","));
            out.append(str(QString()));
            out.append(op(")"));
        }
        out.append(op(")"));
    }
    for (const Tokens& p : pending)
        out.append(p);
    return out;
}

// Year(x), Month(x), Day(x) become the integer parts of the ISO date text.
Tokens translateDateParts(const Tokens& in) {
    Tokens out;
    QList<bool> closeCast; // per open parenthesis: does it end a date-part call?
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool call = t.kind == TokKind::Ident && i + 1 < in.size() && in.at(i + 1).isOp("(") &&
                          (i == 0 || !in.at(i - 1).isOp("."));
        const char* format = nullptr;
        if (call && t.isWord("year"))
            format = "%Y";
        else if (call && t.isWord("month"))
            format = "%m";
        else if (call && t.isWord("day"))
            format = "%d";
        if (format) {
            out << word("CAST") << op("(") << word("strftime") << op("(")
                << str(QString::fromLatin1(format)) << op(",");
            closeCast.append(true);
            ++i; // the "("
            continue;
        }
        if (t.isOp("(")) {
            closeCast.append(false);
        } else if (t.isOp(")") && !closeCast.isEmpty()) {
            if (closeCast.takeLast()) {
                out << op(")") << word("AS") << word("INTEGER") << op(")");
                continue;
            }
        }
        out.append(t);
    }
    return out;
}

bool isColumnTypeWord(const Token& t, const char* const* words) {
    for (; *words; ++words)
        if (t.isWord(*words))
            return true;
    return false;
}

// Column types in CREATE/ALTER TABLE: a yes/no column is never null (Jet's bit), a
// counter is SQLite's never-reused key.
Tokens translateColumnTypes(const Tokens& in) {
    static const char* const yesNo[] = {"bit", "yesno", "logical", "boolean", nullptr};
    static const char* const counter[] = {"counter", "autoincrement", nullptr};
    if (in.isEmpty() || !(in.first().isWord("create") || in.first().isWord("alter")))
        return in;
    Tokens out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool afterName = i > 0 && in.at(i - 1).isName() && !in.at(i - 1).isWord("table") &&
                               !in.at(i - 1).isWord("column");
        if (afterName && isColumnTypeWord(t, yesNo)) {
            bool constrained = false;
            for (qsizetype j = i + 1; j < in.size() && !in.at(j).isOp(",") && !in.at(j).isOp(")");
                 ++j)
                if (in.at(j).isWord("not") || in.at(j).isWord("default"))
                    constrained = true;
            out << word("BIT");
            if (!constrained)
                out << word("NOT") << word("NULL") << word("DEFAULT")
                    << Token{TokKind::Number, QStringLiteral("0")};
            continue;
        }
        if (afterName && isColumnTypeWord(t, counter)) {
            out << word("INTEGER") << word("PRIMARY") << word("KEY") << word("AUTOINCREMENT");
            continue;
        }
        out.append(t);
    }
    return out;
}

} // namespace

bool tokenize(const QString& s, bool jetMode, Tokens* out, QString* error) {
    out->clear();
    // SQLite reads text up to its first NUL: the rest of the statement would be dropped
    // without a word ("delete * from assign \0 where ..." deleting every row).
    if (s.contains(QChar(0))) {
        *error = QStringLiteral("Invalid character (NUL) in query expression.");
        return false;
    }
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t;
        if (c == QLatin1Char('\'')) {
            t.kind = TokKind::String;
            if (!readQuoted(s, i, c, true, &t.text)) {
                *error = QStringLiteral("Unterminated string in query expression.");
                return false;
            }
        } else if (c == QLatin1Char('"')) {
            t.kind = jetMode ? TokKind::String : TokKind::QuotedIdent;
            if (!readQuoted(s, i, c, true, &t.text)) {
                *error = QStringLiteral("Unterminated string in query expression.");
                return false;
            }
        } else if (c == QLatin1Char('[')) {
            t.kind = TokKind::QuotedIdent;
            if (!readQuoted(s, i, QLatin1Char(']'), false, &t.text)) {
                *error = QStringLiteral("Unterminated bracketed name in query expression.");
                return false;
            }
        } else if (c == QLatin1Char('`')) {
            t.kind = TokKind::QuotedIdent;
            if (!readQuoted(s, i, c, true, &t.text)) {
                *error = QStringLiteral("Unterminated quoted name in query expression.");
                return false;
            }
        } else if (jetMode && c == QLatin1Char('#')) {
            t.kind = TokKind::Date;
            if (!readQuoted(s, i, c, false, &t.text)) {
                *error = QStringLiteral("Syntax error in date in query expression.");
                return false;
            }
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && s.at(i + 1).isDigit())) {
            t.kind = TokKind::Number;
            const qsizetype start = i;
            while (i < n && s.at(i).isDigit())
                ++i;
            if (i < n && s.at(i) == QLatin1Char('.')) {
                ++i;
                while (i < n && s.at(i).isDigit())
                    ++i;
            }
            if (i < n && (s.at(i) == QLatin1Char('e') || s.at(i) == QLatin1Char('E'))) {
                qsizetype j = i + 1;
                if (j < n && (s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-')))
                    ++j;
                if (j < n && s.at(j).isDigit()) {
                    i = j;
                    while (i < n && s.at(i).isDigit())
                        ++i;
                }
            }
            t.text = s.mid(start, i - start);
        } else if (isIdentStart(c)) {
            t.kind = TokKind::Ident;
            const qsizetype start = i;
            while (i < n && isIdentChar(s.at(i)))
                ++i;
            t.text = s.mid(start, i - start);
        } else if (!jetMode &&
                   (c == QLatin1Char('?') || c == QLatin1Char(':') || c == QLatin1Char('@'))) {
            t.kind = TokKind::Param;
            const qsizetype start = i++;
            while (i < n && isIdentChar(s.at(i)))
                ++i;
            t.text = s.mid(start, i - start);
        } else {
            t.kind = TokKind::Op;
            static const char* const twoChar[] = {"<>", "<=", ">=", "!=", "==", "||", "<<", ">>"};
            const QString two = s.mid(i, 2);
            bool found = false;
            for (const char* o : twoChar)
                if (two == QLatin1String(o)) {
                    t.text = two;
                    i += 2;
                    found = true;
                    break;
                }
            if (!found) {
                t.text = QString(c);
                ++i;
            }
        }
        out->append(t);
    }
    return true;
}

bool translateTokens(const QString& jetSql, Tokens* out, QString* error) {
    Tokens in;
    if (!tokenize(jetSql, true, &in, error))
        return false;
    // One statement only; a trailing ";" is allowed.
    while (!in.isEmpty() && in.last().isOp(";"))
        in.removeLast();
    // Parentheses balanced and nested at most MaxSqlNesting deep: the passes below recurse
    // into them.
    int depth = 0;
    for (const Token& t : in) {
        if (t.isOp(";")) {
            *error = QStringLiteral("Characters found after end of SQL statement.");
            return false;
        }
        if (t.isOp("(") && ++depth > MaxSqlNesting) {
            *error = QStringLiteral("Query expression is nested too deeply (more than %1 "
                                    "levels of parentheses).")
                         .arg(MaxSqlNesting);
            return false;
        }
        if (t.isOp(")") && --depth < 0)
            break;
    }
    if (depth != 0) {
        *error = QStringLiteral("Unbalanced parentheses in query expression.");
        return false;
    }

    Tokens pass;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool qualified =
            (i > 0 && in.at(i - 1).isOp(".")) || (i + 1 < in.size() && in.at(i + 1).isOp("."));
        switch (t.kind) {
        case TokKind::Date: {
            QString iso;
            if (!jetDateToIso(t.text, &iso)) {
                *error =
                    QStringLiteral("Syntax error in date in query expression '#%1#'.").arg(t.text);
                return false;
            }
            pass.append(str(iso));
            break;
        }
        case TokKind::Ident:
            if (!qualified && t.isWord("true")) {
                pass.append(Token{TokKind::Number, QStringLiteral("1")});
            } else if (!qualified && t.isWord("false")) {
                pass.append(Token{TokKind::Number, QStringLiteral("0")});
            } else if (!qualified && t.isWord("mod") && !pass.isEmpty() &&
                       !(i + 1 < in.size() && in.at(i + 1).isOp("("))) {
                pass.append(op("%"));
            } else if (t.isWord("delete") && pass.isEmpty()) {
                pass.append(t);
                // "delete * from" and "delete table.* from" are SQLite's "delete from".
                if (i + 1 < in.size() && in.at(i + 1).isOp("*"))
                    ++i;
                else if (i + 3 < in.size() && in.at(i + 1).isName() && in.at(i + 2).isOp(".") &&
                         in.at(i + 3).isOp("*"))
                    i += 3;
            } else {
                pass.append(t);
            }
            break;
        default:
            pass.append(t);
        }
    }
    pass = translateDateParts(pass);
    if (!translateJetFunctions(pass, &pass, error))
        return false;
    pass = translateConcat(pass);
    pass = translateColumnTypes(pass);
    *out = pass;
    return true;
}

QString quoteIdent(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString emitSql(const Tokens& tokens) {
    static const char* const spacedBeforeParen[] = {
        "from",   "join", "in",   "on",   "and",  "or",    "not", "where", "exists", "values", "as",
        "select", "by",   "when", "then", "else", "using", "set", "into",  "table",  nullptr};
    QString out;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        if (i > 0) {
            const Token& p = tokens.at(i - 1);
            bool space = true;
            if (t.isOp(".") || t.isOp(",") || t.isOp(")") || p.isOp(".") || p.isOp("("))
                space = false;
            else if (t.isOp("(") && p.kind == TokKind::Ident &&
                     !isColumnTypeWord(p, spacedBeforeParen))
                space = false;
            if (space)
                out.append(QLatin1Char(' '));
        }
        switch (t.kind) {
        case TokKind::String: {
            QString v = t.text;
            v.replace(QLatin1Char('\''), QLatin1String("''"));
            out += QLatin1Char('\'') + v + QLatin1Char('\'');
            break;
        }
        case TokKind::QuotedIdent:
            out += quoteIdent(t.text);
            break;
        case TokKind::Date:
            out += QLatin1Char('#') + t.text + QLatin1Char('#');
            break;
        default:
            out += t.text;
        }
    }
    return out;
}

namespace {

bool isClauseWord(const Token& t) {
    return t.isWord("from") || t.isWord("where") || t.isWord("group") || t.isWord("having") ||
           t.isWord("order") || t.isWord("limit") || t.isWord("union") || t.isWord("except") ||
           t.isWord("intersect") || t.isWord("window");
}

bool isJoinWord(const Token& t) {
    static const char* const words[] = {"left",    "right", "inner",  "outer", "cross", "join",
                                        "natural", "on",    "using",  "where", "group", "order",
                                        "limit",   "full",  "having", "union", nullptr};
    return isColumnTypeWord(t, words);
}

bool isAggregate(const Token& t) {
    static const char* const words[] = {"count", "sum",   "avg",          "min",
                                        "max",   "total", "group_concat", nullptr};
    return isColumnTypeWord(t, words);
}

} // namespace

SelectParts parseSelect(const Tokens& t) {
    SelectParts p;
    if (t.isEmpty() || !t.first().isWord("select"))
        return p;
    p.isSelect = true;
    p.keyable = true;

    // Depth-0 positions of the clause words.
    qsizetype fromAt = -1, whereAt = -1, orderAt = -1, tailAt = -1;
    int depth = 0;
    for (qsizetype i = 1; i < t.size(); ++i) {
        const Token& k = t.at(i);
        if (k.isOp("("))
            ++depth;
        else if (k.isOp(")"))
            --depth;
        else if (depth == 0 && isClauseWord(k)) {
            if (k.isWord("from") && fromAt < 0)
                fromAt = i;
            else if (k.isWord("where") && whereAt < 0)
                whereAt = i;
            else if (k.isWord("order") && orderAt < 0)
                orderAt = i;
            else if (k.isWord("limit") && tailAt < 0)
                tailAt = i;
            else if (!k.isWord("from"))
                p.keyable = false; // group by, having, unions, windows
        }
    }
    if (fromAt < 0) {
        p.keyable = false;
        return p;
    }
    const qsizetype end = t.size();
    auto next = [&](qsizetype from) {
        qsizetype best = end;
        for (qsizetype at : {whereAt, orderAt, tailAt})
            if (at > from && at < best)
                best = at;
        return best;
    };
    qsizetype listStart = 1;
    if (t.size() > 1 && (t.at(1).isWord("distinct")))
        p.keyable = false;
    if (t.size() > 1 && t.at(1).isWord("all"))
        listStart = 2;
    p.selectList = t.mid(listStart, fromAt - listStart);
    p.from = t.mid(fromAt + 1, next(fromAt) - fromAt - 1);
    if (whereAt > 0)
        p.where = t.mid(whereAt + 1, next(whereAt) - whereAt - 1);
    if (orderAt > 0) {
        const qsizetype s = orderAt + 2; // "order by"
        p.orderBy = t.mid(s, next(orderAt) - s);
        p.orderAt = orderAt;
        p.orderEnd = next(orderAt);
    }
    if (tailAt > 0)
        p.tail = t.mid(tailAt, end - tailAt);

    // Select list: aggregates make rows that are no table's rows; "as" gives aliases.
    for (qsizetype i = 0; i + 1 < p.selectList.size(); ++i)
        if (isAggregate(p.selectList.at(i)) && p.selectList.at(i + 1).isOp("("))
            p.keyable = false;
    {
        Tokens item;
        depth = 0;
        auto finish = [&]() {
            if (item.size() >= 3 && item.at(item.size() - 2).isWord("as") && item.last().isName())
                p.aliases.insert(item.last().text.toLower(), item.mid(0, item.size() - 2));
            item.clear();
        };
        for (const Token& k : p.selectList) {
            if (k.isOp("("))
                ++depth;
            else if (k.isOp(")"))
                --depth;
            if (depth == 0 && k.isOp(","))
                finish();
            else
                item.append(k);
        }
        finish();
    }

    // Tables of the FROM clause, in order; the first is the base table.
    bool expectTable = true;
    bool inOn = false;
    int onDepth = 0;
    depth = 0;
    for (qsizetype i = 0; i < p.from.size(); ++i) {
        const Token& k = p.from.at(i);
        if (k.isOp("(")) {
            ++depth;
            if (i + 1 < p.from.size() && p.from.at(i + 1).isWord("select"))
                p.keyable = false;
            continue;
        }
        if (k.isOp(")")) {
            --depth;
            if (inOn && depth < onDepth)
                inOn = false;
            continue;
        }
        if (k.isWord("join")) {
            expectTable = true;
            inOn = false;
            continue;
        }
        if (k.isWord("on")) {
            inOn = true;
            onDepth = depth;
            continue;
        }
        if (k.isOp(",") && !(inOn && depth > onDepth)) {
            expectTable = true;
            inOn = false;
            continue;
        }
        if (expectTable && k.isName() && !isJoinWord(k)) {
            TableRef ref;
            ref.table = k.text;
            if (i + 2 < p.from.size() && p.from.at(i + 1).isOp(".") && p.from.at(i + 2).isName()) {
                ref.table = p.from.at(i + 2).text; // schema.table
                i += 2;
            }
            if (i + 2 < p.from.size() && p.from.at(i + 1).isWord("as") &&
                p.from.at(i + 2).isName()) {
                ref.alias = p.from.at(i + 2).text;
                i += 2;
            } else if (i + 1 < p.from.size() && p.from.at(i + 1).isName() &&
                       !isJoinWord(p.from.at(i + 1))) {
                ref.alias = p.from.at(i + 1).text;
                i += 1;
            }
            p.tables.append(ref);
            expectTable = false;
            continue;
        }
        if (expectTable && !k.isName())
            p.keyable = false; // something other than a table where a table belongs
    }
    if (p.tables.isEmpty())
        p.keyable = false;

    // Positional order terms would need the expanded select list.
    for (qsizetype i = 0; i < p.orderBy.size(); ++i) {
        const bool termStart = i == 0 || p.orderBy.at(i - 1).isOp(",");
        if (termStart && p.orderBy.at(i).kind == TokKind::Number)
            p.keyable = false;
    }
    return p;
}

Tokens substituteAliases(const Tokens& tokens, const QHash<QString, Tokens>& aliases) {
    if (aliases.isEmpty())
        return tokens;
    Tokens out;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens.at(i);
        const bool qualified =
            (i > 0 && tokens.at(i - 1).isOp(".")) ||
            (i + 1 < tokens.size() && (tokens.at(i + 1).isOp(".") || tokens.at(i + 1).isOp("(")));
        const auto it =
            t.isName() && !qualified ? aliases.constFind(t.text.toLower()) : aliases.constEnd();
        if (it != aliases.constEnd()) {
            out.append(op("("));
            out.append(it.value());
            out.append(op(")"));
        } else {
            out.append(t);
        }
    }
    return out;
}

namespace {

// One element of a compiled like pattern: each matches exactly one character, except "*"
// (any run).
struct LikeElement {
    enum class Kind { Star, Any, Digit, Literal, List };
    Kind kind = Kind::Literal;
    char32_t ch = 0;                                   // Literal
    bool negate = false;                               // List: "[!...]"
    std::vector<std::pair<char32_t, char32_t>> ranges; // List: a single character is a range of one
};
using LikePattern = std::vector<LikeElement>;

// Jet's like pattern: "*" any run, "?" one character, "#" one digit, "[abc]", "[a-z]",
// "[!abc]" character lists ("-" first or last is itself), "[]" the empty text. A "[" without
// its "]" is itself. `pattern` is already case folded.
LikePattern compileLike(const std::vector<char32_t>& pattern) {
    LikePattern out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char32_t c = pattern[i];
        LikeElement e;
        if (c == U'*') {
            if (!out.empty() && out.back().kind == LikeElement::Kind::Star)
                continue; // "**" is "*"
            e.kind = LikeElement::Kind::Star;
        } else if (c == U'?') {
            e.kind = LikeElement::Kind::Any;
        } else if (c == U'#') {
            e.kind = LikeElement::Kind::Digit;
        } else if (c == U'[') {
            size_t close = i + 1;
            while (close < pattern.size() && pattern[close] != U']')
                ++close;
            if (close == pattern.size()) {
                e.ch = c;
            } else {
                size_t k = i + 1;
                if (close - k > 1 && pattern[k] == U'!') {
                    e.negate = true;
                    ++k;
                }
                if (k == close && !e.negate) {
                    i = close; // "[]" matches the empty text: nothing to match
                    continue;
                }
                e.kind = LikeElement::Kind::List;
                for (; k < close; ++k) {
                    if (k + 2 < close && pattern[k + 1] == U'-') {
                        e.ranges.emplace_back(pattern[k], pattern[k + 2]);
                        k += 2;
                    } else {
                        e.ranges.emplace_back(pattern[k], pattern[k]);
                    }
                }
                i = close;
            }
        } else {
            e.ch = c;
        }
        out.push_back(std::move(e));
    }
    return out;
}

bool matchesOne(const LikeElement& e, char32_t c) {
    switch (e.kind) {
    case LikeElement::Kind::Any:
        return true;
    case LikeElement::Kind::Digit:
        return QChar::isDigit(c);
    case LikeElement::Kind::List: {
        bool in = false;
        for (const auto& [low, high] : e.ranges)
            if (c >= low && c <= high) {
                in = true;
                break;
            }
        return in != e.negate;
    }
    case LikeElement::Kind::Literal:
        return c == e.ch;
    case LikeElement::Kind::Star:
        break;
    }
    return false;
}

// Every element but "*" takes exactly one character, so a failed attempt only ever needs
// to resume at the last "*" with one more character given to it: time is at most text
// length × pattern length, whatever the pattern.
bool matchLike(const std::vector<char32_t>& s, const LikePattern& p) {
    constexpr size_t None = std::numeric_limits<size_t>::max();
    size_t si = 0;
    size_t pi = 0;
    size_t star = None;
    size_t starSi = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi].kind == LikeElement::Kind::Star) {
            star = pi++;
            starSi = si;
        } else if (pi < p.size() && matchesOne(p[pi], s[si])) {
            ++pi;
            ++si;
        } else if (star != None) {
            pi = star + 1;
            si = ++starSi;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == LikeElement::Kind::Star)
        ++pi;
    return pi == p.size();
}

// Text folded for a case-insensitive match, one element per character (not per UTF-16
// unit, so "?" takes a whole character outside the basic plane too).
std::vector<char32_t> foldedCharacters(const QString& s) {
    const QList<uint> ucs4 = s.toCaseFolded().toUcs4();
    return std::vector<char32_t>(ucs4.cbegin(), ucs4.cend());
}

// An argument's characters, folded. Plain ASCII, the common case, is folded directly from
// SQLite's bytes, without building a string first.
std::vector<char32_t> foldedArgument(sqlite3_value* v) {
    const auto* text = sqlite3_value_text(v);
    const int bytes = sqlite3_value_bytes(v);
    std::vector<char32_t> out(size_t(bytes > 0 ? bytes : 0));
    for (int i = 0; i < bytes; ++i) {
        const unsigned char c = text[i];
        if (c >= 0x80)
            return foldedCharacters(QString::fromUtf8(reinterpret_cast<const char*>(text), bytes));
        out[size_t(i)] = c >= 'A' && c <= 'Z' ? char32_t(c - 'A' + 'a') : char32_t(c);
    }
    return out;
}

// `patternIndex` is the pattern's argument: a constant pattern is compiled once per
// statement and kept with it.
void likeMatch(sqlite3_context* ctx, sqlite3_value** argv, int patternIndex) {
    sqlite3_value* patternArg = argv[patternIndex];
    sqlite3_value* valueArg = argv[1 - patternIndex];
    if (sqlite3_value_type(patternArg) == SQLITE_NULL ||
        sqlite3_value_type(valueArg) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto* cached = static_cast<LikePattern*>(sqlite3_get_auxdata(ctx, patternIndex));
    std::unique_ptr<LikePattern> compiled;
    if (!cached) {
        compiled = std::make_unique<LikePattern>(compileLike(foldedArgument(patternArg)));
        cached = compiled.get();
    }
    sqlite3_result_int(ctx, matchLike(foldedArgument(valueArg), *cached) ? 1 : 0);
    if (compiled)
        sqlite3_set_auxdata(ctx, patternIndex, compiled.release(),
                            [](void* p) { delete static_cast<LikePattern*>(p); });
}

// SQLite calls like(pattern, value) for "value LIKE pattern".
void jetLike(sqlite3_context* ctx, int, sqlite3_value** argv) {
    likeMatch(ctx, argv, 0);
}
// The same as a function of its own, in reading order: jetlike(value, pattern).
void jetLikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    likeMatch(ctx, argv, 1);
}

// Primary key of Jet's text order: case and accents folded away.
QString primaryKey(const QString& s) {
    const QString decomposed = s.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out.append(c);
    return out.toCaseFolded();
}

// Jet's comparison of two texts: letters of every alphabet without regard to case, accented
// letters beside their base letter. With `byCase`, texts that differ only in case are then
// ordered by their characters, which makes the order of a sort complete.
int compareTexts(int n1, const unsigned char* a, int n2, const unsigned char* b, bool byCase) {
    // Plain ASCII, the common case, without building strings.
    bool ascii = true;
    const int n = qMin(n1, n2);
    for (int i = 0; i < n; ++i) {
        if (a[i] >= 0x80 || b[i] >= 0x80) {
            ascii = false;
            break;
        }
        const int ca = std::tolower(a[i]);
        const int cb = std::tolower(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (ascii) {
        for (int i = n; i < n1; ++i)
            if (a[i] >= 0x80)
                ascii = false;
        for (int i = n; i < n2; ++i)
            if (b[i] >= 0x80)
                ascii = false;
    }
    if (ascii) {
        if (n1 != n2)
            return n1 < n2 ? -1 : 1;
        if (!byCase)
            return 0;
        const int c = std::memcmp(a, b, size_t(n));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    const QString sa = QString::fromUtf8(reinterpret_cast<const char*>(a), n1);
    const QString sb = QString::fromUtf8(reinterpret_cast<const char*>(b), n2);
    int c = primaryKey(sa).compare(primaryKey(sb));
    if (c == 0)
        c = sa.toCaseFolded().compare(sb.toCaseFolded());
    if (c == 0 && byCase)
        c = sa.compare(sb);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The collation of sorts ("jet"): a complete order.
int jetCollate(void*, int n1, const void* p1, int n2, const void* p2) {
    return compareTexts(n1, static_cast<const unsigned char*>(p1), n2,
                        static_cast<const unsigned char*>(p2), true);
}

// The collation of comparisons ("jetcompare"): texts that differ only in case are equal.
int jetCompareCollate(void*, int n1, const void* p1, int n2, const void* p2) {
    return compareTexts(n1, static_cast<const unsigned char*>(p1), n2,
                        static_cast<const unsigned char*>(p2), false);
}

} // namespace

bool likeMatches(const QString& value, const QString& pattern) {
    return matchLike(foldedCharacters(value), compileLike(foldedCharacters(pattern)));
}

void registerSqlFunctions(sqlite3* db) {
    sqlite3_create_collation(db, SortCollation, SQLITE_UTF8, nullptr, jetCollate);
    sqlite3_create_collation(db, CompareCollation, SQLITE_UTF8, nullptr, jetCompareCollate);
    // Overriding like() keeps "x like pattern" (and "not like") as written while giving it
    // Jet's wildcards and case-insensitive matching of all letters.
    sqlite3_create_function(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, jetLike,
                            nullptr, nullptr);
    sqlite3_create_function(db, "jetlike", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            jetLikeFunction, nullptr, nullptr);
    registerJetFunctions(db);
}

} // namespace detail

QString translateSql(const QString& jetSql, QString* error) {
    detail::Tokens tokens;
    QString message;
    if (!detail::translateTokens(jetSql, &tokens, &message)) {
        if (error)
            *error = message;
        return QString();
    }
    if (error)
        error->clear();
    return detail::emitSql(tokens);
}

} // namespace tavrel
