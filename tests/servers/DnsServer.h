#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTemporaryDir>
#include <utility>

namespace testservers {

// A private dnsmasq on 127.0.0.1 (or ::1) that answers for names under ".test"
// only, from files in its own folder: A and AAAA records from a hosts file
// that a test may change (read again at once), TXT records fixed at the
// start. Asks no other server.
class DnsServer
{
public:
    struct Txt
    {
        QByteArray name;
        QList<QByteArray> texts; // one record each
    };
    using Addresses = QList<std::pair<QByteArray, QByteArray>>; // name, address

    bool start(const Addresses& addresses, const QList<Txt>& txt = {},
               const QHostAddress& listenAddress = QHostAddress(QHostAddress::LocalHost));
    // Replaces the A records; dnsmasq reads them again on SIGHUP.
    bool setAddresses(const Addresses& addresses);
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    QString output() { return m_process.output(); }

private:
    bool writeHosts(const Addresses& addresses);

    QTemporaryDir m_folder;
    ServerProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace testservers
