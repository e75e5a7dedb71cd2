#pragma once

#include "net/FtpError.h"

// The server did not answer within the time limit.
class FtpTimeoutError : public FtpError
{
public:
    using FtpError::FtpError;
};
