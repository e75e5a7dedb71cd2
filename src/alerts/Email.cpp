#include "alerts/Email.h"

int Email::AddRecipient(const QString& name, const QString& address)
{
    MailAddress recipient = MailAddress::fromText(address);
    if (!name.isEmpty())
        recipient.displayName = name;
    m_recipients.append(recipient);
    return 1;
}

int Email::AddRecipientList(const QString& addresses)
{
    m_recipients.append(parseAddressList(addresses));
    return 1;
}
