#pragma once

// Internals of the data layer: the SQL tokens, the shape of a select statement, and the
// private parts of Database and Recordset. Nothing outside src/data includes this.

#include "data/database.h"
#include "data/dberror.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <sqlite3.h>

#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace tavrel::detail {

class PgConnection;
struct ServerCatalog;
struct ServerTables;
struct ServerCursor;

enum class TokKind { Ident, QuotedIdent, String, Number, Date, Op, Param };

// One token. For strings and quoted identifiers `text` holds the unquoted content; for a
// date literal the text between the "#" signs.
struct Token {
    TokKind kind = TokKind::Op;
    QString text;

    bool isWord(const char* word) const {
        return kind == TokKind::Ident &&
               text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    bool isOp(const char* op) const { return kind == TokKind::Op && text == QLatin1String(op); }
    bool isName() const { return kind == TokKind::Ident || kind == TokKind::QuotedIdent; }
    // One of the words of a list that ends with nullptr.
    bool isOneOf(const char* const* words) const {
        for (; *words; ++words)
            if (isWord(*words))
                return true;
        return false;
    }
};
using Tokens = QList<Token>;

// Tokens the translations write.
inline Token op(const char* text) {
    return Token{TokKind::Op, QString::fromLatin1(text)};
}
inline Token word(const char* text) {
    return Token{TokKind::Ident, QString::fromLatin1(text)};
}
inline Token str(const QString& text) {
    return Token{TokKind::String, text};
}
inline Token number(const QString& text) {
    return Token{TokKind::Number, text};
}

// Index of the ")" that closes the "(" at `open`, or the end.
inline qsizetype closing(const Tokens& t, qsizetype open) {
    int depth = 0;
    for (qsizetype j = open; j < t.size(); ++j) {
        if (t.at(j).isOp("("))
            ++depth;
        else if (t.at(j).isOp(")") && --depth == 0)
            return j;
    }
    return t.size();
}

// Splits SQL text into tokens. In Jet mode double quotes delimit strings and "#" dates;
// in SQLite mode double quotes delimit identifiers.
bool tokenize(const QString& sql, bool jetMode, Tokens* out, QString* error);

// The Jet-dialect translation on tokens; the result is SQLite's dialect, without a
// trailing ";".
bool translateTokens(const QString& jetSql, Tokens* out, QString* error);

// The tokens of one statement of the program's dialect, as every backend's translation
// starts: refused (false, *error set) for two statements, a NUL, unbalanced parentheses or
// nesting deeper than MaxSqlNesting. A trailing ";" is dropped.
bool readJetStatement(const QString& jetSql, Tokens* out, QString* error);

// Jet's "&": operands joined with "||", a null operand read as an empty text. An `operand`
// function writes each operand as a text first, for a backend whose "||" wants texts.
Tokens translateConcat(const Tokens& in, const std::function<Tokens(const Tokens&)>& operand);

// The words both backends translate alike: Jet's "mod" operator (`qualified`: the word is
// part of a dotted name, and so a column's) and "delete * from". True when in[*i] is one of
// them: its translation is appended to `out` and *i moved past what it took.
bool translateSharedWord(const Tokens& in, qsizetype* i, bool qualified, Tokens* out);

// Writes tokens back as SQLite text.
QString emitSql(const Tokens& tokens);

// Reads a Jet date literal's text (between the "#" signs) as ISO text, or sets the syntax
// error Jet raises for it.
bool jetDateToIso(const QString& literal, QString* iso, QString* error);

// A table of a FROM clause and the name the query refers to it by.
struct TableRef {
    QString table;
    QString alias;
    QString refName() const { return alias.isEmpty() ? table : alias; }
};

// The parts of a select statement that a keyset cursor needs. `keyable` is false for
// anything whose rows are not rows of its tables (aggregates, distinct, unions, subqueries
// in FROM, positional order terms).
struct SelectParts {
    bool isSelect = false;
    bool keyable = false;
    Tokens selectList;
    Tokens from;
    Tokens where;
    Tokens orderBy;          // without the words "order by"
    Tokens tail;             // limit/offset
    qsizetype orderAt = -1;  // index of "order" in the statement's tokens
    qsizetype orderEnd = -1; // index after the order terms
    QList<TableRef> tables;
    QHash<QString, Tokens> aliases; // lower-case alias -> its expression
};
SelectParts parseSelect(const Tokens& tokens);

// Replaces names that are select-list aliases by their expressions in parentheses.
Tokens substituteAliases(const Tokens& tokens, const QHash<QString, Tokens>& aliases);

QString quoteIdent(const QString& name);

// The key columns of a recordset's tables ("t.rowid, u.rowid"), in the keyset's order.
QString keyList(const QList<TableRef>& tables);

// Collations of ours, named only in the translated query text (never in a file's schema):
// the program's order of texts (textorder.h), under two names, for sorts and for
// comparisons. Case is no difference in it: texts that differ only in case are equal.
inline constexpr const char* SortCollation = "jet";
inline constexpr const char* CompareCollation = "jetcompare";

// Two ways of ordering by the same terms. `from` is the FROM clause, used to learn each
// term's declared type. `exact` gives text columns the program's collation; `indexed`
// gives them NOCASE, which an index on (column COLLATE NOCASE) serves and which is the
// program's order for texts of letters, digits and some punctuation of plain ASCII
// (nocaseAgrees). `texts` are the text terms, whose values tell whether `indexed` gave
// that order. `reversed` is `indexed` with every direction turned, for reading the last
// rows first.
struct TextOrder {
    Tokens exact;
    Tokens indexed;
    Tokens reversed;
    QList<Tokens> texts;
};
TextOrder textOrderTerms(sqlite3* db, const QString& from, const Tokens& orderBy);

// Order terms that give the rows of these tables in key order: each table's primary key
// (its rowid when it declares none), the first table's first. *rowidsOnly tells whether
// every one of those keys is the table's rowid.
Tokens keyOrderTerms(sqlite3* db, const QList<TableRef>& tables, bool* rowidsOnly = nullptr);

// Jet's comparisons in a translated statement: text operands of =, <>, <, >, in, between,
// distinct and group by get the comparison collation; a yes/no column compared with a
// number asks whether it is zero, so that every non-zero value is true. `context` names
// tables the text refers to without a FROM clause of its own (a find's criteria).
Tokens jetComparisons(sqlite3* db, const Tokens& tokens, const QList<TableRef>& context = {});

enum class ValueKind;

// The same pass over another backend's tables: `columns` gives a table's lower-case column
// names and kinds (empty for no such table), `style` what that backend's SQL needs.
struct ComparisonStyle {
    const char* collation = CompareCollation;
    // Text columns carry the collation in the schema: only operands that are no column need
    // it named.
    bool columnsCarryCollation = false;
    // "name like 'Fan*'" also gets a range on the pattern's start that an index serves.
    bool likeRanges = true;
    // GROUP BY terms and SELECT DISTINCT group texts with the collation named.
    bool groupTerms = true;
    // A yes/no column alone as a condition becomes "(column <> 0)".
    bool yesNoConditions = false;
};
using ColumnSource = std::function<QHash<QString, ValueKind>(const QString& table)>;
Tokens jetComparisons(const ColumnSource& columns, const Tokens& tokens,
                      const QList<TableRef>& context, const ComparisonStyle& style);

// Jet's like on two texts, as the SQL function does it: wildcards "*", "?", "#" and
// "[...]" lists, letters of every alphabet without regard to case.
bool likeMatches(const QString& value, const QString& pattern);

// Registers the functions the translated SQL relies on (Jet's like) on a connection, and
// the collations of the program's order of texts.
void registerSqlFunctions(sqlite3* db);

// The hooks tests installed, and whether they apply to the file at `path`.
const ConnectionHooks& connectionHooks();
bool connectionHooksApplyTo(const QString& path);

// Opens a connection the way every connection of the program is opened: short busy wait,
// a large page cache, the program's SQL functions registered; through the file layer `vfs`
// names, or the system's.
int openConnection(const QString& path, int flags, sqlite3** db, const char* vfs = nullptr);

// The name of the file layer both ends of a backup's or a restore's copy go through: pages
// written in large blocks and read ahead in large blocks while a lock lasts.
const char* copyFileLayer();

// Maps an SQLite result code to one of the program's error numbers. `write` tells a lock
// met while writing from one met while reading.
int errorNumberFor(int rc, bool write, const char* message);

// How a column's value is read back, from its declared type.
enum class ValueKind { Auto, Integer, Double, Currency, Bool, Date, Text };
ValueKind valueKindFor(const char* declType);
QVariant readColumn(sqlite3_stmt* stmt, int column, ValueKind kind);
QVariant readValue(sqlite3_value* value, ValueKind kind);
// A value as SQLite holds it: its storage class, its number (`real` also for an integer)
// and its bytes, which for a number read as text are the text SQLite makes of it.
struct PlainValue {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    const char* bytes = nullptr;
    int size = 0;
};
QVariant readPlain(const PlainValue& value, ValueKind kind);
// Reads a text written to a date column. The data layer reads only ISO forms, which mean
// the same date everywhere: "yyyy-MM-dd", with " HH:mm[:ss]" or "THH:mm[:ss]", or a time
// alone, "HH:mm[:ss]". Typed dates ("3/5/2026") depend on the locale's order: the program
// reads them and passes a QDate.
bool dateFromIsoText(const QString& text, QVariant* out);
// The value as the column will hold it, so a value read back before update() looks like
// the stored one. False when the column's type cannot hold it.
bool normalise(const QVariant& value, ValueKind kind, QVariant* out);
// Binds a program value to a parameter, stored as the column's kind wants it.
int bindValue(sqlite3_stmt* stmt, int index, const QVariant& value, ValueKind kind);

// The type check of one insert or update statement (see writecheck.cpp): from its tokens it
// learns the table and the typed columns the statement writes, notes every row the
// statement writes while it runs, and afterwards reads those values back. The statement runs
// inside a write level of its own, so a mismatch undoes all of it.
class WriteCheck {
public:
    WriteCheck(sqlite3* db, const Tokens& tokens);
    ~WriteCheck();
    WriteCheck(const WriteCheck&) = delete;
    WriteCheck& operator=(const WriteCheck&) = delete;

