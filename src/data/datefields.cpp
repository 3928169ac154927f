#include "data/datefields.h"

namespace tavrel {

namespace {

constexpr int MaxFieldDigits = 4;
constexpr int MaxDayNumber = 31;
constexpr int DecimalBase = 10;

} // namespace

int dateFieldValue(const QString& field) {
    if (field.isEmpty() || field.size() > MaxFieldDigits)
        return -1;
    int value = 0;
    for (const QChar c : field) {
        const int d = c.digitValue();
        if (d < 0)
            return -1;
        value = value * DecimalBase + d;
    }
    return value;
}

int fullYear(const QString& field) {
    const int value = dateFieldValue(field);
    if (value < 0 || field.size() > 2)
        return value;
    return value + (value < TwoDigitYearPivot ? CenturyAfter : CenturyBefore);
}

QDate makeDate(int year, int month, int day) {
    if (year < 1 || month < 1 || day < 1)
        return {};
    return QDate(year, month, day);
}

QDate dateWithMonthName(int month, const QStringList& numbers) {
    if (numbers.size() != 2)
        return {};
    const QString& a = numbers.at(0);
    const QString& b = numbers.at(1);
    const int first = dateFieldValue(a);
    if (first < 0 || dateFieldValue(b) < 0)
        return {};
    if (a.size() > 2 || first > MaxDayNumber)
        return b.size() > 2 ? QDate() : makeDate(fullYear(a), month, dateFieldValue(b));
    return makeDate(fullYear(b), month, first);
}

} // namespace tavrel
