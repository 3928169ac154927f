#pragma once

#include <QString>

#include <functional>

namespace tavrel {

// Gives `file` the permission bits, owner and group of `model`, so that a file written in
// place of another (a repaired or rewritten database, the copy a repair keeps) is no more
// and no less readable than the one it stands for. The owner is kept where the system lets
// this process give it away, the group where it may; false when the mode could not be set.
bool takeFileAccessOf(const QString& file, const QString& model);

// True when a file, a directory or a link (dangling or not) has this name.
bool nameTaken(const QString& path);

// Creates a new empty file under the first of `nameFor(1)`, `nameFor(2)` ... that is not
// taken, never following a link of that name, and returns its name; empty when none could
// be created (after `attempts` names or on an error other than the name being taken). An
// empty name from `nameFor` counts as taken.
QString createUnusedFile(const std::function<QString(int)>& nameFor, int attempts = 10000);

// Moves `from` to `to`, replacing `to` when it exists; a link named `to` is replaced, never
// followed. False when the system refused.
bool replaceFileWith(const QString& to, const QString& from);

} // namespace tavrel
