// The real velmora-service, talked to over loopback with the window's own
// client and framing, and with raw bytes where the window cannot go wrong.
#include "support/EchoHttpServer.h"
#include "support/RawClient.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "common/ServiceProtocol.h"
#include "common/SettingSpelling.h"
#include "service/addresses/LocalAddressChoice.h"
#include "service/addresses/SystemAddressSource.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

// The "GetKeyedSettings" lines of a service whose settings are all at their
// defaults, but for the desktop notifications' value.
QList<QByteArray> keyedDefaults(const QByteArray& notifications)
{
    QList<QByteArray> lines;
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed())
            lines << spelling::keyedLine(row.fileKey,
                                         row.setting == Setting::DesktopNotifications
                                             ? notifications
                                             : AlertSettings().linkValue(row.setting, {}));
    }
    return lines;
}

QList<QByteArray> awkwardValues()
{
    QByteArray everyByte;
    for (int b = 1; b < 256; ++b) {
        if (b != '\n')
            everyByte.append(char(b));
    }
    // The 18 values as the window writes them.
    QList<QByteArray> values = AlertSettings().toValues({});
    const auto set = [&values](Setting setting, const QByteArray& value) {
        values[settingtable::wireIndex(setting)] = value;
    };
    set(Setting::EmailAlerts, "-1");
    set(Setting::RunProgram, "-1");
    set(Setting::Recipients, "a@example.com,b@example.com");
    set(Setting::SmtpServer, "  smtp.example.com ");
    set(Setting::SmtpPort, "");
    set(Setting::UseSsl, "-1");
    set(Setting::SmtpUsername, "user|name,with|separators");
    set(Setting::SmtpPassword, "p\xe4ssw\xf6rd\r\r x"); // an accented password, CRs inside
    set(Setting::Carrier, "7");
    set(Setting::Program, everyByte);
    set(Setting::FtpHost, " ");
    set(Setting::FtpUsername, "\"quoted\"");
    set(Setting::FtpPassword, "%41%2");
    set(Setting::HideTrayIcon, "-1");
    return values;
}

QList<QByteArray> saveList(const QList<QByteArray>& values)
{
    return QList<QByteArray>{"18"} + values;
}

QList<QByteArray> settingsOf(const QList<QByteArray>& getSettingsReply)
{
    return getSettingsReply.mid(service::FirstValueLine, settingtable::WireValueCount);
}

QByteArray saveRequest(const QList<QByteArray>& list)
{
    return framing::encodeLine(service::SaveSettings) + framing::encodeCountedList(list);
}

int openDescriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

} // namespace

class TestServiceProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusCommands();
    void defaultSettings();
    void carrierList();
    void carrierFileReplacesTheBuiltInList();
    void carrierEditedByHandKeepsTheChosenOne();
    void previousWindowExchangeIsByteForByte();
    void keyedCommands();
    void keyedSaveThatDoesNotReadChangesNothing_data();
    void keyedSaveThatDoesNotReadChangesNothing();
    void saveAndLoadEveryByte();
    void saveIsSeenByTheNextExchange();
    void saveReachesAServiceThatIsSlowToTakeIt();
    void booleanAndIntegerSpellings_data();
    void booleanAndIntegerSpellings();
    void slowSenderIsWaitedFor();
    void malformedInputLeavesSettingsAlone_data();
    void malformedInputLeavesSettingsAlone();
    void silentConnectionIsClosed();
    void damagedSettingsFileIsKeptAside_data();
    void damagedSettingsFileIsKeptAside();
    void unwritableSettingsAreReported();
    void oneServicePerUser();
    void manyShortConnections();
    void slowConnectionsDoNotKeepTheWindowOut();
    void recoversFromRunningOutOfDescriptors();
    void answersWhileAnEchoCheckHangs();
    void publicChangeWritesOneHistoryLine();
    void failedEchoCheckWritesNothing();
    void helpAndVersion();
    void checkIntervalFromTheSettingsFile();
    void whatTheHelpersLoadStaysOutOfTheService();
    void helpersRefuseWhatIsNotAJob_data();
    void helpersRefuseWhatIsNotAJob();

private:
    EchoHttpServer m_echo;
};

void TestServiceProcess::initTestCase()
{
    QVERIFY2(QFile::exists(RunningService::program()), qPrintable(RunningService::program()));
    m_echo.setAddress("203.0.113.7");
}

