// The public IPv6 address: a private dnsmasq on ::1 answering AAAA and TXT
// questions and echo services on [::1], asked through the real helper asked
// for IPv6; answers in one /64 agree; and no IPv6 connectivity (in a network
// namespace of the test's own) told apart from a failure.
#include "ServiceLogCapture.h"
#include "support/EchoHttpServer.h"
#include "support/PrivateNetwork.h"

#include "common/PublicIpv6Address.h"
#include "echo_check/AddressAgreement.h"
#include "echo_check/DnsEcho.h"
#include "helpers/EchoCheckReport.h"
#include "servers/DnsServer.h"
#include "servers/FreePort.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <memory>

using namespace std::chrono_literals;
using testservers::DnsServer;

namespace {

ServiceLogCapture* serviceLog = nullptr;

const QHostAddress Loopback6(QHostAddress::LocalHostIPv6);

// The provider's /64 and, after it moves, another one.
DnsServer::Addresses zone(const QByteArray& prefix)
{
    return {{"myip.test", prefix + "::10"},    {"whoami.test", prefix + "::20"},
            {"third.test", prefix + "::30"},   {"liar.test", "2001:db8:99:1::1"},
            {"ula.test", "fd12:3456:789a::5"}, {"linklocal.test", "fe80::1"},
            {"v4only.test", "203.0.113.7"}};
}

const QByteArray Home = "2001:db8:1:2";
const QByteArray Moved = "2001:db8:7:8";

const QList<DnsServer::Txt> Texts{
    {"txt.test", {"2001:db8:1:2::40"}}, {"garbage.test", {"not an address"}},
    {"ula-txt.test", {"fd00::1"}},      {"mapped-txt.test", {"::ffff:203.0.113.7"}},
    {"v4-txt.test", {"203.0.113.7"}},
};

struct Outcome
{
    QString address;
    QString reason;
};

// One check through the helper (or a program that runs it), to its end.
Outcome check(const QList<EchoSource>& sources, const QString& known = {},
              const QString& helper = QStringLiteral(VELMORA_ECHO_HELPER))
{
    IsolatedAddressCheck checker(helper, sources, 500ms, AddressFamily::Ipv6);
    checker.setKnownAddress(known);
    QSignalSpy found(&checker, &PublicAddressSource::found);
    QSignalSpy failed(&checker, &PublicAddressSource::failed);
    checker.start();
    if (!QTest::qWaitFor([&] { return !found.isEmpty() || !failed.isEmpty(); },
                         testtime::scaled(20000)))
        return {{}, QStringLiteral("the check did not end")};
    if (!found.isEmpty())
        return {found.first().first().toString(), {}};
    return {{}, failed.first().first().toString()};
}

} // namespace

class TestServicePublicIpv6 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void echoBody_data();
    void echoBody();
    void agreement_data();
    void agreement();
    void oneQuestion_data();
    void oneQuestion();
    void checkOverIpv6_data();
    void checkOverIpv6();
    void prefixChangeIsNoticed();
    void echoServiceByNameIsAskedOverIpv6();
    // Last: they move the test into network namespaces of its own.
    void noConnectivityIsNone_data();
    void noConnectivityIsNone();

private:
    QList<EchoSource> sources(const QStringList& urlsAndOperators) const;

    DnsServer m_server;
    QUdpSocket m_silent; // takes questions and never answers
    std::unique_ptr<EchoHttpServer> m_echoA;
    std::unique_ptr<EchoHttpServer> m_echoB;
};

void TestServicePublicIpv6::initTestCase()
{
    serviceLog = new ServiceLogCapture;
    if (!m_silent.bind(Loopback6, 0))
        QSKIP("no IPv6 on loopback here");
    QVERIFY2(m_server.start(zone(Home), Texts, Loopback6), qPrintable(m_server.errorText()));
    m_echoA = std::make_unique<EchoHttpServer>(Loopback6);
    m_echoB = std::make_unique<EchoHttpServer>(Loopback6);
}

void TestServicePublicIpv6::cleanupTestCase()
{
    delete serviceLog;
    serviceLog = nullptr;
}

