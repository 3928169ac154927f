// The site's own backups: before each big operation, the daily one on its worker thread,
// and the Backups window with its restore and options.

#include "assignments/frmsetyear.h"
#include "assignments/yeargen.h"
#include "core/backups.h"
#include "core/errortrap.h"
#include "core/frmbackups.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/sitesettings.h"
#include "core/startup.h"
#include "data/backup.h"
#include "data/database.h"
#include "support/scriptedui.h"
#include "support/startedprogram.h"
#include "support/testenv.h"
#include "tasks/taskeditor.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

// Three tasks, one scheduled, and enough assignments that a copy takes several steps.
const QString SiteSql = QStringLiteral(R"(
INSERT INTO tasks (taskid, taskname, curyearonly) VALUES (1, 'Air handler', 0), (2, 'Boiler', 0),
    (3, 'Chiller', 0);
INSERT INTO taskweeks (taskid, weeid) VALUES (1, 5);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)
INSERT INTO assign (taskid, weeid, duedate, compnotes)
    SELECT 1 + i % 3, 1 + i % 52, '2005-01-03', printf('%0200d', i) FROM n;
)");
constexpr int SiteAssignments = 20000;

const QString Today = QStringLiteral("2026-12-07T08:15:00");

QDateTime at(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate);
}

QString backupsOf(const TempDatabase& folder) {
    return folder.file(QStringLiteral("backups"));
}

// The reasons of the backups in `folder`, newest first.
QStringList reasons(const QString& folder) {
    QStringList found;
    for (const BackupFile& backup : listBackups(folder))
        found << backup.reason;
    return found;
}

// Every file in `folder`, so that no half-written copy can hide under another name.
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

// The column "v" of the first row `sql` gives in the database at `path`.
QVariant scalarIn(const QString& path, const QString& sql) {
    ErrorTrap trap;
    Database db = Database::open(path);
    Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot);
    return rs.isOpen() && rs.recordCount() > 0 ? rs.value(QStringLiteral("v")) : QVariant();
}

void clickRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

QPushButton* buttonOf(QWidget* window, const char* name) {
    auto* b = window->findChild<QPushButton*>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

void installWindows(frmMain& main) {
    installTaskEditor(main);
    state().startupSteps.createYearAssignments = CreateYearAssignments;
    state().startupSteps.setCurrentYear = SetCurrentYear;
}

} // namespace

