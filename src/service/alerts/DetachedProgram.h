#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

// Starts a program that lives on its own, as a user's program started from a
// desktop does: in a session of its own, not a child of the service (nobody
// waits for it), standard input from /dev/null, and every signal as a program
// expects it: none blocked, none ignored. (The service blocks its stop signals
// to read them itself; QProcess::startDetached would pass that mask on, and a
// program that cannot be stopped by SIGTERM or Ctrl+C is not what anyone
// started.)
//
// Returns the program's process id, or nothing with the reason in *error.
std::optional<qint64> startDetachedProgram(const QString& program, const QStringList& arguments,
                                           const QProcessEnvironment& environment, QString* error);