// "<url> <operator>" with {port} the DNS server's, {silent} a socket that
// never answers, {closed} a port nothing listens on, {echoA}/{echoB} the echo
// services' ports.
QList<EchoSource> TestServicePublicIpv6::sources(const QStringList& urlsAndOperators) const
{
    QList<EchoSource> list;
    for (QString text : urlsAndOperators) {
        text.replace(QStringLiteral("{port}"), QString::number(m_server.port()))
            .replace(QStringLiteral("{silent}"), QString::number(m_silent.localPort()))
            .replace(QStringLiteral("{closed}"), QString::number(testservers::freePort()))
            .replace(QStringLiteral("{echoA}"), QString::number(m_echoA->port()))
            .replace(QStringLiteral("{echoB}"), QString::number(m_echoB->port()));
        const std::optional<EchoSource> source = EchoSource::fromText(text);
        if (!source)
            qFatal("not a source: %s", qPrintable(text));
        list.append(*source);
    }
    return list;
}

void TestServicePublicIpv6::echoBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // empty: not accepted

    QTest::newRow("plain") << QByteArray("2a00:1450:4001:82b::200e") << "2a00:1450:4001:82b::200e";
    QTest::newRow("canonical form") << QByteArray(" 2A00:1450:0:0:0:0:0:1\r\n") << "2a00:1450::1";
    QTest::newRow("documentation range") << QByteArray("2001:db8::1\n") << "2001:db8::1";
    QTest::newRow("6to4") << QByteArray("2002:cb00:7107::1") << "2002:cb00:7107::1";
    QTest::newRow("top of global unicast") << QByteArray("3fff:ffff::1") << "3fff:ffff::1";

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("IPv4") << QByteArray("203.0.113.7") << QString();
    QTest::newRow("two addresses") << QByteArray("2001:db8::1\n2001:db8::2") << QString();
    QTest::newRow("with zone") << QByteArray("2001:db8::1%eth0") << QString();
    QTest::newRow("with prefix length") << QByteArray("2001:db8::/64") << QString();
    QTest::newRow("bracketed") << QByteArray("[2001:db8::1]") << QString();
    QTest::newRow("unspecified") << QByteArray("::") << QString();
    QTest::newRow("loopback") << QByteArray("::1") << QString();
    QTest::newRow("IPv4-mapped") << QByteArray("::ffff:203.0.113.7") << QString();
    QTest::newRow("IPv4-translated") << QByteArray("64:ff9b::cb00:7107") << QString();
    QTest::newRow("link-local") << QByteArray("fe80::1") << QString();
    QTest::newRow("unique local") << QByteArray("fd12:3456:789a::1") << QString();
    QTest::newRow("multicast") << QByteArray("ff02::1") << QString();
    QTest::newRow("benchmarking") << QByteArray("2001:2::1") << QString();
    QTest::newRow("below global unicast") << QByteArray("1fff::1") << QString();
    QTest::newRow("above global unicast") << QByteArray("4000::1") << QString();
}

void TestServicePublicIpv6::echoBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(echoreport::publicAddress(body, AddressFamily::Ipv6).value_or(QString()), expected);
    // And as the helper's report gives it.
    if (body.trimmed().isEmpty() || body.trimmed().contains('\n'))
        return;
    const std::optional<echoreport::Result> read =
        echoreport::read("answer dns://x/y " + body.trimmed() + "\nfound " + body.trimmed() + '\n',
                         AddressFamily::Ipv6);
    QVERIFY(read);
    QCOMPARE(read->address, expected);
}

void TestServicePublicIpv6::agreement_data()
{
    QTest::addColumn<QStringList>("answers"); // of operators a, b, c in turn
    QTest::addColumn<QString>("known");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("address");

    const auto agreed = int(AddressAgreement::Outcome::Agreed);
    QTest::newRow("host parts differ") << QStringList{"2001:db8:1:2::a", "2001:db8:1:2:1:2:3:4"}
                                       << "" << agreed << "2001:db8:1:2:1:2:3:4";
    QTest::newRow("third decides")
        << QStringList{"2001:db8:9::1", "2001:db8:1:2::a", "2001:db8:1:2::b"} << "" << agreed
        << "2001:db8:1:2::b";
    QTest::newRow("known prefix, new host part")
        << QStringList{"2001:db8:1:2::77"} << "2001:db8:1:2::a" << agreed << "2001:db8:1:2::77";
    QTest::newRow("new prefix needs a second")
        << QStringList{"2001:db8:7:8::1"} << "2001:db8:1:2::a"
        << int(AddressAgreement::Outcome::Open) << "";
    QTest::newRow("neighbouring /64s differ")
        << QStringList{"2001:db8:1:2::1", "2001:db8:1:3::1", "2001:db8:1:4::1"} << ""
        << int(AddressAgreement::Outcome::Disagreed) << "";
}

