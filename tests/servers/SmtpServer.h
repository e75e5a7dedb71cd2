#pragma once

#include "servers/ServerProcess.h"
#include "servers/SmtpReceivedMail.h"

#include <QList>
#include <QStringList>
#include <QTemporaryDir>

namespace testservers {

// A real SMTP server (smtp_server.py on Debian's aiosmtpd) on 127.0.0.1 for one
// test, stopped when the object goes. It stores what it receives, so tests can
// look at envelopes and message bytes, and logs connect/QUIT/close events.
class SmtpServer
{
public:
    enum class Security
    {
        Plain,
        StartTls,
        ImplicitTls
    };
    struct Options
    {
        Security security = Security::Plain;
        QString certificate; // PEM files, needed unless Plain
        QString key;
        QString user; // AUTH required when set
        QString password;
        QString mechanisms = QStringLiteral("PLAIN,LOGIN");
        QStringList rejectedRecipients; // answered with 550
        quint16 port = 0;               // 0: a free port
    };

    bool start(const Options& options);
    QString errorText() const { return m_process.errorText(); }
    quint16 port() const { return m_port; }

    // Messages received so far, in order.
    QList<SmtpReceivedMail> messages() const;
    // How often an event ("connect", "QUIT", "close") has been logged; the
    // connection start() made to see the server ready counts too.
    int eventCount(const QString& event) const;
    QString output() { return m_process.output(); }

private:
    QTemporaryDir m_dir;
    ServerProcess m_process;
    quint16 m_port = 0;
};

} // namespace testservers
