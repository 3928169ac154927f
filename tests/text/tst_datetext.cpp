#include "data/database_p.h"
#include "support/tempdatabase.h"
#include "text/datetext.h"

#include <QLocale>
#include <QSet>
#include <QTest>

#include <cmath>

using namespace tavrel;

using namespace Qt::StringLiterals;

namespace {

// Every locale Qt knows, C included.
QList<QLocale> allLocales() {
    return QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                    QLocale::AnyTerritory);
}

// The text with its digits (of any script) written as 0-9.
QString asciiDigits(const QString& text) {
    QString out;
    for (const char32_t c : text.toUcs4()) {
        if (QChar::category(c) == QChar::Number_DecimalDigit)
            out += QChar(u'0' + QChar::digitValue(c));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

// The text with its digits 0-9 written in the locale's own digits, as a user of that locale
// types them.
QString localeDigits(const QString& text, const QLocale& locale) {
    const char32_t zero = locale.zeroDigit().toUcs4().value(0, U'0');
    if (zero == U'0')
        return text;
    QString out;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9') {
            const char32_t digit = zero + char32_t(c.unicode() - u'0');
            out += QString::fromUcs4(&digit, 1);
        } else {
            out += c;
        }
    }
    return out;
}

// The order of day, month and year in a date pattern, from its first d, M and y outside
// quoted text.
QString patternOrder(const QString& pattern) {
    QString order;
    bool quoted = false;
    for (const QChar c : pattern) {
        if (c == u'\'')
            quoted = !quoted;
        const QChar letter = c == u'M' ? QChar(u'm') : c;
        if (!quoted && (c == u'd' || c == u'M' || c == u'y') && !order.contains(letter))
            order += letter;
    }
    return order;
}

// Collects the failures of a walk over all locales, so that one run names every locale
// that fails and shows the first examples, instead of stopping at the first.
class Failures {
public:
    void add(const QLocale& locale, const QString& what) {
        locales_.insert(locale.name());
        if (examples_.size() < MaxExamples)
            examples_ << locale.name() + u": "_s + what;
    }
    bool isEmpty() const { return locales_.isEmpty(); }
    QString summary() const {
        QStringList names(locales_.begin(), locales_.end());
        names.sort();
        return u"%1 locales fail: %2\n%3"_s.arg(names.size())
            .arg(names.join(u' '), examples_.join(u'\n'));
    }

private:
    static constexpr int MaxExamples = 25;
    QSet<QString> locales_;
    QStringList examples_;
};

} // namespace

// Date order detection, date text in both directions, and the program's display formats.
class TestDateText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::useTestLocale(); }
    void init() {
        resetDateFormat();
        test::useTestLocale();
        ChkDateFmt();
    }

    void makeDateString();
    void literalsReadAsTypedDates_data();
    void literalsReadAsTypedDates();
    void mondayOfWeekEveryDay();
    void toDate_data();
    void toDate();
    void numbers_data();
    void numbers();
    void otherFormats();
    void programLocale();
    void everyLocaleDates();
    void everyLocaleNumbers();
};

// Fields in DateOrder, whatever the locale's own order (every locale's reading of them is
// in everyLocaleDates).
void TestDateText::makeDateString() {
    QCOMPARE(MakeDateString(1, 6, 2005), u"1 6 2005"_s);
    DateOrder = u"ydm"_s;
    QCOMPARE(MakeDateString(1, 6, 2005), u"2005 6 1"_s);
}

// Over several years: always a Monday, at most five days back or one day forward, and the
// same Monday for the seven days from a Sunday to the following Saturday.
void TestDateText::mondayOfWeekEveryDay() {
    constexpr int DaysChecked = 3 * 366;
    const QDate start(2003, 12, 28); // a Sunday
    for (int i = 0; i < DaysChecked; ++i) {
        const QDate d = start.addDays(i);
        const QDate m = MondayOfWeek(d);
        QCOMPARE(m.dayOfWeek(), int(Qt::Monday));
        QVERIFY2(d.daysTo(m) >= -5 && d.daysTo(m) <= 1, qPrintable(d.toString(Qt::ISODate)));
        QCOMPARE(m, MondayOfWeek(start.addDays(i - i % 7)));
    }
    QCOMPARE(MondayOfWeek(QDate()), QDate());
}

