#include "alerts/Email.h"
#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"
#include "common/AlertTexts.h"
#include "servers/FreePort.h"
#include "servers/ServerProcess.h"
#include "servers/SmtpCertificates.h"
#include "servers/SmtpServer.h"
#include "support/Absence.h"
#include "support/MailText.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using mailtext::bodyOf;
using mailtext::headerOf;

using testservers::SmtpServer;

namespace {

const QString kUser = QStringLiteral("velmora-user");
const QString kPassword = QStringLiteral("Pa55-w0rd!secret");
const QString kSender = QStringLiteral("owner@example.test");
const QString kRecipient = QStringLiteral("alice@example.test");

enum class Failure
{
    ConnectionRefused,
    WrongPassword,
    RejectedRecipient,
    UntrustedImplicitTls,
    UntrustedStartTls
};

void configure(MailManager& manager, quint16 port, int ssl = 0)
{
    if (ssl == 1)
        manager.setSmtpSsl(1);
    manager.setSmtpHost(QStringLiteral("127.0.0.1"));
    manager.setSmtpPort(port);
}

void authenticate(MailManager& manager, const QString& password = kPassword)
{
    manager.setSmtpUsername(kUser);
    manager.setSmtpPassword(password);
}

Email plainEmail(const QString& recipient = kRecipient)
{
    Email email;
    email.setSubject(QStringLiteral("Hello"));
    email.setBody(QStringLiteral("First line\r\nSecond line"));
    email.setFrom(kSender);
    email.AddRecipientList(recipient);
    return email;
}

// The password must not show in any form an SMTP client sends it in.
void verifyNoPassword(const QString& text, const QString& password)
{
    const QByteArray plainBlob = '\0' + kUser.toUtf8() + '\0' + password.toUtf8();
    for (const QString& secret : {password, QString::fromLatin1(password.toUtf8().toBase64()),
                                  QString::fromLatin1(plainBlob.toBase64())})
        QVERIFY2(!text.contains(secret), qPrintable(QStringLiteral("secret shown: ") + text));
}

} // namespace

class MailManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void deliversOverEachSecurity_data();
    void deliversOverEachSecurity();
    void testEmailOnTheWire();
    void testTextMessageOnTheWire();
    void bodyBytesOnTheWire_data();
    void bodyBytesOnTheWire();
    void connectionKeptUntilClosed_data();
    void connectionKeptUntilClosed();
    void laterSendsShareTheConnection();
    void failedSend_data();
    void failedSend();
    void silentServerEnds_data();
    void silentServerEnds();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();

private:
    bool startServer(SmtpServer& server, SmtpServer::Options options);

    MailRuntime m_runtime;
    testservers::SmtpCertificates m_certificates;
};

void MailManagerTest::initTestCase()
{
    QVERIFY2(m_certificates.generate(), qPrintable(m_certificates.errorText()));
    // The engine trusts the system's CAs, or the bundle named here: the test CA only.
    qputenv("CURL_CA_BUNDLE", m_certificates.caFile().toLocal8Bit());
}

bool MailManagerTest::startServer(SmtpServer& server, SmtpServer::Options options)
{
    if (options.certificate.isEmpty()) {
        options.certificate = m_certificates.serverCertificate();
        options.key = m_certificates.serverKey();
    }
    if (!server.start(options)) {
        qWarning("%s", qPrintable(server.errorText()));
        return false;
    }
    return true;
}

void MailManagerTest::deliversOverEachSecurity_data()
{
    QTest::addColumn<SmtpServer::Security>("security");
    QTest::addColumn<int>("ssl");
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<bool>("encrypted");
    using S = SmtpServer::Security;
    QTest::newRow("plain") << S::Plain << 0 << "" << false;
    QTest::newRow("plain, AUTH PLAIN") << S::Plain << 0 << "PLAIN" << false;
    QTest::newRow("plain, AUTH LOGIN") << S::Plain << 0 << "LOGIN" << false;
    QTest::newRow("STARTTLS offered") << S::StartTls << 0 << "" << true;
    QTest::newRow("STARTTLS, AUTH PLAIN") << S::StartTls << 0 << "PLAIN" << true;
    QTest::newRow("STARTTLS, AUTH LOGIN") << S::StartTls << 0 << "LOGIN" << true;
    QTest::newRow("implicit TLS") << S::ImplicitTls << 1 << "" << true;
    QTest::newRow("implicit TLS, AUTH PLAIN") << S::ImplicitTls << 1 << "PLAIN" << true;
}

