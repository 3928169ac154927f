// Another program that holds the write lock of a database while the test runs the built
// program: it takes the lock, says "held", and lets go of it 0.2 s after the test sends a
// line on standard input.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
        return 2;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot take the write lock of %s\n", argv[1]);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    constexpr auto HeldFor = std::chrono::milliseconds(200);
    std::this_thread::sleep_for(HeldFor);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::printf("released\n");
    return 0;
}
