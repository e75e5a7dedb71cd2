#pragma once

#include <QByteArray>
#include <QList>
#include <optional>
#include <stdexcept>

// The wire format between the window and the service: a line is its bytes and
// CR LF; a counted list is a big-endian signed 32-bit count N and N lines.
namespace framing {

// At most this many bytes may precede the LF of a received line.
constexpr qsizetype MaxLineLength = 16384;

class FramingError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

QByteArray encodeLine(const QByteArray& text);
QByteArray encodeCount(qint32 count);
QByteArray encodeCountedList(const QList<QByteArray>& lines);

// Takes the next complete line from the front of buffer: the bytes before the
// first LF, without the LF and one CR directly before it. Returns nothing when
// no LF has arrived yet. Throws FramingError when more than MaxLineLength bytes
// precede the LF, or are waiting without one.
std::optional<QByteArray> takeLine(QByteArray& buffer);

// Takes the 4-byte count from the front of buffer once it has arrived.
std::optional<qint32> takeCount(QByteArray& buffer);

} // namespace framing
