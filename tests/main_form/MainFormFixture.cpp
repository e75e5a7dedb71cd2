#include "MainFormFixture.h"

#include "common/ServiceProtocol.h"
#include "shell/Shared.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QThread>

MainFormFixture::MainFormFixture()
{
    if (ProductTitle.isEmpty())
        ProductTitle = QStringLiteral("Velmora");
    service.setReply("GetCellularProviders",
                     FakeService::countedList(QList<QByteArray>{"v1"} + defaultCarriers()));
    setValues(defaultValues());
    service.setReply(service::GetKeyedSettings, keyedSettingsReply());
    service.setReply("UpdateStatus", statusReply("pc-1", "203.0.113.7", "192.168.1.20"));
    service.setReply(service::GetKeyedStatus,
                     keyedStatusReply("pc-1", "203.0.113.7", "192.168.1.20"));
}

QList<QByteArray> MainFormFixture::defaultValues()
{
    // The table's defaults, and the fixture's own values by setting.
    QList<QByteArray> values = AlertSettings().toValues({});
    const auto set = [&values](Setting setting, const QByteArray& value) {
        values[settingtable::wireIndex(setting)] = value;
    };
    set(Setting::Recipients, "me@example.com");
    set(Setting::SmtpServer, "smtp.example.com");
    set(Setting::SmtpUsername, "user");
    set(Setting::SmtpPassword, "secret");
    set(Setting::PhoneNumber, "5555555555");
    set(Setting::Carrier, "1");
    set(Setting::Program, "/usr/bin/true");
    set(Setting::FtpHost, "ftp.example.com");
    set(Setting::FtpUsername, "ftpuser");
    set(Setting::FtpPassword, "ftppass");
    return values;
}

QByteArray MainFormFixture::keyedSettingsReply(const SettingValues& values)
{
    AlertSettings settings;
    settings.set(values);
    QList<QByteArray> lines{"v1"};
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed())
            lines.append(spelling::keyedLine(row.fileKey, settings.linkValue(row.setting, {})));
    }
    return FakeService::countedList(lines);
}

QList<QByteArray> MainFormFixture::defaultCarriers()
{
    return {"AT&T|txt.att.net", "Verizon|vtext.com", "T-Mobile|tmomail.net", "Bell|txt.bell.ca",
            "Rogers|pcs.rogers.com"};
}

QByteArray MainFormFixture::settingsReply(const QList<QByteArray>& values,
                                          const QList<QByteArray>& status)
{
    return FakeService::countedList(QList<QByteArray>{"v1"} + status + values);
}

QByteArray MainFormFixture::statusReply(const QByteArray& name, const QByteArray& publicIp,
                                        const QByteArray& localIp)
{
    return FakeService::countedList({"v1", name, publicIp, localIp});
}

QByteArray MainFormFixture::keyedStatusReply(const QByteArray& name, const QByteArray& publicIp,
                                             const QByteArray& localIp,
                                             const QByteArray& publicIpv6,
                                             const QByteArray& localIpv6)
{
    return FakeService::countedList({"v1", spelling::keyedLine(service::ComputerNameKey, name),
                                     spelling::keyedLine(service::PublicIpKey, publicIp),
                                     spelling::keyedLine(service::LocalIpKey, localIp),
                                     spelling::keyedLine(service::PublicIpv6Key, publicIpv6),
                                     spelling::keyedLine(service::LocalIpv6Key, localIpv6)});
}

void MainFormFixture::setValues(const QList<QByteArray>& values)
{
    service.setReply("GetSettings", settingsReply(values));
}

TFormMain& MainFormFixture::create()
{
    MainFormContext context;
    context.servicePort = service.port();
    context.applicationTitle = QStringLiteral("Velmora");
    context.dialogs = &dialogs;
    context.trayIcon = &tray;
    context.shell = &shell;
    context.autostart = &autostart;
    context.clock = [this] { return now; };
    context.logFilePath = folder.filePath(QStringLiteral("velmora.log"));
    context.requestQuit = [this] { ++quitRequests; };
    context.createMailManager = createMailManager;
    if (adjustContext)
        adjustContext(context);
    m_form = std::make_unique<TFormMain>(context);
    return *m_form;
}

QList<QList<QByteArray>> MainFormFixture::savedLists() const
{
    QList<QList<QByteArray>> lists;
    for (const FakeService::Exchange& e : service.exchanges())
        if (e.command == "SaveSettings" && e.complete)
            lists.append(e.list);
    return lists;
}

QList<QList<QByteArray>> MainFormFixture::keyedSaves() const
{
    QList<QList<QByteArray>> lists;
    for (const FakeService::Exchange& e : service.exchanges())
        if (e.command == service::SaveKeyedSettings && e.complete)
            lists.append(e.list);
    return lists;
}

QList<QList<QByteArray>> MainFormFixture::waitForSavedLists(int count) const
{
    const QDeadlineTimer deadline(testtime::scaled(5000));
    while (savedLists().size() < count && !deadline.hasExpired())
        QThread::msleep(5);
    return savedLists();
}
