// Equipment labels: sheets written as PDF and read back label by label (the QR code a reader
// finds in the label's own place, and the words pdftotext finds there) on both stocks from
// the first, a middle and the last place; texts too long for a label; the location filter;
// a device that keeps margins of its own; tavrel --labels as a job runs it; and the dialog
// as a user drives it.

#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/workordercode.h"
#include "reports/frmlabels.h"
#include "reports/labels.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "support/headlessrun.h"
#include "support/pdfreading.h"
#include "support/scriptedui.h"
#include "support/testenv.h"
#include "support/windowdriver.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

constexpr int RunBoundMs = 60000;
constexpr int Dpi = 150;
constexpr double PointsPerMm = 72.0 / 25.4;
// How far a painted word may reach past where the layout put its edge: the width of a
// stroke, as pdftotext measures glyph boxes.
constexpr double SlackMm = 0.3;

QString quoted(const QString& text) {
    QString q = text;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// `count` tasks named "Pump P01 North" ... whose keys run against their names' order, the
// odd ones in the boiler room; two locations share that name, one has no tasks.
QString siteSql(int count) {
    QString sql = QStringLiteral("INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler "
                                 "Room'), (2, 'Roof'), (3, 'boiler room '), (4, 'Annex');");
    for (int i = 1; i <= count; ++i) {
        const int key = count + 1 - i;
        sql += QStringLiteral("INSERT INTO tasks (taskid, taskname, Tag, locid) VALUES (%1, %2, "
                              "%3, %4);")
                   .arg(key)
                   .arg(quoted(QStringLiteral("Pump P%1 North").arg(i, 2, 10, QLatin1Char('0'))),
                        quoted(QStringLiteral("TAG-%1").arg(i, 2, 10, QLatin1Char('0'))))
                   .arg(i % 2 == 1 ? (i % 4 == 1 ? 1 : 3) : 2);
    }
    return sql;
}

struct Word {
    QRectF box; // points from the page's top-left corner
    QString text;
};

// The words of every page with their boxes, as pdftotext finds them.
QList<QList<Word>> wordsOf(const QString& pdf) {
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QList<QList<Word>> pages;
    if (!tool.waitForFinished(RunBoundMs))
        return pages;
    static const QRegularExpression element(
        QStringLiteral("<page |<word xMin=\"([^\"]+)\" yMin=\"([^\"]+)\" xMax=\"([^\"]+)\" "
                       "yMax=\"([^\"]+)\">([^<]*)</word>"));
    const QString html = QString::fromUtf8(tool.readAllStandardOutput());
    for (const QRegularExpressionMatch& m : element.globalMatch(html)) {
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            pages.append(QList<Word>());
            continue;
        }
        if (pages.isEmpty())
            continue;
        pages.last().append(
            Word{QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                        QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                 QTextDocumentFragment::fromHtml(m.captured(5)).toPlainText()});
    }
    return pages;
}

// What one label of a printed sheet holds: the codes a reader finds in its place alone
// and the words whose middle stands in it.
struct PrintedLabel {
    QStringList codes;
    QList<Word> words;
    QString text() const {
        QStringList texts;
        for (const Word& w : words)
            texts << w.text;
        return texts.join(QLatin1Char(' '));
    }
};

// Page `page` of `pdf` rendered as a printer does and cut into the labels of `stock`.
QList<PrintedLabel> cellsOf(const QString& pdf, int page, const LabelStock& stock,
                            const QList<Word>& words) {
    QTemporaryDir dir;
    const QImage image(renderPage(pdf, page, Dpi, dir.path()));
    QList<PrintedLabel> cells;
    if (image.isNull())
        return cells;
    for (int place = 0; place < stock.perSheet(); ++place) {
        const QRectF mm = stock.placeRect(place);
        const double px = Dpi / 25.4;
        const QRect pixels(QPoint(qRound(mm.left() * px), qRound(mm.top() * px)),
                           QPoint(qRound(mm.right() * px) - 1, qRound(mm.bottom() * px) - 1));
        const QString cut = dir.filePath(QStringLiteral("cell%1.png").arg(place));
        image.copy(pixels).save(cut);
        PrintedLabel cell;
        cell.codes = qrCodesInImage(cut);
        const QRectF points(mm.topLeft() * PointsPerMm, mm.size() * PointsPerMm);
        for (const Word& w : words)
            if (points.contains(w.box.center()))
                cell.words << w;
        cells << cell;
    }
    return cells;
}

