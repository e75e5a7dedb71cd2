#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The one line velmora-echo-check prints for the service: "found <address>" or
// "failed <reason>".
namespace echoreport {

QByteArray found(const QString& address);
QByteArray failed(const QString& reason);

struct Result
{
    QString address; // empty when the check failed
    QString reason;  // why it failed
};

// What the line says; nothing when it is neither (the helper did not finish).
// The address is checked again: it has to be one.
std::optional<Result> read(const QByteArray& line);

} // namespace echoreport
