#include "app/headless.h"

#include "assignments/yeargen.h"
#include "calendar/calendarexport.h"
#include "core/backups.h"
#include "core/errortrap.h"
#include "core/programstate.h"
#include "core/sitesettings.h"
#include "core/startup.h"
#include "core/uiseam.h"
#include "core/upgrade.h"
#include "custom/customreport.h"
#include "dashboard/frmdashboard.h"
#include "data/backup.h"
#include "data/database.h"
#include "data/demodata.h"
#include "data/schema.h"
#include "data/sitecopy.h"
#include "import/sheet.h"
#include "import/taskimport.h"
#include "import/taskmapping.h"
#include "legacy/importer.h"
#include "mail/maildigest.h"
#include "mail/mailsettings.h"
#include "mail/smtpsender.h"
#include "reports/labels.h"
#include "reports/monthlyprint.h"
#include "reports/pdfoutput.h"
#include "reports/reportdocument.h"
#include "reports/standardreports.h"
#include "reports/tablefile.h"
#include "text/datetext.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace tavrel::app {

namespace {

void printError(const QString& message) {
    std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(message));
}

QString siteFile(const QString& name) {
    return QDir(QDir::currentPath()).filePath(name);
}

// Why this folder's tavrel.conf keeps it from being set up on a server anew: it works on
// one already.
QString alreadyOnServer() {
    const QString url = tavrel::SiteSettings::load(QDir::currentPath()).databaseUrl;
    if (url.isEmpty())
        return {};
    return QStringLiteral("This folder works on the server database %1 already (its "
                          "tavrel.conf names it). Nothing was done.")
        .arg(url);
}

// --init --server URL [--demo]: the site set up on the server (the demo site is made as a
// file first and copied there, keys and all), the catalogue here, then tavrel.conf naming
// the server. A catalogue already here is kept.
int runInitServer(const QString& url, bool demo) {
    const QString site = QDir::currentPath();
    QString error = tavrel::serverUrlProblem(url);
    if (error.isEmpty())
        error = alreadyOnServer();
    if (error.isEmpty() && tavrel::fileNameTaken(siteFile(QStringLiteral("tavrel.mdb"))))
        error = QStringLiteral("There is a tavrel.mdb in %1: a folder works either on its file or "
                               "on a server. To move this site to the server, run tavrel "
                               "--copy-to %2 here. Nothing was done.")
                    .arg(QDir::toNativeSeparators(site), url);
    if (!error.isEmpty()) {
        printError(error);
        return ExitFailed;
    }
    const QString catalogue = siteFile(QStringLiteral("rptspec.mdb"));
    const bool newCatalogue = !tavrel::fileNameTaken(catalogue);
    if (newCatalogue && !tavrel::createCatalogueDatabase(catalogue, &error)) {
        printError(error);
        return ExitFailed;
    }
    bool made = false;
    const QDate today = tavrel::ui().today();
    if (demo) {
        QTemporaryDir scratch;
        made = scratch.isValid() && tavrel::initWorkFolder(scratch.path(), true, today, &error) &&
               tavrel::copyToServer(QDir(scratch.path()).filePath(QStringLiteral("tavrel.mdb")),
                                    url, &error);
    } else {
        made = tavrel::createServerSite(url, today.year(), &error);
    }
    if (!made) {
        if (newCatalogue)
            QFile::remove(catalogue);
        printError(error);
        return ExitFailed;
    }
    if (!tavrel::SiteSettings::saveDatabaseUrl(site, url, &error)) {
        printError(error + QStringLiteral(" The site on the server is set up: name it in "
                                          "tavrel.conf as [database] url=%1")
                               .arg(url));
        return ExitFailed;
    }
    std::fprintf(stdout, "Set up the site on %s; tavrel.conf%s in %s\n", qPrintable(url),
                 newCatalogue ? " and rptspec.mdb written" : " written",
                 qPrintable(QDir::toNativeSeparators(site)));
    return ExitOk;
}

