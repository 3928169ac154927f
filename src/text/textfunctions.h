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

// The longest e-mail address there is: what fits the path of a mail server's RCPT command.
constexpr int EmailAddressLength = 254;

// Whether `text` passes for an e-mail address: one @, a name before it, after it a domain
// with a dot that neither begins nor ends it, no blanks or line breaks anywhere, and at most
// EmailAddressLength characters in all. Whether the address exists only its mail server
// knows.
bool isEmailAddress(const QString& text);

} // namespace tavrel