    // Whether the statement writes typed columns of a table: then it is checked.
    bool active() const { return hooked_; }
    // After the statement ran: the error for the first value a column cannot hold.
    std::optional<DbError> mismatch(const QString& sql);

    struct Column {
        QString name;
        ValueKind kind = ValueKind::Auto;
        int bits = 32;       // integers: 8, 16, 32, or 0 for 64
        bool single = false; // a single-precision number
    };
    // Whether a stored value is one the column's type holds.
    static bool fits(sqlite3_value* value, const Column& column);
    static bool writtenColumns(const Tokens& tokens, QString* table, QStringList* columns);

private:
    static void rowWritten(void* self, int op, const char* database, const char* table,
                           sqlite3_int64 rowid);

    sqlite3* db_ = nullptr;
    QString table_;
    QByteArray tableUtf8_;
    QList<Column> columns_;
    sqlite3_stmt* read_ = nullptr;
    std::vector<sqlite3_int64> rows_;
    bool hooked_ = false;
};

// Shared by the recordset files.
// Key of a joined table in a row this recordset added: the row is found by its base key.
inline constexpr qint64 AddedRowKey = std::numeric_limits<qint64>::min();
// Rows read by one statement while walking a recordset.
inline constexpr int ReadAheadRows = 64;
// Rows read by the first statement after a jump.
inline constexpr int FirstRunRows = 8;

void raiseNotSet();
void raiseNoCurrent();
void raiseReadOnly();

inline QString text(const unsigned char* s) {
    return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

} // namespace tavrel::detail

namespace tavrel {

struct Database::Impl {
    sqlite3* db = nullptr;
    // The server backend: its connection and what it knows of the server's tables. On a
    // server `db` stays null and `path` holds the URL.
    std::unique_ptr<detail::PgConnection> server;
    std::unique_ptr<detail::ServerCatalog> catalog;
    // The server's tables as recordsets need them (keys, row versions, column kinds and
    // defaults), read at the first recordset and again after a change of the schema.
    std::shared_ptr<detail::ServerTables> serverTables;
    QString path;
    int rowsAffected = 0;
    quint64 writes = 0; // counts this connection's writes: rows read before one are stale
    QSet<Recordset::Impl*> recordsets;

