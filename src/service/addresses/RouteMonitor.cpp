#include "service/addresses/RouteMonitor.h"

#include "service/base/ServiceLog.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int openRouteSocket()
{
    const int socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR |
                      RTMGRP_IPV6_ROUTE;
    if (socket >= 0 && ::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0)
        return socket;
    logLine(LogLevel::Warning,
            QStringLiteral("cannot follow address changes (%1); reading them periodically only")
                .arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (socket >= 0)
        ::close(socket);
    return -1;
}

// More notices than a change brings; the rest wait for the next round.
constexpr int MaxNoticesPerRound = 1024;

} // namespace

RouteMonitor::RouteMonitor(QObject* parent) : RouteMonitor(openRouteSocket(), parent) {}

RouteMonitor::RouteMonitor(int socket, QObject* parent) : QObject(parent), m_socket(socket)
{
    m_windowOver.setSingleShot(true);
    m_windowOver.setTimerType(Qt::PreciseTimer);
    connect(&m_windowOver, &QTimer::timeout, this, &RouteMonitor::onWindowOver);
    if (m_socket < 0)
        return;
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
    if (drain())
        announceWhenAllowed();
}

void RouteMonitor::announceWhenAllowed()
{
    if (m_windowOver.isActive())
        return; // a reading is due at the end of the window anyway
    const std::chrono::nanoseconds elapsed(m_window.isValid() ? m_window.nsecsElapsed() : 0);
    if (!m_window.isValid() || elapsed >= Window) {
        m_window.start();
        m_readingsInWindow = 0;
    }
    if (m_readingsInWindow < ReadingsPerWindow)
        return announce();
    m_windowOver.start(std::chrono::ceil<std::chrono::milliseconds>(Window - elapsed));
}

void RouteMonitor::onWindowOver()
{
    m_window.start();
    m_readingsInWindow = 0;
    announce();
}

void RouteMonitor::announce()
{
    ++m_readingsInWindow;
    emit changed();
    // A notice that came during the reading may tell of something it missed:
    // one more reading, once the event loop has had its turn.
    if (drain())
        QMetaObject::invokeMethod(this, &RouteMonitor::announceWhenAllowed, Qt::QueuedConnection);
}

bool RouteMonitor::drain()
{
    // A full queue (ENOBUFS) means notices were lost, which calls for the same
    // reading as any notice. Only that a notice came matters: a datagram
    // received into a byte is taken whole, the rest of it dropped.
    char buffer[1];
    bool any = false;
    for (int i = 0; i < MaxNoticesPerRound; ++i) {
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno != ENOBUFS))
            break;
        any = true;
    }
    return any;
}
