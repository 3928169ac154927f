#pragma once

#include "data/errortrap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

namespace tavrel::test {

class ServerDatabase;

// Whether this test run's temporary databases live on the run's PostgreSQL cluster
// (TAVREL_TEST_BACKEND=server) rather than in files: the tests that run once per backend
// read it through TempDatabase and need no other change.
bool testsOnServer();

// Fixtures of the data layer's tests, which link nothing above it.

// Fixed locale (en_US); call from initTestCase() and init().
void useTestLocale(const char* locale = "en_US");

// A file's bytes (empty when it cannot be read), and a file written whole (false when it
// cannot be).
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// Everything a database file holds, as text: its schema, every row of every table (the
// counters' sequence too) and its page size. Two files alike give the same text.
QString everything(const QString& path);
// The site a database file holds, as text: its schema, every row of every table with its
// row id, and the counters by table. Two files holding the same site give the same text,
// whatever order their counters were first used in or their pages are laid out.
QString siteRows(const QString& path);
// The SHA-256 of a file's bytes: the same value means the file was not touched.
QByteArray digest(const QString& path);

// Overwrites one leaf page of `table` in the middle of its tree with garbage; false when
// the table has too few leaves to damage one in the middle, or the file cannot be written.
bool damageLeafOf(const QString& path, const QString& table);

// The data layer's errors raised while it lives, collected instead of shown.
struct CollectedErrors {
    QList<int> numbers;
    QStringList texts;
    ErrorTrap trap{[this](const DbError& e) {
        numbers << e.number;
        texts << e.description;
    }};
};

// A temporary folder holding a fresh tavrel.mdb (full schema, 52 weeks of `year`, one
// settings row) plus any extra SQLite statements given. When the run is on the server
// (testsOnServer()), the database is a fresh one on the cluster instead, and the folder's
// tavrel.conf points there; the extra statements and exec() then run on the server, whose
// SQL reads the plain statements of tests alike.
class TempDatabase {
public:
    explicit TempDatabase(int year = 2005, const QString& extraSql = {});
    ~TempDatabase();
    // A copy of `model`'s file in a folder of its own: much cheaper than a new database,
    // whose every statement costs a sync, for tests that need many sites alike.
    struct CopyOf {
        const TempDatabase& model;
    };
    explicit TempDatabase(CopyOf copy);

    QString path() const { return dir_.path(); }
    // What the program opens: the file's path, or the server database's URL.
    QString dbPath() const;
    bool onServer() const { return server_ != nullptr; }
    QString file(const QString& name) const;

    // Runs SQLite statements on the file through a separate connection (test setup). On the
    // server the counters then continue after the highest keys the statements wrote.
    void exec(const QString& sqliteSql) const;
    // Reads one value with a separate connection (for asserting what was stored), typed as
    // SQLite gives it on either backend.
    QVariant scalar(const QString& sqliteSql) const;
    // The first column of every row, each typed as scalar() types one (the way to read a
    // list on both backends, which share no aggregate that joins texts), and as texts.
    QVariantList column(const QString& sql) const;
    QStringList texts(const QString& sql) const;

private:
    QTemporaryDir dir_;
    std::unique_ptr<ServerDatabase> server_;
};

} // namespace tavrel::test
