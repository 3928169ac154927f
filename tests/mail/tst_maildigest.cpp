// tavrel --mail-digest as cron runs it: the built program under a fixed clock, in a site
// folder of either backend, against a mail server the test starts (STARTTLS required, on a
// certificate made for the run and handed to the program as its trusted authority).

#include "support/headlessrun.h"
#include "support/pdfreading.h"
#include "support/tempdatabase.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using tavrel::test::TempDatabase;

namespace {

constexpr int RunBoundMs = 120000;
// Wednesday: the week runs from Monday 4 to Sunday 10 July 2005.
const char* const Clock = "2005-07-06 10:00:00";

// Ann has two overdue assignments (one of them due this Monday), one due this week, one next
// week and one done; Bob one due today; Carl (no address) and Eve (retired) one overdue each,
// and one overdue assignment has nobody. Dora has an address and nothing to do.
const char* const Site =
    "INSERT INTO locations (locid, locdesc) VALUES (1, 'Boiler Room');"
    "INSERT INTO tasks (taskid, taskname, locid) VALUES (1, 'Check pressure', 1),"
    "(2, 'Grease bearings', 1), (3, 'Replace filters', NULL);"
    "INSERT INTO employees (empid, firstname, lastname, email, inactive) VALUES "
    "(1, 'Ann', 'Archer', 'ann@example.com', 0), (2, 'Bob', 'Baker', 'bob@example.com', 0),"
    "(3, 'Carl', 'Cole', NULL, 0), (4, 'Dora', 'Dunn', 'dora@example.com', 0),"
    "(5, 'Eve', 'Ernst', 'eve@example.com', -1);"
    "INSERT INTO managers (manid, manfirst, manlast, email) VALUES "
    "(1, 'Mia', 'Moss', 'mia@example.com'), (2, 'Ned', 'Noll', '');"
    "INSERT INTO assign (assid, taskid, duedate, completed, empid) VALUES "
    "(1, 1, '2005-06-27', 0, 1), (2, 2, '2005-07-04', 0, 1), (3, 3, '2005-07-08', 0, 1),"
    "(4, 1, '2005-07-11', 0, 1), (5, 2, '2005-06-20', -1, 1), (6, 1, '2005-07-06', 0, 2),"
    "(7, 3, '2005-06-13', 0, 3), (8, 2, '2005-07-05', 0, 5), (9, 3, '2005-07-01', 0, NULL);";

using Run = tavrel::test::HeadlessRun;

// A TCP port nobody listens on now.
int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

// The test's mail server: writes what it takes into `folder`, refuses `refused`, and with
// `user` lets only that user with `password` send.
class MailServer {
public:
    MailServer(int port, const QString& folder, const QString& certDir, const QString& refused,
               const QString& user = {}, const QString& password = {}) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(TAVREL_PYTHON,
                       {TAVREL_SMTP_SERVER, "--port", QString::number(port), "--folder", folder,
                        "--cert", certDir + "/cert.pem", "--key", certDir + "/key.pem", "--refuse",
                        refused, "--user", user, "--password", password});
        ready_ = process_.waitForStarted() && process_.waitForReadyRead(20000) &&
                 process_.readLine().trimmed() == "ready";
    }
    ~MailServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
        process_.waitForFinished();
    }
    bool isReady() const { return ready_; }

private:
    QProcess process_;
    bool ready_ = false;
};

QJsonArray readMail(const QString& folder) {
    QProcess process;
    process.start(TAVREL_PYTHON, {TAVREL_READ_MAIL, folder});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).array();
}

QStringList pdfPages(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QStringList recipients(const QJsonArray& mail) {
    QStringList out;
    for (const QJsonValue& m : mail)
        out << m.toObject().value("rcpt").toString();
    out.sort();
    return out;
}

QJsonObject messageTo(const QJsonArray& mail, const QString& address) {
    for (const QJsonValue& m : mail)
        if (m.toObject().value("rcpt").toString() == address)
            return m.toObject();
    return {};
}

} // namespace

class TestMailDigest : public QObject {
    Q_OBJECT

    QTemporaryDir certs_;
    std::unique_ptr<TempDatabase> site_;
    QTemporaryDir mail_;
    int port_ = 0;

    Run digest(const QMap<QString, QString>& env = {}) {
        tavrel::test::HeadlessOptions options;
        options.clock = QString::fromLatin1(Clock);
        options.boundMs = RunBoundMs;
        for (auto it = env.cbegin(); it != env.cend(); ++it)
            options.extra.insert(it.key(), it.value());
        options.removed = QStringList{QStringLiteral("TAVREL_MAIL_PASSWORD")};
        return tavrel::test::runHeadless(TAVREL_BINARY, site_->path(), {"--mail-digest"}, options);
    }

