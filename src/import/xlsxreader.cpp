#include "import/xlsxreader.h"

#include <QDir>
#include <QHash>
#include <QXmlStreamReader>

#include <zip.h>

#include <cmath>
#include <memory>
#include <optional>

namespace tavrel {

namespace {

// What a worksheet holds at most: 16,384 columns (A to XFD) and 1,048,576 rows.
constexpr int MaxColumns = 16384;
constexpr int MaxRows = 1048576;
// The largest part of a workbook that is read; a bigger one is no spreadsheet of tasks (or
// an archive built to fill the memory).
constexpr qint64 MaxPartBytes = 256 * 1024 * 1024;
constexpr qint64 ChunkBytes = 64 * 1024;
// Excel's last date, 31 December 9999, as a day number.
constexpr double LastSerialDate = 2958465;
// Before day 61 (1 March 1900) the 1900 date system counts a 29 February 1900 that never was.
constexpr double FirstSerialAfterFakeLeapDay = 61;
constexpr qint64 SecondsPerDay = 86400;

const QString NotAWorkbook = QStringLiteral("The file is not an Excel workbook (.xlsx).");

// The text of the document's XML parts, read with a limit.
class Archive {
public:
    explicit Archive(const QByteArray& bytes) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source =
            zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
        if (source) {
            zip_ = zip_open_from_source(source, ZIP_RDONLY, &error);
            if (!zip_)
                zip_source_free(source);
        }
        zip_error_fini(&error);
    }
    ~Archive() {
        if (zip_)
            zip_discard(zip_);
    }
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    bool isOpen() const { return zip_ != nullptr; }
    bool has(const QString& name) const {
        return zip_name_locate(zip_, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
    }
    // The part's bytes; nothing, with *error set, when it is missing, damaged or too big.
    std::optional<QByteArray> read(const QString& name, QString* error) const {
        const zip_int64_t index = zip_name_locate(zip_, name.toUtf8().constData(), ZIP_FL_NOCASE);
        if (index < 0) {
            *error = QStringLiteral("The workbook has no part %1.").arg(name);
            return std::nullopt;
        }
        zip_file_t* file = zip_fopen_index(zip_, zip_uint64_t(index), 0);
        if (!file) {
            *error = QStringLiteral("The workbook's part %1 cannot be read.").arg(name);
            return std::nullopt;
        }
        QByteArray data;
        QByteArray chunk(ChunkBytes, Qt::Uninitialized);
        zip_int64_t got = 0;
        while ((got = zip_fread(file, chunk.data(), zip_uint64_t(chunk.size()))) > 0) {
            if (data.size() + got > MaxPartBytes) {
                zip_fclose(file);
                *error = QStringLiteral("The workbook's part %1 is larger than %2 MB.")
                             .arg(name)
                             .arg(MaxPartBytes / (1024 * 1024));
                return std::nullopt;
            }
            data.append(chunk.constData(), qsizetype(got));
        }
        zip_fclose(file);
        if (got < 0) {
            *error = QStringLiteral("The workbook is damaged: its part %1 cannot be unpacked.")
                         .arg(name);
            return std::nullopt;
        }
        return data;
    }

private:
    zip_t* zip_ = nullptr;
};

// Texts of the XML keep characters XML cannot hold as _xHHHH_ (a carriage return is
// _x000D_); _x005F_ is the underscore that would otherwise start one.
QString unescaped(const QString& text) {
    if (!text.contains(QLatin1String("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool hex = false;
            const uint code = QStringView(text).mid(i + 2, 4).toUInt(&hex, 16);
            if (hex) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The part a relationship leads to from `fromFolder`: relative targets are resolved against
// it, one starting with "/" against the archive's root.
QString resolved(const QString& fromFolder, const QString& target) {
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(fromFolder.isEmpty() ? target : fromFolder + u'/' + target);
}

QString folderOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

// A relationship's attribute "Id"-like names are unqualified; r:id is the one with a
// namespace (transitional or strict), whichever prefix the file gives it.
QString relationshipId(const QXmlStreamAttributes& attributes) {
    for (const QXmlStreamAttribute& a : attributes)
        if (a.name() == QLatin1String("id") && !a.namespaceUri().isEmpty())
            return a.value().toString();
    return {};
}

// Walks every element of a part: `start` is called at each start element, the reader
// standing on it. False when the XML is not well formed.
template <typename Start> bool walk(QXmlStreamReader& xml, Start start) {
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            start();
    }
    return !xml.hasError();
}

struct Relationship {
    QString type;   // the last part of the type's URI: "worksheet", "sharedStrings" ...
    QString target; // the part it leads to
};

// The relationships of `part` (its _rels/NAME.rels), by id; none when it has no such part.
std::optional<QHash<QString, Relationship>> relationshipsOf(const Archive& archive,
                                                            const QString& part, QString* error) {
    const QString folder = folderOf(part);
    const QString name = part.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    const QString relsName = (folder.isEmpty() ? QString() : folder + u'/') +
                             QStringLiteral("_rels/") + name + QStringLiteral(".rels");
    QHash<QString, Relationship> found;
    if (!archive.has(relsName))
        return found;
    const std::optional<QByteArray> bytes = archive.read(relsName, error);
    if (!bytes)
        return std::nullopt;
    QXmlStreamReader xml(*bytes);
    if (!walk(xml, [&] {
            if (xml.name() != QLatin1String("Relationship"))
                return;
            const QXmlStreamAttributes a = xml.attributes();
            const QString type = a.value(QLatin1String("Type")).toString();
            found.insert(a.value(QLatin1String("Id")).toString(),
                         {type.mid(type.lastIndexOf(u'/') + 1),
                          resolved(folder, a.value(QLatin1String("Target")).toString())});
        })) {
        *error =
            QStringLiteral("The workbook is damaged: %1 (%2).").arg(relsName, xml.errorString());
        return std::nullopt;
    }
    return found;
}

QString damaged(const QString& part, const QXmlStreamReader& xml) {
    return QStringLiteral("The workbook is damaged: its part %1 is not readable XML (%2, line "
                          "%3).")
        .arg(part, xml.errorString())
        .arg(xml.lineNumber());
}

// The text of an <si> or <is> element, the reader standing on it: its <t>, or the <t> of
// each of its runs, joined; phonetic guides (<rPh>) are not part of the text.
QString richText(QXmlStreamReader& xml) {
    QString text;
    const QString end = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("rPh"))
                xml.skipCurrentElement();
            else if (xml.name() == QLatin1String("t"))
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement() && xml.name() == end) {
            break;
        }
    }
    return unescaped(text);
}

// The workbook's facts the cells need: its texts, which of its cell formats are dates, and
// its date system.
struct Workbook {
    QString sheetPart;
    QStringList sharedStrings;
    QList<bool> dateStyles; // by the cell's style index (its s attribute)
    bool date1904 = false;
};

bool readWorkbookPart(const Archive& archive, Workbook* book, QString* sharedPart,
                      QString* stylesPart, QString* error) {
    // The package's relationships name the workbook part; xl/workbook.xml is its usual name.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    const auto packageRels = relationshipsOf(archive, QString(), error);
    if (!packageRels)
        return false;
    for (const Relationship& r : *packageRels)
        if (r.type == QLatin1String("officeDocument"))
            workbookPart = r.target;
    if (!archive.has(workbookPart)) {
        *error = NotAWorkbook;
        return false;
    }
    const std::optional<QByteArray> bytes = archive.read(workbookPart, error);
    if (!bytes)
        return false;
    QString firstSheetId;
    QXmlStreamReader xml(*bytes);
    const bool wellFormed = walk(xml, [&] {
        if (xml.name() == QLatin1String("workbookPr")) {
            const QStringView flag = xml.attributes().value(QLatin1String("date1904"));
            book->date1904 = flag == QLatin1String("1") || flag == QLatin1String("true");
        } else if (xml.name() == QLatin1String("sheet") && firstSheetId.isEmpty()) {
            firstSheetId = relationshipId(xml.attributes());
        }
    });
    if (!wellFormed) {
        *error = damaged(workbookPart, xml);
        return false;
    }
    const auto rels = relationshipsOf(archive, workbookPart, error);
    if (!rels)
        return false;
    const QString folder = folderOf(workbookPart);
    book->sheetPart = rels->value(firstSheetId).target;
    if (book->sheetPart.isEmpty())
        book->sheetPart = resolved(folder, QStringLiteral("worksheets/sheet1.xml"));
    *sharedPart = resolved(folder, QStringLiteral("sharedStrings.xml"));
    *stylesPart = resolved(folder, QStringLiteral("styles.xml"));
    for (const Relationship& r : *rels) {
        if (r.type == QLatin1String("sharedStrings"))
            *sharedPart = r.target;
        else if (r.type == QLatin1String("styles"))
            *stylesPart = r.target;
    }
    if (!archive.has(book->sheetPart)) {
        *error = QStringLiteral("The workbook has no worksheet.");
        return false;
    }
    return true;
}

bool readSharedStrings(const Archive& archive, const QString& part, Workbook* book,
                       QString* error) {
    if (!archive.has(part))
        return true;
    const std::optional<QByteArray> bytes = archive.read(part, error);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
    if (!walk(xml, [&] {
            if (xml.name() == QLatin1String("si"))
                book->sharedStrings.append(richText(xml));
        })) {
        *error = damaged(part, xml);
        return false;
    }
    return true;
}

bool readStyles(const Archive& archive, const QString& part, Workbook* book, QString* error) {
    if (!archive.has(part))
        return true;
    const std::optional<QByteArray> bytes = archive.read(part, error);
    if (!bytes)
        return false;
    QHash<int, QString> codes;
    QList<int> formatIds;
    bool inCellFormats = false;
    QXmlStreamReader xml(*bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs"))
            inCellFormats = false;
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("numFmt"))
            codes.insert(a.value(QLatin1String("numFmtId")).toInt(),
                         a.value(QLatin1String("formatCode")).toString());
        else if (xml.name() == QLatin1String("cellXfs"))
            inCellFormats = true;
        else if (inCellFormats && xml.name() == QLatin1String("xf"))
            formatIds.append(a.value(QLatin1String("numFmtId")).toInt());
    }
    if (xml.hasError()) {
        *error = damaged(part, xml);
        return false;
    }
    for (const int id : std::as_const(formatIds))
        book->dateStyles.append(isDateFormat(id, codes.value(id)));
    return true;
}

// A cell reference's column ("BC12": 54) and row (12); false for one that is no reference
// within a worksheet's bounds.
bool readReference(QStringView reference, int* column, int* row) {
    qsizetype i = 0;
    qint64 c = 0;
    for (; i < reference.size() && reference[i].isLetter(); ++i) {
        const char16_t letter = reference[i].toUpper().unicode();
        if (letter < u'A' || letter > u'Z')
            return false;
        c = c * 26 + (letter - u'A' + 1);
        if (c > MaxColumns)
            return false;
    }
    bool number = false;
    const int r = reference.mid(i).toInt(&number);
    if (i == 0 || !number || r < 1 || r > MaxRows)
        return false;
    *column = int(c - 1);
    *row = r;
    return true;
}

// A day number of the workbook's date system as a date and time; nothing for a number no
// date is shown for (a negative one, or one after the year 9999).
std::optional<QDateTime> serialDate(double serial, bool date1904) {
    if (!std::isfinite(serial) || serial < 0 || serial > LastSerialDate)
        return std::nullopt;
    double days = std::floor(serial);
    qint64 seconds = std::llround((serial - days) * SecondsPerDay);
    if (seconds == SecondsPerDay) {
        days += 1;
        seconds = 0;
    }
    QDate base;
    if (date1904)
        base = QDate(1904, 1, 1);
    else
        base = serial < FirstSerialAfterFakeLeapDay ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    return QDateTime(base.addDays(qint64(days)), QTime(0, 0).addSecs(int(seconds)));
}

struct CellRead {
    QString type;  // the t attribute
    int style = 0; // the s attribute
    QString value; // <v>
    QString inlineText;
    bool hasInline = false;
};

// The cell as the sheet keeps it; false with *error set for a cell that no workbook
// program writes (a shared text that is not there, a number that is none).
bool makeCell(const CellRead& read, const Workbook& book, SheetCell* cell, bool* empty,
              QString* error, const QString& where) {
    *empty = false;
    const QString& t = read.type;
    if (t == QLatin1String("s")) {
        bool number = false;
        const int index = read.value.trimmed().toInt(&number);
        if (!number || index < 0 || index >= book.sharedStrings.size()) {
            *error = QStringLiteral("The workbook is damaged: cell %1 refers to a text it does "
                                    "not hold.")
                         .arg(where);
            return false;
        }
        cell->text = book.sharedStrings.at(index);
    } else if (t == QLatin1String("inlineStr")) {
        cell->text = read.inlineText;
    } else if (t == QLatin1String("str")) {
        cell->text = unescaped(read.value);
    } else if (t == QLatin1String("e")) {
        cell->kind = SheetCell::Kind::Error;
        cell->text = read.value;
    } else if (t == QLatin1String("b")) {
        cell->kind = SheetCell::Kind::Bool;
        cell->number = read.value.trimmed() == QLatin1String("1") ? 1 : 0;
        cell->text = cell->number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    } else if (t == QLatin1String("d")) {
        // A date written as text (ISO 8601), as strict workbooks keep dates.
        const QString iso = read.value.trimmed();
        QDateTime when = QDateTime::fromString(iso, Qt::ISODate);
        if (!when.isValid())
            when = QDateTime(QDate::fromString(iso, Qt::ISODate), QTime(0, 0));
        if (!when.isValid()) {
            *error = QStringLiteral("The workbook is damaged: cell %1 holds %2 as a date.")
                         .arg(where, iso);
            return false;
        }
        cell->kind = SheetCell::Kind::Date;
        cell->dateTime = QDateTime(when.date(), when.time());
    } else {
        const QString v = read.value.trimmed();
        if (v.isEmpty()) {
            *empty = true;
            return true;
        }
        bool number = false;
        cell->number = v.toDouble(&number);
        if (!number) {
            *error = QStringLiteral("The workbook is damaged: cell %1 holds %2 as a number.")
                         .arg(where, v);
            return false;
        }
        cell->kind = SheetCell::Kind::Number;
        if (read.style >= 0 && read.style < book.dateStyles.size() &&
            book.dateStyles.at(read.style))
            if (const std::optional<QDateTime> when = serialDate(cell->number, book.date1904)) {
                cell->kind = SheetCell::Kind::Date;
                cell->dateTime = *when;
            }
    }
    *empty = cell->kind == SheetCell::Kind::Text && cell->text.isEmpty();
    return true;
}

// Reads the rows of the worksheet into the sheet: the first row that holds anything gives the
// headings.
bool readWorksheet(const Archive& archive, const Workbook& book, Sheet* sheet, QString* error) {
    const std::optional<QByteArray> bytes = archive.read(book.sheetPart, error);
    if (!bytes)
        return false;
    QXmlStreamReader xml(*bytes);
    bool inData = false;
    bool headed = false;
    int rowNumber = 0;
    int column = -1;
    SheetRow row;
    const auto endRow = [&] {
        if (row.cells.isEmpty())
            return;
        if (!headed) {
            headed = true;
            for (const SheetCell& cell : std::as_const(row.cells)) {
                while (sheet->headings.size() < cell.column)
                    sheet->headings.append(QString());
                sheet->headings.append(cell.kind == SheetCell::Kind::Text
                                           ? cell.text
                                           : QString::number(cell.number, 'g', 15));
            }
        } else {
            sheet->rows.append(std::move(row));
        }
        row = SheetRow();
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("sheetData"))
                inData = false;
            else if (inData && xml.name() == QLatin1String("row"))
                endRow();
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("sheetData")) {
            inData = true;
        } else if (inData && xml.name() == QLatin1String("row")) {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            bool number = true;
            const int given = r.isEmpty() ? rowNumber + 1 : r.toInt(&number);
            if (!number || given < 1 || given > MaxRows || given <= rowNumber) {
                *error = QStringLiteral("The workbook is damaged: a row after row %1 is numbered "
                                        "%2.")
                             .arg(rowNumber)
                             .arg(r.toString());
                return false;
            }
            rowNumber = given;
            row = SheetRow();
            row.line = rowNumber;
            column = -1;
        } else if (inData && xml.name() == QLatin1String("c")) {
            const QXmlStreamAttributes a = xml.attributes();
            const QStringView reference = a.value(QLatin1String("r"));
            int cellRow = rowNumber;
            int cellColumn = column + 1;
            if (!reference.isEmpty() && !readReference(reference, &cellColumn, &cellRow)) {
                *error = QStringLiteral("The workbook is damaged: %1 is no cell of a worksheet.")
                             .arg(reference.toString());
                return false;
            }
            if (cellRow != rowNumber || cellColumn <= column || cellColumn >= MaxColumns) {
                *error = QStringLiteral("The workbook is damaged: cell %1 lies out of its row's "
                                        "order.")
                             .arg(columnName(cellColumn) + QString::number(cellRow));
                return false;
            }
            column = cellColumn;
            CellRead read;
            read.type = a.value(QLatin1String("t")).toString();
            read.style = a.value(QLatin1String("s")).toInt();
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                    break;
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == QLatin1String("v")) {
                    read.value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                } else if (xml.name() == QLatin1String("is")) {
                    read.inlineText = richText(xml);
                    read.hasInline = true;
                } else {
                    xml.skipCurrentElement(); // the formula, extensions
                }
            }
            SheetCell cell;
            cell.column = column;
            bool empty = false;
            if (!makeCell(read, book, &cell, &empty, error,
                          columnName(column) + QString::number(rowNumber)))
                return false;
            if (!empty)
                row.cells.append(std::move(cell));
        }
    }
    if (xml.hasError()) {
        *error = damaged(book.sheetPart, xml);
        return false;
    }
    return true;
}

