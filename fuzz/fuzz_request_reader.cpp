// The service's request reader, fed a connection's bytes as they may come off
// the socket: split at any points. However the bytes are split, the reader
// ends in the same state with the same request as when they come at once.
#include "FuzzTarget.h"
#include "service/listener/RequestReader.h"

#include <cstdint>
#include <cstdlib>

namespace {

RequestReader readWhole(const QByteArray& bytes)
{
    RequestReader reader;
    if (reader.add(bytes.constData(), bytes.size()) == RequestReader::Status::NeedMore)
        reader.endOfInput();
    return reader;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds the split points; the rest is the connection.
    unsigned seed = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    RequestReader pieces;
    qsizetype offset = 0;
    while (offset < bytes.size() && pieces.status() == RequestReader::Status::NeedMore) {
        seed = seed * 1103515245u + 12345u;
        const qsizetype length = std::min<qsizetype>(1 + (seed >> 16) % 7, bytes.size() - offset);
        pieces.add(bytes.constData() + offset, length);
        offset += length;
    }
    if (pieces.status() == RequestReader::Status::NeedMore)
        pieces.endOfInput();

    const RequestReader whole = readWhole(bytes);
    if (pieces.status() != whole.status())
        std::abort();
    if (whole.status() == RequestReader::Status::NeedMore)
        std::abort(); // the end of input always settles it
    if (whole.status() == RequestReader::Status::Complete &&
        (pieces.request().command != whole.request().command ||
         pieces.request().list != whole.request().list))
        std::abort();
    return 0;
}
