#include "ProgramUnderTest.h"
#include "StatusNotifierProbe.h"
#include "fakes/FakeService.h"
#include "support/TestTime.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using programundertest::stop;

constexpr int Rounds = 10;
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// A bus both the test (perhaps root) and the desktop's user may use.
const char BusConfig[] = R"(<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

const char SwayConfig[] = "output HEADLESS-1 resolution 1280x800\n";

// waybar with its notification area only.
const char WaybarConfig[] = R"({ "layer": "top", "position": "top", "height": 30,
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": { "icon-size": 20, "spacing": 8 } })";

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(testtime::scaled(15000)) &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

// The program on sway, a tiling Wayland compositor (headless), with waybar's
// notification area, which hosts the icon through StatusNotifier. sway will not
// run as root: as root the desktop runs as a throwaway user the test makes.
// The icon's primary action and its menu are driven over D-Bus, as waybar does
// on a click; sway's own tree says which windows are on screen.
class TestSwayBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void activateShowsTheWindowEveryTime();
    void aBarStartedLaterGetsTheIcon();
    void withoutATrayClosingHidesAndASecondStartBringsItBack();

private:
    bool makeDesktopUser();
    // The program and arguments that run `program` as the desktop's user.
    void startAsUser(QProcess& process, const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& env);
    QProcessEnvironment userEnvironment() const;
    bool giveToUser(const QString& path) const;
    bool startBar();
    void stopBar();
    void startProgram(QProcess& program, const QStringList& arguments);
    QString itemOwner() const;
    bool activate();
    bool chooseFromMenu(const QString& label);
    // The program's window on sway's screen: null when it is not mapped.
    QJsonObject programWindow() const;
    bool windowShownAndFocused() const;
    bool windowGone() const;

    QTemporaryDir m_home;
    QTemporaryDir m_runtime;
    QString m_user;
    bool m_userMade = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    QString m_program;
    QString m_busAddress;
    QProcess m_bus;
    std::unique_ptr<QDBusConnection> m_connection;
    QProcess m_sway;
    QString m_waylandDisplay;
    QString m_swaySocket;
    QProcess m_bar;
    std::unique_ptr<FakeService> m_service;
    QList<QProcess*> m_programs;
};

bool TestSwayBar::makeDesktopUser()
{
    if (::geteuid() != 0) {
        m_uid = ::geteuid();
        m_gid = ::getegid();
        return true;
    }
    m_user = QStringLiteral("velmora-sway-%1").arg(QCoreApplication::applicationPid());
    if (!run("useradd", {"--system", "--no-create-home", "--home-dir", m_home.path(), "--shell",
                         "/usr/sbin/nologin", "--user-group", m_user}))
        return false;
    m_userMade = true;
    QProcess id;
    id.start("id", {"-u", m_user});
    id.waitForFinished(testtime::scaled(5000));
    m_uid = id.readAllStandardOutput().trimmed().toUInt();
    id.start("id", {"-g", m_user});
    id.waitForFinished(testtime::scaled(5000));
    m_gid = id.readAllStandardOutput().trimmed().toUInt();
    return m_uid != 0;
}

bool TestSwayBar::giveToUser(const QString& path) const
{
    return ::chown(QFile::encodeName(path).constData(), m_uid, m_gid) == 0;
}

QProcessEnvironment TestSwayBar::userEnvironment() const
{
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    env.insert("HOME", m_home.path());
    env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    env.insert("XDG_CONFIG_HOME", m_home.path() + "/config");
    env.insert("XDG_CACHE_HOME", m_home.path() + "/cache");
    env.insert("XDG_CURRENT_DESKTOP", "sway");
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    if (!m_waylandDisplay.isEmpty())
        env.insert("WAYLAND_DISPLAY", m_waylandDisplay);
    return env;
}

void TestSwayBar::startAsUser(QProcess& process, const QString& program,
                              const QStringList& arguments, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_home.path());
    if (m_userMade)
        process.start("setpriv",
                      QStringList{"--reuid", QString::number(m_uid), "--regid",
                                  QString::number(m_gid), "--clear-groups", "--", program} +
                          arguments);
    else
        process.start(program, arguments);
}

