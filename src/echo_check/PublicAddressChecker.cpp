#include "echo_check/PublicAddressChecker.h"

#include "service/addresses/Ipv4Address.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// An echo service answers with a few bytes; anything longer is some other page.
constexpr qint64 MaxBodySize = 256;

} // namespace

PublicAddressChecker::PublicAddressChecker(QList<QUrl> urls,
                                           std::chrono::milliseconds timeoutPerUrl, QObject* parent)
    : PublicAddressSource(parent), m_urls(std::move(urls)), m_timeout(timeoutPerUrl)
{
}

PublicAddressChecker::~PublicAddressChecker()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
}

void PublicAddressChecker::start()
{
    if (isRunning())
        return;
    m_next = 0;
    m_failures.clear();
    askNext();
}

void PublicAddressChecker::askNext()
{
    if (m_next >= m_urls.size()) {
        emit failed(m_urls.isEmpty() ? QStringLiteral("no echo service is configured")
                                     : m_failures.join(QStringLiteral("; ")));
        return;
    }
    QNetworkRequest request(m_urls.at(m_next++));
    request.setTransferTimeout(int(m_timeout.count()));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("velmora-service/" VELMORA_SERVICE_VERSION));
    request.setRawHeader("Accept", "text/plain");
    m_tooLong = false;
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &PublicAddressChecker::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &PublicAddressChecker::onFinished);
}

void PublicAddressChecker::onReadyRead()
{
    if (m_reply && m_reply->bytesAvailable() > MaxBodySize) {
        m_tooLong = true;
        m_reply->abort(); // finishes the reply, which moves on to the next service
    }
}

void PublicAddressChecker::giveUpOnCurrent(const QString& reason)
{
    m_failures.append(QStringLiteral("%1: %2").arg(m_urls.at(m_next - 1).toString(), reason));
    askNext();
}

void PublicAddressChecker::onFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();

    if (m_tooLong)
        return giveUpOnCurrent(QStringLiteral("the answer is longer than an address"));
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return giveUpOnCurrent(
            QStringLiteral("no answer within %1 ms").arg(qint64(m_timeout.count())));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError && status == 0)
        return giveUpOnCurrent(reply->errorString());
    if (status < 200 || status > 299)
        return giveUpOnCurrent(QStringLiteral("HTTP status %1").arg(status));
    const std::optional<QString> address =
        ipv4::publicAddressFromEchoBody(reply->read(MaxBodySize + 1));
    if (!address)
        return giveUpOnCurrent(QStringLiteral("the answer is not one public IPv4 address"));
    emit found(*address);
}