void TestServiceProcess::statusCommands()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QByteArray host = QSysInfo::machineHostName().toLocal8Bit();
    SystemAddressSource system(1h);
    const QByteArray local = system.currentAddress().toLatin1();

    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    const QList<QByteArray> status = service.request(service::UpdateStatus);
    QCOMPARE(status.size(), 4);
    QVERIFY(status[0].startsWith("velmora-service"));
    QCOMPARE(status[service::ComputerNameLine], host);
    QCOMPARE(status[service::LocalIpLine], local);

    const QList<QByteArray> settings = service.request(service::GetSettings);
    QCOMPARE(settings.size(), 22);
    QCOMPARE(settings.mid(0, 4), status);
}

void TestServiceProcess::defaultSettings()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    // Every switch off, every text empty, port 25, no carrier.
    const QList<QByteArray> reply = service.request(service::GetSettings);
    for (int position = 1; position <= settingtable::WireValueCount; ++position) {
        const Setting setting = settingtable::atWirePosition(position);
        const QByteArray expected = setting == Setting::SmtpPort                              ? "25"
                                    : setting == Setting::Carrier                             ? "-1"
                                    : settingtable::info(setting).kind == SettingKind::Switch ? "0"
                                                                                              : "";
        QCOMPARE(reply.value(service::valueLine(setting)), expected);
    }
    QCOMPARE(reply.size(), 22);
    QCOMPARE(service.request(service::GetKeyedSettings).mid(1), keyedDefaults("-1"));
    // Nothing is written before the first save.
    QVERIFY(!QFile::exists(service.settingsFile()));
}

void TestServiceProcess::carrierList()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QList<QByteArray> reply = service.request(service::GetCellularProviders);
    QVERIFY(reply.size() > 20);
    QVERIFY(reply[0].startsWith("velmora-service"));
    for (const QByteArray& line : reply.mid(1))
        QVERIFY2(line.count('|') == 1 && !line.startsWith('|') && !line.endsWith('|'),
                 line.constData());
    // The same order every time: the settings store a position in it.
    QCOMPARE(service.request(service::GetCellularProviders), reply);
}

void TestServiceProcess::carrierFileReplacesTheBuiltInList()
{
    RunningService service;
    QFile file(service.configDir() + QStringLiteral("/carriers.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# my carriers\n Local Telco|sms.example.net\nSecond|gw.example.org\r\n");
    file.close();
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QList<QByteArray> reply = service.request(service::GetCellularProviders);
    QCOMPARE(reply.mid(1),
             (QList<QByteArray>{" Local Telco|sms.example.net", "Second|gw.example.org"}));
}

void TestServiceProcess::carrierEditedByHandKeepsTheChosenOne()
{
    RunningService service;
    const QString carriers = service.configDir() + QStringLiteral("/carriers.txt");
    QVERIFY(testfiles::writeFile(carriers, "First|txt.example.net\nSecond|sms.example.org\n"));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::Carrier)] = "1"; // the window chose "Second"
    service.save(saveList(values));
    QTRY_VERIFY(testfiles::readFile(service.settingsFile()).split('\n').contains("carrier=Second"));
    service.stop();

    // A carrier inserted before the chosen one, by hand.
    QVERIFY(testfiles::writeFile(
        carriers, "First|txt.example.net\nInserted|new.example.com\nSecond|sms.example.org\n"));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QList<QByteArray> list = service.request(service::GetCellularProviders);
    QCOMPARE(list.value(3), QByteArray("Second|sms.example.org"));
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::Carrier)),
             QByteArray("2"));
    service.stop();

    // And taken out: the name stays in the file, the window is told no carrier.
    QVERIFY(testfiles::writeFile(carriers, "First|txt.example.net\n"));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::Carrier)),
             QByteArray("-1"));
    QTRY_VERIFY(service.output().contains(QStringLiteral("\"Second\" is not in the carrier list")));
    service.save(saveList(AlertSettings().toValues({})));
    QTRY_VERIFY(testfiles::readFile(service.settingsFile()).contains("\nrecipients=\n"));
    QVERIFY(testfiles::readFile(service.settingsFile()).split('\n').contains("carrier=Second"));
    QCOMPARE(service.output().count(QStringLiteral("is not in the carrier list")), 1);
}

