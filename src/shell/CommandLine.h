#pragma once

#include <QString>

// What the program's first argument asks for before any window or display is
// needed. "systray" and every other argument are the running program's business.
enum class CommandLineRequest
{
    Run,
    Help,
    Version
};

CommandLineRequest commandLineRequest(int argc, const char* const* argv);
QString commandLineHelp(const QString& programName);
QString commandLineVersion(const QString& programName);
