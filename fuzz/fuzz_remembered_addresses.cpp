// The remembered addresses file.
#include "FuzzTarget.h"
#include "service/addresses/RememberedAddresses.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Addresses addresses = RememberedAddresses::parse(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    // Only plain dotted addresses come out.
    for (const QString& address : {addresses.publicIp, addresses.localIp}) {
        if (address.size() > 15 || address.count(u'.') != (address.isEmpty() ? 0 : 3))
            std::abort();
    }
    return 0;
}
