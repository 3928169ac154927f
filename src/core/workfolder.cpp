#include "core/workfolder.h"

#include "core/frmfolder.h"
#include "core/sitesettings.h"
#include "core/startup.h"
#include "core/uiseam.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace tavrel {

namespace {

const QString SettingsOwner = QStringLiteral("Tavrel");
const QString LastFolderKey = QStringLiteral("workFolder/last");

// A site's folder: its tavrel.mdb, or a tavrel.conf that names the site's server.
bool holdsDatabase(const QString& folder) {
    return QFileInfo::exists(QDir(folder).filePath(QStringLiteral("tavrel.mdb"))) ||
           !SiteSettings::load(folder).databaseUrl.isEmpty();
}

QString shown(const QString& folder) {
    return QDir::toNativeSeparators(QDir(folder).absolutePath());
}

// A folder the user chose that holds no site yet: a new, empty one is created there when
// the user agrees (or asked for a new site in the first place).
bool makeSite(const QString& folder, bool ask) {
    if (ask &&
        ui().msgBox(QStringLiteral("There is no tavrel.mdb in %1. Do you want to create a new, "
                                   "empty database in this folder?")
                        .arg(shown(folder)),
                    MsgButtons::YesNo, MsgIcon::Question,
                    QStringLiteral("New Database")) != MsgResult::Yes)
        return false;
    return createWorkFiles(folder);
}

} // namespace

QString lastWorkFolder() {
    const QSettings settings(SettingsOwner, SettingsOwner);
    return settings.value(LastFolderKey).toString();
}

void rememberWorkFolder(const QString& folder) {
    QSettings settings(SettingsOwner, SettingsOwner);
    settings.setValue(LastFolderKey, QDir(folder).absolutePath());
}

bool isDesktopStart(const QString& folder) {
    const QDir dir(folder);
    return !holdsDatabase(folder) && (dir == QDir(QDir::homePath()) || dir.isRoot());
}

std::optional<QString> askWorkFolder(QWidget* parent, const QString& intro,
                                     const QString& currentFolder) {
    QString last = lastWorkFolder();
    if (last.isEmpty() || !holdsDatabase(last) ||
        (!currentFolder.isEmpty() && QDir(last) == QDir(currentFolder)))
        last.clear();
    const QString startIn = last.isEmpty() ? QDir::homePath() : QFileInfo(last).path();
    for (;;) {
        frmFolder offer(intro, last, parent);
        const int choice = ui().showModal(&offer);
        if (choice == frmFolder::LastFolder)
            return last;
        if (choice != frmFolder::ChooseFolder && choice != frmFolder::NewFolder)
            return std::nullopt;
        const bool newSite = choice == frmFolder::NewFolder;
        const std::optional<QString> folder = ui().existingFolder(
            parent,
            newSite ? QStringLiteral("Choose or Create an Empty Folder for the New Site")
                    : QStringLiteral("Choose the Folder of a Site"),
            startIn);
        // Cancelling the folder chooser goes back to the choice, not out of the program.
        if (!folder)
            continue;
        if (holdsDatabase(*folder)) {
            if (newSite)
                ui().msgBox(QStringLiteral("There is a tavrel.mdb in %1 already: Tavrel opens it.")
                                .arg(shown(*folder)),
                            MsgButtons::Ok, MsgIcon::Information, QStringLiteral("New Site"));
            return QDir(*folder).absolutePath();
        }
        if (makeSite(*folder, !newSite))
            return QDir(*folder).absolutePath();
    }
}

std::optional<QString> chooseStartFolder(const QString& commandLineFolder) {
    if (!commandLineFolder.isEmpty())
        return QDir(commandLineFolder).absolutePath();
    const QString here = QDir::currentPath();
    if (!isDesktopStart(here))
        return here;
    return askWorkFolder(nullptr,
                         QStringLiteral("Tavrel keeps the data of a site (tavrel.mdb) in a folder "
                                        "of its own, and there is none in %1. Which folder do you "
                                        "want to work in?")
                             .arg(shown(here)));
}

} // namespace tavrel
