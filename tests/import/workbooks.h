#pragma once

// Excel workbooks made part by part for the import's tests: odd ones no spreadsheet program
// writes on request (rich text, skipped cells and rows, the 1904 date system, damage), as
// the XML and the ZIP archive of the file format lay them out.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <zip.h>

namespace tavrel::test {

using Parts = QList<QPair<QString, QByteArray>>;

// The bytes of a ZIP archive holding `parts`; empty when it could not be made.
inline QByteArray zipOf(const Parts& parts) {
    QTemporaryFile file;
    if (!file.open())
        return {};
    const QByteArray name = file.fileName().toUtf8();
    int error = 0;
    zip_t* zip = zip_open(name.constData(), ZIP_TRUNCATE, &error);
    if (!zip)
        return {};
    for (const auto& [partName, bytes] : parts) {
        zip_source_t* source =
            zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!source ||
            zip_file_add(zip, partName.toUtf8().constData(), source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return {};
        }
    }
    if (zip_close(zip) != 0)
        return {};
    // libzip writes the archive anew and renames it to the name: read what the name holds.
    QFile written(file.fileName());
    return written.open(QIODevice::ReadOnly) ? written.readAll() : QByteArray();
}

// What a test workbook holds beside its sheet.
struct Workbook {
    QString sheetData;         // the inside of <sheetData>
    QStringList sharedStrings; // the inside of each <si>
    QList<int> cellFormats;    // the number format of each cell format (s="0", s="1" ...)
    QList<QPair<int, QString>> numberFormats; // the workbook's own formats: id and code
    bool date1904 = false;
};

inline QByteArray xmlEscaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

inline Parts workbookParts(const Workbook& book) {
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    Parts parts;
    parts << QPair<QString, QByteArray>{
        "[Content_Types].xml",
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"};
    parts << QPair<QString, QByteArray>{
        "_rels/.rels",
        "<?xml version=\"1.0\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
        "Id=\"rId1\" Type=\"" +
            rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"};
    parts << QPair<QString, QByteArray>{
        "xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel +
                               "\"><workbookPr" + (book.date1904 ? " date1904=\"1\"" : "") +
                               "/><sheets><sheet name=\"Equipment\" sheetId=\"1\" "
                               "r:id=\"rId7\"/><sheet name=\"Other\" "
                               "sheetId=\"2\" r:id=\"rId8\"/></sheets></workbook>"};
    parts << QPair<QString, QByteArray>{
        "xl/_rels/workbook.xml.rels",
        "<?xml version=\"1.0\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId8\" Type=\"" +
            rel +
            "/worksheet\" Target=\"worksheets/sheet2.xml\"/>"
            "<Relationship Id=\"rId7\" Type=\"" +
            rel +
            "/worksheet\" Target=\"/xl/worksheets/first.xml\"/>"
            "<Relationship Id=\"rId2\" Type=\"" +
            rel +
            "/sharedStrings\" Target=\"strings.xml\"/>"
            "<Relationship Id=\"rId3\" Type=\"" +
            rel +
            "/styles\" Target=\"styles.xml\"/>"
            "</Relationships>"};
    QByteArray strings = "<?xml version=\"1.0\"?><sst " + ns + ">";
    for (const QString& si : book.sharedStrings)
        strings += "<si>" + si.toUtf8() + "</si>";
    parts << QPair<QString, QByteArray>{"xl/strings.xml", strings + "</sst>"};
    QByteArray styles = "<?xml version=\"1.0\"?><styleSheet " + ns + "><numFmts>";
    for (const auto& [id, code] : book.numberFormats)
        styles += "<numFmt numFmtId=\"" + QByteArray::number(id) + "\" formatCode=\"" +
                  xmlEscaped(code) + "\"/>";
    // The formats of cell styles come first and must not count as the cells' own.
    styles += "</numFmts><cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs><cellXfs>";
    for (const int id : book.cellFormats)
        styles += "<xf numFmtId=\"" + QByteArray::number(id) + "\" xfId=\"0\"/>";
    parts << QPair<QString, QByteArray>{"xl/styles.xml", styles + "</cellXfs></styleSheet>"};
    parts << QPair<QString, QByteArray>{"xl/worksheets/first.xml",
                                        "<?xml version=\"1.0\"?><worksheet " + ns + "><sheetData>" +
                                            book.sheetData.toUtf8() + "</sheetData></worksheet>"};
    parts << QPair<QString, QByteArray>{
        "xl/worksheets/sheet2.xml",
        "<?xml version=\"1.0\"?><worksheet " + ns +
            "><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Not the first "
            "sheet</t></is></c></row></sheetData></worksheet>"};
    return parts;
}

// A workbook of texts alone, each row a row of inline texts from column A on (an empty text
// leaves its cell out).
inline QByteArray textWorkbook(const QList<QStringList>& rows) {
    Workbook book;
    for (int r = 0; r < rows.size(); ++r) {
        book.sheetData += QStringLiteral("<row r=\"%1\">").arg(r + 1);
        for (int c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].isEmpty())
                book.sheetData +=
                    QStringLiteral("<c r=\"%1%2\" t=\"inlineStr\"><is><t>%3</t></is></c>")
                        .arg(QChar(u'A' + c))
                        .arg(r + 1)
                        .arg(rows[r][c].toHtmlEscaped());
        book.sheetData += QStringLiteral("</row>");
    }
    return zipOf(workbookParts(book));
}

} // namespace tavrel::test
