// Jet's comparisons over SQLite: texts compared in the program's order (without regard to
// case), yes/no columns whose every non-zero value is true, text orders that an index can
// serve, and key order where a query gives none. The collations of ours appear only in the
// translated text: the files keep a schema that any SQLite tool can read and write.

#include "data/database_p.h"

#include <QMap>

#include <optional>
#include <vector>

namespace tavrel::detail {

namespace {

bool isAnyWord(const Token& t, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (t.isWord(w))
            return true;
    return false;
}

// Words that are not a value of their own, so no collation can follow them.
bool isKeyword(const Token& t) {
    return isAnyWord(t, {"case",   "when",   "then",   "else",  "end",     "not",      "and",
                         "or",     "in",     "is",     "like",  "glob",    "between",  "escape",
                         "exists", "select", "from",   "where", "collate", "distinct", "all",
                         "on",     "as",     "by",     "group", "order",   "having",   "limit",
                         "union",  "set",    "values", "join"});
}

bool isComparison(const Token& t) {
    return t.kind == TokKind::Op &&
           (t.text == QLatin1String("=") || t.text == QLatin1String("==") ||
            t.text == QLatin1String("<>") || t.text == QLatin1String("!=") ||
            t.text == QLatin1String("<") || t.text == QLatin1String(">") ||
            t.text == QLatin1String("<=") || t.text == QLatin1String(">="));
}

bool isEquality(const Token& t) {
    return t.isOp("=") || t.isOp("==") || t.isOp("<>") || t.isOp("!=");
}

// Declared kinds of the columns of the tables a statement names, read from the database.
class ColumnKinds {
public:
    explicit ColumnKinds(ColumnSource source)
        : source_(std::move(source)) {}

    // Adds a table the statement reads under `name` (its alias or its own name); false when
    // there is no such table.
    bool addTable(const QString& table, const QString& name) {
        const QHash<QString, ValueKind>* columns = columnsOf(table);
        if (!columns)
            return false;
        refs_.append({name.toLower(), columns});
        return true;
    }

    // The column's kind when it is a column of one of the tables; an unqualified name is
    // the first table's that has it.
    std::optional<ValueKind> kind(const QString& qualifier, const QString& column) const {
        const QString name = column.toLower();
        for (const auto& [ref, columns] : refs_) {
            if (!qualifier.isEmpty() && ref != qualifier.toLower())
                continue;
            const auto it = columns->constFind(name);
            if (it != columns->constEnd()) {
                if (it.value() == ValueKind::Auto)
                    return std::nullopt;
                return it.value();
            }
        }
        return std::nullopt;
    }

private:
    const QHash<QString, ValueKind>* columnsOf(const QString& table) {
        const QString key = table.toLower();
        auto it = cache_.find(key);
        if (it == cache_.end())
            it = cache_.insert(key, source_(table));
        return it.value().isEmpty() ? nullptr : &it.value();
    }

    ColumnSource source_;
    QHash<QString, QHash<QString, ValueKind>> cache_;
    QList<std::pair<QString, const QHash<QString, ValueKind>*>> refs_;
};

// What one side of a comparison is, as far as collations and yes/no values care.
enum class Side { TextColumn, BoolColumn, OtherColumn, String, Number, Other };

// One side of a comparison: the tokens [begin, end) next to the operator. `alone` is false
// when an operator binds them into a larger expression.
struct Operand {
    bool valid = false;
    qsizetype begin = 0;
    qsizetype end = 0;
    Side side = Side::Other;
    bool alone = false;
    double number = 0;

    // The side as the comparison sees it.
    Side effective() const { return alone ? side : Side::Other; }
    bool isColumnOtherThanText() const {
        const Side s = effective();
        return s == Side::BoolColumn || s == Side::OtherColumn || s == Side::Number;
    }
};

class ComparisonPass {
public:
    ComparisonPass(ColumnSource columns, const Tokens& tokens, const QList<TableRef>& context,
                   const ComparisonStyle& style)
        : t_(tokens)
        , kinds_(std::move(columns))
        , style_(style) {
        matchParentheses();
        for (const TableRef& ref : context)
            kinds_.addTable(ref.table, ref.refName());
        findTables();
    }

