// The local IPv6 address as a real router makes it: radvd announces a prefix on
// a veth pair in a network namespace of the test's own, and the kernel makes a
// stable address and temporary ones that rotate every few seconds. The real
// service, a real SMTP server and a notification server of the test's own on a
// private session bus see what a user would: rotations are no change, a new
// prefix is one.
#include "NotificationBus.h"
#include "support/EchoHttpServer.h"
#include "support/PrivateNetwork.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "common/ServiceProtocol.h"
#include "common/SettingSpelling.h"
#include "servers/SmtpServer.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString HostSide = QStringLiteral("h0");
const QString RouterSide = QStringLiteral("r0");
const QByteArray Public("203.0.113.5");

// The addresses of one prefix on the host's side, as `ip -j` lists them.
struct PrefixAddresses
{
    QString stable;           // usable: neither temporary, deprecated nor tentative
    QString deprecatedStable; // the stable one, once deprecated
    QStringList temporary;    // usable temporary ones
};

PrefixAddresses addressesIn(const QString& prefix)
{
    QProcess ip;
    ip.start(privatenetwork::ipProgram(),
             {"-j", "-6", "address", "show", "dev", HostSide, "scope", "global"});
    ip.waitForFinished(testtime::scaled(10000));
    PrefixAddresses found;
    for (const QJsonValue& link : QJsonDocument::fromJson(ip.readAllStandardOutput()).array()) {
        for (const QJsonValue& entry : link.toObject().value("addr_info").toArray()) {
            const QJsonObject address = entry.toObject();
            const QString text = address.value("local").toString();
            if (!text.startsWith(prefix) || address.value("tentative").toBool() ||
                address.value("dadfailed").toBool())
                continue;
            const bool deprecated = address.value("deprecated").toBool();
            if (address.value("temporary").toBool()) {
                if (!deprecated)
                    found.temporary << text;
            } else if (deprecated) {
                found.deprecatedStable = text;
            } else {
                found.stable = text;
            }
        }
    }
    return found;
}

QString addressesNow()
{
    QProcess ip;
    ip.start(privatenetwork::ipProgram(), {"-6", "address", "show", "dev", HostSide});
    ip.waitForFinished(testtime::scaled(10000));
    return QString::fromLatin1(ip.readAllStandardOutput());
}

bool testFileContains(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
}

bool writeSetting(const QString& name, const QByteArray& value)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv6/conf/%1/%2").arg(HostSide, name));
    return file.open(QIODevice::WriteOnly) && file.write(value + '\n') == value.size() + 1;
}

// radvd announcing one prefix on the router's side until it is stopped; when
// stopped it announces the prefix deprecated (DeprecatePrefix) and itself no
// longer a router.
class Router
{
public:
    explicit Router(const QString& folder) : m_folder(folder) {}
    ~Router() { stop(); }

    bool start(const QString& prefix, QString* error)
    {
        const QString config = m_folder + QStringLiteral("/radvd.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(QStringLiteral("interface %1 {\n"
                                  "  AdvSendAdvert on;\n"
                                  "  MinRtrAdvInterval 3;\n"
                                  "  MaxRtrAdvInterval 4;\n"
                                  "  AdvDefaultLifetime 600;\n"
                                  "  prefix %2/64 {\n"
                                  "    AdvOnLink on;\n"
                                  "    AdvAutonomous on;\n"
                                  "    AdvValidLifetime 600;\n"
                                  "    AdvPreferredLifetime 300;\n"
                                  "    DeprecatePrefix on;\n"
                                  "  };\n"
                                  "};\n")
                       .arg(RouterSide, prefix)
                       .toLatin1());
        file.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("radvd"),
                        {"--nodaemon", "--logmethod", "stderr", "--config", config, "--pidfile",
                         m_folder + QStringLiteral("/radvd.pid")});
        if (!m_process.waitForStarted(testtime::scaled(10000))) {
            *error = m_process.errorString();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate(); // the last announcement goes out on SIGTERM
        if (!m_process.waitForFinished(testtime::scaled(10000))) {
            m_process.kill();
            m_process.waitForFinished(testtime::scaled(5000));
        }
    }

