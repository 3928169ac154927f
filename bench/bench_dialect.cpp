// Hostile text against the Jet dialect: like patterns with many stars over long values,
// measured through the program's database beside SQLite's own GLOB and LIKE on the same
// rows; and deeply nested parentheses with "&", beside the translation of a flat text of
// the same length.

#include "benchsite.h"
#include "core/errortrap.h"
#include "data/database.h"
#include "data/sqldialect.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <functional>

using namespace tavrel;

namespace {

constexpr int ShortValue = 60;
constexpr int LongValue = 10000;
constexpr int RowsPerValue = 20;
constexpr int Repeats = 5;
constexpr int FlatOperands = 2;
constexpr int UnrefusedDeep = 10000;

// A table of `RowsPerValue` rows per length, each value that many "a"s: nothing in it
// matches the patterns below, so every row is matched to the end.
void buildDatabase(const QString& path) {
    Database db = bench::createSiteDatabase(path);
    QString rows;
    int id = 0;
    for (int length : {ShortValue, LongValue})
        for (int i = 0; i < RowsPerValue; ++i)
            rows += QStringLiteral("INSERT INTO tasks (taskid, taskname) VALUES (%1, '%2');\n")
                        .arg(++id)
                        .arg(QString(length, QLatin1Char('a')));
    db.executeScript(QStringLiteral("BEGIN;\n") + rows + QStringLiteral("COMMIT;"));
}

// Best of a few runs, in nanoseconds.
qint64 best(const std::function<void()>& work) {
    qint64 result = -1;
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        const qint64 ns = timer.nsecsElapsed();
        if (result < 0 || ns < result)
            result = ns;
    }
    return result;
}

// Rows of a raw SQLite query (no function of ours registered on `raw`).
int rawCount(sqlite3* raw, const QString& sql) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(raw, sql.toUtf8().constData(), -1, &stmt, nullptr);
    int n = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        ++n;
    sqlite3_finalize(stmt);
    return n;
}

int ourCount(Database& db, const QString& sql) {
    Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot);
    int n = 0;
    for (; !rs.isEOF(); rs.moveNext())
        ++n;
    return n;
}

QString nested(int levels, const QString& inner) {
    return QString(levels, QLatin1Char('(')) + inner + QString(levels, QLatin1Char(')'));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    buildDatabase(path);
    Database db = Database::open(path);
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);

    const QString stars = QStringLiteral("a*").repeated(7);
    for (int length : {ShortValue, LongValue}) {
        const QString where =
            QStringLiteral(" from tasks where length(taskname) = %1 and taskname ").arg(length);
        const QString ours =
            QStringLiteral("select taskid") + where + QStringLiteral("like '*%1b'").arg(stars);
        const QString glob =
            QStringLiteral("select taskid") + where + QStringLiteral("glob '*%1b'").arg(stars);
        const QString like = QStringLiteral("select taskid") + where +
                             QStringLiteral("like '%%1b'").arg(QString(stars).replace(u'*', u'%'));
        if (ourCount(db, ours) != 0 || rawCount(raw, glob) != 0 || rawCount(raw, like) != 0)
            qFatal("a pattern matched where nothing should");
        const qint64 oursNs = best([&] { ourCount(db, ours); });
        const QByteArray what = QStringLiteral("like '*a*a*a*a*a*a*a*b', %1 x %2 chars")
                                    .arg(RowsPerValue)
                                    .arg(length)
                                    .toUtf8();
        bench::report(what.constData(), oursNs, "SQLite GLOB", best([&] { rawCount(raw, glob); }));
        bench::report(what.constData(), oursNs, "SQLite LIKE", best([&] { rawCount(raw, like); }));
    }

    // Nesting: the deepest text accepted, and ten thousand levels (refused), each beside a
    // flat text with as many characters.
    for (int levels : {MaxSqlNesting, UnrefusedDeep}) {
        const QString deep = QStringLiteral("select ") +
                             nested(levels, QStringLiteral("taskname & taskname")) +
                             QStringLiteral(" from tasks");
        QString flat = QStringLiteral("select taskname");
        while (flat.size() + FlatOperands < deep.size() - QStringLiteral(" from tasks").size())
            flat += QStringLiteral(" & x");
        flat += QStringLiteral(" from tasks");
        QString error;
        translateSql(deep, &error);
        if (error.isEmpty() != (levels <= MaxSqlNesting))
            qFatal("nesting limit not applied as documented");
        const QByteArray what =
            QStringLiteral("translate %1 levels of ( & )%2")
                .arg(levels)
                .arg(levels > MaxSqlNesting ? QStringLiteral(" (refused)") : QString())
                .toUtf8();
        const qint64 deepNs = best([&] { translateSql(deep); });
        bench::report(what.constData(), deepNs, "flat text, same length",
                      best([&] { translateSql(flat); }));
    }
    sqlite3_close(raw);
    return 0;
}
