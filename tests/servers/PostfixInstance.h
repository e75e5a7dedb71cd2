#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

namespace testservers {

// A private Postfix for one test: its own main.cf and master.cf in a temporary
// folder, listening on 127.0.0.1 only (one port with STARTTLS, one with TLS from
// the first byte), delivering the test mailboxes into Maildirs in that folder.
// Runs as root; stopped with all its processes when the object goes.
class PostfixInstance
{
public:
    // Empty when a private Postfix can run here, else the reason it cannot.
    static QString unavailableReason();

    // Before start(): an address that gets a mailbox; others are refused with 550.
    void addMailbox(const QString& address) { m_mailboxes.append(address); }
    // The server certificate and key (PEM) for STARTTLS and the TLS port.
    bool start(const QString& certificate, const QString& key);
    QString errorText() const { return m_error; }

    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }

    // The messages delivered to a mailbox so far, as Postfix stored them
    // (LF line ends, with the Return-Path and Delivered-To it adds).
    QList<QByteArray> delivered(const QString& address) const;
    // Postfix's own log, for failure messages.
    QString log() const;

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool writeConfiguration(const QString& certificate, const QString& key);

    QTemporaryDir m_dir;
    ServerProcess m_master;
    QStringList m_mailboxes;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    QString m_error;
};

} // namespace testservers
