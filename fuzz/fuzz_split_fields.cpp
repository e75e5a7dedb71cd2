// Field splitting as the history log and the carrier list use it: the first
// byte picks the delimiter.
#include "FuzzTarget.h"
#include "common/SplitFields.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QChar delimiter = data[0] % 2 == 0 ? QLatin1Char(',') : QLatin1Char('|');
    const QString text =
        QString::fromLocal8Bit(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QStringList fields{QStringLiteral("left over")};
    SplitFields(delimiter, text, fields);
    // Between two delimiters one field, or two where text follows a closing
    // quote; nothing left from before.
    if (fields.size() > 2 * (text.count(delimiter) + 1) || (text.isEmpty() && !fields.isEmpty()))
        std::abort();
    return 0;
}
