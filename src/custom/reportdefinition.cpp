#include "custom/reportdefinition.h"

#include "data/database.h"
#include "data/errortrap.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <QTextStream>

#include <cmath>

namespace tavrel {

namespace {

const QString Semicolon = QStringLiteral(";");
const QString LineEnd = QStringLiteral("\r\n");
// The longest table name a report file's first line may hold.
constexpr int MaxTableNameLength = 20;
constexpr int ReportFileLines = 22;
// The line numbers of the file (from 1) that the reader treats specially.
constexpr int FieldListLine = 11;
constexpr int FirstSettingLine = 12;
constexpr int LastReadSettingLine = 21;

// A serial number in full: the locale's decimal separator, no grouping, as many digits as
// read back to the same date and time.
QString serialText(SerialDate serial) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(serial, 'g', QLocale::FloatingPointShortest);
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// A sort position as the file writes it: a blank before a value that is not negative and
// a blank after every value.
QString sortText(int position) {
    return position < 0 ? QString::number(position) + u' '
                        : u' ' + QString::number(position) + u' ';
}

// A whole number within [low, high] as a report file line holds it, blanks allowed.
std::optional<int> wholeNumber(const QString& text, int low, int high) {
    const std::optional<double> value = toNumber(text);
    if (!value || *value != std::floor(*value) || *value < low || *value > high)
        return std::nullopt;
    return static_cast<int>(*value);
}

CatalogueField fieldOf(const Recordset& rows) {
    CatalogueField field;
    field.specId = rows.value(QStringLiteral("specid")).toInt();
    field.desc = rows.value(QStringLiteral("Desc")).toString();
    field.fieldName = rows.value(QStringLiteral("fieldname")).toString();
    field.type = static_cast<FieldType>(rows.value(QStringLiteral("datatype")).toInt());
    field.memo = rows.value(QStringLiteral("ismemo")).toBool();
    const QVariant width = rows.value(QStringLiteral("defwidth"));
    field.defaultWidth = width.isNull() ? 1.0f : width.toFloat();
    field.currency = rows.value(QStringLiteral("IsCurrency")).toBool();
    field.fileName = rows.value(QStringLiteral("FileName")).toString();
    field.linkField = rows.value(QStringLiteral("linkfield")).toString();
    return field;
}

} // namespace

Catalogue Catalogue::load(Database& specDb, const QString& table) {
    Catalogue catalogue;
    catalogue.table_ = table;
    const QString rowsOfTable =
        QStringLiteral("Select * from RptSpec where usewith like '*%1*' and (datatype is null "
                       "or datatype <> %2)")
            .arg(table)
            .arg(static_cast<int>(FieldType::Code));
    Recordset byId = specDb.openRecordset(rowsOfTable + QStringLiteral(" order by specid"),
                                          RecordsetType::Snapshot);
    if (byId.isOpen() && !byId.isEOF()) {
        byId.moveLast();
        catalogue.maxSpecId_ = byId.value(QStringLiteral("specid")).toInt();
    }
    byId.close();
    Recordset rows = specDb.openRecordset(rowsOfTable + QStringLiteral(" order by [desc]"),
                                          RecordsetType::Snapshot);
    for (; rows.isOpen() && !rows.isEOF(); rows.moveNext()) {
        const CatalogueField field = fieldOf(rows);
        // An id beyond the highest one read has no settings entry to go with it.
        if (field.specId < 1 || field.specId > catalogue.maxSpecId_)
            continue;
        catalogue.fields_.append(field);
        if (!field.memo)
            catalogue.sortFields_.append(field);
    }
    return catalogue;
}

bool Catalogue::hasTable(Database& specDb, const QString& table) {
    Recordset rows = specDb.openRecordset(
        QStringLiteral("select usewith from rptspec where usewith = '%1'").arg(table),
        RecordsetType::Snapshot);
    return rows.isOpen() && !rows.isEOF();
}

const CatalogueField* Catalogue::find(int specId) const {
    for (const CatalogueField& field : fields_)
        if (field.specId == specId)
            return &field;
    return nullptr;
}

ReportDefinition resetReport(const Catalogue& catalogue, WidthUnit unit) {
    ReportDefinition report;
    report.table = catalogue.table();
    report.title = DefaultReportTitle;
    report.widthUnit = unit;
    report.settings.assign(static_cast<size_t>(catalogue.maxSpecId() + 1), FieldSetting{});
    for (const CatalogueField& field : catalogue.fields()) {
        report.setting(field.specId).ColWidth = field.defaultWidth;
        report.setting(field.specId).IsCurrency = field.currency;
    }
    return report;
}

bool writeReportFile(const QString& path, const ReportDefinition& report,
                     const Catalogue& catalogue) {
    QStringList lines;
    lines << report.table << report.title << QString::number(static_cast<int>(report.destination))
          << QString::number(static_cast<int>(report.orientation)) << flag(report.showDate)
          << QString::number(static_cast<int>(report.pageNumbers))
          << QString::number(static_cast<int>(report.widthUnit)) << sortText(report.primarySort)
          << sortText(report.secondarySort) << QString::number(report.fields.size());
    QStringList ids;
    for (int id : report.fields)
        ids << QString::number(id);
    lines << ids.join(Semicolon);

    // Lines 12 to 22: one entry per catalogue id, whatever the table offers.
    const int maxId = catalogue.maxSpecId();
    auto settingLine = [&](const std::function<QString(const FieldSetting&)>& member) {
        QStringList entries;
        for (int id = 1; id <= maxId; ++id)
            entries << (static_cast<size_t>(id) < report.settings.size()
                            ? member(report.setting(id))
                            : member(FieldSetting{}));
        lines << entries.join(Semicolon);
    };
    settingLine([](const FieldSetting& s) { return flag(s.WantTrue); });
    settingLine([](const FieldSetting& s) { return flag(s.WantFalse); });
    settingLine([](const FieldSetting& s) { return s.StartsWith; });
    settingLine([](const FieldSetting& s) { return serialText(s.RangeStart); });
    settingLine([](const FieldSetting& s) { return serialText(s.RangeEnd); });
    settingLine([](const FieldSetting& s) { return s.LessThan; });
    settingLine([](const FieldSetting& s) { return s.GreaterThan; });
    settingLine([](const FieldSetting& s) { return numberText(s.ColWidth); });
    settingLine([](const FieldSetting& s) { return flag(s.HideCol); });
    settingLine([](const FieldSetting& s) { return flag(s.ShowTotal); });
    settingLine([](const FieldSetting& s) { return flag(s.IsCurrency); });

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        raiseError(ErrFileIo, QStringLiteral("The report file %1 could not be written: %2")
                                  .arg(path, file.errorString()));
        return false;
    }
    const QByteArray text = (lines.join(LineEnd) + LineEnd).toUtf8();
    if (file.write(text) != text.size() || !file.flush()) {
        raiseError(ErrFileIo, QStringLiteral("The report file %1 could not be written: %2")
                                  .arg(path, file.errorString()));
        return false;
    }
    return true;
}

