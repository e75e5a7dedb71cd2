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

QString alerttexts::longTime(const QLocale& locale, QTime time)
{
    // Drop the zone fields ("t") outside quoted text, then the brackets or
    // blanks they leave behind.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        withoutZone += c;
    }
    withoutZone.remove(QStringLiteral("()"));
    return locale.toString(time, withoutZone.trimmed()).trimmed();
}