void TestSwayBar::initTestCase()
{
    for (const char* tool : {"sway", "swaymsg", "waybar", "dbus-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(
                QStringLiteral("%1 is needed for a sway desktop").arg(QLatin1String(tool))));
    }
    if (::geteuid() == 0 && (QStandardPaths::findExecutable("useradd").isEmpty() ||
                             QStandardPaths::findExecutable("setpriv").isEmpty()))
        QSKIP("sway does not run as root, and useradd and setpriv are needed to make a user");
    QVERIFY(m_home.isValid() && m_runtime.isValid());
    if (!makeDesktopUser())
        QSKIP("sway does not run as root, and no throwaway user could be made");
    QVERIFY(QFile::setPermissions(m_home.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ReadOther |
                                                     QFile::ExeOther));
    QVERIFY(QFile::setPermissions(m_runtime.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(giveToUser(m_home.path()));
    QVERIFY(giveToUser(m_runtime.path()));
    // The program where the user can run it (the build tree may be in root's home).
    m_program = m_home.filePath("velmora");
    QVERIFY(QFile::copy(programundertest::path(), m_program));
    QVERIFY(giveToUser(m_program));
    for (const QString& file : {QStringLiteral("sway.conf"), QStringLiteral("waybar.json")}) {
        QVERIFY(writeFile(m_home.filePath(file),
                          file == QLatin1String("sway.conf") ? SwayConfig : WaybarConfig));
        QVERIFY(giveToUser(m_home.filePath(file)));
    }

    const QString busSocket = m_runtime.filePath("bus");
    QVERIFY(writeFile(m_home.filePath("bus.conf"),
                      QByteArray(BusConfig).replace("%1", QFile::encodeName(busSocket))));
    m_bus.start("dbus-daemon",
                {"--config-file=" + m_home.filePath("bus.conf"), "--nofork", "--print-address=1"});
    QVERIFY(m_bus.waitForStarted(testtime::scaled(5000)));
    QVERIFY(waitFor([&] { return m_bus.canReadLine() || m_bus.waitForReadyRead(100); }));
    m_busAddress = QString::fromLatin1(m_bus.readLine()).trimmed();
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_busAddress, QStringLiteral("sway-bar-test")));
    QVERIFY(m_connection->isConnected());

    QProcessEnvironment env = userEnvironment();
    env.insert("WLR_BACKENDS", "headless");
    env.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    env.insert("WLR_RENDERER", "pixman");
    m_sway.setStandardOutputFile(QProcess::nullDevice());
    m_sway.setStandardErrorFile(m_home.filePath("sway.log"));
    startAsUser(m_sway, "sway", {"--config", m_home.filePath("sway.conf")}, env);
    QVERIFY(m_sway.waitForStarted(testtime::scaled(5000)));
    QVERIFY2(waitFor(
                 [&] {
                     const QDir runtime(m_runtime.path());
                     const QStringList displays =
                         runtime.entryList({"wayland-*"}, QDir::System | QDir::Files);
                     const QStringList sockets =
                         runtime.entryList({"sway-ipc.*.sock"}, QDir::System | QDir::Files);
                     for (const QString& display : displays) {
                         if (!display.endsWith(".lock"))
                             m_waylandDisplay = display;
                     }
                     if (!sockets.isEmpty())
                         m_swaySocket = runtime.filePath(sockets.first());
                     return !m_waylandDisplay.isEmpty() && !m_swaySocket.isEmpty();
                 },
                 testtime::scaled(15000)),
             "sway did not come up");

    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

void TestSwayBar::cleanup()
{
    for (QProcess* program : std::as_const(m_programs)) {
        stop(*program);
        delete program;
    }
    m_programs.clear();
}

void TestSwayBar::cleanupTestCase()
{
    cleanup();
    stop(m_bar);
    stop(m_sway);
    m_connection.reset();
    stop(m_bus);
    if (m_userMade) {
        run("pkill", {"-KILL", "-u", m_user});
        run("userdel", {m_user});
    }
}

