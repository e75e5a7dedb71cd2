// The upload_page helper's job decoder, fed anything.
#include "FuzzTarget.h"
#include "JobRoundTrip.h"
#include "helpers/PageJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return checkJobRoundTrip<PageJob>(data, size);
}