void MailManagerTest::deliversOverEachSecurity()
{
    QFETCH(SmtpServer::Security, security);
    QFETCH(int, ssl);
    QFETCH(QString, mechanism);
    QFETCH(bool, encrypted);
    SmtpServer server;
    SmtpServer::Options options;
    options.security = security;
    if (!mechanism.isEmpty()) {
        options.user = kUser;
        options.password = kPassword;
        options.mechanisms = mechanism;
    }
    QVERIFY(startServer(server, options));

    MailManager manager;
    configure(manager, server.port(), ssl);
    if (!mechanism.isEmpty())
        authenticate(manager);
    QCOMPARE(manager.SendEmail(plainEmail()), 1);
    QCOMPARE(manager.LastErrorText(), QString());

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].mailFrom, kSender);
    QCOMPARE(messages[0].recipients, QStringList{kRecipient});
    QCOMPARE(messages[0].tls, encrypted);
    QCOMPARE(messages[0].login, mechanism.isEmpty() ? QString() : kUser);
    QCOMPARE(headerOf(messages[0].data, "Subject"), QByteArray("Hello"));
    QCOMPARE(bodyOf(messages[0].data), QByteArray("First line\r\nSecond line\r\n"));
}

void MailManagerTest::testEmailOnTheWire()
{
    SmtpServer server;
    QVERIFY(startServer(server, {}));
    // As the window sends it: bare first address as sender, the whole list as recipients.
    const QString recipients = QStringLiteral("first@example.test,second@example.test");
    Email email;
    email.setSubject(alerttexts::testEmailSubject());
    email.setBody(alerttexts::emailBody(QStringLiteral("04/06/2024"), QStringLiteral("09:05:07"),
                                        QStringLiteral("DESK-7"), QStringLiteral("203.0.113.9"),
                                        QStringLiteral("192.168.1.20")));
    email.setFrom(QStringLiteral("first@example.test"));
    email.AddRecipientList(recipients);
    MailManager manager;
    configure(manager, server.port());
    QCOMPARE(manager.SendEmail(email), 1);

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].mailFrom, QStringLiteral("first@example.test"));
    QCOMPARE(messages[0].recipients, recipients.split(u','));
    const QByteArray& data = messages[0].data;
    QCOMPARE(headerOf(data, "From"), QByteArray("first@example.test"));
    QCOMPARE(headerOf(data, "To"), QByteArray("first@example.test, second@example.test"));
    QCOMPARE(headerOf(data, "Subject"), QByteArray("Velmora Alert (TEST)"));
    QVERIFY(!headerOf(data, "Date").isEmpty());
    QVERIFY(headerOf(data, "Message-ID").endsWith("@example.test>"));
    QCOMPARE(bodyOf(data), QByteArray("Date: 04/06/2024 09:05:07\r\n"
                                      "===================================\r\n"
                                      "Computer Name: DESK-7\r\n"
                                      "Public IP Address: 203.0.113.9\r\n"
                                      "Local IP Address: 192.168.1.20\r\n"));
}

