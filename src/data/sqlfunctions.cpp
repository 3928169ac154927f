// What every connection of the program registers with SQLite: Jet's like with its
// wildcards, and the collations that give texts the program's order and comparisons.

#include "data/database_p.h"
#include "data/jet_p.h"
#include "data/textorder.h"

#include <utility>
#include <vector>

namespace tavrel::detail {

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

// The collation of sorts ("jet") and of comparisons ("jetcompare") are one and the same
// order, so that = and DISTINCT treat as equal exactly the texts a sort ties (which it then
// orders by its next term), and a range of < and > holds exactly the rows that sort between
// its bounds.
int jetCollate(void*, int n1, const void* p1, int n2, const void* p2) {
    return compareTextUtf8(static_cast<const char*>(p1), n1, static_cast<const char*>(p2), n2);
}

} // namespace

bool likeMatches(const QString& value, const QString& pattern) {
    return matchLike(foldedCharacters(value), compileLike(foldedCharacters(pattern)));
}

void registerSqlFunctions(sqlite3* db) {
    sqlite3_create_collation(db, SortCollation, SQLITE_UTF8, nullptr, jetCollate);
    sqlite3_create_collation(db, CompareCollation, SQLITE_UTF8, nullptr, jetCollate);
    // Overriding like() keeps "x like pattern" (and "not like") as written while giving it
    // Jet's wildcards and case-insensitive matching of all letters.
    sqlite3_create_function(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, jetLike,
                            nullptr, nullptr);
    sqlite3_create_function(db, "jetlike", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            jetLikeFunction, nullptr, nullptr);
    registerJetFunctions(db);
}

} // namespace tavrel::detail
