// The program's order of texts, defined once: ICU's root collation at secondary strength.
// Sorts call it for every pair of texts they compare, so texts of plain ASCII (nearly all of
// them) are compared through a table of weights that ICU itself gives at start-up, and only
// the others go to ICU.

#include "data/textorder.h"

#include <QtEndian>

#include <unicode/ucol.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <type_traits>

namespace tavrel {

namespace {

constexpr int AsciiSize = 128;
// What the fast comparison answers when only the collator can decide.
constexpr int NeedsCollator = 2;

template <typename Unit> constexpr bool isAscii(Unit u) {
    return static_cast<std::make_unsigned_t<Unit>>(u) < AsciiSize;
}

struct Collation {
    UCollator* collator = nullptr;
    // The primary weight of each ASCII character in our order, 0 for those the order
    // ignores (most control characters). Root collation has no contractions or expansions
    // among ASCII characters, so comparing texts of ASCII compares these weights in turn;
    // ASCII letters differ from each other only in their primary weights or in case.
    std::array<quint16, AsciiSize> weight{};
    std::array<bool, AsciiSize> nocaseAgrees{};

    Collation() {
        UErrorCode status = U_ZERO_ERROR;
        collator = ucol_open("und", &status);
        if (U_FAILURE(status)) {
            qWarning("The text order of ICU is not available (%s): texts are ordered by their "
                     "characters without regard to case.",
                     u_errorName(status));
            if (collator)
                ucol_close(collator);
            collator = nullptr;
        } else {
            ucol_setStrength(collator, UCOL_SECONDARY);
        }
        weighAscii();
        findNocaseAgreement();
    }
    ~Collation() {
        if (collator)
            ucol_close(collator);
    }
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    int compareSingle(char16_t a, char16_t b) const {
        if (!collator)
            return QStringView(&a, a ? 1 : 0)
                .compare(QStringView(&b, b ? 1 : 0), Qt::CaseInsensitive);
        return ucol_strcoll(collator, &a, a ? 1 : 0, &b, b ? 1 : 0);
    }

    void weighAscii() {
        std::array<char16_t, AsciiSize> chars{};
        std::iota(chars.begin(), chars.end(), char16_t(0));
        std::stable_sort(chars.begin(), chars.end(),
                         [&](char16_t a, char16_t b) { return compareSingle(a, b) < 0; });
        quint16 rank = 0;
        for (int i = 0; i < AsciiSize; ++i) {
            const char16_t c = chars[size_t(i)];
            if (compareSingle(c, 0) == 0)
                continue; // ignored: weight 0
            if (rank == 0 || compareSingle(chars[size_t(i - 1)], c) != 0)
                ++rank;
            weight[c] = rank;
        }
    }

