// Reading the earlier program's Jet files and converting them into the program's own.

#include "core/programstate.h"
#include "core/startup.h"
#include "data/database.h"
#include "data/errortrap.h"
#include "legacy/converter.h"
#include "legacy/importer.h"
#include "legacy/mdbreader.h"
#include "support/otherprogram.h"
#include "support/scriptedui.h"
#include "support/testenv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace tavrel;
using namespace tavrel::test;

namespace {

const QString JetData = QStringLiteral(TAVREL_JET_DATA);
const QString DateFormat = QStringLiteral("%Y-%m-%d %H:%M:%S");

// Tables built in memory, served as a Jet file would serve them.
class MemorySource final : public LegacySource {
public:
    struct Table {
        LegacyTable def;
        QList<QList<QVariant>> rows;
        QList<int> unreadable; // row numbers the file cannot give
    };
    QList<Table> data;

    void add(const QString& name, const QList<LegacyColumn>& columns,
             const QList<QList<QVariant>>& rows, const QList<int>& unreadable = {}) {
        data << Table{LegacyTable{name, columns}, rows, unreadable};
    }
    QList<LegacyTable> tables() const override {
        QList<LegacyTable> defs;
        for (const Table& t : data)
            defs << t.def;
        return defs;
    }
    bool readRows(const QString& table, const RowFn& row, const UnreadableFn& unreadable) override {
        for (const Table& t : data) {
            if (t.def.name != table)
                continue;
            for (int i = 0; i < t.rows.size(); ++i) {
                if (t.unreadable.contains(i + 1))
                    unreadable(i + 1, QStringLiteral("a memo page is missing"));
                else
                    row(t.rows[i]);
            }
            return true;
        }
        return false;
    }
};

// The earlier program's tables, with names in mixed case as Jet keeps them. The old schema
// lacks the four columns that later versions added; neither file has weeks.
std::unique_ptr<MemorySource> programTables(bool oldSchema) {
    using T = LegacyType;
    auto source = std::make_unique<MemorySource>();
    QList<LegacyColumn> tasks = {{"TaskID", T::Integer}, {"TaskName", T::Text},
                                 {"TaskDesc", T::Text},  {"ReqHour", T::Number},
                                 {"PurchDate", T::Date}, {"WarDate", T::Date},
                                 {"LocID", T::Integer},  {"TypID", T::Integer}};
    QList<QVariant> task3 = {3, "Boiler Ä", "Line one\r\nline two \"quoted\"", 1.5, -1.25, 38718.5,
                             4, 6};
    QList<QVariant> task7(tasks.size()); // empty in every column but its key
    task7[0] = 7;
    QList<LegacyColumn> assign = {
        {"AssID", T::Integer},  {"TaskID", T::Integer},    {"WeeID", T::Integer},
        {"DueDate", T::Date},   {"Completed", T::Boolean}, {"CompNotes", T::Text},
        {"Parts", T::Currency}, {"Labor", T::Currency},    {"Tax", T::Currency}};
    QList<QList<QVariant>> assignRows = {
        {5, 3, 2, 38362.0, true, "done", qlonglong(12345678912), 1, QVariant()},
        {6, 3, 3, 38369.0, false, QVariant(), 0, 0, 0}, // unreadable, below
        {9, 99, 2, 38362.0, false, QVariant(), 0, 0, 0},
        {10, 7, 2, QVariant(), false, QVariant(), QVariant(), QVariant(), QVariant()}};
    if (!oldSchema) {
        tasks << LegacyColumn{"EmpID", T::Integer} << LegacyColumn{"CurYearOnly", T::Boolean};
        task3 << 2 << true;
        task7 << QVariant() << false;
        assign << LegacyColumn{"LocID", T::Integer} << LegacyColumn{"TypID", T::Integer};
        for (QList<QVariant>& row : assignRows)
            row << QVariant() << QVariant();
    }
    source->add("Tasks", tasks, {task3, task7, {12, "Pump", {}, {}, {}, {}, {}, {}}});
    source->add("ASSIGN", assign, assignRows, {2});
    source->add("Locations", {{"LocID", T::Integer}, {"LocDesc", T::Text}}, {{4, "Hall"}});
    source->add("Settings", {{"CurYear", T::Integer}}, {{2004}});
    source->add("Invoices", {{"id", T::Integer}}, {{1}}); // not the program's: left out
    return source;
}

// A file whose header names the Jet engine and nothing more: for the start-up's path with
// tables served from memory.
void writeJetHeader(const QString& path) {
    QVERIFY(writeFile(path, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) +
                                QByteArray(2048, 'x')));
}

