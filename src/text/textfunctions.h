#pragma once

#include <QString>

namespace tavrel {

// Replaces every occurrence of `find` (compared exactly, letter case included) in `text` by
// `replacement`, left to right; what was put in is never searched again, so a replacement
// that contains `find` ends. `text` holds the result as well. An empty `find` changes nothing.
QString ReplaceAll(QString& text, const QString& find, const QString& replacement);

// A person as the printed pages name one: first name, a blank, last name; only the one
// that is not empty when the other is, so no blank is left over.
QString firstAndLastName(const QString& first, const QString& last);

} // namespace tavrel
