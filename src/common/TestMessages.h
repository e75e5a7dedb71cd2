#pragma once

#include <QString>

// The texts of the two test alerts the window sends, so that its handlers only
// read the controls and hand these to the mail engine.

// Test e-mail: "Velmora Alert (TEST)".
QString testEmailSubject();
// Five lines joined by CR LF, none after the last: the date and time, a rule of
// equals signs, then the computer name and the public and local address.
QString testEmailBody(const QString& date, const QString& time, const QString& computerName,
                      const QString& publicIp, const QString& localIp);

// Test text message: "Velmora(TEST)".
QString testTextMessageSubject();
// Three lines joined by LF, none after the last: computer name, public and local address.
QString testTextMessageBody(const QString& computerName, const QString& publicIp,
                            const QString& localIp);
// "Velmora <address>", the sender of a text message.
QString testTextMessageSender(const QString& firstAddress);
// "<phone@gateway>", the carrier's e-mail-to-SMS address for the phone.
QString testTextMessageRecipient(const QString& phoneNumber, const QString& gateway);

// The error text with every "ChilkatLog:" tag removed, in any letter case.
QString withoutEngineLogTags(const QString& errorText);
