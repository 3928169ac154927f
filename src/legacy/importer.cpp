#include "legacy/importer.h"

#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "data/database.h"
#include "data/dberror.h"
#include "data/jetheader.h"
#include "data/schema.h"
#include "legacy/converter.h"
#ifdef TAVREL_HAVE_LIBMDB
#include "legacy/mdbreader.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tavrel {

namespace {

const QString TaskFile = QStringLiteral("tavrel.mdb");
const QString CatalogueFile = QStringLiteral("rptspec.mdb");
// Where a conversion is written until it is complete.
const QString PartSuffix = QStringLiteral(".converting");
constexpr int ExitAfterRefusal = 1;

std::unique_ptr<LegacySource> openLegacy(const QString& path) {
    if (state().legacyOpener)
        return state().legacyOpener(path);
#ifdef TAVREL_HAVE_LIBMDB
    auto reader = std::make_unique<MdbReader>(path);
    if (!reader->isOpen())
        return nullptr;
    return reader;
#else
    Q_UNUSED(path);
    return nullptr;
#endif
}

bool importAvailable() {
    return legacyReaderBuiltIn() || state().legacyOpener;
}

const QString NotInThisBuild =
    QStringLiteral("Reading the earlier program's files is not available in this build.");

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The name a conversion into `target` is written under until it is complete: the first
// of "tavrel.mdb.converting", "tavrel.mdb.converting-2" ... that is not taken. A file of
// that name is never removed or written over: it may be anybody's, the source included.
QString partName(const QString& target) {
    QString name = target + PartSuffix;
    for (int n = 2; fileNameTaken(name); ++n)
        name = target + PartSuffix + QStringLiteral("-%1").arg(n);
    return name;
}

// Why `path` cannot be read as the earlier program's file, or nothing when it is a
// regular file. Looked at before anything opens it: a pipe would block the read.
QString unreadableSource(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink()
                   ? QStringLiteral("%1 is a link to a file that does not exist.").arg(shown(path))
                   : QStringLiteral("%1 does not exist.").arg(shown(path));
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a database file.").arg(shown(path));
    if (!info.isFile())
        return QStringLiteral("%1 is not a database file but a device or a pipe.").arg(shown(path));
    return {};
}

// Converts one legacy file into `newPath`; the reader is gone (file closed) on return.
bool convertFile(const QString& oldPath, LegacyFileKind kind, const QString& newPath,
                 int yearIfMissing, QString* summary, QString* error) {
    const std::unique_ptr<LegacySource> reader = openLegacy(oldPath);
    if (!reader) {
        *error = QStringLiteral("%1 could not be read as a database of the earlier program.")
                     .arg(shown(oldPath));
        return false;
    }
    ConversionSummary done;
    if (!convertLegacyFile(*reader, kind, newPath, yearIfMissing, &done, error)) {
        *error = QStringLiteral("%1: %2").arg(shown(oldPath), *error);
        return false;
    }
    *summary = QStringLiteral("%1:\n%2").arg(QFileInfo(oldPath).fileName(), done.text());
    return true;
}

QString nothingChanged(const QString& why) {
    return why + QStringLiteral(" Nothing was changed.");
}

} // namespace

bool legacyReaderBuiltIn() {
#ifdef TAVREL_HAVE_LIBMDB
    return true;
#else
    return false;
#endif
}

QString keptOriginalName(const QString& folder, const QString& fileName) {
    const QString base = QFileInfo(fileName).completeBaseName();
    const QString suffix = QFileInfo(fileName).suffix();
    QString name = QStringLiteral("%1-earlier-program.%2").arg(base, suffix);
    for (int n = 2; fileNameTaken(QDir(folder).filePath(name)); ++n)
        name = QStringLiteral("%1-earlier-program-%2.%3").arg(base).arg(n).arg(suffix);
    return name;
}

