#include "ProgramUnderTest.h"
#include "StatusNotifierProbe.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QByteArray list(const QList<QByteArray>& lines)
{
    return FakeService::countedList(lines);
}

} // namespace

// The StatusNotifier side of a tray host, as KDE and GNOME's AppIndicator
// extension run it: the items register with it over D-Bus, and it asks them for
// their tip and opens their menus.
class StatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    QStringList items() const { return m_items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) { m_items.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

// The program's icon in a StatusNotifier tray: a real D-Bus session bus with a
// watcher of the test's own, the real program on a private display.
class TestStatusNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void iconHidesAndShowsTheWindowAndKeepsItsTipTrue();

private:
    QDBusMessage callItem(const QString& path, const QString& interface, const QString& method,
                          const QVariantList& arguments);

    XServer m_x;
    QTemporaryDir m_runtime;
    QProcess m_bus;
    QString m_busAddress;
    std::unique_ptr<QDBusConnection> m_connection;
    StatusNotifierWatcher m_watcher;
    std::unique_ptr<FakeService> m_service;
    QProcess m_program;
};

void TestStatusNotifier::initTestCase()
{
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
        QSKIP("dbus-daemon is needed for a D-Bus session bus");
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    QVERIFY(m_bus.waitForStarted(testtime::scaled(5000)));
    QVERIFY(waitFor([&] { return m_bus.canReadLine() || m_bus.waitForReadyRead(100); }));
    m_busAddress = QString::fromLatin1(m_bus.readLine()).trimmed();
    QVERIFY(!m_busAddress.isEmpty());
    m_connection = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(m_busAddress, QStringLiteral("status-notifier-host")));
    QVERIFY(m_connection->isConnected());
    QVERIFY(m_connection->registerObject("/StatusNotifierWatcher", &m_watcher,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllProperties |
                                             QDBusConnection::ExportAllSignals));
    QVERIFY(m_connection->registerService(WatcherService));

    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);

    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_program.setProcessEnvironment(
        programundertest::environment(m_x.display(), m_runtime.path(), m_busAddress));
    m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program.start(programundertest::path(), {});
    QVERIFY(m_program.waitForStarted(testtime::scaled(5000)));
}

void TestStatusNotifier::cleanupTestCase()
{
    for (QProcess* process : {&m_program, &m_bus}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(testtime::scaled(3000));
        }
    }
}

QDBusMessage TestStatusNotifier::callItem(const QString& path, const QString& interface,
                                          const QString& method, const QVariantList& arguments)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_watcher.items().value(0), path, interface, method);
    call.setArguments(arguments);
    QDBusMessage reply;
    // Asynchronously, so the test keeps answering the program's own calls.
    QDBusPendingCall pending = m_connection->asyncCall(call, testtime::scaled(5000));
    waitFor([&] { return pending.isFinished(); }, testtime::scaled(6000));
    return pending.reply();
}

void TestStatusNotifier::iconHidesAndShowsTheWindowAndKeepsItsTipTrue()
{
    QVERIFY2(waitFor([&] { return !m_watcher.items().isEmpty(); }), "the icon did not register");
    QVERIFY(
        m_service->waitForExchanges(programundertest::StartUpExchanges, testtime::scaled(15000)));
    QString window;
    QVERIFY(waitFor([&] {
        return !(window = m_x.mainWindowNamed("Velmora")).isEmpty() && m_x.isViewable(window);
    }));

    // The tip the tray shows: the program's name as the title, the status under
    // it with the desktop's line breaks; the underline and the CR LF of the
    // XEmbed tip are no lines there.
    statusnotifierprobe::ToolTip tip;
    QVERIFY2(waitFor([&] {
                 tip = statusnotifierprobe::toolTip(*m_connection, m_watcher.items().value(0));
                 return tip.body.contains("Public IP Address: 203.0.113.7");
             }),
             qPrintable(tip.title + "|" + tip.body));
    QCOMPARE(tip.title, QStringLiteral("Velmora"));
    QCOMPARE(tip.body, QStringLiteral("Computer Name: pc\nPublic IP Address: 203.0.113.7\n"
                                      "Local IP Address: 10.0.0.2"));

    // Opening the menu refreshes the status once: the tray reports no pointer.
    const auto refreshes = [&] { return m_service->commands().count("UpdateStatus"); };
    const qsizetype before = refreshes();
    m_service->setReply("UpdateStatus", list({"v", "pc", "198.51.100.23", "10.0.0.2"}));
    const QDBusMessage opened =
        callItem("/MenuBar", "com.canonical.dbusmenu", "AboutToShow", {QVariant::fromValue(0)});
    QCOMPARE(opened.type(), QDBusMessage::ReplyMessage);
    QVERIFY(waitFor([&] { return refreshes() == before + 1; }));
    QVERIFY(neverWithin(300, [&] { return refreshes() > before + 1; }));

    // There is a tray: "Cancel" hides the window to it, and a click on the icon
    // brings it back.
    const QSize size = m_x.windowSize(window);
    QVERIFY(m_x.xdotool({"mousemove", "--window", window, QString::number(size.width() - 128),
                         QString::number(size.height() - 22), "click", "1"}));
    QVERIFY(waitFor([&] { return !m_x.isViewable(window); }));
    QVERIFY(neverWithin(300, [&] { return m_x.isViewable(window); }));
    QCOMPARE(callItem("/StatusNotifierItem", ItemInterface, "Activate", {0, 0}).type(),
             QDBusMessage::ReplyMessage);
    QVERIFY2(waitFor([&] { return m_x.isViewable(window); }), "the window did not come back");
    QCOMPARE(m_program.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestStatusNotifier)
#include "tst_status_notifier.moc"
