#include "core/filedialog.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/dberror.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace tavrel {

QString commonFileDialog(FileDialogMode mode, QWidget* parent, const QString& title,
                         const QString& filter, const QString& initialName) {
    const std::optional<QString> chosen =
        mode == FileDialogMode::Open ? ui().openFileName(parent, title, filter, initialName)
                                     : ui().saveFileName(parent, title, filter, initialName);
    if (chosen)
        return *chosen;
    raiseError(ErrDialogCancelled, QStringLiteral("Cancel was selected."));
    return {};
}

void ConfirmFileReplace(const QString& fileName) {
    state().Cancelled = false;
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return;
    const MsgResult answer =
        askBeforeDestroying(QStringLiteral("The file '") + QDir::toNativeSeparators(fileName) +
                                QStringLiteral("' already exists.  Do you wish to replace it?"),
                            QStringLiteral("File Exists"));
    if (answer != MsgResult::Yes)
        state().Cancelled = true;
}

QString qtFileFilter(const QString& filter) {
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses; a description that shows none gets them.
        filters.append(description.contains(QLatin1Char('('))
                           ? description
                           : description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

QString withFilterExtension(const QString& name, const QString& qtFilter) {
    if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty())
        return name;
    static const QRegularExpression firstPattern(QStringLiteral("\\(\\*\\.(\\w+)[ )]"));
    const QRegularExpressionMatch match = firstPattern.match(qtFilter);
    return match.hasMatch() ? name + QLatin1Char('.') + match.captured(1) : name;
}

} // namespace tavrel