// --copy-to URL: this folder's tavrel.mdb into an empty server database; the folder then
// works on the server. The file is left as it was.
int runCopyTo(const QString& url) {
    QString error = alreadyOnServer();
    if (error.isEmpty())
        tavrel::copyToServer(siteFile(QStringLiteral("tavrel.mdb")), url, &error);
    if (error.isEmpty())
        tavrel::SiteSettings::saveDatabaseUrl(QDir::currentPath(), url, &error);
    if (!error.isEmpty()) {
        printError(error);
        return ExitFailed;
    }
    std::fprintf(stdout,
                 "Copied tavrel.mdb to %s. This folder now works on the server (tavrel.conf "
                 "names it); tavrel.mdb is left as it was and no longer used.\n",
                 qPrintable(url));
    return ExitOk;
}

// --copy-from URL: the site on the server into a new tavrel.mdb here.
int runCopyFrom(const QString& url) {
    QString error;
    if (!tavrel::copyFromServer(url, siteFile(QStringLiteral("tavrel.mdb")), &error)) {
        printError(error);
        return ExitFailed;
    }
    std::fprintf(stdout, "Wrote tavrel.mdb in %s from %s.\n",
                 qPrintable(QDir::toNativeSeparators(QDir::currentPath())), qPrintable(url));
    if (!tavrel::SiteSettings::load(QDir::currentPath()).databaseUrl.isEmpty())
        std::fprintf(stdout, "This folder still works on the server its tavrel.conf names; "
                             "remove the url there to work on the file.\n");
    return ExitOk;
}

int runInit(bool demo) {
    QString error = alreadyOnServer();
    if (!error.isEmpty()) {
        printError(error);
        return ExitFailed;
    }
    if (!tavrel::initWorkFolder(QDir::currentPath(), demo, tavrel::ui().today(), &error)) {
        std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(error));
        return ExitFailed;
    }
    std::fprintf(stdout, "Created tavrel.mdb and rptspec.mdb in %s\n",
                 qPrintable(QDir::toNativeSeparators(QDir::currentPath())));
    return ExitOk;
}

// The console Ui of the commands without a window, except that --set-year's command line
// has already answered the question whether to create the year's assignments.
class SetYearUi final : public tavrel::Ui {
public:
    SetYearUi(tavrel::Ui& console, bool createAssignments)
        : console_(console)
        , create_(createAssignments) {}

    tavrel::MsgResult msgBox(const QString& text, tavrel::MsgButtons buttons, tavrel::MsgIcon icon,
                             const QString& title, const QString& details,
                             std::optional<tavrel::MsgResult> defaultButton) override {
        if (title != QLatin1String("Create Task Assignments"))
            return console_.msgBox(text, buttons, icon, title, details, defaultButton);
        std::fprintf(stderr, "%s%s: %s [%s]\n", tavrel::MessagePrefix, qPrintable(title),
                     qPrintable(text), create_ ? "Yes: --set-year" : "No: --no-assignments");
        return create_ ? tavrel::MsgResult::Yes : tavrel::MsgResult::No;
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        return console_.inputBox(prompt, title, defaultText);
    }
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& initialName) override {
        return console_.openFileName(parent, title, filter, initialName);
    }
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter,
                                        const QString& initialName) override {
        return console_.saveFileName(parent, title, filter, initialName);
    }
    void beep() override { console_.beep(); }
    void sendTab(QWidget* from) override { console_.sendTab(from); }
    int showModal(QDialog* dialog) override { return console_.showModal(dialog); }
    void showHelp(QWidget* parent, const QString& topic) override {
        console_.showHelp(parent, topic);
    }
    QDate today() override { return console_.today(); }
    QDateTime now() override { return console_.now(); }
    void endProgram(int exitCode) override { console_.endProgram(exitCode); }

private:
    tavrel::Ui& console_;
    bool create_;
};

qint64 assignmentCount() {
    tavrel::Recordset count = tavrel::state().dbMain.openRecordset(
        QStringLiteral("select count(*) as n from assign"), tavrel::RecordsetType::Snapshot);
    return count.isOpen() ? count.value(QStringLiteral("n")).toLongLong() : 0;
}

