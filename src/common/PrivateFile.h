#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Files that belong to the user alone (settings with passwords, remembered
// addresses, the history log): never reached through a symbolic link, never a
// FIFO or device that could block or never end, never read without a bound, and
// replaced atomically so that a failed write (a full disk) leaves the old file
// whole. Nothing here logs: each result carries the reason for the caller to tell.
namespace privatefile {

struct ReadResult
{
    enum class Status
    {
        Read,     // contents holds the whole file
        Missing,  // nothing is there
        NotAFile, // a symbolic link, FIFO, device, folder ...: not opened or not read
        TooLarge, // a regular file larger than the limit: not read
        Failed    // it is there but cannot be read (reason says why)
    };

    Status status = Status::Missing;
    QByteArray contents;
    QString reason; // why it was not read, in words ("it is a FIFO")

    bool isRead() const { return status == Status::Read; }
};

enum class Links
{
    NotFollowed, // the user's private files: a link in their place is not theirs
    Followed     // files the user writes and the program only reads (lists kept elsewhere)
};

// Reads the whole file when it is a regular file of at most maxSize bytes.
// Nothing ever waits for a writer (a FIFO) or reads without end (a device).
ReadResult read(const QString& path, qint64 maxSize, Links links = Links::NotFollowed);

// Replaces the file with contents: a new file (mode 0600 from the start) beside
// it gets every byte, is flushed to the disk and then renamed over the old one,
// so the old file stays whole when anything fails. A symbolic link in its place
// is replaced itself; what it points to is never written. Returns an empty text,
// or why the file was not replaced.
//
// mayReplace, when given, is asked once the new file is complete, right before
// it takes the old one's place: when it says no, the old file stays as it is,
// *declined is set and the text is empty.
QString write(const QString& path, const QByteArray& contents,
              const std::function<bool()>& mayReplace = {}, bool* declined = nullptr);

// Removes the copies of the file that write() made and an interrupted process
// (kill -9, a power cut) left beside it: ".<name>.XXXXXX", regular files of the
// user's. Only while no other process writes the file. Returns their names.
QStringList removeLeftovers(const QString& path);

// Opens the file for appending, creating it (mode 0600) when missing, without
// following a symbolic link or waiting on a FIFO; anything but a regular file is
// refused, and a file others could read is made private. Returns the descriptor
// (close it yourself) or -1 with the reason in *error.
int openForAppend(const QString& path, QString* error);

// What makePrivate() found and did.
struct MadePrivate
{
    bool changed = false; // the mode was `before` and is private now
    int before = 0;       // the permission bits it had (such as 0644)
    QString error;        // why it could not be made private; empty otherwise
};

// Makes the user's own regular file or folder at path readable by the user
// alone (0600 for a file, 0700 for a folder) when others could read or write
// it. What a symbolic link points to is left alone, and so is what belongs to
// another user (error says so).
MadePrivate makePrivate(const QString& path);

// The words for what is at path when it is not a regular file ("a symbolic
// link", "a FIFO", "a folder", "a device"...); empty for a regular file or nothing.
// With Links::Followed, what a link points to.
QString kindOfNonFile(const QString& path, Links links = Links::NotFollowed);

} // namespace privatefile
