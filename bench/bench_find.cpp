// Find Next by task name on a large task list, as the find dialog runs it on rsTasks
// ("select * from tasks order by taskname"), beside raw SQLite answering the same criteria.

#include "benchsite.h"
#include "data/database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tavrel;

namespace {

constexpr int DefaultTasks = 100000;
constexpr int Repeats = 15;
constexpr int Equipment = 7;

// Task names spread over the alphabet: "<equipment> <number>".
void addTasks(const QString& path, int tasks) {
    static const char* const equipment[Equipment] = {"Air handler", "Boiler", "Chiller",  "Drain",
                                                     "Elevator",    "Fan",    "Generator"};
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO tasks (taskname, manuf, reqhour) VALUES (?1, 'Acme', 1)",
                       -1, &ins, nullptr);
    for (int i = 0; i < tasks; ++i) {
        const QByteArray name =
            QStringLiteral("%1 %2").arg(QLatin1String(equipment[i % Equipment])).arg(i).toUtf8();
        sqlite3_bind_text(ins, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
}

// The median of `Repeats` runs of `work`, in nanoseconds.
template <typename Work> qint64 median(Work work) {
    std::vector<qint64> times;
    QElapsedTimer t;
    for (int i = 0; i < Repeats; ++i) {
        t.restart();
        work();
        times.push_back(t.nsecsElapsed());
    }
    std::nth_element(times.begin(), times.begin() + Repeats / 2, times.end());
    return times[Repeats / 2];
}

// Raw SQLite stepping every row of `sql` (the keys that match).
qint64 rawQuery(sqlite3* raw, const char* sql) {
    return median([&] {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(raw, sql, -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int tasks = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : DefaultTasks;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    std::printf("building %d tasks ...\n", tasks);
    bench::createSiteDatabase(path).close();
    addTasks(path, tasks);

    Database db = Database::open(path);
    Recordset rsTasks = db.openRecordset(QStringLiteral("select * from tasks order by taskname"));
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "PRAGMA cache_size = -65536", nullptr, nullptr, nullptr);

    struct Case {
        const char* what;
        QString criteria;
        const char* sql;
    };
    const Case cases[] = {
        {"Find Next, Contains \"rator 7\"", QStringLiteral("taskname like \"*rator 7*\""),
         "SELECT taskid FROM tasks WHERE taskname LIKE '%rator 7%'"},
        {"Find Next, Begins With \"Fan 9\"", QStringLiteral("taskname like \"Fan 9*\""),
         "SELECT taskid FROM tasks WHERE taskname LIKE 'Fan 9%'"},
        {"Find Next, Equals \"Drain 3\"", QStringLiteral("taskname like \"Drain 3\""),
         "SELECT taskid FROM tasks WHERE taskname LIKE 'Drain 3'"},
        {"Find Next, no match", QStringLiteral("taskname like \"*pump*\""),
         "SELECT taskid FROM tasks WHERE taskname LIKE '%pump%'"},
    };
    for (const Case& c : cases) {
        // From the middle of the list, as from a task shown there; then Find Next again and
        // again, as the user presses it.
        rsTasks.findFirst(QStringLiteral("taskname >= \"D\""));
        int found = 0;
        const qint64 ours = median([&] {
            rsTasks.findNext(c.criteria);
            found += rsTasks.noMatch() ? 0 : 1;
        });
        std::printf("%s: %d of %d found\n", c.what, found, Repeats);
        bench::report(c.what, ours, "raw SQLite query", rawQuery(raw, c.sql));
    }
    sqlite3_close(raw);
    return 0;
}