    Tokens run() {
        if (t_.isEmpty() || isAnyWord(t_.first(), {"create", "alter", "drop", "pragma"}))
            return t_;
        markSetClause();
        for (qsizetype i = 0; i < t_.size(); ++i) {
            if (i >= setBegin_ && i < setEnd_)
                continue;
            const Token& k = t_.at(i);
            if (isComparison(k))
                comparison(i);
            else if (k.isWord("in"))
                inList(i);
            else if (k.isWord("between"))
                between(i);
            else if (k.isWord("like") && style_.likeRanges)
                likeRange(i);
            else if (style_.yesNoConditions && k.isName())
                yesNoCondition(i);
        }
        if (style_.groupTerms)
            groupTerms();
        return edited();
    }

private:
    void matchParentheses() {
        match_.assign(size_t(t_.size()), -1);
        std::vector<qsizetype> open;
        for (qsizetype i = 0; i < t_.size(); ++i) {
            if (t_.at(i).isOp("(")) {
                open.push_back(i);
            } else if (t_.at(i).isOp(")") && !open.empty()) {
                match_[size_t(i)] = open.back();
                match_[size_t(open.back())] = i;
                open.pop_back();
            }
        }
    }

    // Tables named after FROM, JOIN, UPDATE or INTO (and after "(" or "," in a FROM
    // clause), with their aliases.
    void findTables() {
        bool inFrom = false;
        for (qsizetype i = 0; i < t_.size(); ++i) {
            const Token& k = t_.at(i);
            if (k.kind == TokKind::Ident && isKeyword(k) && !k.isWord("as")) {
                inFrom = k.isWord("from") || k.isWord("join");
                continue;
            }
            if (k.isWord("update") || k.isWord("into")) {
                inFrom = true;
                continue;
            }
            if (!k.isName() || i == 0 || (i + 1 < t_.size() && t_.at(i + 1).isOp(".")))
                continue;
            const Token& before = t_.at(i - 1);
            const bool tablePlace = before.isWord("from") || before.isWord("join") ||
                                    before.isWord("update") || before.isWord("into") ||
                                    (inFrom && (before.isOp("(") || before.isOp(",")));
            if (!tablePlace)
                continue;
            QString alias = k.text;
            if (i + 2 < t_.size() && t_.at(i + 1).isWord("as") && t_.at(i + 2).isName())
                alias = t_.at(i + 2).text;
            else if (i + 1 < t_.size() && t_.at(i + 1).isName() && !isKeyword(t_.at(i + 1)) &&
                     !isAnyWord(t_.at(i + 1), {"left", "right", "inner", "outer", "cross",
                                               "natural", "full", "using", "set", "window"}))
                alias = t_.at(i + 1).text;
            kinds_.addTable(k.text, alias);
        }
    }

    // The assignments of an UPDATE's SET clause are no comparisons.
    void markSetClause() {
        if (!t_.first().isWord("update"))
            return;
        int depth = 0;
        for (qsizetype i = 0; i < t_.size(); ++i) {
            const Token& k = t_.at(i);
            if (k.isOp("("))
                ++depth;
            else if (k.isOp(")"))
                --depth;
            else if (depth == 0 && k.isWord("set") && setBegin_ < 0)
                setBegin_ = i;
            else if (depth == 0 && k.isWord("where") && setBegin_ >= 0) {
                setEnd_ = i;
                return;
            }
        }
        if (setBegin_ >= 0)
            setEnd_ = t_.size();
    }

