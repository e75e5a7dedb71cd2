// The IPv6 addresses on the Status page and in the tray icon's tip: under the
// IPv4 lines, only while the service watches IPv6 and knows the address, asked
// of a stand-in service with the extension's status values.
#include "MainFormFixture.h"
#include "common/ServiceProtocol.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QtTest>

namespace {

const QString Ipv4Tip = QStringLiteral("Velmora\r\n==============\r\nComputer Name: pc-1\r\n"
                                       "Public IP Address: 203.0.113.7\r\n"
                                       "Local IP Address: 192.168.1.20");
const QByteArray PublicIpv6 = "2001:db8:4:5:a1b2:c3d4:e5f6:7788";
const QByteArray LocalIpv6 = "2001:db8:4:5::20";
const QString PublicIpv6Text = QString::fromLatin1(PublicIpv6);
const QString LocalIpv6Text = QString::fromLatin1(LocalIpv6);

QByteArray keyedSettings(const QByteArray& watchIpv6)
{
    SettingValues values;
    values[Setting::WatchIpv6] = watchIpv6 == "-1";
    return MainFormFixture::keyedSettingsReply(values);
}

// What a line of the Status page shows; empty while it is hidden.
QString shown(TFormMain& form, const QLabel* label)
{
    return label->isVisibleTo(&form) ? label->text() : QString();
}

void checkIpv4LinesAsAlways(MainFormFixture& f)
{
    QCOMPARE(f.ui().lblComputerName->text(), QString("Computer Name: pc-1"));
    QCOMPARE(f.ui().lblPublicIP->text(), QString("Public IP Address: 203.0.113.7"));
    QCOMPARE(f.ui().lblLocalIP->text(), QString("Local IP Address: 192.168.1.20"));
}

} // namespace

class TestStatusIpv6 : public QObject
{
    Q_OBJECT

private slots:
    void ipv6LinesUnderTheOthers_data();
    void ipv6LinesUnderTheOthers();
    void watchingTurnedOffAndOnByApply();
    void pointerOverTheIconRefreshesTheIpv6Lines();
    void longAddressesFitThePage();
};

void TestStatusIpv6::ipv6LinesUnderTheOthers_data()
{
    QTest::addColumn<QByteArray>("keyedSettingsReply"); // empty: an earlier service
    QTest::addColumn<QByteArray>("keyedStatusReply");   // empty: closed unanswered
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("publicLine");
    QTest::addColumn<QString>("localLine");

    const QString publicLine = "Public IPv6 Address: " + PublicIpv6Text;
    const QString localLine = "Local IPv6 Address: " + LocalIpv6Text;
    const auto status = [](const QByteArray& publicIpv6, const QByteArray& localIpv6) {
        return MainFormFixture::keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20", publicIpv6,
                                                 localIpv6);
    };
    QTest::newRow("both known") << keyedSettings("-1") << status(PublicIpv6, LocalIpv6) << true
                                << publicLine << localLine;
    QTest::newRow("public only") << keyedSettings("-1") << status(PublicIpv6, "") << true
                                 << publicLine << QString();
    QTest::newRow("local only") << keyedSettings("-1") << status("", LocalIpv6) << true << QString()
                                << localLine;
    QTest::newRow("none known") << keyedSettings("-1") << status("", "") << true << QString()
                                << QString();
    QTest::newRow("values not reported")
        << keyedSettings("-1")
        << FakeService::countedList(
               {"v1", "computer-name=pc-1", "public-ip=203.0.113.7", "local-ip=192.168.1.20"})
        << true << QString() << QString();
    QTest::newRow("values among others, percent-encoded")
        << keyedSettings("-1")
        << FakeService::countedList({"v1", "a-later-value=1", "not a keyed line",
                                     "public-ipv6=2001%3Adb8%3A4%3A5%3Aa1b2%3Ac3d4%3Ae5f6%3A7788",
                                     "local-ipv6=" + LocalIpv6})
        << true << publicLine << localLine;
    QTest::newRow("status left unanswered")
        << keyedSettings("-1") << QByteArray() << true << QString() << QString();
    QTest::newRow("IPv6 not watched")
        << keyedSettings("0") << status(PublicIpv6, LocalIpv6) << false << QString() << QString();
    QTest::newRow("service of an earlier version")
        << QByteArray() << QByteArray() << false << QString() << QString();
}