void MailManagerTest::testTextMessageOnTheWire()
{
    SmtpServer server;
    QVERIFY(startServer(server, {}));
    Email email;
    email.setFrom(alerttexts::textMessageSender(QStringLiteral("first@example.test")));
    email.AddRecipient(QString(),
                       alerttexts::textMessageRecipient(QStringLiteral("5551234567"),
                                                        QStringLiteral("sms.example.test")));
    email.setSubject(alerttexts::testTextMessageSubject());
    email.setBody(alerttexts::textMessageBody(
        QStringLiteral("DESK-7"), QStringLiteral("203.0.113.9"), QStringLiteral("192.168.1.20")));
    MailManager manager;
    configure(manager, server.port());
    QCOMPARE(manager.SendEmail(email), 1);

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    // The envelope takes bare addresses; the header keeps the sender's name.
    QCOMPARE(messages[0].mailFrom, QStringLiteral("first@example.test"));
    QCOMPARE(messages[0].recipients, QStringList{QStringLiteral("5551234567@sms.example.test")});
    QCOMPARE(headerOf(messages[0].data, "From"), QByteArray("Velmora <first@example.test>"));
    QCOMPARE(headerOf(messages[0].data, "To"), QByteArray("5551234567@sms.example.test"));
    QCOMPARE(headerOf(messages[0].data, "Subject"), QByteArray("Velmora(TEST)"));
    // The body's bare LFs travel as CR LF, as SMTP requires.
    QCOMPARE(bodyOf(messages[0].data), QByteArray("Computer Name: DESK-7\r\n"
                                                  "Public IP Address: 203.0.113.9\r\n"
                                                  "Local IP Address: 192.168.1.20\r\n"));
}

void MailManagerTest::bodyBytesOnTheWire_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("received");
    // A lone dot would end the message early unless it is stuffed on the wire.
    QTest::newRow("lone dot") << "before\n.\nafter" << QByteArray("before\r\n.\r\nafter\r\n");
    QTest::newRow("leading dots") << "..x\r\n.y" << QByteArray("..x\r\n.y\r\n");
    QTest::newRow("ends with dot line") << "a\n." << QByteArray("a\r\n.\r\n");
    QTest::newRow("utf-8") << QStringLiteral("Grüße 😀")
                           << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                         "e \xf0\x9f\x98\x80\r\n");
    QTest::newRow("empty") << "" << QByteArray();
}

void MailManagerTest::bodyBytesOnTheWire()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, received);
    SmtpServer server;
    QVERIFY(startServer(server, {}));
    Email email = plainEmail();
    email.setBody(body);
    MailManager manager;
    configure(manager, server.port());
    QCOMPARE(manager.SendEmail(email), 1);
    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(bodyOf(messages[0].data), received);
}

void MailManagerTest::connectionKeptUntilClosed_data()
{
    QTest::addColumn<bool>("releaseOnly");
    QTest::newRow("CloseSmtpConnection") << false;
    QTest::newRow("manager released without closing") << true;
}

void MailManagerTest::connectionKeptUntilClosed()
{
    QFETCH(bool, releaseOnly);
    SmtpServer server;
    QVERIFY(startServer(server, {}));
    const int closedBefore = server.eventCount(QStringLiteral("close")); // the start-up probe

    auto manager = std::make_unique<MailManager>();
    configure(*manager, server.port());
    QCOMPARE(manager->SendEmail(plainEmail()), 1);
    QVERIFY(neverWithin(200, [&] {
        return server.eventCount(QStringLiteral("QUIT")) > 0 ||
               server.eventCount(QStringLiteral("close")) > closedBefore;
    }));
    QCOMPARE(server.eventCount(QStringLiteral("QUIT")), 0);
    QCOMPARE(server.eventCount(QStringLiteral("close")), closedBefore);

    if (releaseOnly)
        manager.reset();
    else
        manager->CloseSmtpConnection();
    QTRY_COMPARE(server.eventCount(QStringLiteral("QUIT")), 1);
    QTRY_COMPARE(server.eventCount(QStringLiteral("close")), closedBefore + 1);
    if (manager)
        QCOMPARE(manager->CloseSmtpConnection(), 1); // nothing left to close
}

void MailManagerTest::laterSendsShareTheConnection()
{
    SmtpServer::Options options;
    options.rejectedRecipients = {QStringLiteral("nobody@example.test")};
    SmtpServer server;
    QVERIFY(startServer(server, options));
    const int connectsBefore = server.eventCount(QStringLiteral("connect"));

    MailManager manager;
    configure(manager, server.port());
    QCOMPARE(manager.SendEmail(plainEmail()), 1);
    QCOMPARE(manager.SendEmail(plainEmail(QStringLiteral("bob@example.test"))), 1);
    QCOMPARE(server.eventCount(QStringLiteral("connect")), connectsBefore + 1);

    // A refused send leaves the manager fit for the next one.
    QVERIFY(manager.SendEmail(plainEmail(QStringLiteral("nobody@example.test"))) != 1);
    QCOMPARE(manager.SendEmail(plainEmail(QStringLiteral("carol@example.test"))), 1);
    QCOMPARE(manager.LastErrorText(), QString());

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages[2].recipients, QStringList{QStringLiteral("carol@example.test")});
}

