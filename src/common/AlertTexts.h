#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The texts of the alerts, the same in the window's test alerts and in the
// service's alerts of a change, and the subjects of the two test alerts.
namespace alerttexts {

// The e-mail's time: the locale's long time format without its time zone
// ("7:14:30 AM" under en_US, "07:14:30" under C).
QString longTime(const QLocale& locale, QTime time);

// The test e-mail's subject: "Velmora Alert (TEST)".
QString testEmailSubject();
// Five lines joined by CR LF, none after the last: the date and time, a rule of
// equals signs, then the computer name and the public and local address.
QString emailBody(const QString& date, const QString& time, const QString& computerName,
                  const QString& publicIp, const QString& localIp);

// The test text message's subject: "Velmora(TEST)".
QString testTextMessageSubject();
// Three lines joined by LF, none after the last: computer name, public and local address.
QString textMessageBody(const QString& computerName, const QString& publicIp,
                        const QString& localIp);
// "Velmora <address>", the sender of a text message.
QString textMessageSender(const QString& firstAddress);
// "<phone@gateway>", the carrier's e-mail-to-SMS address for the phone.
QString textMessageRecipient(const QString& phoneNumber, const QString& gateway);

// The error text with every "ChilkatLog:" tag removed, in any letter case.
QString withoutEngineLogTags(const QString& errorText);

} // namespace alerttexts
