#include "service/notify/DesktopNotifier.h"

#include "service/base/ChildSignals.h"

#include <QProcess>
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
    auto* helper = new QProcess(this);
    helper->setProgram(m_helper);
    helper->setArguments({summary, body});
    helper->setStandardInputFile(QProcess::nullDevice());
    helper->setStandardOutputFile(QProcess::nullDevice());
    helper->setStandardErrorFile(QProcess::nullDevice());
    startsWithDefaultSignals(*helper);
    ++m_running;
    const auto over = [this, helper] {
        --m_running;
        helper->deleteLater();
    };
    connect(helper, &QProcess::finished, this, over);
    // A helper that did not start never finishes; one that did, does.
    connect(helper, &QProcess::errorOccurred, this, [over](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            over();
    });
    helper->start();
}
