#include "shell/InstanceGuard.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace {

QString runtimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

// Each hand-over: a 4-byte length, the arguments, each followed by CR LF, and
// where the starting copy was given one, a NUL and its activation token (no
// argument can hold a NUL, and a copy that knows no token reads it as one more
// argument, which it does not look at).
QByteArray encodeHandOver(const QStringList& arguments, const QString& activationToken)
{
    QByteArray text;
    for (const QString& argument : arguments)
        text += argument.toLocal8Bit() + "\r\n";
    if (!activationToken.isEmpty())
        text += '\0' + activationToken.toUtf8();
    QByteArray message;
    QDataStream(&message, QIODevice::WriteOnly) << quint32(text.size());
    return message + text;
}

QStringList decodeArguments(const QByteArray& text)
{
    QStringList arguments;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        arguments.append(QString::fromLocal8Bit(line.endsWith('\r') ? line.chopped(1) : line));
    }
    return arguments;
}

constexpr char Acknowledgement = '\x06';

} // namespace

QString InstanceGuard::nameFor(const QString& executablePath)
{
    const QByteArray override = qgetenv("VELMORA_INSTANCE_NAME");
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);
    QString canonical = QFileInfo(executablePath).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QFileInfo(executablePath).absoluteFilePath();
    const QByteArray key = canonical.toLower().toUtf8() + '\0' + QByteArray::number(getuid()) +
                           '\0' + qgetenv("XDG_SESSION_ID");
    return QStringLiteral("velmora-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

InstanceGuard::InstanceGuard(const QString& name, QObject* parent)
    : QObject(parent),
      m_lockPath(runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".lock")),
      m_socketPath(runtimeFolder() + QLatin1Char('/') + name + QStringLiteral(".sock"))
{
}

InstanceGuard::~InstanceGuard()
{
    if (m_server) {
        m_server->close();
        QLocalServer::removeServer(m_socketPath);
    }
}

bool InstanceGuard::isFirstCopy()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // A stale lock (its process is gone) is recognised by its process id.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        return false;
    acceptHandOvers();
    return true;
}

void InstanceGuard::acceptHandOvers()
{
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->listen(m_socketPath);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QByteArray buffered = socket->peek(socket->bytesAvailable());
                if (buffered.size() < 4)
                    return;
                quint32 length = 0;
                QDataStream(buffered) >> length;
                if (quint32(buffered.size()) < 4 + length)
                    return;
                socket->read(4);
                const QByteArray text = socket->read(length);
                const qsizetype tokenStart = text.indexOf('\0');
                const QStringList arguments =
                    decodeArguments(tokenStart < 0 ? text : text.left(tokenStart));
                const QString token =
                    tokenStart < 0 ? QString() : QString::fromUtf8(text.mid(tokenStart + 1));
                emit commandLineReceived(arguments, token);
                socket->write(&Acknowledgement, 1);
                socket->flush();
                socket->disconnectFromServer();
            });
        }
    });
}

void InstanceGuard::handOver(const QStringList& arguments, const QString& activationToken)
{
    // The running copy may have taken the lock a moment ago and not yet listen.
    for (int attempt = 0; attempt < 50; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (!socket.waitForConnected(1000)) {
            QThread::msleep(100);
            continue;
        }
        socket.write(encodeHandOver(arguments, activationToken));
        socket.flush();
        // The running copy answers once it has handled the hand-over; while it is
        // busy this copy waits, as a hand-over is synchronous.
        while (socket.state() == QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            socket.waitForReadyRead(-1);
        return;
    }
}
