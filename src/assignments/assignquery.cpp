#include "assignments/assignquery.h"

#include "data/database.h"
#include "text/singlenumber.h"

namespace tavrel {

namespace {

const QString ShowFrom = QStringLiteral("Select * from assign ");
const QString SortFrom =
    QStringLiteral("Select * from assign left join tasks on assign.taskid = tasks.taskid ");
const QString ByDueDate = QStringLiteral(" order by duedate");
const QString ByTaskName = QStringLiteral(" order by taskname");
const QString Uncompleted = QStringLiteral("where not completed");

// One more condition: after "where" when it is the first, after "and" otherwise.
QString andAlso(const QString& condition, const QString& more) {
    return condition + (condition.isEmpty() ? QStringLiteral("where") : QStringLiteral(" and")) +
           more;
}

QString inYear(int year) {
    return QStringLiteral(" Year(duedate) = ") + QString::number(year);
}

// A number of the task as the details write it; nothing for an empty column.
QString partText(const QVariant& value) {
    return value.isNull() ? QString() : numberText(value.toDouble());
}

bool isNonZero(const QVariant& value) {
    return !value.isNull() && value.toDouble() != 0;
}

} // namespace

QString openingAssignSql(int year) {
    const QString y = QString::number(year);
    return QStringLiteral("Select * from assign where duedate >= #1/1/") + y +
           QStringLiteral("# and duedate <= #12/31/") + y +
           QStringLiteral("# and not completed order by duedate");
}

QString showYearSql(YearShown chosen, bool uncompletedOnly, int year) {
    QString condition;
    if (chosen == YearShown::CurrentYearOnly)
        condition = QStringLiteral("where year(duedate) = ") + QString::number(year);
    if (uncompletedOnly)
        condition = andAlso(condition, QStringLiteral(" not completed"));
    return ShowFrom + condition + ByDueDate;
}

QString showCompletionSql(CompletionShown chosen, bool currentYearOnly, int year) {
    QString condition;
    if (chosen == CompletionShown::UncompletedOnly)
        condition = Uncompleted;
    if (currentYearOnly)
        condition = andAlso(condition, inYear(year));
    return ShowFrom + condition + ByDueDate;
}

QString sortSql(AssignOrder chosen, bool uncompletedOnly, bool currentYearOnly, int year) {
    QString condition;
    if (uncompletedOnly)
        condition = Uncompleted;
    if (currentYearOnly)
        condition = andAlso(condition, inYear(year));
    return SortFrom + condition + (chosen == AssignOrder::ScheduledDate ? ByDueDate : ByTaskName);
}

QString taskDetailsText(const Recordset& task) {
    // Qt's text boxes break lines at a line feed alone.
    const QString paragraphEnd = QStringLiteral("\n\n");
    QString text;
    const auto addPart = [&](const char* column, const QString& heading) {
        // The task editor saves an empty box as an empty text: no heading for that either.
        const QString value = task.value(QString::fromLatin1(column)).toString();
        if (!value.isEmpty())
            text += heading + value + paragraphEnd;
    };
    addPart("taskdesc", QStringLiteral("Description: "));
    addPart("tools", QStringLiteral("Tools/Techniques Required: "));
    addPart("results", QStringLiteral("Expected Results: "));
    addPart("besttime", QStringLiteral("Best Time to Complete: "));
    const QVariant hours = task.value(QStringLiteral("reqhour"));
    const QVariant minutes = task.value(QStringLiteral("reqmin"));
    if (isNonZero(hours) || isNonZero(minutes))
        text += QStringLiteral("Time to Complete: ") + partText(hours) +
                QStringLiteral(" Hours, ") + partText(minutes) + QStringLiteral(" Minutes");
    return text;
}

} // namespace tavrel
