#include "helpers/EchoSource.h"

#include "common/Ipv4Address.h"
#include "helpers/DnsQuestion.h"

#include <QSet>

EchoSource::EchoSource(QUrl sourceUrl) : url(std::move(sourceUrl)), operatorName(operatorOf(url)) {}

EchoSource::EchoSource(QUrl sourceUrl, QString name)
    : url(std::move(sourceUrl)), operatorName(std::move(name))
{
}

QString EchoSource::toText() const
{
    if (operatorName == operatorOf(url))
        return key();
    return key() + QLatin1Char(' ') + operatorName;
}

std::optional<EchoSource> EchoSource::fromText(const QString& text)
{
    const QStringList fields = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.isEmpty() || fields.size() > 2)
        return std::nullopt;
    const QUrl url(fields.first(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https") &&
        !DnsQuestion::fromUrl(url))
        return std::nullopt;
    if (fields.size() == 2)
        return EchoSource(url, fields.at(1));
    return EchoSource(url);
}

bool EchoSource::fits(AddressFamily family) const
{
    if (!isDns()) {
        // A service named by its address is reached in that address's family
        // only; one named by host is asked in either.
        const QString host = url.host();
        if (ipv4::parse(host.toLatin1()))
            return family == AddressFamily::Ipv4;
        if (host.contains(QLatin1Char(':')))
            return family == AddressFamily::Ipv6;
        return true;
    }
    const std::optional<DnsQuestion> question = DnsQuestion::fromUrl(url);
    return question && question->fits(family);
}

QList<EchoSource> sourcesFor(const QList<EchoSource>& sources, AddressFamily family)
{
    QList<EchoSource> fitting;
    for (const EchoSource& source : sources) {
        if (source.fits(family))
            fitting.append(source);
    }
    return fitting;
}

QString operatorOf(const QUrl& url)
{
    const QString host = url.host().toLower();
    if (ipv4::parse(host.toLatin1()) || host.contains(QLatin1Char(':')))
        return host;
    QStringList labels = host.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    qsizetype keep = 2;
    if (labels.size() >= 3 && labels.last().size() == 2 && labels.at(labels.size() - 2).size() <= 3)
        keep = 3;
    if (labels.size() > keep)
        labels = labels.mid(labels.size() - keep);
    return labels.join(QLatin1Char('.'));
}

bool singleOperator(const QList<EchoSource>& sources)
{
    QSet<QString> operators;
    for (const EchoSource& source : sources)
        operators.insert(source.operatorName);
    return operators.size() < 2;
}
