#include "service/notify/DesktopNotifier.h"

#include "common/TimeLimits.h"
#include "helpers/HelperRun.h"

#include <QThread>

namespace {

// Notifications still being handed over beyond this are dropped: a desktop that
// does not keep up needs no more of them.
constexpr int MaxRunning = 8;

} // namespace

DesktopNotifier::DesktopNotifier(QString helper, QObject* parent)
    : QObject(parent), m_helper(std::move(helper))
{
}

void DesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!m_enabled)
        return;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, summary, body] { show(summary, body); }, Qt::QueuedConnection);
        return;
    }
    show(summary, body);
}

void DesktopNotifier::show(const QString& summary, const QString& body)
{
    if (!m_enabled || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
        m_running >= MaxRunning)
        return;
    // The helper waits so long for the server's answer, and no longer.
    auto* helper = new HelperRun({m_helper,
                                  {summary, body},
                                  {},
                                  timelimits::NotifyAnswer + timelimits::HelperStart,
                                  HelperRun::Errors::Discarded},
                                 this);
    ++m_running;
    connect(helper, &HelperRun::ended, this, [this, helper] {
        --m_running;
        helper->deleteLater();
    });
    helper->start();
}