// --set-year: start-up's steps without a window, then the year's generation. Every error
// is on standard error already; the status says whether there was one.
int runSetYear(int year, bool createAssignments) {
    SetYearUi setYearUi(tavrel::ui(), createAssignments);
    tavrel::setUi(&setYearUi);
    const int errorsBefore = tavrel::errorsShown();
    bool opened = false;
    qint64 created = 0;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        opened = tavrel::state().dbMain.isOpen();
        if (opened) {
            const qint64 before = assignmentCount();
            tavrel::CreateYearAssignments(static_cast<qint16>(year));
            created = assignmentCount() - before;
        }
        tavrel::state().dbMain.close();
    }
    tavrel::setUi(nullptr);
    if (!opened || tavrel::errorsShown() > errorsBefore)
        return ExitFailed;
    std::fprintf(stdout, "Tavrel is set up for %d: %lld new task assignments.\n", year,
                 static_cast<long long>(created));
    return ExitOk;
}

// --custom: a saved report over tavrel.mdb of the current folder, into the file named by -o.
int runCustom(const QString& reportFile, const QString& outputFile, bool bom) {
    const int errorsBefore = tavrel::errorsShown();
    tavrel::ReportRun run = tavrel::ReportRun::Failed;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        if (!tavrel::state().dbMain.isOpen())
            return ExitFailed;
        tavrel::Database specDb = tavrel::openCatalogue();
        if (!specDb.isOpen())
            return ExitFailed;
        tavrel::ReportFileRead read;
        tavrel::readCatalogue(specDb,
                              [&] { read = tavrel::readReportFile(reportFile, {}, specDb); });
        if (read.outcome == tavrel::ReportFileRead::NotReadable)
            return ExitFailed;
        if (read.outcome != tavrel::ReportFileRead::Read) {
            std::fprintf(stderr, "%s%s: %s\n", tavrel::MessagePrefix, qPrintable(reportFile),
                         qPrintable(tavrel::InvalidReportFileText));
            return ExitFailed;
        }
        tavrel::ReportDefinition report = read.report;
        report.destination = isTextName(outputFile) || tavrel::tableFileType(outputFile)
                                 ? tavrel::ReportDestination::TextFile
                             : isHtmlName(outputFile) ? tavrel::ReportDestination::WebTable
                                                      : tavrel::ReportDestination::Document;
        run = tavrel::runCustomReport(report, read.catalogue, tavrel::state().dbMain, outputFile,
                                      bom);
        if (run == tavrel::ReportRun::Written &&
            report.destination == tavrel::ReportDestination::Document) {
            QString error;
            if (!tavrel::printToPdf(tavrel::reportDocument(), outputFile, &error)) {
                std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(error));
                run = tavrel::ReportRun::Failed;
            }
        }
        tavrel::state().dbMain.close();
    }
    if (run != tavrel::ReportRun::Written || tavrel::errorsShown() > errorsBefore)
        return ExitFailed;
    std::fprintf(stdout, "Wrote %s\n", qPrintable(QDir::toNativeSeparators(outputFile)));
    return ExitOk;
}

// Start-up's steps without a window, then `work` on the site they opened. Every error is
// on standard error already: the status is a failure when one was shown on the way, when
// the site did not open, or when `work` says it wrote nothing.
int onWindowlessSite(const std::function<bool()>& work) {
    const int errorsBefore = tavrel::errorsShown();
    bool done = false;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        if (tavrel::state().dbMain.isOpen())
            done = work();
        tavrel::state().dbMain.close();
    }
    return done && tavrel::errorsShown() == errorsBefore ? ExitOk : ExitFailed;
}

