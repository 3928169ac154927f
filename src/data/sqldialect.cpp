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

} // namespace

// Jet's "&" joins texts and reads a null as an empty text; SQLite's "||" would make the
// whole result null, so every operand is wrapped in coalesce().
// One piece: one scan that finds the operands on both sides of each "&" at the same depth of
// parentheses.
Tokens translateConcat(const Tokens& in, const std::function<Tokens(const Tokens&)>& operand) {
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
            flat.append(translateConcat(in.mid(i + 1, end - i - 2), operand));
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
            out.append(operand ? operand(operands.at(k)) : operands.at(k));
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

namespace {

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
        if (afterName && t.isOneOf(yesNo)) {
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
        if (afterName && t.isOneOf(counter)) {
            out << word("INTEGER") << word("PRIMARY") << word("KEY") << word("AUTOINCREMENT");
            continue;
        }
        out.append(t);
    }
    return out;
}

} // namespace

// One piece: the tokenizer's cases (strings, brackets, dates, numbers, operators) advance one
// shared position.
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

bool readJetStatement(const QString& jetSql, Tokens* out, QString* error) {
    Tokens& in = *out;
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
    return true;
}

bool translateTokens(const QString& jetSql, Tokens* out, QString* error) {
    Tokens in;
    if (!readJetStatement(jetSql, &in, error))
        return false;

    Tokens pass;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool qualified =
            (i > 0 && in.at(i - 1).isOp(".")) || (i + 1 < in.size() && in.at(i + 1).isOp("."));
        switch (t.kind) {
        case TokKind::Date: {
            QString iso;
            if (!jetDateToIso(t.text, &iso, error))
                return false;
            pass.append(str(iso));
            break;
        }
        case TokKind::Ident:
            if (!qualified && t.isWord("true")) {
                pass.append(Token{TokKind::Number, QStringLiteral("1")});
            } else if (!qualified && t.isWord("false")) {
                pass.append(Token{TokKind::Number, QStringLiteral("0")});
            } else if (!translateSharedWord(in, &i, qualified, &pass)) {
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
    pass = translateConcat(pass, {});
    pass = translateColumnTypes(pass);
    *out = pass;
    return true;
}

bool translateSharedWord(const Tokens& in, qsizetype* i, bool qualified, Tokens* out) {
    const Token& t = in.at(*i);
    if (!qualified && t.isWord("mod") && !out->isEmpty() &&
        !(*i + 1 < in.size() && in.at(*i + 1).isOp("("))) {
        out->append(op("%"));
        return true;
    }
    if (t.isWord("delete") && out->isEmpty()) {
        out->append(t);
        // "delete * from" and "delete table.* from" are "delete from".
        if (*i + 1 < in.size() && in.at(*i + 1).isOp("*"))
            ++*i;
        else if (*i + 3 < in.size() && in.at(*i + 1).isName() && in.at(*i + 2).isOp(".") &&
                 in.at(*i + 3).isOp("*"))
            *i += 3;
        return true;
    }
    return false;
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
            else if (t.isOp("(") && p.kind == TokKind::Ident && !p.isOneOf(spacedBeforeParen))
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