void TestServiceProcess::previousWindowExchangeIsByteForByte()
{
    // A window of the previous version and what the service of that version
    // answered it, recorded byte for byte; "@LINE0@", "@HOST@", "@PUBLIC@" and
    // "@LOCAL@" stand for line 0 and the status, which depend on the computer.
    const QList<std::pair<QByteArray, QByteArray>> recorded{
        {"GetCellularProviders\r\n",
         QByteArray("\x00\x00\x00\x04", 4) +
             "@LINE0@\r\nFirst|txt.example.net\r\nSecond|sms.example.org\r\n"
             "\"Third|Quoted\"|third.example.com\r\n"},
        {"GetSettings\r\n",
         QByteArray("\x00\x00\x00\x16", 4) +
             "@LINE0@\r\n@HOST@\r\n@PUBLIC@\r\n@LOCAL@\r\n0\r\n0\r\n0\r\n0\r\n\r\n\r\n25\r\n0\r\n0"
             "\r\n\r\n\r\n\r\n-1\r\n\r\n\r\n\r\n\r\n0\r\n"},
        {"UpdateStatus\r\n",
         QByteArray("\x00\x00\x00\x04", 4) + "@LINE0@\r\n@HOST@\r\n@PUBLIC@\r\n@LOCAL@\r\n"},
        {QByteArray("SaveSettings\r\n\x00\x00\x00\x13", 18) +
             "18\r\n-1\r\n0\r\n0\r\n0\r\na@example.com, \"B|b\" <b@example.org>\r\n "
             "smtp.example.com "
             "\r\n0x19\r\n0\r\n-1\r\nuser|name,with "
             "\"quotes\"\r\np\xe4ss\xff\r\n555,123|45\r\n1\r\n"
             "\r\n \r\n\r\nftp \xc3\xa9\"q\"\r\n-1\r\n",
         ""},
        {"GetSettings\r\n",
         QByteArray("\x00\x00\x00\x16", 4) +
             "@LINE0@\r\n@HOST@\r\n@PUBLIC@\r\n@LOCAL@\r\n-1\r\n0\r\n0\r\n0\r\na@example.com, "
             "\"B|b\" "
             "<b@example.org>\r\n smtp.example.com \r\n0x19\r\n0\r\n-1\r\nuser|name,with "
             "\"quotes\"\r\n"
             "p\xe4ss\xff\r\n555,123|45\r\n1\r\n\r\n \r\n\r\nftp \xc3\xa9\"q\"\r\n-1\r\n"},
    };
    RunningService service;
    QVERIFY(testfiles::writeFile(service.configDir() + QStringLiteral("/carriers.txt"),
                                 "First|txt.example.net\nSecond|sms.example.org\n"
                                 "\"Third|Quoted\"|third.example.com\n"));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    const QByteArray line0 = service.request(service::UpdateStatus).value(0);
    QVERIFY(line0.startsWith("velmora-service"));
    SystemAddressSource system(1h);

    for (const auto& [request, reply] : recorded) {
        const bool save = request.startsWith("SaveSettings");
        const RawReply answered = rawExchange(service.port(), {request}, save);
        QVERIFY(answered.closedByService);
        QByteArray expected = reply;
        expected.replace("@LINE0@", line0)
            .replace("@HOST@", QSysInfo::machineHostName().toLocal8Bit())
            .replace("@PUBLIC@", "203.0.113.7")
            .replace("@LOCAL@", system.currentAddress().toLatin1());
        QCOMPARE(answered.bytes, expected);
    }
    // Kept by this version's rules: the carrier by its name.
    QTRY_VERIFY(testfiles::readFile(service.settingsFile()).split('\n').contains("carrier=Second"));
}

void TestServiceProcess::keyedCommands()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QByteArray notifications = settingtable::info(Setting::DesktopNotifications).fileKey;
    QList<QByteArray> reply = service.request(service::GetKeyedSettings);
    QVERIFY(reply.value(0).startsWith("velmora-service"));
    // One line for each setting of the extension, none of the 18.
    QCOMPARE(reply.mid(1), keyedDefaults("-1"));

    {
        TcpClient client(QStringLiteral("127.0.0.1"), service.port());
        ServiceTransaction transaction(client);
        // A key this service does not know, and one of the 18, are passed over.
        service::sendKeyedSettings(transaction, {"a-later-setting=600", notifications + "=0",
                                                 "smtp-server=keyed.example.com"});
    }
    QCOMPARE(service.request(service::GetKeyedSettings).mid(1), keyedDefaults("0"));
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::SmtpServer)),
             QByteArray());
    QTRY_VERIFY(
        testfiles::readFile(service.settingsFile()).split('\n').contains(notifications + "=false"));
    // The 18 saved later leave it as it is.
    service.save(saveList(AlertSettings().toValues({})));
    QCOMPARE(service.request(service::GetKeyedSettings).mid(1), keyedDefaults("0"));

    // The status, by key.
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    const QList<QByteArray> status = service.request(service::UpdateStatus);
    reply = service.request(service::GetKeyedStatus);
    QCOMPARE(reply.size(), 6);
    QCOMPARE(reply.mid(1, 3),
             (QList<QByteArray>{
                 spelling::keyedLine(service::ComputerNameKey, status[service::ComputerNameLine]),
                 spelling::keyedLine(service::PublicIpKey, "203.0.113.7"),
                 spelling::keyedLine(service::LocalIpKey, status[service::LocalIpLine])}));
    // The IPv6 ones: no public IPv6 check here; the local one as the machine has it.
    QCOMPARE(reply.at(4), spelling::keyedLine(service::PublicIpv6Key, ""));
    QCOMPARE(spelling::splitKeyedLine(reply.at(5)).first, QByteArray(service::LocalIpv6Key));
}

