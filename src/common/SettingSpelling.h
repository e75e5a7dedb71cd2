#pragma once

#include "common/SettingTable.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <variant>

// A setting's value as the programs hold it: a Switch is a bool, a Number an
// int, every other kind its bytes (a Carrier its name in the list, empty for none).
using SettingValue = std::variant<bool, int, QByteArray>;

// How the values are spelt in the settings file and on the link. One spelling
// for each kind and place; every reader and writer of the settings uses these.
namespace spelling {

// A value as messages show it: in double quotes, cut after 40 bytes with "...".
QString quoted(const QByteArray& text);

// In the settings file, before the file's own escapes: "true"/"false", a
// number in decimal, the bytes of a text or of the carrier's name.
QByteArray inFile(SettingKind kind, const SettingValue& value);
// Nothing (with the reason in *why) when the text is not of that kind. A
// Switch reads "true" and "false" in any case.
std::optional<SettingValue> fromFile(SettingKind kind, const QByteArray& text, QString* why);

// On the link: a switch is "-1" or "0"; it reads as a number other than zero
// or "True", or as zero or "False" (throws ConvertError otherwise).
QByteArray switchOnLink(bool on);
bool switchFromLink(const QByteArray& text);
// A number, and the carrier's position, in decimal; read as a 32-bit integer
// (throws ConvertError otherwise).
QByteArray numberOnLink(int number);
int numberFromLink(const QByteArray& text);

// A line of the link's extension: the key, "=", and the value percent-encoded,
// so that any byte (a line feed too) can travel in a line.
QByteArray keyedLine(QByteArrayView key, const QByteArray& value);
// The key and the value of such a line; throws ConvertError when it is not one.
std::pair<QByteArray, QByteArray> splitKeyedLine(const QByteArray& line);

// Percent-encoded bytes; nothing (with the reason in *why) for a "%" without
// two hex digits. Other bytes stand for themselves.
std::optional<QByteArray> percentDecoded(const QByteArray& encoded, QString* why);

} // namespace spelling
