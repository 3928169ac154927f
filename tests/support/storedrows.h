#pragma once

#include "support/tempdatabase.h"

#include <QStringList>

namespace tavrel::test {

// The rows of `fromWhereOrder` ("from ... where ... order by ..."), each as its columns' values
// joined by blanks (null as "-"). Each column is read on its own and the texts are put together
// here: the backends turn dates and numbers into text differently, so SQL must not join them.
// The order must name every row's place, since the columns are read one by one.
inline QStringList storedRows(const TempDatabase& db, const QStringList& columns,
                              const QString& fromWhereOrder) {
    QStringList rows;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const QVariantList values =
            db.column(QStringLiteral("select ") + columns[c] + u' ' + fromWhereOrder);
        if (c == 0)
            rows.resize(values.size());
        if (values.size() != rows.size())
            return {QStringLiteral("(the rows changed while their columns were read)")};
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (c > 0)
                rows[i] += u' ';
            rows[i] += values[i].isNull() ? QStringLiteral("-") : values[i].toString();
        }
    }
    return rows;
}

} // namespace tavrel::test
