#include "data/transaction.h"

#include "data/database_p.h"
#include "data/errortrap.h"
#include "data/pgrecordset_p.h"

namespace tavrel {

QSet<sqlite3*>& connectionsInTransaction() {
    static auto* connections = new QSet<sqlite3*>; // never destroyed, like openConnections()
    return *connections;
}

namespace {

QByteArray savepointName(qsizetype level) {
    return "tavrel_write_" + QByteArray::number(level);
}

} // namespace

int Database::Impl::beginWrite() {
    if (!db)
        return SQLITE_MISUSE;
    if (transactionLost())
        return SQLITE_ABORT;
    const bool nested = !sqlite3_get_autocommit(db);
    const int rc = nested ? run(("SAVEPOINT " + savepointName(writeLevels.size())).constData())
                          : run("BEGIN IMMEDIATE");
    if (rc == SQLITE_OK)
        writeLevels.append(nested);
    return rc;
}

int Database::Impl::commitWrite() {
    if (!db || writeLevels.isEmpty())
        return SQLITE_MISUSE;
    const bool savepoint = writeLevels.last();
    const int rc = savepoint ? run(("RELEASE " + savepointName(writeLevels.size() - 1)).constData())
                             : run("COMMIT");
    if (rc == SQLITE_OK)
        writeLevels.removeLast();
    return rc;
}

void Database::Impl::abortWrite() {
    if (server)
        return detail::serverAbortWrite(*this);
    if (writeLevels.isEmpty())
        return;
    const bool savepoint = writeLevels.takeLast();
    if (!db || sqlite3_get_autocommit(db))
        return; // the engine ended it already (some failures roll back by themselves)
    if (savepoint) {
        const QByteArray name = savepointName(writeLevels.size());
        run(("ROLLBACK TO " + name).constData());
        run(("RELEASE " + name).constData());
    } else {
        run("ROLLBACK");
    }
    // Rows read ahead inside the undone work are stale now.
    ++writes;
}

struct Transaction::State {
    std::shared_ptr<Database::Impl> db; // the connection it began on, even if reassigned
    bool active = false;

    // Ends this transaction's hold on the connection, whatever the outcome.
    void release() {
        active = false;
        if (--db->transactions == 0 && db->db)
            connectionsInTransaction().remove(db->db);
    }
};

Transaction::Transaction(Database& database)
    : d(std::make_unique<State>()) {
    d->db = database.d;
    if (!d->db || (!d->db->db && !d->db->server)) {
        detail::raiseNotSet();
        return;
    }
    if (d->db->server) {
        // BEGIN, or a savepoint in the transaction already open.
        DbError error;
        if (!detail::serverBeginWrite(*d->db, &error)) {
            raiseError(error);
            return;
        }
        d->active = true;
        ++d->db->transactions;
        return;
    }
    const int rc = d->db->beginWrite();
    if (rc != SQLITE_OK) {
        d->db->raise(rc, true, QStringLiteral("BEGIN"));
        return;
    }
    d->active = true;
    ++d->db->transactions;
    connectionsInTransaction().insert(d->db->db);
}

Transaction::~Transaction() {
    if (d->active) {
        d->db->abortWrite();
        d->release();
    }
}

bool Transaction::isActive() const {
    return d->active && (d->db->db || d->db->server);
}

bool Transaction::commit() {
    if (!d->active)
        return false;
    if (d->db->server) {
        DbError error;
        if (!detail::serverCommitWrite(*d->db, &error)) {
            // Nothing of it is kept: the server rolled back what a lost connection held.
            d->db->abortWrite();
            d->release();
            raiseError(error);
            return false;
        }
        ++d->db->writes;
        d->release();
        return true;
    }
    if (!d->db->db) {
        // The connection was closed under us (a repair): the work is gone.
        d->release();
        detail::raiseNotSet();
        return false;
    }
    if (d->db->transactionLost()) {
        // A failure rolled it all back already; committing now would say otherwise.
        const DbError error = d->db->errorFor(SQLITE_ABORT, true, QStringLiteral("COMMIT"));
        d->db->abortWrite();
        d->release();
        raiseError(error);
        return false;
    }
    const int rc = d->db->commitWrite();
    if (rc == SQLITE_BUSY && !sqlite3_get_autocommit(d->db->db)) {
        // Readers of another program are still at the file. SQLite keeps the transaction
        // and its work; the same COMMIT succeeds once they are gone, so it stays open for
        // the caller to try again (or to roll back).
        d->db->raise(rc, true, QStringLiteral("COMMIT"));
        return false;
    }
    if (rc != SQLITE_OK) {
        // Keep nothing half-done, and hold no lock while the failure is reported: the
        // caller learns that none of it was written.
        const DbError error = d->db->errorFor(rc, true, QStringLiteral("COMMIT"));
        d->db->abortWrite();
        d->release();
        raiseError(error);
        return false;
    }
    ++d->db->writes;
    d->release();
    return true;
}

void Transaction::rollback() {
    if (!d->active)
        return;
    d->db->abortWrite();
    d->release();
}

} // namespace tavrel
