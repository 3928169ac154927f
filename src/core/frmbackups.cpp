#include "core/frmbackups.h"

#include "core/backups.h"
#include "core/errortrap.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/recordeditor.h"
#include "core/reopen.h"
#include "core/sitesettings.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "text/datetext.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tavrel {

namespace {

const QString BackupsTitle = QStringLiteral("Backups");
const QString RestoreTitle = QStringLiteral("Restore Backup");

enum Column { ColTaken, ColReason, ColSize, ColTasks, ColAssignments, ColumnCount };

constexpr int PercentDone = 100;
constexpr int SizeDecimals = 1;
// Room for a folder of usual length beside the buttons.
constexpr int ListWidthChars = 90;
constexpr int ListRows = 14;

// The largest counts the options take: more would only keep backups nobody looks for.
constexpr int MaxDays = 366;
constexpr int MaxWeeks = 520;
constexpr int MaxMonths = 600;
constexpr int MaxOthers = 999;
constexpr int FolderChars = 40;

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// With the seconds: copies taken in the same minute (a backup right before an operation
// the user started at once) are told apart, as their names tell them apart.
QString takenText(const QDateTime& taken) {
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(u's'))
        format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return shortDate(taken.date()) + u' ' + locale.toString(taken.time(), format);
}

// What a backup is called in a question or message: its date and why it was taken.
QString describe(const BackupFile& backup) {
    return QStringLiteral("%1 (%2)").arg(takenText(backup.taken),
                                         backupReasonText(backup.reason).toLower());
}

const QString HelpPage = QStringLiteral("backups");

// F1 anywhere in the window opens the page on backups.
void addHelpKey(QWidget* window) {
    auto* help = new QShortcut(QKeySequence::HelpContents, window);
    help->setObjectName(QStringLiteral("scHelp"));
    QObject::connect(help, &QShortcut::activated, window,
                     [window] { ui().showHelp(window, HelpPage); });
}

// The windows' buttons leave Enter to the box that has the focus.
QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    QPushButton* b = recordwidgets::button(parent, name, caption);
    b->setAutoDefault(false);
    return b;
}

QSpinBox* countBox(QWidget* parent, const char* name, int minimum, int maximum, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

QString backupReasonText(const QString& reason) {
    static const QList<std::pair<const char*, QString>> texts = {
        {BackupReason::Daily, QStringLiteral("Daily")},
        {BackupReason::Manual, QStringLiteral("Backed up by hand")},
        {BackupReason::BeforeUpgrade, QStringLiteral("Before upgrading the database")},
        {BackupReason::BeforeSetYear, QStringLiteral("Before setting the year")},
        {BackupReason::BeforeGenerate, QStringLiteral("Before creating assignments")},
        {BackupReason::BeforeImport, QStringLiteral("Before a conversion")},
        {BackupReason::BeforeRestore, QStringLiteral("Before a restore")},
        {BackupReason::BeforeTaskImport, QStringLiteral("Before importing tasks")},
    };
    for (const auto& [name, text] : texts)
        if (reason == QLatin1String(name))
            return text;
    return reason;
}

frmBackups::frmBackups(frmMain* main)
    : QWidget(main)
    , main_(main) {
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("frmBackups"));
    setWindowTitle(BackupsTitle);

    lblFolder = new QLabel(this);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblFolder->setWordWrap(true);

    lstBackups = new QTreeWidget(this);
    lstBackups->setObjectName(QStringLiteral("lstBackups"));
    lstBackups->setRootIsDecorated(false);
    lstBackups->setUniformRowHeights(true);
    lstBackups->setAllColumnsShowFocus(true);
    lstBackups->setSelectionMode(QAbstractItemView::SingleSelection);
    lstBackups->setColumnCount(ColumnCount);
    lstBackups->setHeaderLabels({QStringLiteral("Taken"), QStringLiteral("Reason"),
                                 QStringLiteral("Size"), QStringLiteral("Tasks"),
                                 QStringLiteral("Assignments")});
    lstBackups->header()->setStretchLastSection(false);
    lstBackups->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstBackups->header()->setSectionResizeMode(ColReason, QHeaderView::Stretch);
    for (int column : {ColSize, ColTasks, ColAssignments})
        lstBackups->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    const QFontMetrics metrics(lstBackups->font());
    lstBackups->setMinimumSize(metrics.averageCharWidth() * ListWidthChars,
                               metrics.height() * ListRows);

    cmdBackUpNow = button(this, "cmdBackUpNow", QStringLiteral("Back Up &Now"));
    cmdRestore = button(this, "cmdRestore", QStringLiteral("&Restore..."));
    cmdOpenFolder = button(this, "cmdOpenFolder", QStringLiteral("Open &Folder"));
    cmdOptions = button(this, "cmdOptions", QStringLiteral("O&ptions..."));
    cmdHelp = button(this, "cmdHelp", QStringLiteral("&Help"));
    cmdClose = button(this, "cmdClose", QStringLiteral("&Close"));

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {cmdBackUpNow, cmdRestore, cmdOpenFolder, cmdOptions})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cmdHelp);
    buttons->addWidget(cmdClose);

    auto* body = new QHBoxLayout;
    body->addWidget(lstBackups, 1);
    body->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFolder);
    layout->addLayout(body, 1);

    connect(cmdBackUpNow, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdBackUpNow_Click(); }); });
    connect(cmdRestore, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdRestore_Click(); }); });
    connect(cmdOpenFolder, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdOpenFolder_Click(); }); });
    connect(cmdOptions, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdOptions_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdHelp, &QPushButton::clicked, this, [this] { ui().showHelp(this, HelpPage); });
    addHelpKey(this);
    // Escape closes the window as Close does, wherever the focus is in it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("scEscape"));
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(lstBackups, &QTreeWidget::itemSelectionChanged, this,
            &frmBackups::lstBackups_SelectionChanged);
    connect(lstBackups, &QTreeWidget::itemDoubleClicked, this,
            [this] { guardedCall([this] { cmdRestore_Click(); }); });
}

