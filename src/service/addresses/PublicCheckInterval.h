#pragma once

#include <algorithm>
#include <chrono>

// How often the public address is checked, as the settings file asks: a DNS
// question a minute costs under 10 kB an hour. Less than Least would only
// burden the servers that answer; more than Most leaves a change unseen for
// too long.
namespace publicinterval {

inline constexpr std::chrono::seconds Least{30};
inline constexpr std::chrono::seconds Most{std::chrono::hours(24)};

inline std::chrono::seconds fromSetting(int seconds)
{
    return std::clamp(std::chrono::seconds(seconds), Least, Most);
}

} // namespace publicinterval
