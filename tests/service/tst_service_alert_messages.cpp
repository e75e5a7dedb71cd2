// The texts of the alerts the service sends when an address changes.
#include "common/AlertTexts.h"
#include "service/alerts/AlertMessages.h"

#include <QtTest>

class TestServiceAlertMessages : public QObject
{
    Q_OBJECT
private slots:
    void emailBody();
    void emailBodyWithUnknownAddresses();
    void textBody();
    void recipients_data();
    void recipients();
    void carrierGateway_data();
    void carrierGateway();
};

void TestServiceAlertMessages::emailBody()
{
    QCOMPARE(alertmessages::subject(), QStringLiteral("Velmora Alert"));
    const QString body = alertmessages::emailBody(
        QStringLiteral("12/10/26"), QStringLiteral("2:03:07 PM UTC"), QStringLiteral("desk"),
        {QStringLiteral("203.0.113.7"), QStringLiteral("192.0.2.10")},
        {QStringLiteral("198.51.100.23"), QStringLiteral("192.0.2.20")});
    QCOMPARE(body, QStringLiteral("Date: 12/10/26 2:03:07 PM UTC\r\n"
                                  "===================================\r\n"
                                  "Computer Name: desk\r\n"
                                  "Public IP Address: 198.51.100.23\r\n"
                                  "Local IP Address: 192.0.2.20\r\n"
                                  "Previous Public IP Address: 203.0.113.7\r\n"
                                  "Previous Local IP Address: 192.0.2.10"));
}

void TestServiceAlertMessages::emailBodyWithUnknownAddresses()
{
    const QDateTime when(QDate(2026, 12, 10), QTime(14, 3, 7));
    const QString body = alertmessages::emailBodyAt(when, QStringLiteral("desk"),
                                                    {QString(), QStringLiteral("192.0.2.10")},
                                                    {QStringLiteral("198.51.100.23"), QString()});
    const QStringList lines = body.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 7);
    const QLocale locale;
    QCOMPARE(lines.at(0), QStringLiteral("Date: ") +
                              locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
                              alerttexts::longTime(locale, when.time()));
    QCOMPARE(lines.at(1), QString(35, u'='));
    QCOMPARE(lines.at(4), QStringLiteral("Local IP Address: "));
    QCOMPARE(lines.at(5), QStringLiteral("Previous Public IP Address: "));
    QCOMPARE(lines.at(6), QStringLiteral("Previous Local IP Address: 192.0.2.10"));
}

void TestServiceAlertMessages::textBody()
{
    QCOMPARE(alertmessages::textBody(QStringLiteral("desk"), {QStringLiteral("198.51.100.23"),
                                                              QStringLiteral("192.0.2.20")}),
             QStringLiteral("Computer Name: desk\nPublic IP Address: 198.51.100.23\n"
                            "Local IP Address: 192.0.2.20"));
}

void TestServiceAlertMessages::recipients_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<QString>("first");
    QTest::newRow("one") << QByteArray("a@example.com") << "a@example.com"
                         << "a@example.com";
    QTest::newRow("blanks") << QByteArray(" a@example.com , b@example.com ")
                            << "a@example.com,b@example.com"
                            << "a@example.com";
    QTest::newRow("tab stays") << QByteArray("\ta@example.com") << "\ta@example.com"
                               << "\ta@example.com";
    QTest::newRow("leading comma") << QByteArray(",b@example.com") << ",b@example.com"
                                   << "";
    QTest::newRow("blanks only") << QByteArray("   ") << ""
                                 << "";
}

void TestServiceAlertMessages::recipients()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, cleaned);
    QFETCH(QString, first);
    QCOMPARE(alertmessages::cleanedRecipients(value), cleaned);
    QCOMPARE(alertmessages::firstRecipient(cleaned), first);
}

void TestServiceAlertMessages::carrierGateway_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("gateway");
    QTest::newRow("first") << QByteArray("First") << "txt.example.net";
    QTest::newRow("second") << QByteArray("Second") << "sms.example.org";
    QTest::newRow("a name in quotes") << QByteArray("Third|Quoted") << "third.example.com";
    QTest::newRow("no gateway") << QByteArray("Broken") << "";
    QTest::newRow("none chosen") << QByteArray() << "";
    QTest::newRow("not in the list") << QByteArray("Gone") << "";
    QTest::newRow("names are spelt exactly") << QByteArray("first") << "";
}

void TestServiceAlertMessages::carrierGateway()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, gateway);
    const QList<QByteArray> carriers{"First|txt.example.net", "Second|sms.example.org|extra",
                                     "\"Third|Quoted\"|third.example.com", "Broken"};
    QCOMPARE(alertmessages::carrierGateway(carriers, name), gateway);
}

QTEST_GUILESS_MAIN(TestServiceAlertMessages)
#include "tst_service_alert_messages.moc"