    // SQLite's NOCASE compares bytes with the ASCII capitals made small. Characters on which
    // it agrees with our order, pair by pair, order whole texts alike. Letters, digits and
    // the blank first, then the punctuation that names use most, as long as it agrees.
    void findNocaseAgreement() {
        static constexpr char Preferred[] = " 0123456789abcdefghijklmnopqrstuvwxyz"
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZ-./,#&()':;_+*!\"%$@=<>?"
                                            "[]\\^`{|}~";
        auto nocase = [](int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        for (const char ch : Preferred) {
            const int c = static_cast<unsigned char>(ch);
            if (c == 0 || weight[size_t(c)] == 0)
                continue;
            bool agrees = true;
            for (int other = 0; other < AsciiSize && agrees; ++other)
                if (nocaseAgrees[size_t(other)])
                    agrees = sign(weight[size_t(c)] - weight[size_t(other)]) ==
                             sign(nocase(c) - nocase(other));
            nocaseAgrees[size_t(c)] = agrees;
        }
    }

    // Compares texts of ASCII from position `i` on, where everything before is alike; texts
    // with other characters get NeedsCollator.
    template <typename Unit>
    int fastCompare(const Unit* a, qsizetype na, const Unit* b, qsizetype nb, qsizetype i) const {
        qsizetype j = i;
        for (;;) {
            while (i < na && isAscii(a[i]) && weight[size_t(a[i])] == 0)
                ++i;
            while (j < nb && isAscii(b[j]) && weight[size_t(b[j])] == 0)
                ++j;
            if (i == na || j == nb)
                break;
            if (!isAscii(a[i]) || !isAscii(b[j]))
                return NeedsCollator;
            const int wa = weight[size_t(a[i])];
            const int wb = weight[size_t(b[j])];
            if (wa != wb) {
                // A combining mark after either character could still change it.
                if ((i + 1 < na && !isAscii(a[i + 1])) || (j + 1 < nb && !isAscii(b[j + 1])))
                    return NeedsCollator;
                return wa < wb ? -1 : 1;
            }
            ++i;
            ++j;
        }
        // One text ended: the other is greater when anything the order weighs remains.
        auto remains = [this](const Unit* s, qsizetype k, qsizetype n) {
            for (; k < n; ++k) {
                if (!isAscii(s[k]))
                    return NeedsCollator;
                if (weight[size_t(s[k])] != 0)
                    return 1;
            }
            return 0;
        };
        const int ra = remains(a, i, na);
        const int rb = remains(b, j, nb);
        if (ra == NeedsCollator || rb == NeedsCollator)
            return NeedsCollator;
        return ra - rb;
    }
};

const Collation& collation() {
    static const Collation instance;
    return instance;
}

int sign(int result) {
    return result < 0 ? -1 : result > 0 ? 1 : 0;
}

} // namespace

int compareText(QStringView a, QStringView b) {
    const Collation& c = collation();
    const auto* ua = reinterpret_cast<const char16_t*>(a.utf16());
    const auto* ub = reinterpret_cast<const char16_t*>(b.utf16());
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype same = 0;
    while (same < n && ua[same] == ub[same] && isAscii(ua[same]))
        ++same;
    const int fast = c.fastCompare(ua, a.size(), ub, b.size(), same);
    if (fast != NeedsCollator)
        return fast;
    if (!c.collator)
        return sign(a.compare(b, Qt::CaseInsensitive));
    return ucol_strcoll(c.collator, ua, int32_t(a.size()), ub, int32_t(b.size()));
}

namespace detail {

int compareTextUtf8(const char* a, int na, const char* b, int nb) {
    const Collation& c = collation();
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    // Sorted texts share long beginnings: identical runs of plain ASCII are passed over a
    // word at a time, up to the first byte that differs.
    const int n = std::min(na, nb);
    constexpr int WordBytes = sizeof(quint64);
    constexpr int ByteBits = 8;
    constexpr quint64 HighBits = 0x8080808080808080ULL;
    int same = 0;
    for (; same + WordBytes <= n; same += WordBytes) {
        // Little-endian on every machine, so that the lowest bits are the first byte.
        const quint64 wa = qFromLittleEndian<quint64>(ua + same);
        const quint64 wb = qFromLittleEndian<quint64>(ub + same);
        if (((wa | wb) & HighBits) != 0)
            break;
        if (wa != wb) {
            same += int(qCountTrailingZeroBits(wa ^ wb)) / ByteBits;
            break;
        }
    }
    while (same < n && ua[same] == ub[same] && ua[same] < AsciiSize)
        ++same;
    const int fast = c.fastCompare(ua, na, ub, nb, same);
    if (fast != NeedsCollator)
        return fast;
    if (!c.collator)
        return sign(QString::compare(QString::fromUtf8(a, na), QString::fromUtf8(b, nb),
                                     Qt::CaseInsensitive));
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = ucol_strcollUTF8(c.collator, a, na, b, nb, &status);
    if (U_FAILURE(status)) // not valid UTF-8: ordered by its bytes
        return sign(std::memcmp(a, b, size_t(n)) != 0 ? std::memcmp(a, b, size_t(n)) : na - nb);
    return result;
}

bool nocaseAgrees(unsigned char c) {
    return c < AsciiSize && collation().nocaseAgrees[c];
}

} // namespace detail

} // namespace tavrel