    ~Impl();
    void closeConnection();

    // Raises the error for an SQLite failure on this connection.
    void raise(int rc, bool write, const QString& context) const;
    // The same error without raising it, for reporting after the failed work is undone.
    DbError errorFor(int rc, bool write, const QString& context) const;
    // Prepares the whole of `sql` as exactly one statement; raises the error and returns
    // false otherwise. SQLite would stop quietly at a NUL or leave a second statement
    // unread, running less than the text says: both are refused as a syntax error.
    bool prepare(const QString& sql, sqlite3_stmt** stmt, bool write, const QString& context) const;
    // Runs a statement without results (BEGIN, COMMIT ...); returns the result code.
    int run(const char* sql);
    // Some failures (a full disk, an I/O error) make SQLite roll back the whole transaction
    // by itself. Statements after them must not run on their own, each committed at once,
    // while the operation's Transaction still stands: writes are refused (SQLITE_ABORT)
    // until it ends.
    bool transactionLost() const;

    // The writes of one operation: a transaction of their own (BEGIN IMMEDIATE, so that
    // nothing waits half-way for a lock) or, when one is open already, a savepoint in it.
    // commitWrite() keeps the level open when it fails, so that abortWrite() can undo it.
    // Each returns SQLite's result code.
    int beginWrite();
    int commitWrite();
    void abortWrite();