ImportOutcome importEarlierFiles(const QString& oldDatabase, const QString& oldCatalogue,
                                 const QString& folder, int yearIfMissing) {
    const QDir dir(folder);
    const QString dbPath = dir.filePath(TaskFile);
    const QString specPath = dir.filePath(CatalogueFile);
    for (const QString& old : {oldDatabase, oldCatalogue})
        if (!old.isEmpty())
            if (const QString why = unreadableSource(old); !why.isEmpty())
                return {false, nothingChanged(why)};
    for (const QString& existing : {dbPath, oldCatalogue.isEmpty() ? QString() : specPath})
        if (!existing.isEmpty() && fileNameTaken(existing))
            return {
                false,
                nothingChanged(
                    QStringLiteral("%1 already exists; it is not replaced.").arg(shown(existing)))};
    for (const QString& old : {oldDatabase, oldCatalogue})
        if (!old.isEmpty() && !isJetDatabaseFile(old))
            return {false, nothingChanged(QStringLiteral("%1 is not a database of the earlier "
                                                         "program.")
                                              .arg(shown(old)))};
    if (!importAvailable())
        return {false,
                nothingChanged(QStringLiteral("%1: %2").arg(shown(oldDatabase), NotInThisBuild))};

    QString summary;
    QString catalogueSummary;
    QString error;
    const QString dbPart = partName(dbPath);
    if (!convertFile(oldDatabase, LegacyFileKind::TaskDatabase, dbPart, yearIfMissing, &summary,
                     &error))
        return {false, nothingChanged(error)};
    const QString specPart = oldCatalogue.isEmpty() ? QString() : partName(specPath);
    if (!oldCatalogue.isEmpty() && !convertFile(oldCatalogue, LegacyFileKind::Catalogue, specPart,
                                                yearIfMissing, &catalogueSummary, &error)) {
        QFile::remove(dbPart);
        return {false, nothingChanged(error)};
    }
    // Each name is removed only while it holds this run's file: a rename that failed
    // because another file took the name leaves that file alone.
    const bool dbPlaced = QFile::rename(dbPart, dbPath);
    const bool specPlaced =
        oldCatalogue.isEmpty() || (dbPlaced && QFile::rename(specPart, specPath));
    if (!dbPlaced || !specPlaced) {
        QFile::remove(dbPlaced ? dbPath : dbPart);
        if (!specPart.isEmpty())
            QFile::remove(specPart);
        return {false, nothingChanged(QStringLiteral("The converted files could not be "
                                                     "written in %1.")
                                          .arg(shown(folder)))};
    }
    QString text = QStringLiteral("Converted into %1\n%2").arg(shown(dbPath), summary);
    if (!catalogueSummary.isEmpty())
        text += QStringLiteral("\n") + catalogueSummary;
    if (!QFileInfo::exists(specPath)) {
        if (createCatalogueDatabase(specPath, &error))
            text += QStringLiteral("\nWrote the standard field catalogue into %1.")
                        .arg(shown(specPath));
        else
            text += QStringLiteral("\n") + error;
    }
    return {true, text};
}

