// The code on work orders and labels: what it looks like, that it reads back, and that a
// typing mistake of one character or a swap of two neighbours is never taken for a code.
#include "core/workordercode.h"

#include <QtTest>

using namespace tavrel::workordercode;

namespace {

const QString Alphabet = QStringLiteral("0123456789ABCDEFGHJKMNPQRSTVWXYZ");

// The characters someone might type by mistake: the alphabet, the letters it leaves out,
// small letters the reader does not fold to the same code, a dash, a blank and others.
QString mistypedCharacters() {
    return Alphabet + QStringLiteral("ILOU-_ .#é٣");
}

} // namespace

class tst_workordercode : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void codesReadBack();
    void siteTags();
    void everyTypoAndNeighbourSwapIsRefused();
    void textsThatAreNotCodes();
};

void tst_workordercode::codesReadBack() {
    const QString code = formatCode(QStringLiteral("7K2"), CodeKind::Assignment, 123);
    QVERIFY(code.startsWith(QStringLiteral("TVL-7K2-A-000123-")));
    QCOMPARE(code.size(), 18);

    for (const qint64 key : {qint64(1), qint64(123), qint64(999'999), qint64(1'000'000),
                             qint64(2'147'483'647), MaxKey}) {
        for (const CodeKind kind : {CodeKind::Assignment, CodeKind::Task}) {
            const QString written = formatCode(QStringLiteral("Z0M"), kind, key);
            for (const QString& typed : {written, written.toLower(),
                                         QStringLiteral("  ") + written + QStringLiteral("\t")}) {
                const CodeReading read = readCode(typed);
                QCOMPARE(int(read.fault), int(CodeFault::None));
                QCOMPARE(read.siteTag, QStringLiteral("Z0M"));
                QCOMPARE(int(read.kind), int(kind));
                QCOMPARE(read.key, key);
            }
        }
    }
    QCOMPARE(formatCode(QStringLiteral("7K2"), CodeKind::Task, 1234567).mid(8, 10),
             QStringLiteral("T-1234567-"));
}

void tst_workordercode::siteTags() {
    // The first fifteen bits of the identifier, five to a character.
    QCOMPARE(siteTag(QStringLiteral("00000000-0000-4000-8000-000000000000")),
             QStringLiteral("000"));
    QCOMPARE(siteTag(QStringLiteral("ffffffff-0000-4000-8000-000000000000")),
             QStringLiteral("ZZZ"));
    // 0x3a2f... = 0011 1010 0010 1111: 00111 01000 10111 -> 7, 8, 23 (Q).
    QCOMPARE(siteTag(QStringLiteral("3a2f1c00-1111-4111-8111-111111111111")),
             QStringLiteral("78Q"));
    QVERIFY(siteTag(QString()).isEmpty());
    // Something else than a UUID still gets three characters of the alphabet.
    const QString typed = siteTag(QStringLiteral("not a uuid"));
    QCOMPARE(typed.size(), SiteTagLength);
    for (const QChar c : typed)
        QVERIFY(Alphabet.contains(c));
}

void tst_workordercode::everyTypoAndNeighbourSwapIsRefused() {
    // A sample of codes of every kind, short and long keys, tags of every corner.
    QStringList codes;
    const QStringList tags = {QStringLiteral("000"), QStringLiteral("ZZZ"), QStringLiteral("7K2"),
                              QStringLiteral("A1Q"), QStringLiteral("90X")};
    const QList<qint64> keys = {1,      9,       90,      123,       4711,
                                98'765, 100'000, 909'090, 1'234'567, 2'147'483'647};
    for (const QString& tag : tags)
        for (const qint64 key : keys)
            for (const CodeKind kind : {CodeKind::Assignment, CodeKind::Task})
                codes << formatCode(tag, kind, key);

    int mistakes = 0;
    for (const QString& code : codes) {
        QCOMPARE(int(readCode(code).fault), int(CodeFault::None));
        for (int i = 0; i < code.size(); ++i) {
            for (const QChar c : mistypedCharacters()) {
                // The same character typed another way is no mistake.
                if (c == code[i] || c.toUpper() == code[i] ||
                    (c.isDigit() && QChar(u'0' + c.digitValue()) == code[i]))
                    continue;
                QString typo = code;
                typo[i] = c;
                ++mistakes;
                if (readCode(typo).fault == CodeFault::None)
                    QFAIL(
                        qPrintable(QStringLiteral("%1 read as a code (from %2)").arg(typo, code)));
            }
            if (i + 1 < code.size() && code[i] != code[i + 1]) {
                QString swapped = code;
                std::swap(swapped[i], swapped[i + 1]);
                ++mistakes;
                if (readCode(swapped).fault == CodeFault::None)
                    QFAIL(qPrintable(
                        QStringLiteral("%1 read as a code (from %2)").arg(swapped, code)));
            }
        }
    }
    QVERIFY(mistakes > 40'000);

    // The famous case a weighted digit sum misses: 09 and 90 next to each other.
    const QString code = formatCode(QStringLiteral("7K2"), CodeKind::Assignment, 100'009);
    QString swapped = code;
    swapped.replace(QStringLiteral("100009"), QStringLiteral("100090"));
    QCOMPARE(int(readCode(swapped).fault), int(CodeFault::WrongCheck));
}

void tst_workordercode::textsThatAreNotCodes() {
    const QString good = formatCode(QStringLiteral("7K2"), CodeKind::Assignment, 123);
    for (const QString& text :
         {QString(), QStringLiteral("123"), QStringLiteral("TVL"), good + QStringLiteral("-"),
          QStringLiteral("-") + good, QString(good).remove(QChar(u'-')),
          QString(good).replace(QStringLiteral("000123"), QStringLiteral("0000123")),
          QString(good).replace(QStringLiteral("000123"), QStringLiteral("00123")),
          QString(good).replace(QStringLiteral("-A-"), QStringLiteral("-X-")),
          QString(good).replace(QStringLiteral("TVL"), QStringLiteral("TVX")),
          QStringLiteral("TVL-7K2-A-000000-0"), QStringLiteral("TVL-7K2-A-12345678901-0")}) {
        QCOMPARE(int(readCode(text).fault), int(CodeFault::NotACode));
    }
    // Typed on an Arabic keyboard: the same code.
    const CodeReading arabic =
        readCode(QString(good).replace(QStringLiteral("000123"), QStringLiteral("٠٠٠١٢٣")));
    QCOMPARE(int(arabic.fault), int(CodeFault::None));
    QCOMPARE(arabic.key, qint64(123));

    // The right form with the wrong check: told apart, so that the message can say so.
    QString wrong = good;
    wrong.back() = wrong.back() == u'0' ? u'1' : u'0';
    QCOMPARE(int(readCode(wrong).fault), int(CodeFault::WrongCheck));
}

QTEST_GUILESS_MAIN(tst_workordercode)
#include "tst_workordercode.moc"
