#include "alerts/MailManager.h"

#include "alerts/MailError.h"
#include "alerts/MessageComposer.h"
#include "alerts/SmtpSession.h"
#include "common/ErrorText.h"

#include <QDateTime>

MailManager::MailManager() : m_session(std::make_unique<SmtpSession>()) {}

MailManager::~MailManager() = default;

int MailManager::SendEmail(const Email& email)
{
    m_lastErrorText.clear();
    try {
        const MailAddress sender = MailAddress::fromText(email.from());
        const QByteArray envelopeSender = envelopeAddress(sender, QStringLiteral("sender"));
        if (email.recipients().isEmpty())
            throw MailError(QStringLiteral("The e-mail has no recipient."));
        QList<QByteArray> envelopeRecipients;
        for (const MailAddress& recipient : email.recipients())
            envelopeRecipients.append(envelopeAddress(recipient, QStringLiteral("recipient")));
        const QByteArray message =
            composeMessage(email, QDateTime::currentDateTime(), newMessageId(sender.address));
        m_session->send(m_settings, envelopeSender, envelopeRecipients, message);
        return 1;
    } catch (const std::exception& error) {
        m_lastErrorText = errorText(error);
        return 0;
    }
}

int MailManager::CloseSmtpConnection()
{
    m_session->close();
    return 1;
}