    Side nameSide(qsizetype begin, qsizetype end) const {
        const bool qualified = end - begin == 3;
        const std::optional<ValueKind> kind =
            kinds_.kind(qualified ? t_.at(begin).text : QString(), t_.at(end - 1).text);
        if (!kind)
            return Side::Other;
        if (*kind == ValueKind::Text)
            return Side::TextColumn;
        if (*kind == ValueKind::Bool)
            return Side::BoolColumn;
        return Side::OtherColumn;
    }

    // A column name, qualified or not, spanning [begin, end).
    bool isColumnName(qsizetype begin, qsizetype end) const {
        if (end - begin == 1)
            return t_.at(begin).isName() && !isKeyword(t_.at(begin));
        return end - begin == 3 && t_.at(begin).isName() && t_.at(begin + 1).isOp(".") &&
               t_.at(begin + 2).isName();
    }

    // The side of a parenthesised group: that of the one name inside, if it holds only one.
    Side groupSide(qsizetype open, qsizetype close) const {
        return isColumnName(open + 1, close) ? nameSide(open + 1, close) : Side::Other;
    }

    // The operand that ends just before token `at`.
    Operand leftOf(qsizetype at) const {
        Operand o;
        const qsizetype j = at - 1;
        if (j < 0)
            return o;
        const Token& k = t_.at(j);
        o.end = at;
        if (k.isOp(")")) {
            const qsizetype open = match_[size_t(j)];
            if (open < 0)
                return o;
            if (open > 0 && t_.at(open - 1).kind == TokKind::Ident && !isKeyword(t_.at(open - 1))) {
                o.begin = open - 1; // a function call
            } else {
                o.begin = open;
                o.side = groupSide(open, j);
            }
        } else if (k.isName()) {
            if (k.kind == TokKind::Ident && isKeyword(k))
                return o;
            o.begin = (j >= 2 && t_.at(j - 1).isOp(".") && t_.at(j - 2).isName()) ? j - 2 : j;
            o.side = nameSide(o.begin, o.end);
        } else if (k.kind == TokKind::String) {
            o.begin = j;
            o.side = Side::String;
        } else if (k.kind == TokKind::Number) {
            o.begin = j;
            o.side = Side::Number;
            o.number = k.text.toDouble();
            // A sign in front of the number, not a subtraction.
            if (j >= 1 && t_.at(j - 1).isOp("-") &&
                (j < 2 || (t_.at(j - 2).kind == TokKind::Op && !t_.at(j - 2).isOp(")")) ||
                 (t_.at(j - 2).kind == TokKind::Ident && isKeyword(t_.at(j - 2))))) {
                o.begin = j - 1;
                o.number = -o.number;
            }
        } else {
            return o;
        }
        const qsizetype before = o.begin - 1;
        if (before >= 0 && t_.at(before).isWord("collate"))
            return o; // a collation of the program's text's own: leave it
        o.alone = before < 0 || t_.at(before).kind != TokKind::Op || t_.at(before).isOp("(") ||
                  t_.at(before).isOp(",");
        o.valid = true;
        return o;
    }

    // The operand that starts just after token `at`.
    Operand rightOf(qsizetype at) const {
        Operand o;
        const qsizetype j = at + 1;
        const qsizetype n = t_.size();
        if (j >= n)
            return o;
        const Token& k = t_.at(j);
        o.begin = j;
        if ((k.isOp("-") || k.isOp("+")) && j + 1 < n && t_.at(j + 1).kind == TokKind::Number) {
            o.end = j + 2;
            o.side = Side::Number;
            o.number = t_.at(j + 1).text.toDouble() * (k.isOp("-") ? -1 : 1);
        } else if (k.isOp("(")) {
            const qsizetype close = match_[size_t(j)];
            if (close < 0)
                return o;
            o.end = close + 1;
            o.side = groupSide(j, close);
        } else if (k.isName()) {
            if (k.kind == TokKind::Ident && isKeyword(k))
                return o;
            if (j + 1 < n && t_.at(j + 1).isOp("(") && k.kind == TokKind::Ident) {
                const qsizetype close = match_[size_t(j + 1)];
                if (close < 0)
                    return o;
                o.end = close + 1; // a function call
            } else {
                o.end =
                    (j + 2 < n && t_.at(j + 1).isOp(".") && t_.at(j + 2).isName()) ? j + 3 : j + 1;
                o.side = nameSide(o.begin, o.end);
            }
        } else if (k.kind == TokKind::String) {
            o.end = j + 1;
            o.side = Side::String;
        } else if (k.kind == TokKind::Number) {
            o.end = j + 1;
            o.side = Side::Number;
            o.number = k.text.toDouble();
        } else {
            return o;
        }
        if (o.end < n && t_.at(o.end).isWord("collate"))
            return o;
        o.alone = o.end >= n || t_.at(o.end).kind != TokKind::Op || t_.at(o.end).isOp(")") ||
                  t_.at(o.end).isOp(",");
        o.valid = true;
        return o;
    }

