#pragma once

#include <QString>

namespace tavrel {

// The site's mail server, from the [mail] part of tavrel.conf in the working folder:
// server=, port= (587 when not given), sender=, user=, password_file= and cafile= (the
// certificate authority trusted for the server's STARTTLS, when not the system's).
struct MailSettings {
    static constexpr int DefaultPort = 587;

    QString server;
    int port = DefaultPort;
    QString sender;
    QString user;
    QString passwordFile; // absolute, or relative to the working folder
    QString caFile;       // likewise

    static MailSettings load(const QString& workingFolder);
    // What keeps the settings from being used (no server, no sender, a port that is not one),
    // or nothing.
    QString problem() const;
};

// The name of the environment variable that may hold the mail password.
inline constexpr char MailPasswordVariable[] = "TAVREL_MAIL_PASSWORD";

// The password of settings.user: the environment's TAVREL_MAIL_PASSWORD, else the first line
// of the password file, which only its owner may read. Without a user nothing is read and
// the password is empty. False, with the reason in *error, when there is none or the file
// may not be used.
bool readMailPassword(const MailSettings& settings, QString* password, QString* error);

} // namespace tavrel
