#include "support/tablefiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr int RunBoundMs = 60000;

QStringList strings(const QJsonValue& value) {
    return value.toVariant().toStringList();
}

} // namespace

QString pythonWith(const QString& module) {
    QStringList candidates;
    for (const QStringList& paths : {QStringList(), QStringList{QStringLiteral("/usr/bin")}}) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("python3"), paths);
        if (!found.isEmpty() && !candidates.contains(found))
            candidates << found;
    }
    for (const QString& python : candidates) {
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import ") + module});
        if (probe.waitForFinished(RunBoundMs) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return python;
    }
    return {};
}

TableFileRead readTableFile(const QString& path) {
    TableFileRead table;
    static const QString python = pythonWith(QStringLiteral("openpyxl"));
    if (python.isEmpty()) {
        table.error = QStringLiteral("no python3 with openpyxl (Debian python3-openpyxl)");
        return table;
    }
    QProcess reader;
    reader.start(python, {QStringLiteral(TAVREL_READTABLE_SCRIPT), path});
    if (!reader.waitForFinished(RunBoundMs) || reader.exitStatus() != QProcess::NormalExit ||
        reader.exitCode() != 0) {
        table.error = QString::fromUtf8(reader.readAllStandardError());
        if (table.error.isEmpty())
            table.error = QStringLiteral("the reader did not finish");
        return table;
    }
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    for (const QJsonValue& row : read.value(QStringLiteral("rows")).toArray())
        table.rows << strings(row);
    table.kinds = strings(read.value(QStringLiteral("kinds")));
    table.frozen = read.value(QStringLiteral("frozen")).toString();
    for (const QJsonValue& pixels : read.value(QStringLiteral("pixels")).toArray())
        table.pixels << pixels.toInt();
    for (const QJsonValue& bold : read.value(QStringLiteral("bold")).toArray())
        table.bold << bold.toBool();
    table.formats = strings(read.value(QStringLiteral("formats")));
    return table;
}