    // Whether a comparison of these sides compares texts.
    static bool comparesTexts(const Operand& a, const Operand& b) {
        if (a.effective() == Side::TextColumn || b.effective() == Side::TextColumn)
            return true;
        const bool string = a.effective() == Side::String || b.effective() == Side::String;
        return string && !a.isColumnOtherThanText() && !b.isColumnOtherThanText();
    }

    void comparison(qsizetype at) {
        const Operand left = leftOf(at);
        const Operand right = rightOf(at);
        if (!left.valid || !right.valid)
            return;
        if (isEquality(t_.at(at)) && yesNoComparison(at, left, right))
            return;
        if (comparesTexts(left, right))
            collate(left, {right});
    }

    // The collation of a text comparison. The file's SQL gives it to the left operand. Where
    // columns carry the collation themselves (the server), an operand that is no column gets
    // it: the string, which is a text whatever it is compared with, else another expression.
    void collate(const Operand& left, const QList<Operand>& others) {
        if (!style_.columnsCarryCollation) {
            collateAfter_.insert(left.end - 1);
            return;
        }
        QList<Operand> all{left};
        all.append(others);
        bool any = false;
        for (const Operand& o : all)
            if (o.valid && o.effective() == Side::String) {
                collateAfter_.insert(o.end - 1);
                any = true;
            }
        if (any)
            return;
        for (const Operand& o : all)
            if (o.valid && o.effective() != Side::TextColumn && !isColumnName(o.begin, o.end)) {
                collateAfter_.insert(o.end - 1);
                return;
            }
    }

    // A yes/no column alone as a condition ("where completed", "not completed", IIf's
    // first argument) asks whether it is not zero, for a backend that wants a truth value
    // there.
    void yesNoCondition(qsizetype at) {
        if (at > 0 && t_.at(at - 1).isOp("."))
            return;
        const qsizetype end =
            (at + 2 < t_.size() && t_.at(at + 1).isOp(".") && t_.at(at + 2).isName()) ? at + 3
                                                                                      : at + 1;
        if (!isColumnName(at, end) || nameSide(at, end) != Side::BoolColumn)
            return;
        const auto startsCondition = [](const Token& k) {
            return isAnyWord(k, {"where", "and", "or", "not", "on", "having", "when"});
        };
        // The start of the text is a condition's too: a find's criteria are one.
        bool inIif = false;
        if (at > 0 && t_.at(at - 1).isOp("(")) {
            inIif = at >= 2 && t_.at(at - 2).isWord("iif");
            if (at >= 2 && !inIif && !startsCondition(t_.at(at - 2)) && !t_.at(at - 2).isOp("("))
                return;
        } else if (at > 0 && !startsCondition(t_.at(at - 1))) {
            return;
        }
        if (end < t_.size()) {
            const Token& after = t_.at(end);
            const bool ends = after.isOp(")") || (inIif && after.isOp(",")) ||
                              isAnyWord(after, {"and", "or", "then", "order", "group", "having",
                                                "union", "limit"});
            if (!ends)
                return;
        }
        replace_.insert(
            at, {end, Tokens{op("(")} + t_.mid(at, end - at) +
                          Tokens{op("<>"), Token{TokKind::Number, QStringLiteral("0")}, op(")")}});
    }

