#pragma once

#include "data/errortrap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace tavrel::test {

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
// settings row) plus any extra SQLite statements given.
class TempDatabase {
public:
    explicit TempDatabase(int year = 2005, const QString& extraSql = {});
    // A copy of `model`'s file in a folder of its own: much cheaper than a new database,
    // whose every statement costs a sync, for tests that need many sites alike.
    struct CopyOf {
        const TempDatabase& model;
    };
    explicit TempDatabase(CopyOf copy);

    QString path() const { return dir_.path(); }
    QString dbPath() const;
    QString file(const QString& name) const;

    // Runs SQLite statements on the file through a separate connection (test setup).
    void exec(const QString& sqliteSql) const;
    // Reads one value with a separate connection (for asserting what was stored).
    QVariant scalar(const QString& sqliteSql) const;

private:
    QTemporaryDir dir_;
};

} // namespace tavrel::test
