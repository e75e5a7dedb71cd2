// The word wrap of notices, at the first byte's width.
#include "FuzzTarget.h"
#include "common/WrapMessage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int columns = 1 + data[0] % 80;
    const QString text =
        QString::fromLocal8Bit(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString wrapped = WrapMessage(text, columns);
    // Breaks are added, nothing of the text is lost.
    QString withoutBreaks = wrapped;
    withoutBreaks.remove(QStringLiteral("\r\n"));
    QString original = text;
    original.remove(QStringLiteral("\r\n"));
    if (withoutBreaks != original)
        std::abort();
    return 0;
}