    // "completed = true" (true is 1 once translated), "= -1" (Jet's true) and "= 2" ask
    // whether the value is not zero, so that every non-zero value reads as true.
    bool yesNoComparison(qsizetype at, const Operand& left, const Operand& right) {
        const bool leftBool = left.effective() == Side::BoolColumn;
        const bool rightBool = right.effective() == Side::BoolColumn;
        const Operand* constant = leftBool ? &right : rightBool ? &left : nullptr;
        if (!constant || constant->effective() != Side::Number || constant->number == 0)
            return false;
        const bool equal = t_.at(at).isOp("=") || t_.at(at).isOp("==");
        replace_.insert(at, {at + 1, {op(equal ? "<>" : "=")}});
        replace_.insert(constant->begin,
                        {constant->end, {Token{TokKind::Number, QStringLiteral("0")}}});
        return true;
    }

    // "x in (...)" and "x not in (...)" compare with the left operand's collation.
    void inList(qsizetype at) {
        const qsizetype leftEnd = at > 0 && t_.at(at - 1).isWord("not") ? at - 1 : at;
        const Operand left = leftOf(leftEnd);
        if (!left.valid || at + 1 >= t_.size() || !t_.at(at + 1).isOp("("))
            return;
        bool text = left.effective() == Side::TextColumn;
        if (!text && !left.isColumnOtherThanText()) {
            const qsizetype close = match_[size_t(at + 1)];
            for (qsizetype i = at + 2; i < close && !text; ++i)
                text = t_.at(i).kind == TokKind::String;
        }
        if (!text)
            return;
        if (!style_.columnsCarryCollation) {
            collateAfter_.insert(left.end - 1);
            return;
        }
        // Each string of the list, which is a text whatever the left operand is.
        const qsizetype close = match_[size_t(at + 1)];
        bool any = false;
        for (qsizetype i = at + 2; i < close; ++i)
            if (t_.at(i).kind == TokKind::String &&
                (t_.at(i - 1).isOp("(") || t_.at(i - 1).isOp(",")) &&
                (t_.at(i + 1).isOp(")") || t_.at(i + 1).isOp(","))) {
                collateAfter_.insert(i);
                any = true;
            }
        if (!any)
            collate(left, {});
    }

    // "x between a and b" is "x >= a and x <= b": the collation goes on x.
    void between(qsizetype at) {
        const qsizetype leftEnd = at > 0 && t_.at(at - 1).isWord("not") ? at - 1 : at;
        const Operand left = leftOf(leftEnd);
        const Operand low = rightOf(at);
        if (!left.valid || !low.valid)
            return;
        Operand high;
        if (low.end < t_.size() && t_.at(low.end).isWord("and"))
            high = rightOf(low.end);
        if (!comparesTexts(left, low) && !(high.valid && comparesTexts(left, high)))
            return;
        // A bound of between takes no collation of its own in every SQL: the left operand
        // does, where a column does not carry it already.
        if (!style_.columnsCarryCollation || left.effective() != Side::TextColumn)
            collateAfter_.insert(left.end - 1);
    }

