// echo-urls.txt as the service reads it.
#include "service/settings/EchoUrlList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QUrl& url : echourls::parse(text, QStringLiteral("fuzz"))) {
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
            std::abort();
    }
    return 0;
}
