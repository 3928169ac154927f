#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The built program run as a scheduled job runs it (cron, ssh): in a folder, with no display
// and no platform chosen, optionally at a fixed clock through faketime.
namespace tavrel::test {

struct HeadlessRun {
    bool finished = false; // within the bound
    int exitCode = -1;     // also when it did not finish or crashed
    QString out;
    QString err;
};

struct HeadlessOptions {
    // "yyyy-MM-dd hh:mm:ss": the program's clock (faketime); empty for the real one.
    QString clock;
    int boundMs = 60'000;
    // Added to the job's environment (a password, a setting), or removed when empty.
    QProcessEnvironment extra;
    QStringList removed;
};

// The environment of such a job: this one without DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM, with the sanitizer told that faketime comes first.
QProcessEnvironment jobEnvironment();

HeadlessRun runHeadless(const QString& program, const QString& folder, const QStringList& args,
                        const HeadlessOptions& options = {});

} // namespace tavrel::test
