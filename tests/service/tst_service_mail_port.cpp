// The SMTP port of the service's e-mail alerts, read as the window's test sends
// read it: the alert goes through the mail helper (velmora-send-mail) to a real
// SMTP server on loopback, or says why it does not.
#include "common/AlertSettings.h"
#include "servers/SmtpServer.h"
#include "service/alerts/AlertSenders.h"
#include "support/SmtpPortTable.h"
#include "support/TestTime.h"

#include <QTemporaryDir>
#include <QtTest>

class TestServiceMailPort : public QObject
{
    Q_OBJECT
private slots:
    void portTextIsReadAsTheTestSendsReadIt_data();
    void portTextIsReadAsTheTestSendsReadIt();
};

void TestServiceMailPort::portTextIsReadAsTheTestSendsReadIt_data()
{
    // The same table runs against the window's "Send Test Email" (tst_test_alerts).
    QTest::addColumn<QString>("text");
    QTest::addColumn<smtpporttable::Outcome>("outcome");
    QTest::addColumn<QString>("refusal");
    for (const smtpporttable::Row& row : smtpporttable::rows())
        QTest::newRow(row.name) << row.text << row.outcome << row.refusal;
}

void TestServiceMailPort::portTextIsReadAsTheTestSendsReadIt()
{
    QFETCH(QString, text);
    QFETCH(smtpporttable::Outcome, outcome);
    QFETCH(QString, refusal);
    testservers::SmtpServer server;
    QVERIFY2(server.start({}), qPrintable(server.errorText()));
    QTemporaryDir config;
    AlertSenders::Options options;
    options.mailHelper = QStringLiteral(VELMORA_MAIL_HELPER);
    options.connectTimeout = std::chrono::seconds(5);
    options.replyTimeout = std::chrono::seconds(5);
    const AlertSenders senders(config.path(), {}, options);
    AlertSettings settings;
    settings.set({{Setting::EmailAlerts, true},
                  {Setting::Recipients, QByteArray("first@example.test")},
                  {Setting::SmtpServer, QByteArray("127.0.0.1")},
                  {Setting::SmtpPort, smtpporttable::filled(text, server.port()).toUtf8()}});
    AddressChange change;
    change.previous.publicIp = QStringLiteral("203.0.113.7");
    change.current.publicIp = QStringLiteral("198.51.100.23");
    change.when = QDateTime::currentDateTime();

    const AlertOutcome sent = senders.sendEmail(change, settings);
    refusal = smtpporttable::filled(refusal, server.port());
    switch (outcome) {
    case smtpporttable::Outcome::Sent:
        QCOMPARE(sent.status, AlertOutcome::Sent);
        QTRY_COMPARE(server.messages().size(), 1);
        return;
    case smtpporttable::Outcome::NotAnInteger:
        QCOMPARE(sent.status, AlertOutcome::Skipped);
        QCOMPARE(sent.text, QStringLiteral("the SMTP port: ") + refusal);
        break;
    case smtpporttable::Outcome::NotAPort:
        QCOMPARE(sent.status, AlertOutcome::Failed);
        QCOMPARE(sent.text, refusal);
        break;
    }
    QCOMPARE(server.messages().size(), 0);
}

QTEST_GUILESS_MAIN(TestServiceMailPort)
#include "tst_service_mail_port.moc"
