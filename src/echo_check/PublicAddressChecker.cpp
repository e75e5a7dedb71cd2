#include "echo_check/PublicAddressChecker.h"

#include "echo_check/DnsEcho.h"
#include "echo_check/RouteProbe.h"
#include "helpers/EchoCheckReport.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// An echo service answers with a few bytes; anything longer is some other page.
constexpr qint64 MaxBodySize = 256;

} // namespace

PublicAddressChecker::PublicAddressChecker(QList<EchoSource> sources,
                                           std::chrono::milliseconds timeoutPerSource,
                                           QStringList setAside, AddressFamily family,
                                           QObject* parent)
    : PublicAddressSource(parent), m_sources(sourcesFor(sources, family)), m_family(family),
      m_timeout(timeoutPerSource), m_setAside(std::move(setAside))
{
    // With every source set aside none would be asked: then all are.
    const bool anyLeft =
        std::any_of(m_sources.cbegin(), m_sources.cend(), [this](const EchoSource& source) {
            return !m_setAside.contains(source.key());
        });
    if (!anyLeft)
        m_setAside.clear();
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
    m_noRoute = 0;
    m_sourceFailures = 0;
    m_agreement.emplace(knownAddress(), singleOperator(m_sources), m_family);
    askNext();
}

void PublicAddressChecker::askNext()
{
    while (m_next < m_sources.size() && (m_setAside.contains(m_sources.at(m_next).key()) ||
                                         !m_agreement->wants(m_sources.at(m_next).operatorName)))
        ++m_next;
    if (m_next >= m_sources.size()) {
        if (m_sources.isEmpty())
            return emit failed(QStringLiteral("no echo service is configured"));
        QStringList reasons;
        if (!m_agreement->answers().isEmpty())
            reasons << m_agreement->disagreement();
        reasons << m_failures;
        // Only sources that could not be reached at all: not a failure of
        // theirs, but no IPv6 here.
        const bool noConnectivity = m_family == AddressFamily::Ipv6 && m_noRoute > 0 &&
                                    m_sourceFailures == 0 && m_agreement->answers().isEmpty();
        if (noConnectivity)
            return emit failed(NoConnectivity + QStringLiteral(" (") +
                               reasons.join(QStringLiteral("; ")) + QLatin1Char(')'));
        return emit failed(reasons.join(QStringLiteral("; ")));
    }
    m_current = &m_sources.at(m_next++);
    if (m_current->isDns())
        return askDns();
    askHttp();
}

void PublicAddressChecker::askHttp()
{
    QUrl url = m_current->url;
    QString verifyName;
    if (m_family == AddressFamily::Ipv6) {
        // Qt Network picks the family itself: the request goes to one of the
        // host's IPv6 addresses, named in the Host header and checked in TLS
        // by the host's name.
        const QString host = url.host();
        QHostAddress address;
        if (!address.setAddress(host)) {
            // Blocking, as the DNS questions are: nothing else waits meanwhile.
            const QHostInfo info = QHostInfo::fromName(host);
            for (const QHostAddress& each : info.addresses()) {
                if (each.protocol() == QAbstractSocket::IPv6Protocol) {
                    address = each;
                    break;
                }
            }
            if (address.isNull() && !info.addresses().isEmpty())
                return giveUpOnCurrent(QStringLiteral("%1 has no IPv6 address").arg(host),
                                       Trouble::OtherFamily);
            if (address.isNull())
                return giveUpOnCurrent(
                    QStringLiteral("%1 cannot be looked up: %2").arg(host, info.errorString()));
            verifyName = host;
            url.setHost(address.toString());
        } else if (address.protocol() != QAbstractSocket::IPv6Protocol) {
            return giveUpOnCurrent(QStringLiteral("%1 is not an IPv6 address").arg(host),
                                   Trouble::OtherFamily);
        }
        const int port = url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
        if (const std::optional<QString> noRoute =
                routeprobe::noRouteTo(address.toString(), quint16(port)))
            return giveUpOnCurrent(*noRoute, Trouble::NoRoute);
    }
    QNetworkRequest request(url);
    if (!verifyName.isEmpty()) {
        const int port = m_current->url.port();
        request.setRawHeader("Host",
                             QUrl::toAce(verifyName) +
                                 (port > 0 ? ':' + QByteArray::number(port) : QByteArray()));
        request.setPeerVerifyName(verifyName);
    }
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

void PublicAddressChecker::askDns()
{
    // Blocking, for at most the time limit: a DNS answer takes milliseconds,
    // and nothing else in the helper waits meanwhile.
    const std::optional<DnsQuestion> question = DnsQuestion::fromUrl(m_current->url);
    const dnsecho::Answer answer = question
                                       ? dnsecho::ask(*question, m_timeout, m_family)
                                       : dnsecho::Answer{{}, QStringLiteral("not a DNS question")};
    if (answer.noRoute)
        return giveUpOnCurrent(answer.problem, Trouble::NoRoute);
    if (answer.address.isEmpty())
        return giveUpOnCurrent(answer.problem);
    takeAnswer(answer.address);
}

void PublicAddressChecker::onReadyRead()
{
    if (m_reply && m_reply->bytesAvailable() > MaxBodySize) {
        m_tooLong = true;
        m_reply->abort(); // finishes the reply, which moves on to the next service
    }
}

void PublicAddressChecker::giveUpOnCurrent(const QString& reason, Trouble trouble)
{
    if (trouble == Trouble::NoRoute)
        ++m_noRoute;
    else if (trouble == Trouble::Failure)
        ++m_sourceFailures;
    m_failures.append(QStringLiteral("%1: %2").arg(m_current->key(), reason));
    emit unanswered(m_current->key(), reason);
    askNext();
}

void PublicAddressChecker::takeAnswer(const QString& address)
{
    emit answered(m_current->key(), address);
    switch (m_agreement->add({m_current->key(), m_current->operatorName, address})) {
    case AddressAgreement::Outcome::Agreed:
        return emit found(m_agreement->address());
    case AddressAgreement::Outcome::Disagreed:
        return emit failed(m_agreement->disagreement());
    case AddressAgreement::Outcome::Open:
        return askNext();
    }
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
        echoreport::publicAddress(reply->read(MaxBodySize + 1), m_family);
    if (!address)
        return giveUpOnCurrent(m_family == AddressFamily::Ipv6
                                   ? QStringLiteral("the answer is not one global IPv6 address")
                                   : QStringLiteral("the answer is not one public IPv4 address"));
    takeAnswer(*address);
}
