// The IPv6 addresses in the service: the choice of the local one from what
// rtnetlink tells, when a public one counts as changed, the files the service
// keeps (of this version and of the one before IPv6), the history line, the
// alert and notification texts, and the watcher with stand-in sources.
#include "helpers/PublicAddressSource.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/Addresses.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/LocalAddressChoice.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/addresses/RememberedAddresses.h"
#include "service/alerts/AlertMessages.h"
#include "service/alerts/HistoryLog.h"
#include "service/alerts/PendingAlerts.h"
#include "service/notify/ChangeNotices.h"
#include "support/TestTime.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <linux/if_addr.h>

using namespace std::chrono_literals;

namespace {

const QDateTime FixedTime(QDate(2026, 12, 10), QTime(14, 3, 7));

class ScriptedLocalSource : public LocalAddressSource
{
public:
    QString currentAddress() override { return ipv4; }
    QString currentIpv6Address() override
    {
        ++ipv6Readings;
        return ipv6;
    }
    void change(const QString& address)
    {
        ipv6 = address;
        emit mayHaveChanged();
    }

    QString ipv4 = QStringLiteral("192.0.2.10");
    QString ipv6;
    int ipv6Readings = 0;
};

// A public address source that answers what the test sets, as soon as the
// event loop turns; an empty answer is a failure.
class ScriptedPublicSource : public PublicAddressSource
{
public:
    void start() override
    {
        if (m_running)
            return;
        m_running = true;
        ++starts;
        QTimer::singleShot(0, this, [this] {
            m_running = false;
            if (answer.isEmpty())
                emit failed(failure);
            else
                emit found(answer);
        });
    }
    bool isRunning() const override { return m_running; }

    QString answer;
    QString failure = PublicAddressSource::NoConnectivity + QStringLiteral(": no route");
    int starts = 0;

private:
    bool m_running = false;
};

QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(contents), contents.size());
}

const AddressWatcher::Timing Quick{1h, 0ms, 2s};

} // namespace

using Candidates = QList<localaddress::Ipv6InterfaceAddress>;
using DefaultRoutes = QList<localaddress::Ipv6DefaultRoute>;
Q_DECLARE_METATYPE(Addresses)

class TestServiceIpv6 : public QObject
{
    Q_OBJECT
private slots:
    void localChoice_data();
    void localChoice();
    void publicCountsByNetwork_data();
    void publicCountsByNetwork();
    void rememberedFile_data();
    void rememberedFile();
    void pendingAlertsFile_data();
    void pendingAlertsFile();
    void historyLine_data();
    void historyLine();
    void alertTexts();
    void notices_data();
    void notices();
    void watcherRotationIsNoChange();
    void watcherNewPrefixIsOneChange();
    void watcherPublicByNetwork();
    void watcherNoIpv6IsNoneWithoutAlert();
    void watcherKeepsIpv6WhenSourcesDisagree();
    void noIpv6SourceIsNoneWithoutAHelper();
    void watcherSwitchedOff();
};

