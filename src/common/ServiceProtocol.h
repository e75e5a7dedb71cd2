#pragma once

#include "common/SettingTable.h"

#include <QtGlobal>

// What the window and the service agree on: where the service listens, the
// commands and the lines of their replies. Both ends include this header;
// docs/service-link.md gives every exchange byte for byte.
namespace service {

inline constexpr char Host[] = "127.0.0.1";
inline constexpr quint16 Port = 9522;

// The four commands that every window and service know.
inline constexpr char GetCellularProviders[] = "GetCellularProviders";
inline constexpr char GetSettings[] = "GetSettings";
inline constexpr char UpdateStatus[] = "UpdateStatus";
inline constexpr char SaveSettings[] = "SaveSettings";

// The extension: "key=value" lines (the value percent-encoded). A service of
// an earlier version closes the connection without an answer to these; a key
// that a reply lacks is one the service does not know.
// Reply: line 0, then a line for each setting with a Keyed place (SettingTable.h).
inline constexpr char GetKeyedSettings[] = "GetKeyedSettings";
// Followed by a counted list of such lines; no reply. Keys the service does not
// know are passed over.
inline constexpr char SaveKeyedSettings[] = "SaveKeyedSettings";
// Reply: line 0, then a line for each status value below.
inline constexpr char GetKeyedStatus[] = "GetKeyedStatus";
// The most lines a "SaveKeyedSettings" list may have.
inline constexpr qint32 MaxKeyedLines = 1000;

// The status values of "GetKeyedStatus", by key.
inline constexpr char ComputerNameKey[] = "computer-name";
inline constexpr char PublicIpKey[] = "public-ip";
inline constexpr char LocalIpKey[] = "local-ip";
inline constexpr char PublicIpv6Key[] = "public-ipv6";
inline constexpr char LocalIpv6Key[] = "local-ipv6";

// Reply lines 1 to 3 of "GetSettings" and "UpdateStatus" (line 0 names the service).
inline constexpr int ComputerNameLine = 1;
inline constexpr int PublicIpLine = 2;
inline constexpr int LocalIpLine = 3;
// Wire value n of the 18 settings is line n + 3 of the "GetSettings" reply.
inline constexpr int FirstValueLine = 4;

// The line of the "GetSettings" reply that holds a wire setting.
inline int valueLine(Setting setting)
{
    return FirstValueLine + int(settingtable::wireIndex(setting));
}

} // namespace service
