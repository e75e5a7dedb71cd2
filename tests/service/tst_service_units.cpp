// The service's pure pieces: echo answers, address ranges, request framing,
// the choice of the local address, carrier lists, options.
#include "service/ServiceOptions.h"
#include "service/addresses/LocalAddressChoice.h"
#include "service/addresses/PublicCheckInterval.h"
#include "service/base/ServiceError.h"
#include "service/listener/RequestReader.h"
#include "service/settings/CarrierList.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "common/Ipv4Address.h"
#include "common/ServiceProtocol.h"

#include <QtTest>

using localaddress::InterfaceAddress;
using localaddress::Route;

Q_DECLARE_METATYPE(RequestReader::Status)
Q_DECLARE_METATYPE(QList<Route>)
Q_DECLARE_METATYPE(QList<InterfaceAddress>)

namespace {

QByteArray saveSettingsRequest(const QList<QByteArray>& list)
{
    return framing::encodeLine("SaveSettings") + framing::encodeCountedList(list);
}

QList<QByteArray> defaultSaveList()
{
    return AlertSettings().toSaveList({});
}

Route defaultRoute(const QString& interfaceName, quint32 metric = 0)
{
    Route route;
    route.interfaceName = interfaceName;
    route.metric = metric;
    route.up = true;
    return route;
}

InterfaceAddress address(const QString& interfaceName, const QString& text, bool up = true,
                         bool loopback = false)
{
    return {interfaceName, text, up, loopback};
}

} // namespace

class TestServiceUnits : public QObject
{
    Q_OBJECT
private slots:
    void echoBody_data();
    void echoBody();
    void publicCheckInterval_data();
    void publicCheckInterval();
    void requestReader_data();
    void requestReader();
    void requestReaderWantsTheWholeList();
    void routeTable();
    void localAddressChoice_data();
    void localAddressChoice();
    void carrierLines();
    void builtInCarriers();
    void commandLineRejects_data();
    void commandLineRejects();
    void commandLineDefaults();
};

void TestServiceUnits::echoBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // empty: not accepted

    QTest::newRow("plain") << QByteArray("203.0.113.7") << "203.0.113.7";
    QTest::newRow("trailing newline") << QByteArray("1.2.3.4\n") << "1.2.3.4";
    QTest::newRow("CR LF and blanks") << QByteArray(" 8.8.8.8 \r\n") << "8.8.8.8";
    QTest::newRow("blank lines around") << QByteArray("\n\n198.51.100.23\n\n") << "198.51.100.23";
    QTest::newRow("edge below CGNAT") << QByteArray("100.63.255.255") << "100.63.255.255";
    QTest::newRow("edge above CGNAT") << QByteArray("100.128.0.0") << "100.128.0.0";
    QTest::newRow("edge below 172.16/12") << QByteArray("172.15.255.255") << "172.15.255.255";
    QTest::newRow("edge above 172.16/12") << QByteArray("172.32.0.0") << "172.32.0.0";
    QTest::newRow("top of unicast") << QByteArray("223.255.255.255") << "223.255.255.255";

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("blank lines only") << QByteArray("\n \r\n") << QString();
    QTest::newRow("HTML page") << QByteArray("<html><body>1.2.3.4</body></html>") << QString();
    QTest::newRow("two addresses") << QByteArray("1.2.3.4\n5.6.7.8\n") << QString();
    QTest::newRow("text after") << QByteArray("1.2.3.4 ok") << QString();
    QTest::newRow("with port") << QByteArray("1.2.3.4:80") << QString();
    QTest::newRow("sign") << QByteArray("+1.2.3.4") << QString();
    QTest::newRow("three parts") << QByteArray("1.2.3") << QString();
    QTest::newRow("five parts") << QByteArray("1.2.3.4.5") << QString();
    QTest::newRow("part over 255") << QByteArray("256.1.1.1") << QString();
    QTest::newRow("leading zero") << QByteArray("1.2.3.04") << QString();
    QTest::newRow("IPv6") << QByteArray("2001:db8::1\n") << QString();
    QTest::newRow("IPv4-mapped IPv6") << QByteArray("::ffff:1.2.3.4") << QString();
    QTest::newRow("unspecified") << QByteArray("0.0.0.0") << QString();
    QTest::newRow("private 10/8") << QByteArray("10.1.2.3") << QString();
    QTest::newRow("private 172.16/12") << QByteArray("172.31.255.255") << QString();
    QTest::newRow("private 192.168/16") << QByteArray("192.168.1.1\n") << QString();
    QTest::newRow("CGNAT") << QByteArray("100.64.0.1") << QString();
    QTest::newRow("CGNAT top") << QByteArray("100.127.255.254") << QString();
    QTest::newRow("loopback") << QByteArray("127.0.0.1") << QString();
    QTest::newRow("link-local") << QByteArray("169.254.10.20") << QString();
    QTest::newRow("multicast") << QByteArray("224.0.0.251") << QString();
    QTest::newRow("reserved") << QByteArray("240.0.0.1") << QString();
    QTest::newRow("limited broadcast") << QByteArray("255.255.255.255") << QString();
}