// --report: start-up's steps without a window, then the report to a text file or a PDF.
// A report without rows says so and leaves an empty text file (or no PDF): that is no
// failure. Every error is on standard error already; the status says whether there was one.
int runReport(const CommandLine& line) {
    return onWindowlessSite([&] {
        bool written = true;
        tavrel::state().ReportStartDate = line.from;
        tavrel::state().ReportEndDate = line.to;
        const tavrel::StandardReport report = *tavrel::standardReportNamed(line.report);
        const QString path = QDir::current().absoluteFilePath(line.output);
        if (isPdfName(path)) {
            tavrel::state().ReportDest = tavrel::ReportTarget::View;
            const tavrel::ReportRunResult result = tavrel::runStandardReport(report);
            if (result == tavrel::ReportRunResult::Written) {
                QString error;
                written = tavrel::printToPdf(tavrel::reportDocument(), path, &error);
                if (!written)
                    std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(error));
            } else if (result == tavrel::ReportRunResult::NoRows) {
                // An older PDF of that name must not pass for this run's result.
                QFile::remove(path);
            }
        } else {
            tavrel::runStandardReport(report, {path, line.bom});
        }
        return written;
    });
}

// --dashboard: the charts of the range (this year by default) into a PDF or a PNG image.
int runDashboard(const CommandLine& line) {
    return onWindowlessSite([&] {
        bool written = false;
        const int year = tavrel::ui().today().year();
        const QDate from = line.from.isValid() ? line.from
                           : line.to.isValid() ? QDate(line.to.year(), 1, 1)
                                               : QDate(year, 1, 1);
        const QDate to = line.to.isValid() ? line.to : QDate(from.year(), 12, 31);
        QString error;
        written = tavrel::writeDashboardFile(from, to,
                                             QDir::current().absoluteFilePath(line.output), &error);
        if (!written)
            std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(error));
        return written;
    });
}

// Why the calendar's file may not be written: a folder or a device of that name, or one of
// the site's own files.
QString refusedCalendarFile(const QString& file) {
    const QFileInfo output(QDir::current().absoluteFilePath(file));
    const QString shown = QDir::toNativeSeparators(file);
    if (!output.exists())
        return {};
    if (!output.isFile())
        return QStringLiteral("--calendar %1 is not a file that can be written over: it is a %2.")
            .arg(shown,
                 output.isDir() ? QStringLiteral("folder") : QStringLiteral("device or a pipe"));
    for (const QString& input : {QStringLiteral("tavrel.mdb"), QStringLiteral("rptspec.mdb")}) {
        const QFileInfo read(QDir::current().absoluteFilePath(input));
        if (read.exists() && read.canonicalFilePath() == output.canonicalFilePath())
            return QStringLiteral("--calendar %1 is %2, which this command reads; it is not "
                                  "written over.")
                .arg(shown, input);
    }
    return {};
}

// --calendar: the assignments (of one employee, in a range of due dates) into an iCalendar
// file; nothing is written when the employee is unknown or a step fails.
int runCalendar(const CommandLine& line) {
    if (const QString why = refusedCalendarFile(line.calendarFile); !why.isEmpty()) {
        printError(why);
        return ExitFailed;
    }
    return onWindowlessSite([&] {
        const QString site = tavrel::SiteIdentifier();
        tavrel::CalendarChoice choice;
        choice.employee = line.employee;
        choice.from = line.from;
        choice.to = line.to;
        choice.todos = line.todo;
        const tavrel::CalendarOutcome outcome = tavrel::exportCalendar(
            tavrel::state().dbMain, choice, QDir::current().absoluteFilePath(line.calendarFile),
            tavrel::ui().now(), site);
        if (!outcome.written)
            printError(outcome.error);
        return outcome.written;
    });
}

// --labels: sheets of equipment labels into a PDF; nothing is written when the location is
// unknown, there are no tasks or the file cannot be written (an older file stays as it was).
int runLabels(const CommandLine& line) {
    return onWindowlessSite([&] {
        bool written = false;
        const tavrel::LabelStock stock = line.labelStock.isEmpty()
                                             ? tavrel::defaultLabelStock()
                                             : *tavrel::labelStockNamed(line.labelStock);
        tavrel::LabelChoice choice;
        choice.location = line.labelLocation;
        const tavrel::LabelsOutcome outcome = tavrel::writeLabels(
            tavrel::state().dbMain, tavrel::reportDocument(), stock, line.labelStart, choice);
        if (!outcome.error.isEmpty()) {
            printError(outcome.error);
        } else {
            QString error;
            written = tavrel::printToPdf(tavrel::reportDocument(),
                                         QDir::current().absoluteFilePath(line.output), &error);
            if (!written)
                printError(error);
        }
        return written;
    });
}

