#include "common/Framing.h"

#include <QtEndian>

namespace framing {

QByteArray encodeLine(const QByteArray& text)
{
    QByteArray line;
    line.reserve(text.size() + 2);
    line += text;
    line += "\r\n";
    return line;
}

QByteArray encodeCount(qint32 count)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<qint32>(count, bytes.data());
    return bytes;
}

QByteArray encodeCountedList(const QList<QByteArray>& lines)
{
    qsizetype size = 4;
    for (const QByteArray& line : lines)
        size += line.size() + 2;
    QByteArray bytes;
    bytes.reserve(size);
    bytes += encodeCount(qint32(lines.size()));
    for (const QByteArray& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

std::optional<QByteArray> takeLine(QByteArray& buffer)
{
    const qsizetype lf = buffer.indexOf('\n');
    if (lf < 0) {
        if (buffer.size() > MaxLineLength)
            throw FramingError("received line is longer than 16384 bytes");
        return std::nullopt;
    }
    if (lf > MaxLineLength)
        throw FramingError("received line is longer than 16384 bytes");
    const qsizetype end = (lf > 0 && buffer.at(lf - 1) == '\r') ? lf - 1 : lf;
    QByteArray line = buffer.left(end);
    buffer.remove(0, lf + 1);
    return line;
}

std::optional<qint32> takeCount(QByteArray& buffer)
{
    if (buffer.size() < 4)
        return std::nullopt;
    const qint32 count = qFromBigEndian<qint32>(buffer.constData());
    buffer.remove(0, 4);
    return count;
}

} // namespace framing
