#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;
struct pg_conn;

namespace tavrel::test {

// Another program on the same file, through a connection of its own: it runs statements
// and holds locks for as long as a test needs. Whatever it still holds is committed when
// it goes. Given a server database's URL, it is another client of that server: the same
// calls then lock the site's tables, which is what a file's locks amount to there.
class OtherProgram {
public:
    explicit OtherProgram(const QString& pathOrUrl);
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // SQLite's result code (on the server too: SQLITE_OK or SQLITE_ERROR).
    int exec(const char* sql);

    // Holds the write lock: others may read, but no one else may write.
    void holdWriteLock();
    // Holds the whole file: no one else may even read.
    void holdWholeFile();
    // The strongest lock it can get now: the write lock when nobody else writes, or else
    // (the program holds the write lock) a reader's lock, which holds up the program's
    // commit. On the server: every table nobody else writes, locked against writers; true
    // when that was every table. Returns true for the write lock.
    bool holdStrongestLock();
    // Lets go of a lock it holds.
    void release();
    bool holdsLock() const;

    // Every row of every table of the file, as text: equal texts mean equal contents.
    QString contents();

private:
    // The server's: the tables of the site, and a statement run there (false on failure).
    QStringList serverTables();
    bool serverExec(const QByteArray& sql);
    void lockServerTables(const char* mode);

    sqlite3* db_ = nullptr;
    pg_conn* pg_ = nullptr;
};

// Another program that takes a lock on the file just before the program's statement number
// `lockAt` (counted from 1 on the program's connections to `path`, a file or a server
// database's URL, from now on),
// and lets go of it once `releaseAfter` more statements of the program have started (its
// retries), or never when `releaseAfter` is negative. With `lockAt` 0 it only counts.
class LockAtStatement {
public:
    LockAtStatement(const QString& path, int lockAt, int releaseAfter = -1);
    // The same, before the `occurrence`th statement whose text starts with `lockBefore`
    // (without regard to case).
    LockAtStatement(const QString& path, const QString& lockBefore, int releaseAfter = -1,
                    int occurrence = 1);
    ~LockAtStatement();
    LockAtStatement(const LockAtStatement&) = delete;
    LockAtStatement& operator=(const LockAtStatement&) = delete;

    int statements() const { return statements_; }
    QStringList statementTexts() const { return texts_; }
    // Whether the lock was taken, and whether it was the write lock (the program did not
    // hold it) rather than a reader's.
    bool tookLock() const { return tookAt_ > 0; }
    bool tookWriteLock() const { return writeLock_; }
    // Lets go of the lock now, and takes no other.
    void release();

private:
    void install();

    QString path_;
    std::optional<OtherProgram> other_; // opened when it takes its lock: the file may be new
    QString lockBefore_;
    int occurrence_ = 1;
    int lockAt_;
    int releaseAfter_;
    int statements_ = 0;
    int tookAt_ = 0;
    bool writeLock_ = false;
    bool released_ = false;
    QStringList texts_;
};

// The statement before which another program takes its lock, as the run's backend names it:
// a transaction begins with BEGIN on a server. Empty where only a file has such a lock (a
// reader holding up the commit): the case is the file's own.
QString lockPointOnThisBackend(const QString& statement);

} // namespace tavrel::test