void TestServicePublicIpv6::agreement()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, known);
    QFETCH(int, outcome);
    QFETCH(QString, address);

    AddressAgreement agreement(known, false, AddressFamily::Ipv6);
    const QStringList operators{"a", "b", "c"};
    for (qsizetype i = 0; i < answers.size(); ++i)
        agreement.add(
            {QStringLiteral("source-") + operators.at(i), operators.at(i), answers.at(i)});
    QCOMPARE(int(agreement.outcome()), outcome);
    QCOMPARE(agreement.address(), address);
}

void TestServicePublicIpv6::oneQuestion_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("problem");

    QTest::newRow("AAAA") << "dns://[::1]:{port}/myip.test?type=AAAA"
                          << "2001:db8:1:2::10"
                          << "";
    QTest::newRow("TXT") << "dns://[::1]:{port}/txt.test?type=TXT"
                         << "2001:db8:1:2::40"
                         << "";
    QTest::newRow("garbage") << "dns://[::1]:{port}/garbage.test?type=TXT"
                             << ""
                             << "no text of the answer is an IPv6 address";
    QTest::newRow("IPv4 text") << "dns://[::1]:{port}/v4-txt.test?type=TXT"
                               << ""
                               << "no text of the answer is an IPv6 address";
    QTest::newRow("NXDOMAIN") << "dns://[::1]:{port}/nothing.test?type=AAAA"
                              << ""
                              << "the name does not exist (NXDOMAIN)";
    QTest::newRow("no AAAA record") << "dns://[::1]:{port}/v4only.test?type=AAAA"
                                    << ""
                                    << "no record of that type";
    QTest::newRow("unique local AAAA")
        << "dns://[::1]:{port}/ula.test?type=AAAA"
        << ""
        << "the answer fd12:3456:789a::5 is not a global IPv6 address";
    QTest::newRow("link-local AAAA") << "dns://[::1]:{port}/linklocal.test?type=AAAA"
                                     << ""
                                     << "the answer fe80::1 is not a global IPv6 address";
    QTest::newRow("unique local TXT") << "dns://[::1]:{port}/ula-txt.test?type=TXT"
                                      << ""
                                      << "the answer fd00::1 is not a global IPv6 address";
    QTest::newRow("IPv4-mapped TXT")
        << "dns://[::1]:{port}/mapped-txt.test?type=TXT"
        << ""
        << "the answer ::ffff:203.0.113.7 is not a global IPv6 address";
    QTest::newRow("no answer") << "dns://[::1]:{silent}/myip.test?type=AAAA"
                               << ""
                               << "no answer within 300 ms";
    QTest::newRow("nothing listening") << "dns://[::1]:{closed}/myip.test?type=AAAA"
                                       << ""
                                       << "the server cannot be reached";
    QTest::newRow("IPv4 server") << "dns://127.0.0.1:{port}/txt.test?type=TXT"
                                 << ""
                                 << "cannot tell an IPv6 address";
}

void TestServicePublicIpv6::oneQuestion()
{
    QFETCH(QString, url);
    QFETCH(QString, address);
    QFETCH(QString, problem);

    const QList<EchoSource> asked = sources({url});
    const std::optional<DnsQuestion> question = DnsQuestion::fromUrl(asked.first().url);
    QVERIFY(question);
    QElapsedTimer took;
    took.start();
    const dnsecho::Answer answer = dnsecho::ask(*question, 300ms, AddressFamily::Ipv6);
    QCOMPARE(answer.address, address);
    QVERIFY2(answer.problem.contains(problem), qPrintable(answer.problem));
    QVERIFY(!answer.noRoute);
    QCOMPARE_LT(took.elapsed(), testtime::scaled(2000));
}

