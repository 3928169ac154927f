#pragma once

#include "data/units.h"

#include <QString>
#include <QtGlobal>

#include <initializer_list>
#include <optional>

namespace tavrel {

// Amounts of money as the currency columns hold them: fixed point in ten-thousandths, so
// that sums never pick up the errors of binary fractions.
using Money = qint64;

// The largest amount one cost box takes: three of them still add up within the range of
// the currency columns (922,337,203,685,477.5807).
inline constexpr Money LargestCost = Money(300'000'000'000'000) * CurrencyScale;

// The amount a cost box's text holds: a number as typed or money as currency() shows it,
// rounded to ten-thousandths. None when the text is not numeric or beyond LargestCost.
std::optional<Money> moneyFromText(const QString& text);

// The amount in the system's currency format, rounded to whole cents.
QString moneyText(Money amount);

// The total of the costs whose text is numeric, in the currency format; the others count
// as nothing.
QString ComputeTotalCost(std::initializer_list<QString> costs);

} // namespace tavrel
