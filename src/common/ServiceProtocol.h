#pragma once

#include <QtGlobal>

// What the window and the service agree on: where the service listens, the
// four commands and the lines of their replies. Both ends include this header.
namespace service {

inline constexpr char Host[] = "127.0.0.1";
inline constexpr quint16 Port = 9522;

inline constexpr char GetCellularProviders[] = "GetCellularProviders";
inline constexpr char GetSettings[] = "GetSettings";
inline constexpr char UpdateStatus[] = "UpdateStatus";
inline constexpr char SaveSettings[] = "SaveSettings";

// Reply lines 1 to 3 of "GetSettings" and "UpdateStatus" (line 0 names the service).
inline constexpr int ComputerNameLine = 1;
inline constexpr int PublicIpLine = 2;
inline constexpr int LocalIpLine = 3;
// Value n of the 18 settings is line n + 3 of the "GetSettings" reply.
inline constexpr int FirstValueLine = 4;

// The line of the "GetSettings" reply that holds value n (an AlertSettings::Value).
constexpr int valueLine(int value)
{
    return FirstValueLine + value - 1;
}

} // namespace service
