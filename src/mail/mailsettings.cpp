#include "mail/mailsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace tavrel {

namespace {

constexpr int MaxPort = 65535;

// A file named in the settings, resolved against the working folder.
QString sitePath(const QString& workingFolder, const QString& name) {
    return name.isEmpty() ? QString() : QDir(workingFolder).absoluteFilePath(name);
}

} // namespace

MailSettings MailSettings::load(const QString& workingFolder) {
    const QSettings s(QDir(workingFolder).filePath(QStringLiteral("tavrel.conf")),
                      QSettings::IniFormat);
    MailSettings m;
    m.server = s.value(QStringLiteral("mail/server")).toString().trimmed();
    const QString port = s.value(QStringLiteral("mail/port")).toString().trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        m.port = port.toInt(&ok);
        if (!ok)
            m.port = 0; // refused by problem()
    }
    m.sender = s.value(QStringLiteral("mail/sender")).toString().trimmed();
    m.user = s.value(QStringLiteral("mail/user")).toString().trimmed();
    m.passwordFile =
        sitePath(workingFolder, s.value(QStringLiteral("mail/password_file")).toString().trimmed());
    m.caFile = sitePath(workingFolder, s.value(QStringLiteral("mail/cafile")).toString().trimmed());
    return m;
}

QString MailSettings::problem() const {
    QStringList missing;
    if (server.isEmpty())
        missing << QStringLiteral("server=");
    if (sender.isEmpty())
        missing << QStringLiteral("sender=");
    if (!missing.isEmpty())
        return QStringLiteral("No mail server is set up for this site: tavrel.conf needs %1 in "
                              "its [mail] part (and port=, user=, password_file= or the "
                              "environment's %2, cafile= as the server needs). Nothing was sent.")
            .arg(missing.join(QLatin1String(" and ")), QLatin1String(MailPasswordVariable));
    if (port < 1 || port > MaxPort)
        return QStringLiteral("The port= of tavrel.conf's [mail] part is not a port from 1 to "
                              "%1. Nothing was sent.")
            .arg(MaxPort);
    if (!caFile.isEmpty() && !QFileInfo(caFile).isReadable())
        return QStringLiteral("The cafile= of tavrel.conf's [mail] part, %1, cannot be read. "
                              "Nothing was sent.")
            .arg(QDir::toNativeSeparators(caFile));
    return {};
}

bool readMailPassword(const MailSettings& settings, QString* password, QString* error) {
    password->clear();
    if (settings.user.isEmpty())
        return true;
    if (qEnvironmentVariableIsSet(MailPasswordVariable)) {
        *password = qEnvironmentVariable(MailPasswordVariable);
        return true;
    }
    const QString shown = QDir::toNativeSeparators(settings.passwordFile);
    if (settings.passwordFile.isEmpty()) {
        *error = QStringLiteral("The mail server's user %1 needs a password: set %2 or name a "
                                "file that holds it as password_file= in tavrel.conf's [mail] "
                                "part. Nothing was sent.")
                     .arg(settings.user, QLatin1String(MailPasswordVariable));
        return false;
    }
    QFile file(settings.passwordFile);
    // A password others can read is a password others know.
    const QFileDevice::Permissions shared = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (file.exists() && (file.permissions() & shared)) {
        *error = QStringLiteral("The password file %1 can be read or written by others than its "
                                "owner; it is not used (chmod 600 %1). Nothing was sent.")
                     .arg(shown);
        return false;
    }
    if (!QFileInfo(settings.passwordFile).isFile() || !file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("The password file %1 cannot be read. Nothing was sent.").arg(shown);
        return false;
    }
    *password = QString::fromUtf8(file.readLine()).trimmed();
    return true;
}

} // namespace tavrel