void MailManagerTest::failedSend_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QStringList>("explanation");
    QTest::newRow("connection refused")
        << Failure::ConnectionRefused << "PLAIN" << QStringList{"Failed to connect"};
    QTest::newRow("wrong password, AUTH PLAIN")
        << Failure::WrongPassword << "PLAIN"
        << QStringList{"Login denied", "535 5.7.8 Authentication credentials invalid"};
    QTest::newRow("wrong password, AUTH LOGIN")
        << Failure::WrongPassword << "LOGIN"
        << QStringList{"Login denied", "535 5.7.8 Authentication credentials invalid"};
    QTest::newRow("rejected recipient")
        << Failure::RejectedRecipient << "LOGIN"
        << QStringList{"550", "nobody@example.test", "Recipient address rejected"};
    QTest::newRow("untrusted certificate, TLS")
        << Failure::UntrustedImplicitTls << "PLAIN" << QStringList{"SSL certificate problem"};
    // STARTTLS is tried when offered; a certificate it cannot trust must stop the
    // send, never make it go on without encryption.
    QTest::newRow("untrusted certificate, STARTTLS")
        << Failure::UntrustedStartTls << "PLAIN" << QStringList{"SSL certificate problem"};
}

void MailManagerTest::failedSend()
{
    QFETCH(Failure, failure);
    QFETCH(QString, mechanism);
    QFETCH(QStringList, explanation);
    SmtpServer server;
    SmtpServer::Options options;
    options.user = kUser;
    options.password = kPassword;
    options.mechanisms = mechanism;
    options.rejectedRecipients = {QStringLiteral("nobody@example.test")};
    int ssl = 0;
    if (failure == Failure::UntrustedImplicitTls || failure == Failure::UntrustedStartTls) {
        options.security = failure == Failure::UntrustedImplicitTls
                               ? SmtpServer::Security::ImplicitTls
                               : SmtpServer::Security::StartTls;
        options.certificate = m_certificates.untrustedCertificate();
        options.key = m_certificates.untrustedKey();
        ssl = failure == Failure::UntrustedImplicitTls ? 1 : 0;
    }
    quint16 port = testservers::freePort();
    if (failure != Failure::ConnectionRefused) {
        QVERIFY(startServer(server, options));
        port = server.port();
    }

    const QString password =
        failure == Failure::WrongPassword ? QStringLiteral("Wr0ng-pa55word") : kPassword;
    MailManager manager;
    configure(manager, port, ssl);
    authenticate(manager, password);
    const QString recipient = failure == Failure::RejectedRecipient
                                  ? QStringLiteral("bob@example.test,nobody@example.test")
                                  : kRecipient;
    const int result = manager.SendEmail(plainEmail(recipient));
    const QString text = manager.LastErrorText();

    QVERIFY(result != 1);
    for (const QString& part : explanation)
        QVERIFY2(text.contains(part), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("127.0.0.1:%1").arg(port)), qPrintable(text));
    verifyNoPassword(text, password);
    QVERIFY2(!text.contains(QStringLiteral("Second line")), "the message is not in the transcript");
    if (failure != Failure::ConnectionRefused)
        QCOMPARE(server.messages().size(), 0);
    QCOMPARE(manager.CloseSmtpConnection(), 1);
}

void MailManagerTest::silentServerEnds_data()
{
    QTest::addColumn<QString>("stallAt");
    QTest::addColumn<int>("ssl");
    QTest::newRow("never greets") << "greeting" << 0;
    QTest::newRow("never completes TLS") << "greeting" << 1;
    QTest::newRow("never answers MAIL FROM") << "MAIL" << 0;
    QTest::newRow("never confirms the message") << "data-end" << 0;
}

