#include "shell/SessionEndWatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

SessionEndWatcher::SessionEndWatcher(QObject* parent) : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            emit sessionEnding();
        });
        struct sigaction action
        {
        };
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }
    // A session manager's request to save (commitDataRequest) is not the end: the
    // log-off may yet be cancelled, and there is nothing to save at a log-off.
    // Its "die" reaches the program as the platform's request to quit.
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
    // The autostart entry starts the program at every log-on; a session that
    // also restarted it would bring its window up over the desktop.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
        });
}

bool SessionEndWatcher::eventFilter(QObject* watched, QEvent* event)
{
    // Qt would first ask the windows to close, and the main window only hides.
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        emit sessionEnding();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

SessionEndWatcher::~SessionEndWatcher()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}