QByteArray fileHash(const QString& path) {
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256);
}

// Helpers of the tests that read the sample files with libmdb.
#ifdef TAVREL_HAVE_LIBMDB
// A value as mdb-export -D/-T prints it (numbers aside).
QString exported(LegacyType type, const QVariant& v) {
    if (v.isNull())
        return {};
    switch (type) {
    case LegacyType::Date:
        return jetDateTime(v.toDouble())->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case LegacyType::Currency: {
        const qlonglong t = v.toLongLong();
        return QStringLiteral("%1%2.%3")
            .arg(t < 0 ? "-" : "")
            .arg(qAbs(t) / 10000)
            .arg(qAbs(t) % 10000, 4, 10, QLatin1Char('0'));
    }
    case LegacyType::Boolean:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return v.toString();
    }
}

// mdb-export's CSV: quoted texts may hold commas, doubled quotes and line ends.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\n') {
            rows << (row << field);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

QList<QList<QVariant>> readAll(LegacySource& source, const QString& table) {
    QList<QList<QVariant>> rows;
    source.readRows(
        table, [&](const QList<QVariant>& r) { rows << r; },
        [&](int, const QString&) { rows << QList<QVariant>{"unreadable"}; });
    return rows;
}
#endif

} // namespace

class TestLegacy : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void init() { resetProgramState(); }

    // Every value of every table as mdb-export prints it, in the same order.
    void readerMatchesMdbExport_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        for (const char* t : {"Order Details", "Orders", "Products", "Shippers", "Categories",
                              "Customers", "Employees", "Suppliers", "Umsätze"})
            QTest::newRow(t) << "nwind.mdb" << QString::fromUtf8(t);
        QTest::newRow("DateTest") << "DateTestDatabase.mdb"
                                  << "DateTest";
    }
    void readerMatchesMdbExport() {
#ifdef TAVREL_HAVE_LIBMDB
        QFETCH(QString, file);
        QFETCH(QString, table);
        MdbReader reader(JetData + '/' + file);
        QVERIFY(reader.isOpen());
        QProcess exporter;
        // mdbtools 1.0 formats date-and-time columns by -T, date-only ones by -D.
        exporter.start("mdb-export",
                       {"-D", DateFormat, "-T", DateFormat, JetData + '/' + file, table});
        QVERIFY(exporter.waitForFinished(30000));
        const QList<QStringList> csv =
            parseCsv(QString::fromUtf8(exporter.readAllStandardOutput()));
        QList<LegacyColumn> columns;
        for (const LegacyTable& t : reader.tables())
            if (t.name == table)
                columns = t.columns;
        const QList<QList<QVariant>> rows = readAll(reader, table);
        QVERIFY(!rows.isEmpty());
        QCOMPARE(rows.size(), csv.size() - 1);
        for (qsizetype r = 0; r < rows.size(); ++r) {
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const LegacyType type = columns[c].type;
                const QString theirs = csv[r + 1][c];
                const QString ours = exported(type, rows[r][c]);
                // mdbtools 1.0 prints day 00 for dates it cannot place (readerSamples
                // checks those); OLE pictures are not the program's.
                if (type == LegacyType::Other ||
                    (type == LegacyType::Date && theirs.contains("-00 ")))
                    continue;
                if (type == LegacyType::Number) {
                    QVERIFY2(qAbs(theirs.toDouble() - rows[r][c].toDouble()) <=
                                 1e-6 * qMax(1.0, qAbs(theirs.toDouble())),
                             qPrintable(columns[c].name));
                    continue;
                }
                QVERIFY2(ours == theirs, qPrintable(QStringLiteral("row %1 %2: %3 / %4")
                                                        .arg(r + 1)
                                                        .arg(columns[c].name, ours, theirs)));
            }
        }
