// The desktop's notifications from the service, shown by a notification
// server of the test's own on a private session bus.
#include "NotificationBus.h"
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "servers/SmtpServer.h"
#include "service/notify/DesktopNotifier.h"
#include "service_link/ServiceCommands.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QFile>
#include <QtTest>

namespace {

const QByteArray FirstPublic("203.0.113.5");
const QByteArray SecondPublic("203.0.113.6");

} // namespace

class TestServiceNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { m_receiver.shown.clear(); }
    void changeAndFailedLoginEachGiveOne();
    void nothingWithoutASessionBus();
    void switchedOffShowsNothing();
    void settingsLineNotUnderstood_data();
    void settingsLineNotUnderstood();

private:
    NotificationBus m_bus;
    NotificationReceiver& m_receiver = m_bus.receiver();
};

void TestServiceNotifications::initTestCase()
{
    if (const QString missing = NotificationBus::missing(); !missing.isEmpty())
        QSKIP(qPrintable(missing));
    QString why;
    QVERIFY2(m_bus.start(&why), qPrintable(why));
    // This process's own session bus, for the notifier tried in-process.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toLatin1());
}

void TestServiceNotifications::changeAndFailedLoginEachGiveOne()
{
    testservers::SmtpServer smtp;
    testservers::SmtpServer::Options options;
    options.user = QStringLiteral("mailer");
    options.password = QStringLiteral("the-right-one");
    QVERIFY2(smtp.start(options), qPrintable(smtp.errorText()));

    EchoHttpServer echo;
    echo.setAddress(FirstPublic);
    RunningService service;
    QProcessEnvironment environment = service.environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    service.setEnvironment(environment);
    QVERIFY2(service.start({echo.url()},
                           {QStringLiteral("--echo-interval"), QStringLiteral("0.2"),
                            QStringLiteral("--alert-retry-delays"), QStringLiteral("600")}),
             qPrintable(service.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              FirstPublic, testtime::scaled(10000));
    AlertSettings settings;
    settings.set(Setting::EmailAlerts, true);
    settings.set(Setting::Recipients, QByteArray("alerts@example.com"));
    settings.set(Setting::SmtpServer, QByteArray("127.0.0.1"));
    settings.set(Setting::SmtpPort, QByteArray::number(smtp.port()));
    settings.set(Setting::NeedsLogin, true);
    settings.set(Setting::SmtpUsername, QByteArray("mailer"));
    settings.set(Setting::SmtpPassword, QByteArray("a-wrong-one"));
    service.save(settings.toSaveList({}));

    echo.setAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral("next attempt in 600 s")),
                             testtime::scaled(30000));
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver.shown.size(), 2, testtime::scaled(10000));
    QVERIFY(neverWithin(500, [&] { return m_receiver.shown.size() > 2; }));

    const NotificationReceiver::Shown change = m_receiver.shown.at(0);
    QCOMPARE(change.application, QStringLiteral("Velmora"));
    // Named as installed, so that the server shows the application's icon.
    QCOMPARE(change.desktopEntry, QStringLiteral(VELMORA_DESKTOP_ID));
    QCOMPARE(change.icon, QStringLiteral(VELMORA_DESKTOP_ID));
    QCOMPARE(change.summary, QStringLiteral("Public IP changed: 203.0.113.5 \u2192 203.0.113.6"));
    const NotificationReceiver::Shown failure = m_receiver.shown.at(1);
    QVERIFY2(failure.summary.startsWith(
                 QStringLiteral("Alert failed: e-mail alert for the change to 203.0.113.6")),
             qPrintable(failure.summary));
    // The server's refusal and when the next attempt comes.
    QVERIFY2(failure.body.contains(QStringLiteral("Login denied")), qPrintable(failure.body));
    QVERIFY2(failure.body.contains(QStringLiteral("Next attempt at ")), qPrintable(failure.body));
    QVERIFY(smtp.messages().isEmpty());
}

