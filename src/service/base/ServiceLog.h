#pragma once

#include <QString>

// How much a message matters, as syslog and the journal rank it.
enum class LogLevel
{
    Error = 3,   // something the user relies on did not happen (a save, an alert given up)
    Warning = 4, // something went wrong and is being dealt with (an alert to retry)
    Notice = 5,  // a normal but significant event (started, stopped, an address changed)
    Info = 6,    // everything else
};

// The service's messages go to stderr, one line each, so that the journal (or
// the file run.sh redirects to) keeps them whole. Under systemd (JOURNAL_STREAM
// names stderr) each line starts with its level as "<N>", which the journal
// reads, and leaves out the program's name, which the journal adds itself;
// elsewhere it starts with "velmora-service: ".
void logLine(LogLevel level, const QString& text);
// An Info line.
void logLine(const QString& text);

// The line logLine writes, for the tests.
QByteArray formatLogLine(LogLevel level, const QString& text, bool toJournal);
