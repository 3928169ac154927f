// Files that the data layer writes in place of others keep the others' access.

#include "data/fileaccess.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavrel {

bool takeFileAccessOf(const QString& file, const QString& model) {
#ifdef Q_OS_UNIX
    const QByteArray to = QFile::encodeName(file);
    struct stat st {};
    if (::stat(QFile::encodeName(model).constData(), &st) != 0)
        return false;
    // Group first, then owner: an ordinary user may still hand the file to one of his
    // groups when he may not give it to another user.
    if (::chown(to.constData(), st.st_uid, st.st_gid) != 0)
        (void)!::chown(to.constData(), uid_t(-1), st.st_gid);
    // After chown, which may clear the set-id bits.
    return ::chmod(to.constData(), st.st_mode & 07777) == 0;
#else
    return QFile::setPermissions(file, QFileInfo(model).permissions());
#endif
}

bool nameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString createUnusedFile(const std::function<QString(int)>& nameFor, int attempts) {
    for (int n = 1; n <= attempts; ++n) {
        const QString candidate = nameFor(n);
        if (candidate.isEmpty() || nameTaken(candidate))
            continue;
        // NewOnly fails on an existing name, a dangling link included, instead of following it.
        QFile f(candidate);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return candidate;
        if (!nameTaken(candidate))
            return {}; // not a name clash: the folder refuses new files
    }
    return {};
}

bool replaceFileWith(const QString& to, const QString& from) {
    // std::filesystem::rename is the system's rename: atomic, and a link at `to` is itself
    // replaced. QFile::rename refuses an existing target and, where the system's rename
    // fails, copies through whatever `to` names.
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), error);
    return !error;
}

} // namespace tavrel