class TestBackups : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // A copy of the file as it was is taken right before each operation that rewrites much
    // at once, and none when the operation is refused or cancelled before it writes.
    void backupBeforeOperation_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("expected"); // the reasons, newest first
        QTest::newRow("upgrade at start-up") << "upgrade" << QStringList{"before-upgrade"};
        QTest::newRow("start-up, nothing to upgrade") << "start" << QStringList{};
        QTest::newRow("year with assignments") << "year yes" << QStringList{"before-generate"};
        QTest::newRow("year without assignments") << "year no" << QStringList{"before-set-year"};
        QTest::newRow("Set Current Year") << "dialog 2006" << QStringList{"before-generate"};
        QTest::newRow("Set Current Year, the same year") << "dialog 2005" << QStringList{};
        QTest::newRow("Set Current Year cancelled") << "dialog cancel" << QStringList{};
        QTest::newRow("year refused") << "year 99" << QStringList{};
    }
    void backupBeforeOperation() {
        QFETCH(QString, operation);
        QFETCH(QStringList, expected);
        ScriptedUi ui;
        ui.setNow(at(Today));
        TempWorkFolder folder(2005, SiteSql, false);
        ErrorTrap trap;
        if (operation == QLatin1String("upgrade"))
            folder.exec(QStringLiteral("DROP INDEX tasks_taskname; "
                                       "CREATE INDEX tasks_taskname ON tasks (taskname);"));
        Recordset settings = runWindowlessSteps(folder.path());
        settings.close();
        QVERIFY(state().dbMain.isOpen());
        if (operation.startsWith(QLatin1String("year"))) {
            ui.answer(operation.endsWith(QLatin1String("yes")) ? MsgResult::Yes : MsgResult::No);
            CreateYearAssignments(operation.endsWith(QLatin1String("99")) ? 99 : 2006);
        } else if (operation.startsWith(QLatin1String("dialog"))) {
            const QString typed = operation.section(u' ', 1);
            ui.answer(MsgResult::Yes);
            ui.onModal([typed](QDialog* dialog) {
                auto* year = dialog->findChild<QLineEdit*>(QStringLiteral("txtYear"));
                year->setText(typed);
                QTest::mouseClick(
                    buttonOf(dialog, typed == QLatin1String("cancel") ? "cmdCancel" : "cmdOK"),
                    Qt::LeftButton);
            });
            SetCurrentYear(nullptr);
        }
        const QList<BackupFile> made = listBackups(backupsOf(folder));
        QCOMPARE(reasons(backupsOf(folder)), expected);
        QVERIFY2(!ui.messageTexts().join(u'\n').contains(QLatin1String("backup")),
                 qPrintable(ui.messageTexts().join(u'\n')));
        if (made.isEmpty())
            return;
        QCOMPARE(made.first().taken, at(Today));
        // Taken before: the copy holds the file as the operation found it.
        const QString copy = made.first().path;
        QCOMPARE(scalarIn(copy, QStringLiteral("select CurYear as v from settings")).toInt(), 2005);
        QCOMPARE(scalarIn(copy, QStringLiteral("select count(*) as v from assign")).toInt(),
                 SiteAssignments);
        if (operation == QLatin1String("upgrade"))
            QCOMPARE(
                scalarIn(copy, QStringLiteral("select sql as v from sqlite_master where name = "
                                              "'tasks_taskname'"))
                    .toString(),
                QStringLiteral("CREATE INDEX tasks_taskname ON tasks (taskname)"));
        else
            QCOMPARE(folder.scalar(QStringLiteral("select CurYear from settings")).toInt(), 2006);
    }

    // A folder that cannot take backups is said once per start, whatever asks for a copy,
    // and the work goes on; the next start says it again.
    void unusableFolderSaidOncePerStart() {
        ScriptedUi ui;
        ui.setNow(at(Today));
        TempWorkFolder folder(2005, SiteSql);
        QFile blocker(folder.file(QStringLiteral("usb")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SiteSettings settings;
        settings.backupFolder = QStringLiteral("usb/backups");
        QString error;
        QVERIFY2(settings.save(folder.path(), &error), qPrintable(error));
        const QString message =
            QStringLiteral("The backup folder %1 does not exist and could not be created. Tavrel "
                           "goes on working, but keeps no backups until the folder can be written "
                           "to or another one is chosen in File, Backups..., Options.")
                .arg(QDir::toNativeSeparators(folder.file(QStringLiteral("usb/backups"))));
        for (int start = 1; start <= 2; ++start) {
            state().BackupFolderReported = false; // what a new start begins with
            ui.clearRecord();
            DailyBackup daily;
            QVERIFY(!daily.startIfDue());
            ui.answer(MsgResult::No);
            CreateYearAssignments(static_cast<qint16>(2005 + start));
            QCOMPARE(ui.messageTexts(),
                     (QStringList{message, "Do you wish to create new task assigment records for " +
                                               QString::number(2005 + start) + "?"}));
            QCOMPARE(ui.messages.first().icon, MsgIcon::Warning);
            QCOMPARE(state().CurYear, 2005 + start);
        }
    }

    // The daily copy is taken at the first start of a day only, and thinned by rotation.
    void dailyBackupOncePerDay() {
        ScriptedUi ui;
        TempWorkFolder folder(2005, SiteSql);
        DailyBackup daily;
        const QStringList starts = {"2026-12-07T08:00:00", "2026-12-07T17:30:00",
                                    "2026-12-08T07:45:00", "2026-12-08T07:50:00"};
        QList<bool> started;
        for (const QString& start : starts) {
            ui.setNow(at(start));
            started << daily.startIfDue();
            daily.finish();
        }
        QCOMPARE(started, (QList<bool>{true, false, true, false}));
        const QList<BackupFile> made = listBackups(backupsOf(folder));
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0].taken, at(starts[2]));
        QCOMPARE(made[1].taken, at(starts[0]));
        QCOMPARE(inspectBackup(made[0].path).error, QString());
        QCOMPARE(inspectBackup(made[0].path).assignments, SiteAssignments);
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join(u'\n')));
        QCOMPARE(filesIn(backupsOf(folder)).size(), 2);
    }

    // The main window is used while the daily copy runs: moving through the tasks with the
    // keyboard and the mouse, and saving one, wait for nothing.
    void browsingWhileDailyBackupRuns() {
        ScriptedUi ui;
        ui.setNow(at(Today));
        TempWorkFolder folder(2026, SiteSql, false);
        StartedProgram program(folder.path(), installWindows);
        frmMain& main = *program.main;
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        auto* name = main.findChild<QLineEdit*>(QStringLiteral("txtTaskName"));
        QCOMPARE(name->text(), QStringLiteral("Air handler"));

        QSemaphore paused;
        QSemaphore resume;
        bool first = true;
        bool halfWay = false;
        DailyBackup* daily = main.dailyBackup();
        daily->setStepObserver([&](int done, int total) {
            if (!std::exchange(first, false))
                return;
            halfWay = done < total;
            paused.release();
            if (halfWay)
                resume.acquire();
        });
        main.startDailyBackup();
        paused.acquire(); // the copy has made its first step and waits for the test
        QVERIFY2(halfWay, "the copy took one step only: the test site is too small");
        QVERIFY(daily->isRunning());
        QTest::mouseClick(buttonOf(&main, "cmdNext"), Qt::LeftButton);
        QCOMPARE(name->text(), QStringLiteral("Boiler"));
        buttonOf(&main, "cmdNext")->setFocus();
        QTest::keyClick(buttonOf(&main, "cmdNext"), Qt::Key_Space);
        QCOMPARE(name->text(), QStringLiteral("Chiller"));
        QTest::keyClick(&main, Qt::Key_S, Qt::AltModifier); // Fir&st
        QTRY_COMPARE(name->text(), QStringLiteral("Air handler"));
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("Air handler 2"));
        QTest::mouseClick(buttonOf(&main, "cmdUpdate"), Qt::LeftButton);
        QCOMPARE(
            folder.scalar(QStringLiteral("select taskname from tasks where taskid = 1")).toString(),
            QStringLiteral("Air handler 2"));
        QVERIFY(daily->isRunning());
        resume.release();
        daily->finish();
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join(u'\n')));
        // The copy is whole and holds the file as it was when it ended.
        const QList<BackupFile> made = listBackups(backupsOf(folder));
        QCOMPARE(reasons(backupsOf(folder)), QStringList{"daily"});
        QCOMPARE(inspectBackup(made.first().path).error, QString());
        QCOMPARE(scalarIn(made.first().path,
                          QStringLiteral("select taskname as v from tasks where taskid = 1"))
                     .toString(),
                 QStringLiteral("Air handler 2"));
    }

    // Closing the program waits for the daily copy, or stops it cleanly when the user
    // cancels the wait: no copy is left, under any name.
    void closingWaitsOrStops_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waits") << false;
        QTest::newRow("stopped") << true;
    }
    void closingWaitsOrStops() {
        QFETCH(bool, cancel);
        ScriptedUi ui;
        ui.setNow(at(Today));
        TempWorkFolder folder(2026, SiteSql, false);
        StartedProgram program(folder.path(), installWindows);
        frmMain& main = *program.main;
        main.show();
        main.startDailyBackup();
        DailyBackup* daily = main.dailyBackup();
        if (cancel) {
            ui.cancelProgressAt(0);
            std::atomic<bool> stopAsked{false};
            daily->setStepObserver([&](int, int) {
                // Holds the copy until the close has asked it to stop.
                while (!daily->stopRequested())
                    QThread::yieldCurrentThread();
                stopAsked = true;
            });
            QVERIFY(main.close());
            QVERIFY(stopAsked);
            QCOMPARE(ui.progressShown.size(), 1);
            QCOMPARE(ui.progressShown[0].title, QStringLiteral("Backups"));
            QVERIFY(ui.progressShown[0].cancelOffered);
        } else {
            QVERIFY(main.close());
        }
        QVERIFY(!daily->isRunning());
        QVERIFY2(ui.messages.isEmpty(), qPrintable(ui.messageTexts().join(u'\n')));
        QCOMPARE(reasons(backupsOf(folder)), cancel ? QStringList{} : QStringList{"daily"});
        QCOMPARE(filesIn(backupsOf(folder)).size(), cancel ? 0 : 1);
    }

    // The window lists every backup, newest first, with what it holds; Back Up Now adds one
    // and selects it; Open Folder shows the folder in the file manager.
    void windowListsBackups() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, SiteSql, false);
        const QString backups = backupsOf(folder);
        QVERIFY(makeBackup(folder.dbPath(), backups, "before-set-year", at("2026-12-01T09:00:00"))
                    .ok());
        folder.exec(QStringLiteral("DELETE FROM tasks WHERE taskid = 3; "
                                   "DELETE FROM assign WHERE assid > 100;"));
        QVERIFY(makeBackup(folder.dbPath(), backups, "daily", at("2026-12-06T08:05:09")).ok());
        // A file named as a backup that is none: listed, its counts unreadable.
        QFile text(backups + QStringLiteral("/tavrel-2026-12-02T100000-manual.mdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a database\n");
        text.close();
        ui.setNow(at(Today));
        StartedProgram program(folder.path(), installWindows);
        program.main->mnuBackups->trigger();
        auto* window = program.main->findChild<frmBackups*>();
        QVERIFY(window && window->isVisible());
        auto rows = [window] {
            QStringList shown;
            for (int i = 0; i < window->lstBackups->topLevelItemCount(); ++i) {
                QTreeWidgetItem* item = window->lstBackups->topLevelItem(i);
                shown << QStringList{item->text(0), item->text(1), item->text(3), item->text(4)}
                             .join(u'|');
            }
            return shown;
        };
        QCOMPARE(rows(), (QStringList{"12/6/2026 8:05:09 AM|Daily|2|100",
                                      "12/2/2026 10:00:00 AM|Backed up by hand|unreadable|",
                                      "12/1/2026 9:00:00 AM|Before setting the year|3|20,000"}));
        // The newest is chosen as the window opens, and the arrow keys choose another.
        QCOMPARE(window->selectedBackup()->reason, QStringLiteral("daily"));
        QVERIFY(window->cmdRestore->isEnabled());
        window->lstBackups->setFocus();
        QTest::keyClick(window->lstBackups, Qt::Key_Down);
        QCOMPARE(window->selectedBackup()->reason, QStringLiteral("manual"));
        QCOMPARE(window->lblFolder->text(),
                 QStringLiteral("Backups in %1:").arg(QDir::toNativeSeparators(backups)));

        clickRow(window->lstBackups, 2);
        QCOMPARE(window->selectedBackup()->reason, QStringLiteral("before-set-year"));
        QVERIFY(window->cmdRestore->isEnabled());
        // The new copy is listed first and chosen in place of the one chosen before.
        QTest::mouseClick(window->cmdBackUpNow, Qt::LeftButton);
        QCOMPARE(rows().first(), QStringLiteral("12/7/2026 8:15:00 AM|Backed up by hand|2|100"));
        QCOMPARE(window->selectedBackup()->path, listBackups(backups).first().path);

        QTest::mouseClick(window->cmdOpenFolder, Qt::LeftButton);
        ui.openFolderWorks = false;
        QTest::mouseClick(window->cmdOpenFolder, Qt::LeftButton);
        QCOMPARE(ui.foldersOpened, (QStringList{backups, backups}));
        QCOMPARE(ui.messageTexts().join(u'\n'),
                 QStringLiteral("The folder %1 could not be shown in a file manager.")
                     .arg(QDir::toNativeSeparators(backups)));
        // Help and F1 open the page on backups; Escape closes the window, as Close does, with
        // the focus in the list.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->lstBackups->setFocus();
        QTest::mouseClick(window->cmdHelp, Qt::LeftButton);
        QTest::keyClick(window->lstBackups, Qt::Key_F1);
        QCOMPARE(ui.helpTopics, (QStringList{"backups", "backups"}));
        QTest::keyClick(window->lstBackups, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }

    // Restore asks once, keeps the file as it was as a before-restore copy, writes the
    // backup into the database and puts every window back on it; it is refused, with
    // nothing asked or written, while a row is being edited or for a copy that is no
    // complete database, and nothing happens when the user answers No.
    void restoreFromWindow_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("message"); // the one message besides the question
        QTest::newRow("restored") << "yes"
                                  << "The backup of 12/1/2026 9:00:00 AM (before setting "
                                     "the year) has been restored.";
        // No copy of a damaged database can pass its check: the damaged file itself is kept,
        // and the message says where.
        QTest::newRow("over a damaged database")
            << "damaged database"
            << "The backup of 12/1/2026 9:00:00 AM (before setting the year) has been restored. "
               "The damaged database is kept in %1.";
        QTest::newRow("answered No") << "no"
                                     << "";
        QTest::newRow("a row being edited")
            << "editing"
            << "A record is being edited. Save or cancel your changes first, then restore the "
               "backup.";
        QTest::newRow("a damaged copy") << "damaged"
                                        << "";
        // The copy of the database as it is cannot be kept (the disk is full): nothing is
        // written, since the restore would replace the only copy of the rows.
        QTest::newRow("no copy of the database kept")
            << "blocked"
            << "The backup of %1 could not be written to %2: the disk is full. Nothing was kept; "
               "the database is unchanged. Nothing was restored.";
    }
    void restoreFromWindow() {
        QFETCH(QString, situation);
        QFETCH(QString, message);
        ScriptedUi ui;
        TempWorkFolder folder(2026, SiteSql, false);
        const QString backups = backupsOf(folder);
        const BackupResult made =
            makeBackup(folder.dbPath(), backups, "before-set-year", at("2026-12-01T09:00:00"));
        QVERIFY(made.ok());
        if (situation == QLatin1String("damaged")) {
            QFile copy(made.path);
            QVERIFY(copy.open(QIODevice::ReadWrite));
            copy.resize(copy.size() / 2);
        }
        folder.exec(QStringLiteral("DELETE FROM tasks WHERE taskid = 1; "
                                   "UPDATE settings SET CurYear = 2027;"));
        ui.setNow(at(Today));
        StartedProgram program(folder.path(), installWindows);
        frmMain& main = *program.main;
        main.show();
        auto* name = main.findChild<QLineEdit*>(QStringLiteral("txtTaskName"));
        QCOMPARE(name->text(), QStringLiteral("Boiler"));
        ui.clearRecord(); // the year question of start-up
        QCOMPARE(main.mnuSetYear->text(), QStringLiteral("&Set Current Year (Now 2027)"));
        if (situation == QLatin1String("editing"))
            QTest::keyClicks(name, QStringLiteral(" room"));
        frmBackups* window = openBackupsWindow(&main);
        clickRow(window->lstBackups, 0);
        const QString damagedText =
            situation == QLatin1String("damaged") ? inspectBackup(made.path).error : QString();
        if (situation == QLatin1String("damaged"))
            message = damagedText;
        if (situation == QLatin1String("blocked")) {
            ConnectionHooks full;
            full.path = folder.dbPath();
            full.backupMaxPageCount = 1;
            setConnectionHooks(full);
            message = message.arg(QDir::toNativeSeparators(folder.dbPath()),
                                  QDir::toNativeSeparators(backups));
        }
        const bool overDamaged = situation == QLatin1String("damaged database");
        if (overDamaged) {
            QVERIFY(damageLeafOf(folder.dbPath(), QStringLiteral("assign")));
            message = message.arg(
                QDir::toNativeSeparators(folder.file(QStringLiteral("tavrel-damaged-1.mdb"))));
        }
        const auto unhook = qScopeGuard([] { setConnectionHooks({}); });
        const bool asked = situation == QLatin1String("yes") || situation == QLatin1String("no") ||
                           situation == QLatin1String("blocked") || overDamaged;
        ui.answer(situation == QLatin1String("no") ? MsgResult::No : MsgResult::Yes);
        QTest::mouseClick(window->cmdRestore, Qt::LeftButton);

        const QStringList shown = ui.messageTexts();
        QCOMPARE(shown.size(), int(asked) + int(!message.isEmpty()));
        if (asked) {
            QCOMPARE(ui.messages[0].title, QStringLiteral("Restore Backup"));
            QCOMPARE(ui.messages[0].buttons, MsgButtons::YesNo);
            QVERIFY(
                shown[0].startsWith(QLatin1String("Restore the backup of 12/1/2026 9:00:00 AM")));
        }
        if (!message.isEmpty())
            QCOMPARE(shown.last(), message);
        const bool restored = situation == QLatin1String("yes") || overDamaged;
        const QStringList expected = situation == QLatin1String("yes")
                                         ? QStringList{"before-restore", "before-set-year"}
                                         : QStringList{"before-set-year"};
        QCOMPARE(reasons(backups), expected);
        QCOMPARE(folder.scalar(QStringLiteral("select count(*) from tasks")).toInt(),
                 restored ? 3 : 2);
        if (situation != QLatin1String("yes"))
            return;
        // The copy kept first holds the file as it was before the restore.
        const QString before = listBackups(backups).first().path;
        QCOMPARE(scalarIn(before, QStringLiteral("select count(*) as v from tasks")).toInt(), 2);
        // Every window reads the restored rows: the task list, the year and its weeks.
        QCOMPARE(name->text(), QStringLiteral("Boiler"));
        QTest::mouseClick(buttonOf(&main, "cmdFirst"), Qt::LeftButton);
        QCOMPARE(name->text(), QStringLiteral("Air handler"));
        QCOMPARE(state().CurYear, 2026);
        QCOMPARE(main.mnuSetYear->text(), QStringLiteral("&Set Current Year (Now 2026)"));
        // The list shows the before-restore copy too.
        QCOMPARE(window->lstBackups->topLevelItemCount(), 2);
    }

    // Options: the folder and the four counts, saved in the site's settings and shown again
    // when the dialog opens next; a folder that cannot take backups is refused.
    void optionsSavedAndReadBack() {
        ScriptedUi ui;
        TempWorkFolder folder(2026, SiteSql, false);
        QFile blocker(folder.file(QStringLiteral("usb")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ui.setNow(at(Today));
        StartedProgram program(folder.path(), installWindows);
        frmBackups* window = openBackupsWindow(program.main.get());
        QStringList refused;
        auto setOptions = [&refused](const QString& path, QList<int> counts) {
            return [&refused, path, counts](QDialog* dialog) {
                dialog->findChild<QLineEdit*>(QStringLiteral("txtFolder"))->setText(path);
                const char* boxes[] = {"spnDays", "spnWeeks", "spnMonths", "spnOthers"};
                for (int i = 0; i < 4; ++i) {
                    auto* box = dialog->findChild<QSpinBox*>(QString::fromLatin1(boxes[i]));
                    box->selectAll();
                    QTest::keyClicks(box, QString::number(counts[i]));
                }
                QTest::mouseClick(buttonOf(dialog, "cmdOK"), Qt::LeftButton);
                if (dialog->isVisible())
                    refused << QStringLiteral("stayed open");
            };
        };
        ui.onModal(setOptions(QStringLiteral("usb/backups"), {3, 2, 6, 5}));
        ui.onModal(setOptions(QStringLiteral("elsewhere"), {3, 2, 6, 5}));
        QTest::mouseClick(window->cmdOptions, Qt::LeftButton);
        QTest::mouseClick(window->cmdOptions, Qt::LeftButton);
        QCOMPARE(refused, QStringList{"stayed open"});
        QCOMPARE(ui.messageTexts().size(), 1);
        QVERIFY(ui.messageTexts()[0].endsWith(QLatin1String("could not be created. Choose "
                                                            "another folder.")));
        const SiteSettings saved = SiteSettings::load(folder.path());
        QCOMPARE(saved.backupFolder, QStringLiteral("elsewhere"));
        QCOMPARE(saved.backupCounts.days, 3);
        QCOMPARE(saved.backupCounts.weeks, 2);
        QCOMPARE(saved.backupCounts.months, 6);
        QCOMPARE(saved.backupCounts.others, 5);
        QCOMPARE(window->lblFolder->text(),
                 QStringLiteral("Backups in %1:")
                     .arg(QDir::toNativeSeparators(folder.file(QStringLiteral("elsewhere")))));
        QList<int> reread;
        ui.onModal([&reread](QDialog* dialog) {
            for (const char* name : {"spnDays", "spnWeeks", "spnMonths", "spnOthers"})
                reread << dialog->findChild<QSpinBox*>(QString::fromLatin1(name))->value();
            reread << int(dialog->findChild<QLineEdit*>(QStringLiteral("txtFolder"))->text() ==
                          QLatin1String("elsewhere"));
        });
        QTest::mouseClick(window->cmdOptions, Qt::LeftButton);
        QCOMPARE(reread, (QList<int>{3, 2, 6, 5, 1}));
    }
};

QTEST_MAIN(TestBackups)
#include "tst_backups.moc"
