#include "fakes/FakeService.h"
#include "fakes/SilentListener.h"
#include "servers/FreePort.h"
#include "service_link/ServiceCommands.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QtTest>

class TestServiceLink : public QObject
{
    Q_OBJECT

private slots:
    void readCountedList_data();
    void readCountedList();
    void malformedRepliesFail_data();
    void malformedRepliesFail();
    void refusedConnectFails();
    void highBytesTravelUnchanged();
    void saveSettingsSendsOneCountedList();
    void silentServiceFailsAtTheTimeLimit_data();
    void silentServiceFailsAtTheTimeLimit();
    void failuresNameTheirCause();
    void afterASilenceOnlyAskedExchangesAreTried();
    void eachCommandUsesItsOwnConnection();
    void connectionClosedAfterFailure();
};

static QByteArray count(qint32 n)
{
    QByteArray bytes(4, '\0');
    bytes[0] = char((n >> 24) & 0xff);
    bytes[1] = char((n >> 16) & 0xff);
    bytes[2] = char((n >> 8) & 0xff);
    bytes[3] = char(n & 0xff);
    return bytes;
}

void TestServiceLink::readCountedList_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("count 0") << count(0) + "ignored\r\n" << QList<QByteArray>{};
    QTest::newRow("negative count") << count(-5) + "ignored\r\n" << QList<QByteArray>{};
    QTest::newRow("crlf lines") << count(2) + "a\r\nb\r\n" << QList<QByteArray>{"a", "b"};
    QTest::newRow("lf alone") << count(2) + "a\nb\n" << QList<QByteArray>{"a", "b"};
    QTest::newRow("cr cr lf") << count(1) + "abc\r\r\n" << QList<QByteArray>{"abc\r"};
    QTest::newRow("empty and repeated lines") << count(4) + "\r\nx\r\nx\r\n\r\n"
                                              << QList<QByteArray>{"", "x", "x", ""};
    QTest::newRow("lines after the count ignored") << count(1) + "one\r\ntwo\r\nthree\r\n"
                                                   << QList<QByteArray>{"one"};
    QTest::newRow("16384 bytes accepted") << count(1) + QByteArray(16384, 'x') + "\n"
                                          << QList<QByteArray>{QByteArray(16384, 'x')};
    QTest::newRow("16383 and cr accepted") << count(1) + QByteArray(16383, 'x') + "\r\n"
                                           << QList<QByteArray>{QByteArray(16383, 'x')};
}

void TestServiceLink::readCountedList()
{
    QFETCH(QByteArray, reply);
    QFETCH(QList<QByteArray>, lines);
    FakeService fake;
    fake.setReply("UpdateStatus", reply);
    TcpClient client(service::Host, fake.port());
    ServiceTransaction transaction(client);
    QCOMPARE(service::request(transaction, service::UpdateStatus), lines);
}

void TestServiceLink::malformedRepliesFail_data()
{
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("nothing sent") << QByteArray();
    QTest::newRow("short count") << QByteArray("\0\0", 2);
    QTest::newRow("closed before the lines") << count(2);
    QTest::newRow("closed in mid-line") << count(1) + "abc";
    QTest::newRow("last line without lf") << count(2) + "a\r\nb";
    QTest::newRow("fewer lines than announced") << count(3) + "a\r\nb\r\n";
    QTest::newRow("16385 bytes") << count(1) + QByteArray(16385, 'x') + "\n";
    QTest::newRow("16384 and cr") << count(1) + QByteArray(16384, 'x') + "\r\n";
    QTest::newRow("16385 bytes then close") << count(1) + QByteArray(16385, 'x');
}

void TestServiceLink::malformedRepliesFail()
{
    QFETCH(QByteArray, reply);
    FakeService fake;
    fake.setReply("GetSettings", reply);
    TcpClient client(service::Host, fake.port());
    try {
        ServiceTransaction transaction(client);
        service::request(transaction, service::GetSettings);
        QFAIL("the malformed reply was accepted");
    } catch (const ServiceLinkError& e) {
        QVERIFY(qstrlen(e.what()) > 0);
    }
    QVERIFY(!client.isOpen());
}

