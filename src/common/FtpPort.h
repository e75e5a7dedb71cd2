#pragma once

#include <QtGlobal>

// The port the FTP page goes to unless the settings or --ftp-port name another:
// one number for the window, the service's options and alerts, and the FTP client.
inline constexpr quint16 DefaultFtpPort = 21;