bool TestSwayBar::startBar()
{
    m_bar.setStandardOutputFile(QProcess::nullDevice());
    m_bar.setStandardErrorFile(QProcess::nullDevice());
    startAsUser(m_bar, "waybar", {"--config", m_home.filePath("waybar.json")}, userEnvironment());
    if (!m_bar.waitForStarted(testtime::scaled(5000)))
        return false;
    return waitFor(
        [&] {
            if (!m_connection->interface()->isServiceRegistered(WatcherService))
                return false;
            QDBusMessage call = QDBusMessage::createMethodCall(
                WatcherService, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get");
            call.setArguments({WatcherService, QStringLiteral("IsStatusNotifierHostRegistered")});
            const QDBusMessage reply =
                m_connection->call(call, QDBus::Block, testtime::scaled(2000));
            return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
        },
        testtime::scaled(20000));
}

void TestSwayBar::stopBar()
{
    stop(m_bar);
    waitFor([&] { return !m_connection->interface()->isServiceRegistered(WatcherService); });
}

void TestSwayBar::startProgram(QProcess& program, const QStringList& arguments)
{
    QProcessEnvironment env = programundertest::environment({}, m_runtime.path(), m_busAddress);
    env.remove("DISPLAY");
    env.insert("QT_QPA_PLATFORM", "wayland");
    const QProcessEnvironment user = userEnvironment();
    for (const QString& key : user.keys())
        env.insert(key, user.value(key));
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startAsUser(program, m_program, arguments, env);
}

QString TestSwayBar::itemOwner() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(WatcherService, "/StatusNotifierWatcher",
                                                       "org.freedesktop.DBus.Properties", "Get");
    call.setArguments({WatcherService, QStringLiteral("RegisteredStatusNotifierItems")});
    const QDBusMessage reply = m_connection->call(call, QDBus::Block, testtime::scaled(3000));
    const QStringList items =
        reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
    return items.isEmpty() ? QString() : items.first();
}

bool TestSwayBar::activate()
{
    // "service/path", as the watcher lists the item.
    const QString item = itemOwner();
    const qsizetype slash = item.indexOf(u'/');
    if (slash < 0)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(item.left(slash), item.mid(slash),
                                                       "org.kde.StatusNotifierItem", "Activate");
    call.setArguments({0, 0});
    return m_connection->call(call, QDBus::Block, testtime::scaled(5000)).type() ==
           QDBusMessage::ReplyMessage;
}

bool TestSwayBar::chooseFromMenu(const QString& label)
{
    return statusnotifierprobe::chooseFromMenu(*m_connection, itemOwner(), label);
}

QJsonObject TestSwayBar::programWindow() const
{
    QProcess tree;
    tree.start("swaymsg", {"--socket", m_swaySocket, "--raw", "--type", "get_tree"});
    if (!tree.waitForFinished(testtime::scaled(5000)))
        return {};
    QList<QJsonObject> nodes{QJsonDocument::fromJson(tree.readAllStandardOutput()).object()};
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeFirst();
        if (node.value("name").toString() == QLatin1String("Velmora") &&
            node.contains(QLatin1String("app_id")))
            return node;
        for (const char* children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue child : node.value(QLatin1String(children)).toArray())
                nodes.append(child.toObject());
        }
    }
    return {};
}

bool TestSwayBar::windowShownAndFocused() const
{
    const QJsonObject window = programWindow();
    return window.value("visible").toBool() && window.value("focused").toBool();
}

bool TestSwayBar::windowGone() const
{
    return programWindow().isEmpty();
}