void TestServiceProcess::keyedSaveThatDoesNotReadChangesNothing_data()
{
    QTest::addColumn<QByteArray>("request");
    const QByteArray command = framing::encodeLine(service::SaveKeyedSettings);
    const QByteArray notifications = settingtable::info(Setting::DesktopNotifications).fileKey;
    QTest::newRow("not a switch") << command +
                                         framing::encodeCountedList({notifications + "=maybe"});
    QTest::newRow("a line without =") << command + framing::encodeCountedList({notifications});
    QTest::newRow("a bad escape, after a good line")
        << command + framing::encodeCountedList({notifications + "=0", notifications + "=%0"});
    QTest::newRow("too many lines") << command + framing::encodeCount(service::MaxKeyedLines + 1);
}

void TestServiceProcess::keyedSaveThatDoesNotReadChangesNothing()
{
    QFETCH(QByteArray, request);
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const RawReply reply = rawExchange(service.port(), {request}, true);
    QVERIFY(reply.closedByService);
    QCOMPARE(reply.bytes, QByteArray());
    const QByteArray notifications = settingtable::info(Setting::DesktopNotifications).fileKey;
    QCOMPARE(service.request(service::GetKeyedSettings).mid(1), keyedDefaults("-1"));
    QTRY_VERIFY(service.output().contains(QStringLiteral("closed a connection without an answer")));
    QVERIFY(!QFile::exists(service.settingsFile()));
}

void TestServiceProcess::saveAndLoadEveryByte()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QList<QByteArray> values = awkwardValues();
    service.save(saveList(values));
    QCOMPARE(settingsOf(service.request(service::GetSettings)), values);

    // The file is written on the service's writer thread, a moment later.
    struct stat info
    {
    };
    QTRY_COMPARE(::stat(QFile::encodeName(service.settingsFile()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));

    // And again after a restart, from the file.
    service.stop();
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(settingsOf(service.request(service::GetSettings)), values);
}

void TestServiceProcess::saveReachesAServiceThatIsSlowToTakeIt()
{
    // The service only takes the connection after the window has sent
    // everything: by then the window's end must still be known as its own.
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    AlertSettings settings;
    settings.set(Setting::Recipients, QByteArray("paused@example.com"));
    const pid_t pid = pid_t(service.processId());
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    QString failure;
    std::thread window([&] {
        try {
            service.save(settings.toSaveList({}));
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    });
    QTest::qWait(300); // the list is sent and the window would have closed
    QCOMPARE(::kill(pid, SIGCONT), 0);
    window.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::Recipients)),
             QByteArray("paused@example.com"));
    QVERIFY(!service.output().contains(QStringLiteral("refused")));
}

void TestServiceProcess::saveIsSeenByTheNextExchange()
{
    // The window closes its end right after the list and may ask again at once.
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QList<QByteArray> values = AlertSettings().toValues({});
    for (int i = 0; i < 300; ++i) {
        values[settingtable::wireIndex(Setting::PhoneNumber)] = QByteArray::number(i);
        service.save(saveList(values));
        QCOMPARE(settingsOf(service.request(service::GetSettings))
                     .value(settingtable::wireIndex(Setting::PhoneNumber)),
                 values[settingtable::wireIndex(Setting::PhoneNumber)]);
    }
}

void TestServiceProcess::booleanAndIntegerSpellings_data()
{
    QTest::addColumn<Setting>("value");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("True") << Setting::EmailAlerts << QByteArray("True") << QByteArray("-1");
    QTest::newRow("1") << Setting::TextAlerts << QByteArray("1") << QByteArray("-1");
    QTest::newRow("FALSE") << Setting::UseSsl << QByteArray("FALSE") << QByteArray("0");
    QTest::newRow("empty carrier") << Setting::Carrier << QByteArray("") << QByteArray("-1");
    QTest::newRow("hex carrier") << Setting::Carrier << QByteArray("$A") << QByteArray("10");
    QTest::newRow("carrier past the list")
        << Setting::Carrier << QByteArray("999") << QByteArray("-1");
}

