#include "service/addresses/RouteMonitor.h"

#include "service/ServiceLog.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

RouteMonitor::RouteMonitor(std::chrono::milliseconds settleTime, QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleTime);
    connect(&m_settle, &QTimer::timeout, this, &RouteMonitor::changed);

    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (m_socket < 0 ||
        ::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        logLine(QStringLiteral("cannot follow address changes (%1); reading them periodically "
                               "only")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &RouteMonitor::onReadable);
}

RouteMonitor::~RouteMonitor()
{
    delete m_notifier;
    if (m_socket >= 0)
        ::close(m_socket);
}

void RouteMonitor::onReadable()
{
    // The content does not matter: any notice means "read again". A full queue
    // (ENOBUFS) means notices were lost, which calls for the same.
    char buffer[8192];
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != ENOBUFS)
            break;
    }
    if (!m_settle.isActive())
        m_settle.start();
}
