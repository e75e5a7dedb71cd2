#include "service/settings/EchoUrlList.h"

#include "common/PrivateFile.h"
#include "service/ServiceLog.h"

namespace echourls {

namespace {

// Some hundred URLs at most; anything larger is not such a list.
constexpr qint64 MaxFileSize = 64 * 1024;

} // namespace

QList<QUrl> builtIn()
{
    // Each answers a plain request with the caller's address and nothing else.
    return {QUrl(QStringLiteral("https://api.ipify.org/")),
            QUrl(QStringLiteral("https://ipv4.icanhazip.com/")),
            QUrl(QStringLiteral("https://checkip.amazonaws.com/")),
            QUrl(QStringLiteral("https://ipecho.net/plain")),
            QUrl(QStringLiteral("https://ifconfig.me/ip"))};
}

QList<QUrl> parse(const QByteArray& text, const QString& origin)
{
    QList<QUrl> urls;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QUrl url(line, QUrl::StrictMode);
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
            logLine(LogLevel::Warning,
                    QStringLiteral("%1, line %2: not an http or https URL; left out")
                        .arg(origin)
                        .arg(number));
            continue;
        }
        urls.append(url);
    }
    return urls;
}

QList<QUrl> load(const QString& configDir)
{
    const QString path = configDir + QStringLiteral("/echo-urls.txt");
    const privatefile::ReadResult file =
        privatefile::read(path, MaxFileSize, privatefile::Links::Followed);
    if (file.status == privatefile::ReadResult::Status::Missing)
        return builtIn();
    if (!file.isRead()) {
        logLine(LogLevel::Warning,
                QStringLiteral("cannot read %1 (%2); using the built-in echo services")
                    .arg(path, file.reason));
        return builtIn();
    }
    const QList<QUrl> urls = parse(file.contents, path);
    if (urls.isEmpty()) {
        logLine(
            LogLevel::Warning,
            QStringLiteral("%1 names no usable URL; using the built-in echo services").arg(path));
        return builtIn();
    }
    return urls;
}

} // namespace echourls
