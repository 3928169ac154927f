#include "support/otherprogram.h"

#include "data/database.h"

#include <QtGlobal>

#include <sqlite3.h>

namespace tavrel::test {

OtherProgram::OtherProgram(const QString& path) {
    if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        qFatal("cannot open %s", qPrintable(path));
}

OtherProgram::~OtherProgram() {
    release();
    sqlite3_close(db_);
}

int OtherProgram::exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

void OtherProgram::holdWriteLock() {
    if (exec("BEGIN IMMEDIATE;") != SQLITE_OK)
        qFatal("cannot take the write lock");
}

void OtherProgram::holdWholeFile() {
    if (exec("BEGIN EXCLUSIVE;") != SQLITE_OK)
        qFatal("cannot take the whole file");
}

bool OtherProgram::holdStrongestLock() {
    if (exec("BEGIN IMMEDIATE;") == SQLITE_OK)
        return true;
    // A reader's lock lasts while its transaction is open and has read something.
    if (exec("BEGIN;") != SQLITE_OK || exec("SELECT count(*) FROM sqlite_master;") != SQLITE_OK)
        qFatal("cannot take a reader's lock");
    return false;
}

bool OtherProgram::holdsLock() const {
    return sqlite3_get_autocommit(db_) == 0;
}

void OtherProgram::release() {
    if (sqlite3_get_autocommit(db_) == 0)
        exec("COMMIT;");
}

QString OtherProgram::contents() {
    QString all;
    sqlite3_stmt* tables = nullptr;
    sqlite3_prepare_v2(db_,
                       "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                       "'sqlite_%' ORDER BY name",
                       -1, &tables, nullptr);
    while (sqlite3_step(tables) == SQLITE_ROW) {
        const QString table =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(tables, 0)));
        all += QStringLiteral("[%1]\n").arg(table);
        sqlite3_stmt* rows = nullptr;
        const QByteArray sql = "SELECT * FROM \"" + table.toUtf8() + "\" ORDER BY rowid";
        sqlite3_prepare_v2(db_, sql.constData(), -1, &rows, nullptr);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(rows); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
                all += text ? QString::fromUtf8(text) : QStringLiteral("NULL");
                all += QLatin1Char('|');
            }
            all += QLatin1Char('\n');
        }
        sqlite3_finalize(rows);
    }
    sqlite3_finalize(tables);
    return all;
}

LockAtStatement::LockAtStatement(const QString& path, int lockAt, int releaseAfter)
    : path_(path)
    , lockAt_(lockAt)
    , releaseAfter_(releaseAfter) {
    install();
}

LockAtStatement::LockAtStatement(const QString& path, const QString& lockBefore, int releaseAfter,
                                 int occurrence)
    : path_(path)
    , lockBefore_(lockBefore)
    , occurrence_(occurrence)
    , lockAt_(0)
    , releaseAfter_(releaseAfter) {
    install();
}

void LockAtStatement::install() {
    ConnectionHooks hooks;
    hooks.path = path_;
    hooks.beforeStatement = [this](const QString& sql) {
        ++statements_;
        texts_ << sql;
        if (released_)
            return;
        if (tookAt_ == 0 && !lockBefore_.isEmpty() &&
            sql.startsWith(lockBefore_, Qt::CaseInsensitive) && --occurrence_ == 0)
            lockAt_ = statements_;
        if (statements_ == lockAt_) {
            tookAt_ = statements_;
            other_.emplace(path_);
            writeLock_ = other_->holdStrongestLock();
        } else if (tookAt_ > 0 && releaseAfter_ >= 0 && statements_ - tookAt_ > releaseAfter_) {
            release();
        }
    };
    setConnectionHooks(hooks);
}

LockAtStatement::~LockAtStatement() {
    setConnectionHooks({});
    release();
}

void LockAtStatement::release() {
    released_ = true;
    if (other_)
        other_->release();
}

} // namespace tavrel::test