void TestServicePublicIpv6::checkOverIpv6_data()
{
    QTest::addColumn<QStringList>("sources"); // "<url> <operator>"
    QTest::addColumn<QByteArray>("echoed");   // what both echo services answer
    QTest::addColumn<QString>("found");       // "" when the check fails
    QTest::addColumn<QString>("reason");      // part of the failure's reason

    const auto aaaa = [](const char* name, const char* source) {
        return QStringLiteral("dns://[::1]:{port}/%1?type=AAAA %2")
            .arg(QLatin1String(name), QLatin1String(source));
    };
    QTest::newRow("two operators, host parts differ")
        << QStringList{aaaa("myip.test", "a"), aaaa("whoami.test", "b")} << QByteArray()
        << "2001:db8:1:2::20"
        << "";
    QTest::newRow("IPv4 sources left out")
        << QStringList{"dns://127.0.0.1:{port}/liar.test?type=A v4",
                       "dns://[::1]:{port}/txt.test?type=TXT a", aaaa("myip.test", "b")}
        << QByteArray() << "2001:db8:1:2::10"
        << "";
    QTest::newRow("disagreeing, a third decides")
        << QStringList{aaaa("liar.test", "a"), aaaa("myip.test", "b"), aaaa("third.test", "c")}
        << QByteArray() << "2001:db8:1:2::30"
        << "";
    QTest::newRow("garbage and NXDOMAIN passed over")
        << QStringList{"dns://[::1]:{port}/garbage.test?type=TXT x", aaaa("nothing.test", "y"),
                       aaaa("myip.test", "a"), aaaa("third.test", "b")}
        << QByteArray() << "2001:db8:1:2::30"
        << "";
    QTest::newRow("HTTP echo over IPv6 as the fallback")
        << QStringList{aaaa("nothing.test", "a"), "http://[::1]:{echoA}/ b",
                       "http://[::1]:{echoB}/ c"}
        << QByteArray("2001:db8:1:2::99\n") << "2001:db8:1:2::99"
        << "";
    QTest::newRow("HTTP echo with an IPv4 answer")
        << QStringList{"http://[::1]:{echoA}/ b", "http://[::1]:{echoB}/ c"}
        << QByteArray("203.0.113.7\n") << ""
        << "the answer is not one global IPv6 address";
    QTest::newRow("only private answers")
        << QStringList{aaaa("ula.test", "a"), aaaa("linklocal.test", "b")} << QByteArray() << ""
        << "is not a global IPv6 address";
    QTest::newRow("a source that does not answer is a failure")
        << QStringList{"dns://[::1]:{silent}/myip.test?type=AAAA a"} << QByteArray() << ""
        << "no answer within 500 ms";
}

void TestServicePublicIpv6::checkOverIpv6()
{
    QFETCH(QStringList, sources);
    QFETCH(QByteArray, echoed);
    QFETCH(QString, found);
    QFETCH(QString, reason);

    if (!echoed.isEmpty()) {
        m_echoA->setReply(200, echoed);
        m_echoB->setReply(200, echoed);
    }
    const Outcome outcome = check(this->sources(sources));
    QCOMPARE(outcome.address, found);
    QVERIFY2(outcome.reason.contains(reason), qPrintable(outcome.reason));
    QVERIFY2(!PublicAddressSource::meansNoConnectivity(outcome.reason), qPrintable(outcome.reason));
}

void TestServicePublicIpv6::prefixChangeIsNoticed()
{
    const QList<EchoSource> list = sources(
        {"dns://[::1]:{port}/myip.test?type=AAAA a", "dns://[::1]:{port}/whoami.test?type=AAAA b"});
    const Outcome first = check(list);
    QCOMPARE(first.address, QStringLiteral("2001:db8:1:2::20")); // the last agreeing answer

    // The provider hands out another prefix: a new address, confirmed by two.
    QVERIFY(m_server.setAddresses(zone(Moved)));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return dnsecho::ask(*DnsQuestion::fromUrl(list.first().url), 300ms, AddressFamily::Ipv6)
                       .address == QStringLiteral("2001:db8:7:8::10");
        },
        testtime::scaled(5000)));
    const Outcome moved = check(list, first.address);
    QCOMPARE(moved.address, QStringLiteral("2001:db8:7:8::20"));
    QVERIFY(!publicipv6::samePrefix(first.address, moved.address));

    // Back, with only the host part new: the first answer in the known /64
    // settles it.
    QVERIFY(m_server.setAddresses(zone(Home)));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return dnsecho::ask(*DnsQuestion::fromUrl(list.first().url), 300ms, AddressFamily::Ipv6)
                       .address == QStringLiteral("2001:db8:1:2::10");
        },
        testtime::scaled(5000)));
    const Outcome same = check(list, QStringLiteral("2001:db8:1:2::abcd"));
    QCOMPARE(same.address, QStringLiteral("2001:db8:1:2::10"));
    QVERIFY(publicipv6::samePrefix(same.address, QStringLiteral("2001:db8:1:2::abcd")));
}

