// The real service in a network namespace of the test's own: an address added
// to an interface is noticed through the kernel's notices and written to the
// history at once, exactly once.
#include "EchoHttpServer.h"
#include "PrivateNetwork.h"
#include "RunningService.h"

#include "service_link/ServiceCommands.h"
#include "support/Absence.h"

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

private:
    std::unique_ptr<EchoHttpServer> m_echo;
};

void TestServiceNetns::initTestCase()
{
    QString why;
    if (!privatenetwork::enter(&why))
        QSKIP(qPrintable(why));
    QVERIFY2(privatenetwork::addLinks(RouteLink, OtherLink, &why), qPrintable(why));
    QVERIFY2(privatenetwork::ip({"addr", "add", "198.51.100.10/24", "dev", OtherLink}, &why),
             qPrintable(why));
    QVERIFY2(privatenetwork::ip({"route", "add", "default", "dev", RouteLink}, &why),
             qPrintable(why));
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

QTEST_GUILESS_MAIN(TestServiceNetns)
#include "tst_service_netns.moc"
