#include "ProgramUnderTest.h"

#include "common/AlertSettings.h"
#include "common/ServiceProtocol.h"
#include "fakes/FakeService.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QTest>

namespace programundertest {

void answerAsTheService(FakeService& service)
{
    const QList<QByteArray> status{"pc", "203.0.113.7", "10.0.0.2"};
    QList<QByteArray> settings = AlertSettings().toValues({});
    settings[settingtable::wireIndex(Setting::Recipients)] = "me@example.com";
    settings[settingtable::wireIndex(Setting::SmtpServer)] = "smtp.example.com";
    settings[settingtable::wireIndex(Setting::PhoneNumber)] = "5555555555";
    settings[settingtable::wireIndex(Setting::Carrier)] = "0";
    service.setReply("GetCellularProviders", FakeService::countedList({"v", "AT&T|txt.att.net"}));
    service.setReply("GetSettings",
                     FakeService::countedList(QList<QByteArray>{"v"} + status + settings));
    service.setReply("UpdateStatus", FakeService::countedList(QList<QByteArray>{"v"} + status));
    QList<QByteArray> keyed{"v"};
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed())
            keyed.append(
                spelling::keyedLine(row.fileKey, AlertSettings().linkValue(row.setting, {})));
    }
    service.setReply(service::GetKeyedSettings, FakeService::countedList(keyed));
    // Watching IPv6 (on by default), with no IPv6 address known.
    QList<QByteArray> keyedStatus{"v",
                                  spelling::keyedLine(service::ComputerNameKey, status[0]),
                                  spelling::keyedLine(service::PublicIpKey, status[1]),
                                  spelling::keyedLine(service::LocalIpKey, status[2]),
                                  spelling::keyedLine(service::PublicIpv6Key, ""),
                                  spelling::keyedLine(service::LocalIpv6Key, "")};
    service.setReply(service::GetKeyedStatus, FakeService::countedList(keyedStatus));
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(testtime::scaled(3000)))
        process.kill();
    process.waitForFinished(testtime::scaled(3000));
}

QString path()
{
    return qEnvironmentVariable("VELMORA_BINARY_DIR") + QStringLiteral("/bin/velmora");
}

QProcessEnvironment environment(const QString& display, const QString& runtimeFolder,
                                const QString& busAddress)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_RUNTIME_DIR", runtimeFolder);
    // The history log the window reads and clears: the test's, never the user's.
    env.insert("XDG_STATE_HOME", runtimeFolder + QStringLiteral("/state"));
    env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
    env.remove("VELMORA_INSTANCE_NAME");
    return env;
}

} // namespace programundertest