    // "name like 'Fan*'" on a text column. Our like (letters of every alphabet without case)
    // replaces SQLite's, so SQLite no longer seeks an index for the pattern's literal start;
    // a range on that start in NOCASE order lets it, and changes nothing that matches: every
    // text the pattern matches lies in the range.
    void likeRange(qsizetype at) {
        if (at > 0 && t_.at(at - 1).isWord("not"))
            return;
        const Operand left = leftOf(at);
        const Operand right = rightOf(at);
        if (!left.valid || !right.valid || left.effective() != Side::TextColumn ||
            right.effective() != Side::String || !isColumnName(left.begin, left.end) ||
            (right.end < t_.size() && t_.at(right.end).isWord("escape")))
            return;
        const QString low = likeLiteralStart(t_.at(right.begin).text);
        if (low.isEmpty())
            return;
        QString high = low;
        high.back() = QChar(char16_t(high.back().unicode() + 1));
        const Tokens column = t_.mid(left.begin, left.end - left.begin);
        const auto bound = [&](const char* comparison, const QString& text) {
            return column + Tokens{op(comparison), Token{TokKind::String, text}, word("COLLATE"),
                                   word("NOCASE")};
        };
        Tokens ranged{op("(")};
        ranged += t_.mid(left.begin, right.end - left.begin);
        ranged += Tokens{word("and")} + bound(">=", low) + Tokens{word("and")} + bound("<", high);
        ranged.append(op(")"));
        replace_.insert(left.begin, {right.end, ranged});
    }

    // The start of a like pattern that only texts beginning with it (in NOCASE order) can
    // match, in small letters: up to the first wildcard, and to the first character that
    // other characters fold to as well (every non-ASCII one; s, which long s folds to; k,
    // which the Kelvin sign folds to).
    static QString likeLiteralStart(const QString& pattern) {
        QString start;
        for (const QChar c : pattern) {
            const char16_t u = c.unicode();
            if (u >= 0x80 || u == u'*' || u == u'?' || u == u'#' || u == u'[')
                break;
            const QChar small = c.toLower();
            if (small == u's' || small == u'k')
                break;
            start += small;
        }
        return start;
    }

    // Depth-0 position of the first of `words` at or after `from`, or the end.
    qsizetype findTopLevel(qsizetype from, std::initializer_list<const char*> words) const {
        int depth = 0;
        for (qsizetype i = from; i < t_.size(); ++i) {
            const Token& k = t_.at(i);
            if (k.isOp("("))
                ++depth;
            else if (k.isOp(")"))
                --depth;
            else if (depth == 0 && isAnyWord(k, words))
                return i;
        }
        return t_.size();
    }

    // Splits [begin, end) at its depth-0 commas.
    QList<std::pair<qsizetype, qsizetype>> terms(qsizetype begin, qsizetype end) const {
        QList<std::pair<qsizetype, qsizetype>> out;
        qsizetype start = begin;
        int depth = 0;
        for (qsizetype i = begin; i < end; ++i) {
            const Token& k = t_.at(i);
            if (k.isOp("("))
                ++depth;
            else if (k.isOp(")"))
                --depth;
            else if (depth == 0 && k.isOp(",")) {
                out.append({start, i});
                start = i + 1;
            }
        }
        if (start < end)
            out.append({start, end});
        return out;
    }

    // Whether a grouping term groups texts: a text column or an expression (a constant or
    // another column does not).
    bool groupsTexts(qsizetype begin, qsizetype end) const {
        if (begin >= end)
            return false;
        if (end - begin == 1 &&
            (t_.at(begin).kind == TokKind::Number || t_.at(begin).kind == TokKind::String))
            return false;
        if (end - begin >= 2 && t_.at(end - 2).isWord("collate"))
            return false;
        if (isColumnName(begin, end))
            return nameSide(begin, end) == Side::TextColumn;
        if (t_.at(begin).isOp("(") && match_[size_t(begin)] == end - 1)
            return groupSide(begin, end - 1) == Side::TextColumn ||
                   groupSide(begin, end - 1) == Side::Other;
        return true;
    }

