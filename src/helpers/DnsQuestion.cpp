#include "helpers/DnsQuestion.h"

#include "common/Ipv4Address.h"
#include "helpers/AddressFamily.h"

#include <QUrlQuery>

std::optional<DnsQuestion> DnsQuestion::fromUrl(const QUrl& url)
{
    if (url.scheme() != QLatin1String("dns") || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        url.hasFragment())
        return std::nullopt;
    DnsQuestion question;
    question.server = url.host();
    if (url.port() == 0)
        return std::nullopt;
    if (url.port() > 0)
        question.port = quint16(url.port());
    QString name = url.path();
    if (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    question.name = QUrl::toAce(name);
    if (question.name.isEmpty() || question.name.size() > 253 || question.name.contains('/'))
        return std::nullopt;
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems()) {
        const QString upper = value.toUpper();
        if (key == QLatin1String("type") && upper == QLatin1String("A"))
            question.type = Type::A;
        else if (key == QLatin1String("type") && upper == QLatin1String("AAAA"))
            question.type = Type::Aaaa;
        else if (key == QLatin1String("type") && upper == QLatin1String("TXT"))
            question.type = Type::Txt;
        else if (key == QLatin1String("class") && upper == QLatin1String("IN"))
            question.dnsClass = Class::In;
        else if (key == QLatin1String("class") && upper == QLatin1String("CH"))
            question.dnsClass = Class::Chaos;
        else
            return std::nullopt;
    }
    return question;
}

QString DnsQuestion::describe() const
{
    QString text = type == Type::A      ? QStringLiteral("A")
                   : type == Type::Aaaa ? QStringLiteral("AAAA")
                                        : QStringLiteral("TXT");
    if (dnsClass == Class::Chaos)
        text += QStringLiteral(" CH");
    const bool ipv6Server = server.contains(QLatin1Char(':'));
    text += QLatin1Char(' ') + QString::fromLatin1(name) + QStringLiteral(" at ");
    if (port == 53)
        return text + server;
    text += ipv6Server ? QLatin1Char('[') + server + QLatin1Char(']') : server;
    text += QLatin1Char(':') + QString::number(port);
    return text;
}

bool DnsQuestion::fits(AddressFamily family) const
{
    const bool ipv6 = family == AddressFamily::Ipv6;
    if (type == (ipv6 ? Type::A : Type::Aaaa))
        return false;
    if (server.contains(QLatin1Char(':')))
        return ipv6;
    if (ipv4::parse(server.toLatin1()))
        return !ipv6;
    return true;
}
