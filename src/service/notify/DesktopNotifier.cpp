#include "service/notify/DesktopNotifier.h"

#include "common/TimeLimits.h"
#include "helpers/HelperRun.h"

#include <QThread>

namespace {

// Notifications waiting beyond this are dropped: a desktop that does not keep
// up needs no more of them.
constexpr int MaxWaiting = 8;

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
        m_waiting.size() >= MaxWaiting)
        return;
    m_waiting.append({summary, body});
    if (!m_current)
        showNext();
}

void DesktopNotifier::showNext()
{
    if (m_waiting.isEmpty())
        return;
    const Notice notice = m_waiting.takeFirst();
    // The helper waits so long for the server's answer, and no longer.
    m_current = new HelperRun({m_helper,
                               {notice.summary, notice.body},
                               {},
                               timelimits::NotifyAnswer + timelimits::HelperStart,
                               HelperRun::Errors::Discarded},
                              this);
    connect(m_current, &HelperRun::ended, this, [this] {
        m_current->deleteLater();
        m_current = nullptr;
        showNext();
    });
    m_current->start();
}