// --import: the earlier program's files converted into this folder, then brought up to
// date by the start-up steps (the schema upgrade) as any older file is.
int runImport(const QString& oldDatabase, const QString& oldCatalogue) {
    const tavrel::ImportOutcome outcome = tavrel::importEarlierFiles(
        oldDatabase, oldCatalogue, QDir::currentPath(), tavrel::ui().today().year());
    if (!outcome.converted) {
        std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(outcome.message));
        return ExitFailed;
    }
    const int errorsBefore = tavrel::errorsShown();
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        tavrel::state().dbMain.close();
    }
    std::fprintf(stdout, "%s\n", qPrintable(outcome.message));
    return tavrel::errorsShown() > errorsBefore ? ExitFailed : ExitOk;
}

// --import-tasks FILE --map MAPPING [--add-codes]: the rows of a spreadsheet as new tasks,
// all of them in one operation or, when any row cannot be imported, none: nobody is there
// to choose which rows to leave out, so every such row is listed instead. A location or type
// that is not in its list refuses its row unless --add-codes adds it.
int runImportTasks(const CommandLine& line) {
    const QString shown = QDir::toNativeSeparators(line.tasksFile);
    const tavrel::TaskMapping mapping = tavrel::readTaskMapping(line.mapFile);
    if (!mapping.error.isEmpty()) {
        printError(mapping.error + QStringLiteral(" Nothing was imported."));
        return ExitFailed;
    }
    const tavrel::Sheet sheet = tavrel::readSheetFile(line.tasksFile);
    if (!sheet.error.isEmpty()) {
        printError(sheet.error + QStringLiteral(" Nothing was imported."));
        return ExitFailed;
    }
    const QList<tavrel::ImportField> columns =
        tavrel::mapColumns(sheet.headings, mapping, tavrel::Guess::No);
    const int errorsBefore = tavrel::errorsShown();
    tavrel::ImportWritten written;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset settings = tavrel::runWindowlessSteps(QDir::currentPath());
        settings.close();
        tavrel::ImportLookups lookups;
        if (!tavrel::state().dbMain.isOpen() ||
            !tavrel::readImportLookups(tavrel::state().dbMain, &lookups))
            return ExitFailed;
        const tavrel::TaskImport plan = tavrel::checkImport(sheet, columns, lookups);
        const QStringList refusals = plan.refusals(line.addCodes);
        if (!plan.error.isEmpty()) {
            printError(QStringLiteral("%1: %2 Nothing was imported.").arg(shown, plan.error));
            return ExitFailed;
        }
        if (plan.rows.isEmpty()) {
            printError(QStringLiteral("%1 has no rows of tasks below its headings. Nothing was "
                                      "imported.")
                           .arg(shown));
            return ExitFailed;
        }
        if (!refusals.isEmpty()) {
            const bool newCodes =
                !line.addCodes && (!plan.newLocations.isEmpty() || !plan.newTypes.isEmpty());
            printError(QStringLiteral("%1: %2 of %3 rows cannot be imported, so nothing was "
                                      "imported%4:")
                           .arg(shown)
                           .arg(refusals.size())
                           .arg(plan.rows.size())
                           .arg(newCodes ? QStringLiteral(" (--add-codes adds new locations and "
                                                          "types to their lists)")
                                         : QString()));
            for (const QString& refusal : refusals)
                printError(refusal);
            return ExitFailed;
        }
        written = tavrel::writeImport(tavrel::state().dbMain, plan, line.addCodes);
        tavrel::state().dbMain.close();
    }
    if (!written.written || tavrel::errorsShown() > errorsBefore)
        return ExitFailed;
    std::fprintf(stdout, "%s: %s\n", qPrintable(shown), qPrintable(written.summary()));
    QStringList unmapped;
    for (qsizetype c = 0; c < sheet.headings.size(); ++c) {
        bool named = false;
        mapping.fieldFor(sheet.headings[c], &named);
        if (!named && !sheet.headings[c].trimmed().isEmpty())
            unmapped << QStringLiteral("\"%1\"").arg(sheet.headings[c].simplified());
    }
    if (!unmapped.isEmpty())
        std::fprintf(stdout, "Not imported: the columns %s, which %s does not name.\n",
                     qPrintable(unmapped.join(QLatin1String(", "))),
                     qPrintable(QDir::toNativeSeparators(line.mapFile)));
    return ExitOk;
}

