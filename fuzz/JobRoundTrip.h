#pragma once

// A helper's job as it comes on the helper's standard input: whatever bytes
// decode into a job encode into bytes that decode into the same job again.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

template <typename Job> int checkJobRoundTrip(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto job = Job::decode(bytes);
    if (!job)
        return 0;
    const QByteArray encoded = job->encode();
    const auto again = Job::decode(encoded);
    if (!again || again->encode() != encoded)
        std::abort();
    return 0;
}