// Where the words of a label may stand: right of the QR code's square (as wide as the
// label is high) and inside the padding at the right, top and bottom.
QString wordOutsideRoom(const PrintedLabel& cell, const QRectF& labelMm) {
    const QRectF room(QPointF(labelMm.left() + labelMm.height() - SlackMm,
                              labelMm.top() + LabelPadding - SlackMm) *
                          PointsPerMm,
                      QPointF(labelMm.right() - LabelPadding + SlackMm,
                              labelMm.bottom() - LabelPadding + SlackMm) *
                          PointsPerMm);
    for (const Word& w : cell.words)
        if (!room.contains(w.box))
            return w.text;
    return {};
}

// The name of the task whose code `code` is, after checking the code is one of this site.
QString taskOfCode(const TempDatabase& site, const QString& code) {
    const workordercode::CodeReading reading = workordercode::readCode(code);
    if (reading.fault != workordercode::CodeFault::None ||
        reading.kind != workordercode::CodeKind::Task ||
        reading.siteTag != workordercode::currentSiteTag())
        return QStringLiteral("(not a task code of this site: %1)").arg(code);
    return site
        .scalar(QStringLiteral("select taskname from tasks where taskid = %1").arg(reading.key))
        .toString();
}

using Run = HeadlessRun;

Run runProgram(const TempDatabase& site, const QStringList& args) {
    HeadlessOptions options;
    options.boundMs = RunBoundMs;
    // A locale that measures in inches: Letter is the stock without --stock.
    options.extra.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    return runHeadless(QStringLiteral(TAVREL_BINARY), site.path(), args, options);
}

} // namespace

