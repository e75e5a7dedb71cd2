#pragma once

#include "helpers/EchoSource.h"
#include "helpers/PublicAddressSource.h"
#include "service/addresses/SourceStandings.h"

#include <QList>
#include <chrono>

class HelperRun;
struct HelperEnd;

// The public-address check run in a short-lived helper process,
// velmora-echo-check. The service itself then never loads Qt Network and the
// TLS and Kerberos libraries under it, which would grow its resident memory
// for a check made every few minutes, and never parses what the internet
// sends back.
//
// One instance checks one family. For IPv6 (made with AddressFamily::Ipv6)
// the helper asks the DNS sources that fit IPv6 (AAAA, or TXT at a server
// reached over IPv6) and the HTTP echo services over IPv6 only; found() gives
// a global IPv6 address in full, to be compared with a known one by its /64
// prefix (publicipv6::samePrefix). When the computer has no IPv6 connectivity,
// failed() gives a reason for which PublicAddressSource::meansNoConnectivity()
// holds: show no public IPv6 address, and warn or alert about nothing.
class IsolatedAddressCheck : public PublicAddressSource
{
    Q_OBJECT
public:
    // helper: the velmora-echo-check program. standings: which sources keep
    // disagreeing with the others (the service's own when not given).
    // sources: the whole list; those that do not fit the family are left out.
    IsolatedAddressCheck(QString helper, QList<EchoSource> sources,
                         std::chrono::milliseconds timeoutPerSource, AddressFamily family,
                         SourceStandings standings = SourceStandings(), QObject* parent = nullptr);
    // The IPv4 check.
    IsolatedAddressCheck(QString helper, QList<EchoSource> sources,
                         std::chrono::milliseconds timeoutPerSource,
                         SourceStandings standings = SourceStandings(), QObject* parent = nullptr);
    ~IsolatedAddressCheck() override;

    void start() override;
    bool isRunning() const override { return m_run != nullptr; }
    AddressFamily family() const { return m_family; }

private:
    void onEnded(const HelperEnd& end);
    void finish(const QString& address, const QString& reason);

    QString m_helper;
    AddressFamily m_family;
    QList<EchoSource> m_sources;
    SourceStandings m_standings;
    std::chrono::milliseconds m_timeout;
    HelperRun* m_run = nullptr;
};
