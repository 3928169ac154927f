// The shape of a select statement: its select list, FROM, WHERE and ORDER BY, the tables it
// reads and the aliases it defines, as the recordsets need them.

#include "data/database_p.h"

namespace tavrel::detail {

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
    return t.isOneOf(words);
}

bool isAggregate(const Token& t) {
    static const char* const words[] = {"count", "sum",   "avg",          "min",
                                        "max",   "total", "group_concat", nullptr};
    return t.isOneOf(words);
}

} // namespace

// One piece: a single left-to-right scan of the statement, each clause ending where the next
// begins.
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
            out.append(Token{TokKind::Op, QStringLiteral("(")});
            out.append(it.value());
            out.append(Token{TokKind::Op, QStringLiteral(")")});
        } else {
            out.append(t);
        }
    }
    return out;
}

} // namespace tavrel::detail
