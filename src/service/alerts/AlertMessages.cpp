#include "service/alerts/AlertMessages.h"

#include "common/AlertTexts.h"
#include "common/CarrierLine.h"
#include "common/SplitFields.h"

#include <QLocale>
#include <QStringList>

namespace alertmessages {

QString subject()
{
    return QStringLiteral("Velmora Alert");
}

QString emailBody(const QString& date, const QString& time, const QString& computerName,
                  const Addresses& previous, const Addresses& current)
{
    const bool withIpv6 = previous.hasIpv6() || current.hasIpv6();
    QString body =
        alerttexts::emailBody(date, time, computerName, current.publicIp, current.localIp);
    if (withIpv6)
        body += QStringLiteral("\r\nPublic IPv6 Address: ") + current.publicIpv6 +
                QStringLiteral("\r\nLocal IPv6 Address: ") + current.localIpv6;
    body += QStringLiteral("\r\nPrevious Public IP Address: ") + previous.publicIp +
            QStringLiteral("\r\nPrevious Local IP Address: ") + previous.localIp;
    if (withIpv6)
        body += QStringLiteral("\r\nPrevious Public IPv6 Address: ") + previous.publicIpv6 +
                QStringLiteral("\r\nPrevious Local IPv6 Address: ") + previous.localIpv6;
    return body;
}

QString emailBodyAt(const QDateTime& when, const QString& computerName, const Addresses& previous,
                    const Addresses& current)
{
    const QLocale locale;
    return emailBody(locale.toString(when.date(), QLocale::ShortFormat),
                     alerttexts::longTime(locale, when.time()), computerName, previous, current);
}

QString textBody(const QString& computerName, const Addresses& current)
{
    QString body = alerttexts::textMessageBody(computerName, current.publicIp, current.localIp);
    if (current.hasIpv6())
        body += QStringLiteral("\nPublic IPv6 Address: ") + current.publicIpv6 +
                QStringLiteral("\nLocal IPv6 Address: ") + current.localIpv6;
    return body;
}

QString cleanedRecipients(const QByteArray& recipients)
{
    return QString::fromLocal8Bit(recipients).remove(u' ');
}

QString firstRecipient(const QString& cleaned)
{
    QStringList fields;
    SplitFields(u',', cleaned, fields);
    return fields.isEmpty() ? QString() : fields.first();
}

QString carrierGateway(const QList<QByteArray>& carriers, const QByteArray& name)
{
    const qsizetype index = name.isEmpty() ? -1 : CarrierLine::namesOf(carriers).indexOf(name);
    if (index < 0)
        return {};
    const std::optional<CarrierLine> carrier =
        CarrierLine::parse(QString::fromLocal8Bit(carriers.at(index)));
    return carrier ? carrier->gateway : QString();
}

} // namespace alertmessages
