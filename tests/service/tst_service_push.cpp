// The push alert of the real velmora-service, end to end: a change of the
// public address at the stand-in echo service, and the notification at
// Debian's webhook server on loopback, with the service's retry policy and
// never a token in what the service writes.
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "servers/WebhookReceiver.h"
#include "service_link/ServiceCommands.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QtTest>

using testfiles::readFile;
using testfiles::writeFile;
using testservers::WebhookReceiver;

namespace {

const QByteArray FirstPublic("203.0.113.7");
const QByteArray SecondPublic("198.51.100.23");
const QByteArray Token("hook-t0ken-90210");

// Everything the service wrote: its messages, the history, its state folder.
QString everythingWritten(RunningService& service)
{
    QString all = service.output();
    all += QString::fromUtf8(readFile(service.logFile()));
    for (const QFileInfo& file : QDir(service.stateDir()).entryInfoList(QDir::Files))
        all += QString::fromUtf8(readFile(file.filePath()));
    return all;
}

} // namespace

class TestServicePush : public QObject
{
    Q_OBJECT

private slots:
    void failedPushIsRetriedAtThePolicysTimesAndDeliveredOnce();
    void switchedOffPushIsNotSent();
};

void TestServicePush::failedPushIsRetriedAtThePolicysTimesAndDeliveredOnce()
{
    // HTTP 500, then no answer within the time limit, then a delivery.
    WebhookReceiver receiver;
    QVERIFY2(receiver.start(
                 {QStringLiteral("fail"), QStringLiteral("stall 4"), QStringLiteral("accept")}),
             qPrintable(receiver.errorText()));
    RunningService service;
    QVERIFY(QDir().mkpath(service.configDir()));
    QVERIFY(writeFile(service.settingsFile(),
                      "push-alerts=true\n"
                      "push-url=" +
                          receiver.url().toUtf8() + "?token=" + Token +
                          "\n"
                          "push-headers=Authorization: Bearer " +
                          Token +
                          "\\nX-Velmora: yes\n"
                          "push-message=[[OldPublicIPAddress]] -> [[PublicIPAddress]] on "
                          "[[ComputerName]]\n"));
    EchoHttpServer echo;
    echo.setAddress(FirstPublic);
    QVERIFY2(service.start({echo.url()},
                           {QStringLiteral("--echo-interval"), QStringLiteral("0.2"),
                            QStringLiteral("--alert-retry-delays"), QStringLiteral("1,2,30"),
                            QStringLiteral("--push-timeout"), QStringLiteral("1")}),
             qPrintable(service.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              FirstPublic, testtime::scaled(10000));

    echo.setAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral(": done")),
                             testtime::scaled(30000));
    QCOMPARE(receiver.requestCount(), 3);
    const QList<WebhookReceiver::Request> kept = receiver.kept();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept[0].body,
             "203.0.113.7 -> 198.51.100.23 on " + QSysInfo::machineHostName().toUtf8());
    QCOMPARE(kept[0].headers.value(QStringLiteral("X-Velmora")).toString(), QStringLiteral("yes"));

    // The second attempt a retry delay (1 s) after the first failed at once;
    // the third the next delay (2 s) after the second ended at the time limit (1 s).
    const QList<double> times = receiver.requestTimes();
    QCOMPARE(times.size(), 3);
    QVERIFY2(times[1] - times[0] >= 1.0 && times[1] - times[0] < 3.0,
             qPrintable(QString::number(times[1] - times[0])));
    QVERIFY2(times[2] - times[1] >= 3.0 && times[2] - times[1] < 5.5,
             qPrintable(QString::number(times[2] - times[1])));

    const QString output = service.output();
    QVERIFY2(output.contains(QStringLiteral("answered HTTP 500")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("Operation timed out")), qPrintable(output));
    QCOMPARE(output.count(QStringLiteral("push alert for the change to 198.51.100.23")), 6);
    QVERIFY2(output.contains(QStringLiteral("done (sent to %1)").arg(receiver.url())),
             qPrintable(output));
    QVERIFY(!readFile(service.logFile()).isEmpty());
    const QString written = everythingWritten(service);
    QVERIFY2(!written.contains(QString::fromLatin1(Token)), qPrintable(written));
    // Nothing is left pending.
    QVERIFY(!QFile::exists(service.stateDir() + QStringLiteral("/pending-alerts")));
}

void TestServicePush::switchedOffPushIsNotSent()
{
    WebhookReceiver receiver;
    QVERIFY2(receiver.start(), qPrintable(receiver.errorText()));
    RunningService service;
    QVERIFY(QDir().mkpath(service.configDir()));
    QVERIFY(writeFile(service.settingsFile(),
                      "push-alerts=false\npush-url=" + receiver.url().toUtf8() + "\n"));
    EchoHttpServer echo;
    echo.setAddress(FirstPublic);
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(service.request(service::UpdateStatus).value(service::PublicIpLine),
                              FirstPublic, testtime::scaled(10000));
    echo.setAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral("alerts on: none")),
                             testtime::scaled(10000));
    QTest::qWait(500);
    QCOMPARE(receiver.requestCount(), 0);
}

QTEST_GUILESS_MAIN(TestServicePush)
#include "tst_service_push.moc"