void TestDateText::toDate_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // null: not a date

    const auto row = [](const char* name, const char* locale, const QString& text,
                        const QDate& expected) {
        QTest::newRow(name) << QString::fromLatin1(locale) << text << expected;
    };
    const QDate jan6(2005, 1, 6);
    const QDate none;
    row("us dashes", "en_US", "1-6-2005", jan6);
    row("us four-digit year below 100", "en_US", "1/6/0099", QDate(99, 1, 6));
    row("us month name", "en_US", "January 6, 2005", jan6);
    row("us day before month name", "en_US", "6 jan 05", jan6);
    row("us with time", "en_US", "1/6/2005 10:30 PM", jan6);
    row("us no leap day", "en_US", "2/29/2005", none);
    row("us day first is refused", "en_US", "13/1/2005", none);
    row("us year 0", "en_US", "1/6/0000", none);
    row("us no year", "en_US", "1/6", none);
    row("us four fields", "en_US", "1/6/2005/1", none);
    row("us five-digit year", "en_US", "1/6/20051", none);
    row("us letters", "en_US", "1/6/2005x", none);
    row("us unknown month", "en_US", "Jinuary 6 2005", none);
    row("us two month names", "en_US", "Jan Feb 2005", none);
    row("gb iso", "en_GB", "2005-01-06", jan6);
    row("de short month name", "de_DE", "6 Jan. 2005", jan6);
    row("de English month name", "de_DE", "6 January 2005", jan6);
    // The literal text of the locale's own date formats is no field; another locale's is.
    row("us with bg suffix", "en_US", u"1/6/2005 г."_s, none);
    row("zh year, month and day", "zh_CN", u"2005年1月6日"_s, jan6);
    row("es words", "es_ES", "6 de enero de 2005", jan6);
    row("ar stray letter", "ar_EG", u"٦/١/٢٠٠٥x"_s, none);
}

void TestDateText::toDate() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    test::useTestLocale(locale.toLatin1().constData());
    ChkDateFmt();
    const std::optional<QDate> date = tavrel::toDate(text);
    QCOMPARE(date.value_or(QDate()), expected);
    QCOMPARE(IsDate(text), expected.isValid());
}

// Money and plain numbers as typed; NaN: refused.
void TestDateText::numbers_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("money");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    const auto row = [](const char* name, const char* locale, bool money, const QString& text,
                        double expected) {
        QTest::newRow(name) << QString::fromLatin1(locale) << money << text << expected;
    };
    const double refused = qQNaN();
    row("money, minus before symbol", "en_US", true, "-$3.00", -3.0);
    row("money, blank after symbol", "en_US", true, "$ 7", 7.0);
    row("money, two signs", "en_US", true, "(-$3.00)", refused);
    row("money, letters", "en_US", true, "$12.50x", refused);
    row("money, symbol only", "en_US", true, "$", refused);
    row("us negative", "en_US", false, " -3 ", -3.0);
    row("us letters", "en_US", false, "12a", refused);
    row("us infinity", "en_US", false, "inf", refused);
    row("us empty", "en_US", false, "", refused);
    // Persian keyboards give Persian or Arabic digits; both are read, with either point.
    row("fa Arabic digits", "fa_IR", false, u"-١٢٣٤٫٥"_s, -1234.5);
    row("fa money typed without marks", "fa_IR", false, u"ریال ۱٬۲۳۴٫۵۶"_s, 1234.56);
}

void TestDateText::numbers() {
    QFETCH(QString, locale);
    QFETCH(bool, money);
    QFETCH(QString, text);
    QFETCH(double, expected);
    test::useTestLocale(locale.toLatin1().constData());
    const std::optional<double> read = money ? parseCurrency(text) : toNumber(text);
    QCOMPARE(read.has_value(), !qIsNaN(expected));
    if (!money)
        QCOMPARE(IsNumeric(text), read.has_value());
    if (read)
        QCOMPARE(*read, expected);
}

