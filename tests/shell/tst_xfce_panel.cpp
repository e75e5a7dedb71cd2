#include "ProgramUnderTest.h"
#include "StatusNotifierProbe.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/TestTime.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using programundertest::stop;

constexpr int Rounds = 10;
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int PanelHeight = 27;

// One panel along the top edge holding the notification area only.
const char PanelConfig[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="icon-size" type="uint" value="16"/>
      <property name="size" type="uint" value="26"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
)";

} // namespace

// The program on Xfce's desktop: xfwm4 and xfce4-panel with its notification
// area, which hosts the icon through StatusNotifier on a session bus of the
// test's own. The icon is clicked with the pointer where the panel draws it.
class TestXfcePanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void aPanelStartedLaterTakesTheWindow();
    void leftClickOnTheIconShowsTheWindowEveryTime();
    void anXEmbedTrayTakesTheIconWhenThePanelGoes();

private:
    bool startPanel();
    void stopPanel();
    void startProgram(QProcess& program);
    QProcessEnvironment desktopEnvironment() const;
    bool startDesktopPart(QProcess& process, const QString& program, const QStringList& arguments);
    bool watcherRegistered() const;
    QStringList registeredItems() const;
    // Where the panel draws the icon: the middle of the columns of the panel that
    // differ from its background. Null when nothing is drawn there.
    QPoint iconCentre() const;

    XServer m_x;
    QTemporaryDir m_home;
    QTemporaryDir m_runtime;
    QProcess m_bus;
    QString m_busAddress;
    std::unique_ptr<QDBusConnection> m_connection;
    QProcess m_windowManager;
    QProcess m_panel;
    std::unique_ptr<FakeService> m_service;
};

QProcessEnvironment TestXfcePanel::desktopEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_x.display());
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    env.insert("HOME", m_home.path());
    env.insert("XDG_CONFIG_HOME", m_home.path() + "/config");
    env.insert("XDG_CACHE_HOME", m_home.path() + "/cache");
    env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    return env;
}

bool TestXfcePanel::startDesktopPart(QProcess& process, const QString& program,
                                     const QStringList& arguments)
{
    process.setProcessEnvironment(desktopEnvironment());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForStarted(testtime::scaled(5000));
}

bool TestXfcePanel::watcherRegistered() const
{
    return m_connection->interface()->isServiceRegistered(WatcherService);
}

QStringList TestXfcePanel::registeredItems() const
{
    return statusnotifierprobe::registeredItems(*m_connection);
}

