#pragma once

#include <QString>
#include <exception>

// The text of a failure, for a message box or a log line. Every exception this
// code throws carries a QString made into UTF-8 (toStdString), so what() is
// read back as UTF-8, whatever the locale's encoding.
QString errorText(const std::exception& error);
