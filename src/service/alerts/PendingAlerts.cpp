#include "service/alerts/PendingAlerts.h"

#include "common/VelmoraPaths.h"
#include "service/ServiceLog.h"
#include "service/addresses/Ipv4Address.h"

#include <QFile>
#include <QSaveFile>

namespace {

constexpr qint64 MaxFileSize = 4096;

// "<public> <local>", each a plain IPv4 address or "-" while unknown.
QByteArray addressPair(const Addresses& addresses)
{
    const auto field = [](const QString& address) {
        return address.isEmpty() ? QByteArray("-") : address.toLatin1();
    };
    return field(addresses.publicIp) + ' ' + field(addresses.localIp);
}

std::optional<Addresses> readPair(const QByteArray& text)
{
    const QList<QByteArray> fields = text.split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    Addresses addresses;
    for (int i = 0; i < 2; ++i) {
        QString value;
        if (fields[i] != "-") {
            const auto address = ipv4::parse(fields[i]);
            if (!address)
                return std::nullopt;
            value = ipv4::toText(*address);
        }
        (i == 0 ? addresses.publicIp : addresses.localIp) = value;
    }
    return addresses;
}

} // namespace

PendingAlerts::PendingAlerts(const QString& stateDir)
    : m_filePath(stateDir + u'/' + QLatin1String(velmorapaths::PendingAlertsName))
{
}

std::optional<PendingAlerts::Change> PendingAlerts::load() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(MaxFileSize).split('\n');
    if (lines.size() < 4 || !lines[0].startsWith("previous ") || !lines[1].startsWith("current ") ||
        !lines[2].startsWith("when ") || !lines[3].startsWith("alerts "))
        return std::nullopt;
    const auto previous = readPair(lines[0].mid(9));
    const auto current = readPair(lines[1].mid(8));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(lines[2].mid(5)), Qt::ISODate);
    if (!previous || !current || !when.isValid())
        return std::nullopt;
    Change change{*previous, *current, when,
                  QString::fromUtf8(lines[3].mid(7)).split(u',', Qt::SkipEmptyParts)};
    if (change.alerts.isEmpty())
        return std::nullopt;
    return change;
}

void PendingAlerts::save(const Change& change) const
{
    if (change.alerts.isEmpty()) {
        if (QFile::exists(m_filePath) && !QFile::remove(m_filePath))
            logLine(QStringLiteral("cannot remove %1").arg(m_filePath));
        return;
    }
    const QByteArray contents = "previous " + addressPair(change.previous) + "\ncurrent " +
                                addressPair(change.current) + "\nwhen " +
                                change.when.toString(Qt::ISODate).toLatin1() + "\nalerts " +
                                change.alerts.join(u',').toUtf8() + '\n';
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(contents) != contents.size() || !file.commit())
        logLine(QStringLiteral("cannot keep the pending alerts in %1: %2")
                    .arg(m_filePath, file.errorString()));
}