void TestServiceUnits::echoBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    QCOMPARE(ipv4::publicAddressFromEchoBody(body).value_or(QString()), expected);
}

void TestServiceUnits::requestReader_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("endOfInput");
    QTest::addColumn<RequestReader::Status>("status");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("listLines");

    using S = RequestReader::Status;
    QTest::newRow("UpdateStatus") << QByteArray("UpdateStatus\r\n") << false << S::Complete
                                  << QByteArray("UpdateStatus") << 0;
    QTest::newRow("GetSettings, LF only")
        << QByteArray("GetSettings\n") << false << S::Complete << QByteArray("GetSettings") << 0;
    QTest::newRow("GetCellularProviders, bytes after")
        << QByteArray("GetCellularProviders\r\nmore") << false << S::Complete
        << QByteArray("GetCellularProviders") << 0;
    QTest::newRow("SaveSettings") << saveSettingsRequest(defaultSaveList()) << false << S::Complete
                                  << QByteArray("SaveSettings") << 19;
    QTest::newRow("GetKeyedSettings") << QByteArray("GetKeyedSettings\r\n") << false << S::Complete
                                      << QByteArray("GetKeyedSettings") << 0;
    QTest::newRow("GetKeyedStatus") << QByteArray("GetKeyedStatus\r\n") << false << S::Complete
                                    << QByteArray("GetKeyedStatus") << 0;
    const QByteArray keyed = framing::encodeLine("SaveKeyedSettings");
    QTest::newRow("SaveKeyedSettings")
        << keyed + framing::encodeCountedList({"desktop-notifications=0", "newer-key=x"}) << false
        << S::Complete << QByteArray("SaveKeyedSettings") << 2;
    QTest::newRow("SaveKeyedSettings, nothing")
        << keyed + framing::encodeCount(0) << false << S::Complete
        << QByteArray("SaveKeyedSettings") << 0;
    QTest::newRow("SaveKeyedSettings, most lines")
        << keyed + framing::encodeCountedList(QList<QByteArray>(service::MaxKeyedLines, "a=b"))
        << false << S::Complete << QByteArray("SaveKeyedSettings") << service::MaxKeyedLines;
    QTest::newRow("SaveKeyedSettings, too many lines")
        << keyed + framing::encodeCount(service::MaxKeyedLines + 1) << false << S::Rejected
        << QByteArray() << 0;
    QTest::newRow("SaveKeyedSettings, negative count")
        << keyed + framing::encodeCount(-1) << false << S::Rejected << QByteArray() << 0;
    QTest::newRow("line not yet ended")
        << QByteArray("UpdateStatus") << false << S::NeedMore << QByteArray() << 0;
    QTest::newRow("list not yet whole") << saveSettingsRequest(defaultSaveList()).chopped(5)
                                        << false << S::NeedMore << QByteArray("SaveSettings") << 0;

    QTest::newRow("unknown command")
        << QByteArray("GetPasswords\r\n") << false << S::Rejected << QByteArray() << 0;
    QTest::newRow("letter case") << QByteArray("updatestatus\r\n") << false << S::Rejected
                                 << QByteArray() << 0;
    QTest::newRow("trailing blank")
        << QByteArray("UpdateStatus \r\n") << false << S::Rejected << QByteArray() << 0;
    QTest::newRow("over-long line") << QByteArray(16385, 'U') + "\n"
                                    << false << S::Rejected << QByteArray() << 0;
    QTest::newRow("over-long, no line end yet")
        << QByteArray(16385, 'U') << false << S::Rejected << QByteArray() << 0;
    QTest::newRow("list of 18") << saveSettingsRequest(defaultSaveList().mid(1)) << false
                                << S::Rejected << QByteArray() << 0;
    QTest::newRow("list of 20") << saveSettingsRequest(defaultSaveList() << "x") << false
                                << S::Rejected << QByteArray() << 0;
    QTest::newRow("negative count")
        << framing::encodeLine("SaveSettings") + framing::encodeCount(-19) << false << S::Rejected
        << QByteArray() << 0;
    QList<QByteArray> longValue = defaultSaveList();
    longValue[1 + settingtable::wireIndex(Setting::Recipients)] = QByteArray(16385, 'x');
    QTest::newRow("over-long value")
        << saveSettingsRequest(longValue) << false << S::Rejected << QByteArray() << 0;
    QList<QByteArray> longestValue = defaultSaveList();
    // With its CR: 16384 bytes before the LF.
    longestValue[1 + settingtable::wireIndex(Setting::Recipients)] = QByteArray(16383, 'x');
    QTest::newRow("longest value") << saveSettingsRequest(longestValue) << false << S::Complete
                                   << QByteArray("SaveSettings") << 19;
    QTest::newRow("ends inside the command")
        << QByteArray("UpdateSta") << true << S::Rejected << QByteArray() << 0;
    QTest::newRow("ends inside the list") << saveSettingsRequest(defaultSaveList()).chopped(5)
                                          << true << S::Rejected << QByteArray() << 0;
    QTest::newRow("ends after a whole request") << saveSettingsRequest(defaultSaveList()) << true
                                                << S::Complete << QByteArray("SaveSettings") << 19;
}

