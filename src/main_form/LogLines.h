#pragma once

#include "main_form/LogFile.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

// The rows of the history log as the page shows them, in bounded memory: the bytes of
// each line (at most maxLineBytes of it: a longer line is cut, and counts as what is
// left of it) and where they start. A row's cells are split from its bytes when asked.
//
// The rules for reading: CR LF, a lone LF and a lone CR all end a line; a last line
// without a line end is still a line; a NUL byte ends the text. Each line becomes one
// row. A line with fewer than three fields (an empty one has none) is the last row:
// nothing after it is shown. A line's fields are the date, the public and the local
// IPv4 address, then, on a line of five fields or more, the public and the local IPv6
// address; the fields after those (a fourth field alone included) are left out.
//
// The file is read once and then only what was added to it: a file that grew, and
// still ends its old part as before, is read on from the end of its last complete line.
class LogLines
{
public:
    static constexpr qsizetype maxLineBytes = 4096;
    // Beyond these the rest of the file is left out (limitReached()).
    static constexpr qsizetype maxTextBytes = qsizetype(64) << 20;
    static constexpr qsizetype maxRows = qsizetype(2) << 20;
    // The fields of a line without and with the IPv6 addresses.
    static constexpr int FieldCount = 3;
    static constexpr int Ipv6FieldCount = 5;

    int rowCount() const { return int(m_rows.size()); }
    // The row's cells: three, or five on a line with the IPv6 addresses; the last row
    // may have fewer.
    QStringList cells(int row) const;
    // Whether any row has the IPv6 addresses.
    bool hasIpv6() const { return m_ipv6Rows > 0; }
    // Whether rows were left out because the file is too large to keep.
    bool limitReached() const { return m_limitReached; }
    // All the bytes read from files so far.
    qint64 bytesRead() const { return m_bytesRead; }

    // Whether these rows were read from that file as it stands in the stamp.
    bool isReadFrom(const LogFileStamp& stamp) const { return m_hasStamp && m_stamp == stamp; }
    // Whether the file is the one read before, grown since: then only its new part needs
    // reading.
    bool canReadOn(const LogFileStamp& stamp) const
    {
        return m_hasStamp && stamp.isSameFileAs(m_stamp) && stamp.size > m_stamp.size;
    }

    // Whether the part of the file read so far still ends as it did when read, so that
    // the file was added to rather than written anew.
    bool isContinuedIn(const OpenedLogFile& file) const;

    // Reads the file from the end of the last complete line read so far up to its size
    // as stamped when it was opened (a line still without a line end is read again).
    // False if reading failed; the rows read until then stay.
    bool readOn(const OpenedLogFile& file);
    void clear();

private:
    struct Row
    {
        quint32 start;  // in m_text
        quint32 length; // at most maxLineBytes
    };

    // The line being read, as far as it has come.
    struct OpenLine
    {
        qsizetype start = 0;   // in m_text
        qsizetype length = 0;  // in the file, line end not counted
        qsizetype commas = 0;  // in the file
        bool hasQuote = false; // in the file
    };

    // Adds bytes of the line being read, keeping what fits in a row at m_kept.
    void keepLineBytes(const char* bytes, qsizetype count);
    // Ends the line being read with a line end (or a NUL), as a row. False when no more
    // rows are taken.
    bool closeLine(qint64 nextOffset);
    // Adds the line being read, which the file has not ended yet, as the last row.
    void keepLineOpen();
    int fieldCount(const OpenLine& line) const;

    // The file's bytes just before m_nextOffset, as read.
    QByteArray m_lastBytesRead;

    // The rows' bytes, each row's line end after it.
    QByteArray m_text;
    // While reading: the end of what m_text keeps; the rest is not looked at yet.
    qsizetype m_kept = 0;
    std::vector<Row> m_rows;
    OpenLine m_line;

    LogFileStamp m_stamp;
    bool m_hasStamp = false;
    // Where reading goes on: just after the last complete line.
    qint64 m_nextOffset = 0;
    // The last complete line ended with a CR: an LF right after it belongs to that line end.
    bool m_afterCr = false;
    // The last row is a line without a line end yet, read again with what follows it.
    bool m_lastRowOpen = false;
    // That last row is one of m_ipv6Rows.
    bool m_lastRowIpv6 = false;
    // The rows with the IPv6 addresses.
    qsizetype m_ipv6Rows = 0;
    // A short line, a NUL or the limits ended the rows: nothing later is shown.
    bool m_ended = false;
    bool m_limitReached = false;
    qint64 m_bytesRead = 0;
};