ReportFileRead readReportFile(const QString& path, const QString& currentTable, Database& specDb,
                              WidthUnit unit) {
    ReportFileRead read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        raiseError(ErrFileIo, QStringLiteral("The report file %1 could not be read: %2")
                                  .arg(path, file.errorString()));
        return read;
    }
    // Lines end with CR LF or LF. A line the reader needs must end with its line end: a file
    // cut short (a copy or a save broken off) is refused rather than read as a report whose
    // remaining settings are empty.
    const QString text = QString::fromUtf8(file.readAll());
    QList<QStringView> lines;
    for (qsizetype start = 0; start < text.size() && lines.size() < ReportFileLines;) {
        const qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            break; // the last line has no line end: cut short, or line 22, which is not read
        QStringView line = QStringView(text).mid(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        lines << line;
        start = end + 1;
    }
    auto complete = [&lines](int number) { return number <= lines.size(); };
    auto line = [&lines](int number) {
        return number <= lines.size() ? lines[number - 1].toString() : QString();
    };

    const QString table = line(1);
    if (!complete(1) || (table != currentTable && (table.size() > MaxTableNameLength ||
                                                   !Catalogue::hasTable(specDb, table)))) {
        read.outcome = ReportFileRead::RejectedAtTable;
        return read;
    }
    read.catalogue = Catalogue::load(specDb, table);
    read.report = resetReport(read.catalogue, unit);
    read.outcome = ReportFileRead::Rejected;
    ReportDefinition& report = read.report;
    const Catalogue& catalogue = read.catalogue;

    report.title = line(2);
    if (!complete(LastReadSettingLine))
        return read;
    const std::optional<int> destination = wholeNumber(line(3), 1, 3);
    if (!destination)
        return read;
    report.destination = static_cast<ReportDestination>(*destination);
    const std::optional<int> orientation = wholeNumber(line(4), 0, 1);
    if (!orientation)
        return read;
    report.orientation = static_cast<PageOrientation>(*orientation);
    const std::optional<int> showDate = wholeNumber(line(5), 0, 1);
    if (!showDate)
        return read;
    report.showDate = *showDate == 1;
    const std::optional<int> pageNumbers = wholeNumber(line(6), 0, 2);
    if (!pageNumbers)
        return read;
    report.pageNumbers = static_cast<PageNumbers>(*pageNumbers);
    const std::optional<int> widthUnit = wholeNumber(line(7), 0, 1);
    if (!widthUnit)
        return read;
    report.widthUnit = static_cast<WidthUnit>(*widthUnit);
    // A sort position must be one the sort list has.
    const int lastSort = std::min<int>(catalogue.maxSpecId(), catalogue.sortFields().size()) - 1;
    const std::optional<int> primary = wholeNumber(line(8), NoSort, lastSort);
    if (!primary)
        return read;
    report.primarySort = *primary;
    const std::optional<int> secondary = wholeNumber(line(9), NoSort, lastSort);
    if (!secondary)
        return read;
    report.secondarySort = *secondary;
    if (!toNumber(line(10)))
        return read;

    // Ids that the table does not offer, or that came before, are skipped. Each line is
    // walked once: a long line costs its length, not its length times its entries.
    for (const QStringView entry : lines[FieldListLine - 1].split(u';')) {
        bool number = false;
        const int id = entry.trimmed().toInt(&number);
        if (number && catalogue.find(id) && !report.fields.contains(id))
            report.fields.append(id);
    }

    // One entry per id; entries beyond the catalogue's highest id are ignored.
    for (int lineNumber = FirstSettingLine; lineNumber <= LastReadSettingLine; ++lineNumber) {
        const QStringView settingLine = lines[lineNumber - 1];
        qsizetype start = 0;
        for (int id = 1;
             id <= catalogue.maxSpecId() && !settingLine.isEmpty() && start <= settingLine.size();
             ++id) {
            qsizetype end = settingLine.indexOf(u';', start);
            if (end < 0)
                end = settingLine.size();
            const QString entry = settingLine.mid(start, end - start).toString();
            start = end + 1;
            FieldSetting& s = report.setting(id);
            switch (lineNumber) {
            case 12:
            case 13:
            case 20:
            case 21: {
                const std::optional<int> bit = wholeNumber(entry, 0, 1);
                if (!bit)
                    return read;
                (lineNumber == 12   ? s.WantTrue
                 : lineNumber == 13 ? s.WantFalse
                 : lineNumber == 20 ? s.HideCol
                                    : s.ShowTotal) = *bit == 1;
                break;
            }
            case 14:
                s.StartsWith = entry;
                break;
            case 15:
            case 16: {
                const std::optional<double> number = toNumber(entry);
                if (!number)
                    return read;
                (lineNumber == 15 ? s.RangeStart : s.RangeEnd) = *number;
                break;
            }
            case 17:
                s.LessThan = entry;
                break;
            case 18:
                s.GreaterThan = entry;
                break;
            case 19: {
                const std::optional<double> number = toNumber(entry);
                if (!number)
                    return read;
                s.ColWidth = static_cast<float>(*number);
                break;
            }
            default:
                break;
            }
        }
    }
    read.outcome = ReportFileRead::Read;
    return read;
}

} // namespace tavrel
