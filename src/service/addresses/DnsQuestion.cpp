#include "service/addresses/DnsQuestion.h"

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
    QString text = type == Type::A ? QStringLiteral("A") : QStringLiteral("TXT");
    if (dnsClass == Class::Chaos)
        text += QStringLiteral(" CH");
    text += QLatin1Char(' ') + QString::fromLatin1(name) + QStringLiteral(" at ") + server;
    if (port != 53)
        text += QLatin1Char(':') + QString::number(port);
    return text;
}