    // Open write levels, innermost last: true for a savepoint, false for a transaction.
    QList<bool> writeLevels;
    // Transaction objects open on this connection; FreeLocks() leaves their work alone.
    int transactions = 0;
};

// Connections on which a Transaction is open.
QSet<sqlite3*>& connectionsInTransaction();

// The open connections, so FreeLocks() and repair() can reach them: each with the
// function that closes it for good.
QHash<sqlite3*, std::function<void()>>& openConnections();

// The rows of a static copy in memory: each value a tag byte and its bytes, a run of rows
// to a buffer, so that half a million rows cost a few thousand allocations, not millions.
class PackedRows {
public:
    // Appends the current row of `stmt`. The values of columns read as text (`asText`)
    // keep, beside a number, the text SQLite makes of it.
    void append(sqlite3_stmt* stmt, const std::vector<char>& asText);
    int size() const { return int(starts_.size()); }
    // The values of a row, pointing into the copy.
    void row(int index, std::vector<detail::PlainValue>* values) const;
    void clear();

private:
    std::vector<std::vector<char>> chunks_; // RowsPerChunk rows each
    std::vector<size_t> starts_;            // where each row begins in its chunk
    int columns_ = 0;
};

struct FieldInfo {
    QString name;        // result column name (alias or column)
    QString table;       // origin table, empty for expressions
    QString origin;      // origin column
    int tableIndex = -1; // index into the recordset's tables, -1 when not a table column
    detail::ValueKind kind = detail::ValueKind::Auto;
};

struct Recordset::Impl {
    enum class Mode { None, Edit, Add };

    std::shared_ptr<Database::Impl> db;
    RecordsetType type = RecordsetType::Dynaset;
    bool keyed = false; // keyset cursor; otherwise a static copy in `copied`
    bool updatable = false;
    int stride = 1; // key columns per row (one per table of the FROM clause)
    std::vector<qint64> keys;
    QList<detail::TableRef> tables;
    QList<QSet<QString>> tableColumns; // lower-case column names of each table (keysets)
    QList<FieldInfo> fields;
    QHash<QString, detail::Tokens> aliases;
    QString fromSql;
    QString selectSql;
    QString materialisedSql;

    // Keysets: the rows of a run of base keys, with every table's key first.
    sqlite3_stmt* lookupBatch = nullptr;
    // The statement of the last find and its criteria, kept for the next find.
    sqlite3_stmt* findStatement = nullptr;
    QString findCriteria;
    // Static copies (snapshots, and results that are no table's rows): the rows as they
    // were when opened, held in memory (so that no transaction of the program's can undo
    // them). Finds evaluate their criteria in SQL on a private temporary database of the
    // copy's own, made at the first find: row i at rowid i + 1, columns c0, c1 ...
    PackedRows copied;
    std::vector<detail::PlainValue> copiedValues; // the values of copied row `copiedRow`
    int copiedRow = -1;
    sqlite3* store = nullptr;
    // A damaged page met while copying: the rows before it are kept, and a move to the
    // row after them raises the damage then, as reading that row of the file would.
    std::optional<DbError> copyDamage;
    // On a server: what the cursor needs there (its batch statement, its tables' keys and row
    // versions, the rows of a static copy).
    std::shared_ptr<detail::ServerCursor> server;
    // Keysets: rows read ahead by one statement, so a walk does not pay a statement per
    // row: the rows at positions batchFirst ... (an empty list for a row deleted meanwhile).
    int batchFirst = 0;
    QList<QVariantList> batch;
    int runLength = detail::ReadAheadRows; // rows the last statement was asked for
    quint64 batchWrites = 0;
    // Only the fields that were ever asked for are converted to values: a walk that reads
    // two fields of a wide join does not pay for the others. Per field: asked for yet, and
    // read into the current batch.
    // A batch row holds the wanted fields only, at their slots.
    std::vector<char> wanted;
    std::vector<int> batchSlot; // field -> its place in the batch's rows, or -1

    // Base table facts, for writes.
    QString baseTable;
    QString keyColumn; // the rowid alias column, if any
    bool autoIncrement = false;
    QHash<QString, detail::ValueKind> baseKinds; // lower-case column -> kind
    QHash<QString, QString> baseColumnNames;     // lower-case -> as declared

