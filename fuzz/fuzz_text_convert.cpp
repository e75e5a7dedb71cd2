// The boolean and integer readers the settings go through.
#include "FuzzTarget.h"
#include "common/TextConvert.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromLocal8Bit(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        parseBoolean(text);
    } catch (const ConvertError&) {
    }
    try {
        parseInteger(text);
    } catch (const ConvertError&) {
    }
    withFullStop(text);
    return 0;
}
