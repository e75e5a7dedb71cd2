#include "alerts/Email.h"
#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"
#include "common/AlertTexts.h"
#include "servers/PostfixInstance.h"
#include "servers/SmtpCertificates.h"
#include "support/MailText.h"
#include "support/TestTime.h"

#include <QTest>

using mailtext::bodyOf;
using mailtext::headerBlock;
using mailtext::headerOf;

namespace {

const QString kFirst = QStringLiteral("first@example.test");
const QString kSecond = QStringLiteral("second@example.test");
const QString kPhone = QStringLiteral("5551234567@sms.example.test");

} // namespace

// The test alerts through a real MTA, as a user's mail server would take them.
class PostfixDeliveryTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void testEmailDelivered_data();
    void testEmailDelivered();
    void testTextMessageDelivered_data();
    void testTextMessageDelivered();
    void unknownMailboxRefused();

private:
    void configure(MailManager& manager, int ssl);

    MailRuntime m_runtime;
    testservers::SmtpCertificates m_certificates;
    testservers::PostfixInstance m_postfix;
};

void PostfixDeliveryTest::initTestCase()
{
    const QString reason = testservers::PostfixInstance::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    QVERIFY2(m_certificates.generate(), qPrintable(m_certificates.errorText()));
    qputenv("CURL_CA_BUNDLE", m_certificates.caFile().toLocal8Bit());
    for (const QString& address : {kFirst, kSecond, kPhone})
        m_postfix.addMailbox(address);
    QVERIFY2(m_postfix.start(m_certificates.serverCertificate(), m_certificates.serverKey()),
             qPrintable(m_postfix.errorText()));
}

void PostfixDeliveryTest::configure(MailManager& manager, int ssl)
{
    if (ssl == 1)
        manager.setSmtpSsl(1);
    manager.setSmtpHost(QStringLiteral("127.0.0.1"));
    manager.setSmtpPort(ssl == 1 ? m_postfix.tlsPort() : m_postfix.port());
}

void PostfixDeliveryTest::testEmailDelivered_data()
{
    QTest::addColumn<int>("ssl");
    QTest::newRow("STARTTLS") << 0;
    QTest::newRow("TLS from the first byte") << 1;
}

void PostfixDeliveryTest::testEmailDelivered()
{
    QFETCH(int, ssl);
    const qsizetype firstBefore = m_postfix.delivered(kFirst).size();
    const qsizetype secondBefore = m_postfix.delivered(kSecond).size();
    Email email;
    email.setSubject(alerttexts::testEmailSubject());
    email.setBody(alerttexts::emailBody(QStringLiteral("04/06/2024"), QStringLiteral("09:05:07"),
                                        QStringLiteral("DESK-7"), QStringLiteral("203.0.113.9"),
                                        QStringLiteral("192.168.1.20")));
    email.setFrom(kFirst);
    email.AddRecipientList(kFirst + u',' + kSecond);
    MailManager manager;
    configure(manager, ssl);
    QVERIFY2(manager.SendEmail(email) == 1, qPrintable(manager.LastErrorText()));
    QCOMPARE(manager.CloseSmtpConnection(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(m_postfix.delivered(kFirst).size(), firstBefore + 1,
                              testtime::scaled(15000));
    QTRY_COMPARE_WITH_TIMEOUT(m_postfix.delivered(kSecond).size(), secondBefore + 1,
                              testtime::scaled(15000));
    for (const QString& mailbox : {kFirst, kSecond}) {
        const QByteArray message = m_postfix.delivered(mailbox).constLast();
        QCOMPARE(headerOf(message, "Return-Path"), QByteArray("<first@example.test>"));
        QCOMPARE(headerOf(message, "Delivered-To"), mailbox.toUtf8());
        QCOMPARE(headerOf(message, "From"), QByteArray("first@example.test"));
        QCOMPARE(headerOf(message, "To"), QByteArray("first@example.test, second@example.test"));
        QCOMPARE(headerOf(message, "Subject"), QByteArray("Velmora Alert (TEST)"));
        QCOMPARE(headerOf(message, "Content-Type"), QByteArray("text/plain; charset=UTF-8"));
        // Postfix notes an encrypted session as ESMTPS.
        QVERIFY2(headerBlock(message).contains("with ESMTPS id"), message.constData());
        QCOMPARE(bodyOf(message), QByteArray("Date: 04/06/2024 09:05:07\n"
                                             "===================================\n"
                                             "Computer Name: DESK-7\n"
                                             "Public IP Address: 203.0.113.9\n"
                                             "Local IP Address: 192.168.1.20\n"));
    }
}

void PostfixDeliveryTest::testTextMessageDelivered_data()
{
    QTest::addColumn<int>("ssl");
    QTest::newRow("STARTTLS") << 0;
    QTest::newRow("TLS from the first byte") << 1;
}

void PostfixDeliveryTest::testTextMessageDelivered()
{
    QFETCH(int, ssl);
    const qsizetype phoneBefore = m_postfix.delivered(kPhone).size();
    const qsizetype firstBefore = m_postfix.delivered(kFirst).size();
    Email email;
    email.setFrom(alerttexts::textMessageSender(kFirst));
    email.AddRecipient(QString(),
                       alerttexts::textMessageRecipient(QStringLiteral("5551234567"),
                                                        QStringLiteral("sms.example.test")));
    email.setSubject(alerttexts::testTextMessageSubject());
    email.setBody(alerttexts::textMessageBody(QString(), QStringLiteral("203.0.113.9"),
                                              QStringLiteral("192.168.1.20")));
    MailManager manager;
    configure(manager, ssl);
    QVERIFY2(manager.SendEmail(email) == 1, qPrintable(manager.LastErrorText()));
    // No closing call: the manager's release ends the connection.

    QTRY_COMPARE_WITH_TIMEOUT(m_postfix.delivered(kPhone).size(), phoneBefore + 1,
                              testtime::scaled(15000));
    const QByteArray message = m_postfix.delivered(kPhone).constLast();
    QCOMPARE(headerOf(message, "Return-Path"), QByteArray("<first@example.test>"));
    QCOMPARE(headerOf(message, "Delivered-To"), kPhone.toUtf8());
    QCOMPARE(headerOf(message, "From"), QByteArray("Velmora <first@example.test>"));
    QCOMPARE(headerOf(message, "To"), kPhone.toUtf8());
    QCOMPARE(headerOf(message, "Subject"), QByteArray("Velmora(TEST)"));
    QCOMPARE(bodyOf(message), QByteArray("Computer Name: \n"
                                         "Public IP Address: 203.0.113.9\n"
                                         "Local IP Address: 192.168.1.20\n"));
    // The e-mail recipients get nothing; the first address is only the sender.
    QCOMPARE(m_postfix.delivered(kFirst).size(), firstBefore);
}

void PostfixDeliveryTest::unknownMailboxRefused()
{
    Email email;
    email.setFrom(kFirst);
    email.AddRecipientList(QStringLiteral("nobody@example.test"));
    email.setSubject(alerttexts::testEmailSubject());
    email.setBody(QStringLiteral("never delivered"));
    MailManager manager;
    configure(manager, 0);
    QVERIFY(manager.SendEmail(email) != 1);
    const QString text = manager.LastErrorText();
    QVERIFY2(text.contains(QStringLiteral("550")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("User unknown in virtual mailbox table")),
             qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("never delivered")), qPrintable(text));
}

QTEST_GUILESS_MAIN(PostfixDeliveryTest)
#include "tst_postfix_delivery.moc"
