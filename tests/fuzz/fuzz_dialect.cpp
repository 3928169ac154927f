// libFuzzer harness: any text as the program's SQL. It is translated, then run the way the
// program runs text: opened as a snapshot and as an updatable result and walked (a select),
// or executed (anything else), and used as a find's criteria. Each input runs inside a
// transaction that is rolled back, on a demo site built once per process.
//
// Besides crashes and sanitizer reports, the harness aborts when
// - a translated text is not exactly one statement (SQLite leaves part of it unread);
// - a text holding a NUL is not refused, or any statement runs for it.

#include "data/database.h"
#include "data/dberror.h"
#include "data/demodata.h"
#include "data/errortrap.h"
#include "data/schema.h"
#include "data/sqldialect.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace tavrel;

namespace {

// Rows walked per recordset: enough to read joins and their keys, bounded for speed.
constexpr int MaxRowsWalked = 200;
// SQLite's progress callback runs every this many virtual machine steps ...
constexpr int ProgressInterval = 1000;
// ... and an input gets this many callbacks: a cross join or a recursive query is cut off
// instead of stalling the run.
constexpr int ProgressBudget = 5000;
// Largest text or blob a statement may build (a zeroblob(1e9) would exhaust memory).
constexpr int MaxValueBytes = 1 << 20;

struct Fixture {
    QTemporaryDir dir;
    Database db;
    sqlite3* handle = nullptr;
    long statementsRun = 0;
    int progress = 0;
};
Fixture* fixture = nullptr;

[[noreturn]] void violated(const char* property, const QString& text) {
    std::fprintf(stderr, "PROPERTY VIOLATED: %s\ninput: %s\n", property,
                 text.toUtf8().toPercentEncoding(" *#'\"()&=<>,.;[]").constData());
    std::abort();
}

int countStatement(unsigned, void*, void*, void*) {
    ++fixture->statementsRun;
    return 0;
}

int limitWork(void*) {
    return ++fixture->progress > ProgressBudget ? 1 : 0;
}

// Keeps inputs inside their transaction and inside the temporary folder: no attached
// files, no commit, no pragma but the one the recordsets read column types with.
int authorize(void*, int action, const char* arg1, const char*, const char*, const char*) {
    switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        return SQLITE_DENY;
    case SQLITE_PRAGMA:
        return arg1 && std::strcmp(arg1, "table_info") == 0 ? SQLITE_OK : SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

bool onlyBlanks(const char* p, const char* end) {
    for (; p < end; ++p)
        if (!std::isspace(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

// The translation's own promise, checked on SQLite directly.
void checkOneStatement(const QString& jet, const QString& translated) {
    if (translated.contains(QChar(0)))
        violated("a translated text holds a NUL", jet);
    const QByteArray utf8 = translated.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(fixture->handle, utf8.constData(), int(utf8.size()), &stmt, &tail);
    sqlite3_finalize(stmt);
    if (rc == SQLITE_OK && tail && !onlyBlanks(tail, utf8.constData() + utf8.size()))
        violated("a translated text is more than one statement", jet);
}

void walk(Recordset& rs) {
    const QStringList fields = rs.fieldNames();
    int n = 0;
    for (; rs.isOpen() && !rs.isEOF() && n < MaxRowsWalked; rs.moveNext(), ++n)
        for (const QString& f : fields)
            (void)rs.value(f);
    rs.moveLast();
    for (n = 0; rs.isOpen() && !rs.isBOF() && n < MaxRowsWalked; rs.movePrevious(), ++n)
        (void)rs.recordCount();
}

bool startsWithSelect(const QString& translated) {
    return translated.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    fixture = new Fixture;
    const QString path = QDir(fixture->dir.path()).filePath(QStringLiteral("tavrel.mdb"));
    QString error;
    if (!createTaskDatabase(path, 2005, &error) || !fillDemoData(path, QDate(2005, 6, 15), &error))
        qFatal("cannot build the demo site: %s", qPrintable(error));
    ErrorTrap trap([](const DbError& e) { qFatal("%s", qPrintable(e.description)); });
    fixture->db = Database::open(path);
    fixture->handle = fixture->db.handle();
    sqlite3_trace_v2(fixture->handle, SQLITE_TRACE_STMT, countStatement, nullptr);
    sqlite3_progress_handler(fixture->handle, ProgressInterval, limitWork, nullptr);
    sqlite3_set_authorizer(fixture->handle, authorize, nullptr);
    sqlite3_limit(fixture->handle, SQLITE_LIMIT_LENGTH, MaxValueBytes);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString jet = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    fixture->progress = 0;
    QList<int> errors;
    ErrorTrap trap([&](const DbError& e) { errors << e.number; });

    QString message;
    const QString translated = translateSql(jet, &message);
    const bool hasNul = jet.contains(QChar(0));
    if (hasNul && message.isEmpty())
        violated("a text with a NUL was translated", jet);
    if (message.isEmpty())
        checkOneStatement(jet, translated);

    // Setting the transaction up is not the input's doing.
    sqlite3_set_authorizer(fixture->handle, nullptr, nullptr);
    sqlite3_exec(fixture->handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_set_authorizer(fixture->handle, authorize, nullptr);
    {
        Recordset tasks =
            fixture->db.openRecordset(QStringLiteral("select * from tasks order by taskname"));
        const long beforeFind = fixture->statementsRun;
        errors.clear();
        tasks.findFirst(jet);
        tasks.findLast(jet);
        if (hasNul && (fixture->statementsRun != beforeFind ||
                       errors != QList<int>{ErrSqlSyntax, ErrSqlSyntax}))
            violated("find criteria with a NUL reached SQLite", jet);
        if (!hasNul && message.isEmpty() && startsWithSelect(translated)) {
            for (RecordsetType type : {RecordsetType::Snapshot, RecordsetType::Dynaset}) {
                Recordset rs = fixture->db.openRecordset(jet, type);
                walk(rs);
            }
        } else {
            const long beforeRun = fixture->statementsRun;
            errors.clear();
            fixture->db.execute(jet);
            if (hasNul &&
                (fixture->statementsRun != beforeRun || errors != QList<int>{ErrSqlSyntax}))
                violated("a statement with a NUL reached SQLite", jet);
            errors.clear();
            Recordset rs = fixture->db.openRecordset(jet, RecordsetType::Snapshot);
            if (hasNul &&
                (fixture->statementsRun != beforeRun || errors != QList<int>{ErrSqlSyntax}))
                violated("a select with a NUL reached SQLite", jet);
        }
    }
    sqlite3_set_authorizer(fixture->handle, nullptr, nullptr);
    sqlite3_exec(fixture->handle, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_set_authorizer(fixture->handle, authorize, nullptr);
    return 0;
}
