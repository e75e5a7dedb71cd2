// The send_push helper's job decoder, fed anything.
#include "FuzzTarget.h"
#include "JobRoundTrip.h"
#include "helpers/PushJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return checkJobRoundTrip<PushJob>(data, size);
}
