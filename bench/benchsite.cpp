#include "benchsite.h"

#include <QDate>
#include <QFile>

#include <sqlite3.h>

#include <cstdio>

namespace tavrel::bench {

namespace {
constexpr int WeeksPerYear = 52;
constexpr int DaysPerWeek = 7;
constexpr int EveryNthCompleted = 4;
} // namespace

Database createSiteDatabase(const QString& path) {
    Database db = Database::create(path);
    QFile schema(QStringLiteral(":/sql/tavrel_schema.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        qFatal("schema resource missing");
    db.executeScript(QString::fromUtf8(schema.readAll()));
    return db;
}

void addAssignments(const QString& path, int rows, int tasks) {
    sqlite3* raw = nullptr;
    sqlite3_open(path.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(
        raw,
        "INSERT INTO assign (taskid, weeid, duedate, completed, comphour, compmin, compnotes) "
        "VALUES (?1, ?2, ?3, ?4, 0, 0, 'Checked and cleaned')",
        -1, &ins, nullptr);
    const QDate first(2005, 1, 3);
    for (int i = 0; i < rows; ++i) {
        const int week = i % (2 * WeeksPerYear);
        const QByteArray due =
            first.addDays(qint64(week) * DaysPerWeek).toString(Qt::ISODate).toUtf8();
        sqlite3_bind_int(ins, 1, i % tasks + 1);
        sqlite3_bind_int(ins, 2, week % WeeksPerYear + 1);
        sqlite3_bind_text(ins, 3, due.constData(), int(due.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, i % EveryNthCompleted == 0 ? 1 : 0);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
}

void report(const char* what, qint64 oursNs, const char* baseline, qint64 baseNs) {
    std::printf("%-50s %10.3f ms   %-22s %10.3f ms   ratio %6.2f\n", what, oursNs / 1e6, baseline,
                baseNs / 1e6, baseNs > 0 ? double(oursNs) / double(baseNs) : 0.0);
}

} // namespace tavrel::bench