void TestServiceUnits::requestReader()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, endOfInput);
    QFETCH(RequestReader::Status, status);
    QFETCH(QByteArray, command);
    QFETCH(int, listLines);

    // The same in one piece as byte by byte: the network may split anywhere.
    for (const bool piecemeal : {false, true}) {
        RequestReader reader;
        if (piecemeal) {
            for (const char c : input)
                reader.add(&c, 1);
        } else {
            reader.add(input.constData(), input.size());
        }
        if (endOfInput)
            reader.endOfInput();
        QCOMPARE(reader.status(), status);
        if (status == RequestReader::Status::Complete) {
            QCOMPARE(reader.request().command, command);
            QCOMPARE(reader.request().list.size(), listLines);
        }
        if (status == RequestReader::Status::Rejected)
            QVERIFY(!reader.rejection().isEmpty());
    }
}

void TestServiceUnits::requestReaderWantsTheWholeList()
{
    QList<QByteArray> list = defaultSaveList();
    list[1 + settingtable::wireIndex(Setting::Recipients)] = "smtp.example.com";
    const QByteArray bytes = saveSettingsRequest(list);
    RequestReader reader;
    QCOMPARE(reader.add(bytes.constData(), bytes.size() - 1), RequestReader::Status::NeedMore);
    QCOMPARE(reader.add(bytes.constData() + bytes.size() - 1, 1), RequestReader::Status::Complete);
    QCOMPARE(reader.request().list, list);

    RequestReader silent;
    QCOMPARE(silent.endOfInput(), RequestReader::Status::Rejected);
    QVERIFY(silent.rejection().isEmpty()); // a bare connect-and-close is not worth a report
}

