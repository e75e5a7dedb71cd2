#include "servers/DnsServer.h"

#include "servers/FreePort.h"
#include "support/TestTime.h"

#include <QFile>
#include <QStandardPaths>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace testservers {

bool DnsServer::writeHosts(const Addresses& addresses)
{
    QByteArray text;
    for (const auto& [name, address] : addresses)
        text += address + ' ' + name + '\n';
    QFile file(m_folder.filePath(QStringLiteral("hosts")));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

bool DnsServer::start(const Addresses& addresses, const QList<Txt>& txt,
                      const QHostAddress& listenAddress)
{
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("dnsmasq"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty()) {
        m_error = QStringLiteral("dnsmasq is not installed (Debian's dnsmasq-base)");
        return false;
    }
    if (!m_folder.isValid() || !writeHosts(addresses)) {
        m_error = QStringLiteral("cannot write the hosts file");
        return false;
    }
    m_port = freePort();
    // As root dnsmasq would drop to "nobody", who cannot read this folder.
    const passwd* user = ::getpwuid(::getuid());
    const group* userGroup = ::getgrgid(::getgid());
    QStringList arguments{QStringLiteral("--no-daemon"),
                          QStringLiteral("--conf-file=/dev/null"),
                          QStringLiteral("--no-hosts"),
                          QStringLiteral("--no-resolv"),
                          QStringLiteral("--no-negcache"),
                          QStringLiteral("--bind-interfaces"),
                          QStringLiteral("--listen-address=") + listenAddress.toString(),
                          QStringLiteral("--port=%1").arg(m_port),
                          QStringLiteral("--local=/test/"),
                          QStringLiteral("--pid-file=") + m_folder.filePath(QStringLiteral("pid")),
                          QStringLiteral("--addn-hosts=") +
                              m_folder.filePath(QStringLiteral("hosts"))};
    if (user)
        arguments << QStringLiteral("--user=") + QString::fromLocal8Bit(user->pw_name);
    if (userGroup)
        arguments << QStringLiteral("--group=") + QString::fromLocal8Bit(userGroup->gr_name);
    // (No shell: the text needs no quotes, and must hold no comma.)
    for (const Txt& record : txt) {
        for (const QByteArray& text : record.texts)
            arguments << QStringLiteral("--txt-record=%1,%2")
                             .arg(QString::fromLatin1(record.name), QString::fromLatin1(text));
    }
    m_process.setListenAddress(listenAddress);
    if (!m_process.start(program, arguments, m_port, testtime::scaled(10000))) {
        m_error = m_process.errorText();
        return false;
    }
    return true;
}

bool DnsServer::setAddresses(const Addresses& addresses)
{
    return writeHosts(addresses) && m_process.isRunning() &&
           ::kill(pid_t(m_process.processId()), SIGHUP) == 0;
}

} // namespace testservers
