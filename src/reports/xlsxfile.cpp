#include "reports/xlsxfile.h"

#include "reports/csv.h"

#include <QDir>
#include <QFile>

#include <cmath>

#include <xlsxwriter.h>

namespace tavrel {

namespace {

// Excel's own number formats, which a spreadsheet program shows in its user's formats.
constexpr uint8_t ShortDateFormat = 14; // m/d/yyyy in Excel's default locale
constexpr uint8_t TimeFormat = 20;      // h:mm
constexpr int FirstDateYear = 1900;     // a worksheet's dates begin with 1900
constexpr double TwipsPerPixel = 15;    // 1440 twips an inch, 96 pixels an inch
constexpr double MillisecondsPerDay = 24 * 60 * 60 * 1000;

// A text in quotes as a number format holds it (a quote in it cannot be part of it).
QString formatLiteral(QString text) {
    text.remove(QLatin1Char('"'));
    return text.isEmpty() ? QString() : QLatin1Char('"') + text + QLatin1Char('"');
}

class XlsxTableFile final : public TableFile {
public:
    XlsxTableFile(const QString& path, const QList<TableFileColumn>& columns)
        : path_(path)
        , encodedPath_(QFile::encodeName(path))
        , tempDir_(QFile::encodeName(QDir::tempPath())) {
        // The file is replaced at once, as a text file is: one that cannot be written is
        // reported before the report's rows are read, not after.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            fail(probe.errorString());
            return;
        }
        probe.close();

        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tempDir_.data();
        workbook_.reset(workbook_new_opt(encodedPath_.constData(), &options));
        sheet_ = workbook_ ? workbook_add_worksheet(workbook_.get(), nullptr) : nullptr;
        if (!sheet_) {
            fail(QStringLiteral("no workbook could be begun in %1")
                     .arg(QDir::toNativeSeparators(QDir::tempPath())));
            return;
        }
        heading_ = workbook_add_format(workbook_.get());
        format_set_bold(heading_);
        date_ = workbook_add_format(workbook_.get());
        format_set_num_format_index(date_, ShortDateFormat);
        time_ = workbook_add_format(workbook_.get());
        format_set_num_format_index(time_, TimeFormat);
        money_ = workbook_add_format(workbook_.get());
        format_set_num_format(money_, xlsxCurrencyFormat(QLocale()).toUtf8().constData());

        for (qsizetype c = 0; c < columns.size(); ++c) {
            if (columns.at(c).twips > 0)
                worksheet_set_column_pixels(
                    sheet_, lxw_col_t(c), lxw_col_t(c),
                    uint32_t(std::lround(columns.at(c).twips / TwipsPerPixel)), nullptr);
            check(worksheet_write_string(sheet_, 0, lxw_col_t(c),
                                         xlsxText(columns.at(c).heading).toUtf8().constData(),
                                         heading_));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        row_ = 1;
    }

    bool isOpen() const override { return workbook_ && !failed_; }

    void row(const CellRow& cells) override {
        if (!isOpen())
            return;
        if (row_ >= lxw_row_t(XlsxRowLimit)) {
            fail(QStringLiteral("a worksheet holds at most %1 rows; the rows after are left out")
                     .arg(XlsxRowLimit));
            return;
        }
        for (qsizetype c = 0; c < cells.size() && !failed_; ++c)
            write(lxw_col_t(c), cells.at(c));
        ++row_;
    }

    void close() override {
        if (!workbook_)
            return;
        // Closing writes the file and frees the workbook, whatever the outcome.
        const lxw_error closed = workbook_close(workbook_.release());
        if (closed != LXW_NO_ERROR && !failed_)
            fail(QString::fromUtf8(lxw_strerror(closed)));
    }

private:
    void write(lxw_col_t column, const Cell& cell) {
        if (cell.value.isNull() || cell.kind == CellKind::Text) {
            if (!cell.text.isEmpty())
                check(worksheet_write_string(sheet_, row_, column,
                                             xlsxText(cell.text).toUtf8().constData(), nullptr));
            return;
        }
        switch (cell.kind) {
        case CellKind::Text:
            break;
        case CellKind::Number:
            check(worksheet_write_number(sheet_, row_, column, cell.value.toDouble(), nullptr));
            break;
        case CellKind::Money:
            check(worksheet_write_number(sheet_, row_, column, cell.value.toDouble(), money_));
            break;
        case CellKind::Date: {
            const QDate date = cell.value.toDate();
            // A worksheet has no dates before its first: such a date stays text.
            if (date.year() < FirstDateYear) {
                check(worksheet_write_string(sheet_, row_, column,
                                             csvValue(cell).toUtf8().constData(), nullptr));
                break;
            }
            lxw_datetime when{date.year(), date.month(), date.day(), 0, 0, 0};
            check(worksheet_write_datetime(sheet_, row_, column, &when, date_));
            break;
        }
        case CellKind::Time:
            check(worksheet_write_number(
                sheet_, row_, column,
                cell.value.toTime().msecsSinceStartOfDay() / MillisecondsPerDay, time_));
            break;
        }
    }

    void check(lxw_error error) {
        if (error != LXW_NO_ERROR && !failed_)
            fail(QString::fromUtf8(lxw_strerror(error)));
    }

    // Reported once; the rows after are left out, and what was written before is kept.
    void fail(const QString& reason) {
        failed_ = true;
        raiseFileNotWritten(path_, reason);
    }

    QString path_;
    QByteArray encodedPath_;
    QByteArray tempDir_;
    // Freed unwritten unless closed.
    std::unique_ptr<lxw_workbook, decltype(&lxw_workbook_free)> workbook_{nullptr,
                                                                          &lxw_workbook_free};
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* heading_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* money_ = nullptr;
    lxw_row_t row_ = 0;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<TableFile> openXlsxFile(const QString& path,
                                        const QList<TableFileColumn>& columns) {
    return std::make_unique<XlsxTableFile>(path, columns);
}

QString xlsxText(const QString& text) {
    if (text.size() <= XlsxTextLimit)
        return text;
    qsizetype kept = XlsxTextLimit - XlsxCutMark.size();
    // Never half a character outside the Basic Multilingual Plane.
    if (text.at(kept - 1).isHighSurrogate())
        --kept;
    return text.left(kept) + XlsxCutMark;
}

QString xlsxCurrencyFormat(const QLocale& locale) {
    constexpr int Decimals = 2;
    const QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
    const auto section = [&](double amount) -> QString {
        const QString shown = locale.toCurrencyString(amount, symbol, Decimals);
        const QString digits = locale.toString(std::abs(amount), 'f', Decimals);
        const qsizetype at = shown.indexOf(digits);
        if (at < 0)
            return {};
        return formatLiteral(shown.left(at)) + QStringLiteral("#,##0.00") +
               formatLiteral(shown.mid(at + digits.size()));
    };
    const QString positive = section(1);
    const QString negative = section(-1);
    if (positive.isEmpty() || negative.isEmpty())
        return QStringLiteral("#,##0.00");
    return positive + QLatin1Char(';') + negative;
}

} // namespace tavrel
