#include "service/listener/PortHolder.h"

#include "common/SocketOwnerLookup.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString userName(uid_t uid)
{
    if (const passwd* entry = ::getpwuid(uid))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(uid);
}

// Whether `uid` runs a Velmora service. Which process holds a socket can only
// be told for one's own processes; a process's owner and name anyone can see.
bool runsTheService(uid_t uid)
{
    const QStringList processes =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& process : processes) {
        bool isNumber = false;
        process.toUInt(&isNumber);
        if (!isNumber || process.toLongLong() == ::getpid())
            continue;
        const QString folder = QStringLiteral("/proc/") + process;
        struct stat info
        {
        };
        if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || info.st_uid != uid)
            continue;
        QFile name(folder + QStringLiteral("/comm"));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "velmora-service")
            return true;
    }
    return false;
}

} // namespace

QString describePortHolder(quint16 port, SocketOwnerLookup& owners)
{
    const std::optional<uid_t> holder = owners.listenerOwner(port);
    if (!holder)
        return {};
    const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);
    if (runsTheService(*holder))
        return QStringLiteral(
                   "%1 is held by the Velmora service of user %2; only one user per computer can "
                   "run it")
            .arg(endpoint, userName(*holder));
    return QStringLiteral("%1 is held by another program (of user %2); the Velmora service needs "
                          "this port")
        .arg(endpoint, userName(*holder));
}