void TestStatusIpv6::ipv6LinesUnderTheOthers()
{
    QFETCH(QByteArray, keyedSettingsReply);
    QFETCH(QByteArray, keyedStatusReply);
    QFETCH(bool, asked);
    QFETCH(QString, publicLine);
    QFETCH(QString, localLine);
    MainFormFixture f;
    f.service.setReply(service::GetKeyedSettings, keyedSettingsReply);
    f.service.setReply(service::GetKeyedStatus, keyedStatusReply);
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(f.service.commands().contains(service::GetKeyedStatus), asked);
    checkIpv4LinesAsAlways(f);
    QCOMPARE(shown(form, f.ui().lblPublicIPv6), publicLine);
    QCOMPARE(shown(form, f.ui().lblLocalIPv6), localLine);
    QString tip = Ipv4Tip;
    for (const QString& line : {publicLine, localLine})
        if (!line.isEmpty())
            tip += "\r\n" + line;
    QCOMPARE(f.tray.toolTip(), tip);
    // In order, under the IPv4 lines.
    const QWidget* above = f.ui().lblLocalIP;
    for (const QLabel* line : {f.ui().lblPublicIPv6, f.ui().lblLocalIPv6}) {
        if (!line->isVisibleTo(&form))
            continue;
        QVERIFY(line->geometry().top() >= above->geometry().bottom());
        QCOMPARE(line->geometry().left(), f.ui().lblLocalIP->geometry().left());
        above = line;
    }
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestStatusIpv6::watchingTurnedOffAndOnByApply()
{
    MainFormFixture f;
    f.service.setReply(service::GetKeyedStatus,
                       MainFormFixture::keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20",
                                                         PublicIpv6, LocalIpv6));
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(f.tray.toolTip().contains("Local IPv6 Address: " + LocalIpv6Text));

    // Off: the service stops watching as it takes the setting; none shown from then on.
    form.pager().setCurrentIndex(TFormMain::OptionsPage);
    f.ui().chkWatchIpv6->click();
    f.ui().btnApply->click();
    QTRY_COMPARE(f.keyedSaves().size(), 1);
    QVERIFY(f.keyedSaves().first().contains("ipv6=0"));
    QCOMPARE(f.tray.toolTip(), Ipv4Tip);
    const qsizetype asked = f.service.commands().count(service::GetKeyedStatus);
    form.pager().setCurrentIndex(TFormMain::StatusPage);
    QVERIFY(!f.ui().lblPublicIPv6->isVisible());
    QVERIFY(!f.ui().lblLocalIPv6->isVisible());
    QCOMPARE(f.service.commands().count(service::GetKeyedStatus), asked);

    // On again: the next refresh shows them.
    form.pager().setCurrentIndex(TFormMain::OptionsPage);
    f.ui().chkWatchIpv6->click();
    f.ui().btnApply->click();
    QTRY_COMPARE(f.keyedSaves().size(), 2);
    form.pager().setCurrentIndex(TFormMain::StatusPage);
    QVERIFY(f.ui().lblPublicIPv6->isVisible());
    QCOMPARE(f.ui().lblLocalIPv6->text(), "Local IPv6 Address: " + LocalIpv6Text);
}

void TestStatusIpv6::pointerOverTheIconRefreshesTheIpv6Lines()
{
    MainFormFixture f;
    f.create();
    QCOMPARE(f.tray.toolTip(), Ipv4Tip);
    // The address became known meanwhile.
    f.service.setReply(
        service::GetKeyedStatus,
        MainFormFixture::keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20", PublicIpv6, ""));
    f.tray.movePointer();
    QTRY_COMPARE(f.tray.toolTip(), Ipv4Tip + "\r\nPublic IPv6 Address: " + PublicIpv6Text);
    // ... and was lost again.
    f.service.setReply(service::GetKeyedStatus,
                       MainFormFixture::keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20"));
    f.tray.movePointer();
    QTRY_COMPARE(f.tray.toolTip(), Ipv4Tip);
}

void TestStatusIpv6::longAddressesFitThePage()
{
    // The longest address an IPv6 address can be written as.
    const QByteArray longest = "2001:db88:ffff:dddd:bbbb:8888:0000:9999";
    MainFormFixture f;
    f.service.setReply(
        service::GetKeyedStatus,
        MainFormFixture::keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20", longest, longest));
    TFormMain& form = f.create();
    const QSize size = form.size();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // The window keeps its size, and each line is shown whole within the page.
    QCOMPARE(form.size(), size);
    const QRect page = f.ui().tabStatus->rect();
    for (const QLabel* line : {f.ui().lblPublicIPv6, f.ui().lblLocalIPv6}) {
        QVERIFY(line->isVisible());
        QVERIFY(line->width() >= line->sizeHint().width());
        QVERIFY(page.contains(QRect(line->mapTo(f.ui().tabStatus, QPoint()), line->size())));
    }
}

QTEST_MAIN(TestStatusIpv6)
#include "tst_status_ipv6.moc"