void TestServiceProcess::booleanAndIntegerSpellings()
{
    QFETCH(Setting, value);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, stored);
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(value)] = sent;
    service.save(saveList(values));
    QCOMPARE(
        settingsOf(service.request(service::GetSettings)).value(settingtable::wireIndex(value)),
        stored);
}

void TestServiceProcess::slowSenderIsWaitedFor()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::SmtpServer)] = "slow.example.com";
    const QByteArray bytes = saveRequest(saveList(values));
    // In pieces that split the command, the count and a value.
    const RawReply reply = rawExchange(
        service.port(), {bytes.left(5), bytes.mid(5, 10), bytes.mid(15, 30), bytes.mid(45)}, true,
        5000, 50);
    QVERIFY(reply.closedByService);
    QCOMPARE(reply.bytes, QByteArray());
    QCOMPARE(settingsOf(service.request(service::GetSettings))
                 .value(settingtable::wireIndex(Setting::SmtpServer)),
             QByteArray("slow.example.com"));
}

void TestServiceProcess::malformedInputLeavesSettingsAlone_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<bool>("shutdownWrite");

    const QList<QByteArray> good = saveList(AlertSettings().toValues({}));
    auto withLine = [&good](int line, const QByteArray& text) {
        QList<QByteArray> list = good;
        list[line] = text;
        return QList<QByteArray>{saveRequest(list)};
    };
    auto withValue = [&withLine](Setting setting, const QByteArray& text) {
        return withLine(1 + int(settingtable::wireIndex(setting)), text);
    };
    QTest::newRow("unknown command") << QList<QByteArray>{"GetPasswords\r\n"} << false;
    QTest::newRow("wrong letter case") << QList<QByteArray>{"savesettings\r\n"} << false;
    QTest::newRow("over-long line") << QList<QByteArray>{QByteArray(16385, 'S') + "\r\n"} << false;
    QTest::newRow("over-long line without end")
        << QList<QByteArray>{QByteArray(70000, 'S')} << false;
    QTest::newRow("list of 18") << QList<QByteArray>{saveRequest(good.mid(0, 18))} << true;
    QTest::newRow("list of 20") << QList<QByteArray>{saveRequest(good + QList<QByteArray>{"x"})}
                                << true;
    QTest::newRow("count 0") << QList<QByteArray>{framing::encodeLine("SaveSettings") +
                                                  framing::encodeCount(0)}
                             << true;
    QTest::newRow("huge count") << QList<QByteArray>{framing::encodeLine("SaveSettings") +
                                                     framing::encodeCount(0x7fffffff)}
                                << false;
    QTest::newRow("first line not 18") << withLine(0, "19") << true;
    QTest::newRow("boolean yes") << withValue(Setting::EmailAlerts, "yes") << true;
    QTest::newRow("empty boolean") << withValue(Setting::NeedsLogin, "") << true;
    QTest::newRow("carrier abc") << withValue(Setting::Carrier, "abc") << true;
    QTest::newRow("over-long value")
        << withValue(Setting::SmtpServer, QByteArray(16385, 'x')) << true;
    QTest::newRow("list cut short")
        << QList<QByteArray>{withValue(Setting::SmtpServer, "cut.example.com").first().chopped(10)}
        << true;
    QTest::newRow("count cut short")
        << QList<QByteArray>{framing::encodeLine("SaveSettings") + "\0\0"} << true;
    QTest::newRow("command without line end") << QList<QByteArray>{"GetSettings"} << true;
}

void TestServiceProcess::malformedInputLeavesSettingsAlone()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, shutdownWrite);

    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::Recipients)] = "kept@example.com";
    service.save(saveList(values));

    const RawReply reply = rawExchange(service.port(), pieces, shutdownWrite);
    QVERIFY2(reply.closedByService, "the service left the connection open");
    QCOMPARE(reply.bytes, QByteArray());

    QCOMPARE(settingsOf(service.request(service::GetSettings)), values);
    QVERIFY(service.isRunning());
}

void TestServiceProcess::silentConnectionIsClosed()
{
    RunningService service;
    QVERIFY2(
        service.start({m_echo.url()}, {QStringLiteral("--request-timeout"), QStringLiteral("0.3")}),
        qPrintable(service.errorText()));
    const RawReply silent = rawExchange(service.port(), {}, false, 10000);
    QVERIFY(silent.closedByService);
    QCOMPARE(silent.bytes, QByteArray());
    const RawReply halfALine = rawExchange(service.port(), {"UpdateSt"}, false, 10000);
    QVERIFY(halfALine.closedByService);
    QCOMPARE(halfALine.bytes, QByteArray());
    QCOMPARE(service.request(service::UpdateStatus).size(), 4);
}