void TestServiceIpv6::localChoice_data()
{
    QTest::addColumn<DefaultRoutes>("routes");
    QTest::addColumn<Candidates>("addresses");
    QTest::addColumn<QString>("chosen");

    const DefaultRoutes onTwo{{2, 1024}};
    const auto on2 = [](const char* address, quint32 flags) {
        return localaddress::Ipv6InterfaceAddress{2, QString::fromLatin1(address), flags};
    };
    const quint32 dynamic = IFA_F_MANAGETEMPADDR; // the stable address of a prefix
    QTest::newRow("stable only") << onTwo << Candidates{on2("2001:db8:1::5", dynamic)}
                                 << "2001:db8:1::5";
    QTest::newRow("permanent (set by hand)")
        << onTwo << Candidates{on2("2001:db8:1::5", IFA_F_PERMANENT)} << "2001:db8:1::5";
    QTest::newRow("temporaries beside the stable one")
        << onTwo
        << Candidates{on2("2001:db8:1::a1", IFA_F_TEMPORARY), on2("2001:db8:1::5", dynamic),
                      on2("2001:db8:1::a2", IFA_F_TEMPORARY | IFA_F_DEPRECATED)}
        << "2001:db8:1::5";
    QTest::newRow("temporary only")
        << onTwo << Candidates{on2("2001:db8:1::a1", IFA_F_TEMPORARY)} << "";
    QTest::newRow("old prefix deprecated, new one ready")
        << onTwo
        << Candidates{on2("2001:db8:1::5", dynamic | IFA_F_DEPRECATED),
                      on2("2001:db8:2::5", dynamic)}
        << "2001:db8:2::5";
    QTest::newRow("old prefix deprecated, new one tentative")
        << onTwo
        << Candidates{on2("2001:db8:1::5", dynamic | IFA_F_DEPRECATED),
                      on2("2001:db8:2::5", dynamic | IFA_F_TENTATIVE)}
        << "";
    QTest::newRow("duplicate found")
        << onTwo << Candidates{on2("2001:db8:1::5", IFA_F_DADFAILED | IFA_F_TENTATIVE)} << "";
    QTest::newRow("optimistic") << onTwo << Candidates{on2("2001:db8:1::5", IFA_F_OPTIMISTIC)}
                                << "2001:db8:1::5";
    QTest::newRow("link-local only") << onTwo << Candidates{on2("fe80::1", IFA_F_PERMANENT)} << "";
    QTest::newRow("unique local alone")
        << onTwo << Candidates{on2("fe80::1", IFA_F_PERMANENT), on2("fd12:3456::5", dynamic)}
        << "fd12:3456::5";
    QTest::newRow("global before unique local")
        << onTwo << Candidates{on2("fd12:3456::5", dynamic), on2("2001:db8:1::5", dynamic)}
        << "2001:db8:1::5";
    QTest::newRow("the lowest of two stable ones")
        << onTwo << Candidates{on2("2001:db8:2::5", dynamic), on2("2001:db8:1::9", dynamic)}
        << "2001:db8:1::9";
    QTest::newRow("another interface's address")
        << onTwo
        << Candidates{{3, QStringLiteral("2001:db8:9::5"), dynamic}, on2("2001:db8:1::5", dynamic)}
        << "2001:db8:1::5";
    QTest::newRow("the default route with the lowest metric")
        << DefaultRoutes{{2, 1024}, {3, 100}}
        << Candidates{on2("2001:db8:1::5", dynamic), {3, QStringLiteral("2001:db8:9::5"), dynamic}}
        << "2001:db8:9::5";
    // Listed in either order, two equal routes give the same choice.
    QTest::newRow("two equal default routes")
        << DefaultRoutes{{3, 1024}, {2, 1024}}
        << Candidates{on2("2001:db8:1::5", dynamic), {3, QStringLiteral("2001:db8:9::5"), dynamic}}
        << "2001:db8:1::5";
    QTest::newRow("two equal default routes, the other order")
        << DefaultRoutes{{2, 1024}, {3, 1024}}
        << Candidates{{3, QStringLiteral("2001:db8:9::5"), dynamic}, on2("2001:db8:1::5", dynamic)}
        << "2001:db8:1::5";
    QTest::newRow("no default route: any interface")
        << DefaultRoutes{}
        << Candidates{{1, QStringLiteral("::1"), IFA_F_PERMANENT},
                      {3, QStringLiteral("2001:db8:9::5"), dynamic}}
        << "2001:db8:9::5";
    QTest::newRow("nothing") << DefaultRoutes{} << Candidates{} << "";
    QTest::newRow("not an address") << onTwo << Candidates{on2("2001:db8::g", dynamic)} << "";
}

void TestServiceIpv6::localChoice()
{
    QFETCH(DefaultRoutes, routes);
    QFETCH(Candidates, addresses);
    QFETCH(QString, chosen);
    QCOMPARE(localaddress::chooseIpv6(routes, addresses), chosen);
}