// A format's code without what it shows as written: texts in quotes, [colours] and
// [conditions], escaped characters and the spacing and fill marks with their character.
QString formatLetters(const QString& code) {
    QString letters;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            i = close < 0 ? code.size() : close;
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i + 1);
            i = close < 0 ? code.size() : close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else {
            letters += c;
        }
    }
    return letters;
}

} // namespace

bool isDateFormat(int formatId, const QString& code) {
    // Built-in formats of dates and times (14 to 22: dates and times; 45 to 47: minutes
    // and seconds).
    if ((formatId >= 14 && formatId <= 22) || (formatId >= 45 && formatId <= 47))
        return true;
    if (code.isEmpty())
        return false;
    const QString letters = formatLetters(code).toLower();
    for (const QChar c : letters)
        if (c == u'd' || c == u'm' || c == u'y' || c == u'h' || c == u's')
            return true;
    return false;
}

Sheet readXlsx(const QByteArray& bytes) {
    Sheet sheet;
    const Archive archive(bytes);
    if (!archive.isOpen()) {
        sheet.error = NotAWorkbook;
        return sheet;
    }
    Workbook book;
    QString sharedPart;
    QString stylesPart;
    QString error;
    if (!readWorkbookPart(archive, &book, &sharedPart, &stylesPart, &error) ||
        !readSharedStrings(archive, sharedPart, &book, &error) ||
        !readStyles(archive, stylesPart, &book, &error) ||
        !readWorksheet(archive, book, &sheet, &error)) {
        sheet = Sheet();
        sheet.error = error;
    }
    return sheet;
}

} // namespace tavrel
