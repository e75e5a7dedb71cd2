#pragma once

#include "service/addresses/Addresses.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The history of address changes that the window shows: one "date,public,local"
// line with CR LF per change, or "date,public,local,public IPv6,local IPv6"
// when an IPv6 address is known (an unknown one an empty field). The file is opened for each line
// and closed right after, so that the window can read, empty and delete it between two lines.
//
// While it appends, the service holds an exclusive flock() on the file; the
// window takes the same lock, without waiting, to empty and delete it. After
// taking the lock the service checks that the file is still there, and starts a
// new one when the window deleted it meanwhile, so no line goes into a deleted file.
//
// A line the disk takes only in part (a full disk) is cut off again, so that
// the file holds whole lines only.
//
// The file is private to the user (0600, also when it was started by hand), and
// anything but a regular file of the user's in its place (a symbolic link, a
// FIFO, a device) is refused, never written through.
class HistoryLog
{
public:
    explicit HistoryLog(QString path);

    QString path() const { return m_path; }

    // Throws ServiceError when the line cannot be written.
    void append(const QDateTime& when, const Addresses& addresses);
    // Whole lines, each with its line end, in one write. Throws ServiceError.
    void appendLines(const QByteArray& lines);

    static QByteArray formatLine(const QDateTime& when, const Addresses& addresses);

private:
    QString m_path;
};
