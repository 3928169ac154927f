// tavrel --import-tasks FILE --map MAPPING as a scheduled job or a user at a terminal runs it:
// the whole file or nothing, every row that keeps it out listed with its number, and every
// file that cannot be used refused with its reason. On both backends.

#include "support/headlessrun.h"
#include "support/tempdatabase.h"
#include "workbooks.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

using namespace tavrel::test;

namespace {

constexpr int RunBoundMs = 60000;

// A location, a retired one, a type and a task.
const QString SiteSql = QStringLiteral(
    "INSERT INTO locations (locid, locdesc, inactive) VALUES (1, 'Boiler Room', 0), (2, 'Roof', 1);"
    "INSERT INTO types (typid, typdesc) VALUES (1, 'HVAC');"
    "INSERT INTO tasks (taskid, taskname) VALUES (1, 'Chiller');");

const QByteArray Mapping = "; the equipment list\nEquipment = taskname\nMaker = manuf\n"
                           "Room = locdesc\nBought = purchdate\nHours = reqhour\n";

using Run = tavrel::test::HeadlessRun;

// The program in the site's folder, as under cron: no display.
Run runTavrel(const TempDatabase& site, const QStringList& args) {
    tavrel::test::HeadlessOptions options;
    options.boundMs = RunBoundMs;
    return tavrel::test::runHeadless(TAVREL_BINARY, site.path(), args, options);
}

} // namespace

class TestImportCommand : public QObject {
    Q_OBJECT

