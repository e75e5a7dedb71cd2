// A DNS server's reply as the public-address check reads it, for each type of
// question and each family: whatever the bytes, one public address or a problem.
#include "FuzzTarget.h"
#include "echo_check/DnsEcho.h"
#include "helpers/EchoCheckReport.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView reply(reinterpret_cast<const char*>(data), qsizetype(size));
    // The questions the check asks (DnsQuestion::fits).
    const std::pair<DnsQuestion::Type, AddressFamily> asked[] = {
        {DnsQuestion::Type::A, AddressFamily::Ipv4},
        {DnsQuestion::Type::Aaaa, AddressFamily::Ipv6},
        {DnsQuestion::Type::Txt, AddressFamily::Ipv4},
        {DnsQuestion::Type::Txt, AddressFamily::Ipv6},
    };
    for (const auto& [type, family] : asked) {
        const dnsecho::Answer answer = dnsecho::read(reply, type, family);
        if (answer.address.isEmpty() == answer.problem.isEmpty())
            std::abort();
        // An address given is a public one of the family.
        if (!answer.address.isEmpty() &&
            echoreport::publicAddress(answer.address.toLatin1(), family) != answer.address)
            std::abort();
    }
    return 0;
}
