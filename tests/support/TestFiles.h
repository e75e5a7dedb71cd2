#pragma once

#include <QByteArray>
#include <QString>

// Files as tests put them in place and look at them afterwards.
namespace testfiles {

// The whole file; "<cannot read PATH>" when it cannot be read, so that a missing
// file never passes for an empty one.
QByteArray readFile(const QString& path);
// Replaces the file's contents; false when not all of it could be written.
bool writeFile(const QString& path, const QByteArray& contents, bool executable = false);

} // namespace testfiles
