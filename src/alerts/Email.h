#pragma once

#include "alerts/MailAddress.h"

#include <QList>
#include <QString>

// One e-mail to be sent by a mail manager. The window's code knows its parts by
// the names Subject, Body and From (setSubject, setBody, setFrom here) and adds
// recipients with AddRecipient and AddRecipientList.
class Email
{
public:
    void setSubject(const QString& subject) { m_subject = subject; }
    QString subject() const { return m_subject; }

    // Plain text; its line ends go out as CR LF whatever they are here.
    void setBody(const QString& body) { m_body = body; }
    QString body() const { return m_body; }

    // "a@b" or "Name <a@b>": the address goes to the envelope, the whole to From:.
    void setFrom(const QString& from) { m_from = from; }
    QString from() const { return m_from; }

    // address may be bare or in angle brackets. Returns 1.
    int AddRecipient(const QString& name, const QString& address);
    // Comma-separated addresses, each as AddRecipient takes it, or "Name <a@b>".
    // Empty entries are skipped. Returns 1.
    int AddRecipientList(const QString& addresses);

    const QList<MailAddress>& recipients() const { return m_recipients; }

private:
    QString m_subject;
    QString m_body;
    QString m_from;
    QList<MailAddress> m_recipients;
};
