#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <memory>

class QLocalServer;

// One running copy per executable and log-on session. The first copy holds a
// lock file and listens on a local socket; a later copy hands its arguments to
// it, waits until the running copy has handled them, and then ends.
class InstanceGuard : public QObject
{
    Q_OBJECT

public:
    // The name shared by the copies of one executable in one session: a hash of
    // the executable's canonical path (without letter case), the user id and the
    // session id. VELMORA_INSTANCE_NAME replaces it (tests).
    static QString nameFor(const QString& executablePath);

    explicit InstanceGuard(const QString& name, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // Takes the lock, or finds the running copy. A lock left by a copy that no
    // longer runs is taken over.
    bool isFirstCopy();

    // In a later copy: hands the arguments over, with the activation token the
    // desktop gave this copy (Wayland lets the running copy's window come to the
    // front with it), and waits for the running copy's acknowledgement. Never
    // fails: a copy that cannot be reached is given up on.
    void handOver(const QStringList& arguments, const QString& activationToken = {});

signals:
    // In the running copy, for every hand-over, on its event loop.
    void commandLineReceived(const QStringList& arguments, const QString& activationToken);

private:
    void acceptHandOvers();

    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
