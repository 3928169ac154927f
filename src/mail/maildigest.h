#pragma once

#include "mail/smtpsender.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>

#include <functional>

namespace tavrel {

// The kinds of recipient the sent-log tells apart.
inline constexpr char DigestKindEmployee[] = "employee";
inline constexpr char DigestKindManager[] = "manager";

// What a run of the digests did.
struct DigestRun {
    int sent = 0;
    int alreadySent = 0; // recipients who had today's digest from an earlier run
    // One line per message that did not go, or a single line when the server could not be
    // reached at all (then serverFailed is set and nothing after it was tried).
    QStringList failures;
    bool serverFailed = false;
};

// Sends the digests of `today` over dbMain (open, under the caller's trap): each active
// employee with an address the assignments not completed that are overdue (due before
// today, as the Overdue report counts them) or due from today to the Sunday of today's
// week, with their work orders as a PDF; each active manager with an address the site's
// overdue work grouped by employee. Nobody gets an empty digest. A recipient the sent-log
// holds for today is skipped; one is logged only once the server took the message.
// `send` delivers one message (SmtpSender::send in the program, a double in tests).
DigestRun sendMailDigests(const std::function<SendResult(const MailMessage&)>& send,
                          const QDate& today, const QDateTime& now);

// The digests of this run as one line for the user: how many went, how many had gone
// before.
QString digestSummary(const DigestRun& run);

} // namespace tavrel