void TestServicePublicIpv6::echoServiceByNameIsAskedOverIpv6()
{
    // The helper runs in a mount namespace of its own where the hosts file
    // gives the name an IPv4 and an IPv6 address; the echo services listen
    // on ::1 only.
    QTemporaryDir folder;
    const QString hosts = folder.filePath(QStringLiteral("hosts"));
    const QString wrapper = folder.filePath(QStringLiteral("helper"));
    QFile hostsFile(hosts);
    QVERIFY(hostsFile.open(QIODevice::WriteOnly));
    hostsFile.write("127.0.0.1 echo-a.test echo-b.test\n::1 echo-a.test echo-b.test\n");
    hostsFile.close();
    QFile wrapperFile(wrapper);
    QVERIFY(wrapperFile.open(QIODevice::WriteOnly));
    wrapperFile.write(
        "#!/bin/sh\nexec unshare -m sh -c 'mount --bind \"$0\" /etc/hosts && exec \"$@\"' " +
        hosts.toLocal8Bit() + " " + QByteArray(VELMORA_ECHO_HELPER) + " \"$@\"\n");
    wrapperFile.close();
    QVERIFY(wrapperFile.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("mount"), QStringLiteral("--bind"), hosts,
                 QStringLiteral("/etc/hosts")});
    if (!probe.waitForFinished(testtime::scaled(10000)) ||
        probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        QSKIP("needs a mount namespace of its own (root)");

    m_echoA->setReply(200, "2001:db8:1:2::a\n");
    m_echoB->setReply(200, "2001:db8:1:2::b\n");
    const Outcome outcome = check(
        sources({"http://echo-a.test:{echoA}/ a", "http://echo-b.test:{echoB}/ b"}), {}, wrapper);
    QCOMPARE(outcome.address, QStringLiteral("2001:db8:1:2::b"));
    // Asked by name, as a virtual host would want.
    QCOMPARE(m_echoA->lastHost(), "echo-a.test:" + QByteArray::number(m_echoA->port()));
    QCOMPARE(m_echoB->lastHost(), "echo-b.test:" + QByteArray::number(m_echoB->port()));
}

void TestServicePublicIpv6::noConnectivityIsNone_data()
{
    QTest::addColumn<bool>("disableIpv6"); // else: IPv6 up, no route beyond loopback
    QTest::addColumn<QStringList>("sources");

    const QStringList far{"dns://[2001:db8::53]/myip.test?type=AAAA a",
                          "dns://[2001:db8::54]/o-o.myaddr.test?type=TXT b",
                          "http://[2001:db8::80]/ c", "https://127.0.0.1/ d"};
    QTest::newRow("no IPv6 route") << false << far;
    QTest::newRow("IPv6 disabled")
        << true << QStringList{"dns://[::1]:53/myip.test?type=AAAA a", "http://[::1]:80/ b"} + far;
}

void TestServicePublicIpv6::noConnectivityIsNone()
{
    QFETCH(bool, disableIpv6);
    QFETCH(QStringList, sources);

    QString why;
    if (!privatenetwork::enter(&why))
        QSKIP(qPrintable(why));
    if (disableIpv6) {
        QFile setting(QStringLiteral("/proc/sys/net/ipv6/conf/all/disable_ipv6"));
        QFile onLoopback(QStringLiteral("/proc/sys/net/ipv6/conf/lo/disable_ipv6"));
        if (!setting.open(QIODevice::WriteOnly) || setting.write("1\n") != 2 ||
            !onLoopback.open(QIODevice::WriteOnly) || onLoopback.write("1\n") != 2)
            QSKIP("cannot disable IPv6 in the test's network namespace");
    }
    const Outcome outcome = check(this->sources(sources));
    QCOMPARE(outcome.address, QString());
    QVERIFY2(PublicAddressSource::meansNoConnectivity(outcome.reason), qPrintable(outcome.reason));
    // Each source's own trouble is kept, for the log.
    QVERIFY2(outcome.reason.contains(QStringLiteral("dns://[2001:db8::53]/")),
             qPrintable(outcome.reason));
}

QTEST_GUILESS_MAIN(TestServicePublicIpv6)
#include "tst_service_public_ipv6.moc"
