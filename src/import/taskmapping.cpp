#include "import/taskmapping.h"

#include "core/textlimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tavrel {

namespace {

// A mapping file is a few lines; anything larger is another file named by mistake.
constexpr qint64 MaxMappingBytes = 1024 * 1024;

} // namespace

const QList<ImportFieldInfo>& importFields() {
    using F = ImportField;
    using K = ImportKind;
    static const QList<ImportFieldInfo> fields = {
        {F::TaskName, QStringLiteral("taskname"), QStringLiteral("Task Name"), K::Line,
         TaskNameLength},
        {F::Manuf, QStringLiteral("manuf"), QStringLiteral("Manufacturer"), K::Line,
         EquipmentTextLength},
        {F::Model, QStringLiteral("model"), QStringLiteral("Model Number"), K::Line,
         EquipmentTextLength},
        {F::SerialNo, QStringLiteral("serialno"), QStringLiteral("Serial Number"), K::Line,
         EquipmentTextLength},
        {F::Location, QStringLiteral("locdesc"), QStringLiteral("Location"), K::Location,
         CodeTextLength},
        {F::Type, QStringLiteral("typdesc"), QStringLiteral("Type"), K::Type, CodeTextLength},
        {F::Tag, QStringLiteral("Tag"), QStringLiteral("Tag Number"), K::Line, TagLength},
        {F::TaskDesc, QStringLiteral("taskdesc"), QStringLiteral("Task Description"), K::Lines, 0},
        {F::Tools, QStringLiteral("tools"), QStringLiteral("Tools/Techniques Required"), K::Lines,
         0},
        {F::Results, QStringLiteral("results"), QStringLiteral("Expected Results"), K::Lines, 0},
        {F::BestTime, QStringLiteral("besttime"), QStringLiteral("Best Time"), K::Line,
         BestTimeLength},
        {F::ReqHour, QStringLiteral("reqhour"), QStringLiteral("Hours"), K::Number, 0},
        {F::ReqMin, QStringLiteral("reqmin"), QStringLiteral("Minutes"), K::Number, 0},
        {F::PurchDate, QStringLiteral("purchdate"), QStringLiteral("Purchase Date"), K::Date, 0},
        {F::WarDate, QStringLiteral("wardate"), QStringLiteral("Warranty Expiration Date"), K::Date,
         0},
        {F::Misc1, QStringLiteral("misc1"), QStringLiteral("Miscellaneous"), K::Line, MiscLength},
    };
    return fields;
}

const ImportFieldInfo& fieldInfo(ImportField field) {
    // The list follows the enumeration, None aside.
    return importFields().at(int(field) - 1);
}

const ImportFieldInfo* fieldNamed(const QString& nameOrLabel) {
    const QString key = headingKey(nameOrLabel);
    for (const ImportFieldInfo& info : importFields())
        if (key == headingKey(info.name) || key == headingKey(info.label))
            return &info;
    return nullptr;
}

QString headingKey(const QString& heading) {
    return heading.simplified().toCaseFolded();
}

ImportField TaskMapping::fieldFor(const QString& heading, bool* has) const {
    const QString key = headingKey(heading);
    for (const auto& [named, field] : entries)
        if (headingKey(named) == key) {
            if (has)
                *has = true;
            return field;
        }
    if (has)
        *has = false;
    return ImportField::None;
}

void TaskMapping::set(const QString& heading, ImportField field) {
    const QString key = headingKey(heading);
    for (auto& entry : entries)
        if (headingKey(entry.first) == key) {
            entry.second = field;
            return;
        }
    entries.append({heading.simplified(), field});
}

TaskMapping parseTaskMapping(const QString& text) {
    TaskMapping mapping;
    QStringList fieldNames;
    for (const ImportFieldInfo& info : importFields())
        fieldNames << info.name;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const int number = int(i) + 1;
        if (line.isEmpty() || line.startsWith(u';') ||
            (line.startsWith(u'[') && line.endsWith(u']')))
            continue;
        // A heading may hold "=" itself; a field's name never does.
        const qsizetype equals = line.lastIndexOf(u'=');
        const QString heading = equals < 0 ? QString() : line.left(equals).trimmed();
        const QString name = line.mid(equals + 1).trimmed();
        QString problem;
        const ImportFieldInfo* info = name.isEmpty() ? nullptr : fieldNamed(name);
        bool known = false;
        if (!heading.isEmpty())
            mapping.fieldFor(heading, &known);
        if (equals < 0)
            problem = QStringLiteral("\"%1\" is no line \"heading = field\"").arg(line);
        else if (heading.isEmpty())
            problem = QStringLiteral("no heading before \"=\"");
        else if (!name.isEmpty() && !info)
            problem = QStringLiteral("%1 is no task field; the fields are %2")
                          .arg(name, fieldNames.join(QLatin1String(", ")));
        else if (known)
            problem = QStringLiteral("the heading \"%1\" is given a field twice").arg(heading);
        if (!problem.isEmpty()) {
            mapping.entries.clear();
            mapping.error = QStringLiteral("line %1: %2.").arg(number).arg(problem);
            return mapping;
        }
        mapping.entries.append({heading, info ? info->field : ImportField::None});
    }
    return mapping;
}

TaskMapping readTaskMapping(const QString& path) {
    TaskMapping mapping;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    QFile file(path);
    if (!info.exists())
        mapping.error = QStringLiteral("%1 does not exist.").arg(shown);
    else if (!info.isFile())
        mapping.error = QStringLiteral("%1 is not a file.").arg(shown);
    else if (info.size() > MaxMappingBytes)
        mapping.error =
            QStringLiteral("%1 is no mapping of columns: it is larger than 1 MB.").arg(shown);
    else if (!file.open(QIODevice::ReadOnly))
        mapping.error = QStringLiteral("%1 cannot be read: %2.").arg(shown, file.errorString());
    if (!mapping.error.isEmpty())
        return mapping;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    mapping = parseTaskMapping(text);
    if (!mapping.error.isEmpty())
        mapping.error = QStringLiteral("%1, %2").arg(shown, mapping.error);
    return mapping;
}

QString taskMappingText(const TaskMapping& mapping) {
    QString text = QStringLiteral(
        "; Tavrel: the columns of a spreadsheet of tasks and the task fields they fill,\n"
        "; one \"heading = field\" line per column; a column with no field is not imported.\n");
    for (const auto& [heading, field] : mapping.entries)
        text += heading.simplified() + QStringLiteral(" = ") +
                (field == ImportField::None ? QString() : fieldInfo(field).name) + u'\n';
    return text;
}

bool writeTaskMapping(const QString& path, const TaskMapping& mapping, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(taskMappingText(mapping).toUtf8()) < 0 ||
        !file.commit()) {
        *error = QStringLiteral("The mapping could not be saved in %1: %2.")
                     .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return true;
}

QList<ImportField> mapColumns(const QStringList& headings, const TaskMapping& mapping,
                              Guess guess) {
    QList<ImportField> fields;
    fields.reserve(headings.size());
    for (const QString& heading : headings) {
        bool named = false;
        ImportField field =
            heading.trimmed().isEmpty() ? ImportField::None : mapping.fieldFor(heading, &named);
        if (!named && guess == Guess::ByHeading && !heading.trimmed().isEmpty())
            if (const ImportFieldInfo* info = fieldNamed(heading))
                field = info->field;
        fields << field;
    }
    return fields;
}

} // namespace tavrel
