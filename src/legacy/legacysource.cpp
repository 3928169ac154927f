#include "legacy/legacysource.h"

#include "data/units.h"

#include <cmath>

namespace tavrel {

namespace {

// The range of days Jet's dates cover (1 January 100 to 31 December 9999).
constexpr double FirstJetDay = -657434.0;
constexpr double LastJetDay = 2958465.0;

} // namespace

std::optional<QDateTime> jetDateTime(double dayNumber) {
    if (!std::isfinite(dayNumber) || dayNumber < FirstJetDay || dayNumber >= LastJetDay + 1)
        return std::nullopt;
    return dateTimeFromSerial(dayNumber, Qt::UTC);
}

QVariant programValue(LegacyType type, const QVariant& stored) {
    if (!stored.isValid() || stored.isNull())
        return {};
    switch (type) {
    case LegacyType::Date: {
        const std::optional<QDateTime> when = jetDateTime(stored.toDouble());
        if (!when)
            return {};
        if (when->time() == QTime(0, 0))
            return when->date();
        return *when;
    }
    case LegacyType::Currency:
        return currencyAmount(stored.toLongLong());
    case LegacyType::Other:
        return {};
    default:
        return stored;
    }
}

} // namespace tavrel
