// Rows of a damaged file read from its table leaf pages and put into the rebuilt file, or,
// where a page could belong to more than one table, into a file of their own.

#include "data/database_p.h"
#include "data/fileaccess.h"
#include "data/repair_p.h"

#include <QFile>

#include <algorithm>
#include <map>

namespace tavrel::detail {

namespace {

QString columnText(sqlite3_stmt* stmt, int column) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
}

void bindStored(sqlite3_stmt* stmt, int index, const StoredValue& v, int encoding) {
    using K = StoredValue::Kind;
    switch (v.kind) {
    case K::Null:
        sqlite3_bind_null(stmt, index);
        break;
    case K::Integer:
        sqlite3_bind_int64(stmt, index, v.integer);
        break;
    case K::Real:
        sqlite3_bind_double(stmt, index, v.real);
        break;
    case K::Text: {
        static constexpr unsigned char Encodings[] = {SQLITE_UTF8, SQLITE_UTF8, SQLITE_UTF16LE,
                                                      SQLITE_UTF16BE};
        sqlite3_bind_text64(stmt, index, v.data, sqlite3_uint64(v.size), SQLITE_TRANSIENT,
                            Encodings[encoding]);
        break;
    }
    case K::Blob:
        sqlite3_bind_blob64(stmt, index, v.data, sqlite3_uint64(v.size), SQLITE_TRANSIENT);
        break;
    }
}

TableShape shapeOf(sqlite3* db, const QString& table) {
    QStringList names;
    QStringList types;
    QList<bool> keys;
    QList<bool> notNull;
    Statement info(db, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdent(table)));
    constexpr int NameColumn = 1;
    constexpr int TypeColumn = 2;
    constexpr int NotNullColumn = 3;
    constexpr int KeyColumn = 5;
    while (info && sqlite3_step(info.stmt) == SQLITE_ROW) {
        names << columnText(info.stmt, NameColumn);
        types << columnText(info.stmt, TypeColumn);
        notNull << (sqlite3_column_int(info.stmt, NotNullColumn) != 0);
        keys << (sqlite3_column_int(info.stmt, KeyColumn) > 0);
    }
    return TableShape(table, names, types, keys, notNull);
}

// One table of the rebuilt file as the page scan fills it.
class PageTarget {
public:
    PageTarget(sqlite3* db, const QString& table, bool damaged)
        : db_(db)
        , shape_(shapeOf(db, table))
        , damaged_(damaged) {}

    const TableShape& shape() const { return shape_; }
    // Its key reads met damage: rows of its pages may be missing.
    bool damaged() const { return damaged_; }

    // Adds a row unless its key is taken: a row read by key keeps that copy.
    void insert(const StoredRow& row, int encoding) {
        Statement* s = statementFor(&inserts_, row, [&](const QStringList& columns) {
            QStringList places;
            for (qsizetype i = 0; i <= columns.size(); ++i)
                places << QStringLiteral("?%1").arg(i + 1);
            return QStringLiteral("INSERT OR IGNORE INTO %1 (rowid%2) VALUES (%3)")
                .arg(quoteIdent(shape_.table()),
                     columns.isEmpty() ? QString() : QStringLiteral(", ") + columns.join(", "),
                     places.join(QLatin1String(", ")));
        });
        run(s, row, encoding, nullptr);
    }

    // True when the table holds this very row under its key.
    bool holds(const StoredRow& row, int encoding) {
        Statement* s = statementFor(&matches_, row, [&](const QStringList& columns) {
            QString sql =
                QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?1").arg(quoteIdent(shape_.table()));
            for (qsizetype i = 0; i < columns.size(); ++i)
                sql += QStringLiteral(" AND %1 IS ?%2").arg(columns[i]).arg(i + 2);
            return sql;
        });
        bool found = false;
        run(s, row, encoding, &found);
        return found;
    }

private:
    // The statement for rows of this many values, made at first use.
    template <typename MakeSql>
    Statement* statementFor(std::map<size_t, std::unique_ptr<Statement>>* cache,
                            const StoredRow& row, MakeSql makeSql) {
        auto& slot = (*cache)[row.values.size()];
        if (!slot) {
            QStringList columns;
            for (int i = 0; i < int(row.values.size()); ++i)
                if (i != shape_.rowidAlias())
                    columns << quoteIdent(shape_.columns().at(i));
            slot = std::make_unique<Statement>(db_, makeSql(columns));
        }
        return *slot ? slot.get() : nullptr;
    }

    void run(Statement* s, const StoredRow& row, int encoding, bool* gotRow) {
        if (!s)
            return;
        sqlite3_bind_int64(s->stmt, 1, row.rowid);
        int index = 2;
        for (int i = 0; i < int(row.values.size()); ++i)
            if (i != shape_.rowidAlias())
                bindStored(s->stmt, index++, row.values[size_t(i)], encoding);
        const int rc = sqlite3_step(s->stmt);
        if (gotRow)
            *gotRow = rc == SQLITE_ROW;
        sqlite3_reset(s->stmt);
    }

    sqlite3* db_;
    TableShape shape_;
    bool damaged_;
    std::map<size_t, std::unique_ptr<Statement>> inserts_;
    std::map<size_t, std::unique_ptr<Statement>> matches_;
};

// Reads the rows of tables whose key reads met damage straight from the file's table
// leaf pages: those below a damaged root or interior page, and those past a garbage key.
// A page goes to a table only when its rows fit that table's shape and no other's; rows
// of a page that fits several are kept in `unplaced` unless one of its candidates holds
// them already. False when the rows could not be written.
} // namespace

