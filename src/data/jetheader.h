#pragma once

#include <QString>

namespace tavrel {

// True when the file's header names the Jet or ACE engine: a database of the earlier
// program, which is converted, never opened, repaired or written as one of ours.
bool isJetDatabaseFile(const QString& path);

// What the user is told when such a file is opened as one of ours.
QString earlierFormatDescription(const QString& path);

} // namespace tavrel
