// Date and time text as Jet reads it: the literals between "#" signs, and the values its
// date functions take. Jet literals do not depend on the locale: the month comes first and
// month names are English.

#include "data/jet_p.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace tavrel::detail {

namespace {

// Two-digit years: below this they are 20xx, from it on 19xx.
constexpr int TwoDigitYearPivot = 30;
constexpr int CenturyBefore = 1900;
constexpr int CenturyAfter = 2000;
constexpr int HoursPerHalfDay = 12;
constexpr int MaxFieldDigits = 4;
constexpr int MaxDayNumber = 31;
constexpr int MonthsPerYear = 12;
constexpr int ShortMonthNameLength = 3;
constexpr qint64 SecondsPerDay = 86400;

const char* const MonthNames[MonthsPerYear] = {"january",   "february", "march",    "april",
                                               "may",       "june",     "july",     "august",
                                               "september", "october",  "november", "december"};

// The value of a field of decimal digits (any script), or -1 when it is not one.
int digitsValue(const QString& field) {
    if (field.isEmpty() || field.size() > MaxFieldDigits)
        return -1;
    int value = 0;
    for (const QChar c : field) {
        const int d = c.digitValue();
        if (d < 0)
            return -1;
        value = value * 10 + d;
    }
    return value;
}

// One or two digits follow the two-digit rule; three or four are the year itself.
int fullYear(const QString& field) {
    const int value = digitsValue(field);
    if (value < 0 || field.size() > 2)
        return value;
    return value + (value < TwoDigitYearPivot ? CenturyAfter : CenturyBefore);
}

// An English month name, whole or its first three letters; 0 when it is none.
int monthFromName(const QString& name) {
    const QString lower = name.toLower();
    for (int m = 0; m < MonthsPerYear; ++m) {
        const QString full = QLatin1String(MonthNames[m]);
        if (lower == full || lower == full.left(ShortMonthNameLength))
            return m + 1;
    }
    return 0;
}

QDate makeDate(int year, int month, int day) {
    if (year < 1 || month < 1 || day < 1)
        return {};
    return QDate(year, month, day);
}

// The date part: three fields, one of them possibly a month name.
QDate readDate(const QString& text) {
    static const QRegularExpression separators(QStringLiteral(R"([\s/\-.,]+)"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    const QStringList f = text.split(separators, Qt::SkipEmptyParts);
    if (f.size() != 3)
        return {};
    int nameAt = -1;
    for (int i = 0; i < f.size(); ++i)
        if (digitsValue(f.at(i)) < 0) {
            if (nameAt >= 0)
                return {};
            nameAt = i;
        }
    if (nameAt >= 0) {
        const int month = monthFromName(f.at(nameAt));
        if (month == 0)
            return {};
        QStringList numbers = f;
        numbers.removeAt(nameAt);
        const QString& a = numbers.at(0);
        const QString& b = numbers.at(1);
        const int first = digitsValue(a);
        // The year comes first when it is written with three or four digits or cannot be
        // a day ("2020 Mar 5"); otherwise the day does ("5-Mar-2020", "March 5, 2020").
        if (a.size() > 2 || first > MaxDayNumber)
            return b.size() > 2 ? QDate() : makeDate(fullYear(a), month, digitsValue(b));
        return makeDate(fullYear(b), month, first);
    }
    if (f.at(0).size() > 2) // year first: ISO
        return f.at(1).size() > 2 || f.at(2).size() > 2
                   ? QDate()
                   : makeDate(fullYear(f.at(0)), digitsValue(f.at(1)), digitsValue(f.at(2)));
    if (f.at(1).size() > 2)
        return {};
    return makeDate(fullYear(f.at(2)), digitsValue(f.at(0)), digitsValue(f.at(1)));
}

// A time of day at the end of `text`: "14:30", "2:30:00 PM", "2:30pm", "2 PM". Removes it
// from the text; false when the text ends in something that looks like a time and is not.
bool takeTime(QString* text, QTime* time, bool* found) {
    static const QRegularExpression clock(QStringLiteral(
        R"((?:^|\s)(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*(?:([AaPp])\.?[Mm]?\.?)?$)"));
    static const QRegularExpression hourOnly(
        QStringLiteral(R"((?:^|\s)(\d{1,2})\s*([AaPp])\.?[Mm]\.?$)"));
    *found = false;
    QRegularExpressionMatch m = clock.match(*text);
    int hour = 0, minute = 0, second = 0;
    QString half;
    if (m.hasMatch()) {
        hour = m.captured(1).toInt();
        minute = m.captured(2).toInt();
        second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        half = m.captured(4).toUpper();
    } else {
        m = hourOnly.match(*text);
        if (!m.hasMatch())
            return !text->contains(QLatin1Char(':'));
        hour = m.captured(1).toInt();
        half = m.captured(2).toUpper();
    }
    if (!half.isEmpty()) {
        if (hour < 1 || hour > HoursPerHalfDay)
            return false;
        hour %= HoursPerHalfDay;
        if (half == QLatin1String("P"))
            hour += HoursPerHalfDay;
    }
    *time = QTime(hour, minute, second);
    if (!time->isValid())
        return false;
    text->truncate(m.capturedStart(0));
    *found = true;
    return true;
}

} // namespace

bool readJetDateTime(const QString& literal, JetDateTime* out) {
    *out = JetDateTime();
    QString text = literal.trimmed();
    bool hasTime = false;
    QTime time;
    if (!takeTime(&text, &time, &hasTime))
        return false;
    text = text.trimmed();
    if (text.isEmpty()) {
        if (!hasTime)
            return false;
        out->time = time;
        return true;
    }
    const QDate date = readDate(text);
    if (!date.isValid())
        return false;
    out->date = date;
    if (hasTime)
        out->time = time;
    return true;
}

QString isoStorageText(const JetDateTime& value) {
    const QDate date = value.date.isValid() ? value.date : dayZero();
    if (!value.time.isValid() || value.time == QTime(0, 0))
        return date.toString(Qt::ISODate);
    return date.toString(Qt::ISODate) + QLatin1Char(' ') +
           value.time.toString(QStringLiteral("HH:mm:ss"));
}

bool jetDateToIso(const QString& literal, QString* iso) {
    JetDateTime value;
    if (!readJetDateTime(literal, &value))
        return false;
    *iso = isoStorageText(value);
    return true;
}

bool dateTimeFromValue(sqlite3_value* value, JetDateTime* out) {
    *out = JetDateTime();
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
        // Jet's date serial: days since day zero, the time of day as the fraction.
        const double serial = sqlite3_value_double(value);
        if (!std::isfinite(serial))
            return false;
        const double days = std::floor(serial);
        const qint64 seconds = std::llround((serial - days) * double(SecondsPerDay));
        out->date = dayZero().addDays(qint64(days));
        out->time = QTime(0, 0).addSecs(int(seconds % SecondsPerDay));
        if (out->time == QTime(0, 0))
            out->time = QTime();
        return out->date.isValid();
    }
    case SQLITE_TEXT: {
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                              sqlite3_value_bytes(value))
                .trimmed();
        // Stored text first: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", or a time alone.
        const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
        if (date.isValid() && text.size() == 10) {
            out->date = date;
            return true;
        }
        if (date.isValid() && text.size() > 10 &&
            (text.at(10) == QLatin1Char(' ') || text.at(10) == QLatin1Char('T'))) {
            const QTime t = QTime::fromString(text.mid(11), Qt::ISODate);
            if (t.isValid()) {
                if (date != dayZero() || t == QTime(0, 0))
                    out->date = date;
                if (t != QTime(0, 0))
                    out->time = t; // on day zero: a time alone
                return true;
            }
        }
        JetDateTime read;
        if (!readJetDateTime(text, &read))
            return false;
        if (read.date == dayZero() && read.time.isValid())
            read.date = QDate();
        *out = read;
        return true;
    }
    default:
        return false;
    }
}

} // namespace tavrel::detail
