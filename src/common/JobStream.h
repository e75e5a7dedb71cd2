#pragma once

#include <QDataStream>
#include <QIODevice>
#include <QList>

// Reading a helper's job from its standard input. QDataStream reserves room
// for a list's whole stated length before reading any element, so a damaged
// job with a huge count would exhaust memory: here the count is first held
// against the bytes that are left.
namespace jobstream {

// Reads a list written as QDataStream writes a QList, each element at least
// `smallestElement` bytes long. A count the remaining bytes cannot hold sets
// the stream's status to ReadCorruptData.
template <typename T> void readList(QDataStream& in, QList<T>& list, qint64 smallestElement)
{
    quint32 count = 0;
    in >> count;
    if (in.status() != QDataStream::Ok)
        return;
    if (qint64(count) * smallestElement > in.device()->bytesAvailable()) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    list.clear();
    list.reserve(count);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        T element;
        in >> element;
        list.append(std::move(element));
    }
}

// The smallest a QString takes in a stream: its length.
inline constexpr qint64 SmallestString = 4;

} // namespace jobstream
