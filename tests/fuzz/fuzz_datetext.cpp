// libFuzzer harness: date, number and money text in several locales. The first byte picks
// the locale, the next eight give a date and an amount, and the whole input (after the
// first byte) is also read as typed text.
//
// Besides crashes and sanitizer reports, the harness aborts when
// - the program's own texts do not read back: a short date, MakeDateString's text, a money
//   text and a number in the locale's digits;
// - a typed text read as a date is not a valid date, or the date's own text reads back as
//   another one; IsDate/IsNumeric disagree with toDate/toNumber;
// - a Jet date literal of a date does not translate to that date.

#include "data/sqldialect.h"
#include "text/datetext.h"

#include <QCoreApplication>
#include <QDate>
#include <QLocale>

#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace tavrel;

namespace {

// Locales with the date orders, separators, digits, literal suffixes and money formats the
// program meets.
const char* const locales[] = {"en_US", "en_GB", "de_DE",  "fr_FR", "nl_NL", "sv_SE", "hu_HU",
                               "lt_LT", "ru_RU", "tr_TR",  "ja_JP", "zh_CN", "ko_KR", "hi_IN",
                               "he_IL", "pt_BR", "de_CH",  "bg_BG", "ar_EG", "fa_IR", "mr_IN",
                               "bn_BD", "ne_NP", "ccp_BD", "C"};
constexpr int LocaleCount = int(std::size(locales));

// Dates from 1 January 100 to the last day of 9999 (years are read with up to four digits).
const qint64 FirstDay = QDate(100, 1, 1).toJulianDay();
const qint64 DayRange = QDate(9999, 12, 31).toJulianDay() - FirstDay + 1;
// Amounts up to ten thousand million, in cents (money keeps two decimals on screen).
constexpr qint64 CentRange = 1000000000000LL;
constexpr double HalfCent = 0.005;

[[noreturn]] void violated(const char* property, const char* locale, const QString& detail) {
    std::fprintf(stderr, "PROPERTY VIOLATED (%s): %s\n%s\n", locale, property,
                 detail.toUtf8().constData());
    std::abort();
}

quint64 bytesValue(const uint8_t* data, size_t size, size_t from, size_t count) {
    quint64 v = 0;
    for (size_t i = from; i < from + count; ++i)
        v = (v << 8) | (i < size ? data[i] : 0);
    return v;
}

void checkOwnDate(const char* locale, const QDate& date) {
    const QString shown = shortDate(date);
    if (toDate(shown) != date)
        violated("a short date does not read back", locale,
                 date.toString(Qt::ISODate) + QStringLiteral(" shown as ") + shown);
    const QString made = MakeDateString(date.month(), date.day(), date.year());
    if (toDate(made) != date)
        violated("MakeDateString's text does not read back", locale,
                 date.toString(Qt::ISODate) + QStringLiteral(" made as ") + made);
    if (date.year() >= 100) {
        QString error;
        const QString sql = translateSql(QStringLiteral("d = #%1#").arg(jetDate(date)), &error);
        if (sql != QStringLiteral("d = '%1'").arg(date.toString(Qt::ISODate)))
            violated("a Jet date literal does not translate to its date", locale,
                     jetDate(date) + QStringLiteral(" -> ") + sql + error);
    }
}

void checkOwnAmount(const char* locale, qint64 cents) {
    const double amount = double(cents) / 100.0;
    const QString money = currency(amount);
    const std::optional<double> back = parseCurrency(money);
    if (!back || std::fabs(*back - amount) > HalfCent)
        violated("a money text does not read back", locale,
                 QString::number(amount, 'f', 2) + QStringLiteral(" shown as ") + money);
    const std::optional<double> asNumber = toNumber(money);
    if (!asNumber || std::fabs(*asNumber - amount) > HalfCent)
        violated("a money text is not read as its number", locale, money);
    const QString number = QLocale().toString(amount, 'f', 2);
    const std::optional<double> read = toNumber(number);
    if (!read || std::fabs(*read - amount) > HalfCent)
        violated("a number in the locale's digits does not read back", locale, number);
}

void checkTypedText(const char* locale, const QString& text) {
    const std::optional<QDate> date = toDate(text);
    if (IsDate(text) != date.has_value())
        violated("IsDate disagrees with toDate", locale, text);
    if (date) {
        if (!date->isValid())
            violated("a typed text reads as an invalid date", locale, text);
        if (toDate(shortDate(*date)) != *date)
            violated("a date read from typed text does not read back", locale, text);
    }
    const std::optional<double> number = toNumber(text);
    if (IsNumeric(text) != number.has_value())
        violated("IsNumeric disagrees with toNumber", locale, text);
    if (number && !std::isfinite(*number))
        violated("a typed text reads as a number that is not finite", locale, text);
    const std::optional<double> money = parseCurrency(text);
    if (money && !std::isfinite(*money))
        violated("a typed text reads as money that is not finite", locale, text);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const char* locale = locales[data[0] % LocaleCount];
    QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
    ChkDateFmt();

    constexpr size_t DateBytes = 3;
    constexpr size_t AmountBytes = 5;
    const QDate date =
        QDate::fromJulianDay(FirstDay + qint64(bytesValue(data, size, 1, DateBytes) % DayRange));
    checkOwnDate(locale, date);
    const qint64 cents = qint64(bytesValue(data, size, 1 + DateBytes, AmountBytes) % CentRange);
    checkOwnAmount(locale, (data[0] & 0x80) ? -cents : cents);

    checkTypedText(locale,
                   QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1));
    return 0;
}