    // A large keyset in Jet's order is read in parts: its first rows at open, its last ones
    // when moveLast() first needs them, and the rest when a move, find or addition first
    // reaches them. Positions [gapBegin, gapEnd) hold no key yet; until the size is known
    // the keys end at gapBegin. Only single-table keysets whose order an index serves are
    // read this way (`keysSql` gives every key, the text terms after it).
    bool complete = true;
    bool sizeKnown = true;
    int gapBegin = 0;
    int gapEnd = 0;
    QString keysSql;
    QString lastKeysSql; // the keys last row first, limit ?1
    QString exactKeysSql;
    QString countSql;
    int orderTexts = 0;
    // Whether the row at `index` is one whose key is not read yet.
    bool inGap(int index) const {
        return !complete && index >= gapBegin && (!sizeKnown || index < gapEnd);
    }
    // Appends the keys `sql` gives, `stride` a row, to *keys; a `limit` above 0 is bound to
    // ?1. With `texts` > 0 (terms read after the keys) it stops as soon as the rows are not in
    // Jet's order and clears *jetOrder. False after raising a failure.
    static bool readKeys(Database::Impl& db, const QString& sql, int stride, int texts, int limit,
                         std::vector<qint64>* keys, bool* jetOrder, const QString& context);
    // Opens the recordset of a query (a table's name or a select); nullptr after raising
    // a failure.
    static std::unique_ptr<Impl> open(const std::shared_ptr<Database::Impl>& db,
                                      const QString& sqlOrTable, RecordsetType type);
    // A dynaset's keyset, its batch statement and its base table; false after raising a
    // failure.
    bool openKeyset(const detail::SelectParts& parts);
    // The keys of a keyset ordered by texts, in the program's order of texts.
    bool readKeysInTextOrder(const detail::SelectParts& parts);
    // Reads the count and the last keys; false after raising a failure.
    bool readLastKeys();
    // Reads the keys not read yet. `target` (a position a move of `step` is headed for) is
    // moved along with the rows it is among. False after raising a failure.
    bool completeKeys(int* target = nullptr, int step = 1);

    // Row versions: per table of the FROM clause, whether it has a rowver column; and the
    // version of each table's part of the current row as it was read (null where a table
    // has none). They are kept from the first read of the row until the cursor moves or the
    // row is written, so that a later read of other fields does not take another user's
    // change as seen. An update or delete writes only while the stored versions are these.
    std::vector<char> versioned;
    QVariantList readVersions;
    bool versionsPinned = false;
    // Keeps the versions of the row just read in `current`, unless they are kept already.
    void pinVersions();
    // The versions of the current row, read now when none are kept; false after raising.
    bool currentVersions();

    int pos = -1;
    bool bof = true;
    bool eof = true;
    bool deletedCurrent = false;
    bool noMatch = false;
    bool rowLoaded = false;
    QVariantList current;

    Mode mode = Mode::None;
    QHash<int, QVariant> buffer; // field index -> value being written
    bool keyReserved = false;
    qint64 reservedKey = 0;
    bool lockEdits = false;

    ~Impl();
    void detach(); // the database closed under us
    int count() const;
    bool hasCurrent() const { return !bof && !eof && !deletedCurrent && pos >= 0 && pos < count(); }
    bool loadCurrent();
    // The current row's value of a field (reading the row again when the field was never
    // asked for before).
    bool currentValue(int index, QVariant* out);
    // Makes `target` the current row, stepping past rows deleted meanwhile in the
    // direction of `step`; before the first or after the last row sets BOF or EOF.
    void settle(int target, int step);
    bool fetch(int index, QVariantList* out, bool* missing, int direction = 1);
    // Static copies: copies every row of `source` (SQLITE_DONE, the source's failure to be
    // raised by the caller, or SQLITE_OK after raising a failure of the copy itself);
    // whether row `index` was copied (raising the damage that ended the copy before it); a
    // field of the current row, converted when asked for; the temporary database of finds
    // (nullptr after raising why there is none).
    int copyRows(sqlite3_stmt* source);
    bool checkCopied(int index) const;
    bool readCopied(int field, QVariant* out);
    sqlite3* findStore();
    bool readBatch(int index, int direction);
    void eraseKey(int index);
    // The criteria of a find as SQL on this recordset's rows: names resolved as values
    // resolve them (an unqualified name a join repeats is the base table's column).
    QString findCondition(const detail::Tokens& criteria) const;
    detail::Tokens findConditionTokens(const detail::Tokens& criteria) const;
    int fieldIndex(const QString& name) const;
    int resolveField(const QString& name) const;
    mutable QHash<QString, int> fieldIndexes; // names as asked for -> their index
};

} // namespace tavrel
