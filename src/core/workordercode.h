#pragma once

#include <QString>
#include <QStringView>

// The code printed on every work order and equipment label, which a scanner (or a person)
// types back into the program: "TVL-7K2-A-000123-Q".
//
//   TVL      the program's mark
//   7K2      the site's tag: three characters drawn from the site's identifier, so that a
//            sheet of another site is known as such
//   A or T   what the key is: an assignment (assid) or a task (taskid)
//   000123   the key: zero-padded to six digits, a longer one as it is
//   Q        a check character over the tag, the kind and the key
//
// Tag, kind, key and check are characters of Crockford's base-32 alphabet (digits and the
// capitals without I, L, O and U). The check makes the characters' values the coefficients
// of a polynomial over GF(32) that has 2 as a root: every change of one character and every
// swap of two neighbouring characters (the check itself included) gives another value at 2,
// so each is refused.
namespace tavrel::workordercode {

enum class CodeKind { Assignment, Task };

// What reading a typed or scanned text found.
enum class CodeFault {
    None,     // a code of the right form whose check character agrees
    NotACode, // not of the form above (wrong mark, length, grouping or character)
    WrongCheck,
};

struct CodeReading {
    CodeFault fault = CodeFault::NotACode;
    QString siteTag;
    CodeKind kind = CodeKind::Assignment;
    qint64 key = 0;
};

inline constexpr int SiteTagLength = 3;
inline constexpr int KeyDigits = 6;
// The longest key a code holds: ten digits, as many as a key of the database has.
inline constexpr qint64 MaxKey = 9'999'999'999;

// The tag of the site whose identifier (settings.siteid, a UUID) is `siteIdentifier`: its
// first fifteen bits in three characters. Empty for an empty identifier.
QString siteTag(const QString& siteIdentifier);

// The check character of `payload`: the tag, the kind letter and the key's digits, without
// the mark or dashes. A character outside the alphabet gives a null QChar.
QChar checkCharacter(QStringView payload);

// The code of key `key` (1 to MaxKey) of `kind` at the site of tag `siteTag`.
QString formatCode(const QString& siteTag, CodeKind kind, qint64 key);

// The code of `key` of `kind` at the site open now (the tag of its settings.siteid); empty
// when the site's identifier cannot be read (the failure has gone to the trap in force).
QString siteCode(CodeKind kind, qint64 key);
// The tag of the site open now; empty when its identifier cannot be read.
QString currentSiteTag();

// Reads `text` as a code. Blanks around it are ignored, small letters read as capitals and
// digits of other scripts as the digits they stand for (someone typing it in); anything else
// must be as formatCode writes it.
CodeReading readCode(const QString& text);

} // namespace tavrel::workordercode
