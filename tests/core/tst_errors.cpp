// Error traps, HandleDataError and the save loop, against real database files.

#include "core/errortrap.h"
#include "core/programstate.h"
#include "data/database.h"
#include "data/dberror.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tavrel;
using namespace tavrel::test;

namespace {

void addTask(Recordset& rs, const QString& name) {
    rs.addNew();
    rs.setValue(QStringLiteral("taskname"), name);
}

// Overwrites the page of `folder`'s file that `pageQuery` names; false when it names none.
bool wreckPage(const TempWorkFolder& folder, const char* pageQuery) {
    constexpr qint64 PageSize = 4096;
    const qint64 page = folder.scalar(pageQuery).toLongLong();
    QFile f(folder.dbPath());
    return page > 1 && f.open(QIODevice::ReadWrite) && f.seek((page - 1) * PageSize) &&
           f.write(QByteArray(PageSize, 'Z')) == PageSize;
}

// Opens the work folder's database under a trap and reads `table` to its last row; the
// messages shown by then.
qsizetype openAndReadToTheEnd(const ScriptedUi& ui, const QString& table) {
    ErrorTrap trap;
    state().dbMain = Database::open(state().DbPath);
    Recordset rs = state().dbMain.openRecordset("select * from " + table, RecordsetType::Snapshot);
    rs.moveLast();
    return ui.messages.size();
}

} // namespace