void TestSwayBar::activateShowsTheWindowEveryTime()
{
    QVERIFY2(startBar(), "waybar's notification area did not come up");
    auto* program = m_programs.emplace_back(new QProcess);
    startProgram(*program, {"systray"});
    QVERIFY(program->waitForStarted(testtime::scaled(5000)));
    QVERIFY2(waitFor([&] { return !itemOwner().isEmpty(); }, testtime::scaled(15000)),
             "the icon did not register with waybar");
    // Started in the tray: nothing on screen until the icon is used.
    QVERIFY(
        m_service->waitForExchanges(programundertest::StartUpExchanges, testtime::scaled(15000)));
    QVERIFY(windowGone());

    // What waybar shows: the tip's title and its body under it, and the menu.
    statusnotifierprobe::ToolTip tip;
    QVERIFY2(waitFor([&] {
                 tip = statusnotifierprobe::toolTip(*m_connection, itemOwner());
                 return tip.body.contains("Local IP Address");
             }),
             qPrintable(tip.title + "|" + tip.body));
    QCOMPARE(tip.title, QStringLiteral("Velmora"));
    QCOMPARE(tip.body, QStringLiteral("Computer Name: pc\nPublic IP Address: 203.0.113.7\n"
                                      "Local IP Address: 10.0.0.2"));
    QCOMPARE(statusnotifierprobe::menuLines(*m_connection, itemOwner()),
             QStringList({"(Copy) Public IP: 203.0.113.7", "(Copy) Local IP: 10.0.0.2", "separator",
                          "Show Velmora", "separator", "E_xit"}));

    for (int round = 1; round <= Rounds; ++round) {
        QVERIFY(activate());
        QVERIFY2(
            waitFor([&] { return windowShownAndFocused(); }),
            qPrintable(QStringLiteral("round %1: Activate did not show the window").arg(round)));
        // sway's close (the window's close box, $mod+Shift+q) hides it to the tray.
        QVERIFY(run("swaymsg", {"--socket", m_swaySocket, "[title=\"^Velmora$\"] kill"}));
        QVERIFY2(waitFor([&] { return windowGone(); }),
                 qPrintable(QStringLiteral("round %1: closing left the window shown").arg(round)));
        QCOMPARE(program->state(), QProcess::Running);
    }

    // waybar restarted: the icon registers with it again and still works.
    for (int restart = 1; restart <= 3; ++restart) {
        const QString where = QStringLiteral("restart %1: ").arg(restart);
        stopBar();
        QVERIFY(startBar());
        QVERIFY2(waitFor([&] { return !itemOwner().isEmpty(); }, testtime::scaled(10000)),
                 qPrintable(where + "the icon did not register with the bar again"));
        QVERIFY(activate());
        QVERIFY2(waitFor([&] { return windowShownAndFocused(); }),
                 qPrintable(where + "Activate did not show the window"));
        QVERIFY(run("swaymsg", {"--socket", m_swaySocket, "[title=\"^Velmora$\"] kill"}));
        QVERIFY2(waitFor([&] { return windowGone(); }),
                 qPrintable(where + "closing left the window shown"));
    }

    QVERIFY2(chooseFromMenu("E_xit"), "the icon's menu has no E&xit");
    QVERIFY2(program->waitForFinished(testtime::scaled(10000)), "E&xit did not end the program");
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QVERIFY2(waitFor([&] { return itemOwner().isEmpty(); }), "the icon stayed in the bar");
    stopBar();
}

void TestSwayBar::aBarStartedLaterGetsTheIcon()
{
    // As at log-on when the program's autostart wins the race with the bar.
    for (int round = 1; round <= Rounds; ++round) {
        const QString where = QStringLiteral("round %1: ").arg(round);
        auto* program = m_programs.emplace_back(new QProcess);
        startProgram(*program, {"systray"});
        QVERIFY(program->waitForStarted(testtime::scaled(5000)));
        QVERIFY(m_service->waitForExchanges(programundertest::StartUpExchanges,
                                            testtime::scaled(15000)));
        QTest::qWait(3000);
        QVERIFY2(windowGone(), qPrintable(where + "a window came up without a tray"));
        QVERIFY(startBar());
        QVERIFY2(waitFor([&] { return !itemOwner().isEmpty(); }, testtime::scaled(10000)),
                 qPrintable(where + "the icon never registered with the bar"));
        QVERIFY2(windowGone(), qPrintable(where + "the bar's coming showed the window"));
        // The icon works.
        QVERIFY(activate());
        QVERIFY2(waitFor([&] { return windowShownAndFocused(); }),
                 qPrintable(where + "Activate did not show the window"));
        cleanup();
        stopBar();
    }
}

void TestSwayBar::withoutATrayClosingHidesAndASecondStartBringsItBack()
{
    // sway cannot minimize: without a tray, closing the window takes it off the
    // screen, and starting the program again brings it back.
    auto* program = m_programs.emplace_back(new QProcess);
    startProgram(*program, {});
    QVERIFY(program->waitForStarted(testtime::scaled(5000)));
    QVERIFY2(waitFor([&] { return windowShownAndFocused(); }, testtime::scaled(15000)),
             "the window did not show");
    for (int round = 1; round <= 3; ++round) {
        const QString where = QStringLiteral("round %1: ").arg(round);
        QVERIFY(run("swaymsg", {"--socket", m_swaySocket, "[title=\"^Velmora$\"] kill"}));
        QVERIFY2(waitFor([&] { return windowGone(); }),
                 qPrintable(where + "closing left the window on screen"));
        QCOMPARE(program->state(), QProcess::Running);
        QProcess second;
        startProgram(second, {});
        QVERIFY2(second.waitForFinished(testtime::scaled(15000)) && second.exitCode() == 0,
                 qPrintable(where + "the second start did not end at once"));
        QVERIFY2(waitFor([&] { return windowShownAndFocused(); }),
                 qPrintable(where + "the second start did not bring the window back"));
    }
}

QTEST_GUILESS_MAIN(TestSwayBar)
#include "tst_sway_bar.moc"