// The exact texts in en_US (every locale's round trip is in everyLocaleDates and
// everyLocaleNumbers): a four-digit year always, money with two decimals.
void TestDateText::otherFormats() {
    QCOMPARE(shortDate(QDate(99, 1, 6)), u"1/6/0099"_s);
    QCOMPARE(shortDate(QDate()), QString());
    QCOMPARE(currency(-3.0), u"($3.00)"_s);
    QCOMPARE(currency(1234.567), u"$1,234.57"_s);
    QCOMPARE(mediumTime(QTime(15, 4)), u"3:04 PM"_s);
    QCOMPARE(generalDate(QDateTime(QDate(2005, 1, 6), QTime(15, 4, 5))), u"1/6/2005 3:04:05 PM"_s);
    QCOMPARE(generalDate(QDateTime(QDate(2005, 1, 6), QTime(0, 0))), u"1/6/2005"_s);
    QCOMPARE(jetDate(QDate(2005, 1, 6)), u"01/06/05"_s);
    QCOMPARE(jetDate(QDate(2029, 12, 31)), u"12/31/29"_s);
    QCOMPARE(jetDate(QDate(2030, 1, 7)), u"01/07/2030"_s);
    QCOMPARE(jetDate(QDate(1929, 1, 7)), u"01/07/1929"_s);

    test::useTestLocale("de_DE");
    ChkDateFmt();
    QCOMPARE(shortDate(QDate(2005, 1, 6)), u"06.01.2005"_s);
    QCOMPARE(generalDate(QDateTime(QDate(2005, 1, 6), QTime(15, 4, 5))), u"06.01.2005 15:04:05"_s);
    QCOMPARE(jetDate(QDate(2005, 1, 6)), u"01/06/05"_s);
}

// Under the bare C locale the program speaks en_US; a real system locale is left alone.
void TestDateText::programLocale() {
    QLocale::setDefault(QLocale::c());
    useProgramLocale();
    if (QLocale::system().language() == QLocale::C)
        QCOMPARE(QLocale().name(), u"en_US"_s);
    else
        QCOMPARE(QLocale().name(), QLocale::c().name());
}

// In every locale Qt knows, the program reads back the dates it writes: the short date as
// shown, the same text in 0-9, MakeDateString's text, and dates typed in the locale's own
// digits or with a two-digit year; and ChkDateFmt finds the short date's order.
void TestDateText::everyLocaleDates() {
    // Dates that stress the reading (the Gregorian years from 1753, the two-digit-year
    // pivot, leap days, the last day there is), then a spread over the whole range, shifted
    // for each locale so that the walk as a whole meets many different dates.
    const QList<QDate> fixedDates{QDate(1753, 1, 1), QDate(1899, 12, 31), QDate(1929, 12, 31),
                                  QDate(1930, 1, 1), QDate(1998, 5, 30),  QDate(1999, 12, 31),
                                  QDate(2000, 1, 1), QDate(2000, 2, 29),  QDate(2004, 2, 29),
                                  QDate(2005, 1, 6), QDate(2012, 12, 12), QDate(2029, 12, 31),
                                  QDate(2030, 1, 1), QDate(2100, 3, 1),   QDate(9999, 12, 31)};
    constexpr int SpreadDates = 240;
    const qint64 first = QDate(1753, 1, 1).toJulianDay();
    const qint64 range = QDate(9999, 12, 31).toJulianDay() - first + 1;
    const qint64 step = range / SpreadDates;
    constexpr qint64 ShiftPerLocale = 7919; // a prime, so shifts do not repeat soon

    const QStringList orders{u"mdy"_s, u"dmy"_s, u"ymd"_s};
    const QStringList separators{u"/"_s, u"."_s, u" "_s, u"-"_s};
    Failures failures;
    int localeIndex = 0;
    for (const QLocale& locale : allLocales()) {
        QLocale::setDefault(locale);
        DateOrder = u"???"_s;
        DateSeparator = u"?"_s;
        ChkDateFmt();
        const QString expectedOrder = patternOrder(locale.dateFormat(QLocale::ShortFormat));
        if (DateOrder != expectedOrder || !separators.contains(DateSeparator)) {
            failures.add(locale,
                         u"ChkDateFmt gives \"%1\" and \"%2\" for %3"_s.arg(
                             DateOrder, DateSeparator, locale.dateFormat(QLocale::ShortFormat)));
            ++localeIndex;
            continue;
        }
        QList<QDate> dates = fixedDates;
        const qint64 shift = (localeIndex * ShiftPerLocale) % step;
        for (int i = 0; i < SpreadDates; ++i)
            dates << QDate::fromJulianDay(first + (i * step + shift) % range);
        ++localeIndex;

        const auto check = [&](const QString& text, const QDate& date, const char* what) {
            const std::optional<QDate> read = tavrel::toDate(text);
            if (read != date)
                failures.add(locale, u"%1 \"%2\" reads as %3, not %4"_s.arg(
                                         QLatin1String(what), text,
                                         read ? read->toString(Qt::ISODate) : u"no date"_s,
                                         date.toString(Qt::ISODate)));
        };
        for (const QDate& date : dates) {
            const QString shown = tavrel::shortDate(date);
            check(shown, date, "short date");
            const QString plain = asciiDigits(shown);
            if (plain != shown)
                check(plain, date, "short date in 0-9");
            const QString made = MakeDateString(date.month(), date.day(), date.year());
            check(made, date, "MakeDateString");
            const QString typed = localeDigits(made, locale);
            if (typed != made)
                check(typed, date, "typed in the locale's digits");
            // Two digits stand for the years 1930 to 2029.
            if (date.year() >= 1930 && date.year() <= 2029) {
                const QString twoDigits = u"%1"_s.arg(date.year() % 100, 2, 10, QLatin1Char('0'));
                QString shortYear = made;
                shortYear.replace(QString::number(date.year()), twoDigits);
                check(localeDigits(shortYear, locale), date, "two-digit year");
            }
        }
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.summary()));
}