void MailManagerTest::silentServerEnds()
{
    QFETCH(QString, stallAt);
    QFETCH(int, ssl);
    QTemporaryDir dir;
    const QString events = dir.filePath(QStringLiteral("events"));
    const auto accepted = [&events] {
        QFile file(events);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("accepted\n") : 0;
    };
    const quint16 port = testservers::freePort();
    testservers::ServerProcess silent;
    QVERIFY2(
        silent.start(QStringLiteral("/usr/bin/python3"),
                     {testservers::ServerProcess::script(QStringLiteral("smtp_stalling_server.py")),
                      QStringLiteral("--port"), QString::number(port), QStringLiteral("--stall-at"),
                      stallAt, QStringLiteral("--events"), events},
                     port),
        qPrintable(silent.errorText()));
    QTRY_COMPARE(accepted(), 1); // the start-up probe

    QElapsedTimer clock;
    clock.start();
    {
        MailManager manager;
        manager.setConnectTimeout(std::chrono::seconds(2));
        manager.setReplyTimeout(std::chrono::seconds(2));
        configure(manager, port, ssl);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            QVERIFY(manager.SendEmail(plainEmail()) != 1);
            const QString text = manager.LastErrorText();
            // libcurl says "timeout" or "timed out", depending on which of its limits
            // ran out first.
            static const QRegularExpression timeLimit(QStringLiteral("time(out|d out)"),
                                                      QRegularExpression::CaseInsensitiveOption);
            QVERIFY2(text.contains(timeLimit), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("127.0.0.1:%1").arg(port)), qPrintable(text));
            // A connection that stopped answering is never used again.
            QTRY_COMPARE(accepted(), 1 + attempt);
        }
    } // releasing the manager must not wait on the silent server either
    // Generous against the 2 s limits: what matters is that every step ends.
    QVERIFY2(clock.elapsed() < testtime::scaled(30000),
             qPrintable(QString::number(clock.elapsed())));
}

void MailManagerTest::refusedBeforeConnecting_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("recipients");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // 0: the server's
    QTest::addColumn<QString>("explanation");
    const QString host = QStringLiteral("127.0.0.1");
    // A recipient text that begins with a comma leaves the window no sender.
    QTest::newRow("no sender") << "" << kRecipient << host << 0
                               << "The e-mail has no sender address.";
    QTest::newRow("no recipient") << kSender << "" << host << 0 << "The e-mail has no recipient.";
    QTest::newRow("command in recipient")
        << kSender << "a@example.test\r\nRSET" << host << 0
        << "The recipient address \"a@example.test??RSET\" is not valid";
    QTest::newRow("no server") << kSender << kRecipient << "  " << 0 << "No SMTP server is set.";
    QTest::newRow("server name with path")
        << kSender << kRecipient << "127.0.0.1/x" << 0 << "The SMTP server name";
    QTest::newRow("port 0") << kSender << kRecipient << host << -1
                            << "The SMTP port 0 is not between 1 and 65535.";
    QTest::newRow("port too big") << kSender << kRecipient << host << 65536
                                  << "The SMTP port 65536 is not between 1 and 65535.";
}

void MailManagerTest::refusedBeforeConnecting()
{
    QFETCH(QString, from);
    QFETCH(QString, recipients);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, explanation);
    SmtpServer server;
    QVERIFY(startServer(server, {}));
    const int connectsBefore = server.eventCount(QStringLiteral("connect"));

    Email email = plainEmail(recipients);
    email.setFrom(from);
    MailManager manager;
    manager.setSmtpHost(host);
    manager.setSmtpPort(port == 0 ? server.port() : qMax(port, 0));
    QCOMPARE(manager.SendEmail(email), 0);
    QVERIFY2(manager.LastErrorText().startsWith(explanation), qPrintable(manager.LastErrorText()));
    QCOMPARE(server.eventCount(QStringLiteral("connect")), connectsBefore);
    QCOMPARE(manager.CloseSmtpConnection(), 1);
}

QTEST_GUILESS_MAIN(MailManagerTest)
#include "tst_mail_manager.moc"
