#pragma once

#include <QList>
#include <QString>

// The SMTP port as the settings keep it (a text), and what becomes of it: one
// table that the window's test sends and the service's e-mail alerts are both
// tested against, so that a port the test button takes is the port the alerts use.
namespace smtpporttable {

enum class Outcome
{
    Sent,         // the message went to the server's port
    NotAnInteger, // refused before any mail engine work: the text does not read
    NotAPort,     // read, but refused by the mail engine
};

struct Row
{
    const char* name;
    // The port text; "%1" stands for the server's port in decimal, "%2" in hexadecimal.
    QString text;
    Outcome outcome;
    // The refusal's text (the same placeholders); empty when sent.
    QString refusal;
};

inline QList<Row> rows()
{
    const QString notAnInteger = QStringLiteral("'%1' is not a valid integer value");
    const QString notAPort = QStringLiteral("The SMTP port %1 is not between 1 and 65535.");
    return {
        {"decimal", QStringLiteral("%1"), Outcome::Sent, {}},
        {"leading blanks", QStringLiteral("  %1"), Outcome::Sent, {}},
        {"a plus sign", QStringLiteral("+%1"), Outcome::Sent, {}},
        {"hexadecimal after 0x", QStringLiteral("0x%2"), Outcome::Sent, {}},
        {"hexadecimal after $", QStringLiteral("$%2"), Outcome::Sent, {}},
        {"hexadecimal after X", QStringLiteral("X%2"), Outcome::Sent, {}},
        {"a trailing blank", QStringLiteral("%1 "), Outcome::NotAnInteger,
         notAnInteger.arg(QStringLiteral("%1 "))},
        {"a fraction", QStringLiteral("%1.0"), Outcome::NotAnInteger,
         notAnInteger.arg(QStringLiteral("%1.0"))},
        {"letters", QStringLiteral("twenty-five"), Outcome::NotAnInteger,
         notAnInteger.arg(QStringLiteral("twenty-five"))},
        {"beyond 32 bits", QStringLiteral("4294967321"), Outcome::NotAnInteger,
         notAnInteger.arg(QStringLiteral("4294967321"))},
        {"zero", QStringLiteral("0"), Outcome::NotAPort, notAPort.arg(0)},
        {"beyond 65535", QStringLiteral("65561"), Outcome::NotAPort, notAPort.arg(65561)},
    };
}

// A text of the table for the server's port.
inline QString filled(const QString& text, quint16 port)
{
    return QString(text)
        .replace(QStringLiteral("%1"), QString::number(port))
        .replace(QStringLiteral("%2"), QString::number(port, 16));
}

} // namespace smtpporttable
