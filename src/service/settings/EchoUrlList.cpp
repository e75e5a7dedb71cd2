#include "service/settings/EchoUrlList.h"

#include "common/PrivateFile.h"
#include "service/ServiceLog.h"

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
    // would double the traffic of every check.
    return {
        // resolver1.opendns.com
        source("dns://208.67.222.222/myip.opendns.com?type=A", "opendns"),
        // ns1.google.com
        source("dns://216.239.32.10/o-o.myaddr.l.google.com?type=TXT", "google"),
        source("dns://1.1.1.1/whoami.cloudflare?type=TXT&class=CH", "cloudflare"),
        // ns1-1.akamaitech.net
        source("dns://193.108.88.1/whoami.akamai.net?type=A", "akamai"),
    };
}

QList<EchoSource> builtInHttp()
{
    // Each answers a plain request with the caller's address and nothing else.
    return {source("https://api.ipify.org/", "ipify.org"),
            source("https://ipv4.icanhazip.com/", "cloudflare"),
            source("https://checkip.amazonaws.com/", "amazonaws.com"),
            source("https://ipecho.net/plain", "ipecho.net"),
            source("https://ifconfig.me/ip", "ifconfig.me")};
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
                                 ? QStringLiteral("a dns://<server>/<name>?type=A|TXT URL")
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
