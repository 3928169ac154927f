#include "data/units.h"

#include <cmath>

namespace tavrel {

qint64 currencyUnits(double amount) {
    return std::llround(amount * double(CurrencyScale));
}

double currencyAmount(qint64 units) {
    return double(units) / double(CurrencyScale);
}

double roundedCurrency(double amount) {
    // std::round and not a conversion to integer: an amount beyond the column's range still
    // rounds (and is refused later) rather than overflowing here.
    return std::round(amount * double(CurrencyScale)) / double(CurrencyScale);
}

QDateTime dateTimeFromSerial(double serial, Qt::TimeSpec zone) {
    const double days = std::trunc(serial);
    const qint64 seconds = std::llround(std::fabs(serial - days) * double(SecondsPerDay));
    // A time that rounds up to midnight is the start of the next day. The time of day is set
    // as such, never added to midnight, so that a change of daylight saving time that day
    // does not shift it.
    const QDate date = dayZero().addDays(qint64(days) + seconds / SecondsPerDay);
    return QDateTime(date, QTime(0, 0).addSecs(int(seconds % SecondsPerDay)), zone);
}

double serialFromDateTime(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return 0;
    const double days = double(dayZero().daysTo(dateTime.date()));
    const double fraction = dateTime.time().msecsSinceStartOfDay() / 1000.0 / double(SecondsPerDay);
    // Before day zero the fraction counts away from zero, as the serial numbers have it.
    return days < 0 ? days - fraction : days + fraction;
}

} // namespace tavrel
