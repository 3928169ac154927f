#include "assignments/money.h"

#include "text/datetext.h"

#include <cmath>

namespace tavrel {

namespace {
constexpr Money CentsScale = 100;
constexpr Money PerCent = MoneyScale / CentsScale;
} // namespace

Money moneyFromValue(double value) {
    return qRound64(value * double(MoneyScale));
}

double moneyValue(Money amount) {
    return double(amount) / double(MoneyScale);
}

std::optional<Money> moneyFromText(const QString& text) {
    const std::optional<double> number = toNumber(text);
    if (!number || std::fabs(*number) > moneyValue(LargestCost))
        return std::nullopt;
    return moneyFromValue(*number);
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
