#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

// Files as tests put them in place and look at them afterwards.
namespace testfiles {

// The whole file; "<cannot read PATH>" when it cannot be read, so that a missing
// file never passes for an empty one.
QByteArray readFile(const QString& path);
// Replaces the file's contents; false when not all of it could be written.
bool writeFile(const QString& path, const QByteArray& contents, bool executable = false);
// The permission bits (such as 0600) of the file or folder itself, not of what
// a symbolic link points to; -1 when nothing is there.
int modeOf(const QString& path);

// The environment of a user whose config, state and runtime folders
// (XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_RUNTIME_DIR) are config/, state/ and
// runtime/ in `folder`, so that a program run with it never touches the real
// user's files. Makes the runtime folder (0700), as the session would.
QProcessEnvironment userEnvironment(const QString& folder);

} // namespace testfiles