void TestServiceIpv6::publicCountsByNetwork_data()
{
    QTest::addColumn<Addresses>("previous");
    QTest::addColumn<Addresses>("current");
    QTest::addColumn<bool>("changed");

    const Addresses base{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"};
    Addresses rotated = base;
    rotated.publicIpv6 = "2001:db8:1:0:b::2";
    QTest::newRow("same /64, other address") << base << rotated << false;
    Addresses newNetwork = base;
    newNetwork.publicIpv6 = "2001:db8:1:1:a::1";
    QTest::newRow("other /64") << base << newNetwork << true;
    Addresses local = base;
    local.localIpv6 = "2001:db8:1::6";
    QTest::newRow("local IPv6, exactly") << base << local << true;
    QTest::newRow("IPv6 learned") << base.withoutIpv6() << base << false;
    QTest::newRow("IPv6 gone") << base << base.withoutIpv6() << false;
    Addresses ipv4 = base;
    ipv4.publicIp = "198.51.100.23";
    QTest::newRow("IPv4 alone") << base << ipv4 << true;
    QTest::newRow("nothing") << base << base << false;
}

void TestServiceIpv6::publicCountsByNetwork()
{
    QFETCH(Addresses, previous);
    QFETCH(Addresses, current);
    QFETCH(bool, changed);
    QCOMPARE(current.changedFrom(previous), changed);
}

void TestServiceIpv6::rememberedFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<Addresses>("loaded");
    // As the version before IPv6 wrote it.
    QTest::newRow("previous version") << QByteArray("public 203.0.113.7\nlocal 192.0.2.10\n")
                                      << Addresses{"203.0.113.7", "192.0.2.10"};
    QTest::newRow("with IPv6")
        << QByteArray("public 203.0.113.7\nlocal 192.0.2.10\npublic-ipv6 2001:DB8:1:0:a:0:0:1\n"
                      "local-ipv6 2001:db8:1::5\n")
        << Addresses{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"};
    QTest::newRow("local IPv6 only") << QByteArray("public \nlocal \nlocal-ipv6 2001:db8:1::5\n")
                                     << Addresses{"", "", "", "2001:db8:1::5"};
    QTest::newRow("IPv6 that is not")
        << QByteArray("public 203.0.113.7\nlocal 192.0.2.10\npublic-ipv6 203.0.113.8\n"
                      "local-ipv6 2001:db8::1::5\n")
        << Addresses{"203.0.113.7", "192.0.2.10"};
}

void TestServiceIpv6::rememberedFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(Addresses, loaded);
    QTemporaryDir folder;
    const RememberedAddresses remembered(folder.path());
    writeFile(remembered.filePath(), contents);
    QCOMPARE(remembered.load(), loaded);

    remembered.save(loaded);
    QCOMPARE(remembered.load(), loaded);
    // Without IPv6 the file is the one the version before wrote.
    if (!loaded.hasIpv6())
        QCOMPARE(fileContents(remembered.filePath()),
                 QByteArray("public 203.0.113.7\nlocal 192.0.2.10\n"));
}

void TestServiceIpv6::pendingAlertsFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<Addresses>("previous");
    QTest::addColumn<Addresses>("current");
    QTest::newRow("previous version")
        << QByteArray("previous 203.0.113.7 -\ncurrent 198.51.100.23 192.0.2.20\n"
                      "when 2026-12-10T14:03:07\nalerts e-mail,FTP page\n")
        << Addresses{"203.0.113.7", ""} << Addresses{"198.51.100.23", "192.0.2.20"};
    QTest::newRow("with IPv6")
        << QByteArray("previous 203.0.113.7 192.0.2.20\ncurrent 203.0.113.7 192.0.2.20\n"
                      "when 2026-12-10T14:03:07\nalerts e-mail,FTP page\n"
                      "previous-ipv6 - 2001:db8:1::5\ncurrent-ipv6 2001:db8:2:0:a::1 "
                      "2001:db8:2::5\n")
        << Addresses{"203.0.113.7", "192.0.2.20", "", "2001:db8:1::5"}
        << Addresses{"203.0.113.7", "192.0.2.20", "2001:db8:2:0:a::1", "2001:db8:2::5"};
}

void TestServiceIpv6::pendingAlertsFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(Addresses, previous);
    QFETCH(Addresses, current);
    QTemporaryDir folder;
    const PendingAlerts pending(folder.path());
    writeFile(pending.filePath(), contents);
    std::optional<PendingAlerts::Change> change = pending.load();
    QVERIFY(change);
    QCOMPARE(change->previous, previous);
    QCOMPARE(change->current, current);
    QCOMPARE(change->when, FixedTime);
    QCOMPARE(change->alerts, (QStringList{"e-mail", "FTP page"}));

    // Written back as it was read.
    pending.save(*change);
    QCOMPARE(fileContents(pending.filePath()), contents);

    // A damaged IPv6 line makes it a file that is not whole.
    if (previous.hasIpv6() || current.hasIpv6()) {
        writeFile(pending.filePath(),
                  QByteArray(contents).replace("2001:db8:2::5", "2001:db8:2::5::6"));
        QVERIFY(!pending.load());
    }
}