void TestServiceUnits::routeTable()
{
    // As the kernel prints it on a little-endian machine.
    const QByteArray text =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
        "eth9\t00000000\t0100000A\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"
        "broken line\n";
    const QList<Route> routes = localaddress::parseRouteTable(text);
    QCOMPARE(routes.size(), 3);
    QCOMPARE(routes[0].interfaceName, QStringLiteral("wlan0"));
    QCOMPARE(routes[0].destination, 0u);
    QCOMPARE(routes[0].metric, 600u);
    QVERIFY(routes[0].up);
    QCOMPARE(routes[1].destination, 0xC0A80100u);
    QCOMPARE(routes[1].mask, 0xFFFFFF00u);
    QVERIFY(!routes[2].up);
}

void TestServiceUnits::localAddressChoice_data()
{
    QTest::addColumn<QList<Route>>("routes");
    QTest::addColumn<QList<InterfaceAddress>>("addresses");
    QTest::addColumn<QString>("expected");

    const InterfaceAddress lo = address("lo", "127.0.0.1", true, true);
    QTest::newRow("default route's interface")
        << QList<Route>{defaultRoute("wlan0")}
        << QList<InterfaceAddress>{lo, address("eth0", "10.0.0.5"),
                                   address("wlan0", "192.168.1.20")}
        << "192.168.1.20";
    QTest::newRow("lowest metric wins")
        << QList<Route>{defaultRoute("wlan0", 600), defaultRoute("eth0", 100)}
        << QList<InterfaceAddress>{address("wlan0", "192.168.1.20"), address("eth0", "10.0.0.5")}
        << "10.0.0.5";
    QTest::newRow("first address of the interface")
        << QList<Route>{defaultRoute("eth0")}
        << QList<InterfaceAddress>{address("eth0", "10.0.0.5"), address("eth0", "10.0.0.6")}
        << "10.0.0.5";
    Route downRoute = defaultRoute("eth0");
    downRoute.up = false;
    QTest::newRow("route not up: first other address")
        << QList<Route>{downRoute}
        << QList<InterfaceAddress>{lo, address("wlan0", "192.168.1.20"),
                                   address("eth0", "10.0.0.5")}
        << "192.168.1.20";
    QTest::newRow("default route without an address")
        << QList<Route>{defaultRoute("tun0")}
        << QList<InterfaceAddress>{lo, address("eth0", "10.0.0.5")} << "10.0.0.5";
    Route network = defaultRoute("eth0");
    network.destination = 0x0A000000;
    network.mask = 0xFF000000;
    QTest::newRow("no default route")
        << QList<Route>{network} << QList<InterfaceAddress>{lo, address("wlan0", "192.168.1.20")}
        << "192.168.1.20";
    QTest::newRow("interface down")
        << QList<Route>{} << QList<InterfaceAddress>{address("eth0", "10.0.0.5", false)}
        << QString();
    QTest::newRow("loopback only") << QList<Route>{} << QList<InterfaceAddress>{lo} << QString();
    QTest::newRow("nothing") << QList<Route>{} << QList<InterfaceAddress>{} << QString();
}

void TestServiceUnits::localAddressChoice()
{
    QFETCH(QList<Route>, routes);
    QFETCH(QList<InterfaceAddress>, addresses);
    QFETCH(QString, expected);
    QCOMPARE(localaddress::choose(routes, addresses), expected);
}

void TestServiceUnits::carrierLines()
{
    const QByteArray text = "# comment\r\n"
                            " Leading Blank|gw.example\r\n"
                            "\n"
                            "No Bar Here\n"
                            "Three|fields|here\n"
                            "\"Bar only|inside quotes\"\n"
                            "Caf\xe9|sms.example";
    const QList<QByteArray> expected{" Leading Blank|gw.example", "Three|fields|here",
                                     "Caf\xe9|sms.example"};
    QCOMPARE(carriers::parse(text, QStringLiteral("test")), expected);
}

void TestServiceUnits::builtInCarriers()
{
    const QList<QByteArray> lines = carriers::load(QStringLiteral("/nonexistent"));
    QVERIFY(lines.size() >= 20);
    QVERIFY(lines.contains("AT&T|txt.att.net"));
    QVERIFY(lines.contains("Verizon Wireless|vtext.com"));
    QVERIFY(lines.contains("Bell (Canada)|txt.bell.ca"));
    for (const QByteArray& line : lines)
        QCOMPARE(line.count('|'), 1);
}

