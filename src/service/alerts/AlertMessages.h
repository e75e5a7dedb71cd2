#pragma once

#include "service/addresses/Addresses.h"

#include <QDateTime>
#include <QString>

// The texts of the alerts the service sends when an address changes.
namespace alertmessages {

// "Velmora Alert", the subject of the e-mail and of the text message.
QString subject();

// The e-mail: the date and time, a rule of 35 equals signs, the computer name,
// the new public and local address, then the previous ones; lines joined by
// CR LF, none after the last. When either side knows an IPv6 address, the new
// public and local IPv6 address follow the new IPv4 ones, and the previous
// ones the previous IPv4 ones.
QString emailBody(const QString& date, const QString& time, const QString& computerName,
                  const Addresses& previous, const Addresses& current);

// emailBody with the date and time of `when` written as the user's locale writes
// a short date and a long time.
QString emailBodyAt(const QDateTime& when, const QString& computerName, const Addresses& previous,
                    const Addresses& current);

// The text message: computer name, public and local address (and the public
// and local IPv6 address when one is known), joined by LF.
QString textBody(const QString& computerName, const Addresses& current);

// The recipient list with every blank (character 32) removed.
QString cleanedRecipients(const QByteArray& recipients);

// The first comma-separated address of a cleaned recipient list; empty when
// there is none.
QString firstRecipient(const QString& cleaned);

// The gateway of the carrier called `name` in "name|gateway" lines; empty when
// no carrier of the list has that name.
QString carrierGateway(const QList<QByteArray>& carriers, const QByteArray& name);

} // namespace alertmessages
