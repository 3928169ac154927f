#include "data/jetheader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tavrel {

namespace {

// A Jet page 0 starts with a version-independent signature, then the engine's name.
constexpr qsizetype EngineNameOffset = 4;
const QByteArray JetEngineName = QByteArrayLiteral("Standard Jet DB");
const QByteArray AceEngineName = QByteArrayLiteral("Standard ACE DB");

} // namespace

bool isJetDatabaseFile(const QString& path) {
    // A pipe would block the read until some writer came; only a regular file is looked at.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(EngineNameOffset + JetEngineName.size());
    const QByteArray name = head.mid(EngineNameOffset);
    return name == JetEngineName || name == AceEngineName;
}

QString earlierFormatDescription(const QString& path) {
    return QStringLiteral("'%1' was written by an earlier program. Start Tavrel with its window "
                          "in that folder to convert it, or run tavrel --import with it in an "
                          "empty folder; the file was left as it is.")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace tavrel
