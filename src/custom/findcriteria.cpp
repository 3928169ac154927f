#include "custom/findcriteria.h"

#include "custom/fieldlists.h"
#include "text/datetext.h"

#include <array>

namespace tavrel {

namespace {

const QString LinkSeparator = QStringLiteral(";");
constexpr qint16 OwnColumnEntry = 1;
constexpr qint16 LinkedColumnEntry = 2;

// The comparison of each number or date operator code, from 1 on.
constexpr std::array<const char*, 6> Comparisons = {" = ", " <> ", " < ", " > ", " <= ", " >= "};

QString comparison(int operatorCode) {
    const int index = operatorCode - static_cast<int>(NumberOperator::Equal);
    if (index < 0 || index >= int(Comparisons.size()))
        return QString::fromLatin1(Comparisons.front());
    return QString::fromLatin1(Comparisons[size_t(index)]);
}

QString likePattern(int operatorCode, const QString& typed) {
    const QString any = QStringLiteral("*");
    switch (static_cast<TextOperator>(operatorCode)) {
    case TextOperator::BeginsWith:
        return typed + any;
    case TextOperator::EndsWith:
        return any + typed;
    case TextOperator::Equals:
        return typed;
    case TextOperator::Contains:
        break;
    }
    return any + typed + any;
}

// The column of the searched table that refers to the linked table.
QString ownLinkColumn(const QString& linkField) {
    return linkField.contains(LinkSeparator) ? GetField(linkField, LinkSeparator, OwnColumnEntry)
                                             : linkField;
}

// The linked table's key: the second of exactly two names, else the one shared name.
QString linkedKeyColumn(const QString& linkField) {
    return CountFields(linkField, LinkSeparator) == LinkedColumnEntry
               ? GetField(linkField, LinkSeparator, LinkedColumnEntry)
               : linkField;
}

} // namespace

QString findCatalogueSql(const QString& table) {
    return QStringLiteral("Select * from RptSpec where usewith = '") + table +
           QStringLiteral("' order by specid");
}

QString linkedValuesSql(const CatalogueField& field) {
    QString sql = QStringLiteral("select ") + linkedKeyColumn(field.linkField) +
                  QStringLiteral(" as id, ") + field.fieldName + QStringLiteral(" as descr from ") +
                  field.fileName;
    // A long text cannot be sorted by.
    if (!field.memo)
        sql += QStringLiteral(" order by ") + field.fieldName;
    return sql;
}

FindCriteria findCriteria(const CatalogueField& field, int operatorCode, const QString& typed,
                          const QVariant& selectedValue) {
    FindCriteria result;
    QString& criteria = result.criteria;
    criteria = field.fieldName;
    switch (field.type) {
    case FieldType::Number:
        if (!IsNumeric(typed))
            return {{}, FindRefusal::NotNumeric};
        criteria += comparison(operatorCode) + typed;
        break;
    case FieldType::Date:
        if (!IsDate(typed))
            return {{}, FindRefusal::NotDate};
        criteria += comparison(operatorCode) + QLatin1Char('#') + typed + QLatin1Char('#');
        break;
    case FieldType::YesNo:
        criteria += operatorCode == static_cast<int>(YesNoValue::False) ? QStringLiteral(" = false")
                                                                        : QStringLiteral(" = true");
        break;
    case FieldType::Text:
        if (!field.linkField.isEmpty()) {
            if (selectedValue.isNull())
                return {{}, FindRefusal::NoValueSelected};
            criteria =
                ownLinkColumn(field.linkField) + QStringLiteral(" = ") + selectedValue.toString();
            break;
        }
        criteria +=
            QStringLiteral(" like \"") + likePattern(operatorCode, typed) + QLatin1Char('"');
        break;
    case FieldType::Time:
    case FieldType::Code: // found through the row the code names (codeFindCriteria)
        break;
    }
    return result;
}

QString codeFindCriteria(const CatalogueField& field, const QString& table, bool taskCode,
                         qint64 assid, qint64 taskid) {
    // The field names the key of the table's own rows; an assignment's task is its taskid,
    // named with its table, since the assignments are shown joined to their tasks.
    if (table == QLatin1String("assign") && taskCode)
        return QStringLiteral("assign.taskid = ") + QString::number(taskid);
    const qint64 key = table == QLatin1String("assign") ? assid : taskid;
    return field.fieldName + QStringLiteral(" = ") + QString::number(key);
}

} // namespace tavrel