void TestServiceNotifications::nothingWithoutASessionBus()
{
    EchoHttpServer echo;
    echo.setAddress(FirstPublic);
    RunningService service;
    QProcessEnvironment environment = service.environment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    service.setEnvironment(environment);
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              FirstPublic, testtime::scaled(10000));
    echo.setAddress(SecondPublic);
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              SecondPublic, testtime::scaled(10000));
    QVERIFY(neverWithin(500, [&] { return !m_receiver.shown.isEmpty(); }));
    // And nothing said about it either.
    QVERIFY2(!service.output().contains(QStringLiteral("bus"), Qt::CaseInsensitive),
             qPrintable(service.output()));
    QVERIFY(service.isRunning());
}

void TestServiceNotifications::switchedOffShowsNothing()
{
    DesktopNotifier notifier(QStringLiteral(VELMORA_NOTIFY_HELPER));
    notifier.setEnabled(false);
    notifier.notify(QStringLiteral("off"), QString());
    QVERIFY(neverWithin(500, [&] { return !m_receiver.shown.isEmpty(); }));
    notifier.setEnabled(true);
    notifier.notify(QStringLiteral("on"), QStringLiteral("body"));
    QTRY_COMPARE(m_receiver.shown.size(), 1);
    QCOMPARE(m_receiver.shown.first().summary, QStringLiteral("on"));
    QCOMPARE(m_receiver.shown.first().body, QStringLiteral("body"));
}

// A hand-edited settings file with a line the service cannot understand: one
// notification names the line, at start and again after a new edit; the file's
// own key switches every notification off, an address change's too.
void TestServiceNotifications::settingsLineNotUnderstood_data()
{
    QTest::addColumn<QByteArray>("notifications");
    QTest::addColumn<bool>("shown");
    QTest::newRow("on") << QByteArray("true") << true;
    QTest::newRow("off") << QByteArray("false") << false;
}

void TestServiceNotifications::settingsLineNotUnderstood()
{
    QFETCH(QByteArray, notifications);
    QFETCH(bool, shown);

    EchoHttpServer echo;
    echo.setAddress(FirstPublic);
    RunningService service;
    QVERIFY(QDir().mkpath(service.configDir()));
    const QByteArray edited = "# edited by hand\nemail-alerts=maybe\nrecipients=carol@example.com\n"
                              "desktop-notifications=" +
                              notifications + '\n';
    {
        QFile file(service.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(edited) == edited.size());
    }
    QProcessEnvironment environment = service.environment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    service.setEnvironment(environment);
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              FirstPublic, testtime::scaled(10000));
    // The line cost only its own key.
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::Recipients)),
             QByteArray("carol@example.com"));

    if (!shown) {
        echo.setAddress(SecondPublic);
        QTRY_COMPARE_WITH_TIMEOUT(
            service.request(service::UpdateStatus).value(service::PublicIpLine), SecondPublic,
            testtime::scaled(10000));
        QVERIFY(neverWithin(500, [&] { return !m_receiver.shown.isEmpty(); }));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver.shown.size(), 1, testtime::scaled(10000));
    NotificationReceiver::Shown problem = m_receiver.shown.takeFirst();
    QCOMPARE(problem.summary, QStringLiteral("Velmora: a problem with the settings file"));
    QVERIFY2(problem.body.contains(QStringLiteral("line 2:")) &&
                 problem.body.contains(QStringLiteral("maybe")),
             qPrintable(problem.body));

    // An edit while it runs is read, and its new mistake told in turn.
    {
        QFile file(service.settingsFile());
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.write("smtp-port=\\q\n") > 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_receiver.shown.size(), 1, testtime::scaled(10000));
    problem = m_receiver.shown.takeFirst();
    QVERIFY2(problem.body.contains(QStringLiteral("line 5:")), qPrintable(problem.body));
}

QTEST_GUILESS_MAIN(TestServiceNotifications)
#include "tst_service_notifications.moc"
