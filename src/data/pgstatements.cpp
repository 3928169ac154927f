// Passes of the server's translation over a whole statement's shape: column types of CREATE
// and ALTER TABLE, values written to date columns, and where nulls sort.

#include "data/pgdialect.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace tavrel::detail {

namespace {} // namespace

// Values an insert or update writes to a date column are read as dates: the file holds dates
// as ISO text, so the program may write one as a text ('2006-01-02', or a CASE choosing
// among such texts), which the server takes only as a timestamp.
Tokens serverDatesWritten(const Tokens& in, const ServerCatalog& catalog) {
    const auto split = [&](qsizetype begin, qsizetype end) {
        QList<std::pair<qsizetype, qsizetype>> items;
        int depth = 0;
        qsizetype start = begin;
        for (qsizetype j = begin; j < end; ++j) {
            if (in.at(j).isOp("("))
                ++depth;
            else if (in.at(j).isOp(")"))
                --depth;
            else if (depth == 0 && in.at(j).isOp(",")) {
                items.append({start, j});
                start = j + 1;
            }
        }
        items.append({start, end});
        return items;
    };
    // [begin, end) spans that are written to date columns.
    QList<std::pair<qsizetype, qsizetype>> dates;
    const auto depthZero = [&](qsizetype from, const char* what) {
        int depth = 0;
        for (qsizetype j = from; j < in.size(); ++j) {
            if (in.at(j).isOp("("))
                ++depth;
            else if (in.at(j).isOp(")"))
                --depth;
            else if (depth == 0 && in.at(j).isWord(what))
                return j;
        }
        return in.size();
    };
    if (in.size() > 4 && in.at(0).isWord("insert") && in.at(1).isWord("into") &&
        in.at(2).isName() && in.at(3).isOp("(")) {
        const QString table = in.at(2).text;
        const qsizetype close = closing(in, 3);
        QList<ValueKind> kinds;
        for (const auto& [b, e] : split(4, close))
            kinds.append(e - b == 1 ? catalog.kindOf(table, in.at(b).text) : ValueKind::Auto);
        QList<std::pair<qsizetype, qsizetype>> items;
        if (close + 1 < in.size() && in.at(close + 1).isWord("select"))
            items = split(close + 2, depthZero(close + 2, "from"));
        else if (close + 2 < in.size() && in.at(close + 1).isWord("values") &&
                 in.at(close + 2).isOp("("))
            items = split(close + 3, closing(in, close + 2));
        for (qsizetype k = 0; k < items.size() && k < kinds.size(); ++k)
            if (kinds.at(k) == ValueKind::Date)
                dates.append(items.at(k));
    } else if (in.size() > 3 && in.at(0).isWord("update") && in.at(1).isName() &&
               in.at(2).isWord("set")) {
        const QString table = in.at(1).text;
        for (const auto& [b, e] : split(3, depthZero(3, "where")))
            if (e - b > 2 && in.at(b).isName() && in.at(b + 1).isOp("=") &&
                catalog.kindOf(table, in.at(b).text) == ValueKind::Date)
                dates.append({b + 2, e});
    }
    Tokens out;
    qsizetype at = 0;
    for (const auto& [b, e] : dates) {
        out.append(in.mid(at, b - at));
        const bool literal =
            e - b == 1 && (in.at(b).kind == TokKind::Date || in.at(b).kind == TokKind::String ||
                           in.at(b).isWord("null"));
        if (literal)
            out.append(in.mid(b, e - b));
        else
            out << word("CAST") << op("(") << in.mid(b, e - b) << word("AS") << word("timestamp")
                << op(")");
        at = e;
    }
    out.append(in.mid(at));
    return out;
}

// Nulls come first in an ascending order, as on the file (and in Jet); the server puts them
// last unless told.
Tokens serverNullsFirst(const Tokens& in) {
    Tokens out;
    out.reserve(in.size() + 4);
    QList<int> orderDepths; // depths at which an ORDER BY clause is open
    int depth = 0;
    const auto endTerm = [&](qsizetype i) {
        // The term that ends before token i, at an open clause's depth.
        if (orderDepths.isEmpty() || orderDepths.last() != depth || out.isEmpty())
            return;
        if (in.at(i - 1).isWord("first") || in.at(i - 1).isWord("last"))
            return;
        const bool descending = out.last().isWord("desc");
        out << word("NULLS") << word(descending ? "LAST" : "FIRST");
    };
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool clauseEnds =
            t.isWord("limit") || t.isWord("offset") || t.isWord("union") || t.isWord("for");
        if (t.isOp(",") || t.isOp(")") || clauseEnds) {
            endTerm(i);
            if (!orderDepths.isEmpty() && orderDepths.last() == depth && !t.isOp(","))
                orderDepths.removeLast();
        }
        if (t.isOp("("))
            ++depth;
        else if (t.isOp(")"))
            --depth;
        out.append(t);
        if (t.isWord("by") && i > 0 && in.at(i - 1).isWord("order"))
            orderDepths.append(depth);
    }
    if (!in.isEmpty())
        endTerm(in.size());
    return out;
}