void TestServiceProcess::damagedSettingsFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a folder in the file's place
    QTest::newRow("garbage") << QByteArray("\x01\x02 not settings at all \xff");
    // A file cut short or with a bad value costs only the keys concerned, not the
    // file: tst_service_settings_file.
    QTest::newRow("unreadable") << QByteArray();
}

void TestServiceProcess::damagedSettingsFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    RunningService service;
    if (content.isEmpty()) {
        QVERIFY(QDir().mkpath(service.settingsFile()));
    } else {
        QFile file(service.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(settingsOf(service.request(service::GetSettings)), AlertSettings().toValues({}));

    const QStringList aside = QDir(service.configDir())
                                  .entryList({QStringLiteral("settings.conf.damaged-*")},
                                             QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(aside.size(), 1);
    QTRY_VERIFY(service.output().contains(aside.first()));
    if (!content.isEmpty()) {
        QFile kept(service.configDir() + QLatin1Char('/') + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
    }

    // Saving writes a new file and leaves the kept one alone.
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::SmtpServer)] = "new.example.com";
    service.save(saveList(values));
    QTRY_COMPARE(settingsOf(service.request(service::GetSettings)), values);
    QTRY_VERIFY(QFileInfo(service.settingsFile()).isFile()); // written a moment later
    QCOMPARE(QDir(service.configDir())
                 .entryList({QStringLiteral("settings.conf.damaged-*")},
                            QDir::AllEntries | QDir::NoDotAndDotDot),
             aside);
}

void TestServiceProcess::unwritableSettingsAreReported()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QVERIFY(QDir().mkpath(service.settingsFile())); // nothing can replace a folder
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::SmtpServer)] = "memory.example.com";
    service.save(saveList(values));
    QTRY_VERIFY(service.output().contains(QStringLiteral("cannot write the settings file")));
    QCOMPARE(settingsOf(service.request(service::GetSettings)), values);
    QVERIFY(QFileInfo(service.settingsFile()).isDir());
}

void TestServiceProcess::oneServicePerUser()
{
    RunningService first;
    const QStringList isRunning{QStringLiteral("--is-running")};
    QCOMPARE(first.runOnce(isRunning), 1);
    QVERIFY2(first.start({m_echo.url()}), qPrintable(first.errorText()));
    QCOMPARE(first.runOnce(isRunning), 0);
    // Another user (another runtime folder) has no service running.
    QCOMPARE(RunningService().runOnce(isRunning), 1);

    RunningService second; // another port and config folder, the same user
    second.setEnvironment(first.environment());
    QString output;
    const int code = second.runOnce(second.arguments({m_echo.url()}), &output);
    QCOMPARE(code, 3);
    QVERIFY2(output.contains(QStringLiteral("already running")), qPrintable(output));
    QCOMPARE(output.count(QLatin1Char('\n')), 1);
    QVERIFY(first.isRunning());

    // SIGTERM ends it cleanly, and the lock goes with it.
    first.stop();
    QVERIFY(first.output().contains(QStringLiteral("stopped")));
    QCOMPARE(first.runOnce(isRunning), 1);
}

void TestServiceProcess::manyShortConnections()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QProcess pidof;
    pidof.start(QStringLiteral("pgrep"),
                {QStringLiteral("-f"), QStringLiteral("--"),
                 QStringLiteral("velmora-service --port %1 ").arg(service.port())});
    QVERIFY(pidof.waitForFinished(testtime::scaled(5000)));
    const qint64 pid = pidof.readAll().trimmed().split('\n').first().toLongLong();
    QVERIFY(pid > 0);

    // Once the first public check (a helper process, with its pipes) is over.
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    QTest::qWait(100);
    const int before = openDescriptors(pid);
    for (int i = 0; i < 2000; ++i) {
        const char* command = i % 3 == 0   ? service::UpdateStatus
                              : i % 3 == 1 ? service::GetSettings
                                           : service::GetCellularProviders;
        QVERIFY(service.request(command).size() >= 4);
    }
    QTRY_COMPARE(openDescriptors(pid), before);
}

