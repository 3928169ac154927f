#pragma once

#include "data/units.h"
#include "reports/pageorientation.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace tavrel {

class Database;

// Data types of catalogue fields: they choose the criteria, the cell format and alignment.
// A work-order code is the find's alone: it finds a row by the code of its key (or of the
// row it belongs to), and is never a column of a report.
enum class FieldType { Text = 1, Number = 2, Date = 3, YesNo = 4, Time = 5, Code = 6 };

// One row of the field catalogue (RptSpec in rptspec.mdb).
struct CatalogueField {
    int specId = 0;
    QString desc;
    QString fieldName;
    FieldType type = FieldType::Text;
    bool memo = false;
    float defaultWidth = 1; // the row's defwidth, 1 when empty
    bool currency = false;
    QString fileName;
    QString linkField;
};

// The catalogue rows of one table, as the designer lists them (by heading).
class Catalogue {
public:
    // Reads the rows whose usewith contains `table`, but for the find's own (codes). Inside a
    // trap a failure leaves the catalogue empty.
    static Catalogue load(Database& specDb, const QString& table);
    // True when a row names exactly `table` (what a report file's first line must meet).
    static bool hasTable(Database& specDb, const QString& table);

    QString table() const { return table_; }
    int maxSpecId() const { return maxSpecId_; }
    // Every row, by heading.
    const QList<CatalogueField>& fields() const { return fields_; }
    // The rows a sort list offers (no long text), by heading: a sort position indexes this.
    const QList<CatalogueField>& sortFields() const { return sortFields_; }
    const CatalogueField* find(int specId) const;

private:
    QString table_;
    int maxSpecId_ = 0;
    QList<CatalogueField> fields_;
    QList<CatalogueField> sortFields_;
};

// A date/time as the report file and the criteria hold it: days since 30 December 1899
// with the time of day as the fraction; 0 means "no bound".
using SerialDate = double;

// The per-field settings of a report, one entry per catalogue id.
struct FieldSetting {
    bool WantTrue = false;
    bool WantFalse = false;
    QString StartsWith;
    SerialDate RangeStart = 0;
    SerialDate RangeEnd = 0;
    QString LessThan;
    QString GreaterThan;
    float ColWidth = 0;
    bool HideCol = false;
    bool ShowTotal = false;
    bool IsCurrency = false;
    bool operator==(const FieldSetting&) const = default;
};

enum class ReportDestination { Document = 1, TextFile = 2, WebTable = 3 };
enum class PageNumbers { AtBottom = 0, InHeader = 1, None = 2 };
enum class WidthUnit { Inches = 0, Centimeters = 1 };

inline constexpr int NoSort = -1;

// Everything a custom report is: what the designer edits and a .rpt file stores.
struct ReportDefinition {
    QString table;
    QString title;
    ReportDestination destination = ReportDestination::Document;
    PageOrientation orientation = PageOrientation::Portrait;
    bool showDate = true;
    PageNumbers pageNumbers = PageNumbers::AtBottom;
    WidthUnit widthUnit = WidthUnit::Inches;
    int primarySort = NoSort; // positions in the catalogue's sortFields()
    int secondarySort = NoSort;
    QList<int> fields;                  // catalogue ids in report order
    std::vector<FieldSetting> settings; // index = catalogue id; entry 0 unused

    FieldSetting& setting(int specId) { return settings[static_cast<size_t>(specId)]; }
    const FieldSetting& setting(int specId) const { return settings[static_cast<size_t>(specId)]; }
    bool operator==(const ReportDefinition&) const = default;
};

inline const QString DefaultReportTitle = QStringLiteral("Tavrel Report");

// A new, empty report over the catalogue's table: every setting cleared, each field's
// width its default. The width unit is the caller's (the designer keeps its choice).
ReportDefinition resetReport(const Catalogue& catalogue, WidthUnit unit = WidthUnit::Inches);

// Serial numbers of the file and the criteria.
inline SerialDate toSerial(const QDateTime& dateTime) {
    return serialFromDateTime(dateTime);
}
inline QDateTime fromSerial(SerialDate serial) {
    return dateTimeFromSerial(serial);
}

// Writes the 22-line report file, replacing it whole. A file that cannot be written
// raises the file error (inside a trap: reported, and false).
bool writeReportFile(const QString& path, const ReportDefinition& report,
                     const Catalogue& catalogue);

// What reading a report file gave.
struct ReportFileRead {
    enum Outcome {
        Read,            // the whole file was accepted
        RejectedAtTable, // its first line names no table of ours: nothing was changed
        Rejected,        // a later line failed: `report` holds what was read up to it
        NotReadable,     // the file could not be opened (the error was raised)
    };
    Outcome outcome = NotReadable;
    Catalogue catalogue; // of the report's table (set from Rejected on)
    ReportDefinition report;
};

// Reads a report file for a designer that shows `currentTable` in `unit`. A first line
// other than the current table must name a table of the catalogue.
ReportFileRead readReportFile(const QString& path, const QString& currentTable, Database& specDb,
                              WidthUnit unit = WidthUnit::Inches);

inline const QString InvalidReportFileTitle = QStringLiteral("Invalid Report File");
inline const QString InvalidReportFileText =
    QStringLiteral("This does not appear to be a valid report file for this program.");

} // namespace tavrel
