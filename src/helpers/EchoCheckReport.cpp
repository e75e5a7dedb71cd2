#include "helpers/EchoCheckReport.h"

#include "common/Ipv4Address.h"
#include "common/PublicIpv6Address.h"

namespace echoreport {

namespace {

constexpr QByteArrayView AnswerPrefix("answer ");
constexpr QByteArrayView ProblemPrefix("problem ");
constexpr QByteArrayView FoundPrefix("found ");

QByteArray sourceName(const QString& source)
{
    QByteArray name = source.toUtf8();
    return name.replace(' ', "%20").replace('\n', "%0A");
}
constexpr QByteArrayView FailedPrefix("failed ");

} // namespace

QByteArray answer(const QString& source, const QString& address)
{
    return AnswerPrefix.toByteArray() + sourceName(source) + ' ' + address.toLatin1() + '\n';
}

QByteArray problem(const QString& source, const QString& reason)
{
    return ProblemPrefix.toByteArray() + sourceName(source) + ' ' +
           reason.toUtf8().replace('\n', ' ') + '\n';
}

QByteArray found(const QString& address)
{
    return FoundPrefix.toByteArray() + address.toLatin1() + '\n';
}

QByteArray failed(const QString& reason)
{
    return FailedPrefix.toByteArray() + reason.toLocal8Bit().replace('\n', ' ') + '\n';
}

std::optional<QString> publicAddress(const QByteArray& text, AddressFamily family)
{
    if (family == AddressFamily::Ipv6)
        return publicipv6::publicAddressFromEchoBody(text);
    return ipv4::publicAddressFromEchoBody(text);
}

std::optional<Result> read(const QByteArray& output, AddressFamily family)
{
    Result result;
    for (const QByteArray& raw : output.split('\n')) {
        const QByteArray text = raw.trimmed();
        if (text.isEmpty())
            continue;
        if (text.startsWith(AnswerPrefix)) {
            const QByteArray rest = text.mid(AnswerPrefix.size());
            const qsizetype blank = rest.lastIndexOf(' ');
            const std::optional<QString> address =
                blank > 0 ? publicAddress(rest.mid(blank + 1), family) : std::nullopt;
            if (address)
                result.answers.append({QString::fromUtf8(rest.left(blank)), *address});
            continue;
        }
        if (text.startsWith(ProblemPrefix)) {
            const QByteArray rest = text.mid(ProblemPrefix.size());
            const qsizetype blank = rest.indexOf(' ');
            if (blank > 0)
                result.problems.append(
                    {QString::fromUtf8(rest.left(blank)), QString::fromUtf8(rest.mid(blank + 1))});
            continue;
        }
        if (text.startsWith(FoundPrefix)) {
            const std::optional<QString> address =
                publicAddress(text.mid(FoundPrefix.size()), family);
            if (address)
                result.address = *address;
            else
                result.reason = QStringLiteral("the check gave no public address");
            return result;
        }
        if (text.startsWith(FailedPrefix)) {
            result.reason = QString::fromLocal8Bit(text.mid(FailedPrefix.size()));
            return result;
        }
    }
    return std::nullopt;
}

} // namespace echoreport
