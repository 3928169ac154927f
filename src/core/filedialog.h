#pragma once

#include <QString>

class QWidget;

namespace tavrel {

enum class FileDialogMode { Open, Save };

// The common file dialog as the program's windows use it: the chosen file's path, or, when
// the user cancels, the cancel error ErrDialogCancelled (inside a trap that leaves Cancelled
// true for the caller to test) and an empty path.
QString commonFileDialog(FileDialogMode mode, QWidget* parent, const QString& title,
                         const QString& filter, const QString& initialName = {});

} // namespace tavrel
