#include "benchsite.h"

#include "data/schema.h"
#include "data/units.h"

#include <QDate>
#include <QFile>

#include <sqlite3.h>

#include <array>
#include <cstdio>

namespace tavrel::bench {

namespace {
constexpr int EveryNthCompleted = 4;
constexpr int Employees = 24;
constexpr int Managers = 5;
constexpr int Locations = 12;
constexpr int Types = 7;
// How often tasks recur, in weeks: weekly checks up to the yearly overhaul.
constexpr std::array<int, 6> Intervals = {1, 2, 4, 13, 26, 52};
constexpr int MinutesPerHour = 60;
constexpr int MaxHours = 4;
constexpr double TaxRate = 0.07;

const std::array<const char*, 12> Equipment = {
    "Boiler",   "chiller",   "Air handler", "Fire extinguisher", "Sump pump",    "Cooling tower",
    "Elevator", "Generator", "Roof drain",  "exhaust fan",       "Water heater", "Compressor"};
const std::array<const char*, 8> Areas = {"North wing", "Basement",  "Roof",    "Lab",
                                          "Kitchen",    "Warehouse", "Level 2", "Gym"};
const std::array<const char*, 6> BestTimes = {"Morning",  "Afternoon",     "Before opening",
                                              "Weekends", "After closing", "Any time"};
const std::array<const char*, 8> FirstNames = {"Dana", "Lee",  "Ana",   "Sam",
                                               "Kim",  "Noor", "Jules", "Ravi"};
const std::array<const char*, 6> LastNames = {"Whitfield", "Ortega",    "Brandt",
                                              "Okafor",    "Lindqvist", "Moreau"};

// Raw SQLite with every failure fatal: a generator that half works measures nothing.
struct Raw {
    explicit Raw(const QString& path) {
        if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
    }
    ~Raw() {
        for (sqlite3_stmt* s : statements)
            sqlite3_finalize(s);
        sqlite3_close(db);
    }
    void exec(const char* sql) const {
        char* message = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
            qFatal("%s: %s", sql, message);
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
            qFatal("%s: %s", sql, sqlite3_errmsg(db));
        statements.push_back(s);
        return s;
    }
    void run(sqlite3_stmt* s) const {
        if (sqlite3_step(s) != SQLITE_DONE)
            qFatal("insert failed: %s", sqlite3_errmsg(db));
        sqlite3_reset(s);
    }
    sqlite3* db = nullptr;
    std::vector<sqlite3_stmt*> statements;
};

void bindText(sqlite3_stmt* s, int index, const QByteArray& text) {
    sqlite3_bind_text(s, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

int intervalOf(int task) {
    return Intervals[size_t(task) % Intervals.size()];
}

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
    Raw raw(path);
    raw.exec("BEGIN");
    sqlite3_stmt* ins = raw.prepare(
        "INSERT INTO assign (taskid, weeid, duedate, completed, comphour, compmin, compnotes) "
        "VALUES (?1, ?2, ?3, ?4, 0, 0, 'Checked and cleaned')");
    const QDate first(2005, 1, 3);
    for (int i = 0; i < rows; ++i) {
        const int week = i % (2 * WeeksPerYear);
        bindText(ins, 3, first.addDays(qint64(week) * DaysPerWeek).toString(Qt::ISODate).toUtf8());
        sqlite3_bind_int(ins, 1, i % tasks + 1);
        sqlite3_bind_int(ins, 2, week % WeeksPerYear + 1);
        sqlite3_bind_int(ins, 4, i % EveryNthCompleted == 0 ? 1 : 0);
        raw.run(ins);
    }
    raw.exec("COMMIT");
}

void createSampleSite(const QString& path, const SiteOptions& o) {
    createSiteDatabase(path).close();
    Raw raw(path);
    raw.exec("BEGIN");
    sqlite3_stmt* s = raw.prepare("INSERT INTO settings (CurYear) VALUES (?1)");
    sqlite3_bind_int(s, 1, o.year);
    raw.run(s);

    s = raw.prepare("INSERT INTO employees (firstname, lastname) VALUES (?1, ?2)");
    for (int e = 0; e < Employees; ++e) {
        bindText(s, 1, FirstNames[size_t(e) % FirstNames.size()]);
        bindText(s, 2, LastNames[size_t(e) % LastNames.size()] + QByteArray::number(e / 6));
        raw.run(s);
    }
    s = raw.prepare("INSERT INTO managers (manfirst, manlast) VALUES (?1, ?2)");
    for (int m = 0; m < Managers; ++m) {
        bindText(s, 1, FirstNames[size_t(m + 3) % FirstNames.size()]);
        bindText(s, 2, LastNames[size_t(m) % LastNames.size()]);
        raw.run(s);
    }
    s = raw.prepare("INSERT INTO locations (locdesc) VALUES (?1)");
    for (int l = 0; l < Locations; ++l) {
        bindText(s, 1, QByteArray("Building ") + char('A' + l));
        raw.run(s);
    }
    s = raw.prepare("INSERT INTO types (typdesc) VALUES (?1)");
    for (int t = 0; t < Types; ++t) {
        bindText(s, 1, QByteArray("Type ") + QByteArray::number(t + 1));
        raw.run(s);
    }
    const QList<QDate> mondays = weekMondays(o.year);
    s = raw.prepare("INSERT INTO weeks (weeid, curdate) VALUES (?1, ?2)");
    for (int w = 1; w <= WeeksPerYear; ++w) {
        sqlite3_bind_int(s, 1, w);
        bindText(s, 2, mondays.at(w - 1).toString(Qt::ISODate).toUtf8());
        raw.run(s);
    }

    sqlite3_stmt* task = raw.prepare(
        "INSERT INTO tasks (taskid, taskname, taskdesc, tools, results, besttime, reqhour, "
        "reqmin, manuf, model, serialno, Tag, locid, typid, empid, purchdate) VALUES (?1, ?2, "
        "'Inspect, clean and adjust as the maker says; note any wear.', 'Wrenches, rags, "
        "meter', 'Runs quietly within its rated values', ?3, ?4, ?5, 'Acme', ?6, ?7, ?8, ?9, "
        "?10, ?11, ?12)");
    sqlite3_stmt* sched = raw.prepare("INSERT INTO taskweeks (taskid, weeid) VALUES (?1, ?2)");
    for (int t = 1; t <= o.tasks; ++t) {
        const QByteArray name = QByteArray(Equipment[size_t(t) % Equipment.size()]) + ' ' +
                                Areas[size_t(t / Equipment.size()) % Areas.size()] + ' ' +
                                QByteArray::number(t);
        sqlite3_bind_int(task, 1, t);
        bindText(task, 2, name);
        bindText(task, 3, BestTimes[size_t(t) % BestTimes.size()]);
        sqlite3_bind_int(task, 4, t % MaxHours);
        sqlite3_bind_int(task, 5, (t * 5) % MinutesPerHour);
        bindText(task, 6, "M-" + QByteArray::number(t % 97));
        bindText(task, 7, "SN" + QByteArray::number(100000 + t));
        bindText(task, 8, "T" + QByteArray::number(t));
        sqlite3_bind_int(task, 9, t % Locations + 1);
        sqlite3_bind_int(task, 10, t % Types + 1);
        sqlite3_bind_int(task, 11, t % Employees + 1);
        bindText(task, 12, QDate(2001, 1, 1).addDays(t % 1500).toString(Qt::ISODate).toUtf8());
        raw.run(task);
        const int every = o.everyWeek ? 1 : intervalOf(t);
        for (int w = 1 + t % every; w <= WeeksPerYear; w += every) {
            sqlite3_bind_int(sched, 1, t);
            sqlite3_bind_int(sched, 2, w);
            raw.run(sched);
        }
    }

    sqlite3_stmt* assign = raw.prepare(
        "INSERT INTO assign (taskid, weeid, duedate, completed, compdate, comphour, compmin, "
        "compnotes, empid, manid, parts, labor, tax, totalcost, locid, typid) VALUES (?1, ?2, "
        "?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)");
    qint64 made = 0;
    const int firstYear = o.year - o.historyYears;
    const int lastYear = o.currentYear ? o.year : o.year - 1;
    for (int y = firstYear; y <= lastYear; ++y) {
        const QList<QDate> due = weekMondays(y);
        QList<QByteArray> dueText;
        QList<QByteArray> doneText;
        for (const QDate& d : due) {
            dueText << d.toString(Qt::ISODate).toUtf8();
            doneText << d.addDays(1).toString(Qt::ISODate).toUtf8();
        }
        for (int t = 1; t <= o.tasks; ++t) {
            const int every = o.everyWeek ? 1 : intervalOf(t);
            for (int w = 1 + t % every; w <= WeeksPerYear; w += every) {
                ++made;
                const bool open = y == o.year || (o.overdueEvery > 0 && made % o.overdueEvery == 0);
                sqlite3_bind_int(assign, 1, t);
                sqlite3_bind_int(assign, 2, w);
                bindText(assign, 3, dueText.at(w - 1));
                sqlite3_bind_int(assign, 4, open ? 0 : 1);
                sqlite3_bind_int(assign, 15, t % Locations + 1);
                sqlite3_bind_int(assign, 16, t % Types + 1);
                if (open) {
                    for (int c = 5; c <= 14; ++c)
                        sqlite3_bind_null(assign, c);
                } else {
                    const double parts = double(made % 5000) / 100.0;
                    const double labor = double(made % 120) * 2.5;
                    const double tax = double(qRound64(parts * TaxRate * 10000.0)) / 10000.0;
                    bindText(assign, 5, doneText.at(w - 1));
                    sqlite3_bind_int(assign, 6, int(made % MaxHours));
                    sqlite3_bind_int(assign, 7, int((made * 7) % MinutesPerHour));
                    bindText(assign, 8,
                             made % 3 == 0 ? QByteArray("Replaced the filter")
                                           : QByteArray("Checked and cleaned"));
                    sqlite3_bind_int(assign, 9, t % Employees + 1);
                    sqlite3_bind_int(assign, 10, int(made % Managers) + 1);
                    sqlite3_bind_double(assign, 11, parts);
                    sqlite3_bind_double(assign, 12, labor);
                    sqlite3_bind_double(assign, 13, tax);
                    sqlite3_bind_double(assign, 14, parts + labor + tax);
                }
                raw.run(assign);
            }
        }
    }
    raw.exec("COMMIT");
}

void createOldFormatFile(const QString& path, int tasks, int rows) {
    // Assignments name tasks up to this number; those above `tasks` were deleted since.
    const int taskNumbers = tasks + tasks / 20;
    Raw raw(path);
    raw.exec("CREATE TABLE tasks (taskid INTEGER PRIMARY KEY AUTOINCREMENT, taskname TEXT, "
             "locid LONG, typid LONG);"
             "CREATE TABLE assign (assid INTEGER PRIMARY KEY AUTOINCREMENT, taskid LONG, weeid "
             "SHORT, duedate DATETIME, completed BIT NOT NULL DEFAULT 0, empid LONG);"
             "CREATE TABLE settings (CurYear SHORT);"
             "INSERT INTO settings VALUES (2005);");
    raw.exec("BEGIN");
    sqlite3_stmt* ins =
        raw.prepare("INSERT INTO tasks (taskid, taskname, locid, typid) VALUES (?1, ?2, ?3, ?4)");
    for (int t = 1; t <= tasks; ++t) {
        sqlite3_bind_int(ins, 1, t);
        bindText(ins, 2, "Task " + QByteArray::number(t));
        sqlite3_bind_int(ins, 3, t % Locations + 1);
        if (t % Types == 0)
            sqlite3_bind_null(ins, 4); // a task without a type
        else
            sqlite3_bind_int(ins, 4, t % Types);
        raw.run(ins);
    }
    ins = raw.prepare("INSERT INTO assign (taskid, weeid, duedate) VALUES (?1, ?2, ?3)");
    const QList<QDate> mondays = weekMondays(2005);
    for (int i = 0; i < rows; ++i) {
        sqlite3_bind_int(ins, 1, i % taskNumbers + 1);
        sqlite3_bind_int(ins, 2, i % WeeksPerYear + 1);
        bindText(ins, 3, mondays.at(i % WeeksPerYear).toString(Qt::ISODate).toUtf8());
        raw.run(ins);
    }
    raw.exec("COMMIT");
}

bool damageLeafPage(const QString& path, const char* table) {
    QList<int> pages;
    int pageSize = 0;
    {
        Raw raw(path);
        const QByteArray sql = QByteArray("SELECT pageno FROM dbstat WHERE name = '") + table +
                               "' AND pagetype = 'leaf' ORDER BY pageno";
        sqlite3_stmt* s = raw.prepare(sql.constData());
        while (sqlite3_step(s) == SQLITE_ROW)
            pages << sqlite3_column_int(s, 0);
        s = raw.prepare("PRAGMA page_size");
        sqlite3_step(s);
        pageSize = sqlite3_column_int(s, 0);
    }
    constexpr int FewestPages = 4;
    if (pages.size() <= FewestPages)
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    f.seek(qint64(pages.at(pages.size() / 2) - 1) * pageSize);
    constexpr char Garbage = '\xA5';
    return f.write(QByteArray(pageSize, Garbage)) == pageSize;
}

qint64 scalar(const QString& path, const char* sql) {
    Raw raw(path);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(raw.db, sql, -1, &s, nullptr) != SQLITE_OK)
        return -1;
    const qint64 value = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return value;
}

void exec(const QString& path, const char* sql) {
    Raw(path).exec(sql);
}

qint64 peakRssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

MsgResult BenchUi::msgBox(const QString& text, MsgButtons, MsgIcon, const QString&, const QString&,
                          std::optional<MsgResult>) {
    ++messages;
    lastMessage = text;
    return MsgResult::Yes;
}

QDateTime BenchUi::now() {
    return QDateTime(today_, QTime(8, 0));
}

void report(const char* what, qint64 oursNs, const char* baseline, qint64 baseNs) {
    std::printf("%-50s %10.3f ms   %-22s %10.3f ms   ratio %6.2f\n", what, oursNs / 1e6, baseline,
                baseNs / 1e6, baseNs > 0 ? double(oursNs) / double(baseNs) : 0.0);
}

} // namespace tavrel::bench
