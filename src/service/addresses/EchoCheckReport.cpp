#include "service/addresses/EchoCheckReport.h"

#include "service/addresses/Ipv4Address.h"

namespace echoreport {

namespace {

constexpr QByteArrayView FoundPrefix("found ");
constexpr QByteArrayView FailedPrefix("failed ");

} // namespace

QByteArray found(const QString& address)
{
    return FoundPrefix.toByteArray() + address.toLatin1() + '\n';
}

QByteArray failed(const QString& reason)
{
    return FailedPrefix.toByteArray() + reason.toLocal8Bit().replace('\n', ' ') + '\n';
}

std::optional<Result> read(const QByteArray& line)
{
    const QByteArray text = line.trimmed();
    if (text.startsWith(FoundPrefix)) {
        const std::optional<QString> address =
            ipv4::publicAddressFromEchoBody(text.mid(FoundPrefix.size()));
        if (address)
            return Result{*address, {}};
        return Result{{}, QStringLiteral("the check gave no public address")};
    }
    if (text.startsWith(FailedPrefix))
        return Result{{}, QString::fromLocal8Bit(text.mid(FailedPrefix.size()))};
    return std::nullopt;
}

} // namespace echoreport
