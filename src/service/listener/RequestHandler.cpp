#include "service/listener/RequestHandler.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "common/ServiceProtocol.h"
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

std::optional<QByteArray> RequestHandler::handle(const ServiceRequest& request)
{
    if (request.command == service::UpdateStatus)
        return framing::encodeCountedList(statusLines());
    if (request.command == service::GetSettings)
        return framing::encodeCountedList(statusLines() + m_store.settings().toValues());
    if (request.command == service::GetCellularProviders)
        return framing::encodeCountedList(QList<QByteArray>{greeting()} + m_carrierLines);
    // RequestReader lets nothing else through.
    const AlertSettings settings = AlertSettings::fromSaveList(request.list);
    // A file it cannot write is the store's to report: the window expects no
    // answer and cannot be told.
    m_store.save(settings);
    return std::nullopt;
}