std::optional<BackupFile> frmBackups::selectedBackup() const {
    const QList<QTreeWidgetItem*> selected = lstBackups->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const int row = lstBackups->indexOfTopLevelItem(selected.first());
    if (row < 0 || row >= shown_.size())
        return std::nullopt;
    return shown_.at(row);
}

void frmBackups::Form_Load() {
    const std::optional<BackupFile> selected = selectedBackup();
    const QString folder = siteBackupFolder();
    lblFolder->setText(QStringLiteral("Backups in %1:").arg(shown(folder)));
    lstBackups->clear();
    shown_ = listBackups(folder);
    const QLocale locale;
    for (const BackupFile& backup : shown_) {
        auto* item = new QTreeWidgetItem(lstBackups);
        item->setText(ColTaken, takenText(backup.taken));
        item->setText(ColReason, backupReasonText(backup.reason));
        item->setText(ColSize, locale.formattedDataSize(backup.size, SizeDecimals,
                                                        QLocale::DataSizeTraditionalFormat));
        // Counted without the check: the list must stay quick with many large copies, and
        // a restore checks its copy in full before it uses it.
        const BackupContents contents = inspectBackup(backup.path, false);
        if (contents.error.isEmpty()) {
            item->setText(ColTasks, locale.toString(contents.tasks));
            item->setText(ColAssignments, locale.toString(contents.assignments));
        } else {
            item->setText(ColTasks, QStringLiteral("unreadable"));
            for (int column = 0; column < ColumnCount; ++column)
                item->setToolTip(column, contents.error);
        }
        for (int column : {ColSize, ColTasks, ColAssignments})
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(ColTaken, shown(backup.path));
    }
    // The row chosen before stays chosen; else the newest, so that the row the list shows as
    // current is the one Restore takes.
    if (selected)
        selectPath(selected->path);
    else if (lstBackups->topLevelItemCount() > 0)
        lstBackups->setCurrentItem(lstBackups->topLevelItem(0));
    lstBackups_SelectionChanged();
}

void frmBackups::selectPath(const QString& path) {
    for (int row = 0; row < shown_.size(); ++row)
        if (shown_.at(row).path == path) {
            lstBackups->setCurrentItem(lstBackups->topLevelItem(row));
            return;
        }
}

void frmBackups::lstBackups_SelectionChanged() {
    cmdRestore->setEnabled(selectedBackup().has_value());
}