// --backup [DIR]: a copy of tavrel.mdb as it is (no start-up step runs first: the copy is
// of the file as found), its name on standard output, then the rotation of DIR.
int runBackup(const QString& dir) {
    const QString site = QDir::currentPath();
    const QString database = QDir(site).filePath(QStringLiteral("tavrel.mdb"));
    const tavrel::SiteSettings settings = tavrel::SiteSettings::load(site);
    const QString folder = dir.isEmpty() ? settings.backupFolderPath(site)
                                         : QDir::cleanPath(QDir(site).absoluteFilePath(dir));
    const QDateTime now = tavrel::ui().now();
    const tavrel::BackupResult made =
        tavrel::makeBackup(database, folder, QLatin1String(tavrel::BackupReason::Manual), now);
    if (!made.ok()) {
        printError(made.error);
        return ExitFailed;
    }
    std::fprintf(stdout, "%s\n", qPrintable(QDir::toNativeSeparators(made.path)));
    std::fflush(stdout);
    const QStringList errors = tavrel::rotateBackups(folder, now.date(), settings.backupCounts);
    for (const QString& error : errors)
        printError(error);
    return errors.isEmpty() ? ExitOk : ExitFailed;
}

// --restore FILE: refused, touching nothing, unless FILE is a complete database of Tavrel;
// otherwise the database as it is goes into a "before-restore" backup first, and only when
// that copy is safe is FILE written into tavrel.mdb.
int runRestore(const QString& file) {
    const QString site = QDir::currentPath();
    const QString backup = QDir(site).absoluteFilePath(file);
    const QString database = QDir(site).filePath(QStringLiteral("tavrel.mdb"));
    // Looked at before anything is written, the before-restore copy included.
    const tavrel::BackupContents contents = tavrel::inspectBackup(backup, true);
    if (!contents.error.isEmpty()) {
        printError(contents.error + QStringLiteral(" Nothing was restored."));
        return ExitFailed;
    }
    QString kept;
    if (const QString problem = tavrel::backupBeforeRestore(site, database, &kept);
        !problem.isEmpty()) {
        printError(problem + QStringLiteral(" Nothing was restored."));
        return ExitFailed;
    }
    QString keptDamaged;
    if (const QString error = tavrel::restoreBackup(database, backup, &keptDamaged);
        !error.isEmpty()) {
        printError(error);
        return ExitFailed;
    }
    if (!keptDamaged.isEmpty())
        std::fprintf(stdout, "Restored tavrel.mdb from %s; the damaged database is kept in %s.\n",
                     qPrintable(QDir::toNativeSeparators(backup)),
                     qPrintable(QDir::toNativeSeparators(keptDamaged)));
    else if (kept.isEmpty())
        std::fprintf(stdout, "Restored tavrel.mdb from %s.\n",
                     qPrintable(QDir::toNativeSeparators(backup)));
    else
        std::fprintf(stdout, "Restored tavrel.mdb from %s; the database as it was is kept in %s.\n",
                     qPrintable(QDir::toNativeSeparators(backup)),
                     qPrintable(QDir::toNativeSeparators(kept)));
    return ExitOk;
}

