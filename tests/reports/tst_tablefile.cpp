// Reports as one table for spreadsheets: the workbook's cells at the limits of what a
// worksheet holds, money in the user's currency, and files that cannot be written.

#include "data/errortrap.h"
#include "reports/tablefile.h"
#include "reports/xlsxfile.h"
#include "support/tablefiles.h"
#include "support/tempdatabase.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;

class TestTableFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tavrel::test::useTestLocale(); }

    // Texts longer than a cell holds are cut with a mark, never inside a character; dates
    // before a worksheet's first stay text; spaces, quotes and markup are kept as they are.
    void workbookCells() {
        QTemporaryDir dir;
        const QString path = dir.filePath("edges.xlsx");
        const QString emoji = QStringLiteral("\U0001F600");
        const QString longText(40000, QLatin1Char('x'));
        const QString splitPair =
            QString(XlsxTextLimit - 2, QLatin1Char('y')) + emoji + QString(10, QLatin1Char('y'));
        std::unique_ptr<TableFile> table =
            openTableFile(TableFileType::Xlsx, path, {{"Value", 2000}, {"Other", 0}});
        QVERIFY(table->isOpen());
        const CellRow rows[] = {
            {Cell::ofText(longText), Cell::ofText(splitPair)},
            {Cell::ofDate(QDate(1899, 12, 31), "12/31/1899"),
             Cell::ofDate(QDate(1900, 1, 1), "1/1/1900")},
            {Cell::ofDate(QDate(1900, 3, 1), "3/1/1900"),
             Cell::ofDate(QDate(9999, 12, 31), "12/31/9999")},
            {Cell::ofTime(QTime(7, 30), "7:30 AM"), Cell::ofDate(QDate(), "")},
            {Cell::ofMoney(-1234.5, "($1,234.50)"), Cell::ofNumber(0.1 + 0.2, "0.3")},
            {Cell::ofText("  padded  "), Cell::ofText("a<b & \"c\" 'd'\nline two")},
        };
        for (const CellRow& row : rows)
            table->row(row);
        table->close();

        const TableFileRead read = readTableFile(path);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.rows.size(), 7);
        const QString cut = read.rows[1][0];
        QCOMPARE(cut.size(), XlsxTextLimit);
        QCOMPARE(cut, longText.left(XlsxTextLimit - 1) + XlsxCutMark);
        QCOMPARE(read.rows[1][1], QString(XlsxTextLimit - 2, QLatin1Char('y')) + XlsxCutMark);
        QCOMPARE(read.rows.mid(2),
                 (QList<QStringList>{{"1899-12-31", "1900-01-01"},
                                     {"1900-03-01", "9999-12-31"},
                                     {"07:30", ""},
                                     {"-1234.50", "0.3"},
                                     {"  padded  ", "a<b & \"c\" 'd'\nline two"}}));
        QCOMPARE(read.kinds, (QStringList{"ss", "ss", "sd", "dd", "t-", "mn", "ss"}));
        QCOMPARE(read.pixels, (QList<int>{133, 0}));
        QCOMPARE(read.formats, QStringList{xlsxCurrencyFormat(QLocale())});
    }

    // Money in the user's currency: its symbol where the locale puts it, two decimals, and a
    // negative amount as the locale shows one.
    void currencyFormats_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("format");
        QTest::newRow("en_US") << "en_US"
                               << "\"$\"#,##0.00;\"($\"#,##0.00\")\"";
        QTest::newRow("de_DE") << "de_DE"
                               << "#,##0.00\"\u00A0€\";\"-\"#,##0.00\"\u00A0€\"";
        QTest::newRow("ja_JP") << "ja_JP"
                               << "\"￥\"#,##0.00;\"(￥\"#,##0.00\")\"";
    }
    void currencyFormats() {
        QFETCH(QString, locale);
        QFETCH(QString, format);
        QCOMPARE(xlsxCurrencyFormat(QLocale(locale)), format);
    }

    // A file that cannot be written is reported once, by its name, when it is opened; the
    // table is then not open and writes nothing. A file of the name is replaced at once.
    void unwritableFiles() {
        QTemporaryDir dir;
        for (const TableFileType type : {TableFileType::Csv, TableFileType::Xlsx}) {
            const QString path = dir.filePath(type == TableFileType::Csv ? "no/such/dir/a.csv"
                                                                         : "no/such/dir/a.xlsx");
            QStringList reported;
            {
                ErrorTrap trap([&](const DbError& error) {
                    QCOMPARE(error.number, ErrFileIo);
                    reported << error.description;
                });
                std::unique_ptr<TableFile> table = openTableFile(type, path, {{"Name", 0}});
                QVERIFY(!table->isOpen());
                table->row({Cell::ofText("lost")});
                table->close();
            }
            QCOMPARE(reported.size(), 1);
            QVERIFY2(reported.first().startsWith("The file '" + QDir::toNativeSeparators(path) +
                                                 "' could not be written: "),
                     qPrintable(reported.first()));
            QVERIFY(!QFile::exists(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestTableFile)
#include "tst_tablefile.moc"