    // Rows that differ only in the case of a text are one group: GROUP BY terms get the
    // comparison collation, and SELECT DISTINCT groups its items so (SQLite's DISTINCT has no
    // collation of its own, and one in the select list would lose the columns' types).
    void groupTerms() {
        if (!t_.first().isWord("select"))
            return;
        const qsizetype groupAt = findTopLevel(1, {"group"});
        if (groupAt < t_.size()) {
            const qsizetype end = findTopLevel(groupAt + 2, {"having", "order", "limit", "union",
                                                             "except", "intersect", "window"});
            for (const auto& [b, e] : terms(groupAt + 2, end))
                if (groupsTexts(b, e))
                    collateAfter_.insert(e - 1);
            return;
        }
        if (t_.size() < 2 || !t_.at(1).isWord("distinct"))
            return;
        const qsizetype fromAt = findTopLevel(2, {"from"});
        if (fromAt >= t_.size() ||
            findTopLevel(fromAt, {"union", "except", "intersect"}) < t_.size())
            return;
        Tokens grouping;
        bool any = false;
        for (auto [b, e] : terms(2, fromAt)) {
            if (e - b >= 3 && t_.at(e - 2).isWord("as"))
                e -= 2;
            if (b >= e)
                return;
            for (qsizetype i = b; i < e; ++i)
                if (t_.at(i).isOp("*") || (isAnyWord(t_.at(i), {"count", "sum", "avg", "min", "max",
                                                                "total", "group_concat"}) &&
                                           i + 1 < e && t_.at(i + 1).isOp("(")))
                    return; // all columns, or aggregates: no rows to group
            if (!grouping.isEmpty())
                grouping.append(op(","));
            grouping.append(t_.mid(b, e - b));
            if (groupsTexts(b, e)) {
                grouping << word("COLLATE") << word(CompareCollation);
                any = true;
            }
        }
        if (!any)
            return;
        const qsizetype at = findTopLevel(fromAt, {"order", "limit"});
        insertBefore_[at] = Tokens{word("GROUP"), word("BY")} + grouping;
    }

    Tokens edited() const {
        Tokens out;
        out.reserve(t_.size() + collateAfter_.size() * 2);
        const Tokens collate{word("COLLATE"), word(style_.collation)};
        for (qsizetype i = 0; i < t_.size();) {
            const auto before = insertBefore_.constFind(i);
            if (before != insertBefore_.constEnd())
                out.append(before.value());
            qsizetype last = i;
            const auto r = replace_.constFind(i);
            if (r != replace_.constEnd()) {
                out.append(r.value().second);
                last = r.value().first - 1;
            } else {
                out.append(t_.at(i));
            }
            if (collateAfter_.contains(last))
                out.append(collate);
            i = last + 1;
        }
        const auto atEnd = insertBefore_.constFind(t_.size());
        if (atEnd != insertBefore_.constEnd())
            out.append(atEnd.value());
        return out;
    }

    const Tokens& t_;
    ColumnKinds kinds_;
    ComparisonStyle style_;
    std::vector<qsizetype> match_; // index of the matching parenthesis, or -1
    qsizetype setBegin_ = -1;
    qsizetype setEnd_ = -1;
    QSet<qsizetype> collateAfter_;                           // COLLATE after these tokens
    QHash<qsizetype, std::pair<qsizetype, Tokens>> replace_; // [begin, end) -> tokens
    QHash<qsizetype, Tokens> insertBefore_;
};

// Splits order terms at their depth-0 commas.
QList<Tokens> splitTerms(const Tokens& list) {
    QList<Tokens> out;
    Tokens term;
    int depth = 0;
    for (const Token& t : list) {
        if (t.isOp("("))
            ++depth;
        else if (t.isOp(")"))
            --depth;
        if (depth == 0 && t.isOp(",")) {
            out.append(term);
            term.clear();
        } else {
            term.append(t);
        }
    }
    if (!term.isEmpty())
        out.append(term);
    return out;
}

// Whether an order term is a text column of the FROM clause, by its declared type.
bool isTextColumn(sqlite3* db, const QString& from, Tokens expr) {
    if (expr.size() >= 3 && expr.first().isOp("(") && expr.last().isOp(")"))
        expr = expr.mid(1, expr.size() - 2); // an alias, substituted
    const bool simple =
        (expr.size() == 1 && expr.first().isName()) ||
        (expr.size() == 3 && expr.at(0).isName() && expr.at(1).isOp(".") && expr.at(2).isName());
    if (!simple)
        return false;
    bool text = false;
    sqlite3_stmt* stmt = nullptr;
    const QString sql = QStringLiteral("SELECT %1 FROM %2").arg(emitSql(expr), from);
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK && stmt)
        text = valueKindFor(sqlite3_column_decltype(stmt, 0)) == ValueKind::Text;
    sqlite3_finalize(stmt);
    return text;
}

} // namespace