// --mail-digest: today's digests through the site's mail server. Each message that did not
// go is one line on standard error; a server that cannot be reached is one line for all.
int runMailDigest() {
    const tavrel::MailSettings settings = tavrel::MailSettings::load(QDir::currentPath());
    QString error = settings.problem();
    QString password;
    if (error.isEmpty())
        tavrel::readMailPassword(settings, &password, &error);
    if (!error.isEmpty()) {
        printError(error);
        return ExitFailed;
    }
    const int errorsBefore = tavrel::errorsShown();
    bool opened = false;
    tavrel::DigestRun run;
    {
        tavrel::ErrorTrap trap;
        tavrel::Recordset siteSettings = tavrel::runWindowlessSteps(QDir::currentPath());
        siteSettings.close();
        opened = tavrel::state().dbMain.isOpen();
        if (opened) {
            const tavrel::SmtpSender sender(settings, password);
            run = tavrel::sendMailDigests(
                [&sender](const tavrel::MailMessage& message) {
                    return sender.send(message, tavrel::ui().now());
                },
                tavrel::ui().today(), tavrel::ui().now());
        }
        tavrel::state().dbMain.close();
    }
    for (const QString& failure : run.failures)
        printError(failure);
    if (opened)
        std::fprintf(stdout, "%s\n", qPrintable(tavrel::digestSummary(run)));
    return opened && run.failures.isEmpty() && tavrel::errorsShown() == errorsBefore ? ExitOk
                                                                                     : ExitFailed;
}

// Why a file the command reads cannot be read, or nothing when it is a regular file.
// Looked at before anything opens it: opening a pipe would wait for a writer for ever.
QString unreadableInput(const QString& path) {
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(shown);
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a file.").arg(shown);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file but a device or a pipe.").arg(shown);
    return {};
}

// Why -o FILE must not be written, or nothing. A command writes over FILE only when it is
// a regular file (or new), and never over a file it reads: the site's two databases and
// the report file, whatever name or link leads to them.
QString refusedOutput(const CommandLine& line) {
    const QFileInfo output(QDir::current().absoluteFilePath(line.output));
    const QString shown = QDir::toNativeSeparators(line.output);
    if (!output.exists())
        return {};
    if (!output.isFile())
        return QStringLiteral("-o %1 is not a file that can be written over: it is a %2.")
            .arg(shown,
                 output.isDir() ? QStringLiteral("folder") : QStringLiteral("device or a pipe"));
    QStringList inputs = {QStringLiteral("tavrel.mdb"), QStringLiteral("rptspec.mdb")};
    if (line.command == Command::Custom)
        inputs << line.reportFile;
    for (const QString& input : inputs) {
        const QFileInfo read(QDir::current().absoluteFilePath(input));
        if (read.exists() && read.canonicalFilePath() == output.canonicalFilePath())
            return QStringLiteral("-o %1 is %2, which this command reads; it is not written "
                                  "over.")
                .arg(shown, QDir::toNativeSeparators(input));
    }
    return {};
}

} // namespace

// The -m print: the month's work orders to the printer or a PDF, and on standard output
// what became of them.
void installMonthlyPrint(const QString& pdfPath) {
    tavrel::state().startupSteps.printMonthlyWorkOrders = [pdfPath] {
        const tavrel::MonthlyPrintResult result = tavrel::printMonthlyWorkOrders(pdfPath);
        if (result.workOrders > 0 && !result.delivered)
            return ExitFailed;
        std::fprintf(stdout, "%s\n",
                     qPrintable(tavrel::monthlyPrintSummary(result, !pdfPath.isEmpty())));
        return ExitOk;
    };
}

void setUpApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVREL_VERSION));
    tavrel::useProgramLocale();
    tavrel::installErrorPolicy();
}

namespace {

QtMessageHandler qtMessages = nullptr;

// A job started by cron or a service has no login session: Qt's note that there is no
// runtime folder is no message of the program's, and would be mailed with every run.
void withoutSessionNotes(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtMessages(type, context, message);
}

} // namespace

