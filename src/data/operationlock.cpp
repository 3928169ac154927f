#include "data/operationlock.h"

#include "data/database.h"
#include "data/database_p.h"
#include "data/errortrap.h"
#include "data/pgconnection.h"

#include <QCryptographicHash>
#include <QStringList>

namespace tavrel {

using detail::PgConnection;
using detail::PgResult;

namespace {

// The advisory lock's key of a name: the same in every copy of the program on every
// machine (a hash of Qt's own, seeded per process, would not be), and apart from the keys
// other programs on the same server use, through the prefix.
qint64 lockKey(const QString& name) {
    const QByteArray digest = QCryptographicHash::hash(
        QStringLiteral("tavrel operation: %1").arg(name).toUtf8(), QCryptographicHash::Sha256);
    quint64 key = 0;
    for (int i = 0; i < 8; ++i)
        key = (key << 8) | quint8(digest.at(i));
    return qint64(key);
}

// Who holds the advisory lock `key`: pg_locks shows a bigint key as its high half (classid)
// and its low half (objid), with objsubid 1.
QString describeHolder(PgConnection& server, qint64 key) {
    const quint64 bits = quint64(key);
    DbError error;
    const PgResult result = server.exec(
        QStringLiteral(
            "SELECT a.usename, a.application_name, host(a.client_addr), "
            "to_char(a.backend_start, 'YYYY-MM-DD HH24:MI') FROM pg_locks l JOIN "
            "pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
            "AND l.objsubid = 1 AND l.classid = $1::bigint::oid AND l.objid = $2::bigint::oid "
            "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())"),
        {QVariant(qlonglong(bits >> 32)), QVariant(qlonglong(bits & 0xffffffffu))}, &error);
    if (!result.isValid() || result.rows() == 0)
        // Let go of meanwhile, or not to be seen by this user (another role's sessions are
        // hidden from it by the server).
        return QStringLiteral("another user");
    QStringList parts;
    parts << QStringLiteral("user %1").arg(result.text(0, 0));
    if (!result.isNull(0, 1) && !result.text(0, 1).isEmpty())
        parts << QStringLiteral("program %1").arg(result.text(0, 1));
    parts << (result.isNull(0, 2) ? QStringLiteral("on the server's own machine")
                                  : QStringLiteral("from %1").arg(result.text(0, 2)));
    if (!result.isNull(0, 3))
        parts << QStringLiteral("connected since %1").arg(result.text(0, 3));
    return parts.join(QLatin1String(", "));
}

} // namespace

struct OperationLock::Held {
    std::shared_ptr<Database::Impl> db;
    qint64 key = 0;
};

OperationLock::OperationLock(Database& db, const QString& name, QString* holder) {
    if (!db.isOpen()) {
        detail::raiseNotSet();
        return;
    }
    if (!db.d->server) {
        // A file needs no lock of its own. The operations that take this lock are one write
        // transaction each (BEGIN IMMEDIATE: see RunAllOrNothing), and SQLite lets one
        // writer at a time have the file for the whole of it: a second planner's operation
        // waits with the save loop's retries and its "Locked Record" question until the
        // first is committed, and then finds its work done (a task and week that has its
        // assignment is skipped), so nothing is done twice. SQLite cannot tell who holds
        // its lock, and a lock file beside the database would stay behind after a crash.
        held_ = true;
        return;
    }
    PgConnection& server = *db.d->server;
    const qint64 key = lockKey(name);
    DbError error;
    const PgResult result = server.exec(QStringLiteral("SELECT pg_try_advisory_lock($1::bigint)"),
                                        {QVariant(qlonglong(key))}, &error);
    if (!result.isValid()) {
        raiseError(error);
        return;
    }
    held_ = result.rows() == 1 && result.text(0, 0) == QLatin1String("t");
    if (held_) {
        server_ = std::make_unique<Held>(Held{db.d, key});
    } else if (holder) {
        *holder = describeHolder(server, key);
    }
}

OperationLock::~OperationLock() {
    if (!server_ || !server_->db->server)
        return;
    // A connection lost meanwhile took the lock with it; a failure here has nothing to undo.
    DbError ignored;
    server_->db->server->exec(QStringLiteral("SELECT pg_advisory_unlock($1::bigint)"),
                              {QVariant(qlonglong(server_->key))}, &ignored);
}

} // namespace tavrel
