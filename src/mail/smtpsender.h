#pragma once

#include "mail/mailsettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tavrel {

// One message to one recipient: a plain text and, when attachmentData is not empty, a
// file attached to it.
struct MailMessage {
    QString to;
    QString toName; // shown beside the address; may be empty
    QString subject;
    QString text;
    QString attachmentName;
    QString attachmentType; // e.g. application/pdf
    QByteArray attachmentData;
};

// What became of a message.
struct SendResult {
    enum Outcome {
        Sent,
        // The server took the connection but refused this message (its recipient, its
        // contents): the next message may still go.
        Refused,
        // The server could not be reached or spoken to (down, refused STARTTLS, an untrusted
        // certificate, the login refused): no other message will go either.
        ServerFailed
    };
    Outcome outcome = ServerFailed;
    QString error; // what the server or libcurl said, for anything but Sent
};

// Sends messages through the site's mail server with libcurl's SMTP, STARTTLS required, a
// connection per message. Connecting and the whole of a message are bounded in time, so that
// a server that does not answer never holds up a scheduled job.
class SmtpSender {
public:
    SmtpSender(const MailSettings& settings, const QString& password);

    SendResult send(const MailMessage& message, const QDateTime& date) const;

    static constexpr long ConnectTimeoutSeconds = 15;
    static constexpr long MessageTimeoutSeconds = 120;

private:
    MailSettings settings_;
    QString password_;
};

} // namespace tavrel