// The commands without a window, so they run on Qt's offscreen platform (scheduled
// jobs, servers, CI) with the console Ui, which never waits for an answer.
int runWithoutWindow(const CommandLine& line, char* programName) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtMessages = qInstallMessageHandler(withoutSessionNotes);
    // Nothing else on the command line is meant for Qt.
    int argc = 1;
    char* argv[] = {programName, nullptr};
    // The dashboard's charts are widgets of a kind: they need the widget application, here
    // on the offscreen platform too.
    std::unique_ptr<QGuiApplication> app;
    if (line.command == Command::Dashboard)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QGuiApplication>(argc, argv);
    setUpApplication();
    tavrel::state().startupSteps.convertEarlierDatabase = [] {
        return tavrel::convertEarlierDatabaseAtStartup(false);
    };
    if (!line.output.isEmpty())
        if (const QString why = refusedOutput(line); !why.isEmpty()) {
            std::fprintf(stderr, "%s%s\n", tavrel::MessagePrefix, qPrintable(why));
            return ExitFailed;
        }
    if (line.command == Command::Custom)
        if (const QString why = unreadableInput(line.reportFile); !why.isEmpty()) {
            std::fprintf(stderr, "%sThe report file %s\n", tavrel::MessagePrefix, qPrintable(why));
            return ExitFailed;
        }
    // A server's database is backed up by the server's own tools.
    if (line.command == Command::Backup || line.command == Command::Restore)
        if (const QString url = tavrel::SiteSettings::load(QDir::currentPath()).databaseUrl;
            !url.isEmpty()) {
            printError(QStringLiteral("This folder's site is on the server database %1: back it "
                                      "up with the server's tools (pg_dump, pg_restore), as the "
                                      "help's page on server sites says. Nothing was done.")
                           .arg(url));
            return ExitFailed;
        }
    if (line.command == Command::Restore)
        if (const QString why = unreadableInput(line.restoreFile); !why.isEmpty()) {
            std::fprintf(stderr, "%sThe backup file %s Nothing was restored.\n",
                         tavrel::MessagePrefix, qPrintable(why));
            return ExitFailed;
        }
    const auto run = [&line] {
        if (line.command == Command::Backup)
            return runBackup(line.backupFolder);
        if (line.command == Command::Restore)
            return runRestore(line.restoreFile);
        if (line.command == Command::Import)
            return runImport(line.importFile, line.catalogueFile);
        if (line.command == Command::ImportTasks)
            return runImportTasks(line);
        if (line.command == Command::Init && !line.serverUrl.isEmpty())
            return runInitServer(line.serverUrl, line.demo);
        if (line.command == Command::Init)
            return runInit(line.demo);
        if (line.command == Command::CopyTo)
            return runCopyTo(line.copyUrl);
        if (line.command == Command::CopyFrom)
            return runCopyFrom(line.copyUrl);
        if (line.command == Command::SetYear)
            return runSetYear(line.year, line.assignments);
        if (line.command == Command::Report)
            return runReport(line);
        if (line.command == Command::Custom)
            return runCustom(line.reportFile, line.output, line.bom);
        if (line.command == Command::Dashboard)
            return runDashboard(line);
        if (line.command == Command::Calendar)
            return runCalendar(line);
        if (line.command == Command::Labels)
            return runLabels(line);
        if (line.command == Command::MailDigest)
            return runMailDigest();
        installMonthlyPrint(line.output);
        return tavrel::runMonthlyCommand(QDir::currentPath());
    };
    // A run that had to repair a damaged file did its work on what could be kept, and one
    // that could not back up before it wrote went on without a copy: the status says so,
    // so that a scheduled job's owner hears of it.
    const int repairsBefore = tavrel::repairsMade();
    const int missedBefore = tavrel::state().BackupsMissed;
    const int code = run();
    const bool warned =
        tavrel::repairsMade() != repairsBefore || tavrel::state().BackupsMissed != missedBefore;
    return code == ExitOk && warned ? ExitFailed : code;
}

} // namespace tavrel::app