class TstLabels : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Each stock as its maker cuts it: the labels on the paper, with as much room on one
    // side as on the other, and all a label paints a quarter inch or more from the edge.
    void stocks() {
        for (const LabelStock& stock : LabelStocks) {
            const QSizeF paper = QPageSize(stock.paper).size(QPageSize::Millimeter);
            const QRectF first = stock.placeRect(0);
            const QRectF last = stock.placeRect(stock.perSheet() - 1);
            QVERIFY2(qAbs(first.left() - (paper.width() - last.right())) < 0.1, stock.key);
            QVERIFY2(qAbs(first.top() - (paper.height() - last.bottom())) < 0.1, stock.key);
            QVERIFY2(stock.pitchX >= stock.width && stock.pitchY >= stock.height, stock.key);
            QVERIFY2(closestPaintToEdge(stock) >= 6.35, stock.key);
            QCOMPARE(labelStockNamed(QString::fromLatin1(stock.key).toUpper())->paper, stock.paper);
        }
        QCOMPARE(labelStockNamed(QStringLiteral("a4"))->perSheet(), 24);
        QCOMPARE(labelStockNamed(QStringLiteral("letter"))->perSheet(), 30);
        QVERIFY(!labelStockNamed(QStringLiteral("a5")));
        // The Letter label's QR code with its quiet zone as high as the label: 25.4 mm.
        const LabelLayout label = layoutLabel(*labelStockNamed(QStringLiteral("letter")),
                                              {QStringLiteral("TVL-7K2-T-000045-Q"), {}, {}, {}});
        QVERIFY(label.symbolRect.width() / 1440 * 25.4 >= 15);
    }

    // Sheets from the first, a middle and the last label on: the places before it empty, then
    // one label per task in task-name order flowing onto a second sheet; in each label's
    // place the reader finds its code alone, and the task of that code is the one whose
    // name, tag and location stand there, all inside the label's room for text.
    void sheetsReadBack_data() {
        QTest::addColumn<QString>("stock");
        QTest::addColumn<int>("start");
        QTest::newRow("A4 from 1") << "a4" << 1;
        QTest::newRow("A4 from 11") << "a4" << 11;
        QTest::newRow("A4 from 24") << "a4" << 24;
        QTest::newRow("Letter from 1") << "letter" << 1;
        QTest::newRow("Letter from 14") << "letter" << 14;
        QTest::newRow("Letter from 30") << "letter" << 30;
    }
    void sheetsReadBack() {
        if (!pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the labels back");
        QFETCH(QString, stock);
        QFETCH(int, start);
        const LabelStock sheet = *labelStockNamed(stock);
        // The rest of the first sheet and two labels on the second.
        const int count = sheet.perSheet() - start + 1 + 2;
        ScriptedUi ui;
        TempWorkFolder folder(2026, siteSql(count));
        ReportDocument document;
        const LabelsOutcome outcome = writeLabels(state().dbMain, document, sheet, start, {});
        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.labels, count);
        QCOMPARE(document.pageCount(), 2);
        QCOMPARE(document.pageLayout().fullRect(QPageLayout::Millimeter).size().toSize(),
                 QPageSize(sheet.paper).size(QPageSize::Millimeter).toSize());
        const QString pdf = folder.file(QStringLiteral("labels.pdf"));
        QString error;
        QVERIFY2(printToPdf(document, pdf, &error), qPrintable(error));

        const QList<QList<Word>> words = wordsOf(pdf);
        QCOMPARE(words.size(), 2);
        QStringList namesInOrder;
        for (int page = 1; page <= 2; ++page) {
            const QList<PrintedLabel> cells = cellsOf(pdf, page, sheet, words[page - 1]);
            QCOMPARE(cells.size(), sheet.perSheet());
            const int first = page == 1 ? start - 1 : 0;
            const int end = page == 1 ? sheet.perSheet() : 2;
            for (int place = 0; place < sheet.perSheet(); ++place) {
                const PrintedLabel& cell = cells[place];
                const QByteArray where =
                    QStringLiteral("page %1, label %2").arg(page).arg(place + 1).toUtf8();
                if (place < first || place >= end) {
                    QVERIFY2(cell.codes.isEmpty() && cell.words.isEmpty(), where.constData());
                    continue;
                }
                QVERIFY2(cell.codes.size() == 1, where.constData());
                const QString name = taskOfCode(folder, cell.codes[0]);
                const QString number = name.section(QLatin1Char(' '), 1, 1).mid(1);
                const QString location = number.toInt() % 2 == 0   ? QStringLiteral("Roof")
                                         : number.toInt() % 4 == 1 ? QStringLiteral("Boiler Room")
                                                                   : QStringLiteral("boiler room");
                QCOMPARE(
                    cell.text(),
                    QStringLiteral("%1 TAG-%2 %3 %4").arg(name, number, location, cell.codes[0]));
                QCOMPARE(wordOutsideRoom(cell, sheet.placeRect(place)), QString());
                namesInOrder << name;
            }
        }
        QStringList sorted = namesInOrder;
        sorted.sort();
        QCOMPARE(namesInOrder, sorted);
        QCOMPARE(namesInOrder.size(), count);
        QCOMPARE(ui.messageTexts(), QStringList());
    }

    // A name, tag and location longer than a label holds: the name on its lines, the last
    // cut with an ellipsis, the others cut on their one line; nothing printed outside the
    // label's room for text, and the code still read.
    void longTextsCut() {
        if (!pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the labels back");
        const QString longName =
            QStringLiteral("Rooftop air handling unit with heat recovery wheel and "
                           "variable-speed supply and return fans, quarterly belt inspection");
        const QString longTag = QStringLiteral("AHU-ROOF-0001-HRW-VFD-SUPPLY-RETURN-0042");
        const QString longPlace = QStringLiteral("Mechanical penthouse above the north stair "
                                                 "tower, level twelve");
        const QString word = QString(60, QLatin1Char('W'));
        ScriptedUi ui;
        TempWorkFolder folder(
            2026, QStringLiteral("INSERT INTO locations (locid, locdesc) VALUES (1, %1);"
                                 "INSERT INTO tasks (taskid, taskname, Tag, locid) VALUES "
                                 "(1, %2, %3, 1), (2, %4, %4, 1);")
                      .arg(quoted(longPlace), quoted(longName), quoted(longTag), quoted(word)));
        for (const LabelStock& sheet : LabelStocks) {
            ReportDocument document;
            QCOMPARE(writeLabels(state().dbMain, document, sheet, 2, {}).labels, 2);
            const QStringList text = document.pageText(1);
            QCOMPARE(text.size(), 2);
            for (const QString& line : text) {
                const QStringList parts = line.split(QLatin1Char('|'));
                QCOMPARE(parts.size(), 5);
                QVERIFY2(parts[2].endsWith(QStringLiteral("\u2026")), qPrintable(line));
                QVERIFY2(parts[3].endsWith(QStringLiteral("\u2026")), qPrintable(line));
                QVERIFY2(parts[4].endsWith(QStringLiteral("\u2026")), qPrintable(line));
            }
            const QString pdf = folder.file(QStringLiteral("long-%1.pdf").arg(sheet.key));
            QVERIFY(printToPdf(document, pdf));
            const QList<QList<Word>> words = wordsOf(pdf);
            QCOMPARE(words.size(), 1);
            const QList<PrintedLabel> cells = cellsOf(pdf, 1, sheet, words[0]);
            QVERIFY(cells[0].words.isEmpty() && cells[0].codes.isEmpty());
            for (int place = 1; place <= 2; ++place) {
                const PrintedLabel& cell = cells[place];
                QCOMPARE(cell.codes.size(), 1);
                QCOMPARE(wordOutsideRoom(cell, sheet.placeRect(place)), QString());
                QVERIFY2(cell.text().startsWith(taskOfCode(folder, cell.codes[0]).left(8)),
                         qPrintable(cell.text()));
            }
            // Every word of the page is in one of the labels: none fell between them.
            int inCells = 0;
            for (const PrintedLabel& cell : cells)
                inCells += int(cell.words.size());
            QCOMPARE(inCells, words[0].size());
        }
    }

    // The location: named without regard to case or blanks, every location of that name,
    // and refused when nobody is called so or it has no tasks; the tasks chosen by key.
    void locationFilter() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, siteSql(8));
        Database& db = state().dbMain;
        QCOMPARE(labelLocationNames(db), (QStringList{"Annex", "Boiler Room", "Roof"}));
        const auto names = [&](const LabelChoice& choice) {
            QStringList found;
            for (const LabelTask& task : labelTasks(db, choice))
                found << task.name;
            return found;
        };
        QCOMPARE(
            names({QStringLiteral("  BOILER room"), {}}),
            (QStringList{"Pump P01 North", "Pump P03 North", "Pump P05 North", "Pump P07 North"}));
        QCOMPARE(names({QStringLiteral("Roof"), {}}).size(), 4);
        // Keys 8 and 6 are the first and third names; 7 is on the roof.
        QCOMPARE(names({QStringLiteral("boiler room"), {8, 7, 6}}),
                 (QStringList{"Pump P01 North", "Pump P03 North"}));
        QCOMPARE(names({{}, {7}}), QStringList{"Pump P02 North"});

        ReportDocument document;
        LabelsOutcome refused =
            writeLabels(db, document, LabelStocks[0], 1, {QStringLiteral("Cellar"), {}});
        QCOMPARE(refused.error,
                 QStringLiteral("There is no location named \"Cellar\". No labels were made."));
        refused = writeLabels(db, document, LabelStocks[0], 1, {QStringLiteral("annex"), {}});
        QCOMPARE(refused.error,
                 QStringLiteral("The location \"annex\" has no tasks to make labels for."));
        refused = writeLabels(db, document, LabelStocks[0], 25, {});
        QCOMPARE(refused.error, QStringLiteral("The first label 25 is not on the sheet: its "
                                               "labels are numbered 1 to 24."));
        QCOMPARE(document.entries().size(), size_t(0));
    }

    // A device that keeps margins of its own (a printer that could not take the full page)
    // paints from inside them: the labels still stand where the stock has them.
    void marginsOfTheDeviceDoNotMoveLabels() {
        if (!pdfToolsPresent())
            QSKIP("poppler-utils and zbar-tools are needed to read the labels back");
        ScriptedUi ui;
        TempWorkFolder folder(2026, siteSql(3));
        const LabelStock sheet = LabelStocks[0];
        ReportDocument document;
        QCOMPARE(writeLabels(state().dbMain, document, sheet, 1, {}).labels, 3);
        const QString pdf = folder.file(QStringLiteral("margins.pdf"));
        {
            QPdfWriter writer(pdf);
            writer.setResolution(1200);
            writer.setPageLayout(QPageLayout(QPageSize(sheet.paper), QPageLayout::Portrait,
                                             QMarginsF(12, 15, 12, 15), QPageLayout::Millimeter));
            QPainter painter(&writer);
            document.paintPage(painter, 1);
        }
        const QList<QList<Word>> words = wordsOf(pdf);
        QCOMPARE(words.size(), 1);
        const QList<PrintedLabel> cells = cellsOf(pdf, 1, sheet, words[0]);
        for (int place = 0; place < 3; ++place) {
            QCOMPARE(cells[place].codes.size(), 1);
            QVERIFY(cells[place].text().startsWith(taskOfCode(folder, cells[place].codes[0])));
            QCOMPARE(wordOutsideRoom(cells[place], sheet.placeRect(place)), QString());
        }
    }

    // tavrel --labels as a scheduled job runs it: the PDF written and exit 0; an unknown
    // location, one without tasks and a file that cannot be written: the message, exit 1,
    // no file (an older one as it was); a wrong command line: exit 2.
    void command() {
        TempDatabase site(2026, siteSql(5));
        Run run = runProgram(site, {"--labels", "-o", "boiler.pdf", "--location", "boiler room",
                                    "--stock", "letter", "--start", "30"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        const QString boiler = site.file(QStringLiteral("boiler.pdf"));
        if (pdfToolsPresent()) {
            QCOMPARE(pdfPages(boiler).size(), 2);
            QCOMPARE(qrCodesOnPage(boiler, 1).size(), 1);
            QCOMPARE(qrCodesOnPage(boiler, 2).size(), 2);
        }
        const QByteArray before = readFile(boiler);

        run = runProgram(site, {"--labels", "-o", "boiler.pdf", "--location", "Cellar"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Tavrel: There is no location named \"Cellar\". No "
                                         "labels were made.\n"));
        QCOMPARE(readFile(boiler), before);
        run = runProgram(site, {"--labels", "-o", "annex.pdf", "--location", "Annex"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Tavrel: The location \"Annex\" has no tasks to make "
                                         "labels for.\n"));
        QVERIFY(writeFile(site.file(QStringLiteral("plain")), "a file"));
        run = runProgram(site, {"--labels", "-o", "plain/x.pdf"});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Tavrel: The file '")), qPrintable(run.err));
        // Without --stock the locale's paper (Letter here): 30 labels a sheet.
        run = runProgram(site, {"--labels", "-o", "late.pdf", "--start", "31"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Tavrel: The first label 31 is not on the sheet: its "
                                         "labels are numbered 1 to 30.\n"));

        run = runProgram(site, {"--labels", "-o", "x.pdf", "--stock", "a4", "--start", "25"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("--start 25 is not a label of the sheet: a4 has "
                                                 "labels 1 to 24")),
                 qPrintable(run.err));
        run = runProgram(site, {"--labels", "-o", "x.txt"});
        QCOMPARE(run.exitCode, 2);
        run = runProgram(site, {"--location", "Roof"});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains(QStringLiteral("--location, --stock and --start go with "
                                                "--labels")));

        // A site without tasks.
        TempDatabase empty(2026);
        run = runProgram(empty, {"--labels", "-o", "none.pdf"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("Tavrel: There are no tasks to make labels for.\n"));
        QVERIFY(!QFileInfo::exists(empty.file(QStringLiteral("none.pdf"))));

        QStringList left = QDir(site.path()).entryList(QDir::Files | QDir::Hidden);
        left = left.filter(QRegularExpression(QStringLiteral("\\.pdf|\\.tmp|\\.new|~")));
        QCOMPARE(left, QStringList{"boiler.pdf"});
    }

    // Reports, Equipment Labels... as a user drives it: the location chosen by typing, one
    // task clicked and one chosen with the keys, the Letter stock and the last label by
    // the keyboard, OK by its access key: the labels shown in the preview. A location
    // without tasks is refused with the dialog left open; Cancel writes nothing.
    void dialog() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, siteSql(8));
        int viewed = 0;
        state().reportViewer = [&viewed] { ++viewed; };
        frmMain main;
        installEquipmentLabels(main);
        QCOMPARE(main.mnuLabels->text(), QStringLiteral("Equipment La&bels..."));

        ui.onModal([](QDialog* shown) {
            bringForward(shown);
            QCOMPARE(shown->windowTitle(), QStringLiteral("Equipment Labels"));
            WindowDriver d(shown);
            auto* location = d.w<QComboBox>("cboLocation");
            QCOMPARE(entryTexts(location),
                     (QStringList{"All locations", "Annex", "Boiler Room", "Roof"}));
            QCOMPARE(QApplication::focusWidget(), location);
            auto* tasks = d.w<QListWidget>("lstTasks");
            QCOMPARE(tasks->count(), 8);
            QCOMPARE(d.w<QComboBox>("cboStock")->currentIndex(), 1); // en_US: Letter
            QTest::keyClicks(location, QStringLiteral("b"));
            QCOMPARE(location->currentText(), QStringLiteral("Boiler Room"));
            QCOMPARE(entryTexts(tasks),
                     (QStringList{"Pump P01 North (TAG-01)", "Pump P03 North (TAG-03)",
                                  "Pump P05 North (TAG-05)", "Pump P07 North (TAG-07)"}));
            QCOMPARE(d.w<QLabel>("lblCount")->text(), QStringLiteral("4 labels on 1 sheet"));
            // Into the list with Tab, to its second entry, Space chooses it; a click the last.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), tasks);
            QTest::keyClick(tasks, Qt::Key_Home);
            QTest::keyClick(tasks, Qt::Key_Down);
            QTest::keyClick(tasks, Qt::Key_Space);
            chooseEntry(tasks, QStringLiteral("Pump P07 North (TAG-07)"));
            QCOMPARE(tasks->selectedItems().size(), 2);
            QTest::keyClick(tasks, Qt::Key_S, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), d.w<QComboBox>("cboStock"));
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("a"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
            auto* start = d.w<QSpinBox>("spnStart");
            QCOMPARE(QApplication::focusWidget(), start);
            QTest::keyClick(start, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(start, QStringLiteral("24"));
            QCOMPARE(start->value(), 24);
            QCOMPARE(d.w<QLabel>("lblCount")->text(), QStringLiteral("2 labels on 2 sheets"));
            d.press(Qt::Key_O, Qt::AltModifier);
        });
        main.mnuLabels->trigger();
        QCOMPARE(viewed, 1);
        const ReportDocument& document = reportDocument();
        QCOMPARE(document.pageCount(), 2);
        const QString tag = workordercode::currentSiteTag();
        const auto code = [&tag](qint64 key) {
            return workordercode::formatCode(tag, workordercode::CodeKind::Task, key);
        };
        // P03 is task 6, P07 task 2 (the keys run against the names).
        QCOMPARE(
            document.pageText(1),
            QStringList{QStringLiteral("24|%1|Pump P03 North|TAG-03|boiler room").arg(code(6))});
        QCOMPARE(
            document.pageText(2),
            QStringList{QStringLiteral("1|%1|Pump P07 North|TAG-07|boiler room").arg(code(2))});
        QCOMPARE(document.pageLayout().pageSize().id(), QPageSize::A4);

        // A location without tasks: the message, the dialog stays; Escape leaves it.
        ui.clearRecord();
        ui.onModal([](QDialog* shown) {
            bringForward(shown);
            WindowDriver d(shown);
            QTest::keyClicks(d.w<QComboBox>("cboLocation"), QStringLiteral("an"));
            QCOMPARE(d.w<QComboBox>("cboLocation")->currentText(), QStringLiteral("Annex"));
            QCOMPARE(d.w<QLabel>("lblCount")->text(), QStringLiteral("0 labels on 0 sheets"));
            d.press(Qt::Key_O, Qt::AltModifier);
            QVERIFY(shown->isVisible());
            d.press(Qt::Key_C, Qt::AltModifier);
        });
        {
            frmLabels dialog;
            QCOMPARE(ui.showModal(&dialog), int(QDialog::Rejected));
        }
        QCOMPARE(ui.messageTexts(),
                 QStringList{"The location \"Annex\" has no tasks to make labels for."});
        QCOMPARE(viewed, 1);
        QCOMPARE(reportDocument().pageCount(), 2);

        // Nothing chosen: every task of every location, on the stock first offered.
        ui.clearRecord();
        ui.onModal([](QDialog* shown) {
            bringForward(shown);
            WindowDriver d(shown);
            QCOMPARE(d.w<QLabel>("lblCount")->text(), QStringLiteral("8 labels on 1 sheet"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        {
            frmLabels dialog;
            QCOMPARE(ui.showModal(&dialog), int(QDialog::Accepted));
        }
        QCOMPARE(viewed, 2);
        QCOMPARE(reportDocument().pageCount(), 1);
        QCOMPARE(reportDocument().pageText(1).size(), 8);
        QVERIFY(reportDocument().pageText(1).first().startsWith(
            QStringLiteral("1|%1|Pump P01 North|").arg(code(8))));
        QCOMPARE(reportDocument().pageLayout().pageSize().id(), QPageSize::Letter);
        QCOMPARE(ui.messageTexts(), QStringList());
        reportDocument().reset();
    }
};

QTEST_MAIN(TstLabels)
#include "tst_labels.moc"
