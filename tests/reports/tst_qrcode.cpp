// QR code symbols: painted into a PDF as vectors at the smallest size the program prints
// them, and read back by a barcode reader from the page as a printer renders it.
#include "core/workordercode.h"
#include "reports/qrcode.h"
#include "support/pdfreading.h"

#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tavrel;

class tst_qrcode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void symbols();
    void paintedCodesReadBack();
};

void tst_qrcode::symbols() {
    const QString code =
        workordercode::formatCode(QStringLiteral("7K2"), workordercode::CodeKind::Task, 123);
    const QrSymbol symbol = QrSymbol::encode(code);
    // A code of the program fits the smallest symbol, whose modules are the largest at a
    // given size.
    QCOMPARE(symbol.size(), 21);
    // The three finder patterns: dark corners, a light ring inside them.
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{20, 0}, std::pair{0, 20}})
        QVERIFY(symbol.isDark(x, y));
    QVERIFY(!symbol.isDark(1, 1));
    QVERIFY(symbol.isDark(3, 3));
    QVERIFY(!symbol.isDark(20, 20) || !symbol.isDark(19, 19) || !symbol.isDark(18, 18));
    QVERIFY(QrSymbol::encode(QString()).isNull());
    // The longest key still fits a small symbol.
    QVERIFY(QrSymbol::encode(workordercode::formatCode(QStringLiteral("ZZZ"),
                                                       workordercode::CodeKind::Assignment,
                                                       workordercode::MaxKey))
                .size() <= 25);
}

void tst_qrcode::paintedCodesReadBack() {
    if (!test::pdfToolsPresent())
        QSKIP("poppler-utils and zbar-tools are needed to read the codes back");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("codes.pdf"));
    QStringList written;
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(1200);
        QPainter painter(&writer);
        const double mm = writer.resolution() / 25.4;
        // Eighteen millimetres square, the smallest the program prints, in a row with room
        // for each one's quiet zone; texts of every kind the program writes and one that
        // needs bytes.
        const QStringList texts = {
            workordercode::formatCode(QStringLiteral("7K2"), workordercode::CodeKind::Assignment,
                                      1),
            workordercode::formatCode(QStringLiteral("000"), workordercode::CodeKind::Task,
                                      2'147'483'647),
            workordercode::formatCode(QStringLiteral("ZZZ"), workordercode::CodeKind::Assignment,
                                      909'090),
            QStringLiteral("Kesselraum Süd — Pumpe 3"),
        };
        for (int i = 0; i < texts.size(); ++i) {
            paintQrSymbol(painter, QRectF((10 + i * 45) * mm, 20 * mm, 18 * mm, 18 * mm),
                          QrSymbol::encode(texts[i]));
            written << texts[i];
        }
    }
    written.sort();
    for (const int dpi : {150, 300})
        QCOMPARE(test::qrCodesOnPage(pdf, 1, dpi), written);

    // Drawn, not pasted in as a picture: the PDF holds no image.
    QProcess images;
    images.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    QVERIFY(images.waitForFinished(60'000));
    const QStringList lines =
        QString::fromUtf8(images.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2); // the two heading lines of an empty list
}

QTEST_MAIN(tst_qrcode)
#include "tst_qrcode.moc"