struct UnplacedRows::Impl {
    Impl(const QString& path, const QString& model)
        : path_(path)
        , model_(model) {}

    bool add(const std::vector<const TableShape*>& candidates, quint32 page, const StoredRow& row,
             int encoding) {
        if (!open())
            return false;
        Statement* s = tableFor(candidates);
        if (!s)
            return false;
        sqlite3_bind_int64(s->stmt, 1, page);
        const int alias = candidates.front()->rowidAlias();
        for (int i = 0; i < int(row.values.size()); ++i) {
            if (i == alias)
                sqlite3_bind_int64(s->stmt, i + 2, row.rowid);
            else
                bindStored(s->stmt, i + 2, row.values[size_t(i)], encoding);
        }
        const int rc = sqlite3_step(s->stmt);
        sqlite3_reset(s->stmt);
        sqlite3_clear_bindings(s->stmt);
        ++rows_;
        return rc == SQLITE_DONE;
    }

    int rows() const { return rows_; }

    bool finish() {
        tables_.clear();
        return !file_.db ||
               sqlite3_exec(file_.db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    bool open() {
        if (file_.db)
            return true;
        QFile::remove(path_);
        QFile f(path_);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
        f.close();
        takeFileAccessOf(path_, model_);
        if (openConnection(path_, SQLITE_OPEN_READWRITE, &file_.db) != SQLITE_OK)
            return false;
        return sqlite3_exec(file_.db, "PRAGMA journal_mode = OFF; BEGIN", nullptr, nullptr,
                            nullptr) == SQLITE_OK;
    }

    Statement* tableFor(const std::vector<const TableShape*>& candidates) {
        QStringList tables;
        qsizetype width = 0;
        for (const TableShape* c : candidates) {
            tables << c->table();
            width = qMax(width, c->columns().size());
        }
        const QString name = tables.join(QLatin1String(" or "));
        auto& slot = tables_[name];
        if (slot)
            return slot.get();
        QStringList columns{QStringLiteral("page")};
        QStringList places{QStringLiteral("?1")};
        for (qsizetype i = 0; i < width; ++i) {
            QStringList names;
            for (const TableShape* c : candidates)
                if (i < c->columns().size() && !names.contains(c->columns()[i]))
                    names << c->columns()[i];
            columns << quoteIdent(names.join(QLatin1String(" or ")));
            places << QStringLiteral("?%1").arg(i + 2);
        }
        const QString create = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                   .arg(quoteIdent(name), columns.join(", "));
        if (sqlite3_exec(file_.db, create.toUtf8().constData(), nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            return nullptr;
        slot = std::make_unique<Statement>(
            file_.db, QStringLiteral("INSERT INTO %1 VALUES (%2)")
                          .arg(quoteIdent(name), places.join(QLatin1String(", "))));
        return *slot ? slot.get() : nullptr;
    }

    QString path_;
    QString model_;
    SqliteConnection file_;
    std::map<QString, std::unique_ptr<Statement>> tables_;
    int rows_ = 0;
};

UnplacedRows::UnplacedRows(const QString& path, const QString& model)
    : d_(std::make_unique<Impl>(path, model)) {}

UnplacedRows::~UnplacedRows() = default;

bool UnplacedRows::add(const std::vector<const TableShape*>& candidates, quint32 page,
                       const StoredRow& row, int encoding) {
    return d_->add(candidates, page, row, encoding);
}

int UnplacedRows::rows() const {
    return d_->rows();
}

bool UnplacedRows::finish() {
    return d_->finish();
}

bool recoverFromPages(const QString& copyPath, sqlite3* dst, const QStringList& tables,
                      const std::vector<bool>& damaged, UnplacedRows* unplaced) {
    PageFile file(copyPath);
    if (!file.isOpen())
        return true;
    std::vector<std::unique_ptr<PageTarget>> targets;
    for (qsizetype i = 0; i < tables.size(); ++i)
        targets.push_back(std::make_unique<PageTarget>(dst, tables[i], damaged[size_t(i)]));
    const int encoding = file.textEncoding();
    bool written = true;
    std::vector<size_t> candidates;
    std::vector<bool> fits(targets.size());
    for (const quint32 page : file.tableLeafPages()) {
        // Tables every row of the page fits.
        std::fill(fits.begin(), fits.end(), true);
        bool anyRow = false;
        file.forEachRow(page, [&](const StoredRow& row) {
            anyRow = true;
            for (size_t t = 0; t < targets.size(); ++t)
                fits[t] = fits[t] && targets[t]->shape().fits(row);
        });
        candidates.clear();
        bool anyDamaged = false;
        for (size_t t = 0; anyRow && t < targets.size(); ++t) {
            if (fits[t]) {
                candidates.push_back(t);
                anyDamaged = anyDamaged || targets[t]->damaged();
            }
        }
        if (!anyDamaged)
            continue; // not rows of ours, or of tables whose every row read by key
        if (candidates.size() == 1) {
            PageTarget& target = *targets[candidates.front()];
            file.forEachRow(page, [&](const StoredRow& row) { target.insert(row, encoding); });
            continue;
        }
        std::vector<const TableShape*> shapes;
        for (const size_t t : candidates)
            shapes.push_back(&targets[t]->shape());
        file.forEachRow(page, [&](const StoredRow& row) {
            for (const size_t t : candidates)
                if (targets[t]->holds(row, encoding))
                    return;
            written = unplaced->add(shapes, page, row, encoding) && written;
        });
    }
    return written;
}

} // namespace tavrel::detail
