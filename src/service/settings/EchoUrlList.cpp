#include "service/settings/EchoUrlList.h"

#include "service/ServiceLog.h"

#include <QFile>
#include <QFileInfo>

namespace echourls {

QList<QUrl> builtIn()
{
    // Each answers a plain request with the caller's address and nothing else.
    return {QUrl(QStringLiteral("https://api.ipify.org/")),
            QUrl(QStringLiteral("https://ipv4.icanhazip.com/")),
            QUrl(QStringLiteral("https://checkip.amazonaws.com/")),
            QUrl(QStringLiteral("https://ipecho.net/plain")),
            QUrl(QStringLiteral("https://ifconfig.me/ip"))};
}

QList<QUrl> load(const QString& configDir)
{
    const QString path = configDir + QStringLiteral("/echo-urls.txt");
    if (!QFileInfo::exists(path))
        return builtIn();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        logLine(QStringLiteral("cannot read %1 (%2); using the built-in echo services")
                    .arg(path, file.errorString()));
        return builtIn();
    }
    QList<QUrl> urls;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QUrl url(line, QUrl::StrictMode);
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
            logLine(QStringLiteral("%1, line %2: not an http or https URL; left out")
                        .arg(path)
                        .arg(number));
            continue;
        }
        urls.append(url);
    }
    if (urls.isEmpty()) {
        logLine(
            QStringLiteral("%1 names no usable URL; using the built-in echo services").arg(path));
        return builtIn();
    }
    return urls;
}

} // namespace echourls
