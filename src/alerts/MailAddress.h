#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One mailbox: an optional display name and the bare address ("a@example.com").
struct MailAddress
{
    QString displayName;
    QString address;

    // Reads "a@b", "<a@b>", "Name <a@b>" or "\"Last, First\" <a@b>". Nothing is
    // checked here, so that a bad address is reported when the e-mail is sent.
    static MailAddress fromText(const QString& text);
};

// Splits "a@b,Name <c@d>,..." at the commas outside quotes and angle brackets.
// Empty entries (",," or a trailing comma) are skipped.
QList<MailAddress> parseAddressList(const QString& text);

// The address as SMTP's MAIL FROM and RCPT TO carry it, without angle brackets.
// Throws MailError when it is empty or holds a blank, an angle bracket or a
// control character: those would break or extend the SMTP command.
// role names the address in the message ("sender", "recipient").
QByteArray envelopeAddress(const MailAddress& mailbox, const QString& role);