QPoint TestXfcePanel::iconCentre() const
{
    QProcess import;
    import.setProcessEnvironment(desktopEnvironment());
    import.start("import", {"-window", "root", "-crop",
                            QStringLiteral("1024x%1+0+0").arg(PanelHeight), "png:-"});
    if (!import.waitForFinished(testtime::scaled(10000)))
        return {};
    const QImage panel = QImage::fromData(import.readAllStandardOutput(), "PNG");
    if (panel.isNull())
        return {};
    // The notification area starts at the left; the far right is bare panel.
    const QRgb background = panel.pixel(panel.width() - 3, PanelHeight / 2);
    int first = -1, last = -1;
    for (int x = 0; x < panel.width() / 2; ++x) {
        for (int y = 4; y < PanelHeight - 4; ++y) {
            const QRgb pixel = panel.pixel(x, y);
            if (qAbs(qRed(pixel) - qRed(background)) + qAbs(qGreen(pixel) - qGreen(background)) +
                    qAbs(qBlue(pixel) - qBlue(background)) >
                60) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    if (first < 0)
        return {};
    return QPoint((first + last) / 2, PanelHeight / 2);
}

void TestXfcePanel::initTestCase()
{
    for (const char* tool : {"dbus-daemon", "xfwm4", "xfce4-panel", "import", "xprop"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(
                QStringLiteral("%1 is needed for an Xfce desktop").arg(QLatin1String(tool))));
    }
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString configFolder = m_home.path() + "/config/xfce4/xfconf/xfce-perchannel-xml";
    QVERIFY(QDir().mkpath(configFolder));
    QFile config(configFolder + "/xfce4-panel.xml");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(PanelConfig);
    config.close();

    // Xfce's settings daemon starts on demand with the bus's environment.
    m_bus.setProcessEnvironment(desktopEnvironment());
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QVERIFY(m_bus.waitForStarted(testtime::scaled(5000)));
    QVERIFY(waitFor([&] { return m_bus.canReadLine() || m_bus.waitForReadyRead(100); }));
    m_busAddress = QString::fromLatin1(m_bus.readLine()).trimmed();
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_busAddress, QStringLiteral("xfce-panel-test")));
    QVERIFY(m_connection->isConnected());

    QVERIFY(startDesktopPart(m_windowManager, "xfwm4", {"--compositor=off"}));
    // The panel's first start also starts Xfce's settings daemon on the bus.
    QVERIFY2(startPanel(), "xfce4-panel's notification area did not come up");
    stopPanel();

    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

bool TestXfcePanel::startPanel()
{
    return startDesktopPart(m_panel, "xfce4-panel", {}) &&
           waitFor([&] { return watcherRegistered(); }, testtime::scaled(20000));
}

void TestXfcePanel::stopPanel()
{
    stop(m_panel);
    waitFor([&] { return !watcherRegistered(); });
}

void TestXfcePanel::startProgram(QProcess& program)
{
    QProcessEnvironment env =
        programundertest::environment(m_x.display(), m_runtime.path(), m_busAddress);
    env.insert("HOME", m_home.path());
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(programundertest::path(), {"systray"});
}

void TestXfcePanel::aPanelStartedLaterTakesTheWindow()
{
    // As at log-on when the program's autostart wins the race with the panel.
    for (int round = 1; round <= Rounds; ++round) {
        QProcess program;
        startProgram(program);
        QVERIFY(program.waitForStarted(testtime::scaled(5000)));
        QString window;
        QVERIFY2(waitFor([&] {
                     window = m_x.mainWindowNamed("Velmora");
                     return !window.isEmpty() && m_x.wmState(window) == "Iconic";
                 }),
                 "without a tray the window did not go to the taskbar");
        QTest::qWait(3000);
        QVERIFY(startPanel());
        QVERIFY2(waitFor([&] { return !registeredItems().isEmpty(); }, testtime::scaled(10000)),
                 qPrintable(QStringLiteral("round %1: no icon in the panel").arg(round)));
        // Withdrawn: hidden to the tray, not left on the taskbar.
        const auto withdrawn = [&] {
            const QString state = m_x.wmState(window);
            return (state.isEmpty() || state == "Withdrawn") && !m_x.isViewable(window);
        };
        QVERIFY2(waitFor(withdrawn),
                 qPrintable(QStringLiteral("round %1: the window stayed on the taskbar (%2)")
                                .arg(round)
                                .arg(m_x.wmState(window))));
        // The icon the panel took is the program's StatusNotifier item, tip and all.
        QVERIFY2(waitFor([&] {
                     return statusnotifierprobe::toolTip(*m_connection, registeredItems().value(0))
                                .title == QLatin1String("Velmora");
                 }),
                 qPrintable(QStringLiteral("round %1: no tip titled Velmora").arg(round)));
        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        if (!program.waitForFinished(testtime::scaled(5000)))
            program.kill();
        program.waitForFinished(testtime::scaled(3000));
        stopPanel();
    }
}

void TestXfcePanel::cleanupTestCase()
{
    m_x.stopTrayHost();
    stop(m_panel);
    stop(m_windowManager);
    m_connection.reset();
    stop(m_bus);
}

void TestXfcePanel::leftClickOnTheIconShowsTheWindowEveryTime()
{
    QVERIFY(startPanel());
    QProcess program;
    startProgram(program);
    QVERIFY(program.waitForStarted(testtime::scaled(5000)));
    QVERIFY2(waitFor([&] { return !registeredItems().isEmpty(); }, testtime::scaled(15000)),
             "the icon did not register with the panel");
    QVERIFY(m_service->waitForExchanges(3, testtime::scaled(15000)));

    QPoint icon;
    QVERIFY2(waitFor([&] { return !(icon = iconCentre()).isNull(); }, testtime::scaled(10000)),
             "the panel drew no icon");
    // Started in the tray: no window is shown until the icon is clicked.
    QCOMPARE(m_x.visibleWindows("Velmora"), 0);

    // What the panel shows, read from the item it talks to: the tip's title and
    // its body under it, and the menu.
    const QString item = registeredItems().value(0);
    statusnotifierprobe::ToolTip tip;
    QVERIFY2(waitFor([&] {
                 tip = statusnotifierprobe::toolTip(*m_connection, item);
                 return tip.body.contains("Local IP Address");
             }),
             qPrintable(item + ": " + tip.title + "|" + tip.body));
    QCOMPARE(tip.title, QStringLiteral("Velmora"));
    QCOMPARE(tip.body, QStringLiteral("Computer Name: pc\nPublic IP Address: 203.0.113.7\n"
                                      "Local IP Address: 10.0.0.2"));
    QCOMPARE(statusnotifierprobe::menuLines(*m_connection, item),
             QStringList({"(Copy) Public IP: 203.0.113.7", "(Copy) Local IP: 10.0.0.2", "separator",
                          "Show Velmora", "separator", "E_xit"}));

    for (int round = 1; round <= Rounds; ++round) {
        QVERIFY(m_x.xdotool(
            {"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "1"}));
        QString window;
        QVERIFY2(waitFor([&] {
                     window = m_x.mainWindowNamed("Velmora");
                     return !window.isEmpty() && m_x.isViewable(window) &&
                            m_x.wmState(window) == "Normal" && m_x.activeWindow() == window;
                 }),
                 qPrintable(QStringLiteral("round %1: one click at %2,%3 did not show the window "
                                           "active (window %4, viewable %5, state %6, active %7)")
                                .arg(round)
                                .arg(icon.x())
                                .arg(icon.y())
                                .arg(window)
                                .arg(m_x.isViewable(window))
                                .arg(m_x.wmState(window), m_x.activeWindow())));
        // Closing hides it to the tray again.
        QVERIFY(m_x.closeWindow(window));
        QVERIFY2(waitFor([&] { return !m_x.isViewable(window); }),
                 qPrintable(QStringLiteral("round %1: the window stayed shown").arg(round)));
        QCOMPARE(program.state(), QProcess::Running);
    }

    // The icon's menu (drawn by the panel) ends the program with "E&xit".
    QVERIFY(m_x.xdotool(
        {"mousemove", QString::number(icon.x()), QString::number(icon.y()), "click", "3"}));
    QTest::qWait(1000);
    QVERIFY(m_x.xdotool({"key", "x"}));
    QVERIFY2(program.waitForFinished(testtime::scaled(10000)), "E&xit did not end the program");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void TestXfcePanel::anXEmbedTrayTakesTheIconWhenThePanelGoes()
{
    if (QStandardPaths::findExecutable("trayer").isEmpty())
        QSKIP("trayer is needed as the XEmbed notification area");
    QVERIFY(startPanel());
    QProcess program;
    startProgram(program);
    QVERIFY(program.waitForStarted(5000));
    QVERIFY2(waitFor([&] { return !registeredItems().isEmpty(); }, 15000),
             "the icon did not register with the panel");

    // The user swaps the panel for a plain XEmbed tray, and back, a few times.
    constexpr int SwapRounds = 3;
    for (int round = 1; round <= SwapRounds; ++round) {
        stopPanel();
        QVERIFY(m_x.startTrayHost());
        QString icon;
        QVERIFY2(waitFor([&] { return !(icon = m_x.trayIconOf("velmora")).isEmpty(); }, 15000),
                 qPrintable(QStringLiteral("round %1: no icon in the XEmbed tray").arg(round)));
        // A double click there shows the window, as on any XEmbed tray.
        QVERIFY(m_x.xdotool({"mousemove", "--window", icon, "8", "8", "click", "--repeat", "2",
                             "--delay", "80", "1"}));
        QString window;
        QVERIFY2(waitFor([&] {
                     window = m_x.mainWindowNamed("Velmora");
                     return !window.isEmpty() && m_x.isViewable(window) &&
                            m_x.wmState(window) == "Normal";
                 }),
                 qPrintable(QStringLiteral("round %1: a double click on the icon in the XEmbed "
                                           "tray did not show the window")
                                .arg(round)));
        QVERIFY(m_x.closeWindow(window));
        QVERIFY2(waitFor([&] { return !m_x.isViewable(window); }),
                 qPrintable(QStringLiteral("round %1: the window stayed shown").arg(round)));

        // The panel back: the icon is its StatusNotifier item again, and the
        // XEmbed icon is gone.
        m_x.stopTrayHost();
        QVERIFY(startPanel());
        QVERIFY2(
            waitFor([&] { return !registeredItems().isEmpty(); }, 15000),
            qPrintable(
                QStringLiteral("round %1: the icon did not come back to the panel").arg(round)));
        QVERIFY2(waitFor([&] { return m_x.trayIconOf("velmora").isEmpty(); }),
                 qPrintable(QStringLiteral("round %1: the XEmbed icon stayed").arg(round)));
        QCOMPARE(program.state(), QProcess::Running);
    }
    program.terminate();
    QVERIFY(program.waitForFinished(10000));
    stopPanel();
}

QTEST_GUILESS_MAIN(TestXfcePanel)
#include "tst_xfce_panel.moc"