void TestServiceLink::refusedConnectFails()
{
    TcpClient client(service::Host, testservers::freePort());
    try {
        ServiceTransaction transaction(client);
        QFAIL("connected to a port nothing listens on");
    } catch (const ServiceLinkError& e) {
        QVERIFY(QString::fromUtf8(e.what()).contains("refused", Qt::CaseInsensitive));
    }
}

void TestServiceLink::highBytesTravelUnchanged()
{
    FakeService fake;
    const QByteArray high("caf\xc3\xa9 \x80\xff\xfe", 9);
    fake.setReply("UpdateStatus", count(1) + high + "\r\n");
    TcpClient client(service::Host, fake.port());
    {
        ServiceTransaction transaction(client);
        QCOMPARE(service::request(transaction, service::UpdateStatus), QList<QByteArray>{high});
    }
    QList<QByteArray> values(19, QByteArray());
    values[0] = "18";
    values[11] = high;
    {
        ServiceTransaction transaction(client);
        service::sendSettings(transaction, values);
    }
    QVERIFY(fake.waitForExchanges(2));
    QCOMPARE(fake.exchanges().at(1).list.at(11), high);
}

void TestServiceLink::saveSettingsSendsOneCountedList()
{
    FakeService fake;
    TcpClient client(service::Host, fake.port());
    QList<QByteArray> values{"18"};
    for (int i = 1; i <= 18; ++i)
        values.append("value " + QByteArray::number(i));
    {
        ServiceTransaction transaction(client);
        service::sendSettings(transaction, values);
    }
    QVERIFY(fake.waitForExchanges(1));
    const FakeService::Exchange e = fake.exchanges().first();
    QCOMPARE(e.command, QByteArray("SaveSettings"));
    QCOMPARE(e.list, values);
    QCOMPARE(e.raw, QByteArray("SaveSettings\r\n") + FakeService::countedList(values));
}

void TestServiceLink::silentServiceFailsAtTheTimeLimit_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("status") << QByteArray(service::UpdateStatus);
    QTest::newRow("settings") << QByteArray(service::GetSettings);
    // The save waits for the service to close its end, which it never does.
    QTest::newRow("save") << QByteArray(service::SaveSettings);
}

void TestServiceLink::silentServiceFailsAtTheTimeLimit()
{
    QFETCH(QByteArray, command);
    SilentListener silent;
    const std::chrono::milliseconds limit(300);
    TcpClient client(service::Host, silent.port(), limit);
    QElapsedTimer clock;
    clock.start();
    try {
        ServiceTransaction transaction(client);
        if (command == service::SaveSettings)
            service::sendSettings(transaction, QList<QByteArray>(19, "value"));
        else
            service::request(transaction, command.constData());
        QFAIL("an exchange that got no answer succeeded");
    } catch (const ServiceLinkError& e) {
        QCOMPARE(e.cause(), ServiceLinkError::Cause::NoAnswerInTime);
        QCOMPARE(QString::fromUtf8(e.what()),
                 QStringLiteral("the service did not answer within 300 ms"));
    }
    const qint64 took = clock.elapsed();
    // Not before the limit, and not much after it (a loaded machine may be slow).
    QVERIFY2(took >= limit.count() && took < limit.count() + testtime::scaled(3000),
             qPrintable(QString::number(took)));
    QVERIFY(!client.isOpen());
    QCOMPARE(silent.connections(), 1);
}

