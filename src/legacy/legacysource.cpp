#include "legacy/legacysource.h"

#include <cmath>

namespace tavrel {

namespace {

// Jet's day zero, and the range of days its dates cover (1 January 100 to 31 December 9999).
const QDate JetDayZero(1899, 12, 30);
constexpr double FirstJetDay = -657434.0;
constexpr double LastJetDay = 2958465.0;
constexpr qint64 SecondsPerDay = 86400;
constexpr double CurrencyScale = 10000.0;

} // namespace

std::optional<QDateTime> jetDateTime(double dayNumber) {
    if (!std::isfinite(dayNumber) || dayNumber < FirstJetDay || dayNumber >= LastJetDay + 1)
        return std::nullopt;
    const double days = std::trunc(dayNumber);
    // The fraction is the time of day whatever the sign of the day: Jet's own reading.
    const qint64 seconds = std::llround(std::fabs(dayNumber - days) * SecondsPerDay);
    // A time that rounds up to midnight is the start of the next day.
    const QDate date = JetDayZero.addDays(qint64(days) + seconds / SecondsPerDay);
    return QDateTime(date, QTime(0, 0).addSecs(int(seconds % SecondsPerDay)), Qt::UTC);
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
        return double(stored.toLongLong()) / CurrencyScale;
    case LegacyType::Other:
        return {};
    default:
        return stored;
    }
}

} // namespace tavrel
