#include "mail/smtpsender.h"

#include <QLocale>
#include <QUuid>

#include <curl/curl.h>

#include <memory>

namespace tavrel {

namespace {

// libcurl's global set-up, once for the program, before the first handle.
void initCurl() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    Q_UNUSED(done);
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// A header's text as RFC 2047 wants it: plain ASCII as it is, anything else as UTF-8 in
// base64.
QByteArray headerText(const QString& text) {
    bool ascii = true;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            ascii = false;
    if (ascii)
        return text.toLatin1();
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

// An address with the name shown beside it: the name as a quoted string, or encoded when it
// is not plain ASCII.
QByteArray mailbox(const QString& name, const QString& address) {
    const QByteArray angle = '<' + address.toUtf8() + '>';
    if (name.isEmpty())
        return angle;
    const QByteArray shown = headerText(name);
    if (shown.startsWith("=?"))
        return shown + ' ' + angle;
    QByteArray quoted = shown;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + "\" " + angle;
}

// The Date header: RFC 5322's form, in English whatever the locale.
QByteArray dateHeader(const QDateTime& date) {
    const int offset = date.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    const QByteArray zone =
        QByteArray(offset < 0 ? "-" : "+") +
        QByteArray::number(minutes / 60 * 100 + minutes % 60).rightJustified(4, '0');
    return "Date: " +
           QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
           zone;
}

// Failures that are the server's or the way to it, not this message's.
bool isServerFailure(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_LOGIN_DENIED:
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_RECV_ERROR:
    case CURLE_AUTH_ERROR:
        return true;
    default:
        return false;
    }
}

} // namespace

SmtpSender::SmtpSender(const MailSettings& settings, const QString& password)
    : settings_(settings)
    , password_(password) {
    initCurl();
}

SendResult SmtpSender::send(const MailMessage& message, const QDateTime& date) const {
    SendResult result;
    const std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = QStringLiteral("libcurl could not be set up");
        return result;
    }
    CURL* c = curl.get();
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray url =
        "smtp://" + settings_.server.toUtf8() + ':' + QByteArray::number(settings_.port);
    const QByteArray from = '<' + settings_.sender.toUtf8() + '>';
    const QByteArray user = settings_.user.toUtf8();
    const QByteArray password = password_.toUtf8();
    const QByteArray caFile = settings_.caFile.toLocal8Bit();
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    if (!caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, MessageTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    const std::unique_ptr<curl_slist, ListDeleter> recipients(
        curl_slist_append(nullptr, ('<' + message.to.toUtf8() + '>').constData()));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());

    curl_slist* headerList = nullptr;
    const QByteArray domain = settings_.sender.section(QLatin1Char('@'), 1).toUtf8();
    for (const QByteArray& header :
         {dateHeader(date), "From: " + from, "To: " + mailbox(message.toName, message.to),
          "Subject: " + headerText(message.subject),
          "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@' +
              (domain.isEmpty() ? QByteArray("tavrel") : domain) + '>',
          QByteArray("MIME-Version: 1.0")})
        headerList = curl_slist_append(headerList, header.constData());
    const std::unique_ptr<curl_slist, ListDeleter> headers(headerList);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    const std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(c));
    // Lines end in CRLF, as mail's lines do: quoted-printable keeps those as line breaks.
    QString crlf = message.text;
    crlf.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const QByteArray text = crlf.toUtf8();
    curl_mimepart* part = curl_mime_addpart(mime.get());
    curl_mime_data(part, text.constData(), size_t(text.size()));
    curl_mime_type(part, "text/plain; charset=utf-8");
    curl_mime_encoder(part, "quoted-printable");
    if (!message.attachmentData.isEmpty()) {
        const QByteArray name = message.attachmentName.toUtf8();
        const QByteArray type = message.attachmentType.toUtf8();
        part = curl_mime_addpart(mime.get());
        curl_mime_data(part, message.attachmentData.constData(),
                       size_t(message.attachmentData.size()));
        curl_mime_type(part, type.constData());
        curl_mime_filename(part, name.constData());
        curl_mime_encoder(part, "base64");
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());

    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK) {
        result.outcome = SendResult::Sent;
        return result;
    }
    result.outcome = isServerFailure(code) ? SendResult::ServerFailed : SendResult::Refused;
    result.error = errorText[0] != '\0' ? QString::fromUtf8(errorText).trimmed()
                                        : QString::fromUtf8(curl_easy_strerror(code));
    return result;
}

} // namespace tavrel