#else
        QSKIP("built without libmdb: nothing reads the earlier program's files");
#endif
    }

    // The dates mdb-export misprints, pinned by hand.
    void readerSamples_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("expected");
        // The rows' labels name the years; mdbtools 1.0 prints "1900-01-00" for each.
        const QString dates = "DateTestDatabase.mdb";
        QTest::newRow("year 9999") << dates << "DateTest" << 2 << "DateTimeCol"
                                   << "9999-01-01 00:00:00";
        QTest::newRow("before 1000, date") << dates << "DateTest" << 4 << "DateCol"
                                           << "0633-01-01 00:00:00";
    }

    void readerSamples() {
#ifdef TAVREL_HAVE_LIBMDB
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(int, row);
        QFETCH(QString, column);
        QFETCH(QString, expected);
        MdbReader reader(JetData + '/' + file);
        LegacyColumn found;
        qsizetype index = -1;
        for (const LegacyTable& t : reader.tables())
            for (qsizetype c = 0; t.name == table && c < t.columns.size(); ++c)
                if (t.columns[c].name == column)
                    found = t.columns[index = c];
        QVERIFY(index >= 0);
        QCOMPARE(exported(found.type, readAll(reader, table).value(row - 1).value(index)),
                 expected);
#else
        QSKIP("built without libmdb: nothing reads the earlier program's files");
#endif
    }

    // The edges the files at hand do not reach (conversionThenUpgrade has a time before day
    // zero and a noon).
    void jetDayNumbers_data() {
        QTest::addColumn<double>("day");
        QTest::addColumn<QString>("expected");
        QTest::newRow("rounds up to midnight") << 38717.9999999 << "2006-01-01 00:00:00";
        QTest::newRow("rounds up, before day zero") << -2.9999999 << "1899-12-29 00:00:00";
        QTest::newRow("last second") << 2958465.99998 << "9999-12-31 23:59:58";
        QTest::newRow("beyond 9999") << 2958466.0 << "";
        QTest::newRow("before 100") << -657435.0 << "";
    }
    void jetDayNumbers() {
        QFETCH(double, day);
        QFETCH(QString, expected);
        const std::optional<QDateTime> when = jetDateTime(day);
        QCOMPARE(when ? when->toString("yyyy-MM-dd HH:mm:ss") : QString(), expected);
    }

    // Tables of both schemas converted, then opened by start-up with its schema upgrade.
    void conversionThenUpgrade_data() {
        QTest::addColumn<bool>("oldSchema");
        QTest::newRow("current schema") << false;
        QTest::newRow("old schema") << true;
    }
    void conversionThenUpgrade() {
        QFETCH(bool, oldSchema);
        ScriptedUi ui;
        QTemporaryDir dir;
        const QString path = dir.filePath("tavrel.mdb");
        ConversionSummary summary;
        QString error;
        QVERIFY2(convertLegacyFile(*programTables(oldSchema), LegacyFileKind::TaskDatabase, path,
                                   2005, &summary, &error),
                 qPrintable(error));
        QCOMPARE(summary.text(), "  tasks: 3 rows\n  assign: 3 rows\n  locations: 1 row\n"
                                 "  settings: 1 row\n"
                                 "Not in the file, written new: taskweeks, weeks, employees, "
                                 "managers, types.\n"
                                 "Rows that could not be read (1):\n"
                                 "  assign, row 2: a memo page is missing");
        openMainDatabase(dir.path());
        QVERIFY(state().dbMain.isOpen());
        QVERIFY(ui.messageTexts().isEmpty());

        Recordset task = state().dbMain.openRecordset("select * from tasks order by taskid",
                                                      RecordsetType::Snapshot);
        QCOMPARE(task.value("taskid").toInt(), 3);
        QCOMPARE(task.value("taskname").toString(), QString::fromUtf8("Boiler Ä"));
        QCOMPARE(task.value("taskdesc").toString(), "Line one\r\nline two \"quoted\"");
        QCOMPARE(task.value("purchdate").toDateTime(), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        QCOMPARE(task.value("wardate").toDateTime(), QDateTime(QDate(2006, 1, 1), QTime(12, 0)));
        QCOMPARE(task.value("curyearonly").toBool(), !oldSchema);
        QCOMPARE(task.value("empid"), oldSchema ? QVariant() : QVariant(2));
        task.moveNext();
        QCOMPARE(task.value("taskid").toInt(), 7);
        for (const char* column : {"taskname", "taskdesc", "reqhour", "purchdate", "locid"})
            QVERIFY2(task.value(column).isNull(), column);
        task.close();

        Recordset assign = state().dbMain.openRecordset("select * from assign order by assid",
                                                        RecordsetType::Snapshot);
        QCOMPARE(assign.value("assid").toInt(), 5);
        QCOMPARE(assign.value("completed").toBool(), true);
        QCOMPARE(assign.value("duedate").toDate(), QDate(2005, 1, 10));
        QCOMPARE(qRound64(assign.value("parts").toDouble() * 10000), Q_INT64_C(12345678912));
        QCOMPARE(assign.value("labor").toDouble(), 0.0001);
        QVERIFY(assign.value("tax").isNull());
        // The upgrade gave the old file's assignments their task's location and type.
        QCOMPARE(assign.value("locid"), oldSchema ? QVariant(4) : QVariant());
        QCOMPARE(assign.value("typid"), oldSchema ? QVariant(6) : QVariant());
        assign.moveNext();
        QCOMPARE(assign.value("assid").toInt(), 9); // its task is gone: nothing to copy
        QVERIFY(assign.value("locid").isNull());
        assign.close();

        Recordset weeks = state().dbMain.openRecordset("select * from weeks order by weeid",
                                                       RecordsetType::Snapshot);
        weeks.moveLast();
        QCOMPARE(weeks.recordCount(), 52);
        QCOMPARE(weeks.value("curdate").toDate().year(), 2004); // the year of settings
        weeks.close();

        // New keys go on after the highest kept one.
        Recordset added = state().dbMain.openRecordset("select * from tasks");
        added.addNew();
        QCOMPARE(added.value("taskid").toInt(), 13);
        added.cancelUpdate();
        added.close();
        state().dbMain.close();
    }

    // The new file's schema and rows are one operation: another program's lock on it is
    // waited for wherever it comes (at the start a write lock, later a reader's that holds
    // up the commit), one that stays ends the program (No to "Locked Record") with nothing
    // in the file, and a full disk fails the conversion with one error and no file left.
    void conversionIsAllOrNothing_data() {
        QTest::addColumn<QString>("lockBefore"); // empty: the disk is full
        QTest::addColumn<int>("releaseAfter");
        for (const char* at : {"BEGIN IMMEDIATE", "INSERT", "COMMIT"})
            QTest::addRow("%s, released", at) << at << 3;
        QTest::addRow("COMMIT, never released") << "COMMIT" << -1;
        QTest::addRow("disk full") << QString() << 0;
    }
    void conversionIsAllOrNothing() {
        QFETCH(QString, lockBefore);
        QFETCH(int, releaseAfter);
        ScriptedUi ui;
        QTemporaryDir dir;
        const QString path = dir.filePath("tavrel.mdb");
        ConversionSummary summary;
        QString error;
        bool converted = false;
        int ended = -1;
        {
            std::optional<LockAtStatement> lock;
            if (lockBefore.isEmpty()) {
                ConnectionHooks hooks;
                hooks.path = path;
                hooks.maxPageCount = 1;
                setConnectionHooks(hooks);
            } else {
                // Creating the file writes its header in a transaction of its own first.
                const int occurrence = lockBefore == "INSERT" ? 1 : 2;
                lock.emplace(path, lockBefore, releaseAfter, occurrence);
            }
            try {
                converted = convertLegacyFile(*programTables(false), LegacyFileKind::TaskDatabase,
                                              path, 2005, &summary, &error);
            } catch (const ProgramEnded& end) {
                ended = end.exitCode;
            }
            if (lock)
                QVERIFY(lock->tookLock());
            setConnectionHooks({});
        }
        if (lockBefore.isEmpty()) {
            QVERIFY(!converted);
            QCOMPARE(error, QStringLiteral("The database %1 could not be written: the disk is "
                                           "full. Nothing of this change was saved. Make room on "
                                           "the disk, then try again.")
                                .arg(QDir::toNativeSeparators(path)));
            QVERIFY(!QFile::exists(path));
            QVERIFY(ui.messages.isEmpty());
        } else if (releaseAfter < 0) {
            QCOMPARE(ended, 1);
            QCOMPARE(ui.messageTexts(),
                     QStringList{"Could not update locked record.  Do you wish to try again?"});
            OtherProgram other(path);
            QCOMPARE(other.contents(), QString()); // not even a table
        } else {
            QVERIFY2(converted, qPrintable(error));
            QVERIFY(ui.messages.isEmpty());
            QVERIFY(summary.text().startsWith("  tasks: 3 rows\n  assign: 3 rows\n"));
            OtherProgram other(path);
            QVERIFY(other.contents().contains(QString::fromUtf8("Boiler Ä")));
        }
    }

    // Start-up on the earlier program's tavrel.mdb: the question, and what each answer does
    // to the folder.
    void startupOffersConversion_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void startupOffersConversion() {
        QFETCH(bool, yes);
        ScriptedUi ui;
        QTemporaryDir dir;
        writeJetHeader(dir.filePath("tavrel.mdb"));
        const QByteArray original = fileHash(dir.filePath("tavrel.mdb"));
        state().legacyOpener = [](const QString& path) -> std::unique_ptr<LegacySource> {
            if (path.endsWith("tavrel.mdb"))
                return programTables(false);
            return nullptr;
        };
        state().startupSteps.convertEarlierDatabase = [] {
            return convertEarlierDatabaseAtStartup(true);
        };
        ui.msgAnswers.enqueue(yes ? MsgResult::Yes : MsgResult::No);
        bool ended = false;
        try {
            openMainDatabase(dir.path(), MissingDatabase::OfferToCreate);
        } catch (const ProgramEnded&) {
            ended = true;
        }
        QCOMPARE(ui.messages.first().text,
                 QDir::toNativeSeparators(dir.filePath("tavrel.mdb")) +
                     " was written by an earlier program. Convert it now? The original is kept "
                     "as tavrel-earlier-program.mdb.");
        QCOMPARE(ended, !yes);
        QCOMPARE(state().dbMain.isOpen(), yes);
        const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        if (!yes) {
            QCOMPARE(files, QStringList{"tavrel.mdb"});
            QCOMPARE(fileHash(dir.filePath("tavrel.mdb")), original);
            return;
        }
        QCOMPARE(files, QStringList({"rptspec.mdb", "tavrel-earlier-program.mdb", "tavrel.mdb"}));
        QCOMPARE(fileHash(dir.filePath("tavrel-earlier-program.mdb")), original);
        QVERIFY(ui.lastMessage().text.startsWith(
            "tavrel.mdb was converted; the original is kept as tavrel-earlier-program.mdb.\n"
            "tavrel.mdb:\n  tasks: 3 rows\n"));
        QCOMPARE(state().dbMain.openRecordset("select count(*) as n from tasks").value("n").toInt(),
                 3);
        state().dbMain.close();
    }

    // A conversion writes only files it makes itself: whatever the names given, the source
    // and every file or link already in the folder are left exactly as they were.
    void conversionLeavesOtherFilesAlone_data() {
        QTest::addColumn<QString>("source");   // relative to the folder, or "elsewhere"
        QTest::addColumn<QString>("occupant"); // what already lies at tavrel.mdb.converting
        QTest::addColumn<bool>("inPlace");     // the start-up's conversion, not --import
        QTest::addColumn<bool>("converted");
        QTest::newRow("source named as the work file") << "tavrel.mdb.converting"
                                                       << "source" << false << true;
        QTest::newRow("work file name taken by a file") << "elsewhere"
                                                        << "file" << false << true;
        QTest::newRow("work file name a dangling link") << "elsewhere"
                                                        << "dangling link" << false << true;
        QTest::newRow("source is the folder's tavrel.mdb") << "tavrel.mdb"
                                                           << "none" << false << false;
        QTest::newRow("in place, work file name taken by a file") << "tavrel.mdb"
                                                                  << "file" << true << true;
        QTest::newRow("in place, work file name a dangling link")
            << "tavrel.mdb"
            << "dangling link" << true << true;
    }
    void conversionLeavesOtherFilesAlone() {
        QFETCH(QString, source);
        QFETCH(QString, occupant);
        QFETCH(bool, inPlace);
        QFETCH(bool, converted);
        ScriptedUi ui;
        QTemporaryDir dir;
        QTemporaryDir other;
        const QDir folder(dir.path());
        const QString sourcePath = source == "elsewhere" ? QDir(other.path()).filePath("old.mdb")
                                                         : folder.filePath(source);
        writeJetHeader(sourcePath);
        const QByteArray sourceHash = fileHash(sourcePath);
        const QString work = folder.filePath("tavrel.mdb.converting");
        const QString nowhere = QDir(other.path()).filePath("nowhere/target.mdb");
        if (occupant == "file")
            QVERIFY(writeFile(work, "somebody else's"));
        else if (occupant == "dangling link")
            QVERIFY(QFile::link(nowhere, work));
        const QByteArray occupantHash = fileHash(work);
        state().legacyOpener = [](const QString&) -> std::unique_ptr<LegacySource> {
            return programTables(false);
        };

        const ImportOutcome outcome = inPlace
                                          ? convertFolderInPlace(dir.path(), 2005)
                                          : importEarlierFiles(sourcePath, {}, dir.path(), 2005);

        QVERIFY2(outcome.converted == converted, qPrintable(outcome.message));
        // The source is read, never removed or changed, and converted files are real files.
        const QString kept = inPlace ? folder.filePath("tavrel-earlier-program.mdb") : sourcePath;
        QCOMPARE(fileHash(kept), sourceHash);
        if (converted) {
            Database db = Database::open(folder.filePath("tavrel.mdb"));
            QCOMPARE(db.openRecordset("select count(*) as n from tasks").value("n").toInt(), 3);
        }
        if (occupant == "file" || occupant == "source")
            QCOMPARE(fileHash(work), occupantHash);
        if (occupant == "dangling link") {
            QCOMPARE(QFileInfo(work).symLinkTarget(), nowhere);
            QVERIFY(!QFileInfo::exists(nowhere));
        }
        // No work file is left behind.
        QCOMPARE(folder.entryList({"*.converting-*"}, QDir::Files | QDir::System), QStringList{});
    }

    void startupOnAFileWithoutTaskDataChangesNothing() {
        ScriptedUi ui;
        QTemporaryDir dir;
        QVERIFY(QFile::copy(JetData + "/nwind.mdb", dir.filePath("tavrel.mdb")));
        const QByteArray original = fileHash(dir.filePath("tavrel.mdb"));
        state().startupSteps.convertEarlierDatabase = [] {
            return convertEarlierDatabaseAtStartup(true);
        };
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, openMainDatabase(dir.path()));
#ifdef TAVREL_HAVE_LIBMDB
        QCOMPARE(ui.messageTexts(),
                 QStringList{"3343  " + QDir::toNativeSeparators(dir.filePath("tavrel.mdb")) +
                             " was written by an earlier program but holds "
                             "no task data. Nothing was changed."});
#else
        // Built without libmdb the file is not read at all: the message says why.
        QCOMPARE(ui.messageTexts(),
                 QStringList{"3343  " + QDir::toNativeSeparators(dir.filePath("tavrel.mdb")) +
                             " was written by an earlier program. Reading the earlier "
                             "program's files is not available in this build. Nothing was "
                             "changed."});
#endif
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"tavrel.mdb"});
        QCOMPARE(fileHash(dir.filePath("tavrel.mdb")), original);
        // The data layer itself never takes it for a damaged file of ours.
        QList<int> errors;
        {
            ErrorTrap trap([&errors](const DbError& e) { errors << e.number; });
            Database::open(dir.filePath("tavrel.mdb"));
            QVERIFY(Database::repair(dir.filePath("tavrel.mdb")).isEmpty());
        }
        QCOMPARE(errors, QList<int>({ErrEarlierFormat, ErrEarlierFormat}));
        QCOMPARE(fileHash(dir.filePath("tavrel.mdb")), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"tavrel.mdb"});
    }
};

QTEST_MAIN(TestLegacy)
#include "tst_legacy.moc"