namespace {

// Keeps `count` connections of our own user open on the service, each with the
// start of a request and nothing more, opening a new one whenever the service
// closes one, until it is told to stop.
class SlowConnectionFlood
{
public:
    SlowConnectionFlood(quint16 port, int count)
        : m_thread([this, port, count] { run(port, count); })
    {
    }
    ~SlowConnectionFlood()
    {
        m_stop = true;
        m_thread.join();
    }
    int opened() const { return m_opened.load(); }

private:
    void run(quint16 port, int count)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const auto open = [&address, this] {
            const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                ::send(socket, "UpdateSt", 8, MSG_NOSIGNAL);
            ++m_opened;
            return socket;
        };
        std::vector<pollfd> sockets;
        for (int i = 0; i < count; ++i)
            sockets.push_back({open(), POLLIN, 0});
        while (!m_stop) {
            if (::poll(sockets.data(), sockets.size(), 50) <= 0)
                continue;
            for (pollfd& entry : sockets) {
                char byte;
                if (entry.revents != 0 && ::recv(entry.fd, &byte, 1, MSG_DONTWAIT) <= 0) {
                    ::close(entry.fd);
                    entry.fd = open();
                }
                entry.revents = 0;
            }
        }
        for (const pollfd& entry : sockets)
            ::close(entry.fd);
    }

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_opened{0};
    std::thread m_thread;
};

} // namespace

void TestServiceProcess::slowConnectionsDoNotKeepTheWindowOut()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    {
        // More than the service keeps open at once, all of the window's user.
        SlowConnectionFlood flood(service.port(), 300);
        QTRY_VERIFY(flood.opened() >= 300);
        QTest::qWait(200);
        for (int i = 0; i < 50; ++i) {
            try {
                QCOMPARE(service.request(service::UpdateStatus).size(), 4);
            } catch (const ServiceLinkError& e) {
                QFAIL(qPrintable(
                    QStringLiteral("exchange %1: %2").arg(i).arg(QString::fromUtf8(e.what()))));
            }
            QTest::qWait(20);
        }
        QVERIFY2(flood.opened() > 300, "the slow connections were never closed");
    }
    // The flood is summarised, not told one line each.
    const QStringList told = service.output().split(u'\n').filter(QStringLiteral("connection"));
    QVERIFY2(told.size() <= 4, qPrintable(told.join(u'\n')));
    QVERIFY2(told.join(u'\n').contains(QStringLiteral("closed a connection without an answer")),
             qPrintable(told.join(u'\n')));
}

void TestServiceProcess::recoversFromRunningOutOfDescriptors()
{
    RunningService service;
    QVERIFY2(service.startAs({QStringLiteral("prlimit"), QStringLiteral("--nofile=32:32"),
                              QStringLiteral("--")},
                             RunningService::program(), {m_echo.url()},
                             {QStringLiteral("--request-timeout"), QStringLiteral("2")}),
             qPrintable(service.errorText()));
    // Unfinished requests hold descriptors until their time runs out.
    QList<int> sockets;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(service.port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 40; ++i) {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            ::send(socket, "Upd", 3, MSG_NOSIGNAL);
        sockets.append(socket);
    }
    QTRY_VERIFY2(service.output().contains(QStringLiteral("cannot accept connections")),
                 qPrintable(service.output()));
    const RawReply reply =
        rawExchange(service.port(), {framing::encodeLine(service::UpdateStatus)}, false, 10000);
    for (const int socket : sockets)
        ::close(socket);
    QVERIFY2(reply.bytes.startsWith(framing::encodeCount(4)), "no answer after the shortage");
    // Said once, not at every retry.
    QCOMPARE(service.output().count(QStringLiteral("cannot accept connections")), 1);
}

void TestServiceProcess::answersWhileAnEchoCheckHangs()
{
    EchoHttpServer hanging;
    hanging.setReply(200, "203.0.113.7", -1);
    RunningService service;
    QVERIFY2(
        service.start({hanging.url()}, {QStringLiteral("--echo-timeout"), QStringLiteral("60")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE(hanging.requestCount(), 1);
    // The check waits for its answer; the window's exchanges do not.
    for (int i = 0; i < 20; ++i)
        QCOMPARE(service.request(service::UpdateStatus).size(), 4);
    QCOMPARE(service.request(service::GetSettings).size(), 22);
}

void TestServiceProcess::publicChangeWritesOneHistoryLine()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    QCOMPARE(service.historyLines().size(), 0); // learning the first address is no change

    echo.setAddress("198.51.100.23");
    QTRY_COMPARE(service.historyLines().size(), 1);
    const QByteArray line = service.historyLines().first();
    const QByteArray local = service.request(service::UpdateStatus).value(service::LocalIpLine);
    // Fields 4 and 5 hold the IPv6 addresses, only where the computer has one.
    const QByteArray public6 = service.keyedStatus(service::PublicIpv6Key);
    const QByteArray local6 = service.keyedStatus(service::LocalIpv6Key);
    const QByteArray ipv6Fields =
        public6.isEmpty() && local6.isEmpty() ? QByteArray() : ',' + public6 + ',' + local6;
    const QRegularExpression format(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,198\\.51\\.100\\.23,%1%2\\r$")
            .arg(QRegularExpression::escape(QString::fromLatin1(local)),
                 QRegularExpression::escape(QString::fromLatin1(ipv6Fields))));
    QVERIFY2(format.match(QString::fromLatin1(line)).hasMatch(), line.constData());

    const int requests = echo.requestCount();
    QTRY_VERIFY(echo.requestCount() >= requests + 2);
    QCOMPARE(service.historyLines().size(), 1);
}

void TestServiceProcess::failedEchoCheckWritesNothing()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.1")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));

    echo.setReply(200, "<html><body>Your address: 198.51.100.23</body></html>");
    const int requests = echo.requestCount();
    QTRY_VERIFY(echo.requestCount() >= requests + 3);
    QCOMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
             QByteArray("203.0.113.7"));
    QVERIFY(!QFile::exists(service.logFile()));
    // The service's output reaches the test a moment after the service has acted.
    QTRY_VERIFY(service.output().contains(QStringLiteral("could not be checked")));
}

