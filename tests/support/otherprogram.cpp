#include "support/otherprogram.h"

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

void OtherProgram::release() {
    if (sqlite3_get_autocommit(db_) == 0)
        exec("COMMIT;");
}

} // namespace tavrel::test