void TestServiceUnits::commandLineRejects_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"};
    QTest::newRow("port 0") << QStringList{"--port", "0"};
    QTest::newRow("port too big") << QStringList{"--port", "65536"};
    QTest::newRow("port not a number") << QStringList{"--port", "http"};
    QTest::newRow("echo URL not http") << QStringList{"--echo-url", "ftp://127.0.0.1/"};
    QTest::newRow("negative interval") << QStringList{"--echo-interval", "-1"};
    QTest::newRow("stray argument") << QStringList{"systray"};
}

void TestServiceUnits::commandLineRejects()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("velmora-service"));
    QVERIFY_THROWS_EXCEPTION(UsageError, parseCommandLine(arguments));
}

void TestServiceUnits::commandLineDefaults()
{
    qputenv("XDG_CONFIG_HOME", "/tmp/velmora-test-config-home");
    qputenv("XDG_STATE_HOME", "/tmp/velmora-test-state-home");
    const QTemporaryDir runtime; // the user's own, closed to others
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const CommandLine line = parseCommandLine({QStringLiteral("velmora-service")});
    QCOMPARE(line.action, CommandLine::Action::Run);
    QCOMPARE(line.options.port, quint16(9522));
    QCOMPARE(line.options.configDir, QStringLiteral("/tmp/velmora-test-config-home/velmora"));
    QCOMPARE(line.options.stateDir, QStringLiteral("/tmp/velmora-test-state-home/velmora"));
    QCOMPARE(line.options.logFile,
             QStringLiteral("/tmp/velmora-test-state-home/velmora/velmora.log"));
    QCOMPARE(line.options.formerLogFile, QCoreApplication::applicationDirPath() + "/velmora.log");
    QCOMPARE(line.options.lockFile, runtime.path() + QStringLiteral("/velmora-service.lock"));
    QVERIFY(line.options.echoUrls.isEmpty());
    QVERIFY(!line.options.echoInterval); // the settings file's
    QCOMPARE(line.options.echoMinGap, std::chrono::milliseconds(60000));
    QCOMPARE(line.options.moveWait, std::chrono::milliseconds(15000));

    const CommandLine quick =
        parseCommandLine({QStringLiteral("velmora-service"), QStringLiteral("--echo-interval"),
                          QStringLiteral("0.25"), QStringLiteral("--is-running")});
    QCOMPARE(quick.action, CommandLine::Action::QueryRunning);
    QCOMPARE(quick.options.echoInterval.value_or(std::chrono::milliseconds(0)),
             std::chrono::milliseconds(250));

    // A log of the test's own: the one beside the program is not the service's to move.
    const CommandLine ownLog =
        parseCommandLine({QStringLiteral("velmora-service"), QStringLiteral("--log-file"),
                          QStringLiteral("/tmp/velmora-test.log"), QStringLiteral("--stop")});
    QCOMPARE(ownLog.action, CommandLine::Action::Stop);
    QCOMPARE(ownLog.options.logFile, QStringLiteral("/tmp/velmora-test.log"));
    QVERIFY(ownLog.options.formerLogFile.isEmpty());
}

void TestServiceUnits::publicCheckInterval_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<int>("seconds");
    QTest::newRow("the default") << 60 << 60;
    QTest::newRow("the least") << 30 << 30;
    QTest::newRow("below the least") << 5 << 30;
    QTest::newRow("zero") << 0 << 30;
    QTest::newRow("negative") << -60 << 30;
    QTest::newRow("an hour") << 3600 << 3600;
    QTest::newRow("over a day") << 100000 << 86400;
}

void TestServiceUnits::publicCheckInterval()
{
    QFETCH(int, setting);
    QFETCH(int, seconds);
    QCOMPARE(publicinterval::fromSetting(setting), std::chrono::seconds(seconds));
}

QTEST_GUILESS_MAIN(TestServiceUnits)
#include "tst_service_units.moc"