class TestErrors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        resetProgramState();
        useTestLocale();
    }

    // A trap reports each failure and goes on; outside one a failure ends the handler and
    // is shown; a trap with a handler of its own keeps its errors from the traps around it.
    void trapsAndUntrappedFailures() {
        ScriptedUi ui;
        TempWorkFolder folder;
        int reached = 0;
        {
            ErrorTrap trap;
            Recordset rs = state().dbMain.openRecordset("select * from nosuchtable");
            ++reached;
            QVERIFY(!rs.isOpen());
            rs.moveFirst(); // an unopened recordset reports again, harmlessly
            ++reached;
        }
        QCOMPARE(reached, 2);
        QCOMPARE(ui.messages.size(), 2);
        QVERIFY(ui.messages[0].text.startsWith(QString::number(ErrTableNotFound) + "  "));
        QVERIFY(ui.messages[0].text.contains("nosuchtable"));
        QVERIFY(ui.messages[1].text.startsWith(QString::number(ErrObjectNotSet) + "  "));

        ui.clearRecord();
        guardedCall([&] {
            state().dbMain.execute("delete * from nosuchtable");
            ++reached;
        });
        QCOMPARE(reached, 2);
        QCOMPARE(ui.messageTexts().size(), 1);
        QVERIFY(ui.messages[0].text.startsWith(QString::number(ErrTableNotFound) + "  "));

        ui.clearRecord();
        QList<int> seen;
        {
            ErrorTrap outer;
            {
                ErrorTrap probe([&seen](const DbError& e) { seen << e.number; });
                state().dbMain.openRecordset("select nosuchcolumn from tasks");
            }
            state().dbMain.execute("delete * from nosuchtable");
        }
        QCOMPARE(seen.size(), 1);
        QCOMPARE(ui.messages.size(), 1); // only the failure after the inner trap ended
    }

    void saveLoopRetriesLockedRecordThenAsks() {
        ScriptedUi ui;
        TempWorkFolder folder;
        Recordset rs = state().dbMain.openRecordset(QStringLiteral("select * from tasks"));
        addTask(rs, QStringLiteral("Check pump"));

        OtherProgram other(folder.dbPath());
        other.holdWriteLock();
        // First question: keep trying. Second: the other program lets go.
        QList<int> retryCountsAtQuestion;
        ui.retryUntilReleased(other, &retryCountsAtQuestion);
        SaveLoop(rs);

        QCOMPARE(retryCountsAtQuestion, (QList<int>{100, 100}));
        for (const ShownMessage& m : ui.messages)
            QCOMPARE(m.buttons, MsgButtons::YesNo);
        QVERIFY(!state().RetryUpdate);
        QCOMPARE(folder.scalar("select count(*) from tasks where taskname = 'Check pump'").toInt(),
                 1);

        // The next save starts counting afresh and, with no lock, asks nothing.
        ui.clearRecord();
        addTask(rs, QStringLiteral("Grease bearings"));
        SaveLoop(rs);
        QCOMPARE(state().RetryCount, qint16(0));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(folder.scalar("select count(*) from tasks").toInt(), 2);
    }

    void noToLockedRecordEndsProgram() {
        ScriptedUi ui;
        TempWorkFolder folder;
        folder.exec(QStringLiteral("INSERT INTO tasks (taskname) VALUES ('Old name');"));
        Recordset rs = state().dbMain.openRecordset(QStringLiteral("select * from tasks"));
        rs.edit();
        rs.setValue(QStringLiteral("taskname"), QStringLiteral("New name"));
        OtherProgram other(folder.dbPath());
        other.holdWriteLock();
        ui.onQuestion = [] { return MsgResult::No; };
        bool ended = false;
        try {
            SaveLoop(rs);
        } catch (const ProgramEnded&) {
            ended = true;
        }
        QVERIFY(ended);
        QCOMPARE(ui.messages.size(), 1);
        other.release();
        QCOMPARE(folder.scalar("select taskname from tasks").toString(),
                 QStringLiteral("Old name"));
    }

    void damagedDatabaseIsRepairedWithOneMessage() {
        if (testsOnServer())
            QSKIP("damaged pages and their repair are the file's own");
        ScriptedUi ui;
        TempWorkFolder folder(2005, {}, false);
        QStringList names;
        for (int i = 0; i < 400; ++i)
            names << QStringLiteral("('Task %1 %2')").arg(i).arg(QString(200, QLatin1Char('x')));
        folder.exec(QStringLiteral("INSERT INTO tasks (taskname) VALUES ") +
                    names.join(QLatin1Char(',')) + QLatin1Char(';'));

        // Wreck the leaf page of the last task rows, which moveLast() reads.
        QVERIFY(wreckPage(folder, "select pageno from dbstat where name = 'tasks' and pagetype = "
                                  "'leaf' order by path desc limit 1"));
        // One message says what happened and where the damaged file is.
        QCOMPARE(openAndReadToTheEnd(ui, "tasks"), 1);
        QVERIFY2(Err().number == ErrDatabaseDamaged,
                 qPrintable(QString::number(Err().number) + Err().description));
        QVERIFY(state().dbMain.isOpen());
        const QStringList backups =
            QDir(folder.path()).entryList(QDir::Files).filter(QStringLiteral("damaged"));
        QCOMPARE(backups, QStringList{QStringLiteral("tavrel-damaged-1.mdb")});
        QVERIFY(ui.messages[0].text.contains(QDir::toNativeSeparators(folder.file(backups[0]))));

        // The repaired file holds the rows that could still be read, and works again.
        const int survivors = folder.scalar("select count(*) from tasks").toInt();
        QVERIFY2(survivors > 300 && survivors < 400, qPrintable(QString::number(survivors)));
        Recordset again = state().dbMain.openRecordset(QStringLiteral("select * from tasks"));
        again.moveLast();
        QCOMPARE(again.recordCount(), survivors);
        QCOMPARE(ui.messages.size(), 1);
    }

    void repairNamesTheFileOfRowsItCouldNotPlace() {
        // Locations and types have rows of one shape: with the root page of locations
        // wrecked, its rows cannot be told from types' and are kept in a file of their own,
        // which the message names.
        if (testsOnServer())
            QSKIP("damaged pages and their repair are the file's own");
        ScriptedUi ui;
        TempWorkFolder folder(2005, {}, false);
        folder.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
            "INSERT INTO locations (locdesc) SELECT printf('Building %d, room %03d, north "
            "wing', i % 7, i) FROM n;"));
        QVERIFY(
            wreckPage(folder, "select pageno from dbstat where name = 'locations' and path = '/'"));
        QCOMPARE(openAndReadToTheEnd(ui, "locations"), 1);
        const QString unplaced = folder.file(QStringLiteral("tavrel-damaged-1-unplaced.mdb"));
        QVERIFY(QFile::exists(unplaced));
        QVERIFY2(ui.messages[0].text.endsWith(
                     QStringLiteral(" Records that could belong to more than one table were not "
                                    "put back; they were kept in %1.")
                         .arg(QDir::toNativeSeparators(unplaced))),
                 qPrintable(ui.messages[0].text));
    }
};

QTEST_MAIN(TestErrors)
#include "tst_errors.moc"
