#pragma once

#include "core/uiseam.h"
#include "data/database.h"

#include <QDate>
#include <QString>

#include <QtGlobal>

// What the benchmarks share: a database with the program's schema, the generator of large
// sample sites, a Ui that answers every question with Yes, and one line of output per
// measurement.
namespace tavrel::bench {

// A new database at `path` with the program's schema; left open for the caller.
Database createSiteDatabase(const QString& path);

// Writes `rows` assignments of tasks 1 to `tasks`, spread over the weeks of 2005 and 2006,
// every fourth completed, in one transaction of raw SQLite.
void addAssignments(const QString& path, int rows, int tasks);

// What a generated sample site holds.
struct SiteOptions {
    int tasks = 1000;
    // The settings row's CurYear and the dates of the weeks table.
    int year = 2027;
    // Every task scheduled in all 52 weeks; otherwise each task every 1, 2, 4, 13, 26 or 52
    // weeks, as real schedules go.
    bool everyWeek = false;
    // Years of assignments before `year`, most completed with time and costs; every
    // `overdueEvery`-th of them left uncompleted (overdue). 0: none left open.
    int historyYears = 0;
    int overdueEvery = 0;
    // The assignments of `year` itself, none completed yet.
    bool currentYear = false;
};

// A large sample site written straight through SQLite in one transaction: employees,
// managers, locations and types, `tasks` tasks with realistic names, descriptions and
// codes, their schedules, the weeks of the year and the assignments asked for.
void createSampleSite(const QString& path, const SiteOptions& options);

// A file as older versions left it (no LocID/TypID in assign, no CurYearOnly/EmpID in
// tasks), with `tasks` tasks and `rows` assignments; some assignments name deleted tasks.
void createOldFormatFile(const QString& path, int tasks, int rows);

// Overwrites one leaf page of `table` in the middle of the file with garbage; false when
// the table has too few pages to damage one in the middle.
bool damageLeafPage(const QString& path, const char* table);

// The number a query's first column gives on its first row, read through raw SQLite; -1
// when it gives no row.
qint64 scalar(const QString& path, const char* sql);

// Runs SQL through raw SQLite and stops the program when it fails.
void exec(const QString& path, const char* sql);

// The process's peak resident memory in KiB (Linux), 0 where it cannot be read.
qint64 peakRssKiB();

// A Ui without a window: every question answered Yes, no dialog shown, a fixed day.
class BenchUi final : public Ui {
public:
    explicit BenchUi(QDate today)
        : today_(today) {}
    void setToday(QDate today) { today_ = today; }
    MsgResult msgBox(const QString& text, MsgButtons, MsgIcon, const QString&, const QString&,
                     std::optional<MsgResult>) override;
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return {};
    }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&,
                                        const QString&) override {
        return {};
    }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&,
                                        const QString&) override {
        return {};
    }
    void beep() override {}
    void sendTab(QWidget*) override {}
    int showModal(QDialog*) override { return 0; }
    void showHelp(QWidget*, const QString&) override {}
    QDate today() override { return today_; }
    QDateTime now() override;
    void endProgram(int) override {}

    // The messages shown, so a measurement that met an error can say so.
    int messages = 0;
    QString lastMessage;

private:
    QDate today_;
};

// One measurement beside its baseline, with the ratio.
void report(const char* what, qint64 oursNs, const char* baseline, qint64 baseNs);

} // namespace tavrel::bench