    QString output() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QString m_folder;
    QProcess m_process;
};

} // namespace

class TestServiceIpv6Router : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rotationsAreNoChangeAndANewPrefixIsOne();

private:
    bool m_private = false;
    QString m_skipReason;
    NotificationBus m_bus;
    NotificationReceiver& m_receiver = m_bus.receiver();
};

void TestServiceIpv6Router::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("radvd")).isEmpty() &&
        QStandardPaths::findExecutable(QStringLiteral("radvd"), {QStringLiteral("/usr/sbin")})
            .isEmpty()) {
        m_skipReason = QStringLiteral("radvd is not installed");
        return;
    }
    m_skipReason = NotificationBus::missing();
    if (!m_skipReason.isEmpty())
        return;
    // Everything from here on, the bus and the servers too, lives in the namespace.
    m_private = privatenetwork::enter(&m_skipReason);
    if (!m_private)
        return;
    QString why;
    QVERIFY2(privatenetwork::ip(
                 {"link", "add", RouterSide, "type", "veth", "peer", "name", HostSide}, &why),
             qPrintable(why));
    // Temporary addresses preferred for 6 s and valid for 12: a new one every
    // few seconds (the kernel makes the next one a few seconds before the last
    // one is deprecated).
    for (const auto& [name, value] : {std::pair{"accept_ra", "2"},
                                      {"use_tempaddr", "2"},
                                      {"temp_prefered_lft", "6"},
                                      {"temp_valid_lft", "12"},
                                      {"max_desync_factor", "1"}})
        QVERIFY2(writeSetting(QString::fromLatin1(name), value), name);
    // The router's side takes no announcements, not even its own.
    {
        QFile routerSide(QStringLiteral("/proc/sys/net/ipv6/conf/%1/accept_ra").arg(RouterSide));
        QVERIFY(routerSide.open(QIODevice::WriteOnly) && routerSide.write("0\n") == 2);
    }
    for (const QString& link : {RouterSide, HostSide})
        QVERIFY2(privatenetwork::ip({"link", "set", link, "up"}, &why), qPrintable(why));
    // An IPv4 side as well, as on a dual-stack line.
    QVERIFY2(privatenetwork::ip({"address", "add", "192.0.2.10/24", "dev", HostSide}, &why),
             qPrintable(why));
    QVERIFY2(privatenetwork::ip({"route", "add", "default", "via", "192.0.2.1"}, &why),
             qPrintable(why));

    QVERIFY2(m_bus.start(&why), qPrintable(why));
}