// In every locale Qt knows, the money text the program writes reads back as its amount,
// both as money and as a number, and numbers typed with the locale's digits and separators
// (or with 0-9 and them) are read.
void TestDateText::everyLocaleNumbers() {
    const double amounts[] = {0.0,      0.5,        12.5,        -3.0,           1234.56,
                              -1234.56, 1234567.89, -9876543.21, 10000000000.01, -0.07};
    Failures failures;
    for (const QLocale& locale : allLocales()) {
        QLocale::setDefault(locale);
        const auto check = [&](const QString& text, double amount, bool asMoney, const char* what) {
            const std::optional<double> read =
                asMoney ? tavrel::parseCurrency(text) : tavrel::toNumber(text);
            if (!read || std::fabs(*read - amount) > 0.001)
                failures.add(locale, u"%1 \"%2\" reads as %3, not %4"_s.arg(
                                         QLatin1String(what), text,
                                         read ? QString::number(*read, 'f', 2) : u"nothing"_s,
                                         QString::number(amount, 'f', 2)));
        };
        QLocale ungrouped = locale;
        ungrouped.setNumberOptions(QLocale::OmitGroupSeparator);
        for (const double amount : amounts) {
            const QString money = tavrel::currency(amount);
            check(money, amount, true, "money");
            check(money, amount, false, "money as a number");
            const QString number = locale.toString(amount, 'f', 2);
            check(number, amount, false, "number");
            check(asciiDigits(number), amount, false, "number in 0-9");
            check(ungrouped.toString(amount, 'f', 2), amount, false, "number without groups");
            check(localeDigits(QString::number(amount, 'f', 2), locale), amount, false,
                  "locale's digits with a plain point");
        }
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.summary()));
}

void TestDateText::literalsReadAsTypedDates_data() {
    // Texts the program's date reading takes (or refuses) in en_US: between "#" signs in
    // the SQL text the data layer gives the same date.
    QTest::addColumn<QString>("text");
    const char* const texts[] = {"5-Mar-2020", "mar 5, 20",  "2020 Mar 5",       "2020/3/5",
                                 "3.5.2020",   "3/5/20",     "12/31/29",         "1/1/30",
                                 "2/29/2024",  "7/4/1776",   "3/5/2020 2:30 PM", "2/30/2020",
                                 "3/5",        "Foo 5 2020", "1/2/3/4",          "March 32, 2020",
                                 "2020-13-01", "  3/5/2020 "};
    for (const char* t : texts)
        QTest::newRow(t) << QString::fromUtf8(t);
}

void TestDateText::literalsReadAsTypedDates() {
    QFETCH(QString, text);
    QString iso;
    QString error;
    const bool literal = detail::jetDateToIso(text, &iso, &error);
    const std::optional<QDate> typed = tavrel::toDate(text);
    QCOMPARE(literal, typed.has_value());
    if (typed)
        QCOMPARE(iso.left(10), typed->toString(Qt::ISODate));
}

QTEST_GUILESS_MAIN(TestDateText)
#include "tst_datetext.moc"
