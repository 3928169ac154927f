// Value conversion between the program's QVariants and SQLite's storage classes, by the
// kind of value a column's declared type asks for.

#include "data/database_p.h"
#include "data/jet_p.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <limits>

namespace tavrel::detail {

ValueKind valueKindFor(const char* declType) {
    if (!declType)
        return ValueKind::Auto;
    QString t = QString::fromUtf8(declType).toUpper();
    const qsizetype paren = t.indexOf(QLatin1Char('('));
    if (paren >= 0)
        t.truncate(paren);
    t = t.trimmed();
    if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME")))
        return ValueKind::Date;
    if (t == QLatin1String("BIT") || t == QLatin1String("BOOLEAN") || t == QLatin1String("BOOL") ||
        t == QLatin1String("YESNO") || t == QLatin1String("LOGICAL"))
        return ValueKind::Bool;
    if (t == QLatin1String("CURRENCY") || t == QLatin1String("MONEY"))
        return ValueKind::Currency;
    if (t == QLatin1String("SINGLE") || t == QLatin1String("DOUBLE") ||
        t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t == QLatin1String("NUMERIC") || t == QLatin1String("DECIMAL"))
        return ValueKind::Double;
    if (t == QLatin1String("LONG") || t == QLatin1String("SHORT") ||
        t.contains(QLatin1String("INT")) || t == QLatin1String("COUNTER") ||
        t == QLatin1String("BYTE"))
        return ValueKind::Integer;
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CHAR")) ||
        t == QLatin1String("MEMO") || t.contains(QLatin1String("CLOB")) ||
        t == QLatin1String("STRING"))
        return ValueKind::Text;
    return ValueKind::Auto;
}

namespace {

QVariant integerVariant(sqlite3_int64 v) {
    if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max())
        return QVariant(int(v));
    return QVariant(qlonglong(v));
}

QVariant byStorage(const PlainValue& v) {
    switch (v.type) {
    case SQLITE_INTEGER:
        return integerVariant(v.integer);
    case SQLITE_FLOAT:
        return v.real;
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_BLOB:
        return QByteArray(v.bytes, v.size);
    default:
        return QString::fromUtf8(v.bytes, v.size);
    }
}

// A date stored as dates are written, "yyyy-MM-dd" and nothing else, read without building
// a string: walks read one per row. Anything else (or no such day) gives an invalid date.
QDate plainIsoDate(const char* bytes, int size) {
    constexpr int IsoDateLength = 10;
    constexpr int DecimalBase = 10;
    struct Digits {
        int begin;
        int end; // where the separator after them is
    };
    constexpr Digits Year{0, 4};
    constexpr Digits Month{5, 7};
    constexpr Digits Day{8, 10};
    if (size != IsoDateLength || bytes[Year.end] != '-' || bytes[Month.end] != '-')
        return {};
    int parts[] = {0, 0, 0};
    int part = 0;
    for (const Digits& digits : {Year, Month, Day}) {
        for (int i = digits.begin; i < digits.end; ++i) {
            if (bytes[i] < '0' || bytes[i] > '9')
                return {};
            parts[part] = parts[part] * DecimalBase + (bytes[i] - '0');
        }
        ++part;
    }
    return QDate(parts[0], parts[1], parts[2]);
}

QVariant dateFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid())
            return d;
    }
    if (t.size() > 10) {
        QDateTime dt = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!dt.isValid())
            dt = QDateTime::fromString(t, Qt::ISODate);
        if (dt.isValid() && dt.date() == dayZero() && dt.time() != QTime(0, 0))
            return dt.time(); // a time alone, on Jet's day zero
        if (dt.isValid())
            return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(dt);
    }
    const QTime tm = QTime::fromString(t, QStringLiteral("HH:mm:ss"));
    if (tm.isValid())
        return tm;
    return text;
}

} // namespace

