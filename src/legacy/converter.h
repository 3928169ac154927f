#pragma once

#include "legacy/legacysource.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tavrel {

// Which of the program's two files a legacy database is converted into.
enum class LegacyFileKind { TaskDatabase, Catalogue };

// What a conversion did, for the summary the user reads.
struct ConversionSummary {
    struct Count {
        QString table;
        int rows = 0;
    };
    QList<Count> converted;   // the program's tables found in the file, with their rows
    QStringList createdEmpty; // the program's tables the file lacks, written new
    QStringList skippedRows;  // "assign, row 17: ..." for each row that could not be read

    // Several lines: one per table, then the rows that could not be read.
    QString text() const;
};

// Copies every table of the program's schema found in `source` (names matched without
// regard to case), column by column, into a new SQLite file at `newPath`, in one
// transaction: nothing is left at `newPath` unless the whole conversion was written.
// Counter keys keep their values; new keys continue after the highest. The columns the
// schema upgrade adds are left out when the file lacks them, so that the upgrade runs on
// the new file as on any older one. A task database without weeks or settings gets the
// 52 weeks and the settings row of `yearIfMissing`.
// False, with *error set and nothing written, when the file is not one of the program's
// (holdsProgramTables) or the new file could not be written.
bool convertLegacyFile(LegacySource& source, LegacyFileKind kind, const QString& newPath,
                       int yearIfMissing, ConversionSummary* summary, QString* error);

// True when `source` holds the program's main table of that kind of file (tasks, RptSpec)
// with its key column.
bool holdsProgramTables(const LegacySource& source, LegacyFileKind kind);

} // namespace tavrel
