#pragma once

#include "legacy/legacysource.h"

#include <QString>

#include <functional>
#include <memory>

namespace tavrel {

// What became of a conversion of the earlier program's files: the summary to show, or
// why nothing was changed.
struct ImportOutcome {
    bool converted = false;
    QString message;
};

// False in a build without libmdb: with no opener installed, nothing can read the earlier
// program's files, and every conversion says so instead of trying.
bool legacyReaderBuiltIn();

// tavrel --import: converts `oldDatabase` (and `oldCatalogue`, when given) into a new
// tavrel.mdb (and rptspec.mdb) in `folder`, never overwriting either; the old files are
// only read. A folder left without a field catalogue gets the one shipped with the program.
ImportOutcome importEarlierFiles(const QString& oldDatabase, const QString& oldCatalogue,
                                 const QString& folder, int yearIfMissing);

// Converts the earlier program's tavrel.mdb in `folder` (and its rptspec.mdb when that is
// one of the earlier program's too) where they are: each original is renamed, never
// changed, to a name that says what it is, and the converted file takes its place.
ImportOutcome convertFolderInPlace(const QString& folder, int yearIfMissing);

// The name the earlier program's `fileName` ("tavrel.mdb") is kept under beside its
// converted file: the first of "tavrel-earlier-program.mdb", "...-2.mdb" ... not taken.
QString keptOriginalName(const QString& folder, const QString& fileName);

// Start-up met the earlier program's tavrel.mdb in AppPath. With a window (`mayAsk`) the
// user is asked whether to convert it; No ends the program with the folder as it was.
// Without a window nothing is asked: the reason is reported and nothing changes. Returns
// true when AppPath now holds a converted tavrel.mdb to open.
bool convertEarlierDatabaseAtStartup(bool mayAsk);

} // namespace tavrel
