// The real service in a network namespace of the test's own: an address added
// to an interface is noticed through the kernel's notices and written to the
// history at once, exactly once; a move of the default route to another link,
// which changes the public address too, is one change.
#include "support/EchoHttpServer.h"
#include "support/PrivateNetwork.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "servers/SmtpServer.h"
#include "service_link/ServiceCommands.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QElapsedTimer>

#include <QRegularExpression>
#include <QtTest>
#include <memory>

namespace {

// The interface with the default route has no address at first, so the local
// address is the other interface's; adding one to it changes the local address.
const QString RouteLink = QStringLiteral("velm0");
const QString OtherLink = QStringLiteral("velm1");

bool lineMatches(const QByteArray& line, const QString& publicIp, const QString& localIp)
{
    static const QRegularExpression date(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,"));
    const QString text = QString::fromLatin1(line);
    return date.match(text).hasMatch() &&
           text.endsWith(QLatin1Char(',') + publicIp + QLatin1Char(',') + localIp +
                         QLatin1Char('\r'));
}

} // namespace

class TestServiceNetns : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void addressChangesAreNoticedAtOnce();
    void moveIsOneChange();

private:
    std::unique_ptr<EchoHttpServer> m_echo;
};

void TestServiceNetns::initTestCase()
{
    QString why;
    if (!privatenetwork::enter(&why))
        QSKIP(qPrintable(why));
    QVERIFY2(privatenetwork::addDefaultRoute(RouteLink, OtherLink, &why), qPrintable(why));
    // Made inside the namespace, so that the service there can reach it.
    m_echo = std::make_unique<EchoHttpServer>();
    m_echo->setAddress("203.0.113.7");
}

void TestServiceNetns::addressChangesAreNoticedAtOnce()
{
    RunningService service;
    // Periodic reading is off (an hour): only the kernel's notices can tell.
    QVERIFY2(service.start({m_echo->url()}, {"--local-check-interval", "3600"}),
             qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).mid(2),
                 (QList<QByteArray>{"203.0.113.7", "198.51.100.10"}));
    QCOMPARE(service.historyLines().size(), 0);

    const int checksBefore = m_echo->requestCount();
    QString error;
    QVERIFY2(privatenetwork::ip({"addr", "add", "192.0.2.20/24", "dev", RouteLink}, &error),
             qPrintable(error));
    QTRY_COMPARE(service.historyLines().size(), 1);
    QVERIFY2(lineMatches(service.historyLines().first(), "203.0.113.7", "192.0.2.20"),
             service.historyLines().first().constData());
    QCOMPARE(service.request(service::UpdateStatus).value(service::LocalIpLine),
             QByteArray("192.0.2.20"));

    // The change brings a public check; the same public address is no change.
    QTRY_VERIFY(m_echo->requestCount() > checksBefore);
    QVERIFY(neverWithin(300, [&] { return service.historyLines().size() > 1; }));

    // Taking it away brings back the other interface's address: one more line.
    QVERIFY2(privatenetwork::ip({"addr", "del", "192.0.2.20/24", "dev", RouteLink}, &error),
             qPrintable(error));
    QTRY_COMPARE(service.historyLines().size(), 2);
    QVERIFY2(lineMatches(service.historyLines().last(), "203.0.113.7", "198.51.100.10"),
             service.historyLines().last().constData());
}

void TestServiceNetns::moveIsOneChange()
{
    // Each link has an address; the default route says which one is local.
    QString error;
    QVERIFY2(privatenetwork::ip({"addr", "add", "192.0.2.20/24", "dev", RouteLink}, &error),
             qPrintable(error));
    const auto cleanUp = qScopeGuard([] {
        privatenetwork::ip({"addr", "del", "192.0.2.20/24", "dev", RouteLink});
        privatenetwork::ip({"route", "replace", "default", "dev", RouteLink});
    });
    const auto routeThrough = [](const QString& link) {
        QString why;
        const bool done = privatenetwork::ip({"route", "replace", "default", "dev", link}, &why);
        if (!done)
            qWarning("%s", qPrintable(why));
        return done;
    };
    // (Taking the last address off a link took its routes with it.)
    QVERIFY(routeThrough(RouteLink));
    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start({}), qPrintable(smtp.errorText()));
    m_echo->setAddress("203.0.113.7");
    RunningService service;
    // No periodic checks: only a move brings one.
    QVERIFY2(service.start({m_echo->url()}, {"--echo-interval", "3600", "--move-wait", "1"}),
             qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).mid(2),
                 (QList<QByteArray>{"203.0.113.7", "192.0.2.20"}));
    AlertSettings settings;
    settings.set({{Setting::EmailAlerts, true},
                  {Setting::Recipients, QByteArray("alerts@example.com")},
                  {Setting::SmtpServer, QByteArray("127.0.0.1")},
                  {Setting::SmtpPort, QByteArray::number(smtp.port())}});
    service.save(settings.toSaveList({}));

    // To the other link, where the echo service sees another public address.
    m_echo->setAddress("198.51.100.99");
    QVERIFY(routeThrough(OtherLink));
    QTRY_COMPARE(service.historyLines().size(), 1);
    QVERIFY2(lineMatches(service.historyLines().first(), "198.51.100.99", "198.51.100.10"),
             service.historyLines().first().constData());
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    const QByteArray mail = smtp.messages().first().data;
    QVERIFY2(mail.contains("Public IP Address: 198.51.100.99\r\nLocal IP Address: 198.51.100.10\r\n"
                           "Previous Public IP Address: 203.0.113.7\r\n"
                           "Previous Local IP Address: 192.0.2.20"),
             mail.constData());
    QVERIFY(neverWithin(
        1500, [&] { return service.historyLines().size() > 1 || smtp.messages().size() > 1; }));

    // Back, while the echo service takes the question and never answers: after
    // the move's wait (1 s) the local change alone, with the public address
    // known before.
    m_echo->setReply(200, "203.0.113.7", -1);
    QElapsedTimer sinceMove;
    sinceMove.start();
    QVERIFY(routeThrough(RouteLink));
    QTRY_COMPARE(service.historyLines().size(), 2);
    QVERIFY2(sinceMove.elapsed() >= 1000, qPrintable(QString::number(sinceMove.elapsed())));
    QVERIFY2(lineMatches(service.historyLines().last(), "198.51.100.99", "192.0.2.20"),
             service.historyLines().last().constData());
    // The check gives up after its own limit (2 s) and changes nothing.
    QVERIFY(neverWithin(2500, [&] { return service.historyLines().size() > 2; }));

    // Ten moves in a row: ten lines.
    m_echo->setAddress("203.0.113.7");
    for (int move = 1; move <= 10; ++move) {
        const bool toOther = move % 2 == 1;
        QVERIFY(routeThrough(toOther ? OtherLink : RouteLink));
        const QByteArray local = toOther ? "198.51.100.10" : "192.0.2.20";
        QTRY_COMPARE(service.request(service::UpdateStatus).value(service::LocalIpLine), local);
    }
    QTRY_COMPARE(service.historyLines().size(), 12);
    QVERIFY(neverWithin(1500, [&] { return service.historyLines().size() > 12; }));
    QVERIFY2(lineMatches(service.historyLines().last(), "203.0.113.7", "192.0.2.20"),
             service.historyLines().last().constData());
}

QTEST_GUILESS_MAIN(TestServiceNetns)
#include "tst_service_netns.moc"