void TestServiceProcess::helpAndVersion()
{
    const RunningService service; // never started
    QString output;
    QCOMPARE(service.runOnce({QStringLiteral("--version")}, &output), 0);
    QVERIFY2(output.startsWith(QStringLiteral("velmora-service")), qPrintable(output));
    for (const QString& help : {QStringLiteral("--help"), QStringLiteral("--help-all")}) {
        // Help only: the call ends at once and never starts the service.
        QCOMPARE(service.runOnce({help}, &output), 0);
        QVERIFY2(output.contains(QStringLiteral("--config-dir")), qPrintable(help));
        QVERIFY2(output.contains(QStringLiteral("--is-running")), qPrintable(help));
        QVERIFY2(output.contains(QStringLiteral("--stop")), qPrintable(help));
        // The exit codes, --stop's among them.
        QVERIFY2(output.contains(QStringLiteral("\nExit status:\n")), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("  7  --stop: no service was running")),
                 qPrintable(output));
    }
    QVERIFY(!QFile::exists(service.stateDir()));
    QCOMPARE(service.runOnce({QStringLiteral("--port"), QStringLiteral("x")}, &output), 2);
    QCOMPARE(output.count(QLatin1Char('\n')), 1);
}

void TestServiceProcess::checkIntervalFromTheSettingsFile()
{
    RunningService service;
    const QByteArray key = settingtable::info(Setting::PublicCheckInterval).fileKey;
    QVERIFY(testfiles::writeFile(service.settingsFile(), key + "=5\n"));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QTRY_VERIFY(
        service.output().contains(QStringLiteral("checking the public address every 30 s")));
    const QString output = service.output();
    QVERIFY2(
        output.contains(QString::fromLatin1(key) +
                        QStringLiteral("=5 is outside 30 to 86400 seconds; checking every 30 s")),
        qPrintable(output));
    // The log names the sources.
    QVERIFY2(output.contains(QStringLiteral("asking in turn: ") + m_echo.url().toString()),
             qPrintable(output));
    // An edit of the file holds at once.
    QVERIFY(testfiles::writeFile(service.settingsFile(), key + "=45\n"));
    QTRY_VERIFY(
        service.output().contains(QStringLiteral("checking the public address every 45 s")));
}

void TestServiceProcess::whatTheHelpersLoadStaysOutOfTheService()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(service.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY(mapped.contains("libQt6Core"));
    // The mail engine and TLS (velmora-send-mail), Qt Network with Kerberos
    // under it (velmora-echo-check, velmora-upload-page), c-ares (velmora-echo-check).
    for (const char* library :
         {"libcurl", "libssl", "libgnutls", "libQt6Network", "libkrb5", "libgssapi", "libcares"})
        QVERIFY2(!mapped.contains(library), library);
}

void TestServiceProcess::helpersRefuseWhatIsNotAJob_data()
{
    QTest::addColumn<QString>("helper");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("mail") << QStringLiteral(VELMORA_MAIL_HELPER) << QByteArray("not a mail job\n");
    QTest::newRow("page") << QStringLiteral(VELMORA_PAGE_HELPER) << QByteArray("not a page job\n");
    QTest::newRow("push") << QStringLiteral(VELMORA_PUSH_HELPER) << QByteArray("not a push job\n");
}

void TestServiceProcess::helpersRefuseWhatIsNotAJob()
{
    QFETCH(QString, helper);
    QFETCH(QByteArray, said);

    QProcess process;
    process.start(helper, {});
    QVERIFY(process.waitForStarted(testtime::scaled(30000)));
    process.write("SaveSettings\r\n");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(testtime::scaled(30000)));
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(process.readAllStandardOutput(), said);
}

QTEST_GUILESS_MAIN(TestServiceProcess)
#include "tst_service_process.moc"
