// The send_mail helper's job decoder, fed anything.
#include "FuzzTarget.h"
#include "JobRoundTrip.h"
#include "helpers/MailJob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return checkJobRoundTrip<MailJob>(data, size);
}