// Column types of CREATE TABLE and ALTER TABLE ... ADD COLUMN as the server schema's.
Tokens serverColumnTypes(const Tokens& in) {
    if (in.isEmpty() || !(in.first().isWord("create") || in.first().isWord("alter")))
        return in;
    static const char* const yesNo[] = {"bit", "yesno", "logical", "boolean", nullptr};
    static const char* const counter[] = {"counter", "autoincrement", nullptr};
    static const char* const texts[] = {"text", "longtext", "memo", "varchar", "char", nullptr};
    Tokens out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const Token& t = in.at(i);
        const bool afterName = i > 0 && in.at(i - 1).isName() && !in.at(i - 1).isWord("table") &&
                               !in.at(i - 1).isWord("column") && !in.at(i - 1).isWord("exists") &&
                               !(i >= 2 && in.at(i - 2).isWord("index"));
        if (!afterName || t.kind != TokKind::Ident) {
            out.append(t);
            continue;
        }
        // A length after the type ("text(50)") means nothing to a text of the server's.
        const auto skipLength = [&]() {
            if (i + 1 < in.size() && in.at(i + 1).isOp("("))
                i = closing(in, i + 1);
        };
        if (t.isOneOf(yesNo)) {
            bool constrained = false;
            for (qsizetype j = i + 1; j < in.size() && !in.at(j).isOp(",") && !in.at(j).isOp(")");
                 ++j)
                if (in.at(j).isWord("not") || in.at(j).isWord("default"))
                    constrained = true;
            out << word("yesno");
            if (!constrained)
                out << word("NOT") << word("NULL") << word("DEFAULT") << number(u"0"_s);
        } else if (t.isOneOf(counter)) {
            out << word("integer") << word("GENERATED") << word("BY") << word("DEFAULT")
                << word("AS") << word("IDENTITY") << word("PRIMARY") << word("KEY");
        } else if (t.isWord("long") || t.isWord("int") || t.isWord("integer")) {
            out << word("integer");
        } else if (t.isWord("short") || t.isWord("smallint") || t.isWord("byte")) {
            out << word("smallint");
        } else if (t.isWord("single") || t.isWord("real")) {
            out << word("real");
        } else if (t.isWord("double") || t.isWord("float")) {
            out << word("double") << word("precision");
        } else if (t.isWord("datetime") || t.isWord("date")) {
            out << word("timestamp") << op("(") << number(u"0"_s) << op(")");
        } else if (t.isWord("currency") || t.isWord("money")) {
            out << word("currency");
        } else if (t.isOneOf(texts)) {
            skipLength();
            out << word("text") << word("COLLATE") << word(TextCollation);
        } else {
            out.append(t);
        }
    }
    return out;
}

Tokens serverSubqueryNames(const Tokens& in) {
    static const char* const notNames[] = {"where", "order", "group",   "having", "left",  "right",
                                           "inner", "join",  "on",      "union",  "limit", "cross",
                                           "full",  "outer", "natural", nullptr};
    Tokens out = in;
    int named = 0;
    for (qsizetype i = 1; i + 1 < out.size(); ++i) {
        if (!out.at(i).isOp("(") || !out.at(i + 1).isWord("select") ||
            !(out.at(i - 1).isWord("from") || out.at(i - 1).isWord("join")))
            continue;
        const qsizetype close = closing(out, i);
        const bool hasName =
            close + 1 < out.size() &&
            (out.at(close + 1).isWord("as") || out.at(close + 1).kind == TokKind::QuotedIdent ||
             (out.at(close + 1).kind == TokKind::Ident && !out.at(close + 1).isOneOf(notNames)));
        if (close < out.size() && !hasName)
            out.insert(close + 1,
                       Token{TokKind::Ident, QStringLiteral("subquery_%1").arg(++named)});
    }
    return out;
}

} // namespace tavrel::detail