void TestServiceIpv6::historyLine_data()
{
    QTest::addColumn<Addresses>("addresses");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no IPv6: the three fields as before")
        << Addresses{"203.0.113.7", "192.0.2.10"}
        << QByteArray("2026-12-10 14:03:07,203.0.113.7,192.0.2.10\r\n");
    QTest::newRow("both IPv6")
        << Addresses{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"}
        << QByteArray(
               "2026-12-10 14:03:07,203.0.113.7,192.0.2.10,2001:db8:1:0:a::1,2001:db8:1::5\r\n");
    QTest::newRow("local IPv6 only") << Addresses{"203.0.113.7", "192.0.2.10", "", "2001:db8:1::5"}
                                     << QByteArray("2026-12-10 14:03:07,203.0.113.7,192.0.2.10,,"
                                                   "2001:db8:1::5\r\n");
}

void TestServiceIpv6::historyLine()
{
    QFETCH(Addresses, addresses);
    QFETCH(QByteArray, line);
    QTemporaryDir folder;
    HistoryLog log(folder.filePath(QStringLiteral("velmora.log")));
    log.append(FixedTime, addresses);
    QCOMPARE(fileContents(log.path()), line);
}

void TestServiceIpv6::alertTexts()
{
    const Addresses before{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"};
    const Addresses after{"203.0.113.7", "192.0.2.10", "2001:db8:2:0:b::2", "2001:db8:2::5"};
    QCOMPARE(alertmessages::emailBody("12/10/26", "2:03:07 PM", "pc-1", before, after),
             QStringLiteral("Date: 12/10/26 2:03:07 PM\r\n===================================\r\n"
                            "Computer Name: pc-1\r\nPublic IP Address: 203.0.113.7\r\n"
                            "Local IP Address: 192.0.2.10\r\n"
                            "Public IPv6 Address: 2001:db8:2:0:b::2\r\n"
                            "Local IPv6 Address: 2001:db8:2::5\r\n"
                            "Previous Public IP Address: 203.0.113.7\r\n"
                            "Previous Local IP Address: 192.0.2.10\r\n"
                            "Previous Public IPv6 Address: 2001:db8:1:0:a::1\r\n"
                            "Previous Local IPv6 Address: 2001:db8:1::5"));
    QCOMPARE(alertmessages::textBody("pc-1", after),
             QStringLiteral("Computer Name: pc-1\nPublic IP Address: 203.0.113.7\n"
                            "Local IP Address: 192.0.2.10\nPublic IPv6 Address: "
                            "2001:db8:2:0:b::2\nLocal IPv6 Address: 2001:db8:2::5"));
    // Without IPv6, the texts of before, line for line.
    QVERIFY(!alertmessages::emailBody("d", "t", "pc-1", before.withoutIpv6(), after.withoutIpv6())
                 .contains(QStringLiteral("IPv6")));
    QCOMPARE(alertmessages::textBody("pc-1", after.withoutIpv6()).count(u'\n'), 2);
}

void TestServiceIpv6::notices_data()
{
    QTest::addColumn<Addresses>("previous");
    QTest::addColumn<Addresses>("current");
    QTest::addColumn<QStringList>("notices");
    const Addresses base{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"};
    Addresses prefix = base;
    prefix.publicIpv6 = "2001:db8:2:0:b::2";
    prefix.localIpv6 = "2001:db8:2::5";
    QTest::newRow("new prefix") << base << prefix
                                << QStringList{"Public IPv6 changed: 2001:db8:1:0:a::1 \u2192 "
                                               "2001:db8:2:0:b::2",
                                               "Local IPv6 changed: 2001:db8:1::5 \u2192 "
                                               "2001:db8:2::5"};
    Addresses rotated = base;
    rotated.publicIpv6 = "2001:db8:1:0:c::3";
    QTest::newRow("rotated in the same /64") << base << rotated << QStringList{};
    QTest::newRow("IPv6 gone") << base << base.withoutIpv6() << QStringList{};
}

void TestServiceIpv6::notices()
{
    QFETCH(Addresses, previous);
    QFETCH(Addresses, current);
    QFETCH(QStringList, notices);
    QCOMPARE(changeNotices(previous, current), notices);
}

// Temporary addresses come and go (each one a routing notice) around the
// stable address: nothing changes.
void TestServiceIpv6::watcherRotationIsNoChange()
{
    ScriptedLocalSource local;
    local.ipv6 = QStringLiteral("2001:db8:1::5");
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    AddressWatcher watcher(local, ipv4, ipv6, Quick);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    watcher.start();
    QTRY_COMPARE(watcher.current(),
                 (Addresses{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:1::5"}));
    for (int i = 0; i < 5; ++i) {
        emit local.mayHaveChanged(); // a temporary address made or expired
        ipv6.answer = QStringLiteral("2001:db8:1:0:%1::1").arg(i + 11);
        watcher.checkNow();
        QTRY_COMPARE(watcher.current().publicIpv6, ipv6.answer);
    }
    QCOMPARE(changed.size(), 0);
}

// The router announces a new prefix: the local and the public IPv6 address
// change together, one change with both.
void TestServiceIpv6::watcherNewPrefixIsOneChange()
{
    ScriptedLocalSource local;
    local.ipv6 = QStringLiteral("2001:db8:1::5");
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    AddressWatcher watcher(local, ipv4, ipv6, Quick);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    watcher.start();
    QTRY_COMPARE(watcher.current().publicIpv6, ipv6.answer);

    // While the old prefix is deprecated and the new address still tentative,
    // no address can be read: the last one stays.
    local.change({});
    QCOMPARE(watcher.current().localIpv6, QStringLiteral("2001:db8:1::5"));
    ipv6.answer = QStringLiteral("2001:db8:2:0:a::1");
    local.change(QStringLiteral("2001:db8:2::5"));
    QTRY_COMPARE(changed.size(), 1);
    QTest::qWait(50);
    QCOMPARE(changed.size(), 1);
    const auto previous = changed.at(0).at(0).value<Addresses>();
    const auto current = changed.at(0).at(1).value<Addresses>();
    QCOMPARE(previous.localIpv6, QStringLiteral("2001:db8:1::5"));
    QCOMPARE(current,
             (Addresses{"203.0.113.7", "192.0.2.10", "2001:db8:2:0:a::1", "2001:db8:2::5"}));
}

void TestServiceIpv6::watcherPublicByNetwork()
{
    ScriptedLocalSource local;
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    // As the last run left them: the same network, another temporary address.
    AddressWatcher watcher(local, ipv4, ipv6, Quick,
                           {"203.0.113.7", "192.0.2.10", "2001:db8:1:0:9::9", ""});
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    QSignalSpy current(&watcher, &AddressWatcher::currentChanged);
    watcher.start();
    QTRY_VERIFY(!current.isEmpty());
    QTRY_COMPARE(watcher.current().publicIpv6, QStringLiteral("2001:db8:1:0:a::1"));
    QCOMPARE(changed.size(), 0);

    // Another /64 found by a steady check: a change of the public IPv6 alone.
    ipv6.answer = QStringLiteral("2001:db8:1:7:a::1");
    watcher.checkNow();
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<Addresses>().publicIpv6,
             QStringLiteral("2001:db8:1:0:a::1"));
    QCOMPARE(changed.at(0).at(1).value<Addresses>().publicIpv6,
             QStringLiteral("2001:db8:1:7:a::1"));
}

// No IPv6 connectivity: the check fails, the address is none, no change and no
// failed check reported; when IPv6 is back in another network, that is a change.
void TestServiceIpv6::watcherNoIpv6IsNoneWithoutAlert()
{
    ScriptedLocalSource local;
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    AddressWatcher watcher(local, ipv4, ipv6, Quick);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    QSignalSpy finished(&watcher, &AddressWatcher::publicCheckFinished);
    watcher.start();
    QTRY_COMPARE(watcher.current().publicIpv6, ipv6.answer);

    ipv6.answer.clear();
    watcher.checkNow();
    QTRY_COMPARE(watcher.current().publicIpv6, QString());
    QCOMPARE(changed.size(), 0);
    for (const QList<QVariant>& check : std::as_const(finished))
        QVERIFY(check.at(0).toBool()); // the IPv4 check answered every time

    ipv6.answer = QStringLiteral("2001:db8:1:0:b::2"); // back, the same network
    watcher.checkNow();
    QTRY_COMPARE(watcher.current().publicIpv6, ipv6.answer);
    QCOMPARE(changed.size(), 0);
    ipv6.answer.clear();
    watcher.checkNow();
    QTRY_COMPARE(watcher.current().publicIpv6, QString());
    ipv6.answer = QStringLiteral("2001:db8:5:0:b::2"); // back in another one
    watcher.checkNow();
    QTRY_COMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<Addresses>().publicIpv6,
             QStringLiteral("2001:db8:1:0:b::2"));
}

// Sources that answer without agreeing are no loss of IPv6: the address stays.
void TestServiceIpv6::watcherKeepsIpv6WhenSourcesDisagree()
{
    ScriptedLocalSource local;
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    AddressWatcher watcher(local, ipv4, ipv6, Quick);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    watcher.start();
    QTRY_COMPARE(watcher.current().publicIpv6, ipv6.answer);

    const QString known = ipv6.answer;
    ipv6.answer.clear();
    ipv6.failure = QStringLiteral("the sources did not agree");
    const int startsBefore = ipv6.starts;
    watcher.checkNow();
    QTRY_VERIFY(ipv6.starts > startsBefore && !ipv6.isRunning());
    QTest::qWait(50);
    QCOMPARE(watcher.current().publicIpv6, known);
    QCOMPARE(changed.size(), 0);
}

void TestServiceIpv6::watcherSwitchedOff()
{
    ScriptedLocalSource local;
    local.ipv6 = QStringLiteral("2001:db8:1::5");
    ScriptedPublicSource ipv4;
    ipv4.answer = QStringLiteral("203.0.113.7");
    ScriptedPublicSource ipv6;
    ipv6.answer = QStringLiteral("2001:db8:1:0:a::1");
    AddressWatcher watcher(
        local, ipv4, ipv6, Quick,
        {"203.0.113.7", "192.0.2.10", "2001:db8:9:0:a::1", "2001:db8:9::5"}); // another network
    watcher.setIpv6Watched(false);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    QSignalSpy current(&watcher, &AddressWatcher::currentChanged);
    watcher.start();
    QTRY_COMPARE(ipv4.starts, 1);
    QTest::qWait(50);
    QCOMPARE(watcher.current(), (Addresses{"203.0.113.7", "192.0.2.10"}));
    QCOMPARE(changed.size(), 0); // the remembered IPv6 ones are forgotten, not changed
    QCOMPARE(ipv6.starts, 0);
    QCOMPARE(local.ipv6Readings, 0);
    local.change(QStringLiteral("2001:db8:2::5"));
    QTest::qWait(50);
    QCOMPARE(changed.size(), 0);

    // Switched on: learned, not changed.
    watcher.setIpv6Watched(true);
    QTRY_COMPARE(watcher.current(),
                 (Addresses{"203.0.113.7", "192.0.2.10", "2001:db8:1:0:a::1", "2001:db8:2::5"}));
    QCOMPARE(changed.size(), 0);
    // Off again: the IPv6 ones go from what is kept and shown.
    current.clear();
    watcher.setIpv6Watched(false);
    QCOMPARE(current.size(), 1);
    QCOMPARE(current.at(0).at(0).value<Addresses>(), (Addresses{"203.0.113.7", "192.0.2.10"}));
}

QTEST_GUILESS_MAIN(TestServiceIpv6)
// Lists with IPv4 sources only: the IPv6 check runs no helper (this one does
// not exist) and tells "none", as a network without IPv6 does.
void TestServiceIpv6::noIpv6SourceIsNoneWithoutAHelper()
{
    IsolatedAddressCheck check(QStringLiteral("/nonexistent/velmora-echo-check"),
                               {EchoSource(QUrl(QStringLiteral("http://127.0.0.1:8080/")))},
                               std::chrono::seconds(1), AddressFamily::Ipv6);
    QSignalSpy failed(&check, &PublicAddressSource::failed);
    check.start();
    QVERIFY(!check.isRunning());
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY2(PublicAddressSource::meansNoConnectivity(failed.at(0).at(0).toString()),
             qPrintable(failed.at(0).at(0).toString()));
}

#include "tst_service_ipv6.moc"
