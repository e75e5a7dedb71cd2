#include "service/settings/EchoUrlList.h"

#include "common/PrivateFile.h"
#include "service/base/ServiceLog.h"

namespace echourls {

namespace {

// Some hundred URLs at most; anything larger is not such a list.
constexpr qint64 MaxFileSize = 64 * 1024;

EchoSource source(const char* url, const char* operatorName)
{
    return EchoSource(QUrl(QString::fromLatin1(url)), QString::fromLatin1(operatorName));
}

QList<EchoSource> loadFile(const QString& path, Kind kind, const QList<EchoSource>& builtInList)
{
    const QString what =
        kind == Kind::Dns ? QStringLiteral("DNS sources") : QStringLiteral("echo services");
    const privatefile::ReadResult file =
        privatefile::read(path, MaxFileSize, privatefile::Links::Followed);
    if (file.status == privatefile::ReadResult::Status::Missing)
        return builtInList;
    if (!file.isRead()) {
        logLine(LogLevel::Warning, QStringLiteral("cannot read %1 (%2); using the built-in %3")
                                       .arg(path, file.reason, what));
        return builtInList;
    }
    const QList<EchoSource> sources = parse(file.contents, path, kind);
    if (sources.isEmpty()) {
        logLine(LogLevel::Warning,
                QStringLiteral("%1 names no usable URL; using the built-in %2").arg(path, what));
        return builtInList;
    }
    return sources;
}

} // namespace

QList<EchoSource> builtInDns()
{
    // Each server answers for the name itself, with the address the question
    // came from. The servers are given by address: looking their names up
    // would double the traffic of every check. The IPv4 check asks those
    // reached over IPv4, the IPv6 check those reached over IPv6
    // (EchoSource::fits).
    return {
        // resolver1.opendns.com
        source("dns://208.67.222.222/myip.opendns.com?type=A", "opendns"),
        // ns1.google.com
        source("dns://216.239.32.10/o-o.myaddr.l.google.com?type=TXT", "google"),
        source("dns://1.1.1.1/whoami.cloudflare?type=TXT&class=CH", "cloudflare"),
        // ns1-1.akamaitech.net
        source("dns://193.108.88.1/whoami.akamai.net?type=A", "akamai"),
        // The same servers' IPv6 addresses.
        source("dns://[2620:119:35::35]/myip.opendns.com?type=AAAA", "opendns"),
        source("dns://[2001:4860:4802:32::a]/o-o.myaddr.l.google.com?type=TXT", "google"),
        source("dns://[2606:4700:4700::1111]/whoami.cloudflare?type=TXT&class=CH", "cloudflare"),
    };
}

QList<EchoSource> builtInHttp()
{
    // Each answers a plain request with the caller's address and nothing else.
    // The IPv6 check asks each over IPv6: the last two have IPv6 addresses
    // only, and ifconfig.me both.
    return {source("https://api.ipify.org/", "ipify.org"),
            source("https://ipv4.icanhazip.com/", "cloudflare"),
            source("https://checkip.amazonaws.com/", "amazonaws.com"),
            source("https://ipecho.net/plain", "ipecho.net"),
            source("https://ifconfig.me/ip", "ifconfig.me"),
            source("https://api6.ipify.org/", "ipify.org"),
            source("https://ipv6.icanhazip.com/", "cloudflare")};
}

QList<EchoSource> builtIn()
{
    return builtInDns() + builtInHttp();
}

QList<EchoSource> parse(const QByteArray& text, const QString& origin, Kind kind)
{
    QList<EchoSource> sources;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const std::optional<EchoSource> source = EchoSource::fromText(line);
        if (!source || source->isDns() != (kind == Kind::Dns)) {
            logLine(LogLevel::Warning,
                    QStringLiteral("%1, line %2: not %3; left out")
                        .arg(origin)
                        .arg(number)
                        .arg(kind == Kind::Dns
                                 ? QStringLiteral("a dns://<server>/<name>?type=A|AAAA|TXT URL")
                                 : QStringLiteral("an http or https URL")));
            continue;
        }
        sources.append(*source);
    }
    return sources;
}

QList<EchoSource> load(const QString& configDir)
{
    return loadFile(configDir + QStringLiteral("/dns-sources.txt"), Kind::Dns, builtInDns()) +
           loadFile(configDir + QStringLiteral("/echo-urls.txt"), Kind::Http, builtInHttp());
}

} // namespace echourls
