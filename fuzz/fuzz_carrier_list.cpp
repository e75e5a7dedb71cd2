// carriers.txt as the service reads it.
#include "FuzzTarget.h"
#include "service/settings/CarrierList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& line : carriers::parse(text, QStringLiteral("fuzz"))) {
        // Every line kept is one line of the file.
        if (line.contains('\n') || !text.contains(line))
            std::abort();
    }
    return 0;
}
