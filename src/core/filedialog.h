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

// Before a file is written over: clears Cancelled and, when a file of that name exists,
// asks whether to replace it ("File Exists"); No sets Cancelled.
void ConfirmFileReplace(const QString& fileName);

// The program writes file filters as pairs of description and patterns separated by "|"
// ("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"); Qt's dialogs take "Text Files
// (*.txt);;All Files (*.*)". A filter without "|" is taken to be in Qt's form already.
QString qtFileFilter(const QString& filter);

// The name a save dialog gave, ended by the extension of the filter chosen in it when the
// name has none of its own: "Costs" saved under "CSV Files (*.csv)" is "Costs.csv". A filter
// of every file ("*.*") adds nothing.
QString withFilterExtension(const QString& name, const QString& qtFilter);

} // namespace tavrel
