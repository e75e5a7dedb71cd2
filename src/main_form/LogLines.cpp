#include "main_form/LogLines.h"

#include "common/SplitFields.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr qint64 chunkBytes = 256 * 1024;
// Enough to tell a file written anew from one that was added to.
constexpr qint64 comparedBytes = 256;

enum ByteKind : unsigned char
{
    Plain,
    Comma,
    Quote,
    Break, // CR, LF or NUL
};

constexpr std::array<unsigned char, 256> byteKinds = [] {
    std::array<unsigned char, 256> kinds{};
    kinds[static_cast<unsigned char>(',')] = Comma;
    kinds[static_cast<unsigned char>('"')] = Quote;
    kinds[static_cast<unsigned char>('\r')] = Break;
    kinds[static_cast<unsigned char>('\n')] = Break;
    kinds[0] = Break;
    return kinds;
}();

QStringList fieldsOf(const char* bytes, qsizetype count)
{
    QStringList fields;
    SplitFields(QLatin1Char(','), QString::fromLocal8Bit(bytes, count), fields);
    return fields;
}

} // namespace

QStringList LogLines::cells(int row) const
{
    const Row& bytes = m_rows[size_t(row)];
    QStringList fields = fieldsOf(m_text.constData() + bytes.start, bytes.length);
    // A fourth field alone is no address: the line is read in its older form.
    const qsizetype shown = fields.size() >= Ipv6FieldCount ? Ipv6FieldCount : FieldCount;
    if (fields.size() > shown)
        fields.resize(shown);
    return fields;
}

void LogLines::clear()
{
    const qint64 bytesRead = m_bytesRead;
    *this = LogLines();
    m_bytesRead = bytesRead;
}

bool LogLines::readOn(const OpenedLogFile& file)
{
    if (m_lastRowOpen) {
        m_text.truncate(m_rows.back().start);
        m_rows.pop_back();
        m_ipv6Rows -= m_lastRowIpv6 ? 1 : 0;
        m_lastRowOpen = false;
    }
    m_kept = m_text.size();
    m_line = OpenLine{m_kept};

    const qint64 end = file.stamp().size;
    qint64 offset = m_nextOffset;
    if (!m_ended && offset < end) {
        // Room for it all at once, with some to spare for the lines added later.
        const qsizetype needed = m_kept + std::min(end - offset, maxTextBytes) + 1;
        if (m_text.capacity() < needed)
            m_text.reserve(needed + chunkBytes);
        while (offset < end && !m_ended) {
            // Read straight into the rows' storage: the lines stay where they land, line
            // ends included, unless a long line was cut before them in this chunk.
            const qint64 wanted = std::min(chunkBytes, end - offset);
            m_text.resize(m_kept + wanted);
            char* const data = m_text.data();
            const qint64 count = file.readAt(offset, data + m_kept, wanted);
            if (count <= 0) {
                m_text.resize(m_kept);
                if (count == 0)
                    break; // emptied meanwhile
                m_text.truncate(m_line.start);
                return false;
            }
            m_bytesRead += count;
            const char* const begin = data + m_kept;
            const char* const stop = begin + count;
            const char* next = begin;
            while (next < stop && !m_ended) {
                // The hot loop: most bytes are plain text.
                const char* at = next;
                qsizetype commas = 0;
                bool quote = false;
                for (; at < stop; ++at) {
                    const unsigned char kind = byteKinds[static_cast<unsigned char>(*at)];
                    if (kind == Plain)
                        continue;
                    if (kind == Break)
                        break;
                    if (kind == Comma)
                        ++commas;
                    else
                        quote = true;
                }
                m_line.commas += commas;
                m_line.hasQuote = m_line.hasQuote || quote;
                keepLineBytes(next, at - next);
                if (at == stop)
                    break;
                const char lineEnd = *at;
                const qint64 afterBreak = offset + (at - begin) + 1;
                next = at + 1;
                if (lineEnd == '\0') {
                    // The text ends here.
                    if (m_line.length > 0)
                        closeLine(afterBreak);
                    m_ended = true;
                    break;
                }
                if (lineEnd == '\n' && m_afterCr && m_line.length == 0) {
                    // The second half of a CR LF.
                    m_afterCr = false;
                    m_nextOffset = afterBreak;
                } else {
                    m_afterCr = lineEnd == '\r';
                    if (!closeLine(afterBreak))
                        break;
                }
                // The line end stays between the rows' bytes, so that what follows
                // need not move.
                data[m_kept++] = lineEnd;
                m_line = OpenLine{m_kept};
            }
            m_text.resize(m_kept);
            offset += count;
        }
        if (!m_ended && m_line.length > 0)
            keepLineOpen();
    }
    m_lastBytesRead.resize(std::min(m_nextOffset, comparedBytes));
    if (file.readAt(m_nextOffset - m_lastBytesRead.size(), m_lastBytesRead.data(),
                    m_lastBytesRead.size()) != m_lastBytesRead.size())
        m_lastBytesRead.clear(); // not to be compared with
    m_stamp = file.stamp();
    m_hasStamp = true;
    return true;
}

bool LogLines::isContinuedIn(const OpenedLogFile& file) const
{
    if (m_lastBytesRead.size() != std::min(m_nextOffset, comparedBytes))
        return false;
    QByteArray now(m_lastBytesRead.size(), Qt::Uninitialized);
    return file.readAt(m_nextOffset - now.size(), now.data(), now.size()) == now.size() &&
           now == m_lastBytesRead;
}

void LogLines::keepLineBytes(const char* bytes, qsizetype count)
{
    const qsizetype kept = std::clamp(maxLineBytes - m_line.length, qsizetype(0), count);
    char* const to = m_text.data() + m_kept;
    if (kept > 0 && to != bytes)
        std::memmove(to, bytes, size_t(kept));
    m_kept += kept;
    m_line.length += count;
}

bool LogLines::closeLine(qint64 nextOffset)
{
    const int fields = fieldCount(m_line);
    if (qsizetype(m_rows.size()) >= maxRows || m_kept > maxTextBytes) {
        m_kept = m_line.start;
        m_limitReached = true;
        m_ended = true;
        return false;
    }
    m_rows.push_back(Row{quint32(m_line.start), quint32(m_kept - m_line.start)});
    m_nextOffset = nextOffset;
    if (fields >= Ipv6FieldCount)
        ++m_ipv6Rows;
    if (fields < FieldCount)
        m_ended = true;
    return !m_ended;
}

void LogLines::keepLineOpen()
{
    const qint64 nextOffset = m_nextOffset;
    // A short line here may still be being written: it does not end the rows yet.
    const bool ended = m_ended;
    const qsizetype ipv6Rows = m_ipv6Rows;
    if (closeLine(nextOffset) || !m_limitReached) {
        m_lastRowOpen = true;
        m_lastRowIpv6 = m_ipv6Rows > ipv6Rows;
        m_ended = ended;
    }
    m_nextOffset = nextOffset;
    m_text.resize(m_kept);
}

int LogLines::fieldCount(const OpenLine& line) const
{
    if (line.length == 0)
        return 0;
    // Quotes change where fields end, and a cut line counts as what is left of it.
    if (line.hasQuote || line.length > maxLineBytes)
        return int(fieldsOf(m_text.constData() + line.start, m_kept - line.start).size());
    return int(std::min<qsizetype>(line.commas + 1, Ipv6FieldCount));
}
