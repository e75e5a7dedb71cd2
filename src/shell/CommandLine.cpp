#include "shell/CommandLine.h"

#include "shell/About.h"

#include <cstring>

CommandLineRequest commandLineRequest(int argc, const char* const* argv)
{
    if (argc < 2)
        return CommandLineRequest::Run;
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0)
        return CommandLineRequest::Help;
    if (std::strcmp(first, "--version") == 0)
        return CommandLineRequest::Version;
    return CommandLineRequest::Run;
}

QString commandLineHelp(const QString& programName)
{
    return QStringLiteral(
               "Usage: %1 [systray]\n"
               "The Velmora window: shows this computer's name and its public and local IP\n"
               "addresses, and edits the alert settings that velmora-service keeps.\n"
               "It lives in the notification area; closing the window hides it there.\n"
               "\n"
               "  systray      start in the notification area without showing the window\n"
               "  -h, --help   show this help and exit\n"
               "  --version    show the version and exit\n"
               "\n"
               "Starting it again while it runs brings the running window to the front.\n")
        .arg(programName);
}

QString commandLineVersion(const QString& programName)
{
    const QString version = GetAppVersion();
    return programName + (version.isEmpty() ? QString() : QStringLiteral(" ") + version) +
           QStringLiteral("\n");
}
