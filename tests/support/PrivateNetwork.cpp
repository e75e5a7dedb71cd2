#include "support/PrivateNetwork.h"
#include "support/TestTime.h"

#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <sched.h>

namespace privatenetwork {

QString ipProgram()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("ip"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(
            QStringLiteral("ip"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")});
    return path;
}

bool enter(QString* why)
{
    if (ipProgram().isEmpty()) {
        *why = QStringLiteral("the ip command (iproute2) is not installed");
        return false;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        *why =
            QStringLiteral(
                "cannot make a network namespace (%1): needs root (CAP_SYS_ADMIN, CAP_NET_ADMIN)")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return ip(
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
        why);
}

bool ip(const QStringList& arguments, QString* error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ipProgram(), arguments);
    const bool finished = process.waitForFinished(testtime::scaled(10000));
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    if (!finished)
        process.kill();
    if (error)
        *error = QStringLiteral("ip %1: %2")
                     .arg(arguments.join(QLatin1Char(' ')),
                          QString::fromLocal8Bit(process.readAll()).trimmed());
    return false;
}

bool addLinks(const QString& first, const QString& second, QString* error)
{
    const QString link = QStringLiteral("link");
    const QString add = QStringLiteral("add");
    const QString type = QStringLiteral("type");
    bool made = ip({link, add, first, type, QStringLiteral("dummy")}, error) &&
                ip({link, add, second, type, QStringLiteral("dummy")}, error);
    if (!made) {
        ip({link, QStringLiteral("del"), first});
        made = ip({link, add, first, type, QStringLiteral("veth"), QStringLiteral("peer"),
                   QStringLiteral("name"), second},
                  error);
    }
    return made && ip({link, QStringLiteral("set"), first, QStringLiteral("up")}, error) &&
           ip({link, QStringLiteral("set"), second, QStringLiteral("up")}, error);
}

bool addDefaultRoute(const QString& routeLink, const QString& otherLink, QString* error)
{
    return addLinks(routeLink, otherLink, error) &&
           ip({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("198.51.100.10/24"),
               QStringLiteral("dev"), otherLink},
              error) &&
           ip({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("default"),
               QStringLiteral("dev"), routeLink},
              error);
}

bool loopbackMulticast(QString* error)
{
    return ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
               QStringLiteral("up"), QStringLiteral("multicast"), QStringLiteral("on")},
              error) &&
           ip({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("224.0.0.0/4"),
               QStringLiteral("dev"), QStringLiteral("lo")},
              error);
}

} // namespace privatenetwork