void frmBackups::cmdBackUpNow_Click() {
    const QString folder = siteBackupFolder();
    // Asked for by the user: a folder that cannot take it is said every time.
    if (const QString problem = backupFolderProblem(folder); !problem.isEmpty()) {
        ui().msgBox(problem, MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
        return;
    }
    BackupResult made;
    {
        const std::unique_ptr<Progress> progress =
            ui().progress(BackupsTitle, QStringLiteral("Backing up the database..."), PercentDone,
                          ProgressCancel::Offered);
        made = makeBackup(state().DbPath, folder, QString::fromLatin1(BackupReason::Manual),
                          ui().now(), [&progress](int done, int total) {
                              progress->setValue(total > 0 ? done * PercentDone / total : 0);
                              return !progress->wasCanceled();
                          });
    }
    if (made.ok())
        thinBackups(folder, ui().today(), SiteSettings::load(state().AppPath).backupCounts);
    else if (!made.stopped)
        ui().msgBox(QStringLiteral("The backup could not be made. ") + made.error, MsgButtons::Ok,
                    MsgIcon::Warning, BackupsTitle);
    Form_Load();
    if (made.ok())
        selectPath(made.path);
}

void frmBackups::cmdRestore_Click() {
    const std::optional<BackupFile> backup = selectedBackup();
    if (!backup)
        return;
    // The restore replaces every row under every window: changes not saved yet would be
    // lost without a word, so they come first.
    if (DatabaseUser* editing = userEditingRow()) {
        ui().msgBox(QStringLiteral("A record is being edited. Save or cancel your changes "
                                   "first, then restore the backup."),
                    MsgButtons::Ok, MsgIcon::Information, RestoreTitle);
        if (auto* window = dynamic_cast<QWidget*>(editing))
            bringForward(window->window());
        return;
    }
    // A copy that cannot be used is refused before anything is asked or written.
    if (const BackupContents contents = inspectBackup(backup->path); !contents.error.isEmpty()) {
        ui().msgBox(contents.error, MsgButtons::Ok, MsgIcon::Warning, RestoreTitle);
        return;
    }
    if (askBeforeDestroying(
            QStringLiteral("Restore the backup of %1? The database is replaced by the backup: "
                           "everything entered since then is lost. A copy of the database as "
                           "it is now is kept first.")
                .arg(describe(*backup)),
            RestoreTitle) != MsgResult::Yes)
        return;
    // The daily copy reads the file that is about to be replaced: it ends first.
    if (main_ && main_->dailyBackup())
        main_->dailyBackup()->finish();
    QString kept;
    if (const QString problem = backupBeforeRestore(state().AppPath, state().DbPath, &kept);
        !problem.isEmpty()) {
        ui().msgBox(problem + QStringLiteral(" Nothing was restored."), MsgButtons::Ok,
                    MsgIcon::Warning, RestoreTitle);
        return;
    }
    QString error;
    QString keptDamaged;
    {
        ErrorTrap trap;
        const QString database = state().DbPath;
        reopenEverything([&] {
            error = restoreBackup(database, backup->path, &keptDamaged);
            // Also after a failed restore: restoreBackup leaves the file as it was then.
            return Database::open(database);
        });
        // The code lists may differ in the restored file: the editors read them again.
        state().EmployeesChanged = state().ManagersChanged = state().LocationsChanged =
            state().TypesChanged = true;
    }
    Form_Load();
    if (!error.isEmpty()) {
        ui().msgBox(error, MsgButtons::Ok, MsgIcon::Warning, RestoreTitle);
        return;
    }
    // A damaged database is no backup the list shows: where it went is said here.
    QString done = QStringLiteral("The backup of %1 has been restored.").arg(describe(*backup));
    if (!keptDamaged.isEmpty())
        done += QStringLiteral(" The damaged database is kept in %1.").arg(shown(keptDamaged));
    ui().msgBox(done, MsgButtons::Ok, MsgIcon::Information, RestoreTitle);
}

void frmBackups::cmdOpenFolder_Click() {
    const QString folder = siteBackupFolder();
    if (const QString problem = backupFolderProblem(folder); !problem.isEmpty()) {
        ui().msgBox(problem, MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
        return;
    }
    if (!ui().openFolder(folder))
        ui().msgBox(QStringLiteral("The folder %1 could not be shown in a file manager.")
                        .arg(shown(folder)),
                    MsgButtons::Ok, MsgIcon::Warning, BackupsTitle);
}

void frmBackups::cmdOptions_Click() {
    frmBackupOptions options(this);
    if (ui().showModal(&options) == QDialog::Accepted)
        Form_Load();
}

frmBackupOptions::frmBackupOptions(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmBackupOptions"));
    setWindowTitle(QStringLiteral("Backup Options"));
    addHelpKey(this);
    const SiteSettings settings = SiteSettings::load(state().AppPath);

    txtFolder = new QLineEdit(QDir::toNativeSeparators(settings.backupFolder), this);
    txtFolder->setObjectName(QStringLiteral("txtFolder"));
    cmdBrowse = button(this, "cmdBrowse", QStringLiteral("&Browse..."));
    const BackupCounts& counts = settings.backupCounts;
    spnDays = countBox(this, "spnDays", 1, MaxDays, counts.days);
    spnWeeks = countBox(this, "spnWeeks", 0, MaxWeeks, counts.weeks);
    spnMonths = countBox(this, "spnMonths", 0, MaxMonths, counts.months);
    spnOthers = countBox(this, "spnOthers", 1, MaxOthers, counts.others);
    cmdOK = button(this, "cmdOK", QStringLiteral("&OK"));
    cmdOK->setDefault(true);
    cmdCancel = button(this, "cmdCancel", QStringLiteral("&Cancel"));

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(txtFolder, 1);
    folderRow->addWidget(cmdBrowse);

    // Room for a folder on another disk; the counts need only a few digits.
    txtFolder->setMinimumWidth(txtFolder->fontMetrics().averageCharWidth() * FolderChars);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    auto* folderLabel = new QLabel(QStringLiteral("Backup &folder:"), this);
    folderLabel->setBuddy(txtFolder);
    form->addRow(folderLabel, folderRow);
    form->addRow(QStringLiteral("Keep one a &day for the last (days):"), spnDays);
    form->addRow(QStringLiteral("then one a &week for (weeks):"), spnWeeks);
    form->addRow(QStringLiteral("then one a &month for (months):"), spnMonths);
    form->addRow(QStringLiteral("Other backups, the &latest:"), spnOthers);

    auto* note = new QLabel(QStringLiteral("A folder that is not a full path lies in the "
                                           "site's folder. Backups already made stay where "
                                           "they are."),
                            this);
    note->setObjectName(QStringLiteral("lblNote"));
    note->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addLayout(buttons);

    connect(cmdBrowse, &QPushButton::clicked, this,
            [this] { guardedCall([this] { cmdBrowse_Click(); }); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { guardedCall([this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QSize frmBackupOptions::sizeHint() const {
    return withRoomForTitle(this, QDialog::sizeHint());
}

void frmBackupOptions::cmdBrowse_Click() {
    SiteSettings chosen;
    chosen.backupFolder = txtFolder->text().trimmed();
    const std::optional<QString> folder = ui().existingFolder(
        this, QStringLiteral("Backup Folder"), chosen.backupFolderPath(state().AppPath));
    if (folder)
        txtFolder->setText(QDir::toNativeSeparators(*folder));
}

void frmBackupOptions::cmdOK_Click() {
    // Loaded, not made afresh: the file may hold other settings of the site.
    SiteSettings settings = SiteSettings::load(state().AppPath);
    settings.backupFolder = QDir::fromNativeSeparators(txtFolder->text().trimmed());
    if (settings.backupFolder.isEmpty()) {
        ui().msgBox(QStringLiteral("Enter the folder the backups go to."), MsgButtons::Ok,
                    MsgIcon::Information, {});
        txtFolder->setFocus();
        return;
    }
    if (const QString problem = backupFolderProblem(settings.backupFolderPath(state().AppPath));
        !problem.isEmpty()) {
        ui().msgBox(problem + QStringLiteral(" Choose another folder."), MsgButtons::Ok,
                    MsgIcon::Information, {});
        txtFolder->setFocus();
        return;
    }
    settings.backupCounts.days = spnDays->value();
    settings.backupCounts.weeks = spnWeeks->value();
    settings.backupCounts.months = spnMonths->value();
    settings.backupCounts.others = spnOthers->value();
    QString error;
    if (!settings.save(state().AppPath, &error)) {
        ui().msgBox(error, MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Backup Options"));
        return;
    }
    // A folder that works now is reported again should it fail later in this run.
    state().BackupFolderReported = false;
    accept();
}

frmBackups* openBackupsWindow(frmMain* main) {
    static QPointer<frmBackups> open;
    if (!open) {
        open = new frmBackups(main);
        open->setAttribute(Qt::WA_DeleteOnClose);
        open->Form_Load();
        placeOver(open, main);
    }
    bringForward(open);
    return open;
}

} // namespace tavrel
