#include "import/csvreader.h"

#include <QStringDecoder>

#include <array>

namespace tavrel {

namespace {

constexpr char16_t Quote = u'"';
constexpr char16_t Cr = u'\r';
constexpr char16_t Lf = u'\n';

// What Windows-1252 puts at 0x80 to 0x9F; the rest of its bytes are Latin-1's. Bytes it
// leaves unassigned keep their Latin-1 control character.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = byte >= 0x80 && byte < 0xA0 ? QChar(Windows1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QString decode(const QByteArray& bytes) {
    const QByteArrayView all(bytes);
    if (all.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(all.sliced(3));
    if (all.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE)(all.sliced(2));
    if (all.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE)(all.sliced(2));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(all);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(all);
}

// The separator of the first line's fields: the one of comma, semicolon and tab that occurs
// most often outside quotes (the comma where none does, or on a tie).
QChar separatorOf(const QString& text) {
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == Quote)
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == Cr || c == Lf)
            break;
        else if (c == u',')
            ++commas;
        else if (c == u';')
            ++semicolons;
        else if (c == u'\t')
            ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs)
        return u';';
    if (tabs > commas && tabs > semicolons)
        return u'\t';
    return u',';
}

// Gathers the fields of one line after the other into the sheet: the first line that holds
// anything gives the headings, each later one that does a row.
class SheetBuilder {
public:
    explicit SheetBuilder(Sheet& sheet)
        : sheet_(sheet) {}

    void field(QString text) {
        if (!text.isEmpty()) {
            SheetCell cell;
            cell.column = column_;
            cell.text = std::move(text);
            cells_.append(std::move(cell));
        }
        ++column_;
    }
    void endLine() {
        if (!cells_.isEmpty()) {
            if (!headed_) {
                headed_ = true;
                for (const SheetCell& cell : std::as_const(cells_)) {
                    while (sheet_.headings.size() < cell.column)
                        sheet_.headings.append(QString());
                    sheet_.headings.append(cell.text);
                }
            } else {
                sheet_.rows.append(SheetRow{line_, std::move(cells_)});
            }
        }
        cells_.clear();
        column_ = 0;
        ++line_;
    }
    int line() const { return line_; }

private:
    Sheet& sheet_;
    QList<SheetCell> cells_;
    int column_ = 0;
    int line_ = 1;
    bool headed_ = false;
};

} // namespace

Sheet readCsv(const QByteArray& bytes) {
    Sheet sheet;
    const QString text = decode(bytes);
    const QChar separator = separatorOf(text);
    SheetBuilder builder(sheet);
    QString field;
    bool quoted = false;   // inside a quoted part of the field
    bool lineOpen = false; // the line holds a field already (an empty one counts)
    int quoteLine = 0;     // the line a quoted part started on
    const qsizetype size = text.size();
    const QStringView all(text);
    const auto special = [separator](QChar c) {
        return c == Quote || c == separator || c == Cr || c == Lf;
    };
    for (qsizetype i = 0; i < size; ++i) {
        if (quoted) {
            // The quoted part up to its next quote at once.
            const qsizetype close = text.indexOf(Quote, i);
            if (close < 0) {
                i = size;
                break;
            }
            field += all.sliced(i, close - i);
            i = close;
            if (i + 1 < size && text[i + 1] == Quote) {
                field += Quote;
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        lineOpen = true;
        const QChar c = text[i];
        if (c == Quote) {
            // A quote opens a quoted part anywhere in a field; text around it is kept, as
            // spreadsheet programs keep it.
            quoted = true;
            quoteLine = builder.line();
        } else if (c == separator) {
            builder.field(std::exchange(field, QString()));
        } else if (c == Cr || c == Lf) {
            if (c == Cr && i + 1 < size && text[i + 1] == Lf)
                ++i;
            builder.field(std::exchange(field, QString()));
            builder.endLine();
            lineOpen = false;
        } else {
            // The plain text up to the next character that means something, at once.
            qsizetype end = i + 1;
            while (end < size && !special(text[end]))
                ++end;
            field += all.sliced(i, end - i);
            i = end - 1;
        }
    }
    if (quoted) {
        sheet.error = QStringLiteral("The quotes opened in row %1 are never closed: a field "
                                     "that holds a quote must double it (\"\").")
                          .arg(quoteLine);
        sheet.headings.clear();
        sheet.rows.clear();
        return sheet;
    }
    if (lineOpen) {
        builder.field(field);
        builder.endLine();
    }
    return sheet;
}

} // namespace tavrel
