#include "service/listener/RequestHandler.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "common/ServiceProtocol.h"
#include "common/SettingSpelling.h"
#include "service/settings/SettingsStore.h"

#include <QSysInfo>

RequestHandler::RequestHandler(SettingsStore& store, QList<QByteArray> carrierLines,
                               std::function<Addresses()> addresses)
    : m_store(store), m_carrierLines(std::move(carrierLines)), m_addresses(std::move(addresses))
{
}

QByteArray RequestHandler::greeting()
{
    const QByteArray version(VELMORA_SERVICE_VERSION);
    return version.isEmpty() ? QByteArrayLiteral("velmora-service")
                             : QByteArrayLiteral("velmora-service ") + version;
}

QByteArray RequestHandler::hostName()
{
    // The window asks on every pointer movement; a renamed computer may show
    // its old name for a second.
    if (m_hostNameAge.hasExpired()) {
        m_hostName = QSysInfo::machineHostName().toLocal8Bit();
        m_hostNameAge.setRemainingTime(std::chrono::seconds(1));
    }
    return m_hostName;
}

QList<QByteArray> RequestHandler::statusLines()
{
    const Addresses addresses = m_addresses();
    return {greeting(), hostName(), addresses.publicIp.toLatin1(), addresses.localIp.toLatin1()};
}

QList<QByteArray> RequestHandler::keyedSettingLines()
{
    QList<QByteArray> lines{greeting()};
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed())
            lines.append(spelling::keyedLine(
                row.fileKey, m_store.settings().linkValue(row.setting, m_store.carrierNames())));
    }
    return lines;
}

QList<QByteArray> RequestHandler::keyedStatusLines()
{
    const Addresses addresses = m_addresses();
    return {greeting(),
            spelling::keyedLine(service::ComputerNameKey, hostName()),
            spelling::keyedLine(service::PublicIpKey, addresses.publicIp.toLatin1()),
            spelling::keyedLine(service::LocalIpKey, addresses.localIp.toLatin1()),
            spelling::keyedLine(service::PublicIpv6Key, addresses.publicIpv6.toLatin1()),
            spelling::keyedLine(service::LocalIpv6Key, addresses.localIpv6.toLatin1())};
}

SettingValues RequestHandler::keyedValues(const QList<QByteArray>& lines) const
{
    SettingValues values;
    for (const QByteArray& line : lines) {
        const auto [key, value] = spelling::splitKeyedLine(line);
        // A key this service does not know is a newer window's, and passed over;
        // the 18 travel only as "SaveSettings" has them.
        const std::optional<Setting> setting = settingtable::withFileKey(key);
        if (setting && settingtable::info(*setting).isKeyed())
            values[*setting] = AlertSettings::fromLink(*setting, value, m_store.carrierNames());
    }
    return values;
}

std::optional<QByteArray> RequestHandler::handle(const ServiceRequest& request)
{
    if (request.command == service::UpdateStatus)
        return framing::encodeCountedList(statusLines());
    if (request.command == service::GetSettings)
        return framing::encodeCountedList(statusLines() +
                                          m_store.settings().toValues(m_store.carrierNames()));
    if (request.command == service::GetCellularProviders)
        return framing::encodeCountedList(QList<QByteArray>{greeting()} + m_carrierLines);
    if (request.command == service::GetKeyedSettings)
        return framing::encodeCountedList(keyedSettingLines());
    if (request.command == service::GetKeyedStatus)
        return framing::encodeCountedList(keyedStatusLines());
    // RequestReader lets nothing else through. A file the store cannot write
    // is its to report: the window expects no answer and cannot be told.
    if (request.command == service::SaveKeyedSettings)
        m_store.save(keyedValues(request.list));
    else
        m_store.save(AlertSettings::fromSaveList(request.list, m_store.carrierNames()));
    return std::nullopt;
}
