#include "service/addresses/RememberedAddresses.h"

#include "common/Ipv4Address.h"
#include "common/Ipv6Address.h"
#include "common/PrivateFile.h"
#include "common/VelmoraPaths.h"
#include "service/base/ServiceLog.h"

#include <QByteArrayList>

namespace {

// Anything larger is not this file.
constexpr qint64 MaxFileSize = 4096;

} // namespace

RememberedAddresses::RememberedAddresses(const QString& stateDir)
    : m_filePath(stateDir + u'/' + QLatin1String(velmorapaths::RememberedAddressesName))
{
}

Addresses RememberedAddresses::parse(const QByteArray& text)
{
    Addresses addresses;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0)
            continue;
        const QByteArray key = line.left(blank);
        const QByteArray value = line.mid(blank + 1).trimmed();
        if (key == "public-ipv6")
            addresses.publicIpv6 = ipv6::canonical(value);
        else if (key == "local-ipv6")
            addresses.localIpv6 = ipv6::canonical(value);
        const auto address = ipv4::parse(value);
        if (!address)
            continue;
        if (key == "public")
            addresses.publicIp = ipv4::toText(*address);
        else if (key == "local")
            addresses.localIp = ipv4::toText(*address);
    }
    return addresses;
}

Addresses RememberedAddresses::load() const
{
    const privatefile::ReadResult file = privatefile::read(m_filePath, MaxFileSize);
    if (file.isRead())
        return parse(file.contents);
    if (file.status != privatefile::ReadResult::Status::Missing)
        logLine(LogLevel::Warning,
                QStringLiteral("cannot read the remembered addresses %1 (%2); the addresses count "
                               "as unknown and the file will be replaced")
                    .arg(m_filePath, file.reason));
    return {};
}

void RememberedAddresses::save(const Addresses& addresses) const
{
    QByteArray contents = "public " + addresses.publicIp.toLatin1() + "\nlocal " +
                          addresses.localIp.toLatin1() + '\n';
    if (!addresses.publicIpv6.isEmpty())
        contents += "public-ipv6 " + addresses.publicIpv6.toLatin1() + '\n';
    if (!addresses.localIpv6.isEmpty())
        contents += "local-ipv6 " + addresses.localIpv6.toLatin1() + '\n';
    const QString failure = privatefile::write(m_filePath, contents);
    if (!failure.isEmpty())
        logLine(LogLevel::Error,
                QStringLiteral("cannot keep the addresses in %1: %2; the file keeps the ones "
                               "before, and a change while the service is stopped may go unseen")
                    .arg(m_filePath, failure));
}