namespace {

// The number the `count` digits of `text` from `at` on write; -1 when one is no digit.
int digitsAt(QStringView text, qsizetype at, int count) {
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// A value a date column holds as the databases write it ("yyyy-MM-dd", or with
// " HH:mm:ss" after it), read without the general pattern: a walk reads one a row. False
// for any other text.
bool readCommonDateForm(QStringView t, QVariant* out) {
    const bool withTime = t.size() == 19;
    if ((t.size() != 10 && !withTime) || t[4] != u'-' || t[7] != u'-')
        return false;
    if (withTime && (t[10] != u' ' || t[13] != u':' || t[16] != u':'))
        return false;
    const int year = digitsAt(t, 0, 4);
    const int month = digitsAt(t, 5, 2);
    const int day = digitsAt(t, 8, 2);
    const int hour = withTime ? digitsAt(t, 11, 2) : 0;
    const int minute = withTime ? digitsAt(t, 14, 2) : 0;
    const int second = withTime ? digitsAt(t, 17, 2) : 0;
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return false;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return false;
    *out = time == QTime(0, 0) ? QVariant(date) : QVariant(QDateTime(date, time));
    return true;
}

} // namespace

bool dateFromIsoText(const QString& text, QVariant* out) {
    if (readCommonDateForm(text, out))
        return true;
    // yyyy-MM-dd, then an optional time: after a blank or "T", or alone.
    static const QRegularExpression iso(QStringLiteral("^(?:([0-9]{4})-([0-9]{2})-([0-9]{2}))?"
                                                       "(?:(?:^|[ T])([0-9]{2}):([0-9]{2})"
                                                       "(?::([0-9]{2}))?)?$"));
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = iso.match(t);
    if (t.isEmpty() || !m.hasMatch())
        return false;
    const bool hasDate = m.capturedLength(1) > 0;
    const bool hasTime = m.capturedLength(4) > 0;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if ((hasDate && !date.isValid()) || (hasTime && !time.isValid()))
        return false;
    if (!hasDate)
        *out = time;
    else if (!hasTime || time == QTime(0, 0))
        *out = date;
    else
        *out = QDateTime(date, time);
    return true;
}

QVariant readPlain(const PlainValue& v, ValueKind kind) {
    const int type = v.type;
    if (type == SQLITE_NULL)
        return QVariant();
    switch (kind) {
    case ValueKind::Integer:
        if (type == SQLITE_INTEGER)
            return integerVariant(v.integer);
        if (type == SQLITE_FLOAT)
            return integerVariant(sqlite3_int64(std::llround(v.real)));
        break;
    case ValueKind::Double:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return v.real;
        break;
    case ValueKind::Currency:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return roundedCurrency(v.real);
        break;
    case ValueKind::Bool:
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            return v.real != 0;
        break;
    case ValueKind::Date:
        if (type == SQLITE_TEXT) {
            const QDate date = plainIsoDate(v.bytes, v.size);
            return date.isValid() ? QVariant(date)
                                  : dateFromText(QString::fromUtf8(v.bytes, v.size));
        }
        break;
    case ValueKind::Text:
        return QString::fromUtf8(v.bytes, v.size);
    case ValueKind::Auto:
        break;
    }
    return byStorage(v);
}

QVariant readValue(sqlite3_value* v, ValueKind kind) {
    PlainValue plain;
    plain.type = sqlite3_value_type(v);
    switch (plain.type) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        plain.integer = sqlite3_value_int64(v);
        plain.real = double(plain.integer);
        break;
    case SQLITE_FLOAT:
        plain.real = sqlite3_value_double(v);
        break;
    case SQLITE_BLOB:
        plain.bytes = static_cast<const char*>(sqlite3_value_blob(v));
        break;
    default:
        plain.bytes = reinterpret_cast<const char*>(sqlite3_value_text(v));
        break;
    }
    // A number read as text: the text SQLite makes of it.
    if (kind == ValueKind::Text && plain.bytes == nullptr)
        plain.bytes = reinterpret_cast<const char*>(sqlite3_value_text(v));
    if (plain.bytes)
        plain.size = sqlite3_value_bytes(v);
    return readPlain(plain, kind);
}

QVariant readColumn(sqlite3_stmt* stmt, int column, ValueKind kind) {
    return readValue(sqlite3_column_value(stmt, column), kind);
}

