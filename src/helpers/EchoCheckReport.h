#pragma once

#include "helpers/AddressFamily.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// What velmora-echo-check prints for the service: a line "answer <source>
// <address>" for each source that gave an address and "problem <source>
// <reason>" for each that gave none, then one line "found <address>" or
// "failed <reason>".
namespace echoreport {

QByteArray answer(const QString& source, const QString& address);
QByteArray problem(const QString& source, const QString& reason);
QByteArray found(const QString& address);
QByteArray failed(const QString& reason);

struct Answer
{
    QString source;
    QString address;
};

struct Result
{
    QString address; // empty when the check failed
    QString reason;  // why it failed
    QList<Answer> answers;
    QList<Answer> problems; // address: the reason
};

// The public address of the family a source's answer holds: exactly one
// address, surrounding whitespace allowed; anything else gives nothing.
std::optional<QString> publicAddress(const QByteArray& text, AddressFamily family);

// What the lines say; nothing without a last "found" or "failed" line (the
// helper did not finish). Addresses are checked again: they have to be public
// ones of the family asked for.
std::optional<Result> read(const QByteArray& output, AddressFamily family = AddressFamily::Ipv4);

} // namespace echoreport