void TestServiceIpv6Router::rotationsAreNoChangeAndANewPrefixIsOne()
{
    if (!m_private)
        QSKIP(qPrintable(m_skipReason));
    QTemporaryDir folder;
    Router router(folder.path());
    QString why;
    QVERIFY2(router.start(QStringLiteral("2001:db8:1::"), &why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(!addressesIn("2001:db8:1:").stable.isEmpty(), testtime::scaled(20000));
    const QString firstStable = addressesIn("2001:db8:1:").stable;

    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start({}), qPrintable(smtp.errorText()));
    EchoHttpServer echo;
    echo.setAddress(Public);
    RunningService service;
    QProcessEnvironment environment = service.environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    service.setEnvironment(environment);
    QVERIFY2(service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("1")}),
             qPrintable(service.errorText()));
    const auto status = [&service](const char* key) {
        return QString::fromLatin1(service.keyedStatus(key));
    };
    QTRY_COMPARE_WITH_TIMEOUT(status(service::LocalIpv6Key), firstStable, testtime::scaled(10000));
    QCOMPARE(status(service::LocalIpKey), QStringLiteral("192.0.2.10"));
    AlertSettings settings;
    settings.set(Setting::EmailAlerts, true);
    settings.set(Setting::Recipients, QByteArray("alerts@example.com"));
    settings.set(Setting::SmtpServer, QByteArray("127.0.0.1"));
    settings.set(Setting::SmtpPort, QByteArray::number(smtp.port()));
    service.save(settings.toSaveList({}));

    // Temporary addresses come and go: each one routing notices, none a change.
    QSet<QString> temporaries;
    QElapsedTimer watching;
    watching.start();
    while (watching.elapsed() < 30000) {
        for (const QString& address : addressesIn("2001:db8:1:").temporary)
            temporaries.insert(address);
        QTest::qWait(500);
    }
    QVERIFY2(temporaries.size() >= 5, qPrintable(QStringList(temporaries.values()).join(' ')));
    QVERIFY2(service.historyLines().isEmpty(),
             qPrintable(firstStable + u'\n' + addressesNow() + u'\n' +
                        QString::fromLatin1(service.historyLines().join('\n'))));
    QCOMPARE(smtp.messages().size(), 0);
    QCOMPARE(m_receiver.shown.size(), 0);
    QCOMPARE(status(service::LocalIpv6Key), firstStable);

    // The router comes back with another prefix; its last announcement
    // deprecated the old one.
    router.stop();
    QVERIFY2(router.start(QStringLiteral("2001:db8:2::"), &why), qPrintable(why));
    QTRY_VERIFY_WITH_TIMEOUT(!addressesIn("2001:db8:2:").stable.isEmpty(), testtime::scaled(20000));
    const QString secondStable = addressesIn("2001:db8:2:").stable;
    QCOMPARE(addressesIn("2001:db8:1:").deprecatedStable, firstStable);

    QTRY_VERIFY_WITH_TIMEOUT(!service.historyLines().isEmpty(), testtime::scaled(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!smtp.messages().isEmpty(), testtime::scaled(20000));
    QTRY_VERIFY_WITH_TIMEOUT(!m_receiver.shown.isEmpty(), testtime::scaled(10000));
    // Rotations go on in the new prefix: still the one change.
    QTest::qWait(8000);
    const QString seen = QString::fromLatin1(service.historyLines().join('\n')) + u'\n' +
                         service.output() + u'\n' + addressesNow();
    QVERIFY2(service.historyLines().size() == 1, qPrintable(seen));
    QCOMPARE(smtp.messages().size(), 1);
    QCOMPARE(m_receiver.shown.size(), 1);
    const QList<QByteArray> fields = service.historyLines().at(0).trimmed().split(',');
    QCOMPARE(fields.size(), 5);
    QCOMPARE(fields.mid(1), (QList<QByteArray>{Public, "192.0.2.10", "", secondStable.toLatin1()}));
    const QByteArray mail = smtp.messages().at(0).data;
    QVERIFY2(mail.contains("\r\nLocal IPv6 Address: " + secondStable.toLatin1() + "\r\n"),
             mail.constData());
    QVERIFY2(mail.contains("\r\nPrevious Local IPv6 Address: " + firstStable.toLatin1()),
             mail.constData());
    QCOMPARE(m_receiver.shown.at(0).summary,
             QStringLiteral("Local IPv6 changed: %1 \u2192 %2").arg(firstStable, secondStable));
    QCOMPARE(status(service::LocalIpv6Key), secondStable);
    QVERIFY(testFileContains(service.stateDir() + QStringLiteral("/addresses"),
                             "local-ipv6 " + secondStable.toLatin1() + '\n'));

    // Switched off: no IPv6 address shown or kept any more.
    {
        TcpClient client(QStringLiteral("127.0.0.1"), service.port());
        ServiceTransaction transaction(client);
        service::sendKeyedSettings(transaction, {"ipv6=0"});
    }
    QTRY_COMPARE_WITH_TIMEOUT(status(service::LocalIpv6Key), QString(), testtime::scaled(5000));
    QTRY_VERIFY(!testFileContains(service.stateDir() + QStringLiteral("/addresses"), "ipv6"));
    QCOMPARE(status(service::LocalIpKey), QStringLiteral("192.0.2.10"));
    QCOMPARE(service.historyLines().size(), 1);
}

QTEST_GUILESS_MAIN(TestServiceIpv6Router)
#include "tst_service_ipv6_router.moc"
