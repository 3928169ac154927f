#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace tavrel {

// The folder the program's window worked in last, as remembered in the user's settings;
// empty when there is none.
QString lastWorkFolder();
void rememberWorkFolder(const QString& folder);

// True for a start as the desktop menu makes it: in the home folder (or the file system's
// root, where some launchers start programs), which holds no tavrel.mdb.
bool isDesktopStart(const QString& folder);

// Asks which folder to work in (frmFolder) until the user picks one that holds a
// tavrel.mdb, creating one where the user agrees; no value after Cancel. `currentFolder`
// is not offered as the last folder again.
std::optional<QString> askWorkFolder(QWidget* parent, const QString& intro,
                                     const QString& currentFolder = {});

// The folder the window starts in: the one named on the command line, else the current
// folder, unless the program was started from the desktop menu: then the user is asked.
// No value when the user cancelled.
std::optional<QString> chooseStartFolder(const QString& commandLineFolder);

} // namespace tavrel