    void setMail(const QString& key, const QString& value) {
        QSettings conf(site_->file("tavrel.conf"), QSettings::IniFormat);
        conf.setValue("mail/" + key, value);
    }

    qint64 logged() const { return site_->scalar("SELECT count(*) FROM digestsent").toLongLong(); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(certs_.isValid());
        // Made valid from before the program's fixed clock.
        QProcess openssl;
        openssl.start("faketime",
                      {"-f", "@2005-01-01 00:00:00", "openssl", "req", "-x509", "-newkey",
                       "rsa:2048", "-nodes", "-keyout", certs_.filePath("key.pem"), "-out",
                       certs_.filePath("cert.pem"), "-days", "3650", "-subj", "/CN=localhost",
                       "-addext", "subjectAltName=IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
    }

    void init() {
        site_ = std::make_unique<TempDatabase>(2005, Site);
        QVERIFY(mail_.isValid());
        for (const QString& f : QDir(mail_.path()).entryList(QDir::Files))
            QFile::remove(mail_.filePath(f));
        port_ = freePort();
        QVERIFY(port_ > 0);
        setMail("server", "127.0.0.1");
        setMail("port", QString::number(port_));
        setMail("sender", "tavrel@example.com");
        setMail("cafile", certs_.filePath("cert.pem"));
    }

    void cleanup() { site_.reset(); }

    // Every digest goes: the employees' work of the week with their work orders, the
    // manager's overdue summary; nobody without an address, retired or with nothing to do.
    // The day's second run sends nothing again.
    void sendsEachDigestOnce() {
        MailServer server(port_, mail_.path(), certs_.path(), {});
        QVERIFY(server.isReady());
        const Run run = digest();
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QString("Sent 3 digests.\n"));
        const QJsonArray mail = readMail(mail_.path());
        QCOMPARE(recipients(mail),
                 QStringList({"ann@example.com", "bob@example.com", "mia@example.com"}));

        const QJsonObject ann = messageTo(mail, "ann@example.com");
        QCOMPARE(ann.value("subject").toString(),
                 QString("Tavrel: your work for the week of 7/4/2005"));
        QCOMPARE(ann.value("from").toString(), QString("tavrel@example.com"));
        QCOMPARE(ann.value("to").toString(), QString("Ann Archer <ann@example.com>"));
        const QString annText = ann.value("text").toString();
        QVERIFY2(annText.contains("Overdue (2):\n"
                                  "  6/27/2005  Check pressure  (Boiler Room)\n"
                                  "  7/4/2005  Grease bearings  (Boiler Room)\n"
                                  "\nDue this week (1):\n"
                                  "  7/8/2005  Replace filters\n"),
                 qPrintable(annText));
        const QJsonArray annFiles = ann.value("attachments").toArray();
        QCOMPARE(annFiles.size(), 1);
        QCOMPARE(annFiles[0].toObject().value("type").toString(), QString("application/pdf"));
        const QStringList pages = pdfPages(annFiles[0].toObject().value("path").toString());
        QCOMPARE(pages.size(), 3);
        QVERIFY(pages[0].contains("Check pressure"));
        QVERIFY(pages[1].contains("Grease bearings"));
        QVERIFY(pages[2].contains("Replace filters"));
        // Each work order with its code, read back from its QR code and shown beside it.
        QStringList codes;
        for (int page = 1; tavrel::test::pdfToolsPresent() && page <= pages.size(); ++page) {
            const QStringList read =
                tavrel::test::qrCodesOnPage(annFiles[0].toObject().value("path").toString(), page);
            QCOMPARE(read.size(), 1);
            QVERIFY2(read[0].startsWith("TVL-") && pages[page - 1].contains(read[0]),
                     qPrintable(read[0]));
            if (!codes.contains(read[0]))
                codes << read[0];
        }
        QCOMPARE(codes.size(), tavrel::test::pdfToolsPresent() ? pages.size() : 0);

        const QJsonObject bob = messageTo(mail, "bob@example.com");
        QVERIFY(bob.value("text").toString().contains("Due this week (1):\n"
                                                      "  7/6/2005  Check pressure"));
        QVERIFY(!bob.value("text").toString().contains("Overdue"));
        QCOMPARE(pdfPages(bob.value("attachments").toArray()[0].toObject().value("path").toString())
                     .size(),
                 1);

        const QJsonObject mia = messageTo(mail, "mia@example.com");
        QCOMPARE(mia.value("subject").toString(),
                 QString("Tavrel: overdue work of the site on 7/6/2005"));
        QCOMPARE(mia.value("attachments").toArray().size(), 0);
        const QString miaText = mia.value("text").toString();
        QVERIFY2(miaText.contains("5 assignments of the site are overdue on 7/6/2005"),
                 qPrintable(miaText));
        QVERIFY2(miaText.contains("Ann Archer (2):\n  6/27/2005  Check pressure  (Boiler Room)\n"
                                  "  7/4/2005  Grease bearings  (Boiler Room)\n"),
                 qPrintable(miaText));
        QVERIFY(miaText.contains("Carl Cole (1):\n  6/13/2005  Replace filters\n"));
        QVERIFY(miaText.contains("Eve Ernst (1):\n  7/5/2005  Grease bearings"));
        QVERIFY(miaText.contains("Nobody assigned (1):\n  7/1/2005  Replace filters\n"));
        QCOMPARE(logged(), 3);

        const Run again = digest();
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out, QString("Sent 0 digests; 3 had today's digest already.\n"));
        QCOMPARE(readMail(mail_.path()).size(), 3);
        QCOMPARE(logged(), 3);
    }

