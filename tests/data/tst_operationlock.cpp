// Operations two planners may not run at once: the lock of a name on a server database and
// on a file.

#include "data/database.h"
#include "data/operationlock.h"
#include "support/otherprogram.h"
#include "support/tempdatabase.h"
#include "support/testserver.h"

#include <QRegularExpression>
#include <QtTest>

#include <optional>

using namespace tavrel;
using namespace tavrel::test;

class TestOperationLock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }

    // Two planners on one server database: the second is refused the name the first holds
    // and told who holds it, while another name is free; the name is free again once the
    // first lets go.
    void serverLockOfAName() {
        TAVREL_REQUIRE_SERVER();
        ServerDatabase server;
        QVERIFY(server.isValid());
        Database first = Database::open(server.url());
        Database second = Database::open(server.url());
        QVERIFY(first.isOpen() && second.isOpen());
        {
            OperationLock held(first, "year set-up");
            QVERIFY(held.isHeld());
            QString holder;
            OperationLock refused(second, "year set-up", &holder);
            QVERIFY(!refused.isHeld());
            QVERIFY2(
                QRegularExpression("^user tavrel, program tavrel, on the server's own machine, "
                                   "connected since \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d$")
                    .match(holder)
                    .hasMatch(),
                qPrintable(holder));
            OperationLock other(second, "year 2027");
            QVERIFY(other.isHeld());
        }
        // Every lock let go of, on this database.
        QCOMPARE(server.scalar("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND "
                               "database = (SELECT oid FROM pg_database WHERE datname = "
                               "current_database())"),
                 QVariant("0"));
        std::optional<OperationLock> taken;
        taken.emplace(second, "year set-up");
        QVERIFY(taken->isHeld());
        {
            OperationLock refused(first, "year set-up");
            QVERIFY(!refused.isHeld());
        }
        taken.reset();
        OperationLock afterRelease(first, "year set-up");
        QVERIFY(afterRelease.isHeld());
    }

    // On a file the operation's write transaction keeps planners apart: the lock is no lock
    // of its own and never refuses, also while another program holds the file.
    void fileNeedsNoLockOfItsOwn() {
        TempDatabase folder;
        Database first = Database::open(folder.dbPath());
        Database second = Database::open(folder.dbPath());
        OtherProgram other(folder.dbPath());
        other.holdWriteLock();
        OperationLock a(first, "year set-up");
        QString holder;
        OperationLock b(second, "year set-up", &holder);
        QVERIFY(a.isHeld() && b.isHeld());
        QVERIFY(holder.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOperationLock)
#include "tst_operationlock.moc"
