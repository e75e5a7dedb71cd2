#pragma once

#include <chrono>

// The time limits that more than one side needs, each said once: the side that
// sets a limit and the side that keeps it (a helper, the window's mail engine)
// take it from here, so that they cannot drift apart.
namespace timelimits {

// SMTP: the connection with the server's greeting, then every later reply.
inline constexpr std::chrono::seconds SmtpConnect{30};
inline constexpr std::chrono::seconds SmtpReply{60};
// FTP: every reply of the server, and every wait on the data connection.
inline constexpr std::chrono::seconds FtpReply{60};
// One push notification's whole exchange.
inline constexpr std::chrono::seconds Push{30};
// One echo source's answer to a public-address check.
inline constexpr std::chrono::seconds EchoAnswer{5};
// The desktop's notification server's answer to one notification.
inline constexpr std::chrono::seconds NotifyAnswer{5};
// A helper program's start, and its end once it has been killed.
inline constexpr std::chrono::seconds HelperStart{10};

} // namespace timelimits
