#pragma once

#include <QString>

struct sqlite3;

namespace tavrel::test {

// Another program on the same file, through a connection of its own: it runs statements
// and holds locks for as long as a test needs. Whatever it still holds is committed when
// it goes.
class OtherProgram {
public:
    explicit OtherProgram(const QString& path);
    ~OtherProgram();
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    // SQLite's result code.
    int exec(const char* sql);

    // Holds the write lock: others may read, but no one else may write.
    void holdWriteLock();
    // Holds the whole file: no one else may even read.
    void holdWholeFile();
    // Lets go of a lock it holds.
    void release();

private:
    sqlite3* db_ = nullptr;
};

} // namespace tavrel::test
