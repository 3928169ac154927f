#include "support/headlessrun.h"

#include <QProcess>

namespace tavrel::test {

QProcessEnvironment jobEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    // faketime comes in by LD_PRELOAD, ahead of a sanitizer build's runtime.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    return env;
}

HeadlessRun runHeadless(const QString& program, const QString& folder, const QStringList& args,
                        const HeadlessOptions& options) {
    QProcessEnvironment env = jobEnvironment();
    for (const QString& name : options.removed)
        env.remove(name);
    env.insert(options.extra);
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessEnvironment(env);
    if (options.clock.isEmpty())
        process.start(program, args);
    else
        process.start(QStringLiteral("faketime"),
                      QStringList{QStringLiteral("-f"), QLatin1Char('@') + options.clock, program} +
                          args);
    HeadlessRun run;
    run.finished = process.waitForStarted() && process.waitForFinished(options.boundMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    if (run.finished && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace tavrel::test
