#pragma once

#include <QObject>
#include <QString>

// Something that finds this computer's public address when asked: the echo
// services themselves, or a helper process that asks them. One source checks
// one address family (see IsolatedAddressCheck): for IPv6, found() gives a
// global IPv6 address in full, and two of them in one /64 are the same public
// address (publicipv6::samePrefix).
class PublicAddressSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // How a failed() reason begins when the computer has no connectivity in
    // IPv6 (the IPv4 check fails as ever): no source could be reached at all (no route, network
    // unreachable, no address to send from). That is no public address, shown
    // as none, and never a failure to warn or alert about.
    static constexpr QLatin1String NoConnectivity{"no IPv6 connectivity"};
    static bool meansNoConnectivity(const QString& reason)
    {
        return reason.startsWith(NoConnectivity);
    }

    // Starts a check unless one is running. found() or failed() follows, at
    // once or later.
    virtual void start() = 0;
    virtual bool isRunning() const = 0;

    // The address known before the next check: a first answer that repeats it
    // needs no second source to confirm it.
    void setKnownAddress(const QString& address) { m_known = address; }
    QString knownAddress() const { return m_known; }

signals:
    void found(const QString& address);
    // No address could be agreed on; reason says what each source did, or
    // begins with NoConnectivity (see meansNoConnectivity).
    void failed(const QString& reason);

private:
    QString m_known;
};
