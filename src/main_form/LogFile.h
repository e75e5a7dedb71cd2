#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The history log that the service appends to: one "date,public,local" line per
// address change, 8-bit text in the locale's encoding.
//
// Writers hold an exclusive flock() on the file while they append a line, and after
// taking the lock check that the file is still linked (reopening it if not). The
// window takes the same lock, without waiting, to empty and delete the file, so a
// file being written is left alone and no line goes into a deleted file.

// Splits the log's bytes into lines. CR LF, a lone LF and a lone CR all end a line;
// a last line without a line end still counts; a line end at the very end adds no
// empty line. A NUL byte ends the text.
QStringList SplitLogLines(const QByteArray& bytes);

// The log's lines, read in one go without locking (the service may write meanwhile).
// Nothing when no file is there (a folder of that name does not count) or it
// cannot be read.
std::optional<QStringList> ReadLog(const QString& path);

// Empties and deletes the log. Each step runs only if the one before succeeded, and
// a failure is not reported: while the service holds the file the file stays as it
// is; if it can be emptied but not deleted, an empty file remains.
void EraseLogFile(const QString& path);