    // A recipient the server refuses is one line on standard error and status 1; the others
    // still get theirs, and only the refused one is sent by the next run. So is an address
    // another program wrote that is no address (here one that would add a header): nothing
    // goes to it.
    void refusedRecipientDoesNotStopTheOthers() {
        site_->exec("UPDATE employees SET email = 'carl@example.com\r\nBcc: eve@example.com' "
                    "WHERE empid = 3");
        {
            MailServer server(port_, mail_.path(), certs_.path(), "bob@example.com");
            QVERIFY(server.isReady());
            const Run run = digest();
            QCOMPARE(run.exitCode, 1);
            const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], "Tavrel: The digest to Carl Cole was not sent: \"carl@example.com "
                               "Bcc: eve@example.com\" is not an e-mail address.");
            QVERIFY2(lines[1].startsWith("Tavrel: The digest to Bob Baker <bob@example.com> was "
                                         "not sent: "),
                     qPrintable(run.err));
            QVERIFY2(lines[1].contains("550"), qPrintable(run.err));
            QCOMPARE(recipients(readMail(mail_.path())),
                     QStringList({"ann@example.com", "mia@example.com"}));
            QCOMPARE(logged(), 2);
        }
        site_->exec("UPDATE employees SET email = NULL WHERE empid = 3");
        MailServer server(port_, mail_.path(), certs_.path(), {});
        QVERIFY(server.isReady());
        const Run retry = digest();
        QCOMPARE(retry.err, QString());
        QCOMPARE(retry.exitCode, 0);
        QCOMPARE(recipients(readMail(mail_.path())),
                 QStringList({"ann@example.com", "bob@example.com", "mia@example.com"}));
    }

    // A server that is down is one message, not one per recipient, and nothing is logged;
    // once it is up the next run sends each digest once.
    void serverDownIsOneMessageAndNoDuplicatesLater() {
        const Run down = digest();
        QCOMPARE(down.exitCode, 1);
        const QStringList lines = down.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith("Tavrel: No digest could be sent through the mail server: "),
                 qPrintable(down.err));
        QCOMPARE(logged(), 0);

        MailServer server(port_, mail_.path(), certs_.path(), {});
        QVERIFY(server.isReady());
        QCOMPARE(digest().exitCode, 0);
        QCOMPARE(digest().exitCode, 0);
        QCOMPARE(recipients(readMail(mail_.path())),
                 QStringList({"ann@example.com", "bob@example.com", "mia@example.com"}));
    }

    // Settings that cannot be used stop the run before anything is sent, with their reason:
    // no [mail] server, a password file others can read. The password of a file only its
    // owner reads logs in; the environment's comes first.
    void passwordAndSettings() {
        MailServer server(port_, mail_.path(), certs_.path(), {}, "planner", "s3cret");
        QVERIFY(server.isReady());
        setMail("server", "");
        Run run = digest();
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("Tavrel: No mail server is set up for this site: tavrel.conf "
                                    "needs server= in its [mail] part"),
                 qPrintable(run.err));

        setMail("server", "127.0.0.1");
        setMail("user", "planner");
        const QString secret = site_->file("mail-password");
        QVERIFY(tavrel::test::writeFile(secret, "s3cret\n"));
        QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                          QFile::ReadOther);
        setMail("password_file", "mail-password");
        run = digest();
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QString("Tavrel: The password file %1 can be read or written by others "
                                  "than its owner; it is not used (chmod 600 %1). Nothing was "
                                  "sent.\n")
                              .arg(QDir::toNativeSeparators(secret)));
        QCOMPARE(readMail(mail_.path()).size(), 0);
        QCOMPARE(logged(), 0);

        // A wrong password is the server's refusal: one line, nothing sent.
        QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner);
        run = digest({{"TAVREL_MAIL_PASSWORD", "wrong"}});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY2(run.err.startsWith("Tavrel: No digest could be sent through the mail server: "),
                 qPrintable(run.err));
        QCOMPARE(readMail(mail_.path()).size(), 0);

        run = digest();
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readMail(mail_.path()).size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestMailDigest)
#include "tst_maildigest.moc"
