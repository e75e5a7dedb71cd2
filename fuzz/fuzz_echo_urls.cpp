// echo-urls.txt as the service reads it.
#include "FuzzTarget.h"
#include "service/settings/EchoUrlList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const EchoSource& source : echourls::parse(text, QStringLiteral("fuzz"))) {
        const QUrl& url = source.url;
        if (!url.isValid() || (url.scheme() != QLatin1String("http") &&
                               url.scheme() != QLatin1String("https") && !source.isDns()))
            std::abort();
        // A source handed to the helper as text names the same URL and operator there.
        const std::optional<EchoSource> again = EchoSource::fromText(source.toText());
        if (!again || again->key() != source.key() || again->operatorName != source.operatorName)
            std::abort();
    }
    return 0;
}
