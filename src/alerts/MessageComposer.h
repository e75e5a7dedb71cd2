#pragma once

#include "alerts/Email.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The Internet message for an e-mail, as SMTP's DATA carries it: Date, From, To,
// Subject, Message-ID and MIME headers, a blank line, the body. UTF-8 text, CR LF
// line ends; non-ASCII header text is sent as encoded words, and a body with a
// line too long for SMTP is sent quoted-printable. Dot-stuffing is left to the
// SMTP client.
QByteArray composeMessage(const Email& email, const QDateTime& date, const QByteArray& messageId);

// "<unique@domain>", the domain taken from the sender's address.
QByteArray newMessageId(const QString& senderAddress);

// The date as Internet mail writes it: "Tue, 04 Jun 2024 09:05:00 +0200".
QByteArray internetDate(const QDateTime& date);

// Header text as is when it is printable ASCII and short, otherwise as
// RFC 2047 encoded words (UTF-8, base64) folded onto continuation lines.
// column is where the text starts on its header line.
QByteArray headerText(const QString& text, qsizetype column);

// The text with every line end (LF, CR or CR LF) made CR LF.
QByteArray crLfText(const QString& text);
