// Date and time text as Jet reads it: the literals between "#" signs, and the values its
// date functions take. Jet literals do not depend on the locale: the month comes first and
// month names are English.

#include "data/datefields.h"
#include "data/jet_p.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace tavrel::detail {

namespace {

constexpr int ShortMonthNameLength = 3;

const char* const MonthNames[MonthsPerYear] = {"january",   "february", "march",    "april",
                                               "may",       "june",     "july",     "august",
                                               "september", "october",  "november", "december"};

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

// The date part: three fields, one of them possibly a month name.
QDate readDate(const QString& text) {
    static const QRegularExpression separators(QStringLiteral(R"([\s/\-.,]+)"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    const QStringList f = text.split(separators, Qt::SkipEmptyParts);
    if (f.size() != 3)
        return {};
    int nameAt = -1;
    for (int i = 0; i < f.size(); ++i)
        if (dateFieldValue(f.at(i)) < 0) {
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
        return dateWithMonthName(month, numbers);
    }
    if (f.at(0).size() > 2) // year first: ISO
        return f.at(1).size() > 2 || f.at(2).size() > 2
                   ? QDate()
                   : makeDate(fullYear(f.at(0)), dateFieldValue(f.at(1)), dateFieldValue(f.at(2)));
    if (f.at(1).size() > 2)
        return {};
    return makeDate(fullYear(f.at(2)), dateFieldValue(f.at(0)), dateFieldValue(f.at(1)));
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

bool jetDateToIso(const QString& literal, QString* iso, QString* error) {
    JetDateTime value;
    if (!readJetDateTime(literal, &value)) {
        *error = QStringLiteral("Syntax error in date in query expression '#%1#'.").arg(literal);
        return false;
    }
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
