#include "service/ShutdownSignals.h"

#include "service/base/ServiceError.h"

#include <QSocketNotifier>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t shutdownSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void ShutdownSignals::blockInProcess()
{
    const sigset_t set = shutdownSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent)
{
    const sigset_t set = shutdownSignals();
    m_descriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_descriptor < 0)
        throw ServiceError(QStringLiteral("cannot receive shutdown signals: %1")
                               .arg(QString::fromLocal8Bit(std::strerror(errno)))
                               .toStdString());
    m_notifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::onReadable);
}

ShutdownSignals::~ShutdownSignals()
{
    delete m_notifier;
    ::close(m_descriptor);
}

void ShutdownSignals::onReadable()
{
    signalfd_siginfo info;
    while (::read(m_descriptor, &info, sizeof info) == ssize_t(sizeof info))
        emit received(int(info.ssi_signo));
}
