#pragma once

#include <QString>
#include <QtGlobal>

// The history log that the service appends to: one "date,public,local" line per
// address change, 8-bit text in the locale's encoding.
//
// Writers hold an exclusive flock() on the file while they append a line, and after
// taking the lock check that the file is still linked (reopening it if not). The
// window takes the same lock, without waiting, to empty and delete the file, so a
// file being written is left alone and no line goes into a deleted file.
//
// The window only reads or empties a regular file of its own user's, and never
// through a symbolic link: whatever else stands at the log's place is left alone.

// Why the log at its place cannot be read or emptied.
enum class LogFileProblem
{
    None,
    Missing,
    SymbolicLink,
    NotRegularFile, // a folder, a pipe, a device, a socket
    OtherOwner,
    Unreadable,
};

// What the window shows the user about the problem; empty for none and for a
// missing log, which simply has no entries yet.
QString logProblemText(LogFileProblem problem, const QString& path);

// Which file stands at the log's place and how it stood when looked at: a file that
// kept its identity and size and was not modified has not changed.
struct LogFileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool isSameFileAs(const LogFileStamp& other) const
    {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const LogFileStamp& other) const = default;
};

// Looks at the log's place without following a link or opening anything.
LogFileProblem inspectLogFile(const QString& path, LogFileStamp& stamp);

// The log opened for reading: a regular file of this user's, opened without following
// a link and without waiting on a pipe. Closed when it goes.
class OpenedLogFile
{
public:
    explicit OpenedLogFile(const QString& path);
    ~OpenedLogFile();
    OpenedLogFile(const OpenedLogFile&) = delete;
    OpenedLogFile& operator=(const OpenedLogFile&) = delete;

    LogFileProblem problem() const { return m_problem; }
    // The file as it stood once opened.
    const LogFileStamp& stamp() const { return m_stamp; }
    // Reads at most size bytes at offset; the count read, 0 at the end, -1 on failure.
    qint64 readAt(qint64 offset, char* buffer, qint64 size) const;

private:
    int m_fd = -1;
    LogFileProblem m_problem = LogFileProblem::None;
    LogFileStamp m_stamp;
};

// Empties and deletes the log. Each step runs only if the one before succeeded. While
// the service holds the file the file stays as it is (not reported: the next visit
// shows what it still holds); if it can be emptied but not deleted, an empty file
// remains. Anything but a regular file of this user's is left untouched and reported.
LogFileProblem EraseLogFile(const QString& path);
