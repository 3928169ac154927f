#include "assignments/money.h"

#include "text/datetext.h"

#include <cmath>

namespace tavrel {

namespace {
constexpr Money CentsScale = 100;
constexpr Money PerCent = CurrencyScale / CentsScale;
} // namespace

std::optional<Money> moneyFromText(const QString& text) {
    const std::optional<double> number = toNumber(text);
    if (!number || std::fabs(*number) > currencyAmount(LargestCost))
        return std::nullopt;
    return currencyUnits(*number);
}

QString moneyText(Money amount) {
    // Half a cent rounds away from zero, the same way for both signs.
    const Money half = PerCent / 2;
    const Money cents = (amount + (amount < 0 ? -half : half)) / PerCent;
    return currency(double(cents) / double(CentsScale));
}

QString ComputeTotalCost(std::initializer_list<QString> costs) {
    Money total = 0;
    for (const QString& cost : costs) {
        if (const std::optional<Money> amount = moneyFromText(cost))
            total += *amount;
    }
    return moneyText(total);
}

} // namespace tavrel
