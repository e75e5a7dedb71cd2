// The wire framing as the service reads it: lines and counts taken from the
// front of whatever bytes arrive, in any order the bytes allow.
#include "FuzzTarget.h"
#include "common/Framing.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        // A command line, then lines and counts while the buffer gives them.
        for (int step = 0; step < 64 && !buffer.isEmpty(); ++step) {
            const qsizetype before = buffer.size();
            if (step % 2 == 0) {
                if (const std::optional<QByteArray> line = framing::takeLine(buffer)) {
                    if (line->contains('\n') || line->size() > framing::MaxLineLength)
                        std::abort();
                } else {
                    break;
                }
            } else if (!framing::takeCount(buffer)) {
                break;
            }
            if (buffer.size() >= before)
                std::abort(); // taking something must consume bytes
        }
    } catch (const framing::FramingError&) {
    }
    // What is encoded reads back the same.
    const QByteArray text(reinterpret_cast<const char*>(data),
                          qsizetype(std::min<size_t>(size, framing::MaxLineLength)));
    if (!text.contains('\n') && !text.endsWith('\r')) {
        QByteArray line = framing::encodeLine(text);
        if (framing::takeLine(line) != text || !line.isEmpty())
            std::abort();
    }
    return 0;
}