Tokens jetComparisons(sqlite3* db, const Tokens& tokens, const QList<TableRef>& context) {
    const auto columns = [db](const QString& table) {
        QHash<QString, ValueKind> kinds;
        sqlite3_stmt* stmt = nullptr;
        const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(table));
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2));
                kinds.insert(text(sqlite3_column_text(stmt, 1)).toLower(),
                             valueKindFor(type && *type ? type : nullptr));
            }
        sqlite3_finalize(stmt);
        return kinds;
    };
    return ComparisonPass(columns, tokens, context, ComparisonStyle{}).run();
}

Tokens jetComparisons(const ColumnSource& columns, const Tokens& tokens,
                      const QList<TableRef>& context, const ComparisonStyle& style) {
    return ComparisonPass(columns, tokens, context, style).run();
}

TextOrder textOrderTerms(sqlite3* db, const QString& from, const Tokens& orderBy) {
    TextOrder order;
    for (Tokens expr : splitTerms(orderBy)) {
        Tokens direction;
        if (!expr.isEmpty() && (expr.last().isWord("asc") || expr.last().isWord("desc")))
            direction.append(expr.takeLast());
        if (!order.exact.isEmpty()) {
            order.exact.append(op(","));
            order.indexed.append(op(","));
            order.reversed.append(op(","));
        }
        order.exact.append(expr);
        order.indexed.append(expr);
        order.reversed.append(expr);
        if (isTextColumn(db, from, expr)) {
            order.exact << word("COLLATE") << word(SortCollation);
            order.indexed << word("COLLATE") << word("NOCASE");
            order.reversed << word("COLLATE") << word("NOCASE");
            order.texts.append(expr);
        }
        order.exact.append(direction);
        order.indexed.append(direction);
        const bool descending = !direction.isEmpty() && direction.first().isWord("desc");
        order.reversed.append(word(descending ? "ASC" : "DESC"));
    }
    return order;
}

Tokens keyOrderTerms(sqlite3* db, const QList<TableRef>& tables, bool* rowidsOnly) {
    Tokens out;
    bool rowids = true;
    for (const TableRef& ref : tables) {
        QMap<int, QString> key; // position in the key -> column
        QString keyType;
        sqlite3_stmt* stmt = nullptr;
        const QString sql = QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(ref.table));
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK)
            while (sqlite3_step(stmt) == SQLITE_ROW)
                if (sqlite3_column_int(stmt, 5) > 0) {
                    key.insert(sqlite3_column_int(stmt, 5), text(sqlite3_column_text(stmt, 1)));
                    keyType = text(sqlite3_column_text(stmt, 2));
                }
        sqlite3_finalize(stmt);
        // Only a key declared INTEGER PRIMARY KEY is the rowid itself.
        if (key.size() != 1 || keyType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) != 0)
            rowids = rowids && key.isEmpty();
        if (key.isEmpty())
            key.insert(1, QString());
        for (const QString& column : std::as_const(key)) {
            if (!out.isEmpty())
                out.append(op(","));
            out << Token{TokKind::QuotedIdent, ref.refName()} << op(".")
                << (column.isEmpty() ? word("rowid") : Token{TokKind::QuotedIdent, column});
        }
    }
    if (rowidsOnly)
        *rowidsOnly = rowids;
    return out;
}

} // namespace tavrel::detail
