#pragma once

#include <QString>
#include <QStringView>

namespace tavrel {

// The program's one order of texts, for SQL sorts and comparisons and for every list sorted
// in C++: Unicode's root collation (language-neutral dictionary order) at secondary strength.
// Letters sort with their base letters (Ø with O, Æ as AE, ß as ss), accents are a
// difference after the letters, and case is no difference at all: texts that differ only in
// case compare equal, so a sort orders them by its next term. The server backend names the
// same order as the ICU collation "und-u-ks-level2".
int compareText(QStringView a, QStringView b);

// For std::sort and ordered containers.
struct TextLess {
    bool operator()(QStringView a, QStringView b) const { return compareText(a, b) < 0; }
};

namespace detail {

// The same order on two texts of UTF-8, as the SQLite collation receives them.
int compareTextUtf8(const char* a, int na, const char* b, int nb);

// Whether texts made only of such characters (plain ASCII) are in the same order under
// SQLite's NOCASE as under the program's order, and equal under one exactly when equal
// under the other: then an index on (column COLLATE NOCASE) gives rows in our order.
bool nocaseAgrees(unsigned char c);

} // namespace detail

} // namespace tavrel