void TestServiceLink::failuresNameTheirCause()
{
    {
        TcpClient client(service::Host, testservers::freePort());
        try {
            ServiceTransaction transaction(client);
            QFAIL("connected to a port nothing listens on");
        } catch (const ServiceLinkError& e) {
            QCOMPARE(e.cause(), ServiceLinkError::Cause::NotRunning);
        }
    }
    {
        FakeService fake;
        fake.setReply("UpdateStatus", count(2) + "only one\r\n");
        TcpClient client(service::Host, fake.port());
        try {
            ServiceTransaction transaction(client);
            service::request(transaction, service::UpdateStatus);
            QFAIL("a short reply was accepted");
        } catch (const ServiceLinkError& e) {
            QCOMPARE(e.cause(), ServiceLinkError::Cause::Failed);
        }
    }
}

void TestServiceLink::afterASilenceOnlyAskedExchangesAreTried()
{
    const std::chrono::milliseconds limit(200);
    quint16 port;
    std::unique_ptr<TcpClient> client;
    {
        SilentListener silent;
        port = silent.port();
        client = std::make_unique<TcpClient>(service::Host, port, limit);
        QVERIFY_THROWS_EXCEPTION(ServiceLinkError, [&] {
            ServiceTransaction transaction(*client);
            service::request(transaction, service::UpdateStatus);
        }());
        QCOMPARE(silent.connections(), 1);
        // The program's own exchanges fail at once, without a connection ...
        QElapsedTimer clock;
        clock.start();
        try {
            ServiceTransaction transaction(*client, TcpClient::Attempt::UnlessUnanswered);
            QFAIL("an exchange was tried during the pause");
        } catch (const ServiceLinkError& e) {
            QCOMPARE(e.cause(), ServiceLinkError::Cause::NoAnswerInTime);
        }
        QVERIFY(clock.elapsed() < limit.count());
        QCOMPARE(silent.connections(), 1);
    }
    // ... while one the user asks for is tried; once the service answers, the
    // pause is over.
    FakeService fake(port);
    QVERIFY(fake.isListening());
    fake.setReply("UpdateStatus", FakeService::countedList({"v1", "pc", "1.2.3.4", "10.0.0.2"}));
    {
        ServiceTransaction transaction(*client);
        QCOMPARE(service::request(transaction, service::UpdateStatus).size(), 4);
    }
    ServiceTransaction transaction(*client, TcpClient::Attempt::UnlessUnanswered);
    QCOMPARE(service::request(transaction, service::UpdateStatus).size(), 4);
}

void TestServiceLink::eachCommandUsesItsOwnConnection()
{
    FakeService fake;
    const QByteArray reply = FakeService::countedList({"v1", "host", "1.2.3.4", "10.0.0.2"});
    fake.setReply("GetCellularProviders", FakeService::countedList({"v1", "A|a.example"}));
    fake.setReply("GetSettings", reply);
    fake.setReply("UpdateStatus", reply);
    TcpClient client(service::Host, fake.port());
    for (const char* command :
         {service::GetCellularProviders, service::GetSettings, service::UpdateStatus}) {
        ServiceTransaction transaction(client);
        service::request(transaction, command);
    }
    QVERIFY(fake.waitForExchanges(3));
    QCOMPARE(fake.commands(),
             (QList<QByteArray>{"GetCellularProviders", "GetSettings", "UpdateStatus"}));
    for (const FakeService::Exchange& e : fake.exchanges())
        QVERIFY2(!e.hasList, "a request carried more than its command line");
}

void TestServiceLink::connectionClosedAfterFailure()
{
    FakeService fake;
    fake.setReply("UpdateStatus", count(2) + "only one\r\n");
    fake.setReply("GetSettings", FakeService::countedList({"v", "n", "p", "l"}));
    TcpClient client(service::Host, fake.port());
    QVERIFY_THROWS_EXCEPTION(ServiceLinkError, [&] {
        ServiceTransaction transaction(client);
        service::request(transaction, service::UpdateStatus);
    }());
    QVERIFY(!client.isOpen());
    // Nothing of the failed exchange leaks into the next one.
    ServiceTransaction transaction(client);
    QCOMPARE(service::request(transaction, service::GetSettings).size(), 4);
}

QTEST_APPLESS_MAIN(TestServiceLink)
#include "tst_service_link.moc"