int bindValue(sqlite3_stmt* stmt, int index, const QVariant& value, ValueKind kind) {
    if (!value.isValid() || value.isNull()) {
        // A yes/no column is never null in Jet: an empty value is false.
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, 0);
        return sqlite3_bind_null(stmt, index);
    }
    auto bindText = [&](const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        return sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    };
    switch (value.typeId()) {
    case QMetaType::QDate:
        return bindText(value.toDate().toString(Qt::ISODate));
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return bindText(dt.date().toString(Qt::ISODate));
        return bindText(dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    case QMetaType::QTime: // a time alone is a time of day zero, as a time literal is
        return bindText(isoStorageText({QDate(), value.toTime()}));
    case QMetaType::Bool:
        return sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, value.toLongLong() != 0 ? 1 : 0);
        return sqlite3_bind_int64(stmt, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        double d = value.toDouble();
        if (kind == ValueKind::Currency)
            d = roundedCurrency(d);
        if (kind == ValueKind::Integer)
            return sqlite3_bind_int64(stmt, index, std::llround(d));
        if (kind == ValueKind::Bool)
            return sqlite3_bind_int(stmt, index, d != 0 ? 1 : 0);
        return sqlite3_bind_double(stmt, index, d);
    }
    case QMetaType::QByteArray: {
        const QByteArray b = value.toByteArray();
        return sqlite3_bind_blob(stmt, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QString s = value.toString();
        if (kind == ValueKind::Bool) {
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return sqlite3_bind_int(stmt, index, 1);
            if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return sqlite3_bind_int(stmt, index, 0);
        }
        return bindText(s);
    }
    }
}

namespace {

// Whether a value is a number (or a yes/no value, which Jet reads as 0 or -1).
bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// The number a value holds, when it is a finite number or a text that reads as one.
bool numberOf(const QVariant& v, double* out) {
    if (!isNumber(v) && v.typeId() != QMetaType::QString)
        return false;
    bool ok = false;
    *out = v.typeId() == QMetaType::Bool ? (v.toBool() ? 1 : 0) : v.toDouble(&ok);
    return (ok || v.typeId() == QMetaType::Bool) && std::isfinite(*out);
}

} // namespace

// One piece: one case per kind of column, each a few lines.
bool normalise(const QVariant& v, ValueKind kind, QVariant* out) {
    if (!v.isValid() || v.isNull()) {
        *out = kind == ValueKind::Bool ? QVariant(false) : QVariant();
        return true;
    }
    const bool emptyText = v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty();
    double number = 0;
    switch (kind) {
    case ValueKind::Integer:
        if (emptyText) {
            *out = QVariant();
            return true;
        }
        if (!numberOf(v, &number))
            return false;
        {
            const qlonglong i = qRound64(number);
            *out = (i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max())
                       ? QVariant(int(i))
                       : QVariant(i);
        }
        return true;
    case ValueKind::Double:
    case ValueKind::Currency:
        if (emptyText) {
            *out = QVariant();
            return true;
        }
        if (!numberOf(v, &number))
            return false;
        *out = kind == ValueKind::Currency ? roundedCurrency(number) : number;
        return true;
    case ValueKind::Bool:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                s == QLatin1String("-1") || s == QLatin1String("1")) {
                *out = true;
                return true;
            }
            if (s.isEmpty() || s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
                s == QLatin1String("0")) {
                *out = false;
                return true;
            }
            return false;
        }
        if (!numberOf(v, &number))
            return false;
        *out = number != 0;
        return true;
    case ValueKind::Date:
        // A date, a time, an ISO text or nothing; a null QDate is no date.
        switch (v.typeId()) {
        case QMetaType::QDate:
            *out = v.toDate().isValid() ? v : QVariant();
            return true;
        case QMetaType::QDateTime: {
            const QDateTime dt = v.toDateTime();
            *out = !dt.isValid()              ? QVariant()
                   : dt.time() == QTime(0, 0) ? QVariant(dt.date())
                                              : QVariant(dt);
            return true;
        }
        case QMetaType::QTime:
            *out = v.toTime().isValid() ? v : QVariant();
            return true;
        case QMetaType::QString:
            if (emptyText) {
                *out = QVariant();
                return true;
            }
            return dateFromIsoText(v.toString(), out);
        default:
            return false;
        }
    case ValueKind::Text:
        *out = v.toString();
        return true;
    case ValueKind::Auto:
        break;
    }
    *out = v;
    return true;
}

} // namespace tavrel::detail
