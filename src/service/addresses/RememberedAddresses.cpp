#include "service/addresses/RememberedAddresses.h"

#include "common/VelmoraPaths.h"
#include "service/ServiceLog.h"
#include "service/addresses/Ipv4Address.h"

#include <QFile>
#include <QSaveFile>

namespace {

// Anything larger is not this file.
constexpr qint64 MaxFileSize = 4096;

} // namespace

RememberedAddresses::RememberedAddresses(const QString& stateDir)
    : m_filePath(stateDir + u'/' + QLatin1String(velmorapaths::RememberedAddressesName))
{
}

Addresses RememberedAddresses::load() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Addresses addresses;
    for (const QByteArray& line : file.read(MaxFileSize).split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0)
            continue;
        const QByteArray key = line.left(blank);
        const auto address = ipv4::parse(line.mid(blank + 1).trimmed());
        if (!address)
            continue;
        if (key == "public")
            addresses.publicIp = ipv4::toText(*address);
        else if (key == "local")
            addresses.localIp = ipv4::toText(*address);
    }
    return addresses;
}

void RememberedAddresses::save(const Addresses& addresses) const
{
    QSaveFile file(m_filePath);
    const QByteArray contents = "public " + addresses.publicIp.toLatin1() + "\nlocal " +
                                addresses.localIp.toLatin1() + '\n';
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(contents) != contents.size() || !file.commit())
        logLine(QStringLiteral("cannot keep the addresses in %1: %2")
                    .arg(m_filePath, file.errorString()));
}
