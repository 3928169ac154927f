#include "text/singlenumber.h"

#include "text/datetext.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace tavrel {

namespace {

// The single a double is stored as; beyond the range of singles it is infinite.
float asSingle(double value) {
    return static_cast<float>(value);
}

// The C-locale scientific text ("d.ddde+XX") with the fewest significant digits that reads
// back as `value`: as the same single when `single`, else as the same double.
QString shortestScientific(double value, bool single) {
    const int most = single ? std::numeric_limits<float>::max_digits10
                            : std::numeric_limits<double>::max_digits10;
    for (int digits = 1; digits < most; ++digits) {
        const QString text = QString::number(value, 'e', digits - 1);
        const double back = text.toDouble();
        const bool same = single ? asSingle(back) == asSingle(value) : back == value;
        if (same)
            return text;
    }
    return QString::number(value, 'e', most - 1);
}

// "d.ddde+XX" written out in full: "1.234567e+06" -> "1234567", "1e-06" -> "0.000001".
QString fullDigits(const QString& scientific) {
    const bool negative = scientific.startsWith(QLatin1Char('-'));
    const qsizetype exponentAt = scientific.indexOf(QLatin1Char('e'));
    const qsizetype start = negative ? 1 : 0;
    QString digits = scientific.mid(start, exponentAt - start);
    digits.remove(QLatin1Char('.'));
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    const qsizetype whole = scientific.mid(exponentAt + 1).toInt() + 1; // digits before the point
    QString text;
    if (whole <= 0)
        text = QStringLiteral("0.") + QString(-whole, QLatin1Char('0')) + digits;
    else if (whole >= digits.size())
        text = digits + QString(whole - digits.size(), QLatin1Char('0'));
    else
        text = digits.left(whole) + QLatin1Char('.') + digits.mid(whole);
    return negative ? QLatin1Char('-') + text : text;
}

} // namespace

std::optional<float> singleFromText(const QString& text) {
    const std::optional<double> number = toNumber(text);
    if (!number)
        return std::nullopt;
    return singleFromNumber(*number);
}

std::optional<float> singleFromNumber(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    if (value == 0)
        return 0.0f; // also -0: shown and stored as 0
    const float single = asSingle(value);
    if (std::isinf(single))
        return std::nullopt; // beyond the range of the column
    // Shown again, the stored single must read as the number typed: this refuses the digits
    // a single cannot keep, and numbers too small for it, which lose all of them.
    if (shortestScientific(single, true).toDouble() != value)
        return std::nullopt;
    return single;
}

QString numberText(double value) {
    if (!std::isfinite(value))
        return QLocale().toString(value); // only another program stores these
    if (value == 0)
        return localDigits(QStringLiteral("0"));
    const bool single = static_cast<double>(asSingle(value)) == value;
    return localDigits(fullDigits(shortestScientific(value, single)));
}

} // namespace tavrel
