// The escapes of settings values: any bytes come back exactly, and what is
// written stays on one line with no blank at either end.
#include "FuzzTarget.h"
#include "service/settings/ValueEscapes.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray written = valueescapes::escape(value);
    if (written.contains('\n') || written.contains('\r') || written.startsWith(' ') ||
        written.endsWith(' ') || written.startsWith('\t') || written.endsWith('\t'))
        std::abort();
    QString why;
    if (valueescapes::unescape(written, &why) != value)
        std::abort();
    // And any text as written by hand either reads or says why not.
    if (!valueescapes::unescape(value, &why) && why.isEmpty())
        std::abort();
    return 0;
}
