#include "support/StrangersListener.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>

namespace {

// Listens on the port in argv[1], says so, then takes and closes connections
// until stdin closes (bounded: it also ends after 60 s).
const char* const Listener = R"(
import select, socket, sys, time
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(16)
print("listening", flush=True)
end = time.monotonic() + 60
while time.monotonic() < end:
    ready, _, _ = select.select([server, sys.stdin], [], [], 1)
    if sys.stdin in ready:
        break
    if server in ready:
        server.accept()[0].close()
)";

} // namespace

StrangersListener::~StrangersListener()
{
    stop();
}

bool StrangersListener::start(quint16 port)
{
    if (!m_user.isValid()) {
        m_error = QStringLiteral("needs another user: %1").arg(m_user.errorText());
        return false;
    }
    m_process.setProgram(m_user.runAs().first());
    m_process.setArguments(m_user.runAs().mid(1)
                           << QStringLiteral("/usr/bin/python3") << QStringLiteral("-c")
                           << QString::fromLatin1(Listener) << QString::number(port));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    const QDeadlineTimer deadline(testtime::scaled(10000));
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        m_process.waitForReadyRead(100);
    if (m_process.readLine().trimmed() != "listening") {
        m_error = QStringLiteral("the other user's listener did not start: %1")
                      .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
        stop();
        return false;
    }
    return true;
}

void StrangersListener::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(testtime::scaled(5000))) {
        m_process.kill();
        m_process.waitForFinished(testtime::scaled(5000));
    }
}
