#pragma once

#include "custom/reportdefinition.h"

#include <QString>
#include <QVariant>

namespace tavrel {

// The operator codes the find dialog's lists carry as item data.
enum class NumberOperator { Equal = 1, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };
enum class TextOperator { Contains = 1, BeginsWith, EndsWith, Equals };
enum class YesNoValue { True = 1, False = 2 };

// Why a search was not run: the user is told and the dialog stays open.
enum class FindRefusal { None, NotNumeric, NotDate, NoValueSelected };

struct FindCriteria {
    QString criteria;
    FindRefusal refusal = FindRefusal::None;
};

// The catalogue rows the find offers for `table` ("tasks" or "assign"), in id order.
QString findCatalogueSql(const QString& table);

// The value list of a linked field: each row of the linked table as its id and text.
QString linkedValuesSql(const CatalogueField& field);

// The criteria that search `field`: the operator code of the list shown for its type (or the
// id of the value chosen for a linked field, null when none is chosen) and the text typed.
// The typed text goes into the criteria unchanged, so a text the database cannot read is
// refused there, not here.
FindCriteria findCriteria(const CatalogueField& field, int operatorCode, const QString& typed,
                          const QVariant& selectedValue);

// The criteria that find, in the recordset of `table` ("tasks" or "assign"), the row of a
// code field's code: in the assignments the code's own assignment, or the assignments of a
// task's code; in the tasks the code's task, or the task of an assignment's code. `assid`
// and `taskid` are what the code was found to name (a task's code: its task alone).
QString codeFindCriteria(const CatalogueField& field, const QString& table, bool taskCode,
                         qint64 assid, qint64 taskid);

} // namespace tavrel
