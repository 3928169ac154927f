#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace tavrel {

// Kinds of column in a file of the earlier program, as far as the conversion cares.
enum class LegacyType { Boolean, Integer, Number, Currency, Date, Text, Other };

struct LegacyColumn {
    QString name;
    LegacyType type = LegacyType::Other;
};

struct LegacyTable {
    QString name;
    QList<LegacyColumn> columns;
};

// Rows of the earlier program's database, as stored: the only way the conversion sees a
// Jet file, so that tests can hand it tables built in memory. Values by column type:
// Boolean bool, Integer qlonglong, Number double, Currency qlonglong in ten-thousandths
// (Jet's fixed point), Date double (Jet's day number: days since 30 December 1899, the
// time of day as the fraction), Text QString; a null QVariant for an empty value; Other
// columns are not read.
class LegacySource {
public:
    virtual ~LegacySource() = default;

    virtual QList<LegacyTable> tables() const = 0;

    using RowFn = std::function<void(const QList<QVariant>& values)>;
    using UnreadableFn = std::function<void(int rowNumber, const QString& why)>;
    // Hands every row of `table` in file order to `row`, one value per column. A row that
    // cannot be read whole goes to `unreadable` (numbered from 1) and reading goes on.
    // False when the table could not be read at all.
    virtual bool readRows(const QString& table, const RowFn& row,
                          const UnreadableFn& unreadable) = 0;
};

// A Jet day number as a date and time, to the second. Before 30 December 1899 the whole
// days count back while the fraction still counts forward from midnight, so -1.25 is
// 29 December 1899, 06:00. Empty outside the years Jet holds (100 to 9999).
std::optional<QDateTime> jetDateTime(double dayNumber);

// The program's value of a stored legacy value: dates as QDate (QDateTime with a time),
// currency as its exact amount, the rest as they are.
QVariant programValue(LegacyType type, const QVariant& stored);

} // namespace tavrel
