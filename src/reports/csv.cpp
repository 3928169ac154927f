#include "reports/csv.h"

namespace tavrel {

namespace {

constexpr int MoneyDecimals = 2;
constexpr int NumberDigits = 15; // all a double holds exactly

} // namespace

QString csvField(const QString& text) {
    static const QString special = QStringLiteral(",\"\r\n");
    bool quoted = false;
    for (const QChar c : text)
        if (special.contains(c)) {
            quoted = true;
            break;
        }
    if (!quoted)
        return text;
    QString field = text;
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString csvLine(const QStringList& fields) {
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += csvField(fields.at(i));
    }
    return line;
}

QString csvValue(const Cell& cell) {
    if (cell.value.isNull())
        return cell.text;
    switch (cell.kind) {
    case CellKind::Text:
        return cell.text;
    case CellKind::Number:
        return QString::number(cell.value.toDouble(), 'g', NumberDigits);
    case CellKind::Money:
        return QString::number(cell.value.toDouble(), 'f', MoneyDecimals);
    case CellKind::Date:
        return cell.value.toDate().toString(Qt::ISODate);
    case CellKind::Time:
        return cell.value.toTime().toString(QStringLiteral("HH:mm"));
    }
    return cell.text;
}

} // namespace tavrel
