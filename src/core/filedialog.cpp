#include "core/filedialog.h"

#include "core/errortrap.h"
#include "core/uiseam.h"
#include "data/dberror.h"

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

} // namespace tavrel