    // What the site holds, to see that a refused import left it as it was.
    static QString siteState(const TempDatabase& site) {
        return site.texts("select taskname from tasks order by taskid").join(',') + ';' +
               site.texts("select locdesc from locations order by locid").join(',') + ';' +
               site.texts("select typdesc from types order by typid").join(',');
    }

private Q_SLOTS:
    // One row that cannot be imported keeps every row out, and each such row is listed with
    // its number as the spreadsheet shows it.
    void refusesWholeFile() {
        TempDatabase site(2005, SiteSql);
        QVERIFY(writeFile(site.file("map.ini"), Mapping));
        QVERIFY(writeFile(site.file("eq.csv"), "Equipment,Maker,Room,Bought,Hours\r\n"
                                               "Pump,Acme,Boiler Room,1/15/2005,1.5\r\n"
                                               "\"Fan\r\nnorth\",Breeze,,,\r\n"
                                               "\r\n"
                                               "Valve,,Attic,2/30/2005,x\r\n"
                                               "chiller,,roof,,\r\n"));
        const QString before = siteState(site);
        const Run run = runTavrel(site, {"--import-tasks", "eq.csv", "--map", "map.ini"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err,
                 "Tavrel: eq.csv: 3 of 4 rows cannot be imported, so nothing was imported "
                 "(--add-codes adds new locations and types to their lists):\n"
                 "Tavrel: row 3: Task Name has more than one line\n"
                 "Tavrel: row 5: Purchase Date: \"2/30/2005\" is not a date; Hours: \"x\" is not a "
                 "number; Location \"Attic\" is not in the list of locations\n"
                 "Tavrel: row 6: Location \"Roof\" is marked inactive: new tasks take none; a task "
                 "named \"chiller\" exists already\n");
        QCOMPARE(siteState(site), before);
        QVERIFY(!QDir(site.file("backups")).exists());

        // Adding the new names does not make the other rows right.
        const Run adding =
            runTavrel(site, {"--import-tasks", "eq.csv", "--map", "map.ini", "--add-codes"});
        QCOMPARE(adding.exitCode, 1);
        QVERIFY2(adding.err.startsWith("Tavrel: eq.csv: 3 of 4 rows cannot be imported, so "
                                       "nothing was imported:\n"),
                 qPrintable(adding.err));
        QCOMPARE(siteState(site), before);
    }

    // A workbook whose every row can be imported: all of it, new names added with
    // --add-codes; the columns the mapping does not name are said on standard output.
    void importsWholeFile() {
        TempDatabase site(2005, SiteSql);
        QVERIFY(writeFile(site.file("map.ini"), Mapping + "Notes =\n"));
        QVERIFY(writeFile(site.file("eq.xlsx"),
                          textWorkbook({{"Equipment", "Maker", "Room", "Notes", "Cost"},
                                        {"Pump", "Acme", "Boiler Room", "oil it", "10"},
                                        {},
                                        {"Fan", "", "Attic"},
                                        {"Valve", "Flow", "attic", "", "5"}})));
        const QStringList args = {"--import-tasks", "eq.xlsx", "--map", "map.ini"};
        const Run refused = runTavrel(site, args);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("Tavrel: row 4: Location \"Attic\" is not in the list of "
                                      "locations\nTavrel: row 5: Location \"attic\""),
                 qPrintable(refused.err));
        const Run run = runTavrel(site, args + QStringList{"--add-codes"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, "eq.xlsx: Imported 3 tasks. Added 1 location to their lists.\n"
                          "Not imported: the columns \"Cost\", which map.ini does not name.\n");
        QCOMPARE(site.texts("select taskname || '|' || manuf || '|' || locdesc from tasks join "
                            "locations on tasks.locid = locations.locid order by taskid"),
                 (QStringList{"Pump|Acme|Boiler Room", "Fan||Attic", "Valve|Flow|Attic"}));
        QCOMPARE(site.scalar("select count(*) from locations").toInt(), 3);
        // Run again, every row names a task there is: nothing is written twice.
        const Run again = runTavrel(site, args + QStringList{"--add-codes"});
        QCOMPARE(again.exitCode, 1);
        QCOMPARE(site.scalar("select count(*) from tasks").toInt(), 4);
    }

    // Files that cannot be used refuse the import before anything is read from the site.
    void unusableFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("mapping");
        QTest::addColumn<QString>("error");
        const QByteArray csv = "Equipment,Maker\r\nPump,Acme\r\n";
        QTest::newRow("no mapping") << "eq.csv" << csv << QByteArray()
                                    << "Tavrel: map.ini does not exist. Nothing was imported.\n";
        QTest::newRow("mapping of another kind")
            << "eq.csv" << csv << QByteArray("Equipment = taskname\nMaker: manuf\n")
            << "Tavrel: map.ini, line 2: \"Maker: manuf\" is no line \"heading = field\". Nothing "
               "was imported.\n";
        QTest::newRow("no such file") << "" << QByteArray() << Mapping
                                      << "Tavrel: eq.csv does not exist. Nothing was imported.\n";
        QTest::newRow("no workbook")
            << "eq.xlsx" << csv << Mapping
            << "Tavrel: eq.xlsx: The file is not an Excel workbook (.xlsx). Nothing was "
               "imported.\n";
        QTest::newRow("quotes never closed")
            << "eq.csv" << QByteArray("Equipment\r\n\"Pump\r\n") << Mapping
            << "Tavrel: eq.csv: The quotes opened in row 2 are never closed: a field that holds "
               "a quote must double it (\"\"). Nothing was imported.\n";
        QTest::newRow("no task name")
            << "eq.csv" << QByteArray("Name,Maker\r\nPump,Acme\r\n") << Mapping
            << "Tavrel: eq.csv: No column fills Task Name: every task needs its name. Nothing was "
               "imported.\n";
        QTest::newRow("headings only")
            << "eq.csv" << QByteArray("Equipment,Maker\r\n,\r\n") << Mapping
            << "Tavrel: eq.csv has no rows of tasks below its "
               "headings. Nothing was imported.\n";
    }
    void unusableFiles() {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, mapping);
        QFETCH(QString, error);
        TempDatabase site(2005, SiteSql);
        if (!file.isEmpty())
            QVERIFY(writeFile(site.file(file), bytes));
        if (!mapping.isEmpty())
            QVERIFY(writeFile(site.file("map.ini"), mapping));
        const QString before = siteState(site);
        const QString name = file.isEmpty() ? "eq.csv" : file;
        const Run run = runTavrel(site, {"--import-tasks", name, "--map", "map.ini"});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, error);
        QCOMPARE(run.out, QString());
        QCOMPARE(siteState(site), before);
    }
};

QTEST_GUILESS_MAIN(TestImportCommand)
#include "tst_importcommand.moc"
