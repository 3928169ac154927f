#include "support/rawdb.h"

#include <QFile>

#include <sqlite3.h>

namespace tavrel::test {

namespace {

// One prepared statement, finalised when it goes.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql) {
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool step() const { return stmt && sqlite3_step(stmt) == SQLITE_ROW; }

    sqlite3_stmt* stmt = nullptr;
};

QByteArray rowBytes(sqlite3_stmt* stmt) {
    QByteArray out;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        out += char('0' + sqlite3_column_type(stmt, i));
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        out += QByteArray::number(sqlite3_column_bytes(stmt, i)) + ':';
        out.append(bytes, sqlite3_column_bytes(stmt, i));
    }
    return out;
}

QString columnText(sqlite3_stmt* stmt, int i) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
}

} // namespace

RawDb::RawDb(const QString& path, bool write) {
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db_,
                    write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY,
                    nullptr);
}

RawDb::~RawDb() {
    sqlite3_close(db_);
}

bool RawDb::exec(const QString& sql) const {
    return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QStringList RawDb::rows(const QString& sql) const {
    QStringList out;
    const Statement query(db_, sql);
    while (query.step()) {
        QStringList values;
        for (int i = 0; i < sqlite3_column_count(query.stmt); ++i)
            values << QString::number(sqlite3_column_type(query.stmt, i)) + QLatin1Char(':') +
                          columnText(query.stmt, i);
        out << values.join(QLatin1Char('|'));
    }
    return out;
}

QString RawDb::text(const QString& sql) const {
    const Statement query(db_, sql);
    return query.step() ? columnText(query.stmt, 0) : QString();
}

QList<qint64> RawDb::column(const QString& sql) const {
    QList<qint64> out;
    const Statement query(db_, sql);
    while (query.step())
        out << sqlite3_column_int64(query.stmt, 0);
    return out;
}

RawRows RawDb::table(const QString& table) const {
    RawRows out;
    const Statement query(db_, QStringLiteral("SELECT * FROM %1").arg(table));
    while (query.step())
        out.insert(sqlite3_column_int64(query.stmt, 0), rowBytes(query.stmt));
    return out;
}

RawRows RawDb::rowsByKey(const QString& table, const QList<qint64>& keys) const {
    RawRows out;
    const Statement query(db_, QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(table));
    for (qint64 key : keys) {
        if (!query.stmt)
            break;
        sqlite3_bind_int64(query.stmt, 1, key);
        if (query.step())
            out.insert(key, rowBytes(query.stmt));
        sqlite3_reset(query.stmt);
    }
    return out;
}

} // namespace tavrel::test
