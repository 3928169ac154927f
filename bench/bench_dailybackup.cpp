// Start-up with the daily backup due beside the same start-up without one: the copy runs on
// its worker thread and must not keep the user from the first task. Measured from start-up
// to the first task shown with the copy started (the target), and, for information, a few
// moves through the tasks made while the copy runs. Exits 1 when the target is missed.
//
//   bench_dailybackup [--quick] [--repeat N]

#include "benchsite.h"

#include "core/backups.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "data/backup.h"
#include "tasks/taskeditor.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <limits>

using namespace tavrel;

namespace {

constexpr int Year = 2027;
constexpr int Tasks = 10000; // every week: 520,000 assignments
constexpr int QuickTasks = 1000;
constexpr int Moves = 20;
constexpr double Limit = 1.2;

struct Run {
    qint64 firstTaskNs = 0; // start-up until the first task is shown, the copy started
    qint64 ns = 0;          // and the moves made while it runs
    bool started = false;
    QString firstTask;
    qint64 backupNs = 0; // from the start of the copy to its end, after the measurement
};

// Start-up to the first task, the daily backup started as the program starts it, and
// `Moves` moves to the next task; then the copy is waited for, outside the measurement.
Run startUp(const QString& folder) {
    OwnedProgramState fresh;
    bench::BenchUi benchUi(QDate(Year, 3, 1));
    setUi(&benchUi);
    Run run;
    {
        frmMain window;
        installTaskEditor(window);
        window.setWorkFolder(folder);
        QElapsedTimer t;
        t.start();
        window.Form_Load();
        window.show();
        window.startDailyBackup();
        QCoreApplication::processEvents();
        auto* name = window.findChild<QLineEdit*>(QStringLiteral("txtTaskName"));
        run.firstTask = name ? name->text() : QString();
        run.firstTaskNs = t.nsecsElapsed();
        auto* next = window.findChild<QPushButton*>(QStringLiteral("cmdNext"));
        for (int i = 0; i < Moves && next; ++i) {
            QTest::mouseClick(next, Qt::LeftButton);
            QCoreApplication::processEvents();
        }
        run.ns = t.nsecsElapsed();
        run.started = window.dailyBackup()->isRunning() || window.dailyBackup()->lastResult().ok();
        window.dailyBackup()->finish();
        run.backupNs = t.nsecsElapsed();
        window.Form_Unload();
    }
    setUi(nullptr);
    return run;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    installErrorPolicy();

    QStringList args = QCoreApplication::arguments().mid(1);
    const bool quick = args.removeAll(QStringLiteral("--quick")) > 0;
    int repeats = 3;
    if (args.size() == 2 && args[0] == QLatin1String("--repeat"))
        repeats = qMax(1, args[1].toInt());
    else if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_dailybackup [--quick] [--repeat N]\n");
        return 2;
    }

    QTemporaryDir temp;
    const QString folder = temp.path();
    bench::SiteOptions options;
    options.tasks = quick ? QuickTasks : Tasks;
    options.year = Year;
    options.everyWeek = true;
    options.currentYear = true;
    std::printf("a site of %d tasks with %d assignments ...\n", options.tasks, options.tasks * 52);
    bench::createSampleSite(folder + QStringLiteral("/tavrel.mdb"), options);
    const QString backups = folder + QStringLiteral("/backups");
    // Not due: a daily copy of that day is in the folder already.
    auto notDue = [&] {
        QDir(backups).removeRecursively();
        makeBackup(folder + QStringLiteral("/tavrel.mdb"), backups,
                   QString::fromLatin1(BackupReason::Daily),
                   QDateTime(QDate(Year, 3, 1), QTime(7, 0)));
    };
    auto due = [&] { QDir(backups).removeRecursively(); };
    // The copy written or removed just before is on the disk before a start is measured,
    // so that neither start pays for the other's writes.
    auto settle = [] {
#ifdef Q_OS_UNIX
        QProcess::execute(QStringLiteral("sync"), {});
#endif
    };

    // The first window of the process pays for fonts and styles: not measured.
    notDue();
    startUp(folder);
    constexpr qint64 None = std::numeric_limits<qint64>::max();
    qint64 withFirst = None, withoutFirst = None, withMoves = None, withoutMoves = None;
    qint64 backupNs = 0;
    bool ok = true;
    for (int i = 0; i < repeats; ++i) {
        notDue();
        settle();
        const Run without = startUp(folder);
        ok = ok && !without.started && !without.firstTask.isEmpty();
        withoutFirst = qMin(withoutFirst, without.firstTaskNs);
        withoutMoves = qMin(withoutMoves, without.ns);
        due();
        settle();
        const Run with = startUp(folder);
        ok = ok && with.started && with.firstTask == without.firstTask &&
             listBackups(backups).size() == 1;
        withFirst = qMin(withFirst, with.firstTaskNs);
        withMoves = qMin(withMoves, with.ns);
        backupNs = qMax(backupNs, with.backupNs);
    }
    if (!ok)
        std::printf("  CHECK FAILED: the daily backup did not start (or started) as expected\n");
    const double ratio = double(withFirst) / double(withoutFirst);
    std::printf("  start-up to the first task, daily backup due      %8.1f ms\n"
                "  the same without a daily backup due               %8.1f ms\n"
                "  ratio %.2f (limit %.2f) %s\n"
                "  and %d moves through the tasks after it: %.1f ms with the copy running, "
                "%.1f ms without (ratio %.2f)\n"
                "  (the copy itself ended %.1f ms after the start, at the longest)\n",
                withFirst / 1e6, withoutFirst / 1e6, ratio, Limit,
                ok && ratio <= Limit ? "ok" : "MISSED", Moves, withMoves / 1e6, withoutMoves / 1e6,
                double(withMoves) / double(withoutMoves), backupNs / 1e6);
    return ok && ratio <= Limit ? 0 : 1;
}
