#pragma once

#include "service/addresses/LocalAddressSource.h"

#include <QTimer>
#include <chrono>

class RouteMonitor;

// The local address as this computer's interfaces and routing table show it,
// (IPv6 ones asked of rtnetlink), re-read on every routing notice and, in case one is missed,
// periodically.
class SystemAddressSource : public LocalAddressSource
{
    Q_OBJECT
public:
    explicit SystemAddressSource(std::chrono::milliseconds rereadInterval,
                                 QObject* parent = nullptr);

    QString currentAddress() override;
    QString currentIpv6Address() override;

private:
    RouteMonitor* m_monitor;
    QTimer m_reread;
};