ImportOutcome convertFolderInPlace(const QString& folder, int yearIfMissing) {
    const QDir dir(folder);
    const QString dbPath = dir.filePath(TaskFile);
    const QString specPath = dir.filePath(CatalogueFile);
    if (!importAvailable())
        return {false, nothingChanged(NotInThisBuild)};
    const bool legacyCatalogue = isJetDatabaseFile(specPath);

    QString summary;
    QString catalogueSummary;
    QString error;
    const QString dbPart = partName(dbPath);
    if (!convertFile(dbPath, LegacyFileKind::TaskDatabase, dbPart, yearIfMissing, &summary, &error))
        return {false, nothingChanged(error)};
    const QString specPart = legacyCatalogue ? partName(specPath) : QString();
    if (legacyCatalogue && !convertFile(specPath, LegacyFileKind::Catalogue, specPart,
                                        yearIfMissing, &catalogueSummary, &error)) {
        QFile::remove(dbPart);
        return {false, nothingChanged(error)};
    }

    // The originals step aside only once both conversions are complete; a rename that
    // fails puts back what was moved. The kept original is this conversion's backup: a file
    // of the earlier program is no SQLite database, which the backups are copies of.
    const QString keptDb = keptOriginalName(folder, TaskFile);
    const QString keptSpec = keptOriginalName(folder, CatalogueFile);
    bool moved = QFile::rename(dbPath, dir.filePath(keptDb));
    bool placed = moved && QFile::rename(dbPart, dbPath);
    bool specMoved = placed && legacyCatalogue && QFile::rename(specPath, dir.filePath(keptSpec));
    bool specPlaced = specMoved && QFile::rename(specPart, specPath);
    if (!placed || (legacyCatalogue && !specPlaced)) {
        if (specMoved)
            QFile::rename(dir.filePath(keptSpec), specPath);
        if (placed)
            QFile::remove(dbPath);
        if (moved)
            QFile::rename(dir.filePath(keptDb), dbPath);
        if (!placed)
            QFile::remove(dbPart);
        if (legacyCatalogue && !specPlaced)
            QFile::remove(specPart);
        return {false, nothingChanged(QStringLiteral("The converted files could not take the "
                                                     "place of the originals in %1.")
                                          .arg(shown(folder)))};
    }
    QString text = QStringLiteral("tavrel.mdb was converted; the original is kept as %1.\n%2")
                       .arg(keptDb, summary);
    if (legacyCatalogue)
        text += QStringLiteral("\nrptspec.mdb was converted; the original is kept as %1.\n%2")
                    .arg(keptSpec, catalogueSummary);
    if (!QFileInfo::exists(specPath)) {
        if (createCatalogueDatabase(specPath, &error))
            text += QStringLiteral("\nWrote the standard field catalogue into rptspec.mdb.");
        else
            text += QStringLiteral("\n") + error;
    }
    return {true, text};
}

bool convertEarlierDatabaseAtStartup(bool mayAsk) {
    const QString folder = QDir(state().AppPath).absolutePath();
    if (!importAvailable()) {
        showError(DbError{ErrEarlierFormat,
                          nothingChanged(QStringLiteral("%1 was written by an earlier program. %2")
                                             .arg(shown(state().DbPath), NotInThisBuild))});
        if (mayAsk)
            ui().endProgram(ExitAfterRefusal);
        return false;
    }
    bool holdsTasks = false;
    {
        const std::unique_ptr<LegacySource> reader = openLegacy(state().DbPath);
        holdsTasks = reader && holdsProgramTables(*reader, LegacyFileKind::TaskDatabase);
    }
    if (!holdsTasks) {
        showError(DbError{ErrEarlierFormat,
                          nothingChanged(QStringLiteral("%1 was written by an earlier program "
                                                        "but holds no task data.")
                                             .arg(shown(state().DbPath)))});
        if (mayAsk)
            ui().endProgram(ExitAfterRefusal);
        return false;
    }
    if (!mayAsk) {
        showError(DbError{ErrEarlierFormat, earlierFormatDescription(state().DbPath)});
        return false;
    }
    const MsgResult answer = ui().msgBox(
        QStringLiteral("%1 was written by an earlier program. Convert it now? The original is "
                       "kept as %2.")
            .arg(shown(state().DbPath), keptOriginalName(folder, TaskFile)),
        MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Convert Database"));
    if (answer != MsgResult::Yes) {
        ui().endProgram(0);
        return false;
    }
    const ImportOutcome outcome = convertFolderInPlace(folder, ui().today().year());
    if (!outcome.converted) {
        showError(DbError{ErrEarlierFormat, outcome.message});
        ui().endProgram(ExitAfterRefusal);
        return false;
    }
    ui().msgBox(outcome.message, MsgButtons::Ok, MsgIcon::Information,
                QStringLiteral("Convert Database"));
    return true;
}

} // namespace tavrel
