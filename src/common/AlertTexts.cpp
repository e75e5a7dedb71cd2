#include "common/AlertTexts.h"

#include <QStringList>

namespace alerttexts {

QString testEmailSubject()
{
    return QStringLiteral("Velmora Alert (TEST)");
}

QString emailBody(const QString& date, const QString& time, const QString& computerName,
                  const QString& publicIp, const QString& localIp)
{
    return QStringList{QStringLiteral("Date: ") + date + u' ' + time, QString(35, u'='),
                       QStringLiteral("Computer Name: ") + computerName,
                       QStringLiteral("Public IP Address: ") + publicIp,
                       QStringLiteral("Local IP Address: ") + localIp}
        .join(QStringLiteral("\r\n"));
}

QString testTextMessageSubject()
{
    return QStringLiteral("Velmora(TEST)");
}

QString textMessageBody(const QString& computerName, const QString& publicIp,
                        const QString& localIp)
{
    return QStringList{QStringLiteral("Computer Name: ") + computerName,
                       QStringLiteral("Public IP Address: ") + publicIp,
                       QStringLiteral("Local IP Address: ") + localIp}
        .join(u'\n');
}

QString textMessageSender(const QString& firstAddress)
{
    return QStringLiteral("Velmora <") + firstAddress + u'>';
}

QString textMessageRecipient(const QString& phoneNumber, const QString& gateway)
{
    return u'<' + phoneNumber + u'@' + gateway + u'>';
}

QString withoutEngineLogTags(const QString& errorText)
{
    QString text = errorText;
    return text.remove(QStringLiteral("ChilkatLog:"), Qt::CaseInsensitive);
}

} // namespace alerttexts
