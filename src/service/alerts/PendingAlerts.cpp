#include "service/alerts/PendingAlerts.h"

#include "common/Ipv4Address.h"
#include "common/Ipv6Address.h"
#include "common/PrivateFile.h"
#include "common/VelmoraPaths.h"
#include "service/base/ServiceLog.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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

QByteArray ipv6Pair(const Addresses& addresses)
{
    const auto field = [](const QString& address) {
        return address.isEmpty() ? QByteArray("-") : address.toLatin1();
    };
    return field(addresses.publicIpv6) + ' ' + field(addresses.localIpv6);
}

// Fills the IPv6 addresses of `addresses` from "<public> <local>"; false when
// the text is not such a pair.
bool readIpv6Pair(const QByteArray& text, Addresses& addresses)
{
    const QList<QByteArray> fields = text.split(' ');
    if (fields.size() != 2)
        return false;
    QString values[2];
    for (int i = 0; i < 2; ++i) {
        if (fields[i] == "-")
            continue;
        values[i] = ipv6::canonical(fields[i]);
        if (values[i].isEmpty())
            return false;
    }
    addresses.publicIpv6 = values[0];
    addresses.localIpv6 = values[1];
    return true;
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

std::optional<PendingAlerts::Change> PendingAlerts::parse(const QByteArray& text)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 4 || !lines[0].startsWith("previous ") || !lines[1].startsWith("current ") ||
        !lines[2].startsWith("when ") || !lines[3].startsWith("alerts "))
        return std::nullopt;
    auto previous = readPair(lines[0].mid(9));
    auto current = readPair(lines[1].mid(8));
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(lines[2].mid(5)), Qt::ISODate);
    if (!previous || !current || !when.isValid())
        return std::nullopt;
    if (lines.size() >= 6 && lines[4].startsWith("previous-ipv6 ") &&
        lines[5].startsWith("current-ipv6 ") &&
        !(readIpv6Pair(lines[4].mid(14), *previous) && readIpv6Pair(lines[5].mid(13), *current)))
        return std::nullopt;
    Change change{*previous, *current, when,
                  QString::fromUtf8(lines[3].mid(7)).split(u',', Qt::SkipEmptyParts)};
    if (change.alerts.isEmpty())
        return std::nullopt;
    return change;
}

std::optional<PendingAlerts::Change> PendingAlerts::load() const
{
    const privatefile::ReadResult file = privatefile::read(m_filePath, MaxFileSize);
    if (file.isRead())
        return parse(file.contents);
    if (file.status != privatefile::ReadResult::Status::Missing)
        logLine(LogLevel::Warning,
                QStringLiteral("cannot read the pending alerts %1 (%2); no alert is resumed, and "
                               "the file will be replaced")
                    .arg(m_filePath, file.reason));
    return std::nullopt;
}

void PendingAlerts::save(const Change& change) const
{
    if (change.alerts.isEmpty()) {
        // unlink() removes a link in its place, never what it points to.
        if (::unlink(QFile::encodeName(m_filePath).constData()) == 0 || errno == ENOENT)
            return;
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        logLine(LogLevel::Warning, QStringLiteral("cannot remove %1: %2").arg(m_filePath, reason));
        return;
    }
    QByteArray contents = "previous " + addressPair(change.previous) + "\ncurrent " +
                          addressPair(change.current) + "\nwhen " +
                          change.when.toString(Qt::ISODate).toLatin1() + "\nalerts " +
                          change.alerts.join(u',').toUtf8() + '\n';
    // After the four lines an earlier version reads, which it still can.
    if (change.previous.hasIpv6() || change.current.hasIpv6())
        contents += "previous-ipv6 " + ipv6Pair(change.previous) + "\ncurrent-ipv6 " +
                    ipv6Pair(change.current) + '\n';
    const QString failure = privatefile::write(m_filePath, contents);
    if (!failure.isEmpty())
        logLine(LogLevel::Error,
                QStringLiteral("cannot keep the pending alerts in %1: %2; the file keeps the "
                               "ones before, and a restart may not send these")
                    .arg(m_filePath, failure));
}
