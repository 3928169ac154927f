#pragma once

#include <QString>

namespace tavrel {

// Replaces every occurrence of `find` (compared exactly, letter case included) in `text` by
// `replacement`, left to right; what was put in is never searched again, so a replacement
// that contains `find` ends. `text` holds the result as well. An empty `find` changes nothing.
QString ReplaceAll(QString& text, const QString& find, const QString& replacement);

} // namespace tavrel
