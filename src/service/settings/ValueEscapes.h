#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// How a value's bytes stand in the settings file: as they are where they are
// plain text, with a backslash escape where they are not.
//
//   \\  a backslash        \n  a line feed        \r  a carriage return
//   \t  a tab              \s  a space            \xHH  the byte of hex HH
//
// A value is written with \s for a space at its start or end (blanks around a
// value are not part of it), \xHH for control characters and for bytes that are
// not UTF-8, and everything else as it is.
namespace valueescapes {

QByteArray escape(const QByteArray& value);

// The bytes a value as written in the file stands for; nothing (with the reason
// in *why) for an unknown escape or a backslash at the end.
std::optional<QByteArray> unescape(const QByteArray& written, QString* why);

} // namespace valueescapes
