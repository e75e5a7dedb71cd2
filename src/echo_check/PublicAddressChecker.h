#pragma once

#include "echo_check/AddressAgreement.h"
#include "helpers/EchoSource.h"
#include "helpers/PublicAddressSource.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QStringList>
#include <chrono>
#include <optional>

class QNetworkReply;

// Asks the echo services, one after the other, for this computer's public
// address, until the answers agree (see AddressAgreement). Runs on the event
// loop; nothing waits for it. For IPv6 every source is asked over IPv6 (an
// HTTP service by one of its IPv6 addresses), and when none can be reached at
// all the check fails with PublicAddressSource::NoConnectivity.
class PublicAddressChecker : public PublicAddressSource
{
    Q_OBJECT
public:
    // setAside: the keys of sources not to ask (unless no other is left).
    // Sources that do not fit the family are left out.
    PublicAddressChecker(QList<EchoSource> sources, std::chrono::milliseconds timeoutPerSource,
                         QStringList setAside = {}, AddressFamily family = AddressFamily::Ipv4,
                         QObject* parent = nullptr);
    ~PublicAddressChecker() override;

    void start() override;
    bool isRunning() const override { return !m_reply.isNull(); }

signals:
    // A source gave this address (before found() or failed()).
    void answered(const QString& source, const QString& address);
    // A source gave no usable answer, for this reason.
    void unanswered(const QString& source, const QString& reason);

private:
    void askNext();
    void askDns();
    void onReadyRead();
    void onFinished();
    void askHttp();
    enum class Trouble
    {
        Failure,     // the source failed
        NoRoute,     // it cannot be reached from here at all
        OtherFamily, // it has no address of the family: it cannot tell
    };
    void giveUpOnCurrent(const QString& reason, Trouble trouble = Trouble::Failure);
    void takeAnswer(const QString& address);

    QNetworkAccessManager m_network;
    QList<EchoSource> m_sources;
    AddressFamily m_family;
    std::chrono::milliseconds m_timeout;
    QStringList m_setAside;
    qsizetype m_next = 0;
    const EchoSource* m_current = nullptr;
    QPointer<QNetworkReply> m_reply;
    bool m_tooLong = false;
    QStringList m_failures;
    // Sources that could not be reached at all, and those that failed.
    qsizetype m_noRoute = 0;
    qsizetype m_sourceFailures = 0;
    std::optional<AddressAgreement> m_agreement;
};
