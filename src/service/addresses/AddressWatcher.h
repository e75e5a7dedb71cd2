#pragma once

#include "service/addresses/Addresses.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

class LocalAddressSource;
class PublicAddressSource;

// Keeps the last known public and local address and says when one of them
// changes. The public address is checked at a steady interval and right after a
// local change, but never twice within the minimum gap. An address is first
// learned without counting as a change; a check that fails, or a local address
// that goes away, keeps the last known address.
//
// A move to another network changes both addresses at once: a local change
// waits for the public check it brings (at most the move wait), so that the
// move is one change with both new addresses. When the check fails or takes
// longer, the local change is reported alone with the public address known
// before; a new local change reports the one still waiting first. A public
// change found on its own is reported at once.
//
// The addresses remembered from an earlier run are the last known ones at the
// start. Once the first public check is over (found or failed), what differs
// from them is one change, so a change made while the service was not running
// is reported once, with both addresses as they are then.
//
// IPv6, while watched: the local IPv6 address is read with the local IPv4 one
// and a change of it is a local change like any other. The public IPv6
// address is checked by a source of its own at the same moments as the IPv4
// one; a change the IPv4 check completes waits for the IPv6 check under way
// (within the move wait), and one the IPv6 check finds alone is reported at
// once. It counts as changed only when its /64 network does.
// A failed IPv6 check means the network has no IPv6: the address is then
// none, which is never a change, and the next one found is compared with the
// last one known.
class AddressWatcher : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        std::chrono::milliseconds echoInterval;
        std::chrono::milliseconds echoMinGap;
        std::chrono::milliseconds moveWait = std::chrono::seconds(15);
    };

    AddressWatcher(LocalAddressSource& local, PublicAddressSource& checker, Timing timing,
                   Addresses remembered = {}, QObject* parent = nullptr);
    // With a source of the public IPv6 address as well.
    AddressWatcher(LocalAddressSource& local, PublicAddressSource& checker,
                   PublicAddressSource& ipv6Checker, Timing timing, Addresses remembered = {},
                   QObject* parent = nullptr);

    // Reads the local address and starts the first public check.
    void start();

    Addresses current() const { return m_current; }

    // The steady interval from now on, counted from the last check.
    void setInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds interval() const { return m_timing.echoInterval; }

    // Checks the public address now, minimum gap or not (after the one under
    // way, if any): after a wake-up the provider may have changed it while the
    // local network looks the same.
    void checkNow();

    // Whether IPv6 addresses are watched (the default). Off, none is read,
    // checked, kept or reported, and those known are forgotten.
    void setIpv6Watched(bool watched);
    bool ipv6Watched() const { return m_watchIpv6; }

signals:
    void changed(const Addresses& previous, const Addresses& current);
    // Whenever the known addresses are different, learned or changed (after
    // changed()).
    void currentChanged(const Addresses& current);
    // After every public check, once any change it found has been reported:
    // whether the echo services could be reached.
    void publicCheckFinished(bool succeeded);

private:
    void onLocalMayHaveChanged();
    void onPublicFound(const QString& address);
    void onPublicFailed(const QString& reason);
    void onPublicIpv6Found(const QString& address);
    void onPublicIpv6Failed(const QString& reason);
    void startIpv6Check();
    // Reports what the IPv6 check found: `before` the addresses until then,
    // `lastFound` the public IPv6 address found before it.
    void afterIpv6Check(const Addresses& before, const QString& lastFound);
    // Reports from `previous` now, or once the IPv6 check under way is over.
    void reportWithIpv6(const Addresses& previous);
    void reportAwaited();
    // The local addresses as they are read now; those that cannot be read keep
    // their last known value.
    Addresses withLocalRead() const;
    void afterCheck();
    // Reports the local change that waits for its public check as it stands.
    void reportMove();
    // Reports the step from `previous` to the current addresses, and the
    // current ones when they differ from `shownBefore`.
    void report(const Addresses& previous) { report(previous, previous); }
    void report(const Addresses& previous, const Addresses& shownBefore);
    void requestCheck();
    void startCheck();

    LocalAddressSource& m_local;
    PublicAddressSource& m_checker;
    PublicAddressSource* m_ipv6Checker = nullptr;
    bool m_watchIpv6 = true;
    bool m_started = false;
    // The public IPv6 address last found, also while the network has none:
    // the next one is compared with it.
    QString m_lastPublicIpv6;
    bool m_ipv6CheckAgainWhenDone = false;
    // A change whose IPv4 side is known and which waits for the IPv6 check
    // under way (at most the move wait), so that it is one change with both.
    std::optional<Addresses> m_awaitingIpv6;
    Timing m_timing;
    Addresses m_current;
    Addresses m_remembered;
    bool m_firstCheckPending = true;
    QTimer m_interval;
    QTimer m_gap;
    QElapsedTimer m_sinceCheckStarted;
    bool m_checkAgainWhenDone = false;
    bool m_checkNowWhenDone = false;
    // The addresses before a local change whose public check is still to come.
    std::optional<Addresses> m_moveFrom;
    QTimer m_moveWait;
    // The running check began before the last local change: it may have
    // asked through the network that is gone.
    bool m_checkIsStale = false;
};
